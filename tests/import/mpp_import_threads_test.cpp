// The parallel import (CCMultiThreadImport): the rows and reports never depend on the worker count
// or the window size and equal those of the line-mode parser; empty sources, appends and failures.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "import/CCMultiThreadImport.h"
#include "import/CCatalogParser.h"
#include "import/CTextParser.h"
#include "q7api.h"
#include "tests/import/text_import_support.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"

namespace {

using q7import_test::ImportDirTest;
using q7import_test::Join;
using q7import_test::ParserRows;
using q7import_test::RealTable;
using q7import_test::ReportLines;
using q7import_test::Rows;
using q7import_test::TableRows;

// Small deterministic generator, so that failures reproduce.
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

// A CSV source with every kind of line: quotes, separators and CRs inside quotes, CR LF ends,
// lines longer than a page, bad quotes, wrong field counts, texts that are no numbers, empty lines
// and a last line without its line feed.
std::string CsvSource(int lines, uint32_t seed) {
  Lcg rng(seed);
  std::string out;
  char buf[128];
  for (int i = 1; i <= lines; ++i) {
    const uint32_t kind = rng.Next(100);
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(rng.Next(50000)) - 25000);
    const std::string id = buf;
    std::snprintf(buf, sizeof buf, "%u.%02u", rng.Next(1000), rng.Next(100));
    const std::string amount = buf;
    std::snprintf(buf, sizeof buf, "%ue-%u", rng.Next(100000), rng.Next(5));
    const std::string rate = buf;
    std::string text = "t" + std::to_string(rng.Next(300));
    if (kind < 5) text = "\"q\"\"uo,te\r" + text + "\"";
    if (kind >= 5 && kind < 7) text = std::string(4000 + rng.Next(96), static_cast<char>('a' + rng.Next(26)));
    std::string line = id + "," + text + "," + amount + "," + rate;
    if (kind >= 7 && kind < 9) line = id + ",\"bad\"x," + amount + "," + rate;
    if (kind == 9) line = id + "," + text;
    if (kind == 10) line = "x" + id + "," + text + "," + amount + "," + rate;
    if (kind == 11) line = "";
    if (kind == 12) line = id + "," + text + ",,";
    out += line;
    if (i < lines) out += (kind % 3 == 0) ? "\r\n" : "\n";
  }
  return out;
}

const char kCsvCatalog[] =
    "//CSV\n//ERROR\tSKIPLINE\nI\t1\tID\nA\t1\tTEXT\nN\t1\tAMOUNT\t2\tROUNDHALFUP\nF\t1\tRATE\n";

// A fixed-width source: fields of 6, 4 (skipped) and 5 bytes; some lines end early in the last
// field, some run past it.
std::string FixedSource(int lines, uint32_t seed) {
  Lcg rng(seed);
  std::string out;
  char buf[64];
  for (int i = 1; i <= lines; ++i) {
    std::snprintf(buf, sizeof buf, "%6u%4u%5u", rng.Next(999999), rng.Next(9999), rng.Next(99999));
    std::string line = buf;
    const uint32_t kind = rng.Next(20);
    if (kind == 0) line.resize(12);
    if (kind == 1) line += "extra";
    out += line + "\n";
  }
  return out;
}

const char kFixedCatalog[] = "//FIX\n//ERROR\tCONTINUE\nI\t6\tA\nA\t4\tB\tSKIP\nA\t5\tC\n";

// The two tables hold the same filters (at most 7), byte for byte: types, value lists, extended
// types, scales and value numbers.
void ExpectSameFilters(int table_a, int table_b, int filters = 6) {
  TRealTable* a = RealTable(table_a);
  TRealTable* b = RealTable(table_b);
  ASSERT_EQ(a->TotalRecs(), b->TotalRecs());
  int ids_a[8];
  int ids_b[8];
  ASSERT_EQ(a->GetFilterIDList(ids_a), filters);
  ASSERT_EQ(b->GetFilterIDList(ids_b), filters);
  for (int f = 0; f < filters; ++f) {
    SCOPED_TRACE(f);
    TFilter* fa = a->GetFilter(ids_a[f]);
    TFilter* fb = b->GetFilter(ids_b[f]);
    const int type = fa->VL->GetDataType();
    ASSERT_EQ(type, fb->VL->GetDataType());
    ASSERT_EQ(fa->VL->FArraySize, fb->VL->FArraySize);
    if (type == Q7_TYPE_STRING) {
      for (int i = 0; i < fa->VL->FArraySize; ++i) {
        ASSERT_EQ(q7import_test::ValueText(fa->VL, i), q7import_test::ValueText(fb->VL, i));
      }
    } else {
      const size_t width = type == Q7_TYPE_INTEGER ? 4 : (type == Q7_TYPE_DECIMAL ? 16 : 8);
      EXPECT_EQ(0,
                std::memcmp(fa->VL->FData, fb->VL->FData, width * static_cast<size_t>(fa->VL->FArraySize)));
    }
    if (type == Q7_TYPE_DOUBLE) {
      EXPECT_EQ(static_cast<TDoubleArray*>(fa->VL)->GetExtendType(),
                static_cast<TDoubleArray*>(fb->VL)->GetExtendType());
    }
    if (type == Q7_TYPE_DECIMAL) {
      EXPECT_EQ(static_cast<TNumericArray*>(fa->VL)->GetScale(),
                static_cast<TNumericArray*>(fb->VL)->GetScale());
    }
    ASSERT_EQ(fa->PV->FArraySize, fb->PV->FArraySize);
    EXPECT_EQ(0, std::memcmp(fa->PV->PIntAr(), fb->PV->PIntAr(),
                             sizeof(int) * static_cast<size_t>(fa->PV->FArraySize)));
  }
}

class MppImportTest : public ImportDirTest {
 protected:
  void TearDown() override {
    CCMultiThreadImport::SetWindowSizeForTest(0);
    CCMultiThreadImport::SetRewritePoolMinRowsForTest(-1);
    TTableCollection* tables = CSmpEngine::Instance()->Database();
    for (int id : made_) tables->DelTable(id);
    ImportDirTest::TearDown();
  }

  // Imports the source into a new table "t" with at most `workers` workers (0: all) and the given
  // window (0: computed). The result of MppImport.
  int Import(const std::string& catalog_text, const std::string& source, int workers, int64_t window) {
    CCatalogParser* catalog = Catalog(catalog_text, 1);
    catalog->setTableNameOverride("t");
    q7test::WorkerCap cap(workers);
    CCMultiThreadImport::SetWindowSizeForTest(window);
    std::vector<char> path(source.begin(), source.end());
    path.push_back('\0');
    const int id = CCMultiThreadImport::Instance()->MppImport(catalog, path.data());
    CCMultiThreadImport::SetWindowSizeForTest(0);
    if (id > 0) made_.push_back(id);
    return id;
  }

  // Appends the source to table `table` at `position`; the result of MppImport.
  int Append(const std::string& catalog_text, const std::string& source, int table, int position) {
    CCatalogParser* catalog = Catalog(catalog_text, 1);
    EXPECT_EQ(catalog->SetAppendTableID(table), 0);
    CCMultiThreadImport::Instance()->setAppendPos(position);
    CCMultiThreadImport::Instance()->setImportedRows(-1);
    std::vector<char> path(source.begin(), source.end());
    path.push_back('\0');
    return CCMultiThreadImport::Instance()->MppImport(catalog, path.data());
  }

  // The line-mode parser's rows and reports for the same catalog and source.
  template <class Parser>
  void LineMode(const std::string& catalog_text, const std::string& source, Rows* rows,
                std::vector<std::string>* reports) {
    Parser parser(Catalog(catalog_text));
    ASSERT_GE(parser.parse(const_cast<char*>(source.c_str())), 0);
    *rows = ParserRows(parser);
    *reports = ReportLines(Log());
  }

  static int TableCount() {
    int ids[10000];
    return CSmpEngine::Instance()->Database()->GetTableIDList(ids);
  }

  std::vector<int> made_;
};

TEST_F(MppImportTest, RowsAndReportsNeverDependOnWorkersOrWindows) {
  struct Format {
    const char* name;
    const char* catalog;
    std::string source;
    bool fixed;
  };
  const Format formats[] = {
      {"csv", kCsvCatalog, CsvSource(3000, 7), false},
      {"fixed", kFixedCatalog, FixedSource(3000, 11), true},
  };
  const int all = CSmpEngine::Instance()->ActiveThreads();
  const int page = static_cast<int>(sysconf(_SC_PAGESIZE));
  for (const Format& format : formats) {
    SCOPED_TRACE(format.name);
    const std::string src = dir_.Write(std::string(format.name) + ".txt", format.source);
    Rows want;
    std::vector<std::string> want_reports;
    if (format.fixed) {
      LineMode<CFixedLengthParser>(format.catalog, src, &want, &want_reports);
    } else {
      LineMode<CCSVParser>(format.catalog, src, &want, &want_reports);
    }
    ASSERT_GT(want.size(), 1000u);
    ASSERT_FALSE(want_reports.empty());
    for (int workers : {1, 3, all}) {
      for (int64_t window : {int64_t{page}, int64_t{3} * page, int64_t{0}}) {
        SCOPED_TRACE("workers " + std::to_string(workers) + ", window " + std::to_string(window));
        const int id = Import(format.catalog, src, workers, window);
        ASSERT_GT(id, 0);
        const Rows got = TableRows(id);
        ASSERT_EQ(got.size(), want.size());
        for (size_t r = 0; r < got.size(); ++r) ASSERT_EQ(Join(got[r]), Join(want[r])) << "row " << r + 1;
        EXPECT_EQ(ReportLines(Log()), want_reports);
      }
    }
  }
}

// CSV records whose quoted fields hold line breaks (LF, CR LF, several, at field ends), among bad
// records that span lines (text after a closing quote, wrong field counts) and plain ones.
std::string QuotedBreaksSource(int records, uint32_t seed) {
  Lcg rng(seed);
  std::string out;
  for (int i = 1; i <= records; ++i) {
    const uint32_t kind = rng.Next(20);
    std::string text;
    const int parts = 1 + static_cast<int>(rng.Next(4));
    for (int p = 0; p < parts; ++p) {
      if (p > 0) text += rng.Next(3) == 0 ? "\r\n" : "\n";
      text += "w" + std::to_string(rng.Next(500)) + (rng.Next(4) == 0 ? "\"\"," : "");
    }
    std::string line = std::to_string(i) + ",\"" + text + "\"," + std::to_string(rng.Next(100)) + ".5,1e" +
                       std::to_string(rng.Next(3));
    if (kind == 0) line = std::to_string(i) + ",\"" + text + "\"x,1,2";
    if (kind == 1) line = std::to_string(i) + ",\"" + text + "\"";
    if (kind == 2) line = std::to_string(i) + ",plain,\"" + text + "\",3,4";
    if (kind == 3) line = std::to_string(i) + ",\"\n\"\"\n\",7,8";
    out += line + (rng.Next(3) == 0 ? "\r\n" : "\n");
  }
  return out;
}

// Plain records of exactly `bytes` bytes (at least 7).
std::string Filler(size_t bytes) {
  std::string out;
  int i = 0;
  while (bytes - out.size() >= 18) out += "9" + std::to_string(i++ % 10) + ",f,1.5,2\n";
  const size_t rest = bytes - out.size();
  out += "9," + std::string(rest - 7, 'g') + ",1,2\n";
  return out;
}

// Chunk and window borders that fall inside quoted fields neither split a record nor start a false
// one: the rows and reports are those of the line-mode parser for every worker count and window
// size, also when a quoted line end sits exactly at the end of a window and of a nominal chunk.
TEST_F(MppImportTest, QuotedLineBreaksOnChunkAndWindowBordersChangeNothing) {
  const int all = CSmpEngine::Instance()->ActiveThreads();
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  // The crafted source: a record whose quoted LF is the last byte of the first page (the end of a
  // one-page window, and the first byte before the middle of a two-page file), then plain records.
  std::string crafted = "1,\"" + std::string(page - 4, 'a') + "\nb\",5,6\n";
  ASSERT_EQ(crafted[page - 1], '\n');
  crafted += Filler(2 * page - crafted.size());
  ASSERT_EQ(crafted.size(), 2 * page);
  const std::string sources[] = {crafted, QuotedBreaksSource(1500, 5), QuotedBreaksSource(1500, 9)};
  for (size_t s = 0; s < std::size(sources); ++s) {
    SCOPED_TRACE("source " + std::to_string(s));
    const std::string src = dir_.Write("quoted" + std::to_string(s) + ".txt", sources[s]);
    Rows want;
    std::vector<std::string> want_reports;
    LineMode<CCSVParser>(kCsvCatalog, src, &want, &want_reports);
    ASSERT_GT(want.size(), s == 0 ? 100u : 1000u);
    if (s > 0) {
      ASSERT_FALSE(want_reports.empty());
    }
    for (int workers : {1, 2, 3, all}) {
      for (int64_t window : {int64_t{1}, int64_t{2} * static_cast<int64_t>(page), int64_t{0}}) {
        SCOPED_TRACE("workers " + std::to_string(workers) + ", window " + std::to_string(window));
        const int id = Import(kCsvCatalog, src, workers, window);
        ASSERT_GT(id, 0);
        const Rows got = TableRows(id);
        ASSERT_EQ(got.size(), want.size());
        for (size_t r = 0; r < got.size(); ++r) ASSERT_EQ(Join(got[r]), Join(want[r])) << "row " << r + 1;
        EXPECT_EQ(ReportLines(Log()), want_reports);
      }
    }
  }
  // The first rows of the crafted source as written.
  const int id = Import(kCsvCatalog, dir_.Write("crafted.txt", crafted), 2, 1);
  ASSERT_GT(id, 0);
  const Rows got = TableRows(id);
  EXPECT_EQ(got[0][1], std::string(page - 4, 'a') + "\nb");
}

// Two hundred thousand lines: one worker and all workers give the same value lists and value
// numbers. At the default window size each chunk is one window whatever the file's size (the
// whole-column road a large file takes).
TEST_F(MppImportTest, OneWorkerEqualsAllWorkersOnLargeFile) {
  constexpr int kLines = 200000;
  std::string source;
  source.reserve(static_cast<size_t>(kLines) * 40);
  Lcg rng(3);
  char line[128];
  for (int i = 0; i < kLines; ++i) {
    const int n = std::snprintf(line, sizeof line, "%d,k%u,%u.%u,\"%u\"\n", i, rng.Next(70000),
                                rng.Next(1000), rng.Next(10), rng.Next(97));
    source.append(line, static_cast<size_t>(n));
  }
  const std::string src = dir_.Write("big.txt", source);
  const char catalog[] = "//CSV\nI\t1\tN\nA\t1\tK\nN\t1\tD\t1\tROUNDDOWN\nI\t1\tQ\n";
  const int one = Import(catalog, src, 1, 0);
  ASSERT_GT(one, 0);
  const int many = Import(catalog, src, 0, 0);
  ASSERT_GT(many, 0);
  EXPECT_EQ(CCMultiThreadImport::Instance()->getChunkCount(), CSmpEngine::Instance()->ActiveThreads());
  TRealTable* a = RealTable(one);
  TRealTable* b = RealTable(many);
  ASSERT_EQ(a->TotalRecs(), kLines);
  ASSERT_EQ(b->TotalRecs(), kLines);
  int ids_a[8];
  int ids_b[8];
  ASSERT_EQ(a->GetFilterIDList(ids_a), 4);
  ASSERT_EQ(b->GetFilterIDList(ids_b), 4);
  for (int f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    TFilter* fa = a->GetFilter(ids_a[f]);
    TFilter* fb = b->GetFilter(ids_b[f]);
    ASSERT_EQ(fa->VL->FArraySize, fb->VL->FArraySize);
    for (int i = 0; i < fa->VL->FArraySize; ++i) {
      ASSERT_EQ(q7import_test::ValueText(fa->VL, i), q7import_test::ValueText(fb->VL, i));
    }
    ASSERT_EQ(0, std::memcmp(fa->PV->PIntAr(), fb->PV->PIntAr(), sizeof(int) * (kLines + 1)));
  }
  EXPECT_EQ(
      q7import_test::ValueText(a->GetFilter(ids_a[0])->VL, a->GetFilter(ids_a[0])->PV->PIntAr()[kLines]),
      std::to_string(kLines - 1));
}

// When every chunk fits one window the fields other than STRING are compiled as whole columns in
// step 2; with smaller windows every window is compiled and the lists merged. Both roads give the
// same lists (entries byte for byte, attributes) and value numbers, for a new table and an append.
TEST_F(MppImportTest, WholeColumnsEqualWindowByWindow) {
  Lcg rng(11);
  std::string source;
  char line[256];
  for (int i = 0; i < 20000; ++i) {
    const uint32_t kind = rng.Next(40);
    std::string k = std::to_string(static_cast<int>(rng.Next(2000)) - 1000);
    std::string x = std::to_string(rng.Next(100000)) + "." + std::to_string(rng.Next(1000)) + "e-" +
                    std::to_string(rng.Next(4));
    std::snprintf(line, sizeof line, "%04u-%02u-%02u", 1890 + rng.Next(200), rng.Next(14), rng.Next(33));
    std::string d = line;
    std::snprintf(line, sizeof line, "%d.%03u", static_cast<int>(rng.Next(20000)) - 10000, rng.Next(1000));
    std::string amt = line;
    if (kind == 0) k = x = d = amt = "";
    if (kind == 1) k = "x1", x = "1e999", d = "2020-02-30", amt = "1.2.3";
    if (kind == 2) k = "-0", x = "-0", amt = "-0.000";
    if (kind == 3) k = "\"1,234\"", x = "\"1,234.5\"", d = "2020/01/05", amt = "\"-1,234.565\"";
    if (kind == 4) k = " 7", x = "0x10", amt = "5 ";
    std::snprintf(line, sizeof line, "%d,%s,%s,%s,%s,s%u\n", i, k.c_str(), x.c_str(), d.c_str(), amt.c_str(),
                  rng.Next(500));
    source += line;
  }
  const std::string src = dir_.Write("roads.txt", source);
  const char catalog[] =
      "//CSV\n//ERROR\tCONTINUE\nI\t1\tN\nI\t1\tK\nF\t1\tX\nD\t1\tD\tD2\nN\t1\tA\t2\tROUNDHALFUP\nA\t1\tS\n";
  const int page = static_cast<int>(sysconf(_SC_PAGESIZE));
  const int64_t whole = int64_t{1} << 30;
  for (int workers : {1, 0}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    const int by_windows = Import(catalog, src, workers, 8 * page);
    const int by_columns = Import(catalog, src, workers, whole);
    ASSERT_GT(by_windows, 0);
    ASSERT_GT(by_columns, 0);
    EXPECT_EQ(RealTable(by_columns)->TotalRecs(), 20000);
    ExpectSameFilters(by_windows, by_columns);
    // Appends: each road into a table of its own, made from the first lines at another scale.
    const std::string head_catalog =
        "//CSV\nI\t1\tN\nI\t1\tK\nF\t1\tX\nD\t1\tD\tD2\nN\t1\tA\t3\tROUNDHALFUP\nA\t1\tS\n";
    const std::string head = dir_.Write("head.txt", "1,2,3.5,2021-01-01,1.2345,s1\n-5,,,,,\n");
    int targets[2];
    for (int road = 0; road < 2; ++road) {
      targets[road] = Import(head_catalog, head, workers, 0);
      ASSERT_GT(targets[road], 0);
      q7test::WorkerCap cap(workers);
      CCMultiThreadImport::SetWindowSizeForTest(road == 0 ? 8 * page : whole);
      EXPECT_EQ(Append(catalog, src, targets[road], -1), 20000);
      CCMultiThreadImport::SetWindowSizeForTest(0);
    }
    ExpectSameFilters(targets[0], targets[1]);
  }
}

// The value numbers of a field read in several chunks are rewritten through the merge maps either
// by one writer or in pieces on the pool; both give the value numbers of a one-chunk import, for
// every worker count, on both roads (window by window: every field; whole columns: the text
// field only), for a new table and for an append.
TEST_F(MppImportTest, ValueNumbersRewrittenInPiecesEqualOneWriter) {
  Lcg rng(5);
  std::string source;
  char line[128];
  for (int i = 0; i < 30000; ++i) {
    const int n = std::snprintf(line, sizeof line, "%u,w%u,%u.%02u\n", rng.Next(3000), rng.Next(20000),
                                rng.Next(500), rng.Next(100));
    source.append(line, static_cast<size_t>(n));
  }
  const std::string src = dir_.Write("pieces.txt", source);
  const char catalog[] = "//CSV\nI\t1\tK\nA\t1\tS\nN\t1\tA\t2\tROUNDDOWN\n";
  const std::string head = dir_.Write("head3.txt", "7,w1,1.5\n");
  const int page = static_cast<int>(sysconf(_SC_PAGESIZE));
  const int all = CSmpEngine::Instance()->ActiveThreads();
  for (int64_t window : {int64_t{8} * page, int64_t{0}}) {
    SCOPED_TRACE("window " + std::to_string(window));
    const int want = Import(catalog, src, 1, window);
    ASSERT_GT(want, 0);
    const int want_append = Import(catalog, head, 1, 0);
    ASSERT_GT(want_append, 0);
    {
      q7test::WorkerCap cap(1);
      CCMultiThreadImport::SetWindowSizeForTest(window);
      EXPECT_EQ(Append(catalog, src, want_append, -1), 30000);
      CCMultiThreadImport::SetWindowSizeForTest(0);
    }
    for (int workers : {2, 3, all}) {
      for (int min_rows : {INT_MAX, 0}) {
        SCOPED_TRACE("workers " + std::to_string(workers) + ", pool from " + std::to_string(min_rows));
        CCMultiThreadImport::SetRewritePoolMinRowsForTest(min_rows);
        const int got = Import(catalog, src, workers, window);
        ASSERT_GT(got, 0);
        ExpectSameFilters(want, got, 3);
        const int got_append = Import(catalog, head, workers, 0);
        ASSERT_GT(got_append, 0);
        {
          q7test::WorkerCap cap(workers);
          CCMultiThreadImport::SetWindowSizeForTest(window);
          EXPECT_EQ(Append(catalog, src, got_append, -1), 30000);
          CCMultiThreadImport::SetWindowSizeForTest(0);
        }
        CCMultiThreadImport::SetRewritePoolMinRowsForTest(-1);
        ExpectSameFilters(want_append, got_append, 3);
      }
    }
  }
}

TEST_F(MppImportTest, SourcesWithoutDataMakeEmptyTables) {
  const char catalog[] = "//CSV\n//CUTTOP\nI\t1\tN\nA\t1\tS\nN\t1\tD\t3\tROUNDUP\nD\t1\tW\n";
  for (const std::string& content : {std::string(), std::string("N,S,D,W\n"), std::string("N,S,D,W")}) {
    SCOPED_TRACE(content);
    const int id = Import(catalog, dir_.Write("src.txt", content), 0, 0);
    ASSERT_GT(id, 0);
    TRealTable* table = RealTable(id);
    EXPECT_EQ(table->TotalRecs(), 0);
    int ids[8];
    ASSERT_EQ(table->GetFilterIDList(ids), 4);
    const int types[] = {Q7_TYPE_INTEGER, Q7_TYPE_STRING, Q7_TYPE_DECIMAL, Q7_TYPE_DATE};
    for (int f = 0; f < 4; ++f) {
      EXPECT_EQ(table->GetFilter(ids[f])->VL->GetDataType(),
                types[f] == Q7_TYPE_DATE ? Q7_TYPE_DOUBLE : types[f]);
    }
  }
  // Appending nothing appends nothing: no new table, the target unchanged, 0 rows.
  const int target = Import("//CSV\nI\t1\tN\n", dir_.Write("one.txt", "5\n"), 0, 0);
  const int tables = TableCount();
  EXPECT_EQ(Append("//CSV\nI\t1\tN\n", dir_.Write("empty.txt", ""), target, -1), 0);
  EXPECT_EQ(TableCount(), tables);
  EXPECT_EQ(TableRows(target).size(), 1u);
}

TEST_F(MppImportTest, SmallSourceWithoutFinalLineFeed) {
  const int id = Import("//CSV\nI\t1\tN\nA\t1\tS\n", dir_.Write("src.txt", "1,a\n2,b"), 0, 0);
  ASSERT_GT(id, 0);
  EXPECT_EQ(CCMultiThreadImport::Instance()->getChunkCount(), 1);
  const Rows rows = TableRows(id);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Join(rows[1]), "2|b");
}

TEST_F(MppImportTest, AppendAfterLastRowAndInside) {
  const char catalog[] = "//CSV\nI\t1\tN\nA\t1\tS\n";
  const int id = Import(catalog, dir_.Write("a.txt", "1,a\n2,b\n3,c\n"), 0, 0);
  ASSERT_GT(id, 0);
  EXPECT_EQ(Append(catalog, dir_.Write("b.txt", "4,d\n5,e\n"), id, -1), 2);
  // From row 4: rows 4 and 5 are overwritten, one row is added.
  EXPECT_EQ(Append(catalog, dir_.Write("c.txt", "7,x\n8,y\n9,z\n"), id, 4), 3);
  // Past the end: the rows between stay NULL.
  EXPECT_EQ(Append(catalog, dir_.Write("d.txt", "10,w\n"), id, 8), 1);
  std::vector<std::string> rows;
  for (const auto& row : TableRows(id)) rows.push_back(Join(row));
  EXPECT_EQ(rows, (std::vector<std::string>{"1|a", "2|b", "3|c", "7|x", "8|y", "9|z", "<null>|", "10|w"}));

  // A source that all workers share: the rows arrive in file order after the table's own.
  const std::string big = dir_.Write("big.txt", CsvSource(3000, 5));
  Rows want;
  std::vector<std::string> reports;
  LineMode<CCSVParser>(kCsvCatalog, big, &want, &reports);
  const int target = Import(kCsvCatalog, dir_.Write("head.txt", "-1,x,1.5,2\n-2,y,2.5,3\n"), 0, 0);
  ASSERT_GT(target, 0);
  ASSERT_EQ(Append(kCsvCatalog, big, target, -1), static_cast<int>(want.size()));
  EXPECT_GT(CCMultiThreadImport::Instance()->getChunkCount(), 1);
  const Rows got = TableRows(target);
  ASSERT_EQ(got.size(), want.size() + 2);
  EXPECT_EQ(Join(got[1]), "-2|y|0:fa/2|3");
  for (size_t r = 0; r < want.size(); ++r) ASSERT_EQ(Join(got[r + 2]), Join(want[r])) << "row " << r + 1;
}

TEST_F(MppImportTest, AppendedDecimalsTakeTheLargerScale) {
  struct Case {
    int table_scale;
    const char* table_value;
    int source_scale;
    const char* source_value;
    const char* want;  // both rows at the larger scale
  };
  const Case cases[] = {
      {4, "1.2345", 2, "2.5", "0:3039/4|0:61a8/4"},
      {2, "1.25", 4, "2.1234", "0:30d4/4|0:52f2/4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    const std::string table_catalog = "//CSV\nN\t1\tD\t" + std::to_string(c.table_scale) + "\tROUNDHALFUP\n";
    const std::string source_catalog =
        "//CSV\nN\t1\tD\t" + std::to_string(c.source_scale) + "\tROUNDHALFUP\n";
    const int id = Import(table_catalog, dir_.Write("a.txt", std::string(c.table_value) + "\n"), 0, 0);
    ASSERT_GT(id, 0);
    ASSERT_EQ(Append(source_catalog, dir_.Write("b.txt", std::string(c.source_value) + "\n"), id, -1), 1);
    const Rows rows = TableRows(id);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0] + "|" + rows[1][0], c.want);
  }
}

TEST_F(MppImportTest, FailuresReportFileLinesAndMakeNoTable) {
  // 40,000 lines, so that the bad last line lies in the last worker's chunk.
  std::string good;
  for (int i = 1; i < 40000; ++i) good += std::to_string(i) + ",a\n";
  struct Case {
    const char* mode;
    std::string last;
    int result;
    std::string report;  // "" for none
  };
  const Case cases[] = {
      {"STOP", "12x,a", Q7_ERROR_INVALID_DATA,
       "DATA ERROR \t\t----->\t[N] = \"12x\"  \t@ Row = 40000 , Col = 1 "},
      {"CONTINUE", "1,a,b", Q7_CATALOG_PARSE_ERROR,
       "FILTER MISMATCH \t----->\tFilters - Items [2 - 3] \t@ Row = 40000 "},
      {"CONTINUE", "1,\"a\"b", Q7_ERROR_INVALID_DATA, "DATA PARSE ERROR \t\t @ Row = 40000 "},
      {"NONE", "1,a,b", Q7_CATALOG_PARSE_ERROR, ""},
      {"SKIPLINE", "1," + std::string(4096, 'z'), Q7_ERROR_DATA_OVERFLOW,
       "DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = 40000 @ File = "},
  };
  const int tables = TableCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.last.substr(0, 10));
    const std::string src = dir_.Write("src.txt", good + c.last + "\n");
    EXPECT_EQ(Import(std::string("//CSV\n//ERROR\t") + c.mode + "\nI\t1\tN\nA\t1\tS\n", src, 0, 0), c.result);
    const std::vector<std::string> reports = ReportLines(Log());
    if (c.report.empty()) {
      EXPECT_TRUE(reports.empty());
    } else {
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_EQ(reports[0].substr(0, c.report.size()), c.report);
    }
    EXPECT_EQ(TableCount(), tables);
  }
  const std::string missing = dir_.File("missing.txt");
  EXPECT_EQ(Import("//CSV\nI\t1\tN\n", missing, 0, 0), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_NE(Log().find("FILE  [" + missing + "] MISSING \n"), std::string::npos);
  EXPECT_EQ(Import("//CSV\nI\t1\tN\n", dir_.Dir(), 0, 0), Q7_ERROR_ILLEGAL_FILE_NAME);
}

int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// Failures in either mode leave no descriptor open and no window of the source mapped.
TEST_F(MppImportTest, FailuresLeaveNothingOpenOrMapped) {
  std::string source;
  for (int i = 1; i < 20000; ++i) source += std::to_string(i) + ",a\n";
  const std::string src = dir_.Write("src.txt", source + "1,\"a\"b\n");
  const std::string catalog = "//CSV\nI\t1\tN\nA\t1\tS\n";
  const int before = OpenDescriptors();
  for (int workers : {1, 0}) {
    EXPECT_EQ(Import(catalog, src, workers, 4096), Q7_ERROR_INVALID_DATA);
  }
  CCSVParser parser(Catalog(catalog));
  EXPECT_EQ(parser.parse(const_cast<char*>(src.c_str())), Q7_ERROR_INVALID_DATA);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(q7test::ReadAll("/proc/self/maps").find(src), std::string::npos);
}

TEST_F(MppImportTest, WindowSizeFollowsFileAndMemory) {
  const int page = 4096;
  // One window per chunk (with room for the line a chunk ends with) where memory allows, never
  // below a page, never above 1 GiB.
  EXPECT_EQ(CCMultiThreadImport::CalcWindowSize(0, 8, 0, page), page);
  EXPECT_EQ(CCMultiThreadImport::CalcWindowSize(100, 1, 0, page), page);
  EXPECT_EQ(CCMultiThreadImport::CalcWindowSize(int64_t{520} << 20, 8, int64_t{16} << 30, page),
            (int64_t{69} << 20) + page);
  EXPECT_EQ(CCMultiThreadImport::CalcWindowSize(int64_t{64} << 30, 2, int64_t{64} << 30, page),
            int64_t{1} << 30);
  // Little free memory shrinks the windows, but not below 16 MiB of a larger chunk.
  EXPECT_EQ(CCMultiThreadImport::CalcWindowSize(int64_t{8} << 30, 8, int64_t{256} << 20, page),
            int64_t{16} << 20);
}

}  // namespace
