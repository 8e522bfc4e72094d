// The catalog and history logs under concurrent writers: every line comes out whole.
#include <gtest/gtest.h>

#include <latch>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/CErrorLog.h"
#include "foundation/HistoryLog.h"
#include "tests/support/test_support.h"

namespace {

using q7test::ReadAll;
using q7test::TempDir;

constexpr int kThreads = 4;
constexpr int kLinesPerThread = 100;

// The lines after the banner (which ends with two line breaks).
std::vector<std::string> BodyLines(const std::string& text) {
  const size_t start = text.find("*/\n\n");
  EXPECT_NE(start, std::string::npos);
  std::vector<std::string> lines;
  std::istringstream in(text.substr(start + 4));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Every line must be one thread's letter repeated `length` times: a torn or mixed line fails.
void ExpectWholeLines(const std::vector<std::string>& lines, size_t length) {
  std::map<char, int> per_thread;
  for (const auto& line : lines) {
    ASSERT_EQ(line.size(), length);
    ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos) << line.substr(0, 40);
    ++per_thread[line[0]];
  }
  ASSERT_EQ(per_thread.size(), static_cast<size_t>(kThreads));
  for (const auto& [letter, count] : per_thread) EXPECT_EQ(count, kLinesPerThread) << letter;
}

template <class Body>
void RunTogether(Body body) {
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      body(t);
    });
  }
  for (auto& th : threads) th.join();
}

class CatalogLogThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    LOGOBJ->getFileName(saved_);
    path_ = dir_.File("catalog_err_log.txt");
    LOGOBJ->setFileName(path_.c_str());
    LOGOBJ->mutex_lock();
    CErrorLog::isBegin = true;
    LOGOBJ->mutex_unlock();
  }
  void TearDown() override { LOGOBJ->setFileName(saved_); }

  TempDir dir_;
  std::string path_;
  char saved_[CErrorLog::kFileNameSize];
};

TEST_F(CatalogLogThreads, ConcurrentLogMsgLinesComeOutWhole) {
  const size_t kLength = 5000;  // longer than a stdio buffer's worth of interleaving chances
  RunTogether([&](int t) {
    const std::string text(kLength, static_cast<char>('A' + t));
    for (int i = 0; i < kLinesPerThread; ++i) LogMsg("%s", text.c_str());
  });
  ExpectWholeLines(BodyLines(ReadAll(path_)), kLength);
}

TEST_F(CatalogLogThreads, OpenAcrossCallsKeepsEachRunTogether) {
  RunTogether([&](int t) {
    LOGOBJ->fopen();
    for (int i = 0; i < kLinesPerThread; ++i) LogMsg2("%c%04d", 'a' + t, i);
    LOGOBJ->fclose();
  });
  const auto lines = BodyLines(ReadAll(path_));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesPerThread));
  for (size_t run = 0; run < lines.size(); run += kLinesPerThread) {
    for (int i = 0; i < kLinesPerThread; ++i) {
      char want[16];
      snprintf(want, sizeof want, "%c%04d", lines[run][0], i);
      ASSERT_EQ(lines[run + static_cast<size_t>(i)], want);
    }
  }
}

TEST(HistoryLogThreads, ConcurrentLinesComeOutWhole) {
  TempDir dir;
  const int saved = gLogOutOption;
  const std::string saved_path = GetHistoryLogPath();
  gLogOutOption = 3;
  SetHistoryLogDirectory(dir.Dir().c_str());
  const size_t kLength = 400;  // below the 499-character cut
  RunTogether([&](int t) {
    const std::string text(kLength, static_cast<char>('A' + t));
    for (int i = 0; i < kLinesPerThread; ++i) LOG_Create("%s", text.c_str());
  });
  gLogOutOption = saved;
  if (!saved_path.empty()) SetHistoryLogDirectory(saved_path.substr(0, saved_path.size() - 13).c_str());
  ExpectWholeLines(BodyLines(ReadAll(dir.File("rafohist.log"))), kLength);
}

}  // namespace
