// Searches of a real table: the table-level frame of every search (lookups, the pending-value merge,
// registering the result, cleaning up after a failure), and the searches whose matching is done
// here: by the text from the second byte, by the host's map of value numbers, by wildcard, by
// position and by record number.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/ValueSelection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "kernels/FindPos.h"
#include "kernels/RowFilters.h"
#include "kernels/WildCard.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ValueListShare.h"
#include "values/ZpkBlock.h"

// ---- Defaults for tables that cannot search ----

int TBaseTable::SearchByField(int, int, int, char*, char*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::MppSearchByField(int, int, int, char*, char*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::SearchByField2(int, int, int, char*, char*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::Search(int, int, unsigned char*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::SearchByFieldWildCard(int, int, const char*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::MppSearchByFieldWildCard(int, int, const char*) {
  throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE);
}
int TBaseTable::SearchByFieldNValues(int, int, int, void*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::MppSearchByFieldNValues(int, int, int, void*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::SearchByRecNo(int, int, int, int, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }

namespace {

constexpr int kCp1252 = 17;
constexpr size_t kMaxPatternBytes = 4096;

// A copy-first search: registers a copy of the source as the new current set. Unless the search
// keeps it, the destructor deletes it again and makes the set that was current before current
// again, so a failed search leaves the table's sets as they were (the set ID it took stays used).
class CopyFirst {
 public:
  CopyFirst(TRealTable* table, TSetArray* source) : table_(table), previous_(table->FCurrentSetID) {
    id_ = table->AddSet(source);
    if (id_ > 0) {
      set_ = table->GetSet(id_);
      table->SetCurrentSetID(id_);
    }
  }
  ~CopyFirst() {
    if (id_ > 0 && !kept_) {
      table_->DelSet(id_);
      table_->SetCurrentSetID(previous_);
    }
  }
  CopyFirst(const CopyFirst&) = delete;
  CopyFirst& operator=(const CopyFirst&) = delete;

  // The new set's ID, or AddSet's code.
  int Id() const { return id_; }
  TSetArray* Set() const { return set_; }
  // The search succeeded: trims the set to its rows and keeps it as the current set.
  int Keep() {
    set_->AdjustMemArea();
    kept_ = true;
    return id_;
  }

 private:
  TRealTable* table_;
  int previous_;
  int id_ = 0;
  TSetArray* set_ = nullptr;
  bool kept_ = false;
};

// The value search frame: lookups (recorded under log_name and thrown), the merge, the set
// search, and registration of its result without a copy.
template <class SetSearch>
int RegisterValueSearch(TRealTable* table, const char* log_name, int filter_id, int set_id,
                        SetSearch search) {
  TFilter* filter = table->GetFilter(filter_id);
  if (filter == nullptr) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    ThrowNoSuchFilter(Q7_ERROR_NO_SUCH_FILTER, filter_id);
  }
  TSetArray* set = table->GetSet(set_id);
  if (set == nullptr) {
    PutErrorLog(log_name, Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id));
    ThrowNoSuchSet(Q7_ERROR_ILLEGAL_SET_ID, set_id);
  }
  table->CheckMergeFilterTVL(true);
  std::unique_ptr<TSetArray> result(search(set, filter));
  const int id = table->AddSetWithoutCopy(result.get());
  if (id < 0) throw CQ7Exception(id);
  result.release();
  return id;
}

// The value numbers of a set's rows compiled into the ascending distinct value numbers they use
// (the scope) and, per row position, the index of its value number in the scope.
struct Scope {
  ZpkBlock<int> values;
  ZpkBlock<int> position;
  int count = 0;
};

void CompileScope(TSetArray* set, TFilter* filter, bool parallel, Scope* scope) {
  const int n = set->FArraySize;
  ZpkBlock<int> vnos(static_cast<size_t>(n));
  const int* rows = set->PIntAr();
  const int* pv = filter->PV->PIntAr();
  for (int i = 0; i < n; ++i) vnos[i] = pv[rows[i]];
  void* list = nullptr;
  if (parallel) {
    MppCompile(n, Q7_TYPE_INTEGER, 4, vnos.get(), scope->position.Out(), &scope->count, &list);
  } else {
    Compile(n, Q7_TYPE_INTEGER, 4, vnos.get(), scope->position.Out(), &scope->count, &list);
  }
  scope->values.Reset(static_cast<int*>(list));
}

// A set of n rows over a list of v values is scanned through a map over the whole list when
// n >= v / 8, else through the scope of the values its rows use.
bool DenseSet(int rows, int values) { return rows >= (values >> 3); }

// Keeps the rows of source whose value (dense: hit has one 0 or 1 per entry of the value list) or
// scope position (small) is marked, into dst.
void KeepMarkedRows(TSetArray* source, TSetArray* dst, TFilter* filter, const Scope* scope,
                    const unsigned char* hit, bool parallel) {
  if (scope != nullptr) {
    (parallel ? MppMoveRecsForScanScope : MoveRecsForScanScope)(source, dst, scope->position.get(), hit);
  } else {
    MoveRecsForSelection(source, dst, filter->PV, hit, filter->VL->FArraySize, parallel);
  }
}

// What SearchByField2 selects, in value numbers of the whole list: the entries [first, last] less
// `hole`, or, for the text tests (8 to 10), each entry from 1 on whose text from the second byte
// passes. p and f below are the position and found flag FindPosStr2 gives for a bound. The NULL
// entry (value number 0) is reached only by a range that starts on it: 1 or 3 with an empty lower
// bound that FindPosStr2 leaves on entry 0 (a one-byte value, empty from its second byte as well,
// can draw it further).
// A small set is answered from these whole-list bounds, looked up in its scope. Bounds placed
// within the scope instead (FindPosStr2Scope) stop on another of the texts that read alike from
// the second byte and admit the NULL entry where the whole list keeps it out, so a row's result
// would depend on the size of the set it is searched in.
class SecondByteSelection {
 public:
  SecondByteSelection(TStrArray* list, int op, const char* from, const char* to)
      : list_(list), op_(op), from_(from) {
    const int v = list->FArraySize;
    bool f = false, f_to = false;
    const int p = FindPosStr2(from, list, &f);
    switch (op) {
      case Q7_SEARCH_EQUAL:
        if (f && p > 0) first_ = last_ = p;
        break;
      case Q7_SEARCH_BETWEEN:
        first_ = p + (f ? 0 : 1);
        last_ = FindPosStr2(to, list, &f_to);
        break;
      case Q7_SEARCH_AT_MOST:
        first_ = 1;
        last_ = p;
        break;
      case Q7_SEARCH_AT_LEAST:
        first_ = p + (f ? 0 : 1);
        last_ = v - 1;
        break;
      case Q7_SEARCH_NOT_EQUAL:
        first_ = 1;
        last_ = v - 1;
        if (f) hole_ = p;
        break;
      case Q7_SEARCH_STRICTLY_BETWEEN: {
        first_ = p + 1;
        const int p_to = FindPosStr2(to, list, &f_to);
        last_ = p_to - (f_to ? 1 : 0);
        break;
      }
      case Q7_SEARCH_LESS:
        if (*from != '\0') {
          first_ = 1;
          last_ = p - (f ? 1 : 0);
        }
        break;
      case Q7_SEARCH_GREATER:
        first_ = p + 1;
        last_ = v - 1;
        break;
      default:
        break;
    }
  }

  // hit: one byte per entry of the list, all 0.
  void MarkList(unsigned char* hit) const {
    const int v = list_->FArraySize;
    if (op_ >= Q7_SEARCH_STARTS_WITH) {
      for (int k = 1; k < v; ++k) hit[k] = Passes(k) ? 1 : 0;
      return;
    }
    if (first_ <= last_) memset(hit + first_, 1, static_cast<size_t>(last_ - first_ + 1));
    if (hole_ >= 0) hit[hole_] = 0;
  }

  // hit: one byte per position of the scope (n ascending value numbers), all 0.
  void MarkScope(const int* scope, int n, unsigned char* hit) const {
    if (op_ >= Q7_SEARCH_STARTS_WITH) {
      for (int k = 0; k < n; ++k) hit[k] = (scope[k] > 0 && Passes(scope[k])) ? 1 : 0;
      return;
    }
    if (first_ > last_) return;
    const int* a = std::lower_bound(scope, scope + n, first_);
    const int* b = std::upper_bound(a, scope + n, last_);
    if (a < b) memset(hit + (a - scope), 1, static_cast<size_t>(b - a));
    if (hole_ >= 0) {
      const int* h = std::lower_bound(scope, scope + n, hole_);
      if (h < scope + n && *h == hole_) hit[h - scope] = 0;
    }
  }

 private:
  // The text tests of 8 (starts with), 9 (contains) and 10 (ends with) on entry k >= 1.
  bool Passes(int k) const {
    const char* key = list_->GetPChar2(k);
    const size_t m = strlen(from_);
    if (op_ == Q7_SEARCH_STARTS_WITH) return strncmp(key, from_, m) == 0;
    if (op_ == Q7_SEARCH_CONTAINS) return qz7mbsstr(key, from_) != nullptr;
    const size_t len = strlen(key);
    return len >= m && memcmp(key + len - m, from_, m) == 0;
  }

  TStrArray* list_;
  int op_;
  const char* from_;
  int first_ = 1;
  int last_ = 0;
  int hole_ = -1;
};

// The host's map, over the value list as it was before a merge (`before`, n_before entries),
// carried over to the list the merge left (`after`): each marked value is looked up again.
template <class List, class V, class Get, class Find>
void CarryMap(TBaseArray* before, int n_before, TBaseArray* after, const unsigned char* map,
              unsigned char* out, Get get, Find find) {
  auto* old_list = static_cast<List*>(before);
  auto* new_list = static_cast<List*>(after);
  for (int i = 0; i < n_before; ++i) {
    if (map[i] == 0) continue;
    const V v = get(old_list, i);
    bool found = false;
    const int p = find(v, new_list, &found);
    if (found) out[p] = 1;
  }
}

void CarryHostMap(TBaseArray* before, int n_before, TBaseArray* after, const unsigned char* map,
                  unsigned char* out) {
  switch (ArrayDataType(after)) {
    case Q7_TYPE_INTEGER:
      CarryMap<TIntArray, int>(
          before, n_before, after, map, out, [](TIntArray* l, int i) { return l->PIntAr()[i]; }, FindPosInt);
      break;
    case Q7_TYPE_DOUBLE:
      CarryMap<TDoubleArray, double>(
          before, n_before, after, map, out, [](TDoubleArray* l, int i) { return l->GetDouble(i); },
          FindPosDouble);
      break;
    case Q7_TYPE_DECIMAL:
      CarryMap<TNumericArray, Numeric>(
          before, n_before, after, map, out,
          [](TNumericArray* l, int i) {
            Numeric v;
            l->GetDecimal(i, &v);
            return v;
          },
          FindPosDecimal);
      break;
    case Q7_TYPE_STRING:
      CarryMap<TStrArray, const char*>(
          before, n_before, after, map, out, [](TStrArray* l, int i) { return l->GetPChar(i); }, FindPosStr);
      break;
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

// Keeps a value list alive across a merge that may replace it.
class ListHold {
 public:
  explicit ListHold(TBaseArray* list) : list_(list) { RetainValueList(list_); }
  ~ListHold() { ReleaseValueList(list_); }
  ListHold(const ListHold&) = delete;
  ListHold& operator=(const ListHold&) = delete;

 private:
  TBaseArray* list_;
};

}  // namespace

bool TRealTable::CheckMergeFilterTVL(bool flag) {
  bool merged = false;
  for (int i = 0; i < FnFilter; ++i) {
    TFilter* filter = FFilters[i];
    if (filter != nullptr && filter->TVLCount > 0 && filter->MergeTVL(flag)) merged = true;
  }
  return merged;
}

// ---- By value ----

int TRealTable::SearchByField(int filter_id, int set_id, int op, char* from, char* to) {
  return RegisterValueSearch(this, "SearchByField", filter_id, set_id, [&](TSetArray* set, TFilter* filter) {
    return set->SearchByValue(filter, op, from, to, false);
  });
}

int TRealTable::MppSearchByField(int filter_id, int set_id, int op, char* from, char* to) {
  return RegisterValueSearch(
      this, "MppSearchByField", filter_id, set_id,
      [&](TSetArray* set, TFilter* filter) { return set->MppSearchByValue(filter, op, from, to, false); });
}

int TRealTable::SearchByFieldNValues(int filter_id, int set_id, int n, void* values) {
  return RegisterValueSearch(
      this, "SearchByFieldNValues", filter_id, set_id,
      [&](TSetArray* set, TFilter* filter) { return set->SearchByNValues(filter, n, values); });
}

int TRealTable::MppSearchByFieldNValues(int filter_id, int set_id, int n, void* values) {
  return RegisterValueSearch(
      this, "SearchByFieldNValues", filter_id, set_id,
      [&](TSetArray* set, TFilter* filter) { return set->MppSearchByNValues(filter, n, values); });
}

// ---- By the text from the second byte ----

int TRealTable::SearchByField2(int filter_id, int set_id, int op, char* from, char* to) {
  constexpr const char* kName = "SearchByField2";
  TFilter* filter = GetFilter(filter_id);
  if (filter == nullptr) {
    PutErrorLog(kName, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  if (ArrayDataType(filter->VL) != Q7_TYPE_STRING) {
    PutErrorLog(kName, Q7_ERROR_UNDEFINED_FILTER_TYPE, "Illegal data type ( Not STRING )");
    return Q7_ERROR_UNDEFINED_FILTER_TYPE;
  }
  TSetArray* source = GetSet(set_id);
  if (source == nullptr) {
    PutErrorLog(kName, Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id, Blank::kTrailing));
    return Q7_ERROR_ILLEGAL_SET_ID;
  }
  CheckMergeFilterTVL(true);
  CopyFirst result(this, source);
  if (result.Id() < 0) return result.Id();
  const int n_rows = source->FArraySize;
  if (n_rows == 0) return result.Keep();
  if (op < 0 || op > Q7_SEARCH_ENDS_WITH) {
    PutErrorLog(kName, Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
    return Q7_ERROR_INVALID_OPERATION;
  }
  // Texts the host may not give: a null bound reads as the empty text.
  const char* lo = from != nullptr ? from : "";
  const char* hi = to != nullptr ? to : "";
  try {
    auto* list = static_cast<TStrArray*>(filter->VL);
    const bool dense = DenseSet(n_rows, list->FArraySize);
    const bool pool = SearchOnPool(n_rows);
    const SecondByteSelection selection(list, op, lo, hi);
    Scope scope;
    if (!dense) CompileScope(source, filter, pool, &scope);
    const int n = dense ? list->FArraySize : scope.count;
    ZpkBlock<unsigned char> hit(static_cast<size_t>(n) + 1);
    memset(hit.get(), 0, static_cast<size_t>(n));
    if (dense) {
      selection.MarkList(hit.get());
    } else {
      selection.MarkScope(scope.values.get(), scope.count, hit.get());
    }
    KeepMarkedRows(source, result.Set(), filter, dense ? nullptr : &scope, hit.get(), pool);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  return result.Keep();
}

// ---- By the host's map of value numbers ----

int TRealTable::Search(int filter_id, int set_id, unsigned char* hit_map) {
  TFilter* filter = GetFilter(filter_id);
  if (filter == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  TSetArray* source = GetSet(set_id);
  if (source == nullptr) return Q7_ERROR_ILLEGAL_SET_ID;
  if (hit_map == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  try {
    // The map was made for the list as it stands now; hold it so a merge cannot free it.
    TBaseArray* before = filter->VL;
    const int n_before = before->FArraySize;
    ListHold hold(before);
    CheckMergeFilterTVL(true);
    ZpkBlock<unsigned char> carried;
    const unsigned char* select = hit_map;
    if (filter->VL != before || filter->VL->FArraySize != n_before) {
      const int n_after = filter->VL->FArraySize;
      carried.Reset(static_cast<unsigned char*>(zpk_malloc(static_cast<size_t>(n_after) + 1)));
      memset(carried.get(), 0, static_cast<size_t>(n_after));
      CarryHostMap(before, n_before, filter->VL, hit_map, carried.get());
      select = carried.get();
    }
    CopyFirst result(this, source);
    if (result.Id() < 0) return result.Id();
    // The host's map may hold any nonzero byte, so it is read as a map, never as a run.
    const auto keep = SearchOnPool(source->FArraySize) ? MppMoveRecsForScan : MoveRecsForScan;
    keep(source, result.Set(), filter->PV, select);
    return result.Keep();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

// ---- By wildcard ----

namespace {

int WildCardSearch(TRealTable* table, int filter_id, int set_id, const char* pattern, bool parallel) {
  const char* name = parallel ? "MppSearchByFieldWildCard" : nullptr;
  auto refuse = [&](int code, const char* message) {
    if (name != nullptr) PutErrorLog(name, code, message);
    return code;
  };
  if (pattern == nullptr || strnlen(pattern, kMaxPatternBytes) >= kMaxPatternBytes) {
    return refuse(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : pattern");
  }
  const WildCard wild(pattern, getSystemInfoDBCharCode() != kCp1252 ? 1 : 0);
  TFilter* filter = table->GetFilter(filter_id);
  if (filter == nullptr) return refuse(Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
  if (ArrayDataType(filter->VL) != Q7_TYPE_STRING) {
    return refuse(Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type ( Not STRING )");
  }
  TSetArray* source = table->GetSet(set_id);
  if (source == nullptr) return refuse(Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id));
  table->CheckMergeFilterTVL(true);
  CopyFirst result(table, source);
  if (result.Id() < 0) return result.Id();
  const int n_rows = source->FArraySize;
  if (n_rows == 0) return result.Keep();
  auto* list = static_cast<TStrArray*>(filter->VL);
  const bool dense = DenseSet(n_rows, list->FArraySize);
  // The serial entry keeps its own log names above but takes a large set to the pool as well.
  const bool pool = parallel || SearchOnPool(n_rows);
  Scope scope;
  if (!dense) CompileScope(source, filter, pool, &scope);
  const int n = dense ? list->FArraySize : scope.count;
  ZpkBlock<unsigned char> hit(static_cast<size_t>(n) + 1);
  for (int k = 0; k < n; ++k) {
    hit[k] = wild.match(list->GetPChar(dense ? k : scope.values[k])) ? 1 : 0;
  }
  KeepMarkedRows(source, result.Set(), filter, dense ? nullptr : &scope, hit.get(), pool);
  return result.Keep();
}

}  // namespace

int TRealTable::SearchByFieldWildCard(int filter_id, int set_id, const char* pattern) {
  return WildCardSearch(this, filter_id, set_id, pattern, false);
}

int TRealTable::MppSearchByFieldWildCard(int filter_id, int set_id, const char* pattern) {
  return WildCardSearch(this, filter_id, set_id, pattern, true);
}

// ---- By record number and by position ----

int TRealTable::SearchByRecNo(int, int set_id, int op, int from, int to) {
  TSetArray* source = GetSet(set_id);
  if (source == nullptr) {
    PutErrorLog("SearchByRecNo", Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id));
    return Q7_ERROR_ILLEGAL_SET_ID;
  }
  CopyFirst result(this, source);
  if (result.Id() < 0) return result.Id();
  if (op < 0 || op > 7) return Q7_ERROR_INVALID_OPERATION;
  const int n = source->FArraySize;
  if (op == 0) {
    // Only the first row holding the number is kept.
    const int* in = source->PIntAr();
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      if (in[i] == from) {
        result.Set()->PIntAr()[0] = from;
        kept = 1;
        break;
      }
    }
    result.Set()->FArraySize = kept;
    return result.Keep();
  }
  // Every other operator keeps the record numbers in one range of ints (or, for 4, outside it).
  const ValueRun run = RecNoRun(op, from, to);
  (SearchOnPool(n) ? MppMoveRecsByRecNoInRun : MoveRecsByRecNoInRun)(source, result.Set(), run);
  return result.Keep();
}

int TRealTable::SearchByRowNo(int set_id, int op, int from, int to) {
  TSetArray* source = GetSet(set_id);
  if (source == nullptr) {
    PutErrorLog("SearchByRowNo", Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id));
    return Q7_ERROR_ILLEGAL_SET_ID;
  }
  const int n = source->FArraySize;
  // Bounds clamped to 0 .. n + 1.
  int f = from < 0 ? 0 : (from > n + 1 ? n + 1 : from);
  int t = to;
  if (op == 5) t = to < 0 ? 0 : (to > n + 1 ? n + 1 : to);
  if (op == 1) {
    if (f < 1) f = 1;
    if (t > n) t = n;
  }
  CopyFirst result(this, source);
  if (result.Id() < 0) return result.Id();
  if (n == 0) return result.Keep();
  // The kept positions are [first, last] (1-based), less position `skip` when it is set.
  int first = 1, last = 0, skip = 0;
  switch (op) {
    case 0:
      first = last = f;
      break;
    case 1:
      first = f;
      last = t;
      break;
    case 2:
      last = f < n ? f : n;
      break;
    case 3:
      first = f == 0 ? 1 : f;
      last = n;
      break;
    case 4:
      last = n;
      skip = f;
      break;
    case 5:
      first = f + 1;
      last = t - 1;
      break;
    case 6:
      last = f > n ? n : f - 1;
      break;
    case 7:
      first = f + 1;
      last = n;
      break;
    default:
      PutErrorLog("SearchByRowNo", Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
      return Q7_ERROR_INVALID_OPERATION;
  }
  if (first < 1) first = 1;
  if (last > n) last = n;
  // The kept positions are at most two runs of the source: copied whole, on the pool when large.
  int* in = source->PIntAr();
  int* out = result.Set()->PIntAr();
  const bool pool = SearchOnPool(n);
  int kept = 0;
  auto copy = [&](int p, int q) {  // positions p .. q
    if (q < p) return;
    const auto count = static_cast<unsigned long>(q - p + 1);
    if (pool) {
      MppMemcpy(out + kept, in + p - 1, sizeof(int), count, 0);
    } else {
      memmove(out + kept, in + p - 1, sizeof(int) * count);
    }
    kept += static_cast<int>(count);
  };
  if (skip >= first && skip <= last) {
    copy(first, skip - 1);
    copy(skip + 1, last);
  } else {
    copy(first, last);
  }
  result.Set()->FArraySize = kept;
  return result.Keep();
}
