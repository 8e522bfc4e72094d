// The task object's set services: sets from host record numbers, row counts and set sizes; and its
// set and set-name operations, the operation layer's filed under the task's log names.
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_sets.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"

namespace {

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

// ---- Sets and names ----

int CDBTask::GetNSet(int table_id) { return innerQ7GetNSet(table_id); }

int CDBTask::GetSetIDList(int table_id, int max, int* ids) { return innerQ7GetSetIDList(table_id, max, ids); }

int CDBTask::GetCurrentSetID(int table_id) { return innerQ7GetCurrentSetID(table_id); }

int CDBTask::ChangeCurrentSetID(int table_id, int set_id) {
  constexpr char kLog[] = "Q7ChangeCurrentSetID";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id);
    // Asked first: the table would take an unknown ID as its own refusal's entry.
    if (HasSet(table, set_id)) table->SetCurrentSetID(set_id);
    if (table->GetCurrentSetID() != set_id) CheckInner(kLog, Q7_ERROR_ILLEGAL_SET_ID);
    MarkSettingsChanged();
    return 0;
  });
}

int CDBTask::DeleteSet(int table_id, int set_id) { return innerQ7DeleteSet(table_id, set_id); }

int CDBTask::PurgeSubsets(int table_id) { return innerQ7PurgeSubsets(table_id); }

int CDBTask::GetSubsetAttr(int table_id, int set_id, void* attr, bool check) {
  constexpr char kLog[] = "Q7GetSubsetAttr";
  const int given = RunOp(kLog, [&] {
    CheckHostPointer(attr, "Attribute");
    return 0;
  });
  if (given < 0) return given;
  void* block = nullptr;
  const int result = innerQ7GetSubsetAttr(table_id, set_id, &block, check);
  if (result < 0) return result;
  memcpy(attr, block, kAttributeBytes);
  return 0;
}

int CDBTask::SetSetName(int table_id, int set_id, char* name) {
  constexpr char kLog[] = "Q7SetSetName";
  // An unknown set is refused without an entry; the operation layer would record it.
  const int found = RunOp(kLog, [&] {
    if (!HasSet(FindTable(kLog, table_id, MissEntry::kTrailingBlank), set_id)) {
      RefuseSilently(Q7_ERROR_NO_SUCH_SET);
    }
    return 0;
  });
  if (found < 0) return found;
  return innerQ7SetSetName(table_id, set_id, name);
}

int CDBTask::GetSetName(int table_id, int set_id, char* name) {
  return innerQ7GetSetName(table_id, set_id, name);
}

int64_t CDBTask::GetSetMemorySize(int table_id, int set_id) {
  return innerQ7GetSetMemorySize(table_id, set_id);
}
