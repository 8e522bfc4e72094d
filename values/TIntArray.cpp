// The array of 32-bit integers (type 2): value numbers, integer value lists and row sets.
#include "values/TIntArray.h"

#include "foundation/CQ7Exception.h"

int TIntArray::GetInt(int idx) const { return *ElementAt(idx, "GetInt"); }

int* TIntArray::GetIntPtr(int idx) { return ElementAt(idx, "GetInt"); }

void TIntArray::PutInt(int idx, int v) { *ElementAt(idx, nullptr) = v; }

void TIntArray::SetSetName(const char* name) { qz7_strlcpy(setName, name ? name : "", sizeof setName); }

int TIntArray::Exclude0Rec() {
  int* p = PIntAr();
  int kept = 0;
  for (int i = 0; i < FArraySize; ++i) {
    if (p[i] >= 1) p[kept++] = p[i];
  }
  FArraySize = kept;
  return kept;
}

void TIntArray::InitAsSet() {
  AdjustMemArea();
  int* p = PIntAr();
  for (int i = 0; i < FArraySize; ++i) p[i] = i + 1;
}
