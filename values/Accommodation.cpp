// Merging two value lists of one type into one, and renumbering the row arrays into them.
#include "values/Accommodation.h"

#include <cstring>
#include <memory>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/CompileSupport.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"

using namespace vlc;  // NOLINT: this folder's own helpers

namespace {

// Walks both lists once in order; fills the maps and the addresses of the merged elements.
// Returns the merged count.
template <class JCmp, class Addr1, class Addr2>
int32_t WalkLists(int32_t n1, int32_t n2, int32_t* map1, int32_t* map2, const void** addr, JCmp jcmp,
                  Addr1 addr1, Addr2 addr2) {
  int32_t i = 0, j = 0, k = 0;
  while (i < n1 && j < n2) {
    const void* e;
    const int c = jcmp(i, j, &e);
    addr[k] = e;
    if (c == 0) {
      map1[i++] = k;
      map2[j++] = k;
    } else if (c < 0) {
      map1[i++] = k;
    } else {
      map2[j++] = k;
    }
    ++k;
  }
  for (; i < n1; ++i, ++k) {
    addr[k] = addr1(i);
    map1[i] = k;
  }
  for (; j < n2; ++j, ++k) {
    addr[k] = addr2(j);
    map2[j] = k;
  }
  return k;
}

void Renumber(TIntArray* rows, const int32_t* map) {
  int32_t* r = rows->PIntAr();
  const int32_t n = rows->FArraySize;
  for (int32_t i = 0; i < n; ++i) r[i] = map[r[i]];
}

// The fixed-width lists: the merged values copied out of the recorded addresses.
template <class Array>
TBaseArray* FixedWidthList(int32_t k, const void* const* addr, size_t width) {
  ZpkBlock<unsigned char> block(static_cast<size_t>(k) * width);
  for (int32_t i = 0; i < k; ++i) memcpy(block.get() + width * static_cast<size_t>(i), addr[i], width);
  auto* list = new (std::nothrow) Array(k, block.get());
  if (list == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  block.Release();
  return list;
}

}  // namespace

int AccommodationMain(TIntArray* rows1, TBaseArray* list1, TIntArray* rows2, TBaseArray* list2,
                      TBaseArray** merged) {
  CCompiler compiler;
  return compiler.AccommodationMain(rows1, list1, rows2, list2, merged);
}

int CCompiler::JCompInt(int i, int j, const void** out) const {
  const int c = CompareInt(int_list1[i], int_list2[j]);
  *out = c <= 0 ? static_cast<const void*>(int_list1 + i) : static_cast<const void*>(int_list2 + j);
  return c;
}

int CCompiler::JCompDouble(int i, int j, const void** out) const {
  const int c = CompareDouble(dbl_list1[i], dbl_list2[j]);
  *out = c <= 0 ? static_cast<const void*>(dbl_list1 + i) : static_cast<const void*>(dbl_list2 + j);
  return c;
}

int CCompiler::JCompStr(int i, int j, const void** out) const {
  const char* a = str_area1 + str_offsets1[i];
  const char* b = str_area2 + str_offsets2[j];
  const int c = CompareText(a, b);
  *out = c <= 0 ? a : b;
  return c;
}

int CCompiler::JCompDecimal(int i, int j, const void** out) const {
  const unsigned char* a = static_cast<const unsigned char*>(dec_list1) + 16 * static_cast<size_t>(i);
  const unsigned char* b = static_cast<const unsigned char*>(dec_list2) + 16 * static_cast<size_t>(j);
  const int c = CompareDecimal(a, b);
  *out = c <= 0 ? a : b;
  return c;
}

namespace {

// The merge itself: a new list (null when the lists are identical) and the two maps. Changes
// neither list nor any row array.
std::unique_ptr<TBaseArray> MergeLists(CCompiler& c, TBaseArray* list1, TBaseArray* list2,
                                       ZpkBlock<int32_t>& map1, ZpkBlock<int32_t>& map2) {
  const int type = list1->GetDataType();
  if (type != list2->GetDataType() || (type != 2 && type != 3 && type != 6 && type != 8)) {
    PutErrorLog("AccommodationMain", Q7_ERROR_DATA_TYPE_MISMATCH, "Illegal data type");
    throw CQ7Exception(Q7_ERROR_DATA_TYPE_MISMATCH);
  }
  if (CheckSame(list1, list2)) return nullptr;

  const int32_t n1 = list1->FArraySize;
  const int32_t n2 = list2->FArraySize;
  map1.Reset(static_cast<int32_t*>(zpk_malloc(sizeof(int32_t) * static_cast<size_t>(n1))));
  map2.Reset(static_cast<int32_t*>(zpk_malloc(sizeof(int32_t) * static_cast<size_t>(n2))));
  ZpkBlock<const void*> addr(static_cast<size_t>(n1) + n2);
  std::unique_ptr<TBaseArray> list;
  int32_t k = 0;

  switch (type) {
    case 2: {
      c.int_list1 = static_cast<const int32_t*>(list1->FData);
      c.int_list2 = static_cast<const int32_t*>(list2->FData);
      k = WalkLists(
          n1, n2, map1.get(), map2.get(), addr.get(),
          [&c](int i, int j, const void** e) { return c.JCompInt(i, j, e); },
          [&c](int i) { return static_cast<const void*>(c.int_list1 + i); },
          [&c](int j) { return static_cast<const void*>(c.int_list2 + j); });
      list.reset(FixedWidthList<TIntArray>(k, addr.get(), 4));
      break;
    }
    case 3: {
      c.dbl_list1 = static_cast<const double*>(list1->FData);
      c.dbl_list2 = static_cast<const double*>(list2->FData);
      k = WalkLists(
          n1, n2, map1.get(), map2.get(), addr.get(),
          [&c](int i, int j, const void** e) { return c.JCompDouble(i, j, e); },
          [&c](int i) { return static_cast<const void*>(c.dbl_list1 + i); },
          [&c](int j) { return static_cast<const void*>(c.dbl_list2 + j); });
      list.reset(FixedWidthList<TDoubleArray>(k, addr.get(), 8));
      static_cast<TDoubleArray*>(list.get())
          ->SetExtendType(static_cast<TDoubleArray*>(list1)->GetExtendType());
      break;
    }
    case 8: {
      c.dec_list1 = list1->FData;
      c.dec_list2 = list2->FData;
      const auto* d1 = static_cast<const unsigned char*>(c.dec_list1);
      const auto* d2 = static_cast<const unsigned char*>(c.dec_list2);
      k = WalkLists(
          n1, n2, map1.get(), map2.get(), addr.get(),
          [&c](int i, int j, const void** e) { return c.JCompDecimal(i, j, e); },
          [d1](int i) { return static_cast<const void*>(d1 + 16 * static_cast<size_t>(i)); },
          [d2](int j) { return static_cast<const void*>(d2 + 16 * static_cast<size_t>(j)); });
      list.reset(FixedWidthList<TNumericArray>(k, addr.get(), 16));
      break;
    }
    default: {
      auto* s1 = static_cast<TStrArray*>(list1);
      auto* s2 = static_cast<TStrArray*>(list2);
      c.str_offsets1 = s1->Offsets();
      c.str_offsets2 = s2->Offsets();
      c.str_area1 = s1->FStrArea;
      c.str_area2 = s2->FStrArea;
      k = WalkLists(
          n1, n2, map1.get(), map2.get(), addr.get(),
          [&c](int i, int j, const void** e) { return c.JCompStr(i, j, e); },
          [&c](int i) { return static_cast<const void*>(c.str_area1 + c.str_offsets1[i]); },
          [&c](int j) { return static_cast<const void*>(c.str_area2 + c.str_offsets2[j]); });
      // The new list copies the texts and keeps the address array as its offsets.
      auto* strings =
          new (std::nothrow) TStrArray(k, reinterpret_cast<char**>(const_cast<void**>(addr.get())));
      if (strings == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
      addr.Release();
      list.reset(strings);
      break;
    }
  }
  list->SetArraySize(k);
  list->AdjustMemArea();
  return list;
}

}  // namespace

int CCompiler::AccommodationMain(TIntArray* rows1, TBaseArray* list1, TIntArray* rows2, TBaseArray* list2,
                                 TBaseArray** merged) {
  *merged = nullptr;
  ZpkBlock<int32_t> map1;
  ZpkBlock<int32_t> map2;
  std::unique_ptr<TBaseArray> list = MergeLists(*this, list1, list2, map1, map2);
  if (!list) return 0;
  // Last, so that every failure above leaves the row arrays as they were.
  Renumber(rows1, map1.get());
  Renumber(rows2, map2.get());
  *merged = list.release();
  return 1;
}

void CopyListAttributes(TBaseArray* from, TBaseArray* to) {
  memcpy(to->FUserArea, from->FUserArea, sizeof(to->FUserArea));
  switch (to->GetDataType()) {
    case 3: {
      auto* f = static_cast<TDoubleArray*>(from);
      static_cast<TDoubleArray*>(to)->SetDispType(f->DispFirst(), f->DispSecond());
      break;
    }
    case 8: {
      NumericInfo info;
      static_cast<TNumericArray*>(from)->GetDecimalInfo(&info);
      static_cast<TNumericArray*>(to)->SetDecimalInfo(&info);
      break;
    }
    default:
      break;
  }
}

int AccommodateColumns(TIntArray* rows1, TBaseArray** list1, TIntArray* rows2, TBaseArray** list2) {
  CCompiler compiler;
  ZpkBlock<int32_t> map1;
  ZpkBlock<int32_t> map2;
  std::unique_ptr<TBaseArray> merged = MergeLists(compiler, *list1, *list2, map1, map2);
  if (!merged) return 0;
  CopyListAttributes(*list1, merged.get());
  RetainValueList(merged.get());  // two holders: both columns. Nothing below throws.
  Renumber(rows1, map1.get());
  Renumber(rows2, map2.get());
  TBaseArray* old1 = *list1;
  TBaseArray* old2 = *list2;
  *list1 = *list2 = merged.release();
  ReleaseValueList(old1);
  ReleaseValueList(old2);
  return 1;
}
