// The four-operation calculator on the worker pool gives, for any number of workers, the column a
// plain row-by-row computation gives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "calc/TCalculator.h"
#include "calculator_support.h"
#include "tests/support/test_support.h"

namespace {

using calctest::kDblNull;
using calctest::kIntNull;

// The rows split over all active workers at any size, and a write of this many rows is far past what
// a column keeps pending, as a million would be.
constexpr int kRows = 100000;
// A range that no worker count divides evenly.
constexpr int kStart = 2;
constexpr int kCount = kRows - 3;

class CalculatorThreadsTest : public calctest::CalcTableTest {
 protected:
  void SetUp() override {
    CalcTableTest::SetUp();
    NewTable(kRows);
    a_.resize(kRows);
    b_.resize(kRows);
    d_.resize(kRows);
    e_.resize(kRows);
    std::vector<Numeric> d(kRows), e(kRows);
    for (int i = 0; i < kRows; ++i) {
      a_[i] = i % 97 == 0 ? kIntNull : static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % 20011 - 10000);
      b_[i] = i % 89 == 0 ? 0.0 : (i % 1000) / 8.0 - 50.0;
      d_[i] = i % 101 == 0 ? INT64_MIN : (static_cast<int64_t>(i) * 104729) % 2000003 - 1000000;
      e_[i] = i % 103 == 0 ? INT64_MIN : i % 1999 - 999;
      d[i] = d_[i] == INT64_MIN ? calctest::DecNull() : calctest::Units(d_[i]);
      e[i] = e_[i] == INT64_MIN ? calctest::DecNull() : calctest::Units(e_[i]);
    }
    ASSERT_GT(AddInt("A", a_), 0);
    ASSERT_GT(AddDouble("B", b_), 0);
    ASSERT_GT(AddDecimal("D", d, 2, Q7_ROUND_HALF_UP), 0);
    ASSERT_GT(AddDecimal("E", e, 2, Q7_ROUND_HALF_UP), 0);
  }

  std::vector<int32_t> a_;
  std::vector<double> b_;
  std::vector<int64_t> d_, e_;  // units of 0.01; INT64_MIN for NULL
};

// The caps tried: one worker, a few, and every worker the machine has (0).
constexpr int kCaps[] = {1, 2, 3, 7, 0};

TEST_F(CalculatorThreadsTest, DoubleResultsMatchARowByRowComputationForAnyWorkerCount) {
  std::vector<double> want(kCount);
  for (int i = 0; i < kCount; ++i) {
    const int r = kStart - 1 + i;
    const double a = a_[r], b = b_[r];
    want[i] = a_[r] == kIntNull ? kDblNull : (a * b + (-a) / 3.0) + (b + 1.0) * 2.0;
  }
  std::vector<double> got(kCount);
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    std::fill(got.begin(), got.end(), 12345.0);
    ASSERT_EQ(table_->MppCalcPtr(1, kStart, kCount, "@A*@B-@A/3+(@B+1)*2", Q7_TYPE_DOUBLE, got.data(), 0,
                                 nullptr, nullptr),
              0);
    ASSERT_TRUE(got == want);
  }
}

TEST_F(CalculatorThreadsTest, IntegerResultsMatchARowByRowComputationForAnyWorkerCount) {
  std::vector<int32_t> want(kCount);
  int nulls = 0;
  for (int i = 0; i < kCount; ++i) {
    const int r = kStart - 1 + i;
    int32_t v = kIntNull;
    if (a_[r] != kIntNull && b_[r] != 0.0) {
      const double x = a_[r] / b_[r];
      if (x < 2147483647.5 && x > -2147483648.0) v = static_cast<int32_t>(std::floor(x + 0.5));
    }
    nulls += v == kIntNull;
    want[i] = v;
  }
  ASSERT_GT(nulls, 0);
  std::vector<int32_t> got(kCount);
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    std::fill(got.begin(), got.end(), 0);
    ASSERT_EQ(
        table_->MppCalcPtr(1, kStart, kCount, "@A/@B", Q7_TYPE_INTEGER, got.data(), 0, nullptr, nullptr), 0);
    ASSERT_TRUE(got == want);
  }
}

TEST_F(CalculatorThreadsTest, DecimalColumnWrittenOnThePoolMatchesARowByRowComputation) {
  const int target = AddTarget("T", Q7_TYPE_DECIMAL, 1, Q7_ROUND_HALF_UP);
  // 3 * D + E at scale 2 exactly, then to scale 1 with halves away from zero.
  std::vector<std::string> want(kRows, "NULL");
  for (int i = 0; i < kCount; ++i) {
    const int r = kStart - 1 + i;
    if (d_[r] == INT64_MIN || e_[r] == INT64_MIN) continue;
    const int64_t v = 3 * d_[r] + e_[r];
    int64_t q = std::llabs(v) / 10;
    if (std::llabs(v) % 10 >= 5) ++q;
    want[r] = calctest::DecText(calctest::Units(v < 0 ? -q : q), NumericInfo{1, Q7_ROUND_HALF_UP});
  }
  for (int cap : {1, 0}) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    ASSERT_EQ(table_->MppCalculate(1, target, kStart, kCount, "@D*3+@E", nullptr), 0) << FPCParseError;
    ASSERT_TRUE(Column(target) == want);
    // Back to NULL for the next round.
    ASSERT_EQ(table_->MppCalculate(1, target, 1, kRows, "@D/0", nullptr), 0);
  }
}

}  // namespace
