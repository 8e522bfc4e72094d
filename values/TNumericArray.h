// Array of 16-byte decimals (type 8). The scale and rounding mode of the whole array live in
// FUserArea bytes 6 (signed) and 7, defaults 6 and 4 (ROUNDHALFUP), and are cached in the object
// as a NumericInfo. The NULL of a decimal value list is the decimal NaN.
//
// Contract as TBaseArray; the record readers and element virtuals are those of TFixedArray
// (values/TFixedArray.h). GetDecimal, PutDecimal, GetAddress and GetData throw
// Q7_ERROR_INDEX_OUT_OF_RANGE without a ring entry.
#pragma once

#include <cstdint>

#include "q7api.h"
#include "values/TFixedArray.h"

class TNumericArray : public TFixedArray<TNumericArray, Numeric> {
 public:
  static constexpr int kDefaultScale = 6;
  static constexpr int kDefaultRoundingMode = Q7_ROUND_HALF_UP;

  // The record readers: the scale and mode come from the loaded attribute block.
  using TFixedArray::TFixedArray;
  // New arrays, as TFixedArray's, with the default scale and mode.
  TNumericArray();
  TNumericArray(int n, int zero_fill);
  TNumericArray(int n, const void* block);

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
  // Whether a stored attribute block holds a scale (-38..38; columns take 0..38, a decimal may count
  // in powers of ten) and a rounding mode (0..6) an array can have: the record readers refuse any
  // other, which no writer produces.
  static bool ValidStoredDecimalInfo(const uint8_t* user_area);

 private:
  friend TFixedArray;
  static constexpr int kTypeNo = Q7_TYPE_DECIMAL;
  static constexpr const char* kGetDataLogName = nullptr;
  static constexpr const char* kAddressLogName = nullptr;

  void CopyCacheTo(TNumericArray* copy) const { copy->info_ = info_; }

  // Every constructor starts the cache from the attribute block (the readers' stored pair).
  NumericInfo info_{static_cast<int8_t>(FUserArea[6]), FUserArea[7]};
};
