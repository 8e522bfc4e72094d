// The parallel task's search slots.
#include "api/ops/OpCommon.h"
#include "api/ops/ops_search.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "values/ArrayFunctions.h"

int CDBParallelTask::SearchByField(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  constexpr char kLog[] = "RQ7SearchByField";
  return ChangedOnSuccess(
      Changes::kSets, RunOp(kLog, [&] {
        CheckSearchBounds(op, from, to);
        return CheckInner(kLog, FindTable(kLog, table_id)->MppSearchByField(filter_id, set_id, op, from, to));
      }));
}

int CDBParallelTask::SearchByFieldSJIS(int table_id, int filter_id, int set_id, int op, void* from,
                                       void* to) {
  constexpr char kLog[] = "RQ7SearchByFieldSJIS";
  return ChangedOnSuccess(
      Changes::kSets, RunOp(kLog, [&] {
        CheckSearchBounds(op, static_cast<const char*>(from), static_cast<const char*>(to));
        TBaseTable* table = FindTable(kLog, table_id);
        return CheckInner(kLog, table->MppSearchByField(filter_id, set_id, op, static_cast<char*>(from),
                                                        static_cast<char*>(to)));
      }));
}

int CDBParallelTask::SearchByField2(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  constexpr char kLog[] = "RQ7SearchByField2";
  return ChangedOnSuccess(Changes::kSets, RunOp(kLog, [&] {
                            TBaseTable* table = FindTable(kLog, table_id);
                            TFilter* filter = FindFilter(kLog, table, filter_id, MissEntry::kPlain,
                                                         Q7_ERROR_NO_SUCH_FILTER);
                            CheckSearchBounds(op, from, to);
                            // The second string form has no parallel variant.
                            if (ArrayDataType(filter->VL) == Q7_TYPE_STRING) {
                              return CheckInner(kLog, table->SearchByField2(filter_id, set_id, op, from, to));
                            }
                            return CheckInner(kLog, table->MppSearchByField(filter_id, set_id, op, from, to));
                          }));
}

int CDBParallelTask::SearchByFieldWildCard(int table_id, int filter_id, int set_id, const char* pattern) {
  constexpr char kLog[] = "RQ7SearchByFieldWildCard";
  return ChangedOnSuccess(
      Changes::kSets, RunOp(kLog, [&] {
        return CheckInner(kLog,
                          FindTable(kLog, table_id)->MppSearchByFieldWildCard(filter_id, set_id, pattern));
      }));
}

int CDBParallelTask::SearchByFieldNValues(int table_id, int filter_id, int set_id, int count, void* values) {
  constexpr char kLog[] = "RQ7SearchByFieldNValues";
  return ChangedOnSuccess(
      Changes::kSets, RunOp(kLog, [&] {
        if (count > 0 && values == nullptr) {
          throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values");
        }
        return CheckInner(
            kLog, FindTable(kLog, table_id)->MppSearchByFieldNValues(filter_id, set_id, count, values));
      }));
}
