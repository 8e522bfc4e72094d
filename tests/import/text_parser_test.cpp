// The text line parsers: field splitting in line and memory mode, the line-mode import with its
// error modes, fixed-width lines and the whole-buffer CSV splitter.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/zpk_fstream.h"
#include "import/CCatalogParser.h"
#include "import/CField.h"
#include "import/CTextParser.h"
#include "q7api.h"
#include "tests/import/text_import_support.h"

namespace {

using q7import_test::ImportDirTest;
using q7import_test::Join;
using q7import_test::ParserRows;
using q7import_test::ReportLines;
using q7import_test::Rows;

const char kThreeStrings[] = "//CSV\nA\t10\tF1\nA\t10\tF2\nA\t10\tF3\n";

struct SplitCase {
  std::string line;
  int result;                       // fields found, or the code
  std::vector<std::string> fields;  // the first three string items (checked on success)
};

// Splits the line as line mode does and as memory mode does (with a CR LF end and with none at
// the chunk end); all three must agree.
void ExpectSplit(CTextParser& parser, const SplitCase& c) {
  std::string line = c.line;
  EXPECT_EQ(parser.parseLine(line.data(), 1), c.result) << "line mode";
  std::vector<std::string> got;
  for (int i = 0; i < 3; ++i) got.push_back(parser.getStrItem(i)->getData());
  if (c.result >= 0) {
    EXPECT_EQ(got, c.fields);
  }
  for (const std::string& end : {std::string("\r\n"), std::string("\n"), std::string()}) {
    std::string buf = c.line + end;
    unsigned long len = 0;
    int ended = -1;
    EXPECT_EQ(parser.parseUntilCRLF(buf.data(), buf.size(), &len, &ended, 0), c.result) << "memory mode";
    EXPECT_EQ(ended, end.empty() ? 0 : 1);
    std::vector<std::string> mem;
    for (int i = 0; i < 3; ++i) mem.push_back(parser.getStrItem(i)->getData());
    if (c.result >= 0) {
      EXPECT_EQ(mem, c.fields);
    }
  }
}

class TextParserTest : public ImportDirTest {};

TEST_F(TextParserTest, DelimitedFieldsSplitAlikeInBothModes) {
  const std::string max(4095, 'x');
  const std::vector<SplitCase> cases = {
      {"a,b,c", 3, {"a", "b", "c"}},
      {"\"a\"\"b\",x,y", 3, {"a\"b", "x", "y"}},
      {"\"\",\"\"\"\",z", 3, {"", "\"", "z"}},
      {"\"\"\"\"\"\",\"\"\"\"\"\"\"\",", 3, {"\"\"", "\"\"\"", ""}},
      {"a,b,", 3, {"a", "b", ""}},
      {"a,,", 3, {"a", "", ""}},
      {"", 1, {"", "", ""}},
      {"a\"b,c\",d", 3, {"a\"b", "c\"", "d"}},
      {"\"a,b\",\"c\rd\",e", 3, {"a,b", "c\rd", "e"}},
      {"a\rb,c,d", 3, {"a\rb", "c", "d"}},
      {"a,b,c,d", 4, {"a", "b", "c"}},
      {"a,b", 2, {"a", "b", ""}},
      {"\"ab\"x,c,d", Q7_CATALOG_PARSE_ERROR, {}},
      {"\"ab,c,d", Q7_CATALOG_PARSE_ERROR, {}},
      {"a,b,\"c", Q7_CATALOG_PARSE_ERROR, {}},
      {max + ",\"" + max + "\",", 3, {max, max, ""}},
      {max + "y,b,c", Q7_ERROR_DATA_OVERFLOW, {}},
      {"a,\"" + max + "y\",c", Q7_ERROR_DATA_OVERFLOW, {}},
      {"a,\"" + std::string(4094, 'x') + "\"\"\",c", 3, {"a", std::string(4094, 'x') + "\"", "c"}},
  };
  CCSVParser parser(Catalog(kThreeStrings));
  parser.createStrItems();
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 40));
    ExpectSplit(parser, c);
  }
}

// Fields of every length around the splitter's 16-byte steps, the separator at each place in a
// step and the line end just before, at or after a step's end.
TEST_F(TextParserTest, FieldsOfEveryLengthAroundTheBlockSize) {
  CCSVParser csv(Catalog(kThreeStrings));
  csv.createStrItems();
  CTABParser tab(Catalog("//TAB\nA\t1\tF1\nA\t1\tF2\nA\t1\tF3\n"));
  tab.createStrItems();
  for (int a = 0; a <= 34; ++a) {
    for (int b : {0, 1, 15, 16, 17, 31, 32, 33}) {
      const std::string fa(static_cast<size_t>(a), 'a');
      const std::string fc = std::string(static_cast<size_t>((a + b) % 19), 'c');
      SCOPED_TRACE(std::to_string(a) + " " + std::to_string(b));
      // A CSV field may hold TABs and a TAB field commas.
      ExpectSplit(csv, {fa + "," + std::string(static_cast<size_t>(b), '\t') + "," + fc,
                        3,
                        {fa, std::string(static_cast<size_t>(b), '\t'), fc}});
      ExpectSplit(tab, {fa + "\t" + std::string(static_cast<size_t>(b), ',') + "\t" + fc,
                        3,
                        {fa, std::string(static_cast<size_t>(b), ','), fc}});
    }
  }
}

TEST_F(TextParserTest, SeparatorsOfEachFormat) {
  {
    CTABParser parser(Catalog("//TAB\nA\t1\tF1\nA\t1\tF2\nA\t1\tF3\n"));
    parser.createStrItems();
    ExpectSplit(parser, {"a,b\t\"c\td\"\t", 3, {"a,b", "c\td", ""}});
  }
  {
    CCatalogParser* catalog = Catalog("//USR\t|\t;\nA\t1\tF1\nA\t1\tF2\nA\t1\tF3\n");
    const char* s = catalog->getUserSeparators();
    CUSRParser parser(catalog, s[0], s[1], s[2], s[3], s[4]);
    parser.createStrItems();
    ExpectSplit(parser, {"a|b,c;\"d|e\"", 3, {"a", "b,c", "d|e"}});
  }
  {
    // Under Shift_JIS the trail byte of 0x95 0x5C is a backslash: it must not split the field.
    CCatalogParser* catalog = Catalog("//USR\t\\\n//SHIFT-JIS\nA\t1\tF1\nA\t1\tF2\nA\t1\tF3\n");
    ASSERT_EQ(catalog->getCodeType(), 20);
    const char* s = catalog->getUserSeparators();
    CUSRParser parser(catalog, s[0], s[1], s[2], s[3], s[4]);
    parser.createStrItems();
    ExpectSplit(parser, {"\x95\x5C\\b\\\x95\x5C\x95\x5C", 3, {"\x95\x5C", "b", "\x95\x5C\x95\x5C"}});
  }
}

TEST_F(TextParserTest, SkippedFieldsAreSplitButNotCounted) {
  CCSVParser parser(Catalog("//CSV\nA\t1\tF1\nA\t1\tF2\tSKIP\nA\t1\tF3\nA\t1\tF4\tSKIP\n"));
  parser.createStrItems();
  std::string line = "a,\"b,x\",c,d";
  EXPECT_EQ(parser.parseLine(line.data(), 1), 2);
  EXPECT_STREQ(parser.getStrItem(0)->getData(), "a");
  EXPECT_STREQ(parser.getStrItem(1)->getData(), "c");
  // A bad field is a bad line even where it is skipped.
  line = "a,\"b\"x,c,d";
  EXPECT_EQ(parser.parseLine(line.data(), 1), Q7_CATALOG_PARSE_ERROR);
}

TEST_F(TextParserTest, FixedWidthLines) {
  const char* catalog_text = "//FIX\n//ERROR\t%s\nA\t3\tF1\nA\t2\tF2\tSKIP\nA\t4\tF3\n";
  struct Case {
    const char* mode;
    const char* line;
    int result;
    const char* f1;
    const char* f3;
    const char* log;  // the report line, "" for none
  };
  const Case cases[] = {
      {"STOP", "abcXYdefg", 2, "abc", "defg", ""},
      {"STOP", "abcXYde", Q7_CATALOG_PARSE_ERROR, "", "",
       "ITEM SIZE MISMATCH \t----->\t Field Length  != Item length [4 - 2] \t@ Row = 1 "},
      {"CONTINUE", "abcXYde", 2, "abc", "de",
       "ITEM SIZE MISMATCH \t----->\t Field Length  != Item length [4 - 2] \t@ Row = 1 "},
      {"STOP", "abcXYdefgZZ", Q7_CATALOG_PARSE_ERROR, "", "",
       "FILTER MISMATCH \t----->\tFilters != Items [2 - (> 2) ] \t@ Row = 1 "},
      {"SKIPLINE", "abcXYdefgZZ", 2, "abc", "defg",
       "FILTER MISMATCH \t----->\tFilters != Items [2 - (> 2) ] \t@ Row = 1 "},
      {"NONE", "abcXYde", 2, "abc", "de", ""},
      {"CONTINUE", "ab", 1, "ab", "",
       "ITEM SIZE MISMATCH \t----->\t Field Length  != Item length [3 - 2] \t@ Row = 1 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.line);
    char text[256];
    std::snprintf(text, sizeof text, catalog_text, c.mode);
    CFixedLengthParser parser(Catalog(text));
    parser.createStrItems();
    std::string line = c.line;
    EXPECT_EQ(parser.parseLine(line.data(), 1), c.result);
    if (c.result >= 0) {
      EXPECT_STREQ(parser.getStrItem(0)->getData(), c.f1);
      EXPECT_STREQ(parser.getStrItem(1)->getData(), c.f3);
    }
    const std::vector<std::string> reports = ReportLines(Log());
    if (c.log[0] == '\0') {
      EXPECT_TRUE(reports.empty());
    } else {
      EXPECT_EQ(reports, std::vector<std::string>{c.log});
    }
  }
}

TEST_F(TextParserTest, FixedWidthFieldOfMaxSize) {
  CFixedLengthParser fits(Catalog("//FIX\nA\t4095\tF1\n"));
  fits.createStrItems();
  std::string line(4095, 'x');
  EXPECT_EQ(fits.parseLine(line.data(), 1), 1);
  // Widths read before the format line are not checked: such a field can be too wide for a slot.
  CFixedLengthParser wide(Catalog("A\t5000\tF1\n//FIX\n"));
  wide.createStrItems();
  line = std::string(5000, 'x');
  EXPECT_EQ(wide.parseLine(line.data(), 1), Q7_ERROR_DATA_OVERFLOW);
}

// Line mode end to end: typed fields, CR LF lines, a missing final line feed.
TEST_F(TextParserTest, LineModeParsesTypedRows) {
  CCSVParser parser(Catalog("//CSV\nI\t1\tN\nF\t1\tX\nA\t1\tS\nN\t1\tD\t2\tROUNDHALFUP\n"));
  const std::string src = dir_.Write("src.txt", "1,2.5,abc,1.25\r\n\" 7\",,\"x,y\",\n-3,1e3,,0.005");
  ASSERT_EQ(parser.parse(const_cast<char*>(src.c_str())), 3);
  const Rows rows = ParserRows(parser);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Join(rows[0]), "1|2.5|abc|0:7d/2");
  EXPECT_EQ(Join(rows[1]), "7|<null>|x,y|<null>");
  EXPECT_EQ(Join(rows[2]), "-3|1000||0:1/2");

  // One CR before the LF, or at the very end, belongs to the line end; any other CR is data.
  CCSVParser text(Catalog("//CSV\nA\t1\tS\n"));
  const std::string crs = dir_.Write("cr.txt", "a\r\nb\r\r\n\r\nc\r");
  ASSERT_EQ(text.parse(const_cast<char*>(crs.c_str())), 4);
  std::vector<std::string> got;
  for (const auto& row : ParserRows(text)) got.push_back(Join(row));
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b\r", "", "c"}));
}

TEST_F(TextParserTest, LineModeErrorModes) {
  // Line 2 has a bad quote, line 3 too many fields, line 4 a number that is none, line 5 is good.
  const std::string source = "1,a\n2,\"b\"x\n3,c,d\n4x,e\n5,f\n";
  struct Case {
    const char* mode;
    int result;
    std::vector<std::string> rows;
    std::vector<std::string> log;
  };
  const std::string parse2 = "DATA PARSE ERROR \t\t @ Row = 2 ";
  const std::string mismatch3 = "FILTER MISMATCH \t----->\tFilters - Items [2 - 3] \t@ Row = 3 ";
  const std::string data4 = "DATA ERROR \t\t----->\t[N] = \"4x\"  \t@ Row = 4 , Col = 1 ";
  const Case cases[] = {
      {"SKIPLINE", 3, {"1|a", "<null>|e", "5|f"}, {parse2, mismatch3, data4}},
      {"CONTINUE", Q7_ERROR_INVALID_DATA, {}, {parse2}},
      {"STOP", Q7_ERROR_INVALID_DATA, {}, {parse2}},
      {"NONE", Q7_ERROR_INVALID_DATA, {}, {}},
  };
  const std::string src = dir_.Write("src.txt", source);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    CCSVParser parser(Catalog(std::string("//CSV\n//ERROR\t") + c.mode + "\nI\t1\tN\nA\t1\tS\n"));
    EXPECT_EQ(parser.parse(const_cast<char*>(src.c_str())), c.result);
    if (c.result >= 0) {
      std::vector<std::string> rows;
      for (const auto& row : ParserRows(parser)) rows.push_back(Join(row));
      EXPECT_EQ(rows, c.rows);
    } else {
      EXPECT_EQ(parser.getFieldItemCount(), 0);  // freed on failure
    }
    EXPECT_EQ(ReportLines(Log()), c.log);
  }
  // A mismatch is fatal unless lines are skipped; overflow is fatal in every mode.
  CCSVParser parser(Catalog("//CSV\n//ERROR\tCONTINUE\nI\t1\tN\nA\t1\tS\n"));
  const std::string wide = dir_.Write("wide.txt", "1,a,b\n");
  EXPECT_EQ(parser.parse(const_cast<char*>(wide.c_str())), Q7_CATALOG_PARSE_ERROR);
  CCSVParser skip(Catalog("//CSV\n//ERROR\tSKIPLINE\nI\t1\tN\nA\t1\tS\n"));
  const std::string longer = dir_.Write("long.txt", "1,a\n2," + std::string(5000, 'y') + "\n");
  EXPECT_EQ(skip.parse(const_cast<char*>(longer.c_str())), Q7_ERROR_DATA_OVERFLOW);
}

TEST_F(TextParserTest, LineModeCutTopAndRowLimit) {
  CCSVParser parser(Catalog("//CSV\n//CUTTOP\nI\t1\tN\nA\t1\tS\n"));
  const std::string src = dir_.Write("src.txt", "N,S\n1,a\n2,b\n");
  parser.setRowSize(4);
  ASSERT_EQ(parser.parse(const_cast<char*>(src.c_str())), 4);
  std::vector<std::string> rows;
  for (const auto& row : ParserRows(parser)) rows.push_back(Join(row));
  EXPECT_EQ(rows, (std::vector<std::string>{"1|a", "2|b", "<null>|", "<null>|"}));

  CCSVParser limited(Catalog("//CSV\n//ERROR\tCONTINUE\nI\t1\tN\nA\t1\tS\n"));
  limited.setRowSize(1);
  ASSERT_EQ(limited.parse(const_cast<char*>(src.c_str())), 1);
  EXPECT_EQ(Join(ParserRows(limited)[0]), "<null>|S");

  CCSVParser missing(Catalog("//CSV\nI\t1\tN\n"));
  EXPECT_EQ(missing.parse(const_cast<char*>(dir_.File("none.txt").c_str())), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(missing.parse(nullptr), Q7_ERROR_ILLEGAL_FILE_NAME);
}

// A parser whose rows parsed a test can set, for the estimates from the rest of the file.
class EstimateParser : public CCSVParser {
 public:
  using CCSVParser::CCSVParser;
  void SetRowsParsed(int rows) { m_nRowsParsed = rows; }
};

// The file monitor's state for one test, restored afterwards.
struct MonitorState {
  MonitorState(int64_t size, int64_t read, zpk_fstream* stream) : saved(*CFileMonitor::Instance()) {
    CFileMonitor* m = CFileMonitor::Instance();
    m->m_nFileSize = size;
    m->m_nReadBytes = read;
    m->m_pStream = stream;
  }
  ~MonitorState() {
    CFileMonitor* m = CFileMonitor::Instance();
    m->m_nFileSize = saved.m_nFileSize;
    m->m_nReadBytes = saved.m_nReadBytes;
    m->m_pStream = saved.m_pStream;
  }
  CFileMonitor saved;
};

// Line mode sizes the field buffers from the file: its size over the length of its first lines,
// plus 1 %, at least 5 rows; or from the rest of the open file at the rows parsed so far.
TEST_F(TextParserTest, LineModeRowEstimates) {
  const char kCatalog[] = "//CSV\nI\t1\tN\nA\t1\tS\n";
  std::string lines;
  for (int i = 0; i < 1000; ++i) lines += "12,abcdefgh\n";  // 12 bytes each
  struct Case {
    const char* what;
    std::string text;
    int capacity;
  };
  const Case cases[] = {
      {"1000 lines", lines, 1010},
      {"one short line", "1,a\n", 5},
      {"no line feed", "1,abc", 5},
      {"empty", "", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EstimateParser parser(Catalog(kCatalog));
    const std::string src = dir_.Write("src.txt", c.text);
    ASSERT_EQ(parser.createFieldItems(1, src.c_str(), 0), 0);
    EXPECT_EQ(parser.getFieldItemCount(), 2);
    EXPECT_EQ(parser.getRowCapacity(), c.capacity);
    EXPECT_EQ(parser.calcMemRows(), c.capacity);
    // The items exist: nothing more is made.
    EXPECT_EQ(parser.createFieldItems(1, src.c_str(), 0), 0);
    EXPECT_EQ(parser.getFieldItemCount(), 2);
  }

  struct RestCase {
    const char* what;
    int64_t size, read;
    bool stream;
    int rows;
    int capacity;
  };
  const RestCase rest[] = {
      {"10 bytes a row", 1000000, 1000, true, 100, 124875 + 1248},
      {"the rest capped at 300,000,000 bytes", 4000000000, 1000, true, 100, 37500000 + 375000},
      {"no rows yet", 1000000, 1000, true, 0, 5},
      {"more rows than bytes", 1000000, 10, true, 100, 5},
      {"no stream", 1000000, 1000, false, 100, 5},
  };
  zpk_fstream stream;
  for (const RestCase& c : rest) {
    SCOPED_TRACE(c.what);
    MonitorState monitor(c.size, c.read, c.stream ? &stream : nullptr);
    EstimateParser parser(Catalog(kCatalog));
    parser.SetRowsParsed(c.rows);
    EXPECT_EQ(parser.calcMemRowsEx(), c.capacity);
    EXPECT_EQ(parser.getRowCapacity(), c.capacity);
    const std::string src = dir_.Write("src.txt", lines);
    ASSERT_EQ(parser.createFieldItems(1, src.c_str(), 1), 0);
    EXPECT_EQ(parser.getRowCapacity(), c.capacity);
  }

  // Failures leave no items.
  EstimateParser parser(Catalog(kCatalog));
  EXPECT_EQ(parser.createFieldItems(1, dir_.File("none.txt").c_str(), 0), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(parser.createFieldItems(1, nullptr, 0), Q7_ERROR_ILLEGAL_FILE_NAME);
  const std::string wide = dir_.Write("wide.txt", "1," + std::string(5000, 'y') + "\n");
  EXPECT_EQ(parser.createFieldItems(1, wide.c_str(), 0), Q7_ERROR_DATA_OVERFLOW);
  EXPECT_EQ(parser.getFieldItemCount(), 0);
  // Under CUTTOP the title line is no sample: its overflow does not matter.
  EstimateParser titled(Catalog("//CSV\n//CUTTOP\nI\t1\tN\nA\t1\tS\n"));
  const std::string title = dir_.Write("title.txt", std::string(5000, 'T') + "\n1,a\n");
  EXPECT_EQ(titled.createFieldItems(1, title.c_str(), 0), 0);
  EXPECT_EQ(titled.getFieldItemCount(), 2);
}

TEST_F(TextParserTest, UnknownTypeFailsWithCode) {
  CCSVParser parser;
  EXPECT_EQ(parser.genItemVector(1, 9, "X"), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(parser.genItemVector(1, 1, "X"), Q7_ERROR_INVALID_DATA_TYPE);
  EXPECT_EQ(parser.getFieldItemCount(), 0);
  EXPECT_EQ(parser.genItemVector(1, Q7_TYPE_DATE, "X"), 0);
  EXPECT_EQ(parser.getFieldItem(0)->getType(), Q7_TYPE_DATE);
}

TEST_F(TextParserTest, WholeBufferCsv) {
  struct Case {
    std::string text;
    int result;
    std::vector<std::string> values;
  };
  const std::string max(4095, 'q');
  const std::string half(2100, 'h');
  const Case cases[] = {
      {"a,b\nc\r\nd\r", 4, {"a", "b", "c", "d"}},
      {"\"x\ny\",\"p\"\"q\",\"\"", 3, {"x\ny", "p\"q", ""}},
      {"a,\n,b", 4, {"a", "", "", "b"}},
      {"a,\xff,b", 1, {"a"}},
      {"a\rb,c", 2, {"a\rb", "c"}},
      // Too long for a quoted value: read again from after the quote as plain text.
      {"\"" + half + "," + half + "\",z", 3, {half, half + "\"", "z"}},
      {"\"" + max + "q\",z", Q7_ERROR_DATA_OVERFLOW, {}},
      {max + ",z", 2, {max, "z"}},
      {max + "q,z", Q7_ERROR_DATA_OVERFLOW, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 30));
    CCSVParser parser;
    std::string buf = c.text;
    ASSERT_EQ(parser.parseCSV(buf.data(), buf.size()), c.result);
    if (c.result < 0) continue;
    std::vector<std::string> got;
    for (int i = 0; i < parser.getStrItemCount(); ++i) got.push_back(parser.getStrItem(i)->getData());
    EXPECT_EQ(got, c.values);
  }
}

}  // namespace
