// The task object's slot that adds a filter read from a single-column file on the worker pool: it
// must give the filter the serial road of the operation layer gives (RQ7AddRealFilter2's), with the
// same value list and value numbers, whatever the worker count; and its own checks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/ops/ops_filters.h"
#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "import/CMppTextParser.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"
#include "values/TBaseArray.h"

namespace {

using tasktest::RingEntry;
using tasktest::TaskTest;

constexpr char kLog[] = "RQ7AddRealFilter2";

// Lines of every kind: numbers, quoted texts, empty lines, CR LF ends, CRs inside, texts up to the
// longest that fits (some longer than a page), and a last line without its line feed.
std::string MixedFile(int lines, uint32_t seed) {
  std::string out;
  uint32_t state = seed;
  auto next = [&](uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  };
  for (int i = 0; i < lines; ++i) {
    const uint32_t kind = next(40);
    std::string line = std::to_string(static_cast<int>(next(5000)) - 2500);
    if (kind == 0) line = "";
    if (kind == 1) line = "\"" + line + "\"";
    if (kind == 2) line = "\"" + std::string(4095, static_cast<char>('a' + next(26))) + "\"";
    if (kind == 3) line = std::string(1 + next(4095), 'k');
    if (kind == 4) line = "x\ry";
    if (kind == 5) line += ".25";
    out += line;
    if (i + 1 < lines) out += kind % 3 == 0 ? "\r\n" : "\n";
  }
  return out;
}

class ColumnFileTaskTest : public TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    // The readers' reports go to the catalog message log of the working directory.
    ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(cwd_.c_str()), 0); }

  // Slot 15 with the scratch directory.
  int Parallel(int table, const char* name, int type, int rows, const char* file) {
    std::string dir = dir_.Dir();
    std::string work_name = name != nullptr ? name : "";
    std::string work_file = file;
    return DBTASK()->AddRealFilter2(table, 1024, name != nullptr ? work_name.data() : nullptr, type, rows, 0,
                                    dir.data(), work_file.data());
  }

  // The filter's value list and value numbers as they lie in the engine.
  void ExpectSameFilter(int table, int a, int b) {
    TFilter* fa = Real(table)->GetFilter(a);
    TFilter* fb = Real(table)->GetFilter(b);
    ASSERT_NE(fa, nullptr);
    ASSERT_NE(fb, nullptr);
    ASSERT_EQ(fa->VL->FArraySize, fb->VL->FArraySize);
    ASSERT_EQ(fa->VL->FUnitSize, fb->VL->FUnitSize);
    for (int i = 0; i < fa->VL->FArraySize; ++i) {
      if (fa->VL->GetDataType() == Q7_TYPE_STRING) {
        ASSERT_STREQ(static_cast<const char*>(fa->VL->GetAddress(i)),
                     static_cast<const char*>(fb->VL->GetAddress(i)))
            << "value " << i;
      } else {
        ASSERT_EQ(0, std::memcmp(fa->VL->GetAddress(i), fb->VL->GetAddress(i),
                                 static_cast<size_t>(fa->VL->FUnitSize)))
            << "value " << i;
      }
    }
    ASSERT_EQ(fa->PV->FArraySize, fb->PV->FArraySize);
    EXPECT_EQ(
        0, std::memcmp(fa->PV->FData, fb->PV->FData, sizeof(int) * static_cast<size_t>(fa->PV->FArraySize)));
    EXPECT_EQ(Column(table, a), Column(table, b));
  }

  q7test::TempDir dir_;
  std::string cwd_;
};

TEST_F(ColumnFileTaskTest, ParallelReadGivesTheSerialReadsFilter) {
  constexpr int kLines = 20000;
  dir_.Write("mixed.txt", MixedFile(kLines, 7));
  const std::string dir = dir_.Dir();
  const int all = CSmpEngine::Instance()->ActiveThreads();
  // Fewer records than lines (the rest is not kept), as many, more (the rest NULL).
  for (int records : {kLines - 3000, kLines, kLines + 500}) {
    SCOPED_TRACE(records);
    const int table = NewTable("T", records);
    for (int type : {Q7_TYPE_INTEGER, Q7_TYPE_DOUBLE, Q7_TYPE_STRING}) {
      SCOPED_TRACE(type);
      const int serial =
          innerRQ7AddRealFilter2(table, 1024, "serial", type, records, 0, dir.c_str(), "mixed.txt");
      ASSERT_GT(serial, 0);
      for (int workers : {1, 3, all}) {
        SCOPED_TRACE(workers);
        const q7test::WorkerCap cap(workers);
        const int parallel = Parallel(table, "parallel", type, records, "mixed.txt");
        ASSERT_GT(parallel, 0);
        // The file spans many pages: every worker gets a chunk.
        EXPECT_EQ(CMppTextParser::Instance()->getChunkCount(), CSmpEngine::Instance()->ActiveThreads());
        ExpectSameFilter(table, serial, parallel);
      }
    }
    EXPECT_EQ(Real(table)->TotalRecs(), records);
  }
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});
}

TEST_F(ColumnFileTaskTest, SlotChecksItsArgumentsAndAddsNothingOnFailure) {
  const int table = NewTable("T", 3);
  dir_.Write("three.txt", "1\n2\n3\n4\n");
  dir_.Write("long.txt", "1\n" + std::string(4096, 'x') + "\n");
  struct Case {
    const char* what;
    int type;
    int rows;
    const char* file;
    int code;
    std::vector<RingEntry> ring;
  };
  const std::vector<Case> cases = {
      {"fewer rows than records", Q7_TYPE_INTEGER, 2, "three.txt", Q7_ERROR_INVALID_UNIT_WIDTH, {}},
      {"type outside 2..8", 9, 3, "three.txt", Q7_ERROR_INVALID_DATA_TYPE, {}},
      {"missing file",
       Q7_TYPE_INTEGER,
       3,
       "none.txt",
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {{kLog, Q7_ERROR_ILLEGAL_FILE_NAME, "return of inner call"}}},
      // A worker's failure reaches the ring only through the slot.
      {"text too long",
       Q7_TYPE_STRING,
       3,
       "long.txt",
       Q7_ERROR_DATA_OVERFLOW,
       {{kLog, Q7_ERROR_DATA_OVERFLOW, "return of inner call"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Parallel(table, "f", c.type, c.rows, c.file), c.code);
    EXPECT_EQ(Drain(), c.ring);
    EXPECT_EQ(Real(table)->GetNFilter(), 0);
  }
  EXPECT_NE(q7test::ReadAll(dir_.File("catalog_err_log.txt"))
                .find("FILE  [" + dir_.File("none.txt") + "] MISSING \n"),
            std::string::npos);

  // More rows than records: the table's records are read. Without a name, a generated one.
  const int read = Parallel(table, nullptr, Q7_TYPE_INTEGER, 10, "three.txt");
  ASSERT_GT(read, 0);
  EXPECT_EQ(tasktest::Ints(Column(table, read)), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(std::string(Real(table)->GetFilter(read)->FFilterName).rfind("filter", 0), 0u);
  // Without a file: a filter of NULLs.
  const int empty = Parallel(table, "e", Q7_TYPE_INTEGER, 3, "");
  ASSERT_GT(empty, 0);
  EXPECT_EQ(tasktest::Ints(Column(table, empty)), (std::vector<int>{INT_MIN, INT_MIN, INT_MIN}));
  EXPECT_EQ(Real(table)->TotalRecs(), 3);
  EXPECT_EQ(Drain(), std::vector<RingEntry>{});
}

}  // namespace
