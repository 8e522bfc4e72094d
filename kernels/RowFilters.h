// Row filters of the searches: keep the rows of a set whose value is selected in a byte table, in
// the set's order.
//
// `select` holds one byte per value number (or per compiled scope position); nonzero keeps the
// row. `vno` is a filter's value-number array, indexed by record number (count = records + 1,
// element 0 is not a row); the caller guarantees that every value number it holds for the rows of
// src indexes `select`, and that index[i] does for each position i of src. A row of src outside
// 1 .. vno's count - 1 has no value number and is dropped rather than read past the array.
//
// dst is sized to src's count, filled from element 0 and its count set to the rows kept; its
// capacity never shrinks. dst may be src itself (the set is filtered in place). Failures come from
// sizing dst: CQ7Exception with Q7_ERROR_OUT_OF_MEMORY, or Q7_ERROR_SHARED_READ_ONLY when dst is
// part of a shared-memory image and must grow; dst is then as it was.
//
// Thread safety: the serial filters are reentrant. The Mpp forms drive the worker pool (task 23
// "Q7_MPP_MOVE_REC"): call them only from the thread that holds the API lock, never from a task.
// They give the same dst as the serial filters for any worker count.
#pragma once

#include <cstdint>

class TIntArray;

// A selection of keys seen as one run: key 0 (the NULL value number) keeps `null_keep`, a key in
// [lo, hi] keeps `inside`, any other key `outside`. A row is then tested by comparing its key
// against the run, which costs the same whether the selection has 50 entries or 50 million, where
// a byte per value number stops fitting the cache once the value list is large.
struct ValueRun {
  bool null_keep = false;
  bool inside = false;
  bool outside = false;
  int lo = 1;
  int hi = 0;

  // Keys lo .. hi keep `keep`, all others (0 included) the opposite; none keep it when lo > hi.
  // An empty run is held as inside == outside, which Keeps relies on.
  static ValueRun Range(int64_t lo, int64_t hi, bool keep);
  bool Keeps(int key) const {
    const bool in_run = static_cast<uint32_t>(key) - static_cast<uint32_t>(lo) <=
                        static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo);
    return key == 0 ? null_keep : (in_run ? inside : outside);
  }
};

// The run form of `select` (n entries, each 0 or 1): true when the entries from 1 on that differ
// from entry 1 form one contiguous run (or there are none). Costs a few memchr passes over select.
bool SelectionRun(const unsigned char* select, int n, ValueRun* run);

// dst = the rows r of src, in src order, with select[vno[r]] != 0.
void MoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select);
// dst = the rows src[i], in src order, with select[index[i]] != 0 (index by position in src).
void MoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select);
// The same on the pool: each worker filters one slice of src into dst at the slice's own start;
// the calling thread then closes the gaps.
void MppMoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select);
void MppMoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select);

// dst = the rows r of src, in src order, whose value number vno[r] the run keeps (rows outside
// vno dropped as above).
void MoveRecsInRun(TIntArray* src, TIntArray* dst, TIntArray* vno, const ValueRun& run);
void MppMoveRecsInRun(TIntArray* src, TIntArray* dst, TIntArray* vno, const ValueRun& run);
// dst = the rows r of src, in src order, that the run keeps as keys themselves (any int).
void MoveRecsByRecNoInRun(TIntArray* src, TIntArray* dst, const ValueRun& run);
void MppMoveRecsByRecNoInRun(TIntArray* src, TIntArray* dst, const ValueRun& run);

// dst = the rows r of src with select[vno[r]] != 0, where select has n_select entries of 0 or 1:
// through the run when the selection is one (SelectionRun), else through the map; on the pool
// when `pool`. The same dst either way.
void MoveRecsForSelection(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select,
                          int n_select, bool pool);

// Task function of row 23 of mpp_func_map.
int mpp_move_rec(void* param);
