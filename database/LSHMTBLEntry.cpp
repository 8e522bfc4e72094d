// A real table's handle on a shared-table registry entry, and the registry hooks it detaches through.
#include "database/LSHMTBLEntry.h"

#include <cstring>

namespace {
SharedTableRegistryHooks g_registry_hooks{};
}  // namespace

void initLSHMTBLEntry(LSHMTBLEntry* handle) { memset(handle, 0, sizeof *handle); }

bool isQ7TSharedLSHMTBLEntry(const LSHMTBLEntry* handle) {
  return handle != nullptr && handle->entry != nullptr;
}

void SetSharedTableRegistryHooks(const SharedTableRegistryHooks& hooks) { g_registry_hooks = hooks; }

int DetachLSHMTBLEntry(LSHMTBLEntry* handle) {
  const SharedTableRegistryHooks& h = g_registry_hooks;
  if (!isQ7TSharedLSHMTBLEntry(handle) || h.removeLSHMTBLEntry == nullptr) return 0;
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
