// The table and filter services of the engine task object that the import code calls. The api
// layer (which owns the task object) registers its implementation at library start; import/ never
// includes api/.
//
// Every service follows the task object's contract: an ID, a count or 0 on success, a negative
// code (Q7_ERROR_*) on failure, with its own error-ring entries; none throws. Call them with the
// API lock held, as the task object requires.
//
// Thread safety: SetImportTask is called once at start-up, before any import; ImportTask only
// reads the pointer afterwards.
#pragma once

class ImportTaskServices {
 public:
  virtual ~ImportTaskServices() = default;
  virtual int AddRealTable(char* name, int rows) = 0;
  virtual int GenerateTableName(char* seed, char* out) = 0;
  virtual int DeleteTable(int table_id) = 0;
  virtual int AddRealFilter2(int table_id, int position, char* name, int type, int rows, int width,
                             void* data) = 0;
  virtual int AppendRealFilter2(int table_id, int filter_id, int type, int from, int count, void* data) = 0;
  virtual int AppendRealFilter2Numeric(int table_id, int filter_id, int type, int from, int count, int scale,
                                       int rounding_mode, void* data) = 0;
  virtual int GetFilterIDList(int table_id, int* ids) = 0;
  virtual int GetFilterType(int table_id, int filter_id) = 0;
};

// The registered services; null until SetImportTask has run. Callers that find none fail with
// Q7_ERROR_UNKNOWN rather than dereference it.
ImportTaskServices* ImportTask();
// Registers (or, with null, removes) the services. The object must outlive every import.
void SetImportTask(ImportTaskServices* services);
