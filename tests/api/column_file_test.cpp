// Columns read from single-column files and searches for the values of a CSV file, as a host sees
// them: files written to a scratch directory (the working directory meanwhile, so that the catalog
// message log lands there), results read back through the C interface only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::RingEntry;

std::vector<std::string> Cells(int table, int filter) {
  std::vector<std::string> cells;
  for (int row = 1; row <= RQ7GetTotalRows(table); ++row)
    cells.push_back(q7host::CellText(table, filter, row));
  return cells;
}

// One length-prefixed record: the text's length in four big-endian bytes, then the text.
std::string Rec(const std::string& text) {
  const uint32_t n = static_cast<uint32_t>(text.size());
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((n >> shift) & 0xFF);
  return out + text;
}

class ColumnFileApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    ASSERT_EQ(RQ7ClearDB(), 0);
    q7host::DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    ASSERT_EQ(chdir(cwd_.c_str()), 0);
  }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_.File(name), std::ios::binary) << bytes;
  }
  const char* Dir() const { return dir_.path().c_str(); }

  q7host::TempDir dir_;
  std::string cwd_;
};

TEST_F(ColumnFileApi, AddRealFilter2ReadsOneValuePerLineIntoTheRecords) {
  const int table = q7host::AddTable("t", 4);
  ASSERT_GT(table, 0);
  struct Case {
    const char* what;
    int type;
    std::string file;
    int rows;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"missing lines are NULL", Q7_TYPE_INTEGER, "1\n\n3\n", 4, {"1", "NULL", "3", "NULL"}},
      {"lines past the records are not kept",
       Q7_TYPE_INTEGER,
       "1\n2\n3\n4\n5\n6\n",
       -1,
       {"1", "2", "3", "4"}},
      {"quotes and line ends",
       Q7_TYPE_STRING,
       "\"a,b\"\r\n\"x\nplain\ny\"",
       4,
       {"a,b", "\"x", "plain", "y\""}},
      {"doubles", Q7_TYPE_DOUBLE, "1,234.5\n-2\n", 4, {"1234.5", "-2", "NULL", "NULL"}},
      {"dates", Q7_TYPE_DATE, "2024/01/31\n", 4, {"45322", "NULL", "NULL", "NULL"}},
      {"times", Q7_TYPE_TIME, "12:00:00\n", 4, {"0.5", "NULL", "NULL", "NULL"}},
      {"datetimes", Q7_TYPE_DATETIME, "2024/01/31 06:00:00\n", 4, {"45322.25", "NULL", "NULL", "NULL"}},
  };
  int filters = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("values.txt", c.file);
    const int filter = RQ7AddRealFilter2(table, 1024, "col", c.type, c.rows, 0, Dir(), "values.txt");
    ASSERT_GT(filter, 0);
    ++filters;
    EXPECT_EQ(RQ7GetFilterType(table, filter), c.type);
    EXPECT_EQ(Cells(table, filter), c.want);
    EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
  }
  EXPECT_EQ(RQ7GetNFilter(table), filters);
  EXPECT_EQ(RQ7GetTotalRows(table), 4);

  // Without a name the filter gets a generated one.
  const int unnamed = RQ7AddRealFilter2(table, 1024, nullptr, Q7_TYPE_INTEGER, 4, 0, Dir(), "values.txt");
  ASSERT_GT(unnamed, 0);
  char name[256] = {};
  ASSERT_EQ(RQ7GetFilterName(table, unnamed, name), 0);
  EXPECT_EQ(std::string(name).rfind("filter", 0), 0u) << name;
}

TEST_F(ColumnFileApi, AddRealFilter2NumericReadsAtItsScaleAndMode) {
  const int table = q7host::AddTable("t", 4);
  Write("amounts.txt", "1.235\n\n-0.5\n9\n9\n");
  const int filter =
      RQ7AddRealFilter2Numeric(table, 1024, "amount", 4, 2, Q7_ROUND_HALF_UP, Dir(), "amounts.txt");
  ASSERT_GT(filter, 0);
  EXPECT_EQ(Cells(table, filter), (std::vector<std::string>{"124@2", "NULL", "-50@2", "900@2"}));
  EXPECT_EQ(RQ7GetTotalRows(table), 4);
  EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
}

TEST_F(ColumnFileApi, AppendRealFilter2WritesTheFileFromThePosition) {
  const int table = q7host::AddTable("t", 3);
  const int ints = q7host::AddIntColumn(table, "i", {10, 20, 30});
  const int texts = q7host::AddStringColumn(table, "s", {"a", "b", "c"});
  const int amounts =
      q7host::AddDecimalColumn(table, "d", {q7host::Decimal(1), q7host::Decimal(2), q7host::Decimal(3)}, 1);
  for (int id : {ints, texts, amounts}) ASSERT_GT(id, 0);
  Write("two.txt", "7\n8\n");
  Write("one.txt", "5\n");
  Write("amount.txt", "1.25\n");
  Write("records.bin", Rec("x") + Rec("y z"));

  EXPECT_EQ(RQ7AppendRealFilter2(table, ints, Q7_TYPE_INTEGER, 2, -1, Dir(), "two.txt"), 2);
  EXPECT_EQ(Cells(table, ints), (std::vector<std::string>{"10", "7", "8"}));
  // After the last record: the records the values need are added, missing values NULL.
  EXPECT_EQ(RQ7AppendRealFilter2(table, ints, Q7_TYPE_INTEGER, -1, 3, Dir(), "one.txt"), 3);
  EXPECT_EQ(Cells(table, ints), (std::vector<std::string>{"10", "7", "8", "5", "NULL", "NULL"}));
  // Strings come as length-prefixed records.
  EXPECT_EQ(RQ7AppendRealFilter2(table, texts, Q7_TYPE_STRING, 1, 2, Dir(), "records.bin"), 2);
  EXPECT_EQ(Cells(table, texts), (std::vector<std::string>{"x", "y z", "c", "", "", ""}));
  // Decimals at the filter's own scale and rounding mode.
  EXPECT_EQ(RQ7AppendRealFilter2(table, amounts, Q7_TYPE_DECIMAL, 1, 1, Dir(), "amount.txt"), 1);
  EXPECT_EQ(Cells(table, amounts), (std::vector<std::string>{"13@1", "2@1", "3@1", "NULL", "NULL", "NULL"}));
  EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
}

TEST_F(ColumnFileApi, AppendRealFilter2ThatFailsToReadWritesNothing) {
  const int table = q7host::AddTable("t", 2);
  const int texts = q7host::AddStringColumn(table, "s", {"a", "b"});
  ASSERT_GT(texts, 0);
  const std::string full = Rec("first") + Rec("second");
  Write("cut.bin", full.substr(0, full.size() - 1));
  Write("long.txt", "1\n" + std::string(5000, 'x') + "\n");
  Write("seven.txt", "7\n");
  constexpr char kName[] = "RQ7AppendRealFilter2";
  struct Case {
    const char* what;
    int type;
    const char* file;
    int rows;
    int code;
    std::vector<RingEntry> ring;
  };
  const std::vector<Case> cases = {
      {"record cut short",
       Q7_TYPE_STRING,
       "cut.bin",
       2,
       Q7_CATALOG_PARSE_ERROR,
       {{"parse_bin", Q7_CATALOG_PARSE_ERROR, "Failed to parse catalog"},
        {kName, Q7_CATALOG_PARSE_ERROR, ""}}},
      {"string records need a row count",
       Q7_TYPE_STRING,
       "cut.bin",
       -1,
       Q7_ERROR_INVALID_PARAMETER,
       {{"parse_bin", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : nRows"},
        {kName, Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"missing file",
       Q7_TYPE_INTEGER,
       "none.txt",
       -1,
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{kName, Q7_ERROR_ILLEGAL_FILE_NAME, ""}}},
      {"text too long",
       Q7_TYPE_INTEGER,
       "long.txt",
       -1,
       Q7_ERROR_DATA_OVERFLOW,
       {{"parseLine", Q7_ERROR_DATA_OVERFLOW, "StringSize overflow"},
        {"validateRet", Q7_ERROR_DATA_OVERFLOW, "DataSize overflow"},
        {kName, Q7_ERROR_DATA_OVERFLOW, ""}}},
      {"type of another filter",
       Q7_TYPE_INTEGER,
       "seven.txt",
       1,
       Q7_ERROR_FILTER_TYPE_MISMATCH,
       {{kName, Q7_ERROR_FILTER_TYPE_MISMATCH, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RQ7AppendRealFilter2(table, texts, c.type, -1, c.rows, Dir(), c.file), c.code);
    EXPECT_EQ(q7host::DrainRing(), c.ring);
    EXPECT_EQ(RQ7GetTotalRows(table), 2);
    EXPECT_EQ(Cells(table, texts), (std::vector<std::string>{"a", "b"}));
  }
}

TEST_F(ColumnFileApi, SearchByFieldNValuesFromCSVFindsTheFilesValues) {
  const int table = q7host::AddTable("t", 5);
  const int ints = q7host::AddIntColumn(table, "i", {5, 7, 5, 9, q7host::kIntNull});
  const int texts = q7host::AddStringColumn(table, "s", {"a", "b,c", "c", "a", ""});
  const int amounts = q7host::AddDecimalColumn(
      table, "d",
      {q7host::Decimal(1), q7host::Decimal(2), q7host::Decimal(3), q7host::Decimal(4), q7host::Decimal(5)},
      0);
  for (int id : {ints, texts, amounts}) ASSERT_GT(id, 0);
  Write("ints.csv", "5,9\n");
  Write("texts.csv", "\"a\",\"b,c\"\r\n");
  Write("empty.csv", "");

  const int by_int = RQ7SearchByFieldNValuesFromCSV(table, ints, 1, Dir(), "ints.csv");
  ASSERT_GT(by_int, 0);
  EXPECT_EQ(q7host::ReadSet(table, by_int), (std::vector<int>{1, 3, 4}));
  const int by_text = RQ7SearchByFieldNValuesFromCSV(table, texts, 1, Dir(), "texts.csv");
  ASSERT_GT(by_text, 0);
  EXPECT_EQ(q7host::ReadSet(table, by_text), (std::vector<int>{1, 2, 4}));
  const int none = RQ7SearchByFieldNValuesFromCSV(table, ints, 1, Dir(), "empty.csv");
  ASSERT_GT(none, 0);
  EXPECT_EQ(q7host::ReadSet(table, none), std::vector<int>{});
  EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});

  // A failure of the reader runs no search: no set is added.
  const int sets = RQ7GetNSet(table);
  EXPECT_EQ(RQ7SearchByFieldNValuesFromCSV(table, ints, 1, Dir(), "none.csv"), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(RQ7SearchByFieldNValuesFromCSV(table, amounts, 1, Dir(), "ints.csv"),
            Q7_ERROR_ILLEGAL_FILTER_TYPE);
  EXPECT_EQ(RQ7SearchByFieldNValuesFromCSV(table, ints, 1, Dir(), ""), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(RQ7GetNSet(table), sets);
  EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
  EXPECT_EQ(RQ7SearchByFieldNValuesFromCSV(table, 99, 1, Dir(), "ints.csv"), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(RQ7GetNSet(table), sets);
  EXPECT_FALSE(q7host::DrainRing().empty());
}

// The values are read strictly as the column's type: a UTF-8 byte-order mark before the first one
// is no part of it, an empty value searches for the NULL, and a value that does not read as the
// type fails the call with the conversion's code and runs no search (no set is added). Before, the
// mark made "12" read as 0 and "apple" match nothing, and "25:00" or "2024/02/30" searched for NULL.
TEST_F(ColumnFileApi, SearchByFieldNValuesFromCSVReadsTheValuesAsTheColumnsType) {
  const int table = q7host::AddTable("t", 3);
  const int ints = q7host::AddIntColumn(table, "i", {12, 0, q7host::kIntNull});
  const int texts = q7host::AddStringColumn(table, "s", {"apple", "pear", ""});
  const int dates = q7host::AddDoubleColumn(
      table, "d", {q7host::DateSerial(2024, 1, 31), 0, q7host::kDoubleNull}, Q7_TYPE_DATE);
  const int times = q7host::AddDoubleColumn(table, "tm", {0.5, 0, q7host::kDoubleNull}, Q7_TYPE_TIME);
  const int stamps = q7host::AddDoubleColumn(
      table, "dt", {q7host::DateSerial(2024, 1, 31) + 0.5, 0.5, q7host::kDoubleNull}, Q7_TYPE_DATETIME);
  for (int id : {ints, texts, dates, times, stamps}) ASSERT_GT(id, 0);
  const std::string mark = "\xEF\xBB\xBF";
  struct Case {
    const char* what;
    int filter;
    std::string content;
    int code;               // 0: the search runs
    std::vector<int> rows;  // the rows it finds
  };
  const std::vector<Case> cases = {
      {"mark before a number", ints, mark + "12\n", 0, {1}},
      {"mark before a text", texts, mark + "apple\n", 0, {1}},
      {"mark before a date", dates, mark + "2024/01/31\n", 0, {1}},
      {"an empty value is the NULL", ints, "12,\n", 0, {1, 3}},
      {"an empty time is the NULL", times, ",12:00\n", 0, {1, 3}},
      {"a date without a time is midnight", stamps, "2024/01/31\n", 0, {}},
      {"a date-time", stamps, "2024/01/31 12:00\n", 0, {1}},
      {"no integer", ints, "12,x\n", Q7_ERROR_INVALID_DATA, {}},
      {"blanks for an integer", ints, "  \n", Q7_ERROR_INVALID_DATA, {}},
      {"a 25th hour", times, "25:00\n", Q7_ERROR_INVALID_DATA, {}},
      {"blanks for a time", times, "  \n", Q7_ERROR_INVALID_DATA, {}},
      {"no such date", dates, "2024/02/30\n", Q7_ERROR_INVALID_DATA, {}},
      {"no such date in a date-time", stamps, "2024/02/30 12:00:00\n", Q7_ERROR_INVALID_DATA, {}},
      {"a 25th hour in a date-time", stamps, "2024/01/31 25:00\n", Q7_ERROR_INVALID_DATA, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write("values.csv", c.content);
    const int sets = RQ7GetNSet(table);
    const int set = RQ7SearchByFieldNValuesFromCSV(table, c.filter, 1, Dir(), "values.csv");
    if (c.code != 0) {
      EXPECT_EQ(set, c.code);
      EXPECT_EQ(RQ7GetNSet(table), sets);
    } else {
      ASSERT_GT(set, 0);
      EXPECT_EQ(q7host::ReadSet(table, set), c.rows);
    }
    EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
  }
}

}  // namespace
