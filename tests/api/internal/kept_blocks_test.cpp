// The large blocks that zpk_free keeps resident and the scratch blocks kept for the next step, seen
// from the exported calls: a clear, a load, the deletion of the last table and a save give them back,
// and so does the way out of any locked call once they are older than five seconds (their clock is
// shifted instead of waited on).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "api/ops/ops_database.h"
#include "foundation/zpk_memory.h"
#include "opsets_support.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

// Rows enough that a table's own set of all rows (4 bytes a row) is a block of kKeptBlockMin or more.
constexpr int kBigRows = static_cast<int>(kKeptBlockMin / 4) + 4096;

class KeptBlocksCalls : public opsets_test::OpTest {
 protected:
  void SetUp() override {
    OpTest::SetUp();
    zpk_release_kept();
  }
  void TearDown() override {
    SetKeptClockShiftForTest(0);
    zpk_release_kept();
  }
  // A table that frees a kept-size block when it goes; its ID.
  int BigTable(const char* name) { return Table(kBigRows, name); }
  // A scratch block kept for the next step, as a large step leaves it.
  static void PlantScratchBlock() {
    size_t capacity = 0;
    void* block = zpk_scratch_take(kScratchMin, &capacity);
    zpk_scratch_give(block, capacity);
    ASSERT_GE(zpk_scratch_kept(), kScratchMin);
  }
};

// Each way a database is emptied or replaced frees the old tables' large blocks and then gives back
// every kept block, those just freed included.
TEST_F(KeptBlocksCalls, ClearLoadAndLastTableDeleteGiveThemBack) {
  q7test::TempDir dir;
  IntTable({1, 2, 3}, nullptr, "Small");
  ASSERT_EQ(innerQ7SaveDBAs(dir.Dir().c_str(), "small"), 0);
  ASSERT_EQ(RQ7ClearDB(), 0);

  struct Case {
    const char* name;
    std::function<int(int big, int small)> call;
  };
  const Case cases[] = {
      {"clear", [](int, int) { return RQ7ClearDB(); }},
      {"load", [&](int, int) { return RQ7LoadDB(dir.Dir().c_str(), "small"); }},
      {"last table deleted",
       [](int big, int small) {
         // The big table goes first while another remains: its blocks stay kept meanwhile.
         EXPECT_EQ(RQ7DeleteTable(big), 0);
         EXPECT_GE(zpk_kept_bytes(), kKeptBlockMin);
         return RQ7DeleteTable(small);
       }},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(RQ7ClearDB(), 0);
    const int small = IntTable({4, 5}, nullptr, "Other");
    const int big = BigTable("Big");
    PlantScratchBlock();
    EXPECT_EQ(c.call(big, small), 0) << c.name;
    EXPECT_EQ(zpk_kept_bytes(), 0u) << c.name;
    EXPECT_EQ(zpk_scratch_kept(), 0u) << c.name;
  }
}

// A save gives back the scratch blocks and the kept blocks before it writes.
TEST_F(KeptBlocksCalls, ASaveGivesThemBack) {
  q7test::TempDir dir;
  IntTable({1, 2, 3}, nullptr, "Small");
  zpk_free(zpk_malloc(kKeptBlockMin));
  PlantScratchBlock();
  ASSERT_EQ(innerQ7SaveDBAs(dir.Dir().c_str(), "small"), 0);
  EXPECT_EQ(zpk_kept_bytes(), 0u);
  EXPECT_EQ(zpk_scratch_kept(), 0u);
}

// Blocks older than five seconds go on the way out of the next locked call, younger ones stay.
TEST_F(KeptBlocksCalls, AgedBlocksGoOnTheWayOutOfALockedCall) {
  constexpr int64_t kSecond = 1000 * 1000 * 1000;
  struct Case {
    int64_t age;
    bool kept;
  };
  const Case cases[] = {{0, true}, {4 * kSecond, true}, {6 * kSecond, false}};
  for (const Case& c : cases) {
    SetKeptClockShiftForTest(0);
    zpk_release_kept();
    zpk_free(zpk_malloc(kKeptBlockMin));
    ASSERT_GE(zpk_kept_bytes(), kKeptBlockMin);
    PlantScratchBlock();
    SetKeptClockShiftForTest(c.age);
    EXPECT_EQ(RQ7GetNTable(), 0);
    EXPECT_EQ(zpk_kept_bytes() != 0, c.kept) << c.age;
    EXPECT_EQ(zpk_scratch_kept() != 0, c.kept) << c.age;
  }
}

}  // namespace
