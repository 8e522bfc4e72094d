// The catch of the summary operations that report a failure as a code.
//
// Thread safety: as the operation run; entering the error ring needs the API lock, which every
// caller holds.
#pragma once

#include <new>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "q7api.h"

// The code of the exception being handled, for the summary roads that report a failure as a
// negative code: a CQ7Exception's own code when it is negative, else Q7_ERROR_UNKNOWN;
// Q7_ERROR_OUT_OF_MEMORY for a failed allocation; Q7_ERROR_UNKNOWN for anything else. Call it
// only inside a catch block.
inline int CaughtFailureCode() noexcept {
  try {
    throw;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (const std::bad_alloc&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// Runs op and returns its result. A CQ7Exception gives its code, entered first under log_name
// (null: not entered) with entry_code (0: its own code) and text (null: its own message); anything
// else gives Q7_ERROR_UNKNOWN. Nothing throws out.
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
    return Q7_ERROR_UNKNOWN;
  }
}
