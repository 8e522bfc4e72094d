// The parallel task's text-query slots.
#include "api/ops/OpCommon.h"
#include "api/ops/ops_textquery.h"
#include "api/task/CDBParallelTask.h"

int CDBParallelTask::SearchByText(int table_id, int set_id, const char* text) {
  return ChangedOnSuccess(Changes::kSets,
                          SearchByTextAs("RQ7SearchByText", TextSearchRoad::kTask, table_id, set_id, text));
}

int CDBParallelTask::SearchByTextSJIS(int table_id, int set_id, char* text) {
  return ChangedOnSuccess(Changes::kSets, SearchByTextAs("RQ7SearchByTextSJIS", TextSearchRoad::kTaskSJIS,
                                                         table_id, set_id, text));
}
