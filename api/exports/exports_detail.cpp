// Exported detail-display calls. The operations record their own failures, so they run in the light
// frame, which holds the API lock that guards the one display.
#include "api/frame/frame.h"
#include "q7api.h"
#include "summary/DetailDisplay.h"

Q7_EXPORT int RQ7OpenDetailInfo(int table, int set, int column, int* data_type, int* entries,
                                int* occurring) {
  return LightFrame(
      [&] { return innerRQ7OpenDetailInfo(table, set, column, data_type, entries, occurring); });
}

Q7_EXPORT int RQ7GetDetailValue(int handle, int order, int reverse, int occurring_only, int row,
                                int* data_type, void* value) {
  return LightFrame(
      [&] { return innerRQ7GetDetailValue(handle, order, reverse, occurring_only, row, data_type, value); });
}

Q7_EXPORT int RQ7GetDetailValueStr(int handle, int order, int reverse, int occurring_only, int row,
                                   int* data_type, void* value) {
  return LightFrame([&] {
    return innerRQ7GetDetailValueStr(handle, order, reverse, occurring_only, row, data_type, value);
  });
}

Q7_EXPORT int RQ7GetDetailCount(int handle, int order, int reverse, int occurring_only, int row, int* count) {
  return LightFrame(
      [&] { return innerRQ7GetDetailCount(handle, order, reverse, occurring_only, row, count); });
}

Q7_EXPORT int RQ7CloseDetailInfo(int handle) {
  return LightFrame([&] { return innerRQ7CloseDetailInfo(handle); });
}
