// The catalog reader (CCatalogParser::readInfo), the title rule and the catalog writer
// (TBaseTable::CreateCatalogFile) read back by the reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/CSmpEngine.h"
#include "foundation/SystemHeader.h"
#include "import/CCatalogParser.h"
#include "import/ImportEntry.h"
#include "tests/support/test_support.h"
#include "values/TNumericArray.h"

namespace {

constexpr char kLogName[] = "catalog_err_log.txt";

// Each test runs in a scratch directory of its own, which holds the catalog and the message log.
class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(cwd_.c_str()), 0);
    LOGOBJ->setFileName(kLogName);
  }

  // Writes the catalog "cat.txt" and reads it with a fresh parser; readInfo's result.
  int Read(const std::string& catalog) {
    const std::string path = dir_.Write("cat.txt", catalog);
    parser_ = std::make_unique<CCatalogParser>();
    parser_->init();
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    return parser_->readInfo(name.data());
  }
  std::string Log(const char* name = kLogName) { return q7test::ReadAll(dir_.File(name)); }
  bool Logged(const std::string& line, const char* name = kLogName) {
    return Log(name).find(line + "\n") != std::string::npos;
  }

  q7test::TempDir dir_;
  std::string cwd_;
  std::unique_ptr<CCatalogParser> parser_;
};

std::string Repeat(const std::string& text, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += text;
  return out;
}

struct FormatCase {
  const char* catalog;
  int split_type;
  const char separators[5];
};

const FormatCase kFormats[] = {
    {"//CSV\nI\t4\tA\n", 2, {}},
    {"//csv\nI\t4\tA\n", 2, {}},
    {"// c S v \nI\t4\tA\n", 2, {}},
    {"//CSV\t\nI\t4\tA\n", 2, {}},
    {"//Tab\nI\t4\tA\n", 1, {}},
    {"//FIX\nI\t4\tA\n", 3, {}},
    {"//USR\nI\t4\tA\n", 2, {}},
    {"//USR\t;\t|\nI\t4\tA\n", 4, {';', '|', 0, 0, 0}},
    {"//usr\t\t#\nI\t4\tA\n", 4, {0, '#', 0, 0, 0}},
    {"//USR\t;;\t|\t:\t!\t@\t$\nI\t4\tA\n", 4, {';', '|', ':', '!', '@'}},
    // The last format directive wins.
    {"//TAB\n//CSV\nI\t4\tA\n", 2, {}},
};

TEST_F(CatalogTest, FormatDirectivesIgnoreCaseAndBlanks) {
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(c.catalog);
    ASSERT_EQ(Read(c.catalog), 1);
    EXPECT_EQ(parser_->getSplitType(), c.split_type);
    EXPECT_EQ(std::string(parser_->getUserSeparators(), 5), std::string(c.separators, 5));
  }
}

TEST_F(CatalogTest, OptionDirectives) {
  struct Case {
    const char* catalog;
    int error_mode;
    int field_check;
    int cut_top;
  };
  const Case cases[] = {
      {"//CSV\nI\t4\tA\n", 1, 1, 0},
      {"//CSV\n//ERROR\tCONTINUE\nI\t4\tA\n", 2, 1, 0},
      {"//CSV\n//error\tskipline\nI\t4\tA\n", 3, 1, 0},
      {"//CSV\n//ERROR\tSTOP\nI\t4\tA\n", 1, 1, 0},
      {"//CSV\n//ERROR\tNONE\nI\t4\tA\n", 0, 0, 0},
      {"//CSV\n//ERROR\tCONTINUE\n//ERROR\tOTHER\nI\t4\tA\n", 2, 1, 0},
      {"//CSV\n//cuttop\nI\t4\tA\n", 1, 1, 1},
      // A comment changes nothing.
      {"//CSV\n// ERROR is a word\nI\t4\tA\n", 1, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.catalog);
    ASSERT_EQ(Read(c.catalog), 1);
    EXPECT_EQ(parser_->getErrorLogType(), c.error_mode);
    EXPECT_EQ(parser_->getFieldCheck(), c.field_check);
    EXPECT_EQ(parser_->getCutTop(), c.cut_top);
  }
}

TEST_F(CatalogTest, CodeTypeLineAcceptsWriterAndReaderSpellings) {
  const int db_code = getSystemInfoDBCharCode();
  struct Case {
    const char* line;
    int code;
  };
  const Case cases[] = {
      {"//UTF-8", 33},       {"//utf8", 33},   {"//Shift_JIS", 20}, {"//SHIFT-JIS", 20},
      {"//EUC", 49},         {"//euc_jp", 49}, {"//MS932", 18},     {"//MS936", 65},
      {"//ms949", 19},       {"//Cp1252", 17}, {"//CP1252", 17},    {"//NotDefined", db_code},
      {"//latin9", db_code},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(Read(std::string("//CSV\n") + c.line + "\nI\t4\tA\n"), 1);
    EXPECT_EQ(parser_->getCodeType(), c.code);
  }
}

TEST_F(CatalogTest, FieldLinesGiveTypesNamesAndParameters) {
  const std::string catalog =
      "//CSV\n"
      "I\t10\tCODE\n"
      "a\t40\tNA ME\n"
      "n\t12\tPRICE\t2\troundhalfup\n"
      "D\t8\tSOLD\td2\n"
      "A\t10\tMEMO\tSkip\n"
      "E\t19\tAT\tD14\tT4\n"
      "X\t5\tODD\tSKIP\n"
      "T\t8\tTM\tT9\n"
      "F\t8\tRATE\t\t\tskip\n"
      "f\t8\tRATIO\t//not a comment\n"
      "N\t20\tBIG\t38\tROUNDDOWN\textra\n";
  ASSERT_EQ(Read(catalog), 8);
  struct Field {
    int type;
    const char* name;
    int param1;
    int param2;
  };
  const Field want[] = {
      {2, "CODE", 0, 0}, {6, "NAME", 0, 0}, {8, "PRICE", 2, 4}, {4, "SOLD", 2, 0},
      {7, "AT", 14, 4},  {5, "TM", 0, 0},   {3, "RATIO", 0, 0}, {8, "BIG", 38, 1},
  };
  ASSERT_EQ(parser_->getFieldCount(), 8);
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(parser_->getFieldType(i), want[i].type);
    EXPECT_STREQ(parser_->getFieldName(i), want[i].name);
    EXPECT_EQ(parser_->getParam1(i), want[i].param1);
    EXPECT_EQ(parser_->getParam2(i), want[i].param2);
  }
  // Sizes and skip flags go by field-line position, skipped lines included.
  ASSERT_EQ(parser_->getFieldLineCount(), 11);
  const int sizes[] = {10, 40, 12, 8, 10, 19, 5, 8, 8, 8, 20};
  const int skipped[] = {0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 0};
  for (int i = 0; i < 11; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(parser_->getLineSize(i), sizes[i]);
    EXPECT_EQ(parser_->isSkipped(i), skipped[i]);
  }
}

struct RefusalCase {
  std::string catalog;
  int code;
  std::string line;  // the catalog message log line
};

std::vector<RefusalCase> RefusalCases() {
  return {
      {"//CSV\nI\t4\n", Q7_CATALOG_PARSE_ERROR, "Q7_CATALOG_PARSE_ERROR\t----->\t in cat.txt\t\t@ Row = 2 "},
      {"//CSV\n\n\tI\t4\tX\n", Q7_CATALOG_PARSE_ERROR,
       "Q7_CATALOG_PARSE_ERROR\t----->\t in cat.txt\t\t@ Row = 3 "},
      {"//CSV\nN\t8\tP\t39\tROUNDUP\n", Q7_CATALOG_PARSE_ERROR,
       "Q7_ERROR_INVALID_SCALE\t----->\t[39] in cat.txt\t\t@ Row = 2 "},
      {"//CSV\nN\t8\tP\t-1\tROUNDUP\n", Q7_CATALOG_PARSE_ERROR,
       "Q7_ERROR_INVALID_SCALE\t----->\t[-1] in cat.txt\t\t@ Row = 2 "},
      {"//CSV\nN\t8\tP\n", Q7_CATALOG_PARSE_ERROR,
       "Q7_ERROR_INVALID_SCALE\t----->\t[] in cat.txt\t\t@ Row = 2 "},
      {"//CSV\nN\t8\tP\t2\tsideways\n", Q7_CATALOG_PARSE_ERROR,
       "Q7_ERROR_INVALID_ROUNDMODE\t----->\t[SIDEWAYS] in cat.txt\t\t@ Row = 2 "},
      {"//CSV\nN\t8\tP\t2\n", Q7_CATALOG_PARSE_ERROR,
       "Q7_ERROR_INVALID_ROUNDMODE\t----->\t[] in cat.txt\t\t@ Row = 2 "},
      {"//CSV\nI\t4\tA\nQ\t4\tX\n", Q7_ERROR_UNDEFINED_FILTER_TYPE,
       "UNDEFINED FILTER TYPE\t----->\t[Q] in cat.txt\t\t@ Row = 3 "},
      {"//FIX\nI\t4096\tX\n", Q7_CATALOG_PARSE_ERROR,
       "FILTER SIZE LIMIT EXCEEDED (>=4096) \t----->\t[4096] in cat.txt\t\t@ Row = 2 "},
      {"//FIX\nI\t0\tX\n", Q7_CATALOG_PARSE_ERROR,
       "FILTER SIZE LIMIT EXCEEDED (>=4096) \t----->\t[0] in cat.txt\t\t@ Row = 2 "},
      // A skipped field's size is still checked.
      {"//FIX\nI\t4\tA\nQ\t4096\tX\tskip\n", Q7_CATALOG_PARSE_ERROR,
       "FILTER SIZE LIMIT EXCEEDED (>=4096) \t----->\t[4096] in cat.txt\t\t@ Row = 3 "},
      {"//CSV\nI\t4\t" + std::string(256, 'n') + "\n", Q7_CATALOG_PARSE_ERROR,
       "FILTERS NAME SIZE EXCEED MAXIMUM LIMIT\t\t [ > 255] "},
      {"//CSV\n//ERROR\tSKIPLINE\n", Q7_CATALOG_PARSE_ERROR, "NO FILTER IS SPECIFIED"},
      {"//CSV\nI\t4\tA\tSKIP\n", Q7_CATALOG_PARSE_ERROR, "NO FILTER IS SPECIFIED"},
      {"I\t4\tA\n", Q7_CATALOG_PARSE_ERROR, "NO FILE FORMAT IS SPECIFIED"},
      // More field lines than the catalog's tables hold, skipped ones counted too.
      {"//CSV\n" + Repeat("I\t4\tA\tSKIP\n", 512) + "I\t4\tB\n", Q7_CATALOG_PARSE_ERROR,
       "FILTERS EXCEED MAXIMUM LIMIT\t\t [ > 512] "},
      {"//CSV\n" + Repeat("I\t4\tA\n", 513), Q7_CATALOG_PARSE_ERROR,
       "FILTERS EXCEED MAXIMUM LIMIT\t\t [ > 512] "},
  };
}

TEST_F(CatalogTest, BadCatalogsFailWithTheirLogLine) {
  for (const RefusalCase& c : RefusalCases()) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Read(c.catalog), c.code);
    EXPECT_TRUE(Logged(c.line)) << Log();
  }
}

TEST_F(CatalogTest, SizeLimitAppliesOnlyToFieldLinesAfterFix) {
  const char* accepted[] = {
      "//FIX\nI\t4095\tX\n",
      "//CSV\nI\t4096\tX\n",
      "I\t4096\tX\n//FIX\n",
  };
  for (const char* catalog : accepted) {
    SCOPED_TRACE(catalog);
    EXPECT_EQ(Read(catalog), 1);
  }
  EXPECT_EQ(Read("//CSV\n" + Repeat("I\t4\tA\n", 512)), 512);
  EXPECT_STREQ(parser_->getFieldName(511), "A");
}

TEST_F(CatalogTest, MissingCatalogIsLogged) {
  CCatalogParser parser;
  parser.init();
  const std::string path = dir_.File("none.txt");
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  EXPECT_EQ(parser.readInfo(name.data()), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_TRUE(Logged("FILE  [" + path + "] MISSING ")) << Log();
}

TEST_F(CatalogTest, ErrorLogDirectiveRenamesTheLog) {
  EXPECT_EQ(Read("//CSV\n//ErrorLog\tmine.log\nI\t4\n"), Q7_CATALOG_PARSE_ERROR);
  // The name is taken upper-cased; the default log stays untouched.
  EXPECT_TRUE(Logged("Q7_CATALOG_PARSE_ERROR\t----->\t in cat.txt\t\t@ Row = 3 ", "MINE.LOG"));
  EXPECT_FALSE(std::filesystem::exists(dir_.File(kLogName)));
}

TEST_F(CatalogTest, InitStartsAFreshLog) {
  q7test::WriteAll(dir_.File(kLogName), "old line\n");
  EXPECT_EQ(Read("//CSV\nI\t4\n"), Q7_CATALOG_PARSE_ERROR);
  const std::string log = Log();
  EXPECT_EQ(log.find("old line"), std::string::npos);
  // The banner comes first, then the line.
  EXPECT_NE(log.find(kLogName), std::string::npos);
  EXPECT_LT(log.find(kLogName), log.find("Q7_CATALOG_PARSE_ERROR"));
}

TEST(CatalogTitle, IsTheNameOfTheCatalogsDirectory) {
  struct Case {
    const char* path;
    const char* title;
  };
  const Case cases[] = {
      {"/data/sales/cat.txt", "sales"},
      {"sales/cat.txt", "sales"},
      {"cat.txt", "cat.txt"},
      {"/data/sales/", ""},
      {"/cat.txt", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    EXPECT_STREQ(getTitleName(path.data()), c.title) << c.path;
  }
}

// ---- The catalog writer ----

class CatalogWriterTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    db_ = CSmpEngine::Instance()->Database();
    ASSERT_NE(db_, nullptr);
    char name[] = "written";
    table_id_ = db_->AddRealTable(name, 3);
    ASSERT_GT(table_id_, 0);
    table_ = static_cast<TRealTable*>(db_->GetTable(table_id_));
    struct Filter {
      const char* name;
      int type;
    };
    const Filter filters[] = {{"CODE", 2}, {"RATE", 3}, {"SOLD", 4}, {"AT", 5},
                              {"NAME", 6}, {"WHEN", 7}, {"PRICE", 8}};
    for (const Filter& f : filters) {
      std::string n = f.name;
      ids_.push_back(table_->AddEmptyFilter(1024, n.data(), f.type, table_id_, -1));
      ASSERT_GT(ids_.back(), 0) << f.name;
    }
    static_cast<TNumericArray*>(table_->GetFilter(ids_.back())->VL)->SetDecimalInfo(4, Q7_ROUND_HALF_EVEN);
  }
  void TearDown() override {
    db_->DelTable(table_id_);
    CatalogTest::TearDown();
  }

  int Write(std::vector<int> ids, char separator, const char* directory, const char* format = nullptr) {
    return table_->CreateCatalogFile(ids.data(), separator, directory, "out.cat", format);
  }

  TTableCollection* db_ = nullptr;
  int table_id_ = 0;
  TRealTable* table_ = nullptr;
  std::vector<int> ids_;
  q7test::RingScope ring_;
};

TEST_F(CatalogWriterTest, WritesTheFormatTheReaderReadsBack) {
  // A list that starts with -1 receives every filter ID and a closing -1; the entry after that
  // stays as it was.
  std::vector<int> all(ids_.size() + 2, 99);
  all[0] = -1;
  ASSERT_EQ(table_->CreateCatalogFile(all.data(), ',', dir_.Dir().c_str(), "out.cat", nullptr), 0);
  std::vector<int> want = ids_;
  want.push_back(-1);
  want.push_back(99);
  EXPECT_EQ(all, want);
  EXPECT_EQ(q7test::ReadAll(dir_.File("out.cat")),
            "//CSV\n//UTF-8\nI\t01\tCODE\nF\t01\tRATE\nD\t01\tSOLD\nT\t01\tAT\nA\t01\tNAME\nE\t01\tWHEN\n"
            "N\t01\tPRICE\t4\tROUNDHALFEVEN\n");

  CCatalogParser parser;
  parser.init();
  std::string path = dir_.File("out.cat");
  ASSERT_EQ(parser.readInfo(path.data()), 7);
  EXPECT_EQ(parser.getSplitType(), 2);
  EXPECT_EQ(parser.getCodeType(), 33);
  const char* names[] = {"CODE", "RATE", "SOLD", "AT", "NAME", "WHEN", "PRICE"};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(parser.getFieldType(i), i + 2);
    EXPECT_STREQ(parser.getFieldName(i), names[i]);
  }
  EXPECT_EQ(parser.getParam1(6), 4);
  EXPECT_EQ(parser.getParam2(6), Q7_ROUND_HALF_EVEN);
}

TEST_F(CatalogWriterTest, ListedFiltersInListOrderUnderTab) {
  ASSERT_EQ(Write({ids_[4], ids_[0], -1, ids_[1]}, '\t', dir_.Dir().c_str()), 0);
  EXPECT_EQ(q7test::ReadAll(dir_.File("out.cat")), "//TAB\n//UTF-8\nA\t01\tNAME\nI\t01\tCODE\n");
}

// A format file gives a decimal the scale its values are exported with, and its mode, or the
// filter's own mode when it names none; other lines and other types are not touched.
TEST_F(CatalogWriterTest, FormatFileGivesDecimalsTheirExportedScale) {
  const struct {
    const char* format;
    const char* price;
  } cases[] = {
      {"RATE\t1\tROUNDUP\n", "N\t01\tPRICE\t4\tROUNDHALFEVEN\n"},
      {"PRICE\t1\tROUNDUP\n", "N\t01\tPRICE\t1\tROUNDUP\n"},
      {"PRICE\t2\n", "N\t01\tPRICE\t2\tROUNDHALFEVEN\n"},
      {"PRICE\tx\tROUNDUP\n", "N\t01\tPRICE\t4\tROUNDHALFEVEN\n"},
      {"// comment\nPRICE\t0\tROUNDFLOOR\nPRICE\t3\tROUNDUP\n", "N\t01\tPRICE\t0\tROUNDFLOOR\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    dir_.Write("fmt.txt", c.format);
    ASSERT_EQ(Write({ids_[1], ids_[6], -1}, ',', dir_.Dir().c_str(), "fmt.txt"), 0);
    EXPECT_EQ(q7test::ReadAll(dir_.File("out.cat")), std::string("//CSV\n//UTF-8\nF\t01\tRATE\n") + c.price);
  }
}

TEST_F(CatalogWriterTest, RefusalsWriteNoFileAndKeepTheDirectory) {
  const std::string elsewhere = dir_.Dir() + "/none";
  struct Case {
    std::vector<int> ids;
    std::string directory;
    const char* format;
    int code;
    std::string ring;
  };
  const Case cases[] = {
      {{-1},
       elsewhere,
       nullptr,
       Q7_ERROR_INVALID_PATH,
       "CreateCatalogFile|Invalid Parameter : Path(" + elsewhere + ")"},
      {{ids_[0], 999, -1}, dir_.Dir(), nullptr, Q7_ERROR_ILLEGAL_FILTER, "GetFilter|No Such Filter: 999"},
      {{-1}, dir_.Dir(), "format.txt", Q7_ERROR_ILLEGAL_FILE_NAME, ""},
      {{-1}, dir_.Dir(), "bad_format.txt", Q7_CATALOG_PARSE_ERROR, ""},
  };
  dir_.Write("bad_format.txt", "PRICE\t2\tROUNDUP\nNAMEONLY\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::filesystem::create_directory(dir_.File("sub"));
    ASSERT_EQ(chdir(dir_.File("sub").c_str()), 0);
    EXPECT_EQ(Write(c.ids, ',', c.directory.c_str(), c.format), c.code);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir_.File("sub")));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.cat")));
    EXPECT_EQ(ring_.Take(), c.ring);
    ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  }
}

}  // namespace
