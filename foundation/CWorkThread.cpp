// One worker of the pool: its thread, its start gate and the task it runs.
#include "foundation/CWorkThread.h"

#include <pthread.h>
#include <signal.h>

#include <new>
#include <system_error>

#include "foundation/CQ7Exception.h"
#include "foundation/mpp_func_map.h"

namespace {

std::atomic<bool> g_fail_thread_creation{false};

// The worker whose thread this is; null on every other thread.
thread_local const CWorkThread* t_own_worker = nullptr;

// The mask a worker thread starts with: everything but the signals a fault raises on the faulting
// thread itself (blocking those would end the process instead of reaching a handler).
sigset_t WorkerSignalMask() {
  sigset_t mask;
  sigfillset(&mask);
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&mask, fault);
  return mask;
}

// Blocks the worker's signals on the creating thread for its lifetime: a new thread inherits its
// creator's mask, so the worker never runs a moment with them open.
class WorkerMaskWhileCreating {
 public:
  WorkerMaskWhileCreating() {
    const sigset_t mask = WorkerSignalMask();
    pthread_sigmask(SIG_SETMASK, &mask, &saved_);
  }
  ~WorkerMaskWhileCreating() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  WorkerMaskWhileCreating(const WorkerMaskWhileCreating&) = delete;
  WorkerMaskWhileCreating& operator=(const WorkerMaskWhileCreating&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace

void CWorkThread::FailThreadCreationForTest(bool fail) { g_fail_thread_creation.store(fail); }

CWorkThread::CWorkThread() : CWorkThread(0, nullptr) {}

CWorkThread::CWorkThread(int index) : CWorkThread(index, nullptr) {}

CWorkThread::CWorkThread(int index, NOTIFY_HANDLE* notify) : notify_(notify) {
  if (init(index) != 0) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
}

CWorkThread::CWorkThread(int index, NOTIFY_HANDLE* notify, InlineTag) : notify_(notify), inline_(true) {
  param_.header.index = index;
  param_.header.self = this;
}

CWorkThread* CWorkThread::MakeInline(int index, NOTIFY_HANDLE* notify) {
  return new CWorkThread(index, notify, InlineTag{});
}

CWorkThread::~CWorkThread() { end_self_thread(); }

int CWorkThread::init(int index) {
  busy_.store(false);
  started_ = false;
  task_ = 0;
  result_.store(kResultNew);
  param_.header.index = index;
  param_.header.self = this;
  return keep_alive();
}

void CWorkThread::setup_task(int task) {
  task_ = task;
  result_.store(Q7_ERROR_UNKNOWN, std::memory_order_relaxed);
}

int CWorkThread::keep_alive(bool notify_locked) {
  if (inline_) return 0;
  if (started_) {
    // The worker's own flag, not a query on a thread id that may already be gone.
    if (running_.load(std::memory_order_acquire)) return 0;
    if (thread_.joinable()) thread_.join();
    started_ = false;
  }
  if (busy_.load(std::memory_order_acquire)) {
    // The thread left its loop while it held a task: account for the task so that a waiter
    // does not wait for it for ever.
    if (task_ == 0) {
      count_finished(0, notify_locked);
      return -1;
    }
    count_finished(Q7_ERROR_WORKER_DIED, notify_locked);
  }
  if (g_fail_thread_creation.load()) return -1;
  running_.store(true, std::memory_order_release);
  try {
    WorkerMaskWhileCreating mask;
    thread_ = std::thread(&CWorkThread::thread_main, this);
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return -1;
  }
  started_ = true;
  return 0;
}

int CWorkThread::resume(int task) {
  setup_task(task);
  return resume();
}

int CWorkThread::resume() {
  if (inline_) {
    busy_.store(true, std::memory_order_relaxed);
    notify_finish(task_ == 0 ? 0 : run_current_task());
    return 0;
  }
  // Make sure a thread exists before the task is handed over; busy is set only afterwards, so a
  // thread that ended between two tasks is not mistaken for one that died during a task.
  if (keep_alive() != 0) {
    count_finished(Q7_ERROR_WORKER_DIED, false);
    return -1;
  }
  busy_.store(true, std::memory_order_relaxed);
  open_gate();
  return 0;
}

void CWorkThread::open_gate() {
  gate_.store(1, std::memory_order_release);
  gate_.notify_one();
}

void CWorkThread::pass_gate() {
  // No polling here: idle workers polling their gates would take processor time from the thread
  // that drives the pool.
  while (gate_.exchange(0, std::memory_order_acquire) == 0) gate_.wait(0, std::memory_order_relaxed);
}

void CWorkThread::notify_finish(int result) { count_finished(result, false); }

void CWorkThread::count_finished(int result, bool notify_locked) {
  result_.store(result, std::memory_order_relaxed);
  busy_.store(false, std::memory_order_relaxed);
  if (notify_ == nullptr) return;
  // Publishes result and busy to the waiter, which reads them after seeing the count.
  notify_->finished.fetch_add(1, std::memory_order_seq_cst);
  if (notify_locked) {
    notify_->cond.notify_all();
  } else if (notify_->sleepers.load(std::memory_order_seq_cst) > 0) {
    std::lock_guard<std::mutex> lock(notify_->mutex);
    notify_->cond.notify_all();
  }
}

void CWorkThread::join() {
  if (thread_.joinable()) thread_.join();
  started_ = false;
}

void CWorkThread::end_self_thread() {
  if (inline_ || !started_ || OnOwnThread()) return;
  setup_task(0);
  busy_.store(true, std::memory_order_relaxed);
  open_gate();
  join();
}

bool CWorkThread::OnOwnThread() const { return t_own_worker == this; }

bool CWorkThread::OnWorkerThread() { return t_own_worker != nullptr; }

void CWorkThread::ForgetThreadAfterFork() {
  if (inline_) return;
  // A joinable std::thread must be neither destroyed nor assigned to; a fresh handle is built over
  // it instead. The parent's thread keeps its own copy of everything it owns.
  new (&thread_) std::thread();
  started_ = false;
  running_.store(false, std::memory_order_relaxed);
  // No task is under way at a fork (the handlers hold the API lock, or the forking thread drives
  // the pool and is not waiting on it), so nothing is left to count.
  busy_.store(false, std::memory_order_relaxed);
  gate_.store(0, std::memory_order_relaxed);
}

void CWorkThread::thread_main(CWorkThread* self) {
  t_own_worker = self;
  self->thread_mainloop();
  self->running_.store(false, std::memory_order_release);
}

void CWorkThread::thread_mainloop() {
  for (;;) {
    pass_gate();
    if (task_ == 0) {
      notify_finish(0);
      return;
    }
    notify_finish(run_current_task());
  }
}

int CWorkThread::run_current_task() {
  const int task = task_;
  const MppTaskFunc func = (task > 0 && task < kMppTaskCount) ? mpp_func_map[task].func : nullptr;
  if (func == nullptr) return Q7_ERROR_UNKNOWN;
  try {
    return func(&param_);
  } catch (const CQ7Exception& e) {
    // An engine failure keeps its own code; a non-negative code would read as success.
    return e.ErrorCode() < 0 ? e.ErrorCode() : Q7_ERROR_WORKER_DIED;
  } catch (const std::bad_alloc&) {
    // The caller is told it ran short of memory, not that a worker failed.
    return Q7_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return Q7_ERROR_WORKER_DIED;
  }
}
