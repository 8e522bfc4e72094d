// The parallel task's join slots: building a join on the worker pool and copying a slave column
// into the master table.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "join/TJoinTable.h"

int CDBParallelTask::AddJoinTable(char* name, int outer, int master_table, int master_set, int* master_keys,
                                  int slave_table, int slave_set, int* slave_keys) {
  constexpr char kLog[] = "RQ7AddJoinTable";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        // The collection rewrites the name it is given, so it works on this copy, never on the host's.
        char validated[TBaseTable::kNameSize];
        if (!ValidateNames(name, validated, kJoinTablePrefix, &TTableCollection::m_chJTBIndex)) {
          throw CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME);
        }
        TTableCollection* db = RequireDatabase(kLog);
        return CheckInner(kLog,
                          db->MppAddJoinTable(validated, outer, master_table, master_set, master_keys,
                                              slave_table, slave_set, slave_keys),
                          "Failed to add jointable ( MppAddJoinTable module )");
      }));
}

int CDBParallelTask::MoveSlaveFlt2Master(int table_id, int slave_filter_id) {
  constexpr char kLog[] = "RQ7MoveSlaveFlt2Master";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            TBaseTable* table = FindTable(kLog, table_id);
                            if (table->GetType() != TBaseTable::kTypeJoin)
                              RefuseSilently(Q7_ERROR_NOT_JOIN_TABLE);
                            auto* join = static_cast<TJoinTable*>(table);
                            RefuseShared(join);
                            // The new column goes into the master table: one on a shared image must not
                            // change either.
                            if (join->FMasterTable != nullptr) RefuseShared(join->FMasterTable);
                            return CheckInner(kLog, join->MppMoveSlaveFlt2Master(slave_filter_id));
                          }));
}
