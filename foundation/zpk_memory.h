// The engine's allocation calls and its parallel fill and copy.
//
// Every buffer of the engine comes from zpk_malloc / zpk_realloc and goes back through zpk_free.
// Exhaustion never shows up as a null result: it is thrown as CQ7Exception with
// Q7_ERROR_OUT_OF_MEMORY (0xE0000018) and an empty message, so callers never test for null.
//
// Thread safety: the allocation calls are safe from any thread, worker tasks included.
// MppMemSet / MppFillSequence / MppMemCpy / MppMemcpy / MppPread / MppMaxUint32Minus drive the worker
// pool: call them only from the thread that drives the pool (under the API lock), never from inside
// a task.
#pragma once

#include <cstddef>
#include <cstdint>

// From this size on a block is a mapping of the engine's own (whole pages, page-aligned), kept
// (below) or given back to the system when freed. It never enters a heap of the C library, and its
// free leaves the C library's mapping threshold alone: after the C library itself frees a block it
// mapped it serves blocks below that size (up to 32 MiB) from the heap of the thread that asks, and
// the free top of a worker thread's heap is never given back, not even by malloc_trim. Smaller
// blocks come from malloc, and so does a large one when the system refuses a mapping. At load the engine
// frees one block the C library mapped, as any program's first large free does, so that its heaps are not
// trimmed and grown again at every free (see the .cpp; a threshold the host set with mallopt stays).
constexpr size_t kMappedBlockMin = size_t{128} << 10;

// Returns a new block of `size` bytes (a zero size still gives a block that zpk_free accepts).
// Throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) when none is available. A block of 2 MiB or more is
// advised to be backed by huge pages (madvise MADV_HUGEPAGE on its whole pages; a refusal is
// ignored), which takes most of the page-fault cost out of filling it.
void* zpk_malloc(size_t size);

// Resizes like realloc. A null result for a non-zero size throws
// CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) and the old block stays valid and owned by the caller.
// Size 0 is allowed and gives what realloc gives (the block is released; the result may be null).
// A result of 2 MiB or more gets the same huge-page advice as zpk_malloc's. Also takes a block of
// the C library's malloc (it then goes back through free, the result being the engine's).
void* zpk_realloc(void* p, size_t size);

// Releases a block from zpk_malloc / zpk_realloc; null is ignored. A block of the C library's
// malloc goes to free. A block from zpk_malloc / zpk_realloc must come back here (or to
// zpk_realloc), never to free, realloc or delete, nor as a pointer inside it.
void zpk_free(void* p);

// ---- Kept blocks ----
// zpk_free keeps a block of kMappedBlockMin bytes or more resident instead of giving it back, and
// zpk_malloc (and zpk_realloc of null or of a smaller block) hands it out again for a size it fits:
// the whole block when it is at most a quarter larger, else its front pages, the rest staying kept.
// A new block's fresh pages cost the kernel a clearing on first touch, often more than the pass
// that fills them. A block of kKeptBlockMin or more that none fits is mapped anew after the oldest
// kept blocks, as many bytes as it asks, are given back, so the kept blocks add little to the
// process's peak; a small mapping grown by zpk_realloc to kKeptBlockMin or more takes a kept block.
// Bounded: no more than zpk_kept_bound() bytes are kept (the oldest go first), and a block kept for
// more than five seconds is given back at the next allocation or free of mapping size, or on the
// way out of the next call that takes the API lock (zpk_expire_kept).
// A handed-out block holds old bytes, as any malloc block may.
constexpr size_t kKeptBlockMin = size_t{32} << 20;
// The most bytes kept at once: an eighth of the machine's memory, at most 1 GiB.
size_t zpk_kept_bound();
// Bytes kept now.
size_t zpk_kept_bytes();
// Gives every kept block and every scratch block not in use back to the system. The engine's stop
// does, and so does a save before it writes (the page cache needs the memory).
void zpk_release_kept();
// As zpk_release_kept, and then the free pages of the C library's heaps (malloc_trim), which costs a
// walk over their free chunks. A database clear, a database load and the deletion of the last table
// do this: a host may idle long after them.
void zpk_release_memory();
// Gives back the kept and scratch blocks kept for more than five seconds, and when any went, the
// free pages of the C library's heaps. Called as the API lock is let go; with nothing kept it costs
// three relaxed atomic loads, and with young blocks only clock reads besides.
void zpk_expire_kept() noexcept;
// Shifts the kept and scratch blocks' clock by nanos (0 restores it), so that a test can age them
// without waiting.
void SetKeptClockShiftForTest(int64_t nanos);
// Test seam: while set, the system refuses every new mapping of the engine's, as it does when the
// process has reached its mapping count; zpk_malloc then serves large blocks from the C library.
void FailMappingsForTest(bool fail);

// Resizes the zpk_malloc block *p to size bytes and stores the result in *p. Exhaustion (or a
// negative size) throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) with *p unchanged; size 0 behaves as
// zpk_realloc's.
void ReAllocMem(void** p, int size);

// Throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY, "Memory allocation failed for %u bytes") with the
// size (as an unsigned 32-bit number).
[[noreturn]] void _heap_memory_exception(size_t size);

// The array-style allocation (operator new[]): exhaustion throws std::bad_alloc, as the platform's
// allocator does. Its blocks go back through FreeMem only, never zpk_free (nor the reverse).
void* AllocMem(size_t size);
// Releases an AllocMem block; null is ignored.
void FreeMem(void* p);

// memset: fills n bytes of p with (unsigned char)value; returns p.
void* MemSet(void* p, int value, size_t n);

// Fills n bytes of p with (unsigned char)value and returns p. From 1 MiB on, and when more than
// one worker is active, the range is split over the worker pool. n < 0 does nothing.
// A worker's failure is rethrown as CQ7Exception after every worker has finished.
void* MppMemSet(void* p, int value, long n);

// Stores first, first + 1, ..., first + n - 1 into p[0 .. n). From 1 MiB on, and when more than
// one worker is active, the range is split over the worker pool (as MppMemSet, whose task row it
// shares). n <= 0 does nothing.
void MppFillSequence(int* p, long n, int first);

// Copies count elements of unit_size bytes from src to dst (ranges must not overlap) and returns
// dst. From 1 MiB in total on, and when more than one worker is active, the elements are split
// over the worker pool. A worker's failure is rethrown after every worker has finished.
void* MppMemCpy(void* dst, void* src, int unit_size, unsigned int count);

// As MppMemCpy but always on the pool (no size threshold). The last argument is ignored.
void* MppMemcpy(void* dst, void* src, int unit_size, unsigned long count, int unused_threads);

// Reads bytes of the file fd from offset into dst with pread, without moving the file's position;
// true when every byte was read, false at the end of the file or on a read error. From 4 MiB on,
// and when more than one worker is active, the ranges are read by the workers of the copy task, so that the
// fresh pages of dst are cleared and filled on every core. A pool that cannot run the task leaves the whole
// read to the calling thread.
bool MppPread(int fd, void* dst, size_t bytes, int64_t offset);

// The largest of n 4-byte elements at p, each taken as unsigned after subtracting bias (modulo
// 2^32); 0 for n = 0. From 1 Mi elements on, and when more than one worker is active, the ranges
// are scanned by the workers of the copy task. The result does not depend on the worker count.
uint32_t MppMaxUint32Minus(const void* p, size_t n, uint32_t bias);
// The same on the calling thread.
uint32_t MaxUint32Minus(const void* p, size_t n, uint32_t bias);

// The size from which MppPread, MppMaxUint32Minus (a quarter of it in elements) and
// zpk_fstream::read_parallel use the pool, and each worker's least share: 4 MiB. The test seam sets
// another (a value <= 0 restores 4 MiB), so that small files reach the pool's road.
long ParallelFileBytes();
void SetParallelFileBytesForTest(long bytes);

// Task functions of the fill (row 39; byte fills and sequences) and copy (row 36) tasks; each works on its
// own worker's range from the worker parameter block and returns 0.
int mpp_memset(void* param);
int mpp_memcpy(void* param);

// ---- Scratch blocks ----
// Large work blocks that one step uses and drops are kept for the next step (or the next column)
// instead of going back to the system, whose fresh pages cost a kernel zeroing on first touch.
// A scratch block is a zpk_malloc block of at least the size asked (*capacity gets its real size);
// it goes back through zpk_scratch_give with that capacity and must not escape the step that took
// it. Blocks below kScratchMin bytes are not kept. What is kept stays bounded: zpk_scratch_settle
// gives back every kept block beyond the most scratch memory in use at once since the previous
// settle, and no more than kScratchKeepMax bytes are ever kept. A block kept for more than five
// seconds goes back at the next large take or give, or as zpk_expire_kept runs; zpk_scratch_release
// (and so zpk_release_kept) gives back every block not in use.
// Thread safety: safe from any thread, worker tasks included. Throws Q7_ERROR_OUT_OF_MEMORY.
constexpr size_t kScratchMin = size_t{1} << 20;
constexpr size_t kScratchKeepMax = size_t{1} << 30;
void* zpk_scratch_take(size_t size, size_t* capacity);
void zpk_scratch_give(void* p, size_t capacity);
void zpk_scratch_settle();
void zpk_scratch_release() noexcept;
// Bytes kept for reuse now (for tests).
size_t zpk_scratch_kept();

// A scratch block of n elements of T for one scope.
template <class T>
class ZpkScratch {
 public:
  explicit ZpkScratch(size_t n) : p_(static_cast<T*>(zpk_scratch_take(sizeof(T) * n, &capacity_))) {}
  ~ZpkScratch() { zpk_scratch_give(p_, capacity_); }
  ZpkScratch(const ZpkScratch&) = delete;
  ZpkScratch& operator=(const ZpkScratch&) = delete;
  T* get() const { return p_; }
  T& operator[](size_t i) const { return p_[i]; }

 private:
  size_t capacity_ = 0;
  T* p_;
};

// ---- The paged value area ----
// A table of kVAPageCount page pointers followed by page 0 inline; the other pages are allocated
// (kVAPageSize bytes each, with zpk_malloc) on first use. Integers sit kVAPageSize / 4 to a page
// (index >> 14, index & 0x3FFF), doubles kVAPageSize / 8 (index >> 13, index & 0x1FFF); texts are
// appended at a byte position (page = position >> 16). Page i is ((void**)area)[i].
// Thread safety: none; an area is used by one thread at a time.
constexpr int kVAPageCount = 16384;
constexpr int kVAPageSize = 65536;

// A new area (page 0 in place, no other page yet). Q7_ERROR_OUT_OF_MEMORY when memory runs out.
void* CreateVA();
// Frees pages 1 to kVAPageCount - 1 and the area; null is ignored.
void CloseVA(void* area);
// Store a value at an element index, allocating its page on first use. An index whose page lies
// outside the table (negative, or beyond 268435455 integers / 134217727 doubles) throws
// Q7_ERROR_INDEX_OUT_OF_RANGE with nothing stored.
void VAIntSetAt(void* area, int index, int value);
void VADoubleSetAt(void* area, int index, double value);
// Appends text and its NUL at byte *position when position and position + length + 1 lie in the
// same page, advancing *position by length + 1; otherwise at the start of the page of
// position + length + 1, *position becoming that page's start + length + 1. Returns the stored
// text. A text that cannot fit one page (Q7_ERROR_STRING_SIZE_OVERFLOW), a position that is
// negative or past the last page (Q7_ERROR_INDEX_OUT_OF_RANGE) or a full area
// (Q7_ERROR_DATA_SIZE_OVERFLOW) throws with *position unchanged.
char* VASZAppend(void* area, int* position, const char* text);
// Writes the NULL sentinel of a value type into element 0 of page 0 and returns its width:
// type 2 / width 4: INT32_MIN, 4; types 3, 4, 5, 7 / width 8: minus infinity, 8; type 6 /
// width 8: nothing written, 4; any other pair: nothing written, 0. Further arguments are ignored.
int VANULLAppend(void* area, int type, int width, ...);
