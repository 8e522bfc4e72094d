// The rules every value search reads an operation by. The codes themselves are the exported
// header's Q7SearchOp (Q7_SEARCH_EQUAL ... Q7_SEARCH_IS_NULL): the host, the operation layer and
// the searches name them from that one enumeration, so they cannot drift apart.
//
// An operation is a code in its low seven bits plus the flag Q7_SEARCH_NULL_BOUND_EMPTY. With the
// flag, a NULL bound on a numeric filter gives an empty result and no complement holds NULL rows
// (TSetArray.h states the NULL rules in full). Bounds: `from` is read by every code but IS NULL,
// `to` only by BETWEEN and STRICTLY BETWEEN; a bound is one value of the filter's storage type,
// or the NUL-terminated text itself on a STRING filter.
#pragma once

#include "q7api.h"

inline constexpr int kSearchCodeMask = 0x7F;
inline constexpr int kSearchNullBoundEmpty = Q7_SEARCH_NULL_BOUND_EMPTY;
// Codes above it are refused.
inline constexpr int kLastSearchCode = Q7_SEARCH_IS_NULL;

static_assert((kSearchCodeMask & kSearchNullBoundEmpty) == 0, "the flag lies outside the code bits");
static_assert(kLastSearchCode <= kSearchCodeMask, "every code fits the code bits");

constexpr int SearchCode(int op) { return op & kSearchCodeMask; }
constexpr bool NullBoundEmpty(int op) { return (op & kSearchNullBoundEmpty) != 0; }
constexpr bool SearchReadsFrom(int code) { return code != Q7_SEARCH_IS_NULL; }
constexpr bool SearchReadsTo(int code) {
  return code == Q7_SEARCH_BETWEEN || code == Q7_SEARCH_STRICTLY_BETWEEN;
}
