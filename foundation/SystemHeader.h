// The 256-byte system header, the byte-order helpers and the alignment rule shared by every
// stored format (files, memory images, the memory stream and shared-memory images).
//
// Header layout (every file and image starts with it):
//   byte 0      0xFF marker; anything else means "no header" (old format)
//   byte 1      word-size code (bits 0-1, 2 = 64-bit) | byte-order code (bits 2-3, 4 little /
//               8 big endian) | OS code (bits 4-7, 0x30)
//   byte 2      8 (written, never read)
//   byte 3      address alignment in bytes
//   byte 4      database character code (33 UTF8 by default)
//   byte 5      client character code (nothing sets it)
//   bytes 6-255 zero
//
// Alignment rule: before each record and each header a writer emits (position & 7) zero bytes
// (not 8 - (position & 7)); a reader skips (position mod alignment). For alignment 8 both are the
// same amount. Stored data depends on writer and reader agreeing exactly.
//
// Thread safety: Qz7SysInfo is read by every writer; it changes only through buildSystemHeader
// and the character-code setters, which run at start-up or under the API lock.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

constexpr size_t kSysHeaderSize = 256;
constexpr unsigned char kSysHeaderMarker = 0xFF;

// The running system in the header's coding.
constexpr unsigned char kSysELF64 = 2;
constexpr unsigned char kSysEndianLittle = 4;
constexpr unsigned char kSysEndianBig = 8;
constexpr unsigned char kSysAddrAlignment = 8;
constexpr unsigned char kSysOSType = 0x30;
constexpr unsigned char kDefaultDBCharCode = 33;  // UTF8, the platform's own code

// The process-wide header. It holds the built value from load on; buildSystemHeader rebuilds it
// (engine start and re-initialisation) and resets the character code to 33.
extern unsigned char Qz7SysInfo[kSysHeaderSize];

// The library's version record: 0x01001001, 25 (the data version), 1, 20170503.
extern const int32_t Qz7Versions[4];

// Writes bytes 0 to 4 of Qz7SysInfo from the system's constants and the default character
// code, and zeroes the rest.
void buildSystemHeader();

// The running system: 2, 4 (8 on a big-endian build), 8 and 0x30.
unsigned char getSystemELF();
unsigned char getSystemEndian();
unsigned char getSystemAddrAlignment();
unsigned char getSystemOSTYPE();

// Decoders of a 256-byte header image (the caller guarantees at least 6 readable bytes).
unsigned char getStreamELF(const void* header);             // byte 1 & 0x03
unsigned char getStreamEndian(const void* header);          // byte 1 & 0x0C
unsigned char getStreamOSTYPE(const void* header);          // byte 1 & 0xF0
unsigned char getStreamAddrAlignment(const void* header);   // byte 3
unsigned char getStreamDBCharCode(const void* header);      // byte 4
unsigned char getStreamClientCharCode(const void* header);  // byte 5

// Raw access to byte 4 of Qz7SysInfo. The setter stores without any check; the mapping of names
// and the validation of codes belong to the character-code functions (setDBCharCode etc.).
// initSystemInfoDBCharCode stores 33.
unsigned char getSystemInfoDBCharCode();
void setSystemInfoDBCharCode(unsigned char code);
void initSystemInfoDBCharCode();

// Reverses the order of n bytes in place.
void flip_endian(void* p, size_t n);

// The value as 4 little-endian bytes in a static buffer that the next call overwrites
// (use under the API lock).
unsigned char* ToLittleEndian(int value);

// ---- Helpers shared by the stream classes ----

// Bytes of zero padding a writer puts before a record at this position or address.
constexpr size_t AlignmentPadding(uint64_t position) { return static_cast<size_t>(position & 7); }

// Reverses the bytes of each of count elements of size bytes (size 1 does nothing).
void SwapElements(void* data, size_t size, size_t count);

// Converts count elements stored with `size` bytes (already in this system's byte order) to
// `width` bytes each: narrowing keeps the low-order bytes (the first ones on a little-endian
// system, the last on a big-endian one); widening puts the element in the low-order end of a
// zeroed field. src and dst must not overlap. width and size must be at least 1.
void ConvertElementWidth(const void* src, size_t size, size_t count, void* dst, size_t width);

// ---- Shared-memory image cursors ----
// A cursor is an address inside a mapped image; it follows the alignment rule by address, and
// like the files an empty field (count * size of 0) has no padding. These functions trust the
// caller's record structure: the image must hold the bytes read or written (the caller knows the
// segment's size). The readers of stored images check every read against the image's end instead.

// With a null cursor writes nothing and returns count * size + 8 (the room to reserve).
// Otherwise advances *cursor by (*cursor & 7), copies count * size bytes, advances past them and
// returns 0. The last argument is accepted for callers that pass it and is not used.
size_t zpk_shm_write(const void* src, size_t size, size_t count, void** cursor, unsigned char unused = 0);

// Advances *cursor by (*cursor & 7), copies count elements of size bytes to dst and advances
// past them.
void zpk_shm_read(void** cursor, void* dst, size_t size, size_t count);

// Advances *cursor by (*cursor & 7), stores the cursor in *out (the data is used in place) and
// advances by count * size.
void zpk_shm_ptr_read(void** cursor, long* out, size_t size, size_t count);

// Advances *cursor by (*cursor & 7) and returns the cursor as it was before.
void* adjust_addr_alignment(void** cursor);
