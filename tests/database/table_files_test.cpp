// Database, table and multi-table files: golden head layouts, round trips, truncation and corruption.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_fstream.h"
#include "table_files_support.h"

namespace {

using files_test::CodeOf;
using files_test::Cwd;
using files_test::DirBuf;
using files_test::FilesTest;
using files_test::IntAt;
using files_test::PutIntAt;
using files_test::ReadAll;
using files_test::Rewrite;
using files_test::Snapshot;
using files_test::WriteAll;
namespace fs = std::filesystem;

// A table of kind 2 standing in for a join: its record is the kind, the base record and a marker.
class FakeJoin : public TBaseTable {
 public:
  static constexpr int32_t kMarker = 4242;
  FakeJoin(int id, TTableCollection* db, bool fail_after_base = false) : db_(db), fail_(fail_after_base) {
    FTableID = id;
    snprintf(FTableName, sizeof FTableName, "J");
  }
  int GetTableKind() override { return 2; }
  int TotalRecs() override { return 0; }
  int GetSetSize(int) override { return Q7_ERROR_NO_SUCH_SET; }
  TSetArray* GetSet(int) override { return nullptr; }
  int PurgeSubSets() override { return 0; }
  int SetNot(int) override { return Q7_ERROR_NO_SUCH_SET; }
  int MppSetNot(int) override { return Q7_ERROR_NO_SUCH_SET; }
  int SetOpe(int, int, int) override { return Q7_ERROR_NO_SUCH_SET; }
  int MppSetOpe(int, int, int) override { return Q7_ERROR_NO_SUCH_SET; }
  TFilter* GetFilter(int) override { return nullptr; }
  int GetFilterIDList(int*) override { return 0; }
  char* FilterID2Name(int, char*, char* filter_name) override { return filter_name; }
  int GetFilterIDFromName(char*, int) override { return Q7_ERROR_NO_SUCH_FILTER; }
  int64_t GetMemSize() override { return sizeof *this; }
  TTableCollection* FileCollection() override { return db_; }

  void SaveTable(zpk_fstream* fs, int) override {
    const int32_t kind = 2;
    zpk_write(*fs, &kind, 4, 1);
    SaveBaseInfo(*fs, 0);
    if (fail_) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    zpk_write(*fs, &kMarker, 4, 1);
  }
  static TBaseTable* Read(zpk_fstream* fs, char*, int, int, TTableCollection* db) {
    auto t = std::make_unique<FakeJoin>(0, db);
    t->LoadBaseInfo(*fs);
    int32_t marker = 0;
    zpk_read(*fs, &marker, 4, 1);
    if (marker != kMarker) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    return t.release();
  }

 private:
  TTableCollection* db_;
  bool fail_;
};

class JoinReaderScope {
 public:
  JoinReaderScope() { TTableCollection::SetJoinRecordReader(&FakeJoin::Read); }
  ~JoinReaderScope() { TTableCollection::SetJoinRecordReader(nullptr); }
};

class TableFiles : public FilesTest {
 protected:
  // Tables with IDs 4, 9 and 12 (the others issued and deleted), the middle one holding every value
  // type, two extra sets (the second current), a high-speed filter and views on two sets.
  void BuildDatabase() {
    for (int i = 1; i <= 12; ++i) {
      const int id = AddTable("T" + std::to_string(i), i == 9 ? 40 : i);
      if (i != 4 && i != 9 && i != 12) {
        ASSERT_EQ(db_->DelTable(id), 0);
      }
    }
    TRealTable* t = Real(9);
    files_test::AddEveryType(t, 3);
    AddIntFilter(Real(4), "k", {1, 2, 2, 1});
    auto evens = ttest::MakeSet({2, 4, 6, 8, 10, 12});
    ASSERT_EQ(t->AddSet(evens.get()), 2);
    auto some = ttest::MakeSet({5, 3, 1, 40});
    ASSERT_EQ(t->AddSet(some.get()), 3);
    t->SetCurrentSetID(2);
    files_test::AddView(t, 1, 1);
    files_test::AddView(t, 2, 5);
    files_test::AddView(t, 3, 7);
    t->GetFilter(1)->HighSpeedSearchEnable(true);
  }

  void Save(const std::string& sub, const char* name) {
    fs::create_directories(Path(sub.c_str()));
    DirBuf dir(Path(sub.c_str()));
    std::string n = name;
    db_->SaveDB(dir.text, n.data());
  }
  std::unique_ptr<TTableCollection> Load(const std::string& sub, const char* name) {
    DirBuf dir(Path(sub.c_str()));
    std::string n = name;
    return std::make_unique<TTableCollection>(dir.text, n.data());
  }
  int LoadCode(const std::string& sub, const char* name) {
    return CodeOf([&] { Load(sub, name); });
  }
  static TRealTable* RealIn(TTableCollection& db, int id) {
    return static_cast<TRealTable*>(db.GetTable(id));
  }
};

// ---- Layout ----

TEST_F(TableFiles, DatabaseFileHeadLayout) {
  AddTable("A", 3);
  AddTable("B", 2);
  Save("d", "db");
  const std::string bytes = ReadAll(Path("d/db.Q7D"));
  ASSERT_GT(bytes.size(), 832u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(bytes.substr(0, 256), std::string(reinterpret_cast<const char*>(Qz7SysInfo), 256));
  EXPECT_EQ(IntAt(bytes, 256), 0x01001001);
  EXPECT_EQ(IntAt(bytes, 260), 25);
  EXPECT_EQ(IntAt(bytes, 264), 1);
  EXPECT_EQ(IntAt(bytes, 268), 20170503);
  EXPECT_EQ(IntAt(bytes, 272), 2);  // issued ID: the table count of an all-real database
  EXPECT_EQ(IntAt(bytes, 276), 0);
  EXPECT_EQ(IntAt(bytes, 280), 2);
  EXPECT_EQ(IntAt(bytes, 284), 0);
  EXPECT_EQ(bytes.substr(288, 256), std::string("A") + std::string(255, '\0'));
  EXPECT_EQ(bytes.substr(544, 256), std::string("B") + std::string(255, '\0'));
  EXPECT_EQ(IntAt(bytes, 800), 0);  // the first table's kind
  EXPECT_EQ(IntAt(bytes, 808), 0x01001001);
  EXPECT_EQ(IntAt(bytes, 824), 1);  // its ID: position + 1
}

TEST_F(TableFiles, TableFileHeadLayout) {
  const int id = AddTable("T", 3);
  auto odd = ttest::MakeSet({1, 3});
  ASSERT_EQ(Real(id)->AddSet(odd.get()), 2);
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, id), 0);
  const std::string bytes = ReadAll(Path("T.Q7T"));
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(IntAt(bytes, 256), 0);
  EXPECT_EQ(IntAt(bytes, 260), 0);
  EXPECT_EQ(IntAt(bytes, 264), 0x01001001);
  EXPECT_EQ(IntAt(bytes, 268), 25);
  EXPECT_EQ(IntAt(bytes, 280), id);
  EXPECT_EQ(IntAt(bytes, 284), 0);
  EXPECT_EQ(bytes.substr(288, 256), std::string("T") + std::string(255, '\0'));
  EXPECT_EQ(IntAt(bytes, 544), 2);
  EXPECT_EQ(IntAt(bytes, 548), 0);
  EXPECT_EQ(IntAt(bytes, 552), 1);
  EXPECT_EQ(IntAt(bytes, 556), 2);
  EXPECT_EQ(IntAt(bytes, 560), 2);  // last set ID
  EXPECT_EQ(IntAt(bytes, 568), 2);  // current set, after 4 zero bytes
}

// ---- Database round trips ----

TEST_F(TableFiles, AllRealDatabaseRoundTripRenumbersIDs) {
  BuildDatabase();
  std::vector<std::string> before;
  for (int id : {4, 9, 12}) before.push_back(Snapshot(Real(id)));
  DirBuf dir(Path("d"));
  fs::create_directories(dir.text);
  char relative[TTableCollection::kPathSize] = "d";
  ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  char name[] = "db";
  db_->SaveDB(relative, name);
  EXPECT_STREQ(relative, fs::canonical(dir.text).c_str());  // the absolute form comes back
  EXPECT_STREQ(db_->FDBPath, relative);
  EXPECT_STREQ(db_->FDBName, "db");
  ASSERT_EQ(chdir(cwd_.c_str()), 0);

  auto loaded = Load("d", "db.Q7D");
  ASSERT_EQ(loaded->TableCount(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(loaded->TableAt(i)->FTableID, i + 1);
    EXPECT_EQ(loaded->TableAt(i)->FDataVer, 25);
    EXPECT_EQ(Snapshot(static_cast<TRealTable*>(loaded->TableAt(i))), before[i]);
  }
  EXPECT_EQ(loaded->FTblIDIssued, 3);
  char next[] = "next";
  EXPECT_EQ(loaded->AddRealTable(next, 1), 4);
  EXPECT_STREQ(loaded->FDBPath, fs::canonical(dir.text).c_str());
  EXPECT_STREQ(loaded->FDBName, "db.Q7D");
  TRealTable* t = RealIn(*loaded, 2);
  EXPECT_EQ(t->GetCurrentSetID(), 2);
  EXPECT_EQ(t->GetFilter(1)->FHighSpeed, 1);
  EXPECT_TRUE(t->GetSet(2)->GetSortedSet(t->GetFilter(5))->HasData());
}

TEST_F(TableFiles, JoinRecordsKeepEveryID) {
  BuildDatabase();
  const int join_id = db_->IssueTableID();
  db_->AppendTable(new FakeJoin(join_id, db_.get()));
  Save("d", "db");
  EXPECT_EQ(db_->FAllReal, 0);
  EXPECT_EQ(IntAt(ReadAll(Path("d/db.Q7D")), 272), 13);

  EXPECT_EQ(LoadCode("d", "db"), Q7_ERROR_INVALID_TABLE_TYPE);  // no join reader installed
  JoinReaderScope join_reader;
  auto loaded = Load("d", "db");
  int ids[8];
  ASSERT_EQ(loaded->GetTableIDList(ids), 4);
  EXPECT_EQ(std::vector<int>(ids, ids + 4), (std::vector<int>{4, 9, 12, 13}));
  EXPECT_EQ(loaded->TableAt(3)->GetTableKind(), 2);
  EXPECT_EQ(Snapshot(RealIn(*loaded, 9)), Snapshot(Real(9)));
  char next[] = "next";
  EXPECT_EQ(loaded->AddRealTable(next, 1), 14);
}

TEST_F(TableFiles, FileNameRules) {
  const int id = AddTable("T", 2);
  for (const char* name : {"db", "db.Q7D"}) {
    Save("d", name);
    EXPECT_TRUE(fs::exists(Path("d/db.Q7D"))) << name;
    EXPECT_FALSE(fs::exists(Path("d/db.Q7D.Q7D"))) << name;
  }
  DirBuf dir(dir_.Dir());
  char as[] = "x.Q7T";
  ASSERT_EQ(db_->SaveRealTable(dir.text, id), 0);
  ASSERT_EQ(db_->SaveRealTableAs(dir.text, as, id), 0);
  EXPECT_TRUE(fs::exists(Path("T.Q7T")));
  EXPECT_TRUE(fs::exists(Path("x.Q7T.Q7T")));
  char by_full_name[] = "x.Q7T.Q7T";
  EXPECT_GT(db_->LoadRealTable(dir.text, by_full_name), 0);
  char by_stem[] = "T";
  EXPECT_GT(db_->LoadRealTable(dir.text, by_stem), 0);
  // No temporary file stays behind.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_.Dir()))
    files += e.path().string().find(".tmp") != std::string::npos;
  EXPECT_EQ(files, 0);
}

// ---- Table files and multi-table files ----

TEST_F(TableFiles, TableFileRoundTripTakesAFreeName) {
  BuildDatabase();
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, 9), 0);
  char name[] = "T9";
  const int id = db_->LoadRealTable(dir.text, name);
  EXPECT_EQ(id, 13);
  const std::string want = Snapshot(Real(9));
  const std::string got = Snapshot(Real(id));
  EXPECT_STREQ(Real(id)->FTableName, "T9_#1");
  EXPECT_EQ(got.substr(got.find('\n')), want.substr(want.find('\n')));
  EXPECT_EQ(Real(id)->Collection(), db_.get());
}

TEST_F(TableFiles, MultiTableListEndsAtAMissingTable) {
  for (int i = 1; i <= 7; ++i) AddTable("T" + std::to_string(i), i);
  const std::string file = Path("multi.bin");
  WriteAll(file, std::string(16, 'x'));
  std::string f = file;
  int list[] = {5, 99, 7, -1};
  unsigned long end = 0;
  ASSERT_EQ(db_->SaveRealTable2(f.data(), 16, list, 0, &end), 0);
  EXPECT_EQ(DrainRing().back(), "SaveRealTable2|No Such Table: TblIDList[1]99 ");
  EXPECT_EQ(fs::file_size(file), end);  // table 7 was not written
  int ids[2] = {};
  unsigned long read_end = 0;
  EXPECT_EQ(db_->LoadRealTable2(f.data(), 16, 1, ids, &read_end), 8);
  EXPECT_EQ(read_end, end);
  EXPECT_STREQ(Real(ids[0])->FTableName, "T5_#1");
  EXPECT_EQ(Real(ids[0])->TotalRecs(), 5);
}

TEST_F(TableFiles, MultiTableFileAtAnOffsetWithSetOneOnly) {
  BuildDatabase();
  for (unsigned long offset : {4096ul, 4099ul}) {
    SCOPED_TRACE(offset);
    const std::string file = Path("multi.bin");
    WriteAll(file, std::string(offset, '\0'));
    std::string f = file;
    int list[] = {4, 9, 12, -1};
    unsigned long end = 0;
    ASSERT_EQ(db_->SaveRealTable2(f.data(), offset, list, 1, &end), 0);
    int ids[3] = {};
    unsigned long read_end = 0;
    const int last = db_->LoadRealTable2(f.data(), offset, 3, ids, &read_end);
    EXPECT_EQ(last, ids[2]);
    EXPECT_EQ(read_end, end);
    TRealTable* t = Real(ids[1]);
    EXPECT_EQ(t->FnSet, 1);
    EXPECT_EQ(t->FSetIDs[0], 1);
    EXPECT_EQ(t->FMaxSetID, 1);
    EXPECT_EQ(t->GetCurrentSetID(), 1);
    EXPECT_EQ(t->TotalRecs(), 40);
    // Only the view of set 1 came along.
    EXPECT_NE(t->GetSet(1)->GetSortedSet(t->GetFilter(1)), nullptr);
    EXPECT_EQ(t->GetFilter(5)->SortedSets().size(), 0u);
    EXPECT_EQ(t->GetFilter(7)->SortedSets().size(), 0u);
    for (int id : ids) ASSERT_EQ(db_->DelTable(id), 0);
  }
}

// ---- Versions ----

TEST_F(TableFiles, EveryReadableDataVersionLoads) {
  BuildDatabase();
  std::vector<std::string> full, bare;
  for (int id : {4, 9, 12}) {
    full.push_back(Snapshot(Real(id)));
    bare.push_back(Snapshot(Real(id), false));
  }
  for (int version : {15, 16, 20, 21, 22, 23, 24, 25, 102}) {
    SCOPED_TRACE(version);
    fs::create_directories(Path("v"));
    files_test::WriteDatabaseAs(Path("v/old.Q7D"), *db_, version);
    auto loaded = Load("v", "old");
    ASSERT_EQ(loaded->TableCount(), 3);
    for (int i = 0; i < 3; ++i) {
      auto* t = static_cast<TRealTable*>(loaded->TableAt(i));
      EXPECT_EQ(t->FDataVer, version);
      if (version >= 23) {
        EXPECT_EQ(Snapshot(t), full[i]);
      } else {
        // Older records carry neither high-speed flags nor views.
        for (int f = 0; f < t->FnFilter; ++f) {
          EXPECT_EQ(t->FFilters[f]->FHighSpeed, 0);
          EXPECT_EQ(t->FFilters[f]->SortedSets().size(), 0u);
        }
        EXPECT_EQ(Snapshot(t, false), bare[i]);
      }
    }
  }
}

TEST_F(TableFiles, OlderTableFileVersionLoads) {
  BuildDatabase();
  zpk_fstream out;
  ASSERT_EQ(out.open(Path("old.Q7T").c_str(), kZpkWrite | kZpkBinary, 0), 0);
  out.writeFileHeader();
  files_test::WriteRecordAs(out, Real(9), 22, 9);
  out.close();
  DirBuf dir(dir_.Dir());
  char name[] = "old";
  const int id = db_->LoadRealTable(dir.text, name);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Real(id)->FDataVer, 22);
  EXPECT_EQ(Real(id)->FnSet, 3);
  EXPECT_EQ(Real(id)->GetCurrentSetID(), 2);
}

TEST_F(TableFiles, UnsupportedVersionsAreRefusedWithTheirLogLine) {
  AddTable("T", 2);
  Save("d", "db");
  const std::string good = ReadAll(Path("d/db.Q7D"));
  for (int version : {19, 26, 0, -1, 101, 103}) {
    SCOPED_TRACE(version);
    std::string bad = good;
    PutIntAt(&bad, 260, version);
    Rewrite(Path("d/bad.Q7D"), bad);
    EXPECT_EQ(LoadCode("d", "bad"), Q7_ERROR_UNSUPPORTED_VERSION);
    EXPECT_TRUE(Logged("Unspported DataVersion DataVer[1] = ------> " + std::to_string(version)));
    // The table's own base record is tested as well.
    bad = good;
    PutIntAt(&bad, 556, version);
    Rewrite(Path("d/bad.Q7D"), bad);
    EXPECT_EQ(LoadCode("d", "bad"), Q7_ERROR_UNSUPPORTED_VERSION);
  }
  // 102 is read by the plain reader only.
  std::string v102 = good;
  PutIntAt(&v102, 260, 102);
  WriteAll(Path("d/v102.Q7D"), v102);
  EXPECT_EQ(LoadCode("d", "v102"), 0);
  DirBuf dir(Path("d"));
  char name[] = "v102";
  EXPECT_EQ(CodeOf([&] { TTableCollection twin(dir.text, name, 0); }), Q7_ERROR_UNSUPPORTED_VERSION);
  EXPECT_TRUE(Logged("Unspported DataVersion DataVer[1] = ------> 102"));
}

TEST_F(TableFiles, OlderFileVersionSaveReadsBack) {
  BuildDatabase();
  db_->FUseSavedHeader = 1;
  const int32_t versions[4] = {0x01001001, 24, 1, 20170503};
  memcpy(db_->FSavedVersions, versions, sizeof versions);
  memcpy(db_->FSavedHeader, Qz7SysInfo, 256);
  db_->FSavedHeader[4] = 0;
  Save("d", "db");
  const std::string bytes = ReadAll(Path("d/db.Q7D"));
  EXPECT_EQ(bytes[4], 0);
  EXPECT_EQ(IntAt(bytes, 260), 24);
  EXPECT_EQ(IntAt(bytes, 1068), 24);  // the first table's base record, after three names
  auto loaded = Load("d", "db");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(loaded->TableAt(i)->FDataVer, 24);
    EXPECT_EQ(Snapshot(static_cast<TRealTable*>(loaded->TableAt(i))),
              Snapshot(Real(db_->TableAt(i)->FTableID)));
  }
}

// ---- Damaged and missing files ----

TEST_F(TableFiles, TruncatedDatabaseFilesFailAndChangeNothing) {
  BuildDatabase();
  Save("d", "db");
  const std::string good = ReadAll(Path("d/db.Q7D"));
  for (size_t cut = 0; cut < good.size(); cut += cut < 1200 ? 1 : 97) {
    Rewrite(Path("d/cut.Q7D"), good.substr(0, cut));
    const int code = LoadCode("d", "cut");
    ASSERT_LT(code, 0) << "cut at " << cut;
  }
  // The engine's own database is untouched and usable.
  EXPECT_EQ(db_->TableCount(), 3);
  EXPECT_GT(AddTable("after", 2), 0);
}

TEST_F(TableFiles, TruncatedTableFilesAddNothing) {
  BuildDatabase();
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, 9), 0);
  const std::string good = ReadAll(Path("T9.Q7T"));
  char name[] = "cut";
  for (size_t cut = 0; cut < good.size(); cut += cut < 1000 ? 1 : 61) {
    Rewrite(Path("cut.Q7T"), good.substr(0, cut));
    ASSERT_LT(CodeOf([&] { db_->LoadRealTable(dir.text, name); }), 0) << "cut at " << cut;
  }
  EXPECT_EQ(db_->TableCount(), 3);
}

// Every int32 of a table file replaced by values that break counts, sizes, IDs and positions: the
// load succeeds or fails with a code, never reads or allocates beyond what the file holds.
TEST_F(TableFiles, CorruptedTableFileFieldsNeverCrash) {
  // A small table with every kind of record: sets, every value type, a view, a high-speed flag.
  const int id = AddTable("S", 4);
  TRealTable* t = Real(id);
  files_test::AddEveryType(t, 1);
  auto some = ttest::MakeSet({4, 2});
  ASSERT_EQ(t->AddSet(some.get()), 2);
  files_test::AddView(t, 2, 5);
  t->GetFilter(1)->HighSpeedSearchEnable(true);
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, id), 0);
  const std::string good = ReadAll(Path("S.Q7T"));
  char name[] = "bad";
  const int32_t kValues[] = {-1, 0, 2, 513, 10001, INT32_MAX};
  int failures = 0;
  for (size_t at = 256; at + 4 <= good.size(); at += 4) {
    for (int32_t v : kValues) {
      std::string bad = good;
      PutIntAt(&bad, at, v);
      Rewrite(Path("bad.Q7T"), bad);
      int id = 0;
      const int code = CodeOf([&] { id = db_->LoadRealTable(dir.text, name); });
      if (code == 0 && id > 0) {
        ASSERT_EQ(db_->DelTable(id), 0);
      } else {
        ASSERT_LT(code, 0);
        ++failures;
      }
    }
  }
  EXPECT_GT(failures, 0);
  EXPECT_EQ(db_->TableCount(), 1);
}

struct Corruption {
  const char* what;
  bool table_file;
  size_t at;
  int32_t value;
  int code;
};

TEST_F(TableFiles, CorruptedCountsGiveTheirCodes) {
  AddTable("T", 3);
  Save("d", "db");
  DirBuf tdir(Path("d"));
  ASSERT_EQ(db_->SaveRealTable(tdir.text, 1), 0);
  const Corruption kCases[] = {
      {"table count over the limit", false, 280, 10001, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"table count beyond the file", false, 280, 9000, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"negative table count", false, 280, -1, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"table ID above the issued one", false, 272, 0, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"unknown table kind", false, 544, 5, Q7_ERROR_INVALID_TABLE_TYPE},
      // A negative kind is no error code of the reader's.
      {"negative table kind", false, 544, -1, Q7_ERROR_INVALID_TABLE_TYPE},
      {"table kind that reads as a code", false, 544, Q7_ERROR_OUT_OF_MEMORY, Q7_ERROR_INVALID_TABLE_TYPE},
      {"lowest table kind", false, 544, INT32_MIN, Q7_ERROR_INVALID_TABLE_TYPE},
      {"join kind in a table file", true, 256, 2, Q7_ERROR_NOT_REAL_TYPE},
      {"no sets", true, 544, 0, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"set count over the limit", true, 544, 10001, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"set count beyond the file", true, 544, 9000, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"set ID 0", true, 552, 0, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"last set ID below the sets", true, 560, 0, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"current set not registered", true, 568, 7, Q7_ERROR_ILLEGAL_ARRAY_DATA},
  };
  const std::string db_bytes = ReadAll(Path("d/db.Q7D"));
  const std::string t_bytes = ReadAll(Path("d/T.Q7T"));
  for (const Corruption& c : kCases) {
    SCOPED_TRACE(c.what);
    std::string bad = c.table_file ? t_bytes : db_bytes;
    PutIntAt(&bad, c.at, c.value);
    if (c.table_file) {
      Rewrite(Path("d/bad.Q7T"), bad);
      char name[] = "bad";
      EXPECT_EQ(CodeOf([&] { db_->LoadRealTable(tdir.text, name); }), c.code);
    } else {
      Rewrite(Path("d/bad.Q7D"), bad);
      EXPECT_EQ(LoadCode("d", "bad"), c.code);
    }
  }
}

TEST_F(TableFiles, OldSetBlockHoldsAtMostAHundredSets) {
  const int id = AddTable("T", 3);
  zpk_fstream out;
  ASSERT_EQ(out.open(Path("old.Q7T").c_str(), kZpkWrite | kZpkBinary, 0), 0);
  out.writeFileHeader();
  files_test::WriteRecordAs(out, Real(id), 22, 1);
  out.close();
  std::string bytes = ReadAll(Path("old.Q7T"));
  PutIntAt(&bytes, 544, 101);
  WriteAll(Path("old.Q7T"), bytes);
  DirBuf dir(dir_.Dir());
  char name[] = "old";
  EXPECT_EQ(CodeOf([&] { db_->LoadRealTable(dir.text, name); }), Q7_ERROR_ILLEGAL_ARRAY_DATA);
}

TEST_F(TableFiles, MissingFilesAndDirectories) {
  fs::create_directories(Path("d"));
  EXPECT_EQ(LoadCode("d", "none"), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(LoadCode("nowhere", "db"), Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(DrainRing().back(), "TTableCollection|Invalid Parameter : DBPath(" + Path("nowhere") + ")");
  DirBuf dir(Path("d"));
  DirBuf nowhere(Path("nowhere"));
  char name[] = "none";
  EXPECT_EQ(CodeOf([&] { db_->LoadRealTable(dir.text, name); }), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(db_->LoadRealTable(nowhere.text, name), Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(DrainRing().back(), "LoadRealTable|Invalid Parameter : TablePath(" + Path("nowhere") + ")");
  EXPECT_EQ(CodeOf([&] { db_->SaveDB(nowhere.text, name); }), Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(DrainRing().back(), "SaveDB|Invalid Parameter : DBPath(" + Path("nowhere") + ")");
  std::string missing = Path("d/none");
  EXPECT_EQ(db_->GetTableType(nullptr, missing.data()), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(db_->TableCount(), 0);
}

// ---- Saving ----

TEST_F(TableFiles, FailedSaveKeepsTheOldFile) {
  BuildDatabase();
  Save("d", "db");
  const std::string before = ReadAll(Path("d/db.Q7D"));
  const std::string path_before = db_->FDBPath;
  db_->AppendTable(new FakeJoin(db_->IssueTableID(), db_.get(), /*fail_after_base=*/true));
  EXPECT_EQ(CodeOf([&] { Save("d", "other"); }), Q7_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(CodeOf([&] { Save("d", "db"); }), Q7_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(ReadAll(Path("d/db.Q7D")), before);
  EXPECT_STREQ(db_->FDBName, "db");
  EXPECT_EQ(db_->FDBPath, path_before);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Path("d"))) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"db.Q7D"});
}

TEST_F(TableFiles, SaveDBReportsAnUnreadableWorkingDirectory) {
  AddTable("T", 1);
  fs::create_directories(Path("gone"));
  ASSERT_EQ(chdir(Path("gone").c_str()), 0);
  ASSERT_EQ(rmdir(Path("gone").c_str()), 0);
  DirBuf dir(dir_.Dir());
  char name[] = "db";
  const int code = CodeOf([&] { db_->SaveDB(dir.text, name); });
  ASSERT_EQ(chdir(cwd_.c_str()), 0);
  EXPECT_EQ(code, Q7_ERROR_INVALID_PATH);
  EXPECT_FALSE(fs::exists(Path("db.Q7D")));
}

TEST_F(TableFiles, ReSaveWritesTheLastSavedFile) {
  EXPECT_EQ(CodeOf([&] { db_->ReSave(); }), Q7_ERROR_NO_DB_NAME);
  EXPECT_EQ(DrainRing().back(), "ReSave|Illegal FileName");
  const int id = AddTable("T", 2);
  Save("d", "db");
  AddIntFilter(Real(id), "late", {5, 6});
  db_->ReSave();
  auto loaded = Load("d", "db");
  EXPECT_EQ(RealIn(*loaded, 1)->FnFilter, 1);
}

TEST_F(TableFiles, SingleTableSaveRefusals) {
  const int id = AddTable("T", 2);
  const int join_id = db_->IssueTableID();
  db_->AppendTable(new FakeJoin(join_id, db_.get()));
  DirBuf dir(dir_.Dir());
  EXPECT_EQ(db_->SaveRealTable(dir.text, 77), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing().back(), "SaveRealTable|No Such Table: 77 ");
  EXPECT_EQ(db_->SaveRealTable(dir.text, join_id), Q7_ERROR_SAVE_TABLE_FAILED);
  EXPECT_EQ(DrainRing().back(), "SaveRealTable|Not RealTable");
  DirBuf nowhere(Path("nowhere"));
  EXPECT_EQ(CodeOf([&] { db_->SaveRealTable(nowhere.text, id); }), Q7_ERROR_INVALID_PATH);
  std::string f = Path("multi.bin");
  WriteAll(f, "");
  int list[] = {id, join_id, -1};
  EXPECT_EQ(db_->SaveRealTable2(f.data(), 0, list, 0, nullptr), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(DrainRing().back(), "SaveRealTable2|Illegal table type ( Not REAL )");
  EXPECT_EQ(db_->LoadRealTable2(f.data(), 0, -1, nullptr, nullptr), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(DrainRing().back(), "LoadRealTable2|Invalid Parameter : TblCnt");
  std::string missing = Path("none.bin");
  EXPECT_EQ(CodeOf([&] { db_->SaveRealTable2(missing.data(), 0, list, 0, nullptr); }),
            Q7_ERROR_ILLEGAL_FILE_NAME);
}

// ---- Diagnostic readers ----

// True when `want` appears in `lines` in this order (other lines may come between).
bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& want) {
  size_t k = 0;
  for (const std::string& l : lines) {
    if (k < want.size() && l == want[k]) ++k;
  }
  return k == want.size();
}

TEST_F(TableFiles, DiagnosticDatabaseReaderLogsEachStep) {
  const int id = AddTable("T", 2);
  AddIntFilter(Real(id), "k", {1, 2});
  Save("d", "db");
  DirBuf dir(Path("d"));
  char name[] = "db";
  TTableCollection twin(dir.text, name, 0);
  EXPECT_EQ(twin.TableCount(), 1);
  const std::string abs = fs::canonical(Path("d")).string();
  const std::vector<std::string> want = {
      "Current Path ------> " + cwd_,
      "Change Current Path ------> " + abs,
      "Logging ------> db.Q7D",
      "DataVersion = ------> 16781313,25,1,20170503",
      "Table's Issued [FTblIDIssued] = ------> 1",
      "Table's Count [FnTable] = ------> 1",
      "TableName[i] = ------> T",
      "TableType[i] = ------> REALTABLE",
      "Change Current Path ------> " + cwd_,
  };
  EXPECT_TRUE(InOrder(LogLines(), want)) << ReadAll(log_path_);
}

TEST_F(TableFiles, DiagnosticTableReaderLogsEachStep) {
  const int id = AddTable("T", 2);
  AddIntFilter(Real(id), "k", {1, 2});
  files_test::AddView(Real(id), 1, 1);
  ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  Real(id)->SaveTable(nullptr, 0);
  char name[] = "T";
  TRealTable twin(nullptr, name, 0, 0, db_.get());
  ASSERT_EQ(chdir(cwd_.c_str()), 0);
  EXPECT_STREQ(twin.FTableName, "T_#1");
  const std::vector<std::string> want = {
      "Open File ------> T.Q7T", "TableType = 0 ", "Filters Count = 1", "MaxFilterIDs  = 1", "Filters ID = 1",
      "HighSpeed Enable = 0",    "SetCount = 1",   "SetPos = 0",        "FltPos = 0",
  };
  EXPECT_TRUE(InOrder(LogLines(), want)) << ReadAll(log_path_);
}

TEST_F(TableFiles, DiagnosticReaderLogsTheRefusals) {
  AddTable("T", 2);
  Save("d", "db");
  std::string bytes = ReadAll(Path("d/db.Q7D"));
  PutIntAt(&bytes, 544, 9);
  WriteAll(Path("d/db.Q7D"), bytes);
  DirBuf dir(Path("d"));
  char name[] = "db";
  EXPECT_EQ(CodeOf([&] { TTableCollection twin(dir.text, name, 0); }), Q7_ERROR_INVALID_TABLE_TYPE);
  EXPECT_TRUE(Logged("TableType[i] = ------> UNDEFINE TYPE"));
  PutIntAt(&bytes, 544, 0);
  std::string tbl = bytes.substr(0, 256) + bytes.substr(544);
  PutIntAt(&tbl, 256, 2);
  WriteAll(Path("d/J.Q7T"), tbl);
  ASSERT_EQ(chdir(Path("d").c_str()), 0);
  char jname[] = "J";
  const int code = CodeOf([&] { TRealTable twin(nullptr, jname, 0, 0, db_.get()); });
  ASSERT_EQ(chdir(cwd_.c_str()), 0);
  EXPECT_EQ(code, Q7_ERROR_NOT_REAL_TYPE);
  EXPECT_TRUE(Logged("No Real Table - cannot LoadDB"));
}

TEST_F(TableFiles, TheWorkingDirectoryComesBackAfterEveryCall) {
  BuildDatabase();
  Save("d", "db");
  DirBuf dir(Path("d"));
  char missing[] = "missing";
  char db[] = "db";
  const std::vector<std::pair<const char*, std::function<void()>>> calls = {
      {"load", [&] { TTableCollection c(dir.text, db); }},
      {"load missing", [&] { TTableCollection c(dir.text, missing); }},
      {"save", [&] { db_->SaveDB(dir.text, db); }},
      {"table save", [&] { db_->SaveRealTable(dir.text, 9); }},
      {"table load", [&] { db_->LoadRealTable(dir.text, missing); }},
  };
  for (const auto& [what, call] : calls) {
    CodeOf(call);
    EXPECT_EQ(Cwd(), cwd_) << what;
  }
}

// ---- Stored IDs ----

// Set IDs up to INT32_MAX are the engine's own (the last one it issues), so such a table loads; the
// next set is refused with the overflow code rather than taking a wrapped, negative ID, and the
// table stays whole until it is destroyed.
TEST_F(TableFiles, SetIDsAtTheTopLoadAndRefuseFurtherSets) {
  struct Case {
    int next_set_id;  // ResetSetID before the one extra set
    int room;         // sets the loaded table still issues
  };
  const Case kCases[] = {{INT32_MAX, 0}, {INT32_MAX - 1, 1}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.next_set_id);
    db_ = std::make_unique<TTableCollection>();
    const int id = AddTable("T", 4);
    AddIntFilter(Real(id), "k", {3, 1, 3, 2});
    ASSERT_EQ(Real(id)->ResetSetID(0, c.next_set_id), 0);
    auto some = ttest::MakeSet({4, 2});
    ASSERT_EQ(Real(id)->AddSet(some.get()), c.next_set_id);
    Save("d", "db");
    DirBuf dir(dir_.Dir());
    ASSERT_EQ(db_->SaveRealTable(dir.text, id), 0);
    char name[] = "T";
    const int single = db_->LoadRealTable(dir.text, name);
    ASSERT_GT(single, 0);
    auto loaded = Load("d", "db");
    for (TRealTable* t : {RealIn(*loaded, 1), Real(single)}) {
      EXPECT_EQ(t->FSetIDs[1], c.next_set_id);
      EXPECT_EQ(t->FMaxSetID, c.next_set_id);
      int value = 3;
      for (int k = 0; k < c.room; ++k) EXPECT_EQ(t->SetNot(-1), c.next_set_id + 1 + k);
      EXPECT_EQ(CodeOf([&] { t->SearchByField(1, -1, 0, reinterpret_cast<char*>(&value), nullptr); }),
                Q7_ERROR_SET_COUNT_OVERFLOW);
      EXPECT_EQ(t->SetOpe(0, 1, -1), Q7_ERROR_SET_COUNT_OVERFLOW);
      EXPECT_EQ(t->FnSet, 2 + c.room);
      EXPECT_EQ(t->GetCurrentSetID(), t->FSetIDs[t->FnSet - 1]);
    }
    loaded.reset();
    ASSERT_EQ(db_->DelTable(single), 0);
    DrainRing();
  }
}

// An issued table ID the engine could not have issued (negative) is refused; the highest one loads,
// and then no table can be added, since the next ID would wrap.
TEST_F(TableFiles, IssuedTableIDsStayWithinWhatCanBeIssued) {
  Save("d", "empty");
  const std::string good = ReadAll(Path("d/empty.Q7D"));
  ASSERT_EQ(IntAt(good, 280), 0);
  std::string bad = good;
  PutIntAt(&bad, 272, -1);
  Rewrite(Path("d/bad.Q7D"), bad);
  EXPECT_EQ(LoadCode("d", "bad"), Q7_ERROR_ILLEGAL_ARRAY_DATA);

  std::string top = good;
  PutIntAt(&top, 272, INT32_MAX);
  Rewrite(Path("d/top.Q7D"), top);
  auto loaded = Load("d", "top");
  EXPECT_EQ(loaded->FTblIDIssued, INT32_MAX);
  EXPECT_TRUE(loaded->Full());
  char name[] = "T";
  EXPECT_EQ(loaded->AddRealTable(name, 1), Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(DrainRing().back(), "AddRealTable|TableCount overflow");
  AddTable("T", 2);
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, 1), 0);
  EXPECT_EQ(loaded->LoadRealTable(dir.text, name), Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(CodeOf([&] { loaded->IssueTableID(); }), Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(loaded->FTblIDIssued, INT32_MAX);
  EXPECT_EQ(loaded->TableCount(), 0);
}

// The last filter ID is stored even for a table without filters; the next filter takes it + 1.
TEST_F(TableFiles, NegativeLastFilterIDIsRefused) {
  const int id = AddTable("T", 3);
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, id), 0);
  std::string bytes = ReadAll(Path("T.Q7T"));
  // The record ends with the filter count, the last filter ID and the view count, each aligned.
  const size_t last_filter_at = bytes.size() - 12;
  ASSERT_EQ(IntAt(bytes, bytes.size() - 20), 0);
  ASSERT_EQ(IntAt(bytes, last_filter_at), 0);
  PutIntAt(&bytes, last_filter_at, -1);
  Rewrite(Path("bad.Q7T"), bytes);
  char name[] = "bad";
  EXPECT_EQ(CodeOf([&] { db_->LoadRealTable(dir.text, name); }), Q7_ERROR_ILLEGAL_ARRAY_DATA);
  EXPECT_EQ(db_->TableCount(), 1);
}

// A last filter ID at the top of the range loads, and the next filter is refused instead of
// getting a wrapped ID.
TEST_F(TableFiles, LastFilterIDAtTheTopRefusesNewFilters) {
  const int id = AddTable("T", 2);
  DirBuf dir(dir_.Dir());
  ASSERT_EQ(db_->SaveRealTable(dir.text, id), 0);
  std::string bytes = ReadAll(Path("T.Q7T"));
  const size_t last_filter_at = bytes.size() - 12;
  ASSERT_EQ(IntAt(bytes, last_filter_at), 0);
  PutIntAt(&bytes, last_filter_at, INT32_MAX);
  Rewrite(Path("top.Q7T"), bytes);
  char name[] = "top";
  const int loaded = db_->LoadRealTable(dir.text, name);
  ASSERT_GT(loaded, 0);
  TRealTable* table = Real(loaded);
  EXPECT_EQ(AddIntFilter(table, "k", {7, 8}), Q7_ERROR_FILTER_COUNT_OVERFLOW);
  EXPECT_EQ(table->FnFilter, 0);
}

// ---- Names ----

// A table stored with an empty name loads under it: the database stays readable, and saves and
// loads again unchanged. A single-table load must give the table a name made from the stored one,
// which an empty seed cannot give.
TEST_F(TableFiles, EmptyStoredTableNameLoadsAsStored) {
  AddTable("A", 3);
  const int b = AddTable("B", 2);
  AddIntFilter(Real(b), "k", {7, 8});
  Save("d", "db");
  std::string bytes = ReadAll(Path("d/db.Q7D"));
  // The first table's record: kind at 800, versions, ID at 824, its name from 832.
  ASSERT_EQ(bytes.substr(832, 2), std::string("A\0", 2));
  bytes[832] = '\0';
  bytes[288] = '\0';  // the name list of the head, read past
  Rewrite(Path("d/db.Q7D"), bytes);

  auto loaded = Load("d", "db");
  ASSERT_EQ(loaded->TableCount(), 2);
  EXPECT_STREQ(loaded->TableAt(0)->FTableName, "");
  EXPECT_STREQ(loaded->TableAt(1)->FTableName, "B");
  EXPECT_EQ(Snapshot(RealIn(*loaded, 2)), Snapshot(Real(b)));
  DirBuf again(Path("d"));
  char name[] = "again";
  loaded->SaveDB(again.text, name);
  auto reloaded = Load("d", "again");
  EXPECT_STREQ(reloaded->TableAt(0)->FTableName, "");
  EXPECT_EQ(RealIn(*reloaded, 1)->TotalRecs(), 3);

  Rewrite(Path("d/noname.Q7T"), bytes.substr(0, 256) + bytes.substr(800));
  char noname[] = "noname";
  EXPECT_EQ(CodeOf([&] { db_->LoadRealTable(again.text, noname); }), Q7_ERROR_TABLE_NAME_GENERATION);
  EXPECT_EQ(db_->TableCount(), 2);
}

// ---- The head check before a load replaces a database ----

// The older start without a system header (the stream then reads packed, in the machine's own byte
// order) passes the head check and loads; a file that starts like neither is refused by the check
// with the reader's own code.
TEST_F(TableFiles, HeadCheckAcceptsWhatTheReaderReads) {
  BuildDatabase();
  fs::create_directories(Path("d"));
  {
    zpk_fstream out;
    ASSERT_EQ(out.open(Path("d/bare.Q7D").c_str(), kZpkWrite | kZpkBinary, /*raw=*/1), 0);
    zpk_write(out, Qz7Versions, 4, 4);
    const int32_t n = db_->TableCount();
    const int32_t issued = db_->FTblIDIssued;
    zpk_write(out, &issued, 4, 1);
    zpk_write(out, &n, 4, 1);
    for (int i = 0; i < n; ++i) {
      char name[256] = {};
      snprintf(name, sizeof name, "%s", db_->TableAt(i)->FTableName);
      zpk_write(out, name, 1, 256);
    }
    for (int i = 0; i < n; ++i) db_->TableAt(i)->SaveTable(&out, 0);
    out.close();
  }
  ASSERT_NE(static_cast<unsigned char>(ReadAll(Path("d/bare.Q7D"))[0]), 0xFF);
  DirBuf dir(Path("d"));
  EXPECT_EQ(CodeOf([&] { TTableCollection::CheckDatabaseFile(dir.text, "bare"); }), 0);
  EXPECT_STREQ(dir.text, Path("d").c_str());  // nothing written back
  auto loaded = Load("d", "bare");
  ASSERT_EQ(loaded->TableCount(), 3);
  for (int id : {4, 9, 12}) EXPECT_EQ(Snapshot(RealIn(*loaded, id)), Snapshot(Real(id))) << id;

  Save("d", "db");
  const std::string good = ReadAll(Path("d/db.Q7D"));
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  std::string bad_version = good;
  PutIntAt(&bad_version, 260, 26);
  std::string bad_count = good;
  PutIntAt(&bad_count, 280, -1);
  const Case kCases[] = {
      {"empty", "", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"text", "plain text that is no database\n", Q7_ERROR_UNSUPPORTED_VERSION},
      {"header only", good.substr(0, 256), Q7_ERROR_ILLEGAL_FILE_NAME},
      {"unknown version", bad_version, Q7_ERROR_UNSUPPORTED_VERSION},
      {"negative table count", bad_count, Q7_ERROR_ILLEGAL_ARRAY_DATA},
      {"names cut off", good.substr(0, 600), Q7_ERROR_ILLEGAL_ARRAY_DATA},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Rewrite(Path("d/bad.Q7D"), c.bytes);
    EXPECT_EQ(CodeOf([&] { TTableCollection::CheckDatabaseFile(dir.text, "bad"); }), c.code);
    EXPECT_EQ(LoadCode("d", "bad"), c.code);
  }
  // Damage past the head is the reader's to find.
  Rewrite(Path("d/bad.Q7D"), good.substr(0, good.size() / 2));
  EXPECT_EQ(CodeOf([&] { TTableCollection::CheckDatabaseFile(dir.text, "bad"); }), 0);
  EXPECT_LT(LoadCode("d", "bad"), 0);
  EXPECT_EQ(CodeOf([&] { TTableCollection::CheckDatabaseFile(dir.text, "none"); }),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  DirBuf nowhere(Path("nowhere"));
  EXPECT_EQ(CodeOf([&] { TTableCollection::CheckDatabaseFile(nowhere.text, "db"); }), Q7_ERROR_INVALID_PATH);
  EXPECT_EQ(DrainRing().back(), "TTableCollection|Invalid Parameter : DBPath(" + Path("nowhere") + ")");
}

}  // namespace
