// The set registry of a real table: registering, finding, sizing and deleting sets, and the
// complement and two-set operations that make new sets.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "database/NoSuchTexts.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "kernels/SetOps.h"
#include "values/ZpkBlock.h"

namespace {

// The ID the next set takes: one above the last issued ID and above every registered one (after
// DecMaxSetID the last issued ID may lie below the highest registered one, and issuing it again
// would give two sets one ID and break the ascending ID list).
int64_t NextSetID(const TRealTable& t) {
  int64_t id = int64_t{t.FMaxSetID} + 1;
  if (t.FnSet > 0 && id <= t.FSetIDs[t.FnSet - 1]) id = int64_t{t.FSetIDs[t.FnSet - 1]} + 1;
  return id;
}

// A loaded table may already carry IDs up to INT32_MAX; a wrapped ID would be negative, which
// every caller takes for an error code after the set has been registered.
bool NoRoomForSet(const TRealTable& t) { return t.FnSet >= TRealTable::kMaxSets || NextSetID(t) > INT32_MAX; }

}  // namespace

int TRealTable::RegisterSet(TSetArray* set) {
  if (NoRoomForSet(*this)) return Q7_ERROR_SET_COUNT_OVERFLOW;
  if (FnSet >= FSetCapacity) {
    const int capacity = FSetCapacity + kSetSlotStep;
    auto* grown = static_cast<TSetArray**>(zpk_realloc(FSets, sizeof(TSetArray*) * capacity));
    memset(grown + FSetCapacity, 0, sizeof(TSetArray*) * (capacity - FSetCapacity));
    FSets = grown;
    GrowSetIDs(capacity);
  }
  const int id = static_cast<int>(NextSetID(*this));
  FMaxSetID = id;
  FSetIDs[FnSet] = id;
  FSets[FnSet] = set;
  ++FnSet;
  SetCurrentSetID(id);
  return id;
}

int TRealTable::AddSetWithoutCopy(TSetArray* set) {
  if (NoRoomForSet(*this)) {
    PutErrorLog("AddSetWithoutCopy", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  return RegisterSet(set);
}

int TRealTable::AddSet(TSetArray* set) {
  if (NoRoomForSet(*this)) {
    PutErrorLog("AddSet", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  std::unique_ptr<TSetArray> copy(static_cast<TSetArray*>(set->CopyArray()));
  const int id = RegisterSet(copy.get());
  if (id >= 0) copy.release();
  return id;
}

int TRealTable::MppAddSet(TSetArray* set) {
  if (NoRoomForSet(*this)) return Q7_ERROR_SET_COUNT_OVERFLOW;
  std::unique_ptr<TSetArray> copy(static_cast<TSetArray*>(set->MppCopyArray()));
  const int id = RegisterSet(copy.get());
  if (id >= 0) copy.release();
  return id;
}

int TRealTable::AddSetFromRows(int count, const int* rows) {
  if (count < 0 || (count > 0 && rows == nullptr)) return Q7_ERROR_INVALID_ROW_POSITION;
  const int records = TotalRecs();
  for (int i = 0; i < count; ++i) {
    if (rows[i] < 1 || rows[i] > records) return Q7_ERROR_INVALID_ROW_POSITION;
  }
  if (NoRoomForSet(*this)) {
    PutErrorLog("AddSet", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  auto set = std::make_unique<TSetArray>(count, 0);
  if (count > 0) memcpy(set->FData, rows, sizeof(int) * static_cast<size_t>(count));
  const int id = RegisterSet(set.get());
  if (id >= 0) set.release();
  return id;
}

TSetArray* TRealTable::GetSet(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("GetSet", pos, NoSuchSetText(set_id, Blank::kTrailing));
    return nullptr;
  }
  return FSets[pos];
}

int TRealTable::GetSetSize(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) {
    PutErrorLog("GetSetSize", pos, NoSuchSetText(set_id, Blank::kTrailing));
    return pos;
  }
  return FSets[pos] != nullptr ? FSets[pos]->FArraySize : -1;
}

int TRealTable::PurgeSubSets() {
  for (int i = 1; i < FnSet; ++i) {
    delete FSets[i];
    FSets[i] = nullptr;
    FSetIDs[i] = 0;
  }
  if (FnSet > 1) FnSet = 1;
  FCurrentSetID = FnSet > 0 ? FSetIDs[0] : 0;
  return FCurrentSetID;
}

int TRealTable::RemoveSetAt(int pos) {
  if (FSetIDs[pos] == FCurrentSetID) FCurrentSetID = FSetIDs[0];
  delete FSets[pos];
  const size_t later = static_cast<size_t>(FnSet - pos - 1);
  memmove(FSets + pos, FSets + pos + 1, sizeof(TSetArray*) * later);
  memmove(FSetIDs + pos, FSetIDs + pos + 1, sizeof(int32_t) * later);
  --FnSet;
  FSets[FnSet] = nullptr;
  FSetIDs[FnSet] = 0;
  return 0;
}

int TRealTable::DelSet(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) return pos;
  if (FSets[pos] != nullptr && FSets[pos]->FNotOwned != 0) return Q7_ERROR_SHARED_READ_ONLY;
  if (pos == 0) {
    PutErrorLog("DelSet", Q7_ERROR_SET_NOT_DELETABLE, "Illegal SetPos");
    return Q7_ERROR_SET_NOT_DELETABLE;
  }
  return RemoveSetAt(pos);
}

int TRealTable::DelSetForce(int set_id) {
  const int pos = SetID2Pos(set_id);
  if (pos < 0) return pos;
  if (pos == 0) return Q7_ERROR_SET_NOT_DELETABLE;
  return RemoveSetAt(pos);
}

// ---- New sets from the set kernels ----

int TRealTable::RegisterKernelResult(int* rows, int count, int size) {
  ZpkBlock<int> guard(rows);
  std::unique_ptr<TSetArray> set(new (std::nothrow) TSetArray());
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  set->FData = guard.Release();
  set->FArraySize = count;
  set->FAllocSize = size;
  const int id = RegisterSet(set.get());
  if (id >= 0) set.release();
  return id;
}

// Runs a kernel that fills (size, rows) and registers its rows as the new current set; a
// CQ7Exception of the kernel or of the registration leaves the registry as it was and is returned
// as its code.
template <class Kernel>
int TRealTable::RunSetKernel(Kernel kernel) {
  try {
    int* rows = nullptr;
    int size = 0;
    const int count = kernel(&size, &rows);
    return RegisterKernelResult(rows, count, size);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

int TRealTable::SetNot(int set_id) {
  if (NoRoomForSet(*this)) {
    PutErrorLog("SetNot", Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  TSetArray* set = GetSet(set_id);
  if (set == nullptr) {
    PutErrorLog("SetNot", Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id));
    return Q7_ERROR_NO_SUCH_SET;
  }
  const int records = TotalRecs();
  return RunSetKernel([&](int* size, int** rows) { return SetOpeNot(records, set, size, rows); });
}

int TRealTable::MppSetNot(int set_id) {
  if (NoRoomForSet(*this)) return Q7_ERROR_SET_COUNT_OVERFLOW;
  TSetArray* set = GetSet(set_id);
  if (set == nullptr) return Q7_ERROR_NO_SUCH_SET;
  const int records = TotalRecs();
  return RunSetKernel([&](int* size, int** rows) { return MppSetOpeNot(records, set, size, rows); });
}

int TRealTable::CombineSets(SetKernel kernel, int op, int set_id1, int set_id2) {
  if (NoRoomForSet(*this)) return Q7_ERROR_SET_COUNT_OVERFLOW;
  TSetArray* a = GetSet(set_id1);
  TSetArray* b = GetSet(set_id2);
  if (a == nullptr || b == nullptr) return Q7_ERROR_NO_SUCH_SET;
  const int records = TotalRecs();
  return RunSetKernel([&](int* size, int** rows) { return kernel(op, records, a, b, size, rows); });
}

int TRealTable::SetOpe(int op, int set_id1, int set_id2) {
  return CombineSets(SetOpeCommon, op, set_id1, set_id2);
}

int TRealTable::MppSetOpe(int op, int set_id1, int set_id2) {
  return CombineSets(MppSetOpeCommon, op, set_id1, set_id2);
}
