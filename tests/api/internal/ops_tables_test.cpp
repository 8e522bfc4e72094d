// Table operations of the operation layer: the refusal rule (codes returned, ring entries left), the
// name checks and generated names, the interface record, the saved flag, and table files.
#include "api/ops/ops_tables.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_names.h"
#include "opsets_support.h"
#include "tests/support/test_support.h"

namespace {

using opsets_test::Entry;

class TableOps : public opsets_test::OpTest {};

TEST_F(TableOps, AddRealTableNameLimitAndGeneratedName) {
  const std::string longest(255, 'n');
  const std::string too_long(256, 'n');
  EXPECT_GT(innerQ7AddRealTable(longest.c_str(), 3), 0);
  EXPECT_EQ(innerQ7AddRealTable(too_long.c_str(), 3), Q7_ERROR_ILLEGAL_TABLE_NAME);
  const std::vector<Entry> want = {{"Q7AddRealTable", Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename"}};
  EXPECT_EQ(Drain(), want);

  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    const int id = innerQ7AddRealTable(name, 2);
    ASSERT_GT(id, 0);
    char out[256];
    ASSERT_EQ(innerQ7GetTableName(id, out), 0);
    // The collection makes the second one unique.
    EXPECT_TRUE(q7test::FullMatch(out, "realtbl20[0-9]{12}_1(_#1)?")) << out;
  }
}

TEST_F(TableOps, AddRealTableLeavesTheHostTextAndClearsTheTablesFlag) {
  const char host[] = "a b";
  const int id = innerQ7AddRealTable(host, 4);
  ASSERT_GT(id, 0);
  EXPECT_STREQ(host, "a b");
  EXPECT_STREQ(db()->GetTable(id)->FTableName, "a_b");
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(2), 1);

  EXPECT_EQ(innerQ7AddRealTable("neg", -1), Q7_ERROR_ROW_SIZE_OVERFLOW);
  const auto mine = DrainFor("Q7AddRealTable");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], (Entry{"Q7AddRealTable", Q7_ERROR_ROW_SIZE_OVERFLOW,
                            "Failed to add realtable ( AddRealTable module )"}));
}

TEST_F(TableOps, MissingTableIsRecordedUnderTheOperationName) {
  char name[256];
  _TTableInfo info;
  int* ids = nullptr;
  struct Case {
    const char* ring;
    int result;
    const char* message;
  };
  const Case cases[] = {
      {"Q7GetTableName", innerQ7GetTableName(99, name), "No Such Table: 99 "},
      {"Q7GetTableProperty", innerQ7GetTableProperty(99, &info), "No Such Table: 99 "},
      {"Q7SetTableName", innerQ7SetTableName(99, "x"), "No Such Table: 99"},
      {"Q7TableCanEdit", innerQ7TableCanEdit(99, &ids), "No Such Table: 99"},
  };
  const auto entries = Drain();
  ASSERT_EQ(entries.size(), 2 * std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].ring);
    EXPECT_EQ(cases[i].result, Q7_ERROR_NO_SUCH_TABLE);
    // The collection's own lookup entry, then the operation's.
    EXPECT_EQ(entries[2 * i], (Entry{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}));
    EXPECT_EQ(entries[2 * i + 1], (Entry{cases[i].ring, Q7_ERROR_NO_SUCH_TABLE, cases[i].message}));
  }
}

TEST_F(TableOps, TablePropertyRecordLayout) {
  const int id = IntTable({4, 5, 6}, nullptr, "Prop");
  AddSet(id, {1, 3});
  _TTableInfo info;
  memset(&info, 0x77, sizeof info);
  ASSERT_EQ(innerQ7GetTableProperty(id, &info), 0);
  int32_t words[5];
  memcpy(words, &info, sizeof words);
  EXPECT_EQ(words[0], id);
  EXPECT_EQ(words[1], 0);  // real
  EXPECT_EQ(words[2], 1);  // one filter
  EXPECT_EQ(words[3], 2);  // set 1 and the new one
  EXPECT_EQ(words[4], 3);  // rows
  EXPECT_STREQ(reinterpret_cast<const char*>(&info) + 20, "Prop");
  EXPECT_EQ(innerQ7GetTableProperty(id, nullptr), Q7_ERROR_INVALID_PARAMETER);
}

TEST_F(TableOps, DeleteTableReferredToKeepsTheFlag) {
  const int master = IntTable({1, 2});
  const int slave = IntTable({2, 3}, nullptr, "S");
  const int join = Join(master, slave);
  EXPECT_EQ(innerQ7DeleteTable(master), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 1);
  auto mine = DrainFor("Q7DeleteTable");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], (Entry{"Q7DeleteTable", Q7_ERROR_NOT_EDITABLE, "may be reffered by other table!"}));

  EXPECT_EQ(innerQ7DeleteTable(77), Q7_ERROR_NO_SUCH_TABLE);
  mine = DrainFor("Q7DeleteTable");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], (Entry{"Q7DeleteTable", Q7_ERROR_NO_SUCH_TABLE, "table not exist"}));

  EXPECT_EQ(innerQ7DeleteTable(join), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);
  EXPECT_EQ(innerQ7DeleteTable(master), 0);
  EXPECT_EQ(innerQ7GetNTable(), 1);
}

TEST_F(TableOps, TableCanEdit) {
  const int master = IntTable({1, 2});
  const int slave = IntTable({2, 3}, nullptr, "S");
  int* ids = nullptr;
  EXPECT_EQ(innerQ7TableCanEdit(master, &ids), 0);
  EXPECT_NE(ids, nullptr);
  const int join = Join(master, slave);
  ids = nullptr;
  EXPECT_EQ(innerQ7TableCanEdit(master, &ids), 1);
  ASSERT_NE(ids, nullptr);
  EXPECT_EQ(ids[0], join);

  Drain();
  EXPECT_EQ(innerQ7TableCanEdit(join, &ids), Q7_ERROR_NOT_REAL_TABLE);
  const std::vector<Entry> want = {
      {"Q7TableCanEdit", Q7_ERROR_NO_SUCH_TABLE, "Illegal table type ( Not REAL )"}};
  EXPECT_EQ(Drain(), want);
}

TEST_F(TableOps, SharedTablesAreRefused) {
  const int id = IntTable({1, 2});
  db()->GetTable(id)->FShmImage = 1;
  int* ids = nullptr;
  EXPECT_EQ(innerQ7TableCanEdit(id, &ids), Q7_ERROR_SHARED_READ_ONLY);
  EXPECT_TRUE(Drain().empty());
  EXPECT_EQ(innerQ7SetTableName(id, "other"), Q7_ERROR_SHARED_READ_ONLY);
  const std::vector<Entry> want = {
      {"Q7SetTableName", Q7_ERROR_SHARED_READ_ONLY, "Invalid Shared memory read Oparation"}};
  EXPECT_EQ(Drain(), want);
  db()->GetTable(id)->FShmImage = 0;
}

TEST_F(TableOps, SetTableNamePassesTheCollectionOnAndClearsTheFlag) {
  const int a = Table(1, "A");
  Table(1, "B");
  EXPECT_EQ(innerQ7SetTableName(a, "B"), 0);
  char name[256];
  ASSERT_EQ(innerQ7GetTableName(a, name), 0);
  EXPECT_STREQ(name, "B_#1");
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);  // a renamed table is a change a save must keep
  // The collection's refusal comes back as it is, recorded only by the collection.
  const std::string too_long(256, 'x');
  EXPECT_EQ(innerQ7SetTableName(a, too_long.c_str()), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_TRUE(DrainFor("Q7SetTableName").empty());
}

TEST_F(TableOps, SaveAndLoadATableFile) {
  char pattern[] = "/tmp/q7optblXXXXXX";
  const std::string dir = mkdtemp(pattern);
  int filter = 0;
  const int id = IntTable({7, 8, 9}, &filter, "Keep");
  db()->FUseSavedHeader = 1;
  ASSERT_EQ(innerQ7SaveRealTable(dir.c_str(), id), 0);
  EXPECT_EQ(db()->FUseSavedHeader, 0);
  ASSERT_EQ(innerQ7SaveRealTableAs(dir.c_str(), "Copy", id), 0);
  EXPECT_TRUE(std::filesystem::exists(dir + "/Keep.Q7T"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/Copy.Q7T"));

  const int loaded = innerQ7LoadRealTable(dir.c_str(), "Copy");
  ASSERT_GT(loaded, id);
  EXPECT_EQ(db()->GetTable(loaded)->TotalRecs(), 3);
  EXPECT_EQ(innerQ7LoadRealTable(dir.c_str(), "Nothing"), Q7_ERROR_ILLEGAL_FILE_NAME);

  EXPECT_EQ(innerQ7SaveRealTable(dir.c_str(), 99), Q7_ERROR_NO_SUCH_TABLE);
  const auto mine = DrainFor("Q7SaveRealTable");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].message, "Failed to save realtable ( SaveRealTable module )");
  std::filesystem::remove_all(dir);
}

TEST_F(TableOps, CondenseRealTable) {
  int filter = 0;
  const int table = IntTable({10, 20, 30}, &filter);
  TFilter* f = Real(table)->GetFilter(filter);
  // Record 3 takes record 1's value: the entry of 30 is no longer used.
  f->PV->PutInt(3, f->PV->GetInt(1));
  const int before = f->VL->FArraySize;
  ASSERT_EQ(innerQ7CondenseRealTable(table), 0);
  EXPECT_EQ(Real(table)->GetFilter(filter)->VL->FArraySize, before - 1);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);

  innerQ7SetSavedFlag(1);
  const int slave = IntTable({1}, nullptr, "S");
  const int join = Join(table, slave);
  Drain();
  EXPECT_EQ(innerQ7CondenseRealTable(table), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(innerQ7CondenseRealTable(join), Q7_ERROR_NOT_REAL_TABLE);
  const std::vector<Entry> want = {
      {"Q7CondenseRealTable", Q7_ERROR_NO_SUCH_TABLE, "Not Editable: " + std::to_string(table)},
      {"Q7TableCanEdit", Q7_ERROR_NO_SUCH_TABLE, "Illegal table type ( Not REAL )"},
      {"Q7CondenseRealTable", Q7_ERROR_NOT_REAL_TABLE, ""},
  };
  EXPECT_EQ(Drain(), want);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 1);
}

TEST_F(TableOps, JoinInfo) {
  const int master = IntTable({1, 2}, nullptr, "M");
  const int slave = IntTable({2, 3}, nullptr, "S");
  const int join = Join(master, slave);
  char name[256];
  int mt = 0, ms = 0, mk = 0, st = 0, ss = 0, sk = 0;
  EXPECT_EQ(innerQ7GetJoinInfo(join, name, &mt, &ms, &mk, &st, &ss, &sk), 0);
  EXPECT_STREQ(name, "J");
  EXPECT_EQ(mt, master);
  EXPECT_EQ(st, slave);
  EXPECT_EQ(mk, 1);
  EXPECT_EQ(sk, 1);

  char* join_name = nullptr;
  int outer = -1, keys = 0, master_keys[32] = {}, slave_keys[32] = {};
  EXPECT_EQ(
      innerQ7GetJoinInfoEx(join, &join_name, &outer, &keys, &mt, &ms, master_keys, &st, &ss, slave_keys), 0);
  ASSERT_NE(join_name, nullptr);
  EXPECT_STREQ(join_name, "J");
  EXPECT_EQ(outer, 0);
  EXPECT_EQ(keys, 1);
  EXPECT_EQ(master_keys[0], 1);
  EXPECT_EQ(slave_keys[0], 1);

  Drain();
  EXPECT_EQ(innerQ7GetJoinInfo(master, name, &mt, &ms, &mk, &st, &ss, &sk), Q7_ERROR_NOT_JOIN_TABLE);
  const std::vector<Entry> want = {
      {"Q7GetJoinInfo", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + std::to_string(master) + " "}};
  EXPECT_EQ(Drain(), want);
}

}  // namespace
