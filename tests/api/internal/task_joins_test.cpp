// The task object's join slots that no exported function reaches as a host would: the slave column
// moved into the master (slot 39) and the parallel join build's own refusals (slot 2).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "task_test_support.h"

namespace {

using tasktest::Ints;
using tasktest::RingEntry;
using Ring = std::vector<RingEntry>;

constexpr int kNull = INT32_MIN;

class TaskJoins : public tasktest::TaskTest {
 protected:
  // master K {1, 2, 3, 2}; slave K {2, 3, 4}, V {20, 30, 40}; an inner join on K.
  void SetUp() override {
    TaskTest::SetUp();
    master_ = IntTable({1, 2, 3, 2}, nullptr, "M");
    int slave_k = 0;
    slave_ = IntTable({2, 3, 4}, &slave_k, "S");
    std::vector<int> v = {20, 30, 40};
    slave_v_ = AddFilter(slave_, "V", Q7_TYPE_INTEGER, 4, v.data());
    int keys[] = {1, 0};
    char name[] = "J";
    join_ = DBTASK()->AddJoinTable(name, 0, master_, 1, keys, slave_, 1, keys);
    ASSERT_GT(join_, 0);
    Drain();
  }

  int master_ = 0, slave_ = 0, slave_v_ = 0, join_ = 0;
};

TEST_F(TaskJoins, MoveSlaveSlotCopiesFirstPartnerValues) {
  const int filter = DBTASK()->MoveSlaveFlt2Master(join_, slave_v_);
  ASSERT_GT(filter, 0);
  EXPECT_EQ(Ints(Column(master_, filter)), (std::vector<int>{kNull, 20, 30, 20}));
  EXPECT_EQ(std::string(Real(master_)->GetFilter(filter)->FFilterName), "V");
  EXPECT_EQ(Drain(), Ring{});
}

TEST_F(TaskJoins, MoveSlaveSlotRefusals) {
  // A table of another kind is refused without an entry of the slot's own.
  EXPECT_EQ(DBTASK()->MoveSlaveFlt2Master(master_, slave_v_), Q7_ERROR_NOT_JOIN_TABLE);
  EXPECT_EQ(Drain(), Ring{});
  EXPECT_EQ(DBTASK()->MoveSlaveFlt2Master(join_, 99), Q7_ERROR_NO_SUCH_FILTER);
  // The column is moved on the pool, whose lookup records nothing of its own.
  EXPECT_EQ(Drain(), (Ring{{"RQ7MoveSlaveFlt2Master", Q7_ERROR_NO_SUCH_FILTER, "return of inner call"}}));
  // A join, or its master, on a shared image must not change: refused silently, nothing added.
  const int filters = Real(master_)->FnFilter;
  for (TBaseTable* shared : {db()->GetTable(join_), db()->GetTable(master_)}) {
    shared->FShmImage = 1;
    EXPECT_EQ(DBTASK()->MoveSlaveFlt2Master(join_, slave_v_), Q7_ERROR_SHARED_READ_ONLY);
    shared->FShmImage = 0;
  }
  EXPECT_EQ(Real(master_)->FnFilter, filters);
  EXPECT_EQ(Drain(), Ring{});
}

TEST_F(TaskJoins, AddJoinSlotNamesAndRefusals) {
  int keys[] = {1, 0};
  const std::string long_name(256, 'n');
  std::string work = long_name;
  const int tables = db()->FnTable;
  EXPECT_EQ(DBTASK()->AddJoinTable(work.data(), 0, master_, 1, keys, slave_, 1, keys),
            Q7_ERROR_ILLEGAL_TABLE_NAME);
  EXPECT_EQ(Drain(), (Ring{{"RQ7AddJoinTable", Q7_ERROR_ILLEGAL_TABLE_NAME, ""}}));
  EXPECT_EQ(db()->FnTable, tables);
  // The host's name is never rewritten; a null one is generated.
  char host_name[] = "a b";
  const int id = DBTASK()->AddJoinTable(host_name, 1, master_, 1, keys, slave_, 1, keys);
  ASSERT_GT(id, 0);
  EXPECT_STREQ(host_name, "a b");
  const int generated = DBTASK()->AddJoinTable(nullptr, 1, master_, 1, keys, slave_, 1, keys);
  ASSERT_GT(generated, 0);
  EXPECT_EQ(std::string(db()->GetTable(generated)->FTableName).rfind("jointbl", 0), 0u);
}

}  // namespace
