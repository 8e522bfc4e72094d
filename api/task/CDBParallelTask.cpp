// The one task object: its instance, the global MPTask pointer and DBTASK().
#include "api/task/CDBParallelTask.h"

CDBParallelTask* MPTask = CDBParallelTask::Instance();

CDBParallelTask* CDBParallelTask::Instance() {
  static CDBParallelTask task;
  return &task;
}

CDBTask* DBTASK() { return CDBParallelTask::Instance(); }
