// Table files large enough that their record numbers and value numbers are read and checked on the
// worker pool: the loaded table, and the refusal of a damaged file, for every worker count.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "table_files_support.h"

namespace {

using files_test::DirBuf;
using files_test::FilesTest;
using files_test::PutIntAt;
using files_test::ReadAll;
using files_test::Rewrite;

// Set 1 and each value-number array hold 600 KB, and the pool takes reads and scans from 128 KiB
// on: up to four ranges, as a table of millions of rows gets with the default size.
constexpr int kRows = 150000;
constexpr long kParallelBytes = long{128} << 10;
constexpr int kCaps[] = {1, 2, 3, 0};

std::string Bytes(const TBaseArray* a) {
  return std::string(static_cast<const char*>(a->FData), static_cast<size_t>(a->FArraySize) * a->FUnitSize);
}

// The saved table, built once for the suite.
struct SavedTable {
  std::string file;
  std::string set1;
  std::string pv[2];
  std::string vl[2];
  int values[2] = {0, 0};
};

class LargeTableFiles : public FilesTest {
 protected:
  static void SetUpTestSuite() {
    SetParallelFileBytesForTest(kParallelBytes);
    saved_ = new SavedTable;
    q7test::TempDir dir;
    TTableCollection db;
    char name[] = "L";
    const int id = db.AddRealTable(name, kRows);
    ASSERT_GT(id, 0);
    auto* t = static_cast<TRealTable*>(db.GetTable(id));
    // Few values, and one value per record.
    std::vector<int32_t> few(kRows), many(kRows);
    for (int i = 0; i < kRows; ++i) {
      few[i] = i % 1000;
      many[i] = static_cast<int32_t>((static_cast<int64_t>(i) * 7919) % kRows);
    }
    char few_name[] = "few";
    char many_name[] = "many";
    ASSERT_GT(t->AddFilter2(1024, few_name, Q7_TYPE_INTEGER, kRows, 4, few.data(), 0, -1), 0);
    ASSERT_GT(t->AddFilter2(1024, many_name, Q7_TYPE_INTEGER, kRows, 4, many.data(), 0, -1), 0);
    DirBuf dir_text(dir.Dir());
    ASSERT_EQ(db.SaveRealTable(dir_text.text, id), 0);
    saved_->file = ReadAll(dir.File("L.Q7T"));
    saved_->set1 = Bytes(t->FSets[0]);
    ASSERT_EQ(t->FnFilter, 2);
    for (int f = 0; f < 2; ++f) {
      saved_->pv[f] = Bytes(t->FFilters[f]->PV);
      saved_->vl[f] = Bytes(t->FFilters[f]->VL);
      saved_->values[f] = t->FFilters[f]->VL->FArraySize;
    }
  }
  static void TearDownTestSuite() {
    SetParallelFileBytesForTest(0);
    delete saved_;
    saved_ = nullptr;
  }

  void SetUp() override {
    FilesTest::SetUp();
    ASSERT_FALSE(saved_->file.empty());
    Rewrite(Path("L.Q7T"), saved_->file);
  }

  const std::string& File() const { return saved_->file; }

  // Where the elements of a saved array begin in the file: the first place that holds them all.
  size_t ElementsAt(const std::string& bytes) const {
    const size_t at = File().find(bytes.substr(0, 4096));
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(File().compare(at, bytes.size(), bytes), 0);
    return at;
  }

  // Loads `name` from the directory: the table's ID, or the code and message of the refusal.
  int Load(const char* name, std::string* message) {
    DirBuf dir(dir_.Dir());
    std::vector<char> buf(name, name + strlen(name) + 1);
    try {
      return db_->LoadRealTable(dir.text, buf.data());
    } catch (const CQ7Exception& e) {
      *message = e.Message();
      return e.ErrorCode();
    }
  }

  static SavedTable* saved_;
};

SavedTable* LargeTableFiles::saved_ = nullptr;

TEST_F(LargeTableFiles, LoadEqualsTheSavedTableForEveryWorkerCount) {
  for (int cap : kCaps) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap workers(cap);
    std::string message;
    const int id = Load("L", &message);
    ASSERT_GT(id, 0) << message;
    TRealTable* loaded = Real(id);
    ASSERT_EQ(loaded->FnSet, 1);
    EXPECT_TRUE(Bytes(loaded->FSets[0]) == saved_->set1);
    ASSERT_EQ(loaded->FnFilter, 2);
    for (int f = 0; f < 2; ++f) {
      EXPECT_TRUE(Bytes(loaded->FFilters[f]->PV) == saved_->pv[f]) << "filter " << f;
      EXPECT_TRUE(Bytes(loaded->FFilters[f]->VL) == saved_->vl[f]) << "filter " << f;
    }
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

// A bad number anywhere in the large arrays, the last range included, is refused with the same
// code and message whatever the worker count, and the database gains no table.
TEST_F(LargeTableFiles, ABadNumberInAnyRangeIsRefusedAlikeForEveryWorkerCount) {
  const size_t set_at = ElementsAt(saved_->set1);
  const size_t few_at = ElementsAt(saved_->pv[0]);
  const size_t many_at = ElementsAt(saved_->pv[1]);
  const int few_values = saved_->values[0];
  const int many_values = saved_->values[1];
  struct Case {
    size_t at;
    int32_t value;
    const char* message;
  };
  const std::string beyond = std::to_string(kRows + 1);
  const std::string few_text = std::to_string(few_values);
  const std::string many_text = std::to_string(many_values);
  const std::string damaged = "Damaged table record: ";
  const std::vector<std::pair<Case, std::string>> kCases = {
      {{set_at + 4 * size_t{kRows - 1}, kRows + 1, "last record number beyond the records"},
       damaged + "set element " + beyond},
      {{set_at + 4 * size_t{kRows / 2}, 0, "record number 0 in the middle"}, damaged + "set element 0"},
      {{few_at + 4 * size_t{kRows}, few_values, "last value number beyond the list"},
       damaged + "value number " + few_text},
      {{many_at + 4 * size_t{kRows}, many_values, "last value number of the long list"},
       damaged + "value number " + many_text},
      {{many_at + 4 * size_t{kRows / 3 + 1}, -1, "negative value number in the second range"},
       damaged + "value number -1"},
  };
  for (const auto& [c, want] : kCases) {
    SCOPED_TRACE(c.message);
    std::string bad = File();
    PutIntAt(&bad, c.at, c.value);
    Rewrite(Path("bad.Q7T"), bad);
    for (int cap : kCaps) {
      SCOPED_TRACE(cap);
      q7test::WorkerCap workers(cap);
      std::string message;
      EXPECT_EQ(Load("bad", &message), Q7_ERROR_ILLEGAL_ARRAY_DATA);
      EXPECT_EQ(message, want);
      EXPECT_EQ(db_->TableCount(), 0);
    }
  }
}

// A file cut inside or after a large array is refused as the calling thread alone refuses it.
TEST_F(LargeTableFiles, AFileCutInsideOrAfterALargeArrayIsRefusedAlike) {
  const size_t many_at = ElementsAt(saved_->pv[1]);
  const size_t kCuts[] = {many_at + 4 * size_t{kRows / 2}, many_at + 4 * size_t{kRows}, File().size() - 1};
  for (size_t cut : kCuts) {
    SCOPED_TRACE(cut);
    Rewrite(Path("cut.Q7T"), File().substr(0, cut));
    std::string serial_message;
    int serial_code = 0;
    {
      q7test::WorkerCap workers(1);
      serial_code = Load("cut", &serial_message);
    }
    EXPECT_LT(serial_code, 0);
    for (int cap : kCaps) {
      q7test::WorkerCap workers(cap);
      std::string message;
      EXPECT_EQ(Load("cut", &message), serial_code) << "cap " << cap;
      EXPECT_EQ(message, serial_message) << "cap " << cap;
      EXPECT_EQ(db_->TableCount(), 0);
    }
  }
}

}  // namespace
