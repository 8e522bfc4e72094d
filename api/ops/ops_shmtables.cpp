// The operations behind the exported RQ7Shm* calls on the shared-table registry.
#include "api/ops/ops_shmtables.h"

#include <sys/mman.h>

#include <cstring>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_tables.h"
#include "database/LSHMTBLEntry.h"
#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "q7api.h"
#include "sharing/SMCS.h"
#include "sharing/SMCSLock.h"

namespace {

// Holds the SMCS lock from a successful lockSMCS until destroyed (or Release).
class SMCSHold {
 public:
  SMCSHold() : code_(lockSMCS(kLockWait)) {}
  ~SMCSHold() { Release(); }
  SMCSHold(const SMCSHold&) = delete;
  SMCSHold& operator=(const SMCSHold&) = delete;
  // 0 when the lock is held, else lockSMCS's code.
  int code() const { return code_; }
  void Release() {
    if (code_ == 0) unlockSMCS();
    code_ = -1;
  }

 private:
  int code_;
};

bool RegistryHolds(int status) { return status == Q7_ERROR_SMCS_EMPTY || status == Q7_ERROR_SMCS_IN_USE; }

int TranslateBoth(int code) { return TranslateSMCSEmpty(TranslateSMCSInvalid(code)); }

// The file name and table name of a host's table name.
struct TableNames {
  char file[kQ7TFileNameSize];
  char table[kQ7TTableNameSize];
};

// Walks the valid entries in slot order; f returns false to stop.
template <class F>
void ForEachEntry(SMCS* smcs, F&& f) {
  for (SHMTBLEntry* e = findNextValidSHMTBLEntry(smcs, nullptr); e != nullptr;) {
    SHMTBLEntry* next = findNextValidSHMTBLEntry(smcs, e);
    if (!f(e)) return;
    e = next;
  }
}

void CopyName(char* slot, const SHMTBLEntry* e) {
  memset(slot, 0, kShmTableNameSlot);
  memcpy(slot, e->tableName, strnlen(e->tableName, kShmTableNameSlot - 1));
}

// What a listing answers when the registry cannot be read: no registry lists nothing, but one the
// sharing policy refuses (or that cannot be opened) is a failure, never an empty list.
int ListStatus(int status) { return status == Q7_ERROR_SMCS_INVALID ? 0 : status; }

// The deletion codes that end innerRQ7DetachAll: the registry's semaphores are gone or broken.
bool StopsDetach(int code) {
  return code == Q7_ERROR_SEM_REMOVED || code == Q7_ERROR_SEM_INTERRUPTED || code == Q7_ERROR_SEM_TOO_BIG ||
         code == Q7_ERROR_UNKNOWN;
}

// The results of one file's registration that end innerRQ7ShmLoadAll; any other one skips the file.
bool StopsLoadAll(int code) {
  return code == Q7_ERROR_INVALID_DIRECTORY || code == Q7_ERROR_UNKNOWN || code == Q7_ERROR_SEM_REMOVED ||
         code == Q7_ERROR_SEM_INTERRUPTED || code == Q7_ERROR_SMCS_NOT_SET_UP || code == Q7_ERROR_SEM_TOO_BIG;
}

// The registry a registration goes into, with hold's lock: 0 with smcs and status when it takes
// entries, else its failure (the lock's, the sharing policy's refusal, or no registry:
// Q7_ERROR_SMCS_NOT_SET_UP).
int RegistryForLoad(const SMCSHold& hold, SMCS** smcs, int* status) {
  if (hold.code() != 0) return TranslateSMCSInvalid(hold.code());
  *status = getSMCSStatus(&TheLSMCS, smcs);
  return RegistryHolds(*status) ? 0 : TranslateSMCSInvalid(*status);
}

// Registers dir/names.file under names.table in a registry RegistryForLoad accepted (its lock still
// held): 0, registered already, or the file's refusal.
int RegisterTable(SMCS* smcs, int status, const char* dir, const TableNames& names) {
  SHMTBLEntry* entry = nullptr;
  const int entry_status = getSHMTBLEntryStatus(names.table, smcs, status, &entry);
  if (entry_status != Q7_ERROR_SHMTBL_NOT_REGISTERED) return TranslateSMCSInvalid(entry_status);
  return TranslateSMCSInvalid(createSHMTBLEntry(smcs, names.file, names.table, dir, &entry));
}

// The stamps of a structure and one of its entries: equal generations are the same registration.
struct Generation {
  uint64_t smcs;
  uint64_t entry;
  bool operator==(const Generation&) const = default;
};
Generation GenerationOf(const SMCS* smcs, const SHMTBLEntry* entry) {
  return {PackSMCSStamp(smcs->stampSec, smcs->stampUsec), PackSMCSStamp(entry->stampSec, entry->stampUsec)};
}

// Builds the table over an attached handle: its ID or a code. On failure the handle is detached
// here unless the collection already did so (a refused name destroys the table, whose destructor
// detaches its copy of the handle).
int BuildAttachedTable(TTableCollection* db, LSHMTBLEntry* local) {
  int id;
  try {
    id = db->LoadRealTable(local);
  } catch (const CQ7Exception& e) {
    PutErrorLog("RQ7ShmAttach", e.ErrorCode(), e.Message());
    id = e.ErrorCode();
  } catch (...) {
    id = RecordedFailureCode("RQ7ShmAttach");
  }
  if (id >= 0) {
    prefaultLSHMTBLEntry(local);
    MarkTablesChanged();
    return id;
  }
  if (id != Q7_ERROR_SHMTBL_LOAD_FAILED) {
    SMCSHold hold;
    // Without the lock the handle is unmapped all the same; only the attach count stays raised,
    // until a status check finds that no process holds it.
    if (hold.code() == 0) {
      removeLSHMTBLEntry(local);
    } else {
      unmapLSHMTBLEntry(local);
    }
  }
  return id;
}

}  // namespace

int TranslateSMCSInvalid(int code) { return code == Q7_ERROR_SMCS_INVALID ? Q7_ERROR_SMCS_NOT_SET_UP : code; }
int TranslateSMCSEmpty(int code) {
  return code == Q7_ERROR_SMCS_EMPTY ? Q7_ERROR_SHMTBL_NOT_REGISTERED : code;
}
int TranslateSemBusy(int code) { return code == Q7_ERROR_SEM_BUSY ? Q7_ERROR_SHM_BUSY : code; }

void initRQ7ShmFunction() {
  constructorLockSMCS();
  // A re-initialisation finds the previous start's mapping, which no table uses any more.
  releaseLSMCS(&TheLSMCS);
}

void termRQ7ShmFunction() {
  // The engine stop empties the database, as a clear does, and like a clear it leaves the saved
  // flags as they are: the attached tables go with the rest, not as deletions of their own.
  const uint8_t tables_saved = g_TFSaved;
  innerRQ7DetachAll(false);
  g_TFSaved = tables_saved;
  destructorLockSMCS();
}

int innerRQ7ShmSetup(int n) {
  if (n < kShmMinEntries) return Q7_ERROR_INVALID_PARAMETER;
  if (n > kShmMaxEntries) return Q7_ERROR_SMCS_TOO_MANY_ENTRIES;
  const int init = initLockSMCS();
  if (init != 0 && init != kSemSetExists) return init;
  SMCSHold hold;
  if (hold.code() != 0) return hold.code();
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  if (status != Q7_ERROR_SMCS_INVALID) return status;
  return createSMCS(n, &TheLSMCS);
}

int innerRQ7ShmLoad(const char* dir, const char* name) {
  if (dir == nullptr || name == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  TableNames names;
  const int rc = normalizeQ7TFileNameAndTableName(name, names.file, names.table);
  if (rc != 0) return rc;
  SMCSHold hold;
  SMCS* smcs = nullptr;
  int status = 0;
  const int refused = RegistryForLoad(hold, &smcs, &status);
  if (refused != 0) return refused;
  return RegisterTable(smcs, status, dir, names);
}

int innerRQ7ShmLoadAll(const char* dir, const char* pattern) {
  if (dir == nullptr || pattern == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  char file_pattern[kQ7TFileNameSize];
  int rc = normalizeQ7TFileNameAndTableName(pattern, file_pattern, nullptr);
  if (rc != 0) return rc;
  {
    // As for one file, the registry answers first: a refused or missing registry is not a directory
    // without matching files.
    SMCSHold hold;
    SMCS* smcs = nullptr;
    int status = 0;
    rc = RegistryForLoad(hold, &smcs, &status);
    if (rc != 0) return rc;
  }
  Q7TFileIterator iter{};
  rc = openFileIterator(dir, &iter);
  if (rc != 0) return rc;
  struct Closer {
    Q7TFileIterator* iter;
    ~Closer() { closeFileIterator(iter); }
  } closer{&iter};
  int count = 0;
  for (;;) {
    char name[kMatchingFileNameSize] = {};
    rc = findNextMatchingFile(&iter, file_pattern, name);
    if (rc == kNoMoreMatchingFiles) return count;
    if (rc != 0) return rc;
    if (name[0] == '\0') continue;
    TableNames names;
    if (normalizeQ7TFileNameAndTableName(name, names.file, names.table) != 0) continue;
    SMCSHold hold;
    SMCS* smcs = nullptr;
    int status = 0;
    // The registry may refuse with the codes a file is refused with (Q7_ERROR_ACCESS_DENIED): its
    // answer ends the walk, whatever it is; only a file's own refusal skips the file.
    const int refused = RegistryForLoad(hold, &smcs, &status);
    if (refused != 0) return refused;
    const int loaded = RegisterTable(smcs, status, dir, names);
    if (loaded == 0) {
      ++count;
    } else if (StopsLoadAll(loaded)) {
      return loaded;
    }
  }
}

int innerRQ7ShmAttach(const char* name, int mode) {
  if (name == nullptr || mode < kLockWait || mode > kLockNoWait) return Q7_ERROR_INVALID_PARAMETER;
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  TableNames names;
  int rc = normalizeQ7TFileNameAndTableName(name, names.file, names.table);
  if (rc != 0) return rc;

  SMCSHold hold;
  if (hold.code() != 0) return TranslateSemBusy(TranslateBoth(hold.code()));
  SMCS* smcs = nullptr;
  SHMTBLEntry* entry = nullptr;
  for (;;) {
    const int status = getSMCSStatus(&TheLSMCS, &smcs);
    if (status != Q7_ERROR_SMCS_IN_USE) return TranslateBoth(status);
    const int entry_status = getSHMTBLEntryStatus(names.table, smcs, status, &entry);
    if (entry_status != Q7_ERROR_SHMTBL_NOT_ATTACHED && entry_status != Q7_ERROR_SHMTBL_ATTACHED) {
      return TranslateBoth(entry_status);
    }
    // Waiting for the entry lock lets go of the SMCS lock: meanwhile the entry may be released and
    // its slot given to another table (or the whole registry made anew). The generations from
    // before the wait tell whether the entry locked is still the one looked up.
    const Generation before = GenerationOf(smcs, entry);
    rc = lockSHMTBLEntry(entry, mode);
    if (rc != 0) return TranslateSemBusy(TranslateBoth(rc));
    if (GenerationOf(smcs, entry) == before) break;
    unlockSHMTBLEntry(entry);  // someone else's entry now: look the name up again
  }
  LSHMTBLEntry local;
  initLSHMTBLEntry(&local);
  rc = createLSHMTBLEntry(smcs, entry, &local);
  // The table is built and its pages touched under the entry lock alone, so that other processes
  // can use the registry meanwhile but cannot release this entry.
  hold.Release();
  const int result = rc == 0 ? BuildAttachedTable(db, &local) : rc;
  unlockSHMTBLEntry(entry);
  return TranslateSemBusy(TranslateBoth(result));
}

int innerRQ7ShmRelease(const char* name) {
  if (name == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  TableNames names;
  int rc = normalizeQ7TFileNameAndTableName(name, names.file, names.table);
  if (rc != 0) return rc;
  SMCSHold hold;
  if (hold.code() != 0) return TranslateBoth(hold.code());
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  if (status != Q7_ERROR_SMCS_IN_USE) return TranslateBoth(status);
  SHMTBLEntry* entry = nullptr;
  const int entry_status = getSHMTBLEntryStatus(names.table, smcs, status, &entry);
  if (entry_status != Q7_ERROR_SHMTBL_NOT_ATTACHED) return TranslateBoth(entry_status);
  rc = lockSHMTBLEntry(entry, kLockNoWait);
  if (rc != 0) return TranslateBoth(rc);
  removeSHMTBLEntry(smcs, entry);
  unlockSHMTBLEntry(entry);
  return 0;
}

int innerRQ7ShmReleaseAll() {
  SMCSHold hold;
  if (hold.code() != 0) return TranslateSMCSInvalid(hold.code());
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  if (!RegistryHolds(status)) return TranslateSMCSInvalid(status);
  int count = 0;
  ForEachEntry(smcs, [&](SHMTBLEntry* e) {
    if (getValidSHMTBLEntryStatus(e) == Q7_ERROR_SHMTBL_NOT_ATTACHED &&
        lockSHMTBLEntry(e, kLockNoWait) == 0) {
      removeSHMTBLEntry(smcs, e);
      unlockSHMTBLEntry(e);
      ++count;
    }
    return true;
  });
  return count;
}

int innerRQ7DetachAll(bool check_registry) {
  TTableCollection* db = CurrentDatabase();
  int deleted = 0;
  if (db != nullptr) {
    std::vector<int> ids(static_cast<size_t>(db->TableCount()));
    ids.resize(static_cast<size_t>(db->GetTableIDList(ids.data())));
    for (int id : ids) {
      const int pos = db->ID2Loc(id);
      if (pos < 0 || !db->TableAt(pos)->isQ7TShared()) continue;
      const int rc = innerQ7DeleteTable(id);
      if (rc == 0) {
        ++deleted;
      } else if (StopsDetach(rc)) {
        return rc;
      }
    }
  }
  if (deleted > 0 || !check_registry) return deleted;
  SMCSHold hold;
  if (hold.code() == Q7_ERROR_SMCS_INVALID) return Q7_ERROR_SHM_NOT_SET_UP;
  if (hold.code() != 0) return hold.code();
  // A registry that cannot be opened (the sharing policy's refusal) answers as it does every other
  // call; semaphores without a registry are no failure here.
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  return status == Q7_ERROR_SMCS_INVALID || RegistryHolds(status) ? 0 : status;
}

int innerRQ7GetSharedMemoryTableList(char* names, int* count) {
  if (names == nullptr || count == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  SMCSHold hold;
  if (hold.code() != 0) return hold.code();
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  if (!RegistryHolds(status)) return ListStatus(status);
  *count = 0;
  ForEachEntry(smcs, [&](SHMTBLEntry* e) {
    CopyName(names + static_cast<size_t>(*count) * kShmTableNameSlot, e);
    ++*count;
    return true;
  });
  return 0;
}

int innerRQ7GetSharedMemoryTableListEx(char* names, int* count) {
  if (count == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  const int slots = *count;
  SMCSHold hold;
  if (hold.code() != 0) {
    // As the plain list: the lock's failure, Q7_ERROR_SMCS_INVALID when there are no semaphores.
    *count = 0;  // no names
    return hold.code();
  }
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  *count = 0;
  if (!RegistryHolds(status)) return ListStatus(status);
  ForEachEntry(smcs, [&](SHMTBLEntry* e) {
    if (names == nullptr) {
      ++*count;
      return true;
    }
    if (*count >= slots) return false;
    CopyName(names + static_cast<size_t>(*count) * kShmTableNameSlot, e);
    ++*count;
    return true;
  });
  return 0;
}

int innerRQ7ShmShutdown() {
  SMCSHold hold;
  if (hold.code() != 0) return hold.code();
  SMCS* smcs = nullptr;
  const int status = getSMCSStatus(&TheLSMCS, &smcs);
  if (status != Q7_ERROR_SMCS_EMPTY) return status;
  const int rc = invalidateSMCS(&TheLSMCS);
  hold.Release();
  termLockSMCS();
  return rc;
}

int innerRQ7ClearSharedMemory() {
  // A registry another user holds is not ours to remove: its semaphores stay too, so that the
  // refusal changes nothing rather than leaving the registry without the set its circle locks.
  if (IsSMCSObjectRefused()) return Q7_ERROR_ACCESS_DENIED;
  const int opened = openLockQ7TSEM();
  if (opened == 0 || opened == kSemSetMissing) {
    const int removed = termLockSMCS();
    if (removed != 0) return removed;
  } else if (opened != Q7_ERROR_SEM_TOO_BIG) {
    return opened;
  }
  return invalidateSMCS(&TheLSMCS);
}

int innerRQ7ShmDumpSMCS(const char* path) {
  if (path == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  const int rc = dumpSMCS(path);
  if (rc == Q7_ERROR_ACCESS_DENIED) return rc;
  return rc != 0 ? Q7_ERROR_ILLEGAL_FILE_NAME : 0;
}
