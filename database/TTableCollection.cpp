// The database: its tables in ascending ID order, adding, finding, naming and deleting them.
#include "database/TTableCollection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <unordered_set>
#include <vector>

#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "values/CompileSettings.h"
#include "values/TBaseArray.h"

int& TTableCollection::m_nCutLastSpace = g_cut_last_space;
int TTableCollection::m_nDisableTrimUntilSharp = 0;
uint8_t TTableCollection::m_chRTBLIndex = 0;
uint8_t TTableCollection::m_chJTBIndex = 0;
uint8_t TTableCollection::m_chJTORTBLIndex = 0;
uint8_t TTableCollection::m_chFTRIndex = 0;

TTableCollection::TTableCollection()
    : FTblIDIssued(0),
      FAllReal(0),
      FTblMemBuf(nullptr),
      FDBPath{},
      FDBName{},
      FnTable(0),
      FTables{},
      FUseSavedHeader(0),
      FSavedVersions{},
      FSavedHeader{} {}

TTableCollection::~TTableCollection() {
  for (int i = FnTable - 1; i >= 0; --i) {
    Free(FTables[i]);
    FTables[i] = nullptr;
  }
  FnTable = 0;
  zpk_free(FTblMemBuf);
  FTblMemBuf = nullptr;
}

// ---- Finding tables ----

int TTableCollection::ID2Loc(int table_id) const {
  int lo = 0;
  int hi = FnTable - 1;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int id = FTables[mid]->FTableID;
    if (id == table_id) return mid;
    if (id < table_id) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return Q7_ERROR_NO_SUCH_TABLE;
}

TBaseTable* TTableCollection::GetTable(int table_id) {
  const int pos = ID2Loc(table_id);
  if (pos >= 0) return FTables[pos];
  PutErrorLog("GetTable", Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id));
  return nullptr;
}

int TTableCollection::Name2Loc(const char* name) const {
  for (int i = 0; i < FnTable; ++i) {
    if (strcmp(FTables[i]->FTableName, name) == 0) return i;
  }
  return Q7_ERROR_NO_SUCH_TABLE;
}

bool TTableCollection::NameTaken(const char* name) const { return Name2Loc(name) >= 0; }

int TTableCollection::GetTableIDFromName(char* name) {
  const int pos = Name2Loc(name);
  if (pos >= 0) return FTables[pos]->FTableID;
  PutErrorLog("GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "No Table");
  return Q7_ERROR_NO_SUCH_TABLE;
}

int TTableCollection::GetTableIDList(int* out) const {
  for (int i = 0; i < FnTable; ++i) out[i] = FTables[i]->FTableID;
  return FnTable;
}

// ---- Building and removing tables ----

int TTableCollection::IssueTableID() {
  // A wrapped ID would be negative and break the ascending order that lookups rely on.
  if (FTblIDIssued >= INT32_MAX) throw CQ7Exception(Q7_ERROR_TABLE_COUNT_OVERFLOW, "TableID overflow");
  return ++FTblIDIssued;
}

void TTableCollection::AppendTable(TBaseTable* table) {
  FTables[FnTable++] = table;
  if (table->GetType() == TBaseTable::kTypeReal) static_cast<TRealTable*>(table)->SetCollection(this);
}

int TTableCollection::AddRealTable(char* name, int row_count) {
  if (Full()) {
    PutErrorLog("AddRealTable", Q7_ERROR_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_TABLE_COUNT_OVERFLOW;
  }
  if (row_count < 0) {
    PutErrorLog("AddRealTable", Q7_ERROR_ROW_SIZE_OVERFLOW,
                getString("Invalid Parameter : RowCount(%d)", row_count));
    return Q7_ERROR_ROW_SIZE_OVERFLOW;
  }
  if (!ToFileName(name)) {
    PutErrorLog("AddRealTable", Q7_ERROR_ILLEGAL_TABLE_NAME,
                getString("Invalid Parameter : TblName(%s)", name));
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  const int id = IssueTableID();
  auto* table = new (std::nothrow) TRealTable(id, name, row_count, this);
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  AppendTable(table);
  return id;
}

int TTableCollection::DelTable(int table_id) {
  const int pos = ID2Loc(table_id);
  if (pos < 0) {
    PutErrorLog("DelTable", Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  std::vector<int> dependents(static_cast<size_t>(FnTable));
  // Only a real table can have dependents; a join is not asked, so that deleting one leaves no
  // "Not REAL" refusal in the ring.
  if (FTables[pos]->GetType() == TBaseTable::kTypeReal && ReferedIDList(table_id, dependents.data()) > 0) {
    PutErrorLog("DelTable", Q7_ERROR_NOT_EDITABLE, "Failed to refere table");
    return Q7_ERROR_NOT_EDITABLE;
  }
  delete FTables[pos];
  memmove(FTables + pos, FTables + pos + 1, sizeof(TBaseTable*) * static_cast<size_t>(FnTable - pos - 1));
  FTables[--FnTable] = nullptr;
  // An empty database may stay so for long: its freed columns must not stay resident meanwhile.
  if (FnTable == 0) zpk_release_memory();
  return 0;
}

// ---- Names ----

int TTableCollection::GenTableName(const char* seed, char* out) {
  char base[TBaseTable::kNameSize];
  if (verifySeedName(seed, base, m_nDisableTrimUntilSharp != 0) == 0) {
    PutErrorLog("GenTableName", Q7_ERROR_ILLEGAL_TABLE_NAME, "Invalid Parameter : SeedName");
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  // Room for a 255-byte seed, "_#" and ten digits.
  char candidate[TBaseTable::kNameSize + 16];
  snprintf(candidate, sizeof candidate, "%s", base);
  for (int n = 1; NameTaken(candidate); ++n) snprintf(candidate, sizeof candidate, "%s_#%d", base, n);
  const size_t length = strlen(candidate);
  if (length >= static_cast<size_t>(TBaseTable::kNameSize)) {
    PutErrorLog("GenTableName", Q7_ERROR_ILLEGAL_TABLE_NAME, "Failed to get tablename");
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  memcpy(out, candidate, length + 1);
  return 0;
}

int TTableCollection::CheckTableName(const char* name) {
  bool ok = strlen(name) < static_cast<size_t>(TBaseTable::kNameSize);
  if (ok) {
    char copy[TBaseTable::kNameSize];
    char unique[TBaseTable::kNameSize];
    memcpy(copy, name, strlen(name) + 1);
    ok = ToFileName(copy) && GenTableName(copy, unique) == 0;
  }
  if (ok) return 0;
  PutErrorLog("CheckTableName", Q7_ERROR_ILLEGAL_TABLE_NAME, getString("Illegal table name  : %s", name));
  return Q7_ERROR_ILLEGAL_TABLE_NAME;
}

int TTableCollection::SetTableName(int table_id, const char* name) {
  const size_t length = strlen(name);
  if (length >= static_cast<size_t>(TBaseTable::kNameSize)) {
    PutErrorLog("SetTableName", Q7_ERROR_ILLEGAL_TABLE_NAME,
                getString("Invalid Parameter : TableName len(%d)", static_cast<int>(length)));
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  char copy[TBaseTable::kNameSize];
  memcpy(copy, name, length + 1);
  if (!ToFileName(copy)) {
    PutErrorLog("SetTableName", Q7_ERROR_ILLEGAL_TABLE_NAME,
                getString("Invalid Parameter : TableName(%s)", copy));
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  const int holder = Name2Loc(copy);
  if (holder >= 0 && FTables[holder]->FTableID == table_id) return 0;
  char unique[TBaseTable::kNameSize];
  if (GenTableName(copy, unique) < 0) {
    PutErrorLog("SetTableName", Q7_ERROR_ILLEGAL_TABLE_NAME,
                getString("Invalid Parameter : TableName(%s)", copy));
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  const int pos = ID2Loc(table_id);
  if (pos < 0) {
    PutErrorLog("SetTableName", Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  memcpy(FTables[pos]->FTableName, unique, strlen(unique) + 1);
  return 0;
}

// ---- Dependencies ----

int TTableCollection::ReferedIDList(int table_id, int* out) {
  const int pos = ID2Loc(table_id);
  if (pos < 0) {
    PutErrorLog("ReferedIDList", Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  if (FTables[pos]->GetType() != TBaseTable::kTypeReal) {
    PutErrorLog("ReferedIDList", Q7_ERROR_NOT_REAL_TABLE, "Illegal table type ( Not REAL )");
    return Q7_ERROR_NOT_REAL_TABLE;
  }
  auto* table = static_cast<TRealTable*>(FTables[pos]);
  std::unordered_set<const void*> lists;
  for (int i = 0; i < table->FnFilter; ++i) {
    if (table->FFilters[i]->VL != nullptr) lists.insert(table->FFilters[i]->VL);
  }

  // Only later tables can have been built over this one.
  int found = 0;
  for (int p = pos + 1; p < FnTable; ++p) {
    TBaseTable* other = FTables[p];
    bool depends = false;
    if (other->GetType() == TBaseTable::kTypeJoin) {
      auto* join = static_cast<TJoinTableBase*>(other);
      depends = join->FMasterTableID == table_id || join->FSlaveTableID == table_id;
    } else if (other->GetType() == TBaseTable::kTypeReal) {
      auto* real = static_cast<TRealTable*>(other);
      for (int i = 0; i < real->FnFilter && !depends; ++i) depends = lists.count(real->FFilters[i]->VL) != 0;
    }
    if (depends) out[found++] = other->FTableID;
  }
  return found;
}

int TTableCollection::SetMaxJoinChain(int length) {
  // Any call, refused or not, moves the limit: a refusal leaves the longest chain allowed.
  const bool valid = length >= kMinJoinChain && length <= kMaxJoinChain;
  m_nMaxJoinChain = valid ? length : kMaxJoinChain;
  if (valid) return 0;
  PutErrorLog("SetMaxJoinChain", Q7_ERROR_INVALID_PARAMETER,
              getString("Invalid Parameter : MaxJoinChain(%d)", length));
  return Q7_ERROR_INVALID_PARAMETER;
}

bool TTableCollection::IsReferred(int table_id) {
  if (ID2Loc(table_id) < 0) return false;
  std::vector<int> dependents(static_cast<size_t>(FnTable));
  return ReferedIDList(table_id, dependents.data()) > 0;
}

bool TTableCollection::IsEditable(int table_id) {
  const int pos = ID2Loc(table_id);
  if (pos < 0 || FTables[pos]->GetType() != TBaseTable::kTypeReal) return false;
  std::vector<int> dependents(static_cast<size_t>(FnTable));
  return ReferedIDList(table_id, dependents.data()) == 0;
}

bool TTableCollection::IsJoinExist() {
  for (int i = 0; i < FnTable; ++i) {
    if (FTables[i]->GetTableKind() == TBaseTable::kTypeJoin) return true;
  }
  return false;
}

bool TTableCollection::NumericUsedCheck(int table_id) {
  std::vector<int> ids(2 * TRealTable::kMaxFilters);
  for (int p = 0; p < FnTable; ++p) {
    TBaseTable* table = FTables[p];
    if (table_id != 0 && table->FTableID != table_id) continue;
    const int n = table->GetFilterIDList(ids.data());
    for (int i = 0; i < n; ++i) {
      TFilter* filter = table->GetFilter(ids[i]);
      if (filter != nullptr && filter->VL != nullptr && filter->VL->GetDataType() == Q7_TYPE_DECIMAL)
        return true;
    }
  }
  return false;
}

// ---- Whole database ----

int64_t TTableCollection::GetTotalMemorySize() {
  int64_t total = sizeof(TTableCollection);
  for (int i = 0; i < FnTable; ++i) total += FTables[i]->GetMemSize();
  return total;
}

void TTableCollection::LoadComplete(int from) {
  // One join that cannot be completed must not leave the joins after it unresolved: the first
  // failure is passed on once every join has had its turn.
  std::exception_ptr first_failure;
  for (int i = std::max(from, 0); i < FnTable; ++i) {
    if (FTables[i]->GetType() != TBaseTable::kTypeJoin) continue;
    try {
      static_cast<TJoinTableBase*>(FTables[i])->LoadComplete(this);
    } catch (...) {
      if (!first_failure) first_failure = std::current_exception();
    }
  }
  if (first_failure) std::rethrow_exception(first_failure);
}

void TTableCollection::GetPathName(char* dir, char* name) const {
  memcpy(dir, FDBPath, sizeof FDBPath);
  memcpy(name, FDBName, sizeof FDBName);
}
