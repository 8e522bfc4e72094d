// The find, row-editing and data-access calls as a host sees them: finds over each value type and
// the character-code checks, row edits, single reads, and block reads at the limits of their
// buffers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
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
constexpr int kAllRows = 1;

class DataAccessApi : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7SetDBCharCode("UTF8");
    RQ7ClearDB();
  }

  // A table of `rows` records with one column of `values`.
  template <class Add, class Values>
  int OneColumn(int rows, Add add, const Values& values) {
    table_ = q7host::AddTable("t", rows);
    EXPECT_GT(table_, 0);
    const int filter = add(table_, "c", values);
    EXPECT_GT(filter, 0);
    DrainRing();
    return filter;
  }
  int IntColumn(const std::vector<int32_t>& values) {
    return OneColumn(static_cast<int>(values.size()), q7host::AddIntColumn, values);
  }
  int StringColumn(const std::vector<std::string>& values) {
    return OneColumn(static_cast<int>(values.size()), q7host::AddStringColumn, values);
  }
  int DoubleColumn(const std::vector<double>& values) {
    return OneColumn(
        static_cast<int>(values.size()),
        [](int t, const std::string& n, const std::vector<double>& v) {
          return q7host::AddDoubleColumn(t, n, v);
        },
        values);
  }
  int DecimalColumn(const std::vector<Numeric>& values, int scale) {
    return OneColumn(
        static_cast<int>(values.size()),
        [scale](int t, const std::string& n, const std::vector<Numeric>& v) {
          return q7host::AddDecimalColumn(t, n, v, scale);
        },
        values);
  }

  std::vector<int32_t> ReadInts(int filter, int rows) {
    std::vector<int32_t> out;
    for (int row = 1; row <= rows; ++row) {
      int type = 0;
      int32_t value = 0;
      EXPECT_EQ(RQ7GetData1(table_, filter, kAllRows, row, &type, &value), 4);
      out.push_back(value);
    }
    return out;
  }

  int table_ = 0;
};

std::vector<int32_t> Iota(int n, int first = 1) {
  std::vector<int32_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = first + i;
  return v;
}

// ---- Finds ----

TEST_F(DataAccessApi, IntFindMarksRowsTheHostStepsThrough) {
  const int filter = IntColumn({1, 5, 3, 5, kIntNull, 5});
  const int find = RQ7OpenIntFindReal(table_, filter, 0, 5, 0);
  ASSERT_GT(find, 0);
  int hits = 0;
  int find_filter = 0;
  EXPECT_EQ(RQ7GetFindStatus(table_, &hits, &find_filter), find);
  EXPECT_EQ(hits, 3);
  EXPECT_EQ(find_filter, filter);

  std::vector<int> forward;
  int pos = 0;
  while (RQ7GetNextHitReal(table_, find, kAllRows, pos, 0, &find_filter, &pos) == 1) forward.push_back(pos);
  EXPECT_EQ(forward, (std::vector<int>{2, 4, 6}));
  ASSERT_EQ(RQ7GetNextHitReal(table_, find, kAllRows, 7, 1, &find_filter, &pos), 1);
  EXPECT_EQ(pos, 6);

  ASSERT_EQ(RQ7CloseFindReal(table_), 0);
  EXPECT_EQ(RQ7GetFindStatus(table_, &hits, &find_filter), 0);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  // With the result check, the table's refusal is recorded once more by the frame.
  EXPECT_EQ(RQ7GetNextHitReal(table_, find, kAllRows, 0, 0, &find_filter, &pos), Q7_ERROR_FIND_NOT_OPEN);
  const std::vector<RingEntry> ring = DrainRing();
  ASSERT_GE(ring.size(), 2u);
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7GetNextHitReal", Q7_ERROR_FIND_NOT_OPEN, ""}));
  EXPECT_EQ(ring[ring.size() - 2].code, Q7_ERROR_FIND_NOT_OPEN);
}

TEST_F(DataAccessApi, FindsOfEachValueTypeCountTheirHits) {
  struct Case {
    const char* what;
    int (*open)(DataAccessApi&);
    int hits;
  };
  const Case cases[] = {
      {"string starts with",
       [](DataAccessApi& t) {
         const int f = t.StringColumn({"Oslo", "Osaka", "Rome", "", "Os"});
         return RQ7OpenStrFindReal(t.table_, f, 8, const_cast<char*>("Os"), nullptr);
       },
       3},
      {"double between",
       [](DataAccessApi& t) {
         const int f = t.DoubleColumn({0.5, 1.5, 2.5, kDoubleNull, 3.5});
         return RQ7OpenFloatFindReal(t.table_, f, 1, 1.0, 3.0);
       },
       2},
      {"decimal at least",
       [](DataAccessApi& t) {
         const int f = t.DecimalColumn({Decimal(100), Decimal(-250), kDecimalNull, Decimal(250)}, 2);
         return RQ7OpenNumericFindReal(t.table_, f, 3, Decimal(100), Decimal(0));
       },
       2},
      {"integer not equal (NULL included)",
       [](DataAccessApi& t) {
         const int f = t.IntColumn({1, kIntNull, 1, 2});
         return RQ7OpenIntFindReal(t.table_, f, 4, 1, 0);
       },
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(RQ7ClearDB(), 0);
    ASSERT_GT(c.open(*this), 0);
    int hits = -1;
    EXPECT_GT(RQ7GetFindStatus(table_, &hits, nullptr), 0);
    EXPECT_EQ(hits, c.hits);
  }
}

TEST_F(DataAccessApi, StringFindsCheckTheDatabaseCharacterCode) {
  const int filter = StringColumn({"a", "b"});
  char a[] = "a";
  ASSERT_EQ(RQ7SetDBCharCode("UTF8"), 0);
  EXPECT_EQ(RQ7OpenStrFindRealSJIS(table_, filter, 0, a, nullptr), Q7_ERROR_CHAR_CODE_MISMATCH);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7OpenStrFindRealSJIS", Q7_ERROR_CHAR_CODE_MISMATCH,
                                                  "Not equal to WS DBCharCode"}}));
  struct Case {
    int locale;
    bool runs;
  };
  const Case utf8_cases[] = {{3, true}, {99, true}, {0, false}, {5, false}, {7, false}, {-1, false}};
  for (const Case& c : utf8_cases) {
    SCOPED_TRACE(c.locale);
    const int result = RQ7OpenStrFindRealLocale(table_, filter, 0, a, nullptr, c.locale);
    if (c.runs) {
      EXPECT_GT(result, 0);
      EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
    } else {
      // The check throws inside the result-checked frame: one entry, not two.
      EXPECT_EQ(result, Q7_ERROR_CHAR_CODE_MISMATCH);
      EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"RQ7OpenStrFindRealLocale", Q7_ERROR_CHAR_CODE_MISMATCH,
                                                      "Invalid Parameter : LocaleID"}}));
    }
  }
  ASSERT_EQ(RQ7SetDBCharCode("Shift_JIS"), 0);
  EXPECT_GT(RQ7OpenStrFindRealSJIS(table_, filter, 0, a, nullptr), 0);
  EXPECT_GT(RQ7OpenStrFindRealLocale(table_, filter, 0, a, nullptr, 0), 0);
  EXPECT_EQ(RQ7OpenStrFindRealLocale(table_, filter, 0, a, nullptr, 3), Q7_ERROR_CHAR_CODE_MISMATCH);
}

TEST_F(DataAccessApi, AnOverlongFindTextLeavesTheOperationsAndTheFramesEntries) {
  const int filter = StringColumn({"a"});
  std::string text(4097, 'x');
  EXPECT_EQ(RQ7OpenStrFindReal(table_, filter, 0, text.data(), nullptr), Q7_ERROR_STRING_SIZE_OVERFLOW);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"Q7OpenStrFindReal", Q7_ERROR_STRING_SIZE_OVERFLOW, "StringSize overflow"},
                             {"RQ7OpenStrFindReal", Q7_ERROR_STRING_SIZE_OVERFLOW, ""}}));
  int hits = 0;
  EXPECT_EQ(RQ7GetFindStatus(table_, &hits, nullptr), 0);
}

// A null text is not the empty text: a find for it would mark rows the host never named and
// report success. The open find stays as it was.
TEST_F(DataAccessApi, StringFindRefusesANullTextItWouldRead) {
  const int filter = StringColumn({"", "b", "a"});
  char a[] = "a";
  const int open = RQ7OpenStrFindReal(table_, filter, 1, a, a);
  ASSERT_GT(open, 0);
  const RingEntry kFrom{"Q7OpenStrFindReal", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From"};
  const RingEntry kTo{"Q7OpenStrFindReal", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : To"};
  struct Case {
    const char* name;
    std::function<int()> open;
    std::vector<RingEntry> ring;
  };
  const Case cases[] = {
      {"equal, no from",
       [&] { return RQ7OpenStrFindReal(table_, filter, 0, nullptr, a); },
       {kFrom, {"RQ7OpenStrFindReal", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"between, no to",
       [&] { return RQ7OpenStrFindReal(table_, filter, 1, a, nullptr); },
       {kTo, {"RQ7OpenStrFindReal", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"within, no to",
       [&] { return RQ7OpenStrFindReal(table_, filter, 5, a, nullptr); },
       {kTo, {"RQ7OpenStrFindReal", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"locale form",
       [&] { return RQ7OpenStrFindRealLocale(table_, filter, 9, nullptr, nullptr, 99); },
       {kFrom, {"RQ7OpenStrFindRealLocale", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"plain mirror", [&] { return Q7OpenStrFindReal(table_, filter, 8, nullptr, nullptr); }, {kFrom}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.open(), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DrainRing(), c.ring);
    int hits = -1;
    EXPECT_EQ(RQ7GetFindStatus(table_, &hits, nullptr), open);
    EXPECT_EQ(hits, 1);
  }
  // A code that reads only from needs no to.
  EXPECT_EQ(RQ7OpenStrFindReal(table_, filter, 0, a, nullptr), open + 1);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(DataAccessApi, FindRecNoGivesThePositionInTheSet) {
  IntColumn(Iota(10));
  const int rows[] = {7, 3, 9};
  const int set = RQ7AddSetReal(table_, 3, rows);
  ASSERT_GT(set, 1);
  EXPECT_EQ(RQ7FindRecNoReal(table_, set, 9), 3);
  EXPECT_EQ(RQ7FindRecNoReal(table_, set, 4), 0);
  EXPECT_EQ(RQ7FindRecNoReal(table_, kAllRows, 4), 4);
  EXPECT_EQ(Q7FindRecNoReal(table_, set, 7), 1);
}

// ---- Row edits ----

TEST_F(DataAccessApi, RowEditsChangeTheRowsTheHostNames) {
  const int filter = IntColumn(Iota(5));
  ASSERT_EQ(RQ7InsertRealRows(table_, 3, 2), 2);
  EXPECT_EQ(ReadInts(filter, 7), (std::vector<int32_t>{1, 2, kIntNull, kIntNull, 3, 4, 5}));
  ASSERT_GT(RQ7DeleteRealRows(table_, 1, 2), 0);
  EXPECT_EQ(ReadInts(filter, 5), (std::vector<int32_t>{kIntNull, kIntNull, 3, 4, 5}));

  int32_t written[] = {40, 50};
  EXPECT_EQ(RQ7OverwriteRealEx(table_, kAllRows, filter, 1, 2, written), 2);
  int32_t nine = 9;
  EXPECT_EQ(RQ7FillRealEx(table_, kAllRows, filter, 4, 2, &nine), 2);
  int32_t six = 6;
  EXPECT_EQ(RQ7OverwriteRealExStr(table_, kAllRows, filter, 3, 1, &six), 1);
  EXPECT_EQ(ReadInts(filter, 5), (std::vector<int32_t>{40, 50, 6, 9, 9}));

  // Deleting through a set removes the records the set holds at those positions.
  const int rows[] = {5, 1};
  const int set = RQ7AddSetReal(table_, 2, rows);
  ASSERT_GT(RQ7DeleteRealRowsEx(table_, set, 1, 1), 0);
  EXPECT_EQ(ReadInts(filter, 4), (std::vector<int32_t>{40, 50, 6, 9}));
  EXPECT_EQ(RQ7GetTotalRows(table_), 4);
}

TEST_F(DataAccessApi, FailingRowEditsLeaveTheirFramesEntries) {
  const int filter = IntColumn(Iota(3));
  // Full frame: the entries of the operation (and the table's own), none of the frame.
  EXPECT_EQ(RQ7DeleteRealRows(table_, 9, 1), Q7_ERROR_INVALID_ROW_POSITION);
  std::vector<RingEntry> ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(),
            (RingEntry{"Q7DeleteRealRows", Q7_ERROR_INVALID_ROW_POSITION, "return of inner call"}));
  // Result check: the same, and one more with an empty message.
  EXPECT_EQ(RQ7DeleteRealRowsEx(table_, kAllRows, 9, 1), Q7_ERROR_INVALID_ROW_POSITION);
  ring = DrainRing();
  ASSERT_GE(ring.size(), 2u);
  EXPECT_EQ(ring[ring.size() - 2],
            (RingEntry{"Q7DeleteRealRowsEx", Q7_ERROR_INVALID_ROW_POSITION, "return of inner call"}));
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7DeleteRealRowsEx", Q7_ERROR_INVALID_ROW_POSITION, ""}));
  // A table that is not there.
  int32_t value = 1;
  EXPECT_EQ(RQ7FillRealEx(77, kAllRows, filter, 1, 1, &value), Q7_ERROR_NO_SUCH_TABLE);
  ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7FillRealEx", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 77"}));
  EXPECT_EQ(ReadInts(filter, 3), Iota(3));
}

// The start row is reported less one; for the smallest int that lies below the int range, and the
// writes must refuse it without wrapping.
TEST_F(DataAccessApi, WritesRefuseTheSmallestStartRow) {
  const int filter = IntColumn(Iota(3));
  int32_t values[] = {7};
  const RingEntry kTableEntry{"OverWriteEx", Q7_ERROR_INVALID_PARAMETER,
                              "Invalid Parameter : WriteStart(-2147483649)"};
  struct Case {
    const char* name;
    std::function<int()> write;
    RingEntry first;  // the table's own entry
  };
  const Case cases[] = {
      {"overwrite",
       [&] { return RQ7OverwriteRealEx(table_, kAllRows, filter, INT32_MIN, 1, values); },
       {"MppOverWriteEx", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : WriteStart"}},
      {"plain overwrite", [&] { return Q7OverwriteRealEx(table_, kAllRows, filter, INT32_MIN, 1, values); },
       kTableEntry},
      {"serial overwrite",
       [&] { return RQ7OverwriteRealExStr(table_, kAllRows, filter, INT32_MIN, 1, values); }, kTableEntry},
      {"fill",
       [&] { return RQ7FillRealEx(table_, kAllRows, filter, INT32_MIN, 1, values); },
       {"MppFillEx", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : WriteStart(-2147483649)"}},
      {"overwrite by value",
       [&] { return RQ7OverwriteRealExIntR1(table_, kAllRows, filter, INT32_MIN, 7); },
       {"MppOverWriteEx", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : WriteStart"}},
      {"fill by value",
       [&] { return RQ7FillRealExIntR1(table_, kAllRows, filter, INT32_MIN, 1, 7); },
       {"MppFillEx", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : WriteStart(-2147483649)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.write(), Q7_ERROR_INVALID_PARAMETER);
    const std::vector<RingEntry> ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.front(), c.first);
    EXPECT_EQ(ReadInts(filter, 3), Iota(3));
  }
}

// ---- Single values ----

TEST_F(DataAccessApi, SingleReadsGiveEachTypeInItsForm) {
  table_ = q7host::AddTable("t", 2);
  const int ints = q7host::AddIntColumn(table_, "i", {11, 12});
  const int doubles = q7host::AddDoubleColumn(table_, "d", {1.25, 2.5});
  const int texts = q7host::AddStringColumn(table_, "s", {"first", "second"});
  const int decimals = q7host::AddDecimalColumn(table_, "n", {Decimal(-7), Decimal(8)}, 3);
  struct Case {
    int filter;
    int size;  // the result: the value's byte count
    int type;
    std::vector<unsigned char> second;  // the bytes of row 2
  };
  const auto bytes = [](const auto& v) {
    const auto* p = reinterpret_cast<const unsigned char*>(&v);
    return std::vector<unsigned char>(p, p + sizeof v);
  };
  std::vector<unsigned char> decimal_read = bytes(NumericInfo{3, Q7_ROUND_HALF_UP});
  const std::vector<unsigned char> eight = bytes(Decimal(8));
  decimal_read.insert(decimal_read.end(), eight.begin(), eight.end());
  const Case cases[] = {
      {0, 4, Q7_TYPE_INTEGER, bytes(int32_t{2})},  // filter 0: the record number
      {ints, 4, Q7_TYPE_INTEGER, bytes(int32_t{12})},
      {doubles, 8, Q7_TYPE_DOUBLE, bytes(2.5)},
      {texts, 6, Q7_TYPE_STRING, {'s', 'e', 'c', 'o', 'n', 'd', 0}},
      {decimals, 16, Q7_TYPE_DECIMAL, decimal_read},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    std::vector<unsigned char> zero_based(4096), one_based(4096), light(4096);
    int type = 0;
    EXPECT_EQ(RQ7GetData(table_, c.filter, kAllRows, 1, &type, zero_based.data()), c.size);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(RQ7GetData1(table_, c.filter, kAllRows, 2, &type, one_based.data()), c.size);
    EXPECT_EQ(RQ7GetData1Str(table_, c.filter, kAllRows, 2, &type, light.data()), c.size);
    const std::vector<unsigned char> want = c.second;
    EXPECT_EQ(std::vector<unsigned char>(zero_based.begin(), zero_based.begin() + want.size()), want);
    EXPECT_EQ(std::vector<unsigned char>(one_based.begin(), one_based.begin() + want.size()), want);
    EXPECT_EQ(std::vector<unsigned char>(light.begin(), light.begin() + want.size()), want);
  }
  // The plain form can read a decimal without its scale.
  Numeric raw;
  int type = 0;
  EXPECT_EQ(Q7GetData1(table_, decimals, kAllRows, 1, &type, &raw, 1), 16);
  EXPECT_TRUE(q7host::SameDecimal(raw, Decimal(-7)));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  // Past the set: the operation's entry; the frames add none.
  int32_t value = 0;
  EXPECT_EQ(RQ7GetData1(table_, ints, kAllRows, 3, &type, &value), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(RQ7GetData(table_, ints, kAllRows, 2, &type, &value), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"Q7GetData1", Q7_ERROR_NO_SUCH_SET, "return of inner call"},
                                    {"Q7GetData", Q7_ERROR_NO_SUCH_SET, "return of inner call"}}));
}

TEST_F(DataAccessApi, SizedReadTakesTextsBeyondTheUnsizedLimit) {
  const std::string long_text(5000, 'L');
  const int filter = StringColumn({"short", long_text});
  std::vector<char> big(1048576, 'x');
  std::vector<char> small(4096 + 64, 'x');
  int type = 0;
  EXPECT_EQ(RQ7GetData1Ex(table_, filter, kAllRows, 2, &type, big.data()), 5000);
  EXPECT_EQ(std::string(big.data()), long_text);
  EXPECT_EQ(RQ7GetData1(table_, filter, kAllRows, 2, &type, small.data()), 4095);
  EXPECT_EQ(std::string(small.data()), long_text.substr(0, 4095));
  EXPECT_EQ(small[4096], 'x');

  long address = 0;
  EXPECT_EQ(RQ7GetData1ExPtr(table_, filter, kAllRows, 1, &type, &address), 5);
  EXPECT_STREQ(reinterpret_cast<const char*>(address), "short");
}

// ---- Blocks ----

// A host buffer with a guard region after the part the call may write.
struct Guarded {
  explicit Guarded(size_t size) : size(size), bytes(size + 64, kUntouched) {}
  unsigned char* data() { return bytes.data(); }
  bool GuardIntact() const {
    for (size_t i = size; i < bytes.size(); ++i) {
      if (bytes[i] != kUntouched) return false;
    }
    return true;
  }
  template <class T>
  T At(size_t offset) const {
    T value;
    memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
  }
  size_t size;
  std::vector<unsigned char> bytes;
};

// One RQ7GetData1M call into guarded buffers of its fixed sizes.
struct Block {
  Guarded values{1024};
  Guarded texts{4096};
  int type = 0;
  int count = -1;
  int Read(int table, int filter, int first_row) {
    return RQ7GetData1M(table, filter, kAllRows, first_row, &type, &count, values.data(),
                        reinterpret_cast<char*>(texts.data()));
  }
};

TEST_F(DataAccessApi, BlockReadOfIntegersStopsAt128RowsOrTheSetsEnd) {
  const int filter = IntColumn(Iota(200, 1000));
  struct Case {
    int first_row;
    int result;
    int count;
  };
  const Case cases[] = {{1, 4, 128}, {73, 4, 128}, {150, 4, 51}, {200, 4, 1}, {201, Q7_ERROR_NO_SUCH_SET, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_row);
    Block block;
    EXPECT_EQ(block.Read(table_, filter, c.first_row), c.result);
    EXPECT_EQ(block.count, c.count);
    for (int i = 0; i < c.count; ++i) ASSERT_EQ(block.values.At<int32_t>(4 * i), 999 + c.first_row + i) << i;
    // Both buffers are cleared whole, and nothing is written past them.
    EXPECT_EQ(block.values.At<int32_t>(4 * c.count), 0);
    EXPECT_TRUE(block.values.GuardIntact());
    EXPECT_TRUE(block.texts.GuardIntact());
    DrainRing();
  }
}

TEST_F(DataAccessApi, BlockReadOfDoublesFillsExactly1024Bytes) {
  std::vector<double> values(130);
  for (size_t i = 0; i < values.size(); ++i) values[i] = 0.5 * static_cast<double>(i);
  const int filter = DoubleColumn(values);
  Block block;
  EXPECT_EQ(block.Read(table_, filter, 1), 8);
  EXPECT_EQ(block.type, Q7_TYPE_DOUBLE);
  EXPECT_EQ(block.count, 128);
  EXPECT_EQ(block.values.At<double>(8 * 127), 63.5);
  EXPECT_TRUE(block.values.GuardIntact());
}

TEST_F(DataAccessApi, BlockReadOfDecimalsTakes63RowsIn1024Bytes) {
  std::vector<Numeric> values;
  for (int i = 1; i <= 100; ++i) values.push_back(Decimal(-i));
  const int filter = DecimalColumn(values, 4);
  Block block;
  EXPECT_EQ(block.Read(table_, filter, 1), 16);
  EXPECT_EQ(block.type, Q7_TYPE_DECIMAL);
  EXPECT_EQ(block.count, 63);  // 24 + 62 * 16 = 1016 bytes
  EXPECT_EQ(block.values.At<NumericInfo>(0).scale, 4);
  EXPECT_TRUE(q7host::SameDecimal(block.values.At<Numeric>(8), Decimal(-1)));
  EXPECT_TRUE(q7host::SameDecimal(block.values.At<Numeric>(24 + 61 * 16), Decimal(-63)));
  for (size_t i = 1016; i < 1024; ++i) EXPECT_EQ(block.values.bytes[i], 0) << i;
  EXPECT_TRUE(block.values.GuardIntact());
}

TEST_F(DataAccessApi, BlockReadOfTextsStopsAtTheLastTextThatFits) {
  struct Case {
    size_t length;
    int rows;
    int count;  // texts of length + 1 bytes that fit in 4096
  };
  const Case cases[] = {{127, 40, 32}, {100, 50, 40}, {4095, 3, 1}, {0, 130, 128}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    ASSERT_EQ(RQ7ClearDB(), 0);
    std::vector<std::string> texts;
    for (int i = 0; i < c.rows; ++i) texts.push_back(std::string(c.length, static_cast<char>('a' + i % 26)));
    const int filter = StringColumn(texts);
    Block block;
    EXPECT_EQ(block.Read(table_, filter, 1), static_cast<int>(c.length));
    EXPECT_EQ(block.count, c.count);
    for (int i = 0; i < c.count; ++i) {
      const auto offset = static_cast<size_t>(block.values.At<int32_t>(4 * i));
      ASSERT_EQ(offset, static_cast<size_t>(i) * (c.length + 1));
      ASSERT_EQ(std::string(reinterpret_cast<const char*>(block.texts.data() + offset)),
                texts[static_cast<size_t>(i)]);
    }
    EXPECT_TRUE(block.values.GuardIntact());
    EXPECT_TRUE(block.texts.GuardIntact());
  }
}

TEST_F(DataAccessApi, SizedBlockReadTakesTheHostsRowCountAndTextArea) {
  std::vector<Numeric> values;
  for (int i = 1; i <= 300; ++i) values.push_back(Decimal(i));
  const int decimals = DecimalColumn(values, 0);
  // No limit of 63 decimals: 8 + 16 * 200 bytes for 200 rows.
  Guarded out(8 + 16 * 200);
  int type = 0;
  int count = 0;
  EXPECT_EQ(RQ7GetData1MEx(table_, decimals, kAllRows, 1, 200, 0, &type, &count, out.data(), nullptr), 16);
  EXPECT_EQ(count, 200);
  EXPECT_TRUE(q7host::SameDecimal(out.At<Numeric>(24 + 198 * 16), Decimal(200)));
  EXPECT_TRUE(out.GuardIntact());

  ASSERT_EQ(RQ7ClearDB(), 0);
  const int texts = StringColumn({"alpha", "beta", "gamma", "delta"});
  Guarded offsets(4 * 4);
  Guarded area(12);  // "alpha\0beta\0" is 11 bytes; "gamma\0" does not fit
  EXPECT_EQ(RQ7GetData1MEx(table_, texts, kAllRows, 1, 4, 12, &type, &count, offsets.data(),
                           reinterpret_cast<char*>(area.data())),
            5);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(area.data()) + offsets.At<int32_t>(4)), "beta");
  EXPECT_TRUE(area.GuardIntact());
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  // Refusals before anything is read.
  EXPECT_EQ(RQ7GetData1MEx(table_, texts, kAllRows, 1, 0, 12, &type, &count, offsets.data(),
                           reinterpret_cast<char*>(area.data())),
            Q7_ERROR_UNKNOWN);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  EXPECT_EQ(RQ7GetData1MEx(table_, texts, kAllRows, 1, 4, -1, &type, &count, offsets.data(),
                           reinterpret_cast<char*>(area.data())),
            Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      DrainRing(),
      (std::vector<RingEntry>{{"RQ7GetData1MEx", Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: -1"}}));
}

TEST_F(DataAccessApi, AddressBlockPointsAtTheStoredValues) {
  const int filter = IntColumn({4, 5, 6});
  long addresses[8] = {};
  int type = 0;
  int count = 0;
  EXPECT_EQ(RQ7GetData1MExPtr(table_, filter, kAllRows, 2, 8, &type, &count, addresses), 4);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(addresses[0]), 5);
  EXPECT_EQ(*reinterpret_cast<const int32_t*>(addresses[1]), 6);
  EXPECT_EQ(addresses[2], 0);
  EXPECT_EQ(RQ7GetData1MExPtr(table_, filter, kAllRows, 1, 0, &type, &count, addresses), Q7_ERROR_UNKNOWN);
}

TEST_F(DataAccessApi, RecordNumberBlockFollowsTheSetsOrder) {
  IntColumn(Iota(300));
  std::vector<int> rows;
  for (int r = 300; r >= 1; r -= 2) rows.push_back(r);
  const int set = RQ7AddSetReal(table_, static_cast<int>(rows.size()), rows.data());
  ASSERT_GT(set, 1);
  int records[128];
  int other[128];
  int count = 0;
  EXPECT_EQ(RQ7GetRowNo1M(table_, set, 1, &count, records, other), 4);
  ASSERT_EQ(count, 128);
  EXPECT_EQ(std::vector<int>(records, records + 128), std::vector<int>(rows.begin(), rows.begin() + 128));
  EXPECT_EQ(RQ7GetRowNo1M(table_, set, 140, &count, records, nullptr), 4);
  EXPECT_EQ(count, 11);
  EXPECT_EQ(records[10], rows[149]);

  int rec_no = 0;
  EXPECT_EQ(RQ7GetRowNo(table_, set, 0, &rec_no), 4);
  EXPECT_EQ(rec_no, 300);
  EXPECT_EQ(RQ7GetRowNo1(table_, set, 2, &rec_no), 4);
  EXPECT_EQ(rec_no, 298);
}

TEST_F(DataAccessApi, ValueNumberListIsBoundedByTheCountAndTheSet) {
  const int filter = IntColumn({8, 3, 8, kIntNull, 3, 8});
  struct Case {
    int first_row;
    int n;
    int result;
  };
  const Case cases[] = {{1, 6, 6}, {2, 3, 3}, {5, 10, 2}, {7, 4, 0}, {1, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first_row << "," << c.n);
    Guarded out(4 * static_cast<size_t>(c.result));
    EXPECT_EQ(RQ7GetVNoList(table_, filter, kAllRows, c.first_row, c.n, reinterpret_cast<int*>(out.data())),
              c.result);
    EXPECT_TRUE(out.GuardIntact());
  }
  int vnos[6];
  ASSERT_EQ(RQ7GetVNoList(table_, filter, kAllRows, 1, 6, vnos), 6);
  EXPECT_EQ(vnos[0], vnos[2]);
  EXPECT_EQ(vnos[1], vnos[4]);
  EXPECT_EQ(vnos[3], 0);  // NULL
  EXPECT_NE(vnos[0], vnos[1]);

  EXPECT_EQ(RQ7GetVNoList(table_, filter, kAllRows, 1, -1, vnos), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      DrainRing(),
      (std::vector<RingEntry>{{"RQ7GetVNoList", Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: -1"}}));
}

// A read that succeeds leaves nothing in the error ring: every single read of the last position,
// and every block read that the set's end cuts short (3 rows from row 1, and 1 row from row 3).
// Before, a block read went on past the set's end and left that read's ("Q7GetData1",
// Q7_ERROR_NO_SUCH_SET, "return of inner call") (or "Q7GetRowNo1") although it succeeded.
TEST_F(DataAccessApi, AReadThatSucceedsLeavesNothingInTheRing) {
  table_ = q7host::AddTable("t", 3);
  ASSERT_GT(table_, 0);
  const int ints = q7host::AddIntColumn(table_, "i", {1, 2, 3});
  const int doubles = q7host::AddDoubleColumn(table_, "d", {0.5, 1.5, 2.5});
  const int texts = q7host::AddStringColumn(table_, "s", {"a", "bb", "ccc"});
  const int decimals = q7host::AddDecimalColumn(table_, "n", {Decimal(1), Decimal(2), Decimal(3)}, 2);
  for (int id : {ints, doubles, texts, decimals}) ASSERT_GT(id, 0);
  DrainRing();
  constexpr int kSet = kAllRows;

  std::vector<unsigned char> value(1048576 + 64);
  std::vector<unsigned char> area(4096 + 64);
  long addresses[8] = {};
  int records[128] = {};
  int numbers[128] = {};
  int type = 0;
  Numeric decimal = {};
  std::vector<Numeric> decimal_block(128);
  auto* v = value.data();
  auto* text = reinterpret_cast<char*>(area.data());
  // A single read: its result, *count untouched.
  using Read = std::function<int(int first_row, int* count)>;
  const auto single = [](std::function<int()> read) { return Read([read](int, int*) { return read(); }); };
  // A value returned as such: 1 when it is the expected one.
  const auto same = [](bool ok) { return ok ? 1 : 0; };
  struct Case {
    const char* name;
    Read read;
    int result;  // of a block from row 1 and from row 3, or of the single read
    bool block;
  };
  const std::vector<Case> cases = {
      {"RQ7GetData", single([&] { return RQ7GetData(table_, ints, kSet, 2, &type, v); }), 4, false},
      {"Q7GetData", single([&] { return Q7GetData(table_, ints, kSet, 2, &type, v); }), 4, false},
      {"RQ7GetData1", single([&] { return RQ7GetData1(table_, texts, kSet, 3, &type, v); }), 3, false},
      {"Q7GetData1", single([&] { return Q7GetData1(table_, decimals, kSet, 3, &type, v, 1); }), 16, false},
      {"RQ7GetData1Str", single([&] { return RQ7GetData1Str(table_, texts, kSet, 3, &type, v); }), 3, false},
      {"RQ7GetData1Ex", single([&] { return RQ7GetData1Ex(table_, texts, kSet, 3, &type, v); }), 3, false},
      {"RQ7GetData1ExPtr", single([&] { return RQ7GetData1ExPtr(table_, ints, kSet, 3, &type, addresses); }),
       4, false},
      {"RQ7GetRowNo", single([&] { return RQ7GetRowNo(table_, kSet, 2, records); }), 4, false},
      {"Q7GetRowNo", single([&] { return Q7GetRowNo(table_, kSet, 2, records); }), 4, false},
      {"RQ7GetRowNo1", single([&] { return RQ7GetRowNo1(table_, kSet, 3, records); }), 4, false},
      {"Q7GetRowNo1", single([&] { return Q7GetRowNo1(table_, kSet, 3, records); }), 4, false},
      {"RQ7GetDataIntR1", single([&] { return same(RQ7GetDataIntR1(table_, ints, kSet, 2) == 3); }), 1,
       false},
      {"RQ7GetDataDblR1", single([&] { return same(RQ7GetDataDblR1(table_, doubles, kSet, 2) == 2.5); }), 1,
       false},
      {"RQ7GetDataStrR1",
       single([&] { return same(std::string(RQ7GetDataStrR1(table_, texts, kSet, 2)) == "ccc"); }), 1, false},
      {"RQ7GetDataNumericR1",
       single([&] { return RQ7GetDataNumericR1(table_, decimals, kSet, 2, &decimal); }), 16, false},
      {"RQ7GetData1IntR1", single([&] { return same(RQ7GetData1IntR1(table_, ints, kSet, 3) == 3); }), 1,
       false},
      {"RQ7GetData1DblR1", single([&] { return same(RQ7GetData1DblR1(table_, doubles, kSet, 3) == 2.5); }), 1,
       false},
      {"RQ7GetData1StrR1",
       single([&] { return same(std::string(RQ7GetData1StrR1(table_, texts, kSet, 3)) == "ccc"); }), 1,
       false},
      {"RQ7GetData1NumericR1",
       single([&] { return RQ7GetData1NumericR1(table_, decimals, kSet, 3, &decimal); }), 16, false},
      {"RQ7GetData1Cnv2StrR1",
       single([&] { return same(std::string(RQ7GetData1Cnv2StrR1(table_, ints, kSet, 3)) == "3"); }), 1,
       false},
      {"RQ7GetData1M ints",
       [&](int row, int* count) { return RQ7GetData1M(table_, ints, kSet, row, &type, count, v, text); }, 4,
       true},
      {"RQ7GetData1M texts",
       [&](int row, int* count) { return RQ7GetData1M(table_, texts, kSet, row, &type, count, v, text); }, -1,
       true},
      {"RQ7GetData1M decimals",
       [&](int row, int* count) { return RQ7GetData1M(table_, decimals, kSet, row, &type, count, v, text); },
       16, true},
      {"RQ7GetData1MEx",
       [&](int row, int* count) {
         return RQ7GetData1MEx(table_, doubles, kSet, row, 8, 4096, &type, count, v, text);
       },
       8, true},
      {"RQ7GetData1MExPtr",
       [&](int row, int* count) {
         return RQ7GetData1MExPtr(table_, ints, kSet, row, 8, &type, count, addresses);
       },
       4, true},
      {"RQ7GetRowNo1M",
       [&](int row, int* count) { return RQ7GetRowNo1M(table_, kSet, row, count, records, numbers); }, 4,
       true},
      {"RQ7GetVNoList",
       [&](int row, int* count) {
         *count = RQ7GetVNoList(table_, ints, kSet, row, 8, numbers);
         return *count > 0 ? 0 : *count;
       },
       0, true},
      {"RQ7GetData1MIntR1",
       [&](int row, int* count) { return RQ7GetData1MIntR1(table_, ints, kSet, row, count, records); }, 4,
       true},
      {"RQ7GetData1MDblR1",
       [&](int row, int* count) {
         return RQ7GetData1MDblR1(table_, doubles, kSet, row, count, reinterpret_cast<double*>(v));
       },
       8, true},
      {"RQ7GetData1MNumericR1",
       [&](int row, int* count) {
         return RQ7GetData1MNumericR1(table_, decimals, kSet, row, count, decimal_block.data());
       },
       16, true},
      {"RQ7GetData1MStrR1",
       [&](int row, int* count) { return RQ7GetData1MStrR1(table_, texts, kSet, row, count, numbers, text); },
       -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.block) {
      int count = -1;
      EXPECT_EQ(c.read(0, &count), c.result);
      EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
      continue;
    }
    // A text block's result is the first text's length.
    for (const int first_row : {1, 3}) {
      SCOPED_TRACE(first_row);
      int count = -1;
      const int want = c.result >= 0 ? c.result : first_row;
      EXPECT_EQ(c.read(first_row, &count), want);
      EXPECT_EQ(count, 4 - first_row);
      EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
    }
  }
}

}  // namespace
