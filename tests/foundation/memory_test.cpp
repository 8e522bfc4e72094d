// The small allocation helpers, the paged value area and the memory monitor. The allocation calls
// and the parallel fill and copy are in engine_test.cpp and engine_threads_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/CMemMonitor.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ZpkAllocator.h"
#include "foundation/zpk_memory.h"
#include "tests/support/test_support.h"

namespace {

using q7test::CodeOf;

// Closes the area at the end of the scope.
struct Area {
  void* p = CreateVA();
  ~Area() { CloseVA(p); }
  void** Pages() const { return static_cast<void**>(p); }
  int Allocated() const {
    int n = 0;
    for (int i = 0; i < kVAPageCount; ++i) n += Pages()[i] != nullptr;
    return n;
  }
};

}  // namespace

TEST(MemoryHelpers, ReAllocMemKeepsTheBlockOnRefusal) {
  void* p = zpk_malloc(8);
  memcpy(p, "1234567", 8);
  ReAllocMem(&p, 4096);
  EXPECT_STREQ(static_cast<char*>(p), "1234567");
  void* const kept = p;
  EXPECT_EQ(CodeOf([&] { ReAllocMem(&p, -1); }), Q7_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(p, kept);
  zpk_free(p);

  EXPECT_EQ(q7test::MessageOf([] { _heap_memory_exception(123456); }),
            "Memory allocation failed for 123456 bytes");
  EXPECT_EQ(CodeOf([] { _heap_memory_exception(1); }), Q7_ERROR_OUT_OF_MEMORY);

  // AllocMem blocks go back through FreeMem (the sanitizer build flags a mismatched release).
  char* block = static_cast<char*>(AllocMem(32));
  EXPECT_EQ(MemSet(block, 'z', 32), block);
  EXPECT_EQ(std::string(block, 32), std::string(32, 'z'));
  FreeMem(block);
  FreeMem(nullptr);
}

TEST(ValueArea, ElementIndexesPickPageAndSlot) {
  struct Case {
    bool is_double;
    int index;
    int page;
    int slot;
  };
  const Case cases[] = {
      {false, 0, 0, 0},
      {false, 16383, 0, 16383},
      {false, 16384, 1, 0},
      {false, 50000, 3, 848},
      {false, 268435455, 16383, 16383},
      {true, 0, 0, 0},
      {true, 8191, 0, 8191},
      {true, 8192, 1, 0},
      {true, 20000, 2, 3616},
      {true, 134217727, 16383, 8191},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.is_double ? "double " : "int ") << c.index);
    Area area;
    if (c.is_double) {
      VADoubleSetAt(area.p, c.index, 2.5);
    } else {
      VAIntSetAt(area.p, c.index, -77);
    }
    // Page 0 lies in the area, right after the page table; any other page is made on first use.
    EXPECT_EQ(area.Pages()[0], static_cast<void*>(area.Pages() + kVAPageCount));
    EXPECT_EQ(area.Allocated(), c.page == 0 ? 1 : 2);
    ASSERT_NE(area.Pages()[c.page], nullptr);
    const char* page = static_cast<const char*>(area.Pages()[c.page]);
    if (c.is_double) {
      double v = 0;
      memcpy(&v, page + 8 * c.slot, 8);
      EXPECT_EQ(v, 2.5);
    } else {
      int32_t v = 0;
      memcpy(&v, page + 4 * c.slot, 4);
      EXPECT_EQ(v, -77);
    }
  }

  Area area;
  for (int index : {-1, 268435456, INT_MAX}) {
    EXPECT_EQ(CodeOf([&] { VAIntSetAt(area.p, index, 1); }), Q7_ERROR_INDEX_OUT_OF_RANGE) << index;
  }
  for (int index : {-1, 134217728}) {
    EXPECT_EQ(CodeOf([&] { VADoubleSetAt(area.p, index, 1.0); }), Q7_ERROR_INDEX_OUT_OF_RANGE) << index;
  }
  EXPECT_EQ(area.Allocated(), 1);
}

TEST(ValueArea, TextsThatWouldCrossAPageStartTheNext) {
  struct Case {
    int position;
    const char* text;
    int stored_at;  // byte position of the stored text
    int next;
  };
  const Case cases[] = {
      {0, "abc", 0, 4},
      {65529, "hello", 65529, 65535},      // ends on the page's last byte
      {65530, "hello", 65536, 65536 + 6},  // would end on the next page's first byte
      {65534, "hello", 65536, 65536 + 6},
      {3 * 65536 + 10, "", 3 * 65536 + 10, 3 * 65536 + 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    Area area;
    int position = c.position;
    char* stored = VASZAppend(area.p, &position, c.text);
    EXPECT_EQ(position, c.next);
    const char* page = static_cast<const char*>(area.Pages()[c.stored_at / kVAPageSize]);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(stored, page + c.stored_at % kVAPageSize);
    EXPECT_STREQ(stored, c.text);
  }

  Area area;
  const std::string page_long(kVAPageSize, 'x');  // needs one byte more than a page
  int position = 100;
  EXPECT_EQ(CodeOf([&] { VASZAppend(area.p, &position, page_long.c_str()); }), Q7_ERROR_STRING_SIZE_OVERFLOW);
  const std::string fits(kVAPageSize - 1, 'y');
  EXPECT_EQ(VASZAppend(area.p, &position, fits.c_str()), area.Pages()[1]);
  EXPECT_EQ(position, 2 * kVAPageSize);
  position = (kVAPageCount - 1) * kVAPageSize + 65530;
  EXPECT_EQ(CodeOf([&] { VASZAppend(area.p, &position, "hello"); }), Q7_ERROR_DATA_SIZE_OVERFLOW);
  EXPECT_EQ(position, (kVAPageCount - 1) * kVAPageSize + 65530);
  position = -1;
  EXPECT_EQ(CodeOf([&] { VASZAppend(area.p, &position, "a"); }), Q7_ERROR_INDEX_OUT_OF_RANGE);
  EXPECT_EQ(area.Allocated(), 2);
}

TEST(ValueArea, NullSentinelsByTypeAndWidth) {
  enum Written { kNothing, kIntNull, kDoubleNull };
  struct Case {
    int type;
    int width;
    int result;
    Written written;
  };
  const Case cases[] = {
      {2, 4, 4, kIntNull},    {3, 8, 8, kDoubleNull}, {4, 8, 8, kDoubleNull}, {5, 8, 8, kDoubleNull},
      {7, 8, 8, kDoubleNull}, {6, 8, 4, kNothing},    {2, 8, 0, kNothing},    {3, 4, 0, kNothing},
      {6, 4, 0, kNothing},    {1, 4, 0, kNothing},    {8, 16, 0, kNothing},   {0, 8, 0, kNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << "/" << c.width);
    Area area;
    memset(area.Pages()[0], 0x11, 16);
    EXPECT_EQ(VANULLAppend(area.p, c.type, c.width), c.result);
    uint8_t want[16];
    memset(want, 0x11, sizeof want);
    if (c.written == kIntNull) {
      const int32_t v = INT32_MIN;
      memcpy(want, &v, 4);
    } else if (c.written == kDoubleNull) {
      const double v = -INFINITY;
      memcpy(want, &v, 8);
    }
    EXPECT_EQ(memcmp(area.Pages()[0], want, sizeof want), 0);
  }
}

TEST(MemoryMonitor, TracksNothing) {
  ASSERT_EQ(MEMTRACE, CMemMonitor::Instance());
  void* block = zpk_malloc(16);
  MEMTRACE->add(reinterpret_cast<size_t>(block), 16);
  EXPECT_EQ(MEMTRACE->leak(), 0u);
  MEMTRACE->purgeMemory();  // nothing registered: the block is still ours to free
  MEMTRACE->remove(reinterpret_cast<size_t>(block));
  MEMTRACE->clearList();
  EXPECT_EQ(MEMTRACE->leak(), 0u);
  zpk_free(block);
}

// Scratch blocks come back for a later step of a fitting size, and what is kept never outgrows what
// the steps since the previous settle had in use at once: two settles in a row with nothing in use
// give everything back.
TEST(ScratchBlocks, ReusedWhileNeededAndGivenBackAfter) {
  zpk_scratch_settle();
  zpk_scratch_settle();
  ASSERT_EQ(zpk_scratch_kept(), 0u);
  const size_t big = 3 * kScratchMin;
  size_t cap_a = 0, cap_b = 0;
  void* a = zpk_scratch_take(big, &cap_a);
  void* b = zpk_scratch_take(big, &cap_b);
  EXPECT_GE(cap_a, big);
  memset(a, 1, big);
  zpk_scratch_give(a, cap_a);
  size_t cap_c = 0;
  void* c = zpk_scratch_take(big - 100, &cap_c);
  EXPECT_EQ(c, a);  // the kept block served the next step
  EXPECT_EQ(cap_c, cap_a);
  size_t cap_tiny = 0;
  void* tiny = zpk_scratch_take(64, &cap_tiny);  // small blocks are never kept
  EXPECT_EQ(cap_tiny, 64u);
  zpk_scratch_give(tiny, cap_tiny);
  zpk_scratch_give(c, cap_c);
  zpk_scratch_give(b, cap_b);
  EXPECT_EQ(zpk_scratch_kept(), cap_a + cap_b);
  zpk_scratch_settle();  // both were in use at once: both stay
  EXPECT_EQ(zpk_scratch_kept(), cap_a + cap_b);

  void* d = zpk_scratch_take(big, &cap_c);
  zpk_scratch_give(d, cap_c);
  zpk_scratch_settle();  // one block was needed since the last settle
  EXPECT_EQ(zpk_scratch_kept(), cap_c);
  zpk_scratch_settle();
  EXPECT_EQ(zpk_scratch_kept(), 0u);
}

// Scratch blocks age as the kept blocks do: one idle for more than five seconds goes on the way out
// of a locked call (zpk_expire_kept) or at the next large take, a younger one stays; a release gives
// back every block not in use, and one in use at the time comes back to the pool afterwards.
TEST(ScratchBlocks, AgedOnesGoAndAReleaseLeavesOnlyThoseInUse) {
  constexpr int64_t kSecond = 1000 * 1000 * 1000;
  zpk_release_kept();
  ASSERT_EQ(zpk_scratch_kept(), 0u);
  size_t cap_old = 0, cap_young = 0, cap_busy = 0;
  void* old_block = zpk_scratch_take(2 * kScratchMin, &cap_old);
  void* young_block = zpk_scratch_take(3 * kScratchMin, &cap_young);
  void* busy_block = zpk_scratch_take(5 * kScratchMin, &cap_busy);
  zpk_scratch_give(old_block, cap_old);
  SetKeptClockShiftForTest(3 * kSecond);
  zpk_scratch_give(young_block, cap_young);
  EXPECT_EQ(zpk_scratch_kept(), cap_old + cap_young);
  SetKeptClockShiftForTest(6 * kSecond);
  zpk_expire_kept();
  EXPECT_EQ(zpk_scratch_kept(), cap_young);

  SetKeptClockShiftForTest(9 * kSecond);
  size_t cap_new = 0;
  void* new_block = zpk_scratch_take(8 * kScratchMin, &cap_new);  // one the aged block does not serve
  EXPECT_EQ(zpk_scratch_kept(), 0u);
  zpk_scratch_give(new_block, cap_new);
  EXPECT_EQ(zpk_scratch_kept(), cap_new);

  zpk_release_kept();
  EXPECT_EQ(zpk_scratch_kept(), 0u);
  memset(busy_block, 3, cap_busy);  // still the step's own
  zpk_scratch_give(busy_block, cap_busy);
  EXPECT_EQ(zpk_scratch_kept(), cap_busy);
  SetKeptClockShiftForTest(0);
  zpk_release_kept();
  EXPECT_EQ(zpk_scratch_kept(), 0u);
}

// A freed large block is handed out again whole for a size it fits by at most a quarter, its front
// pages for a smaller size (the rest staying kept), also to a small block grown past the threshold
// (its bytes moved over); a block that none fits is mapped anew after the kept ones are given back;
// what is kept stays under the bound.
TEST(KeptBlocks, ReusedForFittingSizesAndBounded) {
  zpk_release_kept();
  ASSERT_EQ(zpk_kept_bytes(), 0u);
  const size_t big = kKeptBlockMin + (8u << 20);
  void* a = zpk_malloc(big);
  memset(a, 7, big);
  zpk_free(a);
  EXPECT_GE(zpk_kept_bytes(), big);

  struct Case {
    size_t size;
    bool reused;
  };
  const Case cases[] = {
      {big - big / 8, true},
      {big, true},
      {big / 2, true},  // its front pages
      {big + big / 2, false},
  };
  for (const Case& c : cases) {
    void* p = zpk_malloc(c.size);
    EXPECT_EQ(p == a, c.reused) << c.size;
    if (c.size == big / 2) {
      EXPECT_GE(zpk_kept_bytes(), big - big / 2 - 4096);  // the rest stayed kept
    }
    if (c.size > big) {
      EXPECT_EQ(zpk_kept_bytes(), 0u);  // the miss gave the kept block back
    }
    zpk_free(p);
  }

  zpk_release_kept();
  void* block = zpk_malloc(big);
  zpk_free(block);
  auto* small = static_cast<unsigned char*>(zpk_malloc(4096));
  for (int i = 0; i < 4096; ++i) small[i] = static_cast<unsigned char>(i * 31);
  auto* grown = static_cast<unsigned char*>(zpk_realloc(small, big));
  EXPECT_EQ(grown, block);
  bool same = true;
  for (int i = 0; i < 4096; ++i) same = same && grown[i] == static_cast<unsigned char>(i * 31);
  EXPECT_TRUE(same);
  EXPECT_EQ(zpk_kept_bytes(), 0u);
  zpk_free(grown);

  zpk_release_kept();
  const size_t n = zpk_kept_bound() / kKeptBlockMin + 2;
  std::vector<void*> blocks;
  for (size_t i = 0; i < n; ++i) blocks.push_back(zpk_malloc(kKeptBlockMin));
  for (void* p : blocks) zpk_free(p);
  EXPECT_GT(zpk_kept_bytes(), 0u);
  EXPECT_LE(zpk_kept_bytes(), zpk_kept_bound());
  zpk_release_kept();
  EXPECT_EQ(zpk_kept_bytes(), 0u);
}

// A work vector's storage is the engine's: from the mapping size on it is kept when the vector
// goes, and handed to the next one of its size.
TEST(KeptBlocks, WorkVectorsUseTheEnginesBlocks) {
  zpk_release_kept();
  const size_t n = kMappedBlockMin / sizeof(int) * 2;
  const int* first = nullptr;
  {
    ZpkVector<int> v(n, 7);
    first = v.data();
    EXPECT_EQ(v[n - 1], 7);
  }
  EXPECT_GE(zpk_kept_bytes(), n * sizeof(int));
  ZpkVector<int> again(n);
  EXPECT_EQ(again.data(), first);
  EXPECT_EQ(zpk_kept_bytes(), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
#define Q7_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define Q7_TEST_ASAN 1
#endif
#endif
#if defined(Q7_TEST_ASAN)
// A kept block is still freed memory to the address checker.
TEST(KeptBlocksDeathTest, UseAfterFreeIsStillReported) {
  zpk_release_kept();
  auto* p = static_cast<volatile char*>(zpk_malloc(kKeptBlockMin));
  zpk_free(const_cast<char*>(p));
  EXPECT_DEATH(p[100] = 1, "use-after-poison");
  zpk_release_kept();
}
#endif

// The way out of a locked call gives back only the blocks past their five seconds, oldest first.
TEST(KeptBlocks, ExpiringGivesBackOnlyTheAgedOnes) {
  constexpr int64_t kSecond = 1000 * 1000 * 1000;
  zpk_release_kept();
  const size_t old_size = kKeptBlockMin;
  const size_t young_size = kKeptBlockMin + (8u << 20);
  void* old_block = zpk_malloc(old_size);
  void* young_block = zpk_malloc(young_size);
  zpk_free(old_block);
  SetKeptClockShiftForTest(3 * kSecond);
  zpk_free(young_block);
  const size_t both = zpk_kept_bytes();
  SetKeptClockShiftForTest(6 * kSecond);
  zpk_expire_kept();
  const size_t left = zpk_kept_bytes();
  SetKeptClockShiftForTest(0);
  zpk_release_kept();
  EXPECT_GE(both, old_size + young_size);
  EXPECT_GE(left, young_size);
  EXPECT_LT(left, old_size + young_size);
}
