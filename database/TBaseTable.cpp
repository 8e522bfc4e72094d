// The abstract table: set registration, set IDs and the services real and join tables share.
#include "database/TBaseTable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "values/ArrayFunctions.h"
#include "values/TStrArray.h"

TBaseTable::TBaseTable()
    : FDataVer(0),
      FTableID(0),
      FTableName{},
      FnSet(0),
      FSetCapacity(0),
      FSetIDs(nullptr),
      FMaxSetID(0),
      FCurrentSetID(0),
      FShmImage(0),
      FDBIndex(0) {}

TBaseTable::~TBaseTable() {
  zpk_free(FSetIDs);
  FSetIDs = nullptr;
}

void Free(TBaseTable* table) { delete table; }
void ClearMemory(TBaseTable* table) { delete table; }

int TBaseTable::GetTableKind() { return 0; }
int TBaseTable::GetNFilter() { return -1; }
int TBaseTable::GetType() { return 0; }
bool TBaseTable::isQ7TShared() { return false; }
int TBaseTable::DelSet(int) { return 0; }
int TBaseTable::GetCurrentSetID() { return FCurrentSetID; }

int TBaseTable::SetCurrentSetID(int set_id) {
  const int pos = SetID2Pos(set_id);
  // Storing the ID found (not the argument) keeps a negative argument from replacing the current
  // set by an ID that names nothing.
  if (pos >= 0) FCurrentSetID = FSetIDs[pos];
  return pos;
}

int TBaseTable::DecMaxSetID() {
  if (FMaxSetID >= 1) --FMaxSetID;
  return FMaxSetID;
}

int TBaseTable::UseUpSetID() {
  if (FMaxSetID < INT32_MAX) ++FMaxSetID;
  return FMaxSetID;
}

int TBaseTable::GetSetIDList(int max, int* out) {
  const int n = std::min(max, FnSet);
  if (n > 0) memcpy(out, FSetIDs, sizeof(int32_t) * n);
  return FnSet;
}

int TBaseTable::SetID2Pos(int set_id) {
  if (set_id < 0) set_id = FCurrentSetID;
  const int32_t* begin = FSetIDs;
  const int32_t* end = FSetIDs + FnSet;
  const int32_t* hit = std::lower_bound(begin, end, set_id);
  if (FSetIDs != nullptr && hit != end && *hit == set_id) return static_cast<int>(hit - FSetIDs);
  PutErrorLog("SetID2Pos", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
  return Q7_ERROR_NO_SUCH_SET;
}

int TBaseTable::ResetSetID(int, int next_set_id) {
  const int highest = FnSet > 0 ? FSetIDs[FnSet - 1] : 0;
  if (next_set_id < 1 || next_set_id <= highest) return Q7_ERROR_ILLEGAL_SET_ID;
  FMaxSetID = next_set_id - 1;
  return 0;
}

int TBaseTable::GetFilterWidth(int filter_id) {
  TFilter* filter = GetFilter(filter_id);
  if (filter == nullptr || filter->VL == nullptr) {
    PutErrorLog("GetFilterWidth", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  switch (ArrayDataTypeEx(filter->VL)) {
    case Q7_TYPE_INTEGER:
      return 4;
    case Q7_TYPE_DOUBLE:
      return 8;
    case Q7_TYPE_DECIMAL:
      return 16;
    case Q7_TYPE_STRING: {
      size_t longest = 0;
      auto* list = static_cast<TStrArray*>(filter->VL);
      for (int i = 1; i < list->FArraySize; ++i) longest = std::max(longest, strlen(list->GetPChar(i)));
      if (filter->TVL != nullptr && filter->TVLCount > 0) {
        auto* pending = static_cast<TStrArray*>(filter->TVL);
        for (int k = 1; k <= filter->TVLCount; ++k) longest = std::max(longest, strlen(pending->GetPChar(k)));
      }
      return static_cast<int>(longest);
    }
    default:
      PutErrorLog("GetFilterWidth", Q7_ERROR_ILLEGAL_FILTER_TYPE, "Illegal data type");
      return Q7_ERROR_ILLEGAL_FILTER_TYPE;
  }
}

void TBaseTable::GrowSetIDs(int new_capacity) {
  if (new_capacity <= FSetCapacity) return;
  auto* grown = static_cast<int32_t*>(zpk_realloc(FSetIDs, sizeof(int32_t) * new_capacity));
  memset(grown + FSetCapacity, 0, sizeof(int32_t) * (new_capacity - FSetCapacity));
  FSetIDs = grown;
  FSetCapacity = new_capacity;
}
