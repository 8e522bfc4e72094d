// The database and file calls as a host sees them: saving and loading the whole database, single
// tables and tables inside a host's own file, what stored files say about themselves, the saves in
// the previous file version, and the ring entries their failures leave.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::RingEntry;

static_assert(sizeof(_Q7FileInfo) == 52);

// Everything a host can read back from a table: its description, its sets and every value of set 1
// as text.
struct TableSnapshot {
  std::string name;
  int filters = 0;
  int sets = 0;
  int rows = 0;
  int current_set = 0;
  std::vector<std::vector<int>> set_rows;
  std::vector<std::string> values;

  bool operator==(const TableSnapshot&) const = default;
};

std::string ValueText(int type, const unsigned char* raw, int size) {
  char text[128];
  switch (type) {
    case Q7_TYPE_INTEGER: {
      int32_t v;
      memcpy(&v, raw, sizeof v);
      snprintf(text, sizeof text, "i%d", v);
      return text;
    }
    case Q7_TYPE_STRING:
      return "s" + std::string(reinterpret_cast<const char*>(raw), static_cast<size_t>(size));
    case Q7_TYPE_DECIMAL: {
      NumericInfo info;
      Numeric n;
      memcpy(&info, raw, sizeof info);
      memcpy(&n, raw + sizeof info, sizeof n);
      snprintf(text, sizeof text, "n%d:%lld:%llu", info.scale, static_cast<long long>(n.high),
               static_cast<unsigned long long>(n.low));
      return text;
    }
    default: {
      double v;
      memcpy(&v, raw, sizeof v);
      snprintf(text, sizeof text, "d%d:%a", type, v);
      return text;
    }
  }
}

TableSnapshot Snapshot(int table) {
  TableSnapshot s;
  _TTableInfo info;
  EXPECT_EQ(RQ7GetTableProperty(table, &info), 0);
  s.name = info.name;
  s.filters = info.nFilter;
  s.sets = info.nSet;
  s.rows = info.totalRecs;
  s.current_set = RQ7GetCurrentSetID(table);
  std::vector<int> set_ids(static_cast<size_t>(s.sets) + 1);
  EXPECT_EQ(RQ7GetSetList(table, s.sets, set_ids.data()), s.sets);
  for (int k = 0; k < s.sets; ++k) s.set_rows.push_back(q7host::ReadSet(table, set_ids[k]));
  int filter_ids[512];
  const int n = RQ7GetFilterIDList(table, filter_ids);
  EXPECT_EQ(n, s.filters);
  alignas(16) unsigned char raw[4096];
  for (int f = 0; f < n; ++f) {
    for (int row = 1; row <= s.rows; ++row) {
      int type = 0;
      const int size = RQ7GetData1(table, filter_ids[f], 1, row, &type, raw);
      EXPECT_GE(size, 0);
      s.values.push_back(ValueText(type, raw, size));
    }
  }
  return s;
}

// A table of every value type with NULLs, and two sets besides set 1.
int BuildSales(const std::string& name) {
  const int t = q7host::AddTable(name, 5);
  EXPECT_GT(t, 0);
  EXPECT_GT(q7host::AddIntColumn(t, "qty", {5, q7host::kIntNull, 7, -2, 5}), 0);
  EXPECT_GT(q7host::AddDoubleColumn(t, "price", {1.5, 2.25, q7host::kDoubleNull, -0.5, 1e300}), 0);
  EXPECT_GT(q7host::AddStringColumn(t, "city", {"Oslo", "", "Rome", "Oslo", "Lima"}), 0);
  EXPECT_GT(q7host::AddDoubleColumn(
                t, "day",
                {q7host::DateSerial(2020, 2, 29), q7host::kDoubleNull, q7host::DateSerial(1900, 1, 1),
                 q7host::DateSerial(2020, 2, 29), q7host::DateSerial(9999, 12, 31)},
                Q7_TYPE_DATE),
            0);
  EXPECT_GT(q7host::AddDecimalColumn(t, "amount",
                                     {q7host::Decimal(1234), q7host::kDecimalNull, q7host::Decimal(-5),
                                      q7host::Decimal(0), q7host::Decimal(99999)},
                                     2),
            0);
  const int picked[] = {4, 2, 5};
  const int set = RQ7AddSetReal(t, 3, picked);
  EXPECT_GT(set, 1);
  EXPECT_GT(RQ7SetNotReal(t, set), set);
  return t;
}

std::vector<TableSnapshot> SnapshotAll() {
  std::vector<int> ids(static_cast<size_t>(RQ7GetNTable()) + 1);
  const int n = RQ7GetTableIDList(ids.data());
  std::vector<TableSnapshot> all;
  for (int k = 0; k < n; ++k) all.push_back(Snapshot(ids[k]));
  return all;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class DatabaseApi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ASSERT_EQ(RQ7ClearDB(), 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  q7host::TempDir dir_;
};

TEST_F(DatabaseApi, SavedDatabaseLoadsBackIdentically) {
  BuildSales("sales");
  const int empty = q7host::AddTable("empty", 0);
  ASSERT_GT(empty, 0);
  const std::vector<TableSnapshot> before = SnapshotAll();
  ASSERT_EQ(before.size(), 2u);

  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "shop"), 0);
  char path[512] = {}, name[512] = {};
  ASSERT_EQ(RQ7GetPathName(path, name), 0);
  EXPECT_EQ(std::filesystem::equivalent(path, dir_.path()), true);
  EXPECT_STREQ(name, "shop");

  ASSERT_EQ(RQ7ClearDB(), 0);
  EXPECT_EQ(RQ7GetNTable(), 0);
  ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "shop"), 0);
  EXPECT_EQ(SnapshotAll(), before);

  // The other load entry point reads the same database; the mirrors too.
  ASSERT_EQ(RQ7HSLoadDB(dir_.path().c_str(), "shop.Q7D"), 0);
  EXPECT_EQ(SnapshotAll(), before);
  ASSERT_EQ(Q7ClearDB(), 0);
  ASSERT_EQ(Q7LoadDB(dir_.path().c_str(), "shop"), 0);
  EXPECT_EQ(SnapshotAll(), before);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(DatabaseApi, SaveDBWritesWhereTheDatabaseCameFrom) {
  const int t = BuildSales("sales");
  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "shop"), 0);
  ASSERT_EQ(RQ7DeleteSet(t, RQ7GetCurrentSetID(t)), 0);
  const std::vector<TableSnapshot> changed = SnapshotAll();
  ASSERT_EQ(RQ7SaveDB(), 0);
  ASSERT_EQ(RQ7ClearDB(), 0);

  // A new, empty database has no place to write to.
  EXPECT_EQ(RQ7SaveDB(), Q7_ERROR_NO_DB_NAME);
  EXPECT_EQ(Q7SaveDB(), Q7_ERROR_NO_DB_NAME);
  DrainRing();

  ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "shop"), 0);
  EXPECT_EQ(SnapshotAll(), changed);
}

// Without a name the file would be the bare extension, a hidden ".Q7D" beside the host's files.
TEST_F(DatabaseApi, SaveDBAsRefusesAMissingName) {
  // Integers only, so that the previous file version can take the table too.
  ASSERT_GT(q7host::AddIntColumn(q7host::AddTable("plain", 3), "n", {1, 2, 3}), 0);
  const std::string d = dir_.path();
  struct Case {
    const char* name;
    std::function<int()> save;
  };
  const Case cases[] = {
      {"null", [&] { return RQ7SaveDBAs(d.c_str(), nullptr); }},
      {"empty", [&] { return RQ7SaveDBAs(d.c_str(), ""); }},
      {"plain mirror", [&] { return Q7SaveDBAs(d.c_str(), nullptr); }},
      {"previous version", [&] { return RQ7SaveDBAsOldVer(d.c_str(), "", 24); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.save(), Q7_ERROR_NO_DB_NAME);
    EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"Q7SaveDBAs", Q7_ERROR_NO_DB_NAME, "Illegal FileName"}}));
    EXPECT_TRUE(std::filesystem::is_empty(d));
    char path[512] = "x", name[512] = "x";
    ASSERT_EQ(RQ7GetPathName(path, name), 0);
    EXPECT_STREQ(name, "");  // nothing saved, so there is still no place to save again
  }
}

TEST_F(DatabaseApi, TableFilesLoadAsNewTablesWithUniqueNames) {
  const int t = BuildSales("sales");
  const TableSnapshot before = Snapshot(t);
  ASSERT_EQ(RQ7SaveRealTable(dir_.path().c_str(), t), 0);
  ASSERT_EQ(RQ7SaveRealTableAs(dir_.path().c_str(), "copy", t), 0);

  const int loaded = RQ7LoadRealTable(dir_.path().c_str(), "sales");
  ASSERT_GT(loaded, t);
  const int loaded_hs = RQ7HSLoadRealTable(dir_.path().c_str(), "copy.Q7T");
  ASSERT_GT(loaded_hs, loaded);
  for (const auto& [id, name] : {std::pair{loaded, "sales_#1"}, std::pair{loaded_hs, "sales_#2"}}) {
    SCOPED_TRACE(name);
    TableSnapshot expected = before;
    expected.name = name;
    EXPECT_EQ(Snapshot(id), expected);
  }
  EXPECT_EQ(RQ7GetNTable(), 3);
}

TEST_F(DatabaseApi, TablesInsideAHostFileKeepTheBytesAroundThem) {
  const int a = BuildSales("first");
  const int b = q7host::AddTable("second", 2);
  ASSERT_GT(q7host::AddIntColumn(b, "n", {10, 20}), 0);
  const std::string file = dir_.File("host.bin");
  const std::string prefix(100, 'x');
  std::ofstream(file, std::ios::binary) << prefix;

  unsigned long end_a = 0, end_b = 0;
  ASSERT_EQ(RQ7SaveRealTable2(file.c_str(), prefix.size(), &a, &end_a), 0);
  ASSERT_GT(end_a, prefix.size());
  ASSERT_EQ(RQ7SaveRealTable2(file.c_str(), end_a, &b, &end_b), 0);
  ASSERT_GT(end_b, end_a);
  EXPECT_EQ(ReadFile(file).substr(0, prefix.size()), prefix);

  int ids[2] = {0, 0};
  unsigned long end = 0;
  const int last = RQ7LoadRealTable2(file.c_str(), prefix.size(), 2, ids, &end);
  EXPECT_EQ(end, end_b);
  ASSERT_GT(ids[0], b);
  EXPECT_EQ(ids[1], ids[0] + 1);
  EXPECT_EQ(last, ids[1]);

  // Only set 1 travels; the loaded table's set 1 is current.
  TableSnapshot expected = Snapshot(a);
  expected.name = "first_#1";
  expected.sets = 1;
  expected.current_set = 1;
  expected.set_rows.resize(1);
  EXPECT_EQ(Snapshot(ids[0]), expected);
  expected = Snapshot(b);
  expected.name = "second_#1";
  EXPECT_EQ(Snapshot(ids[1]), expected);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(DatabaseApi, HostFileRefusalsWriteAndAddNothing) {
  const int a = q7host::AddTable("only", 2);
  ASSERT_GT(q7host::AddIntColumn(a, "n", {1, 2}), 0);
  const std::string file = dir_.File("host.bin");
  std::ofstream(file, std::ios::binary) << "head";

  // A table that does not exist is an error, not an empty success.
  const int missing = a + 7;
  unsigned long end = 12345;
  EXPECT_EQ(RQ7SaveRealTable2(file.c_str(), 4, &missing, &end), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(end, 12345u);
  EXPECT_EQ(ReadFile(file), "head");
  EXPECT_EQ(
      DrainRing(),
      (std::vector<RingEntry>{
          {"RQ7SaveRealTable2", Q7_ERROR_NO_SUCH_TABLE, "No Such Table: " + std::to_string(missing) + " "},
      }));

  // Asking for more tables than the file holds fails on the one that is not there; the ones read
  // before it stay.
  ASSERT_EQ(RQ7SaveRealTable2(file.c_str(), 4, &a, &end), 0);
  int ids[2] = {0, 0};
  EXPECT_LT(RQ7LoadRealTable2(file.c_str(), 4, 2, ids, nullptr), 0);
  EXPECT_GT(ids[0], a);
  EXPECT_EQ(RQ7GetNTable(), 2);
  const std::vector<RingEntry> ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back().api, "RQ7LoadRealTable2");

  EXPECT_EQ(RQ7LoadRealTable2(file.c_str(), 4, -1, ids, nullptr), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"LoadRealTable2", Q7_ERROR_NO_SUCH_TABLE, "Invalid Parameter : TblCnt"},
                         }));
}

TEST_F(DatabaseApi, FileInfoDescribesStoredFiles) {
  const int t = BuildSales("sales");
  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "shop"), 0);
  ASSERT_EQ(RQ7SaveRealTable(dir_.path().c_str(), t), 0);
  int versions[4];
  ASSERT_EQ(RQ7GetVersion(versions, nullptr), 0);

  _Q7FileInfo db_info, table_info;
  memset(&db_info, 0x55, sizeof db_info);
  ASSERT_EQ(RQ7GetQ7DFileInfo(dir_.path().c_str(), "shop", &db_info), 0);
  ASSERT_EQ(RQ7GetQ7TFileInfo(dir_.path().c_str(), "sales.Q7T", &table_info), 0);
  for (const _Q7FileInfo& info : {db_info, table_info}) {
    EXPECT_STREQ(info.charCodeName, "Shift_JIS");
    EXPECT_EQ(info.version[0], versions[0]);
    EXPECT_EQ(info.version[1], 102);
  }
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  // The database file is no table file.
  EXPECT_LT(RQ7GetQ7TFileInfo(dir_.path().c_str(), "shop", &table_info), 0);
  DrainRing();
}

TEST_F(DatabaseApi, PreviousFileVersionIsCheckedBeforeAnythingIsWritten) {
  const int t = q7host::AddTable("plain", 3);
  ASSERT_GT(q7host::AddIntColumn(t, "n", {1, 2, 3}), 0);
  const std::string d = dir_.path();

  EXPECT_EQ(RQ7SaveDBAsOldVer(d.c_str(), "old", 23), Q7_ERROR_INVALID_FILE_VERSION);
  EXPECT_EQ(RQ7SaveRealTableOldVer(d.c_str(), t, 25), Q7_ERROR_INVALID_FILE_VERSION);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"innerQ7SavePossibleCheck", Q7_ERROR_UNKNOWN, "fileversion is not exist : 23"},
                             {"innerQ7SavePossibleCheck", Q7_ERROR_UNKNOWN, "fileversion is not exist : 25"},
                         }));
  EXPECT_FALSE(std::ifstream(dir_.File("old.Q7D")).good());

  // The lock is free again, and a table with a decimal filter cannot go into the old version.
  ASSERT_GT(
      q7host::AddDecimalColumn(t, "amount", {q7host::Decimal(1), q7host::Decimal(2), q7host::Decimal(3)}, 1),
      0);
  EXPECT_EQ(RQ7SaveRealTableAsOldVer(d.c_str(), "old", t, 24), Q7_ERROR_NO_FILE_VERSION);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"innerQ7SavePossibleCheck", Q7_ERROR_UNKNOWN, "Invalid fileversion"},
                         }));
  EXPECT_FALSE(std::ifstream(dir_.File("old.Q7T")).good());
}

TEST_F(DatabaseApi, PreviousFileVersionLoadsBack) {
  const int t = q7host::AddTable("plain", 3);
  ASSERT_GT(q7host::AddStringColumn(t, "s", {"a", "", "c"}), 0);
  const TableSnapshot before = Snapshot(t);
  const std::string d = dir_.path();
  ASSERT_EQ(RQ7SaveRealTableOldVer(d.c_str(), t, 24), 0);
  ASSERT_EQ(RQ7SaveRealTableAsOldVer(d.c_str(), "other", t, 24), 0);
  ASSERT_EQ(RQ7SaveDBAsOldVer(d.c_str(), "old", 24), 0);

  ASSERT_EQ(RQ7LoadDB(d.c_str(), "old"), 0);
  EXPECT_EQ(SnapshotAll(), std::vector<TableSnapshot>{before});
  const int other = RQ7LoadRealTable(d.c_str(), "other");
  ASSERT_GT(other, 0);
  TableSnapshot expected = before;
  expected.name = "plain_#1";
  EXPECT_EQ(Snapshot(other), expected);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(DatabaseApi, TimeTextsAndTheirFailure) {
  double value = 0;
  EXPECT_EQ(RQ7StrToTime("18:00", &value), 0);
  EXPECT_DOUBLE_EQ(value, 0.75);
  EXPECT_EQ(Q7StrToTime("6:00:00", &value), 0);
  EXPECT_DOUBLE_EQ(value, 0.25);

  EXPECT_EQ(RQ7StrToTime("noon", &value), Q7_ERROR_UNKNOWN);
  EXPECT_EQ(value, -HUGE_VAL);
  EXPECT_EQ(DrainRing(),
            (std::vector<RingEntry>{
                {"Q7StrToTime", Q7_ERROR_UNKNOWN, "Failed to get time index ( Str2Time module )"},
            }));
}

TEST_F(DatabaseApi, GeneratedNamesAvoidTakenOnes) {
  ASSERT_GT(q7host::AddTable("sales", 1), 0);
  char name[256] = {};
  ASSERT_EQ(RQ7GenerateTableName("fresh", name), 0);
  EXPECT_STREQ(name, "fresh");
  ASSERT_EQ(Q7GenerateTableName("sales", name), 0);
  EXPECT_STREQ(name, "sales_#1");
}

// Ring entries of failures of each frame kind: a full frame records an exception it catches under
// its own name, passes a returned code on without an entry, and its own checks record once.
TEST_F(DatabaseApi, FailuresLeaveTheEntriesOfTheirFrame) {
  _Q7FileInfo info;
  const std::string d = dir_.path();
  const std::string missing_dir = dir_.File("nowhere");

  // Thrown inside the operation (after the stream's own entry): recorded under the exported name.
  EXPECT_EQ(RQ7GetQ7DFileInfo(d.c_str(), "absent", &info), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"zpk_open", Q7_ERROR_ILLEGAL_FILE_NAME, "Illegal FileName"},
                             {"RQ7GetQ7DFileInfo", Q7_ERROR_ILLEGAL_FILE_NAME, ""},
                         }));

  // Returned by the operation: its own entry only.
  EXPECT_EQ(RQ7GetQ7TFileInfo(missing_dir.c_str(), "t", &info), Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(
      DrainRing(),
      (std::vector<RingEntry>{
          {"Q7GetQz7FileInfo", Q7_ERROR_INVALID_PATH, "Invalid Parameter : DBPath(" + missing_dir + ")"},
      }));

  // The frame's own check.
  unsigned long end = 0;
  EXPECT_EQ(RQ7SaveRealTable2(dir_.File("f").c_str(), 0, nullptr, &end), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"RQ7SaveRealTable2", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : TblID"},
                         }));

  // A plain mirror records nothing of its own.
  const int t = q7host::AddTable("t", 1);
  const std::string long_dir(600, 'd');
  EXPECT_EQ(Q7SaveRealTable(long_dir.c_str(), t), Q7_ERROR_ILLEGAL_FILE_NAME);
  const std::vector<RingEntry> ring = DrainRing();
  ASSERT_EQ(ring.size(), 1u);
  EXPECT_EQ(ring[0].api, "Q7SaveRealTable");
  EXPECT_EQ(ring[0].code, Q7_ERROR_ILLEGAL_FILE_NAME);
}

TEST_F(DatabaseApi, FreeMemReleasesAndClearsTheHostPointer) {
  int a_rows[] = {1, 2, 3};
  int b_rows[] = {2, 3, 4};
  _TSetDescript result;
  ASSERT_EQ(Q7SetOpe2(0, 4, {3, a_rows}, {3, b_rows}, &result), 2);
  void* block = result.rows;
  EXPECT_EQ(Q7FreeMem(&block), 0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(Q7FreeMem(&block), 0);
  EXPECT_EQ(Q7FreeMem(nullptr), 0);
}

// A load that cannot even begin (no such directory or file, a file that is no database file) keeps
// the database the host had; damage found further in still leaves an empty database.
TEST_F(DatabaseApi, LoadDBOfAWrongFileKeepsTheDatabase) {
  const int t = BuildSales("sales");
  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "shop"), 0);
  ASSERT_EQ(RQ7SaveRealTableAs(dir_.path().c_str(), "table", t), 0);
  const std::string shop = ReadFile(dir_.File("shop.Q7D"));
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir_.File(name), std::ios::binary) << bytes;
  };
  write("notes.Q7D", "These are notes, not a database.\n");
  write("empty.Q7D", "");
  write("table.Q7D", ReadFile(dir_.File("table.Q7T")));
  ASSERT_GT(shop.size(), 300u);
  write("head.Q7D", shop.substr(0, 300));
  const std::vector<TableSnapshot> before = SnapshotAll();
  const std::string missing_dir = dir_.File("nowhere");
  struct Case {
    const char* what;
    std::string dir;
    const char* name;
    int code;
  };
  const Case kCases[] = {
      {"misspelt name", dir_.path(), "shopp", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"no such directory", missing_dir, "shop", Q7_ERROR_INVALID_PATH},
      {"text file", dir_.path(), "notes", Q7_ERROR_UNSUPPORTED_VERSION},
      {"empty file", dir_.path(), "empty", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"table file", dir_.path(), "table", Q7_ERROR_UNSUPPORTED_VERSION},
      {"names cut off", dir_.path(), "head", Q7_ERROR_ILLEGAL_ARRAY_DATA},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RQ7LoadDB(c.dir.c_str(), c.name), c.code);
    const std::vector<RingEntry> ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back().api, "Q7LoadDB");
    EXPECT_EQ(ring.back().code, c.code);
    EXPECT_EQ(SnapshotAll(), before);
  }

  // The first table's kind, negative: refused as an invalid kind, not passed on as a code.
  std::string bad_kind = shop;
  const int32_t minus_one = -1;
  memcpy(bad_kind.data() + 544, &minus_one, 4);
  write("kind.Q7D", bad_kind);
  EXPECT_EQ(RQ7LoadDB(dir_.path().c_str(), "kind"), Q7_ERROR_INVALID_TABLE_TYPE);
  EXPECT_EQ(RQ7GetNTable(), 0);
  ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "shop"), 0);
  write("cut.Q7D", shop.substr(0, shop.size() / 2));
  EXPECT_LT(RQ7LoadDB(dir_.path().c_str(), "cut"), 0);
  EXPECT_EQ(RQ7GetNTable(), 0);
  DrainRing();
}

// A file cut short: the read that fails is entered with a message naming the file. Cut within its
// head, the load is refused before the database goes; cut further in, the database is left empty.
// A missing file keeps the database too.
TEST_F(DatabaseApi, LoadDBOfACutFileSaysWhatFailed) {
  BuildSales("sales");
  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "shop"), 0);
  const std::string shop = ReadFile(dir_.File("shop.Q7D"));
  // One table: its name at 288, its kind at 544; the record ends with an int32.
  ASSERT_GT(shop.size(), 600u);
  const std::vector<TableSnapshot> before = SnapshotAll();
  struct Case {
    const char* what;
    size_t cut;  // bytes kept; npos: no file
    bool keeps;
  };
  const Case kCases[] = {
      {"within the header", 100, true},
      {"within the versions", 262, true},
      {"within the first kind", 546, false},
      {"within the last field", shop.size() - 2, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "shop"), 0);
    std::ofstream(dir_.File("cut.Q7D"), std::ios::binary | std::ios::trunc) << shop.substr(0, c.cut);
    DrainRing();
    EXPECT_EQ(RQ7LoadDB(dir_.path().c_str(), "cut"), Q7_ERROR_ILLEGAL_FILE_NAME);
    const std::vector<RingEntry> ring = DrainRing();
    ASSERT_FALSE(ring.empty());
    EXPECT_EQ(ring.back(), (RingEntry{"Q7LoadDB", Q7_ERROR_ILLEGAL_FILE_NAME,
                                      "Database file cut short or unreadable: cut.Q7D"}));
    if (c.keeps) {
      EXPECT_EQ(SnapshotAll(), before);
    } else {
      EXPECT_EQ(RQ7GetNTable(), 0);
    }
  }
  ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "shop"), 0);
  DrainRing();
  EXPECT_EQ(RQ7LoadDB(dir_.path().c_str(), "gone"), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"zpk_open", Q7_ERROR_ILLEGAL_FILE_NAME, "Illegal FileName"},
                                                 {"Q7LoadDB", Q7_ERROR_ILLEGAL_FILE_NAME, ""}}));
  EXPECT_EQ(SnapshotAll(), before);
}

// A stored table whose sets reach the highest set ID: searches and set operations are refused with
// the overflow code, and the database clears cleanly afterwards.
TEST_F(DatabaseApi, LoadedSetIDsAtTheTopRefuseNewSets) {
  const int t = q7host::AddTable("t", 2);
  const int k = q7host::AddIntColumn(t, "k", {4, 6});
  ASSERT_GT(k, 0);
  const int rows[] = {2};
  ASSERT_EQ(RQ7AddSetReal(t, 1, rows), 2);
  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "top"), 0);
  std::string bytes = ReadFile(dir_.File("top.Q7D"));
  // The table's base record: set count at 832, set IDs at 840, last set ID at 848, current at 856.
  const size_t kSecondSetID = 844, kLastSetID = 848, kCurrentSetID = 856;
  for (size_t at : {kSecondSetID, kLastSetID, kCurrentSetID}) {
    int32_t v = 0;
    memcpy(&v, bytes.data() + at, 4);
    ASSERT_EQ(v, 2) << at;
    const int32_t top = INT32_MAX;
    memcpy(bytes.data() + at, &top, 4);
  }
  std::ofstream(dir_.File("top.Q7D"), std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "top"), 0);
  EXPECT_EQ(RQ7GetCurrentSetID(1), INT32_MAX);
  int value = 6;
  EXPECT_EQ(RQ7SearchByField(1, 1, -1, 0, reinterpret_cast<char*>(&value), nullptr),
            Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(RQ7SortByField(1, 1, -1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(RQ7SetNotReal(1, -1), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(RQ7GetNSet(1), 2);
  EXPECT_EQ(q7host::ReadSet(1, INT32_MAX), std::vector<int>{2});
  DrainRing();
  EXPECT_EQ(RQ7ClearDB(), 0);
}

}  // namespace
