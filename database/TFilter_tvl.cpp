// The pending list of a filter: small writes of new values, and their merge into the value list.

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/ZpkAllocator.h"
#include "foundation/zpk_memory.h"
#include "kernels/FindPos.h"
#include "values/Accommodation.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

// A pending string list: element 0 (the NULL) must read the empty text, and offset 0 is where
// the first put text would otherwise land, so the empty text is put there first.
void ResetStrTVL(TStrArray* tvl) {
  tvl->FPCLast = 0;
  memset(tvl->Offsets(), 0, sizeof(uint64_t) * static_cast<size_t>(tvl->FArraySize));
  tvl->PutPChar(0, "");
}

}  // namespace

int TFilter::RecordCount() const { return PV && PV->FArraySize > 0 ? PV->FArraySize - 1 : 0; }

int TFilter::CalcTVLSize() const {
  const int size = RecordCount() < TVLMaxSize ? RecordCount() : TVLMaxSize;
  return size < TVLMinRecs ? 0 : size;
}

int TFilter::CheckTVLUse(int n) const {
  const int pv_count = PV ? PV->FArraySize : 0;
  if (!TVL) return (CalcTVLSize() >= n && pv_count > TVLMinRecs) ? 1 : 0;
  if (TVLSize - 1 < n || pv_count <= TVLMinRecs) return 0;
  return TVLSize - TVLCount > n ? 1 : 2;
}

void TFilter::AllocTVL() {
  if (TVL || !VL) return;
  const int size = CalcTVLSize();
  if (size == 0) return;
  const int s = size + 1;
  std::unique_ptr<TBaseArray> tvl;
  const int type = ArrayDataType(VL);
  switch (type) {
    case Q7_TYPE_INTEGER: {
      auto a = std::make_unique<TIntArray>(s, 1);
      a->PutInt(0, std::numeric_limits<int>::min());
      tvl = std::move(a);
      break;
    }
    case Q7_TYPE_DOUBLE: {
      auto a = std::make_unique<TDoubleArray>(s, 1);
      a->PutDouble(0, -std::numeric_limits<double>::infinity());
      a->SetExtendType(3);
      tvl = std::move(a);
      break;
    }
    case Q7_TYPE_STRING: {
      auto a = std::make_unique<TStrArray>(s, 1);
      ResetStrTVL(a.get());
      tvl = std::move(a);
      break;
    }
    case Q7_TYPE_DECIMAL: {
      auto a = std::make_unique<TNumericArray>(s, 1);
      const Numeric nan = q7num::NanNumeric();
      a->PutDecimal(0, &nan);
      tvl = std::move(a);
      break;
    }
    default:
      PutErrorLog("AllocTVL", Q7_ERROR_INVALID_DATA_TYPE,
                  getString("Invalid Parameter : DataType(%d)", type));
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
  auto rec_no = std::make_unique<TIntArray>(s, 1);
  TVL = tvl.release();
  TVLRecNo = rec_no.release();
  TVLSize = s;
  TVLCount = 0;
}

// Stores one pending value by the list's storage type; false when the list cannot hold it.
namespace {
bool PutPending(TBaseArray* tvl, int k, int value) {
  static_cast<TIntArray*>(tvl)->PutInt(k, value);
  return true;
}
bool PutPending(TBaseArray* tvl, int k, double value) {
  static_cast<TDoubleArray*>(tvl)->PutDouble(k, value);
  return true;
}
bool PutPending(TBaseArray* tvl, int k, const Numeric* value) {
  static_cast<TNumericArray*>(tvl)->PutDecimal(k, value);
  return true;
}
bool PutPending(TBaseArray* tvl, int k, const char* value) {
  // A text the string array cannot take makes the write go the rebuild way.
  if (strlen(value) >= static_cast<size_t>(TStrArray::kMaxPutBytes)) return false;
  static_cast<TStrArray*>(tvl)->PutPChar(k, value);
  return true;
}
}  // namespace

template <class T>
int TFilter::AppendTVL(const T& value, int rec_no) {
  if (!TVL) return -1;
  const int k = TVLCount + 1;
  if (k >= TVLSize) return -1;
  // Everything that can fail comes before the first change.
  if (rec_no < 1 || rec_no >= PV->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  if (!PutPending(TVL, k, value)) return -1;
  PV->PIntAr()[rec_no] = -k;
  TVLRecNo->PIntAr()[k] = rec_no;
  TVLCount = k;
  return k;
}

int TFilter::AppendTVLInt(int value, int rec_no) { return AppendTVL(value, rec_no); }
int TFilter::AppendTVLDouble(double value, int rec_no) { return AppendTVL(value, rec_no); }
int TFilter::AppendTVLNumeric(const Numeric* value, int rec_no) { return AppendTVL(value, rec_no); }
int TFilter::AppendTVLStr(const char* value, int rec_no) { return AppendTVL(value, rec_no); }

// ---- Writes through the pending list ----

namespace {

// One value kind of the pending list: loads value i of the caller's buffer, finds it in the value
// list, appends it as a pending entry.
struct IntKind {
  using Value = int;
  TIntArray* list;
  Value v = 0;
  explicit IntKind(TBaseArray* vl) : list(static_cast<TIntArray*>(vl)) {}
  void Load(const void* values, int i) { memcpy(&v, static_cast<const char*>(values) + 4 * size_t(i), 4); }
  int Find(bool* found) const { return FindPosInt(v, list, found); }
  const Value& Get() const { return v; }
};

struct DoubleKind {
  using Value = double;
  TDoubleArray* list;
  Value v = 0;
  explicit DoubleKind(TBaseArray* vl) : list(static_cast<TDoubleArray*>(vl)) {}
  void Load(const void* values, int i) { memcpy(&v, static_cast<const char*>(values) + 8 * size_t(i), 8); }
  int Find(bool* found) const { return FindPosDouble(v, list, found); }
  const Value& Get() const { return v; }
};

struct DecimalKind {
  using Value = const Numeric*;
  TNumericArray* list;
  Numeric v{};
  Value p = &v;
  explicit DecimalKind(TBaseArray* vl) : list(static_cast<TNumericArray*>(vl)) {}
  void Load(const void* values, int i) { memcpy(&v, static_cast<const char*>(values) + 16 * size_t(i), 16); }
  int Find(bool* found) const { return FindPosDecimal(v, list, found); }
  const Value& Get() const { return p; }
};

struct StrKind {
  using Value = const char*;
  TStrArray* list;
  std::string text;
  Value p = "";
  explicit StrKind(TBaseArray* vl) : list(static_cast<TStrArray*>(vl)) {}
  void Load(const void* values, int i) {
    const char* t = static_cast<const char* const*>(values)[i];
    if (!t) t = "";
    // The value list holds texts as the compiler cut them, so a written text is cut the same way.
    text.assign(t, g_cut_last_space ? TrimmedLength(t) : strlen(t));
    p = text.c_str();
  }
  int Find(bool* found) const { return FindPosStr(p, list, found); }
  const Value& Get() const { return p; }
};

}  // namespace

template <class Kind>
int TFilter::UpdateValues(int from, int n, const void* values, bool fill, TSetArray* set) {
  Kind kind(VL);
  bool found = false;
  int pos = 0;
  if (fill && n > 0) {
    kind.Load(values, 0);
    pos = kind.Find(&found);
  }
  for (int i = 0; i < n; ++i) {
    const int rec = set->GetInt(from + i);
    if (!fill) {
      kind.Load(values, i);
      pos = kind.Find(&found);
    }
    if (found) {
      if (rec < 1 || rec >= PV->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
      PV->PIntAr()[rec] = pos;
      continue;
    }
    AllocTVL();
    if (AppendTVL(kind.Get(), rec) < 0) return -1;
  }
  return 0;
}

int TFilter::UpdateByType(int from, int n, const void* values, bool fill, TSetArray* set) {
  switch (ArrayDataType(VL)) {
    case Q7_TYPE_INTEGER:
      return UpdateValues<IntKind>(from, n, values, fill, set);
    case Q7_TYPE_DOUBLE:
      return UpdateValues<DoubleKind>(from, n, values, fill, set);
    case Q7_TYPE_STRING:
      return UpdateValues<StrKind>(from, n, values, fill, set);
    case Q7_TYPE_DECIMAL:
      return UpdateValues<DecimalKind>(from, n, values, fill, set);
    default:
      return -1;
  }
}

int TFilter::UpdateTVL(int from, int n, const void* values, TSetArray* set) {
  return UpdateByType(from, n, values, false, set);
}

int TFilter::UpdateTVLFill(int from, int n, const void* value, TSetArray* set) {
  return UpdateByType(from, n, value, true, set);
}

bool TFilter::UseTVL(int from, int n, const void* values, bool fill, bool parallel, TRealTable*,
                     TSetArray* set) {
  const int pv_count = PV ? PV->FArraySize : 0;
  if (TVL) {
    if (TVLSize > n && pv_count > TVLMinRecs) {
      if (TVLSize - TVLCount <= n && !MergeTVL(parallel)) return false;
    } else {
      MergeTVL(parallel);
      return false;
    }
  } else if (!(pv_count > TVLMinRecs && CalcTVLSize() >= n)) {
    MergeTVL(parallel);
    return false;
  }
  if (UpdateByType(from, n, values, fill, set) == 0) return true;
  // The caller rebuilds the column from its value numbers, so none may stay pending.
  MergeTVL(parallel);
  return false;
}

// ---- Merge ----

bool TFilter::MergeTVL(bool parallel) {
  if (TVLCount == 0) return false;
  const int type = ArrayDataType(VL);
  const int n = TVLCount + 1;

  // Compile the pending values (element 0, the NULL, included) into a list and numbers.
  ZpkBlock<char*> pointers;
  const void* raw = TVL->FData;
  if (type == Q7_TYPE_STRING) {
    auto* tvl = static_cast<TStrArray*>(TVL);
    pointers.Reset(static_cast<char**>(zpk_malloc(sizeof(char*) * static_cast<size_t>(n))));
    for (int i = 0; i < n; ++i) pointers[i] = tvl->GetPChar(i);
    raw = pointers.get();
  }
  ZpkBlock<int> rows;
  ZpkBlock<char> list;
  int count = 0;
  void* list_out = nullptr;
  if (parallel) {
    MppCompile(n, type, ValueTypeWidth(type), raw, rows.Out(), &count, &list_out);
  } else {
    Compile(n, type, ValueTypeWidth(type), raw, rows.Out(), &count, &list_out);
  }
  list.Reset(static_cast<char*>(list_out));
  auto pending_rows = std::make_unique<TIntArray>(n, rows.get());
  rows.Release();
  // The string list copies its texts (some of which lie in the pending list) at once.
  std::unique_ptr<TBaseArray> pending_list(AdoptCompiledList(type, count, list.Release()));

  // A pending entry is live while its record still points at it; a record written again later
  // keeps its later value. Live records go to NULL for the merge and get their value back after.
  int* pv = PV->PIntAr();
  const int* rec_no = TVLRecNo->PIntAr();
  ZpkVector<uint8_t> live(static_cast<size_t>(n), 0);
  for (int k = 1; k < n; ++k) {
    const int r = rec_no[k];
    if (r >= 1 && r < PV->FArraySize && pv[r] == -k) {
      live[k] = 1;
      pv[r] = 0;
    }
  }
  TBaseArray* merged = nullptr;
  try {
    if (parallel) {
      MppAccommodationMain(PV, VL, pending_rows.get(), pending_list.get(), &merged);
    } else {
      AccommodationMain(PV, VL, pending_rows.get(), pending_list.get(), &merged);
    }
  } catch (...) {
    for (int k = 1; k < n; ++k) {
      if (live[k]) pv[rec_no[k]] = -k;
    }
    throw;
  }
  if (merged) {
    // The merged list keeps the column's meaning (DATE stays DATE, the decimal scale stays).
    CopyListAttributes(VL, merged);
    // A list that another column holds is left to it: only this column's hold is dropped.
    ReplaceValueList(merged);
  }
  const int* renumbered = pending_rows->PIntAr();
  for (int k = 1; k < n; ++k) {
    if (live[k]) pv[rec_no[k]] = renumbered[k];
  }
  TVLCount = 0;
  if (type == Q7_TYPE_STRING) ResetStrTVL(static_cast<TStrArray*>(TVL));
  return true;
}
