// The checks the exported text-export functions make before the engine task object's export runs.
//
// Thread safety: under the API lock (the exporter and the working directory are process-wide).
#pragma once

// The frame of "RQ7ExportAsCSV", "RQ7ExportAsTAB", "RQ7ExportAsCSVwithF" and "RQ7ExportAsTABwithF"
// (their name is ring_name): the table must exist (else Q7_ERROR_NO_SUCH_TABLE, recorded as "No Such
// Table: %d " with that code unless record_missing_table is false; the lookup itself records
// nothing); from and to must be -1 or more and from must not exceed a to other than -1 (else
// Q7_ERROR_INVALID_PARAMETER, recorded as "Invalid Parameter : RowFrom(%d) RowTo(%d)" with
// range_code). Then the task object's Export, or ExportWithF with format_file when with_format,
// with the separator; its result is returned.
int innerQ7ExportAs(const char* ring_name, bool record_missing_table, int range_code, int table_id,
                    int set_id, const int* filter_ids, int from, int to, int date_separator, const char* dir,
                    const char* file, bool with_format, const char* format_file, char separator);
