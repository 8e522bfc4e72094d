// Exported calls that write summaries into real tables and inspect summary output tables. The
// operations record their own failures, so the RQ7 forms run in the light frame.
#include "api/exports/keep_sharp_names.h"
#include "api/frame/frame.h"
#include "api/ops/OpCommon.h"
#include "q7api.h"
#include "summary/SummaryOutput.h"
#include "summary/cube/SummaryHandles.h"

namespace {

constexpr int kAllMeasures = 31;

// An output of the summary in `handle` into a table: a stale handle is refused first (recorded
// under log_name unless it is null, as the call's other handle refusals are), and a success
// changes the database.
template <class Op>
int SummaryOutputCall(const char* log_name, int handle, Op&& op) {
  if (const int code = StaleSummaryRefusal(log_name, handle)) return code;
  return ChangedOnSuccess(Changes::kTables, op());
}

}  // namespace

Q7_EXPORT int RQ7SummaryIntoRealTable(int handle, int skip_empty) {
  return LightFrame([&] {
    KeepSharpNames keep;
    return SummaryOutputCall("Q7SummaryIntoRealTable", handle,
                             [&] { return innerQ7SummaryIntoRealTable(handle, kAllMeasures, skip_empty); });
  });
}
Q7_EXPORT int RQ7SummaryIntoRealTable2(int handle, int bits, int skip_empty) {
  return LightFrame([&] {
    KeepSharpNames keep;
    return SummaryOutputCall("Q7SummaryIntoRealTable", handle,
                             [&] { return innerQ7SummaryIntoRealTable(handle, bits, skip_empty); });
  });
}
Q7_EXPORT int Q7SummaryIntoRealTable(int handle, int bits, int skip_empty) {
  return PlainFrame([&] {
    return SummaryOutputCall("Q7SummaryIntoRealTable", handle,
                             [&] { return innerQ7SummaryIntoRealTable(handle, bits, skip_empty); });
  });
}
Q7_EXPORT int RQ7AppendSummaryToRealTable(int handle, int table, int bits, int skip_empty) {
  return LightFrame([&] {
    KeepSharpNames keep;
    return SummaryOutputCall(
        nullptr, handle, [&] { return innerQ7AppendSummaryToRealTable(handle, table, bits, skip_empty); });
  });
}

Q7_EXPORT int RQ7GetSumFilterAttr(int table, int filter, char* attr) {
  return LightFrame([&] { return innerQ7GetSumFilterAttr(table, filter, attr); });
}
Q7_EXPORT int RQ7SetSumFilterAttr(int table, int filter, const char* attr) {
  return LightFrame(
      [&] { return ChangedOnSuccess(Changes::kTables, innerQ7SetSumFilterAttr(table, filter, attr)); });
}
Q7_EXPORT int RQ7IsSummaryOutputTable(int table, int* dims, int* measures) {
  return LightFrame([&] { return innerQ7IsSummaryOutputTable(table, dims, measures); });
}
Q7_EXPORT int RQ7CalcTotal(int table, int set, int filter, int mode, double* total) {
  return LightFrame([&] { return innerQ7CalcTotal(table, set, filter, mode, total); });
}
Q7_EXPORT int RQ7DimNo2FilterID(int table, int kind, int ordinal) {
  return LightFrame([&] { return innerQ7DimNo2FilterID(table, kind, ordinal); });
}
