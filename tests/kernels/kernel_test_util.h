// Shared helpers of the kernel tests: reference orders, random columns and scoped cache figures.
// The error ring and worker-cap scopes are q7test's (tests/support/test_support.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "kernels/KernelPool.h"
#include "tests/support/test_support.h"

namespace kernel_test {

// The stable order of rows by vno[row]: ascending (dir 0) or descending (otherwise).
inline std::vector<int> ReferenceOrder(const std::vector<int>& rows, const std::vector<int>& vno, int dir) {
  std::vector<int> out = rows;
  if (dir == 0) {
    std::stable_sort(out.begin(), out.end(), [&](int a, int b) { return vno[a] < vno[b]; });
  } else {
    std::stable_sort(out.begin(), out.end(), [&](int a, int b) { return vno[a] > vno[b]; });
  }
  return out;
}

// A value-number column for records 1 .. records (element 0 is not a row and holds 0), values in
// 0 .. nValues-1. With `few` set the values come from a small random subset, so long runs of equal
// values cross the workers' slice edges.
inline std::vector<int> RandomColumn(int records, int nValues, uint32_t seed, bool few = false) {
  std::mt19937 rng(seed);
  std::vector<int> pool;
  if (few) {
    std::uniform_int_distribution<int> any(0, nValues - 1);
    for (int i = 0; i < 5; ++i) pool.push_back(any(rng));
    pool.push_back(0);
  }
  std::uniform_int_distribution<int> pick(0, few ? static_cast<int>(pool.size()) - 1 : nValues - 1);
  std::vector<int> vno(static_cast<size_t>(records) + 1, 0);
  for (int r = 1; r <= records; ++r) vno[r] = few ? pool[pick(rng)] : pick(rng);
  return vno;
}

// A row list: the records 1 .. records in a shuffled order, or the first n of them.
inline std::vector<int> ShuffledRows(int records, int n, uint32_t seed) {
  std::vector<int> rows(static_cast<size_t>(records));
  std::iota(rows.begin(), rows.end(), 1);
  std::mt19937 rng(seed);
  std::shuffle(rows.begin(), rows.end(), rng);
  rows.resize(static_cast<size_t>(n));
  return rows;
}

// Sets the engine's cache figures for its lifetime (0, 0: the defaults).
class ScopedCacheFigures {
 public:
  ScopedCacheFigures(int size, int line)
      : size_(CSmpEngine::Instance()->L2CacheSize()), line_(CSmpEngine::Instance()->CacheLineSize()) {
    CSmpEngine::Instance()->SetCacheFigures(size, line);
  }
  ~ScopedCacheFigures() { CSmpEngine::Instance()->SetCacheFigures(size_, line_); }

 private:
  int size_, line_;
};

}  // namespace kernel_test
