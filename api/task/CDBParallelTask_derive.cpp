// The parallel task's slots that make new tables out of real tables (duplicate, extract, combine)
// and the condense of a table, each filled or run on the worker pool.
#include <algorithm>
#include <iterator>

#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"

namespace {

// The new table's name: the host's, or a generated one. The collection rewrites the name it is
// given, so it works on this copy, never on the host's text.
void ValidateTableName(char* name, char (&out)[TBaseTable::kNameSize]) {
  if (!ValidateNames(name, out, kRealTablePrefix, &TTableCollection::m_chRTBLIndex)) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME);
  }
}

}  // namespace

int CDBParallelTask::ExtractRealTable(char* name, int table_id, int set_id, int* filter_ids) {
  return ExtractRealTableEx(name, table_id, set_id, 0, 0, filter_ids);
}

int CDBParallelTask::ExtractRealTableEx(char* name, int table_id, int set_id, int add_table_id,
                                        int add_rec_no, int* filter_ids) {
  constexpr char kLog[] = "RQ7ExtractRealTableEx";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        char validated[TBaseTable::kNameSize];
        ValidateTableName(name, validated);
        // At most 512 IDs and always a terminating 0, whatever the host's list holds. A join table
        // lists up to twice as many columns; the collection refuses it, but the list must hold them.
        int list[2 * TRealTable::kMaxFilters + 1] = {};
        if (filter_ids == nullptr) {
          CheckInner(kLog, GetFilterIDList(table_id, list), "");
          std::fill(list + TRealTable::kMaxFilters, std::end(list), 0);
        } else {
          for (int i = 0; i < TRealTable::kMaxFilters && filter_ids[i] >= 1; ++i) list[i] = filter_ids[i];
        }
        TTableCollection* db = RequireDatabase(kLog);
        return CheckInner(
            kLog, db->MppExtractRealTable(validated, table_id, set_id, add_table_id, add_rec_no, list), "");
      }));
}

int CDBParallelTask::CombineRealTable(char* name, int table_a, int set_a, int* ids_a, int table_b, int set_b,
                                      int* ids_b) {
  return CombineRealTableEx(name, 0, 0, table_a, set_a, ids_a, table_b, set_b, ids_b, 0);
}

int CDBParallelTask::CombineRealTableEx(char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                                        int* ids_a, int table_b, int set_b, int* ids_b, int consume_sources) {
  constexpr char kLog[] = "RQ7CombineRealTable";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            char validated[TBaseTable::kNameSize];
                            ValidateTableName(name, validated);
                            TTableCollection* db = RequireDatabase(kLog);
                            return CheckInner(
                                kLog,
                                db->MppCombineRealTable(validated, add_table_id, add_rec_no, table_a, set_a,
                                                        ids_a, table_b, set_b, ids_b, consume_sources),
                                "");
                          }));
}

int CDBParallelTask::DuplicateRealTable(char* name, int table_id) {
  constexpr char kLog[] = "RQ7DuplicateRealTable";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            char validated[TBaseTable::kNameSize];
                            ValidateTableName(name, validated);
                            TTableCollection* db = RequireDatabase(kLog);
                            return CheckInner(
                                kLog, db->MppDuplicateRealTable(validated, table_id),
                                "Failed to duplicate real table ( MppDuplicateRealTable module )");
                          }));
}

int CDBParallelTask::CondenseRealTable(int table_id) {
  constexpr char kLog[] = "RQ7CondenseRealTable";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        TBaseTable* table = FindTable(kLog, table_id, MissEntry::kTrailingBlank);
        const int referrers = DBTASK()->TableCanEdit(table_id, nullptr);
        if (referrers < 0) throw CQ7Exception(referrers);
        if (referrers > 0) RefuseNotEditable(kLog, table_id);
        auto* real = static_cast<TRealTable*>(table);  // TableCanEdit answers 0 for real tables only
        return CheckInner(kLog, real->MppCondenseTable(), "");
      }));
}
