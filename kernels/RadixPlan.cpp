// Radix plans: splitting a key of value numbers into digits for the parallel radix sorts.
#include "kernels/RadixPlan.h"

#include <algorithm>
#include <cstring>

#include "kernels/CountingSort.h"
#include "kernels/KernelPool.h"

namespace {

// Doublings from 1 that reach q, minus 1; -1 below 2.
int Doublings(int64_t q) {
  if (q < 2) return -1;
  int k = 0;
  while ((int64_t{1} << k) < q) ++k;
  return k - 1;
}

int32_t LowBits(int bits) {
  if (bits <= 0) return 0;
  if (bits >= 32) return -1;
  return static_cast<int32_t>((uint32_t{1} << bits) - 1);
}

// high and low bits of a two-digit split of a key of `bits` bits.
void SplitTwoDigits(int nValues, int n, int cache_size, int line_size, int bits, int* high, int* low) {
  // A figure below 1 would divide by zero; the engine's defaults stand in.
  if (cache_size < 1) cache_size = 1048576;
  if (line_size < 1) line_size = 64;
  const int d1 = Doublings(cache_size / (5 * static_cast<int64_t>(line_size)));
  // Rows per value. A single-value key (nValues 1) counts as one value rather than dividing by 0.
  const int64_t per_value = n / std::max<int64_t>(int64_t{nValues} - 1, 1);
  const int64_t by_line = cache_size / (4 * static_cast<int64_t>(line_size));
  const int64_t by_rows = per_value == 0 ? cache_size / 16 : cache_size / (16 * per_value);
  const int d2 = Doublings(std::max(by_line, by_rows));
  const int s = d1 + d2;
  int h, l;
  if (bits <= s) {
    l = d2 - (s - bits) / 2;
    h = bits - l;
  } else {
    h = d1 + (bits - s) / 2;
    l = bits - h;
  }
  if (h < 4) {
    h = 4;
    l = bits - 4;
  }
  // A key narrower than 4 bits would leave a negative low digit, i.e. negative shifts: the low
  // digit is then empty and the top digit takes the whole key.
  if (l < 0) l = 0;
  *high = h;
  *low = l;
}

}  // namespace

int BuildRadixPlan(int nValues, int n, int cache_size, int line_size, _RADIX_INFO_* plan) {
  const int bits = ConvertFromVLtoBitsize(static_cast<unsigned>(std::max(nValues - 1, 0)));
  int high, low;
  SplitTwoDigits(nValues, n, cache_size, line_size, bits, &high, &low);
  std::memset(plan, 0, sizeof *plan);
  plan->totalBits = high + low;
  plan->allMask = LowBits(plan->totalBits);
  plan->belowTopMask = LowBits(low);
  plan->topMask =
      static_cast<int32_t>(static_cast<uint32_t>(plan->allMask) - static_cast<uint32_t>(plan->belowTopMask));
  plan->topShift = low;
  plan->maxTop = static_cast<int32_t>(static_cast<uint32_t>(plan->topMask) >> low);
  plan->topBits = high;
  return 2;
}

int BuildNFilterRadixPlan(int nValues, int n, int cache_size, int line_size, _RADIX_INFO_* plan) {
  const int bits = ConvertFromVLtoBitsize(static_cast<unsigned>(std::max(nValues - 1, 0)));
  if (bits < 28) {
    BuildRadixPlan(nValues, n, cache_size, line_size, plan);
    plan->topBits = 0;
    return 2;
  }
  const int t = (bits - 4) / 3;
  const int low = bits - 2 * t;
  std::memset(plan, 0, sizeof *plan);
  plan->totalBits = bits;
  plan->topBits = t;
  plan->midBits = t;
  plan->maxTop = LowBits(t);
  plan->maxMid = LowBits(t);
  plan->topShift = low + t;
  plan->topShift3 = low + t;
  plan->midShift = low;
  plan->allMask = LowBits(bits);
  plan->belowTopMask = LowBits(low + t);
  plan->belowTopMask3 = plan->belowTopMask;
  plan->lowMask = LowBits(low);
  plan->midMask =
      static_cast<int32_t>(static_cast<uint32_t>(LowBits(low + t)) - static_cast<uint32_t>(LowBits(low)));
  plan->topMask =
      static_cast<int32_t>(static_cast<uint32_t>(plan->allMask) - static_cast<uint32_t>(plan->belowTopMask));
  return 3;
}

int build_radix_info(int nValues, int n, _RADIX_INFO_* plan) {
  return BuildRadixPlan(nValues, n, KernelL2CacheSize(), KernelCacheLineSize(), plan);
}

int build_n_filter_radix_info(int nValues, int n, _RADIX_INFO_* plan) {
  return BuildNFilterRadixPlan(nValues, n, KernelL2CacheSize(), KernelCacheLineSize(), plan);
}
