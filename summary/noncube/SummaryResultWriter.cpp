// A measure's sum-type mask split for the cube sums, and the cube summary's output-table writers.
#include "summary/noncube/SummaryResultWriter.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ZpkAllocator.h"
#include "summary/cube/TSummary.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

CubeMeasureFlags SplitCubeMask(int mask, int measure_type) {
  CubeMeasureFlags f;
  f.count = mask & 1 ? 1 : 0;
  f.max = mask & 2 ? 1 : 0;
  f.min = mask & 4 ? 1 : 0;
  const bool number =
      measure_type == Q7_TYPE_INTEGER || measure_type == Q7_TYPE_DOUBLE || measure_type == Q7_TYPE_DECIMAL;
  // A text list holds no numbers to add: reading it as doubles would add garbage.
  f.sum = number && (mask & 8) ? 1 : 0;
  f.average = number && (mask & 16) ? 1 : 0;
  return f;
}

namespace {

TTableCollection* Collection() {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return db;
}

// Adds one measure column of `rows` values; its ID or a negative code.
int AddValues(TRealTable* table, const std::string& seed, int type, int width, int rows, void* data) {
  std::vector<char> work(seed.begin(), seed.end());
  work.resize(TFilter::kNameSize, '\0');
  work[TFilter::kNameSize - 1] = '\0';
  char name[TFilter::kNameSize];
  const int code = table->GenFilterName(work.data(), name);
  if (code < 0) return code;
  return table->MppAddFilter2(TRealTable::kAppendPosition, name, type, rows, width, data, 0, -1);
}

}  // namespace

void TSummary::DeleteOutputTable() {
  const int id = out_table_id_;
  out_table_id_ = 0;
  if (id <= 0) return;
  TTableCollection* db = CSmpEngine::Instance()->Database();
  // The output is new and nothing refers to it yet, so this cannot be refused for dependents.
  if (db != nullptr) db->DelTable(id);
}

int TSummary::Sum2Table(int* rows) {
  int r = 0;
  for (int c = 0; c < cell_count_; ++c) r += count_[c] != 0 ? 1 : 0;
  *rows = r;
  return MakeOutputTable(r);
}

int TSummary::Sum2Table(int rows) { return MakeOutputTable(rows); }

void TSummary::SettleOutputTable() {
  TBaseTable* out = Collection()->GetTable(out_table_id_);
  if (out == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  // Small column writes may leave values pending; the table is handed over with every list complete.
  static_cast<TRealTable*>(out)->CheckMergeFilterTVL(true);
}

int TSummary::MakeOutputTable(int rows) {
  TTableCollection* db = Collection();
  std::string seed = std::string("XTBL_") + table_->FTableName;
  if (seed.size() >= TBaseTable::kNameSize) seed.resize(TBaseTable::kNameSize - 1);
  char name[TBaseTable::kNameSize];
  int code = db->GenTableName(seed.c_str(), name);
  if (code < 0) return code;
  const int id = db->AddRealTable(name, rows);
  if (id < 0) return id;
  out_table_id_ = id;
  try {
    auto* out = static_cast<TRealTable*>(db->GetTable(id));
    if (out == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    for (int d = 0; d < dim_count_; ++d) {
      const Dimension& dim = dims_[d];
      auto numbers = std::make_unique<TIntArray>(rows + 1, 1);
      int* vno = numbers->PIntAr();
      int at = 0;
      for (int c = 0; c < cell_count_; ++c) {
        if (count_[c] == 0) continue;
        if (at == rows) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
        // Method 0 keeps the category (the value number under the identity map); the packed methods
        // the field, of the cell itself or of the group's address.
        const int a = group_addr_ != nullptr ? group_addr_[c] : c;
        vno[++at] = packed_ ? (a >> dim_shift_[d]) & dim_mask_[d] : (c / dim.stride) % dim.def.category_count;
      }
      if (at != rows) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
      std::unique_ptr<TBaseArray> list(dim.filter->VL->CopyArray());
      char seed_name[TFilter::kNameSize];
      char column[TFilter::kNameSize];
      qz7_strlcpy(seed_name, dim.filter->FFilterName, sizeof seed_name);
      code = out->GenFilterName(seed_name, column);
      if (code < 0) throw CQ7Exception(code);
      code = out->AddFilter(TRealTable::kAppendPosition, column, numbers.get(), list.get(), false, 0, -1);
      if (code < 0) throw CQ7Exception(code);
      numbers.release();
      list.release();
    }
  } catch (const CQ7Exception& e) {
    DeleteOutputTable();
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    DeleteOutputTable();
    return Q7_ERROR_UNKNOWN;
  }
  return id;
}

int TSummary::AppendSum2Table(int table_id, int rows, int count, int max, int min, int sum, int average) {
  return AppendMeasureColumns(table_id, rows, count, max, min, sum, average);
}

int TSummary::AddMsrFlt(int max, int min, int sum, int average, int count) {
  return AppendMeasureColumns(out_table_id_, occurring_, count, max, min, sum, average);
}

int TSummary::AppendMeasureColumns(int table_id, int rows, int count, int max, int min, int sum,
                                   int average) {
  TBaseTable* base = Collection()->GetTable(table_id);
  if (base == nullptr || base->GetTableKind() != 0) return Q7_ERROR_NO_SUCH_TABLE;
  auto* out = static_cast<TRealTable*>(base);
  const std::string measure = measure_filter_ != nullptr ? measure_filter_->FFilterName : "";
  const std::string bracket = "<" + measure + ">";
  const size_t n = static_cast<size_t>(rows) + 1;  // never an empty block to hand over
  ZpkVector<int> cells;
  cells.reserve(n);
  for (int c = 0; c < cell_count_; ++c) {
    if (count_[c] != 0) cells.push_back(c);
  }
  if (static_cast<int>(cells.size()) != rows) return Q7_ERROR_INNER_ENGINE;
  TBaseArray* vl = measure_filter_ != nullptr ? measure_filter_->VL : nullptr;
  const bool decimal = measure_type_ == Q7_TYPE_DECIMAL;
  NumericInfo info{};
  if (decimal) static_cast<TNumericArray*>(vl)->GetDecimalInfo(&info);
  int result = 0;

  // A new DECIMAL column takes the measure's scale and rounding mode.
  auto set_info = [&](int id) {
    if (id > 0 && decimal) static_cast<TNumericArray*>(out->GetFilter(id)->VL)->SetDecimalInfo(&info);
  };

  if (count) {
    ZpkVector<int> values(n, 0);
    for (int i = 0; i < rows; ++i) values[i] = count_[cells[i]];
    result = AddValues(out, measure_filter_ != nullptr ? "N" + bracket : "N", Q7_TYPE_INTEGER, 4, rows,
                       values.data());
    if (result < 0) return result;
  }
  for (int pass = 0; pass < 2 && vl != nullptr; ++pass) {
    if ((pass == 0 && !max) || (pass == 1 && !min)) continue;
    const int* picks = pass == 0 ? max_.get() : min_.get();
    const std::string name = (pass == 0 ? "MAX" : "MIN") + bracket;
    switch (measure_type_) {
      case Q7_TYPE_INTEGER: {
        const int* list = static_cast<const int*>(vl->FData);
        ZpkVector<int> values(n, 0);
        for (int i = 0; i < rows; ++i) values[i] = list[picks[cells[i]]];
        result = AddValues(out, name, Q7_TYPE_INTEGER, 4, rows, values.data());
        break;
      }
      case Q7_TYPE_DOUBLE: {
        // A date, time or datetime column keeps its kind in the result.
        const double* list = static_cast<const double*>(vl->FData);
        ZpkVector<double> values(n, 0.0);
        for (int i = 0; i < rows; ++i) values[i] = list[picks[cells[i]]];
        result = AddValues(out, name, measure_ext_type_, 8, rows, values.data());
        break;
      }
      case Q7_TYPE_DECIMAL: {
        const Numeric* list = static_cast<const Numeric*>(vl->FData);
        ZpkVector<Numeric> values(n, Numeric{});
        for (int i = 0; i < rows; ++i) values[i] = list[picks[cells[i]]];
        result = AddValues(out, name, Q7_TYPE_DECIMAL, 16, rows, values.data());
        set_info(result);
        break;
      }
      default: {
        ZpkVector<char*> values(n, nullptr);
        for (int i = 0; i < rows; ++i) values[i] = static_cast<char*>(vl->GetAddress(picks[cells[i]]));
        result = AddValues(out, name, Q7_TYPE_STRING, static_cast<int>(sizeof(char*)), rows, values.data());
        break;
      }
    }
    if (result < 0) return result;
  }
  for (int pass = 0; pass < 2 && vl != nullptr; ++pass) {
    if ((pass == 0 && !sum) || (pass == 1 && !average)) continue;
    const std::string name = (pass == 0 ? "SUM" : "AVG") + bracket;
    if (decimal) {
      ZpkVector<Numeric> values(n, Numeric{});
      for (int i = 0; i < rows; ++i) {
        values[i] = dsum_[cells[i]];
        if (pass == 1) q7num::NumericDiv(&values[i], &info, count_[cells[i]]);
      }
      result = AddValues(out, name, Q7_TYPE_DECIMAL, 16, rows, values.data());
      set_info(result);
    } else {
      ZpkVector<double> values(n, 0.0);
      for (int i = 0; i < rows; ++i) {
        values[i] = sum_[cells[i]];
        if (pass == 1) values[i] /= count_[cells[i]];
      }
      result = AddValues(out, name, Q7_TYPE_DOUBLE, 8, rows, values.data());
    }
    if (result < 0) return result;
  }
  return result;
}
