// The parallel compile's entry points and driver: the choice of road, the slices' road, NULL put in front.
#include "values/MppCompile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "values/CCompiler.h"
#include "values/CompileSettings.h"
#include "values/CompileSupport.h"
#include "values/MppCompileParts.h"

using namespace vlc;                // NOLINT: this folder's own helpers
using namespace mpp_compile_parts;  // NOLINT: the parts of the parallel compile

namespace mpp_compile_parts {

void RunCompileTask(int threads) {
  try {
    CSmpEngine::Instance()->run_threads_task(threads, kMppTaskCompile);
  } catch (...) {
    // A failed worker freed its own outputs; the others' are freed here.
    for (int i = 0; i < threads; ++i) {
      auto* p = PoolParam<CompileParam>(i);
      if (p->mode == kCompileSlice) {
        zpk_scratch_give(p->rows, p->caps.rows);
        zpk_scratch_give(p->list, p->caps.list);
        p->rows = nullptr;
        p->list = nullptr;
      }
    }
    throw;
  }
}

Stretches EvenStretches(int threads, int n, int width, const void* raw) {
  Stretches out(static_cast<size_t>(threads));
  const int share = n / threads;
  for (int i = 0; i < threads; ++i) {
    const int from = i * share;
    out[static_cast<size_t>(i)] = {
        static_cast<const char*>(raw) + static_cast<size_t>(from) * static_cast<size_t>(width),
        i == threads - 1 ? n - from : share, from};
  }
  return out;
}

void SetUpStretches(const Stretches& parts, int mode, int type, int width) {
  for (size_t i = 0; i < parts.size(); ++i) {
    auto* p = PoolParam<CompileParam>(static_cast<int>(i));
    p->mode = mode;
    p->n = parts[i].n;
    p->type = type;
    p->width = width;
    p->raw = parts[i].raw;
    p->first = parts[i].first;
    p->rows = nullptr;
    p->count = 0;
    p->list = nullptr;
    p->lead = 0;
    p->caps = ScratchCaps{};
  }
}

void PutNullEntry(int type, void* entry) {
  switch (KindOf(type)) {
    case 2: {
      const int32_t v = INT32_MIN;
      memcpy(entry, &v, sizeof v);
      break;
    }
    case 3: {
      const double v = -std::numeric_limits<double>::infinity();
      memcpy(entry, &v, sizeof v);
      break;
    }
    case 6: {
      const char* t = kEmptyText;
      memcpy(entry, &t, sizeof t);
      break;
    }
    default: {
      const int64_t halves[2] = {0, INT64_MIN};  // the decimal NaN
      memcpy(entry, halves, sizeof halves);
      break;
    }
  }
}

}  // namespace mpp_compile_parts

namespace {

// Fills every worker's block for `mode` over its slice of n elements.
void SetUpSlices(int threads, int mode, int n, int type, int width, const void* raw) {
  SetUpStretches(EvenStretches(threads, n, width, raw), mode, type, width);
}

// Makes a compiled list that of the same column with one NULL element put in front: the NULL
// becomes entry 0, either taking the place of the NULL class already listed (the new element is
// the earliest, so its bytes represent the class) or ahead of every entry, the n row numbers then
// moving up by one. On failure the list and rows are left as they were. With `list_cap` given the
// list is a scratch block of that capacity, and so is the grown one.
void PrependNull(int type, int32_t* rows, int n, void** list, int* count, size_t* list_cap) {
  const size_t width = static_cast<size_t>(ValueTypeWidth(type));
  unsigned char null_entry[16];
  PutNullEntry(type, null_entry);
  const void* first = *list;
  bool listed = false;
  if (*count > 0) {
    switch (KindOf(type)) {
      case 2:
        listed = CompareInt(*static_cast<const int32_t*>(first), INT32_MIN) == 0;
        break;
      case 3:
        listed =
            CompareDouble(*static_cast<const double*>(first), -std::numeric_limits<double>::infinity()) == 0;
        break;
      case 6:
        listed = CompareText(*static_cast<const char* const*>(first), kEmptyText) == 0;
        break;
      default:
        listed = CompareDecimal(first, null_entry) == 0;
        break;
    }
  }
  if (listed) {
    memcpy(*list, null_entry, width);
    return;
  }
  OutBlock<unsigned char> grown(width * (static_cast<size_t>(*count) + 1), list_cap != nullptr);
  memcpy(grown.get(), null_entry, width);
  if (*count > 0) memcpy(grown.get() + width, *list, width * static_cast<size_t>(*count));
  zpk_scratch_give(*list, list_cap != nullptr ? *list_cap : 0);
  *list = grown.Release(list_cap);
  ++*count;
  for (int i = 0; i < n; ++i) ++rows[i];
}

}  // namespace

// ---- Utilities ----

void* zpk_malloc_t(int type, size_t n) {
  const int width = ValueTypeWidth(type);
  if (width == 0) return nullptr;
  return zpk_malloc(static_cast<size_t>(width) * n);
}

int zpk_strcmp(const char* a, const char* b) {
  if (a == nullptr) return b == nullptr ? 0 : -1;
  if (b == nullptr) return 1;
  return strcmp(a, b);
}

// ---- Compile ----

namespace {

// Frees the compiled slices still held, whatever way the compile ends.
// Each block carries its scratch capacity (0 for a plain block, see OutBlock): only the list
// handed to the caller in the end is plain once the slices are merged.
struct SliceResults {
  struct Slice {
    int32_t* rows = nullptr;  // the slice's own value numbers
    int32_t n_rows = 0;
    void* list = nullptr;     // the list of the group this slice leads (null when it leads none)
    int32_t count = 0;        // its length
    int32_t* comp = nullptr;  // the slice's numbers -> the group's numbers (null: identity)
    int32_t own_count = 0;    // the slice's own distinct count (entries of comp)
    size_t rows_cap = 0;
    size_t list_cap = 0;
    size_t comp_cap = 0;
  };
  std::vector<Slice> slices;
  ~SliceResults() {
    for (Slice& s : slices) {
      zpk_scratch_give(s.rows, s.rows_cap);
      zpk_scratch_give(s.list, s.list_cap);
      zpk_scratch_give(s.comp, s.comp_cap);
    }
  }
};

// MppCompile of `lead` (0 or 1) implicit NULL elements followed by the n elements of raw: the
// outputs cover lead + n elements, and raw is read where it lies.
void CompileColumn(int n, int lead, int type, int width, const void* raw, int** rows, int* count,
                   void** list) {
  // Scratch kept beyond what this compile needed at once goes back to the system, however it ends.
  struct Settle {
    ~Settle() { zpk_scratch_settle(); }
  } settle;
  // Checked here, on the calling thread, so that the workers never meet a bad argument (and never
  // write the error ring). A total past the int range fails the check as the negative count it wraps to.
  const int total = static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(n) + lead));
  CheckCompileArguments(total, type, width);
  if (n == 0) {
    ZpkBlock<int32_t> only(1);
    only[0] = 0;
    ZpkBlock<unsigned char> entry(static_cast<size_t>(width));
    PutNullEntry(type, entry.get());
    *rows = only.Release();
    *count = 1;
    *list = entry.Release();
    return;
  }
  const int threads = CSmpEngine::Instance()->n_threads_for_elements(n);

  if (type == 2) {
    // A dense integer column is numbered by counting, which beats splitting into slices; its
    // passes over the rows still run on all workers.
    _RawIntArrayRangeInfo range;
    if (threads == 1) {
      GetIntRange(n, static_cast<const int*>(raw), &range);
      range.nulls += lead;
      if (CountingPays(total, range)) {
        if (lead == 0) {
          Compile(n, type, width, raw, rows, count, list, &range);
        } else {
          ParallelCounting(EvenStretches(1, n, width, raw), n, range, lead, rows, count, list);
        }
        return;
      }
    } else {
      SetUpSlices(threads, kIntRange, n, type, width, raw);
      RunCompileTask(threads);
      range = PoolParam<CompileParam>(0)->range;
      for (int i = 1; i < threads; ++i) {
        const _RawIntArrayRangeInfo& r = PoolParam<CompileParam>(i)->range;
        range.nulls += r.nulls;
        range.min = std::min(range.min, r.min);
        range.max = std::max(range.max, r.max);
      }
      range.nulls += lead;
      if (CountingPays(total, range)) {
        ParallelCounting(EvenStretches(threads, n, width, raw), n, range, lead, rows, count, list);
        return;
      }
    }
  }

  if ((KindOf(type) == 3 || type == 8) &&
      KeyCounting(EvenStretches(threads, n, width, raw), n, lead, type, rows, count, list))
    return;
  if (WholeSortCompile(EvenStretches(threads, n, width, raw), n, lead, type, rows, count, list)) return;

  // Trim once for all slices; the slices then compile the trimmed view as it stands.
  TrimmedTexts trimmed;
  const void* view = raw;
  if (type == 6 && g_cut_last_space != 0) view = trimmed.Prepare(n, static_cast<const char* const*>(raw));

  SliceResults results;
  results.slices.resize(static_cast<size_t>(threads));
  int32_t* out_rows = nullptr;
  if (threads == 1) {
    CCompiler compiler(CCompiler::Trim::kNever);
    SliceResults::Slice& s = results.slices[0];
    compiler.Compile(n, type, width, view, &s.rows, &s.count, &s.list, nullptr);
    if (lead == 0) {
      out_rows = s.rows;
      s.rows = nullptr;
    } else {
      PrependNull(type, s.rows, n, &s.list, &s.count, nullptr);
      ZpkBlock<int32_t> all_rows(static_cast<size_t>(n) + 1);
      all_rows[0] = 0;
      memcpy(all_rows.get() + 1, s.rows, sizeof(int32_t) * static_cast<size_t>(n));
      out_rows = all_rows.Release();
    }
  } else {
    SetUpSlices(threads, kCompileSlice, n, type, width, view);
    PoolParam<CompileParam>(0)->lead = lead;
    RunCompileTask(threads);
    for (int i = 0; i < threads; ++i) {
      auto* p = PoolParam<CompileParam>(i);
      SliceResults::Slice& s = results.slices[static_cast<size_t>(i)];
      s.rows = p->rows;
      s.list = p->list;
      s.rows_cap = p->caps.rows;
      s.list_cap = p->caps.list;
      s.count = s.own_count = p->count;
      s.n_rows = p->n;
      p->rows = nullptr;
      p->list = nullptr;
    }

    // Merge tree in element order: group i takes in group i + step. Merge maps only grow, so a
    // slice's numbers are carried to the group's by composing the maps (sequential reads), and
    // every row is renumbered once at the end.
    for (int step = 1; step < threads; step *= 2) {
      for (int i = 0; i + step < threads; i += 2 * step) {
        SliceResults::Slice& a = results.slices[static_cast<size_t>(i)];
        SliceResults::Slice& b = results.slices[static_cast<size_t>(i + step)];
        OutBlock<int32_t> map1(static_cast<size_t>(a.count), true);
        OutBlock<int32_t> map2(static_cast<size_t>(b.count), true);
        void* merged = nullptr;
        int merged_count = 0;
        // Only the last merge makes the list that the caller keeps; the lists before it are scratch.
        const bool last = 2 * step >= threads;
        size_t merged_cap = 0;
        MergeLists(a.list, b.list, a.count, b.count, type, map1.get(), map2.get(), &merged, &merged_count,
                   nullptr, nullptr, last ? nullptr : &merged_cap);
        zpk_scratch_give(a.list, a.list_cap);
        zpk_scratch_give(b.list, b.list_cap);
        a.list = merged;
        a.list_cap = merged_cap;
        a.count = merged_count;
        b.list = nullptr;
        b.list_cap = 0;
        b.count = 0;
        // Compose. A slice not merged before is a group of its own: it takes the map itself.
        int job = 0;
        const int end = std::min(i + 2 * step, threads);
        for (int q = i; q < end; ++q) {
          SliceResults::Slice& sq = results.slices[static_cast<size_t>(q)];
          OutBlock<int32_t>& side = q < i + step ? map1 : map2;
          if (sq.comp == nullptr) {
            sq.comp = side.Release(&sq.comp_cap);
            continue;
          }
          int32_t* m = side.get();
          auto* p = PoolParam<RenumberParam>(job++);
          p->map = m;
          p->n = sq.own_count;
          p->src = nullptr;
          p->dst = sq.comp;
        }
        if (job > 0) CSmpEngine::Instance()->run_threads_task(job, kMppTaskRenumber);
      }
    }

    ZpkBlock<int32_t> all_rows(static_cast<size_t>(n) + static_cast<size_t>(lead));
    if (lead != 0) all_rows[0] = 0;  // NULL is the smallest value
    int64_t offset = lead;
    for (int q = 0; q < threads; ++q) {
      SliceResults::Slice& sq = results.slices[static_cast<size_t>(q)];
      auto* p = PoolParam<RenumberParam>(q);
      p->map = sq.comp;
      p->n = sq.n_rows;
      p->src = sq.rows;
      p->dst = all_rows.get() + offset;
      offset += sq.n_rows;
    }
    CSmpEngine::Instance()->run_threads_task(threads, kMppTaskRenumber);
    out_rows = all_rows.Release();
  }

  SliceResults::Slice& whole = results.slices[0];
  try {
    if (trimmed.active()) {
      whole.list = trimmed.Relocate(static_cast<const char**>(whole.list), whole.count);
    } else if (type == 6) {
      // Entries are the caller's own text pointers; a null text reads as the empty text.
      auto** texts = static_cast<const char**>(whole.list);
      for (int k = 0; k < whole.count; ++k) {
        if (texts[k] == nullptr) texts[k] = kEmptyText;
      }
    }
  } catch (...) {
    zpk_free(out_rows);
    throw;
  }
  *rows = out_rows;
  *count = whole.count;
  *list = whole.list;
  whole.list = nullptr;
}

}  // namespace

int MppCompile(int n, int type, int width, const void* raw, int** rows, int* count, void** list) {
  CompileColumn(n, 0, type, width, raw, rows, count, list);
  return 0;
}

int MppCompileWithNull(int n, int type, int width, const void* raw, int** rows, int* count, void** list) {
  CompileColumn(n, 1, type, width, raw, rows, count, list);
  return 0;
}

bool MppCompileWithNullPieces(const MppColumnPiece* pieces, int piece_count, int type, int width, int** rows,
                              int* count, void** list) {
  Stretches parts;
  int64_t n = 0;
  for (int i = 0; i < piece_count; ++i) {
    if (pieces[i].n <= 0) continue;
    parts.push_back({pieces[i].raw, pieces[i].n, static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX))});
    n += pieces[i].n;
  }
  CSmpEngine* eng = CSmpEngine::Instance();
  // The one-worker compile and anything past the int range are left to the joined column's road.
  if (parts.empty() || n >= INT32_MAX || static_cast<int>(parts.size()) > eng->ActiveThreads() ||
      eng->n_threads_for_elements(static_cast<long>(n)) <= 1)
    return false;
  if (type != 2 && KindOf(type) != 3 && type != 8) return false;
  // The roads and their order are CompileColumn's, and so is the scratch kept after them.
  struct Settle {
    ~Settle() { zpk_scratch_settle(); }
  } settle;
  const int lead = 1;
  const int total = static_cast<int>(n) + lead;
  CheckCompileArguments(total, type, width);
  if (type == 2) {
    SetUpStretches(parts, kIntRange, type, width);
    RunCompileTask(static_cast<int>(parts.size()));
    _RawIntArrayRangeInfo range = PoolParam<CompileParam>(0)->range;
    for (size_t i = 1; i < parts.size(); ++i) {
      const _RawIntArrayRangeInfo& r = PoolParam<CompileParam>(static_cast<int>(i))->range;
      range.nulls += r.nulls;
      range.min = std::min(range.min, r.min);
      range.max = std::max(range.max, r.max);
    }
    range.nulls += lead;
    if (!CountingPays(total, range)) return false;
    ParallelCounting(parts, static_cast<int>(n), range, lead, rows, count, list);
    return true;
  }
  if (KeyCounting(parts, static_cast<int>(n), lead, type, rows, count, list)) return true;
  return WholeSortCompile(parts, static_cast<int>(n), lead, type, rows, count, list);
}

int mpp_compile(void* param) {
  auto* p = static_cast<CompileParam*>(param);
  switch (p->mode) {
    case kIntRange:
      GetIntRange(p->n, static_cast<const int*>(p->raw), &p->range);
      return 0;
    case kMarkSlots:
    case kNumberRows:
    case kKeySpan:
    case kMarkKeys:
    case kSlotSums:
    case kSlotRanks:
    case kNumberKeys:
      return CountingStep(p);
    case kSampleClassify:
    case kSampleScatter:
    case kSampleSort:
    case kSampleNumber:
      return WholeSortStep(p);
    default:
      break;
  }
  p->rows = nullptr;
  p->list = nullptr;
  p->count = 0;
  p->caps = ScratchCaps{};
  try {
    // The compile's own choice of method (the arguments were checked by the caller, and the texts
    // are trimmed already), but a slice's rows and list die inside the compile, so the numbering
    // paths put them on the scratch pool. A dense integer slice is counted into plain blocks.
    int* rows = nullptr;
    int count = 0;
    void* list = nullptr;
    ScratchCaps caps;
    bool counted = false;
    if (p->type == 2) {
      _RawIntArrayRangeInfo range;
      GetIntRange(p->n, static_cast<const int*>(p->raw), &range);
      if (CountingPays(p->n, range)) {
        CCompiler compiler(CCompiler::Trim::kNever);
        compiler.Compile(p->n, p->type, p->width, p->raw, &rows, &count, &list, &range);
        counted = true;
      }
    }
    if (!counted && p->type == 6) {
      HashCompile(p->n, static_cast<const char* const*>(p->raw), &rows, &count, &list, &caps);
    } else if (!counted) {
      RadixCompile(p->n, p->type, p->raw, &rows, &count, &list, &caps);
    }
    if (p->lead != 0) {
      try {
        PrependNull(p->type, rows, p->n, &list, &count, &caps.list);
      } catch (...) {
        zpk_scratch_give(rows, caps.rows);
        zpk_scratch_give(list, caps.list);
        throw;
      }
    }
    p->rows = rows;
    p->count = count;
    p->list = list;
    p->caps = caps;
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    return static_cast<int>(Q7_ERROR_UNKNOWN);
  }
}
