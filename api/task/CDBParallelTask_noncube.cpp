// The parallel task's non-cube summary slot: the summary layer chooses and runs the engine.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "foundation/CQ7Exception.h"
#include "summary/SummaryMethod.h"

int CDBParallelTask::NonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                                const int* measures, const int* masks, const int* decimals) {
  constexpr char kLog[] = "RQ7NonCubeSum";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            TBaseTable* table = FindTable(kLog, table_id);
                            try {
                              return RunNonCubeSummary(table, table_id, set_id, n_dims, dims, n_measures,
                                                       measures, masks, decimals);
                            } catch (const CQ7Exception& e) {
                              throw CQ7Exception(e.ErrorCode(), "Failed to create NonCubeSum");
                            }
                          }));
}
