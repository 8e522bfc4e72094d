// Array of 32-bit integers (type 2): value-number arrays, integer value lists, and the base of the
// row sets. The NULL of an integer value list is INT32_MIN (0x80000000).
//
// Contract as TBaseArray; the constructors, record readers and element virtuals are those of
// TFixedArray (values/TFixedArray.h). The set name is an inline buffer; every constructor and copy
// leaves it empty, and SetSetName cuts a longer name to kSetNameSize - 1 characters.
#pragma once

#include <cstdint>

#include "q7api.h"
#include "values/TFixedArray.h"

class TIntArray : public TFixedArray<TIntArray, int> {
 public:
  static constexpr int kSetNameSize = 256;

  using TFixedArray::TFixedArray;

  int GetInt(int idx) const;
  int* GetIntPtr(int idx);
  void PutInt(int idx, int v);
  int* PIntAr() { return Elements(); }

  const char* GetSetName() const { return setName; }
  void SetSetName(const char* name);

  // Removes every element below 1, keeping the order of the rest; the capacity stays. Returns the
  // new count.
  int Exclude0Rec();
  // Trims the capacity, then stores 1, 2, ..., count (the all-rows set).
  void InitAsSet();

 private:
  friend TFixedArray;
  static constexpr int kTypeNo = Q7_TYPE_INTEGER;
  static constexpr const char* kGetDataLogName = "GetInt";
  static constexpr const char* kAddressLogName = "GetAddress";

  char setName[kSetNameSize] = {};
};
