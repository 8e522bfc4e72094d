// The array record: how every typed array is saved and loaded.
//
// Fields, each one write of the target (which pads before it by its alignment rule):
//   i32 TypeNo (GetDataType), 64 single bytes FUserArea, i32 FUnitSize, i32 FArraySize,
//   i64 FAllocSize, then FArraySize elements of FUnitSize bytes;
//   a string array goes on with i64 FPCLast and FPCLast single bytes of its area.
// From an 8-aligned start: TypeNo at 0, FUserArea at 8, FUnitSize at 72, FArraySize at 80,
// FAllocSize at 88, elements at 96 (strings: FPCLast at 96 + 8n, the area at 104 + 8n).
// A 32-bit writer stored FAllocSize, FPCLast and string offsets in 4 bytes; readers widen them.
//
// The entry points are members of the arrays: the writers are TBaseArray::SaveArray (file
// stream), SaveArray2Mem (memory image), WriteToSharedMemory (shared-memory cursor), SaveArrayMem
// (the process-wide memory stream) and SizeArray2Mem (the sizing pass of SaveArray2Mem); the
// readers are the record constructors of each array class. A string array is compacted before it
// is written, except into a memory image (and its sizing pass), which takes the area as it stands.
//
// Readers trust nothing they read. A record is refused with Q7_ERROR_ILLEGAL_ARRAY_DATA
// (0xE0000116) when its type or unit does not fit the class, when its count exceeds its capacity
// (or it has a count and no capacity) or the source's count limit (CountLimit: a memory image's
// reader bounds a table's sets, views and value numbers by its rows), when a length exceeds the bytes left in
// the source, when a string offset lies outside the area or the area does not end with a NUL, or when the
// writer's word size is unknown; a negative count gives Q7_ERROR_NEGATIVE_SIZE. The target's own
// failures pass through (Q7_ERROR_ILLEGAL_FILE_NAME from a file, which is then closed;
// Q7_ERROR_INVALID_READ_SIZE from a memory image; Q7_ERROR_INVALID_MEMSTREAM or
// Q7_ERROR_INVALID_READ_SIZE from the memory stream). A refused record leaves nothing allocated.
// Loaded arrays have capacity = count. The in-place (shared-memory) reader maps the elements and
// area where they lie, and is given the end of the image: no length read from it reaches past
// that end (Q7_ERROR_ILLEGAL_ARRAY_DATA, or Q7_ERROR_INVALID_READ_SIZE for a short field).
//
// The reader and writer classes below are the engine's glue between the arrays and the four
// targets; later record formats that embed array records use the array members, not these.
#pragma once

#include <cstddef>
#include <cstdint>

class zpk_fstream;
class CMemFile;

// One pass of writes to one target.
class ArrayRecordWriter {
 public:
  virtual ~ArrayRecordWriter() = default;
  // One field of count items of size bytes. Returns what the target returns: the bytes to reserve
  // (shared memory with a null cursor, the sizing pass), else 0.
  virtual int64_t Write(const void* p, size_t size, size_t count) = 0;
};

class FileRecordWriter final : public ArrayRecordWriter {
 public:
  explicit FileRecordWriter(zpk_fstream& fs) : fs_(fs) {}
  int64_t Write(const void* p, size_t size, size_t count) override;

 private:
  zpk_fstream& fs_;
};

// The two passes over a memory image; a null image throws Q7_ERROR_INVALID_PARAMETER.
class MemFileWriterBase : public ArrayRecordWriter {
 protected:
  explicit MemFileWriterBase(CMemFile* mf);
  CMemFile* const mf_;
};

class MemFileRecordWriter final : public MemFileWriterBase {
 public:
  explicit MemFileRecordWriter(CMemFile* mf) : MemFileWriterBase(mf) {}
  int64_t Write(const void* p, size_t size, size_t count) override;
};

// The sizing pass of MemFileRecordWriter.
class SizeRecordWriter final : public MemFileWriterBase {
 public:
  explicit SizeRecordWriter(CMemFile* mf) : MemFileWriterBase(mf) {}
  int64_t Write(const void* p, size_t size, size_t count) override;
};

// The process-wide memory stream (MemStream). A missing stream, or a write it refuses, throws the
// stream's code (Q7_ERROR_INVALID_MEMSTREAM, Q7_ERROR_OUT_OF_MEMORY).
class MemStreamRecordWriter final : public ArrayRecordWriter {
 public:
  MemStreamRecordWriter();
  int64_t Write(const void* p, size_t size, size_t count) override;
};

// A shared-memory image at *cursor; a null cursor only counts.
class ShmRecordWriter final : public ArrayRecordWriter {
 public:
  explicit ShmRecordWriter(void** cursor) : cursor_(cursor) {}
  int64_t Write(const void* p, size_t size, size_t count) override;

 private:
  void** cursor_;
};

// One pass of reads from one source.
class ArrayRecordReader {
 public:
  virtual ~ArrayRecordReader() = default;
  // count items of size bytes, with the source's padding and byte order; a short read throws.
  virtual void Read(void* dst, size_t size, size_t count) = 0;
  // count items stored size bytes wide, delivered width bytes wide.
  virtual void ReadWidth(void* dst, size_t size, size_t count, int width) = 0;
  // The writer's word-size class as the source's header gave it: 1 32-bit, 2 64-bit, 0 none.
  virtual int WriterWordSize() const = 0;
  // Bytes left in the source, or -1 when unknown.
  virtual int64_t BytesLeft() = 0;
  // The most elements the array record being read may count, or -1 for no limit beyond
  // BytesLeft; asked once per record.
  virtual int64_t CountLimit() { return -1; }
  // Throws code, after the source's own clean-up (OnFail).
  [[noreturn]] void Fail(int code);
  // Verbose readers write each field to the catalog message log.
  virtual bool Verbose() const { return false; }

 protected:
  virtual void OnFail() {}
};

class FileRecordReader final : public ArrayRecordReader {
 public:
  FileRecordReader(zpk_fstream& fs, bool verbose) : fs_(fs), verbose_(verbose) {}
  void Read(void* dst, size_t size, size_t count) override;
  void ReadWidth(void* dst, size_t size, size_t count, int width) override;
  int WriterWordSize() const override;
  int64_t BytesLeft() override;
  bool Verbose() const override { return verbose_; }

 protected:
  // Closes the stream, as the file's own read failures do.
  void OnFail() override;

 private:
  zpk_fstream& fs_;
  bool verbose_;
};

class MemFileRecordReader final : public ArrayRecordReader {
 public:
  explicit MemFileRecordReader(CMemFile* mf);
  void Read(void* dst, size_t size, size_t count) override;
  void ReadWidth(void* dst, size_t size, size_t count, int width) override;
  int WriterWordSize() const override;
  int64_t BytesLeft() override;
  int64_t CountLimit() override;

 private:
  CMemFile* mf_;
};

// The process-wide memory stream; a missing one throws Q7_ERROR_INVALID_MEMSTREAM.
class MemStreamRecordReader final : public ArrayRecordReader {
 public:
  MemStreamRecordReader();
  void Read(void* dst, size_t size, size_t count) override;
  void ReadWidth(void* dst, size_t size, size_t count, int width) override;
  int WriterWordSize() const override;
  int64_t BytesLeft() override;
};

// A shared-memory image read where it lies, from *cursor up to end (exclusive), advancing *cursor.
// It is this system's own layout (no header tells otherwise), padded by address as zpk_shm_read
// does. A read or mapping that would pass end throws Q7_ERROR_INVALID_READ_SIZE and leaves the
// cursor where it was.
class ShmRecordReader final : public ArrayRecordReader {
 public:
  ShmRecordReader(void** cursor, const void* end) : cursor_(cursor), end_(static_cast<const char*>(end)) {}
  void Read(void* dst, size_t size, size_t count) override;
  // Only a 32-bit writer's fields are widened, and this source never has one: width must be size.
  void ReadWidth(void* dst, size_t size, size_t count, int width) override;
  int WriterWordSize() const override { return 0; }
  int64_t BytesLeft() override;
  // Skips the padding and passes size * count bytes, which stay where they are; returns their
  // address. A count of 0 maps nothing and skips no padding.
  void* Map(size_t size, size_t count);

 private:
  void** cursor_;
  const char* end_;
};
