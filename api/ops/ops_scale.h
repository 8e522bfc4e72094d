// Decimal scale changes, high-speed search marks and saves in the previous file version, in the
// operation layer.
//
// Each operation has its own catch (api/ops/OpCommon.h) under the ring name given at it; its ring
// entries carry the code it returns unless its comment says otherwise.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

class TBaseArray;
class TIntArray;

// ---- Decimal scale ----
// Gives a decimal filter of a real table a new scale (0..38) and rounding mode (0..6): every value
// is rescaled, rounded by the new mode, and values that became equal are merged, the rows that held
// them pointing at the one entry left. Ring name "innerQ7SetNumericInfo". Order of the checks:
//   no table ("No Such Table: %d", Q7_ERROR_NO_SUCH_TABLE);
//   innerQ7TableCanEdit: a negative code is recorded with "Not Editable: %d" and returned, referring
//     tables give ("Not Editable: %d", carrying Q7_ERROR_NO_SUCH_TABLE) and Q7_ERROR_NOT_EDITABLE;
//   no filter ("No Such Filter: %d", Q7_ERROR_NO_SUCH_FILTER);
//   with check_shared, a value list on a shared-memory image: Q7_ERROR_SHARED_READ_ONLY, no entry;
//   not decimal ("Invalid Filter Type (Not NumericType)", Q7_ERROR_ILLEGAL_FILTER);
//   null info ("Invalid Parameter (Ninfo is NULL)"), a scale outside 0..38 ("Invalid Parameter :
//     scale(%d)") or a mode outside 0..6 ("Invalid Parameter : rounding_mode(%d)"):
//     Q7_ERROR_INVALID_PARAMETER.
// A value that does not fit the new scale ("Value out of range : scale(%d)", Q7_ERROR_OUT_OF_RANGE)
// fails the whole change. Any failure leaves the column as it was: the new list is built aside and
// put in place only when complete. A filter that borrowed its value list from another column gets
// a list of its own, so the other column never changes. Returns 0.
int innerQ7SetNumericInfo(int table_id, int filter_id, const NumericInfo* info, bool check_shared);

// Merges equal entries of a decimal value list in place and renumbers the value numbers (element 0
// included) to match: NaN entries are kept, each at its own new place, and their rows point at
// entry 0; every other entry is kept at the place of its first equal. A list that is sorted stays
// sorted. Ring name "innerQ7NumericFltUpDate". Refusals, with nothing changed: null arguments
// (Q7_ERROR_INVALID_PARAMETER), a list that is not decimal (Q7_ERROR_ILLEGAL_FILTER_TYPE), a value
// number outside the list (Q7_ERROR_ILLEGAL_ARRAY_DATA), no memory for the work arrays ("Out of
// memory (ConvArray Area )", Q7_ERROR_OUT_OF_MEMORY). Returns 0.
int innerQ7NumericFltUpDate(TBaseArray* value_list, TIntArray* value_numbers);

// ---- High-speed search ----
// Each needs a collection ("No Table", Q7_ERROR_NO_SUCH_TABLE), the table ("No Such Table: %d ",
// Q7_ERROR_NO_SUCH_TABLE) and a real table ("Not RealTable: %d ", Q7_ERROR_NOT_REAL_TABLE). The two
// mark functions also the set ("No Such Set: %d ", Q7_ERROR_NO_SUCH_SET) and the filter ("No Such
// Filter: %d", Q7_ERROR_NO_SUCH_FILTER). Ring names "innerQ7" + the function's name.

// mark true: gives the set a sorted view by the filter unless it has one (built at once when the
// filter has high-speed search on, else on first use); mark false: removes the view. Pending
// values of every filter are merged first. Returns 0. The views are saved with the sets: success
// clears g_TFSSaved.
int innerQ7HighSpeedSearchSetMark(int table_id, int set_id, int filter_id, bool mark);
// 1 when the set has a sorted view by the filter, else 0.
int innerQ7HighSpeedSearchHasMark(int table_id, int set_id, int filter_id);
// Turns high-speed search on or off for one filter, or for every filter with filter_id -1. Filter 0
// or below -1: Q7_ERROR_ILLEGAL_FILTER without an entry; no such filter: ("No Such Filter: %d",
// Q7_ERROR_NO_SUCH_FILTER). Returns 0. The setting is saved with the filter: success clears
// g_TFSaved.
int innerQ7HighSpeedSearchEnable(int table_id, int filter_id, bool on);
// 1 when the filter (with -1: any filter of the table) has high-speed search on, else 0. Filter
// IDs as innerQ7HighSpeedSearchEnable.
int innerQ7HighSpeedSearchIsEnabled(int table_id, int filter_id);

// ---- Saves in the previous file version ----
inline constexpr int kOldFileVersion = 24;

// Whether the database (table_id 0) or the table can be saved in `version`: 0, or
// Q7_ERROR_INVALID_FILE_VERSION for a version other than 24 ("fileversion is not exist : %d"),
// Q7_ERROR_NO_FILE_VERSION when a decimal filter is in use or the database character code is not
// the system's ("Invalid fileversion"). The entries carry Q7_ERROR_UNKNOWN. Ring name
// "innerQ7SavePossibleCheck".
int innerQ7SavePossibleCheck(int table_id, int version);
// Saves with the header and versions of `version` (the collection keeps them for later saves):
// the database as path/name (ring name "Q7SaveDBAs"; success sets all saved flags), or one real
// table as path/<table name> or path/name (ring names "Q7SaveRealTable", "Q7SaveRealTableAs"; a
// negative result is recorded with "Failed to save realtable ( SaveRealTable[As] module )").
// Paths and names of 512 bytes or more: Q7_ERROR_ILLEGAL_FILE_NAME. Returns 0.
int innerQ7SaveDBAsOldver(const char* path, const char* name, int version);
int innerQ7SaveRealTableOldver(const char* path, int table_id, int version);
int innerQ7SaveRealTableAsOldver(const char* path, const char* name, int table_id, int version);
// The RQ7 forms: each runs the save above only after innerQ7SavePossibleCheck (the database for
// the database save, else the table) passed; a refusal of the check is returned as it is.
int innerRQ7SaveDBAsOldVer(const char* path, const char* name, int version);
int innerRQ7SaveRealTableOldVer(const char* path, int table_id, int version);
int innerRQ7SaveRealTableAsOldVer(const char* path, const char* name, int table_id, int version);

// True exactly for version 24.
bool FileVerson_ExistChack(int version);
// True when the database character code differs from the system's.
bool DbCode_UsedChack();
