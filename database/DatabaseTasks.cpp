// Start-up registration of database/'s worker tasks: the parallel set searches and derived columns.
#include "database/DatabaseTasks.h"

#include <mutex>

#include "database/MppDerive.h"
#include "database/TSetArray.h"
#include "foundation/mpp_func_map.h"

void RegisterDatabaseTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskSearchHelper, mpp_search_helper);
    RegisterMppTask(kMppTaskSearchNValues, mpp_search_nvalues);
    RegisterMppTask(kMppTaskCombineRealTable, mpp_combine_realtables);
    RegisterMppTask(kMppTaskExtractRealTable, mpp_extract_realtables);
    RegisterMppTask(kMppTaskCondenseRealTable, mpp_condense_realtable);
    RegisterMppTask(kMppTaskDuplicateRealTable, mpp_duplicate_realtable);
  });
}
