// The parallel task's non-cube summary slot: one request, five engines that give the same table.
#include <climits>

#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "summary/FastCubeSum.h"
#include "summary/FastNonCubeSum.h"
#include "summary/MppCubeSum.h"
#include "summary/SummaryMethod.h"
#include "summary/TNonCubeSum.h"

namespace {

// The sort-based driver (method 4, and every join table). Its refusals come as CQ7Exception.
int RunNonCubeDriver(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                     const int* measures, const int* masks, const int* decimals) {
  TNonCubeSum summary;
  summary.MppRun(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
  return summary.Result();
}

}  // namespace

int CDBParallelTask::NonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                                const int* measures, const int* masks, const int* decimals) {
  constexpr char kLog[] = "RQ7NonCubeSum";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        TBaseTable* table = FindTable(kLog, table_id);
        try {
          if (table->GetType() == TBaseTable::kTypeJoin) {
            return RunNonCubeDriver(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
          }
          static_cast<TRealTable*>(table)->CheckMergeFilterTVL(true);
          // The request rules are the driver's whichever engine runs, and only the driver rounds the
          // values of a double measure that has decimals: such a request always runs there.
          TNonCubeSum request;
          request.MppCheckRequest(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
          bool rounds = false;
          for (int m = 0; m < request.n_measures_; ++m) rounds = rounds || request.round_factors_[m] > 0;
          const int method =
              rounds ? 4 : GetSuitableSumMethod(table_id, set_id, n_dims, dims, n_measures, measures, masks);
          int result = 0;
          switch (method) {
            case 0:
              result = MppCubeSum(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
              break;
            case 1:
              result = MppFastCubeSum(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
              break;
            case 2:
            case 3:
              result = MppFastNonCubeSum(table_id, set_id, n_dims, dims, n_measures, measures, masks,
                                         decimals, method == 2 ? 1 : 0);
              break;
            case 4:
              return RunNonCubeDriver(table_id, set_id, n_dims, dims, n_measures, measures, masks, decimals);
            default:
              return 0;
          }
          // Method 4 registers (and drops) a set of representative rows; the other engines use up the
          // same set ID, so what the host's next set is called does not depend on the engine.
          if (result >= 1 && table->FMaxSetID < INT_MAX) ++table->FMaxSetID;
          return result;
        } catch (const CQ7Exception& e) {
          throw CQ7Exception(e.ErrorCode(), "Failed to create NonCubeSum");
        }
      }));
}
