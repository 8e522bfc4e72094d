// The number grammar behind RQ7NumericStr2Num and RQ7NumericDgstr2Num (values/NumericText.h).
//
//   number   : [sign] mantissa [exponent]
//   mantissa : intpart | intpart '.' | intpart '.' digits | '.' digits
//   intpart  : digits | short-digits groups          (groups only in the grouped mode)
//   exponent : ('E' | 'e') [sign] digits
//
// Tokens: '.', a sign, a run of 1 to 3 digits (short) or 4 and more (long), comma groups (one or
// more ',' each followed by exactly three digits; grouped mode only), the exponent mark, and the
// bad group (a ',' that does not open a group of exactly three digits, or an exponent beyond
// 2147483647, 2147483648 when negative). Any other character, blanks and the zero included, is
// the end token; in the plain mode so is ','.
//
// The parser looks one token ahead and commits to what it shifts: after a complete mantissa an
// exponent mark must be followed by an exponent ("1e" is an error), while a token the grammar
// cannot take next (a second '.', a sign, comma groups after long digits, a fraction or an
// exponent) ends the number and is left unread. A bad group is always an error. These functions
// are internal (hidden) and never exported: their names would collide with a host's parser.
#pragma once

#include <cstdint>

#include "values/Numeric.h"

enum NumParseMode : int { kNumParseGrouped = 1, kNumParsePlain = 2 };

enum NumToken : int {
  kNumEnd = 0,
  kNumPoint,
  kNumSign,
  kNumShortDigits,
  kNumLongDigits,
  kNumGroups,
  kNumExpMark,
  kNumBadGroup,
};

// Reader state: one per call, on the stack.
struct NumParseState {
  static constexpr int kMaxKeptDigits = 41;

  const char* cursor;     // next character to read
  const char* token;      // start of the current token
  const char* token_end;  // end of the current token
  int mode;               // NumParseMode
  bool exp_seen, point_seen, sig_digits_seen, exp_negative, exp_digits_seen;
  bool negative;
  ExtendedNumeric significand;  // significant digits folded in so far
  int kept;                     // significant digits kept, at most kMaxKeptDigits
  uint64_t pending;             // digits not yet folded into significand
  int pending_count;
  int64_t fraction_digits;  // digits after the point
  int64_t dropped;          // significant digits beyond kMaxKeptDigits
  bool dropped_nonzero;     // whether any of them was not 0
  int64_t exponent;         // magnitude of the exponent
  bool overflow;            // the exponent was too large
  const char* end;          // after a successful parse: the first character not in the number
};

void numparse_init(NumParseState* st, const char* text, int mode);
// The next token; st->token and st->token_end delimit its text.
int numparse_yylex(NumParseState* st);
// 0 when a number was read (st->end set and the significand complete), 1 on a syntax error. The
// grammar is not recursive, so the "memory exhausted" result 2 of a table-driven parser never
// occurs.
int numparse_yyparse(NumParseState* st);
// Error hook of the parser; does nothing.
void numparse_yyerror(NumParseState* st, const char* message);
