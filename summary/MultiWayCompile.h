// Compiling a raw value array into a column's two parts without moving the input: a dense value
// number per input position and the ascending list of distinct values.
//
// The positions start as blocks of one; blocks are merged bottom-up, up to k at a time, by merging
// their sorted distinct lists and renumbering the positions of the merged block, until one block
// covers every position (about log_k(n) passes, each touching every position once).
//
// Arguments of every form: n values, fan-in k, the input, and two out pointers. On success
// *numbers receives n ints (0 .. d-1, numbered in ascending value order), *distinct the d distinct
// values ascending, and d is returned; both blocks come from zpk_malloc and belong to the caller
// (zpk_free). Equal values share one number whatever block they start in, so the result does not
// depend on k.
//
// Refusals, with nothing allocated and both out pointers set to null (when given): n < 1 returns
// -1; k < 2 or k > 1024 returns -2; a null input or out pointer (or, for texts, a null text)
// throws CQ7Exception(Q7_ERROR_INVALID_PARAMETER). Exhaustion throws
// CQ7Exception(Q7_ERROR_OUT_OF_MEMORY); every work block is freed on every path.
//
// Orders: ints by signed comparison; doubles by <, every NaN equal to every other NaN and below
// every number (so a NaN lands first however the blocks meet); texts by strcmp, the distinct list
// holding pointers to input texts (which must outlive it); decimals by the engine's decimal order
// (NaN first). Among equal values the distinct list keeps the one of the lowest position.
//
// Thread safety: serial, no shared state; any number of calls may run at once.
#pragma once

#include "q7api.h"

int MultiWayCompileInt(int n, int k, const int32_t* values, int32_t** numbers, int32_t** distinct);
int MultiWayCompileFloat(int n, int k, const double* values, int32_t** numbers, double** distinct);
int MultiWayCompileString(int n, int k, const char* const* texts, int32_t** numbers, const char*** distinct);
int MultiWayCompileNumeric(int n, int k, const Numeric* values, int32_t** numbers, Numeric** distinct);
