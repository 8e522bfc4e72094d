// CMemFile: sizing, padding by address, round trips, lack of room and the other byte order.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/CMemFile.h"
#include "foundation/SystemHeader.h"
#include "q7api.h"
#include "tests/foundation/stream_test_support.h"
#include "tests/support/test_support.h"

namespace {

using q7test::CodeOf;
using stream_test::ForeignImage;

// An 8-aligned block, as the entry points that take caller memory require.
class Block {
 public:
  explicit Block(size_t bytes) : words_((bytes + 7) / 8 + 1, 0xABABABABABABABABull) {}
  char* data() { return reinterpret_cast<char*>(words_.data()); }

 private:
  std::vector<uint64_t> words_;
};

// One image of every record kind the tests use; `out` is a sizing or a writing stream.
void WriteSample(CMemFile& out, bool sizing) {
  const int32_t ints[3] = {10, -20, 30};
  const char text[5] = {'h', 'e', 'l', 'l', 'o'};
  const double d = -0.5;
  const int16_t shorts[2] = {0x0102, -3};
  if (sizing) {
    out.sizeFileHeader();
    zpk_size_write2mem(&out, text, 1, 5);
    zpk_size_write2mem(&out, ints, 4, 0);
    zpk_size_write2mem(&out, ints, 4, 3);
    zpk_size_write2mem(&out, &d, 8, 1);
    zpk_size_write2mem(&out, shorts, 2, 2);
    return;
  }
  out.writeFileHeader();
  zpk_write2mem(&out, text, 1, 5);
  zpk_write2mem(&out, ints, 4, 0);  // empty: no padding either
  zpk_write2mem(&out, ints, 4, 3);
  zpk_write2mem(&out, &d, 8, 1);
  zpk_write2mem(&out, shorts, 2, 2);
}

void CheckSample(CMemFile& in) {
  ASSERT_EQ(in.readFileHeader(), 256);
  char text[5];
  int32_t ints[3];
  double d = 0;
  int16_t shorts[2];
  zpk_readmem(&in, text, 1, 5);
  zpk_readmem(&in, ints, 4, 0);
  zpk_readmem(&in, ints, 4, 3);
  zpk_readmem(&in, &d, 8, 1);
  zpk_readmem(&in, shorts, 2, 2);
  EXPECT_EQ(std::string(text, 5), "hello");
  EXPECT_EQ(ints[0], 10);
  EXPECT_EQ(ints[1], -20);
  EXPECT_EQ(ints[2], 30);
  EXPECT_EQ(d, -0.5);
  EXPECT_EQ(shorts[0], 0x0102);
  EXPECT_EQ(shorts[1], -3);
}

TEST(MemFile, SizingHeaderAndOneRecord) {
  CMemFile sizing;
  const int32_t v[3] = {1, 2, 3};
  EXPECT_EQ(sizing.sizeFileHeader(), 256u);
  EXPECT_EQ(zpk_size_write2mem(&sizing, v, 4, 3), 20u);
  EXPECT_EQ(zpk_size_write2mem(&sizing, v, 4, 0), 0u);
  EXPECT_EQ(sizing.SizeCount(), 276u);

  Block block(276);
  CMemFile out(block.data(), 276);
  EXPECT_EQ(out.writeFileHeader(), 256);
  zpk_write2mem(&out, v, 4, 3);
  EXPECT_EQ(memcmp(block.data(), Qz7SysInfo, 256), 0);
  EXPECT_EQ(memcmp(block.data() + 256, v, 12), 0);  // 256 & 7 is 0: no padding
  EXPECT_EQ(out.Cursor(), block.data() + 268);
  EXPECT_EQ(out.BytesLeft(), 8);
}

TEST(MemFile, RoundTripFitsTheSizedBlock) {
  CMemFile sizing;
  WriteSample(sizing, true);
  const size_t sized = sizing.SizeCount();

  Block block(sized);
  CMemFile out(block.data(), static_cast<long>(sized));
  WriteSample(out, false);
  const auto written = static_cast<size_t>(out.Cursor() - block.data());
  EXPECT_LE(written, sized);

  CMemFile in(block.data(), static_cast<long>(written));
  CheckSample(in);
  EXPECT_EQ(in.BytesLeft(), 0);
}

TEST(MemFile, UnalignedSizingEqualsBytesWritten) {
  const int32_t v[3] = {1, 2, 3};
  const char c[3] = {'a', 'b', 'c'};
  CMemFile sizing;
  sizing.SetUnaligned(1);
  sizing.sizeFileHeader();
  zpk_size_write2mem(&sizing, c, 1, 3);
  zpk_size_write2mem(&sizing, v, 4, 3);

  Block block(sizing.SizeCount());
  CMemFile out(block.data(), static_cast<long>(sizing.SizeCount()));
  out.SetUnaligned(1);
  out.writeFileHeader();
  zpk_write2mem(&out, c, 1, 3);
  zpk_write2mem(&out, v, 4, 3);
  EXPECT_EQ(static_cast<uint64_t>(out.Cursor() - block.data()), sizing.SizeCount());
  EXPECT_EQ(out.BytesLeft(), 0);
}

TEST(MemFile, RecordAtAddressEndingInFiveIsPaddedByFive) {
  Block block(64);
  CMemFile out(block.data() + 5, 40);
  const int32_t v = 0x11223344;
  zpk_write2mem(&out, &v, 4, 1);
  EXPECT_EQ(std::string(block.data() + 5, 5), std::string(5, '\0'));
  EXPECT_EQ(memcmp(block.data() + 10, &v, 4), 0);
  EXPECT_EQ(out.BytesLeft(), 40 - 9);
}

TEST(MemFile, LackOfRoomWhileWriting) {
  Block block(64);
  const char twelve[12] = {};
  CMemFile out(block.data(), 10);
  EXPECT_EQ(out.write(twelve, 12, 1), -1);
  EXPECT_EQ(CodeOf([&] { zpk_write2mem(&out, twelve, 12, 1); }), Q7_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(out.BytesLeft(), 10);  // nothing was written
  EXPECT_EQ(CodeOf([&] { out.writeFileHeader(); }), Q7_ERROR_OUT_OF_MEMORY);

  CMemFile padded(block.data() + 3, 4);  // 3 bytes of padding leave 1
  EXPECT_EQ(padded.write(twelve, 2, 1), -1);
  EXPECT_EQ(padded.Cursor(), block.data() + 3);

  CMemFile sizing;  // a sizing stream has no room at all
  EXPECT_EQ(CodeOf([&] { zpk_write2mem(&sizing, twelve, 1, 1); }), Q7_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(CodeOf([] { check_addr_alignment(reinterpret_cast<void*>(0x1004)); }),
            Q7_ERROR_ADDRESS_ALIGNMENT);
}

// Reads are bounded by the bytes left in the caller's block, whatever the record structure says.
TEST(MemFile, ReadPastTheEndFailsWithACode) {
  Block block(512);
  CMemFile out(block.data(), 512);
  out.writeFileHeader();
  const int32_t v[2] = {1, 2};
  zpk_write2mem(&out, v, 1, 5);  // ends at 261; the next read skips 5 bytes of padding
  const long image = 261 + 5 + 8;
  zpk_write2mem(&out, v, 4, 2);
  ASSERT_EQ(out.Cursor() - block.data(), image);

  struct Case {
    const char* name;
    std::function<void(CMemFile&, char*)> read;
  };
  const Case kCases[] = {
      {"read", [](CMemFile& in, char* p) { in.read(p, 4, 3); }},
      {"fastread", [](CMemFile& in, char* p) { in.fastread(p, 4, 3); }},
      {"parallelread", [](CMemFile& in, char* p) { in.parallelread(p, 4, 3); }},
      {"raw bytes", [](CMemFile& in, char* p) { in.read(p, 14); }},
      {"width", [](CMemFile& in, char* p) { zpk_readmem(&in, p, 4, 3, 8); }},
      {"huge count", [](CMemFile& in, char* p) { zpk_readmem(&in, p, 8, SIZE_MAX / 4); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    CMemFile in(block.data(), image);
    in.readFileHeader();
    char skip[5];
    zpk_readmem(&in, skip, 1, 5);
    char* before = in.Cursor();
    char dst[64];
    EXPECT_EQ(CodeOf([&] { c.read(in, dst); }), Q7_ERROR_INVALID_READ_SIZE);
    EXPECT_EQ(in.Cursor(), before);
    int32_t got[2] = {};
    zpk_readmem(&in, got, 4, 2);  // what is there can still be read
    EXPECT_EQ(got[1], 2);
  }

  CMemFile short_header(block.data(), 255);
  EXPECT_EQ(CodeOf([&] { short_header.readFileHeader(); }), Q7_ERROR_INVALID_READ_SIZE);
}

TEST(MemFile, ImageOfTheOtherByteOrder) {
  ForeignImage img;
  const int32_t ints[2] = {0x01020304, -7};
  const char text[3] = {'a', 'b', 'c'};
  const int64_t wide[2] = {0x0102030405060708ll, 3};
  img.Record(text, 1, 3);
  img.Record(ints, 4, 2);
  img.Record(wide, 8, 2);
  img.Record(ints, 4, 2);
  img.Record(wide, 8, 2);
  Block block(img.bytes().size());
  memcpy(block.data(), img.bytes().data(), img.bytes().size());

  CMemFile in(block.data(), static_cast<long>(img.bytes().size()));
  in.readFileHeader();
  EXPECT_EQ(in.ImageEndian(), kSysEndianBig);
  char t[3];
  int32_t i[2];
  int64_t l[2];
  zpk_readmem(&in, t, 1, 3);
  in.read(i, 4, 2);
  zpk_readmem(&in, l, 8, 2);
  EXPECT_EQ(std::string(t, 3), "abc");
  EXPECT_EQ(i[0], 0x01020304);
  EXPECT_EQ(i[1], -7);
  EXPECT_EQ(l[0], 0x0102030405060708ll);
  int32_t narrow[2];
  zpk_readmem(&in, narrow, 4, 2, 4);
  EXPECT_EQ(narrow[1], -7);
  // The parallel copy never swaps.
  int64_t raw[2];
  zpk_readmem_parallel(&in, raw, 8, 2);
  EXPECT_EQ(raw[0], 0x0807060504030201ll);
  EXPECT_EQ(in.BytesLeft(), 0);
}

TEST(MemFile, WidthConversion) {
  Block block(512);
  CMemFile out(block.data(), 512);
  out.writeFileHeader();
  const int64_t wide[2] = {0x7777777712345678ll, 4};
  const int32_t narrow[2] = {-1, 6};
  zpk_write2mem(&out, wide, 8, 2);
  zpk_write2mem(&out, narrow, 4, 2);

  CMemFile in(block.data(), 512);
  in.readFileHeader();
  int32_t low[2];
  int64_t ext[2];
  EXPECT_EQ(zpk_readmem(&in, low, 8, 2, 4), 16u);
  EXPECT_EQ(zpk_readmem(&in, ext, 4, 2, 8), 8u);
  EXPECT_EQ(low[0], 0x12345678);
  EXPECT_EQ(low[1], 4);
  EXPECT_EQ(ext[0], 0xFFFFFFFFll);
  EXPECT_EQ(ext[1], 6);
  EXPECT_EQ(zpk_readmem(nullptr, low, 4, 2), 0u);
}

}  // namespace
