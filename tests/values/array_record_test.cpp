// Array records: byte layout, round trips through every target, records of a 32-bit writer, and
// refusal of truncated or corrupted records.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/CErrorLog.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "foundation/zpk_fstream.h"
#include "tests/support/test_support.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using q7test::CodeOf;
using q7test::TempDir;

// An 8-aligned block of bytes.
class Block {
 public:
  explicit Block(size_t size) : words_((size + 7) / 8 + 1, 0), size_(size) {}
  Block(const void* data, size_t size) : Block(size) { memcpy(bytes(), data, size); }
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(words_.data()); }
  size_t size() const { return size_; }

 private:
  std::vector<uint64_t> words_;
  size_t size_;
};

// Builds an image by hand with the writers' padding rule: (position & 7) zero bytes before each
// non-empty field.
class ImageBuilder {
 public:
  // A header as a writer of the given word size (1 = 32-bit) on a little-endian system writes it.
  explicit ImageBuilder(int word_size) {
    bytes_.assign(kSysHeaderSize, 0);
    bytes_[0] = 0xFF;
    bytes_[1] = static_cast<uint8_t>(0x30 | kSysEndianLittle | word_size);
    bytes_[2] = 8;
    bytes_[3] = 8;
    bytes_[4] = 33;
  }
  template <class T>
  void Put(const T& v) {
    Field(&v, sizeof v);
  }
  void Field(const void* p, size_t n) {
    if (n == 0) return;
    bytes_.resize(bytes_.size() + (bytes_.size() & 7), 0);
    const auto* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  void UserArea(uint8_t first) {
    uint8_t area[64] = {first};
    Field(area, sizeof area);
  }
  std::vector<uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

void WriteFile(const std::string& path, const void* data, size_t n) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fwrite(data, 1, n, f), n);
  fclose(f);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The arrays every round trip carries, each after a one-byte field that shifts its start.
struct Sample {
  TIntArray ints{0, 1};
  TIntArray empty_ints;
  TDoubleArray dates{3, 1};
  TStrArray strs{4, 1};
  TStrArray empty_strs;
  TNumericArray decimals{2, 1};

  Sample() {
    for (int v : {7, -3, 0x7fffffff}) ints.AppendData(&v);  // capacity 10000, count 3
    ints.FUserArea[63] = 0xAB;
    dates.SetExtendType(Q7_TYPE_DATE);
    dates.SetDispType(2, 1);
    dates.PutDouble(0, 2.0);
    dates.PutDouble(2, 73415.0);
    strs.PutPChar(0, "");
    strs.PutPChar(1, "one");
    strs.PutPChar(2, "two");
    strs.PutPChar(1, "uno");  // leaves dead bytes
    decimals.SetDecimalInfo(-3, Q7_ROUND_FLOOR);
    const Numeric n{~0ull, -2};
    decimals.PutDecimal(1, &n);
  }
  std::vector<TBaseArray*> All() { return {&ints, &empty_ints, &dates, &strs, &empty_strs, &decimals}; }
};

// Reads back what Sample wrote, from a source that makes one array per call.
struct Loaded {
  std::unique_ptr<TIntArray> ints, empty_ints;
  std::unique_ptr<TDoubleArray> dates;
  std::unique_ptr<TStrArray> strs, empty_strs;
  std::unique_ptr<TNumericArray> decimals;
};

void CheckLoaded(const Loaded& l, bool in_place) {
  ASSERT_EQ(l.ints->FArraySize, 3);
  if (!in_place) {
    EXPECT_EQ(l.ints->FAllocSize, 3);
  }
  EXPECT_EQ(l.ints->GetInt(2), 0x7fffffff);
  EXPECT_EQ(l.ints->GetInt(1), -3);
  EXPECT_EQ(l.ints->FUserArea[63], 0xAB);
  EXPECT_EQ(l.empty_ints->FArraySize, 0);
  EXPECT_EQ(l.dates->GetExtendType(), Q7_TYPE_DATE);
  EXPECT_EQ(l.dates->DispFirst(), 2);
  EXPECT_EQ(l.dates->GetDouble(2), 73415.0);
  ASSERT_EQ(l.strs->FArraySize, 4);
  EXPECT_STREQ(l.strs->GetPChar(0), "");
  EXPECT_STREQ(l.strs->GetPChar(1), "uno");
  EXPECT_STREQ(l.strs->GetPChar(2), "two");
  EXPECT_STREQ(l.strs->GetPChar(3), "");
  EXPECT_EQ(l.strs->FCompact, 0);
  EXPECT_EQ(l.empty_strs->FArraySize, 0);
  EXPECT_EQ(l.decimals->GetScale(), -3);
  EXPECT_EQ(l.decimals->GetRoundingMode(), Q7_ROUND_FLOOR);
  Numeric n{};
  l.decimals->GetDecimal(1, &n);
  EXPECT_EQ(n.low, ~0ull);
  EXPECT_EQ(n.high, -2);
  const uint8_t owned = in_place ? 1 : 0;
  EXPECT_EQ(l.ints->FNotOwned, owned);
  EXPECT_EQ(l.strs->FNotOwned, owned);
}

// Reads the sample back: `marker` reads the one-byte field, `make` builds each array.
template <class Marker, class Make>
Loaded LoadSample(Marker&& marker, Make&& make) {
  Loaded l;
  marker();
  l.ints.reset(make(static_cast<TIntArray*>(nullptr)));
  marker();
  l.empty_ints.reset(make(static_cast<TIntArray*>(nullptr)));
  marker();
  l.dates.reset(make(static_cast<TDoubleArray*>(nullptr)));
  marker();
  l.strs.reset(make(static_cast<TStrArray*>(nullptr)));
  marker();
  l.empty_strs.reset(make(static_cast<TStrArray*>(nullptr)));
  marker();
  l.decimals.reset(make(static_cast<TNumericArray*>(nullptr)));
  return l;
}

const char kMarker = 'm';

}  // namespace

TEST(ArrayRecord, LayoutFromAnAlignedStart) {
  TIntArray ints(0, 1);
  for (int v : {1, 2, 3}) ints.AppendData(&v);
  ints.SetAllocSize(10);
  ints.FUserArea[5] = 0x11;
  Block block(512);
  CMemFile mf(block.bytes(), static_cast<long>(block.size()));
  ints.SaveArray2Mem(&mf);
  ASSERT_EQ(mf.Cursor() - reinterpret_cast<char*>(block.bytes()), 96 + 12);
  const uint8_t* b = block.bytes();
  auto i32 = [&](int at) {
    int32_t v;
    memcpy(&v, b + at, 4);
    return v;
  };
  auto i64 = [&](int at) {
    int64_t v;
    memcpy(&v, b + at, 8);
    return v;
  };
  EXPECT_EQ(i32(0), 2);
  EXPECT_EQ(i32(4), 0);
  EXPECT_EQ(b[8 + 5], 0x11);
  EXPECT_EQ(i32(72), 4);
  EXPECT_EQ(i32(76), 0);
  EXPECT_EQ(i32(80), 3);
  EXPECT_EQ(i32(84), 0);
  EXPECT_EQ(i64(88), 10);
  EXPECT_EQ(i32(96), 1);
  EXPECT_EQ(i32(104), 3);

  TStrArray strs(0, 1);
  strs.AppendData("ab");
  strs.AppendData("c");
  Block sblock(512);
  CMemFile smf(sblock.bytes(), static_cast<long>(sblock.size()));
  strs.SaveArray2Mem(&smf);
  const uint8_t* s = sblock.bytes();
  int32_t type_no;
  memcpy(&type_no, s, 4);
  EXPECT_EQ(type_no, 6);
  uint64_t off1;
  memcpy(&off1, s + 96 + 8, 8);
  EXPECT_EQ(off1, 3u);
  int64_t last;
  memcpy(&last, s + 96 + 16, 8);
  EXPECT_EQ(last, 5);
  EXPECT_EQ(memcmp(s + 104 + 16, "ab\0c\0", 5), 0);
  EXPECT_EQ(smf.Cursor() - reinterpret_cast<char*>(sblock.bytes()), 104 + 16 + 5);
}

TEST(ArrayRecord, FileRoundTripAfterHeader) {
  TempDir dir;
  const std::string path = dir.File("arrays.bin");
  Sample sample;
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkWrite | kZpkBinary, 0);
    ASSERT_EQ(fs.writeFileHeader(), 0);
    for (TBaseArray* a : sample.All()) {
      zpk_write(fs, &kMarker, 1, 1);
      a->SaveArray(fs);
    }
    zpk_close(fs);
  }
  EXPECT_EQ(sample.strs.FCompact, 1);  // the file writer compacts first
  // The int record starts right after the header's 256 bytes and the marker (padding 1 at 257).
  const std::vector<uint8_t> bytes = ReadFile(path);
  int32_t type_no;
  memcpy(&type_no, bytes.data() + 258, 4);
  EXPECT_EQ(type_no, 2);

  zpk_fstream fs;
  zpk_open(fs, path.c_str(), kZpkRead | kZpkBinary, 0);
  fs.readFileHeader(false);
  Loaded l = LoadSample(
      [&] {
        char c = 0;
        zpk_read(fs, &c, 1, 1);
        ASSERT_EQ(c, kMarker);
      },
      [&](auto* tag) { return new std::remove_pointer_t<decltype(tag)>(fs, nullptr, 0); });
  CheckLoaded(l, false);
  EXPECT_EQ(fs.remaining(), 0);
}

TEST(ArrayRecord, MemoryImageRoundTripKeepsDeadBytesAndSizesExactly) {
  Sample sample;
  const int64_t dead_last = sample.strs.FPCLast;
  CMemFile sizing;
  sizing.sizeFileHeader();
  for (TBaseArray* a : sample.All()) {
    zpk_size_write2mem(&sizing, &kMarker, 1, 1);
    a->SizeArray2Mem(&sizing);
  }
  // One (bytes + 8) per non-empty field: the string record's area is counted with dead bytes.
  CMemFile one;
  const int64_t str_count = sample.strs.SizeArray2Mem(&one);
  EXPECT_EQ(str_count,
            (4 + 8) + (64 + 8) + (4 + 8) + (4 + 8) + (8 + 8) + (32 + 8) + (8 + 8) + (dead_last + 8));
  EXPECT_EQ(static_cast<int64_t>(one.SizeCount()), str_count);

  Block block(sizing.SizeCount());
  {
    CMemFile mf(block.bytes(), static_cast<long>(block.size()));
    mf.writeFileHeader();
    for (TBaseArray* a : sample.All()) {
      zpk_write2mem(&mf, &kMarker, 1, 1);
      a->SaveArray2Mem(&mf);
    }
  }
  EXPECT_EQ(sample.strs.FPCLast, dead_last);  // not compacted
  EXPECT_EQ(sample.strs.FCompact, 0);

  CMemFile rf(block.bytes(), static_cast<long>(block.size()));
  rf.readFileHeader();
  Loaded l = LoadSample(
      [&] {
        char c = 0;
        zpk_readmem(&rf, &c, 1, 1);
        ASSERT_EQ(c, kMarker);
      },
      [&](auto* tag) { return new std::remove_pointer_t<decltype(tag)>(&rf, nullptr, 0); });
  CheckLoaded(l, false);
  EXPECT_EQ(l.strs->FPCLast, dead_last);
}

TEST(ArrayRecord, MemoryStreamRoundTrip) {
  Sample sample;
  std::vector<uint8_t> image;
  MemStream = new TMemStream();
  MemStream->writeStreamHeader();
  for (TBaseArray* a : sample.All()) {
    ASSERT_EQ(MemStream->writeStream(&kMarker, 1, 1), 1);
    a->SaveArrayMem();
  }
  image.assign(MemStream->pArea(), MemStream->pArea() + MemStream->nUsed());
  delete MemStream;
  MemStream = nullptr;
  EXPECT_EQ(sample.strs.FCompact, 1);

  MemStream = new TMemStream(static_cast<long>(image.size()), image.data());
  MemStream->readStreamHeader();
  Loaded l = LoadSample(
      [&] {
        char c = 0;
        ASSERT_EQ(MemStream->readStream(&c, 1, 1), 1);
        ASSERT_EQ(c, kMarker);
      },
      [&](auto* tag) { return new std::remove_pointer_t<decltype(tag)>(0); });
  CheckLoaded(l, false);
  EXPECT_EQ(MemStream->Pos(), MemStream->nUsed());
  // Reading past the end is refused with a code, not a partial array.
  EXPECT_NE(CodeOf([] { TIntArray extra(0); }), 0);
  delete MemStream;
  MemStream = nullptr;
  EXPECT_EQ(CodeOf([] { TIntArray none(0); }), Q7_ERROR_INVALID_MEMSTREAM);
  TIntArray some(2, 1);
  EXPECT_EQ(CodeOf([&] { some.SaveArrayMem(); }), Q7_ERROR_INVALID_MEMSTREAM);
}

TEST(ArrayRecord, SharedMemoryMapsInPlace) {
  Sample sample;
  int64_t reserve = 0;
  for (TBaseArray* a : sample.All()) {
    reserve += static_cast<int64_t>(zpk_shm_write(&kMarker, 1, 1, nullptr));
    reserve += a->WriteToSharedMemory(nullptr);
  }
  Block block(static_cast<size_t>(reserve));
  void* cursor = block.bytes();
  for (TBaseArray* a : sample.All()) {
    zpk_shm_write(&kMarker, 1, 1, &cursor);
    EXPECT_EQ(a->WriteToSharedMemory(&cursor), 0);
  }
  ASSERT_LE(static_cast<uint8_t*>(cursor) - block.bytes(), reserve);

  void* rc = block.bytes();
  Loaded l = LoadSample(
      [&] {
        char c = 0;
        zpk_shm_read(&rc, &c, 1, 1);
        ASSERT_EQ(c, kMarker);
      },
      [&](auto* tag) { return new std::remove_pointer_t<decltype(tag)>(&rc, cursor, nullptr, 0); });
  CheckLoaded(l, true);
  EXPECT_EQ(rc, cursor);
  EXPECT_EQ(l.ints->FAllocSize, 10000);  // the stored capacity stays
  EXPECT_EQ(l.ints->GetMemSize(), static_cast<int64_t>(sizeof(TIntArray)));
  EXPECT_EQ(l.strs->GetMemSize(), static_cast<int64_t>(sizeof(TStrArray)));
  EXPECT_GE(reinterpret_cast<uint8_t*>(l.ints->FData), block.bytes());
  EXPECT_EQ(CodeOf([&] { l.strs->PutPChar(0, "a text that needs room"); }), Q7_ERROR_SHARED_READ_ONLY);
  // Destroying the loaded arrays frees nothing of the block (the sanitizer build would object).
}

// An array mapped in place keeps the capacity its writer stored, which lies beyond the image's
// bytes for it: the field after its elements (or the end of the image) follows them directly.
// Every way of raising its count is refused, room or not, and the image stays as it was.
TEST(ArrayRecord, MappedArraysNeverGrowWhateverTheirStoredCapacity) {
  const int one_int = 9;
  const double one_double = 9.5;
  const Numeric one_decimal{9, 0};
  struct Case {
    const char* what;
    std::function<TBaseArray*()> make;
    std::function<TBaseArray*(void**, const void*)> map;
    const void* element;
  };
  const Case cases[] = {
      {"int", [] { return new TIntArray(0, 1); },
       [](void** c, const void* e) { return new TIntArray(c, e, nullptr, 0); }, &one_int},
      {"double", [] { return new TDoubleArray(0, 1); },
       [](void** c, const void* e) { return new TDoubleArray(c, e, nullptr, 0); }, &one_double},
      {"decimal", [] { return new TNumericArray(0, 1); },
       [](void** c, const void* e) { return new TNumericArray(c, e, nullptr, 0); }, &one_decimal},
      {"string", [] { return new TStrArray(0, 1); },
       [](void** c, const void* e) { return new TStrArray(c, e, nullptr, 0); }, "nine"},
  };
  const uint64_t kTrailer = 0x5A5A5A5A5A5A5A5Aull;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::unique_ptr<TBaseArray> source(c.make());
    for (int i = 0; i < 2; ++i) source->AppendData(c.element);
    ASSERT_GT(source->FAllocSize, source->FArraySize);
    const int64_t reserve =
        source->WriteToSharedMemory(nullptr) + static_cast<int64_t>(zpk_shm_write(&kTrailer, 8, 1, nullptr));
    Block block(static_cast<size_t>(reserve));
    void* cursor = block.bytes();
    source->WriteToSharedMemory(&cursor);
    zpk_shm_write(&kTrailer, 8, 1, &cursor);
    const std::vector<uint8_t> before(block.bytes(), block.bytes() + block.size());

    void* rc = block.bytes();
    std::unique_ptr<TBaseArray> mapped(c.map(&rc, block.bytes() + block.size()));
    ASSERT_EQ(mapped->FNotOwned, 1);
    ASSERT_EQ(mapped->FArraySize, 2);
    ASSERT_GT(mapped->FAllocSize, 2);
    const int64_t capacity = mapped->FAllocSize;
    const std::function<void()> growths[] = {
        [&] { mapped->AppendData(c.element); },
        [&] { mapped->SetArraySize(3); },
        [&] { mapped->SetArraySize(static_cast<int>(capacity)); },
        [&] { mapped->SetArraySize(static_cast<int>(capacity) + 1); },
        [&] { mapped->SetAllocSize(capacity * 2); },
    };
    for (const auto& grow : growths) {
      EXPECT_EQ(CodeOf(grow), Q7_ERROR_SHARED_READ_ONLY);
      EXPECT_EQ(mapped->FArraySize, 2);
      EXPECT_EQ(mapped->FAllocSize, capacity);
    }
    EXPECT_EQ(std::vector<uint8_t>(block.bytes(), block.bytes() + block.size()), before);
    // The mapped elements still read as written ("nine" and its NUL for the texts).
    const size_t width = mapped->GetDataType() == Q7_TYPE_STRING ? 5 : static_cast<size_t>(mapped->FUnitSize);
    EXPECT_EQ(memcmp(mapped->GetAddress(1), source->GetAddress(1), width), 0);
  }
}

TEST(ArrayRecord, RecordsOfA32BitWriter) {
  ImageBuilder img(1);
  img.Field(&kMarker, 1);  // start the records off alignment
  // A string array: 4-byte capacity, offsets and FPCLast.
  img.Put(int32_t{6});
  img.UserArea(0);
  img.Put(int32_t{4});
  img.Put(int32_t{3});
  img.Put(int32_t{3});
  const uint32_t offsets[] = {0, 4, 9};
  img.Field(offsets, sizeof offsets);
  img.Put(int32_t{10});
  img.Field("abc\0defg\0\0", 10);
  // An integer array whose 4-byte capacity is larger than its count.
  img.Put(int32_t{2});
  img.UserArea(0);
  img.Put(int32_t{4});
  img.Put(int32_t{2});
  img.Put(int32_t{8});
  const int32_t values[] = {-5, 6};
  img.Field(values, sizeof values);
  // A double array of dates.
  img.Put(int32_t{3});
  img.UserArea(Q7_TYPE_DATE);
  img.Put(int32_t{8});
  img.Put(int32_t{1});
  img.Put(int32_t{1});
  img.Put(36526.0);
  std::vector<uint8_t>& bytes = img.bytes();

  auto check = [](TStrArray& s, TIntArray& i, TDoubleArray& d) {
    EXPECT_EQ(s.FUnitSize, 8);
    ASSERT_EQ(s.FArraySize, 3);
    EXPECT_EQ(s.Offsets()[1], 4u);
    EXPECT_STREQ(s.GetPChar(0), "abc");
    EXPECT_STREQ(s.GetPChar(1), "defg");
    EXPECT_STREQ(s.GetPChar(2), "");
    EXPECT_EQ(s.FPCLast, 10);
    ASSERT_EQ(i.FArraySize, 2);
    EXPECT_EQ(i.FAllocSize, 2);
    EXPECT_EQ(i.GetInt(0), -5);
    EXPECT_EQ(i.GetInt(1), 6);
    EXPECT_EQ(d.GetExtendType(), Q7_TYPE_DATE);
    EXPECT_EQ(d.GetDouble(0), 36526.0);
  };
  {
    SCOPED_TRACE("memory image");
    Block block(bytes.data(), bytes.size());
    CMemFile mf(block.bytes(), static_cast<long>(block.size()));
    mf.readFileHeader();
    char c;
    zpk_readmem(&mf, &c, 1, 1);
    TStrArray s(&mf, nullptr, 0);
    TIntArray i(&mf, nullptr, 0);
    TDoubleArray d(&mf, nullptr, 0);
    check(s, i, d);
    EXPECT_EQ(mf.BytesLeft(), 0);
  }
  {
    SCOPED_TRACE("file");
    TempDir dir;
    const std::string path = dir.File("old32.bin");
    WriteFile(path, bytes.data(), bytes.size());
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkRead | kZpkBinary, 0);
    fs.readFileHeader(false);
    char c;
    zpk_read(fs, &c, 1, 1);
    TStrArray s(fs, nullptr, 0);
    TIntArray i(fs, nullptr, 0);
    TDoubleArray d(fs, nullptr, 0);
    check(s, i, d);
  }
  {
    SCOPED_TRACE("memory stream");
    MemStream = new TMemStream(static_cast<long>(bytes.size()), bytes.data());
    MemStream->readStreamHeader();
    char c;
    MemStream->readStream(&c, 1, 1);
    TStrArray s(0);
    TIntArray i(0);
    TDoubleArray d(0);
    check(s, i, d);
    delete MemStream;
    MemStream = nullptr;
  }
}

TEST(ArrayRecord, EmptyRecordsLoadWithoutData) {
  ImageBuilder img(2);
  img.Put(int32_t{2});
  img.UserArea(0);
  img.Put(int32_t{4});
  img.Put(int32_t{0});
  img.Put(int64_t{0});
  img.Put(int32_t{6});
  img.UserArea(0);
  img.Put(int32_t{8});
  img.Put(int32_t{0});
  img.Put(int64_t{-5});
  img.Put(int64_t{0});
  Block block(img.bytes().data(), img.bytes().size());
  CMemFile mf(block.bytes(), static_cast<long>(block.size()));
  mf.readFileHeader();
  TIntArray i(&mf, nullptr, 0);
  EXPECT_EQ(i.FArraySize, 0);
  EXPECT_EQ(i.FData, nullptr);
  TStrArray s(&mf, nullptr, 0);
  EXPECT_EQ(s.FArraySize, 0);
  EXPECT_EQ(s.FPCLast, 0);
  EXPECT_EQ(mf.BytesLeft(), 0);
  // Usable afterwards.
  s.AppendData("x");
  EXPECT_STREQ(s.GetPChar(0), "x");
}

namespace {

// A memory image (header + one string record of 3 texts) and the offsets of its fields.
struct StrImage {
  std::vector<uint8_t> bytes;
  static constexpr size_t kRec = kSysHeaderSize;
  static constexpr size_t kType = kRec + 0, kUnit = kRec + 72, kCount = kRec + 80, kAlloc = kRec + 88,
                          kOffsets = kRec + 96, kLast = kRec + 96 + 24;

  StrImage() {
    TStrArray s(0, 1);
    for (const char* t : {"", "beta", "gamma"}) s.AppendData(t);
    s.AdjustMemArea();
    Block block(1024);
    CMemFile mf(block.bytes(), static_cast<long>(block.size()));
    mf.writeFileHeader();
    s.SaveArray2Mem(&mf);
    bytes.assign(block.bytes(), reinterpret_cast<uint8_t*>(mf.Cursor()));
  }
  template <class T>
  void Set(size_t at, T v) {
    memcpy(bytes.data() + at, &v, sizeof v);
  }
};

// Loads one string record through a memory image, a file and the memory stream; returns the codes.
std::vector<int> LoadEverywhere(const std::vector<uint8_t>& bytes, const TempDir& dir) {
  std::vector<int> codes;
  {
    Block block(bytes.data(), bytes.size());
    CMemFile mf(block.bytes(), static_cast<long>(bytes.size()));
    codes.push_back(CodeOf([&] {
      mf.readFileHeader();
      TStrArray s(&mf, nullptr, 0);
    }));
  }
  {
    const std::string path = dir.File("cut.bin");
    WriteFile(path, bytes.data(), bytes.size());
    zpk_fstream fs;
    codes.push_back(CodeOf([&] {
      zpk_open(fs, path.c_str(), kZpkRead | kZpkBinary, 0);
      fs.readFileHeader(false);
      TStrArray s(fs, nullptr, 0);
    }));
    EXPECT_TRUE(codes.back() == 0 || !fs.is_open());
  }
  {
    std::vector<uint8_t> copy(bytes);
    MemStream = new TMemStream(static_cast<long>(copy.size()), copy.data());
    codes.push_back(CodeOf([&] {
      MemStream->readStreamHeader();
      TStrArray s(0);
    }));
    delete MemStream;
    MemStream = nullptr;
  }
  return codes;
}

}  // namespace

TEST(ArrayRecord, EveryTruncationIsRefusedWithACode) {
  TempDir dir;
  const StrImage image;
  for (int code : LoadEverywhere(image.bytes, dir)) EXPECT_EQ(code, 0);
  for (size_t len = kSysHeaderSize; len < image.bytes.size(); ++len) {
    SCOPED_TRACE(len);
    const std::vector<uint8_t> cut(image.bytes.begin(), image.bytes.begin() + static_cast<long>(len));
    for (int code : LoadEverywhere(cut, dir)) EXPECT_NE(code, 0);
  }
}

TEST(ArrayRecord, CorruptedRecordsAreRefused) {
  TempDir dir;
  struct Case {
    const char* what;
    std::function<void(StrImage&)> corrupt;
    int code;
  };
  const int kBad = Q7_ERROR_ILLEGAL_ARRAY_DATA;
  const Case cases[] = {
      {"type", [](StrImage& i) { i.Set(StrImage::kType, int32_t{2}); }, kBad},
      {"unit", [](StrImage& i) { i.Set(StrImage::kUnit, int32_t{4}); }, kBad},
      {"negative count", [](StrImage& i) { i.Set(StrImage::kCount, int32_t{-1}); }, Q7_ERROR_NEGATIVE_SIZE},
      {"count above capacity", [](StrImage& i) { i.Set(StrImage::kCount, int32_t{4}); }, kBad},
      {"count without capacity", [](StrImage& i) { i.Set(StrImage::kAlloc, int64_t{0}); }, kBad},
      {"count beyond the data",
       [](StrImage& i) {
         i.Set(StrImage::kCount, int32_t{100000000});
         i.Set(StrImage::kAlloc, int64_t{100000000});
       },
       kBad},
      {"offset at the end", [](StrImage& i) { i.Set(StrImage::kOffsets + 16, uint64_t{12}); }, kBad},
      {"offset far out", [](StrImage& i) { i.Set(StrImage::kOffsets + 8, ~uint64_t{0}); }, kBad},
      {"area beyond the data", [](StrImage& i) { i.Set(StrImage::kLast, int64_t{1} << 40); }, kBad},
      {"negative area", [](StrImage& i) { i.Set(StrImage::kLast, int64_t{-1}); }, kBad},
      {"area without its last NUL", [](StrImage& i) { i.bytes.back() = 'a'; }, kBad},
      {"unknown word size", [](StrImage& i) { i.bytes[1] = 0x37; }, kBad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StrImage image;
    c.corrupt(image);
    for (int code : LoadEverywhere(image.bytes, dir)) EXPECT_EQ(code, c.code);
  }
}

TEST(ArrayRecord, InPlaceReaderChecksWhatItMaps) {
  TStrArray s(0, 1);
  for (const char* t : {"a", "bc"}) s.AppendData(t);
  Block block(static_cast<size_t>(s.WriteToSharedMemory(nullptr)));
  void* cursor = block.bytes();
  s.WriteToSharedMemory(&cursor);
  // The second offset points past the area.
  uint64_t bad = 5;
  memcpy(block.bytes() + 96 + 8, &bad, 8);
  void* rc = block.bytes();
  EXPECT_EQ(CodeOf([&] { TStrArray t(&rc, block.bytes() + block.size(), nullptr, 0); }),
            Q7_ERROR_ILLEGAL_ARRAY_DATA);
  // A count above the stored capacity.
  const int32_t count = 3;
  const int64_t alloc = 2;
  memcpy(block.bytes() + 80, &count, 4);
  memcpy(block.bytes() + 88, &alloc, 8);
  rc = block.bytes();
  EXPECT_EQ(CodeOf([&] { TStrArray t(&rc, block.bytes() + block.size(), nullptr, 0); }),
            Q7_ERROR_ILLEGAL_ARRAY_DATA);
}

// The in-place reader is given the image's end: a record cut anywhere is refused with a code, and
// nothing at or past the end is read.
TEST(ArrayRecord, InPlaceReaderStopsAtTheImageEnd) {
  TStrArray s(0, 1);
  for (const char* t : {"a", "bc", "def"}) s.AppendData(t);
  std::vector<uint8_t> image(static_cast<size_t>(s.WriteToSharedMemory(nullptr)));
  void* cursor = image.data();
  s.WriteToSharedMemory(&cursor);
  const size_t size = static_cast<size_t>(static_cast<uint8_t*>(cursor) - image.data());
  for (size_t cut = 0; cut < size; ++cut) {
    SCOPED_TRACE(cut);
    std::unique_ptr<uint64_t[]> block(new uint64_t[cut / 8 + 1]);
    memcpy(block.get(), image.data(), cut);
    void* rc = block.get();
    const int code =
        CodeOf([&] { TStrArray t(&rc, reinterpret_cast<char*>(block.get()) + cut, nullptr, 0); });
    EXPECT_TRUE(code == Q7_ERROR_INVALID_READ_SIZE || code == Q7_ERROR_ILLEGAL_ARRAY_DATA) << code;
  }
}

TEST(ArrayRecord, VerboseReaderLogsEachField) {
  TempDir dir;
  char saved[CErrorLog::kFileNameSize];
  LOGOBJ->getFileName(saved);
  const std::string log_path = dir.File("catalog_err_log.txt");
  LOGOBJ->setFileName(log_path.c_str());

  const std::string path = dir.File("verbose.bin");
  TStrArray s(0, 1);
  for (const char* t : {"x", "yz"}) s.AppendData(t);
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkWrite | kZpkBinary, 0);
    fs.writeFileHeader();
    s.SaveArray(fs);
  }
  {
    zpk_fstream fs;
    zpk_open(fs, path.c_str(), kZpkRead | kZpkBinary, 0);
    fs.readFileHeader(false);
    TStrArray loaded(fs, nullptr, 0, 1);
    EXPECT_STREQ(loaded.GetPChar(1), "yz");
    EXPECT_EQ(loaded.FAllocSize, 2);  // what was read, not the writer's 10000
  }
  LOGOBJ->setFileName(saved);
  std::ifstream in(log_path);
  std::stringstream text;
  text << in.rdbuf();
  for (const char* line :
       {"TypeNo\t= 6\n", "FUnitSize\t= 8\n", "FArraySize\t= 2\n", "FAllocSize = 10000\n", "FPCLast = 5\n"}) {
    EXPECT_NE(text.str().find(line), std::string::npos) << line;
  }
}
