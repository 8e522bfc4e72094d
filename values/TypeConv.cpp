// Conversion of a value list into another value type, entry by entry.
#include "values/TypeConv.h"

#include <locale.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/TextHelpers.h"
#include "foundation/mpp_tasks.h"
#include "values/CompileSupport.h"
#include "values/DateTime.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int32_t kIntNull = std::numeric_limits<int32_t>::min();
constexpr double kDblNull = -std::numeric_limits<double>::infinity();
constexpr int kDecimalTextWidth = 50;
constexpr int kDoubleTextWidth = 320;
constexpr int kShortTextWidth = 20;

// Texts of numbers always use '.', whatever locale the host has set.
locale_t CNumericLocale() {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c_locale;
}
class ScopedCLocale {
 public:
  ScopedCLocale() : old_(uselocale(CNumericLocale())) {}
  ~ScopedCLocale() { uselocale(old_); }
  ScopedCLocale(const ScopedCLocale&) = delete;
  ScopedCLocale& operator=(const ScopedCLocale&) = delete;

 private:
  locale_t old_;
};

Numeric NanDecimal() {
  Numeric n;
  q7num::NumericSetNan(&n);
  return n;
}

// ---- Source readers; null(k) tells an entry that holds the type's NULL ----

struct IntSrc {
  const int32_t* v;
  int count;
  explicit IntSrc(TIntArray* a) : v(a->PIntAr()), count(a->FArraySize) {}
  bool null(int k) const { return v[k] == kIntNull; }
};

struct DblSrc {
  const double* v;
  int count;
  explicit DblSrc(TDoubleArray* a) : v(static_cast<const double*>(a->FData)), count(a->FArraySize) {}
  bool null(int k) const { return !(v[k] > kDblNull); }  // minus infinity, or a NaN
};

struct StrSrc {
  const char* area;
  const uint64_t* off;
  int count;
  explicit StrSrc(TStrArray* a) : area(a->FStrArea), off(a->Offsets()), count(a->FArraySize) {}
  const char* text(int k) const { return area + off[k]; }
  bool null(int k) const { return text(k)[0] == '\0'; }
};

struct DecSrc {
  const Numeric* v;
  NumericInfo info;
  int count;
  explicit DecSrc(TNumericArray* a) : v(static_cast<const Numeric*>(a->FData)), count(a->FArraySize) {
    a->GetDecimalInfo(&info);  // the const form: reads the attribute block only
  }
  bool null(int k) const { return q7num::NumericIsNan(&v[k]) != 0; }
};

// ---- Single values ----

// Finite and below 2^31 in magnitude: truncated toward zero; otherwise NULL.
int32_t DoubleToInt(double x) { return std::fabs(x) < 2147483648.0 ? static_cast<int32_t>(x) : kIntNull; }

// The outer integer date of a serial truncated toward zero; NULL outside 1900-01-01..2099-12-31.
int32_t SerialToOuterDate(double x) {
  if (!(x >= 2.0 && x < 73051.0)) return kIntNull;
  try {
    return DateInner2Outer(static_cast<int>(x));
  } catch (const CQ7Exception&) {
    return kIntNull;
  }
}

// The serial of an outer integer date (yyyymmdd); NULL for anything that is not such a date.
double OuterDateToSerial(long v) {
  if (v < 19000000 || v >= 21000000) return kDblNull;
  try {
    return DateOuter2Inner(static_cast<int>(v));
  } catch (const CQ7Exception&) {
    return kDblNull;
  }
}

double Fraction(double x) { return std::isfinite(x) ? x - std::floor(x) : kDblNull; }

// The double of a decimal under its own scale and mode; false when it has none.
bool DecimalToDouble(const Numeric& v, const NumericInfo& info, double* out) {
  const int status = q7num::NumericNum2Dbl(&v, &info, out);
  return status == 0 || status == 2;
}

// A date text, optionally followed by blanks or tabs and a time text: serial plus day fraction.
bool DateTimeText(const char* t, double* out) {
  char date[16];
  char time[16];
  if (!CheckDateTimeStr(t, date, time)) return false;
  const double serial = OuterDateToSerial(atol(date));
  if (serial == kDblNull) return false;
  *out = serial + TimeOuter2Inner(atoi(time));
  return true;
}

// The text's leading integer (after blanks), as strtol reads it.
long LeadingInteger(const char* t) { return strtol(t, nullptr, 10); }

// The whole text as one base-10 integer; false for an empty text, trailing characters or a value
// outside the non-NULL int range.
bool WholeInteger(const char* t, int32_t* out) {
  if (*t == '\0') return false;
  char* end = nullptr;
  const long long v = strtoll(t, &end, 10);
  if (end == t || *end != '\0' || v <= kIntNull || v > std::numeric_limits<int32_t>::max()) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// The whole text as one double; false for an empty text or trailing characters.
bool WholeDouble(const char* t, double* out) {
  if (*t == '\0') return false;
  char* end = nullptr;
  const double v = strtod_l(t, &end, CNumericLocale());
  if (end == t || *end != '\0' || std::isnan(v)) return false;
  *out = v;
  return true;
}

// ---- Entry converters, by target ----

// INTEGER
int32_t DblToInt(const DblSrc& s, int k) { return DoubleToInt(s.v[k]); }
int32_t DateToInt(const DblSrc& s, int k) { return SerialToOuterDate(s.v[k]); }
int32_t TimeToInt(const DblSrc&, int) { return 0; }
int32_t StrToInt(const StrSrc& s, int k) {
  const char* t = s.text(k);
  char digits[16];
  int consumed = 0;
  if (CheckDateStr(t, &consumed, digits)) return atoi(digits);
  if (CheckTimeStr(t, digits)) return 0;
  int32_t v;
  return WholeInteger(t, &v) ? v : kIntNull;
}
int32_t DecToInt(const DecSrc& s, int k) {
  double x;
  return DecimalToDouble(s.v[k], s.info, &x) ? DoubleToInt(x) : kIntNull;
}

// DOUBLE, DATE, TIME, DATETIME
double IntToDbl(const IntSrc& s, int k) { return static_cast<double>(s.v[k]); }
double IntToDate(const IntSrc& s, int k) { return OuterDateToSerial(s.v[k]); }
double IntToZero(const IntSrc&, int) { return 0.0; }
double DblFloor(const DblSrc& s, int k) { return std::floor(s.v[k]); }
double DblSame(const DblSrc& s, int k) { return s.v[k]; }
double DblFraction(const DblSrc& s, int k) { return Fraction(s.v[k]); }
double DblZero(const DblSrc&, int) { return 0.0; }
double DblNull(const DblSrc&, int) { return kDblNull; }
double TimeToDbl(const DblSrc& s, int k) { return s.v[k] < 0 ? kDblNull : Fraction(s.v[k]); }
double StrToDbl(const StrSrc& s, int k) {
  const char* t = s.text(k);
  double x;
  if (DateTimeText(t, &x)) return x;
  char time[16];
  if (CheckTimeStr(t, time)) return TimeOuter2Inner(atoi(time));
  return WholeDouble(t, &x) ? x : kDblNull;
}
double StrToDate(const StrSrc& s, int k) {
  const char* t = s.text(k);
  char digits[16];
  int consumed = 0;
  if (CheckDateStr(t, &consumed, digits)) return OuterDateToSerial(atol(digits));
  return OuterDateToSerial(LeadingInteger(t));
}
double StrToTime(const StrSrc& s, int k) {
  char time[16];
  return CheckTimeStr(s.text(k), time) ? TimeOuter2Inner(atoi(time)) : kDblNull;
}
double StrToDatetime(const StrSrc& s, int k) {
  const char* t = s.text(k);
  double x;
  if (DateTimeText(t, &x)) return x;
  return OuterDateToSerial(LeadingInteger(t));
}
double DecToDbl(const DecSrc& s, int k) {
  double x;
  return DecimalToDouble(s.v[k], s.info, &x) ? x : kDblNull;
}
double DecToDate(const DecSrc& s, int k) {
  double x;
  return DecimalToDouble(s.v[k], s.info, &x) ? std::floor(x) : kDblNull;
}
double DecToTime(const DecSrc& s, int k) {
  double x;
  return DecimalToDouble(s.v[k], s.info, &x) ? Fraction(x) : kDblNull;
}

// STRING: each writes one text of at most its slot's size minus one.
void IntToText(const IntSrc& s, int k, char* out) {
  char buf[40];
  i2a(s.v[k], buf, 10);
  strcpy(out, buf);
}
void DblToText(const DblSrc& s, int k, char* out) { snprintf(out, kDoubleTextWidth, "%10.6f", s.v[k]); }
bool DateTextOf(double x, char* out) {
  const int32_t date = SerialToOuterDate(x);
  if (date == kIntNull) return false;
  try {
    char buf[16];
    addSlash(date, buf);
    strcpy(out, buf);
    return true;
  } catch (const CQ7Exception&) {
    return false;
  }
}
bool TimeTextOf(double x, char* out) {
  if (!std::isfinite(x)) return false;
  try {
    char buf[16];
    addColon(x - std::floor(x), buf);
    strcpy(out, buf);
    return true;
  } catch (const CQ7Exception&) {
    return false;
  }
}
void DateToText(const DblSrc& s, int k, char* out) {
  if (!DateTextOf(s.v[k], out)) out[0] = '\0';
}
void TimeToText(const DblSrc& s, int k, char* out) {
  if (!TimeTextOf(s.v[k], out)) out[0] = '\0';
}
void DatetimeToText(const DblSrc& s, int k, char* out) {
  char date[16];
  char time[16];
  if (!DateTextOf(s.v[k], date) || !TimeTextOf(s.v[k], time)) {
    out[0] = '\0';
    return;
  }
  // At most 10 + 1 + 8 characters: a slot of 20 bytes holds it.
  const size_t date_len = strlen(date);
  memcpy(out, date, date_len);
  out[date_len] = ' ';
  strcpy(out + date_len + 1, time);
}
void DecToText(const DecSrc& s, int k, char* out) {
  if (q7num::NumericNum2Str(&s.v[k], &s.info, 0, s.info.scale, out, kDecimalTextWidth) < 0) out[0] = '\0';
}

// DECIMAL: each writes one decimal at the target's scale and mode.
void IntToDec(const IntSrc& s, int k, const NumericInfo& to, Numeric* out) {
  if (q7num::NumericInt2Num(s.v[k], &to, out) < 0) *out = NanDecimal();
}
void DblToDec(const DblSrc& s, int k, const NumericInfo& to, Numeric* out) {
  if (q7num::NumericDbl2Num(&to, out, s.v[k]) < 0) *out = NanDecimal();
}
// The grouping commas go from a copy (as stripSpace would take them: leading blanks and commas
// skipped, every later comma dropped); the list's own text is left as it is.
void StrToDec(const StrSrc& s, int k, const NumericInfo& to, Numeric* out, std::string& work) {
  const char* t = s.text(k);
  while (*t == ' ' || *t == ',') ++t;
  work.clear();
  for (; *t != '\0'; ++t) {
    if (*t != ',') work.push_back(*t);
  }
  if (q7num::NumericStr2Num(work.c_str(), &to, out, nullptr) < 0) *out = NanDecimal();
}
void DecToDec(const DecSrc& s, int k, const NumericInfo& to, Numeric* out) {
  if (s.info.scale == to.scale && s.info.roundingMode == to.roundingMode) {
    *out = s.v[k];
    return;
  }
  const int status = q7num::NumericRescale(&s.info, &to, &s.v[k], out);
  if (status < 0 || status == 1 || status == 3 || status == 4) *out = NanDecimal();
}

// ---- Range drivers ----

void CheckRange(int count, int from, int to) {
  if (from < 0 || to > count || from > to) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
}

template <class Src, class Fn>
void FillInts(const Src& s, int32_t* dst, int from, int to, Fn fn) {
  if (from == 0 && to > 0) {
    dst[0] = kIntNull;
    from = 1;
  }
  for (int k = from; k < to; ++k) dst[k] = s.null(k) ? kIntNull : fn(s, k);
}

template <class Src, class Fn>
void FillDoubles(const Src& s, double* dst, int from, int to, Fn fn) {
  if (from == 0 && to > 0) {
    dst[0] = kDblNull;
    from = 1;
  }
  for (int k = from; k < to; ++k) dst[k] = s.null(k) ? kDblNull : fn(s, k);
}

template <class Src, class Fn>
void FillDecimals(const Src& s, TNumericArray* dst, int from, int to, Fn fn) {
  if (to > dst->FArraySize) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  NumericInfo info;
  dst->GetDecimalInfo(&info);
  Numeric* d = static_cast<Numeric*>(dst->FData);
  if (from == 0 && to > 0) {
    d[0] = NanDecimal();
    from = 1;
  }
  for (int k = from; k < to; ++k) {
    if (s.null(k)) {
      d[k] = NanDecimal();
    } else {
      fn(s, k, info, &d[k]);
    }
  }
}

// Texts in fixed slots of `width` bytes (entry k at area + k * width), or packed one after another
// from the area's start.
template <class Src, class Fn>
void FillTexts(const Src& s, char** dst, char* area, int from, int to, int width, bool packed, Fn fn) {
  ScopedCLocale c_locale;
  char* cursor = area;
  for (int k = from; k < to; ++k) {
    char* slot = packed ? cursor : area + static_cast<size_t>(k) * static_cast<size_t>(width);
    if (k == 0 || s.null(k)) {
      slot[0] = '\0';
    } else {
      fn(s, k, slot);
    }
    dst[k] = slot;
    if (packed) cursor += strlen(slot) + 1;
  }
}

}  // namespace

int TypeConvTextWidth(int srcType) {
  switch (srcType) {
    case 2:
    case 4:
    case 5:
    case 7:
      return kShortTextWidth;
    case 3:
      return kDoubleTextWidth;
    case 8:
      return kDecimalTextWidth;
    default:
      return 0;
  }
}

// ---- The named conversions ----

#define Q7_CONV_TO_INT(NAME, SRC_CLASS, READER, FN) \
  void NAME##Conv(SRC_CLASS* src, int* dst, int from, int to) { \
    const READER s(src); \
    CheckRange(s.count, from, to); \
    FillInts(s, reinterpret_cast<int32_t*>(dst), from, to, FN); \
  } \
  void NAME(SRC_CLASS* src, int* dst) { NAME##Conv(src, dst, 0, src->FArraySize); }

#define Q7_CONV_TO_DBL(NAME, SRC_CLASS, READER, FN) \
  void NAME##Conv(SRC_CLASS* src, double* dst, int from, int to) { \
    const READER s(src); \
    CheckRange(s.count, from, to); \
    FillDoubles(s, dst, from, to, FN); \
  } \
  void NAME(SRC_CLASS* src, double* dst) { NAME##Conv(src, dst, 0, src->FArraySize); }

#define Q7_CONV_TO_DEC(NAME, SRC_CLASS, READER, FN) \
  void NAME##Conv(SRC_CLASS* src, TNumericArray* dst, int from, int to) { \
    const READER s(src); \
    CheckRange(s.count, from, to); \
    FillDecimals(s, dst, from, to, FN); \
  } \
  void NAME(SRC_CLASS* src, TNumericArray* dst) { NAME##Conv(src, dst, 0, src->FArraySize); }

// The whole-list form packs the texts, except DECIMAL texts (fixed 50-byte slots).
#define Q7_CONV_TO_STR(NAME, SRC_CLASS, READER, FN, WIDTH, PACKED) \
  void NAME##Conv(SRC_CLASS* src, char** dst, char* area, int from, int to) { \
    const READER s(src); \
    CheckRange(s.count, from, to); \
    FillTexts(s, dst, area, from, to, WIDTH, false, FN); \
  } \
  void NAME(SRC_CLASS* src, char** dst, char* area) { \
    const READER s(src); \
    FillTexts(s, dst, area, 0, s.count, WIDTH, PACKED, FN); \
  }

Q7_CONV_TO_INT(dblVL2intVL, TDoubleArray, DblSrc, DblToInt)
Q7_CONV_TO_INT(dateVL2intVL, TDoubleArray, DblSrc, DateToInt)
Q7_CONV_TO_INT(timeVL2intVL, TDoubleArray, DblSrc, TimeToInt)
Q7_CONV_TO_INT(datetimeVL2intVL, TDoubleArray, DblSrc, DateToInt)
Q7_CONV_TO_INT(strVL2intVL, TStrArray, StrSrc, StrToInt)
Q7_CONV_TO_INT(decVL2intVL, TNumericArray, DecSrc, DecToInt)

Q7_CONV_TO_DBL(intVL2dblVL, TIntArray, IntSrc, IntToDbl)
Q7_CONV_TO_DBL(dateVL2dblVL, TDoubleArray, DblSrc, DblFloor)
Q7_CONV_TO_DBL(timeVL2dblVL, TDoubleArray, DblSrc, TimeToDbl)
Q7_CONV_TO_DBL(datetimeVL2dblVL, TDoubleArray, DblSrc, DblSame)
Q7_CONV_TO_DBL(strVL2dblVL, TStrArray, StrSrc, StrToDbl)
Q7_CONV_TO_DBL(decVL2dblVL, TNumericArray, DecSrc, DecToDbl)

Q7_CONV_TO_DBL(intVL2dateVL, TIntArray, IntSrc, IntToDate)
Q7_CONV_TO_DBL(doubleVL2dateVL, TDoubleArray, DblSrc, DblFloor)
Q7_CONV_TO_DBL(timeVL2dateVL, TDoubleArray, DblSrc, DblNull)
Q7_CONV_TO_DBL(datetimeVL2dateVL, TDoubleArray, DblSrc, DblFloor)
Q7_CONV_TO_DBL(strVL2dateVL, TStrArray, StrSrc, StrToDate)
Q7_CONV_TO_DBL(decVL2dateVL, TNumericArray, DecSrc, DecToDate)

Q7_CONV_TO_DBL(intVL2timeVL, TIntArray, IntSrc, IntToZero)
Q7_CONV_TO_DBL(doubleVL2timeVL, TDoubleArray, DblSrc, DblFraction)
Q7_CONV_TO_DBL(dateVL2timeVL, TDoubleArray, DblSrc, DblZero)
Q7_CONV_TO_DBL(datetimeVL2timeVL, TDoubleArray, DblSrc, DblFraction)
Q7_CONV_TO_DBL(strVL2timeVL, TStrArray, StrSrc, StrToTime)
Q7_CONV_TO_DBL(decVL2timeVL, TNumericArray, DecSrc, DecToTime)

Q7_CONV_TO_DBL(intVL2datetimeVL, TIntArray, IntSrc, IntToDate)
Q7_CONV_TO_DBL(doubleVL2datetimeVL, TDoubleArray, DblSrc, DblSame)
Q7_CONV_TO_DBL(dateVL2datetimeVL, TDoubleArray, DblSrc, DblFloor)
Q7_CONV_TO_DBL(timeVL2datetimeVL, TDoubleArray, DblSrc, DblNull)
Q7_CONV_TO_DBL(strVL2datetimeVL, TStrArray, StrSrc, StrToDatetime)
Q7_CONV_TO_DBL(decVL2datetimeVL, TNumericArray, DecSrc, DecToDbl)

Q7_CONV_TO_STR(intVL2strVL, TIntArray, IntSrc, IntToText, kShortTextWidth, true)
Q7_CONV_TO_STR(doubleVL2strVL, TDoubleArray, DblSrc, DblToText, kDoubleTextWidth, true)
Q7_CONV_TO_STR(dateVL2strVL, TDoubleArray, DblSrc, DateToText, kShortTextWidth, true)
Q7_CONV_TO_STR(timeVL2strVL, TDoubleArray, DblSrc, TimeToText, kShortTextWidth, true)
Q7_CONV_TO_STR(datetimeVL2strVL, TDoubleArray, DblSrc, DatetimeToText, kShortTextWidth, true)
Q7_CONV_TO_STR(decVL2strVL, TNumericArray, DecSrc, DecToText, kDecimalTextWidth, false)

Q7_CONV_TO_DEC(intVL2decVL, TIntArray, IntSrc, IntToDec)
Q7_CONV_TO_DEC(dblVL2decVL, TDoubleArray, DblSrc, DblToDec)
Q7_CONV_TO_DEC(dateVL2decVL, TDoubleArray, DblSrc, DblToDec)
Q7_CONV_TO_DEC(timeVL2decVL, TDoubleArray, DblSrc, DblToDec)
Q7_CONV_TO_DEC(datetimeVL2decVL, TDoubleArray, DblSrc, DblToDec)
Q7_CONV_TO_DEC(decVL2decVL, TNumericArray, DecSrc, DecToDec)

#undef Q7_CONV_TO_INT
#undef Q7_CONV_TO_DBL
#undef Q7_CONV_TO_DEC
#undef Q7_CONV_TO_STR

void strVL2decVLConv(TStrArray* src, TNumericArray* dst, int from, int to) {
  const StrSrc s(src);
  CheckRange(s.count, from, to);
  std::string work;
  FillDecimals(s, dst, from, to,
               [&work](const StrSrc& src_list, int k, const NumericInfo& info, Numeric* out) {
                 StrToDec(src_list, k, info, out, work);
               });
}
void strVL2decVL(TStrArray* src, TNumericArray* dst) { strVL2decVLConv(src, dst, 0, src->FArraySize); }

// ---- Parallel form ----

namespace {

struct TypeConvParam {
  MppParamHeader header;
  int32_t srcType;
  int32_t dstType;
  int32_t from;
  int32_t to;
  TBaseArray* src;
  void* dst;
  char* area;
  TNumericArray* decDst;
};

int BasicType(int type) { return (type == 4 || type == 5 || type == 7) ? 3 : type; }

// One range of one pair; pairs outside the table convert nothing.
void ConvertRange(int srcType, int dstType, TBaseArray* src, void* dst, char* area, TNumericArray* decDst,
                  int from, int to) {
  auto* ints = static_cast<int*>(dst);
  auto* dbls = static_cast<double*>(dst);
  auto* texts = static_cast<char**>(dst);
  // The source is cast only once its class is known (DoTypeConv has checked it).
  auto si = [src] { return static_cast<TIntArray*>(src); };
  auto sd = [src] { return static_cast<TDoubleArray*>(src); };
  auto ss = [src] { return static_cast<TStrArray*>(src); };
  auto sn = [src] { return static_cast<TNumericArray*>(src); };
  switch (dstType) {
    case 2:
      switch (srcType) {
        case 3:
          return dblVL2intVLConv(sd(), ints, from, to);
        case 4:
          return dateVL2intVLConv(sd(), ints, from, to);
        case 5:
          return timeVL2intVLConv(sd(), ints, from, to);
        case 7:
          return datetimeVL2intVLConv(sd(), ints, from, to);
        case 6:
          return strVL2intVLConv(ss(), ints, from, to);
        case 8:
          return decVL2intVLConv(sn(), ints, from, to);
        default:
          return;
      }
    case 3:
      switch (srcType) {
        case 2:
          return intVL2dblVLConv(si(), dbls, from, to);
        case 4:
          return dateVL2dblVLConv(sd(), dbls, from, to);
        case 5:
          return timeVL2dblVLConv(sd(), dbls, from, to);
        case 7:
          return datetimeVL2dblVLConv(sd(), dbls, from, to);
        case 6:
          return strVL2dblVLConv(ss(), dbls, from, to);
        case 8:
          return decVL2dblVLConv(sn(), dbls, from, to);
        default:
          return;
      }
    case 4:
      switch (srcType) {
        case 2:
          return intVL2dateVLConv(si(), dbls, from, to);
        case 3:
          return doubleVL2dateVLConv(sd(), dbls, from, to);
        case 5:
          return timeVL2dateVLConv(sd(), dbls, from, to);
        case 7:
          return datetimeVL2dateVLConv(sd(), dbls, from, to);
        case 6:
          return strVL2dateVLConv(ss(), dbls, from, to);
        case 8:
          return decVL2dateVLConv(sn(), dbls, from, to);
        default:
          return;
      }
    case 5:
      switch (srcType) {
        case 2:
          return intVL2timeVLConv(si(), dbls, from, to);
        case 3:
          return doubleVL2timeVLConv(sd(), dbls, from, to);
        case 4:
          return dateVL2timeVLConv(sd(), dbls, from, to);
        case 7:
          return datetimeVL2timeVLConv(sd(), dbls, from, to);
        case 6:
          return strVL2timeVLConv(ss(), dbls, from, to);
        case 8:
          return decVL2timeVLConv(sn(), dbls, from, to);
        default:
          return;
      }
    case 7:
      switch (srcType) {
        case 2:
          return intVL2datetimeVLConv(si(), dbls, from, to);
        case 3:
          return doubleVL2datetimeVLConv(sd(), dbls, from, to);
        case 4:
          return dateVL2datetimeVLConv(sd(), dbls, from, to);
        case 5:
          return timeVL2datetimeVLConv(sd(), dbls, from, to);
        case 6:
          return strVL2datetimeVLConv(ss(), dbls, from, to);
        case 8:
          return decVL2datetimeVLConv(sn(), dbls, from, to);
        default:
          return;
      }
    case 6:
      switch (srcType) {
        case 2:
          return intVL2strVLConv(si(), texts, area, from, to);
        case 3:
          return doubleVL2strVLConv(sd(), texts, area, from, to);
        case 4:
          return dateVL2strVLConv(sd(), texts, area, from, to);
        case 5:
          return timeVL2strVLConv(sd(), texts, area, from, to);
        case 7:
          return datetimeVL2strVLConv(sd(), texts, area, from, to);
        case 8:
          return decVL2strVLConv(sn(), texts, area, from, to);
        default:
          return;
      }
    case 8:
      switch (srcType) {
        case 2:
          return intVL2decVLConv(si(), decDst, from, to);
        case 3:
          return dblVL2decVLConv(sd(), decDst, from, to);
        case 4:
          return dateVL2decVLConv(sd(), decDst, from, to);
        case 5:
          return timeVL2decVLConv(sd(), decDst, from, to);
        case 7:
          return datetimeVL2decVLConv(sd(), decDst, from, to);
        case 6:
          return strVL2decVLConv(ss(), decDst, from, to);
        case 8:
          return decVL2decVLConv(sn(), decDst, from, to);
        default:
          return;
      }
    default:
      return;
  }
}

bool PairInTable(int srcType, int dstType) {
  const bool src_ok = srcType >= 2 && srcType <= 8;
  const bool dst_ok = dstType >= 2 && dstType <= 8;
  return src_ok && dst_ok && (srcType != dstType || srcType == 8);
}

}  // namespace

int mpp_type_conversion(void* param) {
  const auto* p = static_cast<const TypeConvParam*>(param);
  try {
    if (PairInTable(p->srcType, p->dstType)) {
      ConvertRange(p->srcType, p->dstType, p->src, p->dst, p->area, p->decDst, p->from, p->to);
    }
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    return static_cast<int>(Q7_ERROR_UNKNOWN);
  }
}

void DoTypeConv(int n, int srcType, int dstType, TBaseArray* src, void* dst, char* area,
                TNumericArray* decDst) {
  if (!PairInTable(srcType, dstType) || n <= 0) return;
  // Everything a worker will rely on is checked here, before any work starts.
  const bool src_fits = src != nullptr && src->GetDataType() == BasicType(srcType) && n <= src->FArraySize;
  const bool dst_fits = dstType == 8 ? (decDst != nullptr && decDst->FArraySize >= n)
                                     : (dst != nullptr && (dstType != 6 || area != nullptr));
  if (!src_fits || !dst_fits) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);

  const int threads = CSmpEngine::Instance()->n_threads_for_elements(n);
  if (threads == 1) {
    ConvertRange(srcType, dstType, src, dst, area, decDst, 0, n);
    return;
  }
  const int share = n / threads;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<TypeConvParam>(i);
    p->srcType = srcType;
    p->dstType = dstType;
    p->from = i * share;
    p->to = i == threads - 1 ? n : (i + 1) * share;
    p->src = src;
    p->dst = dst;
    p->area = area;
    p->decDst = decDst;
  }
  CSmpEngine::Instance()->run_threads_task(threads, kMppTaskTypeConv);
}
