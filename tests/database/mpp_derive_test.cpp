// GenFilter2, and the limits and refusals of the derived tables built on the worker pool: column
// budgets, the generated columns alone, refusals that leave no table and issue no table ID.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/MppDerive.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "table_test_support.h"
#include "values/ArrayFunctions.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using ttest::Rows;
using ttest::TableTest;

// The value of record r as text, through the list entry its number names.
std::string ValueText(TFilter* f, int r) {
  const int v = f->PV->GetInt(r);
  switch (f->VL->GetDataType()) {
    case Q7_TYPE_INTEGER:
      return v == 0 ? "NULL" : std::to_string(static_cast<TIntArray*>(f->VL)->GetInt(v));
    case Q7_TYPE_DOUBLE: {
      double d = 0;
      f->VL->GetData(v, &d);
      return v == 0 ? "NULL" : std::to_string(d);
    }
    case Q7_TYPE_STRING:
      return v == 0 ? "NULL" : static_cast<TStrArray*>(f->VL)->GetPChar(v);
    default: {
      Numeric n;
      static_cast<TNumericArray*>(f->VL)->GetDecimal(v, &n);
      return v == 0 ? "NULL" : std::to_string(static_cast<int64_t>(n.low));
    }
  }
}

TEST(GenFilter2, CompilesEachTypeAsATableCompilesAColumn) {
  const int32_t ints[] = {5, INT32_MIN, -3, 5, 9};
  const double doubles[] = {2.5, -HUGE_VAL, -1.0, 2.5, 7.0};
  const char* texts[] = {"b", "", "a", "b", "c"};
  const Numeric decs[] = {{7, 0}, {0, INT64_MIN}, {1, 0}, {7, 0}, {9, 0}};
  struct Case {
    int type;
    int width;
    const void* data;
    std::vector<std::string> want;  // per record
    int values;                     // list entries, NULL included
  };
  const Case cases[] = {
      {Q7_TYPE_INTEGER, 4, ints, {"5", "NULL", "-3", "5", "9"}, 4},
      {Q7_TYPE_DATE, 8, doubles, {"2.500000", "NULL", "-1.000000", "2.500000", "7.000000"}, 4},
      {Q7_TYPE_STRING, 8, texts, {"b", "NULL", "a", "b", "c"}, 4},
      {Q7_TYPE_DECIMAL, 16, decs, {"7", "NULL", "1", "7", "9"}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    char name[] = "col";
    std::unique_ptr<TFilter> f(GenFilter2(9, name, c.type, 5, c.width, c.data));
    EXPECT_EQ(f->FFilterID, 9);
    EXPECT_STREQ(f->FFilterName, "col");
    EXPECT_EQ(ArrayDataTypeEx(f->VL), c.type);
    ASSERT_EQ(f->PV->FArraySize, 6);
    EXPECT_EQ(f->PV->GetInt(0), 0);
    EXPECT_EQ(f->VL->FArraySize, c.values);
    for (int r = 1; r <= 5; ++r) EXPECT_EQ(ValueText(f.get(), r), c.want[static_cast<size_t>(r - 1)]) << r;
    // Ascending: the numbers of the records order them as their values do.
    EXPECT_LT(f->PV->GetInt(3), f->PV->GetInt(1));
    EXPECT_LT(f->PV->GetInt(1), f->PV->GetInt(5));
  }
}

TEST(GenFilter2, RefusesWhatItCannotCompile) {
  const int32_t ints[] = {1, 2};
  struct Case {
    const char* name;
    int type;
    int n;
    int width;
    const void* data;
    int code;
  };
  const Case cases[] = {
      {"", Q7_TYPE_INTEGER, 2, 4, ints, Q7_ERROR_ILLEGAL_FILTER_NAME},
      {"x", 9, 2, 4, ints, Q7_ERROR_INVALID_DATA_TYPE},
      {"x", Q7_TYPE_INTEGER, 2, 8, ints, Q7_ERROR_INVALID_UNIT_WIDTH},
      {"x", Q7_TYPE_INTEGER, -1, 4, ints, Q7_ERROR_INVALID_UNIT_WIDTH},
      {"x", Q7_TYPE_INTEGER, 2, 4, nullptr, Q7_ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::string name(c.name);
    try {
      delete GenFilter2(1, name.data(), c.type, c.n, c.width, c.data);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
  }
  char name[] = "empty";
  std::unique_ptr<TFilter> empty(GenFilter2(1, name, Q7_TYPE_INTEGER, 0, 4, nullptr));
  EXPECT_EQ(empty->VL->FArraySize, 1);
  EXPECT_EQ(empty->PV->FArraySize, 1);
}

class MppDeriveTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    src_ = AddTable("src", 6);
    f_ = AddIntFilter(Real(src_), "v", {4, 4, 1, 9, 1, 2});
  }
  int src_ = 0;
  int f_ = 0;
};

TEST_F(MppDeriveTest, GeneratedColumnsAloneAndTheColumnBudget) {
  char name[] = "t";
  int none[] = {0};
  TRealTable* only = Real(db_->MppExtractRealTable(name, src_, 1, 1, 1, none));
  ASSERT_NE(only, nullptr);
  ASSERT_EQ(only->FnFilter, 2);
  EXPECT_STREQ(only->FFilters[0]->FFilterName, "#TABLE_ID");
  EXPECT_STREQ(only->FFilters[1]->FFilterName, "#REC_NO");
  EXPECT_EQ(only->FFilters[1]->FFilterID, 2);
  TRealTable* combined = Real(db_->MppCombineRealTable(name, 1, 1, src_, 1, none, src_, 1, none, 0));
  ASSERT_NE(combined, nullptr);
  ASSERT_EQ(combined->FnFilter, 2);
  EXPECT_STREQ(combined->FFilters[0]->FFilterName, "TableID");
  EXPECT_STREQ(combined->FFilters[1]->FFilterName, "RecNo");
  EXPECT_EQ(ValueText(combined->FFilters[1], 12), "6");

  // 600 listed filters: 510 of them fit beside the two generated columns, each named apart.
  std::vector<int> many(600, f_);
  many.push_back(0);
  TRealTable* full = Real(db_->MppExtractRealTable(name, src_, 1, 1, 1, many.data()));
  TRealTable* serial = Real(db_->ExtractRealTable(name, src_, 1, 1, 1, many.data()));
  ASSERT_NE(full, nullptr);
  ASSERT_NE(serial, nullptr);
  ASSERT_EQ(full->FnFilter, TRealTable::kMaxFilters);
  for (int i = 0; i < full->FnFilter; ++i) {
    ASSERT_STREQ(full->FFilters[i]->FFilterName, serial->FFilters[i]->FFilterName) << i;
    ASSERT_EQ(full->FFilters[i]->FFilterID, i + 1);
    ASSERT_EQ(ValueText(full->FFilters[i], 4), ValueText(serial->FFilters[i], 4));
  }
  EXPECT_STREQ(full->FFilters[511]->FFilterName, "v_#509");
}

TEST_F(MppDeriveTest, RefusalsLeaveNoTableAndIssueNoTableID) {
  char name[] = "t";
  int missing[] = {f_, 77, 0};
  int twice[] = {f_, f_, 0};
  int bad_pair_a[] = {-1, 0};
  int bad_pair_b[] = {f_, 0};
  const int issued = db_->FTblIDIssued;
  const int tables = db_->TableCount();
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
  };
  const Case cases[] = {
      {"extract, missing filter", [&] { return db_->MppExtractRealTable(name, src_, 1, 1, 1, missing); },
       Q7_ERROR_NO_SUCH_FILTER},
      {"extract, missing set", [&] { return db_->MppExtractRealTable(name, src_, 5, 0, 0, missing); },
       Q7_ERROR_NO_SUCH_SET},
      {"duplicate, no such table", [&] { return db_->MppDuplicateRealTable(name, 99); },
       Q7_ERROR_NO_SUCH_TABLE},
      {"combine, negative pair",
       [&] { return db_->MppCombineRealTable(name, 0, 0, src_, 1, bad_pair_a, src_, 1, bad_pair_b, 0); },
       Q7_ERROR_FILTER_TYPE_MISMATCH},
      {"combine, missing filter",
       [&] { return db_->MppCombineRealTable(name, 0, 0, src_, 1, missing, src_, 1, twice, 0); },
       Q7_ERROR_NO_SUCH_FILTER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int code = 0;
    try {
      code = c.call();
    } catch (const CQ7Exception& e) {
      code = e.ErrorCode();
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(db_->FTblIDIssued, issued);
    EXPECT_EQ(db_->TableCount(), tables);
  }
  // The table level refuses a negative ID facing a positive one itself.
  TRealTable empty(db_->FTblIDIssued + 1, name, db_.get());
  TRealTable* src = Real(src_);
  try {
    empty.MppCombineRealTable(0, 0, 1, bad_pair_a, src, 1, bad_pair_b, src, 0, 0, nullptr, nullptr, nullptr,
                              nullptr);
    ADD_FAILURE() << "accepted";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_ILLEGAL_FILTER);
  }
}

}  // namespace
