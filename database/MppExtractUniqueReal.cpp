// Parallel extraction of unique rows of a real table's set into a new set.
#include "database/MppExtractUniqueReal.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "database/LentRows.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "kernels/MppCountingSort.h"
#include "kernels/MppExtractUnique.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

struct UniqueKeys {
  const int* vno[TRealTable::kMaxFilters];
  int values[TRealTable::kMaxFilters];
  int count = 0;
};

// Sorts, picks and registers; throws what the kernels and allocations throw.
int ExtractSorted(TRealTable* table, TSetArray* set, const UniqueKeys& keys, int keep_order) {
  const int n = set->FArraySize;
  const size_t rows = static_cast<size_t>(n);
  ZpkBlock<int> current(rows);
  ZpkBlock<int> other(rows);
  std::memcpy(current.get(), set->PIntAr(), sizeof(int) * rows);
  // Stable passes from the first filter to the last: the last filter ends up deciding first.
  for (int f = 0; f < keys.count; ++f) {
    MppCountingSort(0, n, current.get(), other.get(), keys.vno[f], keys.values[f], 1);
    std::swap(current, other);
  }
  int* kept = other.get();
  const int picked = MppPickUniqueSorted(n, current.get(), keys.count, keys.vno, kept);

  int result_count = picked;
  if (keep_order != 0) {
    const size_t marks_size = static_cast<size_t>(table->TotalRecs()) + 1;
    ZpkBlock<unsigned char> marks(marks_size);
    MppMemSet(marks.get(), 0, static_cast<long>(marks_size));
    // The sorted rows are no longer needed: the set's order is rebuilt into their buffer.
    result_count = MppKeepSetOrder(n, set->PIntAr(), picked, kept, marks.get(), current.get());
    if (result_count != picked) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
    kept = current.get();
  }
  return AddLentRows(kept, result_count, [&](TSetArray* lent) { return table->AddSet(lent); });
}

}  // namespace

int MppExtractUniqueReal(int table_id, int set_id, const int* filter_ids, int keep_order) {
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  TBaseTable* base = tables == nullptr ? nullptr : tables->GetTable(table_id);
  if (base == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  if (base->GetTableKind() != 0) return Q7_ERROR_NOT_REAL_TABLE;
  auto* table = static_cast<TRealTable*>(base);
  try {
    table->CheckMergeFilterTVL(true);
    UniqueKeys keys;
    for (int i = 0; filter_ids != nullptr && filter_ids[i] >= 1; ++i) {
      if (i == TRealTable::kMaxFilters) return Q7_ERROR_INVALID_FILTER_LIST;
      TFilter* filter = table->GetFilter(filter_ids[i]);
      if (filter == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
      keys.vno[keys.count] = filter->PV->PIntAr();
      keys.values[keys.count] = filter->VL->FArraySize;
      ++keys.count;
    }
    if (keys.count == 0) return Q7_ERROR_INVALID_FILTER_LIST;
    TSetArray* set = table->GetSet(set_id);
    if (set == nullptr) return Q7_ERROR_NO_SUCH_SET;
    if (set->FArraySize == 0) return Q7_ERROR_EMPTY_SET;
    return ExtractSorted(table, set, keys, keep_order);
  } catch (const CQ7Exception&) {
    throw;
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}
