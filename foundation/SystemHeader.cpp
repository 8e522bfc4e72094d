// The 256-byte system header, the byte-order helpers and the alignment rule.
#include "foundation/SystemHeader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char kNativeEndian =
    std::endian::native == std::endian::little ? kSysEndianLittle : kSysEndianBig;

// Byte 1 packs the three codes; each reader masks its own bits out.
constexpr unsigned char kSysInfoByte1 = kSysELF64 | kNativeEndian | kSysOSType;

constexpr uint8_t kByteTag = 1, kByteAlignmentWritten = 2, kByteAlignment = 3, kByteDBCharCode = 4,
                  kByteClientCharCode = 5;

const unsigned char* Bytes(const void* header) { return static_cast<const unsigned char*>(header); }

}  // namespace

// Built at load as well as at engine start, so that streams used before the engine exists
// (tests, static initialisers) still write a valid header.
unsigned char Qz7SysInfo[kSysHeaderSize] = {kSysHeaderMarker, kSysInfoByte1, kSysAddrAlignment,
                                            kSysAddrAlignment, kDefaultDBCharCode};

const int32_t Qz7Versions[4] = {0x01001001, 25, 1, 20170503};

void buildSystemHeader() {
  memset(Qz7SysInfo, 0, sizeof Qz7SysInfo);
  // Byte by byte rather than as one 32-bit store, so the marker comes first whatever the
  // machine's byte order.
  Qz7SysInfo[0] = kSysHeaderMarker;
  Qz7SysInfo[kByteTag] = kSysInfoByte1;
  Qz7SysInfo[kByteAlignmentWritten] = kSysAddrAlignment;
  Qz7SysInfo[kByteAlignment] = kSysAddrAlignment;
  Qz7SysInfo[kByteDBCharCode] = kDefaultDBCharCode;
}

unsigned char getSystemELF() { return kSysELF64; }
unsigned char getSystemEndian() { return kNativeEndian; }
unsigned char getSystemAddrAlignment() { return kSysAddrAlignment; }
unsigned char getSystemOSTYPE() { return kSysOSType; }

unsigned char getStreamELF(const void* header) { return Bytes(header)[kByteTag] & 0x03; }
unsigned char getStreamEndian(const void* header) { return Bytes(header)[kByteTag] & 0x0C; }
unsigned char getStreamOSTYPE(const void* header) { return Bytes(header)[kByteTag] & 0xF0; }
unsigned char getStreamAddrAlignment(const void* header) { return Bytes(header)[kByteAlignment]; }
unsigned char getStreamDBCharCode(const void* header) { return Bytes(header)[kByteDBCharCode]; }
unsigned char getStreamClientCharCode(const void* header) { return Bytes(header)[kByteClientCharCode]; }

unsigned char getSystemInfoDBCharCode() { return Qz7SysInfo[kByteDBCharCode]; }
void setSystemInfoDBCharCode(unsigned char code) { Qz7SysInfo[kByteDBCharCode] = code; }
void initSystemInfoDBCharCode() { Qz7SysInfo[kByteDBCharCode] = kDefaultDBCharCode; }

void flip_endian(void* p, size_t n) {
  auto* bytes = static_cast<unsigned char*>(p);
  std::reverse(bytes, bytes + n);
}

unsigned char* ToLittleEndian(int value) {
  static unsigned char buffer[4];
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) buffer[i] = static_cast<unsigned char>(v >> (8 * i));
  return buffer;
}

void SwapElements(void* data, size_t size, size_t count) {
  auto* p = static_cast<unsigned char*>(data);
  switch (size) {
    case 0:
    case 1:
      return;
    case 2:
      for (size_t i = 0; i < count; ++i, p += 2) {
        uint16_t v;
        memcpy(&v, p, 2);
        v = __builtin_bswap16(v);
        memcpy(p, &v, 2);
      }
      return;
    case 4:
      for (size_t i = 0; i < count; ++i, p += 4) {
        uint32_t v;
        memcpy(&v, p, 4);
        v = __builtin_bswap32(v);
        memcpy(p, &v, 4);
      }
      return;
    case 8:
      for (size_t i = 0; i < count; ++i, p += 8) {
        uint64_t v;
        memcpy(&v, p, 8);
        v = __builtin_bswap64(v);
        memcpy(p, &v, 8);
      }
      return;
    default:
      for (size_t i = 0; i < count; ++i, p += size) flip_endian(p, size);
  }
}

void ConvertElementWidth(const void* src, size_t size, size_t count, void* dst, size_t width) {
  const auto* in = static_cast<const unsigned char*>(src);
  auto* out = static_cast<unsigned char*>(dst);
  const bool little = kNativeEndian == kSysEndianLittle;
  for (size_t i = 0; i < count; ++i, in += size, out += width) {
    if (width <= size) {
      memcpy(out, little ? in : in + (size - width), width);
    } else {
      memset(out, 0, width);
      memcpy(little ? out : out + (width - size), in, size);
    }
  }
}

size_t zpk_shm_write(const void* src, size_t size, size_t count, void** cursor, unsigned char) {
  const size_t bytes = size * count;
  if (cursor == nullptr || *cursor == nullptr) return bytes + 8;
  // An empty field is not padded, as in the files whose bytes these images are.
  if (bytes == 0) return 0;
  auto* p = static_cast<char*>(*cursor);
  const size_t pad = AlignmentPadding(reinterpret_cast<uintptr_t>(p));
  memset(p, 0, pad);
  p += pad;
  memcpy(p, src, bytes);
  *cursor = p + bytes;
  return 0;
}

void zpk_shm_read(void** cursor, void* dst, size_t size, size_t count) {
  const size_t bytes = size * count;
  if (bytes == 0) return;
  auto* p = static_cast<char*>(*cursor);
  p += AlignmentPadding(reinterpret_cast<uintptr_t>(p));
  memcpy(dst, p, bytes);
  *cursor = p + bytes;
}

void zpk_shm_ptr_read(void** cursor, long* out, size_t size, size_t count) {
  auto* p = static_cast<char*>(*cursor);
  if (size * count > 0) p += AlignmentPadding(reinterpret_cast<uintptr_t>(p));
  *out = static_cast<long>(reinterpret_cast<uintptr_t>(p));
  *cursor = p + size * count;
}

void* adjust_addr_alignment(void** cursor) {
  void* old = *cursor;
  auto* p = static_cast<char*>(old);
  *cursor = p + AlignmentPadding(reinterpret_cast<uintptr_t>(p));
  return old;
}
