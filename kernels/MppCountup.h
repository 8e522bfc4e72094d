// Parallel value-number histogram for very large value lists.
//
// Thread safety: drives the worker pool: call from the thread holding the API lock, never from a
// task. Tasks write only their own counters (step 1) or disjoint value ranges (step 2).
#pragma once

// The result of CountupNExist: counts[v] (nValues entries, caller's) = number of the n rows whose
// vno[row] is v. Counts on the pool only for nValues >= 1048576 with at least two active workers
// and when (active workers x nValues) is at most half of the free memory getSystemMemInfo reports;
// otherwise, and for the engine's usual figures, serially. Failures throw CQ7Exception
// (Q7_ERROR_OUT_OF_MEMORY); counts is then undefined.
void MppCountupNExistN(int n, const int* rows, int nValues, const int* vno, int* counts);

// The parallel counting itself (tasks 66 and 67), whatever the sizes: worker 0 counts into the
// caller's array, the others into private arrays of nValues counters that are then added in by
// value-number ranges. Same result and failures as above.
void MppCountupNExistNParallel(int n, const int* rows, int nValues, const int* vno, int* counts);

// Task functions (rows 66 and 67 of mpp_func_map).
int mpp_countup_step1(void* param);
int mpp_countup_step2(void* param);
