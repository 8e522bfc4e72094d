// The parallel compile keeps its large temporaries (slices' rows and lists, merge maps, the lists
// between merges) on the scratch pool, which hands them to the next compile. A block that went back
// to the pool while the caller still held it would be overwritten by that next compile.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "foundation/zpk_memory.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/MppCompile.h"

using namespace vltest;

namespace {

// All distinct but a few repeats, so that every slice list and every merged list is large.
std::vector<double> MostlyDistinct(int n, uint32_t seed) {
  std::mt19937_64 gen(seed);
  std::vector<double> v(static_cast<size_t>(n));
  for (auto& x : v) x = static_cast<double>(gen() >> 11) * 0x1.0p-20;
  for (int i = 5; i < n; i += 997) v[static_cast<size_t>(i)] = v[static_cast<size_t>(i - 5)];
  v[0] = kDblNull;
  return v;
}

void ExpectSame(const Compiled& got, const Compiled& want, int n) {
  ASSERT_EQ(got.count, want.count);
  EXPECT_EQ(memcmp(got.rows, want.rows, sizeof(int) * static_cast<size_t>(n)), 0);
  EXPECT_EQ(memcmp(got.list, want.list, sizeof(double) * static_cast<size_t>(want.count)), 0);
}

TEST(MppCompileScratch, OutputsSurviveTheNextCompileOnThePool) {
  constexpr int kRows = 3000000;  // slices well past the pool's smallest kept block
  const std::vector<double> first = MostlyDistinct(kRows, 1);
  const std::vector<double> second = MostlyDistinct(kRows, 2);
  Compiled want_first, want_second;
  Compile(kRows, 3, 8, first.data(), &want_first.rows, &want_first.count, &want_first.list);
  Compile(kRows, 3, 8, second.data(), &want_second.rows, &want_second.count, &want_second.list);
  for (int cap : {2, 3, 0}) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    Compiled a, b, c;
    MppCompile(kRows, 3, 8, first.data(), &a.rows, &a.count, &a.list);
    MppCompile(kRows, 3, 8, second.data(), &b.rows, &b.count, &b.list);
    // The implied-NULL form takes the same road with one element more in front.
    MppCompileWithNull(kRows - 1, 3, 8, first.data() + 1, &c.rows, &c.count, &c.list);
    ExpectSame(a, want_first, kRows);
    ExpectSame(b, want_second, kRows);
    ExpectSame(c, want_first, kRows);
    // Everything the compiles took went back: with nothing in use, two settles empty the pool.
    zpk_scratch_settle();
    zpk_scratch_settle();
    EXPECT_EQ(zpk_scratch_kept(), 0u);
  }
}

}  // namespace
