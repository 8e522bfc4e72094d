// CMemMonitor: the register of tracked heap blocks and its leak report.
#include "foundation/CMemMonitor.h"

#include "foundation/zpk_memory.h"

CMemMonitor* MEMTRACE = CMemMonitor::Instance();

CMemMonitor* CMemMonitor::Instance() {
  // Never destroyed: calls may still run on other host threads while the process ends.
  static CMemMonitor* const monitor = new CMemMonitor;
  return monitor;
}

CMemMonitor::~CMemMonitor() = default;

void CMemMonitor::add(size_t, size_t) {}
void CMemMonitor::remove(size_t) {}

void CMemMonitor::clearList() {
  leak_ = 0;
  blocks_.clear();
}

void CMemMonitor::purgeMemory() {
  for (const auto& block : blocks_) zpk_free(reinterpret_cast<void*>(block.first));
  blocks_.clear();
}
