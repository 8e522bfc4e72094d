// Exporting a 10-million-row, seven-column table to CSV as a host does (RQ7ExportAsCSV, all rows
// of set 1), into the page cache of the system's temporary directory. The file is deleted, untimed,
// after each iteration.
//
// The table is the fact table of the import benchmark and of the side-by-side benchmark, built once
// per process in the engine's database: id INTEGER 1..N, k1 INTEGER 1..1000, k2 INTEGER 1..50,
// s STRING (10,000 texts of 3 to 8 letters), d DATE (ten years), x DOUBLE (0.ddddddddd, nearly N
// distinct, printed with 9 digits) and amt DECIMAL (two places, -500.00 .. 9999.99). The file is
// about 560 MB (the texts are quoted).
//
// BM_ExportCsv/N/W runs the export with W workers (the engine's worker count capped at W).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"
#include "values/TNumericArray.h"

namespace {

struct Rng {  // splitmix64: the same table on every run
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) { return static_cast<uint64_t>((static_cast<__uint128_t>(next()) * n) >> 64); }
};

class Fixture {
 public:
  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7exportbenchXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    dir_ = pattern;
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

  // The table of `rows` rows, built on first use.
  int Table(int rows) {
    if (rows == rows_) return table_;
    if (table_ > 0) RQ7DeleteTable(table_);
    TTableCollection* db = CSmpEngine::Instance()->Database();
    std::string name = "fact";
    table_ = db->AddRealTable(name.data(), rows);
    auto* t = static_cast<TRealTable*>(db->GetTable(table_));

    Rng meta{20240601};
    std::vector<std::string> texts;
    std::unordered_set<std::string> seen;
    while (texts.size() < 10000) {
      std::string s(3 + meta.below(6), 'a');
      for (char& c : s) c = static_cast<char>('a' + meta.below(26));
      if (seen.insert(s).second) texts.push_back(s);
    }
    const int first_day = 42005;  // 2015-01-01
    const int days = 3653;
    Rng r{20240601 ^ 0xA5A5A5A5DEADBEEFULL};
    std::vector<int32_t> id(rows), k1(rows), k2(rows);
    std::vector<const char*> s(rows);
    std::vector<double> d(rows), x(rows);
    std::vector<Numeric> amt(rows);
    for (int i = 0; i < rows; ++i) {
      id[i] = i + 1;
      k1[i] = 1 + static_cast<int32_t>(r.below(1000));
      k2[i] = 1 + static_cast<int32_t>(r.below(50));
      s[i] = texts[r.below(texts.size())].c_str();
      d[i] = first_day + static_cast<double>(r.below(days));
      x[i] = static_cast<double>(r.below(1000000000ULL)) / 1e9;
      const int64_t cents = static_cast<int64_t>(r.below(1050000ULL)) - 50000;
      amt[i] = Numeric{static_cast<uint64_t>(cents), cents < 0 ? int64_t{-1} : int64_t{0}};
    }
    Add(t, "id", Q7_TYPE_INTEGER, 4, id.data());
    Add(t, "k1", Q7_TYPE_INTEGER, 4, k1.data());
    Add(t, "k2", Q7_TYPE_INTEGER, 4, k2.data());
    Add(t, "s", Q7_TYPE_STRING, 8, s.data());
    Add(t, "d", Q7_TYPE_DATE, 8, d.data());
    Add(t, "x", Q7_TYPE_DOUBLE, 8, x.data());
    Add(t, "amt", Q7_TYPE_DECIMAL, 16, amt.data());
    t->FFilters[5]->VL->FUserArea[5] = 6;  // x prints with 9 digits
    // The values are counts of cents: the list is labelled, not rescaled.
    static_cast<TNumericArray*>(t->FFilters[6]->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
    rows_ = rows;
    return table_;
  }

 private:
  static void Add(TRealTable* t, std::string name, int type, int width, void* data) {
    if (t->MppAddFilter2(1024, name.data(), type, t->TotalRecs(), width, data, 0, -1) <= 0) abort();
  }

  std::string dir_;
  int table_ = 0;
  int rows_ = 0;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_ExportCsv(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const int table = Shared().Table(rows);
  CSmpEngine::Instance()->SetWorkerCapForTest(static_cast<int>(state.range(1)));
  const std::string dir = Shared().dir();
  const std::string file = dir + "/fact.csv";
  for (auto _ : state) {
    if (RQ7ExportAsCSV(table, 1, nullptr, -1, -1, '-', dir.c_str(), "fact.csv") != 0) abort();
    state.PauseTiming();
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    std::filesystem::remove(file);
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
  CSmpEngine::Instance()->SetWorkerCapForTest(0);
}
BENCHMARK(BM_ExportCsv)
    ->Args({10000000, 8})
    ->Args({10000000, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
