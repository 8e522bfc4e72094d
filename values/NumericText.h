// Decimal text: the printers and readers behind the exported RQ7NumericNum2Str /
// RQ7NumericNum2Dgstr and RQ7NumericStr2Num / RQ7NumericDgstr2Num, whose contracts q7api.h states
// (each q7num::NumericX here is exported as RQ7NumericX there).
//
// Printing details beyond the header's summary:
//  - digits below i's scale round the value by i's mode; a negative digits rounds to tens,
//    hundreds, ... and prints the dropped positions as zeros ("12300" for 12345 with digits -2).
//    Printing never overflows: digits above i's scale only append zeros to the text.
//  - a value that is zero after rounding prints without a sign, and as "0" (or "0.00...") without
//    the zeros a positive shift would append.
// Reading details: leading zeros are not significant; at most 41 significant digits are kept,
// later ones only move the point, and when one of them is not zero the rounding knows that the
// value lies strictly between the kept digits and the next unit (so the status is 2).
//
// Thread safety: all four functions may run on any number of threads; the digit table the
// printers use is built once, on first use, under the thread-safe static initialisation.
#pragma once

#include <cstddef>

#include "q7api.h"

// Four decimal digits of each value 0..9999.
const char (*NumericDigitTable())[4];

namespace q7num {

int NumericNum2Str(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf, size_t size);
int NumericNum2Dgstr(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf, size_t size);
int NumericStr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end);
int NumericDgstr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end);

}  // namespace q7num
