// Sorts of a real table's sets: by one filter's value numbers (serially and on the worker pool),
// by record number, and by several filters at once. Each registers its result as a new current set.
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "database/NoSuchTexts.h"
#include "database/SortForMultiItem.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "kernels/CountingSort.h"
#include "kernels/MppCountingSort.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

// ---- Tables that cannot sort ----

int TBaseTable::SortByField(int, int, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::MppSortByField(int, int, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::SortByRecNo(int, int, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::MppIntegratedSortByField(int, const int*, const int*) { return 0; }

namespace {

// Runs a sort body and turns what it throws into the code the caller returns.
template <class Body>
int Guarded(Body body) {
  try {
    return body();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (const std::bad_alloc&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}

// Registers (as AddSet would, overflow included) a new set of the source's size and attribute
// block whose rows the sort writes next: the sort overwrites every row, so copying the source's
// rows first would be wasted. Returns the new ID with the set in *target, or the overflow code.
int RegisterSortTarget(TRealTable* table, TSetArray* source, TSetArray** target) {
  if (table->FnSet >= TRealTable::kMaxSets) {
    PutErrorLog("AddSet", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  auto set = std::make_unique<TSetArray>(source->FArraySize, 0);
  memcpy(set->FUserArea, source->FUserArea, sizeof set->FUserArea);
  const int id = table->AddSetWithoutCopy(set.get());
  if (id < 0) return id;
  *target = set.release();
  return id;
}

// The frame shared by the sorts by one key: registers the target, lets `sort` fill it from the
// source's n > 0 rows, and removes the target again when the sort fails.
template <class Sort>
int SortIntoNewSet(TRealTable* table, TSetArray* source, Sort sort) {
  const int previous = table->FCurrentSetID;
  TSetArray* target = nullptr;
  const int id = RegisterSortTarget(table, source, &target);
  if (id < 0) return id;
  const int n = source->FArraySize;
  if (n > 0) {
    const int rc = Guarded([&] {
      sort(n, source->PIntAr(), target->PIntAr());
      return 0;
    });
    if (rc < 0) {
      // The failed sort leaves the sets as they were; only the set ID it took stays used.
      table->DelSet(id);
      table->SetCurrentSetID(previous);
      return rc;
    }
  }
  table->SetCurrentSetID(id);
  return id;
}

int SortByValue(TRealTable* table, bool parallel, int filter_id, int set_id, int dir) {
  const char* name = parallel ? "MppSortByField" : "SortByField";
  TFilter* filter = table->GetFilter(filter_id);
  if (filter == nullptr) {
    PutErrorLog(name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  TSetArray* source = table->GetSet(set_id);
  if (source == nullptr) {
    PutErrorLog(name, Q7_ERROR_NO_SUCH_SET,
                NoSuchSetText(set_id, parallel ? Blank::kTrailing : Blank::kNone));
    return Q7_ERROR_NO_SUCH_SET;
  }
  return Guarded([&] {
    // Pending values hold negative value numbers, which a counting sort cannot take.
    table->CheckMergeFilterTVL(true);
    const int* vno = filter->PV->PIntAr();
    const int n_values = filter->VL->FArraySize;
    return SortIntoNewSet(table, source, [&](int n, const int* rows, int* out) {
      if (!parallel) {
        CountingSort(dir, n, rows, out, vno, n_values);
        return;
      }
      // Some paths of the parallel sort would take any nonzero dir as descending.
      if (dir != 0 && dir != 1) {
        PutErrorLog("MppSortByField", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Dir");
        throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
      }
      MppCountingSort(dir, n, rows, out, vno, n_values, 0);
    });
  });
}

}  // namespace

int TRealTable::SortByField(int filter_id, int set_id, int dir) {
  return SortByValue(this, false, filter_id, set_id, dir);
}

int TRealTable::MppSortByField(int filter_id, int set_id, int dir) {
  return SortByValue(this, true, filter_id, set_id, dir);
}

int TRealTable::SortByRecNo(int, int set_id, int dir) {
  TSetArray* source = GetSet(set_id);
  if (source == nullptr) return Q7_ERROR_NO_SUCH_SET;
  const int max = TotalRecs();
  return Guarded([&] {
    return SortIntoNewSet(this, source,
                          [&](int n, const int* rows, int* out) { BitMapSort(dir, max, n, rows, out); });
  });
}

int TRealTable::MppIntegratedSortByField(int set_id, const int* filter_ids, const int* dirs) {
  return Guarded([&] {
    std::vector<TFilter*> filters;
    for (int i = 0; filter_ids != nullptr && i < kMaxFilters && filter_ids[i] > 0; ++i) {
      TFilter* filter = GetFilter(filter_ids[i]);
      if (filter == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_FILTER);
      filters.push_back(filter);
    }
    TSetArray* source = GetSet(set_id);
    if (source == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_SET);
    if (filters.empty() || dirs == nullptr) {
      PutErrorLog("MppIntegratedSortByField", Q7_ERROR_INVALID_PARAMETER,
                  filters.empty() ? "Invalid Parameter : FilterIDs" : "Invalid Parameter : Dirs");
      return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    }

    const int n = source->FArraySize;
    ZpkBlock<int> sorted;
    if (n > 0) {
      int* rows = nullptr;
      const int rc = SortForMultiItem(static_cast<int>(filters.size()), n, source->PIntAr(), filters.data(),
                                      dirs, &rows, nullptr, 0, 0);
      if (rc < 0) return rc;
      sorted.Reset(rows);
    }
    std::unique_ptr<TSetArray> set;
    if (n > 0) {
      set.reset(new TSetArray());
      set->FData = sorted.Release();
      set->FArraySize = n;
      set->FAllocSize = n;
    } else {
      set = std::make_unique<TSetArray>(0, 0);
    }
    const int id = AddSetWithoutCopy(set.get());
    if (id >= 0) set.release();
    return id;
  });
}
