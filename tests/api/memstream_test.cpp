// The memory stream as a host drives it: writing into the engine's buffer, reading the host's bytes,
// and the refusals, through the exported functions only.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "q7api.h"
#include "tests/api/host_test_support.h"

namespace {

using q7host::DrainRing;
using q7host::RingEntry;

struct Status {
  int mode = -1;
  long size = -1;
  long position = -1;
  void* buffer = reinterpret_cast<void*>(1);
};

Status GetStatus() {
  Status s;
  EXPECT_EQ(RQ7MemStreamGetStatus(&s.mode, &s.size, &s.position, &s.buffer), 0);
  return s;
}

class MemStreamApi : public ::testing::Test {
 protected:
  void SetUp() override {
    RQ7MemStreamClose();
    DrainRing();
  }
  void TearDown() override { RQ7MemStreamClose(); }
};

TEST_F(MemStreamApi, WritesArePaddedAndReadBackAsStored) {
  ASSERT_EQ(RQ7MemStreamOpenWrite(), 0);
  EXPECT_EQ(RQ7MemStreamWrite("0123456789abc", 13), 13);
  const int32_t v = 0x01020304;
  EXPECT_EQ(RQ7MemStreamWrite(&v, 4), 4);  // at 13: five zero bytes first
  EXPECT_EQ(RQ7MemStreamWrite(&v, 0), 0);  // nothing, not even padding
  long size = 0;
  void* buffer = nullptr;
  ASSERT_EQ(RQ7MemStreamGetWriteBuf(&size, &buffer), 0);
  ASSERT_EQ(size, 22);
  std::string written(static_cast<const char*>(buffer), static_cast<size_t>(size));
  EXPECT_EQ(written, std::string("0123456789abc\0\0\0\0\0\x04\x03\x02\x01", 22));
  Status s = GetStatus();
  EXPECT_EQ(s.mode, 2);
  EXPECT_EQ(s.size, 22);
  EXPECT_EQ(s.position, 22);
  EXPECT_EQ(s.buffer, buffer);

  // Read back from the host's own copy; the engine's buffer goes with the write stream.
  ASSERT_EQ(RQ7MemStreamOpenRead(size, written.data()), 0);
  s = GetStatus();
  EXPECT_EQ(s.mode, 1);
  EXPECT_EQ(s.size, 22);
  EXPECT_EQ(s.position, 0);
  EXPECT_EQ(s.buffer, written.data());
  char out[32];
  memset(out, '-', sizeof out);
  EXPECT_EQ(RQ7MemStreamRead(out, 18), 18);
  EXPECT_EQ(RQ7MemStreamRead(out + 18, 10), 4);  // 10 asked, 4 left
  EXPECT_EQ(std::string(out, 23), written + "-");
  EXPECT_EQ(RQ7MemStreamRead(out, 10), 0);
  EXPECT_EQ(GetStatus().position, 22);
  EXPECT_EQ(RQ7MemStreamClose(), 0);
  EXPECT_EQ(written.size(), 22u);  // the host's bytes are untouched and still its own
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(MemStreamApi, AWriteOfAMillionBytesGrowsTheBuffer) {
  ASSERT_EQ(Q7MemStreamOpenWrite(), 0);
  std::vector<char> big(1000000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  ASSERT_EQ(Q7MemStreamWrite(big.data(), static_cast<long>(big.size())), 1000000);
  ASSERT_EQ(Q7MemStreamWrite(big.data(), 8), 8);
  long size = 0;
  void* buffer = nullptr;
  ASSERT_EQ(Q7MemStreamGetWriteBuf(&size, &buffer), 0);
  ASSERT_EQ(size, 1000008);
  EXPECT_EQ(memcmp(buffer, big.data(), big.size()), 0);
  EXPECT_EQ(memcmp(static_cast<char*>(buffer) + 1000000, big.data(), 8), 0);
  EXPECT_EQ(Q7MemStreamClose(), 0);
}

// Each refusal, in a table: the code the host gets, the ring entry it leaves (if any), and that the
// stream in place is left as it was.
TEST_F(MemStreamApi, RefusalsKeepTheStreamInPlace) {
  char data[8] = "bytes";
  char out[8];
  long size = 0;
  void* buffer = nullptr;
  struct Case {
    const char* what;
    int open;  // 0 no stream, 1 a read stream over data, 2 a write stream holding "abc"
    int (*call)(char* data, char* out, long* size, void** buffer);
    int code;
    std::vector<RingEntry> ring;
  };
  const Case kCases[] = {
      {"write without a stream",
       0,
       [](char* d, char*, long*, void**) { return RQ7MemStreamWrite(d, 1); },
       Q7_ERROR_STREAM_NOT_OPEN,
       {{"Q7MemStreamWrite", Q7_ERROR_STREAM_NOT_OPEN, "Failed to open stream"}}},
      {"read without a stream",
       0,
       [](char*, char* o, long*, void**) { return RQ7MemStreamRead(o, 1); },
       Q7_ERROR_STREAM_NOT_OPEN,
       {{"Q7MemStreamRead", Q7_ERROR_STREAM_NOT_OPEN, "Failed to open stream"}}},
      {"buffer without a stream",
       0,
       [](char*, char*, long* s, void** b) { return RQ7MemStreamGetWriteBuf(s, b); },
       Q7_ERROR_STREAM_NOT_OPEN,
       {{"Q7MemStreamGetWriteBuf", Q7_ERROR_STREAM_NOT_OPEN, "Failed to open stream"}}},
      {"write to a read stream",
       1,
       [](char* d, char*, long*, void**) { return RQ7MemStreamWrite(d, 1); },
       Q7_ERROR_INVALID_MEMSTREAM,
       {{"writeStream", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem"}}},
      {"read from a write stream",
       2,
       [](char*, char* o, long*, void**) { return RQ7MemStreamRead(o, 1); },
       Q7_ERROR_INVALID_MEMSTREAM,
       {}},
      {"negative write length",
       2,
       [](char* d, char*, long*, void**) { return RQ7MemStreamWrite(d, -1); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamWrite", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Length(-1)"}}},
      {"write length beyond the result",
       2,
       [](char* d, char*, long*, void**) { return RQ7MemStreamWrite(d, 0x80000000L); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamWrite", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Length(2147483648)"}}},
      {"write of no bytes",
       2,
       [](char*, char*, long*, void**) { return RQ7MemStreamWrite(nullptr, 3); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamWrite", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Data"}}},
      {"negative read length",
       1,
       [](char*, char* o, long*, void**) { return RQ7MemStreamRead(o, -5); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamRead", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Length(-5)"}}},
      {"open over no bytes",
       2,
       [](char*, char*, long*, void**) { return RQ7MemStreamOpenRead(4, nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamOpenRead", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"open over a negative length",
       1,
       [](char* d, char*, long*, void**) { return RQ7MemStreamOpenRead(-1, d); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamOpenRead", Q7_ERROR_INVALID_PARAMETER, ""}}},
      {"buffer to no outputs",
       2,
       [](char*, char*, long*, void**) { return RQ7MemStreamGetWriteBuf(nullptr, nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"Q7MemStreamGetWriteBuf", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Size"}}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    RQ7MemStreamClose();
    if (c.open == 1) {
      ASSERT_EQ(RQ7MemStreamOpenRead(5, data), 0);
    }
    if (c.open == 2) {
      ASSERT_EQ(RQ7MemStreamOpenWrite(), 0);
      ASSERT_EQ(RQ7MemStreamWrite("abc", 3), 3);
    }
    const Status before = GetStatus();
    DrainRing();
    EXPECT_EQ(c.call(data, out, &size, &buffer), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
    const Status after = GetStatus();
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.size, before.size);
    EXPECT_EQ(after.position, before.position);
    EXPECT_EQ(after.buffer, before.buffer);
  }
  EXPECT_EQ(std::string(data), "bytes");
}

TEST_F(MemStreamApi, NoStreamReportsModeZero) {
  const Status s = GetStatus();
  EXPECT_EQ(s.mode, 0);
  EXPECT_EQ(s.size, 0);
  EXPECT_EQ(s.position, 0);
  EXPECT_EQ(s.buffer, nullptr);
  EXPECT_EQ(RQ7MemStreamGetStatus(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(RQ7MemStreamClose(), 0);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

// Two tables of every value type written into the stream one after the other, taken out as the
// host's bytes and read back from them, are the same tables: a fresh database gives them the same IDs
// and names, so their table files match byte for byte.
TEST_F(MemStreamApi, TablesOfEveryTypeTravelThroughTheStream) {
  using q7host::kDoubleNull;
  using q7host::kIntNull;
  q7host::TempDir dir;
  ASSERT_EQ(RQ7ClearDB(), 0);
  const int every = q7host::AddTable("every", 5);
  ASSERT_GT(q7host::AddIntColumn(every, "int", {3, kIntNull, -7, 3, 2147483647}), 0);
  ASSERT_GT(q7host::AddDoubleColumn(every, "dbl", {0.5, -1e300, kDoubleNull, 0.5, 2}), 0);
  ASSERT_GT(q7host::AddDoubleColumn(every, "date", {40000, kDoubleNull, 40001, 2, 40000}, Q7_TYPE_DATE), 0);
  ASSERT_GT(q7host::AddDoubleColumn(every, "time", {0.25, 0.5, kDoubleNull, 0, 0.75}, Q7_TYPE_TIME), 0);
  ASSERT_GT(
      q7host::AddDoubleColumn(every, "stamp", {40000.5, kDoubleNull, 3.25, 40000.5, 9}, Q7_TYPE_DATETIME), 0);
  ASSERT_GT(q7host::AddStringColumn(every, "text", {"beta", "", "alpha", "a longer text", "beta"}), 0);
  ASSERT_GT(q7host::AddDecimalColumn(every, "dec",
                                     {q7host::Decimal(1234), q7host::kDecimalNull, q7host::Decimal(-5),
                                      q7host::Decimal(0), q7host::Decimal(1234)},
                                     2),
            0);
  const int other = q7host::AddTable("other", 3);  // odd-sized records: padding between the tables
  ASSERT_GT(q7host::AddStringColumn(other, "s", {"x", "yz", ""}), 0);
  ASSERT_EQ(RQ7SaveRealTableAs(dir.path().c_str(), "every_before", every), 0);
  ASSERT_EQ(RQ7SaveRealTableAs(dir.path().c_str(), "other_before", other), 0);

  ASSERT_EQ(RQ7MemStreamOpenWrite(), 0);
  ASSERT_EQ(RQ7SaveRealTableMem(every, 0), 0);
  ASSERT_EQ(RQ7SaveRealTableMem(other, 0), 0);
  long size = 0;
  void* buffer = nullptr;
  ASSERT_EQ(RQ7MemStreamGetWriteBuf(&size, &buffer), 0);
  std::vector<int64_t> bytes((static_cast<size_t>(size) + 7) / 8);  // 8-aligned, as the engine's buffer
  memcpy(bytes.data(), buffer, static_cast<size_t>(size));
  ASSERT_EQ(RQ7MemStreamClose(), 0);

  ASSERT_EQ(RQ7ClearDB(), 0);
  ASSERT_EQ(RQ7MemStreamOpenRead(size, bytes.data()), 0);
  EXPECT_EQ(RQ7LoadRealTableMem(), every);
  EXPECT_EQ(RQ7LoadRealTableMem(), other);
  EXPECT_EQ(RQ7LoadRealTableMem(), 0);  // the end of the stream
  EXPECT_EQ(GetStatus().position, size);
  ASSERT_EQ(RQ7MemStreamClose(), 0);
  ASSERT_EQ(RQ7SaveRealTableAs(dir.path().c_str(), "every_after", every), 0);
  ASSERT_EQ(RQ7SaveRealTableAs(dir.path().c_str(), "other_after", other), 0);
  const auto read = [&](const char* name) {
    std::ifstream in(dir.path() + "/" + name + ".Q7T", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  EXPECT_GT(read("every_before").size(), 256u);
  EXPECT_EQ(read("every_after"), read("every_before"));
  EXPECT_EQ(read("other_after"), read("other_before"));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

}  // namespace
