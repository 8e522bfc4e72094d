// Parallel counting and radix sorts of a row list by one filter's value numbers, on the engine's
// worker pool.
//
// Shapes as in kernels/CountingSort.h: n 1-based rows, vno indexed by record number with value
// numbers in 0 .. nValues-1 (0 = NULL), an output of n entries owned by the caller (it must not
// overlap rows). Every sort is stable: rows with equal value numbers keep their input order. Every
// path gives exactly the order of CountingSort.
//
// MppCountingSort chooses:
//   (nValues >> 10) >= n     MppScopeCSort   (dense renumbering through the parallel compiler)
//   nValues <= 65536         SingleStep_Sort (one counting pass, tasks 4 and 5)
//   otherwise                MultiStep_Sort  (two-digit radix, tasks 6, 7 and 9)
// Direction 0 ascends and 1 descends; the scoped path refuses any other direction with
// Q7_ERROR_INVALID_PARAMETER (after the "Aggregate" error-ring entry), the other two take it as
// descending.
//
// Failures are thrown as CQ7Exception (Q7_ERROR_OUT_OF_MEMORY from an allocation, on the calling
// thread or in a task); every work array of the call is released first, and out is then
// undefined.
//
// Thread safety: drive the pool, so call from the thread that holds the API lock, never from a
// task. The tasks write disjoint memory: own counters, own cache entries, and output positions
// reserved by the prefix step on the calling thread.
#pragma once

#include "kernels/RadixPlan.h"

void MppCountingSort(int dir, int n, const int* rows, int* out, const int* vno, int nValues, int noCache);

// ScopeCSort with the gathered value numbers compiled by MppCompile.
void MppScopeCSort(int dir, int n, const int* rows, int* out, const int* vno);

// One counting pass on the pool: per-worker counters of nValues entries. With noCache 0 the value
// numbers read in the counting pass are kept (in a scratch block, skipped when none is available)
// so the placing pass does not read vno again.
void SingleStep_Sort(int dir, int n, const int* rows, int* out, const int* vno, int nValues, int noCache);

// As SingleStep_Sort without a cache, and perValueCount[v] (nValues entries, caller's) receives the
// number of rows with value number v.
void SingleStep_SortEx(int dir, int n, const int* rows, int* out, const int* vno, int nValues,
                       int* perValueCount);

// Two-digit radix sort planned by build_radix_info(nValues, n).
void MultiStep_Sort(int dir, int n, const int* rows, int* out, const int* vno, int nValues);

// The radix sort with a given plan: two digits (task 9) or three (task 10, digits = 3). Value
// numbers must lie within plan.allMask. MultiStep_Sort runs this with a two-digit plan.
void MultiStep_SortWithPlan(int dir, int n, const int* rows, int* out, const int* vno,
                            const _RADIX_INFO_& plan, int digits);

// Task functions (rows 4, 5, 6, 7, 9, 10 of mpp_func_map); each takes its worker's parameter
// block and returns 0 or a negative error code.
int mpp_single_sort_countup(void* param);
int mpp_single_sort_transfer(void* param);
int mpp_multi_sort_countup(void* param);
int mpp_multi_sort_transfer(void* param);
int mpp_sort_2step(void* param);
int mpp_sort_3step(void* param);
