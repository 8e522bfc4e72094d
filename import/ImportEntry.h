// The glue between the engine task object's catalog operations and the catalog parser: each
// function builds a CCatalogParser on its stack for one import and destroys it before returning.
//
// Callers: the task object's slots (api/task/CDBParallelTask_import.cpp), which check the names,
// enter the catalog's directory and restore the working directory afterwards. Every function runs
// under the API lock, on the calling thread (the parallel road drives the worker pool from it).
//
// Results: a new table's ID, a row count, or a negative Q7_ERROR_* code; no exception leaves them.
// Failures of the import itself are written to the catalog message log by the parser.
#pragma once

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

// Appends the values of a one-value-per-line file to a filter of a table. Needs the single-column
// text parser, which does not exist yet: returns Q7_ERROR_INVALID_OPERATION for now.
int appendFilterFromFile(int table, int filter, int type, int position, int rows, char* file);
