// The parallel task's sort slots.
#include "api/ops/OpCommon.h"
#include "api/ops/ops_search.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"

int CDBParallelTask::ServiceSortByN(int n, int* values, int* non_zero_count, int* non_zero_index,
                                    int* order) {
  return ChangedOnSuccess(Changes::kSets, ServiceSortByNAs("RQ7ServiceSortByN", n, values, non_zero_count,
                                                           non_zero_index, order));
}

int CDBParallelTask::SortByField(int table_id, int filter_id, int set_id, int dir) {
  constexpr char kLog[] = "RQ7SortByField";
  return ChangedOnSuccess(Changes::kSets, RunOp(kLog, [&] {
                            // 0 and 1 only; a negative direction reads as a large unsigned value.
                            if (static_cast<unsigned>(dir) > 1) {
                              Refuse(kLog, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
                                     "Invalid Parameter : SortDir(%d)", dir);
                            }
                            return CheckInner(
                                kLog, FindTable(kLog, table_id)->MppSortByField(filter_id, set_id, dir));
                          }));
}

int CDBParallelTask::IntegratedSortByField(int table_id, int set_id, const int* filter_ids, const int* dirs) {
  constexpr char kLog[] = "RQ7IntegratedSortByField";
  return ChangedOnSuccess(Changes::kSets, RunOp(kLog, [&] {
                            TBaseTable* table = FindTable(kLog, table_id);
                            if (table->GetType() != TBaseTable::kTypeReal)
                              RefuseSilently(Q7_ERROR_NOT_REAL_TABLE);
                            auto* real = static_cast<TRealTable*>(table);
                            real->CheckMergeFilterTVL(true);
                            return CheckInner(kLog, real->MppIntegratedSortByField(set_id, filter_ids, dirs));
                          }));
}
