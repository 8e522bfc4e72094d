// CMemFile: the stream through which tables and databases are written into, and read back from,
// a block of caller memory (a memory image). It follows the file stream's rules (the 256-byte
// system header at the front, (address & 7) zero padding before each record, byte swapping on
// read when the image came from a machine of the other byte order; see SystemHeader.h).
//
// Padding works on the cursor's address, so an image has the same layout wherever it is placed
// as long as the block starts at a multiple of 8 (entry points check with check_addr_alignment).
//
// A stream is made for one pass:
//  - sizing (CMemFile()): the size_* calls only add up an upper bound of the bytes needed;
//    a block of that size never runs out of room, wherever it is placed (8-aligned);
//  - writing (CMemFile(buffer, size)): writeFileHeader, then records;
//  - reading (CMemFile(buffer, size)): readFileHeader first, so that alignment and byte order
//    are known (before it no padding is skipped and nothing is swapped).
//
// Ownership: the stream never owns or frees the block.
// Thread safety: one thread per stream. parallelread drives the worker pool through MppMemcpy
// and may be called only from the thread that drives the pool (under the API lock).
// Bounds: reads never go past the bytes left in the caller's block; a read that would fails
// with Q7_ERROR_INVALID_READ_SIZE (0xE0000121) and leaves the cursor where it was.
#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/CQ7Exception.h"  // check_addr_alignment

class CMemFile {
 public:
  // A sizing stream: null cursor, counter 0.
  CMemFile();
  // A stream over the caller's block of `size` bytes (a negative size counts as 0).
  CMemFile(void* buffer, long size);

  // Copies Qz7SysInfo at the cursor, without padding; returns 256.
  // Fewer than 256 bytes left throws Q7_ERROR_OUT_OF_MEMORY (0xE0000018).
  int writeFileHeader();
  // Decodes the header at the cursor (marker and character code are not checked) and advances
  // by 256; returns 256. Fewer than 256 bytes left throws Q7_ERROR_INVALID_READ_SIZE.
  int readFileHeader();

  // Pads (unless unaligned) and copies size * count bytes: 0, or -1 (nothing written) when
  // there is not enough room. size * count of 0 does nothing.
  int write(const void* p, size_t size, size_t count);
  // The padding alone: the amount written, or -1 when there is no room for it.
  long adjust_write_addr_alignment();

  // Copies n bytes as stored (no padding skipped, no swapping); returns n.
  size_t read(void* p, size_t n);
  // Skips the padding (unless unaligned; only once the header gave an alignment), copies
  // size * count bytes and swaps each element when the image's byte order differs from the
  // system's; returns size * count. A read of 0 bytes skips nothing.
  size_t read(void* p, size_t size, size_t count);
  // The same result as read(p, size, count), quicker for element sizes 1, 2, 4 and 8.
  size_t fastread(void* p, size_t size, size_t count);
  // The padding step, then a copy on the worker pool, never swapped; returns size * count.
  size_t parallelread(void* p, size_t size, size_t count);
  // The read padding alone; returns the bytes skipped.
  size_t adjust_read_addr_alignment();

  // Sizing pass: each adds to the counter and returns what it added.
  // size_write: size * count + 8 (size * count when unaligned); 0 for 0 bytes.
  size_t size_write(const void* p, size_t size, size_t count);
  // 8 (the largest padding), 0 when unaligned.
  size_t size_adjust_write_addr_alignment();
  // 256.
  size_t sizeFileHeader();

  char* Cursor() const { return cursor_; }
  int64_t BytesLeft() const { return left_; }
  // The most elements the next array record read through this stream may count (-1: no limit).
  // An image's reader sets it from the counts read before (a table's rows), so that a damaged
  // count is refused before the elements it counts are read, also where the image's length is
  // unknown. The array reader takes it, which sets it back to -1.
  void LimitNextArrayCount(int64_t most) { array_count_limit_ = most; }
  int64_t TakeArrayCountLimit() {
    const int64_t most = array_count_limit_;
    array_count_limit_ = -1;
    return most;
  }
  uint64_t SizeCount() const { return size_count_; }
  int IsUnaligned() const { return unaligned_; }
  void SetUnaligned(int unaligned) { unaligned_ = unaligned; }

  // The image's header fields (0 until readFileHeader).
  unsigned char ImageELF() const { return image_elf_; }
  unsigned char ImageEndian() const { return image_endian_; }
  unsigned char ImageAddrAlignment() const { return image_alignment_; }
  unsigned char ImageOSTYPE() const { return image_os_; }
  unsigned char ImageDBCharCode() const { return image_char_code_; }

 private:
  size_t ReadPadding() const;
  void CheckReadable(size_t pad, size_t bytes) const;
  bool NeedsSwap() const;

  char* cursor_ = nullptr;
  int64_t left_ = 0;
  uint64_t size_count_ = 0;
  int32_t unaligned_ = 0;
  unsigned char image_elf_ = 0;
  unsigned char image_endian_ = 0;
  unsigned char image_alignment_ = 0;
  unsigned char image_os_ = 0;
  unsigned char image_char_code_ = 0;
  unsigned char sys_elf_ = 0;
  unsigned char sys_endian_ = 0;
  unsigned char sys_alignment_ = 0;
  unsigned char sys_os_ = 0;
  int64_t array_count_limit_ = -1;
};

// As stream->write, but lack of room throws Q7_ERROR_OUT_OF_MEMORY (0xE0000018). Returns 0.
int zpk_write2mem(CMemFile* stream, const void* p, size_t size, size_t count);
// stream->fastread; a null stream reads nothing (returns 0).
size_t zpk_readmem(CMemFile* stream, void* p, size_t size, size_t count);
// Reads count elements stored with `size` bytes and delivers each with `width` bytes (see
// ConvertElementWidth); p must hold count * width bytes. Returns size * count; a null stream
// reads nothing. A width or size below 1 throws Q7_ERROR_INVALID_UNIT_WIDTH.
size_t zpk_readmem(CMemFile* stream, void* p, size_t size, size_t count, int width);
// stream->parallelread; a null stream reads nothing.
size_t zpk_readmem_parallel(CMemFile* stream, void* p, size_t size, size_t count);
// stream->size_write: the bytes the write would take, added to the counter.
size_t zpk_size_write2mem(CMemFile* stream, const void* p, size_t size, size_t count);
