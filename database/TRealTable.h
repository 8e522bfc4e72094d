// A real table: the table that owns rows. It holds its row sets (set 1, at position 0, holds every
// record), up to 512 filters (columns) in display order, the state of one open find session and a
// handle on the shared-table registry.
//
// Records are numbered 1 .. TotalRecs(), the element count of set 1; every filter's value-number
// array has TotalRecs() + 1 elements (element 0 is not a record). Filter IDs are issued as the last
// filter ID + 1 and never reused; filter names are unique within the table (exact bytes).
//
// Sets: each new set takes the last issued set ID + 1 and becomes current; at most kMaxSets. Set 1
// is never deleted. Results of SetNot / SetOpe are ascending.
//
// Ownership: created and destroyed by the TTableCollection that holds it; owns its sets, its
// filters (which own their arrays) and the hit map of the find session. Registering a set with
// AddSetWithoutCopy hands it over; AddSet and MppAddSet register a copy.
//
// Thread safety: none of its own; everything runs under the API lock. Mpp operations drive the
// worker pool from the calling thread; the registry is changed only after the parallel part.
//
// Failures come back as negative codes (Q7_ERROR_*) with the error-ring entries stated; allocation
// failures are thrown as CQ7Exception(Q7_ERROR_OUT_OF_MEMORY), and nothing is left half-changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "database/LSHMTBLEntry.h"
#include "database/TBaseTable.h"

class CsvColumnPrinter;
class CsvLine;
class TBaseArray;
class TIntArray;
class TJoinTable;
class TTableCollection;
class zpk_fstream;

class TRealTable : public TBaseTable {
 public:
  static constexpr int kMaxFilters = 512;
  static constexpr int kMaxSets = 10000;
  // The position callers pass to append a filter (any position beyond the last appends).
  static constexpr int kAppendPosition = 1024;
  // The find session number of a new table.
  static constexpr int kFirstSearchID = 100;

  // ---- Construction ----
  // A table of n_rows records with set 1 (records 1 .. n_rows) registered and current. The name is
  // made unique in `names` (null: the engine's current collection; none: only cleaned) with
  // TTableCollection::GenTableName; failure throws Q7_ERROR_TABLE_NAME_GENERATION. n_rows must be
  // 0 or more. A large set 1 is written on the worker pool (MppFillSequence), so this form is for
  // the thread that drives the pool, never a task.
  TRealTable(int id, char* name, int n_rows, TTableCollection* names = nullptr);
  // The same without any set: the builder registers set 1 itself.
  TRealTable(int id, char* name, TTableCollection* names);
  // Start values of the find session, the set table and the registry handle only; the readers fill
  // the rest.
  TRealTable();
  // Detaches the registry handle (under the registry lock), closes the find session, FreeMem.
  ~TRealTable() override;

  // Destroys every set and every filter and frees the set-ID list and the set table.
  void FreeMem();

  // ---- Kind and facts ----
  int GetTableKind() override;  // 0
  int GetNFilter() override;    // filter count
  int GetType() override;       // 1
  int TotalRecs() override;     // element count of set 1 (0 without sets)
  // True when the registry handle refers to a registry entry.
  bool isQ7TShared() override;
  // The object, 12 bytes per set slot of the capacity, every set's and filter's GetMemSize, the
  // hit map.
  int64_t GetMemSize() override;

  // ---- Set registry ----
  // Registers `set` itself under the next set ID and makes it current; returns the ID. With
  // kMaxSets sets already: records ("AddSetWithoutCopy", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount
  // overflow"), returns that code and does not take the set. The caller ensures that every
  // element is a record of this table (1 .. TotalRecs()).
  int AddSetWithoutCopy(TSetArray* set);
  // Registers a copy (CopyArray / MppCopyArray); the caller keeps `set`. Overflow as above, under
  // "AddSet"; MppAddSet returns the code without a ring entry.
  virtual int AddSet(TSetArray* set);
  virtual int MppAddSet(TSetArray* set);
  // Registers a copy of `count` record numbers that come from outside the engine (a host's list).
  // Every number must lie in 1 .. TotalRecs(), else Q7_ERROR_INVALID_ROW_POSITION and nothing is
  // registered; so is a negative count or a null list with count > 0. The order is kept and
  // repeated records are allowed. Nothing is recorded in the ring (the callers do that); set
  // overflow as AddSet.
  int AddSetFromRows(int count, const int* rows);

  // The set, or null after recording ("GetSet", Q7_ERROR_NO_SUCH_SET, "No Such Set: %d ").
  TSetArray* GetSet(int set_id) override;
  // The set's element count; a miss records under "GetSetSize" and returns Q7_ERROR_NO_SUCH_SET.
  int GetSetSize(int set_id) override;
  // Destroys the sets at positions 1.. (with their views); set 1 becomes current; returns its ID.
  // The last issued set ID is kept.
  int PurgeSubSets() override;
  // Destroys one set. Q7_ERROR_NO_SUCH_SET for an unknown one, Q7_ERROR_SHARED_READ_ONLY for one
  // lying on a shared-memory image, Q7_ERROR_SET_NOT_DELETABLE ("DelSet", "Illegal SetPos") for
  // set 1. Deleting the current set makes set 1 current. Returns 0.
  int DelSet(int set_id) override;
  // DelSet without the image check and without a ring entry for set 1.
  int DelSetForce(int set_id);
  // The records 1 .. TotalRecs() not in the set, ascending, as a new current set. SetNot records
  // "SetCount overflow" and "No Such Set: %d" under "SetNot"; MppSetNot records nothing of its own.
  int SetNot(int set_id) override;
  int MppSetNot(int set_id) override;
  // op 0 AND, 1 OR, 2 first AND NOT second, as a new current set (ascending). Another op gives
  // Q7_ERROR_INVALID_OPERATION (the serial kernel records "Invalid Parameter : OpCode" under
  // "SetOpeCommon"); overflow Q7_ERROR_SET_COUNT_OVERFLOW and unknown sets Q7_ERROR_NO_SUCH_SET,
  // unrecorded here. A failure registers nothing.
  int SetOpe(int op, int set_id1, int set_id2) override;
  int MppSetOpe(int op, int set_id1, int set_id2) override;

  // ---- Filters ----
  // Inserts a filter over the given arrays at `position` (clamped to 0 .. count: kAppendPosition
  // appends, a negative one inserts first) and returns its new ID. The name is made file-safe in
  // place and unique (GenFilterName). The filter takes both arrays over only on success; a refusal
  // leaves them to the caller. shared_value_list: the value list belongs to another filter; the
  // new filter borrows it (TFilter::BorrowValueList: a hold of its own, FSharedVL set) and the
  // caller's hold stays the caller's. The origin filter ID is origin_filter_id when it is 0 or more, else
  // the new ID. Refusals: kMaxFilters filters ("FilterCount overflow",
  // Q7_ERROR_FILTER_COUNT_OVERFLOW); a name ToFileName refuses or no unique name ("Invalid
  // Parameter : FilterName(%s)", Q7_ERROR_ILLEGAL_FILTER_NAME). The sixth argument is not read.
  int AddFilter(int position, char* name, TIntArray* value_numbers, TBaseArray* value_list,
                bool shared_value_list, int unused, int origin_filter_id);
  // A filter compiled from `count` raw values of `type` (2..8), each `width` bytes wide (the type's
  // raw width: 4, 8 for 3..7 and for STRING text pointers, 16). Exactly TotalRecs() values are
  // used; extra ones are ignored. Refusals: kMaxFilters filters ("FilterSize overflow",
  // Q7_ERROR_FILTER_COUNT_OVERFLOW); a bad name ("Invalid Parameter : FilterName",
  // Q7_ERROR_ILLEGAL_FILTER_NAME); count below TotalRecs() or a width that is not the type's
  // ("Illegal data size", Q7_ERROR_INVALID_UNIT_WIDTH); null data for a table with records
  // ("Invalid Parameter : Data", Q7_ERROR_INVALID_PARAMETER); AddFilter's refusals. A type outside
  // 2..8 records ("AddFilter2", Q7_ERROR_INVALID_DATA_TYPE, "Invalid Parameter : DataType") and is
  // thrown. The seventh argument is not read.
  int AddFilter2(int position, char* name, int type, int count, int width, const void* data, int unused,
                 int origin_filter_id);
  // A filter of `type` whose every record is NULL. Refusals: kMaxFilters filters ("FilterCount
  // overflow"), a bad name ("Illegal FilterName", Q7_ERROR_ILLEGAL_FILTER_NAME), AddFilter's. A
  // type outside 2..8 records ("AddEmptyFilter", Q7_ERROR_INVALID_DATA_TYPE, "Invalid Parameter :
  // DataType(%d)") and is thrown.
  int AddEmptyFilter(int position, char* name, int type, int unused, int origin_filter_id);
  // AddEmptyFilter for callers that supply no data: Q7_ERROR_INVALID_UNIT_WIDTH (unrecorded) when
  // the table has more records than count.
  int AddDummyFilter2(int position, char* name, int type, int count, int unused, int origin_filter_id);
  // A filter name not used in the table, into out (256 bytes): "RecNo" in seed is first rewritten
  // to "RECNO" in place; the seed is cleaned and cut at "_#" (verifySeedName, unless
  // TTableCollection::m_nDisableTrimUntilSharp), then "%s_#%d" with n = 1, 2, ... while taken.
  // Refusals ("GenFilterName", Q7_ERROR_ILLEGAL_FILTER_NAME): "Invalid Parameter : SeedName(%s)",
  // "Invalid Parameter : GenName(%s)" for a candidate of 256 bytes or more. Returns 0.
  int GenFilterName(char* seed, char* out);
  // Removes and destroys a filter (closing a find open on it). Q7_ERROR_NO_SUCH_FILTER ("DropFilter",
  // "No Such Filter: %d"); Q7_ERROR_NOT_EDITABLE ("Failed to refere table") when the filter is the
  // first key filter of a join over this table. The last filter ID is kept.
  virtual int DropFilter(int filter_id);
  // Moves the filter at display position `from` to `to`. from outside 0 .. count - 1:
  // Q7_ERROR_INVALID_KEY_PARAMETER ("MoveFilter", "Invalid Parameter : FromIndex"). A `to` below
  // 0 or above count is recorded ("Invalid Parameter : ToIndex") and clamped; count itself means
  // the last position. Returns 0.
  int MoveFilter(int from, int to);

  // ---- Filter lookups (positions are 0-based display positions) ----
  // Null after recording ("GetFilter", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d").
  TFilter* GetFilter(int filter_id) override;
  // Position, or Q7_ERROR_NO_SUCH_FILTER (unrecorded).
  virtual int FilterID2Pos(int filter_id);
  int FilterName2Pos(const char* name);
  int FilterName2ID(const char* name);
  // FilterName2ID, recording ("GetFilterIDFromName", Q7_ERROR_NO_SUCH_FILTER, "No Filter") on a
  // miss. The int is not read.
  int GetFilterIDFromName(char* name, int unused) override;
  // Copies the table name and the filter name; both empty when there is no such filter.
  char* FilterID2Name(int filter_id, char* table_name, char* filter_name) override;
  // Every filter ID in display order; returns the count.
  int GetFilterIDList(int* out) override;

  // ---- Sorts (TRealTable_sort.cpp) ----
  // Each copies the rows of set_id (negative: the current set) into a new set in another order,
  // registers it as the current set and returns its ID; a negative code on failure, after which the
  // sets and the current set are as before (a set ID it had taken stays used). Pending values of
  // every filter are merged first. An empty source set gives an empty new set without checking dir.
  // None of the sorts throws.
  //
  // By the filter's value: stable (rows with equal values keep the source order), ascending for
  // dir 0 with NULL first, descending for dir 1 with NULL last. Codes: Q7_ERROR_NO_SUCH_FILTER
  // ("No Such Filter: %d" under the operation's name), Q7_ERROR_NO_SUCH_SET ("No Such Set: %d",
  // MppSortByField "No Such Set: %d "), Q7_ERROR_SET_COUNT_OVERFLOW ("AddSet", "SetCount
  // overflow"), Q7_ERROR_INVALID_PARAMETER for another dir (SortByField: "Aggregate", MppSortByField:
  // "MppSortByField", "Invalid Parameter : Dir"), Q7_ERROR_OUT_OF_MEMORY. MppSortByField runs on the
  // worker pool and gives exactly SortByField's order.
  int SortByField(int filter_id, int set_id, int dir) override;
  int MppSortByField(int filter_id, int set_id, int dir) override;
  // By record number (target is not read): ascending for dir 0, descending for 1; a record the set
  // holds several times appears as often in the result. Q7_ERROR_NO_SUCH_SET, overflow as above,
  // Q7_ERROR_INVALID_PARAMETER ("BitMapSort", "Invalid Parameter : Dir") for another dir.
  int SortByRecNo(int target, int set_id, int dir) override;
  // By several filters at once on the worker pool: filter_ids is read up to its first ID <= 0, at
  // most kMaxFilters entries; dirs[i] is filter i's direction (1 descending, any other value
  // ascending). The LAST filter of the list decides first, the first one breaks the last ties;
  // rows equal in every filter keep the source order; NULL first ascending, last descending.
  // Equals stable sorts by each filter in list order. Codes: Q7_ERROR_NO_SUCH_FILTER for an ID
  // naming no filter, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_INVALID_PARAMETER ("MppIntegratedSortByField",
  // "Invalid Parameter : FilterIDs" for a list without a filter, "Invalid Parameter : Dirs" for a
  // null dirs), the sort's code (Q7_ERROR_OUT_OF_MEMORY ...), overflow ("AddSetWithoutCopy",
  // "SetCount overflow").
  int MppIntegratedSortByField(int set_id, const int* filter_ids, const int* dirs) override;

  // ---- Find session (TRealTable_find.cpp) ----
  // A find marks, once, every record whose value in one filter meets a condition; the host then
  // steps through the marked rows of any set of the table. One find per table. Every open, close
  // and discard adds 1 to FSearchID, so a search ID stops being accepted as soon as its find is
  // gone. Row edits (inserts, deletes, and writes to the find filter) and dropping the find filter
  // discard the find (CloseFind). The opens merge the pending values of every filter first.
  //
  // Kinds: 0 x == from, 1 from <= x <= to, 2 x <= from, 3 x >= from, 4 x != from, 5 from < x < to,
  // 6 x < from, 7 x > from, in the value list's order, where NULL is the smallest value of its type
  // (NULL rows meet 2, 4 and 6 for a non-NULL bound); STRING also: 8 starts with from, 9 contains
  // from, 10 ends with from (at a character start unless the database code is Cp1252). Texts
  // compare bytewise (unsigned). `to` is read by 1 and 5 only.
  //
  // Each open returns the new search ID or a code, after which no find is open: no filter
  // Q7_ERROR_INVALID_KEY_PARAMETER, a filter of another type Q7_ERROR_INVALID_DATA_TYPE, a kind
  // outside 0..10 (STRING) or 0..7 Q7_ERROR_INVALID_OPERATION (the search ID then advanced twice),
  // Q7_ERROR_OUT_OF_MEMORY. OpenStrFind, OpenIntFind and OpenFloatFind record under their own
  // name; OpenNumericFind records nothing. OpenFloatFind takes DOUBLE, DATE, TIME and DATETIME;
  // OpenNumericFind's bounds are unscaled decimals at the filter's scale.
  int OpenStrFind(int filter_id, int kind, const char* from, const char* to);
  int OpenIntFind(int filter_id, int kind, int from, int to);
  int OpenFloatFind(int filter_id, int kind, double from, double to);
  int OpenNumericFind(int filter_id, int kind, struct Numeric from, struct Numeric to);
  // The next marked row of set_id after start_row (direction 0) or before it (any other
  // direction), as a 1-based position in *row; returns 1, or 0 when there is none (*row
  // unchanged). *filter_id receives the find filter's ID. start_row must lie in 0 .. set size + 1
  // (0 stands before the first row, size + 1 after the last). Codes, recorded under "GetNextHit"
  // and leaving the find as it was: Q7_ERROR_FIND_NOT_OPEN, Q7_ERROR_INVALID_FIND_ID (search_id
  // is not the current one), Q7_ERROR_NO_SUCH_SET, Q7_ERROR_INVALID_PARAMETER ("Invalid
  // Parameter : StartRow").
  int GetNextHit(int search_id, int set_id, int start_row, int direction, int* filter_id, int* row);
  // With a find open: *hits (records of the table that meet the condition) and *filter_id, and
  // returns the search ID; else returns 0 and leaves both untouched.
  int GetFindStatus(int* hits, int* filter_id);
  // The 1-based position of the first row of set_id holding rec_no, 0 when none;
  // Q7_ERROR_NO_SUCH_SET ("FindRecNo", "No Such Set: %d").
  int FindRecNo(int set_id, int rec_no);
  // Ends the find (when one is open) and advances the search ID.
  void CloseFind();

  // ---- Searches (TRealTable_search.cpp) ----
  // Each search keeps the rows of set_id (negative: the current set) that meet a condition, in the
  // source order (a value search answered by a sorted view: in value order), registers them as one
  // new set, makes it current and returns its ID. The source set is never changed. A search that
  // fails registers nothing: a copy-first search (SearchByField2, Search, the wildcard searches,
  // SearchByRowNo, SearchByRecNo) that registered its copy removes it again and makes the set that
  // was current before current again (the set ID it took stays used). Set overflow:
  // Q7_ERROR_SET_COUNT_OVERFLOW ("AddSet" or "AddSetWithoutCopy", "SetCount overflow"). Every
  // search but those by position and record number merges the pending values of every filter
  // first (CheckMergeFilterTVL(true)). The serial forms too collect the rows of a large set on the
  // worker pool (SearchOnPool, database/ValueSelection.h), with the same result and ring entries
  // as on one thread: call them only from the thread that holds the API lock.

  // Merges the pending values of every filter that has some, in display order; true when one of
  // the merges changed its filter. flag true merges on the worker pool.
  bool CheckMergeFilterTVL(bool flag);

  // By value (TSetArray::SearchByValue / MppSearchByValue, whose codes and bounds TSetArray.h
  // states; `from` and `to` point at one value of the filter's storage type). Throws: "No Such
  // Filter: %d" Q7_ERROR_NO_SUCH_FILTER and "No Such Set: %d" Q7_ERROR_ILLEGAL_SET_ID, recorded
  // under the operation's name; the set search's codes; overflow.
  int SearchByField(int filter_id, int set_id, int op, char* from, char* to) override;
  int MppSearchByField(int filter_id, int set_id, int op, char* from, char* to) override;
  // By the text of each STRING value from its second byte (the first byte is not compared); both
  // bounds are texts. Codes 0 to 7 as in TSetArray.h (not negated, no bit 0x80), 8 starts with,
  // 9 contains (multibyte-aware unless the database code is Cp1252), 10 ends with `from`. Equality
  // and ranges are found by binary search over the whole value list, so they are exact when
  // ordering the values by their whole text also orders them from the second byte (as when every
  // value begins with the same byte). The NULL value (the empty text) is kept only by a range that
  // starts on it: 1 or 3 with an empty `from` that the search leaves on value number 0 rather than
  // on a one-byte value. A small set is answered from the same bounds, so a row is kept or not
  // whatever the size of its set. An empty source set gives an empty set without checking
  // the code. Returns (recorded under "SearchByField2"): "No Such Filter: %d"
  // Q7_ERROR_NO_SUCH_FILTER; "Illegal data type ( Not STRING )" Q7_ERROR_UNDEFINED_FILTER_TYPE;
  // "No Such Set: %d " Q7_ERROR_ILLEGAL_SET_ID; "Invalid Parameter : OpeNo"
  // Q7_ERROR_INVALID_OPERATION for a code outside 0 to 10.
  int SearchByField2(int filter_id, int set_id, int op, char* from, char* to) override;
  // The rows whose value number has a nonzero byte in hit_map, which holds one byte per entry of
  // the filter's value list as it stands when the call begins: a merge of pending values made by
  // the search itself is translated, so the map keeps meaning the values it was made for, is never
  // read beyond that size, and values that were pending select nothing. Returns
  // Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_ILLEGAL_SET_ID, Q7_ERROR_INVALID_PARAMETER for a null map.
  int Search(int filter_id, int set_id, unsigned char* hit_map) override;
  // The rows whose whole text matches a wildcard pattern (kernels/WildCard.h; multibyte unless the
  // database code is Cp1252); the NULL value is the empty text. Returns Q7_ERROR_INVALID_PARAMETER
  // for a null pattern or one of 4096 bytes or more (the parallel form records "Invalid Parameter
  // : pattern"), Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_INVALID_DATA_TYPE for a filter that is not
  // STRING, Q7_ERROR_ILLEGAL_SET_ID (the parallel form records these under its name). An invalid
  // escape throws Q7_ERROR_INVALID_PARAMETER.
  int SearchByFieldWildCard(int filter_id, int set_id, const char* pattern) override;
  int MppSearchByFieldWildCard(int filter_id, int set_id, const char* pattern) override;
  // The rows holding any of n values (TSetArray::SearchByNValues / MppSearchByNValues). Throws as
  // SearchByField, recorded under "SearchByFieldNValues".
  int SearchByFieldNValues(int filter_id, int set_id, int n, void* values) override;
  int MppSearchByFieldNValues(int filter_id, int set_id, int n, void* values) override;
  // By record number r (target is not read): 0 the first row with r == from, 1 from <= r <= to,
  // 2 r <= from, 3 r >= from, 4 r != from, 5 from < r < to, 6 r < from, 7 r > from. Returns
  // Q7_ERROR_ILLEGAL_SET_ID ("SearchByRecNo", "No Such Set: %d"), Q7_ERROR_INVALID_OPERATION for
  // another code (also for an empty set).
  int SearchByRecNo(int target, int set_id, int op, int from, int to) override;
  // By 1-based position p in the source set of n rows, with the bounds clamped to 0 .. n + 1:
  // 0 p == from, 1 from <= p <= to, 2 p <= from, 3 p >= from, 4 p != from, 5 from < p < to,
  // 6 p < from, 7 p > from. An empty source set gives an empty set without checking the code.
  // Returns (recorded under "SearchByRowNo") Q7_ERROR_ILLEGAL_SET_ID "No Such Set: %d",
  // Q7_ERROR_INVALID_OPERATION "Invalid Parameter : OpeNo".
  int SearchByRowNo(int set_id, int op, int from, int to);

  // ---- Reading values (TRealTable_read.cpp) ----
  // One value of the record at 0-based position `row` of set_id (negative: the current set).
  // *type receives the value list's type (2, 3, 4, 5, 7 by the list's extend type, 6, 8). The
  // value is copied to `value`: 4 bytes for INTEGER, 8 for the double family, 16 for DECIMAL, a
  // text and its zero for STRING (at most 4095 bytes of text; `value` must hold 4096); the result
  // is the byte count, a text's copied length. filter_id 0 reads the record number (type 2).
  // Values still pending read through the pending list. Codes: Q7_ERROR_NO_SUCH_SET for a negative
  // row ("ReadData", "No Such Record: %d "), an unknown set, an empty set slot ("No Such Set: %d
  // "), a row beyond the set; Q7_ERROR_NO_SUCH_FILTER ("ReadData", "No Such Filter: %d").
  int ReadData(int set_id, int filter_id, int row, int* type, void* value) override;
  // The same with a text cut to size - 1 bytes (the copied length is returned). A size below 1
  // is refused with Q7_ERROR_INVALID_PARAMETER before anything is read.
  int ReadData(int set_id, int filter_id, int row, int* type, void* value, int size) override;
  // The address of the stored value (int, double, text), valid until the filter's arrays change
  // (edits, merges, drop); returns 4, 8 or the text length. filter_id 0 is "No Such Filter: %d";
  // a DECIMAL filter sets *type to 8 and returns Q7_ERROR_NO_SUCH_SET.
  int ReadData(int set_id, int filter_id, int row, int* type, long* address) override;
  // The record's value number in the filter, after its pending values are merged (never
  // negative); returns 4. Q7_ERROR_NO_SUCH_SET / Q7_ERROR_NO_SUCH_FILTER as ReadData, unrecorded.
  int GetVNo(int set_id, int filter_id, int row, int* value_number) override;
  // After merging the filter's pending values: counts[v] = the rows of the set whose value number
  // is v, for every v of the value list (counts must hold that many ints); returns the value
  // count. Throws Q7_ERROR_ILLEGAL_RECORD_NO for null counts, Q7_ERROR_NO_SUCH_FILTER,
  // Q7_ERROR_NO_SUCH_SET.
  int CountN(int set_id, int filter_id, int* counts) override;
  // ---- end of searches and reads ----

  // ---- Derived tables (TRealTable_derive.cpp) ----
  // Each fills this table, newly constructed and empty (no set, no filter), from real source
  // tables, whose pending values it merges first and which it otherwise only reads (the consuming
  // combine excepted). Filters get the IDs 1, 2, ... in column order and own their arrays
  // (database/DerivedColumns.h: nothing is shared with a source); names follow GenFilterName.
  // Failures are thrown; the caller destroys the partly filled table.

  // Copies of every source filter in display order under its name, and a copy of set 1 (the only
  // set, current); returns its set ID. Q7_ERROR_NO_SUCH_FILTER; AddFilter's refusals.
  int DuplicateRealTable(TRealTable* source);
  // The rows of the source's set set_id (negative: current) in set order as records 1 .. n: when
  // asked, "#TABLE_ID" (the source's ID) and "#REC_NO" (each row's source record), then one column
  // per entry of filter_ids up to its first ID below 1, 512 columns in all (ExtractColumn's rule
  // for copying or condensing the value list). Q7_ERROR_NO_SUCH_SET (recorded by GetSet),
  // Q7_ERROR_INNER_ENGINE when an extra column is refused, Q7_ERROR_NO_SUCH_FILTER (recorded by
  // GetFilter), AddFilter's refusals.
  void ExtractRealTable(int set_id, TRealTable* source, int add_table_id, int add_rec_no, int* filter_ids);
  // The rows of a's set set_a, then of b's set set_b (a and b may be one table): when asked
  // "TableID" and the record numbers ("RecNo", named "RECNO"), then one column per pair (ids_a[i],
  // ids_b[i]) until both are below 1, 512 columns in all: both IDs set, one column over the merged
  // lists (CombineColumn); one of them 0, a column of that side only, NULL in the other side's
  // rows; named after a's filter, else b's. A null list reads as 0s. Refusals, each recorded under
  // "CombineRealTable": a missing set Q7_ERROR_NO_SUCH_SOURCE_SET ("No Such Set: %d"), a negative
  // ID facing a positive one Q7_ERROR_ILLEGAL_FILTER ("Invalid Parameter : FltIDList1,FltIDList2"),
  // a missing filter Q7_ERROR_NO_SUCH_FILTER ("No Such Filter: FltIDList1[%d](%d)" / "...2...").
  // Consuming mode (all_a non-null): all_a / all_b hold the n_filter_a / n_filter_b filter IDs of
  // a and b and uses_a / uses_b the number of pairs naming each (one array pair for both sides when
  // a is b); a source filter is dropped once its last pair column stands.
  void CombineRealTable(int add_table_id, int add_rec_no, int set_a, int* ids_a, TRealTable* a, int set_b,
                        int* ids_b, TRealTable* b, int n_filter_a, int n_filter_b, int* all_a, int* all_b,
                        int* uses_a, int* uses_b);

  // The collection that holds the table (set when it is added; null before).
  TTableCollection* Collection() const { return FCollection; }
  void SetCollection(TTableCollection* collection) { FCollection = collection; }

  // ---- Fields ----
  int32_t FSearchID;               // find session number; +1 whenever a find opens, closes or is dropped
  int32_t FFindFilterID;           // filter of the open find; -1 when none
  TFilter* FFindFilter;            // that filter while a find is open
  int32_t FHitCount;               // -1 when built, 0 after a find is closed
  int32_t FHitMapSize;             // bytes of FHitMap
  uint8_t* FHitMap;                // one byte per record number 0 .. TotalRecs(); owned (zpk_malloc)
  TSetArray** FSets;               // parallel to FSetIDs, FSetCapacity slots; owned (zpk_malloc)
  int32_t FnFilter;                // 0 .. kMaxFilters
  int32_t FLastFilterID;           // the last issued filter ID
  TFilter* FFilters[kMaxFilters];  // display order; owned
  LSHMTBLEntry FShmEntry;          // shared-table registry handle

 private:
  void InitFields();
  void NameTable(int id, char* name, TTableCollection* names);
  void CloseFindSession();
  // The next set ID for `set` (taken over); overflow handled by the callers.
  int RegisterSet(TSetArray* set);
  // Wraps a row block from the set kernels as a new set and registers it; frees the block on
  // failure.
  int RegisterKernelResult(int* rows, int count, int size);
  // The shared body of the refusals AddFilter2 and AddEmptyFilter check before building arrays.
  bool FilterCountFull(const char* log_name, const char* message) const;
  // AddFilter over arrays built here: they are destroyed when it refuses.
  int AddOwnedFilter(int position, char* name, TIntArray* value_numbers, TBaseArray* value_list,
                     int origin_filter_id);
  template <class Kernel>
  int RunSetKernel(Kernel kernel);
  // SetOpe and MppSetOpe over their kernel (SetOpeCommon / MppSetOpeCommon).
  using SetKernel = int (*)(int op, int n_rows, TIntArray* a, TIntArray* b, int* size, int** out);
  int CombineSets(SetKernel kernel, int op, int set_id1, int set_id2);
  // Destroys the set at a position above 0 and closes the gap; set 1 becomes current when it was.
  int RemoveSetAt(int pos);

  TTableCollection* FCollection = nullptr;

  // ---- Table files (TRealTable_files.cpp) ----
 public:
  // The table reader. With a null stream it opens `name` (".Q7T" appended unless the name is at
  // least 5 bytes long and ends in it) in the current directory, reads the header and the kind
  // (other than 0: Q7_ERROR_NOT_REAL_TYPE) and closes the file at the end; with a stream it reads
  // the record after the kind. keep_name 1 keeps the stored name and ID (database loads); 0 makes
  // the stored name unique in `names` (null: the engine's collection) and leaves the ID to the
  // caller (Q7_ERROR_TABLE_NAME_GENERATION when none can be made). Nothing read is trusted: counts,
  // positions, IDs and record numbers are checked against their limits and the bytes left, and a
  // damaged record throws Q7_ERROR_ILLEGAL_ARRAY_DATA (Q7_ERROR_NEGATIVE_SIZE for a negative array
  // count, Q7_ERROR_ILLEGAL_FILE_NAME for a short file, Q7_ERROR_UNSUPPORTED_VERSION from the base
  // record). A failure frees everything read.
  TRealTable(zpk_fstream* fs, char* name, int keep_name, TTableCollection* names = nullptr);
  // The diagnostic twin: the same reader, writing each step to the catalog message log. The
  // fourth argument has no effect.
  TRealTable(zpk_fstream* fs, char* name, int keep_name, int verbose, TTableCollection* names = nullptr);
  // A header-framed record of a multi-table file: header, kind, record, with a unique name.
  explicit TRealTable(zpk_fstream* fs, TTableCollection* names = nullptr);

  // The real-table record: kind 0, the base record, the sets (with set1_only only set 1), the
  // filter count and last filter ID, per filter its ID, record and high-speed flag, then the sorted
  // views of the sets written (count, then per view set position, filter position, rows, NULL
  // count). The table is condensed first (pending values merged, unused value-list entries
  // dropped) unless it lies on a shared-memory image or is a shared table-file view. With a null
  // stream the table file "<FTableName>.Q7T" of the current directory is written through a
  // temporary file that replaces it only once complete. Failures are thrown
  // (Q7_ERROR_ILLEGAL_FILE_NAME for the file).
  void SaveTable(zpk_fstream* fs, int set1_only) override;
  // As SaveTable; with a null stream the file is file_name + ".Q7T".
  void SaveTableAs(zpk_fstream* fs, const char* file_name, int set1_only);
  // The collection that holds the table, else the engine's.
  TTableCollection* FileCollection() override;

 private:
  void ReadTableFile(zpk_fstream* fs, const char* name, int keep_name, bool verbose, TTableCollection* names);
  void ReadRecord(zpk_fstream& fs, int keep_name, bool verbose, TTableCollection* names);
  void WriteRecord(zpk_fstream& fs, int set1_only);
  void WriteTableFile(zpk_fstream* fs, const char* path, int set1_only);

  // ---- Memory images, the memory stream, shared-memory images (TRealTable_images.cpp) ----
  // The same record as the table file (kind, base record, sets, filters with their high-speed
  // flags, views), written through the other stores, and read back with the file reader's checks:
  // nothing read is trusted, a damaged record throws Q7_ERROR_ILLEGAL_ARRAY_DATA (or the array and
  // source readers' codes) and a failure frees everything read.
 public:
  // The memory-image record; with with_header the system header and the kind are read first (a
  // kind other than 0: Q7_ERROR_NOT_REAL_TYPE) and the stored name is made unique in `names`
  // (null: the engine's collection; Q7_ERROR_TABLE_NAME_GENERATION). Without it the stored name and
  // ID stay (database images). Data version other than 25: Q7_ERROR_UNSUPPORTED_VERSION. Set 1's
  // count is the table's rows, and a later array record is refused (Q7_ERROR_ILLEGAL_ARRAY_DATA)
  // before its elements are read when its count disagrees with them: another set above the rows,
  // a view above its set, value numbers above rows + 1. That is the only bound of an image whose
  // length the caller does not know (value lists and text areas have none).
  TRealTable(CMemFile* mf, int with_header, TTableCollection* names = nullptr);
  // Writes the record into a memory image (every set), after the system header when with_header
  // is set. The table is condensed first, as for a file. A full image throws
  // Q7_ERROR_OUT_OF_MEMORY and leaves a partial record.
  void Save2Mem(CMemFile* mf, int with_header) override;
  // An upper bound of the bytes Save2Mem(mf, 1) takes at any 8-aligned address (the table is
  // condensed first, as Save2Mem does).
  int64_t GetFileSize();
  // From the process-wide memory stream: its header, the kind (not 0: Q7_ERROR_NOT_REAL_TYPE) and
  // the record, with a unique name (as the image reader with a header).
  TRealTable(int from_mem_stream, TTableCollection* names);
  // Writes the stream header and the record (set1_only as for files) into the memory stream. No
  // stream: ("SaveBaseInfoMem", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem"), thrown before
  // anything changes; the stream's failures are thrown.
  void SaveTableMem(int set1_only);
  // In place from a shared-memory image (a database or table file's bytes) at *cursor, after the
  // kind, reading nothing at or past `end`: the arrays stay in the image (not owned), FShmImage is
  // set, the stored name and ID stay; filter origin table IDs go through id_map (null: as stored).
  // *cursor is left after the record. The image must outlive the table.
  TRealTable(void** cursor, const void* end, void* id_map);
  // The same for a table file mapped from the shared-table registry: the table keeps a copy of the
  // entry's handle (isQ7TShared) and detaches it when destroyed. A failure leaves the handle alone.
  TRealTable(void** cursor, const void* end, void* id_map, LSHMTBLEntry* entry);

 private:
  template <class Source>
  void ReadImageRecord(Source& source, bool unique_name, TTableCollection* names);
  template <class Target>
  void WriteImageRecord(Target& target, int set1_only);

  // ---- Text export (TRealTable_export.cpp) ----
 public:
  // Lines of text, one per row of a set: the fields of the listed filters in list order, each as
  // database/CsvColumnPrinter.h prints it, separated by the separator, ended by a line feed. A
  // filter list is read up to its first -1, at most GetNFilter() entries; null or a list starting
  // with -1 means every filter in display order. Nothing changes in the table; pending values are
  // read where they are.
  //
  // The serial exports write rows first_row .. last_row (1-based positions in the set; first -1
  // means 1, last -1 the set's size) of set_id (negative: the current set) into `file` in
  // `directory`, doubles with their list's attribute byte 5 + 3 digits, decimals at their list's
  // scale. Nothing is written when first_row or last_row is 0 or first_row > last_row. Codes, each
  // after the entry stated under "Export": Q7_ERROR_NO_SUCH_SET ("Failed to get index SetLoc (
  // result SetID2Pos )"); Q7_ERROR_INVALID_PATH for a directory that cannot be entered ("Invalid
  // Parameter : Path(%s)"); a listed ID that names no filter ("Invalid Parameter : IDList[%d] (%d)",
  // its 1-based position and the ID): Q7_ERROR_ILLEGAL_FILTER, found before the file is opened;
  // Q7_ERROR_ILLEGAL_FILE_NAME (zpk_open's entry) for a file that cannot be written;
  // Q7_ERROR_INDEX_OUT_OF_RANGE, unrecorded, when the range runs past the set's end. The file is
  // written beside its name and replaces an old file of that name only once whole
  // (table_files::ReplacingFile, kHostTextFile): every failure leaves the old file. The working
  // directory is the caller's again on every return.
  int Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
             char date_separator, const char* directory, const char* file) override;
  // The same shaped by an export format file (read in `directory`; a file that cannot be read
  // counts as one without records): last_row beyond the set is cut to its size, and a DOUBLE
  // filter prints with the digits of the record of its name when they lie in 0..15, else with 3.
  // A listed ID that names no filter is recorded with its 0-based index and gives
  // Q7_ERROR_NO_SUCH_FILTER.
  int Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
             char date_separator, const char* directory, const char* file, const char* format_file) override;
  // One part of a parallel export, on a worker: rows rows->first .. rows->last of the exporter's
  // set (already resolved), the columns column_ids (ended by -1) with the exporter's separators,
  // into the new file part_file, in blocks of about buffer_size bytes (0: each line at once). With
  // a format_file the exporter's format records apply (the first of kExportFormatLookup whose name
  // is the filter's): a DOUBLE prints with the record's digits (above 15: 3), a DECIMAL with the
  // record's digits and mode (its own mode when the record names none). Returns 0 or a code, and
  // writes nothing to the error ring: Q7_ERROR_ILLEGAL_FILTER for an empty list or an ID that names
  // no filter (before the file is made); Q7_ERROR_NO_SUCH_SET; Q7_ERROR_ILLEGAL_FILE_NAME for a file
  // that cannot be made or written; Q7_ERROR_INDEX_OUT_OF_RANGE for rows outside the set;
  // Q7_ERROR_OUT_OF_MEMORY. Safe on several workers at once, each with its own part.
  int OutCsvPartFile(CsvExportState* exporter, const char* part_file, const int* column_ids,
                     const CsvLineDiv_t* rows, int buffer_size, const char* format_file) override;

 private:
  // The lines of one part into an open stream: rows rows->first .. rows->last of the exporter's set.
  // 0, or Q7_ERROR_NO_SUCH_SET; throws the printers' and the stream's codes.
  int WriteCsvdata(const CsvExportState* exporter, const CsvLineDiv_t* rows, const CsvColumnPrinter* columns,
                   int column_count, zpk_fstream& stream, CsvLine& line, int buffer_size);

  // ---- Row editing (TRealTable_edit.cpp) ----
 public:
  // Rows of a set are given as a 1-based first row and a count; a count that runs past the end of
  // the set (or a record range past the last record) is cut there, and the number of rows (records)
  // changed is returned. The callers have checked that no other table refers to this one.
  //
  // DelRows, DelRowsEx and InsRows first close the find session and drop the sorted views of every
  // filter (TFilter::Taint; a high-speed filter throws Q7_ERROR_HIGH_SPEED_FILTER before any row
  // changes), then check their arguments; the deletions merge every filter's pending values. A
  // refusal (recorded under the operation's name) leaves the rows and values as they were; so does
  // any failure, which is found before the first set or filter changes.

  // Deletes records from .. min(from + count, n + 1) - 1: every set loses them and has the later
  // ones renumbered down, every filter loses their value numbers. from outside 1 .. n:
  // Q7_ERROR_INVALID_ROW_POSITION ("Invalid Parameter : DelStart(%d)"); count below 1:
  // Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : DelCount(%d)").
  int DelRows(int from, int count);
  // Deletes the records at rows from .. of set_id (negative: the current set) in the same way.
  // Refusals: Q7_ERROR_ILLEGAL_SET_ID ("No Such Set: %d"), Q7_ERROR_INVALID_ROW_POSITION ("Invalid
  // Parameter : DelStart"), Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : DelCount"). Throws
  // Q7_ERROR_INVALID_UNIT_WIDTH (recorded as "Illegal Data Size", Q7_ERROR_ROW_SIZE_OVERFLOW) when
  // the rows name a record twice or a filter is not one value number per record, and
  // Q7_ERROR_INDEX_OUT_OF_RANGE for a set holding a number that is no record; nothing changes then.
  int DelRowsEx(int set_id, int from, int count);
  // Inserts `count` records, all NULL, as records at .. at + count - 1 (at = position, 0 taken as
  // 1, beyond the end appending); later records move up in every set and pending list. Set 1 grows;
  // no other set takes the new records. Refusals: position below 0 Q7_ERROR_INVALID_ROW_POSITION
  // ("Invalid Parameter : InsPos(%d)"); count below 1, or so large that the record count would pass
  // INT_MAX - 1, Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : InsCount(%d)"). Returns count.
  int InsRows(int position, int count);

  // Writes count values to the records at rows from .. of set_id. data holds one element per row in
  // the width of the filter's value list: int32, double (DOUBLE, DATE, TIME, DATETIME), Numeric at
  // the list's scale, or the address of a NUL-terminated text (null reads as the empty text). A
  // find open on the filter is closed first. Checks, in this order, recorded under the operation's
  // name: Q7_ERROR_ILLEGAL_SET_ID ("No Such Set: %d"), null data, from outside the set, count
  // below 1 (Q7_ERROR_INVALID_PARAMETER: "Invalid Parameter : PWData(%d)", "WriteStart(%d)" with
  // from - 1, "WriteCount(%d)"), Q7_ERROR_NO_SUCH_FILTER ("No Such Filter: %d"). Then the filter
  // is tainted. A small write goes to the filter's pending list; otherwise the values are compiled
  // and merged into the value list (entries only grow here; condensing drops the unused ones),
  // whose attribute block is kept. A set holding a number that is no record throws
  // Q7_ERROR_INDEX_OUT_OF_RANGE. MppOverWriteEx compiles and merges on the worker pool and records
  // its texts without the "(%d)".
  int OverWriteEx(int set_id, int filter_id, int from, int count, void* data);
  int MppOverWriteEx(int set_id, int filter_id, int from, int count, void* data);
  // OverWriteEx for a DECIMAL filter with values at (scale, rounding_mode), recorded under
  // "OverWriteExNumeric"; another filter type returns Q7_ERROR_ILLEGAL_FILTER_TYPE ("Illegal data
  // type  : %d"). Pending values are merged first and the pending list is not used. The list of
  // the smaller scale is rescaled to the larger one (a value that does not fit becomes NULL), and
  // the filter's list ends with the larger scale and its mode (the filter's own on equal scales).
  int OverWriteExNumeric(int set_id, int filter_id, int from, int count, int scale, int rounding_mode,
                         void* data);
  // Writes the one value at *value (one element as OverWriteEx takes them) to the rows. FillEx
  // records none of its refusals (the filter lookup records "No Such Filter: %d" under "GetFilter")
  // and stores a text as given; MppFillEx records them ("No Such SetID: %d ", "Invalid Parameter :
  // PWData(%d)" ...), merges on the worker pool and, while trailing-blank trimming is on, stores a
  // text without its trailing blanks (the caller's text is not changed).
  int FillEx(int set_id, int filter_id, int from, int count, void* value);
  int MppFillEx(int set_id, int filter_id, int from, int count, void* value);
  // AddEmptyFilter, then MppOverWriteEx(set 1, new ID, 1, count, data): rows beyond count stay NULL,
  // values beyond the record count are ignored. width is not read. Unrecorded refusals:
  // Q7_ERROR_FILTER_COUNT_OVERFLOW, Q7_ERROR_ILLEGAL_FILTER_NAME. When the write is refused the new
  // filter stays (NULL in every row) and the write's code is returned; else the new filter's ID.
  int MppAddFilter2(int position, char* name, int type, int count, int width, void* data, int unused,
                    int origin_filter_id);

  // ---- Duplicating and condensing filters (TRealTable_dup.cpp) ----
  // A duplicate is a new filter right after its source in the display order, with its own arrays
  // and the source's name made unique (GenFilterName); it keeps no link to the source. Each merges
  // the pending values of every filter first and returns the new filter's ID or a code; AddFilter's
  // refusals are returned as they are.

  // A copy of the filter. Q7_ERROR_NO_SUCH_FILTER ("DupFilter", "Failed to get FilterName (
  // FilterID2Name module )" or "No Such Filter: %d"); GenFilterName's code ("Illegal FilterName").
  int DupFilter(int filter_id);
  // The filter converted to value type `type` (2 to 8) entry by entry (values/TypeConv.h: a value
  // the type cannot hold becomes NULL; values that become equal share one entry), a DECIMAL result
  // at (scale, rounding_mode). type -1, or the source's own type (for DECIMAL with the same scale
  // and mode), makes a plain DupFilter. Recorded under "DupFilterEx": kMaxFilters filters
  // Q7_ERROR_FILTER_COUNT_OVERFLOW ("FilterCount overflow"); no such filter
  // Q7_ERROR_NO_SUCH_FILTER; no unique name, GenFilterName's code. Thrown: a type outside -1 and
  // 2 to 8 or a source list of no value type Q7_ERROR_INVALID_DATA_TYPE, Q7_ERROR_OUT_OF_MEMORY
  // ("Out of memory"); no filter is added then.
  int DupFilterEx(int filter_id, int type, int scale, int rounding_mode);
  // DupFilterEx converting and compiling on the worker pool; the filter count is left to AddFilter,
  // a DECIMAL result has the decimal array defaults (scale 6, ROUNDHALFUP), only the value type
  // decides a plain duplicate, and nothing is recorded at this level.
  int MppDupFilterEx(int filter_id, int type);

  // Drops from the filter's value list the entries no record uses (the NULL entry always stays) and
  // renumbers the records; values and their order are unchanged. Pending values are merged first.
  // A value list is never compacted under another filter: a list that other holders share
  // (values/ValueListShare.h: borrowers hold it too), or that this filter only borrows (FSharedVL),
  // is replaced by a condensed copy of its own; a list that another filter of the same table
  // borrows from this one is left as it is. So are arrays on a shared-memory image. Returns 0,
  // Q7_ERROR_NO_SUCH_FILTER (unrecorded), or Q7_ERROR_ILLEGAL_FILTER_TYPE for a list of no value
  // type; throws Q7_ERROR_ILLEGAL_ARRAY_DATA for a value number outside the list (nothing changed)
  // and Q7_ERROR_OUT_OF_MEMORY.
  int CondenseFilter(int filter_id);
  // CondenseFilter for every filter in display order; a failure leaves the filters before it
  // condensed and is returned (or thrown) as there.
  int CondenseTable();

  // ---- Tree tables (TreeTables.cpp) ----
  // On a realised join chain (filter 1 the depth; records in depth-first pre-order): registers,
  // as the new current set, the rows of set setID (negative: current) without the rows whose
  // levelFilter value is `level` and whose node value (filter nodeFilter, 2 when negative) is one
  // of `nodes` (read up to the first value below 1), each with its subtree (the rows after it of
  // greater depth); a record listed twice keeps its first place. *newSetOut receives the set ID
  // (first the given one), *newFilterOut the node filter ID. Unless setOnly, also appends a
  // "RecNo" column ("RECNO" by the naming rule) holding, for the kept rows, the node value
  // renumbered without the removed ones (rows at `level`) or unchanged (others), NULL elsewhere;
  // *newFilterOut then receives its ID. Returns the number of rows removed; 0 for an empty set, a
  // missing levelFilter, an empty node list or a node filter with only NULL. Codes:
  // Q7_ERROR_NO_SUCH_SET ("DelTreeNodes", "No Such Set: %d"), Q7_ERROR_NO_TREE ("Failed to get
  // tree": filter 1 or the node filter missing or not INTEGER, a negative node value),
  // Q7_ERROR_INVALID_KEY_PARAMETER (levelFilter not INTEGER, unrecorded), and the refusals of
  // the new set and column (the set stays when the column fails).
  int DelTreeNodes(int setOnly, int level, int levelFilter, int setID, int nodeFilter, const int* nodes,
                   int* newSetOut, int* newFilterOut);

  // CondenseFilter for the filter at a display position (0 .. count - 1), for a condense that runs
  // per filter. Not safe at the same time as a condense of another filter that shares its list.
  int CondenseFilterAt(int position);
  // The condense of one filter; lent: another filter borrows its list (it is then left alone).
  static int CondenseValueList(TFilter* filter, bool lent);

 private:
  // Which overwrite or fill WriteRows runs (its checks, texts and kernels).
  enum WriteKind { kWriteOverWrite, kWriteMppOverWrite, kWriteFill, kWriteMppFill, kWriteNumeric };
  // Closes the find session and taints every filter.
  void BeginRecordChange();
  // Throws Q7_ERROR_INVALID_UNIT_WIDTH ("Illegal Data Size") unless every filter has one value
  // number per record and element 0.
  void CheckFilterSizes(const char* log_name);
  // The find closing, the argument checks and the taint every overwrite and fill starts with:
  // the number of rows to write, or the refusal's code.
  int BeginWrite(int kind, int set_id, int filter_id, int from, int count, const void* data, TSetArray** set,
                 TFilter** filter);
  int WriteRows(int kind, int set_id, int filter_id, int from, int count, const void* data);
  // Merges the k values into the filter's list and writes their numbers to the set's rows from
  // position `from` (0-based).
  void RebuildColumn(int kind, TFilter* filter, TSetArray* set, int from, int k, const void* data);
  // AddFilter right after the source; on success the arrays are the filter's and both pointers are
  // cleared, else they stay the caller's.
  int AddFilterAfter(int source_id, char* name, TIntArray** value_numbers, TBaseArray** value_list);
  int DuplicateConverted(int filter_id, int type, int scale, int rounding_mode, bool parallel);
  // ---- end of row editing, duplicating and condensing ----

  // ---- Derived tables on the worker pool (MppDerive.cpp) ----
  // The parallel twins of DuplicateRealTable, ExtractRealTable and CombineRealTable: the same
  // arguments, codes and table (columns, names, IDs, values, sets), with the columns built on the
  // worker pool, one column per claim (database/MppDerive.h); every filter and set is found and
  // every argument checked before the first column is built. They record nothing of their own (the
  // lookups record theirs). Names follow GenFilterName as in the serial forms, except that
  // MppCombineRealTable names its record-number column "RecNo" exactly. Call them from the thread
  // that drives the pool, under the API lock; failures are thrown and the caller destroys the
  // partly filled table.
 public:
  int MppDuplicateRealTable(TRealTable* source);
  void MppExtractRealTable(int set_id, TRealTable* source, int add_table_id, int add_rec_no, int* filter_ids);
  // Before any column is built, every pair's basic types are checked (Q7_ERROR_FILTER_TYPE_MISMATCH,
  // unrecorded). Consuming mode: a worker gives a source filter up once the last column that reads
  // it stands, under the engine's write lock, and only then; a join's key filter stays (as
  // DropFilter refuses it). A find session left on a given-up filter is closed before returning.
  void MppCombineRealTable(int add_table_id, int add_rec_no, int set_a, int* ids_a, TRealTable* a, int set_b,
                           int* ids_b, TRealTable* b, int n_filter_a, int n_filter_b, int* all_a, int* all_b,
                           int* uses_a, int* uses_b);
  // CondenseTable on the worker pool, one filter per claim, with the same rule for shared lists;
  // a table on a shared-memory image or attached from the registry is left as it is. Pending
  // values are merged first. Returns 0 or the first failing filter's code (never throws); the
  // filters condensed before a failure stay condensed.
  int MppCondenseTable();

  // ======== Members defined by a higher layer ========
  // Declared with the table so that callers reach them as members, but defined in a library above
  // this one, which a caller must link: each group below names that folder and library.

  // ---- Calculations: calc/ (q7calc; TRealTable_calc.cpp, TRealTable_icalc.cpp) ----
  // One calculator per request over `count` rows of set_id from first_row: the four-operation
  // calculator (calc/TCalculator.h) for Calculate, MppCalculate and MppCalcPtr, the integrated one
  // (calc/TIntegratedCalc.h) for the IntegratedCalc forms; the Mpp forms run on the worker pool.
  // The results go into filter_id, or, for the Ptr forms, into the caller's buffer. Returns 0 or a
  // code; a table that others depend on is not written (Q7_ERROR_NOT_EDITABLE). *message, when
  // not null, is pointed at the parse-error text.
  int Calculate(int set_id, int filter_id, int first_row, int count, const char* formula, char** message);
  int MppCalculate(int set_id, int filter_id, int first_row, int count, const char* formula, char** message);
  int IntegratedCalc(int set_id, int filter_id, int first_row, int count, const char* formula);
  int MppIntegratedCalc(int set_id, int filter_id, int first_row, int count, const char* formula);
  int MppCalcPtr(int set_id, int first_row, int count, const char* formula, int result_type, void* buffer,
                 int buffer_size, char* text, char** message);
  int MppIntegratedCalcPtr(int set_id, int first_row, int count, const char* formula, int result_type,
                           void* buffer, size_t size, char* string_area);

  // ---- Categories, serial road: summary/ (q7summary; TRealTable_category.cpp, TCatDef.h) ----
  // The same new filter as MppAddCategory below, found by ranges over the target's sorted value
  // list: the first matching row of the category table gives each value its category, a value no
  // row covers gets NULL, and NULL itself is the smallest value (a row may cover it). The target
  // may be of any value type: INTEGER and DOUBLE-kind targets take INTEGER, DOUBLE-kind or DECIMAL
  // parameters, DECIMAL targets the same, STRING targets STRING parameters. The filter is named
  // "<category table>(<target filter>)". Returns the new filter ID or a code, never throws:
  // Q7_ERROR_NO_SUCH_TABLE ("AddCategory", "No Such Table: %d "), Q7_ERROR_NOT_REAL_TYPE
  // ("Illegal table type ( Not REAL )"), TCatTarget's and TCatDef's refusals (recorded there),
  // Q7_ERROR_INNER_ENGINE for a parameter type the target does not take, Q7_ERROR_OUT_OF_MEMORY,
  // AddFilter's refusals. Pending values of both tables are merged first; the command and
  // category-value filters of a category table that is not shared are condensed (no value
  // changes); the target table changes only by the new filter. Above 99,999 records the rows are
  // mapped on the worker pool (task 38): call from the thread that drives the pool.
  int AddCategory(int targetFilterID, int categoryTableID);

  // ---- Categories: summary/ (q7summary; TRealTable_mppcategory.cpp) ----
  // A new filter, right after the target filter, holding for each record the category that the
  // first matching row of the category table gives the record's value (NULL when none matches). The
  // category table is a real table whose first four filters in display order are the command
  // (STRING operator text, summary/category/CategoryOperators.h), param1 and param2 (both DOUBLE-kind of one
  // extend type, or both DECIMAL) and the category value, whose value list becomes the new
  // filter's. Every distinct target value is tested on the worker pool (task 22), then every
  // record mapped. The filter is named "<category table>(<target filter>)", the table name cut at
  // 132 bytes. Returns the new filter ID, or (unrecorded) Q7_ERROR_NO_SUCH_FILTER,
  // Q7_ERROR_INVALID_DATA_TYPE (a target not INTEGER, DOUBLE-kind or DECIMAL),
  // Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TYPE, Q7_ERROR_CATEGORY_DEFINITION (fewer than four
  // filters, wrong filter types) or Q7_ERROR_EMPTY_CATEGORY (no rows). Thrown: a row whose
  // command is no operator, or whose used parameter is NULL (Q7_ERROR_CATEGORY_DEFINITION),
  // Q7_ERROR_OUT_OF_MEMORY and AddFilter's refusals. Pending values of both tables are merged
  // first; the category table is not changed otherwise, and the target only by the new filter.
  // The caller refuses shared targets. Call from the thread that drives the pool.
  int MppAddCategory(int targetFilterID, int categoryTableID);

  // ---- A join set as a table: join/ (q7join; TRealTable_joinreal.cpp) ----
  // Fills this new, empty table with the joined rows of set_id of the join (negative: its current
  // set), in the set's order: set 1 holds records 1 .. n; then INTEGER "MRecNo" (each row's master
  // record, 0 where the row has none) when add_master_rec_no, "SRecNo" likewise for the slave, then
  // one column per listed join column ID (filter_ids, read up to its first ID below 1; null: none),
  // with the value of the row's record on the column's side (NULL where it has none). Filter IDs
  // run 1, 2, ... in that order. Without share_value_lists each column carries a copy of its
  // source's value list; with it the source's own list, borrowed (FSharedVL), so that this table
  // then depends on the source table. Pending values of the listed source filters are merged first.
  // The serial form names a join column after its source filter (made unique here) and reads at
  // most kMaxFilters minus the record-number columns of the list; the parallel one names it as the
  // join does (made unique against the record-number columns) and reads at most as many as the join
  // has columns. Both resolve the rows and build the columns on the worker pool. Thrown:
  // Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_JOIN_SET, Q7_ERROR_NO_SLAVE_SET, Q7_ERROR_PROJECTION_FAILED,
  // Q7_ERROR_NO_WORK_AREA (a record-number column refused), Q7_ERROR_NO_SUCH_FILTER (a listed ID
  // naming no join column), Q7_ERROR_CONVERT_JOIN_FAILED (no free name), Q7_ERROR_INDEX_OUT_OF_RANGE
  // / Q7_ERROR_ILLEGAL_ARRAY_DATA (a set or column whose arrays do not resolve),
  // Q7_ERROR_OUT_OF_MEMORY; the caller then destroys the partly filled table.
  void ConvertJoinToReal(TJoinTable* join, int set_id, bool add_master_rec_no, bool add_slave_rec_no,
                         int* filter_ids, bool share_value_lists);
  void MppConvertJoinToReal(TJoinTable* join, int set_id, bool add_master_rec_no, bool add_slave_rec_no,
                            int* filter_ids, bool share_value_lists);
};
