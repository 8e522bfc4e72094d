// The value-returning forms of the operation layer: the exported functions whose names end in R1.
#include "api/ops/ops_values.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "api/frame/frame.h"
#include "api/ops/EngineOps.h"
#include "api/ops/OpCommon.h"
#include "api/ops/ops_blocks.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_search.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/TextHelpers.h"
#include "values/DateTime.h"
#include "values/NumericText.h"

namespace {

// A single read writes at most a text and its zero (4096 bytes) or a 24-byte decimal.
constexpr size_t kValueBytes = 4096;
constexpr int kBlockRows = 128;
constexpr size_t kBlockValueBytes = 1024;
constexpr size_t kBlockTextBytes = 4096;
constexpr size_t kDecimalBytes = sizeof(Numeric);
constexpr char kDateSeparator = '/';

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
  // No set has a row past INT_MAX, and the row number must not wrap to reach one.
  int64_t last_row = INT32_MAX;
  for (int i = 0; i < kBlockRows; ++i) {
    const int64_t row = int64_t{first_row} + i;
    if (row > last_row) break;
    ReadValue v;
    v.result = innerQ7GetData1(table_id, filter_id, set_id, static_cast<int>(row), &v.type, v.bytes, i);
    if (v.result < 0) {
      if (i == 0) return v.result;
      break;
    }
    if (i == 0) {
      first_result = v.result;
      last_row = BlockLastRow(table_id, set_id);
    }
    if (!store(i, v)) break;
    ++*count;
  }
  return first_result;
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
      q7num::NumericNum2Str(&value, &info, 0, info.scale, gBuf, kGBufSize);
      return;
    }
    default:
      qz7_strlcpy(gBuf, reinterpret_cast<const char*>(v.bytes), kGBufSize);
      return;
  }
}

template <class Convert>
const char* DateTextInGBuf(Convert&& convert) {
  gBuf[0] = '\0';
  convert(gBuf);
  return gBuf;
}

}  // namespace

// ---- Version and database texts ----

const char* innerRQ7GetCopyRightR1() {
  char* copyright = nullptr;
  if (innerQ7GetVersion(nullptr, &copyright) < 0 || copyright == nullptr) return kEmptyText;
  return copyright;
}

int innerRQ7GetVersionR1(int* versions) {
  int* engine_versions = nullptr;
  const int result = innerQ7GetVersion(&engine_versions, nullptr);
  if (result >= 0 && versions != nullptr) memcpy(versions, engine_versions, 4 * sizeof(int));
  return result;
}

const char* innerRQ7GetDBPathR1() {
  TTableCollection* db = CurrentDatabase();
  return db != nullptr ? db->FDBPath : kEmptyText;
}

const char* innerRQ7GetDBNameR1() {
  TTableCollection* db = CurrentDatabase();
  return db != nullptr ? db->FDBName : kEmptyText;
}

// ---- Names ----

const char* innerRQ7GenerateTableNameR1(const char* seed) {
  return FilledGBuf([&](char* out) { return RQ7GenerateTableName(seed, out); });
}

const char* innerRQ7GenTableNameR1(const char* seed) {
  return FilledGBuf([&](char* out) { return RQ7GenTableName(seed, out); });
}

const char* innerRQ7GetTableNameR1(int table_id) {
  TBaseTable* t = QuietTable(table_id);
  return t != nullptr ? t->FTableName : kEmptyText;
}

// A join column by the join's own name of it, as RQ7GetFilterName names it.
const char* innerRQ7GetFilterNameR1(int table_id, int filter_id) {
  TBaseTable* t = QuietTable(table_id);
  TFilter* f = t != nullptr ? LookupFilter(t, filter_id) : nullptr;
  const char* name = f != nullptr ? ReportedFilterName(t, filter_id, f) : nullptr;
  return name != nullptr ? name : kEmptyText;
}

const char* innerRQ7GetSetNameR1(int table_id, int set_id) {
  TBaseTable* t = QuietTable(table_id);
  if (t == nullptr || !HasSet(t, set_id)) return kEmptyText;
  TSetArray* s = t->GetSet(set_id);
  return s != nullptr ? s->GetSetName() : kEmptyText;
}

// ---- Join descriptions ----

int innerRQ7GetJoinInfoR1(int table_id, int* master_table, int* master_set, int* master_key, int* slave_table,
                          int* slave_set, int* slave_key) {
  char name[TBaseTable::kNameSize];
  return innerQ7GetJoinInfo(table_id, name, master_table, master_set, master_key, slave_table, slave_set,
                            slave_key);
}

int innerRQ7GetJoinInfoExR1(int table_id, int* outer, int* key_count, int* master_table, int* master_set,
                            int* master_keys, int* slave_table, int* slave_set, int* slave_keys) {
  char* name = nullptr;
  return innerQ7GetJoinInfoEx(table_id, &name, outer, key_count, master_table, master_set, master_keys,
                              slave_table, slave_set, slave_keys);
}

// ---- Searches ----

int innerRQ7SearchByFieldStrR1(int table_id, int filter_id, int set_id, int op, char* from, char* to) {
  return innerQ7SearchByFieldOf(HostValueKind::kText, table_id, filter_id, set_id, op, from, to);
}

int innerRQ7SearchByFieldNumericR1(int table_id, int filter_id, int set_id, int op, Numeric* from,
                                   Numeric* to) {
  return innerQ7SearchByFieldOf(HostValueKind::kDecimal, table_id, filter_id, set_id, op,
                                reinterpret_cast<char*>(from), reinterpret_cast<char*>(to));
}

int innerRQ7SearchByFieldIntR1(int table_id, int filter_id, int set_id, int op, int from, int to) {
  return innerQ7SearchByFieldOf(HostValueKind::kInt, table_id, filter_id, set_id, op,
                                reinterpret_cast<char*>(&from), reinterpret_cast<char*>(&to));
}

int innerRQ7SearchByFieldDblR1(int table_id, int filter_id, int set_id, int op, double from, double to) {
  return innerQ7SearchByFieldOf(HostValueKind::kDouble, table_id, filter_id, set_id, op,
                                reinterpret_cast<char*>(&from), reinterpret_cast<char*>(&to));
}

// ---- Single values ----

int32_t innerRQ7GetDataIntR1(int table_id, int filter_id, int set_id, int pos) {
  return IntOf(ReadOne(
      [&](int* type, void* value) { return RQ7GetData(table_id, filter_id, set_id, pos, type, value); }));
}

double innerRQ7GetDataDblR1(int table_id, int filter_id, int set_id, int pos) {
  return DoubleOf(ReadOne(
      [&](int* type, void* value) { return RQ7GetData(table_id, filter_id, set_id, pos, type, value); }));
}

const char* innerRQ7GetDataStrR1(int table_id, int filter_id, int set_id, int pos) {
  return TextInGBuf(
      [&](int* type, void* value) { return RQ7GetData(table_id, filter_id, set_id, pos, type, value); });
}

int32_t innerRQ7GetData1IntR1(int table_id, int filter_id, int set_id, int row) {
  return IntOf(ReadOne(
      [&](int* type, void* value) { return RQ7GetData1(table_id, filter_id, set_id, row, type, value); }));
}

double innerRQ7GetData1DblR1(int table_id, int filter_id, int set_id, int row) {
  return DoubleOf(ReadOne(
      [&](int* type, void* value) { return RQ7GetData1(table_id, filter_id, set_id, row, type, value); }));
}

const char* innerRQ7GetData1StrR1(int table_id, int filter_id, int set_id, int row) {
  return TextInGBuf(
      [&](int* type, void* value) { return RQ7GetData1(table_id, filter_id, set_id, row, type, value); });
}

const char* innerRQ7GetData1Cnv2StrR1(int table_id, int filter_id, int set_id, int row) {
  gBuf[0] = '\0';
  const ReadValue v = ReadOne(
      [&](int* type, void* value) { return RQ7GetData1(table_id, filter_id, set_id, row, type, value); });
  if (v.result >= 0) ValueToGBuf(v);
  return gBuf;
}

int innerRQ7GetDataNumericR1(int table_id, int filter_id, int set_id, int pos, Numeric* value) {
  return ReadDecimal(table_id, filter_id, set_id, pos, value);
}

// A row below 1 is no row; made 0-based it stays out of range instead of wrapping.
int innerRQ7GetData1NumericR1(int table_id, int filter_id, int set_id, int row, Numeric* value) {
  return ReadDecimal(table_id, filter_id, set_id, row < 1 ? -1 : row - 1, value);
}

// ---- Block reads ----

// The block read clears and may use a whole 1024-byte value buffer, while 128 ints take only 512
// bytes: it reads into a block of its own, and the host's array gets just the ints read. A null
// array is still handed on, for the block read to refuse.
int innerRQ7GetData1MIntR1(int table_id, int filter_id, int set_id, int first_row, int* count, int* values) {
  if (RQ7GetFilterType(table_id, filter_id) != Q7_TYPE_INTEGER)
    return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
  int type = 0;
  int32_t block[kBlockValueBytes / sizeof(int32_t)];
  char texts[kBlockTextBytes];
  const int result = RQ7GetData1M(table_id, filter_id, set_id, first_row, &type, count,
                                  values != nullptr ? block : nullptr, texts);
  if (result < 0) return result;
  // The filter may have been replaced between the two locked calls.
  if (type != Q7_TYPE_INTEGER) {
    *count = 0;
    return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
  }
  memcpy(values, block, sizeof(int32_t) * static_cast<size_t>(*count));
  return result;
}

int innerRQ7GetData1MDblR1(int table_id, int filter_id, int set_id, int first_row, int* count,
                           double* values) {
  if (!IsDoubleType(RQ7GetFilterType(table_id, filter_id)))
    return static_cast<int>(Q7_ERROR_INVALID_DATA_TYPE);
  int type = 0;
  char texts[kBlockTextBytes];
  return RQ7GetData1M(table_id, filter_id, set_id, first_row, &type, count, values, texts);
}

int innerRQ7GetData1MNumericR1(int table_id, int filter_id, int set_id, int first_row, int* count,
                               Numeric* values) {
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

int innerRQ7GetData1MStrR1(int table_id, int filter_id, int set_id, int first_row, int* count, int* offsets,
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

// ---- Overwrite and fill by value ----

int innerQ7OverwriteRealExOf(HostValueKind kind, int table_id, int set_id, int filter_id, int row,
                             void* value) {
  CheckValueKind(QuietTable(table_id), filter_id, kind);
  return ChangedOnSuccess(Changes::kTables,
                          DBTASK()->OverwriteRealEx(table_id, set_id, filter_id, row, 1, value));
}

int innerQ7FillRealExOf(HostValueKind kind, int table_id, int set_id, int filter_id, int from, int count,
                        void* value) {
  CheckValueKind(QuietTable(table_id), filter_id, kind);
  return ChangedOnSuccess(Changes::kTables,
                          DBTASK()->FillRealEx(table_id, set_id, filter_id, from, count, value));
}

// ---- Conversions ----

const char* innerRQ7Double2DateStrR1(double value) {
  return DateTextInGBuf([&](char* out) { Double2DateStr(value, out, kDateSeparator); });
}

const char* innerRQ7Double2TimeStrR1(double value) {
  return DateTextInGBuf([&](char* out) { Double2TimeStr(value, out); });
}

const char* innerRQ7Double2DateTimeStrR1(double value) {
  return DateTextInGBuf([&](char* out) { Double2DateTimeStr(value, out, kDateSeparator); });
}

const char* innerRQ7NumericNum2StrR1(const Numeric* x, const NumericInfo* info, int shift, int digits) {
  if (x == nullptr || info == nullptr) return kEmptyText;
  gBuf[0] = '\0';
  q7num::NumericNum2Str(x, info, shift, digits, gBuf, kGBufSize);
  return gBuf;
}

double innerRQ7Str2DateR1(const char* text) {
  int err = 0;
  return text != nullptr ? Str2Date(text, 0, &err) : kValueFrameDoubleNull;
}

double innerRQ7Str2TimeR1(const char* text) {
  int err = 0;
  return text != nullptr ? Str2Time(text, 0, &err) : kValueFrameDoubleNull;
}

double innerRQ7Str2DateTimeR1(const char* text) {
  // The value is the caller's only answer: a part that is none must not pass for 1899/12/30 or
  // for midnight of the date.
  int err = 0;
  return text != nullptr ? Str2DateTimeOrNull(text, 0, &err) : kValueFrameDoubleNull;
}

// ---- Stubs ----

int innerRQ7GetServerIPAddress(char* address) {
  if (address != nullptr) address[0] = '\0';
  return 0;
}
