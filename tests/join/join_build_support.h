// Real tables with key columns of every value type, joins built through the collection, and a
// brute-force nested-loop join to hold the built join sets against.
//
// Key values are abstract, as in key_merge_support.h: key k of record r holds an int v >= 0 or
// kNull, turned into a column of the chosen type by a map that keeps equality (and NULL), so the
// reference joins on the abstract values alone.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "join/JoinRecordKernels.h"
#include "join/TJoinTable.h"
#include "tests/join/key_merge_support.h"
#include "tests/support/test_support.h"
#include "values/TNumericArray.h"

namespace jbtest {

using kmtest::KeyType;
using kmtest::kNull;
using kmtest::Side;

// One joined row: its master record and its slave record, 0 for none.
using Pair = std::pair<int, int>;

// What a join set holds, array by array, so two builds can be compared whole; with the rows'
// attribute blocks, which travel with them into files and images.
struct SetImage {
  int size = 0;
  int side = 0;
  std::vector<int> rows[2], projection[2], second[2];
  std::vector<uint8_t> rows_attributes[2];
  bool operator==(const SetImage& o) const {
    return size == o.size && side == o.side && rows[0] == o.rows[0] && rows[1] == o.rows[1] &&
           projection[0] == o.projection[0] && projection[1] == o.projection[1] && second[0] == o.second[0] &&
           second[1] == o.second[1] && rows_attributes[0] == o.rows_attributes[0] &&
           rows_attributes[1] == o.rows_attributes[1];
  }
};

inline std::vector<int> Elements(const TSetArray* s) {
  if (s == nullptr || s->FArraySize == 0) return {};
  const int* p = static_cast<const int*>(s->FData);
  return std::vector<int>(p, p + s->FArraySize);
}

// The expected pairing of a master set and a slave set over abstract key tuples. Tuples match when
// equal value by value, NULL matching NULL: an inner join pairs every such master and slave row
// (all-NULL tuples included); an outer join leaves out the all-NULL tuples and adds the rows
// without partner. The joined rows come in the order the join defines: (outer) the slave rows
// without master partner, then each master row in set order with its partners in set order.
struct Reference {
  std::vector<Pair> pairs;
  std::vector<int> second[2];  // rows of each side whose tuple the other side's set lacks
};

inline bool AllNull(const std::vector<int>& t) {
  return std::all_of(t.begin(), t.end(), [](int v) { return v == kNull; });
}

inline Reference NestedLoopJoin(bool outer, const Side& m, const std::vector<int>& m_set, const Side& s,
                                const std::vector<int>& s_set) {
  Reference ref;
  auto has_partner = [](const Side& self, int r, const Side& other, const std::vector<int>& other_set) {
    for (int o : other_set) {
      if (self.Tuple(r) == other.Tuple(o)) return true;
    }
    return false;
  };
  for (int r : m_set) {
    if (!has_partner(m, r, s, s_set)) ref.second[0].push_back(r);
  }
  for (int r : s_set) {
    if (!has_partner(s, r, m, m_set)) ref.second[1].push_back(r);
  }
  if (outer) {
    for (int r : s_set) {
      if (!AllNull(s.Tuple(r)) && !has_partner(s, r, m, m_set)) ref.pairs.emplace_back(0, r);
    }
  }
  for (int mr : m_set) {
    if (outer && AllNull(m.Tuple(mr))) continue;
    bool any = false;
    for (int sr : s_set) {
      if (m.Tuple(mr) == s.Tuple(sr)) {
        ref.pairs.emplace_back(mr, sr);
        any = true;
      }
    }
    if (outer && !any) ref.pairs.emplace_back(mr, 0);
  }
  return ref;
}

class JoinBuildTest : public q7test::RingTest {
 protected:
  void SetUp() override { db_ = std::make_unique<TTableCollection>(); }

  int AddTable(const std::string& name, int rows) {
    std::string work = name;
    const int id = db_->AddRealTable(work.data(), rows);
    EXPECT_GT(id, 0) << name;
    return id;
  }
  TRealTable* Real(int id) { return static_cast<TRealTable*>(db_->GetTable(id)); }
  TJoinTable* Join(int id) { return static_cast<TJoinTable*>(db_->GetTable(id)); }

  // A column of the type holding the abstract values v[r] for records r = 1 .. (v[0] is not read);
  // decimals at `scale`. Returns its filter ID.
  int AddKey(int table, const std::string& name, KeyType type, const std::vector<int>& v, int scale = 2) {
    TRealTable* t = Real(table);
    const int n = static_cast<int>(v.size()) - 1;
    std::string work = name;
    int id = 0;
    switch (type) {
      case KeyType::kInt: {
        std::vector<int32_t> raw(static_cast<size_t>(n));
        for (int r = 1; r <= n; ++r) raw[r - 1] = v[r] == kNull ? INT32_MIN : v[r] * 3 - 7;
        id = t->AddFilter2(1024, work.data(), Q7_TYPE_INTEGER, n, 4, raw.data(), 0, -1);
        break;
      }
      case KeyType::kDouble:
      case KeyType::kDate: {
        std::vector<double> raw(static_cast<size_t>(n), vltest::kDblNull);
        for (int r = 1; r <= n; ++r) {
          if (v[r] != kNull) raw[r - 1] = type == KeyType::kDate ? 40000.0 + v[r] : v[r] * 0.5 - 1.0;
        }
        id = t->AddFilter2(1024, work.data(), type == KeyType::kDate ? Q7_TYPE_DATE : Q7_TYPE_DOUBLE, n, 8,
                           raw.data(), 0, -1);
        break;
      }
      case KeyType::kString: {
        std::vector<std::string> texts(static_cast<size_t>(n));
        std::vector<const char*> raw(static_cast<size_t>(n));
        for (int r = 1; r <= n; ++r) {
          if (v[r] != kNull) texts[r - 1] = "k" + std::to_string(v[r]);
          raw[r - 1] = texts[r - 1].c_str();
        }
        id = t->AddFilter2(1024, work.data(), Q7_TYPE_STRING, n, 8, raw.data(), 0, -1);
        break;
      }
      case KeyType::kDecimal: {
        std::vector<Numeric> raw(static_cast<size_t>(n), vltest::DecNan());
        for (int r = 1; r <= n; ++r) {
          if (v[r] != kNull) raw[r - 1] = kmtest::Scaled(v[r], scale);
        }
        id = t->AddFilter2(1024, work.data(), Q7_TYPE_DECIMAL, n, 16, raw.data(), 0, -1);
        if (id > 0)
          static_cast<TNumericArray*>(t->GetFilter(id)->VL)->SetDecimalInfo(scale, Q7_ROUND_HALF_UP);
        break;
      }
    }
    EXPECT_GT(id, 0) << name;
    return id;
  }

  // A table holding the side's keys (key k named "k<k>", of types[k]); its ID and the key IDs.
  int AddSide(const std::string& name, const Side& side, const std::vector<KeyType>& types, int scale,
              std::vector<int>* key_ids) {
    const int table = AddTable(name, side.n);
    key_ids->clear();
    for (size_t k = 0; k < types.size(); ++k) {
      key_ids->push_back(AddKey(table, "k" + std::to_string(k), types[k], side.values[k], scale));
    }
    key_ids->push_back(0);
    return table;
  }

  // Registers the rows as a set of the table; its ID.
  int AddSet(int table, const std::vector<int>& rows) {
    const int id = Real(table)->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    EXPECT_GT(id, 0);
    return id;
  }

  // AddJoinTable / MppAddJoinTable; a thrown code is returned like a returned one.
  int AddJoin(bool parallel, int outer, int master, int master_set, std::vector<int> master_keys, int slave,
              int slave_set, std::vector<int> slave_keys, const char* name = "J") {
    std::string work = name;
    try {
      return parallel ? db_->MppAddJoinTable(work.data(), outer, master, master_set, master_keys.data(),
                                             slave, slave_set, slave_keys.data())
                      : db_->AddJoinTable(work.data(), outer, master, master_set, master_keys.data(), slave,
                                          slave_set, slave_keys.data());
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  }

  std::unique_ptr<TTableCollection> db_;
};

// Every joined row of the set, resolved through its entry, as (master record, slave record).
inline std::vector<Pair> Resolve(TJoinTable* join, int set_id) {
  const int pos = join->SetID2Pos(set_id);
  EXPECT_GE(pos, 0);
  if (pos < 0) return {};
  JoinSetEntry& e = join->Entry(pos);
  const int d = e.side;
  const int o = 1 - d;
  TFilter* keys[2] = {join->FMasterKeyFilter, join->FSlaveKeyFilter};
  std::vector<Pair> out;
  for (int j = 0; j < e.size; ++j) {
    int driving = -1;
    int partner = -1;
    DesolveJoinRecNo(j, e.rows[d], e.projection[d]->PIntAr(), keys[d]->PV, e.rows[o],
                     e.projection[o]->PIntAr(), &driving, &partner);
    out.push_back(d == 0 ? Pair(driving, partner) : Pair(partner, driving));
  }
  return out;
}

inline SetImage Image(TJoinTable* join, int set_id) {
  SetImage img;
  const int pos = join->SetID2Pos(set_id);
  EXPECT_GE(pos, 0);
  if (pos < 0) return img;
  JoinSetEntry& e = join->Entry(pos);
  img.size = e.size;
  img.side = e.side;
  for (int s = 0; s < 2; ++s) {
    img.rows[s] = Elements(e.rows[s]);
    if (e.rows[s] != nullptr) {
      img.rows_attributes[s].assign(e.rows[s]->FUserArea, e.rows[s]->FUserArea + TBaseArray::kUserAreaSize);
    }
    img.projection[s] = Elements(e.projection[s]);
    img.second[s] = Elements(e.second[s]);
  }
  return img;
}

}  // namespace jbtest
