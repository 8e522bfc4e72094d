// The join key merge on the worker pool: the "#MASTER" and "#SLAVE" columns built in parallel.
#include "join/MppJoinKeyMerge.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "database/SortForMultiItem.h"
#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "join/JoinKeyMerge.h"
#include "kernels/KernelPool.h"
#include "q7api.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int kEmpty = -1;

bool Empty(const int* range) { return range[0] == kEmpty; }

void SetRange(int* range, int first, int last) {
  if (first > last) {
    range[0] = range[1] = kEmpty;
  } else {
    range[0] = first;
    range[1] = last;
  }
}

// Distinct tuples in positions first..last of a side (0 for an empty span).
int Distinct(const int* groups, int first, int last) {
  return last < first ? 0 : groups[last] + 1 - groups[first];
}

// The all-NULL tuple sorts before every other one, so a side holds it only at position 0.
bool AllNull(int key_count, int row, int** arrays) {
  for (int k = 0; k < key_count; ++k) {
    if (arrays[k][row] != 0) return false;
  }
  return true;
}

}  // namespace

// ---- Comparisons and searches ----

int jcompare(int keyCount, int* rowsA, int** arraysA, int* rowsB, int** arraysB, int i, int j, int op) {
  const int c = CompArea(keyCount, rowsA[i], arraysA, rowsB[j], arraysB);
  switch (op) {
    case 0:
      return c == 0 ? 1 : 0;
    case 2:
      return c <= 0 ? 1 : 0;
    case 3:
      return c >= 0 ? 1 : 0;
    case 6:
      return c < 0 ? 1 : 0;
    case 7:
      return c > 0 ? 1 : 0;
    default:
      return 0;
  }
}

int FindHitPosj(int keyCount, int* rowsA, int** arraysA, int* rowsB, int** arraysB, int posA, int lo, int hi,
                int* found) {
  *found = 0;
  if (hi <= lo) return hi - 1;
  // Bisection for the first position whose tuple is larger than A's.
  int first = lo;
  int end = hi;
  while (first < end) {
    const int mid = first + (end - first) / 2;
    if (CompArea(keyCount, rowsB[mid], arraysB, rowsA[posA], arraysA) <= 0) {
      first = mid + 1;
    } else {
      end = mid;
    }
  }
  const int pos = first - 1;
  if (pos >= lo) *found = CompArea(keyCount, rowsB[pos], arraysB, rowsA[posA], arraysA) == 0 ? 1 : 0;
  return pos;
}

int move2nextUnique(int keyCount, int* rows, int** arrays, int pos, int n, int dir) {
  if (dir == 0) {
    while (pos > 0 && CompArea(keyCount, rows[pos - 1], arrays, rows[pos], arrays) == 0) --pos;
  } else if (dir == 1) {
    while (pos + 1 < n && CompArea(keyCount, rows[pos + 1], arrays, rows[pos], arrays) == 0) ++pos;
  }
  return pos;
}

// ---- One side ----

CMergeJoinItem::CMergeJoinItem(int keyCount, int count, int* groups, int* rows, int** keyArrays, int* result)
    : keyCount(keyCount), count(count), groups(groups), rows(rows), keyArrays(keyArrays), result(result) {}

CMergeJoinItem::~CMergeJoinItem() {
  zpk_free(ranges);
  zpk_free(rangeCounts);
}

int CMergeJoinItem::get_merge_recs() const { return Distinct(groups, lower, upper); }

void CMergeJoinItem::set_threads_count(int n) {
  const size_t pairs = static_cast<size_t>(n) + 2;
  ZpkBlock<int> new_ranges(pairs * 2);
  ZpkBlock<int> new_counts(pairs);
  std::fill(new_ranges.get(), new_ranges.get() + pairs * 2, kEmpty);
  std::fill(new_counts.get(), new_counts.get() + pairs, 0);
  zpk_free(ranges);
  zpk_free(rangeCounts);
  ranges = reinterpret_cast<int(*)[2]>(new_ranges.Release());
  rangeCounts = new_counts.Release();
  threadCount = n;
}

int CMergeJoinItem::RunEnd(int pos, int last) const {
  const int g = groups[pos];
  while (pos < last && groups[pos + 1] == g) ++pos;
  return pos;
}

void CMergeJoinItem::set_threads_range() {
  SetRange(ranges[0], 0, lower - 1);
  SetRange(ranges[threadCount + 1], upper + 1, count - 1);
  if (upper < lower) return;
  const int per = std::max(1, get_merge_recs() / threadCount);
  int start = lower;
  for (int t = 1; t <= threadCount && start <= upper; ++t) {
    if (t == threadCount) {
      SetRange(ranges[t], start, upper);
      break;
    }
    // The runs are consecutive group numbers: the range ends before the group `per` runs on.
    const int stop_group = groups[start] + per;
    const int end =
        static_cast<int>(std::lower_bound(groups + start, groups + upper + 1, stop_group) - groups);
    SetRange(ranges[t], start, end - 1);
    start = end;
  }
}

int CMergeJoinItem::set_thread_range(CMergeJoinItem* other, int otherNextFirst, int start, int t) {
  if (start > upper) return start;
  if (otherNextFirst == kEmpty) {
    SetRange(ranges[t], start, upper);
    return upper + 1;
  }
  if (jcompare(keyCount, rows, keyArrays, other->rows, other->keyArrays, start, otherNextFirst, 3) != 0) {
    return start;
  }
  int found = 0;
  int last = FindHitPosj(keyCount, other->rows, other->keyArrays, rows, keyArrays, otherNextFirst, start,
                         upper + 1, &found);
  // An equal tuple belongs with the other side's next range: stop before its run.
  if (found != 0) last = move2nextUnique(keyCount, rows, keyArrays, last, count, 0) - 1;
  SetRange(ranges[t], start, last);
  return last + 1;
}

void CMergeJoinItem::set_threads_range(CMergeJoinItem* other) {
  SetRange(ranges[0], 0, lower - 1);
  SetRange(ranges[threadCount + 1], upper + 1, count - 1);
  int start = lower;
  for (int t = 1; t <= threadCount; ++t) {
    start = set_thread_range(other, other->ranges[t + 1][0], start, t);
  }
}

int CMergeJoinItem::aggregate(int t) {
  if (Empty(ranges[t])) return -1;
  const int first = ranges[t][0];
  const int last = ranges[t][1];
  for (int r = first + 1; r <= last; ++r) result[r] += result[r - 1];
  return last;
}

void CMergeJoinItem::apply_unique(int first) {
  int64_t offset = first;
  for (int p = 0; p < threadCount + 2; ++p) {
    if (!Empty(ranges[p])) {
      const int from = ranges[p][0];
      const int base = groups[from];
      for (int r = from; r <= ranges[p][1]; ++r) {
        result[r] = static_cast<int>(result[r] + offset + groups[r] - base);
      }
    }
    offset += rangeCounts[p];
  }
}

// ---- The overlap ----

int resolve_join_merge_range(CMergeJoinItem* master, CMergeJoinItem* slave, int nMaster, int nSlave,
                             int* masterLo, int* masterHi, int* slaveLo, int* slaveHi) {
  const int keys = master->keyCount;
  *masterLo = 0;
  *slaveLo = 0;
  *masterHi = nMaster - 1;
  *slaveHi = nSlave - 1;
  int found = 0;
  // The first position not below the other side's first tuple.
  auto first_not_below = [&](CMergeJoinItem* side, int n, CMergeJoinItem* other) {
    const int pos =
        FindHitPosj(keys, other->rows, other->keyArrays, side->rows, side->keyArrays, 0, 0, n, &found);
    return found != 0 ? move2nextUnique(keys, side->rows, side->keyArrays, pos, n, 0) : pos + 1;
  };
  const int first = CompArea(keys, master->rows[0], master->keyArrays, slave->rows[0], slave->keyArrays);
  if (first < 0) {
    *masterLo = first_not_below(master, nMaster, slave);
    if (*masterLo >= nMaster) return 1;
  } else if (first > 0) {
    *slaveLo = first_not_below(slave, nSlave, master);
    if (*slaveLo >= nSlave) return 1;
  }
  const int last =
      CompArea(keys, master->rows[nMaster - 1], master->keyArrays, slave->rows[nSlave - 1], slave->keyArrays);
  if (last < 0) {
    *slaveHi = FindHitPosj(keys, master->rows, master->keyArrays, slave->rows, slave->keyArrays, nMaster - 1,
                           0, nSlave, &found);
  } else if (last > 0) {
    *masterHi = FindHitPosj(keys, slave->rows, slave->keyArrays, master->rows, master->keyArrays, nSlave - 1,
                            0, nMaster, &found);
  }
  return 0;
}

// ---- Task 65 ----

int mpp_join_merge_list(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<JoinMergeParam*>(param);
    CMergeJoinItem* m = p->master;
    CMergeJoinItem* s = p->slave;
    const int pair = p->pair;
    const int* mr = m->ranges[pair];
    const int* sr = s->ranges[pair];
    int c = 0;
    if (Empty(mr) || Empty(sr)) {
      c = Empty(mr) ? (Empty(sr) ? 0 : Distinct(s->groups, sr[0], sr[1])) : Distinct(m->groups, mr[0], mr[1]);
    } else {
      int i = mr[0];
      int j = sr[0];
      // At every step i and j stand at the first position of a run; a tuple one side lacks is
      // counted at the other side's current run, which it precedes.
      while (i <= mr[1] && j <= sr[1]) {
        const int cmp = CompArea(m->keyCount, m->rows[i], m->keyArrays, s->rows[j], s->keyArrays);
        ++c;
        if (cmp <= 0) {
          if (cmp < 0) ++s->result[j];
          i = m->RunEnd(i, mr[1]) + 1;
        }
        if (cmp >= 0) {
          if (cmp > 0) ++m->result[i];
          j = s->RunEnd(j, sr[1]) + 1;
        }
      }
      c += Distinct(m->groups, i, mr[1]) + Distinct(s->groups, j, sr[1]);
    }
    m->rangeCounts[pair] = c;
    s->rangeCounts[pair] = c;
    m->aggregate(pair);
    s->aggregate(pair);
    return 0;
  });
}

// ---- The merge ----

int DoMppJoinMerge(int keyCount, int nMaster, int nSlave, int* masterGroups, int* slaveGroups,
                   int* masterRows, int* slaveRows, int** masterKeyArrays, int** slaveKeyArrays,
                   int* masterResult, int* slaveResult, int* valueCountOut) {
  if (nMaster < 0 || nSlave < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  std::fill(masterResult, masterResult + nMaster, 0);
  std::fill(slaveResult, slaveResult + nSlave, 0);
  // Numbers start at 1, unless the all-NULL tuple is present: it takes 0, as in the serial merge.
  const bool null_tuple = (nMaster > 0 && AllNull(keyCount, masterRows[0], masterKeyArrays)) ||
                          (nSlave > 0 && AllNull(keyCount, slaveRows[0], slaveKeyArrays));
  const int first_number = null_tuple ? 0 : 1;
  const int64_t m_distinct = Distinct(masterGroups, 0, nMaster - 1);
  const int64_t s_distinct = Distinct(slaveGroups, 0, nSlave - 1);
  auto check_total = [](int64_t total) {
    if (total + 1 > INT_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
    return static_cast<int>(total);
  };
  // A side whose tuples all lie below the other side's: numbered by its own groups from `offset`.
  auto number_by_groups = [](int n, const int* groups, int* result, int64_t offset) {
    for (int i = 0; i < n; ++i) result[i] = static_cast<int>(offset + groups[i] - groups[0]);
  };
  if (nMaster == 0 || nSlave == 0) {
    const int total = check_total(m_distinct + s_distinct);
    number_by_groups(nMaster, masterGroups, masterResult, first_number);
    number_by_groups(nSlave, slaveGroups, slaveResult, first_number);
    *valueCountOut = total + 1;
    return 0;
  }

  CMergeJoinItem master(keyCount, nMaster, masterGroups, masterRows, masterKeyArrays, masterResult);
  CMergeJoinItem slave(keyCount, nSlave, slaveGroups, slaveRows, slaveKeyArrays, slaveResult);
  int m_lo = 0;
  int m_hi = 0;
  int s_lo = 0;
  int s_hi = 0;
  if (resolve_join_merge_range(&master, &slave, nMaster, nSlave, &m_lo, &m_hi, &s_lo, &s_hi) == 1) {
    const int total = check_total(m_distinct + s_distinct);
    const bool master_first = m_lo >= nMaster;
    number_by_groups(nMaster, masterGroups, masterResult, first_number + (master_first ? 0 : s_distinct));
    number_by_groups(nSlave, slaveGroups, slaveResult, first_number + (master_first ? m_distinct : 0));
    *valueCountOut = total + 1;
    return 0;
  }

  master.set_lower_index(m_lo);
  master.set_upper_index(m_hi);
  slave.set_lower_index(s_lo);
  slave.set_upper_index(s_hi);
  const int workers =
      std::max(1, std::min({master.get_merge_recs(), slave.get_merge_recs(), KernelActiveThreads()}));
  master.set_threads_count(workers);
  slave.set_threads_count(workers);
  // Tuples below the other side's first one lie on one side only, and so do those above its last.
  const int below = m_lo != 0 ? Distinct(masterGroups, 0, m_lo - 1) : Distinct(slaveGroups, 0, s_lo - 1);
  const int above = m_hi != nMaster - 1 ? Distinct(masterGroups, m_hi + 1, nMaster - 1)
                                        : Distinct(slaveGroups, s_hi + 1, nSlave - 1);
  master.rangeCounts[0] = slave.rangeCounts[0] = below;
  master.rangeCounts[workers + 1] = slave.rangeCounts[workers + 1] = above;
  master.set_threads_range();
  slave.set_threads_range(&master);
  for (int t = 0; t < workers; ++t) {
    JoinMergeParam* p = PoolParam<JoinMergeParam>(t);
    p->pair = t + 1;
    p->master = &master;
    p->slave = &slave;
  }
  RunKernelTask(workers, kMppTaskJoinMergeList);
  int64_t total = 0;
  for (int p = 0; p < workers + 2; ++p) total += master.rangeCounts[p];
  *valueCountOut = check_total(total) + 1;
  master.apply_unique(first_number);
  slave.apply_unique(first_number);
  return 0;
}

int MppJoinAccommodation(int keyCount, int nMasterSorted, int nSlaveSorted, int nMasterTableRows,
                         int nSlaveTableRows, int* masterGroups, int* slaveGroups, int* masterSortedRows,
                         int* slaveSortedRows, int** masterKeyArrays, int** slaveKeyArrays,
                         int** masterNumbersOut, int** slaveNumbersOut, int* valueCountOut) {
  ZpkBlock<int> m_merged(static_cast<size_t>(std::max(nMasterSorted, 1)));
  ZpkBlock<int> s_merged(static_cast<size_t>(std::max(nSlaveSorted, 1)));
  DoMppJoinMerge(keyCount, nMasterSorted, nSlaveSorted, masterGroups, slaveGroups, masterSortedRows,
                 slaveSortedRows, masterKeyArrays, slaveKeyArrays, m_merged.get(), s_merged.get(),
                 valueCountOut);
  auto scatter = [](int length, int n, const int* rows, const int* merged) {
    ZpkBlock<int> numbers(static_cast<size_t>(length));
    std::fill(numbers.get(), numbers.get() + length, 0);
    for (int i = 0; i < n; ++i) numbers[static_cast<size_t>(rows[i])] = merged[i];
    return numbers;
  };
  ZpkBlock<int> m_numbers = scatter(nMasterTableRows, nMasterSorted, masterSortedRows, m_merged.get());
  ZpkBlock<int> s_numbers = scatter(nSlaveTableRows, nSlaveSorted, slaveSortedRows, s_merged.get());
  *masterNumbersOut = m_numbers.Release();
  *slaveNumbersOut = s_numbers.Release();
  return 0;
}

namespace {

// One side sorted by its key tuple, key 1 most significant, with its dense tuple numbers from 1.
struct SortedSet {
  int n = 0;
  ZpkBlock<int> rows;
  ZpkBlock<int> groups;
};

void SortSet(JoinKeyCopies& keys, TFilter** copies, TIntArray* set, SortedSet* out) {
  out->n = set->FArraySize;
  if (out->n == 0) return;
  // The sort takes its least significant key first.
  TFilter* reversed[kJoinMaxKeys];
  int dirs[kJoinMaxKeys] = {};
  const int key_count = keys.KeyCount();
  for (int k = 0; k < key_count; ++k) reversed[k] = copies[key_count - 1 - k];
  const int rc = SortForMultiItem(key_count, out->n, set->PIntAr(), reversed, dirs, out->rows.Out(),
                                  out->groups.Out(), 0, 0);
  if (rc < 0) throw CQ7Exception(rc);
}

}  // namespace

void MppConcatJoinFilterEx(int keyCount, TFilter** masterKeys, TIntArray* masterRows, TFilter** slaveKeys,
                           TIntArray* slaveRows, TFilter** masterOut, TFilter** slaveOut) {
  if (masterOut == nullptr || slaveOut == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  *masterOut = nullptr;
  *slaveOut = nullptr;
  JoinKeyCopies keys(keyCount, masterKeys, masterRows, slaveKeys, slaveRows, true);
  SortedSet m;
  SortedSet s;
  SortSet(keys, keys.MasterCopies(), masterRows, &m);
  SortSet(keys, keys.SlaveCopies(), slaveRows, &s);
  int* m_numbers = nullptr;
  int* s_numbers = nullptr;
  int value_count = 0;
  MppJoinAccommodation(keyCount, m.n, s.n, keys.MasterLength(), keys.SlaveLength(), m.groups.get(),
                       s.groups.get(), m.rows.get(), s.rows.get(), keys.MasterArrays(), keys.SlaveArrays(),
                       &m_numbers, &s_numbers, &value_count);
  BuildJoinKeyFilters(keys.MasterLength(), m_numbers, keys.SlaveLength(), s_numbers, value_count, masterOut,
                      slaveOut);
}
