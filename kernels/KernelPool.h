// How the kernels reach the engine's worker pool: worker counts, parameter blocks (PoolParam),
// running a task, the cache figures, and the frame every kernel task function runs in.
//
// Thread safety: everything here except TaskFrame is called by the thread that drives the pool
// (under the API lock); TaskFrame runs on the workers.
#pragma once

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"
#include "foundation/FailureCode.h"
#include "values/PoolParam.h"

// Workers to use for n elements: the engine's n_threads_for_elements(n), which honours the
// engine's test cap (CSmpEngine::SetWorkerCapForTest).
int KernelThreads(long n);
// The largest number of workers any kernel may use: the engine's ActiveThreads().
int KernelActiveThreads();

// The engine's level-2 cache size and cache line size in bytes.
int KernelL2CacheSize();
int KernelCacheLineSize();

// Runs `task` on workers 0 .. n-1 and throws the first negative result (CSmpEngine::run_threads_task).
void RunKernelTask(int n, int task);

// Runs a task body and turns what it throws into the worker's result (CurrentNegativeFailureCode:
// a failed allocation gives Q7_ERROR_OUT_OF_MEMORY), so the pool rethrows it on the calling thread.
template <class F>
int TaskFrame(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return CurrentNegativeFailureCode();
  }
}
