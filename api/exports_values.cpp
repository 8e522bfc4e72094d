// Exported value-returning calls (names ending in R1) and the stubs.
//
// Three kinds (api/frame.h): delegating calls run another exported call, which takes the API lock
// and records its failures itself, and convert its result; locking calls take the lock and reach
// the operation layer or the tables directly, swallowing every failure; pure calls convert the
// caller's value without touching the database. Texts come back in gBuf, names as pointers into
// the engine's own objects, and a failure as the type's NULL: kValueFrameIntNull,
// kValueFrameDoubleNull or kEmptyText.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "api/CDBTask.h"
#include "api/EngineOps.h"
#include "api/OpCommon.h"
#include "api/frame.h"
#include "api/ops_data.h"
#include "api/ops_filters.h"
#include "api/ops_search.h"
#include "api/ops_tables.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "q7api.h"
#include "values/DateTime.h"

namespace {

// A single read writes at most a text and its zero (4096 bytes) or a 24-byte decimal.
constexpr size_t kValueBytes = 4096;
constexpr int kBlockRows = 128;
constexpr size_t kBlockValueBytes = 1024;
constexpr size_t kBlockTextBytes = 4096;
constexpr size_t kDecimalBytes = sizeof(Numeric);
constexpr char kDateSeparator = '/';
// The status of a delegating call that failed outside the call it delegates to.
constexpr int kStatusFailure = Q7_ERROR_UNKNOWN;

bool IsDoubleType(int type) {
  return type == Q7_TYPE_DOUBLE || type == Q7_TYPE_DATE || type == Q7_TYPE_TIME || type == Q7_TYPE_DATETIME;
}

// A value read into a buffer of its own, so that no read can overrun the host's variable.
struct ReadValue {
  int result = 0;
  int type = 0;
  alignas(8) unsigned char bytes[kValueBytes];
};

template <class Read>
ReadValue ReadOne(Read&& read) {
  ReadValue v;
  v.result = read(&v.type, v.bytes);
  return v;
}

int32_t IntOf(const ReadValue& v) {
  if (v.result < 0 || v.type != Q7_TYPE_INTEGER) return kValueFrameIntNull;
  int32_t value;
  memcpy(&value, v.bytes, sizeof value);
  return value;
}

double DoubleOf(const ReadValue& v) {
  if (v.result < 0 || !IsDoubleType(v.type)) return kValueFrameDoubleNull;
  double value;
  memcpy(&value, v.bytes, sizeof value);
  return value;
}

// The read writes straight into gBuf; only a string leaves it as the result.
template <class Read>
const char* TextInGBuf(Read&& read) {
  gBuf[0] = '\0';
  int type = 0;
  const int result = read(&type, gBuf);
  if (result >= 0 && type == Q7_TYPE_STRING) return gBuf;
  gBuf[0] = '\0';
  return kEmptyText;
}

// A text the operation writes into gBuf (256-byte names); the empty text when it fails.
template <class Fill>
const char* FilledGBuf(Fill&& fill) {
  gBuf[0] = '\0';
  if (fill(gBuf) < 0) {
    gBuf[0] = '\0';
    return kEmptyText;
  }
  return gBuf;
}

// The table with that ID without the collection's ring entry on a miss; null when none.
TBaseTable* QuietTable(int table_id) {
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr) return nullptr;
  const int pos = db->ID2Loc(table_id);
  return pos < 0 ? nullptr : db->TableAt(pos);
}

// The decimal read of the two Numeric getters: through the table itself, row 0-based.
int ReadDecimal(int table_id, int filter_id, int set_id, int row, Numeric* value) {
  TBaseTable* table = QuietTable(table_id);
  if (table == nullptr) return -1;
  if (value == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  ReadValue v;
  v.result = table->ReadData(set_id, filter_id, row, &v.type, v.bytes);
  if (v.result >= 0 && v.type == Q7_TYPE_DECIMAL) memcpy(value, v.bytes, kDecimalBytes);
  return v.result;
}

// Block reads of the R1 forms: up to 128 rows from first_row through innerQ7GetData1, passing the
// row index as its last argument (so only the first decimal read carries the NumericInfo).
// store(i, value, type, result) keeps row i and says whether the block goes on.
template <class Store>
int ReadBlockR1(int table_id, int filter_id, int set_id, int first_row, int* count, Store&& store) {
  *count = 0;
  int first_result = 0;
  for (int i = 0; i < kBlockRows; ++i) {
    // No set has a row past INT_MAX, and the row number must not wrap to reach one.
    const int64_t row = int64_t{first_row} + i;
    if (row > INT32_MAX) break;
    ReadValue v;
    v.result = innerQ7GetData1(table_id, filter_id, set_id, static_cast<int>(row), &v.type, v.bytes, i);
    if (v.result < 0) {
      if (i == 0) return v.result;
      break;
    }
    if (i == 0) first_result = v.result;
    if (!store(i, v)) break;
    ++*count;
  }
  return first_result;
}

int BlockDecimals(int table_id, int filter_id, int set_id, int first_row, int* count, Numeric* values) {
  if (count == nullptr || values == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  if (innerQ7GetFilterType(table_id, filter_id) != Q7_TYPE_DECIMAL) return Q7_ERROR_INVALID_DATA_TYPE;
  memset(values, 0, kBlockRows * kDecimalBytes);
  return ReadBlockR1(table_id, filter_id, set_id, first_row, count, [&](int i, const ReadValue& v) {
    // The first read is the NumericInfo and the value; the others the value alone.
    const size_t at = i == 0 ? sizeof(NumericInfo) : 0;
    memcpy(&values[i], v.bytes + at, kDecimalBytes);
    return true;
  });
}

int BlockTexts(int table_id, int filter_id, int set_id, int first_row, int* count, int* offsets,
               char* texts) {
  if (count == nullptr || offsets == nullptr || texts == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  if (innerQ7GetFilterType(table_id, filter_id) != Q7_TYPE_STRING) return Q7_ERROR_INVALID_DATA_TYPE;
  memset(texts, 0, kBlockTextBytes);
  size_t used = 0;
  return ReadBlockR1(table_id, filter_id, set_id, first_row, count, [&](int i, const ReadValue& v) {
    const size_t length = strnlen(reinterpret_cast<const char*>(v.bytes), kValueBytes - 1);
    if (used + length + 1 > kBlockTextBytes) return false;
    memcpy(texts + used, v.bytes, length);
    texts[used + length] = '\0';
    offsets[i] = static_cast<int>(used);
    used += length + 1;
    return true;
  });
}

// The value of one read as text into gBuf (which the caller emptied).
void ValueToGBuf(const ReadValue& v) {
  switch (v.type) {
    case Q7_TYPE_INTEGER: {
      int32_t value;
      memcpy(&value, v.bytes, sizeof value);
      snprintf(gBuf, kGBufSize, "%d", value);
      return;
    }
    case Q7_TYPE_DOUBLE: {
      double value;
      memcpy(&value, v.bytes, sizeof value);
      snprintf(gBuf, kGBufSize, "%f", value);
      return;
    }
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME: {
      double value;
      memcpy(&value, v.bytes, sizeof value);
      if (v.type == Q7_TYPE_DATE) Double2DateStr(value, gBuf, kDateSeparator);
      if (v.type == Q7_TYPE_TIME) Double2TimeStr(value, gBuf);
      if (v.type == Q7_TYPE_DATETIME) Double2DateTimeStr(value, gBuf, kDateSeparator);
      return;
    }
    case Q7_TYPE_DECIMAL: {
      NumericInfo info;
      Numeric value;
      memcpy(&info, v.bytes, sizeof info);
      memcpy(&value, v.bytes + sizeof info, sizeof value);
      RQ7NumericNum2Str(&value, &info, 0, info.scale, gBuf, kGBufSize);
      return;
    }
    default:
      qz7_strlcpy(gBuf, reinterpret_cast<const char*>(v.bytes), kGBufSize);
      return;
  }
}

// RQ7SearchByField for bounds of one kind: the filter's type is checked under the same lock as the
// search, so no other call can change the filter in between.
int SearchByFieldOf(HostValueKind kind, int table, int filter, int set, int op, char* from, char* to) {
  return FullFrame("RQ7SearchByField",
                   [&] { return innerQ7SearchByFieldOf(kind, table, filter, set, op, from, to); });
}

// RQ7OverwriteRealEx (ring "RQ7OverwriteRealEx") or RQ7FillRealEx ("RQ7FillRealEx") of a value of
// one kind: the value's width must be the filter's, checked under the write's own lock; a refusal
// is recorded by the frame under the write's name.
template <class Write>
int WriteOf(const char* ring_name, HostValueKind kind, int table, int filter, Write&& write) {
  return FullFrame(ring_name, [&] {
    CheckValueKind(QuietTable(table), filter, kind);
    return write(DBTASK());
  });
}

template <class Convert>
const char* DateTextInGBuf(Convert&& convert) {
  gBuf[0] = '\0';
  convert(gBuf);
  return gBuf;
}

}  // namespace

// ---- Version and database texts ----

Q7_EXPORT const char* RQ7GetCopyRightR1(void) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), []() -> const char* {
    char* copyright = nullptr;
    if (innerQ7GetVersion(nullptr, &copyright) < 0 || copyright == nullptr) return kEmptyText;
    return copyright;
  });
}

Q7_EXPORT int RQ7GetVersionR1(int* versions) {
  return LightFrame([&] {
    int* engine_versions = nullptr;
    const int result = innerQ7GetVersion(&engine_versions, nullptr);
    if (result >= 0 && versions != nullptr) memcpy(versions, engine_versions, 4 * sizeof(int));
    return result;
  });
}

Q7_EXPORT const char* RQ7GetDBPathR1(void) {
  ApiLock lock;
  TTableCollection* db = CurrentDatabase();
  return db != nullptr ? db->FDBPath : kEmptyText;
}

Q7_EXPORT const char* RQ7GetDBNameR1(void) {
  ApiLock lock;
  TTableCollection* db = CurrentDatabase();
  return db != nullptr ? db->FDBName : kEmptyText;
}

// ---- Names ----

Q7_EXPORT const char* RQ7GenerateTableNameR1(const char* seed) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText), [&] {
    return FilledGBuf([&](char* out) { return RQ7GenerateTableName(seed, out); });
  });
}

Q7_EXPORT const char* RQ7GenTableNameR1(const char* seed) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText), [&] {
    return FilledGBuf([&](char* out) { return RQ7GenTableName(seed, out); });
  });
}

Q7_EXPORT const char* RQ7GetTableNameR1(int table) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [&]() -> const char* {
    TBaseTable* t = QuietTable(table);
    return t != nullptr ? t->FTableName : kEmptyText;
  });
}

// A join column is named by its source filter, as RQ7GetFilterName names it.
Q7_EXPORT const char* RQ7GetFilterNameR1(int table, int filter) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [&]() -> const char* {
    TBaseTable* t = QuietTable(table);
    TFilter* f = t != nullptr ? LookupFilter(t, filter) : nullptr;
    return f != nullptr ? f->FFilterName : kEmptyText;
  });
}

// A missing set gives the empty text too: a table's name in its place would pass for a set name.
Q7_EXPORT const char* RQ7GetSetNameR1(int table, int set) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [&]() -> const char* {
    TBaseTable* t = QuietTable(table);
    if (t == nullptr || !HasSet(t, set)) return kEmptyText;
    TSetArray* s = t->GetSet(set);
    return s != nullptr ? s->GetSetName() : kEmptyText;
  });
}

// ---- Descriptions ----

Q7_EXPORT int RQ7GetNumericInfoR1(int table, int filter, NumericInfo* info) {
  return LockedValueFrame(-1, [&] { return innerQ7GetNumericInfo(table, filter, info, nullptr, false); });
}

Q7_EXPORT int RQ7GetJoinInfoR1(int table, int* master_table, int* master_set, int* master_key,
                               int* slave_table, int* slave_set, int* slave_key) {
  return LightFrame([&] {
    char name[TBaseTable::kNameSize];
    return innerQ7GetJoinInfo(table, name, master_table, master_set, master_key, slave_table, slave_set,
                              slave_key);
  });
}

Q7_EXPORT int RQ7GetJoinInfoExR1(int table, int* outer, int* key_count, int* master_table, int* master_set,
                                 int* master_keys, int* slave_table, int* slave_set, int* slave_keys) {
  return LightFrame([&] {
    char* name = nullptr;
    return innerQ7GetJoinInfoEx(table, &name, outer, key_count, master_table, master_set, master_keys,
                                slave_table, slave_set, slave_keys);
  });
}

// ---- Searches ----

Q7_EXPORT int RQ7SearchByFieldStrR1(int table, int filter, int set, int op, char* from, char* to) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return SearchByFieldOf(HostValueKind::kText, table, filter, set, op, from, to);
  });
}

Q7_EXPORT int RQ7SearchByFieldNumericR1(int table, int filter, int set, int op, Numeric* from, Numeric* to) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return SearchByFieldOf(HostValueKind::kDecimal, table, filter, set, op, reinterpret_cast<char*>(from),
                           reinterpret_cast<char*>(to));
  });
}

Q7_EXPORT int RQ7SearchByFieldIntR1(int table, int filter, int set, int op, int from, int to) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return SearchByFieldOf(HostValueKind::kInt, table, filter, set, op, reinterpret_cast<char*>(&from),
                           reinterpret_cast<char*>(&to));
  });
}

Q7_EXPORT int RQ7SearchByFieldDblR1(int table, int filter, int set, int op, double from, double to) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return SearchByFieldOf(HostValueKind::kDouble, table, filter, set, op, reinterpret_cast<char*>(&from),
                           reinterpret_cast<char*>(&to));
  });
}

Q7_EXPORT int RQ7SearchByFieldSJISR1(int table, int filter, int set, int op, char* from, char* to) {
  return DelegatingValueFrame(kStatusFailure,
                              [&] { return RQ7SearchByFieldSJIS(table, filter, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByFieldLocaleR1(int table, int filter, int set, int op, char* from, char* to,
                                       int locale) {
  return DelegatingValueFrame(
      kStatusFailure, [&] { return RQ7SearchByFieldLocale(table, filter, set, op, from, to, locale); });
}

// ---- Single values ----

Q7_EXPORT int RQ7GetDataIntR1(int table, int filter, int set, int pos) {
  return DelegatingValueFrame(kValueFrameIntNull, [&] {
    return IntOf(
        ReadOne([&](int* type, void* value) { return RQ7GetData(table, filter, set, pos, type, value); }));
  });
}

Q7_EXPORT double RQ7GetDataDblR1(int table, int filter, int set, int pos) {
  return DelegatingValueFrame(kValueFrameDoubleNull, [&] {
    return DoubleOf(
        ReadOne([&](int* type, void* value) { return RQ7GetData(table, filter, set, pos, type, value); }));
  });
}

Q7_EXPORT const char* RQ7GetDataStrR1(int table, int filter, int set, int pos) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText), [&] {
    return TextInGBuf(
        [&](int* type, void* value) { return RQ7GetData(table, filter, set, pos, type, value); });
  });
}

Q7_EXPORT int RQ7GetDataNumericR1(int table, int filter, int set, int pos, Numeric* value) {
  return LockedValueFrame(-1, [&] { return ReadDecimal(table, filter, set, pos, value); });
}

Q7_EXPORT int RQ7GetData1IntR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(kValueFrameIntNull, [&] {
    return IntOf(
        ReadOne([&](int* type, void* value) { return RQ7GetData1(table, filter, set, row, type, value); }));
  });
}

Q7_EXPORT double RQ7GetData1DblR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(kValueFrameDoubleNull, [&] {
    return DoubleOf(
        ReadOne([&](int* type, void* value) { return RQ7GetData1(table, filter, set, row, type, value); }));
  });
}

Q7_EXPORT const char* RQ7GetData1StrR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText), [&] {
    return TextInGBuf(
        [&](int* type, void* value) { return RQ7GetData1(table, filter, set, row, type, value); });
  });
}

Q7_EXPORT int RQ7GetData1NumericR1(int table, int filter, int set, int row, Numeric* value) {
  // A row below 1 is no row; made 0-based it stays out of range instead of wrapping.
  return LockedValueFrame(-1, [&] { return ReadDecimal(table, filter, set, row < 1 ? -1 : row - 1, value); });
}

// A failed read leaves gBuf empty and still returns it.
Q7_EXPORT const char* RQ7GetData1Cnv2StrR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText), [&]() -> const char* {
    gBuf[0] = '\0';
    const ReadValue v =
        ReadOne([&](int* type, void* value) { return RQ7GetData1(table, filter, set, row, type, value); });
    if (v.result >= 0) ValueToGBuf(v);
    return gBuf;
  });
}

// ---- Block reads ----

// The block read clears and may use a whole 1024-byte value buffer, while 128 ints take only 512
// bytes: it reads into a block of its own, and the host's array gets just the ints read. A null
// array is still handed on, for the block read to refuse.
Q7_EXPORT int RQ7GetData1MIntR1(int table, int filter, int set, int first_row, int* count, int* values) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    if (RQ7GetFilterType(table, filter) != Q7_TYPE_INTEGER)
      return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
    int type = 0;
    int32_t block[kBlockValueBytes / sizeof(int32_t)];
    char texts[kBlockTextBytes];
    const int result = RQ7GetData1M(table, filter, set, first_row, &type, count,
                                    values != nullptr ? block : nullptr, texts);
    if (result < 0) return result;
    // The filter may have been replaced between the two locked calls.
    if (type != Q7_TYPE_INTEGER) {
      *count = 0;
      return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
    }
    memcpy(values, block, sizeof(int32_t) * static_cast<size_t>(*count));
    return result;
  });
}

Q7_EXPORT int RQ7GetData1MDblR1(int table, int filter, int set, int first_row, int* count, double* values) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    if (!IsDoubleType(RQ7GetFilterType(table, filter))) return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
    int type = 0;
    char texts[kBlockTextBytes];
    return RQ7GetData1M(table, filter, set, first_row, &type, count, values, texts);
  });
}

Q7_EXPORT int RQ7GetData1MNumericR1(int table, int filter, int set, int first_row, int* count,
                                    Numeric* values) {
  return LightFrame([&] { return BlockDecimals(table, filter, set, first_row, count, values); });
}

Q7_EXPORT int RQ7GetData1MStrR1(int table, int filter, int set, int first_row, int* count, int* offsets,
                                char* texts) {
  return LightFrame([&] { return BlockTexts(table, filter, set, first_row, count, offsets, texts); });
}

// ---- Overwrite and fill by value ----

Q7_EXPORT int RQ7OverwriteRealExIntR1(int table, int set, int filter, int row, int value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7OverwriteRealEx", HostValueKind::kInt, table, filter,
                   [&](CDBTask* task) { return task->OverwriteRealEx(table, set, filter, row, 1, &value); });
  });
}

Q7_EXPORT int RQ7OverwriteRealExDblR1(int table, int set, int filter, int row, double value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7OverwriteRealEx", HostValueKind::kDouble, table, filter,
                   [&](CDBTask* task) { return task->OverwriteRealEx(table, set, filter, row, 1, &value); });
  });
}

Q7_EXPORT int RQ7OverwriteRealExStrR1(int table, int set, int filter, int row, const char* value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7OverwriteRealEx", HostValueKind::kText, table, filter,
                   [&](CDBTask* task) { return task->OverwriteRealEx(table, set, filter, row, 1, &value); });
  });
}

Q7_EXPORT int RQ7OverwriteRealExNumericR1(int table, int set, int filter, int row, Numeric* value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7OverwriteRealEx", HostValueKind::kDecimal, table, filter,
                   [&](CDBTask* task) { return task->OverwriteRealEx(table, set, filter, row, 1, value); });
  });
}

Q7_EXPORT int RQ7FillRealExIntR1(int table, int set, int filter, int from, int count, int value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7FillRealEx", HostValueKind::kInt, table, filter,
                   [&](CDBTask* task) { return task->FillRealEx(table, set, filter, from, count, &value); });
  });
}

Q7_EXPORT int RQ7FillRealExDblR1(int table, int set, int filter, int from, int count, double value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7FillRealEx", HostValueKind::kDouble, table, filter,
                   [&](CDBTask* task) { return task->FillRealEx(table, set, filter, from, count, &value); });
  });
}

Q7_EXPORT int RQ7FillRealExStrR1(int table, int set, int filter, int from, int count, const char* value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7FillRealEx", HostValueKind::kText, table, filter,
                   [&](CDBTask* task) { return task->FillRealEx(table, set, filter, from, count, &value); });
  });
}

Q7_EXPORT int RQ7FillRealExNumericR1(int table, int set, int filter, int from, int count, Numeric* value) {
  return DelegatingValueFrame(kStatusFailure, [&] {
    return WriteOf("RQ7FillRealEx", HostValueKind::kDecimal, table, filter,
                   [&](CDBTask* task) { return task->FillRealEx(table, set, filter, from, count, value); });
  });
}

// ---- Conversions ----

Q7_EXPORT const char* RQ7Double2DateStrR1(double value) {
  return PureValueFrame(static_cast<const char*>(kEmptyText), [&] {
    return DateTextInGBuf([&](char* out) { Double2DateStr(value, out, kDateSeparator); });
  });
}

Q7_EXPORT const char* RQ7Double2TimeStrR1(double value) {
  return PureValueFrame(static_cast<const char*>(kEmptyText),
                        [&] { return DateTextInGBuf([&](char* out) { Double2TimeStr(value, out); }); });
}

Q7_EXPORT const char* RQ7Double2DateTimeStrR1(double value) {
  return PureValueFrame(static_cast<const char*>(kEmptyText), [&] {
    return DateTextInGBuf([&](char* out) { Double2DateTimeStr(value, out, kDateSeparator); });
  });
}

Q7_EXPORT const char* RQ7NumericNum2StrR1(const Numeric* x, const NumericInfo* info, int shift, int digits) {
  return PureValueFrame(static_cast<const char*>(kEmptyText), [&]() -> const char* {
    if (x == nullptr || info == nullptr) return kEmptyText;
    gBuf[0] = '\0';
    RQ7NumericNum2Str(x, info, shift, digits, gBuf, kGBufSize);
    return gBuf;
  });
}

Q7_EXPORT double RQ7Str2DateR1(const char* text) {
  return PureValueFrame(kValueFrameDoubleNull, [&] {
    int err = 0;
    return text != nullptr ? Str2Date(text, 0, &err) : kValueFrameDoubleNull;
  });
}

Q7_EXPORT double RQ7Str2TimeR1(const char* text) {
  return PureValueFrame(kValueFrameDoubleNull, [&] {
    int err = 0;
    return text != nullptr ? Str2Time(text, 0, &err) : kValueFrameDoubleNull;
  });
}

Q7_EXPORT double RQ7Str2DateTimeR1(const char* text) {
  return PureValueFrame(kValueFrameDoubleNull, [&] {
    int err = 0;
    return text != nullptr ? Str2DateTime(text, 0, &err) : kValueFrameDoubleNull;
  });
}

// ---- Stubs ----
// Entry points of services this engine does not have; they keep old hosts linking.

Q7_EXPORT int RQ7SetJoinCheckFlag(int /*flag*/) { return 0; }

Q7_EXPORT int RQ7Connect2ZPKServer(const char* /*host*/, int /*port*/) { return 0; }

Q7_EXPORT int RQ7DisconnectFromZPKServer(void) { return 0; }

Q7_EXPORT int RQ7GetNamingServiceIdentity(void) { return 0; }

Q7_EXPORT int RQ7GetServerIPAddress(char* address) {
  if (address != nullptr) address[0] = '\0';
  return 0;
}
