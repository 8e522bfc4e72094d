// The task object's slots run the parallel variants on the worker pool; each must give what the
// serial road of the operation layer gives: the same sets in the same order, the same columns, the
// same failure codes.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "api/ops/ops_filters.h"
#include "api/ops/ops_rowedit.h"
#include "api/ops/ops_search.h"
#include "api/ops/ops_sets.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "database/SearchCodes.h"
#include "database/TFilter.h"
#include "task_test_support.h"
#include "values/TBaseArray.h"

namespace {

using tasktest::TaskTest;

constexpr int kRows = 30000;
constexpr int kIntNull = INT_MIN;
constexpr double kDoubleNull = -HUGE_VAL;

// A table of kRows records with an INTEGER, a DOUBLE and a STRING filter, each with NULLs.
class TaskRoadsTest : public TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    table_ = Build("T");
  }

  int Build(const char* name) {
    const int table = NewTable(name, kRows);
    std::vector<int> ints(kRows);
    std::vector<double> doubles(kRows);
    texts_.resize(kRows);
    std::vector<const char*> pointers(kRows);
    for (int i = 0; i < kRows; ++i) {
      ints[i] = i % 13 == 0 ? kIntNull : (i * 37) % 501 - 250;
      doubles[i] = i % 17 == 0 ? kDoubleNull : ((i * 53) % 997) / 7.0;
      texts_[i] = i % 11 == 0 ? "" : "k" + std::to_string((i * 7) % 300);
      pointers[i] = texts_[i].c_str();
    }
    int_filter_ = AddFilter(table, "I", Q7_TYPE_INTEGER, 4, ints.data());
    double_filter_ = AddFilter(table, "D", Q7_TYPE_DOUBLE, 8, doubles.data());
    string_filter_ = AddFilter(table, "S", Q7_TYPE_STRING, 8, pointers.data());
    return table;
  }

  // Both results are the same failure, or new sets with the same rows in the same order.
  void ExpectSameSet(int serial, int task) {
    ASSERT_EQ(serial < 0, task < 0) << std::hex << serial << " " << task;
    if (serial < 0) {
      EXPECT_EQ(serial, task);
    } else {
      EXPECT_NE(serial, task);
      EXPECT_EQ(SetRows(table_, serial), SetRows(table_, task));
      if (!SetRows(table_, task).empty()) ++non_empty_sets_;
    }
  }

  int table_ = 0;
  int int_filter_ = 0;
  int double_filter_ = 0;
  int string_filter_ = 0;
  int non_empty_sets_ = 0;  // compared results that held rows
  std::vector<std::string> texts_;
};

TEST_F(TaskRoadsTest, ValueSearchesMatchTheSerialRoad) {
  int int_from = -100, int_to = 120;
  double double_from = 20.0, double_to = 100.5;
  char text_from[] = "k12", text_to[] = "k2";
  struct Bounds {
    int filter;
    char* from;
    char* to;
  };
  const Bounds kBounds[] = {
      {int_filter_, reinterpret_cast<char*>(&int_from), reinterpret_cast<char*>(&int_to)},
      {double_filter_, reinterpret_cast<char*>(&double_from), reinterpret_cast<char*>(&double_to)},
      {string_filter_, text_from, text_to},
  };
  // A sorted source keeps its order through the searches that scan it.
  const int sorted = innerQ7SortByField(table_, double_filter_, 1, 1);
  ASSERT_GT(sorted, 0);
  for (const auto& b : kBounds) {
    for (int source : {1, sorted}) {
      for (int code = 0; code <= 11; ++code) {
        for (int flag : {0, kSearchNullBoundEmpty}) {
          SCOPED_TRACE(testing::Message()
                       << "filter " << b.filter << " source " << source << " op " << (code | flag));
          const int op = code | flag;
          ExpectSameSet(innerQ7SearchByField(table_, b.filter, source, op, b.from, b.to),
                        DBTASK()->SearchByField(table_, b.filter, source, op, b.from, b.to));
          if (code <= 10) {
            ExpectSameSet(innerQ7SearchByField2(table_, b.filter, source, SearchCode(op), b.from, b.to),
                          DBTASK()->SearchByField2(table_, b.filter, source, SearchCode(op), b.from, b.to));
          }
        }
      }
    }
  }
  EXPECT_GT(non_empty_sets_, 150);
  // The untyped-bounds slot is the same search.
  ExpectSameSet(innerQ7SearchByField(table_, int_filter_, 1, 1, kBounds[0].from, kBounds[0].to),
                DBTASK()->SearchByFieldSJIS(table_, int_filter_, 1, 1, &int_from, &int_to));
}

TEST_F(TaskRoadsTest, NullBoundsAreRefusedOnBothRoads) {
  int value = 3;
  struct NullBound {
    int op;
    char* from;
    char* to;
  };
  const NullBound kCases[] = {
      {0, nullptr, nullptr},
      {1, reinterpret_cast<char*>(&value), nullptr},
      {0x85, reinterpret_cast<char*>(&value), nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.op);
    EXPECT_EQ(innerQ7SearchByField(table_, int_filter_, 1, c.op, c.from, c.to), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DBTASK()->SearchByField(table_, int_filter_, 1, c.op, c.from, c.to),
              Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DBTASK()->SearchByField2(table_, int_filter_, 1, c.op, c.from, c.to),
              Q7_ERROR_INVALID_PARAMETER);
  }
  // IS NULL reads no bound.
  ExpectSameSet(innerQ7SearchByField(table_, int_filter_, 1, 11, nullptr, nullptr),
                DBTASK()->SearchByField(table_, int_filter_, 1, 11, nullptr, nullptr));
  EXPECT_EQ(DBTASK()->SearchByFieldNValues(table_, int_filter_, 1, 2, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain().back().message, "Invalid Parameter : Values");
}

TEST_F(TaskRoadsTest, WildcardAndValueListSearchesMatchTheSerialRoad) {
  for (const char* pattern : {"k1*", "*5", "k?0", "*", "", "k[12]*"}) {
    SCOPED_TRACE(pattern);
    ExpectSameSet(innerQ7SearchByFieldWildCard(table_, string_filter_, 1, pattern),
                  DBTASK()->SearchByFieldWildCard(table_, string_filter_, 1, pattern));
  }
  ExpectSameSet(innerQ7SearchByFieldWildCard(table_, int_filter_, 1, "*"),
                DBTASK()->SearchByFieldWildCard(table_, int_filter_, 1, "*"));

  int ints[] = {1, 5, -250, 999, kIntNull};
  double doubles[] = {20.0, 3.0 / 7.0, kDoubleNull};
  const char* texts[] = {"k7", "k299", "", "missing"};
  struct Values {
    int filter;
    int count;
    void* values;
  };
  const Values kValues[] = {
      {int_filter_, 5, ints}, {double_filter_, 3, doubles}, {string_filter_, 4, texts},
      {int_filter_, 0, ints}, {int_filter_, -1, ints},
  };
  for (const auto& v : kValues) {
    SCOPED_TRACE(testing::Message() << v.filter << " " << v.count);
    ExpectSameSet(innerQ7SearchByFieldNValues(table_, v.filter, 1, v.count, v.values),
                  DBTASK()->SearchByFieldNValues(table_, v.filter, 1, v.count, v.values));
  }
}

TEST_F(TaskRoadsTest, SortsMatchTheSerialRoad) {
  int from = -200;
  const int subset = innerQ7SearchByField(table_, int_filter_, 1, 3, reinterpret_cast<char*>(&from), nullptr);
  ASSERT_GT(subset, 1);
  for (int filter : {int_filter_, double_filter_, string_filter_}) {
    for (int source : {1, subset}) {
      for (int dir : {0, 1}) {
        SCOPED_TRACE(testing::Message() << filter << " " << source << " " << dir);
        ExpectSameSet(innerQ7SortByField(table_, filter, source, dir),
                      DBTASK()->SortByField(table_, filter, source, dir));
      }
    }
  }
  ExpectSameSet(innerQ7SortByField(table_, 77, 1, 0), DBTASK()->SortByField(table_, 77, 1, 0));

  // The multi-key sort equals stable sorts by each filter in list order (the last one decides first).
  int filters[] = {double_filter_, string_filter_, int_filter_, 0};
  int dirs[] = {1, 0, 1};
  const int by_double = innerQ7SortByField(table_, double_filter_, subset, 1);
  const int by_string = innerQ7SortByField(table_, string_filter_, by_double, 0);
  const int chained = innerQ7SortByField(table_, int_filter_, by_string, 1);
  ASSERT_GT(chained, 0);
  ExpectSameSet(chained, DBTASK()->IntegratedSortByField(table_, subset, filters, dirs));
}

TEST_F(TaskRoadsTest, IntegratedSortMergesPendingValuesFirst) {
  // A small write goes to the pending list of the filter; the sort must see it.
  int pending = 600;
  ASSERT_EQ(Real(table_)->OverWriteEx(1, int_filter_, 5, 1, &pending), 1);
  int filters[] = {int_filter_, 0};
  int dirs[] = {1};
  const int sorted = DBTASK()->IntegratedSortByField(table_, 1, filters, dirs);
  ASSERT_GT(sorted, 0);
  EXPECT_EQ(SetRows(table_, sorted).front(), 5);
  EXPECT_EQ(SetRows(table_, sorted), SetRows(table_, innerQ7SortByField(table_, int_filter_, 1, 1)));
}

TEST_F(TaskRoadsTest, SetOperationsMatchTheSerialRoad) {
  int low = 0, high = 100;
  const int a = innerQ7SearchByField(table_, int_filter_, 1, 1, reinterpret_cast<char*>(&low),
                                     reinterpret_cast<char*>(&high));
  double d = 50.0;
  const int b = innerQ7SearchByField(table_, double_filter_, 1, 6, reinterpret_cast<char*>(&d), nullptr);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ExpectSameSet(innerQ7SetNotReal(table_, a), DBTASK()->SetNotReal(table_, a));
  for (int op : {0, 1, 2, 3}) {
    SCOPED_TRACE(op);
    ExpectSameSet(innerQ7SetOpeReal(table_, op, a, b), DBTASK()->SetOpeReal(table_, op, a, b));
  }
  ExpectSameSet(innerQ7SetNotReal(table_, 9999), DBTASK()->SetNotReal(table_, 9999));

  std::vector<int> rows = {9, 3, 9, 30000, 1, 3};
  const int serial = innerQ7AddSetReal(table_, 6, rows.data());
  const int task = DBTASK()->AddSetReal(table_, 6, rows.data());
  ExpectSameSet(serial, task);
  EXPECT_EQ(SetRows(table_, task), (std::vector<int>{9, 3, 30000, 1}));
}

// Two equal tables: one changed through the serial road, the other through the task object.
class TaskEditRoadsTest : public TaskRoadsTest {
 protected:
  void SetUp() override {
    TaskRoadsTest::SetUp();
    twin_ = Build("U");
  }

  void ExpectSameColumns() {
    for (int filter : {int_filter_, double_filter_, string_filter_}) {
      SCOPED_TRACE(filter);
      EXPECT_EQ(Column(table_, filter), Column(twin_, filter));
    }
  }

  int twin_ = 0;
};

TEST_F(TaskEditRoadsTest, OverwritesAndFillsMatchTheSerialRoad) {
  int low = -50, high = 50;
  const int serial_set = innerQ7SearchByField(table_, int_filter_, 1, 1, reinterpret_cast<char*>(&low),
                                              reinterpret_cast<char*>(&high));
  const int task_set = innerQ7SearchByField(twin_, int_filter_, 1, 1, reinterpret_cast<char*>(&low),
                                            reinterpret_cast<char*>(&high));
  ASSERT_GT(serial_set, 0);
  ASSERT_EQ(SetRows(table_, serial_set), SetRows(twin_, task_set));

  std::vector<int> ints(4000);
  std::vector<double> doubles(4000);
  std::vector<std::string> texts(4000);
  std::vector<const char*> pointers(4000);
  for (int i = 0; i < 4000; ++i) {
    ints[i] = i % 9 == 0 ? kIntNull : 1000 + i % 700;
    doubles[i] = -1.0 * (i % 301);
    texts[i] = "new" + std::to_string(i % 450);
    pointers[i] = texts[i].c_str();
  }
  struct Write {
    int filter;
    int set_on_table, set_on_twin;
    int from, count;
    void* data;
  };
  const Write kWrites[] = {
      {int_filter_, 1, 1, 1, 4000, ints.data()},
      {double_filter_, serial_set, task_set, 20, 3000, doubles.data()},
      {string_filter_, 1, 1, 28001, 4000, pointers.data()},    // cut at the end of the set
      {int_filter_, serial_set, task_set, 3, 2, ints.data()},  // small: the pending list
  };
  for (const auto& w : kWrites) {
    SCOPED_TRACE(w.filter);
    EXPECT_EQ(innerQ7OverwriteRealEx(table_, w.set_on_table, w.filter, w.from, w.count, w.data),
              DBTASK()->OverwriteRealEx(twin_, w.set_on_twin, w.filter, w.from, w.count, w.data));
    ExpectSameColumns();
  }
  const char* fill_text = "filled";
  double fill_double = 2.5;
  EXPECT_EQ(innerQ7FillRealEx(table_, serial_set, string_filter_, 2, 500, &fill_text),
            DBTASK()->FillRealEx(twin_, task_set, string_filter_, 2, 500, &fill_text));
  EXPECT_EQ(innerQ7FillRealEx(table_, 1, double_filter_, 100, 20000, &fill_double),
            DBTASK()->FillRealEx(twin_, 1, double_filter_, 100, 20000, &fill_double));
  ExpectSameColumns();
  // Refusals of the table come back unchanged on both roads.
  EXPECT_EQ(innerQ7OverwriteRealEx(table_, 1, int_filter_, 0, 5, ints.data()),
            DBTASK()->OverwriteRealEx(twin_, 1, int_filter_, 0, 5, ints.data()));
  EXPECT_EQ(innerQ7FillRealEx(table_, 1, 77, 1, 5, &fill_double),
            DBTASK()->FillRealEx(twin_, 1, 77, 1, 5, &fill_double));

  // Condensing drops the values the writes left unused, keeping every record's value.
  EXPECT_EQ(innerQ7CondenseRealTable(table_), 0);
  EXPECT_EQ(DBTASK()->CondenseRealTable(twin_), 0);
  ExpectSameColumns();
  for (int filter : {int_filter_, double_filter_, string_filter_}) {
    EXPECT_EQ(Real(table_)->GetFilter(filter)->VL->FArraySize,
              Real(twin_)->GetFilter(filter)->VL->FArraySize);
  }
}

TEST_F(TaskEditRoadsTest, NewFiltersMatchTheSerialRoad) {
  std::vector<int> raw(kRows);
  for (int i = 0; i < kRows; ++i) raw[i] = (i * 31) % 1234;
  char name[] = "N";
  const int serial = innerQ7AddRealFilter2(table_, 1024, name, Q7_TYPE_INTEGER, kRows, 4, raw.data());
  const int task = DBTASK()->AddRealFilter2(twin_, 1024, name, Q7_TYPE_INTEGER, kRows, 4, raw.data());
  ASSERT_GT(serial, 0);
  ASSERT_EQ(serial, task);
  EXPECT_EQ(Column(table_, serial), Column(twin_, task));

  for (int filter : {int_filter_, double_filter_, string_filter_}) {
    for (int type : {Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE, Q7_TYPE_STRING}) {
      SCOPED_TRACE(testing::Message() << filter << " to " << type);
      const int serial_copy = innerQ7DupRealFilterEx(table_, filter, type);
      const int task_copy = DBTASK()->DupRealFilterEx(twin_, filter, type);
      ASSERT_EQ(serial_copy, task_copy);
      if (serial_copy > 0) {
        EXPECT_EQ(Column(table_, serial_copy), Column(twin_, task_copy));
      }
    }
  }
}

TEST_F(TaskRoadsTest, ServiceSortByNMatchesTheSerialRoad) {
  std::vector<int> values = {0, 5, 2, 5, 0, 90000, 7};
  const int n = static_cast<int>(values.size());
  std::vector<int> serial_index(n), serial_order(n), task_index(n), task_order(n);
  int serial_count = -1, task_count = -1;
  EXPECT_EQ(innerQ7ServiceSortByN(n, values.data(), &serial_count, serial_index.data(), serial_order.data()),
            0);
  EXPECT_EQ(DBTASK()->ServiceSortByN(n, values.data(), &task_count, task_index.data(), task_order.data()), 0);
  EXPECT_EQ(task_count, 5);
  EXPECT_EQ(task_order, (std::vector<int>{5, 6, 1, 3, 2, 0, 4}));
  EXPECT_EQ(serial_count, task_count);
  EXPECT_EQ(serial_index, task_index);
  EXPECT_EQ(serial_order, task_order);
  Drain();
  EXPECT_EQ(DBTASK()->ServiceSortByN(n, values.data(), &task_count, task_index.data(), nullptr),
            Q7_ERROR_UNKNOWN);
  EXPECT_EQ(Drain(), (std::vector<tasktest::RingEntry>{
                         {"RQ7ServiceSortByN", Q7_ERROR_UNKNOWN, "Output area not reserved"}}));
}

}  // namespace
