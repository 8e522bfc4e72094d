// Searches, set operations and per-value counts of a join table over small random tables with
// repeated and NULL keys, each held against a nested-loop join of the rows the operation keeps;
// for inner joins also against the source set's joined rows filtered pair by pair. Inner and
// outer joins, master-driven and slave-driven sets, the rows without partner, and the refusals,
// which never leave a set behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "join/TJoinTable.h"
#include "tests/database/table_test_support.h"
#include "tests/join/join_build_support.h"
#include "values/TIntArray.h"

namespace {

using jbtest::Pair;
using kmtest::KeyType;
using kmtest::kNull;

constexpr int N = kNull;

// The abstract value a of an INTEGER column is stored as 3a - 7 (join_build_support.h).
int Raw(int a) { return a * 3 - 7; }

std::vector<int> NonZero(const std::vector<int>& rows) {
  std::vector<int> out;
  for (int r : rows) {
    if (r != 0) out.push_back(r);
  }
  return out;
}

template <class Keep>
std::vector<int> Filter(const std::vector<int>& rows, Keep keep) {
  std::vector<int> out;
  for (int r : rows) {
    if (keep(r)) out.push_back(r);
  }
  return out;
}

// Values for records 1..n (element 0 unused) from 0..range-1, about one in six NULL.
std::vector<int> RandomValues(std::mt19937& gen, int n, int range) {
  std::vector<int> v(static_cast<size_t>(n) + 1, N);
  for (int r = 1; r <= n; ++r) v[r] = gen() % 6 == 0 ? N : static_cast<int>(gen() % range);
  return v;
}

// What a join set must hold: its joined rows in order and the rows without partner of each side.
struct Want {
  std::vector<Pair> pairs;
  std::vector<int> second[2];
};

// Two tables, each with a key, an INTEGER column p and a STRING column t ("k" and the value), and
// a join on the keys. Join columns: 1 key, 2 p, 3 t of the master, 4 key, 5 p, 6 t of the slave.
struct World {
  kmtest::Side key[2];
  std::vector<int> p[2];
  std::vector<int> t[2];
  int table[2] = {0, 0};
  int join = 0;
  bool outer = false;

  const std::vector<int>& Values(int col) const {
    const int side = col <= 3 ? 0 : 1;
    const int k = (col - 1) % 3;
    return k == 0 ? key[side].values[0] : (k == 1 ? p[side] : t[side]);
  }
};

constexpr int kMasterKey = 1, kMasterP = 2, kMasterT = 3, kSlaveKey = 4, kSlaveP = 5, kSlaveT = 6;

int SideOf(int col) { return col <= 3 ? 0 : 1; }

class JoinSearchTest : public jbtest::JoinBuildTest {
 protected:
  // A master of nm and a slave of ns records; keys from `pool` tuples over 0..range-1, p from
  // 0..p_range-1, t from 0..t_range-1. The join takes a random master set and the slave's set 1.
  World Build(std::mt19937& gen, bool outer, int nm, int ns, int pool, int range, int p_range, int t_range,
              int master_keep_pct = 85) {
    World w;
    w.outer = outer;
    const int n[2] = {nm, ns};
    std::vector<int> key_ids[2];
    for (int s = 0; s < 2; ++s) {
      w.key[s] = kmtest::RandomSide(gen, n[s], 1, pool, range, true);
      w.p[s] = RandomValues(gen, n[s], p_range);
      w.t[s] = RandomValues(gen, n[s], t_range);
      w.table[s] = AddTable(s == 0 ? "M" : "S", n[s]);
      key_ids[s].push_back(AddKey(w.table[s], "key", KeyType::kInt, w.key[s].values[0]));
      key_ids[s].push_back(0);
      AddKey(w.table[s], "p", KeyType::kInt, w.p[s]);
      AddKey(w.table[s], "t", KeyType::kString, w.t[s]);
    }
    const int master_set = AddSet(w.table[0], kmtest::RandomSet(gen, nm, master_keep_pct));
    w.join = AddJoin(false, outer ? 1 : 0, w.table[0], master_set, key_ids[0], w.table[1], -1, key_ids[1]);
    EXPECT_GT(w.join, 0);
    return w;
  }

  // The join of the given master and slave rows, in that order, driven by `side`.
  static Want Expect(const World& w, int side, const std::vector<int>& masters,
                     const std::vector<int>& slaves) {
    Want want;
    if (side == 0) {
      jbtest::Reference ref = jbtest::NestedLoopJoin(w.outer, w.key[0], masters, w.key[1], slaves);
      want.pairs = ref.pairs;
      want.second[0] = ref.second[0];
      want.second[1] = ref.second[1];
    } else {
      jbtest::Reference ref = jbtest::NestedLoopJoin(w.outer, w.key[1], slaves, w.key[0], masters);
      for (const Pair& p : ref.pairs) want.pairs.emplace_back(p.second, p.first);
      want.second[0] = ref.second[1];
      want.second[1] = ref.second[0];
    }
    return want;
  }

  // A set's rows of both sides, without the record 0 an outer pairing leaves in them.
  std::vector<int> SourceRows(const World& w, int set_id, int side) {
    return NonZero(jbtest::Image(Join(w.join), set_id).rows[side]);
  }

  // What a search of `side` keeping the records `keep` selects must give from source set_id.
  template <class Keep>
  Want ExpectSearch(const World& w, int set_id, int side, Keep keep) {
    const jbtest::SetImage img = jbtest::Image(Join(w.join), set_id);
    std::vector<int> rows[2] = {NonZero(img.rows[0]), NonZero(img.rows[1])};
    rows[side] = Filter(rows[side], keep);
    return Expect(w, img.side, rows[0], rows[1]);
  }

  // A slave-driven copy of a set (the searches keep their source's side); its ID.
  int SlaveDriven(const World& w, int set_id) {
    TJoinTable* j = Join(w.join);
    const std::vector<int> rows[2] = {SourceRows(w, set_id, 0), SourceRows(w, set_id, 1)};
    const int id = j->RegNewSet(1);
    JoinSetEntry& e = j->Entry(j->SetID2Pos(id));
    e.rows[0] = ttest::MakeSet(rows[0]).release();
    e.rows[1] = ttest::MakeSet(rows[1]).release();
    j->CutUnUse(id);
    j->MakeJoin(id);
    ExpectSetIs(w, id, 1, Expect(w, 1, rows[0], rows[1]));
    return id;
  }

  void ExpectSetIs(const World& w, int id, int side, const Want& want) {
    TJoinTable* j = Join(w.join);
    const jbtest::SetImage img = jbtest::Image(j, id);
    EXPECT_EQ(img.side, side);
    EXPECT_EQ(img.size, static_cast<int>(want.pairs.size()));
    EXPECT_EQ(jbtest::Resolve(j, id), want.pairs);
    EXPECT_EQ(img.second[0], want.second[0]);
    EXPECT_EQ(img.second[1], want.second[1]);
  }

  // The source sets a search is tried on: set 1, a search result of set 1 (the rows whose master
  // p lies in 1..6) and a slave-driven copy of set 1.
  std::vector<std::pair<const char*, int>> Sources(const World& w) {
    TJoinTable* j = Join(w.join);
    int bounds[2] = {Raw(1), Raw(6)};
    const int searched = j->SearchByField(kMasterP, 1, 1, reinterpret_cast<char*>(&bounds[0]),
                                          reinterpret_cast<char*>(&bounds[1]));
    EXPECT_GT(searched, 1);
    return {{"set 1", 1}, {"a search result", searched}, {"slave-driven", SlaveDriven(w, 1)}};
  }

  // The ring entries left, oldest first.
  std::vector<std::string> Ring() {
    std::vector<std::string> out;
    for (std::string e = TakeRing(); !e.empty(); e = TakeRing()) out.push_back(e);
    return out;
  }
};

// ---- Value searches ----

enum class Kind { kByValue, kNValues, kHitMap };

struct ValueCase {
  const char* name;
  Kind kind;
  int op;                         // kByValue
  int from, to;                   // abstract bounds (kByValue)
  std::vector<int> values;        // kNValues
  std::function<bool(int)> keep;  // on the abstract value, N for NULL
};

const ValueCase kValueCases[] = {
    {"equal", Kind::kByValue, 0, 2, 0, {}, [](int v) { return v == 2; }},
    {"between", Kind::kByValue, 1, 1, 3, {}, [](int v) { return v != N && v >= 1 && v <= 3; }},
    {"not equal", Kind::kByValue, 4, 2, 0, {}, [](int v) { return v != N && v != 2; }},
    {"less than", Kind::kByValue, 6, 3, 0, {}, [](int v) { return v != N && v < 3; }},
    {"is null", Kind::kByValue, 11, 0, 0, {}, [](int v) { return v == N; }},
    {"n values", Kind::kNValues, 0, 0, 0, {1, 4, 99}, [](int v) { return v == 1 || v == 4; }},
    {"hit map", Kind::kHitMap, 0, 0, 0, {}, [](int v) { return v == N || v % 2 == 1; }},
};

// Runs a value case on the column of set_id; the new set's ID.
int RunValueCase(TJoinTable* j, const ValueCase& c, int col, int set_id, bool mpp) {
  switch (c.kind) {
    case Kind::kByValue: {
      int bounds[2] = {Raw(c.from), Raw(c.to)};
      return mpp ? j->MppSearchByField(col, set_id, c.op, reinterpret_cast<char*>(&bounds[0]),
                                       reinterpret_cast<char*>(&bounds[1]))
                 : j->SearchByField(col, set_id, c.op, reinterpret_cast<char*>(&bounds[0]),
                                    reinterpret_cast<char*>(&bounds[1]));
    }
    case Kind::kNValues: {
      std::vector<int> raw;
      for (int v : c.values) raw.push_back(Raw(v));
      const int n = static_cast<int>(raw.size());
      return mpp ? j->MppSearchByFieldNValues(col, set_id, n, raw.data())
                 : j->SearchByFieldNValues(col, set_id, n, raw.data());
    }
    case Kind::kHitMap: {
      // One byte per value of the source column's list, from the values themselves.
      TFilter* f = j->GetFilter(col);
      const auto* list = static_cast<TIntArray*>(f->VL);
      std::vector<unsigned char> hits(static_cast<size_t>(list->FArraySize), 0);
      for (int v = 0; v < list->FArraySize; ++v) {
        const int raw = const_cast<TIntArray*>(list)->GetInt(v);
        hits[static_cast<size_t>(v)] = c.keep(raw == INT_MIN ? N : (raw + 7) / 3) ? 7 : 0;
      }
      return j->Search(col, set_id, hits.data());
    }
  }
  return 0;
}

TEST_F(JoinSearchTest, ValueSearchesKeepTheJoinedRowsWhoseSearchedSideMatches) {
  std::mt19937 gen(1210);
  for (bool outer : {false, true}) {
    World w = Build(gen, outer, 60, 45, 12, 4, 7, 5);
    TJoinTable* j = Join(w.join);
    const auto sources = Sources(w);
    for (const auto& [source_name, source] : sources) {
      const jbtest::SetImage before = jbtest::Image(j, source);
      for (int col : {kMasterP, kSlaveP, kMasterKey}) {
        for (const ValueCase& c : kValueCases) {
          for (bool mpp : {false, true}) {
            if (mpp && c.kind == Kind::kHitMap) continue;
            SCOPED_TRACE(testing::Message() << (outer ? "outer, " : "inner, ") << source_name << ", column "
                                            << col << ", " << c.name << (mpp ? ", Mpp" : ""));
            const int side = SideOf(col);
            const std::vector<int>& values = w.Values(col);
            auto keep = [&](int r) { return c.keep(values[static_cast<size_t>(r)]); };
            const int id = RunValueCase(j, c, col, source, mpp);
            ASSERT_GT(id, 0);
            EXPECT_EQ(j->GetCurrentSetID(), id);
            ExpectSetIs(w, id, before.side, ExpectSearch(w, source, side, keep));
            if (!outer) {
              // An inner join keeps exactly the source's joined rows whose searched side passes.
              std::vector<Pair> want;
              for (const Pair& p : jbtest::Resolve(j, source)) {
                if (keep(side == 0 ? p.first : p.second)) want.push_back(p);
              }
              EXPECT_EQ(jbtest::Resolve(j, id), want);
            }
            EXPECT_TRUE(jbtest::Image(j, source) == before) << "the source set changed";
            ASSERT_EQ(j->DelSet(id), 0);
          }
        }
      }
    }
  }
}

// The set searches leave the merge of pending values to the join table: a value written to a
// source column just before, still pending, is found by the serial and the pool search alike.
TEST_F(JoinSearchTest, ValueSearchesFindPendingValuesOfTheSourceColumn) {
  std::mt19937 gen(4242);
  World w = Build(gen, false, 200, 45, 12, 4, 7, 5);  // large enough to keep a write pending
  TJoinTable* j = Join(w.join);
  const std::vector<int> masters = SourceRows(w, 1, 0);
  ASSERT_GE(masters.size(), 2u);
  TFilter* f = j->GetFilter(kMasterP);
  f->AllocTVL();
  for (bool mpp : {false, true}) {
    SCOPED_TRACE(mpp ? "Mpp" : "serial");
    const int value = mpp ? 101 : 100;  // new to the column
    const int record = masters[mpp ? 1 : 0];
    ASSERT_GT(f->AppendTVLInt(Raw(value), record), 0);
    w.p[0][static_cast<size_t>(record)] = value;
    int bound = Raw(value);
    char* from = reinterpret_cast<char*>(&bound);
    const int id =
        mpp ? j->MppSearchByField(kMasterP, 1, 0, from, from) : j->SearchByField(kMasterP, 1, 0, from, from);
    ASSERT_GT(id, 0);
    ExpectSetIs(w, id, 0, ExpectSearch(w, 1, 0, [&](int r) { return r == record; }));
    EXPECT_FALSE(jbtest::Resolve(j, id).empty());
    EXPECT_EQ(f->TVLCount, 0);
  }
}

// ---- By the text from the second byte ----

struct TextCase {
  int op;
  const char* from;
  const char* to;
  std::function<bool(const std::string&)> keep;  // on the text after "k"
};

const TextCase kTextCases[] = {
    {0, "17", "", [](const std::string& s) { return s == "17"; }},
    {1, "2", "45", [](const std::string& s) { return s >= "2" && s <= "45"; }},
    {2, "3", "", [](const std::string& s) { return s <= "3"; }},
    {3, "71", "", [](const std::string& s) { return s >= "71"; }},
    {4, "17", "", [](const std::string& s) { return s != "17"; }},
    {5, "2", "45", [](const std::string& s) { return s > "2" && s < "45"; }},
    {6, "3", "", [](const std::string& s) { return s < "3"; }},
    {6, "", "", [](const std::string&) { return false; }},
    {7, "71", "", [](const std::string& s) { return s > "71"; }},
    {8, "1", "", [](const std::string& s) { return s.rfind('1', 0) == 0; }},
    {9, "0", "", [](const std::string& s) { return s.find('0') != std::string::npos; }},
    {10, "9", "", [](const std::string& s) { return !s.empty() && s.back() == '9'; }},
};

// Over a master of many distinct texts: a join on all its rows searches a set of at least an
// eighth of the value count (one flag per value), a join on 25 of them a smaller one (the scope of
// the values it uses); both give the reference's rows. The NULL value is never kept.
TEST_F(JoinSearchTest, SecondByteSearchesGiveTheSameRowsForLargeAndSmallSets) {
  std::mt19937 gen(77);
  for (bool outer : {false, true}) {
    for (int keep_pct : {100, 6}) {
      World w = Build(gen, outer, 400, 80, 40, 30, 5, 600, keep_pct);
      TJoinTable* j = Join(w.join);
      const int n_values = j->GetFilter(kMasterT)->VL->FArraySize;
      const int n_masters = static_cast<int>(SourceRows(w, 1, 0).size());
      EXPECT_EQ(n_masters >= n_values / 8, keep_pct == 100) << n_masters << " of " << n_values;
      for (int col : {kMasterT, kSlaveT}) {
        for (const TextCase& c : kTextCases) {
          SCOPED_TRACE(testing::Message()
                       << (outer ? "outer" : "inner") << ", " << keep_pct << "% of the masters, "
                       << "column " << col << ", op " << c.op << " '" << c.from << "'");
          const std::vector<int>& values = w.Values(col);
          auto keep = [&](int r) {
            const int v = values[static_cast<size_t>(r)];
            return v != N && c.keep(std::to_string(v));
          };
          const int id = j->SearchByField2(col, 1, c.op, const_cast<char*>(c.from), const_cast<char*>(c.to));
          ASSERT_GT(id, 0);
          ExpectSetIs(w, id, 0, ExpectSearch(w, 1, SideOf(col), keep));
          ASSERT_EQ(j->DelSet(id), 0);
        }
      }
    }
  }
}

// ---- By record number ----

struct RecNoCase {
  int op, from, to;
  std::function<bool(int)> keep;
};

const RecNoCase kRecNoCases[] = {
    {0, 7, 0, [](int r) { return r == 7; }},         {1, 10, 20, [](int r) { return r >= 10 && r <= 20; }},
    {2, 12, 0, [](int r) { return r <= 12; }},       {3, 12, 0, [](int r) { return r >= 12; }},
    {4, 7, 0, [](int r) { return r != 7; }},         {5, 10, 20, [](int r) { return r > 10 && r < 20; }},
    {6, 12, 0, [](int r) { return r < 12; }},        {7, 12, 0, [](int r) { return r > 12; }},
    {1, INT_MIN, INT_MAX, [](int) { return true; }}, {5, INT_MAX, INT_MIN, [](int) { return false; }},
};

TEST_F(JoinSearchTest, SearchByRecNoKeepsTheJoinedRowsOfTheRecordsOfOneSide) {
  std::mt19937 gen(5);
  World w = Build(gen, false, 40, 30, 8, 4, 5, 5);
  TJoinTable* j = Join(w.join);
  const int slave_driven = SlaveDriven(w, 1);
  for (int source : {1, slave_driven}) {
    for (int side : {0, 1}) {
      for (const RecNoCase& c : kRecNoCases) {
        SCOPED_TRACE(testing::Message() << "set " << source << ", side " << side << ", op " << c.op << " "
                                        << c.from << ".." << c.to);
        const int id = j->SearchByRecNo(side, source, c.op, c.from, c.to);
        ASSERT_GT(id, 0);
        ExpectSetIs(w, id, source == 1 ? 0 : 1, ExpectSearch(w, source, side, c.keep));
        std::vector<Pair> want;
        for (const Pair& p : jbtest::Resolve(j, source)) {
          if (c.keep(side == 0 ? p.first : p.second)) want.push_back(p);
        }
        EXPECT_EQ(jbtest::Resolve(j, id), want);
        ASSERT_EQ(j->DelSet(id), 0);
      }
    }
  }
}

// ---- Set operations ----

std::vector<int> Sorted(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

// op (0 AND, 1 OR, 2 AND NOT) of two record lists, ascending.
std::vector<int> Combined(int op, const std::vector<int>& a, const std::vector<int>& b) {
  const std::vector<int> x = Sorted(a), y = Sorted(b);
  std::vector<int> out;
  if (op == 0) std::set_intersection(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(out));
  if (op == 1) std::set_union(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(out));
  if (op == 2) std::set_difference(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(out));
  return out;
}

TEST_F(JoinSearchTest, SetOperationsCombineTheMasterAndSlaveRowsAndPairThemAgain) {
  std::mt19937 gen(99);
  for (bool outer : {false, true}) {
    World w = Build(gen, outer, 60, 45, 12, 4, 7, 5);
    TJoinTable* j = Join(w.join);
    int lo = Raw(0), hi = Raw(4);
    const int a =
        j->SearchByField(kMasterP, 1, 1, reinterpret_cast<char*>(&lo), reinterpret_cast<char*>(&hi));
    lo = Raw(2);
    hi = Raw(6);
    const int b = j->SearchByField(kSlaveP, 1, 1, reinterpret_cast<char*>(&lo), reinterpret_cast<char*>(&hi));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    const int n_masters = w.key[0].n;
    for (bool mpp : {false, true}) {
      for (int source : {1, a}) {
        SCOPED_TRACE(testing::Message()
                     << (outer ? "outer" : "inner") << (mpp ? ", Mpp" : "") << ", not of set " << source);
        const std::vector<int> in = SourceRows(w, source, 0);
        const std::vector<int> masters = Filter(
            kmtest::All(n_masters), [&](int r) { return std::find(in.begin(), in.end(), r) == in.end(); });
        const int id = mpp ? j->MppSetNot(source) : j->SetNot(source);
        ASSERT_GT(id, 0);
        EXPECT_EQ(j->GetCurrentSetID(), id);
        ExpectSetIs(w, id, 0, Expect(w, 0, masters, SourceRows(w, source, 1)));
        ASSERT_EQ(j->DelSet(id), 0);
      }
      for (int op : {0, 1, 2}) {
        SCOPED_TRACE(testing::Message()
                     << (outer ? "outer" : "inner") << (mpp ? ", Mpp" : "") << ", op " << op);
        const std::vector<int> masters = Combined(op, SourceRows(w, a, 0), SourceRows(w, b, 0));
        const std::vector<int> slaves =
            op == 2 ? SourceRows(w, a, 1) : Combined(op, SourceRows(w, a, 1), SourceRows(w, b, 1));
        const int id = mpp ? j->MppSetOpe(op, a, b) : j->SetOpe(op, a, b);
        ASSERT_GT(id, 0);
        EXPECT_EQ(j->GetCurrentSetID(), id);
        ExpectSetIs(w, id, 0, Expect(w, 0, masters, slaves));
        ASSERT_EQ(j->DelSet(id), 0);
      }
    }
    // A negative ID names the set current at the call, not the set the operation registers.
    ASSERT_GE(j->SetCurrentSetID(a), 0);
    const int by_current = j->SetOpe(2, -1, b);
    ASSERT_GT(by_current, 0);
    const int by_id = j->SetOpe(2, a, b);
    ASSERT_GT(by_id, 0);
    EXPECT_TRUE(jbtest::Image(j, by_current) == jbtest::Image(j, by_id));
    ASSERT_GE(j->SetCurrentSetID(b), 0);
    const int not_current = j->MppSetNot(-1);
    ASSERT_GT(not_current, 0);
    EXPECT_TRUE(jbtest::Image(j, not_current) == jbtest::Image(j, j->SetNot(b)));
  }
}

// ---- Counts per value ----

TEST_F(JoinSearchTest, CountNCountsTheJoinedRowsPerValueOfEitherSide) {
  std::mt19937 gen(4);
  for (bool outer : {false, true}) {
    World w = Build(gen, outer, 60, 45, 12, 4, 7, 5);
    TJoinTable* j = Join(w.join);
    const auto sources = Sources(w);
    for (const auto& [source_name, source] : sources) {
      for (int col : {kMasterKey, kMasterP, kSlaveKey, kSlaveP, kSlaveT}) {
        SCOPED_TRACE(testing::Message()
                     << (outer ? "outer, " : "inner, ") << source_name << ", column " << col);
        TFilter* f = j->GetFilter(col);
        const int n_values = f->VL->FArraySize;
        std::vector<int> want(static_cast<size_t>(n_values), 0);
        for (const Pair& p : jbtest::Resolve(j, source)) {
          const int r = SideOf(col) == 0 ? p.first : p.second;
          ++want[static_cast<size_t>(r == 0 ? 0 : f->PV->PIntAr()[r])];
        }
        std::vector<int> got(static_cast<size_t>(n_values) + 1, -1);
        EXPECT_EQ(j->CountN(source, col, got.data()), n_values);
        EXPECT_EQ(got.back(), -1) << "wrote past the value count";
        got.pop_back();
        EXPECT_EQ(got, want);
      }
    }
  }
}

// An outer join's rows whose key is NULL take no part in it, though the cut sets them aside when
// the other side has no NULL key: they are no joined rows to count.
TEST_F(JoinSearchTest, CountNOfAnOuterJoinLeavesOutRowsWithANullKey) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 2);
  const int mk = AddKey(master, "key", KeyType::kInt, {N, 1, N, 5});
  const int sk = AddKey(slave, "key", KeyType::kInt, {N, 1, 2});
  AddKey(slave, "v", KeyType::kInt, {N, 8, 9});
  const int id = AddJoin(false, 1, master, -1, {mk, 0}, slave, -1, {sk, 0});
  ASSERT_GT(id, 0);
  TJoinTable* j = Join(id);
  ASSERT_EQ(jbtest::Resolve(j, 1), (std::vector<Pair>{{0, 2}, {1, 1}, {3, 0}}));
  ASSERT_EQ(jbtest::Image(j, 1).second[0], (std::vector<int>{2, 3}));  // the NULL master among them
  int counts[3] = {-1, -1, -1};
  ASSERT_EQ(j->CountN(1, 3, counts), 3);  // slave v: NULL, 8, 9
  EXPECT_EQ(counts[0], 1);                // master 3 has no slave
  EXPECT_EQ(counts[1], 1);
  EXPECT_EQ(counts[2], 1);
}

// ---- Refusals ----

// Runs f; a thrown code is returned like a returned one.
int Code(const std::function<int()>& f) {
  try {
    return f();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

struct RefusalCase {
  const char* name;
  std::function<int(TJoinTable*)> run;
  int want;
  std::vector<std::string> ring;
};

char* Bound(int* v) { return reinterpret_cast<char*>(v); }
int g_two = Raw(2);
unsigned char g_hits[64] = {};

const RefusalCase kRefusals[] = {
    {"unknown column",
     [](TJoinTable* j) { return j->SearchByField(99, 1, 0, Bound(&g_two), Bound(&g_two)); },
     Q7_ERROR_NO_SUCH_FILTER,
     {"SearchByField|No Such Filter: 99"}},
    {"missing set",
     [](TJoinTable* j) { return j->SearchByField(kMasterP, 77, 0, Bound(&g_two), Bound(&g_two)); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 77", "SearchByField|No Such Set: 77"}},
    {"missing set, Mpp",
     [](TJoinTable* j) { return j->MppSearchByField(kMasterP, 77, 0, Bound(&g_two), Bound(&g_two)); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 77"}},
    {"unknown operation",
     [](TJoinTable* j) { return j->SearchByField(kSlaveP, 1, 12, Bound(&g_two), Bound(&g_two)); },
     Q7_ERROR_INVALID_OPERATION,
     {"SearchByValue|Invalid Parameter : OpeNo"}},
    {"n values, unknown column, Mpp",
     [](TJoinTable* j) { return j->MppSearchByFieldNValues(0, 1, 1, &g_two); },
     Q7_ERROR_NO_SUCH_FILTER,
     {"MppSearchByField|No Such Filter: 0"}},
    {"n values, negative count",
     [](TJoinTable* j) { return j->SearchByFieldNValues(kMasterP, 1, -1, &g_two); },
     Q7_ERROR_INVALID_PARAMETER,
     {}},
    {"second byte on an integer column",
     [](TJoinTable* j) { return j->SearchByField2(kMasterP, 1, 0, const_cast<char*>("1"), nullptr); },
     -1,
     {"SearchByField2|Illegal data type ( Not STRING )"}},
    {"second byte, unknown operation",
     [](TJoinTable* j) { return j->SearchByField2(kMasterT, 1, 11, const_cast<char*>("1"), nullptr); },
     Q7_ERROR_INVALID_OPERATION,
     {"SearchByField2|Invalid Parameter : OpeNo"}},
    {"second byte, missing set",
     [](TJoinTable* j) { return j->SearchByField2(kMasterT, 55, 0, const_cast<char*>("1"), nullptr); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 55", "SearchByField2|No Such Set: 55 "}},
    {"hit map, null",
     [](TJoinTable* j) { return j->Search(kMasterP, 1, nullptr); },
     Q7_ERROR_INVALID_PARAMETER,
     {}},
    {"hit map, unknown column",
     [](TJoinTable* j) { return j->Search(7, 1, g_hits); },
     Q7_ERROR_NO_SUCH_FILTER,
     {}},
    {"wildcard",
     [](TJoinTable* j) { return j->SearchByFieldWildCard(kMasterT, 1, "k*"); },
     Q7_ERROR_NOT_REAL_TABLE,
     {}},
    {"wildcard, Mpp",
     [](TJoinTable* j) { return j->MppSearchByFieldWildCard(kMasterT, 1, "k*"); },
     Q7_ERROR_NOT_REAL_TABLE,
     {}},
    {"record number, target 2",
     [](TJoinTable* j) { return j->SearchByRecNo(2, 1, 0, 1, 1); },
     Q7_ERROR_ILLEGAL_JOIN_TARGET,
     {"SearchByRecNo|Illegal target ( Not MASTER and Not SLAVE )"}},
    {"record number, op 8",
     [](TJoinTable* j) { return j->SearchByRecNo(0, 1, 8, 1, 1); },
     Q7_ERROR_INVALID_OPERATION,
     {"SearchByRecNo|Invalid Parameter : OpeNo"}},
    {"record number, missing set",
     [](TJoinTable* j) { return j->SearchByRecNo(1, 9, 0, 1, 1); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 9", "SearchByRecNo|No Such Set: 9 "}},
    {"not, missing set",
     [](TJoinTable* j) { return j->SetNot(9); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 9", "SetNot|Invalid Parameter : OrgSetID"}},
    {"not, missing set, Mpp",
     [](TJoinTable* j) { return j->MppSetNot(9); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 9"}},
    {"combine, missing second set",
     [](TJoinTable* j) { return j->SetOpe(0, 1, 9); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 9"}},
    {"combine, missing first set, Mpp",
     [](TJoinTable* j) { return j->MppSetOpe(1, 9, 1); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 9"}},
    {"combine, unknown operation",
     [](TJoinTable* j) { return j->SetOpe(5, 1, 1); },
     Q7_ERROR_INVALID_OPERATION,
     {"SetOpeCommon|Invalid Parameter : OpCode"}},
    {"combine, unknown operation, Mpp",
     [](TJoinTable* j) { return j->MppSetOpe(3, 1, 1); },
     Q7_ERROR_INVALID_OPERATION,
     {}},
    {"count, null counts",
     [](TJoinTable* j) { return j->CountN(1, kMasterP, nullptr); },
     Q7_ERROR_ILLEGAL_RECORD_NO,
     {}},
    {"count, unknown column",
     [](TJoinTable* j) { return j->CountN(1, 7, reinterpret_cast<int*>(g_hits)); },
     Q7_ERROR_NO_SUCH_FILTER,
     {"JFilterID2Pos|No Such Filter: 7"}},
    {"count, missing set",
     [](TJoinTable* j) { return j->CountN(9, kSlaveP, reinterpret_cast<int*>(g_hits)); },
     Q7_ERROR_NO_SUCH_SET,
     {"SetID2Pos|No Such Set: 9"}},
};

// A refused operation registers no set, whether it was refused before or after registering one,
// and leaves the current set as it was.
TEST_F(JoinSearchTest, RefusalsAreRecordedAndLeaveTheSetsAsTheyWere) {
  std::mt19937 gen(3);
  World w = Build(gen, false, 20, 20, 6, 4, 5, 5);
  TJoinTable* j = Join(w.join);
  int two = Raw(2);
  const int current = j->SearchByField(kMasterP, 1, 2, Bound(&two), Bound(&two));
  ASSERT_GT(current, 1);
  const int max_set = j->FMaxSetID;
  for (const RefusalCase& c : kRefusals) {
    SCOPED_TRACE(c.name);
    Ring();
    EXPECT_EQ(Code([&] { return c.run(j); }), c.want);
    EXPECT_EQ(Ring(), c.ring);
    EXPECT_EQ(j->FnSet, 2);
    EXPECT_EQ(j->GetCurrentSetID(), current);
    EXPECT_GE(j->FMaxSetID, max_set);
  }
}

TEST_F(JoinSearchTest, SearchByRecNoRefusesAnOuterJoin) {
  std::mt19937 gen(8);
  World w = Build(gen, true, 20, 20, 6, 4, 5, 5);
  TJoinTable* j = Join(w.join);
  EXPECT_EQ(j->SearchByRecNo(0, 1, 1, 10, 20), Q7_ERROR_NOT_INNER_JOIN_TABLE);
  EXPECT_EQ(Ring(), (std::vector<std::string>{"SearchByRecNo|Illegal table type ( Not INNER JOIN )"}));
  EXPECT_EQ(j->FnSet, 1);
}

// With 10000 sets every operation that would make one more is refused, under its own name.
TEST_F(JoinSearchTest, TheSetLimitRefusesEveryNewSet) {
  std::mt19937 gen(6);
  World w = Build(gen, false, 20, 20, 6, 4, 5, 5);
  TJoinTable* j = Join(w.join);
  while (j->FnSet < TJoinTable::kMaxSets) j->RegNewSet(0);
  j->SetCurrentSetID(1);
  int two = Raw(2);
  unsigned char hits[64] = {};
  const RefusalCase kFull[] = {
      {"search",
       [&](TJoinTable* t) { return t->SearchByField(kMasterP, 1, 0, Bound(&two), Bound(&two)); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"SearchByField|SetCount overflow"}},
      {"search, Mpp",
       [&](TJoinTable* t) { return t->MppSearchByField(kSlaveP, 1, 0, Bound(&two), Bound(&two)); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"MppSearchByField|SetCount overflow"}},
      {"n values",
       [&](TJoinTable* t) { return t->SearchByFieldNValues(kSlaveP, 1, 1, &two); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"SearchByFieldNValues|SetCount overflow"}},
      {"second byte",
       [&](TJoinTable* t) { return t->SearchByField2(kSlaveT, 1, 0, const_cast<char*>("1"), nullptr); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"SearchByField2|SetCount overflow"}},
      {"hit map",
       [&](TJoinTable* t) { return t->Search(kSlaveP, 1, hits); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {}},
      {"record number",
       [&](TJoinTable* t) { return t->SearchByRecNo(0, 1, 0, 1, 1); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"SearchByRecNo|SetCount overflow"}},
      {"not",
       [&](TJoinTable* t) { return t->SetNot(1); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"SetNot|SetCount overflow"}},
      {"not, Mpp", [&](TJoinTable* t) { return t->MppSetNot(1); }, Q7_ERROR_SET_COUNT_OVERFLOW, {}},
      {"combine",
       [&](TJoinTable* t) { return t->SetOpe(0, 1, 1); },
       Q7_ERROR_SET_COUNT_OVERFLOW,
       {"SetOpe|SetCount overflow"}},
      {"combine, Mpp", [&](TJoinTable* t) { return t->MppSetOpe(0, 1, 1); }, Q7_ERROR_SET_COUNT_OVERFLOW, {}},
  };
  for (const RefusalCase& c : kFull) {
    SCOPED_TRACE(c.name);
    Ring();
    EXPECT_EQ(Code([&] { return c.run(j); }), c.want);
    EXPECT_EQ(Ring(), c.ring);
    EXPECT_EQ(j->FnSet, TJoinTable::kMaxSets);
  }
  // Counting makes no set.
  std::vector<int> counts(64);
  EXPECT_GT(j->CountN(1, kMasterP, counts.data()), 0);
}

}  // namespace
