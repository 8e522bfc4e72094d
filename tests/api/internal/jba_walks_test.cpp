// A read that fails in the middle of a row walk: the walk records it, returns its code, and leaves
// the handle free and (the unique walk) no temporary set and the current set as it was. The read is
// made to fail by a callback that frees the handle under the walk, which only code inside the
// engine's lock can do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/ops/ops_jba.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

int g_calls = 0;

int CloseAtFirstCall(int, int handle, int, int, int, int, int, _TColumnBuf*) {
  ++g_calls;
  innerQ7JBAClose(handle);
  return 1;
}

constexpr int kUniqueHandle = 6;
int CloseUniqueAtFirstCall(int, int, int, _TColumnBuf*) {
  ++g_calls;
  innerQ7JBAClose(kUniqueHandle);
  return 1;
}

class JbaWalks : public opsets_test::OpTest {};

TEST_F(JbaWalks, AFailedReadEndsTheWalkWithItsCode) {
  const int table = Table(4);
  ASSERT_EQ(IntFilter(table, {3, 1, 2, 1}), 1);
  Drain();
  const int columns[] = {1, 0};
  const Entry read_failed{"Q7JBARead", -1, "Invalid Parameter : JBAHandle"};
  const struct {
    const char* what;
    int (*walk)(int table, const int* columns);
    std::vector<Entry> ring;
  } cases[] = {
      {"row info",
       [](int t, const int* c) { return innerQ7RowInfoCallBack(2, t, 1, c, CloseAtFirstCall); },
       {read_failed, {"Q7RowInfoCallBack", -1, "Q7JBAead failed!"}}},
      {"search",
       [](int t, const int* c) { return innerQ7SearchCallBack(2, t, 1, c, CloseAtFirstCall); },
       {read_failed, {"Q7SearchCallBack", -1, "Q7JBAead failed!"}}},
      {"unique rows",
       [](int t, const int* c) {
         return innerQ7UniqueRowCallBack(kUniqueHandle, t, 1, c, CloseUniqueAtFirstCall);
       },
       {read_failed, {"Q7UniqueRowCallBack", -1, "Q7JBARead failed!"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    g_calls = 0;
    const int sets = Real(table)->FnSet;
    EXPECT_EQ(c.walk(table, columns), -1);
    EXPECT_EQ(g_calls, 1);
    // The sorts of the unique walk record nothing; anything else recorded is the failure.
    EXPECT_EQ(Drain(), c.ring);
    EXPECT_EQ(Real(table)->FnSet, sets);
    EXPECT_EQ(Real(table)->FCurrentSetID, 1);
    for (int h = 0; h < innerQ7GetN_JBA(); ++h) EXPECT_EQ(innerQ7JBAStatus(h, nullptr), 0);
  }
}

}  // namespace
