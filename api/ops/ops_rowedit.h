// Row edits of the operation layer: deleting, inserting, overwriting and filling the rows of a real
// table (the serial roads; the exported overwrite and fill use the engine task object).
//
// Each follows api/ops/OpCommon.h under the ring name "Q7" + its name, with these checks in order:
//   1. the table exists ("No Such Table: %d", Q7_ERROR_NO_SUCH_TABLE);
//   2. it is not shared (Q7_ERROR_SHARED_READ_ONLY, no entry);
//   3. it is real ("Not RealTable: %d", with a trailing blank for the overwrite and the fill, carrying
//      Q7_ERROR_NO_SUCH_TABLE; Q7_ERROR_NOT_REAL_TABLE returned);
//   4. no other table refers to it (innerQ7TableCanEdit returns 0): else "Not Editable: %d"
//      carrying Q7_ERROR_NO_SUCH_TABLE, and Q7_ERROR_NOT_EDITABLE returned.
// Then the table operation runs (its arguments are the real table's, database/TRealTable.h); a
// negative result is recorded with "return of inner call" and returned, a non-negative one clears
// g_TFSaved and is returned. A refused call changes nothing.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

class TRealTable;

int innerQ7DeleteRealRowsEx(int table_id, int set_id, int from, int count);
int innerQ7DeleteRealRows(int table_id, int from, int count);
int innerQ7InsertRealRows(int table_id, int position, int count);
int innerQ7OverwriteRealEx(int table_id, int set_id, int filter_id, int from, int count, void* data);
int innerQ7FillRealEx(int table_id, int set_id, int filter_id, int from, int count, void* value);

// Checks 1 to 4 above under ring_name, with real_message as the text of check 3; the table. Call
// inside RunOp (api/ops/OpCommon.h).
TRealTable* FindEditableRealTable(const char* ring_name, int table_id,
                                  const char* real_message = "Not RealTable: %d");
