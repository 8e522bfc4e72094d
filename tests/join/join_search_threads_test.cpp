// Searches and set operations of a join on the worker pool: on tens of thousands of rows, each
// parallel form leaves exactly the join set of its serial form, array by array, with one worker,
// two, three and every worker; inner and outer joins.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/join/join_build_support.h"

namespace {

using jbtest::JoinBuildTest;
using kmtest::KeyType;
using q7test::WorkerCap;

const int kCaps[] = {1, 2, 3, 0};  // 0: every worker
// The rows split over all active workers at any size; against the 1,000 and 5,000 values of the
// searched columns they are many, which is the road a large table takes.
constexpr int kMasters = 60000;
constexpr int kSlaves = 30000;
constexpr int kKeyRange = kMasters * 2 / 3;

// Values of records 1..n (element 0 unused) from 0..range-1, about one in 50 NULL.
std::vector<int> RandomValues(std::mt19937& gen, int n, int range) {
  std::vector<int> v(static_cast<size_t>(n) + 1, kmtest::kNull);
  for (int r = 1; r <= n; ++r) v[r] = gen() % 50 == 0 ? kmtest::kNull : static_cast<int>(gen() % range);
  return v;
}

struct Pairing {
  const char* name;
  // Runs the serial (false) or parallel (true) form on the join; the new set's ID.
  std::function<int(TJoinTable*, bool)> run;
};

TEST_F(JoinBuildTest, ParallelSearchesAndSetOperationsEqualTheSerialOnesForEveryWorkerCount) {
  std::mt19937 gen(2026);
  const int master = AddTable("M", kMasters);
  const int slave = AddTable("S", kSlaves);
  const int mk = AddKey(master, "key", KeyType::kInt, RandomValues(gen, kMasters, kKeyRange));
  AddKey(master, "p", KeyType::kInt, RandomValues(gen, kMasters, 1000));
  AddKey(master, "t", KeyType::kString, RandomValues(gen, kMasters, 5000));
  const int sk = AddKey(slave, "key", KeyType::kInt, RandomValues(gen, kSlaves, kKeyRange));
  AddKey(slave, "p", KeyType::kInt, RandomValues(gen, kSlaves, 1000));
  // Join columns: 1 key, 2 p, 3 t of the master; 4 key, 5 p, 6 t of the slave.
  const int m_set = AddSet(master, kmtest::RandomSet(gen, kMasters, 90));

  int bounds[2] = {100 * 3 - 7, 600 * 3 - 7};  // p in 100..600
  char* from = reinterpret_cast<char*>(&bounds[0]);
  char* to = reinterpret_cast<char*>(&bounds[1]);
  std::vector<int> values;
  for (int v = 0; v < 1000; v += 3) values.push_back(v * 3 - 7);
  char contains[] = "12";
  // Sets a and b are two searches of set 1, made once per join.
  int a = 0;
  int b = 0;
  const Pairing kOps[] = {
      {"master range",
       [&](TJoinTable* j, bool mpp) {
         return mpp ? j->MppSearchByField(2, 1, 1, from, to) : j->SearchByField(2, 1, 1, from, to);
       }},
      {"slave not equal",
       [&](TJoinTable* j, bool mpp) {
         return mpp ? j->MppSearchByField(5, a, 4, from, to) : j->SearchByField(5, a, 4, from, to);
       }},
      {"master text contains",
       [&](TJoinTable* j, bool mpp) {
         return mpp ? j->MppSearchByField(3, 1, 9, contains, contains)
                    : j->SearchByField(3, 1, 9, contains, contains);
       }},
      {"slave n values",
       [&](TJoinTable* j, bool mpp) {
         const int n = static_cast<int>(values.size());
         return mpp ? j->MppSearchByFieldNValues(5, 1, n, values.data())
                    : j->SearchByFieldNValues(5, 1, n, values.data());
       }},
      {"not", [&](TJoinTable* j, bool mpp) { return mpp ? j->MppSetNot(a) : j->SetNot(a); }},
      {"and", [&](TJoinTable* j, bool mpp) { return mpp ? j->MppSetOpe(0, a, b) : j->SetOpe(0, a, b); }},
      {"or", [&](TJoinTable* j, bool mpp) { return mpp ? j->MppSetOpe(1, a, b) : j->SetOpe(1, a, b); }},
      {"and not", [&](TJoinTable* j, bool mpp) { return mpp ? j->MppSetOpe(2, a, b) : j->SetOpe(2, a, b); }},
  };

  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int id = AddJoin(true, outer, master, m_set, {mk, 0}, slave, -1, {sk, 0});
    ASSERT_GT(id, 0);
    TJoinTable* j = Join(id);
    a = j->SearchByField(2, 1, 1, from, to);
    ASSERT_GT(a, 0);
    b = j->SearchByFieldNValues(5, 1, static_cast<int>(values.size()), values.data());
    ASSERT_GT(b, 0);
    for (const Pairing& op : kOps) {
      SCOPED_TRACE(op.name);
      const int serial = op.run(j, false);
      ASSERT_GT(serial, 0);
      const jbtest::SetImage want = jbtest::Image(j, serial);
      ASSERT_GT(want.size, 0);
      ASSERT_EQ(j->DelSet(serial), 0);
      for (int cap : kCaps) {
        SCOPED_TRACE(testing::Message() << "worker cap " << cap);
        WorkerCap scoped(cap);
        const int got = op.run(j, true);
        ASSERT_GT(got, 0);
        EXPECT_TRUE(jbtest::Image(j, got) == want);
        ASSERT_EQ(j->DelSet(got), 0);
      }
    }
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

}  // namespace
