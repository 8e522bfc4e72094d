#include "values/TDoubleArray.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "values/ArrayRecord.h"

TDoubleArray::TDoubleArray() : TBaseArray(8) {}

TDoubleArray::TDoubleArray(int n, int zero_fill) : TBaseArray(8) { InitArray(8, n, zero_fill); }

TDoubleArray::TDoubleArray(int n, const void* block) : TBaseArray(8) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  FData = const_cast<void*>(block);
  FArraySize = n;
  FAllocSize = n;
}

void TDoubleArray::CopyTo(TDoubleArray* copy, bool parallel) const {
  try {
    CopyInto(copy, parallel);
  } catch (...) {
    delete copy;
    throw;
  }
  copy->dispFirst = dispFirst;
  copy->dispSecond = dispSecond;
}

TBaseArray* TDoubleArray::CopyArray() {
  auto* copy = new TDoubleArray();
  CopyTo(copy, false);
  return copy;
}

TBaseArray* TDoubleArray::MppCopyArray() {
  auto* copy = new TDoubleArray();
  CopyTo(copy, true);
  return copy;
}

int TDoubleArray::GetData(int idx, void* out) {
  const double v = GetDouble(idx);
  memcpy(out, &v, sizeof v);
  return sizeof v;
}

void* TDoubleArray::GetAddress(int idx) {
  CheckIndex(idx, "GetAddress");
  return static_cast<double*>(FData) + idx;
}

void TDoubleArray::PutData(int idx, const void* in) {
  double v;
  memcpy(&v, in, sizeof v);
  PutDouble(idx, v);
}

int TDoubleArray::GetDataType() const { return Q7_TYPE_DOUBLE; }

int64_t TDoubleArray::GetMemSize() const {
  int64_t size = sizeof(TDoubleArray);
  if (!FNotOwned) size += static_cast<int64_t>(FUnitSize) * FAllocSize;
  return size;
}

double TDoubleArray::GetDouble(int idx) const {
  CheckIndex(idx, "GetDouble");
  return static_cast<const double*>(FData)[idx];
}

double* TDoubleArray::GetDoublePtr(int idx) {
  CheckIndex(idx, "GetDoublePtr");
  return static_cast<double*>(FData) + idx;
}

void TDoubleArray::PutDouble(int idx, double v) {
  CheckIndex(idx, nullptr);
  static_cast<double*>(FData)[idx] = v;
}

int TDoubleArray::GetExtendType() {
  switch (FUserArea[0]) {
    case 0:
      FUserArea[0] = Q7_TYPE_DOUBLE;
      return Q7_TYPE_DOUBLE;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      return FUserArea[0];
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

void TDoubleArray::SetExtendType(int t) {
  switch (t) {
    case 0:
      FUserArea[0] = Q7_TYPE_DOUBLE;
      return;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      FUserArea[0] = static_cast<uint8_t>(t);
      return;
    default:
      PutErrorLog("SetExtendType", Q7_ERROR_INVALID_DATA_TYPE, getString("Illegal data type  : %d", t));
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

void TDoubleArray::SetDispType(int a, int b) {
  FUserArea[6] = static_cast<uint8_t>(a);
  FUserArea[7] = static_cast<uint8_t>(b);
  dispFirst = a;
  dispSecond = b;
}

void TDoubleArray::RefreshDispCache() {
  dispFirst = static_cast<int8_t>(FUserArea[6]);
  dispSecond = static_cast<int8_t>(FUserArea[7]);
}

// ---- Record readers ----

TDoubleArray::TDoubleArray(zpk_fstream& fs, char*, int) : TBaseArray(8) {
  FileRecordReader r(fs, false);
  ReadBase(r, Q7_TYPE_DOUBLE, 8);
  RefreshDispCache();
}

TDoubleArray::TDoubleArray(CMemFile* mf, char*, int) : TBaseArray(8) {
  MemFileRecordReader r(mf);
  ReadBase(r, Q7_TYPE_DOUBLE, 8);
  RefreshDispCache();
}

TDoubleArray::TDoubleArray(int) : TBaseArray(8) {
  MemStreamRecordReader r;
  ReadBase(r, Q7_TYPE_DOUBLE, 8);
  RefreshDispCache();
}

TDoubleArray::TDoubleArray(void** cursor, char*, int) : TBaseArray(8) {
  MapBaseInPlace(cursor, Q7_TYPE_DOUBLE, 8);
  RefreshDispCache();
}

TDoubleArray::TDoubleArray(zpk_fstream& fs, char*, int, int) : TBaseArray(8) {
  FileRecordReader r(fs, true);
  ReadBase(r, Q7_TYPE_DOUBLE, 8);
  RefreshDispCache();
}
