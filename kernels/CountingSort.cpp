// Serial sort kernels over value numbers: counting, prefix sums, stable placement and bitmap order.
#include "kernels/CountingSort.h"

#include <algorithm>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "kernels/SortInternals.h"
#include "values/CCompiler.h"
#include "values/ZpkBlock.h"

const uint32_t CnvTable[32] = {
    0u,       1u << 1,  1u << 2,  1u << 3,  1u << 4,  1u << 5,  1u << 6,  1u << 7,
    1u << 8,  1u << 9,  1u << 10, 1u << 11, 1u << 12, 1u << 13, 1u << 14, 1u << 15,
    1u << 16, 1u << 17, 1u << 18, 1u << 19, 1u << 20, 1u << 21, 1u << 22, 1u << 23,
    1u << 24, 1u << 25, 1u << 26, 1u << 27, 1u << 28, 1u << 29, 1u << 30, 1u << 31,
};

namespace {

[[noreturn]] void ThrowBadDirection(const char* where) {
  PutErrorLog(where, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Dir");
  throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
}

int CompileSerially(int n, int type, int width, const void* raw, int** rows, int* count, void** list) {
  return Compile(n, type, width, raw, rows, count, list);
}

}  // namespace

int ConvertFromVLtoBitsize(unsigned int n) {
  int k = 1;
  while (k < 32 && CnvTable[k] <= n) ++k;
  return k;
}

uint32_t Bit2Size(int k) { return (k >= 0 && k < 32) ? CnvTable[k] : 0u; }

void CountupNExist(int n, const int* rows, int nValues, const int* vno, int* counts) {
  if (nValues > 0) std::memset(counts, 0, sizeof(int) * static_cast<size_t>(nValues));
  for (int i = 0; i < n; ++i) ++counts[vno[rows[i]]];
}

void CountupNExist2(int n, const int* vnos, int nValues, int* counts) {
  if (nValues > 0) std::memset(counts, 0, sizeof(int) * static_cast<size_t>(nValues));
  for (int i = 0; i < n; ++i) ++counts[vnos[i]];
}

void Aggregate(int dir, int n, const int* counts, int* out) {
  if (dir != 0 && dir != 1) ThrowBadDirection("Aggregate");
  // Unsigned arithmetic: the 32-bit sums wrap rather than overflow, as the sums are defined.
  uint32_t total = 0;
  if (dir == 0) {
    for (int i = 0; i < n; ++i) {
      const uint32_t c = static_cast<uint32_t>(counts[i]);
      out[i] = static_cast<int>(total);
      total += c;
    }
  } else {
    for (int i = n - 1; i >= 0; --i) {
      const uint32_t c = static_cast<uint32_t>(counts[i]);
      out[i] = static_cast<int>(total);
      total += c;
    }
  }
}

void MoveRecsForSort(int n, const int* rows, const int* vno, int* out, int* pos) {
  for (int i = 0; i < n; ++i) {
    const int row = rows[i];
    out[pos[vno[row]]++] = row;
  }
}

void CountingSort(int dir, int n, const int* rows, int* out, const int* vno, int nValues) {
  if (n == 0) return;
  if ((nValues >> 3) > n) {
    ScopeCSort(dir, n, rows, out, vno);
    return;
  }
  ZpkBlock<int> counts(static_cast<size_t>(nValues));
  CountupNExist(n, rows, nValues, vno, counts.get());
  Aggregate(dir, nValues, counts.get(), counts.get());
  MoveRecsForSort(n, rows, vno, out, counts.get());
}

void ScopeCSort(int dir, int n, const int* rows, int* out, const int* vno) {
  if (n < 1) return;
  ZpkBlock<int> gathered(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) gathered[i] = vno[rows[i]];

  // The compiler ranks the value numbers present (no NULL sentinel among them: value numbers
  // are never negative), which gives a count array of one entry per distinct value number.
  ZpkBlock<int> rank, list;
  const int distinct = CompileInts(CompileSerially, n, gathered.get(), rank, list);
  gathered.Reset();
  list.Reset();

  ZpkBlock<int> counts(static_cast<size_t>(distinct));
  CountupNExist2(n, rank.get(), distinct, counts.get());
  Aggregate(dir, distinct, counts.get(), counts.get());
  for (int i = 0; i < n; ++i) out[counts[rank[i]]++] = rows[i];
}

void BitMapSort(int dir, int max, int n, const int* rows, int* out) {
  if (n == 0) return;
  // Checked before the path is chosen, so a bad direction fails whatever the sizes.
  if (dir != 0 && dir != 1) ThrowBadDirection("BitMapSort");
  if ((max >> 5) > n) {
    ScopeBitMapSort(dir, n, rows, out);
    return;
  }
  if (max < 0) return;
  // 64-bit: max + 32 must not overflow for a max near INT_MAX.
  const size_t words = static_cast<size_t>((static_cast<int64_t>(max) + 32) / 32);
  ZpkBlock<uint32_t> bitmap(words);
  std::memset(bitmap.get(), 0, words * sizeof(uint32_t));
  int repeats = 0;
  for (int i = 0; i < n; ++i) {
    const uint32_t r = static_cast<uint32_t>(rows[i]);
    const uint32_t bit = 1u << (r & 31);
    if (bitmap[r >> 5] & bit) ++repeats;
    bitmap[r >> 5] |= bit;
  }

  // A bit holds a number once; the occurrences beyond the first are kept aside, ascending, and
  // written next to their number, so every number comes out as often as it came in.
  ZpkBlock<int> extra;
  if (repeats > 0) {
    extra = ZpkBlock<int>(static_cast<size_t>(repeats));
    ZpkBlock<uint32_t> seen(words);
    std::memset(seen.get(), 0, words * sizeof(uint32_t));
    int m = 0;
    for (int i = 0; i < n; ++i) {
      const uint32_t r = static_cast<uint32_t>(rows[i]);
      const uint32_t bit = 1u << (r & 31);
      if (seen[r >> 5] & bit) extra[m++] = rows[i];
      seen[r >> 5] |= bit;
    }
    std::sort(extra.get(), extra.get() + repeats);
  }

  int k = 0;
  if (dir == 0) {
    int j = 0;
    for (size_t w = 0; w < words; ++w) {
      for (uint32_t bits = bitmap[w]; bits != 0; bits &= bits - 1) {
        const int r = static_cast<int>(w * 32 + static_cast<size_t>(__builtin_ctz(bits)));
        out[k++] = r;
        while (j < repeats && extra[j] == r) out[k++] = extra[j++];
      }
    }
  } else {
    int j = repeats - 1;
    for (size_t w = words; w-- > 0;) {
      for (uint32_t bits = bitmap[w]; bits != 0;) {
        const int bit = 31 - __builtin_clz(bits);
        const int r = static_cast<int>(w * 32 + static_cast<size_t>(bit));
        out[k++] = r;
        while (j >= 0 && extra[j] == r) out[k++] = extra[j--];
        bits &= ~(1u << bit);
      }
    }
  }
}

void ScopeBitMapSort(int dir, int n, const int* rows, int* out) {
  if (n < 1) return;
  ZpkBlock<int> rank, sorted;
  const int distinct = CompileInts(CompileSerially, n, rows, rank, sorted);
  if (distinct == n) {
    if (dir == 0) {
      std::memcpy(out, sorted.get(), sizeof(int) * static_cast<size_t>(n));
    } else {
      for (int i = 0; i < n; ++i) out[i] = sorted[static_cast<size_t>(n - 1 - i)];
    }
    return;
  }
  // Repeated numbers: each distinct number as often as it occurs.
  ZpkBlock<int> counts(static_cast<size_t>(distinct));
  CountupNExist2(n, rank.get(), distinct, counts.get());
  int k = 0;
  for (int i = 0; i < distinct; ++i) {
    const int d = dir == 0 ? i : distinct - 1 - i;
    for (int c = counts[d]; c > 0; --c) out[k++] = sorted[d];
  }
}
