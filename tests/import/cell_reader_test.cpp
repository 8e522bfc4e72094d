// The checked import's cell reader over small files: the cells and their end states, the faults it
// refuses (with the file offsets it logs), the cut of an over-long cell, and the skipped top line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/TCorrectLog.h"
#include "import/TIOBuf.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

struct Cell {
  std::string text;
  int state;
  bool operator==(const Cell& o) const { return text == o.text && state == o.state; }
};

std::ostream& operator<<(std::ostream& out, const Cell& c) {
  return out << "{\"" << c.text << "\", " << c.state << "}";
}

struct ReadResult {
  std::vector<Cell> cells;
  bool failed = false;
  std::vector<std::string> comments;  // the Comment column of the log, the open note dropped
};

// The log's comments, without the quotes (records here carry no quotes of their own).
std::vector<std::string> Comments(const std::string& log) {
  std::vector<std::string> out;
  size_t at = log.find('\n') + 1;  // past the header
  while (at < log.size()) {
    const size_t end = log.find('\n', at);
    const std::string line = log.substr(at, end - at);
    const size_t tab = line.rfind('\t');
    out.push_back(line.substr(tab + 2, line.size() - tab - 3));
    at = end + 1;
  }
  if (!out.empty()) out.pop_back();          // the closing record
  if (!out.empty()) out.erase(out.begin());  // "Trying to open data file[...]"
  return out;
}

ReadResult ReadAllCells(const std::string& bytes, const char* separators = ",", bool cut_top = false) {
  q7test::TempDir dir;
  dir.Write("data.txt", bytes);
  ReadResult r;
  std::string log_path;
  {
    TCorrectLog log(dir.Dir().c_str(), "cells");
    log_path = log.Path();
    TIOBuf reader(dir.Dir().c_str(), "data.txt", separators, static_cast<int>(strlen(separators)), &log);
    if (cut_top && reader.CutTop() != 0) r.failed = true;
    while (!r.failed) {
      char state = 0;
      const char* cell = reader.getOneCell(&state);
      if (cell == nullptr) {
        r.failed = true;
        break;
      }
      r.cells.push_back({std::string(cell, reader.CellLength()), state});
      if (state == 2) break;
    }
  }
  r.comments = Comments(q7test::ReadAll(log_path));
  return r;
}

struct CellCase {
  const char* what;
  std::string bytes;
  const char* separators;
  std::vector<Cell> cells;
};

TEST(CellReader, CellsAndTheirEnds) {
  const std::vector<CellCase> cases = {
      {"lf, no final line end", "a,b\nc,d", ",", {{"a", 0}, {"b", 1}, {"c", 0}, {"d", 2}}},
      {"crlf and a final line end", "a,b\r\nc,\r\n", ",", {{"a", 0}, {"b", 1}, {"c", 0}, {"", 2}}},
      {"lone cr", "a\rb", ",", {{"a", 1}, {"b", 2}}},
      {"quoted separators, pairs and line ends",
       "\"x,\"\"y\"\"\r\nz\",b\n",
       ",",
       {{"x,\"y\"\r\nz", 0}, {"b", 2}}},
      {"empty quoted cell", "\"\",\"\"", ",", {{"", 0}, {"", 2}}},
      {"^Z after the last line end", "a,b\n\x1a", ",", {{"a", 0}, {"b", 2}}},
      {"^Z after crlf", "a\r\n\x1a", ",", {{"a", 2}}},
      {"^Z in place of a line end", "a,b\x1a", ",", {{"a", 0}, {"b", 2}}},
      {"several separators", "a;b|c\t\"d;\"\n", ";|\t", {{"a", 0}, {"b", 0}, {"c", 0}, {"d;", 2}}},
      {"a comma is data when not a separator", "1,5;2", ";", {{"1,5", 0}, {"2", 2}}},
      {"an empty line is one empty cell", "a\n\nb", ",", {{"a", 1}, {"", 1}, {"b", 2}}},
      {"empty file", "", ",", {{"", 2}}},
  };
  for (const CellCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult r = ReadAllCells(c.bytes, c.separators);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.cells, c.cells);
    EXPECT_EQ(r.comments, std::vector<std::string>{});
  }
}

struct FaultCase {
  const char* what;
  std::string bytes;
  std::vector<Cell> cells;  // read before the fault
  std::vector<std::string> comments;
};

TEST(CellReader, MalformedCellsFailWithTheOffsetLogged) {
  const std::vector<FaultCase> cases = {
      {"quote inside a plain cell",
       "ab,c\"d",
       {{"ab", 0}},
       {"ERROR. illegal char(\"\") appeared at [0x4].", "Error cell starts at[3]"}},
      {"NUL in a plain cell",
       std::string("a\0b", 3),
       {},
       {"ERROR. illegal char(0) appeared at [0x1].", "Error cell starts at[0]"}},
      {"NUL inside quotes",
       std::string("x,\"a\0\"", 6),
       {{"x", 0}},
       {"ERROR. Inside double quates, char(0) appeared at [0x4].", "Error cell starts at[3]"}},
      {"file ends inside quotes",
       "\"abc",
       {},
       {"ERROR. File ended inside double quates at [0x4].", "Error cell starts at[1]"}},
      {"^Z before more data",
       "a\n\x1a"
       "b",
       {},
       {"ERROR. illegal char(^Z) appeared before file end at [0x2].", "Error cell starts at[0]"}},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.what);
    const ReadResult r = ReadAllCells(c.bytes);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.cells, c.cells);
    EXPECT_EQ(r.comments, c.comments);
  }
}

TEST(CellReader, ByteAfterAClosingQuoteIsLoggedAndDropped) {
  const ReadResult r = ReadAllCells("\"q\"x\n");
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.cells, (std::vector<Cell>{{"q", 0}, {"", 2}}));
  EXPECT_EQ(r.comments, std::vector<std::string>{
                            "ERROR. Separator,cr/lf,eof expected here[0x3], but appeared char was [0x78]."});
}

TEST(CellReader, OverLongCellIsCutAndItsRestBeginsTheNextCell) {
  const std::string full(TIOBuf::kMaxCell, 'a');
  // Exactly the bound, then a separator: no empty cell in between.
  EXPECT_EQ(ReadAllCells(full + ",b").cells, (std::vector<Cell>{{full, 0}, {"b", 2}}));
  EXPECT_EQ(ReadAllCells(full + "xyz\n").cells, (std::vector<Cell>{{full, 0}, {"xyz", 2}}));
  EXPECT_EQ(ReadAllCells("\"" + full + "xy\"").cells.front(), (Cell{full, 0}));
}

TEST(CellReader, CutTopSkipsTheFirstLine) {
  EXPECT_EQ(ReadAllCells("h1,\"h\n2\"\nx,y", ",", true).cells, (std::vector<Cell>{{"x", 0}, {"y", 2}}));
  EXPECT_EQ(ReadAllCells("h1,h2\n", ",", true).cells, (std::vector<Cell>{{"", 2}}));
  const ReadResult bad = ReadAllCells("h\"1\nx", ",", true);
  EXPECT_TRUE(bad.failed);
  EXPECT_EQ(bad.comments.back(), "CUTTOP failed.");
}

TEST(CellReader, MissingFileIsLoggedAndRefused) {
  q7test::TempDir dir;
  std::string log_path;
  {
    TCorrectLog log(dir.Dir().c_str(), "open");
    log_path = log.Path();
    EXPECT_EQ(q7test::CodeOf([&] { TIOBuf reader(dir.Dir().c_str(), "none.txt", ",", 1, &log); }),
              Q7_ERROR_ILLEGAL_FILE_NAME);
  }
  const std::string file = dir.File("none.txt");
  EXPECT_EQ(q7test::ReadAll(log_path),
            std::string("LineNo\tFieldNo\tFieldName\tErrorString\tCorrectedTo\tComment\n") +
                "0\t0\t\"\"\t\"\"\t\"\"\t\"Trying to open data file[" + file + "]\"\n" +
                "0\t0\t\"\"\t\"\"\t\"\"\t\"ERROR. Failed to open Data file[" + file + "]\"\n" +
                "0\t0\t\"\"\t\"\"\t\"\"\t\"Log event occured 2 times.\"\n");
}

}  // namespace
