// A join table (table kind 2) as the table layer sees it: a virtual join of a master and a slave
// real table on 1 to 32 pairs of key filters, inner (only rows with a partner) or outer (every row
// whose key is not NULL, with or without a partner). Its columns are the master's filters (join
// column IDs 1..M) followed by the slave's (M+1..M+S); a join column is read through the source
// table's filter.
//
// The join stores no joined rows. Each join set (JoinSetEntry, one per set ID of the base's list,
// at the same position) holds for each side its records, a projection and the rows without a
// partner; joined row j is resolved to its master and slave record from those (DesolveJoinRecNo).
// Set 1 is the whole join: registered by the constructor (side 0, holding copies of the two
// source sets) and paired by SetupJoinFilters / MppSetupJoinFilters; it is never deleted.
//
// Layering: TJoinTableBase holds the fields and the few members that the table layer and the layers
// beside the join layer use (GetJoinInfo, LoadComplete, the kind); it, its vtable and its type
// information live in the table layer (database/TJoinTableBase.cpp), so code that only reads a
// join's description (a static_cast of a kind-2 table to TJoinTableBase) links without the join
// layer. TJoinTable, everything that builds and serves a join, is declared and defined in the join
// layer (join/TJoinTable.h): only that layer and those above it construct joins or include its
// declaration; the table layer names it only by a forward declaration.
//
// Ownership: the fields describe what a TJoinTable owns and frees (join/TJoinTable.h); this class's
// destructor frees none of them.
//
// Thread safety: none; under the API lock.
#pragma once

#include <cstdint>

#include "database/TBaseTable.h"

class TFilter;
class TRealTable;
class TSetArray;
class TTableCollection;

// One join set. The arrays are indexed by side (0 master, 1 slave): for a set of side d, rows[d]
// are the driving records and rows[1 - d] the partner records grouped by key value number;
// projection[d] holds each driving row's first joined row, projection[1 - d] the start of each key
// value's group (value count + 1 elements); second[s] the side-s rows without a partner. Record 0
// in a driving or partner list means "no record on this side" (NULL columns). All six owned; any
// may be null while the set is being built.
struct JoinSetEntry {
  int32_t size;  // joined rows, N
  int32_t side;  // join direction: 0 master-driven, 1 slave-driven
  TSetArray* rows[2];
  TSetArray* projection[2];
  TSetArray* second[2];
};

// The join as the table layer sees it: the fields, the kind, and the members that the collection,
// the real tables and the layers beside the join layer read (which tables, sets and key filters
// the join rests on, so that those are protected from deletion and change). Its vtable and type
// information are emitted in the table layer, so that code there and in the sibling layers may
// reach a join through this class without linking the join layer; the join itself is TJoinTable.
class TJoinTableBase : public TBaseTable {
 public:
  static constexpr int kMaxKeys = 32;
  static constexpr int kMaxColumns = 512;
  static constexpr int kMaxSets = 10000;
  // Filter IDs of the two key filter copies with one key pair, and of the combined key columns.
  static constexpr int kMasterKeyCopyID = 0;
  static constexpr int kSlaveKeyCopyID = 1;
  static constexpr int kMasterKeyID = 10000;  // "#MASTER"
  static constexpr int kSlaveKeyID = 10001;   // "#SLAVE"

  ~TJoinTableBase() override;

  int GetTableKind() override;  // 2
  int GetType() override;       // 2

  // The join's name, its master and slave table IDs and set IDs, and the first key filter ID of
  // each side. Returns 0.
  int GetJoinInfo(char* name, int* master_table, int* master_set, int* master_key, int* slave_table,
                  int* slave_set, int* slave_key);
  // The join's own name of column `id` (unique within the join, as AssignJoinFilterNames made it:
  // a slave column named like a master column gets "_#1"), the name every reader reports and
  // GetJoinFilterIDFromName finds again; null for an ID outside 1..M+S or when no names exist.
  char* GetJoinFilterName(int id);
  // Resolves the master and slave tables from their stored IDs (after a load); the join layer's
  // override completes the loaded record (TJoinTable::LoadComplete).
  virtual void LoadComplete(TTableCollection* tables);
  // What the text query (a layer beside the join layer) drives on a join: a column's ID and side,
  // registering a new set and pairing it; TJoinTable states them. These defaults, for a join
  // description without the join layer, throw Q7_ERROR_NOT_REAL_TABLE.
  virtual int GetJoinFilterIDFromName(char* name);
  virtual int JFilterID2Pos(int id, int* side);
  virtual int RegNewSet(int side);
  virtual void CutUnUse(int set_id);
  virtual void MppCutUnUse(int set_id);
  virtual void MakeJoin(int set_id);
  virtual void MppMakeJoin(int set_id);
  // Registers a new join set of `side` holding the two row sets (taken over, by side: master, slave),
  // cuts the rows without partner and pairs the rest (on the pool when `pool`), and returns its ID,
  // the new current set. On failure the new set is deleted, the set that was current before is
  // current again and the exception passes on; row sets not yet handed over are deleted.
  int RegisterPairedSet(int side, TSetArray* master_rows, TSetArray* slave_rows, bool pool);

  int32_t FOuter = 0;                   // 1 outer join, 0 inner
  int32_t FnKey = 0;                    // key pairs, 1..kMaxKeys
  int32_t FMasterKeys[kMaxKeys] = {};   // master key filter IDs; unused entries 0
  int32_t FSlaveKeys[kMaxKeys] = {};    // slave key filter IDs, paired by position
  TRealTable* FMasterTable = nullptr;   // not owned
  TRealTable* FSlaveTable = nullptr;    // not owned
  TFilter* FMasterKeyFilter = nullptr;  // owned: the master's join key column
  TFilter* FSlaveKeyFilter = nullptr;   // owned: the slave's
  char* FColumnNames = nullptr;         // owned: (M + S) x kNameSize unique column names, or null
  int32_t FMasterTableID = 0;
  int32_t FSlaveTableID = 0;
  int32_t FMasterSetID = 0;
  int32_t FSlaveSetID = 0;
  JoinSetEntry* FEntries = nullptr;          // owned: FSetCapacity entries, parallel to FSetIDs
  int32_t FnMasterColumn = 0;                // M
  int32_t FnSlaveColumn = 0;                 // S
  int32_t FMasterColumns[kMaxColumns] = {};  // the master's filter IDs at construction
  int32_t FSlaveColumns[kMaxColumns] = {};
  int32_t FAnsIDs[2 * kMaxColumns] = {};  // GetJoinSrcInfo's answers
  int32_t FAnsTables[2 * kMaxColumns] = {};
  int32_t FAnsFilters[2 * kMaxColumns] = {};
};
