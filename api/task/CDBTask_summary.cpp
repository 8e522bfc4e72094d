// The task object's cube-summary operations: the summary handles with error handling of their own.
#include <cmath>
#include <cstring>
#include <memory>

#include "api/task/CDBTask.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "summary/SummaryCatch.h"
#include "summary/SummaryOutput.h"
#include "summary/cube/SummaryHandles.h"
#include "summary/cube/TSummary.h"

namespace {

constexpr char kSumHandleText[] = "Invalid Parameter : SumHandle";
constexpr char kFailedToOpen[] = "Failed to open";
// Host dimension records lie this many ints apart; only the first int, the filter ID, is read.
constexpr int kHostDimStride = 518;
constexpr int kNameSize = 128;

bool ValidHandle(int handle) { return handle >= 0 && handle < kSummaryHandles; }

// The summary of a handle, or null with *code set to the refusal (a stale handle, SummaryHandles.h:
// Q7_ERROR_INVALID_SUM_HANDLE); entered under log_name with "Invalid Parameter : SumHandle" when
// `record`.
TSummary* HandleSummary(const char* log_name, bool record, int handle, int* code) {
  *code = !ValidHandle(handle)           ? Q7_ERROR_INVALID_SUM_HANDLE
          : Summaries[handle] == nullptr ? Q7_ERROR_NO_SUCH_SUMMARY
                                         : StaleSummaryRefusal(nullptr, handle);
  if (*code != 0) {
    if (record) PutErrorLog(log_name, *code, kSumHandleText);
    return nullptr;
  }
  return Summaries[handle];
}

// As HandleSummary (recorded), refusing also a summary not executed yet
// (Q7_ERROR_INVALID_OUTPUT_PARAMETER, "Invalid Parameter : SumHandle").
TSummary* ComputedSummary(const char* log_name, int handle, int* code) {
  TSummary* s = HandleSummary(log_name, true, handle, code);
  if (s != nullptr && s->ComputedBits() == 0) {
    PutErrorLog(log_name, Q7_ERROR_INVALID_OUTPUT_PARAMETER, kSumHandleText);
    *code = Q7_ERROR_INVALID_OUTPUT_PARAMETER;
    return nullptr;
  }
  return s;
}

// Runs summary code: a CQ7Exception is entered under log_name with entry_code (0: its own code) and
// `text` (null: its own message); its code is returned.
template <class Op>
int Entered(const char* log_name, int entry_code, const char* text, Op&& op) noexcept {
  return SummaryCaught(log_name, entry_code, text, op);
}

template <class Op>
int Silent(Op&& op) noexcept {
  return SummaryCaught(nullptr, 0, nullptr, op);
}

}  // namespace

int CDBTask::GetN_Summary() { return kSummaryHandles; }

int CDBTask::SummaryOpen(int handle, int table, int set, int count, const int* dims, int measure) {
  constexpr char kLog[] = "RQ7SummaryStatus";
  if (count < 0 || count > TSummary::kMaxDims) return Q7_ERROR_OUT_OF_RANGE;
  if (!ValidHandle(handle)) return Q7_ERROR_INVALID_SUM_HANDLE;
  if (Summaries[handle] != nullptr) return Q7_ERROR_SUMMARY_IN_USE;
  if (count > 0 && dims == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  _TDimensionDef records[TSummary::kMaxDims] = {};
  for (int d = 0; d < count; ++d) records[d].column_id = dims[static_cast<size_t>(d) * kHostDimStride];
  return Entered(kLog, 0, kFailedToOpen, [&] {
    Summaries[handle] = new TSummary(handle, table, set, count, records, measure);
    return 0;
  });
}

int CDBTask::SummaryExec(int handle, int bits, int* computed) {
  constexpr char kLog[] = "RQ7SummaryExec";
  int code = 0;
  TSummary* s = HandleSummary(kLog, false, handle, &code);
  if (s == nullptr) return code;
  if (s->ComputedBits() != 0) return Q7_ERROR_SUMMARY_STATE;
  if (computed == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  return Entered(kLog, 0, kFailedToOpen, [&] { return s->SummaryExec(bits, computed); });
}

int CDBTask::SummaryRead(int handle, int bit, const int* cell, int* result_type, int* value_type, int* count,
                         void* value) {
  constexpr char kLog[] = "Q7SummaryRead";
  int code = 0;
  TSummary* s = HandleSummary(kLog, true, handle, &code);
  if (s == nullptr) return code;
  if (cell == nullptr || result_type == nullptr || value_type == nullptr || count == nullptr ||
      value == nullptr) {
    return Q7_ERROR_INVALID_PARAMETER;
  }
  int cells[TSummary::kMaxDims];
  std::memcpy(cells, cell, sizeof cells);
  return Entered(kLog, 0, kFailedToOpen, [&] {
    void* where = nullptr;
    NumericInfo* info = nullptr;
    const int result = s->SummaryRead2(bit, cells, result_type, value_type, count, &where, &info);
    if (result >= 0 && where != nullptr) CopySummaryValue(*value_type, where, info, value);
    return result;
  });
}

int CDBTask::CategoryRead(int handle, int dim, int category, char* name) {
  constexpr char kLog[] = "RQ7CategoryRead";
  if (name == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  name[0] = '\0';
  int code = 0;
  TSummary* s = HandleSummary(kLog, false, handle, &code);
  if (s == nullptr) return code;
  if (dim < 0 || dim >= s->DimCount()) return Q7_ERROR_OUT_OF_RANGE;
  const _TDimensionDef& def = s->Dim(dim);
  if (category < 0 || category >= def.category_count) return Q7_ERROR_OUT_OF_RANGE;
  return Entered(kLog, 0, nullptr, [&] {
    char* text = nullptr;
    if (def.name_callback != nullptr) {
      const int answer =
          def.name_callback(handle, s->TableID(), dim, def.column_id, def.category_count, category, &text);
      if (answer == Q7_ERROR_INVALID_PARAMETER) {
        throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : CallBackRet");
      }
    } else if (def.category_names != nullptr) {
      text = def.category_names[category];
    }
    if (text != nullptr) {
      std::strncpy(name, text, kNameSize - 1);
      name[kNameSize - 1] = '\0';
    }
    return 0;
  });
}

int CDBTask::SummaryStatus(int handle, int* table, int* set, int* count, _TDimensionDef* dims, int* measure,
                           int* computed) {
  if (table == nullptr || set == nullptr || count == nullptr || dims == nullptr || measure == nullptr ||
      computed == nullptr) {
    return Q7_ERROR_INVALID_PARAMETER;
  }
  return innerQ7SummaryStatus(handle, table, set, count, dims, measure, computed);
}

int CDBTask::SummaryIntoRealTable(int handle, int, int skip_empty) {
  constexpr char kLog[] = "RQ7SummaryIntoRealTable";
  int code = 0;
  TSummary* s = ComputedSummary(kLog, handle, &code);
  if (s == nullptr) return code;
  return Entered(kLog, Q7_ERROR_UNKNOWN, nullptr, [&] { return s->SummaryIntoRealTable(31, skip_empty); });
}

int CDBTask::AppendSummaryToRealTable(int handle, int table, int bits, int skip_empty) {
  constexpr char kLog[] = "RQ7AppendSummaryToRealTable";
  int code = 0;
  TSummary* s = ComputedSummary(kLog, handle, &code);
  if (s == nullptr) return code;
  return Entered(kLog, 0, nullptr, [&] { return s->AppendSummaryToRealTable(table, bits, skip_empty); });
}

int CDBTask::SummaryClose(int handle) {
  constexpr char kLog[] = "RQ7SummaryClose";
  if (!ValidHandle(handle)) return Q7_ERROR_INVALID_SUM_HANDLE;
  // The handle is free afterwards whatever the deletion of the summary's temporary table says.
  std::unique_ptr<TSummary> s(Summaries[handle]);
  Summaries[handle] = nullptr;
  if (s == nullptr) return 0;
  return Entered(kLog, 0, kFailedToOpen, [&] {
    s->DropTempTable();
    return 0;
  });
}

int CDBTask::IsSummaryOutputTable(int table, int* dims, int* measures) {
  const int result = ::IsSummaryOutputTable(table, dims, measures);
  if (result < 0) PutErrorLog("RQ7IsSummaryOutputTable", result, "");
  return result;
}

int CDBTask::GetSumFilterAttr(int table, int filter, char* attr) {
  return Silent([&] { return innerQ7GetSumFilterAttr(table, filter, attr); });
}

int CDBTask::CalcTotal(int table, int set, int filter, int mode, double* total) {
  const int code = Silent([&] { return SummaryColumnTotal(table, set, filter, mode, true, total); });
  if (code < 0 && total != nullptr) *total = -HUGE_VAL;
  return code;
}

int CDBTask::DimNo2FilterID(int table, int kind, int ordinal) {
  return Silent([&] { return innerQ7DimNo2FilterID(table, kind, ordinal); });
}
