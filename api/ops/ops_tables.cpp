// Table operations: creating, loading, saving, deleting and renaming tables.
#include "api/ops/ops_tables.h"

#include <cstddef>
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_jba.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "join/TJoinTable.h"

static_assert(offsetof(_TTableInfo, tableID) == 0);
static_assert(offsetof(_TTableInfo, kind) == 4);
static_assert(offsetof(_TTableInfo, nFilter) == 8);
static_assert(offsetof(_TTableInfo, nSet) == 12);
static_assert(offsetof(_TTableInfo, totalRecs) == 16);
static_assert(offsetof(_TTableInfo, name) == 20);
static_assert(sizeof(_TTableInfo) == 276);

char* TableNameArgument(const char* name, const char* prefix, char* buffer) {
  CheckTableNameLength(name);
  if (name != nullptr && name[0] != '\0') {
    memcpy(buffer, name, strlen(name) + 1);
    return buffer;
  }
  return MakeGeneratedName(prefix, 1, buffer);
}

namespace {

int g_referring_tables[TTableCollection::kMaxTables];
char g_join_name[TBaseTable::kNameSize];

template <class... Outputs>
void CheckOutputs(const char* what, Outputs*... outputs) {
  (CheckHostPointer(outputs, what), ...);
}

}  // namespace

int innerQ7AddRealTable(const char* name, int rows) {
  constexpr char kRing[] = "Q7AddRealTable";
  return RunOp(kRing, [&] {
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kRealTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    const int id = CheckInner(kRing, db->AddRealTable(table_name, rows),
                              "Failed to add realtable ( AddRealTable module )");
    MarkTablesChanged();
    return id;
  });
}

int LoadRealTableAs(const char* ring, const char* directory, const char* file_name,
                    const char* failure_text) {
  return RunOp(ring, [&] {
    char dir_buffer[kHostPathSize];
    char file_buffer[kHostPathSize];
    CopyHostText(dir_buffer, directory, "TablePath");
    CopyHostText(file_buffer, file_name, "TableName");
    return CheckInner(ring, RequireDatabase(ring)->LoadRealTable(dir_buffer, file_buffer), failure_text);
  });
}

int innerQ7LoadRealTable(const char* directory, const char* file_name) {
  return ChangedOnSuccess(Changes::kTables,
                          LoadRealTableAs("Q7LoadRealTable", directory, file_name,
                                          "Failed to load realtable ( LoadRealTable module )"));
}

int SaveRealTableFile(const char* ring, const char* message, const char* directory, const char* file_name,
                      int table_id, int version) {
  return RunOp(ring, [&] {
    char dir_buffer[kHostPathSize];
    char file_buffer[kHostPathSize];
    CopyHostText(dir_buffer, directory, "TablePath");
    if (file_name != nullptr) CopyHostText(file_buffer, file_name, "TableName");
    TTableCollection* db = RequireDatabase(ring);
    UseFileVersion(db, version);
    const int result = file_name == nullptr ? db->SaveRealTable(dir_buffer, table_id)
                                            : db->SaveRealTableAs(dir_buffer, file_buffer, table_id);
    return CheckInner(ring, result, message);
  });
}

int innerQ7SaveRealTable(const char* directory, int table_id) {
  return SaveRealTableFile("Q7SaveRealTable", "Failed to save realtable ( SaveRealTable module )", directory,
                           nullptr, table_id, 0);
}

int innerQ7SaveRealTableAs(const char* directory, const char* file_name, int table_id) {
  return SaveRealTableFile("Q7SaveRealTableAs", "Failed to save realtable ( SaveRealTableAs module )",
                           directory, file_name != nullptr ? file_name : "", table_id, 0);
}

int innerQ7DeleteTable(int table_id) {
  constexpr char kRing[] = "Q7DeleteTable";
  return RunOp(kRing, [&] {
    const int result = RequireDatabase(kRing)->DelTable(table_id);
    // A block reader left on the table would point into freed columns (a reader owns only its
    // buffers, so it goes after the table).
    if (result == 0) PurgeJBAsOfTable(table_id);
    if (result == Q7_ERROR_NO_SUCH_TABLE) Refuse(kRing, result, result, "table not exist");
    if (result == Q7_ERROR_NOT_EDITABLE) Refuse(kRing, result, result, "may be reffered by other table!");
    CheckInner(kRing, result, "");
    MarkTablesChanged();
    return 0;
  });
}

int innerQ7GetTableName(int table_id, char* out) {
  constexpr char kRing[] = "Q7GetTableName";
  return RunOp(kRing, [&] {
    CheckHostPointer(out, "TableName");
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    qz7_strlcpy(out, table->FTableName, TBaseTable::kNameSize);
    return 0;
  });
}

int innerQ7SetTableName(int table_id, const char* name) {
  constexpr char kRing[] = "Q7SetTableName";
  return ChangedOnSuccess(Changes::kTables, RunOp(kRing, [&] {
                            TBaseTable* table = FindTable(kRing, table_id);
                            if (IsSharedTable(table)) {
                              Refuse(kRing, Q7_ERROR_SHARED_READ_ONLY, Q7_ERROR_SHARED_READ_ONLY,
                                     "Invalid Shared memory read Oparation");
                            }
                            return RequireDatabase(kRing)->SetTableName(table_id,
                                                                        name != nullptr ? name : "");
                          }));
}

int innerQ7GetTableProperty(int table_id, _TTableInfo* info) {
  constexpr char kRing[] = "Q7GetTableProperty";
  return RunOp(kRing, [&] {
    CheckHostPointer(info, "TableInfo");
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    _TTableInfo filled{};
    filled.tableID = table->FTableID;
    filled.kind = table->GetTableKind();
    filled.nFilter = table->GetNFilter();
    filled.nSet = table->FnSet;
    filled.totalRecs = table->TotalRecs();
    qz7_strlcpy(filled.name, table->FTableName, sizeof filled.name);
    *info = filled;
    return 0;
  });
}

int innerQ7TableCanEdit(int table_id, int** ids) {
  constexpr char kRing[] = "Q7TableCanEdit";
  if (ids != nullptr) *ids = g_referring_tables;
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    RefuseShared(table);
    RequireReal(kRing, table, "Illegal table type ( Not REAL )");
    return CheckInner(kRing, RequireDatabase(kRing)->ReferedIDList(table_id, g_referring_tables));
  });
}

int innerQ7CondenseRealTable(int table_id) {
  constexpr char kRing[] = "Q7CondenseRealTable";
  return RunOp(kRing, [&] {
    RequireDatabase(kRing);
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    const int referring = innerQ7TableCanEdit(table_id, nullptr);
    if (referring < 0) throw CQ7Exception(referring);
    if (referring > 0)
      Refuse(kRing, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", table_id);
    auto* real = static_cast<TRealTable*>(table);  // TableCanEdit accepts real tables only
    real->CheckMergeFilterTVL(true);
    const int result = CheckInner(kRing, real->CondenseTable(), "");
    MarkTablesChanged();
    return result;
  });
}

int innerQ7GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                       int* slave_table, int* slave_set, int* slave_key) {
  constexpr char kRing[] = "Q7GetJoinInfo";
  return RunOp(kRing, [&] {
    CheckOutputs("JoinInfo", name, master_table, master_set, master_key, slave_table, slave_set, slave_key);
    TJoinTable* join = FindJoinTable(kRing, table_id, MissEntry::kTrailingBlank);
    return join->GetJoinInfo(name, master_table, master_set, master_key, slave_table, slave_set, slave_key);
  });
}

int innerQ7GetJoinInfoEx(int table_id, char** name, int* outer, int* key_count, int* master_table,
                         int* master_set, int* master_keys, int* slave_table, int* slave_set,
                         int* slave_keys) {
  constexpr char kRing[] = "Q7GetJoinInfoEx";
  return RunOp(kRing, [&] {
    CheckOutputs("JoinInfo", name, outer, key_count, master_table, master_set, master_keys, slave_table,
                 slave_set, slave_keys);
    TJoinTable* join = FindJoinTable(kRing, table_id, MissEntry::kTrailingBlank);
    const int result = join->GetJoinInfo(g_join_name, master_table, master_set, master_keys, slave_table,
                                         slave_set, slave_keys);
    *name = g_join_name;
    *outer = join->FOuter;
    const int keys =
        join->FnKey < 0 ? 0 : (join->FnKey > TJoinTable::kMaxKeys ? TJoinTable::kMaxKeys : join->FnKey);
    *key_count = keys;
    memcpy(master_keys, join->FMasterKeys, sizeof(int32_t) * keys);
    memcpy(slave_keys, join->FSlaveKeys, sizeof(int32_t) * keys);
    return result;
  });
}

// ---- The forms that copy into the host's buffers ----

namespace {

constexpr size_t kNameBufferSize = 256;  // the host's buffer for a table name, zero included

// A name the operation points at is copied into the host's buffer only after a success, cut to the
// buffer's size (names are at most 255 bytes, so nothing real is cut).
void CopyName(char* out, const char* name) {
  if (out == nullptr || name == nullptr) return;
  const size_t length = strnlen(name, kNameBufferSize - 1);
  memcpy(out, name, length);
  out[length] = '\0';
}

// A null out-argument of a call that would otherwise succeed and hand the host nothing: recorded
// under ring_name, and the call fails with Q7_ERROR_INVALID_PARAMETER without running.
int RefuseNullOutput(const char* ring_name, const char* what) {
  PutErrorLog(ring_name, Q7_ERROR_INVALID_PARAMETER, getString("Invalid Parameter : %s", what));
  return Q7_ERROR_INVALID_PARAMETER;
}

}  // namespace

int innerRQ7GenTableName(const char* seed, char* out) {
  if (out == nullptr) return RefuseNullOutput("RQ7GenTableName", "TableName");
  char* name = nullptr;
  const int result = innerQ7GenTableName(seed, &name);
  if (result >= 0) CopyName(out, name);
  return result;
}

int innerQ7GenTableNameForHost(const char* seed, char** out) {
  return out != nullptr ? innerQ7GenTableName(seed, out) : RefuseNullOutput("Q7GenTableName", "TableName");
}

int innerRQ7GetJoinInfoEx(int table_id, char* name, int* outer, int* key_count, int* master_table,
                          int* master_set, int* master_keys, int* slave_table, int* slave_set,
                          int* slave_keys) {
  char* engine_name = nullptr;
  const int result = innerQ7GetJoinInfoEx(table_id, &engine_name, outer, key_count, master_table, master_set,
                                          master_keys, slave_table, slave_set, slave_keys);
  if (result >= 0) CopyName(name, engine_name);
  return result;
}

// The engine keeps the list of referring tables; the host gets a copy of the IDs the result counts.
int innerRQ7TableCanEdit(int table_id, int* ids) {
  int* engine_ids = nullptr;
  const int result = innerQ7TableCanEdit(table_id, &engine_ids);
  if (result > 0 && ids != nullptr && engine_ids != nullptr) memcpy(ids, engine_ids, sizeof(int) * result);
  return result;
}

int innerQ7TableCanEditForHost(int table_id, int** ids) {
  return ids != nullptr ? innerQ7TableCanEdit(table_id, ids) : RefuseNullOutput("Q7TableCanEdit", "IDList");
}
