// Exported searches by a condition written as text.
#include "api/frame/frame.h"
#include "api/ops/ops_textquery.h"
#include "q7api.h"

Q7_EXPORT int RQ7SearchByText(int table, int set, const char* text) {
  return LightFrame([&] { return innerQ7SearchByText(table, set, text); });
}

Q7_EXPORT int RQ7SearchByTextSJIS(int table, int set, const char* text) {
  return LightFrame([&] { return innerRQ7SearchByTextSJIS(table, set, text); });
}

Q7_EXPORT int RQ7SearchByTextLocale(int table, int set, const char* text, int locale) {
  return LightFrame([&] { return innerRQ7SearchByTextLocale(table, set, text, locale); });
}
