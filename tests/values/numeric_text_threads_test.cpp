// Decimal printing and reading from several threads at once, the first use of the digit table
// included (this binary runs nothing before it).
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "q7api.h"
#include "values/NumericText.h"

namespace {

TEST(NumericTextThreads, ConcurrentFirstUseAndRoundTrips) {
  constexpr int kThreads = 4;
  std::latch start(kThreads);
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      const NumericInfo info{2, Q7_ROUND_HALF_EVEN};
      for (int n = 0; n < 20000; ++n) {
        const int64_t v = (static_cast<int64_t>(n) * 7919 + t) * (n % 2 ? -1 : 1);
        const Numeric x{static_cast<uint64_t>(v), v < 0 ? -1 : 0};
        char buf[64];
        Numeric back;
        if (q7num::NumericNum2Dgstr(&x, &info, 0, 2, buf, sizeof buf) != 0 ||
            q7num::NumericDgstr2Num(buf, &info, &back, nullptr) != 0 || back.low != x.low ||
            back.high != x.high) {
          ++failures[t];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
