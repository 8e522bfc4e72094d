// The parallel compile on columns large enough to be split over every worker: a million rows of
// each type, with long runs of equal values across the slice edges.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"

using namespace vltest;

namespace {

constexpr int kMillion = 1000000;

// An error ring of the test's own; trailing blanks kept unless a test turns trimming on.
class MppCompileTest : public q7test::RingTest {
 protected:
  TrimSetting trim_{0};
};

TEST_F(MppCompileTest, IntegerColumnsDenseAndSparse) {
  // Dense (numbered by counting on the workers) and sparse (sorted in slices, then merged).
  for (int32_t scale : {1, 100000}) {
    SCOPED_TRACE(scale);
    const std::vector<int32_t> v = RunsOfInts(kMillion, 997, 5000, scale);
    ExpectMppCompileMatchesSerial(kMillion, 2, 4, v.data());
  }
  const std::vector<int32_t> random = IntColumn(kMillion, -2147483647, 2147483647, 3);
  ExpectMppCompileMatchesSerial(kMillion, 2, 4, random.data());
}

TEST_F(MppCompileTest, DoubleColumnsKeepTheEarliestZero) {
  // -0.0 only in the first slice and 0.0 everywhere after it: the list must keep -0.0.
  std::vector<double> v(kMillion);
  for (int i = 0; i < kMillion; ++i)
    v[static_cast<size_t>(i)] = static_cast<double>((i / 1009) % 3000) - 1500.0;
  for (int i = 0; i < kMillion; i += 17) v[static_cast<size_t>(i)] = i < 1000 ? -0.0 : 0.0;
  v[5] = std::numeric_limits<double>::quiet_NaN();
  v[kMillion - 1] = std::numeric_limits<double>::quiet_NaN();
  v[0] = kDblNull;
  for (int type : {3, 4, 5, 7}) ExpectMppCompileMatchesSerial(kMillion, type, 8, v.data());

  const std::vector<double> distinct = DoubleColumn(kMillion, 1 << 30, 9);
  ExpectMppCompileMatchesSerial(kMillion, 3, 8, distinct.data());
}

TEST_F(MppCompileTest, StringColumnsWithAndWithoutTrimming) {
  const std::vector<std::string> pool = TextPool(3000, 5);
  std::vector<std::string> padded;  // trailing blanks that trimming merges with the bare texts
  for (const std::string& t : pool) padded.push_back(t + "  ");
  std::vector<const char*> v(kMillion);
  for (int i = 0; i < kMillion; ++i) {
    const size_t k = static_cast<size_t>((i / 1013) * 31 % 3000);
    v[static_cast<size_t>(i)] = (i % 5 == 0 ? padded[k] : pool[k]).c_str();
  }
  v[0] = "";
  ExpectMppCompileMatchesSerial(kMillion, 6, 8, v.data());
  g_cut_last_space = 1;
  ExpectMppCompileMatchesSerial(kMillion, 6, 8, v.data());
  for (size_t k = 0; k < padded.size(); ++k) ASSERT_EQ(padded[k], pool[k] + "  ");  // texts untouched
}

TEST_F(MppCompileTest, DecimalColumns) {
  std::vector<Numeric> v(kMillion);
  for (int i = 0; i < kMillion; ++i) {
    const int64_t k = (i / 1021) % 4000 - 2000;
    v[static_cast<size_t>(i)] = Dec(k);
    if (i % 3 == 0) v[static_cast<size_t>(i)].high = k;
  }
  for (int i = 0; i < kMillion; i += 101) v[static_cast<size_t>(i)] = DecNan();
  ExpectMppCompileMatchesSerial(kMillion, 8, 16, v.data());
}

TEST_F(MppCompileTest, ArgumentErrorsAreRecordedOnce) {
  const int32_t ints[2] = {kIntNull, 1};
  int* rows = nullptr;
  int count = 0;
  void* list = nullptr;
  try {
    MppCompile(2, 2, 8, ints, &rows, &count, &list);
    FAIL();
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_UNIT_WIDTH);
  }
  int time = 0, code = 0;
  char name[ErrorRing::kNameSize], text[ErrorRing::kMessageSize];
  ASSERT_EQ(ring_.Get(&time, name, &code, text), 1);
  EXPECT_STREQ(name, "Compile");
  EXPECT_STREQ(text, "Invalid Parameter : Width1Unit");
  EXPECT_EQ(ring_.Get(&time, name, &code, text), 0);
  EXPECT_EQ(rows, nullptr);
}

TEST_F(MppCompileTest, FewerElementsThanWorkers) {
  const int32_t ints[3] = {kIntNull, 2000000, -7};
  const double dbls[2] = {kDblNull, 1.0};
  const char* texts[3] = {"", "b", "a"};
  ExpectMppCompileMatchesSerial(3, 2, 4, ints);
  ExpectMppCompileMatchesSerial(2, 3, 8, dbls);
  ExpectMppCompileMatchesSerial(3, 6, 8, texts);
  ExpectMppCompileMatchesSerial(1, 6, 8, texts);
}

}  // namespace
