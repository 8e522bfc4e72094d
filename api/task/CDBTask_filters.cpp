// The task object's filter services: appends of column data, the filter list, a filter's type and
// its value counts; and its filter operations, the operation layer's filed under the task's log
// names.
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_names.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"
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

// ---- Filters ----

int CDBTask::GetNFilter(int table_id) { return innerQ7GetNFilter(table_id); }

int CDBTask::GetFilterWidth(int table_id, int filter_id) {
  return innerQ7GetFilterWidth(table_id, filter_id);
}

int CDBTask::GetFilter(int table_id, int filter_id, _TFilterInfo* info) {
  return UnderLogName("RQ7GetFilter", "Q7GetFilter",
                      [&] { return innerQ7GetFilter(table_id, filter_id, info); });
}

int CDBTask::GetFilterInfo(int table_id, int filter_id, _TRFilterInfo* info) {
  return innerRQ7GetFilterInfo(table_id, filter_id, info);
}

int CDBTask::GetAllFilterInfo(int table_id, int max, int* count, _TRFilterInfo* infos, char attrs[][64]) {
  return UnderLogName("Q7GetAllFilterInfo", "innerRQ7GetAllFilterInfo",
                      [&] { return innerRQ7GetAllFilterInfo(table_id, max, count, infos, attrs); });
}

int CDBTask::GetFilterBody(int table_id, int filter_id, _TRFilterBody* body) {
  return innerRQ7GetFilterBody(table_id, filter_id, body);
}

int CDBTask::GetFilterAttr(int table_id, int filter_id, void* attr, bool check) {
  constexpr char kLog[] = "RQ7GetFilterAttr";
  const int given = RunOp(kLog, [&] {
    CheckHostPointer(attr, "Attribute");
    return 0;
  });
  if (given < 0) return given;
  void* block = nullptr;
  const int result = UnderLogName(kLog, "Q7GetFilterAttr",
                                  [&] { return innerQ7GetFilterAttr(table_id, filter_id, &block, check); });
  if (result < 0) return result;
  memcpy(attr, block, kAttributeBytes);
  return 0;
}

int CDBTask::GetFilterName(int table_id, int filter_id, char* name) {
  return innerQ7GetFilterName(table_id, filter_id, name);
}

int CDBTask::SetFilterName(int table_id, int filter_id, char* name) {
  return innerQ7SetFilterName(table_id, filter_id, name);
}

int CDBTask::GetFilterIDFromName(int table_id, char* name) {
  return innerQ7GetFilterIDFromName(table_id, name);
}

int CDBTask::GetFilterIDFromName2(int table_id, int n, char* name) {
  return innerQ7GetFilterIDFromName2(table_id, n, name);
}

int64_t CDBTask::GetFilterMemorySize(int table_id, int filter_id) {
  return innerQ7GetFilterMemorySize(table_id, filter_id);
}

int CDBTask::DeleteRealFilter(int table_id, int filter_id) {
  return innerQ7DeleteRealFilter(table_id, filter_id);
}

int CDBTask::MoveRealFilter(int table_id, int from, int to) {
  return innerQ7MoveRealFilter(table_id, from, to);
}

int CDBTask::DupRealFilter(int table_id, int filter_id) { return innerQ7DupRealFilter(table_id, filter_id); }
