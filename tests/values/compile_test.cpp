// The value-list compiler: argument checks, both numbering methods against a reference, per type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/Numeric.h"

using namespace vltest;

namespace {

// An error ring of the test's own; trailing blanks kept unless a test turns trimming on.
class CompileTest : public q7test::RingTest {
 protected:
  TrimSetting trim_{0};
};

int CompileCode(int n, int type, int width, const void* raw) {
  Compiled c;
  return q7test::CodeOf([&] { Compile(n, type, width, raw, &c.rows, &c.count, &c.list); });
}

TEST_F(CompileTest, ArgumentChecksInOrderWithTheirRingEntries) {
  const int32_t ints[2] = {kIntNull, 1};
  struct Case {
    int n, type, width;
    int code;
    const char* ring;
  } const cases[] = {
      {0, 2, 4, Q7_ERROR_ILLEGAL_RECORD_NO, "Compile|Invalid Parameter : WholeSize"},
      {0, 1, 3, Q7_ERROR_ILLEGAL_RECORD_NO, "Compile|Invalid Parameter : WholeSize"},
      {2, 1, 4, Q7_ERROR_INVALID_DATA_TYPE, "Compile|Illegal data type  : 1"},
      {2, 9, 4, Q7_ERROR_INVALID_DATA_TYPE, "Compile|Illegal data type  : 9"},
      {2, 2, 8, Q7_ERROR_INVALID_UNIT_WIDTH, "Compile|Invalid Parameter : Width1Unit"},
      {2, 6, 4, Q7_ERROR_INVALID_UNIT_WIDTH, "Compile|Invalid Parameter : Width1Unit"},
      {2, 8, 8, Q7_ERROR_INVALID_UNIT_WIDTH, ""},  // no ring entry for decimals
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    EXPECT_EQ(CompileCode(c.n, c.type, c.width, ints), c.code);
    EXPECT_EQ(TakeRing(), c.ring);
    EXPECT_EQ(TakeRing(), "");
  }
}

TEST_F(CompileTest, SingleElementIsItsOwnList) {
  const double one[1] = {kDblNull};
  Compiled c;
  Compile(1, 3, 8, one, &c.rows, &c.count, &c.list);
  ASSERT_EQ(c.count, 1);
  EXPECT_EQ(c.rows[0], 0);
  EXPECT_EQ(static_cast<double*>(c.list)[0], kDblNull);
}

// Both methods, and the parallel one, must give the same numbering; here the serial two.
TEST_F(CompileTest, CountingAndMergingGiveTheSameNumbering) {
  struct Case {
    std::vector<int32_t> values;
    std::vector<int32_t> list;
    std::vector<int> rows;
  } const cases[] = {
      {{kIntNull, 5, 3, 5}, {kIntNull, 3, 5}, {0, 2, 1, 2}},
      {{7, 5, 7, -2}, {-2, 5, 7}, {2, 1, 2, 0}},  // no NULL: 0-based ranks
      {{kIntNull, 2147483647, -2147483647, 0}, {kIntNull, -2147483647, 0, 2147483647}, {0, 3, 1, 2}},
      {{kIntNull, kIntNull}, {kIntNull}, {0, 0}},
  };
  for (const Case& c : cases) {
    const int n = static_cast<int>(c.values.size());
    Compiled counted, merged;
    Compile(n, 2, 4, c.values.data(), &counted.rows, &counted.count, &counted.list);
    CCompiler().CompileByMerging(n, 2, 4, c.values.data(), &merged.rows, &merged.count, &merged.list);
    for (const Compiled* r : {&counted, &merged}) {
      ASSERT_EQ(r->count, static_cast<int>(c.list.size()));
      EXPECT_EQ(
          std::vector<int32_t>(static_cast<int32_t*>(r->list), static_cast<int32_t*>(r->list) + r->count),
          c.list);
      EXPECT_EQ(r->Rows(n), c.rows);
    }
  }
}

TEST_F(CompileTest, CountingMethodThreshold) {
  struct Case {
    std::vector<int32_t> values;
    bool counting;
  } const cases[] = {
      // 10 non-NULL values: counting while max - min + 3 < 8 * 10 + 1000.
      {{kIntNull, 1, 1000, 5, 5, 5, 5, 5, 5, 5, 5}, true},      // 1002 < 1080
      {{kIntNull, 1, 1077, 5, 5, 5, 5, 5, 5, 5, 5}, true},      // 1079
      {{kIntNull, 1, 1078, 5, 5, 5, 5, 5, 5, 5, 5}, false},     // 1080
      {{kIntNull, 1, 2000000, 1, 1, 1, 1, 1, 1, 1, 1}, false},  // 2000002
      {{kIntNull, kIntNull, kIntNull}, false},                  // no non-NULL value
      {{-2147483647, 2147483647}, false},                       // the widest range
  };
  for (const Case& c : cases) {
    _RawIntArrayRangeInfo range;
    EXPECT_EQ(WillBeCompiledBySorting(2, static_cast<int>(c.values.size()), c.values.data(), &range),
              c.counting);
  }
  _RawIntArrayRangeInfo range;
  const int32_t v[3] = {kIntNull, 9, -4};
  EXPECT_FALSE(WillBeCompiledBySorting(3, 3, v, &range));
  WillBeCompiledBySorting(2, 3, v, &range);
  EXPECT_EQ(range.nulls, 1);
  EXPECT_EQ(range.min, -4);
  EXPECT_EQ(range.max, 9);
  GetIntRange(1, v, &range);
  EXPECT_EQ(range.min, 2147483647);
  EXPECT_EQ(range.max, kIntNull);
  EXPECT_THROW(GetIntRange(-1, v, &range), CQ7Exception);
}

TEST_F(CompileTest, RandomIntegerColumnsMatchTheReferenceByBothMethods) {
  struct Case {
    int n;
    int32_t lo, hi;
  } const cases[] = {{1000, -50, 50}, {5000, 1, 100000}, {3000, -2147483647, 2147483647}, {257, 0, 3}};
  for (const Case& c : cases) {
    const std::vector<int32_t> v = IntColumn(c.n, c.lo, c.hi, static_cast<uint32_t>(c.n));
    const Reference ref = ReferenceNumbering(c.n, [&v](int a, int b) { return v[a] < v[b]; });
    Compiled counted, merged;
    Compile(c.n, 2, 4, v.data(), &counted.rows, &counted.count, &counted.list);
    CCompiler().CompileByMerging(c.n, 2, 4, v.data(), &merged.rows, &merged.count, &merged.list);
    for (const Compiled* r : {&counted, &merged}) {
      ASSERT_EQ(r->count, static_cast<int>(ref.representative.size()));
      EXPECT_EQ(r->Rows(c.n), ref.rows);
      for (int k = 0; k < r->count; ++k)
        EXPECT_EQ(static_cast<int32_t*>(r->list)[k], v[ref.representative[k]]);
    }
  }
}

TEST_F(CompileTest, DoublesKeepTheEarliestBytesAndNaNIsNull) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double col[] = {kDblNull, -0.0, 1.5, 0.0, nan, -7.25, 1.5, nan};
  Compiled c;
  Compile(8, 4, 8, col, &c.rows, &c.count, &c.list);
  const double* l = static_cast<double*>(c.list);
  ASSERT_EQ(c.count, 4);
  EXPECT_EQ(l[0], kDblNull);
  EXPECT_EQ(l[1], -7.25);
  EXPECT_TRUE(l[2] == 0.0 && std::signbit(l[2]));  // -0.0 came first
  EXPECT_EQ(l[3], 1.5);
  EXPECT_EQ(c.Rows(8), (std::vector<int>{0, 2, 3, 2, 0, 1, 3, 0}));

  // 0.0 first keeps 0.0; a NaN in element 0 still lists NULL as minus infinity.
  const double col2[] = {nan, 0.0, -0.0};
  Compiled c2;
  Compile(3, 3, 8, col2, &c2.rows, &c2.count, &c2.list);
  ASSERT_EQ(c2.count, 2);
  EXPECT_EQ(static_cast<double*>(c2.list)[0], kDblNull);
  EXPECT_FALSE(std::signbit(static_cast<double*>(c2.list)[1]));
}

TEST_F(CompileTest, RandomDoubleColumnsMatchTheReference) {
  for (int distinct : {3, 40, 5000}) {
    const int n = 4000;
    const std::vector<double> v = DoubleColumn(n, distinct, static_cast<uint32_t>(distinct));
    const Reference ref = ReferenceNumbering(n, [&v](int a, int b) { return Key(v[a]) < Key(v[b]); });
    Compiled fast, merged;
    Compile(n, 3, 8, v.data(), &fast.rows, &fast.count, &fast.list);
    CCompiler().CompileByMerging(n, 3, 8, v.data(), &merged.rows, &merged.count, &merged.list);
    for (const Compiled* c : {&fast, &merged}) {
      ASSERT_EQ(c->count, static_cast<int>(ref.representative.size()));
      EXPECT_EQ(c->Rows(n), ref.rows);
      EXPECT_EQ(static_cast<double*>(c->list)[0], kDblNull);
      for (int k = 1; k < c->count; ++k) {
        const double want = v[ref.representative[k]];
        EXPECT_EQ(memcmp(static_cast<double*>(c->list) + k, &want, 8), 0) << k;
      }
    }
  }
}

TEST_F(CompileTest, DecimalsFollowTheSignedUnscaledOrderWithNaNFirst) {
  for (int distinct : {5, 300}) {
    const int n = 3000;
    const std::vector<Numeric> v = DecimalColumn(n, distinct, static_cast<uint32_t>(distinct));
    const Reference ref = ReferenceNumbering(n, [&v](int a, int b) { return DecimalLess(v[a], v[b]); });
    Compiled fast, merged;
    Compile(n, 8, 16, v.data(), &fast.rows, &fast.count, &fast.list);
    CCompiler().CompileByMerging(n, 8, 16, v.data(), &merged.rows, &merged.count, &merged.list);
    for (const Compiled* c : {&fast, &merged}) {
      ASSERT_EQ(c->count, static_cast<int>(ref.representative.size()));
      EXPECT_EQ(c->Rows(n), ref.rows);
      const Numeric* l = static_cast<Numeric*>(c->list);
      EXPECT_TRUE(q7num::NumericIsNan(&l[0]));
      for (int k = 0; k < c->count; ++k) EXPECT_EQ(memcmp(&l[k], &v[ref.representative[k]], 16), 0);
    }
  }
}

TEST_F(CompileTest, StringsListTheEarliestPointerInByteOrder) {
  for (int distinct : {60, 5000}) {  // the second grows the hash table several times
    const std::vector<std::string> pool = TextPool(distinct, 7);
    const int n = 3 * distinct + 1000;
    const std::vector<const char*> v = TextColumn(n, pool, 11);
    const Reference ref = ReferenceNumbering(n, [&v](int a, int b) { return strcmp(v[a], v[b]) < 0; });
    Compiled fast, merged;
    Compile(n, 6, 8, v.data(), &fast.rows, &fast.count, &fast.list);
    CCompiler().CompileByMerging(n, 6, 8, v.data(), &merged.rows, &merged.count, &merged.list);
    for (const Compiled* c : {&fast, &merged}) {
      ASSERT_EQ(c->count, static_cast<int>(ref.representative.size()));
      EXPECT_EQ(c->Rows(n), ref.rows);
      for (int k = 0; k < c->count; ++k)
        EXPECT_EQ(static_cast<const char**>(c->list)[k], v[ref.representative[k]]);
    }
  }
}

TEST_F(CompileTest, TrailingBlanksAreCutOnlyWhileTheFlagIsSet) {
  // Writable texts, to prove the compile never writes into them.
  char empty[] = "", letter[] = "x", letter_blank[] = "x ", blanks[] = "   ";
  const char* col[] = {"", empty, letter, letter_blank, blanks};
  const std::string before = std::string(letter_blank) + "|" + blanks;

  Compiled off;
  Compile(5, 6, 8, col, &off.rows, &off.count, &off.list);
  ASSERT_EQ(off.count, 4);
  const char** l = static_cast<const char**>(off.list);
  EXPECT_STREQ(l[0], "");
  EXPECT_STREQ(l[1], "   ");
  EXPECT_STREQ(l[2], "x");
  EXPECT_STREQ(l[3], "x ");
  EXPECT_EQ(off.Rows(5), (std::vector<int>{0, 0, 2, 3, 1}));

  g_cut_last_space = 1;
  Compiled on, merged;
  Compile(5, 6, 8, col, &on.rows, &on.count, &on.list);
  CCompiler().CompileByMerging(5, 6, 8, col, &merged.rows, &merged.count, &merged.list);
  for (const Compiled* r : {&on, &merged}) {
    ASSERT_EQ(r->count, 2);
    EXPECT_STREQ(static_cast<const char**>(r->list)[0], "");
    EXPECT_STREQ(static_cast<const char**>(r->list)[1], "x");
    EXPECT_EQ(r->Rows(5), (std::vector<int>{0, 0, 1, 1, 0}));
  }
  EXPECT_EQ(std::string(letter_blank) + "|" + blanks, before);
}

TEST_F(CompileTest, TrimmedEntriesOutliveTheWorkCopies) {
  // A text that only trimming makes equal to a later one: the listed text is a trimmed copy held
  // in the list block itself.
  std::string a = "ab  ", b = "ab", c = std::string(4096, 'q') + "   " + "tail";
  std::string d = std::string(4090, 'r') + std::string(10, ' ') + "z";  // blanks reach the scan limit
  const char* col[] = {"", a.c_str(), b.c_str(), c.c_str(), d.c_str()};
  g_cut_last_space = 1;
  Compiled r;
  Compile(5, 6, 8, col, &r.rows, &r.count, &r.list);
  ASSERT_EQ(r.count, 4);
  const char** l = static_cast<const char**>(r.list);
  EXPECT_STREQ(l[1], "ab");
  EXPECT_NE(l[1], a.c_str());  // not the caller's text...
  EXPECT_EQ(l[2], c.c_str());  // ...while untouched texts are listed as they are
  EXPECT_EQ(std::string(l[3]), std::string(4090, 'r'));
  EXPECT_EQ(r.Rows(5), (std::vector<int>{0, 1, 1, 2, 3}));
  EXPECT_EQ(a, "ab  ");
  EXPECT_EQ(d.size(), 4101u);
}

TEST(TrimmedLength, FollowsTheBlankRunRule) {
  struct Case {
    std::string text;
    size_t keep;
  } const cases[] = {
      {"", 0},
      {"ab  ", 2},
      {"   ", 0},
      {"a b", 3},
      {"a\t ", 2},  // a tab is not a blank
      {"a \t", 3},
      {std::string(4094, 'x') + "  " + "yy", 4094},  // blanks at the scan's end cut a longer text
      {std::string(4095, 'x') + " " + "yy", 4095},
      {std::string(5000, 'x'), 5000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimmedLength(c.text.c_str()), c.keep) << c.text.substr(0, 8);
    std::string copy = c.text;
    EXPECT_EQ(DelLastSpc(copy.data()), c.keep < c.text.size() ? 1 : 0);
    EXPECT_EQ(strlen(copy.c_str()), c.keep);
  }
  EXPECT_EQ(TrimmedLength(nullptr), 0u);
}

TEST(ValueTypeWidth, ByType) {
  const int want[] = {0, 0, 4, 8, 8, 8, 8, 8, 16, 0};
  for (int t = 0; t < 10; ++t) EXPECT_EQ(ValueTypeWidth(t), want[t]) << t;
}

}  // namespace
