// The pool-running value-list operations against their serial forms, for one worker, a few and all
// of them. Sizes are moderate: this binary also runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/values/ValueListArrays.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/Accommodation.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"
#include "values/TypeConv.h"

using namespace vltest;

namespace {

constexpr int kRows = 20000;
const int kLimits[] = {1, 2, 3, 0};  // 0: every worker

class ValueListThreadsTest : public ::testing::Test {
 protected:
  TrimSetting trim_;  // tests change the setting; it is restored after each
};

TEST_F(ValueListThreadsTest, MppCompileMatchesCompile) {
  const std::vector<int32_t> dense = RunsOfInts(kRows, 37, 500, 1);
  const std::vector<int32_t> sparse = RunsOfInts(kRows, 37, 500, 1000000);
  const std::vector<double> doubles = DoubleColumn(kRows, 700, 3);
  const std::vector<Numeric> decimals = DecimalColumn(kRows, 900, 4);
  const std::vector<std::string> pool = TextPool(400, 5);
  const std::vector<const char*> texts = TextColumn(kRows, pool, 6);
  for (int limit : kLimits) {
    SCOPED_TRACE(limit);
    q7test::WorkerCap cap(limit);
    ExpectMppCompileMatchesSerial(kRows, 2, 4, dense.data());
    ExpectMppCompileMatchesSerial(kRows, 2, 4, sparse.data());
    ExpectMppCompileMatchesSerial(kRows, 3, 8, doubles.data());
    ExpectMppCompileMatchesSerial(kRows, 8, 16, decimals.data());
    g_cut_last_space = 0;
    ExpectMppCompileMatchesSerial(kRows, 6, 8, texts.data());
    g_cut_last_space = 1;
    ExpectMppCompileMatchesSerial(kRows, 6, 8, texts.data());
  }
}

// Two compiled columns, merged serially and in parallel from identical copies.
TEST_F(ValueListThreadsTest, MppAccommodationMainMatchesAccommodationMain) {
  const std::vector<double> col1 = DoubleColumn(kRows, 3000, 11), col2 = DoubleColumn(kRows / 2, 5000, 12);
  auto compile = [](const std::vector<double>& col, std::unique_ptr<TIntArray>* rows,
                    std::unique_ptr<TDoubleArray>* list) {
    int* r = nullptr;
    int count = 0;
    void* l = nullptr;
    Compile(static_cast<int>(col.size()), 3, 8, col.data(), &r, &count, &l);
    *rows = std::make_unique<TIntArray>(static_cast<int>(col.size()), r);
    *list = std::make_unique<TDoubleArray>(count, l);
  };
  for (int limit : kLimits) {
    SCOPED_TRACE(limit);
    q7test::WorkerCap cap(limit);
    std::unique_ptr<TIntArray> sr1, sr2, pr1, pr2;
    std::unique_ptr<TDoubleArray> sl1, sl2, pl1, pl2;
    compile(col1, &sr1, &sl1);
    compile(col2, &sr2, &sl2);
    compile(col1, &pr1, &pl1);
    compile(col2, &pr2, &pl2);
    TBaseArray* serial = nullptr;
    TBaseArray* parallel = nullptr;
    ASSERT_EQ(AccommodationMain(sr1.get(), sl1.get(), sr2.get(), sl2.get(), &serial), 1);
    ASSERT_EQ(MppAccommodationMain(pr1.get(), pl1.get(), pr2.get(), pl2.get(), &parallel), 1);
    std::unique_ptr<TBaseArray> own_s(serial), own_p(parallel);
    ASSERT_EQ(serial->FArraySize, parallel->FArraySize);
    EXPECT_EQ(memcmp(serial->FData, parallel->FData, 8 * static_cast<size_t>(serial->FArraySize)), 0);
    EXPECT_EQ(IntsOf(sr1.get()), IntsOf(pr1.get()));
    EXPECT_EQ(IntsOf(sr2.get()), IntsOf(pr2.get()));
  }
}

TEST_F(ValueListThreadsTest, MppAccommodationMainOfTextsMatches) {
  std::vector<std::string> a, b;
  for (int i = 0; i < 3000; ++i) {
    if (i % 3 != 0) a.push_back("t" + std::to_string(100000 + i));
    if (i % 5 != 1) b.push_back("t" + std::to_string(100000 + i));
  }
  a.insert(a.begin(), "");
  b.insert(b.begin(), "");
  std::vector<int32_t> rows_a(a.size()), rows_b(b.size());
  for (size_t i = 0; i < a.size(); ++i) rows_a[i] = static_cast<int32_t>((i * 7) % a.size());
  for (size_t i = 0; i < b.size(); ++i) rows_b[i] = static_cast<int32_t>((i * 11) % b.size());
  for (int limit : kLimits) {
    q7test::WorkerCap cap(limit);
    auto sl1 = Texts(a), sl2 = Texts(b), pl1 = Texts(a), pl2 = Texts(b);
    auto sr1 = Ints(rows_a), sr2 = Ints(rows_b), pr1 = Ints(rows_a), pr2 = Ints(rows_b);
    TBaseArray* serial = nullptr;
    TBaseArray* parallel = nullptr;
    ASSERT_EQ(AccommodationMain(sr1.get(), sl1.get(), sr2.get(), sl2.get(), &serial), 1);
    ASSERT_EQ(MppAccommodationMain(pr1.get(), pl1.get(), pr2.get(), pl2.get(), &parallel), 1);
    std::unique_ptr<TBaseArray> own_s(serial), own_p(parallel);
    EXPECT_EQ(TextsOf(serial), TextsOf(parallel));
    EXPECT_EQ(IntsOf(sr1.get()), IntsOf(pr1.get()));
    EXPECT_EQ(IntsOf(sr2.get()), IntsOf(pr2.get()));
  }
}

TEST_F(ValueListThreadsTest, DoTypeConvMatchesTheWholeListForms) {
  std::vector<double> dates = {kDblNull};
  for (int i = 0; i < kRows; ++i) dates.push_back(2.0 + i * 3.25);
  auto src = Doubles(dates, 4);
  const int n = static_cast<int>(dates.size());
  std::vector<int> whole_ints(static_cast<size_t>(n));
  dateVL2intVL(src.get(), whole_ints.data());
  std::vector<char*> whole_texts(static_cast<size_t>(n));
  std::vector<char> whole_area(static_cast<size_t>(n) * 20);
  dateVL2strVL(src.get(), whole_texts.data(), whole_area.data());
  auto whole_dec = std::make_unique<TNumericArray>(n, 1);
  whole_dec->SetDecimalInfo(2, 6);
  dateVL2decVL(src.get(), whole_dec.get());
  for (int limit : kLimits) {
    SCOPED_TRACE(limit);
    q7test::WorkerCap cap(limit);
    std::vector<int> ints(static_cast<size_t>(n), -1);
    DoTypeConv(n, 4, 2, src.get(), ints.data(), nullptr, nullptr);
    EXPECT_EQ(ints, whole_ints);
    std::vector<char*> texts(static_cast<size_t>(n));
    std::vector<char> area(static_cast<size_t>(n) * static_cast<size_t>(TypeConvTextWidth(4)));
    DoTypeConv(n, 4, 6, src.get(), texts.data(), area.data(), nullptr);
    for (int k = 0; k < n; ++k)
      ASSERT_STREQ(texts[static_cast<size_t>(k)], whole_texts[static_cast<size_t>(k)]);
    auto dec = std::make_unique<TNumericArray>(n, 1);
    dec->SetDecimalInfo(2, 6);
    DoTypeConv(n, 4, 8, src.get(), nullptr, nullptr, dec.get());
    EXPECT_EQ(memcmp(dec->FData, whole_dec->FData, 16 * static_cast<size_t>(n)), 0);
  }
}

}  // namespace
