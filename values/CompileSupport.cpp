// Internal helpers of the compiler, merges and conversions: value orders and their comparisons.
#include "values/CompileSupport.h"

#include "values/CCompiler.h"
#include "values/MppCompile.h"

namespace vlc {

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
  block_.Reset(static_cast<char*>(zpk_malloc(pointer_bytes + bytes)));
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
