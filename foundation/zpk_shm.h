// zpk_shm: the shared-memory database image. One process copies a saved database file (.Q7D) byte
// for byte into a System V segment; any process on the machine then attaches the segment and reads
// the database from it in place, without the file.
//
// Segment (key kKey, one per machine, shared by every process that uses the engine):
//   offset 0   8 bytes       total segment size (file size + 8), unsigned, the machine's byte order
//   offset 8   file size     the .Q7D file, unchanged
// The image handed to the table collection is the address of offset 8; its length is
// ImageSize(). Create writes the size word last, so a segment whose copy has not finished (size
// word still 0) is refused by Open instead of being read half-filled.
//
// Permissions (foundation/SharedObjectPolicy.h): the segment is created with kCreateMode (0640):
// its creator reads and writes it, the members of the creating process's group may only read it,
// other users have no access. Open attaches read-write where the process may write, and read-only
// otherwise; readers only ever read the image. A segment that someone outside its circle may write,
// or that such a user made or owns, is refused by every lookup (OpenMapping): a process reading
// the image in place would otherwise read bytes another user rewrites under it.
//
// State: the class has no data of its own; the process-wide state is this process's attachment
// (address, segment id, opened size) and the size of the segment it created. Create leaves the
// segment in the system after the process ends, until some process Releases it.
//
// Lifetime of what points into the image: tables read in place from the image refer to its bytes,
// so they must be deleted before this process detaches (Unopen, Open, Release detach). This layer
// cannot see tables; the operation layer (api/ops/ops_shm.h) refuses to detach while they exist.
//
// Errors: every function returns 0 or a negative code; none throws. Segment failures give
// Q7_ERROR_SHARED_MEMORY_MAPPING (0xE0000111), with the ring entries named at each function.
// Thread safety: none; every call runs under the API lock.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "foundation/SharedObjectPolicy.h"

class zpk_shm {
 public:
  static constexpr key_t kKey = 123456;
  static constexpr int kCreateMode = kSharedImageMode;
  static constexpr size_t kSizeWord = 8;  // the total-size word before the image
  static constexpr size_t kPathSize = 512;

  // ---- The database image ----

  // Copies dir/file (".Q7D" appended unless the name ends so) into a new segment: VerifyFile, the
  // file's size (0: Q7_ERROR_ILLEGAL_FILE_NAME), create exclusively (an existing segment:
  // Q7_ERROR_SHARED_MEMORY_MAPPING, no ring entry), attach ("AttachView" entry on failure), copy
  // the file, store the size word, detach. A failed copy removes the segment again. Neither text
  // is written to; null texts are refused with Q7_ERROR_ILLEGAL_FILE_NAME. Returns 0.
  static int Create(const char* dir, const char* file);

  // Attaches the segment: drops this process's attachment first, reads the size word, attaches
  // the whole segment and points *image at offset 8. A missing segment, one the sharing policy
  // refuses, or a size word outside 8 .. the segment's size: ("OpenMapping", Q7_ERROR_SHARED_MEMORY_MAPPING,
  // "Failed to open file mapping ( OpenFileMapping module )"); a failed attach: ("AttachView", ...,
  // "Failed to attach view ( result AttachView )"). Returns 0; on failure *image is null.
  static int Open(char** image);
  // Detaches this process's attachment, if any; opened size 0. Returns 0.
  static int Unopen();
  // Removes the segment (IPC_RMID) after finding it as Open does ("OpenMapping" / "AttachView"
  // entries; a segment the sharing policy refuses is left alone), and detaches this process's
  // attachment; created size 0. Processes still attached
  // keep their view; the system frees the memory after the last one detaches. A process other than
  // the segment's owner cannot remove it (Q7_ERROR_SHARED_MEMORY_MAPPING). Returns 0.
  static int Release();

  // This process's attachment: offset 8 of the segment and the image's length (the segment's size
  // word - 8), or null and 0 when not attached.
  static char* Image();
  static int64_t ImageSize();
  // The size word read when this process opened the segment, 0 when not open.
  static int64_t OpenedSize();
  // The size of the segment this process created, 0 before Create and after Release.
  static int64_t CreatedSize();
  // OpenedSize() when not 0, else CreatedSize().
  static int64_t GetSize();

  // ---- Lower operations ----

  // Accepts dir/name only when it is a database file of this machine's kind: it has the system
  // header (not the old format), is 64-bit (ELF class 2) and has this system's address alignment
  // and byte order. name (kPathSize bytes) receives the name with ".Q7D" added as addQ7DExtention
  // does. The working directory is not changed. Codes: a directory that cannot be entered
  // Q7_ERROR_INVALID_DIRECTORY; a file that cannot be opened, or shorter than its header,
  // Q7_ERROR_ILLEGAL_FILE_NAME; another kind of file Q7_ERROR_FILE_VERIFY. Returns 0.
  static int VerifyFile(const char* dir, char* name);
  // Reads the size bytes of dir/name into buffer; fewer bytes, or a directory or file that cannot
  // be opened: Q7_ERROR_SHARED_MEMORY_MAPPING. Returns 0.
  static int LoadFile2Mem(char* buffer, int64_t size, const char* dir, const char* name);
  // name with ".Q7D" appended into out (kPathSize bytes), unless it is at least 5 characters long
  // and ends in ".Q7D" already. A result that does not fit: Q7_ERROR_ILLEGAL_FILE_NAME. Returns 0.
  static int addQ7DExtention(char* out, const char* name);

  // Creates the segment exclusively with kCreateMode; no ring entry.
  static int CreateMappingOnPagingFile(key_t key, int64_t size, int* id);
  // Finds an existing segment of at least size bytes, asking for the permission bits in flags;
  // failure, and a segment the sharing policy refuses (IsSegmentTrusted), record the "OpenMapping"
  // entry.
  static int OpenMapping(key_t key, int64_t size, int* id, int flags);
  // Whether the segment may be used under the sharing policy (false when it cannot be examined).
  static bool IsSegmentTrusted(int id);
  // Attaches the segment (flags as shmat's, e.g. SHM_RDONLY); failure records the "AttachView"
  // entry and leaves *address null.
  static int AttachView(int id, char** address, int flags);
  static int DetachView(char* address);
  // Removes the segment from the system.
  static int DestroyMapping(int id);
  // Nothing to close for a System V segment; returns 0.
  static int CloseMapping(int id);

  // ---- For tests ----
  // The key the functions above use: kKey unless a test gave another one, so that test processes
  // running at the same time each have a segment of their own.
  static key_t Key();
  static void SetKey(key_t key);
};
