// Exported compiles of raw value arrays. They touch no database and keep no shared state, so they
// run without the API lock; a failure comes back as its code and leaves no ring entry.
#include "api/frame/frame.h"
#include "q7api.h"
#include "summary/MultiWayCompile.h"

namespace {

template <class Op>
int UnlockedCode(Op&& op) noexcept {
  return frame_detail::Unrecorded(op);
}

}  // namespace

Q7_EXPORT int iCompileInt(int n, int fan_in, const int* values, int** numbers, int** distinct) {
  return UnlockedCode([&] { return MultiWayCompileInt(n, fan_in, values, numbers, distinct); });
}

Q7_EXPORT int iCompileFloat(int n, int fan_in, const double* values, int** numbers, double** distinct) {
  return UnlockedCode([&] { return MultiWayCompileFloat(n, fan_in, values, numbers, distinct); });
}

Q7_EXPORT int iCompileString(int n, int fan_in, char** texts, int** numbers, char*** distinct) {
  return UnlockedCode(
      [&] { return MultiWayCompileString(n, fan_in, texts, numbers, const_cast<const char***>(distinct)); });
}

Q7_EXPORT int iCompileNumeric(int n, int fan_in, const Numeric* values, int** numbers, Numeric** distinct) {
  return UnlockedCode([&] { return MultiWayCompileNumeric(n, fan_in, values, numbers, distinct); });
}
