// The worker tasks of kernels/: the counting sorts (MppCountingSort.h), the sorts with filter
// (IntegratedSort.h), the bitmap setting (SetOps.h), the record move of the row filters
// (RowFilters.h), the value-number histogram (MppCountup.h) and the unique-row passes
// (MppExtractUnique.h).
#pragma once

// Puts the functions of this folder's task rows into the task table (mpp_func_map.h). Must run
// before any of them is used; the library start and every program that links kernels/ directly
// call it at start-up. Idempotent: later calls do nothing, so they never write the table while
// tasks read it.
void RegisterKernelTasks();
