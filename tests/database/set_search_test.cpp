// Value searches on sets against a row-by-row reference, with NULLs, and their refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "database/FindPosOfSortedSet.h"
#include "database/SearchCodes.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "tests/database/filter_fixture.h"

using namespace ftest;

namespace {

// ---- A reference search, row by row, from the raw values ----
// The rules: NULL is the smallest value of a numeric column; less and less-or-equal never select
// NULL rows; the complement of equal never holds them; greater-or-equal and greater-than follow
// the order (so a NULL bound makes greater-or-equal select every row); bit 0x80 empties a search
// with a NULL bound and keeps NULL rows out of every complement. STRING columns order the empty
// text first like any value; only a plain less-or-equal with an empty bound selects nothing (also
// when it comes from a negated greater-than).

struct IntTraits {
  using V = int32_t;
  static bool IsNull(V v) { return v == kIntNull; }
  static bool Less(V a, V b) { return a < b; }
  static const char* Ptr(const V& v) { return reinterpret_cast<const char*>(&v); }
};
struct DoubleTraits {
  using V = double;
  static bool IsNull(V v) { return !(v > kDblNull); }
  static bool Less(V a, V b) { return a < b; }
  static const char* Ptr(const V& v) { return reinterpret_cast<const char*>(&v); }
};
struct DecimalTraits {
  using V = Numeric;
  static bool IsNull(const V& v) { return v.high == INT64_MIN && v.low == 0; }
  static bool Less(const V& a, const V& b) { return a.high != b.high ? a.high < b.high : a.low < b.low; }
  static const char* Ptr(const V& v) { return reinterpret_cast<const char*>(&v); }
};
struct StrTraits {
  using V = std::string;
  static bool IsNull(const V&) { return false; }
  static bool Less(const V& a, const V& b) { return strcmp(a.c_str(), b.c_str()) < 0; }
  static const char* Ptr(const V& v) { return v.c_str(); }
};

template <class T>
bool Selected(const typename T::V& x, int op, const typename T::V& from, const typename T::V& to, bool negate,
              bool is_string) {
  int code = SearchCode(op);
  const bool excl = NullBoundEmpty(op);
  if (code == 3 || code == 4 || code == 7) {
    code = code == 3 ? 6 : (code == 4 ? 0 : 2);
    negate = !negate;
  }
  auto less = [](const auto& a, const auto& b) { return T::Less(a, b); };
  auto eq = [&](const auto& a, const auto& b) { return !less(a, b) && !less(b, a); };
  if constexpr (std::is_same_v<typename T::V, std::string>) {
    (void)is_string;
    const std::string& s = x;
    const std::string& f = from;
    bool p = false;
    switch (code) {
      case 0:
        p = eq(x, from);
        break;
      case 1:
        p = !less(x, from) && !less(to, x);
        break;
      case 2:
        p = (!excl && f.empty() && !negate) ? false : !less(from, x);
        break;
      case 5:
        p = less(from, x) && less(x, to);
        break;
      case 6:
        p = less(x, from);
        break;
      case 8:
        p = s.compare(0, f.size(), f) == 0;
        break;
      case 9:
        p = s.find(f) != std::string::npos;
        break;
      case 10:
        p = s.size() >= f.size() && s.compare(s.size() - f.size(), f.size(), f) == 0;
        break;
    }
    return negate ? !p : p;
  } else {
    const bool uses_from = code != 11;
    const bool uses_to = code == 1 || code == 5;
    if (excl && ((uses_from && T::IsNull(from)) || (uses_to && T::IsNull(to)))) return false;
    const bool null = T::IsNull(x);
    bool p = false;
    switch (code) {
      case 0:
        p = eq(x, from);
        break;
      case 1:
        p = !less(x, from) && !less(to, x);
        break;
      case 2:
        p = !null && !less(from, x);
        break;
      case 5:
        p = less(from, x) && less(x, to);
        break;
      case 6:
        p = !null && less(x, from);
        break;
      case 11:
        p = null;
        break;
    }
    if (!negate) return p;
    bool r = false;
    switch (code) {
      case 0:
        r = !p && !null;
        break;
      case 2:
        r = less(from, x);
        break;
      case 6:
        r = !less(x, from);
        break;
      case 11:
        r = !null;
        break;
      default:
        r = !p;
        break;
    }
    return r && !(excl && null);
  }
}

template <class T>
struct Fixture {
  std::vector<typename T::V> values;  // record r holds values[r - 1]
  std::vector<typename T::V> bounds;
  std::unique_ptr<TFilter> filter;
  std::vector<std::vector<int>> sets;
};

std::string Describe(int op, bool negate, int from, int to) {
  return "op " + std::to_string(op) + (negate ? " negated" : "") + " bounds #" + std::to_string(from) +
         ", #" + std::to_string(to);
}

// Every operator, with and without negate and bit 0x80, over every pair of bounds and every set:
// the scan gives the reference rows in set order; a built view gives the same rows in value order.
template <class T>
void CheckEverySearch(Fixture<T>& fx, bool is_string) {
  const std::vector<int> ops = is_string ? std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}
                                         : std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 11};
  const int* vno = fx.filter->PV->PIntAr();
  for (const auto& records : fx.sets) {
    auto set = MakeSet(records);
    for (int with_view = 0; with_view < 2; ++with_view) {
      if (with_view) {
        auto* view = new TSortedSetArray();
        view->initialize(set.get(), fx.filter.get());
        view->Reclaim();
      }
      for (int base : ops) {
        for (int excl : {0, 0x80}) {
          const int op = base | excl;
          const int n_from = base == 11 ? 1 : static_cast<int>(fx.bounds.size());
          const int n_to = (base == 1 || base == 5) ? static_cast<int>(fx.bounds.size()) : 1;
          for (int negate = 0; negate < 2; ++negate) {
            for (int i = 0; i < n_from; ++i) {
              for (int j = 0; j < n_to; ++j) {
                const auto& from = fx.bounds[static_cast<size_t>(i)];
                const auto& to = fx.bounds[static_cast<size_t>(j)];
                std::vector<int> want;
                for (int r : records) {
                  if (Selected<T>(fx.values[static_cast<size_t>(r - 1)], op, from, to, negate != 0,
                                  is_string)) {
                    want.push_back(r);
                  }
                }
                if (with_view && base != 9 && base != 10) {
                  std::stable_sort(want.begin(), want.end(), [&](int a, int b) { return vno[a] < vno[b]; });
                }
                std::vector<int> got =
                    Take(set->SearchByValue(fx.filter.get(), op, T::Ptr(from), T::Ptr(to), negate != 0));
                ASSERT_EQ(got, want) << Describe(op, negate, i, j) << (with_view ? " with view" : " scan")
                                     << ", set of " << records.size();
              }
            }
          }
        }
      }
      set->RemoveSortedSet(fx.filter.get());
    }
  }
}

// Sets: all records, all records backwards, and a shuffled part holding repeated values.
std::vector<std::vector<int>> StandardSets(int n, const std::vector<int>& part) {
  std::vector<int> all(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) all[static_cast<size_t>(i)] = i + 1;
  std::vector<int> back(all.rbegin(), all.rend());
  return {all, back, part};
}

TEST(SetSearch, IntegerColumnWithNulls) {
  Fixture<IntTraits> fx;
  fx.values = {5, kIntNull, 10, 20, 5, kIntNull, 7, 20, 3, 10, 5, -4, 2147483647, -2147483647};
  fx.bounds = {kIntNull, -2147483647, -4, 0, 3, 5, 6, 10, 20, 21, 2147483647};
  fx.filter = IntFilter(fx.values);
  fx.sets = StandardSets(static_cast<int>(fx.values.size()), {12, 3, 7, 1, 2, 9, 5, 6});
  CheckEverySearch(fx, false);
}

TEST(SetSearch, DoubleColumnWithNulls) {
  Fixture<DoubleTraits> fx;
  fx.values = {1.5, kDblNull, -2, 3.25, 1.5, 0, kDblNull, 100, -0.0, 3.25};
  fx.bounds = {kDblNull, -3, -2, 0, 1.5, 2, 3.25, 100, 1e9};
  fx.filter = DoubleFilter(fx.values, Q7_TYPE_DATETIME);
  fx.sets = StandardSets(static_cast<int>(fx.values.size()), {10, 2, 4, 7, 1});
  CheckEverySearch(fx, false);
}

TEST(SetSearch, DecimalColumnWithNulls) {
  Fixture<DecimalTraits> fx;
  fx.values = {Dec(125), DecNan(), Dec(-5), Dec(0), Dec(125), Dec(999), DecNan(), Dec(-5)};
  fx.bounds = {DecNan(), Dec(-6), Dec(-5), Dec(0), Dec(124), Dec(125), Dec(1000)};
  fx.filter = DecimalFilter(fx.values);
  fx.sets = StandardSets(static_cast<int>(fx.values.size()), {8, 2, 1, 5, 3});
  CheckEverySearch(fx, false);
}

TEST(SetSearch, StringColumnWithEmptyTexts) {
  Fixture<StrTraits> fx;
  fx.values = {"ab", "", "abz", "ac", "b", "ab", "", "xyzab", "zab", "a", "ab\xff", "ab\xffq", "abc"};
  fx.bounds = {"", "a", "ab", "abz", "ac", "b", "zz", "ab\xff", "\xff", "z"};
  fx.filter = StrFilter(fx.values);
  fx.sets = StandardSets(static_cast<int>(fx.values.size()), {13, 2, 6, 1, 11, 8, 7});
  CheckEverySearch(fx, true);
}

// A set much smaller than the value list is searched over the value numbers it uses (the scope
// form); the rows are those the reference gives, bounds inside and outside the set alike.
TEST(SetSearch, SmallSetsOfLargeColumns) {
  Fixture<IntTraits> fx;
  for (int i = 0; i < 4000; ++i) fx.values.push_back(i % 13 == 0 ? kIntNull : (i * 7919) % 1500 - 700);
  fx.filter = IntFilter(fx.values);
  std::vector<int> part;
  for (int k = 0; k < 30; ++k) part.push_back(1 + (k * 2621) % 4000);
  part.push_back(1);  // a NULL row
  fx.sets = {part, {part.begin() + 1, part.end() - 1}};
  fx.bounds = {kIntNull, -701, -700, 0, 799, 800};
  for (int k : {3, 4, 17})
    fx.bounds.push_back(fx.values[static_cast<size_t>(part[static_cast<size_t>(k)] - 1)]);
  CheckEverySearch(fx, false);

  Fixture<StrTraits> sx;
  for (int i = 0; i < 2000; ++i)
    sx.values.push_back(i % 11 == 0 ? "" : "k" + std::to_string((i * 31) % 1700));
  sx.filter = StrFilter(sx.values);
  std::vector<int> spart;
  for (int k = 0; k < 20; ++k) spart.push_back(1 + (k * 397) % 2000);
  sx.sets = {spart};
  sx.bounds = {"", "k", "k1", "k100", "k5", "k9999", "z", "0"};
  CheckEverySearch(sx, true);
}

// The cases the reference is built from, spelled out.
TEST(SetSearch, NamedCases) {
  auto ints = IntFilter({5, 10, 20, kIntNull});
  auto all = AllRecords(4);
  struct Case {
    const char* what;
    int op;
    int from, to;
    bool negate;
    std::vector<int> want;
  } const cases[] = {
      {"greater or equal 10", 3, 10, 0, false, {2, 3}},
      {"greater than 10", 7, 10, 0, false, {3}},
      {"less or equal 5", 2, 5, 0, false, {1}},
      {"not equal 7", 4, 7, 0, false, {1, 2, 3}},
      {"equal NULL", 0, kIntNull, 0, false, {4}},
      {"equal NULL, NULL-excluding", 128, kIntNull, 0, false, {}},
      {"between 20 and 5", 1, 20, 5, false, {}},
      {"not between 20 and 5", 1, 20, 5, true, {1, 2, 3, 4}},
      {"between NULL and 5", 1, kIntNull, 5, false, {1, 4}},
      {"between NULL and 5, NULL-excluding", 129, kIntNull, 5, false, {}},
      {"not within 5 and 20", 5, 5, 20, true, {1, 3, 4}},
      {"not within 5 and 20, NULL-excluding", 133, 5, 20, true, {1, 3}},
      {"greater or equal NULL", 3, kIntNull, 0, false, {1, 2, 3, 4}},
      {"not equal NULL", 4, kIntNull, 0, false, {1, 2, 3}},
      {"IS NULL", 11, 0, 0, false, {4}},
      {"IS NOT NULL", 11, 0, 0, true, {1, 2, 3}},
      {"IS NULL with bit 0x80", 139, 0, 0, false, {4}},
  };
  for (int with_view = 0; with_view < 2; ++with_view) {
    if (with_view) {
      auto* view = new TSortedSetArray();
      view->initialize(all.get(), ints.get());
      view->Reclaim();
    }
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << (with_view ? " with view" : ""));
      const char* from = reinterpret_cast<const char*>(&c.from);
      const char* to = reinterpret_cast<const char*>(&c.to);
      std::vector<int> got = Take(all->SearchByValue(ints.get(), c.op, from, to, c.negate));
      std::vector<int> want = c.want;
      if (with_view)
        std::sort(want.begin(), want.end(),
                  [&](int a, int b) { return ints->PV->GetInt(a) < ints->PV->GetInt(b); });
      EXPECT_EQ(got, want);
    }
  }

  auto texts = StrFilter({"ab", "abz", "ac", "", "b"});
  auto five = AllRecords(5);
  struct TextCase {
    const char* what;
    int op;
    const char* from;
    bool negate;
    std::vector<int> want;
  } const text_cases[] = {
      {"left match ab", 8, "ab", false, {1, 2}},
      {"left match empty", 8, "", false, {1, 2, 3, 4, 5}},
      {"not left match empty", 8, "", true, {}},
      {"less or equal empty", 2, "", false, {}},
      {"less or equal empty, bit 0x80", 130, "", false, {4}},
      {"less than b", 6, "b", false, {1, 2, 3, 4}},
      {"middle match b", 9, "b", false, {1, 2, 5}},
      {"right match z", 10, "z", false, {2}},
      {"right match longer than every text", 10, "xabz", false, {}},
  };
  for (const TextCase& c : text_cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Take(five->SearchByValue(texts.get(), c.op, c.from, c.from, c.negate)), c.want);
  }
}

using SetSearchErrors = RingTest;

TEST_F(SetSearchErrors, RefusedRequestsCarryTheirMessages) {
  auto ints = IntFilter({1, 2});
  auto texts = StrFilter({"a", "b"});
  auto set = AllRecords(2);
  const int32_t v = 1;
  const char* p = reinterpret_cast<const char*>(&v);
  struct Case {
    TFilter* filter;
    int op;
    const char* ring;
    const char* message;
  } const cases[] = {
      {ints.get(), 12, "SearchByValue|Invalid Parameter : OpeNo", "Unknown operation number: 12"},
      {ints.get(), 140, "SearchByValue|Invalid Parameter : OpeNo", "Unknown operation number: 140"},
      {ints.get(), 8, "SearchByValue|Illegal data type ( Not STRING )",
       "String operation for Integer column is not allowed."},
      {ints.get(), 138, "SearchByValue|Illegal data type ( Not STRING )",
       "String operation for Integer column is not allowed."},
      {texts.get(), 11, "SearchByValue|Illegal data type ( Is STRING )",
       "'IS NULL' operation for String column is not allowd."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    try {
      delete set->SearchByValue(c.filter, c.op, c.filter == ints.get() ? p : "a", p, false);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_OPERATION);
      EXPECT_STREQ(e.Message(), c.message);
    }
    EXPECT_EQ(TakeRing(), c.ring);
  }
  // The view serves only mapped codes; a code that reaches it unmapped is refused.
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), ints.get());
  view->Reclaim();
  EXPECT_THROW(delete view->SearchByValue(3, p, p, false), CQ7Exception);
  EXPECT_EQ(TakeRing(), "SearchByValue|Invalid Parameter : OpeNo");
}

TEST(SetSearchNValues, KeepsTheRowsHoldingAnyValueInSetOrder) {
  auto ints = IntFilter({5, kIntNull, 7, 5, 9});
  auto set = MakeSet({5, 4, 3, 2, 1});
  const int32_t present[] = {5, 9, 5, 123};
  EXPECT_EQ(Take(set->SearchByNValues(ints.get(), 4, present)), (std::vector<int>{5, 4, 1}));
  const int32_t absent[] = {6, 8};
  EXPECT_TRUE(Take(set->SearchByNValues(ints.get(), 2, absent)).empty());
  const int32_t null[] = {kIntNull};
  EXPECT_EQ(Take(set->SearchByNValues(ints.get(), 1, null)), (std::vector<int>{2}));
  EXPECT_TRUE(Take(set->SearchByNValues(ints.get(), 0, present)).empty());
  EXPECT_THROW(delete set->SearchByNValues(ints.get(), -1, present), CQ7Exception);

  auto texts = StrFilter({"x", "", "y"});
  auto three = AllRecords(3);
  const char* wanted[] = {"y", "", "nope"};
  EXPECT_EQ(Take(three->SearchByNValues(texts.get(), 3, wanted)), (std::vector<int>{2, 3}));
  auto decs = DecimalFilter({Dec(1), Dec(2)});
  auto two = AllRecords(2);
  const Numeric d[] = {Dec(2)};
  EXPECT_EQ(Take(two->SearchByNValues(decs.get(), 1, d)), (std::vector<int>{2}));
  auto dbls = DoubleFilter({0.5, 1.5});
  const double x[] = {1.5, -0.0};
  EXPECT_EQ(Take(two->SearchByNValues(dbls.get(), 2, x)), (std::vector<int>{2}));
}

// ---- The set object ----

TEST(SetArray, CopiesKeepOrderAndAttributesButNoViews) {
  auto f = IntFilter({1, 2, 3});
  auto set = MakeSet({3, 0, 1, -2, 2});
  set->FUserArea[9] = 0x42;
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), f.get());
  std::unique_ptr<TSetArray> copy(static_cast<TSetArray*>(set->CopyArray()));
  EXPECT_EQ(Elements(copy.get()), (std::vector<int>{3, 0, 1, -2, 2}));
  EXPECT_EQ(copy->FUserArea[9], 0x42);
  EXPECT_TRUE(copy->SortedSets().empty());
  EXPECT_EQ(Take(set->CopyWithout0()), (std::vector<int>{3, 1, 2}));
  EXPECT_GT(set->GetMemSize(), copy->GetMemSize());
  EXPECT_EQ(set->GetSortedSet(f.get()), view);
  set->RemoveSortedSet(f.get());
  EXPECT_EQ(set->GetSortedSet(f.get()), nullptr);
  EXPECT_TRUE(f->SortedSets().empty());
}

TEST(SetArray, SearchResultsCarryTheSourceAttributes) {
  auto f = IntFilter({1, 2, 3});
  auto set = AllRecords(3);
  set->FUserArea[0] = 7;
  const int32_t two = 2;
  std::unique_ptr<TSetArray> hit(
      set->SearchByValue(f.get(), 0, reinterpret_cast<const char*>(&two), nullptr, false));
  EXPECT_EQ(hit->FUserArea[0], 7);
  EXPECT_EQ(hit->FAllocSize, hit->FArraySize);
  auto empty = MakeSet({});
  empty->FUserArea[0] = 9;
  std::unique_ptr<TSetArray> none(
      empty->SearchByValue(f.get(), 2, reinterpret_cast<const char*>(&two), nullptr, false));
  EXPECT_EQ(none->FArraySize, 0);
  EXPECT_EQ(none->FUserArea[0], 9);
}

// ---- Sorted views ----

TEST(SortedView, FindsRunsByValue) {
  auto f = IntFilter({30, kIntNull, 10, 30, kIntNull, 20});
  auto set = AllRecords(6);
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), f.get());
  view->Reclaim();
  EXPECT_EQ(Elements(view), (std::vector<int>{2, 5, 3, 6, 1, 4}));
  EXPECT_EQ(view->NullCount(), 2);
  struct Case {
    int32_t v;
    int first, end;
  } const cases[] = {{kIntNull, 0, 2}, {10, 2, 3}, {15, 3, 3}, {30, 4, 6}, {31, 6, 6}, {-5, 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    int first = -1, end = -1;
    EXPECT_EQ(FindPosIntOfSortedSet(c.v, view, f.get(), &end, &first), 0);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(end, c.end);
    FindPosIntOfSortedSet(c.v, view, f.get(), nullptr, nullptr);  // null outputs are skipped
  }
  // All rows NULL: a non-NULL value stands after them, the NULL covers them.
  auto nulls = IntFilter({kIntNull, kIntNull});
  auto two = AllRecords(2);
  auto* v2 = new TSortedSetArray();
  v2->initialize(two.get(), nulls.get());
  v2->Reclaim();
  int first = -1, end = -1;
  FindPosIntOfSortedSet(4, v2, nulls.get(), &end, &first);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(end, 2);
  FindPosIntOfSortedSet(kIntNull, v2, nulls.get(), &end, &first);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(end, 2);

  auto texts = StrFilter({"b", "", "a", "b"});
  auto four = AllRecords(4);
  auto* v3 = new TSortedSetArray();
  v3->initialize(four.get(), texts.get());
  v3->Reclaim();
  EXPECT_EQ(v3->NullCount(), 0);  // the empty text is an ordinary value
  FindPosStrOfSortedSet("b", v3, texts.get(), &end, &first);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(end, 4);
}

TEST(SortedView, RecordRoundTripAndDamagedNullCount) {
  auto f = IntFilter({2, kIntNull, 1});
  auto set = AllRecords(3);
  auto* view = new TSortedSetArray();
  view->initialize(set.get(), f.get());
  view->Reclaim();
  std::vector<uint64_t> block(256, 0);
  auto* bytes = reinterpret_cast<char*>(block.data());
  {
    CMemFile mf(bytes, static_cast<long>(block.size() * 8));
    mf.writeFileHeader();
    view->SaveArray2Mem(&mf);
    const int32_t nulls = view->NullCount();
    zpk_write2mem(&mf, &nulls, 4, 1);
  }
  {
    CMemFile mf(bytes, static_cast<long>(block.size() * 8));
    mf.readFileHeader();
    TSortedSetArray loaded(&mf, nullptr, 0);
    EXPECT_EQ(Elements(&loaded), Elements(view));
    EXPECT_EQ(loaded.NullCount(), 1);
  }
  // The NULL count must describe a prefix of the rows.
  const size_t nulls_at = 256 + 96 + 16;
  int32_t bad = 4;
  memcpy(bytes + nulls_at, &bad, 4);
  CMemFile mf(bytes, static_cast<long>(block.size() * 8));
  mf.readFileHeader();
  EXPECT_THROW(TSortedSetArray loaded(&mf, nullptr, 0), CQ7Exception);
}

}  // namespace
