// The real table's four-operation calculations: one TCalculator per request, its results written
// into the target filter (Calculate, MppCalculate) or into the caller's memory (MppCalcPtr).
#include <memory>

#include "calc/CalcServices.h"
#include "calc/TCalculator.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/FailureCode.h"

namespace {

void HandOutParseError(char** message) {
  FPCParseError[0] = '\0';
  if (message != nullptr) *message = FPCParseError;
}

// Calculate and MppCalculate: compile, run (serially or on the pool) and write the results.
int CalculateInto(TRealTable* table, bool parallel, int set_id, int filter_id, int first_row, int count,
                  const char* formula, char** message) {
  HandOutParseError(message);
  return CodedResult([&] {
    // A join over the table reads these rows: the table must not change while it exists.
    TTableCollection* tables = table->Collection();
    if (tables != nullptr && tables->IsReferred(table->FTableID))
      return static_cast<int>(Q7_ERROR_NOT_EDITABLE);
    auto calc = std::make_unique<TCalculator>();
    calc->FTable = table;
    int rc = calc->Setup(set_id, filter_id, first_row, count, const_cast<char*>(formula));
    if (rc == 0) rc = calc->Compiler(table);
    if (rc == 0) rc = parallel ? calc->MppRun() : calc->Run();
    if (rc < 0) return rc;
    void* data = calc->FResultType == Q7_TYPE_INTEGER  ? static_cast<void*>(calc->FIntResults)
                 : calc->FResultType == Q7_TYPE_DOUBLE ? static_cast<void*>(calc->FDblResults)
                                                       : static_cast<void*>(calc->FNumResults);
    const CalcOverwriteFn overwrite = GetCalcOverwrite();
    if (overwrite != nullptr) {
      rc = overwrite(table->FTableID, set_id, filter_id, first_row, count, data);
    } else {
      rc = parallel ? table->MppOverWriteEx(set_id, filter_id, first_row, count, data)
                    : table->OverWriteEx(set_id, filter_id, first_row, count, data);
    }
    return rc < 0 ? rc : 0;
  });
}

}  // namespace

int TRealTable::Calculate(int set_id, int filter_id, int first_row, int count, const char* formula,
                          char** message) {
  return CalculateInto(this, false, set_id, filter_id, first_row, count, formula, message);
}

int TRealTable::MppCalculate(int set_id, int filter_id, int first_row, int count, const char* formula,
                             char** message) {
  return CalculateInto(this, true, set_id, filter_id, first_row, count, formula, message);
}

int TRealTable::MppCalcPtr(int set_id, int first_row, int count, const char* formula, int result_type,
                           void* buffer, int, char*, char** message) {
  HandOutParseError(message);
  return CodedResult([&] {
    auto calc = std::make_unique<TCalculator>();
    // The results go to the caller's buffer, which the calculator must never free.
    calc->FOwner = 0;
    calc->FTable = this;
    int rc = calc->SetupForPtr(set_id, first_row, count, const_cast<char*>(formula), result_type);
    if (rc == 0) rc = calc->Compiler(this);
    if (rc == 0) rc = calc->MppRunForPtr(buffer, result_type);
    return rc < 0 ? rc : 0;
  });
}
