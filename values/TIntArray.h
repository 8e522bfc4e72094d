// Array of 32-bit integers (type 2): value-number arrays, integer value lists, and the base of the
// row sets. The NULL of an integer value list is INT32_MIN (0x80000000).
//
// Contract as TBaseArray. The set name is an inline buffer; every constructor and copy leaves it
// empty, and SetSetName cuts a longer name to kSetNameSize - 1 characters.
#pragma once

#include <cstdint>

#include "values/TBaseArray.h"

class TIntArray : public TBaseArray {
 public:
  static constexpr int kSetNameSize = 256;

  TIntArray();
  // n elements, count = capacity = n, zero-filled when zero_fill is non-zero.
  TIntArray(int n, int zero_fill);
  // Adopts the caller's block of n integers (no copy): the array frees it later unless FData is
  // cleared first.
  TIntArray(int n, const void* block);
  // Record readers (values/ArrayRecord.h); the text and int arguments are not used.
  TIntArray(zpk_fstream& fs, char* name, int id);
  TIntArray(CMemFile* mf, char* name, int id);
  explicit TIntArray(int from_mem_stream);
  TIntArray(void** cursor, char* name, int id);
  TIntArray(zpk_fstream& fs, char* name, int id, int verbose);

  TBaseArray* CopyArray() override;
  TBaseArray* MppCopyArray() override;
  int GetData(int idx, void* out) override;
  void* GetAddress(int idx) override;
  void PutData(int idx, const void* in) override;
  int GetDataType() const override;
  int64_t GetMemSize() const override;

  int GetInt(int idx) const;
  int* GetIntPtr(int idx);
  void PutInt(int idx, int v);
  int* PIntAr() { return static_cast<int*>(FData); }

  const char* GetSetName() const { return setName; }
  void SetSetName(const char* name);

  // Removes every element below 1, keeping the order of the rest; the capacity stays. Returns the
  // new count.
  int Exclude0Rec();
  // Trims the capacity, then stores 1, 2, ..., count (the all-rows set).
  void InitAsSet();

 private:
  char setName[kSetNameSize] = {};
};
