// The one task object: its instance, the global MPTask pointer and DBTASK().
#include "api/task/CDBParallelTask.h"

CDBParallelTask* MPTask = CDBParallelTask::Instance();

CDBParallelTask* CDBParallelTask::Instance() {
  // Never destroyed: calls may still run on other host threads while the process ends.
  static CDBParallelTask* const task = new CDBParallelTask;
  return task;
}

CDBTask* DBTASK() { return CDBParallelTask::Instance(); }
