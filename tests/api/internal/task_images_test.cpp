// Memory images through the task object, where the host cannot reach: the engine-held image of a
// table whose columns share one value list.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "task_test_support.h"
#include "values/TIntArray.h"

namespace {

class TaskImages : public tasktest::TaskTest {};

// Columns that borrow one value list count it once in memory but carry it each in an image: the
// held block is sized by the image, so the table still goes out whole.
TEST_F(TaskImages, HeldImageIsSizedByTheImageItself) {
  std::vector<int> values(20000);
  std::iota(values.begin(), values.end(), 0);
  int source = 0;
  const int t = IntTable(values, &source);
  TRealTable* table = Real(t);
  for (const char* name : {"B1", "B2", "B3"}) {
    TFilter* f = table->GetFilter(source);
    auto* rows = static_cast<TIntArray*>(f->PV->CopyArray());
    std::string work(name);
    ASSERT_GT(table->AddFilter(1024, work.data(), rows, f->VL, true, 0, -1), 0) << name;
  }
  ASSERT_LT(DBTASK()->GetRealTableMemSize(t), DBTASK()->GetRealTableFileSize(t));

  void* image = nullptr;
  unsigned long length = 0;
  ASSERT_EQ(DBTASK()->GetMemRealTable(t, &image, &length), 0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image, db()->FTblMemBuf);
  std::vector<uint64_t> copy(length / 8 + 1);
  memcpy(copy.data(), image, length);
  const int loaded = DBTASK()->LoadMemRealTable(copy.data(), length);
  ASSERT_GT(loaded, t);
  int ids[8];
  ASSERT_EQ(Real(loaded)->GetFilterIDList(ids), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(tasktest::Ints(Column(loaded, ids[i])), values) << i;
  EXPECT_EQ(DBTASK()->FreeMemRealTable(), 0);
  EXPECT_EQ(db()->FTblMemBuf, nullptr);
  EXPECT_EQ(Drain(), std::vector<tasktest::RingEntry>{});
}

}  // namespace
