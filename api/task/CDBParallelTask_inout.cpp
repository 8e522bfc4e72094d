// The parallel task's semi-join slot: a set of one real table filtered by the key values of
// another table's set.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "join/JoinInOut.h"

int CDBParallelTask::ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                                      int mode) {
  constexpr char kLog[] = "RQ7ExtractJoinInOut";
  return ChangedOnSuccess(
      Changes::kSets, RunOp(kLog, [&] {
        return CheckInner(kLog, MppExtractJoinInOut(table_a, set_a, key_a, table_b, set_b, key_b, mode), "");
      }));
}
