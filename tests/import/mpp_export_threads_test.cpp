// The parallel CSV export (CCMultiThreadExport): its file equals the table's serial export byte for
// byte whatever the worker count and the part size, the parts are cut and joined as stated and
// leave nothing behind, and the refusals, the serial roads and the format file behave as stated.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "import/CCMultiThreadExport.h"
#include "q7api.h"
#include "tests/database/table_test_support.h"
#include "tests/support/test_support.h"
#include "values/TNumericArray.h"

namespace {

using q7test::ReadAll;
using q7test::TempDir;
using q7test::WorkerCap;

constexpr int kRows = 1000;

class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint32_t Next(uint32_t bound) {
    state_ = state_ * 1664525u + 1013904223u;
    return (state_ >> 8) % bound;
  }

 private:
  uint32_t state_;
};

// Sets the smallest part for the test's lifetime.
class MinPartRows {
 public:
  explicit MinPartRows(int rows) { CCMultiThreadExport::SetMinRowsPerPartForTest(rows); }
  ~MinPartRows() { CCMultiThreadExport::SetMinRowsPerPartForTest(0); }
  MinPartRows(const MinPartRows&) = delete;
  MinPartRows& operator=(const MinPartRows&) = delete;
};

std::string Cwd() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? buf : "";
}

class MppExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = CSmpEngine::Instance()->Database();
    ASSERT_NE(db_, nullptr);
    std::string name = "exported";
    table_id_ = db_->AddRealTable(name.data(), kRows);
    ASSERT_GT(table_id_, 0);
    table_ = static_cast<TRealTable*>(db_->GetTable(table_id_));
    // Every type, NULLs throughout, quotes and separators in the texts.
    Lcg rng(77);
    std::vector<int32_t> ints(kRows);
    std::vector<double> doubles(kRows), dates(kRows), times(kRows), stamps(kRows);
    std::vector<std::string> texts(kRows);
    std::vector<Numeric> decimals(kRows);
    const double null_double = -std::numeric_limits<double>::infinity();
    for (int i = 0; i < kRows; ++i) {
      const bool null = rng.Next(10) == 0;
      ints[i] = null ? INT_MIN : static_cast<int32_t>(rng.Next(2000000)) - 1000000;
      doubles[i] = null ? null_double : (static_cast<double>(rng.Next(1u << 30)) - (1 << 29)) / 997.0;
      dates[i] = null ? null_double : 36526 + rng.Next(20000);
      times[i] = null ? null_double : rng.Next(86400000) / 86400000.0;
      stamps[i] = null ? null_double : dates[i] + times[i];
      texts[i] = null ? "" : "t" + std::to_string(rng.Next(50)) + (rng.Next(4) == 0 ? "\"q\",\t" : "");
      const int64_t units = static_cast<int64_t>(rng.Next(2000000)) - 1000000;
      decimals[i] = null ? Numeric{0, INT64_MIN} : Numeric{static_cast<uint64_t>(units), units < 0 ? -1 : 0};
    }
    std::vector<const char*> text_ptrs;
    for (const std::string& s : texts) text_ptrs.push_back(s.c_str());
    Add("ID", Q7_TYPE_INTEGER, 4, ints.data());
    Add("PRICE", Q7_TYPE_DOUBLE, 8, doubles.data());
    Add("DAY", Q7_TYPE_DATE, 8, dates.data());
    Add("AT", Q7_TYPE_TIME, 8, times.data());
    Add("NAME", Q7_TYPE_STRING, 8, text_ptrs.data());
    Add("STAMP", Q7_TYPE_DATETIME, 8, stamps.data());
    Add("AMOUNT", Q7_TYPE_DECIMAL, 16, decimals.data());
    static_cast<TNumericArray*>(table_->FFilters[6]->VL)->SetDecimalInfo(3, Q7_ROUND_HALF_EVEN);
    // A set in an order of its own, holding some records twice and missing others.
    std::vector<int> rows;
    for (int i = 0; i < 900; ++i) rows.push_back(1 + static_cast<int>(rng.Next(kRows)));
    set_id_ = table_->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    ASSERT_GT(set_id_, 1);
  }
  void TearDown() override { db_->DelTable(table_id_); }

  void Add(std::string name, int type, int width, const void* data) {
    ASSERT_GT(table_->AddFilter2(1024, name.data(), type, kRows, width, data, 0, -1), 0) << name;
  }

  // An export bracketed as the task object brackets it.
  int Mpp(int set, const int* columns, int first, int last, int separator, int date_separator,
          const std::string& dir, const char* file, const char* format_file = nullptr) {
    CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
    ex->init();
    const int rc = MppCsvExport(table_id_, set, columns, first, last, separator, date_separator, dir.c_str(),
                                file, format_file);
    parts_ = ex->getPartCount();
    ex->free_mem();
    return rc;
  }

  TTableCollection* db_ = nullptr;
  int table_id_ = 0;
  TRealTable* table_ = nullptr;
  int set_id_ = 0;
  int parts_ = 0;
  TempDir dir_;
};

struct Range {
  int first;
  int last;
  int serial_last;  // what the serial export is given for the same rows
};

TEST_F(MppExportTest, EqualsTheSerialExportForEveryWorkerCount) {
  MinPartRows small_parts(1);
  const Range ranges[] = {{-1, -1, -1}, {17, 800, 800}, {5, 5, 5}, {890, -1, -1}, {1, 5000, 900}};
  const int some[] = {7, 5, 1, -1};  // AMOUNT, NAME, ID
  for (const int* columns : {static_cast<const int*>(nullptr), some}) {
    for (const Range& r : ranges) {
      for (char separator : {',', '\t'}) {
        ASSERT_EQ(table_->Export(set_id_, columns, r.first, r.serial_last, separator, '-', dir_.Dir().c_str(),
                                 "serial.csv"),
                  0);
        const std::string want = ReadAll(dir_.File("serial.csv"));
        for (int workers : {1, 2, 3, 8}) {
          SCOPED_TRACE(std::to_string(r.first) + ".." + std::to_string(r.last) + " on " +
                       std::to_string(workers));
          WorkerCap cap(workers);
          ASSERT_EQ(Mpp(set_id_, columns, r.first, r.last, separator, '-', dir_.Dir(), "mpp.csv"), 0);
          EXPECT_EQ(ReadAll(dir_.File("mpp.csv")), want);
          const int rows = (r.last == -1 || r.last > 900 ? 900 : r.last) - (r.first == -1 ? 1 : r.first) + 1;
          const int used = std::min(std::min(workers, CSmpEngine::Instance()->ThreadCount()), rows);
          EXPECT_EQ(parts_, used == 1 ? 1 : std::min(used * CCMultiThreadExport::kPartsPerWorker, rows));
          EXPECT_EQ(q7test::DirectoryNames(dir_.Dir()), (std::vector<std::string>{"mpp.csv", "serial.csv"}));
        }
      }
    }
  }
  // Without the test's part size, a small export stays one part.
  CCMultiThreadExport::SetMinRowsPerPartForTest(0);
  ASSERT_EQ(Mpp(-1, nullptr, -1, -1, ',', '/', dir_.Dir(), "one.csv"), 0);
  EXPECT_EQ(parts_, 1);
}

struct SplitCase {
  int first;
  int last;
  int requested;
  int code;
  std::vector<CsvLineDiv_t> parts;
};

TEST(CsvExportSplit, PartsAndTheirNames) {
  const SplitCase cases[] = {
      {1, 10, 3, 0, {{1, 3}, {4, 6}, {7, 10}}},
      {5, 6, 4, 0, {{5, 5}, {6, 6}}},
      {1, 1, 8, 0, {{1, 1}}},
      {3, 12, 1, 0, {{3, 12}}},
      {0, 10, 2, Q7_ERROR_INVALID_PARAMETER, {}},
      {5, 4, 2, Q7_ERROR_INVALID_PARAMETER, {}},
      {1, 10, 0, Q7_ERROR_INVALID_PARAMETER, {}},
  };
  CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last) + " / " +
                 std::to_string(c.requested));
    int n = c.requested;
    std::vector<CsvLineDiv_t> parts;
    std::vector<CsvPartFileName_t> names;
    ASSERT_EQ(ex->SetCsvtable(4, 2, c.first, c.last, '\t', '-', &n, &parts, "out.csv", &names), c.code);
    EXPECT_EQ(ex->m_nTableID, 4);
    EXPECT_EQ(ex->m_cSeparator, '\t');
    if (c.code != 0) continue;
    ASSERT_EQ(n, static_cast<int>(c.parts.size()));
    // Each part is named after the file and this process, and no two alike.
    const std::string pattern = "out\\.csv\\." + std::to_string(getpid()) + "\\.[0-9]+\\.prf";
    std::set<std::string> distinct;
    for (size_t i = 0; i < c.parts.size(); ++i) {
      EXPECT_EQ(parts[i].first, c.parts[i].first);
      EXPECT_EQ(parts[i].last, c.parts[i].last);
      EXPECT_TRUE(q7test::FullMatch(names[i].name, pattern.c_str())) << names[i].name;
      distinct.insert(names[i].name);
    }
    EXPECT_EQ(distinct.size(), c.parts.size());
  }
  ex->free_mem();
}

TEST(CsvExportJoin, PartsAreAppendedInOrder) {
  TempDir dir;
  CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
  ex->init();
  const std::string big(3 << 20, 'b');  // more than one copy buffer
  const std::string target = dir.Write("t.csv", "head\n");
  std::vector<CsvPartFileName_t> names(4);
  snprintf(names[0].name, sizeof names[0].name, "%s", target.c_str());
  snprintf(names[1].name, sizeof names[1].name, "%s", dir.Write("p1", big).c_str());
  snprintf(names[2].name, sizeof names[2].name, "%s", dir.Write("p2", "two\n").c_str());
  snprintf(names[3].name, sizeof names[3].name, "%s", dir.Write("p3", "three\n").c_str());
  ASSERT_EQ(ex->CreateCsvExportFile(target.c_str(), names.data(), 4), 0);
  EXPECT_EQ(ReadAll(target), "head\n" + big + "two\nthree\n");

  // An empty part ends the joining; a missing one, or the target itself, fails.
  dir.Write("t.csv", "head\n");
  dir.Write("p2", "");
  ASSERT_EQ(ex->CreateCsvExportFile(target.c_str(), names.data(), 4), 0);
  EXPECT_EQ(ReadAll(target), "head\n" + big);
  snprintf(names[1].name, sizeof names[1].name, "%s", dir.File("gone").c_str());
  EXPECT_EQ(ex->CreateCsvExportFile(target.c_str(), names.data(), 4), Q7_ERROR_ILLEGAL_FILE_NAME);
  snprintf(names[1].name, sizeof names[1].name, "%s", target.c_str());
  EXPECT_EQ(ex->CreateCsvExportFile(target.c_str(), names.data(), 4), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(ex->CreateCsvExportFile(dir.File("none.csv").c_str(), names.data(), 1),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  ex->free_mem();
}

struct RefusalCase {
  const char* what;
  int table;  // 0: the test's table
  int set;
  int first;
  int last;
  int date_separator;
  const char* dir;  // null: the test's directory
  int code;
  const char* ring;  // "name|code|message", or ""
};

TEST_F(MppExportTest, Refusals) {
  const RefusalCase cases[] = {
      {"date separator", 0, 1, -1, -1, '.', nullptr, Q7_ERROR_INVALID_PARAMETER,
       "MppCsvExport|00000000|Invalid Parameter : Datesep(46)"},
      {"set below -1", 0, -2, -1, -1, '/', nullptr, Q7_ERROR_INVALID_PARAMETER,
       "MppCsvExport|00000000|No Such Set: -2"},
      {"directory", 0, 1, -1, -1, '/', "/no/such/dir", Q7_ERROR_INVALID_PATH, ""},
      {"table", 9999, 1, -1, -1, '/', nullptr, Q7_ERROR_NO_SUCH_TABLE, ""},
      {"set", 0, 77, -1, -1, '/', nullptr, Q7_ERROR_NO_SUCH_SET, "SetID2Pos|E0000071|No Such Set: 77"},
      {"first 0", 0, 1, 0, 5, '/', nullptr, Q7_ERROR_INVALID_PARAMETER, ""},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    q7test::RingScope ring;
    const std::string before = Cwd();
    CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
    ex->init();
    EXPECT_EQ(MppCsvExport(c.table != 0 ? c.table : table_id_, c.set, nullptr, c.first, c.last, ',',
                           c.date_separator, c.dir != nullptr ? c.dir : dir_.Dir().c_str(), "x.csv", nullptr),
              c.code);
    ex->free_mem();
    EXPECT_EQ(ring.TakeCoded(), c.ring);
    EXPECT_EQ(Cwd(), before);
    EXPECT_TRUE(q7test::DirectoryNames(dir_.Dir()).empty());
  }
  // A column that names no filter: every part fails, and no part file stays.
  MinPartRows small_parts(1);
  WorkerCap cap(4);
  const int bad[] = {1, 42, -1};
  EXPECT_EQ(Mpp(1, bad, -1, -1, ',', '/', dir_.Dir(), "x.csv"), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_TRUE(q7test::DirectoryNames(dir_.Dir()).empty());
}

TEST_F(MppExportTest, JoinTablesAreHandedToTheirOwnSetsAndParts) {
  std::string name = "other";
  const int other = db_->AddRealTable(name.data(), 3);
  std::vector<int32_t> keys{1, 2, 3};
  ASSERT_GT(static_cast<TRealTable*>(db_->GetTable(other))
                ->AddFilter2(1024, std::string("K").data(), Q7_TYPE_INTEGER, 3, 4, keys.data(), 0, -1),
            0);
  // A join is not refused by its kind: its own set lookup answers (a description has no sets).
  const int join = db_->IssueTableID();
  db_->AppendTable(new ttest::JoinStandIn(join, db_, table_id_, 1, other, 1));
  CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
  ex->init();
  EXPECT_EQ(MppCsvExport(join, -1, nullptr, -1, -1, ',', '/', dir_.Dir().c_str(), "j.csv", nullptr),
            Q7_ERROR_NO_SUCH_SET);
  ex->free_mem();
  EXPECT_TRUE(q7test::DirectoryNames(dir_.Dir()).empty());
  db_->DelTable(join);
  db_->DelTable(other);
}

// Rows the set does not reach, an empty set and a range of 0..0 take the table's serial export,
// which writes an empty file; a relative directory is entered once, not twice.
TEST_F(MppExportTest, SerialRoadsWriteEmptyFilesInTheRightDirectory) {
  const std::string before = Cwd();
  ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  std::filesystem::create_directory("sub");
  const int empty_set = table_->AddSetFromRows(0, nullptr);
  ASSERT_GT(empty_set, 0);
  struct Case {
    int set;
    int first;
    int last;
    const char* file;
  };
  const Case cases[] = {{set_id_, 950, -1, "beyond.csv"},
                        {empty_set, -1, -1, "empty.csv"},
                        {empty_set, 1, 3, "explicit.csv"},
                        {set_id_, 0, 0, "none.csv"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(Mpp(c.set, nullptr, c.first, c.last, ',', '/', "sub", c.file), 0);
    EXPECT_EQ(Cwd(), dir_.Dir());
    EXPECT_TRUE(std::filesystem::exists(dir_.File(std::string("sub/") + c.file)));
    EXPECT_EQ(ReadAll(dir_.File(std::string("sub/") + c.file)), "");
  }
  ASSERT_EQ(chdir(before.c_str()), 0);
}

TEST_F(MppExportTest, FormatFileShapesThePartsAndItsFailuresAreIgnored) {
  MinPartRows small_parts(1);
  WorkerCap cap(3);
  const int columns[] = {2, 7, -1};  // PRICE, AMOUNT
  dir_.Write("fmt.txt", "// digits per filter\nPRICE\t1\tROUNDUP\nAMOUNT\t0\nNAME\n");
  ASSERT_EQ(Mpp(set_id_, columns, -1, -1, ',', '/', dir_.Dir(), "f.csv", "fmt.txt"), 0);
  const std::string text = ReadAll(dir_.File("f.csv"));
  size_t lines = 0;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1, ++lines) {
    const std::string line = text.substr(start, end - start);
    const size_t comma = line.find(',');
    ASSERT_NE(comma, std::string::npos) << line;
    const std::string price = line.substr(0, comma);
    const std::string amount = line.substr(comma + 1);
    EXPECT_TRUE(price.empty() || q7test::FullMatch(price, "-?[0-9]+\\.[0-9]")) << line;
    EXPECT_TRUE(amount.empty() || q7test::FullMatch(amount, "-?[0-9]+")) << line;
  }
  EXPECT_EQ(lines, 900u);
  // A format file that cannot be read is an export without one.
  ASSERT_EQ(Mpp(set_id_, columns, -1, -1, ',', '/', dir_.Dir(), "g.csv", "missing.txt"), 0);
  ASSERT_EQ(table_->Export(set_id_, columns, -1, -1, ',', '/', dir_.Dir().c_str(), "h.csv"), 0);
  EXPECT_EQ(ReadAll(dir_.File("g.csv")), ReadAll(dir_.File("h.csv")));
}

}  // namespace
