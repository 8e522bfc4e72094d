// Database operations of the operation layer: replacing, loading and saving the database, the saved
// flags those set, the file information record, and the refusals of host texts.
#include "api/ops/ops_database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_tables.h"
#include "opsets_support.h"
#include "tests/support/test_support.h"

namespace {

using opsets_test::Entry;

// A scratch directory, removed with its files afterwards; the working directory is restored.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/q7opdbXXXXXX";
    path_ = mkdtemp(pattern);
    char cwd[4096];
    cwd_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
  }
  ~ScratchDir() {
    std::filesystem::current_path(cwd_);
    std::filesystem::remove_all(path_);
  }
  const char* c_str() const { return path_.c_str(); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string cwd_;
};

class DatabaseOps : public opsets_test::OpTest {};

TEST_F(DatabaseOps, ClearDBLeavesAnEmptyDatabaseAndTheFlags) {
  IntTable({1, 2, 3});
  innerQ7SetSavedFlag(0);
  EXPECT_EQ(innerQ7ClearDB(), 0);
  ASSERT_NE(db(), nullptr);
  EXPECT_EQ(innerQ7GetNTable(), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);
}

TEST_F(DatabaseOps, SaveAndLoadRoundTripSetTheSavedFlags) {
  ScratchDir dir;
  int filter = 0;
  const int table = IntTable({5, 6, 7}, &filter, "Sales");
  innerQ7SetSavedFlag(0);
  ASSERT_EQ(innerQ7SaveDBAs(dir.c_str(), "shop"), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
  EXPECT_TRUE(std::filesystem::exists(dir.File("shop.Q7D")));

  char path[kHostPathSize], name[kHostPathSize];
  ASSERT_EQ(innerQ7GetPathName(path, name), 0);
  EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical(dir.c_str()));
  EXPECT_STREQ(name, "shop");

  ASSERT_EQ(innerQ7ClearDB(), 0);
  innerQ7SetSavedFlag(0);
  ASSERT_EQ(innerQ7LoadDB(dir.c_str(), "shop"), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
  ASSERT_EQ(innerQ7GetNTable(), 1);
  char table_name[256];
  ASSERT_EQ(innerQ7GetTableName(table, table_name), 0);
  EXPECT_STREQ(table_name, "Sales");
  EXPECT_EQ(ValueNumbers(table, filter).size(), 3u);

  // ReSave writes to the same place and sets the flags again.
  innerQ7SetSavedFlag(0);
  EXPECT_EQ(innerQ7SaveDB(), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(DatabaseOps, LoadingAMissingFileKeepsTheDatabaseAndTheFlags) {
  ScratchDir dir;
  IntTable({1});
  innerQ7SetSavedFlag(0);
  const int result = innerQ7LoadDB(dir.c_str(), "absent");
  EXPECT_EQ(result, Q7_ERROR_ILLEGAL_FILE_NAME);
  ASSERT_NE(db(), nullptr);
  EXPECT_EQ(innerQ7GetNTable(), 1);
  EXPECT_EQ(innerQ7GetSavedFlag(1), 0);
  const auto mine = DrainFor("Q7LoadDB");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].code, Q7_ERROR_ILLEGAL_FILE_NAME);
}

TEST_F(DatabaseOps, LoadingFromADirectoryThatDoesNotExistKeepsTheDatabase) {
  IntTable({1});
  EXPECT_EQ(innerQ7LoadDB("/nonexistent/q7/dir", "db"), Q7_ERROR_INVALID_PATH);
  ASSERT_NE(db(), nullptr);
  EXPECT_EQ(innerQ7GetNTable(), 1);
}

TEST_F(DatabaseOps, OverlongTextsAreRefusedBeforeAnythingChanges) {
  const int table = IntTable({1, 2});
  const std::string long_text(kHostPathSize, 'd');
  const std::string fits(kHostPathSize - 1, 'd');
  struct Case {
    const char* what;
    int (*call)(const char*, const char*);
    const char* ring;
  };
  const Case cases[] = {
      {"LoadDB", innerQ7LoadDB, "Q7LoadDB"},
      {"SaveDBAs", innerQ7SaveDBAs, "Q7SaveDBAs"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(long_text.c_str(), "db"), Q7_ERROR_ILLEGAL_FILE_NAME);
    EXPECT_EQ(c.call("/tmp", long_text.c_str()), Q7_ERROR_ILLEGAL_FILE_NAME);
    const auto mine = DrainFor(c.ring);
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_EQ(mine[0].code, Q7_ERROR_ILLEGAL_FILE_NAME);
    // The database is the one that was there.
    EXPECT_EQ(innerQ7GetNTable(), 1);
    EXPECT_NE(db()->GetTable(table), nullptr);
  }
  // 511 bytes fit the buffer and reach the file system (which refuses such a directory).
  EXPECT_EQ(innerQ7SaveDBAs(fits.c_str(), "db"), Q7_ERROR_INVALID_PATH);
}

TEST_F(DatabaseOps, SaveDBWithoutANameFails) {
  EXPECT_EQ(innerQ7SaveDB(), Q7_ERROR_NO_DB_NAME);
  const std::vector<Entry> want = {{"ReSave", Q7_ERROR_NO_DB_NAME, "Illegal FileName"},
                                   {"Q7SaveDB", Q7_ERROR_NO_DB_NAME, ""}};
  EXPECT_EQ(Drain(), want);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
}

TEST_F(DatabaseOps, FileInfoOfDatabaseAndTableFiles) {
  ScratchDir dir;
  const int table = IntTable({1, 2}, nullptr, "Tbl");
  ASSERT_EQ(innerQ7SaveDBAs(dir.c_str(), "db"), 0);
  ASSERT_EQ(innerQ7SaveRealTable(dir.c_str(), table), 0);

  struct Case {
    const char* name;
    const char* ext;
  };
  const Case cases[] = {{"db", ".Q7D"}, {"db.Q7D", ".Q7D"}, {"Tbl", ".Q7T"}, {"Tbl.Q7T", ".Q7T"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    _Q7FileInfo info;
    memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(innerQ7GetQz7FileInfo(dir.c_str(), c.name, c.ext, &info), 0);
    EXPECT_EQ(info.osType, 0x30);
    EXPECT_EQ(info.byteOrder, 4);
    EXPECT_EQ(info.wordSize, 2);
    EXPECT_STREQ(info.charCodeName, "Shift_JIS");
    EXPECT_EQ(info.version[0], 0x01001001);
    EXPECT_EQ(info.version[1], 102);
    EXPECT_EQ(info.version[2], 1);
    EXPECT_EQ(info.version[3], 20170503);
    // The interface record's layout, byte by byte.
    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    EXPECT_EQ(bytes[0], 0x30);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + 3)), "Shift_JIS");
    int32_t version1 = 0;
    memcpy(&version1, bytes + 40, 4);
    EXPECT_EQ(version1, 102);
  }
  // The working directory is back where it was.
  EXPECT_NE(std::filesystem::current_path(), std::filesystem::canonical(dir.c_str()));
}

TEST_F(DatabaseOps, FileInfoRefusals) {
  _Q7FileInfo info{};
  for (const char* ext : {".q7d", ".Q7", "", ".Q7DX"}) {
    SCOPED_TRACE(ext);
    EXPECT_EQ(innerQ7GetQz7FileInfo("/tmp", "x", ext, &info), -1);
  }
  EXPECT_EQ(innerQ7GetQz7FileInfo("/tmp", "x", nullptr, &info), -1);
  EXPECT_TRUE(Drain().empty());

  EXPECT_EQ(innerQ7GetQz7FileInfo("/nonexistent/q7", "x", ".Q7D", &info), Q7_ERROR_INVALID_PATH);
  const std::vector<Entry> want = {
      {"Q7GetQz7FileInfo", Q7_ERROR_INVALID_PATH, "Invalid Parameter : DBPath(/nonexistent/q7)"}};
  EXPECT_EQ(Drain(), want);

  // A missing file (and a name equal to the extension gets it appended) is passed on to the frame.
  ScratchDir dir;
  const auto before = std::filesystem::current_path();
  try {
    innerQ7GetQz7FileInfo(dir.c_str(), ".Q7D", ".Q7D", &info);
    ADD_FAILURE() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_ILLEGAL_FILE_NAME);
  }
  EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST_F(DatabaseOps, TableCountListAndNames) {
  const int a = Table(1, "A");
  const int b = Table(1, "B");
  int ids[4] = {};
  EXPECT_EQ(innerQ7GetTableIDList(ids), 2);
  EXPECT_EQ(ids[0], a);
  EXPECT_EQ(ids[1], b);
  EXPECT_EQ(innerQ7GetTableIDList(nullptr), Q7_ERROR_INVALID_PARAMETER);

  char name[256];
  EXPECT_EQ(innerQ7GenerateTableName("A", name), 0);
  EXPECT_STREQ(name, "A_#1");
  EXPECT_EQ(innerQ7GenerateTableName("", name), Q7_ERROR_ILLEGAL_TABLE_NAME);
  const auto mine = DrainFor("Q7GenerateTableName");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].message, "Failed to get table Name ( GenTableName module )");

  char* out = nullptr;
  EXPECT_EQ(innerQ7GenTableName("B", &out), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, "B_#1");
  EXPECT_EQ(innerQ7GenTableName("C", &out), 0);
  EXPECT_STREQ(out, "C");
}

TEST_F(DatabaseOps, StrToTimeAndFreeMem) {
  double value = 0;
  EXPECT_EQ(innerQ7StrToTime("12:00", &value), 0);
  EXPECT_DOUBLE_EQ(value, 0.5);
  EXPECT_EQ(innerQ7StrToTime("noon", &value), Q7_ERROR_UNKNOWN);
  const std::vector<Entry> want = {
      {"Q7StrToTime", Q7_ERROR_UNKNOWN, "Failed to get time index ( Str2Time module )"}};
  EXPECT_EQ(Drain(), want);
  EXPECT_EQ(innerQ7StrToTime("1:00", nullptr), Q7_ERROR_INVALID_PARAMETER);

  void* block = malloc(16);
  EXPECT_EQ(innerQ7FreeMem(&block), 0);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(innerQ7FreeMem(&block), 0);
  EXPECT_EQ(innerQ7FreeMem(nullptr), 0);
}

TEST(JoinChain, LengthsOutsideTheRangeSetTheLongest) {
  struct Case {
    int length;
    int result;
    int kept;
  };
  const Case cases[] = {{16, 0, 16},
                        {510, 0, 510},
                        {15, Q7_ERROR_INVALID_PARAMETER, 510},
                        {100, 0, 100},
                        {511, Q7_ERROR_INVALID_PARAMETER, 510}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(innerQ7SetMaxJoinChain(c.length), c.result);
    EXPECT_EQ(TTableCollection::m_nMaxJoinChain, c.kept);
  }
}

TEST(GeneratedNames, PrefixLocalTimeAndFixedIndex) {
  char out[kGeneratedNameSize];
  EXPECT_TRUE(q7test::FullMatch(MakeGeneratedName(kRealTablePrefix, 1, out), "realtbl20[0-9]{12}_1"));
  EXPECT_TRUE(q7test::FullMatch(MakeGeneratedName(kFilterPrefix, 0, out), "filter20[0-9]{12}_0"));
  char given[] = "mine";
  EXPECT_EQ(NameOrGenerated(given, kJoinTablePrefix, 1, out), given);
  char empty[] = "";
  EXPECT_EQ(std::string(NameOrGenerated(empty, kJoinTablePrefix, 1, out)).rfind("jointbl", 0), 0u);
}

}  // namespace
