// A row set: an ordered list of 1-based record numbers of one real table.
//
// Order is meaningful: set 1 (all records) and the results of set operations are ascending, a
// scanning search keeps its source set's order, a search answered by a sorted view returns value
// order, a sort returns sorted order. A set also carries the sorted views (TSortedSetArray)
// registered on it, at most one per filter; a view belongs to both its set and its filter, and
// destroying either destroys the view.
//
// Ownership: sets are owned by their table once registered; every set a search returns is new and
// owned by the caller until it registers it. The views registered on a set are destroyed with it.
//
// Thread safety: none; sets are used under the API lock.
//
// Search operation codes (Q7SearchOp in the low seven bits of op; the flag
// Q7_SEARCH_NULL_BOUND_EMPTY, 0x80, asks for the NULL-excluding comparison; database/SearchCodes.h
// reads them; negate asks for the complement):
//   0 equal, 1 between (both ends included), 2 less or equal, 3 greater or equal (run as 6
//   negated), 4 not equal (run as 0 negated), 5 within (both ends excluded), 6 less than,
//   7 greater than (run as 2 negated), 8 left match, 9 middle match, 10 right match (8 to 10 on
//   STRING filters only), 11 IS NULL (not on STRING filters).
// Bounds: from and to point at one value of the filter's storage type: an int32 (INTEGER), a
// double (DOUBLE, DATE, TIME, DATETIME), a 16-byte Numeric of the list's scale (DECIMAL), or the
// NUL-terminated text itself (STRING). `to` is read only by 1 and 5; no bound is read by 11.
// NULL rows of numeric filters: a NULL bound is the smallest value unless bit 0x80 is set, in
// which case a NULL bound gives an empty result and no complement holds NULL rows; less-than and
// less-or-equal never select NULL rows; the complement of equal never holds them. STRING filters
// order the empty text first like any value.
#pragma once

#include <cstdint>
#include <vector>

#include "values/TIntArray.h"

class TFilter;
class TSortedSetArray;
class CMemFile;
class zpk_fstream;

class TSetArray : public TIntArray {
 public:
  // Empty, no data block.
  TSetArray();
  // n elements, count = capacity = n, zero-filled when zero_fill is non-zero.
  TSetArray(int n, int zero_fill);
  // Set record readers: the int-array record (values/ArrayRecord.h). The text and int arguments
  // (the table readers pass "SET" and the set ID) are not used. The new set has no views.
  TSetArray(zpk_fstream& fs, char* name, int id);
  TSetArray(CMemFile* mf, char* name, int id);
  // From the process-wide memory stream.
  explicit TSetArray(int from_mem_stream);
  // In place from a shared-memory image that ends at `end` (data not owned).
  TSetArray(void** cursor, const void* end, char* name, int id);
  // Destroys the registered views (each leaves its filter's list too).
  ~TSetArray() override;

  // A new TSetArray with the same elements and attribute block, no views.
  TBaseArray* CopyArray() override;
  TBaseArray* MppCopyArray() override;
  // Object + owned data + each view's GetMemSize + the view list's capacity in bytes.
  int64_t GetMemSize() const override;

  // A new set holding the elements >= 1, in order (join projections leave 0 and negative ones).
  TSetArray* CopyWithout0();

  // The registered view for the filter, or null.
  TSortedSetArray* GetSortedSet(TFilter* filter) const;
  // Destroys that view, if any.
  void RemoveSortedSet(TFilter* filter);
  void RegisterSortedSet(TSortedSetArray* view);
  // Removes the first occurrence; no effect when absent.
  void UnregisterSortedSet(TSortedSetArray* view);
  const std::vector<TSortedSetArray*>& SortedSets() const { return views_; }

  // The records of this set whose value in `filter` meets the condition (codes above); a new set,
  // owned by the caller and not registered. Unless the code is 9 or 10, a built view of this set
  // for the filter answers (value order); otherwise the set is scanned (set order). The filter's
  // pending values must have been merged (TRealTable::CheckMergeFilterTVL). Failures: an operation
  // above 11 records ("SearchByValue", Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo") and
  // throws Q7_ERROR_INVALID_OPERATION "Unknown operation number: %d"; 8 to 10 on a non-STRING
  // filter ("Illegal data type ( Not STRING )", "String operation for Integer column is not
  // allowed."); 11 on a STRING filter ("Illegal data type ( Is STRING )", "'IS NULL' operation
  // for String column is not allowd."); Q7_ERROR_OUT_OF_MEMORY. Nothing is left allocated. A set
  // large enough for SearchOnPool (ValueSelection.h) is scanned on the worker pool, with the same
  // rows: call only from the thread that holds the API lock.
  TSetArray* SearchByValue(TFilter* filter, int op, const char* from, const char* to, bool negate);
  // The scanning search on the calling thread alone, for codes already mapped (0, 1, 2, 5, 6, 8 to
  // 11, with or without 0x80).
  TSetArray* _searchByValue(TFilter* filter, int op, const char* from, const char* to, bool negate);

  // The records whose value equals one of the n values (n int32, doubles, Numerics or text
  // pointers by the filter's storage type), in set order. Values not in the column are ignored. The
  // filter's pending values must have been merged, as for SearchByValue.
  // n < 0 throws Q7_ERROR_INVALID_PARAMETER. Rows of a large set are collected on the pool, as above.
  TSetArray* SearchByNValues(TFilter* filter, int n, const void* values);

  // ---- Parallel searches (TSetArray_mpp.cpp) ----
  // SearchByValue with the rows collected on the worker pool (task 23) and the text tests of codes
  // 9 and 10 split over it (task 26); the same rows as SearchByValue for any worker count. Checks
  // and failures as SearchByValue's, recorded under "MppSearchByValue" (the scan's refusals under
  // "_MppsearchByValue"). Drives the pool: call only from the thread that holds the API lock.
  TSetArray* MppSearchByValue(TFilter* filter, int op, const char* from, const char* to, bool negate);
  // The scanning part, for codes already mapped (0, 1, 2, 5, 6, 8 to 11, with or without 0x80).
  TSetArray* _MppsearchByValue(TFilter* filter, int op, const char* from, const char* to, bool negate);
  // SearchByNValues with the n values looked up on the pool (task 27) and the rows collected on it;
  // the same rows. n < 0 throws Q7_ERROR_INVALID_PARAMETER.
  TSetArray* MppSearchByNValues(TFilter* filter, int n, const void* values);
  TSetArray* _MppsearchByNValues(TFilter* filter, int n, const void* values);
  // ---- end of the parallel searches ----

 private:
  std::vector<TSortedSetArray*> views_;
};

// Task functions of rows 26 ("Q7_MPP_SEARCH_HELPER") and 27 ("Q7_MPP_SEARCH_NVALUES") of
// mpp_func_map (TSetArray_mpp.cpp).
int mpp_search_helper(void* param);
int mpp_search_nvalues(void* param);
