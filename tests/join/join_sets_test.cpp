// The join set registry: registering, looking up, deleting and purging join sets, and handing set
// 1's rows back to the source tables. Set 1 is paired by hand here (join_test_support.h), so these
// tests do not depend on the pairing that builds it.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "join/TJoinTable.h"
#include "join_test_support.h"
#include "tests/support/test_support.h"
#include "values/TIntArray.h"

namespace {

using jtest::Rows;

class JoinSets : public jtest::JoinTest {
 protected:
  // Master m1..m4 with keys 7, 7, 8, 9 (set 1 of the join: m1..m3); slave s1..s5 with keys 7, 9,
  // 7, 7, 8 and values 10..50. Set 1 is the inner join on the key: m1 and m2 pair with s1, s3, s4,
  // m3 with s5; m4 and s2 are the rows without partner. Value numbers are the master key's own:
  // 7 -> 1, 8 -> 2, 9 -> 3.
  void SetUp() override {
    JoinTest::SetUp();
    master_ = AddTable("M", 4);
    slave_ = AddTable("S", 5);
    master_key_ = AddIntFilter(Real(master_), "k", {7, 7, 8, 9});
    AddIntFilter(Real(master_), "v", {0, 0, 0, 0});
    slave_key_ = AddIntFilter(Real(slave_), "k", {7, 9, 7, 7, 8});
    slave_value_ = AddIntFilter(Real(slave_), "v", {10, 20, 30, 40, 50});
    const int master_set = Real(master_)->AddSetFromRows(3, std::vector<int>{1, 2, 3}.data());
    join_ = AddJoinOn(master_, {master_key_}, slave_, {slave_key_}, 0, master_set, -1);
    j_ = Join(join_);
    SetPairing(j_, 1, 7, {1, 2, 3}, {1, 3, 4, 5}, {0, 3, 6}, {0, 0, 3, 4, 4}, {4}, {2});
    DrainRing();
  }
  // Registers a set of `side` holding the given master rows; its ID.
  int NewSet(int side, std::vector<int> rows, int size) {
    const int id = j_->RegNewSet(side);
    JoinSetEntry& e = j_->Entry(j_->SetID2Pos(id));
    e.rows[side] = ttest::MakeSet(rows).release();
    e.size = size;
    return id;
  }
  std::vector<int> SetIDs() { return std::vector<int>(j_->FSetIDs, j_->FSetIDs + j_->FnSet); }

  int master_ = 0, slave_ = 0, master_key_ = 0, slave_key_ = 0, slave_value_ = 0, join_ = 0;
  TJoinTable* j_ = nullptr;
};

TEST_F(JoinSets, SetsAreRegisteredInOrderAndReadBySide) {
  EXPECT_EQ(j_->TotalRecs(), 7);
  const int s2 = NewSet(1, {5, 1}, 11);
  EXPECT_EQ(s2, 2);
  EXPECT_EQ(j_->GetCurrentSetID(), 2);
  EXPECT_EQ(j_->GetSetSize(2), 11);
  EXPECT_EQ(j_->GetSetSize(-1), 11);  // the current set
  EXPECT_EQ(j_->GetJoinDir(1), 0);
  EXPECT_EQ(j_->GetJoinDir(2), 1);
  int side = -1, opposite = -1;
  j_->FixMasterSlave(2, &side, &opposite);
  EXPECT_EQ(side, 1);
  EXPECT_EQ(opposite, 0);

  // Own rows and the other side's rows follow the set's side.
  EXPECT_EQ(Rows(j_->GetSet(1)), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Rows(j_->GetSlaveSet(1)), (std::vector<int>{1, 3, 4, 5}));
  EXPECT_EQ(Rows(j_->GetSet(2)), (std::vector<int>{5, 1}));
  EXPECT_EQ(j_->GetSlaveSet(2), nullptr);
  TSetArray *own = nullptr, *other = nullptr;
  EXPECT_EQ(j_->GetProjectionSets(1, &own, &other), 0);
  EXPECT_EQ(Rows(own), (std::vector<int>{0, 3, 6}));
  EXPECT_EQ(Rows(other), (std::vector<int>{0, 0, 3, 4, 4}));
  j_->Entry(1).projection[1] = ttest::MakeSet({0, 2}).release();
  EXPECT_EQ(j_->GetProjectionSets(2, &own, &other), 0);
  EXPECT_EQ(Rows(own), (std::vector<int>{0, 2}));
  EXPECT_EQ(other, nullptr);

  // 40 more sets grow the registry past its first 32 slots; each keeps its side.
  for (int i = 0; i < 40; ++i) NewSet(i % 2, {1}, i);
  EXPECT_EQ(j_->FnSet, 42);
  EXPECT_GT(j_->FSetCapacity, j_->FnSet);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(j_->GetJoinDir(3 + i), i % 2);
    EXPECT_EQ(j_->GetSetSize(3 + i), i);
  }
}

TEST_F(JoinSets, MissingSetsAreRefusedWithTheirOwnCodes) {
  const int kNone = 9;
  EXPECT_EQ(j_->GetSetSize(kNone), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing().back(), "GetSetSize|No Such Set: 9");
  EXPECT_EQ(j_->GetJoinDir(kNone), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing().back(), "GetJoinDir|No Such Set: 9 ");
  EXPECT_EQ(j_->GetSet(kNone), nullptr);
  EXPECT_EQ(DrainRing().back(), "GetSet|No Such Set: 9");
  EXPECT_EQ(j_->GetSlaveSet(kNone), nullptr);
  TSetArray* own = j_->GetSet(1);
  TSetArray* other = own;
  EXPECT_EQ(j_->GetProjectionSets(kNone, &own, &other), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(own, nullptr);
  EXPECT_EQ(other, nullptr);
  int side = 0, opposite = 0;
  EXPECT_EQ(q7test::CodeOf([&] { j_->FixMasterSlave(kNone, &side, &opposite); }), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing().back(), "FixMasterSlave|No Such Set: 9 ");
  j_->Entry(0).side = 2;
  EXPECT_EQ(q7test::CodeOf([&] { j_->FixMasterSlave(1, &side, &opposite); }), Q7_ERROR_ILLEGAL_JOIN_TARGET);
  EXPECT_EQ(DrainRing().back(), "FixMasterSlave|Illegal target ( Not Master or Slave )");
  j_->Entry(0).side = 0;
}

TEST_F(JoinSets, DelSetClosesTheGapAndNeverDeletesSetOne) {
  NewSet(0, {1}, 2);
  NewSet(1, {2}, 3);
  NewSet(0, {3}, 4);
  j_->SetCurrentSetID(3);
  DrainRing();
  EXPECT_EQ(j_->DelSet(1), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing().back(), "DelSet|No Such Set: 1 ");
  EXPECT_EQ(j_->DelSet(9), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(DrainRing().back(), "DelSet|No Such Set: 9 ");

  EXPECT_EQ(j_->DelSet(3), 0);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(j_->GetCurrentSetID(), 1);  // the deleted set was current
  EXPECT_EQ(j_->GetSetSize(4), 4);
  EXPECT_EQ(Rows(j_->GetSet(4)), (std::vector<int>{3}));
  EXPECT_EQ(j_->GetJoinDir(2), 0);
  EXPECT_EQ(j_->Entry(3).rows[0], nullptr);  // the freed slot is cleared
  EXPECT_EQ(j_->FSetIDs[3], 0);
  j_->SetCurrentSetID(4);
  EXPECT_EQ(j_->DelSet(2), 0);
  EXPECT_EQ(j_->GetCurrentSetID(), 4);  // another set stays current
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 4}));
}

// A set lying on a shared image is refused before anything changes, the current set included,
// whichever of its six arrays lies there.
TEST_F(JoinSets, DelSetRefusesASharedSetBeforeChangingAnything) {
  for (int field = 0; field < 6; ++field) {
    SCOPED_TRACE(field);
    const int id = NewSet(0, {1}, 1);
    JoinSetEntry& e = j_->Entry(j_->SetID2Pos(id));
    TSetArray** slots[6] = {&e.rows[0],       &e.rows[1],   &e.projection[0],
                            &e.projection[1], &e.second[0], &e.second[1]};
    if (*slots[field] == nullptr) *slots[field] = ttest::MakeSet({1}).release();
    TSetArray* shared = *slots[field];
    shared->FNotOwned = 1;
    DrainRing();
    EXPECT_EQ(j_->DelSet(id), Q7_ERROR_SHARED_READ_ONLY);
    EXPECT_EQ(DrainRing().back(), "DelSet|Invalid Shared memory read Oparation");
    EXPECT_EQ(j_->GetCurrentSetID(), id);
    EXPECT_EQ(*slots[field], shared);
    shared->FNotOwned = 0;  // the test's own block: let the join free it
    EXPECT_EQ(j_->DelSet(id), 0);
  }
}

TEST_F(JoinSets, PurgeKeepsSetOneAndNeverReissuesAnID) {
  NewSet(0, {1}, 2);
  NewSet(1, {2}, 3);
  NewSet(0, {3}, 4);
  j_->DelSet(4);  // the highest ID issued stays 4
  EXPECT_EQ(j_->PurgeSubSets(), 1);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1}));
  EXPECT_EQ(j_->GetCurrentSetID(), 1);
  EXPECT_EQ(j_->GetSetSize(1), 7);
  EXPECT_EQ(j_->Entry(1).rows[0], nullptr);
  EXPECT_EQ(j_->RegNewSet(0), 5);
}

TEST_F(JoinSets, TheTenThousandAndFirstSetIsRefused) {
  while (j_->FnSet < TJoinTable::kMaxSets) j_->RegNewSet(1);
  const int last = j_->FMaxSetID;
  DrainRing();
  EXPECT_EQ(q7test::CodeOf([&] { j_->RegNewSet(0); }), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing().back(), "RegNewSet|SetCount overflow");
  EXPECT_EQ(j_->FnSet, TJoinTable::kMaxSets);
  EXPECT_EQ(j_->FMaxSetID, last);
  EXPECT_EQ(j_->GetCurrentSetID(), last);
  EXPECT_EQ(j_->PurgeSubSets(), 1);
}

TEST_F(JoinSets, PutJoinSetToParentCopiesTheChosenRowsIntoANewSet) {
  struct Case {
    int side, non_hit;
    bool mpp;
    int table;
    std::vector<int> rows;
  };
  const Case kCases[] = {
      {0, 0, false, master_, {1, 2, 3}},
      {0, 1, false, master_, {4}},
      {1, 0, true, slave_, {1, 3, 4, 5}},
      {7, 1, true, slave_, {2}},  // any side but 0 is the slave
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.side * 10 + c.non_hit);
    int table = 0, set = 0;
    const int result = c.mpp ? j_->MppPutJoinSetToParent(c.side, c.non_hit, &table, &set)
                             : j_->PutJoinSetToParent(c.side, c.non_hit, &table, &set);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(Real(c.table)->GetCurrentSetID(), set);
    EXPECT_EQ(Rows(Real(c.table)->GetSet(set)), c.rows);
    EXPECT_NE(Real(c.table)->GetSet(set), c.non_hit != 0 ? j_->Entry(0).second[c.side != 0 ? 1 : 0]
                                                         : j_->Entry(0).rows[c.side != 0 ? 1 : 0]);
  }
  EXPECT_EQ(Rows(j_->GetSet(1)), (std::vector<int>{1, 2, 3}));  // the join keeps its rows
}

TEST_F(JoinSets, PutJoinSetToParentRefusals) {
  // An outer join hands nothing back.
  j_->FOuter = 1;
  int table = 0, set = 0;
  EXPECT_EQ(j_->PutJoinSetToParent(0, 0, &table, &set), -1);
  EXPECT_EQ(table, -1);
  EXPECT_EQ(set, -1);
  j_->FOuter = 0;
  // A parent with 9999 sets takes no more from a join.
  while (Real(master_)->FnSet < TRealTable::kMaxSets - 1)
    Real(master_)->AddSetFromRows(1, std::vector<int>{1}.data());
  DrainRing();
  for (bool mpp : {false, true}) {
    EXPECT_EQ(
        mpp ? j_->MppPutJoinSetToParent(0, 0, &table, &set) : j_->PutJoinSetToParent(0, 0, &table, &set),
        Q7_ERROR_SET_COUNT_OVERFLOW);
    EXPECT_EQ(DrainRing().back(), "PutJoinSetToParent|SetCount overflow");
    EXPECT_EQ(table, -1);
    EXPECT_EQ(Real(master_)->FnSet, TRealTable::kMaxSets - 1);
  }
  // The slave side is still open.
  EXPECT_EQ(j_->PutJoinSetToParent(1, 0, &table, &set), 0);
}

TEST_F(JoinSets, ReturnSet2SlaveTableGivesOneSlaveRecordPerKeyValue) {
  int table = 0;
  const int set = j_->ReturnSet2SlaveTable(&table);
  ASSERT_GT(set, 0);
  EXPECT_EQ(table, slave_);
  EXPECT_EQ(Real(slave_)->GetCurrentSetID(), set);
  // Key 7 occurs in s1, s3 and s4 but gives only s1; key 8 gives s5.
  EXPECT_EQ(Rows(Real(slave_)->GetSet(set)), (std::vector<int>{1, 5}));

  j_->FOuter = 1;
  table = 0;
  DrainRing();
  EXPECT_EQ(j_->ReturnSet2SlaveTable(&table), Q7_ERROR_NOT_INNER_JOIN_TABLE);
  EXPECT_EQ(table, slave_);
  EXPECT_EQ(DrainRing().back(), "ReturnSet2SlaveTable|No Inner-Join Table");
  j_->FOuter = 0;

  while (Real(slave_)->FnSet < TRealTable::kMaxSets)
    Real(slave_)->AddSetFromRows(1, std::vector<int>{1}.data());
  DrainRing();
  EXPECT_EQ(j_->ReturnSet2SlaveTable(&table), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing().back(), "ReturnSet2SlaveTable|Failed to add set ( AddSetWithoutCopy module )");
}

// Each master record of set 1 takes the value of its key's first slave partner; the others NULL.
TEST_F(JoinSets, MoveSlaveFlt2MasterCopiesTheFirstPartnersValue) {
  const int id = j_->MoveSlaveFlt2Master(slave_value_);
  ASSERT_GT(id, 0);
  TRealTable* m = Real(master_);
  TFilter* f = m->GetFilter(id);
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f->FFilterName, "v_#1");
  EXPECT_EQ(f->FOrgFltID, id);
  EXPECT_EQ(m->FFilters[m->FnFilter - 1], f);  // appended
  auto* list = static_cast<TIntArray*>(f->VL);
  std::vector<int> values;
  for (int r = 1; r <= 4; ++r) values.push_back(list->GetInt(f->PV->GetInt(r)));
  EXPECT_EQ(values, (std::vector<int>{10, 10, 50, INT_MIN}));
  EXPECT_NE(f->VL, Real(slave_)->GetFilter(slave_value_)->VL);  // a copy of the list

  DrainRing();
  EXPECT_EQ(j_->MoveSlaveFlt2Master(99), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainRing().back(), "MoveSlaveFlt2Master|No Such Filter: 99");
}

}  // namespace
