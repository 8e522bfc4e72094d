// Saving and loading a database of one 10-million-row, seven-column real table (INTEGER, DOUBLE,
// STRING, DATE and DECIMAL columns) through the database file, from and to the page cache: the
// file lives in the system's temporary directory and is read back right after it was written.
//
// Columns: "id" INTEGER (every row distinct), "qty" INTEGER (1,000 values), "price" DOUBLE
// (100,000 values), "ratio" DOUBLE (1,000,000 values), "name" STRING (100,000 texts of 8 to 20
// bytes), "day" DATE (3,650 days), "total" DECIMAL (100,000 values); a few NULLs in each numeric
// column. The file is about 370 MB.
//
// BM_SaveDB is the save as hosts get it: the new file and then its directory are flushed to the
// device before the save returns. BM_SaveDBNoDeviceFlush is the same save without the two flushes,
// to show what the durability costs.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"

namespace {

constexpr int kRows = 10000000;

struct Fixture {
  std::string dir;
  std::unique_ptr<TTableCollection> db;
  std::vector<std::string> texts;

  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7filebenchXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    dir = pattern;
    db = std::make_unique<TTableCollection>();
    char table_name[] = "sales";
    auto* t = static_cast<TRealTable*>(db->GetTable(db->AddRealTable(table_name, kRows)));

    std::mt19937_64 gen(7);
    std::vector<int32_t> ints(kRows);
    for (int i = 0; i < kRows; ++i) ints[i] = i * 3 + 1;
    Add(t, "id", Q7_TYPE_INTEGER, 4, ints.data());
    for (int i = 0; i < kRows; ++i) ints[i] = i % 997 == 0 ? INT32_MIN : static_cast<int32_t>(gen() % 1000);
    Add(t, "qty", Q7_TYPE_INTEGER, 4, ints.data());

    std::vector<double> dbls(kRows);
    for (int i = 0; i < kRows; ++i)
      dbls[i] = i % 991 == 0 ? -HUGE_VAL : static_cast<double>(gen() % 100000) / 100;
    Add(t, "price", Q7_TYPE_DOUBLE, 8, dbls.data());
    for (int i = 0; i < kRows; ++i) dbls[i] = static_cast<double>(gen() % 1000000) / 7;
    Add(t, "ratio", Q7_TYPE_DOUBLE, 8, dbls.data());
    for (int i = 0; i < kRows; ++i)
      dbls[i] = i % 983 == 0 ? -HUGE_VAL : 43000 + static_cast<double>(gen() % 3650);
    Add(t, "day", Q7_TYPE_DATE, 8, dbls.data());

    texts.resize(100000);
    for (size_t k = 0; k < texts.size(); ++k)
      texts[k] = "customer-" + std::to_string(k * 7919) + std::string(k % 9, 'x');
    std::vector<const char*> ptrs(kRows);
    for (int i = 0; i < kRows; ++i) ptrs[i] = texts[gen() % texts.size()].c_str();
    Add(t, "name", Q7_TYPE_STRING, 8, ptrs.data());

    std::vector<Numeric> decs(kRows);
    for (int i = 0; i < kRows; ++i)
      decs[i] = i % 977 == 0 ? Numeric{0, std::numeric_limits<int64_t>::min()} : Numeric{gen() % 100000, 0};
    Add(t, "total", Q7_TYPE_DECIMAL, 16, decs.data());
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void Add(TRealTable* t, const char* name, int type, int width, void* data) {
    std::string n = name;
    if (t->AddFilter2(TRealTable::kAppendPosition, n.data(), type, kRows, width, data, 0, -1) < 0) abort();
  }
  void Save() {
    char d[TTableCollection::kPathSize] = {};
    snprintf(d, sizeof d, "%s", dir.c_str());
    char name[] = "bench";
    db->SaveDB(d, name);
  }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

void BM_SaveDB(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) f.Save();
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(f.dir + "/bench.Q7D")) / 1e6;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_SaveDB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SaveDBNoDeviceFlush(benchmark::State& state) {
  Fixture& f = Shared();
  table_files::ReplacingFile::SetDeviceFlushForBenchmarks(false);
  for (auto _ : state) f.Save();
  table_files::ReplacingFile::SetDeviceFlushForBenchmarks(true);
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(f.dir + "/bench.Q7D")) / 1e6;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_SaveDBNoDeviceFlush)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_LoadDB(benchmark::State& state) {
  Fixture& f = Shared();
  f.Save();
  for (auto _ : state) {
    char d[TTableCollection::kPathSize] = {};
    snprintf(d, sizeof d, "%s", f.dir.c_str());
    char name[] = "bench";
    auto loaded = std::make_unique<TTableCollection>(d, name);
    benchmark::DoNotOptimize(loaded->TableCount());
    state.PauseTiming();
    loaded.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadDB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
