// The growable typed array under every column, value list and row set.
#include "values/TBaseArray.h"

#include <climits>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"

namespace {
const char kEmptyText[1] = {'\0'};
}

TBaseArray::TBaseArray() : TBaseArray(4) {}

TBaseArray::TBaseArray(int unit)
    : FUnitSize(unit), FArraySize(0), FAllocSize(0), FData(nullptr), FUserArea{}, FNotOwned(0) {}

TBaseArray::~TBaseArray() {
  if (!FNotOwned) zpk_free(FData);
}

TBaseArray* TBaseArray::CopyArray() { return this; }
TBaseArray* TBaseArray::MppCopyArray() { return this; }
int TBaseArray::GetData(int, void*) { return 0; }
void* TBaseArray::GetAddress(int) { return const_cast<char*>(kEmptyText); }
void TBaseArray::PutData(int, const void*) {}
int TBaseArray::GetDataType() const { return 0; }

int64_t TBaseArray::GetMemSize() const { return MemSizeWith(sizeof(TBaseArray)); }

int64_t TBaseArray::MemSizeWith(size_t object_bytes) const {
  int64_t size = static_cast<int64_t>(object_bytes);
  if (!FNotOwned) size += static_cast<int64_t>(FUnitSize) * FAllocSize;
  return size;
}

void TBaseArray::CheckIndex(int idx, const char* log_name) const {
  if (idx >= 0 && idx < FArraySize) return;
  if (log_name) {
    PutErrorLog(log_name, Q7_ERROR_INDEX_OUT_OF_RANGE, getString("Invalid Parameter : idx(%d)", idx));
  }
  throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
}

void TBaseArray::CheckOwned(const char* log_name) const {
  if (!FNotOwned) return;
  PutErrorLog(log_name, Q7_ERROR_SHARED_READ_ONLY, "Array on a shared-memory image");
  throw CQ7Exception(Q7_ERROR_SHARED_READ_ONLY);
}

void TBaseArray::ResizeBlock(int64_t n) {
  // zpk_realloc throws with the old block intact, so a failure changes nothing here.
  FData = zpk_realloc(FData, static_cast<size_t>(FUnitSize) * static_cast<size_t>(n));
  FAllocSize = n;
}

void TBaseArray::GrowForAppend() {
  // A mapped array's stored capacity is the writer's, not room of ours: the bytes after its
  // elements are the next fields of the image, or past its end.
  CheckOwned("AppendData");
  if (FArraySize < FAllocSize) return;
  if (FArraySize == INT_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  ResizeBlock(FAllocSize + FAllocSize / 8 + 10000);
}

void TBaseArray::InitNewElements(int, int) {}

void TBaseArray::InitArray(int unit, int n, int zero) {
  if (unit < 2 || unit > 256) throw CQ7Exception(Q7_ERROR_INVALID_UNIT_SIZE);
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  const int64_t bytes = static_cast<int64_t>(unit) * n;
  if (bytes > kMaxDataBytes) throw CQ7Exception(Q7_ERROR_DATA_SIZE_OVERFLOW);
  void* block = zpk_malloc(static_cast<size_t>(bytes));
  if (zero) memset(block, 0, static_cast<size_t>(bytes));
  if (!FNotOwned) zpk_free(FData);
  FNotOwned = 0;
  FData = block;
  FUnitSize = unit;
  FArraySize = n;
  FAllocSize = n;
  InitNewElements(0, n);
}

void TBaseArray::SetArraySize(int n) {
  if (n < 0) {
    PutErrorLog("SetArraySize", Q7_ERROR_ROW_SIZE_OVERFLOW, getString("Invalid Parameter : NewSize(%d)", n));
    throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  }
  const int64_t bytes = static_cast<int64_t>(FUnitSize) * n;
  if (bytes > kMaxDataBytes) {
    PutErrorLog("SetArraySize", Q7_ERROR_DATA_SIZE_OVERFLOW,
                getString("Invalid data size : NewSize * FUnitSize(%d)", static_cast<int>(bytes)));
    throw CQ7Exception(Q7_ERROR_DATA_SIZE_OVERFLOW);
  }
  // On a mapped array the elements past the count belong to the image, whatever FAllocSize says.
  if (n > FArraySize) CheckOwned("SetArraySize");
  if (n > FAllocSize) ResizeBlock(n);
  const int old_count = FArraySize;
  FArraySize = n;
  if (n > old_count) InitNewElements(old_count, n);
}

void TBaseArray::SetAllocSize(int64_t n) {
  if (n < 0) {
    PutErrorLog("SetAllocSize", Q7_ERROR_ROW_SIZE_OVERFLOW,
                getString("Illrgal row size : NewSize(%d)", static_cast<int>(n)));
    throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  }
  if (n > kMaxDataBytes / FUnitSize) {
    PutErrorLog("SetAllocSize", Q7_ERROR_DATA_SIZE_OVERFLOW, "DataSize overflow");
    throw CQ7Exception(Q7_ERROR_DATA_SIZE_OVERFLOW);
  }
  CheckOwned("SetAllocSize");
  ResizeBlock(n == 0 ? kDefaultAllocSize : n);
  if (FArraySize > FAllocSize) FArraySize = static_cast<int32_t>(FAllocSize);
}

void TBaseArray::AppendData(const void* in) {
  GrowForAppend();
  memcpy(static_cast<char*>(FData) + static_cast<size_t>(FUnitSize) * FArraySize, in,
         static_cast<size_t>(FUnitSize));
  ++FArraySize;
}

void TBaseArray::AdjustMemArea() {
  if (FArraySize < 0) throw CQ7Exception(Q7_ERROR_NEGATIVE_SIZE);
  if (FNotOwned) return;
  if (FAllocSize > FArraySize) SetAllocSize(FArraySize);
}

void TBaseArray::CopyInto(TBaseArray* dst, bool parallel) const {
  dst->InitArray(FUnitSize, FArraySize, 0);
  memcpy(dst->FUserArea, FUserArea, kUserAreaSize);
  if (parallel) {
    if (FArraySize > 0) {
      MppMemcpy(dst->FData, FData, FUnitSize, static_cast<unsigned long>(FArraySize), 0);
    }
  } else {
    if (FArraySize > 0) memcpy(dst->FData, FData, static_cast<size_t>(FUnitSize) * FArraySize);
  }
}
