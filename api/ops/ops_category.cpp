// The operation layer's serial categorising: a new filter of category values over a real table.
#include "api/ops/ops_category.h"

#include "api/ops/OpCommon.h"
#include "database/TRealTable.h"

int innerQ7AddCategoryReal(int table_id, int target_filter_id, int category_table_id) {
  constexpr char kLog[] = "Q7AddCategoryReal";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            TBaseTable* table = FindTable(kLog, table_id);
                            RefuseShared(table);
                            return RequireReal(kLog, table)->AddCategory(target_filter_id, category_table_id);
                          }));
}
