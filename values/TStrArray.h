// Array of texts (type 6): each element is the 64-bit offset of its text in one character area
// owned by the array; the text runs to its NUL. The NULL of a string value list is the empty text.
//
// Texts are appended at FPCLast; a replaced text stays in the area as dead bytes until Sweep
// compacts the area. The compact flag is set when the area holds exactly the live texts in element
// order; every change clears it. Elements that come into use without a text (InitArray,
// SetArraySize) read the empty text until they are put: they point at an empty text of the area
// that nothing overwrites (offset 0 while nothing has been put; the first text put there moves
// them to its NUL). Sweep gives each of them an empty text of its own.
//
// Contract as TBaseArray; the area follows FNotOwned as the offsets do. A text pointer returned by
// GetPChar, GetPChar2 or GetAddress stays valid until the next change of the array.
#pragma once

#include <cstdint>

#include "values/TBaseArray.h"

class TStrArray : public TBaseArray {
 public:
  // PutPChar refuses a text of more than this many bytes, NUL included (4095 characters pass).
  static constexpr int kMaxPutBytes = 4096;
  // Capacity of the area of a new array, and of an empty one after AdjustMemArea.
  static constexpr int64_t kInitialAreaSize = 1024;

  TStrArray();
  // n elements at offset 0 (zeroed whatever zero_fill says), a 1024-byte area holding nothing.
  TStrArray(int n, int zero_fill);
  // Takes the caller's array of n text pointers (null reads as an empty text): copies the texts in
  // order into one area of exactly their size, overwrites each pointer with its text's offset and
  // adopts the pointer array as the offsets. The result is compact. If the area cannot be had
  // (Q7_ERROR_OUT_OF_MEMORY) the pointer array stays the caller's, unchanged.
  TStrArray(int n, char** texts);
  TStrArray(int n, void* texts) : TStrArray(n, static_cast<char**>(texts)) {}
  // Record readers (values/ArrayRecord.h); the text and int arguments are not used.
  TStrArray(zpk_fstream& fs, char* name, int id);
  TStrArray(CMemFile* mf, char* name, int id);
  explicit TStrArray(int from_mem_stream);
  // In place from a shared-memory image that ends at `end`.
  TStrArray(void** cursor, const void* end, char* name, int id);
  TStrArray(zpk_fstream& fs, char* name, int id, int verbose);
  ~TStrArray() override;

  // Compacts this array first; the copy is compact and its FUserArea is zero.
  TBaseArray* CopyArray() override;
  TBaseArray* MppCopyArray() override;
  // Copies at most kMaxPutBytes - 1 characters and a NUL; returns the characters copied.
  int GetData(int idx, void* out) override;
  void* GetAddress(int idx) override;
  void PutData(int idx, const void* in) override;
  // No length limit; a full area grows to (needed + needed/8 + 10000) bytes.
  void AppendData(const void* in) override;
  void AdjustMemArea() override;
  void SaveArray(zpk_fstream& fs) override;
  void SaveArray2Mem(CMemFile* mf) override;
  int64_t WriteToSharedMemory(void** cursor) override;
  void SaveArrayMem() override;
  int GetDataType() const override;
  int64_t GetMemSize() const override;
  int64_t SizeArray2Mem(CMemFile* mf) override;

  char* GetPChar(int idx);
  // GetPChar for idx 0; one byte into the text for idx >= 1 (an empty text stays empty).
  char* GetPChar2(int idx);
  // Replaces element idx with a copy of text (null reads as empty). Clears the compact flag even
  // when it then fails: Q7_ERROR_INDEX_OUT_OF_RANGE, or Q7_ERROR_STRING_SIZE_OVERFLOW for a text of
  // 4096 characters or more.
  void PutPChar(int idx, const char* text);
  // Rewrites the area to hold the live texts in element order; does nothing when compact or not
  // owned. On failure the array is unchanged.
  void Sweep();
  void SetDirty() { FCompact = 0; }
  // Turns every offset into the address of its text, in place.
  void ConvStr2Absolute();

  uint64_t* Offsets() { return static_cast<uint64_t*>(FData); }
  const uint64_t* Offsets() const { return static_cast<const uint64_t*>(FData); }

  char* FStrArea;        // the character area, or null
  int64_t FStrAreaSize;  // its capacity in bytes
  int64_t FPCLast;       // bytes of the area in use
  uint8_t FCompact;      // 1: the area holds exactly the live texts, in element order

 protected:
  void InitNewElements(int from, int to) override;

 private:
  void LoadRecord(ArrayRecordReader& r);
  void ReadArea(ArrayRecordReader& r);
  void MapAreaInPlace(void** cursor, const void* end);
  int64_t WriteArea(class ArrayRecordWriter& w) const;
  TStrArray* MakeCopy(bool parallel);
  // Makes room for `need` bytes in the area, resized to new_size when it is too small; text, when
  // it points into the area, is moved along. Returns the (possibly moved) text.
  const char* ReserveArea(int64_t need, int64_t new_size, const char* text);
  void ReleaseArea();
  // The offset of an empty text that later puts and appends leave alone (made when there is none).
  uint64_t EmptyTextOffset();
  // Moves the elements at offset 0, but `except`, to offset nul_at: the first text is landing at
  // offset 0 and nul_at is its NUL.
  void SpareUnputFrom(uint64_t nul_at, int except);
};
