// The join key merge on the worker pool: the same two columns "#MASTER" and "#SLAVE" as
// ConcatJoinFilter (join/JoinKeyMerge.h), with the same value numbers for any worker count, built
// from one multi-key sort per side and a merge of the two sorted sides split over the workers at
// run boundaries (task 65 "Q7_MPP_JOIN_MERGE_LIST", mpp_join_merge_list).
//
// Shapes: a side is n sorted positions; rows[i] is the record at position i, groups[i] its dense
// tuple number within the side (ascending with the tuple order, equal tuples sharing one), and
// keyArrays[k] the value numbers of key k by record number, both sides numbering into one value
// list per key. Tuples compare key 0 first (CompArea).
//
// Thread safety: everything but the task function drives the pool; call it under the API lock from
// the thread that drives the pool, never from inside a task. A worker writes only the result
// entries of its own ranges and its own range count.
#pragma once

#include "foundation/CWorkThread.h"

class TFilter;
class TIntArray;

// As ConcatJoinFilter, with the same arguments, value numbers, ownership and failures; the value
// list has (distinct tuples of both sides together) + 1 entries. A failed sort is thrown with its
// code.
void MppConcatJoinFilterEx(int keyCount, TFilter** masterKeys, TIntArray* masterRows, TFilter** slaveKeys,
                           TIntArray* slaveRows, TFilter** masterOut, TFilter** slaveOut);

// Merges the two sorted sides (DoMppJoinMerge) and scatters the numbers by record: *masterNumbersOut
// gets nMasterTableRows ints (the master key's value-number array length), the number of each
// record of the set at its record number and 0 elsewhere; likewise *slaveNumbersOut. Both are
// zpk_malloc blocks owned by the caller. Returns 0; failures are thrown with nothing left allocated.
int MppJoinAccommodation(int keyCount, int nMasterSorted, int nSlaveSorted, int nMasterTableRows,
                         int nSlaveTableRows, int* masterGroups, int* slaveGroups, int* masterSortedRows,
                         int* slaveSortedRows, int** masterKeyArrays, int** slaveKeyArrays,
                         int** masterNumbersOut, int** slaveNumbersOut, int* valueCountOut);

// Numbers every sorted position of both sides (masterResult: nMaster entries, slaveResult: nSlave,
// the caller's): the all-NULL tuple 0 and the other distinct tuples of both sides together 1, 2, ...
// in tuple order, equal tuples of the two sides sharing a number. *valueCountOut gets the number
// of distinct tuples of both sides together + 1. Either side may be empty. Returns 0; throws
// Q7_ERROR_ROW_SIZE_OVERFLOW when the value count would not fit an int, Q7_ERROR_OUT_OF_MEMORY,
// or what a worker threw.
int DoMppJoinMerge(int keyCount, int nMaster, int nSlave, int* masterGroups, int* slaveGroups,
                   int* masterRows, int* slaveRows, int** masterKeyArrays, int** slaveKeyArrays,
                   int* masterResult, int* slaveResult, int* valueCountOut);

// ---- The pieces of the merge ----

// One side of the parallel merge. Pair p of `ranges` (first/last sorted position, -1/-1 when
// empty): pair 0 the side's tuples below the other side's first one, pairs 1..threadCount the
// workers' pieces of the overlap, pair threadCount + 1 the tuples above the other side's last one.
// rangeCounts[p] is the number of distinct tuples of both sides in pair p (the same in both items).
class CMergeJoinItem {
 public:
  CMergeJoinItem() = default;
  CMergeJoinItem(int keyCount, int count, int* groups, int* rows, int** keyArrays, int* result);
  ~CMergeJoinItem();
  CMergeJoinItem(const CMergeJoinItem&) = delete;
  CMergeJoinItem& operator=(const CMergeJoinItem&) = delete;

  void set_lower_index(int i) { lower = i; }
  void set_upper_index(int i) { upper = i; }
  // Distinct tuples of the overlap: groups[upper] + 1 - groups[lower]; 0 when it is empty.
  int get_merge_recs() const;
  // threadCount = n; ranges of n + 2 pairs, all -1; rangeCounts of n + 2 zeros. Throws
  // Q7_ERROR_OUT_OF_MEMORY.
  void set_threads_count(int n);
  // Ranges of the side that leads the split: each worker takes get_merge_recs() / threadCount whole
  // runs of equal tuples, the last worker the rest of the overlap.
  void set_threads_range();
  // Ranges of the following side: worker t takes, from where worker t - 1 stopped, the tuples below
  // the first tuple of other's pair t + 1 (all the rest of the overlap when that pair is empty), so
  // equal tuples of both sides always meet in one worker.
  void set_threads_range(CMergeJoinItem* other);
  // Range t from start against other's position otherNextFirst (-1: none); returns the next start.
  int set_thread_range(CMergeJoinItem* other, int otherNextFirst, int start, int t);
  // Inclusive prefix sum of result over pair t; its last position, -1 when the pair is empty.
  int aggregate(int t);
  // Final numbers: with an offset that starts at `first` and grows by rangeCounts[p] after each
  // pair p, position r of pair p gets result[r] + offset + groups[r] - groups[first of p].
  void apply_unique(int first = 0);

  int (*ranges)[2] = nullptr;
  int keyCount = 0;
  int count = 0;
  int threadCount = 0;
  int* groups = nullptr;
  int* rows = nullptr;
  int** keyArrays = nullptr;
  int* result = nullptr;
  int* rangeCounts = nullptr;
  int upper = 0;
  int lower = 0;

  // The last position (at most `last`) of the run of equal tuples that starts at pos.
  int RunEnd(int pos, int last) const;
};

// Finds the overlap of the two sides' tuple ranges (both sides non-empty): the positions below
// *masterLo / *slaveLo hold tuples below the other side's first tuple (on one side at most), those
// above *masterHi / *slaveHi tuples above the other side's last one. One side's overlap may be
// empty (hi = lo - 1) when the other side's tuples all lie between two of its tuples. Returns 1
// when the two ranges do not meet at all (then *masterLo >= nMaster when every master tuple comes
// first, *slaveLo >= nSlave when every slave tuple does), else 0.
int resolve_join_merge_range(CMergeJoinItem* master, CMergeJoinItem* slave, int nMaster, int nSlave,
                             int* masterLo, int* masterHi, int* slaveLo, int* slaveHi);

// Searches rowsB[lo .. hi - 1] (sorted) for the tuple of rowsA[posA]: returns the last position
// whose tuple is not larger (lo - 1 when there is none), *found telling whether that tuple is equal.
int FindHitPosj(int keyCount, int* rowsA, int** arraysA, int* rowsB, int** arraysB, int posA, int lo, int hi,
                int* found);

// dir 0: the first position of pos's run of equal tuples; dir 1: its last position (at most
// n - 1); any other dir: pos.
int move2nextUnique(int keyCount, int* rows, int** arrays, int pos, int n, int dir);

// Tuple A[i] against B[j] by CompArea's c: op 0 c == 0, 2 c <= 0, 3 c >= 0, 6 c < 0, 7 c > 0;
// 1 when it holds, 0 otherwise and for any other op.
int jcompare(int keyCount, int* rowsA, int** arraysA, int* rowsB, int** arraysB, int i, int j, int op);

// Worker parameter block of task 65: the pair to merge (worker index + 1) and the two sides.
struct JoinMergeParam {
  MppParamHeader header;
  int pair;
  CMergeJoinItem* master;
  CMergeJoinItem* slave;
};

// Task 65: merges pair `pair` of both items (rangeCounts[pair] and the results of the pair).
int mpp_join_merge_list(void* param);
