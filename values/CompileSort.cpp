// The fast numbering paths of the compiler. They give exactly the outputs of the merge method
// (values/CCompiler.cpp): the same order, the same value numbers and the earliest element as each
// value's representative. Numbers are sorted as order-preserving integer keys by a stable radix
// sort (so equal keys keep their element order and the first of each run is the earliest);
// texts are gathered by hashing and only the distinct ones are sorted.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "values/CompileSupport.h"

namespace vlc {

namespace {

using u128 = unsigned __int128;

// ---- Order-preserving keys ----

inline u128 DecimalKey(const unsigned char* p) {
  uint64_t low;
  uint64_t high;
  memcpy(&low, p, 8);
  memcpy(&high, p + 8, 8);
  return (static_cast<u128>(high ^ 0x8000000000000000ull) << 64) | low;
}

template <class Key, class KeyOf, class Emit>
void SortNumber(int n, int elem_width, KeyOf key_of, Emit emit, int** rows_out, int* count_out,
                void** list_out, ScratchCaps* scratch) {
  // Pass 1: the bits in which the keys differ; only those are sorted on.
  const Key first_key = key_of(0);
  Key varying = 0;
  for (int i = 1; i < n; ++i) varying |= key_of(i) ^ first_key;
  const int low = varying == 0 ? 0 : LowBit(varying);
  const int digits = varying == 0 ? 0 : (HighBit(varying) - low + kDigitBits - 1) / kDigitBits;

  // Pass 2: the items and every digit's histogram.
  ZpkScratch<Item<Key>> first(static_cast<size_t>(n));
  ZpkScratch<Item<Key>> second(digits > 0 ? static_cast<size_t>(n) : 1);
  ZpkBlock<uint32_t> counts(static_cast<size_t>(std::max(digits, 1)) * kRadix);
  uint32_t* c = counts.get();
  memset(c, 0, sizeof(uint32_t) * kRadix * static_cast<size_t>(std::max(digits, 1)));
  for (int i = 0; i < n; ++i) {
    const Key k = key_of(i);
    first[static_cast<size_t>(i)] = Item<Key>{k, i};
    Key rest = k >> low;
    for (int d = 0; d < digits; ++d) {
      ++c[static_cast<size_t>(d) * kRadix + (static_cast<unsigned>(rest) & (kRadix - 1))];
      rest >>= kDigitBits;
    }
  }
  const Item<Key>* sorted = RadixSort(first.get(), second.get(), n, low, digits, c);

  OutBlock<int32_t> rows(static_cast<size_t>(n), scratch != nullptr);
  int32_t count = 0;
  for (int i = 0; i < n; ++i) {
    if (i == 0 || sorted[i].key != sorted[i - 1].key) ++count;
    rows[static_cast<size_t>(sorted[i].index)] = count - 1;
  }
  OutBlock<unsigned char> list(static_cast<size_t>(count) * static_cast<size_t>(elem_width),
                               scratch != nullptr);
  int32_t k = 0;
  for (int i = 0; i < n; ++i) {
    if (i == 0 || sorted[i].key != sorted[i - 1].key) emit(list.get(), k++, sorted[i].key, sorted[i].index);
  }
  *rows_out = rows.Release(scratch != nullptr ? &scratch->rows : nullptr);
  *count_out = count;
  *list_out = list.Release(scratch != nullptr ? &scratch->list : nullptr);
}

// ---- Texts ----

inline uint64_t TextHash(const char* t, size_t* len) {
  uint64_t h = 1469598103934665603ull;
  const char* p = t;
  for (; *p != '\0'; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
  *len = static_cast<size_t>(p - t);
  return h ^ (h >> 29);
}

// True when every decimal but NaN holds a value of 64 bits (its high word only repeats the sign)
// and the distances from the least one, plus one, fit 64 bits; *least gets the least.
bool FitsSixtyFourBits(int n, const unsigned char* v, int64_t* least) {
  int64_t lo = INT64_MAX;
  int64_t hi = INT64_MIN;
  for (int i = 0; i < n; ++i) {
    uint64_t low;
    int64_t high;
    memcpy(&low, v + 16 * static_cast<size_t>(i), 8);
    memcpy(&high, v + 16 * static_cast<size_t>(i) + 8, 8);
    if (high == INT64_MIN && low == 0) continue;  // NaN
    const auto value = static_cast<int64_t>(low);
    if (high != (value < 0 ? -1 : 0)) return false;
    lo = std::min(lo, value);
    hi = std::max(hi, value);
  }
  if (lo > hi) lo = hi = 0;  // NaN only
  *least = lo;
  return static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo) < UINT64_MAX;
}

}  // namespace

// The list entries are decoded from the sorted keys, which hold the values exactly, instead of
// being read back from the raw column at random places. Only a zero needs the raw bytes: -0.0 and
// 0.0 share a key, and the representative decides which the list holds.
void RadixCompile(int n, int type, const void* raw, int** rows, int* count, void** list,
                  ScratchCaps* scratch) {
  switch (type) {
    case 2: {
      const int32_t* v = static_cast<const int32_t*>(raw);
      SortNumber<uint32_t>(
          n, 4, [v](int i) { return IntKey(v[i]); },
          [](unsigned char* out, int k, uint32_t key, int) {
            reinterpret_cast<int32_t*>(out)[k] = static_cast<int32_t>(key ^ 0x80000000u);
          },
          rows, count, list, scratch);
      return;
    }
    case 8: {
      const unsigned char* v = static_cast<const unsigned char*>(raw);
      int64_t least = 0;
      if (FitsSixtyFourBits(n, v, &least)) {
        // Sorted on the distance from the least value, NaN (the smallest) as 0: the same order on
        // a 64-bit key of few varying bits instead of 128 bits that differ across the sign.
        SortNumber<uint64_t>(
            n, 16,
            [v, least](int i) {
              uint64_t low;
              int64_t high;
              memcpy(&low, v + 16 * static_cast<size_t>(i), 8);
              memcpy(&high, v + 16 * static_cast<size_t>(i) + 8, 8);
              if (high == INT64_MIN && low == 0) return uint64_t{0};
              return low - static_cast<uint64_t>(least) + 1;
            },
            [least](unsigned char* out, int k, uint64_t key, int) {
              uint64_t low = 0;
              int64_t high = INT64_MIN;
              if (key != 0) {
                low = key - 1 + static_cast<uint64_t>(least);
                high = static_cast<int64_t>(low) < 0 ? -1 : 0;
              }
              memcpy(out + 16 * static_cast<size_t>(k), &low, 8);
              memcpy(out + 16 * static_cast<size_t>(k) + 8, &high, 8);
            },
            rows, count, list, scratch);
        return;
      }
      SortNumber<u128>(
          n, 16, [v](int i) { return DecimalKey(v + 16 * static_cast<size_t>(i)); },
          [](unsigned char* out, int k, u128 key, int) {
            const uint64_t low = static_cast<uint64_t>(key);
            const uint64_t high = static_cast<uint64_t>(key >> 64) ^ 0x8000000000000000ull;
            memcpy(out + 16 * static_cast<size_t>(k), &low, 8);
            memcpy(out + 16 * static_cast<size_t>(k) + 8, &high, 8);
          },
          rows, count, list, scratch);
      return;
    }
    default: {
      const double* v = static_cast<const double*>(raw);
      SortNumber<uint64_t>(
          n, 8, [v](int i) { return DoubleKeyBits(v[i]); },
          [v](unsigned char* out, int k, uint64_t key, int i) {
            // NaN has the key of minus infinity, so the NULL class decodes to minus infinity.
            const uint64_t bits = (key & 0x8000000000000000ull) ? (key ^ 0x8000000000000000ull) : ~key;
            double x;
            memcpy(&x, &bits, 8);
            reinterpret_cast<double*>(out)[k] = x == 0.0 ? v[i] : x;
          },
          rows, count, list, scratch);
      return;
    }
  }
}

void HashCompile(int n, const char* const* texts, int** rows_out, int* count_out, void** list_out,
                 ScratchCaps* scratch) {
  // Open addressing over the distinct texts, in order of first appearance: slot -> group + 1.
  struct Slot {
    uint32_t tag;
    int32_t group;  // 0: empty
  };
  size_t capacity = 1024;
  ZpkBlock<Slot> table(capacity);
  memset(table.get(), 0, sizeof(Slot) * capacity);
  size_t groups_cap = 1024;
  ZpkBlock<int32_t> first_of_group(groups_cap);  // element index of each group's first text
  int32_t groups = 0;
  OutBlock<int32_t> rows(static_cast<size_t>(n), scratch != nullptr);

  for (int i = 0; i < n; ++i) {
    const char* t = texts[i] != nullptr ? texts[i] : kEmptyText;
    size_t len;
    const uint64_t h = TextHash(t, &len);
    const uint32_t tag = static_cast<uint32_t>(h >> 32);
    size_t s = static_cast<size_t>(h) & (capacity - 1);
    int32_t group = -1;
    for (;; s = (s + 1) & (capacity - 1)) {
      Slot& slot = table[s];
      if (slot.group == 0) {
        // A new text: its element is the group's first, hence its representative.
        if (static_cast<size_t>(groups) == groups_cap) {
          ZpkBlock<int32_t> grown(groups_cap * 2);
          memcpy(grown.get(), first_of_group.get(), sizeof(int32_t) * groups_cap);
          groups_cap *= 2;
          first_of_group = std::move(grown);
        }
        group = groups++;
        first_of_group[static_cast<size_t>(group)] = i;
        slot.tag = tag;
        slot.group = group + 1;
        break;
      }
      if (slot.tag == tag) {
        const int32_t g = slot.group - 1;
        const char* other = texts[first_of_group[static_cast<size_t>(g)]];
        if (strcmp(other != nullptr ? other : kEmptyText, t) == 0) {
          group = g;
          break;
        }
      }
    }
    rows[static_cast<size_t>(i)] = group;
    // Keep the table at most half full.
    if (static_cast<size_t>(groups) * 2 > capacity) {
      const size_t grown_cap = capacity * 2;
      ZpkBlock<Slot> grown(grown_cap);
      memset(grown.get(), 0, sizeof(Slot) * grown_cap);
      for (size_t q = 0; q < capacity; ++q) {
        const Slot old = table[q];
        if (old.group == 0) continue;
        const char* ft = texts[first_of_group[static_cast<size_t>(old.group - 1)]];
        size_t flen;
        const uint64_t fh = TextHash(ft != nullptr ? ft : kEmptyText, &flen);
        size_t fs = static_cast<size_t>(fh) & (grown_cap - 1);
        while (grown[fs].group != 0) fs = (fs + 1) & (grown_cap - 1);
        grown[fs] = old;
      }
      table = std::move(grown);
      capacity = grown_cap;
    }
  }

  // Order the distinct texts; ties cannot occur (they are distinct).
  ZpkBlock<int32_t> order(static_cast<size_t>(groups));
  for (int32_t g = 0; g < groups; ++g) order[static_cast<size_t>(g)] = g;
  auto text_of = [&](int32_t g) {
    const char* t = texts[first_of_group[static_cast<size_t>(g)]];
    return t != nullptr ? t : kEmptyText;
  };
  std::sort(order.get(), order.get() + groups,
            [&](int32_t a, int32_t b) { return strcmp(text_of(a), text_of(b)) < 0; });
  ZpkBlock<int32_t> rank(static_cast<size_t>(groups));
  OutBlock<const char*> list(static_cast<size_t>(groups), scratch != nullptr);
  for (int32_t k = 0; k < groups; ++k) {
    rank[static_cast<size_t>(order[static_cast<size_t>(k)])] = k;
    list[static_cast<size_t>(k)] = text_of(order[static_cast<size_t>(k)]);
  }
  for (int i = 0; i < n; ++i)
    rows[static_cast<size_t>(i)] = rank[static_cast<size_t>(rows[static_cast<size_t>(i)])];
  *rows_out = rows.Release(scratch != nullptr ? &scratch->rows : nullptr);
  *count_out = groups;
  *list_out = list.Release(scratch != nullptr ? &scratch->list : nullptr);
}

}  // namespace vlc
