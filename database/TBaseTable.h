// The abstract table: what real tables (TRealTable) and join tables (TJoinTable) share, and the
// virtual interface through which the operation layer reaches either kind.
//
// Every table has an ID issued by its collection, a name of at most 255 bytes, and a registry of
// row sets kept as an ascending list of set IDs (FSetIDs, capacity a multiple of 32) with the last
// issued set ID and the current set. A negative set ID given to any operation means the current
// set. The deriving table keeps the sets themselves, parallel to FSetIDs.
//
// Ownership: tables are created, owned and destroyed by their TTableCollection. A table owns its
// set-ID list (and, in the deriving class, its sets and filters).
//
// Thread safety: none of its own. Every operation runs under the API lock, one call at a time;
// the Mpp operations drive the worker pool from the calling thread.
//
// Failures come back as negative codes (Q7_ERROR_*), with an error-ring entry where stated;
// allocation failures are thrown as CQ7Exception(Q7_ERROR_OUT_OF_MEMORY).
#pragma once

#include <cstdint>

class CsvExportState;
class TFilter;
class TSetArray;
class TTableCollection;
class zpk_fstream;
class CMemFile;
struct CsvLineDiv_t;

class TBaseTable {
 public:
  static constexpr int kNameSize = 256;
  // Set-ID slots grow by this many at a time.
  static constexpr int kSetSlotStep = 32;
  // GetType of a real table and of a join table (GetTableKind: 0 real, 2 join).
  static constexpr int kTypeReal = 1;
  static constexpr int kTypeJoin = 2;

  // Every field 0: no sets, no set-ID list, no image flag, empty name.
  TBaseTable();
  // Frees the set-ID list if the deriving table has not done so.
  virtual ~TBaseTable();

  TBaseTable(const TBaseTable&) = delete;
  TBaseTable& operator=(const TBaseTable&) = delete;

  // ---- Kind ----
  // 0 for a real table, 2 for a join table: the kind tag of the table records.
  virtual int GetTableKind();
  // The filter count; -1 in the base.
  virtual int GetNFilter();
  // 1 for a real table, 2 for a join table; 0 in the base. Callers that need a real table test
  // this for kTypeReal.
  virtual int GetType();
  // True when the table is a view of a table file published in the shared-table registry.
  virtual bool isQ7TShared();

  // ---- Sets ----
  // Makes the set current and returns its position; a lookup failure is returned unchanged
  // (SetID2Pos). A negative ID names the current set, which stays current.
  virtual int SetCurrentSetID(int set_id);
  virtual int GetCurrentSetID();
  // Lowers the last issued set ID by one when it is at least 1; returns it.
  virtual int DecMaxSetID();
  // Counts one more set ID as issued without registering a set (for work that elsewhere takes a
  // temporary set, so that the next set's ID does not depend on which road ran); stays at
  // INT32_MAX. Returns the last issued set ID.
  int UseUpSetID();
  // Copies the first min(max, set count) set IDs, ascending, to out; returns the set count (also
  // when max < 1, writing nothing).
  virtual int GetSetIDList(int max, int* out);
  // The set's position in FSetIDs (binary search; a negative ID means the current set). A miss
  // records ("SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: %d") and returns that code.
  virtual int SetID2Pos(int set_id);
  // The record count.
  virtual int TotalRecs() = 0;
  // The set's element count, or a negative code.
  virtual int GetSetSize(int set_id) = 0;
  // The set, or null (after an error-ring entry).
  virtual TSetArray* GetSet(int set_id) = 0;
  // Destroys every set but the first; returns the first set's ID.
  virtual int PurgeSubSets() = 0;
  // 0 in the base.
  virtual int DelSet(int set_id);
  // New sets made of the complement of a set, and of op 0 AND, 1 OR, 2 AND NOT of two sets; the
  // new set's ID, or a negative code.
  virtual int SetNot(int set_id) = 0;
  virtual int MppSetNot(int set_id) = 0;
  virtual int SetOpe(int op, int set_id1, int set_id2) = 0;
  virtual int MppSetOpe(int op, int set_id1, int set_id2) = 0;

  // ---- Filters ----
  // The filter with that ID, or null.
  virtual TFilter* GetFilter(int filter_id) = 0;
  // Writes the filter IDs in display order; returns their count.
  virtual int GetFilterIDList(int* out) = 0;
  // Copies the table name and the filter name (each 256 bytes); returns filter_name.
  virtual char* FilterID2Name(int filter_id, char* table_name, char* filter_name) = 0;
  // The ID of the filter of that name, or a negative code.
  virtual int GetFilterIDFromName(char* name, int side) = 0;

  // ---- Sorts ----
  // Each registers a new set holding the rows of set_id (negative: the current set) in a new order,
  // makes it current and returns its ID, or returns a negative code. A real table ignores `target`
  // (a join table chooses its side with it). These defaults are for tables that cannot sort: they
  // throw Q7_ERROR_NOT_REAL_TABLE.
  virtual int SortByField(int filter_id, int set_id, int dir);
  virtual int MppSortByField(int filter_id, int set_id, int dir);
  virtual int SortByRecNo(int target, int set_id, int dir);
  // The multi-key sort; the default (a join table's) does nothing and returns 0.
  virtual int MppIntegratedSortByField(int set_id, const int* filter_ids, const int* dirs);

  // ---- Searches and reads (defaults in TRealTable_search.cpp / TRealTable_read.cpp) ----
  // The operations a real table serves (TRealTable.h states them). These defaults are for tables
  // that cannot serve them: they throw Q7_ERROR_NOT_REAL_TABLE.
  virtual int SearchByField(int filter_id, int set_id, int op, char* from, char* to);
  virtual int MppSearchByField(int filter_id, int set_id, int op, char* from, char* to);
  virtual int SearchByField2(int filter_id, int set_id, int op, char* from, char* to);
  virtual int Search(int filter_id, int set_id, unsigned char* hit_map);
  virtual int SearchByFieldWildCard(int filter_id, int set_id, const char* pattern);
  virtual int MppSearchByFieldWildCard(int filter_id, int set_id, const char* pattern);
  virtual int SearchByFieldNValues(int filter_id, int set_id, int n, void* values);
  virtual int MppSearchByFieldNValues(int filter_id, int set_id, int n, void* values);
  virtual int SearchByRecNo(int target, int set_id, int op, int from, int to);
  virtual int ReadData(int set_id, int filter_id, int row, int* type, void* value);
  virtual int ReadData(int set_id, int filter_id, int row, int* type, void* value, int size);
  virtual int ReadData(int set_id, int filter_id, int row, int* type, long* address);
  virtual int GetVNo(int set_id, int filter_id, int row, int* value_number);
  virtual int CountN(int set_id, int filter_id, int* counts);
  // ---- end of searches and reads ----

  // ---- Text export (TRealTable_export.cpp states the real table's forms) ----
  // The serial exports of a set into directory/file, without and with an export format file, and
  // the writer of one part of a parallel export (import/CCMultiThreadExport.h); real tables and
  // joins override them. These defaults are for tables that cannot be exported (a join description
  // without the join layer): they return Q7_ERROR_NOT_REAL_TABLE and write nothing.
  virtual int Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
                     char date_separator, const char* directory, const char* file);
  virtual int Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
                     char date_separator, const char* directory, const char* file, const char* format_file);
  virtual int OutCsvPartFile(CsvExportState* exporter, const char* part_file, const int* column_ids,
                             const CsvLineDiv_t* rows, int buffer_size, const char* format_file);

  // ---- Memory ----
  // The bytes the table holds.
  virtual int64_t GetMemSize() = 0;

  // ---- Non-virtual ----
  // The width of a filter's values: 4 INTEGER, 8 DOUBLE, 16 DECIMAL; for STRING the length of
  // the longest text among the value list's entries 1.. and the pending values (0 when there are
  // none). Another type records ("GetFilterWidth", Q7_ERROR_ILLEGAL_FILTER_TYPE, "Illegal data
  // type") and returns that code; an unknown filter records "No Such Filter: %d" and returns
  // Q7_ERROR_NO_SUCH_FILTER.
  int GetFilterWidth(int filter_id);
  // Makes next_set_id the next set ID to issue. It must be at least 1 and above the highest
  // existing set ID, else Q7_ERROR_ILLEGAL_SET_ID (nothing recorded). The first argument is not
  // read. Returns 0.
  int ResetSetID(int table_id, int next_set_id);

  // ---- Table files (TBaseTable_files.cpp) ----
  // The data versions a table record may carry: 15, 16, 20 to 25 and 102.
  static bool IsReadableDataVersion(int data_version);
  // Data versions below this one store the set IDs as a block of kOldSetIDBlock int32.
  static constexpr int kFirstListedSetIDsVersion = 24;
  static constexpr int kOldSetIDBlock = 100;
  // The table base record, one write each: the versions (the file collection's FSavedVersions
  // while its FUseSavedHeader is set, else Qz7Versions), the table ID (FDBIndex + 1 while its
  // FAllReal is set, else FTableID), the name as 256 bytes zero-padded, the set count, the set IDs,
  // the last set ID, the current set ID. With set1_only: one set, the ID at position 0, and 1 as
  // the last and the current set ID. A failed write closes the stream and throws
  // Q7_ERROR_ILLEGAL_FILE_NAME.
  void SaveBaseInfo(zpk_fstream& fs, int set1_only);
  // Reads a base record into FDataVer, FTableID, FTableName, FnSet, FSetCapacity (n rounded down
  // to a multiple of 32, plus 32), FSetIDs, FMaxSetID and FCurrentSetID; nothing changes until all
  // of it has been read and checked. The name is made file-safe (ToFileName), since table files
  // are named after it; an empty name stays empty. A data version outside IsReadableDataVersion
  // writes "Unspported DataVersion DataVer[1] = ------> %d" to the catalog message log and throws
  // Q7_ERROR_UNSUPPORTED_VERSION. A set count outside 0..10000 (0..100 in the old block), set IDs
  // that are not ascending from 1, a last set ID below the highest ID (or below 0) or a current
  // set that is not registered throw Q7_ERROR_ILLEGAL_ARRAY_DATA; a short file
  // Q7_ERROR_ILLEGAL_FILE_NAME.
  void LoadBaseInfo(zpk_fstream& fs);
  // Writes the table's record, kind tag first (with a null stream: the table file of its own
  // name in the current directory). Tables that cannot be stored (this default) throw
  // Q7_ERROR_NOT_REAL_TABLE; real tables and join tables override it.
  virtual void SaveTable(zpk_fstream* fs, int set1_only);
  // The collection whose save settings (FAllReal, FUseSavedHeader, FSavedVersions) the writers
  // follow: by default the engine's current one (null when there is none).
  virtual TTableCollection* FileCollection();

  // ---- Memory images, the memory stream, shared-memory images (TBaseTable_images.cpp) ----
  // The base record of the other stores: the units of SaveBaseInfo, with Qz7Versions always (never
  // the saved versions) and the same table-ID rule. The memory image (SaveBaseInfo2Mem, its sizing
  // pass SizeBaseInfo2Mem) always lists every set; the memory stream (SaveBaseInfoMem) follows
  // set1_only as the file does. Without a memory stream SaveBaseInfoMem records ("SaveBaseInfoMem",
  // Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem") and throws that code; the targets' own
  // failures are thrown (Q7_ERROR_OUT_OF_MEMORY for a full image or a stream that cannot grow).
  void SaveBaseInfo2Mem(CMemFile* mf);
  int64_t SizeBaseInfo2Mem(CMemFile* mf);
  void SaveBaseInfoMem(int set1_only);
  // The readers, with LoadBaseInfo(fs)'s checks and all-or-nothing update. From a memory image:
  // data version exactly 25 (else Q7_ERROR_UNSUPPORTED_VERSION, nothing logged), n set IDs. From
  // the memory stream and in place: IsReadableDataVersion (else the catalog message log entry and
  // Q7_ERROR_UNSUPPORTED_VERSION) and the 100-ID block below version 24. The in-place reader sets
  // FShmImage and reads nothing at or past `end`. Short inputs give the source's code
  // (Q7_ERROR_INVALID_READ_SIZE, Q7_ERROR_INVALID_MEMSTREAM).
  void LoadBaseInfomem(CMemFile* mf);
  void LoadBaseInfoMem();
  void LoadBaseInfo(void** cursor, const void* end);
  // Writes the memory-image record of the table (with with_header, the system header first). This
  // default is for tables that have no such record yet (join tables): Q7_ERROR_NOT_REAL_TABLE.
  virtual void Save2Mem(CMemFile* mf, int with_header);

  // ---- Catalog writer (TBaseTable_catalog.cpp) ----
  // Writes, in `directory`, the catalog file `file` that the text import reads back: "//TAB" when
  // separator is a tab, else "//CSV"; "//" and the database character code's name; then one line
  // per filter of filter_ids (read up to its first -1, at most GetNFilter() entries; a list that
  // starts with -1 means every filter in display order and is overwritten with their IDs and a
  // closing -1, so it must hold GetNFilter() + 1 entries): type letter, tab, "01", tab, name (a
  // join column's: the join's own name of it, GetJoinFilterName), and for a DECIMAL filter tab,
  // scale, tab, rounding-mode name.
  // A DECIMAL filter's scale and mode are its value list's, unless a non-empty format_file (an
  // export format file, read in `directory`) has a record of that name with digits: then the scale
  // is those digits and the mode the record's, or the list's own when the record names no mode, as
  // the export writes the values (CsvColumnPrinter.h).
  // Returns 0, or: Q7_ERROR_INVALID_PATH when the directory cannot be entered (recorded under
  // "CreateCatalogFile" as "Invalid Parameter : Path(%s)"); the format file's reading code
  // (Q7_ERROR_ILLEGAL_FILE_NAME, Q7_CATALOG_PARSE_ERROR; readFmtInfo); Q7_ERROR_INVALID_PARAMETER for
  // a null list; Q7_ERROR_ILLEGAL_FILE_NAME for a null or empty file name or a file that cannot be
  // written; Q7_ERROR_ILLEGAL_FILTER for a listed ID that names no filter (nothing is written then);
  // another engine failure's code, or Q7_ERROR_UNKNOWN. The catalog replaces an old file of its name
  // only once whole (table_files::ReplacingFile). The working directory is the caller's again on
  // every return.
  int CreateCatalogFile(int* filter_ids, char separator, const char* directory, const char* file,
                        const char* format_file);

  int32_t FDataVer;            // data version of the record the table was read from; 0 if built
  int32_t FTableID;            // issued by the collection
  char FTableName[kNameSize];  // zero-terminated, at most 255 bytes
  int32_t FnSet;               // registered sets
  int32_t FSetCapacity;        // slots of FSetIDs, a multiple of kSetSlotStep
  int32_t* FSetIDs;            // ascending set IDs; owned (zpk_malloc)
  int32_t FMaxSetID;           // the last issued set ID
  int32_t FCurrentSetID;       // the current set
  uint8_t FShmImage;           // 1: read from a shared-memory image; must not be changed
  int32_t FDBIndex;            // position in the collection at the last database save

 protected:
  // Grows FSetIDs to new_capacity slots, the new ones zeroed, and sets FSetCapacity. A deriving
  // table grows its parallel slots first, so that FSetCapacity never exceeds them. Throws
  // Q7_ERROR_OUT_OF_MEMORY with the list unchanged.
  void GrowSetIDs(int new_capacity);
};

// Destroy a table of any kind through its virtual destructor (null is ignored). Only the table's
// owner calls them: its collection destroys its tables with Free.
void Free(TBaseTable* table);
void ClearMemory(TBaseTable* table);
