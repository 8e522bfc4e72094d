// The parallel task's categorising slot.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TRealTable.h"

int CDBParallelTask::AddCategoryReal(int table_id, int target_filter_id, int category_table_id) {
  constexpr char kLog[] = "RQ7AddCategoryReal";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        TBaseTable* table = FindTable(kLog, table_id);
        // Checked before anything is read: a table mapped read-only never gets the new filter.
        RefuseShared(table);
        return RequireReal(kLog, table)->MppAddCategory(target_filter_id, category_table_id);
      }));
}
