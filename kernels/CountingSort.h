// Serial sort kernels over value numbers: counting, prefix sums, stable placement, bitmap order
// and the bit widths the radix planners use.
//
// Rows are 1-based record numbers in int32 arrays; `vno` is a filter's value-number array indexed
// by record number (element 0 is not a row), with value numbers in 0 .. nValues-1 and 0 = NULL.
// Direction 0 is ascending, 1 descending. The kernels do not check row numbers or value numbers
// against their arrays: callers guarantee them.
//
// Ownership: output arrays belong to the caller and are sized by the caller (n entries). Work
// arrays are taken with zpk_malloc and released before every return, on failure paths too.
// Failures are thrown as CQ7Exception: Q7_ERROR_OUT_OF_MEMORY from an allocation,
// Q7_ERROR_INVALID_PARAMETER for a direction other than 0 and 1 (after an error-ring entry
// "Invalid Parameter : Dir" under "Aggregate" or "BitMapSort").
//
// Thread safety: reentrant; each call touches only its arguments and its own work arrays, and
// runs on the calling thread. Safe inside worker tasks except the two scoped sorts, which run
// the value-list compiler (serial, but it may allocate large blocks).
#pragma once

#include <cstdint>

// CnvTable[0] = 0, CnvTable[k] = 2^k for k = 1 .. 31. Read-only.
extern const uint32_t CnvTable[32];

// Bits needed to write n: the largest k in 1 .. 32 with CnvTable[k-1] <= n (0 and 1 give 1).
int ConvertFromVLtoBitsize(unsigned int n);

// CnvTable[k] for k in 0 .. 31 (0 for k = 0, 2^k otherwise); any other k gives 0.
uint32_t Bit2Size(int k);

// counts[0 .. nValues-1] = 0, then counts[vno[rows[i]]] += 1 for i in 0 .. n-1.
void CountupNExist(int n, const int* rows, int nValues, const int* vno, int* counts);

// As CountupNExist over n value numbers given directly.
void CountupNExist2(int n, const int* vnos, int nValues, int* counts);

// Exclusive prefix sums of n counts into out (out may be counts itself): direction 0 from the
// front, direction 1 from the back. Sums are 32-bit. n below 1 writes nothing. Another direction
// writes nothing, logs ("Aggregate", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Dir") and
// throws Q7_ERROR_INVALID_PARAMETER with an empty message.
void Aggregate(int dir, int n, const int* counts, int* out);

// Stable placement step of a counting sort: for each row in input order,
// out[pos[vno[row]]++] = row. pos ends as the end positions of the groups.
void MoveRecsForSort(int n, const int* rows, const int* vno, int* out, int* pos);

// Stable sort of n rows by vno[row] into out (rows and out must not overlap). Equal value
// numbers keep their input order; NULL rows come first ascending, last descending. Uses a count
// array of nValues entries while (nValues >> 3) <= n, else ScopeCSort. n 0 does nothing.
void CountingSort(int dir, int n, const int* rows, int* out, const int* vno, int nValues);

// CountingSort through the value-list compiler: the occurring value numbers are renumbered
// densely first, so the count array has one entry per distinct value number present.
void ScopeCSort(int dir, int n, const int* rows, int* out, const int* vno);

// Orders n numbers in 0 .. max into out (all n of them: a number given k times is written k
// times): through a bitmap of (max + 32) / 32 words while (max >> 5) <= n, else ScopeBitMapSort.
// n 0 does nothing; otherwise a direction other than 0 and 1 is refused on both paths.
void BitMapSort(int dir, int max, int n, const int* rows, int* out);

// BitMapSort through the value-list compiler (repeated numbers allowed). Direction 0 ascends, any
// other descends.
void ScopeBitMapSort(int dir, int n, const int* rows, int* out);
