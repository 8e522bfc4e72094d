// The detail display: the distinct values of one column over one set of a table, each with the
// number of set rows holding it, listed for paged display by value or by frequency, ascending or
// descending, over every value of the column or only the values that occur in the set.
//
// One display exists at a time in the process (DetailDisp); each open makes a new handle
// (DetailHandle, counting from 1, advanced also by a failed open) and replaces the display of the
// previous one, whose handle is stale from then on.
//
// Entries: entry i is value number i of the column's value list (the NULL at 0), or, for a small set
// of a real table (fewer rows than an eighth of the list), the i-th of the value numbers that occur
// in the set, ascending, so that no array is sized by a large list.
//
// The counts are taken when the display opens. The display keeps a hold on the column's value list
// (values/ValueListShare.h), so a list the column drops or replaces is never freed under it; every
// read first checks that the table, the set (same rows count) and the column still exist and that
// the column still lists its values in the held list, merging a real table's pending values first.
// When anything of that has changed the handle is stale. A rewrite of rows with values the list
// already holds keeps the list and is not seen: the counts stay those of the open.
//
// Thread safety: none; every call runs under the API lock, which also guards the global display.
#pragma once

#include "q7api.h"

class TBaseArray;
class TBaseTable;
class TFilter;
class TSetArray;

class TDetailDisp {
 public:
  // Builds the display of column column_id over set_id (negative: the current set) of table_id.
  // Throws Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_ILLEGAL_SET_ID, Q7_ERROR_NO_SUCH_FILTER, the data-type
  // check's Q7_ERROR_INVALID_DATA_TYPE, the counting and ordering services' negative results and
  // Q7_ERROR_OUT_OF_MEMORY.
  TDetailDisp(int table_id, int set_id, int column_id);
  // Frees its arrays and drops its hold on the value list.
  ~TDetailDisp();
  TDetailDisp(const TDetailDisp&) = delete;
  TDetailDisp& operator=(const TDetailDisp&) = delete;

  int DataType() const { return data_type_; }
  int EntryCount() const { return entries_; }
  int OccurringCount() const { return occurring_; }
  bool Compact() const { return compact_ != 0; }

  // 0 while the table, set and column are as at the open (see above), else
  // Q7_ERROR_INVALID_SUM_HANDLE; Q7_ERROR_UNKNOWN when merging pending values fails.
  int CheckCurrent();
  // The entry at `row` (1 ..) of the list by value (order 0) or by frequency (else), reversed when
  // reverse is non-zero, over the occurring entries only when occurring_only is non-zero. A row
  // outside the list records ("CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(%d)", row -
  // 1) and returns that code.
  int CalcPos(int order, int reverse, int occurring_only, int row) const;
  // Rows of the set holding entry `pos`, and the value number of the entry (pos from CalcPos).
  int Count(int pos) const { return counts_[pos]; }
  int ValueNumber(int pos) const { return compact_ != 0 ? entry_values_[pos] : pos; }
  // The held value list.
  TBaseArray* ValueList() const { return list_; }

 private:
  void BuildCompact(const int* value_numbers, int rows);
  void BuildFull();
  void Release() noexcept;

  int table_id_ = 0;
  int set_id_ = 0;
  int filter_id_ = 0;
  int data_type_ = 0;
  TBaseTable* table_ = nullptr;
  TSetArray* set_ = nullptr;
  TFilter* filter_ = nullptr;
  int set_rows_ = 0;
  int entries_ = 0;    // N
  int occurring_ = 0;  // M
  int* counts_ = nullptr;
  int* occurring_list_ = nullptr;
  int* by_frequency_ = nullptr;
  int compact_ = 0;
  int* entry_values_ = nullptr;
  TBaseArray* list_ = nullptr;  // held (RetainValueList) from the open to the destructor
  int list_size_ = 0;
};

// The current display (null: none) and the handle of the last open.
extern TDetailDisp* DetailDisp;
extern int DetailHandle;

// The services the display uses: the rows per value number of a set (the result is the value-list
// size or a negative code) and the ordering of counts (positions with a non-zero count ascending,
// and every position by count, largest first, equal counts in ascending position; 0 or a negative
// code). The API layer installs the engine task's at start-up, with their own error-ring entries;
// until then the table's own count and a plain ordering run. Set before any display opens.
struct DetailServices {
  int (*value_count)(int table_id, int filter_id, int set_id, int* counts);
  int (*sort_by_count)(int n, int* counts, int* non_zero_count, int* non_zero_index, int* order);
};
void SetDetailServices(const DetailServices& services);

// Deletes the current display (PurgeSummaries) or forgets it without deleting (initializeSummaries).
void PurgeDetailDisp();
void ForgetDetailDisp();

// The operations behind the exported functions; each records its own failures and throws nothing.
// Open: the new handle (above 0) with the data type (2..8), N and M written, or a negative code
// (every output null: Q7_ERROR_INVALID_PARAMETER, nothing changed). A failed open leaves no display.
int innerRQ7OpenDetailInfo(int table_id, int set_id, int column_id, int* data_type, int* entries,
                           int* occurring);
// Q7_ERROR_DETAIL_FAILED without a display, Q7_ERROR_INVALID_SUM_HANDLE for a stale handle, the
// row refusal of CalcPos, Q7_ERROR_INVALID_PARAMETER for a null output. The value is copied by the
// value list's GetData (a text: at most 4095 characters and a zero byte); GetDetailValue puts a
// decimal after the column's NumericInfo, GetDetailValueStr puts the value alone.
int innerRQ7GetDetailValue(int handle, int order, int reverse, int occurring_only, int row, int* data_type,
                           void* value);
int innerRQ7GetDetailValueStr(int handle, int order, int reverse, int occurring_only, int row, int* data_type,
                              void* value);
int innerRQ7GetDetailCount(int handle, int order, int reverse, int occurring_only, int row, int* count);
// A negative handle closes whatever is open; a stale one gives Q7_ERROR_INVALID_SUM_HANDLE and
// keeps the display; 0 otherwise.
int innerRQ7CloseDetailInfo(int handle);
