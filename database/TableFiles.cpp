#include "database/TableFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/CQ7Exception.h"

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

// Creates a new, empty file beside the target, with the mode the target has (or the one a new
// file would get), and returns its name.
std::string CreateTemp(const std::string& target) {
  struct stat old_st;
  const bool had_target = stat(target.c_str(), &old_st) == 0 && S_ISREG(old_st.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[48];
    snprintf(suffix, sizeof suffix, ".%d.%u.tmp", static_cast<int>(getpid()), g_temp_counter.fetch_add(1));
    std::string temp = target + suffix;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    if (had_target) (void)fchmod(fd, old_st.st_mode & 07777);
    close(fd);
    return temp;
  }
  return std::string();
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target) : target_(target), temp_(CreateTemp(target)) {
  // An empty temporary name fails in zpk_open like any file that cannot be created.
  zpk_open(stream_, temp_.empty() ? "" : temp_.c_str(), kZpkWrite | kZpkBinary, 0);
}

ReplacingFile::~ReplacingFile() {
  if (committed_) return;
  stream_.close();
  if (!temp_.empty()) unlink(temp_.c_str());
}

void ReplacingFile::Commit() {
  // fclose reports the write errors that buffering delayed; only a complete file may replace the
  // old one.
  const bool closed = stream_.close() == 0;
  if (!closed || rename(temp_.c_str(), target_.c_str()) != 0) {
    unlink(temp_.c_str());
    committed_ = true;
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  }
  committed_ = true;
}

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

void CheckBytesLeft(zpk_fstream& fs, int64_t bytes, const char* what) {
  const int64_t left = fs.remaining();
  if (left >= 0 && bytes > left) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA, "Damaged table record: %s beyond the end of the file",
                       what);
  }
}

}  // namespace table_files
