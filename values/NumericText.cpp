// Decimal text: the printers and readers behind the exported decimal text calls.
#include "values/NumericText.h"

#include <cstring>

#include "values/Numeric.h"
#include "values/numparse.h"

using namespace q7num;

namespace {

struct DigitTable {
  char digits[10000][4];
  DigitTable() {
    for (int v = 0; v < 10000; ++v) {
      digits[v][0] = static_cast<char>('0' + v / 1000);
      digits[v][1] = static_cast<char>('0' + v / 100 % 10);
      digits[v][2] = static_cast<char>('0' + v / 10 % 10);
      digits[v][3] = static_cast<char>('0' + v % 10);
    }
  }
};

// Writes the decimal digits of v (> 0) so that they end at `end`; returns their count (<= 39).
int FormatMagnitude(u128 v, char* end) {
  const char(*table)[4] = NumericDigitTable();
  char* p = end;
  constexpr uint64_t k1e16 = 10000000000000000ull;
  while ((v >> 64) != 0) {
    uint64_t chunk = static_cast<uint64_t>(v % k1e16);
    v /= k1e16;
    for (int i = 0; i < 4; ++i) {
      p -= 4;
      memcpy(p, table[chunk % 10000], 4);
      chunk /= 10000;
    }
  }
  uint64_t x = static_cast<uint64_t>(v);
  while (x >= 10000) {
    p -= 4;
    memcpy(p, table[x % 10000], 4);
    x /= 10000;
  }
  const int lead = x >= 1000 ? 4 : (x >= 100 ? 3 : (x >= 10 ? 2 : 1));
  p -= lead;
  memcpy(p, table[x] + (4 - lead), lead);
  return static_cast<int>(end - p);
}

int PrintNumber(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf, size_t size,
                bool grouped) {
  if (buf == nullptr) return Q7_NUMERIC_BUFFER_TOO_SMALL;
  if (IsNan(*x)) {
    if (size < 4) return Q7_NUMERIC_BUFFER_TOO_SMALL;
    memcpy(buf, "NaN", 4);
    return Q7_NUMERIC_NAN;
  }
  if (size < 1) return Q7_NUMERIC_BUFFER_TOO_SMALL;

  // The value as u units of 10^-unit_scale, rounded to `digits` fraction digits when it has more.
  const i128 v = ToInt128(*x);
  const bool negative = v < 0;
  u128 u = negative ? -static_cast<u128>(v) : static_cast<u128>(v);
  int64_t unit_scale = i->scale;
  int status = Q7_NUMERIC_EXACT;
  if (digits < i->scale) {
    if (!IsValidMode(i->roundingMode)) {
      buf[0] = '\0';
      return Q7_NUMERIC_INVALID_MODE;
    }
    Dropped dropped;
    u = DivPow10(u, static_cast<int64_t>(i->scale) - digits, &dropped);
    if (RoundsUp(dropped, i->roundingMode, negative, (u & 1) != 0)) ++u;
    status = dropped == Dropped::kZero ? Q7_NUMERIC_EXACT : Q7_NUMERIC_ROUNDED;
    unit_scale = digits;
  }
  // The digit string T = digits of u followed by `zeros` zeros is value * 10^kept_digits; the last
  // `fraction` characters of T * 10^... stand after the point.
  const int64_t kept_digits = digits > 0 ? digits : 0;
  const int64_t zeros = kept_digits - unit_scale;
  const int64_t fraction = kept_digits - static_cast<int64_t>(shift);

  char magnitude[40];
  const int mag_len = u == 0 ? 1 : FormatMagnitude(u, magnitude + sizeof magnitude);
  if (u == 0) magnitude[sizeof magnitude - 1] = '0';
  const int64_t t_len = u == 0 ? 1 : mag_len + zeros;
  // Digit j of T counted from the right.
  auto t_digit = [&](int64_t j) -> char {
    if (u == 0) return '0';
    return j < zeros ? '0' : magnitude[sizeof magnitude - 1 - (j - zeros)];
  };

  char* p = buf + size - 1;
  *p = '\0';
  bool fits = true;
  auto put = [&](char c) {
    if (p == buf) {
      fits = false;
      return false;
    }
    *--p = c;
    return true;
  };

  if (shift != 0) {
    uint64_t e =
        shift < 0 ? -static_cast<uint64_t>(static_cast<int64_t>(shift)) : static_cast<uint64_t>(shift);
    do {
      put(static_cast<char>('0' + e % 10));
      e /= 10;
    } while (e != 0 && fits);
    if (fits) put(shift < 0 ? '+' : '-');
    if (fits) put('E');
  }
  int64_t int_count = 0;  // integer digits written, for the grouping commas
  auto put_int = [&](char c) {
    if (grouped && int_count > 0 && int_count % 3 == 0 && !put(',')) return false;
    ++int_count;
    return put(c);
  };
  if (fits && fraction > 0) {
    for (int64_t j = 0; j < fraction && fits; ++j) put(j < t_len ? t_digit(j) : '0');
    if (fits) put('.');
    if (t_len <= fraction) {
      if (fits) put('0');
    } else {
      for (int64_t j = fraction; j < t_len && fits; ++j) put_int(t_digit(j));
    }
  } else if (fits) {
    if (u != 0) {
      for (int64_t j = 0; j < -fraction && fits; ++j) put_int('0');
    }
    for (int64_t j = 0; j < t_len && fits; ++j) put_int(t_digit(j));
  }
  if (fits && negative && u != 0) put('-');
  if (!fits) {
    buf[0] = '\0';
    return Q7_NUMERIC_BUFFER_TOO_SMALL;
  }
  memmove(buf, p, static_cast<size_t>(buf + size - p));
  return status;
}

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Short plain numbers (a sign, at most 18 digits around at most one point, then a character that
// cannot continue the number) read without the token machinery; the grammar gives them the same
// value and end. Returns false, having done nothing, for anything else.
bool ReadShortNumber(const char* text, const NumericInfo* i, Numeric* out, const char** end, int mode,
                     int* status) {
  const char* p = text;
  const bool negative = *p == '-';
  if (negative || *p == '+') ++p;
  uint64_t value = 0;
  int count = 0, fraction = 0;
  for (; IsDigit(*p); ++p, ++count) value = value * 10 + static_cast<unsigned>(*p - '0');
  if (*p == '.') {
    for (++p; IsDigit(*p); ++p, ++count, ++fraction) value = value * 10 + static_cast<unsigned>(*p - '0');
  }
  if (count == 0 || count > 18) return false;
  if (*p == 'e' || *p == 'E' || (*p == ',' && mode == kNumParseGrouped)) return false;
  if (end) *end = p;
  const int64_t shift = static_cast<int64_t>(i->scale) - fraction;
  if (shift < 0 && !IsValidMode(i->roundingMode)) {
    *out = NanNumeric();
    *status = Q7_NUMERIC_INVALID_MODE;
  } else {
    *status = ShiftRoundStore128(value, negative, shift, i->roundingMode, out);
  }
  return true;
}

int ReadNumber(const char* text, const NumericInfo* i, Numeric* out, const char** end, int mode) {
  if (text == nullptr) {
    *out = NanNumeric();
    if (end) *end = text;
    return Q7_NUMERIC_SYNTAX_ERROR;
  }
  if (*text == '\0') {
    *out = NanNumeric();
    if (end) *end = text;
    return Q7_NUMERIC_EXACT;
  }
  int status;
  if (ReadShortNumber(text, i, out, end, mode, &status)) return status;
  NumParseState st;
  numparse_init(&st, text, mode);
  if (numparse_yyparse(&st) != 0) {
    *out = NanNumeric();
    if (end) *end = text;
    return Q7_NUMERIC_SYNTAX_ERROR;
  }
  if (end) *end = st.end;
  const int64_t exponent = st.exp_negative ? -st.exponent : st.exponent;
  const int64_t shift = exponent - st.fraction_digits + st.dropped + i->scale;
  if ((shift < 0 || st.dropped_nonzero) && !IsValidMode(i->roundingMode)) {
    *out = NanNumeric();
    return Q7_NUMERIC_INVALID_MODE;
  }
  return ShiftRoundStore(st.significand, st.negative, shift, i->roundingMode, out, st.dropped_nonzero);
}

}  // namespace

const char (*NumericDigitTable())[4] {
  static const DigitTable table;
  return table.digits;
}

namespace q7num {

int NumericNum2Str(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf, size_t size) {
  return PrintNumber(x, i, shift, digits, buf, size, false);
}

int NumericNum2Dgstr(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf, size_t size) {
  return PrintNumber(x, i, shift, digits, buf, size, true);
}

int NumericStr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end) {
  return ReadNumber(text, i, out, end, kNumParsePlain);
}

int NumericDgstr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end) {
  return ReadNumber(text, i, out, end, kNumParseGrouped);
}

}  // namespace q7num
