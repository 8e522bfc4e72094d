// A star join: a 10-million-row fact table joined to a 1,000-row dimension table on one INTEGER key
// (every fact row has exactly one partner). Measured: building the join through the exported calls
// (RQ7AddJoinTable on the worker pool, Q7AddJoinTable serially; the join is deleted outside the
// timing), reading its joined-row count as a host does (RQ7GetSetSize), the joined rows per value of
// a dimension column (the join's CountN), and a search on a dimension column through the join (the
// join's SearchByField and MppSearchByField; the result set is deleted outside the timing).
//
// The fact: k INTEGER uniform over 1..1000, amount INTEGER. The dimension: k 1..1000 (shuffled),
// grp INTEGER k % 50 (so a grp value selects 20 dimension rows, 2% of the fact).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "join/TJoinTable.h"
#include "q7api.h"

namespace {

constexpr int kFactRows = 10000000;
constexpr int kDimRows = 1000;
constexpr int kGroups = 50;

TTableCollection* Db() { return CSmpEngine::Instance()->Database(); }

int AddIntColumn(TRealTable* t, const char* name, const std::vector<int>& values) {
  std::string work(name);
  const int id = t->AddFilter2(1024, work.data(), Q7_TYPE_INTEGER, static_cast<int>(values.size()), 4,
                               values.data(), t->FTableID, -1);
  if (id <= 0) std::fprintf(stderr, "AddFilter2(%s) failed: %d\n", name, id);
  return id;
}

struct Star {
  int fact = 0, fact_k = 0;
  int dim = 0, dim_k = 0, dim_grp = 0;
};

const Star& Tables() {
  static const Star star = [] {
    Star s;
    std::mt19937_64 gen(42);
    std::vector<int> k(kFactRows), amount(kFactRows);
    for (int r = 0; r < kFactRows; ++r) {
      k[r] = 1 + static_cast<int>(gen() % kDimRows);
      amount[r] = static_cast<int>(gen() % 100000);
    }
    char fact_name[] = "fact";
    s.fact = Db()->AddRealTable(fact_name, kFactRows);
    auto* fact = static_cast<TRealTable*>(Db()->GetTable(s.fact));
    s.fact_k = AddIntColumn(fact, "k", k);
    AddIntColumn(fact, "amount", amount);

    std::vector<int> dk(kDimRows), grp(kDimRows);
    std::iota(dk.begin(), dk.end(), 1);
    std::shuffle(dk.begin(), dk.end(), gen);
    for (int r = 0; r < kDimRows; ++r) grp[r] = dk[r] % kGroups;
    char dim_name[] = "dim";
    s.dim = Db()->AddRealTable(dim_name, kDimRows);
    auto* dim = static_cast<TRealTable*>(Db()->GetTable(s.dim));
    s.dim_k = AddIntColumn(dim, "k", dk);
    s.dim_grp = AddIntColumn(dim, "grp", grp);
    return s;
  }();
  return star;
}

int Build(bool parallel) {
  const Star& s = Tables();
  const int master_keys[] = {s.fact_k, 0};
  const int slave_keys[] = {s.dim_k, 0};
  return parallel ? RQ7AddJoinTable("star", 0, s.fact, 1, master_keys, s.dim, 1, slave_keys)
                  : Q7AddJoinTable("star", 0, s.fact, 1, master_keys, s.dim, 1, slave_keys);
}

// One join kept for the reading benchmarks; its grp column is join column 2 + 2 (fact: k, amount).
TJoinTable* Join() {
  static TJoinTable* join = [] {
    const int id = Build(true);
    if (id <= 0) std::fprintf(stderr, "RQ7AddJoinTable failed: %d\n", id);
    return static_cast<TJoinTable*>(Db()->GetTable(id));
  }();
  return join;
}
constexpr int kJoinGrpColumn = 4;

void BM_BuildJoin(benchmark::State& state) {
  const bool parallel = state.range(0) != 0;
  Tables();
  int rows = 0;
  for (auto _ : state) {
    const int id = Build(parallel);
    state.PauseTiming();
    if (id <= 0) {
      state.SkipWithError("the join was not built");
      break;
    }
    rows = RQ7GetSetSize(id, 1);
    RQ7DeleteTable(id);
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_CountJoinedRows(benchmark::State& state) {
  const int id = Join()->FTableID;
  int rows = 0;
  for (auto _ : state) benchmark::DoNotOptimize(rows = RQ7GetSetSize(id, 1));
  state.counters["rows"] = rows;
}

void BM_CountPerDimensionValue(benchmark::State& state) {
  TJoinTable* join = Join();
  std::vector<int> counts(kGroups + 16);
  int values = 0;
  for (auto _ : state) benchmark::DoNotOptimize(values = join->CountN(1, kJoinGrpColumn, counts.data()));
  state.counters["values"] = values;
}

void BM_SearchDimensionColumn(benchmark::State& state) {
  const bool parallel = state.range(0) != 0;
  TJoinTable* join = Join();
  int rows = 0;
  for (auto _ : state) {
    int32_t seven = 7;
    char* from = reinterpret_cast<char*>(&seven);
    const int set = parallel ? join->MppSearchByField(kJoinGrpColumn, 1, 0, from, nullptr)
                             : join->SearchByField(kJoinGrpColumn, 1, 0, from, nullptr);
    state.PauseTiming();
    if (set <= 0) {
      state.SkipWithError("the search failed");
      break;
    }
    rows = join->GetSetSize(set);
    join->DelSet(set);
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

BENCHMARK(BM_BuildJoin)->ArgName("mpp")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CountJoinedRows);
BENCHMARK(BM_CountPerDimensionValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchDimensionColumn)
    ->ArgName("mpp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- The join written out as CSV (RQ7ExportAsCSV, every column, every joined row) ----
// Into a fresh directory under $TMPDIR (or /tmp); the file is removed outside the timing.
void BM_ExportJoinCsv(benchmark::State& state) {
  const int id = Join()->FTableID;
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/q7joinbenchXXXXXX";
  if (mkdtemp(dir.data()) == nullptr) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string file = dir + "/star.csv";
  int64_t bytes = 0;
  for (auto _ : state) {
    const int rc = RQ7ExportAsCSV(id, 1, nullptr, -1, -1, '/', dir.c_str(), "star.csv");
    state.PauseTiming();
    if (rc != 0) {
      state.SkipWithError("the export failed");
      break;
    }
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
      std::fseek(f, 0, SEEK_END);
      bytes = std::ftell(f);
      std::fclose(f);
    }
    std::remove(file.c_str());
    state.ResumeTiming();
  }
  rmdir(dir.c_str());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

BENCHMARK(BM_ExportJoinCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// ---- The join as a new real table (RQ7ConvertJoinToReal: every joined row, two columns of each side)
// The serial form: the rows are resolved and the columns gathered on the worker pool, each column's
// list keeping the values its rows use. The new table is deleted outside the timing.
void BM_ConvertJoinToReal(benchmark::State& state) {
  const int id = Join()->FTableID;
  const int columns[] = {1, 2, 3, 4, 0};  // fact k, amount; dimension k, grp
  int rows = 0;
  for (auto _ : state) {
    const int real = RQ7ConvertJoinToReal("realized", id, 1, 0, 0, columns, 0);
    state.PauseTiming();
    if (real <= 0) {
      state.SkipWithError("the join was not converted");
      break;
    }
    rows = RQ7GetSetSize(real, 1);
    RQ7DeleteTable(real);
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

BENCHMARK(BM_ConvertJoinToReal)->Unit(benchmark::kMillisecond)->UseRealTime();
