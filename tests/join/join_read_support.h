// Random master and slave tables with a join key and value columns of every type, joined through
// the collection, and the references the sort and read tests hold join sets against: a stable sort
// of the sorted side's rows followed by the nested-loop join, and each column's value at a record
// from the abstract values the column was built from.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "tests/join/join_build_support.h"

namespace jrtest {

using jbtest::Pair;
using kmtest::KeyType;
using kmtest::kNull;

// Abstract values of records 1..n (element 0 kNull): `null_pct` percent NULL, the others from
// 0..range-1.
inline std::vector<int> RandomValues(std::mt19937& gen, int n, int range, int null_pct) {
  std::vector<int> v(static_cast<size_t>(n) + 1, kNull);
  for (int r = 1; r <= n; ++r) {
    v[r] = static_cast<int>(gen() % 100) < null_pct ? kNull : static_cast<int>(gen() % range);
  }
  return v;
}

// One join column: its side, type and the abstract value of each record (element 0: record 0).
struct Column {
  int side;
  KeyType type;
  std::vector<int> v;
};

// The bytes a read of a value built from abstract value v must give, with its type and width.
struct Value {
  int type;
  std::string bytes;  // the text for type 6, without its zero
};

inline Value Expected(KeyType type, int v, int scale) {
  auto raw = [](const auto& x) { return std::string(reinterpret_cast<const char*>(&x), sizeof x); };
  switch (type) {
    case KeyType::kInt:
      return {Q7_TYPE_INTEGER, raw(v == kNull ? INT32_MIN : int32_t{v * 3 - 7})};
    case KeyType::kDouble:
      return {Q7_TYPE_DOUBLE, raw(v == kNull ? vltest::kDblNull : v * 0.5 - 1.0)};
    case KeyType::kDate:
      return {Q7_TYPE_DATE, raw(v == kNull ? vltest::kDblNull : 40000.0 + v)};
    case KeyType::kString:
      return {Q7_TYPE_STRING, v == kNull ? std::string() : "k" + std::to_string(v)};
    case KeyType::kDecimal:
      return {Q7_TYPE_DECIMAL, raw(v == kNull ? vltest::DecNan() : kmtest::Scaled(v, scale))};
  }
  return {};
}

class JoinReadTest : public jbtest::JoinBuildTest {
 protected:
  static constexpr int kScale = 2;

  // A master of n_m and a slave of n_s records, each with a one-pair join key from `range` values
  // (a share NULL) followed by the value columns of `types` (values from 0..9, so that a string
  // column sorts as its abstract values do; a share NULL); the join of the two through AddJoin.
  // Join columns: master key, master values, slave key, slave values.
  int Build(std::mt19937& gen, int n_m, int n_s, int range, int outer, const std::vector<KeyType>& m_types,
            const std::vector<KeyType>& s_types, bool parallel = false) {
    const int n[2] = {n_m, n_s};
    const std::vector<KeyType>* types[2] = {&m_types, &s_types};
    int tables[2] = {0, 0};
    int key_ids[2] = {0, 0};
    columns_.clear();
    for (int s = 0; s < 2; ++s) {
      tables[s] = AddTable(s == 0 ? "M" : "S", n[s]);
      keys_[s].n = n[s];
      keys_[s].values = {RandomValues(gen, n[s], range, 8)};
      key_ids[s] = AddKey(tables[s], "key", KeyType::kInt, keys_[s].values[0]);
      columns_.push_back({s, KeyType::kInt, keys_[s].values[0]});
      for (size_t c = 0; c < types[s]->size(); ++c) {
        const KeyType t = (*types[s])[c];
        std::vector<int> v = RandomValues(gen, n[s], 10, 15);
        AddKey(tables[s], "c" + std::to_string(c), t, v, kScale);
        columns_.push_back({s, t, v});
      }
    }
    master_ = tables[0];
    slave_ = tables[1];
    const int id = AddJoin(parallel, outer, master_, -1, {key_ids[0], 0}, slave_, -1, {key_ids[1], 0});
    EXPECT_GT(id, 0);
    return id;
  }

  // Column `col` (a join column ID).
  const Column& Col(int col) const { return columns_[static_cast<size_t>(col) - 1]; }

  std::vector<Column> columns_;
  kmtest::Side keys_[2];
  int master_ = 0;
  int slave_ = 0;
};

// The rows of one side of a join set as a sort takes them: in the set's order, without record 0.
inline std::vector<int> SideRows(TJoinTable* join, int set_id, int side) {
  const JoinSetEntry& e = join->Entry(join->SetID2Pos(set_id));
  std::vector<int> rows;
  for (int r : jbtest::Elements(e.rows[side])) {
    if (r >= 1) rows.push_back(r);
  }
  return rows;
}

// What a sort of set `source` must give: a set driven by `side` whose driving rows are that side's
// rows ordered by `key` (stable; descending with dir 1), each joined to the other side's rows in the
// source's order as the nested-loop join pairs them.
template <class Key>
jbtest::Reference SortedJoin(TJoinTable* join, const kmtest::Side keys[2], int source, int side, int dir,
                             Key key) {
  std::vector<int> own = SideRows(join, source, side);
  const std::vector<int> other = SideRows(join, source, 1 - side);
  std::stable_sort(own.begin(), own.end(),
                   [&](int a, int b) { return dir == 0 ? key(a) < key(b) : key(a) > key(b); });
  jbtest::Reference ref = jbtest::NestedLoopJoin(join->FOuter != 0, keys[side], own, keys[1 - side], other);
  if (side == 1) {
    for (Pair& p : ref.pairs) std::swap(p.first, p.second);
    std::swap(ref.second[0], ref.second[1]);
  }
  return ref;
}

// Every joined row of the set as ReadData's column 0 gives it: (master record, slave record).
inline std::vector<Pair> ReadPairs(TJoinTable* join, int set_id) {
  std::vector<Pair> out;
  const int n = join->GetSetSize(set_id);
  for (int row = 0; row < n; ++row) {
    int32_t records[2] = {-1, -1};
    int type = 0;
    EXPECT_EQ(join->ReadData(set_id, 0, row, &type, records), 8);
    out.emplace_back(records[0], records[1]);
  }
  return out;
}

}  // namespace jrtest
