// A join's columns by name, as a host meets them: every call that reports a join column's name gives
// the join's own, unique name ("id_#1" for the slave's "id"), which finds the same column again,
// also after the database is saved and loaded; a catalog written from a join carries those names,
// so it reads back into a table with distinct columns. And the join's answer when a host deletes a
// set it does not have.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::CellText;
using q7host::DrainRing;
using q7host::RingEntry;

constexpr int kColumns = 5;
// Master (id, name), slave (id, price, name): the slave's two names meet the master's.
const char* const kJoinNames[kColumns] = {"id", "name", "id_#1", "price", "name_#1"};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class JoinNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    master_ = q7host::AddTable("m", 3);
    ASSERT_GT(q7host::AddIntColumn(master_, "id", {1, 2, 3}), 0);
    ASSERT_GT(q7host::AddStringColumn(master_, "name", {"a", "b", "c"}), 0);
    slave_ = q7host::AddTable("s", 3);
    ASSERT_GT(q7host::AddIntColumn(slave_, "id", {2, 3, 4}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(slave_, "price", {2.5, 3.5, 4.5}), 0);
    ASSERT_GT(q7host::AddStringColumn(slave_, "name", {"x", "y", "z"}), 0);
    const int keys[] = {1, -1};
    join_ = RQ7AddJoinTable("j", 0, master_, 1, keys, slave_, 1, keys);
    ASSERT_GT(join_, 0);
    DrainRing();
  }
  void TearDown() override { RQ7ClearDB(); }

  // Every name the engine reports for column `filter` of `table`, by road.
  static std::vector<std::string> ReportedNames(int table, int filter) {
    std::vector<std::string> names;
    char name[256] = "";
    EXPECT_EQ(RQ7GetFilterName(table, filter, name), 0);
    names.push_back(name);
    EXPECT_EQ(Q7GetFilterName(table, filter, name), 0);
    names.push_back(name);
    names.push_back(RQ7GetFilterNameR1(table, filter));
    _TRFilterInfo info{};
    EXPECT_EQ(RQ7GetFilterInfo(table, filter, &info), 0);
    names.push_back(info.name);
    _TRFilterInfo all[kColumns] = {};
    char attributes[kColumns][64];
    int count = 0;
    EXPECT_EQ(RQ7GetAllFilterInfo(table, kColumns, &count, all, attributes), 0);
    EXPECT_EQ(count, kColumns);
    names.push_back(all[filter - 1].name);
    return names;
  }

  int master_ = 0;
  int slave_ = 0;
  int join_ = 0;
};

TEST_F(JoinNamesTest, EveryReportedNameFindsItsColumnAgain) {
  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  for (const char* road : {"built", "loaded"}) {
    SCOPED_TRACE(road);
    if (std::string(road) == "loaded") {
      ASSERT_EQ(RQ7SaveDBAs(dir.path().c_str(), "names"), 0);
      ASSERT_EQ(RQ7ClearDB(), 0);
      ASSERT_EQ(RQ7LoadDB(dir.path().c_str(), "names"), 0);
      join_ = RQ7GetTableIDFromName("j");
      ASSERT_GT(join_, 0);
    }
    for (int filter = 1; filter <= kColumns; ++filter) {
      SCOPED_TRACE(filter);
      const std::string want = kJoinNames[filter - 1];
      for (const std::string& name : ReportedNames(join_, filter)) {
        EXPECT_EQ(name, want);
        EXPECT_EQ(RQ7GetFilterIDFromName(join_, name.c_str()), filter);
      }
    }
    // The source tables keep their own names.
    EXPECT_STREQ(RQ7GetFilterNameR1(slave_, 1), "id");
    EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  }
}

TEST_F(JoinNamesTest, ColumnWithoutANameIsRefusedAsNoFilter) {
  char name[256] = "kept";
  EXPECT_EQ(RQ7GetFilterName(join_, kColumns + 1, name), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_STREQ(name, "kept");
  EXPECT_EQ(DrainRing().back(), (RingEntry{"Q7GetFilterName", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 6"}));
  EXPECT_STREQ(RQ7GetFilterNameR1(join_, kColumns + 1), "");
  DrainRing();
}

// The catalog names the join's columns as the join does, so the data read back into a table with
// five distinct filters; the host's whole-table list is filled with the IDs that were written.
TEST_F(JoinNamesTest, CatalogOfAJoinReadsBackWithDistinctColumns) {
  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  int list[kColumns + 2] = {-1, 77, 77, 77, 77, 77, 77};
  ASSERT_EQ(RQ7SaveAsCatalog(join_, 1, list, 0, -1, -1, '/', dir.path().c_str(), "j.cat"), 0);
  EXPECT_EQ(std::vector<int>(list, list + kColumns + 2), (std::vector<int>{1, 2, 3, 4, 5, -1, 77}));
  const std::string catalog = ReadFile(dir.File("j.cat"));
  const size_t lines = catalog.find('\n', catalog.find('\n') + 1) + 1;  // after the two header lines
  EXPECT_EQ(catalog.substr(0, 6), "//CSV\n");
  EXPECT_EQ(catalog.substr(lines), "I\t01\tid\nA\t01\tname\nI\t01\tid_#1\nF\t01\tprice\nA\t01\tname_#1\n");
  EXPECT_EQ(ReadFile(dir.File("SrcData.dat")), "2,\"b\",2,2.500,\"x\"\n3,\"c\",3,3.500,\"y\"\n");

  const int back =
      RQ7AddCatalogFileEx2(dir.path().c_str(), "j.cat", dir.path().c_str(), "SrcData.dat", "back");
  ASSERT_GT(back, 0);
  ASSERT_EQ(RQ7GetNFilter(back), kColumns);
  ASSERT_EQ(RQ7GetTotalRows(back), 2);
  for (int filter = 1; filter <= kColumns; ++filter) {
    SCOPED_TRACE(filter);
    EXPECT_STREQ(RQ7GetFilterNameR1(back, filter), kJoinNames[filter - 1]);
    for (int row = 1; row <= 2; ++row) EXPECT_EQ(CellText(back, filter, row), CellText(join_, filter, row));
  }
  DrainRing();
}

// A join answers a set it does not have (or its set 1) with Q7_ERROR_ILLEGAL_SET_ID and its own
// entry; a real table keeps Q7_ERROR_NO_SUCH_SET with the operation's entry only.
TEST_F(JoinNamesTest, DeletingASetTheJoinDoesNotHave) {
  struct Case {
    const char* what;
    int (*call)(int, int);
    int table;
    int set;
    int code;
    std::vector<RingEntry> ring;
  };
  const int join = join_;
  const int real = master_;
  const Case cases[] = {
      {"join, RQ7",
       RQ7DeleteSet,
       join,
       42,
       Q7_ERROR_ILLEGAL_SET_ID,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42"},
        {"DelSet", Q7_ERROR_ILLEGAL_SET_ID, "No Such Set: 42 "},
        {"Q7DeleteSet", Q7_ERROR_ILLEGAL_SET_ID, "No such set"}}},
      {"join, Q7",
       Q7DeleteSet,
       join,
       42,
       Q7_ERROR_ILLEGAL_SET_ID,
       {{"SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 42"},
        {"DelSet", Q7_ERROR_ILLEGAL_SET_ID, "No Such Set: 42 "},
        {"Q7DeleteSet", Q7_ERROR_ILLEGAL_SET_ID, "No such set"}}},
      {"join, set 1",
       RQ7DeleteSet,
       join,
       1,
       Q7_ERROR_ILLEGAL_SET_ID,
       {{"DelSet", Q7_ERROR_ILLEGAL_SET_ID, "No Such Set: 1 "},
        {"Q7DeleteSet", Q7_ERROR_ILLEGAL_SET_ID, "No such set"}}},
      {"real",
       RQ7DeleteSet,
       real,
       42,
       Q7_ERROR_NO_SUCH_SET,
       {{"Q7DeleteSet", Q7_ERROR_NO_SUCH_SET, "No such set"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(c.table, c.set), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  int sets[4] = {};
  EXPECT_EQ(RQ7GetSetIDList(join_, 4, sets), 1);
}

}  // namespace
