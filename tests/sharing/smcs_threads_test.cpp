// The registry's locks used by several threads of one process: the SMCS lock excludes them from
// each other, a waiting thread does not block the holder's release, and entry access guards the
// owner fields.
#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "smcs_support.h"

namespace {

using smcs_test::RegistryTest;

// Runs body on `threads` threads released at once, and waits for them all.
template <class Body>
void RunTogether(int threads, Body body) {
  std::latch start(threads);
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    running.emplace_back([&] {
      start.arrive_and_wait();
      body();
    });
  }
  for (auto& t : running) t.join();
}

class LockThreads : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    ASSERT_EQ(initLockSMCS(), 0);
  }
};

// A plain counter changed only under the SMCS lock: a lost update, or a race the detector sees,
// means the lock let two threads in.
TEST_F(LockThreads, SMCSLockExcludesThreads) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  int counter = 0;
  std::atomic<int> failures{0};
  RunTogether(kThreads, [&] {
    for (int i = 0; i < kRounds; ++i) {
      if (lockSMCS(kLockWait) != 0) {
        ++failures;
        continue;
      }
      ++counter;
      if (unlockSMCS() != 0) ++failures;
    }
  });
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(counter, kThreads * kRounds);
  EXPECT_EQ(isSMCSLocked(), 0);
}

// One thread waits for the lock while another holds it; the holder's release must get through.
TEST_F(LockThreads, WaiterDoesNotBlockTheRelease) {
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  std::latch waiting(1);
  std::atomic<int> got{-1};
  std::thread waiter([&] {
    waiting.count_down();
    got = lockSMCS(kLockWait);
    if (got == 0) unlockSMCS();
  });
  waiting.wait();
  // Blocked in the kernel, not only started.
  ASSERT_TRUE(smcs_test::Eventually([] { return smcs_test::Blocked(0) == 1; }));
  EXPECT_EQ(unlockSMCS(), 0);
  waiter.join();
  EXPECT_EQ(got.load(), 0);
}

// Entry access guards the owner: threads taking and releasing one entry's lock with the no-wait
// mode never see it half-changed, and it ends free.
TEST_F(LockThreads, EntryOwnerChangesUnderEntryAccess) {
  ASSERT_EQ(createSMCS(1, &TheLSMCS), 0);
  SaveTable("E", 2);
  SHMTBLEntry* entry = nullptr;
  ASSERT_EQ(createSHMTBLEntry(TheLSMCS.smcs, "E.Q7T", "E", dir_.Dir().c_str(), &entry), 0);
  constexpr int kThreads = 4;
  std::atomic<int> taken{0};
  std::atomic<int> failures{0};
  RunTogether(kThreads, [&] {
    for (int i = 0; i < 50; ++i) {
      const int rc = lockSHMTBLEntry(entry, kLockNoWait);
      if (rc == Q7_ERROR_SEM_BUSY) continue;  // another thread of this process holds it
      if (rc != 0) {
        ++failures;
        continue;
      }
      ++taken;
      if (!isSHMTBLEntryLocked(entry)) ++failures;
      if (unlockSHMTBLEntry(entry) != 0) ++failures;
    }
  });
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(taken.load(), 0);
  EXPECT_EQ(entry->owner, -1);
}

}  // namespace
