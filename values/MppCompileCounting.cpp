// The parallel compile by counting: dense integers, and whole-number doubles and 64-bit decimals.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>

#include "foundation/zpk_memory.h"
#include "values/CompileSupport.h"
#include "values/MppCompileParts.h"

using namespace vlc;  // NOLINT: this folder's own helpers

namespace mpp_compile_parts {

// What the marked slots of a counting compile stand for, to write their list entries.
struct SlotList {
  int32_t type;      // 2: dense integers (int_base); 3 or 8: whole-number keys (key_base)
  void* list;        // the compile's list, one entry per marked slot
  int32_t int_base;  // type 2: slot k holds base + k, but INT32_MIN when int_null and k is 0
  int32_t int_null;
  uint64_t key_base;  // 3, 8: slot 0 is NULL, slot k holds key key_base + k
  double zero;        // 3: the entry of key 0 (the column's first zero, 0.0 or -0.0)
};

namespace {

// The list entry of marked slot k.
void PutSlotEntry(const SlotList& out, int64_t k, int32_t rank) {
  if (out.type == 2) {
    static_cast<int32_t*>(out.list)[rank] =
        (k == 0 && out.int_null != 0) ? INT32_MIN : out.int_base + static_cast<int32_t>(k);
    return;
  }
  const size_t width = static_cast<size_t>(ValueTypeWidth(out.type));
  unsigned char* entry = static_cast<unsigned char*>(out.list) + width * static_cast<size_t>(rank);
  if (k == 0) {
    PutNullEntry(out.type, entry);
    return;
  }
  const auto key = static_cast<int64_t>(out.key_base + static_cast<uint64_t>(k));
  if (out.type == 8) {
    const int64_t high = key < 0 ? -1 : 0;
    memcpy(entry, &key, 8);
    memcpy(entry + 8, &high, 8);
  } else {
    const double x = key == 0 ? out.zero : static_cast<double>(key);
    memcpy(entry, &x, 8);
  }
}

// Counting's ranks, on all workers since a slot range may be as long as the column: CountMarks
// counts the marked slots (marks are 0 or 1) of slots[0..len), each worker on its own stretch, and
// returns their number; the caller then allocates out->list with one entry per marked slot, and
// RankMarks turns every slot into its count of marked slots before it and writes each marked
// slot's entry at its rank. Ranks and entries do not depend on the stretches.
int32_t CountMarks(int threads, int32_t* slots, int64_t len, const SlotList* out) {
  const int64_t share = len / threads;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    p->mode = kSlotSums;
    p->slot_list = out;
    p->slot_marks = slots;
    p->slot_from = i * share;
    p->slot_to = i == threads - 1 ? len : (i + 1) * share;
    p->slot_rank = 0;
  }
  RunCompileTask(threads);
  int32_t total = 0;
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    const int32_t marked = p->slot_rank;
    p->mode = kSlotRanks;
    p->slot_rank = total;
    total += marked;
  }
  return total;
}

// The second pass, with the blocks CountMarks left set up.
void RankMarks(int threads) { RunCompileTask(threads); }

// n_slots zeroed slots (slot 0 marked when NULL's row 0 leads), then every stretch's keys marked
// into them on the pool by mark_mode, with base (kMarkSlots) or key_base (kMarkKeys).
ZpkBlock<int32_t> MarkedSlots(const Stretches& parts, int64_t n_slots, int lead, int32_t mark_mode, int type,
                              int width, int32_t base, uint64_t key_base) {
  ZpkBlock<int32_t> slots(static_cast<size_t>(n_slots));
  MppMemSet(slots.get(), 0, static_cast<long>(sizeof(int32_t) * static_cast<size_t>(n_slots)));
  if (lead != 0) slots[0] = 1;
  SetUpStretches(parts, mark_mode, type, width);
  for (size_t i = 0; i < parts.size(); ++i) {
    auto* p = PoolParam<CompileParam>(static_cast<int>(i));
    p->base = base;
    p->key_base = key_base;
    p->slots = slots.get();
  }
  RunCompileTask(static_cast<int>(parts.size()));
  return slots;
}

// What both counting compiles do once every slot is marked: the marked slots ranked into a list of
// `width`-byte entries, then each of the n rows numbered by its slot (`number_mode`), with NULL's
// implicit row 0 in front when `lead` is 1.
void RankAndNumber(int threads, int32_t* slots, int64_t slot_count, SlotList* entries, size_t width,
                   int32_t number_mode, int n, int lead, int** rows_out, int* count_out, void** list_out) {
  const int32_t count = CountMarks(threads, slots, slot_count, entries);
  ZpkBlock<unsigned char> list(static_cast<size_t>(count) * width);
  entries->list = list.get();
  RankMarks(threads);

  ZpkBlock<int32_t> rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
  for (int i = 0; i < threads; ++i) {
    auto* p = PoolParam<CompileParam>(i);
    p->mode = number_mode;
    p->rows = rows.get() + lead + p->first;
  }
  RunCompileTask(threads);
  if (lead != 0) rows[0] = 0;  // NULL is the smallest value

  *rows_out = rows.Release();
  *count_out = count;
  *list_out = list.Release();
}

int32_t SlotOf(int32_t v, int32_t base) {
  return v == INT32_MIN ? 0 : static_cast<int32_t>(static_cast<uint32_t>(v) - static_cast<uint32_t>(base));
}

}  // namespace

void ParallelCounting(const Stretches& parts, int n, const _RawIntArrayRangeInfo& r, int lead, int** rows_out,
                      int* count_out, void** list_out) {
  const int threads = static_cast<int>(parts.size());
  const int32_t span = static_cast<int32_t>(static_cast<int64_t>(r.max) - r.min + 3);  // checked to fit
  const int32_t base = r.nulls > 0 ? r.min - 1 : r.min;
  ZpkBlock<int32_t> slots = MarkedSlots(parts, span, lead, kMarkSlots, 2, 4, base, 0);

  SlotList entries{};
  entries.type = 2;
  entries.int_base = base;
  entries.int_null = r.nulls > 0 ? 1 : 0;
  RankAndNumber(threads, slots.get(), span, &entries, sizeof(int32_t), kNumberRows, n, lead, rows_out,
                count_out, list_out);
}

// ---- Counting whole-number doubles and 64-bit decimals ----
//
// Dates, day numbers and amounts in cents often span a range no wider than the column is long;
// they are then numbered by counting as dense integers are, without any sort or merge.

namespace {

constexpr double kWholeLimit = 9007199254740992.0;  // 2^53: every whole double below is exact

inline bool DoubleIsNull(double x) { return x != x || x == -std::numeric_limits<double>::infinity(); }
inline bool DecimalIsNull(uint64_t low, int64_t high) { return high == INT64_MIN && low == 0; }

void SummarizeKeys(int type, int n, const void* raw, KeySummary* s) {
  *s = KeySummary{};
  if (type == 8) {
    const auto* v = static_cast<const unsigned char*>(raw);
    for (int32_t i = 0; i < n; ++i) {
      uint64_t low;
      int64_t high;
      memcpy(&low, v + 16 * static_cast<size_t>(i), 8);
      memcpy(&high, v + 16 * static_cast<size_t>(i) + 8, 8);
      if (DecimalIsNull(low, high)) {
        ++s->nulls;
        continue;
      }
      const auto key = static_cast<int64_t>(low);
      if (high != (key < 0 ? -1 : 0)) {
        s->fits = 0;
        return;
      }
      s->min = std::min(s->min, key);
      s->max = std::max(s->max, key);
    }
    return;
  }
  const auto* v = static_cast<const double*>(raw);
  for (int32_t i = 0; i < n; ++i) {
    const double x = v[i];
    if (DoubleIsNull(x)) {
      ++s->nulls;
      continue;
    }
    if (!(x >= -kWholeLimit && x <= kWholeLimit) || static_cast<double>(static_cast<int64_t>(x)) != x) {
      s->fits = 0;
      return;
    }
    const auto key = static_cast<int64_t>(x);
    if (key == 0 && s->first_zero < 0) s->first_zero = i;
    s->min = std::min(s->min, key);
    s->max = std::max(s->max, key);
  }
}

// f(i, slot) for every element; the keys must have been summarised as fitting.
template <class F>
void ForEachKeySlot(int type, int n, const void* raw, uint64_t base, F f) {
  if (type == 8) {
    const auto* v = static_cast<const unsigned char*>(raw);
    for (int32_t i = 0; i < n; ++i) {
      uint64_t low;
      int64_t high;
      memcpy(&low, v + 16 * static_cast<size_t>(i), 8);
      memcpy(&high, v + 16 * static_cast<size_t>(i) + 8, 8);
      f(i, DecimalIsNull(low, high) ? 0 : static_cast<int32_t>(low - base));
    }
    return;
  }
  const auto* v = static_cast<const double*>(raw);
  for (int32_t i = 0; i < n; ++i) {
    const double x = v[i];
    f(i, DoubleIsNull(x) ? 0 : static_cast<int32_t>(static_cast<uint64_t>(static_cast<int64_t>(x)) - base));
  }
}

}  // namespace

bool KeyCounting(const Stretches& parts, int n, int lead, int type, int** rows_out, int* count_out,
                 void** list_out) {
  const int threads = static_cast<int>(parts.size());
  KeySummary sum;
  double zero = 0.0;  // the first zero's bytes (doubles)
  if (threads == 1) {
    SummarizeKeys(type, parts[0].n, parts[0].raw, &sum);
    if (sum.first_zero >= 0 && type != 8) zero = static_cast<const double*>(parts[0].raw)[sum.first_zero];
  } else {
    SetUpStretches(parts, kKeySpan, type, ValueTypeWidth(type));
    RunCompileTask(threads);
    bool zero_seen = false;
    for (int i = 0; i < threads; ++i) {
      const KeySummary& k = PoolParam<CompileParam>(i)->keys;
      sum.fits &= k.fits;
      sum.nulls += k.nulls;
      sum.min = std::min(sum.min, k.min);
      sum.max = std::max(sum.max, k.max);
      if (!zero_seen && k.first_zero >= 0 && type != 8) {
        zero = static_cast<const double*>(parts[static_cast<size_t>(i)].raw)[k.first_zero];
        zero_seen = true;
      }
    }
  }
  const int64_t non_null = static_cast<int64_t>(n) - sum.nulls;
  if (sum.fits == 0 || non_null <= 0) return false;
  // Slot 0 is NULL, slot k holds key base + k. Ranking passes over every slot, so the range is
  // kept near the column's length.
  const uint64_t width_of_range = static_cast<uint64_t>(sum.max) - static_cast<uint64_t>(sum.min);
  if (width_of_range > static_cast<uint64_t>(2 * non_null + 1000) || width_of_range > INT32_MAX - 3)
    return false;
  const auto span = static_cast<int64_t>(width_of_range) + 2;
  const uint64_t base = static_cast<uint64_t>(sum.min) - 1;  // wraps for the least decimal, as slots do

  ZpkBlock<int32_t> slots =
      MarkedSlots(parts, span + 1, lead, kMarkKeys, type, ValueTypeWidth(type), 0, base);

  SlotList entries{};
  entries.type = type;
  entries.key_base = base;
  entries.zero = zero;
  RankAndNumber(threads, slots.get(), span + 1, &entries, static_cast<size_t>(ValueTypeWidth(type)),
                kNumberKeys, n, lead, rows_out, count_out, list_out);
  return true;
}

int CountingStep(CompileParam* p) {
  switch (p->mode) {
    case kMarkSlots: {
      const auto* v = static_cast<const int32_t*>(p->raw);
      // Several workers may mark one slot; they all store the same 1. A slot already marked is
      // only read: storing again would pull its cache line away from every other worker at each
      // element, which on a column of few values costs more than all the rest of the compile.
      for (int32_t i = 0; i < p->n; ++i) {
        std::atomic_ref<int32_t> slot(p->slots[SlotOf(v[i], p->base)]);
        if (slot.load(std::memory_order_relaxed) == 0) slot.store(1, std::memory_order_relaxed);
      }
      return 0;
    }
    case kNumberRows: {
      const auto* v = static_cast<const int32_t*>(p->raw);
      for (int32_t i = 0; i < p->n; ++i) p->rows[i] = p->slots[SlotOf(v[i], p->base)];
      return 0;
    }
    case kKeySpan:
      SummarizeKeys(p->type, p->n, p->raw, &p->keys);
      return 0;
    case kMarkKeys: {
      int32_t* slots = p->slots;
      // As kMarkSlots: read before writing, so that a marked slot's line stays shared.
      ForEachKeySlot(p->type, p->n, p->raw, p->key_base, [slots](int32_t, int32_t slot) {
        std::atomic_ref<int32_t> mark(slots[slot]);
        if (mark.load(std::memory_order_relaxed) == 0) mark.store(1, std::memory_order_relaxed);
      });
      return 0;
    }
    case kSlotSums: {
      const int32_t* marks = p->slot_marks;
      int32_t marked = 0;
      for (int64_t k = p->slot_from; k < p->slot_to; ++k) marked += marks[k];
      p->slot_rank = marked;
      return 0;
    }
    case kSlotRanks: {
      int32_t* marks = p->slot_marks;
      int32_t rank = p->slot_rank;
      for (int64_t k = p->slot_from; k < p->slot_to; ++k) {
        const int32_t mark = marks[k];
        marks[k] = rank;
        if (mark != 0) PutSlotEntry(*p->slot_list, k, rank);
        rank += mark;
      }
      return 0;
    }
    case kNumberKeys: {
      const int32_t* slots = p->slots;
      int32_t* rows = p->rows;
      ForEachKeySlot(p->type, p->n, p->raw, p->key_base,
                     [slots, rows](int32_t i, int32_t slot) { rows[i] = slots[slot]; });
      return 0;
    }
    default:
      break;
  }
  return 0;
}

}  // namespace mpp_compile_parts
