// Quiet lookups and value-list holds by which long-lived summary objects tell that their source is gone.
#include "summary/SourceCheck.h"

#include <algorithm>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "values/TBaseArray.h"
#include "values/ValueListShare.h"

TBaseTable* FindTableQuietly(int table_id) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) return nullptr;
  const int pos = db->ID2Loc(table_id);
  return pos < 0 ? nullptr : db->TableAt(pos);
}

bool HasSet(const TBaseTable* table, int set_id) {
  return table->FSetIDs != nullptr &&
         std::binary_search(table->FSetIDs, table->FSetIDs + table->FnSet, set_id);
}

TFilter* FindFilterQuietly(TBaseTable* table, int filter_id) {
  if (table->GetTableKind() == 0) {
    auto* real = static_cast<TRealTable*>(table);
    const int pos = real->FilterID2Pos(filter_id);
    return pos < 0 ? nullptr : real->FFilters[pos];
  }
  // A join's columns are fixed: 1 .. M+S.
  if (filter_id < 1 || filter_id > table->GetNFilter()) return nullptr;
  return table->GetFilter(filter_id);
}

HeldValueList::~HeldValueList() { ReleaseValueList(list_); }

void HeldValueList::Hold(TBaseArray* list) {
  RetainValueList(list);
  ReleaseValueList(list_);
  list_ = list;
  size_ = list != nullptr ? list->FArraySize : 0;
}

bool HeldValueList::ListedBy(const TFilter* filter) const {
  return filter->VL == list_ && (list_ == nullptr || list_->FArraySize == size_);
}
