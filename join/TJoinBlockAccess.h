// Block reader over a set of a real or a join table: each block is one driving record with all its
// partner records, and each requested column is handed out as a _TColumnBuf whose entries point
// straight into the column's value list (nothing is copied).
//
// A real table's set gives one block per row (first = last joined row = the block number, one
// partner: the row itself). A join set gives one block per driving record: its joined rows
// first..last (1-based) and, for a column of the partner side, one entry per joined row. In an
// outer join a driving record without partner holds one joined row, whose partner entry is record
// 0 (the column's NULL), and the pseudo driving record 0 holds the partner side's rows without
// partner.
//
// Ownership: the reader owns its column buffers (allocated once, at construction, sized by the
// largest block, at most kMaxBlock entries) and nothing else. It keeps pointers into the table's
// set arrays, the join's projections and the columns' value lists: the caller keeps the table, the
// set, the join and its source tables unchanged while the reader exists.
//
// Thread safety: none; under the API lock.
#pragma once

#include <cstdint>
#include <vector>

#include "q7api.h"

class TJoinTable;
class TTableCollection;

class TJoinBlockAccess {
 public:
  static constexpr int kMaxColumns = 1024;
  // The largest block a reader serves, in partner records.
  static constexpr int kMaxBlock = 1000000;

  // A reader over set_id (-1: the current set) of table_id in `tables` (null: the engine's
  // collection), with the columns of column_ids up to its first ID below 1, at most kMaxColumns
  // (null: none). Pending values of each column are folded into its value list first. Throws, in
  // this order: Q7_ERROR_NO_SUCH_TABLE; Q7_ERROR_ILLEGAL_SET_ID (a set below -1);
  // Q7_ERROR_EMPTY_JOIN_BLOCK (no rows, or no such set); Q7_ERROR_NO_JOIN_SET; for a join:
  // Q7_ERROR_PROJECTION_FAILED, the join's set codes, Q7_ERROR_INVALID_UNIT_WIDTH (projections
  // that do not fit the key's value list), Q7_ERROR_INDEX_OUT_OF_RANGE (arrays that do not fit
  // each other), Q7_ERROR_JOIN_BLOCK_TOO_LARGE (a block above kMaxBlock), Q7_ERROR_NO_SLAVE_SET;
  // then per column Q7_ERROR_NO_SUCH_FILTER and Q7_ERROR_INVALID_DATA_TYPE.
  TJoinBlockAccess(int table_id, int set_id, const int* column_ids, TTableCollection* tables = nullptr);
  virtual ~TJoinBlockAccess();
  TJoinBlockAccess(const TJoinBlockAccess&) = delete;
  TJoinBlockAccess& operator=(const TJoinBlockAccess&) = delete;

  // Reads the next block (the status word, which grows by one on every call, past the end too):
  // its number, first and last joined row (1-based), driving record, partner count, partner
  // records (into the set's arrays), the column count and the reader's column records. Returns 1
  // when more blocks follow, 0 for the last block; past the end records ("ReadBlock",
  // Q7_ERROR_NO_SUCH_SET, "Invalid Parameter : BlockNo") and returns -1 (null partner records, zero
  // counts). Arrays that do not resolve the block throw Q7_ERROR_INDEX_OUT_OF_RANGE. A DECIMAL
  // column's entries are null.
  virtual int ReadBlock(int* block_no, int* first_row, int* last_row, int* driving_record, int* partner_count,
                        int** partner_records, int* column_count, _TColumnBuf** columns);

  // The status word: the number of the block the next read returns (1 before the first).
  int Status() const { return FStatus; }
  int ColumnCount() const { return static_cast<int>(FColumns.size()); }
  // Entries of a non-direct column's buffer: the largest block's partner count, at least 1.
  int Capacity() const { return FMaxGroup; }
  // The address of the value of column c for entry k of the block last read (k 0 for a direct
  // column), of every type, DECIMAL included: two entries hold the same value exactly when their
  // addresses are equal, as each value occurs once in its list.
  const void* ValueAddress(int c, int k) const;

  // Work copies of the column records, for a host array of ColumnCount() records: AllocRec gives
  // each record a buffer of its own (1 entry for a direct column, Capacity() otherwise; zeroed,
  // from calloc; on failure none is left and Q7_ERROR_OUT_OF_MEMORY is thrown), FreeRec frees them, CopyRecs
  // copies the direct flag, type, column ID, count and the first `count` entries of each record (the others
  // are stale in both arrays alike).
  void AllocRec(_TColumnBuf* recs) const;
  void FreeRec(_TColumnBuf* recs) const;
  void CopyRecs(const _TColumnBuf* from, _TColumnBuf* to) const;

  int32_t FTableID = 0;
  int32_t FSetID = 0;
  int32_t FSetSize = 0;
  bool FJoin = false;

 private:
  struct Column {
    const int32_t* vno = nullptr;  // value number by record
    int32_t n_vno = 0;
    const char* list = nullptr;  // the value list's data (the text offsets for STRING)
    int32_t n_values = 0;
    const char* chars = nullptr;  // STRING: the character area
    int width = 0;                // bytes per value
    bool decimal = false;         // located for comparisons, never handed out
  };

  void OpenJoin(TJoinTable* join);
  const void* Address(const Column& col, int record) const;

  // Driving records (a join's) or rows (a real table's).
  const int32_t* FRows = nullptr;
  int32_t FnRows = 0;
  // A join set's arrays: first joined row per driving record, the driving side's key value numbers,
  // the V + 1 group starts and the partner records.
  const int32_t* FProjection = nullptr;
  const int32_t* FKeyVno = nullptr;
  int32_t FnKeyVno = 0;
  const int32_t* FGroupStarts = nullptr;
  int32_t FnGroupStarts = 0;
  const int32_t* FPartners = nullptr;
  int32_t FnPartners = 0;
  int32_t FMasterColumns = 0;

  std::vector<Column> FSources;
  std::vector<_TColumnBuf> FColumns;
  std::vector<std::vector<void*>> FBuffers;
  int32_t FMaxGroup = 1;
  int32_t FStatus = 1;
  // The block last read: its driving record and its partner records.
  int32_t FDriving = 0;
  const int32_t* FBlockPartners = nullptr;
  int32_t FBlockCount = 0;
};

// True when the first n pointers of a and b are equal (n < 1: true).
bool IsSame(void** a, void** b, int n);
