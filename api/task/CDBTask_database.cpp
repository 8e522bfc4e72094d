// The task object's database operations: replacing, loading and saving the whole database and
// single tables, the database's path and table count, and the environment queries. Each is the
// operation layer's, filed under the task's log name.
#include <cstring>

#include "api/ops/EngineOps.h"
#include "api/ops/OpCommon.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_derive.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"
#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"

int CDBTask::LoadDB(char* directory, char* name) {
  return UnderLogName("RQ7LoadDB", "Q7LoadDB", [&] { return innerQ7LoadDB(directory, name); });
}

int CDBTask::ClearDB() {
  return UnderLogName("RQ7ClearDB", "Q7ClearDB", [] { return innerQ7ClearDB(); });
}

int CDBTask::LoadRealTable(char* directory, char* name) {
  return LoadRealTableAs("RQ7LoadRealTable", directory, name, "");
}

int CDBTask::SaveDBAs(char* directory, char* name) {
  return SaveDatabaseFile("RQ7SaveDBAs", directory, name, 0);
}

int CDBTask::SaveDB() { return innerQ7SaveDB(); }

int CDBTask::SaveRealTable(char* directory, int table_id) {
  return SaveRealTableFile("RQ7SaveRealTable", "Failed to save realtable ( SaveRealTable module )", directory,
                           nullptr, table_id, 0);
}

int CDBTask::GetPathName(char* directory, char* name) { return innerQ7GetPathName(directory, name); }

int CDBTask::GetNTable() { return innerQ7GetNTable(); }

int CDBTask::SetMaxJoinChain(int length) {
  return RunOp("RQ7SetMaxJoinChain", [&] { return innerQ7SetMaxJoinChain(length); });
}

int CDBTask::CombineTableList(char* name, int* table_ids, int* set_ids, int* data_1, int* data_2, int* data_3,
                              int* data_4) {
  constexpr char kLog[] = "RQ7CombineTableList";
  // Named as AddRealTable names a new table; the operation layer then takes the name as given.
  char validated[TBaseTable::kNameSize];
  const int named = RunOp(kLog, [&] {
    if (!ValidateNames(name, validated, kRealTablePrefix, &TTableCollection::m_chRTBLIndex)) {
      throw CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME);
    }
    return 0;
  });
  if (named < 0) return named;
  return UnderLogName(kLog, "Q7CombineTableList", [&] {
    return innerQ7CombineTableList(validated, table_ids, set_ids, data_1, data_2, data_3, data_4);
  });
}

int CDBTask::QualifyTree(int tree_table, int depth, int source_table, int* source_filters, int inherit) {
  constexpr char kLog[] = "RQ7QualifyTree";
  return RunOp(kLog, [&] {
    TTableCollection* db = RequireDatabase(kLog);
    const int result =
        CheckInner(kLog, db->Qualify(tree_table, depth, source_table, source_filters, inherit), "");
    MarkTablesChanged();
    return result;
  });
}

int64_t CDBTask::GetTotalMemorySize() { return innerQ7GetTotalMemorySize(); }

int CDBTask::SetTailSpaceFlag(int flag) { return innerQ7SetTailSpaceFlag(flag); }

int CDBTask::GetEnvironment(_TREnvironment* env) {
  return RunOp("RQ7GetEnvironment", [&] { return innerQ7GetEnvironment(env); });
}

int CDBTask::GetSystemMemInfo(_TRMemInfo* info) {
  return RunOp("RQ7GetSystemMemInfo", [&] { return innerQ7GetSystemMemInfo(info); });
}
