// The start-up registration of the worker tasks, as this binary's main makes it for the folders it
// links (values/, kernels/, database/): each task function sits in the row whose id text names it,
// no other row carries one, and calling the registrations again changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "database/DatabaseTasks.h"
#include "database/MppDerive.h"
#include "database/TSetArray.h"
#include "foundation/mpp_func_map.h"
#include "foundation/zpk_memory.h"
#include "kernels/IntegratedSort.h"
#include "kernels/KernelTasks.h"
#include "kernels/MppCountingSort.h"
#include "kernels/MppCountup.h"
#include "kernels/MppExtractUnique.h"
#include "kernels/RowFilters.h"
#include "kernels/SetOps.h"
#include "values/MppCompile.h"
#include "values/TypeConv.h"
#include "values/ValueTasks.h"

namespace {

// Keyed by the id text, not the row number, so a wrong number in mpp_tasks.h shows up here.
struct Row {
  const char* id;
  MppTaskFunc func;
};
const Row kRows[] = {
    {"Q7_MPP_MEMCPY", mpp_memcpy},
    {"Q7_MPP_MEMSET", mpp_memset},
    {"Q7_MPP_MERGE_LIST", mpp_merge_list},
    {"Q7_MPP_COMPILE", mpp_compile},
    {"Q7_MPP_TYPECONV", mpp_type_conversion},
    {"Q7_MPP_RENUMBER", mpp_renumber},
    {"Q7_MPP_SINGLE_SORT_COUNTUP", mpp_single_sort_countup},
    {"Q7_MPP_SINGLE_SORT_TRANSFER", mpp_single_sort_transfer},
    {"Q7_MPP_MULTI_SORT_COUNTUP", mpp_multi_sort_countup},
    {"Q7_MPP_MULTI_SORT_TRANSFER", mpp_multi_sort_transfer},
    {"Q7_MPP_SORT_STEP2", mpp_sort_2step},
    {"Q7_MPP_SORT_STEP3", mpp_sort_3step},
    {"Q7_MPP_TOBITMAP", mpp_tobitmap},
    {"Q7_MPP_MOVE_REC", mpp_move_rec},
    {"Q7_MPP_SINGLE_SORT_N_FILTER_COUNTUP", mpp_single_sort_n_filter_countup},
    {"Q7_MPP_SINGLE_SORT_N_FILTER_TRANSFER", mpp_single_sort_n_filter_transfer},
    {"Q7_MPP_MULTI_SORT_N_FILTER_COUNTUP", mpp_multi_sort_n_filter_countup},
    {"Q7_MPP_MULTI_SORT_N_FILTER_TRANSFER", mpp_multi_sort_n_filter_transfer},
    {"Q7_MPP_SORT_N_FILTER_STEP2", mpp_sort_n_filter_2step},
    {"Q7_MPP_SORT_N_FILTER_STEP3", mpp_sort_n_filter_3step},
    {"Q7_MPP_RENUMBER_VLORD", mpp_renumber_vlord},
    {"Q7_MPP_COUNTUP_STEP1", mpp_countup_step1},
    {"Q7_MPP_COUNTUP_STEP2", mpp_countup_step2},
    {"Q7_MPP_EXTRACT_UNIQUE", mpp_extract_unique},
    {"Q7_MPP_SEARCH_HELPER", mpp_search_helper},
    {"Q7_MPP_SEARCH_NVALUES", mpp_search_nvalues},
    {"Q7_MPP_COMBINE_REALTABLE", mpp_combine_realtables},
    {"Q7_MPP_EXTRACT_REALTABLE", mpp_extract_realtables},
    {"Q7_MPP_CONDENSE_REALTABLE", mpp_condense_realtable},
    {"Q7_MPP_DUPLICATE_REALTABLE", mpp_duplicate_realtable},
};

void ExpectRowsAsRegistered() {
  for (int row = 0; row < kMppTaskCount; ++row) {
    const std::string id = mpp_func_map[row].id;
    SCOPED_TRACE(id);
    MppTaskFunc want = nullptr;
    for (const Row& r : kRows) {
      if (id == r.id) want = r.func;
    }
    EXPECT_EQ(mpp_func_map[row].func, want);
  }
}

TEST(TaskRegistration, EachFunctionSitsInTheRowItsIdNames) { ExpectRowsAsRegistered(); }

TEST(TaskRegistration, RepeatedCallsChangeNothing) {
  RegisterValueTasks();
  RegisterKernelTasks();
  RegisterDatabaseTasks();
  ExpectRowsAsRegistered();
}

}  // namespace
