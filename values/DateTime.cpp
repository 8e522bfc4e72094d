// Dates, times and datetimes: serial numbers, integer forms and texts.
#include "values/DateTime.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/TextHelpers.h"
#include "values/q7_strptime.h"

const int nMonthDays[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

namespace {

constexpr int kIntNull = INT_MIN;  // 0x80000000

// serial = y*365 + y/4 - y/100 + y/400 + days before the month + day - kSerialBase,
// one less in January and February of a leap year.
constexpr int kSerialBase = 693959;
constexpr int kFirstSerial = -693593;    // 0001-01-01
constexpr int kLastSerial = 2958465;     // 9999-12-31
constexpr int kUnixEpochSerial = 25569;  // 1970-01-01
constexpr int kFirstOuterSerial = 2;     // 1900-01-01
constexpr int kLastOuterSerial = 73050;  // 2099-12-31

constexpr int kMsPerDay = 86400000;
constexpr double kHalfMsInDays = 5.787037037037037e-09;

[[noreturn]] void ThrowInvalid() { throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER); }

void SetErr(int* err, int value) {
  if (err) *err = value;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsEmpty(const char* text) { return !text || !*text; }

bool OnlyBlanks(const char* b, const char* e) {
  for (; b < e; ++b) {
    if (!IsBlank(*b)) return false;
  }
  return true;
}

int NormalOrder(int order) { return order == 1 || order == 2 ? order : 0; }

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int MonthLength(int y, int m) { return m == 2 && IsLeap(y) ? 29 : nMonthDays[m] - nMonthDays[m - 1]; }

bool ValidDate(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= MonthLength(y, m);
}

// The integer forms only know 1900-2099, where every fourth year but 1900 is a leap year.
int OuterMonthLength(int y, int m) {
  return m == 2 && y % 4 == 0 && y != 1900 ? 29 : nMonthDays[m] - nMonthDays[m - 1];
}

// Callers ensure ValidDate(y, m, d).
int SerialOf(int y, int m, int d) {
  return y * 365 + y / 4 - y / 100 + y / 400 + nMonthDays[m - 1] + d - (IsLeap(y) && m < 3 ? 1 : 0) -
         kSerialBase;
}

// Gregorian fields of a serial by 400-year eras counted from 0000-03-01, so that the leap day
// ends each counted year.
void CivilFromSerial(int serial, int* y, int* m, int* d) {
  const int64_t z = int64_t{serial} - kUnixEpochSerial + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2 ? 1 : 0));
}

// Reads the field [b, e) as Str2Int does; false when that gives the integer NULL or an error.
// Plain short digit runs, nearly every field there is, are read here without the copy.
bool ReadIntField(const char* b, const char* e, int check, int* value) {
  const ptrdiff_t n = e - b;
  if (n <= 0) return false;
  if (n <= 9) {
    int v = 0;
    const char* p = b;
    for (; p < e && IsDigit(*p); ++p) v = v * 10 + (*p - '0');
    if (p == e) {
      *value = v;
      return true;
    }
  }
  char small[64];
  std::string large;
  const char* z = small;
  if (n < static_cast<ptrdiff_t>(sizeof small)) {
    memcpy(small, b, static_cast<size_t>(n));
    small[n] = '\0';
  } else {
    try {
      large.assign(b, static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
      return false;
    }
    z = large.c_str();
  }
  int err = 0;
  const int v = Str2Int(z, check, &err);
  if (err || v == kIntNull) return false;
  *value = v;
  return true;
}

// Digits after the point are the fraction of the second: ".5" is 500 ms, ".05" 50 ms; digits
// past the third are dropped. The field must still pass the integer reader under check.
bool ReadMilliseconds(const char* b, const char* e, int check, int* ms) {
  int v;
  if (!ReadIntField(b, e, check, &v)) return false;
  const char* p = b;
  while (p < e && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;  // as strtol skips them
  if (p == e || !IsDigit(*p)) {  // a sign: keep the integer, the range check judges it
    *ms = v;
    return true;
  }
  int r = 0;
  for (int i = 0; i < 3; ++i) {
    const bool digit = p < e && IsDigit(*p);
    r = r * 10 + (digit ? *p - '0' : 0);
    p = digit ? p + 1 : e;
  }
  *ms = r;
  return true;
}

enum class FieldOrder { kYmd, kDmy, kMdy };

// Splits [b, e) at its last two separators ("-" when the text holds one, else "/").
bool SplitDate(const char* b, const char* e, int check, FieldOrder order, _stdate* date) {
  const size_t n = static_cast<size_t>(e - b);
  if (n == 0) return false;
  const char sep = memchr(b, '-', n) ? '-' : '/';
  const char* last = static_cast<const char*>(memrchr(b, sep, n));
  if (!last) return false;
  const char* mid = static_cast<const char*>(memrchr(b, sep, static_cast<size_t>(last - b)));
  if (!mid) return false;
  int f[3];
  if (!ReadIntField(b, mid, check, &f[0]) || !ReadIntField(mid + 1, last, check, &f[1]) ||
      !ReadIntField(last + 1, e, check, &f[2])) {
    return false;
  }
  switch (order) {
    case FieldOrder::kYmd:
      *date = {f[0], f[1], f[2]};
      break;
    case FieldOrder::kDmy:
      *date = {f[2], f[1], f[0]};
      break;
    case FieldOrder::kMdy:
      *date = {f[2], f[0], f[1]};
      break;
  }
  return true;
}

bool FreeDate(const char* b, const char* e, int check, FieldOrder order, double* value) {
  _stdate d;
  if (!SplitDate(b, e, check, order, &d) || !ValidDate(d.year, d.month, d.day)) return false;
  *value = SerialOf(d.year, d.month, d.day);
  return true;
}

bool SplitTime(const char* b, const char* e, int check, _sttime* t) {
  *t = {0, 0, 0, 0};
  const char* c1 = static_cast<const char*>(memchr(b, ':', static_cast<size_t>(e - b)));
  if (!c1 || !ReadIntField(b, c1, check, &t->hour)) return false;
  const char* p = c1 + 1;
  if (p == e) return true;
  const char* c2 = static_cast<const char*>(memchr(p, ':', static_cast<size_t>(e - p)));
  if (!ReadIntField(p, c2 ? c2 : e, check, &t->minute)) return false;
  if (!c2) return true;
  p = c2 + 1;
  const char* dot = static_cast<const char*>(memchr(p, '.', static_cast<size_t>(e - p)));
  if (!ReadIntField(p, dot ? dot : e, check, &t->second)) return false;
  if (!dot) return true;
  return ReadMilliseconds(dot + 1, e, check, &t->millisecond);
}

// False for a field out of its range: no time of day, which the readers refuse as they refuse a
// date that does not exist, rather than letting it pass as midnight.
bool TimeOfFields(int h, int m, int s, int ms, double* value) {
  if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
  *value = (h * 3600000.0 + m * 60000.0 + s * 1000.0 + ms) / kMsPerDay;
  return true;
}

bool FreeTime(const char* b, const char* e, int check, double* value) {
  _sttime t;
  return SplitTime(b, e, check, &t) && TimeOfFields(t.hour, t.minute, t.second, t.millisecond, value);
}

double Str2DateIn(const char* text, int check, int* err, FieldOrder order) {
  if (IsEmpty(text)) return kDateTimeNull;
  double v;
  const bool ok = FreeDate(text, text + strlen(text), check, order, &v);
  SetErr(err, ok ? 0 : 1);
  return ok ? v : kDateTimeNull;
}

int ParseStr2DateIn(const char* text, int check, _stdate* date, FieldOrder order) {
  if (IsEmpty(text)) return 1;
  return SplitDate(text, text + strlen(text), check, order, date) ? 0 : 1;
}

// What an unchecked reading makes of a date or time part that does not read.
enum class BadPart {
  kCountsAsZero,  // a bad date counts as 0 without an error; a bad time sets *err and counts as 0
  kNull,          // the whole text is NULL with *err 1, as under check
};

// A date token, blanks and tabs, and the rest of the text as the time; read_date and read_time
// take a range and give false for text they cannot read.
template <class DateFn, class TimeFn>
double ParseDateTime(const char* text, int check, int* err, DateFn read_date, TimeFn read_time,
                     BadPart bad_part = BadPart::kCountsAsZero) {
  const bool refuse = check != 0 || bad_part == BadPart::kNull;
  SetErr(err, 0);
  if (IsEmpty(text)) return kDateTimeNull;
  const char* end = text + strlen(text);
  const char* b = text;
  while (IsBlank(*b)) ++b;
  const char* e = b;
  while (e < end && !IsBlank(*e)) ++e;
  const char* rest = e;
  while (IsBlank(*rest)) ++rest;

  double time = 0.0;
  if (memchr(b, ':', static_cast<size_t>(e - b))) {  // a time without a date
    if (check) {
      SetErr(err, 1);
      return kDateTimeNull;
    }
    if (!read_time(b, e, &time)) {
      SetErr(err, 1);
      return refuse ? kDateTimeNull : 0.0;
    }
    return time;
  }
  double date = 0.0;
  if (!read_date(b, e, &date)) {
    if (refuse) {
      SetErr(err, 1);
      return kDateTimeNull;
    }
    date = 0.0;
  }
  if (rest < end && !read_time(rest, end, &time)) {
    SetErr(err, 1);
    if (refuse) return kDateTimeNull;
    time = 0.0;
  }
  return date + time;
}

double Str2DateTimeIn(const char* text, int check, int* err, FieldOrder order,
                      BadPart bad_part = BadPart::kCountsAsZero) {
  return ParseDateTime(
      text, check, err,
      [check, order](const char* b, const char* e, double* v) { return FreeDate(b, e, check, order, v); },
      [check](const char* b, const char* e, double* v) { return FreeTime(b, e, check, v); }, bad_part);
}

enum class Match { kOk, kNoMatch, kInvalid };

// The pattern may look past e only where it could match blanks, which no date pattern does.
Match NamedDate(const char* b, const char* e, int code, int check, double* value) {
  struct tm tm = {};
  const char* end = q7_strptime(b, getstrp_DateFormat(code), &tm);
  if (!end || end > e || (check && !OnlyBlanks(end, e))) return Match::kNoMatch;
  if (code >= 11 && code <= 14) tm.tm_year = CurrentYear() - 1900;
  const int y = tm.tm_year + 1900;
  const int m = tm.tm_mon + 1;
  if (!ValidDate(y, m, tm.tm_mday)) return Match::kInvalid;
  *value = SerialOf(y, m, tm.tm_mday);
  return Match::kOk;
}

bool NamedTime(const char* b, const char* e, int code, int check, double* value) {
  struct tm tm = {};
  const char* end = q7_strptime(b, getstrp_TimeFormat(code), &tm);
  if (!end || (check && (end > e || !OnlyBlanks(end, e)))) return false;
  // The patterns let a leap second (":60") through.
  return TimeOfFields(tm.tm_hour, tm.tm_min, tm.tm_sec, 0, value);
}

int CodeOf(const char* text, char letter, int max) {
  if (!text || text[0] != letter || !IsDigit(text[1]) || text[1] == '0') return 0;
  int v = text[1] - '0';
  const char* p = text + 2;
  if (IsDigit(*p)) v = v * 10 + (*p++ - '0');
  return *p || v > max ? 0 : v;
}

// ---- Text output ----

char* Put2(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 10);
  p[1] = static_cast<char>('0' + v % 10);
  return p + 2;
}

char* Put3(char* p, int v) {
  p[0] = static_cast<char>('0' + v / 100);
  return Put2(p + 1, v % 100);
}

char* Put4(char* p, int v) { return Put2(Put2(p, v / 100), v % 100); }

char* WriteDate(char* p, const _stdatetime& f, char sep, int order) {
  switch (NormalOrder(order)) {
    case 1:
      p = Put2(p, f.day);
      *p++ = sep;
      p = Put2(p, f.month);
      *p++ = sep;
      return Put4(p, f.year);
    case 2:
      p = Put2(p, f.month);
      *p++ = sep;
      p = Put2(p, f.day);
      *p++ = sep;
      return Put4(p, f.year);
    default:
      p = Put4(p, f.year);
      *p++ = sep;
      p = Put2(p, f.month);
      *p++ = sep;
      return Put2(p, f.day);
  }
}

char* WriteTime(char* p, const _stdatetime& f) {
  p = Put2(p, f.hour);
  *p++ = ':';
  p = Put2(p, f.minute);
  *p++ = ':';
  p = Put2(p, f.second);
  if (f.millisecond) {
    *p++ = '.';
    p = Put3(p, f.millisecond);
  }
  return p;
}

}  // namespace

// The only place that reads the engine. Instance(), not ENG, so that a static initialiser of
// another file may format dates too.
int CurrentDateOrder() { return NormalOrder(CSmpEngine::Instance()->DateOrder()); }

int CurrentYear() { return CSmpEngine::Instance()->StartTime()->tm_year + 1900; }

// ---- Integer forms ----

int DateOuter2Inner(int v) {
  if (v < 19000000 || v >= 21000000) ThrowInvalid();
  const int y = v / 10000;
  const int m = v % 10000 / 100;
  const int d = v % 100;
  if (m < 1 || m > 12 || d < 1 || d > OuterMonthLength(y, m)) ThrowInvalid();
  return SerialOf(y, m, d);
}

int DateInner2Outer(int serial) { return DateInner2OuterInOrder(serial, CurrentDateOrder()); }

int DateInner2OuterInOrder(int serial, int order) {
  if (serial < kFirstOuterSerial || serial > kLastOuterSerial) ThrowInvalid();
  // Four-year blocks of 1461 days from 1904, each opening with its leap year; 1900 to 1903 are
  // the 1460 common days before them.
  const int days = serial - kFirstOuterSerial;
  int y, doy;
  bool common = true;
  if (days < 1460) {
    y = 1900 + days / 365;
    doy = days % 365;
  } else {
    const int e = days - 1460;
    const int r = e % 1461;
    y = 1904 + 4 * (e / 1461);
    if (r < 366) {
      doy = r;
      common = false;
    } else {
      y += 1 + (r - 366) / 365;
      doy = (r - 366) % 365;
    }
  }
  int d;
  const int m = nd2m(doy, common ? 1 : 0, &d);
  switch (NormalOrder(order)) {
    case 1:
      return d * 1000000 + m * 10000 + y;
    case 2:
      return m * 1000000 + d * 10000 + y;
    default:
      return y * 10000 + m * 100 + d;
  }
}

double TimeOuter2Inner(int v) {
  if (v < 0 || v > 235959 || v % 10000 > 5999 || v % 100 > 59) return 0.0;
  return (v / 10000 * 3600 + v % 10000 / 100 * 60 + v % 100 + 0.01) / 86400;
}

int nd2m(int dayOfYear, int commonYear, int* day) {
  const int leap = commonYear ? 0 : 1;
  if (dayOfYear < 0 || dayOfYear > 364 + leap) ThrowInvalid();
  int m = 1;
  while (m < 12 && dayOfYear >= nMonthDays[m] + (m >= 2 ? leap : 0)) ++m;
  *day = dayOfYear - nMonthDays[m - 1] - (m > 2 ? leap : 0) + 1;
  return m;
}

// ---- Separators ----

char* addSlash(int date, char* out) { return addSlashInOrder(date, out, CurrentDateOrder()); }

char* addSlashInOrder(int date, char* out, int order) {
  order = NormalOrder(order);
  char digits[16];
  int n = snprintf(digits, sizeof digits, "%d", date);
  if (order != 0 && n == 7) {
    memmove(digits + 1, digits, 8);
    digits[0] = '0';
    n = 8;
  }
  if (n != 8) ThrowInvalid();
  for (int i = 0; i < 8; ++i) {
    if (!IsDigit(digits[i])) ThrowInvalid();
  }
  char* p = out;
  if (order == 0) {
    memcpy(p, digits, 4);
    p[4] = '/';
    memcpy(p + 5, digits + 4, 2);
    p[7] = '/';
    memcpy(p + 8, digits + 6, 2);
  } else {
    memcpy(p, digits, 2);
    p[2] = '/';
    memcpy(p + 3, digits + 2, 2);
    p[5] = '/';
    memcpy(p + 6, digits + 4, 4);
  }
  p[10] = '\0';
  return out;
}

char* addColon(double time, char* out) {
  if (!(time >= 0.0 && time <= 1.0)) ThrowInvalid();
  const int s = static_cast<int>(std::trunc(time * 86400 + 0.01));
  char* p = Put2(out, s / 3600);
  *p++ = ':';
  p = Put2(p, s % 3600 / 60);
  *p++ = ':';
  p = Put2(p, s % 60);
  *p = '\0';
  return out;
}

// ---- Strict syntax checks ----

namespace {

// One digit, or two; written as two.
bool CopyOneOrTwoDigits(const char** pp, char* out) {
  const char* p = *pp;
  if (!IsDigit(p[0])) return false;
  if (IsDigit(p[1])) {
    out[0] = p[0];
    out[1] = p[1];
    *pp = p + 2;
  } else {
    out[0] = '0';
    out[1] = p[0];
    *pp = p + 1;
  }
  return true;
}

}  // namespace

int CheckDateStr(const char* text, int* consumed, char* out) {
  if (!text || strnlen(text, 8) < 8) return 0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  for (int i = 0; i < 4; ++i, ++p) {
    if (!IsDigit(*p)) return 0;
    out[i] = *p;
  }
  if (*p != '/') return 0;
  ++p;
  if (!CopyOneOrTwoDigits(&p, out + 4)) return 0;
  if (*p != '/') return 0;
  ++p;
  if (!CopyOneOrTwoDigits(&p, out + 6)) return 0;
  out[8] = '\0';
  if (consumed) *consumed = static_cast<int>(p - text);
  return CheckDateStr2(out);
}

int CheckDateStr2(const char* s) {
  if (!s || strnlen(s, 9) != 8) return 0;
  for (int i = 0; i < 8; ++i) {
    if (!IsDigit(s[i])) return 0;
  }
  const int v = atoi(s);
  const int y = v / 10000;
  const int m = v % 10000 / 100;
  const int d = v % 100;
  if (y < 1900 || y > 2099 || m < 1 || m > 12) return 0;
  return d >= 1 && d <= OuterMonthLength(y, m) ? 1 : 0;
}

int CheckTimeStr(const char* text, char* out) {
  if (!text || strnlen(text, 3) < 3) return 0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  // Hours: one or two digits, then ":".
  if (!CopyOneOrTwoDigits(&p, out) || *p != ':') return 0;
  ++p;
  // Minutes: one digit needs ":" and seconds; two digits without ":" end the time.
  const bool two = IsDigit(p[0]) && IsDigit(p[1]);
  if (!CopyOneOrTwoDigits(&p, out + 2)) return 0;
  if (*p == ':') {
    ++p;
    if (!CopyOneOrTwoDigits(&p, out + 4)) return 0;
  } else if (two) {
    out[4] = out[5] = '0';
  } else {
    return 0;
  }
  out[6] = '\0';
  return 1;
}

int CheckDateTimeStr(const char* text, char* dateOut, char* timeOut) {
  int consumed = 0;
  if (!CheckDateStr(text, &consumed, dateOut)) return 0;
  const char* p = text + consumed;
  while (IsBlank(*p)) ++p;
  if (!*p) {
    memcpy(timeOut, "000000", 7);
    return 1;
  }
  return CheckTimeStr(text + consumed, timeOut);
}

// ---- Free-form text ----

double Str2Date(const char* text, int check, int* err) {
  return Str2DateIn(text, check, err, FieldOrder::kYmd);
}

double Str2DateDDMMYYYY(const char* text, int check, int* err) {
  return Str2DateIn(text, check, err, FieldOrder::kDmy);
}

double Str2DateMMDDYYYY(const char* text, int check, int* err) {
  return Str2DateIn(text, check, err, FieldOrder::kMdy);
}

int parseStr2Date(const char* text, int check, _stdate* date) {
  return ParseStr2DateIn(text, check, date, FieldOrder::kYmd);
}

int parseStr2DateDDMMYYYY(const char* text, int check, _stdate* date) {
  return ParseStr2DateIn(text, check, date, FieldOrder::kDmy);
}

int parseStr2DateMMDDYYYY(const char* text, int check, _stdate* date) {
  return ParseStr2DateIn(text, check, date, FieldOrder::kMdy);
}

double Str2Time(const char* text, int check, int* err) {
  SetErr(err, 0);
  if (IsEmpty(text)) return kDateTimeNull;
  double v;
  if (!FreeTime(text, text + strlen(text), check, &v)) {
    SetErr(err, 1);
    return kDateTimeNull;
  }
  return v;
}

int parseStr2Time(const char* text, int check, _sttime* time) {
  if (IsEmpty(text)) {
    *time = {0, 0, 0, 0};
    return 0;
  }
  return SplitTime(text, text + strlen(text), check, time) ? 0 : 1;
}

double Str2DateTime(const char* text, int check, int* err) {
  return Str2DateTimeIn(text, check, err, FieldOrder::kYmd);
}

double Str2DateTimeDDMMYYYY(const char* text, int check, int* err) {
  return Str2DateTimeIn(text, check, err, FieldOrder::kDmy);
}

double Str2DateTimeMMDDYYYY(const char* text, int check, int* err) {
  return Str2DateTimeIn(text, check, err, FieldOrder::kMdy);
}

double Str2DateTimeOrNull(const char* text, int order, int* err) {
  const FieldOrder fields = order == 1 ? FieldOrder::kDmy : order == 2 ? FieldOrder::kMdy : FieldOrder::kYmd;
  return Str2DateTimeIn(text, 0, err, fields, BadPart::kNull);
}

double getDateField(const _stdate* date, int* err) {
  if (!date || !ValidDate(date->year, date->month, date->day)) {
    SetErr(err, 1);
    return 0.0;
  }
  return SerialOf(date->year, date->month, date->day);
}

double getTime2double(const _sttime* t) {
  double v = 0.0;  // kept when a field is out of range
  if (t) TimeOfFields(t->hour, t->minute, t->second, t->millisecond, &v);
  return v;
}

// ---- Named formats ----

int getDateFormatFromTypeStr(const char* text) { return CodeOf(text, 'D', 14); }

int getTimeFormatFromTypeStr(const char* text) { return CodeOf(text, 'T', 4); }

const char* getstrp_DateFormat(int code) {
  static const char* const kPatterns[15] = {"%Y/%m/%d", "%Y/%m/%d", "%Y-%m-%d", "%m/%d/%Y", "%m.%d.%Y",
                                            "%d/%m/%Y", "%d.%m.%Y", "%m/%d/%y", "%m.%d.%y", "%d/%m/%y",
                                            "%d.%m.%y", "%m/%d",    "%m.%d",    "%d/%m",    "%d.%m"};
  return code >= 1 && code <= 14 ? kPatterns[code] : kPatterns[0];
}

const char* getstrp_TimeFormat(int code) {
  static const char* const kPatterns[5] = {"%H:%M:%S", "%H:%M:%S", "%H:%M", "%K:%M:%S", "%K:%M"};
  return code >= 1 && code <= 4 ? kPatterns[code] : kPatterns[0];
}

double Str2DateExType(const char* text, int dateCode, int check, int* err) {
  if (IsEmpty(text)) return kDateTimeNull;
  SetErr(err, 0);
  double v = 0.0;
  switch (NamedDate(text, text + strlen(text), dateCode, check, &v)) {
    case Match::kOk:
      return v;
    case Match::kInvalid:
      SetErr(err, 1);
      return 0.0;
    case Match::kNoMatch:
      break;
  }
  SetErr(err, 1);
  return kDateTimeNull;
}

bool ReadPlainYmd(const char* text, char sep, double* value) {
  if (text == nullptr) return false;
  const auto digit = [text](int i) { return static_cast<unsigned>(text[i] - '0'); };
  // In text order, so that a shorter text stops at its end.
  for (int i = 0; i < 10; ++i) {
    if (i == 4 || i == 7 ? text[i] != sep : digit(i) > 9) return false;
  }
  const char* p = text + 10;
  while (*p == ' ') ++p;
  if (*p != '\0') return false;
  const int y = static_cast<int>(digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3));
  const int m = static_cast<int>(digit(5) * 10 + digit(6));
  const int d = static_cast<int>(digit(8) * 10 + digit(9));
  // The named patterns read years from 1900 on.
  if (y < 1900 || !ValidDate(y, m, d)) return false;
  *value = SerialOf(y, m, d);
  return true;
}

double Str2TimeExType(const char* text, int timeCode, int check, int* err) {
  SetErr(err, 0);
  if (IsEmpty(text)) return kDateTimeNull;
  double v;
  if (!NamedTime(text, text + strlen(text), timeCode, check, &v)) {
    SetErr(err, 1);
    return kDateTimeNull;
  }
  return v;
}

double Str2DateTimeExType(const char* text, int dateCode, int timeCode, int check, int* err) {
  return ParseDateTime(
      text, check, err,
      [dateCode, check](const char* b, const char* e, double* v) {
        return NamedDate(b, e, dateCode, check, v) == Match::kOk;
      },
      [timeCode, check](const char* b, const char* e, double* v) {
        return NamedTime(b, e, timeCode, check, v);
      });
}

// ---- Values to text ----

int Double2DateTimeNoValidationWithMSEC(double value, _stdatetime* out) {
  *out = {};
  // Also refuses NaN; the day of the rounded value is checked again below.
  if (!(value >= kFirstSerial && value < kLastSerial + 1.0)) return -1;
  double x = value;
  if (x != std::trunc(x)) x += kHalfMsInDays;
  const double day = std::floor(x);
  if (day > kLastSerial) return -1;
  int64_t ms = static_cast<int64_t>((x - day) * kMsPerDay);
  if (ms >= kMsPerDay) ms = kMsPerDay - 1;
  const int serial = static_cast<int>(day);
  CivilFromSerial(serial, &out->year, &out->month, &out->day);
  const int ms_of_day = static_cast<int>(ms);
  out->hour = ms_of_day / 3600000;
  out->minute = ms_of_day / 60000 % 60;
  out->second = ms_of_day / 1000 % 60;
  out->millisecond = ms_of_day % 1000;
  out->weekday = (serial + 693958) % 7 + 1;  // serial + 693958 >= 365 over the whole range
  out->dayOfYear = serial - SerialOf(out->year, 1, 1) + 1;
  return 0;
}

int Double2DateStrInOrder(double value, char* out, char sep, int order) {
  _stdatetime f;
  char* p = out;
  if (Double2DateTimeNoValidationWithMSEC(value, &f) == 0) p = WriteDate(p, f, sep, order);
  *p = '\0';
  return 0;
}

int Double2DateTimeStrInOrder(double value, char* out, char sep, int order) {
  _stdatetime f;
  char* p = out;
  if (Double2DateTimeNoValidationWithMSEC(value, &f) == 0) {
    p = WriteDate(p, f, sep, order);
    *p++ = ' ';
    p = WriteTime(p, f);
  }
  *p = '\0';
  return 0;
}

int Double2DateStr(double value, char* out, char sep) {
  return Double2DateStrInOrder(value, out, sep, CurrentDateOrder());
}

int Double2DateStrNoValidation(double value, char* out, int, char sep) {
  return Double2DateStrInOrder(value, out, sep, CurrentDateOrder());
}

int Double2TimeStr(double value, char* out) {
  _stdatetime f;
  char* p = out;
  if (Double2DateTimeNoValidationWithMSEC(value, &f) == 0) p = WriteTime(p, f);
  *p = '\0';
  return 0;
}

int Double2TimeStrNoValidation(double value, char* out, int) { return Double2TimeStr(value, out); }

int Double2DateTimeStr(double value, char* out, char sep) {
  return Double2DateTimeStrInOrder(value, out, sep, CurrentDateOrder());
}

int Double2DateTimeStrNoValidation(double value, char* out, int, int, char sep) {
  return Double2DateTimeStrInOrder(value, out, sep, CurrentDateOrder());
}
