// Exported filter calls: listing, describing and copying out filters, their attribute blocks, adding,
// duplicating, moving and deleting filters, and the scale and rounding of decimal filters.
#include "api/frame/frame.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_scale.h"
#include "q7api.h"

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
  return FullFrame("RQ7GetFilterInfo", [&] { return innerRQ7GetFilterInfo(table, filter, info); });
}

Q7_EXPORT int RQ7GetAllFilterInfo(int table, int max, int* count, _TRFilterInfo* infos,
                                  char (*attributes)[64]) {
  return LightFrame([&] { return innerRQ7GetAllFilterInfo(table, max, count, infos, attributes); });
}

Q7_EXPORT int RQ7GetFilterBody(int table, int filter, _TRFilterBody* body) {
  return FullFrame("RQ7GetFilterBody", [&] { return innerRQ7GetFilterBody(table, filter, body); });
}

Q7_EXPORT int Q7GetFilter(int table, int filter, _TFilterInfo* info) {
  return PlainFrame([&] { return innerQ7GetFilter(table, filter, info); });
}

Q7_EXPORT int RQ7GetJoinKeyInfo(int table, _TRFilterInfo* master, _TRFilterInfo* slave) {
  return FullFrame("RQ7GetJoinKeyInfo", [&] { return innerRQ7GetJoinKeyInfo(table, master, slave); });
}
Q7_EXPORT int RQ7GetJoinKeyBody(int table, _TRFilterBody* master, _TRFilterBody* slave) {
  return FullFrame("RQ7GetJoinKeyBody", [&] { return innerRQ7GetJoinKeyBody(table, master, slave); });
}
Q7_EXPORT int Q7GetJoinKey(int table, _TFilterInfo* master, _TFilterInfo* slave) {
  return PlainFrame([&] { return innerQ7GetJoinKey(table, master, slave); });
}

// ---- Attribute blocks ----

Q7_EXPORT int RQ7GetFilterAttr(int table, int filter, void* block) {
  return CheckedFrame("RQ7GetFilterAttr", [&] { return innerRQ7GetFilterAttr(table, filter, block); });
}
Q7_EXPORT int Q7GetFilterAttr(int table, int filter, void** block, bool for_writing) {
  return PlainFrame([&] { return innerQ7GetFilterAttr(table, filter, block, for_writing); });
}
Q7_EXPORT int RQ7SetFilterAttr(int table, int filter, const void* block) {
  return FullFrame("RQ7SetFilterAttr", [&] { return innerRQ7SetFilterAttr(table, filter, block); });
}

Q7_EXPORT int RQ7GetSubsetAttr(int table, int set, void* block) {
  return FullFrame("RQ7GetSubsetAttr", [&] { return innerRQ7GetSubsetAttr(table, set, block); });
}
Q7_EXPORT int Q7GetSubsetAttr(int table, int set, void** block, bool for_writing) {
  return PlainFrame([&] { return innerQ7GetSubsetAttr(table, set, block, for_writing); });
}
Q7_EXPORT int RQ7SetSubsetAttr(int table, int set, const void* block) {
  return FullFrame("RQ7SetSubsetAttr", [&] { return innerRQ7SetSubsetAttr(table, set, block); });
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
  return FullFrame("RQ7DupRealFilterExNumeric",
                   [&] { return innerRQ7DupRealFilterExNumeric(table, filter, scale, rounding_mode); });
}

Q7_EXPORT int RQ7AddRealFilter2(int table, int position, const char* name, int type, int rows, int unit,
                                const char* dir, const char* file) {
  return FullFrame("RQ7AddRealFilter2", [&] {
    return innerRQ7AddRealFilter2(table, position, name, type, rows, unit, dir, file);
  });
}
Q7_EXPORT int Q7AddRealFilter2(int table, int position, const char* name, int type, int rows, int unit,
                               const void* values) {
  return PlainFrame([&] { return innerQ7AddRealFilter2(table, position, name, type, rows, unit, values); });
}

Q7_EXPORT int RQ7AddRealFilter2Numeric(int table, int position, const char* name, int rows, int scale,
                                       int rounding_mode, const char* dir, const char* file) {
  return FullFrame("RQ7AddRealFilter2Numeric", [&] {
    return innerRQ7AddRealFilter2Numeric(table, position, name, rows, scale, rounding_mode, dir, file);
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
