// TMemStream: the process's one memory stream, its buffer, padding and byte order.
#include "foundation/TMemStream.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_memory.h"

TMemStream* MemStream = nullptr;

namespace {

// The last 4 bytes of the capacity are kept free, as every growth decision leaves them.
constexpr int64_t kReserve = 4;

size_t SaturatingBytes(size_t size, size_t count) {
  size_t bytes;
  return __builtin_mul_overflow(size, count, &bytes) ? SIZE_MAX : bytes;
}

}  // namespace

TMemStream::TMemStream()
    : local_elf_(getSystemELF()),
      local_endian_(getSystemEndian()),
      local_alignment_(getSystemAddrAlignment()),
      local_os_(getSystemOSTYPE()) {
  buffer_ = static_cast<char*>(zpk_malloc(kGrowth));
  capacity_ = kGrowth;
  mode_ = kModeWrite;
}

TMemStream::TMemStream(long length, void* data)
    : local_elf_(getSystemELF()),
      local_endian_(getSystemEndian()),
      local_alignment_(getSystemAddrAlignment()),
      local_os_(getSystemOSTYPE()) {
  if (data == nullptr || length < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  buffer_ = static_cast<char*>(data);
  capacity_ = size_ = length;
  mode_ = kModeRead;
}

TMemStream::~TMemStream() {
  if (mode_ == kModeWrite) zpk_free(buffer_);
}

void TMemStream::FailGrowth() {
  zpk_free(buffer_);
  buffer_ = nullptr;
  mode_ = kModeClosed;
  capacity_ = size_ = position_ = 0;
  PutErrorLog("writeStream", Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
}

bool TMemStream::Grow(size_t needed) {
  if (needed > static_cast<size_t>(INT64_MAX - kGrowth)) return false;
  const int64_t target = (static_cast<int64_t>(needed) + kGrowth) & ~int64_t{3};
  try {
    buffer_ = static_cast<char*>(zpk_realloc(buffer_, static_cast<size_t>(target)));
  } catch (const CQ7Exception&) {
    return false;
  }
  capacity_ = target;
  return true;
}

long TMemStream::WritePadding() {
  const size_t pad = AlignmentPadding(static_cast<uint64_t>(position_));
  if (pad == 0) return 0;
  if (position_ + static_cast<int64_t>(pad) > capacity_ - kReserve &&
      !Grow(static_cast<size_t>(position_) + pad)) {
    FailGrowth();
    return Q7_ERROR_OUT_OF_MEMORY;
  }
  memset(buffer_ + position_, 0, pad);
  position_ += static_cast<int64_t>(pad);
  if (size_ < position_) size_ = position_;
  return static_cast<long>(pad);
}

long TMemStream::writeStream(const void* data, size_t size, size_t count) {
  if (mode_ != kModeWrite) {
    PutErrorLog("writeStream", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem");
    return Q7_ERROR_INVALID_MEMSTREAM;
  }
  // Nothing to write means no padding either: readers skip none before an empty read.
  const size_t bytes = SaturatingBytes(size, count);
  if (bytes == 0) return 0;
  if (WritePadding() < 0) return Q7_ERROR_OUT_OF_MEMORY;
  const int64_t room_left = capacity_ - kReserve - position_;
  const size_t room = room_left > 0 ? static_cast<size_t>(room_left) : 0;
  if (bytes > room) {
    if (bytes > SIZE_MAX - static_cast<size_t>(position_) || !Grow(static_cast<size_t>(position_) + bytes)) {
      FailGrowth();
      return Q7_ERROR_OUT_OF_MEMORY;
    }
  }
  memcpy(buffer_ + position_, data, bytes);
  position_ += static_cast<int64_t>(bytes);
  if (size_ < position_) size_ = position_;
  return static_cast<long>(bytes);
}

bool TMemStream::NeedsSwap() const {
  return no_conversion_ == 0 && stream_endian_ != 0 && stream_endian_ != local_endian_;
}

void TMemStream::SkipReadPadding(size_t request) {
  // A writer pads nothing before an empty record, so an empty read skips nothing either.
  if (request == 0 || stream_alignment_ == 0) return;
  const int64_t skip = position_ % stream_alignment_;
  position_ = position_ + skip < size_ ? position_ + skip : size_;
}

long TMemStream::readStream(void* dst, size_t size, size_t count) {
  if (mode_ != kModeRead) return Q7_ERROR_INVALID_MEMSTREAM;
  const size_t request = SaturatingBytes(size, count);
  SkipReadPadding(request);
  const auto left = static_cast<size_t>(size_ - position_);
  const size_t available = request < left ? request : left;
  if (available == 0 || size == 0) return static_cast<long>(available);
  const size_t whole = available / size;
  memcpy(dst, buffer_ + position_, whole * size);
  if (size > 1 && NeedsSwap()) SwapElements(dst, size, whole);
  position_ += static_cast<int64_t>(whole * size);
  return static_cast<long>(available);
}

long TMemStream::readStream(void* dst, size_t size, size_t count, int width) {
  if (mode_ != kModeRead) return Q7_ERROR_INVALID_MEMSTREAM;
  if (width < 1) return Q7_ERROR_INVALID_UNIT_WIDTH;
  const auto w = static_cast<size_t>(width);
  if (w == size) return readStream(dst, size, count);
  const size_t request = SaturatingBytes(size, count);
  if (request == 0) return 0;
  // The temporary block never exceeds what the stream still holds, whatever the count says.
  const auto left = static_cast<size_t>(size_ - position_);
  void* stored;
  try {
    stored = zpk_malloc(request < left ? request : left);
  } catch (const CQ7Exception&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  }
  const long available = readStream(stored, size, count);
  if (available > 0) ConvertElementWidth(stored, size, static_cast<size_t>(available) / size, dst, w);
  zpk_free(stored);
  return available;
}

long TMemStream::adjust_write_addr_alignment() {
  if (mode_ != kModeWrite) {
    PutErrorLog("writeStream", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem");
    return Q7_ERROR_INVALID_MEMSTREAM;
  }
  return WritePadding();
}

long TMemStream::adjust_read_addr_alignment() {
  if (mode_ != kModeRead) return Q7_ERROR_INVALID_MEMSTREAM;
  const int64_t before = position_;
  SkipReadPadding(1);
  return static_cast<long>(position_ - before);
}

long TMemStream::Seek(long pos) {
  if (pos < 0) return Q7_ERROR_OUT_OF_RANGE;
  position_ = pos < size_ ? pos : size_;
  return static_cast<long>(position_);
}

long TMemStream::writeStreamHeader() { return writeStream(Qz7SysInfo, kSysHeaderSize, 1); }

long TMemStream::readStreamHeader() {
  if (mode_ != kModeRead) return Q7_ERROR_INVALID_MEMSTREAM;
  SkipReadPadding(kSysHeaderSize);
  const auto left = static_cast<size_t>(size_ - position_);
  if (left > 0 && static_cast<unsigned char>(buffer_[position_]) == kSysHeaderMarker) {
    // A header cut short by the end of the data counts its missing bytes as zero.
    unsigned char header[kSysHeaderSize] = {};
    const size_t consumed = left < kSysHeaderSize ? left : kSysHeaderSize;
    memcpy(header, buffer_ + position_, consumed);
    stream_elf_ = getStreamELF(header);
    stream_endian_ = getStreamEndian(header);
    stream_alignment_ = getStreamAddrAlignment(header);
    stream_os_ = getStreamOSTYPE(header);
    stream_char_code_ = getStreamDBCharCode(header);
    position_ += static_cast<int64_t>(consumed);
    return static_cast<long>(consumed);
  }
  position_ = 0;
  no_conversion_ = 1;
  stream_elf_ = local_elf_;
  stream_endian_ = local_endian_;
  stream_alignment_ = 0;
  stream_os_ = local_os_;
  return 0;
}
