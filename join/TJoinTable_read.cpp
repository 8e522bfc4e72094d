// Sorting a join set (by record number or by a column's values, serially and on the pool) and
// reading one join column at one joined row.
//
// A sort never reorders joined rows directly: it makes the sorted side the driving side of a new
// set, whose pairing then lists the joined rows in that side's order.
#include <cstdint>
#include <cstring>
#include <memory>

#include "database/CellValue.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "join/JoinRecordKernels.h"
#include "join/TJoinTable.h"
#include "kernels/CountingSort.h"
#include "kernels/MppCountingSort.h"
#include "q7api.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int kTextLimit = 4095;

using SetPtr = std::unique_ptr<TSetArray>;

int* Data(TSetArray* set) { return set != nullptr && set->FArraySize > 0 ? set->PIntAr() : nullptr; }

[[noreturn]] void ThrowOutOfRange() { throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE); }

// Element i of a set, or a throw when i lies outside it: the arrays of a set come from files and
// images too, and a read must not run past them.
int ElementAt(TIntArray* a, int64_t i) {
  if (a == nullptr || i < 0 || i >= a->FArraySize) ThrowOutOfRange();
  return a->PIntAr()[i];
}

// The source filter of join column `col`, or null (an unknown column, an unresolved side, a
// filter dropped from its table), looked up without an error-ring entry.
TFilter* SourceFilter(TJoinTable* join, int col) {
  if (col < 1 || col > join->FnMasterColumn + join->FnSlaveColumn) return nullptr;
  const bool master = col <= join->FnMasterColumn;
  TRealTable* table = master ? join->FMasterTable : join->FSlaveTable;
  if (table == nullptr) return nullptr;
  const int id = master ? join->FMasterColumns[col - 1] : join->FSlaveColumns[col - 1 - join->FnMasterColumn];
  const int pos = table->FilterID2Pos(id);
  return pos < 0 ? nullptr : table->FFilters[pos];
}

// ---- Sorts ----

// The kernels refuse another direction only when they have rows to sort; checked here, with the
// kernel's own entry, so that an empty set is refused alike.
void CheckDirection(int dir, const char* log_name) {
  if (dir == 0 || dir == 1) return;
  PutErrorLog(log_name, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Dir");
  throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
}

// A copy of the source set's rows of one side; an outer join's without its record-0 entries (the
// pseudo driving row and the empty partner slots), which the new pairing makes again as needed.
SetPtr SideRows(const TJoinTable* join, const JoinSetEntry& source, int side) {
  TSetArray* rows = source.rows[side];
  if (rows == nullptr) return std::make_unique<TSetArray>(0, 0);
  if (join->FOuter != 0) return SetPtr(rows->CopyWithout0());
  return SetPtr(static_cast<TSetArray*>(rows->CopyArray()));
}

// Registers a new set driven by `side`, fills it with the source's other-side rows and the rows
// that `sorted` returns for `side`, and pairs it. Whatever fails after the registration deletes
// the new set again and makes the previous current set current once more; a CQ7Exception becomes
// the returned code, anything else passes on.
template <class Sorted>
int SortIntoNewSet(TJoinTable* join, int source_pos, int side, Sorted sorted) {
  const int previous = join->FCurrentSetID;
  int id = 0;
  auto undo = [&] {
    if (id > 0) join->DelSet(id);
    join->SetCurrentSetID(previous);
  };
  try {
    id = join->RegNewSet(side);
    // The new set is appended with the highest ID: the source keeps its position, though the
    // entries may have moved.
    SetPtr other = SideRows(join, join->Entry(source_pos), 1 - side);
    SetPtr own = sorted(join->Entry(source_pos));
    JoinSetEntry& e = join->Entry(join->SetID2Pos(id));
    e.rows[side] = own.release();
    e.rows[1 - side] = other.release();
    join->CutUnUse(id);
    join->MakeJoin(id);
    return id;
  } catch (const CQ7Exception& ex) {
    undo();
    return ex.ErrorCode();
  } catch (...) {
    undo();
    throw;
  }
}

// The sort by one column's value numbers; parallel picks the kernel and the log name.
int SortByValue(TJoinTable* join, bool parallel, int col, int set_id, int dir) {
  const char* name = parallel ? "MppSortByField" : "SortByField";
  TFilter* filter = SourceFilter(join, col);
  if (filter == nullptr) {
    PutErrorLog(name, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(col));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  int side = -1;
  join->JFilterID2Pos(col, &side);
  if (parallel && set_id < 0) set_id = join->FCurrentSetID;
  const int source = join->SetID2Pos(set_id);
  if (source < 0) {
    PutErrorLog(name, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return Q7_ERROR_NO_SUCH_SET;
  }
  return SortIntoNewSet(join, source, side, [&](const JoinSetEntry& e) {
    CheckDirection(dir, parallel ? "MppSortByField" : "Aggregate");
    // Pending entries are negative value numbers, which index nothing in a counting sort.
    filter->MergeTVL(false);
    SetPtr rows = SideRows(join, e, side);
    const int n = rows->FArraySize;
    TIntArray* pv = filter->PV;
    const int n_values = filter->VL->FArraySize;
    // The kernels trust every record and value number; a set that does not fit its column is refused.
    for (int i = 0; i < n; ++i) {
      const int r = rows->PIntAr()[i];
      if (r < 1 || r >= pv->FArraySize) ThrowOutOfRange();
      const int v = pv->PIntAr()[r];
      if (v < 0 || v >= n_values) ThrowOutOfRange();
    }
    auto out = std::make_unique<TSetArray>(n, 0);
    if (parallel) {
      MppCountingSort(dir, n, Data(rows.get()), Data(out.get()), pv->PIntAr(), n_values, 0);
    } else {
      CountingSort(dir, n, Data(rows.get()), Data(out.get()), pv->PIntAr(), n_values);
    }
    return out;
  });
}

}  // namespace

int TJoinTable::SortByRecNo(int side, int set_id, int dir) {
  if (side != 0 && side != 1) return Q7_ERROR_ILLEGAL_JOIN_TARGET;
  const int source = SetID2Pos(set_id);
  if (source < 0) {
    PutErrorLog("SortByRecNo", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id, Blank::kTrailing));
    return Q7_ERROR_NO_SUCH_SET;
  }
  if (FnSet >= kMaxSets) {
    PutErrorLog("SortByRecNo", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  TRealTable* table = side == 0 ? FMasterTable : FSlaveTable;
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  const int max = table->TotalRecs();
  return SortIntoNewSet(this, source, side, [&](const JoinSetEntry& e) {
    CheckDirection(dir, "BitMapSort");
    SetPtr rows = SideRows(this, e, side);
    const int n = rows->FArraySize;
    // The bitmap spans 1..max: a record beyond it would be written past the map.
    for (int i = 0; i < n; ++i) {
      const int r = rows->PIntAr()[i];
      if (r < 1 || r > max) ThrowOutOfRange();
    }
    auto out = std::make_unique<TSetArray>(n, 0);
    BitMapSort(dir, max, n, Data(rows.get()), Data(out.get()));
    return out;
  });
}

int TJoinTable::SortByField(int filter_id, int set_id, int dir) {
  return SortByValue(this, false, filter_id, set_id, dir);
}

int TJoinTable::MppSortByField(int filter_id, int set_id, int dir) {
  return SortByValue(this, true, filter_id, set_id, dir);
}

// ---- Reads ----

namespace {

// The master and slave record of joined row `row` (0 <= row < e.size), 0 for a side without one.
// Every index is checked against its array: a set read from a file or an image that does not
// resolve the row throws Q7_ERROR_INDEX_OUT_OF_RANGE instead of reading past it.
void ResolveRow(TJoinTable* join, const JoinSetEntry& e, int row, int records[2]) {
  if (e.side != 0 && e.side != 1) throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TARGET);
  const int d = e.side;
  const int o = 1 - d;
  TFilter* key = d == 0 ? join->FMasterKeyFilter : join->FSlaveKeyFilter;
  TSetArray* driving = e.rows[d];
  TSetArray* starts = e.projection[d];
  TSetArray* groups = e.projection[o];
  if (key == nullptr || key->PV == nullptr || driving == nullptr || starts == nullptr || groups == nullptr ||
      driving->FArraySize < 1 || starts->FArraySize < driving->FArraySize) {
    ThrowOutOfRange();
  }
  const int k = FindLoc(row, driving->FArraySize, starts->PIntAr());
  const int first = starts->PIntAr()[k];
  const int record = ElementAt(driving, k);
  const int v = ElementAt(key->PV, record);
  const int64_t at = int64_t{ElementAt(groups, v)} + (int64_t{row} - first);
  records[d] = record;
  records[o] = ElementAt(e.rows[o], at);
}

// Record 0 (no record on this side) reads the list's NULL, value number 0.
ValueAt Locate(TFilter* filter, int record) {
  const int vno = record == 0 ? 0 : ElementAt(filter->PV, record);
  ValueAt at = vno < 0 ? ValueAt{filter->TVL, -vno} : ValueAt{filter->VL, vno};
  if (at.list == nullptr || at.index >= at.list->FArraySize) ThrowOutOfRange();
  return at;
}

int AddressOf(int type, const ValueAt& at, long* address) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      *address = reinterpret_cast<long>(static_cast<TIntArray*>(at.list)->GetIntPtr(at.index));
      return 4;
    case Q7_TYPE_DECIMAL:
      *address = reinterpret_cast<long>(static_cast<TNumericArray*>(at.list)->GetAddress(at.index));
      return 16;
    case Q7_TYPE_STRING: {
      const char* text = static_cast<TStrArray*>(at.list)->GetPChar(at.index);
      *address = reinterpret_cast<long>(text);
      return static_cast<int>(strlen(text));
    }
    default:
      *address = reinterpret_cast<long>(static_cast<TDoubleArray*>(at.list)->GetDoublePtr(at.index));
      return 8;
  }
}

static_assert(sizeof(long) == 2 * sizeof(int32_t), "column 0 stores both records in one long");

// The three ReadData forms: `limit` is the most text bytes copied; with `address` the value's
// address is stored there instead of a copy in `value`.
int Read(TJoinTable* join, int set_id, int col, int row, int* type, void* value, int limit, long* address) {
  int side = -1;
  // Column 0 names no join column: it asks for the records alone.
  const int pos = col == 0 ? 0 : join->JFilterID2Pos(col, &side);
  if (row < 0) {
    PutErrorLog("ReadData", Q7_ERROR_ILLEGAL_RECORD_NO, NoSuchRecordText(row));
    return Q7_ERROR_ILLEGAL_RECORD_NO;
  }
  const int set_pos = join->SetID2Pos(set_id);
  if (set_pos < 0) {
    PutErrorLog("ReadData", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  const JoinSetEntry& e = join->Entry(set_pos);
  if (row >= e.size) {
    PutErrorLog("ReadData", Q7_ERROR_ILLEGAL_FILTER_TYPE, "Illegal Record No");
    return Q7_ERROR_ILLEGAL_RECORD_NO;
  }
  int records[2] = {0, 0};
  ResolveRow(join, e, row, records);
  if (col == 0) {
    *type = Q7_TYPE_INTEGER;
    memcpy(address != nullptr ? static_cast<void*>(address) : value, records, sizeof records);
    return static_cast<int>(sizeof records);
  }
  if (pos < 0) {
    PutErrorLog("ReadData", Q7_ERROR_NO_SUCH_FILTER, getString("Illegal FltPos: %d", pos));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  TFilter* filter = SourceFilter(join, col);
  if (filter == nullptr) {
    PutErrorLog("ReadData", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(col));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  const ValueAt at = Locate(filter, records[side]);
  *type = ArrayDataTypeEx(filter->VL);
  if (address != nullptr) return AddressOf(*type, at, address);
  return CopyCellValue(*type, at, value, limit);
}

}  // namespace

int TJoinTable::ReadData(int set_id, int filter_id, int row, int* type, void* value) {
  return Read(this, set_id, filter_id, row, type, value, kTextLimit, nullptr);
}

int TJoinTable::ReadData(int set_id, int filter_id, int row, int* type, void* value, int size) {
  // Room for the terminating zero at least.
  if (size < 1) return Q7_ERROR_INVALID_PARAMETER;
  return Read(this, set_id, filter_id, row, type, value, size - 1, nullptr);
}

int TJoinTable::ReadData(int set_id, int filter_id, int row, int* type, long* address) {
  return Read(this, set_id, filter_id, row, type, nullptr, 0, address);
}

int TJoinTable::GetVNo(int set_id, int filter_id, int row, int* value_number) {
  int side = -1;
  const int pos = JFilterID2Pos(filter_id, &side);
  if (pos < 0) return pos;
  const int set_pos = SetID2Pos(set_id);
  if (set_pos < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  const JoinSetEntry& e = Entry(set_pos);
  if (row < 0 || row >= e.size) return Q7_ERROR_ILLEGAL_RECORD_NO;
  TFilter* filter = SourceFilter(this, filter_id);
  if (filter == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
  int records[2] = {0, 0};
  ResolveRow(this, e, row, records);
  // A pending (negative) number indexes nothing the caller can read: fold it in first.
  filter->MergeTVL(false);
  const int record = records[side];
  *value_number = record == 0 ? 0 : ElementAt(filter->PV, record);
  return 4;
}
