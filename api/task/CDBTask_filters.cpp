// The task object's filter services: appends of column data, the filter list, a filter's type and
// its value counts.
#include "api/ops/OpCommon.h"
#include "api/ops/ops_filters.h"
#include "api/task/CDBTask.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "values/ArrayFunctions.h"

int PrepareFilterAppend(const char* ring_name, TRealTable* table, int filter_id, int type, int from,
                        int count, const void* data) {
  TFilter* filter = FindFilter(ring_name, table, filter_id, MissEntry::kNone);
  return PrepareAppend(ring_name, table, filter, type, from, count, data);
}

int CDBTask::AppendRealFilter2(int table_id, int filter_id, int type, int from, int count, void* data) {
  constexpr char kLog[] = "RQ7AppendRealFilter2";
  return RunOp(kLog, [&] {
    TRealTable* table = FindWritableRealTable(kLog, table_id);
    const int start = PrepareFilterAppend(kLog, table, filter_id, type, from, count, data);
    return CheckInner(kLog, table->OverWriteEx(1, filter_id, start, count, data));
  });
}

int CDBTask::AppendRealFilter2Numeric(int table_id, int filter_id, int type, int from, int count, int scale,
                                      int rounding_mode, void* data) {
  constexpr char kLog[] = "RQ7AppendRealFilter2Numeric";
  return RunOp(kLog, [&] {
    TRealTable* table = FindWritableRealTable(kLog, table_id);
    const int start = PrepareFilterAppend(kLog, table, filter_id, type, from, count, data);
    return CheckInner(kLog,
                      table->OverWriteExNumeric(1, filter_id, start, count, scale, rounding_mode, data));
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
