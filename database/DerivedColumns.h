// The columns of the tables that duplicating, extracting and combining make out of real tables
// (TRealTable_derive.cpp, and any form that builds the same columns on the worker pool).
//
// A derived column owns everything it is made of: a value-number array of one element per row
// plus element 0 (which is 0), and a value list of the source list's class with the source's
// attribute block (a DOUBLE list keeps its extend type, a DECIMAL list its scale and rounding
// mode). Nothing is shared with a source, so condensing or dropping either side later never
// reaches the other.
//
// Sources are only read: no pending values are merged, no string area is compacted, no holder
// count changes. Different columns may therefore be built from the same source filters on several
// threads at once. The caller merges pending values first: a value number still pending (negative)
// is refused like any number outside its list.
//
// Failures are thrown as CQ7Exception with nothing left allocated: Q7_ERROR_INDEX_OUT_OF_RANGE for
// a row that is no record of its source filter, Q7_ERROR_ILLEGAL_ARRAY_DATA for a filter without
// arrays or a value number outside its list, Q7_ERROR_ILLEGAL_FILTER_TYPE for a list of no value
// type, Q7_ERROR_DATA_TYPE_MISMATCH for a pair of lists of different basic types, and
// Q7_ERROR_OUT_OF_MEMORY.
#pragma once

#include <memory>

#include "values/TBaseArray.h"
#include "values/TIntArray.h"

class TFilter;
class TRealTable;

struct DerivedColumn {
  std::unique_ptr<TIntArray> numbers;
  std::unique_ptr<TBaseArray> list;
};

// Registers set 1 of a new, empty derived table: the records 1 .. n, current. A refusal of the
// table's set registry is thrown with its code.
void RegisterAllRows(TRealTable* table, int n);

// Registers, as set 1 of the new duplicate `table`, a copy of `source`'s set 1 (copied on the pool
// when `parallel`; an empty set when the source has none) and returns its ID. A refusal of the
// table's set registry is thrown with its code.
int RegisterCopyOfAllRows(TRealTable* table, TRealTable* source, bool parallel);

// A new list of the entries i of `list` whose keep[i] is not 0 (every entry for a null keep), in
// their order, with the list's class and attribute block. A string list gets one exact area.
std::unique_ptr<TBaseArray> SelectValueList(TBaseArray* list, const int* keep);

// The duplicate of a column: copies of its value numbers and its value list, unchanged.
DerivedColumn CopyColumn(TFilter* filter);

// The column of an extract: row r (1-based) takes the value of record rows[r - 1]. When the rows
// are at least three quarters of the list's entries (integer division) the list is copied whole;
// otherwise it keeps the entries the rows use, and the NULL entry, renumbered in order.
DerivedColumn ExtractColumn(TFilter* filter, const int* rows, int n);

// The column of a combine: rows 1 .. n_a take a's values of the records rows_a, rows n_a + 1 ..
// the values of b at rows_b. A side without a filter (null) is NULL in its rows and the list is a
// copy of the other side's. With both, the two lists (of one basic type; every double kind counts
// as one) are merged into one: for decimals of different scales the list of the smaller scale is
// first brought to the larger one, and an entry that does not fit there becomes NULL in its rows.
// The merged list carries a's attribute block; a decimal list the scale and rounding mode of the
// side with the larger scale (a's on equal scales). At least one filter must be given, and
// n_a + n_b must stay below INT32_MAX.
DerivedColumn CombineColumn(TFilter* a, const int* rows_a, int n_a, TFilter* b, const int* rows_b, int n_b);
