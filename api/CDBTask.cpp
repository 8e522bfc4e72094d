#include "api/CDBTask.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "api/EngineOps.h"
#include "api/ops_filters.h"
#include "api/OpCommon.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "values/ArrayFunctions.h"
#include "values/DateTime.h"

namespace {

// Referring-table IDs for callers that do not want them; the collection needs somewhere to write.
int g_unwanted_referrers[TTableCollection::kMaxTables];

constexpr char kNotEditable[] = "Not Editable: %d";
// The copyright buffer callers of GetVersion hold.
constexpr size_t kCopyrightSize = 512;

// The table checks an append shares with its decimal twin, in their order.
TRealTable* FindAppendTable(const char* log_name, int table_id) {
  TBaseTable* table = FindTable(log_name, table_id);
  RefuseShared(table);
  TRealTable* real = RequireReal(log_name, table);
  if (DBTASK()->TableCanEdit(table_id, nullptr) != 0) {
    Refuse(log_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, kNotEditable, table_id);
  }
  return real;
}

// The host's record numbers without their repeats, first places kept in order: the set kernels
// work on bitmaps of the records, so a set must not hold a record twice. A number outside
// 1 .. n_rows, a negative count or a null list with count > 0 fails with
// Q7_ERROR_INVALID_ROW_POSITION without an entry.
std::vector<int> DistinctHostRows(int count, const int* rows, int n_rows) {
  if (count < 0 || (count > 0 && rows == nullptr)) RefuseSilently(Q7_ERROR_INVALID_ROW_POSITION);
  try {
    std::vector<int> kept;
    kept.reserve(static_cast<size_t>(count));
    std::vector<bool> seen(static_cast<size_t>(n_rows) + 1);
    for (const int* row = rows; row != rows + count; ++row) {
      if (*row < 1 || *row > n_rows) RefuseSilently(Q7_ERROR_INVALID_ROW_POSITION);
      if (!seen[static_cast<size_t>(*row)]) {
        seen[static_cast<size_t>(*row)] = true;
        kept.push_back(*row);
      }
    }
    return kept;
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
}

}  // namespace

int PrepareFilterAppend(const char* ring_name, TRealTable* table, int filter_id, int type, int from,
                        int count, const void* data) {
  TFilter* filter = FindFilter(ring_name, table, filter_id, nullptr);
  return PrepareAppend(ring_name, table, filter, type, from, count, data);
}

// ---- Base services ----

int CDBTask::GetVersion(int* version, char* text) {
  int* versions = nullptr;
  char* copyright = nullptr;
  innerQ7GetVersion(&versions, &copyright);
  if (version != nullptr) std::copy(versions, versions + 4, version);
  if (text != nullptr) qz7_strlcpy(text, copyright, kCopyrightSize);
  return 0;
}

int CDBTask::GetErrorLog(int* time, char* api, int* code, char* message) {
  ErrorRing* ring = GetErrorRing();
  return ring ? ring->Get(time, api, code, message) : 0;
}

int CDBTask::StrToTime(char* text, double* value) {
  if (text == nullptr || value == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  try {
    int err = 0;
    *value = Str2Time(text, 0, &err);
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// ---- Table and filter services ----

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

int CDBTask::AppendRealFilter2(int table_id, int filter_id, int type, int from, int count, void* data) {
  constexpr char kLog[] = "RQ7AppendRealFilter2";
  return RunOp(kLog, [&] {
    TRealTable* table = FindAppendTable(kLog, table_id);
    const int start = PrepareFilterAppend(kLog, table, filter_id, type, from, count, data);
    return CheckInner(kLog, table->OverWriteEx(1, filter_id, start, count, data));
  });
}

int CDBTask::AppendRealFilter2Numeric(int table_id, int filter_id, int type, int from, int count, int scale,
                                      int rounding_mode, void* data) {
  constexpr char kLog[] = "RQ7AppendRealFilter2Numeric";
  return RunOp(kLog, [&] {
    TRealTable* table = FindAppendTable(kLog, table_id);
    const int start = PrepareFilterAppend(kLog, table, filter_id, type, from, count, data);
    return CheckInner(kLog,
                      table->OverWriteExNumeric(1, filter_id, start, count, scale, rounding_mode, data));
  });
}

int CDBTask::AddSetReal(int table_id, int count, int* rows) {
  constexpr char kLog[] = "RQ7AddSetReal";
  return RunOp(kLog, [&] {
    TRealTable* table = FindRealTable(kLog, table_id);
    const std::vector<int> kept = DistinctHostRows(count, rows, table->TotalRecs());
    return CheckInner(kLog, table->AddSetFromRows(static_cast<int>(kept.size()), kept.data()));
  });
}

int CDBTask::GetTotalRows(int table_id) {
  return RunOp("Q7GetTotalRows", [&] { return FindTable("Q7GetTotalRows", table_id)->TotalRecs(); });
}

int CDBTask::GetSetSize(int table_id, int set_id) {
  return RunOp("Q7GetSetSize", [&] {
    return CheckInner("Q7GetSetSize", FindTable("Q7GetSetSize", table_id)->GetSetSize(set_id));
  });
}

int CDBTask::GetFilterIDList(int table_id, int* ids) {
  return RunOp("RQ7GetFilterIDList", [&] {
    return CheckInner("RQ7GetFilterIDList", FindTable("RQ7GetFilterIDList", table_id)->GetFilterIDList(ids));
  });
}

int CDBTask::GetFilterType(int table_id, int filter_id) {
  return RunOp("Q7GetFilterType", [&] {
    TBaseTable* table = FindTable("Q7GetFilterType", table_id);
    return ArrayDataTypeEx(FindFilter("Q7GetFilterType", table, filter_id)->VL);
  });
}

int CDBTask::GetValCount(int table_id, int filter_id, int set_id, int* counts) {
  return RunOp("RQ7GetValCount", [&] {
    if (counts == nullptr)
      Refuse("RQ7GetValCount", Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_TABLE, "PCountAr = NULL!");
    TBaseTable* table = FindTable("RQ7GetValCount", table_id);
    return CheckInner("RQ7GetValCount", table->CountN(set_id, filter_id, counts));
  });
}

// ---- Naming helpers ----

void getUniqueString(char* out, const char* prefix, int number) { MakeGeneratedName(prefix, number, out); }

int ValidateNames(const char* name, char* out, const char* prefix, const uint8_t* counter) {
  if (name == nullptr || name[0] == '\0') {
    getUniqueString(out, prefix, *counter);
    return 1;
  }
  const size_t length = strnlen(name, kMaxNameLength + 1);
  if (length > kMaxNameLength) return 0;
  memcpy(out, name, length + 1);
  return 1;
}

char int2char(int n) {
  char text[16];
  snprintf(text, sizeof text, "%d", n);
  return text[0];
}

int CanAppendFilters(int table_id) {
  constexpr char kLog[] = "CanAppendFilters";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id, TableMessage::kTrailingBlank);
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
