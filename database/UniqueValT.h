// The unique-value record: a carrier of the outputs of a unique-value pass over n rows (a result
// count, a set of rows and two integer buffers of n + 1 entries), filled by InitUniqueValT and
// handed out piece by piece by ReflectUniqueValT.
//
// Ownership: every buffer is a zpk_malloc block (foundation/zpk_memory.h) and the set a TSetArray;
// the record owns them from InitUniqueValT until ReflectUniqueValT hands each over or frees it.
// The record does not free anything by itself. Thread safety: none; one record per caller.
#pragma once

#include <cstdint>

class TSetArray;

struct unique_val_t {
  int32_t count;         // 0 after InitUniqueValT
  int32_t result_count;  // what ReflectUniqueValT reports
  int* buffer;           // the record's own buffer (zpk_malloc), set by its user; may be null
  TSetArray* set;        // an empty set after InitUniqueValT
  int* first;            // n + 1 integers, zero-filled
  int* second;           // n + 1 integers
  int* first_again;      // the same two buffers again
  int* second_again;
  int32_t flag;  // 1 after InitUniqueValT
};

// Sets count and result_count to 0, buffer to null and flag to 1, allocates the two buffers of
// n + 1 integers (the first zero-filled; a negative n counts as 0) into both pairs of fields and
// creates an empty set. Q7_ERROR_OUT_OF_MEMORY is thrown with nothing left allocated and the
// record unchanged.
void InitUniqueValT(unique_val_t* u, int n);

// Hands the record's outputs over, each argument being optional (null):
//  - *count receives the result count;
//  - *set receives the set, else the set is deleted;
//  - *buffer receives the first buffer, else it is freed; the second buffer is always freed;
//  - when *oldBuffer holds a buffer, that buffer is freed and replaced by the record's own buffer;
//    otherwise the record's own buffer is freed.
// Afterwards the record holds no buffer and no set, so a second call hands over nothing.
void ReflectUniqueValT(unique_val_t* u, int* count, int** buffer, TSetArray** set, int** oldBuffer);
