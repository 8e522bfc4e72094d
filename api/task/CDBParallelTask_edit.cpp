// The parallel task's slots that change a table: duplicating and adding filters, overwriting and
// filling rows.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"

int CDBParallelTask::DupRealFilterEx(int table_id, int filter_id, int type) {
  constexpr char kLog[] = "RQ7DupRealFilterEx";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            TBaseTable* table = FindTable(kLog, table_id);
                            RefuseShared(table);
                            return RequireReal(kLog, table)->MppDupFilterEx(filter_id, type);
                          }));
}

int CDBParallelTask::OverwriteRealEx(int table_id, int set_id, int filter_id, int from, int count,
                                     void* data) {
  constexpr char kLog[] = "RQ7OverwriteRealEx";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            TRealTable* table = FindWritableRealTable(kLog, table_id, "Not RealTable: %d ");
                            return CheckInner(kLog,
                                              table->MppOverWriteEx(set_id, filter_id, from, count, data));
                          }));
}

int CDBParallelTask::FillRealEx(int table_id, int set_id, int filter_id, int from, int count, void* value) {
  constexpr char kLog[] = "RQ7FillRealEx";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            TRealTable* table = FindWritableRealTable(kLog, table_id, "Not RealTable: %d ");
                            return CheckInner(kLog, table->MppFillEx(set_id, filter_id, from, count, value));
                          }));
}

int CDBParallelTask::AddRealFilter2(int table_id, int position, char* name, int type, int rows, int width,
                                    void* data) {
  constexpr char kLog[] = "RQ7AddRealFilter2";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        char validated[TFilter::kNameSize];
        TRealTable* real = FindRealTableForNewFilter(kLog, table_id, name, validated);
        const int id = rows != 0 && data != nullptr
                           ? real->MppAddFilter2(position, validated, type, rows, width, data, table_id, -1)
                           : real->AddEmptyFilter(position, validated, type, table_id, -1);
        return CheckInner(kLog, id);
      }));
}
