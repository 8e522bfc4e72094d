// Array of doubles (type 3) for the DOUBLE, DATE, TIME and DATETIME columns, told apart by the
// extend type in FUserArea byte 0 (3 double, 4 date, 5 time, 7 datetime; 0 reads as 3). The NULL of
// a double value list is minus infinity. FUserArea bytes 6 and 7 hold the display pair, cached in
// the object.
//
// Contract as TBaseArray.
#pragma once

#include <cstdint>

#include "values/TBaseArray.h"

class TDoubleArray : public TBaseArray {
 public:
  TDoubleArray();
  TDoubleArray(int n, int zero_fill);
  // Adopts the caller's block of n doubles; the array frees it later.
  TDoubleArray(int n, const void* block);
  // Record readers (values/ArrayRecord.h); the text and int arguments are not used.
  TDoubleArray(zpk_fstream& fs, char* name, int id);
  TDoubleArray(CMemFile* mf, char* name, int id);
  explicit TDoubleArray(int from_mem_stream);
  TDoubleArray(void** cursor, char* name, int id);
  TDoubleArray(zpk_fstream& fs, char* name, int id, int verbose);

  TBaseArray* CopyArray() override;
  TBaseArray* MppCopyArray() override;
  int GetData(int idx, void* out) override;
  void* GetAddress(int idx) override;
  void PutData(int idx, const void* in) override;
  int GetDataType() const override;
  int64_t GetMemSize() const override;

  double GetDouble(int idx) const;
  double* GetDoublePtr(int idx);
  void PutDouble(int idx, double v);

  // 3, 4, 5 or 7; a stored 0 is rewritten to 3. Any other stored value throws
  // Q7_ERROR_ILLEGAL_FILTER_TYPE.
  int GetExtendType();
  // Stores 3, 4, 5 or 7 (0 stores 3); anything else throws Q7_ERROR_ILLEGAL_FILTER_TYPE.
  void SetExtendType(int t);
  // Stores the display pair in FUserArea bytes 6 and 7 and in the cache.
  void SetDispType(int a, int b);
  int DispFirst() const { return dispFirst; }
  int DispSecond() const { return dispSecond; }

 private:
  void CopyTo(TDoubleArray* copy, bool parallel) const;
  void RefreshDispCache();

  int32_t dispFirst = 0;
  int32_t dispSecond = 0;
};
