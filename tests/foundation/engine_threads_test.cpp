// The worker pool, the write mutex, re-initialisation and the parallel fill and copy.
// Nothing here assumes a worker count; tests needing two workers skip on a one-worker engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <latch>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_func_map.h"
#include "foundation/zpk_memory.h"
#include "tests/support/test_support.h"

namespace {

using q7test::CodeOf;

// Row 11 never carries a task of its own, so tests may borrow it.
constexpr int kTestTask = 11;

// Puts a function into a row of the task table for one scope.
class ScopedTask {
 public:
  ScopedTask(int row, MppTaskFunc func) : row_(row), saved_(mpp_func_map[row].func) {
    mpp_func_map[row].func = func;
  }
  ~ScopedTask() { mpp_func_map[row_].func = saved_; }

 private:
  int row_;
  MppTaskFunc saved_;
};

int WorkerIndex(void* param) { return static_cast<MppThreadParam*>(param)->header.index; }

// ---- Shared state of the test tasks (reset by each test before it runs a task) ----
constexpr int kMaxWorkers = 1024;
std::thread::id g_thread_of[kMaxWorkers];
int g_codes[kMaxWorkers];
std::atomic<bool> g_done[kMaxWorkers];
std::latch* g_others_done = nullptr;

int RecordThread(void* param) {
  g_thread_of[WorkerIndex(param)] = std::this_thread::get_id();
  return WorkerIndex(param);
}

CSmpEngine* Eng() { return CSmpEngine::Instance(); }

int Workers() { return Eng()->ActiveThreads(); }

std::set<std::thread::id> RecordAllThreads() {
  const int n = Workers();
  Eng()->run_threads_task(n, kTestTask);
  std::set<std::thread::id> ids(g_thread_of, g_thread_of + n);
  return ids;
}

TEST(WorkerPool, EachWorkerRunsItsOwnBlockOnItsOwnThread) {
  ScopedTask task(kTestTask, RecordThread);
  const int n = Workers();
  ASSERT_GE(n, 1);
  for (int i = 0; i < n; ++i) ASSERT_NE(Eng()->get_thread_param(i), nullptr);
  EXPECT_EQ(Eng()->get_thread_param(-1), nullptr);
  EXPECT_EQ(Eng()->get_thread_param(Eng()->ThreadCount()), nullptr);

  const std::set<std::thread::id> ids = RecordAllThreads();
  EXPECT_EQ(static_cast<int>(ids.size()), n);
  EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
  EXPECT_EQ(Eng()->get_wkthreads_retcode(n), n - 1);
}

int ReturnTableCode(void* param) {
  const int i = WorkerIndex(param);
  if (i == 0) {
    // The first failure in worker order finishes last.
    g_others_done->wait();
  }
  const int code = g_codes[i];
  g_done[i].store(true);
  if (i != 0) g_others_done->count_down();
  return code;
}

TEST(WorkerPool, ThrowsFirstNegativeResultInWorkerOrderAfterAllFinished) {
  const int n = Workers();
  if (n < 2) GTEST_SKIP() << "needs two workers";
  ScopedTask task(kTestTask, ReturnTableCode);
  std::latch others(n - 1);
  g_others_done = &others;
  g_codes[0] = Q7_ERROR_OUT_OF_MEMORY;
  for (int i = 1; i < n; ++i) g_codes[i] = (i % 2 == 1) ? Q7_ERROR_OUT_OF_RANGE : 5;
  for (int i = 0; i < n; ++i) g_done[i].store(false);

  int thrown = 0;
  try {
    Eng()->run_threads_task(n, kTestTask);
  } catch (const CQ7Exception& e) {
    thrown = e.ErrorCode();
    EXPECT_STREQ(e.Message(), "");
  }
  EXPECT_EQ(thrown, Q7_ERROR_OUT_OF_MEMORY);
  for (int i = 0; i < n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(g_done[i].load());
    EXPECT_EQ(Eng()->get_wkthread_retcode(i), g_codes[i]);
  }
  EXPECT_EQ(Eng()->get_wkthreads_retcode(n), Q7_ERROR_OUT_OF_MEMORY);
  g_others_done = nullptr;
}

TEST(WorkerPool, NonNegativeResultsDoNotThrow) {
  ScopedTask task(kTestTask, RecordThread);
  EXPECT_NO_THROW(Eng()->run_threads_task(Workers(), kTestTask));
}

std::atomic<int> g_calls{0};
int CountCall(void*) {
  g_calls.fetch_add(1);
  return Q7_ERROR_OUT_OF_MEMORY;
}

TEST(WorkerPool, ZeroWorkersStartsNothing) {
  ScopedTask task(kTestTask, CountCall);
  g_calls.store(0);
  EXPECT_NO_THROW(Eng()->run_threads_task(0, kTestTask));
  EXPECT_NO_THROW(Eng()->run_threads_task(-3, kTestTask));
  EXPECT_EQ(g_calls.load(), 0);
  EXPECT_EQ(Eng()->get_wkthreads_retcode(0), 0);
}

TEST(WorkerPool, RefusesTaskIdsWithoutRowsAndStaysUsable) {
  for (int bad : {0, -1, kMppTaskCount}) {
    SCOPED_TRACE(bad);
    try {
      Eng()->run_threads_task(Workers(), bad);
      ADD_FAILURE() << "no exception";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_UNKNOWN);
    }
  }
  ScopedTask task(kTestTask, RecordThread);
  EXPECT_EQ(static_cast<int>(RecordAllThreads().size()), Workers());
}

TEST(WorkerPool, MissingWorkerSlotGivesUnknownWithoutHanging) {
  ScopedTask task(kTestTask, RecordThread);
  const int existing = Eng()->ThreadCount();
  EXPECT_EQ(CodeOf([&] { Eng()->run_threads_task(existing + 1, kTestTask); }), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(Eng()->get_wkthread_retcode(existing), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(Eng()->get_wkthread_retcode(existing - 1), existing - 1);
}

// What the last worker throws, and the code the run reports for it.
struct ThrowCase {
  const char* name;
  void (*raise)();
  int want;
};
char g_plain_text[] = "a plain text";
const ThrowCase kThrows[] = {
    {"engine code", [] { throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY); }, Q7_ERROR_OUT_OF_MEMORY},
    {"engine message", [] { throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE, "bad %d", 1); }, Q7_ERROR_OUT_OF_RANGE},
    {"engine code 0", [] { throw CQ7Exception(g_plain_text); }, Q7_ERROR_WORKER_DIED},
    {"failed allocation", [] { throw std::bad_alloc(); }, Q7_ERROR_OUT_OF_MEMORY},
    {"std exception", [] { throw std::runtime_error("x"); }, Q7_ERROR_WORKER_DIED},
    {"int", [] { throw 7; }, Q7_ERROR_WORKER_DIED},
};
const ThrowCase* g_throw = nullptr;

int ThrowOnLastWorker(void* param) {
  const int i = WorkerIndex(param);
  g_thread_of[i] = std::this_thread::get_id();
  if (i == CSmpEngine::Instance()->ActiveThreads() - 1) g_throw->raise();
  return 0;
}

TEST(WorkerPool, ThrowingTaskIsReportedAndWorkerStaysAlive) {
  const int n = Workers();
  ScopedTask record(kTestTask, RecordThread);
  const std::set<std::thread::id> before = RecordAllThreads();
  for (const auto& c : kThrows) {
    SCOPED_TRACE(c.name);
    g_throw = &c;
    {
      ScopedTask task(kTestTask, ThrowOnLastWorker);
      int thrown = 0;
      try {
        Eng()->run_threads_task(n, kTestTask);
      } catch (const CQ7Exception& e) {
        thrown = e.ErrorCode();
      }
      EXPECT_EQ(thrown, c.want);
    }
    // The same threads serve the next task: none ended.
    EXPECT_EQ(RecordAllThreads(), before);
  }
}

int g_shared_counter = 0;
constexpr int kIncrements = 2000;
int IncrementUnderWriteLock(void*) {
  for (int k = 0; k < kIncrements; ++k) {
    CSmpEngine::Instance()->mt_write_lock();
    ++g_shared_counter;
    CSmpEngine::Instance()->mt_write_unlock();
  }
  return 0;
}

TEST(WorkerPool, WriteMutexSerialisesWorkers) {
  ScopedTask task(kTestTask, IncrementUnderWriteLock);
  g_shared_counter = 0;
  Eng()->run_threads_task(Workers(), kTestTask);
  EXPECT_EQ(g_shared_counter, Workers() * kIncrements);
}

TEST(WorkerPool, StepByStepCallsMatchRunThreadsTask) {
  ScopedTask task(kTestTask, RecordThread);
  const int n = Workers();
  Eng()->setup_task2(n, kTestTask);
  for (int i = 0; i < n; ++i) EXPECT_EQ(Eng()->get_wkthread_retcode(i), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(Eng()->resume_wkthreads(-1), 0);
  Eng()->wait_until_finish(n);
  for (int i = 0; i < n; ++i) EXPECT_EQ(Eng()->get_wkthread_retcode(i), i);
  EXPECT_EQ(Eng()->get_wkthreads_retcode(n), n - 1);
}

// ---- Re-initialisation ----

// A stand-in collection: the engine only creates, holds and deletes it.
struct FakeCollection {
  int tables = 0;
};
std::atomic<int> g_fake_created{0};
std::atomic<int> g_fake_deleted{0};
std::set<void*> g_fakes;
EngineHooks g_real_hooks{};

TTableCollection* CreateFake() {
  auto* fake = new FakeCollection;
  g_fakes.insert(fake);
  ++g_fake_created;
  return reinterpret_cast<TTableCollection*>(fake);
}
void DeleteFake(TTableCollection* collection) {
  if (g_fakes.erase(collection) == 0) {
    if (g_real_hooks.deleteCollection) g_real_hooks.deleteCollection(collection);
    return;
  }
  ++g_fake_deleted;
  delete reinterpret_cast<FakeCollection*>(collection);
}

// Counts threads that ran a task and threads that have ended.
std::atomic<int> g_threads_begun{0};
std::atomic<int> g_threads_ended{0};
struct ThreadMark {
  ThreadMark() { ++g_threads_begun; }
  ~ThreadMark() { ++g_threads_ended; }
};
int MarkThread(void* param) {
  thread_local ThreadMark mark;
  g_thread_of[WorkerIndex(param)] = std::this_thread::get_id();
  return 0;
}

// Installs the fake collection hooks (keeping the other registered hooks) and restores the real
// ones, with a real collection, afterwards.
class ReInitializeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_real_hooks = GetEngineHooks();
    EngineHooks fake = g_real_hooks;
    fake.createCollection = CreateFake;
    fake.deleteCollection = DeleteFake;
    SetEngineHooks(fake);
  }
  void TearDown() override {
    CWorkThread::FailThreadCreationForTest(false);
    TTableCollection* current = Eng()->Database();
    Eng()->SetDatabase(nullptr);
    if (current != nullptr) DeleteFake(current);
    SetEngineHooks(g_real_hooks);
  }
};

TEST_F(ReInitializeTest, EmptiesDatabaseKeepsRingAndStartsNewWorkers) {
  ScopedTask task(kTestTask, MarkThread);
  // A database with content (the fake one, made now if the engine had none).
  if (g_fakes.count(Eng()->Database()) == 0) Eng()->ReInitialize();
  auto* before = reinterpret_cast<FakeCollection*>(Eng()->Database());
  ASSERT_EQ(g_fakes.count(before), 1u);
  before->tables = 3;
  PutErrorLog("EngineTest", Q7_ERROR_OUT_OF_RANGE, "kept across restart");
  const int ring_count = Eng()->Ring().count;

  Eng()->run_threads_task(Workers(), kTestTask);
  const int begun = g_threads_begun.load();
  const int ended = g_threads_ended.load();
  const int deleted = g_fake_deleted.load();

  Eng()->ReInitialize();

  EXPECT_EQ(g_fake_deleted.load(), deleted + 1);
  auto* after = reinterpret_cast<FakeCollection*>(Eng()->Database());
  ASSERT_EQ(g_fakes.count(after), 1u);
  EXPECT_EQ(after->tables, 0);
  EXPECT_EQ(GetErrorRing(), &Eng()->Ring());
  EXPECT_EQ(Eng()->Ring().count, ring_count);
  // The old threads have ended, and the next task runs on as many fresh ones.
  EXPECT_EQ(g_threads_ended.load(), ended + Workers());
  Eng()->run_threads_task(Workers(), kTestTask);
  EXPECT_EQ(g_threads_begun.load(), begun + Workers());
  EXPECT_EQ(Eng()->ActiveThreads(), Eng()->ProcessorCount());
}

TEST_F(ReInitializeTest, WithoutThreadsTasksRunOnTheCallingThread) {
  CWorkThread::FailThreadCreationForTest(true);
  Eng()->ReInitialize();
  EXPECT_EQ(Eng()->ActiveThreads(), 1);
  EXPECT_EQ(Eng()->n_threads_for_elements(1000), 1);
  ASSERT_NE(Eng()->get_thread_param(0), nullptr);
  {
    ScopedTask task(kTestTask, RecordThread);
    Eng()->run_threads_task(1, kTestTask);
    EXPECT_EQ(g_thread_of[0], std::this_thread::get_id());
  }
  {
    ScopedTask task(kTestTask, CountCall);
    try {
      Eng()->run_threads_task(1, kTestTask);
      ADD_FAILURE() << "no exception";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_OUT_OF_MEMORY);
    }
  }
  std::vector<unsigned char> big(3 << 20, 0);
  MppMemSet(big.data(), 0x5A, static_cast<long>(big.size()));
  EXPECT_EQ(std::count(big.begin(), big.end(), 0x5A), static_cast<long>(big.size()));

  CWorkThread::FailThreadCreationForTest(false);
  Eng()->ReInitialize();
  EXPECT_EQ(Eng()->ActiveThreads(), Eng()->ProcessorCount());
  ScopedTask task(kTestTask, RecordThread);
  EXPECT_EQ(static_cast<int>(RecordAllThreads().size()), Workers());
}

// ---- Parallel fill and copy ----

constexpr long kMiB = 1048576;

// Wraps the real memory tasks to count how many workers they run on.
std::atomic<int> g_mem_task_calls{0};
int CountingMemset(void* p) {
  ++g_mem_task_calls;
  return mpp_memset(p);
}
int CountingMemcpy(void* p) {
  ++g_mem_task_calls;
  return mpp_memcpy(p);
}

TEST(MppMemSet, FillsExactlyTheRangeSeriallyBelowOneMiB) {
  ScopedTask count(kMppTaskMemset, CountingMemset);
  const long kSizes[] = {0, 1, kMiB - 1, kMiB, kMiB + 1, 3 * kMiB + 7};
  for (long n : kSizes) {
    SCOPED_TRACE(n);
    std::vector<unsigned char> buf(static_cast<size_t>(n) + 16, 0x11);
    g_mem_task_calls = 0;
    EXPECT_EQ(MppMemSet(buf.data() + 8, 0x1A7, n), buf.data() + 8);  // only the low byte counts
    for (size_t i = 0; i < buf.size(); ++i) {
      const bool inside = i >= 8 && i < 8 + static_cast<size_t>(n);
      if (buf[i] != (inside ? 0xA7 : 0x11)) {
        ADD_FAILURE() << "byte " << i;
        break;
      }
    }
    const int want = (n < kMiB || Workers() == 1) ? 0 : Eng()->n_threads_for_elements(n);
    EXPECT_EQ(g_mem_task_calls.load(), want);
  }
}

TEST(MppFillSequence, StoresExactlyTheRunSeriallyBelowOneMiB) {
  ScopedTask count(kMppTaskMemset, CountingMemset);
  constexpr long kInts = kMiB / 4;
  const long kCounts[] = {0, 1, kInts - 1, kInts, 3 * kInts + 7};
  for (long n : kCounts) {
    for (int first : {1, -3}) {
      SCOPED_TRACE(testing::Message() << n << " from " << first);
      std::vector<int> buf(static_cast<size_t>(n) + 4, 0x11);
      g_mem_task_calls = 0;
      MppFillSequence(buf.data() + 2, n, first);
      for (size_t i = 0; i < buf.size(); ++i) {
        const bool inside = i >= 2 && i < 2 + static_cast<size_t>(n);
        if (buf[i] != (inside ? first + static_cast<int>(i - 2) : 0x11)) {
          ADD_FAILURE() << "element " << i;
          break;
        }
      }
      const int want = (n < kInts || Workers() == 1) ? 0 : Eng()->n_threads_for_elements(n);
      EXPECT_EQ(g_mem_task_calls.load(), want);
    }
  }
}

struct CopyCase {
  int unit;
  unsigned count;
};
const CopyCase kCopies[] = {
    {1, 0}, {1, 1}, {1, 1048575}, {1, 1048576}, {8, 131072 + 5}, {400000, 3}, {3, 1000003}, {-4, 10},
};

TEST(MppMemCpy, CopiesExactlyTheElementsSeriallyBelowOneMiB) {
  ScopedTask count(kMppTaskMemcpy, CountingMemcpy);
  for (const auto& c : kCopies) {
    SCOPED_TRACE(testing::Message() << c.unit << " x " << c.count);
    const size_t bytes = c.unit > 0 ? static_cast<size_t>(c.unit) * c.count : 0;
    std::vector<unsigned char> src(bytes);
    for (size_t i = 0; i < bytes; ++i) src[i] = static_cast<unsigned char>(i * 7 + i / 251);
    std::vector<unsigned char> dst(bytes + 16, 0xEE);
    g_mem_task_calls = 0;
    EXPECT_EQ(MppMemCpy(dst.data() + 8, src.data(), c.unit, c.count), dst.data() + 8);
    if (bytes != 0) {
      EXPECT_EQ(memcmp(dst.data() + 8, src.data(), bytes), 0);
    }
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(dst[i], 0xEE);
      EXPECT_EQ(dst[8 + bytes + i], 0xEE);
    }
    const int want = (bytes < static_cast<size_t>(kMiB) || Workers() == 1)
                         ? 0
                         : Eng()->n_threads_for_elements(static_cast<long>(c.count));
    EXPECT_EQ(g_mem_task_calls.load(), want);
  }
}

int FailOnLastWorker(void* param) {
  if (WorkerIndex(param) == CSmpEngine::Instance()->n_threads_for_elements(4 * kMiB) - 1) {
    return Q7_ERROR_OUT_OF_MEMORY;
  }
  return mpp_memcpy(param);
}

TEST(MppMemCpy, RethrowsWorkerFailure) {
  if (Workers() < 2) GTEST_SKIP() << "serial on one worker";
  ScopedTask fail(kMppTaskMemcpy, FailOnLastWorker);
  std::vector<unsigned char> src(4 * kMiB, 1), dst(4 * kMiB, 0);
  EXPECT_EQ(CodeOf([&] { MppMemCpy(dst.data(), src.data(), 1, static_cast<unsigned>(src.size())); }),
            Q7_ERROR_OUT_OF_MEMORY);
}

int FailMemset(void*) { return Q7_ERROR_OUT_OF_MEMORY; }

TEST(MppMemSet, RethrowsWorkerFailure) {
  if (Workers() < 2) GTEST_SKIP() << "serial on one worker";
  ScopedTask fail(kMppTaskMemset, FailMemset);
  std::vector<unsigned char> buf(2 * kMiB);
  EXPECT_EQ(CodeOf([&] { MppMemSet(buf.data(), 0, static_cast<long>(buf.size())); }), Q7_ERROR_OUT_OF_MEMORY);
}

}  // namespace
