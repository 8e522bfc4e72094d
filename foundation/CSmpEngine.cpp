// The engine singleton: its instance, start and stop hooks, fork handlers and the worker pool.
#include "foundation/CSmpEngine.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "foundation/CQ7Exception.h"
#include "foundation/HistoryLog.h"
#include "foundation/Settings.h"
#include "foundation/SpinWait.h"
#include "foundation/SystemHeader.h"
#include "foundation/mpp_func_map.h"
#include "foundation/q7_mutex.h"
#include "foundation/zpk_memory.h"

namespace {

// Constant-initialised, so hooks registered by any static initialiser are kept whatever the order.
EngineHooks g_hooks{};
CSmpEngine* g_started_engine = nullptr;

char g_start_time_text[CSmpEngine::kStartTimeTextSize] = {};

constexpr const char kCpuInfoPath[] = "/proc/cpuinfo";
constexpr auto kLivenessInterval = std::chrono::seconds(5);
// How long the stop at the process's end waits for a call running on another host thread.
constexpr auto kStopWait = std::chrono::milliseconds(2000);
// How long the waiter polls the finish count before it sleeps.
constexpr auto kWaitSpin = std::chrono::microseconds(50);

}  // namespace

// Holds the one engine; constructed on first use and never destroyed: host threads may still be
// inside a call while the process ends, and the stop at unload decides what may go (StopAtExit).
struct EngineHolder {
  CSmpEngine engine;
  bool started = false;
};

namespace {
// Stops the engine at unload. Built once start-up has finished, it is destroyed before every
// static object that start-up created (the collection's, the summaries'), which the stop steps
// still use.
struct EngineStopper {
  CSmpEngine* engine;
  ~EngineStopper() {
    if (engine->StopAtExit()) g_started_engine = nullptr;
  }
};
}  // namespace

namespace {

// The engine this thread's fork is dealing with, and what its first step took. The three steps
// of one fork run on the forking thread (the last one in the child).
thread_local CSmpEngine* t_fork_engine = nullptr;
thread_local CSmpEngine::ForkHold t_fork_hold;

void PrepareForkHandler() {
  t_fork_engine = g_started_engine;
  if (t_fork_engine != nullptr) t_fork_hold = t_fork_engine->PrepareFork();
}

void ParentForkHandler() {
  if (t_fork_engine != nullptr) t_fork_engine->ParentAfterFork(t_fork_hold);
  t_fork_engine = nullptr;
}

void ChildForkHandler() {
  if (t_fork_engine != nullptr) t_fork_engine->ChildAfterFork(t_fork_hold);
  t_fork_engine = nullptr;
}

}  // namespace

CSmpEngine* CSmpEngine::Instance() {
  static EngineHolder* const holder = new EngineHolder;
  // Started outside the constructor, so a start-up hook that reaches Instance() again gets the
  // engine instead of re-entering the initialisation of this static. The first call comes from the
  // library's static initialiser, before any other thread can exist.
  if (!holder->started) {
    holder->started = true;
    holder->engine.init();
    static EngineStopper stopper{&holder->engine};
    g_started_engine = &holder->engine;
    // Once per load (this block runs once); the C library drops the handlers when the library is
    // unloaded. Should registering fail, a fork leaves the child as it always did.
    pthread_atfork(PrepareForkHandler, ParentForkHandler, ChildForkHandler);
  }
  return &holder->engine;
}

CSmpEngine* ENG = CSmpEngine::Instance();

void SetEngineHooks(const EngineHooks& hooks) {
  g_hooks = hooks;
  if (g_started_engine != nullptr) g_started_engine->ApplyStartHooks();
}

EngineHooks GetEngineHooks() { return g_hooks; }

const char* CSmpEngine::StartTimeText() { return g_start_time_text; }

CSmpEngine::CSmpEngine() {
  SetErrorRing(&ring_);
  const time_t now = time(nullptr);
  char text[64] = {};
  if (ctime_r(&now, text) != nullptr) qz7_strlcpy(g_start_time_text, text, 25);
}

// The process's engine is never destroyed (EngineHolder); this serves engines made apart from it.
CSmpEngine::~CSmpEngine() {
  if (GetErrorRing() == &ring_) SetErrorRing(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Start, stop, restart

void CSmpEngine::init() {
  mutex_initialize();
  read_machine_figures(kCpuInfoPath);
  setup_thread_sync();
  setup_threads();
  buildSystemHeader();
  start_database_side();
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) != nullptr) SetHistoryLogDirectory(cwd);
  setDefaultDateFormat();
  const time_t now = time(nullptr);
  localtime_r(&now, &start_time_);
}

bool CSmpEngine::StopAtExit() {
  // A call still running (on another host thread, or on this one when the host ends from inside a
  // call) uses the database, the workers and the lock: they stay for the ending process. Other
  // processes need nothing more from this one: the kernel gives back its registry semaphores
  // (SEM_UNDO) and file locks, which is how they see its attachments and entry locks end.
  // Whatever happens below, calls that this thread makes afterwards (from later exit handlers)
  // answer at once: the lock is then kept for good, or held by a call that may never return.
  mutex_mark_ended();
  if (mutex_held_by_this_thread() || !mutex_lock_within(kStopWait)) return false;
  finit();
  // The lock is never let go: calls on other threads wait until the process is gone.
  return true;
}

void CSmpEngine::finit() {
  stop_database_side();
  free_mem();
  // The workers are gone: nothing takes or gives blocks any more, and a host that unloads the
  // library gets every scratch and kept block back.
  zpk_release_kept();
}

void CSmpEngine::ReInitialize() {
  // The API lock is kept (not destroyed and re-created, which would pull it from under a waiting
  // thread) and held for the whole restart, so no exported call sees a half-built database.
  // The thread that stopped the engine at the process's end holds the lock for good.
  // A thread that holds the lock (a call's callback), ended the engine or is a worker would wait on
  // itself, or on a call that waits for it.
  if (mutex_held_by_this_thread() || mutex_ended_on_this_thread() || CWorkThread::OnWorkerThread()) {
    throw CQ7Exception(Q7_ERROR_UNKNOWN);
  }
  mutex_lock();
  struct Unlock {
    ~Unlock() { mutex_unlock(); }
  } unlock;
  stop_database_side();
  free_t_mem_();
  setup_thread_sync();
  setup_threads();
  buildSystemHeader();
  start_database_side();
}

// Stop steps 1 to 4: registry, workers, collection, summaries.
void CSmpEngine::stop_database_side() {
  if (shm_started_) {
    shm_started_ = false;
    if (g_hooks.termRQ7ShmFunction) g_hooks.termRQ7ShmFunction();
  }
  notify_process_detach();
  if (database_ != nullptr) {
    TTableCollection* old = database_;
    database_ = nullptr;
    if (g_hooks.deleteCollection) g_hooks.deleteCollection(old);
  }
  if (summaries_started_) {
    summaries_started_ = false;
    if (g_hooks.PurgeSummaries) g_hooks.PurgeSummaries();
  }
}

void CSmpEngine::start_database_side() { ApplyStartHooks(); }

void CSmpEngine::ApplyStartHooks() {
  if (database_ == nullptr && g_hooks.createCollection) database_ = g_hooks.createCollection();
  if (!summaries_started_ && g_hooks.initializeSummaries) {
    g_hooks.initializeSummaries();
    summaries_started_ = true;
  }
  if (!shm_started_ && g_hooks.initRQ7ShmFunction) {
    g_hooks.initRQ7ShmFunction();
    shm_started_ = true;
  }
}

void CSmpEngine::read_machine_figures(const char* cpuinfo_path) {
  const long processors = sysconf(_SC_NPROCESSORS_CONF);
  processors_ = processors >= 1 && processors <= INT_MAX ? static_cast<int32_t>(processors) : 1;
  const long page = sysconf(_SC_PAGESIZE);
  page_size_ = page >= 1 && page <= INT_MAX ? static_cast<int32_t>(page) : kDefaultPageSize;
  int size = 0;
  int line = 0;
  get_l2_cacheinfo(cpuinfo_path, &size, &line);
  l2_cache_size_ = size != 0 ? size : kDefaultL2CacheSize;
  cache_line_size_ = line != 0 ? line : kDefaultCacheLineSize;
}

int CSmpEngine::sysinfo() { return sysinfo(kCpuInfoPath); }

int CSmpEngine::sysinfo(const char* cpuinfo_path) {
  read_machine_figures(cpuinfo_path);
  return processors_;
}

void CSmpEngine::setup_thread_sync() {
  try {
    notify_ = std::make_unique<NOTIFY_HANDLE>();
  } catch (const std::exception&) {
    notify_.reset();  // start-up goes on; setup_threads then runs tasks on the calling thread
  }
  mt_write_mutex_init();
}

void CSmpEngine::setup_threads() {
  workers_.clear();
  try {
    if (notify_ == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    workers_.reserve(static_cast<size_t>(processors_));
    for (int i = 0; i < processors_; ++i) workers_.push_back(std::make_unique<CWorkThread>(i, notify_.get()));
    thread_count_ = processors_;
    active_threads_ = processors_;
    return;
  } catch (const CQ7Exception&) {
  } catch (const std::bad_alloc&) {
  }
  // Without a pool, parallel operations still work: one worker runs every task on the calling
  // thread, and the active count of 1 sends callers down their serial paths.
  workers_.clear();
  workers_.push_back(std::unique_ptr<CWorkThread>(CWorkThread::MakeInline(0, notify_.get())));
  thread_count_ = 1;
  active_threads_ = 1;
}

void CSmpEngine::notify_process_detach() {
  for (auto& worker : workers_) worker->end_self_thread();
}

void CSmpEngine::free_mem() {
  // A stop running on a worker's own thread (a host's exit handler called from a signal handler
  // there) leaves that worker, and the notify record it uses, to the ending process: the thread is
  // still running and cannot be joined by itself.
  bool own_worker_stays = false;
  for (auto& worker : workers_) {
    if (worker != nullptr && worker->OnOwnThread()) {
      static_cast<void>(worker.release());
      own_worker_stays = true;
    }
  }
  workers_.clear();
  if (write_mutex_ready_) mt_write_mutex_destroy();
  if (own_worker_stays) {
    static_cast<void>(notify_.release());
  } else {
    notify_.reset();
  }
}

void CSmpEngine::free_t_mem_() { free_mem(); }

// ---------------------------------------------------------------------------------------------
// Fork

// The engine's other locks (the scratch and kept blocks', the shared value lists', the logs', the
// shared-table registry's) are taken only inside a call or inside the pool tasks of one, and a
// call returns only after its tasks have finished: once the API lock is held, none of them is.
CSmpEngine::ForkHold CSmpEngine::PrepareFork() {
  ForkHold hold;
  // Order: the API lock first, as every call takes it before any lock below.
  hold.api_lock = !mutex_held_by_this_thread();
  if (hold.api_lock) mutex_lock();
  hold.write_mutex = write_mutex_ready_;
  if (hold.write_mutex) mt_write_lock();
  hold.notify = notify_ != nullptr;
  if (hold.notify) notify_->mutex.lock();
  return hold;
}

void CSmpEngine::ParentAfterFork(const ForkHold& hold) {
  if (hold.notify) notify_->mutex.unlock();
  if (hold.write_mutex) mt_write_unlock();
  if (hold.api_lock) mutex_unlock();
}

void CSmpEngine::ChildAfterFork(const ForkHold& hold) {
  for (auto& worker : workers_) worker->ForgetThreadAfterFork();
  if (hold.notify) {
    // Nobody waits on the condition at a fork (the waiter is a call under the API lock), but what
    // the parent's threads left in it is theirs: the child starts from a new one.
    notify_->sleepers.store(0, std::memory_order_relaxed);
    new (&notify_->cond) std::condition_variable();
    notify_->mutex.unlock();
  }
  if (hold.write_mutex) mt_write_unlock();
  if (hold.api_lock) mutex_unlock();
}

// ---------------------------------------------------------------------------------------------
// Settings

void CSmpEngine::setDefaultDateFormat() { date_order_ = ReadDateFormat(kSettingsFileName); }

int CSmpEngine::ReadDateFormat(const char* settings_file) {
  const char* value = getProfileString(settings_file, "DATEFORMAT");
  if (value == nullptr) return 0;
  char upper[256];
  qz7_strlcpy(upper, value, sizeof upper);
  for (char* c = upper; *c != '\0'; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  if (strcmp(upper, "DDMMYYYY") == 0) return 1;
  if (strcmp(upper, "MMDDYYYY") == 0) return 2;
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Running tasks

void CSmpEngine::run_threads_task(int n, int task) {
  if (n < 1) return;
  // Task 0 would end the workers; ids outside the table have no row.
  if (task <= 0 || task >= kMppTaskCount) throw CQ7Exception(Q7_ERROR_UNKNOWN);
  resume_wkthreads(n, task);
  wait_until_finish(n);
  for (int i = 0; i < n; ++i) {
    const int result = get_wkthread_retcode(i);
    if (result < 0) throw CQ7Exception(result);
  }
}

void CSmpEngine::setup_task(int i, int task) {
  if (i >= 0 && i < static_cast<int>(workers_.size())) workers_[i]->setup_task(task);
}

void CSmpEngine::setup_task2(int n, int task) {
  for (int i = 0; i < n; ++i) setup_task(i, task);
}

namespace {
template <class Resume>
int ResumeAll(NOTIFY_HANDLE* notify, int n, int existing, Resume&& resume) {
  if (notify != nullptr) notify->finished.store(0, std::memory_order_relaxed);
  int rc = 0;
  for (int i = 0; i < std::min(n, existing); ++i) {
    if (resume(i) != 0) rc = -1;
  }
  return rc;
}
}  // namespace

int CSmpEngine::resume_wkthreads(int n) {
  if (n == -1) n = active_threads_;
  return ResumeAll(notify_.get(), n, static_cast<int>(workers_.size()),
                   [this](int i) { return workers_[i]->resume(); });
}

int CSmpEngine::resume_wkthreads(int n, int task) {
  if (n == -1) n = active_threads_;
  return ResumeAll(notify_.get(), n, static_cast<int>(workers_.size()),
                   [this, task](int i) { return workers_[i]->resume(task); });
}

int CSmpEngine::resume_wkthread(int i) {
  if (i < 0 || i >= static_cast<int>(workers_.size())) return -1;
  return workers_[i]->resume();
}

int CSmpEngine::resume_wkthread(int i, int task) {
  if (i < 0 || i >= static_cast<int>(workers_.size())) return -1;
  return workers_[i]->resume(task);
}

void CSmpEngine::wait_until_finish(int n) {
  if (n < 1 || notify_ == nullptr) return;
  // Only existing workers can finish; waiting for missing slots would never end.
  const int target = std::min(n, static_cast<int>(workers_.size()));
  NOTIFY_HANDLE& notify = *notify_;
  // Short tasks finish within microseconds: poll a while before paying for a sleep and a wake-up.
  if (SpinFor(kWaitSpin, [&] { return notify.finished.load(std::memory_order_acquire) >= target; })) return;
  std::unique_lock<std::mutex> lock(notify.mutex);
  notify.sleepers.fetch_add(1, std::memory_order_seq_cst);
  while (notify.finished.load(std::memory_order_seq_cst) < target) {
    if (notify.cond.wait_for(lock, kLivenessInterval) == std::cv_status::timeout &&
        notify.finished.load(std::memory_order_seq_cst) < target) {
      // A worker whose thread has gone is counted as finished (Q7_ERROR_WORKER_DIED) and given a
      // new thread.
      for (int i = 0; i < target; ++i) workers_[i]->keep_alive(/*notify_locked=*/true);
    }
  }
  notify.sleepers.fetch_sub(1, std::memory_order_seq_cst);
}

void CSmpEngine::keep_all_threads_alive(int n) {
  if (notify_ == nullptr) return;
  std::lock_guard<std::mutex> lock(notify_->mutex);
  const int count = std::min(n, static_cast<int>(workers_.size()));
  for (int i = 0; i < count; ++i) workers_[i]->keep_alive(/*notify_locked=*/true);
}

int CSmpEngine::get_wkthread_retcode(int i) {
  if (i < 0 || i >= static_cast<int>(workers_.size())) return Q7_ERROR_UNKNOWN;
  return workers_[i]->result();
}

int CSmpEngine::get_wkthreads_retcode(int n) {
  if (n < 1) return 0;
  int result = 0;
  for (int i = 0; i < n; ++i) {
    result = get_wkthread_retcode(i);
    if (result < 0) return result;
  }
  return result;
}

void* CSmpEngine::get_thread_param(int i) {
  if (i < 0 || i >= static_cast<int>(workers_.size())) return nullptr;
  return workers_[i]->param();
}

// ---------------------------------------------------------------------------------------------
// Work splitting

int CSmpEngine::SplitElements(int n, int min_chunk, int active, int workers, int* shares) {
  const int64_t total = std::max(n, 0);
  const int64_t act = std::max(active, 1);
  const int64_t chunk = std::max<int64_t>((total + act - 1) / act, std::max(min_chunk, 1));
  int64_t remaining = total;
  int given = 0;
  for (int i = 0; i < workers; ++i) {
    int64_t share = 0;
    if (remaining > 0) {
      share = (remaining <= chunk || i == act - 1) ? remaining : chunk;
      remaining -= share;
      ++given;
    }
    shares[i] = static_cast<int>(share);
  }
  return given;
}

int CSmpEngine::ThreadsForElements(long n, int active) {
  const long k = std::min(n, static_cast<long>(active));
  return k < 1 ? 1 : static_cast<int>(k);
}

int CSmpEngine::ThreadsForElements(long n, long min_per_thread, int active) {
  const long per = std::max(min_per_thread, 1L);
  if (static_cast<long>(active) * per <= n) return std::max(active, 1);
  const long k = n > 0 ? (n + per - 1) / per : 0;
  return k < 1 ? 1 : static_cast<int>(k);
}

int CSmpEngine::ActiveThreads() const {
  const int cap = worker_cap_.load(std::memory_order_relaxed);
  const int active = cap > 0 ? std::min(active_threads_, cap) : active_threads_;
  return std::max(active, 1);
}

void CSmpEngine::SetWorkerCapForTest(int cap) {
  worker_cap_.store(std::max(cap, 0), std::memory_order_relaxed);
}

int CSmpEngine::assign_elements_to_threads(int n, int minChunk) {
  const int workers = static_cast<int>(workers_.size());
  std::vector<int> shares(static_cast<size_t>(workers));
  const int given = SplitElements(n, minChunk, ActiveThreads(), workers, shares.data());
  for (int i = 0; i < workers; ++i) workers_[i]->param()->header.share = shares[i];
  return given;
}

int CSmpEngine::n_threads_for_elements(long n) { return ThreadsForElements(n, ActiveThreads()); }

int CSmpEngine::n_threads_for_elements(long n, long minPerThread) {
  return ThreadsForElements(n, minPerThread, ActiveThreads());
}

// ---------------------------------------------------------------------------------------------
// Write mutex

void CSmpEngine::mt_write_lock() { pthread_mutex_lock(&mt_write_); }

void CSmpEngine::mt_write_unlock() { pthread_mutex_unlock(&mt_write_); }

void CSmpEngine::mt_write_mutex_init() {
  if (write_mutex_ready_) return;
  pthread_mutex_init(&mt_write_, nullptr);
  write_mutex_ready_ = true;
}

void CSmpEngine::mt_write_mutex_destroy() {
  if (!write_mutex_ready_) return;
  pthread_mutex_destroy(&mt_write_);
  write_mutex_ready_ = false;
}

// ---------------------------------------------------------------------------------------------
// Machine figures

void CSmpEngine::get_l2_cacheinfo(int* size, int* line) { get_l2_cacheinfo(kCpuInfoPath, size, line); }

void CSmpEngine::get_l2_cacheinfo(const char* cpuinfo_path, int* size, int* line) {
  *size = 0;
  *line = 0;
  FILE* file = fopen(cpuinfo_path, "r");
  if (file == nullptr) return;
  char text[1024];
  while (fgets(text, sizeof text, file) != nullptr) {
    if (*size == 0 && strstr(text, "cache size") != nullptr) {
      int kb = 0;
      if (sscanf(text, "cache size : %d KB", &kb) == 1 && kb > 0 && kb <= INT_MAX / 1024) *size = kb * 1024;
    }
    if (*line == 0 && strstr(text, "cache_alignment") != nullptr) {
      int bytes = 0;
      if (sscanf(text, "cache_alignment : %d ", &bytes) == 1 && bytes > 0) *line = bytes;
    }
    if (*size != 0 && *line != 0) break;
  }
  fclose(file);
}

void CSmpEngine::SetCacheFigures(int l2_cache_size, int cache_line_size) {
  l2_cache_size_ = l2_cache_size >= 1 ? l2_cache_size : kDefaultL2CacheSize;
  cache_line_size_ = cache_line_size >= 1 ? cache_line_size : kDefaultCacheLineSize;
}
