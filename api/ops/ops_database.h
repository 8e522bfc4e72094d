// Database operations of the operation layer: time texts, host memory, clearing, loading and
// saving the whole database, its path, file information, the table count and list, and generated
// table names. (The version getter is in api/ops/EngineOps.h.)
//
// Conventions of api/ops/OpCommon.h: each operation has its own catch and records its failures under
// "Q7" + its name unless its comment says otherwise. Directory and name arguments are copied into
// buffers of 512 bytes; a text of 512 bytes or more is refused before anything happens, with
// Q7_ERROR_ILLEGAL_FILE_NAME ("Invalid Parameter : DBPath(...)" / "DBName(...)").
//
// Saved flags: a successful LoadDB, SaveDBAs and SaveDB set all three (api/ops/OpCommon.h); ClearDB and
// a failed load or save leave them as they are.
//
// Replacing the collection (ClearDB, LoadDB) destroys every table, filter and set and invalidates
// every pointer handed to the host before. Afterwards the engine always holds a collection.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

// The time text as a fraction of a day (Str2Time) into *out. A text that is not a time stores minus
// infinity, records ("Q7StrToTime", Q7_ERROR_UNKNOWN, "Failed to get time index ( Str2Time module
// )") and returns Q7_ERROR_UNKNOWN. A null out: Q7_ERROR_INVALID_PARAMETER. Returns 0.
int innerQ7StrToTime(const char* text, double* out);

// Frees *block (engine-allocated memory handed to the host, e.g. the rows of innerQ7SetOpe2) when
// both are non-null and sets *block to null. Returns 0.
int innerQ7FreeMem(void** block);

// Destroys the database and installs a new empty one. A failure is recorded with Q7_ERROR_UNKNOWN
// and its message, and its own code is returned. Returns 0.
int innerQ7ClearDB();

// Replaces the database by the one stored in directory/name (".Q7D" appended unless given).
// Order: the texts are checked, then the file's head (TTableCollection::CheckDatabaseFile: a
// directory, file or head the reader refuses is recorded and returned with the old database still
// in place), the old database destroyed, the file read into a new collection, which is installed,
// then its joins resolve their tables (LoadComplete(0)). A read failure further in is
// recorded with its code and message and leaves an empty database; a LoadComplete failure is
// recorded and leaves the loaded database installed. Success sets the saved flags. Returns 0 or the
// failure's code (Q7_ERROR_UNKNOWN for one that is not a CQ7Exception).
int innerQ7LoadDB(const char* directory, const char* name);

// Writes the database as directory/name (".Q7D" appended unless given) with the current header
// and versions (the stored-header flag is cleared first). Success sets the saved flags. Returns 0.
// A null or empty name is refused with Q7_ERROR_NO_DB_NAME ("Illegal FileName") before anything is
// written.
int innerQ7SaveDBAs(const char* directory, const char* name);
// The body of innerQ7SaveDBAs and of the old-version save (api/ops/ops_scale.h): records under ring,
// writes with UseFileVersion(version) (api/ops/OpCommon.h).
int SaveDatabaseFile(const char* ring, const char* directory, const char* name, int version);
// Writes the database again where it was last loaded from or saved to; Q7_ERROR_NO_DB_NAME when
// there is no such place. The stored-header flag is left as it is. Success sets the saved flags.
int innerQ7SaveDB();

// Copies the database's directory and file name into directory and name (512 bytes each). Null
// outputs: Q7_ERROR_INVALID_PARAMETER. Returns 0.
int innerQ7GetPathName(char* directory, char* name);

// Reads the system header and version numbers of directory/file(extension) into *info (see
// _Q7FileInfo). extension must be exactly ".Q7D" or ".Q7T", else -1 without a ring entry. A
// directory that cannot be entered records ("Q7GetQz7FileInfo", Q7_ERROR_INVALID_PATH, "Invalid
// Parameter : DBPath(%s)") and returns Q7_ERROR_INVALID_PATH. A null info returns
// Q7_ERROR_INVALID_PARAMETER without an entry. No catch of its own: a file that cannot be opened or
// read, or a name that does not fit in 512 bytes with its extension, is thrown as CQ7Exception (the
// frame records it). The working directory is restored on every path. Returns 0.
int innerQ7GetQz7FileInfo(const char* directory, const char* file_name, const char* extension,
                          _Q7FileInfo* info);

// Sets the longest join chain (16 to 510): TTableCollection::SetMaxJoinChain's result (0, or
// Q7_ERROR_INVALID_PARAMETER with 510 set). No catch and no entry of its own.
int innerQ7SetMaxJoinChain(int length);

// The number of tables.
int innerQ7GetNTable();
// The IDs of all tables, ascending, into ids (room for every table); their count. Null ids:
// Q7_ERROR_INVALID_PARAMETER.
int innerQ7GetTableIDList(int* ids);

// A table name no table carries, made from seed (TTableCollection::GenTableName), into out (256
// bytes). A refused seed: Q7_ERROR_ILLEGAL_TABLE_NAME, recorded with "Failed to get table Name (
// GenTableName module )". Null out: Q7_ERROR_INVALID_PARAMETER. Returns 0.
int innerQ7GenerateTableName(const char* seed, char* out);
// The same into a process-wide 512-byte buffer that the next call overwrites; *out is pointed at
// it (when out is not null). Returns the collection's result; no catch and no entry of its own.
int innerQ7GenTableName(const char* seed, char** out);

// ---- Tables inside a host's own file ----
// The collection's LoadRealTable2 / SaveRealTable2 at a byte offset of the host's file path
// (database/TTableCollection.h states what they read, write and record). The save writes exactly
// the one table *table_id (set 1 only). No catch of their own: a null path
// (Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : Path"), a null table_id
// (Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : TblID"), no collection (Q7_ERROR_NO_SUCH_TABLE,
// "No Table") and, for the save, a missing table (Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d ",
// before the file is touched) are thrown for the exported frame to record.
int innerRQ7LoadRealTable2(const char* path, unsigned long offset, int count, int* table_ids,
                           unsigned long* end_offset);
int innerRQ7SaveRealTable2(const char* path, unsigned long offset, const int* table_id,
                           unsigned long* end_offset);
