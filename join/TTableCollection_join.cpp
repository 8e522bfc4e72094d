// The collection's join builders. They live in the join layer because building a join needs the
// join kernels; the collection itself only declares them.
#include <memory>
#include <new>

#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "join/TJoinTable.h"
#include "q7api.h"

namespace {

using SetupFn = void (TJoinTable::*)();

int AddJoin(TTableCollection* db, SetupFn setup, TJoinTable::MasterRows master_rows, char* name, int outer,
            int master_table, int master_set, int* master_keys, int slave_table, int slave_set,
            int* slave_keys) {
  if (db->Full()) {
    PutErrorLog("AddJoinTable", Q7_ERROR_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_TABLE_COUNT_OVERFLOW;
  }
  if (!ToFileName(name)) {
    PutErrorLog("AddJoinTable", Q7_ERROR_ILLEGAL_TABLE_NAME,
                getString("Invalid Parameter : TblName(%s)", name));
    return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  char unique[TBaseTable::kNameSize];
  if (db->GenTableName(name, unique) < 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME);
  const int id = db->IssueTableID();
  std::unique_ptr<TJoinTable> join(new (std::nothrow)
                                       TJoinTable(id, unique, outer, master_table, master_set, master_keys,
                                                  slave_table, slave_set, slave_keys, db, master_rows));
  if (!join) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  // Only a complete join enters the collection: a failure here destroys it with its sets and key
  // columns, and the source tables stay as they were.
  ((*join).*setup)();
  join->AssignJoinFilterNames();
  db->AppendTable(join.release());
  return id;
}

}  // namespace

int TTableCollection::AddJoinTable(char* name, int outer, int master_table, int master_set, int* master_keys,
                                   int slave_table, int slave_set, int* slave_keys) {
  return AddJoin(this, &TJoinTable::SetupJoinFilters, TJoinTable::MasterRows::kCopied, name, outer,
                 master_table, master_set, master_keys, slave_table, slave_set, slave_keys);
}

int TTableCollection::MppAddJoinTable(char* name, int outer, int master_table, int master_set,
                                      int* master_keys, int slave_table, int slave_set, int* slave_keys) {
  // The parallel build copies the master rows in the pass that cuts them.
  return AddJoin(this, &TJoinTable::MppSetupJoinFilters, TJoinTable::MasterRows::kCopiedWhilePairing, name,
                 outer, master_table, master_set, master_keys, slave_table, slave_set, slave_keys);
}
