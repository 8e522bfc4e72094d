// The multi-key integrated sort over filters: the forms of SortForMultiItem and SortForMultiItemEx
// that join-key concatenation, the fast summary and TRealTable::MppIntegratedSortByField call. Each
// filter's value numbers and value-list count become one sort column of the array-level kernels
// (kernels/IntegratedSort.h), whose contract (key order, directions, key numbers, unique rows,
// results, failures) these forms share.
//
// Pending values: a filter with pending entries holds negative value numbers, which no sort column
// may hold, so each filter's pending values are merged first (TFilter::MergeTVL on the worker pool).
// That is the only change made to the filters.
//
// Extra failures: Q7_ERROR_INVALID_PARAMETER for a null filter list, a null filter or a filter
// without value numbers or value list; a merge failure returns its code. *outRows (and *outKeys)
// are null after any failure.
//
// Thread safety: drive the worker pool; call from the thread that holds the API lock, never from
// a task.
#pragma once

class TBaseArray;
class TFilter;
class TIntArray;

int SortForMultiItem(int nFilters, int n, const int* rows, TFilter** filters, const int* dirs, int** outRows,
                     int** outKeys, int mode, int unique);

int SortForMultiItemEx(int nFilters, int n, const int* rows, TFilter** filters, const int* dirs,
                       int** outRows, int** outKeys, int* counts, int* firstRows, int mode, int unique);

// A new filter (the caller owns it) with the given ID and name (made file-safe in place) over the
// value numbers `vno` (taken over) and the value list `valueList`. With listNotOwned the filter
// borrows the list (TFilter::BorrowValueList: its own hold, FSharedVL set), so destroying it never
// frees the list under its owner and its memory size leaves the list out; otherwise it takes the
// caller's hold over, as a filter owns its list. Thrown, with both arrays left to the caller:
// Q7_ERROR_ILLEGAL_FILTER_NAME (TFilter's refusal), Q7_ERROR_OUT_OF_MEMORY.
TFilter* CreateFilter(int id, char* name, TIntArray* vno, TBaseArray* valueList, bool listNotOwned);
