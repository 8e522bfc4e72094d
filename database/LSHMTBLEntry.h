// A real table's handle on an entry of the shared-table registry.
//
// Every real table holds one. It is attached only when the table is a read-only view of a table
// file that another process published in the registry; the registry code (which lives above the
// database layer) attaches it and knows how to detach it, so it lends the detach and the registry
// lock to this layer through SetSharedTableRegistryHooks. Until a registry registers its hooks no
// handle can be attached, and the detach path does nothing.
//
// Thread safety: handles are read and changed under the API lock only; the hooks are set once at
// start-up, before any table exists.
#pragma once

#include <cstddef>
#include <cstdint>

struct LSHMTBLEntry {
  uint64_t smcsStamp;   // stamp of the registry control block the handle was taken from
  uint64_t entryStamp;  // stamp of the registry entry
  void* smcs;           // the registry control block
  void* entry;          // the registry entry; null while unattached
  void* mapAddress;     // the read-only view of the table file
  size_t mapSize;       // its length in bytes
};

// Marks the handle unattached (every field zero).
void initLSHMTBLEntry(LSHMTBLEntry* handle);
// True when the handle refers to a registry entry, i.e. its table is a shared table-file view.
bool isQ7TSharedLSHMTBLEntry(const LSHMTBLEntry* handle);

// The registry operations the table destructor needs. Null members mean the registry is absent.
struct SharedTableRegistryHooks {
  // Detaches the handle (lowers the entry's attach count, unmaps the view, invalidates the
  // handle); called with the registry lock held.
  void (*removeLSHMTBLEntry)(LSHMTBLEntry* handle);
  // This process's nesting count of the registry lock.
  int (*isSMCSLocked)();
  // Takes the cross-process registry lock (waiting when no_wait is 0); 0 or an error code.
  int (*lockSMCS)(int no_wait);
  void (*unlockSMCS)();
};
void SetSharedTableRegistryHooks(const SharedTableRegistryHooks& hooks);

// Detaches an attached handle under the registry lock: at once when this process already holds
// the lock, else between lockSMCS(0) and unlockSMCS. Returns 0, or the lock's error code (the
// handle then stays attached). An unattached handle, or no registry, returns 0 at once.
int DetachLSHMTBLEntry(LSHMTBLEntry* handle);
