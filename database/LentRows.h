// Registering rows the caller keeps as a new set: AddSet and MppAddSet store a copy, so the rows
// are only lent to a set array for the call and never freed by it.
#pragma once

#include "database/TSetArray.h"

// Calls add(&set) (a table's AddSet or MppAddSet) with a set array over count rows and returns its
// result; whatever add throws passes on. The rows stay the caller's.
template <class Add>
int AddLentRows(int* rows, int count, Add&& add) {
  TSetArray lent;
  lent.FData = rows;
  lent.FArraySize = count;
  lent.FAllocSize = count;
  struct Unlend {
    TSetArray& set;
    ~Unlend() { set.FData = nullptr; }
  } unlend{lent};
  return add(&lent);
}
