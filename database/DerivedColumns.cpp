// The columns that duplicating, extracting and combining real tables build.
#include "database/DerivedColumns.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ZpkAllocator.h"
#include "kernels/CountingSort.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

// The filter's arrays, refused when one is missing.
void RequireArrays(TFilter* filter) {
  if (filter->PV == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
}

// out[r] = the filter's value number of record rows[r] (through map, old number -> new, when one
// is given), for r < n, each record and number checked against the filter's arrays.
void GatherNumbers(TFilter* filter, const int* rows, int n, int* out, const int* map = nullptr) {
  const int* pv = filter->PV->PIntAr();
  const int records = filter->PV->FArraySize - 1;
  const int entries = filter->VL->FArraySize;
  for (int r = 0; r < n; ++r) {
    const int record = rows[r];
    if (record < 1 || record > records) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int v = pv[record];
    if (v < 0 || v >= entries) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    out[r] = map != nullptr ? map[v] : v;
  }
}

template <class Array>
std::unique_ptr<TBaseArray> SelectFixed(TBaseArray* list, const int* keep, int kept) {
  auto out = std::make_unique<Array>(kept, 0);
  const size_t unit = static_cast<size_t>(list->FUnitSize);
  const auto* src = static_cast<const unsigned char*>(list->FData);
  auto* dst = static_cast<unsigned char*>(out->FData);
  const int count = list->FArraySize;
  if (keep == nullptr) {
    if (count > 0) memcpy(dst, src, unit * static_cast<size_t>(count));
  } else {
    int k = 0;
    for (int i = 0; i < count; ++i) {
      if (keep[i] != 0)
        memcpy(dst + unit * static_cast<size_t>(k++), src + unit * static_cast<size_t>(i), unit);
    }
  }
  return out;
}

// Built from the texts themselves: a copy through CopyArray would compact the source's area.
std::unique_ptr<TBaseArray> SelectTexts(TBaseArray* list, const int* keep, int kept) {
  auto* texts = static_cast<TStrArray*>(list);
  ZpkBlock<char*> pointers(static_cast<size_t>(kept));
  const int count = list->FArraySize;
  int k = 0;
  for (int i = 0; i < count; ++i) {
    if (keep == nullptr || keep[i] != 0) pointers[static_cast<size_t>(k++)] = texts->GetPChar(i);
  }
  auto out = std::make_unique<TStrArray>(kept, pointers.get());
  pointers.Release();
  return out;
}

// A decimal list moved from `from` to the larger scale of `to`: the NULL entry, then every entry
// that fits, in order (scaling up is exact, so order and distinctness hold). map[i] receives entry
// i's new number, 0 for one that does not fit.
std::unique_ptr<TBaseArray> RaiseScale(TBaseArray* list, const NumericInfo& from, const NumericInfo& to,
                                       int* map) {
  const int count = list->FArraySize;
  auto out = std::make_unique<TNumericArray>(count > 0 ? count : 1, 0);
  const auto* in = static_cast<const Numeric*>(list->FData);
  auto* dst = static_cast<Numeric*>(out->FData);
  dst[0] = q7num::NanNumeric();
  int kept = 1;
  if (count > 0) map[0] = 0;
  for (int i = 1; i < count; ++i) {
    Numeric v;
    const int status = q7num::NumericRescale(&from, &to, &in[i], &v);
    if (q7num::IsNan(in[i]) || (status != Q7_NUMERIC_EXACT && status != Q7_NUMERIC_ROUNDED) ||
        q7num::IsNan(v)) {
      map[i] = 0;
      continue;
    }
    dst[kept] = v;
    map[i] = kept++;
  }
  out->SetArraySize(kept);
  out->AdjustMemArea();
  out->SetDecimalInfo(&to);
  return out;
}

// A value-number array for `rows` rows; only element 0 (not a row) is set, to 0.
std::unique_ptr<TIntArray> NewNumbers(int64_t rows) {
  if (rows >= INT32_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  auto numbers = std::make_unique<TIntArray>(static_cast<int>(rows) + 1, 0);
  numbers->PIntAr()[0] = 0;
  return numbers;
}

std::unique_ptr<TIntArray> Identity(int n) {
  auto map = std::make_unique<TIntArray>(n, 0);
  int* m = map->PIntAr();
  for (int i = 0; i < n; ++i) m[i] = i;
  return map;
}

NumericInfo DecimalInfo(TBaseArray* list) {
  NumericInfo info;
  static_cast<TNumericArray*>(list)->GetDecimalInfo(&info);
  return info;
}

}  // namespace

void RegisterAllRows(TRealTable* table, int n) {
  auto all = std::make_unique<TSetArray>(n, 0);
  all->InitAsSet();
  const int id = table->AddSetWithoutCopy(all.get());
  if (id < 0) throw CQ7Exception(id);
  all.release();
}

int RegisterCopyOfAllRows(TRealTable* table, TRealTable* source, bool parallel) {
  TSetArray* first = source->FnSet > 0 ? source->FSets[0] : nullptr;
  std::unique_ptr<TSetArray> all(
      first == nullptr ? new TSetArray(0, 0)
                       : static_cast<TSetArray*>(parallel ? first->MppCopyArray() : first->CopyArray()));
  const int id = table->AddSetWithoutCopy(all.get());
  if (id < 0) throw CQ7Exception(id);
  all.release();
  return id;
}

std::unique_ptr<TBaseArray> SelectValueList(TBaseArray* list, const int* keep) {
  const int count = list->FArraySize;
  int kept = count;
  if (keep != nullptr) {
    kept = 0;
    for (int i = 0; i < count; ++i) kept += keep[i] != 0 ? 1 : 0;
  }
  std::unique_ptr<TBaseArray> out;
  switch (ArrayDataType(list)) {
    case Q7_TYPE_INTEGER:
      out = SelectFixed<TIntArray>(list, keep, kept);
      break;
    case Q7_TYPE_DOUBLE:
      out = SelectFixed<TDoubleArray>(list, keep, kept);
      break;
    case Q7_TYPE_DECIMAL:
      out = SelectFixed<TNumericArray>(list, keep, kept);
      break;
    case Q7_TYPE_STRING:
      out = SelectTexts(list, keep, kept);
      break;
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
  CopyListAttributes(list, out.get());
  return out;
}

DerivedColumn CopyColumn(TFilter* filter) {
  RequireArrays(filter);
  DerivedColumn column;
  column.numbers.reset(static_cast<TIntArray*>(filter->PV->CopyArray()));
  column.list = SelectValueList(filter->VL, nullptr);
  return column;
}

DerivedColumn ExtractColumn(TFilter* filter, const int* rows, int n) {
  RequireArrays(filter);
  DerivedColumn column;
  column.numbers = NewNumbers(n);
  int* out = column.numbers->PIntAr() + 1;
  GatherNumbers(filter, rows, n, out);
  const int entries = filter->VL->FArraySize;
  if (int64_t{n} >= int64_t{entries} * 3 / 4) {
    column.list = SelectValueList(filter->VL, nullptr);
    return column;
  }
  // Fewer rows than entries: the new table carries only the values its rows hold (and NULL).
  ZpkVector<int> used(static_cast<size_t>(entries), 0);  // as long as the list, on a worker
  used[0] = 1;
  for (int r = 0; r < n; ++r) used[static_cast<size_t>(out[r])] = 1;
  column.list = SelectValueList(filter->VL, used.data());
  Aggregate(0, entries, used.data(), used.data());
  for (int r = 0; r < n; ++r) out[r] = used[static_cast<size_t>(out[r])];
  return column;
}

DerivedColumn CombineColumn(TFilter* a, const int* rows_a, int n_a, TFilter* b, const int* rows_b, int n_b) {
  if (a != nullptr) RequireArrays(a);
  if (b != nullptr) RequireArrays(b);
  DerivedColumn column;
  column.numbers = NewNumbers(int64_t{n_a} + n_b);
  int* out_a = column.numbers->PIntAr() + 1;
  int* out_b = out_a + n_a;
  // A side without a filter is NULL (value number 0) in its rows.
  if (b == nullptr) {
    GatherNumbers(a, rows_a, n_a, out_a);
    memset(out_b, 0, sizeof(int) * static_cast<size_t>(n_b));
    column.list = SelectValueList(a->VL, nullptr);
    return column;
  }
  if (a == nullptr) {
    memset(out_a, 0, sizeof(int) * static_cast<size_t>(n_a));
    GatherNumbers(b, rows_b, n_b, out_b);
    column.list = SelectValueList(b->VL, nullptr);
    return column;
  }

  // The merge works on private copies only: its identity test may compact a string area, and the
  // sources may be read by other builders meanwhile. The maps take each side's numbers to the
  // merged list.
  std::unique_ptr<TIntArray> map_a = Identity(a->VL->FArraySize);
  std::unique_ptr<TIntArray> map_b = Identity(b->VL->FArraySize);
  std::unique_ptr<TBaseArray> list_a;
  std::unique_ptr<TBaseArray> list_b;
  const bool decimal = ArrayDataType(a->VL) == Q7_TYPE_DECIMAL && ArrayDataType(b->VL) == Q7_TYPE_DECIMAL;
  NumericInfo info{};
  if (decimal) {
    const NumericInfo info_a = DecimalInfo(a->VL);
    const NumericInfo info_b = DecimalInfo(b->VL);
    info = info_b.scale > info_a.scale ? info_b : info_a;
    if (info_a.scale < info.scale) list_a = RaiseScale(a->VL, info_a, info, map_a->PIntAr());
    if (info_b.scale < info.scale) list_b = RaiseScale(b->VL, info_b, info, map_b->PIntAr());
  }
  if (!list_a) list_a = SelectValueList(a->VL, nullptr);
  if (!list_b) list_b = SelectValueList(b->VL, nullptr);

  TBaseArray* merged = nullptr;
  AccommodationMain(map_a.get(), list_a.get(), map_b.get(), list_b.get(), &merged);
  column.list.reset(merged != nullptr ? merged : list_a.release());
  CopyListAttributes(a->VL, column.list.get());
  if (decimal) static_cast<TNumericArray*>(column.list.get())->SetDecimalInfo(&info);

  GatherNumbers(a, rows_a, n_a, out_a, map_a->PIntAr());
  GatherNumbers(b, rows_b, n_b, out_b, map_b->PIntAr());
  return column;
}
