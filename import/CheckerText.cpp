// The small text functions of the checked catalog import.
#include "import/CheckerText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "foundation/CQ7Exception.h"
#include "foundation/TextHelpers.h"
#include "import/ImportText.h"
#include "q7api.h"
#include "values/DateTime.h"
#include "values/Numeric.h"

namespace {

// Removes, in place, every byte for which drop() holds.
template <class Drop>
char* RemoveBytes(char* text, Drop drop) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (!drop(static_cast<unsigned char>(*in))) *out++ = *in;
  }
  *out = '\0';
  return text;
}

bool BlankOrTab(char c) { return c == ' ' || c == '\t'; }
bool Empty(const char* text) { return text == nullptr || text[0] == '\0'; }

}  // namespace

char* AsciiUpper(char* text) {
  for (char* p = text; *p != '\0'; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return text;
}

char* AsciiExcludeSpace(char* text) {
  return RemoveBytes(text, [](unsigned char c) { return c == ' '; });
}

char* AsciiCutControl(char* text) {
  return RemoveBytes(text, [](unsigned char c) { return (c < 32 && c != '\t') || c >= 128; });
}

char* CutExtension(char* text) {
  char* dot = strrchr(text, '.');
  if (dot != nullptr) *dot = '\0';
  return text;
}

size_t ExcludeTabSpaceComma(const char* src, char* dst, unsigned long n) {
  if (n == 0) throw CQ7Exception(Q7_ERROR_LOG_TEXT_OVERFLOW);
  while (BlankOrTab(*src)) ++src;
  size_t len = 0;
  for (const char* p = src; *p != '\0' && len + 1 < n; ++p) {
    if (*p == ',' && p != src) continue;
    dst[len++] = *p;
  }
  // Trailing blanks are cut after the commas went, so that "12 ," ends as "12".
  while (len > 0 && BlankOrTab(dst[len - 1])) --len;
  dst[len] = '\0';
  return len;
}

int ToLogText(const char* src, char* dst, int n) {
  if (n < 512) throw CQ7Exception(Q7_ERROR_LOG_TEXT_OVERFLOW);
  const size_t room = std::min(static_cast<size_t>(n) - 3, kMaxLogText);
  size_t len = 0;
  dst[len++] = '"';
  for (const char* p = src != nullptr ? src : ""; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    const size_t need = c == '"' ? 2 : 1;
    if (len - 1 + need > room) break;
    if (c == '"') {
      dst[len++] = '"';
      dst[len++] = '"';
    } else {
      dst[len++] = c < 32 ? '!' : static_cast<char>(c);
    }
  }
  dst[len++] = '"';
  dst[len] = '\0';
  return static_cast<int>(len);
}

char* i2s(int value, int width, char* out) {
  const int w = width < 0 ? -width : width;
  const size_t size = static_cast<size_t>(std::max(w, 11)) + 1;
  snprintf(out, size, "%*d", width, value);
  for (char* p = out; *p != '\0'; ++p) {
    if (*p == ' ') *p = '0';
  }
  return out;
}

char* getCodeName(unsigned char code, char* out) {
  const char* name = "UNKNOWN";
  switch (code) {
    case 17:
      name = "CP1252";
      break;
    case 18:
      name = "MS932";
      break;
    case 19:
      name = "MS949";
      break;
    case 20:
      name = "Shift-JIS";
      break;
    case 33:
      name = "UTF-8";
      break;
    case 49:
      name = "EUC";
      break;
    case 65:
      name = "MS936";
      break;
    default:
      break;
  }
  qz7_strlcpy(out, name, kCheckerNameSize);
  return out;
}

char* getDataTypeName(char type, char* out) {
  static const char* const kNames[] = {"INTEGER", "DOUBLE", "DATE", "TIME", "STRING", "DATETIME", "DECIMAL"};
  const int t = static_cast<unsigned char>(type);
  qz7_strlcpy(out, t >= 2 && t <= 8 ? kNames[t - 2] : "???", kCheckerNameSize);
  return out;
}

const char* getRoundTypeName(int mode) {
  return q7num::IsValidMode(mode) ? q7num::kRoundingModeNames[mode] : "ERROR. Undefined round mode";
}

int CheckNumericRoundType(const char* text) {
  if (text != nullptr) {
    for (int mode = 0; mode <= 6; ++mode) {
      if (strcmp(text, q7num::kRoundingModeNames[mode]) == 0) return mode;
    }
  }
  return Q7_ROUND_HALF_UP;
}

int StrToInt(const char* text, int* error) {
  *error = 0;
  if (Empty(text)) return INT_MIN;
  int err = 0;
  const int v = Str2Int(text, 1, &err);
  if (err != 0) {
    *error = 1;
    return INT_MIN;
  }
  return v;
}

namespace {

template <class Reader>
double ReadDouble(const char* text, int* error, Reader read) {
  *error = 0;
  if (Empty(text)) return -HUGE_VAL;
  int err = 0;
  const double v = read(text, &err);
  if (err != 0) {
    *error = 1;
    return -HUGE_VAL;
  }
  return v;
}

}  // namespace

double StrToDouble(const char* text, int* error) {
  // As the catalog import's DOUBLE cells: the text export's plus infinity reads back.
  return ReadDouble(text, error, [](const char* t, int* e) {
    return IsExportedInfinity(t) ? HUGE_VAL : Str2Double(t, 1, e);
  });
}

double StrToDate(const char* text, int* error) {
  return ReadDouble(text, error, [](const char* t, int* e) { return Str2Date(t, 1, e); });
}

double StrToTime(const char* text, int* error) {
  return ReadDouble(text, error, [](const char* t, int* e) { return Str2Time(t, 1, e); });
}

double StrToDateTime(const char* text, int* error) {
  return ReadDouble(text, error, [](const char* t, int* e) { return Str2DateTime(t, 1, e); });
}

namespace {

// Kept for the process's life (never destroyed) so that a dump from a thread still running at exit
// never meets a destroyed mutex.
struct DumpArrays {
  std::mutex mutex;
  char strings[kDumpCount][kDumpTextSize] = {};
  int ints[kDumpCount] = {};
  double doubles[kDumpCount] = {};
  Numeric numerics[kDumpCount] = {};
};

DumpArrays& Dumps() {
  static DumpArrays* const kDumps = new DumpArrays;
  return *kDumps;
}

int DumpCount(int count, const void* values) {
  return values == nullptr || count < 0 ? 0 : std::min(count, kDumpCount);
}

// Zeroes one array and copies the first values into it, under the dumps' lock.
template <class T, class Copy>
void Dump(T (&array)[kDumpCount], int count, Copy copy) {
  DumpArrays& dumps = Dumps();
  std::lock_guard<std::mutex> lock(dumps.mutex);
  memset(array, 0, sizeof array);
  for (int i = 0; i < count; ++i) copy(array[i], i);
}

}  // namespace

void dump_Str(int count, char* const* values) {
  Dump(Dumps().strings, DumpCount(count, values), [&](char(&slot)[kDumpTextSize], int i) {
    if (values[i] != nullptr) snprintf(slot, kDumpTextSize, "%s", values[i]);
  });
}

void dump_Int(int count, const int* values) {
  Dump(Dumps().ints, DumpCount(count, values), [&](int& slot, int i) { slot = values[i]; });
}

void dump_Dbl(int count, const double* values) {
  Dump(Dumps().doubles, DumpCount(count, values), [&](double& slot, int i) { slot = values[i]; });
}

void dump_Num(int count, const Numeric* values) {
  Dump(Dumps().numerics, DumpCount(count, values), [&](Numeric& slot, int i) { slot = values[i]; });
}

void DumpedStrings(char (*out)[kDumpTextSize]) {
  std::lock_guard<std::mutex> lock(Dumps().mutex);
  memcpy(out, Dumps().strings, sizeof Dumps().strings);
}

void DumpedInts(int* out) {
  std::lock_guard<std::mutex> lock(Dumps().mutex);
  memcpy(out, Dumps().ints, sizeof Dumps().ints);
}

void DumpedDoubles(double* out) {
  std::lock_guard<std::mutex> lock(Dumps().mutex);
  memcpy(out, Dumps().doubles, sizeof Dumps().doubles);
}

void DumpedNumerics(Numeric* out) {
  std::lock_guard<std::mutex> lock(Dumps().mutex);
  memcpy(out, Dumps().numerics, sizeof Dumps().numerics);
}
