// Compiling a raw value array into a column's value list and value numbers without moving the input.
#include "summary/MultiWayCompile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "values/Numeric.h"
#include "values/ZpkBlock.h"

namespace {

constexpr int kMaxFanIn = 1024;

// A run of consecutive positions; its sorted distinct list and the old-to-new number map of a merge
// both sit at [start, start + distinct) of their arrays, so blocks never overlap there.
struct Block {
  int start;
  int len;
  int distinct;
};

template <class T, class Less>
int Compile(int n, int k, const T* in, int32_t** numbers, T** distinct, Less less) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (numbers) *numbers = nullptr;
  if (distinct) *distinct = nullptr;
  if (n < 1) return -1;
  if (k < 2 || k > kMaxFanIn) return -2;
  if (!in || !numbers || !distinct) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  const size_t count = static_cast<size_t>(n);
  auto equal = [&less](const T& a, const T& b) { return !less(a, b) && !less(b, a); };

  ZpkBlock<int32_t> number(count);  // per position: its value number within its block
  ZpkBlock<int32_t> map(count);
  ZpkBlock<T> lists[2] = {ZpkBlock<T>(count), ZpkBlock<T>(count)};
  std::memcpy(static_cast<void*>(lists[0].get()), in, sizeof(T) * count);
  std::memset(number.get(), 0, sizeof(int32_t) * count);

  // The block lists of this pass and the next, in engine memory like every other work array.
  ZpkBlock<Block> block_lists[2] = {ZpkBlock<Block>(count), ZpkBlock<Block>((count + 1) / 2)};
  Block* blocks = block_lists[0].get();
  Block* merged = block_lists[1].get();
  size_t n_blocks = count;
  for (int p = 0; p < n; ++p) blocks[p] = Block{p, 1, 1};
  std::vector<int> cursor(static_cast<size_t>(k));
  std::vector<int> heap;
  heap.reserve(static_cast<size_t>(k));
  int cur = 0;
  while (n_blocks > 1) {
    const T* src = lists[cur].get();
    T* dst = lists[1 - cur].get();
    size_t n_merged = 0;
    for (size_t g = 0; g < n_blocks; g += static_cast<size_t>(k)) {
      const int m = static_cast<int>(std::min(n_blocks - g, static_cast<size_t>(k)));
      const Block* group = blocks + g;
      if (m == 1) {
        std::memcpy(static_cast<void*>(dst + group[0].start), src + group[0].start,
                    sizeof(T) * group[0].distinct);
        merged[n_merged++] = group[0];
        continue;
      }
      auto head = [&](int j) -> const T& { return src[group[j].start + cursor[j]]; };
      // Heap order: the smallest head first; among equal heads the earlier block, so the distinct
      // list keeps the value of the lowest position.
      auto after = [&](int a, int b) {
        if (less(head(b), head(a))) return true;
        return !less(head(a), head(b)) && b < a;
      };
      heap.clear();
      int len = 0;
      for (int j = 0; j < m; ++j) {
        cursor[j] = 0;
        len += group[j].len;
        heap.push_back(j);
      }
      std::make_heap(heap.begin(), heap.end(), after);
      T* out = dst + group[0].start;
      int next = 0;
      while (!heap.empty()) {
        if (heap.size() == 1) {
          const int j = heap.front();
          for (int c = cursor[j]; c < group[j].distinct; ++c) {
            out[next] = src[group[j].start + c];
            map[group[j].start + c] = next++;
          }
          break;
        }
        std::pop_heap(heap.begin(), heap.end(), after);
        const int first = heap.back();
        heap.pop_back();
        const T value = head(first);
        out[next] = value;
        map[group[first].start + cursor[first]] = next;
        // Every other block whose head equals the minimum maps it to the same number.
        while (!heap.empty() && equal(head(heap.front()), value)) {
          std::pop_heap(heap.begin(), heap.end(), after);
          const int j = heap.back();
          heap.pop_back();
          map[group[j].start + cursor[j]] = next;
          if (++cursor[j] < group[j].distinct) {
            heap.push_back(j);
            std::push_heap(heap.begin(), heap.end(), after);
          }
        }
        if (++cursor[first] < group[first].distinct) {
          heap.push_back(first);
          std::push_heap(heap.begin(), heap.end(), after);
        }
        ++next;
      }
      for (int j = 0; j < m; ++j) {
        const int start = group[j].start;
        int32_t* num = number.get() + start;
        const int32_t* to = map.get() + start;
        for (int p = 0; p < group[j].len; ++p) num[p] = to[num[p]];
      }
      merged[n_merged++] = Block{group[0].start, len, next};
    }
    std::swap(blocks, merged);
    n_blocks = n_merged;
    cur = 1 - cur;
  }

  const int d = blocks[0].distinct;
  ZpkBlock<T> list(static_cast<size_t>(d));
  std::memcpy(static_cast<void*>(list.get()), lists[cur].get(), sizeof(T) * static_cast<size_t>(d));
  *numbers = number.Release();
  *distinct = list.Release();
  return d;
}

}  // namespace

int MultiWayCompileInt(int n, int k, const int32_t* values, int32_t** numbers, int32_t** distinct) {
  return Compile(n, k, values, numbers, distinct, [](int32_t a, int32_t b) { return a < b; });
}

int MultiWayCompileFloat(int n, int k, const double* values, int32_t** numbers, double** distinct) {
  return Compile(n, k, values, numbers, distinct, [](double a, double b) {
    if (std::isnan(a)) return !std::isnan(b);
    return !std::isnan(b) && a < b;
  });
}

int MultiWayCompileString(int n, int k, const char* const* texts, int32_t** numbers, const char*** distinct) {
  if (n >= 1 && k >= 2 && k <= kMaxFanIn && texts) {
    for (int i = 0; i < n; ++i) {
      if (!texts[i]) {
        if (numbers) *numbers = nullptr;
        if (distinct) *distinct = nullptr;
        throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
      }
    }
  }
  return Compile(n, k, texts, numbers, distinct,
                 [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
}

int MultiWayCompileNumeric(int n, int k, const Numeric* values, int32_t** numbers, Numeric** distinct) {
  return Compile(n, k, values, numbers, distinct,
                 [](const Numeric& a, const Numeric& b) { return q7num::NumericCmp(&a, &b) > 0; });
}
