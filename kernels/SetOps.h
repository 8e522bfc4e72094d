// Set operations over row lists, and the bitmaps they are computed through.
//
// A row list holds 1-based record numbers of one table whose record count nRows the caller passes;
// a TIntArray supplies the list's count (FArraySize) and data. A null array, or one without data,
// is an empty list. A bitmap of nRows rows has W = (nRows + 32) / 32 32-bit words (0 for a
// negative nRows); record r is bit (r & 31) of word (r >> 5), and bit 0 of word 0 (record 0) is
// never a row.
//
// Rows that are not records: a list may hold a record twice, or a number outside 1 .. nRows
// (0, negative, too large). Neither can make a kernel write outside its buffers: a record given
// twice counts once, and a number outside 1 .. nRows is ignored (it is not a row of the table, so
// it is in no bitmap and in no result). Every result is sized from the bits actually set, so the
// counts returned are those of the rows actually produced.
//
// Results of the set operations: *out receives a new array of record numbers, ascending, from
// zpk_malloc; the caller takes it over and releases it with zpk_free. *size receives its allocated
// length in ints: the count returned when that is at least 1, else 10. *out is set to null first
// and stays null when the operation fails (*size is then untouched).
//
// Failures are thrown as CQ7Exception: Q7_ERROR_OUT_OF_MEMORY when an allocation fails (every
// bitmap and the result are released first); Q7_ERROR_INVALID_OPERATION (empty message) for an
// operation code other than 0, 1 and 2, after the serial SetOpeCommon has recorded ("SetOpeCommon",
// 0xE0000034, "Invalid Parameter : OpCode"); the parallel forms record nothing.
//
// Thread safety: the serial kernels are reentrant and touch only their arguments and their own work
// blocks. The Mpp forms drive the worker pool (task 15 "Q7_MPP_TOBITMAP"): call them only from the
// thread that holds the API lock, never from inside a task. Their results equal the serial ones
// for any worker count.
#pragma once

class TIntArray;

// The set operation codes of SetOpeCommon and MppSetOpeCommon.
constexpr int kSetOpeAnd = 0;     // rows in a and in b
constexpr int kSetOpeOr = 1;      // rows in a or in b
constexpr int kSetOpeAndNot = 2;  // rows in a that are not in b

// The rows 1 .. nRows that are not in a, ascending; returns their count.
int SetOpeNot(int nRows, TIntArray* a, int* size, int** out);
// The same, a's bitmap built on the pool.
int MppSetOpeNot(int nRows, TIntArray* a, int* size, int** out);

// The rows of operation op (kSetOpeAnd, kSetOpeOr, kSetOpeAndNot) of a and b within 1 .. nRows,
// ascending; returns their count.
int SetOpeCommon(int op, int nRows, TIntArray* a, TIntArray* b, int* size, int** out);
// The same, both bitmaps built on the pool; a bad op code is thrown without a ring entry.
int MppSetOpeCommon(int op, int nRows, TIntArray* a, TIntArray* b, int* size, int** out);

// Bitmap primitives. `bitmap`, `a`, `b` and `out` hold the words stated (W for the nRows forms);
// the caller allocates them.
//
// Clears `words` words, then sets the bit of each of the n rows; a row outside 1 .. words*32-1 is
// ignored. words < 1 does nothing.
void ToBitMap(int n, const int* rows, int words, int* bitmap);
// The same on the pool (task 15): worker 0 fills the caller's bitmap, the others private bitmaps
// that the calling thread then ORs in. n < 1 only clears the bitmap.
void MppToBitMap(int n, const int* rows, int words, int* bitmap);
// Inverts the W words, then clears bit 0 and every bit above nRows.
void NegateBitMap(int nRows, int* bitmap);
// out[i] = a[i] AND b[i] (ORBitMap: OR) for the W words; out may be a or b.
void ANDBitMap(int nRows, const int* a, const int* b, int* out);
void ORBitMap(int nRows, const int* a, const int* b, int* out);
// The number of the set bits among the first `words` words.
int CountBitMap(int words, const int* bitmap);
// Writes the number (word * 32 + bit) of every set bit of the first `words` words into out, in
// ascending order, and returns how many it wrote; out must hold CountBitMap(words, bitmap) ints.
int BM2Array(int words, const int* bitmap, int* out);

// *out = a new TIntArray (the caller's) with the rows of a that are in b, in a's order (a row that
// a holds twice is kept twice); returns its count. Rows of b outside 1 .. nRows are ignored, and so
// are rows of a outside 1 .. nRows (they are in no set of nRows rows). *out is null on failure.
int SieveOpe(int nRows, TIntArray* a, TIntArray* b, TIntArray** out);

// Task function of row 15 of mpp_func_map.
int mpp_tobitmap(void* param);
