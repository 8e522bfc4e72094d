// The parallel task's join-chain slots: a chain of inner joins realised as a tree table on the
// worker pool.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TTableCollection.h"

int CDBParallelTask::RealizeJoinChain(char* name, int* join_ids, int* table_ids_out, int (*sets_out)[510]) {
  return RealizeJoinChainEx(name, join_ids, 0, nullptr, table_ids_out, sets_out);
}

int CDBParallelTask::RealizeJoinChainEx(char* name, int* join_ids, int count, int (*column_ids)[4],
                                        int* table_ids_out, int (*sets_out)[510]) {
  constexpr char kLog[] = "RQ7RealizeJoinChain";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        TTableCollection* db = RequireDatabase(kLog);
        return CheckInner(
            kLog, db->MppRealizeJoinChain(name, join_ids, count, column_ids, table_ids_out, sets_out), "");
      }));
}
