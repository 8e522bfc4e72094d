// The parallel searches on the worker pool give the serial searches' rows, whatever the number of
// workers they may use.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/ValueSelection.h"
#include "tests/database/search_support.h"
#include "tests/support/test_support.h"

using namespace stest;
using ttest::MakeSet;
using ttest::Rows;

namespace {

constexpr int kRows = 30000;

class SearchThreads : public ttest::TableTest {};

// Rows: all records; every 5th and every 97th backwards; 40 rows (the scope form).
std::vector<std::vector<int>> Sets(int n_rows = kRows) {
  std::vector<int> all, fifth, sparse, few;
  for (int r = 1; r <= n_rows; ++r) all.push_back(r);
  for (int r = n_rows; r >= 1; r -= 5) fifth.push_back(r);
  for (int r = n_rows; r >= 1; r -= 97) sparse.push_back(r);
  for (int k = 0; k < 40; ++k) few.push_back(1 + (k * 7919) % n_rows);
  return {all, fifth, sparse, few};
}

// The sets are below the size at which the serial entry point takes the pool, so the serial rows do
// not depend on the worker cap: each search runs serially once and on the pool under every cap.
template <class K>
void CompareWithSerial(TFilter* filter, const std::vector<typename K::V>& bounds, int n_rows = kRows) {
  for (const auto& rows : Sets(n_rows)) {
    ASSERT_FALSE(SearchOnPool(static_cast<int>(rows.size())));
    auto set = MakeSet(rows);
    for (int code : CodesFor<K>()) {
      for (int op : {code, code | 0x80}) {
        for (size_t i = 0; i < bounds.size(); ++i) {
          auto from = bounds[i];
          auto to = bounds[bounds.size() - 1 - i];
          for (bool negate : {false, true}) {
            std::unique_ptr<TSetArray> serial(
                set->SearchByValue(filter, op, K::Bound(from), K::Bound(to), negate));
            const std::vector<int> want = Rows(serial.get());
            for (int limit : {1, 3, 0}) {
              q7test::WorkerCap cap(limit);
              std::unique_ptr<TSetArray> parallel(
                  set->MppSearchByValue(filter, op, K::Bound(from), K::Bound(to), negate));
              ASSERT_EQ(Rows(parallel.get()), want) << "op " << op << (negate ? " negated" : "") << " bound #"
                                                    << i << ", limit " << limit << ", set of " << rows.size();
            }
          }
        }
      }
    }
  }
}

TEST_F(SearchThreads, ParallelValueSearchEqualsSerialOnIntegers) {
  std::vector<int32_t> values;
  for (int i = 0; i < kRows; ++i) values.push_back(i % 11 == 0 ? kIntNull : (i * 7919) % 5000);
  TRealTable* t = Real(AddTable("T", kRows));
  TFilter* f = t->GetFilter(AddColumn<IntKind>(t, "I", values));
  CompareWithSerial<IntKind>(f, {kIntNull, -1, 0, 1234, 2500, 4999, values[17]});
}

TEST_F(SearchThreads, ParallelValueSearchEqualsSerialOnStrings) {
  std::vector<std::string> values;
  for (int i = 0; i < kRows; ++i)
    values.push_back(i % 13 == 0 ? "" : "s" + std::to_string((i * 7919) % 3000));
  TRealTable* t = Real(AddTable("T", kRows));
  TFilter* f = t->GetFilter(AddColumn<StrKind>(t, "S", values));
  CompareWithSerial<StrKind>(f, {"", "s", "s1", "s12", "s2999", "s5", "t", values[17]});
}

// A value list long enough that the parallel search tests each row's value number against the
// selected run instead of looking it up.
TEST_F(SearchThreads, ParallelValueSearchEqualsSerialOnALongValueList) {
  constexpr int kLong = 90000;
  std::vector<double> values;
  for (int i = 0; i < kLong; ++i) values.push_back(i % 17 == 0 ? kDblNull : ((i * 7919) % kLong) * 0.5);
  TRealTable* t = Real(AddTable("T", kLong));
  TFilter* f = t->GetFilter(AddColumn<DoubleKind>(t, "X", values));
  ASSERT_GE(f->VL->FArraySize, 1 << 16);
  CompareWithSerial<DoubleKind>(f, {kDblNull, -1, 0, 0.25, 1000, 22499.5, 44999.5, 1e9}, kLong);
}

// Values given more than once land in different workers' shares; every worker may mark the same
// entry.
TEST_F(SearchThreads, ParallelListSearchEqualsSerial) {
  std::vector<int32_t> values;
  for (int i = 0; i < kRows; ++i) values.push_back(i % 11 == 0 ? kIntNull : (i * 7919) % 5000);
  TRealTable* t = Real(AddTable("T", kRows));
  TFilter* f = t->GetFilter(AddColumn<IntKind>(t, "I", values));
  std::vector<int32_t> wanted;
  for (int k = 0; k < 64; ++k) wanted.push_back(k % 4 == 0 ? 77 : (k * 131) % 6000);
  wanted.push_back(kIntNull);
  for (const auto& rows : Sets()) {
    auto set = MakeSet(rows);
    std::unique_ptr<TSetArray> serial(
        set->SearchByNValues(f, static_cast<int>(wanted.size()), wanted.data()));
    for (int limit : {1, 3, 0}) {
      q7test::WorkerCap cap(limit);
      std::unique_ptr<TSetArray> parallel(
          set->MppSearchByNValues(f, static_cast<int>(wanted.size()), wanted.data()));
      ASSERT_EQ(Rows(parallel.get()), Rows(serial.get())) << "limit " << limit << ", set of " << rows.size();
    }
  }
}

TEST_F(SearchThreads, ParallelWildCardSearchEqualsSerial) {
  std::vector<std::string> values;
  for (int i = 0; i < kRows; ++i)
    values.push_back(i % 13 == 0 ? "" : "w" + std::to_string((i * 7919) % 3000));
  TRealTable* t = Real(AddTable("T", kRows));
  const int f = AddColumn<StrKind>(t, "S", values);
  for (const auto& rows : Sets()) {
    const int set = t->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    for (const char* pattern : {"*", "w1*", "*7?", "w??", ""}) {
      const int serial = t->SearchByFieldWildCard(f, set, pattern);
      for (int limit : {1, 3, 0}) {
        q7test::WorkerCap cap(limit);
        const int parallel = t->MppSearchByFieldWildCard(f, set, pattern);
        ASSERT_EQ(Rows(t->GetSet(parallel)), Rows(t->GetSet(serial))) << pattern << ", limit " << limit;
        t->DelSet(parallel);
      }
      t->DelSet(serial);
    }
  }
}

}  // namespace
