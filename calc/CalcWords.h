// Word readers and text checks shared by the two calculators.
//
// The readers copy one word of a formula into `out` (at most size - 1 bytes and a terminating
// zero; a longer word is cut, never written past `out`) and return how many bytes of `in` they used
// (0 at the end of the text). The checks return 0 for text they accept and a negative code
// otherwise. None of them keeps state; all may run on any thread.
#pragma once

class TRealTable;

int CheckNumericFormula(TRealTable* table, const char* formula, bool unused);
int CheckNumericFormat(const char* text);
int Check0Format(const char* text);
int GetWord(char* out, int size, const char* in);
int GetWord2(char* out, int size, const char* in, bool comma);
int GetWordNumeric(char* out, int size, const char* in);
