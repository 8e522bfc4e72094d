#include "summary/SummaryTasks.h"

#include <mutex>

#include "foundation/mpp_func_map.h"
#include "summary/CellAddrSort.h"
#include "summary/FastCubeSum.h"
#include "summary/MppCubeSum.h"

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
  });
}
