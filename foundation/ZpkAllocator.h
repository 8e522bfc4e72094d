// A standard allocator over zpk_malloc / zpk_free, for the work vectors that grow with the data.
//
// A std::vector of the C library's malloc that a worker fills lands, once the C library has raised
// its mapping threshold, in that worker's own heap, whose free top stays resident after the work
// (see kMappedBlockMin); one of a few MiB freed on any thread raises that threshold. A ZpkVector's
// storage of kMappedBlockMin bytes or more is a mapping of the engine's own instead, given back
// when freed. Exhaustion throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY), as zpk_malloc does.
// Stateless: any two allocators are equal, so vectors swap and move their storage freely.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"

template <class T>
class ZpkAllocator {
 public:
  using value_type = T;

  ZpkAllocator() = default;
  template <class U>
  ZpkAllocator(const ZpkAllocator<U>&) noexcept {}

  T* allocate(size_t n) {
    if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    return static_cast<T*>(zpk_malloc(n * sizeof(T)));
  }
  void deallocate(T* p, size_t) noexcept { zpk_free(p); }

  template <class U>
  bool operator==(const ZpkAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using ZpkVector = std::vector<T, ZpkAllocator<T>>;
