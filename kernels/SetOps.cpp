// Set operations over row lists, and the bitmaps they are computed through.
#include "kernels/SetOps.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "values/TIntArray.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int kEmptyResultSize = 10;

// Words of a bitmap for nRows rows, computed in 64 bits so that an nRows near INT_MAX does not
// wrap; 0 for a negative nRows, whose bitmap holds no row.
size_t WordsFor(int nRows) {
  return nRows < 0 ? 0 : static_cast<size_t>((static_cast<int64_t>(nRows) + 32) / 32);
}

// Numbers above this (and 0 and below) are not rows of a bitmap of `words` words. Capped at
// INT32_MAX: no row number is larger.
uint32_t MaxRowOfWords(size_t words) {
  return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(words) * 32 - 1, INT32_MAX));
}

struct RowList {
  const int* rows;
  int n;
};

RowList RowsOf(const TIntArray* set) {
  if (set == nullptr || set->FData == nullptr || set->FArraySize < 1) return {nullptr, 0};
  return {static_cast<const int*>(set->FData), set->FArraySize};
}

// The words a fill touched, so that merging a private bitmap reads only those.
struct WordSpan {
  size_t lo = SIZE_MAX;
  size_t hi = 0;  // inclusive; empty while lo > hi
};

// Sets the bits of rows[first .. end) that lie in 1 .. max_row. The one unsigned compare drops 0,
// negative numbers and numbers past the bitmap: none of them is a row, and writing them would land
// outside the words the caller sized for max_row. Bits of one word are gathered in a register
// while consecutive rows stay in it: sets mostly come in ascending order, and an OR into memory
// per row would wait on the previous row's store to the same word.
WordSpan SetBits(const int* rows, int first, int end, uint32_t max_row, uint32_t* bitmap) {
  WordSpan span;
  size_t word = 0;
  uint32_t bits = 0;
  for (int i = first; i < end; ++i) {
    const uint32_t r = static_cast<uint32_t>(rows[i]);
    if (r - 1u >= max_row) continue;
    const size_t w = r >> 5;
    if (w != word) {
      if (bits != 0) {
        bitmap[word] |= bits;
        span.lo = std::min(span.lo, word);
        span.hi = std::max(span.hi, word);
      }
      word = w;
      bits = 0;
    }
    bits |= 1u << (r & 31);
  }
  if (bits != 0) {
    bitmap[word] |= bits;
    span.lo = std::min(span.lo, word);
    span.hi = std::max(span.hi, word);
  }
  return span;
}

void FillBitMap(const RowList& list, size_t words, uint32_t max_row, uint32_t* bitmap) {
  std::memset(bitmap, 0, words * sizeof(uint32_t));
  SetBits(list.rows, 0, list.n, max_row, bitmap);
}

void OrWords(size_t words, const uint32_t* a, const uint32_t* b, uint32_t* out) {
  for (size_t i = 0; i < words; ++i) out[i] = a[i] | b[i];
}

void AndWords(size_t words, const uint32_t* a, const uint32_t* b, uint32_t* out) {
  for (size_t i = 0; i < words; ++i) out[i] = a[i] & b[i];
}

size_t CountWords(size_t words, const uint32_t* bitmap) {
  // Bit-parallel counting: the baseline instruction set has no population count instruction, and
  // the compiler's fallback is a library call per word.
  size_t count = 0;
  size_t w = 0;
  for (; w + 2 <= words; w += 2) {
    uint64_t x;
    std::memcpy(&x, bitmap + w, sizeof x);
    x = x - ((x >> 1) & 0x5555555555555555ull);
    x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    count += static_cast<size_t>((x * 0x0101010101010101ull) >> 56);
  }
  if (w < words) count += static_cast<size_t>(__builtin_popcount(bitmap[w]));
  return count;
}

// For each byte value, the positions of its set bits, padded to eight entries.
struct BytePositions {
  int32_t pos[256][8];
  uint8_t count[256];
};

constexpr BytePositions MakeBytePositions() {
  BytePositions t{};
  for (int b = 0; b < 256; ++b) {
    int c = 0;
    for (int i = 0; i < 8; ++i) {
      if ((b >> i) & 1) t.pos[b][c++] = i;
    }
    t.count[b] = static_cast<uint8_t>(c);
  }
  return t;
}

constexpr BytePositions kBytePositions = MakeBytePositions();

// Writes the numbers of the set bits ascending; `count` is their number (CountWords), the room
// out has. Byte by byte, eight entries are stored whatever the byte holds and the cursor moves by
// its bit count: no branch depends on the bits, which makes dense results several times faster
// than a bit-by-bit loop. The padding written past the cursor is overwritten by the next bytes;
// the last words, where the padding could pass the end of out, go bit by bit.
size_t ExtractWords(size_t words, const uint32_t* bitmap, int* out, size_t count) {
  size_t k = 0;
  size_t w = 0;
  for (; w < words && k + 32 <= count; ++w) {
    uint32_t bits = bitmap[w];
    if (bits == 0) continue;
    int base = static_cast<int>(w * 32);
    for (int byte = 0; byte < 4; ++byte, bits >>= 8, base += 8) {
      const uint32_t b = bits & 0xFF;
      const int32_t* pos = kBytePositions.pos[b];
      int* o = out + k;
      for (int i = 0; i < 8; ++i) o[i] = base + pos[i];
      k += kBytePositions.count[b];
    }
  }
  for (; w < words; ++w) {
    const int base = static_cast<int>(w * 32);
    for (uint32_t bits = bitmap[w]; bits != 0; bits &= bits - 1) out[k++] = base + __builtin_ctz(bits);
  }
  return k;
}

void NegateWords(int nRows, size_t words, uint32_t* bitmap) {
  if (words == 0) return;
  for (size_t i = 0; i < words; ++i) bitmap[i] = ~bitmap[i];
  bitmap[0] &= ~1u;
  const int top = static_cast<int>((static_cast<int64_t>(nRows) + 1) & 31);
  if (top != 0) bitmap[words - 1] &= (1u << top) - 1;
}

// Worker parameter block of task 15.
struct ToBitMapParam {
  MppParamHeader header;
  const int* rows;
  int first;
  int end;
  uint32_t* bitmap;     // the caller's: worker 0 fills it
  uint32_t** privates;  // worker t > 0 leaves its own bitmap in privates[t - 1]
  size_t words;
  uint32_t max_row;
  WordSpan span;  // set by the worker: the words its rows fell in
};

// Releases the private bitmaps of task 15, whatever has become of the task.
struct PrivateBitMaps {
  ZpkBlock<uint32_t*> table;
  size_t n = 0;
  explicit PrivateBitMaps(size_t count) : table(std::max<size_t>(count, 1)), n(count) {
    for (size_t i = 0; i < n; ++i) table[i] = nullptr;
  }
  ~PrivateBitMaps() {
    for (size_t i = 0; i < n; ++i) zpk_free(table[i]);
  }
};

void MppFillBitMap(const RowList& list, size_t words, uint32_t max_row, uint32_t* bitmap) {
  if (list.n < 1) {
    std::memset(bitmap, 0, words * sizeof(uint32_t));
    return;
  }
  const int workers = KernelThreads(list.n);
  const int slice = list.n / workers;
  PrivateBitMaps privates(static_cast<size_t>(workers - 1));
  for (int t = 0; t < workers; ++t) {
    ToBitMapParam* p = PoolParam<ToBitMapParam>(t);
    p->rows = list.rows;
    p->first = t * slice;
    p->end = (t == workers - 1) ? list.n : (t + 1) * slice;
    p->bitmap = bitmap;
    p->privates = privates.table.get();
    p->words = words;
    p->max_row = max_row;
  }
  RunKernelTask(workers, kMppTaskToBitmap);
  // Only the words a worker's rows fell in can be set in its bitmap; for a set in ascending order
  // that is its own stretch of the table, so the merge reads each word about once.
  for (size_t t = 0; t < privates.n; ++t) {
    const WordSpan span = PoolParam<ToBitMapParam>(static_cast<int>(t) + 1)->span;
    if (span.lo <= span.hi) {
      const size_t n = span.hi - span.lo + 1;
      OrWords(n, bitmap + span.lo, privates.table[t] + span.lo, bitmap + span.lo);
    }
    zpk_free(privates.table[t]);
    privates.table[t] = nullptr;
  }
}

// Hands the set bits over as a set-operation result: sized from the bits themselves, so a list
// with repeated rows cannot make the count disagree with what is written.
int BitMapResult(size_t words, const uint32_t* bitmap, int* size, int** out) {
  const int count = static_cast<int>(CountWords(words, bitmap));
  const int capacity = count > 0 ? count : kEmptyResultSize;
  ZpkBlock<int> result(static_cast<size_t>(capacity));
  ExtractWords(words, bitmap, result.get(), static_cast<size_t>(count));
  *size = capacity;
  *out = result.Release();
  return count;
}

int SetOpeNotImpl(bool parallel, int nRows, TIntArray* a, int* size, int** out) {
  *out = nullptr;
  const size_t words = WordsFor(nRows);
  ZpkBlock<uint32_t> bitmap(std::max<size_t>(words, 1));
  const uint32_t max_row = static_cast<uint32_t>(std::max(nRows, 0));
  if (parallel) {
    MppFillBitMap(RowsOf(a), words, max_row, bitmap.get());
  } else {
    FillBitMap(RowsOf(a), words, max_row, bitmap.get());
  }
  NegateWords(nRows, words, bitmap.get());
  return BitMapResult(words, bitmap.get(), size, out);
}

int SetOpeCommonImpl(bool parallel, int op, int nRows, TIntArray* a, TIntArray* b, int* size, int** out) {
  *out = nullptr;
  if (op != kSetOpeAnd && op != kSetOpeOr && op != kSetOpeAndNot) {
    if (!parallel) PutErrorLog("SetOpeCommon", Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpCode");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION);
  }
  const size_t words = WordsFor(nRows);
  const uint32_t max_row = static_cast<uint32_t>(std::max(nRows, 0));
  ZpkBlock<uint32_t> bitmap_a(std::max<size_t>(words, 1));
  ZpkBlock<uint32_t> bitmap_b(std::max<size_t>(words, 1));
  if (parallel) {
    MppFillBitMap(RowsOf(a), words, max_row, bitmap_a.get());
    MppFillBitMap(RowsOf(b), words, max_row, bitmap_b.get());
  } else {
    FillBitMap(RowsOf(a), words, max_row, bitmap_a.get());
    FillBitMap(RowsOf(b), words, max_row, bitmap_b.get());
  }
  if (op == kSetOpeOr) {
    OrWords(words, bitmap_a.get(), bitmap_b.get(), bitmap_a.get());
  } else {
    if (op == kSetOpeAndNot) NegateWords(nRows, words, bitmap_b.get());
    AndWords(words, bitmap_a.get(), bitmap_b.get(), bitmap_a.get());
  }
  bitmap_b.Reset();
  return BitMapResult(words, bitmap_a.get(), size, out);
}

uint32_t* Words(int* bitmap) { return reinterpret_cast<uint32_t*>(bitmap); }
const uint32_t* Words(const int* bitmap) { return reinterpret_cast<const uint32_t*>(bitmap); }

}  // namespace

int mpp_tobitmap(void* param) {
  return TaskFrame([&] {
    ToBitMapParam* p = static_cast<ToBitMapParam*>(param);
    const int t = p->header.index;
    uint32_t* bitmap = p->bitmap;
    if (t != 0) {
      // Stored before it is filled, so the calling thread frees it even when this worker fails.
      bitmap = static_cast<uint32_t*>(zpk_malloc(p->words * sizeof(uint32_t)));
      p->privates[t - 1] = bitmap;
    }
    std::memset(bitmap, 0, p->words * sizeof(uint32_t));
    p->span = SetBits(p->rows, p->first, p->end, p->max_row, bitmap);
    return 0;
  });
}

int SetOpeNot(int nRows, TIntArray* a, int* size, int** out) {
  return SetOpeNotImpl(false, nRows, a, size, out);
}

int MppSetOpeNot(int nRows, TIntArray* a, int* size, int** out) {
  return SetOpeNotImpl(true, nRows, a, size, out);
}

int SetOpeCommon(int op, int nRows, TIntArray* a, TIntArray* b, int* size, int** out) {
  return SetOpeCommonImpl(false, op, nRows, a, b, size, out);
}

int MppSetOpeCommon(int op, int nRows, TIntArray* a, TIntArray* b, int* size, int** out) {
  return SetOpeCommonImpl(true, op, nRows, a, b, size, out);
}

void ToBitMap(int n, const int* rows, int words, int* bitmap) {
  if (words < 1) return;
  const size_t w = static_cast<size_t>(words);
  FillBitMap({rows, std::max(n, 0)}, w, MaxRowOfWords(w), Words(bitmap));
}

void MppToBitMap(int n, const int* rows, int words, int* bitmap) {
  if (words < 1) return;
  const size_t w = static_cast<size_t>(words);
  MppFillBitMap({rows, std::max(n, 0)}, w, MaxRowOfWords(w), Words(bitmap));
}

void NegateBitMap(int nRows, int* bitmap) { NegateWords(nRows, WordsFor(nRows), Words(bitmap)); }

void ANDBitMap(int nRows, const int* a, const int* b, int* out) {
  AndWords(WordsFor(nRows), Words(a), Words(b), Words(out));
}

void ORBitMap(int nRows, const int* a, const int* b, int* out) {
  OrWords(WordsFor(nRows), Words(a), Words(b), Words(out));
}

int CountBitMap(int words, const int* bitmap) {
  return words < 1 ? 0 : static_cast<int>(CountWords(static_cast<size_t>(words), Words(bitmap)));
}

int BM2Array(int words, const int* bitmap, int* out) {
  if (words < 1) return 0;
  const size_t w = static_cast<size_t>(words);
  return static_cast<int>(ExtractWords(w, Words(bitmap), out, CountWords(w, Words(bitmap))));
}

int SieveOpe(int nRows, TIntArray* a, TIntArray* b, TIntArray** out) {
  *out = nullptr;
  const size_t words = WordsFor(nRows);
  const uint32_t max_row = static_cast<uint32_t>(std::max(nRows, 0));
  ZpkBlock<uint32_t> bitmap(std::max<size_t>(words, 1));
  FillBitMap(RowsOf(b), words, max_row, bitmap.get());
  const RowList list = RowsOf(a);
  auto in_b = [&](int row) {
    const uint32_t r = static_cast<uint32_t>(row);
    return r - 1u < max_row && (bitmap[r >> 5] >> (r & 31) & 1u) != 0;
  };
  // Counted first: a row that a holds twice is kept twice, so min(|a|, |b|) entries could be too
  // few for such a list.
  int kept = 0;
  for (int i = 0; i < list.n; ++i) kept += in_b(list.rows[i]) ? 1 : 0;
  TIntArray* result = new TIntArray(kept, 0);
  int* dst = result->PIntAr();
  int k = 0;
  for (int i = 0; i < list.n; ++i) {
    if (in_b(list.rows[i])) dst[k++] = list.rows[i];
  }
  *out = result;
  return kept;
}
