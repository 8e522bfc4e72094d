// The shared-table registry: its control structure, its entries, the tables' handles and file helpers.
#include "sharing/SMCS.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/SharedObjectPolicy.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "kernels/WildCard.h"
#include "q7api.h"
#include "sharing/SMCSLock.h"

LSMCS TheLSMCS = {-1, 0, nullptr};

namespace {

constexpr size_t kObjectNameSize = 64;
constexpr char kShmDir[] = "/dev/shm/";
constexpr char kTableExt[] = ".Q7T";
constexpr size_t kTableExtLength = sizeof kTableExt - 1;
constexpr size_t kPageSize = 4096;
constexpr size_t kPagesPerLockCheck = 64;

char g_object_name[kObjectNameSize] = "/zpk_SMCS_V10";

// The structures this process maps now, with the bytes mapped when each was opened: this process's
// own record of them. A table's handle may outlive the mapping it was taken from (the structure
// invalidated and unmapped here, or opened again elsewhere); it is read only while its address is
// still one of these. Every entry index is bounded by the mapped size, never by the structure's own
// capacity and size fields alone: other processes write those.
//
// The engine's stop detaches the shared tables after static objects may already have been
// destroyed (a host may return from main with tables attached): the record is made on first use
// and never destroyed.
struct MappedStructures {
  std::mutex mutex;
  std::map<const void*, uint64_t> bytes;
};
MappedStructures& Mapped() {
  static auto* mapped = new MappedStructures;
  return *mapped;
}

void NoteMapped(const void* address, uint64_t bytes) {
  MappedStructures& m = Mapped();
  std::lock_guard<std::mutex> guard(m.mutex);
  m.bytes[address] = bytes;
}
// Bytes this process mapped at address, 0 when it maps no structure there.
uint64_t MappedBytes(const void* address) {
  MappedStructures& m = Mapped();
  std::lock_guard<std::mutex> guard(m.mutex);
  const auto it = m.bytes.find(address);
  return it == m.bytes.end() ? 0 : it->second;
}
void UnmapStructure(SMCS* smcs) {
  MappedStructures& m = Mapped();
  uint64_t bytes = 0;
  {
    std::lock_guard<std::mutex> guard(m.mutex);
    const auto it = m.bytes.find(smcs);
    if (it == m.bytes.end()) return;
    bytes = it->second;
    m.bytes.erase(it);
  }
  munmap(smcs, bytes);
}
bool IsMapped(const void* address) { return MappedBytes(address) != 0; }

// The number of entry slots that may be touched: the capacity, but never more than the mapping
// holds.
int SlotLimit(const SMCS* smcs) {
  const uint64_t bytes = MappedBytes(smcs);
  const uint64_t mapped_slots = bytes < kSMCSHeaderSize ? 0 : (bytes - kSMCSHeaderSize) / kSHMTBLEntrySize;
  const int32_t capacity = smcs->capacity;
  if (capacity <= 0) return 0;
  return static_cast<uint64_t>(capacity) < mapped_slots ? capacity : static_cast<int>(mapped_slots);
}
// The slots below the high-water mark, within SlotLimit.
int UsedSlotLimit(const SMCS* smcs) {
  const int limit = SlotLimit(smcs);
  const int32_t high = smcs->highWater;
  return high < 0 ? 0 : (high < limit ? high : limit);
}

// The table files this process has attached, by the address of their view: each descriptor holds
// a shared lock on its file for as long as the view lives. The system drops the lock when the
// process ends however it ends, so that an attach count left raised by a process that died can be
// told from a live attachment (AnyProcessAttached). Never destroyed, as the record of mapped
// structures above: the engine's stop closes them.
struct AttachedFiles {
  std::mutex mutex;
  std::map<const void*, int> fds;
};
AttachedFiles& Attached() {
  static auto* attached = new AttachedFiles;
  return *attached;
}

void NoteAttachedFile(const void* view, int fd) {
  AttachedFiles& a = Attached();
  std::lock_guard<std::mutex> guard(a.mutex);
  a.fds[view] = fd;
}
void CloseAttachedFile(const void* view) {
  AttachedFiles& a = Attached();
  int fd = -1;
  {
    std::lock_guard<std::mutex> guard(a.mutex);
    const auto it = a.fds.find(view);
    if (it == a.fds.end()) return;
    fd = it->second;
    a.fds.erase(it);
  }
  close(fd);
}

int32_t Usec32(int64_t usec) { return static_cast<int32_t>(usec); }

bool SameStamp(int64_t sec_a, int64_t usec_a, int64_t sec_b, int64_t usec_b) {
  return sec_a == sec_b && Usec32(usec_a) == Usec32(usec_b);
}

// A stamp that differs from (and follows) the last one issued. A clock read within the same
// microsecond, or a clock set back, would give a stamp already seen; the next microsecond after the
// last one is taken instead, so that a stamp always names one generation.
void IssueStamp(SMCS* smcs, int64_t* sec, int64_t* usec) {
  timeval now{};
  gettimeofday(&now, nullptr);
  int64_t s = now.tv_sec;
  int64_t u = now.tv_usec;
  const int64_t last_s = smcs->lastSec;
  const int64_t last_u = Usec32(smcs->lastUsec);
  if (last_s != -1 && (s < last_s || (s == last_s && u <= last_u))) {
    s = last_s;
    u = last_u + 1;
    if (u >= 1000000) {
      ++s;
      u = 0;
    }
  }
  smcs->lastSec = s;
  smcs->lastUsec = u;
  *sec = s;
  *usec = u;
}

int HashChain(const char* name) { return getHashValue(name) % kSMCSHashSize; }

int MapMapErrno(int err) {
  switch (err) {
    case ENOMEM:
      return Q7_ERROR_OUT_OF_MEMORY;
    case ENFILE:
      return Q7_ERROR_ILLEGAL_FILE_NAME;
    default:
      return Q7_ERROR_UNKNOWN;
  }
}

void ClearLocal(LSMCS* local) {
  local->stampSec = -1;
  local->stampUsec = 0;
  local->smcs = nullptr;
}

// Every entry index read from the structure is checked before it is used: the structure is
// written by other processes.
bool SlotInRange(const SMCS* smcs, int slot) { return slot >= 0 && slot < SlotLimit(smcs); }

// The owner, group and mode of an open object or file, for the sharing policy.
bool IsTrustedFile(const struct stat& st) {
  return IsSharedObjectTrusted(
      {st.st_uid, st.st_gid, st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 0777)});
}

// A copy of the entry's path that is terminated whatever the shared bytes hold.
void CopyEntryPath(const SHMTBLEntry* entry, char (&out)[kSHMTBLPathSize]) {
  memcpy(out, entry->path, kSHMTBLPathSize);
  out[kSHMTBLPathSize - 1] = '\0';
}

int MapStatErrno(int err) {
  switch (err) {
    case ENOENT:
      return Q7_ERROR_INVALID_DIRECTORY;
    case EBADF:
    case EFAULT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return Q7_ERROR_ILLEGAL_FILE_NAME;
    case ENOMEM:
      return Q7_ERROR_OUT_OF_MEMORY;
    case EACCES:
      return Q7_ERROR_ACCESS_DENIED;
    default:
      return 0;
  }
}

}  // namespace

// ---- The control structure ----

int createSMCS(int n, LSMCS* local) {
  if (local == nullptr || n < 0) return Q7_ERROR_INVALID_PARAMETER;
  const int fd = shm_open(g_object_name, O_RDWR | O_CREAT | O_EXCL, kSharedObjectMode);
  if (fd < 0) {
    switch (errno) {
      case EEXIST:
        return Q7_ERROR_SMCS_CREATE;
      case EACCES:
        return Q7_ERROR_ACCESS_DENIED;
      case EINVAL:
      case ENAMETOOLONG:
        return Q7_ERROR_UNKNOWN;
      default:
        // ENOENT too: nothing was created, and the caller must hear it.
        return Q7_ERROR_ILLEGAL_FILE_NAME;
    }
  }
  // From here a failure removes the object again: left behind, it would refuse every later setup.
  const auto fail = [fd](int code) {
    close(fd);
    shm_unlink(g_object_name);
    return code;
  };
  // The mode is the policy's whatever the umask took away or would have let through.
  if (fchmod(fd, kSharedObjectMode) != 0) return fail(Q7_ERROR_ACCESS_DENIED);
  const int64_t size = getSizeOfSMCS(n);
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    switch (errno) {
      case EINTR:
        return fail(Q7_ERROR_SEM_INTERRUPTED);
      case EIO:
        return fail(Q7_ERROR_ILLEGAL_FILE_NAME);
      case EINVAL:
        return fail(Q7_ERROR_INVALID_PARAMETER);
      default:
        return fail(Q7_ERROR_UNKNOWN);
    }
  }
  void* address = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) return fail(MapMapErrno(errno));
  // Keeping the structure resident is a wish, not a need: the memory-lock limit may refuse it.
  (void)mlock(address, static_cast<size_t>(size));

  auto* smcs = static_cast<SMCS*>(address);
  smcs->lastSec = -1;
  smcs->lastUsec = 0;
  IssueStamp(smcs, &smcs->stampSec, &smcs->stampUsec);
  smcs->totalSize = static_cast<uint64_t>(size);
  smcs->capacity = n;
  smcs->nValid = 0;
  smcs->highWater = 0;
  for (int32_t& head : smcs->hashHeads) head = -1;
  memset(smcs->reserved, 0, sizeof smcs->reserved);
  NoteMapped(smcs, static_cast<uint64_t>(size));
  initLSMCS(local, smcs);
  close(fd);
  return 0;
}

int openSMCS(LSMCS* local) {
  if (local == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  ClearLocal(local);
  const int fd = shm_open(g_object_name, O_RDWR, 0);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
        return 0;
      case EACCES:
        return Q7_ERROR_ACCESS_DENIED;
      case ENFILE:
      case EMFILE:
        return Q7_ERROR_ILLEGAL_FILE_NAME;
      default:
        return Q7_ERROR_UNKNOWN;
    }
  }
  // An object shorter than its header is still being made by its creator; bytes mapped past the
  // end of an object fault on access, so nothing is read before the size is known.
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    close(fd);
    return Q7_ERROR_UNKNOWN;
  }
  if (!IsTrustedFile(st)) {
    close(fd);
    return Q7_ERROR_ACCESS_DENIED;
  }
  if (static_cast<uint64_t>(st.st_size) < kSMCSHeaderSize) {
    close(fd);
    return Q7_ERROR_SMCS_INVALID;
  }
  void* header = mmap(nullptr, kSMCSHeaderSize, PROT_READ, MAP_SHARED, fd, 0);
  if (header == MAP_FAILED) {
    const int code = MapMapErrno(errno);
    close(fd);
    return code;
  }
  const auto* view = static_cast<const SMCS*>(header);
  const uint64_t total = view->totalSize;
  const int32_t capacity = view->capacity;
  munmap(header, kSMCSHeaderSize);
  if (capacity < 0 || total != static_cast<uint64_t>(getSizeOfSMCS(capacity)) ||
      total > static_cast<uint64_t>(st.st_size)) {
    close(fd);
    return Q7_ERROR_SMCS_INVALID;  // not yet initialised, or not a structure of ours
  }
  void* address = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  const int err = errno;
  close(fd);
  if (address == MAP_FAILED) return MapMapErrno(err);
  NoteMapped(address, total);
  initLSMCS(local, static_cast<SMCS*>(address));
  return 0;
}

int getSMCSStatus(LSMCS* local, SMCS** out) {
  if (out != nullptr) *out = nullptr;
  if (local == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  if (local->smcs != nullptr && local->smcs->stampSec == -1 && local->smcs->nValid == 0) {
    UnmapStructure(local->smcs);
    local->smcs = nullptr;
  }
  if (local->smcs == nullptr || local->smcs->stampSec == -1) {
    const int rc = openSMCS(local);
    if (rc != 0 && rc != Q7_ERROR_SMCS_INVALID) return rc;
  }
  if (local->smcs == nullptr) return Q7_ERROR_SMCS_INVALID;
  SMCS* smcs = local->smcs;
  if (out != nullptr) *out = smcs;
  if (smcs->stampSec == -1 || !SameStamp(smcs->stampSec, smcs->stampUsec, local->stampSec, local->stampUsec))
    return Q7_ERROR_SMCS_INVALID;
  return smcs->nValid == 0 ? Q7_ERROR_SMCS_EMPTY : Q7_ERROR_SMCS_IN_USE;
}

int invalidateSMCS(LSMCS* local) {
  if (local != nullptr && local->smcs != nullptr) {
    SMCS* smcs = local->smcs;
    smcs->stampSec = -1;
    smcs->stampUsec = 0;
    UnmapStructure(smcs);
    ClearLocal(local);
  }
  // An object under the name that the policy refuses is not ours to remove.
  if (IsSMCSObjectRefused()) return Q7_ERROR_ACCESS_DENIED;
  if (shm_unlink(g_object_name) == 0 || errno == ENOENT) return 0;
  return errno == EACCES ? Q7_ERROR_ACCESS_DENIED : Q7_ERROR_UNKNOWN;
}

bool IsSMCSObjectRefused() {
  const int fd = shm_open(g_object_name, O_RDONLY, 0);
  if (fd < 0) return false;
  struct stat st {};
  const bool trusted = fstat(fd, &st) == 0 && IsTrustedFile(st);
  close(fd);
  return !trusted;
}

void releaseLSMCS(LSMCS* local) {
  if (local == nullptr) return;
  if (local->smcs != nullptr) UnmapStructure(local->smcs);
  ClearLocal(local);
}

void initLSMCS(LSMCS* local, SMCS* smcs) {
  if (local == nullptr) return;
  if (smcs == nullptr) {
    ClearLocal(local);
    return;
  }
  local->stampSec = smcs->stampSec;
  local->stampUsec = smcs->stampUsec;
  local->smcs = smcs;
}

int64_t getSizeOfSMCS(int n) {
  return static_cast<int64_t>(kSMCSHeaderSize) + static_cast<int64_t>(kSHMTBLEntrySize) * n;
}

int dumpSMCS(const char* path) {
  if (path == nullptr) return -1;
  char size_path[sizeof kShmDir + kObjectNameSize];
  snprintf(size_path, sizeof size_path, "%s%s", kShmDir, g_object_name);
  const int fd = shm_open(g_object_name, O_RDONLY, 0);
  if (fd < 0) return errno == EACCES ? Q7_ERROR_ACCESS_DENIED : -1;
  struct stat st {};
  // A registry the policy refuses may list another user's table paths: its bytes are not copied
  // out, and the file is not even made.
  const bool examined = fstat(fd, &st) == 0;
  if (!examined || !IsTrustedFile(st)) {
    close(fd);
    return examined ? Q7_ERROR_ACCESS_DENIED : -1;
  }
  if (stat(size_path, &st) != 0 || st.st_size <= 0) {
    close(fd);
    return -1;
  }
  const auto size = static_cast<size_t>(st.st_size);
  void* address = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (address == MAP_FAILED) return -1;
  int rc = -1;
  // Written aside and renamed over an old dump once whole, as the saves are.
  try {
    table_files::ReplaceOptions options;
    options.raw = true;
    options.quiet = true;
    options.in_place_otherwise = true;
    options.new_mode = 0640;
    table_files::ReplacingFile out(path, options);
    if (out.stream().write(address, size) == 0) {
      out.Commit();
      rc = 0;
    }
  } catch (...) {
    rc = -1;
  }
  munmap(address, size);
  return rc;
}

// ---- Entries ----

int createSHMTBLEntry(SMCS* smcs, const char* fileName, const char* tableName, const char* dir,
                      SHMTBLEntry** out) {
  if (out != nullptr) *out = nullptr;
  if (smcs == nullptr || fileName == nullptr || tableName == nullptr || dir == nullptr || out == nullptr)
    return Q7_ERROR_INVALID_PARAMETER;
  const size_t dir_length = strnlen(dir, kSHMTBLPathMax + 1);
  if (dir_length > kSHMTBLPathMax) return Q7_ERROR_INVALID_DIRECTORY;
  const int limit = SlotLimit(smcs);
  if (smcs->nValid >= limit) return Q7_ERROR_SMCS_TOO_MANY_ENTRIES;

  int slot = -1;
  if (smcs->highWater < limit) {
    slot = smcs->highWater;
  } else {
    for (int i = 0; i < limit; ++i) {
      if (SMCSEntry(smcs, i)->stampSec == -1) {
        slot = i;
        break;
      }
    }
  }
  if (!SlotInRange(smcs, slot)) return Q7_ERROR_SMCS_TOO_MANY_ENTRIES;

  // Names are refused rather than cut: a cut name would be registered but never found.
  if (strnlen(fileName, kSHMTBLFileNameMax + 1) > kSHMTBLFileNameMax) return Q7_ERROR_ILLEGAL_FILE_NAME;
  const size_t name_length = strnlen(tableName, kSHMTBLNameSize);
  if (name_length == 0 || name_length >= kSHMTBLNameSize) return Q7_ERROR_ILLEGAL_TABLE_NAME;

  char path[kSHMTBLPathMax + 1 + kSHMTBLFileNameMax + 1];
  const char* separator = dir_length == 0 || dir[dir_length - 1] == '/' ? "" : "/";
  const int path_length = snprintf(path, sizeof path, "%s%s%s", dir, separator, fileName);
  if (path_length < 0 || static_cast<size_t>(path_length) > kSHMTBLPathMax) return Q7_ERROR_INVALID_DIRECTORY;

  struct stat st {};
  if (stat(path, &st) != 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  const auto file_size = static_cast<int64_t>(st.st_size);
  // Attached tables read the file in place for as long as they live: a file that someone outside
  // the circle may rewrite or cut would fault them.
  if (!IsTrustedFile(st)) return Q7_ERROR_ACCESS_DENIED;
  const int checked = checkQ7TFileHeader(path);
  if (checked != 0) return checked;

  SHMTBLEntry* entry = SMCSEntry(smcs, slot);
  memset(entry->path, 0, sizeof entry->path);
  memcpy(entry->path, path, static_cast<size_t>(path_length));
  entry->fileSize = static_cast<uint64_t>(file_size);
  IssueStamp(smcs, &entry->stampSec, &entry->stampUsec);
  entry->attachCount = 0;
  entry->owner = -1;
  entry->reserved = 0;
  entry->ownerStampSec = -1;
  entry->ownerStampUsec = 0;
  memset(entry->tableName, 0, sizeof entry->tableName);
  memcpy(entry->tableName, tableName, name_length);

  if (smcs->highWater < limit) ++smcs->highWater;
  ++smcs->nValid;

  const int chain = HashChain(entry->tableName);
  const int old_head = smcs->hashHeads[chain];
  entry->prev = -1;
  entry->next = SlotInRange(smcs, old_head) ? old_head : -1;
  if (entry->next >= 0) SMCSEntry(smcs, entry->next)->prev = slot;
  smcs->hashHeads[chain] = slot;
  *out = entry;
  return 0;
}

SHMTBLEntry* lookupSHMTBLEntry(SMCS* smcs, const char* tableName) {
  if (smcs == nullptr || tableName == nullptr) return nullptr;
  int slot = smcs->hashHeads[HashChain(tableName)];
  // A chain never holds more entries than there are slots; a longer walk is a damaged chain.
  const int limit = SlotLimit(smcs);
  for (int steps = 0; slot >= 0 && slot < limit && steps < limit; ++steps) {
    SHMTBLEntry* entry = SMCSEntry(smcs, slot);
    if (entry->stampSec != -1 && strncmp(entry->tableName, tableName, kSHMTBLNameSize) == 0 &&
        strnlen(tableName, kSHMTBLNameSize) < kSHMTBLNameSize)
      return entry;
    slot = entry->next;
  }
  return nullptr;
}

int removeSHMTBLEntry(SMCS* smcs, SHMTBLEntry* entry) {
  if (smcs == nullptr || entry == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  if (entry->stampSec == -1) return 0;  // already free: its chain no longer holds it
  const int slot = SMCSSlotOf(smcs, entry);
  const int prev = entry->prev;
  const int next = entry->next;
  if (SlotInRange(smcs, prev)) {
    SMCSEntry(smcs, prev)->next = next;
  } else {
    char name[kSHMTBLNameSize];
    memcpy(name, entry->tableName, sizeof name);
    name[sizeof name - 1] = '\0';  // the shared bytes may lack their terminator
    const int chain = HashChain(name);
    if (smcs->hashHeads[chain] == slot) smcs->hashHeads[chain] = next;
  }
  if (SlotInRange(smcs, next)) SMCSEntry(smcs, next)->prev = prev;
  entry->prev = -1;
  entry->next = -1;

  const int rc = lockSHMTBLAccessor();
  entry->stampSec = -1;
  entry->stampUsec = 0;
  entry->owner = -1;
  if (rc == 0) unlockSHMTBLAccessor();
  --smcs->nValid;
  return rc;
}

int countValidSHMTBLEntries(SMCS* smcs) {
  if (smcs == nullptr) return 0;
  int count = 0;
  const int end = UsedSlotLimit(smcs);
  for (int i = 0; i < end; ++i) {
    if (SMCSEntry(smcs, i)->stampSec != -1) ++count;
  }
  return count;
}

SHMTBLEntry* findNextValidSHMTBLEntry(SMCS* smcs, SHMTBLEntry* after) {
  if (smcs == nullptr) return nullptr;
  const int start = after == nullptr ? 0 : SMCSSlotOf(smcs, after) + 1;
  const int end = UsedSlotLimit(smcs);
  for (int i = start < 0 ? 0 : start; i < end; ++i) {
    SHMTBLEntry* entry = SMCSEntry(smcs, i);
    if (entry->stampSec != -1) return entry;
  }
  return nullptr;
}

int getSHMTBLEntryStatus(const char* tableName, SMCS* smcs, int smcsStatus, SHMTBLEntry** out) {
  if (out != nullptr) *out = nullptr;
  if (smcsStatus == Q7_ERROR_SMCS_INVALID) return Q7_ERROR_SMCS_NOT_SET_UP;
  SHMTBLEntry* entry = lookupSHMTBLEntry(smcs, tableName);
  if (entry == nullptr) return Q7_ERROR_SHMTBL_NOT_REGISTERED;
  if (out != nullptr) *out = entry;
  return getValidSHMTBLEntryStatus(entry);
}

int getValidSHMTBLEntryStatus(SHMTBLEntry* entry) {
  // Attachments of processes that died without detaching are dropped here: the count alone would
  // keep the entry from being released, and the registry from being shut down, for good.
  if (entry->attachCount != 0 && !AnyProcessAttached(entry)) entry->attachCount = 0;
  return entry->attachCount == 0 ? Q7_ERROR_SHMTBL_NOT_ATTACHED : Q7_ERROR_SHMTBL_ATTACHED;
}

bool AnyProcessAttached(SHMTBLEntry* entry) {
  if (entry == nullptr) return false;
  char path[kSHMTBLPathSize];
  CopyEntryPath(entry, path);
  // A file that cannot be opened any more may still be mapped by live processes: counted as held.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  bool held = true;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    held = false;  // no attachment's shared lock stood in the way
    flock(fd, LOCK_UN);
  }
  close(fd);
  return held;
}

// ---- A table's handle on an entry ----

int createLSHMTBLEntry(SMCS* smcs, SHMTBLEntry* entry, LSHMTBLEntry* local) {
  if (smcs == nullptr || entry == nullptr || local == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  char path[kSHMTBLPathSize];
  CopyEntryPath(entry, path);
  const int checked = checkQ7TFileHeader(path);
  if (checked != 0) return checked;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    switch (errno) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENFILE:
      case EMFILE:
      case ELOOP:
        return Q7_ERROR_ILLEGAL_FILE_NAME;
      case ENOMEM:
      case ENOSPC:
        return Q7_ERROR_OUT_OF_MEMORY;
      case EACCES:
        return Q7_ERROR_ACCESS_DENIED;
      case EISDIR:
        return Q7_ERROR_MAKE_DIRECTORY_FAILED;
      default:
        return Q7_ERROR_UNKNOWN;
    }
  }
  const uint64_t size = entry->fileSize;
  // A file cut since it was registered: the pages past its new end would fault when read.
  struct stat st {};
  if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < size) {
    close(fd);
    return Q7_ERROR_SHMTBL_INVALID;
  }
  // The file may have been replaced, or its mode changed, since it was registered.
  if (!IsTrustedFile(st)) {
    close(fd);
    return Q7_ERROR_ACCESS_DENIED;
  }
  // The attachment's mark, kept until it is removed (see AnyProcessAttached). Only another program
  // holding the file exclusively stands in the way; it is not waited for under the SMCS lock.
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
    close(fd);
    return Q7_ERROR_SEM_BUSY;
  }
  void* address = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  const int err = errno;
  if (address == MAP_FAILED) {
    close(fd);
    switch (err) {
      case ENOMEM:
        return Q7_ERROR_OUT_OF_MEMORY;
      case EINVAL:
        return Q7_ERROR_SHMTBL_INVALID;
      default:
        return Q7_ERROR_UNKNOWN;
    }
  }
  NoteAttachedFile(address, fd);
  local->smcsStamp = PackSMCSStamp(smcs->stampSec, smcs->stampUsec);
  local->entryStamp = PackSMCSStamp(entry->stampSec, entry->stampUsec);
  local->smcs = smcs;
  local->entry = entry;
  local->mapAddress = address;
  local->mapSize = size;
  local->fork_depth = ForkDepth();
  ++entry->attachCount;
  return 0;
}

void prefaultLSHMTBLEntry(LSHMTBLEntry* local) {
  if (local == nullptr || local->mapAddress == nullptr) return;
  const auto* bytes = static_cast<const volatile unsigned char*>(local->mapAddress);
  auto* entry = static_cast<SHMTBLEntry*>(local->entry);
  size_t pages = 0;
  for (size_t offset = 0; offset < local->mapSize; offset += kPageSize) {
    (void)bytes[offset];
    if (++pages % kPagesPerLockCheck == 0 && !isSHMTBLEntryLocked(entry)) return;
  }
}

void removeLSHMTBLEntry(LSHMTBLEntry* local) {
  if (local == nullptr) return;
  // An inherited handle's count and file lock are the attaching process's (the lock belongs to the
  // open file the two processes share: this process may close its descriptor, never unlock it).
  if (IsInheritedLSHMTBLEntry(local)) {
    unmapLSHMTBLEntry(local);
    return;
  }
  auto* smcs = static_cast<SMCS*>(local->smcs);
  auto* entry = static_cast<SHMTBLEntry*>(local->entry);
  // The handle's structure is touched only while this process still maps it, and only when it is
  // the generation the handle was taken from.
  const bool live = smcs != nullptr && entry != nullptr && IsMapped(smcs) && smcs->stampSec != -1 &&
                    PackSMCSStamp(smcs->stampSec, smcs->stampUsec) == local->smcsStamp &&
                    entry->stampSec != -1 &&
                    PackSMCSStamp(entry->stampSec, entry->stampUsec) == local->entryStamp;
  if (live) {
    if (isSHMTBLEntryLocked(entry)) {
      unlockSHMTBLEntry(entry);
      if (lockSHMTBLEntry(entry, kLockWait) == 0) unlockSHMTBLEntry(entry);
    }
    if (entry->attachCount > 0) --entry->attachCount;
  }
  unmapLSHMTBLEntry(local);
}

void unmapLSHMTBLEntry(LSHMTBLEntry* local) {
  if (local == nullptr) return;
  if (local->mapAddress != nullptr) {
    munmap(local->mapAddress, local->mapSize);
    CloseAttachedFile(local->mapAddress);
  }
  initLSHMTBLEntry(local);
}

void RegisterSharedTableRegistryHooks() {
  SharedTableRegistryHooks hooks{};
  hooks.removeLSHMTBLEntry = removeLSHMTBLEntry;
  hooks.unmapLSHMTBLEntry = unmapLSHMTBLEntry;
  hooks.isSMCSLocked = isSMCSLocked;
  hooks.lockSMCS = lockSMCS;
  hooks.unlockSMCS = [] { unlockSMCS(); };
  SetSharedTableRegistryHooks(hooks);
}

// ---- Files ----

int normalizeQ7TFileNameAndTableName(const char* name, char* fileName, char* tableName) {
  if (name == nullptr || fileName == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  const size_t length = strnlen(name, kQ7TFileNameSize);
  const bool has_ext = length >= kTableExtLength && strcmp(name + length - kTableExtLength, kTableExt) == 0;
  if (length < kTableExtLength || !has_ext) {
    if (length > 251) return Q7_ERROR_ILLEGAL_TABLE_NAME;
    snprintf(fileName, kQ7TFileNameSize, "%s%s", name, kTableExt);
  } else {
    if (length > 255) return Q7_ERROR_ILLEGAL_TABLE_NAME;
    snprintf(fileName, kQ7TFileNameSize, "%s", name);
  }
  if (tableName != nullptr) {
    size_t stem = strlen(fileName) - kTableExtLength;
    if (stem > kQ7TTableNameSize - 1) stem = kQ7TTableNameSize - 1;
    memcpy(tableName, fileName, stem);
    tableName[stem] = '\0';
    if (!ToFileName(tableName)) return Q7_ERROR_ILLEGAL_TABLE_NAME;
  }
  return 0;
}

int checkQ7TFileHeader(const char* path) {
  if (path == nullptr) return Q7_ERROR_ILLEGAL_FILE_NAME;
  try {
    zpk_fstream file;
    if (file.open(path, kZpkRead | kZpkBinary, 0) != 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
    file.readFileHeader(false);
    if (file.oldFormat() || file.FileELF() != getSystemELF() ||
        file.FileAddrAlignment() != getSystemAddrAlignment() || file.FileEndian() != getSystemEndian())
      return Q7_ERROR_NOT_REAL_TYPE;
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
}

int openFileIterator(const char* dir, Q7TFileIterator* iter) {
  if (iter == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  iter->dir = nullptr;
  iter->path[0] = '\0';
  if (dir == nullptr || strnlen(dir, kSHMTBLPathMax) >= kSHMTBLPathMax) return Q7_ERROR_INVALID_DIRECTORY;
  DIR* stream = opendir(dir);
  if (stream == nullptr) {
    switch (errno) {
      case ENOENT:
        return Q7_ERROR_INVALID_DIRECTORY;
      case ENOMEM:
        return Q7_ERROR_OUT_OF_MEMORY;
      case EACCES:
        return Q7_ERROR_ACCESS_DENIED;
      default:
        return Q7_ERROR_ILLEGAL_FILE_NAME;
    }
  }
  iter->dir = stream;
  snprintf(iter->path, sizeof iter->path, "%s", dir);
  return 0;
}

int findNextMatchingFile(Q7TFileIterator* iter, const char* pattern, char* name) {
  if (iter == nullptr || pattern == nullptr || name == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  name[0] = '\0';
  if (iter->dir == nullptr) return Q7_ERROR_ILLEGAL_FILE_NAME;
  try {
    WildCard wild(pattern, 1);
    for (;;) {
      errno = 0;
      const dirent* item = readdir(iter->dir);
      if (item == nullptr) return errno == EBADF ? Q7_ERROR_ILLEGAL_FILE_NAME : kNoMoreMatchingFiles;
      char full[kSHMTBLPathMax + 1 + sizeof item->d_name];
      snprintf(full, sizeof full, "%s/%s", iter->path, item->d_name);
      struct stat st {};
      if (stat(full, &st) != 0) return MapStatErrno(errno);
      if (!S_ISREG(st.st_mode) || !wild.match(item->d_name)) continue;
      snprintf(name, kMatchingFileNameSize, "%s", item->d_name);
      return 0;
    }
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}

void closeFileIterator(Q7TFileIterator* iter) {
  if (iter == nullptr || iter->dir == nullptr) return;
  closedir(iter->dir);
  iter->dir = nullptr;
}

bool isFileExistent(const char* path) {
  struct stat st {};
  return path != nullptr && stat(path, &st) == 0;
}

bool isFileWritable(const char* path) {
  if (path == nullptr) return false;
  const int fd = open(path, O_RDWR);
  if (fd < 0) return false;
  close(fd);
  return true;
}

int64_t getSizeOfFile(const char* path) {
  struct stat st {};
  if (path == nullptr || stat(path, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

void prefault(const void* address, size_t size) {
  if (address == nullptr) return;
  const auto* bytes = static_cast<const volatile unsigned char*>(address);
  for (size_t offset = 0; offset < size; offset += kPageSize) (void)bytes[offset];
}

void formatZPKObjectName(char* out, const struct timeval* tv) {
  if (out == nullptr) return;
  timeval now{};
  if (tv == nullptr) {
    gettimeofday(&now, nullptr);
    tv = &now;
  }
  const time_t seconds = tv->tv_sec;
  struct tm local {};
  localtime_r(&seconds, &local);
  // Room for every field at its widest, so that nothing is cut but by the caller's size.
  char text[96];
  snprintf(text, sizeof text, "zpk%04d%02d%02d%02d%02d%02d%06d", local.tm_year + 1900, local.tm_mon + 1,
           local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(tv->tv_usec));
  qz7_strlcpy(out, text, kZPKObjectNameSize);
}

void printZPKObjectName() {
  timeval now{};
  gettimeofday(&now, nullptr);
  char name[kZPKObjectNameSize];
  formatZPKObjectName(name, &now);
  printf("[%s]", name);
  fflush(stdout);
}

int getHashValue(const char* name) {
  if (name == nullptr) return 0;
  uint32_t h = 0;
  for (const char* p = name; *p != '\0'; ++p)
    h = h * 137u + static_cast<uint32_t>(static_cast<signed char>(*p));
  const auto value = static_cast<int32_t>(h);
  return value == INT_MIN ? value : (value < 0 ? -value : value);
}

// ---- For tests ----

void SetSMCSNamesForTest(const char* shm_name, key_t sem_key) {
  snprintf(g_object_name, sizeof g_object_name, "%s", shm_name == nullptr ? kSMCSObjectName : shm_name);
  SetSMCSSemKeyForTest(sem_key);
}

const char* SMCSObjectName() { return g_object_name; }
