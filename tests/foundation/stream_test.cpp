// The system header bytes and zpk_fstream's padding, round trips, byte order and width conversion.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_fstream.h"
#include "q7api.h"
#include "tests/foundation/stream_test_support.h"
#include "tests/support/test_support.h"

namespace {

using q7test::CodeOf;
using q7test::ReadAll;
using q7test::RingScope;
using q7test::TempDir;
using q7test::WriteAll;
using stream_test::ForeignImage;

TEST(SystemHeader, BuiltHeaderBytes) {
  setSystemInfoDBCharCode(18);
  Qz7SysInfo[100] = 7;
  buildSystemHeader();
  // 0x36 = word size 2 | little-endian 4 | OS 0x30 on this x86-64 build.
  const unsigned char want[6] = {0xFF, 0x36, 0x08, 0x08, 33, 0};
  EXPECT_EQ(memcmp(Qz7SysInfo, want, sizeof want), 0);
  for (size_t i = 6; i < kSysHeaderSize; ++i) ASSERT_EQ(Qz7SysInfo[i], 0) << i;
  EXPECT_EQ(getStreamELF(Qz7SysInfo), getSystemELF());
  EXPECT_EQ(getStreamEndian(Qz7SysInfo), getSystemEndian());
  EXPECT_EQ(getStreamOSTYPE(Qz7SysInfo), getSystemOSTYPE());
  EXPECT_EQ(getStreamAddrAlignment(Qz7SysInfo), getSystemAddrAlignment());
  EXPECT_EQ(getSystemEndian(), 4);

  setSystemInfoDBCharCode(65);
  EXPECT_EQ(getStreamDBCharCode(Qz7SysInfo), 65);
  initSystemInfoDBCharCode();
  EXPECT_EQ(getSystemInfoDBCharCode(), 33);
}

TEST(SystemHeader, ByteHelpers) {
  unsigned char b[5] = {1, 2, 3, 4, 5};
  flip_endian(b, 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b), 5), std::string("\5\4\3\2\1", 5));
  const unsigned char* le = ToLittleEndian(0x0A0B0C0D);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(le), 4), "\x0D\x0C\x0B\x0A");

  struct WidthCase {
    uint64_t in;
    size_t size, width;
    uint64_t want;
  };
  const WidthCase kCases[] = {
      {0x1122334455667788ull, 8, 4, 0x55667788ull},  // narrowing keeps the low-order bytes
      {0x99AABBCCull, 4, 8, 0x99AABBCCull},          // widening zero-extends
      {0x1234ull, 2, 8, 0x1234ull},
  };
  for (const auto& c : kCases) {
    uint64_t out = ~0ull;
    ConvertElementWidth(&c.in, c.size, 1, &out, c.width);
    const uint64_t mask = c.width == 8 ? ~0ull : ((1ull << (8 * c.width)) - 1);
    EXPECT_EQ(out & mask, c.want) << c.size << "->" << c.width;
  }
}

TEST(FileStream, HeaderAtOddPositionIsPaddedByPositionAndSeven) {
  TempDir dir;
  const std::string path = dir.File("h.bin");
  buildSystemHeader();
  zpk_fstream out;
  ASSERT_EQ(zpk_open(out, path.c_str(), kZpkWrite | kZpkBinary, 0), 0);
  ASSERT_EQ(out.write("ABCDEFGHIJKLM", 13), 0);
  ASSERT_EQ(out.writeFileHeader(), 0);
  EXPECT_EQ(out.tellg(), 274);
  out.close();

  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 274u);
  EXPECT_EQ(bytes.substr(13, 5), std::string(5, '\0'));
  EXPECT_EQ(bytes.substr(18), std::string(reinterpret_cast<char*>(Qz7SysInfo), kSysHeaderSize));

  ASSERT_EQ(zpk_open(out, path.c_str(), kZpkWrite | kZpkBinary, 0), 0);
  ASSERT_EQ(out.writeFileHeader(), 0);
  EXPECT_EQ(out.tellg(), 256);
}

TEST(FileStream, PaddingCases) {
  struct Case {
    const char* name;
    size_t start;  // bytes already in the file
    int raw;
    size_t size, count;
    bool two_arg;
    size_t want_pad;
  };
  const Case kCases[] = {
      {"position 5 pads 5 and continues at 10", 5, 0, 4, 1, false, 5},
      {"aligned position pads nothing", 16, 0, 8, 2, false, 0},
      {"empty element write pads nothing", 3, 0, 4, 0, false, 0},
      {"empty byte write pads anyway", 3, 0, 1, 0, true, 3},
      {"raw stream never pads", 7, 1, 4, 1, false, 0},
  };
  TempDir dir;
  const std::string path = dir.File("p.bin");
  const char data[16] = "0123456789abcde";
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    zpk_fstream s;
    ASSERT_EQ(zpk_open(s, path.c_str(), kZpkWrite | kZpkBinary, c.raw), 0);
    ASSERT_EQ(s.write(std::string(c.start, 'x').data(), 1, c.start), 0);
    ASSERT_EQ(c.two_arg ? s.write(data, c.size * c.count) : s.write(data, c.size, c.count), 0);
    s.close();
    const std::string bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), c.start + c.want_pad + c.size * c.count);
    EXPECT_EQ(bytes.substr(c.start, c.want_pad), std::string(c.want_pad, '\0'));
  }
}

TEST(FileStream, RecordsRoundTripIncludingEmptyOnes) {
  TempDir dir;
  const std::string path = dir.File("r.bin");
  const int32_t ints[3] = {1, -2, 0x7FFFFFFF};
  const char text[5] = {'a', 'b', 'c', 'd', 'e'};
  const double dbl = 2.5;
  {
    zpk_fstream out;
    zpk_open(out, path.c_str(), kZpkWrite | kZpkBinary, 0);
    ASSERT_EQ(out.writeFileHeader(), 0);
    zpk_write(out, text, 1, 5);  // ends at 261: the next record is padded
    zpk_write(out, ints, 4, 0);  // an empty record writes nothing...
    zpk_write(out, ints, 4, 3);
    zpk_write(out, text, 1, 3);
    zpk_write(out, &dbl, 8, 1);
  }
  zpk_fstream in;
  zpk_open(in, path.c_str(), kZpkRead | kZpkBinary, 0);
  ASSERT_EQ(in.readFileHeader(true), 0);
  EXPECT_EQ(in.oldFormat(), 0);
  EXPECT_EQ(in.FileEndian(), 4);
  EXPECT_EQ(in.FileAddrAlignment(), 8);
  char t[5];
  int32_t got[3];
  char t2[3];
  double d = 0;
  zpk_read(in, t, 1, 5);
  zpk_read(in, got, 4, 0);  // ...so reading it back must not skip any padding either
  zpk_read(in, got, 4, 3);
  zpk_read(in, t2, 1, 3);
  zpk_read(in, &d, 8, 1);
  EXPECT_EQ(std::string(t, 5), "abcde");
  EXPECT_EQ(got[0], 1);
  EXPECT_EQ(got[1], -2);
  EXPECT_EQ(got[2], 0x7FFFFFFF);
  EXPECT_EQ(std::string(t2, 3), "abc");
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(in.remaining(), 0);
}

TEST(FileStream, ReadsAFileOfTheOtherByteOrderSwapped) {
  TempDir dir;
  const std::string path = dir.File("be.bin");
  ForeignImage img;
  const char bytes3[3] = {'x', 'y', 'z'};
  const int32_t ints[2] = {0x01020304, -5};
  const int64_t big = 0x0102030405060708ll;
  const int16_t shorts[3] = {0x0102, -1, 7};
  img.Record(bytes3, 1, 3);
  img.Record(ints, 4, 2);
  img.Record(&big, 8, 1);
  img.Record(shorts, 2, 3);
  WriteAll(path, img.bytes());
  // "xyz" ends at 259: 3 zero bytes, then the int32 0x01020304 big-endian at 262.
  ASSERT_EQ(img.bytes().substr(256, 10), std::string("xyz\0\0\0\x01\x02\x03\x04", 10));

  zpk_fstream in;
  zpk_open(in, path.c_str(), kZpkRead | kZpkBinary, 0);
  in.readFileHeader(false);
  EXPECT_EQ(in.FileEndian(), kSysEndianBig);
  char c[3];
  int32_t i[2];
  int64_t l = 0;
  int16_t s[3];
  zpk_read(in, c, 1, 3);
  zpk_read(in, i, 4, 2);
  zpk_read(in, &l, 8, 1);
  zpk_read(in, s, 2, 3);
  EXPECT_EQ(std::string(c, 3), "xyz");
  EXPECT_EQ(i[0], 0x01020304);
  EXPECT_EQ(i[1], -5);
  EXPECT_EQ(l, big);
  EXPECT_EQ(s[0], 0x0102);
  EXPECT_EQ(s[1], -1);
  EXPECT_EQ(s[2], 7);
}

TEST(FileStream, WidthConversionOnRead) {
  TempDir dir;
  const std::string path = dir.File("w.bin");
  const int64_t wide[2] = {0x1111111122222222ll, 5};
  const int32_t narrow[2] = {-1, 9};
  {
    zpk_fstream out;
    zpk_open(out, path.c_str(), kZpkWrite | kZpkBinary, 0);
    out.writeFileHeader();
    zpk_write(out, wide, 8, 2);
    zpk_write(out, narrow, 4, 2);
  }
  zpk_fstream in;
  zpk_open(in, path.c_str(), kZpkRead | kZpkBinary, 0);
  in.readFileHeader(false);
  int32_t low[2];
  int64_t ext[2];
  zpk_read(in, low, 8, 2, 4);
  zpk_read(in, ext, 4, 2, 8);
  EXPECT_EQ(low[0], 0x22222222);
  EXPECT_EQ(low[1], 5);
  EXPECT_EQ(ext[0], 0xFFFFFFFFll);  // zero-extended, not sign-extended
  EXPECT_EQ(ext[1], 9);
}

TEST(FileStream, OldFormatIsReadFromTheStartWithoutSkipping) {
  TempDir dir;
  const std::string path = dir.File("old.bin");
  std::string bytes("\0abcdefgh", 9);
  int32_t v = 0x0A0B0C0D;
  bytes.append(reinterpret_cast<char*>(&v), 4);
  WriteAll(path, bytes);
  zpk_fstream in;
  zpk_open(in, path.c_str(), kZpkRead | kZpkBinary, 0);
  ASSERT_EQ(in.readFileHeader(true), 0);
  EXPECT_EQ(in.oldFormat(), 1);
  EXPECT_EQ(in.FileAddrAlignment(), 0);
  EXPECT_EQ(in.FileEndian(), getSystemEndian());
  EXPECT_EQ(in.tellg(), 0);
  char head[9];
  int32_t got = 0;
  zpk_read(in, head, 1, 9);
  zpk_read(in, &got, 4, 1);  // at position 9: no alignment bytes skipped
  EXPECT_EQ(got, v);
}

TEST(FileStream, HeaderFailures) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string content;
    bool check;
    unsigned char db_code;
    int want;
  };
  std::string header_code0(kSysHeaderSize, '\0');
  header_code0[0] = static_cast<char>(0xFF);
  header_code0[1] = 0x36;
  header_code0[3] = 8;
  std::string short_header = header_code0.substr(0, 100);
  const Case kCases[] = {
      {"empty file", "", false, 33, Q7_ERROR_ILLEGAL_FILE_NAME},
      {"100-byte header", short_header, false, 33, Q7_ERROR_ILLEGAL_FILE_NAME},
      {"code 0 reads as 33", header_code0, true, 33, 0},
      {"code 0 against database code 18", header_code0, true, 18, Q7_ERROR_INVALID_CHAR_CODE},
      {"no check, other code", header_code0, false, 18, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("f.bin");
    WriteAll(path, c.content);
    setSystemInfoDBCharCode(c.db_code);
    zpk_fstream in;
    zpk_open(in, path.c_str(), kZpkRead | kZpkBinary, 0);
    EXPECT_EQ(CodeOf([&] { in.readFileHeader(c.check); }), c.want);
    EXPECT_EQ(in.is_open(), c.want == 0);  // a failure leaves the stream closed
  }
  initSystemInfoDBCharCode();

  zpk_fstream closed;
  EXPECT_EQ(CodeOf([&] { closed.readFileHeader(false); }), Q7_ERROR_ILLEGAL_FILE_NAME);
}

TEST(FileStream, FrontEndsCloseAndThrow) {
  RingScope ring;
  TempDir dir;
  const std::string missing = dir.File("no/such/file");
  zpk_fstream s;
  EXPECT_EQ(CodeOf([&] { zpk_open(s, missing.c_str(), kZpkRead, 0); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  int time = 0, code = 0;
  char name[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
  ASSERT_EQ(ring.ring_.Get(&time, name, &code, message), 1);
  EXPECT_STREQ(name, "zpk_open");
  EXPECT_EQ(code, Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_STREQ(message, "Illegal FileName");
  // The mode-text form leaves no ring entry.
  EXPECT_EQ(CodeOf([&] { zpk_open(s, missing.c_str(), "rb", 0); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(ring.ring_.count, 0);

  const std::string path = dir.File("short.bin");
  WriteAll(path, "abc");
  zpk_open(s, path.c_str(), kZpkRead | kZpkBinary, 0);
  int32_t v[2];
  EXPECT_EQ(CodeOf([&] { zpk_read(s, v, 4, 2); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_FALSE(s.is_open());

  zpk_open(s, path.c_str(), kZpkRead | kZpkBinary, 0);
  EXPECT_EQ(CodeOf([&] { zpk_write(s, v, 4, 2); }), Q7_ERROR_ILLEGAL_FILE_NAME);  // read-only
  EXPECT_FALSE(s.is_open());
  EXPECT_EQ(zpk_close(s), 0);
}

// A write of 2 GiB or more goes out in pieces; a failing piece must fail the whole write.
TEST(FileStream, LargeWriteChecksEveryPiece) {
  const size_t len = 0x80000000u + 16;
  void* block = mmap(nullptr, len, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(block, MAP_FAILED);
  zpk_fstream s;
  ASSERT_EQ(s.open("/dev/full", kZpkWrite | kZpkBinary, 1), 0);
  EXPECT_EQ(s.write(block, 1, len), -1);
  EXPECT_EQ(CodeOf([&] { zpk_write(s, block, 1, len); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_FALSE(s.is_open());
  munmap(block, len);
}

TEST(FileStream, TextLinesAndBuffering) {
  TempDir dir;
  const std::string path = dir.File("t.txt");
  WriteAll(path, "first line\nsecond\n");
  zpk_fstream s;
  zpk_open(s, path.c_str(), kZpkRead, 1);
  static char buffer[1 << 16];
  EXPECT_EQ(zpk_setvbuf(s, buffer, sizeof buffer), 0);
  char line[8];
  ASSERT_NE(zpk_gets(s, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "first l");  // at most n - 1 bytes
  ASSERT_NE(zpk_gets(s, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "ine\n");
  ASSERT_NE(zpk_gets(s, line, sizeof line), nullptr);
  EXPECT_EQ(zpk_gets(s, line, sizeof line), nullptr);
  EXPECT_NE(s.eof(), 0);
}

TEST(FileStream, GetFileSize) {
  TempDir dir;
  WriteAll(dir.File("seven"), "1234567");
  EXPECT_EQ(getFileSize(dir.Dir().c_str(), "seven"), 7);
  EXPECT_EQ(getFileSize(dir.Dir().c_str(), "missing"), 0);
  EXPECT_EQ(getFileSize("/", dir.File("seven").c_str()), 7);
  const std::string nodir = dir.File("nodir");
  EXPECT_EQ(CodeOf([&] { getFileSize(nodir.c_str(), "x"); }), Q7_ERROR_INVALID_DIRECTORY);
  EXPECT_EQ(CodeOf([&] { getFileSize(dir.File("seven").c_str(), "x"); }), Q7_ERROR_INVALID_DIRECTORY);
}

TEST(SharedMemoryCursor, SizesPadsAndReadsByAddress) {
  const int32_t v[3] = {7, 8, 9};
  EXPECT_EQ(zpk_shm_write(v, 4, 3, nullptr), 20u);

  alignas(8) char image[64];
  memset(image, 'x', sizeof image);
  void* cursor = image + 5;
  EXPECT_EQ(zpk_shm_write(v, 4, 3, &cursor), 0u);
  EXPECT_EQ(cursor, image + 10 + 12);
  EXPECT_EQ(std::string(image + 5, 5), std::string(5, '\0'));

  void* rc = image + 5;
  int32_t got[3] = {};
  zpk_shm_read(&rc, got, 4, 3);
  EXPECT_EQ(rc, cursor);
  EXPECT_EQ(got[2], 9);

  void* pc = image + 5;
  long where = 0;
  zpk_shm_ptr_read(&pc, &where, 4, 3);
  EXPECT_EQ(where, reinterpret_cast<long>(image + 10));
  EXPECT_EQ(pc, cursor);

  void* ac = image + 3;
  EXPECT_EQ(adjust_addr_alignment(&ac), image + 3);
  EXPECT_EQ(ac, image + 6);
}

}  // namespace
