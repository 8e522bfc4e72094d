// A host that ends (main returns, or calls exit) while another of its threads is inside a call: the
// engine's stop at the process's end neither crashes nor hangs, and leaves the shared-table registry
// usable by the processes that stay. Calls made after the stop answer at once, and signals sent to
// the process reach the host's threads, not the engine's workers.
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

// An exit handler that runs after the engine's stop: registered before the engine starts (this
// constructor runs before the program's ordinary static initialisers, the engine's among them), so
// it runs after the engine's own stop at exit, as a handler that a host registered before loading
// the library does. A child arms it; it then makes one call, which must answer Q7_ERROR_UNKNOWN.
namespace {
std::atomic<bool> g_late_handler_armed{false};

void LateExitHandler() {
  if (!g_late_handler_armed.load()) return;
  if (RQ7GetNTable() != Q7_ERROR_UNKNOWN) _exit(7);
}
}  // namespace

__attribute__((constructor(101))) static void RegisterLateExitHandler() { atexit(LateExitHandler); }

namespace {

// Large enough that a sort or a search keeps the workers busy for a while.
constexpr int kRows = 1 << 19;
// A child that has not ended by then has hung (or crashed in its stop): SIGALRM ends it.
constexpr unsigned kChildSeconds = 60;

// How a child ended, as text: "exit 0" is the only good answer.
std::string Ending(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// Runs `child` in a fresh child process, which it must end (exit, _exit or a signal), and returns
// how the child ended; a child that has not ended after kChildSeconds is ended by SIGALRM.
std::string EndingOfChild(const std::function<void()>& child) {
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    alarm(kChildSeconds);
    child();
    _exit(6);  // the child did not end
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return "waitpid failed";
  return Ending(status);
}

// Runs `busy` in a loop on a second thread of a fresh child; once it has gone round once, the child
// waits `delay` and then ends through exit(0), as a main that returns does. Returns how it ended.
std::string EndWhileBusy(const std::function<bool()>& busy, std::chrono::milliseconds delay) {
  return EndingOfChild([&] {
    std::atomic<int> rounds{0};
    std::thread([&] {
      for (;;) {
        if (!busy()) _exit(5);
        rounds.fetch_add(1);
        rounds.notify_all();
      }
    }).detach();
    rounds.wait(0);
    std::this_thread::sleep_for(delay);
    exit(0);
  });
}

// Set by the row callback once it runs inside its call; the callbacks below never return.
std::atomic<int> g_in_callback{0};

int EndFromInsideTheCall(int, int, int, int, int, int, int, _TColumnBuf*) { exit(0); }

int NeverReturn(int, int, int, int, int, int, int, _TColumnBuf*) {
  g_in_callback.store(1);
  g_in_callback.notify_all();
  for (;;) pause();
}

class ExitWhileCalling : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    std::vector<int32_t> values(kRows);
    // Many distinct values in no order, so the sort has real work.
    for (int i = 0; i < kRows; ++i) values[i] = static_cast<int32_t>((i * 7919L) % 100003);
    table_ = q7host::AddTable("busy", kRows);
    ASSERT_GT(table_, 0);
    filter_ = q7host::AddIntColumn(table_, "k", values);
    ASSERT_GT(filter_, 0);
  }
  void TearDown() override {
    RQ7DeleteTable(table_);
    RQ7DetachAll();
    RQ7ClearSharedMemory();
  }

  // One round of a query loop: sort, search the sorted set, delete both sets.
  bool SortSearchDelete() const {
    const int sorted = RQ7SortByField(table_, filter_, 1, Q7_SORT_DESCENDING);
    if (sorted <= 0) return false;
    const int32_t from = 100;
    const int32_t to = 60000;
    const int found =
        RQ7SearchByField(table_, filter_, sorted, Q7_SEARCH_BETWEEN, reinterpret_cast<const char*>(&from),
                         reinterpret_cast<const char*>(&to));
    if (found <= 0) return false;
    return RQ7DeleteSet(table_, found) == 0 && RQ7DeleteSet(table_, sorted) == 0;
  }

  // Calls exit while a walk of the table on another thread sits in a callback that never returns.
  [[noreturn]] void ExitWhileACallNeverReturns(const int* columns) const {
    std::thread([this, columns] {
      Q7RowInfoCallBack(0, table_, 1, columns, NeverReturn);
      _exit(6);
    }).detach();
    g_in_callback.wait(0);
    exit(0);
  }

  q7host::TempDir dir_;
  int table_ = 0;
  int filter_ = 0;
};

TEST_F(ExitWhileCalling, EndingDuringSortsAndSearchesEndsNormally) {
  for (const int ms : {0, 1, 5, 20, 50, 100}) {
    SCOPED_TRACE(std::to_string(ms) + " ms");
    EXPECT_EQ(EndWhileBusy([this] { return SortSearchDelete(); }, std::chrono::milliseconds(ms)), "exit 0");
  }
}

// A call that never returns holds the engine: the stop's wait runs out (or, when the host ends from
// inside the call itself, is not even started) and the process must end all the same, leaving what
// the call uses alone.
TEST_F(ExitWhileCalling, EndingWhileACallNeverReturnsEndsNormally) {
  const int columns[] = {filter_, 0};
  EXPECT_EQ(EndingOfChild([&] { Q7RowInfoCallBack(0, table_, 1, columns, EndFromInsideTheCall); }), "exit 0")
      << "ended from inside the call";
  EXPECT_EQ(EndingOfChild([&] { ExitWhileACallNeverReturns(columns); }), "exit 0")
      << "ended by another thread";
}

// With shared tables attached, one of them kept and one attached, saved and dropped again in a loop:
// the process ends normally, and what it held of the registry is free for the processes that stay.
TEST_F(ExitWhileCalling, EndingWithSharedTablesAttachedLeavesTheRegistryUsable) {
  for (const char* name : {"alpha", "beta"}) {
    const int id = q7host::AddTable(name, kRows / 4);
    ASSERT_GT(id, 0);
    std::vector<int32_t> values(kRows / 4);
    std::iota(values.begin(), values.end(), 0);
    ASSERT_GT(q7host::AddIntColumn(id, "n", values), 0);
    ASSERT_EQ(RQ7SaveRealTable(dir_.path().c_str(), id), 0);
    ASSERT_EQ(RQ7DeleteTable(id), 0);
  }
  ASSERT_EQ(RQ7ShmSetup(4), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "alpha"), 0);
  ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "beta"), 0);
  q7host::TempDir out;
  ASSERT_TRUE(out.ok());
  const auto attach_save_drop = [&out] {
    const int id = RQ7ShmAttach("beta", 0);
    if (id <= 0) return false;
    return RQ7SaveRealTable(out.path().c_str(), id) == 0 && RQ7DeleteTable(id) == 0;
  };
  for (const int ms : {0, 2, 10, 40}) {
    SCOPED_TRACE(std::to_string(ms) + " ms");
    const std::string ending = EndWhileBusy(
        [&] {
          static const bool kept = RQ7ShmAttach("alpha", 0) > 0;
          return kept && attach_save_drop();
        },
        std::chrono::milliseconds(ms));
    EXPECT_EQ(ending, "exit 0");
  }
  // Every child is gone: nothing of theirs holds either table.
  EXPECT_EQ(RQ7ShmRelease("alpha"), 0);
  EXPECT_EQ(RQ7ShmRelease("beta"), 0);
}

// Calls made at the end: from an exit handler on the thread that ends while it is inside a call
// (a row callback that calls exit), and from an exit handler that runs after the engine's stop,
// whether the stop ran or was skipped. Each answers Q7_ERROR_UNKNOWN at once; none waits on the
// lock its own thread holds or on a call that never returns.
void EarlyHandlerCall() {
  if (RQ7GetNTable() != Q7_ERROR_UNKNOWN) _exit(7);
}

TEST_F(ExitWhileCalling, CallsAtTheEndAnswerAtOnce) {
  const int columns[] = {filter_, 0};
  const struct {
    const char* name;
    std::function<void()> child;
  } cases[] = {
      {"exit inside a callback, a handler registered later calls",
       [&] {
         atexit(EarlyHandlerCall);
         Q7RowInfoCallBack(0, table_, 1, columns, EndFromInsideTheCall);
       }},
      {"exit inside a callback, a handler after the stop calls",
       [&] {
         g_late_handler_armed.store(true);
         Q7RowInfoCallBack(0, table_, 1, columns, EndFromInsideTheCall);
       }},
      {"a call never returns, a handler after the skipped stop calls",
       [&] {
         g_late_handler_armed.store(true);
         ExitWhileACallNeverReturns(columns);
       }},
      {"the stop ran, a handler after it calls",
       [&] {
         g_late_handler_armed.store(true);
         if (!SortSearchDelete()) _exit(5);
         exit(0);
       }},
  };
  for (const auto& c : cases) EXPECT_EQ(EndingOfChild(c.child), "exit 0") << c.name;
}

// A call made from inside a row callback, on the thread that holds the engine, answers at once
// instead of waiting on itself.
int CallFromInsideTheCall(int, int, int, int, int, int, int, _TColumnBuf*) {
  return RQ7GetNTable() == Q7_ERROR_UNKNOWN && Q7GetNTable() == Q7_ERROR_UNKNOWN &&
                 RQ7ReInitializeMS() == Q7_ERROR_UNKNOWN
             ? -1
             : -2;
}

TEST_F(ExitWhileCalling, ACallFromInsideACallbackAnswersAtOnce) {
  EXPECT_EQ(EndingOfChild([&] {
              const int columns[] = {filter_, 0};
              // The callback's -1 stops the walk, which then returns 1; -2 is no stop.
              const int walked = Q7RowInfoCallBack(0, table_, 1, columns, CallFromInsideTheCall);
              _exit(walked == 1 && RQ7GetNTable() >= 1 ? 0 : 7);
            }),
            "exit 0");
}

// The threads of this process other than the calling one: in a fresh child that has run a parallel
// call, the engine's workers.
std::vector<pid_t> OtherThreads() {
  std::vector<pid_t> tids;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return tids;
  const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
  while (const dirent* entry = readdir(dir)) {
    const pid_t tid = static_cast<pid_t>(atoi(entry->d_name));
    if (tid > 0 && tid != self) tids.push_back(tid);
  }
  closedir(dir);
  return tids;
}

void ExitOnSignal(int) { exit(0); }

// A host that takes SIGTERM on its own terms (blocked in its threads, then taken with sigwait or by a
// handler once it unblocks it) gets it: the engine's workers do not take it for the host, where its
// default action would end the process or a handler that calls exit would run the stop on a worker.
// And a stop that does run on a worker (a fault signal's handler that calls exit there) ends the
// process normally instead of joining the worker's own thread.
TEST_F(ExitWhileCalling, SignalsMeantForTheHostReachTheHost) {
  const auto with_sigterm_blocked = [](const std::function<void(const sigset_t&)>& then) {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    kill(getpid(), SIGTERM);
    then(term);
  };
  const struct {
    const char* name;
    std::function<void()> host;
  } cases[] = {
      {"SIGTERM blocked, then taken by sigwait",
       [&] {
         with_sigterm_blocked([](const sigset_t& term) {
           int taken = 0;
           _exit(sigwait(&term, &taken) == 0 && taken == SIGTERM ? 0 : 7);
         });
       }},
      {"SIGTERM blocked, then taken by a handler that calls exit",
       [&] {
         signal(SIGTERM, ExitOnSignal);
         with_sigterm_blocked([](const sigset_t& term) { pthread_sigmask(SIG_UNBLOCK, &term, nullptr); });
       }},
      {"SIGSYS on a worker, its handler calls exit",
       [] {
         signal(SIGSYS, ExitOnSignal);
         const std::vector<pid_t> workers = OtherThreads();
         if (workers.empty()) _exit(9);
         syscall(SYS_tgkill, getpid(), workers.front(), SIGSYS);
         for (;;) pause();
       }},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EndingOfChild([&] {
                // The child's workers start here, on a thread that blocks nothing.
                if (!SortSearchDelete()) _exit(5);
                c.host();
              }),
              "exit 0")
        << c.name;
  }
}

}  // namespace
