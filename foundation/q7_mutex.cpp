// The API lock: the process-wide mutex around every exported call that touches the database.
#include "foundation/q7_mutex.h"

#include <time.h>

#include <atomic>

namespace {

// The thread that holds the lock (a zero id when none). Written only by the holder, so a thread
// that reads its own id here holds the lock; another thread may read a stale value, never its own.
std::atomic<pthread_t> g_holder{};
// The thread that ended the engine (mutex_mark_ended); meaningful only once g_ended is set.
std::atomic<pthread_t> g_ending_thread{};
std::atomic<bool> g_ended{false};

}  // namespace

// Statically initialised so that a call arriving before the engine has started still finds a
// working lock.
pthread_mutex_t q7_mutex = PTHREAD_MUTEX_INITIALIZER;

void mutex_initialize() { pthread_mutex_init(&q7_mutex, nullptr); }

void mutex_lock() {
  pthread_mutex_lock(&q7_mutex);
  g_holder.store(pthread_self(), std::memory_order_relaxed);
}

bool mutex_lock_within(std::chrono::milliseconds wait) {
  timespec until{};
  clock_gettime(CLOCK_REALTIME, &until);
  const auto whole = std::chrono::duration_cast<std::chrono::seconds>(wait);
  until.tv_sec += static_cast<time_t>(whole.count());
  until.tv_nsec += static_cast<long>(std::chrono::nanoseconds(wait - whole).count());
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  if (pthread_mutex_timedlock(&q7_mutex, &until) != 0) return false;
  g_holder.store(pthread_self(), std::memory_order_relaxed);
  return true;
}

void mutex_unlock() {
  g_holder.store(pthread_t{}, std::memory_order_relaxed);
  pthread_mutex_unlock(&q7_mutex);
}

void mutex_destroy() { pthread_mutex_destroy(&q7_mutex); }

void mutex_mark_ended() {
  g_ending_thread.store(pthread_self(), std::memory_order_relaxed);
  g_ended.store(true, std::memory_order_release);
}

bool mutex_ended_on_this_thread() {
  return g_ended.load(std::memory_order_acquire) &&
         pthread_equal(g_ending_thread.load(std::memory_order_relaxed), pthread_self()) != 0;
}

bool mutex_held_by_this_thread() {
  return pthread_equal(g_holder.load(std::memory_order_relaxed), pthread_self()) != 0;
}
