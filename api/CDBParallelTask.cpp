#include "api/CDBParallelTask.h"

#include "api/OpCommon.h"
#include "api/ops_search.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "values/ArrayFunctions.h"

CDBParallelTask* MPTask = CDBParallelTask::Instance();

CDBParallelTask* CDBParallelTask::Instance() {
  static CDBParallelTask task;
  return &task;
}

CDBTask* DBTASK() { return CDBParallelTask::Instance(); }

namespace {

constexpr char kNotEditable[] = "Not Editable: %d";

// The checks of the slots that rewrite rows of a table: shared, real, editable; every non-zero
// answer of TableCanEdit counts as "referred to".
TRealTable* FindWritableTable(const char* log_name, int table_id) {
  TBaseTable* table = FindTable(log_name, table_id);
  RefuseShared(table);
  TRealTable* real = RequireReal(log_name, table, "Not RealTable: %d ");
  if (DBTASK()->TableCanEdit(table_id, nullptr) != 0) {
    Refuse(log_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, kNotEditable, table_id);
  }
  return real;
}

}  // namespace

// ---- Sets ----

int CDBParallelTask::SetNotReal(int table_id, int set_id) {
  constexpr char kLog[] = "RQ7SetNot";
  return RunOp(kLog, [&] { return CheckInner(kLog, FindRealTable(kLog, table_id)->SetNot(set_id)); });
}

int CDBParallelTask::SetOpeReal(int table_id, int op, int set_id1, int set_id2) {
  constexpr char kLog[] = "RQ7SetOpeReal";
  return RunOp(kLog,
               [&] { return CheckInner(kLog, FindTable(kLog, table_id)->SetOpe(op, set_id1, set_id2)); });
}

// ---- Filters and rows ----

int CDBParallelTask::DupRealFilterEx(int table_id, int filter_id, int type) {
  constexpr char kLog[] = "RQ7DupRealFilterEx";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id);
    RefuseShared(table);
    return RequireReal(kLog, table)->MppDupFilterEx(filter_id, type);
  });
}

int CDBParallelTask::OverwriteRealEx(int table_id, int set_id, int filter_id, int from, int count,
                                     void* data) {
  constexpr char kLog[] = "RQ7OverwriteRealEx";
  return RunOp(kLog, [&] {
    TRealTable* table = FindWritableTable(kLog, table_id);
    return CheckInner(kLog, table->MppOverWriteEx(set_id, filter_id, from, count, data));
  });
}

int CDBParallelTask::FillRealEx(int table_id, int set_id, int filter_id, int from, int count, void* value) {
  constexpr char kLog[] = "RQ7FillRealEx";
  return RunOp(kLog, [&] {
    TRealTable* table = FindWritableTable(kLog, table_id);
    return CheckInner(kLog, table->MppFillEx(set_id, filter_id, from, count, value));
  });
}

int CDBParallelTask::AddRealFilter2(int table_id, int position, char* name, int type, int rows, int width,
                                    void* data) {
  constexpr char kLog[] = "RQ7AddRealFilter2";
  return RunOp(kLog, [&] {
    // The table code makes the name file-safe in place: it works on this copy, never on the host's.
    char validated[TFilter::kNameSize];
    if (!ValidateNames(name, validated, kFilterPrefix, &TTableCollection::m_chFTRIndex)) {
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME);
    }
    TBaseTable* table = FindTable(kLog, table_id);
    RefuseShared(table);
    TRealTable* real = RequireReal(kLog, table);
    const int id = rows != 0 && data != nullptr
                       ? real->MppAddFilter2(position, validated, type, rows, width, data, table_id, -1)
                       : real->AddEmptyFilter(position, validated, type, table_id, -1);
    return CheckInner(kLog, id);
  });
}

int CDBParallelTask::CondenseRealTable(int table_id) {
  constexpr char kLog[] = "RQ7CondenseRealTable";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id, TableMessage::kTrailingBlank);
    const int referrers = DBTASK()->TableCanEdit(table_id, nullptr);
    if (referrers < 0) throw CQ7Exception(referrers);
    if (referrers > 0) Refuse(kLog, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_EDITABLE, kNotEditable, table_id);
    auto* real = static_cast<TRealTable*>(table);  // TableCanEdit answers 0 for real tables only
    real->CheckMergeFilterTVL(true);
    return CheckInner(kLog, real->CondenseTable(), "");
  });
}

// ---- Searches and sorts ----

int CDBParallelTask::SearchByField(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  constexpr char kLog[] = "RQ7SearchByField";
  return RunOp(kLog, [&] {
    CheckSearchBounds(op, from, to);
    return CheckInner(kLog, FindTable(kLog, table_id)->MppSearchByField(filter_id, set_id, op, from, to));
  });
}

int CDBParallelTask::SearchByFieldSJIS(int table_id, int filter_id, int set_id, int op, void* from,
                                       void* to) {
  constexpr char kLog[] = "RQ7SearchByFieldSJIS";
  return RunOp(kLog, [&] {
    CheckSearchBounds(op, static_cast<const char*>(from), static_cast<const char*>(to));
    TBaseTable* table = FindTable(kLog, table_id);
    return CheckInner(kLog, table->MppSearchByField(filter_id, set_id, op, static_cast<char*>(from),
                                                    static_cast<char*>(to)));
  });
}

int CDBParallelTask::SearchByField2(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  constexpr char kLog[] = "RQ7SearchByField2";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id);
    TFilter* filter = FindFilter(kLog, table, filter_id, "No Such Filter: %d", Q7_ERROR_NO_SUCH_FILTER);
    CheckSearchBounds(op, from, to);
    // The second string form has no parallel variant.
    if (ArrayDataType(filter->VL) == Q7_TYPE_STRING) {
      return CheckInner(kLog, table->SearchByField2(filter_id, set_id, op, from, to));
    }
    return CheckInner(kLog, table->MppSearchByField(filter_id, set_id, op, from, to));
  });
}

int CDBParallelTask::SearchByFieldWildCard(int table_id, int filter_id, int set_id, const char* pattern) {
  constexpr char kLog[] = "RQ7SearchByFieldWildCard";
  return RunOp(kLog, [&] {
    return CheckInner(kLog, FindTable(kLog, table_id)->MppSearchByFieldWildCard(filter_id, set_id, pattern));
  });
}

int CDBParallelTask::SearchByFieldNValues(int table_id, int filter_id, int set_id, int count, void* values) {
  constexpr char kLog[] = "RQ7SearchByFieldNValues";
  return RunOp(kLog, [&] {
    if (count > 0 && values == nullptr) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values");
    }
    return CheckInner(kLog,
                      FindTable(kLog, table_id)->MppSearchByFieldNValues(filter_id, set_id, count, values));
  });
}

int CDBParallelTask::ServiceSortByN(int n, int* values, int* non_zero_count, int* non_zero_index,
                                    int* order) {
  return ServiceSortByNAs("RQ7ServiceSortByN", n, values, non_zero_count, non_zero_index, order);
}

int CDBParallelTask::SortByField(int table_id, int filter_id, int set_id, int dir) {
  constexpr char kLog[] = "RQ7SortByField";
  return RunOp(kLog, [&] {
    // 0 and 1 only; a negative direction reads as a large unsigned value.
    if (static_cast<unsigned>(dir) > 1) {
      Refuse(kLog, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SortDir(%d)",
             dir);
    }
    return CheckInner(kLog, FindTable(kLog, table_id)->MppSortByField(filter_id, set_id, dir));
  });
}

int CDBParallelTask::IntegratedSortByField(int table_id, int set_id, int* filter_ids, int* dirs) {
  constexpr char kLog[] = "RQ7IntegratedSortByField";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id);
    if (table->GetType() != TBaseTable::kTypeReal) RefuseSilently(Q7_ERROR_NOT_REAL_TABLE);
    auto* real = static_cast<TRealTable*>(table);
    real->CheckMergeFilterTVL(true);
    return CheckInner(kLog, real->MppIntegratedSortByField(set_id, filter_ids, dirs));
  });
}
