// Searches in a sorted view (TSortedSetArray): where the run of a view's records holding one value
// begins and ends.
//
// *first receives the view position of the first record holding the value and *end the position
// just past the last one; when no record holds it both receive the position where such records
// would stand. When the view's NULL count is positive and the value is the type's NULL, first = 0
// and end = the NULL count. Either output may be null. Returns 0.
//
// Preconditions: the view has data (TSortedSetArray::HasData) and was built from `filter`, whose
// pending values are merged; the value is of the filter's storage type (a Numeric of the list's
// scale). Nothing is allocated or thrown.
//
// Thread safety: reads only; safe while nothing changes the view or the filter.
#pragma once

#include "q7api.h"

class TSortedSetArray;
class TFilter;

int FindPosIntOfSortedSet(int value, TSortedSetArray* view, TFilter* filter, int* end, int* first);
int FindPosDoubleOfSortedSet(double value, TSortedSetArray* view, TFilter* filter, int* end, int* first);
int FindPosDecimalOfSortedSet(Numeric value, TSortedSetArray* view, TFilter* filter, int* end, int* first);
int FindPosStrOfSortedSet(const char* value, TSortedSetArray* view, TFilter* filter, int* end, int* first);
