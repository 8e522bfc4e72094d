// Duplicating a filter (unchanged or converted into another value type) and condensing filters
// (dropping the value-list entries that no record uses any more).
#include <cstring>
#include <memory>
#include <vector>

#include "database/CompiledValueList.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/ZpkAllocator.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/MppCompile.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/TypeConv.h"
#include "values/ValueListShare.h"
#include "values/ZpkBlock.h"

namespace {

// ---- Whole-list conversions by type pair ----

// One whole-list converter behind a common signature: the source list, the destination buffer
// (ints, doubles or text pointers), the text area (STRING targets) and the decimal destination.
using WholeListConv = void (*)(TBaseArray* src, void* dst, char* area, TNumericArray* dec);

template <class S, class D, void (*F)(S*, D*)>
void ToBuffer(TBaseArray* src, void* dst, char*, TNumericArray*) {
  F(static_cast<S*>(src), static_cast<D*>(dst));
}
template <class S, void (*F)(S*, char**, char*)>
void ToText(TBaseArray* src, void* dst, char* area, TNumericArray*) {
  F(static_cast<S*>(src), static_cast<char**>(dst), area);
}
template <class S, void (*F)(S*, TNumericArray*)>
void ToDecimal(TBaseArray* src, void*, char*, TNumericArray* dec) {
  F(static_cast<S*>(src), dec);
}

struct ConvEntry {
  int src;
  int dst;
  WholeListConv conv;
};

using I = TIntArray;
using D = TDoubleArray;
using S = TStrArray;
using N = TNumericArray;

// Every pair of distinct value types, and DECIMAL to DECIMAL (a change of scale or mode).
constexpr ConvEntry kWholeListConvs[] = {
    {3, 2, ToBuffer<D, int, dblVL2intVL>},
    {4, 2, ToBuffer<D, int, dateVL2intVL>},
    {5, 2, ToBuffer<D, int, timeVL2intVL>},
    {7, 2, ToBuffer<D, int, datetimeVL2intVL>},
    {6, 2, ToBuffer<S, int, strVL2intVL>},
    {8, 2, ToBuffer<N, int, decVL2intVL>},
    {2, 3, ToBuffer<I, double, intVL2dblVL>},
    {4, 3, ToBuffer<D, double, dateVL2dblVL>},
    {5, 3, ToBuffer<D, double, timeVL2dblVL>},
    {7, 3, ToBuffer<D, double, datetimeVL2dblVL>},
    {6, 3, ToBuffer<S, double, strVL2dblVL>},
    {8, 3, ToBuffer<N, double, decVL2dblVL>},
    {2, 4, ToBuffer<I, double, intVL2dateVL>},
    {3, 4, ToBuffer<D, double, doubleVL2dateVL>},
    {5, 4, ToBuffer<D, double, timeVL2dateVL>},
    {7, 4, ToBuffer<D, double, datetimeVL2dateVL>},
    {6, 4, ToBuffer<S, double, strVL2dateVL>},
    {8, 4, ToBuffer<N, double, decVL2dateVL>},
    {2, 5, ToBuffer<I, double, intVL2timeVL>},
    {3, 5, ToBuffer<D, double, doubleVL2timeVL>},
    {4, 5, ToBuffer<D, double, dateVL2timeVL>},
    {7, 5, ToBuffer<D, double, datetimeVL2timeVL>},
    {6, 5, ToBuffer<S, double, strVL2timeVL>},
    {8, 5, ToBuffer<N, double, decVL2timeVL>},
    {2, 7, ToBuffer<I, double, intVL2datetimeVL>},
    {3, 7, ToBuffer<D, double, doubleVL2datetimeVL>},
    {4, 7, ToBuffer<D, double, dateVL2datetimeVL>},
    {5, 7, ToBuffer<D, double, timeVL2datetimeVL>},
    {6, 7, ToBuffer<S, double, strVL2datetimeVL>},
    {8, 7, ToBuffer<N, double, decVL2datetimeVL>},
    {2, 6, ToText<I, intVL2strVL>},
    {3, 6, ToText<D, doubleVL2strVL>},
    {4, 6, ToText<D, dateVL2strVL>},
    {5, 6, ToText<D, timeVL2strVL>},
    {7, 6, ToText<D, datetimeVL2strVL>},
    {8, 6, ToText<N, decVL2strVL>},
    {2, 8, ToDecimal<I, intVL2decVL>},
    {3, 8, ToDecimal<D, dblVL2decVL>},
    {4, 8, ToDecimal<D, dateVL2decVL>},
    {5, 8, ToDecimal<D, timeVL2decVL>},
    {7, 8, ToDecimal<D, datetimeVL2decVL>},
    {6, 8, ToDecimal<S, strVL2decVL>},
    {8, 8, ToDecimal<N, decVL2decVL>},
};

WholeListConv FindWholeListConv(int src, int dst) {
  for (const ConvEntry& e : kWholeListConvs) {
    if (e.src == src && e.dst == dst) return e.conv;
  }
  return nullptr;
}

int BasicType(int type) {
  return type == Q7_TYPE_DATE || type == Q7_TYPE_TIME || type == Q7_TYPE_DATETIME ? Q7_TYPE_DOUBLE : type;
}

// A filter's value list converted into another value type and compiled: the new list and, per
// old value number, the new one.
struct ConvertedList {
  std::unique_ptr<TBaseArray> list;
  ZpkBlock<int> map;
};

// Converts every entry of `source` (value type src_type) to dst_type, serially with the whole-list
// converters or on the worker pool, and compiles the result. A DECIMAL target takes `info`. Work
// arrays are freed on every path; failures are thrown.
ConvertedList ConvertList(TBaseArray* source, int src_type, int dst_type, const NumericInfo& info,
                          bool parallel) {
  const int n = source->FArraySize;
  const int basic = BasicType(dst_type);
  ZpkBlock<unsigned char> buffer;
  ZpkBlock<char> area;
  std::unique_ptr<TNumericArray> decimals;
  const void* raw = nullptr;
  if (dst_type == Q7_TYPE_DECIMAL) {
    decimals = std::make_unique<TNumericArray>(n, 0);
    decimals->SetDecimalInfo(&info);
    raw = decimals->FData;
  } else {
    buffer.Reset(static_cast<unsigned char*>(zpk_malloc(static_cast<size_t>(ValueTypeWidth(basic)) * n)));
    raw = buffer.get();
    if (dst_type == Q7_TYPE_STRING) {
      area.Reset(static_cast<char*>(zpk_malloc(static_cast<size_t>(TypeConvTextWidth(src_type)) * n)));
    }
  }
  if (parallel) {
    DoTypeConv(n, src_type, dst_type, source, buffer.get(), area.get(), decimals.get());
  } else {
    FindWholeListConv(src_type, dst_type)(source, buffer.get(), area.get(), decimals.get());
  }

  ConvertedList out;
  int count = 0;
  void* block = nullptr;
  if (parallel) {
    MppCompile(n, basic, ValueTypeWidth(basic), raw, out.map.Out(), &count, &block);
  } else {
    Compile(n, basic, ValueTypeWidth(basic), raw, out.map.Out(), &count, &block);
  }
  // The string list copies the texts out of the area here, before the area is freed.
  out.list.reset(AdoptCompiledList(dst_type, count, block));
  if (dst_type == Q7_TYPE_DECIMAL) static_cast<TNumericArray*>(out.list.get())->SetDecimalInfo(&info);
  return out;
}

// ---- Naming the duplicate ----

// Where a duplicate's refusals are recorded (null: nowhere) and with which texts.
struct DupTexts {
  const char* log_name;
  const char* no_name;   // FilterID2Name found no filter
  const char* bad_name;  // GenFilterName refused
};

constexpr DupTexts kDupFilterTexts{"DupFilter", "Failed to get FilterName ( FilterID2Name module )",
                                   "Illegal FilterName"};
constexpr DupTexts kDupFilterExTexts{"DupFilterEx", "Failed to get NewFilterName ( FilterID2Name module )",
                                     "Failed to get NewFilterName ( GenFilterName module )"};
constexpr DupTexts kMppDupFilterExTexts{nullptr, "", ""};

// The unique name of the duplicate (into name, kNameSize bytes) and the source filter; 0, or the
// refusal's code.
int NameDuplicate(TRealTable* table, const DupTexts& texts, int filter_id, char* name, TFilter** source) {
  char table_name[TRealTable::kNameSize];
  char filter_name[TFilter::kNameSize];
  table->FilterID2Name(filter_id, table_name, filter_name);
  if (filter_name[0] == '\0') {
    if (texts.log_name != nullptr) PutErrorLog(texts.log_name, Q7_ERROR_NO_SUCH_FILTER, texts.no_name);
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  const int rc = table->GenFilterName(filter_name, name);
  if (rc < 0) {
    if (texts.log_name != nullptr) PutErrorLog(texts.log_name, rc, texts.bad_name);
    return rc;
  }
  *source = table->GetFilter(filter_id);
  if (*source == nullptr) {
    if (texts.log_name != nullptr) {
      PutErrorLog(texts.log_name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    }
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  return 0;
}

// ---- Condensing ----

// Moves the entries whose used flag is set to the front of the list, in order, and sets the count.
// A string list gets a new area of exactly the kept texts. Throws (out of memory) with the list
// unchanged.
void CompactList(TBaseArray* list, int type, const int* used) {
  const int count = list->FArraySize;
  int kept = 0;
  if (type == Q7_TYPE_STRING) {
    auto* texts = static_cast<TStrArray*>(list);
    uint64_t* offsets = texts->Offsets();
    int64_t total = 0;
    for (int i = 0; i < count; ++i) {
      if (used[i]) total += static_cast<int64_t>(strlen(texts->FStrArea + offsets[i])) + 1;
    }
    char* area = static_cast<char*>(zpk_malloc(static_cast<size_t>(total)));
    int64_t pos = 0;
    for (int i = 0; i < count; ++i) {
      if (!used[i]) continue;
      const char* text = texts->FStrArea + offsets[i];
      const size_t bytes = strlen(text) + 1;
      memcpy(area + pos, text, bytes);
      offsets[kept++] = static_cast<uint64_t>(pos);
      pos += static_cast<int64_t>(bytes);
    }
    zpk_free(texts->FStrArea);
    texts->FStrArea = area;
    texts->FStrAreaSize = total;
    texts->FPCLast = total;
    texts->FCompact = 1;
  } else {
    const size_t unit = static_cast<size_t>(list->FUnitSize);
    auto* data = static_cast<unsigned char*>(list->FData);
    for (int i = 0; i < count; ++i) {
      if (!used[i]) continue;
      if (kept != i) memcpy(data + unit * kept, data + unit * i, unit);
      ++kept;
    }
  }
  list->FArraySize = kept;
}

}  // namespace

// ---- Duplicating ----

int TRealTable::DupFilter(int filter_id) {
  char name[TFilter::kNameSize];
  TFilter* source = nullptr;
  const int rc = NameDuplicate(this, kDupFilterTexts, filter_id, name, &source);
  if (rc < 0) return rc;
  if (FLastFilterID == INT32_MAX) {
    PutErrorLog("AddFilter", Q7_ERROR_FILTER_COUNT_OVERFLOW, "FilterCount overflow");
    return Q7_ERROR_FILTER_COUNT_OVERFLOW;
  }
  CheckMergeFilterTVL(false);
  std::unique_ptr<TFilter> copy(source->CopyFilter(FLastFilterID + 1, name));
  return AddFilterAfter(filter_id, name, &copy->PV, &copy->VL);
}

int TRealTable::AddFilterAfter(int source_id, char* name, TIntArray** value_numbers,
                               TBaseArray** value_list) {
  const int id = AddFilter(FilterID2Pos(source_id) + 1, name, *value_numbers, *value_list, false, 0, -1);
  if (id > 0) {
    *value_numbers = nullptr;
    *value_list = nullptr;
  }
  return id;
}

int TRealTable::DupFilterEx(int filter_id, int type, int scale, int rounding_mode) {
  return DuplicateConverted(filter_id, type, scale, rounding_mode, false);
}

int TRealTable::MppDupFilterEx(int filter_id, int type) {
  return DuplicateConverted(filter_id, type, TNumericArray::kDefaultScale,
                            TNumericArray::kDefaultRoundingMode, true);
}

int TRealTable::DuplicateConverted(int filter_id, int type, int scale, int rounding_mode, bool parallel) {
  // The serial form records its refusals under its own name; the parallel one records nothing of
  // its own.
  const char* log_name = parallel ? nullptr : "DupFilterEx";
  auto refuse = [log_name](int code, const char* message) {
    if (log_name != nullptr) PutErrorLog(log_name, code, message);
    return code;
  };
  if (!parallel && FnFilter >= kMaxFilters)
    return refuse(Q7_ERROR_FILTER_COUNT_OVERFLOW, "FilterCount overflow");
  if (type == -1) return DupFilter(filter_id);
  if (type < Q7_TYPE_INTEGER || type > Q7_TYPE_DECIMAL) {
    if (log_name != nullptr) refuse(Q7_ERROR_INVALID_DATA_TYPE, getString("Illegal data type  : %d", type));
    throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
  char name[TFilter::kNameSize];
  TFilter* source = nullptr;
  const int rc =
      NameDuplicate(this, parallel ? kMppDupFilterExTexts : kDupFilterExTexts, filter_id, name, &source);
  if (rc < 0) return rc;
  int src_type = 0;
  try {
    src_type = ArrayDataTypeEx(source->VL);
  } catch (const CQ7Exception&) {
    refuse(Q7_ERROR_INVALID_DATA_TYPE, "Invalid data type");
    throw;
  }
  const NumericInfo info{scale, rounding_mode};
  if (src_type == type) {
    bool same = true;
    if (type == Q7_TYPE_DECIMAL && !parallel) {
      NumericInfo own;
      static_cast<TNumericArray*>(source->VL)->GetDecimalInfo(&own);
      same = own.scale == scale && own.roundingMode == rounding_mode;
    }
    if (same) return DupFilter(filter_id);
  }
  CheckMergeFilterTVL(parallel);

  ConvertedList converted;
  std::unique_ptr<TIntArray> numbers;
  try {
    converted = ConvertList(source->VL, src_type, type, info, parallel);
    const int size = source->PV->FArraySize;
    numbers = std::make_unique<TIntArray>(size, 0);
    const int* old_numbers = source->PV->PIntAr();
    int* new_numbers = numbers->PIntAr();
    const int* map = converted.map.get();
    for (int r = 0; r < size; ++r) new_numbers[r] = map[old_numbers[r]];
  } catch (const CQ7Exception& e) {
    if (e.ErrorCode() == Q7_ERROR_OUT_OF_MEMORY) refuse(Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
    throw;
  }
  TIntArray* pv = numbers.release();
  TBaseArray* vl = converted.list.release();
  const int id = AddFilterAfter(filter_id, name, &pv, &vl);
  delete pv;  // still here only when the filter was refused
  delete vl;
  return id;
}

// ---- Condensing ----

int TRealTable::CondenseValueList(TFilter* filter, bool lent) {
  // Every record must be on a number of the list itself before unused entries can be told.
  filter->MergeTVL(false);
  TBaseArray* list = filter->VL;
  TIntArray* pv = filter->PV;
  if (list == nullptr || pv == nullptr) return 0;
  const int type = ArrayDataType(list);
  if (type != Q7_TYPE_INTEGER && type != Q7_TYPE_DOUBLE && type != Q7_TYPE_STRING &&
      type != Q7_TYPE_DECIMAL) {
    return Q7_ERROR_ILLEGAL_FILTER_TYPE;
  }
  // Arrays that lie in a shared-memory image are never written, and a list that another filter
  // borrows keeps its numbering for that filter.
  if (list->FNotOwned || pv->FNotOwned || lent) return 0;
  const int count = list->FArraySize;
  const int size = pv->FArraySize;
  if (count == 0) return 0;

  int* numbers = pv->PIntAr();
  // As long as the list, and filled on a worker when tables are condensed in parallel.
  ZpkVector<int> used(static_cast<size_t>(count), 0);
  used[0] = 1;  // the NULL stays even when no record holds it
  for (int r = 0; r < size; ++r) {
    const int v = numbers[r];
    if (v < 0 || v >= count) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    if (r > 0) used[static_cast<size_t>(v)] = 1;
  }
  int kept = 0;
  for (int u : used) kept += u;
  if (kept == count) return 0;

  // A list that another column holds (or that this filter only borrows) is not compacted under
  // that column: this filter condenses a copy of its own.
  std::unique_ptr<TBaseArray> own;
  if (filter->FSharedVL || ValueListHolders(list) > 1) {
    own.reset(list->CopyArray());
    CopyListAttributes(list, own.get());
    list = own.get();
  }
  CompactList(list, type, used.data());
  if (own) filter->ReplaceValueList(own.release());
  Aggregate(0, count, used.data(), used.data());
  for (int r = 0; r < size; ++r) numbers[r] = used[static_cast<size_t>(numbers[r])];
  // Last: a failed trim leaves the larger block, and the filter is consistent either way.
  list->AdjustMemArea();
  return 0;
}

int TRealTable::CondenseFilterAt(int position) {
  TFilter* filter = FFilters[position];
  bool lent = false;
  for (int i = 0; i < FnFilter && !lent; ++i) {
    lent = i != position && FFilters[i]->FSharedVL && FFilters[i]->VL == filter->VL;
  }
  return CondenseValueList(filter, lent);
}

int TRealTable::CondenseFilter(int filter_id) {
  const int pos = FilterID2Pos(filter_id);
  if (pos < 0) return Q7_ERROR_NO_SUCH_FILTER;
  return CondenseFilterAt(pos);
}

int TRealTable::CondenseTable() {
  for (int i = 0; i < FnFilter; ++i) {
    const int rc = CondenseFilterAt(i);
    if (rc < 0) return rc;
  }
  return 0;
}
