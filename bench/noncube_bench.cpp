// Non-cube summaries through the exported RQ7NonCubeSum: the peer benchmark's group-by of a
// 10-million-row fact table over two INTEGER keys (k1 1..1000, k2 1..50: about 50,000 groups) with
// SUM and AVERAGE of a DOUBLE column (x uniform in [0, 1) with 9 digits, so nearly every value
// distinct), once with the engine the method chooser picks and once forced onto the sort-based
// driver (method 4). The output table is deleted outside the timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "q7api.h"
#include "summary/SummaryMethod.h"

namespace {

constexpr int kRows = 10000000;

TTableCollection* Db() { return CSmpEngine::Instance()->Database(); }

struct Fact {
  int table = 0;
  int keys[2] = {};
  int x = 0;
};

const Fact& Source() {
  static const Fact fact = [] {
    Fact f;
    std::mt19937_64 gen(11);
    std::vector<int> k1(kRows), k2(kRows);
    std::vector<double> x(kRows);
    for (int r = 0; r < kRows; ++r) {
      k1[r] = 1 + static_cast<int>(gen() % 1000);
      k2[r] = 1 + static_cast<int>(gen() % 50);
      x[r] = static_cast<double>(gen() % 1000000000ULL) / 1e9;
    }
    char name[] = "fact";
    f.table = Db()->AddRealTable(name, kRows);
    auto* t = static_cast<TRealTable*>(Db()->GetTable(f.table));
    std::string n1 = "k1", n2 = "k2", nx = "x";
    f.keys[0] = t->AddFilter2(1024, n1.data(), Q7_TYPE_INTEGER, kRows, 4, k1.data(), f.table, -1);
    f.keys[1] = t->AddFilter2(1024, n2.data(), Q7_TYPE_INTEGER, kRows, 4, k2.data(), f.table, -1);
    f.x = t->AddFilter2(1024, nx.data(), Q7_TYPE_DOUBLE, kRows, 8, x.data(), f.table, -1);
    if (f.keys[0] <= 0 || f.keys[1] <= 0 || f.x <= 0) std::fprintf(stderr, "column set-up failed\n");
    return f;
  }();
  return fact;
}

// state.range(0): -1 the chooser's engine, 4 the sort-based driver; state.range(1): the mask
// (24 SUM and AVERAGE, 31 also COUNT, MAX and MIN as the peers compute them).
void BM_NonCubeGroupBy(benchmark::State& state) {
  const Fact& f = Source();
  const int mask = static_cast<int>(state.range(1));
  const int decimals = -1;
  SetForcedSumMethod(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const int out = RQ7NonCubeSum(f.table, 1, 2, f.keys, 1, &f.x, &mask, &decimals);
    state.PauseTiming();
    if (out <= 0) {
      state.SkipWithError("non-cube summary failed");
    } else {
      if (RQ7GetTotalRows(out) < 49000) state.SkipWithError("too few groups");
      RQ7DeleteTable(out);
    }
    state.ResumeTiming();
  }
  SetForcedSumMethod(-1);
}

}  // namespace

BENCHMARK(BM_NonCubeGroupBy)
    ->ArgNames({"method", "mask"})
    ->Args({-1, 24})
    ->Args({4, 24})
    ->Args({-1, 31})
    ->Args({4, 31})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- The peer benchmark's star join grouped by a column of the dimension table ----
// The fact (10 million rows: k uniform over 1..1000, amount INTEGER, price DOUBLE with 9 digits)
// joined on k to the dimension table (k 1..1000 shuffled, grp = k % 50), as in join_bench.cpp;
// RQ7NonCubeSum over the join's set 1 by grp: the joined rows per group (state.range(0) 0), SUM of
// the fact's amount (1), or SUM of its price (2), whose sums must follow the rows of each key in
// their order. The join's own rows are never formed.
namespace {

constexpr int kStarFactRows = 10000000;
constexpr int kStarDimRows = 1000;
constexpr int kStarGroups = 50;

struct Star {
  int join = 0;
  int amount = 0;  // join column IDs
  int price = 0;
  int grp = 0;
};

const Star& StarJoin() {
  static const Star star = [] {
    Star s;
    std::mt19937_64 gen(42);
    std::vector<int> k(kStarFactRows), amount(kStarFactRows);
    for (int r = 0; r < kStarFactRows; ++r) {
      k[r] = 1 + static_cast<int>(gen() % kStarDimRows);
      amount[r] = static_cast<int>(gen() % 100000);
    }
    std::vector<double> price(kStarFactRows);
    std::mt19937_64 price_gen(43);
    for (double& p : price) p = static_cast<double>(price_gen() % 1000000000ULL) / 1e9;
    std::vector<int> dk(kStarDimRows), grp(kStarDimRows);
    for (int r = 0; r < kStarDimRows; ++r) dk[r] = r + 1;
    std::shuffle(dk.begin(), dk.end(), gen);
    for (int r = 0; r < kStarDimRows; ++r) grp[r] = dk[r] % kStarGroups;
    char fact_name[] = "star_fact";
    char dim_name[] = "star_dim";
    const int fact = Db()->AddRealTable(fact_name, kStarFactRows);
    const int dim = Db()->AddRealTable(dim_name, kStarDimRows);
    auto* f = static_cast<TRealTable*>(Db()->GetTable(fact));
    auto* d = static_cast<TRealTable*>(Db()->GetTable(dim));
    char nk[] = "k", na[] = "amount", np[] = "price", ng[] = "grp", ndk[] = "k";
    const int fk = f->AddFilter2(1024, nk, Q7_TYPE_INTEGER, kStarFactRows, 4, k.data(), fact, -1);
    f->AddFilter2(1024, na, Q7_TYPE_INTEGER, kStarFactRows, 4, amount.data(), fact, -1);
    f->AddFilter2(1024, np, Q7_TYPE_DOUBLE, kStarFactRows, 8, price.data(), fact, -1);
    const int dkid = d->AddFilter2(1024, ndk, Q7_TYPE_INTEGER, kStarDimRows, 4, dk.data(), dim, -1);
    d->AddFilter2(1024, ng, Q7_TYPE_INTEGER, kStarDimRows, 4, grp.data(), dim, -1);
    const int master_keys[] = {fk, 0};
    const int slave_keys[] = {dkid, 0};
    s.join = RQ7AddJoinTable("star", 0, fact, 1, master_keys, dim, 1, slave_keys);
    if (s.join <= 0) std::fprintf(stderr, "RQ7AddJoinTable failed: %d\n", s.join);
    auto* join = static_cast<TJoinTableBase*>(Db()->GetTable(s.join));
    s.amount = join->GetJoinFilterIDFromName(na);
    s.price = join->GetJoinFilterIDFromName(np);
    s.grp = join->GetJoinFilterIDFromName(ng);
    if (s.amount <= 0 || s.price <= 0 || s.grp <= 0) std::fprintf(stderr, "join column look-up failed\n");
    return s;
  }();
  return star;
}

void BM_NonCubeJoinGroupBy(benchmark::State& state) {
  const Star& s = StarJoin();
  const int n_measures = state.range(0) != 0 ? 1 : 0;
  const int* measure = state.range(0) == 2 ? &s.price : &s.amount;
  const int mask = 8;
  const int decimals = -1;
  for (auto _ : state) {
    const int out = RQ7NonCubeSum(s.join, 1, 1, &s.grp, n_measures, measure, &mask, &decimals);
    state.PauseTiming();
    if (out <= 0) {
      state.SkipWithError("non-cube summary failed");
    } else {
      if (RQ7GetTotalRows(out) != kStarGroups) state.SkipWithError("wrong group count");
      RQ7DeleteTable(out);
    }
    state.ResumeTiming();
  }
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}

}  // namespace

BENCHMARK(BM_NonCubeJoinGroupBy)
    ->ArgName("sum")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
