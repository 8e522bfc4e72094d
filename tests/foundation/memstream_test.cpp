// TMemStream: padding by position, growth, headers, byte order, seeks and bad arguments.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "q7api.h"
#include "tests/foundation/stream_test_support.h"
#include "tests/support/test_support.h"

namespace {

using q7test::RingScope;
using stream_test::ForeignImage;

std::string Contents(const TMemStream& s) { return std::string(s.pArea(), static_cast<size_t>(s.nUsed())); }

TEST(MemStream, WritePaddingFollowsThePosition) {
  struct Case {
    size_t start;
    size_t want_pad;
  };
  const Case kCases[] = {{13, 5}, {16, 0}, {7, 7}, {0, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.start);
    TMemStream s;
    ASSERT_EQ(s.writeStream(std::string(c.start, 'x').data(), 1, c.start), static_cast<long>(c.start));
    const int32_t v = 42;
    ASSERT_EQ(s.writeStream(&v, 4, 1), 4);
    EXPECT_EQ(s.Pos(), static_cast<long>(c.start + c.want_pad + 4));
    EXPECT_EQ(Contents(s).substr(c.start, c.want_pad), std::string(c.want_pad, '\0'));
    EXPECT_EQ(s.writeStream(&v, 4, 0), 0);  // an empty write pads nothing
    EXPECT_EQ(s.nUsed(), s.Pos());
  }
}

TEST(MemStream, GrowsPastTheFirstBlock) {
  TMemStream s;
  std::vector<char> big(1000000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  ASSERT_EQ(s.writeStream(big.data(), 1, big.size()), 1000000);
  ASSERT_EQ(s.writeStream(big.data(), 1, 3), 3);
  EXPECT_EQ(s.nUsed(), 1000003);
  EXPECT_EQ(memcmp(s.pArea(), big.data(), big.size()), 0);
  EXPECT_EQ(memcmp(s.pArea() + 1000000, big.data(), 3), 0);
}

TEST(MemStream, HeaderRoundTrip) {
  buildSystemHeader();
  TMemStream out;
  ASSERT_EQ(out.writeStreamHeader(), 256);
  const char text[3] = {'a', 'b', 'c'};
  const int64_t v[2] = {-9, 1ll << 40};
  out.writeStream(text, 1, 3);
  out.writeStream(v, 8, 0);
  out.writeStream(v, 8, 2);
  EXPECT_EQ(Contents(out).substr(0, 256), std::string(reinterpret_cast<char*>(Qz7SysInfo), 256));

  std::string image = Contents(out);
  TMemStream in(static_cast<long>(image.size()), image.data());
  EXPECT_EQ(in.readStreamHeader(), 256);
  EXPECT_EQ(in.StreamAddrAlignment(), 8);
  EXPECT_EQ(in.StreamEndian(), in.LocalEndian());
  char t[3];
  int64_t got[2];
  EXPECT_EQ(in.readStream(t, 1, 3), 3);
  EXPECT_EQ(in.readStream(got, 8, 0), 0);
  EXPECT_EQ(in.readStream(got, 8, 2), 16);
  EXPECT_EQ(got[0], -9);
  EXPECT_EQ(got[1], 1ll << 40);
  EXPECT_EQ(in.Pos(), in.nUsed());
}

TEST(MemStream, StreamOfTheOtherByteOrder) {
  ForeignImage img;
  const int32_t ints[3] = {0x01020304, -1, 5};
  const char c[1] = {'z'};
  img.Record(c, 1, 1);
  img.Record(ints, 4, 3);
  img.Record(ints, 4, 2);
  std::string bytes = img.bytes();
  TMemStream in(static_cast<long>(bytes.size()), bytes.data());
  ASSERT_EQ(in.readStreamHeader(), 256);
  EXPECT_EQ(in.StreamEndian(), kSysEndianBig);
  char z;
  int32_t got[3];
  int64_t wide[2];
  EXPECT_EQ(in.readStream(&z, 1, 1), 1);
  EXPECT_EQ(in.readStream(got, 4, 3), 12);
  EXPECT_EQ(in.readStream(wide, 4, 2, 8), 8);
  EXPECT_EQ(got[0], 0x01020304);
  EXPECT_EQ(got[1], -1);
  EXPECT_EQ(wide[0], 0x01020304);
  EXPECT_EQ(wide[1], 0xFFFFFFFFll);
}

TEST(MemStream, NoHeaderMeansLocalOrderFromTheStart) {
  std::string bytes("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  TMemStream in(8, bytes.data());
  EXPECT_EQ(in.readStreamHeader(), 0);
  EXPECT_EQ(in.Pos(), 0);
  EXPECT_EQ(in.NoConversion(), 1);
  EXPECT_EQ(in.StreamAddrAlignment(), 0);
  char one;
  int32_t v = 0;
  in.readStream(&one, 1, 1);
  EXPECT_EQ(in.readStream(&v, 4, 1), 4);  // at position 1: nothing skipped, nothing swapped
  EXPECT_EQ(v, 0x05040302);

  TMemStream empty(0, bytes.data());
  EXPECT_EQ(empty.readStreamHeader(), 0);
}

TEST(MemStream, ReadsStopAtTheEndOfTheData) {
  // Exactly sized heap blocks, so that the address sanitizer sees any read past them.
  auto data = std::make_unique<char[]>(14);
  memcpy(data.get(), "0123456789ABCD", 14);
  TMemStream in(14, data.get());
  char buf[32];
  memset(buf, '-', sizeof buf);
  EXPECT_EQ(in.readStream(buf, 1, 10), 10);
  EXPECT_EQ(in.readStream(buf, 1, 10), 4);  // 10 asked, 4 left: 4 copied
  EXPECT_EQ(std::string(buf, 5), "ABCD4");
  EXPECT_EQ(in.readStream(buf, 1, 10), 0);

  TMemStream partial(14, data.get());
  partial.readStream(buf, 1, 4);
  int32_t ints[4] = {-1, -1, -1, -1};
  EXPECT_EQ(partial.readStream(ints, 4, 4), 10);  // only whole elements are copied
  EXPECT_EQ(ints[2], -1);
  EXPECT_EQ(partial.Pos(), 12);
  EXPECT_EQ(partial.readStream(ints, 4, SIZE_MAX / 2), 2);  // a huge count is bounded too

  // A header cut short by the end of the data reads nothing beyond it.
  auto cut = std::make_unique<char[]>(11);
  memset(cut.get(), 0, 11);
  cut[0] = static_cast<char>(0xFF);
  cut[1] = 0x36;
  cut[3] = 8;
  TMemStream short_header(11, cut.get());
  EXPECT_EQ(short_header.readStreamHeader(), 11);
  EXPECT_EQ(short_header.StreamAddrAlignment(), 8);
  EXPECT_EQ(short_header.readStream(buf, 1, 1), 0);
}

TEST(MemStream, WrongModeAndBadArguments) {
  RingScope ring;
  std::string bytes(16, 'x');
  TMemStream in(16, bytes.data());
  EXPECT_EQ(in.writeStream("a", 1, 1), Q7_ERROR_INVALID_MEMSTREAM);
  int time = 0, code = 0;
  char name[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
  ASSERT_EQ(ring.ring_.Get(&time, name, &code, message), 1);
  EXPECT_STREQ(name, "writeStream");
  EXPECT_STREQ(message, "Invalid memstreem");
  EXPECT_EQ(in.writeStreamHeader(), Q7_ERROR_INVALID_MEMSTREAM);

  TMemStream out;
  char c;
  EXPECT_EQ(out.readStream(&c, 1, 1), Q7_ERROR_INVALID_MEMSTREAM);
  EXPECT_EQ(out.readStream(&c, 1, 1, 1), Q7_ERROR_INVALID_MEMSTREAM);
  EXPECT_EQ(out.readStreamHeader(), Q7_ERROR_INVALID_MEMSTREAM);
  EXPECT_EQ(in.readStream(&c, 1, 1, 0), Q7_ERROR_INVALID_UNIT_WIDTH);

  EXPECT_EQ(q7test::CodeOf([] { TMemStream bad(4, nullptr); }), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(q7test::CodeOf([&] { TMemStream bad(-1, bytes.data()); }), Q7_ERROR_INVALID_PARAMETER);
}

}  // namespace

namespace {

TEST(MemStream, SeekAndThePaddingSteps) {
  TMemStream out;
  EXPECT_EQ(out.adjust_write_addr_alignment(), 0);  // at 0 nothing to pad
  ASSERT_EQ(out.writeStream("abc", 1, 3), 3);
  EXPECT_EQ(out.adjust_write_addr_alignment(), 3);  // (position & 7), not 8 minus it
  EXPECT_EQ(out.Pos(), 6);
  EXPECT_EQ(Contents(out), std::string("abc\0\0\0", 6));
  EXPECT_EQ(out.Seek(-1), Q7_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(out.Pos(), 6);
  EXPECT_EQ(out.Seek(100), 6);  // never past the bytes written
  EXPECT_EQ(out.Seek(1), 1);
  ASSERT_EQ(out.writeStream("Z", 1, 1), 1);  // overwrites in place; at 1 the padding is 1 byte
  EXPECT_EQ(Contents(out), std::string("a\0Z\0\0\0", 6));
  EXPECT_EQ(out.adjust_read_addr_alignment(), Q7_ERROR_INVALID_MEMSTREAM);

  buildSystemHeader();
  TMemStream header_out;
  header_out.writeStreamHeader();
  header_out.writeStream("xyz", 1, 3);
  const int64_t v = 77;
  header_out.writeStream(&v, 8, 1);
  std::string image = Contents(header_out);
  TMemStream in(static_cast<long>(image.size()), image.data());
  EXPECT_EQ(in.adjust_write_addr_alignment(), Q7_ERROR_INVALID_MEMSTREAM);
  ASSERT_EQ(in.readStreamHeader(), 256);
  char t[3];
  ASSERT_EQ(in.readStream(t, 1, 3), 3);
  EXPECT_EQ(in.adjust_read_addr_alignment(), 3);  // the writer's padding before the next record
  EXPECT_EQ(in.Pos(), 262);
  // Reads skip the padding themselves: back to where the writer stood before its write.
  EXPECT_EQ(in.Seek(259), 259);
  int64_t got = 0;
  EXPECT_EQ(in.readStream(&got, 8, 1), 8);
  EXPECT_EQ(got, 77);
  EXPECT_EQ(in.adjust_read_addr_alignment(), 0);  // at the end: nothing to skip
}

// A stream that cannot grow gives up its buffer and says so, and refuses every later write, rather
// than writing part of a record.
TEST(MemStream, FailedGrowthClosesTheStream) {
  RingScope ring;
  TMemStream s;
  ASSERT_EQ(s.writeStream("abcde", 1, 5), 5);
  const int64_t v = 1;
  EXPECT_EQ(s.writeStream(&v, 2, SIZE_MAX), Q7_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(ring.TakeCoded(), "writeStream|E0000018|Out of memory");
  EXPECT_EQ(s.OpenMode(), TMemStream::kModeClosed);
  EXPECT_EQ(s.pArea(), nullptr);
  EXPECT_EQ(s.nUsed(), 0);
  EXPECT_EQ(s.Pos(), 0);
  EXPECT_EQ(s.writeStream("a", 1, 1), Q7_ERROR_INVALID_MEMSTREAM);
  EXPECT_EQ(ring.Take(), "writeStream|Invalid memstreem");
  EXPECT_EQ(s.writeStreamHeader(), Q7_ERROR_INVALID_MEMSTREAM);
  EXPECT_EQ(s.adjust_write_addr_alignment(), Q7_ERROR_INVALID_MEMSTREAM);
}

}  // namespace
