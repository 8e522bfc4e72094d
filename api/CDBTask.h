// The engine task object: the one object through which exported functions and the import, export
// and table code reach the operations that carry their own error handling.
//
// There is exactly one, reached through DBTASK(); it keeps no state of its own (everything lives in
// the engine object). Thread safety: none of its own; call it with the API lock held (from inside
// an exported call), since the error ring it reads is guarded by that lock.
#pragma once

class CDBTask {
 public:
  CDBTask() = default;
  virtual ~CDBTask() = default;
  CDBTask(const CDBTask&) = delete;
  CDBTask& operator=(const CDBTask&) = delete;

  // Takes the oldest entry out of the error ring: its time stamp (milliseconds of processor time),
  // its ring name into api (63 bytes), its code and its message (127 bytes). Returns 1, or 0 with
  // every output untouched when the ring is empty (or no engine exists). Null outputs are skipped.
  int GetErrorLog(int* time, char* api, int* code, char* message);
};

// The engine task object; built on first use, so it is safe to call during static initialisation.
CDBTask* DBTASK();
