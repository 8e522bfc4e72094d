// Scoped ownership of a zpk_malloc block, for the work arrays and results of the value-list
// compiler, the kernels and the tables.
//
// The block goes back through zpk_free when the holder dies, so every exit of a kernel, thrown
// or returned, releases what it took. Release() hands the block over to the caller instead.
// Not thread-safe by itself: one holder per owner.
#pragma once

#include <cstddef>
#include <utility>

#include "foundation/zpk_memory.h"

template <class T>
class ZpkBlock {
 public:
  ZpkBlock() = default;
  // Takes over a block from zpk_malloc (or null).
  explicit ZpkBlock(T* p) : p_(p) {}
  // Allocates count elements; throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) when none is left.
  explicit ZpkBlock(size_t count) : p_(static_cast<T*>(zpk_malloc(count * sizeof(T)))) {}
  ~ZpkBlock() { zpk_free(p_); }

  ZpkBlock(const ZpkBlock&) = delete;
  ZpkBlock& operator=(const ZpkBlock&) = delete;
  ZpkBlock(ZpkBlock&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ZpkBlock& operator=(ZpkBlock&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.p_, nullptr));
    return *this;
  }

  T* get() const { return p_; }
  T& operator[](size_t i) const { return p_[i]; }
  explicit operator bool() const { return p_ != nullptr; }

  // Frees the current block and takes p.
  void Reset(T* p = nullptr) {
    zpk_free(p_);
    p_ = p;
  }
  // Gives the block up without freeing it.
  T* Release() { return std::exchange(p_, nullptr); }
  // For out-parameters of allocating calls: frees the current block first.
  T** Out() {
    Reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};
