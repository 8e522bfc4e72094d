// The join as the table layer sees it. TJoinTable itself, which owns and frees what the fields
// point to, lives in the join layer (join/TJoinTable*.cpp).
#include "database/TJoinTable.h"

#include "database/TRealTable.h"
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

void TJoinTableBase::LoadComplete(TTableCollection* tables) {
  auto resolve = [tables](int id) -> TRealTable* {
    TBaseTable* t = tables->GetTable(id);
    return t != nullptr && t->GetType() == kTypeReal ? static_cast<TRealTable*>(t) : nullptr;
  };
  FMasterTable = resolve(FMasterTableID);
  FSlaveTable = resolve(FSlaveTableID);
}
