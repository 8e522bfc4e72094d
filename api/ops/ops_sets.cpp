// Set operations: counting, listing, handing out, creating, combining and deleting row sets.
#include "api/ops/ops_sets.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "api/ops/OpCommon.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "kernels/SetOps.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

static_assert(offsetof(_TSetDescript, count) == 0);
static_assert(offsetof(_TSetDescript, rows) == 8);
static_assert(sizeof(_TSetDescript) == 16);

namespace {

constexpr char kBadRows[] = "Invalid Parameter : PSetArray";

// A host row list seen as an array for the set kernels; the host keeps its memory.
class BorrowedRows {
 public:
  BorrowedRows(int count, const int* rows) : array_(count, rows) {}
  ~BorrowedRows() { array_.FData = nullptr; }
  BorrowedRows(const BorrowedRows&) = delete;
  BorrowedRows& operator=(const BorrowedRows&) = delete;
  TIntArray* get() { return &array_; }

 private:
  TIntArray array_;
};

// Refuses a host row list unless it is a list of count records of a table of n_rows rows.
void CheckHostRows(const char* ring_name, int count, const int* rows, int n_rows) {
  if (count < 0 || (count > 0 && rows == nullptr)) {
    Refuse(ring_name, Q7_ERROR_INVALID_ROW_POSITION, Q7_ERROR_INVALID_ROW_POSITION, kBadRows);
  }
  for (int i = 0; i < count; ++i) {
    if (rows[i] < 1 || rows[i] > n_rows) {
      Refuse(ring_name, Q7_ERROR_INVALID_ROW_POSITION, Q7_ERROR_INVALID_ROW_POSITION, kBadRows);
    }
  }
}

// The checked rows without their repeats, first places kept in order, into *unique; returns the
// count kept. *unique stays null when no row repeats (the host's list can then be used as it is).
int DropRepeatedRows(int count, const int* rows, int n_rows, ZpkBlock<int>* unique) {
  if (count < 2) return count;
  ZpkBlock<uint32_t> seen(static_cast<size_t>(n_rows) / 32 + 1);
  memset(seen.get(), 0, (static_cast<size_t>(n_rows) / 32 + 1) * sizeof(uint32_t));
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const uint32_t bit = 1u << (rows[i] & 31);
    uint32_t& word = seen[static_cast<size_t>(rows[i]) >> 5];
    if ((word & bit) != 0) {
      if (!*unique) {
        unique->Reset(static_cast<int*>(zpk_malloc(sizeof(int) * static_cast<size_t>(count))));
        memcpy(unique->get(), rows, sizeof(int) * static_cast<size_t>(i));
      }
      continue;
    }
    word |= bit;
    if (*unique) (*unique)[static_cast<size_t>(kept)] = rows[i];
    ++kept;
  }
  return kept;
}

}  // namespace

int innerQ7GetNSet(int table_id) {
  return RunOp("Q7GetNSet",
               [&] { return FindTable("Q7GetNSet", table_id, MissEntry::kTrailingBlank)->FnSet; });
}

int innerQ7GetTotalRows(int table_id) {
  return RunOp("Q7GetTotalRows",
               [&] { return FindTable("Q7GetTotalRows", table_id, MissEntry::kTrailingBlank)->TotalRecs(); });
}

int innerQ7PurgeSubsets(int table_id) {
  constexpr char kName[] = "Q7PurgeSubsets";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    RefuseShared(table);
    CheckInner(kName, table->PurgeSubSets());
    MarkSetsChanged();
    return 0;
  });
}

int innerQ7GetSetSize(int table_id, int set_id) {
  constexpr char kName[] = "Q7GetSetSize";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id, MissEntry::kTrailingBlank);
    return CheckInner(kName, table->GetSetSize(set_id));
  });
}

int innerQ7SetOpe2(int op, int n_rows, _TSetDescript a, _TSetDescript b, _TSetDescript* result) {
  constexpr char kName[] = "Q7SetOpe2";
  return RunOp(kName, [&] {
    if (result == nullptr) {
      Refuse(kName, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : result");
    }
    result->count = -1;
    result->rows = nullptr;
    CheckHostRows(kName, a.count, a.rows, n_rows);
    CheckHostRows(kName, b.count, b.rows, n_rows);
    // A row the host gives twice counts once: the kernels see sets, not multisets.
    BorrowedRows wrap_a(a.count, a.rows);
    BorrowedRows wrap_b(b.count, b.rows);
    ZpkBlock<int> rows;
    int size = 0;
    int count = 0;
    try {
      count = SetOpeCommon(op, n_rows, wrap_a.get(), wrap_b.get(), &size, rows.Out());
    } catch (const CQ7Exception& e) {
      CheckInner(kName, e.ErrorCode());
    }
    CheckInner(kName, count);
    result->count = count;
    result->rows = rows.Release();
    return count;
  });
}

int innerQ7GetSet(int table_id, int set_id, int** rows) {
  constexpr char kName[] = "Q7GetSet";
  return RunOp(kName, [&] {
    if (rows == nullptr) {
      Refuse(kName, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : rows");
    }
    *rows = nullptr;
    TBaseTable* table = FindTable(kName, table_id, MissEntry::kTrailingBlank);
    TSetArray* set = FindSet(kName, table, set_id, MissEntry::kTrailingBlank);
    *rows = set->PIntAr();
    return set->FArraySize;
  });
}

int innerQ7GetSetIDList(int table_id, int n, int* ids) {
  constexpr char kName[] = "Q7GetSetList";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id, MissEntry::kTrailingBlank);
    if (n > 0 && ids == nullptr) {
      Refuse(kName, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : SetIDs");
    }
    return CheckInner(kName, table->GetSetIDList(n, ids));
  });
}

int innerQ7AddSetReal(int table_id, int count, const int* rows) {
  constexpr char kName[] = "Q7AddSetReal";
  return RunOp(kName, [&] {
    TRealTable* table = FindRealTable(kName, table_id);
    const int n_rows = table->TotalRecs();
    CheckHostRows(kName, count, rows, n_rows);
    ZpkBlock<int> unique;
    const int kept = DropRepeatedRows(count, rows, n_rows, &unique);
    const int id = CheckInner(kName, table->AddSetFromRows(kept, unique ? unique.get() : rows));
    MarkSetsChanged();
    return id;
  });
}

int innerQ7DeleteSet(int table_id, int set_id) {
  constexpr char kName[] = "Q7DeleteSet";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    // A real table's unknown ID is asked first, so that it leaves only this operation's entry; a
    // join answers it itself (its own entry, Q7_ERROR_ILLEGAL_SET_ID), as it answers its set 1.
    if (table->GetType() == TBaseTable::kTypeReal && !HasSet(table, set_id)) {
      Refuse(kName, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_SET, "No such set");
    }
    const int result = table->DelSet(set_id);
    switch (result) {
      case Q7_ERROR_NO_SUCH_SET:
      case Q7_ERROR_ILLEGAL_SET_ID:
        Refuse(kName, result, result, "No such set");
      case Q7_ERROR_SET_NOT_DELETABLE:
        Refuse(kName, result, result, "Root set cannot be deleted");
      case Q7_ERROR_NOT_EDITABLE:
        Refuse(kName, result, result, "Referred by Join");
      default:
        break;
    }
    CheckInner(kName, result);
    MarkSetsChanged();
    return result;
  });
}

int innerQ7GetCurrentSetID(int table_id) {
  constexpr char kName[] = "Q7GetCurrentSetID";
  return RunOp(kName, [&] { return FindTable(kName, table_id)->GetCurrentSetID(); });
}

int innerQ7ChangeCurrentSetID(int table_id, int set_id) {
  constexpr char kName[] = "Q7ChangeCurrentSetID";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    // Asked first so that an unknown ID leaves only this operation's two entries.
    if (HasSet(table, set_id)) table->SetCurrentSetID(set_id);
    if (table->GetCurrentSetID() != set_id) {
      PutErrorLog(kName, Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id, Blank::kTrailing));
      CheckInner(kName, Q7_ERROR_ILLEGAL_SET_ID);
    }
    MarkSettingsChanged();
    return 0;
  });
}

int innerQ7SetNotReal(int table_id, int set_id) {
  constexpr char kName[] = "Q7SetNot";
  return RunOp(kName, [&] {
    TRealTable* table = FindRealTable(kName, table_id);
    const int id = CheckInner(kName, table->SetNot(set_id));
    MarkSetsChanged();
    return id;
  });
}

int innerQ7SetOpeReal(int table_id, int op, int set_a, int set_b) {
  constexpr char kName[] = "Q7SetOpe";
  return RunOp(kName, [&] {
    TBaseTable* table = FindTable(kName, table_id);
    const int id = CheckInner(kName, table->SetOpe(op, set_a, set_b));
    MarkSetsChanged();
    return id;
  });
}

// The host's copy of a set's record numbers. Its checks record under the exported name, and their
// entries carry Q7_ERROR_NO_SUCH_TABLE whatever is returned, as the operation layer's lookups do.
int innerRQ7GetSet(int table_id, int set_id, int* count, int capacity, int* rows) {
  constexpr char kRing[] = "RQ7GetSet";
  return RunOp(kRing, [&] {
    if (count != nullptr) *count = 0;
    if (capacity < 0) {
      Refuse(kRing, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_INVALID_PARAMETER, "Illegal Buffer size: %d", capacity);
    }
    if (capacity > 0 && rows == nullptr) {
      Refuse(kRing, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Buffer");
    }
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    TSetArray* set = FindSet(kRing, table, set_id, MissEntry::kTrailingBlank);
    const int size = set->FArraySize;
    if (count != nullptr) *count = size;
    const int copied = std::min(size, capacity);
    if (copied > 0) memcpy(rows, set->PIntAr(), sizeof(int) * copied);
    return size;
  });
}
