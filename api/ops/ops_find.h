// Find operations of the operation layer: the serial road of the exported find functions. A find
// marks once the records of a real table whose value in one filter meets a condition; the host then
// steps through the marked rows of any set without making a new set. The find itself lives in the
// table (database/TRealTable.h, find session), one per table; opening a new one replaces the old,
// and every open and close advances the table's find number, so a stale number is refused.
//
// Every operation requires a real table and follows api/ops/OpCommon.h under its ring name (in quotes):
// a missing table is recorded ("No Such Table: %d", Q7_ERROR_NO_SUCH_TABLE) and returned; a join
// table is recorded ("Not RealTable: %d", Q7_ERROR_NO_SUCH_TABLE) and Q7_ERROR_NOT_REAL_TABLE
// returned; a negative result of the table is recorded with "return of inner call" and returned
// (after the table's own entry); a CQ7Exception is recorded with its code and message; anything
// else gives Q7_ERROR_UNKNOWN without an entry. None changes a saved flag.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include "q7api.h"

// Kinds of the opens: 0 EQ, 1 BETWEEN, 2 LEQ, 3 GEQ, 4 NEQ, 5 WITHIN, 6 LESS, 7 GREATER; STRING
// also 8 starts with, 9 contains, 10 ends with. Each returns the new find number.
// "Q7OpenStrFindReal": from and then to may each be at most 4096 bytes long (without the zero); a
// longer one is recorded ("StringSize overflow", Q7_ERROR_STRING_SIZE_OVERFLOW), returned, and no
// find is opened. A null from, or a null to for kinds 1 and 5 (the only ones that read it), is
// refused before that (Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : From" / "... : To"); no
// find is opened and the open one stays.
int innerQ7OpenStrFindReal(int table_id, int filter_id, int kind, const char* from, const char* to);
// innerQ7OpenStrFindReal for texts in a stated code (api/ops/CharCodeChecks.h): Shift_JIS, or the
// code of a locale ID. A database of another code is thrown as CQ7Exception
// (Q7_ERROR_CHAR_CODE_MISMATCH) before the find, for the exported frame to record; no find is
// opened then.
int innerRQ7OpenStrFindRealSJIS(int table_id, int filter_id, int kind, const char* from, const char* to);
int innerRQ7OpenStrFindRealLocale(int table_id, int filter_id, int kind, const char* from, const char* to,
                                  int locale);
// "Q7OpenIntFindReal" / "Q7OpenFloatFindReal" (DOUBLE, DATE, TIME, DATETIME filters) /
// "innerQ7OpenNumericFindReal" (unscaled decimals at the filter's scale, passed by value).
int innerQ7OpenIntFindReal(int table_id, int filter_id, int kind, int from, int to);
int innerQ7OpenFloatFindReal(int table_id, int filter_id, int kind, double from, double to);
int innerQ7OpenNumericFindReal(int table_id, int filter_id, int kind, Numeric from, Numeric to);
// "Q7GetFindStatus": 0 when no find is open (outputs untouched); else the find number, with the
// number of marked records in *hits and the find's filter in *filter_id (null outputs skipped).
int innerQ7GetFindStatus(int table_id, int* hits, int* filter_id);
// "Q7GetNextHitReal": the nearest marked row of the set after position `from` (dir 0) or before it
// (any other dir): returns 1 with its 1-based position in *pos, or 0 when there is none. *filter_id
// receives the find's filter. from lies in 0 .. set size + 1. The table refuses (and records) no
// open find (Q7_ERROR_FIND_NOT_OPEN), a stale find number (Q7_ERROR_INVALID_FIND_ID), no set
// (Q7_ERROR_NO_SUCH_SET) and a bad from (Q7_ERROR_INVALID_PARAMETER).
int innerQ7GetNextHitReal(int table_id, int find_id, int set_id, int from, int dir, int* filter_id, int* pos);
// "Q7CloseFindReal": ends the find (if one is open) and advances the find number; returns 0.
int innerQ7CloseFindReal(int table_id);
// "Q7FindRecNoReal": the 1-based position of the first row of the set that holds the record, or 0
// when the set does not hold it (not an error).
int innerQ7FindRecNoReal(int table_id, int set_id, int rec_no);
