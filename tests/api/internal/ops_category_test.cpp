// Categorising through the operation layer (serial road) and the engine task object's slot
// (parallel road): the table checks in their order and the entries they leave, a shared table left
// untouched, and the slot's handling of what the parallel road returns or throws.
#include "api/ops/ops_category.h"

#include <functional>
#include <string>
#include <vector>

#include "task_test_support.h"

namespace {

using tasktest::RingEntry;

struct Road {
  const char* ring;
  std::function<int(int table, int filter, int categories)> run;
};

const Road kRoads[] = {
    {"Q7AddCategoryReal", [](int t, int f, int c) { return innerQ7AddCategoryReal(t, f, c); }},
    {"RQ7AddCategoryReal", [](int t, int f, int c) { return DBTASK()->AddCategoryReal(t, f, c); }},
};

class CategoryOps : public tasktest::TaskTest {
 protected:
  // A category table of one row per (operator, param1, category); param2 is 0.
  int Categories(const std::vector<const char*>& ops, std::vector<double> p1, std::vector<int> cats) {
    const int c = NewTable("CATS", static_cast<int>(ops.size()));
    std::vector<const char*> texts(ops);
    std::vector<double> p2(ops.size(), 0);
    AddFilter(c, "cmd", Q7_TYPE_STRING, 8, texts.data());
    AddFilter(c, "p1", Q7_TYPE_DOUBLE, 8, p1.data());
    AddFilter(c, "p2", Q7_TYPE_DOUBLE, 8, p2.data());
    AddFilter(c, "cat", Q7_TYPE_INTEGER, 4, cats.data());
    return c;
  }
};

TEST_F(CategoryOps, TableChecksInOrder) {
  int key = 0;
  const int master = IntTable({1, 2, 3}, &key, "M");
  const int slave = IntTable({2, 3}, nullptr, "S");
  const int join = Join(master, slave);
  const int cats = Categories({"GT"}, {1}, {7});
  Drain();
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.ring);
    EXPECT_EQ(road.run(99, key, cats), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(Drain(), (std::vector<RingEntry>{{"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
                                               {road.ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}));

    // A table on a shared image is refused before anything is read or written.
    Real(master)->FShmImage = 1;
    EXPECT_EQ(road.run(master, key, cats), Q7_ERROR_SHARED_READ_ONLY);
    Real(master)->FShmImage = 0;
    EXPECT_EQ(Drain(), std::vector<RingEntry>{});
    EXPECT_EQ(Real(master)->FnFilter, 1);

    EXPECT_EQ(road.run(join, key, cats), Q7_ERROR_NOT_REAL_TABLE);
    EXPECT_EQ(Drain(), (std::vector<RingEntry>{
                           {road.ring, Q7_ERROR_NO_SUCH_TABLE, "Not RealTable: " + std::to_string(join)}}));

    const int id = road.run(master, key, cats);
    ASSERT_GT(id, 0);
    EXPECT_EQ(tasktest::Ints(Column(master, id)), (std::vector<int>{INT32_MIN, 7, 7}));
    EXPECT_EQ(Drain(), std::vector<RingEntry>{});
    Real(master)->DropFilter(id);
  }
}

TEST_F(CategoryOps, SlotRecordsWhatTheParallelRoadThrowsButNotWhatItReturns) {
  int key = 0;
  const int t = IntTable({1, 2, 3}, &key);
  const int empty = Categories({}, {}, {});
  const int bad = Categories({"GT", "=<"}, {1, 2}, {1, 2});
  Drain();
  EXPECT_EQ(DBTASK()->AddCategoryReal(t, key, empty), Q7_ERROR_EMPTY_CATEGORY);
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});
  EXPECT_EQ(DBTASK()->AddCategoryReal(t, key, bad), Q7_ERROR_CATEGORY_DEFINITION);
  EXPECT_EQ(Drain(),
            (std::vector<RingEntry>{{"RQ7AddCategoryReal", Q7_ERROR_CATEGORY_DEFINITION, "Illegal data"}}));
  EXPECT_EQ(Real(t)->FnFilter, 1);
}

}  // namespace
