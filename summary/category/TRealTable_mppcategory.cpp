// The parallel road of categorising: every distinct value of the target filter is tested against
// the definition rows on the worker pool (task 22, first pass), then every record is mapped through
// that per-value result (task 22, second pass).
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "summary/category/CategoryOperators.h"
#include "values/Numeric.h"
#include "values/PoolParam.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ZpkBlock.h"
#include "values/value.h"

int mpp_add_category(void* param);

namespace {

// The table name is cut shorter than on the serial road; both parts together may still exceed
// what a filter name holds, which AddFilter then refuses.
constexpr int kTableNameCut = 132;
constexpr int kFilterNameCut = 256;

// One definition row, read once before the workers start and only read by them.
struct CategoryDef {
  CompFunc comp;
  Value param1;
  Value param2;
  int category;  // value number in the category-value filter's list
};

enum class KeyKind { kInteger, kDouble, kDecimal };

// What both passes of task 22 read; one per run, shared by the workers.
struct AddCategoryRun {
  int pass = 1;
  // First pass: the target's value list (n entries, the NULL sentinel at 0) and the definitions.
  KeyKind kind = KeyKind::kDouble;
  const void* values = nullptr;
  NumericInfo info{};
  int n_values = 0;
  const CategoryDef* defs = nullptr;
  int n_defs = 0;
  int* result = nullptr;  // per value-list entry: the category value number, 0 for none
  // Second pass: the target's value numbers into the new filter's.
  const int* source = nullptr;
  int* out = nullptr;
};

struct AddCategoryParam {
  MppParamHeader header;
  AddCategoryRun* run;
  int start;  // entries or elements [start, end)
  int end;
};

Value KeyOf(const AddCategoryRun& r, int index) {
  switch (r.kind) {
    case KeyKind::kInteger:
      if (index == 0) return Value(-HUGE_VAL);
      return Value(static_cast<double>(static_cast<const int*>(r.values)[index]));
    case KeyKind::kDouble:
      if (index == 0) return Value(-HUGE_VAL);
      return Value(static_cast<const double*>(r.values)[index]);
    case KeyKind::kDecimal:
    default: {
      if (index == 0) {
        const Numeric nan = q7num::NanNumeric();
        return Value(&nan, &r.info);
      }
      return Value(static_cast<const Numeric*>(r.values) + index, &r.info);
    }
  }
}

int ClassifyValues(const AddCategoryParam* p) {
  const AddCategoryRun& r = *p->run;
  for (int v = p->start; v < p->end; ++v) {
    const Value key = KeyOf(r, v);
    int category = 0;
    for (int d = 0; d < r.n_defs; ++d) {
      const CategoryDef& def = r.defs[d];
      if (def.comp(key, def.param1, def.param2)) {
        category = def.category;
        break;
      }
    }
    r.result[v] = category;
  }
  return 0;
}

int MapRecords(const AddCategoryParam* p) {
  const AddCategoryRun& r = *p->run;
  for (int i = p->start; i < p->end; ++i) {
    const int number = r.source[i];
    // A value number outside the list would read past the result; the column is damaged.
    if (number < 0 || number >= r.n_values) return Q7_ERROR_ILLEGAL_ARRAY_DATA;
    r.out[i] = r.result[number];
  }
  return 0;
}

// Splits count items over n_threads_for_elements(count) workers in equal consecutive slices (the
// last takes the rest) and runs the run's current pass.
void RunPass(AddCategoryRun* run, int count) {
  const int workers = KernelThreads(count);
  const int slice = count / workers;
  for (int t = 0; t < workers; ++t) {
    AddCategoryParam* p = PoolParam<AddCategoryParam>(t);
    p->run = run;
    p->start = t * slice;
    p->end = t == workers - 1 ? count : (t + 1) * slice;
  }
  RunKernelTask(workers, kMppTaskAddCategory);
}

TFilter* SilentFilter(TRealTable* table, int filter_id) {
  const int pos = table->FilterID2Pos(filter_id);
  return pos < 0 ? nullptr : table->FFilters[pos];
}

int TypeOf(const TFilter* f) { return f->VL != nullptr ? f->VL->GetDataType() : 0; }

// The value-number array of a filter of the category table must hold every row.
const int* RowNumbers(TFilter* f, int rows) {
  if (f->PV == nullptr || f->PV->FArraySize <= rows) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Illegal data size");
  }
  return f->PV->PIntAr();
}

int CheckedNumber(const int* numbers, int row, const TBaseArray* list) {
  const int number = numbers[row];
  if (number < 0 || number >= list->FArraySize) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Illegal value number");
  }
  return number;
}

// null_info: the info a NULL decimal takes (the decimal target's), since two decimal NULLs of
// different scales do not compare equal and an EQ or NEQ on NULL would then miss the NULL records.
Value ParamValue(TFilter* f, int number, const NumericInfo* null_info) {
  if (f->VL->GetDataType() == Q7_TYPE_DECIMAL) {
    auto* list = static_cast<TNumericArray*>(f->VL);
    NumericInfo info;
    list->GetDecimalInfo(&info);
    if (number == 0 && null_info != nullptr) info = *null_info;
    return Value(static_cast<const Numeric*>(list->FData) + number, &info);
  }
  return Value(static_cast<const double*>(f->VL->FData)[number]);
}

// The definition records of the category table's rows, in row order (step 6 of the road).
std::vector<CategoryDef> ReadDefinitions(TFilter* const* f, int rows, const NumericInfo* null_info) {
  const int* commands = RowNumbers(f[0], rows);
  const int* params1 = RowNumbers(f[1], rows);
  const int* params2 = RowNumbers(f[2], rows);
  const int* categories = RowNumbers(f[3], rows);
  std::vector<CategoryDef> defs;
  try {
    defs.reserve(static_cast<size_t>(rows));
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
  }
  for (int row = 1; row <= rows; ++row) {
    const int command = CheckedNumber(commands, row, f[0]->VL);
    const char* text = command == 0 ? "" : static_cast<const char*>(f[0]->VL->GetAddress(command));
    const int op = Str2OpeCode(text);
    if (op < 0) throw CQ7Exception(Q7_ERROR_CATEGORY_DEFINITION, "Illegal data");
    const int p1 = CheckedNumber(params1, row, f[1]->VL);
    const int p2 = CheckedNumber(params2, row, f[2]->VL);
    if (p1 == 0 && op != kOpeEQ && op != kOpeNEQ) {
      throw CQ7Exception(Q7_ERROR_CATEGORY_DEFINITION, "NULL param1 not allowed");
    }
    if (p2 == 0 && !IsSingleParamOpe(op)) {
      throw CQ7Exception(Q7_ERROR_CATEGORY_DEFINITION, "NULL param2 not allowed");
    }
    CategoryDef def{kCompFuncs[op], ParamValue(f[1], p1, null_info), ParamValue(f[2], p2, null_info),
                    CheckedNumber(categories, row, f[3]->VL)};
    defs.push_back(def);
  }
  return defs;
}

int ExtendTypeOf(TFilter* f) { return static_cast<TDoubleArray*>(f->VL)->GetExtendType(); }

// AddFilter makes a name file-safe, which turns the brackets into "_"; a category column keeps
// "<table>(<filter>)" as its name, made unique the way AddFilter makes names unique.
void KeepBracketedName(TRealTable* table, int filter_id, const char* name) {
  const size_t length = strlen(name);
  if (length >= TFilter::kNameSize) return;
  char unique[TFilter::kNameSize + 16];
  memcpy(unique, name, length + 1);
  for (int n = 1; table->FilterName2Pos(unique) >= 0; ++n) {
    snprintf(unique + length, sizeof unique - length, "_#%d", n);
  }
  if (strlen(unique) >= TFilter::kNameSize) return;
  TFilter* filter = table->FFilters[table->FilterID2Pos(filter_id)];
  memcpy(filter->FFilterName, unique, strlen(unique) + 1);
}

}  // namespace

int mpp_add_category(void* param) {
  return TaskFrame([&] {
    const auto* p = static_cast<const AddCategoryParam*>(param);
    return p->run->pass == 1 ? ClassifyValues(p) : MapRecords(p);
  });
}

int TRealTable::MppAddCategory(int targetFilterID, int categoryTableID) {
  TFilter* target = SilentFilter(this, targetFilterID);
  if (target == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  const int target_type = TypeOf(target);
  if (target_type != Q7_TYPE_INTEGER && target_type != Q7_TYPE_DOUBLE && target_type != Q7_TYPE_DECIMAL) {
    return Q7_ERROR_INVALID_DATA_TYPE;
  }

  TTableCollection* db = FCollection != nullptr ? FCollection : CSmpEngine::Instance()->Database();
  const int loc = db != nullptr ? db->ID2Loc(categoryTableID) : Q7_ERROR_NO_SUCH_TABLE;
  if (loc < 0) return Q7_ERROR_NO_SUCH_TABLE;
  TBaseTable* base = db->TableAt(loc);
  if (base->GetType() != kTypeReal) return Q7_ERROR_NOT_REAL_TYPE;
  auto* categories = static_cast<TRealTable*>(base);

  int ids[kMaxFilters];
  const int n_filters = categories->GetFilterIDList(ids);
  if (n_filters < 0) return n_filters;
  if (n_filters < 4) return Q7_ERROR_CATEGORY_DEFINITION;
  TFilter* f[4];
  for (int i = 0; i < 4; ++i) f[i] = SilentFilter(categories, ids[i]);
  if (f[0] == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  if (TypeOf(f[0]) != Q7_TYPE_STRING) return Q7_ERROR_CATEGORY_DEFINITION;
  if (f[1] == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  const int param_type = TypeOf(f[1]);
  if (param_type != Q7_TYPE_DOUBLE && param_type != Q7_TYPE_DECIMAL) return Q7_ERROR_CATEGORY_DEFINITION;
  if (f[2] == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  if (TypeOf(f[2]) != param_type) return Q7_ERROR_CATEGORY_DEFINITION;
  if (param_type == Q7_TYPE_DOUBLE && ExtendTypeOf(f[1]) != ExtendTypeOf(f[2])) {
    return Q7_ERROR_CATEGORY_DEFINITION;
  }
  if (f[3] == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  const int rows = categories->TotalRecs();
  if (rows <= 0) return Q7_ERROR_EMPTY_CATEGORY;

  // Pending values carry negative value numbers that index no list entry; fold them in first
  // (this changes no value, and a shared table never has any).
  CheckMergeFilterTVL(true);
  if (categories != this) categories->CheckMergeFilterTVL(true);

  TBaseArray* list = target->VL;
  AddCategoryRun run;
  run.kind = target_type == Q7_TYPE_INTEGER  ? KeyKind::kInteger
             : target_type == Q7_TYPE_DOUBLE ? KeyKind::kDouble
                                             : KeyKind::kDecimal;
  run.values = list->FData;
  if (run.kind == KeyKind::kDecimal) static_cast<TNumericArray*>(list)->GetDecimalInfo(&run.info);
  const std::vector<CategoryDef> defs =
      ReadDefinitions(f, rows, run.kind == KeyKind::kDecimal ? &run.info : nullptr);
  run.n_values = list->FArraySize;
  run.defs = defs.data();
  run.n_defs = static_cast<int>(defs.size());
  if (run.n_values < 1 || target->PV == nullptr) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Illegal data size");
  }
  ZpkBlock<int> result(static_cast<size_t>(run.n_values));
  run.result = result.get();
  run.pass = 1;
  RunPass(&run, run.n_values);

  const int elements = target->PV->FArraySize;
  auto numbers = std::make_unique<TIntArray>(elements, 0);
  run.source = target->PV->PIntAr();
  run.out = numbers->PIntAr();
  run.pass = 2;
  RunPass(&run, elements);

  std::unique_ptr<TBaseArray> values(f[3]->VL->CopyArray());
  char name[kTableNameCut + kFilterNameCut + 3];
  snprintf(name, sizeof name, "%.*s(%.*s)", kTableNameCut, categories->FTableName, kFilterNameCut,
           target->FFilterName);
  char seed[sizeof name];
  memcpy(seed, name, sizeof name);
  const int id = AddFilter(FilterID2Pos(targetFilterID) + 1, seed, numbers.get(), values.get(), false, 0, -1);
  if (id < 0) throw CQ7Exception(id);
  numbers.release();
  values.release();
  KeepBracketedName(this, id, name);
  return id;
}
