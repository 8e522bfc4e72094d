// The task object's set services: sets from host record numbers, row counts and set sizes.
#include <cstddef>
#include <new>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/task/CDBTask.h"
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
