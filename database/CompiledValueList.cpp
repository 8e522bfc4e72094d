// The row-number checks that the row editors share.
#include "database/CompiledValueList.h"

#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"

void CheckSetRecords(const TSetArray* set, int from, int n, int records) {
  const int* rows = static_cast<const int*>(set->FData);
  for (int i = from; i < from + n; ++i) {
    if (rows[i] < 1 || rows[i] > records) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  }
}
