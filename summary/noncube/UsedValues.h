// The values an output column keeps of its source's value list: only those its rows use, NULL
// first, in value order, renumbered from 0. Shared by the non-cube summary's MAX/MIN builders and
// its join dimension columns.
#pragma once

#include <memory>

#include "foundation/ZpkAllocator.h"

class TBaseArray;

// Built on the workers, and as long as the source's value list: the engine's own blocks.
struct UsedValues {
  ZpkVector<int> kept;        // the old value numbers kept, ascending; kept[0] is 0 (NULL)
  ZpkVector<int> new_number;  // by old value number (-1 unused); empty on the sorted road

  // The new value number of old value number v, which must be one of kept.
  int NewNumber(int v) const;
};

// The value numbers[0 .. n_rows - 1] use out of a list of n_values (each must lie in 0 ..
// n_values - 1; the caller checks). Rows far fewer than the list's values sort their own value
// numbers instead of flagging and walking the whole list; both roads give the same numbers.
UsedValues CollectUsedValues(int n_values, int n_rows, const int* numbers);

// A new list of vl's value type holding vl's values at kept, in that order; no display or kind
// attributes are carried. Throws Q7_ERROR_INVALID_DATA_TYPE for another list type.
std::unique_ptr<TBaseArray> ListOfValues(TBaseArray* vl, const ZpkVector<int>& kept);
