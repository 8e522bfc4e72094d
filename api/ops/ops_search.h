// Search and sort operations of the operation layer: the serial roads of the exported search and
// sort functions, the ordering of a list of counts, and the binary search over a value list with a
// caller's comparison.
//
// Every table-reaching operation follows api/ops/OpCommon.h under its ring name (in quotes below):
// argument checks that need no table come first; a missing table is recorded (ring name,
// Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d") and returned; a negative result of the table's
// operation is recorded with "return of inner call" and returned; a CQ7Exception thrown below is
// recorded with its code and message and its code returned; anything else gives Q7_ERROR_UNKNOWN
// without an entry. A failed search or sort registers no set.
//
// Results: a search returns the ID of the new set, which the table has made its current set; a
// sort returns the table's non-negative result (the new set's ID). A negative set ID means the
// table's current set. Search codes are the header's Q7SearchOp, read as database/SearchCodes.h
// says (meanings in database/TSetArray.h).
//
// Saved flags: every successful search and sort here clears g_TFSSaved, except
// innerQ7SearchByFieldNValues, which changes no flag (as do the readers).
//
// Thread safety: call under the API lock (from inside an exported frame). The table operations may
// drive the worker pool from the calling thread.
#pragma once

#include "api/ops/ops_data.h"
#include "q7api.h"

// ---- A check the task object's search slots may share ----
// Refuses a null bound that search code `op` reads (from for every code 0..11 but 11; to as well
// for 1 and 5) with CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From" / "...
// : To"), for RunOp to record. Codes outside 0..11 pass (the search itself refuses them).
void CheckSearchBounds(int op, const char* from, const char* to);

// ---- Searches ----
// "Q7SearchByField": the table's SearchByField. from must point at one value of the filter's
// storage type (the text itself for STRING) for every code but 11, and to as well for 1 and 5; a
// null bound that the code would read is refused with Q7_ERROR_INVALID_PARAMETER ("Invalid
// Parameter : From" / "Invalid Parameter : To") before the table is looked up.
int innerQ7SearchByField(int table_id, int filter_id, int set_id, int op, char* from, char* to);
// innerQ7SearchByField for texts in a stated code (api/ops/CharCodeChecks.h): Shift_JIS, or the
// code of a locale ID. A database of another code is thrown as CQ7Exception
// (Q7_ERROR_CHAR_CODE_MISMATCH) before the search, for the exported frame to record.
int innerRQ7SearchByFieldSJIS(int table_id, int filter_id, int set_id, int op, char* from, char* to);
int innerRQ7SearchByFieldLocale(int table_id, int filter_id, int set_id, int op, char* from, char* to,
                                int locale);
// "Q7SearchByField" for bounds of one kind (api/ops/ops_data.h): as innerQ7SearchByField, and once the
// table is found a filter that does not store that kind is refused, whatever the code, with
// CheckValueKind's Q7_ERROR_INVALID_DATA_TYPE; no set is made.
int innerQ7SearchByFieldOf(HostValueKind kind, int table_id, int filter_id, int set_id, int op, char* from,
                           char* to);
// "Q7SearchByField2": a null bound that the code reads is refused as in innerQ7SearchByField, before
// the table is looked up; then the filter must exist (recorded "No Such Filter: %d" with
// Q7_ERROR_NO_SUCH_FILTER, returned); a STRING filter is searched by the text from each value's
// second byte (the table's SearchByField2), any other filter exactly as innerQ7SearchByField.
int innerQ7SearchByField2(int table_id, int filter_id, int set_id, int op, char* from, char* to);
// "Q7SearchByFieldWildCard": the rows whose whole text matches the wildcard pattern.
int innerQ7SearchByFieldWildCard(int table_id, int filter_id, int set_id, const char* pattern);
// "Q7Search": the rows whose value number has a nonzero byte in flags (one byte per value-list
// entry, index 0 the NULL), in the source set's order.
int innerQ7Search(int table_id, int filter_id, int set_id, unsigned char* flags);
// "Q7SearchByRowNo": the table's SearchByRecNo(a, b, c, d, e): a is not read, b is the source set,
// c the code 0 to 7, d and e the record-number bounds.
int innerQ7SearchByRowNo(int table_id, int a, int b, int c, int d, int e);
// "Q7SearchByDispRowNoReal": a real table is required ("Not RealTable: %d" recorded with
// Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE returned); then the search by 1-based position in
// the set (TRealTable::SearchByRowNo, codes 0 to 7).
int innerQ7SearchByDispRowNoReal(int table_id, int set_id, int op, int from, int to);
// "innerQ7SearchByFieldNValues": the rows holding any of the count values (count values of the
// filter's storage type: int32, double, Numeric or text pointers). A null values with count > 0 is
// refused with Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : Values").
int innerQ7SearchByFieldNValues(int table_id, int filter_id, int set_id, int count, void* values);

// ---- Sorts ----
// "Q7SortByField": dir 0 ascending, 1 descending; any other dir (negative ones included) returns
// Q7_ERROR_INVALID_PARAMETER without an entry. Then the table's SortByField.
int innerQ7SortByField(int table_id, int filter_id, int set_id, int dir);
// "Q7SortByRowNo": dir as above, but a bad one is recorded ("Invalid Parameter : SortDir",
// Q7_ERROR_INVALID_PARAMETER). Then the table's SortByRecNo(a, b, dir): a is not read, b is the
// source set.
int innerQ7SortByRowNo(int table_id, int a, int b, int dir);

// ---- Counts ----
// "Q7GetValCount": counts[v] = the rows of the set whose value number in the filter is v, for each
// entry v of the filter's value list (counts must hold that many ints); returns the number of
// entries. Null counts: recorded ("PCountAr = NULL!", Q7_ERROR_NO_SUCH_TABLE) and
// Q7_ERROR_NO_SUCH_TABLE returned before the table is looked up.
int innerQ7GetValCount(int table_id, int filter_id, int set_id, int* counts);

// "Q7ServiceSortByN": orders the positions 0 .. n-1 by values[position], largest first, equal
// values in ascending position order, into order (n ints); lists the positions with a nonzero
// value, ascending, in non_zero_index (n ints) and their number in *non_zero_count. Values are
// counts, 0 or more. n below 1 writes 0 to *non_zero_count and nothing else. Refusals (nothing
// written): a null order, non_zero_count or non_zero_index ("Output area not reserved",
// Q7_ERROR_UNKNOWN); with n > 0 a null values or a negative value ("Invalid Parameter : Values",
// Q7_ERROR_INVALID_PARAMETER). Returns 0.
int innerQ7ServiceSortByN(int n, int* values, int* non_zero_count, int* non_zero_index, int* order);
// innerQ7ServiceSortByN recording under another ring name (the task object's slot).
int ServiceSortByNAs(const char* ring_name, int n, int* values, int* non_zero_count, int* non_zero_index,
                     int* order);

// ---- Binary search with the caller's comparison ----
// cmp(element, key) is negative, 0, or positive when the element is greater than the key. Element
// k of the list lies at info->values + info->unit * k, for k in 0 .. info->valueCount - 1, which
// must be ascending under cmp. Returns the last position whose element is not greater than the key
// (probing with the smallest power of two at least the count, halved down to a last step of 0), or
// -1 when every element is greater or the list is empty; *found tells whether an element equal to
// the key was met on the way. info and cmp must not be null. Reads nothing beyond the list; keeps
// no state.
int FindPosByFunc(long (*cmp)(const void*, const void*), const void* key, _TFilterInfo* info, bool* found);
// "Q7SearchPosByFunc": FindPosByFunc with an int flag (0 at the start, 1 when an equal element was
// met; a null found is allowed). A CQ7Exception thrown by cmp is recorded with its code and message
// and its code returned; anything else gives Q7_ERROR_UNKNOWN. A null cmp or info, or a list of one
// or more elements with null values or a negative unit, is refused with Q7_ERROR_INVALID_PARAMETER
// ("Invalid Parameter : FilterInfo").
int innerQ7SearchPosByFunc(long (*cmp)(const void*, const void*), const void* key, _TFilterInfo* info,
                           int* found);
