// zpk_shm: the System V segment that holds a copy of a saved database file.
#include "foundation/zpk_shm.h"

#include <fcntl.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/Descriptor.h"
#include "foundation/ErrorRing.h"
#include "foundation/SharedObjectPolicy.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_fstream.h"

namespace {

constexpr char kOpenMappingText[] = "Failed to open file mapping ( OpenFileMapping module )";
constexpr char kAttachViewText[] = "Failed to attach view ( result AttachView )";
constexpr char kExtension[] = ".Q7D";
constexpr size_t kExtensionLength = sizeof kExtension - 1;
// Permission bits asked for when finding the segment: read to attach it, read and write to remove
// it. Only the owner's write bit is set on the segment, so nothing here asks for execute.
constexpr int kReadBits = 0404;
constexpr int kRemoveBits = 0600;

key_t g_key = zpk_shm::kKey;
char* g_address = nullptr;  // this process's attachment (offset 0 of the segment)
int64_t g_opened_size = 0;
int64_t g_created_size = 0;

// The size word is stored last by Create and read first by Open: the release / acquire pair makes
// a reader that sees the word also see the copied file.
void StoreSizeWord(char* segment, uint64_t size) {
  __atomic_store_n(reinterpret_cast<uint64_t*>(segment), size, __ATOMIC_RELEASE);
}
uint64_t LoadSizeWord(const char* segment) {
  return __atomic_load_n(reinterpret_cast<const uint64_t*>(segment), __ATOMIC_ACQUIRE);
}

// The segment's real size, 0 when it cannot be asked.
uint64_t SegmentBytes(int id) {
  struct shmid_ds ds;
  return shmctl(id, IPC_STAT, &ds) == 0 ? static_cast<uint64_t>(ds.shm_segsz) : 0;
}

// Reads the size word of the segment with the current key; records as OpenMapping / AttachView.
int ReadSizeWord(uint64_t* word, uint64_t* segment_bytes) {
  int id = -1;
  int rc = zpk_shm::OpenMapping(g_key, static_cast<int64_t>(zpk_shm::kSizeWord), &id, kReadBits);
  if (rc != 0) return rc;
  char* head = nullptr;
  rc = zpk_shm::AttachView(id, &head, SHM_RDONLY);
  if (rc != 0) return rc;
  *word = LoadSizeWord(head);
  *segment_bytes = SegmentBytes(id);
  zpk_shm::DetachView(head);
  return 0;
}

// A directory handle to resolve names against, so that the working directory (process-wide, and
// used by worker threads meanwhile) is never changed. -1 when it cannot be entered.
int OpenDirectory(const char* dir) {
  if (dir == nullptr) return -1;
  const int fd = ::open(dir, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  // "." needs search permission, as entering the directory would.
  if (fstatat(fd, ".", &st, 0) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Reads up to n bytes; the count read, or -1 on a read error.
int64_t ReadFully(int fd, char* dst, int64_t n) {
  int64_t done = 0;
  while (done < n) {
    const ssize_t got = ::read(fd, dst + done, static_cast<size_t>(n - done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace

int zpk_shm::addQ7DExtention(char* out, const char* name) {
  const size_t length = strlen(name);
  const bool has_extension = length >= kExtensionLength + 1 &&
                             memcmp(name + length - kExtensionLength, kExtension, kExtensionLength) == 0;
  const size_t total = length + (has_extension ? 0 : kExtensionLength);
  if (total >= kPathSize) return Q7_ERROR_ILLEGAL_FILE_NAME;
  memmove(out, name, length);
  if (!has_extension) memcpy(out + length, kExtension, kExtensionLength);
  out[total] = '\0';
  return 0;
}

int zpk_shm::VerifyFile(const char* dir, char* name) {
  if (name == nullptr) return Q7_ERROR_ILLEGAL_FILE_NAME;
  const int rc = addQ7DExtention(name, name);
  if (rc != 0) return rc;
  const Descriptor directory(OpenDirectory(dir));
  if (directory.get() < 0) return Q7_ERROR_INVALID_DIRECTORY;
  const Descriptor file(openat(directory.get(), name, O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  unsigned char header[kSysHeaderSize];
  const int64_t got = ReadFully(file.get(), reinterpret_cast<char*>(header), kSysHeaderSize);
  if (got <= 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  if (header[0] != kSysHeaderMarker) return Q7_ERROR_FILE_VERIFY;  // the old format has no header
  if (got < static_cast<int64_t>(kSysHeaderSize)) return Q7_ERROR_ILLEGAL_FILE_NAME;
  if (getStreamELF(header) != getSystemELF() || getStreamAddrAlignment(header) != getSystemAddrAlignment() ||
      getStreamEndian(header) != getSystemEndian()) {
    return Q7_ERROR_FILE_VERIFY;
  }
  return 0;
}

int zpk_shm::LoadFile2Mem(char* buffer, int64_t size, const char* dir, const char* name) {
  if (name == nullptr || size < 0) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  const Descriptor directory(OpenDirectory(dir));
  if (directory.get() < 0) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  const Descriptor file(openat(directory.get(), name, O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  if (ReadFully(file.get(), buffer, size) != size) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  // A file that grew since it was sized would leave a cut-off database in the segment.
  char more;
  if (ReadFully(file.get(), &more, 1) != 0) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  return 0;
}

int zpk_shm::CreateMappingOnPagingFile(key_t key, int64_t size, int* id) {
  if (size <= 0) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  const int got = shmget(key, static_cast<size_t>(size), IPC_CREAT | IPC_EXCL | kCreateMode);
  if (got < 0) return Q7_ERROR_SHARED_MEMORY_MAPPING;
  *id = got;
  return 0;
}

int zpk_shm::OpenMapping(key_t key, int64_t size, int* id, int flags) {
  const int got = size < 0 ? -1 : shmget(key, static_cast<size_t>(size), flags & 0777);
  if (got < 0 || !IsSegmentTrusted(got)) {
    PutErrorLog("OpenMapping", Q7_ERROR_SHARED_MEMORY_MAPPING, kOpenMappingText);
    return Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
  *id = got;
  return 0;
}

bool zpk_shm::IsSegmentTrusted(int id) {
  struct shmid_ds ds;
  if (shmctl(id, IPC_STAT, &ds) != 0) return false;
  return IsSharedObjectTrusted({ds.shm_perm.uid, ds.shm_perm.gid, ds.shm_perm.cuid, ds.shm_perm.cgid,
                                static_cast<mode_t>(ds.shm_perm.mode & 0777)});
}

int zpk_shm::AttachView(int id, char** address, int flags) {
  void* at = shmat(id, nullptr, flags);
  if (at == reinterpret_cast<void*>(-1)) {
    *address = nullptr;
    PutErrorLog("AttachView", Q7_ERROR_SHARED_MEMORY_MAPPING, kAttachViewText);
    return Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
  *address = static_cast<char*>(at);
  return 0;
}

int zpk_shm::DetachView(char* address) {
  if (address == nullptr) return 0;
  return shmdt(address) == 0 ? 0 : Q7_ERROR_SHARED_MEMORY_MAPPING;
}

int zpk_shm::DestroyMapping(int id) {
  return shmctl(id, IPC_RMID, nullptr) == 0 ? 0 : Q7_ERROR_SHARED_MEMORY_MAPPING;
}

int zpk_shm::CloseMapping(int) { return 0; }

int zpk_shm::Create(const char* dir, const char* file) {
  if (file == nullptr) return Q7_ERROR_ILLEGAL_FILE_NAME;
  // The caller's text stays as it is: the extension goes into a copy of our own.
  char name[kPathSize];
  if (strlen(file) >= kPathSize) return Q7_ERROR_ILLEGAL_FILE_NAME;
  strcpy(name, file);
  int rc = VerifyFile(dir, name);
  if (rc < 0) return rc;
  int64_t file_size = 0;
  try {
    file_size = getFileSize(dir, name);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  if (file_size <= 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  const int64_t total = file_size + static_cast<int64_t>(kSizeWord);

  int id = -1;
  rc = CreateMappingOnPagingFile(g_key, total, &id);
  if (rc != 0) return rc;
  char* segment = nullptr;
  rc = AttachView(id, &segment, 0);
  if (rc == 0 && LoadFile2Mem(segment + kSizeWord, file_size, dir, name) != 0) {
    DetachView(segment);
    rc = Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
  if (rc != 0) {
    // A segment that never got its image would only block the next Create.
    DestroyMapping(id);
    return rc;
  }
  StoreSizeWord(segment, static_cast<uint64_t>(total));
  DetachView(segment);
  CloseMapping(id);
  g_created_size = total;
  return 0;
}

int zpk_shm::Open(char** image) {
  if (image != nullptr) *image = nullptr;
  Unopen();
  uint64_t word = 0, segment_bytes = 0;
  int rc = ReadSizeWord(&word, &segment_bytes);
  if (rc != 0) return rc;
  // A size word below its own size is a segment whose copy never finished (or no image at all);
  // one above the segment would let readers run past its end.
  if (word < kSizeWord || word > segment_bytes) {
    PutErrorLog("OpenMapping", Q7_ERROR_SHARED_MEMORY_MAPPING, kOpenMappingText);
    return Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
  int id = -1;
  rc = OpenMapping(g_key, static_cast<int64_t>(word), &id, kReadBits);
  if (rc != 0) return rc;
  // Read-write for the owner; the rest of its circle may only read the segment, and only reads it.
  void* at = shmat(id, nullptr, 0);
  if (at == reinterpret_cast<void*>(-1) && errno == EACCES) at = shmat(id, nullptr, SHM_RDONLY);
  if (at == reinterpret_cast<void*>(-1)) {
    PutErrorLog("AttachView", Q7_ERROR_SHARED_MEMORY_MAPPING, kAttachViewText);
    return Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
  char* segment = static_cast<char*>(at);
  // The segment may have been replaced between the two lookups: take the word of the one attached.
  const uint64_t attached_word = LoadSizeWord(segment);
  if (attached_word < kSizeWord || attached_word > SegmentBytes(id)) {
    DetachView(segment);
    PutErrorLog("OpenMapping", Q7_ERROR_SHARED_MEMORY_MAPPING, kOpenMappingText);
    return Q7_ERROR_SHARED_MEMORY_MAPPING;
  }
  g_address = segment;
  g_opened_size = static_cast<int64_t>(attached_word);
  if (image != nullptr) *image = segment + kSizeWord;
  return 0;
}

int zpk_shm::Unopen() {
  DetachView(g_address);
  g_address = nullptr;
  g_opened_size = 0;
  return 0;
}

int zpk_shm::Release() {
  uint64_t word = 0, segment_bytes = 0;
  int rc = ReadSizeWord(&word, &segment_bytes);
  if (rc != 0) return rc;
  // A segment whose copy never finished can still be removed.
  if (word < kSizeWord || word > segment_bytes) word = kSizeWord;
  int id = -1;
  rc = OpenMapping(g_key, static_cast<int64_t>(word), &id, kRemoveBits);
  if (rc != 0) return rc;
  // Removed first: a process that may not remove it keeps its own attachment.
  rc = DestroyMapping(id);
  if (rc != 0) return rc;
  Unopen();
  g_created_size = 0;
  return 0;
}

char* zpk_shm::Image() { return g_address != nullptr ? g_address + kSizeWord : nullptr; }

int64_t zpk_shm::ImageSize() {
  return g_address != nullptr ? g_opened_size - static_cast<int64_t>(kSizeWord) : 0;
}

int64_t zpk_shm::OpenedSize() { return g_opened_size; }

int64_t zpk_shm::CreatedSize() { return g_created_size; }

int64_t zpk_shm::GetSize() { return g_opened_size != 0 ? g_opened_size : g_created_size; }

key_t zpk_shm::Key() { return g_key; }

void zpk_shm::SetKey(key_t key) { g_key = key; }
