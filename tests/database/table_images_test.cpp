// Memory images, the memory stream and shared-memory (in-place) images of tables and databases.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "foundation/TextHelpers.h"
#include "table_files_support.h"
#include "values/ArrayRecord.h"

namespace {

using files_test::CodeOf;
using files_test::DirBuf;
using files_test::FilesTest;
using files_test::IntAt;
using files_test::PutIntAt;
using files_test::ReadAll;
using files_test::Snapshot;
namespace fs = std::filesystem;

// Exactly n bytes of heap, so that the sanitizer build sees a read one byte past an image; malloc's
// blocks start at a multiple of 16, as images must start at a multiple of 8.
class Bytes {
 public:
  explicit Bytes(size_t n) : n_(n), p_(static_cast<char*>(malloc(n > 0 ? n : 1)), free) {}
  explicit Bytes(const std::string& s) : Bytes(s.size()) { memcpy(p_.get(), s.data(), s.size()); }
  char* data() { return p_.get(); }
  size_t size() const { return n_; }
  std::string str() const { return std::string(p_.get(), n_); }

 private:
  size_t n_;
  std::unique_ptr<char, decltype(&free)> p_;
};

// The process's memory stream for the scope of a test.
class StreamScope {
 public:
  explicit StreamScope(TMemStream* stream) {
    delete MemStream;
    MemStream = stream;
  }
  ~StreamScope() {
    delete MemStream;
    MemStream = nullptr;
  }
  StreamScope(const StreamScope&) = delete;
  StreamScope& operator=(const StreamScope&) = delete;
};

class TableImages : public FilesTest {
 protected:
  // Tables with IDs 4, 9 and 12, the middle one holding every value type, two extra sets (the
  // second current), a high-speed filter and views on three sets.
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

  // A small table of every kind of record, for the sweeps: sets, every value type, a view, a
  // high-speed flag.
  int BuildSmallTable() {
    const int id = AddTable("S", 4);
    TRealTable* t = Real(id);
    files_test::AddEveryType(t, 1);
    auto some = ttest::MakeSet({4, 2});
    EXPECT_EQ(t->AddSet(some.get()), 2);
    files_test::AddView(t, 2, 5);
    t->GetFilter(1)->HighSpeedSearchEnable(true);
    return id;
  }

  std::string DatabaseFile() {
    fs::create_directories(Path("d"));
    DirBuf dir(Path("d"));
    char name[] = "db";
    db_->SaveDB(dir.text, name);
    return ReadAll(Path("d/db.Q7D"));
  }
  std::string TableFile(int id) {
    DirBuf dir(dir_.Dir());
    EXPECT_EQ(db_->SaveRealTable(dir.text, id), 0);
    return ReadAll(Path((std::string(Real(id)->FTableName) + ".Q7T").c_str()));
  }

  // The database image in a buffer of its own size.
  std::string DatabaseImage() {
    Bytes buffer(1 << 20);
    void* end = nullptr;
    EXPECT_EQ(db_->SaveDB2Mem(buffer.size(), buffer.data(), &end), 0);
    return std::string(buffer.data(), static_cast<char*>(end) - buffer.data());
  }
  // A single-table image, trailer and all, as written into `capacity` bytes.
  std::string TableImage(int id, size_t capacity = 1 << 20) {
    Bytes buffer(capacity);
    void* end = nullptr;
    EXPECT_EQ(db_->SaveRealTable2Mem(id, capacity, buffer.data(), &end), 0);
    return std::string(buffer.data(), static_cast<char*>(end) - buffer.data());
  }
};

// ---- Layouts ----

// The header's length word of an image (0 in files), and the image with 0 there.
uint64_t LengthWord(const std::string& image) {
  uint64_t word = 0;
  memcpy(&word, image.data() + 8, 8);
  return word;
}
std::string WithoutLengthWord(std::string image) {
  memset(image.data() + 8, 0, 8);
  return image;
}

// The image of a database is the database file, and a single-table image the table file followed
// by its trailer: the same units, padded alike from an 8-aligned start. Only the header differs: an
// image's holds its length in bytes 8 to 15, where a file's holds 0.
TEST_F(TableImages, ImagesAreTheFilesByteForByte) {
  BuildDatabase();
  const std::string file = DatabaseFile();
  const std::string db_image = DatabaseImage();
  EXPECT_EQ(LengthWord(file), 0u);
  EXPECT_EQ(LengthWord(db_image), db_image.size());
  EXPECT_EQ(WithoutLengthWord(db_image), file);

  const std::string table_file = TableFile(9);
  const std::string image = WithoutLengthWord(TableImage(9));
  EXPECT_EQ(LengthWord(TableImage(9)), image.size());
  ASSERT_GT(image.size(), table_file.size());
  EXPECT_EQ(image.substr(0, table_file.size()), table_file);
  // The trailer: the tag (after the record's padding) and the record's length, 8-aligned.
  const size_t tag_at = table_file.size() + (table_file.size() & 7);
  EXPECT_EQ(image.substr(tag_at, 8), std::string("Q7TFEND\0", 8));
  int64_t length = 0;
  ASSERT_EQ(image.size(), tag_at + 16);
  memcpy(&length, image.data() + tag_at + 8, 8);
  EXPECT_EQ(length, static_cast<int64_t>(table_file.size()));
}

// The trailer is written whole when the rest of the buffer holds both units with the padding
// before each, and not at all otherwise; a buffer of the size GetFileSize gives always suffices.
TEST_F(TableImages, TrailerOnlyWhenItFitsWithItsPadding) {
  BuildDatabase();
  const size_t record = TableFile(9).size();
  const size_t pad = record & 7;
  const size_t trailer = pad + 8 + 8;  // after the tag the address is a multiple of 8
  struct Case {
    size_t capacity;
    size_t want;  // bytes written
  };
  const Case cases[] = {
      {record, record},
      {record + trailer - 1, record},
      {record + trailer, record + trailer},
      {record + trailer + 5, record + trailer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    EXPECT_EQ(TableImage(9, c.capacity).size(), c.want);
  }
  const int64_t bound = Real(9)->GetFileSize();
  EXPECT_GE(bound, static_cast<int64_t>(record));
  EXPECT_GE(TableImage(9, static_cast<size_t>(bound)).size(), record);
  Bytes small(record - 1);
  void* end = nullptr;
  EXPECT_EQ(CodeOf([&] { db_->SaveRealTable2Mem(9, small.size(), small.data(), &end); }),
            Q7_ERROR_OUT_OF_MEMORY);
}

// ---- Round trips ----

TEST_F(TableImages, DatabaseImageRoundTripRenumbersIDs) {
  BuildDatabase();
  std::vector<std::string> before;
  for (int id : {4, 9, 12}) before.push_back(Snapshot(Real(id)));
  Bytes image(DatabaseImage());

  void* end = nullptr;
  TTableCollection loaded(image.data(), image.size(), &end);
  EXPECT_EQ(end, image.data() + image.size());
  ASSERT_EQ(loaded.TableCount(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(loaded.TableAt(i)->FTableID, i + 1);
    EXPECT_EQ(Snapshot(static_cast<TRealTable*>(loaded.TableAt(i))), before[i]);
  }
  EXPECT_EQ(loaded.FTblIDIssued, 3);
  EXPECT_STREQ(loaded.FDBPath, "");
  EXPECT_STREQ(loaded.FDBName, "");
  auto* t = static_cast<TRealTable*>(loaded.GetTable(2));
  EXPECT_EQ(t->GetFilter(1)->FHighSpeed, 1);
  EXPECT_TRUE(t->GetSet(2)->GetSortedSet(t->GetFilter(5))->HasData());
}

TEST_F(TableImages, SingleTableImageLoadsUnderANewIDAndName) {
  BuildDatabase();
  const std::string before = Snapshot(Real(9));
  Bytes image(TableImage(9));
  void* end = nullptr;
  const int id = db_->LoadRealTableFromMem(image.data(), image.size(), &end);
  EXPECT_EQ(id, 13);
  // The trailer is not read.
  EXPECT_EQ(static_cast<char*>(end), image.data() + TableFile(9).size());
  TRealTable* t = Real(id);
  EXPECT_STREQ(t->FTableName, "T9_#1");
  snprintf(t->FTableName, sizeof t->FTableName, "T9");
  EXPECT_EQ(Snapshot(t), before);
  for (int view = 0; view < 3; ++view) {
    TSortedSetArray* original = Real(9)->FSets[view]->SortedSets()[0];
    TSortedSetArray* copy = t->FSets[view]->SortedSets()[0];
    EXPECT_EQ(copy->NullCount(), original->NullCount());
  }
}

TEST_F(TableImages, MemoryStreamHoldsTheTableFiles) {
  BuildDatabase();
  const std::string t9 = TableFile(9);
  const std::string t4 = TableFile(4);
  std::string bytes;
  {
    StreamScope stream(new TMemStream());
    ASSERT_EQ(db_->SaveRealTableMem(9, 0), 0);
    EXPECT_EQ(std::string(MemStream->pArea(), MemStream->nUsed()), t9);
    ASSERT_EQ(db_->SaveRealTableMem(4, 0), 0);
    ASSERT_EQ(db_->SaveRealTableMem(9, 1), 0);
    bytes.assign(MemStream->pArea(), MemStream->nUsed());
  }
  // The second header is padded by its position, as in a multi-table file.
  EXPECT_EQ(bytes.substr(t9.size() + (t9.size() & 7), t4.size()), t4);

  Bytes copy(bytes);
  StreamScope stream(new TMemStream(static_cast<long>(copy.size()), copy.data()));
  const int a = db_->LoadRealTableMem();
  const int b = db_->LoadRealTableMem();
  const int c = db_->LoadRealTableMem();
  EXPECT_EQ(std::vector<int>({a, b, c}), std::vector<int>({13, 14, 15}));
  EXPECT_EQ(db_->LoadRealTableMem(), 0);  // at the end of the stream
  EXPECT_EQ(db_->TableCount(), 6);
  snprintf(Real(a)->FTableName, sizeof Real(a)->FTableName, "T9");
  EXPECT_EQ(Snapshot(Real(a)), Snapshot(Real(9)));
  snprintf(Real(b)->FTableName, sizeof Real(b)->FTableName, "T4");
  EXPECT_EQ(Snapshot(Real(b)), Snapshot(Real(4)));
  // Set 1 only: every record, its filters, no further sets.
  EXPECT_EQ(Real(c)->FnSet, 1);
  EXPECT_EQ(Real(c)->TotalRecs(), 40);
  EXPECT_EQ(files_test::ValueOf(Real(c)->GetFilter(5), 17), files_test::ValueOf(Real(9)->GetFilter(5), 17));
}

TEST_F(TableImages, MemoryStreamRefusals) {
  BuildDatabase();
  EXPECT_EQ(CodeOf([&] { db_->SaveRealTableMem(9, 0); }), Q7_ERROR_INVALID_MEMSTREAM);
  EXPECT_EQ(TakeRing(), "SaveBaseInfoMem|Invalid memstreem");
  StreamScope stream(new TMemStream());
  EXPECT_EQ(db_->SaveRealTableMem(5, 0), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(TakeRing(), "SaveRealTableMem|No Such Table: 5 ");
  // A stream that was just written stands at its end: nothing more to read.
  EXPECT_EQ(db_->SaveRealTableMem(4, 0), 0);
  EXPECT_EQ(db_->LoadRealTableMem(), 0);
  EXPECT_EQ(db_->TableCount(), 3);
}

// Shared-memory images are database files read where they lie: the arrays stay in the image.
TEST_F(TableImages, SharedImageIsReadInPlace) {
  BuildDatabase();
  std::vector<std::string> before;
  for (int id : {4, 9, 12}) before.push_back(Snapshot(Real(id)));
  Bytes image(DatabaseFile());
  {
    TTableCollection shared(image.data(), image.size());
    ASSERT_EQ(shared.TableCount(), 3);
    EXPECT_TRUE(shared.UsesSharedImage());
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      auto* t = static_cast<TRealTable*>(shared.TableAt(i));
      EXPECT_EQ(t->FShmImage, 1);
      EXPECT_EQ(Snapshot(t), before[i]);
      const char* rows = static_cast<const char*>(t->FSets[0]->FData);
      EXPECT_TRUE(rows >= image.data() && rows < image.data() + image.size());
    }
    // A table of its own does not tie the database to the image.
    char name[] = "own";
    TTableCollection mixed;
    EXPECT_GT(mixed.AddRealTable(name, 3), 0);
    EXPECT_FALSE(mixed.UsesSharedImage());
  }
  Bytes shifted(image.size() + 4);
  memcpy(shifted.data() + 4, image.data(), image.size());
  EXPECT_EQ(CodeOf([&] { TTableCollection misaligned(shifted.data() + 4, image.size()); }),
            Q7_ERROR_ADDRESS_ALIGNMENT);
}

// Files of every readable data version are read in place as the file reader reads them.
TEST_F(TableImages, SharedImageOfEveryReadableVersion) {
  BuildDatabase();
  for (int version : {15, 16, 20, 21, 22, 23, 24, 25, 102}) {
    SCOPED_TRACE(version);
    const std::string path = Path("old.Q7D");
    files_test::WriteDatabaseAs(path, *db_, version);
    DirBuf dir(dir_.Dir());
    char name[] = "old";
    TTableCollection from_file(dir.text, name);
    Bytes image(ReadAll(path));
    TTableCollection shared(image.data(), image.size());
    ASSERT_EQ(shared.TableCount(), 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Snapshot(static_cast<TRealTable*>(shared.TableAt(i))),
                Snapshot(static_cast<TRealTable*>(from_file.TableAt(i))));
    }
  }
}

// ---- Appending a shared image ----

// A kind-2 table standing in for a join in images: the base record and its master and slave IDs.
class FakeJoin : public TBaseTable {
 public:
  FakeJoin(int id, int master, int slave, TTableCollection* db) : master_(master), slave_(slave), db_(db) {
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
    const int32_t record[3] = {2, master_, slave_};
    zpk_write(*fs, &record[0], 4, 1);
    SaveBaseInfo(*fs, 0);
    zpk_write(*fs, &record[1], 4, 2);
  }
  static TBaseTable* ReadInPlace(void** cursor, const void* end, void* id_map) {
    auto t = std::make_unique<FakeJoin>(0, 0, 0, nullptr);
    t->LoadBaseInfo(cursor, end);
    ShmRecordReader r(cursor, end);
    int32_t ids[2];
    r.Read(ids, 4, 2);
    if (id_map != nullptr) MapTableIDs(ids, id_map, 2);
    t->master_ = ids[0];
    t->slave_ = ids[1];
    return t.release();
  }

  int master_;
  int slave_;

 private:
  TTableCollection* db_;
};

class JoinReaderScope {
 public:
  JoinReaderScope() { TTableCollection::SetJoinImageReaders(nullptr, &FakeJoin::ReadInPlace); }
  ~JoinReaderScope() { TTableCollection::SetJoinImageReaders(nullptr, nullptr); }
};

TEST_F(TableImages, AppendedImageMapsTableIDs) {
  // The image: tables 1 and 2 (the second with a column whose origin is table 1) and a join over
  // them.
  AddTable("A", 3);
  AddTable("B", 2);
  AddIntFilter(Real(1), "a", {1, 2, 3});
  AddIntFilter(Real(2), "b", {5, 6});
  Real(1)->GetFilter(1)->FOrgTblID = 1;
  Real(2)->GetFilter(1)->FOrgTblID = 1;
  const int join = db_->IssueTableID();
  db_->AppendTable(new FakeJoin(join, 1, 2, db_.get()));
  Bytes image(DatabaseFile());

  // The database appended to: its last issued ID is 7, and it holds a table named A.
  TTableCollection target;
  for (int i = 0; i < 7; ++i) {
    char name[] = "X";
    char last[] = "A";
    target.AddRealTable(i < 6 ? name : last, 1);
  }
  for (int id = 1; id <= 6; ++id) ASSERT_EQ(target.DelTable(id), 0);

  EXPECT_EQ(CodeOf([&] { target.AppendSharedMemoryDB(image.data(), image.size()); }),
            Q7_ERROR_INVALID_TABLE_TYPE);  // no join reader: the real tables read so far stay
  EXPECT_EQ(TakeRing(), "AppendSharedMemoryDB|Invalid table type ( Not REAL or JOIN )");
  ASSERT_EQ(target.TableCount(), 3);
  ASSERT_EQ(target.DelTable(8), 0);
  ASSERT_EQ(target.DelTable(9), 0);

  JoinReaderScope join_reader;
  ASSERT_EQ(target.AppendSharedMemoryDB(image.data(), image.size()), 0);
  int ids[8];
  ASSERT_EQ(target.GetTableIDList(ids), 4);
  EXPECT_EQ(std::vector<int>(ids, ids + 4), (std::vector<int>{7, 10, 11, 12}));
  EXPECT_STREQ(target.GetTable(10)->FTableName, "A_#1");
  auto* j = static_cast<FakeJoin*>(target.GetTable(12));
  EXPECT_EQ(j->master_, 10);
  EXPECT_EQ(j->slave_, 11);
  // A filter's origin is mapped when its table was read before; its own table's ID is not yet.
  EXPECT_EQ(static_cast<TRealTable*>(target.GetTable(11))->GetFilter(1)->FOrgTblID, 10);
  EXPECT_EQ(static_cast<TRealTable*>(target.GetTable(10))->GetFilter(1)->FOrgTblID, 1);
}

// A table file mapped from the shared-table registry is attached under its own name only.
TEST_F(TableImages, SharedTableFileAttachesUnderItsOwnName) {
  const int id = BuildSmallTable();
  Bytes file(TableFile(id));
  int registry_entry = 0;
  LSHMTBLEntry entry{};
  entry.entry = &registry_entry;  // no registry is installed: detaching does nothing
  entry.mapAddress = file.data();
  entry.mapSize = file.size();

  EXPECT_EQ(db_->LoadRealTable(&entry), Q7_ERROR_SHMTBL_LOAD_FAILED);  // "S" is taken
  EXPECT_EQ(db_->TableCount(), 1);
  TTableCollection other;
  const int attached = other.LoadRealTable(&entry);
  ASSERT_GT(attached, 0);
  auto* t = static_cast<TRealTable*>(other.GetTable(attached));
  EXPECT_TRUE(t->isQ7TShared());
  EXPECT_FALSE(other.UsesSharedImage());
  snprintf(t->FTableName, sizeof t->FTableName, "%s", Real(id)->FTableName);
  EXPECT_EQ(Snapshot(t), Snapshot(Real(id)));
}

// ---- Damaged images ----

// Every image cut short, each in a block of exactly its length: refused with a code, nothing kept
// and nothing read beyond the cut.
TEST_F(TableImages, TruncatedImagesAreRefusedAndAddNothing) {
  const int id = BuildSmallTable();
  const std::string db_image = DatabaseImage();
  const std::string table_image = TableFile(id);  // the record without its trailer
  const std::string file = DatabaseFile();
  for (size_t cut = 0; cut < db_image.size(); ++cut) {
    Bytes b(db_image.substr(0, cut));
    void* end = nullptr;
    ASSERT_LT(CodeOf([&] { TTableCollection loaded(b.data(), b.size(), &end); }), 0) << cut;
  }
  for (size_t cut = 0; cut < table_image.size(); ++cut) {
    Bytes b(table_image.substr(0, cut));
    void* end = nullptr;
    ASSERT_LT(CodeOf([&] { db_->LoadRealTableFromMem(b.data(), b.size(), &end); }), 0) << cut;
  }
  for (size_t cut = 0; cut < file.size(); ++cut) {
    Bytes b(file.substr(0, cut));
    ASSERT_LT(CodeOf([&] { TTableCollection shared(b.data(), b.size()); }), 0) << cut;
    TTableCollection target;
    ASSERT_LT(CodeOf([&] { target.AppendSharedMemoryDB(b.data(), b.size()); }), 0) << cut;
  }
  for (size_t cut = 1; cut < table_image.size(); ++cut) {
    Bytes b(table_image.substr(0, cut));
    StreamScope stream(new TMemStream(static_cast<long>(b.size()), b.data()));
    ASSERT_LT(CodeOf([&] { db_->LoadRealTableMem(); }), 0) << cut;
  }
  EXPECT_EQ(db_->TableCount(), 1);
}

// Every int32 of the images replaced by values that break counts, sizes, IDs and positions: a load
// succeeds or fails with a code, and never reads beyond the image.
TEST_F(TableImages, CorruptedImageFieldsNeverCrash) {
  const int id = BuildSmallTable();
  const std::string table_image = TableFile(id);
  const std::string file = DatabaseFile();
  const int32_t kValues[] = {-1, 0, 2, 513, 10001, INT32_MAX};
  int failures = 0;
  for (size_t at = 256; at + 4 <= table_image.size(); at += 4) {
    for (int32_t v : kValues) {
      std::string bad = table_image;
      PutIntAt(&bad, at, v);
      Bytes b(bad);
      void* end = nullptr;
      int loaded = 0;
      const int code = CodeOf([&] { loaded = db_->LoadRealTableFromMem(b.data(), b.size(), &end); });
      if (code == 0 && loaded > 0) {
        ASSERT_EQ(db_->DelTable(loaded), 0);
      } else {
        ++failures;
      }
    }
  }
  for (size_t at = 256; at + 4 <= file.size(); at += 4) {
    for (int32_t v : kValues) {
      std::string bad = file;
      PutIntAt(&bad, at, v);
      Bytes b(bad);
      if (CodeOf([&] { TTableCollection shared(b.data(), b.size()); }) != 0) ++failures;
    }
  }
  EXPECT_GT(failures, 0);
  EXPECT_EQ(db_->TableCount(), 1);
}

TEST_F(TableImages, VersionAndKindRefusals) {
  const int id = BuildSmallTable();
  std::string db_image = DatabaseImage();
  std::string table_image = TableImage(id);
  std::string file = DatabaseFile();
  // Version element 1 at 260 after the 256-byte header; a table image's kind at 256, its version
  // element 1 at 268 (after the padding); the one table's version element 1 in the file at 556.
  struct Case {
    const char* what;
    std::string* image;
    size_t at;
    int32_t value;
    int code;
  };
  const Case cases[] = {
      {"database version", &db_image, 260, 24, Q7_ERROR_UNSUPPORTED_VERSION},
      {"table kind", &table_image, 256, 2, Q7_ERROR_NOT_REAL_TYPE},
      {"table version", &table_image, 268, 24, Q7_ERROR_UNSUPPORTED_VERSION},
      {"in place", &file, 556, 26, Q7_ERROR_UNSUPPORTED_VERSION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = *c.image;
    PutIntAt(&bad, c.at, c.value);
    Bytes b(bad);
    void* end = nullptr;
    const int code = CodeOf([&] {
      if (c.image == &db_image) {
        TTableCollection loaded(b.data(), b.size(), &end);
      } else if (c.image == &file) {
        TTableCollection shared(b.data(), b.size());
      } else {
        db_->LoadRealTableFromMem(b.data(), b.size(), &end);
      }
    });
    EXPECT_EQ(code, c.code);
  }
  // Memory images refuse another version without a log line; an image read in place logs it, as
  // the file reader does.
  EXPECT_FALSE(Logged("Unspported DataVersion DataVer[1] = ------> 24"));
  EXPECT_TRUE(Logged("Unspported DataVersion DataVer[1] = ------> 26"));
  EXPECT_EQ(db_->TableCount(), 1);
}

}  // namespace
