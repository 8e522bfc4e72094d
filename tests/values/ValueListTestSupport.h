// Shared helpers of the value-list tests: a reference numbering, column generators and owners of
// compile outputs.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "foundation/zpk_memory.h"
#include "q7api.h"
#include "values/CompileSettings.h"

namespace vltest {

constexpr int32_t kIntNull = std::numeric_limits<int32_t>::min();
constexpr double kDblNull = -std::numeric_limits<double>::infinity();

// Sets the trimming of trailing blanks (g_cut_last_space) for its lifetime, or only keeps the
// current setting; restores it afterwards.
class TrimSetting {
 public:
  TrimSetting() : saved_(g_cut_last_space) {}
  explicit TrimSetting(int on) : saved_(g_cut_last_space) { g_cut_last_space = on; }
  ~TrimSetting() { g_cut_last_space = saved_; }
  TrimSetting(const TrimSetting&) = delete;
  TrimSetting& operator=(const TrimSetting&) = delete;

 private:
  int saved_;
};

// The outputs of one compile, freed with the test.
struct Compiled {
  int* rows = nullptr;
  int count = 0;
  void* list = nullptr;
  Compiled() = default;
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  ~Compiled() {
    zpk_free(rows);
    zpk_free(list);
  }
  std::vector<int> Rows(int n) const { return std::vector<int>(rows, rows + n); }
};

// The numbering every compile must give: values ordered by `less`, equal values sharing a number,
// each list entry the earliest element holding its value.
struct Reference {
  std::vector<int> rows;
  std::vector<int> representative;  // element index per list entry
};

template <class Less>
Reference ReferenceNumbering(int n, Less less) {
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), less);
  Reference ref;
  ref.rows.assign(static_cast<size_t>(n), 0);
  for (size_t i = 0; i < order.size(); ++i) {
    if (i == 0 || less(order[i - 1], order[i])) ref.representative.push_back(order[i]);
    ref.rows[static_cast<size_t>(order[i])] = static_cast<int>(ref.representative.size()) - 1;
  }
  return ref;
}

inline double Key(double x) { return std::isnan(x) ? kDblNull : x; }

inline bool DecimalLess(const Numeric& a, const Numeric& b) {
  return a.high != b.high ? a.high < b.high : a.low < b.low;
}

inline Numeric Dec(int64_t v) {
  Numeric n;
  n.low = static_cast<uint64_t>(v);
  n.high = v < 0 ? -1 : 0;
  return n;
}
inline Numeric DecNan() { return Numeric{0, std::numeric_limits<int64_t>::min()}; }

// Integers in [lo, hi] with NULL in element 0 and a share of NULLs.
inline std::vector<int32_t> IntColumn(int n, int32_t lo, int32_t hi, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int32_t> d(lo, hi);
  std::vector<int32_t> v(static_cast<size_t>(n));
  for (auto& x : v) x = (gen() % 17 == 0) ? kIntNull : d(gen);
  v[0] = kIntNull;
  return v;
}

// Doubles drawn from `distinct` values with -0.0, 0.0, NaN and NULL mixed in.
inline std::vector<double> DoubleColumn(int n, int distinct, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<double> v(static_cast<size_t>(n));
  for (auto& x : v) {
    const uint32_t r = gen();
    switch (r % 29) {
      case 0:
        x = -0.0;
        break;
      case 1:
        x = 0.0;
        break;
      case 2:
        x = std::numeric_limits<double>::quiet_NaN();
        break;
      case 3:
        x = kDblNull;
        break;
      default:
        x = (static_cast<double>(gen() % static_cast<uint32_t>(distinct)) - distinct / 2) * 0.25;
        break;
    }
  }
  v[0] = kDblNull;
  return v;
}

inline std::vector<Numeric> DecimalColumn(int n, int distinct, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<Numeric> v(static_cast<size_t>(n));
  for (auto& x : v) {
    const uint32_t r = gen();
    if (r % 23 == 0) {
      x = DecNan();
    } else {
      const int64_t k = static_cast<int64_t>(gen() % static_cast<uint32_t>(distinct)) - distinct / 2;
      x = Dec(k);
      if (r % 7 == 0) x.high = k;  // values far beyond 64 bits, both signs
    }
  }
  v[0] = DecNan();
  return v;
}

// Texts from a pool of `distinct` short texts; element 0 is the empty text.
inline std::vector<std::string> TextPool(int distinct, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::string> pool;
  for (int i = 0; i < distinct; ++i) {
    std::string s;
    const int len = static_cast<int>(gen() % 9);
    for (int j = 0; j < len; ++j)
      s.push_back(static_cast<char>(j == 0 ? 'a' + gen() % 3 : 0x20 + gen() % 0x5f));
    if (gen() % 5 == 0) s.push_back(static_cast<char>(0xc3));  // bytes above 0x7f order after ASCII
    pool.push_back(s);
  }
  return pool;
}

inline std::vector<const char*> TextColumn(int n, const std::vector<std::string>& pool, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<const char*> v(static_cast<size_t>(n));
  for (auto& t : v) t = pool[gen() % pool.size()].c_str();
  v[0] = "";
  return v;
}

}  // namespace vltest

#include <gtest/gtest.h>

#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"

namespace vltest {

// MppCompile gives exactly Compile's rows and list (the same bytes: the same representatives).
inline void ExpectMppCompileMatchesSerial(int n, int type, int width, const void* raw) {
  Compiled serial, parallel;
  Compile(n, type, width, raw, &serial.rows, &serial.count, &serial.list);
  MppCompile(n, type, width, raw, &parallel.rows, &parallel.count, &parallel.list);
  ASSERT_EQ(parallel.count, serial.count);
  ASSERT_EQ(memcmp(parallel.rows, serial.rows, sizeof(int) * static_cast<size_t>(n)), 0);
  if (type == 6 && g_cut_last_space != 0) {
    // Trimmed copies live in each list's own block: compare the texts.
    for (int k = 0; k < serial.count; ++k) {
      ASSERT_STREQ(static_cast<const char**>(parallel.list)[k], static_cast<const char**>(serial.list)[k])
          << k;
    }
  } else {
    ASSERT_EQ(
        memcmp(parallel.list, serial.list, static_cast<size_t>(width) * static_cast<size_t>(serial.count)),
        0);
  }
}

// Columns whose long runs of equal values straddle the slice edges of any worker count.
inline std::vector<int32_t> RunsOfInts(int n, int run, int distinct, int32_t scale) {
  std::vector<int32_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = ((i / run) * 7919 % distinct) * scale;
  v[0] = kIntNull;
  return v;
}

}  // namespace vltest
