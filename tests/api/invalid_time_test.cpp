// Times that are no time of day ("25:00:00", "12:60:00", a second 60) on every road into the
// engine: the catalog imports and appends under each error mode, the checked import, a constant of
// a text query and RQ7Str2TimeR1. Each road treats them as it treats a date that does not exist
// (the first case of each table): NULL or a refusal, reported where the road reports a value it
// cannot read, never midnight.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::RingEntry;
using q7host::RowReports;
using Rows = std::vector<std::vector<std::string>>;

constexpr char kLog[] = "catalog_err_log.txt";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

Rows Cells(int table) {
  std::vector<int> ids(64);
  const int filters = RQ7GetFilterIDList(table, ids.data());
  Rows rows;
  for (int row = 1; row <= RQ7GetTotalRows(table); ++row) {
    std::vector<std::string> cells;
    for (int f = 0; f < filters; ++f) cells.push_back(q7host::CellText(table, ids[f], row));
    rows.push_back(cells);
  }
  return rows;
}

// A date, the free-form time and datetime, and the named forms; T4 counts hours 1 to 24.
constexpr char kFields[] =
    "I\t4\tK\n"
    "D\t10\tDAY\n"
    "T\t8\tAT\n"
    "E\t19\tWHEN\n"
    "T\t8\tAT1\tT1\n"
    "T\t5\tAT4\tT4\n"
    "E\t19\tWHEN1\tD1\tT1\n";
const std::vector<std::string> kNames = {"K", "DAY", "AT", "WHEN", "AT1", "AT4", "WHEN1"};
const std::vector<std::string> kGood = {"",         "2024/01/31", "12:00:00",           "2024/01/31 12:00:00",
                                        "23:59:59", "24:00",      "2024/01/31 06:00:00"};
// kGood as stored: "24:00" under T4 is the last hour of the day.
const std::vector<std::string> kGoodCells = {
    "", "45322", "0.5", "45322.5", "0.9999884259", "0.9583333333", "45322.25"};

struct BadCell {
  size_t column;
  const char* text;
};
// At most 8, the error ring's length, so that every report of the single-thread append stays in it.
const BadCell kBad[] = {
    {1, "2024/02/30"}, {2, "25:00:00"},
    {2, "12:60:00"},   {2, "-1:00:00"},
    {2, "23:59:60"},   {3, "2024/01/31 25:00:00"},
    {4, "23:59:60"},   {6, "2024/01/31 23:59:60"},
};

// A line of kGood with key k, one cell replaced when bad is given.
std::string Line(int k, const BadCell* bad) {
  std::string line = std::to_string(k);
  for (size_t c = 1; c < kGood.size(); ++c)
    line += "," + std::string(bad && bad->column == c ? bad->text : kGood[c]);
  return line + "\n";
}
std::vector<std::string> RowCells(int k, const BadCell* bad) {
  std::vector<std::string> cells = kGoodCells;
  cells[0] = std::to_string(k);
  if (bad) cells[bad->column] = "NULL";
  return cells;
}
std::string DataError(const BadCell& bad, int line) {
  return "DATA ERROR \t\t----->\t[" + kNames[bad.column] + "] = \"" + bad.text +
         "\"  \t@ Row = " + std::to_string(line) + " , Col = " + std::to_string(bad.column + 1) + " ";
}

class InvalidTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ASSERT_EQ(RQ7SetDBCharCode("UTF8"), 0);
    q7host::DrainRing();
  }
  void TearDown() override {
    for (int table : tables_) RQ7DeleteTable(table);
    q7host::DrainRing();
  }
  int Keep(int table) {
    if (table > 0) tables_.push_back(table);
    return table;
  }
  // Writes the catalog with the error mode and the source into a directory of their own.
  std::string Write(const std::string& name, const std::string& mode, const std::string& source) {
    const std::string dir = dir_.File(name);
    WriteFile(dir + "/cat.txt", "//CSV\n//ERROR\t" + mode + "\n" + kFields);
    WriteFile(dir + "/SrcData.dat", source);
    return dir;
  }

  q7host::TempDir dir_;
  std::vector<int> tables_;
};

// Under CONTINUE and SKIPLINE every bad cell is NULL, its row kept, and reported in the catalog log;
// under NONE it is NULL unreported. The parallel import, the parallel append and the single-thread
// append (which also leaves one ring entry per reported value) agree.
TEST_F(InvalidTimeTest, CatalogImportStoresNullAndReportsAsForADate) {
  std::string source = Line(1, nullptr);
  Rows want = {RowCells(1, nullptr)};
  std::vector<std::string> reports;
  for (size_t i = 0; i < std::size(kBad); ++i) {
    const int k = static_cast<int>(i) + 2;
    source += Line(k, &kBad[i]);
    want.push_back(RowCells(k, &kBad[i]));
    reports.push_back(DataError(kBad[i], k));
  }
  const int rows = static_cast<int>(want.size());
  for (const char* mode : {"CONTINUE", "SKIPLINE", "NONE"}) {
    SCOPED_TRACE(mode);
    const bool reported = std::string(mode) != "NONE";
    const std::string dir = Write(mode, mode, source);
    const int table = Keep(RQ7AddCatalogFile(dir.c_str(), "cat.txt"));
    ASSERT_GT(table, 0);
    EXPECT_EQ(Cells(table), want);
    EXPECT_EQ(RowReports(ReadFile(dir + "/" + kLog)), reported ? reports : std::vector<std::string>{});
    EXPECT_EQ(q7host::DrainRing(), std::vector<RingEntry>{});
    for (int append_rows : {-1, rows}) {
      SCOPED_TRACE(append_rows);
      std::filesystem::remove(dir + "/" + kLog);
      EXPECT_EQ(RQ7AppendCatalogFile(table, 1, append_rows, dir.c_str(), "cat.txt"), rows);
      EXPECT_EQ(Cells(table), want);
      EXPECT_EQ(RowReports(ReadFile(dir + "/" + kLog)), reported ? reports : std::vector<std::string>{});
      const RingEntry bad{"Str2Data", Q7_ERROR_INVALID_DATA, "Illegal string data"};
      EXPECT_EQ(q7host::DrainRing(), append_rows > 0 && reported
                                         ? std::vector<RingEntry>(std::size(kBad), bad)
                                         : std::vector<RingEntry>{});
    }
  }
}

// Under STOP the first bad cell fails the import and the append with Q7_ERROR_INVALID_DATA, reported
// in the catalog log; no table is left and the appended-to table keeps its rows.
TEST_F(InvalidTimeTest, CatalogImportUnderStopRefusesAsForADate) {
  const std::string good_dir = Write("good", "STOP", Line(1, nullptr));
  const int table = Keep(RQ7AddCatalogFile(good_dir.c_str(), "cat.txt"));
  ASSERT_GT(table, 0);
  const Rows before = {RowCells(1, nullptr)};
  ASSERT_EQ(Cells(table), before);
  for (size_t i = 0; i < std::size(kBad); ++i) {
    const BadCell& bad = kBad[i];
    SCOPED_TRACE(std::string(kNames[bad.column]) + " " + bad.text);
    const std::string dir = Write("stop" + std::to_string(i), "STOP", Line(1, nullptr) + Line(2, &bad));
    const int tables = RQ7GetNTable();
    EXPECT_EQ(Keep(RQ7AddCatalogFile(dir.c_str(), "cat.txt")), Q7_ERROR_INVALID_DATA);
    EXPECT_EQ(RQ7GetNTable(), tables);
    const std::vector<std::string> report = {DataError(bad, 2)};
    EXPECT_EQ(RowReports(ReadFile(dir + "/" + kLog)), report);
    q7host::DrainRing();
    for (int append_rows : {-1, 2}) {
      SCOPED_TRACE(append_rows);
      std::filesystem::remove(dir + "/" + kLog);
      EXPECT_EQ(RQ7AppendCatalogFile(table, -1, append_rows, dir.c_str(), "cat.txt"), Q7_ERROR_INVALID_DATA);
      EXPECT_EQ(RowReports(ReadFile(dir + "/" + kLog)), report);
      EXPECT_EQ(Cells(table), before);
      q7host::DrainRing();
    }
  }
}

// The checked import stores NULL and writes one correction record per bad cell.
TEST_F(InvalidTimeTest, CheckedImportStoresNullAndLogsTheCorrection) {
  WriteFile(dir_.File("cat.txt"), "//CSV\nI\t4\tK\nD\t10\tDAY\nT\t8\tAT\nE\t19\tWHEN\n");
  WriteFile(dir_.File("data.csv"),
            "1,2024/01/31,23:59:59,2024/01/31 12:00:00\n"
            "2,2024/02/30,25:00:00,2024/01/31 23:59:60\n"
            "3,2024/01/31,12:60:00,2024/01/31 -1:00:00\n"
            "4,2024/01/31,23:59:60,2024/01/31 24:00:00\n");
  const int table = Keep(
      RQ7AddCatalogFileChecker(dir_.path().c_str(), "cat.txt", dir_.path().c_str(), "data.csv", "checked"));
  ASSERT_GT(table, 0);
  EXPECT_EQ(Cells(table), (Rows{{"1", "45322", "0.9999884259", "45322.5"},
                                {"2", "NULL", "NULL", "NULL"},
                                {"3", "45322", "NULL", "NULL"},
                                {"4", "45322", "NULL", "NULL"}}));
  const std::string log = ReadFile(dir_.File("checked_data.txt"));
  const auto record = [](int line, int field, const std::string& name, const std::string& text,
                         const std::string& type) {
    return std::to_string(line) + "\t" + std::to_string(field) + "\t\"" + name + "\"\t\"" + text +
           "\"\t\"\"\t\"ERROR! " + type + " value converted to NULL\"\n";
  };
  for (const std::string& r :
       {record(2, 2, "DAY", "2024/02/30", "DATE"), record(2, 3, "AT", "25:00:00", "TIME"),
        record(2, 4, "WHEN", "2024/01/31 23:59:60", "DATETIME"), record(3, 3, "AT", "12:60:00", "TIME"),
        record(3, 4, "WHEN", "2024/01/31 -1:00:00", "DATETIME"), record(4, 3, "AT", "23:59:60", "TIME"),
        record(4, 4, "WHEN", "2024/01/31 24:00:00", "DATETIME")}) {
    EXPECT_NE(log.find(r), std::string::npos) << r << log;
  }
}

// A time constant of a text query that is no time of day is refused as a date constant that does
// not exist is: the value-type code, one ring entry, no set.
TEST_F(InvalidTimeTest, TextQueryRefusesTheConstant) {
  const int table = Keep(q7host::AddTable("moments", 2));
  ASSERT_GT(table, 0);
  const double day = q7host::DateSerial(2024, 1, 31);
  ASSERT_GT(q7host::AddDoubleColumn(table, "day", {day, day + 1}, Q7_TYPE_DATE), 0);
  ASSERT_GT(q7host::AddDoubleColumn(table, "at", {0.5, 0.0}, Q7_TYPE_TIME), 0);
  ASSERT_GT(q7host::AddDoubleColumn(table, "ts", {day + 0.5, day}, Q7_TYPE_DATETIME), 0);
  q7host::DrainRing();
  for (const char* text :
       {"day = '2024/02/30'", "at = '25:00:00'", "at = '12:60:00'", "at = '-1:00:00'", "at = '23:59:60'",
        "at = '24:00'", "ts = '2024/01/31 25:00:00'", "ts = '2024/01/31 23:59:60'"}) {
    SCOPED_TRACE(text);
    int unused = 0;
    const int sets = RQ7GetSetIDList(table, 0, &unused);
    EXPECT_EQ(RQ7SearchByText(table, 1, text), Q7_ERROR_QUERY_VALUE_TYPE);
    const std::vector<RingEntry> ring = q7host::DrainRing();
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_EQ(ring[0].code, Q7_ERROR_QUERY_VALUE_TYPE);
    EXPECT_EQ(RQ7GetSetIDList(table, 0, &unused), sets);
  }
  // Midnight is a time like any other: it finds the row that holds it.
  for (const char* text : {"at = '00:00:00'", "ts = '2024/01/31 00:00:00'"}) {
    SCOPED_TRACE(text);
    const int set = RQ7SearchByText(table, 1, text);
    ASSERT_GT(set, 0);
    EXPECT_EQ(q7host::ReadSet(table, set), std::vector<int>{2});
  }
}

TEST_F(InvalidTimeTest, Str2TimeR1GivesNullForNoTimeOfDay) {
  const struct {
    const char* text;
    double want;
  } cases[] = {
      {"25:00:00", q7host::kDoubleNull},
      {"12:60:00", q7host::kDoubleNull},
      {"-1:00:00", q7host::kDoubleNull},
      {"23:59:60", q7host::kDoubleNull},
      {"24:00", q7host::kDoubleNull},
      {"00:00:00", 0.0},
      {"18:00:00", 0.75},
      {"23:59:59.999", 86399999 / 86400000.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RQ7Str2TimeR1(c.text), c.want);
  }
  EXPECT_EQ(RQ7Str2DateR1("2024/02/30"), q7host::kDoubleNull);  // as a date that does not exist
  // The status-returning form refuses it as text that is no time.
  double value = 0.0;
  EXPECT_EQ(RQ7StrToTime("25:00:00", &value), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(value, q7host::kDoubleNull);
}

// A date-time whose date part is no date or whose time part does not read is NULL where nothing
// else could say so: the single-column files (added and appended) and RQ7Str2DateTimeR1. Before,
// "2024/02/30 12:00:00" was 1899/12/30 12:00 and "2024/01/31 25:00" midnight of the date there.
// A date alone stays midnight. Under //ERROR NONE a catalog import keeps its unchecked reading: a
// date that is none counts as 0, a time that does not read is NULL.
TEST_F(InvalidTimeTest, DateTimeWithAPartThatIsNoneIsNullWhereNoModeSaysOtherwise) {
  const double day = q7host::DateSerial(2024, 1, 31);
  const struct {
    const char* text;
    double value;      // in a single-column file and from RQ7Str2DateTimeR1
    const char* none;  // under //ERROR NONE
  } cases[] = {
      {"2024/02/30 12:00:00", q7host::kDoubleNull, "0.5"},
      {"2024/01/31 25:00", q7host::kDoubleNull, "NULL"},
      {"2024/01/31 12:60", q7host::kDoubleNull, "NULL"},
      {"2024/01/31", day, "45322"},
      {"2024/01/31 12:00", day + 0.5, "45322.5"},
      {"12:00", 0.5, "0.5"},  // a time alone has no date part: day 0 wherever read unchecked
      {"abc", q7host::kDoubleNull, "0"},
  };
  std::string file;
  std::string source;
  std::vector<std::string> cells;
  std::vector<std::string> none;
  int k = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(RQ7Str2DateTimeR1(c.text), c.value);
    file += std::string(c.text) + "\n";
    source += std::to_string(++k) + "," + c.text + "\n";
    char text[64];
    std::snprintf(text, sizeof text, "%.10g", c.value);
    cells.push_back(c.value == q7host::kDoubleNull ? "NULL" : text);
    none.push_back(c.none);
  }
  const int rows = static_cast<int>(std::size(cases));
  WriteFile(dir_.File("stamps.txt"), file);
  const int table = Keep(q7host::AddTable("stamps", rows));
  ASSERT_GT(table, 0);
  const int added = RQ7AddRealFilter2(table, q7host::kAppendPosition, "WHEN", Q7_TYPE_DATETIME, rows, 0,
                                      dir_.path().c_str(), "stamps.txt");
  ASSERT_GT(added, 0);
  std::vector<std::string> got;
  for (int row = 1; row <= rows; ++row) got.push_back(q7host::CellText(table, added, row));
  EXPECT_EQ(got, cells);
  ASSERT_EQ(RQ7AppendRealFilter2(table, added, Q7_TYPE_DATETIME, -1, -1, dir_.path().c_str(), "stamps.txt"),
            rows);
  got.clear();
  for (int row = rows + 1; row <= 2 * rows; ++row) got.push_back(q7host::CellText(table, added, row));
  EXPECT_EQ(got, cells);

  const std::string dir = dir_.File("none");
  WriteFile(dir + "/cat.txt", "//CSV\n//ERROR\tNONE\nI\t4\tK\nE\t19\tWHEN\n");
  WriteFile(dir + "/SrcData.dat", source);
  const int imported = Keep(RQ7AddCatalogFile(dir.c_str(), "cat.txt"));
  ASSERT_GT(imported, 0);
  got.clear();
  for (const auto& row : Cells(imported)) got.push_back(row.at(1));
  EXPECT_EQ(got, none);
  q7host::DrainRing();
}

}  // namespace
