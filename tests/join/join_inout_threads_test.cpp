// The semi-join and the slave column move on the worker pool, on a few hundred thousand rows: with
// one worker, two, three and every worker each gives exactly its serial form's rows or column.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "database/TFilter.h"
#include "join/JoinInOut.h"
#include "tests/join/join_build_support.h"

namespace {

using jbtest::JoinBuildTest;
using kmtest::KeyType;
using q7test::WorkerCap;
using Ints = std::vector<int>;

const int kCaps[] = {1, 2, 3, 0};  // 0: every worker
constexpr int kRows = 300000;

Ints RandomValues(std::mt19937& gen, int n, int range) {
  Ints v(static_cast<size_t>(n) + 1, kmtest::kNull);
  for (int r = 1; r <= n; ++r) v[r] = gen() % 50 == 0 ? kmtest::kNull : static_cast<int>(gen() % range);
  return v;
}

TEST_F(JoinBuildTest, SemiJoinOnThePoolEqualsTheSerialOneForEveryWorkerCount) {
  std::mt19937 gen(11);
  const int ta = AddTable("A", kRows);
  const int tb = AddTable("B", kRows);
  const int ka = AddKey(ta, "ka", KeyType::kInt, RandomValues(gen, kRows, 400000));
  const int kb = AddKey(tb, "kb", KeyType::kInt, RandomValues(gen, kRows, 600000));
  // Large sets flag the value lists (set B's rows on the pool); small ones compile their values.
  for (int pct : {90, 3}) {
    SCOPED_TRACE(testing::Message() << pct << "% of the rows");
    const int set_a = AddSet(ta, kmtest::RandomSet(gen, kRows, pct));
    const int set_b = AddSet(tb, kmtest::RandomSet(gen, kRows, pct));
    TRealTable* a_table = Real(ta);
    TRealTable* b_table = Real(tb);
    const InOutSide a{a_table, a_table->GetSet(set_a), a_table->GetFilter(ka)};
    const InOutSide b{b_table, b_table->GetSet(set_b), b_table->GetFilter(kb)};
    for (int mode : {1, 0}) {
      const int serial = ExtractInOutSet(a, b, mode, false);
      ASSERT_GT(serial, 0);
      const Ints want = jbtest::Elements(a_table->GetSet(serial));
      ASSERT_FALSE(want.empty());
      for (int cap : kCaps) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << " worker cap " << cap);
        WorkerCap scoped(cap);
        const int got = ExtractInOutSet(a, b, mode, true);
        ASSERT_GT(got, 0);
        EXPECT_EQ(jbtest::Elements(a_table->GetSet(got)), want);
        ASSERT_EQ(a_table->DelSet(got), 0);
      }
    }
  }
}

TEST_F(JoinBuildTest, SlaveColumnMoveOnThePoolEqualsTheSerialOneForEveryWorkerCount) {
  std::mt19937 gen(12);
  const int m = AddTable("M", kRows);
  const int s = AddTable("S", kRows / 2);
  const int mk = AddKey(m, "k", KeyType::kInt, RandomValues(gen, kRows, 200000));
  const int sk = AddKey(s, "k", KeyType::kInt, RandomValues(gen, kRows / 2, 200000));
  const int sv = AddKey(s, "v", KeyType::kInt, RandomValues(gen, kRows / 2, 1000));
  // A master set that names some records twice, so that two chunks may write one record.
  Ints m_set = kmtest::RandomSet(gen, kRows, 80);
  m_set.insert(m_set.end(), m_set.begin(), m_set.begin() + m_set.size() / 4);
  const int set = AddSet(m, m_set);
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int id = AddJoin(true, outer, m, set, {mk, 0}, s, 1, {sk, 0});
    ASSERT_GT(id, 0);
    TJoinTable* j = Join(id);
    TRealTable* master = Real(m);
    const int serial = j->MoveSlaveFlt2Master(sv);
    ASSERT_GT(serial, 0);
    TFilter* expected = master->GetFilter(serial);
    const Ints want(expected->PV->PIntAr(), expected->PV->PIntAr() + kRows + 1);
    for (int cap : kCaps) {
      SCOPED_TRACE(testing::Message() << "worker cap " << cap);
      WorkerCap scoped(cap);
      const int got = j->MppMoveSlaveFlt2Master(sv);
      ASSERT_GT(got, 0);
      TFilter* f = master->GetFilter(got);
      EXPECT_EQ(Ints(f->PV->PIntAr(), f->PV->PIntAr() + kRows + 1), want);
      ASSERT_EQ(master->DropFilter(got), 0);
    }
    ASSERT_EQ(master->DropFilter(serial), 0);
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

}  // namespace
