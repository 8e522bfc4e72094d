// The task object's find and high-speed-search operations: opening, stepping through and closing
// the one find of a real table, and the sorted views of a set by a filter. Each is the operation
// layer's, filed under the task's log name; the refusals the task treats otherwise are judged here.
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_find.h"
#include "api/ops/ops_scale.h"
#include "api/task/CDBTask.h"
#include "api/task/TaskLogName.h"
#include "foundation/CQ7Exception.h"

namespace {

// The longest text a string find takes, without its zero.
constexpr size_t kMaxFindText = 4096;

bool TooLong(const char* text) { return text != nullptr && strnlen(text, kMaxFindText + 1) > kMaxFindText; }

}  // namespace

int CDBTask::OpenStrFindReal(int table_id, int filter_id, int kind, char* text1, char* text2) {
  constexpr char kLog[] = "RQ7OpenStrFindReal";
  // A text too long is refused without an entry, after the table checks.
  const int checked = RunOp(kLog, [&] {
    FindRealTable(kLog, table_id);
    if (TooLong(text1) || TooLong(text2)) RefuseSilently(Q7_ERROR_STRING_SIZE_OVERFLOW);
    return 0;
  });
  if (checked < 0) return checked;
  return UnderLogName(kLog, "Q7OpenStrFindReal",
                      [&] { return innerQ7OpenStrFindReal(table_id, filter_id, kind, text1, text2); });
}

int CDBTask::OpenStrFindRealSJIS(int table_id, int filter_id, int kind, char* text1, char* text2) {
  return OpenStrFindReal(table_id, filter_id, kind, text1, text2);
}

int CDBTask::OpenIntFindReal(int table_id, int filter_id, int kind, int from, int to) {
  return UnderLogName("RQ7OpenIntFindReal", "Q7OpenIntFindReal",
                      [&] { return innerQ7OpenIntFindReal(table_id, filter_id, kind, from, to); });
}

int CDBTask::OpenFloatFindReal(int table_id, int filter_id, int kind, double from, double to) {
  return UnderLogName("RQ7OpenFloatFindReal", "Q7OpenFloatFindReal",
                      [&] { return innerQ7OpenFloatFindReal(table_id, filter_id, kind, from, to); });
}

int CDBTask::GetNextHitReal(int table_id, int find_id, int set_id, int from, int dir, int* filter_id,
                            int* pos) {
  return UnderLogName("RQ7GetNextHitReal", "Q7GetNextHitReal", [&] {
    return innerQ7GetNextHitReal(table_id, find_id, set_id, from, dir, filter_id, pos);
  });
}

int CDBTask::FindRecNoReal(int table_id, int set_id, int rec_no) {
  return UnderLogName("RQ7FindRecNoReal", "Q7FindRecNoReal",
                      [&] { return innerQ7FindRecNoReal(table_id, set_id, rec_no); });
}

int CDBTask::GetFindStatus(int table_id, int* hits, int* filter_id) {
  return UnderLogName("RQ7GetFindStatus", "Q7GetFindStatus",
                      [&] { return innerQ7GetFindStatus(table_id, hits, filter_id); });
}

int CDBTask::CloseFindReal(int table_id) {
  return UnderLogName("RQ7CloseFindReal", "Q7CloseFindReal", [&] { return innerQ7CloseFindReal(table_id); });
}

// ---- High-speed search ----

int CDBTask::HighSpeedSearchEnable(int table_id, int filter_id, bool on) {
  constexpr char kLog[] = "RQ7HighSpeedSearchEnable";
  // Without a database the failure is the frame's: its code with no text.
  if (CurrentDatabase() == nullptr) {
    return RunOp(kLog, []() -> int { throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE); });
  }
  return UnderLogName(kLog, "innerQ7HighSpeedSearchEnable",
                      [&] { return innerQ7HighSpeedSearchEnable(table_id, filter_id, on); });
}

int CDBTask::HighSpeedSearchIsEnabled(int table_id, int filter_id) {
  constexpr char kLog[] = "RQ7HighSpeedSearchIsEnabled";
  const int result = UnderLogName(kLog, "innerQ7HighSpeedSearchIsEnabled",
                                  [&] { return innerQ7HighSpeedSearchIsEnabled(table_id, filter_id); });
  // The operation layer refuses a bad filter ID without an entry; this operation names the cause.
  if (result == Q7_ERROR_ILLEGAL_FILTER) PutErrorLog(kLog, Q7_ERROR_ILLEGAL_FILTER, "Invalid Filter");
  return result;
}

int CDBTask::HighSpeedSearchSetMark(int table_id, int set_id, int filter_id, bool on) {
  return UnderLogName("RQ7HighSpeedSearchSetMark", "innerQ7HighSpeedSearchSetMark",
                      [&] { return innerQ7HighSpeedSearchSetMark(table_id, set_id, filter_id, on); });
}

int CDBTask::HighSpeedSearchHasMark(int table_id, int set_id, int filter_id) {
  return UnderLogName("RQ7HighSpeedSearchHasMark", "innerQ7HighSpeedSearchHasMark",
                      [&] { return innerQ7HighSpeedSearchHasMark(table_id, set_id, filter_id); });
}
