// Internal helpers of the value-list compiler, merges and conversions: value orders and the
// trimmed view of a string column. Not for use outside values/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"
#include "foundation/zpk_memory.h"
#include "values/CCompiler.h"
#include "values/PoolParam.h"
#include "values/ZpkBlock.h"

// Kept in their own namespace: the engine is linked as one archive, and short helper names
// would otherwise meet those of other folders.
namespace vlc {

// An output block of a numbering path. Outputs that the caller keeps are plain zpk_malloc blocks;
// outputs that die inside a larger compile (a slice's rows and list) are scratch blocks, whose
// capacity then travels with them. Capacity 0 marks a plain block: zpk_scratch_give(p, 0) frees it
// as zpk_free does, so both kinds go back the same way.
template <class T>
class OutBlock {
 public:
  // n elements; a scratch block when `scratch` is true.
  OutBlock(size_t n, bool scratch)
      : p_(static_cast<T*>(scratch ? zpk_scratch_take(sizeof(T) * n, &cap_) : zpk_malloc(sizeof(T) * n))) {}
  ~OutBlock() { zpk_scratch_give(p_, cap_); }
  OutBlock(const OutBlock&) = delete;
  OutBlock& operator=(const OutBlock&) = delete;
  T* get() const { return p_; }
  T& operator[](size_t i) const { return p_[i]; }
  // Hands the block over; *cap (when given) gets the capacity to give it back with.
  T* Release(size_t* cap) {
    if (cap != nullptr) *cap = cap_;
    cap_ = 0;
    return std::exchange(p_, nullptr);
  }

 private:
  size_t cap_ = 0;
  T* p_;
};

// The capacities of scratch outputs (see OutBlock).
struct ScratchCaps {
  size_t rows = 0;
  size_t list = 0;
};

// The fast numbering paths (values/CompileSort.cpp), with the outputs of the merge method: by a
// stable radix sort of order-preserving keys for types 2, 3..5, 7 and 8, by hashing for texts.
// With `scratch` given, rows and list are scratch blocks whose capacities land there; they must
// then go back through zpk_scratch_give before the compile returns.
void RadixCompile(int n, int type, const void* raw, int** rows, int* count, void** list,
                  ScratchCaps* scratch = nullptr);
void HashCompile(int n, const char* const* texts, int** rows, int* count, void** list,
                 ScratchCaps* scratch = nullptr);

// Whether Compile numbers an integer column with this summary by counting.
bool CountingPays(int n, const _RawIntArrayRangeInfo& range);

// The argument checks of a compile, with their ring entries under "Compile" (values/CCompiler.h).
void CheckCompileArguments(int n, int type, int width);

// The text a null text pointer stands for, and the entry written for it into a list.
inline constexpr const char kEmptyText[] = "";

// ---- The value orders of the column types: -1, 0 or 1 ----

inline int CompareInt(int32_t a, int32_t b) { return a < b ? -1 : (b < a ? 1 : 0); }

// NaN reads as NULL (minus infinity), which makes the order total; 0.0 and -0.0 are equal.
inline double DoubleKey(double x) { return x != x ? -std::numeric_limits<double>::infinity() : x; }
inline int CompareDouble(double a, double b) {
  a = DoubleKey(a);
  b = DoubleKey(b);
  return a < b ? -1 : (b < a ? 1 : 0);
}

// strcmp order (unsigned bytes); a null text is the empty text.
inline int CompareText(const char* a, const char* b) {
  const int c = strcmp(a != nullptr ? a : kEmptyText, b != nullptr ? b : kEmptyText);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Signed 128-bit order of two unscaled decimals (low word first, then the signed high word).
// The decimal NaN, the most negative pattern, is the smallest.
inline int CompareDecimal(const void* a, const void* b) {
  uint64_t al, bl;
  int64_t ah, bh;
  memcpy(&al, a, 8);
  memcpy(&ah, static_cast<const char*>(a) + 8, 8);
  memcpy(&bl, b, 8);
  memcpy(&bh, static_cast<const char*>(b) + 8, 8);
  if (ah != bh) return ah < bh ? -1 : 1;
  if (al != bl) return al < bl ? -1 : 1;
  return 0;
}

// ---- The radix sort of the numbering paths (values/CompileSort.cpp, values/MppCompileWholeSort.cpp) ----

// Order-preserving keys.
inline uint32_t IntKey(int32_t v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }

inline uint64_t DoubleKeyBits(double x) {
  x = DoubleKey(x);       // NaN reads as NULL (minus infinity)
  if (x == 0.0) x = 0.0;  // -0.0 and 0.0 are one value
  uint64_t b;
  memcpy(&b, &x, 8);
  return (b & 0x8000000000000000ull) ? ~b : (b | 0x8000000000000000ull);
}

// A key and the element it came from.
template <class Key>
struct Item {
  Key key;
  int32_t index;
};

// Bit positions of a key mask: the lowest set bit and one past the highest.
template <class Key>
int LowBit(Key m) {
  int b = 0;
  while ((m & 1) == 0) {
    m >>= 1;
    ++b;
  }
  return b;
}
template <class Key>
int HighBit(Key m) {
  int b = 0;
  while (m != 0) {
    m >>= 1;
    ++b;
  }
  return b;
}

constexpr int kDigitBits = 11;
constexpr unsigned kRadix = 1u << kDigitBits;

// Stable LSD radix sort over the bits in which the keys differ (`varying`), 11 bits per pass;
// digits on which all keys still agree are skipped. `c` holds the digits' histograms.
template <class Key>
Item<Key>* RadixSort(Item<Key>* a, Item<Key>* b, int n, int low, int digits, uint32_t* c) {
  for (int d = 0; d < digits; ++d) {
    uint32_t* h = c + static_cast<size_t>(d) * kRadix;
    bool trivial = false;
    uint32_t sum = 0;
    for (unsigned v = 0; v < kRadix; ++v) {
      if (h[v] == static_cast<uint32_t>(n)) trivial = true;
      const uint32_t cnt = h[v];
      h[v] = sum;
      sum += cnt;
    }
    if (trivial) continue;
    const int shift = low + d * kDigitBits;
    for (int i = 0; i < n; ++i) {
      const unsigned digit = static_cast<unsigned>(a[i].key >> shift) & (kRadix - 1);
      b[h[digit]++] = a[i];
    }
    std::swap(a, b);
  }
  return a;
}

// The trimmed view of a string column: texts that trimming cuts are copied, cut, into a work
// area; the others are used as they stand. The caller's texts are never written.
class TrimmedTexts {
 public:
  TrimmedTexts() = default;
  TrimmedTexts(const TrimmedTexts&) = delete;
  TrimmedTexts& operator=(const TrimmedTexts&) = delete;

  // The pointer array to compile from: `raw` itself when no text needs cutting, else a work
  // array that this object owns until it dies.
  const char* const* Prepare(int n, const char* const* raw);
  // True when Prepare made copies.
  bool active() const { return block_.get() != nullptr; }
  // Makes a compiled list independent of the work area: returns a new block of `count` text
  // pointers followed by copies of the texts that lay in the work area (the pointers point at
  // them), and frees `list`. On failure `list` is left as it was and the failure is thrown.
  void* Relocate(const char** list, int count);

 private:
  ZpkBlock<char> block_;  // n pointers, then the cut copies
  const char* area_ = nullptr;
  size_t area_size_ = 0;
};

}  // namespace vlc
