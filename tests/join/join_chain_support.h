// Chains of inner joins over small INTEGER tables, and the tree a chain must give, worked out by
// brute force from the tables' key columns and the joins' sets (no pairing structure involved).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "tests/database/table_test_support.h"

namespace chaintest {

// One table of a chain: its ID, its record count, the keys it is joined on as the slave of the
// join before it ("in") and as the master of the join after it ("out"), and its data column.
struct ChainTable {
  int id = 0;
  int rows = 0;
  int in_key = 0, out_key = 0, data = 0;  // filter IDs
  std::vector<int> in, out, values;       // by record (element 0 unused)
  std::vector<int> set;                   // the rows each join reads from this table
};

// One tree row: depth, record and the data values of its table.
struct TreeRow {
  int depth;
  int rec;
  std::vector<int> data;
  bool operator==(const TreeRow& o) const { return depth == o.depth && rec == o.rec && data == o.data; }
};

inline std::ostream& operator<<(std::ostream& os, const TreeRow& r) {
  os << "(" << r.depth << ", " << r.rec;
  for (int v : r.data) os << ", " << v;
  return os << ")";
}

// The INTEGER values of a filter, records 1 .. n.
inline std::vector<int> IntColumn(TRealTable* t, int filter_id) {
  TFilter* f = t->FFilters[t->FilterID2Pos(filter_id)];
  const int* values = static_cast<const int*>(f->VL->FData);
  std::vector<int> out;
  for (int r = 1; r < f->PV->FArraySize; ++r) out.push_back(values[f->PV->PIntAr()[r]]);
  return out;
}

// The rows of a tree table (filters 1, 2 and then `data_columns` more), in record order.
inline std::vector<TreeRow> TreeOf(TRealTable* t, int data_columns) {
  const std::vector<int> depth = IntColumn(t, 1);
  const std::vector<int> rec = IntColumn(t, 2);
  std::vector<std::vector<int>> data;
  for (int c = 0; c < data_columns; ++c) data.push_back(IntColumn(t, 3 + c));
  std::vector<TreeRow> rows;
  for (size_t i = 0; i < depth.size(); ++i) {
    TreeRow r{depth[i], rec[i], {}};
    for (int c = 0; c < data_columns; ++c) r.data.push_back(data[static_cast<size_t>(c)][i]);
    rows.push_back(r);
  }
  return rows;
}

// The tree of a chain over tables[0..m]: join k pairs tables[k].set (master rows, on out) with
// tables[k + 1].set (slave rows, on in); keys pair when equal (NULL with NULL, as an inner join).
inline std::vector<TreeRow> ReferenceTree(const std::vector<ChainTable>& tables, bool with_data) {
  std::vector<TreeRow> out;
  const int m = static_cast<int>(tables.size()) - 1;
  auto in_set = [](const std::vector<int>& set, int r) {
    for (int x : set) {
      if (x == r) return true;
    }
    return false;
  };
  auto walk = [&](auto&& self, int node, int level) -> void {
    const ChainTable& t = tables[static_cast<size_t>(level)];
    TreeRow row{level, node, {}};
    if (with_data) row.data.push_back(t.values[static_cast<size_t>(node)]);
    out.push_back(row);
    if (level == m || !in_set(t.set, node)) return;
    const ChainTable& next = tables[static_cast<size_t>(level) + 1];
    for (int s : next.set) {
      if (next.in[static_cast<size_t>(s)] == t.out[static_cast<size_t>(node)]) self(self, s, level + 1);
    }
  };
  for (int r : tables[0].set) walk(walk, r, 0);
  return out;
}

class ChainTest : public ttest::TableTest {
 protected:
  void TearDown() override { TTableCollection::m_nMaxJoinChain = TTableCollection::kMinJoinChain; }

  // A table of n records whose keys and data are drawn at random (keys from 0 .. key_range - 1, a
  // few NULL when `nulls`: NULL pairs with NULL, so they multiply), and a shuffled subset of its
  // records as the set its joins read.
  ChainTable RandomTable(std::mt19937& gen, const std::string& name, int n, int key_range,
                         bool nulls = true) {
    ChainTable t;
    t.rows = n;
    t.id = AddTable(name, n);
    auto draw = [&](bool nulls) {
      std::vector<int> v(static_cast<size_t>(n) + 1, 0);
      for (int r = 1; r <= n; ++r) {
        v[static_cast<size_t>(r)] = nulls && gen() % 50 == 0 ? INT_MIN : static_cast<int>(gen() % key_range);
      }
      return v;
    };
    t.in = draw(nulls);
    t.out = draw(nulls);
    t.values = draw(false);
    for (int& v : t.values) v = v * 7 - 100;
    t.in_key = AddIntFilter(Real(t.id), "in", {t.in.begin() + 1, t.in.end()});
    t.out_key = AddIntFilter(Real(t.id), "out", {t.out.begin() + 1, t.out.end()});
    t.data = AddIntFilter(Real(t.id), "data", {t.values.begin() + 1, t.values.end()});
    for (int r = 1; r <= n; ++r) {
      if (gen() % 5 != 0) t.set.push_back(r);
    }
    std::shuffle(t.set.begin(), t.set.end(), gen);
    return t;
  }

  // The set a table's joins read, registered in the table; its ID.
  int RegisterSet(const ChainTable& t) {
    return Real(t.id)->AddSetFromRows(static_cast<int>(t.set.size()), t.set.data());
  }

  // An inner (or outer) join of master's set on its out key with slave's set on its in key, built
  // by the collection; its ID.
  int JoinOf(const ChainTable& master, int master_set, const ChainTable& slave, int slave_set,
             int outer = 0) {
    int mk[] = {master.out_key, 0};
    int sk[] = {slave.in_key, 0};
    char name[] = "J";
    const int id = db_->AddJoinTable(name, outer, master.id, master_set, mk, slave.id, slave_set, sk);
    EXPECT_GT(id, 0);
    return id;
  }

  // The joins of a chain over tables (each table's set registered once).
  std::vector<int> ChainOf(const std::vector<ChainTable>& tables) {
    std::vector<int> sets;
    for (const ChainTable& t : tables) sets.push_back(RegisterSet(t));
    std::vector<int> joins;
    for (size_t k = 0; k + 1 < tables.size(); ++k)
      joins.push_back(JoinOf(tables[k], sets[k], tables[k + 1], sets[k + 1]));
    joins.push_back(0);
    return joins;
  }

  // Realizes the chain serially or on the pool with the data column of every table (or none).
  int Realize(bool parallel, const std::vector<int>& joins, int n_tables, bool with_data,
              int* table_ids = nullptr, int (*sets)[510] = nullptr) {
    std::vector<int> own_ids(511, -7);
    static int own_sets[2][510];
    std::vector<std::array<int, 4>> columns(static_cast<size_t>(n_tables));
    for (int k = 0; k < n_tables; ++k) columns[static_cast<size_t>(k)] = {3, 0, 0, 0};
    const int(*cols)[4] = reinterpret_cast<const int(*)[4]>(columns.data());
    char name[] = "chain";
    int* ids_out = table_ids != nullptr ? table_ids : own_ids.data();
    int(*sets_out)[510] = sets != nullptr ? sets : own_sets;
    return parallel ? db_->MppRealizeJoinChain(name, joins.data(), with_data ? 1 : 0, cols, ids_out, sets_out)
                    : db_->RealizeJoinChain(name, joins.data(), with_data ? 1 : 0, cols, ids_out, sets_out);
  }
};

}  // namespace chaintest
