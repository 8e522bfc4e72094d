// The shared-table registry's control structure and entries: the byte layout as another process
// reads it, stamps, hash chains, capacity, refused registrations, status, and tables attached in
// several processes.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "smcs_support.h"

namespace {

using smcs_test::Child;
using smcs_test::Pipe;
using smcs_test::RegistryTest;

template <class T>
T At(const std::string& bytes, size_t offset) {
  T value{};
  memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// Two table names on one hash chain, found by trying names in turn.
std::pair<std::string, std::string> CollidingNames() {
  std::map<int, std::string> seen;
  for (int i = 0;; ++i) {
    std::string name = "T" + std::to_string(i);
    const int chain = getHashValue(name.c_str()) % kSMCSHashSize;
    auto [it, inserted] = seen.emplace(chain, name);
    if (!inserted) return {it->second, name};
  }
}

int Chain(const std::string& name) { return getHashValue(name.c_str()) % kSMCSHashSize; }

TEST(SMCSHash, ValuesFollowTheRule) {
  struct Case {
    const char* name;
    int want;
  };
  const Case cases[] = {
      {"", 0},       {"a", 97}, {"ab", 97 * 137 + 98},
      {"\xff", 1},  // the byte is taken as signed: -1, and the value is its magnitude
      {"\x80", 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(getHashValue(c.name), c.want);
  }
  // 32-bit wrap-around: checked against 64-bit arithmetic reduced by hand.
  const std::string long_name(40, 'z');
  int64_t h = 0;
  for (char ch : long_name) h = static_cast<int32_t>(static_cast<uint32_t>(h * 137 + ch));
  EXPECT_EQ(getHashValue(long_name.c_str()), h < 0 ? -h : h);
  EXPECT_GE(getHashValue(long_name.c_str()), 0);
}

TEST(SMCSSize, GrowsBy832PerEntry) {
  EXPECT_EQ(getSizeOfSMCS(0), 16696);
  EXPECT_EQ(getSizeOfSMCS(1), 16696 + 832);
  EXPECT_EQ(getSizeOfSMCS(1000), 16696 + 832000);
}

// The structure as the dump writes it, byte by byte: what any other process would read.
TEST_F(RegistryTest, DumpShowsTheFixedLayout) {
  SetUpRegistry(3);
  const std::string file = SaveTable("Layout", 5);
  SHMTBLEntry* entry = Register("Layout.Q7T", "Layout");
  ASSERT_NE(entry, nullptr);
  const std::string dump_path = dir_.File("dump.bin");
  ASSERT_EQ(dumpSMCS(dump_path.c_str()), 0);
  struct stat st {};
  ASSERT_EQ(stat(dump_path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  const std::string bytes = q7test::ReadAll(dump_path);
  ASSERT_EQ(bytes.size(), 16696u + 3 * 832);

  // Header.
  EXPECT_EQ(At<int64_t>(bytes, 0), Smcs()->stampSec);
  EXPECT_NE(At<int64_t>(bytes, 0), -1);
  EXPECT_EQ(At<uint64_t>(bytes, 32), 16696u + 3 * 832);
  EXPECT_EQ(At<int32_t>(bytes, 40), 3);
  EXPECT_EQ(At<int32_t>(bytes, 44), 1);
  EXPECT_EQ(At<int32_t>(bytes, 48), 1);
  for (int chain = 0; chain < kSMCSHashSize; ++chain)
    ASSERT_EQ(At<int32_t>(bytes, 52 + 4 * static_cast<size_t>(chain)), chain == Chain("Layout") ? 0 : -1)
        << chain;
  EXPECT_EQ(bytes.substr(16436, 260), std::string(260, '\0'));
  // The last stamp issued is the entry's.
  EXPECT_EQ(At<int64_t>(bytes, 16), At<int64_t>(bytes, 16696));
  EXPECT_EQ(At<int64_t>(bytes, 24), At<int64_t>(bytes, 16696 + 8));

  // Entry 0.
  const size_t e = 16696;
  EXPECT_EQ(At<int32_t>(bytes, e + 16), 0);  // attach count
  EXPECT_STREQ(bytes.data() + e + 20, "Layout");
  EXPECT_EQ(bytes[e + 275], '\0');
  EXPECT_EQ(std::string(bytes.data() + e + 276), dir_.Dir() + "/Layout.Q7T");
  EXPECT_EQ(bytes[e + 791], '\0');
  EXPECT_EQ(At<int32_t>(bytes, e + 792), -1);
  EXPECT_EQ(At<int32_t>(bytes, e + 796), -1);
  EXPECT_EQ(At<uint64_t>(bytes, e + 800), q7test::ReadAll(file).size());
  EXPECT_EQ(At<int32_t>(bytes, e + 808), -1);
  EXPECT_EQ(At<int64_t>(bytes, e + 816), -1);
}

TEST_F(RegistryTest, DumpWithoutAStructureFails) {
  EXPECT_EQ(dumpSMCS(dir_.File("none.bin").c_str()), -1);
  SetUpRegistry(1);
  EXPECT_EQ(dumpSMCS(dir_.File("no/such/dir.bin").c_str()), -1);
}

// The dump replaces an old file of its name only when whole: a write that fails half way (here the
// process's file-size limit) leaves the old file and nothing beside it. A replaced file keeps its
// mode.
TEST_F(RegistryTest, DumpReplacesAnOldFileOnlyWhenWhole) {
  SetUpRegistry(2);
  const std::string path = dir_.Write("old.dump", "an old dump\n");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    rlimit lowered = saved;
    lowered.rlim_cur = 4096;  // below the structure's 16696 + 2 * 832 bytes
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    const int rc = dumpSMCS(path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(rc, -1);
  }
  EXPECT_EQ(q7test::ReadAll(path), "an old dump\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Dir()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  ASSERT_EQ(dumpSMCS(path.c_str()), 0);
  EXPECT_EQ(q7test::ReadAll(path).size(), 16696u + 2 * 832);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, StampsStrictlyIncrease) {
  SetUpRegistry(40);
  SaveTable("S", 2);
  std::pair<int64_t, int64_t> last{Smcs()->stampSec, Smcs()->stampUsec};
  for (int i = 0; i < 40; ++i) {
    SHMTBLEntry* entry = Register("S.Q7T", "S" + std::to_string(i));
    ASSERT_NE(entry, nullptr);
    const std::pair<int64_t, int64_t> now{entry->stampSec, entry->stampUsec};
    ASSERT_LT(last, now) << i;
    ASSERT_LT(now.second, 1000000);
    EXPECT_EQ(Smcs()->lastSec, now.first);
    EXPECT_EQ(Smcs()->lastUsec, now.second);
    last = now;
  }
  // A new generation of the structure is told apart from the old one by its stamp too.
  const std::pair<int64_t, int64_t> old{Smcs()->stampSec, Smcs()->stampUsec};
  ASSERT_EQ(invalidateSMCS(&TheLSMCS), 0);
  ASSERT_EQ(createSMCS(1, &TheLSMCS), 0);
  EXPECT_NE(old, std::make_pair(Smcs()->stampSec, Smcs()->stampUsec));
}

TEST_F(RegistryTest, NamesOnOneChainAreAllFoundAndSurviveRemovals) {
  SetUpRegistry(8);
  SaveTable("C", 3);
  const auto [first, second] = CollidingNames();
  ASSERT_EQ(Chain(first), Chain(second));
  SHMTBLEntry* a = Register("C.Q7T", first);
  SHMTBLEntry* b = Register("C.Q7T", second);
  ASSERT_TRUE(a != nullptr && b != nullptr);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), first.c_str()), a);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), second.c_str()), b);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), "C"), nullptr);
  // The later one heads the chain.
  EXPECT_EQ(Smcs()->hashHeads[Chain(first)], SMCSSlotOf(Smcs(), b));
  EXPECT_EQ(b->next, SMCSSlotOf(Smcs(), a));
  EXPECT_EQ(a->prev, SMCSSlotOf(Smcs(), b));

  // Removing the head leaves the other reachable.
  EXPECT_EQ(removeSHMTBLEntry(Smcs(), b), 0);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), second.c_str()), nullptr);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), first.c_str()), a);
  EXPECT_EQ(a->prev, -1);
  EXPECT_EQ(Smcs()->hashHeads[Chain(first)], SMCSSlotOf(Smcs(), a));

  // Three on the chain; the middle one goes.
  SHMTBLEntry* c = Register("C.Q7T", second);
  SHMTBLEntry* d = Register("C.Q7T", second + "x");
  ASSERT_TRUE(c != nullptr && d != nullptr);
  if (Chain(second + "x") == Chain(first)) {
    EXPECT_EQ(removeSHMTBLEntry(Smcs(), c), 0);
  } else {
    EXPECT_EQ(removeSHMTBLEntry(Smcs(), d), 0);
    d = nullptr;
  }
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), first.c_str()), a);
  if (d != nullptr) {
    EXPECT_EQ(lookupSHMTBLEntry(Smcs(), (second + "x").c_str()), d);
  }
  EXPECT_EQ(countValidSHMTBLEntries(Smcs()), 2);
  EXPECT_EQ(Smcs()->nValid, 2);
}

TEST_F(RegistryTest, FullStructureRefusesAndReusesAFreedSlot) {
  SetUpRegistry(2);
  SaveTable("F", 1);
  SHMTBLEntry* a = Register("F.Q7T", "A");
  SHMTBLEntry* b = Register("F.Q7T", "B");
  ASSERT_TRUE(a != nullptr && b != nullptr);
  SHMTBLEntry* out = nullptr;
  EXPECT_EQ(createSHMTBLEntry(Smcs(), "F.Q7T", "C", dir_.Dir().c_str(), &out),
            Q7_ERROR_SMCS_TOO_MANY_ENTRIES);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(removeSHMTBLEntry(Smcs(), a), 0);
  EXPECT_EQ(a->stampSec, -1);
  EXPECT_EQ(findNextValidSHMTBLEntry(Smcs(), nullptr), b);
  SHMTBLEntry* c = Register("F.Q7T", "C");
  EXPECT_EQ(c, a);  // slot 0 again
  EXPECT_EQ(Smcs()->highWater, 2);
  EXPECT_EQ(Smcs()->nValid, 2);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), "A"), nullptr);
  EXPECT_EQ(lookupSHMTBLEntry(Smcs(), "C"), c);

  std::set<std::string> names;
  for (SHMTBLEntry* e = findNextValidSHMTBLEntry(Smcs(), nullptr); e != nullptr;
       e = findNextValidSHMTBLEntry(Smcs(), e))
    names.insert(e->tableName);
  EXPECT_EQ(names, (std::set<std::string>{"B", "C"}));
}

// A refused registration changes nothing: no slot, no count, no chain.
TEST_F(RegistryTest, RefusedRegistrationsLeaveTheStructureAlone) {
  SetUpRegistry(4);
  SaveTable("Good", 2);
  dir_.Write("junk.Q7T", std::string(400, 'x'));
  dir_.Write("short.Q7T", std::string(10, '\xff'));
  const std::string long_dir(513, 'd');
  const std::string long_file(257, 'f');
  const std::string long_table(256, 't');
  const std::string almost_dir = dir_.Dir() + "/" + std::string(512 - dir_.Dir().size() - 1, 'x');
  struct Case {
    const char* what;
    std::string file, table, dir;
    int want;
  };
  const Case cases[] = {
      {"missing file", "none.Q7T", "T", dir_.Dir(), Q7_ERROR_ILLEGAL_FILE_NAME},
      {"no header", "junk.Q7T", "T", dir_.Dir(), Q7_ERROR_NOT_REAL_TYPE},
      {"short header", "short.Q7T", "T", dir_.Dir(), Q7_ERROR_ILLEGAL_FILE_NAME},
      {"directory too long", "Good.Q7T", "T", long_dir, Q7_ERROR_INVALID_DIRECTORY},
      {"path too long", "Good.Q7T", "T", almost_dir, Q7_ERROR_INVALID_DIRECTORY},
      {"file name too long", long_file, "T", dir_.Dir(), Q7_ERROR_ILLEGAL_FILE_NAME},
      {"table name too long", "Good.Q7T", long_table, dir_.Dir(), Q7_ERROR_ILLEGAL_TABLE_NAME},
      {"empty table name", "Good.Q7T", "", dir_.Dir(), Q7_ERROR_ILLEGAL_TABLE_NAME},
  };
  const std::string before(reinterpret_cast<const char*>(Smcs()), getSizeOfSMCS(4));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SHMTBLEntry* out = nullptr;
    EXPECT_EQ(createSHMTBLEntry(Smcs(), c.file.c_str(), c.table.c_str(), c.dir.c_str(), &out), c.want);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Smcs()), getSizeOfSMCS(4)), before);
  }
  // A directory given with its trailing slash, or empty (the working directory), is joined right.
  SHMTBLEntry* out = nullptr;
  ASSERT_EQ(createSHMTBLEntry(Smcs(), "Good.Q7T", "G1", (dir_.Dir() + "/").c_str(), &out), 0);
  EXPECT_EQ(std::string(out->path), dir_.Dir() + "/Good.Q7T");
  ASSERT_EQ(createSHMTBLEntry(Smcs(), dir_.File("Good.Q7T").c_str(), "G2", "", &out), 0);
  EXPECT_EQ(std::string(out->path), dir_.File("Good.Q7T"));
}

TEST_F(RegistryTest, StatusFollowsTheStructureAndItsEntries) {
  SMCS* seen = nullptr;
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(seen, nullptr);
  SHMTBLEntry* entry = nullptr;
  EXPECT_EQ(getSHMTBLEntryStatus("T", nullptr, Q7_ERROR_SMCS_INVALID, &entry), Q7_ERROR_SMCS_NOT_SET_UP);

  SetUpRegistry(2);
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_EMPTY);
  EXPECT_EQ(seen, Smcs());
  EXPECT_EQ(getSHMTBLEntryStatus("T", Smcs(), Q7_ERROR_SMCS_EMPTY, &entry), Q7_ERROR_SHMTBL_NOT_REGISTERED);
  EXPECT_EQ(entry, nullptr);
  SaveTable("T", 2);
  SHMTBLEntry* t = Register("T.Q7T", "T");
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_IN_USE);
  EXPECT_EQ(getSHMTBLEntryStatus("T", Smcs(), Q7_ERROR_SMCS_IN_USE, &entry), Q7_ERROR_SHMTBL_NOT_ATTACHED);
  EXPECT_EQ(entry, t);
  {
    // A count some live process holds (an attachment holds a shared lock on the file) stands...
    const int held = open(dir_.File("T.Q7T").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_SH), 0);
    t->attachCount = 2;
    EXPECT_EQ(getValidSHMTBLEntryStatus(t), Q7_ERROR_SHMTBL_ATTACHED);
    EXPECT_EQ(t->attachCount, 2);
    close(held);
    // ...one that no live process holds any more is dropped.
    EXPECT_EQ(getValidSHMTBLEntryStatus(t), Q7_ERROR_SHMTBL_NOT_ATTACHED);
    EXPECT_EQ(t->attachCount, 0);
  }

  // A record of this process that another setup made stale.
  LSMCS other{};
  ASSERT_EQ(openSMCS(&other), 0);
  ASSERT_NE(other.smcs, nullptr);
  EXPECT_EQ(getSMCSStatus(&other, &seen), Q7_ERROR_SMCS_IN_USE);
  other.stampUsec += 1;
  EXPECT_EQ(getSMCSStatus(&other, &seen), Q7_ERROR_SMCS_INVALID);
  releaseLSMCS(&other);
  EXPECT_EQ(other.smcs, nullptr);

  // Invalidated: the structure is gone for every process, and the name is free for a new one.
  ASSERT_EQ(invalidateSMCS(&TheLSMCS), 0);
  EXPECT_EQ(TheLSMCS.smcs, nullptr);
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(invalidateSMCS(&TheLSMCS), 0);  // nothing left to unlink: fine
  EXPECT_EQ(createSMCS(1, &TheLSMCS), 0);
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_EMPTY);
}

TEST_F(RegistryTest, CreateRefusesAnExistingStructureAndBadSizes) {
  SetUpRegistry(1);
  LSMCS second{};
  EXPECT_EQ(createSMCS(1, &second), Q7_ERROR_SMCS_CREATE);
  EXPECT_EQ(second.smcs, nullptr);
  ASSERT_EQ(invalidateSMCS(&TheLSMCS), 0);
  EXPECT_EQ(createSMCS(-1, &TheLSMCS), Q7_ERROR_INVALID_PARAMETER);
  // A name the system refuses is a failure, never a silent success.
  SetSMCSNamesForTest("/q7test/bad/name", sem_key_);
  EXPECT_LT(createSMCS(1, &TheLSMCS), 0);
  EXPECT_EQ(TheLSMCS.smcs, nullptr);
}

// An object whose creator has not sized or filled it yet is not read past its end.
TEST_F(RegistryTest, OpenRefusesAHalfMadeObject) {
  const int fd = shm_open(object_name_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  LSMCS local{};
  EXPECT_EQ(openSMCS(&local), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(local.smcs, nullptr);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(getSizeOfSMCS(0))), 0);  // sized, header still zero
  SMCS* seen = nullptr;
  EXPECT_EQ(getSMCSStatus(&local, &seen), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(local.smcs, nullptr);
  // A header that claims more entries than the object holds.
  SMCS header{};
  header.stampSec = 1;
  header.capacity = 5;
  header.totalSize = static_cast<uint64_t>(getSizeOfSMCS(5));
  ASSERT_EQ(pwrite(fd, &header, sizeof header, 0), static_cast<ssize_t>(sizeof header));
  EXPECT_EQ(openSMCS(&local), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(local.smcs, nullptr);
  close(fd);
}

// Another process shuts the registry down and sets up a new one: this process sees its old mapping
// go invalid through the stamp, and then finds the new structure.
TEST_F(RegistryTest, OtherProcessesSeeAShutDownAndANewSetup) {
  SetUpRegistry(2);
  SMCS* seen = nullptr;
  ASSERT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_EMPTY);
  SMCS* old = TheLSMCS.smcs;
  Child shutdown([] { return invalidateSMCS(&TheLSMCS) == 0 ? 0 : 1; });
  ASSERT_EQ(shutdown.Wait(), 0);
  EXPECT_EQ(old->stampSec, -1);  // seen through this process's own mapping
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(TheLSMCS.smcs, nullptr);  // the empty, invalid structure was let go
  Child setup([] {
    LSMCS local{};
    return createSMCS(3, &local) == 0 ? 0 : 1;
  });
  ASSERT_EQ(setup.Wait(), 0);
  EXPECT_EQ(getSMCSStatus(&TheLSMCS, &seen), Q7_ERROR_SMCS_EMPTY);
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->capacity, 3);
}

// ---- Attaching ----

class AttachTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    SetUpRegistry(4);
    path_ = SaveTable("Shared", 300);
    bytes_ = q7test::ReadAll(path_);
    entry_ = Register("Shared.Q7T", "Shared");
    ASSERT_NE(entry_, nullptr);
  }

  // What a process does to attach the table: lock, map, build; 0 or a code (the table's ID in *id).
  static int AttachInto(TTableCollection* db, int* id) {
    SMCS* smcs = nullptr;
    if (getSMCSStatus(&TheLSMCS, &smcs) != Q7_ERROR_SMCS_IN_USE) return 1;
    if (lockSMCS(kLockWait) != 0) return 2;
    SHMTBLEntry* entry = lookupSHMTBLEntry(smcs, "Shared");
    int rc = entry == nullptr ? 3 : lockSHMTBLEntry(entry, kLockWait);
    LSHMTBLEntry local{};
    if (rc == 0) {
      rc = createLSHMTBLEntry(smcs, entry, &local);
      if (rc == 0) {
        prefaultLSHMTBLEntry(&local);
        *id = db->LoadRealTable(&local);
        if (*id <= 0) removeLSHMTBLEntry(&local);
      }
      unlockSHMTBLEntry(entry);
    }
    unlockSMCS();
    return rc;
  }

  std::string path_;
  std::string bytes_;
  SHMTBLEntry* entry_ = nullptr;
};

TEST_F(AttachTest, HandleMapsTheFileReadOnly) {
  LSHMTBLEntry local{};
  ASSERT_EQ(createLSHMTBLEntry(Smcs(), entry_, &local), 0);
  EXPECT_TRUE(isQ7TSharedLSHMTBLEntry(&local));
  EXPECT_EQ(entry_->attachCount, 1);
  EXPECT_EQ(local.mapSize, bytes_.size());
  EXPECT_EQ(std::string(static_cast<const char*>(local.mapAddress), local.mapSize), bytes_);
  EXPECT_EQ(local.smcs, Smcs());
  EXPECT_EQ(local.entry, entry_);
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  removeLSHMTBLEntry(&local);
  ASSERT_EQ(unlockSMCS(), 0);
  EXPECT_FALSE(isQ7TSharedLSHMTBLEntry(&local));
  EXPECT_EQ(local.mapAddress, nullptr);
  EXPECT_EQ(entry_->attachCount, 0);
}

TEST_F(AttachTest, AttachRefusesAFileThatChangedOrWent) {
  LSHMTBLEntry local{};
  // Cut since it was registered: the view would fault past the new end.
  ASSERT_EQ(truncate(path_.c_str(), static_cast<off_t>(bytes_.size() / 2)), 0);
  EXPECT_EQ(createLSHMTBLEntry(Smcs(), entry_, &local), Q7_ERROR_SHMTBL_INVALID);
  q7test::WriteAll(path_, std::string(bytes_.size(), 'x'));
  EXPECT_EQ(createLSHMTBLEntry(Smcs(), entry_, &local), Q7_ERROR_NOT_REAL_TYPE);
  ASSERT_EQ(unlink(path_.c_str()), 0);
  EXPECT_EQ(createLSHMTBLEntry(Smcs(), entry_, &local), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(entry_->attachCount, 0);
  EXPECT_FALSE(isQ7TSharedLSHMTBLEntry(&local));
}

// A handle whose entry was released and registered again only unmaps: the new entry's count is
// another generation's.
TEST_F(AttachTest, StaleHandleOnlyUnmaps) {
  LSHMTBLEntry local{};
  ASSERT_EQ(createLSHMTBLEntry(Smcs(), entry_, &local), 0);
  for (const char* filler : {"F1", "F2", "F3"}) ASSERT_NE(Register("Shared.Q7T", filler), nullptr);
  ASSERT_EQ(removeSHMTBLEntry(Smcs(), entry_), 0);
  SHMTBLEntry* again = Register("Shared.Q7T", "Shared");
  ASSERT_EQ(again, entry_);  // the structure is full to its high-water mark: the freed slot again
  LSHMTBLEntry fresh{};
  ASSERT_EQ(createLSHMTBLEntry(Smcs(), again, &fresh), 0);
  EXPECT_EQ(again->attachCount, 1);
  ASSERT_EQ(lockSMCS(kLockWait), 0);
  removeLSHMTBLEntry(&local);
  EXPECT_EQ(again->attachCount, 1);
  EXPECT_EQ(local.mapAddress, nullptr);
  removeLSHMTBLEntry(&fresh);
  EXPECT_EQ(again->attachCount, 0);
  ASSERT_EQ(unlockSMCS(), 0);
}

// A handle that outlived this process's mapping of the structure must not read it.
TEST_F(AttachTest, HandleOutlivingTheStructureOnlyUnmaps) {
  LSHMTBLEntry local{};
  ASSERT_EQ(createLSHMTBLEntry(Smcs(), entry_, &local), 0);
  ASSERT_EQ(invalidateSMCS(&TheLSMCS), 0);
  removeLSHMTBLEntry(&local);  // the structure is unmapped here: a read of it would fault
  EXPECT_EQ(local.mapAddress, nullptr);
  EXPECT_FALSE(isQ7TSharedLSHMTBLEntry(&local));
}

// A shared table detaches itself when it is deleted: the attach count comes back down.
TEST_F(AttachTest, TableDestructorDetaches) {
  auto db = std::make_unique<TTableCollection>();
  int id = 0;
  ASSERT_EQ(AttachInto(db.get(), &id), 0);
  ASSERT_GT(id, 0);
  auto* table = static_cast<TRealTable*>(db->GetTable(id));
  EXPECT_TRUE(table->isQ7TShared());
  EXPECT_EQ(table->TotalRecs(), 300);
  char column[] = "n";
  EXPECT_GT(table->GetFilterIDFromName(column, 0), 0);
  EXPECT_EQ(entry_->attachCount, 1);
  EXPECT_FALSE(isSHMTBLEntryLocked(entry_));
  db.reset();
  EXPECT_EQ(entry_->attachCount, 0);
  EXPECT_EQ(isSMCSLocked(), 0);
}

// Two processes attach the same entry and read the same bytes; each detach lowers the count.
TEST_F(AttachTest, TwoProcessesShareOneFile) {
  Pipe to_child, to_parent;
  const std::string want = bytes_;
  Child child([&] {
    initLSMCS(&TheLSMCS, nullptr);  // a process of its own: it opens the structure itself
    TTableCollection db;
    int id = 0;
    if (AttachInto(&db, &id) != 0 || id <= 0) return 10;
    auto* table = static_cast<TRealTable*>(db.GetTable(id));
    if (table->TotalRecs() != 300) return 11;
    LSHMTBLEntry copy{};
    SMCS* smcs = nullptr;
    getSMCSStatus(&TheLSMCS, &smcs);
    SHMTBLEntry* entry = lookupSHMTBLEntry(smcs, "Shared");
    if (entry == nullptr || createLSHMTBLEntry(smcs, entry, &copy) != 0) return 12;
    const bool same = std::string(static_cast<const char*>(copy.mapAddress), copy.mapSize) == want;
    lockSMCS(kLockWait);
    removeLSHMTBLEntry(&copy);
    unlockSMCS();
    if (!same) return 13;
    to_parent.Send('a');  // attached
    if (to_child.Receive() != 'd') return 14;
    return 0;  // the collection goes: the table detaches
  });
  ASSERT_EQ(to_parent.Receive(), 'a');
  TTableCollection db;
  int id = 0;
  ASSERT_EQ(AttachInto(&db, &id), 0);
  EXPECT_EQ(entry_->attachCount, 2);
  to_child.Send('d');
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(entry_->attachCount, 1);
  EXPECT_EQ(db.DelTable(id), 0);
  EXPECT_EQ(entry_->attachCount, 0);
}

TEST_F(RegistryTest, ManyProcessesRegisterUnderTheLock) {
  SetUpRegistry(32);
  SaveTable("M", 2);
  constexpr int kChildren = 4;
  constexpr int kEach = 6;
  std::vector<std::unique_ptr<Child>> children;
  for (int c = 0; c < kChildren; ++c) {
    const std::string dir = dir_.Dir();
    children.push_back(std::make_unique<Child>([c, dir] {
      initLSMCS(&TheLSMCS, nullptr);
      SMCS* smcs = nullptr;
      if (getSMCSStatus(&TheLSMCS, &smcs) == Q7_ERROR_SMCS_INVALID) return 1;
      for (int i = 0; i < kEach; ++i) {
        if (lockSMCS(kLockWait) != 0) return 2;
        SHMTBLEntry* out = nullptr;
        const std::string name = "P" + std::to_string(c) + "_" + std::to_string(i);
        const int rc = createSHMTBLEntry(smcs, "M.Q7T", name.c_str(), dir.c_str(), &out);
        unlockSMCS();
        if (rc != 0) return 3;
      }
      return 0;
    }));
  }
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0);
  EXPECT_EQ(Smcs()->nValid, kChildren * kEach);
  EXPECT_EQ(countValidSHMTBLEntries(Smcs()), kChildren * kEach);
  std::set<std::pair<int64_t, int64_t>> stamps;
  for (int c = 0; c < kChildren; ++c) {
    for (int i = 0; i < kEach; ++i) {
      const std::string name = "P" + std::to_string(c) + "_" + std::to_string(i);
      SHMTBLEntry* e = lookupSHMTBLEntry(Smcs(), name.c_str());
      ASSERT_NE(e, nullptr) << name;
      stamps.insert({e->stampSec, e->stampUsec});
    }
  }
  EXPECT_EQ(stamps.size(), static_cast<size_t>(kChildren * kEach));
}

}  // namespace
