// Extraction of unique rows, the serial road: one row of a set for each distinct key.
#include "api/ops/ops_unique.h"

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "api/ops/OpCommon.h"
#include "database/LentRows.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/FailureCode.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "kernels/IntegratedSort.h"
#include "kernels/MppExtractUnique.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr char kName[] = "Q7ExtractUniqueReal";

// The listed filters' value-number arrays, read up to the first ID below 1.
struct KeyFilters {
  const int* vno[TRealTable::kMaxFilters];
  int values[TRealTable::kMaxFilters];  // entries of each value list
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
    keys->vno[keys->count] = filter->PV->PIntAr();
    keys->values[keys->count++] = filter->VL->FArraySize;
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

// The serial road: one stable counting pass per filter, first to last, so the last filter ends up
// deciding first; then the first row of each run of equal keys. Returns the picked count; the
// picked rows end in *picked_rows, and *spare holds n more rows of work memory.
int PickSerial(const KeyFilters& keys, int n, const int* set_rows, ZpkBlock<int>* spare,
               ZpkBlock<int>* picked_rows) {
  ZpkBlock<int> current(static_cast<size_t>(n));
  ZpkBlock<int> other(static_cast<size_t>(n));
  ZpkBlock<int> counts(static_cast<size_t>(keys.max_values));
  memcpy(current.get(), set_rows, sizeof(int) * static_cast<size_t>(n));
  for (int f = 0; f < keys.count; ++f) {
    const int values = keys.max_values;
    CountupNExist(n, current.get(), values, keys.vno[f], counts.get());
    Aggregate(0, values, counts.get(), counts.get());
    MoveRecsForSort(n, current.get(), keys.vno[f], other.get(), counts.get());
    std::swap(current, other);
  }
  // The sort kept the set's order within a run, so a run's first row is its first in the set.
  const int* rows = current.get();
  int* kept = other.get();
  int picked = 0;
  for (int i = 0; i < n; ++i) {
    if (i == 0 || !SameKey(keys, rows[i], rows[i - 1])) kept[picked++] = rows[i];
  }
  *spare = std::move(current);
  *picked_rows = std::move(other);
  return picked;
}

// The pool road's sort. The filters are grouped so that each group's value counts multiply to at
// most 2^30 - 1, which for the usual few key columns is one group: one mixed-radix key per row and
// one parallel radix sort, which also flags where the key changes (starts). Several groups are
// sorted one after another, each stably on the previous order, and leave no flags. Same order as
// the serial road: last filter first, ties by the one before it, ties in set order.
struct PoolSort {
  ZpkBlock<int> sorted;
  ZpkBlock<int> other;    // n rows of work memory
  ZpkBlock<char> starts;  // n + 1 run-start flags, or none
};

void SortOnPool(const KeyFilters& keys, int n, const int* set_rows, PoolSort* sort) {
  std::vector<SortKeyColumn> columns(static_cast<size_t>(keys.count));
  std::vector<_SORT_FILT_INFO> entries(static_cast<size_t>(keys.count));
  for (int f = 0; f < keys.count; ++f) {
    columns[static_cast<size_t>(f)] = {keys.vno[f], keys.values[f]};
    entries[static_cast<size_t>(f)] = {keys.vno[f], keys.values[f], 0, 0};
  }
  const std::vector<_FILT_GRP_> groups = SortColumnGroups(keys.count, columns.data());
  sort->sorted = ZpkBlock<int>(static_cast<size_t>(n));
  sort->other = ZpkBlock<int>(static_cast<size_t>(n));
  if (groups.size() == 1) sort->starts = ZpkBlock<char>(static_cast<size_t>(n) + 1);
  const int* src = set_rows;
  for (const _FILT_GRP_& group : groups) {
    MppIntegratedCountingSort(group.count, n, src, sort->other.get(), entries.data() + group.first, nullptr,
                              nullptr, sort->starts.get());
    std::swap(sort->sorted, sort->other);
    src = sort->sorted.get();
  }
  // The sort flags only changes of key; the first run starts at position 0 all the same.
  if (sort->starts) sort->starts[0] = 1;
}

[[noreturn]] void InnerEngineFailure() {
  PutErrorLog(kName, Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
  throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
}

// Registers count rows as a new set, as AddSetFromRows would (same ring entry on a set overflow),
// but copied on the pool and without checking rows that come from one of the table's sets.
int RegisterOnPool(TRealTable* table, int count, int* rows) {
  const int id = AddLentRows(rows, count, [&](TSetArray* lent) { return table->MppAddSet(lent); });
  if (id == Q7_ERROR_SET_COUNT_OVERFLOW)
    PutErrorLog("AddSet", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
  return id;
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

  const int* set_rows = set->PIntAr();
  const size_t marks_size = static_cast<size_t>(table->TotalRecs()) + 1;
  if (n >= kUniqueParallelMinRows) {
    PoolSort sort;
    SortOnPool(keys, n, set_rows, &sort);
    const int* sorted = sort.sorted.get();
    const char* starts = sort.starts.get();
    int* result = sort.other.get();
    int picked = 0;
    int result_count = 0;
    if (keep_order == 0) {
      picked = starts ? MppPickRunStarts(n, sorted, starts, result)
                      : MppPickUniqueSorted(n, sorted, keys.count, keys.vno, result);
      result_count = picked;
    } else {
      ZpkBlock<unsigned char> marks(marks_size);
      MppMemSet(marks.get(), 0, static_cast<long>(marks_size));
      if (starts) {
        result_count = MppKeepSetOrderOfRunStarts(n, set_rows, sorted, starts, marks.get(), result, &picked);
      } else {
        picked = MppPickUniqueSorted(n, sorted, keys.count, keys.vno, result);
        // The sorted rows are no longer needed: the set's order is rebuilt into their buffer.
        result_count = MppKeepSetOrder(n, set_rows, picked, result, marks.get(), sort.sorted.get());
        result = sort.sorted.get();
      }
      // More rows than picked: a picked record stands twice in the set.
      if (result_count != picked) InnerEngineFailure();
    }
    return RegisterOnPool(table, result_count, result);
  }

  ZpkBlock<int> kept;
  ZpkBlock<int> spare;
  const int picked = PickSerial(keys, n, set_rows, &spare, &kept);
  if (keep_order == 0) return table->AddSetFromRows(picked, kept.get());
  ZpkBlock<unsigned char> marks(marks_size);
  memset(marks.get(), 0, marks_size);
  for (int i = 0; i < picked; ++i) marks[static_cast<size_t>(kept[static_cast<size_t>(i)])] = 1;
  int* ordered = spare.get();
  int result_count = 0;
  for (int i = 0; i < n; ++i) {
    if (marks[static_cast<size_t>(set_rows[i])] != 0) ordered[result_count++] = set_rows[i];
  }
  if (result_count != picked) InnerEngineFailure();
  return table->AddSetFromRows(result_count, ordered);
}

}  // namespace

int innerQ7ExtractUniqueReal(int, int table_id, int set_id, const int* filter_ids, int keep_order) {
  try {
    return ChangedOnSuccess(Changes::kSets, ExtractUnique(table_id, set_id, filter_ids, keep_order));
  } catch (const OpRefusal& e) {
    return e.ErrorCode();
  } catch (const CQ7Exception&) {
    throw;  // the exported frame records it
  } catch (...) {
    return CurrentFailureCode();
  }
}
