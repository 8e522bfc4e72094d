// Sorting join sets on the worker pool: on inner and outer joins of tens of thousands of rows,
// MppSortByField leaves exactly the join set of SortByField, array by array, with one worker, two,
// three and every worker, on each road of the parallel counting sort (few values, many values, a
// small set of a column with many values).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/join/join_read_support.h"

namespace {

using jbtest::JoinBuildTest;
using kmtest::KeyType;
using q7test::WorkerCap;

const int kCaps[] = {1, 2, 3, 0};  // 0: every worker
// The counting sort picks its road by the column's value count (the radix road above 65,536
// values) and the set's size beside it, not by the rows alone: the slave table stays large enough
// for its "many" column to hold more than 65,536 values.
constexpr int kMasters = 100000;
constexpr int kSlaves = 80000;
constexpr int kRadixAbove = 65536;

TEST_F(JoinBuildTest, ParallelSortEqualsSerialSortForEveryWorkerCount) {
  std::mt19937 gen(4242);
  const int master = AddTable("M", kMasters);
  const int slave = AddTable("S", kSlaves);
  const std::vector<int> master_keys = jrtest::RandomValues(gen, kMasters, 150000, 1);
  const int mk = AddKey(master, "key", KeyType::kInt, master_keys);
  const int sk = AddKey(slave, "key", KeyType::kInt, jrtest::RandomValues(gen, kSlaves, 150000, 1));
  // Few values (one counting pass) on the master, many (the radix road) on the slave.
  AddKey(master, "few", KeyType::kInt, jrtest::RandomValues(gen, kMasters, 1000, 5));
  const int many = AddKey(slave, "many", KeyType::kDouble, jrtest::RandomValues(gen, kSlaves, 1000000, 5));
  const int wide = AddKey(master, "wide", KeyType::kInt, jrtest::RandomValues(gen, kMasters, 1000000, 5));
  const int many_values = Real(slave)->GetFilter(many)->VL->FArraySize;
  const int wide_values = Real(master)->GetFilter(wide)->VL->FArraySize;
  ASSERT_GT(many_values, kRadixAbove);
  ASSERT_GT(wide_values, kRadixAbove);
  // A join over 60 masters: its sets are small beside the value count of "wide". A master with a
  // NULL key would pair with every NULL slave, so the set holds none.
  std::vector<int> small_rows = kmtest::RandomSet(gen, 600, 10);
  std::erase_if(small_rows, [&](int r) { return master_keys[static_cast<size_t>(r)] == kmtest::kNull; });
  const int small_set = AddSet(master, small_rows);

  struct Sort {
    const char* name;
    bool small;
    int col;  // join columns: 1 master key, 2 few, 3 wide, 4 slave key, 5 many
  };
  const Sort kSorts[] = {{"few values", false, 2}, {"many values", false, 5}, {"small set", true, 3}};
  for (int outer : {0, 1}) {
    for (bool small : {false, true}) {
      const int id = AddJoin(false, outer, master, small ? small_set : 1, {mk, 0}, slave, -1, {sk, 0});
      ASSERT_GT(id, 0);
      TJoinTable* join = Join(id);
      // The small inner join's set is small beside the value count of "wide" (its own road).
      if (small && outer == 0) {
        ASSERT_GE(wide_values >> 10, join->GetSetSize(1));
      }
      for (const Sort& s : kSorts) {
        if (s.small != small) continue;
        for (int dir : {0, 1}) {
          SCOPED_TRACE(testing::Message() << (outer ? "outer, " : "inner, ") << s.name << ", dir " << dir);
          const int serial = join->SortByField(s.col, 1, dir);
          ASSERT_GT(serial, 1);
          const jbtest::SetImage want = jbtest::Image(join, serial);
          ASSERT_GT(want.size, 0);
          ASSERT_EQ(join->DelSet(serial), 0);
          for (int cap : kCaps) {
            SCOPED_TRACE(testing::Message() << "worker cap " << cap);
            WorkerCap scoped(cap);
            const int got = join->MppSortByField(s.col, -1 /* current: set 1 */, dir);
            ASSERT_GT(got, 1);
            EXPECT_TRUE(jbtest::Image(join, got) == want);
            ASSERT_EQ(join->DelSet(got), 0);
          }
        }
      }
      ASSERT_EQ(db_->DelTable(id), 0);
    }
  }
}

}  // namespace
