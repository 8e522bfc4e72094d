// The shared-table operations where another process changes the registry while one waits: an attach
// that waited for an entry must not attach whatever took the entry's slot meanwhile.
#include "api/ops/ops_shmtables.h"

#include <gtest/gtest.h>

#include "api/ops/OpCommon.h"
#include "database/TTableCollection.h"
#include "q7api.h"
#include "tests/sharing/smcs_support.h"

namespace {

using smcs_test::Blocked;
using smcs_test::Child;
using smcs_test::Eventually;

constexpr int kSemQueueNumber = 2;

class ShmTableOps : public smcs_test::RegistryTest {
 protected:
  void TearDown() override {
    RegistryTest::TearDown();
    RegisterSharedTableRegistryHooks();  // the library's own, as the start left them
  }
};

// A process waits (mode 0) for the entry lock of "first", which this process holds. Meanwhile
// "first" is released and "second" registered into the same slot. When the waiter gets the lock it
// finds another registration there: it looks the name up again and finds none, instead of
// attaching "second" under the name "first".
TEST_F(ShmTableOps, AttachThatWaitedChecksTheEntryAgain) {
  SetUpRegistry(1);  // one slot: the next registration reuses it
  SaveTable("first", 3);
  SaveTable("second", 5);
  SHMTBLEntry* first = Register("first.Q7T", "first");
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  ASSERT_EQ(lockSHMTBLEntry(first, kLockNoWait), 0);
  ASSERT_EQ(unlockSMCS(), 0);

  Child waiter([] {
    const int id = innerRQ7ShmAttach("first", kLockWait);
    if (id == Q7_ERROR_SHMTBL_NOT_REGISTERED) return 0;
    return id > 0 && CurrentDatabase()->GetTable(id) != nullptr ? 1 : 2;
  });
  ASSERT_TRUE(Eventually([] { return Blocked(kSemQueueNumber) > 0; }));

  ASSERT_EQ(lockSMCS(kLockWait), 0);
  ASSERT_EQ(removeSHMTBLEntry(Smcs(), first), 0);
  SHMTBLEntry* second = Register("second.Q7T", "second");
  ASSERT_EQ(unlockSMCS(), 0);
  ASSERT_EQ(second, first);  // the same slot, another generation

  EXPECT_EQ(waiter.Wait(), 0);
  EXPECT_EQ(second->attachCount, 0);
  EXPECT_EQ(second->owner, -1);
}

// Without semaphores there is no registry: no names, and the code says so.
TEST_F(ShmTableOps, ListWithoutARegistryCountsNone) {
  int count = 7;
  EXPECT_EQ(innerRQ7GetSharedMemoryTableListEx(nullptr, &count), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(count, 0);
}

}  // namespace
