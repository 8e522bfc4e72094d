// The array of texts (type 6): offsets into one character area, and its compaction.
#include "values/TStrArray.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "values/ArrayRecord.h"

namespace {
const char* OrEmpty(const char* text) { return text ? text : ""; }
}  // namespace

TStrArray::TStrArray() : TBaseArray(8), FStrArea(nullptr), FStrAreaSize(0), FPCLast(0), FCompact(0) {}

TStrArray::TStrArray(int n, int zero_fill) : TStrArray() {
  FStrArea = static_cast<char*>(zpk_malloc(kInitialAreaSize));
  FStrAreaSize = kInitialAreaSize;
  FStrArea[0] = '\0';
  // The offsets are zeroed whatever the flag says (InitNewElements), so unput elements are safe.
  InitArray(8, n, zero_fill);
}

TStrArray::TStrArray(int n, char** texts) : TStrArray() {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  int64_t total = 0;
  for (int i = 0; i < n; ++i) total += static_cast<int64_t>(strlen(OrEmpty(texts[i]))) + 1;
  FStrArea = static_cast<char*>(zpk_malloc(static_cast<size_t>(total)));
  FStrAreaSize = total;
  // Adopted now, so a throw from here on would still free it; nothing below throws.
  FData = texts;
  FArraySize = n;
  FAllocSize = n;
  int64_t pos = 0;
  for (int i = 0; i < n; ++i) {
    const char* text = OrEmpty(texts[i]);
    const size_t len = strlen(text) + 1;
    memcpy(FStrArea + pos, text, len);
    Offsets()[i] = static_cast<uint64_t>(pos);
    pos += static_cast<int64_t>(len);
  }
  FPCLast = total;
  FCompact = 1;
}

TStrArray::~TStrArray() { ReleaseArea(); }

void TStrArray::ReleaseArea() {
  if (!FNotOwned) zpk_free(FStrArea);
  FStrArea = nullptr;
  FStrAreaSize = 0;
  FPCLast = 0;
}

void TStrArray::InitNewElements(int from, int to) {
  if (to <= from) return;
  const uint64_t empty = EmptyTextOffset();
  for (int i = from; i < to; ++i) Offsets()[i] = empty;
}

uint64_t TStrArray::EmptyTextOffset() {
  // While nothing has been put, offset 0 holds the empty text; the first text to land there moves
  // the elements still pointing at it (SpareUnputFrom).
  if (FPCLast == 0) {
    if (FStrAreaSize < 1 || !FStrArea) {
      CheckOwned("InitArray");
      FStrArea = static_cast<char*>(zpk_realloc(FStrArea, kInitialAreaSize));
      FStrAreaSize = kInitialAreaSize;
    }
    FStrArea[0] = '\0';
    return 0;
  }
  // Below FPCLast nothing is ever written again, so an empty text there stays empty: the one at
  // offset 0 (a value list's NULL) or the NUL that ends the last text.
  if (FStrArea[0] == '\0') return 0;
  if (FStrArea[FPCLast - 1] == '\0') return static_cast<uint64_t>(FPCLast - 1);
  ReserveArea(FPCLast + 1, FPCLast + 1, nullptr);
  FStrArea[FPCLast] = '\0';
  return static_cast<uint64_t>(FPCLast++);
}

void TStrArray::SpareUnputFrom(uint64_t nul_at, int except) {
  for (int i = 0; i < FArraySize; ++i) {
    if (i != except && Offsets()[i] == 0) Offsets()[i] = nul_at;
  }
}

int TStrArray::GetDataType() const { return Q7_TYPE_STRING; }

int64_t TStrArray::GetMemSize() const {
  return MemSizeWith(sizeof(TStrArray)) + (FNotOwned ? 0 : FStrAreaSize);
}

char* TStrArray::GetPChar(int idx) {
  CheckIndex(idx, "GetPChar");
  return FStrArea + Offsets()[idx];
}

char* TStrArray::GetPChar2(int idx) {
  CheckIndex(idx, nullptr);
  char* text = FStrArea + Offsets()[idx];
  // Skipping the first byte of an empty text would run past its NUL.
  return (idx >= 1 && *text) ? text + 1 : text;
}

void* TStrArray::GetAddress(int idx) {
  CheckIndex(idx, "GetAddress");
  return FStrArea + Offsets()[idx];
}

int TStrArray::GetData(int idx, void* out) {
  CheckIndex(idx, nullptr);
  const char* text = FStrArea + Offsets()[idx];
  const size_t len = strnlen(text, kMaxPutBytes - 1);
  memcpy(out, text, len);
  static_cast<char*>(out)[len] = '\0';
  return static_cast<int>(len);
}

void TStrArray::PutData(int idx, const void* in) { PutPChar(idx, static_cast<const char*>(in)); }

const char* TStrArray::ReserveArea(int64_t need, int64_t new_size, const char* text) {
  if (need <= FStrAreaSize) return text;
  CheckOwned("PutPChar");
  // The text may be one of our own (PutPChar(i, GetPChar(j))): keep its place across the move.
  const bool inside = FStrArea && text >= FStrArea && text < FStrArea + FStrAreaSize;
  const ptrdiff_t at = inside ? text - FStrArea : 0;
  FStrArea = static_cast<char*>(zpk_realloc(FStrArea, static_cast<size_t>(new_size)));
  FStrAreaSize = new_size;
  return inside ? FStrArea + at : text;
}

void TStrArray::PutPChar(int idx, const char* text) {
  FCompact = 0;
  CheckIndex(idx, nullptr);
  text = OrEmpty(text);
  const size_t len = strlen(text);
  if (len + 1 > static_cast<size_t>(kMaxPutBytes)) throw CQ7Exception(Q7_ERROR_STRING_SIZE_OVERFLOW);
  const int64_t need = FPCLast + static_cast<int64_t>(len) + 1;
  text = ReserveArea(need, need, text);
  memcpy(FStrArea + FPCLast, text, len + 1);
  if (FPCLast == 0 && len > 0) SpareUnputFrom(len, idx);
  Offsets()[idx] = static_cast<uint64_t>(FPCLast);
  FPCLast = need;
}

void TStrArray::AppendData(const void* in) {
  FCompact = 0;
  const char* text = OrEmpty(static_cast<const char*>(in));
  const size_t len = strlen(text);
  GrowForAppend();
  const int64_t need = FPCLast + static_cast<int64_t>(len) + 1;
  // The area grows already when the text would fill it exactly.
  if (need >= FStrAreaSize) text = ReserveArea(need + 1, need + need / 8 + 10000, text);
  memcpy(FStrArea + FPCLast, text, len + 1);
  if (FPCLast == 0 && len > 0) SpareUnputFrom(len, FArraySize);
  Offsets()[FArraySize] = static_cast<uint64_t>(FPCLast);
  FPCLast = need;
  ++FArraySize;
}

void TStrArray::AdjustMemArea() {
  TBaseArray::AdjustMemArea();
  if (FPCLast < 0) throw CQ7Exception(Q7_ERROR_NEGATIVE_SIZE);
  if (FNotOwned) return;
  if (FPCLast == 0) {
    FStrArea = static_cast<char*>(zpk_realloc(FStrArea, kInitialAreaSize));
    FStrAreaSize = kInitialAreaSize;
    FStrArea[0] = '\0';
  } else if (FStrAreaSize > FPCLast) {
    FStrArea = static_cast<char*>(zpk_realloc(FStrArea, static_cast<size_t>(FPCLast)));
    FStrAreaSize = FPCLast;
  }
}

void TStrArray::Sweep() {
  if (FCompact == 1 || FNotOwned) return;
  const uint64_t* old_offsets = Offsets();
  int64_t total = 0;
  for (int i = 0; i < FArraySize; ++i) total += static_cast<int64_t>(strlen(FStrArea + old_offsets[i])) + 1;
  // Never-put elements share one empty text, so the live texts can need more than the old capacity.
  const int64_t area_size = std::max(FStrAreaSize, total);
  auto* new_offsets =
      static_cast<uint64_t*>(zpk_malloc(static_cast<size_t>(FUnitSize) * static_cast<size_t>(FAllocSize)));
  char* new_area;
  try {
    new_area = static_cast<char*>(zpk_malloc(static_cast<size_t>(area_size)));
  } catch (...) {
    zpk_free(new_offsets);
    throw;
  }
  int64_t pos = 0;
  for (int i = 0; i < FArraySize; ++i) {
    const char* text = FStrArea + old_offsets[i];
    const size_t len = strlen(text) + 1;
    memcpy(new_area + pos, text, len);
    new_offsets[i] = static_cast<uint64_t>(pos);
    pos += static_cast<int64_t>(len);
  }
  if (pos == 0 && area_size > 0) new_area[0] = '\0';
  zpk_free(FData);
  zpk_free(FStrArea);
  FData = new_offsets;
  FStrArea = new_area;
  FStrAreaSize = area_size;
  FPCLast = total;
  FCompact = 1;
}

void TStrArray::ConvStr2Absolute() {
  const uint64_t base = reinterpret_cast<uintptr_t>(FStrArea);
  for (int i = 0; i < FArraySize; ++i) Offsets()[i] += base;
}

TStrArray* TStrArray::MakeCopy(bool parallel) {
  Sweep();
  auto* copy = new TStrArray();
  try {
    copy->InitArray(FUnitSize, FArraySize, 0);
    // InitArray may have given the copy a fresh area already; resize that one.
    copy->FStrArea = static_cast<char*>(zpk_realloc(copy->FStrArea, static_cast<size_t>(FStrAreaSize)));
  } catch (...) {
    delete copy;
    throw;
  }
  copy->FStrAreaSize = FStrAreaSize;
  copy->FPCLast = FPCLast;
  copy->FCompact = 1;
  if (parallel) {
    if (FArraySize > 0) MppMemcpy(copy->FData, FData, FUnitSize, static_cast<unsigned long>(FArraySize), 0);
    if (FStrAreaSize > 0) MppMemcpy(copy->FStrArea, FStrArea, 1, static_cast<unsigned long>(FStrAreaSize), 0);
  } else {
    if (FArraySize > 0) memcpy(copy->FData, FData, static_cast<size_t>(FUnitSize) * FArraySize);
    if (FStrAreaSize > 0) memcpy(copy->FStrArea, FStrArea, static_cast<size_t>(FStrAreaSize));
  }
  return copy;
}

TBaseArray* TStrArray::CopyArray() { return MakeCopy(false); }
TBaseArray* TStrArray::MppCopyArray() { return MakeCopy(true); }

// ---- Record readers ----
// Each delegates to the default constructor, so a refused area still runs the destructor.

void TStrArray::LoadRecord(ArrayRecordReader& r) {
  ReadBase(r, Q7_TYPE_STRING, 8);
  ReadArea(r);
}

TStrArray::TStrArray(zpk_fstream& fs, char*, int) : TStrArray() {
  FileRecordReader r(fs, false);
  LoadRecord(r);
}

TStrArray::TStrArray(CMemFile* mf, char*, int) : TStrArray() {
  MemFileRecordReader r(mf);
  LoadRecord(r);
}

TStrArray::TStrArray(int) : TStrArray() {
  MemStreamRecordReader r;
  LoadRecord(r);
}

TStrArray::TStrArray(void** cursor, const void* end, char*, int) : TStrArray() {
  MapBaseInPlace(cursor, end, Q7_TYPE_STRING, 8);
  MapAreaInPlace(cursor, end);
}

TStrArray::TStrArray(zpk_fstream& fs, char*, int, int) : TStrArray() {
  FileRecordReader r(fs, true);
  LoadRecord(r);
}
