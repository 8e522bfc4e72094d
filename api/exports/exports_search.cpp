// Exported searches, sorts, names, memory sizes, saved flags and the trailing-blank setting.
#include <cstdint>

#include "api/frame/frame.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_scale.h"
#include "api/ops/ops_search.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

// ---- Searches ----

Q7_EXPORT int RQ7SearchByDispRowNoReal(int table, int set, int op, int from, int to) {
  return FullFrame("RQ7SearchByDispRowNoReal",
                   [&] { return innerQ7SearchByDispRowNoReal(table, set, op, from, to); });
}

Q7_EXPORT int Q7SearchByDispRowNoReal(int table, int set, int op, int from, int to) {
  return PlainFrame([&] { return innerQ7SearchByDispRowNoReal(table, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByRowNo(int table, int unused, int set, int op, int from, int to) {
  return FullFrame("RQ7SearchByRowNo",
                   [&] { return innerQ7SearchByRowNo(table, unused, set, op, from, to); });
}

Q7_EXPORT int Q7SearchByRowNo(int table, int unused, int set, int op, int from, int to) {
  return PlainFrame([&] { return innerQ7SearchByRowNo(table, unused, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByField(int table, int filter, int set, int op, const char* from, const char* to) {
  return FullFrame("RQ7SearchByField", [&] {
    return innerQ7SearchByField(table, filter, set, op, HostReadOnly(from), HostReadOnly(to));
  });
}

Q7_EXPORT int Q7SearchByField(int table, int filter, int set, int op, const char* from, const char* to) {
  return PlainFrame(
      [&] { return innerQ7SearchByField(table, filter, set, op, HostReadOnly(from), HostReadOnly(to)); });
}

Q7_EXPORT int RQ7SearchByFieldStr(int table, int filter, int set, int op, const char* from, const char* to) {
  return LightFrame(
      [&] { return innerQ7SearchByField(table, filter, set, op, HostReadOnly(from), HostReadOnly(to)); });
}

Q7_EXPORT int RQ7SearchByFieldSJIS(int table, int filter, int set, int op, const char* from, const char* to) {
  return FullFrame("RQ7SearchByFieldSJIS", [&] {
    return innerRQ7SearchByFieldSJIS(table, filter, set, op, HostReadOnly(from), HostReadOnly(to));
  });
}

Q7_EXPORT int RQ7SearchByFieldLocale(int table, int filter, int set, int op, const char* from, const char* to,
                                     int locale) {
  return CheckedFrame("RQ7SearchByFieldLocale", [&] {
    return innerRQ7SearchByFieldLocale(table, filter, set, op, HostReadOnly(from), HostReadOnly(to), locale);
  });
}

Q7_EXPORT int RQ7SearchByField2(int table, int filter, int set, int op, const char* from, const char* to) {
  return LightFrame(
      [&] { return innerQ7SearchByField2(table, filter, set, op, HostReadOnly(from), HostReadOnly(to)); });
}

Q7_EXPORT int Q7SearchByField2(int table, int filter, int set, int op, const char* from, const char* to) {
  return PlainFrame(
      [&] { return innerQ7SearchByField2(table, filter, set, op, HostReadOnly(from), HostReadOnly(to)); });
}

Q7_EXPORT int RQ7SearchByFieldWildCard(int table, int filter, int set, const char* pattern) {
  return FullFrame("RQ7SearchByFieldWildCard",
                   [&] { return innerQ7SearchByFieldWildCard(table, filter, set, pattern); });
}

Q7_EXPORT int Q7SearchByFieldWildCard(int table, int filter, int set, const char* pattern) {
  return PlainFrame([&] { return innerQ7SearchByFieldWildCard(table, filter, set, pattern); });
}

Q7_EXPORT int RQ7SearchByFieldNValues(int table, int filter, int set, int count, const void* values) {
  return LightFrame(
      [&] { return DBTASK()->SearchByFieldNValues(table, filter, set, count, HostReadOnly(values)); });
}

Q7_EXPORT int Q7Search(int table, int filter, int set, const unsigned char* flags) {
  return PlainFrame([&] { return innerQ7Search(table, filter, set, HostReadOnly(flags)); });
}

Q7_EXPORT int Q7GetValCount(int table, int filter, int set, int* counts) {
  return PlainFrame([&] { return innerQ7GetValCount(table, filter, set, counts); });
}

Q7_EXPORT int Q7ServiceSortByN(int n, const int* values, int* non_zero_count, int* non_zero_index,
                               int* order) {
  return PlainFrame(
      [&] { return innerQ7ServiceSortByN(n, HostReadOnly(values), non_zero_count, non_zero_index, order); });
}

// ---- High-speed search ----

Q7_EXPORT int RQ7HighSpeedSearchSetMark(int table, int set, int filter, bool mark) {
  return LightFrame([&] { return innerQ7HighSpeedSearchSetMark(table, set, filter, mark); });
}

Q7_EXPORT int RQ7HighSpeedSearchHasMark(int table, int set, int filter) {
  return LightFrame([&] { return innerQ7HighSpeedSearchHasMark(table, set, filter); });
}

Q7_EXPORT int RQ7HighSpeedSearchEnable(int table, int filter, bool on) {
  return LightFrame([&] { return innerQ7HighSpeedSearchEnable(table, filter, on); });
}

Q7_EXPORT int RQ7HighSpeedSearchIsEnabled(int table, int filter) {
  return LightFrame([&] { return innerQ7HighSpeedSearchIsEnabled(table, filter); });
}

// ---- Sorts ----

Q7_EXPORT int RQ7SortByField(int table, int filter, int set, int dir) {
  return FullFrame("RQ7SortByField", [&] { return DBTASK()->SortByField(table, filter, set, dir); });
}

Q7_EXPORT int Q7SortByField(int table, int filter, int set, int dir) {
  return PlainFrame([&] { return innerQ7SortByField(table, filter, set, dir); });
}

Q7_EXPORT int RQ7SortByRowNo(int table, int unused, int set, int dir) {
  return CheckedFrame("RQ7SortByRowNo", [&] { return innerQ7SortByRowNo(table, unused, set, dir); });
}

Q7_EXPORT int Q7SortByRowNo(int table, int unused, int set, int dir) {
  return PlainFrame([&] { return innerQ7SortByRowNo(table, unused, set, dir); });
}

Q7_EXPORT int RQ7IntegratedSortByField(int table, int set, const int* filters, const int* dirs) {
  return LightFrame([&] { return DBTASK()->IntegratedSortByField(table, set, filters, dirs); });
}

// ---- Names and IDs ----

Q7_EXPORT int RQ7GetTableIDFromName(const char* name) {
  return FullFrame("RQ7GetTableIDFromName", [&] { return innerQ7GetTableIDFromName(name); });
}

Q7_EXPORT int Q7GetTableIDFromName(const char* name) {
  return PlainFrame([&] { return innerQ7GetTableIDFromName(name); });
}

Q7_EXPORT int RQ7GetFilterIDFromName(int table, const char* name) {
  return FullFrame("RQ7GetFilterIDFromName", [&] { return innerRQ7GetFilterIDFromName(table, name); });
}

Q7_EXPORT int Q7GetFilterIDFromName(int table, const char* name) {
  return PlainFrame([&] { return innerQ7GetFilterIDFromName(table, name); });
}

Q7_EXPORT int RQ7GetFilterIDFromName2(int table, int side, const char* name) {
  return FullFrame("RQ7GetFilterIDFromName2", [&] { return innerQ7GetFilterIDFromName2(table, side, name); });
}

Q7_EXPORT int RQ7SetFilterName(int table, int filter, const char* name) {
  return FullFrame("RQ7SetFilterName", [&] { return innerQ7SetFilterName(table, filter, name); });
}

Q7_EXPORT int Q7SetFilterName(int table, int filter, const char* name) {
  return PlainFrame([&] { return innerQ7SetFilterName(table, filter, name); });
}

Q7_EXPORT int RQ7GetFilterName(int table, int filter, char* name) {
  return FullFrame("RQ7GetFilterName", [&] { return innerQ7GetFilterName(table, filter, name); });
}

Q7_EXPORT int Q7GetFilterName(int table, int filter, char* name) {
  return PlainFrame([&] { return innerQ7GetFilterName(table, filter, name); });
}

Q7_EXPORT int RQ7SetSetName(int table, int set, const char* name) {
  return LightFrame([&] { return innerQ7SetSetName(table, set, name); });
}

Q7_EXPORT int Q7SetSetName(int table, int set, const char* name) {
  return PlainFrame([&] { return innerQ7SetSetName(table, set, name); });
}

Q7_EXPORT int RQ7GetSetName(int table, int set, char* name) {
  return LightFrame([&] { return innerQ7GetSetName(table, set, name); });
}

Q7_EXPORT int Q7GetSetName(int table, int set, char* name) {
  return PlainFrame([&] { return innerQ7GetSetName(table, set, name); });
}

// ---- Memory sizes ----

Q7_EXPORT int64_t RQ7GetTotalMemorySize(void) {
  return FullFrame("RQ7GetTotalMemorySize", [] { return innerQ7GetTotalMemorySize(); });
}

Q7_EXPORT int64_t Q7GetTotalMemorySize(void) {
  return PlainFrame([] { return innerQ7GetTotalMemorySize(); });
}

Q7_EXPORT int64_t RQ7GetTableMemorySize(int table) {
  return FullFrame("RQ7GetTableMemorySize", [&] { return innerQ7GetTableMemorySize(table); });
}

Q7_EXPORT int64_t Q7GetTableMemorySize(int table) {
  return PlainFrame([&] { return innerQ7GetTableMemorySize(table); });
}

Q7_EXPORT int64_t RQ7GetFilterMemorySize(int table, int filter) {
  return FullFrame("RQ7GetFilterMemorySize", [&] { return innerQ7GetFilterMemorySize(table, filter); });
}

Q7_EXPORT int64_t Q7GetFilterMemorySize(int table, int filter) {
  return PlainFrame([&] { return innerQ7GetFilterMemorySize(table, filter); });
}

Q7_EXPORT int64_t RQ7GetSetMemorySize(int table, int set) {
  return LightFrame([&] { return innerQ7GetSetMemorySize(table, set); });
}

Q7_EXPORT int64_t Q7GetSetMemorySize(int table, int set) {
  return PlainFrame([&] { return innerQ7GetSetMemorySize(table, set); });
}

// ---- Saved flags and settings ----

Q7_EXPORT int RQ7SetSavedFlag(int flag) {
  return LightFrame([&] { return innerQ7SetSavedFlag(flag); });
}

Q7_EXPORT int Q7SetSavedFlag(int flag) {
  return PlainFrame([&] { return innerQ7SetSavedFlag(flag); });
}

Q7_EXPORT int RQ7GetSavedFlag(int which) {
  return LightFrame([&] { return innerQ7GetSavedFlag(which); });
}

Q7_EXPORT int Q7GetSavedFlag(int which) {
  return PlainFrame([&] { return innerQ7GetSavedFlag(which); });
}

Q7_EXPORT int RQ7SetTailSpaceFlag(int flag) {
  return LightFrame([&] { return innerQ7SetTailSpaceFlag(flag); });
}

Q7_EXPORT int Q7SetTailSpaceFlag(int flag) {
  return PlainFrame([&] { return innerQ7SetTailSpaceFlag(flag); });
}
