// The operators of a category table: the text of a definition row's command turned into an
// operator code, and the eight comparison predicates a code stands for.
//
// Codes (a plain int; -1 = not an operator), in the order of kCompFuncs:
//   0 equal             "EQ" "EQUAL" "=" "=="                    x == a
//   1 between, inclusive "BTW" "BETWEEN" "<=>" "<==>"            a <= x <= b
//   2 less or equal      "LEQ" "LESSEQUAL" "<="                   x <= a
//   3 greater or equal   "GEQ" "GREATEREQUAL" ">="                x >= a
//   4 not equal          "NEQ" "NOTEQUAL" "!=" "<>"               x != a
//   5 within, exclusive  "WI" "WTHN" "WITHIN" "<->" "<-->"        a < x < b
//   6 less than          "LES" "LESS" "LESSTHAN" "<"              x < a
//   7 greater than       "GT" "GREATER" "GREATERTHAN" ">"         x > a
// Codes 1 and 5 use both parameters; the others only the first (the bit mask 0xDD over the code).
//
// Everything here is stateless and reentrant; nothing throws.
#pragma once

#include "values/value.h"

inline constexpr int kOpeEQ = 0;
inline constexpr int kOpeBetween = 1;
inline constexpr int kOpeLEQ = 2;
inline constexpr int kOpeGEQ = 3;
inline constexpr int kOpeNEQ = 4;
inline constexpr int kOpeWithin = 5;
inline constexpr int kOpeLES = 6;
inline constexpr int kOpeGT = 7;
inline constexpr int kOpeCodeCount = 8;
// Bit (1 << code) is set for the codes that read param1 only.
inline constexpr int kSingleParamOpeMask = 0xDD;

// True for a valid code that reads param1 only (0, 2, 3, 4, 6, 7).
inline bool IsSingleParamOpe(int code) {
  return code >= 0 && code < kOpeCodeCount && ((kSingleParamOpeMask >> code) & 1) != 0;
}

// The operator code of a command text, or -1. Only the first 31 characters are looked at; blanks
// and tabs anywhere are skipped and lower-case letters read as upper case, so " less than " is
// "LESSTHAN". A null pointer reads as the empty text.
int Str2OpeCode(const char* text);

// x is the value under test, a the row's param1, b its param2 (ignored by the single-parameter
// codes). The comparisons are those of Value, which mix doubles and decimals.
bool CompEQ(Value x, Value a, Value b);
bool CompBetween(Value x, Value a, Value b);
bool CompLEQ(Value x, Value a, Value b);
bool CompGEQ(Value x, Value a, Value b);
bool CompNEQ(Value x, Value a, Value b);
bool CompWithin(Value x, Value a, Value b);
bool CompLES(Value x, Value a, Value b);
bool CompGT(Value x, Value a, Value b);

using CompFunc = bool (*)(Value x, Value a, Value b);

// The eight predicates indexed by operator code.
extern const CompFunc kCompFuncs[kOpeCodeCount];
