// The database: the tables of the process, in strictly ascending table-ID order.
//
// The collection issues table IDs (the last issued ID + 1, never reused, consumed even when the
// table cannot be built), finds tables by ID (binary search) or name (first exact match from
// position 0), makes table names unique, refuses to delete a table that others depend on (join
// tables over it, real tables sharing one of its value lists), and carries the state that the
// database files and memory images use.
//
// Class-wide settings (one storage each, shared with the layers below):
//   m_nCutLastSpace          is g_cut_last_space (values/CompileSettings.h): trailing blanks of
//                            STRING values are cut while it is non-zero.
//   m_nDisableTrimUntilSharp while non-zero, unique-name generation keeps a seed's "_#" part; it
//                            is passed to verifySeedName (foundation/TextHelpers.h) on each call.
//
// Ownership: the engine owns the one current collection (installed through the collection hooks
// of foundation/CSmpEngine.h). The collection owns its tables and deletes them from the last
// position to the first, then frees FTblMemBuf.
//
// Thread safety: no lock of its own; every operation runs under the API lock.
//
// Failures come back as negative codes (or a null table) with the error-ring entries stated;
// allocation failures are thrown as CQ7Exception(Q7_ERROR_OUT_OF_MEMORY). Nothing is left
// half-changed: a table is appended only once built, and a deletion is refused before anything
// is destroyed.
#pragma once

#include <cstdint>
#include <functional>

#include "q7api.h"

class TBaseTable;
class TRealTable;
class zpk_fstream;
class CMemFile;
struct LSHMTBLEntry;

class TTableCollection {
 public:
  static constexpr int kMaxTables = 10000;
  static constexpr int kPathSize = 512;

  static int& m_nCutLastSpace;
  static int m_nDisableTrimUntilSharp;
  // Counters of the default table names the operation layer generates; 0 at load.
  static uint8_t m_chRTBLIndex;
  static uint8_t m_chJTBIndex;
  static uint8_t m_chJTORTBLIndex;
  static uint8_t m_chFTRIndex;

  // An empty database.
  TTableCollection();
  ~TTableCollection();
  TTableCollection(const TTableCollection&) = delete;
  TTableCollection& operator=(const TTableCollection&) = delete;

  // ---- Finding tables ----
  // The table, or null after recording ("GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d").
  TBaseTable* GetTable(int table_id);
  // Position, or Q7_ERROR_NO_SUCH_TABLE (unrecorded).
  int ID2Loc(int table_id) const;
  // The lowest position whose table has exactly this name, or Q7_ERROR_NO_SUCH_TABLE.
  int Name2Loc(const char* name) const;
  // Name2Loc's table ID; a miss records ("GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "No
  // Table").
  int GetTableIDFromName(char* name);
  // Writes the table IDs ascending; returns their count.
  int GetTableIDList(int* out) const;
  int TableCount() const { return FnTable; }
  // The table at a position 0 .. TableCount() - 1.
  TBaseTable* TableAt(int pos) const { return FTables[pos]; }

  // ---- Building and removing tables ----
  // A new real table of row_count records (set 1 = every record); returns its ID. Refusals:
  // Full() ("TableCount overflow", Q7_ERROR_TABLE_COUNT_OVERFLOW); row_count < 0
  // ("Invalid Parameter : RowCount(%d)", Q7_ERROR_ROW_SIZE_OVERFLOW); a name ToFileName refuses
  // (rewritten in place otherwise) ("Invalid Parameter : TblName(%s)",
  // Q7_ERROR_ILLEGAL_TABLE_NAME). A name that cannot be made unique throws
  // Q7_ERROR_TABLE_NAME_GENERATION.
  int AddRealTable(char* name, int row_count);
  // A join is built by AddJoinTable / MppAddJoinTable, among the join layer's members below.
  // No table can be added: kMaxTables tables, or every table ID up to INT32_MAX issued (a loaded
  // database may carry an issued ID that high). The adding calls report it as a full collection.
  bool Full() const { return FnTable >= kMaxTables || FTblIDIssued >= INT32_MAX; }
  // The next table ID, consumed now. The caller builds the table and appends it with AppendTable.
  // With no ID left, throws Q7_ERROR_TABLE_COUNT_OVERFLOW and consumes nothing.
  int IssueTableID();
  // Appends a table whose ID was issued by IssueTableID (so the order stays ascending) and takes
  // it over; a real table learns its collection. The caller has checked the table count.
  void AppendTable(TBaseTable* table);
  // Deletes a table nothing depends on. Q7_ERROR_NO_SUCH_TABLE ("DelTable", "No Such Table: %d");
  // Q7_ERROR_NOT_EDITABLE ("Failed to refere table") while ReferedIDList finds dependents.
  // Returns 0.
  int DelTable(int table_id);

  // ---- Names ----
  // A table name no table carries, from the seed, into out (256 bytes; may be the seed itself):
  // cleaned and cut at "_#" by verifySeedName, then "%s_#%d" with n = 1, 2, ... while taken.
  // Refusals (Q7_ERROR_ILLEGAL_TABLE_NAME): a bad seed ("GenTableName", "Invalid Parameter :
  // SeedName"), a candidate above 255 bytes ("Failed to get tablename"). Returns 0.
  int GenTableName(const char* seed, char* out);
  // 0 when a table could be created under (a unique form of) the name; else records
  // ("CheckTableName", Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal table name  : %s") and returns it.
  int CheckTableName(const char* name);
  // Renames a table; a name another table carries gets the first free "_#n". Refusals: 256 bytes
  // or more ("Invalid Parameter : TableName len(%d)"), a bad name ("Invalid Parameter :
  // TableName(%s)") -> Q7_ERROR_ILLEGAL_TABLE_NAME; no table ("No Such Table: %d ") ->
  // Q7_ERROR_NO_SUCH_TABLE. Returns 0.
  int SetTableName(int table_id, const char* name);

  // ---- Derived tables (TTableCollection_derive.cpp) ----
  // A new real table made from real tables of the collection under the next table ID, which is
  // issued only once the table is complete: a failure destroys the partly filled table and leaves
  // no table and no used ID (the sources of a consuming combine excepted, below). name is the seed
  // of the new table's name (made unique; Q7_ERROR_TABLE_NAME_GENERATION when it cannot be). A
  // source ID that names no table is recorded by GetTable and thrown as Q7_ERROR_NO_SUCH_TABLE; a
  // join table is thrown as Q7_ERROR_NO_SUCH_TABLE unrecorded. The table-level failures of
  // TRealTable's derived-table operations are thrown as they come.

  // A duplicate of a real table (TRealTable::DuplicateRealTable); its ID. Full(): returns
  // Q7_ERROR_TABLE_COUNT_OVERFLOW, unrecorded.
  int DuplicateRealTable(char* name, int source_id);
  // The rows of a set of a real table with the listed filters (TRealTable::ExtractRealTable); its
  // ID. Full() throws Q7_ERROR_TABLE_COUNT_OVERFLOW; a seed GenTableName refuses throws
  // Q7_ERROR_TABLE_NAME_GENERATION.
  int ExtractRealTable(char* name, int source_id, int set_id, int add_table_id, int add_rec_no,
                       int* filter_ids);
  // The rows of set_a of table_a, then of set_b of table_b, paired column by column
  // (TRealTable::CombineRealTable); its ID. A null pair list stands for the table's filter IDs in
  // display order followed by -1s. Checks before the table is built: Full() ("CombineRealTable",
  // "TableCount overflow", returned Q7_ERROR_TABLE_COUNT_OVERFLOW); a seed GenTableName refuses
  // (Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME); the tables; a set either table lacks
  // (Q7_ERROR_NO_SUCH_SET); over the pairs up to the first one of two IDs below 1, a negative ID
  // facing a positive one and two paired filters of different basic types (every double kind is
  // one) Q7_ERROR_FILTER_TYPE_MISMATCH, a paired filter missing Q7_ERROR_NO_SUCH_FILTER.
  // consume_sources non-zero: before the first column is built each source gives up the filters no
  // pair names, then each named one once its last column stands; on success both sources are
  // deleted (DelTable; one that others depend on stays, without those filters). In this mode a
  // one-sided filter that is missing is refused before anything is given up; a failure after a
  // source lost a filter deletes both sources as well.
  int CombineRealTable(char* name, int add_table_id, int add_rec_no, int table_a, int set_a, int* ids_a,
                       int table_b, int set_b, int* ids_b, int consume_sources);
  // The rows of set set_ids[i] of real table table_ids[i], for the IDs before the first one below 1
  // (at most 64), table after table: columns "TableID", "RECNO" (the source record) and, for each
  // of the four data_lists present (null: none), a "DATA" column (then "DATA_#1", ...) holding
  // the integer value of filter data_lists[j][i] of the row's table. Its ID. Refusals, recorded
  // under "CombineTableList" and returned: Q7_ERROR_TABLE_COUNT_OVERFLOW ("TableCount overflow"),
  // Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME ("Invalid Parameter : PCTblName(%s)"), Q7_ERROR_NO_SUCH_TABLE
  // (no table: "No Such Table: %d ", a join: "Illegal table type ( Not REAL )", an empty list: "Not
  // Real Table"), Q7_ERROR_NO_SUCH_SET ("No Such Set: SetIDList[%d] %d]"), Q7_ERROR_NO_SUCH_FILTER
  // ("No Such Filter: %d"), Q7_ERROR_ILLEGAL_FILTER_TYPE for a data filter that is not INTEGER
  // ("Illegal data type ( Not INTEGER )"), Q7_ERROR_ROW_SIZE_OVERFLOW for more than INT32_MAX - 1
  // rows. A failure while the table is built is recorded under "CombineTableList" and thrown.
  int CombineTableList(char* name, int* table_ids, int* set_ids, int** data_lists);

  // The same three with the table filled on the worker pool (TRealTable::MppDuplicateRealTable,
  // MppExtractRealTable, MppCombineRealTable; MppDerive.cpp): the same checks, codes and table, but
  // a full collection makes MppCombineRealTable return Q7_ERROR_TABLE_COUNT_OVERFLOW unrecorded,
  // and its record-number column is named "RecNo".
  int MppDuplicateRealTable(char* name, int source_id);
  int MppExtractRealTable(char* name, int source_id, int set_id, int add_table_id, int add_rec_no,
                          int* filter_ids);
  int MppCombineRealTable(char* name, int add_table_id, int add_rec_no, int table_a, int set_a, int* ids_a,
                          int table_b, int set_b, int* ids_b, int consume_sources);

  // The steps the forms above share, for the forms that fill the table another way (the parallel
  // table-level operations, which take the same arguments as the serial ones).
  using DuplicateFill = int (TRealTable::*)(TRealTable* source);
  using ExtractFill = void (TRealTable::*)(int set_id, TRealTable* source, int add_table_id, int add_rec_no,
                                           int* filter_ids);
  using CombineFill = void (TRealTable::*)(int add_table_id, int add_rec_no, int set_a, int* ids_a,
                                           TRealTable* a, int set_b, int* ids_b, TRealTable* b,
                                           int n_filter_a, int n_filter_b, int* all_a, int* all_b,
                                           int* uses_a, int* uses_b);
  int DuplicateRealTableWith(DuplicateFill fill, char* name, int source_id);
  int ExtractRealTableWith(ExtractFill fill, char* name, int source_id, int set_id, int add_table_id,
                           int add_rec_no, int* filter_ids);
  // overflow_log: the ring name of the "TableCount overflow" entry (null: none).
  int CombineRealTableWith(CombineFill fill, const char* overflow_log, char* name, int add_table_id,
                           int add_rec_no, int table_a, int set_a, int* ids_a, int table_b, int set_b,
                           int* ids_b, int consume_sources);
  // The source lookup of the forms above (recorded by GetTable; thrown as stated there).
  TRealTable* FindSourceRealTable(int table_id);
  // Constructs a real table with no set and no filter under the next table ID and a unique form of
  // name, runs fill on it and, once fill returns, issues the ID, appends the table and returns the
  // ID. Whatever fill throws destroys the table and passes on, with no ID issued. The caller has
  // checked Full().
  int AddBuiltRealTable(char* name, const std::function<void(TRealTable*)>& fill);

  // ---- Dependencies ----
  // The IDs of the tables at later positions that depend on a real table (joins over it, real
  // tables with a filter on one of its value lists) into out (TableCount() entries); returns
  // their number. Q7_ERROR_NO_SUCH_TABLE ("ReferedIDList", "No Such Table: %d"),
  // Q7_ERROR_NOT_REAL_TABLE ("Illegal table type ( Not REAL )").
  int ReferedIDList(int table_id, int* out);
  // The table exists and has dependents.
  bool IsReferred(int table_id);
  // The table exists, is real, and has no dependents.
  bool IsEditable(int table_id);
  // Some table is a join.
  bool IsJoinExist();
  // Whether the table (0: any table) has a filter whose value list holds decimals.
  bool NumericUsedCheck(int table_id);

  // ---- Join chains ----
  // The longest chain of joins that a realized join chain follows: kMinJoinChain (16) when the
  // library is loaded. SetMaxJoinChain takes 16 to 510 and returns 0; any other length sets 510
  // (not the previous value) and returns Q7_ERROR_INVALID_PARAMETER, recording nothing.
  // Class-wide; changed only under the API lock.
  static constexpr int kMinJoinChain = 16;
  static constexpr int kMaxJoinChain = 510;
  static inline int m_nMaxJoinChain = kMinJoinChain;
  static int SetMaxJoinChain(int length);

  // ======== Members defined by the join layer: join/ (q7join) ========
  // Declared with the collection so that callers reach them as members, but only the join layer
  // can build a join; they are defined there, in the files each group names, and a caller must
  // link q7join.

  // ---- Building a join (join/TTableCollection_join.cpp) ----
  // A new join of master_set of master_table and slave_set of slave_table on the key lists (each
  // read up to its first entry below 1, at most 32) under the next table ID; returns its ID. The
  // join is built and paired (TJoinTable::SetupJoinFilters, MppSetupJoinFilters for the parallel
  // form) and its columns named before it is appended. Refusals: Full() ("AddJoinTable",
  // "TableCount overflow", Q7_ERROR_TABLE_COUNT_OVERFLOW); a name ToFileName refuses (rewritten in
  // place otherwise) ("Invalid Parameter : TblName(%s)", Q7_ERROR_ILLEGAL_TABLE_NAME). A name that
  // cannot be made unique throws Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME; the join's construction and
  // set-up failures (join/TJoinTable.h; Q7_ERROR_OVERFLOW_JOIN for more than 2147483647 joined rows) are
  // thrown with the half-built join destroyed and nothing appended (the issued ID stays used).
  int AddJoinTable(char* name, int outer, int master_table, int master_set, int* master_keys, int slave_table,
                   int slave_set, int* slave_keys);
  int MppAddJoinTable(char* name, int outer, int master_table, int master_set, int* master_keys,
                      int slave_table, int slave_set, int* slave_keys);

  // ---- A join set as a new real table (join/TRealTable_joinreal.cpp) ----
  // A new real table under the next table ID (issued before the build: a failed build leaves it
  // unused) and a unique form of name, filled by TRealTable::ConvertJoinToReal (AddRealized) or
  // MppConvertJoinToReal (MppAddRealized) from the join table's set; its ID. AddRealized then
  // condenses every column whose value list is its own (a shared list belongs to the source table
  // and is left as it is); MppAddRealized does not condense. Returned: Q7_ERROR_TABLE_COUNT_OVERFLOW
  // (Full(), unrecorded), Q7_ERROR_NO_SUCH_TABLE (recorded by GetTable; AddRealized also records
  // ("AddRealized", "No Such Table: %d ")), Q7_ERROR_NOT_JOIN_TYPE for a table that is not a join
  // (AddRealized records "Illegal table type ( Not JOIN )"). The conversion's failures are thrown
  // with the new table destroyed.
  int AddRealized(char* name, int join_table, int set_id, bool add_master_rec_no, bool add_slave_rec_no,
                  int* filter_ids, bool share_value_lists);
  int MppAddRealized(char* name, int join_table, int set_id, bool add_master_rec_no, bool add_slave_rec_no,
                     int* filter_ids, bool share_value_lists);

  // ---- Join chains realised as tree tables (join/TTableCollection_chain.cpp) ----
  // A chain is a list of inner joins J0, J1, ... (read up to the first ID below 1, at most
  // m_nMaxJoinChain) in which each join's master table is the previous join's slave table. Its
  // tree: the roots are the rows of J0's master set in set order; the children of a record of
  // table Tk are the records of Tk+1 that Jk pairs with it, in Jk's partner order. The new real
  // table holds one record per node in depth-first pre-order, INTEGER columns "depth", "RecNo"
  // (named "RECNO" by the filter-naming rule) and "data_0" .. "data_<n-1>": the value of
  // columns[k][c] (an INTEGER filter of Tk) at the node's record. table_ids_out receives T0 ..
  // Tm, sets_out[0][k] / sets_out[1][k] the master / slave set of Jk. Returns the new table's ID
  // or a code: Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME (no unique name), Q7_ERROR_OUT_OF_RANGE (more
  // than 4 columns), Q7_ERROR_NO_SUCH_TABLE (an ID naming no table, or no join at all),
  // Q7_ERROR_NOT_JOIN_TYPE, Q7_ERROR_NOT_INNER_JOIN_TABLE, Q7_ERROR_ILLEGAL_CHAIN_TYPE (a broken
  // link), Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_ILLEGAL_FILTER_TYPE,
  // Q7_ERROR_INVALID_PARAMETER (null outputs, or null columns with a column count). The serial
  // form records them under "RealizeJoinChain"; the parallel one (which counts and writes the
  // tree on the worker pool) records none of its own. Thrown: Q7_ERROR_ROW_SIZE_OVERFLOW for a
  // tree of INT32_MAX rows or more (counted in 64 bits, never wrapped), Q7_ERROR_ILLEGAL_TREE,
  // Q7_ERROR_INNER_ENGINE, Q7_ERROR_OUT_OF_MEMORY, the table's refusals; a failure leaves no new
  // table. The work area is cleared (ClearJoinChain) on every path.
  int RealizeJoinChain(const char* ChainTblName, const int* JTableIDs, int nAssociation,
                       const int (*columns)[4], int* tableIDsOut, int (*setsOut)[510]);
  int MppRealizeJoinChain(const char* ChainTblName, const int* JTableIDs, int nAssociation,
                          const int (*columns)[4], int* tableIDsOut, int (*setsOut)[510]);
  // Frees the work area of a realization; returns 0.
  int ClearJoinChain();
  // The tree walk over the work area of the realization under way (node: a record of the level's
  // master table; level k: join Jk). The counts are descendants; the Build forms write each
  // descendant's row (at the output counter, which they advance, or from index on) and return how
  // many they wrote; put1Data / put1Data2 write one row of a record of table Tdepth and return the
  // advanced counter / index + 1. An inconsistent pairing throws Q7_ERROR_ILLEGAL_TREE. The
  // parallel realization's workers call CalcTreeSize, put1Data2 and BuildTree2 at once, each
  // writing only its own output range.
  int64_t CalcTreeSizeEx(int node, int level);
  int64_t CalcTreeSize(int node, int level);
  int64_t BuildTree(int node, int level);
  int64_t BuildTree2(int node, int level, int64_t index);
  int64_t put1Data(int node, int depth);
  int64_t put1Data2(int node, int depth, int64_t index);
  // The work area: set only while a realization runs (owned; ClearJoinChain frees it).
  struct JoinChainWork* FJoinChain = nullptr;
  // ======== (end of the members defined by the join layer) ========

  // ---- Tree tables (TreeTables.cpp) ----
  // Appends to the tree table (a realised chain: filter 1 the depth, filter 2 the record number)
  // one column per listed filter of the real table source_table (read while the ID is 1 or more,
  // the source has it, and fewer than m_nMaxJoinChain were read), each on a copy of the source's
  // value list, under the source filter's name. Record r of the tree takes the source's value at
  // record x (r's record number): with depth < 0 every record of depth above 0; with depth >= 0
  // and inherit 0 the records of that depth; with inherit set the records of that depth and,
  // below them, the value of their ancestor at that depth. Every other record is NULL, as is a
  // record whose x is not a source record. Returns 0 (an empty tree adds nothing), -1 when a
  // column cannot be added (those before it stay), or a code recorded under "Qualify":
  // Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NO_SUCH_FILTER (filter 1 or 2
  // missing, or no source filter read), Q7_ERROR_ILLEGAL_FILTER_TYPE (filter 1 or 2 not INTEGER).
  int Qualify(int treeTable, int depth, int sourceTable, const int* SrcFltIDs, int inherit);

  // ---- Whole database ----
  // The collection object plus every table's GetMemSize.
  int64_t GetTotalMemorySize();
  // Lets every join at position `from` or later resolve its source tables.
  void LoadComplete(int from);
  // Copies FDBPath and FDBName (kPathSize bytes each).
  void GetPathName(char* dir, char* name) const;

  // ---- Fields ----
  int32_t FTblIDIssued;             // the last issued table ID
  int32_t FAllReal;                 // 1 while the last database save found only real tables
  void* FTblMemBuf;                 // a table memory image the operation layer handed out; owned
  char FDBPath[kPathSize];          // directory of the last saved or loaded database file
  char FDBName[kPathSize];          // its file name
  int32_t FnTable;                  // 0 .. kMaxTables
  TBaseTable* FTables[kMaxTables];  // positions 0 .. FnTable - 1, ascending FTableID; owned
  uint8_t FUseSavedHeader;          // 1: saves write FSavedVersions / FSavedHeader
  int32_t FSavedVersions[4];
  uint8_t FSavedHeader[256];

 private:
  // Some table carries exactly this name.
  bool NameTaken(const char* name) const;

  // ---- Database and table files (TTableCollection_files.cpp) ----
  // Directory arguments: the call enters the directory for its duration and returns to the one
  // that was current, on success and on failure. Files are written through a temporary file in the
  // same directory that replaces the old file only once complete, so a failed save leaves the old
  // file as it was (SaveRealTable2, which updates a host's file in place, excepted). Readers check
  // every count, ID, position and length they read (see TRealTable's reader) and a failed load
  // leaves the collection as it was.
 public:
  // Builds a database from dir/name (".Q7D" appended unless name is at least 5 bytes long and
  // ends in it); on success FDBPath is the absolute directory (also written back into dir, 512
  // bytes) and FDBName the name. The caller runs LoadComplete(0) next. Throws:
  // Q7_ERROR_INVALID_PATH ("TTableCollection", "Invalid Parameter : DBPath(%s)") for a directory
  // that cannot be entered, whose absolute form does not fit in 512 bytes, or when the current
  // directory cannot be read; Q7_ERROR_ILLEGAL_FILE_NAME (file); Q7_ERROR_UNSUPPORTED_VERSION
  // (catalog message log "Unspported DataVersion DataVer[1] = ------> %d"); a table count above
  // kMaxTables, a negative issued ID, table IDs not ascending or above the issued ID:
  // Q7_ERROR_ILLEGAL_ARRAY_DATA; a kind other than 0 and 2 (negative ones included):
  // Q7_ERROR_INVALID_TABLE_TYPE; the table readers' codes. The tables built so far are deleted
  // before the throw.
  TTableCollection(char* dir, char* name);
  // The diagnostic twin: the same reader, writing each step to the catalog message log, and
  // accepting the data versions 15, 16 and 20 to 25 only. The int has no effect.
  TTableCollection(char* dir, char* name, int verbose);
  // Throws what the reader above would throw for a file that cannot be a database file at all: a
  // directory that cannot be entered, a file that does not open, a head (header or the older start
  // without one, versions, issued table ID, table count) the reader refuses. Reads nothing beyond
  // the head, changes no collection and writes nothing back into dir. A load that replaces a
  // database runs it first, so that a wrong name or file keeps the database in place.
  static void CheckDatabaseFile(const char* dir, const char* name);

  // Writes the whole database as dir/name.Q7D (the ".Q7D" rule above). Sets FAllReal and every
  // table's FDBIndex first; on success FDBPath and FDBName as for the reader. Throws
  // Q7_ERROR_INVALID_PATH ("SaveDB", "Invalid Parameter : DBPath(%s)") as the reader does, and the
  // writers' codes; FDBPath and FDBName then keep their values.
  void SaveDB(char* dir, char* name);
  // SaveDB(FDBPath, FDBName). Either empty: ("ReSave", Q7_ERROR_NO_DB_NAME, "Illegal FileName"),
  // thrown.
  void ReSave();
  // The kind of the next table record of fs (0 real, 2 join); with a null fs, of the table file
  // name + ".Q7T" (header and kind read, then closed). An open or read failure returns its code.
  int GetTableType(zpk_fstream* fs, char* name);

  // Writes a real table as dir/<table name>.Q7T (SaveRealTableAs: dir/file_name.Q7T); 0 or a code:
  // Q7_ERROR_NO_SUCH_TABLE ("No Such Table: %d "), Q7_ERROR_ILLEGAL_FILE_NAME ("Failed to get path
  // ( getcwd module )"), Q7_ERROR_SAVE_TABLE_FAILED ("Not RealTable"); a directory that cannot be
  // entered and the writer's failures are thrown.
  int SaveRealTable(char* dir, int table_id);
  int SaveRealTableAs(char* dir, char* file_name, int table_id);
  // Reads dir/file_name(.Q7T) as a new table with a unique name; its new ID, or
  // Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW ("LoadRealTable", "TableCount overflow"),
  // Q7_ERROR_INVALID_PATH ("Invalid Parameter : TablePath(%s)"); reader failures are thrown and
  // add nothing.
  int LoadRealTable(char* dir, char* file_name);
  // Writes the listed real tables (the list ends at -1), each as the library's header and its
  // record, into the existing file from offset; the position after the last byte goes to
  // end_offset. A listed ID naming no table logs "No Such Table: TblIDList[%d]%d " and ends the
  // list. 0, or Q7_ERROR_ILLEGAL_FILE_NAME ("SaveRealTable2", "File IO error" for the seek),
  // Q7_ERROR_NOT_REAL_TABLE ("Illegal table type ( Not REAL )").
  int SaveRealTable2(char* file, unsigned long offset, int* table_ids, int set1_only,
                     unsigned long* end_offset);
  // Reads `count` tables written by SaveRealTable2 from offset as new tables, their IDs into
  // new_ids (count entries) and the end position into end_offset; returns the last issued table
  // ID, or Q7_ERROR_NO_SUCH_TABLE ("LoadRealTable2", "Invalid Parameter : TblCnt") for a negative
  // count, Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW ("TableCount overflow"), Q7_ERROR_ILLEGAL_FILE_NAME
  // (seek). Reader failures are thrown; the tables read before stay.
  int LoadRealTable2(char* file, unsigned long offset, int count, int* new_ids, unsigned long* end_offset);

  // The reader of a join-table record whose kind has been read, installed by the join layer; with
  // verbose the diagnostic twin. Until one is installed a database file that holds a join record
  // is refused with Q7_ERROR_INVALID_TABLE_TYPE.
  using JoinRecordReader = TBaseTable* (*)(zpk_fstream* fs, char* name, int keep_name, int verbose,
                                           TTableCollection* names);
  static void SetJoinRecordReader(JoinRecordReader reader);

  // ---- Memory images, the memory stream, shared-memory images (TTableCollection_images.cpp) ----
  // Image buffers: a memory image is read from or written into `size` bytes at an address that is a
  // multiple of 8 (the operation layer checks it); no reader reads at or past buffer + size, and a
  // damaged image is refused with the readers' codes (Q7_ERROR_INVALID_READ_SIZE for one that
  // ends too soon, Q7_ERROR_ILLEGAL_ARRAY_DATA, Q7_ERROR_UNSUPPORTED_VERSION,
  // Q7_ERROR_INVALID_TABLE_TYPE ...). A refused single table adds nothing; a refused database is
  // deleted table by table, as the file reader does.

  // Writes the database image (the database file's layout, with the system header and versions,
  // never the saved ones) into capacity bytes at buffer; *end receives the address after its last
  // byte, and the header's length word (bytes 8-15) its length. Sets FAllReal and every table's
  // FDBIndex as SaveDB does. Too small a buffer throws
  // Q7_ERROR_OUT_OF_MEMORY (the buffer then holds a partial image); a join table without its
  // record writer (the join layer's) throws Q7_ERROR_NOT_REAL_TABLE. Returns 0.
  int SaveDB2Mem(unsigned long capacity, void* buffer, void** end);
  // Builds a database from the image in size bytes at buffer (fewer when the header's length word
  // says so; an image without it is bounded only by size and by its counts agreeing, see
  // TRealTable's image reader); *end (when end is not null) receives the address after it. Version
  // element 1 other than 25: Q7_ERROR_UNSUPPORTED_VERSION. FDBPath and FDBName stay empty. The
  // caller runs LoadComplete(0).
  TTableCollection(void* buffer, uint64_t size, void** end);
  // The single-table image: the table's record with the system header, then, when the rest of
  // the buffer holds it with its padding, the trailer "Q7TFEND" and the int64 length of the record
  // counted from buffer; the header's length word receives the image's length up to *end, the
  // address after the last byte written. No table: recorded
  // by GetTable and thrown as Q7_ERROR_NO_SUCH_TABLE; not real: Q7_ERROR_NOT_REAL_TABLE; too small
  // a buffer: Q7_ERROR_OUT_OF_MEMORY. Returns 0.
  int SaveRealTable2Mem(int table_id, unsigned long capacity, void* buffer, void** end);
  // Reads a single-table image (its trailer is not read) as a new table with a unique name, within
  // size bytes and the header's length word as the database image reader does; *end
  // (when not null) receives the address after the record. Returns the new ID, or
  // Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW ("LoadRealTable", "TableCount overflow"); reader failures are
  // thrown and add nothing.
  int LoadRealTableFromMem(void* buffer, uint64_t size, void** end);

  // Writes a real table into the process's memory stream (TRealTable::SaveTableMem). Returns 0,
  // Q7_ERROR_NO_SUCH_TABLE ("SaveRealTableMem", "No Such Table: %d ") or Q7_ERROR_NOT_REAL_TABLE
  // ("Illegal table type ( Not REAL )"); the writers' failures are thrown.
  int SaveRealTableMem(int table_id, int set1_only);
  // Reads the next table of the memory stream as a new table with a unique name: its ID; 0 when the
  // stream's position is at its end; Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW ("LoadRealTableMem",
  // "TableCount overflow"). No stream throws Q7_ERROR_INVALID_MEMSTREAM; reader failures are thrown
  // and add nothing (Q7_ERROR_OUT_OF_MEMORY recorded as "Out of memory").
  int LoadRealTableMem();

  // Shared-memory database images: the bytes of a database file at image (a multiple of 8:
  // Q7_ERROR_ADDRESS_ALIGNMENT otherwise), length bytes long, read in place: the tables' arrays
  // stay in the image, which must stay mapped while any of them exists (UsesSharedImage). Nothing
  // is read at or past image + length.
  // Builds a database over the image (stored IDs and names; FDBPath and FDBName empty). The
  // caller runs LoadComplete(0).
  TTableCollection(void* image, uint64_t length);
  // Adds the image's tables to this database, in image order, each under the next table ID and a
  // unique name; stored table IDs that the image's filters and joins refer to are mapped to the new
  // ones (for tables read before them), and the new joins resolve their tables. Full:
  // ("AppendSharedMemoryDB", "TableCount overflow") and Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW; a kind
  // other than 0 and 2: ("Invalid table type ( Not REAL or JOIN )") and
  // Q7_ERROR_INVALID_TABLE_TYPE. Failures are thrown; the tables appended before stay. Returns 0.
  int AppendSharedMemoryDB(void* image, uint64_t length);
  // Attaches a table file mapped from the shared-table registry (entry->mapAddress, mapSize bytes)
  // as a table under its own name: its new ID; Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW when full (not
  // recorded); Q7_ERROR_SHMTBL_LOAD_FAILED when its name is taken or not a table name as it stands
  // (the table is destroyed, which detaches the entry). Reader failures are thrown (the entry is
  // left attached).
  int LoadRealTable(LSHMTBLEntry* entry);
  // Some table lies on a shared-memory database image (read in place, not a registry view): the
  // image must not be unmapped while this holds.
  bool UsesSharedImage();

  // Readers of join-table records in images, installed by the join layer beside the file reader;
  // until then an image holding a join record is refused with Q7_ERROR_INVALID_TABLE_TYPE. The
  // in-place reader maps the master and slave table IDs through id_map (null: as stored).
  using JoinImageReader = TBaseTable* (*)(CMemFile* mf, TTableCollection* names);
  using JoinInPlaceReader = TBaseTable* (*)(void** cursor, const void* end, void* id_map);
  static void SetJoinImageReaders(JoinImageReader image_reader, JoinInPlaceReader in_place_reader);

 private:
  void LoadDatabaseFile(char* dir, char* name, bool verbose);
  void WriteDatabaseFile(zpk_fstream& fs);
  int SaveOneTable(const char* log_name, char* dir, const char* file_name, int table_id);
  void LoadDatabaseImage(void* buffer, uint64_t size, void** end);
  void LoadSharedImage(void* image, uint64_t length);
};
