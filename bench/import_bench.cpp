// Importing a CSV file through a catalog, as a host does (the exported catalog functions, all
// workers), from the page cache: the file is written once per process into the system's temporary
// directory and read right after.
//
// The file is the fact table of the side-by-side benchmark (../shared/peer-bench writes the same
// shape): id INTEGER 1..N in order, k1 INTEGER 1..1000, k2 INTEGER 1..50, s STRING (10,000 texts of 3
// to 8 letters), d DATE (yyyy-mm-dd over ten years), x DOUBLE (0.ddddddddd, nearly N distinct), amt
// DECIMAL (two places, -500.00 .. 9999.99). 10 million rows are about 520 MB.
//
// BM_ImportCsv/N imports the N-row file into a new table (deleted, untimed, after each iteration).
// BM_AppendCsv appends a 1-million-row file after the last row of a 1-million-row table (made anew,
// untimed, for each iteration).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace {

struct Rng {  // splitmix64: the same file on every run
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t below(uint64_t n) { return static_cast<uint64_t>((static_cast<__uint128_t>(next()) * n) >> 64); }
};

constexpr char kCatalog[] =
    "//CSV\n//CUTTOP\n"
    "I\t10\tid\nI\t10\tk1\nI\t10\tk2\nA\t8\ts\nD\t10\td\tD2\nF\t20\tx\nN\t20\tamt\t2\tROUNDHALFUP\n";

class Files {
 public:
  Files() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7importbenchXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    dir_ = pattern;
    Write(dir_ + "/fact.cat", kCatalog);
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& dir() const { return dir_; }

  // The name of the rows-row file, written on first use.
  std::string Csv(int rows) {
    auto found = written_.find(rows);
    if (found != written_.end()) return found->second;
    const std::string name = "fact" + std::to_string(rows) + ".csv";
    WriteFact(dir_ + "/" + name, rows);
    return written_[rows] = name;
  }

 private:
  static void Write(const std::string& path, const char* text) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr || std::fputs(text, f) < 0 || std::fclose(f) != 0) abort();
  }

  static void WriteFact(const std::string& path, int rows) {
    Rng meta{20240601};
    std::vector<std::string> texts;
    std::unordered_set<std::string> seen;
    while (texts.size() < 10000) {
      std::string s(3 + meta.below(6), 'a');
      for (char& c : s) c = static_cast<char>('a' + meta.below(26));
      if (seen.insert(s).second) texts.push_back(s);
    }
    std::vector<std::string> dates;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int y = 2015; y <= 2024; ++y)
      for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= kDays[m - 1] + (m == 2 && y % 4 == 0 ? 1 : 0); ++d) {
          char buf[32];
          std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
          dates.emplace_back(buf);
        }
    FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) abort();
    std::fputs("id,k1,k2,s,d,x,amt\n", f);
    Rng r{20240601 ^ 0xA5A5A5A5DEADBEEFULL};
    for (int id = 1; id <= rows; ++id) {
      const unsigned k1 = 1 + static_cast<unsigned>(r.below(1000));
      const unsigned k2 = 1 + static_cast<unsigned>(r.below(50));
      const std::string& s = texts[r.below(texts.size())];
      const std::string& d = dates[r.below(dates.size())];
      const unsigned x = static_cast<unsigned>(r.below(1000000000ULL));
      const long cents = static_cast<long>(r.below(1050000ULL)) - 50000;
      std::fprintf(f, "%d,%u,%u,%s,%s,0.%09u,%s%ld.%02ld\n", id, k1, k2, s.c_str(), d.c_str(), x,
                   cents < 0 ? "-" : "", labs(cents) / 100, labs(cents) % 100);
    }
    if (std::fclose(f) != 0) abort();
  }

  std::string dir_;
  std::map<int, std::string> written_;
};

Files& Shared() {
  static Files files;
  return files;
}

int Import(const std::string& csv, const char* table_name) {
  std::string dir = Shared().dir();
  std::string catalog = "fact.cat";
  std::string source = csv;
  std::string name = table_name;
  const int table = RQ7AddCatalogFileEx2(dir.data(), catalog.data(), dir.data(), source.data(), name.data());
  if (table < 0) {
    std::fprintf(stderr, "import of %s failed: 0x%08X\n", csv.c_str(), static_cast<unsigned>(table));
    abort();
  }
  return table;
}

void BM_ImportCsv(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string csv = Shared().Csv(rows);
  for (auto _ : state) {
    const int table = Import(csv, "fact");
    state.PauseTiming();
    if (RQ7GetTotalRows(table) != rows) abort();
    RQ7DeleteTable(table);
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(Shared().dir() + "/" + csv)) / 1e6;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_ImportCsv)
    ->Arg(1000000)
    ->Arg(10000000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_AppendCsv(benchmark::State& state) {
  constexpr int kRows = 1000000;
  const std::string csv = Shared().Csv(kRows);
  std::string dir = Shared().dir();
  std::string catalog = "fact.cat";
  std::string source = csv;
  for (auto _ : state) {
    state.PauseTiming();
    const int table = Import(csv, "target");
    state.ResumeTiming();
    const int appended =
        RQ7AppendCatalogFileEx2(table, -1, -1, dir.data(), catalog.data(), dir.data(), source.data());
    state.PauseTiming();
    if (appended < 0 || RQ7GetTotalRows(table) != 2 * kRows) abort();
    RQ7DeleteTable(table);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_AppendCsv)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
