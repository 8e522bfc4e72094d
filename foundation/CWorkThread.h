// One worker of the engine's pool: a thread that waits at its start gate, runs one task of
// mpp_func_map on its own parameter block, reports the result and waits again.
//
// Ownership: the engine (CSmpEngine) creates and owns every worker and the shared NOTIFY_HANDLE.
// Thread safety: all members except the task itself are driven by the one thread that drives the
// pool (callers hold the API lock). The parameter block is written by that thread before resume()
// and read back after the engine's wait; the gate and the finish count order those accesses.
//
// A task function that throws does not end the thread: the worker records the failure as its result
// (the exception's own code for a CQ7Exception carrying a negative code, else Q7_ERROR_WORKER_DIED)
// and goes back to its gate for the next task.
//
// Signals: a worker thread starts with every signal blocked but those a fault raises on the thread
// that caused it (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS), so that a signal sent to the
// process reaches one of the host's own threads, as the host arranged with its masks, handlers or
// sigwait.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

class CWorkThread;

// Shared by the engine and all workers: how many workers have finished the current task.
// A finishing worker wakes the waiter only when it sleeps on the condition; a waiter registers
// in `sleepers` under the mutex before it re-checks `finished` and sleeps, so no wake-up is lost.
struct NOTIFY_HANDLE {
  std::atomic<int32_t> finished{0};
  std::atomic<int32_t> sleepers{0};
  std::mutex mutex;
  std::condition_variable cond;
};

// The fields every parameter block starts with. Each task lays out the rest of the block after
// this header (define a struct whose first member is an MppParamHeader).
struct MppParamHeader {
  int32_t index;      // worker index, 0 to workers-1; set by the pool
  int32_t share;      // element count from CSmpEngine::assign_elements_to_threads
  CWorkThread* self;  // the worker; set by the pool
};

constexpr size_t kThreadParamSize = 8320;

// The parameter block a task function receives. It keeps its contents between tasks.
struct alignas(64) MppThreadParam {
  MppParamHeader header;
  unsigned char data[kThreadParamSize - sizeof(MppParamHeader)];
};
static_assert(sizeof(MppThreadParam) == kThreadParamSize);

class CWorkThread {
 public:
  // Results a worker can hold besides the task's own.
  static constexpr int32_t kResultNew = -1;  // created, no task yet

  // Each constructor starts the worker's thread and throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY)
  // when it cannot. The engine uses the last form.
  CWorkThread();
  explicit CWorkThread(int index);
  CWorkThread(int index, NOTIFY_HANDLE* notify);
  // Ends and joins the thread if it still runs.
  ~CWorkThread();

  CWorkThread(const CWorkThread&) = delete;
  CWorkThread& operator=(const CWorkThread&) = delete;

  // A worker without a thread: resume() runs the task on the calling thread. The engine falls back
  // to one such worker when it cannot create threads, so parallel operations still run. The caller
  // owns the result.
  static CWorkThread* MakeInline(int index, NOTIFY_HANDLE* notify);

  // Sets the task id and presets the result to Q7_ERROR_UNKNOWN, without starting.
  void setup_task(int task);
  // Hands the current (or the given) task to the thread. Returns 0, or -1 when no thread could be
  // made; the worker then counts as finished with Q7_ERROR_WORKER_DIED, so a wait never hangs.
  int resume();
  int resume(int task);
  // Stores the result, clears busy and counts the worker as finished (takes the notify mutex).
  void notify_finish(int result);
  // Makes sure a thread exists. Returns 0, or -1 when the worker has ended for good (task 0) or
  // when no thread could be made. When the notify mutex is already held by the caller (the
  // waiter's liveness check), pass notify_locked = true.
  int keep_alive(bool notify_locked = false);
  // Joins the thread after it was told to end (task 0).
  void join();
  // Tells the thread to end (task 0) and joins it. On the worker's own thread (an exit handler of
  // the host running there) it does nothing: a thread cannot join itself, and it is still running.
  void end_self_thread();
  // Whether the calling thread is this worker's thread.
  bool OnOwnThread() const;
  // Whether the calling thread is a worker thread of any pool: the host's code runs there only in a
  // signal handler (the thread blocks only the signals a host may handle itself) or in an exit
  // handler run from one.
  static bool OnWorkerThread();
  // In the child of a fork: the thread stayed in the parent. Forgets it without joining or
  // detaching (neither is possible on a thread of another process), so that the next resume()
  // makes a new one. Only the child's fork handler calls it, while no other thread exists.
  void ForgetThreadAfterFork();

  MppThreadParam* param() { return &param_; }
  int32_t result() const { return result_.load(std::memory_order_acquire); }
  int32_t task() const { return task_; }
  bool started() const { return started_; }
  bool is_inline() const { return inline_; }

  // Test seam: while set, creating a worker thread fails as if the system refused it.
  static void FailThreadCreationForTest(bool fail);

 private:
  struct InlineTag {};
  CWorkThread(int index, NOTIFY_HANDLE* notify, InlineTag);

  int init(int index);
  static void thread_main(CWorkThread* self);
  void thread_mainloop();
  int run_current_task();
  void count_finished(int result, bool notify_locked);

  // The start gate, a one-slot semaphore: resume() posts it once, the worker takes it once per
  // task. Posting an already open gate leaves it open (one signal), never "twice open".
  void open_gate();
  void pass_gate();
  std::atomic<uint32_t> gate_{0};

  std::thread thread_;
  NOTIFY_HANDLE* notify_ = nullptr;
  MppThreadParam param_{};
  int32_t task_ = 0;                         // written before the gate opens, read after passing it
  std::atomic<int32_t> result_{kResultNew};  // ordered by the finish count
  std::atomic<bool> busy_{false};
  bool started_ = false;  // a thread was created and not yet joined
  bool inline_ = false;
  std::atomic<bool> running_{false};  // the thread is inside its loop; cleared as it leaves
};
