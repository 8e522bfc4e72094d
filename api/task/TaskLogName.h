// Running an operation-layer function as a task-object operation. Many task operations do what an
// innerQ7* function does but record under a log name of their own ("RQ7LoadDB" where the
// operation layer writes "Q7LoadDB"). UnderLogName runs the function and then renames the ring
// entries it wrote under its ring name; the entries of lower layers ("GetTable", the table's own)
// keep theirs.
//
// Thread safety: call under the API lock, as the ring and the collection rely on it.
#pragma once

#include <cstring>
#include <type_traits>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"

namespace task_detail {

// The slot the ring's next entry will take.
inline int NextSlot(const ErrorRing& ring) {
  return ring.writeIndex > ErrorRing::kSlots - 1 ? 0 : ring.writeIndex;
}

// Renames the entries written from slot `first` on whose name is from_name. A call writes far
// fewer than kSlots entries, so the slots between first and the write index are exactly its own.
inline void RenameEntries(ErrorRing* ring, int first, const char* from_name, const char* to_name) {
  const int end = NextSlot(*ring);
  for (int slot = first; slot != end; slot = (slot + 1) % ErrorRing::kSlots) {
    if (strcmp(ring->funcName[slot], from_name) == 0) {
      qz7_strlcpy(ring->funcName[slot], to_name, ErrorRing::kNameSize);
    }
  }
}

}  // namespace task_detail

// Runs call (an operation-layer function that catches everything itself) and files the entries it
// recorded under inner_name as log_name's. Returns call's result.
template <class Call>
auto UnderLogName(const char* log_name, const char* inner_name, Call&& call) -> std::invoke_result_t<Call&> {
  ErrorRing* ring = GetErrorRing();
  const int first = ring != nullptr ? task_detail::NextSlot(*ring) : 0;
  auto result = call();
  if (ring != nullptr && strcmp(log_name, inner_name) != 0) {
    task_detail::RenameEntries(ring, first, inner_name, log_name);
  }
  return result;
}
