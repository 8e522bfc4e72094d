// The exported checked import, end to end: catalogs and data written to a scratch directory, the
// table read back through the C interface, and both correction logs compared byte by byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr char kHeader[] = "LineNo\tFieldNo\tFieldName\tErrorString\tCorrectedTo\tComment\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// One log record; texts carry no quotes of their own here.
std::string Record(int line, int field, const std::string& name, const std::string& error,
                   const std::string& corrected, const std::string& comment) {
  return std::to_string(line) + "\t" + std::to_string(field) + "\t\"" + name + "\"\t\"" + error + "\"\t\"" +
         corrected + "\"\t\"" + comment + "\"\n";
}
std::string Note(int line, const std::string& comment) { return Record(line, 0, "", "", "", comment); }

std::vector<int> FilterIds(int table) {
  std::vector<int> ids(512);
  ids.resize(static_cast<size_t>(std::max(0, RQ7GetFilterIDList(table, ids.data()))));
  return ids;
}

Rows Cells(int table) {
  Rows rows;
  const std::vector<int> ids = FilterIds(table);
  for (int row = 1; row <= RQ7GetTotalRows(table); ++row) {
    std::vector<std::string> cells;
    for (int id : ids) cells.push_back(q7host::CellText(table, id, row));
    rows.push_back(cells);
  }
  return rows;
}

std::vector<std::string> FilterNames(int table) {
  std::vector<std::string> names;
  for (int id : FilterIds(table)) {
    char name[256] = {};
    RQ7GetFilterName(table, id, name);
    names.push_back(name);
  }
  return names;
}

class CatalogCheckerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ASSERT_EQ(RQ7SetDBCharCode("UTF8"), 0);
    q7host::DrainRing();
  }
  void TearDown() override {
    for (int table : tables_) RQ7DeleteTable(table);
    RQ7SetDBCharCode("UTF8");
  }
  // Writes the catalog and the data and runs the import into table `name`.
  int Import(const std::string& catalog, const std::string& data, const std::string& name = "goods") {
    WriteFile(dir_.File("cat.txt"), catalog);
    WriteFile(dir_.File("data.csv"), data);
    const int table = RQ7AddCatalogFileChecker(dir_.path().c_str(), "cat.txt", dir_.path().c_str(),
                                               "data.csv", name.c_str());
    if (table > 0) tables_.push_back(table);
    return table;
  }
  std::string SchemeLog(const std::string& name = "goods") {
    return ReadFile(dir_.File(name + "_scheme.txt"));
  }
  std::string DataLog(const std::string& name = "goods") { return ReadFile(dir_.File(name + "_data.txt")); }

  q7host::TempDir dir_;
  std::vector<int> tables_;
};

TEST_F(CatalogCheckerTest, UntidyValuesBecomeNullAndEveryCorrectionIsLogged) {
  const std::string catalog =
      "//CSV\n"
      "//ERROR\tSTOP\n"
      "I\t4\tCODE\n"
      "A\t10\tName\n"
      "N\t12\tPRICE\t2\tROUNDHALFUP\n"
      "D\t10\tSOLD\n"
      "F\t8\tRATE\n"
      "A\t5\tMEMO\tSKIP\n"
      "T\t8\tAT\n"
      "E\t19\tWHEN\n"
      "N\t8\tQTY\n";
  const std::string data =
      "1,apple,12.345,2024/01/31,0.5,x,12:00:00,2024/02/01 06:00:00,1.5\n"
      "\"1,234\",\" b,c \",7,,1e3,y,,,\n"
      "x12,pear,abc,2024/13/01,-,z,nope,noon,2\n"
      "4,kiwi,1,2024/01/01,1,m,00:00:00,2024/01/01,1,EXTRA1,EXTRA2\n"
      "5,fig,2,2024/01/02,2,m,06:00:00\n";
  const int table = Import(catalog, data);
  ASSERT_GT(table, 0);
  EXPECT_EQ(FilterNames(table),
            (std::vector<std::string>{"CODE", "Name", "PRICE", "SOLD", "RATE", "AT", "WHEN", "QTY"}));
  EXPECT_EQ(Cells(table), (Rows{
                              {"1", "apple", "1235@2", "45322", "0.5", "0.5", "45323.25", "15000000000@10"},
                              {"1234", " b,c ", "700@2", "NULL", "1000", "NULL", "NULL", "NULL"},
                              {"NULL", "pear", "NULL", "NULL", "NULL", "NULL", "NULL", "20000000000@10"},
                              {"4", "kiwi", "100@2", "45292", "1", "0", "45292", "10000000000@10"},
                              {"5", "fig", "200@2", "45293", "2", "0.25", "NULL", "NULL"},
                          }));
  const std::string too_many =
      "ERROR. Too many items[10] appeared. One line should have [9] fields. This one is ignored.";
  const std::string too_few = "ERROR. Too few items in one line. Filled by NULL.";
  std::string want = std::string(kHeader) +
                     Note(0, "Trying to open data file[" + dir_.File("data.csv") + "]") +
                     Record(3, 1, "CODE", "x12", "", "ERROR! INT value converted to NULL") +
                     Record(3, 3, "PRICE", "abc", "", "ERROR! Numeric value converted to NULL") +
                     Record(3, 4, "SOLD", "2024/13/01", "", "ERROR! DATE value converted to NULL") +
                     Record(3, 5, "RATE", "-", "", "ERROR! FLOAT value converted to NULL") +
                     Record(3, 6, "AT", "nope", "", "ERROR! TIME value converted to NULL") +
                     Record(3, 7, "WHEN", "noon", "", "ERROR! DATETIME value converted to NULL") +
                     Record(4, 0, "", "EXTRA1", "", too_many) + Record(4, 0, "", "EXTRA2", "", too_many) +
                     Record(5, 7, "WHEN", "", "", too_few) + Record(5, 8, "QTY", "", "", too_few) +
                     Note(0, "Succeeded to create table[goods], which has [5] records.");
  const char* const kTypes[] = {"INTEGER", "STRING", "DECIMAL",  "DATE",
                                "DOUBLE",  "TIME",   "DATETIME", "DECIMAL"};
  const std::vector<std::string> names = FilterNames(table);
  for (size_t i = 0; i < names.size(); ++i) {
    want += Record(0, static_cast<int>(i) + 1, names[i], "", "",
                   "Succeeded to create item[" + names[i] + "], it's type is[" + kTypes[i] + "]");
  }
  want += Note(0, "Log event occured 20 times.");
  EXPECT_EQ(DataLog(), want);
  EXPECT_EQ(q7host::DrainRing(), std::vector<q7host::RingEntry>{});
}

TEST_F(CatalogCheckerTest, SchemeLogConfirmsEveryDirectiveAndField) {
  const std::string catalog =
      "//USR\t;\t|\t;\n"
      "//ERRORLOG\tx.txt\n"
      "//utf-8\n"
      "\n"
      "SKIP\n"
      "i\t4\tId\n"
      "n\t8\tCost\t3\tbogus\n"
      "N\t8\tQty\n"
      "A\t9\tNote\tskip\n";
  const int table = Import(catalog, "s;1;1.2345|5;n\n");
  ASSERT_GT(table, 0);
  EXPECT_EQ(FilterNames(table), (std::vector<std::string>{"Id", "Cost", "Qty"}));
  EXPECT_EQ(Cells(table), (Rows{{"1", "1235@3", "50000000000@10"}}));
  const std::string want =
      std::string(kHeader) + Note(0, "trying to open Catalog file[cat.txt]") +
      Record(1, 0, "", ";", ";", "registered as a separator") +
      Record(1, 0, "", "|", "|", "registered as a separator") +
      Record(1, 0, "", ";", ";", "NOT registered as a separator, already registered.") +
      Record(2, 0, "", "//ERRORLOG!x.txt", "", "Ignored as a comment") +
      Record(3, 0, "", "//UTF-8", "UTF-8", "Kanji-Code accepted.") +
      Record(5, 1, "SKIPPED_FIELD", "", "", "SKIP [1]th item.") +
      Record(6, 2, "Id", "", "", "Filter Defined: Type[INTEGER] Name[Id]") +
      Record(7, 3, "Cost", "", "", "Filter Defined: Type[DECIMAL] Name[Cost] Scale[3] Round[ROUNDHALFUP]") +
      Record(8, 4, "Qty", "", "", "Filter Defined: Type[DECIMAL] Name[Qty] Scale[10] Round[ROUNDHALFUP]") +
      Record(9, 5, "Note", "", "", "SKIP [5]th item. name[Note]") +
      Note(9, "Kanji check start. Current DB code[UTF-8], Current table code[UTF-8]") +
      Note(9, "DB Code check up. DB[UTF-8] File[UTF-8]") +
      Note(0, "=== Catalog file[" + dir_.path() + "/cat.txt] parse ended. ===") +
      Note(0, "Log event occured 14 times.");
  EXPECT_EQ(SchemeLog(), want);
}

struct RefusalCase {
  const char* what;
  std::string catalog;
  std::string data;
  int code;
  bool in_data_log;    // where the reason is logged
  std::string reason;  // a comment of that log
};

TEST_F(CatalogCheckerTest, MalformedCatalogsAndDataFailWithTheReasonLoggedAndNoTableLeft) {
  std::string skip511;
  for (int i = 0; i < 511; ++i) skip511 += "SKIP\n";
  constexpr int kParse = Q7_CATALOG_PARSE_ERROR;
  const std::vector<RefusalCase> cases = {
      {"fixed width", "//FIX\nI\t4\tA\n", "1\n", kParse, false, "Error. This option is not allowed."},
      {"no separator", "I\t4\tA\n", "1\n", kParse, false, "NO separator defined"},
      {"separator of two characters", "//USR\t;;\nI\t4\tA\n", "1\n", kParse, false,
       "Error. This must be sigle char."},
      {"unknown type letter", "//CSV\nX\t4\tA\n", "1\n", kParse, false,
       "ERROR! Undefined type identifier [X] at [1]th item. name[A]"},
      {"two parameters without SKIP", "//CSV\nI\t4\n", "1\n", kParse, false, "Error! Failed to parse[I!4]"},
      {"scale above 38", "//CSV\nN\t8\tA\t39\tROUNDUP\n", "1\n", kParse, false,
       "Error! Scale out of range[39]"},
      {"negative scale", "//CSV\nN\t8\tA\t-1\n", "1\n", kParse, false, "Error! Scale out of range[-1]"},
      {"scale that is no number", "//CSV\nN\t8\tA\tx2\n", "1\n", kParse, false,
       "Error! Scale out of range[X2]"},
      {"513 field lines", "//CSV\n" + skip511 + "SKIP\nI\t4\tA\n", "1\n", kParse, false,
       "Error! Too many fields. A catalog may define [512] fields."},
      {"quote inside a plain cell", "//CSV\nI\t4\tA\n", "1\n2\"\n", kParse, true,
       "ERROR. Data parsing aborted."},
      {"^Z before the end", "//CSV\nI\t4\tA\n",
       "1\n\x1a"
       "2\n",
       kParse, true, "ERROR. Data parsing aborted."},
  };
  const int tables_before = RQ7GetNTable();
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Import(c.catalog, c.data), c.code);
    EXPECT_EQ(RQ7GetNTable(), tables_before);
    const std::string log = c.in_data_log ? DataLog() : SchemeLog();
    EXPECT_NE(log.find("\t\"" + c.reason + "\"\n"), std::string::npos) << log;
    std::filesystem::remove(dir_.File("goods_data.txt"));
  }
  EXPECT_EQ(q7host::DrainRing(), std::vector<q7host::RingEntry>{});
  // 512 field lines are within the bound.
  EXPECT_GT(Import("//CSV\n" + skip511 + "I\t4\tA\n", std::string(511, ',') + "7\n"), 0);
  EXPECT_EQ(Cells(tables_.back()), (Rows{{"7"}}));
}

TEST_F(CatalogCheckerTest, MissingFilesAreRefused) {
  EXPECT_EQ(RQ7AddCatalogFileChecker(dir_.path().c_str(), "none.txt", dir_.path().c_str(), "d", "goods"),
            Q7_CATALOG_PARSE_ERROR);
  EXPECT_EQ(SchemeLog(), std::string(kHeader) + Note(0, "trying to open Catalog file[none.txt]") +
                             Note(0, "failed to open Catalog") + Note(0, "Log event occured 2 times."));
  WriteFile(dir_.File("cat.txt"), "//CSV\nI\t4\tA\n");
  const int tables_before = RQ7GetNTable();
  EXPECT_EQ(
      RQ7AddCatalogFileChecker(dir_.path().c_str(), "cat.txt", dir_.path().c_str(), "none.csv", "goods"),
      Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(RQ7GetNTable(), tables_before);
  EXPECT_NE(DataLog().find("ERROR. Failed to open Data file[" + dir_.File("none.csv") + "]"),
            std::string::npos);
  EXPECT_EQ(q7host::DrainRing(), std::vector<q7host::RingEntry>{});
}

TEST_F(CatalogCheckerTest, CutTopSkipsTheHeaderAndAnEmptySourceGivesNoRows) {
  const int header_only = Import("//TAB\n//CUTTOP\nI\t4\tA\nA\t4\tB\n", "A\tB\n");
  ASSERT_GT(header_only, 0);
  EXPECT_EQ(RQ7GetTotalRows(header_only), 0);
  EXPECT_EQ(FilterNames(header_only), (std::vector<std::string>{"A", "B"}));
  const int with_rows = Import("//TAB\n//CUTTOP\nI\t4\tA\nA\t4\tB\n", "A\tB\n1\tx\n");
  ASSERT_GT(with_rows, 0);
  EXPECT_EQ(Cells(with_rows), (Rows{{"1", "x"}}));
  const int empty = Import("//TAB\nI\t4\tA\n", "");
  ASSERT_GT(empty, 0);
  EXPECT_EQ(RQ7GetTotalRows(empty), 0);
}

TEST_F(CatalogCheckerTest, TableCodeMustMatchTheDatabaseUnlessTheDatabaseIsEmpty) {
  ASSERT_EQ(RQ7ClearDB(), 0);
  // An empty database takes the catalog's code ...
  const int table = Import("//CSV\n//CP1252\nI\t4\tA\n", "1\n");
  ASSERT_GT(table, 0);
  EXPECT_NE(SchemeLog().find("DB Code check up. DB[CP1252] File[CP1252]"), std::string::npos);
  // ... and from then on a catalog of another code is refused.
  EXPECT_EQ(Import("//CSV\n//UTF-8\nI\t4\tA\n", "1\n"), Q7_CATALOG_PARSE_ERROR);
  EXPECT_NE(SchemeLog().find("Error! DB Code mismatch. DB[CP1252] File[UTF-8]"), std::string::npos);
  // A catalog without a code takes the database's.
  EXPECT_GT(Import("//CSV\nI\t4\tA\n", "1\n"), 0);
  EXPECT_NE(SchemeLog().find("Table code set to [CP1252]"), std::string::npos);
}

TEST_F(CatalogCheckerTest, LogsOfADottedTableNameStayApart) {
  const int table = Import("//CSV\nI\t4\tA\n", "1\n", "v1.2");
  ASSERT_GT(table, 0);
  EXPECT_NE(SchemeLog("v1_2").find("parse ended."), std::string::npos);
  EXPECT_NE(DataLog("v1_2").find("Succeeded to create table[v1.2]"), std::string::npos);
}

}  // namespace
