// Import workers' bad-line reports: their entry layout and the catalog log lines they become.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/CErrorLog.h"
#include "import/CatalogErrorInfo.h"
#include "tests/support/test_support.h"

namespace {

// Points the catalog message log at a scratch file without a banner, and puts it back.
class CatalogLog : public ::testing::Test {
 protected:
  void SetUp() override {
    LOGOBJ->getFileName(saved_name_);
    saved_begin_ = CErrorLog::isBegin;
    path_ = dir_.File("catalog_err_log.txt");
    LOGOBJ->setFileName(path_.c_str());
    CErrorLog::isBegin = false;
  }
  void TearDown() override {
    LOGOBJ->setFileName(saved_name_);
    CErrorLog::isBegin = saved_begin_;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(q7test::ReadAll(path_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  q7test::TempDir dir_;
  std::string path_;
  char saved_name_[CErrorLog::kFileNameSize] = {};
  bool saved_begin_ = true;
};

// Every code's line, with the row shifted by the offset and nothing else shifted.
TEST_F(CatalogLog, EachCodePrintsItsLineWithTheRowShifted) {
  CatalogErrorInfo info;
  info.SetLogMsg(1, 4, "src.dat");
  info.SetLogMsg(2, 5);
  info.SetLogMsg(3, 6);
  info.SetLogMsg(4, "PRICE", "12x", 7, 3);
  info.SetLogMsg(5, 4, 3, 8);
  info.SetLogMsg(6);
  info.SetLogMsg(7, 4, 4, 9);
  info.SetLogMsg(8, 10, 6, 10);
  info.AllLogMsgPrint(100);
  const std::vector<std::string> want = {
      "DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = 104 @ File = src.dat ",
      "OUT_OF_MEMORY  ERROR \t\t @  Row = 105 ",
      "DATA PARSE ERROR \t\t @ Row = 106 ",
      "DATA ERROR \t\t----->\t[PRICE] = \"12x\"  \t@ Row = 107 , Col = 3 ",
      "FILTER MISMATCH \t----->\tFilters - Items [4 - 3] \t@ Row = 108 ",
      "Q7_ERROR_OUT_OF_MEMORY",
      "FILTER MISMATCH \t----->\tFilters != Items [4 - (> 4) ] \t@ Row = 109 ",
      "ITEM SIZE MISMATCH \t----->\t Field Length  != Item length [10 - 6] \t@ Row = 110 ",
  };
  EXPECT_EQ(Lines(), want);
}

// The importer prints worker records in order, each shifted by the rows of the chunks before it.
TEST_F(CatalogLog, WorkerRowsBecomeFileLines) {
  CatalogErrorInfo w0, w1, w2;
  w2.SetLogMsg(3, 5);
  const int rows[] = {100, 80};
  w0.AllLogMsgPrint(0);
  w1.AllLogMsgPrint(rows[0]);
  w2.AllLogMsgPrint(rows[0] + rows[1]);
  EXPECT_EQ(Lines(), std::vector<std::string>{"DATA PARSE ERROR \t\t @ Row = 185 "});
}

TEST_F(CatalogLog, EmptyRecordLeavesTheLogUntouched) {
  CatalogErrorInfo info;
  info.AllLogMsgPrint(7);
  EXPECT_FALSE(std::filesystem::exists(path_));
}

// A code the table does not know prints nothing, and the entries after it still print.
TEST_F(CatalogLog, UnknownCodeIsSkippedNotMisread) {
  CatalogErrorInfo info;
  info.SetLogMsg(9, 1, 2, 3);
  info.SetLogMsg(0, 1);
  info.SetLogMsg(3, 2);
  info.AllLogMsgPrint(0);
  EXPECT_EQ(Lines(), std::vector<std::string>{"DATA PARSE ERROR \t\t @ Row = 2 "});
}

// Entries that do not fit a block continue in a new one; all print, oldest first.
TEST_F(CatalogLog, EntriesSpanBlocksInOrder) {
  CatalogErrorInfo info;
  const std::string text(1000, 'x');
  const int n = 40;  // about 1 KB each: four blocks
  for (int i = 1; i <= n; ++i) info.SetLogMsg(4, "F", text.c_str(), i, 1);
  EXPECT_GE(info.BlockCount(), 4);
  EXPECT_EQ(info.CurrentBlock(), info.BlockCount() - 1);
  EXPECT_EQ(info.EntryCount(), n);
  for (int b = 0; b < info.BlockCount(); ++b) {
    EXPECT_LT(info.BlockAt(b).used, CatalogErrorInfo::kAreaBytes);
  }
  info.AllLogMsgPrint(0);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(static_cast<int>(lines.size()), n);
  for (int i = 1; i <= n; ++i) {
    EXPECT_EQ(lines[static_cast<size_t>(i - 1)], "DATA ERROR \t\t----->\t[F] = \"" + text +
                                                     "\"  \t@ Row = " + std::to_string(i) + " , Col = 1 ");
  }
}

// The stored layout: size, code, texts with their NULs, integers little-endian.
TEST(CatalogErrorInfo, EntryLayout) {
  CatalogErrorInfo info;
  info.SetLogMsg(4, "AB", "x", 0x01020304, 2);
  info.SetLogMsg(1, 9, "f");
  const unsigned char want4[] = {21, 0, 0, 0, 4, 0, 0, 0, 'A', 'B', 0, 'x', 0, 4, 3, 2, 1, 2, 0, 0, 0};
  const unsigned char want1[] = {14, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 'f', 0};
  const CatalogErrorInfo::Block& b = info.BlockAt(0);
  ASSERT_EQ(b.count, 2u);
  // 8 + name 3 + text 2 + 8 = 21, then the code-1 entry.
  ASSERT_EQ(b.used, 21u + 14u);
  EXPECT_EQ(0, memcmp(b.area, want4, sizeof want4));
  EXPECT_EQ(0, memcmp(b.area + 21, want1, sizeof want1));

  const char* name = nullptr;
  const char* text = nullptr;
  int row = 0, col = 0;
  CatalogErrorInfo::GetErrorMsgDetails(b.area, &name, &text, &row, &col);
  EXPECT_STREQ(name, "AB");
  EXPECT_STREQ(text, "x");
  EXPECT_EQ(row, 0x01020304);
  EXPECT_EQ(col, 2);
}

// A text of any length is kept short enough for its entry to fit one block.
TEST(CatalogErrorInfo, LongTextsAreCutToFitABlock) {
  CatalogErrorInfo info;
  const std::string huge(3 * CatalogErrorInfo::kAreaBytes, 'y');
  info.SetLogMsg(4, huge.c_str(), huge.c_str(), 1, 1);
  info.SetLogMsg(1, 2, huge.c_str());
  EXPECT_EQ(info.EntryCount(), 2);
  const char* name = nullptr;
  const char* text = nullptr;
  int row = 0, col = 0;
  CatalogErrorInfo::GetErrorMsgDetails(info.BlockAt(0).area, &name, &text, &row, &col);
  EXPECT_EQ(strlen(name), CatalogErrorInfo::kMaxTextBytes - 1);
  EXPECT_EQ(strlen(text), CatalogErrorInfo::kMaxTextBytes - 1);
  EXPECT_EQ(row, 1);
}

}  // namespace
