// The task object's summary operations: their refusals and ring entries, the host records they read,
// the values and names they copy, and the output-table services they reach.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "summary/SummaryOutput.h"
#include "summary/cube/SummaryHandles.h"
#include "summary/cube/TSummary.h"
#include "task_test_support.h"

namespace {

using tasktest::RingEntry;
using tasktest::TaskTest;

constexpr int kHostStride = 518;
const char kHandleText[] = "Invalid Parameter : SumHandle";

class TaskSummaryTest : public TaskTest {
 protected:
  void TearDown() override { PurgeSummaries(); }

  // Table "T": K (dimension) 1, 2, 1, 2; M (measure) 10, 20, 30, NULL; S (text) a, bb, c, d.
  void MakeTable() {
    table_ = IntTable({1, 2, 1, 2}, &k_);
    std::vector<int> m = {10, 20, 30, INT32_MIN};
    m_ = AddFilter(table_, "M", Q7_TYPE_INTEGER, 4, m.data());
    const char* s[] = {"a", "bb", "c", "d"};
    s_ = AddFilter(table_, "S", Q7_TYPE_STRING, 8, s);
  }
  // Host records lie 518 ints apart; only the first int of each may be read.
  std::vector<int> HostRecords(std::vector<int> filters) {
    std::vector<int> records(filters.size() * kHostStride, -77);
    for (size_t d = 0; d < filters.size(); ++d) records[d * kHostStride] = filters[d];
    return records;
  }

  int table_ = 0, k_ = 0, m_ = 0, s_ = 0;
};

TEST_F(TaskSummaryTest, OpenReadsHostRecordsAndRefusesInOrder) {
  MakeTable();
  CDBTask* task = DBTASK();
  const std::vector<int> host = HostRecords({k_, k_});
  struct Case {
    const char* what;
    int handle, count, code;
  };
  const Case cases[] = {
      {"33 dimensions, even with a bad handle", 8, 33, Q7_ERROR_OUT_OF_RANGE},
      {"handle 8", 8, 2, Q7_ERROR_INVALID_SUM_HANDLE},
      {"handle -1", -1, 1, Q7_ERROR_INVALID_SUM_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(task->SummaryOpen(c.handle, table_, 1, c.count, host.data(), m_), c.code);
  }
  ASSERT_EQ(task->SummaryOpen(0, table_, 1, 2, host.data(), m_), 0);
  const std::vector<int> other = HostRecords({m_});
  EXPECT_EQ(task->SummaryOpen(0, table_, 1, 1, other.data(), 0), Q7_ERROR_SUMMARY_IN_USE);
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});

  int table = 0, set = 0, count = 0, measure = 0, computed = -1;
  _TDimensionDef dims[TSummary::kMaxDims];
  ASSERT_EQ(task->SummaryStatus(0, &table, &set, &count, dims, &measure, &computed), 1);
  EXPECT_EQ(count, 2);  // the busy handle kept its summary
  EXPECT_EQ(dims[0].column_id, k_);
  EXPECT_EQ(dims[1].column_id, k_);
  EXPECT_EQ(dims[0].category_count, 3);
  EXPECT_EQ(measure, m_);
  EXPECT_EQ(computed, 0);
  EXPECT_EQ(task->SummaryStatus(9, &table, &set, &count, dims, &measure, &computed),
            Q7_ERROR_INVALID_SUM_HANDLE);

  // A failed open is entered under the status name and leaves the handle free.
  EXPECT_EQ(task->SummaryOpen(1, table_, 1, 1, other.data(), 99), Q7_ERROR_NO_SUCH_FILTER);
  const auto ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back(), (RingEntry{"RQ7SummaryStatus", Q7_ERROR_NO_SUCH_FILTER, "Failed to open"}));
  EXPECT_EQ(Summaries[1], nullptr);
  EXPECT_EQ(task->SummaryClose(1), 0);
  EXPECT_EQ(task->SummaryClose(8), Q7_ERROR_INVALID_SUM_HANDLE);
  EXPECT_EQ(task->GetN_Summary(), 8);
}

TEST_F(TaskSummaryTest, ExecOnceThenReadCopiesValues) {
  MakeTable();
  CDBTask* task = DBTASK();
  const std::vector<int> host = HostRecords({k_});
  int computed = 0;
  EXPECT_EQ(task->SummaryExec(0, 15, &computed), Q7_ERROR_NO_SUCH_SUMMARY);
  ASSERT_EQ(task->SummaryOpen(0, table_, 1, 1, host.data(), m_), 0);
  ASSERT_EQ(task->SummaryExec(0, 15, &computed), 0);
  EXPECT_EQ(computed, 15);
  EXPECT_EQ(task->SummaryExec(0, 15, &computed), Q7_ERROR_SUMMARY_STATE);
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});

  int cell[TSummary::kMaxDims] = {1};  // K = 1: M 10 and 30
  int result_type = 0, value_type = 0, count = 0;
  char value[64] = {};
  ASSERT_EQ(task->SummaryRead(0, 8, cell, &result_type, &value_type, &count, value), 0);
  double sum = 0;
  std::memcpy(&sum, value, sizeof sum);
  EXPECT_EQ(sum, 40.0);
  EXPECT_EQ(value_type, Q7_TYPE_DOUBLE);
  ASSERT_EQ(task->SummaryRead(0, 2, cell, &result_type, &value_type, &count, value), 0);
  int max = 0;
  std::memcpy(&max, value, sizeof max);
  EXPECT_EQ(max, 30);
  EXPECT_EQ(count, 2);

  EXPECT_EQ(task->SummaryRead(9, 1, cell, &result_type, &value_type, &count, value),
            Q7_ERROR_INVALID_SUM_HANDLE);
  EXPECT_EQ(task->SummaryRead(4, 1, cell, &result_type, &value_type, &count, value),
            Q7_ERROR_NO_SUCH_SUMMARY);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"Q7SummaryRead", Q7_ERROR_INVALID_SUM_HANDLE, kHandleText},
                                             {"Q7SummaryRead", Q7_ERROR_NO_SUCH_SUMMARY, kHandleText}}));
}

int Refuse(int, int, int, int, int, int, char**) { return Q7_ERROR_INVALID_PARAMETER; }

TEST_F(TaskSummaryTest, CategoryReadCopiesAtMost127Characters) {
  MakeTable();
  CDBTask* task = DBTASK();
  const std::string long_name(200, 'n');
  char* names[] = {const_cast<char*>(long_name.c_str()), const_cast<char*>("two")};
  int map[] = {0, 0, 1};  // NULL and 1 in category 0, 2 in category 1
  _TDimensionDef named{k_, 2, map, names, nullptr};
  ASSERT_EQ(innerQ7SummaryOpen(0, table_, 1, 1, &named, 0), 0);
  _TDimensionDef refusing{k_, 2, map, nullptr, Refuse};
  ASSERT_EQ(innerQ7SummaryOpen(1, table_, 1, 1, &refusing, 0), 0);

  char name[128];
  ASSERT_EQ(task->CategoryRead(0, 0, 0, name), 0);
  EXPECT_EQ(std::string(name), long_name.substr(0, 127));
  ASSERT_EQ(task->CategoryRead(0, 0, 1, name), 0);
  EXPECT_STREQ(name, "two");
  struct Case {
    const char* what;
    int handle, dim, category, code;
  };
  const Case cases[] = {
      {"dimension 1 of 1", 0, 1, 0, Q7_ERROR_OUT_OF_RANGE},
      {"category 2 of 2", 0, 0, 2, Q7_ERROR_OUT_OF_RANGE},
      {"category -1", 0, 0, -1, Q7_ERROR_OUT_OF_RANGE},
      {"free handle", 5, 0, 0, Q7_ERROR_NO_SUCH_SUMMARY},
      {"handle 8", 8, 0, 0, Q7_ERROR_INVALID_SUM_HANDLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::strcpy(name, "old");
    EXPECT_EQ(task->CategoryRead(c.handle, c.dim, c.category, name), c.code);
    EXPECT_STREQ(name, "");
  }
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});
  EXPECT_EQ(task->CategoryRead(1, 0, 0, name), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"RQ7CategoryRead", Q7_ERROR_INVALID_PARAMETER,
                                              "Invalid Parameter : CallBackRet"}}));
}

TEST_F(TaskSummaryTest, OutputAndServices) {
  MakeTable();
  CDBTask* task = DBTASK();
  const std::vector<int> host = HostRecords({k_});
  ASSERT_EQ(task->SummaryOpen(0, table_, 1, 1, host.data(), m_), 0);
  EXPECT_EQ(task->SummaryIntoRealTable(0, 12345, 0), Q7_ERROR_INVALID_OUTPUT_PARAMETER);
  EXPECT_EQ(task->AppendSummaryToRealTable(0, table_, 1, 0), Q7_ERROR_INVALID_OUTPUT_PARAMETER);
  EXPECT_EQ(task->SummaryIntoRealTable(6, 0, 0), Q7_ERROR_NO_SUCH_SUMMARY);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{
                         {"RQ7SummaryIntoRealTable", Q7_ERROR_INVALID_OUTPUT_PARAMETER, kHandleText},
                         {"RQ7AppendSummaryToRealTable", Q7_ERROR_INVALID_OUTPUT_PARAMETER, kHandleText},
                         {"RQ7SummaryIntoRealTable", Q7_ERROR_NO_SUCH_SUMMARY, kHandleText}}));

  int computed = 0;
  ASSERT_EQ(task->SummaryExec(0, 15, &computed), 0);
  const int out = task->SummaryIntoRealTable(0, 0, 1);  // K NULL holds no row: skipped
  ASSERT_GT(out, 0);
  EXPECT_EQ(Real(out)->TotalRecs(), 2);
  EXPECT_EQ(Real(out)->FnFilter, 6);

  // The cube writer leaves its columns unmarked; mark the SUM column (5) as a SUM measure.
  int dims = -1, measures = -1;
  EXPECT_EQ(task->IsSummaryOutputTable(out, &dims, &measures), 0);
  char block[64] = {};
  block[1] = 2;
  block[2] = 8;
  block[5] = 1;
  ASSERT_EQ(innerQ7SetSumFilterAttr(out, 5, block), 0);
  char back[64] = {};
  EXPECT_EQ(task->GetSumFilterAttr(out, 5, back), 0);
  EXPECT_EQ(std::memcmp(block, back, 64), 0);
  EXPECT_EQ(task->DimNo2FilterID(out, 2, 1), 5);
  double total = 0;
  EXPECT_EQ(task->CalcTotal(out, 1, 5, 0, &total), 0);
  EXPECT_EQ(total, 60.0);
  block[1] = 9;
  ASSERT_EQ(innerQ7SetSumFilterAttr(out, 5, block), 0);
  Drain();
  EXPECT_EQ(task->IsSummaryOutputTable(out, &dims, &measures), Q7_ERROR_NOT_SUMMARY_OUTPUT);
  EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"RQ7IsSummaryOutputTable", Q7_ERROR_NOT_SUMMARY_OUTPUT, ""}}));

  // The task's total also takes DECIMAL columns, summed exactly.
  std::vector<Numeric> v = {{1500000, 0}, {2500000, 0}, {1, 0}, {0, INT64_MIN}};  // the last is NULL
  const int dec = AddFilter(table_, "D", Q7_TYPE_DECIMAL, 16, v.data());
  EXPECT_EQ(task->CalcTotal(table_, 1, dec, 1, &total), 0);
  EXPECT_DOUBLE_EQ(total, 4.000001);  // at the default scale 6
  EXPECT_EQ(task->CalcTotal(table_, 1, s_, 1, &total), Q7_ERROR_CALC_TYPE);
  EXPECT_EQ(total, -HUGE_VAL);
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});
}

}  // namespace
