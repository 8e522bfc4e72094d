// Binary searches in value lists of each type, over the whole list and a scope.
#include "kernels/FindPos.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int kNull = std::numeric_limits<int>::min();

void Fill(TIntArray* a, const std::vector<int>& v) {
  a->InitArray(4, static_cast<int>(v.size()), 0);
  for (size_t i = 0; i < v.size(); ++i) a->PutInt(static_cast<int>(i), v[i]);
}

TEST(FindPos, WholeListGivesTheLastEntryAtMostTheValue) {
  for (int n = 1; n <= 9; ++n) {  // every step size, lists of odd and even length
    std::vector<int> v{kNull};
    for (int i = 1; i < n; ++i) v.push_back(10 * i);
    TIntArray list;
    Fill(&list, v);
    for (int probe = -5; probe <= 10 * n + 5; ++probe) {
      SCOPED_TRACE(testing::Message() << n << " entries, value " << probe);
      bool found = true;
      const int p = FindPosInt(probe, &list, &found);
      int want = 0;
      for (int i = 1; i < n; ++i) {
        if (v[static_cast<size_t>(i)] <= probe) want = i;
      }
      EXPECT_EQ(p, want);
      EXPECT_EQ(found, want > 0 && v[static_cast<size_t>(want)] == probe);
    }
    bool found = false;
    EXPECT_EQ(FindPosInt(kNull, &list, &found), 0);
    EXPECT_TRUE(found);
  }
}

TEST(FindPos, ScopeGivesTheCountBelowTheValue) {
  TIntArray list;
  Fill(&list, {kNull, 5, 10, 15, 20, 25, 30});
  const int scope[] = {1, 3, 4, 6};  // 5, 15, 20, 30
  struct Case {
    int v, pos;
    bool found;
  } const cases[] = {{1, 0, false}, {5, 0, true},   {6, 1, false}, {15, 1, true},
                     {20, 2, true}, {29, 3, false}, {30, 3, true}, {31, 4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    bool found = !c.found;
    EXPECT_EQ(FindPosIntScope(c.v, 4, scope, &list, &found), c.pos);
    EXPECT_EQ(found, c.found);
  }
  const int with_null[] = {0, 2};
  bool found = false;
  EXPECT_EQ(FindPosIntScope(kNull, 2, with_null, &list, &found), 0);
  EXPECT_TRUE(found);
}

TEST(FindPos, DoublesDecimalsAndTexts) {
  TDoubleArray d(4, 0);
  const double dv[] = {-std::numeric_limits<double>::infinity(), -1.5, 0.0, 2.25};
  for (int i = 0; i < 4; ++i) d.PutDouble(i, dv[i]);
  bool found = true;
  EXPECT_EQ(FindPosDouble(std::nan(""), &d, &found), 0);
  EXPECT_FALSE(found);
  EXPECT_EQ(FindPosDouble(-0.0, &d, &found), 2);
  EXPECT_TRUE(found);
  EXPECT_EQ(FindPosDouble(1e300, &d, &found), 3);
  EXPECT_FALSE(found);
  const int dscope[] = {1, 3};
  EXPECT_EQ(FindPosDoubleScope(0.5, 2, dscope, &d, &found), 1);
  EXPECT_FALSE(found);

  // Decimals compare by their unscaled integers only.
  TNumericArray n(3, 0);
  const Numeric nan{0, std::numeric_limits<int64_t>::min()};
  n.PutDecimal(0, &nan);
  const Numeric a{123, 0}, b{1000, 0};
  n.PutDecimal(1, &a);
  n.PutDecimal(2, &b);
  EXPECT_EQ(FindPosDecimal(Numeric{123, 0}, &n, &found), 1);
  EXPECT_TRUE(found);
  EXPECT_EQ(FindPosDecimal(Numeric{999, 0}, &n, &found), 1);
  EXPECT_FALSE(found);
  const int nscope[] = {0, 1, 2};
  EXPECT_EQ(FindPosDecimalScope(Numeric{5000, 0}, 3, nscope, &n, &found), 3);

  TStrArray s(4, 0);
  const char* texts[] = {"", "a", "b", "c"};
  for (int i = 0; i < 4; ++i) s.PutPChar(i, texts[i]);
  EXPECT_EQ(FindPosStr("bb", &s, &found), 2);
  EXPECT_FALSE(found);
  EXPECT_EQ(FindPosStr("", &s, &found), 0);
  EXPECT_TRUE(found);
  const int sscope[] = {1, 3};
  EXPECT_EQ(FindPosStrScope("b", 2, sscope, &s, &found), 1);
  EXPECT_FALSE(found);
  // The second-byte reading: "a", "b" and "c" read as empty texts, so the empty text is met at
  // entry 0, the search goes on and stops at entry 2.
  EXPECT_EQ(FindPosStr2("", &s, &found), 2);
  EXPECT_TRUE(found);
  EXPECT_EQ(FindPosStr2Scope("", 2, sscope, &s, &found), 0);
  EXPECT_TRUE(found);
}

}  // namespace
