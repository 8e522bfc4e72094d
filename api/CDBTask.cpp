#include "api/CDBTask.h"

#include "foundation/ErrorRing.h"

int CDBTask::GetErrorLog(int* time, char* api, int* code, char* message) {
  ErrorRing* ring = GetErrorRing();
  return ring ? ring->Get(time, api, code, message) : 0;
}

CDBTask* DBTASK() {
  static CDBTask task;
  return &task;
}
