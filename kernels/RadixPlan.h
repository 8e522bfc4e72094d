// Radix plans: how the parallel radix sorts split a key of value numbers into digits so that a
// worker's counters and its active output lines stay inside the level-2 cache.
//
// build_radix_info always plans two digits (a top digit whose buckets are shared out among the
// workers, and a low digit sorted within each bucket); build_n_filter_radix_info plans three
// digits for keys of 28 bits and more. Both read the engine's level-2 cache size and cache line
// size (CSmpEngine::L2CacheSize / CacheLineSize; tests set them with SetCacheFigures).
//
// Thread safety: pure functions of their arguments and the engine's figures.
#pragma once

#include <cstdint>

// Fourteen 32-bit fields, in this order. Masks are bit patterns (the 32-bit all-ones mask reads
// as -1). The fields marked "three digits" stay 0 in a two-digit plan.
struct _RADIX_INFO_ {
  int32_t maxTop;         // largest value of the top digit (2^topBits - 1)
  int32_t maxMid;         // three digits: largest value of the middle digit
  int32_t totalBits;      // bits of a key
  int32_t topBits;        // bits of the top digit (informational)
  int32_t topShift;       // right shift that brings the top digit down
  int32_t allMask;        // all key bits
  int32_t belowTopMask;   // bits below the top digit (the low digit of a two-digit plan)
  int32_t topMask;        // the top digit's bits
  int32_t topShift3;      // three digits: topShift again
  int32_t midBits;        // three digits: bits of the middle digit
  int32_t midShift;       // three digits: right shift of the middle digit (= bits of the low digit)
  int32_t belowTopMask3;  // three digits: belowTopMask again
  int32_t lowMask;        // three digits: the low digit's bits
  int32_t midMask;        // three digits: the middle digit's bits
};

// Two-digit plan for keys 0 .. nValues-1 over n rows, from the engine's cache figures; returns 2.
// With the default figures (1 MiB, 64 bytes) build_radix_info(100000, 1000000, &p) gives a top
// digit of 8 bits over a low digit of 9 bits (maxTop 255).
int build_radix_info(int nValues, int n, _RADIX_INFO_* plan);

// As build_radix_info while the key has fewer than 28 bits (returns 2; topBits left 0); from 28
// bits on a three-digit plan with t = (bits - 4) / 3 bits for the top and middle digits and the
// rest for the low digit (returns 3).
int build_n_filter_radix_info(int nValues, int n, _RADIX_INFO_* plan);

// The planning arithmetic with explicit cache figures (what the two functions above run).
int BuildRadixPlan(int nValues, int n, int cache_size, int line_size, _RADIX_INFO_* plan);
int BuildNFilterRadixPlan(int nValues, int n, int cache_size, int line_size, _RADIX_INFO_* plan);
