// A real table's handle on a shared-table registry entry, and the registry hooks it detaches through.
#include "database/LSHMTBLEntry.h"

#include <pthread.h>

#include <cstring>

namespace {
SharedTableRegistryHooks g_registry_hooks{};

// A process ID would not do: once the attaching process has ended, a process forked later from
// its child may be given the same ID. The depth only grows down a line of forks.
uint64_t g_fork_depth = 0;
void RaiseForkDepth() { ++g_fork_depth; }
// Registered at load (the C library drops it when the library is unloaded); should registering
// fail, a child takes inherited attachments for its own, as before.
const int g_fork_handler = pthread_atfork(nullptr, nullptr, RaiseForkDepth);
}  // namespace

void initLSHMTBLEntry(LSHMTBLEntry* handle) { memset(handle, 0, sizeof *handle); }

bool isQ7TSharedLSHMTBLEntry(const LSHMTBLEntry* handle) {
  return handle != nullptr && handle->entry != nullptr;
}

bool IsInheritedLSHMTBLEntry(const LSHMTBLEntry* handle) {
  return isQ7TSharedLSHMTBLEntry(handle) && handle->fork_depth != g_fork_depth;
}

uint64_t ForkDepth() { return g_fork_depth; }

void SetSharedTableRegistryHooks(const SharedTableRegistryHooks& hooks) { g_registry_hooks = hooks; }

int DetachLSHMTBLEntry(LSHMTBLEntry* handle) {
  const SharedTableRegistryHooks& h = g_registry_hooks;
  if (!isQ7TSharedLSHMTBLEntry(handle) || h.removeLSHMTBLEntry == nullptr) return 0;
  // Nothing of the registry is the inheriting process's to change: no lock to wait for.
  if (IsInheritedLSHMTBLEntry(handle) && h.unmapLSHMTBLEntry != nullptr) {
    h.unmapLSHMTBLEntry(handle);
    return 0;
  }
  if (h.isSMCSLocked != nullptr && h.isSMCSLocked() != 0) {
    h.removeLSHMTBLEntry(handle);
    return 0;
  }
  if (h.lockSMCS != nullptr) {
    const int rc = h.lockSMCS(0);
    if (rc != 0) return rc;
  }
  h.removeLSHMTBLEntry(handle);
  if (h.unlockSMCS != nullptr) h.unlockSMCS();
  return 0;
}
