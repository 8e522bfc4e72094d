// The detail display through the interface: the four orders of the list over all and over occurring
// values, the small-set form, the value layouts, handles that go stale and the refusals.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::RefusalCase;
using q7host::RingEntry;

// One listed entry: its value as text and its count.
struct Listed {
  std::string value;
  int count;
  bool operator==(const Listed& o) const { return value == o.value && count == o.count; }
};
std::ostream& operator<<(std::ostream& out, const Listed& l) { return out << l.value << ":" << l.count; }

std::string ValueText(int type, const char* bytes) {
  switch (type) {
    case Q7_TYPE_STRING:
      return bytes[0] == '\0' ? "NULL" : bytes;
    case Q7_TYPE_INTEGER: {
      int32_t v;
      memcpy(&v, bytes, sizeof v);
      return v == q7host::kIntNull ? "NULL" : std::to_string(v);
    }
    default:
      return "type " + std::to_string(type);
  }
}

// The whole list of one order through GetDetailValue and GetDetailCount; stops at the first failure.
std::vector<Listed> ReadList(int handle, int order, int reverse, int occurring_only, int length) {
  std::vector<Listed> out;
  for (int row = 1; row <= length; ++row) {
    char value[4200] = {};
    int type = 0;
    int count = -1;
    const int rv = RQ7GetDetailValue(handle, order, reverse, occurring_only, row, &type, value);
    const int rc = RQ7GetDetailCount(handle, order, reverse, occurring_only, row, &count);
    EXPECT_EQ(rv, 0) << "row " << row;
    EXPECT_EQ(rc, 0) << "row " << row;
    if (rv != 0 || rc != 0) break;
    out.push_back({ValueText(type, value), count});
  }
  return out;
}

class DetailDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override { DrainRing(); }
  void TearDown() override {
    RQ7CloseDetailInfo(-1);
    for (auto it = tables_.rbegin(); it != tables_.rend(); ++it) RQ7DeleteTable(*it);
    DrainRing();
  }
  int Table(const std::string& name, int rows) {
    const int t = q7host::AddTable(name, rows);
    EXPECT_GT(t, 0);
    tables_.push_back(t);
    return t;
  }
  std::vector<int> tables_;
};

TEST_F(DetailDisplayTest, ListsEveryOrderOverAllAndOccurringValues) {
  // Column values a..d and NULL; the set (rows 1-6) holds NULL once, a and b twice, d once, c never.
  const int t = Table("detail", 7);
  const int f = q7host::AddStringColumn(t, "code", {"b", "a", "", "a", "b", "d", "c"});
  ASSERT_GT(f, 0);
  const int rows[] = {1, 2, 3, 4, 5, 6};
  const int set = RQ7AddSetReal(t, 6, rows);
  ASSERT_GT(set, 1);

  int type = 0, n = 0, m = 0;
  const int handle = RQ7OpenDetailInfo(t, set, f, &type, &n, &m);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(m, 4);

  struct Case {
    int order, reverse, occurring;
    std::vector<Listed> want;
  };
  const Case cases[] = {
      {0, 0, 0, {{"NULL", 1}, {"a", 2}, {"b", 2}, {"c", 0}, {"d", 1}}},
      {0, 1, 0, {{"d", 1}, {"c", 0}, {"b", 2}, {"a", 2}, {"NULL", 1}}},
      {0, 0, 1, {{"NULL", 1}, {"a", 2}, {"b", 2}, {"d", 1}}},
      {0, 1, 1, {{"d", 1}, {"b", 2}, {"a", 2}, {"NULL", 1}}},
      // Equal counts keep value order; reversed, the least frequent come first.
      {1, 0, 0, {{"a", 2}, {"b", 2}, {"NULL", 1}, {"d", 1}, {"c", 0}}},
      {1, 1, 0, {{"c", 0}, {"d", 1}, {"NULL", 1}, {"b", 2}, {"a", 2}}},
      {1, 0, 1, {{"a", 2}, {"b", 2}, {"NULL", 1}, {"d", 1}}},
      {1, 1, 1, {{"d", 1}, {"NULL", 1}, {"b", 2}, {"a", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "order " << c.order << " reverse " << c.reverse << " occurring "
                                    << c.occurring);
    EXPECT_EQ(ReadList(handle, c.order, c.reverse, c.occurring, static_cast<int>(c.want.size())), c.want);
  }
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  EXPECT_EQ(RQ7CloseDetailInfo(handle), 0);
}

TEST_F(DetailDisplayTest, SmallSetListsOnlyTheValuesItHolds) {
  // Row r holds 1001 - r, except rows 50 and 60, which hold row 10's 991; a set of 5 rows (fewer than
  // an eighth of the list) holding 3 values, and an empty set.
  const int t = Table("wide", 200);
  std::vector<int> values;
  for (int r = 1; r <= 200; ++r) values.push_back(r == 50 || r == 60 ? 991 : 1001 - r);
  const int f = q7host::AddIntColumn(t, "v", values);
  ASSERT_GT(f, 0);
  const int rows[] = {10, 3, 50, 150, 60};  // 991, 998, 991, 851, 991
  const int small = RQ7AddSetReal(t, 5, rows);
  const int empty = RQ7AddSetReal(t, 0, nullptr);
  ASSERT_GT(small, 1);
  ASSERT_GT(empty, small);

  int type = 0, n = 0, m = 0;
  int handle = RQ7OpenDetailInfo(t, small, f, &type, &n, &m);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(type, Q7_TYPE_INTEGER);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(m, 3);
  EXPECT_EQ(ReadList(handle, 0, 0, 0, 3), (std::vector<Listed>{{"851", 1}, {"991", 3}, {"998", 1}}));
  EXPECT_EQ(ReadList(handle, 1, 0, 1, 3), (std::vector<Listed>{{"991", 3}, {"851", 1}, {"998", 1}}));

  handle = RQ7OpenDetailInfo(t, empty, f, &type, &n, &m);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(m, 0);
  int count = 0;
  for (int order : {0, 1}) {
    EXPECT_EQ(RQ7GetDetailCount(handle, order, 0, 0, 1, &count), Q7_ERROR_OUT_OF_RANGE);
  }
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{{"CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(0)"},
                                    {"CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(0)"}}));
}

TEST_F(DetailDisplayTest, DecimalValueComesAfterItsInfoOnlyInTheValueForm) {
  const int t = Table("money", 3);
  const int f = q7host::AddDecimalColumn(
      t, "amount", {q7host::Decimal(1250), q7host::Decimal(-5), q7host::Decimal(1250)}, 2, Q7_ROUND_DOWN);
  ASSERT_GT(f, 0);
  int type = 0, n = 0, m = 0;
  const int handle = RQ7OpenDetailInfo(t, -1, f, &type, &n, &m);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(type, Q7_TYPE_DECIMAL);

  // By frequency, row 1 is 12.50 (two rows).
  char with_info[64] = {};
  char alone[64] = {};
  ASSERT_EQ(RQ7GetDetailValue(handle, 1, 0, 0, 1, &type, with_info), 0);
  ASSERT_EQ(RQ7GetDetailValueStr(handle, 1, 0, 0, 1, &type, alone), 0);
  NumericInfo info;
  Numeric value, bare;
  memcpy(&info, with_info, sizeof info);
  memcpy(&value, with_info + sizeof info, sizeof value);
  memcpy(&bare, alone, sizeof bare);
  EXPECT_EQ(info.scale, 2);
  EXPECT_EQ(info.roundingMode, Q7_ROUND_DOWN);
  EXPECT_TRUE(q7host::SameDecimal(value, q7host::Decimal(1250)));
  EXPECT_TRUE(q7host::SameDecimal(bare, q7host::Decimal(1250)));
}

TEST_F(DetailDisplayTest, JoinColumnCountsJoinedRows) {
  // Master keys 1, 2, 2; slave keys 2, 2, 3: the inner join has the four rows of key 2.
  const int master = Table("master", 3);
  const int slave = Table("slave", 3);
  const int mk = q7host::AddIntColumn(master, "k", {1, 2, 2});
  const int sk = q7host::AddIntColumn(slave, "k", {2, 2, 3});
  ASSERT_GT(mk, 0);
  ASSERT_GT(sk, 0);
  const int mkeys[] = {mk, 0};
  const int skeys[] = {sk, 0};
  const int join = RQ7AddJoinTable("j", 0, master, 1, mkeys, slave, 1, skeys);
  ASSERT_GT(join, 0);
  tables_.push_back(join);

  int type = 0, n = 0, m = 0;
  const int handle = RQ7OpenDetailInfo(join, 1, 2, &type, &n, &m);  // the slave's key column
  ASSERT_GT(handle, 0);
  EXPECT_EQ(n, 3);  // the slave's list: NULL, 2, 3
  EXPECT_EQ(m, 1);
  EXPECT_EQ(ReadList(handle, 1, 0, 1, 1), (std::vector<Listed>{{"2", 4}}));
}

TEST_F(DetailDisplayTest, HandleGoesStaleWhenWhatItListsChanges) {
  struct Case {
    const char* what;
    void (*change)(int table, int set, int filter, int other_filter);
  };
  const Case cases[] = {
      {"table deleted", [](int t, int, int, int) { EXPECT_EQ(RQ7DeleteTable(t), 0); }},
      {"set deleted", [](int t, int s, int, int) { EXPECT_EQ(RQ7DeleteSet(t, s), 0); }},
      {"column deleted", [](int t, int, int f, int) { EXPECT_EQ(RQ7DeleteRealFilter(t, f), 0); }},
      {"new value written",
       [](int t, int, int f, int) {
         int v = 77;
         EXPECT_EQ(RQ7OverwriteRealEx(t, 1, f, 2, 1, &v), 1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int t = Table("stale", 4);
    const int f = q7host::AddIntColumn(t, "v", {5, 6, 5, 6});
    const int other = q7host::AddIntColumn(t, "w", {1, 1, 1, 1});
    const int rows[] = {1, 2, 3};
    const int set = RQ7AddSetReal(t, 3, rows);
    ASSERT_GT(set, 1);
    int type = 0, n = 0, m = 0;
    const int handle = RQ7OpenDetailInfo(t, set, f, &type, &n, &m);
    ASSERT_GT(handle, 0);
    int count = 0;
    ASSERT_EQ(RQ7GetDetailCount(handle, 1, 0, 0, 1, &count), 0);
    EXPECT_EQ(count, 2);
    DrainRing();

    c.change(t, set, f, other);
    char value[64];
    EXPECT_EQ(RQ7GetDetailValue(handle, 0, 0, 0, 1, &type, value), Q7_ERROR_INVALID_SUM_HANDLE);
    EXPECT_EQ(RQ7GetDetailCount(handle, 1, 0, 0, 1, &count), Q7_ERROR_INVALID_SUM_HANDLE);
    EXPECT_EQ(RQ7GetDetailValueStr(handle, 0, 0, 0, 1, &type, value), Q7_ERROR_INVALID_SUM_HANDLE);
    EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                               {"RQ7GetDetailValue", Q7_ERROR_INVALID_SUM_HANDLE, "Failed to open handle"},
                               {"RQ7GetDetailCount", Q7_ERROR_INVALID_SUM_HANDLE, "Failed to open handle"}}));
    EXPECT_EQ(RQ7CloseDetailInfo(handle), 0);
  }
}

TEST_F(DetailDisplayTest, RefusalsAndTheHandleCounter) {
  const int t = Table("refusals", 3);
  const int f = q7host::AddIntColumn(t, "v", {1, 2, 2});
  ASSERT_GT(f, 0);
  int type = 0, n = 0, m = 0, count = 0;
  char value[64];
  const RingEntry stale_value{"RQ7GetDetailValue", Q7_ERROR_INVALID_SUM_HANDLE, "Failed to open handle"};
  const RingEntry stale_count{"RQ7GetDetailCount", Q7_ERROR_INVALID_SUM_HANDLE, "Failed to open handle"};

  const int first = RQ7OpenDetailInfo(t, 1, f, &type, &n, &m);
  ASSERT_GT(first, 0);
  const int second = RQ7OpenDetailInfo(t, 1, f, &type, &n, &m);
  EXPECT_EQ(second, first + 1);
  ASSERT_EQ(n, 3);

  const RefusalCase open_cases[] = {
      {"value of the replaced handle",
       [&] { return RQ7GetDetailValue(first, 0, 0, 0, 1, &type, value); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {stale_value}},
      {"count of the replaced handle",
       [&] { return RQ7GetDetailCount(first, 0, 0, 0, 1, &count); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {stale_count}},
      {"text of the replaced handle",
       [&] { return RQ7GetDetailValueStr(first, 0, 0, 0, 1, &type, value); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {}},
      {"close of the replaced handle keeps the display",
       [&] { return RQ7CloseDetailInfo(first); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {}},
      {"row 0",
       [&] { return RQ7GetDetailCount(second, 0, 0, 0, 0, &count); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(-1)"}}},
      {"row INT_MIN, whose predecessor the text shows",
       [&] { return RQ7GetDetailValue(second, 0, 0, 0, INT_MIN, &type, value); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(-2147483649)"}}},
      {"row past all entries",
       [&] { return RQ7GetDetailValue(second, 1, 1, 0, 4, &type, value); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(3)"}}},
      {"row past the occurring entries",
       [&] { return RQ7GetDetailCount(second, 0, 0, 1, 3, &count); },
       Q7_ERROR_OUT_OF_RANGE,
       {{"CalcPos", Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : Row(2)"}}},
      {"no count area",
       [&] { return RQ7GetDetailCount(second, 0, 0, 0, 1, nullptr); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7GetDetailCount", Q7_ERROR_INVALID_PARAMETER, "Output area not reserved"}}},
      {"open without outputs keeps the display and the counter",
       [&] { return RQ7OpenDetailInfo(t, 1, f, nullptr, &n, &m); },
       Q7_ERROR_INVALID_PARAMETER,
       {{"RQ7OpenDetailInfo", Q7_ERROR_INVALID_PARAMETER, "Output area not reserved"}}},
      {"the display is still there", [&] { return RQ7GetDetailCount(second, 0, 0, 0, 1, &count); }, 0, {}},
  };
  for (const RefusalCase& rc : open_cases) {
    SCOPED_TRACE(rc.what);
    EXPECT_EQ(rc.call(), rc.code);
    EXPECT_EQ(DrainRing(), rc.ring);
  }

  // A failed open still takes a handle and leaves no display.
  EXPECT_EQ(RQ7OpenDetailInfo(t, 1, 99, &type, &n, &m), Q7_ERROR_NO_SUCH_FILTER);
  DrainRing();
  const RefusalCase closed_cases[] = {
      {"value without a display",
       [&] { return RQ7GetDetailValue(second + 1, 0, 0, 0, 1, &type, value); },
       Q7_ERROR_DETAIL_FAILED,
       {{"RQ7GetDetailValue", Q7_ERROR_DETAIL_FAILED, "Failed to make detailvalue"}}},
      {"count without a display",
       [&] { return RQ7GetDetailCount(second + 1, 0, 0, 0, 1, &count); },
       Q7_ERROR_DETAIL_FAILED,
       {{"RQ7GetDetailCount", Q7_ERROR_DETAIL_FAILED, "Failed to make detailcount"}}},
      {"text without a display",
       [&] { return RQ7GetDetailValueStr(second + 1, 0, 0, 0, 1, &type, value); },
       Q7_ERROR_DETAIL_FAILED,
       {}},
      {"close of the last handle", [&] { return RQ7CloseDetailInfo(second + 1); }, 0, {}},
      {"close of an earlier handle",
       [&] { return RQ7CloseDetailInfo(second); },
       Q7_ERROR_INVALID_SUM_HANDLE,
       {}},
      {"the next open", [&] { return RQ7OpenDetailInfo(t, 1, f, &type, &n, &m); }, second + 2, {}},
      {"close of whatever is open", [&] { return RQ7CloseDetailInfo(-1); }, 0, {}},
      {"count after the close",
       [&] { return RQ7GetDetailCount(second + 2, 0, 0, 0, 1, &count); },
       Q7_ERROR_DETAIL_FAILED,
       {{"RQ7GetDetailCount", Q7_ERROR_DETAIL_FAILED, "Failed to make detailcount"}}},
  };
  for (const RefusalCase& rc : closed_cases) {
    SCOPED_TRACE(rc.what);
    EXPECT_EQ(rc.call(), rc.code);
    EXPECT_EQ(DrainRing(), rc.ring);
  }
}

}  // namespace
