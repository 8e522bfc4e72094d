// The value-returning forms of the operation layer (the exported functions whose names end in R1):
// each gives the host a value itself instead of a status, or reads a value passed by value.
//
// Three kinds, by the frame each runs in (api/frame/frame.h):
// - delegating: run WITHOUT the API lock and call other exported functions, which take the lock and
//   record their own failures; the result is converted here. Never call them with the lock held.
// - locking: run under the lock and reach the operation layer or the tables directly; they record
//   nothing themselves (the Of forms excepted, see there).
// - pure: convert the caller's value without touching the database.
// A failure comes back as the type's NULL: kValueFrameIntNull, kValueFrameDoubleNull or kEmptyText
// (api/frame/frame.h), where the function returns a value. Texts come back in gBuf, which the next
// call returning text there overwrites; names as pointers into the engine's own objects.
//
// Rows: the forms with Data1 take 1-based positions, the others 0-based ones, as the reads they
// stand on (api/ops/ops_data.h).
#pragma once

#include <cstdint>

#include "api/ops/ops_data.h"
#include "q7api.h"

// ---- Version and database texts (locking) ----
// The copyright text (engine memory).
const char* innerRQ7GetCopyRightR1();
// The four version numbers into versions (four ints; null: not wanted); innerQ7GetVersion's result.
int innerRQ7GetVersionR1(int* versions);
// The database's directory and file name (engine memory); the empty text without a database.
const char* innerRQ7GetDBPathR1();
const char* innerRQ7GetDBNameR1();

// ---- Names ----
// Delegating: RQ7GenerateTableName / RQ7GenTableName into gBuf.
const char* innerRQ7GenerateTableNameR1(const char* seed);
const char* innerRQ7GenTableNameR1(const char* seed);
// Locking: the name of the table, filter (a join column's source filter name) or set, found without
// any ring entry. A missing set gives the empty text too: a table's name in its place would pass
// for a set name.
const char* innerRQ7GetTableNameR1(int table_id);
const char* innerRQ7GetFilterNameR1(int table_id, int filter_id);
const char* innerRQ7GetSetNameR1(int table_id, int set_id);

// ---- Join descriptions (locking) ----
// innerQ7GetJoinInfo / innerQ7GetJoinInfoEx without the name.
int innerRQ7GetJoinInfoR1(int table_id, int* master_table, int* master_set, int* master_key, int* slave_table,
                          int* slave_set, int* slave_key);
int innerRQ7GetJoinInfoExR1(int table_id, int* outer, int* key_count, int* master_table, int* master_set,
                            int* master_keys, int* slave_table, int* slave_set, int* slave_keys);

// ---- Searches with bounds of one kind (locking, in the frame of "RQ7SearchByField") ----
// innerQ7SearchByFieldOf with the bounds of that kind: the filter's type is checked under the same
// lock as the search, so no other call can change the filter in between.
int innerRQ7SearchByFieldStrR1(int table_id, int filter_id, int set_id, int op, char* from, char* to);
int innerRQ7SearchByFieldNumericR1(int table_id, int filter_id, int set_id, int op, Numeric* from,
                                   Numeric* to);
int innerRQ7SearchByFieldIntR1(int table_id, int filter_id, int set_id, int op, int from, int to);
int innerRQ7SearchByFieldDblR1(int table_id, int filter_id, int set_id, int op, double from, double to);

// ---- Single values ----
// Delegating: RQ7GetData / RQ7GetData1 of an INTEGER, a DOUBLE (or date or time) or a STRING
// filter; a failure or a value of another type gives the type's NULL (the text is read into gBuf).
int32_t innerRQ7GetDataIntR1(int table_id, int filter_id, int set_id, int pos);
double innerRQ7GetDataDblR1(int table_id, int filter_id, int set_id, int pos);
const char* innerRQ7GetDataStrR1(int table_id, int filter_id, int set_id, int pos);
int32_t innerRQ7GetData1IntR1(int table_id, int filter_id, int set_id, int row);
double innerRQ7GetData1DblR1(int table_id, int filter_id, int set_id, int row);
const char* innerRQ7GetData1StrR1(int table_id, int filter_id, int set_id, int row);
// Delegating: RQ7GetData1 as text in gBuf (integers "%d", doubles "%f", dates and times in the
// '/' form, decimals at their scale); a failed read leaves gBuf empty and still returns it.
const char* innerRQ7GetData1Cnv2StrR1(int table_id, int filter_id, int set_id, int row);
// Locking: a decimal (the 16-byte value alone) read through the table itself into *value; the
// read's result. No table: -1; a null value: Q7_ERROR_INVALID_PARAMETER. Nothing is recorded.
int innerRQ7GetDataNumericR1(int table_id, int filter_id, int set_id, int pos, Numeric* value);
int innerRQ7GetData1NumericR1(int table_id, int filter_id, int set_id, int row, Numeric* value);

// ---- Block reads of up to 128 rows from first_row ----
// Delegating: RQ7GetFilterType, then RQ7GetData1M. Ints: only the *count ints read are written to
// values (the block read itself takes 1024 bytes of its own); doubles straight into values. A
// filter of another type: Q7_ERROR_INVALID_DATA_TYPE without reading (also when it was replaced
// between the two calls: *count is then 0).
int innerRQ7GetData1MIntR1(int table_id, int filter_id, int set_id, int first_row, int* count, int* values);
int innerRQ7GetData1MDblR1(int table_id, int filter_id, int set_id, int first_row, int* count,
                           double* values);
// Locking, through innerQ7GetData1 (nothing recorded here): decimals (values: 128 Numerics, the
// value alone, cleared first) or texts (offsets: 128 ints into texts, 4096 bytes, cleared first).
// Null outputs: Q7_ERROR_INVALID_PARAMETER; a filter of another type: Q7_ERROR_INVALID_DATA_TYPE.
int innerRQ7GetData1MNumericR1(int table_id, int filter_id, int set_id, int first_row, int* count,
                               Numeric* values);
int innerRQ7GetData1MStrR1(int table_id, int filter_id, int set_id, int first_row, int* count, int* offsets,
                           char* texts);

// ---- Overwrite and fill by value (locking, in the frame of the write's RQ7 name) ----
// The task object's OverwriteRealEx of one row / FillRealEx of `count` rows with the one value at
// `value` (an int32, a double, a text pointer or a Numeric, as `kind` says). A value whose kind is
// not the filter's is thrown as CheckValueKind's CQ7Exception (api/ops/ops_data.h) before anything is
// written, for the exported frame to record under the write's name; checked under the write's own
// lock.
int innerQ7OverwriteRealExOf(HostValueKind kind, int table_id, int set_id, int filter_id, int row,
                             void* value);
int innerQ7FillRealExOf(HostValueKind kind, int table_id, int set_id, int filter_id, int from, int count,
                        void* value);

// ---- Conversions (pure) ----
// Date, time and datetime texts of a fraction-of-day value in gBuf ('/' between the date's parts).
const char* innerRQ7Double2DateStrR1(double value);
const char* innerRQ7Double2TimeStrR1(double value);
const char* innerRQ7Double2DateTimeStrR1(double value);
// The decimal as text in gBuf (RQ7NumericNum2Str); a null x or info: the empty text.
const char* innerRQ7NumericNum2StrR1(const Numeric* x, const NumericInfo* info, int shift, int digits);
// The value of a date, time or datetime text; a null text: kValueFrameDoubleNull.
double innerRQ7Str2DateR1(const char* text);
double innerRQ7Str2TimeR1(const char* text);
double innerRQ7Str2DateTimeR1(const char* text);

// ---- Stubs ----
// The service address of a naming service this engine does not have: the empty text into address
// (when not null); 0.
int innerRQ7GetServerIPAddress(char* address);
