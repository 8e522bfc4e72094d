// The sorted view: building the order of one set by one filter, saving and loading it.
#include "database/TSortedSetArray.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "database/FindPosOfSortedSet.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/ValueSelection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "kernels/CountingSort.h"
#include "values/ArrayFunctions.h"
#include "values/ArrayRecord.h"
#include "values/Numeric.h"

TSortedSetArray::TSortedSetArray() = default;

namespace {
// The NULL count follows the rows; it must describe a prefix of them.
int32_t ReadNullCount(ArrayRecordReader& r, int rows) {
  int32_t nulls = 0;
  r.Read(&nulls, 4, 1);
  if (nulls < 0 || nulls > rows) r.Fail(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  return nulls;
}
}  // namespace

TSortedSetArray::TSortedSetArray(zpk_fstream& fs, char* name, int id) : TIntArray(fs, name, id) {
  FileRecordReader r(fs, false);
  FNullCount = ReadNullCount(r, FArraySize);
}

TSortedSetArray::TSortedSetArray(CMemFile* mf, char* name, int id) : TIntArray(mf, name, id) {
  MemFileRecordReader r(mf);
  FNullCount = ReadNullCount(r, FArraySize);
}

TSortedSetArray::TSortedSetArray(int from_mem_stream) : TIntArray(from_mem_stream) {
  MemStreamRecordReader r;
  FNullCount = ReadNullCount(r, FArraySize);
}

TSortedSetArray::TSortedSetArray(void** cursor, const void* end) : TIntArray(cursor, end, nullptr, -1) {
  ShmRecordReader r(cursor, end);
  FNullCount = ReadNullCount(r, FArraySize);
}

TSortedSetArray::~TSortedSetArray() {
  if (FSet) FSet->UnregisterSortedSet(this);
  if (FFilter) FFilter->UnregisterSortedSet(this);
}

void TSortedSetArray::initialize(TSetArray* set, TFilter* filter) {
  set->RegisterSortedSet(this);
  filter->RegisterSortedSet(this);
  FSet = set;
  FFilter = filter;
}

void TSortedSetArray::Taint() {
  if (!FNotOwned) zpk_free(FData);
  FData = nullptr;
  FNotOwned = 0;
  FArraySize = 0;
  FAllocSize = 0;
  FNullCount = 0;
}

void TSortedSetArray::Reclaim() {
  if (HasData()) return;
  // Pending entries have negative value numbers, which no sort may index with.
  FFilter->MergeTVL(false);
  const int n = FSet->FArraySize;
  const int* vno = FFilter->PV->PIntAr();
  InitArray(4, n, 0);
  CountingSort(0, n, FSet->PIntAr(), PIntAr(), vno, FFilter->VL->FArraySize);
  // The NULL records lead the view; the empty text is an ordinary value of a STRING filter.
  int nulls = 0;
  if (ArrayDataType(FFilter->VL) != Q7_TYPE_STRING) {
    const int* rows = PIntAr();
    nulls =
        static_cast<int>(std::partition_point(rows, rows + n, [vno](int r) { return vno[r] == 0; }) - rows);
  }
  FNullCount = nulls;
}

void TSortedSetArray::SaveArray(zpk_fstream& fs) {
  TIntArray::SaveArray(fs);
  FileRecordWriter w(fs);
  w.Write(&FNullCount, 4, 1);
}

void TSortedSetArray::SaveArray2Mem(CMemFile* mf) {
  TIntArray::SaveArray2Mem(mf);
  MemFileRecordWriter w(mf);
  w.Write(&FNullCount, 4, 1);
}

void TSortedSetArray::SaveArrayMem() {
  TIntArray::SaveArrayMem();
  MemStreamRecordWriter w;
  w.Write(&FNullCount, 4, 1);
}

int64_t TSortedSetArray::SizeArray2Mem(CMemFile* mf) {
  const int64_t rows = TIntArray::SizeArray2Mem(mf);
  SizeRecordWriter w(mf);
  return rows + w.Write(&FNullCount, 4, 1);
}

int64_t TSortedSetArray::GetMemSize() const {
  int64_t size = sizeof(TSortedSetArray);
  if (!FNotOwned) size += static_cast<int64_t>(FUnitSize) * FAllocSize;
  return size;
}

// ---- Search ----

namespace {

// first(v) and end(v) of one value in the view.
struct Run {
  int first;
  int end;
};

}  // namespace

TSetArray* TSortedSetArray::SearchByValue(int op, const char* from, const char* to, bool negate) {
  const int code = SearchCode(op);
  const bool exclude_null = NullBoundEmpty(op);
  const int type = ArrayDataType(FFilter->VL);
  const bool numeric = type != Q7_TYPE_STRING;
  if (code == Q7_SEARCH_STARTS_WITH && numeric) {
    PutErrorLog("SearchByValue", Q7_ERROR_INVALID_OPERATION, "Illegal data type ( Not STRING )");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION);
  }
  const bool served = code == Q7_SEARCH_EQUAL || code == Q7_SEARCH_BETWEEN || code == Q7_SEARCH_AT_MOST ||
                      code == Q7_SEARCH_STRICTLY_BETWEEN || code == Q7_SEARCH_LESS ||
                      code == Q7_SEARCH_STARTS_WITH || (code == Q7_SEARCH_IS_NULL && numeric);
  if (!served) {
    PutErrorLog("SearchByValue", Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION);
  }
  const bool reads_from = SearchReadsFrom(code);
  const bool reads_to = SearchReadsTo(code);

  // The runs of the bounds, and whether a bound is the NULL.
  bool null_bound = false;
  auto run_of = [&](const char* bound) -> Run {
    Run r{0, 0};
    switch (type) {
      case Q7_TYPE_INTEGER: {
        int v;
        memcpy(&v, bound, 4);
        null_bound |= v == std::numeric_limits<int>::min();
        FindPosIntOfSortedSet(v, this, FFilter, &r.end, &r.first);
        break;
      }
      case Q7_TYPE_DOUBLE: {
        double v;
        memcpy(&v, bound, 8);
        v = NormalizeDoubleBound(v);
        null_bound |= !(v > -std::numeric_limits<double>::infinity());
        FindPosDoubleOfSortedSet(v, this, FFilter, &r.end, &r.first);
        break;
      }
      case Q7_TYPE_DECIMAL: {
        Numeric v;
        memcpy(&v, bound, 16);
        null_bound |= q7num::IsNan(v);
        FindPosDecimalOfSortedSet(v, this, FFilter, &r.end, &r.first);
        break;
      }
      default:
        FindPosStrOfSortedSet(bound, this, FFilter, &r.end, &r.first);
        break;
    }
    return r;
  };
  const Run rf = reads_from ? run_of(from) : Run{0, 0};
  const Run rt = reads_to ? run_of(to) : Run{0, 0};

  const int n = FArraySize;
  const int nc = FNullCount;
  auto result = std::make_unique<TSetArray>(n, 0);
  result->SetArraySize(0);
  memcpy(result->FUserArea, FUserArea, kUserAreaSize);
  if (n == 0 || (numeric && exclude_null && null_bound)) {
    result->AdjustMemArea();
    return result.release();
  }

  // At most two slices of the view, A then B; a slice of negative length is empty.
  int a0 = 0, a1 = 0, b0 = 0, b1 = 0;
  // The complements of between and within keep the NULL rows unless bit 0x80 excludes them, as
  // the scanning search does: a high-speed view never changes a search's rows.
  const int keep_nulls_from = (numeric && !exclude_null) ? 0 : nc;
  const bool empty_text = !numeric && *from == '\0';
  switch (code) {
    case Q7_SEARCH_EQUAL:
      if (!negate) {
        a0 = rf.first, a1 = rf.end;
      } else {
        a0 = nc, a1 = rf.first, b0 = rf.end, b1 = n;
      }
      break;
    case Q7_SEARCH_BETWEEN:
      if (!negate) {
        a0 = rf.first, a1 = rt.end;
      } else {
        a0 = keep_nulls_from, a1 = rf.first, b0 = std::max({rt.end, rf.first, nc}), b1 = n;
      }
      break;
    case Q7_SEARCH_AT_MOST:
      if (!numeric && empty_text && !negate && !exclude_null) break;
      if (!negate) {
        a0 = nc, a1 = rf.end;
      } else {
        a0 = rf.end, a1 = n;
      }
      break;
    case Q7_SEARCH_STRICTLY_BETWEEN:
      if (!negate) {
        a0 = rf.end, a1 = rt.first;
      } else {
        a0 = keep_nulls_from, a1 = rf.end, b0 = std::max({rt.first, rf.end, nc}), b1 = n;
      }
      break;
    case Q7_SEARCH_LESS:
      if (!negate) {
        a0 = nc, a1 = rf.first;
      } else {
        a0 = rf.first, a1 = n;
      }
      break;
    case Q7_SEARCH_STARTS_WITH: {
      std::string next;
      const int next_first = (!empty_text && PrefixSuccessor(from, &next)) ? run_of(next.c_str()).first : n;
      if (empty_text) {
        a0 = 0, a1 = negate ? 0 : n;
      } else if (!negate) {
        a0 = rf.first, a1 = next_first;
      } else {
        a0 = 0, a1 = rf.first, b0 = next_first, b1 = n;
      }
      break;
    }
    default:  // IS NULL
      if (!negate) {
        a0 = 0, a1 = nc;
      } else {
        a0 = nc, a1 = n;
      }
      break;
  }
  const int len_a = std::max(0, a1 - a0);
  const int len_b = std::max(0, b1 - b0);
  result->SetArraySize(len_a + len_b);
  int* out = result->PIntAr();
  if (len_a > 0) memcpy(out, PIntAr() + a0, sizeof(int) * static_cast<size_t>(len_a));
  if (len_b > 0) memcpy(out + len_a, PIntAr() + b0, sizeof(int) * static_cast<size_t>(len_b));
  result->AdjustMemArea();
  return result.release();
}
