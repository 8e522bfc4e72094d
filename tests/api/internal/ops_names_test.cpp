// Names, memory sizes, shared-table queries and saved flags of the operation layer.
#include "api/ops/ops_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_search.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class NameOps : public opsets_test::OpTest {};

TEST_F(NameOps, SavedFlagsAfterASearch) {
  int filter = 0;
  const int table = IntTable({1, 2, 3}, &filter);
  EXPECT_EQ(innerQ7SetSavedFlag(1), 1);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
  int from = 2;
  ASSERT_GT(innerQ7SearchByField(table, filter, -1, 0, reinterpret_cast<char*>(&from), nullptr), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 1);
  EXPECT_EQ(innerQ7GetSavedFlag(2), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(7), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(-1), 0);
  EXPECT_EQ(innerQ7SetSavedFlag(5), 1);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
  EXPECT_EQ(innerQ7SetSavedFlag(0), 1);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(2), 0);
}

TEST_F(NameOps, SilentAndRecordedMisses) {
  int filter = 0;
  const int table = IntTable({1, 2}, &filter);
  char out[256];
  EXPECT_EQ(innerQ7GetSetName(table, 42, out), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(innerQ7GetFilterMemorySize(table, 42), static_cast<int64_t>(Q7_ERROR_NO_SUCH_FILTER));
  EXPECT_TRUE(Drain().empty());

  EXPECT_EQ(innerQ7GetSetMemorySize(table, 42), static_cast<int64_t>(Q7_ERROR_NO_SUCH_SET));
  EXPECT_EQ(innerQ7GetFilterName(table, 42, out), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(innerQ7SetSetName(table, 42, "x"), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(innerQ7GetTableMemorySize(99), static_cast<int64_t>(Q7_ERROR_NO_SUCH_TABLE));
  const std::vector<Entry> want = {
      {"Q7GetSetMemorySize", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42 "},
      {"Q7GetFilterName", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 42"},
      {"Q7SetSetName", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42"},
      {"GetTable", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"},
      {"Q7GetTableMemorySize", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99 "},
  };
  EXPECT_EQ(Drain(), want);
}

TEST_F(NameOps, FilterNamesAreMadeUniqueAndTheHostTextKept) {
  const int table = Table(2);
  const int a = IntFilter(table, {1, 2}, "A");
  const int b = IntFilter(table, {3, 4}, "B");
  const char wanted[] = "A";
  EXPECT_EQ(innerQ7SetFilterName(table, b, wanted), 0);
  char out[256];
  ASSERT_EQ(innerQ7GetFilterName(table, b, out), 0);
  EXPECT_STREQ(out, "A_#1");
  EXPECT_STREQ(wanted, "A");
  EXPECT_EQ(innerQ7GetFilterIDFromName(table, "A_#1"), b);
  EXPECT_EQ(innerQ7GetFilterIDFromName(table, "A"), a);

  const std::string too_long(256, 'f');
  EXPECT_EQ(innerQ7SetFilterName(table, b, too_long.c_str()), Q7_ERROR_ILLEGAL_FILTER_NAME);
  ASSERT_EQ(innerQ7GetFilterName(table, b, out), 0);
  EXPECT_STREQ(out, "A_#1");
}

TEST_F(NameOps, SetFilterNameRefusals) {
  const int master = IntTable({1, 2});
  const int slave = IntTable({2, 3}, nullptr, "S");
  const int join = Join(master, slave);
  Drain();
  EXPECT_EQ(innerQ7SetFilterName(join, 1, "x"), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(innerQ7SetFilterName(master, 9, "x"), Q7_ERROR_NO_SUCH_FILTER);
  const std::vector<Entry> want = {
      {"Q7SetFilterName", Q7_ERROR_NOT_REAL_TABLE, "Not RealTable: " + std::to_string(join) + " "},
      {"Q7SetFilterName", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 9"},
  };
  EXPECT_EQ(Drain(), want);
  db()->GetTable(slave)->FShmImage = 1;
  EXPECT_EQ(innerQ7SetFilterName(slave, 1, "x"), Q7_ERROR_SHARED_READ_ONLY);
  EXPECT_TRUE(Drain().empty());
  db()->GetTable(slave)->FShmImage = 0;
}

TEST_F(NameOps, SetNames) {
  const int table = IntTable({1, 2, 3});
  const int set = AddSet(table, {2});
  const std::string longest(255, 's');
  const std::string too_long(256, 's');
  char out[256];
  EXPECT_EQ(innerQ7SetSetName(table, set, longest.c_str()), 0);
  ASSERT_EQ(innerQ7GetSetName(table, set, out), 0);
  EXPECT_EQ(out, longest);
  EXPECT_EQ(innerQ7SetSetName(table, set, too_long.c_str()), Q7_ERROR_ILLEGAL_FILTER_NAME);
  ASSERT_EQ(innerQ7GetSetName(table, set, out), 0);
  EXPECT_EQ(out, longest);
  // A negative ID names the current set.
  EXPECT_EQ(innerQ7SetSetName(table, -1, "cur"), 0);
  ASSERT_EQ(innerQ7GetSetName(table, set, out), 0);
  EXPECT_STREQ(out, "cur");
}

TEST_F(NameOps, IDsFromNames) {
  const int table = Table(1, "Named");
  EXPECT_EQ(innerQ7GetTableIDFromName("Named"), table);
  Drain();
  EXPECT_EQ(innerQ7GetTableIDFromName("Other"), Q7_ERROR_NO_SUCH_TABLE);
  const std::vector<Entry> want = {{"GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "No Table"},
                                   {"Q7GetTableIDFromName", Q7_ERROR_NO_SUCH_TABLE, "return of inner call"}};
  EXPECT_EQ(Drain(), want);
}

TEST_F(NameOps, MemorySizes) {
  int filter = 0;
  const int table = IntTable({1, 2, 3}, &filter);
  const int64_t total = innerQ7GetTotalMemorySize();
  const int64_t t = innerQ7GetTableMemorySize(table);
  EXPECT_GT(t, 0);
  EXPECT_GT(total, t);
  EXPECT_GT(innerQ7GetFilterMemorySize(table, filter), 0);
  EXPECT_GT(innerQ7GetSetMemorySize(table, 1), 0);

  const int strings = StringFilter(table, {"a", "b", "c"});
  EXPECT_GT(GetPVLBaseSize(table, strings), 0);
  EXPECT_EQ(GetPVLBaseSize(table, filter), 0);
  EXPECT_EQ(GetPVLBaseSize(99, strings), 0);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(NameOps, SharedTableQueries) {
  const int table = IntTable({1});
  EXPECT_EQ(innerQ7SharedMemoryTable(table), 0);
  EXPECT_EQ(innerQ7TSharedMemoryTable(table), 0);
  db()->GetTable(table)->FShmImage = 1;
  EXPECT_EQ(innerQ7SharedMemoryTable(table), 1);
  EXPECT_EQ(innerQ7TSharedMemoryTable(table), 0);
  db()->GetTable(table)->FShmImage = 0;
  Drain();
  EXPECT_EQ(innerQ7SharedMemoryTable(50), Q7_ERROR_NO_SUCH_TABLE);
  const auto mine = DrainFor("innerQ7SharedMemoryTable");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].message, "No Such Table: 50 ");
}

}  // namespace
