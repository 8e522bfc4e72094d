// Summary output tables: a handle's summary written into real tables, and the services over them.
#include "summary/SummaryOutput.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "summary/SummaryCatch.h"
#include "summary/cube/SummaryHandles.h"
#include "summary/cube/TSummary.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

constexpr char kSumHandleText[] = "Invalid Parameter : SumHandle";
constexpr int kBlockSize = TBaseArray::kUserAreaSize;

void PutLE32(uint8_t* at, int value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The summary of a handle that may be written out, or the refusal's code (recorded under log_name
// when `record`).
int OutputSummary(const char* log_name, bool record, int handle, TSummary** out) {
  int code = 0;
  if (handle < 0 || handle >= kSummaryHandles) {
    code = Q7_ERROR_INVALID_SUM_HANDLE;
  } else if (Summaries[handle] == nullptr) {
    code = Q7_ERROR_NO_SUCH_SUMMARY;
  } else if (Summaries[handle]->ComputedBits() == 0) {
    code = Q7_ERROR_INVALID_OUTPUT_PARAMETER;
  }
  if (code != 0) {
    if (record) PutErrorLog(log_name, code, kSumHandleText);
    return code;
  }
  *out = Summaries[handle];
  return 0;
}

template <class Op>
int Guarded(const char* log_name, Op&& op) noexcept {
  return SummaryCaught(log_name, 0, nullptr, op);
}

// The services' own catch: refusals are returned, anything thrown is Q7_ERROR_UNKNOWN, unrecorded.
template <class Op>
int Swallowed(Op&& op) noexcept {
  try {
    return op();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// The checks every service starts with: the table, or null with *code set.
TRealTable* FindRealTable(int table_id, int* code) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  TBaseTable* table = db != nullptr ? db->GetTable(table_id) : nullptr;
  if (table == nullptr) {
    *code = Q7_ERROR_NO_SUCH_TABLE;
    return nullptr;
  }
  if (table->GetType() != TBaseTable::kTypeReal) {
    *code = Q7_ERROR_NOT_REAL_TABLE;
    return nullptr;
  }
  return static_cast<TRealTable*>(table);
}

// The column's row array, or null when the table has no such column (looked up without an entry).
TIntArray* RowArrayOf(TRealTable* table, int column_id) {
  if (table->FilterID2Pos(column_id) < 0) return nullptr;
  TFilter* filter = table->GetFilter(column_id);
  return filter != nullptr ? filter->PV : nullptr;
}

uint8_t ColumnKindOf(const TFilter* filter) {
  return filter->PV != nullptr ? filter->PV->FUserArea[sum_attr::kColumnKind] : 0;
}

}  // namespace

int AppendFreeColumn(TRealTable* out, TFilter* column) {
  char name[TFilter::kNameSize];
  qz7_strlcpy(name, column->FFilterName, sizeof name);
  const int id = out->AddFilter(TRealTable::kAppendPosition, name, column->PV, column->VL, false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  // The table holds the arrays now (and the list's one hold).
  column->PV = nullptr;
  column->VL = nullptr;
  return id;
}

void WriteSummaryColumnInfo(TRealTable* out, int column_id, int summary_kind, bool join_source, int dim_count,
                            int table_id, int set_id, int source_column_id, int column_kind, int measure_bit,
                            SummaryInfoCounters* counters) {
  using namespace sum_attr;
  if (column_kind != kDimension && column_kind != kMeasure) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  if (column_kind == kMeasure && measure_bit != kSumCount && measure_bit != kSumMax &&
      measure_bit != kSumMin && measure_bit != kSumSum && measure_bit != kSumAverage) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  }
  TIntArray* rows = RowArrayOf(out, column_id);
  if (rows == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  uint8_t* block = rows->FUserArea;
  block[kSourceKind] = static_cast<uint8_t>(join_source ? 2 : 1);
  block[kColumnKind] = static_cast<uint8_t>(column_kind);
  if (column_kind == kMeasure) block[kMeasureBit] = static_cast<uint8_t>(measure_bit);
  block[kSummaryKind] = static_cast<uint8_t>(summary_kind);
  int& counter = column_kind == kDimension ? counters->dims : counters->measures;
  block[kOrdinal] = static_cast<uint8_t>(counter);
  ++counter;
  block[kDimCount] = static_cast<uint8_t>(dim_count);
  PutLE32(block + kTableID, table_id);
  PutLE32(block + kSetID, set_id);
  PutLE32(block + kSourceColumn, source_column_id);
  // Every column set up before this one learns the measure count so far, so that after the last
  // measure all of them hold the final count.
  for (int i = 0; i < out->FnFilter; ++i) {
    TFilter* filter = out->FFilters[i];
    if (filter->FFilterID >= 1 && filter->FFilterID <= column_id && filter->PV != nullptr) {
      filter->PV->FUserArea[kMeasureCount] = static_cast<uint8_t>(counters->measures);
    }
  }
}

int innerQ7SummaryIntoRealTable(int handle, int bits, int skip_empty) {
  constexpr char kLog[] = "Q7SummaryIntoRealTable";
  TSummary* s = nullptr;
  if (const int code = OutputSummary(kLog, true, handle, &s)) return code;
  return Guarded(kLog, [&] { return s->SummaryIntoRealTable(bits, skip_empty); });
}

int innerQ7AppendSummaryToRealTable(int handle, int table_id, int bits, int skip_empty) {
  constexpr char kLog[] = "Q7AppendSummaryToRealTable";
  TSummary* s = nullptr;
  if (const int code = OutputSummary(kLog, false, handle, &s)) return code;
  return Guarded(kLog, [&] { return s->AppendSummaryToRealTable(table_id, bits, skip_empty); });
}

int innerQ7GetSumFilterAttr(int table_id, int column_id, char* attr) {
  return Swallowed([&] {
    int code = 0;
    TRealTable* table = FindRealTable(table_id, &code);
    if (table == nullptr) return code;
    if (attr == nullptr) return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    TIntArray* rows = RowArrayOf(table, column_id);
    if (rows == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_FILTER);
    std::memcpy(attr, rows->FUserArea, kBlockSize);
    return 0;
  });
}

int innerQ7SetSumFilterAttr(int table_id, int column_id, const char* attr) {
  return Swallowed([&] {
    int code = 0;
    TRealTable* table = FindRealTable(table_id, &code);
    if (table == nullptr) return code;
    // The arrays of a shared table lie in memory other processes read.
    if (table->FShmImage != 0 || table->isQ7TShared()) return static_cast<int>(Q7_ERROR_SHARED_READ_ONLY);
    if (attr == nullptr) return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    TIntArray* rows = RowArrayOf(table, column_id);
    if (rows == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_FILTER);
    std::memcpy(rows->FUserArea, attr, kBlockSize);
    return 0;
  });
}

int innerQ7IsSummaryOutputTable(int table_id, int* dims, int* measures) {
  if (dims == nullptr || measures == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  *dims = 0;
  *measures = 0;
  return Swallowed([&] {
    TTableCollection* db = CSmpEngine::Instance()->Database();
    TBaseTable* base = db != nullptr ? db->GetTable(table_id) : nullptr;
    if (base == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_TABLE);
    if (base->GetType() != TBaseTable::kTypeReal) return 0;
    auto* table = static_cast<TRealTable*>(base);
    int dim_count = 0;
    int measure_count = 0;
    for (int i = 0; i < table->FnFilter; ++i) {
      switch (ColumnKindOf(table->FFilters[i])) {
        case 0:
          break;
        case sum_attr::kDimension:
          ++dim_count;
          break;
        case sum_attr::kMeasure:
          ++measure_count;
          break;
        default:
          return static_cast<int>(Q7_ERROR_NOT_SUMMARY_OUTPUT);
      }
    }
    *dims = dim_count;
    *measures = measure_count;
    if (dim_count + measure_count == 0) return 0;
    return dim_count + measure_count == table->FnFilter ? 1 : 2;
  });
}

int IsSummaryOutputTable(int table_id, int* dims, int* measures) {
  return innerQ7IsSummaryOutputTable(table_id, dims, measures);
}

int innerQ7DimNo2FilterID(int table_id, int kind, int ordinal) {
  return Swallowed([&] {
    int code = 0;
    TRealTable* table = FindRealTable(table_id, &code);
    if (table == nullptr) return code;
    bool any = false;
    for (int i = 0; i < table->FnFilter; ++i) {
      const uint8_t k = ColumnKindOf(table->FFilters[i]);
      any = any || k == sum_attr::kDimension || k == sum_attr::kMeasure;
    }
    if (!any) return 0;
    for (int i = 0; i < table->FnFilter; ++i) {
      const TFilter* filter = table->FFilters[i];
      if (ColumnKindOf(filter) == kind && filter->PV->FUserArea[sum_attr::kOrdinal] == ordinal) {
        return static_cast<int>(filter->FFilterID);
      }
    }
    return static_cast<int>(Q7_ERROR_NO_SUCH_DIMENSION);
  });
}

int SummaryColumnTotal(int table_id, int set_id, int column_id, int mode, bool with_decimals, double* total) {
  if (total == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  *total = -std::numeric_limits<double>::infinity();
  int code = 0;
  TRealTable* table = FindRealTable(table_id, &code);
  if (table == nullptr) return code;
  TSetArray* set = table->GetSet(set_id);
  if (set == nullptr) return Q7_ERROR_NO_SUCH_SET;
  if (table->FilterID2Pos(column_id) < 0) return Q7_ERROR_NO_SUCH_FILTER;
  TFilter* filter = table->GetFilter(column_id);
  if (filter == nullptr || filter->PV == nullptr || filter->VL == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  const int type = filter->VL->GetDataType();
  if (type != Q7_TYPE_INTEGER && type != Q7_TYPE_DOUBLE && !(with_decimals && type == Q7_TYPE_DECIMAL)) {
    return Q7_ERROR_CALC_TYPE;
  }
  if (mode != 0 && mode != 1) return Q7_ERROR_INVALID_PARAMETER;
  if (mode == 0) {
    const uint8_t* block = filter->PV->FUserArea;
    if (block[sum_attr::kColumnKind] == sum_attr::kDimension) return Q7_ERROR_CALC_TOTAL_KIND;
    if (block[sum_attr::kColumnKind] != sum_attr::kMeasure) return Q7_ERROR_NOT_SUMMARY_OUTPUT;
    if (block[sum_attr::kMeasureBit] != kSumCount && block[sum_attr::kMeasureBit] != kSumSum) {
      return Q7_ERROR_CALC_TOTAL_TYPE;
    }
  }

  TIntArray* pv = filter->PV;
  TBaseArray* values = filter->VL;
  const int n = set->FArraySize;
  const int* rows = set->PIntAr();
  double sum = 0;
  Numeric exact{};
  q7num::NumericSetZero(&exact);
  for (int i = 0; i < n; ++i) {
    const int row = rows[i];
    if (row < 0 || row >= pv->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    const int v = pv->PIntAr()[row];
    if (v <= 0) continue;
    if (v >= values->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    switch (type) {
      case Q7_TYPE_INTEGER:
        sum += static_cast<double>(static_cast<TIntArray*>(values)->PIntAr()[v]);
        break;
      case Q7_TYPE_DOUBLE:
        sum += static_cast<TDoubleArray*>(values)->GetDouble(v);
        break;
      default:
        q7num::NumericAdd(&exact, static_cast<const Numeric*>(values->GetAddress(v)), &exact);
        break;
    }
  }
  if (type == Q7_TYPE_DECIMAL) {
    NumericInfo info{};
    static_cast<TNumericArray*>(values)->GetDecimalInfo(&info);
    q7num::NumericNum2Dbl(&exact, &info, &sum);
  }
  *total = sum;
  return 0;
}

int innerQ7CalcTotal(int table_id, int set_id, int column_id, int mode, double* total) {
  const int code =
      Swallowed([&] { return SummaryColumnTotal(table_id, set_id, column_id, mode, false, total); });
  if (code < 0 && total != nullptr) *total = -std::numeric_limits<double>::infinity();
  return code;
}

int FP2Int(double x, double scale, long long* integer, long long* fraction) {
  double whole = 0;
  const double part = std::modf(x, &whole);
  *integer = static_cast<long long>(whole);
  *fraction = static_cast<long long>(std::floor(part * scale + 0.5));
  return 0;
}

int Int2FP(long long integer, long long fraction, double scale, double* out) {
  *out = static_cast<double>(fraction) / scale + static_cast<double>(integer);
  return 0;
}

namespace {

// Modulo 2^64, so that a sum comes out the same in any order.
long long WrapAdd64(long long a, long long b) {
  return static_cast<long long>(static_cast<unsigned long long>(a) + static_cast<unsigned long long>(b));
}

}  // namespace

void AddRounded(double x, double scale, RoundedSum* sum) {
  // Past 2^63 a double has no fraction, and its whole part no 64-bit integer.
  if (!(std::fabs(x) < 0x1p63)) {
    sum->beyond += x;
    return;
  }
  long long whole = 0;
  long long fraction = 0;
  FP2Int(x, scale, &whole, &fraction);
  sum->whole += whole;
  sum->fraction = WrapAdd64(sum->fraction, fraction);
}

void AddRoundedTimes(const RoundedSum& part, long long times, RoundedSum* sum) {
  sum->whole += part.whole * times;
  sum->fraction =
      WrapAdd64(sum->fraction, static_cast<long long>(static_cast<unsigned long long>(part.fraction) *
                                                      static_cast<unsigned long long>(times)));
  if (times != 0) sum->beyond += part.beyond * static_cast<double>(times);
}

double RoundedValue(const RoundedSum& sum, double scale) {
  // The order of Int2FP; adding a `beyond` of +0 leaves any sum as it is.
  return static_cast<double>(sum.fraction) / scale + static_cast<double>(sum.whole) + sum.beyond;
}
