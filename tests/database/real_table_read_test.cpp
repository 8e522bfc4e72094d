// Reading real-table values: each type and its NULL, sized reads, addresses and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "tests/database/search_support.h"
#include "values/TIntArray.h"

using namespace stest;

namespace {

class RealTableRead : public ttest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("T", 3));
    ints_ = AddColumn<IntKind>(t_, "I", {7, kIntNull, -2});
    dates_ = AddColumn<DateKind>(t_, "D", {45000.5, kDblNull, 1});
    texts_ = AddColumn<StrKind>(t_, "S", {"abc", "", "hello world"});
    decimals_ = AddColumn<DecimalKind>(t_, "N", {Dec(1234), DecNan(), Dec(-5)});
    DrainRing();
  }
  TRealTable* t_ = nullptr;
  int ints_ = 0, dates_ = 0, texts_ = 0, decimals_ = 0;
};

TEST_F(RealTableRead, ReadsEachTypeAndItsNull) {
  int type = 0;
  alignas(16) char buf[4096];
  EXPECT_EQ(t_->ReadData(1, 0, 0, &type, buf), 4);
  EXPECT_EQ(type, Q7_TYPE_INTEGER);
  EXPECT_EQ(*reinterpret_cast<int32_t*>(buf), 1);

  EXPECT_EQ(t_->ReadData(1, ints_, 0, &type, buf), 4);
  EXPECT_EQ(*reinterpret_cast<int32_t*>(buf), 7);
  EXPECT_EQ(t_->ReadData(1, ints_, 1, &type, buf), 4);
  EXPECT_EQ(*reinterpret_cast<int32_t*>(buf), kIntNull);

  EXPECT_EQ(t_->ReadData(1, dates_, 0, &type, buf), 8);
  EXPECT_EQ(type, Q7_TYPE_DATE);
  EXPECT_EQ(*reinterpret_cast<double*>(buf), 45000.5);
  EXPECT_EQ(t_->ReadData(1, dates_, 1, &type, buf), 8);
  EXPECT_EQ(*reinterpret_cast<double*>(buf), -HUGE_VAL);

  EXPECT_EQ(t_->ReadData(1, texts_, 2, &type, buf), 11);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_STREQ(buf, "hello world");
  EXPECT_EQ(t_->ReadData(1, texts_, 1, &type, buf), 0);
  EXPECT_STREQ(buf, "");

  EXPECT_EQ(t_->ReadData(1, decimals_, 2, &type, buf), 16);
  EXPECT_EQ(type, Q7_TYPE_DECIMAL);
  EXPECT_TRUE(DecimalKind::Compare(*reinterpret_cast<Numeric*>(buf), Dec(-5)) == 0);
  EXPECT_EQ(t_->ReadData(1, decimals_, 1, &type, buf), 16);
  EXPECT_TRUE(DecimalKind::IsNull(*reinterpret_cast<Numeric*>(buf)));
}

TEST_F(RealTableRead, SizedReadCutsTextsAndRefusesNoRoom) {
  int type = 0;
  char buf[8];
  memset(buf, 'z', sizeof buf);
  EXPECT_EQ(t_->ReadData(1, texts_, 2, &type, buf, 6), 5);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(t_->ReadData(1, texts_, 2, &type, buf, 1), 0);
  EXPECT_STREQ(buf, "");
  buf[0] = 'z';
  EXPECT_EQ(t_->ReadData(1, texts_, 2, &type, buf, 0), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(t_->ReadData(1, texts_, 2, &type, buf, -3), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(buf[0], 'z');
}

TEST_F(RealTableRead, LongTextsAreCutAt4095Bytes) {
  TRealTable* t = Real(AddTable("L", 1));
  const std::string text(5000, 'q');
  const int f = AddColumn<StrKind>(t, "S", {text});
  ASSERT_GT(f, 0);
  int type = 0;
  std::vector<char> buf(4096, 'x');
  EXPECT_EQ(t->ReadData(1, f, 0, &type, buf.data()), 4095);
  EXPECT_EQ(std::string(buf.data()), text.substr(0, 4095));
  EXPECT_EQ(t->ReadData(1, f, 0, &type, buf.data(), 100), 99);
  EXPECT_EQ(std::string(buf.data()), text.substr(0, 99));
}

TEST_F(RealTableRead, AddressesPointAtTheStoredValues) {
  int type = 0;
  long address = 0;
  EXPECT_EQ(t_->ReadData(1, ints_, 2, &type, &address), 4);
  EXPECT_EQ(*reinterpret_cast<int32_t*>(address), -2);
  EXPECT_EQ(t_->ReadData(1, dates_, 2, &type, &address), 8);
  EXPECT_EQ(type, Q7_TYPE_DATE);
  EXPECT_EQ(*reinterpret_cast<double*>(address), 1.0);
  EXPECT_EQ(t_->ReadData(1, texts_, 0, &type, &address), 3);
  EXPECT_STREQ(reinterpret_cast<const char*>(address), "abc");
  EXPECT_EQ(t_->ReadData(1, decimals_, 0, &type, &address), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(type, Q7_TYPE_DECIMAL);
  EXPECT_EQ(t_->ReadData(1, 0, 0, &type, &address), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"ReadData|No Such Filter: 0"});
}

TEST_F(RealTableRead, RefusedRowsSetsAndFilters) {
  int type = 0;
  char buf[4096];
  struct Case {
    int set, filter, row, code;
    std::vector<std::string> ring;
  } const cases[] = {
      {1, ints_, -1, Q7_ERROR_NO_SUCH_SET, {"ReadData|No Such Record: -1 "}},
      {1, ints_, 3, Q7_ERROR_NO_SUCH_SET, {}},
      {1, 99, 0, Q7_ERROR_NO_SUCH_FILTER, {"ReadData|No Such Filter: 99"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(t_->ReadData(c.set, c.filter, c.row, &type, buf), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  EXPECT_EQ(t_->ReadData(42, ints_, 0, &type, buf), Q7_ERROR_NO_SUCH_SET);
  int vno = 0;
  EXPECT_EQ(t_->GetVNo(1, ints_, 3, &vno), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(t_->GetVNo(1, 99, 0, &vno), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(t_->GetVNo(1, ints_, -1, &vno), Q7_ERROR_NO_SUCH_SET);
}

TEST_F(RealTableRead, NegativeSetReadsTheCurrentSet) {
  const int back[] = {3, 2, 1};
  t_->AddSetFromRows(3, back);
  int type = 0;
  int32_t v = 0;
  EXPECT_EQ(t_->ReadData(-1, ints_, 0, &type, &v), 4);
  EXPECT_EQ(v, -2);
  EXPECT_EQ(t_->ReadData(-1, 0, 0, &type, &v), 4);
  EXPECT_EQ(v, 3);
}

// A value written through the pending list reads at once; GetVNo and CountN fold the pending
// values into the list first, so the numbers they give index the list.
TEST_F(RealTableRead, PendingValuesReadAndAreMergedBeforeNumbersAreGiven) {
  std::vector<int32_t> values;
  for (int i = 0; i < 150; ++i) values.push_back(i % 5 * 10);
  TRealTable* t = Real(AddTable("P", 150));
  const int fid = AddColumn<IntKind>(t, "I", values);
  TFilter* f = t->GetFilter(fid);
  f->AllocTVL();
  ASSERT_EQ(f->AppendTVLInt(25, 4), 1);  // record 4 (row 3) held 30
  int type = 0;
  int32_t v = 0;
  EXPECT_EQ(t->ReadData(1, fid, 3, &type, &v), 4);
  EXPECT_EQ(v, 25);
  EXPECT_EQ(f->PV->GetInt(4), -1);

  std::vector<int> counts(f->VL->FArraySize + 1, -1);  // one more: the merge adds 25
  EXPECT_EQ(t->CountN(1, fid, counts.data()), 7);      // NULL 0 10 20 25 30 40
  EXPECT_EQ(f->TVLCount, 0);
  EXPECT_EQ(counts, (std::vector<int>{0, 30, 30, 30, 1, 29, 30}));

  ASSERT_EQ(f->AppendTVLInt(33, 5), 1);
  int vno = -99;
  EXPECT_EQ(t->GetVNo(1, fid, 4, &vno), 4);
  EXPECT_GE(vno, 0);
  EXPECT_EQ(static_cast<TIntArray*>(f->VL)->GetInt(vno), 33);
}

TEST_F(RealTableRead, CountNOverAnEmptySetAndRefusals) {
  const int empty = t_->AddSetFromRows(0, nullptr);
  std::vector<int> counts(3, 9);
  EXPECT_EQ(t_->CountN(empty, ints_, counts.data()), 3);
  EXPECT_EQ(counts, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(t_->CountN(1, ints_, counts.data()), 3);
  EXPECT_EQ(counts, (std::vector<int>{1, 1, 1}));
  struct Case {
    int set, filter;
    int* counts;
    int code;
  } const cases[] = {
      {1, ints_, nullptr, Q7_ERROR_ILLEGAL_RECORD_NO},
      {1, 99, counts.data(), Q7_ERROR_NO_SUCH_FILTER},
      {99, ints_, counts.data(), Q7_ERROR_NO_SUCH_SET},
  };
  for (const Case& c : cases) {
    try {
      t_->CountN(c.set, c.filter, c.counts);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
  }
}

}  // namespace
