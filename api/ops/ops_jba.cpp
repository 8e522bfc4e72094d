// Join block access through the 8 process-wide reader handles, and the three row callbacks.
#include "api/ops/ops_jba.h"

#include <cstdlib>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_sets.h"
#include "api/ops/ops_tables.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "join/TJoinBlockAccess.h"

namespace {

constexpr int kHandles = 8;
constexpr int kBadHandle = -11;
constexpr int kBusyHandle = -10;
constexpr int kEmptySet = -9;
constexpr char kBadHandleText[] = "Invalid Parameter : JBAHandle";

TJoinBlockAccess* JBAs[kHandles];

bool InRange(int handle) { return handle >= 0 && handle < kHandles; }

// The table, or null; records nothing.
TBaseTable* QuietTable(int table_id) {
  TTableCollection* db = CurrentDatabase();
  const int loc = db != nullptr ? db->ID2Loc(table_id) : -1;
  return loc < 0 ? nullptr : db->TableAt(loc);
}

// The table, or null after recording Q7_ERROR_NO_SUCH_TABLE under log_name.
TBaseTable* LoggedTable(const char* log_name, int table_id) {
  TBaseTable* table = QuietTable(table_id);
  if (table == nullptr) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
  }
  return table;
}

// The set's size, or -1 for a missing set; records nothing.
int QuietSetSize(TBaseTable* table, int set_id) {
  return HasSet(table, set_id) ? table->GetSetSize(set_id) : -1;
}

// The checks both opens make before building a reader: 0 or the refusal.
int CheckOpen(int handle, int table_id, int set_id) {
  if (!InRange(handle)) return kBadHandle;
  if (JBAs[handle] != nullptr) return kBusyHandle;
  if (innerQ7GetSetSize(table_id, set_id) < 1) return kEmptySet;
  return 0;
}

int Open(int handle, int table_id, int set_id, const int* column_ids) {
  try {
    JBAs[handle] = new TJoinBlockAccess(table_id, set_id, column_ids);
    return 0;
  } catch (const CQ7Exception& e) {
    PutErrorLog("Q7JBAOpen", e.ErrorCode(), e.Message());
    return e.ErrorCode();
  } catch (...) {
    return RecordedFailureCode("Q7JBAOpen");
  }
}

// ---- The row walks ----

// One block's rows are handed out through a work copy of the column records whose buffers the
// walk owns, so that entry 0 can be pointed at each row's value in turn without touching the
// reader's records.
class WorkColumns {
 public:
  explicit WorkColumns(TJoinBlockAccess* reader) : recs_(reader->ColumnCount()) {
    reader->AllocRec(recs_.data());
    for (const _TColumnBuf& r : recs_) owned_.push_back(r.data);
  }
  // Frees without the reader, which a misbehaving callback may have closed meanwhile.
  ~WorkColumns() {
    for (void** buffer : owned_) free(buffer);
  }
  WorkColumns(const WorkColumns&) = delete;
  WorkColumns& operator=(const WorkColumns&) = delete;

  // The callback may have written to the records: the buffers are always the walk's own.
  void Restore() {
    for (size_t c = 0; c < recs_.size(); ++c) recs_[c].data = owned_[c];
  }
  _TColumnBuf* data() { return recs_.data(); }
  int size() const { return static_cast<int>(recs_.size()); }

 private:
  std::vector<_TColumnBuf> recs_;
  std::vector<void**> owned_;
};

// One joined row as the walks see it.
struct Row {
  int more;
  int block;
  int joined_row;
  int driving;
  int partner;
  int index;  // within the block
};

enum class WalkEnd { kFinished, kStopped, kReadFailed };

struct WalkResult {
  WalkEnd end;
  int code;  // the failed read's
};

// Reads the open handle to its end, calling on_row(row, columns) for every joined row; on_row
// returns false to stop. A failed read is recorded (log_name, code, read_failed_text).
template <class OnRow>
WalkResult WalkRows(int handle, const char* log_name, const char* read_failed_text, OnRow on_row) {
  TJoinBlockAccess* reader = JBAs[handle];
  WorkColumns work(reader);
  for (;;) {
    int block = 0, first = 0, last = 0, driving = 0, count = 0, n_columns = 0;
    int* partners = nullptr;
    _TColumnBuf* columns = nullptr;
    const int read =
        innerQ7JBARead(handle, &block, &first, &last, &driving, &count, &partners, &n_columns, &columns);
    if (read < 0) {
      PutErrorLog(log_name, read, read_failed_text);
      return {WalkEnd::kReadFailed, read};
    }
    work.Restore();
    reader->CopyRecs(columns, work.data());
    _TColumnBuf* recs = work.data();
    for (int row = first; row <= last; ++row) {
      const int i = row - first;
      if (i > 0) {
        work.Restore();
        for (int c = 0; c < work.size(); ++c) {
          if (recs[c].direct == 0) recs[c].data[0] = recs[c].data[i];
        }
      }
      const Row r{read == 0 && row == last ? 0 : 1, block, row, driving, partners[i], i};
      if (!on_row(r, recs)) return {WalkEnd::kStopped, 0};
    }
    if (read == 0) return {WalkEnd::kFinished, 0};
  }
}

bool RefuseNullCallback(const char* name, const void* callback) {
  if (callback != nullptr) return false;
  PutErrorLog(name, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : CallBack");
  return true;
}

// The walk's clean-up on every path: the handle closed, and for the unique walk its temporary
// sets deleted and the table's current set restored.
struct HandleCloser {
  int handle;
  ~HandleCloser() { innerQ7JBAClose(handle); }
};

}  // namespace

int innerQ7GetN_JBA() { return kHandles; }

int innerQ7JBAStatus(int handle, int* status) {
  if (!InRange(handle)) return -1;
  TJoinBlockAccess* reader = JBAs[handle];
  if (status != nullptr) *status = reader != nullptr ? reader->Status() : 0;
  return reader != nullptr ? 1 : 0;
}

int innerQ7JBAOpen(int handle, int table_id, int set_id) {
  const int refused = CheckOpen(handle, table_id, set_id);
  if (refused != 0) return refused;
  // Room for every column of a join (both sides' columns) and the end mark.
  std::vector<int> ids(TJoinBlockAccess::kMaxColumns + 1, 0);
  const int n = innerQ7GetFilterIDList(table_id, ids.data());
  if (n < 0) return n;
  ids[static_cast<size_t>(n)] = 0;
  return Open(handle, table_id, set_id, ids.data());
}

int innerQ7JBAOpen2(int handle, int table_id, int set_id, const int* column_ids) {
  const int refused = CheckOpen(handle, table_id, set_id);
  if (refused != 0) return refused;
  return Open(handle, table_id, set_id, column_ids);
}

int innerQ7JBARead(int handle, int* block_no, int* first_row, int* last_row, int* driving_record,
                   int* partner_count, int** partner_records, int* column_count, _TColumnBuf** columns) {
  constexpr char kName[] = "Q7JBARead";
  if (!InRange(handle) || JBAs[handle] == nullptr) {
    PutErrorLog(kName, -1, kBadHandleText);
    return -1;
  }
  const struct {
    const void* p;
    const char* what;
  } outputs[] = {{block_no, "BlockNo"},         {first_row, "FirstRow"},
                 {last_row, "LastRow"},         {driving_record, "MasterRecNo"},
                 {partner_count, "SlaveCount"}, {partner_records, "SlaveRecs"},
                 {column_count, "ColumnCount"}, {columns, "Columns"}};
  for (const auto& out : outputs) {
    if (out.p == nullptr) {
      PutErrorLog(kName, Q7_ERROR_INVALID_PARAMETER, getString("Invalid Parameter : %s", out.what));
      return Q7_ERROR_INVALID_PARAMETER;
    }
  }
  try {
    return JBAs[handle]->ReadBlock(block_no, first_row, last_row, driving_record, partner_count,
                                   partner_records, column_count, columns);
  } catch (const CQ7Exception& e) {
    PutErrorLog(kName, e.ErrorCode(), e.Message());
    return e.ErrorCode();
  } catch (...) {
    return RecordedFailureCode(kName);
  }
}

int innerQ7JBAClose(int handle) {
  if (!InRange(handle)) {
    PutErrorLog("Q7JBAClose", -1, kBadHandleText);
    return -1;
  }
  delete JBAs[handle];
  JBAs[handle] = nullptr;
  return 0;
}

void initializeJBAs() {
  for (TJoinBlockAccess*& slot : JBAs) slot = nullptr;
}

void PurgeJBAs() {
  for (TJoinBlockAccess*& slot : JBAs) {
    delete slot;
    slot = nullptr;
  }
}

void PurgeJBAsOfTable(int table_id) {
  for (TJoinBlockAccess*& slot : JBAs) {
    if (slot == nullptr || slot->FTableID != table_id) continue;
    delete slot;
    slot = nullptr;
  }
}

int innerQ7RowInfoCallBack(int handle, int table_id, int set_id, const int* column_ids,
                           Q7RowCallBackFunc callback) {
  constexpr char kName[] = "Q7RowInfoCallBack";
  if (RefuseNullCallback(kName, reinterpret_cast<const void*>(callback))) return Q7_ERROR_INVALID_PARAMETER;
  TBaseTable* table = LoggedTable(kName, table_id);
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  if (QuietSetSize(table, set_id) < 1) {
    PutErrorLog(kName, -1, NoSuchSetText(set_id, Blank::kTrailing));
    return -1;
  }
  const int opened = innerQ7JBAOpen2(handle, table_id, set_id, column_ids);
  if (opened < 0) return opened;
  HandleCloser closer{handle};
  const int n_columns = JBAs[handle]->ColumnCount();
  try {
    const WalkResult walk = WalkRows(handle, kName, "Q7JBAead failed!", [&](const Row& r, _TColumnBuf* cols) {
      return callback(r.more, handle, r.block, r.joined_row, r.driving, r.partner, n_columns, cols) != -1;
    });
    if (walk.end == WalkEnd::kReadFailed) return walk.code;
    return walk.end == WalkEnd::kStopped ? 1 : 0;
  } catch (const CQ7Exception& e) {
    PutErrorLog(kName, e.ErrorCode(), "CallBack Function pointer Bug");
    return e.ErrorCode();
  } catch (...) {
    return RecordedFailureCode(kName);
  }
}

int innerQ7SearchCallBack(int handle, int table_id, int set_id, const int* column_ids,
                          Q7RowCallBackFunc callback) {
  constexpr char kName[] = "Q7SearchCallBack";
  if (RefuseNullCallback(kName, reinterpret_cast<const void*>(callback))) return Q7_ERROR_INVALID_PARAMETER;
  _TTableInfo info;
  if (innerQ7GetTableProperty(table_id, &info) < 0) {
    PutErrorLog(kName, -1, NoSuchTableText(table_id, Blank::kTrailing));
    return -1;
  }
  if (info.kind == 2) {
    PutErrorLog(kName, 0, "Join Table not allowed!:");
    return -1;
  }
  TBaseTable* table = LoggedTable(kName, table_id);
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  const int size = QuietSetSize(table, set_id);
  if (size < 1) {
    PutErrorLog(kName, 0, "GetSetSize failed!:");
    return -1;
  }
  const int opened = innerQ7JBAOpen2(handle, table_id, set_id, column_ids);
  if (opened < 0) return opened;
  HandleCloser closer{handle};
  const int n_columns = JBAs[handle]->ColumnCount();
  try {
    std::vector<int> hits;
    hits.reserve(static_cast<size_t>(size));
    const WalkResult walk = WalkRows(handle, kName, "Q7JBAead failed!", [&](const Row& r, _TColumnBuf* cols) {
      const int answer =
          callback(r.more, handle, r.block, r.joined_row, r.driving, r.partner, n_columns, cols);
      if (answer == 1) hits.push_back(r.driving);
      return answer != -1;
    });
    if (walk.end == WalkEnd::kReadFailed) return walk.code;
    if (walk.end == WalkEnd::kStopped) return 1;
    const int new_set = innerQ7AddSetReal(table_id, static_cast<int>(hits.size()), hits.data());
    if (new_set < 0) {
      PutErrorLog(kName, 0, "Q7AddSetReal failed!:");
    } else if (innerQ7ChangeCurrentSetID(table_id, new_set) < 0) {
      PutErrorLog(kName, 0, "Q7ChangeCurrentSetID failed!:");
    }
    return 0;
  } catch (const CQ7Exception& e) {
    PutErrorLog(kName, e.ErrorCode(), e.Message());
    return e.ErrorCode();
  } catch (...) {
    return RecordedFailureCode(kName);
  }
}

int innerQ7UniqueRowCallBack(int handle, int table_id, int set_id, const int* column_ids,
                             Q7UniqueRowCallBackFunc callback) {
  constexpr char kName[] = "Q7UniqueRowCallBack";
  if (RefuseNullCallback(kName, reinterpret_cast<const void*>(callback))) return Q7_ERROR_INVALID_PARAMETER;
  std::vector<int> ids;
  for (int i = 0; column_ids != nullptr && i < TJoinBlockAccess::kMaxColumns && column_ids[i] > 0; ++i) {
    ids.push_back(column_ids[i]);
  }
  if (ids.empty()) return -1;
  TBaseTable* table = LoggedTable(kName, table_id);
  if (table == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  const int size = QuietSetSize(table, set_id);
  if (size < 1) return -1;
  // A handle that cannot be opened is refused before any temporary set is made.
  if (!InRange(handle)) return kBadHandle;
  if (JBAs[handle] != nullptr) return kBusyHandle;

  const int remembered = table->GetCurrentSetID();
  std::vector<int> temporary;
  // Whatever way the walk ends, the table is left with the sets and the current set it had.
  struct Restore {
    TBaseTable* table;
    std::vector<int>* temporary;
    int remembered;
    ~Restore() {
      for (const int id : *temporary) table->DelSet(id);
      table->SetCurrentSetID(remembered);
    }
  } restore{table, &temporary, remembered};

  int walk_set = set_id;
  try {
    if (size > 1) {
      // Sorts are stable: sorting by the last column first leaves the rows ordered by the first.
      for (size_t k = ids.size(); k-- > 0;) {
        const int sorted = table->SortByField(ids[k], walk_set, 0);
        if (sorted < 0) return Q7_ERROR_SET_COUNT_OVERFLOW;
        if (!temporary.empty()) {
          table->DelSet(temporary.back());
          temporary.pop_back();
        }
        temporary.push_back(sorted);
        walk_set = sorted;
      }
    }
  } catch (...) {
    return -1;
  }

  ids.push_back(0);
  const int opened = innerQ7JBAOpen2(handle, table_id, walk_set, ids.data());
  if (opened < 0) return opened;
  HandleCloser closer{handle};
  bool stopped = false;
  try {
    TJoinBlockAccess* reader = JBAs[handle];
    const int n = reader->ColumnCount();
    // The run presented to the callback: each column's record with one entry, the run's value.
    std::vector<_TColumnBuf> run(static_cast<size_t>(n));
    std::vector<void*> run_values(static_cast<size_t>(n), nullptr);
    std::vector<void*> run_keys(static_cast<size_t>(n), nullptr);
    std::vector<void*> row_keys(static_cast<size_t>(n), nullptr);
    int run_count = 0;
    auto present = [&](int more) {
      for (int c = 0; c < n; ++c) {
        run[c].count = 1;
        run[c].data = &run_values[c];
      }
      const int answer = callback(more, run_count, n, run.data());
      return answer == 0 || answer == 1;
    };
    const WalkResult walk =
        WalkRows(handle, kName, "Q7JBARead failed!", [&](const Row& r, _TColumnBuf* cols) {
          // Values are compared by their place in the value list, which DECIMAL columns have too.
          for (int c = 0; c < n; ++c) row_keys[c] = const_cast<void*>(reader->ValueAddress(c, r.index));
          if (run_count > 0 && IsSame(row_keys.data(), run_keys.data(), n)) {
            ++run_count;
            return true;
          }
          if (run_count > 0 && !present(1)) return false;
          for (int c = 0; c < n; ++c) {
            run[c] = cols[c];
            run_values[c] = cols[c].data[0];
          }
          run_keys.swap(row_keys);
          run_count = 1;
          return true;
        });
    if (walk.end == WalkEnd::kReadFailed) return walk.code;
    stopped = walk.end == WalkEnd::kStopped;
    if (!stopped && run_count > 0) present(0);
    return stopped ? 1 : 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}
