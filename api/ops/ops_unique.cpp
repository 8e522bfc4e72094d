#include "api/ops/ops_unique.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "api/ops/OpCommon.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "kernels/CountingSort.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr char kName[] = "Q7ExtractUniqueReal";

// The listed filters' value-number arrays, read up to the first ID below 1.
struct KeyFilters {
  const int* vno[TRealTable::kMaxFilters];
  int count = 0;
  int max_values = 1;  // entries of the largest value list
};

void ReadFilterList(TRealTable* table, const int* filter_ids, KeyFilters* keys) {
  for (int i = 0; filter_ids != nullptr && filter_ids[i] >= 1; ++i) {
    if (i == TRealTable::kMaxFilters) break;  // a 513th entry: too many
    const int pos = table->FilterID2Pos(filter_ids[i]);
    if (pos < 0)
      Refuse(kName, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NO_SUCH_FILTER, "Invalid Parameter : FltIDs");
    TFilter* filter = table->FFilters[pos];
    keys->vno[keys->count++] = filter->PV->PIntAr();
    if (filter->VL->FArraySize > keys->max_values) keys->max_values = filter->VL->FArraySize;
  }
  const bool too_many = filter_ids != nullptr && keys->count == TRealTable::kMaxFilters &&
                        filter_ids[TRealTable::kMaxFilters] >= 1;
  if (keys->count == 0 || too_many) {
    Refuse(kName, Q7_ERROR_INVALID_FILTER_LIST, Q7_ERROR_INVALID_FILTER_LIST,
           "No Filter or FilterCount Overflow");
  }
}

bool SameKey(const KeyFilters& keys, int row_a, int row_b) {
  for (int f = 0; f < keys.count; ++f) {
    if (keys.vno[f][row_a] != keys.vno[f][row_b]) return false;
  }
  return true;
}

int ExtractUnique(int table_id, int set_id, const int* filter_ids, int keep_order) {
  TBaseTable* base = FindTable(kName, table_id, MissEntry::kTrailingBlank);
  if (base->GetTableKind() != 0) {
    Refuse(kName, Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NOT_REAL_TABLE, "Illegal table kind ( Not REAL )");
  }
  auto* table = static_cast<TRealTable*>(base);
  table->CheckMergeFilterTVL(true);
  KeyFilters keys;
  ReadFilterList(table, filter_ids, &keys);
  TSetArray* set = FindSet(kName, table, set_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_SET);
  const int n = set->FArraySize;
  if (n == 0) return table->AddSetFromRows(0, nullptr);

  // One stable counting pass per filter, first to last: the last filter ends up deciding first.
  const size_t rows_bytes = sizeof(int) * static_cast<size_t>(n);
  ZpkBlock<int> current(static_cast<size_t>(n));
  ZpkBlock<int> other(static_cast<size_t>(n));
  ZpkBlock<int> counts(static_cast<size_t>(keys.max_values));
  memcpy(current.get(), set->PIntAr(), rows_bytes);
  for (int f = 0; f < keys.count; ++f) {
    const int values = keys.max_values;
    CountupNExist(n, current.get(), values, keys.vno[f], counts.get());
    Aggregate(0, values, counts.get(), counts.get());
    MoveRecsForSort(n, current.get(), keys.vno[f], other.get(), counts.get());
    std::swap(current, other);
  }

  // The first row of each run of equal keys; the sort kept the set's order within a run.
  int* sorted = current.get();
  int* kept = other.get();
  int picked = 0;
  for (int i = 0; i < n; ++i) {
    if (i == 0 || !SameKey(keys, sorted[i], sorted[i - 1])) kept[picked++] = sorted[i];
  }

  int result_count = picked;
  if (keep_order != 0) {
    const int total = table->TotalRecs();
    ZpkBlock<unsigned char> marks(static_cast<size_t>(total) + 1);
    memset(marks.get(), 0, static_cast<size_t>(total) + 1);
    for (int i = 0; i < picked; ++i) marks[static_cast<size_t>(kept[i])] = 1;
    const int* rows = set->PIntAr();
    result_count = 0;
    for (int i = 0; i < n; ++i) {
      if (marks[static_cast<size_t>(rows[i])] != 0) kept[result_count++] = rows[i];
    }
    if (result_count != picked) {
      PutErrorLog(kName, Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    }
  }
  return table->AddSetFromRows(result_count, kept);
}

}  // namespace

int innerQ7ExtractUniqueReal(int, int table_id, int set_id, const int* filter_ids, int keep_order) {
  try {
    return ExtractUnique(table_id, set_id, filter_ids, keep_order);
  } catch (const OpRefusal& e) {
    return e.ErrorCode();
  } catch (const CQ7Exception&) {
    throw;  // the exported frame records it
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}
