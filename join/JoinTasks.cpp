#include "join/JoinTasks.h"

#include <mutex>

#include "database/TJoinTable.h"
#include "foundation/mpp_func_map.h"
#include "join/JoinRecordKernels.h"
#include "join/MppJoinKeyMerge.h"

void RegisterJoinTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskFlagSet, mpp_flag_set);
    RegisterMppTask(kMppTaskJoinCutUnuse, mpp_join_cutunuse);
    RegisterMppTask(kMppTaskJoinSetupAggr, mpp_join_setup_aggr);
    RegisterMppTask(kMppTaskJoinUnique, mpp_join_unique);
    RegisterMppTask(kMppTaskJoinMergeList, mpp_join_merge_list);
    TJoinTable::RegisterRecordReaders();
  });
}
