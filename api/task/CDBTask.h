// The engine task object: the one object through which the exported functions reach the parallel
// variants of the large operations, and through which the import, export and table code reach the
// table and filter services that carry their own error handling.
//
// CDBTask is abstract: its pure virtual slots are the parallel operations, overridden by the only
// concrete class, CDBParallelTask (CDBParallelTask.h), whose one instance DBTASK() returns. The
// non-virtual operations declared here act on the engine's current table collection.
//
// Every operation returns an ID, a count, a size or 0 on success and a negative code (Q7_ERROR_*)
// on failure, and follows one frame (api/ops/OpCommon.h): the error-ring entries carry the operation's
// log name; a missing table is recorded with Q7_ERROR_NO_SUCH_TABLE and "No Such Table: %d"; a wrong
// kind, a table others refer to and an unknown filter are recorded with Q7_ERROR_NO_SUCH_TABLE too,
// while their own code is returned; a table on a shared-memory image or attached from the shared-
// table registry is refused with Q7_ERROR_SHARED_READ_ONLY without an entry; a negative result of
// the layer below is recorded with "return of inner call"; a CQ7Exception is recorded with its code
// and message; anything else gives Q7_ERROR_UNKNOWN without an entry. No exception leaves an
// operation.
//
// The object keeps no state: everything lives in the engine. Thread safety: none of its own; call
// it with the API lock held (from inside an exported call), as the collection and the error ring
// rely on that lock.
//
// Files: CDBTask.cpp holds the base services and the naming helpers, CDBTask_<family>.cpp the
// table, filter and set services and the operations that repeat exported ones (TaskLogName.h files
// the operation layer's ring entries under the task's log names); the parallel slots live in
// CDBParallelTask_<family>.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "import/ImportTask.h"
#include "q7api.h"

class TRealTable;

// The attribute blocks of value lists and sets that the task object copies out.
inline constexpr size_t kAttributeBytes = 64;

// The import code reaches the table and filter services below through ImportTaskServices
// (registered at library start), since it lies beneath this layer.
class CDBTask : public ImportTaskServices {
 public:
  CDBTask() = default;
  ~CDBTask() override = default;
  CDBTask(const CDBTask&) = delete;
  CDBTask& operator=(const CDBTask&) = delete;

  // ---- Parallel task operations (CDBParallelTask.h states each one's contract) ----
  // Declared in slot order; the slots of the joins, columns from files, categories,
  // calculations, unique rows, summaries, exports, catalogs and text queries come with their
  // subsystems.
  // Slot 2.
  virtual int AddJoinTable(char* name, int outer, int master_table, int master_set, int* master_keys,
                           int slave_table, int slave_set, int* slave_keys) = 0;
  // Slot 3.
  // No export calls this: RQ7ExtractJoinInOut runs innerQ7ExtractJoinInOut (ops_joins.cpp).
  virtual int ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                               int mode) = 0;
  // Slot 4.
  // No export calls this: RQ7ConvertJoinToReal runs innerQ7ConvertJoinToReal (ops_joins.cpp).
  virtual int ConvertJoinToReal(char* name, int join_table, int set_id, int master_rec_no, int slave_rec_no,
                                int* filter_ids, int share_value_lists) = 0;
  // Slots 5 and 6.
  // No export calls this: RQ7RealizeJoinChain runs innerQ7RealizeJoinChain (ops_trees.cpp).
  virtual int RealizeJoinChain(char* name, int* join_ids, int* table_ids_out, int (*sets_out)[510]) = 0;
  // No export calls this: RQ7RealizeJoinChainEx runs innerQ7RealizeJoinChainEx (ops_trees.cpp).
  virtual int RealizeJoinChainEx(char* name, int* join_ids, int count, int (*column_ids)[4],
                                 int* table_ids_out, int (*sets_out)[510]) = 0;
  // Slots 7 to 14.
  // No export calls this (RQ7ExtractRealTable runs innerQ7ExtractRealTable); small-set summaries do.
  virtual int ExtractRealTable(char* name, int table_id, int set_id, int* filter_ids) = 0;
  // No export calls this: RQ7ExtractRealTableEx runs innerQ7ExtractRealTableEx (ops_derive.cpp).
  virtual int ExtractRealTableEx(char* name, int table_id, int set_id, int add_table_id, int add_rec_no,
                                 int* filter_ids) = 0;
  // No export calls this: RQ7CombineRealTable runs innerQ7CombineRealTable (ops_derive.cpp).
  virtual int CombineRealTable(char* name, int table_a, int set_a, int* ids_a, int table_b, int set_b,
                               int* ids_b) = 0;
  // No export calls this: RQ7CombineRealTableEx runs innerQ7CombineRealTableEx (ops_derive.cpp).
  virtual int CombineRealTableEx(char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                                 int* ids_a, int table_b, int set_b, int* ids_b, int consume_sources) = 0;
  // No export calls this: RQ7SetNotReal runs innerQ7SetNotReal (ops_sets.cpp).
  virtual int SetNotReal(int table_id, int set_id) = 0;
  // No export calls this: RQ7SetOpeReal runs innerQ7SetOpeReal (ops_sets.cpp).
  virtual int SetOpeReal(int table_id, int op, int set_id1, int set_id2) = 0;
  // No export calls this: RQ7DuplicateRealTable runs innerQ7DuplicateRealTable (ops_derive.cpp).
  virtual int DuplicateRealTable(char* name, int table_id) = 0;
  // No export calls this: RQ7DupRealFilterEx runs innerQ7DupRealFilterEx (ops_filters.cpp).
  virtual int DupRealFilterEx(int table_id, int filter_id, int type) = 0;
  // Slot 15.
  // No export calls this: RQ7AddRealFilter2 runs innerRQ7AddRealFilter2 (ops_filters.cpp).
  virtual int AddRealFilter2(int table_id, int position, char* name, int type, int rows, int unused,
                             char* dir, char* file) = 0;
  // Slot 16.
  // No export calls this: RQ7AddCategoryReal runs innerQ7AddCategoryReal (ops_category.cpp).
  virtual int AddCategoryReal(int table_id, int target_filter_id, int category_table_id) = 0;
  // Slot 17.
  virtual int CalcReal(int table_id, int set_id, int filter_id, int first_row, int count, const char* formula,
                       char* message) = 0;
  // Slots 18 to 24.
  virtual int OverwriteRealEx(int table_id, int set_id, int filter_id, int from, int count, void* data) = 0;
  virtual int FillRealEx(int table_id, int set_id, int filter_id, int from, int count, void* value) = 0;
  // No export calls this: RQ7SearchByField runs innerQ7SearchByField (ops_search.cpp).
  virtual int SearchByField(int table_id, int filter_id, int set_id, int op, char* from, char* to) = 0;
  // No export calls this: RQ7SearchByField2 runs innerQ7SearchByField2 (ops_search.cpp).
  virtual int SearchByField2(int table_id, int filter_id, int set_id, int op, char* from, char* to) = 0;
  // No export calls this: RQ7SearchByFieldWildCard runs innerQ7SearchByFieldWildCard (ops_search.cpp).
  virtual int SearchByFieldWildCard(int table_id, int filter_id, int set_id, const char* pattern) = 0;
  // No export calls this; the detail display orders through it (api/startup.cpp).
  virtual int ServiceSortByN(int n, int* values, int* non_zero_count, int* non_zero_index, int* order) = 0;
  virtual int SortByField(int table_id, int filter_id, int set_id, int dir) = 0;
  // Slot 25.
  // No export calls this: RQ7ExtractUniqueReal runs innerQ7ExtractUniqueReal (ops_unique.cpp).
  virtual int ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids,
                                int keep_order) = 0;
  // Slot 26.
  virtual int NonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                         const int* measures, const int* masks, const int* decimals) = 0;
  // Slots 27 and 28.
  // No export calls this: RQ7SearchByText runs innerQ7SearchByText (ops_textquery.cpp).
  virtual int SearchByText(int table_id, int set_id, const char* text) = 0;
  // No export calls this: RQ7SearchByTextSJIS runs innerRQ7SearchByTextSJIS (ops_textquery.cpp).
  virtual int SearchByTextSJIS(int table_id, int set_id, char* text) = 0;
  // Slots 29 to 34.
  virtual int Export(int table_id, int set_id, const int* filter_ids, int from, int to, int date_separator,
                     const char* dir, const char* file, char separator) = 0;
  virtual int ExportWithF(int table_id, int set_id, const int* filter_ids, int from, int to,
                          int date_separator, const char* dir, const char* file, const char* format_file,
                          char separator) = 0;
  virtual int SaveAsCatalog(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                            int date_separator, const char* dir, const char* catalog) = 0;
  virtual int SaveAsCatalogEx(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                              int date_separator, const char* dir, const char* catalog, const char* data_dir,
                              const char* data_file) = 0;
  virtual int SaveAsCatalogwithF(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                                 int date_separator, const char* dir, const char* catalog,
                                 const char* format_file) = 0;
  virtual int SaveAsCatalogwithFEx(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                                   int date_separator, const char* dir, const char* catalog,
                                   const char* format_file, const char* data_dir, const char* data_file) = 0;
  // Slots 35 to 38, 40 to 43 and 45.
  // No export calls this: RQ7SearchByFieldSJIS runs innerRQ7SearchByFieldSJIS (ops_search.cpp).
  virtual int SearchByFieldSJIS(int table_id, int filter_id, int set_id, int op, void* from, void* to) = 0;
  // No export calls this (Q7AddRealFilter2 runs innerQ7AddRealFilter2); the column import does.
  int AddRealFilter2(int table_id, int position, char* name, int type, int rows, int width,
                     void* data) override = 0;
  virtual int AddCatalogFile(char* path, char* file) = 0;
  virtual int AddCatalogFileEx2(char* path, char* file, char* src_path, char* src_file, char* table_name) = 0;
  // Slot 39.
  // No export calls this: RQ7MoveSlaveFlt2Master runs innerQ7MoveSlaveFlt2Master (ops_joins.cpp).
  virtual int MoveSlaveFlt2Master(int table_id, int slave_filter_id) = 0;
  virtual int CondenseRealTable(int table_id) = 0;
  virtual int IntegratedSortByField(int table_id, int set_id, const int* filter_ids, const int* dirs) = 0;
  virtual int AppendCatalogFile(int table_id, int append_pos, int mode, char* path, char* file) = 0;
  virtual int AppendCatalogFileEx2(int table_id, int append_pos, int mode, char* path, char* file,
                                   char* src_path, char* src_file) = 0;
  // Slot 44.
  virtual int CalcPtr(int table_id, int set_id, int first_row, int count, const char* formula,
                      int result_type, void* data, unsigned long size, char* area, char* message) = 0;
  virtual int SearchByFieldNValues(int table_id, int filter_id, int set_id, int count, void* values) = 0;

  // ---- Base services ----
  // The four version numbers into version (four ints) and the library's copyright text into text
  // (at least 512 bytes). Returns 0.
  int GetVersion(int* version, char* text);
  // Takes the oldest entry out of the error ring: its time stamp (milliseconds of processor time),
  // its ring name into api (63 bytes), its code and its message (127 bytes). Returns 1, or 0 with
  // every output untouched when the ring is empty (or no engine exists). Null outputs are skipped.
  int GetErrorLog(int* time, char* api, int* code, char* message);
  // Converts a time text to a fraction of a day (Str2Time; minus infinity for no time) into *value;
  // returns 0. Records nothing: a CQ7Exception gives its code, anything else Q7_ERROR_UNKNOWN, and
  // *value is then unchanged. A null text or value gives Q7_ERROR_INVALID_PARAMETER.
  int StrToTime(char* text, double* value);

  // ---- Table and filter services (log names in quotes) ----
  // "RQ7AddRealTable": a new empty real table of `rows` records; returns its ID. A null or empty
  // name gets a generated one ("realtbl", m_chRTBLIndex); a name above 255 bytes gives
  // Q7_ERROR_ILLEGAL_TABLE_NAME. The host's text is never changed. A negative result of the
  // collection is recorded as "Failed to add realtable ( AddRealTable module )".
  int AddRealTable(char* name, int rows) override;
  // "Q7GenerateTableName": a table name made unique from the seed into out (256 bytes); a negative
  // result is recorded with an empty message. GenTableName ("Q7GenTableName") records none.
  int GenerateTableName(char* seed, char* out) override;
  int GenTableName(char* seed, char* out);
  // "RQ7DeleteTable": TTableCollection::DelTable's result, unrecorded.
  int DeleteTable(int table_id) override;
  // "Q7TableCanEdit": the number of tables that refer to a real table (their IDs into referrers,
  // which must hold 10000 ints; null: not wanted); 0 means it may be changed. Shared table:
  // Q7_ERROR_SHARED_READ_ONLY, silent; not real: recorded and returned as Q7_ERROR_NOT_REAL_TABLE
  // ("Illegal table type ( Not REAL )").
  int TableCanEdit(int table_id, int* referrers);
  // "RQ7AppendRealFilter2": writes count values of one filter for the records from .. from + count
  // - 1 (from < 0: after the last record), first adding the records that lie past the table's end.
  // Refusals in order: no table; shared (silent); not real; referred to (Q7_ERROR_NOT_EDITABLE); no
  // filter (silent); type not the filter's (Q7_ERROR_FILTER_TYPE_MISMATCH, silent); a count below
  // 1, null data, from 0 or a range past INT_MAX (Q7_ERROR_INVALID_PARAMETER, before any record is
  // added). Returns the number of values written. A failed write leaves the added records.
  int AppendRealFilter2(int table_id, int filter_id, int type, int from, int count, void* data) override;
  // "RQ7AppendRealFilter2Numeric": the same for a DECIMAL filter; data holds 16-byte decimals of the
  // given scale and rounding mode, which the table rescales to the filter's.
  int AppendRealFilter2Numeric(int table_id, int filter_id, int type, int from, int count, int scale,
                               int rounding_mode, void* data) override;
  // "RQ7AddSetReal": registers count host record numbers, in the host's order, as the table's next
  // set (a number given more than once is kept at its first place only) and makes it current;
  // returns its ID. A number outside 1 .. TotalRecs(), a negative count or a null list with
  // count > 0: Q7_ERROR_INVALID_ROW_POSITION, silent, nothing registered. Count 0 registers an
  // empty set. The host's list is neither kept nor changed.
  int AddSetReal(int table_id, int count, int* rows);
  // "Q7GetTotalRows": TotalRecs(). "Q7GetSetSize": the set's row count (negative: current set).
  int GetTotalRows(int table_id);
  int GetSetSize(int table_id, int set_id);
  // "RQ7GetFilterIDList": the filter IDs in display order into ids (512 ints); their count.
  int GetFilterIDList(int table_id, int* ids) override;
  // "Q7GetFilterType": the type code (2..8) of the filter's value list; an unknown filter is
  // recorded ("No Such Filter: %d", Q7_ERROR_NO_SUCH_TABLE) and Q7_ERROR_NO_SUCH_FILTER returned.
  int GetFilterType(int table_id, int filter_id) override;
  // "RQ7GetValCount": counts[v] = rows of the set holding value number v (one int per value-list
  // entry); returns the value-list size. Null counts: recorded ("PCountAr = NULL!") and
  // Q7_ERROR_NO_SUCH_TABLE returned before the table is looked up.
  int GetValCount(int table_id, int filter_id, int set_id, int* counts);
  // Silent (no entry of its own; the table lookup records under "GetTable"): makes set_id the ID
  // of the next set created in the table (TBaseTable::ResetSetID); Q7_ERROR_NO_SUCH_TABLE,
  // Q7_ERROR_ILLEGAL_SET_ID. Returns 0. The next set ID is saved with the table: success clears
  // the sets flag.
  int ResetSetID(int table_id, int set_id);

  // ---- Memory images (CDBTask_images.cpp) ----
  // Images of a real table or of the whole database in host memory (database/TTableCollection.h
  // states the layouts and the readers' refusals). Every host buffer handed to a save or load must
  // start at a multiple of 8: otherwise Q7_ERROR_ADDRESS_ALIGNMENT (empty message) before anything
  // is read or written. *end (when end is not null) receives the address after what was written or
  // read. The operations with a log name (in quotes) enter every CQ7Exception under it; the silent
  // ones enter none of their own (a table lookup still records under "GetTable"). A failure that is
  // not the engine's gives Q7_ERROR_UNKNOWN without an entry.
  //
  // "SaveRealTable2Mem": the table's image into size bytes at buffer. "SaveDB2Mem": the database
  // image. A buffer too small gives Q7_ERROR_OUT_OF_MEMORY and holds a partial image. Return 0.
  int SaveRealTable2Mem(int table_id, unsigned long size, void* buffer, void** end);
  int SaveDB2Mem(unsigned long size, void* buffer, void** end);
  // "LoadRealTableFromMem": adds the imaged table under a new ID and a unique name; returns the ID.
  // The host gives no length: the image is trusted to be whole.
  int LoadRealTableFromMem(void* buffer, void** end);
  // "LoadDBFromMem": replaces the database by the imaged one (its joins resolve their tables). A
  // refused address keeps the database; an image that cannot be read leaves an empty database; a
  // failure after the new database is installed leaves it. Returns 0. The new database lies in no
  // file of its own: success clears the tables flag.
  int LoadDBFromMem(void* buffer, void** end);
  // Silent: the bytes an image of the table needs at most by the memory-size rule: GetMemSize() +
  // 8 * (2 * filters + sets) + 4024 (64-bit; a failure is the code widened).
  int64_t GetRealTableMemSize(int table_id);
  // Silent: TRealTable::GetFileSize of a real table (Q7_ERROR_NOT_REAL_TABLE otherwise).
  int64_t GetRealTableFileSize(int table_id);
  // Silent: writes the real table's image, trailer included, into a block the engine holds (the
  // collection's FTblMemBuf, freed with the database, by FreeMemRealTable or by the next call),
  // sized by the image's own bound (GetFileSize) and the trailer; *image receives the block and
  // *length the bytes written. Both are cleared first (null pointers: Q7_ERROR_INVALID_PARAMETER).
  // A bound above 2147483647: Q7_ERROR_DATA_OVERFLOW. On failure *image is null again. Returns 0.
  int GetMemRealTable(int table_id, void** image, unsigned long* length);
  // Silent: LoadRealTableFromMem without the address check, reading nothing at or past image +
  // length; returns the new ID.
  int LoadMemRealTable(void* image, unsigned long length);
  // Silent: frees the held block, if any. Returns 0.
  int FreeMemRealTable();

  // ---- Cube summaries (CDBTask_summary.cpp) ----
  // The summary handles of summary/cube/SummaryHandles.h, with error handling of their own; no exported
  // function calls them. Log names in quotes; "silent" refusals leave no entry. A CQ7Exception of the
  // summary code is entered under the log name (message "Failed to open" for SummaryOpen,
  // SummaryExec, SummaryRead and SummaryClose, else its own; SummaryIntoRealTable enters it with
  // Q7_ERROR_UNKNOWN) and its code returned; anything else is Q7_ERROR_UNKNOWN. Where a free handle
  // is refused, a stale one (SummaryHandles.h) is refused the same way with
  // Q7_ERROR_INVALID_SUM_HANDLE.
  //
  // Q7_SUMMARY_HANDLES.
  int GetN_Summary();
  // "RQ7SummaryStatus": opens a summary over the filter IDs of count host records lying 518 ints
  // apart (only the first int of each is read). Silent refusals in order: count outside 0..32
  // (Q7_ERROR_OUT_OF_RANGE), the handle, a busy handle (Q7_ERROR_SUMMARY_IN_USE). Returns 0.
  int SummaryOpen(int handle, int table, int set, int count, const int* dims, int measure);
  // "RQ7SummaryExec": silent refusals: the handle, a free one (Q7_ERROR_NO_SUCH_SUMMARY), an
  // executed one (Q7_ERROR_SUMMARY_STATE).
  int SummaryExec(int handle, int bits, int* computed);
  // "Q7SummaryRead": reads one cell (32 categories) and copies its value into value by its type: 4
  // bytes, 8 for 3/4/5/7, the text and its zero byte (at most 4096 bytes), a decimal's 16 bytes and
  // its NumericInfo; nothing when the cell holds no value. The handle and a free one are refused
  // with entries ("Invalid Parameter : SumHandle").
  int SummaryRead(int handle, int bit, const int* cell, int* result_type, int* value_type, int* count,
                  void* value);
  // "RQ7CategoryRead": the name into name (at most 127 characters and a zero byte; empty when none).
  // Silent refusals: the handle, a free one, a dimension or category out of range
  // (Q7_ERROR_OUT_OF_RANGE); a callback's Q7_ERROR_INVALID_PARAMETER is entered and returned.
  int CategoryRead(int handle, int dim, int category, char* name);
  // innerQ7SummaryStatus: 1, 0 for a free handle, Q7_ERROR_INVALID_SUM_HANDLE; measure receives the
  // measure filter ID and computed the computed bits.
  int SummaryStatus(int handle, int* table, int* set, int* count, _TDimensionDef* dims, int* measure,
                    int* computed);
  // "RQ7SummaryIntoRealTable": all five measures into a new table (the second argument is not
  // read); its ID. "RQ7AppendSummaryToRealTable": TSummary::AppendSummaryToRealTable. Both refuse
  // the handle, a free one and an unexecuted one (Q7_ERROR_INVALID_OUTPUT_PARAMETER) with entries
  // ("Invalid Parameter : SumHandle").
  int SummaryIntoRealTable(int handle, int unused, int skip_empty);
  int AppendSummaryToRealTable(int handle, int table, int bits, int skip_empty);
  // "RQ7SummaryClose": frees the handle (a free one gives 0; a bad one is refused silently).
  int SummaryClose(int handle);
  // "RQ7IsSummaryOutputTable": summary/SummaryOutput.h's; a negative result is entered with an
  // empty message.
  int IsSummaryOutputTable(int table, int* dims, int* measures);
  // Silent: summary/SummaryOutput.h's operations; CalcTotal also totals DECIMAL columns (summed
  // exactly, converted with the column's scale).
  int GetSumFilterAttr(int table, int filter, char* attr);
  int CalcTotal(int table, int set, int filter, int mode, double* total);
  int DimNo2FilterID(int table, int kind, int ordinal);

  // ---- Database (CDBTask_database.cpp) ----
  // The operations below repeat exported operations with error handling of their own; no exported
  // function calls them. Each does what the operation layer's function of the same stem does
  // (api/ops/ops_*.h states the checks and results) and records under its log name, in quotes
  // ("Q7" + the name where none is given). Memory sizes are 64-bit; a failure is the code widened.
  //
  // "RQ7LoadDB": replaces the database by directory/name's. A file that is missing or no database
  // keeps the database in place; a failure further in leaves an empty one, a failure after the new
  // one was installed leaves it. The engine always holds a database afterwards. Returns 0.
  int LoadDB(char* directory, char* name);
  // "RQ7ClearDB": a new empty database in place of the current one. Returns 0.
  int ClearDB();
  // "RQ7LoadRealTable": one table file as a new table (a refusal is recorded with an empty
  // message); its ID.
  int LoadRealTable(char* directory, char* name);
  // "RQ7SaveDBAs": writes the database as directory/name. "Q7SaveDB": again where it was loaded
  // from or last saved. Return 0.
  int SaveDBAs(char* directory, char* name);
  int SaveDB();
  // "RQ7SaveRealTable": the table as directory/<its name>; a refusal is recorded as "Failed to save
  // realtable ( SaveRealTable module )".
  int SaveRealTable(char* directory, int table_id);
  // The stored directory and file name (512 bytes each). Returns 0.
  int GetPathName(char* directory, char* name);
  // The number of tables.
  int GetNTable();
  // "RQ7SetMaxJoinChain": the longest join chain, 16 to 510 (another length sets 510 and gives
  // Q7_ERROR_INVALID_PARAMETER).
  int SetMaxJoinChain(int length);
  // "RQ7CombineTableList": a new real table combined from the listed tables and sets
  // (TTableCollection::CombineTableList); the name is judged as AddRealTable's. Its ID.
  int CombineTableList(char* name, int* table_ids, int* set_ids, int* data_1, int* data_2, int* data_3,
                       int* data_4);
  // "RQ7QualifyTree": TTableCollection::Qualify's result.
  int QualifyTree(int tree_table, int depth, int source_table, int* source_filters, int inherit);
  // Bytes the whole database takes.
  int64_t GetTotalMemorySize();
  // Unrecorded: while flag is set, trailing blanks of STRING values are cut. Returns 0.
  int SetTailSpaceFlag(int flag);
  // "RQ7GetEnvironment": the host, system and hardware figures (word size 64). Returns 0.
  int GetEnvironment(_TREnvironment* env);
  // "RQ7GetSystemMemInfo": total physical and free memory; getSystemMemInfo's result.
  int GetSystemMemInfo(_TRMemInfo* info);

  // ---- Tables and join descriptions (CDBTask_joins.cpp) ----
  // Join readers: a table that is not a join gives Q7_ERROR_NOT_JOIN_TABLE, an outer join where an
  // inner one is needed Q7_ERROR_NOT_INNER_JOIN_TABLE.
  //
  // "RQ7GetTableIDList": every table ID, ascending; their count.
  int GetTableIDList(int* ids);
  // "RQ7GetTableName" / "RQ7GetTableProperty": the name (256 bytes) / the table record; a missing
  // table gives Q7_ERROR_NO_SUCH_TABLE without an entry of their own. Return 0.
  int GetTableName(int table_id, char* name);
  int GetTableProperty(int table_id, _TTableInfo* info);
  // A shared table gives Q7_ERROR_SHARED_READ_ONLY without an entry; else the collection's result.
  int SetTableName(int table_id, char* name);
  // The ID of the first table of that name.
  int GetTableIDFromName(char* name);
  // "RQ7IsSharedMemoryTable" / "Q7SharedMemoryTable": 1 when the table lies on a shared-memory
  // image or is attached from the shared-table registry, else 0.
  int IsSharedMemoryTable(int table_id);
  int SharedMemoryTable(int table_id);
  // Bytes the table takes.
  int64_t GetTableMemorySize(int table_id);
  // The join's name (256 bytes), master table, master set, first master key, slave table, slave set
  // and first slave key.
  int GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                  int* slave_table, int* slave_set, int* slave_key);
  // As GetJoinInfo, with the outer flag in kind, the key count, and every key of both sides (32
  // ints each always suffice).
  int GetJoinInfoEx(int table_id, char* name, int* kind, int* key_count, int* master_table, int* master_set,
                    int* master_keys, int* slave_table, int* slave_set, int* slave_keys);
  // Each joined column's number, source table and source filter, master side first, copied for the
  // returned column count. GetJoinSrcTblInfo ("Q7GetJoinSrcTblIDs") also gives the two tables and
  // copies the whole lists (1024 ints each).
  int GetJoinSrcTblIDs(int table_id, int* columns, int* tables, int* filters);
  int GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int* columns, int* tables,
                        int* filters);
  // The master and slave tables and sets, the slave column count and the slave filter IDs (the
  // whole list, 512 ints). Returns 0.
  int GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table, int* slave_set,
                   int* n_slave_filters, int* slave_filters);
  // The join's two key filters as _TFilterInfo records (pointers into the engine), as
  // _TRFilterInfo records ("RQ7GetJoinKeyInfo"), or copied into the host's buffers
  // ("RQ7GetJoinKeyBody": a negative capacity gives Q7_ERROR_INVALID_PARAMETER). Return 0.
  int GetJoinKey(int table_id, _TFilterInfo* master, _TFilterInfo* slave);
  int GetJoinKeyInfo(int table_id, _TRFilterInfo* master, _TRFilterInfo* slave);
  int GetJoinKeyBody(int table_id, _TRFilterBody* master, _TRFilterBody* slave);
  // The side the set is driven by: 0 master, 1 slave.
  int GetJoinDir(int table_id, int set_id);
  // "RQ7PutJoinSetToParent": inner joins only; TJoinTable::PutJoinSetToParent(side, non_hit, ...).
  int PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out);
  // Inner joins only: a set of the slave table; its ID, the slave table's ID into slave_table.
  int ReturnSet2SlaveTable(int table_id, int* slave_table);

  // ---- Sets and names (CDBTask_sets.cpp) ----
  // The number of sets. "Q7GetSetList": at most max set IDs, ascending; the number of sets.
  int GetNSet(int table_id);
  int GetSetIDList(int table_id, int max, int* ids);
  // The current set's ID. ChangeCurrentSetID: an unknown set is recorded ("return of inner call")
  // and gives Q7_ERROR_ILLEGAL_SET_ID, the current set unchanged; else 0.
  int GetCurrentSetID(int table_id);
  int ChangeCurrentSetID(int table_id, int set_id);
  // The table's DelSet: Q7_ERROR_SET_NOT_DELETABLE for set 1, Q7_ERROR_NOT_EDITABLE for a set a join
  // uses, Q7_ERROR_NO_SUCH_SET / Q7_ERROR_ILLEGAL_SET_ID for an unknown one. Returns 0.
  int DeleteSet(int table_id, int set_id);
  // Every set but set 1, which becomes current, is removed. Returns 0.
  int PurgeSubsets(int table_id);
  // Copies the set's 64-byte attribute block into attr; with check, a set on a shared-memory image
  // gives Q7_ERROR_SHARED_READ_ONLY. Returns 0.
  int GetSubsetAttr(int table_id, int set_id, void* attr, bool check);
  // Names a set / copies its name (256 bytes); an unknown set gives Q7_ERROR_NO_SUCH_SET without
  // an entry. Return 0.
  int SetSetName(int table_id, int set_id, char* name);
  int GetSetName(int table_id, int set_id, char* name);
  // Bytes the set takes.
  int64_t GetSetMemorySize(int table_id, int set_id);

  // ---- Filters (CDBTask_filters.cpp) ----
  // The number of filters; a filter's value width (4, 8, 16, or the longest text).
  int GetNFilter(int table_id);
  int GetFilterWidth(int table_id, int filter_id);
  // "RQ7GetFilter": the filter as a _TFilterInfo record (pointers into the engine). "RQ7GetFilterInfo":
  // as a _TRFilterInfo record. Return 0.
  int GetFilter(int table_id, int filter_id, _TFilterInfo* info);
  int GetFilterInfo(int table_id, int filter_id, _TRFilterInfo* info);
  // The filter count into count, then for the first min(count, max) filters in display order one
  // record and the 64-byte attribute block each. A negative max and a missing table give
  // Q7_ERROR_INVALID_PARAMETER. Returns 0.
  int GetAllFilterInfo(int table_id, int max, int* count, _TRFilterInfo* infos, char attrs[][64]);
  // "RQ7GetFilterBody": copies the filter's contents into the host's buffers; a negative capacity
  // gives Q7_ERROR_INVALID_PARAMETER. Returns 0.
  int GetFilterBody(int table_id, int filter_id, _TRFilterBody* body);
  // "RQ7GetFilterAttr": copies the value list's 64-byte attribute block into attr; with check, a
  // value list on a shared-memory image gives Q7_ERROR_SHARED_READ_ONLY. Returns 0.
  int GetFilterAttr(int table_id, int filter_id, void* attr, bool check);
  // The filter's name (256 bytes) / a new name, made unique in the table (real tables only).
  int GetFilterName(int table_id, int filter_id, char* name);
  int SetFilterName(int table_id, int filter_id, char* name);
  // The ID of the filter of that name (the n-th such filter for the second form).
  int GetFilterIDFromName(int table_id, char* name);
  int GetFilterIDFromName2(int table_id, int n, char* name);
  // Bytes the filter takes; an unknown filter gives Q7_ERROR_NO_SUCH_FILTER without an entry.
  int64_t GetFilterMemorySize(int table_id, int filter_id);
  // Real tables only, not shared. DeleteRealFilter also needs a table nothing refers to
  // (Q7_ERROR_NOT_EDITABLE); MoveRealFilter moves the filter at 0-based display position from to
  // position to (TRealTable::MoveFilter); DupRealFilter gives the new filter's ID.
  int DeleteRealFilter(int table_id, int filter_id);
  int MoveRealFilter(int table_id, int from, int to);
  int DupRealFilter(int table_id, int filter_id);

  // ---- Rows and data (CDBTask_rows.cpp) ----
  // Real tables only, not shared and referred to by no other table: the table's DelRows,
  // DelRowsEx and InsRows.
  int DeleteRealRows(int table_id, int from, int count);
  int DeleteRealRowsEx(int table_id, int set_id, int from, int count);
  int InsertRealRows(int table_id, int position, int count);
  // The value at a 0-based position (GetData) or 1-based row (GetData1) of the set: its type code
  // into type, the value into value (4096 bytes hold any); filter 0 reads the record number. The
  // value's size in bytes.
  int GetData(int table_id, int filter_id, int set_id, int position, int* type, void* value);
  int GetData1(int table_id, int filter_id, int set_id, int row, int* type, void* value);
  // The record number at a 0-based position / 1-based row into record; 4. other is not written.
  int GetRowNo(int table_id, int set_id, int position, int* record, int* other);
  int GetRowNo1(int table_id, int set_id, int row, int* record, int* other);
  // "RQ7GetData1M" / "RQ7GetRowNo1M": up to 128 rows from row on (values: 1024 bytes, texts: 4096
  // bytes, records: 128 ints); the number read into count; the first read's result.
  int GetData1M(int table_id, int filter_id, int set_id, int row, int* type, int* count, char* values,
                char* texts);
  int GetRowNo1M(int table_id, int set_id, int row, int* count, int* records, int* other);
  // "RQ7SortByRowNo": an order above 1 gives Q7_ERROR_INVALID_PARAMETER without an entry; the new
  // set's ID. "RQ7SearchByRowNo": the table's SearchByRecNo. "RQ7SearchByDispRowNoReal": by 1-based
  // position (real tables only). The first argument of the record-number forms is not read.
  int SortByRowNo(int table_id, int unused, int set_id, int order);
  int SearchByRowNo(int table_id, int unused, int set_id, int op, int from, int to);
  int SearchByDispRowNoReal(int table_id, int set_id, int op, int from, int to);

  // ---- Finds and high-speed search (CDBTask_finds.cpp) ----
  // Real tables only; log names "RQ7" + the name. OpenStrFindReal: a text above 4096 bytes gives
  // Q7_ERROR_STRING_SIZE_OVERFLOW without an entry and opens nothing. The opens return the find
  // number.
  int OpenStrFindReal(int table_id, int filter_id, int kind, char* text1, char* text2);
  int OpenStrFindRealSJIS(int table_id, int filter_id, int kind, char* text1, char* text2);
  int OpenIntFindReal(int table_id, int filter_id, int kind, int from, int to);
  int OpenFloatFindReal(int table_id, int filter_id, int kind, double from, double to);
  // 1 with the next marked row's position in pos, or 0 when there is none.
  int GetNextHitReal(int table_id, int find_id, int set_id, int from, int dir, int* filter_id, int* pos);
  // The record's 1-based position in the set, 0 when absent.
  int FindRecNoReal(int table_id, int set_id, int rec_no);
  // The open find's number (0: none), its hit count and filter.
  int GetFindStatus(int table_id, int* hits, int* filter_id);
  int CloseFindReal(int table_id);
  // Filter -1: every filter; another ID below 1 gives Q7_ERROR_ILLEGAL_FILTER (recorded as "Invalid
  // Filter" by HighSpeedSearchIsEnabled only). Enable returns 0 (without a database
  // Q7_ERROR_NO_SUCH_TABLE, recorded with no text); IsEnabled 1 or 0.
  int HighSpeedSearchEnable(int table_id, int filter_id, bool on);
  int HighSpeedSearchIsEnabled(int table_id, int filter_id);
  // The set's sorted view by the filter: made (built at once when the filter has high-speed search
  // on) or removed; 0. HasMark: 1 when the set has one, else 0.
  int HighSpeedSearchSetMark(int table_id, int set_id, int filter_id, bool on);
  int HighSpeedSearchHasMark(int table_id, int set_id, int filter_id);
};

// The engine task object (the CDBParallelTask instance); built on first use, so it is safe to call
// during static initialisation.
CDBTask* DBTASK();

// The part of an append of column data that follows the table checks, for the task object's
// appends and the operation layer's (call inside RunOp, api/ops/OpCommon.h): the filter must exist
// (else Q7_ERROR_NO_SUCH_FILTER, silent) and its ArrayDataTypeEx must be `type` (else
// Q7_ERROR_FILTER_TYPE_MISMATCH, silent); what the write would refuse is refused before any record
// is added, recorded under ring_name with Q7_ERROR_INVALID_PARAMETER (null data "Invalid Parameter :
// PWData"; a count below 1 or a range past INT_MAX - 1 "Invalid Parameter : WriteCount(%d)"; from 0
// "Invalid Parameter : WriteStart(%d)"). Then the records that from .. from + count - 1 needs past
// the table's end are added (from < 0: right after the last record); an insert's failure code is
// the operation's, unrecorded. Returns the first record to write.
int PrepareFilterAppend(const char* ring_name, TRealTable* table, int filter_id, int type, int from,
                        int count, const void* data);

// ---- Naming helpers of the task object ----
// prefix, the local time as YYYYMMDDhhmmss, "_" and number into out (at least 256 bytes).
void getUniqueString(char* out, const char* prefix, int number);
// A null or empty name: writes getUniqueString(out, prefix, *counter) and returns 1. A name above
// 255 bytes: returns 0, out untouched. Otherwise copies the name into out (256 bytes) and returns 1.
// Names are not checked for file safety or uniqueness here.
int ValidateNames(const char* name, char* out, const char* prefix, const uint8_t* counter);
// The first character of the decimal text of n.
char int2char(int n);
// "CanAppendFilters": 0 when filters may be added to the table; otherwise recorded with the code
// returned: Q7_ERROR_NO_SUCH_TABLE ("No Such Table: %d "), Q7_ERROR_SHARED_READ_ONLY ("Invalid
// Shared memory read Oparation"), Q7_ERROR_NOT_REAL_TABLE ("Illegal table type ( Not REAL )"),
// Q7_ERROR_NOT_EDITABLE ("Failed to refere IDList ( result ReferedIDList )").
int CanAppendFilters(int table_id);

// ---- Checks of the slots that change a table (call inside RunOp, api/ops/OpCommon.h) ----
// In their order: the table exists ("No Such Table: %d"); it is not shared
// (Q7_ERROR_SHARED_READ_ONLY, no entry); it is real (recorded with real_message and
// Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE returned); no other table refers to it (every
// non-zero answer of the task's TableCanEdit, which leaves the host's referring-table list of
// innerQ7TableCanEdit alone, is refused as RefuseNotEditable does).
TRealTable* FindWritableRealTable(const char* log_name, int table_id,
                                  const char* real_message = "Not RealTable: %d");
// The checks of a slot that adds a filter: name validated into validated (TFilter::kNameSize
// bytes; else Q7_ERROR_ILLEGAL_FILTER_NAME), then the table exists, is not shared and is real, as
// FindWritableRealTable checks and records them. Other tables may refer to it.
TRealTable* FindRealTableForNewFilter(const char* log_name, int table_id, const char* name, char* validated);
// Records (log_name, Q7_ERROR_NO_SUCH_TABLE, "Not Editable: %d") and fails with
// Q7_ERROR_NOT_EDITABLE.
[[noreturn]] void RefuseNotEditable(const char* log_name, int table_id);

// ---- Library entry and exit, event log ----
// The levels of an event-log message.
enum TErrorLevel : int { kEventInformation = 0, kEventWarning = 1, kEventError = 2 };

// LibEntry and LibExit do nothing: the library starts at load (api/startup.cpp) and the engine
// stops at unload. LibExit is the library's termination function, called at unload. The engine
// keeps no event log, so neither form of WriteToEventLog writes anything; their texts are not
// read.
void LibEntry();
void LibExit();
void WriteToEventLog(int code, TErrorLevel level, const char* text);
void WriteToEventLog(int code, TErrorLevel level, int count, const char** texts);
