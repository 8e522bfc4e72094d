// The fixed-width element arrays' shared template: construction, copies, loads and element access.
#include "values/TFixedArray.h"

#include <cstring>
#include <memory>

#include "foundation/CQ7Exception.h"
#include "values/ArrayRecord.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray() : TBaseArray(kUnit) {}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(int n, int zero_fill) : TBaseArray(kUnit) {
  InitArray(kUnit, n, zero_fill);
}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(int n, const void* block) : TBaseArray(kUnit) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  FData = const_cast<void*>(block);
  FArraySize = n;
  FAllocSize = n;
}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(zpk_fstream& fs, char*, int) : TBaseArray(kUnit) {
  FileRecordReader r(fs, false);
  ReadBase(r, Derived::kTypeNo, kUnit);
}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(CMemFile* mf, char*, int) : TBaseArray(kUnit) {
  MemFileRecordReader r(mf);
  ReadBase(r, Derived::kTypeNo, kUnit);
}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(int) : TBaseArray(kUnit) {
  MemStreamRecordReader r;
  ReadBase(r, Derived::kTypeNo, kUnit);
}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(void** cursor, const void* end, char*, int) : TBaseArray(kUnit) {
  MapBaseInPlace(cursor, end, Derived::kTypeNo, kUnit);
}

template <class Derived, class T>
TFixedArray<Derived, T>::TFixedArray(zpk_fstream& fs, char*, int, int) : TBaseArray(kUnit) {
  FileRecordReader r(fs, true);
  ReadBase(r, Derived::kTypeNo, kUnit);
}

template <class Derived, class T>
TBaseArray* TFixedArray<Derived, T>::MakeCopy(bool parallel) const {
  auto copy = std::make_unique<Derived>();
  CopyInto(copy.get(), parallel);
  static_cast<const Derived*>(this)->CopyCacheTo(copy.get());
  return copy.release();
}

template <class Derived, class T>
TBaseArray* TFixedArray<Derived, T>::CopyArray() {
  return MakeCopy(false);
}

template <class Derived, class T>
TBaseArray* TFixedArray<Derived, T>::MppCopyArray() {
  return MakeCopy(true);
}

template <class Derived, class T>
T* TFixedArray<Derived, T>::ElementAt(int idx, const char* log_name) {
  CheckIndex(idx, log_name);
  return Elements() + idx;
}

template <class Derived, class T>
const T* TFixedArray<Derived, T>::ElementAt(int idx, const char* log_name) const {
  CheckIndex(idx, log_name);
  return Elements() + idx;
}

template <class Derived, class T>
int TFixedArray<Derived, T>::GetData(int idx, void* out) {
  memcpy(out, ElementAt(idx, Derived::kGetDataLogName), sizeof(T));
  return sizeof(T);
}

template <class Derived, class T>
void* TFixedArray<Derived, T>::GetAddress(int idx) {
  return ElementAt(idx, Derived::kAddressLogName);
}

template <class Derived, class T>
void TFixedArray<Derived, T>::PutData(int idx, const void* in) {
  memcpy(ElementAt(idx, nullptr), in, sizeof(T));
}

template <class Derived, class T>
int TFixedArray<Derived, T>::GetDataType() const {
  return Derived::kTypeNo;
}

template <class Derived, class T>
int64_t TFixedArray<Derived, T>::GetMemSize() const {
  return MemSizeWith(sizeof(Derived));
}

template class TFixedArray<TIntArray, int>;
template class TFixedArray<TDoubleArray, double>;
template class TFixedArray<TNumericArray, Numeric>;
