// The parallel task's calculation slots: a formula's values into a filter of the table, or into the
// host's memory.
#include <cstring>

#include "api/ops/OpCommon.h"
#include "api/task/CDBParallelTask.h"
#include "database/TRealTable.h"

namespace {

// The parse-error text the calculators hand out lives in a buffer of this size; the host's message
// buffer is at least as large.
constexpr size_t kMessageSize = 512;

void CopyMessage(char* message, const char* text) {
  if (message == nullptr) return;
  const size_t length = strnlen(text, kMessageSize - 1);
  memcpy(message, text, length);
  message[length] = '\0';
}

// The two calculators in turn over the table's merged values. first(&text) is the four-operation
// calculator, second() the function-call one; neither failure is recorded here.
template <class First, class Second>
int RunCalculators(TRealTable* table, char* message, First&& first, Second&& second) {
  table->CheckMergeFilterTVL(true);
  char* text = nullptr;
  const int result = first(&text);
  if (text != nullptr) CopyMessage(message, text);
  if (result == 0 || result == Q7_ERROR_UNKNOWN || result == Q7_ERROR_OUT_OF_MEMORY) return result;
  const int fallback = second();
  if (fallback != 0) return fallback;
  CopyMessage(message, "");
  return 0;
}

}  // namespace

int CDBParallelTask::CalcReal(int table_id, int set_id, int filter_id, int first_row, int count,
                              const char* formula, char* message) {
  constexpr char kLog[] = "RQ7CalcReal";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        TBaseTable* table = FindTable(kLog, table_id);
        RefuseShared(table);
        TRealTable* real = RequireReal(kLog, table);
        CheckHostPointer(formula, "Formula");
        return RunCalculators(
            real, message,
            [&](char** text) {
              return real->MppCalculate(set_id, filter_id, first_row, count, formula, text);
            },
            [&] { return real->MppIntegratedCalc(set_id, filter_id, first_row, count, formula); });
      }));
}

int CDBParallelTask::CalcPtr(int table_id, int set_id, int first_row, int count, const char* formula,
                             int result_type, void* data, unsigned long size, char* area, char* message) {
  constexpr char kLog[] = "RQ7CalcPtr";
  return RunOp(kLog, [&] {
    // Reading shared tables is allowed: nothing of the table is written.
    TRealTable* real = FindRealTable(kLog, table_id);
    CheckHostPointer(formula, "Formula");
    CheckHostPointer(data, "Data");
    // Without an area no text fits: string results then fail as too large instead of being written
    // through a null pointer.
    const unsigned long area_size = area == nullptr ? 0 : size;
    return RunCalculators(
        real, message,
        [&](char** text) {
          return real->MppCalcPtr(set_id, first_row, count, formula, result_type, data,
                                  static_cast<int>(area_size), area, text);
        },
        [&] {
          return real->MppIntegratedCalcPtr(set_id, first_row, count, formula, result_type, data, area_size,
                                            area);
        });
  });
}
