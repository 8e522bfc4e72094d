// The table collection: table IDs, the table limit, names, renaming and the join-chain limit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "table_test_support.h"
#include "values/CompileSettings.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

using ttest::TableTest;

class CollectionTest : public TableTest {};

// Read during static initialisation, before any test can have set it.
const int kJoinChainAtLoad = TTableCollection::m_nMaxJoinChain;

TEST_F(CollectionTest, JoinChainLimitIs16AtLoadAndFallsBackTo510) {
  EXPECT_EQ(kJoinChainAtLoad, 16);
  const int saved = TTableCollection::m_nMaxJoinChain;
  struct Case {
    int length, result, kept;
  };
  const Case cases[] = {{100, 0, 100},
                        {16, 0, 16},
                        {15, Q7_ERROR_INVALID_PARAMETER, 510},
                        {510, 0, 510},
                        {17, 0, 17},
                        {511, Q7_ERROR_INVALID_PARAMETER, 510},
                        {-1, Q7_ERROR_INVALID_PARAMETER, 510}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(TTableCollection::SetMaxJoinChain(c.length), c.result);
    EXPECT_EQ(TTableCollection::m_nMaxJoinChain, c.kept);
    const std::string want =
        c.result == 0 ? ""
                      : "SetMaxJoinChain|Invalid Parameter : MaxJoinChain(" + std::to_string(c.length) + ")";
    EXPECT_EQ(TakeRing(), want);
  }
  TTableCollection::m_nMaxJoinChain = saved;
}

TEST_F(CollectionTest, EmptyCollectionFindsNothing) {
  EXPECT_EQ(db_->GetTable(1), nullptr);
  EXPECT_EQ(TakeRing(), "GetTable|No Such Table: 1");
  EXPECT_EQ(db_->ID2Loc(1), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(db_->Name2Loc("T"), Q7_ERROR_NO_SUCH_TABLE);
  int ids[1];
  EXPECT_EQ(db_->GetTableIDList(ids), 0);
  char name[] = "T";
  EXPECT_EQ(db_->GetTableIDFromName(name), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(TakeRing(), "GetTableIDFromName|No Table");
}

TEST_F(CollectionTest, TableIDsStayAscendingAndAreNeverReused) {
  // IDs 3, 5 and 8: the others are issued and deleted on the way.
  std::vector<int> kept;
  for (int i = 1; i <= 8; ++i) {
    const int id = AddTable("T" + std::to_string(i), 2);
    ASSERT_EQ(id, i);
    if (i != 3 && i != 5 && i != 8) {
      ASSERT_EQ(db_->DelTable(id), 0);
    }
  }
  ASSERT_EQ(db_->DelTable(5), 0);
  EXPECT_EQ(db_->ID2Loc(3), 0);
  EXPECT_EQ(db_->ID2Loc(8), 1);
  ASSERT_EQ(db_->DelTable(8), 0);
  EXPECT_EQ(AddTable("again", 1), 9);
  int ids[4];
  ASSERT_EQ(db_->GetTableIDList(ids), 2);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], 9);
  EXPECT_EQ(db_->DelTable(8), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing().back(), "DelTable|No Such Table: 8");
}

TEST_F(CollectionTest, TenThousandTablesThenOverflow) {
  for (int i = 0; i < TTableCollection::kMaxTables; ++i) {
    char name[16];
    snprintf(name, sizeof name, "t%d", i);
    ASSERT_GT(db_->AddRealTable(name, 0), 0);
  }
  char name[] = "one more";
  EXPECT_EQ(db_->AddRealTable(name, 0), Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddRealTable|TableCount overflow");
  EXPECT_EQ(db_->FTblIDIssued, TTableCollection::kMaxTables);
}

TEST_F(CollectionTest, AddRealTableRefusals) {
  char name[] = "T";
  EXPECT_EQ(db_->AddRealTable(name, -1), Q7_ERROR_ROW_SIZE_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddRealTable|Invalid Parameter : RowCount(-1)");
  char empty[] = "";
  EXPECT_EQ(db_->AddRealTable(empty, 1), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(TakeRing(), "AddRealTable|Invalid Parameter : TblName()");
  EXPECT_EQ(db_->TableCount(), 0);
  // The name is made file-safe in the caller's buffer.
  char spaced[] = "a b";
  const int id = db_->AddRealTable(spaced, 3);
  EXPECT_STREQ(spaced, "a_b");
  EXPECT_STREQ(db_->GetTable(id)->FTableName, "a_b");
  EXPECT_EQ(db_->GetTable(id)->TotalRecs(), 3);
}

struct GenCase {
  std::vector<std::string> existing;
  const char* seed;
  int keep_sharp;
  const char* want;
};

TEST_F(CollectionTest, GenTableNameMakesNamesUnique) {
  const GenCase cases[] = {
      {{"T", "T_#1"}, "T", 0, "T_#2"},  {{}, "T_#7", 0, "T"},
      {{"T"}, "T_#7", 0, "T_#1"},       {{}, "T_#7", 1, "T_#7"},
      {{"T_#7"}, "T_#7", 1, "T_#7_#1"}, {{}, "a b", 0, "a_b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seed);
    db_ = std::make_unique<TTableCollection>();
    TTableCollection::m_nDisableTrimUntilSharp = 1;  // keep the fixture names as written
    for (const auto& n : c.existing) AddTable(n, 0);
    TTableCollection::m_nDisableTrimUntilSharp = c.keep_sharp;
    char out[256];
    EXPECT_EQ(db_->GenTableName(c.seed, out), 0);
    EXPECT_STREQ(out, c.want);
    TTableCollection::m_nDisableTrimUntilSharp = 0;
  }
}

TEST_F(CollectionTest, NamesOf255BytesPassAnd256AreRefused) {
  std::string ok(255, 'n');
  std::string too_long(256, 'n');
  const int id = AddTable(ok, 1);
  EXPECT_EQ(db_->GetTable(id)->FTableName, ok);
  std::vector<char> buf(too_long.begin(), too_long.end());
  buf.push_back('\0');
  EXPECT_EQ(db_->AddRealTable(buf.data(), 1), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(db_->SetTableName(id, too_long.c_str()), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(db_->CheckTableName(too_long.c_str()), Q7_ERROR_ILLEGAL_TABLE_NAME);
  const auto ring = DrainRing();
  ASSERT_EQ(ring.size(), 3u);
  EXPECT_EQ(ring[1], "SetTableName|Invalid Parameter : TableName len(256)");
  EXPECT_EQ(ring[2].substr(0, 36), "CheckTableName|Illegal table name  :");
  // A name in use passes (it would be made unique), unless it is too long for a suffix.
  AddTable("short", 1);
  EXPECT_EQ(db_->CheckTableName("short"), 0);
  EXPECT_EQ(db_->CheckTableName(ok.c_str()), Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(TakeRing(), "GenTableName|Failed to get tablename");
}

TEST_F(CollectionTest, RenamingKeepsOwnNameAndSuffixesAnothers) {
  const int a = AddTable("A", 1);
  const int b = AddTable("B", 1);
  EXPECT_EQ(db_->SetTableName(a, "A"), 0);
  EXPECT_STREQ(db_->GetTable(a)->FTableName, "A");
  EXPECT_EQ(db_->SetTableName(b, "A"), 0);
  EXPECT_STREQ(db_->GetTable(b)->FTableName, "A_#1");
  EXPECT_EQ(db_->SetTableName(42, "C"), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing().back(), "SetTableName|No Such Table: 42 ");
}

TEST_F(CollectionTest, TablesSharingAValueListDependOnTheEarlierOne) {
  const int source = AddTable("src", 3);
  const int user = AddTable("user", 3);
  TFilter* f = Real(source)->GetFilter(AddIntFilter(Real(source), "v", {5, 6, 5}));
  char name[] = "shared";
  ASSERT_GT(
      Real(user)->AddFilter(1024, name, static_cast<TIntArray*>(f->PV->CopyArray()), f->VL, true, 0, -1), 0);
  int ids[4];
  EXPECT_EQ(db_->ReferedIDList(source, ids), 1);
  EXPECT_EQ(ids[0], user);
  EXPECT_EQ(db_->ReferedIDList(user, ids), 0);  // only later tables count
  EXPECT_EQ(db_->DelTable(source), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(db_->DelTable(user), 0);
  EXPECT_EQ(db_->DelTable(source), 0);
}

TEST_F(CollectionTest, NumericUsedCheckFindsDecimalFilters) {
  const int plain = AddTable("plain", 2);
  const int money = AddTable("money", 2);
  AddIntFilter(Real(plain), "n", {1, 2});
  EXPECT_FALSE(db_->NumericUsedCheck(0));
  char name[] = "amount";
  ASSERT_GT(Real(money)->AddEmptyFilter(1024, name, Q7_TYPE_DECIMAL, 0, -1), 0);
  EXPECT_TRUE(db_->NumericUsedCheck(0));
  EXPECT_TRUE(db_->NumericUsedCheck(money));
  EXPECT_FALSE(db_->NumericUsedCheck(plain));
  EXPECT_FALSE(db_->NumericUsedCheck(77));
}

TEST_F(CollectionTest, MemorySizeCountsEveryTable) {
  const int64_t empty = db_->GetTotalMemorySize();
  const int id = AddTable("T", 1000);
  EXPECT_EQ(db_->GetTotalMemorySize(), empty + db_->GetTable(id)->GetMemSize());
  EXPECT_GE(db_->GetTable(id)->GetMemSize(), static_cast<int64_t>(sizeof(TRealTable) + 1000 * sizeof(int)));
}

TEST(CollectionSettings, CutLastSpaceIsTheCompilersFlag) {
  EXPECT_EQ(&TTableCollection::m_nCutLastSpace, &g_cut_last_space);
}

TEST(CollectionSettings, EngineHoldsAnEmptyCollectionAndReInitializeReplacesIt) {
  CSmpEngine* engine = CSmpEngine::Instance();
  ASSERT_NE(engine->Database(), nullptr);
  char name[] = "T";
  ASSERT_GT(engine->Database()->AddRealTable(name, 1), 0);
  engine->ReInitialize();
  ASSERT_NE(engine->Database(), nullptr);
  EXPECT_EQ(engine->Database()->TableCount(), 0);
  EXPECT_EQ(engine->Database()->FTblIDIssued, 0);
}

}  // namespace
