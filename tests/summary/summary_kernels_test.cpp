// The summary kernels against references written from their rules: the multi-way compile against
// sort-and-unique, the cell-address sort against a stable sort, and the method choice against the
// cost figures worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/zpk_memory.h"
#include "q7api.h"
#include "summary/MultiWayCompile.h"
#include "summary/SummaryMethod.h"
#include "summary/noncube/CellAddrSort.h"
#include "tests/support/test_support.h"
#include "values/Numeric.h"

namespace {

using q7test::CodeOf;

// ---- Multi-way compile ----

// What a compile must give: the ascending distinct values and each position's rank among them.
template <class T, class Less>
void ExpectCompiled(const std::vector<T>& in, int d, const int32_t* numbers, const T* distinct, Less less) {
  std::vector<T> want(in);
  std::stable_sort(want.begin(), want.end(), less);
  want.erase(std::unique(want.begin(), want.end(),
                         [&](const T& a, const T& b) { return !less(a, b) && !less(b, a); }),
             want.end());
  ASSERT_EQ(d, static_cast<int>(want.size()));
  for (int i = 0; i < d; ++i) {
    EXPECT_FALSE(less(distinct[i], want[i]) || less(want[i], distinct[i])) << "distinct " << i;
  }
  for (size_t p = 0; p < in.size(); ++p) {
    const auto at = std::lower_bound(want.begin(), want.end(), in[p], less) - want.begin();
    ASSERT_EQ(numbers[p], at) << "position " << p;
  }
}

struct CompileCase {
  const char* name;
  int n;
  int range;  // values drawn from 0 .. range-1; 0: ascending distinct 0 .. n-1
};
const CompileCase kCompileCases[] = {
    {"one value", 1, 5},           {"two equal", 2, 1},         {"few distinct", 1000, 7},
    {"many distinct", 3000, 2500}, {"sorted distinct", 777, 0}, {"all equal", 513, 1},
};
const int kFanIns[] = {2, 3, 16, 1024};

std::vector<int32_t> Draw(const CompileCase& c, uint32_t seed) {
  std::vector<int32_t> v(static_cast<size_t>(c.n));
  if (c.range == 0) {
    std::iota(v.begin(), v.end(), -c.n / 2);
    return v;
  }
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int32_t> pick(0, c.range - 1);
  // Spread over the sign so signed order matters.
  for (auto& x : v) x = (pick(gen) - c.range / 2) * 1000003;
  return v;
}

template <class T>
struct Freed {
  int32_t* numbers = nullptr;
  T* distinct = nullptr;
  ~Freed() {
    zpk_free(numbers);
    zpk_free(const_cast<void*>(static_cast<const void*>(distinct)));
  }
};

TEST(MultiWayCompile, IntsMatchSortAndUniqueForEveryFanIn) {
  for (const auto& c : kCompileCases) {
    const std::vector<int32_t> in = Draw(c, 11);
    for (const int k : kFanIns) {
      SCOPED_TRACE(std::string(c.name) + " k=" + std::to_string(k));
      Freed<int32_t> out;
      const int d = MultiWayCompileInt(c.n, k, in.data(), &out.numbers, &out.distinct);
      ExpectCompiled(in, d, out.numbers, out.distinct, std::less<int32_t>());
    }
  }
}

TEST(MultiWayCompile, SortedDistinctInputIsNumberedInOrder) {
  std::vector<int32_t> in(100);
  std::iota(in.begin(), in.end(), 0);
  Freed<int32_t> out;
  ASSERT_EQ(MultiWayCompileInt(100, 4, in.data(), &out.numbers, &out.distinct), 100);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(out.numbers[i], i);
}

TEST(MultiWayCompile, DoublesOrderNanFirstAndShareOneNumber) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> in = {2.5, nan, -inf, 0.0, -0.0, 2.5, nan, 1e300, -7.25, nan};
  auto less = [](double a, double b) {
    if (std::isnan(a)) return !std::isnan(b);
    return !std::isnan(b) && a < b;
  };
  for (const int k : kFanIns) {
    SCOPED_TRACE(k);
    Freed<double> out;
    const int d =
        MultiWayCompileFloat(static_cast<int>(in.size()), k, in.data(), &out.numbers, &out.distinct);
    ExpectCompiled(in, d, out.numbers, out.distinct, less);
    EXPECT_TRUE(std::isnan(out.distinct[0]));
    EXPECT_EQ(out.numbers[1], 0);
    EXPECT_EQ(out.numbers[9], 0);
    EXPECT_EQ(out.numbers[3], out.numbers[4]);  // 0.0 and -0.0 compare equal
  }
  // Random doubles with repeats, against the reference.
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> pick(-300, 300);
  std::vector<double> big(4000);
  for (auto& x : big) x = pick(gen) / 8.0;
  Freed<double> out;
  const int d =
      MultiWayCompileFloat(static_cast<int>(big.size()), 5, big.data(), &out.numbers, &out.distinct);
  ExpectCompiled(big, d, out.numbers, out.distinct, less);
}

TEST(MultiWayCompile, TextsPointAtTheFirstInputOfEachValue) {
  std::vector<std::string> store = {"pear", "apple", "", "pear", "Zebra", "apple", "apples", "", "pear"};
  std::vector<const char*> in;
  for (const auto& s : store) in.push_back(s.c_str());
  auto less = [](const char* a, const char* b) { return std::strcmp(a, b) < 0; };
  for (const int k : kFanIns) {
    SCOPED_TRACE(k);
    Freed<const char*> out;
    const int d =
        MultiWayCompileString(static_cast<int>(in.size()), k, in.data(), &out.numbers, &out.distinct);
    ExpectCompiled(in, d, out.numbers, out.distinct, less);
    // "" "Zebra" "apple" "apples" "pear": each the pointer of its first position.
    ASSERT_EQ(d, 5);
    EXPECT_EQ(out.distinct[0], in[2]);
    EXPECT_EQ(out.distinct[2], in[1]);
    EXPECT_EQ(out.distinct[4], in[0]);
  }
}

TEST(MultiWayCompile, DecimalsFollowTheEngineOrderNanFirst) {
  auto dec = [](int64_t v) {
    Numeric x;
    x.low = static_cast<uint64_t>(v);
    x.high = v < 0 ? -1 : 0;
    return x;
  };
  Numeric nan;
  q7num::NumericSetNan(&nan);
  std::vector<Numeric> in = {dec(5), nan, dec(-3), dec(5), dec(0), dec(-3), nan, dec(1000000007)};
  for (int i = 0; i < 500; ++i) in.push_back(dec((i * 7919) % 61 - 30));
  auto less = [](const Numeric& a, const Numeric& b) { return q7num::NumericCmp(&a, &b) > 0; };
  for (const int k : kFanIns) {
    SCOPED_TRACE(k);
    Freed<Numeric> out;
    const int d =
        MultiWayCompileNumeric(static_cast<int>(in.size()), k, in.data(), &out.numbers, &out.distinct);
    ExpectCompiled(in, d, out.numbers, out.distinct, less);
    EXPECT_EQ(out.numbers[1], 0);
    EXPECT_TRUE(q7num::NumericIsNan(&out.distinct[0]));
  }
}

TEST(MultiWayCompile, RefusalsAllocateNothing) {
  struct Refusal {
    const char* name;
    int n;
    int k;
    int want;
  };
  const Refusal kRefusals[] = {
      {"no values", 0, 2, -1},      {"negative n", -5, 2, -1},     {"fan-in 1", 3, 1, -2},
      {"fan-in 1025", 3, 1025, -2}, {"n checked first", 0, 0, -1},
  };
  const int32_t values[3] = {1, 2, 3};
  int32_t sentinel = 0;
  for (const auto& r : kRefusals) {
    SCOPED_TRACE(r.name);
    int32_t* numbers = &sentinel;
    int32_t* distinct = &sentinel;
    EXPECT_EQ(MultiWayCompileInt(r.n, r.k, values, &numbers, &distinct), r.want);
    EXPECT_EQ(numbers, nullptr);
    EXPECT_EQ(distinct, nullptr);
  }
  int32_t* numbers = nullptr;
  int32_t* distinct = nullptr;
  EXPECT_EQ(CodeOf([&] { MultiWayCompileInt(3, 2, nullptr, &numbers, &distinct); }),
            Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CodeOf([&] { MultiWayCompileInt(3, 2, values, nullptr, &distinct); }),
            Q7_ERROR_INVALID_PARAMETER);
  const char* texts[3] = {"a", nullptr, "b"};
  const char** list = nullptr;
  EXPECT_EQ(CodeOf([&] { MultiWayCompileString(3, 2, texts, &numbers, &list); }), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(numbers, nullptr);
  EXPECT_EQ(list, nullptr);
}

// ---- Cell-address sort ----

struct SortResult {
  std::vector<int> keys;
  std::vector<int> payload;
  std::vector<int> sizes;
  int groups = 0;
};

// A stable sort of the rows by key, and the run lengths of equal keys.
SortResult ReferenceSort(const std::vector<int>& keys, const std::vector<int>& payload, int W) {
  std::vector<int> order(keys.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
  SortResult r;
  for (const int i : order) {
    r.keys.push_back(keys[i]);
    for (int w = 0; w < W; ++w) r.payload.push_back(payload[static_cast<size_t>(i) * W + w]);
  }
  for (size_t i = 0; i < r.keys.size(); ++i) {
    if (i == 0 || r.keys[i] != r.keys[i - 1]) r.sizes.push_back(0);
    ++r.sizes.back();
  }
  r.groups = static_cast<int>(r.sizes.size());
  return r;
}

SortResult RunSort(int (*sort)(int, int, int, int*, int*, int**), std::vector<int> keys,
                   std::vector<int> payload, int K, int W) {
  SortResult r;
  int* sizes = nullptr;
  r.groups = sort(static_cast<int>(keys.size()), K, W, keys.data(), payload.data(), &sizes);
  r.keys = keys;
  r.payload = payload;
  if (sizes) r.sizes.assign(sizes, sizes + r.groups);
  zpk_free(sizes);
  return r;
}

// Keys in [0, K) with repeats; payload row i starts with i, so stability shows in the payload.
void MakeRows(int N, int K, int W, uint32_t seed, std::vector<int>* keys, std::vector<int>* payload) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> pick(0, K - 1);
  keys->resize(static_cast<size_t>(N));
  payload->assign(static_cast<size_t>(N) * W, 0);
  for (int i = 0; i < N; ++i) {
    (*keys)[i] = pick(gen);
    for (int w = 0; w < W; ++w) (*payload)[static_cast<size_t>(i) * W + w] = i * 31 + w;
  }
}

void ExpectSame(const SortResult& got, const SortResult& want) {
  EXPECT_EQ(got.groups, want.groups);
  EXPECT_EQ(got.keys, want.keys);
  EXPECT_EQ(got.payload, want.payload);
  EXPECT_EQ(got.sizes, want.sizes);
}

struct CellCase {
  const char* name;
  int N;
  int K;
  int W;
};
const CellCase kCellCases[] = {
    {"one row", 1, 16, 2},
    {"small space", 500, 8, 3},
    {"no payload", 400, 100, 0},
    {"one-pass limit", 3000, 65535, 1},
    {"two-pass start", 3000, 65536, 1},
    {"wide space", 5000, 1 << 22, 2},
    {"sparse wide", 50, 1 << 26, 4},
};

TEST(CellAddrSort, MatchesAStableSortWithRunLengths) {
  for (const auto& c : kCellCases) {
    SCOPED_TRACE(c.name);
    std::vector<int> keys, payload;
    MakeRows(c.N, c.K, c.W, 3, &keys, &payload);
    ExpectSame(RunSort(SortForCellAddr, keys, payload, c.K, c.W), ReferenceSort(keys, payload, c.W));
  }
}

TEST(CellAddrSort, OnePassAndTwoPassFormsAgree) {
  std::vector<int> keys, payload;
  MakeRows(20000, 65535, 2, 9, &keys, &payload);
  const SortResult want = ReferenceSort(keys, payload, 2);
  ExpectSame(RunSort(SortForCellAddr, keys, payload, 65535, 2), want);  // one pass
  ExpectSame(RunSort(SortForCellAddr, keys, payload, 65536, 2), want);  // two passes
  ExpectSame(RunSort(SortForCellAddrSingle, keys, payload, 65536, 2), want);
}

TEST(CellAddrSort, AllKeysEqualMakeOneGroup) {
  for (const int K : {8, 1 << 20}) {
    SCOPED_TRACE(K);
    std::vector<int> keys(1000, K - 1), payload(1000);
    std::iota(payload.begin(), payload.end(), 0);
    const SortResult r = RunSort(SortForCellAddr, keys, payload, K, 1);
    EXPECT_EQ(r.groups, 1);
    EXPECT_EQ(r.sizes, std::vector<int>{1000});
    EXPECT_EQ(r.payload[0], 0);
    EXPECT_EQ(r.payload[999], 999);
  }
}

TEST(CellAddrSort, EmptyAndNegativeCounts) {
  int* sizes = nullptr;
  EXPECT_EQ(SortForCellAddr(0, 1 << 20, 1, nullptr, nullptr, &sizes), 0);
  EXPECT_NE(sizes, nullptr);  // an empty block of its own
  zpk_free(sizes);
  sizes = nullptr;
  EXPECT_EQ(SortForCellAddr(-1, 16, 1, nullptr, nullptr, &sizes), 0);
  EXPECT_EQ(sizes, nullptr);
  std::vector<int> keys = {3, 1, 2};
  EXPECT_EQ(SortForCellAddr(3, 4, 0, keys.data(), nullptr, nullptr), 3);  // no sizes asked
  EXPECT_EQ(keys, (std::vector<int>{1, 2, 3}));
}

TEST(CellAddrSort, KeyOutsideTheSpaceIsRefusedUntouched) {
  for (const int K : {100, 1 << 20}) {
    for (const int bad : {-1, K}) {
      SCOPED_TRACE(std::to_string(K) + " " + std::to_string(bad));
      std::vector<int> keys = {5, 2, bad, 7};
      std::vector<int> payload = {1, 2, 3, 4};
      const auto keys_before = keys;
      int* sizes = nullptr;
      EXPECT_EQ(CodeOf([&] { SortForCellAddr(4, K, 1, keys.data(), payload.data(), &sizes); }),
                Q7_ERROR_INVALID_PARAMETER);
      EXPECT_EQ(keys, keys_before);
      EXPECT_EQ(payload, (std::vector<int>{1, 2, 3, 4}));
      EXPECT_EQ(sizes, nullptr);
    }
  }
}

// ---- Choosing the summary method ----

SumMethodFigures Figures(std::vector<int> value_counts, int64_t rows, int mask, int threads = 1) {
  SumMethodFigures f;
  f.rows = rows;
  f.value_counts = std::move(value_counts);
  f.threads = threads;
  f.l2_cache_size = 1048576;
  f.measures = 1;
  f.mask_bits = mask;
  f.memory_budget = 1e15;
  return f;
}

TEST(SumMethod, ChoiceFollowsTheCostFigures) {
  struct Case {
    const char* name;
    SumMethodFigures f;
    int want;
  };
  SumMethodFigures no_dims = Figures({}, 100, kSumCount, 4);
  SumMethodFigures huge_list = Figures({(1 << 30) + 1}, 10, kSumCount);
  // 2^15 + 1 entries cost 16 bits each: 32 bits although P stays below 2^30.
  SumMethodFigures wide_bits = Figures({32769, 32767}, 10, kSumCount);
  SumMethodFigures ten_million = Figures({10000000}, 10, kSumCount);
  ten_million.l2_cache_size = 2000000000;
  SumMethodFigures under_ten_million = ten_million;
  under_ten_million.value_counts = {9999999};
  SumMethodFigures empty_set = Figures({1000, 1000}, 0, kSumCount);
  // P = 10^6, E0 = 4 * 10^6: E1 <= E2 exactly when 4N covers E0.
  SumMethodFigures many_rows = Figures({1000, 1000}, 1000000, kSumCount);
  SumMethodFigures few_rows = Figures({1000, 1000}, 999999, kSumCount);
  SumMethodFigures no_budget = many_rows;
  no_budget.memory_budget = 0;
  // The cell arrays of 4 workers fit half the cache for COUNT alone; SUM (or AVERAGE) triples them.
  SumMethodFigures count_fits = Figures({5000, 5}, 10, kSumCount, 4);
  SumMethodFigures sum_spills = Figures({5000, 5}, 10, kSumSum, 4);
  SumMethodFigures average_spills = Figures({5000, 5}, 10, kSumAverage, 4);
  SumMethodFigures no_measures = sum_spills;
  no_measures.measures = 0;
  const Case kCases[] = {
      {"no dimensions", no_dims, 0},
      {"value list past 2^30", huge_list, 4},
      {"31 or more address bits", wide_bits, 4},
      {"exactly ten million cells", ten_million, 2},
      {"just under ten million cells", under_ten_million, 0},
      {"empty set", empty_set, 2},
      {"rows outweigh the cube", many_rows, 1},
      {"cube outweighs the rows", few_rows, 2},
      {"beyond the memory budget", no_budget, 3},
      {"count fits the cache", count_fits, 0},
      {"sum spills the cache", sum_spills, 2},
      {"average costs as sum", average_spills, 2},
      {"masks ignored without measures", no_measures, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChooseSumMethod(c.f), c.want);
  }
}

TEST(SumMethod, DefaultBudgetLetsEveryMethodBeChosen) {
  SetSumMethodMemoryBudget(-1);
  EXPECT_GT(SumMethodMemoryBudget(), 0);
  SumMethodFigures f = Figures({1000, 1000}, 1000000, kSumCount);
  f.memory_budget = SumMethodMemoryBudget();
  EXPECT_EQ(ChooseSumMethod(f), 1);
  f.rows = 10;
  EXPECT_EQ(ChooseSumMethod(f), 2);
}

// A real table of the engine's database with a small and a wide INTEGER column.
class SumMethodTable : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = CSmpEngine::Instance()->Database();
    ASSERT_NE(db_, nullptr);
    char name[] = "sum_method";
    table_ = db_->AddRealTable(name, kRows);
    ASSERT_GT(table_, 0);
    auto* t = static_cast<TRealTable*>(db_->GetTable(table_));
    std::vector<int> small(kRows), wide(kRows);
    for (int i = 0; i < kRows; ++i) {
      small[i] = i % 3;
      wide[i] = i;
    }
    char small_name[] = "small";
    char wide_name[] = "wide";
    small_ = t->AddFilter2(1024, small_name, Q7_TYPE_INTEGER, kRows, 4, small.data(), table_, -1);
    wide_ = t->AddFilter2(1024, wide_name, Q7_TYPE_INTEGER, kRows, 4, wide.data(), table_, -1);
    ASSERT_GT(small_, 0);
    ASSERT_GT(wide_, 0);
  }
  void TearDown() override {
    SetForcedSumMethod(-1);
    SetSumMethodMemoryBudget(-1);
    if (table_ > 0) db_->DelTable(table_);
  }

  static constexpr int kRows = 40000;  // 40,001 value-list entries: 16 bits per wide column
  TTableCollection* db_ = nullptr;
  int table_ = 0;
  int small_ = 0;
  int wide_ = 0;
};

TEST_F(SumMethodTable, LookupsAreRefusedWithTheirCodes) {
  const int mask = kSumCount;
  const int dims[] = {small_};
  const int bad_dims[] = {small_, 999};
  struct Case {
    const char* name;
    int table;
    int set;
    const int* dims;
    int n_dims;
    int want;
  };
  const Case kCases[] = {
      {"no table", 9999, 1, dims, 1, Q7_ERROR_NO_SUCH_TABLE},
      {"no set", table_, 77, dims, 1, Q7_ERROR_NO_SUCH_SET},
      {"no filter", table_, 1, bad_dims, 2, Q7_ERROR_NO_SUCH_FILTER},
      {"null dimension list", table_, 1, nullptr, 1, Q7_ERROR_INVALID_PARAMETER},
  };
  q7test::RingScope ring;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CodeOf([&] { GetSuitableSumMethod(c.table, c.set, c.n_dims, c.dims, 1, nullptr, &mask); }),
              c.want);
  }
}

TEST_F(SumMethodTable, FiguresComeFromTheTableAndForcingObeysTheAddressLimit) {
  const int mask = kSumCount;
  const int one[] = {small_};
  const int two_wide[] = {wide_, wide_};
  // Four value-list entries (NULL included), 40,000 rows: a cube small enough for method 0.
  EXPECT_EQ(GetSuitableSumMethod(table_, 1, 1, one, 1, nullptr, &mask), 0);
  EXPECT_EQ(GetSuitableSumMethod(table_, -1, 0, nullptr, 1, nullptr, &mask), 0);
  EXPECT_EQ(GetSuitableSumMethod(table_, 1, 2, two_wide, 1, nullptr, &mask), 4);
  for (int forced = 0; forced <= 4; ++forced) {
    SCOPED_TRACE(forced);
    SetForcedSumMethod(forced);
    EXPECT_EQ(GetSuitableSumMethod(table_, 1, 1, one, 1, nullptr, &mask), forced);
    EXPECT_EQ(GetSuitableSumMethod(table_, 1, 2, two_wide, 1, nullptr, &mask), 4);
    EXPECT_EQ(CodeOf([&] { GetSuitableSumMethod(9999, 1, 1, one, 1, nullptr, &mask); }),
              Q7_ERROR_NO_SUCH_TABLE);
  }
  SetForcedSumMethod(-1);
  EXPECT_EQ(ForcedSumMethod(), -1);
}

}  // namespace
