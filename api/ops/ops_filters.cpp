// Filter operations: listing, describing, adding, copying, moving and deleting a table's filters.
#include "api/ops/ops_filters.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_import.h"
#include "api/ops/ops_rowedit.h"
#include "api/ops/ops_scale.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "import/ImportEntry.h"
#include "import/ImportText.h"
#include "join/TJoinTable.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

static_assert(offsetof(_TFilterInfo, rowCount) == 0);
static_assert(offsetof(_TFilterInfo, valueNumbers) == 8);
static_assert(offsetof(_TFilterInfo, type) == 16);
static_assert(offsetof(_TFilterInfo, unit) == 20);
static_assert(offsetof(_TFilterInfo, valueCount) == 24);
static_assert(offsetof(_TFilterInfo, values) == 32);
static_assert(offsetof(_TFilterInfo, stringArea) == 40);
static_assert(offsetof(_TFilterInfo, name) == 48);
static_assert(offsetof(_TFilterInfo, reserved) == 304);
static_assert(offsetof(_TFilterInfo, originTable) == 312);
static_assert(offsetof(_TFilterInfo, originFilter) == 316);
static_assert(sizeof(_TFilterInfo) == 320);

static_assert(offsetof(_TRFilterInfo, rowCount) == 0);
static_assert(offsetof(_TRFilterInfo, type) == 4);
static_assert(offsetof(_TRFilterInfo, unit) == 8);
static_assert(offsetof(_TRFilterInfo, valueCount) == 12);
static_assert(offsetof(_TRFilterInfo, stringAreaSize) == 16);
static_assert(offsetof(_TRFilterInfo, name) == 20);
static_assert(sizeof(_TRFilterInfo) == 276);

static_assert(offsetof(_TRFilterBody, valueNumberCapacity) == 0);
static_assert(offsetof(_TRFilterBody, valueNumbers) == 8);
static_assert(offsetof(_TRFilterBody, valueCapacity) == 16);
static_assert(offsetof(_TRFilterBody, values) == 24);
static_assert(offsetof(_TRFilterBody, stringAreaCapacity) == 32);
static_assert(offsetof(_TRFilterBody, stringArea) == 40);
static_assert(sizeof(_TRFilterBody) == 48);

namespace {

constexpr int kMaxScale = 38;
constexpr int kMaxRoundingMode = 6;
// The decimal copy of DupRealFilterEx.
constexpr int kDupDecimalScale = 6;

void RefuseNullOutput(const char* ring_name, const void* out, const char* what) {
  if (out == nullptr) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : %s", what);
  }
}

// The filter, without an entry of the table's own for a miss; null when there is none.
TFilter* FilterOf(TRealTable* table, int filter_id) {
  const int pos = table->FilterID2Pos(filter_id);
  return pos < 0 ? nullptr : table->FFilters[pos];
}

int64_t StringAreaInUse(TBaseArray* list) {
  return ArrayDataType(list) == Q7_TYPE_STRING ? static_cast<TStrArray*>(list)->FPCLast : 0;
}

// The engine-memory view of a filter whose value numbers all index its value list.
void FillFilterRecord(TFilter* filter, _TFilterInfo* info) {
  TIntArray* numbers = filter->PV;
  TBaseArray* list = filter->VL;
  const int type = ArrayDataTypeEx(list);
  info->rowCount = numbers->FArraySize;
  info->valueNumbers = numbers->PIntAr();
  info->type = type;
  info->unit = list->FUnitSize;
  info->valueCount = list->FArraySize;
  info->values = list->FData;
  info->stringArea = type == Q7_TYPE_STRING ? static_cast<TStrArray*>(list)->FStrArea : nullptr;
  qz7_strlcpy(info->name, filter->FFilterName, sizeof info->name);
  info->originTable = filter->FOrgTblID;
  info->originFilter = filter->FOrgFltID;
}

// A join's two key columns. They are built from sources whose pending values were folded in, so
// they hold none to merge; and they share one value list, which must not be rebuilt through
// either of them.
struct JoinKeys {
  TFilter* master;
  TFilter* slave;
};

JoinKeys FindJoinKeys(const char* ring_name, int table_id) {
  TBaseTable* table = FindTable(ring_name, table_id);
  if (table->GetType() != TBaseTable::kTypeJoin) {
    Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_JOIN_TABLE, "Not JoinTable: %d", table_id);
  }
  auto* join = static_cast<TJoinTable*>(table);
  // A join the host can reach has both built; a missing one must not be read through.
  if (join->FMasterKeyFilter == nullptr || join->FSlaveKeyFilter == nullptr) {
    RefuseSilently(Q7_ERROR_NO_SUCH_FILTER);
  }
  return JoinKeys{join->FMasterKeyFilter, join->FSlaveKeyFilter};
}

}  // namespace

// ---- Reading ----

int innerQ7GetFilterIDList(int table_id, int* ids) {
  constexpr char kName[] = "Q7GetFilterIDList";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id, MissEntry::kTrailingBlank);
    RefuseNullOutput(kName, ids, "FilterIDs");
    return CheckInner(kName, table->GetFilterIDList(ids));
  });
}

int innerQ7GetNFilter(int table_id) {
  constexpr char kName[] = "Q7GetNFilter";
  return RunOp(kName, [&] { return CheckInner(kName, FindTable(kName, table_id)->GetNFilter()); });
}

int innerQ7GetFilterWidth(int table_id, int filter_id) {
  constexpr char kName[] = "Q7GetFilterWidth";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id, MissEntry::kTrailingBlank);
    return CheckInner(kName, table->GetFilterWidth(filter_id));
  });
}

int innerQ7GetFilterType(int table_id, int filter_id) {
  constexpr char kName[] = "Q7GetFilterType";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id, MissEntry::kTrailingBlank);
    return ArrayDataTypeEx(FindFilter(kName, table, filter_id)->VL);
  });
}

int innerQ7GetFilter(int table_id, int filter_id, _TFilterInfo* info) {
  constexpr char kName[] = "Q7GetFilter";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    TFilter* filter = FindFilter(kName, table, filter_id);
    RefuseNullOutput(kName, info, "FilterInfo");
    // A value number of a pending value is negative and would index outside the list the host
    // reads through; the host sees the merged column.
    if (filter->TVLCount > 0) filter->MergeTVL(true);
    FillFilterRecord(filter, info);
    return 0;
  });
}

int innerQ7GetJoinKey(int table_id, _TFilterInfo* master, _TFilterInfo* slave) {
  constexpr char kName[] = "Q7GetJoinKey";
  return RunOp(kName, [&] {
    const JoinKeys keys = FindJoinKeys(kName, table_id);
    RefuseNullOutput(kName, master, "FilterInfo");
    RefuseNullOutput(kName, slave, "FilterInfo");
    FillFilterRecord(keys.master, master);
    FillFilterRecord(keys.slave, slave);
    return 0;
  });
}

int innerQ7GetFilterAttr(int table_id, int filter_id, void** block, bool for_writing) {
  constexpr char kName[] = "Q7GetFilterAttr";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    TFilter* filter = FindFilter(kName, table, filter_id);
    RefuseNullOutput(kName, block, "AttrBlock");
    if (for_writing && filter->VL->FNotOwned != 0) RefuseSilently(Q7_ERROR_SHARED_READ_ONLY);
    *block = filter->VL->FUserArea;
    // The host writes the block after the call returns: handing it out for writing is the change.
    if (for_writing) MarkTablesChanged();
    return 0;
  });
}

int innerQ7GetSubsetAttr(int table_id, int set_id, void** block, bool for_writing) {
  constexpr char kName[] = "Q7GetSubsetAttr";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    TSetArray* set = FindSet(kName, table, set_id);
    RefuseNullOutput(kName, block, "AttrBlock");
    if (for_writing && set->FNotOwned != 0) RefuseSilently(Q7_ERROR_SHARED_READ_ONLY);
    *block = set->FUserArea;
    if (for_writing) MarkSetsChanged();
    return 0;
  });
}

// ---- Changing ----

int innerQ7DeleteRealFilter(int table_id, int filter_id) {
  constexpr char kName[] = "Q7DeleteRealFilter";
  return ChangedOnSuccess(Changes::kTables, RunOp(kName, [&] {
                            TRealTable* table = FindEditableRealTable(kName, table_id);
                            const int result = table->DropFilter(filter_id);
                            if (result == Q7_ERROR_NOT_EDITABLE)
                              Refuse(kName, result, result, "Refered by Join");
                            if (result == Q7_ERROR_NO_SUCH_FILTER)
                              Refuse(kName, result, result, "No such filter exist");
                            CheckInner(kName, result);
                            MarkTablesChanged();
                            return result;
                          }));
}

int innerQ7MoveRealFilter(int table_id, int from, int to) {
  constexpr char kName[] = "Q7MoveRealFilter";
  return ChangedOnSuccess(Changes::kTables, RunOp(kName, [&] {
                            TBaseTable* table = FindTable(kName, table_id);
                            RefuseShared(table);
                            return RequireReal(kName, table)->MoveFilter(from, to);
                          }));
}

namespace {

template <class Dup>
int RunDup(const char* ring_name, int table_id, Dup&& dup) {
  return RunOp(ring_name, [&] {
    TBaseTable* table = FindTable(ring_name, table_id);
    RefuseShared(table);
    return CheckInner(ring_name, dup(RequireReal(ring_name, table)));
  });
}

}  // namespace

int innerQ7DupRealFilter(int table_id, int filter_id) {
  return ChangedOnSuccess(Changes::kTables, RunDup("Q7DupRealFilter", table_id,
                                                   [&](TRealTable* t) { return t->DupFilter(filter_id); }));
}

int innerQ7DupRealFilterEx(int table_id, int filter_id, int type) {
  return ChangedOnSuccess(Changes::kTables, RunDup("Q7DupRealFilterEx", table_id, [&](TRealTable* t) {
                            if (type == Q7_TYPE_DECIMAL)
                              return t->DupFilterEx(filter_id, type, kDupDecimalScale, Q7_ROUND_HALF_UP);
                            return t->DupFilterEx(filter_id, type, -1, -1);
                          }));
}

int innerQ7DupRealFilterExNumeric(int table_id, int filter_id, int scale, int rounding_mode) {
  constexpr char kName[] = "Q7DupRealFilterExNumeric";
  return RunDup(kName, table_id, [&](TRealTable* t) {
    if (scale < 0 || scale > kMaxScale) {
      Refuse(kName, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(%d)",
             scale);
    }
    if (rounding_mode < 0 || rounding_mode > kMaxRoundingMode) {
      Refuse(kName, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
             "Invalid Parameter : rounding_mode(%d)", rounding_mode);
    }
    return t->DupFilterEx(filter_id, Q7_TYPE_DECIMAL, scale, rounding_mode);
  });
}

int PrepareAppend(const char* ring_name, TRealTable* table, TFilter* filter, int type, int start_row,
                  int count, const void* data) {
  if (ArrayDataTypeEx(filter->VL) != type) RefuseSilently(Q7_ERROR_FILTER_TYPE_MISMATCH);
  // Checked before rows are added, so that a write the overwrite would refuse adds nothing.
  if (data == nullptr) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : PWData");
  }
  if (count < 1) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
           "Invalid Parameter : WriteCount(%d)", count);
  }
  if (start_row == 0) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
           "Invalid Parameter : WriteStart(%d)", start_row);
  }
  const int total = table->TotalRecs();
  // Records are numbered in an int, and the record count must stay below INT32_MAX.
  const int64_t start = start_row < 0 ? int64_t{total} + 1 : start_row;
  if (start + count - 1 > INT32_MAX - 1) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
           "Invalid Parameter : WriteCount(%d)", count);
  }
  const int64_t missing = start + count - (int64_t{total} + 1);
  if (missing > 0) {
    const int added = table->InsRows(total + 1, static_cast<int>(missing));
    if (added < 0) RefuseSilently(added);
  }
  return static_cast<int>(start);
}

int innerQ7AppendRealFilter2(int table_id, int filter_id, int type, int start_row, int count, void* data) {
  constexpr char kName[] = "Q7AppendRealFilter2";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kName, [&] {
        TRealTable* table = FindEditableRealTable(kName, table_id);
        TFilter* filter = FilterOf(table, filter_id);
        if (filter == nullptr) RefuseSilently(Q7_ERROR_NO_SUCH_FILTER);
        const int start = PrepareAppend(kName, table, filter, type, start_row, count, data);
        const int result = CheckInner(kName, table->OverWriteEx(1, filter_id, start, count, data));
        MarkTablesChanged();
        return result;
      }));
}

int innerQ7AddRealFilter2(int table_id, int position, const char* name, int type, int rows, int unit,
                          const void* data) {
  constexpr char kName[] = "Q7AddRealFilter2";
  return ChangedOnSuccess(Changes::kTables, RunOp(kName, [&] {
                            if (name != nullptr && strnlen(name, kMaxNameLength + 1) > kMaxNameLength) {
                              PutErrorLog(kName, Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName");
                              throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName");
                            }
                            // The table may rewrite the name in place to make it file-safe; the host's text
                            // stays as given.
                            char work[kGeneratedNameSize];
                            if (name != nullptr && name[0] != '\0') {
                              qz7_strlcpy(work, name, sizeof work);
                            } else {
                              MakeGeneratedName(kFilterPrefix, 0, work);
                            }
                            TBaseTable* table = FindTable(kName, table_id);
                            RefuseShared(table);
                            TRealTable* real = RequireReal(kName, table);
                            const int id =
                                data != nullptr
                                    ? real->AddFilter2(position, work, type, rows, unit, data, table_id, -1)
                                    : real->AddDummyFilter2(position, work, type, rows, table_id, -1);
                            CheckInner(kName, id);
                            MarkTablesChanged();
                            return id;
                          }));
}

// ---- Record fillers ----

void FillFilterSummary(TFilter* filter, const char* name, _TRFilterInfo* info) {
  TBaseArray* list = filter->VL;
  info->rowCount = filter->PV->FArraySize;
  info->type = ArrayDataTypeEx(list);
  info->unit = list->FUnitSize;
  info->valueCount = list->FArraySize;
  info->stringAreaSize = static_cast<int32_t>(StringAreaInUse(list));
  qz7_strlcpy(info->name, name, sizeof info->name);
}

void CheckFilterBody(const char* ring_name, const _TRFilterBody* body) {
  if (body == nullptr) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
           "Invalid Parameter : FilterBody");
  }
  if (body->valueNumberCapacity < 0 || body->valueCapacity < 0 || body->stringAreaCapacity < 0) {
    Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: %d, %d, %d ",
           body->valueNumberCapacity, body->valueCapacity, body->stringAreaCapacity);
  }
  if ((body->valueNumberCapacity > 0 && body->valueNumbers == nullptr) ||
      (body->valueCapacity > 0 && body->values == nullptr) ||
      (body->stringAreaCapacity > 0 && body->stringArea == nullptr)) {
    Refuse(ring_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
           "Invalid Parameter : FilterBody");
  }
}

void CopyFilterBody(TFilter* filter, const _TRFilterBody* body) {
  const size_t numbers = static_cast<size_t>(std::min(filter->PV->FArraySize, body->valueNumberCapacity));
  if (numbers > 0) memcpy(body->valueNumbers, filter->PV->FData, numbers * sizeof(int32_t));

  TBaseArray* list = filter->VL;
  const size_t values = static_cast<size_t>(std::min(list->FArraySize, body->valueCapacity));
  auto* out = static_cast<unsigned char*>(body->values);
  if (ArrayDataType(list) == Q7_TYPE_DECIMAL && body->valueCapacity > 0) {
    // A decimal buffer starts with the list's scale and rounding mode.
    NumericInfo decimal_info;
    static_cast<TNumericArray*>(list)->GetDecimalInfo(&decimal_info);
    memcpy(out, &decimal_info, sizeof decimal_info);
    out += sizeof decimal_info;
  }
  if (values > 0) memcpy(out, list->FData, values * static_cast<size_t>(list->FUnitSize));

  const int64_t in_use = StringAreaInUse(list);
  const size_t bytes = static_cast<size_t>(std::min<int64_t>(in_use, body->stringAreaCapacity));
  if (bytes > 0) memcpy(body->stringArea, static_cast<TStrArray*>(list)->FStrArea, bytes);
}

namespace {

constexpr size_t kAttributeSize = 64;

// The scale and rounding mode a decimal filter may take; a refusal is thrown, for RunOp or the
// exported frame to record.
void CheckScaleAndMode(int scale, int rounding_mode) {
  if (scale < 0 || scale > q7num::kMaxColumnScale) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(%d)", scale);
  }
  if (!q7num::IsValidMode(rounding_mode)) {
    throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : rounding_mode(%d)", rounding_mode);
  }
}

void CheckAttributeBlock(const void* block) {
  if (block == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Attribute");
}

// ---- Summaries and bodies ----

// The table and its filter, with the pending values of a real table merged so that every value
// number indexes the value list the host is about to read.
TFilter* MergedFilter(const char* ring, int table_id, int filter_id, TBaseTable** table_out) {
  TBaseTable* table = FindTable(ring, table_id);
  TFilter* filter = FindFilter(ring, table, filter_id);
  if (table->GetType() == TBaseTable::kTypeReal) static_cast<TRealTable*>(table)->CheckMergeFilterTVL(true);
  *table_out = table;
  return filter;
}

int FilterSummary(const char* ring, int table_id, int filter_id, _TRFilterInfo* out) {
  return RunOp(ring, [&] {
    CheckHostPointer(out, "FilterInfo");
    TBaseTable* table = nullptr;
    TFilter* filter = MergedFilter(ring, table_id, filter_id, &table);
    const char* name = ReportedFilterName(table, filter_id, filter);
    if (name == nullptr) {
      Refuse(ring, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_FILTER, "%s", NoSuchFilterText(filter_id));
    }
    _TRFilterInfo info{};
    FillFilterSummary(filter, name, &info);
    *out = info;
    return 0;
  });
}

int FilterBody(const char* ring, int table_id, int filter_id, _TRFilterBody* body) {
  return RunOp(ring, [&] {
    CheckFilterBody(ring, body);
    TBaseTable* table = nullptr;
    TFilter* filter = MergedFilter(ring, table_id, filter_id, &table);
    CopyFilterBody(filter, body);
    return 0;
  });
}

// ---- Attribute blocks ----

using AttributeOp = int (*)(int, int, void**, bool);

int ReadAttributes(AttributeOp op, int table_id, int id, void* block) {
  CheckAttributeBlock(block);
  void* engine_block = nullptr;
  const int result = op(table_id, id, &engine_block, false);
  if (result < 0) return result;
  memcpy(block, engine_block, kAttributeSize);
  return result;
}

int WriteAttributes(AttributeOp op, int table_id, int id, const void* block) {
  CheckAttributeBlock(block);
  void* engine_block = nullptr;
  const int result = op(table_id, id, &engine_block, true);
  if (result < 0) return result;
  memcpy(engine_block, block, kAttributeSize);
  return result;
}

// ---- Filters added with an optional source file ----

// What the host's directory and file name say about the source of a new filter.
enum class FilterSource { kNone, kFile };

// dir + "/" + file must fit the layer's path buffer; an empty file name, or a file that exists and
// is empty, means no source.
FilterSource SourceOf(const char* dir, const char* file) {
  if (file == nullptr || file[0] == '\0') return FilterSource::kNone;
  char path[kHostPathSize];
  const int length = snprintf(path, sizeof path, "%s%s%s", dir != nullptr ? dir : "", "/", file);
  if (length < 0 || static_cast<size_t>(length) >= sizeof path) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FileName(%.64s...)", file);
  }
  struct stat info;
  if (stat(path, &info) == 0 && info.st_size == 0) return FilterSource::kNone;
  return FilterSource::kFile;
}

// The source file's name: dir, a '/' unless dir ends with one, then file (SourceOf has bounded it).
std::string SourcePath(const char* dir, const char* file) {
  const char* d = dir != nullptr ? dir : "";
  std::string path(strlen(d) + strlen(file) + 2, '\0');
  build_AbsoluteName(d, file, path.data());
  return std::string(path.c_str());
}

}  // namespace

// ---- The RQ7 forms ----

int innerRQ7GetFilterInfo(int table_id, int filter_id, _TRFilterInfo* info) {
  return FilterSummary("RQ7GetFilterInfo", table_id, filter_id, info);
}

int innerRQ7GetFilterBody(int table_id, int filter_id, _TRFilterBody* body) {
  return FilterBody("RQ7GetFilterBody", table_id, filter_id, body);
}

int innerRQ7GetJoinKeyInfo(int table_id, _TRFilterInfo* master, _TRFilterInfo* slave) {
  constexpr char kName[] = "RQ7GetJoinKeyInfo";
  return RunOp(kName, [&] {
    CheckHostPointer(master, "FilterInfo");
    CheckHostPointer(slave, "FilterInfo");
    const JoinKeys keys = FindJoinKeys(kName, table_id);
    _TRFilterInfo infos[2] = {};
    FillFilterSummary(keys.master, keys.master->FFilterName, &infos[0]);
    FillFilterSummary(keys.slave, keys.slave->FFilterName, &infos[1]);
    *master = infos[0];
    *slave = infos[1];
    return 0;
  });
}

int innerRQ7GetJoinKeyBody(int table_id, _TRFilterBody* master, _TRFilterBody* slave) {
  constexpr char kName[] = "RQ7GetJoinKeyBody";
  return RunOp(kName, [&] {
    CheckHostPointer(master, "FilterBody");
    CheckHostPointer(slave, "FilterBody");
    auto negative = [](const _TRFilterBody* b) {
      return b->valueNumberCapacity < 0 || b->valueCapacity < 0 || b->stringAreaCapacity < 0;
    };
    // All six capacities are judged, and named in the entry, before either side is looked at.
    if (negative(master) || negative(slave)) {
      Refuse(kName, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_INVALID_PARAMETER,
             "Illegal Buffer size: %d, %d, %d,%d, %d, %d ", master->valueNumberCapacity,
             master->valueCapacity, master->stringAreaCapacity, slave->valueNumberCapacity,
             slave->valueCapacity, slave->stringAreaCapacity);
    }
    CheckFilterBody(kName, master);
    CheckFilterBody(kName, slave);
    const JoinKeys keys = FindJoinKeys(kName, table_id);
    CopyFilterBody(keys.master, master);
    CopyFilterBody(keys.slave, slave);
    return 0;
  });
}

int innerRQ7GetFilterAttr(int table_id, int filter_id, void* block) {
  return ReadAttributes(innerQ7GetFilterAttr, table_id, filter_id, block);
}

int innerRQ7SetFilterAttr(int table_id, int filter_id, const void* block) {
  return ChangedOnSuccess(Changes::kTables,
                          WriteAttributes(innerQ7GetFilterAttr, table_id, filter_id, block));
}

int innerRQ7GetSubsetAttr(int table_id, int set_id, void* block) {
  return ReadAttributes(innerQ7GetSubsetAttr, table_id, set_id, block);
}

int innerRQ7SetSubsetAttr(int table_id, int set_id, const void* block) {
  return ChangedOnSuccess(Changes::kSets, WriteAttributes(innerQ7GetSubsetAttr, table_id, set_id, block));
}

int innerRQ7DupRealFilterExNumeric(int table_id, int filter_id, int scale, int rounding_mode) {
  CheckScaleAndMode(scale, rounding_mode);
  return ChangedOnSuccess(Changes::kTables,
                          innerQ7DupRealFilterExNumeric(table_id, filter_id, scale, rounding_mode));
}

int innerRQ7AddRealFilter2(int table_id, int position, const char* name, int type, int rows, int unit,
                           const char* dir, const char* file) {
  constexpr char kRing[] = "RQ7AddRealFilter2";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kRing, [&] {
        if (type == Q7_TYPE_DECIMAL) {
          throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE, "Invalid Parameter : DataType(%d)", type);
        }
        RefuseShared(FindTable(kRing, table_id));
        if (SourceOf(dir, file) == FilterSource::kNone) {
          return innerQ7AddRealFilter2(table_id, position, name, type, rows, unit, nullptr);
        }
        if (name != nullptr && strnlen(name, kMaxNameLength + 1) > kMaxNameLength) {
          RefuseSilently(Q7_ERROR_ILLEGAL_FILTER_NAME);
        }
        // The reader names the field; a null or empty name is generated when the filter is added.
        std::string filter_name = name != nullptr ? name : "";
        std::string path = SourcePath(dir, file);
        return ReadColumnFile(kRing, [&] {
          return addFilterFromFile(table_id, position, filter_name.data(), type, rows, path.data());
        });
      }));
}

int innerRQ7AddRealFilter2Numeric(int table_id, int position, const char* name, int rows, int scale,
                                  int rounding_mode, const char* dir, const char* file) {
  constexpr char kRing[] = "RQ7AddRealFilter2Numeric";
  return ChangedOnSuccess(Changes::kTables, RunOp(kRing, [&] {
                            CheckScaleAndMode(scale, rounding_mode);
                            TBaseTable* table = FindTable(kRing, table_id);
                            RefuseShared(table);
                            const FilterSource source = SourceOf(dir, file);
                            const int filter_id =
                                innerQ7AddRealFilter2(table_id, position, name, Q7_TYPE_DECIMAL, rows,
                                                      static_cast<int>(sizeof(Numeric)), nullptr);
                            if (filter_id < 0) return filter_id;
                            const NumericInfo info{scale, rounding_mode};
                            int status = innerQ7SetNumericInfo(table_id, filter_id, &info, true);
                            if (status >= 0 && source == FilterSource::kFile) {
                              // The file's values go into the new filter's records from the first; the table
                              // keeps its row count (missing values are NULL, values past the last record are
                              // not read).
                              std::string path = SourcePath(dir, file);
                              status = ReadColumnFile(kRing, [&] {
                                return appendFilterFromFileNumeric(table_id, filter_id, 1, table->TotalRecs(),
                                                                   path.data(), scale, rounding_mode);
                              });
                            }
                            if (status < 0) {
                              // The host gets either a complete decimal filter or none.
                              innerQ7DeleteRealFilter(table_id, filter_id);
                              return status;
                            }
                            return filter_id;
                          }));
}
