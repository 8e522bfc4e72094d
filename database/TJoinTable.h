// A join table (table kind 2): a virtual join of a master and a slave real table on 1 to 32 pairs
// of key filters. Its columns are the master's filters (join column IDs 1..M) followed by the
// slave's (M+1..M+S); a join column is read through the source table's filter.
//
// This is the join as the table layer sees it: the construction checks, the description that the
// collection and the real tables read (GetJoinInfo: which tables, sets and first key filters the
// join rests on, so that they are protected from deletion and from dropping their key filters),
// the column mapping, and the resolution of the source tables after a load. The row pairing and
// the join sets are built by the join layer; until then the join has no sets and no rows.
//
// Ownership: created and owned by the collection like any table; refers to its master and slave
// tables (not owned), which the collection keeps alive while the join exists.
//
// Thread safety: none; under the API lock.
#pragma once

#include <cstdint>

#include "database/TBaseTable.h"

class TRealTable;
class TTableCollection;

class TJoinTable : public TBaseTable {
 public:
  static constexpr int kMaxKeys = 32;
  static constexpr int kMaxColumns = 512;

  // Builds the join of master_set of master_table and slave_set of slave_table (a negative set ID
  // means that table's current set) on the key lists, each read up to its first entry below 1 or
  // 32 entries. The name is made unique in `tables` (null: the engine's current collection), in
  // which the source tables are looked up. Throws: Q7_ERROR_TABLE_NAME_GENERATION (name);
  // Q7_ERROR_INVALID_KEY_PARAMETER (an empty key list, counts that differ, or with two or more
  // keys a key that names no filter); Q7_ERROR_ILLEGAL_MASTER_TABLE / _SLAVE_TABLE (missing or not
  // real); Q7_ERROR_NO_MASTER_KEY_FILTER / NO_SLAVE_KEY_FILTER (one key that names no filter);
  // Q7_ERROR_NO_JOIN_SET / NO_SLAVE_SET (a missing set).
  TJoinTable(int id, char* name, int outer, int master_table, int master_set, int* master_keys,
             int slave_table, int slave_set, int* slave_keys, TTableCollection* tables = nullptr);
  ~TJoinTable() override;

  int GetTableKind() override;  // 2
  int GetType() override;       // 2
  int GetNFilter() override;    // M + S
  int TotalRecs() override;     // joined rows of the whole join; 0 until the pairing is built

  // The join sets (none until the join layer registers them): lookups fail through SetID2Pos.
  int GetSetSize(int set_id) override;
  TSetArray* GetSet(int set_id) override;
  int PurgeSubSets() override;
  int SetNot(int set_id) override;
  int MppSetNot(int set_id) override;
  int SetOpe(int op, int set_id1, int set_id2) override;
  int MppSetOpe(int op, int set_id1, int set_id2) override;

  // The source filter of join column `filter_id`; an ID outside 1..M+S records ("GetFilter",
  // Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d") and throws that code. Null while the side's
  // table is unresolved.
  TFilter* GetFilter(int filter_id) override;
  // Writes 1 .. M+S; returns M+S.
  int GetFilterIDList(int* out) override;
  // The source table's name and the source filter's own name; an unknown column or a vanished
  // source filter records ("FilterID2Name", "No Such Filter: %d" / "No Filter") and throws
  // Q7_ERROR_NO_SUCH_FILTER.
  char* FilterID2Name(int filter_id, char* table_name, char* filter_name) override;
  // The source table's filter ID for `name` (side 0 master, else slave); a missing source table
  // records "No Real Table (master)" / "No Real Table (slave)" and returns Q7_ERROR_NO_SUCH_TABLE.
  int GetFilterIDFromName(char* name, int side) override;
  int64_t GetMemSize() override;

  // The join's name, its master and slave table IDs and set IDs, and the first key filter ID of
  // each side. Returns 0.
  int GetJoinInfo(char* name, int* master_table, int* master_set, int* master_key, int* slave_table,
                  int* slave_set, int* slave_key);
  // Resolves the master and slave tables from their stored IDs (after a load).
  void LoadComplete(TTableCollection* tables);

  int32_t FOuter;                 // 1 outer join, 0 inner
  int32_t FnKey;                  // key pairs, 1..kMaxKeys
  int32_t FMasterKeys[kMaxKeys];  // master key filter IDs; unused entries 0
  int32_t FSlaveKeys[kMaxKeys];   // slave key filter IDs, paired by position
  TRealTable* FMasterTable;       // not owned
  TRealTable* FSlaveTable;        // not owned
  int32_t FMasterTableID;
  int32_t FSlaveTableID;
  int32_t FMasterSetID;
  int32_t FSlaveSetID;
  int32_t FnMasterColumn;               // M
  int32_t FnSlaveColumn;                // S
  int32_t FMasterColumns[kMaxColumns];  // the master's filter IDs at construction
  int32_t FSlaveColumns[kMaxColumns];

 private:
  // Steps of the constructor for one side; throws the side's codes.
  TRealTable* BindSide(TTableCollection* tables, int table_id, int* set_id, const int* keys, int* columns,
                       int* n_columns, int illegal_table, int no_key, int no_set);
  int NoJoinSet(int set_id);
  // The side's table and source filter ID of a join column; records and throws for a bad ID.
  TRealTable* Source(int filter_id, int* source_filter_id, const char* log_name);
};
