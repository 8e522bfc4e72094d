// Free functions over the typed arrays: type codes, element widths, identity tests and copies.
#include "values/ArrayFunctions.h"

#include <cstring>
#include <memory>
#include <new>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {
[[noreturn]] void ThrowInvalidType() { throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE); }
}  // namespace

int ArrayDataType(TBaseArray* arr) {
  if (!arr) ThrowInvalidType();
  return arr->GetDataType();
}

int ArrayDataTypeEx(TBaseArray* arr) {
  const int type = arr ? arr->GetDataType() : 0;
  switch (type) {
    case Q7_TYPE_INTEGER:
    case Q7_TYPE_STRING:
    case Q7_TYPE_DECIMAL:
      return type;
    case Q7_TYPE_DOUBLE:
      return static_cast<TDoubleArray*>(arr)->GetExtendType();
    default:
      PutErrorLog("ArrayDataTypeEx", Q7_ERROR_INVALID_DATA_TYPE, "Invalid data type");
      ThrowInvalidType();
  }
}

void SetArrayDataTypeEx(TBaseArray* arr, int t) {
  const int type = arr ? arr->GetDataType() : 0;
  switch (type) {
    case Q7_TYPE_INTEGER:
    case Q7_TYPE_STRING:
    case Q7_TYPE_DECIMAL:
      if (t != type) ThrowInvalidType();
      return;
    case Q7_TYPE_DOUBLE:
      if (t != Q7_TYPE_DOUBLE && t != Q7_TYPE_DATE && t != Q7_TYPE_TIME && t != Q7_TYPE_DATETIME) {
        ThrowInvalidType();
      }
      static_cast<TDoubleArray*>(arr)->SetExtendType(t);
      return;
    default:
      ThrowInvalidType();
  }
}

int ArrayUnitSize(TBaseArray* arr) {
  switch (arr ? arr->GetDataType() : 0) {
    case Q7_TYPE_INTEGER:
      return 4;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_STRING:
      return 8;
    case Q7_TYPE_DECIMAL:
      return 16;
    default:
      ThrowInvalidType();
  }
}

bool CompareStrArray(TBaseArray* a, TBaseArray* b) {
  if (!a || !b || a->GetDataType() != Q7_TYPE_STRING || b->GetDataType() != Q7_TYPE_STRING) return false;
  auto* sa = static_cast<TStrArray*>(a);
  auto* sb = static_cast<TStrArray*>(b);
  if (sa->FArraySize != sb->FArraySize || sa->FUnitSize != sb->FUnitSize) return false;
  if (sa->FArraySize > 0 &&
      memcmp(sa->FData, sb->FData, static_cast<size_t>(sa->FUnitSize) * sa->FArraySize) != 0) {
    return false;
  }
  sa->Sweep();
  sb->Sweep();
  if (sa->FPCLast != sb->FPCLast) return false;
  return sa->FPCLast == 0 || memcmp(sa->FStrArea, sb->FStrArea, static_cast<size_t>(sa->FPCLast)) == 0;
}

bool CheckSame(TBaseArray* a, TBaseArray* b) {
  if (!a || !b) return false;
  if (a->GetDataType() != b->GetDataType() || a->FArraySize != b->FArraySize ||
      a->FUnitSize != b->FUnitSize) {
    return false;
  }
  if (a->GetDataType() == 6) return CompareStrArray(a, b);
  const size_t bytes = static_cast<size_t>(a->FArraySize) * static_cast<size_t>(a->FUnitSize);
  if (bytes == 0) return true;
  if (!a->FData || !b->FData) return a->FData == b->FData;
  return std::memcmp(a->FData, b->FData, bytes) == 0;
}

int64_t CalcMargin(int64_t n) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_NEGATIVE_SIZE);
  return n;
}

int64_t CalcMargin2(int64_t n) { return n + n / 8 + 10000; }

TBaseArray* AdoptCompiledList(int type, int count, void* block) {
  // Freed here on every failure; the new list owns it once built.
  std::unique_ptr<void, void (*)(void*)> guard(block, zpk_free);
  TBaseArray* list = nullptr;
  switch (type) {
    case Q7_TYPE_INTEGER:
      list = new (std::nothrow) TIntArray(count, block);
      break;
    case Q7_TYPE_STRING:
      // The string array copies the texts first and adopts the block only once that worked.
      list = new (std::nothrow) TStrArray(count, static_cast<char**>(block));
      break;
    case Q7_TYPE_DECIMAL:
      list = new (std::nothrow) TNumericArray(count, block);
      break;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME: {
      auto* doubles = new (std::nothrow) TDoubleArray(count, block);
      if (doubles != nullptr) doubles->SetExtendType(type);
      list = doubles;
      break;
    }
    default:
      ThrowInvalidType();
  }
  if (list == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  guard.release();
  return list;
}
