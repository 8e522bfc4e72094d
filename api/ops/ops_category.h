// The serial categorising of the operation layer: a new filter of category values chosen, per
// record, by the first row of a category table whose condition the record's value meets (the
// table's own road: TRealTable::AddCategory, which works on ranges of the sorted value list).
//
// innerQ7AddCategoryReal(table, target_filter, category_table) follows api/ops/OpCommon.h under the
// ring name "Q7AddCategoryReal", with these checks in order: the table exists ("No Such Table: %d",
// Q7_ERROR_NO_SUCH_TABLE); it is not shared (Q7_ERROR_SHARED_READ_ONLY, no entry), so a table
// mapped read-only is never written; it is real ("Not RealTable: %d" carrying
// Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE returned). Then AddCategory's result is returned
// as it comes: the new filter's ID, or its code without a further entry (AddCategory records its
// own). The saved flags are left alone.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

int innerQ7AddCategoryReal(int table_id, int target_filter_id, int category_table_id);
