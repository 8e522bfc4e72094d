#include "values/TNumericArray.h"

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "values/ArrayRecord.h"

TNumericArray::TNumericArray() : TBaseArray(16) { SetDefaultDecimalInfo(); }

TNumericArray::TNumericArray(int n, int zero_fill) : TBaseArray(16) {
  SetDefaultDecimalInfo();
  InitArray(16, n, zero_fill);
}

TNumericArray::TNumericArray(int n, const void* block) : TBaseArray(16) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  SetDefaultDecimalInfo();
  FData = const_cast<void*>(block);
  FArraySize = n;
  FAllocSize = n;
}

void TNumericArray::CopyTo(TNumericArray* copy, bool parallel) const {
  try {
    CopyInto(copy, parallel);
  } catch (...) {
    delete copy;
    throw;
  }
  copy->info_ = info_;
}

TBaseArray* TNumericArray::CopyArray() {
  auto* copy = new TNumericArray();
  CopyTo(copy, false);
  return copy;
}

TBaseArray* TNumericArray::MppCopyArray() {
  auto* copy = new TNumericArray();
  CopyTo(copy, true);
  return copy;
}

void* TNumericArray::GetAddress(int idx) {
  CheckIndex(idx, nullptr);
  return static_cast<Numeric*>(FData) + idx;
}

int TNumericArray::GetData(int idx, void* out) {
  memcpy(out, GetAddress(idx), sizeof(Numeric));
  return sizeof(Numeric);
}

void TNumericArray::PutData(int idx, const void* in) {
  CheckIndex(idx, nullptr);
  memcpy(static_cast<Numeric*>(FData) + idx, in, sizeof(Numeric));
}

int TNumericArray::GetDataType() const { return Q7_TYPE_DECIMAL; }

int64_t TNumericArray::GetMemSize() const {
  int64_t size = sizeof(TNumericArray);
  if (!FNotOwned) size += static_cast<int64_t>(FUnitSize) * FAllocSize;
  return size;
}

void TNumericArray::GetDecimal(int idx, Numeric* out) { memcpy(out, GetAddress(idx), sizeof(Numeric)); }

void TNumericArray::PutDecimal(int idx, const Numeric* in) { PutData(idx, in); }

void TNumericArray::SetDecimalInfo(int scale, int mode) {
  FUserArea[6] = static_cast<uint8_t>(static_cast<int8_t>(scale));
  FUserArea[7] = static_cast<uint8_t>(mode);
  info_.scale = scale;
  info_.roundingMode = mode;
}

void TNumericArray::SetDecimalInfo(const NumericInfo* info) {
  SetDecimalInfo(info->scale, info->roundingMode);
}

void TNumericArray::GetDecimalInfo(NumericInfo* out) const {
  out->scale = static_cast<int8_t>(FUserArea[6]);
  out->roundingMode = FUserArea[7];
}

NumericInfo* TNumericArray::GetDecimalInfo() {
  GetDecimalInfo(&info_);
  return &info_;
}

int TNumericArray::GetScale() { return GetDecimalInfo()->scale; }

int TNumericArray::GetRoundingMode() { return GetDecimalInfo()->roundingMode; }

void TNumericArray::SetDefaultDecimalInfo() { SetDecimalInfo(kDefaultScale, kDefaultRoundingMode); }

// ---- Record readers ----

TNumericArray::TNumericArray(zpk_fstream& fs, char*, int) : TBaseArray(16) {
  FileRecordReader r(fs, false);
  ReadBase(r, Q7_TYPE_DECIMAL, 16);
  GetDecimalInfo();
}

TNumericArray::TNumericArray(CMemFile* mf, char*, int) : TBaseArray(16) {
  MemFileRecordReader r(mf);
  ReadBase(r, Q7_TYPE_DECIMAL, 16);
  GetDecimalInfo();
}

TNumericArray::TNumericArray(int) : TBaseArray(16) {
  MemStreamRecordReader r;
  ReadBase(r, Q7_TYPE_DECIMAL, 16);
  GetDecimalInfo();
}

TNumericArray::TNumericArray(void** cursor, char*, int) : TBaseArray(16) {
  MapBaseInPlace(cursor, Q7_TYPE_DECIMAL, 16);
  GetDecimalInfo();
}

TNumericArray::TNumericArray(zpk_fstream& fs, char*, int, int) : TBaseArray(16) {
  FileRecordReader r(fs, true);
  ReadBase(r, Q7_TYPE_DECIMAL, 16);
  GetDecimalInfo();
}
