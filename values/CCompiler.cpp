// The value-list compiler: a raw column turned into a sorted list of distinct values and value numbers.
#include "values/CCompiler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_memory.h"
#include "values/CompileSettings.h"
#include "values/CompileSupport.h"

using namespace vlc;  // NOLINT: this folder's own helpers

namespace {

constexpr int32_t kIntNull = static_cast<int32_t>(0x80000000u);
constexpr size_t kTrimScanLimit = 4096;

}  // namespace

void vlc::CheckCompileArguments(int n, int type, int width) {
  if (n < 1) {
    PutErrorLog("Compile", Q7_ERROR_ILLEGAL_RECORD_NO, "Invalid Parameter : WholeSize");
    throw CQ7Exception(Q7_ERROR_ILLEGAL_RECORD_NO);
  }
  if (type < 2 || type > 8) {
    PutErrorLog("Compile", Q7_ERROR_INVALID_DATA_TYPE, getString("Illegal data type  : %d", type));
    throw CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE);
  }
  if (width != ValueTypeWidth(type)) {
    if (type != 8) PutErrorLog("Compile", Q7_ERROR_INVALID_UNIT_WIDTH, "Invalid Parameter : Width1Unit");
    throw CQ7Exception(Q7_ERROR_INVALID_UNIT_WIDTH);
  }
}

namespace {

// The counting method needs one slot per value of the range plus two; it pays off while the
// range stays below about eight slots per non-NULL value plus 1000. The slot index must also fit
// the 32-bit value numbers.
bool UseCountingMethod(int n, const _RawIntArrayRangeInfo& r) { return CountingPays(n, r); }

}  // namespace

bool vlc::CountingPays(int n, const _RawIntArrayRangeInfo& r) {
  const int64_t non_null = static_cast<int64_t>(n) - r.nulls;
  if (non_null <= 0) return false;
  const int64_t span = static_cast<int64_t>(r.max) - r.min + 3;
  return span < 8 * non_null + 1000 && span <= std::numeric_limits<int32_t>::max();
}

int ValueTypeWidth(int type) {
  switch (type) {
    case 2:
      return 4;
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
      return 8;
    case 8:
      return 16;
    default:
      return 0;
  }
}

void GetIntRange(int n, const int* raw, _RawIntArrayRangeInfo* range) {
  if (n < 0) throw CQ7Exception(Q7_ERROR_INVALID_ARRAY_SIZE);
  int32_t nulls = 0;
  int32_t lo = std::numeric_limits<int32_t>::max();
  int32_t hi = kIntNull;
  for (int i = 0; i < n; ++i) {
    const int32_t v = raw[i];
    if (v == kIntNull) {
      ++nulls;
      continue;
    }
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  range->nulls = nulls;
  range->min = lo;
  range->max = hi;
}

bool WillBeCompiledBySorting(int type, int n, const void* raw, _RawIntArrayRangeInfo* range) {
  if (type != 2) return false;
  GetIntRange(n, static_cast<const int*>(raw), range);
  return UseCountingMethod(n, *range);
}

size_t TrimmedLength(const char* text) {
  if (text == nullptr) return 0;
  size_t i = 0;
  size_t run_start = 0;
  bool in_run = false;
  for (; i < kTrimScanLimit && text[i] != '\0'; ++i) {
    if (text[i] == ' ') {
      if (!in_run) {
        in_run = true;
        run_start = i;
      }
    } else {
      in_run = false;
    }
  }
  if (in_run) return run_start;
  return i < kTrimScanLimit ? i : i + strlen(text + i);
}

int DelLastSpc(char* text) {
  if (text == nullptr) return 0;
  const size_t keep = TrimmedLength(text);
  if (text[keep] == '\0') return 0;
  text[keep] = '\0';
  return 1;
}

int Compile(int n, int type, int width, const void* raw, int** rows, int* count, void** list) {
  CCompiler compiler;
  return compiler.Compile(n, type, width, raw, rows, count, list, nullptr);
}

int Compile(int n, int type, int width, const void* raw, int** rows, int* count, void** list,
            _RawIntArrayRangeInfo* range) {
  CCompiler compiler;
  return compiler.Compile(n, type, width, raw, rows, count, list, range);
}

CCompiler::CCompiler(Trim trim) : trim_(trim) {}

int CCompiler::CompileByMerging(int n, int type, int width, const void* raw_data, int** rows, int* count,
                                void** list) {
  force_merge_ = true;
  try {
    Compile(n, type, width, raw_data, rows, count, list, nullptr);
  } catch (...) {
    force_merge_ = false;
    throw;
  }
  force_merge_ = false;
  return 0;
}

int CCompiler::Compile(int n, int type, int width, const void* raw_data, int** rows, int* count, void** list,
                       _RawIntArrayRangeInfo* range) {
  CheckCompileArguments(n, type, width);

  if (type == 2 && !force_merge_) {
    _RawIntArrayRangeInfo own;
    if (range == nullptr) {
      GetIntRange(n, static_cast<const int*>(raw_data), &own);
      range = &own;
    }
    if (UseCountingMethod(n, *range)) {
      CountingCompile(n, static_cast<const int32_t*>(raw_data), *range, rows, count, list);
      return 0;
    }
  }

  if (type == 6 && trim_ == Trim::kBySetting && g_cut_last_space != 0) {
    // Compare and list the trimmed texts; the caller's texts stay as they are.
    TrimmedTexts trimmed;
    raw = trimmed.Prepare(n, static_cast<const char* const*>(raw_data));
    int* new_rows = nullptr;
    int new_count = 0;
    void* new_list = nullptr;
    NumberByValue(n, type, width, &new_rows, &new_count, &new_list);
    ZpkBlock<int> rows_hold(new_rows);
    ZpkBlock<char> list_hold(static_cast<char*>(new_list));
    if (trimmed.active()) {
      new_list = trimmed.Relocate(static_cast<const char**>(new_list), new_count);
      list_hold.Release();  // Relocate freed it
    }
    *rows = rows_hold.Release();
    *count = new_count;
    *list = trimmed.active() ? new_list : list_hold.Release();
    return 0;
  }

  raw = raw_data;
  NumberByValue(n, type, width, rows, count, list);
  return 0;
}

void CCompiler::CountingCompile(int n, const int32_t* values, const _RawIntArrayRangeInfo& r, int** rows_out,
                                int* count_out, void** list_out) {
  const int32_t span = static_cast<int32_t>(static_cast<int64_t>(r.max) - r.min + 3);  // checked to fit
  ZpkBlock<int32_t> slots(span);
  memset(slots.get(), 0, sizeof(int32_t) * static_cast<size_t>(span));
  ZpkBlock<int32_t> rows(n);

  // With NULLs present slot 0 stands for NULL and value v takes slot v - min + 1. The slots are
  // recomputed from the raw values in the last pass rather than kept in the row array between
  // the passes: one memory stream less, the same numbers.
  const int64_t base = r.nulls > 0 ? static_cast<int64_t>(r.min) - 1 : r.min;
  const int32_t b32 = static_cast<int32_t>(base);  // min - 1 >= INT32_MIN since min is not NULL
  int32_t* s = slots.get();
  int32_t* row = rows.get();
  auto slot_of = [b32](int32_t v) {
    return v == kIntNull ? 0 : static_cast<int32_t>(static_cast<uint32_t>(v) - static_cast<uint32_t>(b32));
  };
  for (int i = 0; i < n; ++i) s[slot_of(values[i])] = 1;
  // Exclusive prefix sums from the front: a marked slot's sum is its value number.
  int32_t sum = 0;
  for (int32_t k = 0; k < span; ++k) {
    const int32_t mark = s[k];
    s[k] = sum;
    sum += mark;
  }
  for (int i = 0; i < n; ++i) row[i] = s[slot_of(values[i])];
  const int32_t count = s[span - 1];

  ZpkBlock<int32_t> list(count);
  int32_t* l = list.get();
  for (int32_t k = 0; k + 1 < span; ++k) {
    if (s[k + 1] == s[k]) continue;  // not marked
    l[s[k]] = (k == 0 && r.nulls > 0) ? kIntNull : static_cast<int32_t>(base + k);
  }
  *rows_out = rows.Release();
  *count_out = count;
  *list_out = list.Release();
}

// ---- The merge method ----
//
// A bottom-up merge sort of element indexes that drops duplicates as it goes. Positions index
// `cur`; the distinct entries of the run starting at s are cur[s .. map[s]], ascending; row[r] is
// the position of element r's value within its run.

int CCompiler::GetPair(int n, const int* stops) {
  const int64_t s = static_cast<int64_t>(pair) * 2 * width;
  if (s >= n) return 0;
  aStart = static_cast<int32_t>(s);
  aEnd = static_cast<int32_t>(std::min<int64_t>(s + width - 1, n - 1));
  aLast = stops[aStart];
  if (s + width >= n) return 1;
  bStart = static_cast<int32_t>(s + width);
  bEnd = static_cast<int32_t>(std::min<int64_t>(s + 2 * static_cast<int64_t>(width) - 1, n - 1));
  bLast = stops[bStart];
  return 2;
}

void CCompiler::IncArrow(int* cursor) {
  next[out] = cur[*cursor];
  map[*cursor] = out;
  ++*cursor;
  ++out;
}

void CCompiler::IncBothArrow() {
  next[out] = cur[ai];
  map[ai] = out;
  map[bi] = out;
  ++ai;
  ++bi;
  ++out;
}

void CCompiler::PutVListStop(int start, int out_pos, int* stops) { stops[start] = out_pos - 1; }

int CCompiler::CompInt() const {
  const int32_t* v = static_cast<const int32_t*>(raw);
  return CompareInt(v[cur[ai]], v[cur[bi]]);
}

int CCompiler::CompDouble() const {
  const double* v = static_cast<const double*>(raw);
  return CompareDouble(v[cur[ai]], v[cur[bi]]);
}

int CCompiler::CompString() const {
  const char* const* v = static_cast<const char* const*>(raw);
  return CompareText(v[cur[ai]], v[cur[bi]]);
}

int CCompiler::CompDecimal() const {
  const unsigned char* v = static_cast<const unsigned char*>(raw);
  return CompareDecimal(v + 16 * static_cast<size_t>(cur[ai]), v + 16 * static_cast<size_t>(cur[bi]));
}

template <class Cmp>
void CCompiler::MergeCompile(int n, int32_t* row, Cmp cmp) {
  for (int i = 0; i < n; ++i) row[i] = map[i] = cur[i] = i;

  for (int64_t w = 1;; w *= 2) {
    width = static_cast<int32_t>(w);
    bool whole = false;
    for (pair = 0;; ++pair) {
      const int kind = GetPair(n, map);
      if (kind == 0) break;
      if (kind == 1) {
        if (pair == 0) {
          whole = true;  // one run covers the column
        } else {
          memcpy(next + aStart, cur + aStart, sizeof(int32_t) * static_cast<size_t>(aLast - aStart + 1));
        }
        break;
      }
      out = aStart;
      int32_t renumber_from = aStart;
      if (cmp(cur[aLast], cur[bStart]) < 0) {
        // A's entries all come first and keep their positions: append B's.
        const size_t a_len = static_cast<size_t>(aLast - aStart + 1);
        memcpy(next + aStart, cur + aStart, sizeof(int32_t) * a_len);
        out = aLast + 1;
        for (int32_t p = bStart; p <= bLast; ++p) {
          next[out] = cur[p];
          map[p] = out++;
        }
        renumber_from = bStart;
      } else {
        ai = aStart;
        bi = bStart;
        while (ai <= aLast && bi <= bLast) {
          const int c = cmp(cur[ai], cur[bi]);
          if (c < 0) {
            IncArrow(&ai);
          } else if (c > 0) {
            IncArrow(&bi);
          } else {
            IncBothArrow();
          }
        }
        while (ai <= aLast) IncArrow(&ai);
        while (bi <= bLast) IncArrow(&bi);
      }
      for (int32_t r = renumber_from; r <= bEnd; ++r) row[r] = map[row[r]];
      PutVListStop(aStart, out, map);
    }
    if (whole) break;
    std::swap(cur, next);
  }
}

void CCompiler::NumberByValue(int n, int type, int elem_width, int** rows, int* count, void** list) {
  if (force_merge_) {
    MergeMethod(n, type, elem_width, rows, count, list);
  } else if (type == 6) {
    HashCompile(n, static_cast<const char* const*>(raw), rows, count, list);
  } else {
    RadixCompile(n, type, raw, rows, count, list);
  }
}

void CCompiler::MergeMethod(int n, int type, int elem_width, int** rows_out, int* count_out,
                            void** list_out) {
  ZpkBlock<int32_t> rows(n);
  ZpkBlock<int32_t> map_block(n);
  ZpkBlock<int32_t> cur_block(n);
  ZpkBlock<int32_t> next_block(n);
  map = map_block.get();
  cur = cur_block.get();
  next = next_block.get();

  switch (type) {
    case 2: {
      const int32_t* v = static_cast<const int32_t*>(raw);
      MergeCompile(n, rows.get(), [v](int32_t a, int32_t b) { return CompareInt(v[a], v[b]); });
      break;
    }
    case 6: {
      const char* const* v = static_cast<const char* const*>(raw);
      MergeCompile(n, rows.get(), [v](int32_t a, int32_t b) { return CompareText(v[a], v[b]); });
      break;
    }
    case 8: {
      const unsigned char* v = static_cast<const unsigned char*>(raw);
      MergeCompile(n, rows.get(), [v](int32_t a, int32_t b) {
        return CompareDecimal(v + 16 * static_cast<size_t>(a), v + 16 * static_cast<size_t>(b));
      });
      break;
    }
    default: {
      const double* v = static_cast<const double*>(raw);
      MergeCompile(n, rows.get(), [v](int32_t a, int32_t b) { return CompareDouble(v[a], v[b]); });
      break;
    }
  }

  // `cur` now holds the final run (the swap may have exchanged the blocks).
  const int32_t count = map[0] + 1;
  ZpkBlock<unsigned char> list(static_cast<size_t>(count) * elem_width);
  const unsigned char* src = static_cast<const unsigned char*>(raw);
  unsigned char* dst = list.get();
  switch (type) {
    case 2:
      for (int32_t k = 0; k < count; ++k)
        reinterpret_cast<int32_t*>(dst)[k] = static_cast<const int32_t*>(raw)[cur[k]];
      break;
    case 6:
      for (int32_t k = 0; k < count; ++k) {
        const char* t = static_cast<const char* const*>(raw)[cur[k]];
        reinterpret_cast<const char**>(dst)[k] = t != nullptr ? t : kEmptyText;
      }
      break;
    case 8:
      for (int32_t k = 0; k < count; ++k)
        memcpy(dst + 16 * static_cast<size_t>(k), src + 16 * static_cast<size_t>(cur[k]), 16);
      break;
    default:
      for (int32_t k = 0; k < count; ++k) {
        const double x = static_cast<const double*>(raw)[cur[k]];
        // A NaN can only stand for the NULL class, which sorts first.
        reinterpret_cast<double*>(dst)[k] = std::isnan(x) ? -std::numeric_limits<double>::infinity() : x;
      }
      break;
  }
  map = cur = next = nullptr;
  *rows_out = rows.Release();
  *count_out = count;
  *list_out = list.Release();
}
