// Exported cube-summary calls: the handles, their execution, cell and category-name reads. The
// operations record their own failures, so the RQ7 forms run in the light frame.
#include <cstdio>
#include <cstring>

#include "api/frame/frame.h"
#include "foundation/ErrorRing.h"
#include "q7api.h"
#include "summary/cube/SummaryHandles.h"

namespace {

// Hosts pass their dimension records this many ints apart; only the first int, the filter ID, is
// read.
constexpr int kHostDimStride = 518;
constexpr int kHostNameSize = 128;

}  // namespace

Q7_EXPORT int RQ7GetN_Summary(void) {
  return LightFrame([&] { return innerQ7GetN_Summary(); });
}
Q7_EXPORT int Q7GetN_Summary(void) {
  return PlainFrame([&] { return innerQ7GetN_Summary(); });
}

Q7_EXPORT int RQ7SummaryOpen(int handle, int table, int set, int count, const void* dims, int measure) {
  return LightFrame([&] {
    if (count < 0 || count > Q7_SUMMARY_MAX_DIMS) {
      char text[64];
      snprintf(text, sizeof text, "Invalid Parameter : nDim(%d)", count);
      PutErrorLog("RQ7SummaryOpen", Q7_ERROR_OUT_OF_RANGE, text);
      return static_cast<int>(Q7_ERROR_OUT_OF_RANGE);
    }
    if (count > 0 && dims == nullptr) {
      PutErrorLog("RQ7SummaryOpen", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Dims");
      return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    }
    _TDimensionDef local[Q7_SUMMARY_MAX_DIMS] = {};
    const auto* host = static_cast<const int*>(dims);
    for (int d = 0; d < count; ++d) local[d].column_id = host[static_cast<size_t>(d) * kHostDimStride];
    return innerQ7SummaryOpen(handle, table, set, count, local, measure);
  });
}
Q7_EXPORT int Q7SummaryOpen(int handle, int table, int set, int count, _TDimensionDef* dims, int measure) {
  return PlainFrame([&] { return innerQ7SummaryOpen(handle, table, set, count, dims, measure); });
}

Q7_EXPORT int RQ7SummaryStatus(int handle, int* table, int* set, int* count, _TDimensionDef* dims,
                               int* measure, int* computed) {
  return LightFrame([&] { return innerQ7SummaryStatus(handle, table, set, count, dims, measure, computed); });
}
Q7_EXPORT int Q7SummaryStatus(int handle, int* table, int* set, int* count, _TDimensionDef* dims,
                              int* measure, int* computed) {
  return PlainFrame([&] { return innerQ7SummaryStatus(handle, table, set, count, dims, measure, computed); });
}

Q7_EXPORT int RQ7SummaryExec(int handle, int measures, int* computed) {
  return LightFrame([&] { return innerQ7SummaryExec(handle, measures, computed); });
}
Q7_EXPORT int Q7SummaryExec(int handle, int measures, int* computed) {
  return PlainFrame([&] { return innerQ7SummaryExec(handle, measures, computed); });
}

Q7_EXPORT int RQ7SummaryRead(int handle, int bit, const int* categories, int* result_type, int* count,
                             int* value_type, void* value) {
  return LightFrame([&] {
    // The host's buffer is written only after the read, so a missing one is refused first.
    if (value == nullptr) return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    void* where = nullptr;
    NumericInfo* info = nullptr;
    const int result =
        innerQ7SummaryRead2(handle, bit, categories, result_type, value_type, count, &where, &info);
    if (where != nullptr) CopySummaryValue(*value_type, where, info, value);
    return result;
  });
}
Q7_EXPORT int Q7SummaryRead(int handle, int bit, const int* categories, int* result_type, int* value_type,
                            int* count, void** value) {
  return PlainFrame(
      [&] { return innerQ7SummaryRead(handle, bit, categories, result_type, value_type, count, value); });
}

Q7_EXPORT int RQ7CategoryRead(int handle, int dim, int category, char* name) {
  return LightFrame([&] {
    if (name == nullptr) return static_cast<int>(Q7_ERROR_INVALID_PARAMETER);
    name[0] = '\0';
    char* text = nullptr;
    int callback_result = 0;
    const int result = innerQ7CategoryRead(handle, dim, category, &text, &callback_result);
    if (text != nullptr) {
      std::strncpy(name, text, kHostNameSize - 1);
      name[kHostNameSize - 1] = '\0';
    }
    return result;
  });
}
Q7_EXPORT int Q7CategoryRead(int handle, int dim, int category, char** name, int* callback_result) {
  return PlainFrame([&] { return innerQ7CategoryRead(handle, dim, category, name, callback_result); });
}
Q7_EXPORT const char* RQ7CategoryReadR1(int handle, int dim, int category) {
  return LockedValueFrame(static_cast<const char*>(kEmptyText), [&]() -> const char* {
    char* text = nullptr;
    int callback_result = 0;
    innerQ7CategoryRead(handle, dim, category, &text, &callback_result);
    return text != nullptr ? text : kEmptyText;
  });
}

Q7_EXPORT int RQ7SummaryClose(int handle) {
  return LightFrame([&] { return innerQ7SummaryClose(handle); });
}
Q7_EXPORT int Q7SummaryClose(int handle) {
  return PlainFrame([&] { return innerQ7SummaryClose(handle); });
}
