// The exported catalog imports and appends, end to end: catalogs and sources written to a scratch
// directory, the results read back through the C interface only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::RingEntry;
using q7host::RowReports;

constexpr char kLog[] = "catalog_err_log.txt";

// Every type, one skipped column, the decimal rounded on the way in.
constexpr char kCatalog[] =
    "//CSV\n"
    "//ERROR\tSTOP\n"
    "I\t4\tCODE\n"
    "A\t10\tNA ME\n"
    "N\t12\tPRICE\t2\tROUNDHALFUP\n"
    "D\t10\tSOLD\n"
    "F\t8\tRATE\n"
    "A\t5\tMEMO\tSKIP\n"
    "T\t8\tAT\n"
    "E\t19\tWHEN\n";
constexpr char kSource[] =
    "1,apple,12.345,2024/01/31,0.5,x,12:00:00,2024/02/01 06:00:00\n"
    "2,\"b,c\",,,,y,,\n"
    ",pear,3,1999/12/31,-1.25,z,00:30:00,1999/12/31 18:00:00\n";
// The cells of kSource as CellText gives them.
const std::vector<std::vector<std::string>> kRows = {
    {"1", "apple", "1235@2", "45322", "0.5", "0.5", "45323.25"},
    {"2", "b,c", "NULL", "NULL", "NULL", "NULL", "NULL"},
    {"NULL", "pear", "300@2", "36525", "-1.25", "0.02083333333", "36525.75"},
};

std::string Cwd() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? buf : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Every cell of every filter, row by row.
std::vector<std::vector<std::string>> Cells(int table) {
  std::vector<int> ids(512);
  const int filters = RQ7GetFilterIDList(table, ids.data());
  std::vector<std::vector<std::string>> rows;
  for (int row = 1; row <= RQ7GetTotalRows(table); ++row) {
    std::vector<std::string> cells;
    for (int f = 0; f < filters; ++f) cells.push_back(q7host::CellText(table, ids[f], row));
    rows.push_back(cells);
  }
  return rows;
}

std::vector<std::string> FilterNames(int table) {
  std::vector<int> ids(512);
  const int filters = RQ7GetFilterIDList(table, ids.data());
  std::vector<std::string> names;
  for (int f = 0; f < filters; ++f) {
    char name[256] = {};
    RQ7GetFilterName(table, ids[f], name);
    names.push_back(name);
  }
  return names;
}

std::string TableName(int table) {
  char name[256] = {};
  RQ7GetTableName(table, name);
  return name;
}

class CatalogEntryTest : public ::testing::Test {
 protected:
  // Each test runs in a directory of its own: a call that fails before it enters the catalog's
  // directory writes to the catalog message log of the working directory, which must not be the
  // directory the tests were started in.
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    started_in_ = Cwd();
    std::filesystem::create_directories(dir_.File("work"));
    ASSERT_EQ(chdir(dir_.File("work").c_str()), 0);
    cwd_ = Cwd();
    sales_ = dir_.File("sales");
    WriteFile(sales_ + "/cat.txt", kCatalog);
    WriteFile(sales_ + "/SrcData.dat", kSource);
    q7host::DrainRing();
  }
  void TearDown() override {
    EXPECT_EQ(Cwd(), cwd_);
    for (int table : tables_) RQ7DeleteTable(table);
    if (!started_in_.empty()) {
      EXPECT_EQ(chdir(started_in_.c_str()), 0);
    }
  }
  int Keep(int table) {
    if (table > 0) tables_.push_back(table);
    return table;
  }
  int ImportSales() { return Keep(RQ7AddCatalogFile(sales_.c_str(), "cat.txt")); }
  std::string SalesLog() { return ReadFile(sales_ + "/" + kLog); }

  q7host::TempDir dir_;
  std::string started_in_;
  std::string cwd_;  // the test's working directory, which every call leaves as it found it
  std::string sales_;
  std::vector<int> tables_;
};

TEST_F(CatalogEntryTest, AddImportsEveryTypeIntoATableNamedAfterTheDirectory) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  EXPECT_EQ(TableName(table), "sales");
  EXPECT_EQ(FilterNames(table),
            (std::vector<std::string>{"CODE", "NAME", "PRICE", "SOLD", "RATE", "AT", "WHEN"}));
  EXPECT_EQ(Cells(table), kRows);
  EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
}

TEST_F(CatalogEntryTest, RelativeDirectoryNamesTheCallersDirectory) {
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  const int table = Keep(RQ7AddCatalogFile("sales", "cat.txt"));
  EXPECT_EQ(Cwd(), dir_.path());
  ASSERT_EQ(chdir(cwd_.c_str()), 0);
  ASSERT_GT(table, 0);
  EXPECT_EQ(Cells(table), kRows);
}

TEST_F(CatalogEntryTest, Ex2ReadsTheNamedSourceIntoTheNamedTable) {
  WriteFile(dir_.File("elsewhere/rows.csv"), "7,kiwi,1,2000/01/01,2,q,01:00:00,2000/01/01 00:00:00\n");
  const int table = Keep(
      RQ7AddCatalogFileEx2(sales_.c_str(), "cat.txt", dir_.File("elsewhere").c_str(), "rows.csv", "fruit"));
  ASSERT_GT(table, 0);
  EXPECT_EQ(TableName(table), "fruit");
  EXPECT_EQ(Cells(table), (std::vector<std::vector<std::string>>{
                              {"7", "kiwi", "100@2", "36526", "2", "0.04166666667", "36526"}}));
}

TEST_F(CatalogEntryTest, AppendRoadsGiveTheSameRows) {
  // Parallel (-1) and single-thread (row count 3) appends of the same source after the last row.
  for (int mode : {-1, 3}) {
    SCOPED_TRACE(mode);
    const int table = ImportSales();
    ASSERT_GT(table, 0);
    EXPECT_EQ(RQ7AppendCatalogFile(table, -1, mode, sales_.c_str(), "cat.txt"), 3);
    std::vector<std::vector<std::string>> want = kRows;
    want.insert(want.end(), kRows.begin(), kRows.end());
    EXPECT_EQ(Cells(table), want);
  }
}

TEST_F(CatalogEntryTest, AppendInsideTheTableOverwritesAndGrows) {
  for (int mode : {-1, 3}) {
    SCOPED_TRACE(mode);
    const int table = ImportSales();
    ASSERT_GT(table, 0);
    ASSERT_EQ(
        RQ7AppendCatalogFileEx2(table, 2, mode, sales_.c_str(), "cat.txt", sales_.c_str(), "SrcData.dat"), 3);
    EXPECT_EQ(Cells(table), (std::vector<std::vector<std::string>>{kRows[0], kRows[0], kRows[1], kRows[2]}));
  }
}

TEST_F(CatalogEntryTest, SingleThreadAppendPadsMissingRowsWithNull) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  ASSERT_EQ(RQ7AppendCatalogFile(table, -1, 5, sales_.c_str(), "cat.txt"), 5);
  const std::vector<std::vector<std::string>> rows = Cells(table);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[5], kRows[2]);
  // The string NULL reads as the empty text.
  EXPECT_EQ(rows[7], (std::vector<std::string>{"NULL", "", "NULL", "NULL", "NULL", "NULL", "NULL"}));
}

TEST_F(CatalogEntryTest, AppendOfAnEmptySourceAppendsNothing) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  WriteFile(dir_.File("empty/none.csv"), "");
  const int tables_before = RQ7GetNTable();
  for (int mode : {-1, 0, 2}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(RQ7AppendCatalogFileEx2(table, -1, mode, sales_.c_str(), "cat.txt", dir_.File("empty").c_str(),
                                      "none.csv"),
              mode > 0 ? mode : 0);
    EXPECT_EQ(RQ7GetNTable(), tables_before);
  }
  EXPECT_EQ(RQ7GetTotalRows(table), 5);  // only the NULL rows the last call asked for
}

TEST_F(CatalogEntryTest, AddOfAnEmptySourceMakesAnEmptyTable) {
  WriteFile(sales_ + "/SrcData.dat", "");
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  EXPECT_EQ(RQ7GetTotalRows(table), 0);
  EXPECT_EQ(FilterNames(table).size(), 7u);
}

// An empty source still gives a decimal column the catalog's scale and rounding mode, which the
// rows appended later are read with.
TEST_F(CatalogEntryTest, AddOfAnEmptySourceKeepsTheDecimalScaleAndMode) {
  WriteFile(dir_.File("dec/cat.txt"), "//CSV\nI\t4\tCODE\nN\t12\tPRICE\t2\tROUNDDOWN\n");
  WriteFile(dir_.File("dec/SrcData.dat"), "");
  const int table = Keep(RQ7AddCatalogFile(dir_.File("dec").c_str(), "cat.txt"));
  ASSERT_GT(table, 0);
  ASSERT_EQ(RQ7GetTotalRows(table), 0);
  NumericInfo info{-1, -1};
  char mode[16] = {};
  ASSERT_EQ(RQ7GetNumericInfo(table, 2, &info, mode, false), 0);
  EXPECT_EQ(info.scale, 2);
  EXPECT_EQ(info.roundingMode, Q7_ROUND_DOWN);
  EXPECT_STREQ(mode, "ROUNDDOWN");
  WriteFile(dir_.File("dec/SrcData.dat"), "1,1.239\n");
  ASSERT_EQ(RQ7AppendCatalogFile(table, -1, -1, dir_.File("dec").c_str(), "cat.txt"), 1);
  EXPECT_EQ(Cells(table), (std::vector<std::vector<std::string>>{{"1", "123@2"}}));
}

// A date of the right shape that is no real date is NULL, whether the import checks it (and logs
// the DATA ERROR) or not, on the parallel import and on both appends.
TEST_F(CatalogEntryTest, DateThatIsNoRealDateIsNull) {
  const std::string source = "1,2024/02/30,2024/02/30\n2,2024/02/29,2024/02/29\n";
  const std::string feb29 = std::to_string(static_cast<int>(q7host::DateSerial(2024, 2, 29)));
  const std::vector<std::vector<std::string>> want = {{"1", "NULL", "NULL"}, {"2", feb29, feb29}};
  for (const char* check : {"CONTINUE", "NONE"}) {
    SCOPED_TRACE(check);
    const std::string dir = dir_.File(std::string("dates_") + check);
    WriteFile(dir + "/cat.txt",
              std::string("//CSV\n//ERROR\t") + check + "\nI\t4\tK\nD\t10\tDAY\tD1\nD\t10\tPLAIN\n");
    WriteFile(dir + "/SrcData.dat", source);
    const bool checked = std::string(check) == "CONTINUE";
    const int table = Keep(RQ7AddCatalogFile(dir.c_str(), "cat.txt"));
    ASSERT_GT(table, 0);
    EXPECT_EQ(Cells(table), want);
    EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
    for (int mode : {-1, 2}) {
      SCOPED_TRACE(mode);
      EXPECT_EQ(RQ7AppendCatalogFile(table, 1, mode, dir.c_str(), "cat.txt"), 2);
      EXPECT_EQ(Cells(table), want);
      // Only the single-thread append reports the values in the error ring, one entry each.
      const RingEntry bad{"Str2Data", Q7_ERROR_INVALID_DATA, "Illegal string data"};
      const std::vector<RingEntry> ring = q7host::DrainRing();
      const std::vector<RingEntry> want_ring =
          mode > 0 && checked ? std::vector<RingEntry>{bad, bad} : std::vector<RingEntry>{};
      EXPECT_EQ(ring, want_ring);
    }
    const std::string log = ReadFile(dir + "/" + kLog);
    EXPECT_EQ(log.find("DATA ERROR") != std::string::npos, checked) << log;
  }
}

struct CheckCase {
  const char* what;
  std::function<int(const std::string& dir, int table)> call;
  int code;
  std::vector<RingEntry> ring;
};

TEST_F(CatalogEntryTest, ArgumentChecksAreRecordedBeforeTheDirectoryIsTouched) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  const std::string long_name(512, 'x');
  constexpr int kBad = Q7_ERROR_ILLEGAL_FILE_NAME;
  constexpr int kParam = Q7_ERROR_INVALID_PARAMETER;
  const std::vector<CheckCase> cases = {
      {"add: empty file",
       [](const std::string& d, int) { return RQ7AddCatalogFile(d.c_str(), ""); },
       kBad,
       {{"RQ7AddCatalogFile", kBad, "Invalid Parameter : pchFileName"}}},
      {"add: null file",
       [](const std::string& d, int) { return RQ7AddCatalogFile(d.c_str(), nullptr); },
       kBad,
       {{"RQ7AddCatalogFile", kBad, "Invalid Parameter : pchFileName"}}},
      {"add: long file",
       [&](const std::string& d, int) { return RQ7AddCatalogFile(d.c_str(), long_name.c_str()); },
       kBad,
       {{"RQ7AddCatalogFile", kBad, "Invalid Parameter : pchFilePath"}}},
      {"add: no directory",
       [](const std::string& d, int) { return RQ7AddCatalogFile((d + "/none").c_str(), "cat.txt"); },
       kBad,
       {{"RQ7AddCatalogFile", kBad, "Invalid Parameter : pchFilePath"}}},
      {"ex2: empty catalog",
       [](const std::string& d, int) {
         return RQ7AddCatalogFileEx2(d.c_str(), "", d.c_str(), "SrcData.dat", "t");
       },
       kBad,
       {{"RQ7AddCatalogFileEx2", kBad, "Invalid Parameter : archName"}}},
      {"ex2: long source",
       [&](const std::string& d, int) {
         return RQ7AddCatalogFileEx2(d.c_str(), "cat.txt", d.c_str(), long_name.c_str(), "t");
       },
       kBad,
       {{"RQ7AddCatalogFileEx2", kBad, "Invalid Parameter : FilePath"}}},
      {"ex2: empty source",
       [](const std::string& d, int) {
         return RQ7AddCatalogFileEx2(d.c_str(), "cat.txt", d.c_str(), "", "t");
       },
       kBad,
       {{"RQ7AddCatalogFileEx2", kBad, "Invalid Parameter : FileName"}}},
      {"ex2: no directory",
       [](const std::string& d, int) {
         return RQ7AddCatalogFileEx2((d + "/none").c_str(), "cat.txt", d.c_str(), "SrcData.dat", "t");
       },
       kBad,
       {{"RQ7AddCatalogFileEx2", kBad, "Invalid Parameter : archPath"}}},
      {"append: empty file",
       [](const std::string& d, int t) { return RQ7AppendCatalogFile(t, -1, -1, d.c_str(), ""); },
       kBad,
       {{"RQ7AppendCatalogFile", kBad, "Invalid Parameter : pchFileName()"}}},
      {"append: position 0",
       [](const std::string& d, int t) { return RQ7AppendCatalogFile(t, 0, -1, d.c_str(), "cat.txt"); },
       kParam,
       {{"RQ7AppendCatalogFile", kParam, "Invalid Parameter : AppendPos(0)"}}},
      {"append: no directory",
       [](const std::string&, int t) { return RQ7AppendCatalogFile(t, 1, -1, "nowhere/x", "cat.txt"); },
       kBad,
       {{"RQ7AppendCatalogFile", kBad, "Invalid Parameter : pchFilePath(nowhere/x)"}}},
      {"append: no table",
       [](const std::string& d, int) { return RQ7AppendCatalogFile(999999, -1, -1, d.c_str(), "cat.txt"); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999999"},
        {"CanAppendFilters", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999999 "}}},
      {"ex2 append: position -2",
       [](const std::string& d, int t) {
         return RQ7AppendCatalogFileEx2(t, -2, -1, d.c_str(), "cat.txt", d.c_str(), "SrcData.dat");
       },
       kParam,
       {{"RQ7AppendCatalogFileEx2", kParam, "Invalid Parameter : AppendPos(-2)"}}},
      {"ex2 append: empty source",
       [](const std::string& d, int t) {
         return RQ7AppendCatalogFileEx2(t, -1, -1, d.c_str(), "cat.txt", d.c_str(), "");
       },
       kBad,
       {{"RQ7AppendCatalogFileEx2", kBad, "Invalid Parameter : FileName2()"}}},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(sales_, table), c.code);
    EXPECT_EQ(q7host::DrainRing(), c.ring);
    EXPECT_EQ(Cwd(), cwd_);
  }
  EXPECT_EQ(RQ7GetTotalRows(table), 3);
}

TEST_F(CatalogEntryTest, ImportFailureIsLoggedOnceInTheCatalogsDirectory) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  struct Case {
    const char* what;
    std::string catalog;
    std::function<int()> call;
    int code;
    std::string line;    // expected in the log
    std::string absent;  // not expected in the log
  };
  const std::string append_failure = "APPEND CATALOG FILE FAILURE  \t\t ErrorCode = ";
  const std::string add_failure = "ADD CATALOG FAILURE  \t\t ErrorCode = ";
  const std::vector<Case> cases = {
      // Nothing else logged: the failure line.
      {"type mismatch", "//CSV\nA\t4\tCODE\nA\t4\tB\nA\t4\tC\nA\t4\tD\nA\t4\tE\nA\t4\tF\nA\t4\tG\n",
       [&] { return RQ7AppendCatalogFile(table, -1, -1, sales_.c_str(), "bad.txt"); },
       Q7_ERROR_DATA_TYPE_MISMATCH, append_failure + std::to_string(Q7_ERROR_DATA_TYPE_MISMATCH) + " ", ""},
      {"negative rows", kCatalog,
       [&] { return RQ7AppendCatalogFile(table, -1, -5, sales_.c_str(), "bad.txt"); },
       Q7_ERROR_INVALID_PARAMETER, append_failure + std::to_string(Q7_ERROR_INVALID_PARAMETER) + " ", ""},
      // The import logged its own line: no failure line.
      {"bad catalog", "//CSV\nI\t4\n", [&] { return Keep(RQ7AddCatalogFile(sales_.c_str(), "bad.txt")); },
       Q7_CATALOG_PARSE_ERROR, "Q7_CATALOG_PARSE_ERROR\t----->\t in bad.txt\t\t@ Row = 2 ", add_failure},
      {"count mismatch", "//CSV\nI\t4\tCODE\n",
       [&] { return RQ7AppendCatalogFile(table, -1, 3, sales_.c_str(), "bad.txt"); }, Q7_CATALOG_PARSE_ERROR,
       "FILTER MISMATCH \t----->\tFilters - Items [1 - 7] ", append_failure},
      {"missing source", kCatalog,
       [&] {
         return Keep(RQ7AddCatalogFileEx2(sales_.c_str(), "bad.txt", sales_.c_str(), "gone.csv", "gone"));
       },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       "FILE  [" + std::filesystem::canonical(sales_).string() + "/gone.csv] MISSING ", add_failure},
      {"unusable table name", kCatalog,
       [&] {
         return Keep(RQ7AddCatalogFileEx2(sales_.c_str(), "bad.txt", sales_.c_str(), "SrcData.dat", ""));
       },
       Q7_ERROR_ILLEGAL_TABLE_NAME, "TABLE NAME [] MISSING", add_failure},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(sales_ + "/bad.txt", c.catalog);
    std::filesystem::remove(sales_ + "/" + kLog);
    EXPECT_EQ(c.call(), c.code);
    const std::string log = SalesLog();
    EXPECT_NE(log.find(c.line + "\n"), std::string::npos) << log;
    if (!c.absent.empty()) {
      EXPECT_EQ(log.find(c.absent), std::string::npos) << log;
    }
    EXPECT_EQ(Cwd(), cwd_);
  }
  EXPECT_EQ(Cells(table), kRows);
}

TEST_F(CatalogEntryTest, UnconvertibleSourceDirectoryIsRecordedAndLogged) {
  const std::string gone = dir_.File("gone");
  EXPECT_EQ(RQ7AddCatalogFileEx2(sales_.c_str(), "cat.txt", gone.c_str(), "SrcData.dat", "t"),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(q7host::DrainRing(),
            (std::vector<RingEntry>{
                {"RQ7AddCatalogFileEx2", Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FilePath"},
                {"RQ7AddCatalogFileEx2", Q7_ERROR_ILLEGAL_FILE_NAME, "PATH  [" + gone + "] MISSING"}}));
  EXPECT_NE(SalesLog().find("PATH  [" + gone + "] MISSING\n"), std::string::npos);
}

TEST_F(CatalogEntryTest, AppendRealFilter2ChecksBeforeReading) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  WriteFile(dir_.File("values.txt"), "1\n2\n");
  const std::string long_dir(512, 'd');
  constexpr char kName[] = "RQ7AppendRealFilter2";
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
    std::vector<RingEntry> ring;
  };
  const std::vector<Case> cases = {
      {"empty file",
       [&] { return RQ7AppendRealFilter2(table, 1, 2, -1, 2, dir_.path().c_str(), ""); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{kName, Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FileName ()"}}},
      {"position 0",
       [&] { return RQ7AppendRealFilter2(table, 1, 2, 0, 2, dir_.path().c_str(), "values.txt"); },
       Q7_ERROR_INVALID_PARAMETER,
       {{kName, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : AppendPos (0)"}}},
      {"long directory",
       [&] { return RQ7AppendRealFilter2(table, 1, 2, -1, 2, long_dir.c_str(), "values.txt"); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{kName, Q7_ERROR_ILLEGAL_FILE_NAME, "FilePath size overflow"}}},
      {"no table",
       [&] { return RQ7AppendRealFilter2(999999, 1, 2, -1, 2, dir_.path().c_str(), "values.txt"); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999999"},
        {"CanAppendFilters", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999999 "},
        {kName, Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"accepted",
       [&] { return RQ7AppendRealFilter2(table, 1, 2, -1, 2, dir_.path().c_str(), "values.txt"); },
       2,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(q7host::DrainRing(), c.ring);
    EXPECT_EQ(Cwd(), cwd_);
  }
  // The missing table is found before the file's directory is entered: its failure line goes to
  // the log of the working directory.
  EXPECT_NE(
      ReadFile(cwd_ + "/" + kLog)
          .find("APPEND FILTER FAILURE  \t\t ErrorCode = " + std::to_string(Q7_ERROR_NO_SUCH_TABLE) + " \n"),
      std::string::npos);
  // Only the accepted call changed the table: two records after the last.
  ASSERT_EQ(RQ7GetTotalRows(table), 5);
  EXPECT_EQ(q7host::CellText(table, 1, 4), "1");
  EXPECT_EQ(q7host::CellText(table, 1, 5), "2");
}

}  // namespace

// ---- Quoted fields that hold line breaks ----

std::string Replace(std::string text, char from, char to) {
  for (char& c : text) {
    if (c == from) c = to;
  }
  return text;
}

// A record's quoted fields may hold line breaks (LF or CR LF, kept as written), separators and
// doubled quotes; the record ends at the first line end outside quotes. A bad record is skipped
// whole under SKIPLINE and reported at the line it starts on, with true line numbers after it. The
// same on every road (a new table and an append on the worker pool, the single-thread append) and
// for every delimited format.
TEST_F(CatalogEntryTest, QuotedLineBreaksStayInsideTheirRecordOnEveryRoad) {
  using Rows = std::vector<std::vector<std::string>>;
  struct Case {
    const char* what;
    std::string source;  // comma-separated; the other formats swap the comma for their separator
    Rows rows;
    std::vector<std::string> reports;
    size_t after_last_row =
        0;  // reports of records after the last row (a read of that many rows stops before)
  };
  const std::string parse_error = "DATA PARSE ERROR \t\t @ Row = ";
  const std::string mismatch = "FILTER MISMATCH \t----->\tFilters - Items ";
  const std::vector<Case> cases = {
      {"a comma and a line break",
       "\"Smith,\nJohn\",5,Oslo\n\"Doe\",6,Rome\n",
       {{"Smith,\nJohn", "5", "Oslo"}, {"Doe", "6", "Rome"}},
       {}},
      {"CR LF inside and as line ends",
       "\"a\r\nb\",1,x\r\n\"q\"\"\nz\"\"\",2,\"\r\n\"\r\nlast,3,y",
       {{"a\r\nb", "1", "x"}, {"q\"\nz\"", "2", "\r\n"}, {"last", "3", "y"}},
       {}},
      {"line breaks only, and empty lines inside",
       "\"\n\n\n\",1,a\n\"\",2,\"\n\"\n",
       {{"\n\n\n", "1", "a"}, {"", "2", "\n"}},
       {}},
      {"a bad record skipped whole",
       "\"a\nb\"x,1,\"c\nd\"\ne,2,f\n\"g\nh\",\"3\",\"i\n\nj\"\nk,4,l\n",
       {{"e", "2", "f"}, {"g\nh", "3", "i\n\nj"}, {"k", "4", "l"}},
       {parse_error + "1 "}},
      {"wrong field counts skipped whole",
       "\"a\nb\",1\nc,2,d\n\"x\ny\nz\",3,w,v\nk,4,l\n",
       {{"c", "2", "d"}, {"k", "4", "l"}},
       {mismatch + "[3 - 2] \t@ Row = 1 ", mismatch + "[3 - 4] \t@ Row = 4 "}},
      {"a quote left open at the end",
       "a,1,b\n\"open,2,c\nd,3,e\n",
       {{"a", "1", "b"}},
       {parse_error + "2 "},
       1},
  };
  const struct {
    const char* name;
    const char* directive;
    char separator;
  } formats[] = {{"csv", "//CSV\n", ','}, {"tab", "//TAB\n", '\t'}, {"usr", "//USR\t;\t|\n", ';'}};
  const std::string dir = sales_;
  for (const auto& format : formats) {
    SCOPED_TRACE(format.name);
    WriteFile(dir + "/q.cat",
              std::string(format.directive) + "//ERROR\tSKIPLINE\nA\t4\tNAME\nI\t4\tN\nA\t4\tCITY\n");
    WriteFile(dir + "/empty.txt", "");
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      WriteFile(dir + "/q.txt", Replace(c.source, ',', format.separator));
      Rows want = c.rows;
      for (auto& row : want) {
        for (auto& cell : row) cell = Replace(cell, ',', format.separator);
      }
      const int rows = static_cast<int>(want.size());
      for (int road = 0; road < 3; ++road) {
        SCOPED_TRACE(road == 0 ? "new table" : road == 1 ? "append on the pool" : "single-thread append");
        std::filesystem::remove(dir + "/" + kLog);
        int table;
        if (road == 0) {
          table = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "q.cat", dir.c_str(), "q.txt", "q"));
        } else {
          table = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "q.cat", dir.c_str(), "empty.txt", "q"));
          ASSERT_GT(table, 0);
          std::filesystem::remove(dir + "/" + kLog);
          ASSERT_EQ(RQ7AppendCatalogFileEx2(table, -1, road == 1 ? -1 : rows, dir.c_str(), "q.cat",
                                            dir.c_str(), "q.txt"),
                    rows);
        }
        ASSERT_GT(table, 0);
        EXPECT_EQ(Cells(table), want);
        std::vector<std::string> reports = c.reports;
        if (road == 2) reports.resize(reports.size() - c.after_last_row);
        EXPECT_EQ(RowReports(SalesLog()), reports);
      }
    }
  }
}

// A record that is bad for its quotes stops the import under STOP, CONTINUE and NONE (reported but
// under NONE), and no part of it becomes a row under any mode.
TEST_F(CatalogEntryTest, BadQuotedRecordIsNeverPartlyImported) {
  const std::string dir = sales_;
  const std::string source = "\"Smith,\nJohn\"x,5,Oslo\n\"Doe\",6,Rome\n";
  WriteFile(dir + "/q.txt", source);
  const struct {
    const char* mode;
    int code;
    bool reported;
  } modes[] = {{"STOP", Q7_ERROR_INVALID_DATA, true},
               {"CONTINUE", Q7_ERROR_INVALID_DATA, true},
               {"NONE", Q7_ERROR_INVALID_DATA, false},
               {"SKIPLINE", 0, true}};
  for (const auto& m : modes) {
    SCOPED_TRACE(m.mode);
    WriteFile(dir + "/q.cat",
              std::string("//CSV\n//ERROR\t") + m.mode + "\nA\t4\tNAME\nI\t4\tN\nA\t4\tCITY\n");
    std::filesystem::remove(dir + "/" + kLog);
    const int table = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "q.cat", dir.c_str(), "q.txt", "q"));
    const std::vector<std::string> reports = RowReports(SalesLog());
    EXPECT_EQ(reports.size(), m.reported ? 1u : 0u);
    if (m.reported) {
      EXPECT_EQ(reports[0], "DATA PARSE ERROR \t\t @ Row = 1 ");
    }
    if (m.code != 0) {
      EXPECT_EQ(table, m.code);
      continue;
    }
    ASSERT_GT(table, 0);
    EXPECT_EQ(Cells(table), (std::vector<std::vector<std::string>>{{"Doe", "6", "Rome"}}));
  }
}

// Under CUTTOP the title record is dropped whole, also when a quoted name in it holds a line
// break, and the data line numbers count from after it.
TEST_F(CatalogEntryTest, TitleRecordWithALineBreakIsDroppedWhole) {
  const std::string dir = sales_;
  WriteFile(dir + "/t.cat", "//CSV\n//CUTTOP\n//ERROR\tSKIPLINE\nA\t4\tNAME\nI\t4\tN\n");
  WriteFile(dir + "/t.txt", "\"na\nme\",\"n\"\na,1\nb,x,2\nc,3\n");
  WriteFile(dir + "/empty.txt", "");
  const std::vector<std::vector<std::string>> want = {{"a", "1"}, {"c", "3"}};
  for (int road = 0; road < 2; ++road) {
    SCOPED_TRACE(road == 0 ? "worker pool" : "calling thread");
    std::filesystem::remove(dir + "/" + kLog);
    int table =
        Keep(RQ7AddCatalogFileEx2(dir.c_str(), "t.cat", dir.c_str(), road == 0 ? "t.txt" : "empty.txt", "t"));
    ASSERT_GT(table, 0);
    if (road == 1) {
      ASSERT_EQ(RQ7AppendCatalogFileEx2(table, -1, 2, dir.c_str(), "t.cat", dir.c_str(), "t.txt"), 2);
    }
    EXPECT_EQ(Cells(table), want);
    EXPECT_EQ(RowReports(SalesLog()),
              std::vector<std::string>{"FILTER MISMATCH \t----->\tFilters - Items [2 - 3] \t@ Row = 2 "});
  }
}

// ---- Sources with a byte-order mark, exported infinities, failures the log cannot take ----

namespace {

constexpr char kMark[] = "\xEF\xBB\xBF";

// A UTF-8 byte-order mark at the very start of a UTF-8 source is no data on every road: a number
// first still reads, a text first gains nothing, and CUTTOP drops the title line after the mark. A
// mark further on, or in a source of another code, stays data.
TEST_F(CatalogEntryTest, Utf8MarkAtTheStartIsNoDataOnEveryRoad) {
  using Rows = std::vector<std::vector<std::string>>;
  const std::string dir = sales_;
  WriteFile(dir + "/empty.txt", "");
  const struct {
    const char* what;
    const char* fields;  // catalog field lines
    std::string body;    // the source after the mark (and the title line)
    Rows rows;
  } kinds[] = {
      {"number first",
       "I\t4\tN\nA\t4\tS\n",
       "12,a\n" + std::string(kMark) + "b,c\n",
       {{"12", "a"}, {"NULL", "c"}}},
      {"text first",
       "A\t4\tS\nI\t4\tN\n",
       "a,1\n" + std::string(kMark) + "b,2\n",
       {{"a", "1"}, {std::string(kMark) + "b", "2"}}},
  };
  enum Road { kPoolNew, kPoolAppend, kSingleAppend, kChecked };
  const char* road_names[] = {"pool, new table", "pool, append", "single-thread append", "checked import"};
  for (const auto& kind : kinds) {
    for (const bool cut_top : {false, true}) {
      for (int road = kPoolNew; road <= kChecked; ++road) {
        SCOPED_TRACE(std::string(kind.what) + (cut_top ? ", CUTTOP, " : ", ") + road_names[road]);
        // CONTINUE: a value that does not convert is NULL and the row stays.
        WriteFile(dir + "/m.cat", std::string("//CSV\n//UTF-8\n//ERROR\tCONTINUE\n") +
                                      (cut_top ? "//CUTTOP\n" : "") + kind.fields);
        WriteFile(dir + "/m.txt", kMark + std::string(cut_top ? "title,line\n" : "") + kind.body);
        const int rows = static_cast<int>(kind.rows.size());
        int table;
        if (road == kPoolNew) {
          table = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "m.cat", dir.c_str(), "m.txt", "m"));
        } else if (road == kChecked) {
          table = Keep(RQ7AddCatalogFileChecker(dir.c_str(), "m.cat", dir.c_str(), "m.txt", "m"));
        } else {
          table = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "m.cat", dir.c_str(), "empty.txt", "m"));
          ASSERT_GT(table, 0);
          ASSERT_EQ(RQ7AppendCatalogFileEx2(table, -1, road == kPoolAppend ? -1 : rows, dir.c_str(), "m.cat",
                                            dir.c_str(), "m.txt"),
                    rows);
        }
        ASSERT_GT(table, 0);
        EXPECT_EQ(Cells(table), kind.rows);
      }
    }
  }
  // Only in UTF-8: a source of another code keeps the bytes.
  WriteFile(dir + "/m.cat", "//CSV\n//Cp1252\nA\t4\tS\nI\t4\tN\n");
  WriteFile(dir + "/m.txt", std::string(kMark) + "a,1\n");
  const int other = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "m.cat", dir.c_str(), "m.txt", "other"));
  ASSERT_GT(other, 0);
  EXPECT_EQ(Cells(other), (Rows{{std::string(kMark) + "a", "1"}}));
}

// The single-column read of RQ7AddRealFilter2 drops the mark of a UTF-8 file (the database's code).
TEST_F(CatalogEntryTest, Utf8MarkIsNoValueOfASingleColumnFile) {
  const int table = Keep(RQ7AddRealTable("col", 2));
  ASSERT_GT(table, 0);
  WriteFile(dir_.File("n.txt"), std::string(kMark) + "7\n8\n");
  WriteFile(dir_.File("s.txt"), std::string(kMark) + "x\n" + kMark + "y\n");
  const int n = RQ7AddRealFilter2(table, 1024, "N", Q7_TYPE_INTEGER, 2, 4, dir_.path().c_str(), "n.txt");
  const int s = RQ7AddRealFilter2(table, 1024, "S", Q7_TYPE_STRING, 2, 8, dir_.path().c_str(), "s.txt");
  ASSERT_GT(n, 0);
  ASSERT_GT(s, 0);
  EXPECT_EQ(Cells(table),
            (std::vector<std::vector<std::string>>{{"7", "x"}, {"8", std::string(kMark) + "y"}}));
}

// A DOUBLE plus infinity leaves the text export as "INF"; the table's own catalog export imports
// again, on the pool and through the checked import (minus infinity is the NULL, exported empty).
TEST_F(CatalogEntryTest, ExportedPlusInfinityImportsAgain) {
  const int table = Keep(RQ7AddRealTable("inf", 3));
  ASSERT_GT(table, 0);
  const double inf = std::numeric_limits<double>::infinity();
  ASSERT_GT(q7host::AddDoubleColumn(table, "X", {1.5, inf, -inf}), 0);
  const std::string dir = dir_.File("inf");
  std::filesystem::create_directories(dir);
  int all[2] = {-1, -1};
  ASSERT_EQ(RQ7SaveAsCatalogEx(table, 1, all, 0, -1, -1, '/', dir.c_str(), "x.cat", dir.c_str(), "x.csv"), 0);
  EXPECT_NE(ReadFile(dir + "/x.csv").find("INF\n"), std::string::npos) << ReadFile(dir + "/x.csv");
  const std::vector<std::vector<std::string>> want = {{"1.5"}, {"inf"}, {"NULL"}};
  const int again = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "x.cat", dir.c_str(), "x.csv", "again"));
  ASSERT_GT(again, 0);
  EXPECT_EQ(Cells(again), want);
  const int checked = Keep(RQ7AddCatalogFileChecker(dir.c_str(), "x.cat", dir.c_str(), "x.csv", "checked"));
  ASSERT_GT(checked, 0);
  EXPECT_EQ(Cells(checked), want);
  EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
}

// A failed import leaves its first log line in the error ring with its code. When the catalog's
// directory takes no log (here the log's name is a directory), the import fails with the log's
// code, and the ring says so before the import's own failure: also when the only line is the
// failure line written after the import (before, an append whose catalog types are not the table's
// then returned Q7_ERROR_DATA_TYPE_MISMATCH, and the log's entry carried that code).
TEST_F(CatalogEntryTest, FailedImportTellsTheRingWhyEvenWithoutALog) {
  const std::string dir = sales_;
  constexpr char kEx2[] = "RQ7AddCatalogFileEx2";
  constexpr char kAppend[] = "RQ7AppendCatalogFileEx2";
  const std::string good_catalog = "//CSV\n//ERROR\tSTOP\nI\t4\tN\nA\t4\tS\n";
  WriteFile(dir + "/empty.txt", "");
  struct Case {
    const char* what;
    std::string catalog;
    std::string source_file;
    std::string source;
    int rows;  // 0: a new table on the pool; else a single-thread append of that many rows
    int code;
    std::string line;
    std::vector<RingEntry> before;         // the import's own entries, log writable
    std::vector<RingEntry> before_no_log;  // the same without a log
    std::string table_catalog = "";        // the appended-to table's catalog, when not `catalog`
  };
  const RingEntry str2data{"Str2Data", Q7_ERROR_INVALID_DATA, "Illegal string data"};
  const std::string bad_value = "DATA ERROR \t\t----->\t[N] = \"x\"  \t@ Row = 2 , Col = 1 ";
  const std::string missing = "FILTER MISMATCH \t----->\tFilters - Items [2 - 1] \t@ Row = 2 ";
  const std::string gone = "FILE  [" + std::filesystem::canonical(dir).string() + "/gone.csv] MISSING ";
  const std::string swapped_catalog = "//CSV\n//ERROR\tSTOP\nA\t4\tN\nI\t4\tS\n";
  const std::string mismatch =
      "APPEND CATALOG FILE FAILURE  \t\t ErrorCode = " + std::to_string(Q7_ERROR_DATA_TYPE_MISMATCH) + " ";
  const std::vector<Case> cases = {
      {"bad value, pool", good_catalog, "s.csv", "1,a\nx,b\n", 0, Q7_ERROR_INVALID_DATA, bad_value, {}, {}},
      {"bad value, single thread",
       good_catalog,
       "s.csv",
       "1,a\nx,b\n",
       2,
       Q7_ERROR_INVALID_DATA,
       bad_value,
       {str2data, {"validateRet", Q7_ERROR_INVALID_DATA, "Invalid Data"}},
       {str2data}},
      {"missing column, pool", good_catalog, "s.csv", "1,a\n2\n", 0, Q7_CATALOG_PARSE_ERROR, missing, {}, {}},
      {"missing column, single thread",
       good_catalog,
       "s.csv",
       "1,a\n2\n",
       2,
       Q7_CATALOG_PARSE_ERROR,
       missing,
       {},
       {}},
      {"bad type letter",
       "//CSV\nX\t4\tN\n",
       "s.csv",
       "1\n",
       0,
       Q7_ERROR_UNDEFINED_FILTER_TYPE,
       "UNDEFINED FILTER TYPE\t----->\t[X] in f.cat\t\t@ Row = 2 ",
       {},
       {}},
      {"missing source", good_catalog, "gone.csv", "", 0, Q7_ERROR_ILLEGAL_FILE_NAME, gone, {}, {}},
      // The import logs nothing of its own here: only the failure line meets the log.
      {"catalog types not the table's, single thread",
       good_catalog,
       "s.csv",
       "1,a\n",
       2,
       Q7_ERROR_DATA_TYPE_MISMATCH,
       mismatch,
       {},
       {},
       swapped_catalog},
      {"catalog types not the table's, pool",
       good_catalog,
       "s.csv",
       "1,a\n",
       -1,
       Q7_ERROR_DATA_TYPE_MISMATCH,
       mismatch,
       {},
       {},
       swapped_catalog},
  };
  const std::string log_dir = dir + "/" + kLog;
  for (const bool writable : {true, false}) {
    std::filesystem::remove_all(log_dir);
    if (!writable) WriteFile(log_dir + "/keep", "");  // not empty: no import can remove it
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (writable ? "" : ", no log"));
      WriteFile(dir + "/f.cat", c.catalog);
      if (c.source_file != "gone.csv") WriteFile(dir + "/" + c.source_file, c.source);
      const char* api = c.rows == 0 ? kEx2 : kAppend;
      int result;
      if (c.rows == 0) {
        result = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "f.cat", dir.c_str(), c.source_file.c_str(), "f"));
      } else {
        WriteFile(dir + "/t.cat", c.table_catalog.empty() ? c.catalog : c.table_catalog);
        const int table = Keep(RQ7AddCatalogFileEx2(dir.c_str(), "t.cat", dir.c_str(), "empty.txt", "f"));
        ASSERT_GT(table, 0);
        q7host::DrainRing();
        result = RQ7AppendCatalogFileEx2(table, -1, c.rows, dir.c_str(), "f.cat", dir.c_str(),
                                         c.source_file.c_str());
      }
      std::vector<RingEntry> want = writable ? c.before : c.before_no_log;
      if (!writable) {
        want.push_back({api, Q7_ERROR_ILLEGAL_FILE_NAME,
                        "Cannot write the catalog message log [" + std::string(kLog) + "]"});
      }
      want.push_back({api, c.code, c.line.substr(0, 126)});
      EXPECT_EQ(result, writable ? c.code : Q7_ERROR_ILLEGAL_FILE_NAME);
      EXPECT_EQ(q7host::DrainRing(), want);
      if (writable) {
        EXPECT_NE(SalesLog().find(c.line + "\n"), std::string::npos) << SalesLog();
      }
    }
  }
  std::filesystem::remove_all(log_dir);
}

}  // namespace

namespace {

// The single-column files fail as the catalog imports do when the message log cannot be written:
// with Q7_ERROR_ILLEGAL_FILE_NAME, an entry saying so, then the failure, with its own code, and the
// line the log did not get (before, RQ7AddRealFilter2 of a missing file left no entry at all, and
// RQ7AppendRealFilter2 only its own code). RQ7AddRealFilter2 logs in the working directory,
// RQ7AppendRealFilter2 in the file's; with a log that can be written, the line there is the report.
TEST_F(CatalogEntryTest, FailedColumnFileTellsTheRingWhyEvenWithoutALog) {
  const int table = ImportSales();
  ASSERT_GT(table, 0);
  q7host::DrainRing();
  const std::string gone = sales_ + "/gone.txt";
  struct Case {
    const char* api;
    std::function<int()> call;
    std::string line;
    std::vector<RingEntry> before;  // the call's own entries, log writable
    std::string log_dir;            // where the call logs
    std::vector<RingEntry> before_no_log = before;
    int code = Q7_ERROR_ILLEGAL_FILE_NAME;  // with the log writable
  };
  constexpr int kBad = Q7_ERROR_ILLEGAL_FILE_NAME;
  const RingEntry overflow{"parseLine", Q7_ERROR_DATA_OVERFLOW, "StringSize overflow"};
  const std::vector<Case> cases = {
      {"RQ7AddRealFilter2",
       [&] { return RQ7AddRealFilter2(table, 1024, "n", Q7_TYPE_INTEGER, 3, 0, sales_.c_str(), "gone.txt"); },
       "FILE  [" + gone + "] MISSING ",
       {},
       cwd_},
      {"RQ7AddRealFilter2Numeric",
       [&] { return RQ7AddRealFilter2Numeric(table, 1024, "n", 3, 2, 4, sales_.c_str(), "gone.txt"); },
       "FILE  [" + gone + "] MISSING ",
       {},
       cwd_},
      {"RQ7AppendRealFilter2",
       [&] { return RQ7AppendRealFilter2(table, 1, Q7_TYPE_INTEGER, -1, 2, sales_.c_str(), "gone.txt"); },
       "FILE  [gone.txt] MISSING ",
       {{"RQ7AppendRealFilter2", kBad, ""}},
       sales_},
      // The line the log does not get fails the append with the log's code, not its own.
      {"RQ7AppendRealFilter2",
       [&] { return RQ7AppendRealFilter2(table, 1, Q7_TYPE_INTEGER, -1, 2, sales_.c_str(), "long.txt"); },
       "DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = 2 @ File = long.txt ",
       {overflow,
        {"validateRet", Q7_ERROR_DATA_OVERFLOW, "DataSize overflow"},
        {"RQ7AppendRealFilter2", Q7_ERROR_DATA_OVERFLOW, ""}},
       sales_,
       {overflow, {"RQ7AppendRealFilter2", kBad, ""}},
       Q7_ERROR_DATA_OVERFLOW},
  };
  WriteFile(sales_ + "/long.txt", "1\n" + std::string(5000, '7') + "\n");
  const std::vector<std::string> filters = FilterNames(table);
  for (const bool writable : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.api) + ", " + c.line + (writable ? "" : ", no log"));
      const std::string log = c.log_dir + "/" + kLog;
      std::filesystem::remove_all(log);
      if (!writable) WriteFile(log + "/keep", "");
      EXPECT_EQ(c.call(), writable ? c.code : kBad);
      std::vector<RingEntry> want = writable ? c.before : c.before_no_log;
      if (!writable) {
        want.push_back({c.api, kBad, "Cannot write the catalog message log [" + std::string(kLog) + "]"});
        want.push_back({c.api, c.code, c.line});
      }
      EXPECT_EQ(q7host::DrainRing(), want);
      if (writable) {
        EXPECT_NE(ReadFile(log).find(c.line + "\n"), std::string::npos) << ReadFile(log);
      }
      EXPECT_EQ(Cwd(), cwd_);
      std::filesystem::remove_all(log);
    }
  }
  // Nothing was added or written.
  EXPECT_EQ(FilterNames(table), filters);
  EXPECT_EQ(Cells(table), kRows);
}

}  // namespace
