// Helpers of the shared-table registry tests: a fixture that gives the test a shared-memory object
// name and a semaphore key of its own process (so that runs on one machine never meet) and removes
// both at the end whatever happened, a saved table file to register, and child processes.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/LSHMTBLEntry.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "sharing/SMCS.h"
#include "sharing/SMCSLock.h"
#include "tests/foundation/shm_test_support.h"
#include "tests/support/test_support.h"

namespace smcs_test {

// A forked child running body; its exit status is body's result (255 when it throws). The child
// ends with _exit, so nothing of the test framework runs twice. Killed and reaped when the object
// goes before it was waited for.
class Child {
 public:
  explicit Child(const std::function<int()>& body) {
    pid_ = fork();
    if (pid_ == 0) {
      int rc = 255;
      try {
        rc = body();
      } catch (...) {
      }
      _exit(rc);
    }
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // The exit status; -1 when the child was killed by a signal.
  int Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // SIGKILL and reap: after this no process has the child's id until the system reuses it.
  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// A one-way channel for a few bytes between a parent and its child.
using shm_test::Pipe;

// Polls until pred holds, at most about five seconds: for one process watching another, where no
// latch can be shared.
inline bool Eventually(const std::function<bool()>& pred) {
  for (int i = 0; i < 5000; ++i) {
    if (pred()) return true;
    usleep(1000);
  }
  return pred();
}

// The number of processes blocked on semaphore number of this process's set.
inline int Blocked(int number) { return semctl(SMCSSemId(), number, GETNCNT); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    ++serial;
    char name[64];
    snprintf(name, sizeof name, "/q7test_smcs_%d_%d", static_cast<int>(getpid()), serial);
    object_name_ = name;
    // A key of this process and test: pid * 16 + serial, above the keys anything else uses here.
    sem_key_ = static_cast<key_t>(0x30000000 + (static_cast<int>(getpid()) % 0x800000) * 16 + serial % 16);
    // The names in use before (the test main's, never the machine's) come back at the end.
    snprintf(previous_object_name_, sizeof previous_object_name_, "%s", SMCSObjectName());
    previous_sem_key_ = SMCSSemKey();
    SetSMCSNamesForTest(object_name_.c_str(), sem_key_);
    constructorLockSMCS();
    initLSMCS(&TheLSMCS, nullptr);
    RegisterSharedTableRegistryHooks();
  }
  void TearDown() override {
    db_.reset();  // tables detach while the registry still exists
    if (TheLSMCS.smcs != nullptr) invalidateSMCS(&TheLSMCS);
    shm_unlink(object_name_.c_str());
    termLockSMCS();
    SetSharedTableRegistryHooks(SharedTableRegistryHooks{});
    SetSMCSNamesForTest(previous_object_name_, previous_sem_key_);
    initLSMCS(&TheLSMCS, nullptr);
  }

  // Registry set up as a starting process does it: semaphores and an empty structure of n entries.
  void SetUpRegistry(int n) {
    ASSERT_EQ(initLockSMCS(), 0);
    ASSERT_EQ(createSMCS(n, &TheLSMCS), 0);
  }
  SMCS* Smcs() { return TheLSMCS.smcs; }

  // Saves a real table of `rows` rows and one INTEGER column "n" (values 1..rows) as
  // dir/<name>.Q7T; the file's path.
  std::string SaveTable(const std::string& name, int rows) {
    if (!db_) db_ = std::make_unique<TTableCollection>();
    std::vector<char> table_name(name.begin(), name.end());
    table_name.push_back('\0');
    const int id = db_->AddRealTable(table_name.data(), rows);
    EXPECT_GT(id, 0);
    std::vector<int32_t> values(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) values[static_cast<size_t>(i)] = i + 1;
    char column[] = "n";
    auto* table = static_cast<TRealTable*>(db_->GetTable(id));
    EXPECT_GT(table->AddFilter2(1024, column, Q7_TYPE_INTEGER, rows, 4, values.data(), 0, -1), 0);
    char dir[TTableCollection::kPathSize] = {};
    snprintf(dir, sizeof dir, "%s", dir_.Dir().c_str());
    EXPECT_EQ(db_->SaveRealTable(dir, id), 0);
    EXPECT_EQ(db_->DelTable(id), 0);
    return dir_.File(name + ".Q7T");
  }

  // Registers dir/file under table; the entry (null on failure, with the test failed).
  SHMTBLEntry* Register(const std::string& file, const std::string& table) {
    SHMTBLEntry* entry = nullptr;
    EXPECT_EQ(createSHMTBLEntry(Smcs(), file.c_str(), table.c_str(), dir_.Dir().c_str(), &entry), 0) << table;
    return entry;
  }

  q7test::RingScope ring_;
  q7test::TempDir dir_;
  std::unique_ptr<TTableCollection> db_;
  std::string object_name_;
  key_t sem_key_ = 0;
  char previous_object_name_[64] = {};
  key_t previous_sem_key_ = 0;
};

}  // namespace smcs_test
