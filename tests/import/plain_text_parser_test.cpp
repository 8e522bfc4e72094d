// The single-column reader: one value per line in line mode and in memory mode (which must give the
// same rows however the file is cut into chunks and windows), length-prefixed string records, and
// the values of a CSV file for a multi-value search.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/zpk_memory.h"
#include "import/CField.h"
#include "import/CPlainTextParser.h"
#include "import/CTextParser.h"
#include "import/ImportEntry.h"
#include "q7api.h"
#include "tests/import/text_import_support.h"
#include "tests/support/test_support.h"

namespace {

using q7import_test::ImportDirTest;
using q7import_test::ParserRows;
using q7import_test::Rows;

// Column 0 of the rows the parser holds (compiled), one text per row.
std::vector<std::string> Column(CPlainTextParser& parser) {
  std::vector<std::string> out;
  for (const auto& row : ParserRows(parser)) out.push_back(row.at(0));
  return out;
}

// A decimal value as ValueText renders it: "high:low/scale" in hex.
std::string Dec(int64_t units, int scale) {
  char text[64];
  std::snprintf(text, sizeof text, "%llx:%llx/%d", static_cast<unsigned long long>(units < 0 ? -1 : 0),
                static_cast<unsigned long long>(units), scale);
  return text;
}

// One length-prefixed record: the text's length in four big-endian bytes, then the text.
std::string Rec(const std::string& text) {
  const uint32_t n = static_cast<uint32_t>(text.size());
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((n >> shift) & 0xFF);
  return out + text;
}

class PlainTextParserTest : public ImportDirTest {
 protected:
  std::string Ring() { return ring_.TakeCoded(); }
  q7test::RingScope ring_;
};

TEST_F(PlainTextParserTest, LineModeReadsOneValuePerLine) {
  const std::string long_text(4095, 'q');
  struct Case {
    const char* what;
    std::string file;
    int type;
    int rows;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"fewer lines than rows are padded with NULL",
       "1\n2\n",
       Q7_TYPE_INTEGER,
       4,
       {"1", "2", "<null>", "<null>"}},
      {"rows cut the file", "1\n2\n3\n", Q7_TYPE_INTEGER, 2, {"1", "2"}},
      {"rows 0", "1\n", Q7_TYPE_INTEGER, 0, {}},
      {"every line: CR LF ends, empty line, no last LF",
       "1\r\n\r\n3",
       Q7_TYPE_INTEGER,
       -1,
       {"1", "<null>", "3"}},
      {"one pair of enclosing quotes goes",
       "\"a,b\"\n\"x\n\"\"\ny\"\n\"\n\"\"q\"\"\n",
       Q7_TYPE_STRING,
       -1,
       {"a,b", "\"x", "", "y\"", "\"", "\"q\""}},
      {"a CR is data unless it ends the line", "a\rb\nc\r", Q7_TYPE_STRING, -1, {"a\rb", "c\r"}},
      {"the longest text, quoted, with CR LF",
       "\"" + long_text + "\"\r\nz\n",
       Q7_TYPE_STRING,
       -1,
       {long_text, "z"}},
      {"doubles drop thousands separators", "1,234.5\n-2\n", Q7_TYPE_DOUBLE, 3, {"1234.5", "-2", "<null>"}},
      {"dates", "2024/01/31\n\n1899/12/31\n", Q7_TYPE_DATE, -1, {"45322", "<null>", "1"}},
      {"unchecked conversion keeps what the converter gives", "x1\n", Q7_TYPE_INTEGER, -1, {"0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = dir_.Write("values.txt", c.file);
    CPlainTextParser parser;
    ASSERT_EQ(parser.parse_txt(file.c_str(), c.type, c.rows, 0), static_cast<int>(c.want.size()));
    ASSERT_EQ(parser.getFieldItemCount(), 1);
    EXPECT_EQ(parser.getFieldItem(0)->getType(), c.type);
    EXPECT_EQ(Column(parser), c.want);
    EXPECT_EQ(Ring(), "");
  }
}

TEST_F(PlainTextParserTest, DecimalsTakeTheGivenScaleAndMode) {
  const std::string file = dir_.Write("values.txt", "1.235\n-0.5\n\n");
  CPlainTextParser parser;
  ASSERT_EQ(parser.parse_numeric(file.c_str(), 4, 2, Q7_ROUND_HALF_UP, 0), 4);
  EXPECT_EQ(Column(parser), (std::vector<std::string>{Dec(124, 2), Dec(-50, 2), "<null>", "<null>"}));
  ASSERT_EQ(parser.parse_numeric(file.c_str(), -1, 1, Q7_ROUND_DOWN, 0), 3);
  EXPECT_EQ(Column(parser), (std::vector<std::string>{Dec(12, 1), Dec(-5, 1), "<null>"}));
}

// A read that fails keeps nothing and names its cause where the host looks for it.
// A parser that took the file's size when it was a few bytes longer: the file shrank meanwhile.
class ShrunkFileParser : public CPlainTextParser {
 protected:
  int64_t SourceSize(const char* file) const override { return CPlainTextParser::SourceSize(file) + 3; }
};

// The rows of a file that shrank while it was read would pass for the whole file (padded with NULL
// up to the rows asked for): the read fails instead, keeping nothing.
TEST_F(PlainTextParserTest, FileThatShrankWhileReadFails) {
  const std::string path = dir_.Write("values.txt", "1\n2\n");
  for (const int rows : {-1, 5}) {
    SCOPED_TRACE(rows);
    ShrunkFileParser parser;
    EXPECT_EQ(parser.parse_txt(path.c_str(), Q7_TYPE_INTEGER, rows, 0), Q7_ERROR_FILE_OPERATION_FAILED);
    EXPECT_EQ(parser.getFieldItemCount(), 0);
    CPlainTextParser whole;
    EXPECT_EQ(whole.parse_txt(path.c_str(), Q7_TYPE_INTEGER, rows, 0), rows < 0 ? 2 : rows);
  }
  // A read that stops at the rows asked for never reaches the end.
  ShrunkFileParser first;
  EXPECT_EQ(first.parse_txt(path.c_str(), Q7_TYPE_INTEGER, 1, 0), 1);
}

TEST_F(PlainTextParserTest, FailedReadsKeepNothing) {
  struct Case {
    const char* what;
    const char* file;  // null: the name is null
    std::string content;
    int type;
    int code;
    std::vector<std::string> ring;
    const char* log;  // a line the catalog message log must hold
  };
  const std::vector<Case> cases = {
      {"text of 4096 bytes",
       "values.txt",
       "1\n" + std::string(4096, 'a') + "\n",
       Q7_TYPE_STRING,
       Q7_ERROR_DATA_OVERFLOW,
       {"parseLine|E0000115|StringSize overflow", "validateRet|E0000115|DataSize overflow"},
       "DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = 2 @ File = values.txt "},
      // Not cut into rows at the reader's buffer.
      {"line far longer than any text",
       "values.txt",
       std::string(10000, 'b') + "\nc\n",
       Q7_TYPE_STRING,
       Q7_ERROR_DATA_OVERFLOW,
       {"parseLine|E0000115|StringSize overflow", "validateRet|E0000115|DataSize overflow"},
       "DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = 1 @ File = values.txt "},
      {"missing file",
       "none.txt",
       "",
       Q7_TYPE_INTEGER,
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {},
       "FILE  [none.txt] MISSING "},
      {"empty name",
       "",
       "",
       Q7_TYPE_INTEGER,
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {"parse_txt2|E000008D|Invalid Parameter : pFileName"},
       nullptr},
      {"null name",
       nullptr,
       "",
       Q7_TYPE_INTEGER,
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {"parse_txt2|E000008D|Invalid Parameter : pFileName"},
       nullptr},
      {"type outside 2..8",
       "values.txt",
       "1\n",
       9,
       Q7_ERROR_INVALID_DATA_TYPE,
       {"genItemVector|E0000074|Illegal data type  : 9"},
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.file != nullptr && c.file[0] != '\0' && !c.content.empty()) dir_.Write(c.file, c.content);
    CPlainTextParser parser;
    EXPECT_EQ(parser.parse_txt(c.file, c.type, -1, 0), c.code);
    EXPECT_EQ(parser.getFieldItemCount(), 0);
    std::vector<std::string> ring;
    for (std::string e = Ring(); !e.empty(); e = Ring()) ring.push_back(e);
    EXPECT_EQ(ring, c.ring);
    if (c.log != nullptr) {
      EXPECT_NE(Log().find(std::string(c.log) + "\n"), std::string::npos) << Log();
    }
  }
}

TEST_F(PlainTextParserTest, LengthPrefixedRecordsFillAStringColumn) {
  struct Case {
    const char* what;
    std::string file;
    int rows;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {"missing records are NULL", Rec("ab") + Rec("") + Rec("xyz"), 5, {"ab", "", "xyz", "", ""}},
      {"rows end the read", Rec("a") + Rec("b"), 1, {"a"}},
      {"fewer than four bytes after a record end the read", Rec("a") + std::string("\0\0", 2), 2, {"a", ""}},
      {"no rows of an empty file", "", 0, {}},
      {"texts are taken as they are", Rec("\"q\"\r\nline,2"), 1, {"\"q\"\r\nline,2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = dir_.Write("records.bin", c.file);
    CPlainTextParser parser;
    ASSERT_EQ(parser.parse_bin(file.c_str(), Q7_TYPE_STRING, c.rows), c.rows);
    EXPECT_EQ(parser.getFieldItem(0)->getType(), Q7_TYPE_STRING);
    EXPECT_EQ(Column(parser), c.want);
    EXPECT_EQ(Ring(), "");
  }
}

TEST_F(PlainTextParserTest, LengthPrefixedRecordCutShortFailsAndKeepsNothing) {
  const std::string full = Rec("first") + Rec("second");
  struct Case {
    const char* what;
    std::string file;
    int rows;
  };
  const std::vector<Case> cases = {
      {"last record cut short", full.substr(0, full.size() - 1), 2},
      {"length claims more than the file holds", Rec("a") + std::string("\x7f\xff\xff\xff", 4) + "abc", 3},
      {"length with the top bit set", std::string("\xff\xff\xff\xf0", 4) + "abc", 1},
      {"file shorter than a length", std::string("\0\0", 2), 1},
      {"empty file, rows wanted", "", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = dir_.Write("records.bin", c.file);
    CPlainTextParser parser;
    EXPECT_EQ(parser.parse_bin(file.c_str(), Q7_TYPE_STRING, c.rows), Q7_CATALOG_PARSE_ERROR);
    EXPECT_EQ(parser.getFieldItemCount(), 0);
    EXPECT_EQ(Ring(), "parse_bin|E0000112|Failed to parse catalog");
    EXPECT_EQ(Ring(), "");
  }
}

TEST_F(PlainTextParserTest, LengthPrefixedReadRefusesBadArguments) {
  const std::string file = dir_.Write("records.bin", Rec("a"));
  struct Case {
    const char* file;
    int type;
    int rows;
    int code;
    const char* ring;
  };
  const Case cases[] = {
      {file.c_str(), Q7_TYPE_INTEGER, 1, Q7_ERROR_INVALID_PARAMETER,
       "parse_bin|E0000082|Invalid Parameter : nType"},
      {nullptr, Q7_TYPE_STRING, 1, Q7_ERROR_ILLEGAL_FILE_NAME,
       "parse_bin|E000008D|Invalid Parameter : pFileName"},
      {"", Q7_TYPE_STRING, 1, Q7_ERROR_ILLEGAL_FILE_NAME,
       "parse_bin|E000008D|Invalid Parameter : pFileName size"},
      {file.c_str(), Q7_TYPE_STRING, -1, Q7_ERROR_INVALID_PARAMETER,
       "parse_bin|E0000082|Invalid Parameter : nRows"},
      {"none.bin", Q7_TYPE_STRING, 1, Q7_ERROR_ILLEGAL_FILE_NAME, "parse_bin|E000008D|Failed to open file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    CPlainTextParser parser;
    EXPECT_EQ(parser.parse_bin(c.file, c.type, c.rows), c.code);
    EXPECT_EQ(Ring(), c.ring);
  }
}

// A file with every kind of line: numbers, quoted texts, empty lines, CR LF ends, CRs inside,
// texts up to the longest that fits, and a last line without its line feed.
std::string MixedFile(int lines) {
  std::string out;
  uint32_t state = 12345;
  auto next = [&](uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  };
  for (int i = 0; i < lines; ++i) {
    const uint32_t kind = next(20);
    std::string line = std::to_string(static_cast<int>(next(2000)) - 1000);
    if (kind == 0) line = "";
    if (kind == 1) line = "\"" + line + "\"";
    if (kind == 2) line = "\"" + std::string(4095, static_cast<char>('a' + next(26))) + "\"";
    if (kind == 3) line = std::string(1 + next(3000), 'k');
    if (kind == 4) line = "x\ry";
    out += line;
    if (i + 1 < lines) out += kind % 3 == 0 ? "\r\n" : "\n";
  }
  return out;
}

// The byte offsets just after the line feeds that cut text into n nearly equal chunks.
std::vector<size_t> ChunkEnds(const std::string& text, int n) {
  std::vector<size_t> ends;
  size_t start = 0;
  for (int k = 0; k < n && start < text.size(); ++k) {
    size_t end = text.size();
    if (k + 1 < n) {
      const size_t lf = text.find('\n', std::min(text.size(), start + text.size() / n));
      end = lf == std::string::npos ? text.size() : lf + 1;
    }
    ends.push_back(end);
    start = end;
  }
  return ends;
}

TEST_F(PlainTextParserTest, MemoryModeChunksGiveTheRowsOfLineMode) {
  std::string text = MixedFile(3000);
  const std::string file = dir_.Write("mixed.txt", text);
  for (int type : {Q7_TYPE_INTEGER, Q7_TYPE_STRING}) {
    SCOPED_TRACE(type);
    CPlainTextParser serial;
    ASSERT_EQ(serial.parse_txt(file.c_str(), type, -1, 0), 3000);
    const std::vector<std::string> want = Column(serial);
    for (int chunks : {1, 3, 8}) {
      SCOPED_TRACE(chunks);
      std::vector<std::unique_ptr<CPlainTextParser>> parsers;
      size_t start = 0;
      int rows = 0;
      for (size_t end : ChunkEnds(text, chunks)) {
        parsers.push_back(std::make_unique<CPlainTextParser>(type));
        unsigned long consumed = 0;
        int stored = 0;
        ASSERT_EQ(parsers.back()->ParseMem(text.data() + start, end - start, 1, 1, &consumed, &stored), 0);
        EXPECT_EQ(consumed, end - start);
        rows += stored;
        start = end;
      }
      for (size_t k = 1; k < parsers.size(); ++k) ASSERT_EQ(parsers[0]->merge(parsers[k].get()), 0);
      EXPECT_EQ(rows, 3000);
      EXPECT_EQ(Column(*parsers[0]), want);
    }
  }
  EXPECT_EQ(Ring(), "");
}

// A file of one column has no error mode: a date-time whose date or time part is none is NULL in
// both reads, not 1899/12/30 12:00 or midnight of the date; a date alone is midnight.
TEST_F(PlainTextParserTest, DateTimeWithAPartThatIsNoneIsNull) {
  const std::string text = "2024/02/30 12:00:00\n2024/01/31 25:00\n2024/01/31\n2024/01/31 12:00\n12:00\n";
  const std::vector<std::string> want = {"<null>", "<null>", "45322", "45322.5", "0.5"};
  const std::string file = dir_.Write("values.txt", text);
  CPlainTextParser lines;
  ASSERT_EQ(lines.parse_txt(file.c_str(), Q7_TYPE_DATETIME, -1, 0), 5);
  EXPECT_EQ(Column(lines), want);
  CPlainTextParser memory(Q7_TYPE_DATETIME);
  unsigned long consumed = 0;
  int rows = 0;
  std::string copy = text;
  ASSERT_EQ(memory.ParseMem(copy.data(), copy.size(), 1, 1, &consumed, &rows), 0);
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(Column(memory), want);
  EXPECT_EQ(Ring(), "");
}

TEST_F(PlainTextParserTest, MemoryModeLeavesAPartialLineForTheNextWindow) {
  std::string text = "1\n\"22\"\r\n333";
  CPlainTextParser parser(Q7_TYPE_INTEGER);
  unsigned long consumed = 0;
  int rows = 0;
  // The window ends inside the second line: only the first is taken.
  ASSERT_EQ(parser.ParseMem(text.data(), 5, 0, 1, &consumed, &rows), 0);
  EXPECT_EQ(consumed, 2u);
  EXPECT_EQ(rows, 1);
  ASSERT_EQ(parser.ParseMem(text.data() + 2, text.size() - 2, 1, 0, &consumed, &rows), 0);
  EXPECT_EQ(consumed, text.size() - 2);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(Column(parser), (std::vector<std::string>{"1", "22", "333"}));

  // A text that does not fit fails the chunk, and nothing goes to the error ring from a worker.
  std::string too_long = "1\n" + std::string(4096, 'z') + "\n";
  CPlainTextParser overflow(Q7_TYPE_STRING);
  EXPECT_EQ(overflow.ParseMem(too_long.data(), too_long.size(), 1, 1, &consumed, &rows),
            Q7_ERROR_DATA_OVERFLOW);
  EXPECT_EQ(Ring(), "");
}

// ---- Values of a CSV file ----

class CsvValuesTest : public PlainTextParserTest {
 protected:
  // getValuesFromCSV in the scratch directory; frees what it hands out after copying it as text.
  int Read(int type, const char* dir, const char* file, std::vector<std::string>* texts) {
    void* values = reinterpret_cast<void*>(1);
    CCSVParser* parser = reinterpret_cast<CCSVParser*>(1);
    std::string d = dir != nullptr ? dir : "";
    std::string f = file != nullptr ? file : "";
    const int n = getValuesFromCSV(type, dir != nullptr ? d.data() : nullptr,
                                   file != nullptr ? f.data() : nullptr, &values, &parser);
    if (n <= 0) {
      EXPECT_EQ(values, nullptr);
      EXPECT_EQ(parser, nullptr);
    }
    for (int i = 0; i < n && values != nullptr; ++i) {
      char text[64];
      switch (type) {
        case Q7_TYPE_INTEGER:
          std::snprintf(text, sizeof text, "%d", static_cast<int32_t*>(values)[i]);
          texts->push_back(text);
          break;
        case Q7_TYPE_STRING:
          texts->push_back(static_cast<char**>(values)[i]);
          break;
        default:
          std::snprintf(text, sizeof text, "%.10g", static_cast<double*>(values)[i]);
          texts->push_back(text);
          break;
      }
    }
    zpk_free(values);
    delete parser;
    return n;
  }
};

TEST_F(CsvValuesTest, ValuesAreConvertedByTheColumnType) {
  const std::string file = "values.csv";
  struct Case {
    int type;
    std::string content;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {Q7_TYPE_INTEGER, "1,2\n\"3\",\r\n-4", {"1", "2", "3", "-2147483648", "-4"}},
      {Q7_TYPE_STRING, "a,\"b,c\"\nd\n", {"a", "b,c", "d"}},
      {Q7_TYPE_DOUBLE, "0.5,-2", {"0.5", "-2"}},
      {Q7_TYPE_DATE, "2024/01/31", {"45322"}},
      {Q7_TYPE_TIME, "12:00:00", {"0.5"}},
      {Q7_TYPE_DATETIME, "2024/01/31 06:00:00", {"45322.25"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    dir_.Write(file, c.content);
    std::vector<std::string> got;
    EXPECT_EQ(Read(c.type, dir_.Dir().c_str(), file.c_str(), &got), static_cast<int>(c.want.size()));
    EXPECT_EQ(got, c.want);
  }
  // A relative directory is taken from the working directory, which stays as it was.
  std::vector<std::string> got;
  EXPECT_EQ(Read(Q7_TYPE_STRING, ".", file.c_str(), &got), 1);
  EXPECT_EQ(got, std::vector<std::string>{"2024/01/31 06:00:00"});
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), dir_.Dir());
}

// A value of a number, date or time column that does not read as one fails the read with the
// conversion's code; only the empty value is the NULL.
TEST_F(CsvValuesTest, AValueThatDoesNotReadFailsTheRead) {
  struct Case {
    int type;
    const char* content;
  };
  const Case cases[] = {
      {Q7_TYPE_INTEGER, "1,x"},
      {Q7_TYPE_INTEGER, "1,12x"},
      {Q7_TYPE_INTEGER, "1,  "},
      {Q7_TYPE_DOUBLE, "0.5,abc"},
      {Q7_TYPE_DOUBLE, "  "},
      {Q7_TYPE_DATE, "2024/02/30"},
      {Q7_TYPE_DATE, "2024/01/31,  "},
      {Q7_TYPE_DATE, "31 Jan"},
      {Q7_TYPE_TIME, "25:00"},
      {Q7_TYPE_TIME, "  "},
      {Q7_TYPE_TIME, "12:00,7"},
      {Q7_TYPE_DATETIME, "2024/02/30 12:00:00"},
      {Q7_TYPE_DATETIME, "2024/01/31 25:00"},
      {Q7_TYPE_DATETIME, "12:00"},
      {Q7_TYPE_DATETIME, "  "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " [" + c.content + "]");
    dir_.Write("values.csv", c.content);
    std::vector<std::string> got;
    EXPECT_EQ(Read(c.type, dir_.Dir().c_str(), "values.csv", &got), Q7_ERROR_INVALID_DATA);
    EXPECT_TRUE(got.empty());
  }
  // Blanks are a text of their own in a STRING column.
  dir_.Write("values.csv", "  ,x");
  std::vector<std::string> got;
  EXPECT_EQ(Read(Q7_TYPE_STRING, dir_.Dir().c_str(), "values.csv", &got), 2);
  EXPECT_EQ(got, (std::vector<std::string>{"  ", "x"}));
  EXPECT_EQ(Ring(), "");
}

// A UTF-8 byte-order mark at the start of the file is no part of the first value (the database
// code here is UTF-8); a mark alone is an empty file.
TEST_F(CsvValuesTest, AByteOrderMarkIsNoData) {
  const std::string mark = "\xEF\xBB\xBF";
  struct Case {
    int type;
    std::string content;
    std::vector<std::string> want;
  };
  const std::vector<Case> cases = {
      {Q7_TYPE_INTEGER, mark + "12,3", {"12", "3"}},
      {Q7_TYPE_STRING, mark + "apple", {"apple"}},
      {Q7_TYPE_STRING, mark + "\"a,b\"", {"a,b"}},
      {Q7_TYPE_DATE, mark + "2024/01/31", {"45322"}},
      {Q7_TYPE_STRING, "a," + mark + "b", {"a", mark + "b"}},
      {Q7_TYPE_INTEGER, mark, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    dir_.Write("values.csv", c.content);
    std::vector<std::string> got;
    EXPECT_EQ(Read(c.type, dir_.Dir().c_str(), "values.csv", &got), static_cast<int>(c.want.size()));
    EXPECT_EQ(got, c.want);
  }
}

TEST_F(CsvValuesTest, FailuresHandOutNothing) {
  dir_.Write("values.csv", "1,2\n");
  dir_.Write("empty.csv", "");
  const std::string long_name(512, 'n');
  struct Case {
    const char* what;
    int type;
    const char* dir;
    const char* file;
    int result;
  };
  const std::string dir = dir_.Dir();
  const std::string gone = dir_.File("gone");
  const Case cases[] = {
      {"decimal column", Q7_TYPE_DECIMAL, dir.c_str(), "values.csv", Q7_ERROR_ILLEGAL_FILTER_TYPE},
      {"type below 2", 1, dir.c_str(), "values.csv", Q7_ERROR_INVALID_DATA_TYPE},
      {"type above 8", 9, dir.c_str(), "values.csv", Q7_ERROR_INVALID_DATA_TYPE},
      {"missing file", Q7_TYPE_INTEGER, dir.c_str(), "none.csv", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"empty file", Q7_TYPE_INTEGER, dir.c_str(), "empty.csv", 0},
      {"empty file name", Q7_TYPE_INTEGER, dir.c_str(), "", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"null file name", Q7_TYPE_INTEGER, dir.c_str(), nullptr, Q7_ERROR_ILLEGAL_FILE_NAME},
      {"file name of 512 bytes", Q7_TYPE_INTEGER, dir.c_str(), long_name.c_str(), Q7_ERROR_ILLEGAL_FILE_NAME},
      {"directory that cannot be entered", Q7_TYPE_INTEGER, gone.c_str(), "values.csv",
       Q7_ERROR_ILLEGAL_FILE_NAME},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> got;
    EXPECT_EQ(Read(c.type, c.dir, c.file, &got), c.result);
    EXPECT_TRUE(got.empty());
  }
  EXPECT_EQ(Ring(), "");
}

}  // namespace
