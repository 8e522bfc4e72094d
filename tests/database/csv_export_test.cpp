// The table side of the text export: the byte layout of the lines for every value type, the export
// format file reader, the format-shaped part writer, the growing line buffer, row ranges and the
// refusals of the serial exports. Dates are checked against std::chrono and doubles against
// snprintf, not against the engine's own rules.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "database/CsvColumnPrinter.h"
#include "database/CsvExportFormat.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CSmpEngine.h"
#include "table_test_support.h"
#include "tests/support/test_support.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

using q7test::ReadAll;
using q7test::TempDir;

constexpr int kIntNull = INT_MIN;
constexpr double kDblNull = -std::numeric_limits<double>::infinity();
const Numeric kDecNull{0, INT64_MIN};

// The engine's serial of a civil date: days since 1899-12-30.
double DaySerial(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return (sys_days(year{y} / month{m} / day{d}) - sys_days(year{1899} / December / day{30})).count();
}

Numeric Units(int64_t v) { return Numeric{static_cast<uint64_t>(v), v < 0 ? int64_t{-1} : int64_t{0}}; }

// One column of every type; each row pins NULLs, quotes, separators inside texts and edge values.
struct Columns {
  std::vector<int32_t> ints{7, kIntNull, -2147483647, 0};
  std::vector<double> doubles{kDblNull, 2.5, 1e20, -0.0004};
  std::vector<double> dates{DaySerial(2024, 1, 31), kDblNull, DaySerial(1900, 1, 1), DaySerial(2099, 12, 31)};
  std::vector<double> times{0.5, 1.5 / 86400, kDblNull, 86399.0 / 86400};
  std::vector<std::string> texts{"a\"b", "x,y", "", "tab\there"};
  std::vector<double> stamps{DaySerial(2024, 2, 1) + 0.25, kDblNull, DaySerial(2000, 2, 29) + 86399.0 / 86400,
                             kDblNull};
  std::vector<Numeric> decimals{Units(1230), kDecNull, Units(-5), Units(100000)};  // scale 2
};

const char kCsvSlash[] =
    "7,,2024/01/31,12:00:00,\"a\"\"b\",2024/02/01 06:00:00,12.30\n"
    ",2.500,,00:00:01.500,\"x,y\",,\n"
    "-2147483647,1.0000000000000E+20,1900/01/01,,\"\",2000/02/29 23:59:59,-0.05\n"
    "0,-0.000,2099/12/31,23:59:59,\"tab\there\",,1000.00\n";
const char kTabDash[] =
    "7\t\t2024-01-31\t12:00:00\t\"a\"\"b\"\t2024-02-01 06:00:00\t12.30\n"
    "\t2.500\t\t00:00:01.500\t\"x,y\"\t\t\n"
    "-2147483647\t1.0000000000000E+20\t1900-01-01\t\t\"\"\t2000-02-29 23:59:59\t-0.05\n"
    "0\t-0.000\t2099-12-31\t23:59:59\t\"tab\there\"\t\t1000.00\n";

class CsvExportTest : public ttest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    table_ = Real(AddTable("T", 4));
    Columns c;
    Add("I", Q7_TYPE_INTEGER, 4, c.ints.data());
    Add("F", Q7_TYPE_DOUBLE, 8, c.doubles.data());
    Add("D", Q7_TYPE_DATE, 8, c.dates.data());
    Add("T", Q7_TYPE_TIME, 8, c.times.data());
    std::vector<const char*> texts;
    for (const std::string& s : c.texts) texts.push_back(s.c_str());
    Add("A", Q7_TYPE_STRING, 8, texts.data());
    Add("E", Q7_TYPE_DATETIME, 8, c.stamps.data());
    Add("N", Q7_TYPE_DECIMAL, 16, c.decimals.data());
    static_cast<TNumericArray*>(Filter("N")->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
  }

  void Add(std::string name, int type, int width, const void* data) {
    ASSERT_GT(table_->AddFilter2(1024, name.data(), type, 4, width, data, 0, -1), 0) << name;
  }
  TFilter* Filter(const char* name) { return table_->FFilters[table_->FilterName2Pos(name)]; }

  // The serial export of set 1 with the given rows into a file of dir_; its bytes, or "error <code>".
  std::string Serial(char separator, char date_separator, int first = -1, int last = -1,
                     const int* ids = nullptr, const char* format_file = nullptr) {
    const int all[] = {-1};
    const int rc = format_file == nullptr
                       ? table_->Export(1, ids != nullptr ? ids : all, first, last, separator, date_separator,
                                        dir_.Dir().c_str(), "out.csv")
                       : table_->Export(1, ids != nullptr ? ids : all, first, last, separator, date_separator,
                                        dir_.Dir().c_str(), "out.csv", format_file);
    if (rc != 0) return "error " + std::to_string(rc);
    return ReadAll(dir_.File("out.csv"));
  }

  // One part of a parallel export written by OutCsvPartFile; its bytes, or "error <code>".
  std::string Part(CsvExportState& state, CsvLineDiv_t rows, int buffer_size,
                   const char* format_file = nullptr) {
    std::vector<int> ids(static_cast<size_t>(table_->FnFilter) + 1, -1);
    table_->GetFilterIDList(ids.data());
    const std::string file = dir_.File("part.prf");
    const int rc = table_->OutCsvPartFile(&state, file.c_str(), ids.data(), &rows, buffer_size, format_file);
    if (rc != 0) return "error " + std::to_string(rc);
    return ReadAll(file);
  }

  static CsvExportState State(char separator, char date_separator, EXPTFMT_t* formats = nullptr) {
    CsvExportState state;
    state.m_nSetID = 1;
    state.m_cSeparator = separator;
    state.m_cDateSeparator = date_separator;
    state.m_pFormats = formats;
    return state;
  }

  TRealTable* table_ = nullptr;
  TempDir dir_;
};

TEST_F(CsvExportTest, LinesOfEveryTypeAreByteExact) {
  EXPECT_EQ(Serial(',', '/'), kCsvSlash);
  EXPECT_EQ(Serial('\t', '-'), kTabDash);
  CsvExportState csv = State(',', '/');
  EXPECT_EQ(Part(csv, {1, 4}, 1 << 20), kCsvSlash);
  CsvExportState tab = State('\t', '-');
  EXPECT_EQ(Part(tab, {1, 4}, 1 << 20), kTabDash);
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(CsvExportTest, DatesFollowTheEngineDateOrder) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const int saved = eng->DateOrder();
  const int ids[] = {table_->FilterName2ID("D"), table_->FilterName2ID("E"), -1};
  eng->SetDateOrder(1);
  EXPECT_EQ(Serial(',', '-', 1, 1, ids), "31-01-2024,01-02-2024 06:00:00\n");
  eng->SetDateOrder(2);
  EXPECT_EQ(Serial(',', '-', 1, 1, ids), "01-31-2024,02-01-2024 06:00:00\n");
  eng->SetDateOrder(saved);
}

TEST_F(CsvExportTest, DoublesPrintWithTheDigitSettingPlusThree) {
  const int ids[] = {table_->FilterName2ID("F"), -1};
  Filter("F")->VL->FUserArea[5] = 2;  // five digits
  EXPECT_EQ(Serial(',', '/', 2, 2, ids), "2.50000\n");
  Filter("F")->VL->FUserArea[5] = static_cast<uint8_t>(-3);  // none
  EXPECT_EQ(Serial(',', '/', 2, 2, ids), "2\n");
}

// The fixed form must be printf's to the last digit, ties and negative zeros included.
TEST(CsvColumnPrinter, DoublesMatchPrintf) {
  std::mt19937_64 rng(20240611);
  std::vector<double> values{0.0,     -0.0,    0.5,   1.5,        2.5,   0.125,   -0.0004, 1e17,
                             9.99e17, -9.9e17, 1e18,  -1e18,      1e300, -2e-300, 5e-324,  123456.7895,
                             0.045,   1.005,   2.675, -1234.5678, 1e-7,  999.9995};
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 400; ++i)
    values.push_back(unit(rng) * std::pow(10.0, static_cast<int>(rng() % 36) - 18));
  for (int i = 0; i < 100; ++i)
    values.push_back(static_cast<double>(static_cast<int64_t>(rng() % 2000000) - 1000000) / 1000.0 + 0.0005);
  // Exact ties at each precision: t / 2^(p + 1) with t odd.
  for (int p = 0; p <= 15; ++p) {
    for (int i = 0; i < 20; ++i) {
      const double t = static_cast<double>((rng() % (uint64_t{1} << (i < 10 ? 40 : 12))) | 1);
      values.push_back(std::ldexp(i % 2 == 0 ? t : -t, -(p + 1)));
    }
  }
  for (double tiny : {5e-324, -5e-324, 2.2250738585072014e-308, 1e-20, -4e-16, 0.49999999999999994})
    values.push_back(tiny);
  auto filter = ftest::DoubleFilter(values);
  for (int digits : {0, 1, 2, 3, 4, 6, 9, 12, 14, 15, 16, 17, 25}) {
    CsvColumnOptions options;
    options.double_digits = digits;
    CsvColumnPrinter printer(filter.get(), options);
    for (size_t i = 0; i < values.size(); ++i) {
      CsvLine line(1);
      printer.Append(static_cast<int>(i) + 1, line);
      char want[512];
      // The list's own value: equal values share one entry, so -0.0 may read as 0.0.
      const double x =
          static_cast<TDoubleArray*>(filter->VL)->GetDouble(filter->PV->GetInt(static_cast<int>(i) + 1));
      if (x > -1e18 && x < 1e18) {
        snprintf(want, sizeof want, "%0.*f", digits, x);
      } else {
        snprintf(want, sizeof want, "%0.13E", x);
      }
      ASSERT_EQ(std::string(line.data(), line.size()), want) << x << " digits " << digits;
    }
  }
}

// Decimals as the decimal printer gives them, for counts of 64 bits and beyond, every scale the
// printer takes a short road for and some beyond it, with and without asked-for digits.
TEST(CsvColumnPrinter, DecimalsMatchTheDecimalPrinter) {
  std::mt19937_64 rng(61);
  std::vector<Numeric> values{Units(0),         Units(1), Units(-1), Units(INT64_MAX),
                              Units(INT64_MIN), Units(5), Units(-5)};
  for (int i = 0; i < 300; ++i) {
    const int64_t v = static_cast<int64_t>(rng()) >> (rng() % 63);
    values.push_back(Units(v));
  }
  for (int i = 0; i < 20; ++i) values.push_back(Numeric{rng(), static_cast<int64_t>(rng() % 1000) - 500});
  auto filter = ftest::DecimalFilter(values);
  auto* list = static_cast<TNumericArray*>(filter->VL);
  for (int scale : {0, 1, 2, 6, 17, 18, 19, 25}) {
    for (int digits : {-1, 0, 2, scale}) {
      list->SetDecimalInfo(scale, Q7_ROUND_HALF_EVEN);
      CsvColumnOptions options;
      options.decimal_digits = digits;
      CsvColumnPrinter printer(filter.get(), options);
      const NumericInfo info{scale, Q7_ROUND_HALF_EVEN};
      for (size_t i = 0; i < values.size(); ++i) {
        CsvLine line(1);
        printer.Append(static_cast<int>(i) + 1, line);
        Numeric stored;
        list->GetDecimal(filter->PV->GetInt(static_cast<int>(i) + 1), &stored);
        char want[1024];
        ASSERT_GE(q7num::NumericNum2Str(&stored, &info, 0, digits < 0 ? scale : digits, want, sizeof want),
                  0);
        ASSERT_EQ(std::string(line.data(), line.size()), want) << "scale " << scale << " digits " << digits;
      }
    }
  }
}

TEST(CsvExportFormat, DissolveLine2SplitsThreeTabColumns) {
  struct Case {
    const char* line;
    const char* a;
    const char* b;
    const char* c;
    int result;
  };
  const Case cases[] = {
      {"PRICE\t2\tROUNDHALFUP\n", "PRICE", "2", "ROUNDHALFUP", 1},
      {"PRICE\t2\r\n", "PRICE", "2", "", 1},
      {"PRICE\t2\tUP\textra", "PRICE", "2", "UP", 1},  // a fourth column is not read
      {"NAMEONLY\n", "NAMEONLY", "", "", 0},
      {"\t2\tUP", "", "2", "UP", 0},
      {"A\nB\tC", "A", "", "", 0},  // a line feed ends the later tokens too
      {"", "", "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string line = c.line;
    std::string a(line.size() + 1, 'x'), b(line.size() + 1, 'x'), t(line.size() + 1, 'x');
    EXPECT_EQ(DissolveLine2(line.data(), a.data(), b.data(), t.data()), c.result);
    EXPECT_STREQ(a.c_str(), c.a);
    EXPECT_STREQ(b.c_str(), c.b);
    EXPECT_STREQ(t.c_str(), c.c);
    EXPECT_EQ(line, c.line);  // the line is only read
  }
}

TEST(CsvExportFormat, ReaderKeepsTheRecordsBeforeABadLine) {
  TempDir dir;
  const std::string file = dir.Write("fmt.txt",
                                     "// comment\n"
                                     "  \t// indented comment\n"
                                     " PRI CE \t 2 \t ROUNDHALFUP\r\n"
                                     "\n"
                                     "RATE\tx\tROUNDUP\n"
                                     "QTY\t3\n"
                                     "NEG\t-4\tROUNDUP\n"
                                     "NAMEONLY\n"
                                     "AFTER\t1\tROUNDUP\n");
  std::vector<EXPTFMT_t> records(kExportFormatRecords);
  EXPECT_EQ(readFmtInfo(file.c_str(), records.data()), Q7_CATALOG_PARSE_ERROR);
  struct Want {
    const char* name;
    int digits;
    int rounding;
  };
  const Want want[] = {
      {"PRICE", 2, Q7_ROUND_HALF_UP}, {"RATE", -1, -1}, {"QTY", 3, kNoRoundingMode}, {"NEG", -1, -1}};
  for (size_t i = 0; i < std::size(want); ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_STREQ(records[i].name, want[i].name);
    EXPECT_EQ(records[i].digits, want[i].digits);
    EXPECT_EQ(records[i].rounding, want[i].rounding);
  }
  EXPECT_STREQ(records[4].name, "");

  const std::string good = dir.Write("good.txt", "A\t1\tROUNDUP\nB\t2\tROUNDDOWN\nC\t3\tROUNDFLOOR\n");
  EXPECT_EQ(readFmtInfo(good.c_str(), records.data()), 3);
  EXPECT_EQ(readFmtInfo(good.c_str(), records.data(), 2), 2);
  EXPECT_EQ(readFmtInfo(dir.File("missing.txt").c_str(), records.data()), Q7_ERROR_ILLEGAL_FILE_NAME);
  const EXPTFMT_t* found = FindExportFormat(records.data(), kExportFormatLookup, "B");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->digits, 2);
  EXPECT_EQ(FindExportFormat(records.data(), kExportFormatLookup, "Z"), nullptr);
}

// A format record's digits shape doubles (above 15: 3) and decimals; a decimal record without a
// mode rounds by the column's own mode rather than printing nothing.
TEST_F(CsvExportTest, FormatRecordsShapeDoublesAndDecimals) {
  auto* decimals = static_cast<TNumericArray*>(Filter("N")->VL);
  struct Case {
    int double_digits;
    int decimal_digits;
    int decimal_mode;
    int column_mode;
    const char* want_row1;  // F is NULL in row 1
    const char* want_row2;
  };
  const Case cases[] = {
      {2, 0, Q7_ROUND_HALF_UP, Q7_ROUND_HALF_UP, ",12", "2.50,"},
      {20, 1, Q7_ROUND_UP, Q7_ROUND_HALF_UP, ",12.3", "2.500,"},
      {0, 1, kNoRoundingMode, Q7_ROUND_DOWN, ",12.3", "2,"},
      {-1, -1, -1, Q7_ROUND_HALF_UP, ",12.30", "2.500,"},
      {1, 3, kNoRoundingMode, Q7_ROUND_HALF_UP, ",12.300", "2.5,"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want_row1);
    decimals->SetDecimalInfo(2, c.column_mode);
    std::vector<EXPTFMT_t> formats(kExportFormatRecords);
    snprintf(formats[0].name, sizeof formats[0].name, "F");
    formats[0].digits = c.double_digits;
    formats[0].rounding = c.double_digits < 0 ? -1 : Q7_ROUND_HALF_UP;
    snprintf(formats[1].name, sizeof formats[1].name, "N");
    formats[1].digits = c.decimal_digits;
    formats[1].rounding = c.decimal_mode;
    CsvExportState state = State(',', '/', formats.data());
    const int ids[] = {table_->FilterName2ID("F"), table_->FilterName2ID("N"), -1};
    CsvLineDiv_t rows{1, 2};
    const std::string file = dir_.File("part.prf");
    ASSERT_EQ(table_->OutCsvPartFile(&state, file.c_str(), ids, &rows, 1 << 20, "fmt.txt"), 0);
    EXPECT_EQ(ReadAll(file), std::string(c.want_row1) + "\n" + c.want_row2 + "\n");
  }
  // The rounding of the record, or the column's: 12.25 at one digit.
  const int ids[] = {table_->FilterName2ID("N"), -1};
  std::vector<Numeric> one{Units(1225), Units(1225), Units(1225), Units(1225)};
  ASSERT_GE(table_->OverWriteEx(1, ids[0], 1, 4, one.data()), 0);
  table_->CheckMergeFilterTVL(false);
  std::vector<EXPTFMT_t> formats(kExportFormatRecords);
  snprintf(formats[0].name, sizeof formats[0].name, "N");
  formats[0].digits = 1;
  formats[0].rounding = kNoRoundingMode;
  for (int mode : {Q7_ROUND_HALF_EVEN, Q7_ROUND_HALF_UP}) {
    decimals = static_cast<TNumericArray*>(Filter("N")->VL);
    decimals->SetDecimalInfo(2, mode);
    CsvExportState state = State(',', '/', formats.data());
    CsvLineDiv_t rows{1, 1};
    const std::string file = dir_.File("part.prf");
    ASSERT_EQ(table_->OutCsvPartFile(&state, file.c_str(), ids, &rows, 0, "fmt.txt"), 0);
    EXPECT_EQ(ReadAll(file), mode == Q7_ROUND_HALF_EVEN ? "12.2\n" : "12.3\n");
  }
}

// A value far longer than the line buffer (every character a quote, so the field doubles) is
// written whole whatever the block size.
TEST_F(CsvExportTest, LongQuotedValuesNeverOverrunTheLineBuffer) {
  const std::string quotes(20000, '"');
  const std::string longest = "x" + quotes + "y";
  std::vector<const char*> texts{longest.c_str(), "", longest.c_str(), "z"};
  ASSERT_GT(table_->AddFilter2(1024, std::string("LONG").data(), Q7_TYPE_STRING, 4, 8, texts.data(), 0, -1),
            0);
  const std::string field = "\"x" + quotes + quotes + "y\"";
  CsvExportState state = State(',', '/');
  for (int buffer_size : {1 << 20, 4096, 1, 0}) {
    SCOPED_TRACE(buffer_size);
    const std::string text = Part(state, {1, 4}, buffer_size);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      lines.push_back(text.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(lines[0].rfind(",\"x") + 1), field);
    EXPECT_EQ(lines[1].substr(lines[1].rfind(',') + 1), "\"\"");
    EXPECT_EQ(lines[2].substr(lines[2].rfind(",\"x") + 1), field);
    EXPECT_EQ(lines[3].substr(lines[3].rfind(',') + 1), "\"z\"");
  }
}

TEST_F(CsvExportTest, PendingValuesAreReadFromThePendingList) {
  TRealTable* big = Real(AddTable("BIG", 200));
  std::vector<int32_t> values(200);
  for (int i = 0; i < 200; ++i) values[static_cast<size_t>(i)] = i;
  const int id =
      big->AddFilter2(1024, std::string("V").data(), Q7_TYPE_INTEGER, 200, 4, values.data(), 0, -1);
  ASSERT_GT(id, 0);
  int fresh = 777777;
  ASSERT_GE(big->OverWriteEx(1, id, 5, 1, &fresh), 0);
  ASSERT_GT(big->FFilters[0]->TVLCount, 0) << "the write did not go to the pending list";
  const int ids[] = {id, -1};
  ASSERT_EQ(big->Export(1, ids, 4, 6, ',', '/', dir_.Dir().c_str(), "big.csv"), 0);
  EXPECT_EQ(ReadAll(dir_.File("big.csv")), "3\n777777\n5\n");
}

struct RangeCase {
  int first;
  int last;
  bool with_format;
  const char* want;  // the file, or "error <code>"
};

TEST_F(CsvExportTest, SerialRowRanges) {
  const int ids[] = {table_->FilterName2ID("I"), -1};
  const std::string range_error = "error " + std::to_string(Q7_ERROR_INDEX_OUT_OF_RANGE);
  const RangeCase cases[] = {
      {-1, -1, false, "7\n\n-2147483647\n0\n"},
      {2, 3, false, "\n-2147483647\n"},
      {3, 2, false, ""},
      {0, 4, false, ""},
      {4, 0, false, ""},
      {3, 9, true, "-2147483647\n0\n"},
      {-1, 9, true, "7\n\n-2147483647\n0\n"},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
    EXPECT_EQ(Serial(',', '/', c.first, c.last, ids, c.with_format ? "none.txt" : nullptr), c.want);
  }
  // Past the end without a format file: the export fails at the first missing row, and the file of
  // the same name written before stays as it was, with nothing left beside it.
  const std::string before = ReadAll(dir_.File("out.csv"));
  ASSERT_EQ(before, "7\n\n-2147483647\n0\n");
  EXPECT_EQ(Serial(',', '/', 3, 9, ids), range_error);
  EXPECT_EQ(ReadAll(dir_.File("out.csv")), before);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir_.Dir())) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"out.csv"});
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(CsvExportTest, SerialRefusals) {
  const int bad[] = {table_->FilterName2ID("I"), 99, -1};
  EXPECT_EQ(Serial(',', '/', -1, -1, bad), "error " + std::to_string(Q7_ERROR_ILLEGAL_FILTER));
  EXPECT_EQ(TakeRing(), "Export|Invalid Parameter : IDList[2] (99)");
  EXPECT_EQ(Serial(',', '/', -1, -1, bad, "none.txt"), "error " + std::to_string(Q7_ERROR_NO_SUCH_FILTER));
  EXPECT_EQ(TakeRing(), "Export|Invalid Parameter : IDList[1] (99)");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.csv"))) << "a refused list must not make the file";

  const int all[] = {-1};
  EXPECT_EQ(table_->Export(1, all, -1, -1, ',', '/', dir_.File("no/such").c_str(), "out.csv"),
            Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(TakeRing(), "Export|Invalid Parameter : Path(" + dir_.File("no/such") + ")");
  EXPECT_EQ(table_->Export(7, all, -1, -1, ',', '/', dir_.Dir().c_str(), "out.csv"), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(TakeRing(), "SetID2Pos|No Such Set: 7");
  EXPECT_EQ(TakeRing(), "Export|Failed to get index SetLoc ( result SetID2Pos )");

  CsvExportState state = State(',', '/');
  const int none[] = {-1};
  CsvLineDiv_t rows{1, 4};
  const std::string part = dir_.File("p.prf");
  EXPECT_EQ(table_->OutCsvPartFile(&state, part.c_str(), none, &rows, 0, nullptr), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(table_->OutCsvPartFile(&state, part.c_str(), bad, &rows, 0, nullptr), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_FALSE(std::filesystem::exists(part));
  state.m_nSetID = 9;
  const int ok[] = {table_->FilterName2ID("I"), -1};
  EXPECT_EQ(table_->OutCsvPartFile(&state, part.c_str(), ok, &rows, 0, nullptr), Q7_ERROR_NO_SUCH_SET);
  state.m_nSetID = 1;
  rows = {3, 5};
  EXPECT_EQ(table_->OutCsvPartFile(&state, part.c_str(), ok, &rows, 0, nullptr), Q7_ERROR_INDEX_OUT_OF_RANGE);
  EXPECT_EQ(table_->OutCsvPartFile(&state, dir_.File("no/such/p.prf").c_str(), ok, &rows, 0, nullptr),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(TakeRing(), "") << "part writers run on workers and must not touch the ring";
}

}  // namespace
