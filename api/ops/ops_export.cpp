// The checks of the exported text exports, made before the task object's export runs.
#include "api/ops/ops_export.h"

#include "api/ops/OpCommon.h"
#include "api/task/CDBTask.h"
#include "database/NoSuchTexts.h"
#include "database/TTableCollection.h"
#include "foundation/ErrorRing.h"

int innerQ7ExportAs(const char* ring_name, bool record_missing_table, int range_code, int table_id,
                    int set_id, const int* filter_ids, int from, int to, int date_separator, const char* dir,
                    const char* file, bool with_format, const char* format_file, char separator) {
  // The collection's own lookup would leave a "GetTable" entry; a missing table is this frame's
  // to record, or not.
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr || db->ID2Loc(table_id) < 0) {
    if (record_missing_table) {
      PutErrorLog(ring_name, Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
    }
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  if (from < -1 || to < -1 || (to != -1 && from > to)) {
    PutErrorLog(ring_name, range_code, getString("Invalid Parameter : RowFrom(%d) RowTo(%d)", from, to));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (!with_format) {
    return DBTASK()->Export(table_id, set_id, filter_ids, from, to, date_separator, dir, file, separator);
  }
  return DBTASK()->ExportWithF(table_id, set_id, filter_ids, from, to, date_separator, dir, file, format_file,
                               separator);
}
