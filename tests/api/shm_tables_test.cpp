// The shared-table registry as hosts use it, from more than one process: set up, register saved
// tables, attach them in several processes, read the same values everywhere, release, list, shut
// down, and the codes of each refusal.
//
// The registry's names are machine-wide ("/zpk_SMCS_V10", semaphore key 1234567), but a test
// process uses names of its own that the test main gave it (tests/support/test_main.cpp), and its
// forked children inherit them. Every test starts and ends by clearing both, the end also when the
// test failed. Child processes are forked, report on a pipe, detach what they attached and leave
// through _exit, never through the test's tear-down.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/zpk_shm.h"
#include "q7api.h"
#include "sharing/SMCS.h"
#include "sharing/SMCSLock.h"
#include "tests/api/host_test_support.h"

namespace {

using q7host::CellText;

// ---- Child processes --------------------------------------------------------------------------------
// A forked process that talks to the test in lines. It dies on its own after a while, so that a hang
// in it cannot hang the test; the test kills it when it is left running.
class Child {
 public:
  // The body's argument sends a line to the test (Say) and waits for the test's next line (Hear).
  class Link {
   public:
    Link(int out, int in) : out_(out), in_(in) {}
    void Say(const std::string& line) const { WriteLine(out_, line); }
    std::string Hear() const { return ReadLine(in_); }

   private:
    int out_;
    int in_;
  };

  explicit Child(const std::function<void(const Link&)>& body) {
    int up[2];
    int down[2];
    if (pipe(up) != 0 || pipe(down) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(up[0]);
      close(down[1]);
      alarm(60);
      body(Link(up[1], down[0]));
      RQ7DetachAll();
      _exit(0);
    }
    close(up[1]);
    close(down[0]);
    from_child_ = up[0];
    to_child_ = down[1];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (from_child_ >= 0) close(from_child_);
    if (to_child_ >= 0) close(to_child_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  std::string Hear() { return ReadLine(from_child_); }
  void Say(const std::string& line) { WriteLine(to_child_, line); }
  // Waits for the child's end: its exit status, or -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    const pid_t pid = pid_;
    pid_ = -1;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  static void WriteLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  static std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1) {
      if (c == '\n') return line;
      line += c;
    }
    return line + "<end>";
  }

  pid_t pid_ = -1;
  int from_child_ = -1;
  int to_child_ = -1;
};

// ---- The registry's shared layout --------------------------------------------------------------------
// Where an entry keeps its lock owner, in the registry object all processes map: the busy case is
// made by recording a live process as the owner of an entry, as an attaching process does.
constexpr size_t kHeaderSize = 16696;
constexpr size_t kEntrySize = 832;
constexpr size_t kCapacityOffset = 40;
constexpr size_t kEntryNameOffset = 20;
constexpr size_t kEntryOwnerOffset = 808;
constexpr size_t kEntryOwnerStampOffset = 816;

// Records owner as the holder of the entry lock of the table (-1 frees it). False when the entry
// cannot be found.
bool SetEntryOwner(const std::string& table, pid_t owner) {
  // The one internal this file reads: the name of the registry object this process uses.
  const int fd = shm_open(SMCSObjectName(), O_RDWR, 0);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < kHeaderSize) {
    close(fd);
    return false;
  }
  const size_t size = static_cast<size_t>(st.st_size);
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return false;
  char* base = static_cast<char*>(map);
  int32_t capacity = 0;
  memcpy(&capacity, base + kCapacityOffset, sizeof capacity);
  bool found = false;
  for (int32_t slot = 0; slot < capacity && kHeaderSize + kEntrySize * (slot + 1) <= size && !found; ++slot) {
    char* entry = base + kHeaderSize + kEntrySize * static_cast<size_t>(slot);
    int64_t stamp[2];
    memcpy(stamp, entry, sizeof stamp);
    if (stamp[0] == -1 || strcmp(entry + kEntryNameOffset, table.c_str()) != 0) continue;
    const int32_t owner32 = owner;
    const int64_t owner_stamp[2] = {owner < 0 ? -1 : stamp[0], owner < 0 ? -1 : stamp[1]};
    memcpy(entry + kEntryOwnerOffset, &owner32, sizeof owner32);
    memcpy(entry + kEntryOwnerStampOffset, owner_stamp, sizeof owner_stamp);
    found = true;
  }
  munmap(map, size);
  return found;
}

// ---- Fixture -----------------------------------------------------------------------------------------
// Removes this process's shared tables, the registry and its semaphores: before every test (a crashed
// earlier run may have left them), after every test, and once more when the program ends.
void ClearEverything() {
  RQ7DetachAll();
  RQ7ClearSharedMemory();
}

class ClearAtEnd : public ::testing::Environment {
 public:
  void TearDown() override { ClearEverything(); }
};
const auto* const g_clear_at_end = ::testing::AddGlobalTestEnvironment(new ClearAtEnd);

// A saved table: "name" with an INTEGER column and a STRING column of the given rows.
struct SavedTable {
  std::string name;
  std::vector<int32_t> qty;
  std::vector<std::string> city;
  int qty_filter = 0;
  int city_filter = 0;
};

class ShmTables : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearEverything();
    ASSERT_TRUE(dir_.ok());
    q7host::DrainRing();
  }
  void TearDown() override {
    for (int id : local_tables_) RQ7DeleteTable(id);
    ClearEverything();
  }

  // Builds the table, saves it as dir/<name>.Q7T and deletes it again from this database.
  void Save(SavedTable* t) {
    const int id = q7host::AddTable(t->name, static_cast<int>(t->qty.size()));
    ASSERT_GT(id, 0);
    t->qty_filter = q7host::AddIntColumn(id, "qty", t->qty);
    t->city_filter = q7host::AddStringColumn(id, "city", t->city);
    ASSERT_GT(t->qty_filter, 0);
    ASSERT_GT(t->city_filter, 0);
    ASSERT_EQ(RQ7SaveRealTable(dir_.path().c_str(), id), 0);
    ASSERT_EQ(RQ7DeleteTable(id), 0);
  }

  // The table's cells, row by row, "qty/city;...".
  static std::string Cells(int id, const SavedTable& t) {
    std::string out;
    for (size_t row = 1; row <= t.qty.size(); ++row) {
      out += CellText(id, t.qty_filter, static_cast<int>(row)) + "/" +
             CellText(id, t.city_filter, static_cast<int>(row)) + ";";
    }
    return out;
  }
  static std::string Expected(const SavedTable& t) {
    std::string out;
    for (size_t i = 0; i < t.qty.size(); ++i) out += std::to_string(t.qty[i]) + "/" + t.city[i] + ";";
    return out;
  }

  static std::set<std::string> ListNames() {
    int count = 0;
    std::vector<char> names(256 * 16, 'x');
    if (RQ7GetSharedMemoryTableList(names.data(), &count) != 0) return {"<failed>"};
    std::set<std::string> out;
    for (int i = 0; i < count; ++i) out.insert(names.data() + 256 * i);
    return out;
  }

  q7host::TempDir dir_;
  std::vector<int> local_tables_;
  SavedTable alpha_{"alpha", {5, 7, 11, 13}, {"Oslo", "Rome", "Lima", "Kyiv"}};
  SavedTable beta_{"beta", {1, 2}, {"x", "y"}};
};

// The machine's own registry, its semaphores and the database image's segment are never the test's:
// a host running beside the tests keeps its objects, and two runs of the tests never meet.
TEST(ShmNames, TheTestProcessUsesNamesOfItsOwn) {
  EXPECT_STRNE(SMCSObjectName(), kSMCSObjectName);
  EXPECT_NE(SMCSSemKey(), kSMCSSemKey);
  EXPECT_NE(zpk_shm::Key(), zpk_shm::kKey);
  EXPECT_EQ(RQ7ShmSetup(1), 0);
  struct stat st;
  EXPECT_EQ(stat((std::string("/dev/shm") + SMCSObjectName()).c_str(), &st), 0);
  EXPECT_EQ(RQ7ClearSharedMemory(), 0);
}

TEST_F(ShmTables, SetupBoundsAndTheCallsBeforeIt) {
  EXPECT_EQ(RQ7ShmSetup(0), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7ShmSetup(20001), Q7_ERROR_SMCS_TOO_MANY_ENTRIES);
  // Without a registry: the first translation.
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), Q7_ERROR_SMCS_NOT_SET_UP);
  EXPECT_EQ(RQ7ShmAttach("alpha", 0), Q7_ERROR_SMCS_NOT_SET_UP);
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SMCS_NOT_SET_UP);
  EXPECT_EQ(RQ7ShmReleaseAll(), Q7_ERROR_SMCS_NOT_SET_UP);
  // The registry answers before the directory is walked, files or none.
  EXPECT_EQ(RQ7ShmLoadAll(dir_.path().c_str(), "*"), Q7_ERROR_SMCS_NOT_SET_UP);
  EXPECT_EQ(RQ7DetachAll(), Q7_ERROR_SHM_NOT_SET_UP);
  int count = 7;
  EXPECT_EQ(RQ7GetSharedMemoryTableListEx(nullptr, &count), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(count, 0);  // no registry, no names
  EXPECT_EQ(RQ7ShmShutdown(), Q7_ERROR_SMCS_INVALID);

  EXPECT_EQ(RQ7ShmSetup(20000), 0);
  EXPECT_EQ(RQ7ShmSetup(5), Q7_ERROR_SMCS_EMPTY);  // kept, whatever the capacity asked
  count = 7;
  EXPECT_EQ(RQ7GetSharedMemoryTableListEx(nullptr, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(RQ7DetachAll(), 0);
  EXPECT_EQ(RQ7ShmShutdown(), 0);
  EXPECT_EQ(RQ7ShmShutdown(), Q7_ERROR_SMCS_INVALID);
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), Q7_ERROR_SMCS_NOT_SET_UP);
  EXPECT_EQ(RQ7ShmSetup(3), 0);
  EXPECT_TRUE(q7host::DrainRing().empty());
}

// Without a registry the two listings give the same answer: with no semaphores either the lock's
// failure, with semaphores left behind by a removed registry 0 and no names. The plain list leaves
// the count alone, the Ex form counts no names.
TEST_F(ShmTables, BothListingsAnswerAlikeWithoutARegistry) {
  struct State {
    const char* what;
    bool semaphores_left;
    int code;
  };
  const State kStates[] = {{"no registry, no semaphores", false, Q7_ERROR_SMCS_INVALID},
                           {"semaphores without a registry", true, 0}};
  for (const auto& state : kStates) {
    SCOPED_TRACE(state.what);
    ClearEverything();
    if (state.semaphores_left) {
      // Made by another process, so that this one has nothing of the registry mapped.
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        alarm(60);
        _exit(RQ7ShmSetup(2) == 0 ? 0 : 3);
      }
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      ASSERT_EQ(shm_unlink(SMCSObjectName()), 0);
    }
    std::vector<char> names(256 * 2, 'x');
    int count = 7;
    EXPECT_EQ(RQ7GetSharedMemoryTableList(names.data(), &count), state.code);
    EXPECT_EQ(count, 7);
    count = 2;
    EXPECT_EQ(RQ7GetSharedMemoryTableListEx(names.data(), &count), state.code);
    EXPECT_EQ(count, 0);
    count = 2;
    EXPECT_EQ(RQ7GetSharedMemoryTableListEx(nullptr, &count), state.code);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(names[0], 'x');
    EXPECT_TRUE(q7host::DrainRing().empty());
  }
}

TEST_F(ShmTables, LoadListReleaseAndShutdown) {
  Save(&alpha_);
  Save(&beta_);
  SavedTable gamma{"gamma", {3}, {"z"}};
  Save(&gamma);
  q7host::TempDir other;
  ASSERT_EQ(RQ7BrowserPutFile(other.File("junk.Q7T").c_str(), 4, "junk"), 0);

  ASSERT_EQ(RQ7ShmSetup(8), 0);
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha.Q7T"), Q7_ERROR_SHMTBL_NOT_ATTACHED);
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "missing"), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(RQ7ShmLoad(nullptr, "alpha"), Q7_ERROR_INVALID_PARAMETER);
  // alpha is skipped (registered already); beta and gamma are new.
  EXPECT_EQ(RQ7ShmLoadAll(dir_.path().c_str(), "*"), 2);
  EXPECT_EQ(RQ7ShmLoadAll(dir_.path().c_str(), "*"), 0);
  EXPECT_EQ(RQ7ShmLoadAll(other.path().c_str(), "*"), 0);  // not a table file: skipped
  EXPECT_EQ(RQ7ShmLoadAll(dir_.File("absent").c_str(), "*"), Q7_ERROR_INVALID_DIRECTORY);
  EXPECT_EQ(ListNames(), (std::set<std::string>{"alpha", "beta", "gamma"}));

  // The Ex form: a null array counts; otherwise at most the given slots are written.
  int count = 0;
  ASSERT_EQ(RQ7GetSharedMemoryTableListEx(nullptr, &count), 0);
  EXPECT_EQ(count, 3);
  std::vector<char> two(256 * 2 + 16, '#');
  count = 2;
  ASSERT_EQ(RQ7GetSharedMemoryTableListEx(two.data(), &count), 0);
  EXPECT_EQ(count, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(two[static_cast<size_t>(256 * i + 255)], '\0');
    EXPECT_EQ(ListNames().count(two.data() + 256 * i), 1u);
  }
  EXPECT_EQ(std::string(two.end() - 16, two.end()), std::string(16, '#'));
  count = 0;
  ASSERT_EQ(RQ7GetSharedMemoryTableListEx(two.data(), &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(RQ7GetSharedMemoryTableListEx(nullptr, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7GetSharedMemoryTableList(nullptr, &count), Q7_ERROR_INVALID_PARAMETER);

  const std::string dump = dir_.File("registry.dump");
  EXPECT_EQ(RQ7ShmDumpSMCS(dump.c_str()), 0);
  EXPECT_EQ(RQ7BrowserGetFileSize(dump.c_str()), 16696 + 832 * 8);
  EXPECT_EQ(RQ7ShmDumpSMCS(dir_.File("absent/registry.dump").c_str()), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(RQ7ShmDumpSMCS(nullptr), Q7_ERROR_INVALID_PARAMETER);

  EXPECT_EQ(RQ7ShmShutdown(), Q7_ERROR_SMCS_IN_USE);  // entries left: nothing changes
  EXPECT_EQ(ListNames().size(), 3u);
  EXPECT_EQ(RQ7ShmRelease("beta"), 0);
  EXPECT_EQ(RQ7ShmRelease("beta"), Q7_ERROR_SHMTBL_NOT_REGISTERED);
  EXPECT_EQ(RQ7ShmReleaseAll(), 2);
  // An empty registry: the second translation.
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SHMTBL_NOT_REGISTERED);
  EXPECT_EQ(RQ7ShmAttach("alpha", 0), Q7_ERROR_SHMTBL_NOT_REGISTERED);
  EXPECT_EQ(RQ7ShmReleaseAll(), 0);
  EXPECT_EQ(RQ7ShmShutdown(), 0);
}

TEST_F(ShmTables, TwoProcessesAttachAndReadTheSameValues) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);

  // The child is forked before this process attaches: a forked process would inherit the table
  // without an attachment of its own.
  Child child([&](const Child::Link& link) {
    const int child_id = RQ7ShmAttach("alpha", 1);
    link.Say(std::to_string(child_id));
    link.Say(child_id > 0 ? Cells(child_id, alpha_) : "");
    link.Hear();  // the test has checked the attached entry
    link.Say(std::to_string(RQ7DeleteTable(child_id)));
    link.Say(std::to_string(RQ7DetachAll()));
  });
  ASSERT_TRUE(child.started());
  EXPECT_GT(std::stoi(child.Hear()), 0);
  EXPECT_EQ(child.Hear(), Expected(alpha_));

  const int id = RQ7ShmAttach("alpha", 0);
  ASSERT_GT(id, 0);
  local_tables_.push_back(id);
  EXPECT_EQ(RQ7IsSharedMemoryTable(id), 1);
  EXPECT_EQ(Cells(id, alpha_), Expected(alpha_));
  // A view of the file: it cannot be changed.
  int32_t value = 99;
  EXPECT_EQ(RQ7OverwriteRealEx(id, 1, alpha_.qty_filter, 1, 1, &value), Q7_ERROR_SHARED_READ_ONLY);

  // Attached here and in the child.
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SHMTBL_ATTACHED);
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), Q7_ERROR_SHMTBL_ATTACHED);
  EXPECT_EQ(RQ7ShmReleaseAll(), 0);
  child.Say("go");
  EXPECT_EQ(child.Hear(), "0");  // its delete
  EXPECT_EQ(child.Hear(), "0");  // nothing left to detach
  EXPECT_EQ(child.Wait(), 0);

  // Still attached here.
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SHMTBL_ATTACHED);
  EXPECT_EQ(RQ7DeleteTable(id), 0);
  local_tables_.clear();
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
  EXPECT_EQ(RQ7ShmShutdown(), 0);
}

TEST_F(ShmTables, ManyProcessesAttachAtOnce) {
  Save(&alpha_);
  Save(&beta_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoadAll(dir_.path().c_str(), "*"), 2);
  constexpr int kChildren = 4;
  std::vector<std::unique_ptr<Child>> children;
  for (int i = 0; i < kChildren; ++i) {
    children.push_back(std::make_unique<Child>([&](const Child::Link& link) {
      const int a = RQ7ShmAttach("alpha", 0);
      const int b = RQ7ShmAttach("beta", 0);
      link.Say(a > 0 && b > 0 ? Cells(a, alpha_) + Cells(b, beta_) : "attach failed " + std::to_string(a));
      link.Hear();
      link.Say(std::to_string(RQ7DetachAll()));
    }));
    ASSERT_TRUE(children.back()->started());
  }
  for (auto& c : children) EXPECT_EQ(c->Hear(), Expected(alpha_) + Expected(beta_));
  EXPECT_EQ(RQ7ShmReleaseAll(), 0);  // every entry is attached
  for (auto& c : children) {
    c->Say("go");
    EXPECT_EQ(c->Hear(), "2");
    EXPECT_EQ(c->Wait(), 0);
  }
  EXPECT_EQ(RQ7ShmReleaseAll(), 2);
  EXPECT_EQ(RQ7ShmShutdown(), 0);
}

TEST_F(ShmTables, AttachUnderATakenNameIsRefusedAndChangesNothing) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  const int local = q7host::AddTable("alpha", 1);
  ASSERT_GT(local, 0);
  local_tables_.push_back(local);
  const int before = RQ7GetNTable();
  EXPECT_EQ(RQ7ShmAttach("alpha", 0), Q7_ERROR_SHMTBL_LOAD_FAILED);
  EXPECT_EQ(RQ7GetNTable(), before);
  // The refused attach left no attachment behind.
  EXPECT_EQ(RQ7DetachAll(), 0);
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
}

TEST_F(ShmTables, DetachAllDeletesOnlyTheSharedTables) {
  Save(&alpha_);
  Save(&beta_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoadAll(dir_.path().c_str(), "*.Q7T"), 2);
  const int own = q7host::AddTable("own", 2);
  ASSERT_GT(own, 0);
  local_tables_.push_back(own);
  const int a = RQ7ShmAttach("alpha", 1);
  const int b = RQ7ShmAttach("beta", 1);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(RQ7IsSharedMemoryTable(own), 0);
  EXPECT_EQ(RQ7DetachAll(), 2);
  EXPECT_EQ(RQ7DetachAll(), 0);
  EXPECT_EQ(RQ7GetTableIDFromName("own"), own);
  q7host::DrainRing();
  EXPECT_LT(RQ7GetTableIDFromName("alpha"), 0);
  EXPECT_EQ(RQ7ShmReleaseAll(), 2);
}

TEST_F(ShmTables, AnEntryBeingAttachedElsewhereIsBusy) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  // A live process holds the entry lock, as while it attaches.
  Child holder([](const Child::Link& link) { link.Hear(); });
  ASSERT_TRUE(holder.started());
  ASSERT_TRUE(SetEntryOwner("alpha", holder.pid()));
  EXPECT_EQ(RQ7ShmAttach("alpha", 1), Q7_ERROR_SHM_BUSY);  // the third translation
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SEM_BUSY);
  EXPECT_EQ(RQ7ShmReleaseAll(), 0);
  // Once that process has ended its lock is taken over.
  holder.Say("go");
  EXPECT_EQ(holder.Wait(), 0);
  const int id = RQ7ShmAttach("alpha", 1);
  EXPECT_GT(id, 0);
  local_tables_.push_back(id);
  EXPECT_EQ(Cells(id, alpha_), Expected(alpha_));
}

// A process killed while it has a table attached never detaches it: its attachment is dropped when
// the entry's state is next looked at, so the entry can be released and the registry shut down.
TEST_F(ShmTables, AKilledAttachingProcessDoesNotHoldItsEntry) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  Child attacher([](const Child::Link& link) {
    link.Say(RQ7ShmAttach("alpha", 0) > 0 ? "attached" : "failed");
    link.Hear();
  });
  ASSERT_TRUE(attacher.started());
  ASSERT_EQ(attacher.Hear(), "attached");
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SHMTBL_ATTACHED);  // alive: it holds the entry
  kill(attacher.pid(), SIGKILL);
  EXPECT_EQ(attacher.Wait(), -1);
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), Q7_ERROR_SHMTBL_NOT_ATTACHED);
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
  EXPECT_EQ(RQ7ShmShutdown(), 0);
}

TEST_F(ShmTables, AttachRefusals) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  EXPECT_EQ(RQ7ShmAttach("beta", 0), Q7_ERROR_SHMTBL_NOT_REGISTERED);
  EXPECT_EQ(RQ7ShmAttach("alpha", 2), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7ShmAttach(nullptr, 0), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7ShmRelease(nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RQ7ShmLoadAll(dir_.path().c_str(), nullptr), Q7_ERROR_INVALID_PARAMETER);
  // The registered file replaced by a shorter one: the attach is refused and leaves no attachment.
  ASSERT_EQ(RQ7BrowserPutFile(dir_.File("alpha.Q7T").c_str(), 8, "too shor"), 0);
  EXPECT_LT(RQ7ShmAttach("alpha", 0), 0);
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
}

TEST_F(ShmTables, AFileThatCannotBeReadAsATableLeavesNoAttachment) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  // The same size and header, a body of 0xFF bytes: counts and lengths far past the file's end.
  const std::string path = dir_.File("alpha.Q7T");
  const long long size = RQ7BrowserGetFileSize(path.c_str());
  ASSERT_GT(size, 300);
  std::vector<char> head(8192);
  int head_size = 0, head_length = 0;
  ASSERT_EQ(RQ7BrowserGetFile(path.c_str(), &head_size, &head_length, head.data()), 0);
  std::string bytes(head.data(), 260);
  bytes.append(static_cast<size_t>(size) - 260, '\xFF');
  ASSERT_EQ(RQ7BrowserPutFile(path.c_str(), static_cast<int>(bytes.size()), bytes.data()), 0);
  q7host::DrainRing();

  // The refused load reports to the catalog message log of the working directory: the test's own.
  char started_in[4096];
  ASSERT_NE(getcwd(started_in, sizeof started_in), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  const int before = RQ7GetNTable();
  const int code = RQ7ShmAttach("alpha", 0);
  ASSERT_EQ(chdir(started_in), 0);
  EXPECT_LT(code, 0);
  EXPECT_EQ(RQ7GetNTable(), before);
  const auto ring = q7host::DrainRing();
  ASSERT_EQ(ring.size(), 1u);
  EXPECT_EQ(ring[0].api, "RQ7ShmAttach");
  EXPECT_EQ(ring[0].code, code);
  // Not attached: the registration can go.
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
}

TEST_F(ShmTables, ReInitialisingTheEngineDetachesSharedTables) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  ASSERT_GT(RQ7ShmAttach("alpha", 0), 0);
  EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SHMTBL_ATTACHED);
  ASSERT_EQ(RQ7ReInitializeMS(), 0);
  EXPECT_EQ(RQ7GetNTable(), 0);
  // The registry outlives the restart; the attachment does not.
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
  const int id = RQ7ShmAttach("alpha", 0);
  EXPECT_EQ(id, Q7_ERROR_SHMTBL_NOT_REGISTERED);
}

// A host may return from main (or call exit) with a table still attached: the engine's stop then
// detaches it while the process's static objects are being destroyed, and the process still ends
// normally.
TEST_F(ShmTables, AProcessThatExitsWithATableAttachedEndsNormally) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(60);
    if (RQ7ShmAttach("alpha", 0) <= 0) _exit(3);
    exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
  // Its stop detached the table: the registration can go.
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
}

// "first second": a call's answer, then the answer of the call made after it.
std::string Then(int first, int (*second)()) {
  const std::string text = std::to_string(first) + " ";
  return text + std::to_string(second());
}

// A forked child inherits the parent's attached table as part of its copy of the database, but not
// the attachment: whichever way the child gives the table back or ends, the parent's attachment
// stays (its entry cannot be released) and the parent reads on. Each case starts from a fresh
// registration and attachment.
TEST_F(ShmTables, AForkedChildLeavesItsParentsAttachment) {
  Save(&alpha_);
  // A database without shared tables, for the child that loads one in place of its own.
  {
    const int other = q7host::AddTable("other", 1);
    ASSERT_GT(other, 0);
    ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "other"), 0);
    ASSERT_EQ(RQ7DeleteTable(other), 0);
  }
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  const std::string dir = dir_.path();
  const std::string attached = std::to_string(Q7_ERROR_SHMTBL_ATTACHED);
  // What the child does with the inherited table (given its ID) and says; "<end>" when it ends
  // without a word. Unless it has ended, it then leaves through _exit, or through exit with then_exit.
  struct InheritedCase {
    const char* what;
    std::function<std::string(int)> act;
    std::string said;
    bool then_exit;
  };
  const InheritedCase kCases[] = {
      {"ends through exit, as when main returns", [](int) -> std::string { exit(0); }, "<end>", false},
      {"ends through exit on another thread",
       [](int) -> std::string {
         std::thread([] { exit(0); }).detach();
         for (;;) pause();
       },
       "<end>", false},
      {"forks a child of its own, which ends through exit",
       [](int) {
         const pid_t grandchild = fork();
         if (grandchild == 0) exit(0);
         int status = 0;
         if (grandchild < 0 || waitpid(grandchild, &status, 0) != grandchild) return std::string("no child");
         return WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status)) : std::string("killed");
       },
       "exit 0", false},
      {"deletes the table", [](int id) { return Then(RQ7DeleteTable(id), RQ7GetNTable); }, "0 0", false},
      {"detaches all", [](int) { return Then(RQ7DetachAll(), RQ7DetachAll); }, "1 0", false},
      {"clears its database", [](int) { return Then(RQ7ClearDB(), RQ7GetNTable); }, "0 0", false},
      {"loads another database", [&dir](int) { return Then(RQ7LoadDB(dir.c_str(), "other"), RQ7GetNTable); },
       "0 1", false},
      {"re-initialises the engine", [](int) { return Then(RQ7ReInitializeMS(), RQ7GetNTable); }, "0 0",
       false},
      {"tries to release the registration",
       [](int) { return Then(RQ7ShmRelease("alpha"), RQ7ShmReleaseAll); }, attached + " 0", false},
      // Its own attachment, made after giving the inherited table back, is its own to end.
      {"attaches the table itself and ends through exit",
       [this](int id) {
         if (RQ7DeleteTable(id) != 0) return std::string("delete failed");
         const int own = RQ7ShmAttach("alpha", 0);
         return own > 0 ? Cells(own, alpha_) : "attach failed " + std::to_string(own);
       },
       Expected(alpha_), true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(RQ7ShmLoad(dir.c_str(), "alpha"), 0);
    const int id = RQ7ShmAttach("alpha", 0);
    ASSERT_GT(id, 0);
    local_tables_ = {id};
    Child child([&](const Child::Link& link) {
      link.Say(Cells(id, alpha_));
      link.Say(c.act(id));
      if (c.then_exit) exit(0);
      _exit(0);
    });
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.Hear(), Expected(alpha_));  // the child reads the inherited table
    EXPECT_EQ(child.Hear(), c.said);
    EXPECT_EQ(child.Wait(), 0);

    // Still this process's attachment: the entry stays, and the table reads as before.
    EXPECT_EQ(RQ7ShmRelease("alpha"), Q7_ERROR_SHMTBL_ATTACHED);
    EXPECT_EQ(RQ7ShmLoad(dir.c_str(), "alpha"), Q7_ERROR_SHMTBL_ATTACHED);
    EXPECT_EQ(Cells(id, alpha_), Expected(alpha_));
    // Its own detach ends it.
    EXPECT_EQ(RQ7DeleteTable(id), 0);
    local_tables_.clear();
    EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
  }
  EXPECT_EQ(RQ7ShmShutdown(), 0);
}

// A registry the sharing policy refuses (handed to another user, who could rewrite it or hold its
// locks for good) is neither read nor changed, and every call says so: a listing too, which must not
// pass for an empty or missing registry.
TEST_F(ShmTables, ARefusedRegistryIsRefusedByEveryCall) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the registry to another user";
  constexpr uid_t kOtherUser = 65534;
  constexpr gid_t kOtherGroup = 65534;
  Save(&alpha_);
  const std::string object_path = std::string("/dev/shm") + SMCSObjectName();
  for (const bool set_too : {false, true}) {
    SCOPED_TRACE(set_too ? "registry and semaphores handed over" : "registry handed over");
    ClearEverything();
    // Made by another process, so that this one has nothing of it mapped.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      alarm(60);
      if (RQ7ShmSetup(2) != 0 || RQ7ShmLoad(dir_.path().c_str(), "alpha") != 0) _exit(3);
      if (chown(object_path.c_str(), kOtherUser, kOtherGroup) != 0) _exit(4);
      if (set_too) {
        const int set = semget(SMCSSemKey(), 0, 0);
        semid_ds ds{};
        Q7SemArg arg;
        arg.buf = &ds;
        if (set < 0 || semctl(set, 0, IPC_STAT, arg) != 0) _exit(5);
        ds.sem_perm.uid = kOtherUser;
        ds.sem_perm.gid = kOtherGroup;
        if (semctl(set, 0, IPC_SET, arg) != 0) _exit(6);
      }
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    std::vector<char> names(256 * 4, 'x');
    int count = 7;
    const std::string dump = dir_.File(set_too ? "refused-both.dump" : "refused.dump");
    const q7host::RefusalCase kCases[] = {
        {"setup", [] { return RQ7ShmSetup(2); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"load", [&] { return RQ7ShmLoad(dir_.path().c_str(), "alpha"); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"attach", [] { return RQ7ShmAttach("alpha", 0); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"release", [] { return RQ7ShmRelease("alpha"); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"release all", [] { return RQ7ShmReleaseAll(); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"shut down", [] { return RQ7ShmShutdown(); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"list",
         [&] { return RQ7GetSharedMemoryTableList(names.data(), &count); },
         Q7_ERROR_ACCESS_DENIED,
         {}},
        {"list ex",
         [&] { return RQ7GetSharedMemoryTableListEx(names.data(), &count); },
         Q7_ERROR_ACCESS_DENIED,
         {}},
        // The registry's refusal, not one file's: with matching files and without.
        {"load all", [&] { return RQ7ShmLoadAll(dir_.path().c_str(), "*"); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"load all, no match",
         [&] { return RQ7ShmLoadAll(dir_.path().c_str(), "none*"); },
         Q7_ERROR_ACCESS_DENIED,
         {}},
        {"dump", [&] { return RQ7ShmDumpSMCS(dump.c_str()); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"detach all", [] { return RQ7DetachAll(); }, Q7_ERROR_ACCESS_DENIED, {}},
        {"clear", [] { return RQ7ClearSharedMemory(); }, Q7_ERROR_ACCESS_DENIED, {}},
    };
    for (const auto& c : kCases) {
      SCOPED_TRACE(c.what);
      EXPECT_EQ(c.call(), c.code);
      EXPECT_EQ(q7host::DrainRing(), c.ring);
    }
    EXPECT_EQ(names[0], 'x');  // no name was copied
    // The count: left alone by the list, 0 (no names) from the Ex form.
    count = 7;
    EXPECT_EQ(RQ7GetSharedMemoryTableList(names.data(), &count), Q7_ERROR_ACCESS_DENIED);
    EXPECT_EQ(count, 7);
    count = 3;
    EXPECT_EQ(RQ7GetSharedMemoryTableListEx(nullptr, &count), Q7_ERROR_ACCESS_DENIED);
    EXPECT_EQ(count, 0);
    // Nothing was written, not even an empty file.
    struct stat st;
    EXPECT_NE(stat(dump.c_str(), &st), 0);
    // Nothing was removed.
    EXPECT_EQ(stat(object_path.c_str(), &st), 0);
    EXPECT_GE(semget(SMCSSemKey(), 0, 0), 0);

    shm_unlink(SMCSObjectName());
    const int set = semget(SMCSSemKey(), 0, 0);
    if (set >= 0) semctl(set, 0, IPC_RMID);
  }
}

TEST_F(ShmTables, ClearRemovesARegistryInUse) {
  Save(&alpha_);
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  const int id = RQ7ShmAttach("alpha", 0);
  ASSERT_GT(id, 0);
  local_tables_.push_back(id);
  EXPECT_EQ(RQ7ClearSharedMemory(), 0);
  // The attached table keeps its mapped file.
  EXPECT_EQ(Cells(id, alpha_), Expected(alpha_));
  EXPECT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), Q7_ERROR_SMCS_NOT_SET_UP);
  EXPECT_EQ(RQ7ClearSharedMemory(), 0);  // nothing left to clear
  EXPECT_EQ(RQ7DeleteTable(id), 0);
  local_tables_.clear();
}

}  // namespace
