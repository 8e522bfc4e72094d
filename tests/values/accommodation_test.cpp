// Value-list merges and renumbering: integers, doubles, strings, decimals and shared lists.
#include "values/Accommodation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "tests/support/test_support.h"
#include "tests/values/ValueListArrays.h"
#include "tests/values/ValueListTestSupport.h"
#include "values/MppCompile.h"
#include "values/ValueListShare.h"

using namespace vltest;

namespace {

using MergeFn = std::function<int(TIntArray*, TBaseArray*, TIntArray*, TBaseArray*, TBaseArray**)>;

struct MergeForm {
  const char* name;
  MergeFn fn;
};
const MergeForm kForms[] = {{"serial", AccommodationMain}, {"parallel", MppAccommodationMain}};

class AccommodationTest : public q7test::RingTest {};

TEST_F(AccommodationTest, IntegerMergesRenumberBothSides) {
  struct Case {
    std::vector<int32_t> list1, list2, rows1, rows2;
    std::vector<int32_t> merged, want1, want2;
  } const cases[] = {
      {{kIntNull, 1, 5},
       {kIntNull, 3, 5},
       {0, 2, 1},
       {0, 1, 2, 2},
       {kIntNull, 1, 3, 5},
       {0, 3, 1},
       {0, 2, 3, 3}},
      // a prefix of the other: the first list's rows keep their numbers
      {{kIntNull, 1},
       {kIntNull, 1, 2, 3},
       {0, 1, 1},
       {3, 2, 1, 0},
       {kIntNull, 1, 2, 3},
       {0, 1, 1},
       {3, 2, 1, 0}},
      // the other way round
      {{kIntNull, 1, 2, 3}, {kIntNull, 2}, {3, 0}, {1, 0}, {kIntNull, 1, 2, 3}, {3, 0}, {2, 0}},
      // disjoint, and one list inside a gap of the other
      {{kIntNull, 7, 8}, {kIntNull, 1, 2}, {1, 2}, {2, 1}, {kIntNull, 1, 2, 7, 8}, {3, 4}, {2, 1}},
      {{kIntNull, 1, 10}, {kIntNull, 5, 6}, {2, 1}, {1, 2}, {kIntNull, 1, 5, 6, 10}, {4, 1}, {2, 3}},
  };
  for (const MergeForm& form : kForms) {
    for (const Case& c : cases) {
      SCOPED_TRACE(form.name);
      auto l1 = Ints(c.list1), l2 = Ints(c.list2), r1 = Ints(c.rows1), r2 = Ints(c.rows2);
      TBaseArray* merged = nullptr;
      ASSERT_EQ(form.fn(r1.get(), l1.get(), r2.get(), l2.get(), &merged), 1);
      std::unique_ptr<TBaseArray> owned(merged);
      EXPECT_EQ(merged->GetDataType(), 2);
      EXPECT_EQ(IntsOf(merged), c.merged);
      EXPECT_EQ(IntsOf(r1.get()), c.want1);
      EXPECT_EQ(IntsOf(r2.get()), c.want2);
      EXPECT_EQ(IntsOf(l1.get()), c.list1);  // the old lists are left as they were
    }
  }
}

TEST_F(AccommodationTest, IdenticalListsChangeNothing) {
  for (const MergeForm& form : kForms) {
    auto l1 = Texts({"", "a", "b"}), l2 = Texts({"", "a", "b"});
    auto r1 = Ints({0, 2}), r2 = Ints({1, 1});
    TBaseArray* merged = reinterpret_cast<TBaseArray*>(&l1);  // must be reset to null
    EXPECT_EQ(form.fn(r1.get(), l1.get(), r2.get(), l2.get(), &merged), 0) << form.name;
    EXPECT_EQ(merged, nullptr);
    EXPECT_EQ(IntsOf(r1.get()), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(IntsOf(r2.get()), (std::vector<int32_t>{1, 1}));
  }
}

TEST_F(AccommodationTest, BasicTypesMustAgree) {
  auto ints = Ints({kIntNull, 1}), r1 = Ints({1}), r2 = Ints({1});
  auto dbls = Doubles({kDblNull, 1.0});
  TBaseArray* merged = nullptr;
  try {
    AccommodationMain(r1.get(), ints.get(), r2.get(), dbls.get(), &merged);
    FAIL();
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_DATA_TYPE_MISMATCH);
  }
  EXPECT_EQ(TakeRing(), "AccommodationMain|Illegal data type");
  try {
    MppAccommodationMain(r1.get(), ints.get(), r2.get(), dbls.get(), &merged);
    FAIL();
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_DATA_TYPE_MISMATCH);
  }
  EXPECT_EQ(TakeRing(), "");  // the parallel form records nothing
  EXPECT_EQ(merged, nullptr);
  EXPECT_EQ(IntsOf(r1.get()), std::vector<int32_t>{1});
}

TEST_F(AccommodationTest, DoubleKindsMergeAndTheFirstListDecides) {
  // A date list with a time list; -0.0 in the first, 0.0 in the second.
  for (const MergeForm& form : kForms) {
    SCOPED_TRACE(form.name);
    auto dates = Doubles({kDblNull, -0.0, 2.0}, 4), times = Doubles({kDblNull, 0.0, 0.5}, 5);
    auto r1 = Ints({0, 1, 2}), r2 = Ints({1, 2});
    TBaseArray* merged = nullptr;
    ASSERT_EQ(form.fn(r1.get(), dates.get(), r2.get(), times.get(), &merged), 1);
    std::unique_ptr<TBaseArray> owned(merged);
    const std::vector<double> got = DoublesOf(merged);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_TRUE(got[1] == 0.0 && std::signbit(got[1]));
    EXPECT_EQ(got[2], 0.5);
    EXPECT_EQ(IntsOf(r1.get()), (std::vector<int32_t>{0, 1, 3}));
    EXPECT_EQ(IntsOf(r2.get()), (std::vector<int32_t>{1, 2}));
    // The serial form takes the first list's extend type; the parallel one leaves the plain double.
    EXPECT_EQ(static_cast<TDoubleArray*>(merged)->GetExtendType(),
              std::string(form.name) == "serial" ? 4 : 3);
  }
}

TEST_F(AccommodationTest, StringsAreMergedByBytesWithoutTrimming) {
  for (const MergeForm& form : kForms) {
    SCOPED_TRACE(form.name);
    auto l1 = Texts({"", "ab", "ab ", "z"}), l2 = Texts({"", "Ab", "ab", "ab  "});
    auto r1 = Ints({3, 2, 1}), r2 = Ints({1, 3, 2});
    TBaseArray* merged = nullptr;
    ASSERT_EQ(form.fn(r1.get(), l1.get(), r2.get(), l2.get(), &merged), 1);
    std::unique_ptr<TBaseArray> owned(merged);
    EXPECT_EQ(TextsOf(merged), (std::vector<std::string>{"", "Ab", "ab", "ab ", "ab  ", "z"}));
    EXPECT_EQ(IntsOf(r1.get()), (std::vector<int32_t>{5, 3, 2}));
    EXPECT_EQ(IntsOf(r2.get()), (std::vector<int32_t>{1, 4, 2}));
  }
}

TEST_F(AccommodationTest, DecimalsMergeAsStoredWithDefaultAttributes) {
  for (const MergeForm& form : kForms) {
    SCOPED_TRACE(form.name);
    auto l1 = Decimals({DecNan(), Dec(-5), Dec(100)}, 2, 6),
         l2 = Decimals({DecNan(), Dec(-7), Dec(100)}, 2, 6);
    auto r1 = Ints({2, 1}), r2 = Ints({1, 2});
    TBaseArray* merged = nullptr;
    ASSERT_EQ(form.fn(r1.get(), l1.get(), r2.get(), l2.get(), &merged), 1);
    std::unique_ptr<TBaseArray> owned(merged);
    EXPECT_EQ(DecimalsOf(merged), (std::vector<int64_t>{INT64_MIN, -7, -5, 100}));
    NumericInfo info;
    static_cast<TNumericArray*>(merged)->GetDecimalInfo(&info);
    EXPECT_EQ(info.scale, 6);
    EXPECT_EQ(info.roundingMode, 4);
    EXPECT_EQ(IntsOf(r1.get()), (std::vector<int32_t>{3, 2}));
  }
}

TEST_F(AccommodationTest, ColumnsShareOneListWithTwoHolders) {
  auto r1 = Ints({0, 1, 2}), r2 = Ints({2, 1});
  TBaseArray* list1 = Decimals({DecNan(), Dec(1), Dec(5)}, 2, 6).release();
  TBaseArray* list2 = Decimals({DecNan(), Dec(3), Dec(5)}, 2, 6).release();
  ASSERT_EQ(AccommodateColumns(r1.get(), &list1, r2.get(), &list2), 1);
  ASSERT_EQ(list1, list2);
  EXPECT_EQ(ValueListHolders(list1), 2);
  NumericInfo info;
  static_cast<TNumericArray*>(list1)->GetDecimalInfo(&info);
  EXPECT_EQ(info.scale, 2);  // the columns keep their scale and mode
  EXPECT_EQ(info.roundingMode, 6);
  EXPECT_EQ(IntsOf(r1.get()), (std::vector<int32_t>{0, 1, 3}));
  EXPECT_EQ(IntsOf(r2.get()), (std::vector<int32_t>{3, 2}));

  // Merging the shared list with itself changes nothing.
  EXPECT_EQ(AccommodateColumns(r1.get(), &list1, r2.get(), &list2), 0);
  EXPECT_EQ(ValueListHolders(list1), 2);

  // A change through column 2 first gets column 2 its own copy; column 1 keeps the list.
  TBaseArray* shared = list1;
  UnshareValueList(&list2);
  EXPECT_NE(list2, shared);
  EXPECT_EQ(list1, shared);
  EXPECT_EQ(ValueListHolders(list1), 1);
  EXPECT_EQ(ValueListHolders(list2), 1);
  EXPECT_EQ(DecimalsOf(list2), DecimalsOf(list1));
  static_cast<TNumericArray*>(list2)->GetDecimalInfo(&info);
  EXPECT_EQ(info.scale, 2);
  UnshareValueList(&list1);  // the last holder keeps its list
  EXPECT_EQ(list1, shared);
  ReleaseValueList(list1);
  ReleaseValueList(list2);
}

TEST_F(AccommodationTest, ParallelColumnsShareOrCopy) {
  for (int share : {1, 0}) {
    SCOPED_TRACE(share);
    auto r1 = Ints({0, 1}), r2 = Ints({1});
    TBaseArray* list1 = Doubles({kDblNull, 1.0}, 7).release();
    TBaseArray* list2 = Doubles({kDblNull, 2.0}, 7).release();
    ASSERT_EQ(MppAccommodateColumns(r1.get(), &list1, r2.get(), &list2, share), 1);
    EXPECT_EQ(list1 == list2, share != 0);
    EXPECT_EQ(ValueListHolders(list1), share != 0 ? 2 : 1);
    // Both keep the DATETIME meaning, which the bare parallel merge drops.
    EXPECT_EQ(static_cast<TDoubleArray*>(list1)->GetExtendType(), 7);
    EXPECT_EQ(static_cast<TDoubleArray*>(list2)->GetExtendType(), 7);
    EXPECT_EQ(DoublesOf(list2), (std::vector<double>{kDblNull, 1.0, 2.0}));
    EXPECT_EQ(IntsOf(r2.get()), std::vector<int32_t>{2});
    ReleaseValueList(list1);
    ReleaseValueList(list2);
  }
}

TEST(ValueListShare, NeverRetainedListsHaveOneHolder) {
  TBaseArray* list = Ints({kIntNull}).release();
  EXPECT_EQ(ValueListHolders(list), 1);
  RetainValueList(list);
  RetainValueList(list);
  EXPECT_EQ(ValueListHolders(list), 3);
  ReleaseValueList(list);
  ReleaseValueList(list);
  EXPECT_EQ(ValueListHolders(list), 1);
  ReleaseValueList(list);  // deletes it (checked by the leak checker of the sanitizer build)
  EXPECT_EQ(ValueListHolders(nullptr), 0);
  ReleaseValueList(nullptr);
}

// ---- The parallel merge of two sorted lists ----

struct MergeResult {
  std::vector<int32_t> merged, map1, map2;
};

MergeResult MergeInts(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
  MergeResult r;
  r.map1.assign(a.size(), -1);
  r.map2.assign(b.size(), -1);
  void* merged = nullptr;
  int count = -1;
  DoMppMerge(const_cast<int32_t*>(a.data()), const_cast<int32_t*>(b.data()), static_cast<int>(a.size()),
             static_cast<int>(b.size()), 2, r.map1.data(), r.map2.data(), &merged, &count, nullptr, nullptr);
  r.merged.assign(static_cast<int32_t*>(merged), static_cast<int32_t*>(merged) + count);
  zpk_free(merged);
  return r;
}

TEST_F(AccommodationTest, DoMppMergeExamples) {
  struct Case {
    std::vector<int32_t> a, b, merged, map1, map2;
  } const cases[] = {
      {{1, 2, 3}, {7, 8}, {1, 2, 3, 7, 8}, {0, 1, 2}, {3, 4}},
      {{7, 8}, {1, 2, 3}, {1, 2, 3, 7, 8}, {3, 4}, {0, 1, 2}},
      {{1, 5, 9}, {5, 6}, {1, 5, 6, 9}, {0, 1, 3}, {1, 2}},
      {{1, 10}, {5, 6}, {1, 5, 6, 10}, {0, 3}, {1, 2}},
      {{5, 6}, {1, 10}, {1, 5, 6, 10}, {1, 2}, {0, 3}},
      {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {0, 1, 2}, {0, 1, 2}},
      {{}, {4, 5}, {4, 5}, {}, {0, 1}},
      {{2}, {}, {2}, {0}, {}},
  };
  for (int limit : {1, 2, 0}) {
    q7test::WorkerCap cap(limit);
    for (const Case& c : cases) {
      const MergeResult r = MergeInts(c.a, c.b);
      EXPECT_EQ(r.merged, c.merged);
      EXPECT_EQ(r.map1, c.map1);
      EXPECT_EQ(r.map2, c.map2);
    }
  }
}

TEST_F(AccommodationTest, DoMppMergeOfRandomListsMatchesASetUnion) {
  std::mt19937 gen(5);
  for (int round = 0; round < 40; ++round) {
    q7test::WorkerCap cap(1 + round % 9);
    std::vector<int32_t> a, b;
    const int span = 1 + static_cast<int>(gen() % 2000);
    for (int v = 0; v < span; ++v) {
      const uint32_t r = gen() % 4;
      if (r == 1 || r == 3) a.push_back(v);
      if (r == 2 || r == 3) b.push_back(v + static_cast<int>(round % 3) * span / 3);
    }
    std::sort(b.begin(), b.end());
    b.erase(std::unique(b.begin(), b.end()), b.end());
    std::vector<int32_t> want;
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(want));
    const MergeResult r = MergeInts(a, b);
    ASSERT_EQ(r.merged, want) << round;
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(want[static_cast<size_t>(r.map1[i])], a[i]);
    for (size_t j = 0; j < b.size(); ++j) ASSERT_EQ(want[static_cast<size_t>(r.map2[j])], b[j]);
  }
}

TEST_F(AccommodationTest, DoMppMergeKeepsTheFirstListsTexts) {
  // Separate buffers, so that equal texts have different addresses.
  const std::string ta[] = {"", "b", "c"}, tb[] = {"", "a", "c"};
  const char* a[] = {ta[0].c_str(), ta[1].c_str(), ta[2].c_str()};
  const char* b[] = {tb[0].c_str(), tb[1].c_str(), tb[2].c_str()};
  int map1[3], map2[3];
  void* merged = nullptr;
  int count = 0;
  DoMppMerge(a, b, 3, 3, 6, map1, map2, &merged, &count, nullptr, nullptr);
  ASSERT_EQ(count, 4);
  const char** m = static_cast<const char**>(merged);
  EXPECT_EQ(m[0], a[0]);
  EXPECT_EQ(m[1], b[1]);
  EXPECT_EQ(m[2], a[1]);
  EXPECT_EQ(m[3], a[2]);
  zpk_free(merged);
  EXPECT_THROW(DoMppMerge(a, b, 3, 3, 9, map1, map2, &merged, &count, nullptr, nullptr), CQ7Exception);
}

TEST_F(AccommodationTest, DoMppRenumber) {
  std::vector<int32_t> rows = {2, 0, 1, 2};
  int32_t map[] = {0, 2, 5};
  DoMppRenumber(rows.data(), 4, map, 3);
  EXPECT_EQ(rows, (std::vector<int32_t>{5, 0, 2, 5}));

  // The identity (a last entry equal to its index) leaves the rows as they are.
  int32_t identity[] = {0, 1, 2};
  DoMppRenumber(rows.data(), 4, identity, 3);
  EXPECT_EQ(rows, (std::vector<int32_t>{5, 0, 2, 5}));

  std::vector<int32_t> src = {2, 1}, dst(2, -1);
  DoMppRenumber(src.data(), dst.data(), 2, map, 3);
  EXPECT_EQ(dst, (std::vector<int32_t>{5, 2}));
  DoMppRenumber(src.data(), dst.data(), 2, identity, 3);
  EXPECT_EQ(dst, src);

  // A map count below 1 stops before the map is read (a null map would crash otherwise).
  for (int map_count : {0, -3}) {
    try {
      DoMppRenumber(rows.data(), 4, nullptr, map_count);
      FAIL();
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(TakeRing(), "DoMppRenumber|Invalid Parameter : pAggrSize");
    EXPECT_THROW(DoMppRenumber(src.data(), dst.data(), 2, nullptr, map_count), CQ7Exception);
    EXPECT_EQ(TakeRing(), "DoMppRenumber|Invalid Parameter : pAggrSize");
  }
  EXPECT_EQ(rows, (std::vector<int32_t>{5, 0, 2, 5}));
}

TEST_F(AccommodationTest, MppAccomodationMain2ConcatenatesRenumberedSlices) {
  int32_t rows1[] = {0, 2, 1}, rows2[] = {1, 0};
  int32_t list1[] = {kIntNull, 4, 9}, list2[] = {3, 9};
  int* rows = nullptr;
  void* list = nullptr;
  int n_rows = 0, count = 0;
  MppAccomodationMain2(2, rows1, list1, 3, 3, rows2, list2, 2, 2, &rows, &list, &n_rows, &count);
  ASSERT_EQ(n_rows, 5);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(std::vector<int>(rows, rows + 5), (std::vector<int>{0, 3, 2, 3, 1}));
  EXPECT_EQ(std::vector<int32_t>(static_cast<int32_t*>(list), static_cast<int32_t*>(list) + 4),
            (std::vector<int32_t>{kIntNull, 3, 4, 9}));
  zpk_free(rows);
  zpk_free(list);
}

TEST(ZpkHelpers, TypedAllocationAndNullSafeCompare) {
  for (int type = 2; type <= 8; ++type) {
    void* p = zpk_malloc_t(type, 3);
    EXPECT_NE(p, nullptr);
    zpk_free(p);
  }
  EXPECT_EQ(zpk_malloc_t(1, 3), nullptr);
  EXPECT_EQ(zpk_malloc_t(9, 3), nullptr);
  EXPECT_EQ(zpk_strcmp(nullptr, nullptr), 0);
  EXPECT_LT(zpk_strcmp(nullptr, ""), 0);
  EXPECT_GT(zpk_strcmp("", nullptr), 0);
  EXPECT_LT(zpk_strcmp("a", "b"), 0);
}

}  // namespace
