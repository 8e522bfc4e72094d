// The parallel task's set slots.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"

int CDBParallelTask::SetNotReal(int table_id, int set_id) {
  constexpr char kLog[] = "RQ7SetNot";
  return ChangedOnSuccess(Changes::kSets, RunOp(kLog, [&] {
                            return CheckInner(kLog, FindRealTable(kLog, table_id)->SetNot(set_id));
                          }));
}

int CDBParallelTask::SetOpeReal(int table_id, int op, int set_id1, int set_id2) {
  constexpr char kLog[] = "RQ7SetOpeReal";
  return ChangedOnSuccess(Changes::kSets, RunOp(kLog, [&] {
                            return CheckInner(kLog, FindTable(kLog, table_id)->SetOpe(op, set_id1, set_id2));
                          }));
}
