// The saved flags as a host relies on them: it saves only when they say something changed, so every
// exported call that changes a table, a filter or the database clears the tables flag, every call
// that changes a set clears the sets flag, whichever road inside the engine the call takes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;

constexpr int kTablesFlag = 1;
constexpr int kSetsFlag = 2;
constexpr int kAllFlags = 0;  // the settings flag has no reader of its own: all three together

const char* Bytes(const int32_t* value) { return reinterpret_cast<const char*>(value); }

struct FlagCase {
  const char* what;
  int flag;  // which flag the call clears
  std::function<int()> call;
  std::function<void()> prepare = [] {};
};

class SavedFlagsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  void TearDown() override {
    RQ7SummaryClose(0);
    RQ7ClearDB();
  }

  // m (id, v, name, amount) joined with s (id, w) on id as j; spare (k, k2) stands alone.
  void Build() {
    ASSERT_EQ(RQ7ClearDB(), 0);
    m_ = q7host::AddTable("m", 3);
    ASSERT_GT(q7host::AddIntColumn(m_, "id", {1, 2, 3}), 0);
    ASSERT_GT(q7host::AddIntColumn(m_, "v", {10, 20, 30}), 0);
    ASSERT_GT(q7host::AddStringColumn(m_, "name", {"a", "b", "c"}), 0);
    ASSERT_GT(q7host::AddDecimalColumn(m_, "amount",
                                       {q7host::Decimal(1), q7host::Decimal(2), q7host::Decimal(3)}, 2),
              0);
    s_ = q7host::AddTable("s", 3);
    ASSERT_GT(q7host::AddIntColumn(s_, "id", {2, 3, 4}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(s_, "w", {0.5, 1.5, 2.5}), 0);
    const int keys[] = {1, -1};
    j_ = RQ7AddJoinTable("j", 0, m_, 1, keys, s_, 1, keys);
    ASSERT_GT(j_, 0);
    spare_ = q7host::AddTable("spare", 4);
    ASSERT_GT(q7host::AddIntColumn(spare_, "k", {4, 3, 2, 1}), 0);
    ASSERT_GT(q7host::AddIntColumn(spare_, "k2", {1, 2, 3, 4}), 0);
    DrainRing();
  }

  // Handle 0 (closed first: the previous case's database is gone) executed over m's id with the
  // measure v; with `out_table`, its COUNT written into a new table whose ID lands there.
  void OpenSummary(int* out_table = nullptr) {
    RQ7SummaryClose(0);
    _TDimensionDef def{};
    def.column_id = 1;
    ASSERT_EQ(Q7SummaryOpen(0, m_, 1, 1, &def, 2), 0);
    int computed = 0;
    ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
    if (out_table != nullptr) {
      *out_table = RQ7SummaryIntoRealTable2(0, 1, 0);
      ASSERT_GT(*out_table, 0);
    }
  }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_.File(name)) << text; }

  q7host::TempDir dir_;
  int m_ = 0;
  int s_ = 0;
  int j_ = 0;
  int spare_ = 0;
};

TEST_F(SavedFlagsTest, EveryChangeClearsItsFlag) {
  const int ids[] = {1, 2, -1};
  const int keys[] = {1, -1};
  const int dirs[] = {Q7_SORT_DESCENDING, Q7_SORT_ASCENDING};
  int32_t two[] = {7, 8};
  int32_t seven = 7;
  // Search bounds are the filter's own binary values.
  const int32_t two_key = 2;
  const int32_t three_key = 3;
  const int32_t rows[] = {1, 3};
  char message[512];
  unsigned char block[64] = {1};
  int out_table = 0;
  int out_set = 0;
  int added_set = 0;
  int added_filter = 0;
  std::vector<char> image(1 << 16);
  unsigned long image_size = 0;
  const int measures[] = {2};
  const int masks[] = {1};
  const NumericInfo info{3, Q7_ROUND_DOWN};
  const std::string dir = dir_.path();

  const FlagCase cases[] = {
      // Tables and the database.
      {"RQ7AddRealTable", kTablesFlag, [] { return RQ7AddRealTable("x", 3); }},
      {"RQ7AddJoinTable", kTablesFlag, [&] { return RQ7AddJoinTable("j2", 0, m_, 1, keys, s_, 1, keys); }},
      {"Q7AddJoinTable", kTablesFlag, [&] { return Q7AddJoinTable("j2", 1, m_, 1, keys, s_, 1, keys); }},
      {"RQ7ConvertJoinToReal", kTablesFlag, [&] { return RQ7ConvertJoinToReal("r", j_, 1, 1, 1, ids, 0); }},
      {"RQ7DuplicateRealTable", kTablesFlag, [&] { return RQ7DuplicateRealTable("d", m_); }},
      {"RQ7ExtractRealTable", kTablesFlag, [&] { return RQ7ExtractRealTable("e", m_, 1, ids); }},
      {"RQ7ExtractRealTableEx", kTablesFlag, [&] { return RQ7ExtractRealTableEx("e", m_, 1, 1, 1, ids); }},
      {"RQ7CombineRealTable", kTablesFlag, [&] { return RQ7CombineRealTable("c", m_, 1, ids, m_, 1, ids); }},
      {"RQ7CondenseRealTable", kTablesFlag, [&] { return RQ7CondenseRealTable(spare_); }},
      {"RQ7DeleteTable", kTablesFlag, [&] { return RQ7DeleteTable(spare_); }},
      {"RQ7SetTableName", kTablesFlag, [&] { return RQ7SetTableName(spare_, "renamed"); }},
      {"RQ7ExtractUniqueReal", kSetsFlag, [&] { return RQ7ExtractUniqueReal(0, m_, 1, ids, 1); }},
      {"RQ7SummaryIntoRealTable", kTablesFlag, [] { return RQ7SummaryIntoRealTable(0, 0); },
       [&] { OpenSummary(); }},
      {"RQ7SummaryIntoRealTable2", kTablesFlag, [] { return RQ7SummaryIntoRealTable2(0, 9, 1); },
       [&] { OpenSummary(); }},
      {"Q7SummaryIntoRealTable", kTablesFlag, [] { return Q7SummaryIntoRealTable(0, 31, 0); },
       [&] { OpenSummary(); }},
      {"RQ7AppendSummaryToRealTable", kTablesFlag,
       [&] { return RQ7AppendSummaryToRealTable(0, out_table, 8, 0); }, [&] { OpenSummary(&out_table); }},
      {"RQ7NonCubeSum", kTablesFlag,
       [&] { return RQ7NonCubeSum(m_, 1, 1, keys, 1, measures, masks, nullptr); }},
      {"RQ7LoadRealTable", kTablesFlag, [&] { return RQ7LoadRealTable(dir.c_str(), "spare"); },
       [&] { ASSERT_EQ(RQ7SaveRealTableAs(dir.c_str(), "spare", spare_), 0); }},
      {"RQ7LoadMemRealTable", kTablesFlag, [&] { return RQ7LoadMemRealTable(image.data(), image_size); },
       [&] {
         void* end = nullptr;
         ASSERT_EQ(RQ7SaveRealTable2Mem(spare_, image.data(), image.size(), &end), 0);
         image_size = static_cast<unsigned long>(static_cast<char*>(end) - image.data());
       }},
      {"RQ7AddCatalogFile", kTablesFlag, [&] { return RQ7AddCatalogFile(dir.c_str(), "c.cat"); },
       [&] {
         Write("c.cat", "//CSV\nI\t4\tK\n");
         Write("SrcData.dat", "1\n2\n");
       }},
      {"RQ7AppendCatalogFile, parallel", kTablesFlag,
       [&] { return RQ7AppendCatalogFile(spare_, -1, -1, dir.c_str(), "c.cat"); },
       [&] {
         Write("c.cat", "//CSV\nI\t4\tK\nI\t4\tK2\n");
         Write("SrcData.dat", "1,2\n3,4\n");
       }},
      {"RQ7AppendCatalogFile, single thread", kTablesFlag,
       [&] { return RQ7AppendCatalogFile(spare_, -1, 2, dir.c_str(), "c.cat"); },
       [&] {
         Write("c.cat", "//CSV\nI\t4\tK\nI\t4\tK2\n");
         Write("SrcData.dat", "1,2\n3,4\n");
       }},
      // Filters and values.
      {"RQ7MoveSlaveFlt2Master", kTablesFlag, [&] { return RQ7MoveSlaveFlt2Master(j_, 2); }},
      {"RQ7DeleteRealFilter", kTablesFlag, [&] { return RQ7DeleteRealFilter(spare_, 1); }},
      {"RQ7MoveRealFilter", kTablesFlag, [&] { return RQ7MoveRealFilter(spare_, 1, 2); }},
      {"RQ7DupRealFilter", kTablesFlag, [&] { return RQ7DupRealFilter(spare_, 1); }},
      {"RQ7DupRealFilterEx", kTablesFlag, [&] { return RQ7DupRealFilterEx(spare_, 1, Q7_TYPE_DOUBLE); }},
      {"RQ7DupRealFilterExNumeric", kTablesFlag, [&] { return RQ7DupRealFilterExNumeric(spare_, 1, 2, 4); }},
      {"RQ7AddRealFilter2", kTablesFlag,
       [&] { return RQ7AddRealFilter2(spare_, 1024, "n", Q7_TYPE_INTEGER, 4, 0, "", ""); }},
      {"RQ7AddRealFilter2Numeric", kTablesFlag,
       [&] { return RQ7AddRealFilter2Numeric(spare_, 1024, "n", 4, 2, 4, "", ""); }},
      {"RQ7SetFilterName", kTablesFlag, [&] { return RQ7SetFilterName(spare_, 1, "vv"); }},
      {"RQ7SetFilterAttr", kTablesFlag, [&] { return RQ7SetFilterAttr(m_, 2, block); }},
      {"RQ7SetSumFilterAttr", kTablesFlag,
       [&] { return RQ7SetSumFilterAttr(m_, 2, reinterpret_cast<const char*>(block)); }},
      {"RQ7SetNumericInfo", kTablesFlag,
       [&] { return RQ7SetNumericInfo(spare_, added_filter, &info, false); },
       [&] { added_filter = RQ7AddRealFilter2Numeric(spare_, 1024, "d", 4, 2, 4, "", ""); }},
      {"RQ7CalcReal", kTablesFlag, [&] { return RQ7CalcReal(spare_, 1, 1, 1, 2, "@k*2", message); }},
      {"RQ7CalcReal, function call", kTablesFlag,
       [&] { return RQ7CalcReal(spare_, 1, 1, 1, 2, "*(@k,2)", message); }},
      {"RQ7DeleteRealRows", kTablesFlag, [&] { return RQ7DeleteRealRows(spare_, 1, 1); }},
      {"RQ7DeleteRealRowsEx", kTablesFlag, [&] { return RQ7DeleteRealRowsEx(spare_, 1, 1, 1); }},
      {"RQ7InsertRealRows", kTablesFlag, [&] { return RQ7InsertRealRows(spare_, 1, 1); }},
      {"RQ7FillRealEx", kTablesFlag, [&] { return RQ7FillRealEx(spare_, 1, 1, 1, 2, &seven); }},
      {"RQ7OverwriteRealEx", kTablesFlag, [&] { return RQ7OverwriteRealEx(spare_, 1, 1, 1, 2, two); }},
      {"RQ7OverwriteRealExIntR1", kTablesFlag, [&] { return RQ7OverwriteRealExIntR1(spare_, 1, 1, 1, 5); }},
      {"RQ7FillRealExIntR1", kTablesFlag, [&] { return RQ7FillRealExIntR1(spare_, 1, 1, 1, 2, 5); }},
      // Sets.
      {"RQ7SearchByField", kSetsFlag,
       [&] { return RQ7SearchByField(m_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&two_key), nullptr); }},
      {"RQ7SearchByField, join", kSetsFlag,
       [&] { return RQ7SearchByField(j_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&three_key), nullptr); }},
      {"RQ7SearchByFieldNValues", kSetsFlag, [&] { return RQ7SearchByFieldNValues(m_, 1, 1, 2, rows); }},
      {"RQ7SortByField", kSetsFlag, [&] { return RQ7SortByField(m_, 1, 1, Q7_SORT_DESCENDING); }},
      {"RQ7SortByRowNo", kSetsFlag, [&] { return RQ7SortByRowNo(m_, 0, 1, Q7_SORT_DESCENDING); }},
      {"RQ7IntegratedSortByField", kSetsFlag, [&] { return RQ7IntegratedSortByField(m_, 1, ids, dirs); }},
      {"RQ7AddSetReal", kSetsFlag, [&] { return RQ7AddSetReal(m_, 2, rows); }},
      {"RQ7DeleteSet", kSetsFlag, [&] { return RQ7DeleteSet(m_, added_set); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"RQ7PurgeSubsets", kSetsFlag, [&] { return RQ7PurgeSubsets(m_); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"RQ7SetNotReal", kSetsFlag, [&] { return RQ7SetNotReal(m_, 1); }},
      {"RQ7SetOpeReal", kSetsFlag, [&] { return RQ7SetOpeReal(m_, Q7_SET_AND, 1, 1); }},
      {"RQ7SetSetName", kSetsFlag, [&] { return RQ7SetSetName(m_, 1, "all"); }},
      {"RQ7SetSubsetAttr", kSetsFlag, [&] { return RQ7SetSubsetAttr(m_, 1, block); }},
      {"RQ7PutJoinSetToParent", kSetsFlag,
       [&] { return RQ7PutJoinSetToParent(j_, 0, 0, &out_table, &out_set); }},
      {"RQ7ReturnSet2SlaveTable", kSetsFlag, [&] { return RQ7ReturnSet2SlaveTable(j_, &out_table); },
       [&] { ASSERT_GT(RQ7SearchByField(j_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&three_key), nullptr), 0); }},
      {"RQ7ChangeCurrentSetID", kAllFlags, [&] { return RQ7ChangeCurrentSetID(m_, added_set); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.what);
    Build();
    c.prepare();
    ASSERT_EQ(RQ7SetSavedFlag(1), 1);
    const int result = c.call();
    EXPECT_GE(result, 0);
    if (result < 0) {
      for (const auto& e : DrainRing()) ADD_FAILURE() << e;
      continue;
    }
    EXPECT_EQ(RQ7GetSavedFlag(c.flag), 0);
    EXPECT_EQ(RQ7GetSavedFlag(kAllFlags), 0);
    DrainRing();
  }
}

// Reading leaves every flag as it was.
TEST_F(SavedFlagsTest, ReadsLeaveTheFlags) {
  Build();
  ASSERT_EQ(RQ7SetSavedFlag(1), 1);
  char name[256];
  EXPECT_EQ(RQ7GetFilterName(j_, 3, name), 0);
  int count = 0;
  _TRFilterInfo infos[8];
  char attributes[8][64];
  EXPECT_EQ(RQ7GetAllFilterInfo(m_, 8, &count, infos, attributes), 0);
  EXPECT_EQ(RQ7GetTotalRows(j_), 2);
  EXPECT_EQ(RQ7GetSavedFlag(kAllFlags), 1);
}

}  // namespace
