// Data access operations of the operation layer: single values, record numbers and value numbers
// read out of a set of a table, the scale and rounding mode of a decimal filter, and the summary
// records of all filters of a table. None changes the database or a saved flag.
//
// Row positions: innerQ7GetData and innerQ7GetRowNo take 0-based positions in the set; the
// functions with the digit 1 and innerQ7GetVNo take 1-based ones. Filter 0 reads the record
// number itself. A negative set ID means the table's current set.
//
// Values come back in the filter's own form with the value type code (2 integer, 3 double, 4 date,
// 5 time, 6 string, 7 datetime, 8 decimal): 4 bytes, 8 bytes, a text and its zero (the buffer must
// hold 4096 bytes), or a decimal. A decimal read through innerQ7GetData, or innerQ7GetData1 /
// innerQ7GetData1Ex with raw 0, is 24 bytes: its NumericInfo (int32 scale, int32 rounding mode),
// then the 16-byte unscaled value (low 64 bits, high 64 bits); with raw non-zero it is the 16-byte
// value alone.
//
// The reads follow api/ops/OpCommon.h under their ring names (in quotes): a missing table is recorded
// ("No Such Table: %d", Q7_ERROR_NO_SUCH_TABLE) and returned; positions, sets and filters are
// checked by the table, whose refusal is recorded by the table and then here with "return of inner
// call"; a CQ7Exception is recorded with its code and message; anything else gives
// Q7_ERROR_UNKNOWN without an entry. A null output pointer is refused with
// Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : <name>") before anything is read. Nothing is
// written to the caller's buffers when a check before the read fails.
//
// Memory: innerQ7GetData1ExPtr hands out addresses inside the engine, valid until the next call
// that changes the table; the host never frees them.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

class TBaseTable;

// ---- Values the host hands in one kind ----
// Some exported forms take a search bound or a value to write as one kind of value (by value, or
// behind a pointer of that type), where the engine reads it in the width of the filter's type.
enum class HostValueKind { kInt, kDouble, kDecimal, kText };
// Refuses a value of a kind the filter does not store (kInt: INTEGER; kDouble: DOUBLE, DATE, TIME,
// DATETIME; kDecimal: DECIMAL; kText: STRING), before it is read past its end or as a value it is
// not: throws CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type ( Not STRING )" for kText,
// else "Illegal data type"), for the caller's catch to record. A null table or a missing filter
// passes, for the operation to refuse in its own way. Call under the API lock, in the same locked
// call as the read, so that the filter cannot change in between.
void CheckValueKind(TBaseTable* table, int filter_id, HostValueKind kind);

// ---- Values ----
// "Q7GetData": the value at 0-based position pos; returns its byte count (a text's length).
int innerQ7GetData(int table_id, int filter_id, int set_id, int pos, int* type, void* value);
// "Q7GetData1": the value at 1-based position pos; decimals as 24 bytes unless raw is non-zero.
int innerQ7GetData1(int table_id, int filter_id, int set_id, int pos, int* type, void* value, int raw);
// "Q7GetData1": as innerQ7GetData1, with a text cut to size - 1 bytes (the sized read; size must be
// at least 1, and at least 24 for a decimal read with raw 0).
int innerQ7GetData1Ex(int table_id, int filter_id, int set_id, int pos, int* type, void* value, int raw,
                      int size);
// "Q7GetData1": the address of the value inside the engine into *value; returns 4 for integers, 8
// for doubles, dates, times and datetimes, the text's length for strings. Decimal filters are
// refused by the table with Q7_ERROR_NO_SUCH_SET (*type set to 8).
int innerQ7GetData1ExPtr(int table_id, int filter_id, int set_id, int pos, int* type, long* value);

// ---- Record and value numbers ----
// "Q7GetRowNo" / "Q7GetRowNo1": the record number at position pos (0-based / 1-based) into rec_no
// (one int32); returns 4.
int innerQ7GetRowNo(int table_id, int set_id, int pos, void* rec_no);
int innerQ7GetRowNo1(int table_id, int set_id, int pos, void* rec_no);
// "Q7GetVNo": the value number (0 = NULL) of the row at 1-based position pos in the filter;
// returns 4.
int innerQ7GetVNo(int table_id, int filter_id, int set_id, int pos, int* vno);

// ---- Decimal filters ----
// "innerQ7GetNumericInfo": the filter's scale and rounding mode into *info; when mode_name is not
// null and the mode is 0..6, the mode's name padded with zeros to 15 bytes ("ROUNDUP" ...
// "ROUNDHALFEVEN") into mode_name (15 bytes). Returns 0. Refusals, in order: no table; no filter
// ("No Such Filter: %d" recorded with Q7_ERROR_NO_SUCH_FILTER, returned); with check_shared, a value
// list lying in a shared-memory image (Q7_ERROR_SHARED_READ_ONLY, no entry); a filter that is not
// DECIMAL ("Invalid Filter Type (Not NumericType)", Q7_ERROR_ILLEGAL_FILTER); a null info
// ("Invalid Parameter (Ninfo is NULL)", Q7_ERROR_INVALID_PARAMETER). info need not be aligned.
int innerQ7GetNumericInfo(int table_id, int filter_id, NumericInfo* info, char* mode_name, bool check_shared);

// ---- Filter summaries ----
// "innerRQ7GetAllFilterInfo": writes the table's filter count to *count and, for each of the first
// min(count, max) filters in display order, its summary into infos[i] (row-array length, type with
// dates and times told apart, element width, value-list entries, name, and for strings the
// capacity of the character area, else 0) and its value list's 64-byte attribute block into
// attributes[i]. Pending values of a real table are merged first. Returns 0 (also when nothing is
// filled). Refusals: no collection ("No Table" recorded, then the failure recorded once more with
// an empty message; Q7_ERROR_NO_SUCH_TABLE); no table ("No Such Table: %d " recorded with
// Q7_ERROR_INVALID_PARAMETER, returned); a negative max (Q7_ERROR_INVALID_PARAMETER, no entry); a
// null count, or null infos or attributes when a record is to be filled
// (Q7_ERROR_INVALID_PARAMETER, recorded); a filter that cannot be read ("No Such Filter: [%d] %d"
// with the index and ID, Q7_ERROR_NO_SUCH_FILTER), after which the records already filled stay.
int innerRQ7GetAllFilterInfo(int table_id, int max, int* count, _TRFilterInfo* infos, char (*attributes)[64]);
