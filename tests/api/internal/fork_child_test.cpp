// A host that forks after loading the engine: the child searches, sorts, imports and summarises on
// the worker pool (whose threads stayed in the parent), also when the fork was made while other
// host threads were inside the engine or from inside a call, and the parent goes on as before.
//
// A child reports through its exit status only (0, or the number of the step that failed) and
// leaves through _exit; the parent kills a child that has not ended in time, so a hang fails the
// test instead of holding it up. The pool seams bring small tables to the pool. (Not a threads
// test: ThreadSanitizer would end every child that starts a thread.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "database/ValueSelection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"
#include "foundation/mpp_func_map.h"
#include "foundation/mpp_tasks.h"
#include "import/CCMultiThreadImport.h"
#include "q7api.h"
#include "tests/api/host_test_support.h"

namespace {

// AddressSanitizer's allocator (GCC 12's) does not guard itself across fork: a child forked while
// another thread is inside malloc may wait for that thread's allocator lock for good, whatever the
// engine does. The tests that fork beside running threads need the C library's malloc.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMallocSurvivesFork = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMallocSurvivesFork = false;
#else
constexpr bool kMallocSurvivesFork = true;
#endif
#else
constexpr bool kMallocSurvivesFork = true;
#endif

constexpr int kRows = 20000;
constexpr int kGroups = 7;
constexpr int kImportRows = 5000;
constexpr auto kChildLimit = std::chrono::seconds(120);

// The child's exit status; -1 when it was killed by a signal or had to be killed because it had
// not ended within the limit. (Polling: a process end cannot be waited for with a time-out.)
int WaitForChild(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kChildLimit;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Runs body in a forked child and returns its exit status (see WaitForChild).
int InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 255;
    try {
      rc = body();
    } catch (...) {
    }
    _exit(rc);
  }
  if (pid < 0) return -1;
  return WaitForChild(pid);
}

// Restores the seams however the test ends.
struct PoolSeams {
  PoolSeams() {
    SetSearchPoolMinRowsForTest(0);
    CCMultiThreadImport::SetWindowSizeForTest(4096);
  }
  ~PoolSeams() {
    SetSearchPoolMinRowsForTest(-1);
    CCMultiThreadImport::SetWindowSizeForTest(0);
  }
};

// A table of kRows records: k INTEGER (501 values), g STRING (kGroups groups), v INTEGER (0..9),
// with the host's copy of every column as the reference.
struct Table {
  int id = 0, k = 0, g = 0, v = 0;
  std::vector<int> keys, values;
  std::vector<std::string> groups;
};

Table MakeTable(const char* name) {
  Table t;
  t.id = q7host::AddTable(name, kRows);
  for (int r = 0; r < kRows; ++r) {
    t.keys.push_back((r * 37) % 501);
    t.groups.push_back("g" + std::to_string(r % kGroups));
    t.values.push_back(r % 10);
  }
  t.k = q7host::AddIntColumn(t.id, "k", t.keys);
  t.g = q7host::AddStringColumn(t.id, "g", t.groups);
  t.v = q7host::AddIntColumn(t.id, "v", t.values);
  return t;
}

// Each check returns 0 when the engine's result matches the reference, else a step number. The
// sets and tables they make are deleted again, so a check can run any number of times.

int CheckSearch(const Table& t) {
  const int from = 100, to = 200;
  std::vector<int> want;
  for (int r = 0; r < kRows; ++r) {
    if (t.keys[r] >= from && t.keys[r] <= to) want.push_back(r + 1);
  }
  const int set = RQ7SearchByField(t.id, t.k, 1, 1, reinterpret_cast<const char*>(&from),
                                   reinterpret_cast<const char*>(&to));
  if (set <= 0) return 10;
  const bool same = q7host::ReadSet(t.id, set) == want;
  RQ7DeleteSet(t.id, set);
  return same ? 0 : 11;
}

int CheckSort(const Table& t) {
  const int set = RQ7SortByField(t.id, t.k, 1, 1);
  if (set <= 0) return 20;
  const std::vector<int> rows = q7host::ReadSet(t.id, set);
  RQ7DeleteSet(t.id, set);
  if (static_cast<int>(rows.size()) != kRows) return 21;
  std::vector<int> seen(kRows + 1, 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i] < 1 || rows[i] > kRows || seen[rows[i]]++ != 0) return 22;
    if (i > 0 && t.keys[rows[i - 1] - 1] < t.keys[rows[i] - 1]) return 23;  // descending
  }
  return 0;
}

int CheckSummary(const Table& t) {
  std::map<std::string, long> want;
  for (int r = 0; r < kRows; ++r) want[t.groups[r]] += t.values[r];
  const int dims[] = {t.g};
  const int measures[] = {t.v};
  const int masks[] = {8};  // SUM
  const int out = RQ7NonCubeSum(t.id, 1, 1, dims, 1, measures, masks, nullptr);
  if (out <= 0) return 30;
  int ids[8] = {};
  const int columns = RQ7GetFilterIDList(out, ids);
  std::map<std::string, long> got;
  for (int r = 1; columns == 2 && r <= RQ7GetTotalRows(out); ++r) {
    got[q7host::CellText(out, ids[0], r)] = std::stol(q7host::CellText(out, ids[1], r));
  }
  RQ7DeleteTable(out);
  if (columns != 2) return 31;
  return got == want ? 0 : 32;
}

// The import source: kImportRows lines "n,text"; many windows with the seam's window size.
struct ImportSource {
  q7host::TempDir dir;
  ImportSource() {
    std::ofstream(dir.File("cat.txt")) << "//CSV\n//ERROR\tSTOP\nI\t8\tN\nA\t12\tTEXT\n";
    std::ofstream source(dir.File("rows.csv"));
    for (int r = 0; r < kImportRows; ++r) source << r * 3 << ",t" << r % 97 << "\n";
  }
};

int CheckImport(const ImportSource& source) {
  const std::string dir = source.dir.path();
  const int table = RQ7AddCatalogFileEx2(dir.c_str(), "cat.txt", dir.c_str(), "rows.csv", "imported");
  if (table <= 0) return 40;
  int ids[4] = {};
  int rc = RQ7GetFilterIDList(table, ids) == 2 && RQ7GetTotalRows(table) == kImportRows ? 0 : 41;
  for (int r = 0; rc == 0 && r < kImportRows; ++r) {
    if (q7host::CellText(table, ids[0], r + 1) != std::to_string(r * 3) ||
        q7host::CellText(table, ids[1], r + 1) != "t" + std::to_string(r % 97)) {
      rc = 42;
    }
  }
  RQ7DeleteTable(table);
  return rc;
}

// A task run on every worker of the pool, each marking its own slot. It takes the place of the
// parallel memset's task, so only children may register it.
std::atomic<int> g_marks[256];
int MarkWorker(void* param) {
  const int index = static_cast<MppThreadParam*>(param)->header.index;
  if (index >= 0 && index < 256) g_marks[index].fetch_add(1);
  return 0;
}

int CheckEveryWorker() {
  CSmpEngine* engine = CSmpEngine::Instance();
  const int workers = std::min(engine->ThreadCount(), 256);
  for (auto& mark : g_marks) mark.store(0);
  RegisterMppTask(kMppTaskMemset, MarkWorker);
  try {
    engine->run_threads_task(workers, kMppTaskMemset);
  } catch (...) {
    return 50;
  }
  for (int i = 0; i < workers; ++i) {
    if (g_marks[i].load() != 1) return 51;
  }
  return 0;
}

int CheckAll(const Table& t) {
  for (const auto& check : {CheckSearch, CheckSort, CheckSummary}) {
    if (const int rc = check(t); rc != 0) return rc;
  }
  return 0;
}

// What a child checks: everything, the direct run on every worker last.
int CheckAllInChild(const Table& t) {
  const int rc = CheckAll(t);
  return rc != 0 ? rc : CheckEveryWorker();
}

class ForkedChild : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = MakeTable("forked");
    ASSERT_GT(table_.v, 0);
  }
  void TearDown() override { RQ7DeleteTable(table_.id); }

  PoolSeams seams_;
  Table table_;
};

TEST_F(ForkedChild, SearchesSortsImportsAndSummarisesOnThePool) {
  ImportSource source;
  // The parent's pool has run (its threads wait at their gates) before each fork.
  ASSERT_EQ(CheckSort(table_), 0);
  struct Case {
    const char* name;
    std::function<int()> body;
  };
  const Case cases[] = {
      {"search", [&] { return CheckSearch(table_); }},
      {"sort", [&] { return CheckSort(table_); }},
      {"import", [&] { return CheckImport(source); }},
      {"summary", [&] { return CheckSummary(table_); }},
      {"every worker", [] { return CheckEveryWorker(); }},
      {"all in turn, twice",
       [&] {
         for (int round = 0; round < 2; ++round) {
           if (const int rc = CheckAllInChild(table_); rc != 0) return rc;
         }
         return CheckImport(source);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(InChild(c.body), 0);
  }
  // The parent's pool is untouched by its children.
  EXPECT_EQ(CheckAll(table_), 0);
  EXPECT_EQ(CheckImport(source), 0);
}

TEST_F(ForkedChild, AChildOfAChildStillReachesThePool) {
  EXPECT_EQ(InChild([&] {
              if (const int rc = CheckAllInChild(table_); rc != 0) return rc;
              const int grandchild = InChild([&] { return CheckAllInChild(table_); });
              return grandchild == 0 ? 0 : 60;
            }),
            0);
}

// Host threads keep calling the engine (their calls reach the pool) while two other threads fork,
// at the same time: each fork waits for the call under way, and every child finds each lock free
// and the data whole.
TEST_F(ForkedChild, ForkWhileOtherHostThreadsAreInsideTheEngine) {
  if (!kMallocSurvivesFork) GTEST_SKIP() << "the sanitizer's malloc does not survive a fork beside threads";
  constexpr int kThreads = 3;
  constexpr int kForkers = 2;
  constexpr int kForks = 4;
  std::vector<Table> tables;
  for (int i = 0; i < kThreads; ++i) tables.push_back(MakeTable(("busy" + std::to_string(i)).c_str()));
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::latch started(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      bool counted = false;
      while (!stop.load()) {
        if (CheckSearch(tables[i]) != 0 || CheckSort(tables[i]) != 0) failures.fetch_add(1);
        if (!counted) started.count_down();
        counted = true;
      }
    });
  }
  started.wait();
  std::vector<int> statuses(kForkers * kForks, -2);
  std::vector<std::thread> forkers;
  for (int f = 0; f < kForkers; ++f) {
    forkers.emplace_back([&, f] {
      for (int n = 0; n < kForks; ++n) {
        statuses[f * kForks + n] = InChild([&] {
          for (const Table& t : tables) {
            if (const int rc = CheckAll(t); rc != 0) return rc;
          }
          return CheckAllInChild(table_);
        });
      }
    });
  }
  for (auto& forker : forkers) forker.join();
  stop.store(true);
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(statuses, std::vector<int>(kForkers * kForks, 0));
  EXPECT_EQ(failures.load(), 0);
  for (const Table& t : tables) RQ7DeleteTable(t.id);
}

// A fork from inside a call (a row callback, which runs under the engine lock): the fork does not
// wait for the lock its own thread holds, and in the child the call returns and frees it. The
// forking process is itself a child, so that a fork that waited for good would end as a failure.
pid_t g_callback_child = -1;
int ForkInCallback(int, int, int, int, int, int, int, _TColumnBuf*) {
  g_callback_child = fork();
  return -1;  // stop the walk
}

TEST_F(ForkedChild, ForkFromInsideACallLeavesBothProcessesUsable) {
  EXPECT_EQ(InChild([&] {
              const int columns[] = {table_.k, 0};
              const int walked = Q7RowInfoCallBack(0, table_.id, 1, columns, ForkInCallback);
              if (g_callback_child == 0) _exit(walked != 1 ? 70 : CheckAllInChild(table_));
              if (g_callback_child < 0 || walked != 1) return 71;
              if (const int rc = WaitForChild(g_callback_child); rc != 0) return rc;
              return CheckAll(table_);
            }),
            0);
}

// A child that cannot start threads gets the pool's code at once from a call that needs the pool.
TEST_F(ForkedChild, AChildWithoutThreadsGetsACodeNotAHang) {
  EXPECT_EQ(InChild([&] {
              CWorkThread::FailThreadCreationForTest(true);
              if (RQ7SortByField(table_.id, table_.k, 1, 0) != Q7_ERROR_WORKER_DIED) return 80;
              CWorkThread::FailThreadCreationForTest(false);
              return CheckAllInChild(table_);
            }),
            0);
}

}  // namespace
