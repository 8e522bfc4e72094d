// Start-up registration of the join's worker-pool tasks.
#include "join/JoinTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"
#include "join/JoinChain.h"
#include "join/JoinInOut.h"
#include "join/JoinRealize.h"
#include "join/JoinRecordKernels.h"
#include "join/MppJoinKeyMerge.h"
#include "join/TJoinTable.h"

void RegisterJoinTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskFlagSet, mpp_flag_set);
    RegisterMppTask(kMppTaskJoinCutUnuse, mpp_join_cutunuse);
    RegisterMppTask(kMppTaskJoinSetupAggr, mpp_join_setup_aggr);
    RegisterMppTask(kMppTaskJoinUnique, mpp_join_unique);
    RegisterMppTask(kMppTaskJoinMergeList, mpp_join_merge_list);
    RegisterMppTask(kMppTaskJoinChain, mpp_join_chain);
    RegisterMppTask(kMppTaskJoinInOut, mpp_join_inout);
    RegisterMppTask(kMppTaskItemTransfer, mpp_item_transfer);
    RegisterMppTask(kMppTaskRealizeJoinTable, mpp_realize_jointable);
    TJoinTable::RegisterRecordReaders();
  });
}
