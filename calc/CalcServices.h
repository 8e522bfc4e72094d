// The write-back of the calculators that write their results into a filter.
//
// The results of a calculation go to the filter through the task object's overwrite, which lives
// in the API layer above calc/. That layer registers it here at start-up; until it does (programs
// that link calc/ directly), the calculators write through the table's own MppOverWriteEx for the
// same rows.
//
// The function receives (table ID, set ID, filter ID, 1-based first row within the set, row
// count, values): one element per row of the filter's storage type (int32, double, 16-byte
// Numeric at the filter's scale, or a text address for a STRING filter). It returns 0 or a
// negative code and must not throw.
//
// Thread safety: set at start-up (or by a test before any calculation); read under the API lock.
#pragma once

using CalcOverwriteFn = int (*)(int table_id, int set_id, int filter_id, int from, int count, void* data);

void SetCalcOverwrite(CalcOverwriteFn fn);
// The registered function, or null when none was set.
CalcOverwriteFn GetCalcOverwrite();
