// The task object's join-chain slots (5 and 6), which no exported function reaches: the tree built
// on the pool, and refusals recorded under the slot's log name with an empty message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "join/TJoinTable.h"
#include "task_test_support.h"

namespace {

using tasktest::Ints;
using tasktest::RingEntry;
using Ring = std::vector<RingEntry>;

class TaskChain : public tasktest::TaskTest {
 protected:
  // master K {1, 2}; slave K {2, 1, 2}: record 1 has slave partner 2, record 2 partners 1 and 3.
  void SetUp() override {
    TaskTest::SetUp();
    master_ = IntTable({1, 2}, nullptr, "M");
    slave_ = IntTable({2, 1, 2}, nullptr, "S");
    join_ = Join(master_, slave_);
    ASSERT_GT(join_, 0);
    static_cast<TJoinTable*>(db()->GetTable(join_))->SetupJoinFilters();
    Drain();
  }
  int master_ = 0, slave_ = 0, join_ = 0;
};

TEST_F(TaskChain, SlotsBuildTheTreeOnThePool) {
  int joins[] = {join_, 0};
  int table_ids[511] = {};
  int sets[2][510] = {};
  char name[] = "tree";
  int columns[2][4] = {{1}, {1}};
  const int id = DBTASK()->RealizeJoinChainEx(name, joins, 1, columns, table_ids, sets);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Ints(Column(id, 1)), (std::vector<int>{0, 1, 0, 1, 1}));
  EXPECT_EQ(Ints(Column(id, 2)), (std::vector<int>{1, 2, 2, 1, 3}));
  EXPECT_EQ(Ints(Column(id, 3)), (std::vector<int>{1, 1, 2, 2, 2}));
  EXPECT_EQ((std::vector<int>{table_ids[0], table_ids[1]}), (std::vector<int>{master_, slave_}));
  const int plain = DBTASK()->RealizeJoinChain(name, joins, table_ids, sets);
  ASSERT_GT(plain, 0);
  EXPECT_EQ(Real(plain)->GetNFilter(), 2);
  EXPECT_EQ(Drain(), Ring{});
}

TEST_F(TaskChain, SlotRefusalsCarryAnEmptyMessage) {
  int table_ids[511] = {};
  int sets[2][510] = {};
  char name[] = "tree";
  int real[] = {master_, 0};
  EXPECT_EQ(DBTASK()->RealizeJoinChain(name, real, table_ids, sets), Q7_ERROR_NOT_JOIN_TYPE);
  EXPECT_EQ(Drain(), (Ring{{"RQ7RealizeJoinChain", Q7_ERROR_NOT_JOIN_TYPE, ""}}));
  int joins[] = {join_, 0};
  EXPECT_EQ(DBTASK()->RealizeJoinChainEx(name, joins, 5, nullptr, table_ids, sets), Q7_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(Drain(), (Ring{{"RQ7RealizeJoinChain", Q7_ERROR_OUT_OF_RANGE, ""}}));
}

}  // namespace
