// A real table's handle on an entry of the shared-table registry.
//
// Every real table holds one. It is attached only when the table is a read-only view of a table
// file that another process published in the registry; the registry code (which lives above the
// database layer) attaches it and knows how to detach it, so it lends the detach and the registry
// lock to this layer through SetSharedTableRegistryHooks. Until a registry registers its hooks no
// handle can be attached, and the detach path does nothing.
//
// An attachment belongs to the process that made it (fork_depth). A process forked afterwards
// inherits the table and its handle, but the entry's attach count and the file's shared lock are
// the attaching process's: the child's detach (deleting the table, clearing or replacing its
// database, its stop at exit) only drops its own copy of the view.
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
  uint64_t fork_depth;  // ForkDepth() of the process that made the attachment
};

// Marks the handle unattached (every field zero).
void initLSHMTBLEntry(LSHMTBLEntry* handle);
// True when the handle refers to a registry entry, i.e. its table is a shared table-file view.
bool isQ7TSharedLSHMTBLEntry(const LSHMTBLEntry* handle);
// True when the handle is attached and the attachment was made by another process than this one:
// this process was forked from it (or from a process forked from it) after the attach.
bool IsInheritedLSHMTBLEntry(const LSHMTBLEntry* handle);
// The number of forks between the process that loaded the library and this one: raised in every
// child at fork, never in the parent. A handle reaches another process only by fork, so a handle
// recorded at a smaller depth than this process's was attached by an ancestor.
uint64_t ForkDepth();

// The registry operations the table destructor needs. Null members mean the registry is absent.
struct SharedTableRegistryHooks {
  // Detaches the handle (lowers the entry's attach count, unmaps the view, invalidates the
  // handle); called with the registry lock held.
  void (*removeLSHMTBLEntry)(LSHMTBLEntry* handle);
  // Unmaps the view and invalidates the handle without touching the registry; no lock needed.
  void (*unmapLSHMTBLEntry)(LSHMTBLEntry* handle);
  // This process's nesting count of the registry lock.
  int (*isSMCSLocked)();
  // Takes the cross-process registry lock (waiting when no_wait is 0); 0 or an error code.
  int (*lockSMCS)(int no_wait);
  void (*unlockSMCS)();
};
void SetSharedTableRegistryHooks(const SharedTableRegistryHooks& hooks);

// Detaches an attached handle under the registry lock: at once when this process already holds
// the lock, else between lockSMCS(0) and unlockSMCS. Returns 0, or the lock's error code (the
// handle then stays attached). An inherited handle (IsInheritedLSHMTBLEntry) is only unmapped,
// without the lock: 0. An unattached handle, or no registry, returns 0 at once.
int DetachLSHMTBLEntry(LSHMTBLEntry* handle);
