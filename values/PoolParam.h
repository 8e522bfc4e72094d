// A worker's parameter block seen as a task's own layout, for every folder that runs tasks on the
// engine's worker pool (the value-list compiler and conversions, the kernels, the set searches).
//
// Thread safety: block i belongs to the thread driving the pool while no task runs, and to worker
// i while its task runs.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"

// Worker i's parameter block seen as a task's own layout P, whose first member is the pool's
// MppParamHeader. Only P's own fields after the header are the caller's to fill.
template <class P>
P* PoolParam(int i) {
  static_assert(std::is_standard_layout_v<P> && std::is_trivially_destructible_v<P>);
  static_assert(sizeof(P) <= kThreadParamSize);
  static_assert(offsetof(P, header) == 0);
  return std::launder(reinterpret_cast<P*>(CSmpEngine::Instance()->get_thread_param(i)));
}
