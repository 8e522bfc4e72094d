// Data access in the operation layer: single values, record numbers and value numbers of rows.
#include "api/ops/ops_data.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_filters.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "values/ArrayFunctions.h"
#include "values/Numeric.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

// The decimal read as the host receives it.
static_assert(sizeof(NumericInfo) == 8);
static_assert(sizeof(Numeric) == 16 && offsetof(Numeric, low) == 0 && offsetof(Numeric, high) == 8);

namespace {

static_assert(sizeof(NumericInfo) + sizeof(Numeric) == 24);
constexpr size_t kModeNameSize = 15;

// 1-based positions become the table's 0-based rows; a position below 1 stays out of range.
int ZeroBased(int pos) { return pos < 1 ? -1 : pos - 1; }

// The table wrote the 16-byte value at the start of the buffer; the host reads the scale and the
// mode first and the value after them.
int RearrangeDecimal(int table_id, int filter_id, void* value) {
  auto* bytes = static_cast<unsigned char*>(value);
  memmove(bytes + sizeof(NumericInfo), bytes, sizeof(Numeric));
  return innerQ7GetNumericInfo(table_id, filter_id, static_cast<NumericInfo*>(value), nullptr, false);
}

// A read of one value through one of the table's ReadData forms, with the decimal rearrangement
// unless raw.
template <class Read>
int ReadValue(const char* ring, int table_id, int filter_id, int* type, void* value, bool raw, Read read) {
  return RunOp(ring, [&] {
    TBaseTable* table = FindTable(ring, table_id);
    CheckHostPointer(type, "type");
    CheckHostPointer(value, "value");
    const int size = CheckInner(ring, read(table));
    if (!raw && *type == Q7_TYPE_DECIMAL) {
      const int status = RearrangeDecimal(table_id, filter_id, value);
      if (status < 0) RefuseSilently(status);  // recorded by innerQ7GetNumericInfo
    }
    return size;
  });
}

int ReadRecordNumber(const char* ring, int table_id, int set_id, int row, void* rec_no) {
  return RunOp(ring, [&] {
    TBaseTable* table = FindTable(ring, table_id);
    CheckHostPointer(rec_no, "recNo");
    int type = 0;
    return CheckInner(ring, table->ReadData(set_id, 0, row, &type, rec_no));
  });
}

}  // namespace

// ---- Values the host hands in one kind ----

void CheckValueKind(TBaseTable* table, int filter_id, HostValueKind kind) {
  TFilter* filter = table != nullptr ? LookupFilter(table, filter_id) : nullptr;
  if (filter == nullptr) return;
  HostValueKind stored = HostValueKind::kInt;
  switch (ArrayDataType(filter->VL)) {  // the double family shares one storage type
    case Q7_TYPE_INTEGER:
      stored = HostValueKind::kInt;
      break;
    case Q7_TYPE_DOUBLE:
      stored = HostValueKind::kDouble;
      break;
    case Q7_TYPE_DECIMAL:
      stored = HostValueKind::kDecimal;
      break;
    case Q7_TYPE_STRING:
      stored = HostValueKind::kText;
      break;
    default:
      throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE, "Illegal data type");
  }
  if (stored == kind) return;
  throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE,
                     kind == HostValueKind::kText ? "Illegal data type ( Not STRING )" : "Illegal data type");
}

// ---- Values ----

int innerQ7GetData(int table_id, int filter_id, int set_id, int pos, int* type, void* value) {
  return ReadValue("Q7GetData", table_id, filter_id, type, value, false,
                   [&](TBaseTable* t) { return t->ReadData(set_id, filter_id, pos, type, value); });
}

int innerQ7GetData1(int table_id, int filter_id, int set_id, int pos, int* type, void* value, int raw) {
  return ReadValue("Q7GetData1", table_id, filter_id, type, value, raw != 0, [&](TBaseTable* t) {
    return t->ReadData(set_id, filter_id, ZeroBased(pos), type, value);
  });
}

int innerQ7GetData1Ex(int table_id, int filter_id, int set_id, int pos, int* type, void* value, int raw,
                      int size) {
  return ReadValue("Q7GetData1", table_id, filter_id, type, value, raw != 0, [&](TBaseTable* t) {
    return t->ReadData(set_id, filter_id, ZeroBased(pos), type, value, size);
  });
}

int innerQ7GetData1ExPtr(int table_id, int filter_id, int set_id, int pos, int* type, long* value) {
  constexpr char kRing[] = "Q7GetData1";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    CheckHostPointer(type, "type");
    CheckHostPointer(value, "value");
    return CheckInner(kRing, table->ReadData(set_id, filter_id, ZeroBased(pos), type, value));
  });
}

// ---- Record and value numbers ----

int innerQ7GetRowNo(int table_id, int set_id, int pos, void* rec_no) {
  return ReadRecordNumber("Q7GetRowNo", table_id, set_id, pos, rec_no);
}

int innerQ7GetRowNo1(int table_id, int set_id, int pos, void* rec_no) {
  return ReadRecordNumber("Q7GetRowNo1", table_id, set_id, ZeroBased(pos), rec_no);
}

int innerQ7GetVNo(int table_id, int filter_id, int set_id, int pos, int* vno) {
  constexpr char kRing[] = "Q7GetVNo";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    CheckHostPointer(vno, "vno");
    return CheckInner(kRing, table->GetVNo(set_id, filter_id, ZeroBased(pos), vno));
  });
}

// ---- Decimal filters ----

int innerQ7GetNumericInfo(int table_id, int filter_id, NumericInfo* info, char* mode_name,
                          bool check_shared) {
  constexpr char kRing[] = "innerQ7GetNumericInfo";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    TFilter* filter = FindFilter(kRing, table, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
    TBaseArray* list = filter->VL;
    if (check_shared && list->FNotOwned != 0) RefuseSilently(Q7_ERROR_SHARED_READ_ONLY);
    if (ArrayDataType(list) != Q7_TYPE_DECIMAL) {
      Refuse(kRing, Q7_ERROR_ILLEGAL_FILTER, Q7_ERROR_ILLEGAL_FILTER,
             "Invalid Filter Type (Not NumericType)");
    }
    if (info == nullptr) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
             "Invalid Parameter (Ninfo is NULL)");
    }
    auto* decimals = static_cast<TNumericArray*>(list);
    const NumericInfo out{decimals->GetScale(), decimals->GetRoundingMode()};
    memcpy(info, &out, sizeof out);  // the decimal read hands in an unaligned place
    if (mode_name != nullptr && q7num::IsValidMode(out.roundingMode)) {
      strncpy(mode_name, q7num::kRoundingModeNames[out.roundingMode], kModeNameSize);
    }
    return 0;
  });
}

// ---- Filter summaries ----

int innerRQ7GetAllFilterInfo(int table_id, int max, int* count, _TRFilterInfo* infos,
                             char (*attributes)[64]) {
  constexpr char kRing[] = "innerRQ7GetAllFilterInfo";
  return RunOp(kRing, [&] {
    TTableCollection* db = CurrentDatabase();
    if (db == nullptr) {
      PutErrorLog(kRing, Q7_ERROR_NO_SUCH_TABLE, "No Table");
      throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    }
    TBaseTable* table = db->GetTable(table_id);
    if (table == nullptr) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "%s",
             NoSuchTableText(table_id, Blank::kTrailing));
    }
    if (max < 0) RefuseSilently(Q7_ERROR_INVALID_PARAMETER);
    CheckHostPointer(count, "count");
    const bool is_real = table->GetType() == TBaseTable::kTypeReal;
    if (is_real) static_cast<TRealTable*>(table)->CheckMergeFilterTVL(true);

    std::vector<int> ids(static_cast<size_t>(std::max(table->GetNFilter(), 0)) + 1);
    const int n_filters = table->GetFilterIDList(ids.data());
    *count = n_filters;
    const int n = std::min(n_filters, max);
    if (n < 1) return 0;
    CheckHostPointer(infos, "infos");
    CheckHostPointer(attributes, "attributes");

    for (int i = 0; i < n; ++i) {
      TFilter* filter = LookupFilter(table, ids[i]);
      if (filter == nullptr) {
        Refuse(kRing, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NO_SUCH_FILTER, "%s",
               NoSuchListedFilterText(i, ids[i]));
      }
      const char* name = ReportedFilterName(table, ids[i], filter);
      if (name == nullptr) {
        Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_NO_SUCH_FILTER, "%s", NoSuchFilterText(ids[i]));
      }
      TBaseArray* list = filter->VL;
      FillFilterSummary(filter, name, &infos[i]);
      // This summary reports the character area's whole capacity, not only the bytes in use.
      infos[i].stringAreaSize = ArrayDataType(list) == Q7_TYPE_STRING
                                    ? static_cast<int32_t>(std::min<int64_t>(
                                          static_cast<TStrArray*>(list)->FStrAreaSize, INT32_MAX))
                                    : 0;
      memcpy(attributes[i], list->FUserArea, sizeof attributes[i]);
    }
    return 0;
  });
}
