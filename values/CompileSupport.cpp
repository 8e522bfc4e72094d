#include "values/CompileSupport.h"

#include <sys/mman.h>

#include "values/CCompiler.h"
#include "values/MppCompile.h"

namespace {
int g_thread_limit = 0;
int Limit(int t) {
  if (g_thread_limit > 0 && t > g_thread_limit) t = g_thread_limit;
  return t < 1 ? 1 : t;
}
}  // namespace

void SetValueListThreadLimitForTest(int limit) { g_thread_limit = limit > 0 ? limit : 0; }

namespace vlc {

void AdviseHugePages(void* p, size_t bytes) {
  constexpr size_t kHuge = size_t{2} << 20;
  if (bytes < 4 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

int ValueListThreads(long n) { return Limit(CSmpEngine::Instance()->n_threads_for_elements(n)); }
int ValueListActiveThreads() { return Limit(CSmpEngine::Instance()->ActiveThreads()); }

const char* const* TrimmedTexts::Prepare(int n, const char* const* raw) {
  size_t bytes = 0;
  for (int i = 0; i < n; ++i) {
    const char* t = raw[i];
    if (t == nullptr) continue;
    const size_t keep = TrimmedLength(t);
    if (t[keep] != '\0') bytes += keep + 1;
  }
  if (bytes == 0) return raw;

  const size_t pointer_bytes = sizeof(const char*) * static_cast<size_t>(n);
  block_.reset(static_cast<char*>(zpk_malloc(pointer_bytes + bytes)));
  const char** view = reinterpret_cast<const char**>(block_.get());
  char* area = block_.get() + pointer_bytes;
  area_ = area;
  area_size_ = bytes;
  for (int i = 0; i < n; ++i) {
    const char* t = raw[i];
    view[i] = t;
    if (t == nullptr) continue;
    const size_t keep = TrimmedLength(t);
    if (t[keep] == '\0') continue;
    memcpy(area, t, keep);
    area[keep] = '\0';
    view[i] = area;
    area += keep + 1;
  }
  return view;
}

void* TrimmedTexts::Relocate(const char** list, int count) {
  const uintptr_t lo = reinterpret_cast<uintptr_t>(area_);
  auto in_area = [lo, this](const char* t) { return reinterpret_cast<uintptr_t>(t) - lo < area_size_; };
  size_t bytes = 0;
  for (int k = 0; k < count; ++k) {
    if (in_area(list[k])) bytes += strlen(list[k]) + 1;
  }
  const size_t pointer_bytes = sizeof(const char*) * static_cast<size_t>(count);
  char* block = static_cast<char*>(zpk_malloc(pointer_bytes + bytes));
  const char** out = reinterpret_cast<const char**>(block);
  char* tail = block + pointer_bytes;
  for (int k = 0; k < count; ++k) {
    const char* t = list[k];
    if (in_area(t)) {
      const size_t len = strlen(t);
      memcpy(tail, t, len + 1);
      t = tail;
      tail += len + 1;
    }
    out[k] = t;
  }
  zpk_free(list);
  return block;
}

}  // namespace vlc
