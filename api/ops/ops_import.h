// The text-import operations that are not slots of the engine task object, and what the import
// operations share (api/task/CDBParallelTask_import.cpp holds the catalog slots).
//
// Thread safety: under the API lock (the working directory and the catalog message log's banner
// flag are process-wide).
#pragma once

#include <functional>

struct CatalogLogCapture;

// "RQ7AppendRealFilter2": appends `rows` values (-1: all) of a single-column file (directory/file)
// to a filter of a table from `position` (-1: after the last row), adding the records past the
// table's end (appendFilterFromFile, import/ImportEntry.h: one value per line, STRING filters
// length-prefixed records, DECIMAL at the filter's scale and mode); returns the number of values
// written. Refused first, each recorded under
// the log name: an empty file name (Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FileName
// (%s)"), a position of 0 or below -1 (Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : AppendPos
// (%d)"), a directory or file name of 512 bytes or more (Q7_ERROR_ILLEGAL_FILE_NAME, "FilePath
// size overflow"). Then CanAppendFilters, and the append runs in the file's directory. Any failure
// after the checks makes one entry under the log name with the code returned (an engine
// exception's message, else empty) and, when the catalog message log's banner is still pending,
// the line "APPEND FILTER FAILURE  \t\t ErrorCode = %d "; when a line of the append cannot be
// written to the log, the append fails with the log's code after the entries of ReadColumnFile.
// The working directory is restored on every path. Every entry is written under the caller's API
// lock.
int innerQ7AppendRealFilter2(int table_id, int filter_id, int type, int position, int rows,
                             const char* directory, const char* file);

// "RQ7SearchByFieldNValuesFromCSV": the rows of the set holding any of the values of the CSV file
// directory/file (getValuesFromCSV, import/ImportEntry.h, read by the filter's value type): the
// task object's SearchByFieldNValues, whose result (the new set's ID) is returned. The filter's
// type is looked up first (innerQ7GetFilterType, whose refusals are returned); a failure of the
// reader is returned as it is and no search runs. Nothing of the read is kept.
int innerRQ7SearchByFieldNValuesFromCSV(int table_id, int filter_id, int set_id, const char* directory,
                                        const char* file);

// The failure line of an import operation: when nothing has been written to the catalog message
// log since its banner was last requested, writes `prefix` followed by the code ("%d ") or, for
// Q7_ERROR_OUT_OF_MEMORY, by "Q7_ERROR_OUT_OF_MEMORY". Returns true when it wrote the line. A log
// that cannot be written is ignored here: the callers capture the log (RecordImportFailure,
// ReadColumnFile) and then fail with the log's code as for any line of theirs.
bool WriteImportFailureLine(const char* prefix, int code);

// The error ring learns why an import failed, for a host that cannot read the catalog message log:
// when the log could not be written, an entry saying so under the log's code, which the import then
// fails with (returned); then the import's own failure with its code and the first line it logged.
// The log's code holds also when only the failure line written after the import met the log (an
// append whose catalog types are not the table's logs nothing of its own), as it does when the
// import's own first line failed it. capture: what the log saw of the import
// (CErrorLog::BeginCapture .. EndCapture).
int RecordImportFailure(const char* log_name, int result, const CatalogLogCapture& capture);

// Runs read(), a read of a single-column file (RQ7AddRealFilter2, RQ7AddRealFilter2Numeric,
// RQ7AppendRealFilter2), with the catalog message log captured, and returns its result. When it
// failed and a line of its could not be written to the log, the line is not lost: the failure is
// recorded and fails with the log's code, as for the catalog imports (RecordImportFailure). Otherwise
// the line in the log is the read's report and nothing more is recorded. What read() throws passes on.
int ReadColumnFile(const char* log_name, const std::function<int()>& read);
