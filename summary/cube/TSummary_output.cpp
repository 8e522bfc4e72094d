// A cube summary written into a new real table or appended to one.
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/ZpkAllocator.h"
#include "summary/SummaryOutput.h"
#include "summary/cube/TSummary.h"
#include "values/CCompiler.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr char kIntoLog[] = "SummaryIntoRealTable";
constexpr char kAppendLog[] = "AppendSummaryToRealTable";
constexpr int kAppendPosition = 1024;

// A code that a builder below returned and recorded already: it ends the output without a
// further entry.
class ReturnedCode : public CQ7Exception {
 public:
  explicit ReturnedCode(int code) : CQ7Exception(code) {}
};

int Check(int result) {
  if (result < 0) throw ReturnedCode(result);
  return result;
}

TTableCollection* Collection() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

// Runs the building of an output; a failure runs `undo` first. A CQ7Exception comes back as its
// code, recorded under log_name unless a builder returned and recorded it already; anything else
// is rethrown.
template <class Build, class Undo>
int UndoneOnFailure(const char* log_name, Build&& build, Undo&& undo) {
  try {
    return build();
  } catch (const ReturnedCode& e) {
    undo();
    return e.ErrorCode();
  } catch (const CQ7Exception& e) {
    PutErrorLog(log_name, e.ErrorCode(), e.Message());
    undo();
    return e.ErrorCode();
  } catch (...) {
    undo();
    throw;
  }
}

int DecimalDigits(int n) {
  int digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return digits;
}

// Appends one measure column of `rows` values of `type`; returns its ID.
int AddMeasureColumn(TRealTable* out, const char* seed, int type, int rows, const void* data,
                     std::vector<int>* added) {
  char name[TBaseTable::kNameSize];
  char seed_copy[TBaseTable::kNameSize];
  std::snprintf(seed_copy, sizeof seed_copy, "%s", seed);
  Check(out->GenFilterName(seed_copy, name));
  const int id = Check(out->AddFilter2(kAppendPosition, name, type, rows, ValueTypeWidth(type), data, 0, -1));
  added->push_back(id);
  return id;
}

void SetDecimalInfoOf(TRealTable* out, int column_id, const NumericInfo& info) {
  TFilter* filter = out->GetFilter(column_id);
  if (filter == nullptr || filter->VL == nullptr || filter->VL->GetDataType() != Q7_TYPE_DECIMAL) {
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
  }
  static_cast<TNumericArray*>(filter->VL)->SetDecimalInfo(&info);
}

}  // namespace

int TSummary::OutputRowCount(bool* skip) const {
  if (!count_) throw CQ7Exception(Q7_ERROR_INVALID_OUTPUT_PARAMETER);
  if (!*skip) return cell_count_;
  int rows = 0;
  for (int c = 0; c < cell_count_; ++c) {
    if (count_[c] != 0) ++rows;
  }
  if (rows == cell_count_) *skip = false;
  return rows;
}

int TSummary::SummaryIntoRealTable(int bits, int skip_empty) {
  int new_id = 0;
  // The table is the output's only while it is being built: a failure takes it away again.
  auto drop_new_table = [&new_id] {
    if (new_id <= 0) return;
    TTableCollection* db = CSmpEngine::Instance()->Database();
    if (db != nullptr) db->DelTable(new_id);
    new_id = 0;
  };
  return UndoneOnFailure(
      kIntoLog,
      [&] {
        TTableCollection* db = Collection();
        bool skip = skip_empty != 0;
        const int rows = OutputRowCount(&skip);
        std::string seed = "XTBL_";
        seed += table_->FTableName;
        char name[TBaseTable::kNameSize];
        const int named = db->GenTableName(seed.c_str(), name);
        if (named < 0) return named;
        const int id = db->AddRealTable(name, rows);
        if (id < 0) return id;
        new_id = id;
        TBaseTable* made = db->GetTable(id);
        if (made == nullptr || made->GetType() != TBaseTable::kTypeReal) {
          throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
        }
        auto* out = static_cast<TRealTable*>(made);
        for (int d = 0; d < dim_count_; ++d) AddDimensionColumn(out, d, rows, skip);
        const int appended = AppendSummaryToRealTable(id, bits, skip ? 1 : 0);
        if (appended < 0) {
          drop_new_table();
          return appended;
        }
        return id;
      },
      drop_new_table);
}

void TSummary::AddDimensionColumn(TRealTable* out, int d, int rows, bool skip) {
  const Dimension& dim = dims_[d];
  const int categories = dim.def.category_count;
  // A mapped dimension's list has the empty text first, so its categories count from 1.
  const int offset = dim.identity ? 0 : 1;

  auto numbers = std::make_unique<TIntArray>(rows + 1, 1);
  int* pv = numbers->PIntAr();
  int filled = 0;
  for (int c = 0; c < cell_count_ && filled <= rows; ++c) {
    if (skip && count_[c] == 0) continue;
    ++filled;
    if (filled <= rows) pv[filled] = (c / dim.stride) % categories + offset;
  }
  if (filled != rows) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");

  std::unique_ptr<TBaseArray> list;
  if (dim.identity) {
    list.reset(dim.filter->VL->CopyArray());
  } else {
    // Category numbers right-aligned to one width keep the texts in category order, as a value
    // list must be.
    char format[16];
    std::snprintf(format, sizeof format, "%%%dd:%%s", DecimalDigits(categories + 2));
    std::vector<std::string> texts(static_cast<size_t>(categories) + 1);
    for (int k = 0; k < categories; ++k) {
      char* name = nullptr;
      if (dim.def.category_names != nullptr) {
        name = dim.def.category_names[k];
      } else {
        const int answer =
            dim.def.name_callback(handle_, out->FTableID, d, dim.def.column_id, categories, k, &name);
        if (answer == Q7_ERROR_INVALID_PARAMETER) {
          throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : CallBackRet");
        }
      }
      const char* text = name != nullptr ? name : "";
      const int size = std::snprintf(nullptr, 0, format, k, text);
      std::string& entry = texts[static_cast<size_t>(k) + 1];
      entry.resize(static_cast<size_t>(size) + 1);
      std::snprintf(entry.data(), entry.size(), format, k, text);
      entry.resize(static_cast<size_t>(size));
    }
    const size_t n = texts.size();
    ZpkBlock<char*> pointers(n);
    if (!pointers) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    for (size_t k = 0; k < n; ++k) pointers[k] = texts[k].data();
    list = std::make_unique<TStrArray>(static_cast<int>(n), pointers.get());
    pointers.Release();  // the list has taken the block over as its offsets
  }

  char seed[TFilter::kNameSize];
  std::snprintf(seed, sizeof seed, "%s", dim.filter->FFilterName);
  char name[TFilter::kNameSize];
  Check(out->GenFilterName(seed, name));
  Check(out->AddFilter(kAppendPosition, name, numbers.get(), list.get(), false, 0, -1));
  numbers.release();
  list.release();
}

int TSummary::AppendSummaryToRealTable(int table_id, int bits, int skip_empty) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  TBaseTable* table = db != nullptr ? db->GetTable(table_id) : nullptr;
  if (table == nullptr) {
    PutErrorLog(kAppendLog, Q7_ERROR_UNKNOWN, getString("No Such Table: %d ", table_id));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  // Columns are added only where a table may take them: a real table of this process that no join
  // or value-list sharer depends on.
  if (table->GetType() != TBaseTable::kTypeReal) return Q7_ERROR_NOT_REAL_TABLE;
  if (table->FShmImage != 0 || table->isQ7TShared()) return Q7_ERROR_SHARED_READ_ONLY;
  if (db->IsReferred(table_id)) return Q7_ERROR_NOT_EDITABLE;
  auto* out = static_cast<TRealTable*>(table);

  std::vector<int> added;
  auto drop_added = [out, &added] {
    for (auto it = added.rbegin(); it != added.rend(); ++it) out->DropFilter(*it);
    added.clear();
  };
  return UndoneOnFailure(
      kAppendLog,
      [&] {
        out->CheckMergeFilterTVL(true);
        bool skip = skip_empty != 0;
        AppendCubeMeasures(out, bits, skip, &added);
        return 0;
      },
      drop_added);
}

void TSummary::AppendCubeMeasures(TRealTable* out, int bits, bool skip, std::vector<int>* added) {
  const int rows = OutputRowCount(&skip);
  const bool has_measure = measure_filter_ != nullptr;
  const bool decimal = has_measure && measure_type_ == Q7_TYPE_DECIMAL;
  auto wanted = [&](int bit) { return (bits & bit) != 0 && (computed_ & bit) != 0; };

  // The cells that get a row, in cell order.
  ZpkVector<int> cells;
  cells.reserve(static_cast<size_t>(rows));
  for (int c = 0; c < cell_count_; ++c) {
    if (!skip || count_[c] != 0) cells.push_back(c);
  }
  if (static_cast<int>(cells.size()) != rows)
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");

  if (wanted(kSumCount)) {
    ZpkVector<int32_t> data(cells.size());
    for (size_t r = 0; r < cells.size(); ++r) data[r] = count_[cells[r]];
    AddMeasureColumn(out, "COUNT", Q7_TYPE_INTEGER, rows, data.data(), added);
  }

  const bool extremes = has_measure && (measure_type_ == Q7_TYPE_INTEGER || measure_type_ == Q7_TYPE_DOUBLE ||
                                        measure_type_ == Q7_TYPE_STRING || measure_type_ == Q7_TYPE_DECIMAL);
  if (extremes) {
    TBaseArray* values = measure_filter_->VL;
    // A date, time or datetime measure keeps its kind in MAX and MIN.
    const int type = measure_type_ == Q7_TYPE_DOUBLE ? measure_ext_type_ : measure_type_;
    const size_t width = static_cast<size_t>(ValueTypeWidth(type));
    NumericInfo info{};
    if (decimal) static_cast<TNumericArray*>(values)->GetDecimalInfo(&info);
    for (int bit : {kSumMax, kSumMin}) {
      if (!wanted(bit)) continue;
      const ZpkBlock<int>& numbers = bit == kSumMax ? max_ : min_;
      ZpkVector<char> data(cells.size() * width);
      for (size_t r = 0; r < cells.size(); ++r) {
        // An empty cell holds value number 0, the list's NULL.
        void* value = values->GetAddress(numbers[cells[r]]);
        if (type == Q7_TYPE_STRING) {
          std::memcpy(data.data() + r * width, &value, sizeof value);
        } else {
          std::memcpy(data.data() + r * width, value, width);
        }
      }
      const int id = AddMeasureColumn(out, bit == kSumMax ? "MAX" : "MIN", type, rows, data.data(), added);
      if (decimal) SetDecimalInfoOf(out, id, info);
    }
  }

  if (!has_measure || (computed_ & kSumSum) == 0) return;
  // AVERAGE is written from the computed COUNT and SUM, whether or not their own columns are asked.
  const bool average = (bits & kSumAverage) != 0 && (computed_ & kSumCount) != 0;
  if (decimal) {
    NumericInfo info{};
    static_cast<TNumericArray*>(measure_filter_->VL)->GetDecimalInfo(&info);
    ZpkVector<Numeric> sums(cells.size());
    for (size_t r = 0; r < cells.size(); ++r) sums[r] = dsum_[cells[r]];
    if (wanted(kSumSum))
      SetDecimalInfoOf(out, AddMeasureColumn(out, "SUM", Q7_TYPE_DECIMAL, rows, sums.data(), added), info);
    if (!average) return;
    for (size_t r = 0; r < cells.size(); ++r) {
      const int n = count_[cells[r]];
      if (n != 0) q7num::NumericDiv(&sums[r], &info, n);
    }
    SetDecimalInfoOf(out, AddMeasureColumn(out, "AVERAGE", Q7_TYPE_DECIMAL, rows, sums.data(), added), info);
    return;
  }
  ZpkVector<double> sums(cells.size());
  for (size_t r = 0; r < cells.size(); ++r) sums[r] = sum_[cells[r]];
  if (wanted(kSumSum)) AddMeasureColumn(out, "SUM", Q7_TYPE_DOUBLE, rows, sums.data(), added);
  if (!average) return;
  // An empty cell keeps the SUM's NULL.
  for (size_t r = 0; r < cells.size(); ++r) {
    const int n = count_[cells[r]];
    if (n != 0) sums[r] /= static_cast<double>(n);
  }
  AddMeasureColumn(out, "AVERAGE", Q7_TYPE_DOUBLE, rows, sums.data(), added);
}

void TSummary::SetupSummaryInfo(int table_id, int column_id, int source_column_id, int kind,
                                int measure_bit) {
  TBaseTable* table = Collection()->GetTable(table_id);
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  if (table->GetType() != TBaseTable::kTypeReal) throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE);
  SummaryInfoCounters counters{info_dims_, info_measures_};
  WriteSummaryColumnInfo(static_cast<TRealTable*>(table), column_id, sum_attr::kCubeSummary, join_ != nullptr,
                         dim_count_, table_id_, set_id_, source_column_id, kind, measure_bit, &counters);
  info_dims_ = counters.dims;
  info_measures_ = counters.measures;
}
