// The shared-table registry: a machine-wide table of saved real tables (.Q7T files) that any
// process may attach by mapping the file read-only, instead of reading it into its own memory.
//
// The registry is the control structure SMCS in the POSIX shared-memory object kSMCSObjectName:
// a header, then n entries of 832 bytes, found by table name through a hash table of 4096 chains.
// The layout is fixed, shared by all processes, in the machine's byte order (see the structs).
//
// Stamps: every stamp issued (the structure's creation stamp and each entry stamp) is a
// gettimeofday value that differs from the last one issued, so a stamp identifies one generation
// of the structure or of an entry. Local records keep the stamps they were taken with and so notice
// that what they point to was removed and reused.
//
// Locking (sharing/SMCSLock.h): every change to the structure is made with the SMCS lock held;
// entry stamps and owners change under entry access. Reads of status assume the SMCS lock is held.
//
// Sharing (foundation/SharedObjectPolicy.h): the object is made 0660 and used only when the policy
// trusts it. Whatever its bytes say, every entry index is bounded by the size this process mapped
// when it opened the structure (kept in this process's record of its mappings, not in the shared
// bytes), so a damaged capacity or chain cannot lead a reader outside its mapping.
//
// Codes: functions return 0 or a negative code (a few return a status code, named below); none
// throws. Every copy into a caller's buffer is bounded by the size given here.
//
// Thread safety: the process-local records (TheLSMCS, the tables' LSHMTBLEntry handles) are used
// under the API lock.
#pragma once

#include <dirent.h>
#include <sys/time.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "database/LSHMTBLEntry.h"

constexpr char kSMCSObjectName[] = "/zpk_SMCS_V10";
constexpr int kSMCSHashSize = 4096;
constexpr size_t kSMCSHeaderSize = 16696;
constexpr size_t kSHMTBLEntrySize = 832;
constexpr size_t kSHMTBLNameSize = 256;  // table name, NUL included
constexpr size_t kSHMTBLPathSize = 516;  // file path field
constexpr size_t kSHMTBLPathMax = 512;   // longest path (and directory) accepted
constexpr size_t kSHMTBLFileNameMax = 256;

// Sizes of the callers' buffers.
constexpr size_t kQ7TFileNameSize = 260;        // normalizeQ7TFileNameAndTableName's fileName
constexpr size_t kQ7TTableNameSize = 256;       // its tableName
constexpr size_t kMatchingFileNameSize = 1024;  // findNextMatchingFile's name
constexpr size_t kZPKObjectNameSize = 32;       // formatZPKObjectName's out

// findNextMatchingFile: no further matching file.
constexpr int kNoMoreMatchingFiles = -1106;

// Registry entry, 832 bytes at offset kSMCSHeaderSize + 832 * slot.
struct SHMTBLEntry {
  int64_t stampSec;                 // entry stamp; -1 = free slot
  int64_t stampUsec;                // a 32-bit value; compared as 32-bit
  int32_t attachCount;              // process-local attachments
  char tableName[kSHMTBLNameSize];  // NUL-terminated; the last byte always 0
  char path[kSHMTBLPathSize];       // the .Q7T file; at most 512 characters, the last byte always 0
  int32_t prev;                     // previous entry of the hash chain, -1 = chain head
  int32_t next;                     // next entry of the hash chain, -1 = end
  uint64_t fileSize;
  int32_t owner;  // process holding the entry lock, -1 = none
  int32_t reserved;
  int64_t ownerStampSec;  // the entry stamp when the lock was taken; -1 = none
  int64_t ownerStampUsec;
};

// Header of the control structure; the entries follow at kSMCSHeaderSize.
struct SMCS {
  int64_t stampSec;   // creation stamp; -1 = the structure is invalid
  int64_t stampUsec;  // a 32-bit value; compared as 32-bit
  int64_t lastSec;    // last stamp issued
  int64_t lastUsec;
  uint64_t totalSize;  // bytes of the whole structure
  int32_t capacity;
  int32_t nValid;                    // valid entries
  int32_t highWater;                 // entry slots ever used; slots at or above it never held an entry
  int32_t hashHeads[kSMCSHashSize];  // entry indexes, -1 = empty chain
  char reserved[260];
};

static_assert(sizeof(SMCS) == kSMCSHeaderSize);
static_assert(offsetof(SMCS, stampSec) == 0 && offsetof(SMCS, stampUsec) == 8);
static_assert(offsetof(SMCS, lastSec) == 16 && offsetof(SMCS, lastUsec) == 24);
static_assert(offsetof(SMCS, totalSize) == 32 && offsetof(SMCS, capacity) == 40);
static_assert(offsetof(SMCS, nValid) == 44 && offsetof(SMCS, highWater) == 48);
static_assert(offsetof(SMCS, hashHeads) == 52 && offsetof(SMCS, reserved) == 16436);
static_assert(sizeof(SHMTBLEntry) == kSHMTBLEntrySize);
static_assert(offsetof(SHMTBLEntry, stampSec) == 0 && offsetof(SHMTBLEntry, stampUsec) == 8);
static_assert(offsetof(SHMTBLEntry, attachCount) == 16 && offsetof(SHMTBLEntry, tableName) == 20);
static_assert(offsetof(SHMTBLEntry, path) == 276 && offsetof(SHMTBLEntry, prev) == 792);
static_assert(offsetof(SHMTBLEntry, next) == 796 && offsetof(SHMTBLEntry, fileSize) == 800);
static_assert(offsetof(SHMTBLEntry, owner) == 808 && offsetof(SHMTBLEntry, reserved) == 812);
static_assert(offsetof(SHMTBLEntry, ownerStampSec) == 816 && offsetof(SHMTBLEntry, ownerStampUsec) == 824);

// Slot i of the structure (no bounds check).
inline SHMTBLEntry* SMCSEntry(SMCS* smcs, int slot) {
  return reinterpret_cast<SHMTBLEntry*>(reinterpret_cast<char*>(smcs) + kSMCSHeaderSize +
                                        kSHMTBLEntrySize * static_cast<size_t>(slot));
}
// The slot of an entry of the structure.
inline int SMCSSlotOf(const SMCS* smcs, const SHMTBLEntry* entry) {
  return static_cast<int>((reinterpret_cast<const char*>(entry) - reinterpret_cast<const char*>(smcs) -
                           static_cast<ptrdiff_t>(kSMCSHeaderSize)) /
                          static_cast<ptrdiff_t>(kSHMTBLEntrySize));
}
// A stamp (seconds, microseconds) as the one 64-bit value an LSHMTBLEntry keeps.
inline uint64_t PackSMCSStamp(int64_t sec, int64_t usec) {
  return (static_cast<uint64_t>(sec) << 32) | static_cast<uint32_t>(usec);
}

// This process's record of the structure.
struct LSMCS {
  int64_t stampSec;  // creation stamp of the mapped structure, -1 = none
  int64_t stampUsec;
  SMCS* smcs;  // this process's mapping, null = not mapped
};
extern LSMCS TheLSMCS;

// ---- The control structure ----

// Creates the object exclusively with room for n entries, mode kSharedObjectMode (0660, set after
// the create so that the umask has no say), maps it, locks it in memory where
// the limits allow (best effort), and initialises it empty with a new creation stamp; local takes
// the stamp and the address. Codes: the object exists Q7_ERROR_SMCS_CREATE; EACCES
// Q7_ERROR_ACCESS_DENIED; EINVAL, ENAMETOOLONG Q7_ERROR_UNKNOWN; others (ENOENT included)
// Q7_ERROR_ILLEGAL_FILE_NAME; sizing: EINTR Q7_ERROR_SEM_INTERRUPTED, EIO Q7_ERROR_ILLEGAL_FILE_NAME,
// EINVAL (n below 0 too) Q7_ERROR_INVALID_PARAMETER, others Q7_ERROR_UNKNOWN; mapping: ENOMEM
// Q7_ERROR_OUT_OF_MEMORY, ENFILE Q7_ERROR_ILLEGAL_FILE_NAME, others Q7_ERROR_UNKNOWN. A failed create
// removes what it made.
int createSMCS(int n, LSMCS* local);
// Maps the existing object read-write; local takes its creation stamp and address. No object:
// 0 with local cleared. EACCES, or an object the sharing policy refuses (foundation/
// SharedObjectPolicy.h: writable by, made by or owned by a user outside the circle),
// Q7_ERROR_ACCESS_DENIED; ENFILE, EMFILE Q7_ERROR_ILLEGAL_FILE_NAME;
// others (an object too short for its recorded size too) Q7_ERROR_UNKNOWN; local cleared on
// every failure.
int openSMCS(LSMCS* local);
// The status of the structure this process uses, opening it when needed: Q7_ERROR_SMCS_INVALID
// (none, or stale), Q7_ERROR_SMCS_EMPTY, Q7_ERROR_SMCS_IN_USE (out = its address), or a failure
// code of openSMCS.
int getSMCSStatus(LSMCS* local, SMCS** out);
// Marks the mapped structure invalid, unmaps it and unlinks the object (a missing object is fine).
// EACCES, or an object under the name that the sharing policy refuses (left in place),
// Q7_ERROR_ACCESS_DENIED; others Q7_ERROR_UNKNOWN.
int invalidateSMCS(LSMCS* local);
// Whether the object under the name is one the sharing policy refuses (or that cannot be
// examined); false when none can be opened. Nothing is mapped.
bool IsSMCSObjectRefused();
// Unmaps this process's mapping of the structure (the size it mapped, whatever the structure now
// says) and clears local. The structure itself is left as it is.
void releaseLSMCS(LSMCS* local);
// local = (smcs's creation stamp, smcs), or (-1, 0, null) for a null smcs.
void initLSMCS(LSMCS* local, SMCS* smcs);
// Bytes of a structure of n entries: 16696 + 832 * n.
int64_t getSizeOfSMCS(int n);
// Writes the whole structure to path: 0. The file is written aside and renamed over path once
// whole (table_files::ReplacingFile: a new file 0640 less the umask, an old one keeps its mode), so
// path holds the old file or the whole dump. An object the sharing policy refuses (or EACCES):
// Q7_ERROR_ACCESS_DENIED, path untouched; -1 on any other failure, path untouched.
int dumpSMCS(const char* path);

// ---- Entries (SMCS lock held) ----

// Registers dir/fileName under tableName. Codes: a dir or path longer than 512 characters
// Q7_ERROR_INVALID_DIRECTORY; the structure full Q7_ERROR_SMCS_TOO_MANY_ENTRIES; a file name longer
// than 256 characters or a file that cannot be examined Q7_ERROR_ILLEGAL_FILE_NAME; a file that the
// sharing policy refuses (someone outside the circle may write it, or owns it)
// Q7_ERROR_ACCESS_DENIED; a table name empty or longer than 255 bytes Q7_ERROR_ILLEGAL_TABLE_NAME;
// checkQ7TFileHeader's code. Nothing is written before every check has passed. 0 with out = the
// entry.
int createSHMTBLEntry(SMCS* smcs, const char* fileName, const char* tableName, const char* dir,
                      SHMTBLEntry** out);
// The entry registered under exactly this name, or null.
SHMTBLEntry* lookupSHMTBLEntry(SMCS* smcs, const char* tableName);
// Unlinks the entry from its chain and frees its slot (stamp and owner under entry access).
// 0, or entry access's code (the entry is then freed all the same).
int removeSHMTBLEntry(SMCS* smcs, SHMTBLEntry* entry);
int countValidSHMTBLEntries(SMCS* smcs);
// The first valid entry after `after` (from slot 0 when null), below the high-water mark; or null.
SHMTBLEntry* findNextValidSHMTBLEntry(SMCS* smcs, SHMTBLEntry* after);
// smcsStatus Q7_ERROR_SMCS_INVALID: Q7_ERROR_SMCS_NOT_SET_UP. Else not registered:
// Q7_ERROR_SHMTBL_NOT_REGISTERED, out null; registered: out = the entry and
// getValidSHMTBLEntryStatus's value.
int getSHMTBLEntryStatus(const char* tableName, SMCS* smcs, int smcsStatus, SHMTBLEntry** out);
// Q7_ERROR_SHMTBL_NOT_ATTACHED for attach count 0, else Q7_ERROR_SHMTBL_ATTACHED. A count that no
// live process holds any more (AnyProcessAttached false: its attaching processes died without
// detaching) is set back to 0 first.
int getValidSHMTBLEntryStatus(SHMTBLEntry* entry);
// Whether some process still has the entry's file attached: every attachment holds a shared lock
// (flock) on the file until it is removed, and the system drops it when its process ends. A file
// that cannot be opened counts as attached. (Another program holding a shared lock on the file
// counts too.)
bool AnyProcessAttached(SHMTBLEntry* entry);

// ---- A table's handle on an entry ----

// Maps the entry's file read-only and fills local (attached, by this process: ForkDepth()); attach
// count + 1. The file stays open in this process, holding a shared lock on it (AnyProcessAttached),
// until the handle is removed.
// Codes: another program holds the file exclusively Q7_ERROR_SEM_BUSY;
// checkQ7TFileHeader's; opening: ENOENT, ENXIO, ENODEV, ENFILE, EMFILE, ELOOP
// Q7_ERROR_ILLEGAL_FILE_NAME, ENOMEM, ENOSPC Q7_ERROR_OUT_OF_MEMORY, EACCES Q7_ERROR_ACCESS_DENIED,
// EISDIR Q7_ERROR_MAKE_DIRECTORY_FAILED, others Q7_ERROR_UNKNOWN; mapping: ENOMEM
// Q7_ERROR_OUT_OF_MEMORY, EINVAL Q7_ERROR_SHMTBL_INVALID, others Q7_ERROR_UNKNOWN; a file now
// shorter than when it was registered Q7_ERROR_SHMTBL_INVALID; a file the sharing policy now
// refuses Q7_ERROR_ACCESS_DENIED.
int createLSHMTBLEntry(SMCS* smcs, SHMTBLEntry* entry, LSHMTBLEntry* local);
// Touches every page of the mapping; stops early (checked every 64 pages) once this process no
// longer owns the entry lock.
void prefaultLSHMTBLEntry(LSHMTBLEntry* local);
// Detaches local (SMCS lock held): when this process made the attachment (not inherited by fork,
// IsInheritedLSHMTBLEntry) and it still refers to the live generation of the structure and of its
// entry (both mapped by this process, stamps equal), waits out any lock of the entry and lowers its
// attach count; in every case unmaps the file view, closes this process's descriptor of the file
// and marks local unattached.
void removeLSHMTBLEntry(LSHMTBLEntry* local);
// Unmaps the handle's view and closes its file, without touching the registry (for a handle whose
// registry cannot be locked: its attach count stays raised until AnyProcessAttached clears it).
void unmapLSHMTBLEntry(LSHMTBLEntry* local);
// Lends removeLSHMTBLEntry and the SMCS lock to the table destructor (SetSharedTableRegistryHooks).
void RegisterSharedTableRegistryHooks();

// ---- Files ----

// The file name (kQ7TFileNameSize bytes) and, when tableName is not null, the table name
// (kQ7TTableNameSize bytes) of a table: ".Q7T" is appended unless name ends in it; the table name is
// the file name without its last 4 characters, made file-safe (ToFileName). A name of more than 251
// characters without ".Q7T", or of more than 255 with it: Q7_ERROR_ILLEGAL_TABLE_NAME.
int normalizeQ7TFileNameAndTableName(const char* name, char* fileName, char* tableName);
// 0 when path starts with a system header of this machine's word size, alignment and byte order;
// another header, or none: Q7_ERROR_NOT_REAL_TYPE; a file that cannot be read or a short header
// Q7_ERROR_ILLEGAL_FILE_NAME.
int checkQ7TFileHeader(const char* path);

// A walk over one directory's regular files.
struct Q7TFileIterator {
  DIR* dir;
  char path[kSHMTBLPathMax];
};
// Codes: ENOENT (or a path of 512 characters or more) Q7_ERROR_INVALID_DIRECTORY, ENOMEM
// Q7_ERROR_OUT_OF_MEMORY, EACCES Q7_ERROR_ACCESS_DENIED, ENOTDIR, ENFILE, EMFILE and others
// Q7_ERROR_ILLEGAL_FILE_NAME; iter->dir is null after a failure.
int openFileIterator(const char* dir, Q7TFileIterator* iter);
// The next regular file (in directory order) whose name matches pattern as a multibyte WildCard,
// into name (kMatchingFileNameSize bytes): 0. End of the directory: kNoMoreMatchingFiles. An entry
// that cannot be examined ends the walk: ENOENT Q7_ERROR_INVALID_DIRECTORY; EBADF, EFAULT, ENOTDIR,
// ELOOP, ENAMETOOLONG Q7_ERROR_ILLEGAL_FILE_NAME; ENOMEM Q7_ERROR_OUT_OF_MEMORY; EACCES
// Q7_ERROR_ACCESS_DENIED; others 0 (name empty). A pattern WildCard refuses:
// Q7_ERROR_INVALID_PARAMETER.
int findNextMatchingFile(Q7TFileIterator* iter, const char* pattern, char* name);
void closeFileIterator(Q7TFileIterator* iter);
bool isFileExistent(const char* path);
// Whether the file opens for reading and writing.
bool isFileWritable(const char* path);
// -1 when it cannot be examined.
int64_t getSizeOfFile(const char* path);
// Reads one byte of every 4096-byte page of [address, address + size).
void prefault(const void* address, size_t size);
// "zpk%04d%02d%02d%02d%02d%02d%06d" of the local time of tv (kZPKObjectNameSize bytes).
void formatZPKObjectName(char* out, const struct timeval* tv);
// Prints "[<the current time so formatted>]" to standard output.
void printZPKObjectName();
// h = h * 137 + c over the bytes (signed), 32-bit wrap-around; |h| (INT_MIN stays). The chain is
// this modulo kSMCSHashSize (INT_MIN gives 0).
int getHashValue(const char* name);

// ---- For tests ----
// Overrides the object name (null: kSMCSObjectName) and the semaphore key (0: kSMCSSemKey), so that
// test processes running at the same time each use names of their own. The name is kept (at most
// 63 characters). Call it while nothing is mapped or locked.
void SetSMCSNamesForTest(const char* shm_name, key_t sem_key);
// The object name in use.
const char* SMCSObjectName();
