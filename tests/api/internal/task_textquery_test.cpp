// The task object's text-search slots: the same rows as the serial road of the operation layer (on a
// table large enough for the searches to run on the worker pool), and the ring entries of their
// refusals, which differ from the serial road's.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "api/ops/ops_textquery.h"
#include "api/task/CDBTask.h"
#include "task_test_support.h"

namespace {

using tasktest::RingEntry;
using tasktest::TaskTest;
using Ring = std::vector<RingEntry>;

// Past the row count from which a set search is split over the worker pool.
constexpr int kRows = (1 << 18) + 1000;

class TextQueryTaskTest : public TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    std::vector<int> k(kRows), m(kRows);
    for (int i = 0; i < kRows; ++i) {
      k[i] = (i * 7919) % 97;
      m[i] = i % 10 == 3 ? INT32_MIN : i % 13;
    }
    table_ = IntTable(k, nullptr, "T");
    ASSERT_GT(AddFilter(table_, "M", Q7_TYPE_INTEGER, 4, m.data()), 0);
    Drain();
  }

  std::vector<int> Sorted(int set) {
    std::vector<int> rows = SetRows(table_, set);
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  int table_ = 0;
};

TEST_F(TextQueryTaskTest, SlotsSelectTheRowsOfTheSerialRoad) {
  char sjis_text[] = "K < 10 AND M >= 7 OR M IS NULL";
  for (const char* text : {"K = 5", "K BETWEEN 10 AND 20 AND M <> 4", "NOT (K < 50 OR M > 2)",
                           "K < 10 AND M >= 7 OR M IS NULL"}) {
    SCOPED_TRACE(text);
    const int serial = innerQ7SearchByText(table_, 1, text);
    ASSERT_GT(serial, 1);
    const int parallel = DBTASK()->SearchByText(table_, 1, text);
    ASSERT_GT(parallel, serial);
    EXPECT_EQ(Real(table_)->GetCurrentSetID(), parallel);
    const std::vector<int> want = Sorted(serial);
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(Sorted(parallel), want);
  }
  const int serial = innerQ7SearchByText(table_, 1, sjis_text);
  const int sjis = DBTASK()->SearchByTextSJIS(table_, 1, sjis_text);
  ASSERT_GT(sjis, serial);
  EXPECT_EQ(Sorted(sjis), Sorted(serial));
  EXPECT_EQ(Drain(), Ring{});
}

// The first checks raise the code alone, with no entry of their own: one empty entry under the log
// name (the SJIS slot names the missing table). A missing set and a syntax error are recorded as on
// the serial road.
TEST_F(TextQueryTaskTest, RefusalsLeaveTheTaskRoadsEntries) {
  const std::string too_long(4096, ' ');
  const int sets = Real(table_)->FnSet;
  struct Case {
    const char* name;
    bool sjis;
    int table;
    int set;
    std::string text;
    int code;
    Ring ring;
  };
  const Case cases[] = {
      {"text too long",
       false,
       table_,
       1,
       too_long,
       Q7_ERROR_TEXT_SIZE_OVERFLOW,
       {{"RQ7SearchByText", Q7_ERROR_TEXT_SIZE_OVERFLOW, ""}}},
      {"text too long, SJIS",
       true,
       table_,
       1,
       too_long,
       Q7_ERROR_TEXT_SIZE_OVERFLOW,
       {{"RQ7SearchByTextSJIS", Q7_ERROR_TEXT_SIZE_OVERFLOW, ""}}},
      {"no table",
       false,
       9,
       1,
       "K = 1",
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9"},
        {"RQ7SearchByText", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"no table, SJIS",
       true,
       9,
       1,
       "K = 1",
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9"},
        {"RQ7SearchByTextSJIS", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9 "}}},
      {"no set",
       false,
       table_,
       5,
       "K = 1",
       Q7_ERROR_NO_SUCH_SET,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 5"},
        {"RQ7SearchByText", Q7_ERROR_NO_SUCH_SET, "No Such Set: 5 "},
        {"RQ7SearchByText", Q7_ERROR_NO_SUCH_SET, "No Such Set: 5"}}},
      {"syntax",
       true,
       table_,
       1,
       "K = = 1",
       Q7_ERROR_QUERY_SYNTAX,
       {{"RQ7SearchByTextSJIS", Q7_ERROR_QUERY_SYNTAX, "Query Syntax Error"},
        {"RQ7SearchByTextSJIS", Q7_ERROR_QUERY_SYNTAX, "syntax error\nSYNTAX ERROR"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    const int result = c.sjis ? DBTASK()->SearchByTextSJIS(c.table, c.set, text.data())
                              : DBTASK()->SearchByText(c.table, c.set, text.c_str());
    EXPECT_EQ(result, c.code);
    EXPECT_EQ(Drain(), c.ring);
    EXPECT_EQ(Real(table_)->FnSet, sets);
  }
}

}  // namespace
