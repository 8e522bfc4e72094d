// The engine's allocation calls and its parallel fill and copy.
//
// Every buffer of the engine comes from zpk_malloc / zpk_realloc and goes back through zpk_free.
// Exhaustion never shows up as a null result: it is thrown as CQ7Exception with
// Q7_ERROR_OUT_OF_MEMORY (0xE0000018) and an empty message, so callers never test for null.
//
// Thread safety: the allocation calls are safe from any thread, worker tasks included.
// MppMemSet / MppMemCpy / MppMemcpy drive the worker pool: call them only from the thread that
// drives the pool (under the API lock), never from inside a task.
#pragma once

#include <cstddef>

// Returns a new block of `size` bytes (a zero size still gives a block that zpk_free accepts).
// Throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) when none is available. A block of 2 MiB or more is
// advised to be backed by huge pages (madvise MADV_HUGEPAGE on its whole pages; a refusal is
// ignored), which takes most of the page-fault cost out of filling it.
void* zpk_malloc(size_t size);

// Resizes like realloc. A null result for a non-zero size throws
// CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) and the old block stays valid and owned by the caller.
// Size 0 is allowed and gives what realloc gives (the block is released; the result may be null).
// A result of 2 MiB or more gets the same huge-page advice as zpk_malloc's.
void* zpk_realloc(void* p, size_t size);

// Releases a block from zpk_malloc / zpk_realloc; null is ignored.
void zpk_free(void* p);

// Fills n bytes of p with (unsigned char)value and returns p. From 1 MiB on, and when more than
// one worker is active, the range is split over the worker pool. n < 0 does nothing.
// A worker's failure is rethrown as CQ7Exception after every worker has finished.
void* MppMemSet(void* p, int value, long n);

// Copies count elements of unit_size bytes from src to dst (ranges must not overlap) and returns
// dst. From 1 MiB in total on, and when more than one worker is active, the elements are split
// over the worker pool. A worker's failure is rethrown after every worker has finished.
void* MppMemCpy(void* dst, void* src, int unit_size, unsigned int count);

// As MppMemCpy but always on the pool (no size threshold). The last argument is ignored.
void* MppMemcpy(void* dst, void* src, int unit_size, unsigned long count, int unused_threads);

// Task functions of the fill (row 39) and copy (row 36) tasks; each works on its own worker's
// range from the worker parameter block and returns 0.
int mpp_memset(void* param);
int mpp_memcpy(void* param);
