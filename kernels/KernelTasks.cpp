// Start-up registration of kernels/'s worker tasks: the counting sorts and the filter sorts.
#include "kernels/KernelTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"
#include "kernels/IntegratedSort.h"
#include "kernels/MppCountingSort.h"
#include "kernels/MppCountup.h"
#include "kernels/MppExtractUnique.h"
#include "kernels/RowFilters.h"
#include "kernels/SetOps.h"

void RegisterKernelTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskSingleSortCountup, mpp_single_sort_countup);
    RegisterMppTask(kMppTaskSingleSortTransfer, mpp_single_sort_transfer);
    RegisterMppTask(kMppTaskMultiSortCountup, mpp_multi_sort_countup);
    RegisterMppTask(kMppTaskMultiSortTransfer, mpp_multi_sort_transfer);
    RegisterMppTask(kMppTaskSortStep2, mpp_sort_2step);
    RegisterMppTask(kMppTaskSortStep3, mpp_sort_3step);
    RegisterMppTask(kMppTaskToBitmap, mpp_tobitmap);
    RegisterMppTask(kMppTaskMoveRec, mpp_move_rec);
    RegisterMppTask(kMppTaskSingleSortNFilterCountup, mpp_single_sort_n_filter_countup);
    RegisterMppTask(kMppTaskSingleSortNFilterTransfer, mpp_single_sort_n_filter_transfer);
    RegisterMppTask(kMppTaskMultiSortNFilterCountup, mpp_multi_sort_n_filter_countup);
    RegisterMppTask(kMppTaskMultiSortNFilterTransfer, mpp_multi_sort_n_filter_transfer);
    RegisterMppTask(kMppTaskSortNFilterStep2, mpp_sort_n_filter_2step);
    RegisterMppTask(kMppTaskSortNFilterStep3, mpp_sort_n_filter_3step);
    RegisterMppTask(kMppTaskRenumberVlord, mpp_renumber_vlord);
    RegisterMppTask(kMppTaskCountupStep1, mpp_countup_step1);
    RegisterMppTask(kMppTaskCountupStep2, mpp_countup_step2);
    RegisterMppTask(kMppTaskExtractUnique, mpp_extract_unique);
  });
}
