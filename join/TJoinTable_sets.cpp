// The join set registry: registering, finding, sizing, deleting and purging join sets, and handing
// a join's rows back to its source tables.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "join/ItemTransfer.h"
#include "join/TJoinTable.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"

namespace {

// One above the last issued ID and above every registered one: after DecMaxSetID the last issued
// ID may lie below the highest registered one, and issuing it again would break the ascending list.
int64_t NextSetID(const TJoinTable& t) {
  int64_t id = int64_t{t.FMaxSetID} + 1;
  if (t.FnSet > 0 && id <= t.FSetIDs[t.FnSet - 1]) id = int64_t{t.FSetIDs[t.FnSet - 1]} + 1;
  return id;
}

bool OnSharedImage(const TSetArray* set) { return set != nullptr && set->FNotOwned != 0; }

// Element i of an int array, or `fallback` outside it.
int At(TIntArray* a, int64_t i, int fallback = 0) {
  if (a == nullptr || i < 0 || i >= a->FArraySize) return fallback;
  return a->PIntAr()[i];
}

}  // namespace

int TJoinTable::RegNewSet(int side) {
  if (FnSet >= kMaxSets || NextSetID(*this) > INT32_MAX) {
    PutErrorLog("RegNewSet", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    throw CQ7Exception(Q7_ERROR_SET_COUNT_OVERFLOW);
  }
  // Grown before anything is registered, so that a failed growth registers nothing; the entries
  // first, so that the set-ID capacity never exceeds them.
  if (FnSet + 1 >= FSetCapacity) {
    const int capacity = FSetCapacity + kSetSlotStep;
    auto* grown = static_cast<JoinSetEntry*>(zpk_realloc(FEntries, sizeof(JoinSetEntry) * capacity));
    memset(grown + FSetCapacity, 0, sizeof(JoinSetEntry) * (capacity - FSetCapacity));
    FEntries = grown;
    GrowSetIDs(capacity);
  }
  const int id = static_cast<int>(NextSetID(*this));
  FMaxSetID = id;
  FSetIDs[FnSet] = id;
  FEntries[FnSet] = JoinSetEntry{};
  FEntries[FnSet].side = side;
  ++FnSet;
  FCurrentSetID = id;
  return id;
}

void TJoinTable::FixMasterSlave(int set_id, int* side, int* opposite) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("FixMasterSlave", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id, Blank::kTrailing));
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  const int s = FEntries[pos].side;
  if (s != 0 && s != 1) {
    PutErrorLog("FixMasterSlave", Q7_ERROR_ILLEGAL_JOIN_TARGET, "Illegal target ( Not Master or Slave )");
    throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TARGET);
  }
  *side = s;
  *opposite = 1 - s;
}

int TJoinTable::GetJoinDir(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("GetJoinDir", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id, Blank::kTrailing));
    return Q7_ERROR_ILLEGAL_SET_ID;
  }
  return FEntries[pos].side;
}

int TJoinTable::GetSetSize(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("GetSetSize", Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id));
    return Q7_ERROR_ILLEGAL_SET_ID;
  }
  return FEntries[pos].size;
}

TSetArray* TJoinTable::GetSet(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("GetSet", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return nullptr;
  }
  const JoinSetEntry& e = FEntries[pos];
  return e.side == 1 ? e.rows[1] : e.rows[0];
}

TSetArray* TJoinTable::GetSlaveSet(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("GetSlaveSet", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return nullptr;
  }
  const JoinSetEntry& e = FEntries[pos];
  return e.side == 1 ? e.rows[0] : e.rows[1];
}

int TJoinTable::GetProjectionSets(int set_id, TSetArray** own, TSetArray** other) {
  *own = nullptr;
  *other = nullptr;
  const int pos = SetID2Pos(set_id);
  if (pos < 0) return pos;
  const JoinSetEntry& e = FEntries[pos];
  const int d = e.side == 1 ? 1 : 0;
  *own = e.projection[d];
  *other = e.projection[1 - d];
  return 0;
}

int TJoinTable::DelSet(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos <= 0) {
    PutErrorLog("DelSet", Q7_ERROR_ILLEGAL_SET_ID, NoSuchSetText(set_id, Blank::kTrailing));
    return Q7_ERROR_ILLEGAL_SET_ID;
  }
  JoinSetEntry& e = FEntries[pos];
  // A set of a shared image is refused before anything, the current set included, changes.
  const TSetArray* order[] = {e.rows[0],       e.rows[1],   e.projection[0],
                              e.projection[1], e.second[0], e.second[1]};
  for (const TSetArray* set : order) {
    if (OnSharedImage(set)) {
      PutErrorLog("DelSet", Q7_ERROR_SHARED_READ_ONLY, "Invalid Shared memory read Oparation");
      return Q7_ERROR_SHARED_READ_ONLY;
    }
  }
  if (FSetIDs[pos] == FCurrentSetID) FCurrentSetID = FSetIDs[0];
  FreeEntrySets(&e);
  const size_t later = static_cast<size_t>(FnSet - pos - 1);
  memmove(FEntries + pos, FEntries + pos + 1, sizeof(JoinSetEntry) * later);
  memmove(FSetIDs + pos, FSetIDs + pos + 1, sizeof(int32_t) * later);
  --FnSet;
  FEntries[FnSet] = JoinSetEntry{};
  FSetIDs[FnSet] = 0;
  return 0;
}

int TJoinTable::PurgeSubSets() {
  for (int i = 1; i < FnSet; ++i) {
    FreeEntrySets(&FEntries[i]);
    FEntries[i] = JoinSetEntry{};
    FSetIDs[i] = 0;
  }
  if (FnSet > 1) FnSet = 1;
  FCurrentSetID = FnSet > 0 ? FSetIDs[0] : 0;
  return FCurrentSetID;
}

namespace {

// The set that PutJoinSetToParent hands over, and the table it goes to.
TSetArray* ParentSet(TJoinTable* join, int side, int non_hit, TRealTable** table, int* table_id) {
  const int s = side != 0 ? 1 : 0;
  *table = s == 0 ? join->FMasterTable : join->FSlaveTable;
  *table_id = s == 0 ? join->FMasterTableID : join->FSlaveTableID;
  const JoinSetEntry& e = join->Entry(0);
  return non_hit != 0 ? e.second[s] : e.rows[s];
}

template <class Add>
int PutToParent(TJoinTable* join, int side, int non_hit, int* table_id, int* set_id, Add add) {
  *table_id = -1;
  *set_id = -1;
  if (join->FOuter != 0) return -1;
  TRealTable* table = nullptr;
  int id = 0;
  TSetArray* set = ParentSet(join, side, non_hit, &table, &id);
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  if (table->FnSet >= TRealTable::kMaxSets - 1) {
    PutErrorLog("PutJoinSetToParent", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  // A set not built yet hands over no rows.
  TSetArray empty;
  const int new_id = add(table, set != nullptr ? set : &empty);
  if (new_id < 0) return new_id;
  *table_id = id;
  *set_id = new_id;
  return 0;
}

}  // namespace

int TJoinTable::PutJoinSetToParent(int side, int non_hit, int* table_id, int* set_id) {
  return PutToParent(this, side, non_hit, table_id, set_id,
                     [](TRealTable* table, TSetArray* set) { return table->AddSet(set); });
}

int TJoinTable::MppPutJoinSetToParent(int side, int non_hit, int* table_id, int* set_id) {
  return PutToParent(this, side, non_hit, table_id, set_id,
                     [](TRealTable* table, TSetArray* set) { return table->MppAddSet(set); });
}

int TJoinTable::ReturnSet2SlaveTable(int* table_id) {
  *table_id = FSlaveTableID;
  if (FOuter != 0) {
    PutErrorLog("ReturnSet2SlaveTable", Q7_ERROR_NOT_INNER_JOIN_TABLE, "No Inner-Join Table");
    return Q7_ERROR_NOT_INNER_JOIN_TABLE;
  }
  if (FSlaveTable == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  const JoinSetEntry& e = FEntries[0];
  TIntArray* master_vno = FMasterKeyFilter != nullptr ? FMasterKeyFilter->PV : nullptr;
  const int n_master = e.rows[0] != nullptr ? e.rows[0]->FArraySize : 0;
  const int n_groups = e.projection[1] != nullptr ? e.projection[1]->FArraySize - 1 : 0;
  auto set = std::make_unique<TSetArray>();
  set->SetAllocSize(0);
  if (master_vno != nullptr && n_groups > 0) {
    std::vector<uint8_t> seen(static_cast<size_t>(n_groups), 0);
    for (int i = 0; i < n_master; ++i) {
      const int v = At(master_vno, At(e.rows[0], i), -1);
      if (v < 0 || v >= n_groups || seen[v] != 0) continue;
      seen[v] = 1;
      const int start = At(e.projection[1], v);
      // A value with no slave partner (never so after the cut) contributes nothing.
      if (start >= At(e.projection[1], int64_t{v} + 1)) continue;
      const int record = At(e.rows[1], start);
      if (record >= 1) set->AppendData(&record);
    }
  }
  const int id = FSlaveTable->AddSetWithoutCopy(set.get());
  if (id < 0) {
    PutErrorLog("ReturnSet2SlaveTable", id, "Failed to add set ( AddSetWithoutCopy module )");
    return id;
  }
  set.release();
  return id;
}

int TJoinTable::MoveSlaveFlt2Master(int slave_filter_id) {
  TFilter* source = FSlaveTable != nullptr ? FSlaveTable->GetFilter(slave_filter_id) : nullptr;
  if (source == nullptr || FMasterTable == nullptr) {
    PutErrorLog("MoveSlaveFlt2Master", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(slave_filter_id));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  char seed[kNameSize];
  char name[kNameSize];
  qz7_strlcpy(seed, source->FFilterName, kNameSize);
  const int named = FMasterTable->GenFilterName(seed, name);
  if (named < 0) {
    PutErrorLog("MoveSlaveFlt2Master", named, "Failed to get FilterName ( GenFilterName module )");
    return Q7_ERROR_ILLEGAL_FILTER_NAME;
  }
  // The value numbers are read as they stand: pending ones must be folded in first.
  source->MergeTVL(false);

  const JoinSetEntry& e = FEntries[0];
  TIntArray* master_vno = FMasterKeyFilter != nullptr ? FMasterKeyFilter->PV : nullptr;
  const int records = FMasterTable->TotalRecs();
  auto vno = std::make_unique<TIntArray>(records + 1, 1);
  std::unique_ptr<TBaseArray> list(source->VL->CopyArray());
  const ItemTransfer rule =
      MakeItemTransfer(e, master_vno, source->PV, static_cast<int>(list->FArraySize), records);
  const int n_master = e.rows[0] != nullptr ? e.rows[0]->FArraySize : 0;
  for (int i = 0; master_vno != nullptr && i < n_master; ++i) {
    const int r = At(e.rows[0], i);
    const int value = TransferredValue(rule, r);
    if (value >= 0) vno->PIntAr()[r] = value;
  }
  const int id =
      FMasterTable->AddFilter(TRealTable::kAppendPosition, name, vno.get(), list.get(), false, 0, -1);
  if (id < 0) return id;
  vno.release();
  list.release();
  return id;
}
