// Turning a failure thrown inside the engine into the negative code a caller returns, for the
// places that answer with a code instead of letting the failure travel on.
#pragma once

#include <new>

#include "foundation/CQ7Exception.h"

// The code of the failure being handled: its own code for a CQ7Exception, Q7_ERROR_OUT_OF_MEMORY
// for a failed allocation, Q7_ERROR_UNKNOWN for anything else. Only inside a catch block: with no
// failure being handled there is nothing to rethrow and the process ends.
inline int CurrentFailureCode() noexcept {
  try {
    throw;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (const std::bad_alloc&) {
    return Q7_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

// Runs body and returns its result, or the code of what it throws.
template <class F>
int CodedResult(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return CurrentFailureCode();
  }
}
