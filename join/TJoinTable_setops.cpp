// Set operations of a join table: the complement and the two-set operations, computed on the
// master rows (and the slave rows) as on real tables' sets, then paired again.
#include <memory>
#include <new>

#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "join/TJoinTable.h"
#include "kernels/SetOps.h"
#include "q7api.h"
#include "values/ZpkBlock.h"

namespace {

using SetPtr = std::unique_ptr<TSetArray>;

// A set kernel's rows (count in use, size allocated) as a set that takes the block over.
SetPtr AdoptRows(int* rows, int count, int size) {
  ZpkBlock<int> guard(rows);
  SetPtr set(new (std::nothrow) TSetArray());
  if (set == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  set->FData = guard.Release();
  set->FArraySize = count;
  set->FAllocSize = size;
  return set;
}

template <class Kernel>
SetPtr RunKernel(Kernel kernel) {
  int* rows = nullptr;
  int size = 0;
  const int count = kernel(&size, &rows);
  return AdoptRows(rows, count, size);
}

// A copy of a set's slave rows without record 0, which an outer join's pairing leaves in them (the
// empty partner slots) and which is no record of the slave table.
SetPtr CopyRows(TSetArray* rows) {
  if (rows == nullptr) return std::make_unique<TSetArray>();
  return SetPtr(rows->CopyWithout0());
}

int RecordCount(TRealTable* table) {
  if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
  return table->TotalRecs();
}

// The new set of side 0, registered before its rows are made (so a failure leaves its set ID
// used). Fill builds the two row sets; a failure there deletes the set, makes the set that was
// current before current again and returns the code; a failure of the pairing does the same and
// passes on.
class NewMasterSet {
 public:
  explicit NewMasterSet(TJoinTable* join) : join_(join), previous_(join->FCurrentSetID) {
    id_ = join->RegNewSet(0);
  }
  ~NewMasterSet() {
    if (kept_) return;
    join_->DelSet(id_);
    join_->SetCurrentSetID(previous_);
  }
  NewMasterSet(const NewMasterSet&) = delete;
  NewMasterSet& operator=(const NewMasterSet&) = delete;

  template <class Fill>
  int Build(Fill fill) {
    SetPtr master;
    SetPtr slave;
    try {
      fill(&master, &slave);
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
    JoinSetEntry& e = join_->Entry(join_->SetID2Pos(id_));
    e.rows[0] = master.release();
    e.rows[1] = slave.release();
    join_->CutUnUse(id_);
    join_->MakeJoin(id_);
    kept_ = true;
    return id_;
  }

 private:
  TJoinTable* join_;
  int previous_;
  int id_ = 0;
  bool kept_ = false;
};

using NotKernel = int (*)(int n_rows, TIntArray* a, int* size, int** out);
using OpeKernel = int (*)(int op, int n_rows, TIntArray* a, TIntArray* b, int* size, int** out);

int Complement(TJoinTable* join, int set_id, NotKernel kernel, const char* log_name) {
  if (join->FnSet >= TJoinTable::kMaxSets) {
    if (log_name != nullptr) PutErrorLog(log_name, Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  const int pos = join->SetID2Pos(set_id);
  if (pos < 0) {
    if (log_name != nullptr) PutErrorLog(log_name, Q7_ERROR_NO_SUCH_SET, "Invalid Parameter : OrgSetID");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  TSetArray* masters = join->Entry(pos).rows[0];
  TSetArray* slaves = join->Entry(pos).rows[1];
  NewMasterSet result(join);
  return result.Build([&](SetPtr* master, SetPtr* slave) {
    const int n_masters = RecordCount(join->FMasterTable);
    *master = RunKernel([&](int* size, int** rows) { return kernel(n_masters, masters, size, rows); });
    *slave = CopyRows(slaves);
  });
}

int Combine(TJoinTable* join, OpeKernel master_kernel, int op, int set_id1, int set_id2,
            const char* log_name) {
  if (join->FnSet >= TJoinTable::kMaxSets) {
    if (log_name != nullptr) PutErrorLog(log_name, Q7_ERROR_SET_COUNT_OVERFLOW, "SetCount overflow");
    return Q7_ERROR_SET_COUNT_OVERFLOW;
  }
  // A negative ID names the set current at the call, not the new set registered below.
  if (set_id1 < 0) set_id1 = join->FCurrentSetID;
  if (set_id2 < 0) set_id2 = join->FCurrentSetID;
  NewMasterSet result(join);
  const int pos1 = join->SetID2Pos(set_id1);
  if (pos1 < 0) return pos1;
  const int pos2 = join->SetID2Pos(set_id2);
  if (pos2 < 0) return pos2;
  const JoinSetEntry& a = join->Entry(pos1);
  const JoinSetEntry& b = join->Entry(pos2);
  return result.Build([&](SetPtr* master, SetPtr* slave) {
    const int n_masters = RecordCount(join->FMasterTable);
    *master = RunKernel([&](int* size, int** rows) {
      return master_kernel(op, n_masters, a.rows[0], b.rows[0], size, rows);
    });
    if (op == kSetOpeAndNot) {
      *slave = CopyRows(a.rows[1]);
    } else {
      const int n_slaves = RecordCount(join->FSlaveTable);
      *slave = RunKernel([&](int* size, int** rows) {
        return SetOpeCommon(op, n_slaves, a.rows[1], b.rows[1], size, rows);
      });
    }
  });
}

}  // namespace

int TJoinTable::SetNot(int set_id) { return Complement(this, set_id, SetOpeNot, "SetNot"); }

int TJoinTable::MppSetNot(int set_id) { return Complement(this, set_id, MppSetOpeNot, nullptr); }

int TJoinTable::SetOpe(int op, int set_id1, int set_id2) {
  return Combine(this, SetOpeCommon, op, set_id1, set_id2, "SetOpe");
}

int TJoinTable::MppSetOpe(int op, int set_id1, int set_id2) {
  return Combine(this, MppSetOpeCommon, op, set_id1, set_id2, nullptr);
}
