// Merging two value lists of one type into one, and renumbering the row arrays that point into
// them (serial form; the parallel form is in values/MppCompile.h).
//
// A value list is a TBaseArray of one of the four kinds: TIntArray (type 2), TDoubleArray (3; its
// extend type 3, 4, 5 or 7 tells DOUBLE, DATE, TIME, DATETIME), TStrArray (6) or TNumericArray (8),
// ascending and distinct in its type's order (values/CCompiler.h) with NULL at index 0. A row array
// is a TIntArray of value numbers into one list; every entry, element 0 included, is renumbered,
// and every entry must be a valid index of its list (pending, negative numbers are resolved by
// the caller first).
//
// Thread safety: no shared state; merges of different arrays may run at once. The caller protects
// the arrays it passes.
#pragma once

class TBaseArray;
class TIntArray;

// Merges list1 and list2 into a new sorted, distinct list and rewrites rows1 and rows2 to it.
//   0: the lists are identical (same basic type, count, width and contents); nothing changes and
//      *merged stays null.
//   1: *merged holds the new list (owned by the caller) and both row arrays are renumbered. On
//      equal entries the first list's element is kept (so it decides between 0.0 and -0.0). A new
//      double list takes the first list's extend type; a new decimal list carries the defaults of a
//      new decimal array (scale 6, mode 4) and the values as stored, without rescaling, so both
//      lists must have one scale and a caller that needs it sets it on the result; a new string list
//      holds copies of the texts in one exact area. The old lists are left to the caller.
// Failures (thrown; nothing has changed, *merged is null, the row arrays are untouched):
//   Q7_ERROR_DATA_TYPE_MISMATCH  basic types differ (ring entry "Illegal data type" under
//                                "AccommodationMain"); any two double kinds may be merged;
//   Q7_ERROR_OUT_OF_MEMORY.
int AccommodationMain(TIntArray* rows1, TBaseArray* list1, TIntArray* rows2, TBaseArray* list2,
                      TBaseArray** merged);

// The column form, which the filters' Accommodation wraps: after a merge by AccommodationMain both
// columns hold the one new list. *list1 and *list2 must each be a counted hold of the caller
// (values/ValueListShare.h): after a merge both old lists are released once and the new list has
// two holders, *list1 and *list2. The new list takes over list1's attribute block (extend type,
// display digits, decimal scale and mode), so a DATE or DECIMAL column keeps its meaning.
// Identical lists change nothing. Returns AccommodationMain's result; failures as there, with
// nothing changed.
int AccommodateColumns(TIntArray* rows1, TBaseArray** list1, TIntArray* rows2, TBaseArray** list2);

// Copies the attribute block of `from` into `to` (both lists of one basic type), refreshing what
// the array caches from it (a decimal array's scale and mode, a double array's display pair).
void CopyListAttributes(TBaseArray* from, TBaseArray* to);
