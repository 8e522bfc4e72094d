// The kernels' way to the worker pool: worker counts, parameter blocks and dispatch.
#include "kernels/KernelPool.h"

int KernelActiveThreads() { return CSmpEngine::Instance()->ActiveThreads(); }

int KernelThreads(long n) { return CSmpEngine::Instance()->n_threads_for_elements(n); }

int KernelL2CacheSize() { return CSmpEngine::Instance()->L2CacheSize(); }

int KernelCacheLineSize() { return CSmpEngine::Instance()->CacheLineSize(); }

void RunKernelTask(int n, int task) { CSmpEngine::Instance()->run_threads_task(n, task); }
