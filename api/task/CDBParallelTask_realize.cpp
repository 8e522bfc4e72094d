// The parallel task's slot that turns a join set into a new real table on the worker pool.
#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"

int CDBParallelTask::ConvertJoinToReal(char* name, int join_table, int set_id, int master_rec_no,
                                       int slave_rec_no, int* filter_ids, int share_value_lists) {
  constexpr char kLog[] = "RQ7ConvertJoinToReal";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        // The collection rewrites the name it is given, so it works on this copy, never on the host's.
        char validated[TBaseTable::kNameSize];
        if (!ValidateNames(name, validated, kCreatedTablePrefix, &TTableCollection::m_chJTORTBLIndex)) {
          throw CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME);
        }
        TTableCollection* db = RequireDatabase(kLog);
        return CheckInner(kLog,
                          db->MppAddRealized(validated, join_table, set_id, master_rec_no != 0,
                                             slave_rec_no != 0, filter_ids, share_value_lists != 0),
                          "");
      }));
}
