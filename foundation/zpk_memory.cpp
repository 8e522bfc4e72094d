#include "foundation/zpk_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_func_map.h"

namespace {

constexpr long kParallelThreshold = 1048576;

// Layouts of the two memory tasks inside a worker's parameter block.
struct MemcpyParam {
  MppParamHeader header;
  void* dst;
  const void* src;
  int32_t unit_size;
  uint64_t first;  // element index
  uint64_t end;
};
struct MemsetParam {
  MppParamHeader header;
  void* dst;
  int32_t value;
  uint64_t first;  // byte index
  uint64_t end;
};
static_assert(sizeof(MemcpyParam) <= kThreadParamSize);
static_assert(sizeof(MemsetParam) <= kThreadParamSize);

// From this size on a block is backed by huge pages where the system allows it.
constexpr size_t kHugePageBlock = size_t{2} << 20;

// A large fresh block is as a rule written from end to end soon after (a table being loaded, a
// compile's work arrays), and with 4 KiB pages its page faults cost about as much as the writing.
// Only the part of whole pages is advised, so no neighbouring block is touched. Advisory: a
// refusal (no transparent huge pages, an old kernel) changes nothing.
void AdviseHugePages(void* p, size_t bytes) {
  if (p == nullptr || bytes < kHugePageBlock) return;
  static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(page - 1);
  if (end > begin) (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void RunCopyOnPool(CSmpEngine* eng, void* dst, const void* src, int unit_size, uint64_t count) {
  const int k = eng->n_threads_for_elements(static_cast<long>(count));
  const uint64_t chunk = count / static_cast<uint64_t>(k);
  for (int i = 0; i < k; ++i) {
    auto* p = static_cast<MemcpyParam*>(eng->get_thread_param(i));
    p->dst = dst;
    p->src = src;
    p->unit_size = unit_size;
    p->first = static_cast<uint64_t>(i) * chunk;
    p->end = (i == k - 1) ? count : static_cast<uint64_t>(i + 1) * chunk;
  }
  // A failed worker may have left its range uncopied: the caller must hear of it.
  eng->run_threads_task(k, kMppTaskMemcpy);
}

}  // namespace

void* zpk_malloc(size_t size) {
  // malloc(0) may legitimately give null; a one-byte block keeps "null means exhausted" true.
  void* p = malloc(size != 0 ? size : 1);
  if (p == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  AdviseHugePages(p, size);
  return p;
}

void* zpk_realloc(void* p, size_t size) {
  void* q = realloc(p, size);
  if (q == nullptr && size != 0) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  AdviseHugePages(q, size);
  return q;
}

void zpk_free(void* p) { free(p); }

int mpp_memcpy(void* param) {
  const auto* p = static_cast<const MemcpyParam*>(param);
  if (p->end > p->first) {
    const size_t unit = static_cast<size_t>(p->unit_size);
    memcpy(static_cast<char*>(p->dst) + p->first * unit, static_cast<const char*>(p->src) + p->first * unit,
           (p->end - p->first) * unit);
  }
  return 0;
}

int mpp_memset(void* param) {
  const auto* p = static_cast<const MemsetParam*>(param);
  if (p->end > p->first) memset(static_cast<char*>(p->dst) + p->first, p->value, p->end - p->first);
  return 0;
}

void* MppMemSet(void* p, int value, long n) {
  if (n <= 0) return p;
  CSmpEngine* eng = CSmpEngine::Instance();
  if (n < kParallelThreshold || eng->ActiveThreads() <= 1) return memset(p, value, static_cast<size_t>(n));
  const int k = eng->n_threads_for_elements(n);
  const long chunk = n / k;
  for (int i = 0; i < k; ++i) {
    auto* param = static_cast<MemsetParam*>(eng->get_thread_param(i));
    param->dst = p;
    param->value = value;
    param->first = static_cast<uint64_t>(i) * static_cast<uint64_t>(chunk);
    param->end = (i == k - 1) ? static_cast<uint64_t>(n) : static_cast<uint64_t>(i + 1) * chunk;
  }
  eng->run_threads_task(k, kMppTaskMemset);
  return p;
}

void* MppMemCpy(void* dst, void* src, int unit_size, unsigned int count) {
  if (unit_size <= 0 || count == 0) return dst;
  CSmpEngine* eng = CSmpEngine::Instance();
  const uint64_t bytes = static_cast<uint64_t>(unit_size) * count;
  if (bytes < static_cast<uint64_t>(kParallelThreshold) || eng->ActiveThreads() <= 1) {
    return memcpy(dst, src, bytes);
  }
  RunCopyOnPool(eng, dst, src, unit_size, count);
  return dst;
}

void* MppMemcpy(void* dst, void* src, int unit_size, unsigned long count, int /*unused_threads*/) {
  if (unit_size <= 0 || count == 0) return dst;
  RunCopyOnPool(CSmpEngine::Instance(), dst, src, unit_size, count);
  return dst;
}
