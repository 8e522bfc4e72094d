// The task object's row and data operations: row deletion and insertion, value and record-number
// reads (one row or a block of rows) and the searches and sort by record number or position. Each
// is the operation layer's, filed under the task's log name.
#include "api/ops/OpCommon.h"
#include "api/ops/ops_blocks.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_rowedit.h"
#include "api/ops/ops_search.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"

int CDBTask::DeleteRealRows(int table_id, int from, int count) {
  return innerQ7DeleteRealRows(table_id, from, count);
}

int CDBTask::DeleteRealRowsEx(int table_id, int set_id, int from, int count) {
  return innerQ7DeleteRealRowsEx(table_id, set_id, from, count);
}

int CDBTask::InsertRealRows(int table_id, int position, int count) {
  return innerQ7InsertRealRows(table_id, position, count);
}

int CDBTask::GetData(int table_id, int filter_id, int set_id, int position, int* type, void* value) {
  return innerQ7GetData(table_id, filter_id, set_id, position, type, value);
}

int CDBTask::GetData1(int table_id, int filter_id, int set_id, int row, int* type, void* value) {
  // The same read as GetData's: a decimal comes with its scale and rounding mode.
  return innerQ7GetData1(table_id, filter_id, set_id, row, type, value, 0);
}

int CDBTask::GetRowNo(int table_id, int set_id, int position, int* record, int* /*other*/) {
  return innerQ7GetRowNo(table_id, set_id, position, record);
}

int CDBTask::GetRowNo1(int table_id, int set_id, int row, int* record, int* /*other*/) {
  return innerQ7GetRowNo1(table_id, set_id, row, record);
}

int CDBTask::GetData1M(int table_id, int filter_id, int set_id, int row, int* type, int* count, char* values,
                       char* texts) {
  // Each row is read as GetData1 reads it, and recorded under its name.
  return RunOp("RQ7GetData1M", [&] {
    return innerRQ7GetData1M(table_id, filter_id, set_id, row, type, count, values, texts);
  });
}

int CDBTask::GetRowNo1M(int table_id, int set_id, int row, int* count, int* records, int* other) {
  return RunOp("RQ7GetRowNo1M",
               [&] { return innerRQ7GetRowNo1M(table_id, set_id, row, count, records, other); });
}

int CDBTask::SortByRowNo(int table_id, int unused, int set_id, int order) {
  if (order > 1) return Q7_ERROR_INVALID_PARAMETER;
  return UnderLogName("RQ7SortByRowNo", "Q7SortByRowNo",
                      [&] { return innerQ7SortByRowNo(table_id, unused, set_id, order); });
}

int CDBTask::SearchByRowNo(int table_id, int unused, int set_id, int op, int from, int to) {
  return UnderLogName("RQ7SearchByRowNo", "Q7SearchByRowNo",
                      [&] { return innerQ7SearchByRowNo(table_id, unused, set_id, op, from, to); });
}

int CDBTask::SearchByDispRowNoReal(int table_id, int set_id, int op, int from, int to) {
  return UnderLogName("RQ7SearchByDispRowNoReal", "Q7SearchByDispRowNoReal",
                      [&] { return innerQ7SearchByDispRowNoReal(table_id, set_id, op, from, to); });
}
