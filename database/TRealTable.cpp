// Real table structure: construction, destruction, facts and filter management. The set registry
// is in TRealTable_sets.cpp.
#include "database/TRealTable.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"
#include "values/ZpkBlock.h"

namespace {

// The text a raw STRING column's NULL element points at.
constexpr char Q7_NULL_STR[] = "";

bool ValidType(int type) { return type >= Q7_TYPE_INTEGER && type <= Q7_TYPE_DECIMAL; }

// Writes the type's NULL into one raw element (width bytes).
void PutRawNull(int type, void* element) {
  switch (type) {
    case Q7_TYPE_INTEGER: {
      const int32_t v = INT32_MIN;
      memcpy(element, &v, sizeof v);
      break;
    }
    case Q7_TYPE_STRING: {
      const char* p = Q7_NULL_STR;
      memcpy(element, &p, sizeof p);
      break;
    }
    case Q7_TYPE_DECIMAL: {
      Numeric nan;
      q7num::NumericSetNan(&nan);
      memcpy(element, &nan, sizeof nan);
      break;
    }
    default: {
      const double v = -HUGE_VAL;
      memcpy(element, &v, sizeof v);
      break;
    }
  }
}

// One element holding the type's NULL, of the type's array class.
TBaseArray* NewNullValueList(int type) {
  const int width = ValueTypeWidth(type);
  auto* block = static_cast<unsigned char*>(zpk_malloc(static_cast<size_t>(width)));
  PutRawNull(type, block);
  return AdoptCompiledList(type, 1, block);
}

}  // namespace

// ---- Construction and destruction ----

void TRealTable::InitFields() {
  FSearchID = kFirstSearchID;
  FFindFilterID = -1;
  FFindFilter = nullptr;
  FHitCount = -1;
  FHitMapSize = 0;
  FHitMap = nullptr;
  FSets = nullptr;
  FnFilter = 0;
  FLastFilterID = 0;
  memset(FFilters, 0, sizeof FFilters);
  initLSHMTBLEntry(&FShmEntry);
}

TRealTable::TRealTable() { InitFields(); }

void TRealTable::NameTable(int id, char* name, TTableCollection* names) {
  if (names == nullptr) names = CSmpEngine::Instance()->Database();
  char unique[kNameSize];
  int rc = 0;
  if (names != nullptr) {
    rc = names->GenTableName(name, unique);
  } else if (verifySeedName(name, unique, TTableCollection::m_nDisableTrimUntilSharp != 0) == 0) {
    rc = Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  if (rc < 0) throw CQ7Exception(Q7_ERROR_TABLE_NAME_GENERATION);
  FTableID = id;
  qz7_strlcpy(FTableName, unique, sizeof FTableName);
}

TRealTable::TRealTable(int id, char* name, TTableCollection* names) {
  InitFields();
  NameTable(id, name, names);
}

TRealTable::TRealTable(int id, char* name, int n_rows, TTableCollection* names) {
  InitFields();
  NameTable(id, name, names);
  try {
    // As InitAsSet, but a large table's set (an import's) is written on the pool, which also
    // spreads the first touch of its fresh pages.
    auto all = std::make_unique<TSetArray>(n_rows, 0);
    all->AdjustMemArea();
    MppFillSequence(all->PIntAr(), all->FArraySize, 1);
    AddSetWithoutCopy(all.get());
    all.release();
  } catch (...) {
    FreeMem();
    throw;
  }
}

TRealTable::~TRealTable() {
  // A destructor cannot report: a registry lock that cannot be taken leaves the entry attached,
  // and the registry's own clean-up at stop detaches it.
  DetachLSHMTBLEntry(&FShmEntry);
  CloseFindSession();
  FreeMem();
}

void TRealTable::CloseFindSession() {
  ++FSearchID;
  FFindFilterID = -1;
  FFindFilter = nullptr;
  FHitCount = 0;
  FHitMapSize = 0;
  zpk_free(FHitMap);
  FHitMap = nullptr;
}

void TRealTable::FreeMem() {
  for (int i = 0; i < FnSet; ++i) {
    delete FSets[i];
    FSets[i] = nullptr;
  }
  for (int i = 0; i < FnFilter; ++i) {
    delete FFilters[i];
    FFilters[i] = nullptr;
  }
  FnSet = 0;
  FnFilter = 0;
  zpk_free(FSets);
  FSets = nullptr;
  zpk_free(FSetIDs);
  FSetIDs = nullptr;
  FSetCapacity = 0;
}

// ---- Facts ----

int TRealTable::GetTableKind() { return 0; }
int TRealTable::GetNFilter() { return FnFilter; }
int TRealTable::GetType() { return kTypeReal; }
int TRealTable::TotalRecs() { return FnSet > 0 && FSets[0] != nullptr ? FSets[0]->FArraySize : 0; }
bool TRealTable::isQ7TShared() { return isQ7TSharedLSHMTBLEntry(&FShmEntry); }

int64_t TRealTable::GetMemSize() {
  int64_t total = sizeof(TRealTable) + int64_t{12} * FSetCapacity;
  for (int i = 0; i < FnSet; ++i) {
    if (FSets[i] != nullptr) total += FSets[i]->GetMemSize();
  }
  for (int i = 0; i < FnFilter; ++i) total += FFilters[i]->GetMemSize();
  if (FHitMap != nullptr) total += FHitMapSize;
  return total;
}

// ---- Adding filters ----

int TRealTable::AddFilter(int position, char* name, TIntArray* value_numbers, TBaseArray* value_list,
                          bool shared_value_list, int, int origin_filter_id) {
  // A stored last filter ID can sit at the top of the range: the next ID would wrap.
  if (FnFilter >= kMaxFilters || FLastFilterID == INT32_MAX) {
    PutErrorLog("AddFilter", Q7_ERROR_FILTER_COUNT_OVERFLOW, "FilterCount overflow");
    return Q7_ERROR_FILTER_COUNT_OVERFLOW;
  }
  if (!ToFileName(name)) {
    PutErrorLog("AddFilter", Q7_ERROR_ILLEGAL_FILTER_NAME,
                getString("Invalid Parameter : FilterName(%s)", name));
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  char unique[kNameSize];
  const int rc = GenFilterName(name, unique);
  if (rc < 0) {
    PutErrorLog("AddFilter", rc, getString("Invalid Parameter : FilterName(%s)", name));
    return rc;
  }
  if (position < 0) position = 0;
  if (position > FnFilter) position = FnFilter;

  std::unique_ptr<TFilter> made(new (std::nothrow) TFilter(FLastFilterID + 1, unique));
  if (made == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  // A borrowed list gets this filter's own hold, so that its owner may replace or free it.
  if (shared_value_list) {
    made->BorrowValueList(value_list);
  } else {
    made->VL = value_list;
  }
  made->PV = value_numbers;
  TFilter* filter = made.release();
  memmove(FFilters + position + 1, FFilters + position, sizeof(TFilter*) * (FnFilter - position));
  FFilters[position] = filter;
  ++FnFilter;
  ++FLastFilterID;

  filter->FOrgFltID = origin_filter_id >= 0 ? origin_filter_id : filter->FFilterID;
  return filter->FFilterID;
}

int TRealTable::AddOwnedFilter(int position, char* name, TIntArray* value_numbers, TBaseArray* value_list,
                               int origin_filter_id) {
  std::unique_ptr<TIntArray> numbers(value_numbers);
  std::unique_ptr<TBaseArray> list(value_list);
  const int id = AddFilter(position, name, numbers.get(), list.get(), false, 0, origin_filter_id);
  if (id > 0) {
    numbers.release();
    list.release();
  }
  return id;
}

bool TRealTable::FilterCountFull(const char* log_name, const char* message) const {
  if (FnFilter < kMaxFilters) return false;
  PutErrorLog(log_name, Q7_ERROR_FILTER_COUNT_OVERFLOW, message);
  return true;
}

int TRealTable::AddFilter2(int position, char* name, int type, int count, int width, const void* data, int,
                           int origin_filter_id) {
  if (FilterCountFull("AddFilter2", "FilterSize overflow")) return Q7_ERROR_FILTER_COUNT_OVERFLOW;
  if (!ToFileName(name)) {
    PutErrorLog("AddFilter2", Q7_ERROR_ILLEGAL_FILTER_NAME, "Invalid Parameter : FilterName");
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  const int rows = TotalRecs();
  if (count < rows) {
    PutErrorLog("AddFilter2", Q7_ERROR_INVALID_UNIT_WIDTH, "Illegal data size");
    return Q7_ERROR_INVALID_UNIT_WIDTH;
  }
  if (!ValidType(type)) {
    PutErrorLog("AddFilter2", Q7_ERROR_INVALID_DATA_TYPE, "Invalid Parameter : DataType");
    throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
  // The raw block is copied with this width, so a wrong one would read past the caller's data.
  if (width != ValueTypeWidth(type)) {
    PutErrorLog("AddFilter2", Q7_ERROR_INVALID_UNIT_WIDTH, "Illegal data size");
    return Q7_ERROR_INVALID_UNIT_WIDTH;
  }
  if (rows > 0 && data == nullptr) {
    PutErrorLog("AddFilter2", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Data");
    return Q7_ERROR_INVALID_PARAMETER;
  }

  // Element 0 (not a record) holds NULL so that NULL takes value number 0; only the table's
  // record count of values follows, whatever count says, so the value-number array always fits
  // the table. The compile reads the caller's block where it lies, with the NULL element implied.
  const size_t elements = static_cast<size_t>(rows) + 1;
  int* numbers = nullptr;
  int value_count = 0;
  void* values = nullptr;
  MppCompileWithNull(rows, type, width, data, &numbers, &value_count, &values);
  ZpkBlock<int> numbers_guard(numbers);
  TBaseArray* list = AdoptCompiledList(type, value_count, values);
  auto* number_array = new (std::nothrow) TIntArray(static_cast<int>(elements), numbers);
  if (number_array == nullptr) {
    delete list;
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  numbers_guard.Release();
  return AddOwnedFilter(position, name, number_array, list, origin_filter_id);
}

int TRealTable::AddEmptyFilter(int position, char* name, int type, int, int origin_filter_id) {
  if (FilterCountFull("AddEmptyFilter", "FilterCount overflow")) return Q7_ERROR_FILTER_COUNT_OVERFLOW;
  if (!ToFileName(name)) {
    PutErrorLog("AddEmptyFilter", Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName");
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  if (!ValidType(type)) {
    PutErrorLog("AddEmptyFilter", Q7_ERROR_INVALID_DATA_TYPE,
                getString("Invalid Parameter : DataType(%d)", type));
    throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
  auto numbers = std::make_unique<TIntArray>(TotalRecs() + 1, 1);
  TBaseArray* list = NewNullValueList(type);
  return AddOwnedFilter(position, name, numbers.release(), list, origin_filter_id);
}

int TRealTable::AddDummyFilter2(int position, char* name, int type, int count, int unused,
                                int origin_filter_id) {
  if (TotalRecs() > count) return Q7_ERROR_INVALID_UNIT_WIDTH;
  return AddEmptyFilter(position, name, type, unused, origin_filter_id);
}

int TRealTable::GenFilterName(char* seed, char* out) {
  if (strcmp(seed, "RecNo") == 0) memcpy(seed, "RECNO", 5);
  char base[kNameSize];
  if (verifySeedName(seed, base, TTableCollection::m_nDisableTrimUntilSharp != 0) == 0) {
    PutErrorLog("GenFilterName", Q7_ERROR_ILLEGAL_FILTER_NAME,
                getString("Invalid Parameter : SeedName(%s)", seed));
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  // Room for the longest candidate: a 255-byte seed, "_#" and ten digits.
  char candidate[kNameSize + 16];
  snprintf(candidate, sizeof candidate, "%s", base);
  for (int n = 1; FilterName2Pos(candidate) >= 0; ++n)
    snprintf(candidate, sizeof candidate, "%s_#%d", base, n);
  if (strlen(candidate) >= static_cast<size_t>(kNameSize)) {
    PutErrorLog("GenFilterName", Q7_ERROR_ILLEGAL_FILTER_NAME,
                getString("Invalid Parameter : GenName(%s)", candidate));
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  memcpy(out, candidate, strlen(candidate) + 1);
  return 0;
}

// ---- Dropping and moving filters ----

int TRealTable::DropFilter(int filter_id) {
  if (FFindFilterID >= 0 && FFindFilterID == filter_id) CloseFindSession();
  const int pos = FilterID2Pos(filter_id);
  if (pos < 0) {
    PutErrorLog("DropFilter", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  if (FCollection != nullptr) {
    for (int i = 0; i < FCollection->TableCount(); ++i) {
      TBaseTable* t = FCollection->TableAt(i);
      if (t->GetType() != kTypeJoin) continue;
      char join_name[kNameSize];
      int master_table, master_set, master_key, slave_table, slave_set, slave_key;
      static_cast<TJoinTableBase*>(t)->GetJoinInfo(join_name, &master_table, &master_set, &master_key,
                                                   &slave_table, &slave_set, &slave_key);
      if ((master_table == FTableID && master_key == filter_id) ||
          (slave_table == FTableID && slave_key == filter_id)) {
        PutErrorLog("DropFilter", Q7_ERROR_NOT_EDITABLE, "Failed to refere table");
        return Q7_ERROR_NOT_EDITABLE;
      }
    }
  }
  delete FFilters[pos];
  memmove(FFilters + pos, FFilters + pos + 1, sizeof(TFilter*) * (FnFilter - pos - 1));
  FFilters[--FnFilter] = nullptr;
  return 0;
}

int TRealTable::MoveFilter(int from, int to) {
  if (from < 0 || from >= FnFilter) {
    PutErrorLog("MoveFilter", Q7_ERROR_INVALID_KEY_PARAMETER, "Invalid Parameter : FromIndex");
    return Q7_ERROR_INVALID_KEY_PARAMETER;
  }
  if (to < 0 || to > FnFilter) {
    PutErrorLog("MoveFilter", Q7_ERROR_INVALID_KEY_PARAMETER, "Invalid Parameter : ToIndex");
    to = to < 0 ? 0 : FnFilter;
  }
  // Position count is one past the last slot: it means "last".
  if (to == FnFilter) to = FnFilter - 1;
  if (from == to) return 0;
  TFilter* moving = FFilters[from];
  if (to < from) {
    memmove(FFilters + to + 1, FFilters + to, sizeof(TFilter*) * (from - to));
  } else {
    memmove(FFilters + from, FFilters + from + 1, sizeof(TFilter*) * (to - from));
  }
  FFilters[to] = moving;
  return 0;
}

// ---- Lookups ----

int TRealTable::FilterID2Pos(int filter_id) {
  for (int i = 0; i < FnFilter; ++i) {
    if (FFilters[i]->FFilterID == filter_id) return i;
  }
  return Q7_ERROR_NO_SUCH_FILTER;
}

int TRealTable::FilterName2Pos(const char* name) {
  for (int i = 0; i < FnFilter; ++i) {
    if (strcmp(FFilters[i]->FFilterName, name) == 0) return i;
  }
  return Q7_ERROR_NO_SUCH_FILTER;
}

int TRealTable::FilterName2ID(const char* name) {
  const int pos = FilterName2Pos(name);
  return pos < 0 ? pos : FFilters[pos]->FFilterID;
}

TFilter* TRealTable::GetFilter(int filter_id) {
  const int pos = FilterID2Pos(filter_id);
  if (pos >= 0) return FFilters[pos];
  PutErrorLog("GetFilter", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
  return nullptr;
}

int TRealTable::GetFilterIDFromName(char* name, int) {
  const int id = FilterName2ID(name);
  if (id < 0) PutErrorLog("GetFilterIDFromName", Q7_ERROR_NO_SUCH_FILTER, "No Filter");
  return id;
}

char* TRealTable::FilterID2Name(int filter_id, char* table_name, char* filter_name) {
  const int pos = FilterID2Pos(filter_id);
  if (pos < 0) {
    table_name[0] = '\0';
    filter_name[0] = '\0';
  } else {
    qz7_strlcpy(table_name, FTableName, kNameSize);
    qz7_strlcpy(filter_name, FFilters[pos]->FFilterName, TFilter::kNameSize);
  }
  return filter_name;
}

int TRealTable::GetFilterIDList(int* out) {
  for (int i = 0; i < FnFilter; ++i) out[i] = FFilters[i]->FFilterID;
  return FnFilter;
}
