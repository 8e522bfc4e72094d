// The join key merge: the key tuples of a master and a slave set turned into one shared key column.
#include "join/JoinKeyMerge.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "database/FilterAccommodation.h"
#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "kernels/MppCountingSort.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ZpkBlock.h"

namespace {

const char kMasterName[] = "#MASTER";
const char kSlaveName[] = "#SLAVE";

void CheckKey(TFilter* f) {
  if (f == nullptr || f->PV == nullptr || f->VL == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
}

// Every key of one side indexes the same table, so the value-number arrays have one length, and
// every row of the set must be a record of it.
int CheckSide(int key_count, TFilter** keys, TIntArray* rows) {
  if (keys == nullptr || rows == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  int length = 0;
  for (int k = 0; k < key_count; ++k) {
    CheckKey(keys[k]);
    const int n = keys[k]->PV->FArraySize;
    if (n < 1 || (k > 0 && n != length)) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    length = n;
  }
  const int n = rows->FArraySize;
  if (n < 0 || (n > 0 && rows->FData == nullptr)) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  const int* r = n > 0 ? rows->PIntAr() : nullptr;
  for (int i = 0; i < n; ++i) {
    if (r[i] < 1 || r[i] >= length) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  return length;
}

// One side sorted by its key tuple (key 1 most significant) with a run number per position: 0 for
// the all-NULL tuple, then 1, 2, ... for each new tuple.
struct SortedSide {
  int n = 0;
  ZpkBlock<int> rows;
  ZpkBlock<int> runs;
  int last_run = 0;
};

void SortSide(JoinKeyCopies& keys, TIntArray* set, int** arrays, SortedSide* side) {
  const int n = set->FArraySize;
  side->n = n;
  side->rows = ZpkBlock<int>(static_cast<size_t>(n > 0 ? n : 1));
  side->runs = ZpkBlock<int>(static_cast<size_t>(n > 0 ? n : 1));
  if (n == 0) return;
  ZpkBlock<int> other(static_cast<size_t>(n));
  memcpy(side->rows.get(), set->PIntAr(), sizeof(int) * static_cast<size_t>(n));
  // Stable sorts from the least significant key up leave the rows in lexicographic order.
  for (int k = keys.KeyCount() - 1; k >= 0; --k) {
    MppCountingSort(0, n, side->rows.get(), other.get(), arrays[k], keys.ValueCount(k), 0);
    std::swap(side->rows, other);
  }
  const int* rows = side->rows.get();
  int* runs = side->runs.get();
  bool any = false;
  for (int k = 0; k < keys.KeyCount() && !any; ++k) any = arrays[k][rows[0]] != 0;
  runs[0] = any ? 1 : 0;
  for (int i = 1; i < n; ++i) {
    runs[i] = runs[i - 1] + (CompArea(keys.KeyCount(), rows[i - 1], arrays, rows[i], arrays) != 0 ? 1 : 0);
  }
  side->last_run = runs[n - 1];
}

// Per-record numbers: element r is the number of record r's sorted position, 0 elsewhere.
int* Scatter(int length, const SortedSide& side) {
  ZpkBlock<int> numbers(static_cast<size_t>(length));
  memset(numbers.get(), 0, sizeof(int) * static_cast<size_t>(length));
  for (int i = 0; i < side.n; ++i)
    numbers[static_cast<size_t>(side.rows[static_cast<size_t>(i)])] = side.runs[i];
  return numbers.Release();
}

// Moves a decimal list to a larger scale in place. Scaling up is exact, so the list stays sorted
// and distinct; a value too large for the new scale cannot be placed in that order at all.
void RaiseScale(TNumericArray* list, const NumericInfo& from, const NumericInfo& to) {
  auto* v = static_cast<Numeric*>(list->FData);
  for (int i = 0; i < list->FArraySize; ++i) {
    if (q7num::IsNan(v[i])) continue;
    Numeric out;
    const int status = q7num::NumericRescale(&from, &to, &v[i], &out);
    if (status != Q7_NUMERIC_EXACT || q7num::IsNan(out)) throw CQ7Exception(Q7_ERROR_DATA_OVERFLOW);
    v[i] = out;
  }
  list->SetDecimalInfo(&to);
}

}  // namespace

void UnifyDecimalKeyScales(TFilter* master, TFilter* slave) {
  if (ArrayDataType(master->VL) != Q7_TYPE_DECIMAL || ArrayDataType(slave->VL) != Q7_TYPE_DECIMAL) return;
  auto* m = static_cast<TNumericArray*>(master->VL);
  auto* s = static_cast<TNumericArray*>(slave->VL);
  NumericInfo mi;
  NumericInfo si;
  m->GetDecimalInfo(&mi);
  s->GetDecimalInfo(&si);
  if (mi.scale > si.scale) {
    RaiseScale(s, si, mi);
  } else if (si.scale > mi.scale) {
    RaiseScale(m, mi, si);
  }
}

// ---- Key copies ----

JoinKeyCopies::JoinKeyCopies(int keyCount, TFilter** masterKeys, TIntArray* masterRows, TFilter** slaveKeys,
                             TIntArray* slaveRows, bool parallel) {
  if (keyCount < 1 || keyCount > kJoinMaxKeys) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  master_length_ = CheckSide(keyCount, masterKeys, masterRows);
  slave_length_ = CheckSide(keyCount, slaveKeys, slaveRows);
  for (int k = 0; k < keyCount; ++k) {
    if (ArrayDataType(masterKeys[k]->VL) != ArrayDataType(slaveKeys[k]->VL)) {
      throw CQ7Exception(Q7_ERROR_DATA_TYPE_MISMATCH);
    }
  }
  try {
    for (int k = 0; k < keyCount; ++k) {
      // A pending value number is negative: no index of the list, so fold it in before copying.
      if (masterKeys[k]->TVLCount > 0) masterKeys[k]->MergeTVL(parallel);
      if (slaveKeys[k]->TVLCount > 0) slaveKeys[k]->MergeTVL(parallel);
      master_[k] = new TFilter(masterKeys[k]);
      key_count_ = k + 1;
      slave_[k] = new TFilter(slaveKeys[k]);
      UnifyDecimalKeyScales(master_[k], slave_[k]);
      if (parallel) {
        MppAccommodation(master_[k], slave_[k], 1);
      } else {
        Accommodation(master_[k], slave_[k]);
      }
      master_arrays_[k] = master_[k]->PV->PIntAr();
      slave_arrays_[k] = slave_[k]->PV->PIntAr();
    }
  } catch (...) {
    Free();
    throw;
  }
}

JoinKeyCopies::~JoinKeyCopies() { Free(); }

void JoinKeyCopies::Free() {
  for (int k = 0; k < key_count_; ++k) {
    delete master_[k];
    delete slave_[k];
    master_[k] = slave_[k] = nullptr;
  }
  key_count_ = 0;
}

int JoinKeyCopies::ValueCount(int k) const { return master_[k]->VL->FArraySize; }

// ---- Output ----

void BuildJoinKeyFilters(int masterLength, int* masterNumbers, int slaveLength, int* slaveNumbers,
                         int valueCount, TFilter** masterOut, TFilter** slaveOut) {
  ZpkBlock<int> master_numbers(masterNumbers);
  ZpkBlock<int> slave_numbers(slaveNumbers);
  *masterOut = nullptr;
  *slaveOut = nullptr;
  auto list = std::make_unique<TIntArray>(valueCount, 0);
  int* entries = list->PIntAr();
  entries[0] = INT32_MIN;
  for (int i = 1; i < valueCount; ++i) entries[i] = i;

  char name[TFilter::kNameSize];
  memcpy(name, kMasterName, sizeof kMasterName);
  auto master = std::make_unique<TFilter>(kJoinMasterKeyFilterID, name);
  memcpy(name, kSlaveName, sizeof kSlaveName);
  auto slave = std::make_unique<TFilter>(kJoinSlaveKeyFilterID, name);
  master->PV = new TIntArray(masterLength, master_numbers.get());
  master_numbers.Release();
  slave->PV = new TIntArray(slaveLength, slave_numbers.get());
  slave_numbers.Release();
  master->ReplaceValueList(list.release());
  slave->BorrowValueList(master->VL);
  *masterOut = master.release();
  *slaveOut = slave.release();
}

// ---- Serial merge ----

int CompArea(int keyCount, int rowA, int** arraysA, int rowB, int** arraysB) {
  for (int k = 0; k < keyCount; ++k) {
    const int a = arraysA[k][rowA];
    const int b = arraysB[k][rowB];
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

int GetUniqueRange(int target, int n, int* groups, int* pos, int* len, int offset) {
  int p = *pos;
  while (p < n && static_cast<int64_t>(groups[p]) + offset < target) ++p;
  *pos = p;
  int end = p;
  while (end < n && static_cast<int64_t>(groups[end]) + offset == target) ++end;
  *len = end - p;
  return *len >= 1 ? 1 : 0;
}

void FixUniqueNo(int value, int start, int count, int* array) {
  for (int i = start; i < start + count; ++i) array[i] = value;
}

void ConcatJoinFilter(int keyCount, TFilter** masterKeys, TIntArray* masterRows, TFilter** slaveKeys,
                      TIntArray* slaveRows, TFilter** masterOut, TFilter** slaveOut) {
  if (masterOut == nullptr || slaveOut == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  *masterOut = nullptr;
  *slaveOut = nullptr;
  JoinKeyCopies keys(keyCount, masterKeys, masterRows, slaveKeys, slaveRows, false);
  int** m_arrays = keys.MasterArrays();
  int** s_arrays = keys.SlaveArrays();
  SortedSide m;
  SortedSide s;
  SortSide(keys, masterRows, m_arrays, &m);
  SortSide(keys, slaveRows, s_arrays, &s);

  const int64_t bound = static_cast<int64_t>(m.last_run) + s.last_run + 4;
  if (bound > INT_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  // Both run sequences ascend with the tuple order; a side's offset counts the other side's tuples
  // already numbered that it lacks, so its next run's number plus its offset is always the target.
  int* m_runs = m.runs.get();
  int* s_runs = s.runs.get();
  int m_pos = 0;
  int s_pos = 0;
  int m_offset = 0;
  int s_offset = 0;
  for (int target = 1; target < bound; ++target) {
    int m_len = 0;
    int s_len = 0;
    const bool m_has = GetUniqueRange(target, m.n, m_runs, &m_pos, &m_len, m_offset) != 0;
    const bool s_has = GetUniqueRange(target, s.n, s_runs, &s_pos, &s_len, s_offset) != 0;
    if (!m_has && !s_has) break;
    int c = m_has ? -1 : 1;
    if (m_has && s_has)
      c = CompArea(keyCount, m.rows[static_cast<size_t>(m_pos)], m_arrays, s.rows[static_cast<size_t>(s_pos)],
                   s_arrays);
    if (c <= 0) {
      FixUniqueNo(target, m_pos, m_len, m_runs);
      m_pos += m_len;
    } else {
      ++m_offset;
    }
    if (c >= 0) {
      FixUniqueNo(target, s_pos, s_len, s_runs);
      s_pos += s_len;
    } else if (m_has && s_has) {
      ++s_offset;
    }
  }

  ZpkBlock<int> m_numbers(Scatter(keys.MasterLength(), m));
  ZpkBlock<int> s_numbers(Scatter(keys.SlaveLength(), s));
  BuildJoinKeyFilters(keys.MasterLength(), m_numbers.Release(), keys.SlaveLength(), s_numbers.Release(),
                      static_cast<int>(bound), masterOut, slaveOut);
}
