// The number grammar behind the exported decimal text readers.
#include "values/numparse.h"

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void Fold(NumParseState* st) {
  if (st->pending_count == 0) return;
  if (st->significand.IsZero()) {
    st->significand = ExtendedNumeric::FromU128(st->pending);
  } else {
    st->significand.MulSmall(q7num::kPow10.p64[st->pending_count]);
    st->significand.Add(ExtendedNumeric::FromU128(st->pending));
  }
  st->pending = 0;
  st->pending_count = 0;
}

// Takes a run of digits [p, to) into the significand.
void AddRun(NumParseState* st, const char* p, const char* to, bool fraction) {
  if (fraction) st->fraction_digits += to - p;
  if (st->kept == 0) {
    while (p < to && *p == '0') ++p;  // leading zeros carry no significance
  }
  const int64_t room = NumParseState::kMaxKeptDigits - st->kept;
  const char* keep_end = to - p > room ? p + room : to;
  st->kept += static_cast<int>(keep_end - p);
  uint64_t pending = st->pending;
  int count = st->pending_count;
  for (; p < keep_end; ++p) {
    pending = pending * 10 + static_cast<unsigned>(*p - '0');
    if (++count == 18) {
      st->pending = pending;
      st->pending_count = count;
      Fold(st);
      pending = 0;
      count = 0;
    }
  }
  st->pending = pending;
  st->pending_count = count;
  // Beyond the kept digits only the point's position counts; a non-zero digit still tells the
  // rounding that the dropped part is neither zero nor exactly one half.
  for (; p < to; ++p) {
    ++st->dropped;
    if (*p != '0') st->dropped_nonzero = true;
  }
}

// Takes a digits token, or a comma-groups token, into the significand.
void AddDigits(NumParseState* st, const char* from, const char* to, bool fraction) {
  if (*from == ',') {
    for (const char* p = from; p < to; p += 4) AddRun(st, p + 1, p + 4, fraction);
  } else {
    AddRun(st, from, to, fraction);
  }
  st->sig_digits_seen = true;
}

inline bool IsDigits(int token) { return token == kNumShortDigits || token == kNumLongDigits; }

}  // namespace

void numparse_init(NumParseState* st, const char* text, int mode) {
  st->cursor = st->token = st->token_end = st->end = text;
  st->mode = mode;
  st->exp_seen = st->point_seen = st->sig_digits_seen = st->exp_negative = st->exp_digits_seen = false;
  st->negative = st->dropped_nonzero = st->overflow = false;
  st->significand = ExtendedNumeric::FromU128(0);
  st->kept = st->pending_count = 0;
  st->pending = 0;
  st->fraction_digits = st->dropped = st->exponent = 0;
}

int numparse_yylex(NumParseState* st) {
  const char* p = st->cursor;
  st->token = p;
  const char c = *p;
  if (c == '.' || c == '+' || c == '-' || c == 'E' || c == 'e') {
    st->cursor = st->token_end = p + 1;
    if (c == '.') return kNumPoint;
    return (c == 'E' || c == 'e') ? kNumExpMark : kNumSign;
  }
  if (IsDigit(c)) {
    const char* q = p;
    while (IsDigit(*q)) ++q;
    st->cursor = st->token_end = q;
    if (st->exp_seen && !st->exp_digits_seen) {
      const int64_t limit = st->exp_negative ? 2147483648LL : 2147483647LL;
      int64_t value = 0;
      for (const char* d = p; d < q; ++d) {
        value = value * 10 + (*d - '0');
        if (value > limit) {
          st->overflow = true;
          return kNumBadGroup;
        }
      }
      st->exponent = value;
    }
    return q - p <= 3 ? kNumShortDigits : kNumLongDigits;
  }
  if (c == ',' && st->mode == kNumParseGrouped) {
    const char* q = p;
    while (q[0] == ',' && IsDigit(q[1]) && IsDigit(q[2]) && IsDigit(q[3]) && !IsDigit(q[4])) q += 4;
    if (q == p) {
      st->cursor = st->token_end = p + 1;
      return kNumBadGroup;
    }
    st->cursor = st->token_end = q;
    return kNumGroups;
  }
  st->token_end = p;
  return kNumEnd;
}

void numparse_yyerror(NumParseState*, const char*) {}

int numparse_yyparse(NumParseState* st) {
  int token = numparse_yylex(st);
  if (token == kNumSign) {
    st->negative = *st->token == '-';
    token = numparse_yylex(st);
  }
  if (IsDigits(token)) {
    const bool short_run = token == kNumShortDigits;
    AddDigits(st, st->token, st->token_end, false);
    token = numparse_yylex(st);
    if (short_run && token == kNumGroups) {
      AddDigits(st, st->token, st->token_end, false);
      token = numparse_yylex(st);
    }
    if (token == kNumPoint) {
      st->point_seen = true;
      token = numparse_yylex(st);
      if (IsDigits(token)) {
        AddDigits(st, st->token, st->token_end, true);
        token = numparse_yylex(st);
      }
    }
  } else if (token == kNumPoint) {
    st->point_seen = true;
    token = numparse_yylex(st);
    if (!IsDigits(token)) {
      numparse_yyerror(st, "syntax error");
      return 1;
    }
    AddDigits(st, st->token, st->token_end, true);
    token = numparse_yylex(st);
  } else {
    numparse_yyerror(st, "syntax error");
    return 1;
  }
  if (token == kNumExpMark) {
    st->exp_seen = true;
    token = numparse_yylex(st);
    if (token == kNumSign) {
      st->exp_negative = *st->token == '-';
      token = numparse_yylex(st);
    }
    if (!IsDigits(token)) {
      numparse_yyerror(st, "syntax error");
      return 1;
    }
    st->exp_digits_seen = true;
    token = numparse_yylex(st);
  }
  if (token == kNumBadGroup) {
    numparse_yyerror(st, "syntax error");
    return 1;
  }
  st->end = st->token;
  Fold(st);
  return 0;
}
