// The parallel task table: the 72 numbered tasks the worker pool runs, and their registration.
#include "foundation/mpp_func_map.h"

#include <cassert>

#include "foundation/zpk_memory.h"

// Constant-initialised, so the table is in place before any code runs; the functions of later
// folders are filled in by their registration calls at start-up.
MppFuncMapEntry mpp_func_map[kMppTaskCount] = {
    {"Q7_MPP_DUMMY", "Dummy", nullptr},                                         // 0
    {"Q7_MPP_IMPORT_PARSE", "Parallel Import Step1", nullptr},                  // 1 mpp_import_step1
    {"Q7_MPP_IMPORT_MERGE", "Parallel Import Step2", nullptr},                  // 2 mpp_import_step2
    {"Q7_MPP_EXPORT", "Parallel Export ", nullptr},                             // 3 mpp_export_createCsv
    {"Q7_MPP_SINGLE_SORT_COUNTUP", "Parallel Single Sort CountUp", nullptr},    // 4 mpp_single_sort_countup
    {"Q7_MPP_SINGLE_SORT_TRANSFER", "Parallel Single Sort Transfer", nullptr},  // 5 mpp_single_sort_transfer
    {"Q7_MPP_MULTI_SORT_COUNTUP", "Parallel Multi Sort CountUp", nullptr},      // 6 mpp_multi_sort_countup
    {"Q7_MPP_MULTI_SORT_TRANSFER", "Parallel Multi Sort Transfer", nullptr},    // 7 mpp_multi_sort_transfer
    {"Q7_MPP_SORT_STEP1", "Parallel Sort by 1 Step ", nullptr},                 // 8
    {"Q7_MPP_SORT_STEP2", "Parallel Multi Sort by 2 Step", nullptr},            // 9 mpp_sort_2step
    {"Q7_MPP_SORT_STEP3", "Parallel Multi Sort by 3 Step", nullptr},            // 10 mpp_sort_3step
    {"Q7_MPP_SEARCH", "Parallel Search ", nullptr},                             // 11
    {"Q7_MPP_COMBINE_REALTABLE", "Parallel Combine RealTable ", nullptr},       // 12 mpp_combine_realtables
    {"Q7_MPP_EXTRACT_REALTABLE", "Parallel Extract RealTable ", nullptr},       // 13 mpp_extract_realtables
    {"Q7_MPP_REALIZE_JOINTABLE", "Parallel Realize JoinTable ", nullptr},       // 14 mpp_realize_jointable
    {"Q7_MPP_TOBITMAP", "Parallel Bitmap Setting ", nullptr},                   // 15 mpp_tobitmap
    {"Q7_MPP_MERGE_LIST", "Parallel Merge ", nullptr},                          // 16 mpp_merge_list
    {"Q7_MPP_COMPILE", "Parallel Compile ", nullptr},                           // 17 mpp_compile
    {"Q7_MPP_TYPECONV", "Parallel Type Conversion", nullptr},                   // 18 mpp_type_conversion
    {"Q7_MPP_INTEGRATED_CALC", "Parallel Integrated Calc", nullptr},            // 19 mpp_integrated_calc
    {"Q7_MPP_CALC", "Parallel Calc", nullptr},                                  // 20 mpp_calc
    {"Q7_MPP_ITEM_TRANSFER", "Parallel Item Transfer", nullptr},                // 21 mpp_item_transfer
    {"Q7_MPP_ADD_CATEGORY", "Parallel AddCategory", nullptr},                   // 22 mpp_add_category
    {"Q7_MPP_MOVE_REC", "Parallel MoveRecForScan", nullptr},                    // 23 mpp_move_rec
    {"Q7_MPP_JOIN_INOUT", "Parallel JoinInOut", nullptr},                       // 24 mpp_join_inout
    {"Q7_MPP_JOIN_CHAIN", "Parallel Join Chain", nullptr},                      // 25 mpp_join_chain
    {"Q7_MPP_SEARCH_HELPER", "Parallel Search Helper function", nullptr},       // 26 mpp_search_helper
    {"Q7_MPP_SEARCH_NVALUES", "Parallel Search NValuesfunction", nullptr},      // 27 mpp_search_nvalues
    {"Q7_MPP_SUMMARY_MEASURE", "Parallel Summary Measure", nullptr},            // 28 mpp_summary_measure
    {"Q7_MPP_SUMMARY_UNIQUE", "Parallel Summary Unique", nullptr},              // 29 mpp_summary_unique
    {"Q7_MPP_TXT_PARSE", "Parallel Text Parser", nullptr},                      // 30 mpp_text_parser
    {"Q7_MPP_EXTRACT_UNIQUE", "Parallel Extract Unique", nullptr},              // 31 mpp_extract_unique
    {"Q7_MPP_FLAG_SET", "Parallel Flag  setting", nullptr},                     // 32 mpp_flag_set
    {"Q7_MPP_JOIN_CUTUNUSE", "Parallel Flag  setting", nullptr},                // 33 mpp_join_cutunuse
    {"Q7_MPP_CONDENSE_REALTABLE", "Parallel Condense RealTable", nullptr},      // 34 mpp_condense_realtable
    {"Q7_MPP_DUPLICATE_REALTABLE", "Parallel Duplicate RealTable", nullptr},    // 35 mpp_duplicate_realtable
    {"Q7_MPP_MEMCPY", "Parallel Memcpy", mpp_memcpy},                           // 36 mpp_memcpy
    {"Q7_MPP_RENUMBER", "Parallel Renumber after Merge ", nullptr},             // 37 mpp_renumber
    {"Q7_MPP_CATEGORIZE", "Parallel Categorize ", nullptr},                     // 38 mpp_categorize
    {"Q7_MPP_MEMSET", "Parallel Memset", mpp_memset},                           // 39 mpp_memset
    {"Q7_MPP_SINGLE_SORT_N_FILTER_COUNTUP", "Parallel Multi Sort NFilter CountUp",
     nullptr},  // 40 mpp_single_sort_n_filter_countup
    {"Q7_MPP_SINGLE_SORT_N_FILTER_TRANSFER", "Parallel Multi Sort NFilter Transfer",
     nullptr},  // 41 mpp_single_sort_n_filter_transfer
    {"Q7_MPP_MULTI_SORT_N_FILTER_COUNTUP", "Parallel Multi Sort NFilter CountUp",
     nullptr},  // 42 mpp_multi_sort_n_filter_countup
    {"Q7_MPP_MULTI_SORT_N_FILTER_TRANSFER", "Parallel Multi Sort NFilter Transfer",
     nullptr},  // 43 mpp_multi_sort_n_filter_transfer
    {"Q7_MPP_SORT_N_FILTER_STEP2", "Parallel Multi Sort NFilter CountUp",
     nullptr},  // 44 mpp_sort_n_filter_2step
    {"Q7_MPP_SORT_N_FILTER_STEP3", "Parallel Multi Sort NFilter Transfer",
     nullptr},                                                      // 45 mpp_sort_n_filter_3step
    {"Q7_MPP_RENUMBER_VLORD", "Parallel VLORD Renumber", nullptr},  // 46 mpp_renumber_vlord
    {"Q7_MPP_CUBESUM_MEASURE_STEP1", "Parallel CubeSum Measure Step1",
     nullptr},  // 47 mpp_cubesum_measure_step1
    {"Q7_MPP_CUBESUM_MEASURE_STEP2", "Parallel CubeSum Measure Step2",
     nullptr},  // 48 mpp_cubesum_measure_step2
    {"Q7_MPP_CUBESUM_CELLADDR_CALC", "Parallel FastNonCubeSum CellAddr Calc",
     nullptr},  // 49 mpp_cubesum_celladdr_calc
    {"Q7_MPP_CUBESUM_COUNTARR", "Parallel FastNonCubeSum CellAddr Calc", nullptr},  // 50 mpp_cubesum_countarr
    {"Q7_MPP_FAST_CUBESUM_MEASURE_STEP1", "Parallel CubeSum Measure Step1",
     nullptr},  // 51 mpp_fastcubesum_measure_step1
    {"Q7_MPP_MULTI_HALFSORT_COUNTUP", "Parallel Multi HalfSort CountUp",
     nullptr},  // 52 mpp_multi_halfsort_countup
    {"Q7_MPP_MULTI_HALFSORT_TRANSFER", "Parallel Multi HalfSort Transfer",
     nullptr},  // 53 mpp_multi_halfsort_transfer
    {"Q7_MPP_FASTNONCUBESUM_CELLADDR_CALC", "Parallel FastNonCubeSum CellAddr Calc",
     nullptr},  // 54 mpp_fastnoncubesum_celladdr_calc
    {"Q7_MPP_FASTNONCUBESUM_RENUMBER", "Parallel FastNonCubeSum CellAddr Calc",
     nullptr},  // 55 mpp_fastnoncubesum_renumber
    {"Q7_MPP_FASTNONCUBESUM_MEASURE", "Parallel FastNonCubeSum Measure",
     nullptr},                                                             // 56 mpp_fastnoncubesum_measure
    {"Q7_MPP_JOIN_SUMMARY_MEASURE", "Parallel Summary Measure", nullptr},  // 57 mpp_join_summary_measure
    {"Q7_MPP_JOIN_SUMMARY_ADD_DIMENSION_FILTER", "Parallel Summary Dimension addition",
     nullptr},  // 58 mpp_join_summary_add_dimension_filter
    {"Q7_MPP_SINGLE_JOINKEY_SORT_TRANSFER", "Parallel Single JoinKey Sort Transfer",
     nullptr},  // 59 mpp_single_joinkey_sort_transfer
    {"Q7_MPP_MULTI_CELLADDR_SORT_COUNTUP", "Parallel Multi Sort CountUp",
     nullptr},  // 60 mpp_multi_celladdr_sort_countup
    {"Q7_MPP_MULTI_CELLSORT_SORT_TRANSFER", "Parallel Multi Sort Transfer",
     nullptr},  // 61 mpp_multi_celladdr_sort_transfer
    {"Q7_MPP_CELLADDR_SORT_STEP2", "Parallel Multi Sort by 2 Step", nullptr},  // 62 mpp_celladdr_sort_2step
    {"Q7_MPP_JOIN_SETUP_AGGR", "Parallel join setup Aggr", nullptr},           // 63 mpp_join_setup_aggr
    {"Q7_MPP_JOIN_UNIQUE", "Parallel Join Unique", nullptr},                   // 64 mpp_join_unique
    {"Q7_MPP_JOIN_MERGE_LIST", "Parallel Join Merge ", nullptr},               // 65 mpp_join_merge_list
    {"Q7_MPP_COUNTUP_STEP1", "Parallel CountUp Step1", nullptr},               // 66 mpp_countup_step1
    {"Q7_MPP_COUNTUP_STEP2", "Parallel CountUp Step2", nullptr},               // 67 mpp_countup_step2
    {"Q7_MPP_NONCUBE_MEASURE_FINIT", "Parallel Fast Summary Measure Finit",
     nullptr},                                                              // 68 mpp_noncube_measure_finit
    {"Q7_MPP_NONCUBE_MEASURE", "Parallel Fast Summary Measure2", nullptr},  // 69 mpp_noncube_measure
    {"Q7_MPP_SINGLE_CELLADDR_SORT_COUNTUP", "Parallel Single CellSort countup",
     nullptr},  // 70 mpp_single_celladdr_sort_countup
    {"Q7_MPP_SINGLE_CELLSORT_SORT_TRANSFER", "Parallel Parallel Single CellSort transfer",
     nullptr},  // 71 mpp_single_celladdr_sort_transfer
};

bool MppTaskIdIsRunnable(int id) {
  return id > kMppTaskDummy && id < kMppTaskCount && id != kMppTaskSortStep1 && id != kMppTaskSearch;
}

void RegisterMppTask(int id, MppTaskFunc func) {
  assert(MppTaskIdIsRunnable(id) && "task id cannot carry a function");
  if (MppTaskIdIsRunnable(id)) mpp_func_map[id].func = func;
}
