// The small text functions of the checked catalog import (import/CatalogChecker.h): in-place
// clean-ups of catalog lines, the trimming of number cells, the quoting of correction-log texts,
// the names of codes for the logs, and the checked readers of data cells.
//
// Texts are NUL-ended; "blank" is 0x20 and "tab" 0x09. Every char* output must be as large as the
// function states. Only ExcludeTabSpaceComma and ToLogText throw (CQ7Exception
// Q7_ERROR_LOG_TEXT_OVERFLOW for a buffer too small to be used); everything here is re-entrant.
#pragma once

#include <cstddef>

#include "q7api.h"

// ---- In place ----
// Upper-cases a..z (bytes of 128 or more are left alone). Returns text.
char* AsciiUpper(char* text);
// Removes every blank. Returns text.
char* AsciiExcludeSpace(char* text);
// Removes every byte below 32 except the tab, and every byte of 128 or more. Returns text.
char* AsciiCutControl(char* text);
// Cuts the text at its last '.' (a text without one is left as it is). Returns text.
char* CutExtension(char* text);

// ---- Copies ----
// Copies src into dst (n bytes, NUL included; a longer text is cut) without its leading and
// trailing blanks and tabs and without every comma after its first character, so that grouped
// digits ("1,234") read as one number. Returns the length written. n of 0 throws.
size_t ExcludeTabSpaceComma(const char* src, char* dst, unsigned long n);

// The longest text a correction-log field carries between its quotes.
inline constexpr size_t kMaxLogText = 0xFFFFE;
// Writes src (null reads as empty) as a quoted log text into dst (n bytes): a double quote, the
// text with every double quote doubled and every byte 1..31 replaced by '!', a closing double
// quote and a NUL. At most min(n - 3, kMaxLogText) bytes go between the quotes; a doubled quote is
// never split. Returns the length written (without the NUL). n below 512 throws.
int ToLogText(const char* src, char* dst, int n);

// The value printed with width `width` ("%<width>d"; a negative width pads on the right) and every
// blank of the result turned into '0'. out must hold max(|width|, 11) + 1 bytes. Returns out.
char* i2s(int value, int width, char* out);

// ---- Names for the logs ----
inline constexpr size_t kCheckerNameSize = 16;  // room for every name below
// 17 "CP1252", 18 "MS932", 19 "MS949", 20 "Shift-JIS", 33 "UTF-8", 49 "EUC", 65 "MS936", else
// "UNKNOWN". Returns out.
char* getCodeName(unsigned char code, char* out);
// 2 "INTEGER", 3 "DOUBLE", 4 "DATE", 5 "TIME", 6 "STRING", 7 "DATETIME", 8 "DECIMAL", else "???".
// Returns out.
char* getDataTypeName(char type, char* out);
// "ROUNDUP" .. "ROUNDHALFEVEN" for 0..6, else "ERROR. Undefined round mode".
const char* getRoundTypeName(int mode);
// 0..6 for "ROUNDUP" .. "ROUNDHALFEVEN" (exact case); any other text, null included, 4
// (ROUNDHALFUP).
int CheckNumericRoundType(const char* text);

// ---- Checked readers of data cells ----
// *error is cleared; an empty (or null) text gives the type's NULL (0x80000000, or minus infinity
// for the doubles) without error; any other text is read strictly (Str2Int, Str2Double, Str2Date,
// Str2Time, Str2DateTime with checking on), and a text they refuse gives the NULL and *error 1.
int StrToInt(const char* text, int* error);
double StrToDouble(const char* text, int* error);
double StrToDate(const char* text, int* error);
double StrToTime(const char* text, int* error);
double StrToDateTime(const char* text, int* error);

// ---- Inspection copies ----
// The first values of a column, for looking at in a debugger: each call zeroes its process-wide
// array, then copies min(count, kDumpCount) values into it (a negative count or null values copy
// nothing). Texts are copied, cut to kDumpTextSize - 1 bytes, so the copy never points into a
// column that may be freed; a null text is copied as empty. Nothing in the import reads them. The
// calls are serialised; a reader sees the last complete copy. Nothing is thrown.
inline constexpr int kDumpCount = 512;
inline constexpr size_t kDumpTextSize = 256;
void dump_Str(int count, char* const* values);
void dump_Int(int count, const int* values);
void dump_Dbl(int count, const double* values);
void dump_Num(int count, const Numeric* values);
// Copies of the inspection arrays as they stand (kDumpCount entries each).
void DumpedStrings(char (*out)[kDumpTextSize]);
void DumpedInts(int* out);
void DumpedDoubles(double* out);
void DumpedNumerics(Numeric* out);
