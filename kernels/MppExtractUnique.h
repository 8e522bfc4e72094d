// Unique rows on the engine's worker pool (task 31 "Q7_MPP_EXTRACT_UNIQUE"): the first row of each
// run of equal keys in a sorted row list, and the set-order pass that follows when the set's order
// is kept.
//
// Shapes as in kernels/CountingSort.h: rows are 1-based record numbers, and each column is a
// value-number array indexed by record number. Two rows have the same key when their value numbers
// are equal in every column (NULL, value number 0, is a value like any other).
//
// Thread safety: the functions drive the pool, so call them from the thread that holds the API
// lock, never from a task. Every step's workers write disjoint memory: their own range of the
// output, their own count, or the marks of distinct records; the calling thread joins the ranges
// after every worker has ended. Results do not depend on the worker count.
#pragma once

#include "foundation/CWorkThread.h"

// The steps task 31 runs. kPick is the parallel unique extraction's pick; the others serve the
// unique-row operation, which reads run starts from its sort instead of comparing value numbers.
enum class UniqueStep : int {
  kPick = 0,     // write the range's first row and every row whose key differs from the one before
  kCountStarts,  // count the flagged positions of the range
  kWriteStarts,  // write the rows at flagged positions from out[offset] on
  kMark,         // marks[row] = 1 for the range's rows (with starts: those at flagged positions)
  kCountMarked,  // count the range's rows that are marked
  kWriteMarked,  // write the range's marked rows from out[offset] on
};

// Worker parameter block of task 31.
struct ExtractUniqueParam {
  MppParamHeader header;
  int first;              // first position of the worker's range
  int end;                // one past its last
  int nFilters;           // kPick: columns of the key
  const int* sorted;      // the rows the range indexes
  int* out;               // kPick writes from out[first] on, the write steps from out[offset] on
  const int* const* vno;  // kPick: nFilters value-number arrays
  int kept;               // set by the worker: rows it wrote (kPick) or counted
  UniqueStep step;
  const char* starts;    // run-start flags by position (kCountStarts, kWriteStarts, kMark or null)
  unsigned char* marks;  // by record number (kMark, kCountMarked, kWriteMarked)
  int offset;
};

// Writes into out (n entries, the caller's; it must not overlap sorted) the first of the n sorted
// rows and every row whose key differs from the key of the row before it, in sorted order; returns
// how many it wrote. Each worker picks its own range; a run of equal keys that spans two ranges
// yields one row at the join. n < 1 writes nothing and returns 0.
int MppPickUniqueSorted(int n, const int* sorted, int nFilters, const int* const* vno, int* out);

// As MppPickUniqueSorted, with the run starts given: starts[p] != 0 where a new key begins at
// sorted position p (position 0 must be flagged). No value number is read.
int MppPickRunStarts(int n, const int* sorted, const char* starts, int* out);

// The picked rows in the set's order: marks (records + 1 bytes, zeroed by the caller) receives a 1
// for each of the picked rows (distinct records of the set), then the set's rows that are marked
// are written into out in the set's order (n entries). Returns how many rows of the set are marked,
// which is more than picked when a picked record stands twice in the set; out is then not written.
int MppKeepSetOrder(int n, const int* set_rows, int picked, const int* kept, unsigned char* marks, int* out);

// MppKeepSetOrder for the rows MppPickRunStarts would pick from sorted (n rows, a permutation of
// set_rows) and starts, without writing them out first. Returns the number of marked rows of the
// set and sets *runs to the number of runs; out is written only when the two agree.
int MppKeepSetOrderOfRunStarts(int n, const int* set_rows, const int* sorted, const char* starts,
                               unsigned char* marks, int* out, int* runs);

// Task function of row 31 of mpp_func_map: one step over one worker's range. Returns 0.
int mpp_extract_unique(void* param);
