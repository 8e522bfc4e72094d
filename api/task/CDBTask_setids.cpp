// The task object's set-ID service.
#include "api/ops/OpCommon.h"
#include "api/task/CDBTask.h"
#include "database/TBaseTable.h"
#include "foundation/CQ7Exception.h"
#include "foundation/FailureCode.h"

int CDBTask::ResetSetID(int table_id, int set_id) {
  // Silent: no RunOp, whose catch would record a failure.
  try {
    TBaseTable* table = FindTable("RQ7ResetSetID", table_id, MissEntry::kNone);
    return ChangedOnSuccess(Changes::kSets, table->ResetSetID(table_id, set_id));
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}
