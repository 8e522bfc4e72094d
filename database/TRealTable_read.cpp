// Reading values of a real table: one value of one row (copied, copied with a limit, or by
// address), one row's value number, and the rows of a set counted per value number.
#include <cstring>

#include "database/CellValue.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "kernels/CountingSort.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

// ---- Defaults for tables that cannot read ----

int TBaseTable::ReadData(int, int, int, int*, void*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::ReadData(int, int, int, int*, void*, int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::ReadData(int, int, int, int*, long*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::GetVNo(int, int, int, int*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TBaseTable::CountN(int, int, int*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }

namespace {

constexpr int kTextLimit = 4095;

ValueAt Locate(TFilter* filter, int rec) {
  const int vno = filter->PV->PIntAr()[rec];
  if (vno < 0) return {filter->TVL, -vno};
  return {filter->VL, vno};
}

// The value list's type (the double family by its extend type), or 0 when it has none of 2..8.
int ListType(TFilter* filter) {
  try {
    return ArrayDataTypeEx(filter->VL);
  } catch (const CQ7Exception&) {
    return 0;
  }
}

}  // namespace

// ---- One row's record number ----

namespace {

// Steps shared by the readers: the row's record number, or a code. `log` names the ring entries
// ("No Such Record: %d ", "No Such Set: %d ") or is null for none.
int RowRecord(TRealTable* table, int set_id, int row, const char* log, int* rec) {
  if (row < 0) {
    if (log != nullptr) PutErrorLog(log, Q7_ERROR_NO_SUCH_SET, NoSuchRecordText(row));
    return Q7_ERROR_NO_SUCH_SET;
  }
  const int id = set_id < 0 ? table->GetCurrentSetID() : set_id;
  const int pos = table->SetID2Pos(id);
  if (pos < 0) return Q7_ERROR_NO_SUCH_SET;
  TSetArray* set = table->FSets[pos];
  if (set == nullptr) {
    if (log != nullptr) PutErrorLog(log, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(id, Blank::kTrailing));
    return Q7_ERROR_NO_SUCH_SET;
  }
  if (row >= set->FArraySize) return Q7_ERROR_NO_SUCH_SET;
  *rec = set->PIntAr()[row];
  return 0;
}

// The filter at filter_id whose value-number array holds rec, or a code ("No Such Filter: %d"
// recorded under log when given). A record outside the array is no row of the filter.
int RowFilter(TRealTable* table, int filter_id, int rec, const char* log, TFilter** filter) {
  const int pos = table->FilterID2Pos(filter_id);
  if (pos < 0) {
    if (log != nullptr) PutErrorLog(log, Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  *filter = table->FFilters[pos];
  if (rec < 1 || rec >= (*filter)->PV->FArraySize) return Q7_ERROR_NO_SUCH_SET;
  return 0;
}

// The copying forms: limit is the most text bytes copied.
int ReadCopy(TRealTable* table, int set_id, int filter_id, int row, int* type, void* value, int limit) {
  int rec = 0;
  int code = RowRecord(table, set_id, row, "ReadData", &rec);
  if (code != 0) return code;
  if (filter_id == 0) {
    *type = Q7_TYPE_INTEGER;
    memcpy(value, &rec, 4);
    return 4;
  }
  TFilter* filter = nullptr;
  code = RowFilter(table, filter_id, rec, "ReadData", &filter);
  if (code != 0) return code;
  *type = ListType(filter);
  if (*type == 0) return Q7_ERROR_NO_SUCH_SET;
  return CopyCellValue(*type, Locate(filter, rec), value, limit);
}

}  // namespace

int TRealTable::ReadData(int set_id, int filter_id, int row, int* type, void* value) {
  return ReadCopy(this, set_id, filter_id, row, type, value, kTextLimit);
}

int TRealTable::ReadData(int set_id, int filter_id, int row, int* type, void* value, int size) {
  // Room for the terminating zero at least; a smaller buffer cannot take even the empty text.
  if (size < 1) return Q7_ERROR_INVALID_PARAMETER;
  return ReadCopy(this, set_id, filter_id, row, type, value, size - 1);
}

int TRealTable::ReadData(int set_id, int filter_id, int row, int* type, long* address) {
  int rec = 0;
  int code = RowRecord(this, set_id, row, "ReadData", &rec);
  if (code != 0) return code;
  TFilter* filter = nullptr;
  code = RowFilter(this, filter_id, rec, "ReadData", &filter);
  if (code != 0) return code;
  *type = ListType(filter);
  if (*type == 0) return Q7_ERROR_NO_SUCH_SET;
  const ValueAt at = Locate(filter, rec);
  switch (*type) {
    case Q7_TYPE_INTEGER:
      *address = reinterpret_cast<long>(static_cast<TIntArray*>(at.list)->GetIntPtr(at.index));
      return 4;
    case Q7_TYPE_DECIMAL:
      return Q7_ERROR_NO_SUCH_SET;
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

int TRealTable::GetVNo(int set_id, int filter_id, int row, int* value_number) {
  int rec = 0;
  int code = RowRecord(this, set_id, row, nullptr, &rec);
  if (code != 0) return code;
  TFilter* filter = nullptr;
  code = RowFilter(this, filter_id, rec, nullptr, &filter);
  if (code != 0) return code;
  // A pending (negative) number indexes nothing the caller can read: fold it in first.
  filter->MergeTVL(false);
  *value_number = filter->PV->PIntAr()[rec];
  return 4;
}

int TRealTable::CountN(int set_id, int filter_id, int* counts) {
  if (counts == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_RECORD_NO);
  TFilter* filter = GetFilter(filter_id);
  if (filter == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  TSetArray* set = GetSet(set_id);
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  // Pending numbers are negative and would index before counts.
  filter->MergeTVL(false);
  const int n_values = filter->VL->FArraySize;
  CountupNExist(set->FArraySize, set->PIntAr(), n_values, filter->PV->PIntAr(), counts);
  return n_values;
}
