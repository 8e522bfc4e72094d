// The history log's outputs and the catalog message log's banner, files and failures.
#include <gtest/gtest.h>

#include <string>

#include "foundation/CErrorLog.h"
#include "foundation/HistoryLog.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

using q7test::CodeOf;
using q7test::ReadAll;
using q7test::TempDir;

// Replaces the ctime text after "dated : " (24 characters and its line break) by "<date>", after
// checking its shape, so that whole files can be compared.
std::string StripDate(const std::string& text) {
  const size_t at = text.find("dated : ");
  if (at == std::string::npos) return text;
  const size_t from = at + 8;
  const size_t nl = text.find('\n', from);
  if (nl == std::string::npos || nl - from != 24 || text[from + 3] != ' ' || text[from + 13] != ':') {
    return text;
  }
  return text.substr(0, from) + "<date>" + text.substr(nl + 1);
}

const std::string kHistoryBanner = "/" + std::string(58, '*') +
                                   " \t\t\t\t\t\t\t \n\tLogFile for Qz7Engine\n\tdated : <date>" +
                                   "    \t\t\t\t\t\t\t \n" + std::string(59, '*') + "/\n\n";

std::string CatalogBanner(const std::string& name) {
  return "/" + std::string(83, '*') + " \t\t\t\t\t\t\t \n\t\t\tErrorLog  " + name +
         "  \n\t\t\tdated : <date>" + "    \t\t\t\t\t\t\t \n" + std::string(84, '*') + "/\n\n";
}

// Runs with the history output option and directory given, restoring both afterwards.
class HistoryScope {
 public:
  HistoryScope(int option, const std::string& dir) : saved_(gLogOutOption), saved_path_(GetHistoryLogPath()) {
    gLogOutOption = option;
    SetHistoryLogDirectory(dir.c_str());
  }
  ~HistoryScope() {
    gLogOutOption = saved_;
    const std::string suffix = "/rafohist.log";
    if (saved_path_.size() > suffix.size()) {
      SetHistoryLogDirectory(saved_path_.substr(0, saved_path_.size() - suffix.size()).c_str());
    }
  }

 private:
  int saved_;
  std::string saved_path_;
};

// Points the catalog message log at a file of a temporary directory and restores it.
class CatalogLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LOGOBJ->getFileName(saved_);
    path_ = dir_.File("catalog_err_log.txt");
    LOGOBJ->setFileName(path_.c_str());
    CErrorLog::isBegin = true;
  }
  void TearDown() override { LOGOBJ->setFileName(saved_); }

  TempDir dir_;
  std::string path_;
  char saved_[CErrorLog::kFileNameSize];
};

TEST(HistoryLog, OptionZeroWritesNothing) {
  TempDir dir;
  HistoryScope scope(0, dir.Dir());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  LOG_Create("nothing %d", 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("rafohist.log")));
}

TEST(HistoryLog, StandardStreams) {
  TempDir dir;
  {
    HistoryScope scope(1, dir.Dir());
    testing::internal::CaptureStdout();
    LOG_Create("to %s", "stdout");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "to stdout\n");
  }
  {
    HistoryScope scope(2, dir.Dir());
    testing::internal::CaptureStderr();
    LOG_Create("to %s", "stderr");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("rafohist.log")));
}

// The only test of this binary that writes the history file: the banner comes once per process.
TEST(HistoryLog, FileGetsOneBannerThenAppends) {
  TempDir dir;
  HistoryScope scope(3, dir.Dir());
  EXPECT_EQ(std::string(GetHistoryLogPath()), dir.File("rafohist.log"));
  LOG_Create("first %d", 1);
  const std::string long_text(600, 'L');
  LOG_Create("%s", long_text.c_str());
  const std::string text = ReadAll(dir.File("rafohist.log"));
  EXPECT_EQ(StripDate(text), kHistoryBanner + "first 1\n" + std::string(499, 'L') + "\n");
}

TEST(HistoryLog, DirectoryTooLongLeavesNoFile) {
  const std::string saved = GetHistoryLogPath();
  EXPECT_EQ(SetHistoryLogDirectory(std::string(600, 'd').c_str()), -1);
  EXPECT_STREQ(GetHistoryLogPath(), "");
  EXPECT_EQ(SetHistoryLogDirectory(nullptr), -1);
  if (!saved.empty()) SetHistoryLogDirectory(saved.substr(0, saved.size() - 13).c_str());
}

TEST(HistoryLog, MessageToAGivenFile) {
  TempDir dir;
  const std::string path = dir.File("given.log");
  Log_message("", "ignored");
  Log_message(path.c_str(), "one %d", 1);
  Log_message(path.c_str(), "two");
  EXPECT_EQ(StripDate(ReadAll(path)), CatalogBanner(path) + "one 1\ntwo\n");
  // A null path clears the first-use flag: a new file starts without a banner.
  Log_message(nullptr, "x");
  const std::string other = dir.File("other.log");
  Log_message(other.c_str(), "three");
  EXPECT_EQ(ReadAll(other), "three\n");
}

TEST_F(CatalogLogTest, TwoMessagesOneBanner) {
  LogMsg("line %d", 1);
  LogMsg("line %s", "two");
  EXPECT_EQ(StripDate(ReadAll(path_)), CatalogBanner(path_) + "line 1\nline two\n");
  EXPECT_FALSE(CErrorLog::isBegin);
}

TEST_F(CatalogLogTest, FailureReleasesTheLog) {
  const std::string bad = dir_.File("missing/dir/log.txt");
  LOGOBJ->setFileName(bad.c_str());
  EXPECT_EQ(CodeOf([] { LogMsg("lost"); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(CodeOf([] { LOGOBJ->recordMesg("lost"); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(CodeOf([] { LOGOBJ->fopen(); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  LOGOBJ->fclose();  // after a failed fopen: nothing to release
  LOGOBJ->setFileName(path_.c_str());
  LogMsg("kept");  // the mutex can be taken again
  const std::string text = ReadAll(path_);
  EXPECT_EQ(text.substr(text.size() - 5), "kept\n");
}

TEST_F(CatalogLogTest, OpenAcrossCalls) {
  EXPECT_EQ(CodeOf([] { LogMsg2("no fopen"); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  LOGOBJ->fclose();  // without fopen: does nothing
  LOGOBJ->fopen();
  LogMsg2("a %d", 1);
  LOGOBJ->recordMesg2("b");
  LogMsg("c");  // from the holder: into the open file, without deadlock
  LOGOBJ->fclose();
  LogMsg("d");
  EXPECT_EQ(StripDate(ReadAll(path_)), CatalogBanner(path_) + "a 1\nb\nc\nd\n");
}

}  // namespace
