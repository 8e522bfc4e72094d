// The engine's allocation calls and its parallel fill and copy.
#include "foundation/zpk_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/mpp_func_map.h"

// g++ says it builds with the address checker by a macro, clang by a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define Q7_ADDRESS_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define Q7_ADDRESS_CHECKED 1
#endif
#endif
#if defined(Q7_ADDRESS_CHECKED)
#include <sanitizer/asan_interface.h>
#endif

namespace {

constexpr long kParallelThreshold = 1048576;

// What a worker of the copy task does with its range.
enum class CopyMode : int32_t {
  kMemory,  // memcpy from src
  kFile,    // pread from fd at offset (bytes; unit_size 1)
  kScanMax  // no copy: the largest 4-byte element of src minus bias, as unsigned
};

// Layouts of the two memory tasks inside a worker's parameter block.
struct MemcpyParam {
  MppParamHeader header;
  void* dst;
  const void* src;
  int32_t unit_size;
  uint64_t first;  // element index
  uint64_t end;
  CopyMode mode;
  int32_t fd;       // CopyMode::kFile
  int64_t offset;   // CopyMode::kFile: the file position of element 0
  uint32_t bias;    // CopyMode::kScanMax
  uint32_t result;  // CopyMode::kScanMax: the range's largest; CopyMode::kFile: 1 when the range was read
};
struct MemsetParam {
  MppParamHeader header;
  void* dst;
  int32_t value;     // the byte, or for a sequence the value of element 0
  int32_t sequence;  // 0: a byte fill; 1: an int sequence, first and end being element indexes
  uint64_t first;    // byte index (a sequence: element index)
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
    p->mode = CopyMode::kMemory;
  }
  // A failed worker may have left its range uncopied: the caller must hear of it.
  eng->run_threads_task(k, kMppTaskMemcpy);
}

// Every byte of [dst, dst + bytes) from the file at offset; false at the end of the file or on an
// error. Reads that the kernel cuts short go on where they stopped.
bool PreadAll(int fd, char* dst, size_t bytes, int64_t offset) {
  while (bytes > 0) {
    const ssize_t got = pread(fd, dst, bytes, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    dst += got;
    bytes -= static_cast<size_t>(got);
    offset += got;
  }
  return true;
}

}  // namespace

// ---- Mapped blocks ----
// The C library serves a block below its mapping threshold from the heap of the thread that asks,
// and raises that threshold (up to 32 MiB) each time a mapped block below 32 MiB is freed. After
// the first large step the workers' work blocks would then come from their own heaps, whose free
// top the C library never gives back (malloc_trim trims only the main heap's top), and every later
// workload would leave tens of MiB a worker resident after a clear. A block of kMappedBlockMin bytes
// or more is therefore a mapping of the engine's own: it never enters a heap, and its free never
// moves the C library's threshold.

namespace {

size_t PageBytes() {
  static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

// Every mapping the engine made, by address: the page-aligned pointers zpk_free and zpk_realloc
// meet are looked up here, the others are the C library's.
struct MappedBlocks {
  std::mutex mutex;
  std::unordered_map<uintptr_t, size_t> bytes;  // whole pages
};

MappedBlocks& Mapped() {
  static MappedBlocks* mapped = new MappedBlocks;  // never destroyed: workers may still free at exit
  return *mapped;
}

// The bytes of the engine's mapping at p, or 0 when p is no such mapping (null included).
size_t MappedBytes(const void* p) {
  const auto at = reinterpret_cast<uintptr_t>(p);
  if (at == 0 || (at & (PageBytes() - 1)) != 0) return 0;
  MappedBlocks& m = Mapped();
  std::lock_guard<std::mutex> lock(m.mutex);
  const auto found = m.bytes.find(at);
  return found == m.bytes.end() ? 0 : found->second;
}

// Whole pages for size bytes; 0 when the count overflows.
size_t PagesFor(size_t size) {
  const size_t page = PageBytes();
  return size > std::numeric_limits<size_t>::max() - page ? 0 : (size + page - 1) & ~(page - 1);
}

#if defined(Q7_ADDRESS_CHECKED)
// The pages past the size asked stay poisoned, so that a use beyond the block is still reported.
void MarkMapped(void* p, size_t size, size_t bytes) {
  ASAN_UNPOISON_MEMORY_REGION(p, size);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(p) + size, bytes - size);
}
// The address range may be mapped again by anyone: it goes back clean.
void UnmarkMapped(void* p, size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(p, bytes); }
#else
void MarkMapped(void*, size_t, size_t) {}
void UnmarkMapped(void*, size_t) {}
#endif

std::atomic<bool> g_fail_mappings{false};  // FailMappingsForTest

// A new mapping for size bytes, or null when the system refuses one.
void* MapBlock(size_t size) {
  const size_t bytes = PagesFor(size);
  if (bytes == 0) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  if (g_fail_mappings.load(std::memory_order_relaxed)) return nullptr;
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  try {
    MappedBlocks& m = Mapped();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.bytes.insert_or_assign(reinterpret_cast<uintptr_t>(p), bytes);
  } catch (...) {
    munmap(p, bytes);
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  MarkMapped(p, size, bytes);
  return p;
}

// Out of the register first: once unmapped, the range may come back to another thread's MapBlock.
void UnmapBlock(void* p, size_t bytes) noexcept {
  {
    MappedBlocks& m = Mapped();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.bytes.erase(reinterpret_cast<uintptr_t>(p));
  }
  UnmarkMapped(p, bytes);
  munmap(p, bytes);
}

// Resizes the mapping at p (bytes long) to hold size bytes, moving its pages without copying them;
// null (and p unchanged) when the system refuses. The register stays locked across the move, so
// that no other thread registers a mapping at p's old address before p's entry has gone.
void* RemapBlock(void* p, size_t bytes, size_t size) {
  const size_t new_bytes = PagesFor(size);
  if (new_bytes == 0) return nullptr;
  MappedBlocks& m = Mapped();
  std::lock_guard<std::mutex> lock(m.mutex);
  try {
    // Room for the new entry before the move, which must not be undone.
    m.bytes.reserve(m.bytes.size() + 1);
  } catch (...) {
    return nullptr;
  }
  void* q = mremap(p, bytes, new_bytes, MREMAP_MAYMOVE);
  if (q == MAP_FAILED) return nullptr;
  m.bytes.erase(reinterpret_cast<uintptr_t>(p));
  m.bytes.insert_or_assign(reinterpret_cast<uintptr_t>(q), new_bytes);
  UnmarkMapped(p, bytes);
  MarkMapped(q, size, new_bytes);
  return q;
}

// Registers the mapping at p (head + tail bytes) as two: head bytes at p and the tail behind them.
// False, and nothing changed, when the register has no room.
bool SplitMapping(void* p, size_t head, size_t tail) noexcept {
  MappedBlocks& m = Mapped();
  try {
    std::lock_guard<std::mutex> lock(m.mutex);
    m.bytes.insert_or_assign(reinterpret_cast<uintptr_t>(p) + head, tail);
    m.bytes[reinterpret_cast<uintptr_t>(p)] = head;
  } catch (...) {
    return false;
  }
  return true;
}

// Gives a block back at once: the engine's mapping to the system, any other to the C library.
void ReleaseBlock(void* p) noexcept {
  const size_t bytes = MappedBytes(p);
  if (bytes != 0) {
    UnmapBlock(p, bytes);
  } else {
    free(p);
  }
}

}  // namespace

// ---- Kept blocks ----
// A block freed by one step is as a rule followed by blocks of about its size in the next (a join's
// arrays, a sort's output, a summary's work arrays, the workers' tables): kept resident for a while,
// it spares the kernel clearing fresh pages, which costs more than most passes that write them.

namespace {

constexpr int64_t kKeepNanos = int64_t{5} * 1000 * 1000 * 1000;

// An eighth of the machine's memory, and no more than 1 GiB.
size_t KeptBound() {
  static const size_t bound = [] {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    const size_t cap = size_t{1} << 30;
    if (pages <= 0 || page <= 0) return cap;
    return std::min(cap, static_cast<size_t>(pages) / 8 * static_cast<size_t>(page));
  }();
  return bound;
}

struct KeptBlock {
  void* p;
  size_t capacity;
  int64_t since;  // CLOCK_MONOTONIC nanoseconds
};

constexpr int64_t kNoneKept = std::numeric_limits<int64_t>::max();

struct KeptBlocks {
  std::mutex mutex;
  std::vector<KeptBlock> blocks;  // oldest first
  size_t bytes = 0;
  // The oldest block's time (kNoneKept when none), read without the lock on the way out of every
  // locked call, so that a call with nothing kept costs one load.
  std::atomic<int64_t> oldest{kNoneKept};
};

KeptBlocks& Kept() {
  static KeptBlocks* kept = new KeptBlocks;  // never destroyed: workers may still free at exit
  return *kept;
}

std::atomic<int64_t> g_clock_shift{0};  // SetKeptClockShiftForTest

int64_t NowNanos() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec +
         g_clock_shift.load(std::memory_order_relaxed);
}

// Under the lock, after every change of the blocks.
void NoteOldest(KeptBlocks& k) {
  k.oldest.store(k.blocks.empty() ? kNoneKept : k.blocks.front().since, std::memory_order_relaxed);
}

#if defined(Q7_ADDRESS_CHECKED)
// A kept block stays poisoned, so that a read or write after its free is still reported.
void PoisonKept(void* p, size_t bytes) { ASAN_POISON_MEMORY_REGION(p, bytes); }
void UnpoisonKept(void* p, size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(p, bytes); }
#else
void PoisonKept(void*, size_t) {}
void UnpoisonKept(void*, size_t) {}
#endif

// Under the lock: takes out blocks kept longer than the keep time, and then the oldest until
// `room` more bytes fit under the bound; what goes is added to `drop`, to be freed outside the lock.
void ExpireKept(KeptBlocks& k, int64_t now, size_t room, std::vector<KeptBlock>* drop) {
  size_t n = 0;
  while (n < k.blocks.size() && (now - k.blocks[n].since > kKeepNanos || k.bytes + room > KeptBound())) {
    k.bytes -= k.blocks[n].capacity;
    drop->push_back(k.blocks[n]);
    ++n;
  }
  k.blocks.erase(k.blocks.begin(), k.blocks.begin() + static_cast<long>(n));
  NoteOldest(k);
}

// Kept blocks are always the engine's mappings.
void FreeAll(const std::vector<KeptBlock>& drop) {
  for (const KeptBlock& b : drop) UnmapBlock(b.p, b.capacity);
}

// A block of at least `size` bytes from the smallest kept block that holds it, or null. One more
// than a quarter larger gives only its front pages (its unused pages would otherwise stay resident
// for as long as the block is used); the rest stays kept, as young as it was. With none, a block of
// kKeptBlockMin or more first gives back the oldest kept blocks, as many bytes as it asks.
void* TakeKept(size_t size) {
  KeptBlocks& k = Kept();
  std::vector<KeptBlock> drop;
  void* p = nullptr;
  size_t capacity = 0;
  {
    std::lock_guard<std::mutex> lock(k.mutex);
    ExpireKept(k, NowNanos(), 0, &drop);
    size_t best = k.blocks.size();
    for (size_t i = 0; i < k.blocks.size(); ++i) {
      const size_t cap = k.blocks[i].capacity;
      if (cap < size) continue;
      if (best == k.blocks.size() || cap < k.blocks[best].capacity) best = i;
    }
    if (best != k.blocks.size()) {
      KeptBlock& b = k.blocks[best];
      const size_t head = PagesFor(size);
      if (b.capacity - size > size / 4 && b.capacity - head >= kMappedBlockMin &&
          SplitMapping(b.p, head, b.capacity - head)) {
        p = b.p;
        capacity = head;
        b.p = static_cast<char*>(b.p) + head;
        b.capacity -= head;
        k.bytes -= head;
      } else {
        p = b.p;
        capacity = b.capacity;
        k.bytes -= capacity;
        k.blocks.erase(k.blocks.begin() + static_cast<long>(best));
      }
    } else if (size >= kKeptBlockMin) {
      // The block will be a fresh mapping: the oldest kept blocks, as many bytes as it takes, go
      // back first, so that its pages are the ones just given back (the system hands those out
      // soonest) and the kept blocks add little to the process's peak.
      size_t given = 0;
      size_t n = 0;
      while (n < k.blocks.size() && given < size) {
        given += k.blocks[n].capacity;
        drop.push_back(k.blocks[n]);
        ++n;
      }
      k.bytes -= given;
      k.blocks.erase(k.blocks.begin(), k.blocks.begin() + static_cast<long>(n));
    }
    NoteOldest(k);
  }
  FreeAll(drop);
  if (p == nullptr) return nullptr;
  UnpoisonKept(p, size);
  return p;
}

// Keeps a freed mapping of `capacity` bytes when it is large enough and fits under the bound;
// false: give it back.
bool KeepBlock(void* p, size_t capacity) {
  if (capacity < kMappedBlockMin || capacity > KeptBound()) return false;
  KeptBlocks& k = Kept();
  std::vector<KeptBlock> drop;
  {
    std::lock_guard<std::mutex> lock(k.mutex);
    const int64_t now = NowNanos();
    ExpireKept(k, now, capacity, &drop);
    PoisonKept(p, capacity);
    k.blocks.push_back(KeptBlock{p, capacity, now});
    k.bytes += capacity;
    NoteOldest(k);
  }
  FreeAll(drop);
  return true;
}

}  // namespace

void* zpk_malloc(size_t size) {
  if (size >= kMappedBlockMin) {
    if (void* kept = TakeKept(size)) return kept;
    if (void* p = MapBlock(size)) {
      AdviseHugePages(p, size);
      return p;
    }
    // The system may refuse a mapping while memory remains: a process has a bounded number of
    // mappings (vm.max_map_count), which many blocks kept apart can reach. The C library's block
    // serves then; zpk_free tells it from the engine's by the register.
  }
  // malloc(0) may legitimately give null; a one-byte block keeps "null means exhausted" true.
  void* p = malloc(size != 0 ? size : 1);
  if (p == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  return p;
}

void* zpk_realloc(void* p, size_t size) {
  if (p == nullptr && size != 0) return zpk_malloc(size);
  const size_t mapped = MappedBytes(p);
  if (mapped == 0) {
    // A block of the C library grown to mapping size moves into one of the engine's, so that it
    // never comes back to the C library as a mapped block.
    if (size >= kMappedBlockMin) {
      void* q = zpk_malloc(size);
      std::memcpy(q, p, std::min(malloc_usable_size(p), size));
      free(p);
      return q;
    }
    void* q = realloc(p, size);
    if (q == nullptr && size != 0) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    return q;
  }
  if (size == 0) {
    zpk_free(p);
    return nullptr;
  }
  if (size < kMappedBlockMin) {
    void* q = zpk_malloc(size);
    std::memcpy(q, p, size);
    zpk_free(p);
    return q;
  }
  // A small mapping grown large takes a kept block; a large one is moved by the system, which
  // moves its pages without copying them.
  if (size >= kKeptBlockMin && mapped < kKeptBlockMin) {
    if (void* kept = TakeKept(size)) {
      UnmarkMapped(p, mapped);  // the pages past its size are read too
      std::memcpy(kept, p, mapped);
      zpk_free(p);
      return kept;
    }
  }
  if (void* q = RemapBlock(p, mapped, size)) {
    AdviseHugePages(q, size);
    return q;
  }
  // The system would not move it: a new block and a copy, the old block staying valid should that
  // fail.
  void* q = zpk_malloc(size);
  UnmarkMapped(p, mapped);
  std::memcpy(q, p, std::min(mapped, size));
  zpk_free(p);
  return q;
}

void zpk_free(void* p) {
  const size_t mapped = MappedBytes(p);
  if (mapped == 0) {
    free(p);
    return;
  }
  if (!KeepBlock(p, mapped)) UnmapBlock(p, mapped);
}

size_t zpk_kept_bound() { return KeptBound(); }

size_t zpk_kept_bytes() {
  KeptBlocks& k = Kept();
  std::lock_guard<std::mutex> lock(k.mutex);
  return k.bytes;
}

void SetKeptClockShiftForTest(int64_t nanos) { g_clock_shift.store(nanos, std::memory_order_relaxed); }

void FailMappingsForTest(bool fail) { g_fail_mappings.store(fail, std::memory_order_relaxed); }

// ---- Scratch blocks ----

namespace {

struct ScratchBlock {
  void* p;
  size_t capacity;
  int64_t since;  // CLOCK_MONOTONIC nanoseconds, when it was given back
};

struct ScratchPool {
  std::mutex mutex;
  std::vector<ScratchBlock> kept;  // in no order
  size_t kept_bytes = 0;
  size_t in_use = 0;
  size_t peak = 0;  // most in use at once since the last settle
  // The oldest kept block's time (kNoneKept when none), read without the lock as the kept blocks'.
  std::atomic<int64_t> oldest{kNoneKept};
};

ScratchPool& Pool() {
  static ScratchPool* pool = new ScratchPool;  // never destroyed: workers may still give back at exit
  return *pool;
}

// Set when aged scratch blocks went back: the step that used them is over, and the small blocks it
// freed may still hold pages in the C library's heaps, which the next zpk_expire_kept trims.
std::atomic<bool> g_trim_due{false};

// Under the lock, after every change of the kept blocks.
void NoteOldestScratch(ScratchPool& pool) {
  int64_t oldest = kNoneKept;
  for (const ScratchBlock& b : pool.kept) oldest = std::min(oldest, b.since);
  pool.oldest.store(oldest, std::memory_order_relaxed);
}

// Gives back the kept blocks older than the keep time, or every kept block when `all`, straight to
// the system: an idle block would only wait out the kept blocks' time again in their store.
// Blocks in use are not kept, so they stay. False when nothing went.
bool DropScratch(bool all) noexcept {
  ScratchPool& pool = Pool();
  std::vector<void*> drop;
  try {
    std::lock_guard<std::mutex> lock(pool.mutex);
    // Room for every block first: once dropping has begun it must not fail halfway.
    drop.reserve(pool.kept.size());
    const int64_t now = NowNanos();
    size_t k = 0;
    while (k < pool.kept.size()) {
      if (all || now - pool.kept[k].since > kKeepNanos) {
        pool.kept_bytes -= pool.kept[k].capacity;
        drop.push_back(pool.kept[k].p);
        pool.kept[k] = pool.kept.back();
        pool.kept.pop_back();
      } else {
        ++k;
      }
    }
    NoteOldestScratch(pool);
    if (all) pool.peak = pool.in_use;
  } catch (...) {
    return false;  // no memory for the list: a later call gives them back
  }
  for (void* p : drop) ReleaseBlock(p);
  return !drop.empty();
}

// True when a kept block is older than the keep time; one relaxed load while none is kept.
bool ScratchAged() {
  const int64_t oldest = Pool().oldest.load(std::memory_order_relaxed);
  return oldest != kNoneKept && NowNanos() - oldest > kKeepNanos;
}

// Aged blocks go at the next large take or give too, as the kept blocks do at a large allocation.
void DropAgedScratch() {
  if (ScratchAged() && DropScratch(false)) g_trim_due.store(true, std::memory_order_relaxed);
}

}  // namespace

void* zpk_scratch_take(size_t size, size_t* capacity) {
  if (size < kScratchMin) {
    *capacity = size;
    return zpk_malloc(size);
  }
  DropAgedScratch();
  ScratchPool& pool = Pool();
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    // The smallest kept block that fits, unless it is so large that it would be wasted here.
    size_t best = pool.kept.size();
    for (size_t k = 0; k < pool.kept.size(); ++k) {
      const size_t cap = pool.kept[k].capacity;
      if (cap < size || cap > 2 * size) continue;
      if (best == pool.kept.size() || cap < pool.kept[best].capacity) best = k;
    }
    if (best != pool.kept.size()) {
      void* const p = pool.kept[best].p;
      const size_t cap = pool.kept[best].capacity;
      pool.kept[best] = pool.kept.back();
      pool.kept.pop_back();
      NoteOldestScratch(pool);
      pool.kept_bytes -= cap;
      pool.in_use += cap;
      pool.peak = std::max(pool.peak, pool.in_use);
      *capacity = cap;
      return p;
    }
  }
  void* p = zpk_malloc(size);
  std::lock_guard<std::mutex> lock(pool.mutex);
  pool.in_use += size;
  pool.peak = std::max(pool.peak, pool.in_use);
  *capacity = size;
  return p;
}

void zpk_scratch_give(void* p, size_t capacity) {
  if (p == nullptr) return;
  if (capacity < kScratchMin) {
    zpk_free(p);
    return;
  }
  DropAgedScratch();
  ScratchPool& pool = Pool();
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    pool.in_use -= capacity;
    if (pool.kept_bytes + capacity <= kScratchKeepMax) {
      bool listed = false;
      try {
        pool.kept.push_back(ScratchBlock{p, capacity, NowNanos()});
        listed = true;
      } catch (...) {
        // No memory for the list: the block goes back instead.
      }
      if (listed) {
        pool.kept_bytes += capacity;
        NoteOldestScratch(pool);
        return;
      }
    }
  }
  zpk_free(p);
}

void zpk_scratch_settle() {
  ScratchPool& pool = Pool();
  std::vector<void*> drop;
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    // Largest first: what the last steps needed at once is kept, the rest goes back.
    std::sort(pool.kept.begin(), pool.kept.end(),
              [](const ScratchBlock& a, const ScratchBlock& b) { return a.capacity > b.capacity; });
    size_t k = 0;
    while (pool.kept_bytes > pool.peak && k < pool.kept.size()) {
      pool.kept_bytes -= pool.kept[k].capacity;
      drop.push_back(pool.kept[k].p);
      ++k;
    }
    pool.kept.erase(pool.kept.begin(), pool.kept.begin() + static_cast<long>(k));
    NoteOldestScratch(pool);
    pool.peak = pool.in_use;
  }
  for (void* p : drop) zpk_free(p);
}

void zpk_scratch_release() noexcept { (void)DropScratch(true); }

// ---- Giving memory back ----

namespace {

// The C library keeps the pages of freed blocks below its mapping threshold in its heaps, the main
// one and one per thread that allocated, workers included; only this hands their free pages back.
// It leaves the free top of a thread's heap alone, which is why the engine maps its large blocks
// itself. It walks every free chunk (a few to tens of milliseconds after large steps), so it runs
// where a host may idle long after, never in a step or a save.
void TrimHeaps() noexcept { (void)malloc_trim(0); }

// The C library starts out with mapping and trim thresholds of 128 KiB, and raises both (the trim
// threshold to twice the other) the first time it frees a block it mapped. Until then each free
// that leaves more than 128 KiB free at the top of a heap hands those pages back, and the next
// allocation there faults fresh ones in: with the blocks below 128 KiB that the steps take on the
// workers and free on the calling thread, a non-cube summary ran about 40 % slower. The engine's own
// blocks never raise it, so the engine does it once at load, as the first large free of any program
// would: a block just under the C library's ceiling of 32 MiB, taken and freed untouched (two system
// calls). A threshold the host fixed with mallopt stays as the host set it.
const bool g_heaps_settled = [] {
  void* volatile block = malloc((size_t{32} << 20) - (size_t{8} << 10));
  free(block);
  return true;
}();

}  // namespace

void zpk_release_kept() {
  // Scratch blocks first: those of kept-block size would otherwise only join the kept blocks.
  zpk_scratch_release();
  KeptBlocks& k = Kept();
  std::vector<KeptBlock> drop;
  {
    std::lock_guard<std::mutex> lock(k.mutex);
    drop.swap(k.blocks);
    k.bytes = 0;
    NoteOldest(k);
  }
  FreeAll(drop);
}

void zpk_release_memory() {
  zpk_release_kept();
  g_trim_due.store(false, std::memory_order_relaxed);
  TrimHeaps();
}

void zpk_expire_kept() noexcept {
  bool gave = ScratchAged() && DropScratch(false);
  KeptBlocks& k = Kept();
  const int64_t oldest = k.oldest.load(std::memory_order_relaxed);
  if (oldest != kNoneKept && NowNanos() - oldest > kKeepNanos) {
    std::vector<KeptBlock> drop;
    try {
      std::lock_guard<std::mutex> lock(k.mutex);
      // Room for every block first: once expiring has begun it must not fail halfway.
      drop.reserve(k.blocks.size());
      ExpireKept(k, NowNanos(), 0, &drop);
    } catch (...) {
      drop.clear();  // no memory for the list: the next large allocation or free expires them
    }
    FreeAll(drop);
    gave = gave || !drop.empty();
  }
  // Something aged went back: the step that used it is over, and so is its use of the heaps.
  if (g_trim_due.load(std::memory_order_relaxed)) gave = g_trim_due.exchange(false) || gave;
  if (gave) TrimHeaps();
}

size_t zpk_scratch_kept() {
  ScratchPool& pool = Pool();
  std::lock_guard<std::mutex> lock(pool.mutex);
  return pool.kept_bytes;
}

void ReAllocMem(void** p, int size) {
  if (size < 0) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  *p = zpk_realloc(*p, static_cast<size_t>(size));
}

void _heap_memory_exception(size_t size) {
  throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY, "Memory allocation failed for %u bytes",
                     static_cast<unsigned>(size));
}

void* AllocMem(size_t size) { return new char[size]; }

void FreeMem(void* p) { delete[] static_cast<char*>(p); }

void* MemSet(void* p, int value, size_t n) { return memset(p, value, n); }

// ---- The paged value area ----

namespace {

constexpr int kIntsPerPage = kVAPageSize / 4;
constexpr int kDoublesPerPage = kVAPageSize / 8;

void** PageTable(void* area) { return static_cast<void**>(area); }

// The page, allocated on first use; the index must lie inside the table.
char* PageAt(void* area, int64_t page) {
  void** table = PageTable(area);
  if (table[page] == nullptr) table[page] = zpk_malloc(kVAPageSize);
  return static_cast<char*>(table[page]);
}

// The page of an element index with `per_page` elements a page; refuses one outside the table.
int64_t ElementPage(int index, int per_page) {
  if (index < 0 || index / per_page >= kVAPageCount) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  return index / per_page;
}

}  // namespace

void* CreateVA() {
  void* area = zpk_malloc(sizeof(void*) * kVAPageCount + kVAPageSize);
  void** table = PageTable(area);
  memset(table, 0, sizeof(void*) * kVAPageCount);
  table[0] = table + kVAPageCount;
  return area;
}

void CloseVA(void* area) {
  if (area == nullptr) return;
  void** table = PageTable(area);
  for (int i = 1; i < kVAPageCount; ++i) zpk_free(table[i]);
  zpk_free(area);
}

void VAIntSetAt(void* area, int index, int value) {
  const int64_t page = ElementPage(index, kIntsPerPage);
  memcpy(PageAt(area, page) + sizeof(int32_t) * static_cast<size_t>(index % kIntsPerPage), &value,
         sizeof value);
}

void VADoubleSetAt(void* area, int index, double value) {
  const int64_t page = ElementPage(index, kDoublesPerPage);
  memcpy(PageAt(area, page) + sizeof(double) * static_cast<size_t>(index % kDoublesPerPage), &value,
         sizeof value);
}

char* VASZAppend(void* area, int* position, const char* text) {
  const int64_t bytes = static_cast<int64_t>(strlen(text)) + 1;
  if (bytes > kVAPageSize) throw CQ7Exception(Q7_ERROR_STRING_SIZE_OVERFLOW);
  const int64_t at = *position;
  if (at < 0 || at / kVAPageSize >= kVAPageCount) throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
  const int64_t end = at + bytes;
  int64_t page = at / kVAPageSize;
  int64_t offset = at % kVAPageSize;
  if (end / kVAPageSize != page) {
    // The text would cross into the next page: it starts that page instead.
    page = end / kVAPageSize;
    offset = 0;
    if (page >= kVAPageCount) throw CQ7Exception(Q7_ERROR_DATA_SIZE_OVERFLOW);
  }
  char* stored = PageAt(area, page) + offset;
  memcpy(stored, text, static_cast<size_t>(bytes));
  *position = static_cast<int>(page * kVAPageSize + offset + bytes);
  return stored;
}

int VANULLAppend(void* area, int type, int width, ...) {
  char* first = PageAt(area, 0);
  if (type == 2 && width == 4) {
    const int32_t null_int = INT32_MIN;
    memcpy(first, &null_int, sizeof null_int);
    return 4;
  }
  if ((type == 3 || type == 4 || type == 5 || type == 7) && width == 8) {
    const double null_double = -std::numeric_limits<double>::infinity();
    memcpy(first, &null_double, sizeof null_double);
    return 8;
  }
  if (type == 6 && width == 8) return 4;
  return 0;
}

uint32_t MaxUint32Minus(const void* p, size_t n, uint32_t bias) {
  // Four independent maxima and no early exit: the loop vectorises and keeps several loads in
  // flight.
  const auto* v = static_cast<const uint32_t*>(p);
  uint32_t m[4] = {0, 0, 0, 0};
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    for (int k = 0; k < 4; ++k) m[k] = std::max(m[k], v[i + k] - bias);
  }
  for (; i < n; ++i) m[0] = std::max(m[0], v[i] - bias);
  return std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
}

int mpp_memcpy(void* param) {
  auto* p = static_cast<MemcpyParam*>(param);
  if (p->mode == CopyMode::kFile) {
    p->result = PreadAll(p->fd, static_cast<char*>(p->dst) + p->first, p->end - p->first,
                         p->offset + static_cast<int64_t>(p->first))
                    ? 1
                    : 0;
    return 0;
  }
  if (p->mode == CopyMode::kScanMax) {
    p->result = MaxUint32Minus(static_cast<const uint32_t*>(p->src) + p->first, p->end - p->first, p->bias);
    return 0;
  }
  if (p->end > p->first) {
    const size_t unit = static_cast<size_t>(p->unit_size);
    memcpy(static_cast<char*>(p->dst) + p->first * unit, static_cast<const char*>(p->src) + p->first * unit,
           (p->end - p->first) * unit);
  }
  return 0;
}

int mpp_memset(void* param) {
  const auto* p = static_cast<const MemsetParam*>(param);
  if (p->end <= p->first) return 0;
  if (p->sequence != 0) {
    int* dst = static_cast<int*>(p->dst);
    for (uint64_t i = p->first; i < p->end; ++i)
      dst[i] = static_cast<int>(static_cast<int64_t>(p->value) + static_cast<int64_t>(i));
    return 0;
  }
  memset(static_cast<char*>(p->dst) + p->first, p->value, p->end - p->first);
  return 0;
}

namespace {

// The fill task over n elements split evenly among the workers: bytes of value, or (sequence) the
// ints value, value + 1, ... by element index.
void RunFillOnPool(CSmpEngine* eng, void* p, int value, bool sequence, long n) {
  const int k = eng->n_threads_for_elements(n);
  const long chunk = n / k;
  for (int i = 0; i < k; ++i) {
    auto* param = static_cast<MemsetParam*>(eng->get_thread_param(i));
    param->dst = p;
    param->value = value;
    param->sequence = sequence ? 1 : 0;
    param->first = static_cast<uint64_t>(i) * static_cast<uint64_t>(chunk);
    param->end = (i == k - 1) ? static_cast<uint64_t>(n) : static_cast<uint64_t>(i + 1) * chunk;
  }
  eng->run_threads_task(k, kMppTaskMemset);
}

}  // namespace

void* MppMemSet(void* p, int value, long n) {
  if (n <= 0) return p;
  CSmpEngine* eng = CSmpEngine::Instance();
  if (n < kParallelThreshold || eng->ActiveThreads() <= 1) return memset(p, value, static_cast<size_t>(n));
  RunFillOnPool(eng, p, value, false, n);
  return p;
}

void MppFillSequence(int* p, long n, int first) {
  if (n <= 0) return;
  CSmpEngine* eng = CSmpEngine::Instance();
  if (n < kParallelThreshold / static_cast<long>(sizeof(int)) || eng->ActiveThreads() <= 1) {
    for (long i = 0; i < n; ++i) p[i] = static_cast<int>(int64_t{first} + i);
    return;
  }
  RunFillOnPool(eng, p, first, true, n);
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

// ---- Reading files and scanning on the pool ----

namespace {

// Below this a read or scan stays on the calling thread; each worker gets at least this much.
constexpr long kParallelFileBytes = long{4} << 20;
std::atomic<long> g_parallel_file_bytes{kParallelFileBytes};

}  // namespace

long ParallelFileBytes() { return g_parallel_file_bytes.load(std::memory_order_relaxed); }

void SetParallelFileBytesForTest(long bytes) {
  g_parallel_file_bytes.store(bytes > 0 ? bytes : kParallelFileBytes, std::memory_order_relaxed);
}

bool MppPread(int fd, void* dst, size_t bytes, int64_t offset) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const long min_bytes = ParallelFileBytes();
  if (bytes < static_cast<size_t>(min_bytes) || eng->ActiveThreads() <= 1)
    return PreadAll(fd, static_cast<char*>(dst), bytes, offset);
  const int k = eng->n_threads_for_elements(static_cast<long>(bytes), min_bytes);
  const uint64_t chunk = (bytes + static_cast<uint64_t>(k) - 1) / static_cast<uint64_t>(k);
  int used = 0;
  for (int i = 0; i < k; ++i) {
    const uint64_t first = static_cast<uint64_t>(i) * chunk;
    if (first >= bytes) break;
    auto* p = static_cast<MemcpyParam*>(eng->get_thread_param(i));
    p->dst = dst;
    p->src = nullptr;
    p->unit_size = 1;
    p->first = first;
    p->end = std::min<uint64_t>(bytes, first + chunk);
    p->mode = CopyMode::kFile;
    p->fd = fd;
    p->offset = offset;
    p->result = 0;
    ++used;
  }
  try {
    eng->run_threads_task(used, kMppTaskMemcpy);
  } catch (const CQ7Exception&) {
    // A worker that could not run leaves its range unread; the calling thread reads it all.
    return PreadAll(fd, static_cast<char*>(dst), bytes, offset);
  }
  bool ok = true;
  for (int i = 0; i < used; ++i) ok = ok && static_cast<MemcpyParam*>(eng->get_thread_param(i))->result == 1;
  return ok;
}

uint32_t MppMaxUint32Minus(const void* p, size_t n, uint32_t bias) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const long min_per_worker = std::max(ParallelFileBytes() / 4, 1L);
  if (n < static_cast<size_t>(min_per_worker) || eng->ActiveThreads() <= 1) return MaxUint32Minus(p, n, bias);
  const int k = eng->n_threads_for_elements(static_cast<long>(n), min_per_worker);
  const uint64_t chunk = n / static_cast<uint64_t>(k);
  for (int i = 0; i < k; ++i) {
    auto* param = static_cast<MemcpyParam*>(eng->get_thread_param(i));
    param->dst = nullptr;
    param->src = p;
    param->unit_size = 4;
    param->first = static_cast<uint64_t>(i) * chunk;
    param->end = (i == k - 1) ? n : static_cast<uint64_t>(i + 1) * chunk;
    param->mode = CopyMode::kScanMax;
    param->bias = bias;
    param->result = 0;
  }
  try {
    eng->run_threads_task(k, kMppTaskMemcpy);
  } catch (const CQ7Exception&) {
    return MaxUint32Minus(p, n, bias);
  }
  uint32_t m = 0;
  for (int i = 0; i < k; ++i) m = std::max(m, static_cast<MemcpyParam*>(eng->get_thread_param(i))->result);
  return m;
}
