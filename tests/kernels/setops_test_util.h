// Helpers of the set-operation tests: row lists as arrays, a reference computed row by row, and
// the results of the kernels copied out of their zpk blocks.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "kernel_test_util.h"
#include "kernels/SetOps.h"
#include "values/TIntArray.h"

namespace setops_test {

// The operation codes with one more for the complement (a alone).
constexpr int kNot = -1;

inline std::unique_ptr<TIntArray> MakeSet(const std::vector<int>& rows) {
  auto set = std::make_unique<TIntArray>(static_cast<int>(rows.size()), 0);
  for (size_t i = 0; i < rows.size(); ++i) set->PIntAr()[i] = rows[i];
  return set;
}

// The rows 1 .. n_rows that operation op selects, ascending, from membership row by row. Numbers
// outside 1 .. n_rows belong to no set.
inline std::vector<int> Reference(int op, int n_rows, const std::vector<int>& a, const std::vector<int>& b) {
  std::vector<int> out;
  if (n_rows < 1) return out;
  std::vector<char> in_a(static_cast<size_t>(n_rows) + 1, 0), in_b(static_cast<size_t>(n_rows) + 1, 0);
  for (int r : a) {
    if (r >= 1 && r <= n_rows) in_a[r] = 1;
  }
  for (int r : b) {
    if (r >= 1 && r <= n_rows) in_b[r] = 1;
  }
  for (int r = 1; r <= n_rows; ++r) {
    bool keep = false;
    switch (op) {
      case kNot:
        keep = !in_a[r];
        break;
      case kSetOpeAnd:
        keep = in_a[r] && in_b[r];
        break;
      case kSetOpeOr:
        keep = in_a[r] || in_b[r];
        break;
      case kSetOpeAndNot:
        keep = in_a[r] && !in_b[r];
        break;
    }
    if (keep) out.push_back(r);
  }
  return out;
}

struct Result {
  int count = 0;
  int size = 0;
  std::vector<int> rows;  // the first count entries of the result array
};

// Runs a set operation (op kNot: a's complement) serially or on the pool and copies its result
// out; the checks that every kernel result must pass are made here.
inline Result RunOp(bool parallel, int op, int n_rows, const std::vector<int>& a,
                    const std::vector<int>& b = {}) {
  auto set_a = MakeSet(a);
  auto set_b = MakeSet(b);
  Result r;
  int* out = reinterpret_cast<int*>(0x1);
  if (op == kNot) {
    r.count = parallel ? MppSetOpeNot(n_rows, set_a.get(), &r.size, &out)
                       : SetOpeNot(n_rows, set_a.get(), &r.size, &out);
  } else {
    r.count = parallel ? MppSetOpeCommon(op, n_rows, set_a.get(), set_b.get(), &r.size, &out)
                       : SetOpeCommon(op, n_rows, set_a.get(), set_b.get(), &r.size, &out);
  }
  EXPECT_NE(out, nullptr);
  EXPECT_GE(r.count, 0);
  EXPECT_EQ(r.size, r.count > 0 ? r.count : 10);
  if (out != nullptr && r.count > 0) r.rows.assign(out, out + r.count);
  zpk_free(out);
  return r;
}

// n numbers drawn from lo .. hi (repeats likely when the range is small).
inline std::vector<int> RandomRows(int n, int lo, int hi, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pick(lo, hi);
  std::vector<int> rows(static_cast<size_t>(n));
  for (int& r : rows) r = pick(rng);
  return rows;
}

// About half of the rows 1 .. n_rows, shuffled.
inline std::vector<int> HalfSet(int n_rows, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(n_rows) / 2 + 16);
  for (int r = 1; r <= n_rows; ++r) {
    if (rng() & 1u) rows.push_back(r);
  }
  std::shuffle(rows.begin(), rows.end(), rng);
  return rows;
}

// The rows of an array, as a vector.
inline std::vector<int> Contents(const TIntArray& a) {
  const int* data = static_cast<const int*>(a.FData);
  return a.FArraySize > 0 ? std::vector<int>(data, data + a.FArraySize) : std::vector<int>{};
}

// Input of a row filter over `records` records: a value-number column, a selection of every odd
// value number, about half of the records shuffled, and their value numbers by position (which
// serve as a scope index into the same selection, so both filter forms keep the same rows).
struct FilterInput {
  std::unique_ptr<TIntArray> vno;
  std::vector<unsigned char> select;
  std::unique_ptr<TIntArray> src;
  std::vector<int> index;
};

inline FilterInput MakeFilterInput(int records, int n_values, uint32_t seed, bool few_values) {
  const std::vector<int> column = kernel_test::RandomColumn(records, n_values, seed, few_values);
  FilterInput in;
  in.vno = MakeSet(column);
  in.select.resize(static_cast<size_t>(n_values));
  for (size_t v = 0; v < in.select.size(); ++v) in.select[v] = (v % 2 == 1) ? 1 : 0;
  const std::vector<int> rows = HalfSet(records, seed + 1);
  in.src = MakeSet(rows);
  for (int r : rows) in.index.push_back(column[r]);
  return in;
}

}  // namespace setops_test
