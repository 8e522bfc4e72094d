// A filter: one column of a real table.
//
// The column is kept as a sorted, distinct value list (VL, NULL at index 0) and one value number
// per record (PV, indexed by record number; element 0 is not a record). Writes that bring values
// not yet in the list go, for small writes into tables of at least kTVLMinRecs records, to a
// pending list (TVL / TVLRecNo): the record then holds -k for pending entry k until MergeTVL folds
// the pending values into VL. Everything that reads the column in value order merges first.
//
// Ownership: the filter owns PV, TVL and TVLRecNo. VL is always held through one counted hold of
// values/ValueListShare.h, so a list on several columns is freed with its last holder, and a
// column that replaces or frees its list only drops its own hold. FSharedVL marks a list borrowed
// from another filter (BorrowValueList): the borrower took a hold of its own, so the owner may
// replace or free its list at any time; the flag keeps the list out of GetMemSize and makes a
// change go to a copy of the borrower's own. Sorted views (TSortedSetArray) registered on the
// filter are destroyed with it.
//
// High-speed search: while FHighSpeed is set, Taint() refuses every change with
// Q7_ERROR_HIGH_SPEED_FILTER; callers that change the column's values or the table's records call
// Taint() first.
//
// Thread safety: none. A filter is changed only under the API lock; MergeTVL(true) drives the
// worker pool from the calling thread and must not be called from inside a task.
//
// Failures are thrown as CQ7Exception with the codes stated at each operation;
// Q7_ERROR_OUT_OF_MEMORY from any allocation.
#pragma once

#include <cstdint>
#include <vector>

#include "q7api.h"

class TBaseArray;
class TIntArray;
class TStrArray;
class TSetArray;
class TSortedSetArray;
class TRealTable;
class zpk_fstream;
class CMemFile;

class TFilter {
 public:
  static constexpr int kNameSize = 256;
  static constexpr int kTVLMaxSize = 10000;
  static constexpr int kTVLMinRecs = 100;

  // ---- Construction ----

  // ID 0, empty name, no arrays, no views, flags clear.
  TFilter();
  // Makes name file-safe in place (ToFileName) and keeps it; PV and VL stay null for the table to
  // attach. A refused name (empty, more than 255 bytes) throws Q7_ERROR_ILLEGAL_FILTER_NAME
  // without a ring entry.
  TFilter(int id, char* name);
  // Copies of source's PV and VL (CopyArray), its ID, name and origin IDs; no pending list, no
  // views, flags clear. A null source throws Q7_ERROR_NO_SUCH_FILTER.
  explicit TFilter(TFilter* source);

  // ---- Record readers (the record layout is under SaveFilter) ----
  // `id` is passed on to the array readers (which do not use it). An unknown value-list type
  // throws Q7_ERROR_ILLEGAL_FILTER_TYPE; a damaged array record throws the array reader's code
  // (values/ArrayRecord.h). On every failure nothing read so far survives.

  TFilter(zpk_fstream& fs, int id);
  TFilter(CMemFile* mf, int id);
  // From the process-wide memory stream.
  explicit TFilter(int id);
  // In place from a shared-memory image that ends at `end`: the arrays lie in the image (not
  // owned), and nothing is read at or past `end` (Q7_ERROR_INVALID_READ_SIZE, or the array
  // readers' codes). With a table-ID map (TextHelpers.h MapTableIDs) FOrgTblID is translated
  // through it.
  TFilter(void** cursor, const void* end, int id, void* table_id_map);
  // The header fields and PV only; adopts value_list as VL (owned, as any VL) once PV has been
  // read (on failure the list stays the caller's). No value-list type or VL record is read.
  TFilter(zpk_fstream& fs, int id, TBaseArray* value_list);
  // Verbose reader: as TFilter(fs, id), writing "Reading FilterData ........" and the header
  // fields to the catalog message log. A failure is thrown like the plain reader's (the load
  // fails), never absorbed into a filter without arrays.
  TFilter(zpk_fstream& fs, int id, int verbose);

  // Frees PV, TVL and TVLRecNo, releases the hold on VL, then destroys the registered views, last
  // registered first.
  ~TFilter();

  TFilter(const TFilter&) = delete;
  TFilter& operator=(const TFilter&) = delete;

  // A new filter (the caller owns it) with the new ID and name, copies of PV (its attribute block
  // cleared) and VL, and this filter's origin IDs. The name is made file-safe in a work copy (the
  // caller's text is not changed); a refused name records ("CopyFilter",
  // Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName") and throws that code. With `parallel` the
  // arrays are copied on the worker pool (call it only from the thread that drives the pool).
  TFilter* CopyFilter(int id, char* name, bool parallel = false);

  // ---- The value list ----

  // Makes `list` this filter's own value list: takes the caller's hold on it over (the implicit
  // one of a list never retained), releases the hold on the list it replaces and clears FSharedVL.
  // Cannot fail.
  void ReplaceValueList(TBaseArray* list);
  // Makes `list`, another filter's value list, this filter's borrowed one: takes a hold of its own
  // (RetainValueList), releases the hold on the list it replaces and sets FSharedVL. The list then
  // lives as long as either column uses it. Q7_ERROR_OUT_OF_MEMORY leaves the filter unchanged.
  void BorrowValueList(TBaseArray* list);

  // Clears the pending-list fields (without freeing) and resets TVLMaxSize and TVLMinRecs.
  void InitTVL();

  // ---- Record writers ----
  // The filter record, each field one write of the target (which pads before it by its rule):
  //   i32 FFilterID, 256 bytes FFilterName, i32 FOrgTblID, i32 FOrgFltID, PV array record,
  //   i32 value-list type (VL->GetDataType(): 2, 3, 6 or 8), VL array record.
  // From an 8-aligned start: FFilterID at 0, FFilterName at 8, FOrgTblID at 264, FOrgFltID at
  // 272, the PV record from 276 (its first field, after 4 zero bytes, at 280). The pending list, the
  // high-speed flag and the views are not part of it: callers merge first (TRealTable::CheckMergeFilterTVL).
  void SaveFilter(zpk_fstream& fs);
  void SaveFilter2Mem(CMemFile* mf);
  void SaveFilterMem();
  // With a null cursor writes nothing and returns the bytes to reserve; else the sum of what the
  // field writes return.
  int64_t WriteToSharedMemory(void** cursor);
  // The sizing pass of SaveFilter2Mem; returns what it added to mf's counter.
  int64_t SizeFilter2Mem(CMemFile* mf);

  // Reads the i32 value-list type from a file stream / the memory stream.
  static int GetVLType(zpk_fstream& fs, char* name, int id);
  static int GetVLTypeMem();

  // Object + PV + (unless FSharedVL) VL, TVL and TVLRecNo + each view + the view list's capacity.
  int64_t GetMemSize() const;

  // ---- Pending list ----

  // PV count - 1 (0 without PV).
  int RecordCount() const;
  // min(TVLMaxSize, record count), or 0 when that is below TVLMinRecs.
  int CalcTVLSize() const;
  // For a write of n values: 0 the list cannot take it, 1 it can, 2 it can after a merge.
  int CheckTVLUse(int n) const;
  // Allocates TVL and TVLRecNo (CalcTVLSize() + 1 elements) when none exist, VL is set and the
  // size is not 0. A list type outside 2/3/6/8 records ("AllocTVL", Q7_ERROR_INVALID_DATA_TYPE,
  // "Invalid Parameter : DataType(%d)") and throws Q7_ERROR_ILLEGAL_FILTER_TYPE. No half-built
  // list is ever left.
  void AllocTVL();
  // Appends pending entry k for record rec_no (PV[rec_no] = -k) and returns k; -1 when the list is
  // full or absent (nothing changes). The caller guarantees 1 <= rec_no <= record count and that
  // the value is not in VL.
  int AppendTVLInt(int value, int rec_no);
  int AppendTVLDouble(double value, int rec_no);
  int AppendTVLNumeric(const Numeric* value, int rec_no);
  int AppendTVLStr(const char* value, int rec_no);
  // values[i] (n values of VL's storage type: int, double, Numeric, or text pointers) goes to the
  // record at position from + i of set. A value found in VL is stored as its index; another one
  // becomes a pending entry. Returns 0, or -1 when the type is not handled or the list ran full
  // (the values before that point are written). The caller checks from and n against the set.
  int UpdateTVL(int from, int n, const void* values, TSetArray* set);
  // The one value at *value to the records at positions from .. from + n - 1 of set.
  int UpdateTVLFill(int from, int n, const void* value, TSetArray* set);
  // True when the write was done through the pending list; false when the caller must rebuild
  // the column itself (no value number is then left pending). `table` is not read.
  bool UseTVL(int from, int n, const void* values, bool fill, bool parallel, TRealTable* table,
              TSetArray* set);
  // Folds the pending values into VL (parallel: on the worker pool) and renumbers PV; true when
  // entries were merged. VL's attribute block survives. The list is never changed in place: the
  // filter moves to the merged list and drops its hold on the old one (ReplaceValueList).
  bool MergeTVL(bool parallel);

  // ---- High-speed search and views ----

  // on: sets FHighSpeed and rebuilds every registered view (TSortedSetArray::Reclaim, which merges
  // pending values first); off: clears the flag and leaves the views as they are.
  void HighSpeedSearchEnable(bool on);
  // Before any change to the column or the table's records. With FHighSpeed set throws
  // Q7_ERROR_HIGH_SPEED_FILTER ("Cannot modify high speed search filter: %s"); otherwise drops
  // the data of every registered view.
  void Taint();
  void RegisterSortedSet(TSortedSetArray* view);
  // Removes the first occurrence; no effect when absent.
  void UnregisterSortedSet(TSortedSetArray* view);
  const std::vector<TSortedSetArray*>& SortedSets() const { return FSortedSets; }

  // ---- Fields ----
  int32_t FFilterID = 0;
  char FFilterName[kNameSize] = {};
  TIntArray* PV = nullptr;
  TBaseArray* VL = nullptr;
  uint8_t FSharedVL = 0;
  int32_t FOrgTblID = 0;
  int32_t FOrgFltID = 0;
  TBaseArray* TVL = nullptr;
  TIntArray* TVLRecNo = nullptr;
  int32_t TVLSize = 0;
  int32_t TVLCount = 0;
  int32_t TVLMaxSize = kTVLMaxSize;
  int32_t TVLMinRecs = kTVLMinRecs;
  uint8_t FHighSpeed = 0;

 private:
  void FreeArrays();
  template <class T>
  int AppendTVL(const T& value, int rec_no);
  template <class Kind>
  int UpdateValues(int from, int n, const void* values, bool fill, TSetArray* set);
  int UpdateByType(int from, int n, const void* values, bool fill, TSetArray* set);

  std::vector<TSortedSetArray*> FSortedSets;
};

// Has no effect: sets both outputs to null and returns 0.
int ConvertInt2String(TIntArray* a, TIntArray* b, TIntArray** out_rows, TStrArray** out_list);
