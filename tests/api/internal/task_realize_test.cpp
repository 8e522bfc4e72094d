// The task object's slot that turns a join set into a new real table on the worker pool, which no
// exported function reaches: the table it builds, its generated name, and its refusals.
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

class TaskRealize : public tasktest::TaskTest {
 protected:
  // master K {1, 2, 3, 2}; slave K {2, 3, 4, 2}, V {20, 30, 40, 21}; an inner join on K.
  void SetUp() override {
    TaskTest::SetUp();
    master_ = IntTable({1, 2, 3, 2}, nullptr, "M");
    slave_ = IntTable({2, 3, 4, 2}, nullptr, "S");
    std::vector<int> v = {20, 30, 40, 21};
    AddFilter(slave_, "V", Q7_TYPE_INTEGER, 4, v.data());
    join_ = Join(master_, slave_);
    static_cast<TJoinTable*>(db()->GetTable(join_))->SetupJoinFilters();
    Drain();
  }

  int master_ = 0, slave_ = 0, join_ = 0;
};

TEST_F(TaskRealize, SlotBuildsTheJoinedRowsUnderAGeneratedName) {
  int columns[] = {3, 0};  // the slave's V
  const int id = DBTASK()->ConvertJoinToReal(nullptr, join_, -1, 1, 1, columns, 0);
  ASSERT_GT(id, join_);
  TRealTable* t = Real(id);
  EXPECT_EQ(std::string(t->FTableName).rfind("createtbl", 0), 0u) << t->FTableName;
  // Master 2 and 4 (key 2) each pair with slave 1 and 4; master 3 with slave 2.
  EXPECT_EQ(Ints(Column(id, 1)), (std::vector<int>{2, 2, 3, 4, 4}));
  EXPECT_EQ(Ints(Column(id, 2)), (std::vector<int>{1, 4, 2, 1, 4}));
  EXPECT_EQ(Ints(Column(id, 3)), (std::vector<int>{20, 21, 30, 20, 21}));
  // This form leaves the copied list whole: the slave's 40 stays in it.
  TFilter* slave_v = Real(slave_)->GetFilter(2);
  EXPECT_EQ(t->GetFilter(3)->VL->FArraySize, slave_v->VL->FArraySize);
  EXPECT_EQ(Drain(), Ring{});
}

TEST_F(TaskRealize, SlotRefusalsAddNoTable) {
  int columns[] = {1, 0};
  const std::string long_name(256, 'n');
  std::string work = long_name;
  char name[] = "r";
  struct Case {
    const char* what;
    char* name;
    int table;
    int code;
    Ring ring;
  };
  const Case cases[] = {
      {"a name above 255 bytes",
       work.data(),
       join_,
       Q7_ERROR_ILLEGAL_TABLE_NAME,
       {{"RQ7ConvertJoinToReal", Q7_ERROR_ILLEGAL_TABLE_NAME, ""}}},
      {"no table",
       name,
       999,
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 999"},
        {"RQ7ConvertJoinToReal", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"a real table",
       name,
       master_,
       Q7_ERROR_NOT_JOIN_TYPE,
       {{"RQ7ConvertJoinToReal", Q7_ERROR_NOT_JOIN_TYPE, ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int tables = db()->FnTable;
    EXPECT_EQ(DBTASK()->ConvertJoinToReal(c.name, c.table, 1, 1, 0, columns, 0), c.code);
    EXPECT_EQ(Drain(), c.ring);
    EXPECT_EQ(db()->FnTable, tables);
  }
}

}  // namespace
