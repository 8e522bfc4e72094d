// The parallel road of the non-cube summary of join sets on 1, 2 and 3 workers: the same table as
// the serial road and as a group-by over the joined rows.
#include <gtest/gtest.h>

#include <vector>

#include "foundation/CSmpEngine.h"
#include "noncube_join_support.h"

namespace {

using ncjoin::Request;

class NonCubeJoinThreads : public ncjoin::NonCubeJoinTest, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    NonCubeJoinTest::SetUp();
    CSmpEngine::Instance()->SetWorkerCapForTest(GetParam());
  }
  void TearDown() override { CSmpEngine::Instance()->SetWorkerCapForTest(0); }
};

const Request kRequests[] = {
    // A side with neither dimensions nor measures is only counted per key.
    {{"s_str"}, {{"s_dbl", 31, 2}}},
    {{"m_int"}, {{"m_dec", 31, -1}}},
    {{}, {}},
    // Several measures claimed by the workers, three of them sharing the COUNT column.
    {{"m_str", "s_int", "m_date"},
     {{"m_int", 31, -1}, {"s_dec", 1 | 2, -1}, {"m_dbl", 24, 1}, {"s_str", 7, -1}, {"s_time", 6, -1}}},
    {{"s_dbl", "m_dec", "s_time", "m_str", "s_str"}, {{"s_int", 1 | 16, -1}, {"m_dec", 8, -1}}},
};

TEST_P(NonCubeJoinThreads, ParallelRoadEqualsSerialRoadAndGroupBy) {
  BuildTables(23, 3000, 250, 40);
  for (const bool outer : {false, true}) {
    const int join = Join(outer, true);
    for (const int set : {1, SearchSet(join, true)}) {
      for (size_t i = 0; i < std::size(kRequests); ++i) {
        SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << " set " << set << " request " << i);
        ExpectBothRoads(join, set, kRequests[i]);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, NonCubeJoinThreads, testing::Values(1, 2, 3));

}  // namespace
