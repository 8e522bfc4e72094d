// The array of 16-byte decimals (type 8) with its scale and rounding mode.
#include "values/TNumericArray.h"

#include <cstring>

#include "values/Numeric.h"

TNumericArray::TNumericArray() { SetDefaultDecimalInfo(); }

TNumericArray::TNumericArray(int n, int zero_fill) : TFixedArray(n, zero_fill) { SetDefaultDecimalInfo(); }

TNumericArray::TNumericArray(int n, const void* block) : TFixedArray(n, block) { SetDefaultDecimalInfo(); }

void TNumericArray::GetDecimal(int idx, Numeric* out) {
  memcpy(out, ElementAt(idx, nullptr), sizeof(Numeric));
}

void TNumericArray::PutDecimal(int idx, const Numeric* in) {
  memcpy(ElementAt(idx, nullptr), in, sizeof(Numeric));
}

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

bool TNumericArray::ValidStoredDecimalInfo(const uint8_t* user_area) {
  const int scale = static_cast<int8_t>(user_area[6]);
  return scale >= -q7num::kMaxColumnScale && scale <= q7num::kMaxColumnScale &&
         q7num::IsValidMode(user_area[7]);
}

void TNumericArray::SetDefaultDecimalInfo() { SetDecimalInfo(kDefaultScale, kDefaultRoundingMode); }
