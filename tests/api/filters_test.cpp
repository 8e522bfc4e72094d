// The filter calls as a host sees them: describing and copying out filters of each value type,
// attribute blocks, adding, copying, moving and deleting filters, and decimal scales.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::Decimal;
using q7host::DrainRing;
using q7host::kDecimalNull;
using q7host::kDoubleNull;
using q7host::kIntNull;
using q7host::RingEntry;

constexpr unsigned char kUntouched = 0xA5;

class FiltersApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    DrainRing();
  }
  void TearDown() override { RQ7ClearDB(); }

  // Four records with a repeated value and a NULL in each column.
  void BuildTable() {
    table_ = q7host::AddTable("values", 4);
    ASSERT_GT(table_, 0);
    int_ = q7host::AddIntColumn(table_, "qty", {5, kIntNull, 7, 5});
    double_ = q7host::AddDoubleColumn(table_, "price", {1.5, kDoubleNull, 2.5, 1.5});
    date_ = q7host::AddDoubleColumn(
        table_, "day", {q7host::DateSerial(2020, 1, 2), kDoubleNull, q7host::DateSerial(2021, 3, 4), 0.0},
        Q7_TYPE_DATE);
    string_ = q7host::AddStringColumn(table_, "city", {"Oslo", "", "Rome", "Oslo"});
    decimal_ = q7host::AddDecimalColumn(
        table_, "amount", {Decimal(1234), kDecimalNull, Decimal(-5), Decimal(1234)}, 2, Q7_ROUND_HALF_EVEN);
    for (int id : {int_, double_, date_, string_, decimal_}) ASSERT_GT(id, 0);
    DrainRing();
  }

  int table_ = 0;
  int int_ = 0;
  int double_ = 0;
  int date_ = 0;
  int string_ = 0;
  int decimal_ = 0;
};

// ---- Describing and copying out ----

TEST_F(FiltersApi, FilterInfoDescribesAColumnOfEachType) {
  BuildTable();
  struct Case {
    int filter;
    const char* name;
    int type;
    int unit;
    int value_count;  // the NULL entry and the distinct values
    int string_area;  // "Oslo\0Rome\0" after the leading zero
  };
  const Case cases[] = {
      {int_, "qty", Q7_TYPE_INTEGER, 4, 3, 0},         {double_, "price", Q7_TYPE_DOUBLE, 8, 3, 0},
      {date_, "day", Q7_TYPE_DATE, 8, 4, 0},           {string_, "city", Q7_TYPE_STRING, 8, 3, 11},
      {decimal_, "amount", Q7_TYPE_DECIMAL, 16, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    _TRFilterInfo info;
    memset(&info, kUntouched, sizeof info);
    ASSERT_EQ(RQ7GetFilterInfo(table_, c.filter, &info), 0);
    EXPECT_EQ(info.rowCount, 5);  // element 0 stands before the first record
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.unit, c.unit);
    EXPECT_EQ(info.valueCount, c.value_count);
    EXPECT_EQ(info.stringAreaSize, c.string_area);
    EXPECT_STREQ(info.name, c.name);
    EXPECT_EQ(RQ7GetFilterType(table_, c.filter), c.type);
  }
  EXPECT_EQ(RQ7GetNFilter(table_), 5);
  int ids[512];
  ASSERT_EQ(RQ7GetFilterIDList(table_, ids), 5);
  EXPECT_EQ(std::vector<int>(ids, ids + 5), (std::vector<int>{int_, double_, date_, string_, decimal_}));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(FiltersApi, AllFilterInfoDescribesTheFirstFiltersAndTheirBlocks) {
  BuildTable();
  unsigned char block[64];
  for (int i = 0; i < 64; ++i) block[i] = static_cast<unsigned char>(i + 1);
  ASSERT_EQ(RQ7SetFilterAttr(table_, string_, block), 0);
  const int ids[] = {int_, double_, date_, string_, decimal_};

  // Room for four: the count says five, the first four are described, the rest untouched.
  _TRFilterInfo infos[5];
  char attributes[5][64];
  memset(infos, kUntouched, sizeof infos);
  memset(attributes, kUntouched, sizeof attributes);
  int count = -1;
  ASSERT_EQ(RQ7GetAllFilterInfo(table_, 4, &count, infos, attributes), 0);
  EXPECT_EQ(count, 5);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    _TRFilterInfo one;
    ASSERT_EQ(RQ7GetFilterInfo(table_, ids[i], &one), 0);
    EXPECT_STREQ(infos[i].name, one.name);
    EXPECT_EQ(infos[i].type, one.type);
    EXPECT_EQ(infos[i].valueCount, one.valueCount);
    unsigned char want[64];
    ASSERT_EQ(RQ7GetFilterAttr(table_, ids[i], want), 0);
    EXPECT_EQ(memcmp(attributes[i], want, 64), 0);
  }
  EXPECT_EQ(memcmp(attributes[3], block, 64), 0);
  EXPECT_EQ(static_cast<unsigned char>(attributes[4][0]), kUntouched);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(&infos[4])[0], kUntouched);

  // Only the count, with no records to fill.
  count = -1;
  EXPECT_EQ(RQ7GetAllFilterInfo(table_, 0, &count, nullptr, nullptr), 0);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  // A missing table is a bad parameter here.
  EXPECT_EQ(RQ7GetAllFilterInfo(99, 3, &count, infos, attributes), Q7_ERROR_INVALID_PARAMETER);
  const std::vector<RingEntry> ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(),
            (RingEntry{"innerRQ7GetAllFilterInfo", Q7_ERROR_INVALID_PARAMETER, "No Such Table: 99 "}));
}

TEST_F(FiltersApi, FilterBodyValueNumbersIndexTheValuesTheHostWrote) {
  BuildTable();
  int numbers[5];
  int32_t ints[3];
  _TRFilterBody body{5, numbers, 3, ints, 0, nullptr};
  ASSERT_EQ(RQ7GetFilterBody(table_, int_, &body), 0);
  const int32_t wrote[] = {5, kIntNull, 7, 5};
  for (int record = 1; record <= 4; ++record) EXPECT_EQ(ints[numbers[record]], wrote[record - 1]) << record;

  // A decimal buffer starts with the column's scale and mode.
  unsigned char decimals[8 + 3 * 16];
  body = {5, numbers, 3, decimals, 0, nullptr};
  ASSERT_EQ(RQ7GetFilterBody(table_, decimal_, &body), 0);
  NumericInfo scale;
  memcpy(&scale, decimals, sizeof scale);
  EXPECT_EQ(scale.scale, 2);
  EXPECT_EQ(scale.roundingMode, Q7_ROUND_HALF_EVEN);
  Numeric third;
  memcpy(&third, decimals + 8 + 16 * numbers[3], sizeof third);
  EXPECT_TRUE(q7host::SameDecimal(third, Decimal(-5)));

  char area[32];
  body = {0, nullptr, 0, nullptr, sizeof area, area};
  ASSERT_EQ(RQ7GetFilterBody(table_, string_, &body), 0);
  EXPECT_EQ(std::string(area, 11), std::string("\0Oslo\0Rome\0", 11));
}

TEST_F(FiltersApi, FilterBodyWritesNoMoreThanEachCapacity) {
  BuildTable();
  struct Case {
    int numbers, values, bytes;
  };
  const Case cases[] = {{0, 0, 0}, {2, 1, 3}, {5, 3, 11}, {9, 9, 99}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.numbers << "," << c.values << "," << c.bytes);
    std::vector<unsigned char> numbers(16 * 4, kUntouched), values(16 * 8, kUntouched), area(128, kUntouched);
    _TRFilterBody body{c.numbers, reinterpret_cast<int32_t*>(numbers.data()), c.values, values.data(),
                       c.bytes,   reinterpret_cast<char*>(area.data())};
    ASSERT_EQ(RQ7GetFilterBody(table_, string_, &body), 0);
    const auto written = [](const std::vector<unsigned char>& buffer) {
      size_t n = buffer.size();
      while (n > 0 && buffer[n - 1] == kUntouched) --n;
      return n;
    };
    EXPECT_EQ(written(numbers), 4u * std::min(c.numbers, 5));
    EXPECT_LE(written(values), 8u * std::min(c.values, 3));
    EXPECT_LE(written(area), static_cast<size_t>(std::min(c.bytes, 11)));
  }
  // A decimal buffer of one value: its scale and mode, one Numeric, nothing after them.
  std::vector<unsigned char> decimals(64, kUntouched);
  _TRFilterBody body{0, nullptr, 1, decimals.data(), 0, nullptr};
  ASSERT_EQ(RQ7GetFilterBody(table_, decimal_, &body), 0);
  for (size_t i = 24; i < decimals.size(); ++i) ASSERT_EQ(decimals[i], kUntouched) << i;
}

TEST_F(FiltersApi, FilterBodyRefusesANegativeCapacityBeforeCopying) {
  BuildTable();
  struct Case {
    int numbers, values, bytes;
    const char* message;
  };
  const Case cases[] = {{-1, 4, 4, "Illegal Buffer size: -1, 4, 4 "},
                        {4, -2, 4, "Illegal Buffer size: 4, -2, 4 "},
                        {4, 4, -3, "Illegal Buffer size: 4, 4, -3 "}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<unsigned char> buffer(64, kUntouched);
    _TRFilterBody body{c.numbers, reinterpret_cast<int32_t*>(buffer.data()), c.values, buffer.data(),
                       c.bytes,   reinterpret_cast<char*>(buffer.data())};
    EXPECT_EQ(RQ7GetFilterBody(table_, string_, &body), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(buffer, std::vector<unsigned char>(64, kUntouched));
    EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7GetFilterBody", Q7_ERROR_NO_SUCH_TABLE, c.message}}));
  }
}

TEST_F(FiltersApi, FilterInfoOfAMissingTableOrFilterLeavesTheStatedEntries) {
  BuildTable();
  _TRFilterInfo info;
  memset(&info, kUntouched, sizeof info);
  EXPECT_EQ(RQ7GetFilterInfo(99, 1, &info), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
                                    {"RQ7GetFilterInfo", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}));
  EXPECT_EQ(RQ7GetFilterInfo(table_, 77, &info), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"RQ7GetFilterInfo", Q7_ERROR_NO_SUCH_TABLE, "No Such Filter: 77"}}));
  EXPECT_EQ(info.rowCount, static_cast<int32_t>(0xA5A5A5A5));  // nothing written on failure
}

// ---- Attribute blocks ----

TEST_F(FiltersApi, AttributeBlocksKeepWhatTheHostStores) {
  BuildTable();
  unsigned char filter_block[64], set_block[64], read[64];
  for (int i = 0; i < 64; ++i) {
    filter_block[i] = static_cast<unsigned char>(i);
    set_block[i] = static_cast<unsigned char>(200 - i);
  }
  ASSERT_EQ(RQ7SetFilterAttr(table_, string_, filter_block), 0);
  ASSERT_EQ(RQ7SetSubsetAttr(table_, 1, set_block), 0);
  ASSERT_EQ(RQ7GetFilterAttr(table_, string_, read), 0);
  EXPECT_EQ(memcmp(read, filter_block, 64), 0);
  ASSERT_EQ(RQ7GetSubsetAttr(table_, 1, read), 0);
  EXPECT_EQ(memcmp(read, set_block, 64), 0);
  // The plain form hands out the engine's own block.
  void* engine = nullptr;
  ASSERT_EQ(Q7GetFilterAttr(table_, string_, &engine, false), 0);
  EXPECT_EQ(memcmp(engine, filter_block, 64), 0);
  ASSERT_EQ(Q7GetSubsetAttr(table_, 1, &engine, false), 0);
  EXPECT_EQ(memcmp(engine, set_block, 64), 0);
}

// One failing call per frame kind, with exactly the entries each leaves.
TEST_F(FiltersApi, FailingAttributeCallsLeaveTheirFramesEntries) {
  BuildTable();
  unsigned char block[64];
  memset(block, kUntouched, sizeof block);
  // Result check: the operation's entry, then the frame's with an empty message.
  EXPECT_EQ(RQ7GetFilterAttr(table_, 9, block), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"Q7GetFilterAttr", Q7_ERROR_NO_SUCH_TABLE, "No Such Filter: 9"},
                                    {"RQ7GetFilterAttr", Q7_ERROR_NO_SUCH_FILTER, ""}}));
  // Full frame: the operation's entry only.
  EXPECT_EQ(RQ7GetSubsetAttr(table_, 9, block), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"Q7GetSubsetAttr", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 9"}}));
  // A check of the frame's own.
  EXPECT_EQ(RQ7SetFilterAttr(table_, int_, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7SetFilterAttr", Q7_ERROR_INVALID_PARAMETER,
                                                  "Invalid Parameter : Attribute"}}));
  // Plain frame: the operation's entry only.
  void* engine = nullptr;
  EXPECT_EQ(Q7GetFilterAttr(table_, 9, &engine, false), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"Q7GetFilterAttr", Q7_ERROR_NO_SUCH_TABLE, "No Such Filter: 9"}}));
  EXPECT_EQ(block[0], kUntouched);
}

// ---- Adding filters ----

TEST_F(FiltersApi, AddRealFilter2TakesNoSourceOrAnEmptyFile) {
  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  FILE* empty = fopen(dir.File("empty.txt").c_str(), "w");
  ASSERT_NE(empty, nullptr);
  fclose(empty);
  const int table = q7host::AddTable("t", 3);
  struct Case {
    const char* dir;
    const char* file;
  };
  const Case cases[] = {
      {nullptr, nullptr}, {"", ""}, {dir.path().c_str(), ""}, {dir.path().c_str(), "empty.txt"}};
  for (const Case& c : cases) {
    const int filter = RQ7AddRealFilter2(table, 1024, "n", Q7_TYPE_INTEGER, 3, 0, c.dir, c.file);
    ASSERT_GT(filter, 0);
    int type = 0;
    int32_t value = 0;
    ASSERT_EQ(RQ7GetData1(table, filter, 1, 3, &type, &value), 4);
    EXPECT_EQ(value, kIntNull);
  }
  EXPECT_EQ(RQ7GetNFilter(table), 4);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(FiltersApi, AddRealFilter2RefusalsAddNothing) {
  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  FILE* full = fopen(dir.File("values.txt").c_str(), "w");
  ASSERT_NE(full, nullptr);
  fputs("1\n2\n", full);
  fclose(full);
  FILE* too_long = fopen(dir.File("long.txt").c_str(), "w");
  ASSERT_NE(too_long, nullptr);
  fputs(("1\n" + std::string(4096, 'x') + "\n").c_str(), too_long);
  fclose(too_long);
  // The reader's reports go to the catalog message log of the working directory.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  const int table = q7host::AddTable("t", 2);
  const std::string long_dir(600, 'd');
  const std::string long_name(256, 'n');
  struct Case {
    const char* what;
    const char* name;
    int type;
    const char* dir;
    const char* file;
    int code;
    std::vector<RingEntry> ring;
  };
  const Case cases[] = {
      {"decimal",
       "n",
       Q7_TYPE_DECIMAL,
       nullptr,
       nullptr,
       Q7_ERROR_INVALID_DATA_TYPE,
       {{"RQ7AddRealFilter2", Q7_ERROR_INVALID_DATA_TYPE, "Invalid Parameter : DataType(8)"}}},
      {"text too long",
       "n",
       Q7_TYPE_STRING,
       dir.path().c_str(),
       "long.txt",
       Q7_ERROR_DATA_OVERFLOW,
       {{"parseLine", Q7_ERROR_DATA_OVERFLOW, "StringSize overflow"},
        {"validateRet", Q7_ERROR_DATA_OVERFLOW, "DataSize overflow"}}},
      {"missing file", "n", Q7_TYPE_INTEGER, dir.path().c_str(), "none.txt", Q7_ERROR_ILLEGAL_FILE_NAME, {}},
      {"long path",
       "n",
       Q7_TYPE_INTEGER,
       long_dir.c_str(),
       "f",
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{"RQ7AddRealFilter2", Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FileName(f...)"}}},
      {"long name, file",
       long_name.c_str(),
       Q7_TYPE_INTEGER,
       dir.path().c_str(),
       "values.txt",
       Q7_ERROR_ILLEGAL_FILTER_NAME,
       {}},
      {"long name",
       long_name.c_str(),
       Q7_TYPE_INTEGER,
       nullptr,
       nullptr,
       Q7_ERROR_ILLEGAL_FILTER_NAME,
       {{"Q7AddRealFilter2", Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName"},
        {"Q7AddRealFilter2", Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RQ7AddRealFilter2(table, 1024, c.name, c.type, 2, 0, c.dir, c.file), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(RQ7GetNFilter(table), 0);
  EXPECT_EQ(RQ7AddRealFilter2(42, 1024, "n", Q7_TYPE_INTEGER, 2, 0, nullptr, nullptr),
            Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 42"},
                                    {"RQ7AddRealFilter2", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 42"}}));
}

TEST_F(FiltersApi, AddRealFilter2NumericSetsScaleAndModeOrAddsNothing) {
  const int table = q7host::AddTable("t", 2);
  const int filter = RQ7AddRealFilter2Numeric(table, 1024, "amount", 2, 3, Q7_ROUND_FLOOR, nullptr, nullptr);
  ASSERT_GT(filter, 0);
  NumericInfo info{};
  char mode[16] = {};
  ASSERT_EQ(RQ7GetNumericInfo(table, filter, &info, mode, false), 0);
  EXPECT_EQ(info.scale, 3);
  EXPECT_EQ(info.roundingMode, Q7_ROUND_FLOOR);
  EXPECT_STREQ(mode, "ROUNDFLOOR");

  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  struct Case {
    int scale, mode;
    const char* file;
    int code;
    std::vector<RingEntry> ring;
  };
  const Case cases[] = {
      {39,
       0,
       nullptr,
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7AddRealFilter2Numeric", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(39)"}}},
      {-1,
       0,
       nullptr,
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7AddRealFilter2Numeric", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(-1)"}}},
      {2,
       7,
       nullptr,
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7AddRealFilter2Numeric", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : rounding_mode(7)"}}},
      // The filter is made, then dropped again when its source cannot be read.
      {2, 0, "none.txt", Q7_ERROR_ILLEGAL_FILE_NAME, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(RQ7AddRealFilter2Numeric(table, 1024, "x", 2, c.scale, c.mode, dir.path().c_str(), c.file),
              c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetNFilter(table), 1);
  }
  ASSERT_EQ(chdir(cwd), 0);
}

// ---- Copying, moving, deleting ----

TEST_F(FiltersApi, DuplicatesMoveAndDeleteAsTheHostAsks) {
  BuildTable();
  const int copy = RQ7DupRealFilter(table_, int_);
  ASSERT_GT(copy, 0);
  const int as_double = RQ7DupRealFilterEx(table_, int_, Q7_TYPE_DOUBLE);
  ASSERT_GT(as_double, 0);
  const int as_decimal = RQ7DupRealFilterExNumeric(table_, double_, 1, Q7_ROUND_HALF_UP);
  ASSERT_GT(as_decimal, 0);
  int type = 0;
  int32_t i = 0;
  ASSERT_EQ(RQ7GetData1(table_, copy, 1, 3, &type, &i), 4);
  EXPECT_EQ(i, 7);
  double d = 0;
  ASSERT_EQ(RQ7GetData1(table_, as_double, 1, 3, &type, &d), 8);
  EXPECT_EQ(d, 7.0);
  unsigned char decimal[24];
  ASSERT_GT(RQ7GetData1(table_, as_decimal, 1, 1, &type, decimal), 0);
  Numeric value;
  memcpy(&value, decimal + 8, sizeof value);
  EXPECT_TRUE(q7host::SameDecimal(value, Decimal(15)));  // 1.5 at scale 1

  EXPECT_EQ(RQ7DupRealFilterExNumeric(table_, double_, 39, 0), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7DupRealFilterExNumeric", Q7_ERROR_INVALID_PARAMETER,
                                                  "Invalid Parameter : scale(39)"}}));

  // A copy stands right after its source: int, as_double, copy, double, as_decimal, date, string,
  // decimal. Display positions count from 0: the last filter moves to the front.
  ASSERT_EQ(RQ7MoveRealFilter(table_, 7, 0), 0);
  ASSERT_EQ(RQ7DeleteRealFilter(table_, date_), 0);
  int ids[512];
  ASSERT_EQ(RQ7GetFilterIDList(table_, ids), 7);
  EXPECT_EQ(std::vector<int>(ids, ids + 7),
            (std::vector<int>{decimal_, int_, as_double, copy, double_, as_decimal, string_}));
  EXPECT_EQ(RQ7DeleteRealFilter(table_, date_), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(RQ7MoveRealFilter(table_, 7, 0), Q7_ERROR_INVALID_KEY_PARAMETER);
}

TEST_F(FiltersApi, SetNumericInfoRescalesTheColumn) {
  BuildTable();
  const NumericInfo one_digit{1, Q7_ROUND_HALF_UP};
  ASSERT_EQ(RQ7SetNumericInfo(table_, decimal_, &one_digit, true), 0);
  unsigned char read[24];
  int type = 0;
  ASSERT_GT(RQ7GetData1(table_, decimal_, 1, 1, &type, read), 0);
  NumericInfo info;
  Numeric value;
  memcpy(&info, read, sizeof info);
  memcpy(&value, read + 8, sizeof value);
  EXPECT_EQ(info.scale, 1);
  EXPECT_TRUE(q7host::SameDecimal(value, Decimal(123)));  // 12.34 -> 12.3

  const NumericInfo bad{40, 0};
  EXPECT_EQ(RQ7SetNumericInfo(table_, decimal_, &bad, true), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7GetNumericInfo(table_, int_, &info, nullptr, false), Q7_ERROR_ILLEGAL_FILTER);
}

// ---- Plain mirrors ----

TEST_F(FiltersApi, PlainMirrorsWorkOnTheHostsRawValues) {
  const int table = q7host::AddTable("t", 3);
  const int32_t raw[] = {3, 1, 3};
  const int filter = Q7AddRealFilter2(table, 1024, "raw", Q7_TYPE_INTEGER, 3, 4, const_cast<int32_t*>(raw));
  ASSERT_GT(filter, 0);
  _TFilterInfo info;
  ASSERT_EQ(Q7GetFilter(table, filter, &info), 0);
  ASSERT_EQ(info.rowCount, 4);
  const auto* values = static_cast<const int32_t*>(info.values);
  for (int record = 1; record <= 3; ++record) EXPECT_EQ(values[info.valueNumbers[record]], raw[record - 1]);
  EXPECT_EQ(Q7GetNFilter(table), 1);
  EXPECT_EQ(Q7GetFilterType(table, filter), Q7_TYPE_INTEGER);
  EXPECT_EQ(Q7GetFilterWidth(table, filter), 4);
}

}  // namespace
