// The glue between the engine task object's catalog operations and the catalog parser (each
// function builds a CCatalogParser on its stack for one import and destroys it before returning),
// and the functions that read one column from a single-column file or search values from a CSV file.
//
// Callers: the task object's slots (api/task/CDBParallelTask_import.cpp), which check the names,
// enter the catalog's directory and restore the working directory afterwards. Every function runs
// under the API lock, on the calling thread (the parallel road drives the worker pool from it).
//
// Results: a new table's ID, a row count, or a negative Q7_ERROR_* code; no exception leaves them.
// Failures of the import itself are written to the catalog message log by the parser.
#pragma once

class CCSVParser;

// Parallel import of `source` into a new table named after the catalog's directory.
int addCatalogFileMT(char* catalog, char* source);
// The same; the new table takes `tableName` (null or empty: the title) instead of the title.
int addCatalogFileMT(char* catalog, char* source, char* tableName);
// Parallel append of `source` to `table`. The caller presets the importer's append position and
// imported row count (CCMultiThreadImport::setAppendPos / setImportedRows). The rows appended;
// Q7_ERROR_NO_SUCH_TABLE when the table does not exist.
int appendCatalogFileMT(int table, char* catalog, char* source);
// Single-thread append of `rows` rows (rows beyond the source are NULL) to `table` from
// `position` (-1: after the last row), reading "SrcData.dat" in the working directory. The rows
// appended (0 for an empty source).
int appendCatalogFile(int table, int position, int rows, char* catalog);
// The same, reading `source`.
int appendCatalogFile2(int table, int position, int rows, char* catalog, char* source);
// Single-thread import into a new table: its ID.
int addCatalogFile(char* catalog);

// The table title of a catalog path, in place: a path that does not end with '/' is cut at its
// last '/'; then the part after the last remaining '/' is moved to the front. So the title is the
// name of the directory that holds the catalog file; a path ending with '/' gives the empty title
// and a path without '/' is its own title. Returns path.
char* getTitleName(char* path);

// ---- Columns from single-column files (CPlainTextParser.h: lines, quotes, length-prefixed
// records). Each owns its parser for the call; the columns reach the table through the registered
// ImportTaskServices. Results: the new filter's ID or the number of values appended, or a negative
// code; Q7_ERROR_UNKNOWN for a failure that is not an engine exception.

// A new filter named `name` of `type` at display position filterPos: with a file, read line by
// line (rows = -1: every line; rows >= 0: that many, missing ones NULL); without one (null or
// empty), `rows` NULL rows.
int addFilterFromFile(int table, int filterPos, char* name, int type, int rows, char* file);
// The same with a file, read on the worker pool (CMppTextParser.h).
int MppAddFilterFromFile(int table, int filterPos, char* name, int type, int rows, char* file);
// Appends `rows` values (rows = -1: every line) of the file to the filter from record `position`
// (-1: after the last; records past the table's end are added): type 8 reads decimals at the
// filter's scale and rounding mode (Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_FILTER or
// Q7_ERROR_ILLEGAL_FILTER when the filter has none), type 6 length-prefixed records (rows must be 0
// or more), any other type one value per line. A file that fails to read appends nothing.
int appendFilterFromFile(int table, int filter, int type, int position, int rows, char* file);
// The same for decimals of the given scale and rounding mode.
int appendFilterFromFileNumeric(int table, int filter, int position, int rows, char* file, int scale,
                                int mode);
// `rows` length-prefixed records (missing ones NULL) written into a STRING filter from `position`,
// adding the records past the table's end. Refused, recorded under "appendFilterFromBinaryFile":
// rows < 0 ("Invalid Parameter : nRows(%d)", Q7_ERROR_INVALID_PARAMETER), a missing filter ("No
// Such Filter: %d", Q7_ERROR_NO_SUCH_FILTER; a missing table gives Q7_ERROR_NO_SUCH_TABLE), a
// filter of another type ("Illegal data type ( Not STRING )", Q7_ERROR_FILTER_TYPE_MISMATCH). A
// record cut short writes nothing. The fifth argument is not read.
int appendFilterFromBinaryFile(int table, int filter, int position, int rows, int unused, char* file);

// The values of the CSV file directory/file as an array of type `type` for a multi-value search:
// their number, *values a zpk_malloc array (INTEGER int32; DOUBLE, DATE, TIME, DATETIME double;
// STRING text pointers into *parser's items) and *parser the splitter holding the texts; the caller
// zpk_frees the one and deletes the other. Under the database code UTF-8 a byte-order mark at the
// start of the file is no data. The values are read as the checked import reads its cells
// (StrToInt .. StrToDateTime, import/CheckerText.h): an empty value is the type's NULL. A file of
// size 0 (or a mark alone) gives 0 values and neither. Failures, with *values and *parser null:
// Q7_ERROR_ILLEGAL_FILE_NAME (a directory or file name of 512 bytes or more, an empty file name, a
// directory that cannot be entered, a file that cannot be read), Q7_ERROR_ILLEGAL_FILTER_TYPE
// (DECIMAL), Q7_ERROR_INVALID_DATA_TYPE (any type outside 2..8), Q7_ERROR_INVALID_DATA (a value of
// a number, date or time type that does not read as one, blanks alone included),
// Q7_ERROR_DATA_OVERFLOW (a value of 4096 bytes or more), Q7_ERROR_OUT_OF_MEMORY. The working
// directory does not change.
int getValuesFromCSV(int type, char* directory, char* file, void** values, CCSVParser** parser);
