// The searches a host reaches through the operation layer take a large set to the worker pool; what
// they give must not show which road they took nor how many workers ran: the same set IDs, the same
// rows in the same order and the same error-ring entries as the serial road, for every operator and
// type, NULL rows and bit 0x80 included. Two identical tables are searched in the same order, one
// with the pool threshold above every set (the serial road), one with it at 0.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "api/ops/ops_search.h"
#include "database/TFilter.h"
#include "database/ValueSelection.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"

namespace {

using tasktest::RingEntry;
using tasktest::TaskTest;

constexpr int kRows = 20000;
constexpr int kIntNull = INT_MIN;
constexpr double kDoubleNull = -HUGE_VAL;
const Numeric kDecimalNull{0, INT64_MIN};

Numeric Decimal(int64_t v) { return {static_cast<uint64_t>(v), v < 0 ? -1 : 0}; }

// What one search left: its result (a set ID or a code), the rows of the new set and the entries
// the ring received.
struct Outcome {
  int result;
  std::vector<int> rows;
  std::vector<RingEntry> ring;
  bool operator==(const Outcome& o) const { return result == o.result && rows == o.rows && ring == o.ring; }
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  os << std::hex << o.result << std::dec << ", " << o.rows.size() << " rows, ring";
  for (const RingEntry& e : o.ring) os << " " << e;
  return os;
}

// Restores the default threshold however the test ends.
class PoolThreshold {
 public:
  explicit PoolThreshold(int rows) { SetSearchPoolMinRowsForTest(rows); }
  ~PoolThreshold() { SetSearchPoolMinRowsForTest(-1); }
  PoolThreshold(const PoolThreshold&) = delete;
  PoolThreshold& operator=(const PoolThreshold&) = delete;
};

// A table of kRows records: I INTEGER (500 values), D DOUBLE (about kRows values, so that a range
// selects a long run of value numbers), N DECIMAL, S STRING, each with NULL (or empty) rows; set 2
// is set 1 sorted by D descending, set 3 a set of 300 rows (small against D's value list).
struct Table {
  int id = 0, i = 0, d = 0, n = 0, s = 0;
};

class SearchRoadsTest : public TaskTest {
 protected:
  Table Build(const char* name) {
    Table t;
    t.id = NewTable(name, kRows);
    std::vector<int> ints(kRows);
    std::vector<double> doubles(kRows);
    std::vector<Numeric> decimals(kRows);
    texts_.resize(kRows);
    std::vector<const char*> pointers(kRows);
    for (int k = 0; k < kRows; ++k) {
      ints[k] = k % 13 == 0 ? kIntNull : (k * 37) % 501 - 250;
      doubles[k] = k % 17 == 0 ? kDoubleNull : ((k * 7919) % kRows) * 0.5;
      decimals[k] = k % 19 == 0 ? kDecimalNull : Decimal((k * 31) % 1001 - 500);
      texts_[k] = k % 11 == 0 ? "" : "k" + std::to_string((k * 7) % 3000);
      pointers[k] = texts_[k].c_str();
    }
    t.i = AddFilter(t.id, "I", Q7_TYPE_INTEGER, 4, ints.data());
    t.d = AddFilter(t.id, "D", Q7_TYPE_DOUBLE, 8, doubles.data());
    t.n = AddFilter(t.id, "N", Q7_TYPE_DECIMAL, 16, decimals.data());
    t.s = AddFilter(t.id, "S", Q7_TYPE_STRING, 8, pointers.data());
    EXPECT_EQ(innerQ7SortByField(t.id, t.d, 1, 1), 2);
    std::vector<int> few;
    for (int k = 0; k < 300; ++k) few.push_back(1 + (k * 7877) % kRows);
    EXPECT_EQ(Real(t.id)->AddSetFromRows(static_cast<int>(few.size()), few.data()), 3);
    Drain();
    return t;
  }

  Outcome Run(int table, const std::function<int()>& search) {
    Outcome o;
    o.result = search();
    if (o.result > 0) o.rows = SetRows(table, o.result);
    o.ring = Drain();
    return o;
  }

  // Every search of the operation layer over the table, in a fixed order.
  std::vector<Outcome> AllSearches(const Table& t) {
    std::vector<Outcome> out;
    int i_lo = -100, i_hi = 120, i_null = kIntNull, i_miss = 1000;
    double d_lo = 20.0, d_hi = 4000.5, d_null = kDoubleNull, d_nan = NAN;
    Numeric n_lo = Decimal(-30), n_hi = Decimal(250), n_null = kDecimalNull;
    char s_lo[] = "k12", s_hi[] = "k2", s_empty[] = "", s_miss[] = "zz";
    struct Bounds {
      int filter;
      char* from;
      char* to;
    };
    const auto raw = [](auto& v) { return reinterpret_cast<char*>(&v); };
    const Bounds kBounds[] = {
        {t.i, raw(i_lo), raw(i_hi)}, {t.i, raw(i_null), raw(i_hi)}, {t.i, raw(i_miss), raw(i_lo)},
        {t.d, raw(d_lo), raw(d_hi)}, {t.d, raw(d_null), raw(d_lo)}, {t.d, raw(d_nan), raw(d_hi)},
        {t.n, raw(n_lo), raw(n_hi)}, {t.n, raw(n_null), raw(n_hi)}, {t.s, s_lo, s_hi},
        {t.s, s_empty, s_lo},        {t.s, s_miss, s_miss},
    };
    for (const Bounds& b : kBounds) {
      for (int source : {1, 2, 3}) {
        for (int code = 0; code <= 12; ++code) {
          for (int flag : {0, 0x80}) {
            const int op = code | flag;
            out.push_back(
                Run(t.id, [&] { return innerQ7SearchByField(t.id, b.filter, source, op, b.from, b.to); }));
            if (flag == 0 && code <= 11) {
              out.push_back(
                  Run(t.id, [&] { return innerQ7SearchByField2(t.id, b.filter, source, op, b.from, b.to); }));
            }
          }
        }
      }
    }
    // Lookups that fail before any row is read.
    out.push_back(Run(t.id, [&] { return innerQ7SearchByField(t.id, 77, 1, 0, raw(i_lo), nullptr); }));
    out.push_back(Run(t.id, [&] { return innerQ7SearchByField(t.id, t.i, 999, 0, raw(i_lo), nullptr); }));

    for (int source : {1, 2, 3}) {
      for (const char* pattern : {"k1*", "*5", "k?0", "*", ""}) {
        out.push_back(Run(t.id, [&] { return innerQ7SearchByFieldWildCard(t.id, t.s, source, pattern); }));
      }
      out.push_back(Run(t.id, [&] { return innerQ7SearchByFieldWildCard(t.id, t.i, source, "*"); }));

      // A map of the host's over I's value list: every third entry, NULL included.
      std::vector<unsigned char> map(static_cast<size_t>(Real(t.id)->GetFilter(t.i)->VL->FArraySize));
      for (size_t k = 0; k < map.size(); k += 3) map[k] = static_cast<unsigned char>(1 + k % 5);
      out.push_back(Run(t.id, [&] { return innerQ7Search(t.id, t.i, source, map.data()); }));

      int ints[] = {1, 5, -250, 999, kIntNull, 5};
      double doubles[] = {20.0, 3.5, kDoubleNull, 1e9};
      Numeric decimals[] = {Decimal(0), Decimal(-500), kDecimalNull};
      const char* texts[] = {"k7", "k299", "", "missing"};
      out.push_back(Run(t.id, [&] { return innerQ7SearchByFieldNValues(t.id, t.i, source, 6, ints); }));
      out.push_back(Run(t.id, [&] { return innerQ7SearchByFieldNValues(t.id, t.d, source, 4, doubles); }));
      out.push_back(Run(t.id, [&] { return innerQ7SearchByFieldNValues(t.id, t.n, source, 3, decimals); }));
      out.push_back(Run(t.id, [&] { return innerQ7SearchByFieldNValues(t.id, t.s, source, 4, texts); }));

      // By record number and by position, bounds at and beyond the ends.
      const int kEnds[][2] = {
          {5000, 15000}, {0, 0}, {INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}, {kRows, kRows + 5}};
      for (const auto& e : kEnds) {
        for (int op = 0; op <= 8; ++op) {
          out.push_back(Run(t.id, [&] { return innerQ7SearchByRowNo(t.id, 0, source, op, e[0], e[1]); }));
          out.push_back(
              Run(t.id, [&] { return innerQ7SearchByDispRowNoReal(t.id, source, op, e[0], e[1]); }));
        }
      }
    }
    return out;
  }

  std::vector<std::string> texts_;
};

TEST_F(SearchRoadsTest, PoolRoadGivesTheSerialRoadsSetsAndRingEntries) {
  const Table serial_table = Build("SERIAL");
  std::vector<Outcome> serial;
  {
    PoolThreshold never(INT_MAX);
    serial = AllSearches(serial_table);
  }
  int non_empty = 0, failures = 0;
  for (const Outcome& o : serial) {
    non_empty += o.rows.empty() ? 0 : 1;
    failures += o.result < 0 ? 1 : 0;
  }
  // The comparison means something only if both kinds of outcome are there in number.
  EXPECT_GT(non_empty, 600);
  EXPECT_GT(failures, 100);

  const char* kNames[] = {"POOL1", "POOL3", "POOLALL"};
  const int kCaps[] = {1, 3, 0};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(testing::Message() << "worker cap " << kCaps[k]);
    const Table pool_table = Build(kNames[k]);
    std::vector<Outcome> pooled;
    {
      q7test::WorkerCap cap(kCaps[k]);
      PoolThreshold always(0);
      pooled = AllSearches(pool_table);
    }
    ASSERT_EQ(pooled.size(), serial.size());
    for (size_t j = 0; j < serial.size(); ++j) {
      ASSERT_EQ(pooled[j], serial[j]) << "search #" << j;
    }
  }
}

}  // namespace
