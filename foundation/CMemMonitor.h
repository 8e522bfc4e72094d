// CMemMonitor: the process-wide register of tracked heap blocks (address -> size) and a leak
// counter, reached through MEMTRACE, which holds the singleton from library load on.
//
// Nothing in the engine tracks its blocks: add and remove record nothing, so leak() stays 0 and
// purgeMemory() finds nothing to free. The register is kept so that a build that wants tracking
// has one place for it.
//
// Thread safety: none; the monitor has no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

class CMemMonitor {
 public:
  // The singleton, built on first use.
  static CMemMonitor* Instance();

  virtual ~CMemMonitor();

  CMemMonitor(const CMemMonitor&) = delete;
  CMemMonitor& operator=(const CMemMonitor&) = delete;

  // Record nothing (see above).
  void add(size_t address, size_t size);
  void remove(size_t address);

  uint64_t leak() const { return leak_; }
  // Counter to 0, register emptied; the blocks are not freed.
  void clearList();
  // Frees every registered block (with zpk_free), then empties the register.
  void purgeMemory();

 private:
  CMemMonitor() = default;

  uint64_t leak_ = 0;
  std::map<size_t, size_t> blocks_;
};

extern CMemMonitor* MEMTRACE;
