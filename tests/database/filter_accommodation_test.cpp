// The filter forms of the value-list merge: both filters end on one list (or, for the parallel
// form without sharing, on equal lists), their values unchanged, the holders counted right.
#include <gtest/gtest.h>

#include "database/FilterAccommodation.h"
#include "filter_fixture.h"
#include "values/ValueListShare.h"

namespace {

using ftest::Elements;
using ftest::IntFilter;
using ftest::IntValue;
using q7test::CodeOf;

std::vector<int> Ints(TBaseArray* list) { return Elements(static_cast<TIntArray*>(list)); }

std::vector<int> Values(TFilter* f) {
  std::vector<int> out;
  for (int r = 1; r < f->PV->FArraySize; ++r) out.push_back(IntValue(f, r));
  return out;
}

struct Form {
  const char* name;
  void (*merge)(TFilter*, TFilter*);
  bool shares;
};

const Form kForms[] = {
    {"serial", [](TFilter* a, TFilter* b) { Accommodation(a, b); }, true},
    {"parallel shared", [](TFilter* a, TFilter* b) { MppAccommodation(a, b, 1); }, true},
    {"parallel copied", [](TFilter* a, TFilter* b) { MppAccommodation(a, b, 0); }, false},
};

TEST(FilterAccommodation, MergesBothColumnsOntoOneList) {
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto a = IntFilter({5, 1, 5});  // list {NULL, 1, 5}
    auto b = IntFilter({3, 5});     // list {NULL, 3, 5}
    form.merge(a.get(), b.get());
    const std::vector<int> merged = {INT32_MIN, 1, 3, 5};
    EXPECT_EQ(Ints(a->VL), merged);
    EXPECT_EQ(Ints(b->VL), merged);
    EXPECT_EQ(Elements(a->PV), (std::vector<int>{0, 3, 1, 3}));
    EXPECT_EQ(Elements(b->PV), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(Values(a.get()), (std::vector<int>{5, 1, 5}));
    EXPECT_EQ(Values(b.get()), (std::vector<int>{3, 5}));
    EXPECT_EQ(a->FSharedVL, 0);
    if (form.shares) {
      EXPECT_EQ(a->VL, b->VL);
      EXPECT_EQ(ValueListHolders(a->VL), 2);
      EXPECT_EQ(b->FSharedVL, 1);  // counted once in the table's memory size
    } else {
      EXPECT_NE(a->VL, b->VL);
      EXPECT_EQ(ValueListHolders(a->VL), 1);
      EXPECT_EQ(ValueListHolders(b->VL), 1);
      EXPECT_EQ(b->FSharedVL, 0);
    }
    // Dropping one filter leaves the other's list whole.
    a.reset();
    EXPECT_EQ(Ints(b->VL), merged);
  }
}

TEST(FilterAccommodation, IdenticalListsChangeNothing) {
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto a = IntFilter({2, 4});
    auto b = IntFilter({4, 2, 2});
    TBaseArray* list_a = a->VL;
    TBaseArray* list_b = b->VL;
    form.merge(a.get(), b.get());
    EXPECT_EQ(a->VL, list_a);
    EXPECT_EQ(b->VL, list_b);
    EXPECT_EQ(Elements(b->PV), (std::vector<int>{0, 2, 1, 1}));
    EXPECT_EQ(ValueListHolders(list_a), 1);
  }
}

// The merged list keeps the first filter's meaning: a DATE stays a DATE next to a plain double, a
// decimal keeps its scale instead of the new array's default.
TEST(FilterAccommodation, TheMergedListCarriesTheFirstFiltersAttributes) {
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto date = ftest::DoubleFilter({40001.0, 40003.0});
    SetArrayDataTypeEx(date->VL, Q7_TYPE_DATE);
    auto plain = ftest::DoubleFilter({40002.0});
    form.merge(date.get(), plain.get());
    EXPECT_EQ(ArrayDataTypeEx(date->VL), Q7_TYPE_DATE);
    EXPECT_EQ(ArrayDataTypeEx(plain->VL), Q7_TYPE_DATE);

    auto d1 = ftest::DecimalFilter({vltest::Dec(125)});
    static_cast<TNumericArray*>(d1->VL)->SetDecimalInfo(2, Q7_ROUND_DOWN);
    auto d2 = ftest::DecimalFilter({vltest::Dec(130)});
    static_cast<TNumericArray*>(d2->VL)->SetDecimalInfo(2, Q7_ROUND_DOWN);
    form.merge(d1.get(), d2.get());
    EXPECT_EQ(static_cast<TNumericArray*>(d1->VL)->GetScale(), 2);
    EXPECT_EQ(static_cast<TNumericArray*>(d2->VL)->GetScale(), 2);
    EXPECT_EQ(static_cast<TNumericArray*>(d2->VL)->GetRoundingMode(), Q7_ROUND_DOWN);
  }
}

// b borrowed its list from a third column: the merge moves b to the new list and leaves the
// lender's list whole.
TEST(FilterAccommodation, AListBorrowedFromAThirdFilterSurvives) {
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto lender = IntFilter({7, 8});
    auto a = IntFilter({1, 8});
    auto b = IntFilter({7, 7});
    b->BorrowValueList(lender->VL);  // same entries, so b's value numbers stay valid
    TBaseArray* lent = lender->VL;
    ASSERT_EQ(ValueListHolders(lent), 2);
    form.merge(a.get(), b.get());
    EXPECT_EQ(lender->VL, lent);
    EXPECT_EQ(ValueListHolders(lent), 1);
    EXPECT_EQ(Ints(lent), (std::vector<int>{INT32_MIN, 7, 8}));
    EXPECT_EQ(Values(b.get()), (std::vector<int>{7, 7}));
    EXPECT_EQ(Values(a.get()), (std::vector<int>{1, 8}));
  }
}

// A value written through the pending list (a negative value number) is merged like the others.
TEST(FilterAccommodation, PendingValuesAreFoldedInFirst) {
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto a = IntFilter({5, 6, 7});
    a->TVLMinRecs = 1;
    a->AllocTVL();
    ASSERT_EQ(a->AppendTVLInt(2, 3), 1);
    auto b = IntFilter({6, 9});
    form.merge(a.get(), b.get());
    EXPECT_EQ(a->TVLCount, 0);
    EXPECT_EQ(Ints(a->VL), (std::vector<int>{INT32_MIN, 2, 5, 6, 7, 9}));  // 7 stays: no condensing
    EXPECT_EQ(Values(a.get()), (std::vector<int>{5, 6, 2}));
    EXPECT_EQ(Values(b.get()), (std::vector<int>{6, 9}));
  }
}

TEST(FilterAccommodation, RefusesMismatchedAndMissingLists) {
  for (const Form& form : kForms) {
    SCOPED_TRACE(form.name);
    auto ints = IntFilter({1, 2});
    auto texts = ftest::StrFilter({"x"});
    TBaseArray* int_list = ints->VL;
    EXPECT_EQ(CodeOf([&] { form.merge(ints.get(), texts.get()); }), Q7_ERROR_DATA_TYPE_MISMATCH);
    EXPECT_EQ(ints->VL, int_list);
    EXPECT_EQ(Elements(ints->PV), (std::vector<int>{0, 1, 2}));

    EXPECT_EQ(CodeOf([&] { form.merge(ints.get(), nullptr); }), Q7_ERROR_INVALID_PARAMETER);
    TFilter bare;
    EXPECT_EQ(CodeOf([&] { form.merge(&bare, ints.get()); }), Q7_ERROR_INVALID_PARAMETER);
  }
}

}  // namespace
