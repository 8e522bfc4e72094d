// The non-cube summary of join sets: both roads against a group-by over the joined rows, the
// output columns' names and attribute blocks, and the corner cases of the pairing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "noncube_join_support.h"
#include "summary/SummaryOutput.h"

namespace {

using ncjoin::Measure;
using ncjoin::NonCubeJoinTest;
using ncjoin::Request;

// The pool's worker count is the threads test's business; here the parallel road runs on one.
class NonCubeJoin : public NonCubeJoinTest {
 protected:
  void SetUp() override {
    NonCubeJoinTest::SetUp();
    CSmpEngine::Instance()->SetWorkerCapForTest(1);
  }
  void TearDown() override { CSmpEngine::Instance()->SetWorkerCapForTest(0); }
};

// 0 to 5 dimensions of every kind from both sides, measures of every type from both sides.
const Request kRequests[] = {
    {{}, {}},
    {{}, {{"s_dec", 31, -1}, {"m_int", 31, 2}}},
    {{"m_int"}, {{"s_dbl", 31, 2}, {"m_str", 7, -1}}},
    {{"s_str", "m_date"}, {{"m_dec", 31, -1}, {"s_int", 31, -1}, {"s_time", 7, 1}}},
    {{"m_dec", "s_int", "m_str"}, {{"s_dbl", 31, -1}, {"m_dbl", 24, 3}}},
    {{"s_dbl", "m_int", "s_dec", "s_time"}, {{"m_dec", 17, -1}, {"s_str", 7, -1}}},
    {{"m_str", "s_str", "m_dbl", "s_int", "m_dec"}, {{"m_int", 16, -1}, {"s_dec", 6, -1}}},
    {{"s_int", "s_str"}, {}},
    {{"m_int", "m_dbl"}, {{"s_dbl", 9, 0}}},
};

TEST_F(NonCubeJoin, BothRoadsEqualAGroupByOverTheJoinedRows) {
  BuildTables(7, 300, 40, 12);
  for (const bool outer : {false, true}) {
    const int join = Join(outer);
    const int sets[] = {1, SearchSet(join, false), SearchSet(join, true)};
    for (const int set : sets) {
      for (size_t i = 0; i < std::size(kRequests); ++i) {
        SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << " set " << set << " request " << i);
        ExpectBothRoads(join, set, kRequests[i]);
      }
    }
  }
}

TEST_F(NonCubeJoin, EveryMeasureMaskOnEitherSide) {
  BuildTables(11, 120, 30, 8);
  for (const bool outer : {false, true}) {
    const int join = Join(outer);
    for (int mask = 1; mask <= 31; ++mask) {
      SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << " mask " << mask);
      ExpectBothRoads(join, 1,
                      {{"m_str", "s_int"}, {{"m_dbl", mask, mask % 3 == 0 ? 2 : -1}, {"s_dec", mask, -1}}});
      if (mask <= 7) ExpectBothRoads(join, 1, {{"s_dbl"}, {{"m_str", mask, -1}, {"s_str", mask, -1}}});
    }
  }
}

// An outer join shows NULL for a side without a partner row. Those joined rows must share the
// output row of the real rows whose dimension is NULL, not get one of their own.
TEST_F(NonCubeJoin, RowsWithoutPartnerShareTheRowOfNullDimensions) {
  master_ = NewTable("M", 2);
  slave_ = NewTable("S", 2);
  int mk[] = {1, 2};
  int m_v[] = {10, 20};
  int sk[] = {1, 1};
  int s_g[] = {INT_MIN, 5};
  AddFilter(master_, "mk", Q7_TYPE_INTEGER, 4, mk);
  AddFilter(master_, "m_v", Q7_TYPE_INTEGER, 4, m_v);
  AddFilter(slave_, "sk", Q7_TYPE_INTEGER, 4, sk);
  AddFilter(slave_, "s_g", Q7_TYPE_INTEGER, 4, s_g);
  const int join = Join(true);
  const Request req{{"s_g"}, {{"m_v", 1 | 8, -1}}};
  for (const bool parallel : {false, true}) {
    SCOPED_TRACE(parallel ? "parallel" : "serial");
    const int out = parallel ? RunParallel(join, 1, req) : RunSerial(join, 1, req);
    ASSERT_GT(out, 0);
    const ncjoin::Table t = ncjoin::ReadTable(Real(out));
    // (10, NULL), (10, 5) and (20, no partner).
    EXPECT_EQ(t.cells,
              (std::vector<std::vector<std::string>>{{"NULL", "i:5"}, {"i:2", "i:1"}, {"d3:30", "d3:10"}}));
  }
}

// Two master rows of one group meet three slave rows of one group: 6 joined rows, each master
// value counted three times and each slave value twice.
TEST_F(NonCubeJoin, ValuesAreWeightedByThePartnerRuns) {
  master_ = NewTable("M", 2);
  slave_ = NewTable("S", 3);
  int mk[] = {1, 1};
  int m_v[] = {10, 20};
  int sk[] = {1, 1, 1};
  int s_v[] = {1, 2, 4};
  AddFilter(master_, "mk", Q7_TYPE_INTEGER, 4, mk);
  AddFilter(master_, "m_v", Q7_TYPE_INTEGER, 4, m_v);
  AddFilter(slave_, "sk", Q7_TYPE_INTEGER, 4, sk);
  AddFilter(slave_, "s_v", Q7_TYPE_INTEGER, 4, s_v);
  const int join = Join(false);
  const Request req{{}, {{"m_v", 1 | 8, -1}, {"s_v", 8 | 16, -1}}};
  for (const bool parallel : {false, true}) {
    SCOPED_TRACE(parallel ? "parallel" : "serial");
    const int out = parallel ? RunParallel(join, 1, req) : RunSerial(join, 1, req);
    ASSERT_GT(out, 0);
    EXPECT_EQ(
        ncjoin::ReadTable(Real(out)).cells,
        (std::vector<std::vector<std::string>>{{"i:6"}, {"d3:90"}, {"d3:14"}, {"d3:2.3333333333333335"}}));
  }
}

// (An outer join's search keeps the other side's rows, so only an inner join's set can be empty.)
TEST_F(NonCubeJoin, AnEmptySetGivesTheColumnsWithoutRows) {
  BuildTables(3, 50, 10, 5);
  {
    const int join = Join(false);
    int absent = 999;
    const int empty =
        JoinOf(join)->SearchByField(ColumnID(join, "m_int"), 1, 0, reinterpret_cast<char*>(&absent), nullptr);
    ASSERT_GT(empty, 0);
    ASSERT_EQ(JoinOf(join)->GetSetSize(empty), 0);
    for (const Request& req :
         {Request{{"m_int", "s_str"}, {}}, Request{{"s_dbl"}, {{"m_dec", 16, -1}, {"s_str", 5, -1}}}}) {
      ExpectBothRoads(join, empty, req);
    }
  }
}

TEST_F(NonCubeJoin, SerialColumnsCarryTheirSummaryBlocks) {
  BuildTables(5, 60, 12, 6);
  const int join = Join(false);
  const int set = SearchSet(join, false);
  const Request req{{"m_int", "s_str"}, {{"m_dec", 1 | 8, -1}, {"s_int", 2 | 16, -1}, {"s_str", 1, -1}}};
  const int out = RunSerial(join, set, req);
  ASSERT_GT(out, 0);
  const ncjoin::Table t = ncjoin::ReadTable(Real(out));
  ASSERT_EQ(t.names, (std::vector<std::string>{"m_int", "s_str", "N<m_dec>", "SUM<m_dec>", "MAX<s_int>",
                                               "AVG<s_int>", "N<s_str>"}));
  struct Want {
    int kind, bit, ordinal, source;
  };
  const int m_int_own = Real(master_)->GetFilter(2)->FFilterID;
  const int s_str_own = Real(slave_)->GetFilter(5)->FFilterID;
  const Want want[] = {
      {1, 0, 0, m_int_own},
      {1, 0, 1, s_str_own},
      {2, 1, 0, ColumnID(join, "m_dec")},
      {2, 8, 1, ColumnID(join, "m_dec")},
      {2, 2, 2, ColumnID(join, "s_int")},
      {2, 16, 3, ColumnID(join, "s_int")},
      {2, 1, 4, ColumnID(join, "s_str")},
  };
  auto i32 = [](const std::string& b, int at) {
    int v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
  };
  for (size_t c = 0; c < std::size(want); ++c) {
    SCOPED_TRACE(t.names[c]);
    const std::string& b = t.blocks[c];
    EXPECT_EQ(b[sum_attr::kSourceKind], 2);
    EXPECT_EQ(b[sum_attr::kColumnKind], want[c].kind);
    EXPECT_EQ(b[sum_attr::kMeasureBit], want[c].bit);
    EXPECT_EQ(b[sum_attr::kSummaryKind], sum_attr::kNonCubeSummary);
    EXPECT_EQ(b[sum_attr::kOrdinal], want[c].ordinal);
    EXPECT_EQ(b[sum_attr::kDimCount], 2);
    EXPECT_EQ(b[sum_attr::kMeasureCount], 5);
    EXPECT_EQ(i32(b, sum_attr::kTableID), join);
    EXPECT_EQ(i32(b, sum_attr::kSetID), set);
    EXPECT_EQ(i32(b, sum_attr::kSourceColumn), want[c].source);
  }
  // The second COUNT column repeats the first.
  EXPECT_EQ(t.cells[6], t.cells[2]);

  const int parallel = RunParallel(join, set, req);
  ASSERT_GT(parallel, 0);
  for (const std::string& block : ncjoin::ReadTable(Real(parallel)).blocks)
    EXPECT_EQ(block, std::string(64, '\0'));
}

TEST_F(NonCubeJoin, LongMeasureNamesAreCutInTheirCountSumAndAverageNames) {
  BuildTables(9, 40, 10, 4);
  std::vector<int> values(40, 3);
  const std::string long_name(249, 'q');
  AddFilter(master_, long_name.c_str(), Q7_TYPE_INTEGER, 4, values.data());
  const int join = Join(true);
  const Request req{{"s_int"}, {{long_name.c_str(), 31, -1}}};
  ExpectBothRoads(join, 1, req);
}

TEST_F(NonCubeJoin, RefusedRequestsLeaveNoTable) {
  BuildTables(1, 20, 5, 3);
  const int join = Join(false);
  const int tables = db()->TableCount();
  const int dim = ColumnID(join, "m_int");
  const int text = ColumnID(join, "s_str");
  struct Refusal {
    const char* label;
    int n_dims;
    int dim;
    int measure;
    int mask;
    int code;
  };
  const Refusal kRefusals[] = {
      {"negative dimension count", -1, dim, text, 1, Q7_ERROR_OUT_OF_RANGE},
      {"SUM of a text", 1, dim, text, 8, Q7_ERROR_INVALID_PARAMETER},
      {"no such dimension", 1, 999, text, 1, Q7_ERROR_NO_SUCH_FILTER},
  };
  for (const Refusal& r : kRefusals) {
    SCOPED_TRACE(r.label);
    int dims[] = {r.dim};
    int measures[] = {r.measure};
    int masks[] = {r.mask};
    int decimals[] = {-1};
    try {
      TNonCubeSum s(join, 1, r.n_dims, dims, 1, measures, masks, decimals);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), r.code);
    }
    TNonCubeSum p;
    try {
      p.MppRun(join, 1, r.n_dims, dims, 1, measures, masks, decimals);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), r.code);
    }
    EXPECT_EQ(db()->TableCount(), tables);
  }
}

}  // namespace
