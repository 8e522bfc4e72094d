// Multi-key integrated sort: orders rows by several value-number columns at once, each ascending
// or descending, and numbers the distinct key combinations.
//
// The value numbers of a row in several columns combine by mixed-radix arithmetic into one key,
// so one parallel counting or radix sort per group of columns replaces one sort per column.
// Columns are grouped so that a group's key space stays at most 2^30 - 1; groups are sorted one
// after another, each stably on the previous one's result.
//
// Key order: the column list runs from the least significant key to the most significant — the
// LAST column decides first and the first column breaks the last ties. Rows equal in all columns
// keep their input order. NULL (value number 0) sorts first in an ascending column, last in a
// descending one.
//
// This is the array-level core. A column is a value-number array indexed by record number plus
// its value count (VLcount: value numbers run 0 .. VLcount-1); the table-level forms taking
// TFilter* (and TRealTable::MppIntegratedSortByField) fill SortKeyColumn from each filter's
// value-number array and value-list count and call these.
//
// Thread safety: the functions drive the worker pool: call them from the thread that holds the
// API lock, never from a task. Tasks write disjoint memory (own counters, positions reserved by
// the prefix step, own ranges of key numbers, counts and flags); no lock is taken.
#pragma once

#include <cstdint>
#include <vector>

#include "kernels/RadixPlan.h"

// One sort column: its value numbers by record number and its value count.
struct SortKeyColumn {
  const int* vno;
  int nValues;
};

// A sort column as the integrated sort uses it.
struct _SORT_FILT_INFO {
  const int* vno;      // the column's value numbers, by record number
  int VLcount;         // value numbers run 0 .. VLcount-1
  int64_t multiplier;  // filled per group sort
  int dir;             // 1 descending, any other value ascending
};

// A group of consecutive sort columns sorted together.
struct _FILT_GRP_ {
  int first;  // index of the group's first column
  int count;  // number of columns
};

// Sorts the n rows by the columns (dirs[i] is column i's direction) into a new zpk_malloc array in
// *outRows. The caller's rows are never written.
//
// Without a key output (outKeys null) returns 0. With one, returns the number G of distinct key
// combinations and *outKeys receives a new array of n key numbers, one per sorted position: dense
// and non-decreasing, from 1 (mode 0) or from 0 (mode 1). With unique set, *outRows is then cut
// to the first sorted row of each distinct combination (G entries).
//
// Failures return a negative code with *outRows (and *outKeys) null and nothing left allocated:
// the CQ7Exception's code (Q7_ERROR_OUT_OF_MEMORY ...), Q7_ERROR_UNKNOWN for anything else, and
// Q7_ERROR_INVALID_PARAMETER for no columns, a negative n or a null pointer where one is needed.
int SortForMultiItem(int nFilters, int n, const int* rows, const SortKeyColumn* columns, const int* dirs,
                     int** outRows, int** outKeys, int mode, int unique);

// As SortForMultiItem, but *outRows always keeps all n sorted rows, and with a key output:
// counts (caller's, at least G entries; n always suffices) receives the row count of each distinct
// combination in key-number order; with unique set, firstRows (caller's, n entries) receives the
// first sorted row of each distinct combination in key-number order (its entries past G are
// undefined).
int SortForMultiItemEx(int nFilters, int n, const int* rows, const SortKeyColumn* columns, const int* dirs,
                       int** outRows, int** outKeys, int* counts, int* firstRows, int mode, int unique);

// The groups the sorts above form, in column order: a group takes consecutive columns while the
// product of their value counts stays at most 2^30 - 1 (a column whose count alone exceeds it
// makes a group of its own). No column gives no group.
std::vector<_FILT_GRP_> SortColumnGroups(int n_columns, const SortKeyColumn* columns);

// One group's sort: n rows of src by the combined key of k columns into dst, ascending by key.
// Column j's component is vno[row] (ascending) or VLcount-1-vno[row] (descending), weighted by the
// product of the VLcounts of columns 0 .. j-1 (written into entries[j].multiplier).
// carried (n entries, by source position, or null): carried numbers to move along with the rows.
// keyOut (n entries, or null): at each sorted position the carried number of the row now there, or
// without carried numbers the low 32 bits of its combined key. flags (n + 1 bytes, or null): cleared,
// then flag[p] = 1 wherever a new combined key starts at sorted position p, and at p = n.
// Key spaces up to 65536 are sorted in one counting pass (tasks 40, 41), larger ones in two radix
// digits (tasks 42, 43, 44). The product of the group's VLcounts must stay below 2^31.
void MppIntegratedCountingSort(int k, int n, const int* src, int* dst, _SORT_FILT_INFO* entries,
                               const int* carried, int* keyOut, char* flags);

// The two step sorts over keys given in keys[0 .. n-1] (each in 0 .. K-1), arguments as above.
void SingleStepIntegratedSort(int n, const int* src, int64_t K, const int64_t* keys, int* dst,
                              const int* carried, int* keyOut, char* flags);
void MultiStepIntegratedSort(int n, const int* src, int64_t K, const int64_t* keys, int* dst,
                             const int* carried, int* keyOut, char* flags);
// The radix step sort with a given plan, two digits (task 44) or three (task 45).
void MultiStepIntegratedSortWithPlan(int n, const int* src, const int64_t* keys, int* dst, const int* carried,
                                     int* keyOut, char* flags, const _RADIX_INFO_& plan, int digits);

// Renumbers sorted key numbers densely in place: a new number starts at position 0, wherever the
// key number changes and wherever flags (n + 1 bytes, or null) mark a new key; the flags of run
// starts are cleared. Numbers run from 1 (mode 0) or 0 (mode 1). counts (or null) receives each
// run's length in run order (one entry per run); firstRows (n entries, or null) is compacted in
// place to firstRows[first position of each run], in run order. Returns the number of runs.
int MppRenumberVLOrd(int n, int* keyNumbers, char* flags, int* counts, int* firstRows, int mode);

// Task functions (rows 40 to 46 of mpp_func_map).
int mpp_single_sort_n_filter_countup(void* param);
int mpp_single_sort_n_filter_transfer(void* param);
int mpp_multi_sort_n_filter_countup(void* param);
int mpp_multi_sort_n_filter_transfer(void* param);
int mpp_sort_n_filter_2step(void* param);
int mpp_sort_n_filter_3step(void* param);
int mpp_renumber_vlord(void* param);
