// The block reader over a set of a real or join table: one driving record with its partners a block.
#include "join/TJoinBlockAccess.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "join/TJoinTable.h"
#include "values/ArrayFunctions.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TStrArray.h"

static_assert(sizeof(_TColumnBuf) == 24, "the host reads _TColumnBuf as 24 bytes");
static_assert(offsetof(_TColumnBuf, direct) == 0);
static_assert(offsetof(_TColumnBuf, dataType) == 1);
static_assert(offsetof(_TColumnBuf, columnID) == 4);
static_assert(offsetof(_TColumnBuf, count) == 8);
static_assert(offsetof(_TColumnBuf, data) == 16);

namespace {

[[noreturn]] void ThrowOutOfRange() { throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE); }

const int32_t* Ints(TIntArray* a) {
  return a != nullptr && a->FArraySize > 0 ? static_cast<const int32_t*>(a->FData) : nullptr;
}
int32_t Count(TIntArray* a) { return a != nullptr ? a->FArraySize : 0; }

// Whether the table has the set, looked up without an error-ring entry.
bool HasSetQuietly(TBaseTable* table, int set_id) {
  for (int i = 0; i < table->FnSet; ++i) {
    if (table->FSetIDs[i] == set_id) return true;
  }
  return false;
}

// The width of one value of the list for each type; DECIMAL values are located (for comparisons)
// but never handed out.
int ValueWidth(int type) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return 4;
    case Q7_TYPE_DOUBLE:
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
    case Q7_TYPE_STRING:  // the 8-byte text offsets
      return 8;
    case Q7_TYPE_DECIMAL:
      return 16;
    default:
      throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
}

}  // namespace

bool IsSame(void** a, void** b, int n) {
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

TJoinBlockAccess::TJoinBlockAccess(int table_id, int set_id, const int* column_ids,
                                   TTableCollection* tables) {
  if (tables == nullptr) tables = CSmpEngine::Instance()->Database();
  const int loc = tables != nullptr ? tables->ID2Loc(table_id) : -1;
  if (loc < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d", table_id);
  TBaseTable* table = tables->TableAt(loc);
  FTableID = table_id;
  FJoin = table->GetTableKind() == 2;

  std::vector<int> ids;
  for (int i = 0; column_ids != nullptr && i < kMaxColumns && column_ids[i] >= 1; ++i)
    ids.push_back(column_ids[i]);

  if (set_id == -1) {
    set_id = table->GetCurrentSetID();
  } else if (set_id < 0) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_SET_ID, "Illegal SetID: %d", set_id);
  }
  FSetID = set_id;
  FSetSize = HasSetQuietly(table, set_id) ? table->GetSetSize(set_id) : 0;
  if (FSetSize < 1) throw CQ7Exception(Q7_ERROR_EMPTY_JOIN_BLOCK, "Empty Set: %d", set_id);
  TSetArray* rows = table->GetSet(set_id);
  if (rows == nullptr) throw CQ7Exception(Q7_ERROR_NO_JOIN_SET, "No Such Set: %d", set_id);
  FRows = Ints(rows);
  FnRows = Count(rows);

  int side = 0;
  if (FJoin) {
    auto* join = static_cast<TJoinTable*>(table);
    side = join->GetJoinDir(set_id);
    OpenJoin(join);
  }

  FSources.reserve(ids.size());
  FColumns.reserve(ids.size());
  FBuffers.reserve(ids.size());
  for (const int id : ids) {
    TFilter* filter = table->GetFilter(id);
    if (filter == nullptr || filter->VL == nullptr || filter->PV == nullptr) {
      throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d", id);
    }
    // Pending entries carry negative value numbers, which locate nothing in the list.
    filter->MergeTVL(false);
    bool direct = true;
    if (FJoin) {
      if (side == 0) {
        direct = id <= FMasterColumns;
      } else if (side == 1) {
        direct = id > FMasterColumns;
      } else {
        throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
      }
    }
    const int type = ArrayDataTypeEx(filter->VL);
    Column src;
    src.vno = Ints(filter->PV);
    src.n_vno = Count(filter->PV);
    src.list = static_cast<const char*>(filter->VL->FData);
    src.n_values = filter->VL->FArraySize;
    src.width = ValueWidth(type);
    if (filter->VL->FArraySize > 0 && filter->VL->FUnitSize != src.width) {
      throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
    }
    if (type == Q7_TYPE_STRING) src.chars = static_cast<TStrArray*>(filter->VL)->FStrArea;
    src.decimal = type == Q7_TYPE_DECIMAL;
    FSources.push_back(src);
    FBuffers.emplace_back(static_cast<size_t>(direct ? 1 : FMaxGroup), nullptr);
    _TColumnBuf rec{};
    rec.direct = direct ? 1 : 0;
    rec.dataType = static_cast<uint8_t>(type);
    rec.columnID = id;
    rec.count = 1;
    rec.data = FBuffers.back().data();
    FColumns.push_back(rec);
  }
}

void TJoinBlockAccess::OpenJoin(TJoinTable* join) {
  TSetArray* own = nullptr;
  TSetArray* other = nullptr;
  if (join->GetProjectionSets(FSetID, &own, &other) < 0) throw CQ7Exception(Q7_ERROR_PROJECTION_FAILED);
  int d = 0;
  int o = 1;
  join->FixMasterSlave(FSetID, &d, &o);
  TFilter* key = d == 0 ? join->FMasterKeyFilter : join->FSlaveKeyFilter;
  if (key == nullptr || key->PV == nullptr || key->VL == nullptr) {
    throw CQ7Exception(d == 0 ? Q7_ERROR_NO_MASTER_KEY_FILTER : Q7_ERROR_NO_SLAVE_KEY_FILTER);
  }
  const int64_t n_values = key->VL->FArraySize;
  if (other == nullptr || other->FArraySize != n_values + 1) throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
  FKeyVno = Ints(key->PV);
  FnKeyVno = Count(key->PV);
  FGroupStarts = Ints(other);
  FnGroupStarts = Count(other);
  if (own == nullptr || own->FArraySize < FnRows) ThrowOutOfRange();
  FProjection = Ints(own);

  // A block holds the joined rows from its own start up to the next block's: in an inner join its
  // value's whole partner group, in an outer join one row for a record without partner.
  int64_t largest = 1;
  for (int i = 0; i < FnRows; ++i) {
    const int64_t first = FProjection[i];
    const int64_t next = i + 1 < FnRows ? FProjection[i + 1] : FSetSize;
    if (first < 0 || next < first || next > FSetSize) ThrowOutOfRange();
    largest = std::max(largest, next - first);
  }
  if (largest > kMaxBlock) {
    throw CQ7Exception(Q7_ERROR_JOIN_BLOCK_TOO_LARGE, "Join block too large: %lld",
                       static_cast<long long>(largest));
  }
  FMaxGroup = static_cast<int32_t>(largest);

  TSetArray* partners = join->GetSlaveSet(FSetID);
  if (partners == nullptr) throw CQ7Exception(Q7_ERROR_NO_SLAVE_SET);
  FPartners = Ints(partners);
  FnPartners = Count(partners);
  FMasterColumns = join->FnMasterColumn;
}

TJoinBlockAccess::~TJoinBlockAccess() = default;

// Record 0 (no record on this side of an outer join) reads the list's NULL, value number 0.
const void* TJoinBlockAccess::Address(const Column& col, int record) const {
  int vno = 0;
  if (record != 0) {
    if (record < 0 || record >= col.n_vno) ThrowOutOfRange();
    vno = col.vno[record];
  }
  if (vno < 0 || vno >= col.n_values) ThrowOutOfRange();
  if (col.chars != nullptr) {
    return col.chars + reinterpret_cast<const uint64_t*>(col.list)[vno];
  }
  return col.list + static_cast<size_t>(col.width) * static_cast<size_t>(vno);
}

int TJoinBlockAccess::ReadBlock(int* block_no, int* first_row, int* last_row, int* driving_record,
                                int* partner_count, int** partner_records, int* column_count,
                                _TColumnBuf** columns) {
  const int b = FStatus;
  if (FStatus < INT_MAX) ++FStatus;
  *block_no = b;
  *partner_records = nullptr;
  *column_count = ColumnCount();
  *columns = FColumns.data();
  FBlockCount = 0;
  FBlockPartners = nullptr;
  // The host holds the records between reads and may have written to them: each read restores the
  // reader's own buffers before it fills them.
  for (size_t c = 0; c < FColumns.size(); ++c) {
    FColumns[c].data = FBuffers[c].data();
    FColumns[c].count = 1;
  }
  if (b > FnRows) {
    *first_row = *last_row = *driving_record = *partner_count = 0;
    PutErrorLog("ReadBlock", Q7_ERROR_NO_SUCH_SET, "Invalid Parameter : BlockNo");
    return -1;
  }
  const int i = b - 1;
  const int record = FRows[i];
  int first = b;
  int last = b;
  int count = 1;
  const int32_t* partners = FRows + i;
  if (FJoin) {
    const int first0 = FProjection[i];
    const int next0 = i + 1 < FnRows ? FProjection[i + 1] : FSetSize;
    count = next0 - first0;
    if (record < 0 || record >= FnKeyVno) ThrowOutOfRange();
    const int v = FKeyVno[record];
    if (v < 0 || v + 1 >= FnGroupStarts) ThrowOutOfRange();
    const int64_t start = FGroupStarts[v];
    if (start < 0 || count < 0 || count > FMaxGroup || start + count > FnPartners) ThrowOutOfRange();
    first = first0 + 1;
    last = next0;
    partners = FPartners + start;
  }
  FDriving = record;
  FBlockPartners = partners;
  FBlockCount = count;
  for (size_t c = 0; c < FColumns.size(); ++c) {
    const Column& src = FSources[c];
    _TColumnBuf& rec = FColumns[c];
    void** out = rec.data;
    if (rec.direct != 0) {
      out[0] = src.decimal ? nullptr : const_cast<void*>(Address(src, record));
      continue;
    }
    rec.count = count;
    for (int k = 0; k < count; ++k) {
      out[k] = src.decimal ? nullptr : const_cast<void*>(Address(src, partners[k]));
    }
  }
  *first_row = first;
  *last_row = last;
  *driving_record = record;
  *partner_count = count;
  *partner_records = const_cast<int*>(partners);
  return b < FnRows ? 1 : 0;
}

const void* TJoinBlockAccess::ValueAddress(int c, int k) const {
  if (c < 0 || c >= ColumnCount()) return nullptr;
  if (FColumns[c].direct != 0) return Address(FSources[c], FDriving);
  if (k < 0 || k >= FBlockCount) return nullptr;
  return Address(FSources[c], FBlockPartners[k]);
}

void TJoinBlockAccess::AllocRec(_TColumnBuf* recs) const {
  for (size_t c = 0; c < FColumns.size(); ++c) recs[c].data = nullptr;
  for (size_t c = 0; c < FColumns.size(); ++c) {
    const size_t n = FColumns[c].direct != 0 ? 1 : static_cast<size_t>(FMaxGroup);
    recs[c].data = static_cast<void**>(calloc(n, sizeof(void*)));
    if (recs[c].data == nullptr) {
      FreeRec(recs);
      throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    }
  }
}

void TJoinBlockAccess::FreeRec(_TColumnBuf* recs) const {
  for (size_t c = 0; c < FColumns.size(); ++c) {
    free(recs[c].data);
    recs[c].data = nullptr;
  }
}

void TJoinBlockAccess::CopyRecs(const _TColumnBuf* from, _TColumnBuf* to) const {
  for (size_t c = 0; c < FColumns.size(); ++c) {
    to[c].direct = from[c].direct;
    to[c].dataType = from[c].dataType;
    to[c].columnID = from[c].columnID;
    to[c].count = from[c].count;
    const int capacity = FColumns[c].direct != 0 ? 1 : FMaxGroup;
    const int n = std::clamp(from[c].count, 0, capacity);
    if (n > 0) memcpy(to[c].data, from[c].data, sizeof(void*) * static_cast<size_t>(n));
  }
}
