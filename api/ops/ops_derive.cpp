// Derived tables in the operation layer: duplicating, extracting and combining real tables.
#include "api/ops/ops_derive.h"

#include <algorithm>
#include <cstring>

#include "api/frame/frame.h"
#include "api/ops/OpCommon.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_tables.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"

namespace {

constexpr int kMaxListed = TRealTable::kMaxFilters;

}  // namespace

int innerQ7DuplicateRealTable(const char* name, int table_id) {
  constexpr char kRing[] = "Q7DuplicateRealTable";
  return RunOp(kRing, [&] {
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kRealTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    const int id = CheckInner(kRing, db->DuplicateRealTable(table_name, table_id),
                              "Failed to duplicate real table ( DuplicateRealTable module )");
    MarkTablesChanged();
    return id;
  });
}

int innerQ7ExtractRealTableEx(const char* name, int table_id, int set_id, int add_table_id, int add_rec_no,
                              const int* filter_ids) {
  constexpr char kRing[] = "Q7ExtractRealTableEx";
  return RunOp(kRing, [&] {
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kRealTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    // The collection reads the list up to its first ID below 1: the zeros past the copied part end
    // it. A join's list can run to twice the filters of a real table; only the first 512 count.
    int list[2 * kMaxListed + 1] = {};
    if (filter_ids != nullptr) {
      for (int k = 0; k < kMaxListed && filter_ids[k] >= 1; ++k) list[k] = filter_ids[k];
    } else {
      const int count = innerQ7GetFilterIDList(table_id, list);
      if (count < 0) {
        Refuse(kRing, count, count, "Failed to get FilterIDlist (innerQ7GetFilterIDList module)");
      }
      std::fill(list + std::min(count, kMaxListed), list + 2 * kMaxListed + 1, 0);
    }
    const int id =
        CheckInner(kRing, db->ExtractRealTable(table_name, table_id, set_id, add_table_id, add_rec_no, list),
                   "Failed to extract real table (ExtractRealTable module)");
    MarkTablesChanged();
    return id;
  });
}

int innerQ7ExtractRealTable(const char* name, int table_id, int set_id, const int* filter_ids) {
  return innerQ7ExtractRealTableEx(name, table_id, set_id, 0, 0, filter_ids);
}

int innerQ7CombineRealTableEx(const char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                              const int* ids_a, int table_b, int set_b, const int* ids_b,
                              int consume_sources) {
  constexpr char kRing[] = "Q7CombineRealTable";
  return RunOp(kRing, [&] {
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kRealTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    const int id = CheckInner(
        kRing,
        db->CombineRealTable(table_name, add_table_id, add_rec_no, table_a, set_a, HostReadOnly(ids_a),
                             table_b, set_b, HostReadOnly(ids_b), consume_sources),
        "Failed to combine real table ( MppAddJoinTable module )");
    MarkTablesChanged();
    return id;
  });
}

int innerQ7CombineRealTable(const char* name, int table_a, int set_a, const int* ids_a, int table_b,
                            int set_b, const int* ids_b) {
  return innerQ7CombineRealTableEx(name, 0, 0, table_a, set_a, ids_a, table_b, set_b, ids_b, 0);
}

int innerQ7CombineTableList(const char* name, const int* table_ids, const int* set_ids, const int* data_1,
                            const int* data_2, const int* data_3, const int* data_4) {
  constexpr char kRing[] = "Q7CombineTableList";
  return RunOp(kRing, [&] {
    if (name != nullptr && strnlen(name, kMaxNameLength + 1) > kMaxNameLength) {
      PutErrorLog(kRing, Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename");
    }
    char buffer[kGeneratedNameSize];
    char* table_name = TableNameArgument(name, kRealTablePrefix, buffer);
    TTableCollection* db = RequireDatabase(kRing);
    int* data_lists[] = {HostReadOnly(data_1), HostReadOnly(data_2), HostReadOnly(data_3),
                         HostReadOnly(data_4)};
    const int id = CheckInner(
        kRing, db->CombineTableList(table_name, HostReadOnly(table_ids), HostReadOnly(set_ids), data_lists),
        "");
    MarkTablesChanged();
    return id;
  });
}
