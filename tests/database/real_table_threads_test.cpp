// The table operations that run on the worker pool give the serial results.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "database/TFilter.h"
#include "table_test_support.h"
#include "values/TIntArray.h"

namespace {

using ttest::Rows;
using ttest::TableTest;

constexpr int kRows = 1000000;

class TablePoolTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("big", kRows));
  }
  // A set of about `percent` of the records, with some records repeated.
  int RandomSet(unsigned seed, int percent) {
    std::mt19937 gen(seed);
    std::vector<int> rows;
    for (int r = 1; r <= kRows; ++r) {
      if (static_cast<int>(gen() % 100) < percent) rows.push_back(r);
    }
    for (int i = 0; i < 1000; ++i) rows.push_back(rows[gen() % rows.size()]);
    return t_->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
  }
  TRealTable* t_ = nullptr;
};

// A new table's first set, written on the pool for a table this large: every record once, in
// order, with no spare capacity.
TEST_F(TablePoolTest, NewTableSetHoldsEveryRecordInOrder) {
  TIntArray* all = t_->GetSet(1);
  ASSERT_NE(all, nullptr);
  ASSERT_EQ(all->FArraySize, kRows);
  EXPECT_EQ(all->FAllocSize, kRows);
  const int* v = all->PIntAr();
  for (int i = 0; i < kRows; ++i) {
    if (v[i] != i + 1) {
      ADD_FAILURE() << "element " << i << " holds " << v[i];
      break;
    }
  }
}

TEST_F(TablePoolTest, ParallelSetOperationsEqualSerialOnes) {
  const int a = RandomSet(1, 50);
  const int b = RandomSet(2, 50);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ(Rows(t_->GetSet(t_->MppSetNot(a))), Rows(t_->GetSet(t_->SetNot(a))));
  for (int op = 0; op <= 2; ++op) {
    SCOPED_TRACE(op);
    const auto serial = Rows(t_->GetSet(t_->SetOpe(op, a, b)));
    EXPECT_EQ(Rows(t_->GetSet(t_->MppSetOpe(op, a, b))), serial);
    for (size_t i = 1; i < serial.size(); ++i) ASSERT_LT(serial[i - 1], serial[i]);
  }
  EXPECT_EQ(Rows(t_->GetSet(t_->MppAddSet(t_->GetSet(a)))), Rows(t_->GetSet(a)));
}

TEST_F(TablePoolTest, LargeFilterFromRawValues) {
  std::mt19937 gen(3);
  std::vector<int> raw(kRows);
  for (auto& v : raw) v = static_cast<int>(gen() % 1000) * 7 - 300;
  raw[5] = INT32_MIN;  // a NULL record
  const int id = AddIntFilter(t_, "v", raw);
  ASSERT_GT(id, 0);
  TFilter* f = t_->GetFilter(id);
  auto* list = static_cast<TIntArray*>(f->VL);
  ASSERT_EQ(f->PV->FArraySize, kRows + 1);
  EXPECT_EQ(list->FArraySize, 1001);
  EXPECT_EQ(list->GetInt(0), INT32_MIN);
  for (int i = 1; i < list->FArraySize; ++i) ASSERT_LT(list->GetInt(i - 1), list->GetInt(i));
  for (int r = 1; r <= kRows; ++r) ASSERT_EQ(list->GetInt(f->PV->GetInt(r)), raw[r - 1]) << r;
  EXPECT_EQ(f->PV->GetInt(6), 0);
}

}  // namespace
