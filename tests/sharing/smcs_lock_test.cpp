// The registry's locks between processes: the SMCS lock, entry locks with their waiters, owners
// that die holding a lock, and a semaphore set removed under a running process.
#include <sys/sem.h>

#include <memory>
#include <string>

#include "smcs_support.h"

namespace {

using smcs_test::Blocked;
using smcs_test::Child;
using smcs_test::Eventually;
using smcs_test::Pipe;
using smcs_test::RegistryTest;

class LockTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    SetUpRegistry(2);
    SaveTable("L", 4);
    entry_ = Register("L.Q7T", "L");
    ASSERT_NE(entry_, nullptr);
  }
  SHMTBLEntry* entry_ = nullptr;
};

constexpr int kSemSMCSNumber = 0;
constexpr int kSemQueueNumber = 2;

TEST_F(LockTest, SetIsInitialisedAndCreatedOnce) {
  EXPECT_TRUE(isSemaphoreAccessible());
  EXPECT_EQ(semctl(SMCSSemId(), 0, GETVAL), 1);
  EXPECT_EQ(semctl(SMCSSemId(), 1, GETVAL), 1);
  EXPECT_EQ(semctl(SMCSSemId(), 2, GETVAL), 0);
  EXPECT_EQ(initLockSMCS(), kSemSetExists);
  // Another process finds the set by its key.
  Child child([] {
    constructorLockSMCS();
    if (isSemaphoreAccessible()) return 1;
    if (openLockQ7TSEM() != 0 || !isSemaphoreAccessible()) return 2;
    return lockSMCS(kLockNoWait) == 0 && unlockSMCS() == 0 ? 0 : 3;
  });
  EXPECT_EQ(child.Wait(), 0);
}

TEST_F(LockTest, SMCSLockModesAndCount) {
  EXPECT_EQ(lockSMCS(2), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(lockSMCS(-1), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(unlockSMCS(), Q7_ERROR_INVALID_OPERATION);  // nothing held: the semaphore stays 1
  EXPECT_EQ(semctl(SMCSSemId(), 0, GETVAL), 1);
  EXPECT_EQ(isSMCSLocked(), 0);
  ASSERT_EQ(lockSMCS(kLockNoWait), 0);
  EXPECT_EQ(isSMCSLocked(), 1);
  EXPECT_EQ(lockSMCS(kLockNoWait), Q7_ERROR_SEM_BUSY);
  EXPECT_EQ(isSMCSLocked(), 1);
  Child other([] { return lockSMCS(kLockNoWait) == Q7_ERROR_SEM_BUSY ? 0 : 1; });
  EXPECT_EQ(other.Wait(), 0);
  ASSERT_EQ(unlockSMCS(), 0);
  EXPECT_EQ(isSMCSLocked(), 0);
}

// A process that waits for the SMCS lock gets it when the holder gives it back.
TEST_F(LockTest, SMCSLockWaiterGetsItOnRelease) {
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  Child child([] {
    if (lockSMCS(kLockWait) != 0) return 1;
    return unlockSMCS() == 0 ? 0 : 2;
  });
  ASSERT_TRUE(Eventually([] { return Blocked(kSemSMCSNumber) == 1; }));
  ASSERT_EQ(unlockSMCS(), 0);
  EXPECT_EQ(child.Wait(), 0);
}

// The kernel gives the SMCS lock back when its holder dies: the registry is not lost with it.
TEST_F(LockTest, SMCSLockOfADeadProcessIsReturned) {
  Pipe to_parent;
  Child child([&] {
    if (lockSMCS(kLockWait) != 0) return 1;
    to_parent.Send('l');
    pause();
    return 0;
  });
  ASSERT_EQ(to_parent.Receive(), 'l');
  EXPECT_EQ(lockSMCS(kLockNoWait), Q7_ERROR_SEM_BUSY);
  child.Kill();
  EXPECT_EQ(lockSMCS(kLockNoWait), 0);
  EXPECT_EQ(unlockSMCS(), 0);
}

TEST_F(LockTest, EntryLockIsOwnedByItsProcess) {
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  EXPECT_FALSE(isSHMTBLEntryLocked(entry_));
  ASSERT_EQ(lockSHMTBLEntry(entry_, kLockNoWait), 0);
  EXPECT_TRUE(isSHMTBLEntryLocked(entry_));
  EXPECT_EQ(entry_->owner, getpid());
  EXPECT_EQ(entry_->ownerStampSec, entry_->stampSec);
  EXPECT_EQ(entry_->ownerStampUsec, entry_->stampUsec);
  // Another process sees it busy, and cannot release it.
  Child child([this] {
    if (isSHMTBLEntryLocked(entry_)) return 1;
    if (lockSMCS(kLockNoWait) != Q7_ERROR_SEM_BUSY) return 2;  // we hold the SMCS lock
    if (lockSHMTBLEntry(entry_, kLockNoWait) != Q7_ERROR_SEM_BUSY) return 3;
    if (lockSHMTBLEntry(entry_, 7) != Q7_ERROR_INVALID_PARAMETER) return 4;
    return unlockSHMTBLEntry(entry_) == kEntryLockNotOwner ? 0 : 5;
  });
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(unlockSHMTBLEntry(entry_), 0);
  EXPECT_EQ(entry_->owner, -1);
  EXPECT_EQ(entry_->ownerStampSec, -1);
  EXPECT_FALSE(isSHMTBLEntryLocked(entry_));
  ASSERT_EQ(unlockSMCS(), 0);
}

// An entry removed (or reused) since its lock was taken: the release changes nothing.
TEST_F(LockTest, ReleaseOfAnOtherGenerationChangesNothing) {
  ASSERT_EQ(lockSHMTBLEntry(entry_, kLockNoWait), 0);
  entry_->stampUsec += 1;  // as a new registration in the slot would
  const int32_t owner = entry_->owner;
  EXPECT_EQ(unlockSHMTBLEntry(entry_), 0);
  EXPECT_EQ(entry_->owner, owner);
  entry_->stampUsec -= 1;
  EXPECT_EQ(unlockSHMTBLEntry(entry_), 0);
  EXPECT_EQ(entry_->owner, -1);
}

// Two processes lock the same entry waiting: the second waits (without the SMCS lock, so others
// can use the registry) until the first releases, then gets the lock.
TEST_F(LockTest, WaitingLockerGetsTheEntryOnRelease) {
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  ASSERT_EQ(lockSHMTBLEntry(entry_, kLockWait), 0);
  ASSERT_EQ(unlockSMCS(), 0);
  Pipe to_parent, to_child;
  Child child([&] {
    if (lockSMCS(kLockWait) != 0) return 1;
    if (lockSHMTBLEntry(entry_, kLockWait) != 0) return 2;
    if (isSMCSLocked() != 1 || entry_->owner != getpid()) return 3;
    to_parent.Send('g');
    if (to_child.Receive() != 'r') return 4;
    if (unlockSHMTBLEntry(entry_) != 0) return 5;
    return unlockSMCS() == 0 ? 0 : 6;
  });
  ASSERT_TRUE(Eventually([] { return Blocked(kSemQueueNumber) == 1; }));
  // The waiter gave the SMCS lock back while it waits.
  ASSERT_EQ(lockSMCS(kLockNoWait), 0);
  ASSERT_EQ(unlockSMCS(), 0);
  EXPECT_EQ(entry_->owner, getpid());
  ASSERT_EQ(unlockSHMTBLEntry(entry_), 0);
  ASSERT_EQ(to_parent.Receive(), 'g');
  EXPECT_EQ(entry_->owner, child.Pid());
  EXPECT_FALSE(isSHMTBLEntryLocked(entry_));
  to_child.Send('r');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(entry_->owner, -1);
}

// Several waiters: each gets the lock in turn, none is lost.
TEST_F(LockTest, EveryWaiterGetsTheEntryInTurn) {
  ASSERT_EQ(lockSHMTBLEntry(entry_, kLockNoWait), 0);
  constexpr int kWaiters = 3;
  std::vector<std::unique_ptr<Child>> children;
  for (int i = 0; i < kWaiters; ++i) {
    children.push_back(std::make_unique<Child>([this] {
      if (lockSMCS(kLockWait) != 0) return 1;
      if (lockSHMTBLEntry(entry_, kLockWait) != 0) return 2;
      if (entry_->owner != getpid()) return 3;
      ++entry_->reserved;  // under the entry lock: a count no two holders change at once
      if (unlockSHMTBLEntry(entry_) != 0) return 4;
      return unlockSMCS() == 0 ? 0 : 5;
    }));
  }
  ASSERT_TRUE(Eventually([] { return Blocked(kSemQueueNumber) == kWaiters; }));
  ASSERT_EQ(unlockSHMTBLEntry(entry_), 0);
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);
  EXPECT_EQ(entry_->reserved, kWaiters);
  EXPECT_EQ(entry_->owner, -1);
}

// An owner killed while it holds the entry lock: the next locker takes it over at once, and a
// process already waiting for it gets it too.
TEST_F(LockTest, LockOfAKilledOwnerIsTakenOver) {
  for (const bool waiter_first : {false, true}) {
    SCOPED_TRACE(waiter_first ? "waiting" : "new locker");
    Pipe to_parent;
    auto owner = std::make_unique<Child>([&] {
      if (lockSMCS(kLockWait) != 0 || lockSHMTBLEntry(entry_, kLockNoWait) != 0) return 1;
      unlockSMCS();
      to_parent.Send('o');
      pause();
      return 0;
    });
    ASSERT_EQ(to_parent.Receive(), 'o');
    const pid_t dead = owner->Pid();
    EXPECT_EQ(entry_->owner, dead);
    if (!waiter_first) {
      owner->Kill();  // reaped: the id names no process now
      ASSERT_EQ(lockSMCS(kLockWait), 0);
      EXPECT_EQ(lockSHMTBLEntry(entry_, kLockNoWait), 0);
      EXPECT_EQ(entry_->owner, getpid());
      EXPECT_EQ(unlockSHMTBLEntry(entry_), 0);
      ASSERT_EQ(unlockSMCS(), 0);
      continue;
    }
    Child waiter([this] {
      if (lockSMCS(kLockWait) != 0) return 1;
      if (lockSHMTBLEntry(entry_, kLockWait) != 0) return 2;
      const bool mine = entry_->owner == getpid();
      unlockSHMTBLEntry(entry_);
      unlockSMCS();
      return mine ? 0 : 3;
    });
    ASSERT_TRUE(Eventually([] { return Blocked(kSemQueueNumber) == 1; }));
    owner->Kill();  // it never releases: the waiter must notice by itself
    EXPECT_EQ(waiter.Wait(), 0);
    EXPECT_EQ(entry_->owner, -1);
  }
}

// The set removed under a running process: the next lock reports that no registry is set up, and
// works again once a new set exists.
TEST_F(LockTest, RemovedSetIsFoundAgainAfterANewSetup) {
  Child remover([] { return termLockSMCS() == 0 ? 0 : 1; });
  ASSERT_EQ(remover.Wait(), 0);
  EXPECT_TRUE(isSemaphoreAccessible());  // this process has not noticed yet
  EXPECT_EQ(lockSMCS(kLockNoWait), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(isSMCSLocked(), 0);
  Child maker([] { return initLockSMCS() == 0 ? 0 : 1; });
  ASSERT_EQ(maker.Wait(), 0);
  EXPECT_EQ(lockSMCS(kLockWait), 0);
  EXPECT_EQ(isSMCSLocked(), 1);
  EXPECT_EQ(unlockSMCS(), 0);
}

TEST_F(LockTest, ControlCallsMapTheirFailures) {
  Q7SemArg arg;
  arg.val = 0;
  EXPECT_EQ(q7tsem_semctl(SMCSSemId(), 2, GETVAL, arg), 0);
  EXPECT_EQ(q7tsem_semctl(-5, 0, GETVAL, arg), kSemSetMissing);
  EXPECT_EQ(q7tsem_semctl(SMCSSemId(), 9, GETVAL, arg), kSemSetMissing);
  ASSERT_EQ(termLockSMCS(), 0);
  EXPECT_FALSE(isSemaphoreAccessible());
  EXPECT_EQ(openLockQ7TSEM(), Q7_ERROR_SEM_TOO_BIG);  // no set under the key
  EXPECT_EQ(lockSHMTBLAccessor(), kSemSetMissing);
  EXPECT_FALSE(isSHMTBLEntryLocked(entry_));
}

}  // namespace
