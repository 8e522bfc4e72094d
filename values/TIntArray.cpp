#include "values/TIntArray.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "values/ArrayRecord.h"

TIntArray::TIntArray() : TBaseArray(4) {}

TIntArray::TIntArray(int n, int zero_fill) : TBaseArray(4) { InitArray(4, n, zero_fill); }

TIntArray::TIntArray(int n, const void* block) : TBaseArray(4) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  FData = const_cast<void*>(block);
  FArraySize = n;
  FAllocSize = n;
}

TBaseArray* TIntArray::CopyArray() {
  auto* copy = new TIntArray();
  try {
    CopyInto(copy, false);
  } catch (...) {
    delete copy;
    throw;
  }
  return copy;
}

TBaseArray* TIntArray::MppCopyArray() {
  auto* copy = new TIntArray();
  try {
    CopyInto(copy, true);
  } catch (...) {
    delete copy;
    throw;
  }
  return copy;
}

int TIntArray::GetData(int idx, void* out) {
  const int v = GetInt(idx);
  memcpy(out, &v, sizeof v);
  return sizeof v;
}

void* TIntArray::GetAddress(int idx) {
  CheckIndex(idx, "GetAddress");
  return PIntAr() + idx;
}

void TIntArray::PutData(int idx, const void* in) {
  int v;
  memcpy(&v, in, sizeof v);
  PutInt(idx, v);
}

int TIntArray::GetDataType() const { return Q7_TYPE_INTEGER; }

int64_t TIntArray::GetMemSize() const {
  int64_t size = sizeof(TIntArray);
  if (!FNotOwned) size += static_cast<int64_t>(FUnitSize) * FAllocSize;
  return size;
}

int TIntArray::GetInt(int idx) const {
  CheckIndex(idx, "GetInt");
  return static_cast<const int*>(FData)[idx];
}

int* TIntArray::GetIntPtr(int idx) {
  CheckIndex(idx, "GetInt");
  return PIntAr() + idx;
}

void TIntArray::PutInt(int idx, int v) {
  CheckIndex(idx, nullptr);
  PIntAr()[idx] = v;
}

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

// ---- Record readers ----

TIntArray::TIntArray(zpk_fstream& fs, char*, int) : TBaseArray(4) {
  FileRecordReader r(fs, false);
  ReadBase(r, Q7_TYPE_INTEGER, 4);
}

TIntArray::TIntArray(CMemFile* mf, char*, int) : TBaseArray(4) {
  MemFileRecordReader r(mf);
  ReadBase(r, Q7_TYPE_INTEGER, 4);
}

TIntArray::TIntArray(int) : TBaseArray(4) {
  MemStreamRecordReader r;
  ReadBase(r, Q7_TYPE_INTEGER, 4);
}

TIntArray::TIntArray(void** cursor, char*, int) : TBaseArray(4) {
  MapBaseInPlace(cursor, Q7_TYPE_INTEGER, 4);
}

TIntArray::TIntArray(zpk_fstream& fs, char*, int, int) : TBaseArray(4) {
  FileRecordReader r(fs, true);
  ReadBase(r, Q7_TYPE_INTEGER, 4);
}
