// The registry under the machine's other users: the modes its objects are made with whatever the
// umask, objects that another user made or may write refused at open and removal, files others may
// write never registered, and entry indexes kept inside this process's mapping whatever the shared
// bytes say. Another user is a forked child that gives up root for an ordinary user's IDs.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>

#include <string>

#include "smcs_support.h"

namespace {

using smcs_test::Child;
using smcs_test::RegistryTest;

constexpr uid_t kOtherUser = 65534;
constexpr gid_t kOtherGroup = 65534;

// Drops root for uid in group gid with no supplementary groups. False when the system refuses.
bool BecomeUser(uid_t uid, gid_t gid) {
  return setgroups(0, nullptr) == 0 && setresgid(gid, gid, gid) == 0 && setresuid(uid, uid, uid) == 0;
}

mode_t ObjectMode(const std::string& object_name) {
  struct stat st {};
  if (stat(("/dev/shm" + object_name).c_str(), &st) != 0) return 07777;
  return st.st_mode & 0777;
}

mode_t SetMode(int id) {
  semid_ds ds{};
  Q7SemArg arg;
  arg.buf = &ds;
  if (semctl(id, 0, IPC_STAT, arg) != 0) return 07777;
  return ds.sem_perm.mode & 0777;
}

TEST_F(RegistryTest, ObjectsAreMadeWithThePolicysModesWhateverTheUmask) {
  for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{077}}) {
    SCOPED_TRACE(mask);
    const mode_t before = umask(mask);
    SetUpRegistry(1);
    umask(before);
    EXPECT_EQ(ObjectMode(object_name_), 0660u);
    EXPECT_EQ(SetMode(SMCSSemId()), 0660u);
    ASSERT_EQ(invalidateSMCS(&TheLSMCS), 0);
    ASSERT_EQ(termLockSMCS(), 0);
  }
}

// The registry and its semaphore set made first by another user: used only when the maker belongs
// to this process's group and nobody outside that circle may write them. A refused object is
// neither read, nor locked, nor removed.
TEST_F(RegistryTest, ObjectsMadeOutsideTheCircleAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  struct Case {
    const char* what;
    bool makers_group_is_ours;
    mode_t mode;
    bool used;
  };
  const Case kCases[] = {
      {"stranger, everybody writes", false, 0666, false},
      {"stranger, only the maker writes", false, 0600, false},
      {"group member, the group writes", true, 0660, true},
      {"group member, everybody writes", true, 0666, false},
  };
  const gid_t our_group = getegid();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Child maker([&] {
      if (!BecomeUser(kOtherUser, c.makers_group_is_ours ? our_group : kOtherGroup)) return 10;
      LSMCS local{};
      if (initLockSMCS() != 0 || createSMCS(2, &local) != 0) return 11;
      // The maker widens (or keeps) the modes, as a careless or hostile program would.
      const int fd = shm_open(SMCSObjectName(), O_RDWR, 0);
      if (fd < 0 || fchmod(fd, c.mode) != 0) return 12;
      semid_ds ds{};
      Q7SemArg arg;
      arg.buf = &ds;
      if (semctl(SMCSSemId(), 0, IPC_STAT, arg) != 0) return 13;
      ds.sem_perm.mode = c.mode;
      if (semctl(SMCSSemId(), 0, IPC_SET, arg) != 0) return 14;
      return 0;
    });
    ASSERT_EQ(maker.Wait(), 0);
    const int set = semget(sem_key_, 0, 0);
    ASSERT_GE(set, 0);

    constructorLockSMCS();
    initLSMCS(&TheLSMCS, nullptr);
    SMCS* smcs = nullptr;
    if (c.used) {
      ASSERT_EQ(lockSMCS(kLockWait), 0);
      EXPECT_EQ(getSMCSStatus(&TheLSMCS, &smcs), Q7_ERROR_SMCS_EMPTY);
      ASSERT_EQ(unlockSMCS(), 0);
      EXPECT_EQ(invalidateSMCS(&TheLSMCS), 0);
      EXPECT_EQ(termLockSMCS(), 0);
      EXPECT_LT(semget(sem_key_, 0, 0), 0);
    } else {
      EXPECT_EQ(lockSMCS(kLockWait), Q7_ERROR_ACCESS_DENIED);
      EXPECT_EQ(isSMCSLocked(), 0);
      EXPECT_EQ(openLockQ7TSEM(), Q7_ERROR_ACCESS_DENIED);
      EXPECT_EQ(getSMCSStatus(&TheLSMCS, &smcs), Q7_ERROR_ACCESS_DENIED);
      EXPECT_EQ(TheLSMCS.smcs, nullptr);
      EXPECT_EQ(invalidateSMCS(&TheLSMCS), Q7_ERROR_ACCESS_DENIED);
      EXPECT_EQ(termLockSMCS(), Q7_ERROR_ACCESS_DENIED);
      EXPECT_EQ(ObjectMode(object_name_), c.mode);
      EXPECT_EQ(semget(sem_key_, 0, 0), set);
    }
    shm_unlink(object_name_.c_str());
    semctl(set, 0, IPC_RMID);
  }
}

// A table file that someone outside the circle may write would be rewritten under the processes
// reading it in place: it is not registered, and not attached when it became so after registering.
TEST_F(RegistryTest, FilesOthersMayWriteAreNeitherRegisteredNorAttached) {
  SetUpRegistry(2);
  const std::string path = SaveTable("F", 3);
  const std::string dir = dir_.Dir();
  struct Case {
    const char* what;
    mode_t mode;
    int code;
  };
  const Case kCases[] = {
      {"everybody writes", 0666, Q7_ERROR_ACCESS_DENIED},
      {"everybody writes, nobody reads", 0602, Q7_ERROR_ACCESS_DENIED},
      {"the owner writes", 0644, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    SHMTBLEntry* entry = nullptr;
    EXPECT_EQ(createSHMTBLEntry(Smcs(), "F.Q7T", "F", dir.c_str(), &entry), c.code);
    EXPECT_EQ(countValidSHMTBLEntries(Smcs()), c.code == 0 ? 1 : 0);
  }
  SHMTBLEntry* entry = lookupSHMTBLEntry(Smcs(), "F");
  ASSERT_NE(entry, nullptr);
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  LSHMTBLEntry local{};
  EXPECT_EQ(createLSHMTBLEntry(Smcs(), entry, &local), Q7_ERROR_ACCESS_DENIED);
  EXPECT_EQ(entry->attachCount, 0);
  EXPECT_EQ(local.mapAddress, nullptr);

  if (geteuid() == 0) {
    // Owned by another user, who may change it at will.
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(chown(path.c_str(), kOtherUser, kOtherGroup), 0);
    EXPECT_EQ(createLSHMTBLEntry(Smcs(), entry, &local), Q7_ERROR_ACCESS_DENIED);
    EXPECT_EQ(removeSHMTBLEntry(Smcs(), entry), 0);
    EXPECT_EQ(createSHMTBLEntry(Smcs(), "F.Q7T", "F", dir.c_str(), &entry), Q7_ERROR_ACCESS_DENIED);
  }
}

// Whatever the shared bytes say (another process, or a damaged object, may have rewritten the
// capacity, the high-water mark, a chain head and a chain link), no entry index leads outside the
// mapping this process made when it opened the structure.
TEST_F(RegistryTest, EntryIndexesStayInsideThisProcesssMapping) {
  SetUpRegistry(2);
  SaveTable("A", 2);
  SaveTable("B", 2);
  SHMTBLEntry* a = Register("A.Q7T", "A");
  ASSERT_NE(a, nullptr);
  SMCS* smcs = Smcs();
  ASSERT_EQ(removeSHMTBLEntry(smcs, Register("B.Q7T", "B")), 0);  // slot 1 free again
  constexpr int kFar = 1 << 24;                                   // slots far past the two mapped
  smcs->capacity = kFar;
  smcs->highWater = kFar;
  a->next = kFar - 1;
  smcs->hashHeads[getHashValue("Z") % kSMCSHashSize] = kFar - 2;

  EXPECT_EQ(lookupSHMTBLEntry(smcs, "Z"), nullptr);
  EXPECT_EQ(lookupSHMTBLEntry(smcs, "A"), a);
  EXPECT_EQ(countValidSHMTBLEntries(smcs), 1);
  EXPECT_EQ(findNextValidSHMTBLEntry(smcs, a), nullptr);
  SHMTBLEntry* b = Register("B.Q7T", "B");  // the one free slot inside the mapping
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SMCSSlotOf(smcs, b), 1);
  SHMTBLEntry* none = nullptr;
  EXPECT_EQ(createSHMTBLEntry(smcs, "B.Q7T", "C", dir_.Dir().c_str(), &none), Q7_ERROR_SMCS_TOO_MANY_ENTRIES);
  EXPECT_EQ(removeSHMTBLEntry(smcs, a), 0);
  EXPECT_EQ(removeSHMTBLEntry(smcs, b), 0);
  smcs->capacity = 2;  // so that the tear-down finds the structure it made
}

}  // namespace
