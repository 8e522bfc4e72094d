// Key columns and a brute-force reference for the join key merge tests.
//
// A side is described by abstract values: key k of record r holds an int v >= 0 or kNull. A key
// column of any value type is built from them by a map that keeps the order (NULL first), so the
// reference can order tuples by the abstract values alone.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "join/JoinKeyMerge.h"
#include "join/MppJoinKeyMerge.h"
#include "q7api.h"
#include "tests/database/filter_fixture.h"
#include "values/ArrayFunctions.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ValueListShare.h"

namespace kmtest {

constexpr int kNull = -1;

enum class KeyType { kInt, kDouble, kDate, kString, kDecimal };
const KeyType kAllTypes[] = {KeyType::kInt, KeyType::kDouble, KeyType::kDate, KeyType::kString,
                             KeyType::kDecimal};

inline const char* TypeName(KeyType t) {
  switch (t) {
    case KeyType::kInt:
      return "int";
    case KeyType::kDouble:
      return "double";
    case KeyType::kDate:
      return "date";
    case KeyType::kString:
      return "string";
    case KeyType::kDecimal:
      return "decimal";
  }
  return "?";
}

// One table: values[k][r] for records r = 1..n (index 0 unused).
struct Side {
  int n = 0;
  std::vector<std::vector<int>> values;
  std::vector<int> Tuple(int r) const {
    std::vector<int> t;
    for (const auto& key : values) t.push_back(key[static_cast<size_t>(r)]);
    return t;
  }
};

inline Numeric Scaled(int v, int scale) {
  int64_t u = v;
  for (int i = 0; i < scale; ++i) u *= 10;
  return vltest::Dec(u);
}

// A key column of the type from abstract values (decimal: the value v at the given scale).
inline std::unique_ptr<TFilter> KeyColumn(KeyType type, const std::vector<int>& v, int scale = 2,
                                          int id = 1) {
  const int n1 = static_cast<int>(v.size());
  std::unique_ptr<TFilter> f;
  switch (type) {
    case KeyType::kInt: {
      std::vector<int32_t> raw(v.size(), vltest::kIntNull);
      for (int r = 1; r < n1; ++r) raw[r] = v[r] == kNull ? vltest::kIntNull : v[r] * 3 - 7;
      f = ftest::MakeFilter(Q7_TYPE_INTEGER, n1, raw.data(), id);
      break;
    }
    case KeyType::kDouble:
    case KeyType::kDate: {
      std::vector<double> raw(v.size(), vltest::kDblNull);
      for (int r = 1; r < n1; ++r) {
        if (v[r] != kNull) raw[r] = type == KeyType::kDate ? 40000.0 + v[r] : v[r] * 0.5 - 1.0;
      }
      f = ftest::MakeFilter(Q7_TYPE_DOUBLE, n1, raw.data(), id);
      if (type == KeyType::kDate) SetArrayDataTypeEx(f->VL, Q7_TYPE_DATE);
      break;
    }
    case KeyType::kString: {
      std::vector<std::string> texts(v.size());
      std::vector<const char*> raw(v.size(), "");
      for (int r = 1; r < n1; ++r) {
        if (v[r] == kNull) continue;
        char buf[16];
        std::snprintf(buf, sizeof buf, "k%04d", v[r]);
        texts[r] = buf;
        raw[r] = texts[r].c_str();
      }
      f = ftest::MakeFilter(Q7_TYPE_STRING, n1, raw.data(), id);
      break;
    }
    case KeyType::kDecimal: {
      std::vector<Numeric> raw(v.size(), vltest::DecNan());
      for (int r = 1; r < n1; ++r) {
        if (v[r] != kNull) raw[r] = Scaled(v[r], scale);
      }
      f = ftest::MakeFilter(Q7_TYPE_DECIMAL, n1, raw.data(), id);
      static_cast<TNumericArray*>(f->VL)->SetDecimalInfo(scale, Q7_ROUND_HALF_UP);
      break;
    }
  }
  return f;
}

// The key columns of a side; decimals at `scale`.
struct Keys {
  std::vector<std::unique_ptr<TFilter>> owned;
  std::vector<TFilter*> ptrs;
  Keys(const Side& side, const std::vector<KeyType>& types, int scale) {
    for (size_t k = 0; k < types.size(); ++k) {
      owned.push_back(KeyColumn(types[k], side.values[k], scale, static_cast<int>(k) + 1));
      ptrs.push_back(owned.back().get());
    }
  }
  TFilter** data() { return ptrs.data(); }
};

using MergeFn = void (*)(int, TFilter**, TIntArray*, TFilter**, TIntArray*, TFilter**, TFilter**);
struct Form {
  const char* name;
  MergeFn fn;
  bool parallel;
};
const Form kForms[] = {{"serial", ConcatJoinFilter, false}, {"parallel", MppConcatJoinFilterEx, true}};

// The two output columns of a merge.
struct Merged {
  std::unique_ptr<TFilter> master;
  std::unique_ptr<TFilter> slave;
  std::vector<int> Master() const { return ftest::Elements(master->PV); }
  std::vector<int> Slave() const { return ftest::Elements(slave->PV); }
  int ValueCount() const { return master->VL->FArraySize; }
};

inline Merged MergeKeys(MergeFn fn, int key_count, TFilter** m_keys, TIntArray* m_rows, TFilter** s_keys,
                        TIntArray* s_rows) {
  TFilter* m = nullptr;
  TFilter* s = nullptr;
  fn(key_count, m_keys, m_rows, s_keys, s_rows, &m, &s);
  Merged out;
  out.master.reset(m);
  out.slave.reset(s);
  return out;
}

// The numbers the merge must give: the all-NULL tuple 0, the other distinct tuples of both sets
// together 1, 2, ... in tuple order; 0 for element 0 and for records outside the set.
struct Expected {
  std::vector<int> master;
  std::vector<int> slave;
  int distinct = 0;  // distinct tuples of both sets, the all-NULL one included
};

inline Expected Reference(const Side& m, const std::vector<int>& m_set, const Side& s,
                          const std::vector<int>& s_set) {
  std::map<std::vector<int>, int> rank;
  for (int r : m_set) rank[m.Tuple(r)] = 0;
  for (int r : s_set) rank[s.Tuple(r)] = 0;
  int next = 1;
  for (auto& [tuple, number] : rank) {
    const bool all_null = std::all_of(tuple.begin(), tuple.end(), [](int v) { return v == kNull; });
    number = all_null ? 0 : next++;
  }
  Expected e;
  e.distinct = static_cast<int>(rank.size());
  e.master.assign(static_cast<size_t>(m.n) + 1, 0);
  e.slave.assign(static_cast<size_t>(s.n) + 1, 0);
  for (int r : m_set) e.master[static_cast<size_t>(r)] = rank[m.Tuple(r)];
  for (int r : s_set) e.slave[static_cast<size_t>(r)] = rank[s.Tuple(r)];
  return e;
}

// n records drawn from a pool of `pool` random tuples over values 0..range-1, a share of them NULL
// per key, and (with all_null) one pool tuple that is NULL in every key.
inline Side RandomSide(std::mt19937& gen, int n, int key_count, int pool, int range, bool all_null) {
  std::vector<std::vector<int>> tuples(static_cast<size_t>(pool),
                                       std::vector<int>(static_cast<size_t>(key_count)));
  for (auto& t : tuples) {
    for (int& v : t) v = gen() % 7 == 0 ? kNull : static_cast<int>(gen() % static_cast<unsigned>(range));
  }
  if (all_null) std::fill(tuples[0].begin(), tuples[0].end(), kNull);
  Side side;
  side.n = n;
  side.values.assign(static_cast<size_t>(key_count), std::vector<int>(static_cast<size_t>(n) + 1, kNull));
  for (int r = 1; r <= n; ++r) {
    const auto& t = tuples[gen() % static_cast<unsigned>(pool)];
    for (int k = 0; k < key_count; ++k) side.values[k][static_cast<size_t>(r)] = t[static_cast<size_t>(k)];
  }
  return side;
}

// A random subset of records 1..n in random order (keep_pct percent of them).
inline std::vector<int> RandomSet(std::mt19937& gen, int n, int keep_pct) {
  std::vector<int> set;
  for (int r = 1; r <= n; ++r) {
    if (static_cast<int>(gen() % 100) < keep_pct) set.push_back(r);
  }
  std::shuffle(set.begin(), set.end(), gen);
  return set;
}

// Side of abstract values with one key: values[0][r] = v[r - 1].
inline Side OneKey(const std::vector<int>& v) {
  Side s;
  s.n = static_cast<int>(v.size());
  s.values.push_back({kNull});
  s.values[0].insert(s.values[0].end(), v.begin(), v.end());
  return s;
}

inline std::vector<int> All(int n) {
  std::vector<int> set;
  for (int r = 1; r <= n; ++r) set.push_back(r);
  return set;
}

// The checks every result must pass: the reference numbers, IDs and names, and one value list of
// the int NULL followed by 1, 2, ... that both columns hold.
inline void ExpectMerged(const Merged& got, const Expected& want) {
  ASSERT_NE(got.master, nullptr);
  ASSERT_NE(got.slave, nullptr);
  EXPECT_EQ(got.Master(), want.master);
  EXPECT_EQ(got.Slave(), want.slave);
  EXPECT_EQ(got.master->FFilterID, kJoinMasterKeyFilterID);
  EXPECT_EQ(got.slave->FFilterID, kJoinSlaveKeyFilterID);
  EXPECT_STREQ(got.master->FFilterName, "#MASTER");
  EXPECT_STREQ(got.slave->FFilterName, "#SLAVE");
  ASSERT_EQ(got.master->VL, got.slave->VL);
  EXPECT_EQ(ValueListHolders(got.master->VL), 2);
  EXPECT_EQ(got.master->FSharedVL, 0);
  EXPECT_EQ(got.slave->FSharedVL, 1);
  const auto* list = static_cast<TIntArray*>(got.master->VL);
  ASSERT_EQ(list->GetDataType(), Q7_TYPE_INTEGER);
  ASSERT_GE(list->FArraySize, 1);
  EXPECT_EQ(const_cast<TIntArray*>(list)->GetInt(0), INT_MIN);
  for (int i = 1; i < list->FArraySize; ++i) ASSERT_EQ(const_cast<TIntArray*>(list)->GetInt(i), i);
  const int top = std::max(*std::max_element(want.master.begin(), want.master.end()),
                           *std::max_element(want.slave.begin(), want.slave.end()));
  EXPECT_GT(list->FArraySize, top);
}

}  // namespace kmtest
