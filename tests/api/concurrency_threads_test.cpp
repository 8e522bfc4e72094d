// Several host threads calling the exported functions at once get exactly what the same calls give
// one after another: the one API lock serialises them, and nothing one call leaves behind (sets,
// current sets, pending values, the worker pool) leaks into another thread's results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::kAllRowsSet;

constexpr int kRows = 20000;
constexpr int kThreads = 4;

const char* const kCities[] = {"Lisbon", "Oslo", "Rome", "San Jose", "Santos", "Tokyo", ""};

struct Columns {
  std::vector<int32_t> qty;
  std::vector<double> price;
  std::vector<std::string> city;
  std::vector<double> day;
  std::vector<Numeric> amount;
};

Columns MakeColumns() {
  Columns c;
  uint64_t seed = 0x243F6A8885A308D3u;
  auto next = [&seed] {  // splitmix64: the same data on every run
    uint64_t z = (seed += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  };
  const double first_day = q7host::DateSerial(2015, 1, 1);
  for (int i = 0; i < kRows; ++i) {
    c.qty.push_back(next() % 40 == 0 ? q7host::kIntNull : static_cast<int32_t>(next() % 1000));
    c.price.push_back(next() % 50 == 0 ? q7host::kDoubleNull : static_cast<double>(next() % 100000) / 100.0);
    c.city.push_back(kCities[next() % (sizeof kCities / sizeof kCities[0])]);
    c.day.push_back(next() % 50 == 0 ? q7host::kDoubleNull : first_day + static_cast<double>(next() % 3650));
    c.amount.push_back(next() % 50 == 0 ? q7host::kDecimalNull
                                        : q7host::Decimal(static_cast<int64_t>(next() % 200000) - 20000));
  }
  return c;
}

const Columns& Data() {
  static const Columns columns = MakeColumns();
  return columns;
}

struct Table {
  int id = -1;
  int qty = -1, price = -1, city = -1, day = -1, amount = -1;
};

// Builds a table of Data(); every ID is checked by the caller.
Table BuildTable(const std::string& name) {
  const Columns& c = Data();
  Table t;
  t.id = q7host::AddTable(name, kRows);
  if (t.id < 0) return t;
  t.qty = q7host::AddIntColumn(t.id, "qty", c.qty);
  t.price = q7host::AddDoubleColumn(t.id, "price", c.price);
  t.city = q7host::AddStringColumn(t.id, "city", c.city);
  t.day = q7host::AddDoubleColumn(t.id, "day", c.day, Q7_TYPE_DATE);
  t.amount = q7host::AddDecimalColumn(t.id, "amount", c.amount, 2);
  return t;
}

void ExpectBuilt(const Table& t) {
  ASSERT_GE(t.id, 0);
  for (int filter : {t.qty, t.price, t.city, t.day, t.amount}) ASSERT_GT(filter, 0);
}

// Everything a script observed, in call order: every return value, the rows of every set it made and
// the values it read. Two runs are the same when these are equal.
struct Trace {
  std::vector<int> results;
  std::vector<std::vector<int>> sets;
  std::vector<std::string> values;

  int Call(int result) {
    results.push_back(result);
    return result;
  }
  void Rows(int table, int set) {
    int code = 0;
    sets.push_back(q7host::ReadSet(table, set, &code));
    results.push_back(code);
  }
  bool operator==(const Trace& other) const {
    return results == other.results && sets == other.sets && values == other.values;
  }
};

// Reads one value of every filter at 1-based position pos of the set, as text.
void ReadRow(Trace& trace, const Table& t, int set, int pos) {
  for (int filter : {t.qty, t.price, t.city, t.day, t.amount}) {
    int type = 0;
    alignas(16) char value[4096] = {};
    const int size = trace.Call(RQ7GetData1(t.id, filter, set, pos, &type, value));
    trace.results.push_back(type);
    if (size >= 0) trace.values.emplace_back(value, value + (type == Q7_TYPE_STRING ? strlen(value) : size));
  }
}

// Searches, set operations, sorts, reads, row edits and a refused call on one table; the set IDs in
// the trace depend only on the table's history, so two fresh tables give the same trace.
Trace RunScript(const Table& t) {
  Trace trace;
  int32_t low = 100, high = 199;
  char lisbon[] = "Lisbon";
  char san[] = "San";
  Numeric zero = q7host::Decimal(0);
  double since = q7host::DateSerial(2020, 1, 1);

  const int s1 = trace.Call(RQ7SearchByField(t.id, t.qty, kAllRowsSet, 1, reinterpret_cast<char*>(&low),
                                             reinterpret_cast<char*>(&high)));
  const int s2 = trace.Call(RQ7SearchByField(t.id, t.city, kAllRowsSet, 0, lisbon, nullptr));
  const int s3 = trace.Call(RQ7SearchByField(t.id, t.city, kAllRowsSet, 8, san, nullptr));
  const int s4 =
      trace.Call(RQ7SearchByField(t.id, t.amount, kAllRowsSet, 6, reinterpret_cast<char*>(&zero), nullptr));
  const int s5 = trace.Call(
      RQ7SearchByField(t.id, t.day, kAllRowsSet, 3 | 0x80, reinterpret_cast<char*>(&since), nullptr));
  const int u1 = trace.Call(RQ7SetOpeReal(t.id, 1, s1, s2));
  const int u2 = trace.Call(RQ7SetOpeReal(t.id, 2, s3, s4));
  const int u3 = trace.Call(RQ7SetNotReal(t.id, s5));
  const int r1 = trace.Call(RQ7SortByField(t.id, t.price, u1, 1));
  int keys[] = {t.amount, t.city, 0};
  int dirs[] = {1, 0, 0};
  const int r2 = trace.Call(RQ7IntegratedSortByField(t.id, u2, keys, dirs));
  for (int set : {s1, s2, s3, s4, s5, u1, u2, u3, r1, r2}) trace.Rows(t.id, set);
  trace.Call(RQ7GetSetSize(t.id, r1));
  trace.Call(RQ7GetCurrentSetID(t.id));

  for (int pos : {1, 2, 17}) ReadRow(trace, t, r2, pos);
  for (int filter : {t.qty, t.city}) {
    int type = 0, count = 0;
    alignas(16) char values[1024] = {};
    char texts[4096] = {};
    trace.Call(RQ7GetData1M(t.id, filter, r1, 1, &type, &count, values, texts));
    trace.results.push_back(type);
    trace.results.push_back(count);
    trace.values.emplace_back(values, values + sizeof values);
    trace.values.emplace_back(texts, texts + sizeof texts);
  }

  // A refused call in the middle changes nothing for the calls after it.
  int count = -5;
  int buffer[4] = {};
  trace.Call(RQ7GetSet(t.id, r1, &count, -1, buffer));
  trace.results.push_back(count);

  // Row edits, then the same search again sees them.
  std::vector<int32_t> edits(50, 150);
  trace.Call(RQ7OverwriteRealEx(t.id, kAllRowsSet, t.qty, 101, static_cast<int>(edits.size()), edits.data()));
  const int s6 = trace.Call(RQ7SearchByField(t.id, t.qty, kAllRowsSet, 1, reinterpret_cast<char*>(&low),
                                             reinterpret_cast<char*>(&high)));
  trace.Rows(t.id, s6);
  std::vector<int> picked = {7, 3, 19999, 42};
  const int s7 = trace.Call(RQ7AddSetReal(t.id, static_cast<int>(picked.size()), picked.data()));
  trace.Rows(t.id, s7);
  trace.Call(RQ7DeleteSet(t.id, s2));
  trace.Call(RQ7GetNSet(t.id));
  return trace;
}

class ConcurrentCalls : public ::testing::Test {
 protected:
  void SetUp() override { q7host::DrainRing(); }
  void TearDown() override {
    for (int id : tables_) RQ7DeleteTable(id);
    q7host::DrainRing();
  }
  Table Build(const std::string& name) {
    Table t = BuildTable(name);
    if (t.id >= 0) tables_.push_back(t.id);
    return t;
  }

 private:
  std::vector<int> tables_;
};

TEST_F(ConcurrentCalls, ScriptsOnOwnTablesMatchTheSerialRun) {
  const Table reference_table = Build("serial");
  ExpectBuilt(reference_table);
  const Trace reference = RunScript(reference_table);
  // The script ran as meant: only the refused call failed, and every set it read holds rows.
  EXPECT_EQ(std::count_if(reference.results.begin(), reference.results.end(), [](int r) { return r < 0; }),
            1);
  for (const auto& rows : reference.sets) ASSERT_FALSE(rows.empty());

  // Each thread builds its own table and runs the script on it, all at the same time.
  std::vector<Table> tables(kThreads);
  std::vector<Trace> traces(kThreads);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&, k] {
      start.arrive_and_wait();
      tables[k] = BuildTable("parallel" + std::to_string(k));
      if (tables[k].id >= 0) traces[k] = RunScript(tables[k]);
    });
  }
  for (auto& thread : threads) thread.join();
  for (const Table& t : tables) {
    if (t.id >= 0) RQ7DeleteTable(t.id);
  }

  for (int k = 0; k < kThreads; ++k) {
    SCOPED_TRACE("thread " + std::to_string(k));
    ExpectBuilt(tables[k]);
    EXPECT_EQ(traces[k].results, reference.results);
    EXPECT_TRUE(traces[k].sets == reference.sets);
    EXPECT_TRUE(traces[k].values == reference.values);
  }
}

// Threads searching, combining, sorting and reading ONE table: each result set holds the rows the same
// call gives alone, whatever ID it got.
TEST_F(ConcurrentCalls, CallsOnOneTableGiveTheSerialRows) {
  const Table t = Build("shared");
  ExpectBuilt(t);
  int32_t low = 300, high = 420;
  char rome[] = "Rome";

  // What each kind of call gives when it runs alone; the sets are deleted again.
  auto search_qty = [&] {
    return RQ7SearchByField(t.id, t.qty, kAllRowsSet, 1, reinterpret_cast<char*>(&low),
                            reinterpret_cast<char*>(&high));
  };
  auto search_city = [&] { return RQ7SearchByField(t.id, t.city, kAllRowsSet, 0, rome, nullptr); };
  const int qty_set = search_qty();
  const int city_set = search_city();
  ASSERT_GT(qty_set, 0);
  ASSERT_GT(city_set, 0);
  const int and_set = RQ7SetOpeReal(t.id, 0, qty_set, city_set);
  const int sorted_set = RQ7SortByField(t.id, t.price, qty_set, 0);
  ASSERT_GT(and_set, 0);
  ASSERT_GT(sorted_set, 0);
  const std::vector<int> want_qty = q7host::ReadSet(t.id, qty_set);
  const std::vector<int> want_city = q7host::ReadSet(t.id, city_set);
  const std::vector<int> want_and = q7host::ReadSet(t.id, and_set);
  const std::vector<int> want_sorted = q7host::ReadSet(t.id, sorted_set);
  ASSERT_FALSE(want_qty.empty());
  ASSERT_FALSE(want_and.empty());
  int type = 0;
  double want_first_price = 0;
  ASSERT_GE(RQ7GetData1(t.id, t.price, sorted_set, 1, &type, &want_first_price), 0);
  for (int set : {sorted_set, and_set, city_set, qty_set}) ASSERT_EQ(RQ7DeleteSet(t.id, set), 0);
  const int sets_before = RQ7GetNSet(t.id);

  constexpr int kRounds = 15;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<int> failures(kThreads, 0);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int k = 0; k < kThreads; ++k) {
    threads.emplace_back([&, k] {
      start.arrive_and_wait();
      for (int round = 0; round < kRounds; ++round) {
        // Sources are named by ID, never as "the current set", which other threads move.
        const int a = search_qty();
        const int b = search_city();
        const int c = a > 0 && b > 0 ? RQ7SetOpeReal(t.id, 0, a, b) : -1;
        const int d = a > 0 ? RQ7SortByField(t.id, t.price, a, 0) : -1;
        if (a < 0 || b < 0 || c < 0 || d < 0) {
          ++failures[k];
        } else {
          int read_type = 0;
          double first_price = 0;
          const bool same = q7host::ReadSet(t.id, a) == want_qty && q7host::ReadSet(t.id, b) == want_city &&
                            q7host::ReadSet(t.id, c) == want_and && q7host::ReadSet(t.id, d) == want_sorted &&
                            RQ7GetData1(t.id, t.price, d, 1, &read_type, &first_price) >= 0 &&
                            first_price == want_first_price;
          if (!same) ++mismatches[k];
        }
        for (int set : {d, c, b, a}) {
          if (set > 1) RQ7DeleteSet(t.id, set);
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();

  for (int k = 0; k < kThreads; ++k) {
    SCOPED_TRACE("thread " + std::to_string(k));
    EXPECT_EQ(failures[k], 0);
    EXPECT_EQ(mismatches[k], 0);
  }
  EXPECT_EQ(RQ7GetNSet(t.id), sets_before);
  EXPECT_TRUE(q7host::DrainRing().empty());
}

}  // namespace
