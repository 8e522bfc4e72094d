// The engine object: the one process-wide singleton that holds the database, the error ring, the
// machine figures, the default date order and the pool of worker threads.
//
// Lifetime: built on the first call of CSmpEngine::Instance(); the library's static initialiser
// makes that call at load and stores the result in ENG. Code that may run during static
// initialisation must use CSmpEngine::Instance(), not ENG, which is null until its own initialiser
// has run. The engine is destroyed at unload (finit).
//
// Thread safety: one host thread drives the pool at a time. Every member that starts tasks, and
// every accessor that changes state, is called with the API lock held (see q7_mutex.h) or during
// start-up. Task functions running on workers may call only mt_write_lock()/mt_write_unlock() and
// the read-only figure accessors.
//
// Parallel operations, usual order:
//   1. int n = ENG->n_threads_for_elements(rows);
//   2. for each i < n fill the block at ENG->get_thread_param(i) (the last range ends at the total);
//   3. ENG->run_threads_task(n, task);   // throws the first negative worker result
//   4. merge the per-worker results on the calling thread.
// The engine never includes anything above foundation/: later subsystems reach it through
// EngineHooks and RegisterMppTask (mpp_func_map.h).
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

#include "foundation/CWorkThread.h"
#include "foundation/ErrorRing.h"

class TTableCollection;

// Start and stop steps of later subsystems. A null pointer means nothing to do. Registered once by
// the API layer at library load, in whatever order static initialisation happens: hooks set after
// the engine has started run their start-side step at once.
struct EngineHooks {
  TTableCollection* (*createCollection)();                 // a new, empty table collection
  void (*deleteCollection)(TTableCollection* collection);  // deletes one made by createCollection
  void (*initializeSummaries)();
  void (*PurgeSummaries)();
  void (*initRQ7ShmFunction)();
  void (*termRQ7ShmFunction)();
};

// Stores the hooks (replacing earlier ones) and, when the engine has already started, runs the
// start-side steps that have not run yet: creates the collection if there is none, clears the
// summaries and starts the shared-memory registry.
void SetEngineHooks(const EngineHooks& hooks);
// The hooks now registered (all null when none were).
EngineHooks GetEngineHooks();

class CSmpEngine {
 public:
  static constexpr int kDefaultL2CacheSize = 1048576;
  static constexpr int kDefaultCacheLineSize = 64;
  static constexpr int kDefaultPageSize = 8192;
  static constexpr int kStartTimeTextSize = 256;

  // The singleton, built (and started) on first use.
  static CSmpEngine* Instance();

  CSmpEngine(const CSmpEngine&) = delete;
  CSmpEngine& operator=(const CSmpEngine&) = delete;

  // ---- Start, stop, restart ----
  void init();
  // The stop steps: registry, workers, collection, summaries, then the workers' memory and every
  // scratch and kept block. The caller holds the API lock and no call runs; the lock is not
  // destroyed (a host thread may be waiting for it).
  void finit();
  // The stop at the process's end (unload or exit), whatever host threads are doing: takes the API
  // lock, waiting a bounded time, then runs finit and keeps the lock for good, so a call arriving
  // later waits for the process to end. With a call still running when the time is up, or running
  // on the calling thread, it stops nothing and returns false: the ending process takes the heap,
  // the workers and the database with it. True when the engine was stopped. Either way the calling
  // thread's later calls answer at once (mutex_mark_ended). On a worker's own thread the stop
  // leaves that worker running (it cannot join itself).
  bool StopAtExit();
  // Stops the workers, the registry, the summaries and the database, then starts them again with
  // the same counts. Keeps the error ring, the machine figures, the date order, the start time and
  // the history-log path; the database is empty afterwards. Takes the API lock itself for the
  // whole restart, so the caller must NOT hold it; running exported calls finish first.
  void ReInitialize();
  // Reads processor count, page size and cache figures again (a cache figure missing from the file
  // takes its default); returns the processor count. The worker count follows at the next start.
  int sysinfo();
  int sysinfo(const char* cpuinfo_path);
  void setup_thread_sync();
  // Creates the workers (one per processor). When a thread cannot be made, falls back to one
  // worker that runs tasks on the calling thread (active count 1).
  void setup_threads();
  void notify_process_detach();
  void free_mem();
  void free_t_mem_();

  // Reads "DATEFORMAT" from "ZPK_Client.ini" in the current directory into the date order.
  void setDefaultDateFormat();
  // The date order a settings file gives: 0 (also for a missing file, key or unknown value), 1, 2.
  static int ReadDateFormat(const char* settings_file);

  // ---- Running tasks ----
  // Runs row `task` of mpp_func_map on workers 0 to n-1, waits until all have finished, then throws
  // CQ7Exception with the first negative result in worker order (empty message). n < 1 does
  // nothing. A slot without a worker gives Q7_ERROR_UNKNOWN; task 0 or an id outside the table
  // throws Q7_ERROR_UNKNOWN without starting anything.
  void run_threads_task(int n, int task);

  // The steps of run_threads_task, for callers that inspect each worker's result themselves.
  void setup_task(int i, int task);
  void setup_task2(int n, int task);
  // n = -1 means all active workers. Returns 0, or -1 when a worker could not be started (it then
  // counts as finished with Q7_ERROR_WORKER_DIED).
  int resume_wkthreads(int n);
  int resume_wkthreads(int n, int task);
  int resume_wkthread(int i);
  int resume_wkthread(int i, int task);
  // Waits until workers 0 to n-1 (those that exist) have finished.
  void wait_until_finish(int n);
  // Worker i's result, or Q7_ERROR_UNKNOWN when the slot holds no worker.
  int get_wkthread_retcode(int i);
  // The first negative result among workers 0 to n-1, else the result of worker n-1; 0 for n < 1;
  // Q7_ERROR_UNKNOWN when a slot holds no worker.
  int get_wkthreads_retcode(int n);
  void keep_all_threads_alive(int n);

  // Worker i's parameter block (an MppThreadParam), or null for a bad index. It keeps its contents
  // between tasks.
  void* get_thread_param(int i);

  // ---- Work splitting ----
  // "active" below is ActiveThreads(): the test cap, when set, applies to all three.
  // Splits n elements over the workers in chunks of max(ceil(n / active), minChunk, 1); writes each
  // worker's share into its block and returns the number of workers with a non-zero share.
  int assign_elements_to_threads(int n, int minChunk);
  // min(n, active), at least 1.
  int n_threads_for_elements(long n);
  // active when active * minPerThread <= n, else ceil(n / minPerThread); at least 1.
  int n_threads_for_elements(long n, long minPerThread);

  // Test seam: caps the worker count that every parallel operation is given (ActiveThreads and the
  // work splitting above) at `cap`, so that tests reach the one-worker and few-worker paths on any
  // machine; 0 (or less) removes the cap. The workers themselves keep running. Call only while no
  // parallel operation runs.
  void SetWorkerCapForTest(int cap);

  // The same arithmetic for given counts (shares must hold `workers` entries).
  static int SplitElements(int n, int min_chunk, int active, int workers, int* shares);
  static int ThreadsForElements(long n, int active);
  static int ThreadsForElements(long n, long min_per_thread, int active);

  // ---- The write mutex, for task functions appending to a shared result ----
  void mt_write_lock();
  void mt_write_unlock();
  void mt_write_mutex_init();
  void mt_write_mutex_destroy();

  // ---- Fork ----
  // Keep the engine usable in the child of a host's fork; registered with pthread_atfork at
  // start-up and called only from there. Before the fork the API lock is taken (unless the forking
  // thread holds it already: a fork from inside a call), which lets every call on other threads,
  // and with it every pool task, finish; then the pool's own locks, which a worker may still hold
  // for an instant after its task. The parent releases them. The child releases them too, makes
  // the condition anew and forgets the workers' threads, which stayed in the parent: each worker
  // gets a new thread when it is next resumed, so a child that never reaches the pool (one that
  // execs at once) starts no thread.
  // What one fork's first step took, for the steps after it to give back. Each forking thread
  // keeps its own: two threads may fork at once (the second waits for the API lock).
  struct ForkHold {
    bool api_lock = false;
    bool write_mutex = false;
    bool notify = false;
  };
  ForkHold PrepareFork();
  void ParentAfterFork(const ForkHold& hold);
  void ChildAfterFork(const ForkHold& hold);

  // ---- Machine figures ----
  // Reads "cache size : %d KB" (times 1024) and "cache_alignment : %d " from the file; an output
  // stays 0 when its line (or the file) is missing.
  static void get_l2_cacheinfo(int* size, int* line);
  static void get_l2_cacheinfo(const char* cpuinfo_path, int* size, int* line);

  // The workers that parallel operations may use: the active worker count, or the test cap when
  // one is set and lower (at least 1).
  int ActiveThreads() const;
  int ThreadCount() const { return thread_count_; }
  int ProcessorCount() const { return processors_; }
  int PageSize() const { return page_size_; }
  int L2CacheSize() const { return l2_cache_size_; }
  int CacheLineSize() const { return cache_line_size_; }
  // For tests of code that reads the figures; values below 1 restore the defaults.
  void SetCacheFigures(int l2_cache_size, int cache_line_size);

  // ---- Database, ring, date order, start time ----
  // The current table collection; null only while it is being replaced (or when no hook made one).
  TTableCollection* Database() const { return database_; }
  // Installs a collection; the engine owns it and deletes it through the deleteCollection hook.
  // The previous one is NOT deleted: the caller has taken it over (or deleted it) before.
  void SetDatabase(TTableCollection* collection) { database_ = collection; }
  ErrorRing& Ring() { return ring_; }
  // 0 year-month-day, 1 day-month-year, 2 month-day-year.
  int DateOrder() const { return date_order_; }
  void SetDateOrder(int order) { date_order_ = order; }
  // The local time at the end of start-up; its year is the current year of short date formats.
  const std::tm* StartTime() const { return &start_time_; }
  // The first 24 characters of the ctime text of the engine's construction.
  static const char* StartTimeText();

  // Runs the start-side hooks that have not run yet (used by SetEngineHooks).
  void ApplyStartHooks();

 private:
  CSmpEngine();
  ~CSmpEngine();
  friend struct EngineHolder;

  void read_machine_figures(const char* cpuinfo_path);
  void start_database_side();
  void stop_database_side();

  pthread_mutex_t mt_write_ = PTHREAD_MUTEX_INITIALIZER;
  std::vector<std::unique_ptr<CWorkThread>> workers_;
  std::unique_ptr<NOTIFY_HANDLE> notify_;
  int32_t active_threads_ = 1;
  std::atomic<int32_t> worker_cap_{0};  // SetWorkerCapForTest; 0: none
  int32_t thread_count_ = 1;
  int32_t processors_ = 1;
  int32_t page_size_ = kDefaultPageSize;
  int32_t l2_cache_size_ = kDefaultL2CacheSize;
  int32_t cache_line_size_ = kDefaultCacheLineSize;
  TTableCollection* database_ = nullptr;
  ErrorRing ring_;
  int32_t date_order_ = 0;
  std::tm start_time_{};
  bool summaries_started_ = false;
  bool shm_started_ = false;
  bool write_mutex_ready_ = false;
};

// The engine, set by the library's static initialiser.
extern CSmpEngine* ENG;
