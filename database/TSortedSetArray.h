// A sorted view: the records of one set ordered by one filter's value numbers, ascending, records
// with equal values in set order. High-speed search answers a value search on the set from the
// view with a few binary searches and block copies.
//
// The view belongs to both its set and its filter (initialize registers it with both): destroying
// either destroys the view, and a destroyed view unregisters itself from both. The data block is
// absent while the view is dropped (Taint); a dropped view is ignored by searches until Reclaim
// rebuilds it.
//
// NULL count: the number of leading records whose value is NULL (value number 0); computed for
// INTEGER, DOUBLE-family and DECIMAL filters, always 0 for STRING filters (the empty text is an
// ordinary value there).
//
// Thread safety: none; used under the API lock.
#pragma once

#include <cstdint>

#include "values/TIntArray.h"

class TFilter;
class TSetArray;
class CMemFile;
class zpk_fstream;

class TSortedSetArray : public TIntArray {
 public:
  // Unbound and dropped (no data).
  TSortedSetArray();
  // View record readers: the int-array record of the rows followed by the i32 NULL count. The
  // text and int arguments are not used. Bind the view with initialize afterwards. A record whose
  // NULL count lies outside 0..count throws Q7_ERROR_ILLEGAL_ARRAY_DATA.
  TSortedSetArray(zpk_fstream& fs, char* name, int id);
  TSortedSetArray(CMemFile* mf, char* name, int id);
  // From the process-wide memory stream.
  explicit TSortedSetArray(int from_mem_stream);
  // In place from a shared-memory image that ends at `end` (rows not owned).
  TSortedSetArray(void** cursor, const void* end);
  // Unregisters from its set and its filter.
  ~TSortedSetArray() override;

  // Binds the view to set and filter and registers it with both. The caller has checked that the
  // set has no view for this filter yet.
  void initialize(TSetArray* set, TFilter* filter);
  // Frees the data block and clears count and capacity; the view stays registered.
  void Taint();
  // Rebuilds the data when absent: merges the filter's pending values first (so the view is never
  // sorted on pending, negative value numbers), then a stable counting sort of the set's records
  // by value number, then the NULL count. Does nothing when the data is present.
  void Reclaim();
  // True while the view holds its order.
  bool HasData() const { return FData != nullptr; }

  // The records of the view that meet the condition (codes and bounds as in TSetArray.h), in
  // value order; a new set owned by the caller. Codes served: 0, 1, 2, 5, 6, 8, 11, each with or
  // without 0x80; the result equals the scanning search's as a set of records. Another code
  // records ("SearchByValue", Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo") and throws
  // Q7_ERROR_INVALID_OPERATION; 8 on a non-STRING filter logs "Illegal data type ( Not STRING )"
  // and throws the same code. The view must have data.
  TSetArray* SearchByValue(int op, const char* from, const char* to, bool negate);

  // The view record: the int-array record, then the i32 NULL count.
  void SaveArray(zpk_fstream& fs) override;
  void SaveArray2Mem(CMemFile* mf) override;
  void SaveArrayMem() override;
  int64_t SizeArray2Mem(CMemFile* mf) override;
  // Object + owned data.
  int64_t GetMemSize() const override;

  TSetArray* GetSet() const { return FSet; }
  TFilter* GetFilter() const { return FFilter; }
  int NullCount() const { return FNullCount; }

  TSetArray* FSet = nullptr;
  TFilter* FFilter = nullptr;
  int32_t FNullCount = 0;
};
