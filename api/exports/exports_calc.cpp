// Exported calculations: a formula's values into a filter of a real table, or into the host's memory.
#include "api/frame/frame.h"
#include "api/ops/ops_calc.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7CalcReal(int table, int set, int filter, int from, int count, const char* formula,
                          char* message) {
  return CheckedFrame("RQ7CalcReal",
                      [&] { return DBTASK()->CalcReal(table, set, filter, from, count, formula, message); });
}
Q7_EXPORT int Q7CalcReal(int table, int set, int filter, int from, int count, const char* formula,
                         char** message) {
  return PlainFrame([&] { return innerQ7CalcReal(table, set, filter, from, count, formula, message); });
}

Q7_EXPORT int RQ7CalcPtr(int table, int set, int from, int count, const char* formula, int type, void* data,
                         unsigned long size, char* area, char* message) {
  return CheckedFrame("RQ7CalcPtr", [&] {
    return DBTASK()->CalcPtr(table, set, from, count, formula, type, data, size, area, message);
  });
}
