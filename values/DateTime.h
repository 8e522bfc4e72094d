// Dates, times and datetimes: their serial numbers, their integer forms, their texts.
//
// The engine holds all three as doubles:
//  - a date is a day serial, the number of days since 1899-12-30 (2 is 1900-01-01), in the
//    proleptic Gregorian calendar; the text parsers and formatters cover the years 1 to 9999, the
//    integer forms 1900-01-01 to 2099-12-31 only (serials 2 to 73050);
//  - a time is the fraction of a day, milliseconds / 86,400,000; a time made from an hhmmss
//    integer is (seconds + 0.01) / 86400;
//  - a datetime is the date serial plus the time fraction;
//  - NULL of all three is minus infinity (kDateTimeNull).
//
// The engine's date order (0 year-month-day, 1 day-month-year, 2 month-day-year; any other value
// reads as 0) decides the integer form of DateInner2Outer, the texts written by addSlash and the
// Double2*Str formatters. The short named formats D11 to D14 take the year of the engine's start.
//
// Failures:
//  - The integer conversions, addSlash and addColon throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER)
//    with an empty message for anything outside their ranges.
//  - The text parsers never throw. They report through the optional err (1 on failure) and
//    kDateTimeNull, or, for a named-format date that matched its pattern but is not a real date,
//    through err and 0.0. A time with a field out of its range is a failure like any text that is
//    no time. A null text counts as empty.
//  - The syntax checks return 0 and may leave their outputs partly written.
//
// Thread safety: every function is reentrant; the date order and the start year are read from the
// engine, which sets them once at start-up.
#pragma once

#include <cstdint>
#include <limits>

inline constexpr double kDateTimeNull = -std::numeric_limits<double>::infinity();

struct _stdate {
  int32_t year;
  int32_t month;  // 1 to 12
  int32_t day;
};

struct _sttime {
  int32_t hour;
  int32_t minute;
  int32_t second;
  int32_t millisecond;
};

// In this order; the layout is the one other parts of the engine read.
struct _stdatetime {
  int32_t millisecond;
  int32_t second;
  int32_t minute;
  int32_t hour;
  int32_t day;
  int32_t month;
  int32_t year;
  int32_t weekday;    // 1 Sunday to 7 Saturday
  int32_t dayOfYear;  // from 1
};

// Days before each month in a common year; entry 12 is the year's length.
extern const int nMonthDays[13];

// The two engine settings this file reads. CurrentDateOrder() is 0, 1 or 2.
int CurrentDateOrder();
int CurrentYear();

// ---- Integer forms (1900-01-01 to 2099-12-31) ----

// The serial of a yyyymmdd integer (19000101 -> 2). Throws for anything that is not a date from
// 1900-01-01 to 2099-12-31.
int DateOuter2Inner(int yyyymmdd);
// The serial 2 to 73050 as yyyymmdd, ddmmyyyy or mmddyyyy by the engine's date order; throws for
// any other serial. DateInner2OuterInOrder takes the order explicitly.
int DateInner2Outer(int serial);
int DateInner2OuterInOrder(int serial, int order);
// The time fraction (seconds + 0.01) / 86400 of an hhmmss integer; 0.0 when the integer is not a
// time of day (negative, above 235959, minutes or seconds above 59).
double TimeOuter2Inner(int hhmmss);
// The month (1 to 12) of a 0-based day of the year and, in *day, the day of that month. commonYear
// is non-zero for a common year, 0 for a leap year. Throws for a day below 0 or past the year.
int nd2m(int dayOfYear, int commonYear, int* day);

// ---- Separators ----

// Writes a date integer of the engine's date order (as DateInner2Outer gives it) as
// "yyyy/mm/dd", or "dd/mm/yyyy" / "mm/dd/yyyy" for orders 1 and 2, where a 7-digit integer gets a
// leading "0". out holds at least 11 bytes. Throws unless the integer has 8 digits. Returns out.
char* addSlash(int date, char* out);
char* addSlashInOrder(int date, char* out, int order);
// Writes a time fraction 0 to 1 as "hh:mm:ss" (1 gives "24:00:00"). out holds at least 9 bytes.
// Throws for anything outside 0 to 1 (NaN included). Returns out.
char* addColon(double time, char* out);

// ---- Strict syntax checks: 1 when the text has the form, else 0 ----

// "yyyy/m/d" with one- or two-digit month and day after leading blanks and tabs; writes the
// eight digits yyyymmdd and a zero into out (9 bytes), and into *consumed the index just after the
// day. The verdict is CheckDateStr2's. What follows the day is not looked at.
int CheckDateStr(const char* text, int* consumed, char* out);
// 1 for eight digits that make a date from 1900-01-01 to 2099-12-31.
int CheckDateStr2(const char* yyyymmdd);
// "h:m:s", "hh:mm:ss", "hh:mm" and the mixes of one- and two-digit fields after leading blanks and
// tabs (one-digit minutes need seconds); writes hhmmss and a zero into out (7 bytes). Field values
// are not range-checked; what follows the time is not looked at.
int CheckTimeStr(const char* text, char* out);
// A CheckDateStr date, then either nothing but blanks and tabs (the time is "000000") or a
// CheckTimeStr time.
int CheckDateTimeStr(const char* text, char* dateOut, char* timeOut);

// ---- Free-form text (check non-zero asks for strict number syntax in every field) ----

// "y/m/d", or "y-m-d" when the text holds a "-": the fields are read as integers (Str2Int rules),
// the year 1 to 9999. Empty text gives kDateTimeNull and leaves *err untouched; otherwise *err is 0,
// or 1 with kDateTimeNull for text that is not a date.
double Str2Date(const char* text, int check, int* err);
double Str2DateDDMMYYYY(const char* text, int check, int* err);
double Str2DateMMDDYYYY(const char* text, int check, int* err);
// The splitters behind them: fill *date from the three fields. Return 0, or 1 when a separator
// is missing or a field is not an integer (the date itself is not validated).
int parseStr2Date(const char* text, int check, _stdate* date);
int parseStr2DateDDMMYYYY(const char* text, int check, _stdate* date);
int parseStr2DateMMDDYYYY(const char* text, int check, _stdate* date);

// "h:", "h:m", "h:m:s" or "h:m:s.f", where f is the decimal fraction of the second (".5" is 500
// milliseconds; digits past the third are dropped). *err is set to 0, or 1 with kDateTimeNull for
// text that does not split into integer fields or has a field out of its range (hours 0-23, minutes
// and seconds 0-59, milliseconds 0-999); empty text gives kDateTimeNull.
double Str2Time(const char* text, int check, int* err);
// The splitter behind it: returns 0, or 1 for text that does not split into integer fields.
int parseStr2Time(const char* text, int check, _sttime* time);

// A date token, blanks or tabs, and an optional time token (as Str2Time). A first token holding
// ":" is a time without a date: with check that is an error, without check the date counts as 0.
// With check, a bad date or time gives *err 1 and kDateTimeNull; without check a bad part counts
// as 0, so the result is never NULL for non-empty text. A time out of range is a bad time, which
// sets *err to 1 even without check; a bad date sets it only with check.
double Str2DateTime(const char* text, int check, int* err);
double Str2DateTimeDDMMYYYY(const char* text, int check, int* err);
double Str2DateTimeMMDDYYYY(const char* text, int check, int* err);
// Str2DateTime without check in the date order `order` (0 y/m/d, 1 d/m/y, 2 m/d/y; others as 0),
// except that a date part or a time part that does not read makes the whole text NULL with *err 1:
// for the readers whose NULL is the only way to say so, where a bad part counted as 0 would pass
// for a real value (1899/12/30, or midnight of the date). A date alone is midnight, and a time
// alone still counts the date as 0.
double Str2DateTimeOrNull(const char* text, int order, int* err);

// The serial of a broken-down date, validated as above; *err (optional) 1 and 0.0 when invalid.
double getDateField(const _stdate* date, int* err);
// The time fraction of a broken-down time; 0.0 when a field is out of its range (no error channel:
// the text readers refuse such a time instead).
double getTime2double(const _sttime* time);

// ---- Named formats "D1" to "D14" and "T1" to "T4" ----

// 1 to 14 for "D1" to "D14", 1 to 4 for "T1" to "T4"; 0 for null, empty or anything else.
int getDateFormatFromTypeStr(const char* text);
int getTimeFormatFromTypeStr(const char* text);
// The strptime pattern of a code; unknown codes give the pattern of code 1.
const char* getstrp_DateFormat(int code);
const char* getstrp_TimeFormat(int code);

// The text parsed with the code's pattern. Empty text gives kDateTimeNull (Str2DateExType leaves
// *err untouched then, the others clear it). Text the pattern does not match gives *err 1 and
// kDateTimeNull; with check, so does text with anything but blanks and tabs after the match.
// Codes 11 to 14 take the engine's start year. A matched date that does not exist (or a year past
// 9999) gives *err 1 and 0.0; a matched time with a field out of range (the second 60) gives *err 1
// and kDateTimeNull. "24" under the codes 3 and 4 (hours 1 to 24) is hour 23, not out of range.
double Str2DateExType(const char* text, int dateCode, int check, int* err);
// A quick reader for the commonest named-format text, "yyyy<sep>mm<sep>dd" with exactly those
// digit counts followed by nothing or blanks (0x20): true with the serial in *value when the text
// has that form and is a date from 1900-01-01 on, the serial Str2DateExType gives for codes 1
// ('/') and 2 ('-') under either check; false for any other text, which the caller reads the
// general way.
bool ReadPlainYmd(const char* text, char sep, double* value);
double Str2TimeExType(const char* text, int timeCode, int check, int* err);
// As Str2DateTime, the date read as Str2DateExType and the time with the time code's pattern.
double Str2DateTimeExType(const char* text, int dateCode, int timeCode, int check, int* err);

// ---- Values to text ----
//
// Each writes into out and returns 0. NULL (minus infinity or less), NaN, plus infinity and any
// value outside the years 1 to 9999 give the empty text. The date is "yyyy?mm?dd" in order 0,
// "dd?mm?yyyy" in order 1 and "mm?dd?yyyy" in order 2, "?" being the separator; the time
// "hh:mm:ss", with ".mmm" when the milliseconds are not 0; a datetime the date, a blank and the
// time. The value is rounded to the nearest millisecond. Buffer sizes: a date 11 bytes, a time 13,
// a datetime 24. The unnamed int arguments are not used.

int Double2DateStr(double value, char* out, char sep);
int Double2DateStrNoValidation(double value, char* out, int, char sep);
int Double2TimeStr(double value, char* out);
int Double2TimeStrNoValidation(double value, char* out, int);
int Double2DateTimeStr(double value, char* out, char sep);
int Double2DateTimeStrNoValidation(double value, char* out, int, int, char sep);
// The same with the date order given.
int Double2DateStrInOrder(double value, char* out, char sep, int order);
int Double2DateTimeStrInOrder(double value, char* out, char sep, int order);

// The fields of a value, rounded to the nearest millisecond: the day is the whole days below the
// value (floor), the time of day what remains. Returns 0, or -1 with every field 0 for NULL, NaN,
// plus infinity and values outside the years 1 to 9999.
int Double2DateTimeNoValidationWithMSEC(double value, _stdatetime* out);
