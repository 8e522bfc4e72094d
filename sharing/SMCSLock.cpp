// The locks of the shared-table registry: its semaphore set, the SMCS lock and the entry locks.
#include "sharing/SMCSLock.h"

#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>

#include "foundation/SharedObjectPolicy.h"
#include "q7api.h"
#include "sharing/SMCS.h"

namespace {

constexpr int kSemSMCS = 0;
constexpr int kSemAccess = 1;
constexpr int kSemQueue = 2;

// Internal result of a timed wait on the queue that ran out: not a failure, only a reason to look
// at the entry again.
constexpr int kTimedOut = 1;

// A waiter looks at the entry again at least this often, whether or not a token came: a token
// given while it was between two waits, or an owner that died holding the lock (and so never gives
// one), would otherwise leave it waiting for good.
constexpr long kQueueRecheckNanos = 20 * 1000 * 1000;

// How long openLockQ7TSEM waits for the creator of a set to initialise it.
constexpr int kInitPolls = 5000;
constexpr long kInitPollNanos = 1000 * 1000;

std::atomic<key_t> g_sem_key{kSMCSSemKey};
std::atomic<int> g_sem_id{-1};
std::atomic<int> g_hold_count{0};

// The process-local mutexes. The engine's stop detaches shared tables, taking these, when static
// objects may already have been destroyed: they are made on first use and never destroyed.
struct LockMutexes {
  std::mutex create;
  std::mutex ctl;
  std::mutex sem[kSMCSSemCount];
};
LockMutexes& Mutexes() {
  static auto* mutexes = new LockMutexes;
  return *mutexes;
}

// The operation records. The locks are taken with SEM_UNDO so that the kernel returns them when
// their holder dies; the initialiser and the queue are not, since their values are not held.
sembuf g_init_ops[3];
sembuf g_smcs_lock;
sembuf g_smcs_try_lock;
sembuf g_smcs_unlock;
sembuf g_access_lock;
sembuf g_access_unlock;
sembuf g_queue_take;

void FillOperations() {
  g_init_ops[0] = {kSemSMCS, 1, IPC_NOWAIT};
  g_init_ops[1] = {kSemAccess, 1, IPC_NOWAIT};
  g_init_ops[2] = {kSemQueue, 0, IPC_NOWAIT};
  g_smcs_lock = {kSemSMCS, -1, SEM_UNDO};
  g_smcs_try_lock = {kSemSMCS, -1, IPC_NOWAIT | SEM_UNDO};
  g_smcs_unlock = {kSemSMCS, 1, SEM_UNDO};
  g_access_lock = {kSemAccess, -1, SEM_UNDO};
  g_access_unlock = {kSemAccess, 1, SEM_UNDO};
  g_queue_take = {kSemQueue, -1, 0};
}

// Filled at load as well, so that a lock taken before constructorLockSMCS ran is not a zero record.
struct FillAtLoad {
  FillAtLoad() { FillOperations(); }
} g_fill_at_load;

int MapSemOpErrno(int err) {
  switch (err) {
    case EINTR:
      return Q7_ERROR_SEM_INTERRUPTED;
    case E2BIG:
      return Q7_ERROR_SEM_TOO_BIG;
    case EACCES:
      return Q7_ERROR_ACCESS_DENIED;
    case EINVAL:
      return kSemSetMissing;
    case EAGAIN:
      return Q7_ERROR_SEM_BUSY;
    case EIDRM:
      return Q7_ERROR_SEM_REMOVED;
    default:
      return Q7_ERROR_UNKNOWN;
  }
}

int MapCtlErrno(int err) {
  switch (err) {
    case EPERM:
    case EACCES:
      return Q7_ERROR_ACCESS_DENIED;
    case EINVAL:
      return kSemSetMissing;
    case EIDRM:
      return Q7_ERROR_SEM_REMOVED;
    default:
      return Q7_ERROR_UNKNOWN;
  }
}

int MapGetErrno(int err) {
  switch (err) {
    case ENOENT:
      return Q7_ERROR_SEM_TOO_BIG;
    case ENOMEM:
    case ENOSPC:
      return Q7_ERROR_OUT_OF_MEMORY;
    case EACCES:
      return Q7_ERROR_ACCESS_DENIED;
    case EEXIST:
      return kSemSetExists;
    case EINVAL:
      return kSemSetMissing;
    default:
      return -1;
  }
}

// One operation that does not wait, under its semaphore's mutex.
int RunNoWait(int sem, sembuf op) {
  std::lock_guard<std::mutex> guard(Mutexes().sem[sem]);
  const int id = g_sem_id.load();
  if (id < 0) return kSemSetMissing;
  if (semop(id, &op, 1) != 0) return MapSemOpErrno(errno);
  return 0;
}

// One operation that may wait. The mutex is not held while the call sleeps: another thread of this
// process must be able to give back what this one waits for. Once through, passing the mutex orders
// this thread after the releaser's operation, which ran under it (the kernel call orders the memory
// already; the mutex makes the race detector see it too).
int RunWaiting(int sem, sembuf op, const timespec* timeout) {
  const int id = g_sem_id.load();
  if (id < 0) return kSemSetMissing;
  sembuf copy = op;
  const int rc = timeout == nullptr ? semop(id, &copy, 1) : semtimedop(id, &copy, 1, timeout);
  if (rc != 0) {
    if (timeout != nullptr && errno == EAGAIN) return kTimedOut;
    return MapSemOpErrno(errno);
  }
  std::lock_guard<std::mutex> guard(Mutexes().sem[sem]);
  return 0;
}

int Release(int sem, sembuf op) { return RunNoWait(sem, op); }

// Takes the entry lock when it is free or its owner has ended (entry access held).
bool TakeIfFree(SHMTBLEntry* entry) {
  const int owner = entry->owner;
  bool free = owner <= 0;  // -1 = none; a pid of 0 or below never names one process
  if (!free && owner != getpid()) free = kill(owner, 0) != 0 && errno == ESRCH;
  if (!free) return false;
  entry->owner = getpid();
  entry->ownerStampSec = entry->stampSec;
  entry->ownerStampUsec = entry->stampUsec;
  return true;
}

// Whether the set with this status may be used under the sharing policy.
bool IsTrustedSet(const semid_ds& ds) {
  return IsSharedObjectTrusted({ds.sem_perm.uid, ds.sem_perm.gid, ds.sem_perm.cuid, ds.sem_perm.cgid,
                                static_cast<mode_t>(ds.sem_perm.mode & 0777)});
}

// The status of set id: 0, Q7_ERROR_ACCESS_DENIED for a set the policy refuses, or the control
// call's code.
int CheckSet(int id, semid_ds* ds) {
  Q7SemArg arg;
  arg.buf = ds;
  const int rc = q7tsem_semctl(id, 0, IPC_STAT, arg);
  if (rc < 0) return rc;
  return IsTrustedSet(*ds) ? 0 : Q7_ERROR_ACCESS_DENIED;
}

int SetQueue(int value) {
  Q7SemArg arg;
  arg.val = value;
  const int rc = q7tsem_semctl(g_sem_id.load(), kSemQueue, SETVAL, arg);
  return rc < 0 ? rc : 0;
}

}  // namespace

void constructorLockSMCS() {
  FillOperations();
  g_sem_id.store(-1);
  g_hold_count.store(0);
}

void destructorLockSMCS() {}

int initLockSMCS() {
  int id;
  {
    std::lock_guard<std::mutex> guard(Mutexes().create);
    // A System V mode is taken as given, never narrowed by the umask.
    id = semget(g_sem_key.load(), kSMCSSemCount, IPC_CREAT | IPC_EXCL | kSharedObjectMode);
    if (id < 0) return MapGetErrno(errno);
    g_sem_id.store(id);
  }
  LockMutexes& m = Mutexes();
  std::scoped_lock guard(m.sem[kSemSMCS], m.sem[kSemAccess], m.sem[kSemQueue]);
  if (semop(id, g_init_ops, 3) != 0 && errno != EAGAIN) return MapSemOpErrno(errno);
  return 0;
}

int openLockQ7TSEM() {
  int id;
  {
    std::lock_guard<std::mutex> guard(Mutexes().create);
    id = semget(g_sem_key.load(), 0, 0);
    if (id < 0) return MapGetErrno(errno);
  }
  // A set whose last-operation time is still zero has not been initialised by its creator yet.
  for (int poll = 0;; ++poll) {
    semid_ds ds{};
    const int rc = CheckSet(id, &ds);
    if (rc < 0) return rc;
    if (ds.sem_otime != 0) break;
    // A creator that died between creating and initialising would keep us here for good.
    if (poll >= kInitPolls) return Q7_ERROR_SEM_BUSY;
    const timespec pause{0, kInitPollNanos};
    nanosleep(&pause, nullptr);
  }
  g_sem_id.store(id);
  return 0;
}

int termLockSMCS() {
  int id = g_sem_id.load();
  if (id < 0) {
    std::lock_guard<std::mutex> guard(Mutexes().create);
    id = semget(g_sem_key.load(), 0, 0);
    if (id < 0) return MapGetErrno(errno);
  }
  semid_ds ds{};
  const int checked = CheckSet(id, &ds);
  if (checked == Q7_ERROR_ACCESS_DENIED) return checked;  // not ours to remove
  Q7SemArg arg;
  arg.val = 0;
  const int rc = q7tsem_semctl(id, 0, IPC_RMID, arg);
  g_sem_id.store(-1);
  g_hold_count.store(0);
  return rc < 0 ? rc : 0;
}

bool isSemaphoreAccessible() { return g_sem_id.load() >= 0; }

int lockSMCS(int mode) {
  if (mode != kLockWait && mode != kLockNoWait) return Q7_ERROR_INVALID_PARAMETER;
  for (int attempt = 0;; ++attempt) {
    const int rc =
        mode == kLockWait ? RunWaiting(kSemSMCS, g_smcs_lock, nullptr) : RunNoWait(kSemSMCS, g_smcs_try_lock);
    if (rc == 0) {
      g_hold_count.fetch_add(1);
      return 0;
    }
    if ((rc == kSemSetMissing || rc == Q7_ERROR_SEM_REMOVED) && attempt == 0) {
      // The set was removed, or removed and made again: use the one there is now, unless the
      // sharing policy refuses it.
      const int opened = openLockQ7TSEM();
      if (opened == Q7_ERROR_ACCESS_DENIED) return opened;
      if (opened != 0) return Q7_ERROR_SMCS_INVALID;
      continue;
    }
    return rc;
  }
}

int unlockSMCS() {
  // A give-back without a hold would let two processes into the registry at once.
  if (g_hold_count.load() <= 0) return Q7_ERROR_INVALID_OPERATION;
  const int rc = Release(kSemSMCS, g_smcs_unlock);
  if (rc == 0) g_hold_count.fetch_sub(1);
  return rc;
}

int isSMCSLocked() { return g_hold_count.load(); }

int lockSHMTBLAccessor() { return RunWaiting(kSemAccess, g_access_lock, nullptr); }

int unlockSHMTBLAccessor() { return Release(kSemAccess, g_access_unlock); }

int lockSHMTBLEntry(SHMTBLEntry* entry, int mode) {
  if (entry == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  int rc = lockSHMTBLAccessor();
  if (rc != 0) return rc;
  bool taken = TakeIfFree(entry);
  unlockSHMTBLAccessor();
  if (taken) {
    // Tokens left from earlier waits would let the next waiter through without a release.
    rc = lockSHMTBLAccessor();
    if (rc != 0) return rc;
    rc = SetQueue(0);
    unlockSHMTBLAccessor();
    return rc;
  }
  if (mode == kLockNoWait) return Q7_ERROR_SEM_BUSY;
  if (mode != kLockWait) return Q7_ERROR_INVALID_PARAMETER;

  rc = unlockSMCS();
  if (rc != 0) return rc;
  const timespec recheck{0, kQueueRecheckNanos};
  while (!taken) {
    const int wait = RunWaiting(kSemQueue, g_queue_take, &recheck);
    if (wait < 0) {
      rc = wait;
      break;
    }
    // A token is not handed on: the releaser gives one per release, and a waiter that gave its own
    // back would only take it again at once while the entry stays busy.
    rc = lockSHMTBLAccessor();
    if (rc != 0) break;
    taken = TakeIfFree(entry);
    unlockSHMTBLAccessor();
  }
  const int relock = lockSMCS(kLockWait);
  if (rc == 0 && relock != 0) {
    // The caller sees a failure and will not release the entry: do it here.
    unlockSHMTBLEntry(entry);
    rc = relock;
  }
  return rc;
}

int unlockSHMTBLEntry(SHMTBLEntry* entry) {
  if (entry == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  int rc = lockSHMTBLAccessor();
  if (rc != 0) return rc;
  const bool same_generation =
      entry->ownerStampSec == entry->stampSec &&
      static_cast<int32_t>(entry->ownerStampUsec) == static_cast<int32_t>(entry->stampUsec);
  if (!same_generation) {
    rc = 0;  // removed or reused since the lock was taken: nothing of ours to release
  } else if (entry->owner != getpid()) {
    rc = kEntryLockNotOwner;
  } else {
    Q7SemArg arg;
    arg.val = 0;
    const int waiting = q7tsem_semctl(g_sem_id.load(), kSemQueue, GETNCNT, arg);
    rc = waiting < 0 ? waiting : SetQueue(waiting > 0 ? 1 : 0);
    entry->owner = -1;
    entry->ownerStampSec = -1;
    entry->ownerStampUsec = 0;
  }
  unlockSHMTBLAccessor();
  return rc;
}

bool isSHMTBLEntryLocked(SHMTBLEntry* entry) {
  if (entry == nullptr || lockSHMTBLAccessor() != 0) return false;
  const bool mine = entry->owner == getpid();
  unlockSHMTBLAccessor();
  return mine;
}

int q7tsem_semctl(int set, int number, int command, Q7SemArg argument) {
  std::lock_guard<std::mutex> guard(Mutexes().ctl);
  const int rc = semctl(set, number, command, argument);
  if (rc < 0) return MapCtlErrno(errno);
  return rc;
}

key_t SMCSSemKey() { return g_sem_key.load(); }

void SetSMCSSemKeyForTest(key_t key) { g_sem_key.store(key == 0 ? kSMCSSemKey : key); }

int SMCSSemId() { return g_sem_id.load(); }
