// The API lock: the process-wide mutex around every exported call that touches the database.
#include "foundation/q7_mutex.h"

#include <atomic>

namespace {

// The thread that holds the lock (a zero id when none). Written only by the holder, so a thread
// that reads its own id here holds the lock; another thread may read a stale value, never its own.
std::atomic<pthread_t> g_holder{};

}  // namespace

// Statically initialised so that a call arriving before the engine has started still finds a
// working lock.
pthread_mutex_t q7_mutex = PTHREAD_MUTEX_INITIALIZER;

void mutex_initialize() { pthread_mutex_init(&q7_mutex, nullptr); }

void mutex_lock() {
  pthread_mutex_lock(&q7_mutex);
  g_holder.store(pthread_self(), std::memory_order_relaxed);
}

void mutex_unlock() {
  g_holder.store(pthread_t{}, std::memory_order_relaxed);
  pthread_mutex_unlock(&q7_mutex);
}

void mutex_destroy() { pthread_mutex_destroy(&q7_mutex); }

bool mutex_held_by_this_thread() {
  return pthread_equal(g_holder.load(std::memory_order_relaxed), pthread_self()) != 0;
}
