// Building the join: the two key filters brought onto one value list, the rows without partner cut
// or collected, and the pairing of a join set by counting sorts over key value numbers.
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "database/FilterAccommodation.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "join/JoinKeyMerge.h"
#include "join/JoinRecordKernels.h"
#include "join/TJoinTable.h"
#include "kernels/CountingSort.h"
#include "kernels/MppCountingSort.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"

namespace {

constexpr int64_t kMaxJoinedRows = INT32_MAX;

using SetPtr = std::unique_ptr<TSetArray>;

// A set of n elements (count n), zero-filled when asked.
SetPtr NewSet(int n, bool zero) { return std::make_unique<TSetArray>(n, zero ? 1 : 0); }

int* Data(TSetArray* set) { return set->FArraySize > 0 ? set->PIntAr() : nullptr; }

// A set of the source's size and attribute block whose elements the caller writes, as the copy the
// constructor makes would be before its elements are filled in; failing, Q7_ERROR_NO_JOIN_SET as
// that copy's failure.
SetPtr UnfilledCopyOf(TSetArray* source) {
  SetPtr set;
  try {
    set = NewSet(source->FArraySize, false);
  } catch (...) {
    TJoinTable::FailSetCopy(Q7_ERROR_NO_JOIN_SET);
  }
  memcpy(set->FUserArea, source->FUserArea, TBaseArray::kUserAreaSize);
  return set;
}

// Swaps a new set into an entry field and frees the one it replaces.
void Replace(TSetArray** field, SetPtr set) {
  delete *field;
  *field = set.release();
}

[[noreturn]] void ThrowNoSuchSet(const char* log_name, int set_id, bool trailing_blank) {
  if (log_name != nullptr) {
    PutErrorLog(
        log_name, Q7_ERROR_NO_SUCH_SET,
        trailing_blank ? getString("No Such Set: %d ", set_id) : getString("No Such Set: %d", set_id));
  }
  throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
}

// Source tables on a shared image cannot take the one-pair shortcut: their key columns are not
// merged in place but renumbered through the combined key columns.
bool OnSharedImage(TRealTable* table) {
  return table != nullptr && (table->FShmImage != 0 || table->isQ7TShared());
}

// Gives the two one-pair key copies one value list. The merge leaves two lists that are already
// identical apart; the join keeps one all the same, so that both key columns number into one list
// object, which is kept and released once.
void ShareKeyValueList(TFilter* master, TFilter* slave) {
  if (master == nullptr || master->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_MASTER_KEY_FILTER);
  if (slave == nullptr || slave->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_SLAVE_KEY_FILTER);
  UnifyDecimalKeyScales(master, slave);
  MppAccommodation(master, slave, 1);
  if (slave->VL != master->VL) slave->BorrowValueList(master->VL);
}

// The join's view of its key columns: one value-number array per side into one value list.
struct Keys {
  TIntArray* vno[2];
  int n_values;
};

Keys KeysOf(TJoinTable* join) {
  if (join->FMasterKeyFilter == nullptr || join->FMasterKeyFilter->PV == nullptr ||
      join->FMasterKeyFilter->VL == nullptr) {
    throw CQ7Exception(Q7_ERROR_NO_MASTER_KEY_FILTER);
  }
  if (join->FSlaveKeyFilter == nullptr || join->FSlaveKeyFilter->PV == nullptr) {
    throw CQ7Exception(Q7_ERROR_NO_SLAVE_KEY_FILTER);
  }
  return Keys{{join->FMasterKeyFilter->PV, join->FSlaveKeyFilter->PV},
              join->FMasterKeyFilter->VL->FArraySize};
}

}  // namespace

// ---- Key filters ----

namespace {

// The source key columns of every pair; each must exist and the two of a pair must hold values of
// one basic type.
void GatherKeyPairs(TJoinTable* join, TFilter** master_keys, TFilter** slave_keys) {
  for (int k = 0; k < join->FnKey; ++k) {
    master_keys[k] = join->FMasterTable->GetFilter(join->FMasterKeys[k]);
    if (master_keys[k] == nullptr) throw CQ7Exception(Q7_ERROR_NO_MASTER_KEY_FILTER);
    slave_keys[k] = join->FSlaveTable->GetFilter(join->FSlaveKeys[k]);
    if (slave_keys[k] == nullptr) throw CQ7Exception(Q7_ERROR_NO_SLAVE_KEY_FILTER);
    if (ArrayDataType(master_keys[k]->VL) != ArrayDataType(slave_keys[k]->VL)) {
      throw CQ7Exception(Q7_ERROR_INVALID_KEY_PARAMETER);
    }
  }
}

// Replaces the key filters by "#MASTER" and "#SLAVE" over set 1's rows. Both roads take the serial
// merge: its value count fixes the size of the group-start projection, so serial and parallel
// builds leave the same join sets.
void CombineKeyColumns(TJoinTable* join, TFilter** master_keys, TFilter** slave_keys) {
  JoinSetEntry& whole = join->Entry(join->SetID2Pos(1));
  TFilter* master = nullptr;
  TFilter* slave = nullptr;
  ConcatJoinFilter(join->FnKey, master_keys, whole.rows[0], slave_keys, whole.rows[1], &master, &slave);
  delete join->FMasterKeyFilter;
  delete join->FSlaveKeyFilter;
  join->FMasterKeyFilter = master;
  join->FSlaveKeyFilter = slave;
}

}  // namespace

void TJoinTable::SetupJoinFilters() {
  if (FnKey == 1 && !OnSharedImage(FMasterTable) && !OnSharedImage(FSlaveTable)) {
    ShareKeyValueList(FMasterKeyFilter, FSlaveKeyFilter);
  } else {
    TFilter* master_keys[kMaxKeys];
    TFilter* slave_keys[kMaxKeys];
    GatherKeyPairs(this, master_keys, slave_keys);
    CombineKeyColumns(this, master_keys, slave_keys);
  }
  SetCurrentSetID(1);
  CutUnUse(-1);
  MakeJoin(-1);
}

namespace {

bool CutAndPairInnerOnPool(TJoinTable* join, int set_id, TSetArray* master_source);

}  // namespace

void TJoinTable::MppSetupJoinFilters() {
  TFilter* master_keys[kMaxKeys];
  TFilter* slave_keys[kMaxKeys];
  GatherKeyPairs(this, master_keys, slave_keys);
  if (FnKey == 1) {
    // The parallel road keeps the copies for one pair whatever the tables lie on.
    ShareKeyValueList(FMasterKeyFilter, FSlaveKeyFilter);
  } else {
    CombineKeyColumns(this, master_keys, slave_keys);
  }
  SetCurrentSetID(1);
  TSetArray* master_source = FMasterRowsSource;
  if (CutAndPairInnerOnPool(this, -1, master_source)) {
    FMasterRowsSource = nullptr;
    return;
  }
  CopyPendingMasterRows();
  MppCutUnUse(-1);
  MppMakeJoin(-1);
}

// ---- Rows without partner ----

void TJoinTable::CutUnUse(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) ThrowNoSuchSet("CutUnUse", set_id, false);
  JoinSetEntry& e = Entry(pos);
  const Keys keys = KeysOf(this);
  try {
    Replace(&e.second[0], std::make_unique<TSetArray>());
    Replace(&e.second[1], std::make_unique<TSetArray>());
    if (FOuter == 0) {
      // The slaves are cut against all masters first, then the masters against the slaves that
      // stayed; a slave is cut only when no master shares its key, so no master loses a partner.
      CutUnUsedJoinRec(e.rows[0], keys.vno[0], keys.n_values, e.rows[1], keys.vno[1], e.second[1]);
      CutUnUsedJoinRec(e.rows[1], keys.vno[1], keys.n_values, e.rows[0], keys.vno[0], e.second[0]);
    } else {
      ExtractUnUsedJoinRec(e.rows[0], keys.vno[0], keys.n_values, e.rows[1], keys.vno[1], e.second[1]);
      ExtractUnUsedJoinRec(e.rows[1], keys.vno[1], keys.n_values, e.rows[0], keys.vno[0], e.second[0]);
    }
  } catch (...) {
    Replace(&e.second[0], nullptr);
    Replace(&e.second[1], nullptr);
    throw;
  }
}

void TJoinTable::MppCutUnUse(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) ThrowNoSuchSet(nullptr, set_id, false);
  JoinSetEntry& e = Entry(pos);
  const Keys keys = KeysOf(this);
  const int mode = FOuter == 0 ? 1 : 0;
  try {
    Replace(&e.second[0], std::make_unique<TSetArray>());
    Replace(&e.second[1], std::make_unique<TSetArray>());
    MppExtractJoinHitAndNonHitRecs(mode, e.rows[0], keys.vno[0], keys.n_values, e.rows[1], keys.vno[1],
                                   e.second[1]);
    MppExtractJoinHitAndNonHitRecs(mode, e.rows[1], keys.vno[1], keys.n_values, e.rows[0], keys.vno[0],
                                   e.second[0]);
  } catch (...) {
    Replace(&e.second[0], nullptr);
    Replace(&e.second[1], nullptr);
    throw;
  }
}

// ---- Pairing ----

namespace {

void ShrinkEntry(JoinSetEntry& e) {
  for (int s = 0; s < 2; ++s) {
    for (TSetArray* set : {e.rows[s], e.projection[s], e.second[s]}) {
      if (set != nullptr) set->AdjustMemArea();
    }
  }
}

// The inner pairing's result, built aside and swapped into the entry only once complete, so that a
// failure leaves the entry as it was.
struct InnerPairing {
  SetPtr own_projection;    // first joined row per driving row
  SetPtr other_projection;  // V + 1 group starts
  SetPtr partners;          // the partner records grouped by value number
  int size = 0;

  void Commit(JoinSetEntry& e, int d) {
    const int o = 1 - d;
    Replace(&e.projection[d], std::move(own_projection));
    Replace(&e.projection[o], std::move(other_projection));
    Replace(&e.rows[o], std::move(partners));
    e.size = size;
  }
};

// Counting, prefix sums and the stable transfer on the calling thread. counts_at points at element
// 1 of the group-start projection: element v + 1 first counts value v, then holds its start, and
// after the transfer its end, which is the start of value v + 1.
void PairInnerSerially(TSetArray* driving, TIntArray* driving_vno, TSetArray* others, TIntArray* other_vno,
                       int n_values, InnerPairing* out, bool parallel_starts) {
  const int n_o = others->FArraySize;
  int* counts_at = out->other_projection->PIntAr() + 1;
  CountupNExist(n_o, Data(others), n_values, other_vno->PIntAr(), counts_at);
  if (parallel_starts) {
    MppSetupMainN(driving, driving_vno, counts_at, Data(out->own_projection.get()), &out->size);
  } else {
    SetupMainN(driving, driving_vno, counts_at, Data(out->own_projection.get()), &out->size);
  }
  Aggregate(0, n_values, counts_at, counts_at);
  MoveRecsForSort(n_o, Data(others), other_vno->PIntAr(), Data(out->partners.get()), counts_at);
}

// The inner pairing of set_id on both roads; `pool` takes the one-pass parallel counting sort when
// more than one worker is active. A missing set is recorded under log_name (none: not recorded).
void PairInner(TJoinTable* join, int set_id, const char* log_name, bool pool) {
  const int pos = join->SetID2Pos(set_id);
  if (pos < 0) ThrowNoSuchSet(log_name, set_id, true);
  int d = 0;
  int o = 1;
  join->FixMasterSlave(set_id, &d, &o);
  JoinSetEntry& e = join->Entry(pos);
  const Keys keys = KeysOf(join);
  InnerPairing p;
  p.own_projection = NewSet(e.rows[d]->FArraySize, false);
  p.other_projection = NewSet(keys.n_values + 1, true);
  p.partners = NewSet(e.rows[o]->FArraySize, false);
  if (!pool || CSmpEngine::Instance()->ActiveThreads() <= 1) {
    PairInnerSerially(e.rows[d], keys.vno[d], e.rows[o], keys.vno[o], keys.n_values, &p, false);
  } else {
    // The one-pass parallel counting sort leaves the per-value counts beside the sorted partners;
    // their inclusive prefix sums, one element on, are the group starts the serial road builds.
    const int n_o = e.rows[o]->FArraySize;
    int* counts_at = p.other_projection->PIntAr() + 1;
    SingleStep_SortEx(0, n_o, Data(e.rows[o]), Data(p.partners.get()), keys.vno[o]->PIntAr(), keys.n_values,
                      counts_at);
    MppSetupMainN(e.rows[d], keys.vno[d], counts_at, Data(p.own_projection.get()), &p.size);
    for (int v = 1; v < keys.n_values; ++v) counts_at[v] += counts_at[v - 1];
  }
  p.Commit(e, d);
}

// MppCutUnUse and MppMakeJoin of an inner join's set driven by its master rows, with the master
// rows read once instead of three times: the slaves are cut first as MppCutUnUse cuts them and
// counting-sorted as MppMakeInnerJoin sorts them, which gives each value's partner count; a master
// row keeps its place exactly when that count is not 0, which is MppCutUnUse's test against the
// cut slaves, so one pass cuts the masters and gathers their counts. The entry ends as the two
// calls leave it. A master_source (set 1's master rows not yet copied: null otherwise) is read in
// place of the entry's master rows, and the same pass writes the entry's copy of the rows it keeps.
// Returns false, having done nothing, where those two calls must run instead.
bool CutAndPairInnerOnPool(TJoinTable* join, int set_id, TSetArray* master_source) {
  if (join->FOuter != 0 || CSmpEngine::Instance()->ActiveThreads() <= 1) return false;
  const int pos = join->SetID2Pos(set_id);
  if (pos < 0) return false;
  int d = 0;
  int o = 1;
  join->FixMasterSlave(set_id, &d, &o);
  if (d != 0) return false;
  JoinSetEntry& e = join->Entry(pos);
  const Keys keys = KeysOf(join);
  try {
    Replace(&e.second[0], std::make_unique<TSetArray>());
    Replace(&e.second[1], std::make_unique<TSetArray>());
    TSetArray* masters = master_source != nullptr ? master_source : e.rows[0];
    MppExtractJoinHitAndNonHitRecs(1, masters, keys.vno[0], keys.n_values, e.rows[1], keys.vno[1],
                                   e.second[1]);
    InnerPairing p;
    p.other_projection = NewSet(keys.n_values + 1, true);
    p.partners = NewSet(e.rows[1]->FArraySize, false);
    p.own_projection = NewSet(0, false);
    int* counts_at = p.other_projection->PIntAr() + 1;
    SingleStep_SortEx(0, e.rows[1]->FArraySize, Data(e.rows[1]), Data(p.partners.get()),
                      keys.vno[1]->PIntAr(), keys.n_values, counts_at);
    if (master_source != nullptr) Replace(&e.rows[0], UnfilledCopyOf(master_source));
    MppCutAndSetupMainN(masters, e.rows[0], keys.vno[0], keys.n_values, counts_at, e.second[0],
                        p.own_projection.get(), &p.size);
    // An empty projection is left as a fresh empty set, as the pairing would make it.
    if (p.own_projection->FArraySize == 0) p.own_projection = NewSet(0, false);
    for (int v = 1; v < keys.n_values; ++v) counts_at[v] += counts_at[v - 1];
    p.Commit(e, 0);
  } catch (...) {
    Replace(&e.second[0], nullptr);
    Replace(&e.second[1], nullptr);
    throw;
  }
  ShrinkEntry(e);
  return true;
}

}  // namespace

void TJoinTable::MakeJoin(int set_id) {
  if (FOuter != 0) {
    MakeOuterJoin(set_id);
  } else {
    MakeInnerJoin(set_id);
  }
  const int pos = SetID2Pos(set_id);
  if (pos < 0) ThrowNoSuchSet("MakeJoin", set_id, true);
  ShrinkEntry(Entry(pos));
}

void TJoinTable::MppMakeJoin(int set_id) {
  if (FOuter != 0) {
    MakeOuterJoin(set_id);
  } else {
    MppMakeInnerJoin(set_id);
  }
  const int pos = SetID2Pos(set_id);
  if (pos < 0) ThrowNoSuchSet(nullptr, set_id, true);
  ShrinkEntry(Entry(pos));
}

void TJoinTable::MakeInnerJoin(int set_id) { PairInner(this, set_id, "MakeInnerJoin", false); }

void TJoinTable::MppMakeInnerJoin(int set_id) { PairInner(this, set_id, nullptr, true); }

void TJoinTable::MakeOuterJoin(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) ThrowNoSuchSet("MakeOuterJoin", set_id, true);
  int d = 0;
  int o = 1;
  FixMasterSlave(set_id, &d, &o);
  JoinSetEntry& e = Entry(pos);
  const Keys keys = KeysOf(this);
  const int n_values = keys.n_values;
  const int* vno_d = keys.vno[d]->PIntAr();
  const int* vno_o = keys.vno[o]->PIntAr();
  const int vno_d_count = keys.vno[d]->FArraySize;
  const int vno_o_count = keys.vno[o]->FArraySize;
  auto value_of = [n_values](const int* vno, int count, int row) {
    if (row < 0 || row >= count || vno[row] < 0 || vno[row] >= n_values) {
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    }
    return vno[row];
  };

  TSetArray* driving_in = e.rows[d];
  TSetArray* others_in = e.rows[o];
  const int n_d = driving_in->FArraySize;
  const int n_o = others_in->FArraySize;
  const int* rows_d = Data(driving_in);
  const int* rows_o = Data(others_in);

  std::vector<uint8_t> occurs(static_cast<size_t>(n_values), 0);
  for (int i = 0; i < n_d; ++i) occurs[static_cast<size_t>(value_of(vno_d, vno_d_count, rows_d[i]))] = 1;

  // counts[0]: the unmatched side-o rows; counts[v]: the partners of value v, or minus the side-d
  // rows of v that have none; counts[n_values] stays 0 until the prefix sums make it the total.
  std::vector<int64_t> counts(static_cast<size_t>(n_values) + 1, 0);
  int64_t unmatched = 0;
  for (int i = 0; i < n_o; ++i) {
    const int v = value_of(vno_o, vno_o_count, rows_o[i]);
    if (v == 0) continue;
    if (occurs[static_cast<size_t>(v)] != 0) {
      ++counts[static_cast<size_t>(v)];
    } else {
      ++unmatched;
    }
  }
  counts[0] = unmatched;

  // Driving records and their first joined rows; the pseudo row 0 leads when some side-o rows have
  // no partner, pairing no side-d record with each of them.
  std::vector<int> driving;
  std::vector<int> first;
  driving.reserve(static_cast<size_t>(n_d) + 1);
  first.reserve(static_cast<size_t>(n_d) + 1);
  int64_t total = 0;
  if (unmatched > 0) {
    driving.push_back(0);
    first.push_back(0);
    total = unmatched;
  }
  for (int i = 0; i < n_d; ++i) {
    const int v = vno_d[rows_d[i]];
    if (v == 0) continue;
    driving.push_back(rows_d[i]);
    first.push_back(static_cast<int>(total));
    int64_t& c = counts[static_cast<size_t>(v)];
    if (c > 0) {
      total += c;
    } else {
      --c;
      total += 1;
    }
    if (total > kMaxJoinedRows) {
      PutErrorLog("MakeOuterJoin", Q7_ERROR_OVERFLOW_JOIN, "RecCount overflow");
      throw CQ7Exception(Q7_ERROR_OVERFLOW_JOIN);
    }
  }

  // Group starts: the partner records hold group 0 (the unmatched), then each value's partners, and
  // one empty slot per side-d row of a value without partners.
  int64_t running = 0;
  for (int64_t& c : counts) {
    const int64_t here = c < 0 ? -c : c;
    c = running;
    running += here;
  }
  if (running > kMaxJoinedRows) throw CQ7Exception(Q7_ERROR_OVERFLOW_JOIN);

  SetPtr group_starts = NewSet(n_values + 1, false);
  int* starts = group_starts->PIntAr();
  for (int v = 0; v <= n_values; ++v) starts[v] = static_cast<int>(counts[static_cast<size_t>(v)]);
  SetPtr partners = NewSet(static_cast<int>(running), true);
  int* partner_data = Data(partners.get());
  std::vector<int> next(starts, starts + n_values);
  for (int i = 0; i < n_o; ++i) {
    const int v = vno_o[rows_o[i]];
    if (v == 0) continue;
    if (occurs[static_cast<size_t>(v)] != 0) {
      partner_data[next[static_cast<size_t>(v)]++] = rows_o[i];
    } else {
      partner_data[next[0]++] = rows_o[i];
    }
  }

  const int n_driving = static_cast<int>(driving.size());
  SetPtr driving_set = NewSet(n_driving, false);
  SetPtr first_set = NewSet(n_driving, false);
  if (n_driving > 0) {
    memcpy(driving_set->PIntAr(), driving.data(), sizeof(int) * driving.size());
    memcpy(first_set->PIntAr(), first.data(), sizeof(int) * first.size());
  }

  e.size = static_cast<int>(total);
  Replace(&e.projection[d], std::move(first_set));
  Replace(&e.rows[d], std::move(driving_set));
  Replace(&e.projection[o], std::move(group_starts));
  Replace(&e.rows[o], std::move(partners));
}
