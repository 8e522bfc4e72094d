// The non-cube summary's result written as a new real table, one column per dimension and measure.
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "kernels/CountingSort.h"
#include "summary/SummaryBits.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/TNonCubeSum.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

std::string Bracketed(const char* prefix, const char* name) { return std::string(prefix) + "<" + name + ">"; }

}  // namespace

int TNonCubeSum::NonCubeRealDimN() {
  auto* source = static_cast<TRealTable*>(request_.table());
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // A negative set ID names the current set, which the temporary set would replace.
  RoadUndo undo;
  undo.source = source;
  undo.restore_set = request_.set_id() < 0 ? source->GetCurrentSetID() : request_.set_id();
  // Nothing half-built is left behind: the temporary set and the partial table go.
  return RunRoad(&undo, [&] {
    // Value numbers of pending values are negative; the groups need the merged lists.
    source->CheckMergeFilterTVL(false);
    const int n = request_.set()->FArraySize;
    const int* set_rows = request_.set()->PIntAr();

    // Grouping: a stable counting sort per dimension, last first, orders the rows by dimension 0,
    // then 1 and so on, rows that tie keeping their set order.
    std::vector<int> sorted(set_rows, set_rows + n);
    std::vector<int> spare(static_cast<size_t>(n));
    std::vector<const int*> dim_vno(static_cast<size_t>(request_.n_dims()));
    for (int d = 0; d < request_.n_dims(); ++d) dim_vno[d] = request_.dim_filter(d)->PV->PIntAr();
    for (int d = request_.n_dims() - 1; d >= 0 && n > 0; --d) {
      CountingSort(0, n, sorted.data(), spare.data(), dim_vno[d], request_.dim_filter(d)->VL->FArraySize);
      sorted.swap(spare);
    }
    spare = std::vector<int>();

    std::vector<int> counts(static_cast<size_t>(n > 0 ? n : 1), 0);
    std::vector<int> reps;
    reps.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      bool opens = i == 0;
      for (int d = 0; d < request_.n_dims() && !opens; ++d) {
        opens = dim_vno[d][sorted[i]] != dim_vno[d][sorted[i - 1]];
      }
      if (opens) reps.push_back(sorted[i]);
      ++counts[reps.size() - 1];
    }
    const int groups = static_cast<int>(reps.size());

    // The output table: one representative row per group, with the dimension columns.
    {
      auto rep_set = std::make_unique<TSetArray>(groups, 0);
      if (groups > 0) std::memcpy(rep_set->PIntAr(), reps.data(), sizeof(int) * static_cast<size_t>(groups));
      const int added = source->AddSet(rep_set.get());
      if (added < 0) throw CQ7Exception(added);
      undo.temp_set = added;
    }
    std::vector<int> ids(request_.dim_ids(), request_.dim_ids() + request_.n_dims());
    ids.push_back(0);
    char name[kNameSize];
    qz7_strlcpy(name, request_.out_name(), sizeof name);
    const int out_id = db->ExtractRealTable(name, request_.table_id(), undo.temp_set, 0, 0, ids.data());
    if (out_id < 0) throw CQ7Exception(out_id);
    undo.out_id = out_id;
    result_ = out_id;
    output_.SetTable(static_cast<TRealTable*>(db->GetTable(out_id)));
    if (output_.table() == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    undo.DropTempSet();

    for (int d = 0; d < request_.n_dims(); ++d) SetupSummaryInfo(d + 1, request_.dim_id(d), 1, 0);
    if (request_.n_measures() == 0) {
      const int id = output_.AppendValues("N", Q7_TYPE_INTEGER, groups, 4, counts.data());
      SetupSummaryInfo(id, 0, 2, kSumCount);
      return result_;
    }

    const size_t g_size = static_cast<size_t>(groups > 0 ? groups : 1);
    std::vector<int> max_vno(g_size);
    std::vector<int> min_vno(g_size);
    std::vector<double> sums(g_size);
    std::vector<Numeric> dsums;
    std::vector<RoundedSum> rounded_sums;
    for (int m = 0; m < request_.n_measures(); ++m) {
      TFilter* measure = request_.measure_filter(m);
      const int type = request_.measure_type(m);
      const int work = request_.work_mask(m);
      const int asked = request_.asked_mask(m);
      const int* vno = measure->PV->PIntAr();
      const char* name = measure->FFilterName;
      const bool decimal = type == Q7_TYPE_DECIMAL;
      NumericInfo info{};
      if (decimal) {
        static_cast<TNumericArray*>(measure->VL)->GetDecimalInfo(&info);
        dsums.assign(g_size, Numeric{});
        for (Numeric& s : dsums) q7num::NumericSetZero(&s);
      }
      std::fill(max_vno.begin(), max_vno.end(), 0);
      std::fill(min_vno.begin(), min_vno.end(), 0x7FFFFFFF);
      std::fill(sums.begin(), sums.end(), 0.0);
      const bool rounding = (work & kSumSum) != 0 && request_.round_factor(m) > 0;
      // The factor as the fixed-point split takes it: an exact power of ten.
      const double factor = static_cast<double>(static_cast<long long>(request_.round_factor(m)));
      if (rounding) rounded_sums.assign(g_size, RoundedSum{});

      if (asked & kSumCount) {
        const std::string column = Bracketed("N", name);
        int id = 0;
        if (output_.first_count_id() == 0) {
          id = output_.AppendValues(column, Q7_TYPE_INTEGER, groups, 4, counts.data());
          output_.SetFirstCountID(id);
        } else {
          id = RepeatFirstCount(column);
        }
        SetupSummaryInfo(id, request_.measure_id(m), 2, kSumCount);
      }

      // Accumulate group by group over the sorted rows; value number 0 is NULL.
      const int* int_values = static_cast<const int*>(measure->VL->FData);
      const double* double_values = static_cast<const double*>(measure->VL->FData);
      const Numeric* decimal_values = static_cast<const Numeric*>(measure->VL->FData);
      int at = 0;
      for (int g = 0; g < groups; ++g) {
        for (int k = 0; k < counts[g]; ++k) {
          const int v = vno[sorted[at++]];
          if (v > max_vno[g]) max_vno[g] = v;
          // NULL (the empty text of a STRING list) is skipped, as on every other road.
          if (v != 0 && v < min_vno[g]) min_vno[g] = v;
          if (v <= 0 || (work & kSumSum) == 0) continue;
          switch (type) {
            case Q7_TYPE_INTEGER:
              sums[g] += static_cast<double>(int_values[v]);
              break;
            case Q7_TYPE_DOUBLE:
              if (rounding) {
                AddRounded(double_values[v], factor, &rounded_sums[g]);
              } else {
                sums[g] += double_values[v];
              }
              break;
            case Q7_TYPE_DECIMAL:
              q7num::NumericAdd(&dsums[g], &decimal_values[v], &dsums[g]);
              break;
            default:
              break;
          }
        }
        if (rounding) sums[g] = RoundedValue(rounded_sums[g], factor);
      }

      if (asked & kSumMax) PutMaxMinFilter(kSumMax, request_.decimals(m), groups, max_vno.data(), measure);
      if (asked & kSumMin) {
        for (int g = 0; g < groups; ++g) {
          if (min_vno[g] == 0x7FFFFFFF) min_vno[g] = 0;
        }
        PutMaxMinFilter(kSumMin, request_.decimals(m), groups, min_vno.data(), measure);
      }
      for (int pass = 0; pass < 2; ++pass) {
        const int bit = pass == 0 ? kSumSum : kSumAverage;
        if ((asked & bit) == 0) continue;
        const std::string column = Bracketed(pass == 0 ? "SUM" : "AVG", name);
        int id = 0;
        if (decimal) {
          std::vector<Numeric> values(g_size);
          for (int g = 0; g < groups; ++g) {
            values[g] = dsums[g];
            if (counts[g] == 0) {
              q7num::NumericSetNan(&values[g]);
            } else if (pass == 1) {
              q7num::NumericDiv(&values[g], &info, counts[g]);
            }
          }
          id = output_.AppendValues(column, Q7_TYPE_DECIMAL, groups, 16, values.data());
          static_cast<TNumericArray*>(output_.table()->GetFilter(id)->VL)->SetDecimalInfo(&info);
        } else {
          std::vector<double> values(g_size);
          for (int g = 0; g < groups; ++g) {
            values[g] = counts[g] == 0 ? -HUGE_VAL : (pass == 0 ? sums[g] : sums[g] / counts[g]);
          }
          id = output_.AppendValues(column, Q7_TYPE_DOUBLE, groups, 8, values.data());
        }
        if (request_.decimals(m) >= 0) output_.SetDisplayDigits(id, request_.decimals(m));
        SetupSummaryInfo(id, request_.measure_id(m), 2, bit);
      }
    }
    return result_;
  });
}
