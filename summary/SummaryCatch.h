// The catch of the summary operations that report a failure as a code. (The code of a failure
// caught elsewhere in the summaries: CurrentNegativeFailureCode, foundation/FailureCode.h.)
//
// Thread safety: as the operation run; entering the error ring needs the API lock, which every
// caller holds.
#pragma once

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "q7api.h"

// Runs op and returns its result. A CQ7Exception gives its code, entered first under log_name
// (null: not entered) with entry_code (0: its own code) and text (null: its own message); a failed
// allocation gives Q7_ERROR_OUT_OF_MEMORY, entered under log_name as (Q7_ERROR_OUT_OF_MEMORY,
// "Out of memory"); anything else gives Q7_ERROR_UNKNOWN. Nothing throws out.
template <class Op>
int SummaryCaught(const char* log_name, int entry_code, const char* text, Op&& op) noexcept {
  try {
    return op();
  } catch (const CQ7Exception& e) {
    if (log_name != nullptr) {
      PutErrorLog(log_name, entry_code != 0 ? entry_code : e.ErrorCode(),
                  text != nullptr ? text : e.Message());
    }
    return e.ErrorCode();
  } catch (...) {
    return log_name != nullptr ? RecordedFailureCode(log_name) : CurrentFailureCode();
  }
}
