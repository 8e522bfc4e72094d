// Search and sort operations of the operation layer: the serial roads of the exported ones.
#include "api/ops/ops_search.h"

#include <cstdint>

#include "api/ops/CharCodeChecks.h"
#include "api/ops/OpCommon.h"
#include "database/SearchCodes.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/ZpkBlock.h"

namespace {

bool IsSortDirection(int dir) { return static_cast<unsigned>(dir) <= 1; }

// A search or sort that made a new set: the sets differ from what was saved.
int SetsChanged(int result) {
  MarkSetsChanged();
  return result;
}

}  // namespace

// The value search reads its bounds through the pointers without a length, so a null one that the
// code reads would be dereferenced below; codes above 11 are refused by the search itself.
void CheckSearchBounds(int op, const char* from, const char* to) {
  const int code = SearchCode(op);
  if (op < 0 || code > kLastSearchCode) return;
  if (from == nullptr && SearchReadsFrom(code)) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From");
  }
  if (to == nullptr && SearchReadsTo(code)) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : To");
  }
}

// ---- Searches ----

int innerQ7SearchByField(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  constexpr char kRing[] = "Q7SearchByField";
  return RunOp(kRing, [&] {
    CheckSearchBounds(op, from, to);
    TBaseTable* table = FindTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->SearchByField(filter_id, set_id, op, from, to)));
  });
}

int innerRQ7SearchByFieldSJIS(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  RequireShiftJisDatabase();
  return innerQ7SearchByField(table_id, filter_id, set_id, op, from, to);
}

int innerRQ7SearchByFieldLocale(int table_id, int filter_id, int set_id, int op, char* from, char* to,
                                int locale) {
  RequireLocaleOfDatabase(locale);
  return innerQ7SearchByField(table_id, filter_id, set_id, op, from, to);
}

int innerQ7SearchByFieldOf(HostValueKind kind, int table_id, int filter_id, int set_id, int op, char* from,
                           char* to) {
  constexpr char kRing[] = "Q7SearchByField";
  return RunOp(kRing, [&] {
    CheckSearchBounds(op, from, to);
    TBaseTable* table = FindTable(kRing, table_id);
    CheckValueKind(table, filter_id, kind);
    return SetsChanged(CheckInner(kRing, table->SearchByField(filter_id, set_id, op, from, to)));
  });
}

int innerQ7SearchByField2(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  constexpr char kRing[] = "Q7SearchByField2";
  return RunOp(kRing, [&] {
    // The second string form reads its bounds as texts too: a null one is no text to compare with.
    CheckSearchBounds(op, from, to);
    TBaseTable* table = FindTable(kRing, table_id);
    TFilter* filter = FindFilter(kRing, table, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
    int result;
    if (ArrayDataType(filter->VL) == Q7_TYPE_STRING) {
      result = table->SearchByField2(filter_id, set_id, op, from, to);
    } else {
      result = table->SearchByField(filter_id, set_id, op, from, to);
    }
    return SetsChanged(CheckInner(kRing, result));
  });
}

int innerQ7SearchByFieldWildCard(int table_id, int filter_id, int set_id, const char* pattern) {
  constexpr char kRing[] = "Q7SearchByFieldWildCard";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->SearchByFieldWildCard(filter_id, set_id, pattern)));
  });
}

int innerQ7Search(int table_id, int filter_id, int set_id, unsigned char* flags) {
  constexpr char kRing[] = "Q7Search";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->Search(filter_id, set_id, flags)));
  });
}

int innerQ7SearchByRowNo(int table_id, int a, int b, int c, int d, int e) {
  constexpr char kRing[] = "Q7SearchByRowNo";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->SearchByRecNo(a, b, c, d, e)));
  });
}

int innerQ7SearchByDispRowNoReal(int table_id, int set_id, int op, int from, int to) {
  constexpr char kRing[] = "Q7SearchByDispRowNoReal";
  return RunOp(kRing, [&] {
    TRealTable* table = FindRealTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->SearchByRowNo(set_id, op, from, to)));
  });
}

int innerQ7SearchByFieldNValues(int table_id, int filter_id, int set_id, int count, void* values) {
  constexpr char kRing[] = "innerQ7SearchByFieldNValues";
  return RunOp(kRing, [&] {
    if (count > 0 && values == nullptr) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values");
    }
    TBaseTable* table = FindTable(kRing, table_id);
    return CheckInner(kRing, table->SearchByFieldNValues(filter_id, set_id, count, values));
  });
}

// ---- Sorts ----

int innerQ7SortByField(int table_id, int filter_id, int set_id, int dir) {
  constexpr char kRing[] = "Q7SortByField";
  return RunOp(kRing, [&] {
    if (!IsSortDirection(dir)) RefuseSilently(Q7_ERROR_INVALID_PARAMETER);
    TBaseTable* table = FindTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->SortByField(filter_id, set_id, dir)));
  });
}

int innerQ7SortByRowNo(int table_id, int a, int b, int dir) {
  constexpr char kRing[] = "Q7SortByRowNo";
  return RunOp(kRing, [&] {
    if (!IsSortDirection(dir)) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SortDir");
    }
    TBaseTable* table = FindTable(kRing, table_id);
    return SetsChanged(CheckInner(kRing, table->SortByRecNo(a, b, dir)));
  });
}

// ---- Counts ----

int innerQ7GetValCount(int table_id, int filter_id, int set_id, int* counts) {
  constexpr char kRing[] = "Q7GetValCount";
  return RunOp(kRing, [&] {
    if (counts == nullptr) {
      Refuse(kRing, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_TABLE, "PCountAr = NULL!");
    }
    TBaseTable* table = FindTable(kRing, table_id);
    return CheckInner(kRing, table->CountN(set_id, filter_id, counts));
  });
}

int ServiceSortByNAs(const char* ring_name, int n, int* values, int* non_zero_count, int* non_zero_index,
                     int* order) {
  return RunOp(ring_name, [&] {
    if (order == nullptr || non_zero_count == nullptr || non_zero_index == nullptr) {
      Refuse(ring_name, Q7_ERROR_UNKNOWN, Q7_ERROR_UNKNOWN, "Output area not reserved");
    }
    if (n < 1) {
      *non_zero_count = 0;
      return 0;
    }
    // Every value is checked before anything is written: a negative one would index the count
    // array of the sort below outside its bounds.
    if (values == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values");
    int max = 0;
    for (int i = 0; i < n; ++i) {
      if (values[i] < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Values");
      if (values[i] > max) max = values[i];
    }

    // Sparse counts sort on their value numbers, which keep the counts' order in a dense range
    // (also the largest count, whose key range would not fit an int).
    const int* keys = values;
    int n_keys = 0;
    ZpkBlock<int> compiled;
    if (static_cast<int64_t>(max) > 20 * static_cast<int64_t>(n) || max == INT32_MAX) {
      void* list = nullptr;  // the distinct counts themselves are not needed
      Compile(n, Q7_TYPE_INTEGER, 4, values, compiled.Out(), &n_keys, &list);
      zpk_free(list);
      keys = compiled.get();
    } else {
      n_keys = max + 1;
    }
    ZpkBlock<int> positions(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) positions[i] = i;
    CountingSort(1, n, positions.get(), order, keys, n_keys);

    int listed = 0;
    for (int i = 0; i < n; ++i) {
      if (values[i] != 0) non_zero_index[listed++] = i;
    }
    *non_zero_count = listed;
    return 0;
  });
}

int innerQ7ServiceSortByN(int n, int* values, int* non_zero_count, int* non_zero_index, int* order) {
  return ServiceSortByNAs("Q7ServiceSortByN", n, values, non_zero_count, non_zero_index, order);
}

// ---- Binary search with the caller's comparison ----

int FindPosByFunc(long (*cmp)(const void*, const void*), const void* key, _TFilterInfo* info, bool* found) {
  *found = false;
  const int64_t count = info->valueCount;
  if (count < 1) return -1;  // no element at all: none is at most the key
  const auto* base = static_cast<const char*>(info->values);
  const auto at = [&](int64_t k) { return base + static_cast<int64_t>(info->unit) * k; };
  int64_t step = 1;
  while (step < count) step <<= 1;
  int64_t pos = 0;
  for (;;) {
    if (cmp(at(pos), key) == 0) *found = true;
    if (pos + step < count && cmp(at(pos + step), key) <= 0) pos += step;
    if (step == 0) break;
    step >>= 1;
  }
  if (pos != 0) return static_cast<int>(pos);
  return cmp(at(0), key) > 0 ? -1 : 0;
}

int innerQ7SearchPosByFunc(long (*cmp)(const void*, const void*), const void* key, _TFilterInfo* info,
                           int* found) {
  return RunOp("Q7SearchPosByFunc", [&] {
    if (found != nullptr) *found = 0;
    if (cmp == nullptr || info == nullptr ||
        (info->valueCount > 0 && (info->values == nullptr || info->unit < 0))) {
      throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : FilterInfo");
    }
    bool hit = false;
    const int result = FindPosByFunc(cmp, key, info, &hit);
    if (found != nullptr) *found = hit ? 1 : 0;
    return result;
  });
}
