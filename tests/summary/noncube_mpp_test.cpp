// The parallel non-cube summary of real tables: the table a brute-force group-by computes from the
// source rows, for 1 to 5 dimensions of every kind and every measure mask; the same table as the
// serial road and the other summary engines; rounded sums past the 64-bit integers on every road;
// the request refusals, and what a run leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/mpp_func_map.h"
#include "foundation/mpp_tasks.h"
#include "summary/SummaryMethod.h"
#include "summary/noncube/FastCubeSum.h"
#include "summary/noncube/FastNonCubeSum.h"
#include "summary/noncube/MppCubeSum.h"
#include "summary/noncube/TNonCubeSum.h"
#include "tests/summary/noncube_mpp_support.h"
#include "tests/support/rounded_sum_cases.h"
#include "tests/support/test_support.h"

namespace {

using noncube_test::GroupBy;
using noncube_test::Measure;
using noncube_test::NonCubeMppTest;
using noncube_test::ReadTable;
using noncube_test::TableTexts;

// A STRING measure takes COUNT, MAX and MIN only.
int TextMask(int mask) { return (mask & 7) != 0 ? mask & 7 : 1; }

TEST_F(NonCubeMppTest, EveryMaskGivesTheGroupByOfTheSet) {
  const int t = Load(1500);
  std::vector<int> third;
  const int set = EveryNth(t, 2, 3, &third);
  const std::vector<int> all = AllRecords(Table(t));
  for (int mask = 1; mask <= 31; ++mask) {
    const std::vector<Measure> measures = {{qty_, mask},   {price_, mask},  {ship_, mask},
                                           {stamp_, mask}, {amount_, mask}, {name_, TextMask(mask)}};
    for (const auto& [set_id, records] : {std::pair{1, all}, std::pair{set, third}}) {
      SCOPED_TRACE("mask " + std::to_string(mask) + " set " + std::to_string(set_id));
      const int out = RunMpp(t, set_id, {region_, year_}, measures);
      ASSERT_GT(out, 0);
      const TableTexts got = ReadTable(Table(out));
      const TableTexts want = GroupBy(Table(t), records, {region_, year_}, measures);
      EXPECT_EQ(got.header, want.header);
      EXPECT_EQ(got.rows, want.rows);
    }
  }
}

TEST_F(NonCubeMppTest, DimensionsOfEveryKindGroupInValueOrder) {
  const int t = Load(2000);
  const std::vector<int> all = AllRecords(Table(t));
  const std::vector<std::vector<int>> dim_lists = {
      {grade_},
      {at_, region_},
      {day_, grade_, year_},
      {region_, rate_, at_, day_},
      {year_, rate_, day_, at_, region_},
      {grade_, region_, day_, rate_, year_},
  };
  const std::vector<Measure> measures = {{qty_, 31}, {price_, 31}, {amount_, 31}, {label_, 7}, {name_, 7}};
  for (const auto& dims : dim_lists) {
    SCOPED_TRACE(std::to_string(dims.size()) + " dimensions, first " + std::to_string(dims[0]));
    const int out = RunMpp(t, 1, dims, measures);
    ASSERT_GT(out, 0);
    const TableTexts got = ReadTable(Table(out));
    const TableTexts want = GroupBy(Table(t), all, dims, measures);
    EXPECT_EQ(got.header, want.header);
    EXPECT_EQ(got.rows, want.rows);
  }
}

TEST_F(NonCubeMppTest, DecimalsRoundEachDoubleValueBeforeTheSum) {
  const int t = NewTable("rounding", 4);
  const std::vector<int> key = {1, 1, 2, 2};
  const std::vector<double> value = {0.25, 0.25, -1.25, 2.0};
  const int k = Add(t, "k", Q7_TYPE_INTEGER, 4, key.data());
  const int v = Add(t, "v", Q7_TYPE_DOUBLE, 8, value.data());
  struct Case {
    int decimals;
    std::vector<std::vector<std::string>> rows;
  };
  const Case cases[] = {
      {1, {{"1", "0.6", "0.3"}, {"2", "0.8", "0.4"}}},  // each 0.25 is 0.3; -1.25 is -1.2 (half up)
      {-1, {{"1", "0.5", "0.25"}, {"2", "0.75", "0.375"}}},
      {0, {{"1", "0", "0"}, {"2", "1", "0.5"}}},  // -1.25 keeps -1: the fraction rounds to 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decimals);
    const int out = RunMpp(t, 1, {k}, {{v, 24, c.decimals}});
    ASSERT_GT(out, 0);
    EXPECT_EQ(ReadTable(Table(out)).rows, c.rows);
    // The serial road gives the same values.
    const int decimals[] = {c.decimals};
    const int masks[] = {24};
    TNonCubeSum serial(t, 1, 1, &k, 1, &v, masks, decimals);
    ASSERT_GT(serial.Result(), 0);
    tables_.push_back(serial.Result());
    EXPECT_EQ(ReadTable(Table(serial.Result())).rows, c.rows);
  }
}

// The serial road, the parallel road and the four other summary engines give one table, text
// measures with and without empty texts (NULLs) included.
TEST_F(NonCubeMppTest, EveryRoadAndEngineGivesOneTable) {
  const int t = Load(1200);
  const std::vector<int> dims = {region_, day_, year_};
  const std::vector<Measure> measures = {{qty_, 31}, {price_, 31}, {ship_, 6}, {amount_, 31}, {label_, 7}};
  std::vector<int> ids, masks;
  for (const Measure& m : measures) {
    ids.push_back(m.id);
    masks.push_back(m.mask);
  }
  const std::vector<int> decimals(measures.size(), -1);
  const int nd = static_cast<int>(dims.size());
  const int nm = static_cast<int>(ids.size());
  const TableTexts want = GroupBy(Table(t), AllRecords(Table(t)), dims, measures);

  const int mpp = RunMpp(t, 1, dims, measures);
  ASSERT_GT(mpp, 0);
  EXPECT_EQ(ReadTable(Table(mpp)).rows, want.rows);
  TNonCubeSum serial(t, 1, nd, dims.data(), nm, ids.data(), masks.data(), decimals.data());
  ASSERT_GT(serial.Result(), 0);
  tables_.push_back(serial.Result());
  const TableTexts serial_table = ReadTable(Table(serial.Result()));
  EXPECT_EQ(serial_table.header, want.header);
  EXPECT_EQ(serial_table.rows, want.rows);
  // The counting-sort variant, which the driver never chooses.
  const int counting = RunCounting(t, 1, dims, measures);
  ASSERT_GT(counting, 0);
  const TableTexts counting_table = ReadTable(Table(counting));
  EXPECT_EQ(counting_table.header, want.header);
  EXPECT_EQ(counting_table.rows, want.rows);

  struct Engine {
    const char* name;
    int (*run)(int, int, int, const int*, int, const int*, const int*, const int*);
  };
  const Engine engines[] = {
      {"dense cubes", MppCubeSum},
      {"packed addresses", MppFastCubeSum},
      {"sorted addresses, measures carried",
       [](int a, int b, int c, const int* d, int e, const int* f, const int* g, const int* h) {
         return MppFastNonCubeSum(a, b, c, d, e, f, g, h, 1);
       }},
      {"sorted addresses, rows carried",
       [](int a, int b, int c, const int* d, int e, const int* f, const int* g, const int* h) {
         return MppFastNonCubeSum(a, b, c, d, e, f, g, h, 0);
       }},
  };
  for (const Engine& e : engines) {
    SCOPED_TRACE(e.name);
    const int out = e.run(t, 1, nd, dims.data(), nm, ids.data(), masks.data(), nullptr);
    ASSERT_GT(out, 0);
    tables_.push_back(out);
    const TableTexts got = ReadTable(Table(out));
    EXPECT_EQ(got.header, want.header);
    EXPECT_EQ(got.rows, want.rows);
  }
}

TEST_F(NonCubeMppTest, EdgeShapes) {
  const int t = Load(60);
  const int empty = Table(t)->AddSetWithoutCopy(new TSetArray(0, 0));
  ASSERT_GT(empty, 1);
  struct Case {
    const char* what;
    int set;
    std::vector<int> dims;
    std::vector<Measure> measures;
    std::vector<std::string> header;
  };
  const Case cases[] = {
      {"no measures: N", 1, {year_}, {}, {"year:2/0", "N:2/0"}},
      {"no dimensions: one row", 1, {}, {{qty_, 9}}, {"N<qty>:2/0", "SUM<qty>:3/0"}},
      {"no dimensions, no measures", 1, {}, {}, {"N:2/0"}},
      {"empty set",
       empty,
       {year_, region_},
       {{qty_, 31}},
       {"year:2/0", "region:6/0", "N<qty>:2/0", "MAX<qty>:2/0", "MIN<qty>:2/0", "SUM<qty>:3/0",
        "AVG<qty>:3/0"}},
      {"empty set, no measures", empty, {region_}, {}, {"region:6/0", "N:2/0"}},
      {"AVERAGE alone", 1, {year_}, {{price_, 16}}, {"year:2/0", "AVG<price>:3/0"}},
      {"two COUNTs, each after its measure's columns",
       1,
       {year_},
       {{qty_, 3}, {amount_, 9}},
       {"year:2/0", "N<qty>:2/0", "MAX<qty>:2/0", "N<amount>:2/0", "SUM<amount>:8/2"}},
      {"a date measure keeps its kind",
       1,
       {year_},
       {{ship_, 30}},
       {"year:2/0", "MAX<ship>:4/0", "MIN<ship>:4/0", "SUM<ship>:3/0", "AVG<ship>:3/0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = Table(t)->GetCurrentSetID();
    const int out = RunMpp(t, c.set, c.dims, c.measures);
    ASSERT_GT(out, 0);
    const TableTexts got = ReadTable(Table(out));
    EXPECT_EQ(got.header, c.header);
    const std::vector<int> records = c.set == 1 ? AllRecords(Table(t)) : std::vector<int>{};
    EXPECT_EQ(got.rows, GroupBy(Table(t), records, c.dims, c.measures).rows);
    // The temporary set of representative rows is gone, and the current set is the one before.
    EXPECT_EQ(Table(t)->GetCurrentSetID(), before);
    EXPECT_EQ(Table(t)->FnSet, 2);
    // The parallel road writes no summary attribute blocks.
    for (int col = 0; col < Table(out)->FnFilter; ++col) {
      EXPECT_EQ(Table(out)->FFilters[col]->PV->FUserArea[1], 0) << col;
    }
  }
}

TEST_F(NonCubeMppTest, OutputNameIsMadeUnique) {
  const int t = Load(30);
  const int first = RunMpp(t, 1, {year_}, {});
  const int second = RunMpp(t, 1, {year_}, {});
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_STREQ(Table(first)->FTableName, "XTBL_sales");
  EXPECT_STREQ(Table(second)->FTableName, "XTBL_sales_#1");
}

TEST_F(NonCubeMppTest, RefusedRequestsCreateNothing) {
  const int t = Load(40);
  const std::vector<int> many(33, year_);
  const std::vector<int> ones(33, 1);
  const std::vector<int> none(33, -1);
  struct Case {
    const char* what;
    int table, set;
    std::vector<int> dims;
    int n_dims;
    std::vector<int> measures, masks, decimals;
    int n_measures;
    int code;
  };
  const Case cases[] = {
      {"33 dimensions", t, 1, many, 33, {}, {}, {}, 0, Q7_ERROR_OUT_OF_RANGE},
      {"negative dimension count", t, 1, {}, -1, {}, {}, {}, 0, Q7_ERROR_OUT_OF_RANGE},
      {"33 measures", t, 1, {year_}, 1, many, ones, none, 33, Q7_ERROR_OUT_OF_RANGE},
      {"negative measure count", t, 1, {year_}, 1, {}, {}, {}, -1, Q7_ERROR_OUT_OF_RANGE},
      {"no such table", t + 1000, 1, {year_}, 1, {}, {}, {}, 0, Q7_ERROR_NO_SUCH_TABLE},
      {"no such set", t, 77, {year_}, 1, {}, {}, {}, 0, Q7_ERROR_NO_SUCH_SET},
      {"no such dimension", t, 1, {999}, 1, {}, {}, {}, 0, Q7_ERROR_NO_SUCH_FILTER},
      {"no such measure", t, 1, {year_}, 1, {999}, {1}, {-1}, 1, Q7_ERROR_NO_SUCH_FILTER},
      {"mask 0", t, 1, {year_}, 1, {qty_}, {0}, {-1}, 1, Q7_ERROR_INVALID_PARAMETER},
      {"mask 32", t, 1, {year_}, 1, {price_}, {32}, {-1}, 1, Q7_ERROR_INVALID_PARAMETER},
      {"bit 32 beside COUNT", t, 1, {year_}, 1, {amount_}, {33}, {-1}, 1, Q7_ERROR_INVALID_PARAMETER},
      {"mask 0 on a date", t, 1, {year_}, 1, {ship_}, {0}, {2}, 1, Q7_ERROR_INVALID_PARAMETER},
      {"SUM of a text", t, 1, {year_}, 1, {name_}, {8}, {-1}, 1, Q7_ERROR_INVALID_PARAMETER},
      {"AVERAGE of a text", t, 1, {year_}, 1, {name_}, {17}, {-1}, 1, Q7_ERROR_INVALID_PARAMETER},
      {"decimals 11", t, 1, {year_}, 1, {price_}, {8}, {11}, 1, Q7_ERROR_OUT_OF_RANGE},
      {"decimals 11 on an integer", t, 1, {year_}, 1, {qty_}, {8}, {11}, 1, Q7_ERROR_OUT_OF_RANGE},
      {"null dimension list", t, 1, {}, 1, {}, {}, {}, 0, Q7_ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int tables = db_->TableCount();
    TNonCubeSum summary;
    const int thrown = q7test::CodeOf([&] {
      summary.MppRun(c.table, c.set, c.n_dims, c.dims.empty() ? nullptr : c.dims.data(), c.n_measures,
                     c.measures.data(), c.masks.data(), c.decimals.data());
    });
    EXPECT_EQ(thrown, c.code);
    EXPECT_EQ(summary.Result(), c.code);
    EXPECT_EQ(db_->TableCount(), tables);
    EXPECT_EQ(Table(t)->FnSet, 1);
  }
}

TEST_F(NonCubeMppTest, AcceptedLimits) {
  const int t = Load(40);
  const std::vector<int> all = AllRecords(Table(t));
  // 32 dimensions, decimals 10 and -5, and decimals of text and decimal measures are not read.
  const std::vector<int> dims(32, region_);
  EXPECT_GT(RunMpp(t, 1, dims, {{qty_, 1}}), 0);
  struct Case {
    const char* what;
    Measure measure;
  };
  const Case cases[] = {
      {"decimals 10", {price_, 8, 10}},         {"decimals -5: none", {price_, 8, -5}},
      {"text decimals unread", {name_, 7, 99}}, {"decimal decimals unread", {amount_, 24, -99}},
      {"AVERAGE alone", {price_, 16, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int out = RunMpp(t, 1, {year_}, {c.measure});
    ASSERT_GT(out, 0);
    Measure unrounded = c.measure;
    unrounded.decimals = -1;
    EXPECT_EQ(ReadTable(Table(out)).rows, GroupBy(Table(t), all, {year_}, {unrounded}).rows);
  }
  // 32 measures, every one asking for everything.
  const std::vector<Measure> measures(32, Measure{qty_, 31});
  const int out = RunMpp(t, 1, {year_}, measures);
  ASSERT_GT(out, 0);
  EXPECT_EQ(Table(out)->FnFilter, 1 + 32 * 5);
}

TEST_F(NonCubeMppTest, PendingValuesAreSummed) {
  const int t = Load(300);
  int big = 999;  // a new value written alone waits in the column's pending list
  ASSERT_EQ(Table(t)->OverWriteEx(1, qty_, 7, 1, &big), 1);
  ASSERT_LT(Table(t)->GetFilter(qty_)->PV->PIntAr()[7], 0);
  const int out = RunMpp(t, 1, {}, {{qty_, 2}});
  ASSERT_GT(out, 0);
  EXPECT_EQ(ReadTable(Table(out)).rows, std::vector<std::vector<std::string>>{{"999"}});
  ASSERT_EQ(Table(t)->OverWriteEx(1, qty_, 9, 1, &++big), 1);
  const int counting = RunCounting(t, 1, {}, {{qty_, 2}});
  ASSERT_GT(counting, 0);
  EXPECT_EQ(ReadTable(Table(counting)).rows, std::vector<std::vector<std::string>>{{"1000"}});
}

TEST_F(NonCubeMppTest, AFullCollectionLeavesNoTemporarySet) {
  const int t = Load(50);
  std::vector<int> third;
  const int set = EveryNth(t, 1, 3, &third);
  ASSERT_EQ(Table(t)->SetCurrentSetID(set) >= 0, true);
  std::vector<int> fillers;
  while (!db_->Full()) {
    std::string name = "filler" + std::to_string(fillers.size());
    const int id = db_->AddRealTable(name.data(), 0);
    ASSERT_GT(id, 0);
    fillers.push_back(id);
  }
  const int sets = Table(t)->FnSet;
  const int code = RunMpp(t, 1, {year_}, {{qty_, 31}});
  for (int id : fillers) db_->DelTable(id);
  EXPECT_EQ(code, Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(Table(t)->FnSet, sets);
  EXPECT_EQ(Table(t)->GetCurrentSetID(), set);
}

// The counting-sort variant gives the table of the parallel road for every shape: no measures, no
// dimensions, an empty set, a subset, each mask, measures of every type; it leaves no set behind
// and keeps the current set.
TEST_F(NonCubeMppTest, CountingSortVariantGivesTheParallelRoadsTable) {
  EXPECT_EQ(mpp_func_map[kMppTaskSummaryUnique].func, &TNonCubeSum::mpp_summary_unique);
  EXPECT_EQ(mpp_func_map[kMppTaskSummaryMeasure].func, &TNonCubeSum::mpp_summary_measure);
  const int t = Load(900);
  std::vector<int> third;
  const int subset = EveryNth(t, 2, 3, &third);
  const int empty = Table(t)->AddSetWithoutCopy(new TSetArray(0, 0));
  ASSERT_GT(empty, subset);
  struct Case {
    const char* what;
    std::vector<int> dims;
    std::vector<Measure> measures;
  };
  const Case cases[] = {
      {"no measures", {region_, year_}, {}},
      {"no dimensions", {}, {{qty_, 31}, {amount_, 24}}},
      {"no dimensions, no measures", {}, {}},
      {"every type, everything",
       {day_, grade_, region_},
       {{qty_, 31}, {price_, 31, 2}, {ship_, 30}, {stamp_, 7}, {amount_, 31}, {name_, 7}, {label_, 6}}},
      {"AVERAGE alone and two COUNTs", {rate_}, {{price_, 16}, {qty_, 1}, {amount_, 17}}},
      {"rounded and unrounded sums side by side", {at_}, {{price_, 24, 1}, {price_, 24, -1}, {price_, 8, 0}}},
  };
  Table(t)->SetCurrentSetID(subset);
  for (const Case& c : cases) {
    for (int set : {1, subset, empty}) {
      SCOPED_TRACE(std::string(c.what) + ", set " + std::to_string(set));
      const int sets = Table(t)->FnSet;
      const int counting = RunCounting(t, set, c.dims, c.measures);
      ASSERT_GT(counting, 0);
      EXPECT_EQ(Table(t)->FnSet, sets);
      EXPECT_EQ(Table(t)->GetCurrentSetID(), subset);
      const int mpp = RunMpp(t, set, c.dims, c.measures);
      ASSERT_GT(mpp, 0);
      const TableTexts got = ReadTable(Table(counting));
      const TableTexts want = ReadTable(Table(mpp));
      EXPECT_EQ(got.header, want.header);
      EXPECT_EQ(got.rows, want.rows);
      const std::vector<int> records =
          set == 1 ? AllRecords(Table(t)) : (set == subset ? third : std::vector<int>{});
      EXPECT_EQ(got.rows, GroupBy(Table(t), records, c.dims, c.measures).rows);
    }
  }
}

TEST_F(NonCubeMppTest, CountingSortVariantLeavesNothingOnFailure) {
  const int t = Load(50);
  std::vector<int> third;
  const int set = EveryNth(t, 1, 3, &third);
  std::vector<int> fillers;
  while (!db_->Full()) {
    std::string name = "filler" + std::to_string(fillers.size());
    const int id = db_->AddRealTable(name.data(), 0);
    ASSERT_GT(id, 0);
    fillers.push_back(id);
  }
  const int sets = Table(t)->FnSet;
  const int code = RunCounting(t, 1, {year_}, {{qty_, 31}});
  for (int id : fillers) db_->DelTable(id);
  EXPECT_EQ(code, Q7_ERROR_TABLE_COUNT_OVERFLOW);
  EXPECT_EQ(Table(t)->FnSet, sets);
  EXPECT_EQ(Table(t)->GetCurrentSetID(), set);
  // An object without a recorded request runs nothing.
  TNonCubeSum unchecked;
  EXPECT_EQ(unchecked.MppNonCubeRealDimN(), Q7_ERROR_INVALID_PARAMETER);
}

// Sums rounded to decimals 1 of values whose whole parts or their totals pass the 64-bit integers:
// SUM is the fraction sum / 10 + the whole-part sum as exact integers, on every road that rounds,
// whichever engine is forced (a rounding request always runs the sort-based driver).
TEST_F(NonCubeMppTest, RoundedSumsPastThe64BitIntegersOnEveryRoad) {
  const std::vector<q7test::RoundedSumCase>& cases = q7test::HugeRoundedSumCases();
  std::vector<int> keys;
  std::vector<double> values;
  for (size_t c = 0; c < cases.size(); ++c) {
    for (double v : cases[c].values) {
      keys.push_back(static_cast<int>(c + 1));
      values.push_back(v);
    }
  }
  const int n = static_cast<int>(keys.size());
  const int t = NewTable("huge", n);
  const int k = Add(t, "k", Q7_TYPE_INTEGER, 4, keys.data());
  const int v = Add(t, "v", Q7_TYPE_DOUBLE, 8, values.data());
  const int masks[] = {8 | 16};
  const int decimals[] = {1};

  struct Road {
    std::string name;
    std::function<int()> run;
  };
  std::vector<Road> roads = {
      {"serial", [&] { return TNonCubeSum(t, 1, 1, &k, 1, &v, masks, decimals).Result(); }},
      {"parallel",
       [&] {
         return RunMpp(t, 1, {k}, {{v, 24, 1}});
       }},
      {"counting sort",
       [&] {
         return RunCounting(t, 1, {k}, {{v, 24, 1}});
       }},
  };
  for (int method = 0; method <= 4; ++method) {
    roads.push_back({"forced method " + std::to_string(method), [&, method] {
                       struct Unforce {
                         ~Unforce() { SetForcedSumMethod(-1); }
                       } unforce;
                       SetForcedSumMethod(method);
                       return RunNonCubeSummary(Table(t), t, 1, 1, &k, 1, &v, masks, decimals);
                     }});
  }
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    const int out = road.run();
    ASSERT_GT(out, 0);
    if (std::find(tables_.begin(), tables_.end(), out) == tables_.end()) tables_.push_back(out);
    TRealTable* table = Table(out);
    ASSERT_EQ(table->FnFilter, 3);
    ASSERT_EQ(table->TotalRecs(), static_cast<int>(cases.size()));
    for (size_t c = 0; c < cases.size(); ++c) {
      SCOPED_TRACE(cases[c].what);
      const double sum = static_cast<double>(cases[c].fraction) / 10 + cases[c].whole;
      const double avg = sum / static_cast<double>(cases[c].values.size());
      const int row = static_cast<int>(c) + 1;
      for (int col = 1; col <= 2; ++col) {
        TFilter* f = table->FFilters[col];
        const double got = static_cast<TDoubleArray*>(f->VL)->GetDouble(f->PV->PIntAr()[row]);
        EXPECT_EQ(got, col == 1 ? sum : avg) << f->FFilterName;
      }
    }
  }
}

}  // namespace
