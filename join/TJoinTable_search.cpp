// Searches of a join table and its per-value counts. A search keeps rows of one side only, on the
// source table's filter through the real-table kernels, copies the other side's rows and lets the
// pairing drop the rows that lost their partners.
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/ValueSelection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "join/TJoinTable.h"
#include "kernels/FindPos.h"
#include "kernels/RowFilters.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

using SetPtr = std::unique_ptr<TSetArray>;

// The source filter of a join column, or null for an unknown column or a vanished source filter
// (without the ring entry GetFilter leaves for an unknown column).
TFilter* SourceFilter(TJoinTable* join, int filter_id) {
  if (join->GetFilterSide(filter_id) < 0) return nullptr;
  return join->GetFilter(filter_id);
}

// The searches read value numbers of every row, so pending ones must be folded in first.
void MergePending(TFilter* filter, bool pool) {
  if (filter->TVLCount > 0) filter->MergeTVL(pool);
}

// A copy of one side's rows of a set. An outer join's pairing leaves record 0 in them (the pseudo
// row and the empty partner slots), which is no record of the source table: the copy drops it,
// and the next pairing puts back what it needs.
SetPtr CopyRows(TSetArray* rows) {
  if (rows == nullptr) return std::make_unique<TSetArray>();
  return SetPtr(rows->CopyWithout0());
}

// The rows a selection reads: the set's own for an inner join, a copy without record 0 for an
// outer one (`hold` keeps the copy).
TSetArray* SearchedRows(TJoinTable* join, TSetArray* rows, SetPtr* hold) {
  if (rows != nullptr && join->FOuter == 0) return rows;
  *hold = CopyRows(rows);
  return hold->get();
}

// Registers a new set of `side` holding the two row sets (by side) and pairs it; its ID. The pool
// forms cut on the pool too: the same rows, and the cut is the larger half of a search.
int RegisterPaired(TJoinTable* join, int side, SetPtr rows[2], bool pool) {
  return join->RegisterPairedSet(side, rows[0].release(), rows[1].release(), pool);
}

// Copy-first form: a new set of `side` holding copies of both sides of the source entry is
// registered at once; Filter then thins the side rows in place and Pair pairs the set. Unless
// kept, the destructor deletes the set and makes the set that was current before current again.
class CopyFirst {
 public:
  CopyFirst(TJoinTable* join, const JoinSetEntry& source) : join_(join), previous_(join->FCurrentSetID) {
    SetPtr rows[2] = {CopyRows(source.rows[0]), CopyRows(source.rows[1])};
    id_ = join->RegNewSet(source.side);
    JoinSetEntry& e = join->Entry(join->SetID2Pos(id_));
    e.rows[0] = rows[0].release();
    e.rows[1] = rows[1].release();
  }
  ~CopyFirst() {
    if (kept_) return;
    join_->DelSet(id_);
    join_->SetCurrentSetID(previous_);
  }
  CopyFirst(const CopyFirst&) = delete;
  CopyFirst& operator=(const CopyFirst&) = delete;

  TSetArray* Rows(int side) { return join_->Entry(join_->SetID2Pos(id_)).rows[side]; }
  int Pair() {
    join_->CutUnUse(id_);
    join_->MakeJoin(id_);
    kept_ = true;
    return id_;
  }

 private:
  TJoinTable* join_;
  int previous_;
  int id_ = 0;
  bool kept_ = false;
};

// The lookups every column search makes first: the column's source filter, its side and the
// source set; each refusal is recorded under log_name (a missing set only when log_set) and thrown.
struct ColumnTarget {
  TFilter* filter;
  int side;
  int pos;
};

ColumnTarget LookUpColumn(TJoinTable* join, const char* log_name, bool log_set, int filter_id, int set_id) {
  ColumnTarget t{SourceFilter(join, filter_id), -1, -1};
  if (t.filter == nullptr) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  const int at = join->JFilterID2Pos(filter_id, &t.side);
  if (at < 0) {
    PutErrorLog(log_name, Q7_ERROR_ILLEGAL_FILTER, "Failed to get filter pos ( result JFilterID2Pos )");
    throw CQ7Exception(at);
  }
  if (join->FnSet >= TJoinTable::kMaxSets) {
    PutErrorLog(log_name, Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    throw CQ7Exception(Q7_ERROR_SET_COUNT_OVERFLOW);
  }
  t.pos = join->SetID2Pos(set_id);
  if (t.pos < 0) {
    if (log_set) PutErrorLog(log_name, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  return t;
}

// The value searches: the selection (a new set from the searched side's rows and the source
// filter) becomes the new set's rows of that side.
template <class Select>
int ColumnSearch(TJoinTable* join, const char* log_name, bool parallel, int filter_id, int set_id,
                 Select select) {
  const ColumnTarget t = LookUpColumn(join, log_name, !parallel, filter_id, set_id);
  MergePending(t.filter, parallel);
  const JoinSetEntry& source = join->Entry(t.pos);
  const int side = source.side;
  SetPtr hold;
  TSetArray* searched = SearchedRows(join, source.rows[t.side], &hold);
  SetPtr rows[2];
  rows[t.side].reset(select(searched, t.filter));
  rows[1 - t.side] = CopyRows(source.rows[1 - t.side]);
  return RegisterPaired(join, side, rows, parallel);
}

// ---- Text from the second byte ----

// What SearchByField2 selects in value numbers of the whole list: the entries [first, last] less
// `hole`, or for the text tests (8 to 10) each entry whose text passes; never entry 0 (NULL).
class SecondByteTest {
 public:
  SecondByteTest(TStrArray* list, int op, const char* from, const char* to)
      : list_(list), op_(op), from_(from), from_len_(strlen(from)) {
    const int last_value = list->FArraySize - 1;
    bool f = false;
    bool f_to = false;
    const int p = FindPosStr2(from, list, &f);
    switch (op) {
      case Q7_SEARCH_EQUAL:
        if (f) first_ = last_ = p;
        break;
      case Q7_SEARCH_BETWEEN:
        first_ = f ? p : p + 1;
        last_ = FindPosStr2(to, list, &f_to);
        break;
      case Q7_SEARCH_AT_MOST:
        last_ = p;
        break;
      case Q7_SEARCH_AT_LEAST:
        first_ = f ? p : p + 1;
        last_ = last_value;
        break;
      case Q7_SEARCH_NOT_EQUAL:
        last_ = last_value;
        if (f) hole_ = p;
        break;
      case Q7_SEARCH_STRICTLY_BETWEEN: {
        first_ = p + 1;
        const int p_to = FindPosStr2(to, list, &f_to);
        last_ = f_to ? p_to - 1 : p_to;
        break;
      }
      case Q7_SEARCH_LESS:
        if (*from != '\0') last_ = f ? p - 1 : p;
        break;
      case Q7_SEARCH_GREATER:
        first_ = p + 1;
        last_ = last_value;
        break;
      default:
        break;
    }
    if (first_ < 1) first_ = 1;
  }

  bool Selects(int v) const {
    if (v < 1) return false;
    if (op_ >= Q7_SEARCH_STARTS_WITH) return Passes(v);
    return v >= first_ && v <= last_ && v != hole_;
  }

 private:
  bool Passes(int v) const {
    const char* text = list_->GetPChar2(v);
    if (op_ == Q7_SEARCH_STARTS_WITH) return strncmp(text, from_, from_len_) == 0;
    if (op_ == Q7_SEARCH_CONTAINS) return qz7mbsstr(text, from_) != nullptr;
    const size_t len = strlen(text);
    return len >= from_len_ && memcmp(text + len - from_len_, from_, from_len_) == 0;
  }

  TStrArray* list_;
  int op_;
  const char* from_;
  size_t from_len_;
  int first_ = 1;
  int last_ = 0;
  int hole_ = -1;
};

// Keeps, in place and in order, the rows whose value the test selects: a set of n rows over a list
// of V values through a flag per value when n >= V / 8, else through the ascending distinct value
// numbers its rows use.
void KeepSecondByteRows(TSetArray* rows, TFilter* filter, const SecondByteTest& test) {
  const int n = rows->FArraySize;
  if (n == 0) return;
  const int n_values = filter->VL->FArraySize;
  if (n >= n_values / 8) {
    ZpkBlock<unsigned char> hit(static_cast<size_t>(n_values) + 1);
    for (int v = 0; v < n_values; ++v) hit[v] = test.Selects(v) ? 1 : 0;
    MoveRecsForScan(rows, rows, filter->PV, hit.get());
    return;
  }
  const int* pv = filter->PV->PIntAr();
  const int pv_count = filter->PV->FArraySize;
  const int* in = rows->PIntAr();
  ZpkBlock<int> vnos(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    if (in[i] < 1 || in[i] >= pv_count) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    vnos[i] = pv[in[i]];
  }
  ZpkBlock<int> position;
  int count = 0;
  void* list = nullptr;
  Compile(n, Q7_TYPE_INTEGER, 4, vnos.get(), position.Out(), &count, &list);
  ZpkBlock<int> scope(static_cast<int*>(list));
  ZpkBlock<unsigned char> hit(static_cast<size_t>(count) + 1);
  for (int k = 0; k < count; ++k) hit[k] = test.Selects(scope[k]) ? 1 : 0;
  MoveRecsForScanScope(rows, rows, position.get(), hit.get());
}

// Keeps, in place and in order, the rows whose record number r meets op (SearchByRecNo's codes).
void KeepByRecNo(TSetArray* rows, int op, int from, int to) {
  const int n = rows->FArraySize;
  if (op == 0) {
    int* data = rows->PIntAr();
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      if (data[i] == from) {
        data[0] = from;
        kept = 1;
        break;
      }
    }
    rows->FArraySize = kept;
    return;
  }
  // One range of ints kept (4: dropped).
  const ValueRun run = RecNoRun(op, from, to);
  (SearchOnPool(n) ? MppMoveRecsByRecNoInRun : MoveRecsByRecNoInRun)(rows, rows, run);
}

}  // namespace

// ---- By value ----

int TJoinTable::SearchByField(int filter_id, int set_id, int op, char* from, char* to) {
  return ColumnSearch(this, "SearchByField", false, filter_id, set_id, [&](TSetArray* rows, TFilter* filter) {
    return rows->SearchByValue(filter, op, from, to, false);
  });
}

int TJoinTable::MppSearchByField(int filter_id, int set_id, int op, char* from, char* to) {
  return ColumnSearch(
      this, "MppSearchByField", true, filter_id, set_id,
      [&](TSetArray* rows, TFilter* filter) { return rows->MppSearchByValue(filter, op, from, to, false); });
}

int TJoinTable::SearchByFieldNValues(int filter_id, int set_id, int n, void* values) {
  return ColumnSearch(
      this, "SearchByFieldNValues", false, filter_id, set_id,
      [&](TSetArray* rows, TFilter* filter) { return rows->SearchByNValues(filter, n, values); });
}

int TJoinTable::MppSearchByFieldNValues(int filter_id, int set_id, int n, void* values) {
  return ColumnSearch(
      this, "MppSearchByField", true, filter_id, set_id,
      [&](TSetArray* rows, TFilter* filter) { return rows->MppSearchByNValues(filter, n, values); });
}

// ---- By the text from the second byte ----

int TJoinTable::SearchByField2(int filter_id, int set_id, int op, char* from, char* to) {
  constexpr const char* kName = "SearchByField2";
  TFilter* filter = SourceFilter(this, filter_id);
  if (filter == nullptr) {
    PutErrorLog(kName, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  if (ArrayDataType(filter->VL) != Q7_TYPE_STRING) {
    PutErrorLog(kName, -1, "Illegal data type ( Not STRING )");
    return -1;
  }
  int side = -1;
  JFilterID2Pos(filter_id, &side);
  if (FnSet >= kMaxSets) {
    PutErrorLog(kName, Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    throw CQ7Exception(Q7_ERROR_SET_COUNT_OVERFLOW);
  }
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog(kName, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id, Blank::kTrailing));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  MergePending(filter, false);
  CopyFirst result(this, Entry(pos));
  try {
    if (op < 0 || op > Q7_SEARCH_ENDS_WITH) {
      PutErrorLog(kName, Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
      return Q7_ERROR_INVALID_OPERATION;
    }
    // Texts the host may not give: a null bound reads as the empty text.
    const SecondByteTest test(static_cast<TStrArray*>(filter->VL), op, from != nullptr ? from : "",
                              to != nullptr ? to : "");
    KeepSecondByteRows(result.Rows(side), filter, test);
    return result.Pair();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

// ---- By the host's map of value numbers ----

int TJoinTable::Search(int filter_id, int set_id, unsigned char* hit_map) {
  TFilter* filter = SourceFilter(this, filter_id);
  if (filter == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  if (hit_map == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  int side = -1;
  JFilterID2Pos(filter_id, &side);
  if (FnSet >= kMaxSets) throw CQ7Exception(Q7_ERROR_SET_COUNT_OVERFLOW);
  const int pos = SetID2Pos(set_id);
  if (pos < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  MergePending(filter, false);
  const JoinSetEntry& source = Entry(pos);
  SetPtr hold;
  TSetArray* searched = SearchedRows(this, source.rows[side], &hold);
  SetPtr rows[2];
  rows[side] = NewSearchResult(searched, searched->FArraySize);
  // The host's map may hold any nonzero byte, so it is read as a map, never as a run.
  const auto keep = SearchOnPool(searched->FArraySize) ? MppMoveRecsForScan : MoveRecsForScan;
  keep(searched, rows[side].get(), filter->PV, hit_map);
  rows[1 - side] = CopyRows(source.rows[1 - side]);
  return RegisterPaired(this, source.side, rows, false);
}

// ---- By record number ----

int TJoinTable::SearchByRecNo(int target, int set_id, int op, int from, int to) {
  constexpr const char* kName = "SearchByRecNo";
  if (FOuter != 0) {
    PutErrorLog(kName, Q7_ERROR_NOT_INNER_JOIN_TABLE, "Illegal table type ( Not INNER JOIN )");
    return Q7_ERROR_NOT_INNER_JOIN_TABLE;
  }
  if (target != 0 && target != 1) {
    PutErrorLog(kName, Q7_ERROR_ILLEGAL_JOIN_TARGET, "Illegal target ( Not MASTER and Not SLAVE )");
    throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TARGET);
  }
  if (FnSet >= kMaxSets) {
    PutErrorLog(kName, Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    throw CQ7Exception(Q7_ERROR_SET_COUNT_OVERFLOW);
  }
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog(kName, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id, Blank::kTrailing));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  CopyFirst result(this, Entry(pos));
  try {
    if (op < 0 || op > Q7_SEARCH_GREATER) {
      PutErrorLog(kName, Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
      return Q7_ERROR_INVALID_OPERATION;
    }
    KeepByRecNo(result.Rows(target), op, from, to);
    return result.Pair();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

// ---- Not served ----

int TJoinTable::SearchByFieldWildCard(int, int, const char*) { return Q7_ERROR_NOT_REAL_TABLE; }
int TJoinTable::MppSearchByFieldWildCard(int, int, const char*) { return Q7_ERROR_NOT_REAL_TABLE; }

// ---- Counts per value ----

int TJoinTable::CountN(int set_id, int filter_id, int* counts) {
  if (counts == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_RECORD_NO);
  int s = -1;
  if (JFilterID2Pos(filter_id, &s) < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  TFilter* filter = GetFilter(filter_id);
  if (filter == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  const int pos = SetID2Pos(set_id);
  if (pos < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  if (FMasterKeyFilter == nullptr || FMasterKeyFilter->PV == nullptr || FMasterKeyFilter->VL == nullptr) {
    throw CQ7Exception(Q7_ERROR_NO_MASTER_KEY_FILTER);
  }
  if (FSlaveKeyFilter == nullptr || FSlaveKeyFilter->PV == nullptr) {
    throw CQ7Exception(Q7_ERROR_NO_SLAVE_KEY_FILTER);
  }
  MergePending(filter, false);
  const int o = 1 - s;
  const JoinSetEntry& e = Entry(pos);
  TIntArray* key_vno[2] = {FMasterKeyFilter->PV, FSlaveKeyFilter->PV};
  const int n_keys = FMasterKeyFilter->VL->FArraySize;
  const int n_values = filter->VL->FArraySize;
  // Record 0 stands for no record (an outer join's pseudo row and empty slots): it is no row of
  // its side. Anything outside the arrays is a damaged set.
  auto key_of = [&](int side, int r) {
    if (r < 0 || r >= key_vno[side]->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int v = key_vno[side]->PIntAr()[r];
    if (v < 0 || v >= n_keys) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    return v;
  };
  auto rows_of = [](TSetArray* rows) {
    return std::pair<const int*, int>(rows != nullptr && rows->FArraySize > 0 ? rows->PIntAr() : nullptr,
                                      rows != nullptr ? rows->FArraySize : 0);
  };

  std::vector<int64_t> partners(static_cast<size_t>(n_keys), 0);
  const auto [other, n_other] = rows_of(e.rows[o]);
  for (int i = 0; i < n_other; ++i) {
    if (other[i] != 0) ++partners[static_cast<size_t>(key_of(o, other[i]))];
  }
  std::vector<int64_t> sums(static_cast<size_t>(n_values), 0);
  const int* pv = filter->PV->PIntAr();
  const int pv_count = filter->PV->FArraySize;
  const auto [own, n_own] = rows_of(e.rows[s]);
  for (int i = 0; i < n_own; ++i) {
    const int r = own[i];
    if (r == 0) continue;
    int64_t joined = partners[static_cast<size_t>(key_of(s, r))];
    // An outer join keeps a row without partner as one joined row.
    if (FOuter != 0 && joined == 0) joined = 1;
    if (r >= pv_count || pv[r] < 0 || pv[r] >= n_values) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    sums[static_cast<size_t>(pv[r])] += joined;
  }
  if (FOuter != 0) {
    // The other side's rows without partner are joined rows without a row on this side: NULL here.
    // A row whose key is NULL takes no part in an outer join, even when it was set aside.
    const auto [alone, n_alone] = rows_of(e.second[o]);
    for (int i = 0; i < n_alone; ++i) {
      if (alone[i] != 0 && key_of(o, alone[i]) != 0) ++sums[0];
    }
  }
  for (int v = 0; v < n_values; ++v) counts[v] = static_cast<int>(sums[static_cast<size_t>(v)]);
  return n_values;
}
