// Saves and exports killed before their rename leave their temporary file ("<target>.<pid>.<n>.tmp"),
// an export its part files too ("<target>.<pid>.<n>.prf"); the next save or export of the same
// target removes them. The killed save runs in a child that re-executes this binary
// for that one case and kills itself with SIGKILL as soon as its temporary file exists.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;

// The parent's scratch directory, handed to the re-executed child through the environment.
constexpr char kDirVariable[] = "Q7_KILLED_SAVES_DIR";

std::vector<std::string> TempFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;  // a save may rename its file away meanwhile
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    const bool aside = name.size() > 4 && (name.compare(name.size() - 4, 4, ".tmp") == 0 ||
                                           name.compare(name.size() - 4, 4, ".prf") == 0);
    if (aside) names.push_back(name);
  }
  return names;
}

// Saves again and again; a watcher kills the whole process the moment a temporary file exists.
[[noreturn]] void SaveUntilKilled(const std::string& dir, const std::function<int()>& save) {
  std::thread([dir] {
    for (;;) {
      if (!TempFiles(dir).empty()) kill(getpid(), SIGKILL);
    }
  }).detach();
  for (;;) save();
}

class KilledSaves : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* inherited = getenv(kDirVariable);
    parent_ = inherited == nullptr;
    if (parent_) {
      own_dir_ = std::make_unique<q7host::TempDir>();
      ASSERT_TRUE(own_dir_->ok());
      dir_ = own_dir_->path();
      setenv(kDirVariable, dir_.c_str(), 1);
    } else {
      dir_ = inherited;
    }
    ASSERT_EQ(RQ7ClearDB(), 0);
    // Large enough that a save takes a while: the watcher finds it writing.
    table_ = q7host::AddTable("big", kRows);
    ASSERT_GT(table_, 0);
    std::vector<int32_t> values(kRows);
    for (int i = 0; i < kRows; ++i)
      values[static_cast<size_t>(i)] = static_cast<int32_t>(int64_t{i} * 7919 % 100003);
    ASSERT_GT(q7host::AddIntColumn(table_, "v", values), 0);
    DrainRing();
  }
  void TearDown() override {
    if (parent_) unsetenv(kDirVariable);
    RQ7ClearDB();
    DrainRing();
  }

  // Kills saves in children until one leaves its temporary file (a kill can land between two saves);
  // the names of the temporary files left.
  std::vector<std::string> KillASave(const std::function<int()>& save) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      EXPECT_EXIT(SaveUntilKilled(dir_, save), ::testing::KilledBySignal(SIGKILL), "");
      std::vector<std::string> left = TempFiles(dir_);
      if (!left.empty()) return left;
    }
    ADD_FAILURE() << "no killed save left its temporary file";
    return {};
  }

  void ExpectNextSaveRemovesWhatAKilledOneLeft(const std::string& target, const std::function<int()>& save) {
    const std::vector<std::string> left = KillASave(save);
    ASSERT_FALSE(left.empty());
    for (const std::string& name : left) EXPECT_EQ(name.rfind(target + ".", 0), 0u) << name;
    ASSERT_EQ(save(), 0);
    EXPECT_TRUE(TempFiles(dir_).empty());
  }

  static constexpr int kRows = 400000;
  std::unique_ptr<q7host::TempDir> own_dir_;  // the parent's only: a killed child removes nothing
  std::string dir_;
  bool parent_ = true;
  int table_ = 0;
};

// One road per test: the child re-runs the test up to its own kill, and must find the directory as
// the parent did at that point.
TEST_F(KilledSaves, NextDatabaseSaveRemovesWhatAKilledOneLeft) {
  ExpectNextSaveRemovesWhatAKilledOneLeft("db.Q7D", [&] { return RQ7SaveDBAs(dir_.c_str(), "db"); });
}

TEST_F(KilledSaves, NextTableFileSaveRemovesWhatAKilledOneLeft) {
  ExpectNextSaveRemovesWhatAKilledOneLeft("big.Q7T",
                                          [&] { return RQ7SaveRealTableAs(dir_.c_str(), "big", table_); });
}

TEST_F(KilledSaves, NextExportRemovesWhatAKilledOneLeft) {
  std::ofstream(dir_ + "/out.csv") << "an old file\n";
  ExpectNextSaveRemovesWhatAKilledOneLeft(
      "out.csv", [&] { return RQ7ExportAsCSV(table_, -1, nullptr, -1, -1, '/', dir_.c_str(), "out.csv"); });
}

TEST_F(KilledSaves, TemporaryFilesOfRunningSavesAndOtherTargetsStay) {
  // A process that runs (this one's child, stopped until the end) and one that has ended.
  const pid_t running = fork();
  ASSERT_GE(running, 0);
  if (running == 0) {
    pause();
    _exit(0);
  }
  const pid_t ended = fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);

  auto make = [&](const std::string& name) { std::ofstream(dir_ + "/" + name) << "partial"; };
  const std::string live = "db.Q7D." + std::to_string(running) + ".0.tmp";
  const std::string dead = "db.Q7D." + std::to_string(ended) + ".3.tmp";
  const std::string other_target = "other.Q7D." + std::to_string(ended) + ".0.tmp";
  const std::string not_a_temp = "db.Q7D." + std::to_string(ended) + ".tmp";
  for (const std::string& name : {live, dead, other_target, not_a_temp}) make(name);
  std::vector<std::string> stay = {live, other_target, not_a_temp};
  if (geteuid() == 0) {
    // A file of another user stays whatever its process: only its owner knows.
    const std::string foreign = "db.Q7D." + std::to_string(ended) + ".4.tmp";
    make(foreign);
    ASSERT_EQ(chown((dir_ + "/" + foreign).c_str(), 4242, 4242), 0);
    stay.push_back(foreign);
  }

  ASSERT_EQ(RQ7SaveDBAs(dir_.c_str(), "db"), 0);
  kill(running, SIGKILL);
  waitpid(running, nullptr, 0);
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/" + dead));
  for (const std::string& name : stay) EXPECT_TRUE(std::filesystem::exists(dir_ + "/" + name)) << name;
  EXPECT_EQ(RQ7LoadDB(dir_.c_str(), "db"), 0);
}

}  // namespace
