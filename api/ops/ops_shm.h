// The shared-memory database image as the host drives it: a database file copied into the one
// System V segment of the machine (foundation/zpk_shm.h), loaded from there in place by any process,
// unloaded, detached and removed.
//
// Each operation returns 0 or a negative code and throws nothing: a CQ7Exception gives its code,
// any other failure Q7_ERROR_SHARED_MEMORY_MAPPING. Ring entries are those of zpk_shm's steps, plus
// the ones named below.
//
// Tables loaded from the image lie in the segment (their arrays are the segment's bytes), so this
// process's attachment is never dropped under them: UnMap, Release and a second Load refuse with
// Q7_ERROR_SHM_BUSY (recorded under "Q7UnMapSharedMemory", "Q7ReleaseSharedMemoryArea" or
// "LoadMem2DB", "Tables of the shared memory image are loaded") while any such table exists; UnLoad
// deletes them first. Tables attached from the shared-table registry lie in mappings of their own
// and do not count.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include <cstdint>

// Copies directory/file (".Q7D" added unless given) into a new segment (zpk_shm::Create). The
// texts are only read. Returns 0.
int innerQ7CreateSharedMemoryDB(const char* directory, const char* file);
// Attaches the segment and loads its database: appended to the database when that holds tables
// (their IDs and names renumbered as the collection's AppendSharedMemoryDB does), else as the
// database itself, whose joins then resolve their tables. A failure to attach records
// ("LoadMem2DB", code, "Failed to open Shared memory "). Returns 0. Success clears the tables flag:
// tables were added, or the database replaced by one that lies in no file of its own.
int innerQ7LoadDBFromSharedMemory();
// Detaches this process's attachment (when no loaded table lies in it). Returns 0.
int innerQ7UnMapSharedMemory();
// Deletes every table that lies in the shared image or is attached from the shared-table registry,
// from the last position to the first, then detaches. A deletion that is refused (another table
// depends on it) keeps its code and the walk goes on; the last such code is returned and the
// segment stays attached. Returns 0. Each deletion clears the tables flag.
int innerQ7UnLoadSharedMemoryDB();
// Removes the segment from the system and detaches this process (when no loaded table lies in the
// image). Returns 0.
int innerQ7ReleaseSharedMemoryArea();
// The size of the segment (image + 8) as this process opened it, else as it created it; 0 when
// neither.
int64_t innerQ7GetSharedMemorySize();
