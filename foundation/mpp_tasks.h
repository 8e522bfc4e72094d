// The numbers of the worker-pool tasks: the rows of the parallel task table (mpp_func_map.h), one
// per id text "Q7_MPP_...". Every folder that runs or registers a task names it from here, so two
// folders can never claim one row.
//
// A plain (unscoped) enumeration on purpose: the pool, the table and the worker parameter blocks
// carry the task as an int row number, and these convert to it without casts.
#pragma once

enum MppTaskId : int {
  kMppTaskDummy = 0,  // reserved: ends a worker thread
  kMppTaskImportParse = 1,
  kMppTaskImportMerge = 2,
  kMppTaskExport = 3,
  kMppTaskSingleSortCountup = 4,
  kMppTaskSingleSortTransfer = 5,
  kMppTaskMultiSortCountup = 6,
  kMppTaskMultiSortTransfer = 7,
  kMppTaskSortStep1 = 8,  // never carries a function
  kMppTaskSortStep2 = 9,
  kMppTaskSortStep3 = 10,
  kMppTaskSearch = 11,  // never carries a function
  kMppTaskCombineRealTable = 12,
  kMppTaskExtractRealTable = 13,
  kMppTaskRealizeJoinTable = 14,
  kMppTaskToBitmap = 15,
  kMppTaskMergeList = 16,
  kMppTaskCompile = 17,
  kMppTaskTypeConv = 18,
  kMppTaskIntegratedCalc = 19,
  kMppTaskCalc = 20,
  kMppTaskItemTransfer = 21,
  kMppTaskAddCategory = 22,
  kMppTaskMoveRec = 23,
  kMppTaskJoinInOut = 24,
  kMppTaskJoinChain = 25,
  kMppTaskSearchHelper = 26,
  kMppTaskSearchNValues = 27,
  kMppTaskSummaryMeasure = 28,
  kMppTaskSummaryUnique = 29,
  kMppTaskTxtParse = 30,
  kMppTaskExtractUnique = 31,
  kMppTaskFlagSet = 32,
  kMppTaskJoinCutUnuse = 33,
  kMppTaskCondenseRealTable = 34,
  kMppTaskDuplicateRealTable = 35,
  kMppTaskMemcpy = 36,
  kMppTaskRenumber = 37,
  kMppTaskCategorize = 38,
  kMppTaskMemset = 39,
  kMppTaskSingleSortNFilterCountup = 40,
  kMppTaskSingleSortNFilterTransfer = 41,
  kMppTaskMultiSortNFilterCountup = 42,
  kMppTaskMultiSortNFilterTransfer = 43,
  kMppTaskSortNFilterStep2 = 44,
  kMppTaskSortNFilterStep3 = 45,
  kMppTaskRenumberVlord = 46,
  kMppTaskCubesumMeasureStep1 = 47,
  kMppTaskCubesumMeasureStep2 = 48,
  kMppTaskCubesumCelladdrCalc = 49,
  kMppTaskCubesumCountarr = 50,
  kMppTaskFastCubesumMeasureStep1 = 51,
  kMppTaskMultiHalfsortCountup = 52,
  kMppTaskMultiHalfsortTransfer = 53,
  kMppTaskFastNonCubesumCelladdrCalc = 54,
  kMppTaskFastNonCubesumRenumber = 55,
  kMppTaskFastNonCubesumMeasure = 56,
  kMppTaskJoinSummaryMeasure = 57,
  kMppTaskJoinSummaryAddDimensionFilter = 58,
  kMppTaskSingleJoinkeySortTransfer = 59,
  kMppTaskMultiCelladdrSortCountup = 60,
  kMppTaskMultiCellsortSortTransfer = 61,
  kMppTaskCelladdrSortStep2 = 62,
  kMppTaskJoinSetupAggr = 63,
  kMppTaskJoinUnique = 64,
  kMppTaskJoinMergeList = 65,
  kMppTaskCountupStep1 = 66,
  kMppTaskCountupStep2 = 67,
  kMppTaskNoncubeMeasureFinit = 68,
  kMppTaskNoncubeMeasure = 69,
  kMppTaskSingleCelladdrSortCountup = 70,
  kMppTaskSingleCellsortSortTransfer = 71,
};

// The number of rows of the task table.
constexpr int kMppTaskCount = 72;
static_assert(kMppTaskSingleCellsortSortTransfer + 1 == kMppTaskCount);
