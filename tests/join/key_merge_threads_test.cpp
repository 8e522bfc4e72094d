// The parallel join key merge against the serial one and the brute-force numbering, with the
// engine's workers capped at 1, 2, 3 and none (all of the machine's).
#include <gtest/gtest.h>

#include "key_merge_support.h"
#include "tests/support/test_support.h"

namespace {

using kmtest::Expected;
using kmtest::KeyType;
using kmtest::kNull;
using kmtest::Merged;
using kmtest::MergeKeys;
using kmtest::OneKey;
using kmtest::Side;
using q7test::WorkerCap;

const int kCaps[] = {1, 2, 3, 0};

struct ShapeCase {
  const char* name;
  std::vector<int> master;
  std::vector<int> slave;
};

// Repeats n copies of v.
std::vector<int> Copies(int v, int n) { return std::vector<int>(static_cast<size_t>(n), v); }

std::vector<int> Concat(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<int> Range(int from, int to) {
  std::vector<int> out;
  for (int v = from; v <= to; ++v) out.push_back(v);
  return out;
}

// Overlaps cut in every way the split can meet: prefix and suffix on either side, long runs that a
// border would cross, fewer overlapping tuples than workers, an empty overlap on one side, disjoint
// sides and all-NULL tuples.
const ShapeCase kShapes[] = {
    {"master below, slave above", Concat({Range(0, 40), Range(20, 60)}), Range(30, 90)},
    {"slave below, master above", Range(50, 120), Concat({Range(0, 80), Range(0, 80)})},
    {"long runs across borders",
     Concat({Copies(3, 500), Copies(4, 1), Copies(5, 700), Copies(6, 3), Copies(9, 400)}),
     Concat({Copies(4, 300), Copies(5, 2), Copies(6, 600), Copies(7, 1), Copies(9, 2)})},
    {"two overlapping tuples", Concat({Range(0, 10), Copies(11, 50), Copies(12, 50)}),
     Concat({Copies(11, 3), Copies(12, 3), Range(13, 30)})},
    {"slave inside a master gap", {1, 1, 100, 100}, Range(10, 60)},
    {"master inside a slave gap", Range(10, 60), {1, 100}},
    {"master all below", Range(0, 30), Range(31, 50)},
    {"slave all below", Range(31, 50), Range(0, 30)},
    {"all-NULL on the master only", Concat({Copies(kNull, 5), Range(0, 20)}), Range(5, 40)},
    {"all-NULL on both sides", Concat({Copies(kNull, 5), Range(0, 20)}),
     Concat({Range(5, 40), Copies(kNull, 2)})},
    {"all-NULL below a disjoint slave", Concat({Copies(kNull, 3), Range(0, 5)}), Range(6, 9)},
};

TEST(JoinKeyMergeThreads, SplitShapesMatchTheReferenceForEveryWorkerCount) {
  for (const ShapeCase& c : kShapes) {
    const Side m = OneKey(c.master);
    const Side s = OneKey(c.slave);
    const std::vector<int> m_rows = kmtest::All(m.n);
    const std::vector<int> s_rows = kmtest::All(s.n);
    const Expected want = kmtest::Reference(m, m_rows, s, s_rows);
    kmtest::Keys mk(m, {KeyType::kInt}, 2);
    kmtest::Keys sk(s, {KeyType::kInt}, 2);
    auto m_set = ftest::MakeSet(m_rows);
    auto s_set = ftest::MakeSet(s_rows);
    for (int cap : kCaps) {
      SCOPED_TRACE(testing::Message() << c.name << ", cap " << cap);
      WorkerCap limit(cap);
      const Merged got = MergeKeys(MppConcatJoinFilterEx, 1, mk.data(), m_set.get(), sk.data(), s_set.get());
      kmtest::ExpectMerged(got, want);
      EXPECT_EQ(got.ValueCount(), want.distinct + 1);
    }
  }
}

// Two keys over a million master rows and half a million slave rows, partly overlapping: the
// parallel columns equal the serial ones whatever the worker count.
TEST(JoinKeyMergeThreads, MillionRowsGiveTheSerialNumbersForEveryWorkerCount) {
  const int n_master = 1000000;
  const int n_slave = 500000;
  std::mt19937 gen(7);
  Side m;
  m.n = n_master;
  m.values.assign(2, std::vector<int>(static_cast<size_t>(n_master) + 1, kNull));
  Side s;
  s.n = n_slave;
  s.values.assign(2, std::vector<int>(static_cast<size_t>(n_slave) + 1, kNull));
  for (int r = 1; r <= n_master; ++r) {
    m.values[0][static_cast<size_t>(r)] = gen() % 50 == 0 ? kNull : static_cast<int>(gen() % 3000);
    m.values[1][static_cast<size_t>(r)] = gen() % 50 == 0 ? kNull : static_cast<int>(gen() % 40);
  }
  for (int r = 1; r <= n_slave; ++r) {
    s.values[0][static_cast<size_t>(r)] = gen() % 50 == 0 ? kNull : 2000 + static_cast<int>(gen() % 3000);
    s.values[1][static_cast<size_t>(r)] = gen() % 50 == 0 ? kNull : static_cast<int>(gen() % 40);
  }
  kmtest::Keys mk(m, {KeyType::kInt, KeyType::kInt}, 2);
  kmtest::Keys sk(s, {KeyType::kInt, KeyType::kInt}, 2);
  auto m_set = ftest::MakeSet(kmtest::RandomSet(gen, n_master, 90));
  auto s_set = ftest::MakeSet(kmtest::RandomSet(gen, n_slave, 95));

  const Merged serial = MergeKeys(ConcatJoinFilter, 2, mk.data(), m_set.get(), sk.data(), s_set.get());
  const std::vector<int> want_master = serial.Master();
  const std::vector<int> want_slave = serial.Slave();
  for (int cap : kCaps) {
    SCOPED_TRACE(testing::Message() << "cap " << cap);
    WorkerCap limit(cap);
    const Merged got = MergeKeys(MppConcatJoinFilterEx, 2, mk.data(), m_set.get(), sk.data(), s_set.get());
    EXPECT_TRUE(got.Master() == want_master);
    EXPECT_TRUE(got.Slave() == want_slave);
  }
}

}  // namespace
