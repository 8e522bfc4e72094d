// Pieces shared by this folder's parallel sorts.
#include "kernels/SortInternals.h"

void PrefixAndShareBuckets(int workers, int n_buckets, int* const* counts, bool descending, int slice,
                           int* bucket_start, int* share_from, int* share_end, char* flags) {
  int total = 0;
  int k = 0;
  int from = 0;
  bucket_start[0] = 0;
  for (int p = 0; p < n_buckets; ++p) {
    const int digit = descending ? n_buckets - 1 - p : p;
    const int before = total;
    for (int t = 0; t < workers; ++t) {
      const int c = counts[t][digit];
      counts[t][digit] = total;
      total += c;
    }
    bucket_start[p + 1] = total;
    if (flags) flags[total] = 1;
    if (k < workers && total != before && total > static_cast<int64_t>(k + 1) * slice) {
      share_from[k] = from;
      share_end[k] = p + 1;
      from = p + 1;
      ++k;
    }
  }
  if (k < workers) {
    share_from[k] = from;
    share_end[k] = n_buckets;
    for (int t = k + 1; t < workers; ++t) share_from[t] = share_end[t] = n_buckets;
  } else {
    share_end[workers - 1] = n_buckets;
  }
}
