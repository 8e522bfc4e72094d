// The engine task object: the one instance of CDBParallelTask, the only concrete CDBTask. Its slots
// are the parallel variants of the large operations; each validates its arguments, finds the table,
// calls one operation of the table or the collection (the parallel one wherever there is one) and
// records its failures under the log name of the exported function it serves, following the frame
// that CDBTask.h describes. None of them touches the saved flags.
//
// Reached through the global pointer MPTask (set by a static initialiser at library load) and
// through DBTASK(), which return the same object. Thread safety: as CDBTask; the Mpp operations it
// calls drive the worker pool from the calling thread and return when every worker has finished.
#pragma once

#include "api/task/CDBTask.h"

class CDBParallelTask : public CDBTask {
 public:
  // The function-local instance, built on the first call (also during static initialisation).
  static CDBParallelTask* Instance();

  // Log names in quotes. "Real": the table must be real (recorded "Not RealTable: %d", returned
  // Q7_ERROR_NOT_REAL_TABLE). "Shared": a shared table gives Q7_ERROR_SHARED_READ_ONLY silently.
  // "Editable": TableCanEdit must give 0, else recorded "Not Editable: %d" and Q7_ERROR_NOT_EDITABLE.

  // ---- Joins (CDBParallelTask_joins.cpp) ----
  // "RQ7AddJoinTable": a new join, built and paired on the worker pool (TTableCollection::
  // MppAddJoinTable, whose arguments this passes on unchanged); its table ID. A null or empty name
  // gets a generated "jointbl..." name; one above 255 bytes gives Q7_ERROR_ILLEGAL_TABLE_NAME. A
  // negative result of the collection is recorded as "Failed to add jointable ( MppAddJoinTable
  // module )", a thrown one with its own message; neither leaves a table behind.
  int AddJoinTable(char* name, int outer, int master_table, int master_set, int* master_keys, int slave_table,
                   int slave_set, int* slave_keys) override;
  // "RQ7ExtractJoinInOut" (CDBParallelTask_inout.cpp): no checks of its own; MppExtractJoinInOut
  // (join/JoinInOut.h) with the seven ints: the new set's ID. Its refusals and failures are
  // recorded with an empty message.
  int ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                       int mode) override;
  // "RQ7ConvertJoinToReal" (CDBParallelTask_realize.cpp): a null or empty name gets a generated
  // "createtbl..." name, one above 255 bytes gives Q7_ERROR_ILLEGAL_TABLE_NAME; then
  // TTableCollection::MppAddRealized (the rows and columns built on the worker pool; the table is
  // not condensed), the three flags passed as flag != 0: the new table's ID. Refusals and failures
  // are recorded with an empty message (a thrown one with its own); neither leaves a table behind.
  int ConvertJoinToReal(char* name, int join_table, int set_id, int master_rec_no, int slave_rec_no,
                        int* filter_ids, int share_value_lists) override;
  // "RQ7RealizeJoinChain" (CDBParallelTask_chain.cpp): no checks of its own, the name passed on as
  // given; TTableCollection::MppRealizeJoinChain (the tree counted and written on the worker pool):
  // the new table's ID. Refusals and failures are recorded with an empty message. RealizeJoinChain
  // asks for no data columns.
  int RealizeJoinChain(char* name, int* join_ids, int* table_ids_out, int (*sets_out)[510]) override;
  int RealizeJoinChainEx(char* name, int* join_ids, int count, int (*column_ids)[4], int* table_ids_out,
                         int (*sets_out)[510]) override;
  // "RQ7MoveSlaveFlt2Master": a table that is not a join gives Q7_ERROR_NOT_JOIN_TABLE without an
  // entry; a shared join (or shared master table) Q7_ERROR_SHARED_READ_ONLY. Then
  // TJoinTable::MppMoveSlaveFlt2Master: the new master filter's ID (a negative result recorded with
  // "return of inner call").
  int MoveSlaveFlt2Master(int table_id, int slave_filter_id) override;

  // ---- Derived tables (CDBParallelTask_derive.cpp): each returns the new table's ID ----
  // The table is filled on the worker pool (TTableCollection's Mpp forms). A null or empty name
  // gets a generated "realtbl..." name; one above 255 bytes gives Q7_ERROR_ILLEGAL_TABLE_NAME. A
  // negative result of the collection is recorded with an empty message (the duplicate's: "Failed
  // to duplicate real table ( MppDuplicateRealTable module )"), a thrown one with its own; neither
  // leaves a table behind or uses a table ID.
  // "RQ7ExtractRealTableEx": the rows of set_id, with "#TABLE_ID" and "#REC_NO" first when asked,
  // then the listed filters up to the first ID below 1 (at most 512); a null list takes every
  // filter in display order (GetFilterIDList; its failure is recorded with an empty message and
  // returned). ExtractRealTable asks for neither extra column.
  int ExtractRealTable(char* name, int table_id, int set_id, int* filter_ids) override;
  int ExtractRealTableEx(char* name, int table_id, int set_id, int add_table_id, int add_rec_no,
                         int* filter_ids) override;
  // "RQ7CombineRealTable": set_a of table_a, then set_b of table_b, paired column by column
  // (TTableCollection::MppCombineRealTable, whose record-number column is "RecNo"); with
  // consume_sources the sources give their columns up and are deleted. CombineRealTable asks for no
  // extra column and consumes nothing.
  int CombineRealTable(char* name, int table_a, int set_a, int* ids_a, int table_b, int set_b,
                       int* ids_b) override;
  int CombineRealTableEx(char* name, int add_table_id, int add_rec_no, int table_a, int set_a, int* ids_a,
                         int table_b, int set_b, int* ids_b, int consume_sources) override;
  // "RQ7DuplicateRealTable": every filter and set 1 of a real table.
  int DuplicateRealTable(char* name, int table_id) override;

  // "RQ7SetNot", real: the table's SetNot(set_id); the new set's ID.
  int SetNotReal(int table_id, int set_id) override;
  // "RQ7SetOpeReal": the table's SetOpe(op, set_id1, set_id2) (op 0 AND, 1 OR, 2 AND NOT).
  int SetOpeReal(int table_id, int op, int set_id1, int set_id2) override;
  // "RQ7DupRealFilterEx", shared, real: MppDupFilterEx(filter_id, type); its result is returned
  // without an entry.
  int DupRealFilterEx(int table_id, int filter_id, int type) override;
  // "RQ7OverwriteRealEx" / "RQ7FillRealEx", shared, real ("Not RealTable: %d "), editable:
  // MppOverWriteEx / MppFillEx with the four ints and the data.
  int OverwriteRealEx(int table_id, int set_id, int filter_id, int from, int count, void* data) override;
  int FillRealEx(int table_id, int set_id, int filter_id, int from, int count, void* value) override;

  // ---- Categories (CDBParallelTask_category.cpp) ----
  // "RQ7AddCategoryReal", shared, real: TRealTable::MppAddCategory(target_filter_id,
  // category_table_id), a new filter of category values right after the target; its result (the
  // filter ID or a code) is returned without an entry, a thrown failure recorded with its message.
  int AddCategoryReal(int table_id, int target_filter_id, int category_table_id) override;

  // ---- Calculations (CDBParallelTask_calc.cpp) ----
  // A formula's value for rows first_row .. first_row + count - 1 (1-based positions in set_id; a
  // negative set: the current set). The pending values of every filter are merged first. The
  // four-operation calculator runs first (MppCalculate / MppCalcPtr); its parse-error text, when it
  // gives one, is copied into message (512 bytes; null: not copied). Its 0, Q7_ERROR_UNKNOWN or
  // Q7_ERROR_OUT_OF_MEMORY is returned; any other failure hands the formula to the function-call
  // calculator (MppIntegratedCalc / MppIntegratedCalcPtr): its failure is returned (message keeps
  // the first text), its success empties message and returns 0. The calculators' failures are not
  // recorded here. A null formula gives Q7_ERROR_INVALID_PARAMETER.
  // "RQ7CalcReal", shared, real: the values go into filter_id (a table others refer to is refused by
  // the calculators with Q7_ERROR_NOT_EDITABLE).
  int CalcReal(int table_id, int set_id, int filter_id, int first_row, int count, const char* formula,
               char* message) override;
  // "RQ7CalcPtr", real (a shared table is read as any other): the values go into data, count elements
  // of result_type (int32, double, Numeric at scale 6 and Q7_ROUND_HALF_UP, or for STRING text
  // addresses into area, which holds size bytes; texts that do not fit give
  // Q7_ERROR_CALC_OUTPUT_OVERFLOW). A null data gives Q7_ERROR_INVALID_PARAMETER; a null area counts
  // as size 0.
  int CalcPtr(int table_id, int set_id, int first_row, int count, const char* formula, int result_type,
              void* data, unsigned long size, char* area, char* message) override;

  // ---- Searches and sorts: each returns the new current set's ID ----
  // "RQ7SearchByField": MppSearchByField. "RQ7SearchByFieldSJIS": the same for bounds given as
  // untyped pointers. A null bound that the code reads (from for codes 0 to 10, to for 1 and 5) is
  // refused first: Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : From" / "... : To").
  int SearchByField(int table_id, int filter_id, int set_id, int op, char* from, char* to) override;
  int SearchByFieldSJIS(int table_id, int filter_id, int set_id, int op, void* from, void* to) override;
  // "RQ7SearchByField2": an unknown filter is recorded with Q7_ERROR_NO_SUCH_FILTER ("No Such
  // Filter: %d") and returned; a STRING filter takes SearchByField2, any other MppSearchByField
  // (with the bound check above).
  int SearchByField2(int table_id, int filter_id, int set_id, int op, char* from, char* to) override;
  // "RQ7SearchByFieldWildCard": MppSearchByFieldWildCard.
  int SearchByFieldWildCard(int table_id, int filter_id, int set_id, const char* pattern) override;
  // "RQ7SearchByFieldNValues": MppSearchByFieldNValues (count values of the filter's storage type);
  // null values with count > 0: Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : Values").
  int SearchByFieldNValues(int table_id, int filter_id, int set_id, int count, void* values) override;
  // "RQ7ServiceSortByN": as innerQ7ServiceSortByN (ops_search.h) under this log name.
  int ServiceSortByN(int n, int* values, int* non_zero_count, int* non_zero_index, int* order) override;
  // "RQ7SortByField": dir must be 0 or 1 (checked first: recorded "Invalid Parameter : SortDir(%d)"
  // with Q7_ERROR_INVALID_PARAMETER); then MppSortByField.
  int SortByField(int table_id, int filter_id, int set_id, int dir) override;
  // "RQ7IntegratedSortByField": a table that is not real gives Q7_ERROR_NOT_REAL_TABLE without an
  // entry; a null filter list Q7_ERROR_INVALID_PARAMETER. Merges the pending values of every filter,
  // then MppIntegratedSortByField (the last listed filter is the primary key).
  int IntegratedSortByField(int table_id, int set_id, const int* filter_ids, const int* dirs) override;

  // ---- Unique rows ----
  // No checks and no log name of its own: MppExtractUniqueReal (database/MppExtractUniqueReal.h)
  // with the table, set, filter list and keep-order flag; the first int is not read. Its result is
  // returned as it is and its CQ7Exception passes on to the caller, which records it.
  int ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids, int keep_order) override;

  // ---- Non-cube summary (CDBParallelTask_noncube.cpp) ----
  // "RQ7NonCubeSum": a new real table with one row per occurring combination of the dimensions'
  // values in set_id (summary/noncube/TNonCubeSum.h states the columns); its ID. No table: recorded ("No
  // Such Table: %d") and Q7_ERROR_NO_SUCH_TABLE. RunNonCubeSummary (summary/SummaryMethod.h)
  // chooses and runs the engine. A CQ7Exception (the refusals included) is recorded with "Failed to
  // create NonCubeSum" and its code returned; an engine's negative result is returned unrecorded.
  int NonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures, const int* measures,
                 const int* masks, const int* decimals) override;

  // ---- Text queries (CDBParallelTask_textquery.cpp) ----
  // "RQ7SearchByText" / "RQ7SearchByTextSJIS": the text search of api/ops/ops_textquery.h with the
  // tree run on the worker pool (its task roads: the first refusals are recorded once, with the
  // code alone). Each returns the new current set's ID.
  int SearchByText(int table_id, int set_id, const char* text) override;
  int SearchByTextSJIS(int table_id, int set_id, char* text) override;

  // ---- Text export and catalogs (CDBParallelTask_export.cpp) ----
  // "Export" / "ExportWithF": MppCsvExport (import/CCMultiThreadExport.h) with the separator, the
  // date separator and, for ExportWithF, the export format file, between the exporter's init and
  // free_mem. Its result is returned without an entry of this slot (MppCsvExport records its own).
  int Export(int table_id, int set_id, const int* filter_ids, int from, int to, int date_separator,
             const char* dir, const char* file, char separator) override;
  int ExportWithF(int table_id, int set_id, const int* filter_ids, int from, int to, int date_separator,
                  const char* dir, const char* file, const char* format_file, char separator) override;
  // "RQ7SaveAsCatalog", "SaveAsCatalogEx", "RQ7SaveAsCatalogwithF", "SaveAsCatalogwithFEx": a catalog
  // file dir/catalog that describes the listed filters (TBaseTable::CreateCatalogFile, with the
  // format file for the withF forms), then the data: Export / ExportWithF of the same rows into
  // "SrcData.dat" in dir, or into data_dir/data_file for the Ex forms. type 0 writes comma-separated
  // text, 1 tab-separated. Checks, each recorded with Q7_ERROR_NO_SUCH_TABLE under the log name, in
  // the order table, rows, set, type (SaveAsCatalogEx: table, set, type, rows): no table ("No Such
  // Table: %d "; SaveAsCatalogEx records none) Q7_ERROR_NO_SUCH_TABLE; from or to below -1, or from
  // above a to other than -1 ("Invalid Parameter : RowFrom(%d) RowTo(%d)") Q7_ERROR_INVALID_PARAMETER;
  // no such set ("No Such Set: %d ") Q7_ERROR_NO_SUCH_SET; another type ("Invalid Parameter :
  // type(%d)") Q7_ERROR_INVALID_PARAMETER. A list that starts with -1 is filled in the caller's
  // array with every filter ID and a closing -1 by the catalog writer, and the export writes the
  // same list. The catalog writer's and the export's codes are returned without an entry.
  int SaveAsCatalog(int table_id, int set_id, int* filter_ids, int type, int from, int to, int date_separator,
                    const char* dir, const char* catalog) override;
  int SaveAsCatalogEx(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                      int date_separator, const char* dir, const char* catalog, const char* data_dir,
                      const char* data_file) override;
  int SaveAsCatalogwithF(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                         int date_separator, const char* dir, const char* catalog,
                         const char* format_file) override;
  int SaveAsCatalogwithFEx(int table_id, int set_id, int* filter_ids, int type, int from, int to,
                           int date_separator, const char* dir, const char* catalog, const char* format_file,
                           const char* data_dir, const char* data_file) override;

  // ---- Filters and tables ----
  // "RQ7AddRealFilter2": a filter name above 255 bytes gives Q7_ERROR_ILLEGAL_FILTER_NAME; a null or
  // empty one a generated "filter..." name. Shared, real. With rows != 0 and data: MppAddFilter2
  // (rows raw values of `width` bytes); otherwise an empty filter of the type. The new filter's ID.
  int AddRealFilter2(int table_id, int position, char* name, int type, int rows, int width,
                     void* data) override;
  // "RQ7AddRealFilter2" from a file (CDBParallelTask_import.cpp): the name as above; shared, real; a
  // type outside 2..8 gives Q7_ERROR_INVALID_DATA_TYPE and rows below the table's record count
  // Q7_ERROR_INVALID_UNIT_WIDTH, both without an entry; rows above it are lowered to it. Without a
  // file (null or empty) an empty filter of the type; with one, dir/file read on the worker pool
  // (MppAddFilterFromFile, import/ImportEntry.h), one value per line into the new filter's records
  // (missing ones NULL); its failure is recorded as "return of inner call". The new filter's ID. The
  // sixth argument is not read.
  int AddRealFilter2(int table_id, int position, char* name, int type, int rows, int unused, char* dir,
                     char* file) override;
  // "RQ7CondenseRealTable" ("No Such Table: %d "; CDBParallelTask_derive.cpp): editable (a negative
  // TableCanEdit result is raised with its code, recorded with an empty message); then
  // TRealTable::MppCondenseTable merges the pending values and condenses every filter on the worker
  // pool (value-list entries that no record uses are dropped, the records renumbered; a list shared
  // with another filter or table is never compacted under it); a failure is recorded with an empty
  // message. Returns 0.
  int CondenseRealTable(int table_id) override;

  // ---- Catalog import and append (CDBParallelTask_import.cpp) ----
  // Log names "RQ7AddCatalogFile", "RQ7AddCatalogFileEx2", "RQ7AppendCatalogFile",
  // "RQ7AppendCatalogFileEx2". The checks of the names come first (a path or file name of 512
  // bytes or more, an empty file name, a directory that cannot be made absolute: recorded and
  // Q7_ERROR_ILLEGAL_FILE_NAME; an append position of 0 or below -1: Q7_ERROR_INVALID_PARAMETER);
  // they return before the working directory is touched. The appends then need CanAppendFilters
  // (its negative result is returned) and merge the table's pending values. The call runs in the
  // catalog file's directory and restores the working directory on every path.
  // Sources: "SrcData.dat" in `path` (AddCatalogFile, and the parallel road of AppendCatalogFile;
  // its single-thread road reads "SrcData.dat" in the catalog's directory), or src_path/src_file.
  // table_name must pass TTableCollection::CheckTableName ("TABLE NAME [%s] MISSING" in the
  // catalog message log). mode -1 appends on the parallel road, any other the single-thread
  // append of that many rows.
  // Results: the new table's ID (adds) or the rows appended (appends). An import failure is
  // reported only in the catalog message log: when the import wrote nothing there, one line
  // "ADD CATALOG FAILURE  \t\t ErrorCode = %d " / "APPEND CATALOG FILE FAILURE  \t\t ErrorCode = %d ".
  int AddCatalogFile(char* path, char* file) override;
  int AddCatalogFileEx2(char* path, char* file, char* src_path, char* src_file, char* table_name) override;
  int AppendCatalogFile(int table_id, int append_pos, int mode, char* path, char* file) override;
  int AppendCatalogFileEx2(int table_id, int append_pos, int mode, char* path, char* file, char* src_path,
                           char* src_file) override;

 private:
  CDBParallelTask() = default;
};

// The engine task object, set at library load.
extern CDBParallelTask* MPTask;
