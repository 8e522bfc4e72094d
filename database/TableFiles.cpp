// The pieces the database-file and table-file readers and writers share: names, replacing files, checks.
#include "database/TableFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "foundation/zpk_memory.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"

namespace table_files {

std::string WithExtension(const char* name, const char* ext) {
  const size_t len = strlen(name);
  const size_t ext_len = strlen(ext);
  if (len >= 5 && len >= ext_len && strcmp(name + len - ext_len, ext) == 0) return name;
  return std::string(name) + ext;
}

// ---- WorkingDirectory ----

WorkingDirectory::WorkingDirectory() : path_{} { remembered_ = getcwd(path_, sizeof path_) != nullptr; }

WorkingDirectory::~WorkingDirectory() { Restore(); }

void WorkingDirectory::Restore() {
  // A directory that vanished meanwhile cannot be re-entered; there is nobody to tell in a
  // destructor, and the call's own result already stands.
  if (remembered_ && chdir(path_) != 0) path_[0] = '\0';
  remembered_ = false;
}

bool WorkingDirectory::Enter(const char* dir) { return dir != nullptr && chdir(dir) == 0; }

bool WorkingDirectory::Current(char* out, size_t size) {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) == nullptr || strlen(buf) >= size) return false;
  memcpy(out, buf, strlen(buf) + 1);
  return true;
}

// ---- ReplacingFile ----

namespace {

std::atomic<unsigned> g_temp_counter{0};
std::atomic<bool> g_device_flush{true};

// The file a save replaces: the target itself, or the file at the end of its chain of links.
// Empty when there is none to replace safely: a link that dangles or loops, or an existing file that
// is not a regular one (a rename over a directory, a device or a pipe is never what a save means).
// A target that does not exist yet is new.
std::string ResolveTarget(const std::string& target) {
  struct stat st;
  if (lstat(target.c_str(), &st) != 0) return errno == ENOENT ? target : std::string();
  if (S_ISREG(st.st_mode)) return target;
  if (!S_ISLNK(st.st_mode)) return std::string();
  char real[PATH_MAX];
  if (realpath(target.c_str(), real) == nullptr) return std::string();
  if (stat(real, &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
  return real;
}

std::string DirectoryOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

// A rename is an entry of the directory, and only a flush of the directory puts it on the device.
bool FlushDirectory(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A directory that may be written and searched but not read cannot be opened for the flush. The
  // file's contents are on the device already, so a crash brings back at worst the complete old
  // file; refusing such directories would break saves that worked.
  if (fd < 0) return true;
  // File systems that keep no directory state to flush answer EINVAL.
  const bool ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

// The process ID in the name of a temporary or part file of the target ("<target>.<pid>.<n>.tmp",
// "<target>.<pid>.<n>.prf"), or 0 when the name is neither.
pid_t AsideOwner(const std::string& name, const std::string& base) {
  if (name.size() <= base.size() + 1 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
    return 0;
  const char* p = name.c_str() + base.size() + 1;
  char* end = nullptr;
  errno = 0;
  const long pid = strtol(p, &end, 10);
  if (end == p || *end != '.' || errno != 0 || pid <= 0 || pid > INT32_MAX) return 0;
  p = end + 1;
  if (!isdigit(static_cast<unsigned char>(*p))) return 0;
  (void)strtoul(p, &end, 10);
  return strcmp(end, ".tmp") == 0 || strcmp(end, ".prf") == 0 ? static_cast<pid_t>(pid) : 0;
}

// A save or export killed before its rename leaves its temporary file, as large as what it wrote,
// and an export its part files, and nothing else would ever remove them. A new writer of the same
// target removes those of its own user whose process is gone. A process that cannot be signalled
// (EPERM: another user's) is running, and so is this one: its own files belong to writers that
// still run or clean up after themselves.
void RemoveStaleTemps(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) return;
  const std::string dir = DirectoryOf(target);
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  const pid_t self = getpid();
  const uid_t user = geteuid();
  while (const dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    const pid_t owner = AsideOwner(name, base);
    if (owner == 0 || owner == self) continue;
    const std::string path = dir == "/" ? "/" + name : dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user) continue;
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    (void)unlink(path.c_str());
  }
  closedir(d);
}

std::string AsideName(const std::string& target, const char* suffix) {
  char tail[48];
  snprintf(tail, sizeof tail, ".%d.%u%s", static_cast<int>(getpid()), g_temp_counter.fetch_add(1), suffix);
  return target + tail;
}

// Creates a new, empty file beside the target, with the owner and mode the target has (or the
// ones a new file would get), and returns its name. Stale temporary and part files of the target go
// first.
std::string CreateTemp(const std::string& target, mode_t new_mode) {
  if (target.empty()) return std::string();
  RemoveStaleTemps(target);
  struct stat old_st;
  const bool had_target = stat(target.c_str(), &old_st) == 0 && S_ISREG(old_st.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = AsideName(target, ".tmp");
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, new_mode);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    if (had_target) {
      // Only a privileged process may give the file away; an owner may still hand it to one of
      // its own groups. Either failure leaves the process's own, which is no reason to refuse the
      // save. The owner goes first because a change of owner may clear the set-ID bits.
      if (fchown(fd, old_st.st_uid, old_st.st_gid) != 0)
        (void)fchown(fd, static_cast<uid_t>(-1), old_st.st_gid);
      (void)fchmod(fd, old_st.st_mode & 07777);
    }
    close(fd);
    return temp;
  }
  return std::string();
}

// Opens the stream on path for writing, or throws the refusal.
void OpenForWriting(zpk_fstream& stream, const std::string& path, const ReplaceOptions& options) {
  const int mode = options.raw ? kZpkWrite : kZpkWrite | kZpkBinary;
  if (options.quiet) {
    if (path.empty() || stream.open(path.c_str(), mode, options.raw ? 1 : 0) != 0)
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    return;
  }
  // An empty name fails in zpk_open like any file that cannot be created.
  zpk_open(stream, path.c_str(), mode, options.raw ? 1 : 0);
}

}  // namespace

bool ReplacingFile::Replaceable(const std::string& target) { return !ResolveTarget(target).empty(); }

ReplacingFile::ReplacingFile(const std::string& target) : ReplacingFile(target, ReplaceOptions{}) {}

ReplacingFile::ReplacingFile(const std::string& target, const ReplaceOptions& options)
    : target_(ResolveTarget(target)), device_flush_(options.device_flush) {
  if (target_.empty() && options.in_place_otherwise) {
    target_ = target;
    in_place_ = true;
    // A link that ends nowhere makes its end, as an ordinary open does, with the mode a new file
    // of this kind has.
    struct stat st;
    if (stat(target_.c_str(), &st) != 0 && errno == ENOENT) {
      const int fd = open(target_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, options.new_mode);
      if (fd >= 0) close(fd);
    }
  } else {
    temp_ = CreateTemp(target_, options.new_mode);
  }
  // The file passes through the page cache, which needs the memory the kept blocks hold (a save
  // beside a full store of them took a third longer); a save takes no large blocks of its own.
  zpk_release_kept();
  try {
    OpenForWriting(stream_, Path(), options);
  } catch (...) {
    // No destructor runs for a constructor that throws.
    if (!temp_.empty()) unlink(temp_.c_str());
    throw;
  }
}

ReplacingFile::~ReplacingFile() {
  if (committed_) return;
  stream_.close();
  if (!in_place_ && !temp_.empty()) unlink(temp_.c_str());
}

void ReplacingFile::SetDeviceFlushForBenchmarks(bool on) { g_device_flush.store(on); }

void ReplacingFile::Commit() {
  committed_ = true;  // every path below removes the temporary file itself or renames it
  if (in_place_) {
    if (stream_.close() != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    return;
  }
  const bool flush = device_flush_ && g_device_flush.load();
  // fclose reports the write errors that buffering delayed, and fsync those that the page cache
  // delayed. Only a complete file may replace the old one, and a rename that reaches the device
  // before the contents do could leave an empty or partial file under the name after a crash. The
  // flush is of the file, not of the descriptor: it takes what writers wrote by the file's name too.
  const bool flushed = !flush || stream_.sync() == 0;
  const bool closed = stream_.close() == 0;
  if (!flushed || !closed || rename(temp_.c_str(), target_.c_str()) != 0) {
    unlink(temp_.c_str());
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  }
  if (flush && !FlushDirectory(DirectoryOf(target_))) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
}

std::string PartFileName(const std::string& target) { return AsideName(target, ".prf"); }

// ---- Reading and checking ----

int32_t ReadInt(zpk_fstream& fs) {
  int32_t v = 0;
  zpk_read(fs, &v, 4, 1);
  return v;
}

void WriteInt(zpk_fstream& fs, int32_t value) { zpk_write(fs, &value, 4, 1); }

void Damaged(const char* what, int64_t value) {
  throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Damaged table record: %s %lld", what,
                     static_cast<long long>(value));
}

void CheckRange(int64_t value, int64_t lo, int64_t hi, const char* what) {
  if (value < lo || value > hi) Damaged(what, value);
}

void CheckRecords(const TIntArray& rows, int records, const char* what) {
  const int* p = static_cast<const int*>(rows.FData);
  // Record numbers 1..records become 0..records-1 (0 and negatives wrap to the top).
  const unsigned top = MppMaxUint32Minus(p, static_cast<size_t>(std::max(rows.FArraySize, 0)), 1u);
  if (rows.FArraySize > 0 && top >= static_cast<unsigned>(records)) Damaged(what, static_cast<int>(top + 1u));
}

void CheckValueNumbers(const TFilter& f, int records) {
  if (f.PV == nullptr || f.VL == nullptr) Damaged("filter without arrays", f.FFilterID);
  CheckRange(f.PV->FArraySize, int64_t{records} + 1, int64_t{records} + 1, "value-number count");
  CheckRange(f.VL->FArraySize, 1, INT32_MAX, "value-list count");
  const unsigned top = MppMaxUint32Minus(f.PV->FData, static_cast<size_t>(f.PV->FArraySize), 0u);
  if (top >= static_cast<unsigned>(f.VL->FArraySize)) Damaged("value number", static_cast<int>(top));
}

void CheckBytesLeft(zpk_fstream& fs, int64_t bytes, const char* what) {
  const int64_t left = fs.remaining();
  if (left >= 0 && bytes > left) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Damaged table record: %s beyond the end of the file",
                       what);
  }
}

}  // namespace table_files
