// A master and a slave table with columns of every kind, joins over them, the two roads of the
// non-cube summary, and a group-by over the joined rows (read one by one through the join) to check
// their tables against.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "join/TJoinTable.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/TNonCubeSum.h"
#include "task_test_support.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"

namespace ncjoin {

struct Measure {
  const char* column;
  int mask;
  int decimals;
};

// One request: join column names.
struct Request {
  std::vector<const char*> dims;
  std::vector<Measure> measures;
};

// A value of a column as text: "NULL", or the value with its kind ("i:", "d<ext>:", "s:", "n<scale>:").
inline std::string ValueText(TFilter* f, int v) {
  if (v == 0) return "NULL";
  TBaseArray* vl = f->VL;
  char buffer[128];
  switch (vl->GetDataType()) {
    case Q7_TYPE_INTEGER:
      return "i:" + std::to_string(static_cast<const int*>(vl->FData)[v]);
    case Q7_TYPE_DOUBLE:
      std::snprintf(buffer, sizeof buffer, "d%d:%.17g", static_cast<TDoubleArray*>(vl)->GetExtendType(),
                    static_cast<const double*>(vl->FData)[v]);
      return buffer;
    case Q7_TYPE_STRING:
      return std::string("s:") + static_cast<const char*>(vl->GetAddress(v));
    default: {
      const Numeric n = static_cast<const Numeric*>(vl->FData)[v];
      NumericInfo info{};
      static_cast<TNumericArray*>(vl)->GetDecimalInfo(&info);
      std::snprintf(buffer, sizeof buffer, "n%d:%lld", info.scale, static_cast<long long>(n.low));
      return buffer;
    }
  }
}

// A finished output table, cell by cell.
struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> cells;  // [column][row]
  std::vector<std::vector<int>> vnos;           // [column][row]
  std::vector<std::string> blocks;              // row array attribute block of each column
};

inline Table ReadTable(TRealTable* t) {
  Table out;
  const int rows = t->TotalRecs();
  for (int c = 0; c < t->FnFilter; ++c) {
    TFilter* f = t->FFilters[c];
    out.names.push_back(f->FFilterName);
    out.blocks.emplace_back(reinterpret_cast<const char*>(f->PV->FUserArea), sizeof f->PV->FUserArea);
    std::vector<std::string> column;
    std::vector<int> numbers;
    for (int r = 1; r <= rows; ++r) {
      const int v = f->PV->PIntAr()[r];
      numbers.push_back(v);
      column.push_back(ValueText(f, v));
    }
    out.cells.push_back(column);
    out.vnos.push_back(numbers);
  }
  return out;
}

inline double DoubleOf(const std::string& text) {
  const size_t colon = text.find(':');
  return std::strtod(text.c_str() + colon + 1, nullptr);
}

class NonCubeJoinTest : public tasktest::TaskTest {
 protected:
  static constexpr int kIntNull = INT_MIN;

  // Master "M": mk, m_int, m_dbl, m_date, m_str, m_dec; slave "S": sk, s_int, s_dbl, s_time, s_str,
  // s_dec. Small domains with NULLs, so that groups repeat; key values 1..keys on the master side,
  // 3..keys + 2 on the slave side, and a few NULL keys on each, so that both sides have rows
  // without partner.
  void BuildTables(unsigned seed, int master_rows, int slave_rows, int keys) {
    std::mt19937 gen(seed);
    auto pick = [&gen](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    master_ = NewTable("M", master_rows);
    slave_ = NewTable("S", slave_rows);
    auto add_side = [&](int table, int rows, const char* prefix, int key_from, bool time) {
      std::vector<int> key(rows), ints(rows);
      std::vector<double> dbl(rows), date(rows);
      std::vector<const char*> str(rows);
      std::vector<Numeric> dec(rows);
      static const char* const kTexts[] = {"", "alpha", "beta", "gamma", "delta"};
      static const double kDoubles[] = {0.125, 1.5, -2.75, 10.3, 7.0625};
      static const int64_t kUnits[] = {125, -50, 300, 7, 99999};
      for (int r = 0; r < rows; ++r) {
        key[r] = pick(15) == 0 ? kIntNull : key_from + pick(keys);
        ints[r] = pick(6) == 0 ? kIntNull : pick(4) - 1;
        dbl[r] = pick(6) == 0 ? -HUGE_VAL : kDoubles[pick(5)];
        date[r] = pick(6) == 0 ? -HUGE_VAL : (time ? 0.25 * pick(4) : 40000.0 + pick(4));
        str[r] = kTexts[pick(5)];
        dec[r] = pick(6) == 0 ? q7num::NanNumeric() : q7num::FromInt128(kUnits[pick(5)]);
      }
      const std::string p(prefix);
      AddFilter(table, (p + "k").c_str(), Q7_TYPE_INTEGER, 4, key.data());
      AddFilter(table, (p + "_int").c_str(), Q7_TYPE_INTEGER, 4, ints.data());
      AddFilter(table, (p + "_dbl").c_str(), Q7_TYPE_DOUBLE, 8, dbl.data());
      AddFilter(table, (p + (time ? "_time" : "_date")).c_str(), time ? Q7_TYPE_TIME : Q7_TYPE_DATE, 8,
                date.data());
      AddFilter(table, (p + "_str").c_str(), Q7_TYPE_STRING, 8, str.data());
      const int dec_id = AddFilter(table, (p + "_dec").c_str(), Q7_TYPE_DECIMAL, 16, dec.data());
      static_cast<TNumericArray*>(Real(table)->GetFilter(dec_id)->VL)->SetDecimalInfo(2, Q7_ROUND_HALF_UP);
    };
    add_side(master_, master_rows, "m", 1, false);
    add_side(slave_, slave_rows, "s", 3, true);
  }

  // A join of M and S on mk = sk, built on the pool when `pool`.
  int Join(bool outer, bool pool = false) {
    int master_keys[] = {1, 0};
    int slave_keys[] = {1, 0};
    char name[] = "J";
    const int id =
        pool ? db()->MppAddJoinTable(name, outer ? 1 : 0, master_, 1, master_keys, slave_, 1, slave_keys)
             : db()->AddJoinTable(name, outer ? 1 : 0, master_, 1, master_keys, slave_, 1, slave_keys);
    EXPECT_GT(id, 0);
    return id;
  }

  TJoinTable* JoinOf(int id) { return static_cast<TJoinTable*>(db()->GetTable(id)); }

  int ColumnID(int join, const char* name) {
    std::string work(name);
    const int id = JoinOf(join)->GetJoinFilterIDFromName(work.data());
    EXPECT_GT(id, 0) << name;
    return id;
  }

  // A subset of set 1: joined rows whose m_int (or s_int) lies in 0..1.
  int SearchSet(int join, bool slave_side) {
    int from = 0;
    int to = 1;
    const int set = JoinOf(join)->SearchByField(ColumnID(join, slave_side ? "s_int" : "m_int"), 1, 1,
                                                reinterpret_cast<char*>(&from), reinterpret_cast<char*>(&to));
    EXPECT_GT(set, 0);
    return set;
  }

  struct Args {
    std::vector<int> dims, measures, masks, decimals;
  };
  Args ArgsOf(int join, const Request& req) {
    Args a;
    for (const char* d : req.dims) a.dims.push_back(ColumnID(join, d));
    for (const Measure& m : req.measures) {
      a.measures.push_back(ColumnID(join, m.column));
      a.masks.push_back(m.mask);
      a.decimals.push_back(m.decimals);
    }
    return a;
  }

  // The serial road's result (the output table's ID or a code).
  int RunSerial(int join, int set, const Request& req) {
    Args a = ArgsOf(join, req);
    try {
      TNonCubeSum s(join, set, static_cast<int>(a.dims.size()), a.dims.data(),
                    static_cast<int>(a.measures.size()), a.measures.data(), a.masks.data(),
                    a.decimals.data());
      return s.Result();
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  }

  int RunParallel(int join, int set, const Request& req) {
    Args a = ArgsOf(join, req);
    TNonCubeSum s;
    try {
      s.MppRun(join, set, static_cast<int>(a.dims.size()), a.dims.data(), static_cast<int>(a.measures.size()),
               a.measures.data(), a.masks.data(), a.decimals.data());
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
    return s.Result();
  }

  // Checks an output table against a group-by over the joined rows of the set: one row per
  // occurring combination of dimension values, ordered by the master-side dimensions, then the
  // slave-side ones; the columns the masks ask for, with what every joined row contributes.
  void ExpectGroupBy(int join_id, int set, const Request& req, int out_id, bool join_names) {
    TJoinTable* join = JoinOf(join_id);
    auto* out = static_cast<TRealTable*>(db()->GetTable(out_id));
    ASSERT_NE(out, nullptr);
    const Table got = ReadTable(out);
    const Args a = ArgsOf(join_id, req);
    const int n_dims = static_cast<int>(a.dims.size());
    const int n_measures = static_cast<int>(a.measures.size());
    std::vector<TFilter*> dim_f, msr_f;
    std::vector<int> dim_side;
    for (int id : a.dims) {
      dim_f.push_back(join->GetFilter(id));
      dim_side.push_back(join->GetFilterSide(id));
    }
    for (int id : a.measures) msr_f.push_back(join->GetFilter(id));

    struct Acc {
      int max = 0, min = INT_MAX;
      double sum = 0;
      long long whole = 0, fraction = 0;
      __int128 units = 0;
    };
    struct Cell {
      int count = 0;
      std::vector<Acc> acc;
    };
    std::map<std::vector<std::string>, Cell> expected;
    const int joined = join->GetSetSize(set);
    ASSERT_GE(joined, 0);
    for (int j = 0; j < joined; ++j) {
      std::vector<std::string> key;
      for (int d = 0; d < n_dims; ++d) {
        int v = 0;
        ASSERT_EQ(join->GetVNo(set, a.dims[d], j, &v), 4);
        key.push_back(ValueText(dim_f[d], v));
      }
      Cell& cell = expected[key];
      cell.acc.resize(static_cast<size_t>(n_measures));
      ++cell.count;
      for (int m = 0; m < n_measures; ++m) {
        int v = 0;
        ASSERT_EQ(join->GetVNo(set, a.measures[m], j, &v), 4);
        Acc& acc = cell.acc[m];
        TBaseArray* vl = msr_f[m]->VL;
        const int type = vl->GetDataType();
        acc.max = std::max(acc.max, v);
        if (v != 0) acc.min = std::min(acc.min, v);
        if (v == 0) continue;
        if (type == Q7_TYPE_INTEGER) acc.sum += static_cast<const int*>(vl->FData)[v];
        if (type == Q7_TYPE_DECIMAL) acc.units += q7num::ToInt128(static_cast<const Numeric*>(vl->FData)[v]);
        if (type == Q7_TYPE_DOUBLE) {
          const double x = static_cast<const double*>(vl->FData)[v];
          acc.sum += x;
          if (a.decimals[m] >= 0) {
            long long whole = 0, fraction = 0;
            FP2Int(x, std::pow(10.0, a.decimals[m]), &whole, &fraction);
            acc.whole += whole;
            acc.fraction += fraction;
          }
        }
      }
    }

    // Column names.
    std::vector<std::string> names;
    for (int d = 0; d < n_dims; ++d) names.push_back(join_names ? req.dims[d] : dim_f[d]->FFilterName);
    for (int m = 0; m < n_measures; ++m) {
      const std::string name = std::string(join_names ? req.measures[m].column : msr_f[m]->FFilterName);
      const std::string cut = name.substr(0, 248);
      const int mask = req.measures[m].mask;
      if (mask & 1) names.push_back("N<" + cut + ">");
      if (mask & 2) names.push_back("MAX<" + name + ">");
      if (mask & 4) names.push_back("MIN<" + name + ">");
      if (mask & 8) names.push_back("SUM<" + cut + ">");
      if (mask & 16) names.push_back("AVG<" + cut + ">");
    }
    if (n_measures == 0) names.push_back("N");
    ASSERT_EQ(got.names, names);
    ASSERT_EQ(out->TotalRecs(), static_cast<int>(expected.size()));

    // Row order: master-side dimensions first, then slave-side ones, each ascending.
    std::vector<int> order;
    for (int side = 0; side < 2; ++side) {
      for (int d = 0; d < n_dims; ++d) {
        if (dim_side[d] == side) order.push_back(d);
      }
    }
    for (int r = 1; r < out->TotalRecs(); ++r) {
      std::vector<int> prev, here;
      for (int d : order) {
        prev.push_back(got.vnos[d][r - 1]);
        here.push_back(got.vnos[d][r]);
      }
      EXPECT_LT(prev, here) << "row " << r;
    }

    for (int r = 0; r < out->TotalRecs(); ++r) {
      std::vector<std::string> key;
      for (int d = 0; d < n_dims; ++d) key.push_back(got.cells[d][r]);
      auto it = expected.find(key);
      ASSERT_NE(it, expected.end()) << "row " << r;
      const Cell& cell = it->second;
      int c = n_dims;
      if (n_measures == 0) {
        EXPECT_EQ(got.cells[c][r], "i:" + std::to_string(cell.count));
      }
      for (int m = 0; m < n_measures; ++m) {
        SCOPED_TRACE(got.names[c]);
        const Acc& acc = cell.acc[m];
        TFilter* f = msr_f[m];
        const int type = f->VL->GetDataType();
        const int mask = req.measures[m].mask;
        NumericInfo info{};
        if (type == Q7_TYPE_DECIMAL) static_cast<TNumericArray*>(f->VL)->GetDecimalInfo(&info);
        if (mask & 1) {
          EXPECT_EQ(got.cells[c++][r], "i:" + std::to_string(cell.count));
        }
        if (mask & 2) {
          EXPECT_EQ(got.cells[c++][r], ValueText(f, acc.max));
        }
        if (mask & 4) {
          EXPECT_EQ(got.cells[c++][r], ValueText(f, acc.min == INT_MAX ? 0 : acc.min));
        }
        for (int bit : {8, 16}) {
          if ((mask & bit) == 0) continue;
          const std::string& text = got.cells[c++][r];
          if (type == Q7_TYPE_DECIMAL) {
            Numeric want = q7num::FromInt128(acc.units);
            if (bit == 16) q7num::NumericDiv(&want, &info, cell.count);
            EXPECT_EQ(text, "n" + std::to_string(info.scale) + ":" +
                                std::to_string(static_cast<long long>(want.low)));
            continue;
          }
          double want = acc.sum;
          if (type == Q7_TYPE_DOUBLE && req.measures[m].decimals >= 0) {
            Int2FP(acc.whole, acc.fraction, std::pow(10.0, req.measures[m].decimals), &want);
          }
          if (bit == 16) want /= cell.count;
          EXPECT_NEAR(DoubleOf(text), want, 1e-9 * (1 + std::fabs(want)));
        }
      }
    }
  }

  // Runs both roads and checks both tables; returns the two output IDs.
  void ExpectBothRoads(int join, int set, const Request& req) {
    const int serial = RunSerial(join, set, req);
    ASSERT_GT(serial, 0);
    ExpectGroupBy(join, set, req, serial, false);
    const int parallel = RunParallel(join, set, req);
    ASSERT_GT(parallel, 0);
    ExpectGroupBy(join, set, req, parallel, true);
    // The two roads compute alike: equal cells, to the last bit.
    EXPECT_EQ(ReadTable(Real(serial)).cells, ReadTable(Real(parallel)).cells);
    db()->DelTable(serial);
    db()->DelTable(parallel);
  }

  int master_ = 0;
  int slave_ = 0;
};

}  // namespace ncjoin
