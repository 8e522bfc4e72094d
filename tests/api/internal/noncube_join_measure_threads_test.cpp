// The measure passes of the parallel join road on 1, 2, 3 and all workers: a side without
// dimensions aggregated per key value in one pass over its rows, and measures whose sums follow
// the order of their rows aggregated run by run on the pool, in batches of runs; the same table as
// the serial road, to the last bit, and as a group-by over the joined rows.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "noncube_join_support.h"
#include "summary/noncube/TNonCubeSum.h"

namespace {

using ncjoin::Request;

class NonCubeJoinMeasureThreads : public ncjoin::NonCubeJoinTest, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    NonCubeJoinTest::SetUp();
    CSmpEngine::Instance()->SetWorkerCapForTest(GetParam());
  }
  void TearDown() override {
    TNonCubeSum::SetMeasureBatchForTest(0);
    CSmpEngine::Instance()->SetWorkerCapForTest(0);
  }
};

const Request kRequests[] = {
    // The master side has no dimensions and only measures that sum exactly: INTEGER, a rounded
    // DOUBLE, and MAX/MIN of a STRING, a DECIMAL and a DATE.
    {{"s_str"}, {{"m_int", 31, -1}, {"m_dbl", 31, 2}, {"m_str", 7, -1}, {"m_dec", 7, -1}, {"m_date", 6, -1}}},
    // The same on the slave side, weighted by master runs of several rows.
    {{"m_str", "m_int"}, {{"s_int", 25, -1}, {"s_time", 16, 0}}},
    // A plain DOUBLE or a DECIMAL sum follows the rows of each key in their order, also when the
    // sum (and the average) is all that is asked, so no value numbers travel with the rows.
    {{"s_str"}, {{"m_dbl", 31, -1}}},
    {{"s_str"}, {{"m_dbl", 8, -1}}},
    {{"s_str"}, {{"m_dbl", 24, -1}}},
    {{"s_int"}, {{"m_dec", 31, -1}}},
    // ... and of each run of a dimension group within a key.
    {{"m_str", "s_str"}, {{"m_dbl", 24, -1}}},
    {{"m_int"}, {{"s_dbl", 31, -1}, {"s_dec", 24, -1}}},
    // One side aggregated per key, the other passed run by run.
    {{}, {{"m_int", 8, -1}, {"s_dbl", 31, -1}}},
};

TEST_P(NonCubeJoinMeasureThreads, ParallelMeasuresEqualSerialRoadAndGroupBy) {
  BuildTables(31, 2000, 300, 40);
  for (const bool outer : {false, true}) {
    const int join = Join(outer, true);
    const int subset = SearchSet(join, false);
    // Batch 0: the engine's, which holds every run here; 7: many batches, some keys alone.
    const std::pair<int, int> set_batches[] = {{1, 0}, {1, 7}, {subset, 0}};
    for (const auto& [set, batch] : set_batches) {
      TNonCubeSum::SetMeasureBatchForTest(batch);
      for (size_t i = 0; i < std::size(kRequests); ++i) {
        SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << " set " << set << " batch " << batch
                                        << " request " << i);
        ExpectBothRoads(join, set, kRequests[i]);
      }
    }
  }
}

// 0: no cap, every worker of the pool.
INSTANTIATE_TEST_SUITE_P(Workers, NonCubeJoinMeasureThreads, testing::Values(1, 2, 3, 0));

}  // namespace
