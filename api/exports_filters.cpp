// Exported filter calls: listing, describing and copying out filters, their attribute blocks, adding,
// duplicating, moving and deleting filters, and the scale and rounding of decimal filters.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "api/OpCommon.h"
#include "api/frame.h"
#include "api/ops_data.h"
#include "api/ops_filters.h"
#include "api/ops_scale.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTable.h"
#include "database/TRealTable.h"
#include "foundation/CQ7Exception.h"
#include "q7api.h"
#include "values/Numeric.h"

namespace {

constexpr size_t kAttributeSize = 64;

// The scale and rounding mode a decimal filter may take; a refusal is recorded by the frame.
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
    char join_name[TBaseTable::kNameSize] = "";
    const char* name = filter->FFilterName;
    if (table->GetType() != TBaseTable::kTypeReal) {
      // A join column is named after its source filter; a vanished source counts as no filter.
      char table_name[TBaseTable::kNameSize];
      try {
        static_cast<TJoinTable*>(table)->FilterID2Name(filter_id, table_name, join_name);
      } catch (const CQ7Exception&) {
        join_name[0] = '\0';
      }
      if (join_name[0] == '\0') {
        Refuse(ring, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d", filter_id);
      }
      name = join_name;
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

// Filters read from text files come with the text import; until it exists such a source is refused
// (recorded under ring). Returns the code.
int RefuseFileSource(const char* ring) {
  PutErrorLog(ring, Q7_ERROR_INVALID_OPERATION, "Filter from file not supported");
  return Q7_ERROR_INVALID_OPERATION;
}

int AddFilter(int table_id, int position, const char* name, int type, int rows, int unit, const char* dir,
              const char* file) {
  constexpr char kRing[] = "RQ7AddRealFilter2";
  return RunOp(kRing, [&] {
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
    return RefuseFileSource(kRing);
  });
}

int AddDecimalFilter(int table_id, int position, const char* name, int rows, int scale, int rounding_mode,
                     const char* dir, const char* file) {
  constexpr char kRing[] = "RQ7AddRealFilter2Numeric";
  return RunOp(kRing, [&] {
    CheckScaleAndMode(scale, rounding_mode);
    RefuseShared(FindTable(kRing, table_id));
    const FilterSource source = SourceOf(dir, file);
    const int filter_id = innerQ7AddRealFilter2(table_id, position, name, Q7_TYPE_DECIMAL, rows,
                                                static_cast<int>(sizeof(Numeric)), nullptr);
    if (filter_id < 0) return filter_id;
    const NumericInfo info{scale, rounding_mode};
    int status = innerQ7SetNumericInfo(table_id, filter_id, &info, true);
    if (status >= 0 && source == FilterSource::kFile) status = RefuseFileSource(kRing);
    if (status < 0) {
      // The host gets either a complete decimal filter or none.
      innerQ7DeleteRealFilter(table_id, filter_id);
      return status;
    }
    return filter_id;
  });
}

}  // namespace

// ---- Listing and describing ----

Q7_EXPORT int RQ7GetNFilter(int table) {
  return FullFrame("RQ7GetNFilter", [&] { return innerQ7GetNFilter(table); });
}
Q7_EXPORT int Q7GetNFilter(int table) {
  return PlainFrame([&] { return innerQ7GetNFilter(table); });
}

Q7_EXPORT int RQ7GetFilterIDList(int table, int* ids) {
  return FullFrame("RQ7GetFilterIDList", [&] { return innerQ7GetFilterIDList(table, ids); });
}
Q7_EXPORT int Q7GetFilterIDList(int table, int* ids) {
  return PlainFrame([&] { return innerQ7GetFilterIDList(table, ids); });
}

Q7_EXPORT int RQ7GetFilterWidth(int table, int filter) {
  return FullFrame("RQ7GetFilterWidth", [&] { return innerQ7GetFilterWidth(table, filter); });
}
Q7_EXPORT int Q7GetFilterWidth(int table, int filter) {
  return PlainFrame([&] { return innerQ7GetFilterWidth(table, filter); });
}

Q7_EXPORT int RQ7GetFilterType(int table, int filter) {
  return FullFrame("RQ7GetFilterType", [&] { return innerQ7GetFilterType(table, filter); });
}
Q7_EXPORT int Q7GetFilterType(int table, int filter) {
  return PlainFrame([&] { return innerQ7GetFilterType(table, filter); });
}

Q7_EXPORT int RQ7GetFilterInfo(int table, int filter, _TRFilterInfo* info) {
  return FullFrame("RQ7GetFilterInfo",
                   [&] { return FilterSummary("RQ7GetFilterInfo", table, filter, info); });
}

Q7_EXPORT int RQ7GetAllFilterInfo(int table, int max, int* count, _TRFilterInfo* infos,
                                  char (*attributes)[64]) {
  return LightFrame([&] { return innerRQ7GetAllFilterInfo(table, max, count, infos, attributes); });
}

Q7_EXPORT int RQ7GetFilterBody(int table, int filter, _TRFilterBody* body) {
  return FullFrame("RQ7GetFilterBody", [&] { return FilterBody("RQ7GetFilterBody", table, filter, body); });
}

Q7_EXPORT int Q7GetFilter(int table, int filter, _TFilterInfo* info) {
  return PlainFrame([&] { return innerQ7GetFilter(table, filter, info); });
}

// ---- Attribute blocks ----

Q7_EXPORT int RQ7GetFilterAttr(int table, int filter, void* block) {
  return CheckedFrame("RQ7GetFilterAttr",
                      [&] { return ReadAttributes(innerQ7GetFilterAttr, table, filter, block); });
}
Q7_EXPORT int Q7GetFilterAttr(int table, int filter, void** block, bool for_writing) {
  return PlainFrame([&] { return innerQ7GetFilterAttr(table, filter, block, for_writing); });
}
Q7_EXPORT int RQ7SetFilterAttr(int table, int filter, const void* block) {
  return FullFrame("RQ7SetFilterAttr",
                   [&] { return WriteAttributes(innerQ7GetFilterAttr, table, filter, block); });
}

Q7_EXPORT int RQ7GetSubsetAttr(int table, int set, void* block) {
  return FullFrame("RQ7GetSubsetAttr",
                   [&] { return ReadAttributes(innerQ7GetSubsetAttr, table, set, block); });
}
Q7_EXPORT int Q7GetSubsetAttr(int table, int set, void** block, bool for_writing) {
  return PlainFrame([&] { return innerQ7GetSubsetAttr(table, set, block, for_writing); });
}
Q7_EXPORT int RQ7SetSubsetAttr(int table, int set, const void* block) {
  return FullFrame("RQ7SetSubsetAttr",
                   [&] { return WriteAttributes(innerQ7GetSubsetAttr, table, set, block); });
}

// ---- Changing the filters of a table ----

Q7_EXPORT int RQ7DeleteRealFilter(int table, int filter) {
  return FullFrame("RQ7DeleteRealFilter", [&] { return innerQ7DeleteRealFilter(table, filter); });
}
Q7_EXPORT int Q7DeleteRealFilter(int table, int filter) {
  return PlainFrame([&] { return innerQ7DeleteRealFilter(table, filter); });
}

Q7_EXPORT int RQ7MoveRealFilter(int table, int from, int to) {
  return FullFrame("RQ7MoveRealFilter", [&] { return innerQ7MoveRealFilter(table, from, to); });
}
Q7_EXPORT int Q7MoveRealFilter(int table, int from, int to) {
  return PlainFrame([&] { return innerQ7MoveRealFilter(table, from, to); });
}

Q7_EXPORT int RQ7DupRealFilter(int table, int filter) {
  return FullFrame("RQ7DupRealFilter", [&] { return innerQ7DupRealFilter(table, filter); });
}
Q7_EXPORT int Q7DupRealFilter(int table, int filter) {
  return PlainFrame([&] { return innerQ7DupRealFilter(table, filter); });
}

Q7_EXPORT int RQ7DupRealFilterEx(int table, int filter, int type) {
  return FullFrame("RQ7DupRealFilterEx", [&] { return innerQ7DupRealFilterEx(table, filter, type); });
}
Q7_EXPORT int Q7DupRealFilterEx(int table, int filter, int type) {
  return PlainFrame([&] { return innerQ7DupRealFilterEx(table, filter, type); });
}

Q7_EXPORT int RQ7DupRealFilterExNumeric(int table, int filter, int scale, int rounding_mode) {
  return FullFrame("RQ7DupRealFilterExNumeric", [&] {
    CheckScaleAndMode(scale, rounding_mode);
    return innerQ7DupRealFilterExNumeric(table, filter, scale, rounding_mode);
  });
}

Q7_EXPORT int RQ7AddRealFilter2(int table, int position, const char* name, int type, int rows, int unit,
                                const char* dir, const char* file) {
  return FullFrame("RQ7AddRealFilter2",
                   [&] { return AddFilter(table, position, name, type, rows, unit, dir, file); });
}
Q7_EXPORT int Q7AddRealFilter2(int table, int position, const char* name, int type, int rows, int unit,
                               void* values) {
  return PlainFrame([&] { return innerQ7AddRealFilter2(table, position, name, type, rows, unit, values); });
}

Q7_EXPORT int RQ7AddRealFilter2Numeric(int table, int position, const char* name, int rows, int scale,
                                       int rounding_mode, const char* dir, const char* file) {
  return FullFrame("RQ7AddRealFilter2Numeric", [&] {
    return AddDecimalFilter(table, position, name, rows, scale, rounding_mode, dir, file);
  });
}

// ---- Decimal scale and rounding ----

Q7_EXPORT int RQ7SetNumericInfo(int table, int filter, const NumericInfo* info, bool check_shared) {
  return FullFrame("RQ7SetNumericInfo",
                   [&] { return innerQ7SetNumericInfo(table, filter, info, check_shared); });
}

Q7_EXPORT int RQ7GetNumericInfo(int table, int filter, NumericInfo* info, char* mode_name,
                                bool check_shared) {
  return FullFrame("RQ7GetNumericInfo",
                   [&] { return innerQ7GetNumericInfo(table, filter, info, mode_name, check_shared); });
}
