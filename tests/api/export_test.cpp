// The exported text export and catalog writers, as a host sees them: the bytes of the files, row
// ranges and their codes, the ring entries of the refusals, export format files, and a saved
// catalog whose data the catalog import reads back into an equal table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::RingEntry;

constexpr int kNoSuchTable = Q7_ERROR_NO_SUCH_TABLE;
constexpr int kBadParameter = Q7_ERROR_INVALID_PARAMETER;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Cwd() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? buf : "";
}

// Every type, with NULLs, quotes, separators inside texts and edge values.
const char kCsv[] =
    "7,,2024/01/31,12:00:00,\"a\"\"b\",2024/02/01 06:00:00,12.30\n"
    ",2.500,,00:00:01.500,\"x,y\",,\n"
    "-2147483647,1.0000000000000E+20,1900/01/01,,\"\",2000/02/29 18:00:00,-0.05\n"
    "0,-0.125,2099/12/31,23:59:59,\"tab\there\",,1000.00\n";
const char kTab[] =
    "7\t\t2024-01-31\t12:00:00\t\"a\"\"b\"\t2024-02-01 06:00:00\t12.30\n"
    "\t2.500\t\t00:00:01.500\t\"x,y\"\t\t\n"
    "-2147483647\t1.0000000000000E+20\t1900-01-01\t\t\"\"\t2000-02-29 18:00:00\t-0.05\n"
    "0\t-0.125\t2099-12-31\t23:59:59\t\"tab\there\"\t\t1000.00\n";

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    RQ7ClearDB();
    table_ = q7host::AddTable("sales", 4);
    ASSERT_GT(table_, 0);
    using q7host::DateSerial;
    const double null = q7host::kDoubleNull;
    ASSERT_GT(q7host::AddIntColumn(table_, "I", {7, q7host::kIntNull, -2147483647, 0}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(table_, "F", {null, 2.5, 1e20, -0.125}), 0);
    ASSERT_GT(
        q7host::AddDoubleColumn(
            table_, "D", {DateSerial(2024, 1, 31), null, DateSerial(1900, 1, 1), DateSerial(2099, 12, 31)},
            Q7_TYPE_DATE),
        0);
    ASSERT_GT(q7host::AddDoubleColumn(table_, "T", {0.5, 1.5 / 86400, null, 86399.0 / 86400}, Q7_TYPE_TIME),
              0);
    ASSERT_GT(q7host::AddStringColumn(table_, "A", {"a\"b", "x,y", "", "tab\there"}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(
                  table_, "E", {DateSerial(2024, 2, 1) + 0.25, null, DateSerial(2000, 2, 29) + 0.75, null},
                  Q7_TYPE_DATETIME),
              0);
    ASSERT_GT(
        q7host::AddDecimalColumn(
            table_, "AMOUNT",
            {q7host::Decimal(1230), q7host::kDecimalNull, q7host::Decimal(-5), q7host::Decimal(100000)}, 2),
        0);
    DrainRing();
    cwd_ = Cwd();
  }
  void TearDown() override {
    EXPECT_EQ(Cwd(), cwd_) << "the working directory must be the caller's again";
    RQ7ClearDB();
    DrainRing();
  }

  std::string File(const std::string& name) const { return dir_.File(name); }

  q7host::TempDir dir_;
  int table_ = 0;
  std::string cwd_;
};

TEST_F(ExportTest, CsvAndTabFilesAreByteExact) {
  const int all[] = {-1};
  ASSERT_EQ(RQ7ExportAsCSV(table_, -1, all, -1, -1, '/', dir_.path().c_str(), "all.csv"), 0);
  EXPECT_EQ(ReadFile(File("all.csv")), kCsv);
  ASSERT_EQ(RQ7ExportAsTAB(table_, 1, nullptr, -1, -1, '-', dir_.path().c_str(), "all.tab"), 0);
  EXPECT_EQ(ReadFile(File("all.tab")), kTab);
  // The listed filters in list order, the rows in the set's order.
  const int some[] = {7, 5, 1, -1};
  const int sorted = RQ7SortByField(table_, 1, 1, 1);  // I descending, NULL last
  ASSERT_GT(sorted, 1);
  ASSERT_EQ(RQ7ExportAsCSV(table_, sorted, some, -1, -1, '/', dir_.path().c_str(), "some.csv"), 0);
  EXPECT_EQ(ReadFile(File("some.csv")),
            "12.30,\"a\"\"b\",7\n1000.00,\"tab\there\",0\n-0.05,\"\",-2147483647\n,\"x,y\",\n");
  EXPECT_TRUE(DrainRing().empty());
}

struct RangeCase {
  int from;
  int to;
  int code;
  const char* file;  // what the file holds after a success
};

TEST_F(ExportTest, RowRanges) {
  const int ids[] = {1, -1};
  const RangeCase cases[] = {
      {-1, -1, 0, "7\n\n-2147483647\n0\n"},
      {2, 3, 0, "\n-2147483647\n"},
      {3, 9, 0, "-2147483647\n0\n"},
      {4, 4, 0, "0\n"},
      {5, -1, 0, ""},
      {9, 12, 0, ""},
      {0, 0, 0, ""},
      {0, 2, kBadParameter, nullptr},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + ".." + std::to_string(c.to));
    std::filesystem::remove(File("r.csv"));
    ASSERT_EQ(RQ7ExportAsCSV(table_, 1, ids, c.from, c.to, '/', dir_.path().c_str(), "r.csv"), c.code);
    if (c.file != nullptr) {
      EXPECT_EQ(ReadFile(File("r.csv")), c.file);
    }
    EXPECT_TRUE(DrainRing().empty());
  }
}

// A bad row range returns the same code from all four; the entry of the CSV form carries it, the
// others carry Q7_ERROR_INVALID_OUTPUT_PARAMETER. A missing table leaves no entry from the CSV form.
TEST_F(ExportTest, FrameRefusalsAndTheirEntries) {
  const char* dir = dir_.path().c_str();
  struct Case {
    const char* api;
    std::function<int(int table, int from, int to)> call;
  };
  const Case cases[] = {
      {"RQ7ExportAsCSV",
       [&](int t, int f, int l) { return RQ7ExportAsCSV(t, 1, nullptr, f, l, '/', dir, "x"); }},
      {"RQ7ExportAsTAB",
       [&](int t, int f, int l) { return RQ7ExportAsTAB(t, 1, nullptr, f, l, '/', dir, "x"); }},
      {"RQ7ExportAsCSVwithF",
       [&](int t, int f, int l) { return RQ7ExportAsCSVwithF(t, 1, nullptr, f, l, '/', dir, "x", "fmt"); }},
      {"RQ7ExportAsTABwithF",
       [&](int t, int f, int l) { return RQ7ExportAsTABwithF(t, 1, nullptr, f, l, '/', dir, "x", "fmt"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.api);
    const bool csv = std::string(c.api) == "RQ7ExportAsCSV";
    const int range_code = csv ? kBadParameter : Q7_ERROR_INVALID_OUTPUT_PARAMETER;
    EXPECT_EQ(c.call(table_, 5, 3), kBadParameter);
    EXPECT_EQ(DrainRing(),
              (std::vector<RingEntry>{{c.api, range_code, "Invalid Parameter : RowFrom(5) RowTo(3)"}}));
    EXPECT_EQ(c.call(table_, -2, -1), kBadParameter);
    EXPECT_EQ(DrainRing(),
              (std::vector<RingEntry>{{c.api, range_code, "Invalid Parameter : RowFrom(-2) RowTo(-1)"}}));
    EXPECT_EQ(c.call(table_, 1, -2), kBadParameter);
    DrainRing();
    EXPECT_EQ(c.call(99, 1, 2), kNoSuchTable);
    const std::vector<RingEntry> missing =
        csv ? std::vector<RingEntry>{} : std::vector<RingEntry>{{c.api, kNoSuchTable, "No Such Table: 99 "}};
    EXPECT_EQ(DrainRing(), missing);
  }
  EXPECT_FALSE(std::filesystem::exists(File("x")));
}

TEST_F(ExportTest, ExportRefusals) {
  const char* dir = dir_.path().c_str();
  EXPECT_EQ(RQ7ExportAsCSV(table_, 1, nullptr, -1, -1, '.', dir, "x.csv"), kBadParameter);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"MppCsvExport", 0, "Invalid Parameter : Datesep(46)"}}));
  EXPECT_EQ(RQ7ExportAsCSV(table_, 5, nullptr, -1, -1, '/', dir, "x.csv"), Q7_ERROR_NO_SUCH_SET);
  DrainRing();
  const int bad[] = {1, 42, -1};
  EXPECT_EQ(RQ7ExportAsTAB(table_, 1, bad, -1, -1, '/', dir, "x.csv"), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(RQ7ExportAsCSV(table_, 1, nullptr, -1, -1, '/', File("no/such").c_str(), "x.csv"),
            Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(RQ7ExportAsCSV(table_, 1, nullptr, -1, -1, '/', dir, File("no/such/x.csv").c_str()),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_TRUE(DrainRing().empty());
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator(dir_.path()), std::filesystem::directory_iterator()),
      0);
}

// Digits of a format file: a double with 2 (and with 16 or more: 3); a decimal with 0 and its mode,
// and with digits but no mode by its own mode rather than as an empty field.
TEST_F(ExportTest, FormatFileShapesDoublesAndDecimals) {
  const int ids[] = {2, 7, -1};
  WriteFile(File("fmt.txt"), "// per filter\nF\t2\tROUNDHALFUP\nAMOUNT\t0\tROUNDUP\n");
  ASSERT_EQ(RQ7ExportAsCSVwithF(table_, 1, ids, -1, -1, '/', dir_.path().c_str(), "f.csv", "fmt.txt"), 0);
  EXPECT_EQ(ReadFile(File("f.csv")), ",13\n2.50,\n1.0000000000000E+20,-1\n-0.12,1000\n");
  WriteFile(File("fmt.txt"), "F\t16\tROUNDUP\nAMOUNT\t1\n");
  ASSERT_EQ(RQ7ExportAsTABwithF(table_, 1, ids, -1, -1, '/', dir_.path().c_str(), "f.tab", "fmt.txt"), 0);
  EXPECT_EQ(ReadFile(File("f.tab")), "\t12.3\n2.500\t\n1.0000000000000E+20\t-0.1\n-0.125\t1000.0\n");
  EXPECT_TRUE(DrainRing().empty());
}

// Every filter of a table as it reads back: names, types and the CSV text of its rows.
struct Shape {
  std::vector<std::string> names;
  std::vector<int> types;
  int rows = 0;
  bool operator==(const Shape&) const = default;
};

Shape ShapeOf(int table) {
  Shape s;
  std::vector<int> ids(512);
  const int n = RQ7GetFilterIDList(table, ids.data());
  for (int i = 0; i < n; ++i) {
    char name[256] = {};
    RQ7GetFilterName(table, ids[i], name);
    s.names.push_back(name);
    s.types.push_back(RQ7GetFilterType(table, ids[i]));
  }
  s.rows = RQ7GetTotalRows(table);
  return s;
}

TEST_F(ExportTest, SavedCatalogReadsBackIntoAnEqualTable) {
  const std::string dir = dir_.path();
  // The whole-table list is the host's to receive every filter ID and a closing -1: it holds the
  // filter count + 1 entries.
  int all[9] = {-1, 5, 5, 5, 5, 5, 5, 5, 5};
  ASSERT_EQ(RQ7SaveAsCatalog(table_, 1, all, 0, -1, -1, '/', dir.c_str(), "sales.cat"), 0);
  EXPECT_EQ(std::vector<int>(all, all + 9), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, -1, 5}));
  EXPECT_EQ(
      ReadFile(File("sales.cat")),
      "//CSV\n//"
      "UTF-8\nI\t01\tI\nF\t01\tF\nD\t01\tD\nT\t01\tT\nA\t01\tA\nE\t01\tE\nN\t01\tAMOUNT\t2\tROUNDHALFUP\n");
  EXPECT_EQ(ReadFile(File("SrcData.dat")), kCsv);
  const int copy = RQ7AddCatalogFileEx2(dir.c_str(), "sales.cat", dir.c_str(), "SrcData.dat", "copy");
  ASSERT_GT(copy, 0);
  EXPECT_EQ(ShapeOf(copy), ShapeOf(table_));
  ASSERT_EQ(RQ7ExportAsCSV(copy, 1, nullptr, -1, -1, '/', dir.c_str(), "copy.csv"), 0);
  EXPECT_EQ(ReadFile(File("copy.csv")), kCsv);

  // Tab-separated, the data elsewhere, shaped by a format file: the catalog gives the decimal the
  // digits the data were written with, so the copy prints as the original did.
  std::filesystem::create_directory(File("data"));
  WriteFile(File("fmt.txt"), "AMOUNT\t1\n");
  int some[] = {1, 5, 7, -1};
  ASSERT_EQ(RQ7SaveAsCatalogwithFEx(table_, 1, some, 1, 2, -1, '-', dir.c_str(), "part.cat", "fmt.txt",
                                    File("data").c_str(), "rows.tab"),
            0);
  EXPECT_EQ(ReadFile(File("part.cat")),
            "//TAB\n//UTF-8\nI\t01\tI\nA\t01\tA\nN\t01\tAMOUNT\t1\tROUNDHALFUP\n");
  EXPECT_EQ(ReadFile(File("data/rows.tab")),
            "\t\"x,y\"\t\n-2147483647\t\"\"\t-0.1\n0\t\"tab\there\"\t1000.0\n");
  const int part = RQ7AddCatalogFileEx2(dir.c_str(), "part.cat", File("data").c_str(), "rows.tab", "part");
  ASSERT_GT(part, 0);
  EXPECT_EQ(RQ7GetTotalRows(part), 3);
  ASSERT_EQ(RQ7ExportAsTAB(part, 1, nullptr, -1, -1, '-', dir.c_str(), "part.tab"), 0);
  EXPECT_EQ(ReadFile(File("part.tab")), ReadFile(File("data/rows.tab")));
  EXPECT_TRUE(DrainRing().empty());
}

// Texts with line breaks, lone CRs, quotes, separators and tabs survive an export and an import of
// the catalog written with it, CSV and TAB, on the worker pool and on the calling thread: the copy
// holds the same texts and exports byte for byte as the original did.
TEST_F(ExportTest, ExportedLineBreaksReadBackAsWritten) {
  const std::vector<std::string> texts = {"a\nb", "x\r\ny", "\r",    "q\"\n\"",    ",\t,",         "\n",
                                          "",     "plain",  "end\r", "\"\"\n\n\"", "tab\there\r\n"};
  const int rows = static_cast<int>(texts.size());
  const int table = q7host::AddTable("lines", rows);
  ASSERT_GT(table, 0);
  std::vector<int32_t> ints;
  std::vector<double> doubles;
  for (int i = 0; i < rows; ++i) {
    ints.push_back(i * 7 - 20);
    doubles.push_back(i * 1.25 - 3);
  }
  ASSERT_GT(q7host::AddIntColumn(table, "I", ints), 0);
  ASSERT_GT(q7host::AddStringColumn(table, "TEXT", texts), 0);
  ASSERT_GT(q7host::AddDoubleColumn(table, "F", doubles), 0);
  ASSERT_GT(q7host::AddStringColumn(table, "MORE", std::vector<std::string>(texts.rbegin(), texts.rend())),
            0);
  const std::string dir = dir_.path();
  WriteFile(File("none.txt"), "");
  // Every filter: the writer fills the list in (the filter count + 1 entries), so each call starts anew.
  int all[8];
  for (int type : {0, 1}) {
    SCOPED_TRACE(type == 0 ? "csv" : "tab");
    all[0] = -1;
    ASSERT_EQ(RQ7SaveAsCatalogEx(table, 1, all, type, -1, -1, '/', dir.c_str(), "lines.cat", dir.c_str(),
                                 "lines.txt"),
              0);
    const std::string exported = ReadFile(File("lines.txt"));
    for (int road = 0; road < 2; ++road) {
      SCOPED_TRACE(road == 0 ? "worker pool" : "calling thread");
      // On the calling thread: an empty table of the same filters, then the rows appended.
      const int copy = RQ7AddCatalogFileEx2(dir.c_str(), "lines.cat", dir.c_str(),
                                            road == 0 ? "lines.txt" : "none.txt", "copy");
      if (road == 1) {
        ASSERT_GT(copy, 0);
        ASSERT_EQ(RQ7AppendCatalogFileEx2(copy, -1, rows, dir.c_str(), "lines.cat", dir.c_str(), "lines.txt"),
                  rows);
      }
      ASSERT_GT(copy, 0);
      ASSERT_EQ(RQ7GetTotalRows(copy), rows);
      for (int r = 1; r <= rows; ++r) {
        EXPECT_EQ(q7host::CellText(copy, 2, r), texts[static_cast<size_t>(r - 1)]) << "row " << r;
        EXPECT_EQ(q7host::CellText(copy, 4, r), texts[static_cast<size_t>(rows - r)]) << "row " << r;
      }
      all[0] = -1;
      ASSERT_EQ(RQ7SaveAsCatalogEx(copy, 1, all, type, -1, -1, '/', dir.c_str(), "again.cat", dir.c_str(),
                                   "again.txt"),
                0);
      EXPECT_EQ(ReadFile(File("again.txt")), exported);
      RQ7DeleteTable(copy);
    }
  }
  EXPECT_TRUE(DrainRing().empty());
}

TEST_F(ExportTest, SaveAsCatalogForms) {
  const std::string dir = dir_.path();
  int ids[] = {1, -1};
  ASSERT_EQ(RQ7SaveAsCatalogEx(table_, 1, ids, 0, 3, -1, '/', dir.c_str(), "a.cat", dir.c_str(), "a.csv"), 0);
  EXPECT_EQ(ReadFile(File("a.csv")), "-2147483647\n0\n");
  ASSERT_EQ(RQ7SaveAsCatalogwithF(table_, 1, ids, 1, -1, 2, '/', dir.c_str(), "b.cat", "none.txt"),
            Q7_ERROR_ILLEGAL_FILE_NAME)
      << "a format file that cannot be read fails the catalog";
  WriteFile(File("fmt.txt"), "I\t3\tROUNDUP\n");
  ASSERT_EQ(RQ7SaveAsCatalogwithF(table_, 1, ids, 1, -1, 2, '/', dir.c_str(), "b.cat", "fmt.txt"), 0);
  EXPECT_EQ(ReadFile(File("b.cat")), "//TAB\n//UTF-8\nI\t01\tI\n");
  EXPECT_EQ(ReadFile(File("SrcData.dat")), "7\n\n");
  EXPECT_TRUE(DrainRing().empty());
}

TEST_F(ExportTest, SaveAsCatalogRefusals) {
  const char* dir = dir_.path().c_str();
  int ids[] = {1, -1};
  EXPECT_EQ(RQ7SaveAsCatalog(table_, 1, ids, 0, 5, 3, '/', dir, "c.cat"), kBadParameter);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"RQ7SaveAsCatalog", kNoSuchTable, "Invalid Parameter : RowFrom(5) RowTo(3)"}}));
  EXPECT_EQ(RQ7SaveAsCatalog(table_, 1, ids, 2, -1, -1, '/', dir, "c.cat"), kBadParameter);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"RQ7SaveAsCatalog", kNoSuchTable, "Invalid Parameter : type(2)"}}));
  EXPECT_EQ(RQ7SaveAsCatalogwithF(table_, 8, ids, 0, -1, -1, '/', dir, "c.cat", "f"), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"RQ7SaveAsCatalogwithF", kNoSuchTable, "No Such Set: 8 "}}));
  // The plain forms check the rows before the set, the Ex form the set first.
  EXPECT_EQ(RQ7SaveAsCatalogwithFEx(table_, 8, ids, 0, 5, 3, '/', dir, "c.cat", "f", dir, "d"),
            kBadParameter);
  DrainRing();
  EXPECT_EQ(RQ7SaveAsCatalogEx(table_, 8, ids, 0, 5, 3, '/', dir, "c.cat", dir, "d"), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"SaveAsCatalogEx", kNoSuchTable, "No Such Set: 8 "}}));
  // A missing table: the Ex form adds no entry of its own.
  EXPECT_EQ(RQ7SaveAsCatalog(99, 1, ids, 0, -1, -1, '/', dir, "c.cat"), kNoSuchTable);
  EXPECT_EQ(DrainRing().back(), (RingEntry{"RQ7SaveAsCatalog", kNoSuchTable, "No Such Table: 99 "}));
  EXPECT_EQ(RQ7SaveAsCatalogEx(99, 1, ids, 0, -1, -1, '/', dir, "c.cat", dir, "d"), kNoSuchTable);
  for (const RingEntry& e : DrainRing()) EXPECT_NE(e.api, "SaveAsCatalogEx");
  EXPECT_EQ(
      std::distance(std::filesystem::directory_iterator(dir_.path()), std::filesystem::directory_iterator()),
      0);
}

}  // namespace
