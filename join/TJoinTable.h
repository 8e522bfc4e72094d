// The join table itself: everything that builds and serves a join (construction, names, sets,
// searches, sorts, reads, exports and the stored record), the constructor, the destructor and
// every virtual override included, declared and defined in the join layer (TJoinTable*.cpp): only
// this layer and those above it construct joins. Its fields, its kind and what the table layer and
// the layers beside this one read through a join are TJoinTableBase's (database/TJoinTableBase.h,
// which also states the join's columns and sets). The collection builds a join through
// AddJoinTable / MppAddJoinTable (TTableCollection_join.cpp): construct, SetupJoinFilters,
// AssignJoinFilterNames, then append.
//
// Ownership: created and owned by the collection like any table. Owns its key filters (which
// share one value list after the set-up, released once), the names block and every row set of its
// entries. Refers to its master and slave tables (not owned), which the collection keeps alive and
// unchanged while the join exists.
//
// Thread safety: none; under the API lock. The Mpp members drive the worker pool from the calling
// thread.
#pragma once

#include <cstdint>

#include "database/TJoinTableBase.h"

class CsvLine;
class TFilter;
class TRealTable;
class TSetArray;
class TTableCollection;

class TJoinTable : public TJoinTableBase {
 public:
  // ---- Construction (join/TJoinTable.cpp) ----
  // Builds the join of master_set of master_table and slave_set of slave_table (a negative set ID
  // means that table's current set) on the key lists, each read up to its first entry below 1 or
  // 32 entries; registers set 1 (side 0, current) holding copies of the two sets, unpaired. With
  // one key pair, the key filters are copies of the two source key filters (IDs 0 and 1). The name
  // is made unique in `tables` (null: the engine's current collection), in which the source tables
  // are looked up. Each source table's pending values are folded in first. Throws, with nothing left
  // allocated: Q7_ERROR_TABLE_NAME_GENERATION (name); Q7_ERROR_INVALID_KEY_PARAMETER (an empty key
  // list, counts that differ, or with two or more keys a key that names no filter);
  // Q7_ERROR_ILLEGAL_MASTER_TABLE / _SLAVE_TABLE (missing or not real);
  // Q7_ERROR_NO_MASTER_KEY_FILTER / NO_SLAVE_KEY_FILTER (one key that names no filter);
  // Q7_ERROR_NO_JOIN_SET / NO_SLAVE_SET (a missing or uncopyable set; FailSetCopy); Q7_ERROR_OUT_OF_MEMORY.
  //
  // master_rows kCopiedWhilePairing (one key pair only; ignored with more) leaves set 1's master
  // rows uncopied: MppSetupJoinFilters, which must follow at once, reads them from the master
  // table's set and writes the join's copy in the pass that cuts them, so the master's set is read
  // once, not twice. The master table's set must not change in between.
  enum class MasterRows { kCopied, kCopiedWhilePairing };
  TJoinTable(int id, char* name, int outer, int master_table, int master_set, int* master_keys,
             int slave_table, int slave_set, int* slave_keys, TTableCollection* tables = nullptr,
             MasterRows master_rows = MasterRows::kCopied);
  // Frees every set of every entry, the key filters (a shared value list once) and the names.
  ~TJoinTable() override;

  // (Re)builds the names block: each join column's source filter name made unique within the
  // join, the master's first. Returns 0. Throws Q7_ERROR_NO_SUCH_TABLE (a source table missing),
  // Q7_ERROR_NO_SUCH_FILTER (a source filter missing), Q7_ERROR_ILLEGAL_FILTER_NAME; the block is
  // then empty.
  int AssignJoinFilterNames();
  // One name unique among the names block's entries into `out` (256 bytes): the seed normalised
  // (verifySeedName), then "%s_#%d" with 1, 2, ... while taken. Returns 0, or records ("GenFilterName",
  // Q7_ERROR_ILLEGAL_FILTER_NAME, "Invalid Parameter : SeedName(%s)" / "... : GenName(%s)") and
  // returns that code.
  int GenFilterName(char* seed, char* out);

  // ---- Kind and columns (join/TJoinTable.cpp) ----
  int GetNFilter() override;  // M + S
  int TotalRecs() override;   // the joined-row count of set 1

  // The source filter of join column `filter_id`; an ID outside 1..M+S records ("GetFilter",
  // Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d") and throws that code. Null while the side's
  // table is unresolved.
  TFilter* GetFilter(int filter_id) override;
  // Writes 1 .. M+S; returns M+S.
  int GetFilterIDList(int* out) override;
  // The source table's name and the source filter's own name (not the join column name); an
  // unknown column or a vanished source filter records ("FilterID2Name", "No Such Filter: %d" /
  // "No Filter") and throws Q7_ERROR_NO_SUCH_FILTER.
  char* FilterID2Name(int filter_id, char* table_name, char* filter_name) override;
  // The source table's filter ID for `name` (side 0 master, else slave); a missing source table
  // records "No Real Table (master)" / "No Real Table (slave)" and returns Q7_ERROR_NO_SUCH_TABLE.
  int GetFilterIDFromName(char* name, int side) override;
  int64_t GetMemSize() override;

  // Position of join column `id` within its side, *side 0 or 1; any other ID sets *side to -1,
  // records ("JFilterID2Pos", Q7_ERROR_ILLEGAL_FILTER, "No Such Filter: %d") and returns that code.
  int JFilterID2Pos(int id, int* side) override;
  // 0 for 1..M, 1 for M+1..M+S, else Q7_ERROR_NO_SUCH_FILTER.
  int GetFilterSide(int id);
  // 1 - side; a side other than 0 or 1 throws Q7_ERROR_ILLEGAL_JOIN_TARGET.
  static int OppositeSide(int side);
  // The join column ID (1-based) / position (0-based) whose unique name is `name`; none, or no
  // names yet: Q7_ERROR_NO_SUCH_FILTER.
  int GetJoinFilterIDFromName(char* name) override;
  int JFilterName2Pos(char* name);
  // The source filter ID of join column `id`, the source table's ID in *table; an unknown ID
  // records ("GetJoinSrcFltID", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d") and returns that code.
  int GetJoinSrcFltID(int id, int* table);
  // Fills the answer arrays for every join column (its ID, source table ID, source filter ID),
  // points the outputs at them (valid until the next call) and returns M + S.
  int GetJoinSrcInfo(int** ids, int** tables, int** filters);
  // The two table IDs and set IDs, S and the slave column IDs (pointing into the join). Returns 0.
  int GetSlaveInfo(int* master_table, int* master_set, int* slave_table, int* slave_set, int* n_slave_cols,
                   int** slave_cols);
  // ---- Join sets (join/TJoinTable_sets.cpp) ----
  // Set lookups go through SetID2Pos (a negative ID: the current set).
  // Registers a set of `side` with empty rows, makes it current and returns its ID. At kMaxSets
  // sets records ("RegNewSet", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow") and throws.
  int RegNewSet(int side) override;
  // The set's side and 1 - side. A missing set records ("FixMasterSlave", Q7_ERROR_NO_SUCH_SET,
  // "No Such Set: %d ") and throws; a stored side other than 0 or 1 records "Illegal target ( Not
  // Master or Slave )" and throws Q7_ERROR_ILLEGAL_JOIN_TARGET.
  void FixMasterSlave(int set_id, int* side, int* opposite);
  // The set's side; a missing set records Q7_ERROR_NO_SUCH_SET and returns Q7_ERROR_ILLEGAL_SET_ID.
  int GetJoinDir(int set_id);
  // The set's joined-row count; a missing set records and returns Q7_ERROR_ILLEGAL_SET_ID.
  int GetSetSize(int set_id) override;
  // The set's own rows (rows[side]) / the other side's rows; null (recorded) for a missing set.
  TSetArray* GetSet(int set_id) override;
  TSetArray* GetSlaveSet(int set_id);
  // The own and the other side's projection (both null first); 0 or the set lookup's code.
  int GetProjectionSets(int set_id, TSetArray** own, TSetArray** other);
  // Deletes a set other than set 1 (current moves to set 1). Returns 0, Q7_ERROR_ILLEGAL_SET_ID for
  // set 1 or a missing set, Q7_ERROR_SHARED_READ_ONLY (nothing changed) when one of its arrays lies
  // on a shared image.
  int DelSet(int set_id) override;
  // Deletes every set but set 1, makes it current; returns 1. Set IDs are never reissued.
  int PurgeSubSets() override;
  // Registers a copy of set 1's rows of `side` (non_hit: its rows without partner) in the master
  // (side 0) or slave table as a new set there (AddSet / MppAddSet); *table_id and *set_id receive
  // it. Returns 0; -1 for an outer join (outputs -1); Q7_ERROR_SET_COUNT_OVERFLOW (recorded under
  // "PutJoinSetToParent") when the table has kMaxSets - 1 sets; the parent's code otherwise.
  int PutJoinSetToParent(int side, int non_hit, int* table_id, int* set_id);
  int MppPutJoinSetToParent(int side, int non_hit, int* table_id, int* set_id);
  // One slave record per distinct key value of set 1, as a new set of the slave table; its set ID,
  // or Q7_ERROR_NOT_INNER_JOIN_TABLE for an outer join, or the slave table's refusal.
  int ReturnSet2SlaveTable(int* table_id);
  // Copies slave column `slave_filter_id` (a slave table filter ID) into the master table as a new
  // column through set 1's pairing; its filter ID, or a negative code.
  int MoveSlaveFlt2Master(int slave_filter_id);
  // ---- Moving a slave column on the worker pool (join/TJoinTable_movecol.cpp) ----
  // MoveSlaveFlt2Master with the master records filled on the pool (task 21), the same column for
  // any worker count. Its refusals are returned without a ring entry of its own:
  // Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_ILLEGAL_FILTER_NAME (no unique name); AddFilter's refusal is
  // thrown as CQ7Exception. Master records of set 1 without a slave partner stay NULL.
  int MppMoveSlaveFlt2Master(int slave_filter_id);

  // ---- Building the join (join/TJoinTable_build.cpp) ----
  // Make the two key filters number into one value list, then pair set 1 and make it current.
  // Called once, right after construction. Throw on failure (the caller destroys the join).
  void SetupJoinFilters();
  void MppSetupJoinFilters();
  // Fills the set's two second sets with the rows without partner; an inner join also drops them
  // from the set's rows. Throws Q7_ERROR_NO_SUCH_SET for a missing set.
  void CutUnUse(int set_id) override;
  void MppCutUnUse(int set_id) override;
  // Pairs the (cut) rows of the set: size, driving records, projections, partner records; then
  // shrinks the six arrays. Throws Q7_ERROR_NO_SUCH_SET, Q7_ERROR_OVERFLOW_JOIN (more than
  // 2147483647 joined rows), Q7_ERROR_OUT_OF_MEMORY.
  void MakeJoin(int set_id) override;
  void MppMakeJoin(int set_id) override;
  void MakeInnerJoin(int set_id);
  void MppMakeInnerJoin(int set_id);
  void MakeOuterJoin(int set_id);

  // ---- Sorting and reading joined rows (join/TJoinTable_read.cpp) ----
  // A sort registers a new set (made current) driven by one side, whose rows come in the sorted
  // order; the other side's rows are the source set's (without the record-0 entries of an outer
  // join); then CutUnUse and MakeJoin pair it, so the joined rows follow the sorted side, each with
  // its partners in the source set's order. dir 0 ascends, 1 descends. Returns the new set's ID or a
  // code; every CQ7Exception inside is returned as its code, and a failed sort leaves no new set
  // behind (the previous current set stays current) and the source set unchanged.
  // SortByRecNo: side 0 master, 1 slave (else Q7_ERROR_ILLEGAL_JOIN_TARGET); rows in record-number
  // order. A missing set records ("SortByRecNo", Q7_ERROR_NO_SUCH_SET, "No Such Set: %d "), a join
  // with kMaxSets sets ("SortByRecNo", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow").
  int SortByRecNo(int side, int set_id, int dir) override;
  // Driven by the column's side, rows in the order of the column's value numbers (stable; NULL first
  // ascending, last descending). An unknown column records (name, Q7_ERROR_NO_SUCH_FILTER, "No Such
  // Filter: %d"), a missing set (name, Q7_ERROR_NO_SUCH_SET, "No Such Set: %d"), name being
  // "SortByField" or "MppSortByField"; kMaxSets sets fail in RegNewSet. Another dir:
  // Q7_ERROR_INVALID_PARAMETER (after "Invalid Parameter : Dir").
  int SortByField(int filter_id, int set_id, int dir) override;
  int MppSortByField(int filter_id, int set_id, int dir) override;
  // The value of join column filter_id at joined row `row` (0-based) of the set, copied to `value`:
  // *type receives the value list's type (2..8); an int, double or decimal is copied with its width
  // (returned); a text with a terminating zero, at most 4095 bytes (size - 1 with `size`, which must
  // be at least 1, else Q7_ERROR_INVALID_PARAMETER), the length returned. A side without a record
  // at that row reads NULL. Column 0 writes the master record then the slave record (two int32,
  // *type 2) and returns 8. Codes: a negative row records ("ReadData", Q7_ERROR_ILLEGAL_RECORD_NO,
  // "No Such Record: %d ") and returns that code; a row at or past the set's size records
  // ("ReadData", Q7_ERROR_ILLEGAL_FILTER_TYPE, "Illegal Record No") and returns
  // Q7_ERROR_ILLEGAL_RECORD_NO; an unknown column (JFilterID2Pos's entry, then "Illegal FltPos: %d")
  // or a vanished source filter ("No Such Filter: %d") returns Q7_ERROR_NO_SUCH_FILTER. Throws
  // Q7_ERROR_NO_SUCH_SET for a missing set (recorded "No Such Set: %d" under "ReadData") and
  // Q7_ERROR_INDEX_OUT_OF_RANGE for a set whose arrays do not resolve the row.
  int ReadData(int set_id, int filter_id, int row, int* type, void* value) override;
  int ReadData(int set_id, int filter_id, int row, int* type, void* value, int size) override;
  // The same, but *address receives the address of the stored value (of the text for type 6),
  // valid while the source column is unchanged; returns the width or the text's length. Column 0
  // stores the two record numbers in the 8 bytes of *address and returns 8.
  int ReadData(int set_id, int filter_id, int row, int* type, long* address) override;
  // The value number of join column filter_id at the joined row; returns 4. A column JFilterID2Pos
  // refuses returns its code; a row outside the set Q7_ERROR_ILLEGAL_RECORD_NO and a vanished source
  // filter Q7_ERROR_NO_SUCH_FILTER, unrecorded; a missing set throws Q7_ERROR_NO_SUCH_SET.
  int GetVNo(int set_id, int filter_id, int row, int* value_number) override;

  // ---- Searches and set operations (join/TJoinTable_search.cpp, join/TJoinTable_setops.cpp) ----
  // Each selects rows of one side of the source set (a negative ID: the current set), copies the
  // other side's rows, registers the two as a new set of the source set's side (set operations:
  // side 0), pairs it (CutUnUse, then MakeJoin) and returns its ID, the new current set. So the
  // result holds the joined rows that the kept rows and the copied rows make: for an inner join
  // the source's joined rows whose searched-side row passes, in the source's order. Column IDs
  // are join column IDs; the condition is tested on the source table's filter, whose pending
  // values are merged first. A failure after the registration deletes the new set again and makes
  // the set that was current before current again; the set ID it took stays used. Set overflow
  // (kMaxSets sets) is Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow" under the operation's name.

  // The master records 1..M (M the master's record count) that are not among the source set's
  // master rows, with a copy of its slave rows. Returns the overflow (recorded under "SetNot"; the
  // Mpp form records nothing); throws Q7_ERROR_NO_SUCH_SET for a missing set ("SetNot", "Invalid
  // Parameter : OrgSetID"; the Mpp form unrecorded). The Mpp form builds the complement on the pool.
  int SetNot(int set_id) override;
  int MppSetNot(int set_id) override;
  // Master rows: op (0 AND, 1 OR, 2 AND NOT) of the two sets' master rows; slave rows: the same op
  // of their slave rows for 0 and 1, a copy of set_id1's for 2; both ascending. Returns the
  // overflow (recorded under "SetOpe" by the serial form), the set lookup's code (recorded by
  // SetID2Pos) for a missing set, Q7_ERROR_INVALID_OPERATION for another op. The Mpp form combines
  // the master rows on the pool.
  int SetOpe(int op, int set_id1, int set_id2) override;
  int MppSetOpe(int op, int set_id1, int set_id2) override;

  // The rows of the column's side whose value meets `op` (TSetArray::SearchByValue /
  // MppSearchByValue: codes and bounds as TSetArray.h states) / equals one of n values
  // (SearchByNValues / MppSearchByNValues). Throw, recorded under the operation's name (the Mpp
  // N-values form: "MppSearchByField"): Q7_ERROR_NO_SUCH_FILTER ("No Such Filter: %d"), the
  // overflow, Q7_ERROR_NO_SUCH_SET ("No Such Set: %d"; the Mpp forms unrecorded), the set
  // search's codes. The Mpp forms search and pair on the pool.
  int SearchByField(int filter_id, int set_id, int op, char* from, char* to) override;
  int MppSearchByField(int filter_id, int set_id, int op, char* from, char* to) override;
  int SearchByFieldNValues(int filter_id, int set_id, int n, void* values) override;
  int MppSearchByFieldNValues(int filter_id, int set_id, int n, void* values) override;
  // STRING columns, by each value's text from its second byte (TStrArray::GetPChar2): 0 equal,
  // 1 from..to, 2 <= from, 3 >= from, 4 not equal, 5 strictly between, 6 < from (an empty `from`
  // selects nothing), 7 > from, 8 starts with, 9 contains (multibyte-aware), 10 ends with `from`;
  // a null bound reads as the empty text. The NULL value is never selected. Ranges are found by
  // binary search over the whole value list, for a small set too, so a row is kept or not
  // whatever the size of its set. Returns (recorded under "SearchByField2")
  // Q7_ERROR_NO_SUCH_FILTER, -1 for a column that is not STRING ("Illegal data type ( Not STRING
  // )"), Q7_ERROR_INVALID_OPERATION for another op ("Invalid Parameter : OpeNo"); throws the
  // overflow and Q7_ERROR_NO_SUCH_SET ("No Such Set: %d ").
  int SearchByField2(int filter_id, int set_id, int op, char* from, char* to) override;
  // The rows whose value number v in the source filter has hit_map[v] != 0 (the host's map, one
  // byte per value of the list). Returns Q7_ERROR_NO_SUCH_FILTER and Q7_ERROR_INVALID_PARAMETER
  // (null map); throws the overflow and Q7_ERROR_NO_SUCH_SET, all unrecorded.
  int Search(int filter_id, int set_id, unsigned char* hit_map) override;
  // Inner joins only: the rows of side `target` (0 master, 1 slave) by record number r, in order:
  // 0 the first row with r == from, 1 from <= r <= to, 2 r <= from, 3 r >= from, 4 r != from,
  // 5 from < r < to, 6 r < from, 7 r > from. Recorded under "SearchByRecNo": an outer join returns
  // Q7_ERROR_NOT_INNER_JOIN_TABLE ("Illegal table type ( Not INNER JOIN )"); another target throws
  // Q7_ERROR_ILLEGAL_JOIN_TARGET ("Illegal target ( Not MASTER and Not SLAVE )"); the overflow and
  // Q7_ERROR_NO_SUCH_SET ("No Such Set: %d ") are thrown; another op returns
  // Q7_ERROR_INVALID_OPERATION ("Invalid Parameter : OpeNo").
  int SearchByRecNo(int target, int set_id, int op, int from, int to) override;
  // Not served by a join: return Q7_ERROR_NOT_REAL_TABLE.
  int SearchByFieldWildCard(int filter_id, int set_id, const char* pattern) override;
  int MppSearchByFieldWildCard(int filter_id, int set_id, const char* pattern) override;
  // No new set: counts[v] = the joined rows of the set whose value in the column has value number
  // v, for the V values of the source filter (counts must hold V ints); returns V. Throws
  // Q7_ERROR_ILLEGAL_RECORD_NO (null counts), Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NO_SUCH_SET.
  int CountN(int set_id, int filter_id, int* counts) override;

  // ---- Text export (join/TJoinTable_export.cpp) ----
  // Lines of text, one per joined row of a set: the fields of the listed join columns in list
  // order, each the value of its side's record printed as database/CsvColumnPrinter.h prints a real
  // table's field (a side without a record prints the column's NULL), separated by the separator,
  // ended by a line feed. A column list is read up to its first -1, at most GetNFilter() entries;
  // null or a list starting with -1 means every join column in order. Nothing changes in the join
  // or its source tables.
  //
  // The serial exports write joined rows first_row .. last_row (1-based; first -1 means 1, last -1
  // or a last beyond the set the set's size) of set_id (negative: the current set) into `file` in
  // `directory`: doubles with their list's attribute byte 5 + 3 digits (with a format file: the
  // digits of the record named as the source filter when they lie in 0..15, else 3), decimals at
  // their list's scale. Nothing is written when first_row is below 1 or above last_row. A join
  // column whose source filter has gone ends each line's fields there. Codes, recorded under
  // "Export": Q7_ERROR_NO_SUCH_SET ("No Such Set: %d", after SetID2Pos's entry);
  // Q7_ERROR_INVALID_PATH ("Failed to get path ( result getcwd )"); a listed ID that names no join
  // column ("No Filter", after JFilterID2Pos's entry): Q7_ERROR_ILLEGAL_FILTER, with a format file
  // Q7_ERROR_NO_SUCH_FILTER, found before the file is made; then unrecorded the stream's
  // Q7_ERROR_ILLEGAL_FILE_NAME (after zpk_open's entry), Q7_ERROR_INDEX_OUT_OF_RANGE for a set whose
  // arrays do not resolve its rows, Q7_ERROR_OUT_OF_MEMORY. The file replaces an old one of its name
  // only once whole, as the real table's does. The working directory is the caller's again on every
  // return.
  int Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
             char date_separator, const char* directory, const char* file) override;
  int Export(int set_id, const int* filter_ids, int first_row, int last_row, char separator,
             char date_separator, const char* directory, const char* file, const char* format_file) override;
  // One part of a parallel export, on a worker: joined rows rows->first .. rows->last of the
  // exporter's set (already resolved), the columns column_ids (ended by -1, at most GetNFilter())
  // with the exporter's separators, into the new file part_file, in blocks of about buffer_size
  // bytes (0: each line at once). With a format_file the exporter's format records shape doubles
  // and decimals as the real table's parts do (CsvColumnOptions::ForPart, over all
  // kExportFormatRecords records). Returns 0 or a code and writes nothing to the error ring:
  // Q7_ERROR_ILLEGAL_FILTER for an empty list or an ID that names no join column (before the file
  // is made), then WriteCsvdata's codes, Q7_ERROR_ILLEGAL_FILE_NAME for a file that cannot be made
  // or written, Q7_ERROR_OUT_OF_MEMORY. Safe on several workers at once, each with its own part.
  int OutCsvPartFile(CsvExportState* exporter, const char* part_file, const int* column_ids,
                     const CsvLineDiv_t* rows, int buffer_size, const char* format_file) override;
  // The lines of one part into an open stream, through `line`: the first `count` IDs of column_ids
  // (join columns the caller has checked). 0, or Q7_ERROR_NO_SUCH_FILTER for a column whose source
  // filter has gone, Q7_ERROR_NO_SUCH_SET for a set the join does not hold; throws
  // Q7_ERROR_INDEX_OUT_OF_RANGE for rows outside the set (before anything is written) or a set
  // whose arrays do not resolve them, and the printers' and the stream's codes. Unrecorded.
  int WriteCsvdata(const CsvExportState* exporter, const CsvLineDiv_t* rows, const int* column_ids, int count,
                   zpk_fstream& stream, CsvLine& line, int buffer_size, const char* format_file);

  // ---- The stored record: table files, database files, memory images, shared memory
  // (join/TJoinTable_files.cpp) ----
  // The record, each unit one write of the target (padded by its rule): kind 2, the base record
  // (every set), outer flag, key count, master and slave table IDs, 32 + 32 key filter IDs, master
  // and slave set IDs, n set sizes, n set sides, then for the master side of every set its rows,
  // projection and second set (array records), the same for the slave side, the master and the
  // slave key filter records, the two column counts and 512 + 512 column IDs. Every set must be
  // paired (all six row sets present): a set that is not throws Q7_ERROR_ILLEGAL_ARRAY_DATA before
  // anything is written. Older records (data version below 24: 8 + 8 key IDs and blocks of 100
  // sizes and sides; 20 or below, in files: 256 + 256 column IDs) are read, never written.
  //
  // The readers trust nothing they read: the base record's checks (TBaseTable.h), set 1 first,
  // flags, counts and IDs within their ranges, every row set within its key filter's records,
  // projections that index their partner lists, two key filters on value lists of one length;
  // a damaged record throws Q7_ERROR_ILLEGAL_ARRAY_DATA (or the array, filter and source codes)
  // and frees everything read. A read join has no source tables and no names until LoadComplete.

  // Writes the record (with a null stream: the table file "<FTableName>.Q7T" of the current
  // directory, system header first, through a temporary file). set1_only is not used. Failures
  // are thrown (Q7_ERROR_ILLEGAL_FILE_NAME for the file).
  void SaveTable(zpk_fstream* fs, int set1_only) override;
  // Does nothing for a join.
  void SaveTableAs(zpk_fstream* fs, const char* file_name, int set1_only);
  // Into a memory image, after the system header when with_header is set. A full image throws
  // Q7_ERROR_OUT_OF_MEMORY and leaves a partial record.
  void Save2Mem(CMemFile* mf, int with_header) override;
  // Into a shared-memory image at *cursor (advanced): the bytes the cursor moved. A null cursor
  // writes nothing and returns the bytes to reserve.
  int64_t WriteToSharedMemory(void** cursor);
  // 0: a join has no single-table image.
  int64_t GetFileSize() { return 0; }

  // The file reader. With a null stream it opens `name` (".Q7T" appended unless the name ends in
  // it), reads the system header and the kind (not 2: Q7_ERROR_INVALID_TABLE_TYPE) and closes
  // the file at the end; with a stream it reads the record after the kind. keep_name 0 makes the
  // stored name unique in `names` (null: the engine's collection; Q7_ERROR_TABLE_NAME_GENERATION).
  // verbose: the diagnostic filter readers.
  TJoinTable(zpk_fstream* fs, char* name, int keep_name, TTableCollection* names = nullptr,
             bool verbose = false);
  // From a memory image, after the kind (data version 25 only). The int is not used.
  TJoinTable(CMemFile* mf, int unused);
  // In place from a shared-memory image ending at `end`, after the kind: the row sets and key
  // filters stay in the image (not owned; sets cannot be deleted); the master and slave table IDs
  // go through id_map (null: as stored). The image must outlive the join.
  TJoinTable(void** cursor, const void* end, void* id_map);

  // After every table of a load is in place: resolves the master and slave tables, checks the
  // record against them (every row a record of its table, key filters of the tables' lengths),
  // makes the slave key filter share the master key filter's value list and names the columns.
  // A missing source table throws Q7_ERROR_NO_SUCH_TABLE (from AssignJoinFilterNames); a record
  // that does not fit its tables leaves the join without source tables and throws
  // Q7_ERROR_ILLEGAL_ARRAY_DATA. Safe to call again.
  void LoadComplete(TTableCollection* tables) override;

  // Installs the three readers above in the collection (TTableCollection::SetJoinRecordReader,
  // SetJoinImageReaders). Called by RegisterJoinTasks.
  static void RegisterRecordReaders();

  // The entry of the set at `pos` in FSetIDs (no check).
  JoinSetEntry& Entry(int pos) { return FEntries[pos]; }

  // Called inside the catch block of a failed copy of a source set for set 1: the join fails with
  // the side's set code (Q7_ERROR_NO_JOIN_SET or Q7_ERROR_NO_SLAVE_SET) as the copy's failure,
  // which, when an allocation failed, follows a ring entry ("AddJoinTable",
  // Q7_ERROR_OUT_OF_MEMORY, "Out of memory") that tells the host why. A failure that is neither a
  // CQ7Exception nor a failed allocation passes on as it is.
  [[noreturn]] static void FailSetCopy(int set_code);

 private:
  // Steps 6 to 10 of the construction for one side; throws the side's codes. With copy_rows false
  // the side's set is left in FMasterRowsSource instead of copied into set 1.
  TRealTable* BindSide(TTableCollection* tables, int side, int table_id, int* set_id, const int* keys,
                       int* columns, int* n_columns, bool copy_rows);
  // Copies FMasterRowsSource into set 1's master rows, if it is still pending (as the constructor
  // would have; an uncopyable set throws Q7_ERROR_NO_JOIN_SET), and clears it.
  void CopyPendingMasterRows();
  // The side's table and source filter ID of a join column; records and throws for a bad ID.
  TRealTable* Source(int filter_id, int* source_filter_id, const char* log_name);
  // Frees the six sets of an entry and clears them.
  static void FreeEntrySets(JoinSetEntry* entry);
  // Frees everything the join owns (destructor and failed construction).
  void Release();

  // Not owned: the master table's set whose rows set 1 takes while it is paired
  // (MasterRows::kCopiedWhilePairing); null once they are copied, and for every other join.
  TSetArray* FMasterRowsSource = nullptr;
};
