// The join table's object: construction, names, the column lookups and the table interface. The
// vtable is emitted here, in the join layer, so that only this layer and those above construct
// joins; the table layer keeps the accessors it reads (database/TJoinTableBase.cpp).
#include "join/TJoinTable.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"

namespace {

// The leading entries >= 1 of a key list, at most kMaxKeys.
int CountKeys(const int* keys) {
  int n = 0;
  while (keys != nullptr && n < TJoinTable::kMaxKeys && keys[n] >= 1) ++n;
  return n;
}

// A side this large is copied on the worker pool: its fresh pages are then cleared by the kernel
// on every worker at once instead of on the calling thread alone.
bool LargeCopy(int elements) { return elements >= (1 << 18); }

}  // namespace

TJoinTable::TJoinTable(int id, char* name, int outer, int master_table, int master_set, int* master_keys,
                       int slave_table, int slave_set, int* slave_keys, TTableCollection* tables,
                       MasterRows master_rows) {
  FOuter = outer != 0 ? 1 : 0;
  if (tables == nullptr) tables = CSmpEngine::Instance()->Database();
  if (tables == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_MASTER_TABLE);
  char unique[kNameSize];
  if (tables->GenTableName(name, unique) < 0) throw CQ7Exception(Q7_ERROR_TABLE_NAME_GENERATION);
  try {
    const int n_master = CountKeys(master_keys);
    const int n_slave = CountKeys(slave_keys);
    if (n_master == 0 || n_master != n_slave) throw CQ7Exception(Q7_ERROR_INVALID_KEY_PARAMETER);
    FnKey = n_master;

    // The entries grow with the set-ID list and always cover its capacity.
    const int capacity = (FSetCapacity / kSetSlotStep + 1) * kSetSlotStep;
    FEntries = static_cast<JoinSetEntry*>(zpk_malloc(sizeof(JoinSetEntry) * capacity));
    memset(FEntries, 0, sizeof(JoinSetEntry) * capacity);
    GrowSetIDs(capacity);

    FTableID = id;
    memcpy(FTableName, unique, sizeof FTableName);
    RegNewSet(0);

    FMasterTableID = master_table;
    FMasterSetID = master_set;
    // With more pairs the combined key columns are built over set 1's copied rows.
    const bool copy_master_rows = master_rows == MasterRows::kCopied || FnKey != 1;
    FMasterTable = BindSide(tables, 0, master_table, &FMasterSetID, master_keys, FMasterColumns,
                            &FnMasterColumn, copy_master_rows);
    FSlaveTableID = slave_table;
    FSlaveSetID = slave_set;
    FSlaveTable =
        BindSide(tables, 1, slave_table, &FSlaveSetID, slave_keys, FSlaveColumns, &FnSlaveColumn, true);
  } catch (...) {
    Release();
    throw;
  }
}

namespace {

// A copy of a source set for set 1, on the pool when large; failing, the side's set code.
TSetArray* CopySourceSet(TSetArray* rows, int no_set) {
  try {
    return static_cast<TSetArray*>(LargeCopy(rows->FArraySize) ? rows->MppCopyArray() : rows->CopyArray());
  } catch (...) {
    TJoinTable::FailSetCopy(no_set);
  }
}

}  // namespace

void TJoinTable::FailSetCopy(int set_code) {
  try {
    throw;
  } catch (const CQ7Exception& e) {
    if (e.ErrorCode() == Q7_ERROR_OUT_OF_MEMORY)
      PutErrorLog("AddJoinTable", Q7_ERROR_OUT_OF_MEMORY, kOutOfMemoryText);
  } catch (const std::bad_alloc&) {
    PutErrorLog("AddJoinTable", Q7_ERROR_OUT_OF_MEMORY, kOutOfMemoryText);
  }
  throw CQ7Exception(set_code);
}

TRealTable* TJoinTable::BindSide(TTableCollection* tables, int side, int table_id, int* set_id,
                                 const int* keys, int* columns, int* n_columns, bool copy_rows) {
  const bool master = side == 0;
  TBaseTable* found = tables->GetTable(table_id);
  if (found == nullptr || found->GetType() != kTypeReal) {
    throw CQ7Exception(master ? Q7_ERROR_ILLEGAL_MASTER_TABLE : Q7_ERROR_ILLEGAL_SLAVE_TABLE);
  }
  auto* table = static_cast<TRealTable*>(found);
  // Key copies and set copies must see the values that the pending lists hold.
  table->CheckMergeFilterTVL(false);
  if (*set_id < 0) *set_id = table->GetCurrentSetID();

  int32_t* key_ids = master ? FMasterKeys : FSlaveKeys;
  if (FnKey == 1) {
    key_ids[0] = keys[0];
    TFilter* key = table->GetFilter(keys[0]);
    if (key == nullptr)
      throw CQ7Exception(master ? Q7_ERROR_NO_MASTER_KEY_FILTER : Q7_ERROR_NO_SLAVE_KEY_FILTER);
    TFilter* copy = key->CopyFilter(master ? kMasterKeyCopyID : kSlaveKeyCopyID, key->FFilterName,
                                    LargeCopy(key->PV != nullptr ? key->PV->FArraySize : 0));
    (master ? FMasterKeyFilter : FSlaveKeyFilter) = copy;
  } else {
    memcpy(key_ids, keys, sizeof(int32_t) * FnKey);
    for (int k = 0; k < FnKey; ++k) {
      if (table->GetFilter(keys[k]) == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_KEY_PARAMETER);
    }
  }

  *n_columns = table->GetFilterIDList(columns);

  const int no_set = master ? Q7_ERROR_NO_JOIN_SET : Q7_ERROR_NO_SLAVE_SET;
  TSetArray* rows = table->GetSet(*set_id);
  if (rows == nullptr) throw CQ7Exception(no_set);
  if (copy_rows) {
    FEntries[0].rows[side] = CopySourceSet(rows, no_set);
  } else {
    FMasterRowsSource = rows;
  }
  return table;
}

void TJoinTable::CopyPendingMasterRows() {
  TSetArray* source = FMasterRowsSource;
  if (source == nullptr) return;
  FMasterRowsSource = nullptr;
  FEntries[0].rows[0] = CopySourceSet(source, Q7_ERROR_NO_JOIN_SET);
}

void TJoinTable::FreeEntrySets(JoinSetEntry* entry) {
  for (int s = 0; s < 2; ++s) {
    delete entry->rows[s];
    delete entry->projection[s];
    delete entry->second[s];
    entry->rows[s] = entry->projection[s] = entry->second[s] = nullptr;
  }
}

void TJoinTable::Release() {
  if (FEntries != nullptr) {
    // Master-side sets of every set first, then the slave side's.
    for (int s = 0; s < 2; ++s) {
      for (int i = 0; i < FnSet; ++i) {
        JoinSetEntry& e = FEntries[i];
        delete e.rows[s];
        delete e.projection[s];
        delete e.second[s];
        e.rows[s] = e.projection[s] = e.second[s] = nullptr;
      }
    }
    zpk_free(FEntries);
    FEntries = nullptr;
  }
  zpk_free(FSetIDs);
  FSetIDs = nullptr;
  FnSet = 0;
  FSetCapacity = 0;
  // Each key filter holds its own count on a shared value list, so the list goes with the second.
  delete FMasterKeyFilter;
  FMasterKeyFilter = nullptr;
  delete FSlaveKeyFilter;
  FSlaveKeyFilter = nullptr;
  zpk_free(FColumnNames);
  FColumnNames = nullptr;
}

TJoinTable::~TJoinTable() { Release(); }

// ---- Names ----

int TJoinTable::AssignJoinFilterNames() {
  zpk_free(FColumnNames);
  FColumnNames = nullptr;
  const int n = FnMasterColumn + FnSlaveColumn;
  if (n < 1) return 0;
  try {
    if (FMasterTable == nullptr || FSlaveTable == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    FColumnNames = static_cast<char*>(zpk_malloc(static_cast<size_t>(n) * kNameSize));
    memset(FColumnNames, 0, static_cast<size_t>(n) * kNameSize);
    for (int k = 0; k < n; ++k) {
      const bool master = k < FnMasterColumn;
      TRealTable* table = master ? FMasterTable : FSlaveTable;
      TFilter* filter = table->GetFilter(master ? FMasterColumns[k] : FSlaveColumns[k - FnMasterColumn]);
      if (filter == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
      char seed[kNameSize];
      qz7_strlcpy(seed, filter->FFilterName, kNameSize);
      if (GenFilterName(seed, FColumnNames + static_cast<size_t>(k) * kNameSize) < 0) {
        throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
      }
    }
  } catch (...) {
    zpk_free(FColumnNames);
    FColumnNames = nullptr;
    throw;
  }
  return 0;
}

int TJoinTable::GenFilterName(char* seed, char* out) {
  char base[kNameSize];
  if (verifySeedName(seed, base, TTableCollection::m_nDisableTrimUntilSharp != 0) == 0) {
    PutErrorLog("GenFilterName", Q7_ERROR_ILLEGAL_FILTER_NAME,
                getString("Invalid Parameter : SeedName(%s)", seed));
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  // Room for the longest candidate: a 255-byte seed, "_#" and ten digits.
  char candidate[kNameSize + 16];
  snprintf(candidate, sizeof candidate, "%s", base);
  if (FColumnNames != nullptr) {
    const int n = FnMasterColumn + FnSlaveColumn;
    auto taken = [&] {
      for (int k = 0; k < n; ++k) {
        if (strncmp(FColumnNames + static_cast<size_t>(k) * kNameSize, candidate, kNameSize) == 0)
          return true;
      }
      return false;
    };
    for (int k = 1; taken(); ++k) snprintf(candidate, sizeof candidate, "%s_#%d", base, k);
  }
  if (strlen(candidate) >= static_cast<size_t>(kNameSize)) {
    PutErrorLog("GenFilterName", Q7_ERROR_ILLEGAL_FILTER_NAME,
                getString("Invalid Parameter : GenName(%s)", candidate));
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  memcpy(out, candidate, strlen(candidate) + 1);
  return 0;
}

// ---- Kind and columns ----

int TJoinTable::GetNFilter() { return FnMasterColumn + FnSlaveColumn; }

int TJoinTable::TotalRecs() {
  // Set 1 sits at position 0 for the join's whole life; a record read without it has no rows.
  if (FnSet < 1 || FEntries == nullptr || FSetIDs[0] != 1) return 0;
  return FEntries[0].size;
}

TRealTable* TJoinTable::Source(int filter_id, int* source_filter_id, const char* log_name) {
  if (filter_id < 1 || filter_id > FnMasterColumn + FnSlaveColumn) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  if (filter_id <= FnMasterColumn) {
    *source_filter_id = FMasterColumns[filter_id - 1];
    return FMasterTable;
  }
  *source_filter_id = FSlaveColumns[filter_id - 1 - FnMasterColumn];
  return FSlaveTable;
}

TFilter* TJoinTable::GetFilter(int filter_id) {
  int source_id = 0;
  TRealTable* table = Source(filter_id, &source_id, "GetFilter");
  return table != nullptr ? table->GetFilter(source_id) : nullptr;
}

int TJoinTable::GetFilterIDList(int* out) {
  const int n = FnMasterColumn + FnSlaveColumn;
  for (int i = 0; i < n; ++i) out[i] = i + 1;
  return n;
}

char* TJoinTable::FilterID2Name(int filter_id, char* table_name, char* filter_name) {
  int source_id = 0;
  TRealTable* table = Source(filter_id, &source_id, "FilterID2Name");
  TFilter* filter = table != nullptr ? table->GetFilter(source_id) : nullptr;
  if (filter == nullptr) {
    PutErrorLog("FilterID2Name", Q7_ERROR_NO_SUCH_FILTER, "No Filter");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  qz7_strlcpy(table_name, table->FTableName, kNameSize);
  qz7_strlcpy(filter_name, filter->FFilterName, TFilter::kNameSize);
  return filter_name;
}

int TJoinTable::GetFilterIDFromName(char* name, int side) {
  TRealTable* table = side == 0 ? FMasterTable : FSlaveTable;
  if (table == nullptr) {
    PutErrorLog("GetFilterIDFromName", Q7_ERROR_NO_SUCH_TABLE,
                side == 0 ? "No Real Table (master)" : "No Real Table (slave)");
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  return table->GetFilterIDFromName(name, 0);
}

int64_t TJoinTable::GetMemSize() {
  int64_t bytes = sizeof(TJoinTable) + int64_t{60} * FSetCapacity;
  if (FColumnNames != nullptr) bytes += int64_t{kNameSize} * (FnMasterColumn + FnSlaveColumn);
  for (int i = 0; FEntries != nullptr && i < FnSet; ++i) {
    const JoinSetEntry& e = FEntries[i];
    for (int s = 0; s < 2; ++s) {
      for (const TSetArray* set : {e.rows[s], e.projection[s], e.second[s]}) {
        if (set != nullptr) bytes += set->GetMemSize();
      }
    }
  }
  // A value list the slave key borrows from the master key counts once (TFilter::GetMemSize).
  if (FMasterKeyFilter != nullptr) bytes += FMasterKeyFilter->GetMemSize();
  if (FSlaveKeyFilter != nullptr) bytes += FSlaveKeyFilter->GetMemSize();
  return bytes;
}

int TJoinTable::JFilterID2Pos(int id, int* side) {
  if (id >= 1 && id <= FnMasterColumn) {
    *side = 0;
    return id - 1;
  }
  if (id > FnMasterColumn && id <= FnMasterColumn + FnSlaveColumn) {
    *side = 1;
    return id - 1 - FnMasterColumn;
  }
  *side = -1;
  PutErrorLog("JFilterID2Pos", Q7_ERROR_ILLEGAL_FILTER, NoSuchFilterText(id));
  return Q7_ERROR_ILLEGAL_FILTER;
}

int TJoinTable::GetFilterSide(int id) {
  if (id >= 1 && id <= FnMasterColumn) return 0;
  if (id > FnMasterColumn && id <= FnMasterColumn + FnSlaveColumn) return 1;
  return Q7_ERROR_NO_SUCH_FILTER;
}

int TJoinTable::OppositeSide(int side) {
  if (side == 0) return 1;
  if (side == 1) return 0;
  throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TARGET);
}

int TJoinTable::JFilterName2Pos(char* name) {
  if (FColumnNames == nullptr || name == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  const int n = FnMasterColumn + FnSlaveColumn;
  for (int k = 0; k < n; ++k) {
    if (strncmp(FColumnNames + static_cast<size_t>(k) * kNameSize, name, kNameSize) == 0) return k;
  }
  return Q7_ERROR_NO_SUCH_FILTER;
}

int TJoinTable::GetJoinFilterIDFromName(char* name) {
  const int pos = JFilterName2Pos(name);
  return pos < 0 ? pos : pos + 1;
}

int TJoinTable::GetJoinSrcFltID(int id, int* table) {
  if (id < 1 || id > FnMasterColumn + FnSlaveColumn) {
    PutErrorLog("GetJoinSrcFltID", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  if (id <= FnMasterColumn) {
    *table = FMasterTableID;
    return FMasterColumns[id - 1];
  }
  *table = FSlaveTableID;
  return FSlaveColumns[id - 1 - FnMasterColumn];
}

int TJoinTable::GetJoinSrcInfo(int** ids, int** tables, int** filters) {
  memset(FAnsIDs, 0, sizeof FAnsIDs);
  memset(FAnsTables, 0, sizeof FAnsTables);
  memset(FAnsFilters, 0, sizeof FAnsFilters);
  const int n = FnMasterColumn + FnSlaveColumn;
  for (int k = 1; k <= n; ++k) {
    FAnsIDs[k - 1] = k;
    FAnsFilters[k - 1] = GetJoinSrcFltID(k, &FAnsTables[k - 1]);
  }
  *ids = FAnsIDs;
  *tables = FAnsTables;
  *filters = FAnsFilters;
  return n;
}

int TJoinTable::GetSlaveInfo(int* master_table, int* master_set, int* slave_table, int* slave_set,
                             int* n_slave_cols, int** slave_cols) {
  *master_table = FMasterTableID;
  *master_set = FMasterSetID;
  *slave_table = FSlaveTableID;
  *slave_set = FSlaveSetID;
  *n_slave_cols = FnSlaveColumn;
  *slave_cols = FSlaveColumns;
  return 0;
}
