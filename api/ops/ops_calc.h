// The serial calculation of the operation layer: a new column's values computed from a formula over
// the other columns of a real table (the exported calculation uses the engine task object's
// parallel slot instead; this road serves the plain mirror).
//
// innerQ7CalcReal(table, set, filter, first_row, count, formula, message) writes the formula's value
// for rows first_row .. first_row + count - 1 (1-based positions in the set; a negative set: the
// current set) into `filter`. It follows api/ops/OpCommon.h under the ring name "Q7CalcReal", with
// these checks in order: the table exists ("No Such Table: %d", Q7_ERROR_NO_SUCH_TABLE); it is not
// shared (Q7_ERROR_SHARED_READ_ONLY, no entry); it is real ("Not RealTable: %d" carrying
// Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE returned); the formula is not null
// (Q7_ERROR_INVALID_PARAMETER). Whether other tables refer to it is the calculators' own check
// (Q7_ERROR_NOT_EDITABLE).
//
// The four-operation calculator (TRealTable::Calculate) runs first; its 0, Q7_ERROR_OUT_OF_MEMORY
// or Q7_ERROR_UNKNOWN is the result. Any other failure hands the formula to the function-call
// calculator (TRealTable::IntegratedCalc): its failure is the result, its success gives 0. A
// negative result is recorded with "return of inner call". No pending values are merged here (the
// calculators fold in those of the columns they read).
//
// *message (when message is not null) receives the first calculator's parse-error text, an
// engine-owned buffer valid until the next calculation, or null when the second calculator
// succeeded. The saved flags are left alone.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

int innerQ7CalcReal(int table_id, int set_id, int filter_id, int first_row, int count, const char* formula,
                    char** message);
