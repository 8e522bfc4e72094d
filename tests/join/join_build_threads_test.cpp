// Building a join on the worker pool: on a hundred thousand rows (every kernel of the build splits
// its rows over all active workers whatever their number), the parallel build leaves exactly the
// join set of the serial build, array by array, with one worker, two, three and every worker.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/join/join_build_support.h"

namespace {

using jbtest::JoinBuildTest;
using kmtest::KeyType;
using q7test::WorkerCap;

const int kCaps[] = {1, 2, 3, 0};  // 0: every worker
constexpr int kRows = 100000;

// Keys of records 1..n (element 0 unused) drawn from 0..range-1, about one in 2,000 NULL (NULLs pair
// with each other in an inner join, so they must stay few).
std::vector<int> RandomKeys(std::mt19937& gen, int n, int range) {
  std::vector<int> v(static_cast<size_t>(n) + 1, kmtest::kNull);
  for (int r = 1; r <= n; ++r) v[r] = gen() % 2000 == 0 ? kmtest::kNull : static_cast<int>(gen() % range);
  return v;
}

struct BuildCase {
  const char* name;
  int key_count;
  int outer;
};

const BuildCase kBuilds[] = {
    {"one key, inner", 1, 0},
    {"one key, outer", 1, 1},
    {"two keys, inner", 2, 0},
    {"two keys, outer", 2, 1},
};

TEST_F(JoinBuildTest, ParallelBuildEqualsSerialForEveryWorkerCount) {
  std::mt19937 gen(31);
  const int master = AddTable("M", kRows);
  const int slave = AddTable("S", kRows / 2);
  std::vector<int> mk[2], sk[2];
  for (int k = 0; k < 2; ++k) {
    const int range = k == 0 ? kRows * 2 / 5 : 700;
    mk[k] = RandomKeys(gen, kRows, range);
    sk[k] = RandomKeys(gen, kRows / 2, range);
  }
  const int m1 = AddKey(master, "a", KeyType::kInt, mk[0]);
  const int m2 = AddKey(master, "b", KeyType::kInt, mk[1]);
  const int s1 = AddKey(slave, "a", KeyType::kInt, sk[0]);
  const int s2 = AddKey(slave, "b", KeyType::kInt, sk[1]);
  // A shuffled master set, so driving rows and partners are in no particular record order. Its
  // attribute block is marked: the parallel build copies the master rows in the pass that cuts
  // them, not whole as the serial build does, and the block must come along all the same.
  std::vector<int> rows = kmtest::RandomSet(gen, kRows, 90);
  const int m_set = AddSet(master, rows);
  Real(master)->GetSet(m_set)->FUserArea[3] = 0x5a;

  for (const BuildCase& c : kBuilds) {
    SCOPED_TRACE(c.name);
    const std::vector<int> m_keys = c.key_count == 1 ? std::vector<int>{m1, 0} : std::vector<int>{m2, m1, 0};
    const std::vector<int> s_keys = c.key_count == 1 ? std::vector<int>{s1, 0} : std::vector<int>{s2, s1, 0};
    const int serial = AddJoin(false, c.outer, master, m_set, m_keys, slave, -1, s_keys);
    ASSERT_GT(serial, 0);
    const jbtest::SetImage want = jbtest::Image(Join(serial), 1);
    ASSERT_GT(want.size, 0);
    ASSERT_FALSE(want.second[0].empty());
    // The outer pairing makes its driving rows anew, without the block.
    if (c.outer == 0) {
      ASSERT_EQ(want.rows_attributes[0].at(3), 0x5a);
    }
    ASSERT_EQ(db_->DelTable(serial), 0);
    for (int cap : kCaps) {
      SCOPED_TRACE(testing::Message() << "worker cap " << cap);
      WorkerCap scoped(cap);
      const int id = AddJoin(true, c.outer, master, m_set, m_keys, slave, -1, s_keys);
      ASSERT_GT(id, 0);
      EXPECT_TRUE(jbtest::Image(Join(id), 1) == want);
      ASSERT_EQ(db_->DelTable(id), 0);
    }
  }
}

// A star join: a million fact rows against a thousand dimension rows. The dimension is cut against
// the fact's keys, whose values are as a rule all met within the fact's first rows; where one is met
// only late, or never, or the keys are NULL on both sides, the parallel build must still leave the
// serial build's join set.
TEST_F(JoinBuildTest, StarJoinOnThePoolEqualsSerialWhereverTheDimensionKeysLie) {
  struct StarCase {
    const char* name;
    int late_key;     // the fact's last record takes this key (-1: none)
    int missing_key;  // one dimension row takes a key no fact row has (-1: none)
    bool nulls;       // NULL keys on both sides
    bool unique;      // the dimension's last row takes a key of its own, not one shared with key 7
  };
  // Where every fact row has one partner (the late key, the NULL keys), each worker's first joined
  // rows are right as first counted; where fact rows are cut or a key has two partners, the chunks
  // after the first such row are moved.
  const StarCase cases[] = {
      {"every dimension key met early", -1, -1, false, false},
      {"a dimension key met only in the last fact row", 1000, -1, false, false},
      {"a dimension key in no fact row", -1, 5000, false, false},
      {"NULL keys on both sides, met early", -1, -1, true, false},
      {"fact rows without partner, the others with one each", -1, 5000, false, true},
  };
  constexpr int kDim = 1000;
  int n = 0;
  for (const StarCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 gen(47);
    const std::string suffix = std::to_string(n++);
    const int fact = AddTable(("F" + suffix).c_str(), kRows);
    const int dim = AddTable(("D" + suffix).c_str(), kDim + 1);
    std::vector<int> fk(static_cast<size_t>(kRows) + 1);
    for (int r = 1; r <= kRows; ++r) fk[r] = static_cast<int>(gen() % kDim);
    std::vector<int> dk(static_cast<size_t>(kDim) + 2);
    for (int r = 1; r <= kDim; ++r) dk[r] = r - 1;
    dk[kDim + 1] = 7;  // two dimension rows share a key
    if (c.late_key >= 0) {
      fk[kRows] = c.late_key;
      dk[kDim + 1] = c.late_key;
    }
    if (c.missing_key >= 0) dk[kDim] = c.missing_key;
    if (c.nulls) {
      fk[10] = kmtest::kNull;
      dk[kDim + 1] = kmtest::kNull;
    }
    if (c.unique) dk[kDim + 1] = 5001;
    const int fkey = AddKey(fact, "k", KeyType::kInt, fk);
    const int dkey = AddKey(dim, "k", KeyType::kInt, dk);
    const int serial = AddJoin(false, 0, fact, -1, {fkey, 0}, dim, -1, {dkey, 0});
    ASSERT_GT(serial, 0);
    const jbtest::SetImage want = jbtest::Image(Join(serial), 1);
    ASSERT_EQ(db_->DelTable(serial), 0);
    for (int cap : kCaps) {
      SCOPED_TRACE(testing::Message() << "worker cap " << cap);
      WorkerCap scoped(cap);
      const int id = AddJoin(true, 0, fact, -1, {fkey, 0}, dim, -1, {dkey, 0});
      ASSERT_GT(id, 0);
      EXPECT_TRUE(jbtest::Image(Join(id), 1) == want);
      ASSERT_EQ(db_->DelTable(id), 0);
    }
  }
}

}  // namespace
