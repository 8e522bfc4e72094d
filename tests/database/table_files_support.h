// Helpers of the database-file and table-file tests: a working directory with the catalog message
// log in it, tables holding every value type, a text snapshot of a table for comparisons, and a
// writer of the older record layouts.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TSortedSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_fstream.h"
#include "table_test_support.h"
#include "tests/support/test_support.h"
#include "values/ArrayFunctions.h"
#include "values/TStrArray.h"

namespace files_test {

using q7test::CodeOf;
using q7test::ReadAll;
using q7test::TempDir;
using q7test::WriteAll;

inline std::string Cwd() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) != nullptr ? buf : "";
}

// A 512-byte directory buffer, as the collection's file calls take it.
struct DirBuf {
  explicit DirBuf(const std::string& dir) {
    memset(text, 0, sizeof text);
    snprintf(text, sizeof text, "%s", dir.c_str());
  }
  char text[TTableCollection::kPathSize];
};

class FilesTest : public ttest::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    cwd_ = Cwd();
    LOGOBJ->getFileName(saved_log_);
    log_path_ = dir_.File("catalog_test_log.txt");
    LOGOBJ->setFileName(log_path_.c_str());
  }
  void TearDown() override {
    LOGOBJ->setFileName(saved_log_);
    EXPECT_EQ(Cwd(), cwd_) << "the working directory was not restored";
    TableTest::TearDown();
  }

  // The catalog message log's lines written during the test (the banner's lines included).
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::string text = ReadAll(log_path_);
    size_t from = 0;
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1)
      lines.push_back(text.substr(from, nl - from));
    return lines;
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : LogLines()) {
      if (l == line) return true;
    }
    return false;
  }

  std::string Path(const char* name) const { return dir_.File(name); }

  TempDir dir_;
  std::string cwd_;
  std::string log_path_;
  char saved_log_[CErrorLog::kFileNameSize] = {};
};

// ---- Tables of every value type ----

inline const char* kTexts[] = {"", "alpha", "beta", "gamma", "a longer text with blanks", "beta"};

// Adds one filter of every value type over the table's records, with NULLs in every numeric
// column; seed varies the values.
inline void AddEveryType(TRealTable* t, int seed) {
  const int n = t->TotalRecs();
  std::vector<int32_t> ints(n);
  std::vector<double> dbls(n), dates(n), times(n), stamps(n);
  std::vector<const char*> texts(n);
  std::vector<Numeric> decs(n);
  for (int i = 0; i < n; ++i) {
    const bool null = (i + seed) % 5 == 0;
    ints[i] = null ? INT32_MIN : (i * 7 + seed) % 11 - 5;
    dbls[i] = null ? -HUGE_VAL : ((i + seed) % 9) * 0.25 - 1;
    dates[i] = null ? -HUGE_VAL : 40000 + (i + seed) % 6;
    times[i] = null ? -HUGE_VAL : ((i * 3 + seed) % 8) / 8.0;
    stamps[i] = null ? -HUGE_VAL : 40000 + (i % 4) + ((i + seed) % 3) / 3.0;
    texts[i] = kTexts[(i + seed) % 6];
    decs[i] = null ? Numeric{0, INT64_MIN} : Numeric{static_cast<uint64_t>((i * 13 + seed) % 17), 0};
  }
  struct Column {
    const char* name;
    int type;
    int width;
    void* data;
  };
  const Column columns[] = {
      {"int", Q7_TYPE_INTEGER, 4, ints.data()},  {"dbl", Q7_TYPE_DOUBLE, 8, dbls.data()},
      {"date", Q7_TYPE_DATE, 8, dates.data()},   {"time", Q7_TYPE_TIME, 8, times.data()},
      {"text", Q7_TYPE_STRING, 8, texts.data()}, {"stamp", Q7_TYPE_DATETIME, 8, stamps.data()},
      {"dec", Q7_TYPE_DECIMAL, 16, decs.data()},
  };
  for (const Column& c : columns) {
    std::string name = c.name;
    ASSERT_GT(t->AddFilter2(1024, name.data(), c.type, n, c.width, c.data, 0, -1), 0) << c.name;
  }
}

// A view of set `set_id` ordered by filter `filter_id`, built.
inline void AddView(TRealTable* t, int set_id, int filter_id) {
  auto* view = new TSortedSetArray();
  view->initialize(t->GetSet(set_id), t->GetFilter(filter_id));
  view->Reclaim();
}

// ---- Snapshots ----

inline std::string Hex(const void* p, size_t n) {
  std::string out;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    snprintf(b, sizeof b, "%02x", static_cast<const unsigned char*>(p)[i]);
    out += b;
  }
  return out;
}

inline std::string Ints(const TIntArray* a) {
  std::string out;
  for (int i = 0; i < a->FArraySize; ++i) out += std::to_string(static_cast<const int*>(a->FData)[i]) + ",";
  return out;
}

// The value of record `rec` as text: the list entry's bytes, or its text for a string list.
inline std::string ValueOf(TFilter* f, int rec) {
  const int vno = f->PV->GetInt(rec);
  if (vno < 0) return "pending";
  if (f->VL->GetDataType() == Q7_TYPE_STRING) return static_cast<TStrArray*>(f->VL)->GetPChar(vno);
  return Hex(static_cast<const char*>(f->VL->FData) + static_cast<size_t>(vno) * f->VL->FUnitSize,
             static_cast<size_t>(f->VL->FUnitSize));
}

// Everything a table file carries, except the ID, as text: sets, filters and every record's value,
// and with views_and_flags the high-speed flags and the views.
inline std::string Snapshot(TRealTable* t, bool views_and_flags = true) {
  std::string s = std::string("name=") + t->FTableName + " recs=" + std::to_string(t->TotalRecs()) +
                  " maxset=" + std::to_string(t->FMaxSetID) + " cur=" + std::to_string(t->FCurrentSetID) +
                  "\n";
  for (int i = 0; i < t->FnSet; ++i)
    s += "set " + std::to_string(t->FSetIDs[i]) + ": " + Ints(t->FSets[i]) + "\n";
  s += "lastfilter=" + std::to_string(t->FLastFilterID) + "\n";
  for (int i = 0; i < t->FnFilter; ++i) {
    TFilter* f = t->FFilters[i];
    s += "filter " + std::to_string(f->FFilterID) + " " + f->FFilterName +
         " org=" + std::to_string(f->FOrgTblID) + "/" + std::to_string(f->FOrgFltID) +
         " hs=" + (views_and_flags ? std::to_string(f->FHighSpeed) : "-") +
         " type=" + std::to_string(f->VL->GetDataType()) + " attr=" + Hex(f->VL->FUserArea, 8) + "\n";
    for (int r = 1; r <= t->TotalRecs(); ++r) s += " " + ValueOf(f, r);
    s += "\n";
  }
  for (int si = 0; views_and_flags && si < t->FnSet; ++si) {
    for (int fi = 0; fi < t->FnFilter; ++fi) {
      if (TSortedSetArray* v = t->FSets[si]->GetSortedSet(t->FFilters[fi]))
        s += "view " + std::to_string(si) + "/" + std::to_string(fi) +
             " nulls=" + std::to_string(v->NullCount()) + ": " + Ints(v) + "\n";
    }
  }
  return s;
}

// ---- Older record layouts ----

// The real-table record as a writer of data version `version` laid it out: a 100-int set-ID
// block below 24, high-speed flags and views from 23 on.
inline void WriteRecordAs(zpk_fstream& fs, TRealTable* t, int version, int stored_id) {
  auto put = [&fs](int32_t v) { zpk_write(fs, &v, 4, 1); };
  for (int i = 0; i < t->FnFilter; ++i) t->FFilters[i]->MergeTVL(false);
  put(0);
  const int32_t versions[4] = {0x01001001, version, 1, 20170503};
  zpk_write(fs, versions, 4, 4);
  put(stored_id);
  char name[256] = {};
  snprintf(name, sizeof name, "%s", t->FTableName);
  zpk_write(fs, name, 1, 256);
  put(t->FnSet);
  if (version < 24) {
    std::vector<int32_t> block(100, 77);  // stale entries after the first n
    for (int i = 0; i < t->FnSet; ++i) block[i] = t->FSetIDs[i];
    zpk_write(fs, block.data(), 4, 100);
  } else {
    zpk_write(fs, t->FSetIDs, 4, t->FnSet);
  }
  put(t->FMaxSetID);
  put(t->FCurrentSetID);
  for (int i = 0; i < t->FnSet; ++i) t->FSets[i]->SaveArray(fs);
  put(t->FnFilter);
  put(t->FLastFilterID);
  for (int i = 0; i < t->FnFilter; ++i) {
    put(t->FFilters[i]->FFilterID);
    t->FFilters[i]->SaveFilter(fs);
    if (version > 22) put(t->FFilters[i]->FHighSpeed);
  }
  if (version < 23) return;
  std::vector<std::pair<int, int>> views;
  for (int s = 0; s < t->FnSet; ++s) {
    for (int f = 0; f < t->FnFilter; ++f) {
      if (t->FSets[s]->GetSortedSet(t->FFilters[f]) != nullptr) views.emplace_back(s, f);
    }
  }
  put(static_cast<int32_t>(views.size()));
  for (auto [s, f] : views) {
    put(s);
    put(f);
    t->FSets[s]->GetSortedSet(t->FFilters[f])->SaveArray(fs);
  }
}

// A database file of data version `version` holding the collection's real tables (IDs 1..n).
inline void WriteDatabaseAs(const std::string& path, TTableCollection& db, int version) {
  zpk_fstream fs;
  ASSERT_EQ(fs.open(path.c_str(), kZpkWrite | kZpkBinary, 0), 0);
  fs.writeFileHeader();
  const int32_t versions[4] = {0x01001001, version, 1, 20170503};
  zpk_write(fs, versions, 4, 4);
  const int32_t n = db.TableCount();
  zpk_write(fs, &n, 4, 1);
  zpk_write(fs, &n, 4, 1);
  for (int i = 0; i < n; ++i) {
    char name[256] = {};
    snprintf(name, sizeof name, "%s", db.TableAt(i)->FTableName);
    zpk_write(fs, name, 1, 256);
  }
  for (int i = 0; i < n; ++i) WriteRecordAs(fs, static_cast<TRealTable*>(db.TableAt(i)), version, i + 1);
}

// Replaces a file by new contents. Removing it first matters: truncating a file that holds data
// makes some file systems write it out at once, which slows loops of rewrites down a hundredfold.
inline void Rewrite(const std::string& path, const std::string& bytes) {
  unlink(path.c_str());
  WriteAll(path, bytes);
}

inline int32_t IntAt(const std::string& bytes, size_t at) {
  int32_t v;
  memcpy(&v, bytes.data() + at, 4);
  return v;
}
inline void PutIntAt(std::string* bytes, size_t at, int32_t v) { memcpy(bytes->data() + at, &v, 4); }

}  // namespace files_test
