#include "kernels/KernelPool.h"

#include <algorithm>
#include <atomic>

namespace {
std::atomic<int> g_thread_limit{0};
}

int KernelActiveThreads() {
  const int active = std::max(CSmpEngine::Instance()->ActiveThreads(), 1);
  const int limit = g_thread_limit.load(std::memory_order_relaxed);
  return limit > 0 ? std::min(active, limit) : active;
}

int KernelThreads(long n) {
  const int t = CSmpEngine::Instance()->n_threads_for_elements(n);
  const int limit = g_thread_limit.load(std::memory_order_relaxed);
  return limit > 0 ? std::max(1, std::min(t, limit)) : t;
}

void SetKernelThreadLimitForTest(int limit) { g_thread_limit.store(std::max(limit, 0)); }

int KernelL2CacheSize() { return CSmpEngine::Instance()->L2CacheSize(); }

int KernelCacheLineSize() { return CSmpEngine::Instance()->CacheLineSize(); }

void RunKernelTask(int n, int task) { CSmpEngine::Instance()->run_threads_task(n, task); }
