// The array of doubles (type 3) for DOUBLE, DATE, TIME and DATETIME columns.
#include "values/TDoubleArray.h"

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"

double TDoubleArray::GetDouble(int idx) const { return *ElementAt(idx, "GetDouble"); }

double* TDoubleArray::GetDoublePtr(int idx) { return ElementAt(idx, "GetDoublePtr"); }

void TDoubleArray::PutDouble(int idx, double v) { *ElementAt(idx, nullptr) = v; }

void TDoubleArray::CopyCacheTo(TDoubleArray* copy) const {
  copy->dispFirst = dispFirst;
  copy->dispSecond = dispSecond;
}

int TDoubleArray::GetExtendType() {
  switch (FUserArea[0]) {
    case 0:
      FUserArea[0] = Q7_TYPE_DOUBLE;
      return Q7_TYPE_DOUBLE;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      return FUserArea[0];
    default:
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

bool TDoubleArray::ValidStoredExtendType(const uint8_t* user_area) {
  switch (user_area[0]) {
    case 0:
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      return true;
    default:
      return false;
  }
}

void TDoubleArray::SetExtendType(int t) {
  switch (t) {
    case 0:
      FUserArea[0] = Q7_TYPE_DOUBLE;
      return;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      FUserArea[0] = static_cast<uint8_t>(t);
      return;
    default:
      PutErrorLog("SetExtendType", Q7_ERROR_INVALID_DATA_TYPE, getString("Illegal data type  : %d", t));
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  }
}

void TDoubleArray::SetDispType(int a, int b) {
  FUserArea[6] = static_cast<uint8_t>(a);
  FUserArea[7] = static_cast<uint8_t>(b);
  dispFirst = a;
  dispSecond = b;
}
