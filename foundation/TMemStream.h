// TMemStream: the process's one memory stream, a byte buffer that array, filter and table
// records are appended to (write mode) or read back from (read mode), with the 256-byte system
// header, the (position & 7) padding and byte swapping of the other stores (SystemHeader.h).
//
// Ownership: in write mode the stream owns its buffer (zpk_malloc / zpk_realloc) and the
// destructor frees it; in read mode the buffer is the caller's and is never freed.
// Thread safety: none; the global MemStream is used under the API lock.
// Errors: the members return codes and throw nothing, except the constructors.
#pragma once

#include <cstddef>
#include <cstdint>

class TMemStream {
 public:
  static constexpr int kModeClosed = 0;  // closed, or a failed growth
  static constexpr int kModeRead = 1;
  static constexpr int kModeWrite = 2;
  static constexpr long kGrowth = 1000000;

  // Write mode over a new buffer of 1,000,000 bytes; throws Q7_ERROR_OUT_OF_MEMORY.
  TMemStream();
  // Read mode over the caller's `length` bytes at `data`, which must stay valid while the
  // stream is used. A null pointer or a negative length throws Q7_ERROR_INVALID_PARAMETER.
  TMemStream(long length, void* data);
  ~TMemStream();
  TMemStream(const TMemStream&) = delete;
  TMemStream& operator=(const TMemStream&) = delete;

  // Write mode: appends (position & 7) zero bytes, then size * count bytes, growing the buffer
  // to the needed size plus 1,000,000 bytes (rounded down to a multiple of 4; the last 4 bytes
  // of the capacity stay unused). Returns size * count (0, with no padding, when that is 0).
  // Not in write mode: ring entry ("writeStream", 0xE00000CF, "Invalid memstreem") and
  // Q7_ERROR_INVALID_MEMSTREAM. A failed growth frees the buffer, resets the stream to mode 0,
  // records "Out of memory" and returns Q7_ERROR_OUT_OF_MEMORY.
  long writeStream(const void* data, size_t size, size_t count);

  // Read mode: skips (position mod the writer's alignment) once a header gave one, then copies
  // the whole elements that lie inside the data, swapping each when the writer's byte order
  // differs from this system's. Returns min(size * count, bytes left after the padding); only
  // whole elements are copied, and the position advances past them. A read of 0 bytes skips
  // nothing. Not in read mode: Q7_ERROR_INVALID_MEMSTREAM.
  long readStream(void* dst, size_t size, size_t count);
  // The same for elements stored `size` bytes wide, delivered `width` bytes wide (see
  // ConvertElementWidth); dst must hold count * width bytes. A width below 1 returns
  // Q7_ERROR_INVALID_UNIT_WIDTH; a failed temporary block Q7_ERROR_OUT_OF_MEMORY.
  long readStream(void* dst, size_t size, size_t count, int width);

  // Appends Qz7SysInfo as one 256-byte element (writeStream's result).
  long writeStreamHeader();
  // Read mode: skips the padding, then takes up to 256 bytes (never more than the data holds).
  // A first byte of 0xFF is a header: its fields become the stream description and the bytes
  // consumed are returned. Otherwise (or with no bytes left) the stream has no header: the
  // position goes back to 0, nothing will be swapped or skipped, and 0 is returned.
  // Not in read mode: Q7_ERROR_INVALID_MEMSTREAM.
  long readStreamHeader();

  // Moves the position to min(pos, nUsed()) and returns it; a negative pos is refused with
  // Q7_ERROR_OUT_OF_RANGE and the position kept. In write mode the next write goes there.
  long Seek(long pos);
  // The padding steps alone. Write mode: appends (position & 7) zero bytes (growing as
  // writeStream does) and returns their count or writeStream's code. Read mode: skips
  // (position mod the writer's alignment) bytes, never past the data, and returns the count.
  // The wrong mode: Q7_ERROR_INVALID_MEMSTREAM.
  long adjust_write_addr_alignment();
  long adjust_read_addr_alignment();

  long Pos() const { return position_; }
  long nUsed() const { return size_; }
  int OpenMode() const { return mode_; }
  char* pArea() const { return buffer_; }

  // What the stream's header recorded for the writer (0 until readStreamHeader), and the
  // running system's values.
  unsigned char StreamELF() const { return stream_elf_; }
  unsigned char StreamEndian() const { return stream_endian_; }
  unsigned char StreamAddrAlignment() const { return stream_alignment_; }
  unsigned char StreamOSTYPE() const { return stream_os_; }
  unsigned char StreamDBCharCode() const { return stream_char_code_; }
  unsigned char LocalELF() const { return local_elf_; }
  unsigned char LocalEndian() const { return local_endian_; }
  unsigned char LocalAddrAlignment() const { return local_alignment_; }
  unsigned char LocalOSTYPE() const { return local_os_; }
  int NoConversion() const { return no_conversion_; }

 private:
  bool Grow(size_t needed);
  // Appends the (position & 7) zero bytes: their count, or Q7_ERROR_OUT_OF_MEMORY after FailGrowth.
  long WritePadding();
  void FailGrowth();
  void SkipReadPadding(size_t request);
  bool NeedsSwap() const;

  int32_t mode_ = kModeClosed;
  int64_t capacity_ = 0;
  int64_t size_ = 0;
  int64_t position_ = 0;
  char* buffer_ = nullptr;
  int32_t no_conversion_ = 0;
  unsigned char stream_elf_ = 0;
  unsigned char stream_endian_ = 0;
  unsigned char stream_alignment_ = 0;
  unsigned char stream_os_ = 0;
  unsigned char stream_char_code_ = 0;
  unsigned char local_elf_ = 0;
  unsigned char local_endian_ = 0;
  unsigned char local_alignment_ = 0;
  unsigned char local_os_ = 0;
};

// The process's one memory stream, null when none is open. The exported memory-stream calls
// create and delete it.
extern TMemStream* MemStream;
