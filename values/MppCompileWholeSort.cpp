// The parallel compile of many distinct doubles by one bucket sort of the whole column.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/ZpkAllocator.h"
#include "foundation/zpk_memory.h"
#include "values/CompileSupport.h"
#include "values/MppCompileParts.h"

using namespace vlc;  // NOLINT: this folder's own helpers

namespace mpp_compile_parts {

// ---- Sorting a column of many distinct doubles as a whole ----
//
// Slices compiled apart and merged pairwise carry nearly every value through log2(workers)
// merges, on fresh lists each time. A column with about as many values as rows is sorted once
// instead: the splitters of a sample cut the key range into buckets of some thousands of rows,
// each row's (key, element) pair moves to its bucket in one stable pass, and every bucket is then
// sorted and numbered on its own, in cache. Stability keeps the earliest element first in each
// run of equal keys, as the slice sort does.

namespace {

constexpr int kSampleSize = 1 << 14;
constexpr int kBucketRows = 1 << 13;
constexpr int kMaxBuckets = 1 << 12;        // bucket numbers are kept in 16 bits
constexpr int kWholeSortMinRows = 1 << 18;  // below this the slices' lists are small

using KeyItem = Item<uint64_t>;

}  // namespace

struct SamplePlan {
  const Stretch* parts;  // the column, one stretch per worker
  int32_t part_count;
  int32_t lead;
  int32_t buckets;            // a power of 2
  const uint64_t* splitters;  // buckets - 1, ascending: bucket b holds the keys with b splitters <= key
  // The sample's key range cut into range_slots slots of 2^range_shift keys: a key of slot e lies in
  // a bucket from slot_low[e] to slot_high[e] (keys below the range in slot 0, above it in the last).
  uint64_t range_low;
  int32_t range_shift;
  int32_t range_slots;
  const uint16_t* slot_low;
  const uint16_t* slot_high;
  uint16_t* bucket_of;  // per element
  uint32_t* counts;     // worker t's row t * buckets + b: its count in bucket b, then its first place
  int32_t threads;
  const uint32_t* bucket_start;  // buckets + 1
  KeyItem* items;
  int32_t* first_number;  // per bucket: its distinct keys, then the value number of its first one
  int32_t* rows;          // the outputs
  double* list;
};

namespace {

// The key's place in the sample's range finds the one or few buckets it can fall in at once; a
// search over all splitters would cost ten dependent loads a row. Where a slot of the range spans
// several buckets (keys far apart in the sample, as across the sign), the splitters between
// them are searched without branches, since which way each step goes is as good as random.
inline int BucketOf(const SamplePlan& plan, uint64_t key) {
  const uint64_t offset = key - plan.range_low;
  const size_t e =
      key < plan.range_low ? 0 : std::min<uint64_t>(offset >> plan.range_shift, plan.range_slots - 1);
  int b = plan.slot_low[e];
  int span = plan.slot_high[e] - b;  // the answer lies in [b, b + span]
  const uint64_t* s = plan.splitters;
  while (span > 0) {
    const int half = (span + 1) / 2;
    const bool above = s[b + half - 1] <= key;
    b += above ? half : 0;
    span = above ? span - half : half - 1;
  }
  return b;
}

// The column's element i.
double ElementAt(const SamplePlan& plan, int32_t i) {
  const Stretch* end = plan.parts + plan.part_count;
  const Stretch* at =
      std::upper_bound(plan.parts, end, i, [](int32_t k, const Stretch& s) { return k < s.first; });
  const Stretch& s = at[-1];
  return static_cast<const double*>(s.raw)[i - s.first];
}

void ClassifySlice(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  const int t = p.header.index;
  uint32_t* counts = plan.counts + static_cast<size_t>(t) * static_cast<size_t>(plan.buckets);
  for (int b = 0; b < plan.buckets; ++b) counts[b] = 0;
  const auto* v = static_cast<const double*>(p.raw);
  for (int32_t j = 0; j < p.n; ++j) {
    const int b = BucketOf(plan, DoubleKeyBits(v[j]));
    plan.bucket_of[p.first + j] = static_cast<uint16_t>(b);
    ++counts[b];
  }
}

void ScatterSlice(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  const int t = p.header.index;
  uint32_t* place = plan.counts + static_cast<size_t>(t) * static_cast<size_t>(plan.buckets);
  const auto* v = static_cast<const double*>(p.raw);
  for (int32_t j = 0; j < p.n; ++j) {
    const int32_t i = p.first + j;
    plan.items[place[plan.bucket_of[i]]++] = KeyItem{DoubleKeyBits(v[j]), i};
  }
}

void SortBuckets(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  uint32_t largest = 0;
  for (int b = p.bucket_from; b < p.bucket_to; ++b)
    largest = std::max(largest, plan.bucket_start[b + 1] - plan.bucket_start[b]);
  ZpkScratch<KeyItem> spare(std::max<size_t>(largest, 1));
  ZpkBlock<uint32_t> counts(static_cast<size_t>(6) * kRadix);
  for (int b = p.bucket_from; b < p.bucket_to; ++b) {
    const int m = static_cast<int>(plan.bucket_start[b + 1] - plan.bucket_start[b]);
    KeyItem* a = plan.items + plan.bucket_start[b];
    if (m == 0) {
      plan.first_number[b] = 0;
      continue;
    }
    uint64_t varying = 0;
    for (int i = 1; i < m; ++i) varying |= a[i].key ^ a[0].key;
    const int low = varying == 0 ? 0 : LowBit(varying);
    const int digits = varying == 0 ? 0 : (HighBit(varying) - low + kDigitBits - 1) / kDigitBits;
    if (digits > 0) {
      uint32_t* c = counts.get();
      memset(c, 0, sizeof(uint32_t) * kRadix * static_cast<size_t>(digits));
      for (int i = 0; i < m; ++i) {
        uint64_t rest = a[i].key >> low;
        for (int d = 0; d < digits; ++d) {
          ++c[static_cast<size_t>(d) * kRadix + (static_cast<unsigned>(rest) & (kRadix - 1))];
          rest >>= kDigitBits;
        }
      }
      const KeyItem* sorted = RadixSort(a, spare.get(), m, low, digits, c);
      if (sorted != a) memcpy(a, sorted, sizeof(KeyItem) * static_cast<size_t>(m));
    }
    int32_t distinct = 1;
    for (int i = 1; i < m; ++i) distinct += a[i].key != a[i - 1].key ? 1 : 0;
    plan.first_number[b] = distinct;
  }
}

void NumberBuckets(const CompileParam& p) {
  const SamplePlan& plan = *p.plan;
  int32_t* rows = plan.rows + plan.lead;
  for (int b = p.bucket_from; b < p.bucket_to; ++b) {
    const KeyItem* a = plan.items + plan.bucket_start[b];
    const int m = static_cast<int>(plan.bucket_start[b + 1] - plan.bucket_start[b]);
    int32_t number = plan.first_number[b] - 1;
    for (int i = 0; i < m; ++i) {
      if (i == 0 || a[i].key != a[i - 1].key) {
        ++number;
        // As the slice sort decodes: NaN has the key of minus infinity, and a zero is written as
        // its earliest element holds it.
        const uint64_t key = a[i].key;
        const uint64_t bits = (key & 0x8000000000000000ull) ? (key ^ 0x8000000000000000ull) : ~key;
        double x;
        memcpy(&x, &bits, 8);
        plan.list[number] = x == 0.0 ? ElementAt(plan, a[i].index) : x;
      }
      rows[a[i].index] = number;
    }
  }
}

// Runs one step of the whole sort over the workers' buckets, cut where the rows before them reach
// each worker's share.
void RunBucketStep(int threads, int mode, const SamplePlan& plan, int n) {
  int b = 0;
  for (int t = 0; t < threads; ++t) {
    auto* p = PoolParam<CompileParam>(t);
    p->mode = mode;
    p->plan = &plan;
    p->bucket_from = b;
    const uint32_t up_to = static_cast<uint32_t>(static_cast<int64_t>(n) * (t + 1) / threads);
    if (t == threads - 1) {
      b = plan.buckets;
    } else {
      while (b < plan.buckets && plan.bucket_start[b + 1] <= up_to) ++b;
    }
    p->bucket_to = b;
  }
  RunCompileTask(threads);
}

}  // namespace

bool WholeSortCompile(const Stretches& parts, int n, int lead, int type, int** rows_out, int* count_out,
                      void** list_out) {
  const int threads = static_cast<int>(parts.size());
  if (KindOf(type) != 3 || threads < 2 || n < kWholeSortMinRows) return false;
  SamplePlan plan{};
  plan.parts = parts.data();
  plan.part_count = threads;
  ZpkVector<uint64_t> sample(kSampleSize);
  for (int j = 0; j < kSampleSize; ++j)
    sample[static_cast<size_t>(j)] =
        DoubleKeyBits(ElementAt(plan, static_cast<int32_t>(static_cast<int64_t>(j) * n / kSampleSize)));
  std::sort(sample.begin(), sample.end());
  const int64_t sample_distinct = std::unique(sample.begin(), sample.end()) - sample.begin();
  if (sample_distinct < kSampleSize / 2) return false;
  // The unique pass moved the distinct keys to the front, still ascending.
  int buckets = 2;
  while (buckets * 2 <= std::min(n / kBucketRows, kMaxBuckets)) buckets *= 2;
  std::vector<uint64_t> splitters(static_cast<size_t>(buckets - 1));
  for (int b = 0; b + 1 < buckets; ++b)
    splitters[static_cast<size_t>(b)] = sample[static_cast<size_t>((b + 1) * sample_distinct / buckets)];

  plan.lead = lead;
  plan.buckets = buckets;
  plan.splitters = splitters.data();
  const uint64_t range_low = sample[0];
  const uint64_t range = sample[static_cast<size_t>(sample_distinct - 1)] - range_low;
  const int slot_bits = std::max(0, HighBit(range) - 16);
  const int slots = static_cast<int>((range >> slot_bits) + 1);
  std::vector<uint16_t> slot_low(static_cast<size_t>(slots));
  std::vector<uint16_t> slot_high(static_cast<size_t>(slots));
  plan.range_low = range_low;
  plan.range_shift = slot_bits;
  plan.range_slots = slots;
  int below = 0;  // splitters <= the slot's first key
  for (int e = 0; e < slots; ++e) {
    const uint64_t first = range_low + (static_cast<uint64_t>(e) << slot_bits);
    const uint64_t last = e == slots - 1 ? UINT64_MAX : first + ((uint64_t{1} << slot_bits) - 1);
    while (below < buckets - 1 && splitters[static_cast<size_t>(below)] <= first) ++below;
    int upto = below;
    while (upto < buckets - 1 && splitters[static_cast<size_t>(upto)] <= last) ++upto;
    slot_low[static_cast<size_t>(e)] = static_cast<uint16_t>(below);
    slot_high[static_cast<size_t>(e)] = static_cast<uint16_t>(upto);
  }
  plan.slot_low = slot_low.data();
  plan.slot_high = slot_high.data();
  plan.threads = threads;
  ZpkScratch<uint16_t> bucket_of(static_cast<size_t>(n));
  plan.bucket_of = bucket_of.get();
  std::vector<uint32_t> counts(static_cast<size_t>(buckets) * static_cast<size_t>(threads));
  plan.counts = counts.data();
  std::vector<uint32_t> bucket_start(static_cast<size_t>(buckets) + 1);
  plan.bucket_start = bucket_start.data();
  std::vector<int32_t> first_number(static_cast<size_t>(buckets));
  plan.first_number = first_number.data();

  SetUpStretches(parts, kSampleClassify, type, 8);
  for (int t = 0; t < threads; ++t) PoolParam<CompileParam>(t)->plan = &plan;
  RunCompileTask(threads);
  uint32_t place = 0;
  for (size_t b = 0; b < static_cast<size_t>(buckets); ++b) {
    bucket_start[b] = place;
    for (size_t t = 0; t < static_cast<size_t>(threads); ++t) {
      uint32_t& c = counts[t * static_cast<size_t>(buckets) + b];
      const uint32_t here = c;
      c = place;
      place += here;
    }
  }
  bucket_start[static_cast<size_t>(buckets)] = place;

  ZpkScratch<KeyItem> items(static_cast<size_t>(n));
  plan.items = items.get();
  for (int t = 0; t < threads; ++t) PoolParam<CompileParam>(t)->mode = kSampleScatter;
  RunCompileTask(threads);
  RunBucketStep(threads, kSampleSort, plan, n);

  // NULL is the smallest key; the implied NULL element adds an entry unless the column has one.
  const uint64_t null_key = DoubleKeyBits(-std::numeric_limits<double>::infinity());
  const int32_t shift = lead != 0 && items[0].key != null_key ? 1 : 0;
  int64_t total = shift;
  for (int b = 0; b < buckets; ++b) {
    const int32_t distinct = first_number[static_cast<size_t>(b)];
    first_number[static_cast<size_t>(b)] = static_cast<int32_t>(total);
    total += distinct;
  }
  ZpkBlock<int32_t> rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
  ZpkBlock<double> list(static_cast<size_t>(total));
  plan.rows = rows.get();
  plan.list = list.get();
  // The value numbers land at random places: their pages are faulted in on the workers first,
  // where a fault at each first write would make every worker wait on the others' faults.
  MppMemSet(plan.rows, 0,
            static_cast<long>(sizeof(int32_t) * (static_cast<size_t>(n) + static_cast<size_t>(lead))));
  MppMemSet(plan.list, 0, static_cast<long>(sizeof(double) * static_cast<size_t>(total)));
  if (lead != 0) rows[0] = 0;
  if (shift != 0) list[0] = -std::numeric_limits<double>::infinity();
  RunBucketStep(threads, kSampleNumber, plan, n);
  *rows_out = rows.Release();
  *count_out = static_cast<int>(total);
  *list_out = list.Release();
  return true;
}

int WholeSortStep(CompileParam* p) {
  switch (p->mode) {
    case kSampleClassify:
      ClassifySlice(*p);
      return 0;
    case kSampleScatter:
      ScatterSlice(*p);
      return 0;
    case kSampleSort:
      try {
        SortBuckets(*p);
      } catch (const CQ7Exception& e) {
        return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
      }
      return 0;
    case kSampleNumber:
      NumberBuckets(*p);
      return 0;
    default:
      break;
  }
  return 0;
}

}  // namespace mpp_compile_parts
