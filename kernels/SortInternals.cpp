#include "kernels/SortInternals.h"

void PrefixAndShareBuckets(int workers, int nBuckets, int* const* counts, bool descending, int slice,
                           int* bucketStart, int* shareFrom, int* shareEnd, char* flags) {
  int total = 0;
  int k = 0;
  int from = 0;
  bucketStart[0] = 0;
  for (int p = 0; p < nBuckets; ++p) {
    const int digit = descending ? nBuckets - 1 - p : p;
    const int before = total;
    for (int t = 0; t < workers; ++t) {
      const int c = counts[t][digit];
      counts[t][digit] = total;
      total += c;
    }
    bucketStart[p + 1] = total;
    if (flags) flags[total] = 1;
    if (k < workers && total != before && total > static_cast<int64_t>(k + 1) * slice) {
      shareFrom[k] = from;
      shareEnd[k] = p + 1;
      from = p + 1;
      ++k;
    }
  }
  if (k < workers) {
    shareFrom[k] = from;
    shareEnd[k] = nBuckets;
    for (int t = k + 1; t < workers; ++t) shareFrom[t] = shareEnd[t] = nBuckets;
  } else {
    shareEnd[workers - 1] = nBuckets;
  }
}
