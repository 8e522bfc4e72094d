// The find session of a real table: a map of the records whose value in one filter meets a
// condition, built once when the find opens, and the stepping through the marked rows of a set.
#include <cstring>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "q7api.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int kCharCodeCp1252 = 17;
constexpr int kLastOrderedKind = 7;
constexpr int kLastStringKind = 10;

// Which open is running: its ring name (null: it records nothing) and its texts.
enum class OpenKind { kStr, kInt, kFloat, kNumeric };

const char* OpenName(OpenKind k) {
  switch (k) {
    case OpenKind::kStr:
      return "OpenStrFind";
    case OpenKind::kInt:
      return "OpenIntFind";
    case OpenKind::kFloat:
      return "OpenFloatFind";
    default:
      return nullptr;
  }
}

void LogOpen(OpenKind k, int code, const char* message) {
  if (const char* name = OpenName(k)) PutErrorLog(name, code, message);
}

// Conditions 0..7 in the order given by lt and eq. Written with <= built from both, so that a
// bound that compares with nothing (a NaN) meets only "not equal".
template <class T, class Lt, class Eq>
bool MeetsOrdered(int kind, const T& x, const T& from, const T& to, Lt lt, Eq eq) {
  auto le = [&](const T& a, const T& b) { return lt(a, b) || eq(a, b); };
  switch (kind) {
    case 0:
      return eq(x, from);
    case 1:
      return le(from, x) && le(x, to);
    case 2:
      return le(x, from);
    case 3:
      return le(from, x);
    case 4:
      return !eq(x, from);
    case 5:
      return lt(from, x) && lt(x, to);
    case 6:
      return lt(x, from);
    default:
      return lt(from, x);
  }
}

// Every value-list entry is tested once, the NULL entry (index 0, the type's smallest value)
// included; a sorted list would allow early stops, but the whole pass costs one test per entry
// and does not depend on how the list was ordered.
template <class T, class Get, class Lt, class Eq>
void MarkOrdered(int kind, int count, Get get, const T& from, const T& to, Lt lt, Eq eq, uint8_t* flags) {
  for (int i = 0; i < count; ++i) flags[i] = MeetsOrdered(kind, get(i), from, to, lt, eq) ? 1 : 0;
}

bool StrLess(const char* a, const char* b) { return strcmp(a, b) < 0; }
bool StrEqual(const char* a, const char* b) { return strcmp(a, b) == 0; }

void MarkStrings(TStrArray* list, int kind, const char* from, const char* to, uint8_t* flags) {
  const int count = list->FArraySize;
  if (kind <= kLastOrderedKind) {
    MarkOrdered<const char*>(
        kind, count, [&](int i) -> const char* { return list->GetPChar(i); }, from, to, StrLess, StrEqual,
        flags);
    return;
  }
  const size_t from_len = strlen(from);
  const bool cp1252 = getSystemInfoDBCharCode() == kCharCodeCp1252;
  for (int i = 0; i < count; ++i) {
    const char* text = list->GetPChar(i);
    bool hit = false;
    if (kind == 8) {
      hit = qz7mbsstr(text, from) == text;
    } else if (kind == 9) {
      hit = qz7mbsstr(text, from) != nullptr;
    } else {
      const size_t len = strlen(text);
      if (len >= from_len) {
        const char* tail = text + (len - from_len);
        hit = memcmp(tail, from, from_len) == 0 &&
              (cp1252 || ismbsptr_locale(reinterpret_cast<const unsigned char*>(text),
                                         reinterpret_cast<const unsigned char*>(tail)) != 0);
      }
    }
    flags[i] = hit ? 1 : 0;
  }
}

// Steps 1 to 9 of every open; `mark` fills the flags of the filter's value-list entries for a
// kind already checked. Returns the new search ID or a code, after which no find is open.
template <class Mark>
int OpenFind(TRealTable* t, OpenKind which, int filter_id, int kind, Mark mark) {
  t->CloseFind();
  TFilter* filter = t->GetFilter(filter_id);
  if (filter == nullptr) {
    if (which == OpenKind::kStr) {
      LogOpen(which, Q7_ERROR_INVALID_KEY_PARAMETER, NoSuchFilterText(filter_id));
    } else {
      LogOpen(which, Q7_ERROR_INVALID_KEY_PARAMETER, "Invalid Parameter : SrchFltID");
    }
    return Q7_ERROR_INVALID_KEY_PARAMETER;
  }
  int list_type = Q7_TYPE_INTEGER;
  if (which == OpenKind::kStr) list_type = Q7_TYPE_STRING;
  if (which == OpenKind::kFloat) list_type = Q7_TYPE_DOUBLE;
  if (which == OpenKind::kNumeric) list_type = Q7_TYPE_DECIMAL;
  if (filter->VL == nullptr || filter->PV == nullptr || filter->VL->GetDataType() != list_type) {
    LogOpen(which, Q7_ERROR_INVALID_DATA_TYPE,
            which == OpenKind::kStr ? "Illegal data type ( Not STRING )" : "Illegal data type");
    return Q7_ERROR_INVALID_DATA_TYPE;
  }

  try {
    t->CheckMergeFilterTVL(true);
    const int n = t->TotalRecs();
    // Rounded down to whole words, yet always past record n.
    const int map_size = (n + 9) & ~3;
    t->FHitMap = static_cast<uint8_t*>(zpk_malloc(static_cast<size_t>(map_size)));
    memset(t->FHitMap, 0, static_cast<size_t>(map_size));
    t->FHitMapSize = map_size;
    t->FFindFilterID = filter_id;
    t->FFindFilter = filter;

    const int last_kind = which == OpenKind::kStr ? kLastStringKind : kLastOrderedKind;
    if (kind < 0 || kind > last_kind) {
      if (which == OpenKind::kStr) {
        LogOpen(which, Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : SrchKind");
      } else {
        LogOpen(which, Q7_ERROR_INVALID_OPERATION, getString("Invalid Parameter : SrchKind(%d)", kind));
      }
      t->CloseFind();
      return Q7_ERROR_INVALID_OPERATION;
    }

    const int count = filter->VL->FArraySize;
    ZpkBlock<uint8_t> flags(static_cast<size_t>(count > 0 ? count : 1));
    mark(filter->VL, flags.get());
    const int* vno = filter->PV->PIntAr();
    int hits = 0;
    for (int r = 1; r <= n; ++r) {
      const unsigned v = static_cast<unsigned>(vno[r]);
      if (v < static_cast<unsigned>(count) && flags[v] != 0) {
        t->FHitMap[r] = 1;
        ++hits;
      }
    }
    t->FHitCount = hits;
    return t->FSearchID;
  } catch (const CQ7Exception& e) {
    if (e.ErrorCode() == Q7_ERROR_OUT_OF_MEMORY) LogOpen(which, Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
    if (t->FHitMap != nullptr) {
      t->CloseFind();
    } else {
      t->FFindFilterID = -1;
      t->FFindFilter = nullptr;
    }
    return e.ErrorCode();
  }
}

}  // namespace

int TRealTable::OpenStrFind(int filter_id, int kind, const char* from, const char* to) {
  const char* lo = from != nullptr ? from : "";
  const char* hi = to != nullptr ? to : "";
  return OpenFind(this, OpenKind::kStr, filter_id, kind, [&](TBaseArray* list, uint8_t* flags) {
    MarkStrings(static_cast<TStrArray*>(list), kind, lo, hi, flags);
  });
}

int TRealTable::OpenIntFind(int filter_id, int kind, int from, int to) {
  return OpenFind(this, OpenKind::kInt, filter_id, kind, [&](TBaseArray* list, uint8_t* flags) {
    const int* values = static_cast<TIntArray*>(list)->PIntAr();
    MarkOrdered<int>(
        kind, list->FArraySize, [&](int i) { return values[i]; }, from, to,
        [](int a, int b) { return a < b; }, [](int a, int b) { return a == b; }, flags);
  });
}

int TRealTable::OpenFloatFind(int filter_id, int kind, double from, double to) {
  return OpenFind(this, OpenKind::kFloat, filter_id, kind, [&](TBaseArray* list, uint8_t* flags) {
    auto* values = static_cast<TDoubleArray*>(list);
    MarkOrdered<double>(
        kind, list->FArraySize, [&](int i) { return values->GetDouble(i); }, from, to,
        [](double a, double b) { return a < b; }, [](double a, double b) { return a == b; }, flags);
  });
}

int TRealTable::OpenNumericFind(int filter_id, int kind, Numeric from, Numeric to) {
  return OpenFind(this, OpenKind::kNumeric, filter_id, kind, [&](TBaseArray* list, uint8_t* flags) {
    auto* values = static_cast<TNumericArray*>(list);
    // RQ7NumericCmp is positive when its first operand is the smaller.
    MarkOrdered<Numeric>(
        kind, list->FArraySize,
        [&](int i) {
          Numeric x;
          values->GetDecimal(i, &x);
          return x;
        },
        from, to, [](const Numeric& a, const Numeric& b) { return q7num::NumericCmp(&a, &b) > 0; },
        [](const Numeric& a, const Numeric& b) { return q7num::NumericCmp(&a, &b) == 0; }, flags);
  });
}

int TRealTable::GetNextHit(int search_id, int set_id, int start_row, int direction, int* filter_id,
                           int* row) {
  if (FHitMap == nullptr) {
    PutErrorLog("GetNextHit", Q7_ERROR_FIND_NOT_OPEN, "Failed to open find");
    return Q7_ERROR_FIND_NOT_OPEN;
  }
  if (search_id != FSearchID) {
    PutErrorLog("GetNextHit", Q7_ERROR_INVALID_FIND_ID, "Invalid Parameter : SrchID");
    return Q7_ERROR_INVALID_FIND_ID;
  }
  TSetArray* set = GetSet(set_id);
  if (set == nullptr) {
    PutErrorLog("GetNextHit", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return Q7_ERROR_NO_SUCH_SET;
  }
  const int size = set->FArraySize;
  // 0 stands before the first row and size + 1 after the last; anything further would make the
  // walk start outside the set.
  if (start_row < 0 || start_row > size + 1) {
    PutErrorLog("GetNextHit", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : StartRow");
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (filter_id != nullptr) *filter_id = FFindFilterID;

  const int* records = set->PIntAr();
  const auto marked = [&](int position) {
    const unsigned rec = static_cast<unsigned>(records[position - 1]);
    return rec < static_cast<unsigned>(FHitMapSize) && FHitMap[rec] != 0;
  };
  if (direction == 0) {
    for (int p = start_row + 1; p <= size; ++p) {
      if (marked(p)) {
        if (row != nullptr) *row = p;
        return 1;
      }
    }
    return 0;
  }
  for (int p = start_row - 1; p >= 1; --p) {
    if (marked(p)) {
      if (row != nullptr) *row = p;
      return 1;
    }
  }
  return 0;
}

int TRealTable::GetFindStatus(int* hits, int* filter_id) {
  if (FHitMap == nullptr) return 0;
  if (hits != nullptr) *hits = FHitCount;
  if (filter_id != nullptr) *filter_id = FFindFilterID;
  return FSearchID;
}

int TRealTable::FindRecNo(int set_id, int rec_no) {
  TSetArray* set = GetSet(set_id);
  if (set == nullptr) {
    PutErrorLog("FindRecNo", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return Q7_ERROR_NO_SUCH_SET;
  }
  const int* records = set->PIntAr();
  for (int i = 0; i < set->FArraySize; ++i) {
    if (records[i] == rec_no) return i + 1;
  }
  return 0;
}

void TRealTable::CloseFind() { CloseFindSession(); }
