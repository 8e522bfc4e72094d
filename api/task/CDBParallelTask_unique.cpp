// The parallel task's unique-row slot.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/MppExtractUniqueReal.h"

int CDBParallelTask::ExtractUniqueReal(int, int table_id, int set_id, const int* filter_ids, int keep_order) {
  return ChangedOnSuccess(Changes::kSets, MppExtractUniqueReal(table_id, set_id, filter_ids, keep_order));
}
