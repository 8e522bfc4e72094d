// The per-value decision of a value search on a set (TSetArray::SearchByValue and its parallel
// twin): which value numbers (or, for a small set, which positions of the scope of value numbers
// the set uses) the condition selects. The rows are then kept in set order by the row filters
// (kernels/RowFilters.h). Every condition but middle and right match selects one run of value
// numbers of the sorted value list (NULL, entry 0, on its own): such a selection is held as that
// run (RunForm), found by binary search whatever the set's size, and each row's value number is
// compared with it (MoveRecsInRun), so the cost grows with the rows alone, never with the size of
// the value list. The text tests select entries one by one, over `hit`: the full-list form
// (MoveRecsForScan), or for a small set the scope form over `position` and `hit`
// (MoveRecsForScanScope).
//
// Building a selection reads and checks the bounds, chooses the form (for the text tests: scope
// when the set has fewer rows than the value list's count / 8), and marks the range the bounds give
// (in the map forms: fills `hit` with `negate` first). The text tests of middle and right match
// (codes 9 and 10), which cannot be turned into ranges, are left to MarkTextMatches so that a
// parallel search can split them over workers.
//
// Ownership: the selection owns its work arrays. Thread safety: building drives no pool;
// MarkTextMatches over disjoint ranges may run on several threads at once.
//
// The filter's pending values must be merged. Codes arrive mapped (0, 1, 2, 5, 6, 8 to 11, with or
// without 0x80); a code the type does not serve records ("_searchByValue",
// Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo") (no record for DECIMAL) and throws
// Q7_ERROR_INVALID_OPERATION.
#pragma once

#include <memory>
#include <string>

#include "database/SearchCodes.h"
#include "kernels/RowFilters.h"
#include "values/ZpkBlock.h"

class TFilter;
class TIntArray;
class TSetArray;
class TStrArray;

// Left match: the smallest text above every text that begins with `prefix`. False when there is
// none (the prefix is all 0xFF bytes): the range then runs to the end of the list.
bool PrefixSuccessor(const char* prefix, std::string* out);

// A double bound: a NaN compiles as NULL, so it is searched as the NULL (minus infinity).
double NormalizeDoubleBound(double v);

class ValueSelection {
 public:
  ValueSelection(TIntArray* set, TFilter* filter, int op, const char* from, const char* to, bool negate,
                 const char* log_name);

  // The result is known to be empty (an empty set, or bit 0x80 with a NULL bound).
  bool Empty() const { return empty_; }
  // The selection is Run(); no `hit` is built.
  bool RunForm() const { return run_form_; }
  const ValueRun& Run() const { return run_; }
  bool ScopeForm() const { return scope_form_; }
  // Codes 9 and 10 still need MarkTextMatches over [0, HitCount()).
  bool NeedsTextTest() const { return text_op_ != 0; }
  int HitCount() const { return hit_count_; }
  // Marks the entries k in [first, end) of `hit` whose text matches (code 9 or 10).
  void MarkTextMatches(int first, int end);

  const unsigned char* Hit() const { return hit_.get(); }
  // Scope form: per set position, the index of its value number in the scope.
  const int* Position() const { return position_.get(); }

 private:
  template <class Kind>
  void MarkRanges(const Kind& kind, int op, bool negate);
  void Mark(int a, int b);
  void SettleRun();

  bool empty_ = false;
  bool run_form_ = false;
  bool scope_form_ = false;
  // Run form: the one range Mark was given, and whether NULL was taken out of the complement.
  bool marked_ = false;
  int mark_lo_ = 0;
  int mark_hi_ = -1;
  bool null_cleared_ = false;
  ValueRun run_;
  bool negate_ = false;
  int text_op_ = 0;
  const char* pattern_ = nullptr;
  TStrArray* text_list_ = nullptr;
  int hit_count_ = 0;
  ZpkBlock<unsigned char> hit_;
  ZpkBlock<int> scope_;     // ascending value numbers present in the set
  ZpkBlock<int> position_;  // per set position: index into scope_
};

// Checks a search code against the filter's type and maps greater-or-equal, not-equal and
// greater-than onto the complements of less, equal and less-or-equal, flipping *negate for them
// (bit 0x80 kept). Returns the mapped code. A code above 11, a text match on a filter that is not
// STRING or IS NULL on a STRING filter is recorded under log_name and thrown as
// Q7_ERROR_INVALID_OPERATION. Shared by the serial and the parallel set search.
int MapSearchCode(TFilter* filter, int op, bool* negate, const char* log_name);

// An empty result set that carries the source's attribute block, with room for `capacity` rows.
std::unique_ptr<TSetArray> NewSearchResult(const TIntArray* source, int capacity);

// The rows of `set` that the selection keeps, in set order, as a new set that the caller owns:
// through the run of value numbers when the selection is one (kernels/RowFilters.h), else through
// its map. With `pool` the text tests and the row collection run on the worker pool (tasks 26 and
// 23; call only from the thread that holds the API lock). The same rows either way.
std::unique_ptr<TSetArray> KeepSelectedRows(TSetArray* set, TFilter* filter, ValueSelection* sel, bool pool);

// Whether a search that a host reaches through the serial entry points (SearchByField and the
// others the operation layer calls) takes a set of `rows` rows to the worker pool: below the
// threshold the cost of waking the workers outweighs what they save. Only the speed differs.
bool SearchOnPool(int rows);
// Tests and benchmarks set the threshold (0: every set; INT_MAX: none) to compare the two roads;
// a negative value restores the default. Not for use under a running search.
void SetSearchPoolMinRowsForTest(int rows);

// The record numbers that a record-number search keeps for codes 1 to 7 (1 from..to, 2 up to from,
// 3 from up, 4 all but from, 5 strictly between, 6 below from, 7 above from) as one run of ints,
// the bounds widened so that from + 1 and to - 1 cannot overflow. Code 0 (the first row holding
// from) is no run; the caller handles it.
ValueRun RecNoRun(int op, int from, int to);
