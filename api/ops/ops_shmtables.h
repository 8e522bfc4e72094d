// The operations on the shared-table registry behind the exported RQ7Shm* calls: set the registry
// up, register saved table files (one, or all of a directory matching a pattern), attach a
// registered table into this process's database as a read-only table over the mapped file,
// release registrations, list them, shut the registry down or clear it by force, and dump it.
//
// Every operation that touches the registry takes the SMCS lock for its duration and reads the
// registry's status first; every path that took the lock gives it back. None throws and none
// records a ring entry (a table reader failure while attaching is the exception: it is recorded
// under "RQ7ShmAttach"). Codes of the registry and its locks pass through, with these translations
// on the way out where the operation says so:
//   Q7_ERROR_SMCS_INVALID  -> Q7_ERROR_SMCS_NOT_SET_UP        (TranslateSMCSInvalid)
//   Q7_ERROR_SMCS_EMPTY    -> Q7_ERROR_SHMTBL_NOT_REGISTERED  (TranslateSMCSEmpty)
//   Q7_ERROR_SEM_BUSY      -> Q7_ERROR_SHM_BUSY               (TranslateSemBusy)
//
// Thread safety: under the API lock only (the exported frames take it). Between processes the SMCS
// lock orders the calls. innerRQ7DetachAll deletes tables through the operation behind
// RQ7DeleteTable, not through the exported call, whose frame would take the API lock a second time.
#pragma once

// Capacity limits of RQ7ShmSetup.
inline constexpr int kShmMinEntries = 1;
inline constexpr int kShmMaxEntries = 20000;
// One table name slot of the list calls, zero-ended (byte 255 always 0).
inline constexpr int kShmTableNameSlot = 256;

int TranslateSMCSInvalid(int code);
int TranslateSMCSEmpty(int code);
int TranslateSemBusy(int code);

// Engine start and re-initialisation: the registry's lock state is reset and this process maps no
// structure yet.
void initRQ7ShmFunction();
// Engine stop and re-initialisation: every table attached from the registry is deleted (detaching
// it; the saved flags stay as they were), then the lock state is reset. Runs with or without the
// API lock held by the caller (it never takes it).
void termRQ7ShmFunction();

// n outside 1..20000: Q7_ERROR_INVALID_PARAMETER / Q7_ERROR_SMCS_TOO_MANY_ENTRIES. Creates the
// semaphore set when missing and, when no valid registry exists, a registry of n entries (0).
// Otherwise the status of the existing one (Q7_ERROR_SMCS_EMPTY or Q7_ERROR_SMCS_IN_USE), whatever
// its capacity.
int innerRQ7ShmSetup(int n);
// Registers dir/name (".Q7T" appended unless present) under its table name: 0; already registered
// Q7_ERROR_SHMTBL_NOT_ATTACHED or Q7_ERROR_SHMTBL_ATTACHED; no registry Q7_ERROR_SMCS_NOT_SET_UP;
// the registry's refusals (full, bad file, long path, ...).
int innerRQ7ShmLoad(const char* dir, const char* name);
// Registers every regular file of dir matching pattern (".Q7T" appended unless present); the number
// registered. The registry is looked at first, and again for every file: its failure (missing,
// refused by the sharing policy, its lock's) is returned, before the directory is opened or during
// the walk. Files that are already registered, bad or do not fit are skipped; a missing directory,
// an unexpected failure or a lost semaphore set stop the walk with their code.
int innerRQ7ShmLoadAll(const char* dir, const char* pattern);
// Attaches the registered table name (mode 0 waits for an entry another process is attaching,
// 1 gives Q7_ERROR_SHM_BUSY) as a new table of this database: its ID. A table of that name already
// in the database: Q7_ERROR_SHMTBL_LOAD_FAILED; not registered Q7_ERROR_SHMTBL_NOT_REGISTERED; no
// registry Q7_ERROR_SMCS_NOT_SET_UP. A failure leaves the entry's attach count as it was. When the
// entry was released (and its slot perhaps reused) while mode 0 waited, the name is looked up again.
int innerRQ7ShmAttach(const char* name, int mode);
// Removes the registration of a table no process has attached: 0; attached
// Q7_ERROR_SHMTBL_ATTACHED; being attached Q7_ERROR_SEM_BUSY.
int innerRQ7ShmRelease(const char* name);
// Removes every registration that no process has attached and no process is attaching; their count.
int innerRQ7ShmReleaseAll();
// Deletes every table of this database attached from the registry: their count. None: 0, or
// Q7_ERROR_SHM_NOT_SET_UP when no registry lock exists, or the failure to open the registry
// (Q7_ERROR_ACCESS_DENIED when the sharing policy refuses it). check_registry false skips that check
// (the engine stop).
int innerRQ7DetachAll(bool check_registry = true);
// The registered table names into names (kShmTableNameSlot bytes per registered table: the caller
// must provide room for the registry's capacity) and their number into *count. Without a registry
// *count is left alone. Returns 0, the lock's failure (no semaphore set: Q7_ERROR_SMCS_INVALID) or
// the registry's (Q7_ERROR_ACCESS_DENIED).
int innerRQ7GetSharedMemoryTableList(char* names, int* count);
// In: *count is the number of slots of names. Copies at most that many names (names null: none,
// only counting); out: *count the names copied (or counted). Returns what
// innerRQ7GetSharedMemoryTableList returns; *count is 0 whenever no registry is read.
int innerRQ7GetSharedMemoryTableListEx(char* names, int* count);
// Removes a registry with no entries and its semaphore set: 0. Otherwise its status
// (Q7_ERROR_SMCS_INVALID or Q7_ERROR_SMCS_IN_USE), nothing changed.
int innerRQ7ShmShutdown();
// Removes the semaphore set and the registry whatever their state (no lock taken): 0 or the
// failure of a removal. A registry the sharing policy refuses: Q7_ERROR_ACCESS_DENIED before
// anything is removed.
int innerRQ7ClearSharedMemory();
// Writes the registry's bytes to path: 0, Q7_ERROR_ACCESS_DENIED for a registry the sharing policy
// refuses (path untouched), or Q7_ERROR_ILLEGAL_FILE_NAME.
int innerRQ7ShmDumpSMCS(const char* path);
