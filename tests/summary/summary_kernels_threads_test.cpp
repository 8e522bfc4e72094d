// The parallel cell-address sort gives the serial reference's keys, payload rows and group sizes
// for every worker count, in both its one-pass and its two-pass forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "foundation/zpk_memory.h"
#include "summary/noncube/CellAddrSort.h"
#include "tests/support/test_support.h"

namespace {

struct Rows {
  std::vector<int> keys;
  std::vector<int> payload;
  std::vector<int> sizes;
  int groups = 0;
};

// Keys clustered on a few hot cells plus a uniform spread, so buckets differ widely in size and
// the per-bucket shares of the workers are uneven.
Rows MakeRows(int N, int K, int W, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> any(0, K - 1);
  std::uniform_int_distribution<int> coin(0, 3);
  const int hot[] = {0, K / 2, K - 1};
  Rows r;
  r.keys.resize(static_cast<size_t>(N));
  r.payload.resize(static_cast<size_t>(N) * W);
  for (int i = 0; i < N; ++i) {
    r.keys[i] = coin(gen) == 0 ? hot[i % 3] : any(gen);
    for (int w = 0; w < W; ++w) r.payload[static_cast<size_t>(i) * W + w] = i ^ (w << 24);
  }
  return r;
}

Rows Reference(const Rows& in, int W) {
  std::vector<int> order(in.keys.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return in.keys[a] < in.keys[b]; });
  Rows r;
  r.keys.reserve(order.size());
  r.payload.reserve(in.payload.size());
  for (const int i : order) {
    r.keys.push_back(in.keys[i]);
    r.payload.insert(r.payload.end(), in.payload.begin() + static_cast<ptrdiff_t>(i) * W,
                     in.payload.begin() + static_cast<ptrdiff_t>(i + 1) * W);
  }
  for (size_t i = 0; i < r.keys.size(); ++i) {
    if (i == 0 || r.keys[i] != r.keys[i - 1]) r.sizes.push_back(0);
    ++r.sizes.back();
  }
  r.groups = static_cast<int>(r.sizes.size());
  return r;
}

struct Case {
  const char* name;
  int N;
  int K;
  int W;
};
const Case kCases[] = {
    {"one pass, small space", 150000, 1000, 2},      {"one pass, largest space", 150000, 65535, 1},
    {"two passes, 2^16", 150000, 65536, 1},          {"two passes, 2^22", 150000, 1 << 22, 3},
    {"two passes, sparse 2^24", 100000, 1 << 24, 1},
};
const int kCaps[] = {1, 2, 3, 0};  // 0: every active worker

TEST(CellAddrSortThreads, EveryWorkerCountGivesTheSerialResult) {
  for (const auto& c : kCases) {
    const Rows in = MakeRows(c.N, c.K, c.W, 17);
    const Rows want = Reference(in, c.W);
    for (const int cap : kCaps) {
      SCOPED_TRACE(std::string(c.name) + " cap=" + std::to_string(cap));
      q7test::WorkerCap limit(cap);
      Rows got = in;
      int* sizes = nullptr;
      got.groups = SortForCellAddr(c.N, c.K, c.W, got.keys.data(), got.payload.data(), &sizes);
      ASSERT_NE(sizes, nullptr);
      got.sizes.assign(sizes, sizes + std::max(got.groups, 0));
      zpk_free(sizes);
      EXPECT_EQ(got.groups, want.groups);
      EXPECT_TRUE(got.keys == want.keys);
      EXPECT_TRUE(got.payload == want.payload);
      EXPECT_TRUE(got.sizes == want.sizes);
    }
  }
}

TEST(CellAddrSortThreads, ABadKeyOnAnyWorkerLeavesTheArraysAsTheyWere) {
  for (const int K : {5000, 1 << 20}) {
    for (const int cap : kCaps) {
      SCOPED_TRACE(std::to_string(K) + " cap=" + std::to_string(cap));
      q7test::WorkerCap limit(cap);
      Rows in = MakeRows(100000, K, 1, 23);
      in.keys[99999] = K;  // in the last worker's range
      const Rows before = in;
      int* sizes = nullptr;
      EXPECT_EQ(
          q7test::CodeOf([&] { SortForCellAddr(100000, K, 1, in.keys.data(), in.payload.data(), &sizes); }),
          Q7_ERROR_INVALID_PARAMETER);
      EXPECT_TRUE(in.keys == before.keys);
      EXPECT_TRUE(in.payload == before.payload);
      EXPECT_EQ(sizes, nullptr);
    }
  }
}

}  // namespace
