// The join table object: construction and its refusals, the join column numbering and names, the
// lookups that translate a join column to its source, and the join as the collection sees it.
#include <gtest/gtest.h>

#include <cstring>
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

namespace {

using jtest::Rows;

class JoinModel : public jtest::JoinTest {
 protected:
  // The code a construction throws; 0 when it builds.
  int ConstructionCode(int master, int master_set, std::vector<int> master_keys, int slave, int slave_set,
                       std::vector<int> slave_keys) {
    char name[] = "J";
    return q7test::CodeOf([&] {
      TJoinTable join(100, name, 0, master, master_set, master_keys.data(), slave, slave_set,
                      slave_keys.data(), db_.get());
    });
  }
};

TEST_F(JoinModel, JoinProtectsItsTablesUntilItIsDeleted) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 2);
  const int mk = AddIntFilter(Real(master), "k", {1, 2, 3});
  const int mk2 = AddIntFilter(Real(master), "k2", {1, 2, 3});
  const int sk = AddIntFilter(Real(slave), "k", {2, 3});
  const int join = AddJoin(master, mk, slave, sk);
  EXPECT_TRUE(db_->IsJoinExist());

  int ids[8];
  EXPECT_EQ(db_->ReferedIDList(master, ids), 1);
  EXPECT_EQ(ids[0], join);
  EXPECT_EQ(db_->DelTable(master), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(db_->DelTable(slave), Q7_ERROR_NOT_EDITABLE);
  EXPECT_FALSE(db_->IsEditable(master));
  EXPECT_TRUE(db_->IsReferred(master));
  EXPECT_EQ(DrainRing().back(), "DelTable|Failed to refere table");

  // The first key filter of each side stays; another filter may go.
  EXPECT_EQ(Real(master)->DropFilter(mk), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(Real(slave)->DropFilter(sk), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(TakeRing(), "DropFilter|Failed to refere table");
  EXPECT_EQ(Real(master)->DropFilter(mk2), 0);

  // A join is not real: its dependents cannot be listed, yet it can be deleted.
  EXPECT_EQ(db_->ReferedIDList(join, ids), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_FALSE(db_->IsEditable(join));
  EXPECT_EQ(db_->DelTable(join), 0);
  EXPECT_FALSE(db_->IsJoinExist());
  EXPECT_TRUE(db_->IsEditable(master));
  EXPECT_FALSE(db_->IsReferred(master));
  EXPECT_EQ(Real(master)->DropFilter(mk), 0);
  EXPECT_EQ(db_->DelTable(master), 0);
}

// Each refusal of the constructor, in the order of its checks; a refused join leaves no table behind.
TEST_F(JoinModel, ConstructionRefusalsFollowTheOrderOfTheChecks) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 2);
  const int mk = AddIntFilter(Real(master), "k", {1, 2, 3});
  const int mk2 = AddIntFilter(Real(master), "k2", {3, 2, 1});
  const int sk = AddIntFilter(Real(slave), "k", {2, 3});
  const int sk2 = AddIntFilter(Real(slave), "k2", {2, 3});
  const int join = AddJoin(master, mk, slave, sk);
  std::vector<int> all32_master(32, mk), all32_slave(32, sk);  // no terminator
  struct Case {
    const char* what;
    int master, master_set;
    std::vector<int> master_keys;
    int slave, slave_set;
    std::vector<int> slave_keys;
    int code;
  };
  const Case kCases[] = {
      {"two pairs", master, -1, {mk, mk2, 0}, slave, -1, {sk, sk2, 0}, 0},
      {"32 pairs without terminator", master, -1, all32_master, slave, -1, all32_slave, 0},
      {"counts differ", master, -1, {mk, 0}, slave, -1, {sk, sk2, 0}, Q7_ERROR_INVALID_KEY_PARAMETER},
      {"empty master list", master, -1, {0, mk}, slave, -1, {sk, 0}, Q7_ERROR_INVALID_KEY_PARAMETER},
      {"negative first key", master, -1, {-3, 0}, slave, -1, {-3, 0}, Q7_ERROR_INVALID_KEY_PARAMETER},
      {"master missing", 99, -1, {mk, 0}, slave, -1, {sk, 0}, Q7_ERROR_ILLEGAL_MASTER_TABLE},
      {"master is a join", join, -1, {1, 0}, slave, -1, {sk, 0}, Q7_ERROR_ILLEGAL_MASTER_TABLE},
      {"slave missing", master, -1, {mk, 0}, 99, -1, {sk, 0}, Q7_ERROR_ILLEGAL_SLAVE_TABLE},
      {"slave is a join", master, -1, {mk, 0}, join, -1, {1, 0}, Q7_ERROR_ILLEGAL_SLAVE_TABLE},
      {"one master key missing", master, -1, {77, 0}, slave, -1, {sk, 0}, Q7_ERROR_NO_MASTER_KEY_FILTER},
      {"second master key missing",
       master,
       -1,
       {mk, 77, 0},
       slave,
       -1,
       {sk, sk2, 0},
       Q7_ERROR_INVALID_KEY_PARAMETER},
      {"one slave key missing", master, -1, {mk, 0}, slave, -1, {77, 0}, Q7_ERROR_NO_SLAVE_KEY_FILTER},
      {"second slave key missing",
       master,
       -1,
       {mk, mk2, 0},
       slave,
       -1,
       {sk, 77, 0},
       Q7_ERROR_INVALID_KEY_PARAMETER},
      {"master set missing", master, 5, {mk, 0}, slave, -1, {sk, 0}, Q7_ERROR_NO_JOIN_SET},
      {"slave set missing", master, -1, {mk, 0}, slave, 5, {sk, 0}, Q7_ERROR_NO_SLAVE_SET},
      // The master is checked in full before the slave.
      {"both sets missing", master, 5, {mk, 0}, slave, 5, {sk, 0}, Q7_ERROR_NO_JOIN_SET},
      {"master key before slave table", master, -1, {77, 0}, 99, -1, {sk, 0}, Q7_ERROR_NO_MASTER_KEY_FILTER},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const int tables = db_->TableCount();
    EXPECT_EQ(ConstructionCode(c.master, c.master_set, c.master_keys, c.slave, c.slave_set, c.slave_keys),
              c.code);
    EXPECT_EQ(db_->TableCount(), tables);
  }
}

// The constructor registers set 1 (side 0, current) holding copies of the two source sets, and
// with one key pair copies of the two key filters under IDs 0 and 1.
TEST_F(JoinModel, ConstructionRegistersSetOneOverCopiesOfTheSourceSets) {
  const int master = AddTable("M", 4);
  const int slave = AddTable("S", 3);
  const int mk = AddIntFilter(Real(master), "mkey", {1, 2, 2, 3});
  const int sk = AddIntFilter(Real(slave), "skey", {2, 2, 4});
  const int mk2 = AddIntFilter(Real(master), "m2", {1, 1, 1, 1});
  const int sk2 = AddIntFilter(Real(slave), "s2", {1, 1, 1});
  const int master_set = Real(master)->AddSetFromRows(3, std::vector<int>{4, 2, 2}.data());
  const int slave_set = Real(slave)->AddSetFromRows(2, std::vector<int>{3, 1}.data());
  Real(master)->SetCurrentSetID(master_set);  // -1 takes the master's current set

  for (int outer : {0, 5}) {
    SCOPED_TRACE(outer);
    TJoinTable* j = Join(AddJoinOn(master, {mk}, slave, {sk}, outer, -1, slave_set));
    EXPECT_EQ(j->FOuter, outer != 0 ? 1 : 0);
    EXPECT_EQ(j->FnKey, 1);
    EXPECT_EQ(j->FMasterSetID, master_set);
    EXPECT_EQ(j->FSlaveSetID, slave_set);
    ASSERT_EQ(j->FnSet, 1);
    EXPECT_EQ(j->FSetIDs[0], 1);
    EXPECT_EQ(j->GetCurrentSetID(), 1);
    EXPECT_EQ(j->GetJoinDir(1), 0);
    EXPECT_EQ(Rows(j->Entry(0).rows[0]), (std::vector<int>{4, 2, 2}));
    EXPECT_EQ(Rows(j->Entry(0).rows[1]), (std::vector<int>{3, 1}));
    EXPECT_NE(j->Entry(0).rows[0], Real(master)->GetSet(master_set));  // a copy
    EXPECT_EQ(j->TotalRecs(), 0);                                      // not paired yet
    ASSERT_NE(j->FMasterKeyFilter, nullptr);
    ASSERT_NE(j->FSlaveKeyFilter, nullptr);
    EXPECT_EQ(j->FMasterKeyFilter->FFilterID, 0);
    EXPECT_EQ(j->FSlaveKeyFilter->FFilterID, 1);
    EXPECT_STREQ(j->FMasterKeyFilter->FFilterName, "mkey");
    EXPECT_STREQ(j->FSlaveKeyFilter->FFilterName, "skey");
    EXPECT_NE(j->FMasterKeyFilter->PV, Real(master)->GetFilter(mk)->PV);
    EXPECT_EQ(j->FMasterKeys[0], mk);
    EXPECT_EQ(j->FMasterKeys[1], 0);
  }
  // With two pairs the key filters wait for the combined key columns.
  TJoinTable* j2 = Join(AddJoinOn(master, {mk, mk2}, slave, {sk, sk2}));
  EXPECT_EQ(j2->FnKey, 2);
  EXPECT_EQ(j2->FMasterKeyFilter, nullptr);
  EXPECT_EQ(j2->FSlaveKeyFilter, nullptr);
  EXPECT_EQ(j2->FSlaveKeys[1], sk2);
}

// A key pending in the master's write list is folded in before the key is copied.
TEST_F(JoinModel, ConstructionFoldsPendingValuesFirst) {
  const int master = AddTable("M", 5000);
  const int slave = AddTable("S", 2);
  const int mk = AddIntFilter(Real(master), "k", std::vector<int>(5000, 1));
  const int sk = AddIntFilter(Real(slave), "k", {1, 2});
  int fresh = 777;
  ASSERT_EQ(Real(master)->OverWriteEx(1, mk, 10, 1, &fresh), 1);
  ASSERT_GT(Real(master)->GetFilter(mk)->TVLCount, 0);
  TJoinTable* j = Join(AddJoin(master, mk, slave, sk));
  EXPECT_EQ(Real(master)->GetFilter(mk)->TVLCount, 0);
  TIntArray* numbers = j->FMasterKeyFilter->PV;
  for (int r = 1; r <= 5000; ++r) ASSERT_GE(numbers->PIntAr()[r], 1) << r;
  EXPECT_EQ(j->FMasterKeyFilter->VL->FArraySize, 3);  // NULL, 1, 777
}

TEST_F(JoinModel, JoinConstructionChecksItsArguments) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 2);
  const int mk = AddIntFilter(Real(master), "k", {1, 2, 3});
  const int sk = AddIntFilter(Real(slave), "k", {2, 3});
  struct Case {
    int master, master_set, master_key, master_key2, slave, slave_key, slave_key2, code;
  };
  const Case cases[] = {
      {master, -1, 0, 0, slave, sk, 0, Q7_ERROR_INVALID_KEY_PARAMETER},
      {master, -1, mk, 0, slave, sk, sk, Q7_ERROR_INVALID_KEY_PARAMETER},
      {99, -1, mk, 0, slave, sk, 0, Q7_ERROR_ILLEGAL_MASTER_TABLE},
      {master, -1, mk, 0, 99, sk, 0, Q7_ERROR_ILLEGAL_SLAVE_TABLE},
      {master, -1, 77, 0, slave, sk, 0, Q7_ERROR_NO_MASTER_KEY_FILTER},
      {master, -1, mk, 77, slave, sk, sk, Q7_ERROR_INVALID_KEY_PARAMETER},
      {master, -1, mk, 0, slave, 77, 0, Q7_ERROR_NO_SLAVE_KEY_FILTER},
      {master, 5, mk, 0, slave, sk, 0, Q7_ERROR_NO_JOIN_SET},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    int mkeys[] = {c.master_key, c.master_key2, 0};
    int skeys[] = {c.slave_key, c.slave_key2, 0};
    char name[] = "J";
    try {
      TJoinTable join(100, name, 0, c.master, c.master_set, mkeys, c.slave, -1, skeys, db_.get());
      ADD_FAILURE() << "built";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
  }
  // A join's master may not itself be a join.
  const int join = AddJoin(master, mk, slave, sk);
  int mkeys[] = {1, 0};
  int skeys[] = {sk, 0};
  char name[] = "J2";
  EXPECT_THROW(TJoinTable(101, name, 0, join, -1, mkeys, slave, -1, skeys, db_.get()), CQ7Exception);
  // The join's columns are the master's, then the slave's, read through the source filters.
  auto* j = static_cast<TJoinTable*>(db_->GetTable(join));
  EXPECT_EQ(j->GetNFilter(), 2);
  EXPECT_EQ(j->GetFilter(2), Real(slave)->GetFilter(sk));
  char table_name[256], filter_name[256];
  j->FilterID2Name(2, table_name, filter_name);
  EXPECT_STREQ(table_name, "S");
  EXPECT_STREQ(filter_name, "k");
}

// Join columns: the master's, then the slave's; names made unique within the join, master first.
TEST_F(JoinModel, ColumnsAreNumberedMasterFirstAndNamedUniquely) {
  const int master = AddTable("M", 2);
  const int slave = AddTable("S", 2);
  const int m_id = AddIntFilter(Real(master), "id", {1, 2});
  const int m_name = AddIntFilter(Real(master), "name", {5, 6});
  const int s_id = AddIntFilter(Real(slave), "id", {2, 1});
  const int s_city = AddIntFilter(Real(slave), "city", {7, 8});
  const int s_name = AddIntFilter(Real(slave), "name_#4", {7, 8});  // its seed is "name"
  Real(master)->DropFilter(AddIntFilter(Real(master), "gone", {0, 0}));
  TJoinTable* j = Join(AddJoin(master, m_id, slave, s_id));
  EXPECT_EQ(j->GetJoinFilterName(1), nullptr);  // no names before they are assigned
  EXPECT_EQ(j->GetJoinFilterIDFromName(const_cast<char*>("id")), Q7_ERROR_NO_SUCH_FILTER);
  ASSERT_EQ(j->AssignJoinFilterNames(), 0);

  ASSERT_EQ(j->GetNFilter(), 5);
  const std::vector<std::string> want = {"id", "name", "id_#1", "city", "name_#1"};
  int ids[8];
  ASSERT_EQ(j->GetFilterIDList(ids), 5);
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(ids[k - 1], k);
    EXPECT_EQ(j->GetJoinFilterName(k), want[k - 1]);
    std::string name = want[k - 1];
    EXPECT_EQ(j->GetJoinFilterIDFromName(name.data()), k);
    EXPECT_EQ(j->JFilterName2Pos(name.data()), k - 1);
  }
  EXPECT_EQ(j->GetJoinFilterName(0), nullptr);
  EXPECT_EQ(j->GetJoinFilterName(6), nullptr);
  EXPECT_EQ(j->GetJoinFilterIDFromName(const_cast<char*>("nope")), Q7_ERROR_NO_SUCH_FILTER);

  // Sources: the side's table and the source filter, which keeps its own name.
  const int sources[] = {m_id, m_name, s_id, s_city, s_name};
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    const bool master_side = k <= 2;
    int table = 0;
    EXPECT_EQ(j->GetJoinSrcFltID(k, &table), sources[k - 1]);
    EXPECT_EQ(table, master_side ? master : slave);
    EXPECT_EQ(j->GetFilter(k), (master_side ? Real(master) : Real(slave))->GetFilter(sources[k - 1]));
    EXPECT_EQ(j->GetFilterSide(k), master_side ? 0 : 1);
    int side = 9;
    EXPECT_EQ(j->JFilterID2Pos(k, &side), master_side ? k - 1 : k - 3);
    EXPECT_EQ(side, master_side ? 0 : 1);
  }
  char table_name[256], filter_name[256];
  EXPECT_EQ(j->FilterID2Name(3, table_name, filter_name), filter_name);
  EXPECT_STREQ(table_name, "S");
  EXPECT_STREQ(filter_name, "id");

  int *out_ids = nullptr, *out_tables = nullptr, *out_filters = nullptr;
  ASSERT_EQ(j->GetJoinSrcInfo(&out_ids, &out_tables, &out_filters), 5);
  EXPECT_EQ(std::vector<int>(out_ids, out_ids + 6), (std::vector<int>{1, 2, 3, 4, 5, 0}));
  EXPECT_EQ(std::vector<int>(out_tables, out_tables + 5),
            (std::vector<int>{master, master, slave, slave, slave}));
  EXPECT_EQ(std::vector<int>(out_filters, out_filters + 5), std::vector<int>(sources, sources + 5));

  int mt = 0, ms = 0, st = 0, ss = 0, n_slave = 0;
  int* slave_cols = nullptr;
  EXPECT_EQ(j->GetSlaveInfo(&mt, &ms, &st, &ss, &n_slave, &slave_cols), 0);
  EXPECT_EQ(std::vector<int>({mt, ms, st, ss, n_slave}), (std::vector<int>{master, 1, slave, 1, 3}));
  EXPECT_EQ(std::vector<int>(slave_cols, slave_cols + 3), (std::vector<int>{s_id, s_city, s_name}));

  // Assigning again rebuilds the same names, not "id_#2".
  ASSERT_EQ(j->AssignJoinFilterNames(), 0);
  EXPECT_STREQ(j->GetJoinFilterName(3), "id_#1");
}

// The refusals of the lookups, with the codes and ring entries a host reads.
TEST_F(JoinModel, LookupRefusals) {
  const int master = AddTable("M", 2);
  const int slave = AddTable("S", 2);
  TJoinTable* j = Join(AddJoin(master, AddIntFilter(Real(master), "k", {1, 2}), slave,
                               AddIntFilter(Real(slave), "k", {2, 1})));
  DrainRing();
  EXPECT_EQ(j->GetFilterSide(0), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(j->GetFilterSide(3), Q7_ERROR_NO_SUCH_FILTER);
  int side = 9;
  EXPECT_EQ(j->JFilterID2Pos(3, &side), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(side, -1);
  EXPECT_EQ(TakeRing(), "JFilterID2Pos|No Such Filter: 3");
  EXPECT_EQ(TJoinTable::OppositeSide(0), 1);
  EXPECT_EQ(TJoinTable::OppositeSide(1), 0);
  EXPECT_EQ(q7test::CodeOf([] { TJoinTable::OppositeSide(2); }), Q7_ERROR_ILLEGAL_JOIN_TARGET);
  int table = 0;
  EXPECT_EQ(j->GetJoinSrcFltID(0, &table), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(TakeRing(), "GetJoinSrcFltID|No Such Filter: 0");
  EXPECT_EQ(q7test::CodeOf([&] { j->GetFilter(3); }), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(TakeRing(), "GetFilter|No Such Filter: 3");
  char table_name[256], filter_name[256];
  EXPECT_EQ(q7test::CodeOf([&] { j->FilterID2Name(-1, table_name, filter_name); }), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(TakeRing(), "FilterID2Name|No Such Filter: -1");
  // A source filter that has gone.
  j->FSlaveColumns[0] = 99;
  EXPECT_EQ(q7test::CodeOf([&] { j->FilterID2Name(2, table_name, filter_name); }), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainRing().back(), "FilterID2Name|No Filter");
  EXPECT_EQ(q7test::CodeOf([&] { j->AssignJoinFilterNames(); }), Q7_ERROR_NO_SUCH_FILTER);
  DrainRing();
  EXPECT_EQ(j->GetJoinFilterName(1), nullptr);  // a failed naming leaves no names
  // Source tables not resolved (after a load whose tables are missing).
  j->FSlaveTable = nullptr;
  EXPECT_EQ(j->GetFilterIDFromName(const_cast<char*>("k"), 1), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(TakeRing(), "GetFilterIDFromName|No Real Table (slave)");
  EXPECT_EQ(j->GetFilterIDFromName(const_cast<char*>("k"), 0),
            Real(master)->GetFilterIDFromName(const_cast<char*>("k"), 0));
  EXPECT_EQ(q7test::CodeOf([&] { j->AssignJoinFilterNames(); }), Q7_ERROR_NO_SUCH_TABLE);
  // Only the resolution of the tables: the join's own completion would name the columns again.
  j->TJoinTableBase::LoadComplete(db_.get());
}

TEST_F(JoinModel, GenFilterNameRefusesBadSeedsAndOverlongNames) {
  const int master = AddTable("M", 2);
  const int slave = AddTable("S", 2);
  TJoinTable* j = Join(AddJoin(master, AddIntFilter(Real(master), "k", {1, 2}), slave,
                               AddIntFilter(Real(slave), "k", {2, 1})));
  ASSERT_EQ(j->AssignJoinFilterNames(), 0);
  DrainRing();
  char out[256];
  char empty[] = "";
  EXPECT_EQ(j->GenFilterName(empty, out), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(TakeRing(), "GenFilterName|Invalid Parameter : SeedName()");
  char seed[] = "a b";
  EXPECT_EQ(j->GenFilterName(seed, out), 0);
  EXPECT_STREQ(out, "a_b");
  char taken[] = "k_#7";  // cut at "_#": the seed is "k", taken by columns 1 and 2
  EXPECT_EQ(j->GenFilterName(taken, out), 0);
  EXPECT_STREQ(out, "k_#2");
  // A taken 255-byte name needs a suffix that no longer fits.
  std::string long_name(255, 'a');
  memcpy(j->GetJoinFilterName(1), long_name.c_str(), 256);
  EXPECT_EQ(j->GenFilterName(long_name.data(), out), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(TakeRing().rfind("GenFilterName|Invalid Parameter : GenName(aaaa", 0), 0u);
}

TEST_F(JoinModel, LoadCompleteResolvesJoinSources) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 2);
  const int join = AddJoin(master, AddIntFilter(Real(master), "k", {1, 2, 3}), slave,
                           AddIntFilter(Real(slave), "k", {2, 3}));
  auto* j = static_cast<TJoinTable*>(db_->GetTable(join));
  j->FMasterTable = nullptr;
  j->FSlaveTable = nullptr;
  db_->LoadComplete(0);
  EXPECT_EQ(j->FMasterTable, Real(master));
  EXPECT_EQ(j->FSlaveTable, Real(slave));
}

}  // namespace
