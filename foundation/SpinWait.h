// Bounded polling before a blocking wait. Waking a sleeping thread costs a system call and a
// scheduler round trip; when the awaited event usually comes within microseconds (the pool's short
// tasks), polling for a bounded time first is cheaper. Never a substitute for the blocking wait.
#pragma once

#include <chrono>
#include <thread>

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// Polls `done` for at most `budget`; true as soon as it holds, false when the budget ran out.
template <class Done>
bool SpinFor(std::chrono::nanoseconds budget, Done&& done) {
  if (budget.count() <= 0) return done();
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    for (int i = 0; i < 16; ++i) {
      if (done()) return true;
      CpuRelax();
    }
    if (std::chrono::steady_clock::now() - start >= budget) return done();
  }
}
