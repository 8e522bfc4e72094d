// Turning a failure thrown inside the engine into the negative code a caller returns, for the
// places that answer with a code instead of letting the failure travel on. Which levels catch
// what on a throw's way to the host: api/frame/frame.h.
#pragma once

#include <new>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"

// The message of the ring entry that records a failed allocation.
inline constexpr char kOutOfMemoryText[] = "Out of memory";

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

// As CurrentFailureCode, for callers whose result reads a code of 0 or more as success: a
// CQ7Exception carrying such a code gives Q7_ERROR_UNKNOWN. Only inside a catch block.
inline int CurrentNegativeFailureCode() noexcept {
  const int code = CurrentFailureCode();
  return code < 0 ? code : static_cast<int>(Q7_ERROR_UNKNOWN);
}

// For the catches that record an engine failure under ring_name, in their catch (...) after the
// CQ7Exception's handler: a failed allocation is recorded as (ring_name, Q7_ERROR_OUT_OF_MEMORY,
// "Out of memory") and gives that code, so that a host short of memory is told so; anything else
// gives Q7_ERROR_UNKNOWN, unrecorded, having no message to tell. Needs the API lock (the ring's).
inline int RecordedFailureCode(const char* ring_name) noexcept {
  const int code = CurrentFailureCode();
  if (code == Q7_ERROR_OUT_OF_MEMORY) PutErrorLog(ring_name, code, kOutOfMemoryText);
  return code;
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
