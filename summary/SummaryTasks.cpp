// Start-up registration of the summary's worker-pool tasks (the cell-address sorts).
#include "summary/SummaryTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"
#include "summary/category/TCatDef.h"
#include "summary/noncube/CellAddrSort.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/FastNonCubeSum.h"
#include "summary/noncube/MppCubeSum.h"
#include "summary/noncube/TNonCubeSum.h"

// The parallel categorising task (summary/category/TRealTable_mppcategory.cpp).
int mpp_add_category(void* param);

void RegisterSummaryTasks() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterMppTask(kMppTaskMultiCelladdrSortCountup, mpp_multi_celladdr_sort_countup);
    RegisterMppTask(kMppTaskMultiCellsortSortTransfer, mpp_multi_celladdr_sort_transfer);
    RegisterMppTask(kMppTaskCelladdrSortStep2, mpp_celladdr_sort_2step);
    RegisterMppTask(kMppTaskSingleCelladdrSortCountup, mpp_single_celladdr_sort_countup);
    RegisterMppTask(kMppTaskSingleCellsortSortTransfer, mpp_single_celladdr_sort_transfer);
    RegisterMppTask(kMppTaskCubesumMeasureStep1, mpp_cubesum_measure_step1);
    RegisterMppTask(kMppTaskCubesumMeasureStep2, mpp_cubesum_measure_step2);
    RegisterMppTask(kMppTaskCubesumCelladdrCalc, mpp_cubesum_celladdr_calc);
    RegisterMppTask(kMppTaskCubesumCountarr, mpp_cubesum_countarr);
    RegisterMppTask(kMppTaskFastCubesumMeasureStep1, mpp_fastcubesum_measure_step1);
    RegisterMppTask(kMppTaskMultiHalfsortCountup, mpp_multi_halfsort_countup);
    RegisterMppTask(kMppTaskMultiHalfsortTransfer, mpp_multi_halfsort_transfer);
    RegisterMppTask(kMppTaskFastNonCubesumCelladdrCalc, mpp_fastnoncubesum_celladdr_calc);
    RegisterMppTask(kMppTaskFastNonCubesumRenumber, mpp_fastnoncubesum_renumber);
    RegisterMppTask(kMppTaskFastNonCubesumMeasure, mpp_fastnoncubesum_measure);
    RegisterMppTask(kMppTaskNoncubeMeasureFinit, TNonCubeSum::mpp_noncube_measure_finit);
    RegisterMppTask(kMppTaskNoncubeMeasure, TNonCubeSum::mpp_noncube_measure);
    RegisterMppTask(kMppTaskSummaryMeasure, TNonCubeSum::mpp_summary_measure);
    RegisterMppTask(kMppTaskSummaryUnique, TNonCubeSum::mpp_summary_unique);
    RegisterMppTask(kMppTaskJoinSummaryMeasure, TNonCubeSum::mpp_join_summary_measure);
    RegisterMppTask(kMppTaskJoinSummaryAddDimensionFilter,
                    TNonCubeSum::mpp_join_summary_add_dimension_filter);
    RegisterMppTask(kMppTaskSingleJoinkeySortTransfer, TNonCubeSum::mpp_single_joinkey_sort_transfer);
    RegisterMppTask(kMppTaskAddCategory, mpp_add_category);
    RegisterMppTask(kMppTaskCategorize, mpp_categorize);
  });
}
