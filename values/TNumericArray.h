// Array of 16-byte decimals (type 8). The scale and rounding mode of the whole array live in
// FUserArea bytes 6 (signed) and 7, defaults 6 and 4 (ROUNDHALFUP), and are cached in the object
// as a NumericInfo. The NULL of a decimal value list is the decimal NaN.
//
// Contract as TBaseArray. GetDecimal, PutDecimal, GetAddress and GetData throw
// Q7_ERROR_INDEX_OUT_OF_RANGE without a ring entry.
#pragma once

#include <cstdint>

#include "q7api.h"
#include "values/TBaseArray.h"

class TNumericArray : public TBaseArray {
 public:
  static constexpr int kDefaultScale = 6;
  static constexpr int kDefaultRoundingMode = Q7_ROUND_HALF_UP;

  TNumericArray();
  TNumericArray(int n, int zero_fill);
  // Adopts the caller's block of n decimals; the array frees it later.
  TNumericArray(int n, const void* block);
  // Record readers (values/ArrayRecord.h); the text and int arguments are not used. The scale
  // and mode come from the loaded attribute block.
  TNumericArray(zpk_fstream& fs, char* name, int id);
  TNumericArray(CMemFile* mf, char* name, int id);
  explicit TNumericArray(int from_mem_stream);
  TNumericArray(void** cursor, char* name, int id);
  TNumericArray(zpk_fstream& fs, char* name, int id, int verbose);

  TBaseArray* CopyArray() override;
  TBaseArray* MppCopyArray() override;
  int GetData(int idx, void* out) override;
  void* GetAddress(int idx) override;
  void PutData(int idx, const void* in) override;
  int GetDataType() const override;
  int64_t GetMemSize() const override;

  void GetDecimal(int idx, Numeric* out);
  void PutDecimal(int idx, const Numeric* in);

  void SetDecimalInfo(const NumericInfo* info);
  void SetDecimalInfo(int scale, int mode);
  // Fills the caller's record from FUserArea bytes 6 and 7.
  void GetDecimalInfo(NumericInfo* out) const;
  // Refreshes the cache from FUserArea and returns it; valid while the array lives.
  NumericInfo* GetDecimalInfo();
  int GetScale();
  int GetRoundingMode();
  void SetDefaultDecimalInfo();

 private:
  void CopyTo(TNumericArray* copy, bool parallel) const;

  NumericInfo info_{kDefaultScale, kDefaultRoundingMode};
};
