// The arrays whose elements are one fixed-width value each (TIntArray, TDoubleArray,
// TNumericArray): all they share is here, once, over the element type T (which is copied bytewise).
//
// Derived names the concrete class: its copies are of that class and its GetMemSize counts that
// object. Derived declares, for this template's eyes only (it befriends it):
//   static constexpr int kTypeNo;                   the record's TypeNo and GetDataType
//   static constexpr const char* kGetDataLogName;   ring name of a refused GetData index (null: none)
//   static constexpr const char* kAddressLogName;   the same for GetAddress
// and, when it caches attributes in the object, `void CopyCacheTo(Derived* copy) const`, which
// carries the cache into a copy (the default carries nothing).
//
// Contract as TBaseArray. Instantiated for the three classes only (values/TFixedArray.cpp).
#pragma once

#include <cstdint>

#include "values/TBaseArray.h"

template <class Derived, class T>
class TFixedArray : public TBaseArray {
 public:
  static constexpr int kUnit = static_cast<int>(sizeof(T));

  // Empty, no data block.
  TFixedArray();
  // n elements, count = capacity = n, zero-filled when zero_fill is non-zero.
  TFixedArray(int n, int zero_fill);
  // Adopts the caller's block of n elements (no copy): the array frees it later unless FData is
  // cleared first. n < 0: Q7_ERROR_INVALID_ARRAY_SIZE.
  TFixedArray(int n, const void* block);
  // Record readers (values/ArrayRecord.h): a file stream, a memory image, the process-wide memory
  // stream, a shared-memory cursor (in place up to the image's end, data not owned) and a file
  // stream that logs each field. The text and int arguments are not used.
  TFixedArray(zpk_fstream& fs, char* name, int id);
  TFixedArray(CMemFile* mf, char* name, int id);
  explicit TFixedArray(int from_mem_stream);
  TFixedArray(void** cursor, const void* end, char* name, int id);
  TFixedArray(zpk_fstream& fs, char* name, int id, int verbose);

  TBaseArray* CopyArray() override;
  TBaseArray* MppCopyArray() override;
  int GetData(int idx, void* out) override;
  void* GetAddress(int idx) override;
  void PutData(int idx, const void* in) override;
  int GetDataType() const override;
  int64_t GetMemSize() const override;

 protected:
  T* Elements() { return static_cast<T*>(FData); }
  const T* Elements() const { return static_cast<const T*>(FData); }
  // Element idx after the index check (a refused index is recorded under log_name when given).
  T* ElementAt(int idx, const char* log_name);
  const T* ElementAt(int idx, const char* log_name) const;

  void CopyCacheTo(Derived*) const {}

 private:
  TBaseArray* MakeCopy(bool parallel) const;
};
