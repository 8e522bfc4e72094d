// Binary searches in value lists: turn a value into a value number (a position in a filter's
// sorted, distinct value list, NULL at index 0) or into a position in a scope (an ascending list
// of value numbers, as the rows of a small set use).
//
// Orders: TIntArray signed; TDoubleArray IEEE (a NaN value never moves a search and never
// matches); TNumericArray the unscaled 128-bit value (the value and the list must share one
// scale); TStrArray byte order (strcmp). The "2" string forms read every entry from index 1 on
// from its second byte (TStrArray::GetPChar2).
//
// Whole-list searches return the last position whose entry is at most the value (0 when only the
// NULL is), *found telling whether that entry equals the value. Scope searches return the number
// of scope entries below the value (0..n), *found telling whether the entry there equals it.
// The probing order (a step of the smallest power of two at least the count, halved down to a
// last step-0 probe) and the equality tests are fixed, because callers rely on which equal entry
// an unusual list (FindPosStr2) reports.
//
// Preconditions: the list has at least one entry; a scope has n >= 1 valid value numbers of the
// list; found is not null. Nothing is checked, allocated or thrown.
//
// Thread safety: pure functions over their arguments; safe on any thread, worker tasks included.
#pragma once

#include "q7api.h"

class TIntArray;
class TDoubleArray;
class TNumericArray;
class TStrArray;

int FindPosInt(int value, TIntArray* list, bool* found);
int FindPosDouble(double value, TDoubleArray* list, bool* found);
int FindPosDecimal(Numeric value, TNumericArray* list, bool* found);
int FindPosStr(const char* value, TStrArray* list, bool* found);
// An equal entry at index 0 sets *found but does not end the search; the last position reached
// is returned.
int FindPosStr2(const char* value, TStrArray* list, bool* found);

int FindPosIntScope(int value, int n, const int* scope, TIntArray* list, bool* found);
int FindPosDoubleScope(double value, int n, const int* scope, TDoubleArray* list, bool* found);
int FindPosDecimalScope(Numeric value, int n, const int* scope, TNumericArray* list, bool* found);
int FindPosStrScope(const char* value, int n, const int* scope, TStrArray* list, bool* found);
int FindPosStr2Scope(const char* value, int n, const int* scope, TStrArray* list, bool* found);
