// Loading columns of a 10-million-row real table from host memory (AddFilter2: the compile straight
// from the host's block with its implicit NULL element 0, and the filter's arrays), as a host's column
// upload runs it: one INTEGER column of 1,000 distinct values, then the seven columns of the fact
// table (id, k1 1..1000, k2 1..50, s 10,000 short strings, d dates, x doubles with 9 decimals, amt
// decimal with 2 places), whole and one column at a time. Filters are dropped outside the timing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "values/Numeric.h"

namespace {

constexpr int kRows = 10000000;

void BM_AddFilter2Integer1000Distinct(benchmark::State& state) {
  static const std::vector<int32_t> col = [] {
    std::mt19937 gen(1);
    std::vector<int32_t> v(kRows);
    for (auto& x : v) x = static_cast<int32_t>(gen() % 1000) * 37 - 5000;
    v[7] = std::numeric_limits<int32_t>::min();
    return v;
  }();
  TTableCollection db;
  char table_name[] = "bench";
  auto* table = static_cast<TRealTable*>(db.GetTable(db.AddRealTable(table_name, kRows)));
  for (auto _ : state) {
    char name[] = "v";
    const int id = table->AddFilter2(TRealTable::kAppendPosition, name, 2, kRows, 4,
                                     const_cast<int32_t*>(col.data()), table->FTableID, -1);
    state.PauseTiming();
    if (id < 0) state.SkipWithError("AddFilter2 failed");
    table->DropFilter(id);
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_AddFilter2Integer1000Distinct)->Unit(benchmark::kMillisecond)->UseRealTime();

// The fact table's columns, made once.
struct FactColumns {
  std::vector<int32_t> id, k1, k2;
  std::vector<std::string> texts;
  std::vector<const char*> s;
  std::vector<double> d, x;
  std::vector<Numeric> amt;

  FactColumns() : id(kRows), k1(kRows), k2(kRows), s(kRows), d(kRows), x(kRows), amt(kRows) {
    std::mt19937_64 gen(20240601);
    auto below = [&gen](uint64_t n) {
      return static_cast<uint64_t>((static_cast<unsigned __int128>(gen()) * n) >> 64);
    };
    while (texts.size() < 10000) {
      std::string t(3 + below(6), 'a');
      for (char& c : t) c = static_cast<char>('a' + below(26));
      texts.push_back(t);  // a repeat only makes one value fewer
    }
    for (int i = 0; i < kRows; ++i) {
      id[i] = i + 1;
      k1[i] = 1 + static_cast<int32_t>(below(1000));
      k2[i] = 1 + static_cast<int32_t>(below(50));
      s[i] = texts[below(texts.size())].c_str();
      d[i] = 42005 + static_cast<double>(below(3653));  // 2015-01-01 .. 2024-12-31 as day numbers
      x[i] = static_cast<double>(below(1000000000)) / 1e9;
      const int64_t cents = static_cast<int64_t>(below(1050000)) - 50000;
      amt[i] = Numeric{static_cast<uint64_t>(cents), cents < 0 ? -1 : 0};
    }
  }

  struct Column {
    const char* name;
    int type;
    int width;
    void* data;
  };
  std::vector<Column> Columns() {
    return {{"id", 2, 4, id.data()},   {"k1", 2, 4, k1.data()}, {"k2", 2, 4, k2.data()},
            {"s", 6, 8, s.data()},     {"d", 4, 8, d.data()},   {"x", 3, 8, x.data()},
            {"amt", 8, 16, amt.data()}};
  }
};

FactColumns& Fact() {
  static FactColumns f;
  return f;
}

// The columns of `which` (-1: all seven) loaded into one table per iteration.
void LoadFact(benchmark::State& state, int which) {
  std::vector<FactColumns::Column> columns = Fact().Columns();
  if (which >= 0) columns = {columns[static_cast<size_t>(which)]};
  TTableCollection db;
  char table_name[] = "fact";
  auto* table = static_cast<TRealTable*>(db.GetTable(db.AddRealTable(table_name, kRows)));
  std::vector<int> ids;
  for (auto _ : state) {
    ids.clear();
    for (const auto& c : columns) {
      std::string name = c.name;
      ids.push_back(table->AddFilter2(TRealTable::kAppendPosition, name.data(), c.type, kRows, c.width,
                                      c.data, table->FTableID, -1));
    }
    state.PauseTiming();
    for (int id : ids) {
      if (id < 0) state.SkipWithError("AddFilter2 failed");
      table->DropFilter(id);
    }
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_LoadFactTable(benchmark::State& state) { LoadFact(state, -1); }
BENCHMARK(BM_LoadFactTable)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_LoadFactColumn(benchmark::State& state) {
  state.SetLabel(Fact().Columns()[static_cast<size_t>(state.range(0))].name);
  LoadFact(state, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_LoadFactColumn)
    ->DenseRange(0, 6)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
