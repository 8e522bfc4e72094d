// New tables made from a 10-million-row table, each built on the worker pool and serially: the
// duplicate of the whole table, the extract of a half set with four columns, the combine of two
// 5-million-row tables (four pairs, with and without the table-ID and record-number columns) and the
// condense of four filters whose value lists hold as many unused entries as used ones. Each made
// table is deleted, and the condensed filters are restored, outside the timing.
//
// The columns: k1 INTEGER with 1,000 values, x DOUBLE with about a million, s STRING with 10,000
// short strings, n DECIMAL (scale 2) with 100,000, d DATE with 3,000; uniform and independent.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

constexpr int kRows = 10000000;

struct Columns {
  std::vector<int> k1;
  std::vector<double> x;
  std::vector<std::string> words;
  std::vector<const char*> s;
  std::vector<Numeric> n;
  std::vector<double> d;
};

const Columns& Data() {
  static const Columns data = [] {
    Columns c;
    std::mt19937_64 gen(42);
    c.k1.resize(kRows);
    c.x.resize(kRows);
    c.s.resize(kRows);
    c.n.resize(kRows);
    c.d.resize(kRows);
    c.words.resize(10000);
    for (int i = 0; i < 10000; ++i) c.words[i] = "w" + std::to_string(i * 7919 % 10007);
    for (int r = 0; r < kRows; ++r) {
      c.k1[r] = 1 + static_cast<int>(gen() % 1000);
      c.x[r] = static_cast<double>(gen() % 1000000) / 100.0;
      c.s[r] = c.words[gen() % c.words.size()].c_str();
      const int64_t cents = static_cast<int64_t>(gen() % 100000);
      c.n[r] = Numeric{static_cast<uint64_t>(cents), 0};
      c.d[r] = 40000.0 + static_cast<double>(gen() % 3000);
    }
    return c;
  }();
  return data;
}

TTableCollection* Db() { return CSmpEngine::Instance()->Database(); }

struct Table {
  int id = 0;
  TRealTable* table = nullptr;
  int k1 = 0, x = 0, s = 0, n = 0, d = 0;
};

int AddColumn(TRealTable* t, const char* name, int type, int width, int rows, const void* data) {
  std::string work(name);
  const int id = t->AddFilter2(1024, work.data(), type, rows, width, data, t->FTableID, -1);
  if (id <= 0) std::fprintf(stderr, "AddFilter2(%s) failed: %d\n", name, id);
  return id;
}

// A table of `rows` rows from row `first` of the data.
Table MakeTable(const char* name, int first, int rows) {
  const Columns& c = Data();
  Table t;
  std::string work(name);
  t.id = Db()->AddRealTable(work.data(), rows);
  t.table = static_cast<TRealTable*>(Db()->GetTable(t.id));
  t.k1 = AddColumn(t.table, "k1", Q7_TYPE_INTEGER, 4, rows, c.k1.data() + first);
  t.x = AddColumn(t.table, "x", Q7_TYPE_DOUBLE, 8, rows, c.x.data() + first);
  t.s = AddColumn(t.table, "s", Q7_TYPE_STRING, 8, rows, c.s.data() + first);
  t.n = AddColumn(t.table, "n", Q7_TYPE_DECIMAL, 16, rows, c.n.data() + first);
  t.d = AddColumn(t.table, "d", Q7_TYPE_DATE, 8, rows, c.d.data() + first);
  static_cast<TNumericArray*>(t.table->GetFilter(t.n)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
  return t;
}

Table& Fact() {
  static Table fact = MakeTable("fact", 0, kRows);
  return fact;
}

// About half the records, ascending, as a search leaves them.
int HalfSet() {
  static const int set = [] {
    std::mt19937 gen(7);
    std::vector<int> rows;
    rows.reserve(kRows / 2 + kRows / 100);
    for (int r = 1; r <= kRows; ++r) {
      if (gen() & 1) rows.push_back(r);
    }
    return Fact().table->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
  }();
  return set;
}

// Runs make() once per iteration; the table it makes is deleted outside the timing.
template <class Make>
void RunMake(benchmark::State& state, Make make) {
  int rows = 0;
  for (auto _ : state) {
    const int id = make();
    state.PauseTiming();
    if (id <= 0) {
      state.SkipWithError("the table was not made");
      break;
    }
    rows = Db()->GetTable(id)->TotalRecs();
    Db()->DelTable(id);
    state.ResumeTiming();
  }
  state.counters["rows"] = rows;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

void BM_Duplicate(benchmark::State& state) {
  const int source = Fact().id;
  char name[] = "dup";
  if (state.range(0) != 0) {
    RunMake(state, [&] { return Db()->MppDuplicateRealTable(name, source); });
  } else {
    RunMake(state, [&] { return Db()->DuplicateRealTable(name, source); });
  }
}

void BM_ExtractHalfSet(benchmark::State& state) {
  Table& f = Fact();
  const int set = HalfSet();
  int list[] = {f.k1, f.x, f.s, f.n, 0};
  char name[] = "ext";
  if (state.range(0) != 0) {
    RunMake(state, [&] { return Db()->MppExtractRealTable(name, f.id, set, 0, 0, list); });
  } else {
    RunMake(state, [&] { return Db()->ExtractRealTable(name, f.id, set, 0, 0, list); });
  }
}

void BM_Combine(benchmark::State& state) {
  static Table a = MakeTable("a", 0, kRows / 2);
  static Table b = MakeTable("b", kRows / 2, kRows / 2);
  int ids_a[] = {a.k1, a.x, a.s, a.n, 0};
  int ids_b[] = {b.k1, b.x, b.s, b.n, 0};
  const int extra = static_cast<int>(state.range(1));
  char name[] = "comb";
  if (state.range(0) != 0) {
    RunMake(state,
            [&] { return Db()->MppCombineRealTable(name, extra, extra, a.id, 1, ids_a, b.id, 1, ids_b, 0); });
  } else {
    RunMake(state,
            [&] { return Db()->CombineRealTable(name, extra, extra, a.id, 1, ids_a, b.id, 1, ids_b, 0); });
  }
}

// The fact's first four columns with every odd value-list entry left unused (its records moved to
// the entry before), and copies of those arrays to restore them from.
struct Uncondensed {
  Table table;
  std::vector<std::unique_ptr<TIntArray>> numbers;
  std::vector<std::unique_ptr<TBaseArray>> lists;
};

Uncondensed& Cond() {
  static Uncondensed u = [] {
    Uncondensed c;
    c.table = MakeTable("cond", 0, kRows);
    TRealTable* t = c.table.table;
    t->DropFilter(c.table.d);
    for (int i = 0; i < t->FnFilter; ++i) {
      TFilter* f = t->FFilters[i];
      int* pv = f->PV->PIntAr();
      for (int r = 1; r < f->PV->FArraySize; ++r) pv[r] &= ~1;
      c.numbers.emplace_back(static_cast<TIntArray*>(f->PV->CopyArray()));
      c.lists.emplace_back(f->VL->CopyArray());
      memcpy(c.lists.back()->FUserArea, f->VL->FUserArea, sizeof f->VL->FUserArea);
    }
    return c;
  }();
  return u;
}

void Restore(Uncondensed& c) {
  TRealTable* t = c.table.table;
  for (int i = 0; i < t->FnFilter; ++i) {
    TFilter* f = t->FFilters[i];
    memcpy(f->PV->PIntAr(), c.numbers[i]->PIntAr(), sizeof(int) * static_cast<size_t>(f->PV->FArraySize));
    TBaseArray* list = c.lists[i]->CopyArray();
    memcpy(list->FUserArea, c.lists[i]->FUserArea, sizeof list->FUserArea);
    f->ReplaceValueList(list);
  }
}

void BM_Condense(benchmark::State& state) {
  Uncondensed& c = Cond();
  const bool parallel = state.range(0) != 0;
  int before = 0;
  int after = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Restore(c);
    before = c.table.table->FFilters[1]->VL->FArraySize;
    state.ResumeTiming();
    const int rc = parallel ? c.table.table->MppCondenseTable() : c.table.table->CondenseTable();
    if (rc != 0) {
      state.SkipWithError("condense failed");
      break;
    }
    after = c.table.table->FFilters[1]->VL->FArraySize;
  }
  state.counters["x_before"] = before;
  state.counters["x_after"] = after;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

}  // namespace

// Argument 0: 1 the worker-pool form, 0 the serial one.
BENCHMARK(BM_Duplicate)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractHalfSet)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
// Argument 1: 1 with the table-ID and record-number columns.
BENCHMARK(BM_Combine)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Condense)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
