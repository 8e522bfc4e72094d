// The operation layer's serial calculation: a new column computed from a formula over a set.
#include "api/ops/ops_calc.h"

#include "api/ops/OpCommon.h"
#include "database/TRealTable.h"

int innerQ7CalcReal(int table_id, int set_id, int filter_id, int first_row, int count, const char* formula,
                    char** message) {
  constexpr char kLog[] = "Q7CalcReal";
  return RunOp(kLog, [&] {
    TBaseTable* table = FindTable(kLog, table_id);
    RefuseShared(table);
    TRealTable* real = RequireReal(kLog, table);
    CheckHostPointer(formula, "Formula");
    // The calculator writes its text pointer here even when the host passed no place for it.
    char* text = nullptr;
    const int first = real->Calculate(set_id, filter_id, first_row, count, formula, &text);
    if (message != nullptr) *message = text;
    if (first == 0 || first == Q7_ERROR_OUT_OF_MEMORY || first == Q7_ERROR_UNKNOWN) {
      return CheckInner(kLog, first);
    }
    const int second = real->IntegratedCalc(set_id, filter_id, first_row, count, formula);
    if (second != 0) return CheckInner(kLog, second);
    if (message != nullptr) *message = nullptr;
    return 0;
  });
}
