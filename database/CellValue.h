// One row's value of a filter, as the row readers hand it out: where it lies (the value list, or
// the pending list for a value not yet merged) and its copy in the host's form.
#pragma once

class TBaseArray;

struct ValueAt {
  TBaseArray* list;
  int index;
};

// Copies the value at `at` of a list of `type` (2 INTEGER, 6 STRING, 8 DECIMAL, any other: the
// double family) to out: 4, 8 or 16 bytes, or a text cut to `limit` bytes and its zero. Returns
// the byte count (a text's length without the zero).
int CopyCellValue(int type, const ValueAt& at, void* out, int limit);
