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

class TIntArray;

// dst = the rows r of src, in src order, with select[vno[r]] != 0.
void MoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select);
// dst = the rows src[i], in src order, with select[index[i]] != 0 (index by position in src).
void MoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select);
// The same on the pool: each worker filters one slice of src into dst at the slice's own start;
// the calling thread then closes the gaps.
void MppMoveRecsForScan(TIntArray* src, TIntArray* dst, TIntArray* vno, const unsigned char* select);
void MppMoveRecsForScanScope(TIntArray* src, TIntArray* dst, const int* index, const unsigned char* select);

// Task function of row 23 of mpp_func_map.
int mpp_move_rec(void* param);
