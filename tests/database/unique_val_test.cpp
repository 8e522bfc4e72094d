// The unique-value record: what InitUniqueValT fills and how ReflectUniqueValT hands each piece
// over or frees it (the AddressSanitizer build catches a leak or a double free).
#include <gtest/gtest.h>

#include "database/TSetArray.h"
#include "database/UniqueValT.h"
#include "foundation/zpk_memory.h"

namespace {

TEST(UniqueValT, InitFillsTheRecord) {
  unique_val_t u{};
  u.count = 9;
  InitUniqueValT(&u, 4);
  EXPECT_EQ(u.count, 0);
  EXPECT_EQ(u.flag, 1);
  ASSERT_NE(u.first, nullptr);
  ASSERT_NE(u.second, nullptr);
  EXPECT_EQ(u.first_again, u.first);
  EXPECT_EQ(u.second_again, u.second);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(u.first[i], 0) << i;
  u.second[4] = 1;  // n + 1 entries each
  ASSERT_NE(u.set, nullptr);
  EXPECT_EQ(u.set->FArraySize, 0);
  ReflectUniqueValT(&u, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(u.set, nullptr);
  EXPECT_EQ(u.first, nullptr);
}

// Each argument given or not: what the caller receives, and that nothing is freed twice.
TEST(UniqueValT, ReflectHandsOverWhatIsAskedFor) {
  for (int mask = 0; mask < 16; ++mask) {
    SCOPED_TRACE(mask);
    const bool want_count = mask & 1, want_buffer = mask & 2, want_set = mask & 4, want_old = mask & 8;
    unique_val_t u{};
    InitUniqueValT(&u, 3);
    u.result_count = 2;
    u.first[1] = 11;
    u.buffer = static_cast<int*>(zpk_malloc(sizeof(int)));
    *u.buffer = 42;
    int* const own = u.buffer;
    int* const first = u.first;
    TSetArray* const set = u.set;

    int count = -1;
    int* buffer = nullptr;
    TSetArray* out_set = nullptr;
    int* old = static_cast<int*>(zpk_malloc(sizeof(int)));
    ReflectUniqueValT(&u, want_count ? &count : nullptr, want_buffer ? &buffer : nullptr,
                      want_set ? &out_set : nullptr, want_old ? &old : nullptr);
    EXPECT_EQ(count, want_count ? 2 : -1);
    if (want_buffer) {
      ASSERT_EQ(buffer, first);
      EXPECT_EQ(buffer[1], 11);
      zpk_free(buffer);
    }
    if (want_set) {
      ASSERT_EQ(out_set, set);
      delete out_set;
    }
    if (want_old) {
      // The old buffer was freed and the record's own took its place.
      ASSERT_EQ(old, own);
      EXPECT_EQ(*old, 42);
    }
    zpk_free(old);
    // Nothing is left to hand over a second time.
    ReflectUniqueValT(&u, nullptr, nullptr, nullptr, nullptr);
  }
}

// An empty old-buffer slot does not take the record's own buffer: that one is freed.
TEST(UniqueValT, ReflectFreesTheOwnBufferWithoutAnOldOne) {
  unique_val_t u{};
  InitUniqueValT(&u, 0);
  u.buffer = static_cast<int*>(zpk_malloc(sizeof(int)));
  int* old = nullptr;
  ReflectUniqueValT(&u, nullptr, nullptr, nullptr, &old);
  EXPECT_EQ(old, nullptr);
  EXPECT_EQ(u.buffer, nullptr);
}

}  // namespace
