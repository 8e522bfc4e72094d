// The output writer of a non-cube summary: its columns, their attribute blocks and the MAX/MIN columns.
#include "summary/noncube/NonCubeOutput.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "foundation/FailureCode.h"
#include "summary/SummaryBits.h"
#include "summary/SummaryOutput.h"
#include "summary/noncube/NonCubeRequest.h"
#include "summary/noncube/UsedValues.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

// A filter-name work copy of a column name.
std::vector<char> NameWork(const std::string& name) {
  std::vector<char> work(name.begin(), name.end());
  work.push_back('\0');
  return work;
}

// The free-standing MAX/MIN column of the builders: a name, a row array and a value list of only
// the values used. Throws; nothing survives a failure.
void BuildMaxMinColumn(int kind, int n_rows, const int* value_numbers, const char* base_name,
                       TFilter* measure, std::unique_ptr<TIntArray>* rows_out,
                       std::unique_ptr<TBaseArray>* list_out, std::string* name_out) {
  TBaseArray* vl = measure->VL;
  const int n_values = vl->FArraySize;
  for (int r = 0; r < n_rows; ++r) {
    const int v = value_numbers[r];
    if (v < 0 || v >= n_values) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
  const UsedValues used = CollectUsedValues(n_values, n_rows, value_numbers);
  std::unique_ptr<TBaseArray> list = ListOfValues(vl, used.kept);
  if (list->GetDataType() == Q7_TYPE_DOUBLE) {
    // A date, time or datetime measure keeps its kind.
    list->FUserArea[0] = vl->FUserArea[0];
  } else if (list->GetDataType() == Q7_TYPE_DECIMAL) {
    NumericInfo info{};
    static_cast<TNumericArray*>(vl)->GetDecimalInfo(&info);
    static_cast<TNumericArray*>(list.get())->SetDecimalInfo(&info);
  }

  auto rows = std::make_unique<TIntArray>(n_rows + 1, 1);
  int* pv = rows->PIntAr();
  pv[0] = 0;
  for (int r = 0; r < n_rows; ++r) pv[r + 1] = used.NewNumber(value_numbers[r]);

  *name_out = std::string(kind == kSumMax ? "MAX<" : "MIN<") + base_name + ">";
  if (name_out->size() >= TFilter::kNameSize) name_out->resize(TFilter::kNameSize - 1);
  *rows_out = std::move(rows);
  *list_out = std::move(list);
}

}  // namespace

void NonCubeOutput::Reset() {
  table_ = nullptr;
  dims_written_ = 0;
  measures_written_ = 0;
  first_count_id_ = 0;
}

int NonCubeOutput::AppendValues(const std::string& name, int type, int rows, int width, const void* data) {
  std::vector<char> work = NameWork(name);
  const int id =
      table_->AddFilter2(TRealTable::kAppendPosition, work.data(), type, rows, width, data, -1, -1);
  if (id < 0) throw CQ7Exception(id);
  return id;
}

int NonCubeOutput::AppendFree(TFilter** slot) {
  const int id = AppendFreeColumn(table_, *slot);
  delete *slot;
  *slot = nullptr;
  return id;
}

int NonCubeOutput::AppendOwned(TFilter* column) {
  std::unique_ptr<TFilter> owned(column);
  return AppendFreeColumn(table_, owned.get());
}

void NonCubeOutput::SetupSummaryInfo(const NonCubeRequest& request, int out_column_id, int source_column_id,
                                     int kind, int bit) {
  if (table_ == nullptr || table_->FilterID2Pos(out_column_id) < 0)
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  SummaryInfoCounters counters{dims_written_, measures_written_};
  WriteSummaryColumnInfo(table_, out_column_id, sum_attr::kNonCubeSummary, request.is_join(),
                         request.n_dims(), request.table_id(), request.set_id(), source_column_id, kind, bit,
                         &counters);
  dims_written_ = counters.dims;
  measures_written_ = counters.measures;
}

void NonCubeOutput::SetDisplayDigits(int id, int decimals) {
  TFilter* filter = table_->GetFilter(id);
  if (filter == nullptr || filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  filter->VL->FUserArea[5] = static_cast<uint8_t>(static_cast<int8_t>(decimals - 3));
}

int NonCubeOutput::RepeatFirstCount(const std::string& column) {
  const int id = table_->DupFilter(first_count_id_);
  if (id < 0) throw CQ7Exception(id);
  const int pos = table_->FilterID2Pos(id);
  if (pos < 0) throw CQ7Exception(pos);
  const int moved = table_->MoveFilter(pos, table_->GetNFilter());
  if (moved < 0) throw CQ7Exception(moved);
  // GenFilterName rewrites its seed in place and reads at most a name's bytes.
  std::vector<char> seed(column.begin(), column.end());
  seed.resize(TFilter::kNameSize, '\0');
  seed[TFilter::kNameSize - 1] = '\0';
  char unique[TFilter::kNameSize];
  const int named = table_->GenFilterName(seed.data(), unique);
  if (named < 0) throw CQ7Exception(named);
  qz7_strlcpy(table_->GetFilter(id)->FFilterName, unique, TFilter::kNameSize);
  return id;
}

int NonCubeOutput::PutMaxMinFilter(const NonCubeRequest& request, int kind, int decimals, int n_rows,
                                   int* value_numbers, TFilter* measure) {
  if (kind != kSumMax && kind != kSumMin) return Q7_ERROR_INNER_ENGINE;
  if (table_ == nullptr || measure == nullptr || measure->VL == nullptr)
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  std::unique_ptr<TIntArray> rows;
  std::unique_ptr<TBaseArray> list;
  std::string name;
  BuildMaxMinColumn(kind, n_rows, value_numbers, measure->FFilterName, measure, &rows, &list, &name);
  std::vector<char> work = NameWork(name);
  const int id =
      table_->AddFilter(TRealTable::kAppendPosition, work.data(), rows.get(), list.get(), false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  rows.release();
  list.release();
  if (measure->VL->GetDataType() == Q7_TYPE_DOUBLE && decimals >= 0) SetDisplayDigits(id, decimals);
  int source = 0;
  for (int m = 0; m < request.n_measures(); ++m) {
    if (request.measure_filter(m) == measure) {
      source = request.measure_id(m);
      break;
    }
  }
  SetupSummaryInfo(request, id, source, 2, kind);
  return id;
}

int NonCubeOutput::MaxMinColumn(int kind, int n_rows, int* value_numbers, const char* base_name,
                                TFilter* measure, TFilter** out) {
  if (kind != kSumMax && kind != kSumMin) return Q7_ERROR_INNER_ENGINE;
  try {
    if (measure == nullptr || measure->VL == nullptr || out == nullptr || n_rows < 0) {
      return Q7_ERROR_INVALID_PARAMETER;
    }
    std::unique_ptr<TIntArray> rows;
    std::unique_ptr<TBaseArray> list;
    std::string name;
    BuildMaxMinColumn(kind, n_rows, value_numbers, base_name, measure, &rows, &list, &name);
    std::vector<char> work = NameWork(name);
    auto filter = std::make_unique<TFilter>(kFreeFilterID, work.data());
    filter->PV = rows.release();
    filter->ReplaceValueList(list.release());
    *out = filter.release();
    return 0;
  } catch (...) {
    return CurrentNegativeFailureCode();
  }
}

int NonCubeOutput::RegCount(const char* name, int rows, const int* counts) {
  if (table_ == nullptr) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  std::string column = "N";
  if (name != nullptr && name[0] != '\0') column += "<" + std::string(name).substr(0, 248) + ">";
  // A table of no rows still takes a block to read from.
  int none = 0;
  return AppendValues(column, Q7_TYPE_INTEGER, rows, 4, counts != nullptr ? counts : &none);
}
