#include "api/task/CDBParallelTask.h"

CDBParallelTask* MPTask = CDBParallelTask::Instance();

CDBParallelTask* CDBParallelTask::Instance() {
  static CDBParallelTask task;
  return &task;
}

CDBTask* DBTASK() { return CDBParallelTask::Instance(); }
