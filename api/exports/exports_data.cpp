// Exported find, row-editing and data-access calls: incremental finds over a filter, deleting,
// inserting, overwriting and filling rows, and reading values, record numbers and value numbers
// one at a time or in blocks.
#include "api/frame/frame.h"
#include "api/ops/ops_blocks.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_find.h"
#include "api/ops/ops_rowedit.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

// ---- Finds ----

Q7_EXPORT int RQ7FindRecNoReal(int table, int set, int rec_no) {
  return CheckedFrame("RQ7FindRecNoReal", [&] { return innerQ7FindRecNoReal(table, set, rec_no); });
}
Q7_EXPORT int Q7FindRecNoReal(int table, int set, int rec_no) {
  return PlainFrame([&] { return innerQ7FindRecNoReal(table, set, rec_no); });
}

Q7_EXPORT int RQ7OpenStrFindReal(int table, int filter, int kind, const char* from, const char* to) {
  return CheckedFrame("RQ7OpenStrFindReal",
                      [&] { return innerQ7OpenStrFindReal(table, filter, kind, from, to); });
}
Q7_EXPORT int Q7OpenStrFindReal(int table, int filter, int kind, const char* from, const char* to) {
  return PlainFrame([&] { return innerQ7OpenStrFindReal(table, filter, kind, from, to); });
}

Q7_EXPORT int RQ7OpenStrFindRealSJIS(int table, int filter, int kind, const char* from, const char* to) {
  return FullFrame("RQ7OpenStrFindRealSJIS",
                   [&] { return innerRQ7OpenStrFindRealSJIS(table, filter, kind, from, to); });
}

Q7_EXPORT int RQ7OpenStrFindRealLocale(int table, int filter, int kind, const char* from, const char* to,
                                       int locale) {
  return CheckedFrame("RQ7OpenStrFindRealLocale",
                      [&] { return innerRQ7OpenStrFindRealLocale(table, filter, kind, from, to, locale); });
}

Q7_EXPORT int RQ7OpenIntFindReal(int table, int filter, int kind, int from, int to) {
  return FullFrame("RQ7OpenIntFindReal",
                   [&] { return innerQ7OpenIntFindReal(table, filter, kind, from, to); });
}
Q7_EXPORT int Q7OpenIntFindReal(int table, int filter, int kind, int from, int to) {
  return PlainFrame([&] { return innerQ7OpenIntFindReal(table, filter, kind, from, to); });
}

Q7_EXPORT int RQ7OpenFloatFindReal(int table, int filter, int kind, double from, double to) {
  return FullFrame("RQ7OpenFloatFindReal",
                   [&] { return innerQ7OpenFloatFindReal(table, filter, kind, from, to); });
}
Q7_EXPORT int Q7OpenFloatFindReal(int table, int filter, int kind, double from, double to) {
  return PlainFrame([&] { return innerQ7OpenFloatFindReal(table, filter, kind, from, to); });
}

Q7_EXPORT int RQ7OpenNumericFindReal(int table, int filter, int kind, Numeric from, Numeric to) {
  return CheckedFrame("RQ7OpenNumericFindReal",
                      [&] { return innerQ7OpenNumericFindReal(table, filter, kind, from, to); });
}

Q7_EXPORT int RQ7GetFindStatus(int table, int* hits, int* filter) {
  return FullFrame("RQ7GetFindStatus", [&] { return innerQ7GetFindStatus(table, hits, filter); });
}
Q7_EXPORT int Q7GetFindStatus(int table, int* hits, int* filter) {
  return PlainFrame([&] { return innerQ7GetFindStatus(table, hits, filter); });
}

Q7_EXPORT int RQ7GetNextHitReal(int table, int find, int set, int from, int dir, int* filter, int* pos) {
  return CheckedFrame("RQ7GetNextHitReal",
                      [&] { return innerQ7GetNextHitReal(table, find, set, from, dir, filter, pos); });
}
Q7_EXPORT int Q7GetNextHitReal(int table, int find, int set, int from, int dir, int* filter, int* pos) {
  return PlainFrame([&] { return innerQ7GetNextHitReal(table, find, set, from, dir, filter, pos); });
}

Q7_EXPORT int RQ7CloseFindReal(int table) {
  return FullFrame("RQ7CloseFindReal", [&] { return innerQ7CloseFindReal(table); });
}
Q7_EXPORT int Q7CloseFindReal(int table) {
  return PlainFrame([&] { return innerQ7CloseFindReal(table); });
}

// ---- Row edits ----

Q7_EXPORT int RQ7DeleteRealRowsEx(int table, int set, int from, int count) {
  return CheckedFrame("RQ7DeleteRealRowsEx",
                      [&] { return innerQ7DeleteRealRowsEx(table, set, from, count); });
}
Q7_EXPORT int Q7DeleteRealRowsEx(int table, int set, int from, int count) {
  return PlainFrame([&] { return innerQ7DeleteRealRowsEx(table, set, from, count); });
}

Q7_EXPORT int RQ7DeleteRealRows(int table, int from, int count) {
  return FullFrame("RQ7DeleteRealRows", [&] { return innerQ7DeleteRealRows(table, from, count); });
}
Q7_EXPORT int Q7DeleteRealRows(int table, int from, int count) {
  return PlainFrame([&] { return innerQ7DeleteRealRows(table, from, count); });
}

Q7_EXPORT int RQ7InsertRealRows(int table, int position, int count) {
  return FullFrame("RQ7InsertRealRows", [&] { return innerQ7InsertRealRows(table, position, count); });
}
Q7_EXPORT int Q7InsertRealRows(int table, int position, int count) {
  return PlainFrame([&] { return innerQ7InsertRealRows(table, position, count); });
}

Q7_EXPORT int RQ7FillRealEx(int table, int set, int filter, int from, int count, void* value) {
  return FullFrame("RQ7FillRealEx",
                   [&] { return DBTASK()->FillRealEx(table, set, filter, from, count, value); });
}

Q7_EXPORT int RQ7OverwriteRealEx(int table, int set, int filter, int from, int count, void* values) {
  return FullFrame("RQ7OverwriteRealEx",
                   [&] { return DBTASK()->OverwriteRealEx(table, set, filter, from, count, values); });
}
Q7_EXPORT int Q7OverwriteRealEx(int table, int set, int filter, int from, int count, void* values) {
  return PlainFrame([&] { return innerQ7OverwriteRealEx(table, set, filter, from, count, values); });
}
Q7_EXPORT int RQ7OverwriteRealExStr(int table, int set, int filter, int from, int count, void* values) {
  return LightFrame([&] { return innerQ7OverwriteRealEx(table, set, filter, from, count, values); });
}

// ---- Single values ----

Q7_EXPORT int RQ7GetData(int table, int filter, int set, int pos, int* type, void* value) {
  return LightFrame([&] { return innerQ7GetData(table, filter, set, pos, type, value); });
}
Q7_EXPORT int Q7GetData(int table, int filter, int set, int pos, int* type, void* value) {
  return PlainFrame([&] { return innerQ7GetData(table, filter, set, pos, type, value); });
}

Q7_EXPORT int RQ7GetData1(int table, int filter, int set, int row, int* type, void* value) {
  return FullFrame("RQ7GetData1", [&] { return innerQ7GetData1(table, filter, set, row, type, value, 0); });
}
Q7_EXPORT int Q7GetData1(int table, int filter, int set, int row, int* type, void* value, int raw) {
  return PlainFrame([&] { return innerQ7GetData1(table, filter, set, row, type, value, raw); });
}
Q7_EXPORT int RQ7GetData1Str(int table, int filter, int set, int row, int* type, void* value) {
  return LightFrame([&] { return innerQ7GetData1(table, filter, set, row, type, value, 0); });
}

Q7_EXPORT int RQ7GetData1Ex(int table, int filter, int set, int row, int* type, void* value) {
  return FullFrame("RQ7GetData1Ex",
                   [&] { return innerQ7GetData1Ex(table, filter, set, row, type, value, 0, kData1ExBytes); });
}

Q7_EXPORT int RQ7GetData1ExPtr(int table, int filter, int set, int row, int* type, long* address) {
  return FullFrame("RQ7GetData1ExPtr",
                   [&] { return innerQ7GetData1ExPtr(table, filter, set, row, type, address); });
}

// ---- Blocks ----

Q7_EXPORT int RQ7GetData1M(int table, int filter, int set, int first_row, int* type, int* count, void* values,
                           char* texts) {
  return FullFrame("RQ7GetData1M", [&] {
    return innerRQ7GetData1M(table, filter, set, first_row, type, count, values, texts);
  });
}

Q7_EXPORT int RQ7GetData1MEx(int table, int filter, int set, int first_row, int rows, int text_size,
                             int* type, int* count, void* values, char* texts) {
  return FullFrame("RQ7GetData1MEx", [&] {
    return innerRQ7GetData1MEx(table, filter, set, first_row, rows, text_size, type, count, values, texts);
  });
}

Q7_EXPORT int RQ7GetData1MExPtr(int table, int filter, int set, int first_row, int rows, int* type,
                                int* count, long* addresses) {
  return FullFrame("RQ7GetData1MExPtr", [&] {
    return innerRQ7GetData1MExPtr(table, filter, set, first_row, rows, type, count, addresses);
  });
}

// ---- Record and value numbers ----

Q7_EXPORT int RQ7GetRowNo(int table, int set, int pos, int* rec_no) {
  return FullFrame("RQ7GetRowNo", [&] { return innerQ7GetRowNo(table, set, pos, rec_no); });
}
Q7_EXPORT int Q7GetRowNo(int table, int set, int pos, int* rec_no) {
  return PlainFrame([&] { return innerQ7GetRowNo(table, set, pos, rec_no); });
}

Q7_EXPORT int RQ7GetRowNo1(int table, int set, int row, int* rec_no) {
  return FullFrame("RQ7GetRowNo1", [&] { return innerQ7GetRowNo1(table, set, row, rec_no); });
}
Q7_EXPORT int Q7GetRowNo1(int table, int set, int row, int* rec_no) {
  return PlainFrame([&] { return innerQ7GetRowNo1(table, set, row, rec_no); });
}

Q7_EXPORT int RQ7GetRowNo1M(int table, int set, int first_row, int* count, int* records, int* other) {
  return FullFrame("RQ7GetRowNo1M",
                   [&] { return innerRQ7GetRowNo1M(table, set, first_row, count, records, other); });
}

Q7_EXPORT int RQ7GetVNoList(int table, int filter, int set, int first_row, int n, int* vnos) {
  return FullFrame("RQ7GetVNoList",
                   [&] { return innerRQ7GetVNoList(table, filter, set, first_row, n, vnos); });
}
