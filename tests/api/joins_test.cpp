// Join tables as a host sees them: building a join from two real tables (inner and outer, one and
// two keys, serial and parallel), its description, its per-side sets, the slave column copied into
// the master, the refusals with their codes and ring entries, and how a join guards its sources.
// The joined rows are held against a nested-loop join written from the pairing rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::kIntNull;
using q7host::RingEntry;
using Ring = std::vector<RingEntry>;
using Ints = std::vector<int>;

// One side's key tuples by record (index 0 unused); an int key and a text key ("" is NULL).
struct KeyRow {
  int k;
  std::string c;
};
using Keys = std::vector<KeyRow>;

// The pairing rule: key tuples match when equal value by value, NULL matching NULL. An inner join
// pairs every matching master and slave record; an outer join leaves out the tuples that are all
// NULL and adds every record without partner (slave ones paired with master record 0, master ones
// with slave record 0).
struct Pair {
  int master;
  int slave;
};
struct Reference {
  std::vector<Pair> pairs;
  Ints master_without, slave_without;  // records whose tuple the other side lacks
};

std::vector<std::string> Tuple(const KeyRow& r, int n_keys) {
  std::vector<std::string> t{r.k == kIntNull ? "NULL" : std::to_string(r.k)};
  if (n_keys == 2) t.push_back(r.c.empty() ? "NULL" : r.c);
  return t;
}
bool AllNull(const std::vector<std::string>& t) {
  return std::all_of(t.begin(), t.end(), [](const std::string& v) { return v == "NULL"; });
}

Reference NestedLoopJoin(bool outer, int n_keys, const Keys& m, const Keys& s) {
  Reference ref;
  auto partnered = [&](const KeyRow& row, const Keys& other) {
    for (size_t o = 1; o < other.size(); ++o) {
      if (Tuple(row, n_keys) == Tuple(other[o], n_keys)) return true;
    }
    return false;
  };
  for (size_t r = 1; r < m.size(); ++r) {
    if (!partnered(m[r], s)) ref.master_without.push_back(static_cast<int>(r));
  }
  for (size_t r = 1; r < s.size(); ++r) {
    if (!partnered(s[r], m)) ref.slave_without.push_back(static_cast<int>(r));
  }
  if (outer) {
    for (int r : ref.slave_without) {
      if (!AllNull(Tuple(s[r], n_keys))) ref.pairs.push_back({0, r});
    }
  }
  for (size_t mr = 1; mr < m.size(); ++mr) {
    if (outer && AllNull(Tuple(m[mr], n_keys))) continue;
    bool any = false;
    for (size_t sr = 1; sr < s.size(); ++sr) {
      if (Tuple(m[mr], n_keys) == Tuple(s[sr], n_keys)) {
        ref.pairs.push_back({static_cast<int>(mr), static_cast<int>(sr)});
        any = true;
      }
    }
    if (outer && !any) ref.pairs.push_back({static_cast<int>(mr), 0});
  }
  return ref;
}

Ints Sorted(Ints v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The built-join forms: the exported call on the worker pool and its serial mirror.
using AddJoinFn = int (*)(const char*, int, int, int, const int*, int, int, const int*);
struct Road {
  const char* name;
  AddJoinFn add;
};
const Road kRoads[] = {{"RQ7AddJoinTable", RQ7AddJoinTable}, {"Q7AddJoinTable", Q7AddJoinTable}};

class JoinApi : public ::testing::Test {
 protected:
  // sales: k {1, 2, 2, 3, NULL, 9, 1, 4}, c, amount; region: k {1, 2, 2, 4, 7, NULL}, c, code. Key 2
  // has two slave partners, keys 3 and 9 none, slave key 7 no master; the NULL keys pair only in an
  // inner join.
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    master_keys_ = {{0, ""},        {1, "a"}, {2, "a"}, {2, "b"}, {3, "a"},
                    {kIntNull, ""}, {9, "a"}, {1, "b"}, {4, "a"}};
    slave_keys_ = {{0, ""}, {1, "a"}, {2, "a"}, {2, "b"}, {4, "x"}, {7, "a"}, {kIntNull, ""}};
    master_ = q7host::AddTable("sales", 8);
    slave_ = q7host::AddTable("region", 6);
    ASSERT_GT(master_, 0);
    ASSERT_GT(slave_, 0);
    m_k_ = AddKeys(master_, master_keys_);
    m_c_ = q7host::AddStringColumn(master_, "c", Texts(master_keys_));
    m_amount_ = q7host::AddIntColumn(master_, "amount", {10, 20, 30, 40, 50, 60, 70, 80});
    s_k_ = AddKeys(slave_, slave_keys_);
    s_c_ = q7host::AddStringColumn(slave_, "c", Texts(slave_keys_));
    s_code_ = q7host::AddIntColumn(slave_, "code", {100, 200, 201, 400, 700, 999});
    for (int id : {m_k_, m_c_, m_amount_, s_k_, s_c_, s_code_}) ASSERT_GT(id, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  static int AddKeys(int table, const Keys& keys) {
    Ints v;
    for (size_t r = 1; r < keys.size(); ++r) v.push_back(keys[r].k);
    return q7host::AddIntColumn(table, "k", v);
  }
  static std::vector<std::string> Texts(const Keys& keys) {
    std::vector<std::string> v;
    for (size_t r = 1; r < keys.size(); ++r) v.push_back(keys[r].c);
    return v;
  }

  int Join(AddJoinFn add, int outer, int n_keys, const char* name = "j") {
    const int m[] = {m_k_, n_keys == 2 ? m_c_ : 0, 0};
    const int s[] = {s_k_, n_keys == 2 ? s_c_ : 0, 0};
    return add(name, outer, master_, 1, m, slave_, 1, s);
  }
  Reference Expected(int outer, int n_keys) const {
    return NestedLoopJoin(outer != 0, n_keys, master_keys_, slave_keys_);
  }

  // Records of a real table's set, through the host's set read.
  static Ints Rows(int table, int set) { return q7host::ReadSet(table, set); }

  Keys master_keys_, slave_keys_;
  int master_ = 0, slave_ = 0;
  int m_k_ = 0, m_c_ = 0, m_amount_ = 0, s_k_ = 0, s_c_ = 0, s_code_ = 0;
};

// Every kind of join on both roads: as many joined rows as the nested-loop join pairs, and the
// table described as a join of M + S columns.
TEST_F(JoinApi, BuiltJoinHoldsTheReferencePairs) {
  for (const Road& road : kRoads) {
    for (int outer : {0, 1}) {
      for (int n_keys : {1, 2}) {
        SCOPED_TRACE(std::string(road.name) + " outer " + std::to_string(outer) + " keys " +
                     std::to_string(n_keys));
        const int join = Join(road.add, outer, n_keys);
        ASSERT_GT(join, 0);
        _TTableInfo info{};
        ASSERT_EQ(RQ7GetTableProperty(join, &info), 0);
        EXPECT_EQ(info.kind, 2);
        EXPECT_EQ(info.nFilter, 6);
        EXPECT_EQ(info.totalRecs, static_cast<int>(Expected(outer, n_keys).pairs.size()));
        char name[256] = {};
        int v[6];
        int master_keys[32] = {}, slave_keys[32] = {};
        ASSERT_EQ(
            RQ7GetJoinInfoEx(join, name, &v[0], &v[1], &v[2], &v[3], master_keys, &v[4], &v[5], slave_keys),
            0);
        EXPECT_EQ(v[0] != 0, outer != 0);
        EXPECT_EQ(v[1], n_keys);
        EXPECT_EQ(master_keys[n_keys - 1], n_keys == 2 ? m_c_ : m_k_);
        EXPECT_EQ(slave_keys[n_keys - 1], n_keys == 2 ? s_c_ : s_k_);
        EXPECT_EQ(DrainRing(), Ring{});
        // Deleting a join asks for its dependants, which only real tables have: that refusal is
        // recorded and does not block the deletion.
        EXPECT_EQ(RQ7DeleteTable(join), 0);
        DrainRing();
      }
    }
  }
}

// The join's columns: the master's filters in display order, then the slave's, with their
// tables; the copying forms write exactly what their rows say and the pointer forms agree.
TEST_F(JoinApi, DescriptionListsSourceColumnsMasterFirst) {
  const int join = Join(RQ7AddJoinTable, 0, 1);
  ASSERT_GT(join, 0);
  const Ints want_ids = {1, 2, 3, 4, 5, 6};
  const Ints want_tables = {master_, master_, master_, slave_, slave_, slave_};
  const Ints want_filters = {m_k_, m_c_, m_amount_, s_k_, s_c_, s_code_};

  std::vector<int> ids(1024, -7), tables(1024, -7), filters(1024, -7);
  int master = 0, slave = 0;
  ASSERT_EQ(RQ7GetJoinSrcTblInfo(join, &master, &slave, ids.data(), tables.data(), filters.data()), 6);
  EXPECT_EQ(master, master_);
  EXPECT_EQ(slave, slave_);
  EXPECT_EQ(Ints(ids.begin(), ids.begin() + 6), want_ids);
  EXPECT_EQ(Ints(tables.begin(), tables.begin() + 6), want_tables);
  EXPECT_EQ(Ints(filters.begin(), filters.begin() + 6), want_filters);
  // The whole list is copied: zero past the columns.
  EXPECT_EQ(ids[1023], 0);
  EXPECT_EQ(filters[6], 0);

  std::fill(ids.begin(), ids.end(), -7);
  std::fill(filters.begin(), filters.end(), -7);
  ASSERT_EQ(RQ7GetJoinSrcTblIDs(join, ids.data(), tables.data(), filters.data()), 6);
  EXPECT_EQ(Ints(ids.begin(), ids.begin() + 6), want_ids);
  EXPECT_EQ(Ints(filters.begin(), filters.begin() + 6), want_filters);
  EXPECT_EQ(ids[6], -7) << "only the columns are copied";

  int *p_ids = nullptr, *p_tables = nullptr, *p_filters = nullptr;
  ASSERT_EQ(Q7GetJoinSrcTblIDs(join, &p_ids, &p_tables, &p_filters), 6);
  EXPECT_EQ(Ints(p_filters, p_filters + 6), want_filters);
  EXPECT_EQ(Ints(p_tables, p_tables + 6), want_tables);

  int info[6] = {};
  char name[256] = {};
  ASSERT_EQ(RQ7GetJoinInfo(join, name, &info[0], &info[1], &info[2], &info[3], &info[4], &info[5]), 0);
  int m_table = 0, m_set = 0, s_table = 0, s_set = 0, n_slave = 0;
  std::vector<int> slave_cols(512, -7);
  ASSERT_EQ(RQ7GetSlaveInfo(join, &m_table, &m_set, &s_table, &s_set, &n_slave, slave_cols.data()), 0);
  EXPECT_EQ((Ints{m_table, m_set, s_table, s_set}), (Ints{info[0], info[1], info[3], info[4]}));
  EXPECT_EQ(m_table, master_);
  EXPECT_EQ(s_table, slave_);
  ASSERT_EQ(n_slave, 3);
  EXPECT_EQ(Ints(slave_cols.begin(), slave_cols.begin() + 3), (Ints{s_k_, s_c_, s_code_}));
  EXPECT_EQ(slave_cols[511], 0);
  int* p_slave = nullptr;
  ASSERT_EQ(Q7GetSlaveInfo(join, &m_table, &m_set, &s_table, &s_set, &n_slave, &p_slave), 0);
  EXPECT_EQ(Ints(p_slave, p_slave + 3), (Ints{s_k_, s_c_, s_code_}));
  EXPECT_EQ(DrainRing(), Ring{});
}

// The RQ7 lookup by name finds the join's own columns (master first); the plain form asks a
// source table (the slave's, for the default side) and gives that table's filter ID.
TEST_F(JoinApi, FilterNamesResolveToTheJoinsColumns) {
  const int join = Join(RQ7AddJoinTable, 0, 1);
  ASSERT_GT(join, 0);
  DrainRing();
  EXPECT_EQ(RQ7GetFilterIDFromName(join, "amount"), 3);
  EXPECT_EQ(RQ7GetFilterIDFromName(join, "code"), 6);
  EXPECT_EQ(DrainRing(), Ring{});
  EXPECT_LT(RQ7GetFilterIDFromName(join, "nothing"), 0);
  EXPECT_EQ(Q7GetFilterIDFromName(join, "code"), s_code_);
  EXPECT_LT(Q7GetFilterIDFromName(join, "amount"), 0);
  DrainRing();
}

// A null or empty name gets a generated one; the serial road clears the tables' saved flag.
TEST_F(JoinApi, DefaultNameAndSavedFlag) {
  ASSERT_EQ(RQ7SetSavedFlag(1), 1);
  const int join = Join(Q7AddJoinTable, 0, 1, nullptr);
  ASSERT_GT(join, 0);
  EXPECT_EQ(RQ7GetSavedFlag(1), 0);
  char name[256] = {};
  ASSERT_EQ(RQ7GetTableName(join, name), 0);
  EXPECT_EQ(std::string(name).rfind("jointbl", 0), 0u) << name;
  const int other = Join(RQ7AddJoinTable, 0, 1, "");
  ASSERT_GT(other, 0);
  ASSERT_EQ(RQ7GetTableName(other, name), 0);
  EXPECT_EQ(std::string(name).rfind("jointbl", 0), 0u) << name;
}

// Set 1 of an inner join: its direction, its two sides' records and the driving side's
// projection (the first joined row of each driving record), against the nested-loop join.
TEST_F(JoinApi, InnerJoinSetsFollowThePairs) {
  const int join = Join(RQ7AddJoinTable, 0, 1);
  ASSERT_GT(join, 0);
  const Reference ref = Expected(0, 1);
  Ints drivers, firsts, partners;
  for (size_t j = 0; j < ref.pairs.size(); ++j) {
    if (drivers.empty() || drivers.back() != ref.pairs[j].master) {
      drivers.push_back(ref.pairs[j].master);
      firsts.push_back(static_cast<int>(j));
    }
    partners.push_back(ref.pairs[j].slave);
  }
  std::sort(partners.begin(), partners.end());
  partners.erase(std::unique(partners.begin(), partners.end()), partners.end());

  EXPECT_EQ(RQ7GetJoinDir(join, 1), 0);
  EXPECT_EQ(Q7GetJoinDir(join, -1), 0);
  EXPECT_EQ(Rows(join, 1), drivers);

  int count = -1;
  std::vector<int> slave_rows(16, 0);
  ASSERT_EQ(RQ7GetJoinSlaveSet(join, 1, &count, 16, slave_rows.data()), static_cast<int>(partners.size()));
  EXPECT_EQ(count, static_cast<int>(partners.size()));
  slave_rows.resize(partners.size());
  EXPECT_EQ(Sorted(slave_rows), partners);
  int* p_rows = nullptr;
  ASSERT_EQ(Q7GetJoinSlaveSet(join, 1, &p_rows), count);
  EXPECT_EQ(Ints(p_rows, p_rows + count), slave_rows);
  // Capacity 0 reads the count only.
  EXPECT_EQ(RQ7GetJoinSlaveSet(join, 1, &count, 0, nullptr), static_cast<int>(partners.size()));

  int own_count = -1, other_count = -1;
  std::vector<int> own(16, -7), other(16, -7);
  ASSERT_EQ(RQ7GetJoinProjectionSets(join, 1, &own_count, 16, own.data(), &other_count, 16, other.data()), 0);
  ASSERT_EQ(own_count, static_cast<int>(firsts.size()));
  EXPECT_EQ(Ints(own.begin(), own.begin() + own_count), firsts);
  ASSERT_GT(other_count, 0);
  EXPECT_EQ(other[other_count - 1], static_cast<int>(partners.size())) << "the groups end with the partners";
  int *p_own = nullptr, *p_other = nullptr;
  ASSERT_EQ(Q7GetJoinProjectionSets(join, 1, &own_count, &p_own, &other_count, &p_other), 0);
  EXPECT_EQ(Ints(p_own, p_own + own_count), firsts);
  // A small buffer gets its capacity's worth; the count tells the whole.
  std::fill(own.begin(), own.end(), -7);
  ASSERT_EQ(RQ7GetJoinProjectionSets(join, 1, &own_count, 2, own.data(), &other_count, 0, nullptr), 0);
  EXPECT_EQ(own_count, static_cast<int>(firsts.size()));
  EXPECT_EQ((Ints{own[0], own[1], own[2]}), (Ints{firsts[0], firsts[1], -7}));
  EXPECT_EQ(DrainRing(), Ring{});
}

// The sides of set 1 handed to the source tables as new current sets: the records with and
// without partner, and one slave record per distinct key value.
TEST_F(JoinApi, InnerJoinSidesGoBackToTheirTables) {
  const int join = Join(Q7AddJoinTable, 0, 1);
  ASSERT_GT(join, 0);
  const Reference ref = Expected(0, 1);
  Ints masters, slaves;
  for (const Pair& p : ref.pairs) {
    if (std::find(masters.begin(), masters.end(), p.master) == masters.end()) masters.push_back(p.master);
    slaves.push_back(p.slave);
  }
  slaves = Sorted(slaves);
  slaves.erase(std::unique(slaves.begin(), slaves.end()), slaves.end());

  struct Case {
    int side, non_hit, table;
    Ints want;
    bool any_order;  // the slave records come grouped by key value
  };
  const Case cases[] = {
      {0, 0, master_, masters, false},
      {0, 1, master_, ref.master_without, false},
      {1, 0, slave_, slaves, true},
      {1, 1, slave_, ref.slave_without, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("side " + std::to_string(c.side) + " non_hit " + std::to_string(c.non_hit));
    int table = 0, set = 0;
    ASSERT_EQ(RQ7PutJoinSetToParent(join, c.side, c.non_hit, &table, &set), 0);
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(RQ7GetCurrentSetID(table), set);
    const Ints rows = Rows(table, set);
    EXPECT_EQ(c.any_order ? Sorted(rows) : rows, c.want);
  }

  int slave = 0;
  const int set = RQ7ReturnSet2SlaveTable(join, &slave);
  ASSERT_GT(set, 1);
  EXPECT_EQ(slave, slave_);
  std::map<std::vector<std::string>, int> per_key;
  for (int r : Rows(slave_, set)) ++per_key[Tuple(slave_keys_[r], 1)];
  std::map<std::vector<std::string>, int> want;
  for (const Pair& p : ref.pairs) want[Tuple(slave_keys_[p.slave], 1)] = 1;
  EXPECT_EQ(per_key, want);
  EXPECT_EQ(DrainRing(), Ring{});
}

// The slave column copied into the master: each master record of the join gets its first
// partner's value, every other record NULL; the new filter is named after the slave's.
TEST_F(JoinApi, MoveSlaveColumnFillsMasterRecords) {
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer);
    const int join = Join(RQ7AddJoinTable, outer, 1);
    ASSERT_GT(join, 0);
    const Ints code = {0, 100, 200, 201, 400, 700, 999};
    std::map<int, int> first_partner;
    for (const Pair& p : Expected(outer, 1).pairs) {
      if (p.master != 0 && p.slave != 0) first_partner.emplace(p.master, code[p.slave]);
    }
    const int filter = RQ7MoveSlaveFlt2Master(join, s_code_);
    ASSERT_GT(filter, 0);
    EXPECT_EQ(std::string(RQ7GetFilterNameR1(master_, filter)).rfind("code", 0), 0u);
    for (int r = 1; r <= 8; ++r) {
      const auto it = first_partner.find(r);
      EXPECT_EQ(RQ7GetDataIntR1(master_, filter, 1, r - 1), it == first_partner.end() ? kIntNull : it->second)
          << "record " << r;
    }
    EXPECT_EQ(DrainRing(), Ring{});
    ASSERT_EQ(RQ7DeleteTable(join), 0);
    DrainRing();
  }
}

// Refusals: the code the host gets and the ring entries left behind.
TEST_F(JoinApi, RefusalsGiveCodesAndRingEntries) {
  const int inner = Join(RQ7AddJoinTable, 0, 1);
  const int outer = Join(RQ7AddJoinTable, 1, 1);
  ASSERT_GT(inner, 0);
  ASSERT_GT(outer, 0);
  DrainRing();
  const std::string real = std::to_string(master_);
  const std::string out = std::to_string(outer);
  int a = 0, b = 0, c = 0, d = 0, e = 0;
  int* p = nullptr;
  int buffer[8] = {};
  const int two_keys[] = {m_k_, m_c_, 0};
  const int one_key[] = {s_k_, 0};
  const int missing_key[] = {99, 0};
  const std::string long_name(256, 'n');
  using Case = q7host::RefusalCase;
  const std::vector<Case> cases = {
      {"ids of a real table",
       [&] { return RQ7GetJoinSrcTblIDs(master_, buffer, buffer, buffer); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"Q7GetJoinSrcTblIDs", Q7_ERROR_NO_SUCH_TABLE, "Not Join Table: " + real + " "}}},
      {"info of a real table",
       [&] { return Q7GetJoinSrcTblInfo(master_, &a, &b, &p, &p, &p); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"Q7GetJoinSrcTblInfo", Q7_ERROR_NO_SUCH_TABLE, "Not Join Table: " + real + " "}}},
      {"slave info of a real table",
       [&] { return RQ7GetSlaveInfo(master_, &a, &b, &c, &d, &e, buffer); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"Q7GetSlaveInfo", Q7_ERROR_NOT_JOIN_TABLE, "Illegal table type ( Not JOIN )"}}},
      {"move on a real table",
       [&] { return RQ7MoveSlaveFlt2Master(master_, s_code_); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"Q7MoveSlaveFlt2Master", Q7_ERROR_NOT_JOIN_TYPE, "Illegal table type ( Not JOIN )"}}},
      {"move of a missing slave filter",
       [&] { return RQ7MoveSlaveFlt2Master(inner, 99); },
       Q7_ERROR_NO_SUCH_FILTER,
       {{"GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"},
        {"MoveSlaveFlt2Master", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"},
        {"Q7MoveSlaveFlt2Master", Q7_ERROR_NO_SUCH_FILTER, "return of inner call"}}},
      {"parent set of an outer join",
       [&] { return RQ7PutJoinSetToParent(outer, 0, 0, &a, &b); },
       Q7_ERROR_NOT_INNER_JOIN_TABLE,
       {{"Q7PutJoinSetToParent", Q7_ERROR_NO_SUCH_TABLE, "Not Inner-Join Table: " + out}}},
      {"slave set back from an outer join",
       [&] { return Q7ReturnSet2SlaveTable(outer, &a); },
       Q7_ERROR_NOT_INNER_JOIN_TABLE,
       {{"Q7ReturnSet2SlaveTable", Q7_ERROR_NO_SUCH_TABLE, "Not Inner-Join Table: " + out}}},
      {"slave set back from a real table",
       [&] { return RQ7ReturnSet2SlaveTable(master_, &a); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"Q7ReturnSet2SlaveTable", Q7_ERROR_NO_SUCH_TABLE, "Not JoinTable: " + real}}},
      {"direction of a missing set",
       [&] { return RQ7GetJoinDir(inner, 99); },
       Q7_ERROR_ILLEGAL_SET_ID,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 99"},
        {"GetJoinDir", Q7_ERROR_NO_SUCH_SET, "No Such Set: 99 "},
        {"Q7GetJoinDir", Q7_ERROR_ILLEGAL_SET_ID, "return of inner call"}}},
      {"slave set of a real table",
       [&] { return RQ7GetJoinSlaveSet(master_, 1, &a, 8, buffer); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"RQ7GetJoinSlaveSet", Q7_ERROR_NO_SUCH_TABLE, "Not JoinTable: " + real}}},
      {"slave set missing",
       [&] { return RQ7GetJoinSlaveSet(inner, 99, &a, 8, buffer); },
       Q7_ERROR_NO_SUCH_SET,
       {{"RQ7GetJoinSlaveSet", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 99"}}},
      {"slave set negative capacity",
       [&] { return RQ7GetJoinSlaveSet(inner, 1, &a, -1, buffer); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetJoinSlaveSet", Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size: -1"}}},
      {"projection negative capacity",
       [&] { return RQ7GetJoinProjectionSets(inner, 1, &a, 8, buffer, &b, -1, buffer); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetJoinProjectionSets", Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: 8, -1 "}}},
      {"projection of a real table",
       [&] { return RQ7GetJoinProjectionSets(master_, 1, &a, 8, buffer, &b, 8, buffer); },
       Q7_ERROR_NOT_JOIN_TABLE,
       {{"RQ7GetJoinProjectionSets", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + real}}},
      {"overlong name, parallel",
       [&] { return Join(RQ7AddJoinTable, 0, 1, long_name.c_str()); },
       Q7_ERROR_ILLEGAL_TABLE_NAME,
       {{"RQ7AddJoinTable", Q7_ERROR_ILLEGAL_TABLE_NAME, ""}}},
      {"overlong name, serial",
       [&] { return Join(Q7AddJoinTable, 0, 1, long_name.c_str()); },
       Q7_ERROR_ILLEGAL_TABLE_NAME,
       {{"Q7AddJoinTable", Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename"}}},
      {"key lists of unequal length",
       [&] { return RQ7AddJoinTable("j", 0, master_, 1, two_keys, slave_, 1, one_key); },
       Q7_ERROR_INVALID_KEY_PARAMETER,
       {{"RQ7AddJoinTable", Q7_ERROR_INVALID_KEY_PARAMETER, ""}}},
      {"master key that names no filter",
       [&] { return Q7AddJoinTable("j", 0, master_, 1, missing_key, slave_, 1, one_key); },
       Q7_ERROR_NO_MASTER_KEY_FILTER,
       {{"GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"},
        {"Q7AddJoinTable", Q7_ERROR_NO_MASTER_KEY_FILTER, ""}}},
      {"join as master",
       [&] { return RQ7AddJoinTable("j", 0, inner, 1, one_key, slave_, 1, one_key); },
       Q7_ERROR_ILLEGAL_MASTER_TABLE,
       {{"RQ7AddJoinTable", Q7_ERROR_ILLEGAL_MASTER_TABLE, ""}}},
      {"missing slave set",
       [&] { return RQ7AddJoinTable("j", 0, master_, 1, one_key, slave_, 42, one_key); },
       Q7_ERROR_NO_SLAVE_SET,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42"},
        {"GetSet", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42 "},
        {"RQ7AddJoinTable", Q7_ERROR_NO_SLAVE_SET, ""}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    EXPECT_EQ(k.call(), k.code);
    EXPECT_EQ(DrainRing(), k.ring);
  }
  // A refused parent set leaves both outputs -1; refused joins add no table.
  EXPECT_EQ(RQ7PutJoinSetToParent(outer, 0, 0, &a, &b), Q7_ERROR_NOT_INNER_JOIN_TABLE);
  EXPECT_EQ((Ints{a, b}), (Ints{-1, -1}));
  EXPECT_EQ(RQ7GetNTable(), 4);
}

// While a join exists its sources can be neither deleted nor edited; once it is gone they can.
TEST_F(JoinApi, JoinGuardsItsSourcesUntilDeleted) {
  const int join = Join(RQ7AddJoinTable, 0, 2);
  ASSERT_GT(join, 0);
  DrainRing();
  for (int source : {master_, slave_}) {
    SCOPED_TRACE(source);
    EXPECT_EQ(RQ7DeleteTable(source), Q7_ERROR_NOT_EDITABLE);
    EXPECT_EQ(DrainRing(),
              (Ring{{"DelTable", Q7_ERROR_NOT_EDITABLE, "Failed to refere table"},
                    {"Q7DeleteTable", Q7_ERROR_NOT_EDITABLE, "may be reffered by other table!"}}));
    int referring[8] = {};
    EXPECT_EQ(RQ7TableCanEdit(source, referring), 1);
    EXPECT_EQ(referring[0], join);
  }
  EXPECT_EQ(RQ7TableCanEdit(join, nullptr), Q7_ERROR_NOT_REAL_TABLE);
  DrainRing();
  EXPECT_EQ(RQ7DeleteTable(join), 0);
  DrainRing();
  EXPECT_EQ(RQ7TableCanEdit(master_, nullptr), 0);
  EXPECT_EQ(RQ7DeleteTable(master_), 0);
  EXPECT_EQ(RQ7DeleteTable(slave_), 0);
  EXPECT_EQ(RQ7GetNTable(), 0);
  EXPECT_EQ(DrainRing(), Ring{});
}

}  // namespace
