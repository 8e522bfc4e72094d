// The row-number checks that the row editors share. The value lists they build from compile
// outputs come from AdoptCompiledList (values/ArrayFunctions.h), included here for them.
//
// Thread safety: no shared state; call from any thread on arrays that no other thread changes.
#pragma once

#include "values/ArrayFunctions.h"

class TSetArray;

// Throws Q7_ERROR_INDEX_OUT_OF_RANGE unless every element of set at positions from .. from + n - 1
// is a record number 1 .. records. Changes nothing.
void CheckSetRecords(const TSetArray* set, int from, int n, int records);
