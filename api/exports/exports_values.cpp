// Exported value-returning calls (names ending in R1) and the stubs.
//
// Three kinds (api/frame/frame.h, api/ops/ops_values.h): delegating calls run another exported call,
// which takes the API lock and records its failures itself, and convert its result; locking calls
// take the lock and reach the operation layer or the tables directly, swallowing every failure; pure
// calls convert the caller's value without touching the database. The by-value searches and writes
// run in the full frame of the call they stand for, which records under that call's name.
#include "api/frame/frame.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_values.h"
#include "q7api.h"

namespace {

// The status of a delegating call that failed outside the call it delegates to.
constexpr int kStatusFailure = Q7_ERROR_UNKNOWN;

}  // namespace

// ---- Version and database texts ----

Q7_EXPORT const char* RQ7GetCopyRightR1(void) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [] { return innerRQ7GetCopyRightR1(); });
}

// Whatever fails inside gives Q7_ERROR_UNKNOWN, and nothing is recorded.
Q7_EXPORT int RQ7GetVersionR1(int* versions) {
  return LockedValueFrame(kStatusFailure, [&] { return innerRQ7GetVersionR1(versions); });
}

Q7_EXPORT const char* RQ7GetDBPathR1(void) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [] { return innerRQ7GetDBPathR1(); });
}

Q7_EXPORT const char* RQ7GetDBNameR1(void) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [] { return innerRQ7GetDBNameR1(); });
}

// ---- Names ----

Q7_EXPORT const char* RQ7GenerateTableNameR1(const char* seed) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText),
                              [&] { return innerRQ7GenerateTableNameR1(seed); });
}

Q7_EXPORT const char* RQ7GenTableNameR1(const char* seed) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText),
                              [&] { return innerRQ7GenTableNameR1(seed); });
}

Q7_EXPORT const char* RQ7GetTableNameR1(int table) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText),
                          [&] { return innerRQ7GetTableNameR1(table); });
}

Q7_EXPORT const char* RQ7GetFilterNameR1(int table, int filter) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText),
                          [&] { return innerRQ7GetFilterNameR1(table, filter); });
}

Q7_EXPORT const char* RQ7GetSetNameR1(int table, int set) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText),
                          [&] { return innerRQ7GetSetNameR1(table, set); });
}

// ---- Descriptions ----

Q7_EXPORT int RQ7GetNumericInfoR1(int table, int filter, NumericInfo* info) {
  return LockedValueFrame(-1, [&] { return innerQ7GetNumericInfo(table, filter, info, nullptr, false); });
}

Q7_EXPORT int RQ7GetJoinInfoR1(int table, int* master_table, int* master_set, int* master_key,
                               int* slave_table, int* slave_set, int* slave_key) {
  return LightFrame([&] {
    return innerRQ7GetJoinInfoR1(table, master_table, master_set, master_key, slave_table, slave_set,
                                 slave_key);
  });
}

Q7_EXPORT int RQ7GetJoinInfoExR1(int table, int* outer, int* key_count, int* master_table, int* master_set,
                                 int* master_keys, int* slave_table, int* slave_set, int* slave_keys) {
  return LightFrame([&] {
    return innerRQ7GetJoinInfoExR1(table, outer, key_count, master_table, master_set, master_keys,
                                   slave_table, slave_set, slave_keys);
  });
}

// ---- Searches ----

Q7_EXPORT int RQ7SearchByFieldStrR1(int table, int filter, int set, int op, const char* from,
                                    const char* to) {
  return FullFrame("RQ7SearchByField", [&] {
    return innerRQ7SearchByFieldStrR1(table, filter, set, op, HostReadOnly(from), HostReadOnly(to));
  });
}

Q7_EXPORT int RQ7SearchByFieldNumericR1(int table, int filter, int set, int op, Numeric* from, Numeric* to) {
  return FullFrame("RQ7SearchByField",
                   [&] { return innerRQ7SearchByFieldNumericR1(table, filter, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByFieldIntR1(int table, int filter, int set, int op, int from, int to) {
  return FullFrame("RQ7SearchByField",
                   [&] { return innerRQ7SearchByFieldIntR1(table, filter, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByFieldDblR1(int table, int filter, int set, int op, double from, double to) {
  return FullFrame("RQ7SearchByField",
                   [&] { return innerRQ7SearchByFieldDblR1(table, filter, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByFieldSJISR1(int table, int filter, int set, int op, const char* from,
                                     const char* to) {
  return DelegatingValueFrame(kStatusFailure,
                              [&] { return RQ7SearchByFieldSJIS(table, filter, set, op, from, to); });
}

Q7_EXPORT int RQ7SearchByFieldLocaleR1(int table, int filter, int set, int op, const char* from,
                                       const char* to, int locale) {
  return DelegatingValueFrame(
      kStatusFailure, [&] { return RQ7SearchByFieldLocale(table, filter, set, op, from, to, locale); });
}

// ---- Single values ----

Q7_EXPORT int RQ7GetDataIntR1(int table, int filter, int set, int pos) {
  return DelegatingValueFrame(kValueFrameIntNull,
                              [&] { return innerRQ7GetDataIntR1(table, filter, set, pos); });
}

Q7_EXPORT double RQ7GetDataDblR1(int table, int filter, int set, int pos) {
  return DelegatingValueFrame(kValueFrameDoubleNull,
                              [&] { return innerRQ7GetDataDblR1(table, filter, set, pos); });
}

Q7_EXPORT const char* RQ7GetDataStrR1(int table, int filter, int set, int pos) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText),
                              [&] { return innerRQ7GetDataStrR1(table, filter, set, pos); });
}

Q7_EXPORT int RQ7GetDataNumericR1(int table, int filter, int set, int pos, Numeric* value) {
  return LockedValueFrame(-1, [&] { return innerRQ7GetDataNumericR1(table, filter, set, pos, value); });
}

Q7_EXPORT int RQ7GetData1IntR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(kValueFrameIntNull,
                              [&] { return innerRQ7GetData1IntR1(table, filter, set, row); });
}

Q7_EXPORT double RQ7GetData1DblR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(kValueFrameDoubleNull,
                              [&] { return innerRQ7GetData1DblR1(table, filter, set, row); });
}

Q7_EXPORT const char* RQ7GetData1StrR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText),
                              [&] { return innerRQ7GetData1StrR1(table, filter, set, row); });
}

Q7_EXPORT int RQ7GetData1NumericR1(int table, int filter, int set, int row, Numeric* value) {
  return LockedValueFrame(-1, [&] { return innerRQ7GetData1NumericR1(table, filter, set, row, value); });
}

Q7_EXPORT const char* RQ7GetData1Cnv2StrR1(int table, int filter, int set, int row) {
  return DelegatingValueFrame(static_cast<const char*>(kEmptyText),
                              [&] { return innerRQ7GetData1Cnv2StrR1(table, filter, set, row); });
}

// ---- Block reads ----

Q7_EXPORT int RQ7GetData1MIntR1(int table, int filter, int set, int first_row, int* count, int* values) {
  return DelegatingValueFrame(
      kStatusFailure, [&] { return innerRQ7GetData1MIntR1(table, filter, set, first_row, count, values); });
}

Q7_EXPORT int RQ7GetData1MDblR1(int table, int filter, int set, int first_row, int* count, double* values) {
  return DelegatingValueFrame(
      kStatusFailure, [&] { return innerRQ7GetData1MDblR1(table, filter, set, first_row, count, values); });
}

Q7_EXPORT int RQ7GetData1MNumericR1(int table, int filter, int set, int first_row, int* count,
                                    Numeric* values) {
  return LightFrame([&] { return innerRQ7GetData1MNumericR1(table, filter, set, first_row, count, values); });
}

Q7_EXPORT int RQ7GetData1MStrR1(int table, int filter, int set, int first_row, int* count, int* offsets,
                                char* texts) {
  return LightFrame(
      [&] { return innerRQ7GetData1MStrR1(table, filter, set, first_row, count, offsets, texts); });
}

// ---- Overwrite and fill by value ----

Q7_EXPORT int RQ7OverwriteRealExIntR1(int table, int set, int filter, int row, int value) {
  return FullFrame("RQ7OverwriteRealEx", [&] {
    return innerQ7OverwriteRealExOf(HostValueKind::kInt, table, set, filter, row, &value);
  });
}

Q7_EXPORT int RQ7OverwriteRealExDblR1(int table, int set, int filter, int row, double value) {
  return FullFrame("RQ7OverwriteRealEx", [&] {
    return innerQ7OverwriteRealExOf(HostValueKind::kDouble, table, set, filter, row, &value);
  });
}

Q7_EXPORT int RQ7OverwriteRealExStrR1(int table, int set, int filter, int row, const char* value) {
  return FullFrame("RQ7OverwriteRealEx", [&] {
    return innerQ7OverwriteRealExOf(HostValueKind::kText, table, set, filter, row, &value);
  });
}

Q7_EXPORT int RQ7OverwriteRealExNumericR1(int table, int set, int filter, int row, Numeric* value) {
  return FullFrame("RQ7OverwriteRealEx", [&] {
    return innerQ7OverwriteRealExOf(HostValueKind::kDecimal, table, set, filter, row, value);
  });
}

Q7_EXPORT int RQ7FillRealExIntR1(int table, int set, int filter, int from, int count, int value) {
  return FullFrame("RQ7FillRealEx", [&] {
    return innerQ7FillRealExOf(HostValueKind::kInt, table, set, filter, from, count, &value);
  });
}

Q7_EXPORT int RQ7FillRealExDblR1(int table, int set, int filter, int from, int count, double value) {
  return FullFrame("RQ7FillRealEx", [&] {
    return innerQ7FillRealExOf(HostValueKind::kDouble, table, set, filter, from, count, &value);
  });
}

Q7_EXPORT int RQ7FillRealExStrR1(int table, int set, int filter, int from, int count, const char* value) {
  return FullFrame("RQ7FillRealEx", [&] {
    return innerQ7FillRealExOf(HostValueKind::kText, table, set, filter, from, count, &value);
  });
}

Q7_EXPORT int RQ7FillRealExNumericR1(int table, int set, int filter, int from, int count, Numeric* value) {
  return FullFrame("RQ7FillRealEx", [&] {
    return innerQ7FillRealExOf(HostValueKind::kDecimal, table, set, filter, from, count, value);
  });
}

// ---- Conversions ----

Q7_EXPORT const char* RQ7Double2DateStrR1(double value) {
  return PureValueFrame(static_cast<const char*>(kEmptyText),
                        [&] { return innerRQ7Double2DateStrR1(value); });
}

Q7_EXPORT const char* RQ7Double2TimeStrR1(double value) {
  return PureValueFrame(static_cast<const char*>(kEmptyText),
                        [&] { return innerRQ7Double2TimeStrR1(value); });
}

Q7_EXPORT const char* RQ7Double2DateTimeStrR1(double value) {
  return PureValueFrame(static_cast<const char*>(kEmptyText),
                        [&] { return innerRQ7Double2DateTimeStrR1(value); });
}

Q7_EXPORT const char* RQ7NumericNum2StrR1(const Numeric* x, const NumericInfo* info, int shift, int digits) {
  return PureValueFrame(static_cast<const char*>(kEmptyText),
                        [&] { return innerRQ7NumericNum2StrR1(x, info, shift, digits); });
}

Q7_EXPORT double RQ7Str2DateR1(const char* text) {
  return PureValueFrame(kValueFrameDoubleNull, [&] { return innerRQ7Str2DateR1(text); });
}

Q7_EXPORT double RQ7Str2TimeR1(const char* text) {
  return PureValueFrame(kValueFrameDoubleNull, [&] { return innerRQ7Str2TimeR1(text); });
}

Q7_EXPORT double RQ7Str2DateTimeR1(const char* text) {
  return PureValueFrame(kValueFrameDoubleNull, [&] { return innerRQ7Str2DateTimeR1(text); });
}

// ---- Stubs ----
// Entry points of services this engine does not have; they keep old hosts linking.

Q7_EXPORT int RQ7SetJoinCheckFlag(int /*flag*/) { return 0; }

Q7_EXPORT int RQ7Connect2ZPKServer(const char* /*host*/, int /*port*/) { return 0; }

Q7_EXPORT int RQ7DisconnectFromZPKServer(void) { return 0; }

Q7_EXPORT int RQ7GetNamingServiceIdentity(void) { return 0; }

Q7_EXPORT int RQ7GetServerIPAddress(char* address) {
  return PureValueFrame(0, [&] { return innerRQ7GetServerIPAddress(address); });
}
