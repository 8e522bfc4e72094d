// The integrated calculator on a hundred thousand rows: the serial run, the parallel run under
// several worker caps and the run into caller memory all give the column a plain row-by-row
// computation gives, texts included (and the serial text run writes in two batches, its batch made
// smaller than the table).
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "calc/TIntegratedCalc.h"
#include "integrated_calc_support.h"
#include "tests/support/test_support.h"

namespace {

using icalctest::DecNull;
using icalctest::kDblNull;
using icalctest::kIntNull;
using icalctest::Units;

// Just over one batch of text results; a prime.
constexpr int kRows = 100003;
constexpr int kStrBatchRows = 100000;

class IntegratedCalcThreadsTest : public icalctest::ICalcTableTest {
 protected:
  void SetUp() override {
    ICalcTableTest::SetUp();
    TIntegratedCalc::SetStrBatchRowsForTest(kStrBatchRows);
    NewTable(kRows);
    std::mt19937 gen(20261210);
    const std::vector<std::string> pool = {"",      "a",   "Zz",        "mixed Case", "日本語",
                                           "日本x", "ä-ö", "tab\there", "q\"uote",    std::string(300, 'w')};
    a_.resize(kRows);
    b_.resize(kRows);
    d_.resize(kRows);
    s_.resize(kRows);
    for (int i = 0; i < kRows; ++i) {
      const size_t k = static_cast<size_t>(i);
      a_[k] = gen() % 11 == 0 ? kIntNull : static_cast<int32_t>(gen() % 2001) - 1000;
      b_[k] = gen() % 13 == 0 ? kDblNull : static_cast<double>(static_cast<int>(gen() % 100001) - 50000) / 64;
      d_[k] = gen() % 7 == 0 ? DecNull() : Units(static_cast<int64_t>(gen() % 2000001) - 1000000);
      s_[k] = pool[gen() % pool.size()] + (gen() % 3 == 0 ? std::to_string(gen() % 100) : "");
    }
    AddInt("A", a_);
    AddDouble("B", b_);
    AddDecimal("D", d_, 2, Q7_ROUND_HALF_UP);
    AddString("S", s_);
    DrainRing();
  }
  void TearDown() override {
    TIntegratedCalc::SetStrBatchRowsForTest(0);
    ICalcTableTest::TearDown();
  }

  // The column as one text per record (for numbers exact to the last bit).
  std::vector<std::string> Texts(int filter_id) {
    table_->CheckMergeFilterTVL(false);
    TFilter* f = table_->GetFilter(filter_id);
    std::vector<std::string> out;
    out.reserve(kRows);
    const int type = f->VL->GetDataType();
    NumericInfo info{0, 0};
    if (type == Q7_TYPE_DECIMAL) static_cast<TNumericArray*>(f->VL)->GetDecimalInfo(&info);
    for (int r = 1; r <= kRows; ++r) {
      const int v = f->PV->PIntAr()[r];
      switch (type) {
        case Q7_TYPE_INTEGER:
          out.push_back(icalctest::IntText(static_cast<TIntArray*>(f->VL)->PIntAr()[v]));
          break;
        case Q7_TYPE_DECIMAL: {
          Numeric x;
          static_cast<TNumericArray*>(f->VL)->GetDecimal(v, &x);
          out.push_back(icalctest::DecText(x, info));
          break;
        }
        case Q7_TYPE_STRING:
          out.push_back(static_cast<TStrArray*>(f->VL)->GetPChar(v));
          break;
        default:
          out.push_back(Exact(static_cast<TDoubleArray*>(f->VL)->GetDouble(v)));
      }
    }
    return out;
  }
  static std::string Exact(double v) {
    if (v == kDblNull) return "NULL";
    char buf[64];
    snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
  }

  std::vector<int32_t> a_;
  std::vector<double> b_;
  std::vector<Numeric> d_;
  std::vector<std::string> s_;
};

// The first differing row, if any (one expectation instead of a million).
void ExpectSame(const std::vector<std::string>& got, const std::vector<std::string>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] != want[i]) {
      ADD_FAILURE() << "row index " << i << ": got [" << got[i] << "] want [" << want[i] << "]";
      return;
    }
  }
}

struct ThreadCase {
  const char* formula;
  int type;
  int scale;
};

TEST_F(IntegratedCalcThreadsTest, EveryRunEqualsRowByRow) {
  const ThreadCase cases[] = {
      {"IF(ISNULL(@A),-1,+(@A,*(@B,2)))", Q7_TYPE_DOUBLE, 0},
      {"$IF(>(@A,0),$&($@S,$INTTOSTR(@A)),$UPPER($@S))", Q7_TYPE_STRING, 0},
      {"NVL(*(@D,2),-1)", Q7_TYPE_DECIMAL, 2},
      {"+(*(RECNO,3),ROWNO)", Q7_TYPE_INTEGER, 0},
  };
  // The reference, record by record (r is 1-based; the set is every record in order).
  auto reference = [&](int which, int r) -> std::string {
    const size_t k = static_cast<size_t>(r - 1);
    switch (which) {
      case 0:
        if (a_[k] == kIntNull) return Exact(-1);
        if (b_[k] == kDblNull) return "NULL";
        return Exact(static_cast<double>(a_[k]) + b_[k] * 2);
      case 1: {
        if (a_[k] != kIntNull && a_[k] > 0) return s_[k] + std::to_string(a_[k]);
        std::string up = s_[k];
        for (char& ch : up) {
          if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        }
        return up;
      }
      case 2:
        if (d_[k].high == INT64_MIN && d_[k].low == 0) return "-1.00";
        return icalctest::DecText(Units(static_cast<int64_t>(d_[k].low) * 2),
                                  NumericInfo{2, Q7_ROUND_HALF_UP});
      default:
        return std::to_string(3 * r + r);
    }
  };
  for (int which = 0; which < 4; ++which) {
    const ThreadCase& c = cases[which];
    SCOPED_TRACE(c.formula);
    std::vector<std::string> want;
    want.reserve(kRows);
    for (int r = 1; r <= kRows; ++r) want.push_back(reference(which, r));
    // -1: the serial run; 0: every worker. kRows is prime, so any split leaves a remainder.
    for (int cap : {-1, 1, 0}) {
      SCOPED_TRACE(cap);
      const int target = AddTarget("R" + std::to_string(which) + "_" + std::to_string(cap + 1), c.type,
                                   c.scale, Q7_ROUND_HALF_UP);
      q7test::WorkerCap workers(cap < 0 ? 0 : cap);
      const int rc = cap < 0 ? table_->IntegratedCalc(1, target, 1, kRows, c.formula)
                             : table_->MppIntegratedCalc(1, target, 1, kRows, c.formula);
      ASSERT_EQ(rc, 0) << ::testing::PrintToString(DrainRing());
      ExpectSame(Texts(target), want);
      ASSERT_TRUE(table_->DropFilter(target) == 0);
    }
  }
}

TEST_F(IntegratedCalcThreadsTest, PartOfAReversedSetIntoCallerMemory) {
  std::vector<int> rows(kRows);
  for (int i = 0; i < kRows; ++i) rows[static_cast<size_t>(i)] = kRows - i;
  const int set = table_->AddSetFromRows(kRows, rows.data());
  ASSERT_GT(set, 1);
  const int start = 2;
  const int count = kRows - 3;
  const char* formula = "$IF(ISNULL(@A),$\"-\",$&($INTTOSTR(ROWNO),$@S))";
  std::vector<std::string> want;
  size_t need = 0;
  for (int i = 0; i < count; ++i) {
    const int position = start + i;
    const size_t k = static_cast<size_t>(rows[static_cast<size_t>(position - 1)] - 1);
    want.push_back(a_[k] == kIntNull ? "-" : std::to_string(position) + s_[k]);
    need += want.back().size() + 1;
  }
  std::vector<char> area(need);
  std::vector<char*> out(static_cast<size_t>(count));
  for (int cap : {1, 0}) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    std::fill(area.begin(), area.end(), '\0');
    ASSERT_EQ(table_->MppIntegratedCalcPtr(set, start, count, formula, Q7_TYPE_STRING, out.data(), need,
                                           area.data()),
              0);
    ExpectSame(std::vector<std::string>(out.begin(), out.end()), want);
  }
}

}  // namespace
