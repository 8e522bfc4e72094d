// The join as the table layer sees it. TJoinTable itself, which owns and frees what the fields
// point to, is declared and defined in the join layer (join/TJoinTable.h, join/TJoinTable*.cpp).
#include "database/TJoinTableBase.h"

#include <memory>

#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"

TJoinTableBase::~TJoinTableBase() = default;

int TJoinTableBase::GetTableKind() { return kTypeJoin; }
int TJoinTableBase::GetType() { return kTypeJoin; }

int TJoinTableBase::GetJoinInfo(char* name, int* master_table, int* master_set, int* master_key,
                                int* slave_table, int* slave_set, int* slave_key) {
  qz7_strlcpy(name, FTableName, kNameSize);
  *master_table = FMasterTableID;
  *master_set = FMasterSetID;
  *master_key = FMasterKeys[0];
  *slave_table = FSlaveTableID;
  *slave_set = FSlaveSetID;
  *slave_key = FSlaveKeys[0];
  return 0;
}

char* TJoinTableBase::GetJoinFilterName(int id) {
  if (FColumnNames == nullptr || id < 1 || id > FnMasterColumn + FnSlaveColumn) return nullptr;
  return FColumnNames + static_cast<size_t>(id - 1) * kNameSize;
}

// Only the join layer's TJoinTable can search and pair; a bare description refuses as a table that
// is not real.
int TJoinTableBase::GetJoinFilterIDFromName(char*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TJoinTableBase::JFilterID2Pos(int, int*) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
int TJoinTableBase::RegNewSet(int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
void TJoinTableBase::CutUnUse(int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
void TJoinTableBase::MppCutUnUse(int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
void TJoinTableBase::MakeJoin(int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }
void TJoinTableBase::MppMakeJoin(int) { throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE); }

int TJoinTableBase::RegisterPairedSet(int side, TSetArray* master_rows, TSetArray* slave_rows, bool pool) {
  std::unique_ptr<TSetArray> rows[2] = {std::unique_ptr<TSetArray>(master_rows),
                                        std::unique_ptr<TSetArray>(slave_rows)};
  const int previous = FCurrentSetID;
  const int id = RegNewSet(side);
  try {
    // Registering may move the entries: the new one is looked up afresh.
    JoinSetEntry& made = FEntries[SetID2Pos(id)];
    made.rows[0] = rows[0].release();
    made.rows[1] = rows[1].release();
    if (pool) {
      MppCutUnUse(id);
      MppMakeJoin(id);
    } else {
      CutUnUse(id);
      MakeJoin(id);
    }
  } catch (...) {
    DelSet(id);
    SetCurrentSetID(previous);
    throw;
  }
  return id;
}

void TJoinTableBase::LoadComplete(TTableCollection* tables) {
  auto resolve = [tables](int id) -> TRealTable* {
    TBaseTable* t = tables->GetTable(id);
    return t != nullptr && t->GetType() == kTypeReal ? static_cast<TRealTable*>(t) : nullptr;
  };
  FMasterTable = resolve(FMasterTableID);
  FSlaveTable = resolve(FSlaveTableID);
}
