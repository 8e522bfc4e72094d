// Building a join through the collection: the key filters brought onto one value list, the rows
// without partner, and the pairing of set 1 (inner and outer), resolved row by row against a
// nested-loop join; the refusals of AddJoinTable / MppAddJoinTable, which never leave a join behind.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "tests/join/join_build_support.h"
#include "values/ValueListShare.h"

namespace {

using jbtest::JoinBuildTest;
using jbtest::Pair;
using kmtest::KeyType;
using kmtest::kNull;

constexpr int N = kNull;

struct Road {
  const char* name;
  bool parallel;
};
const Road kRoads[] = {{"serial", false}, {"parallel", true}};

struct PairingCase {
  const char* name;
  int outer;
  std::vector<int> master;  // key of records 1.. (abstract values)
  std::vector<int> slave;
  std::vector<Pair> joined;  // (master record, slave record), 0 for none
  std::vector<int> master_second;
  std::vector<int> slave_second;
};

const PairingCase kPairing[] = {
    // Masters 1 and 4 and slave 3 have no partner; each master row lists its partners in slave order.
    {"inner", 0, {1, 2, 2, 3}, {2, 2, 4}, {{2, 1}, {2, 2}, {3, 1}, {3, 2}}, {1, 4}, {3}},
    // NULL keys are one more value to an inner join: they pair with each other.
    {"inner NULL keys", 0, {N, 1, N}, {1, N}, {{1, 2}, {2, 1}, {3, 2}}, {}, {}},
    // The slave rows without master come first, under the pseudo row; a NULL key takes no part.
    {"outer", 1, {1, 2}, {2, 5, N}, {{0, 2}, {1, 0}, {2, 1}}, {1}, {2, 3}},
    // Every slave key occurs among the masters: no pseudo row; the NULL master is left out.
    {"outer without pseudo row", 1, {1, 2, N}, {2, 2, 1}, {{1, 3}, {2, 1}, {2, 2}}, {3}, {}},
    // Several masters without partner share their value's single empty slot.
    {"outer masters without partner", 1, {7, 7, 1}, {1, 1}, {{1, 0}, {2, 0}, {3, 1}, {3, 2}}, {1, 2}, {}},
};

TEST_F(JoinBuildTest, PairsTheExamplesOnBothRoads) {
  for (const Road& road : kRoads) {
    for (const PairingCase& c : kPairing) {
      SCOPED_TRACE(std::string(road.name) + " " + c.name);
      std::vector<int> mv{N}, sv{N};
      mv.insert(mv.end(), c.master.begin(), c.master.end());
      sv.insert(sv.end(), c.slave.begin(), c.slave.end());
      const int master = AddTable("M", static_cast<int>(c.master.size()));
      const int slave = AddTable("S", static_cast<int>(c.slave.size()));
      const int mk = AddKey(master, "key", KeyType::kInt, mv);
      const int sk = AddKey(slave, "key", KeyType::kInt, sv);
      const int id = AddJoin(road.parallel, c.outer, master, -1, {mk, 0}, slave, -1, {sk, 0});
      ASSERT_GT(id, 0);
      TJoinTable* join = Join(id);
      EXPECT_EQ(join->GetCurrentSetID(), 1);
      EXPECT_EQ(join->TotalRecs(), static_cast<int>(c.joined.size()));
      EXPECT_EQ(jbtest::Resolve(join, 1), c.joined);
      const jbtest::SetImage img = jbtest::Image(join, 1);
      EXPECT_EQ(img.second[0], c.master_second);
      EXPECT_EQ(img.second[1], c.slave_second);
      // The reference agrees with the hand-written expectations, so the random tests can lean on it.
      const jbtest::Reference ref = jbtest::NestedLoopJoin(
          c.outer != 0, kmtest::OneKey(c.master), kmtest::All(static_cast<int>(c.master.size())),
          kmtest::OneKey(c.slave), kmtest::All(static_cast<int>(c.slave.size())));
      EXPECT_EQ(ref.pairs, c.joined);
      EXPECT_EQ(ref.second[0], c.master_second);
      EXPECT_EQ(ref.second[1], c.slave_second);
      ASSERT_EQ(db_->DelTable(id), 0);
      ASSERT_EQ(db_->DelTable(slave), 0);
      ASSERT_EQ(db_->DelTable(master), 0);
    }
  }
}

TEST_F(JoinBuildTest, OuterPseudoRowPairsNoMasterWithEachUnmatchedSlave) {
  const int master = AddTable("M", 2);
  const int slave = AddTable("S", 3);
  const int mk = AddKey(master, "key", KeyType::kInt, {N, 1, 2});
  const int sk = AddKey(slave, "key", KeyType::kInt, {N, 9, 8, 2});
  const int id = AddJoin(false, 1, master, -1, {mk, 0}, slave, -1, {sk, 0});
  ASSERT_GT(id, 0);
  const jbtest::SetImage img = jbtest::Image(Join(id), 1);
  EXPECT_EQ(img.size, 4);
  EXPECT_EQ(img.rows[0], (std::vector<int>{0, 1, 2}));  // the pseudo row, then the masters
  EXPECT_EQ(img.projection[0], (std::vector<int>{0, 2, 3}));
  EXPECT_EQ(jbtest::Resolve(Join(id), 1), (std::vector<Pair>{{0, 1}, {0, 2}, {1, 0}, {2, 3}}));
}

// Key types of pair k for a join on key_count pairs starting at type t: every type on every pair
// position over the loop.
std::vector<KeyType> TypesFor(int key_count, int t) {
  std::vector<KeyType> types;
  for (int k = 0; k < key_count; ++k) types.push_back(kmtest::kAllTypes[(t + k) % 5]);
  return types;
}

TEST_F(JoinBuildTest, RandomJoinsEqualTheNestedLoopJoinOnBothRoads) {
  std::mt19937 gen(20261210);
  for (int key_count : {1, 2, 32}) {
    for (int t = 0; t < 5; ++t) {
      const std::vector<KeyType> types = TypesFor(key_count, t);
      // Few distinct tuples, so keys repeat on both sides; one pool tuple is NULL in every key.
      const kmtest::Side m = kmtest::RandomSide(gen, 60, key_count, 12, 4, true);
      const kmtest::Side s = kmtest::RandomSide(gen, 45, key_count, 12, 4, true);
      std::vector<int> mk, sk;
      // Decimals of different scales on the two sides: equal abstract values must still pair.
      const int master = AddSide("M", m, types, 2, &mk);
      const int slave = AddSide("S", s, types, 4, &sk);
      const std::vector<int> m_rows = kmtest::RandomSet(gen, m.n, 80);
      const std::vector<int> s_rows = kmtest::RandomSet(gen, s.n, 70);
      const int m_set = AddSet(master, m_rows);
      const int s_set = AddSet(slave, s_rows);
      for (int outer : {0, 1}) {
        SCOPED_TRACE(testing::Message() << key_count << " keys, first type " << kmtest::TypeName(types[0])
                                        << (outer ? ", outer" : ", inner"));
        const jbtest::Reference ref = jbtest::NestedLoopJoin(outer != 0, m, m_rows, s, s_rows);
        jbtest::SetImage images[2];
        for (const Road& road : kRoads) {
          SCOPED_TRACE(road.name);
          // The master set is named, the slave's is its current one.
          const int id = AddJoin(road.parallel, outer, master, m_set, mk, slave, -1, sk);
          ASSERT_GT(id, 0);
          TJoinTable* join = Join(id);
          EXPECT_EQ(join->FSlaveSetID, s_set);
          EXPECT_EQ(jbtest::Resolve(join, 1), ref.pairs);
          images[road.parallel ? 1 : 0] = jbtest::Image(join, 1);
          EXPECT_EQ(images[road.parallel ? 1 : 0].second[0], ref.second[0]);
          EXPECT_EQ(images[road.parallel ? 1 : 0].second[1], ref.second[1]);
          // One value list for both key columns; the source columns keep theirs.
          EXPECT_EQ(join->FMasterKeyFilter->VL, join->FSlaveKeyFilter->VL);
          EXPECT_NE(join->FMasterKeyFilter->VL, Real(master)->GetFilter(mk[0])->VL);
          if (types[0] == KeyType::kDecimal) {
            EXPECT_EQ(
                static_cast<TNumericArray*>(Real(master)->GetFilter(mk[0])->VL)->GetDecimalInfo()->scale, 2);
          }
          ASSERT_EQ(db_->DelTable(id), 0);
        }
        EXPECT_TRUE(images[0] == images[1]) << "the two roads left different join sets";
      }
      ASSERT_EQ(db_->DelTable(slave), 0);
      ASSERT_EQ(db_->DelTable(master), 0);
    }
  }
}

TEST_F(JoinBuildTest, OneKeyOnASharedImageGoesThroughTheCombinedKeyColumns) {
  std::mt19937 gen(7);
  const kmtest::Side m = kmtest::RandomSide(gen, 40, 1, 10, 6, true);
  const kmtest::Side s = kmtest::RandomSide(gen, 30, 1, 10, 6, true);
  std::vector<int> mk, sk;
  const int master = AddSide("M", m, {KeyType::kString}, 2, &mk);
  const int slave = AddSide("S", s, {KeyType::kString}, 2, &sk);
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    // Marked as read from a shared-memory image: its key columns cannot be merged in place.
    Real(slave)->FShmImage = 1;
    const int id = AddJoin(false, outer, master, -1, mk, slave, -1, sk);
    Real(slave)->FShmImage = 0;
    ASSERT_GT(id, 0);
    TJoinTable* join = Join(id);
    EXPECT_STREQ(join->FMasterKeyFilter->FFilterName, "#MASTER");
    EXPECT_EQ(join->FSlaveKeyFilter->FFilterID, TJoinTable::kSlaveKeyID);
    const jbtest::Reference ref =
        jbtest::NestedLoopJoin(outer != 0, m, kmtest::All(m.n), s, kmtest::All(s.n));
    EXPECT_EQ(jbtest::Resolve(join, 1), ref.pairs);
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

TEST_F(JoinBuildTest, BuildsCurrentSetsAndNamesTheColumns) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 3);
  const int m_id = AddKey(master, "id", KeyType::kInt, {N, 1, 2, 3});
  AddKey(master, "name", KeyType::kString, {N, 1, 2, 3});
  const int s_id = AddKey(slave, "id", KeyType::kInt, {N, 3, 1, 1});
  AddKey(slave, "city", KeyType::kString, {N, 5, 6, 7});
  const int id = AddJoin(false, 0, master, -1, {m_id, 0}, slave, -1, {s_id, 0}, "people");
  ASSERT_GT(id, 0);
  TJoinTable* join = Join(id);
  EXPECT_STREQ(join->FTableName, "people");
  const char* want[] = {"id", "name", "id_#1", "city"};
  for (int k = 1; k <= 4; ++k) EXPECT_STREQ(join->GetJoinFilterName(k), want[k - 1]) << k;
  EXPECT_EQ(jbtest::Resolve(join, 1), (std::vector<Pair>{{1, 2}, {1, 3}, {3, 1}}));
  // A second join of the same name gets a unique one.
  const int again = AddJoin(true, 0, master, -1, {m_id, 0}, slave, -1, {s_id, 0}, "people");
  ASSERT_GT(again, 0);
  EXPECT_STREQ(Join(again)->FTableName, "people_#1");
}

struct RefusalCase {
  const char* name;
  bool parallel;
  int outer;
  std::vector<int> master_keys;  // positions into the master's filters (0 ends, 99 names none)
  std::vector<int> slave_keys;
  int master_set;  // -1 current, 0 a set the master lacks
  bool master_is_join;
  int want;
};

// Master filters: 1 int, 2 string, 3 int. Slave filters: 1 int, 2 int, 3 string.
const RefusalCase kRefusals[] = {
    {"empty master keys", false, 0, {0}, {1, 0}, -1, false, Q7_ERROR_INVALID_KEY_PARAMETER},
    {"different key counts", false, 0, {1, 0}, {1, 2, 0}, -1, false, Q7_ERROR_INVALID_KEY_PARAMETER},
    {"one missing master key", false, 0, {99, 0}, {1, 0}, -1, false, Q7_ERROR_NO_MASTER_KEY_FILTER},
    {"one missing slave key", true, 0, {1, 0}, {99, 0}, -1, false, Q7_ERROR_NO_SLAVE_KEY_FILTER},
    {"a missing key of two", false, 0, {1, 99, 0}, {1, 2, 0}, -1, false, Q7_ERROR_INVALID_KEY_PARAMETER},
    {"master set missing", false, 0, {1, 0}, {1, 0}, 0, false, Q7_ERROR_NO_JOIN_SET},
    {"master is a join", false, 0, {1, 0}, {1, 0}, -1, true, Q7_ERROR_ILLEGAL_MASTER_TABLE},
    // One pair of different types: the serial merge finds it, the parallel road checks first.
    {"int with string, serial", false, 0, {1, 0}, {3, 0}, -1, false, Q7_ERROR_DATA_TYPE_MISMATCH},
    {"int with string, parallel", true, 1, {1, 0}, {3, 0}, -1, false, Q7_ERROR_INVALID_KEY_PARAMETER},
    {"int with string of two pairs",
     false,
     0,
     {1, 3, 0},
     {1, 3, 0},
     -1,
     false,
     Q7_ERROR_INVALID_KEY_PARAMETER},
    {"int with string of two, parallel",
     true,
     0,
     {3, 1, 0},
     {3, 1, 0},
     -1,
     false,
     Q7_ERROR_INVALID_KEY_PARAMETER},
};

TEST_F(JoinBuildTest, RefusedJoinsLeaveNothingBehind) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 3);
  const int m_ids[] = {0, AddKey(master, "a", KeyType::kInt, {N, 1, 2, 3}),
                       AddKey(master, "b", KeyType::kString, {N, 1, 2, 3}),
                       AddKey(master, "c", KeyType::kInt, {N, 1, 2, 3})};
  const int s_ids[] = {0, AddKey(slave, "a", KeyType::kInt, {N, 1, 2, 3}),
                       AddKey(slave, "b", KeyType::kInt, {N, 1, 2, 3}),
                       AddKey(slave, "c", KeyType::kString, {N, 1, 2, 3})};
  const int good = AddJoin(false, 0, master, -1, {m_ids[1], 0}, slave, -1, {s_ids[1], 0});
  ASSERT_GT(good, 0);
  auto map_keys = [](const std::vector<int>& positions, const int* ids) {
    std::vector<int> out;
    for (int p : positions) out.push_back(p == 99 ? 4242 : ids[p]);
    return out;
  };
  for (const RefusalCase& c : kRefusals) {
    SCOPED_TRACE(c.name);
    const int tables = db_->TableCount();
    const int got =
        AddJoin(c.parallel, c.outer, c.master_is_join ? good : master, c.master_set == 0 ? 77 : -1,
                map_keys(c.master_keys, m_ids), slave, -1, map_keys(c.slave_keys, s_ids));
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(db_->TableCount(), tables);
    EXPECT_EQ(Real(master)->FnSet, 1);
    EXPECT_EQ(db_->ReferedIDList(master, std::vector<int>(16).data()), 1);
  }
}

TEST_F(JoinBuildTest, CollectionRefusalsAreRecorded) {
  const int master = AddTable("M", 1);
  const int slave = AddTable("S", 1);
  const int mk = AddKey(master, "a", KeyType::kInt, {N, 1});
  const int sk = AddKey(slave, "a", KeyType::kInt, {N, 1});
  EXPECT_EQ(AddJoin(false, 0, master, -1, {mk, 0}, slave, -1, {sk, 0}, ""), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(TakeRing(), "AddJoinTable|Invalid Parameter : TblName()");
  db_->FTblIDIssued = INT32_MAX;
  EXPECT_EQ(AddJoin(true, 0, master, -1, {mk, 0}, slave, -1, {sk, 0}), Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddJoinTable|TableCount overflow");
  EXPECT_EQ(db_->TableCount(), 2);
}

// 50,000 masters and 50,000 slaves of one key: 2.5 billion joined rows do not fit the join's row
// numbers, on either road, inner or outer.
TEST_F(JoinBuildTest, AJoinPastTheRowLimitIsRefusedAndNotAdded) {
  constexpr int kRows = 50000;
  const std::vector<int> same(kRows + 1, 1);
  const int master = AddTable("M", kRows);
  const int slave = AddTable("S", kRows);
  const int mk = AddKey(master, "a", KeyType::kInt, same);
  const int sk = AddKey(slave, "a", KeyType::kInt, same);
  struct Want {
    bool parallel;
    int outer;
    const char* ring;
  };
  const Want kWant[] = {{false, 0, "SetupMainN|JoinTable size overflow"},
                        {true, 0, ""},
                        {false, 1, "MakeOuterJoin|RecCount overflow"},
                        {true, 1, "MakeOuterJoin|RecCount overflow"}};
  for (const Want& w : kWant) {
    SCOPED_TRACE(testing::Message() << (w.parallel ? "parallel" : "serial")
                                    << (w.outer ? " outer" : " inner"));
    EXPECT_EQ(AddJoin(w.parallel, w.outer, master, -1, {mk, 0}, slave, -1, {sk, 0}), Q7_ERROR_OVERFLOW_JOIN);
    EXPECT_EQ(TakeRing(), w.ring);
    EXPECT_EQ(db_->TableCount(), 2);
    EXPECT_FALSE(db_->IsReferred(master));
  }
  // One master row fewer on the other side still joins: 50,000 x 42,949 rows fit.
  const int smaller = AddTable("S2", 42949);
  const int k2 = AddKey(smaller, "a", KeyType::kInt, std::vector<int>(42950, 1));
  const int id = AddJoin(true, 0, master, -1, {mk, 0}, smaller, -1, {k2, 0});
  ASSERT_GT(id, 0);
  EXPECT_EQ(Join(id)->TotalRecs(), kRows * 42949);
}

}  // namespace
