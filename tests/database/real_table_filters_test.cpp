// Filter management of real tables: names, the 512-filter limit, positions, moves and AddFilter2.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "table_test_support.h"
#include "values/ArrayFunctions.h"
#include "values/CompileSettings.h"
#include "values/MppCompile.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using ttest::TableTest;

class FilterManagementTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("T", 4));
  }
  int AddEmpty(const char* name, int type = Q7_TYPE_INTEGER, int position = 1024) {
    std::vector<char> buf(name, name + strlen(name) + 1);
    return t_->AddEmptyFilter(position, buf.data(), type, 0, -1);
  }
  std::vector<std::string> Names() {
    std::vector<std::string> out;
    for (int i = 0; i < t_->FnFilter; ++i) out.push_back(t_->FFilters[i]->FFilterName);
    return out;
  }
  // The value of a filter in each record, read through its value list.
  std::vector<int> IntValues(int id) {
    TFilter* f = t_->GetFilter(id);
    std::vector<int> out;
    for (int r = 1; r < f->PV->FArraySize; ++r)
      out.push_back(static_cast<TIntArray*>(f->VL)->GetInt(f->PV->GetInt(r)));
    return out;
  }
  TRealTable* t_ = nullptr;
};

struct NameCase {
  std::vector<std::string> existing;
  const char* seed;
  int keep_sharp;
  const char* want;
};

TEST_F(FilterManagementTest, GeneratedNames) {
  const NameCase cases[] = {
      {{"Amount"}, "Amount", 0, "Amount_#1"},
      {{"Amount", "Amount_#1"}, "Amount", 0, "Amount_#2"},
      {{"Amount"}, "Amount_#7", 0, "Amount_#1"},
      {{}, "Amount_#7", 0, "Amount"},
      {{}, "Amount_#7", 1, "Amount_#7"},
      {{}, "RecNo", 0, "RECNO"},
      {{}, "a b", 0, "a_b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seed);
    t_ = Real(AddTable("fresh", 4));
    TTableCollection::m_nDisableTrimUntilSharp = 1;
    for (const auto& n : c.existing) AddEmpty(n.c_str());
    TTableCollection::m_nDisableTrimUntilSharp = c.keep_sharp;
    const int id = AddEmpty(c.seed);
    TTableCollection::m_nDisableTrimUntilSharp = 0;
    ASSERT_GT(id, 0);
    EXPECT_STREQ(t_->GetFilter(id)->FFilterName, c.want);
  }
  // The seed is rewritten in the caller's buffer.
  char seed[] = "RecNo";
  char out[256];
  EXPECT_EQ(t_->GenFilterName(seed, out), 0);
  EXPECT_STREQ(seed, "RECNO");
  char empty[] = "";
  EXPECT_EQ(t_->GenFilterName(empty, out), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(DrainRing().back(), "GenFilterName|Invalid Parameter : SeedName()");
}

TEST_F(FilterManagementTest, FiveHundredTwelveFiltersThenOverflow) {
  for (int i = 0; i < TRealTable::kMaxFilters; ++i) ASSERT_EQ(AddEmpty("f"), i + 1);
  const int64_t size = t_->GetMemSize();
  EXPECT_EQ(AddEmpty("f"), Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddEmptyFilter|FilterCount overflow");
  std::vector<int> v(4, 1);
  EXPECT_EQ(AddIntFilter(t_, "g", v), Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddFilter2|FilterSize overflow");
  char name[] = "h";
  auto* numbers = new TIntArray(5, 1);
  auto* list = new TIntArray(1, 1);
  EXPECT_EQ(t_->AddFilter(0, name, numbers, list, false, 0, -1), Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddFilter|FilterCount overflow");
  delete numbers;  // a refusal leaves the arrays to the caller
  delete list;
  EXPECT_EQ(t_->FnFilter, TRealTable::kMaxFilters);
  EXPECT_EQ(t_->FLastFilterID, TRealTable::kMaxFilters);
  EXPECT_EQ(t_->GetMemSize(), size);
}

TEST_F(FilterManagementTest, PositionsAreClamped) {
  AddEmpty("a");
  AddEmpty("b");
  AddEmpty("c", Q7_TYPE_INTEGER, -5);
  AddEmpty("d", Q7_TYPE_INTEGER, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"c", "d", "a", "b"}));
  int ids[8];
  ASSERT_EQ(t_->GetFilterIDList(ids), 4);
  EXPECT_EQ(std::vector<int>(ids, ids + 4), (std::vector<int>{3, 4, 1, 2}));
  EXPECT_EQ(t_->GetFilter(3)->FOrgFltID, 3);
  EXPECT_EQ(t_->GetFilter(3)->FOrgTblID, 0);
}

TEST_F(FilterManagementTest, DroppedIDsAreNotIssuedAgain) {
  AddEmpty("a");
  const int b = AddEmpty("b");
  ASSERT_EQ(t_->DropFilter(b), 0);
  EXPECT_EQ(AddEmpty("c"), 3);
  EXPECT_EQ(t_->DropFilter(b), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(TakeRing(), "DropFilter|No Such Filter: 2");
  EXPECT_EQ(Names(), (std::vector<std::string>{"a", "c"}));
}

TEST_F(FilterManagementTest, DroppingTheFindFilterClosesTheFind) {
  const int a = AddEmpty("a");
  t_->FFindFilterID = a;
  t_->FFindFilter = t_->GetFilter(a);
  t_->FHitMapSize = 5;
  t_->FHitMap = static_cast<uint8_t*>(zpk_malloc(5));
  ASSERT_EQ(t_->DropFilter(a), 0);
  EXPECT_EQ(t_->FFindFilterID, -1);
  EXPECT_EQ(t_->FHitMap, nullptr);
  EXPECT_EQ(t_->FHitCount, 0);
  EXPECT_EQ(t_->FSearchID, TRealTable::kFirstSearchID + 1);
}

struct MoveCase {
  int from, to, result;
  std::vector<std::string> want;
  const char* ring;
};

TEST_F(FilterManagementTest, MoveFilter) {
  const MoveCase cases[] = {
      {0, 2, 0, {"b", "c", "a"}, ""},
      {2, 0, 0, {"c", "a", "b"}, ""},
      {1, 1, 0, {"a", "b", "c"}, ""},
      {0, 3, 0, {"b", "c", "a"}, ""},
      {0, 99, 0, {"b", "c", "a"}, "MoveFilter|Invalid Parameter : ToIndex"},
      {2, -4, 0, {"c", "a", "b"}, "MoveFilter|Invalid Parameter : ToIndex"},
      {3, 0, Q7_ERROR_INVALID_KEY_PARAMETER, {"a", "b", "c"}, "MoveFilter|Invalid Parameter : FromIndex"},
      {-1, 0, Q7_ERROR_INVALID_KEY_PARAMETER, {"a", "b", "c"}, "MoveFilter|Invalid Parameter : FromIndex"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
    t_ = Real(AddTable("m", 1));
    for (const char* n : {"a", "b", "c"}) AddEmpty(n);
    EXPECT_EQ(t_->MoveFilter(c.from, c.to), c.result);
    EXPECT_EQ(Names(), c.want);
    EXPECT_EQ(TakeRing(), c.ring);
  }
}

TEST_F(FilterManagementTest, AddFilter2UsesExactlyTheRecordCount) {
  std::vector<int> values = {7, -1, 7, 3, 99, 100};  // two more than the table's 4 records
  const int id = AddIntFilter(t_, "v", values);
  ASSERT_GT(id, 0);
  TFilter* f = t_->GetFilter(id);
  EXPECT_EQ(f->PV->FArraySize, 5);
  EXPECT_EQ(IntValues(id), (std::vector<int>{7, -1, 7, 3}));
  ASSERT_EQ(f->VL->FArraySize, 4);  // NULL, -1, 3, 7
  EXPECT_EQ(static_cast<TIntArray*>(f->VL)->GetInt(0), INT32_MIN);

  EXPECT_EQ(AddIntFilter(t_, "short", {1, 2, 3}), Q7_ERROR_INVALID_UNIT_WIDTH);
  EXPECT_EQ(TakeRing(), "AddFilter2|Illegal data size");
  char name[] = "w";
  EXPECT_EQ(t_->AddFilter2(1024, name, Q7_TYPE_INTEGER, 4, 8, values.data(), 0, -1),
            Q7_ERROR_INVALID_UNIT_WIDTH);
  EXPECT_EQ(t_->AddFilter2(1024, name, Q7_TYPE_INTEGER, 4, 4, nullptr, 0, -1), Q7_ERROR_INVALID_PARAMETER);
  try {
    t_->AddFilter2(1024, name, 9, 4, 4, values.data(), 0, -1);
    ADD_FAILURE() << "type 9 accepted";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_DATA_TYPE);
  }
  EXPECT_EQ(DrainRing().back(), "AddFilter2|Invalid Parameter : DataType");
  EXPECT_EQ(t_->FnFilter, 1);
}

TEST_F(FilterManagementTest, AddFilter2BuildsEveryType) {
  const double dates[] = {40000.0, -HUGE_VAL, 40000.0, 39000.0};
  const char* texts[] = {"pear", "", "pear", "apple"};
  Numeric decimals[4];
  for (int i = 0; i < 4; ++i) {
    decimals[i].low = static_cast<uint64_t>(i % 2);
    decimals[i].high = 0;
  }
  struct Case {
    int type, width;
    const void* data;
    int distinct;  // NULL included
  };
  const Case cases[] = {
      {Q7_TYPE_DATE, 8, dates, 3},
      {Q7_TYPE_STRING, 8, texts, 3},
      {Q7_TYPE_DECIMAL, 16, decimals, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    char name[] = "col";
    const int id = t_->AddFilter2(1024, name, c.type, 4, c.width, const_cast<void*>(c.data), 0, -1);
    ASSERT_GT(id, 0);
    TFilter* f = t_->GetFilter(id);
    EXPECT_EQ(ArrayDataTypeEx(f->VL), c.type);
    EXPECT_EQ(f->VL->FArraySize, c.distinct);
    EXPECT_EQ(f->PV->FArraySize, 5);
    EXPECT_EQ(f->PV->GetInt(1), f->PV->GetInt(3));  // records 1 and 3 hold equal values
  }
  auto* words = static_cast<TStrArray*>(t_->GetFilter(2)->VL);
  EXPECT_STREQ(words->GetPChar(t_->GetFilter(2)->PV->GetInt(4)), "apple");
  EXPECT_EQ(t_->GetFilter(2)->PV->GetInt(2), 0);  // the empty text is NULL
}

TEST_F(FilterManagementTest, EmptyFilters) {
  const int id = AddEmpty("d", Q7_TYPE_DATE);
  TFilter* f = t_->GetFilter(id);
  EXPECT_EQ(f->PV->FArraySize, 5);
  for (int r = 0; r < 5; ++r) EXPECT_EQ(f->PV->GetInt(r), 0);
  ASSERT_EQ(f->VL->FArraySize, 1);
  EXPECT_EQ(ArrayDataTypeEx(f->VL), Q7_TYPE_DATE);
  EXPECT_TRUE(std::isinf(static_cast<TDoubleArray*>(f->VL)->GetDouble(0)));

  TRealTable* none = Real(AddTable("none", 0));
  char name[] = "e";
  const int e = none->AddEmptyFilter(1024, name, Q7_TYPE_STRING, 0, -1);
  EXPECT_EQ(none->GetFilter(e)->PV->FArraySize, 1);

  EXPECT_THROW(AddEmpty("bad", 1), CQ7Exception);
  EXPECT_EQ(DrainRing().back(), "AddEmptyFilter|Invalid Parameter : DataType(1)");
  EXPECT_EQ(AddEmpty(""), Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(TakeRing(), "AddEmptyFilter|Illegal FilterName");
  char dummy[] = "dummy";
  EXPECT_EQ(t_->AddDummyFilter2(1024, dummy, Q7_TYPE_INTEGER, 3, 0, -1), Q7_ERROR_INVALID_UNIT_WIDTH);
  EXPECT_GT(t_->AddDummyFilter2(1024, dummy, Q7_TYPE_INTEGER, 4, 0, -1), 0);
}

TEST_F(FilterManagementTest, Lookups) {
  const int a = AddEmpty("alpha");
  const int b = AddEmpty("beta");
  EXPECT_EQ(t_->FilterID2Pos(b), 1);
  EXPECT_EQ(t_->FilterName2Pos("beta"), 1);
  EXPECT_EQ(t_->FilterName2ID("alpha"), a);
  EXPECT_EQ(t_->FilterName2ID("Alpha"), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(t_->FilterID2Pos(9), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(TakeRing(), "");
  char missing[] = "gamma";
  EXPECT_EQ(t_->GetFilterIDFromName(missing, 0), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(TakeRing(), "GetFilterIDFromName|No Filter");
  EXPECT_EQ(t_->GetFilter(9), nullptr);
  EXPECT_EQ(TakeRing(), "GetFilter|No Such Filter: 9");
  char table_name[256] = "x", filter_name[256] = "x";
  t_->FilterID2Name(b, table_name, filter_name);
  EXPECT_STREQ(table_name, "T");
  EXPECT_STREQ(filter_name, "beta");
  t_->FilterID2Name(9, table_name, filter_name);
  EXPECT_STREQ(table_name, "");
  EXPECT_STREQ(filter_name, "");
}

TEST_F(FilterManagementTest, FilterWidths) {
  const char* texts[] = {"ab", "", "abcde", "ab"};
  char name[] = "s";
  const int s = t_->AddFilter2(1024, name, Q7_TYPE_STRING, 4, 8, texts, 0, -1);
  struct Case {
    int id;
    int want;
  };
  const Case cases[] = {
      {AddEmpty("i", Q7_TYPE_INTEGER), 4},
      {AddEmpty("d", Q7_TYPE_DOUBLE), 8},
      {AddEmpty("n", Q7_TYPE_DECIMAL), 16},
      {AddEmpty("e", Q7_TYPE_STRING), 0},
      {s, 5},
      {AddEmpty("t", Q7_TYPE_DATE), Q7_ERROR_ILLEGAL_FILTER_TYPE},
      {99, Q7_ERROR_NO_SUCH_FILTER},
  };
  for (const auto& c : cases) EXPECT_EQ(t_->GetFilterWidth(c.id), c.want) << c.id;
  // A pending text longer than every listed one counts.
  TFilter* f = t_->GetFilter(s);
  f->TVLMinRecs = 1;
  f->AllocTVL();
  ASSERT_EQ(f->AppendTVLStr("abcdefgh", 2), 1);
  EXPECT_EQ(t_->GetFilterWidth(s), 8);
}

// The filter AddFilter2 builds from the caller's block equals the one the copy with the NULL put in
// front gave: the same value numbers and the same list, for every type, with NULLs of the data's
// own, NaNs, -0.0, null text pointers and trailing blanks, whether trimming is on or off.
TEST_F(FilterManagementTest, AddFilter2EqualsTheCompileOfACopy) {
  constexpr int kRows = 30011;
  std::mt19937 gen(5);
  std::vector<int32_t> ints(kRows + 3);  // more than the records: only kRows are read
  for (auto& v : ints) v = gen() % 13 == 0 ? INT32_MIN : static_cast<int32_t>(gen() % 5000) * 400009;
  std::vector<int32_t> dense(kRows + 3);
  for (auto& v : dense) v = static_cast<int32_t>(gen() % 300) + 1;
  std::vector<double> dbls(kRows);
  for (int i = 0; i < kRows; ++i) {
    const uint32_t r = gen() % 41;
    dbls[i] = r == 0   ? -HUGE_VAL
              : r == 1 ? std::nan("")
              : r == 2 ? -0.0
              : r == 3 ? 0.0
                       : (gen() % 9000) * 0.125;
  }
  std::vector<Numeric> decs(kRows);
  for (auto& v : decs) {
    const int64_t k = static_cast<int64_t>(gen() % 4000) - 2000;
    v = gen() % 17 == 0 ? Numeric{0, INT64_MIN} : Numeric{static_cast<uint64_t>(k), k < 0 ? -1 : 0};
  }
  const std::vector<std::string> pool = {"",       "   ",  "pear", "pear  ", "apple",
                                         " apple", "fig ", "fig",  "kiwi"};
  std::vector<const char*> texts(kRows);
  for (auto& t : texts) t = gen() % 23 == 0 ? nullptr : pool[gen() % pool.size()].c_str();

  struct Case {
    int type, width;
    const void* data;
  };
  const Case cases[] = {
      {Q7_TYPE_INTEGER, 4, ints.data()}, {Q7_TYPE_INTEGER, 4, dense.data()},
      {Q7_TYPE_DOUBLE, 8, dbls.data()},  {Q7_TYPE_DATE, 8, dbls.data()},
      {Q7_TYPE_STRING, 8, texts.data()}, {Q7_TYPE_DECIMAL, 16, decs.data()},
  };
  TRealTable* t = Real(AddTable("big", kRows));
  const int saved_trim = g_cut_last_space;
  for (int trim : {0, 1}) {
    g_cut_last_space = trim;
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "type " << c.type << ", trim " << trim);
      const size_t w = static_cast<size_t>(c.width);
      std::vector<unsigned char> copy((kRows + 1) * w);
      const void* null_text = "";
      const Numeric nan{0, INT64_MIN};
      const int32_t int_null = INT32_MIN;
      const double dbl_null = -HUGE_VAL;
      memcpy(copy.data(),
             c.type == Q7_TYPE_INTEGER   ? static_cast<const void*>(&int_null)
             : c.type == Q7_TYPE_STRING  ? static_cast<const void*>(&null_text)
             : c.type == Q7_TYPE_DECIMAL ? static_cast<const void*>(&nan)
                                         : static_cast<const void*>(&dbl_null),
             w);
      memcpy(copy.data() + w, c.data, kRows * w);
      int* rows = nullptr;
      int count = 0;
      void* values = nullptr;
      MppCompile(kRows + 1, c.type, c.width, copy.data(), &rows, &count, &values);
      std::unique_ptr<TIntArray> want_rows(new TIntArray(kRows + 1, rows));
      std::unique_ptr<TBaseArray> want(AdoptCompiledList(c.type, count, values));

      char name[] = "col";
      const int id = t->AddFilter2(1024, name, c.type, kRows + 3, c.width, const_cast<void*>(c.data), 0, -1);
      ASSERT_GT(id, 0);
      TFilter* f = t->GetFilter(id);
      ASSERT_EQ(f->PV->FArraySize, kRows + 1);
      EXPECT_EQ(memcmp(f->PV->FData, want_rows->FData, sizeof(int32_t) * (kRows + 1)), 0);
      ASSERT_EQ(f->VL->FArraySize, want->FArraySize);
      EXPECT_EQ(ArrayDataTypeEx(f->VL), ArrayDataTypeEx(want.get()));
      EXPECT_EQ(f->VL->FUnitSize, want->FUnitSize);
      if (c.type == Q7_TYPE_STRING) {
        auto* got_texts = static_cast<TStrArray*>(f->VL);
        auto* want_texts = static_cast<TStrArray*>(want.get());
        for (int k = 0; k < want->FArraySize; ++k)
          ASSERT_STREQ(got_texts->GetPChar(k), want_texts->GetPChar(k)) << k;
      } else {
        EXPECT_EQ(memcmp(f->VL->FData, want->FData, w * static_cast<size_t>(want->FArraySize)), 0);
      }
      t->DropFilter(id);
    }
  }
  g_cut_last_space = saved_trim;
}

}  // namespace
