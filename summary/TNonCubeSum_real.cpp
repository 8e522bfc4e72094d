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
#include "summary/TNonCubeSum.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

// Appends a column of `rows` raw values; throws a refusal.
int AppendColumn(TRealTable* out, const std::string& name, int type, int rows, int width, const void* data) {
  std::vector<char> work(name.begin(), name.end());
  work.push_back('\0');
  const int id = out->AddFilter2(TRealTable::kAppendPosition, work.data(), type, rows, width, data, -1, -1);
  if (id < 0) throw CQ7Exception(id);
  return id;
}

std::string Bracketed(const char* prefix, const char* name) { return std::string(prefix) + "<" + name + ">"; }

}  // namespace

int TNonCubeSum::NonCubeRealDimN() {
  auto* source = static_cast<TRealTable*>(table_);
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // A negative set ID names the current set, which the temporary set would replace.
  const int summarised_set = set_id_ < 0 ? source->GetCurrentSetID() : set_id_;
  int temp_set = 0;
  int out_id = 0;
  try {
    // Value numbers of pending values are negative; the groups need the merged lists.
    source->CheckMergeFilterTVL(false);
    const int n = set_->FArraySize;
    const int* set_rows = set_->PIntAr();

    // Grouping: a stable counting sort per dimension, last first, orders the rows by dimension 0,
    // then 1 and so on, rows that tie keeping their set order.
    std::vector<int> sorted(set_rows, set_rows + n);
    std::vector<int> spare(static_cast<size_t>(n));
    std::vector<const int*> dim_vno(static_cast<size_t>(n_dims_));
    for (int d = 0; d < n_dims_; ++d) dim_vno[d] = dim_filters_[d]->PV->PIntAr();
    for (int d = n_dims_ - 1; d >= 0 && n > 0; --d) {
      CountingSort(0, n, sorted.data(), spare.data(), dim_vno[d], dim_filters_[d]->VL->FArraySize);
      sorted.swap(spare);
    }
    spare = std::vector<int>();

    std::vector<int> counts(static_cast<size_t>(n > 0 ? n : 1), 0);
    std::vector<int> reps;
    reps.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      bool opens = i == 0;
      for (int d = 0; d < n_dims_ && !opens; ++d) {
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
      temp_set = source->AddSet(rep_set.get());
      if (temp_set < 0) {
        const int code = temp_set;
        temp_set = 0;
        throw CQ7Exception(code);
      }
    }
    std::vector<int> ids(dim_ids_, dim_ids_ + n_dims_);
    ids.push_back(0);
    out_id = db->ExtractRealTable(out_name_, table_id_, temp_set, 0, 0, ids.data());
    if (out_id < 0) throw CQ7Exception(out_id);
    result_ = out_id;
    out_table_ = static_cast<TRealTable*>(db->GetTable(out_id));
    if (out_table_ == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    source->DelSetForce(temp_set);
    temp_set = 0;
    source->SetCurrentSetID(summarised_set);

    for (int d = 0; d < n_dims_; ++d) SetupSummaryInfo(d + 1, dim_ids_[d], 1, 0);
    if (n_measures_ == 0) {
      const int id = AppendColumn(out_table_, "N", Q7_TYPE_INTEGER, groups, 4, counts.data());
      SetupSummaryInfo(id, 0, 2, kSumCount);
      return result_;
    }

    const size_t g_size = static_cast<size_t>(groups > 0 ? groups : 1);
    std::vector<int> max_vno(g_size);
    std::vector<int> min_vno(g_size);
    std::vector<double> sums(g_size);
    std::vector<Numeric> dsums;
    std::vector<long long> int_parts;
    std::vector<long long> fractions;
    for (int m = 0; m < n_measures_; ++m) {
      TFilter* measure = measure_filters_[m];
      const int type = measure_types_[m];
      const int work = work_masks_[m];
      const int asked = req_masks_[m];
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
      const bool rounding = (work & kSumSum) != 0 && round_factors_[m] > 0;
      // The factor as the fixed-point split takes it: an exact power of ten.
      const double factor = static_cast<double>(static_cast<long long>(round_factors_[m]));
      if (rounding) {
        int_parts.assign(g_size, 0);
        fractions.assign(g_size, 0);
      }

      if (asked & kSumCount) {
        const std::string column = Bracketed("N", name);
        int id = 0;
        if (first_count_id_ == 0) {
          id = AppendColumn(out_table_, column, Q7_TYPE_INTEGER, groups, 4, counts.data());
          first_count_id_ = id;
        } else {
          id = RepeatFirstCount(column);
        }
        SetupSummaryInfo(id, measure_ids_[m], 2, kSumCount);
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
                long long whole = 0;
                long long fraction = 0;
                FP2Int(double_values[v], factor, &whole, &fraction);
                int_parts[g] += whole;
                fractions[g] += fraction;
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
        if (rounding) Int2FP(int_parts[g], fractions[g], factor, &sums[g]);
      }

      if (asked & kSumMax) PutMaxMinFilter(kSumMax, decimals_[m], groups, max_vno.data(), measure);
      if (asked & kSumMin) {
        for (int g = 0; g < groups; ++g) {
          if (min_vno[g] == 0x7FFFFFFF) min_vno[g] = 0;
        }
        PutMaxMinFilter(kSumMin, decimals_[m], groups, min_vno.data(), measure);
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
          id = AppendColumn(out_table_, column, Q7_TYPE_DECIMAL, groups, 16, values.data());
          static_cast<TNumericArray*>(out_table_->GetFilter(id)->VL)->SetDecimalInfo(&info);
        } else {
          std::vector<double> values(g_size);
          for (int g = 0; g < groups; ++g) {
            values[g] = counts[g] == 0 ? -HUGE_VAL : (pass == 0 ? sums[g] : sums[g] / counts[g]);
          }
          id = AppendColumn(out_table_, column, Q7_TYPE_DOUBLE, groups, 8, values.data());
        }
        if (decimals_[m] >= 0) SetDisplayDigits(id, decimals_[m]);
        SetupSummaryInfo(id, measure_ids_[m], 2, bit);
      }
    }
    return result_;
  } catch (const CQ7Exception& e) {
    // Nothing half-built is left behind: the temporary set and the partial table go.
    if (temp_set > 0) {
      source->DelSetForce(temp_set);
      source->SetCurrentSetID(summarised_set);
    }
    if (out_id > 0 && db != nullptr) db->DelTable(out_id);
    out_table_ = nullptr;
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (const std::bad_alloc&) {
    if (temp_set > 0) {
      source->DelSetForce(temp_set);
      source->SetCurrentSetID(summarised_set);
    }
    if (out_id > 0 && db != nullptr) db->DelTable(out_id);
    out_table_ = nullptr;
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}
