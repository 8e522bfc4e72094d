// The array record: how every typed array is saved and loaded, by target.
#include "values/ArrayRecord.h"

#include <cassert>
#include <cstring>

#include "foundation/CErrorLog.h"
#include "foundation/CMemFile.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "foundation/TMemStream.h"
#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int kWordSize32 = 1;

[[noreturn]] void Refuse(ArrayRecordReader& r) { r.Fail(Q7_ERROR_ILLEGAL_ARRAY_DATA); }

// A field of `bytes` must fit in what is left of the source (when the source knows).
void CheckFits(ArrayRecordReader& r, int64_t bytes) {
  const int64_t left = r.BytesLeft();
  if (bytes < 0 || (left >= 0 && bytes > left)) Refuse(r);
}

// Frees a block unless it has been handed over.
struct BlockGuard {
  void* p;
  ~BlockGuard() { zpk_free(p); }
  void* Release() {
    void* q = p;
    p = nullptr;
    return q;
  }
};

// What the writer's word size means for the fields whose width follows it.
struct WriterLayout {
  bool is32;  // FAllocSize, FPCLast and string offsets are 4 bytes wide
};

WriterLayout LayoutOf(ArrayRecordReader& r) {
  const int writer = r.WriterWordSize();
  // No header read (0) is taken as this system's, as for files without a header.
  if (writer == 0 || writer == getSystemELF()) return {false};
  if (writer == kWordSize32) return {true};
  Refuse(r);
}

int64_t ReadWordField(ArrayRecordReader& r, const WriterLayout& layout) {
  if (layout.is32) {
    int32_t v;
    r.Read(&v, 4, 1);
    return v;  // sign-extended
  }
  int64_t v;
  r.Read(&v, 8, 1);
  return v;
}

}  // namespace

// ---- Writers ----

int64_t FileRecordWriter::Write(const void* p, size_t size, size_t count) {
  zpk_write(fs_, p, size, count);
  return 0;
}

MemFileWriterBase::MemFileWriterBase(CMemFile* mf) : mf_(mf) {
  if (!mf) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
}

int64_t MemFileRecordWriter::Write(const void* p, size_t size, size_t count) {
  zpk_write2mem(mf_, p, size, count);
  return 0;
}

int64_t SizeRecordWriter::Write(const void* p, size_t size, size_t count) {
  return static_cast<int64_t>(zpk_size_write2mem(mf_, p, size, count));
}

MemStreamRecordWriter::MemStreamRecordWriter() {
  if (!MemStream) throw CQ7Exception(Q7_ERROR_INVALID_MEMSTREAM);
}

int64_t MemStreamRecordWriter::Write(const void* p, size_t size, size_t count) {
  // The stream reports its failures by result only; a record with a field missing is useless.
  const long rc = MemStream->writeStream(p, size, count);
  if (rc < 0) throw CQ7Exception(static_cast<int>(rc));
  return 0;
}

int64_t ShmRecordWriter::Write(const void* p, size_t size, size_t count) {
  return static_cast<int64_t>(zpk_shm_write(p, size, count, cursor_));
}

// ---- Readers ----

void ArrayRecordReader::Fail(int code) {
  OnFail();
  throw CQ7Exception(code);
}

// Loads run on the thread that drives the pool, so the large element fields are read on it.
void FileRecordReader::Read(void* dst, size_t size, size_t count) {
  zpk_read_parallel(fs_, dst, size, count);
}

void FileRecordReader::ReadWidth(void* dst, size_t size, size_t count, int width) {
  zpk_read(fs_, dst, size, count, width);
}

int FileRecordReader::WriterWordSize() const { return fs_.FileELF(); }

int64_t FileRecordReader::BytesLeft() { return fs_.remaining(); }

void FileRecordReader::OnFail() { zpk_close(fs_); }

MemFileRecordReader::MemFileRecordReader(CMemFile* mf) : mf_(mf) {
  if (!mf) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
}

void MemFileRecordReader::Read(void* dst, size_t size, size_t count) { zpk_readmem(mf_, dst, size, count); }

void MemFileRecordReader::ReadWidth(void* dst, size_t size, size_t count, int width) {
  zpk_readmem(mf_, dst, size, count, width);
}

int MemFileRecordReader::WriterWordSize() const { return mf_->ImageELF(); }

int64_t MemFileRecordReader::BytesLeft() { return mf_->BytesLeft(); }

int64_t MemFileRecordReader::CountLimit() { return mf_->TakeArrayCountLimit(); }

MemStreamRecordReader::MemStreamRecordReader() {
  if (!MemStream) throw CQ7Exception(Q7_ERROR_INVALID_MEMSTREAM);
}

namespace {
// The stream answers with a code, or with fewer bytes than asked at its end.
void CheckStreamRead(long rc, size_t wanted) {
  if (rc < 0) throw CQ7Exception(static_cast<int>(rc));
  if (static_cast<size_t>(rc) != wanted) throw CQ7Exception(Q7_ERROR_INVALID_READ_SIZE);
}
}  // namespace

void MemStreamRecordReader::Read(void* dst, size_t size, size_t count) {
  CheckStreamRead(MemStream->readStream(dst, size, count), size * count);
}

void MemStreamRecordReader::ReadWidth(void* dst, size_t size, size_t count, int width) {
  CheckStreamRead(MemStream->readStream(dst, size, count, width), size * count);
}

int MemStreamRecordReader::WriterWordSize() const { return MemStream->StreamELF(); }

int64_t MemStreamRecordReader::BytesLeft() { return MemStream->nUsed() - MemStream->Pos(); }

namespace {
// Bytes of padding before a field at p, and whether padding and bytes lie before end.
bool ShmFits(const char* p, const char* end, size_t bytes, size_t* pad) {
  *pad = AlignmentPadding(reinterpret_cast<uintptr_t>(p));
  if (p == nullptr || end < p) return false;
  const auto left = static_cast<size_t>(end - p);
  return *pad <= left && bytes <= left - *pad;
}
}  // namespace

void ShmRecordReader::Read(void* dst, size_t size, size_t count) {
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) throw CQ7Exception(Q7_ERROR_INVALID_READ_SIZE);
  // The writer puts no padding before an empty field.
  if (bytes == 0) return;
  memcpy(dst, Map(size, count), bytes);
}

void ShmRecordReader::ReadWidth(void* dst, size_t size, size_t count, [[maybe_unused]] int width) {
  assert(static_cast<size_t>(width) == size);
  Read(dst, size, count);
}

int64_t ShmRecordReader::BytesLeft() {
  const auto* p = static_cast<const char*>(*cursor_);
  return p != nullptr && end_ > p ? static_cast<int64_t>(end_ - p) : 0;
}

void* ShmRecordReader::Map(size_t size, size_t count) {
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) throw CQ7Exception(Q7_ERROR_INVALID_READ_SIZE);
  auto* p = static_cast<char*>(*cursor_);
  if (bytes == 0) return p;
  size_t pad;
  if (!ShmFits(p, end_, bytes, &pad)) throw CQ7Exception(Q7_ERROR_INVALID_READ_SIZE);
  p += pad;
  *cursor_ = p + bytes;
  return p;
}

// ---- The base record ----

void TBaseArray::WriteBase(ArrayRecordWriter& w, int64_t* total) const {
  const int32_t type_no = GetDataType();
  int64_t sum = 0;
  sum += w.Write(&type_no, 4, 1);
  sum += w.Write(FUserArea, 1, kUserAreaSize);
  sum += w.Write(&FUnitSize, 4, 1);
  sum += w.Write(&FArraySize, 4, 1);
  sum += w.Write(&FAllocSize, 8, 1);
  sum += w.Write(FData, static_cast<size_t>(FUnitSize), static_cast<size_t>(FArraySize));
  if (total) *total += sum;
}

namespace {

// The fields before the elements, read and checked alike by the loading and the mapping readers.
struct BaseFields {
  uint8_t user_area[TBaseArray::kUserAreaSize];
  int32_t count;
  int64_t alloc;
  bool narrow_offsets;  // a 32-bit writer's 4-byte text offsets follow, to be widened to 8
};

BaseFields ReadBaseFields(ArrayRecordReader& r, int expected_type, int expected_unit) {
  BaseFields f{};
  int32_t type_no = 0;
  int32_t unit = 0;
  r.Read(&type_no, 4, 1);
  if (r.Verbose()) LogMsg("TypeNo\t= %d", type_no);
  r.Read(f.user_area, 1, TBaseArray::kUserAreaSize);
  if (r.Verbose()) LogMsg("FUserArea\t= %d", TBaseArray::kUserAreaSize);
  r.Read(&unit, 4, 1);
  if (r.Verbose()) LogMsg("FUnitSize\t= %d", unit);
  r.Read(&f.count, 4, 1);
  if (r.Verbose()) LogMsg("FArraySize\t= %d", f.count);

  const WriterLayout layout = LayoutOf(r);
  f.alloc = ReadWordField(r, layout);
  if (r.Verbose()) LogMsg("FAllocSize = %d", static_cast<int>(f.alloc));

  f.narrow_offsets = layout.is32 && type_no == Q7_TYPE_STRING;
  const int stored_unit = f.narrow_offsets ? 4 : expected_unit;
  if (type_no != expected_type || unit != stored_unit) Refuse(r);
  // An attribute block no writer produces would load into a column none of whose values reads.
  if (expected_type == Q7_TYPE_DOUBLE && !TDoubleArray::ValidStoredExtendType(f.user_area)) Refuse(r);
  if (expected_type == Q7_TYPE_DECIMAL && !TNumericArray::ValidStoredDecimalInfo(f.user_area)) Refuse(r);
  if (f.count < 0) r.Fail(Q7_ERROR_NEGATIVE_SIZE);
  if (f.count > 0 && f.alloc < f.count) Refuse(r);
  // Where the source's length is unknown, the counts read before are all that bounds this one.
  const int64_t most = r.CountLimit();
  if (most >= 0 && f.count > most) Refuse(r);
  CheckFits(r, static_cast<int64_t>(stored_unit) * f.count);
  return f;
}

// Gives the array the checked fields and the elements at data, which it owns unless not_owned.
void Install(TBaseArray& a, const BaseFields& f, int unit, int64_t alloc, void* data, uint8_t not_owned) {
  if (!a.FNotOwned) zpk_free(a.FData);
  a.FNotOwned = not_owned;
  memcpy(a.FUserArea, f.user_area, TBaseArray::kUserAreaSize);
  a.FUnitSize = unit;
  a.FArraySize = f.count;
  a.FAllocSize = alloc;
  a.FData = data;
}

}  // namespace

void TBaseArray::ReadBase(ArrayRecordReader& r, int expected_type, int expected_unit) {
  const BaseFields f = ReadBaseFields(r, expected_type, expected_unit);
  BlockGuard block{f.count > 0 ? zpk_malloc(static_cast<size_t>(expected_unit) * f.count) : nullptr};
  // The elements field is read even when empty, so the source's padding stays in step.
  if (f.narrow_offsets) {
    r.ReadWidth(block.p, 4, static_cast<size_t>(f.count), 8);
  } else {
    r.Read(block.p, static_cast<size_t>(expected_unit), static_cast<size_t>(f.count));
  }
  Install(*this, f, expected_unit, f.count, block.Release(), 0);
}

void TBaseArray::MapBaseInPlace(void** cursor, const void* end, int expected_type, int expected_unit) {
  ShmRecordReader r(cursor, end);
  const BaseFields f = ReadBaseFields(r, expected_type, expected_unit);
  void* data = r.Map(static_cast<size_t>(expected_unit), static_cast<size_t>(f.count));
  Install(*this, f, expected_unit, f.alloc, data, 1);
}

// ---- Base writers ----

void TBaseArray::SaveArray(zpk_fstream& fs) { SaveArrayBase(fs); }
void TBaseArray::SaveArray2Mem(CMemFile* mf) { SaveArrayBase2Mem(mf); }
int64_t TBaseArray::WriteToSharedMemory(void** cursor) { return WriteArrayBaseToSharedMemory(cursor); }
void TBaseArray::SaveArrayMem() { SaveArrayBaseMem(); }
int64_t TBaseArray::SizeArray2Mem(CMemFile* mf) { return SizeArrayBase2Mem(mf); }

void TBaseArray::SaveArrayBase(zpk_fstream& fs) {
  FileRecordWriter w(fs);
  WriteBase(w, nullptr);
}

void TBaseArray::SaveArrayBase2Mem(CMemFile* mf) {
  MemFileRecordWriter w(mf);
  WriteBase(w, nullptr);
}

int64_t TBaseArray::WriteArrayBaseToSharedMemory(void** cursor) {
  ShmRecordWriter w(cursor);
  int64_t total = 0;
  WriteBase(w, &total);
  return total;
}

void TBaseArray::SaveArrayBaseMem() {
  MemStreamRecordWriter w;
  WriteBase(w, nullptr);
}

int64_t TBaseArray::SizeArrayBase2Mem(CMemFile* mf) {
  SizeRecordWriter w(mf);
  int64_t total = 0;
  WriteBase(w, &total);
  return total;
}

// ---- The string area ----

int64_t TStrArray::WriteArea(ArrayRecordWriter& w) const {
  int64_t sum = w.Write(&FPCLast, 8, 1);
  sum += w.Write(FStrArea, 1, static_cast<size_t>(FPCLast));
  return sum;
}

namespace {

int64_t ReadAreaLength(ArrayRecordReader& r) {
  const int64_t last = ReadWordField(r, LayoutOf(r));
  if (r.Verbose()) LogMsg("FPCLast = %d", static_cast<int>(last));
  CheckFits(r, last);
  return last;
}

// The area must end with a NUL and every offset lie below limit.
void CheckArea(ArrayRecordReader& r, const TStrArray& a, const char* text, int64_t last, uint64_t limit) {
  if (last > 0 && text[last - 1] != '\0') Refuse(r);
  for (int i = 0; i < a.FArraySize; ++i) {
    if (a.Offsets()[i] >= limit) Refuse(r);
  }
}

}  // namespace

void TStrArray::ReadArea(ArrayRecordReader& r) {
  const int64_t last = ReadAreaLength(r);
  // One byte more than the texts, so that an area with nothing put still holds an empty text.
  BlockGuard area{zpk_malloc(static_cast<size_t>(last) + 1)};
  r.Read(area.p, 1, static_cast<size_t>(last));
  char* text = static_cast<char*>(area.p);
  text[last] = '\0';
  // With nothing put, every offset is 0 and reads the empty text.
  CheckArea(r, *this, text, last, last > 0 ? static_cast<uint64_t>(last) : 1);

  zpk_free(FStrArea);
  FStrArea = static_cast<char*>(area.Release());
  FStrAreaSize = last;
  FPCLast = last;
  FCompact = 0;
}

void TStrArray::MapAreaInPlace(void** cursor, const void* end) {
  ShmRecordReader r(cursor, end);
  const int64_t last = ReadAreaLength(r);
  char* area = static_cast<char*>(r.Map(1, static_cast<size_t>(last)));
  // The image's writer compacts first, so every element has a text of its own in the area.
  CheckArea(r, *this, area, last, static_cast<uint64_t>(last));
  FStrArea = area;
  FStrAreaSize = last;
  FPCLast = last;
  FCompact = 0;
}

// ---- String writers ----

void TStrArray::SaveArray(zpk_fstream& fs) {
  Sweep();
  SaveArrayBase(fs);
  FileRecordWriter w(fs);
  WriteArea(w);
}

void TStrArray::SaveArray2Mem(CMemFile* mf) {
  // The image takes the area as it stands, dead bytes included: the offsets match them.
  SaveArrayBase2Mem(mf);
  MemFileRecordWriter w(mf);
  WriteArea(w);
}

int64_t TStrArray::WriteToSharedMemory(void** cursor) {
  Sweep();
  int64_t total = WriteArrayBaseToSharedMemory(cursor);
  ShmRecordWriter w(cursor);
  total += WriteArea(w);
  return total;
}

void TStrArray::SaveArrayMem() {
  Sweep();
  SaveArrayBaseMem();
  MemStreamRecordWriter w;
  WriteArea(w);
}

int64_t TStrArray::SizeArray2Mem(CMemFile* mf) {
  int64_t total = SizeArrayBase2Mem(mf);
  SizeRecordWriter w(mf);
  total += WriteArea(w);
  return total;
}
