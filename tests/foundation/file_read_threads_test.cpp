// The pool's file read and largest-element scan against the calling thread's, for every worker count.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kCaps[] = {1, 2, 3, 5, 0};

// Bytes that differ from one 4-byte word to the next, so a range read at the wrong place shows.
std::string Pattern(size_t bytes) {
  std::string s(bytes, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i + 4 <= bytes; i += 4) {
    x = x * 1103515245u + 12345u;
    memcpy(s.data() + i, &x, 4);
  }
  return s;
}

class Fd {
 public:
  explicit Fd(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

TEST(FileReadOnThePool, ReadsEveryByteFromTheOffsetForEveryWorkerCount) {
  q7test::TempDir dir;
  // 13 MiB and a few bytes: up to four ranges, the last one short and not word-aligned.
  const std::string bytes = Pattern((size_t{13} << 20) + 7);
  q7test::WriteAll(dir.File("f"), bytes);
  Fd fd(dir.File("f"));
  ASSERT_GE(fd.get(), 0);
  struct Case {
    size_t offset;
    size_t length;
  };
  const Case kCases[] = {
      {0, bytes.size()}, {5, bytes.size() - 5}, {4096 + 3, (size_t{9} << 20) + 1}, {17, 1000}};
  for (int cap : kCaps) {
    q7test::WorkerCap workers(cap);
    for (const Case& c : kCases) {
      std::vector<char> out(c.length, 'x');
      ASSERT_TRUE(MppPread(fd.get(), out.data(), c.length, static_cast<int64_t>(c.offset)));
      EXPECT_EQ(0, memcmp(out.data(), bytes.data() + c.offset, c.length))
          << "cap " << cap << ", offset " << c.offset << ", length " << c.length;
    }
    // The file's own position is not moved.
    EXPECT_EQ(lseek(fd.get(), 0, SEEK_CUR), 0);
  }
}

TEST(FileReadOnThePool, ARangeBeyondTheEndFailsForEveryWorkerCount) {
  q7test::TempDir dir;
  const std::string bytes = Pattern(size_t{10} << 20);
  q7test::WriteAll(dir.File("f"), bytes);
  Fd fd(dir.File("f"));
  std::vector<char> out(bytes.size());
  for (int cap : kCaps) {
    q7test::WorkerCap workers(cap);
    // Only the last range reaches past the end.
    EXPECT_FALSE(MppPread(fd.get(), out.data(), bytes.size(), 1)) << "cap " << cap;
    EXPECT_FALSE(MppPread(-1, out.data(), bytes.size(), 0)) << "cap " << cap;
  }
}

// A stream's large read on the pool leaves the stream where a plain read leaves it.
TEST(FileReadOnThePool, StreamReadsOnFromWhereTheParallelReadEnds) {
  q7test::TempDir dir;
  const std::string bytes = Pattern((size_t{6} << 20) + 12);
  q7test::WriteAll(dir.File("f"), bytes);
  for (int cap : kCaps) {
    q7test::WorkerCap workers(cap);
    zpk_fstream fs;
    ASSERT_EQ(fs.open(dir.File("f").c_str(), kZpkRead | kZpkBinary, 1), 0);
    int32_t head = 0;
    ASSERT_EQ(fs.read(&head, 4, 1), 0);
    const size_t n = (bytes.size() - 8) / 4;
    std::vector<int32_t> body(n);
    ASSERT_EQ(fs.read_parallel(body.data(), 4, n), 0);
    int32_t tail = 0;
    ASSERT_EQ(fs.read(&tail, 4, 1), 0);
    EXPECT_EQ(0, memcmp(&head, bytes.data(), 4));
    EXPECT_EQ(0, memcmp(body.data(), bytes.data() + 4, n * 4)) << "cap " << cap;
    EXPECT_EQ(0, memcmp(&tail, bytes.data() + 4 + n * 4, 4)) << "cap " << cap;
    EXPECT_NE(fs.read(&tail, 4, 1), 0);  // the end of the file
    // One element more than the file holds fails.
    ASSERT_EQ(fs.seekg(4, SEEK_SET), 0);
    std::vector<int32_t> more(n + 2);
    EXPECT_NE(fs.read_parallel(more.data(), 4, n + 2), 0) << "cap " << cap;
  }
}

TEST(ScanOnThePool, LargestElementEqualsTheSerialOneWhereverItLies) {
  const size_t n = (size_t{3} << 20) + 5;
  std::vector<uint32_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint32_t>(i % 1000) + 1;
  struct Case {
    size_t at;
    uint32_t value;
    uint32_t bias;
  };
  // Peaks in the first, a middle and the last range, and values that wrap below the bias.
  const Case kCases[] = {{0, 5000, 0},  {n / 2 + 1, 7000, 1}, {n - 1, 0xFFFFFFF0u, 0},
                         {n - 1, 0, 1}, {n / 3, 1, 1},        {12, 999, 0}};
  for (const Case& c : kCases) {
    std::vector<uint32_t> w = v;
    w[c.at] = c.value;
    const uint32_t want = MaxUint32Minus(w.data(), n, c.bias);
    uint32_t expect = 0;
    for (uint32_t x : w) expect = std::max(expect, x - c.bias);
    ASSERT_EQ(want, expect);
    for (int cap : kCaps) {
      q7test::WorkerCap workers(cap);
      EXPECT_EQ(MppMaxUint32Minus(w.data(), n, c.bias), want) << "cap " << cap << ", at " << c.at;
    }
  }
  EXPECT_EQ(MppMaxUint32Minus(v.data(), 0, 1), 0u);
}

}  // namespace
