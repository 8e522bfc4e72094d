// The join-table record: databases with inner and outer joins saved and loaded through files,
// memory images and shared-memory images, compared set by set; the table file of a join; damaged
// records refused with a code, never read past.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "join/TJoinTable.h"
#include "join_build_support.h"
#include "tests/database/table_test_support.h"
#include "tests/support/test_support.h"

namespace {

using jbtest::Image;
using jbtest::Resolve;
using kmtest::KeyType;

class JoinFiles : public jbtest::JoinBuildTest {
 protected:
  // Master (60 rows) and slave (45 rows) with two keys each, repeats and NULLs; an inner join on
  // the first key with a second set of every third master row, and an outer join on both keys.
  void BuildDatabase(int master_rows = 60, int slave_rows = 45) {
    std::mt19937 gen(7);
    const kmtest::Side m = kmtest::RandomSide(gen, master_rows, 2, 12, 6, true);
    const kmtest::Side s = kmtest::RandomSide(gen, slave_rows, 2, 10, 6, true);
    std::vector<int> mk, sk;
    master_ = AddSide("M", m, {KeyType::kInt, KeyType::kString}, 2, &mk);
    slave_ = AddSide("S", s, {KeyType::kInt, KeyType::kString}, 2, &sk);
    inner_ = AddJoin(false, 0, master_, -1, {mk[0], 0}, slave_, -1, {sk[0], 0}, "JI");
    outer_ = AddJoin(true, 1, master_, -1, mk, slave_, -1, sk, "JO");
    ASSERT_GT(inner_, 0);
    ASSERT_GT(outer_, 0);

    TJoinTable* j = Join(inner_);
    const int set = j->RegNewSet(0);
    JoinSetEntry& e = j->Entry(j->SetID2Pos(set));
    std::vector<int> thirds, all;
    for (int r = 1; r <= master_rows; r += 3) thirds.push_back(r);
    for (int r = 1; r <= slave_rows; ++r) all.push_back(r);
    e.rows[0] = ttest::MakeSet(thirds).release();
    e.rows[1] = ttest::MakeSet(all).release();
    j->CutUnUse(set);
    j->MakeJoin(set);
  }

  // Every field of the stored record and every joined row agree.
  static void ExpectSameJoin(TJoinTable* a, TJoinTable* b) {
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->FOuter, b->FOuter);
    EXPECT_EQ(a->FnKey, b->FnKey);
    EXPECT_EQ(a->FMasterTableID, b->FMasterTableID);
    EXPECT_EQ(a->FSlaveTableID, b->FSlaveTableID);
    EXPECT_EQ(a->FMasterSetID, b->FMasterSetID);
    EXPECT_EQ(a->FSlaveSetID, b->FSlaveSetID);
    EXPECT_EQ(0, memcmp(a->FMasterKeys, b->FMasterKeys, sizeof a->FMasterKeys));
    EXPECT_EQ(0, memcmp(a->FSlaveKeys, b->FSlaveKeys, sizeof a->FSlaveKeys));
    EXPECT_EQ(a->FCurrentSetID, b->FCurrentSetID);
    EXPECT_EQ(a->FMaxSetID, b->FMaxSetID);
    ASSERT_EQ(a->FnSet, b->FnSet);
    for (int i = 0; i < a->FnSet; ++i) {
      const int id = a->FSetIDs[i];
      SCOPED_TRACE(id);
      EXPECT_EQ(b->FSetIDs[i], id);
      EXPECT_TRUE(Image(a, id) == Image(b, id));
      EXPECT_EQ(Resolve(a, id), Resolve(b, id));
    }
    ASSERT_EQ(a->GetNFilter(), b->GetNFilter());
    for (int k = 1; k <= a->GetNFilter(); ++k) {
      ASSERT_NE(b->GetJoinFilterName(k), nullptr);
      EXPECT_STREQ(a->GetJoinFilterName(k), b->GetJoinFilterName(k));
    }
    // Equal keys have one value number on both sides again.
    EXPECT_EQ(b->FSlaveKeyFilter->VL, b->FMasterKeyFilter->VL);
    EXPECT_EQ(b->FSlaveKeyFilter->FSharedVL, 1);
    EXPECT_EQ(b->TotalRecs(), a->TotalRecs());
  }

  void ExpectSameJoins(TTableCollection* loaded) {
    ASSERT_EQ(loaded->TableCount(), db_->TableCount());
    for (int id : {inner_, outer_}) {
      SCOPED_TRACE(id);
      ExpectSameJoin(Join(id), static_cast<TJoinTable*>(loaded->GetTable(id)));
    }
  }

  std::string SaveDatabaseFile() {
    std::string name = "db";
    db_->SaveDB(dir_buffer(), name.data());
    return q7test::ReadAll(dir_.File("db.Q7D"));
  }
  char* dir_buffer() {
    memset(dir_path_, 0, sizeof dir_path_);
    qz7_strlcpy(dir_path_, dir_.Dir().c_str(), sizeof dir_path_);
    return dir_path_;
  }
  std::vector<uint8_t> SaveImage() {
    std::vector<uint8_t> buffer(1 << 20);
    void* end = nullptr;
    EXPECT_EQ(db_->SaveDB2Mem(buffer.size(), buffer.data(), &end), 0);
    buffer.resize(static_cast<size_t>(static_cast<uint8_t*>(end) - buffer.data()));
    return buffer;
  }

  q7test::TempDir dir_;
  char dir_path_[TTableCollection::kPathSize];
  int master_ = 0, slave_ = 0, inner_ = 0, outer_ = 0;
};

TEST_F(JoinFiles, DatabaseFileRoundTripKeepsEveryJoinSet) {
  BuildDatabase();
  SaveDatabaseFile();
  std::string name = "db";
  auto loaded = std::make_unique<TTableCollection>(dir_buffer(), name.data());
  // Before completion a loaded join has neither its tables nor its column names.
  auto* j = static_cast<TJoinTable*>(loaded->GetTable(inner_));
  EXPECT_EQ(j->FMasterTable, nullptr);
  EXPECT_EQ(j->GetJoinFilterName(1), nullptr);
  loaded->LoadComplete(0);
  ExpectSameJoins(loaded.get());
}

TEST_F(JoinFiles, MemoryAndSharedImagesRoundTrip) {
  BuildDatabase();
  const std::vector<uint8_t> image = SaveImage();
  void* end = nullptr;
  auto from_image =
      std::make_unique<TTableCollection>(const_cast<uint8_t*>(image.data()), image.size(), &end);
  EXPECT_EQ(end, image.data() + image.size());
  from_image->LoadComplete(0);
  ExpectSameJoins(from_image.get());

  // A shared-memory image is a database file's bytes, read in place.
  const std::string file = SaveDatabaseFile();
  std::vector<uint64_t> shared((file.size() + 7) / 8);
  memcpy(shared.data(), file.data(), file.size());
  auto in_place = std::make_unique<TTableCollection>(shared.data(), file.size());
  in_place->LoadComplete(0);
  ExpectSameJoins(in_place.get());
  auto* j = static_cast<TJoinTable*>(in_place->GetTable(inner_));
  EXPECT_EQ(j->FShmImage, 1);
  EXPECT_EQ(j->DelSet(2), Q7_ERROR_SHARED_READ_ONLY);

  // The shared-memory writer lays the record out as the file does, the sizing pass reserving enough.
  TJoinTable* original = Join(outer_);
  const int64_t reserve = original->WriteToSharedMemory(nullptr);
  std::vector<uint64_t> out(static_cast<size_t>(reserve) / 8 + 1);
  void* cursor = out.data();
  const int64_t written = original->WriteToSharedMemory(&cursor);
  EXPECT_GT(written, 0);
  EXPECT_LE(written, reserve);
  void* read = reinterpret_cast<char*>(out.data()) + 8;  // past the kind and its padding
  TJoinTable copy(&read, reinterpret_cast<char*>(out.data()) + written, nullptr);
  EXPECT_EQ(read, cursor);
  copy.LoadComplete(db_.get());
  ExpectSameJoin(original, &copy);
}

TEST_F(JoinFiles, TableFileBeginsWithHeaderAndKindAndReadsBack) {
  BuildDatabase(12, 9);
  const std::string here = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_.Dir());
  TJoinTable* j = Join(outer_);
  j->SaveTable(nullptr, 0);
  j->SaveTableAs(nullptr, "other", 0);
  char name[] = "JO";
  std::unique_ptr<TJoinTable> back;
  const int code = q7test::CodeOf([&] { back = std::make_unique<TJoinTable>(nullptr, name, 0, db_.get()); });
  std::filesystem::current_path(here);
  ASSERT_EQ(code, 0);

  const std::string bytes = q7test::ReadAll(dir_.File("JO.Q7T"));
  ASSERT_GT(bytes.size(), 260u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 0xFF);
  int32_t kind = 0;
  memcpy(&kind, bytes.data() + 256, 4);
  EXPECT_EQ(kind, 2);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("other.Q7T")));
  // Read beside the join it came from, it takes a name of its own.
  EXPECT_STREQ(back->FTableName, "JO_#1");
  back->LoadComplete(db_.get());
  ExpectSameJoin(j, back.get());
}

// The diagnostic twin writes each step it reads to the catalog message log, as the database and
// real-table twins do, and its refusal of a file that holds no join.
TEST_F(JoinFiles, DiagnosticReaderLogsEachStepAndItsRefusal) {
  BuildDatabase(12, 9);
  char saved_log[CErrorLog::kFileNameSize] = {};
  LOGOBJ->getFileName(saved_log);
  const std::string log_path = dir_.File("catalog_test_log.txt");
  LOGOBJ->setFileName(log_path.c_str());
  const std::string here = std::filesystem::current_path().string();
  std::filesystem::current_path(dir_.Dir());
  TJoinTable* j = Join(outer_);
  j->SaveTable(nullptr, 0);
  Real(master_)->SaveTable(nullptr, 0);
  char name[] = "JO";
  std::unique_ptr<TJoinTable> twin;
  const int code =
      q7test::CodeOf([&] { twin = std::make_unique<TJoinTable>(nullptr, name, 0, db_.get(), true); });
  char real_name[] = "M";
  const int refused = q7test::CodeOf([&] { TJoinTable other(nullptr, real_name, 0, db_.get(), true); });
  std::filesystem::current_path(here);
  LOGOBJ->setFileName(saved_log);
  ASSERT_EQ(code, 0);
  EXPECT_EQ(refused, Q7_ERROR_INVALID_TABLE_TYPE);

  std::vector<std::string> want = {"OpenFile  = JO.Q7T",
                                   "IsOuter\t\t = 1 ",
                                   "JoinKey Count= 2 ",
                                   "Original TableIDs = ",
                                   "\t= " + std::to_string(master_),
                                   "\t= " + std::to_string(slave_),
                                   "Original FilterDs = "};
  for (int k = 0; k < 2; ++k) want.push_back("\t= " + std::to_string(j->FMasterKeys[k]));
  for (int k = 0; k < 2; ++k) want.push_back("\t= " + std::to_string(j->FSlaveKeys[k]));
  want.push_back("Original SetIDs= ");
  want.push_back("\t= " + std::to_string(j->FMasterSetID));
  want.push_back("\t= " + std::to_string(j->FSlaveSetID));
  want.push_back("FilterIDs= ");
  for (int k = 0; k < j->FnMasterColumn; ++k) want.push_back("\t= " + std::to_string(j->FMasterColumns[k]));
  for (int k = 0; k < j->FnSlaveColumn; ++k) want.push_back("\t= " + std::to_string(j->FSlaveColumns[k]));
  want.push_back("OpenFile  = M.Q7T");
  want.push_back("Not a JoinTable - Exit");
  const std::string log = q7test::ReadAll(log_path);
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t nl; (nl = log.find('\n', from)) != std::string::npos; from = nl + 1)
    lines.push_back(log.substr(from, nl - from));
  // The steps in order, each line whole (other lines, such as the log's banner, may come between).
  size_t at = 0;
  for (const std::string& line : lines) {
    if (at < want.size() && line == want[at]) ++at;
  }
  EXPECT_EQ(at, want.size()) << "first missing: " << (at < want.size() ? want[at] : "") << "\n" << log;
}

// Every truncation and every flipped byte of a small database image is either refused with a code
// or loads into joins whose every joined row resolves within its arrays (ASan watches).
TEST_F(JoinFiles, DamagedImagesAreRefusedWithoutReadingPast) {
  BuildDatabase(8, 6);
  const std::vector<uint8_t> good = SaveImage();
  auto load = [&](std::vector<uint8_t>& image, size_t size) {
    std::unique_ptr<TTableCollection> loaded;
    try {
      loaded = std::make_unique<TTableCollection>(image.data(), size, nullptr);
    } catch (const CQ7Exception& e) {
      EXPECT_LT(e.ErrorCode(), 0);
      return;
    }
    try {
      loaded->LoadComplete(0);
    } catch (const CQ7Exception& e) {
      EXPECT_LT(e.ErrorCode(), 0);
    }
    for (int i = 0; i < loaded->TableCount(); ++i) {
      if (loaded->TableAt(i)->GetType() != TBaseTable::kTypeJoin) continue;
      auto* j = static_cast<TJoinTable*>(loaded->TableAt(i));
      for (int k = 0; k < j->FnSet; ++k) {
        try {
          Resolve(j, j->FSetIDs[k]);
        } catch (const CQ7Exception&) {
        }
      }
    }
  };
  std::vector<uint8_t> image = good;
  for (size_t size = 0; size < good.size(); size += 3) load(image, size);
  for (size_t at = 0; at < good.size(); ++at) {
    image[at] = static_cast<uint8_t>(good[at] ^ 0x41);
    load(image, image.size());
    image[at] = good[at];
  }
}

// Records that break the pairing's invariants are refused at once, before anything reads them.
TEST_F(JoinFiles, InconsistentJoinSetsAreRefused) {
  struct Case {
    const char* what;
    std::function<void(JoinSetEntry&)> damage;
  };
  const Case cases[] = {
      {"side", [](JoinSetEntry& e) { e.side = 2; }},
      {"size beyond the rows", [](JoinSetEntry& e) { e.size += 5; }},
      {"first row beyond the size", [](JoinSetEntry& e) { e.projection[e.side]->PIntAr()[0] = e.size + 1; }},
      {"group start beyond the partners",
       [](JoinSetEntry& e) { e.projection[1 - e.side]->PIntAr()[1] = e.rows[1 - e.side]->FArraySize + 1; }},
      {"row beyond the table", [](JoinSetEntry& e) { e.rows[0]->PIntAr()[0] = 1000; }},
      {"negative row", [](JoinSetEntry& e) { e.rows[1]->PIntAr()[0] = -3; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildDatabase(8, 6);  // a fresh inner join each time, in a collection of its own
    TJoinTable* j = Join(inner_);
    c.damage(j->Entry(0));
    const std::vector<uint8_t> image = SaveImage();
    EXPECT_EQ(q7test::CodeOf([&] {
                TTableCollection loaded(const_cast<uint8_t*>(image.data()), image.size(), nullptr);
              }),
              Q7_ERROR_ILLEGAL_ARRAY_DATA);
  }
}

}  // namespace
