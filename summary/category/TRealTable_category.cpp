// The real table's serial categorisation: one new column whose value for each row is the category
// value that a category table's first matching definition gives the row's target value.
#include <cstdio>
#include <cstring>
#include <memory>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "summary/category/TCatDef.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"

namespace {

constexpr char kAddCategoryLog[] = "AddCategory";

// Room for the category table's name (at most 260 characters), "(", the target filter's name (at
// most 256) and ")".
constexpr int kColumnNameSize = 260 + 1 + 256 + 1 + 1;

// The new column is named with its parentheses, which AddFilter's file-safe rewrite of a name
// would turn into '_'; the name is set once the filter stands. A name the table already has
// takes "_#1", "_#2", ... as GenFilterName numbers them. False when no such name fits a filter
// name: the filter then keeps the name AddFilter gave it.
bool PickColumnName(TRealTable* table, const char* name, char* out) {
  if (std::strlen(name) >= static_cast<size_t>(TFilter::kNameSize)) return false;
  qz7_strlcpy(out, name, TFilter::kNameSize);
  for (int n = 1; table->FilterName2Pos(out) >= 0; ++n) {
    if (std::snprintf(out, TFilter::kNameSize, "%s_#%d", name, n) >= TFilter::kNameSize) return false;
  }
  return true;
}

}  // namespace

int TRealTable::AddCategory(int targetFilterID, int categoryTableID) {
  TTableCollection* tables = FCollection != nullptr ? FCollection : CSmpEngine::Instance()->Database();
  TBaseTable* category = tables != nullptr ? tables->GetTable(categoryTableID) : nullptr;
  if (category == nullptr) {
    PutErrorLog(kAddCategoryLog, Q7_ERROR_NO_SUCH_TABLE, getString("No Such Table: %d ", categoryTableID));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  if (category->GetType() != kTypeReal) {
    PutErrorLog(kAddCategoryLog, Q7_ERROR_NOT_REAL_TYPE, "Illegal table type ( Not REAL )");
    return Q7_ERROR_NOT_REAL_TYPE;
  }
  try {
    CheckMergeFilterTVL(false);
    auto* category_table = static_cast<TRealTable*>(category);
    if (category_table != this) category_table->CheckMergeFilterTVL(false);

    TCatTarget target(this, targetFilterID);
    TCatDef def(categoryTableID, target.FFilter, tables);
    def.MapCategory();

    const int rows = TotalRecs();
    TIntArray* target_vno = target.FFilter->PV;
    if (target_vno == nullptr || target_vno->FArraySize < rows + 1)
      throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    auto column = std::make_unique<TIntArray>(rows + 1, 1);
    std::unique_ptr<TBaseArray> values(def.FCatValFilter->VL->CopyArray());

    def.Fix_piCatNo();
    CategorizeRows(def.piCatNo.get(), def.FnTarget, target_vno->PIntAr(), column->PIntAr(), rows);

    char name[kColumnNameSize];
    std::snprintf(name, sizeof name, "%.260s(%.256s)", category_table->FTableName,
                  target.FFilter->FFilterName);
    char exact[TFilter::kNameSize];
    const bool keep_exact = PickColumnName(this, name, exact);
    const int id =
        AddFilter(FilterID2Pos(targetFilterID) + 1, name, column.get(), values.get(), false, 0, -1);
    if (id < 0) return id;
    column.release();
    values.release();
    if (keep_exact) qz7_strlcpy(FFilters[FilterID2Pos(id)]->FFilterName, exact, TFilter::kNameSize);
    return id;
  } catch (...) {
    return CurrentFailureCode();
  }
}
