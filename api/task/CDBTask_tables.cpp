// The task object's table services, and the checks its slots share before they change a table.
#include <cstdint>

#include "api/ops/OpCommon.h"
#include "api/task/CDBTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"

namespace {

// Referring-table IDs for callers that do not want them; the collection needs somewhere to write.
int g_unwanted_referrers[TTableCollection::kMaxTables];

}  // namespace

int CDBTask::AddRealTable(char* name, int rows) {
  return RunOp("RQ7AddRealTable", [&] {
    char validated[TBaseTable::kNameSize];
    if (!ValidateNames(name, validated, kRealTablePrefix, &TTableCollection::m_chRTBLIndex)) {
      throw CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME);
    }
    TTableCollection* db = RequireDatabase("RQ7AddRealTable");
    return CheckInner("RQ7AddRealTable", db->AddRealTable(validated, rows),
                      "Failed to add realtable ( AddRealTable module )");
  });
}

int CDBTask::GenerateTableName(char* seed, char* out) {
  return RunOp("Q7GenerateTableName", [&] {
    return CheckInner("Q7GenerateTableName", RequireDatabase("Q7GenerateTableName")->GenTableName(seed, out),
                      "");
  });
}

int CDBTask::GenTableName(char* seed, char* out) {
  return RunOp("Q7GenTableName", [&] { return RequireDatabase("Q7GenTableName")->GenTableName(seed, out); });
}

int CDBTask::DeleteTable(int table_id) {
  return RunOp("RQ7DeleteTable", [&] { return RequireDatabase("RQ7DeleteTable")->DelTable(table_id); });
}

int CDBTask::TableCanEdit(int table_id, int* referrers) {
  return RunOp("Q7TableCanEdit", [&] {
    TBaseTable* table = FindTable("Q7TableCanEdit", table_id);
    RefuseShared(table);
    RequireReal("Q7TableCanEdit", table, "Illegal table type ( Not REAL )", Q7_ERROR_NOT_REAL_TABLE);
    int* out = referrers != nullptr ? referrers : g_unwanted_referrers;
    return CheckInner("Q7TableCanEdit", CurrentDatabase()->ReferedIDList(table_id, out));
  });
}

int CanAppendFilters(int table_id) {
  constexpr char kLog[] = "CanAppendFilters";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id, MissEntry::kTrailingBlank);
    if (IsSharedTable(table)) {
      Refuse(kLog, Q7_ERROR_SHARED_READ_ONLY, Q7_ERROR_SHARED_READ_ONLY,
             "Invalid Shared memory read Oparation");
    }
    RequireReal(kLog, table, "Illegal table type ( Not REAL )", Q7_ERROR_NOT_REAL_TABLE);
    if (CurrentDatabase()->ReferedIDList(table_id, g_unwanted_referrers) != 0) {
      Refuse(kLog, Q7_ERROR_NOT_EDITABLE, Q7_ERROR_NOT_EDITABLE,
             "Failed to refere IDList ( result ReferedIDList )");
    }
    return 0;
  });
}

// ---- Checks of the changing slots ----

TRealTable* FindWritableRealTable(const char* log_name, int table_id, const char* real_message) {
  TBaseTable* table = FindTable(log_name, table_id);
  RefuseShared(table);
  TRealTable* real = RequireReal(log_name, table, real_message);
  if (DBTASK()->TableCanEdit(table_id, nullptr) != 0) RefuseNotEditable(log_name, table_id);
  return real;
}

TRealTable* FindRealTableForNewFilter(const char* log_name, int table_id, const char* name, char* validated) {
  // The table code makes the name file-safe in place: it works on this copy, never on the host's.
  if (!ValidateNames(name, validated, kFilterPrefix, &TTableCollection::m_chFTRIndex)) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
  }
  TBaseTable* table = FindTable(log_name, table_id);
  RefuseShared(table);
  return RequireReal(log_name, table);
}

void RefuseNotEditable(const char* log_name, int table_id) {
  Refuse(log_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, "Not Editable: %d", table_id);
}
