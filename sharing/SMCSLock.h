// The locks of the shared-table registry (sharing/SMCS.h).
//
// Between processes the registry is guarded by one System V semaphore set of three semaphores
// (key kSMCSSemKey, mode kSharedObjectMode 0660; a set the sharing policy of
// foundation/SharedObjectPolicy.h refuses is neither used nor removed: Q7_ERROR_ACCESS_DENIED):
//   0  the SMCS lock: the whole registry (1 = free)
//   1  entry access: short sections that read or change an entry's owner and owner stamp (1 = free)
//   2  the queue on which processes wait for a busy entry (tokens; 0 at rest)
// The SMCS and entry-access semaphores are taken with SEM_UNDO: the kernel gives them back when
// their holder dies, so a process killed inside the registry cannot stop every other process on
// the machine.
//
// An entry lock is not a semaphore: it is the entry's owner (a process id) and owner stamp (a copy
// of the entry stamp), changed under entry access. A lock whose owner process no longer exists is
// taken over by the next locker.
//
// Order of acquisition: the SMCS lock, then an entry lock, then (briefly) entry access. The queue
// is waited on only while neither the SMCS lock nor entry access is held.
//
// Thread safety: every semaphore operation that does not wait, and every control call, runs under a
// process-local mutex of its own semaphore; an operation that waits does not hold that mutex while
// it sleeps, so that another thread of the process can still release what it waits for. The hold
// count (isSMCSLocked) is this process's, not a thread's: the registry is meant to be used under
// the API lock, one thread at a time.
//
// Codes: every function returns 0 or a negative code; none throws. A failed semaphore operation
// maps errno as follows: EINTR Q7_ERROR_SEM_INTERRUPTED, E2BIG Q7_ERROR_SEM_TOO_BIG, EACCES
// Q7_ERROR_ACCESS_DENIED, EINVAL kSemSetMissing (the set no longer exists), EAGAIN
// Q7_ERROR_SEM_BUSY, EIDRM Q7_ERROR_SEM_REMOVED, any other Q7_ERROR_UNKNOWN.
#pragma once

#include <sys/sem.h>
#include <sys/types.h>

struct SHMTBLEntry;

constexpr key_t kSMCSSemKey = 1234567;
constexpr int kSMCSSemCount = 3;

// Codes of this layer that have no public constant.
constexpr int kSemSetExists = -1006;       // initLockSMCS: the set exists already
constexpr int kSemSetMissing = -1008;      // the set does not exist (any more), or a bad argument
constexpr int kEntryLockNotOwner = -1010;  // unlockSHMTBLEntry: another process owns the lock

// Modes of lockSMCS and lockSHMTBLEntry.
constexpr int kLockWait = 0;
constexpr int kLockNoWait = 1;

// The argument of a control call (the platform leaves the union to its callers).
union Q7SemArg {
  int val;
  struct semid_ds* buf;
  unsigned short* array;
};

// Process start and stop: no set held, hold count 0. The destructor does nothing.
void constructorLockSMCS();
void destructorLockSMCS();

// Creates the set exclusively (0660) and runs its initialiser (1, 1, 0). A set that exists already:
// kSemSetExists. Creation failures: ENOENT Q7_ERROR_SEM_TOO_BIG, ENOMEM and ENOSPC
// Q7_ERROR_OUT_OF_MEMORY, EACCES Q7_ERROR_ACCESS_DENIED, EINVAL kSemSetMissing, others -1.
int initLockSMCS();
// Opens the existing set and waits until its creator has initialised it. Failures as initLockSMCS
// (no set: Q7_ERROR_SEM_TOO_BIG); a set the sharing policy refuses: Q7_ERROR_ACCESS_DENIED; a set
// left uninitialised for seconds: Q7_ERROR_SEM_BUSY.
int openLockQ7TSEM();
// Removes the set (every process then sees Q7_ERROR_SEM_REMOVED or kSemSetMissing) and forgets it.
// A set the sharing policy refuses is left: Q7_ERROR_ACCESS_DENIED.
int termLockSMCS();
// Whether this process holds a set id.
bool isSemaphoreAccessible();

// Takes the SMCS lock: mode kLockWait waits, kLockNoWait gives Q7_ERROR_SEM_BUSY when it is taken;
// other modes Q7_ERROR_INVALID_PARAMETER. When the set was removed or replaced it is opened again
// once (no set: Q7_ERROR_SMCS_INVALID; a set the sharing policy refuses: Q7_ERROR_ACCESS_DENIED).
// Success raises this process's hold count.
int lockSMCS(int mode);
// Gives the SMCS lock back; success lowers the hold count.
int unlockSMCS();
// This process's hold count of the SMCS lock (non-zero while it holds it).
int isSMCSLocked();

// Entry access (semaphore 1), taken and given back.
int lockSHMTBLAccessor();
int unlockSHMTBLAccessor();

// Takes the entry lock; the caller holds the SMCS lock. A free entry, or one whose owner process
// has ended, is taken at once (0). A busy one: kLockNoWait Q7_ERROR_SEM_BUSY; kLockWait releases
// the SMCS lock, waits on the queue until the entry can be taken, and takes the SMCS lock again
// before it returns (also after a failure, so the caller's unlock stays balanced); other modes
// Q7_ERROR_INVALID_PARAMETER.
int lockSHMTBLEntry(SHMTBLEntry* entry, int mode);
// Releases an entry lock this process owns and wakes a waiter: 0. Owned by another process:
// kEntryLockNotOwner. An entry removed or reused since the lock was taken (owner stamp differs):
// 0, nothing changed.
int unlockSHMTBLEntry(SHMTBLEntry* entry);
// Whether this process owns the entry lock (false when entry access cannot be taken).
bool isSHMTBLEntryLocked(SHMTBLEntry* entry);

// semctl under the control mutex: its result (>= 0), or a code: EPERM and EACCES
// Q7_ERROR_ACCESS_DENIED, EINVAL kSemSetMissing, EIDRM Q7_ERROR_SEM_REMOVED, others
// Q7_ERROR_UNKNOWN.
int q7tsem_semctl(int set, int number, int command, Q7SemArg argument);

// ---- For tests ----
// The key the functions above use: kSMCSSemKey unless a test set another one (SetSMCSNamesForTest
// in sharing/SMCS.h), so that test processes running at the same time each have a set of their own.
key_t SMCSSemKey();
void SetSMCSSemKeyForTest(key_t key);
// This process's set id, -1 when none.
int SMCSSemId();
