// CMemFile: writing tables and databases into host memory and reading them back.
#include "foundation/CMemFile.h"

#include <cstring>

#include "foundation/SystemHeader.h"
#include "foundation/zpk_memory.h"

namespace {

[[noreturn]] void ThrowShortImage() { throw CQ7Exception(Q7_ERROR_INVALID_READ_SIZE); }

size_t CheckedBytes(size_t size, size_t count) {
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) ThrowShortImage();
  return bytes;
}

}  // namespace

CMemFile::CMemFile()
    : sys_elf_(getSystemELF()),
      sys_endian_(getSystemEndian()),
      sys_alignment_(getSystemAddrAlignment()),
      sys_os_(getSystemOSTYPE()) {}

CMemFile::CMemFile(void* buffer, long size) : CMemFile() {
  cursor_ = static_cast<char*>(buffer);
  left_ = (buffer != nullptr && size > 0) ? size : 0;
}

int CMemFile::writeFileHeader() {
  if (left_ < static_cast<int64_t>(kSysHeaderSize)) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  memcpy(cursor_, Qz7SysInfo, kSysHeaderSize);
  cursor_ += kSysHeaderSize;
  left_ -= kSysHeaderSize;
  return kSysHeaderSize;
}

int CMemFile::readFileHeader() {
  CheckReadable(0, kSysHeaderSize);
  image_elf_ = getStreamELF(cursor_);
  image_endian_ = getStreamEndian(cursor_);
  image_alignment_ = getStreamAddrAlignment(cursor_);
  image_os_ = getStreamOSTYPE(cursor_);
  image_char_code_ = getStreamDBCharCode(cursor_);
  cursor_ += kSysHeaderSize;
  left_ -= kSysHeaderSize;
  return kSysHeaderSize;
}

long CMemFile::adjust_write_addr_alignment() {
  if (unaligned_ != 0) return 0;
  const size_t pad = AlignmentPadding(reinterpret_cast<uintptr_t>(cursor_));
  if (static_cast<int64_t>(pad) > left_) return -1;
  memset(cursor_, 0, pad);
  cursor_ += pad;
  left_ -= static_cast<int64_t>(pad);
  return static_cast<long>(pad);
}

int CMemFile::write(const void* p, size_t size, size_t count) {
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) return -1;
  if (bytes == 0) return 0;
  const size_t pad = unaligned_ != 0 ? 0 : AlignmentPadding(reinterpret_cast<uintptr_t>(cursor_));
  // Checked as a whole before anything is written, so a failed write leaves the image as it was.
  if (cursor_ == nullptr || left_ < 0 || static_cast<uint64_t>(left_) < pad ||
      static_cast<uint64_t>(left_) - pad < bytes) {
    return -1;
  }
  memset(cursor_, 0, pad);
  memcpy(cursor_ + pad, p, bytes);
  cursor_ += pad + bytes;
  left_ -= static_cast<int64_t>(pad + bytes);
  return 0;
}

size_t CMemFile::ReadPadding() const {
  if (unaligned_ != 0 || image_alignment_ == 0) return 0;
  return AlignmentPadding(reinterpret_cast<uintptr_t>(cursor_));
}

void CMemFile::CheckReadable(size_t pad, size_t bytes) const {
  if (cursor_ == nullptr || left_ < 0 || static_cast<uint64_t>(left_) < pad ||
      static_cast<uint64_t>(left_) - pad < bytes) {
    ThrowShortImage();
  }
}

bool CMemFile::NeedsSwap() const { return image_endian_ != 0 && image_endian_ != sys_endian_; }

size_t CMemFile::adjust_read_addr_alignment() {
  const size_t pad = ReadPadding();
  CheckReadable(pad, 0);
  cursor_ += pad;
  left_ -= static_cast<int64_t>(pad);
  return pad;
}

size_t CMemFile::read(void* p, size_t n) {
  if (n == 0) return 0;
  CheckReadable(0, n);
  memcpy(p, cursor_, n);
  cursor_ += n;
  left_ -= static_cast<int64_t>(n);
  return n;
}

size_t CMemFile::read(void* p, size_t size, size_t count) {
  const size_t bytes = CheckedBytes(size, count);
  // The writer puts no padding before an empty record; skipping some here would shift every
  // later record.
  if (bytes == 0) return 0;
  const size_t pad = ReadPadding();
  CheckReadable(pad, bytes);
  cursor_ += pad;
  const auto* in = cursor_;
  auto* out = static_cast<char*>(p);
  const bool swap = size > 1 && NeedsSwap();
  for (size_t i = 0; i < count; ++i, in += size, out += size) {
    memcpy(out, in, size);
    if (swap) flip_endian(out, size);
  }
  cursor_ += bytes;
  left_ -= static_cast<int64_t>(pad + bytes);
  return bytes;
}

size_t CMemFile::fastread(void* p, size_t size, size_t count) {
  const size_t bytes = CheckedBytes(size, count);
  if (bytes == 0) return 0;
  const size_t pad = ReadPadding();
  CheckReadable(pad, bytes);
  cursor_ += pad;
  memcpy(p, cursor_, bytes);
  if (size > 1 && NeedsSwap()) SwapElements(p, size, count);
  cursor_ += bytes;
  left_ -= static_cast<int64_t>(pad + bytes);
  return bytes;
}

size_t CMemFile::parallelread(void* p, size_t size, size_t count) {
  const size_t bytes = CheckedBytes(size, count);
  if (bytes == 0) return 0;
  const size_t pad = ReadPadding();
  CheckReadable(pad, bytes);
  cursor_ += pad;
  // Copied as bytes: the pool splits by element count, and the byte count has no int limit.
  MppMemcpy(p, cursor_, 1, bytes, 0);
  cursor_ += bytes;
  left_ -= static_cast<int64_t>(pad + bytes);
  return bytes;
}

size_t CMemFile::size_write(const void*, size_t size, size_t count) {
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) bytes = SIZE_MAX - 8;
  if (bytes == 0) return 0;
  const size_t counted = unaligned_ != 0 ? bytes : bytes + 8;
  size_count_ += counted;
  return counted;
}

size_t CMemFile::size_adjust_write_addr_alignment() {
  const size_t counted = unaligned_ != 0 ? 0 : 8;
  size_count_ += counted;
  return counted;
}

size_t CMemFile::sizeFileHeader() {
  size_count_ += kSysHeaderSize;
  return kSysHeaderSize;
}

int zpk_write2mem(CMemFile* stream, const void* p, size_t size, size_t count) {
  if (stream->write(p, size, count) != 0) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  return 0;
}

size_t zpk_readmem(CMemFile* stream, void* p, size_t size, size_t count) {
  if (stream == nullptr) return 0;
  return stream->fastread(p, size, count);
}

size_t zpk_readmem(CMemFile* stream, void* p, size_t size, size_t count, int width) {
  if (stream == nullptr) return 0;
  if (width < 1 || size < 1) throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
  const auto w = static_cast<size_t>(width);
  if (w == size) return stream->fastread(p, size, count);
  const size_t bytes = CheckedBytes(size, count);
  if (bytes == 0) return 0;
  // The stored elements must lie inside the image before they size a temporary block.
  if (stream->BytesLeft() < 0 || static_cast<uint64_t>(stream->BytesLeft()) < bytes) ThrowShortImage();
  void* stored = zpk_malloc(bytes);
  try {
    stream->fastread(stored, size, count);
  } catch (...) {
    zpk_free(stored);
    throw;
  }
  ConvertElementWidth(stored, size, count, p, w);
  zpk_free(stored);
  return bytes;
}

size_t zpk_readmem_parallel(CMemFile* stream, void* p, size_t size, size_t count) {
  if (stream == nullptr) return 0;
  return stream->parallelread(p, size, count);
}

size_t zpk_size_write2mem(CMemFile* stream, const void* p, size_t size, size_t count) {
  if (stream == nullptr) return 0;
  return stream->size_write(p, size, count);
}
