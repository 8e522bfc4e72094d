// Array of doubles (type 3) for the DOUBLE, DATE, TIME and DATETIME columns, told apart by the
// extend type in FUserArea byte 0 (3 double, 4 date, 5 time, 7 datetime; 0 reads as 3). The NULL of
// a double value list is minus infinity. FUserArea bytes 6 and 7 hold the display pair, cached in
// the object.
//
// Contract as TBaseArray; the constructors, record readers and element virtuals are those of
// TFixedArray (values/TFixedArray.h).
#pragma once

#include <cstdint>

#include "q7api.h"
#include "values/TFixedArray.h"

class TDoubleArray : public TFixedArray<TDoubleArray, double> {
 public:
  using TFixedArray::TFixedArray;

  double GetDouble(int idx) const;
  double* GetDoublePtr(int idx);
  void PutDouble(int idx, double v);

  // 3, 4, 5 or 7; a stored 0 is rewritten to 3. Any other stored value throws
  // Q7_ERROR_ILLEGAL_FILTER_TYPE.
  int GetExtendType();
  // Stores 3, 4, 5 or 7 (0 stores 3); anything else throws Q7_ERROR_ILLEGAL_FILTER_TYPE.
  void SetExtendType(int t);
  // Whether a stored attribute block holds an extend type this array can have (0, 3, 4, 5 or 7):
  // the record readers refuse any other, which no writer produces.
  static bool ValidStoredExtendType(const uint8_t* user_area);
  // Stores the display pair in FUserArea bytes 6 and 7 and in the cache.
  void SetDispType(int a, int b);
  int DispFirst() const { return dispFirst; }
  int DispSecond() const { return dispSecond; }

 private:
  friend TFixedArray;
  static constexpr int kTypeNo = Q7_TYPE_DOUBLE;
  static constexpr const char* kGetDataLogName = "GetDouble";
  static constexpr const char* kAddressLogName = "GetAddress";

  void CopyCacheTo(TDoubleArray* copy) const;

  // Every constructor starts the cache from the attribute block: zero for a new array, the stored
  // pair for a loaded one.
  int32_t dispFirst = static_cast<int8_t>(FUserArea[6]);
  int32_t dispSecond = static_cast<int8_t>(FUserArea[7]);
};
