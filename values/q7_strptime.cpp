// The engine's own strptime, under its own name.
#include "values/q7_strptime.h"

#include <cstring>

namespace {

const char* const kWeekdayNames[7] = {"sunday",   "monday", "tuesday", "wednesday",
                                      "thursday", "friday", "saturday"};
const char* const kMonthNames[12] = {"january", "february", "march",     "april",   "may",      "june",
                                     "july",    "august",   "september", "october", "november", "december"};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

const char* SkipSpace(const char* p) {
  while (IsSpace(*p)) ++p;
  return p;
}

// Full names win over abbreviations, so "march" is not read as "mar" followed by "ch".
const char* MatchName(const char* p, const char* const* names, int count, int* index) {
  for (int i = 0; i < count; ++i) {
    const size_t len = strlen(names[i]);
    if (strncmp(p, names[i], len) == 0) {
      *index = i;
      return p + len;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (strncmp(p, names[i], 3) == 0) {
      *index = i;
      return p + 3;
    }
  }
  return nullptr;
}

// Two-digit year: 69-99 are 1969-1999, 00-68 are 2000-2068.
const char* ReadShortYear(const char* p, struct tm* tm) {
  int y;
  p = strp_atoi(p, &y, 0, 99);
  if (p) tm->tm_year = y < 69 ? y + 100 : y;
  return p;
}

// hours [":" minutes [":" seconds]], the shape shared by %R, %T and %r.
const char* ReadClock(const char* p, struct tm* tm, int hour_min, int hour_max, bool with_seconds) {
  if (!(p = strp_atoi(p, &tm->tm_hour, hour_min, hour_max))) return nullptr;
  if (*p != ':') return p;
  if (!(p = strp_atoi(p + 1, &tm->tm_min, 0, 59))) return nullptr;
  if (!with_seconds || *p != ':') return p;
  return strp_atoi(p + 1, &tm->tm_sec, 0, 60);
}

const char* ReadMeridian(const char* p, struct tm* tm) {
  if (p[0] == 'a' && p[1] == 'm') {
    if (tm->tm_hour == 12) tm->tm_hour = 0;
    return p + 2;
  }
  if (p[0] == 'p' && p[1] == 'm') {
    if (tm->tm_hour < 12) tm->tm_hour += 12;
    return p + 2;
  }
  return nullptr;
}

}  // namespace

const char* strp_atoi(const char* text, int* value, int min, int max) {
  const char* p = text;
  if (*p < '0' || *p > '9') return nullptr;
  // Saturate rather than overflow on long digit runs; anything past max fails anyway.
  long long v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (v <= max) v = v * 10 + (*p - '0');
  }
  if (v < min || v > max) return nullptr;
  *value = static_cast<int>(v);
  return p;
}

const char* q7_strptime(const char* text, const char* pattern, struct tm* tm) {
  const char* p = text;
  for (const char* f = pattern; *f; ++f) {
    if (IsSpace(*f)) {
      p = SkipSpace(p);
      continue;
    }
    if (*f != '%') {
      if (*p != *f) return nullptr;
      ++p;
      continue;
    }
    int v;
    switch (*++f) {
      case '%':
        if (*p != '%') return nullptr;
        ++p;
        break;
      case 'A':
      case 'a':
        p = MatchName(p, kWeekdayNames, 7, &tm->tm_wday);
        break;
      case 'B':
      case 'b':
      case 'h':
        p = MatchName(p, kMonthNames, 12, &tm->tm_mon);
        break;
      case 'D':
        if (!(p = strp_atoi(p, &v, 1, 12))) return nullptr;
        tm->tm_mon = v - 1;
        if (*p == '/') {
          if (!(p = strp_atoi(p + 1, &tm->tm_mday, 1, 31))) return nullptr;
          if (*p == '/') p = ReadShortYear(p + 1, tm);
        }
        break;
      case 'H':
        p = strp_atoi(p, &tm->tm_hour, 0, 23);
        break;
      case 'I':
        p = strp_atoi(p, &tm->tm_hour, 1, 12);
        break;
      case 'K':
        if ((p = strp_atoi(p, &v, 1, 24))) tm->tm_hour = v - 1;
        break;
      case 'M':
        p = strp_atoi(p, &tm->tm_min, 0, 59);
        break;
      case 'R':
        p = ReadClock(p, tm, 0, 23, false);
        break;
      case 'S':
        p = strp_atoi(p, &tm->tm_sec, 0, 60);
        break;
      case 'T':
        p = ReadClock(p, tm, 0, 23, true);
        break;
      case 'r':
        if (!(p = ReadClock(p, tm, 1, 12, true))) return nullptr;
        if (IsSpace(*p)) p = ReadMeridian(SkipSpace(p), tm);
        break;
      case 'Y':
        if ((p = strp_atoi(p, &v, 1900, 65535))) tm->tm_year = v - 1900;
        break;
      case 'd':
      case 'e':
        p = strp_atoi(p, &tm->tm_mday, 1, 31);
        break;
      case 'j':
        if ((p = strp_atoi(p, &v, 1, 366))) tm->tm_yday = v - 1;
        break;
      case 'm':
        if ((p = strp_atoi(p, &v, 1, 12))) tm->tm_mon = v - 1;
        break;
      case 'n':
      case 't':
        p = SkipSpace(p);
        break;
      case 'p':
        p = ReadMeridian(p, tm);
        break;
      case 'w':
        p = strp_atoi(p, &tm->tm_wday, 0, 6);
        break;
      case 'y':
        p = ReadShortYear(p, tm);
        break;
      default:  // unknown letters, and a "%" that ends the pattern
        return nullptr;
    }
    if (!p) return nullptr;
  }
  return p;
}
