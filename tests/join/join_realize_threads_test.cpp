// Join sets turned into real tables on the worker pool: on inner and outer joins of thousands of
// rows, master- and slave-driven, each form gives exactly the table it gives with one worker when
// run with two, three and every worker (the joined rows are resolved in one chunk per worker at any
// size, the columns claimed one by one).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/join/join_read_support.h"
#include "values/TStrArray.h"

namespace {

using jbtest::JoinBuildTest;
using kmtest::KeyType;
using q7test::WorkerCap;

const int kCaps[] = {2, 3, 0};  // 0: every worker
constexpr int kMasters = 15000;
constexpr int kSlaves = kMasters / 2;
constexpr int kKeyRange = kMasters * 3 / 4;

// A realized table column by column: name, ID, value numbers and the value list's entries.
struct TableImage {
  std::vector<std::string> names;
  std::vector<int> ids;
  std::vector<std::vector<int>> numbers;
  std::vector<std::vector<std::string>> values;
  bool operator==(const TableImage& o) const {
    return names == o.names && ids == o.ids && numbers == o.numbers && values == o.values;
  }
};

TableImage Image(TRealTable* t) {
  TableImage image;
  for (int i = 0; i < t->FnFilter; ++i) {
    TFilter* f = t->FFilters[i];
    image.names.emplace_back(f->FFilterName);
    image.ids.push_back(f->FFilterID);
    const int* pv = f->PV->PIntAr();
    image.numbers.emplace_back(pv, pv + f->PV->FArraySize);
    std::vector<std::string> entries;
    const bool text = f->VL->GetDataType() == Q7_TYPE_STRING;
    for (int v = 0; v < f->VL->FArraySize; ++v) {
      if (text) {
        entries.emplace_back(static_cast<TStrArray*>(f->VL)->GetPChar(v));
      } else {
        const char* at = static_cast<const char*>(f->VL->FData) + static_cast<size_t>(v) * f->VL->FUnitSize;
        entries.emplace_back(at, static_cast<size_t>(f->VL->FUnitSize));
      }
    }
    image.values.push_back(std::move(entries));
  }
  return image;
}

TEST_F(JoinBuildTest, RealizedTablesAreTheSameForEveryWorkerCount) {
  std::mt19937 gen(14);
  const int master = AddTable("M", kMasters);
  const int slave = AddTable("S", kSlaves);
  const int mk = AddKey(master, "key", KeyType::kInt, jrtest::RandomValues(gen, kMasters, kKeyRange, 1));
  const int sk = AddKey(slave, "key", KeyType::kInt, jrtest::RandomValues(gen, kSlaves, kKeyRange, 1));
  AddKey(master, "few", KeyType::kInt, jrtest::RandomValues(gen, kMasters, 1000, 5));
  AddKey(master, "name", KeyType::kString, jrtest::RandomValues(gen, kMasters, 5000, 5));
  AddKey(slave, "many", KeyType::kDouble, jrtest::RandomValues(gen, kSlaves, 1000000, 5));
  // Join columns: 1 master key, 2 few, 3 name, 4 slave key, 5 many.
  std::vector<int> columns = {5, 1, 2, 3, 4, 0};
  for (int outer : {0, 1}) {
    const int id = AddJoin(false, outer, master, -1, {mk, 0}, slave, -1, {sk, 0});
    ASSERT_GT(id, 0);
    TJoinTable* join = Join(id);
    const int slave_driven = join->SortByRecNo(1, 1, 1);
    ASSERT_GT(slave_driven, 1);
    for (int set : {1, slave_driven}) {
      ASSERT_GT(join->GetSetSize(set), kMasters / 3);
      for (bool parallel : {false, true}) {
        SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << ", set " << set
                                        << (parallel ? ", parallel form" : ", serial form"));
        auto realize = [&] {
          std::string name = "R";
          return parallel ? db_->MppAddRealized(name.data(), id, set, true, true, columns.data(), false)
                          : db_->AddRealized(name.data(), id, set, true, true, columns.data(), false);
        };
        TableImage want;
        {
          WorkerCap scoped(1);
          const int real = realize();
          ASSERT_GT(real, id);
          want = Image(Real(real));
          ASSERT_EQ(db_->DelTable(real), 0);
        }
        ASSERT_EQ(want.names.size(), 7u);
        for (int cap : kCaps) {
          SCOPED_TRACE(testing::Message() << "worker cap " << cap);
          WorkerCap scoped(cap);
          const int real = realize();
          ASSERT_GT(real, id);
          EXPECT_TRUE(Image(Real(real)) == want);
          ASSERT_EQ(db_->DelTable(real), 0);
        }
      }
    }
  }
}

}  // namespace
