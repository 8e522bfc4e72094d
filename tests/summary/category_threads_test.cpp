// Categories, serial road, above 99,999 records: the rows of the new column are mapped on the
// worker pool (task 38). The column must equal a row-by-row reference whatever the worker count,
// on both sides of the size where the pool takes over.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CSmpEngine.h"
#include "summary/CategoryOperators.h"
#include "tests/summary/engine_tables_support.h"
#include "values/TIntArray.h"

namespace {

constexpr int kNullInt = INT_MIN;

struct Def {
  const char* op;
  int p1;
  int p2;
  int category;
};

bool Holds(int code, double x, double a, double b) {
  switch (code) {
    case 0:
      return x == a;
    case 1:
      return a <= x && x <= b;
    case 2:
      return x <= a;
    case 3:
      return x >= a;
    case 4:
      return x != a;
    case 5:
      return a < x && x < b;
    case 6:
      return x < a;
    case 7:
      return x > a;
    default:
      return false;
  }
}

class CategoryThreadsTest : public EngineTablesTest {
 protected:
  void TearDown() override {
    CSmpEngine::Instance()->SetWorkerCapForTest(0);
    EngineTablesTest::TearDown();
  }

  int Categories(const std::vector<Def>& defs) {
    const int c = NewTable("CATS", static_cast<int>(defs.size()));
    std::vector<const char*> ops;
    std::vector<int> p1;
    std::vector<int> p2;
    std::vector<int> cats;
    for (const Def& d : defs) {
      ops.push_back(d.op);
      p1.push_back(d.p1);
      p2.push_back(d.p2);
      cats.push_back(d.category);
    }
    Add(c, "OP", Q7_TYPE_STRING, 8, ops.data());
    Add(c, "P1", Q7_TYPE_INTEGER, 4, p1.data());
    Add(c, "P2", Q7_TYPE_INTEGER, 4, p2.data());
    Add(c, "CAT", Q7_TYPE_INTEGER, 4, cats.data());
    return c;
  }

  std::vector<int> Column(int table, int filter_id) {
    TFilter* f = Table(table)->GetFilter(filter_id);
    const int* vno = f->PV->PIntAr();
    std::vector<int> out;
    for (int r = 1; r <= Table(table)->TotalRecs(); ++r)
      out.push_back(*static_cast<int*>(f->VL->GetAddress(vno[r])));
    return out;
  }

  static std::vector<int> Reference(const std::vector<int>& values, const std::vector<Def>& defs) {
    std::vector<int> out;
    out.reserve(values.size());
    for (int v : values) {
      int cat = kNullInt;
      for (const Def& d : defs) {
        if (Holds(Str2OpeCode(d.op), v, d.p1, d.p2)) {
          cat = d.category;
          break;
        }
      }
      out.push_back(cat);
    }
    return out;
  }
};

const std::vector<Def> kDefs = {
    {"EQ", 500, 0, 1}, {"BTW", 100, 200, 2}, {"WI", 150, 900, 3},
    {"LES", 50, 0, 4}, {"GEQ", 950, 0, 5},   {"EQ", kNullInt, 0, 6},
};

TEST_F(CategoryThreadsTest, RowsMappedOnThePoolMatchTheReferenceForEveryWorkerCount) {
  // 99,998 records: 99,999 elements, mapped by the caller; 99,999 and more: on the pool.
  for (int rows : {99998, 99999, 150001}) {
    SCOPED_TRACE(rows);
    std::mt19937 rng(static_cast<unsigned>(rows));
    std::uniform_int_distribution<int> dist(-1, 1000);
    std::vector<int> values(static_cast<size_t>(rows));
    for (int& v : values) {
      v = dist(rng);
      if (v < 0) v = kNullInt;
    }
    const int t = NewTable("T", rows);
    const int target = Add(t, "v", Q7_TYPE_INTEGER, 4, values.data());
    const int cats = Categories(kDefs);
    const std::vector<int> want = Reference(values, kDefs);
    for (int cap : {1, 2, 3, 0}) {
      SCOPED_TRACE(cap);
      CSmpEngine::Instance()->SetWorkerCapForTest(cap);
      const int id = Table(t)->AddCategory(target, cats);
      ASSERT_GT(id, 0);
      EXPECT_TRUE(Column(t, id) == want);
      ASSERT_EQ(Table(t)->DropFilter(id), 0);
    }
  }
}

}  // namespace
