// The growable typed array under every column, value list and row set.
//
// An array is a block of FAllocSize elements of FUnitSize bytes, FArraySize of them in use, plus a
// 64-byte attribute block (FUserArea) that travels with the array into every file and image.
// Byte 0 of the block is a double array's extend type, bytes 6 and 7 a decimal array's scale and
// rounding mode (a double array's display pair); the other bytes belong to the callers and are
// carried unchanged.
//
// Ownership: the array owns FData (allocated with zpk_malloc, freed with zpk_free) unless FNotOwned
// is set, which marks data that lies inside a shared-memory image: such an array never grows, in
// count or in capacity, whatever capacity its record stored (an append, a larger count or a resize
// throws Q7_ERROR_SHARED_READ_ONLY), and its destructor frees nothing. A caller that wraps
// its own block in an array and wants it back clears FData before destroying the array.
//
// Thread safety: none. One thread changes an array at a time; parallel work may fill disjoint
// element ranges of one array.
//
// Failures are thrown as CQ7Exception: Q7_ERROR_OUT_OF_MEMORY when memory runs out,
// Q7_ERROR_INDEX_OUT_OF_RANGE for an element index outside 0..count-1, and the codes listed at each
// operation. A failed grow leaves count, capacity and contents as they were.
//
// The record each array is saved as, and the readers that load it, are in values/ArrayRecord.h.
#pragma once

#include <cstddef>
#include <cstdint>

class zpk_fstream;
class CMemFile;
class ArrayRecordReader;

class TBaseArray {
 public:
  static constexpr int kUserAreaSize = 64;
  // The largest data block InitArray, SetArraySize and SetAllocSize accept, in bytes.
  static constexpr int64_t kMaxDataBytes = 40000000000LL;
  // SetAllocSize(0) gives this capacity.
  static constexpr int64_t kDefaultAllocSize = 1000;

  // Empty (no data block), 4-byte elements.
  TBaseArray();
  virtual ~TBaseArray();

  TBaseArray(const TBaseArray&) = delete;
  TBaseArray& operator=(const TBaseArray&) = delete;

  // A new array of the same class with a copy of the contents; the caller owns it. The base class
  // returns the array itself. MppCopyArray makes the same copy on the worker pool. Both throw on
  // failure (they never return null).
  virtual TBaseArray* CopyArray();
  virtual TBaseArray* MppCopyArray();
  // Copies element idx to out; returns the bytes (strings: the characters) copied. Base: 0.
  virtual int GetData(int idx, void* out);
  // The address of element idx (a string array: of its text). Base: a constant empty text.
  virtual void* GetAddress(int idx);
  // Stores element idx (strings: a copy of the text). Base: nothing.
  virtual void PutData(int idx, const void* in);
  // Appends one element; a full array first grows to capacity + capacity/8 + 10000 elements.
  // Data that is not owned: Q7_ERROR_SHARED_READ_ONLY.
  virtual void AppendData(const void* in);
  // Trims the capacity to the count (an empty array keeps kDefaultAllocSize elements when it had a
  // block). Does nothing on data that is not owned.
  virtual void AdjustMemArea();

  // Record writers (values/ArrayRecord.h): a file stream, a memory image, the shared-memory cursor
  // and the process-wide memory stream. WriteToSharedMemory with a null cursor writes nothing and
  // returns the bytes to reserve; with a cursor it returns 0.
  virtual void SaveArray(zpk_fstream& fs);
  virtual void SaveArray2Mem(CMemFile* mf);
  virtual int64_t WriteToSharedMemory(void** cursor);
  virtual void SaveArrayMem();

  // 2 integer, 3 double (dates and times too), 6 string, 8 decimal; 0 for the base class.
  virtual int GetDataType() const;

  virtual void SaveArrayBase(zpk_fstream& fs);
  virtual void SaveArrayBase2Mem(CMemFile* mf);
  virtual int64_t WriteArrayBaseToSharedMemory(void** cursor);
  virtual void SaveArrayBaseMem();

  // The bytes the array takes: the object, plus the data it owns.
  virtual int64_t GetMemSize() const;

  // The sizing pass of SaveArray2Mem: adds to mf's counter exactly what SaveArray2Mem will take and
  // returns that amount.
  virtual int64_t SizeArray2Mem(CMemFile* mf);
  virtual int64_t SizeArrayBase2Mem(CMemFile* mf);

  // unit 2..256 (else Q7_ERROR_INVALID_UNIT_SIZE), n >= 0 (else Q7_ERROR_INVALID_ARRAY_SIZE), at
  // most kMaxDataBytes (else Q7_ERROR_DATA_SIZE_OVERFLOW): a block of n elements, count = capacity
  // = n, zero-filled when zero is non-zero. A block the array owned before is released.
  void InitArray(int unit, int n, int zero);
  // Sets the count; grows the block to exactly n elements when n exceeds the capacity, never
  // shrinks it. New elements are not initialised (a string array's read empty, see TStrArray.h).
  // n < 0: Q7_ERROR_ROW_SIZE_OVERFLOW; more than kMaxDataBytes: Q7_ERROR_DATA_SIZE_OVERFLOW; n above
  // the count of data that is not owned: Q7_ERROR_SHARED_READ_ONLY (a smaller count is taken).
  void SetArraySize(int n);
  // Sets the capacity to n (0 means kDefaultAllocSize) and resizes the block; the count is cut to
  // the capacity. Same failures as SetArraySize.
  void SetAllocSize(int64_t n);

  int32_t FUnitSize;   // element width in bytes
  int32_t FArraySize;  // elements in use
  int64_t FAllocSize;  // elements the block can hold
  void* FData;         // the data block, or null
  uint8_t FUserArea[kUserAreaSize];
  uint8_t FNotOwned;  // 1: FData lies in a shared-memory image

 protected:
  explicit TBaseArray(int unit);

  // Throws Q7_ERROR_INDEX_OUT_OF_RANGE unless 0 <= idx < count; with a name, records
  // "Invalid Parameter : idx(%d)" under it first.
  void CheckIndex(int idx, const char* log_name) const;
  // Throws Q7_ERROR_SHARED_READ_ONLY when the data is not owned.
  void CheckOwned(const char* log_name) const;
  // GetMemSize of an object of object_bytes: those, plus the element block when it is owned.
  int64_t MemSizeWith(size_t object_bytes) const;
  // Resizes the block to hold n elements; throws with the block unchanged.
  void ResizeBlock(int64_t n);
  // Grows a full array by the append rule; a no-op while there is room. Throws
  // Q7_ERROR_SHARED_READ_ONLY on data that is not owned, full or not.
  void GrowForAppend();
  // Called with the dynamic type complete whenever elements [from, to) come into use without a
  // value (InitArray, SetArraySize); a string array points them at an empty text.
  virtual void InitNewElements(int from, int to);

  // The copy shared by the fixed-width classes: count, attribute block and elements into dst,
  // which has been built empty with the same unit.
  void CopyInto(TBaseArray* dst, bool parallel) const;

  // The base record (values/ArrayRecord.cpp). Writers add what the target returns to *total
  // (when given). Readers replace the contents only once the whole base record has been read and
  // checked; on failure they throw with nothing allocated and the array as it was.
  void WriteBase(class ArrayRecordWriter& w, int64_t* total) const;
  void ReadBase(ArrayRecordReader& r, int expected_type, int expected_unit);
  void MapBaseInPlace(void** cursor, const void* end, int expected_type, int expected_unit);
};
