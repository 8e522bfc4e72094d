// The file browser: a host's view of the engine machine's directories and files.
#include "sharing/FileBrowser.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "q7api.h"

namespace {

constexpr char kInvalidParameter[] = "Invalid Parameter";
constexpr char kOpenFailed[] = "Failed to open file";
constexpr char kSizeFailed[] = "Failed to get filesize";

// The catch every browser call has: file calls turn an unexpected failure into
// Q7_ERROR_ILLEGAL_FILE_NAME, directory calls into Q7_ERROR_FILE_OPERATION_FAILED.
template <class R, class Body>
R Guarded(int on_exception, Body&& body) noexcept {
  try {
    return body();
  } catch (const CQ7Exception& e) {
    return static_cast<R>(e.ErrorCode());
  } catch (...) {
    return static_cast<R>(on_exception);
  }
}

int Fail(const char* ring, int code, const char* message) {
  PutErrorLog(ring, code, message);
  return code;
}

// Runs a file-system call that returns 0 on success; the errno it failed with, 0 when it did not.
// The failure travels on as a code, so errno is left cleared rather than holding a stale value.
template <class Call>
int ErrnoOf(Call&& call) {
  errno = 0;
  const int err = call() == 0 ? 0 : errno;
  errno = 0;
  return err;
}

// A refused access apart from every other failure of a file-system call.
int AccessOrFileCode(int err) {
  return err == EACCES ? Q7_ERROR_ACCESS_DENIED : Q7_ERROR_FILE_OPERATION_FAILED;
}

// Closes the descriptor on every path.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now; false when the close reported a failure (data may not have reached the file).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }
  // Closes the descriptor held and holds fd instead.
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Gives the descriptor up to the caller.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

class DirStream {
 public:
  explicit DirStream(DIR* dir) : dir_(dir) {}
  ~DirStream() {
    if (dir_ != nullptr) closedir(dir_);
  }
  DirStream(const DirStream&) = delete;
  DirStream& operator=(const DirStream&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

// Reads up to count bytes from offset; the bytes read (fewer at the end of the file), or -1.
int64_t ReadAt(int fd, char* buf, int64_t count, int64_t offset) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        pread(fd, buf + done, static_cast<size_t>(count - done), static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Writes every byte; false on a failure or when the file takes no more.
bool WriteAll(int fd, const char* buf, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = write(fd, buf + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += n;
  }
  return true;
}

// The read behind the four file reads. The file is examined first: a failure there is recorded
// with size_message (null: not recorded), a directory with directory_message. The size is reported
// before the read, also when the offset lies past the end.
struct ReadRequest {
  const char* ring;
  const char* size_message;
  const char* directory_message;
  int64_t offset;
  bool has_offset;
  bool narrow;  // the size goes to an int: a file of 2 GiB or more is refused
};

int ReadFile(const ReadRequest& r, const char* path, int64_t* size_out, int* read_out, char* buf) {
  struct stat st;
  if (stat(path, &st) != 0) {
    return r.size_message != nullptr ? Fail(r.ring, Q7_ERROR_ILLEGAL_FILE_NAME, r.size_message)
                                     : Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (S_ISDIR(st.st_mode)) return Fail(r.ring, Q7_ERROR_ILLEGAL_FILE_NAME, r.directory_message);
  const int64_t size = st.st_size;
  if (r.narrow && size > INT_MAX) return Fail(r.ring, Q7_ERROR_OUT_OF_RANGE, "File too large");
  *size_out = size;
  // Not blocking: a FIFO without a writer would otherwise hold the call (and the API lock) forever.
  Fd fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.ok()) return Fail(r.ring, Q7_ERROR_ILLEGAL_FILE_NAME, kOpenFailed);
  int64_t offset = 0;
  if (r.has_offset) {
    // A negative offset cannot be sought to; tested first, as size - offset could overflow.
    if (r.offset < 0) return Fail(r.ring, Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to seek file");
    if (r.offset > size) {
      *read_out = 0;
      return Fail(r.ring, Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to read file");
    }
    offset = r.offset;
  }
  const int64_t want = std::min<int64_t>(size - offset, kBrowserReadLimit);
  const int64_t got = ReadAt(fd.get(), buf, want, offset);
  if (got < 0) {
    *read_out = 0;
    buf[0] = '\0';
    return Fail(r.ring, Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to read file");
  }
  buf[got] = '\0';
  *read_out = static_cast<int>(got);
  return 0;
}

// A file replaced as a whole is written aside and renamed over the old one once every byte is
// there (table_files::ReplacingFile), so that a process ended in the middle leaves the old file.
int ReplaceBytes(const char* ring, const char* path, int length, const char* buf, const char* write_message) {
  table_files::ReplaceOptions options;
  options.raw = true;
  options.quiet = true;
  std::unique_ptr<table_files::ReplacingFile> out;
  try {
    out = std::make_unique<table_files::ReplacingFile>(path, options);
  } catch (const CQ7Exception&) {
    return Fail(ring, Q7_ERROR_ILLEGAL_FILE_NAME, kOpenFailed);
  }
  try {
    if (out->stream().write(buf, static_cast<size_t>(length)) != 0)
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    out->Commit();
  } catch (const CQ7Exception&) {
    return Fail(ring, Q7_ERROR_ILLEGAL_FILE_NAME, write_message);
  }
  return 0;
}

int PutBytes(const char* ring, const char* path, int flags, int length, const char* buf,
             const char* write_message) {
  // A device or a pipe has no old contents to keep, and an append keeps them by its nature.
  if (flags == O_TRUNC && table_files::ReplacingFile::Replaceable(path))
    return ReplaceBytes(ring, path, length, buf, write_message);
  // Not blocking, as for reads: a FIFO without a reader is refused instead of waited on.
  Fd fd(open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | flags, 0666));
  if (!fd.ok()) return Fail(ring, Q7_ERROR_ILLEGAL_FILE_NAME, kOpenFailed);
  const bool written = WriteAll(fd.get(), buf, length);
  // A failed close can mean bytes that never reached the file: that is a failed write too.
  if (!fd.Close() || !written) return Fail(ring, Q7_ERROR_ILLEGAL_FILE_NAME, write_message);
  return 0;
}

// The attribute byte of a listed entry for the effective user.
unsigned char AttributeOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return kBrowserAttrDirectory;
  if (geteuid() == 0) {
    const bool any_execute = (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    return any_execute ? kBrowserAttrRead | kBrowserAttrWrite | kBrowserAttrExecute
                       : kBrowserAttrRead | kBrowserAttrWrite;
  }
  unsigned bits;  // rwx as 4, 2, 1
  if (st.st_uid == geteuid()) {
    bits = (st.st_mode >> 6) & 7;
  } else {
    bool in_group = st.st_gid == getegid();
    if (!in_group) {
      // Only the first 16 supplementary groups count. getgroups fails outright when given less
      // room than there are groups, so all of them are fetched.
      const int n = getgroups(0, nullptr);
      if (n > 0) {
        std::vector<gid_t> groups(static_cast<size_t>(n));
        const int got = getgroups(n, groups.data());
        for (int i = 0; i < got && i < 16 && !in_group; ++i)
          in_group = groups[static_cast<size_t>(i)] == st.st_gid;
      }
    }
    bits = in_group ? (st.st_mode >> 3) & 7 : st.st_mode & 7;
  }
  unsigned char attr = 0;
  if (bits & 4) attr |= kBrowserAttrRead;
  if (bits & 2) attr |= kBrowserAttrWrite;
  if (bits & 1) attr |= kBrowserAttrExecute;
  return attr;
}

int DirectoryCode(int err, int not_empty_code) {
  if ((err == ENOTEMPTY || err == EEXIST) && not_empty_code != 0) return not_empty_code;
  if (err == EIO) return Q7_ERROR_ACCESS_DENIED;
  return Q7_ERROR_FILE_OPERATION_FAILED;
}

// Whether the directory open as fd is the one a no-follow status of its name described: a name
// swapped for another directory (or a link to one) between the look and the open is refused.
bool SameDirectory(int fd, const struct stat& looked) {
  struct stat opened;
  return fstat(fd, &opened) == 0 && S_ISDIR(opened.st_mode) && opened.st_dev == looked.st_dev &&
         opened.st_ino == looked.st_ino;
}

// The names in the directory open as dir_fd, "." and ".." left out: 0, or the errno of the
// failure to list it.
int ListNames(int dir_fd, std::vector<std::string>* names) {
  const int list_fd = dup(dir_fd);
  if (list_fd < 0) return errno;
  DirStream dir(fdopendir(list_fd));
  if (dir.get() == nullptr) {
    const int err = errno;
    close(list_fd);
    return err;
  }
  errno = 0;
  while (const dirent* e = readdir(dir.get())) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names->emplace_back(e->d_name);
  }
  return 0;
}

// One directory of the walk below: its identity, its name in its parent and the names in it not
// yet looked at.
struct WalkLevel {
  dev_t dev;
  ino_t ino;
  std::string name;
  std::vector<std::string> names;
  size_t next = 0;
};

// Removes the content of the directory open as top_fd, then nothing else: the caller removes the
// directory itself. Works through descriptors, so a link is never followed (it is unlinked) and a
// directory renamed meanwhile cannot redirect the walk. 0, or the errno of the first failure that
// left something behind.
//
// A tree may be deeper than any thread's stack or descriptor limit allows for one frame and one
// descriptor per level: the walk keeps its levels on the heap and holds only the directory it is
// in open. Going back up it opens ".." and goes on only when that is the directory it came down
// from (a subtree moved away meanwhile ends the walk; nothing outside it is touched).
int RemoveContent(int top_fd) {
  std::vector<WalkLevel> levels(1);
  {
    struct stat top;
    if (fstat(top_fd, &top) != 0) return errno;
    levels[0].dev = top.st_dev;
    levels[0].ino = top.st_ino;
    const int err = ListNames(top_fd, &levels[0].names);
    if (err != 0) return err;
  }
  int first_error = 0;
  const auto note = [&first_error](int err) {
    if (err != 0 && first_error == 0) first_error = err;
  };
  Fd below(-1);  // the directory the walk is in, when below the top
  for (;;) {
    const int here = levels.size() == 1 ? top_fd : below.get();
    WalkLevel& level = levels.back();
    if (level.next < level.names.size()) {
      const std::string name = std::move(level.names[level.next++]);
      struct stat st;
      if (fstatat(here, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (!S_ISDIR(st.st_mode)) {
        if (unlinkat(here, name.c_str(), 0) != 0) note(errno);
        continue;
      }
      if (unlinkat(here, name.c_str(), AT_REMOVEDIR) == 0) continue;
      const int child = openat(here, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) {
        note(errno);
        continue;
      }
      Fd child_fd(child);
      WalkLevel down{st.st_dev, st.st_ino, name, {}, 0};
      const int err = SameDirectory(child, st) ? ListNames(child, &down.names) : ENOTDIR;
      if (err != 0) {
        note(err);
        continue;
      }
      levels.push_back(std::move(down));
      below.Reset(child_fd.Release());
      continue;
    }
    if (levels.size() == 1) break;
    const std::string done = std::move(level.name);
    levels.pop_back();
    if (levels.size() == 1) {
      below.Close();
    } else {
      Fd parent(openat(below.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      struct stat expected {};
      expected.st_dev = levels.back().dev;
      expected.st_ino = levels.back().ino;
      if (!parent.ok() || !SameDirectory(parent.get(), expected)) {
        note(parent.ok() ? ESTALE : errno);
        return first_error;
      }
      below.Reset(parent.Release());
    }
    const int parent_fd = levels.size() == 1 ? top_fd : below.get();
    if (unlinkat(parent_fd, done.c_str(), AT_REMOVEDIR) != 0) note(errno);
  }
  return first_error;
}

// Removes path and everything below it; path itself must be a directory, not a link to one. 0 or
// the errno of the removal of path (a link, or anything but a directory: ENOTDIR).
//
// Trailing slashes go before anything is decided: a name ending in "/" makes the system follow a
// final link even where it was told not to, so "lnk/" would open (and empty) the link's target. A
// last name "." or ".." is refused as rmdir refuses it: it names a directory by another way than
// its own name in its parent ("lnk/." is the link's target), and it cannot be removed by it. The
// last name is then looked at, opened, emptied and removed through its parent's descriptor, so that
// all four steps meet the same object.
int recursive_removeDir(const char* path) {
  std::string name = path;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  const size_t slash = name.rfind('/');
  const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  // An empty last name is the root ("/"), or nothing at all.
  if (last.empty() || last == "." || last == "..") return ENOTDIR;
  const std::string parent_name = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
  Fd parent(open(parent_name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent.ok()) return errno;
  struct stat looked;
  if (fstatat(parent.get(), last.c_str(), &looked, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (!S_ISDIR(looked.st_mode)) return ENOTDIR;
  Fd dir(openat(parent.get(), last.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.ok()) return errno == ELOOP ? ENOTDIR : errno;
  if (!SameDirectory(dir.get(), looked)) return ENOTDIR;
  RemoveContent(dir.get());
  dir.Close();
  return unlinkat(parent.get(), last.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

// The search text split at its last "/": directory and pattern ("." and the whole text without one;
// "/" for a pattern right below the root).
void parse_dir_searchstr(const char* search, std::string* dir, std::string* pattern) {
  const char* slash = strrchr(search, '/');
  if (slash == nullptr) {
    *dir = ".";
    *pattern = search;
    return;
  }
  *dir = slash == search ? std::string("/") : std::string(search, static_cast<size_t>(slash - search));
  *pattern = slash + 1;
}

}  // namespace

bool isSearchMatch(const char* text, const char* pattern) {
  if (strcmp(text, pattern) == 0 || strcmp(pattern, "*") == 0) return true;
  const size_t text_length = strlen(text);
  const size_t pattern_length = strlen(pattern);
  if (pattern_length > text_length || pattern_length == 0) return false;
  for (size_t i = 0; i < pattern_length; ++i) {
    const char p = pattern[i];
    if (p == '*' && i + 1 == pattern_length) return true;
    if (p == '?' || p == '*') continue;
    if (p != text[i]) return false;
  }
  return text_length == pattern_length;
}

bool findMatch(const char* file_name, const char* name_pattern, const char* ext_pattern) {
  const char* dot = strchr(file_name, '.');
  const std::string name = dot == nullptr ? std::string(file_name) : std::string(file_name, dot);
  const char* ext = dot == nullptr ? "" : dot + 1;
  return isSearchMatch(ext, ext_pattern) && isSearchMatch(name.c_str(), name_pattern);
}

int innerRQ7BrowserGetCurrentDirectory(char* buf) {
  constexpr char kRing[] = "RQ7BrowserGetCurrentDirectory";
  if (buf == nullptr) return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  return Guarded<int>(Q7_ERROR_FILE_OPERATION_FAILED, [&]() -> int {
    errno = 0;
    if (getcwd(buf, kBrowserPathSize) != nullptr) return 0;
    const int err = errno;
    errno = 0;
    buf[0] = '\0';
    const int code = err == ERANGE   ? Q7_ERROR_OUT_OF_RANGE
                     : err == EACCES ? Q7_ERROR_ACCESS_DENIED
                                     : Q7_ERROR_OUT_OF_MEMORY;
    return Fail(kRing, code, "Failed to get current directory");
  });
}

int innerRQ7BrowserSetCurrentDirectory(const char* path) {
  constexpr char kRing[] = "RQ7BrowserSetCurrentDirectory";
  if (path == nullptr) return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  return Guarded<int>(Q7_ERROR_FILE_OPERATION_FAILED, [&]() -> int {
    const int err = ErrnoOf([&] { return chdir(path); });
    if (err == 0) return 0;
    return Fail(kRing, AccessOrFileCode(err), "Failed to set current directory");
  });
}

int innerRQ7BrowserMakeDirectory(const char* path) {
  constexpr char kRing[] = "RQ7BrowserMakeDirectory";
  if (path == nullptr) return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  return Guarded<int>(Q7_ERROR_FILE_OPERATION_FAILED, [&]() -> int {
    const int err = ErrnoOf([&] { return mkdir(path, 0766); });
    if (err == 0) return 0;
    const int code = err == EEXIST ? Q7_ERROR_MAKE_DIRECTORY_FAILED : DirectoryCode(err, 0);
    return Fail(kRing, code, "Failed to make directory");
  });
}

int innerRQ7BrowserDelDirectory(const char* path, int recursive) {
  constexpr char kRing[] = "RQ7BrowserDelDirectory";
  if (path == nullptr) return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  return Guarded<int>(Q7_ERROR_FILE_OPERATION_FAILED, [&]() -> int {
    int err = ErrnoOf([&] { return rmdir(path); });
    if (err != 0 && recursive == 1) {
      err = recursive_removeDir(path);
      errno = 0;
    }
    if (err == 0) return 0;
    return Fail(kRing, DirectoryCode(err, Q7_ERROR_DIRECTORY_NOT_EMPTY), "Failed to delete directory");
  });
}

int innerRQ7BrowserMove(const char* from, const char* to) {
  constexpr char kRing[] = "RQ7BrowserMove";
  if (from == nullptr || to == nullptr) return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  return Guarded<int>(Q7_ERROR_FILE_OPERATION_FAILED, [&]() -> int {
    const int err = ErrnoOf([&] { return rename(from, to); });
    if (err == 0) return 0;
    return Fail(kRing, AccessOrFileCode(err), "Failed to move file ( or directory )");
  });
}

int innerRQ7BrowserDelFile(const char* path) {
  constexpr char kRing[] = "RQ7BrowserDelFile";
  if (path == nullptr) return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    if (unlink(path) == 0) return 0;
    const int err = errno;
    PutErrorLog(kRing, Q7_ERROR_FILE_OPERATION_FAILED, "Failed to delete file");
    return AccessOrFileCode(err);
  });
}

int64_t innerRQ7BrowserGetFileSize(const char* path) {
  constexpr char kRing[] = "RQ7BrowserGetFileSize";
  return Guarded<int64_t>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int64_t {
    struct stat st;
    if (path != nullptr && stat(path, &st) == 0) return st.st_size;
    return Fail(kRing, Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to get filesize ");
  });
}

int innerRQ7BrowserGetFile(const char* path, int* size, int* read, char* buf) {
  constexpr char kRing[] = "RQ7BrowserGetFile";
  if (path == nullptr || size == nullptr || read == nullptr || buf == nullptr) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    int64_t size64 = -1;
    const int rc = ReadFile({kRing, nullptr, kOpenFailed, 0, false, true}, path, &size64, read, buf);
    if (size64 >= 0) *size = static_cast<int>(size64);
    return rc;
  });
}

int innerRQ7BrowserGetFile64(const char* path, long long* size, int* read, char* buf) {
  constexpr char kRing[] = "RQ7BrowserGetFile64";
  if (path == nullptr || size == nullptr || read == nullptr || buf == nullptr) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    int64_t size64 = -1;
    const int rc = ReadFile({kRing, kSizeFailed, kSizeFailed, 0, false, false}, path, &size64, read, buf);
    if (size64 >= 0) *size = size64;
    return rc;
  });
}

int innerRQ7BrowserGetFileEx(const char* path, int offset, int* size, int* read, char* buf) {
  constexpr char kRing[] = "RQ7BrowserGetFileEx";
  if (path == nullptr || size == nullptr || read == nullptr || buf == nullptr) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    int64_t size64 = -1;
    const int rc = ReadFile({kRing, kSizeFailed, kSizeFailed, offset, true, true}, path, &size64, read, buf);
    if (size64 >= 0) *size = static_cast<int>(size64);
    return rc;
  });
}

int innerRQ7BrowserGetFileEx64(const char* path, long long offset, long long* size, int* read, char* buf) {
  constexpr char kRing[] = "RQ7BrowserGetFileEx64";
  if (path == nullptr || size == nullptr || read == nullptr || buf == nullptr) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    int64_t size64 = -1;
    const int rc = ReadFile({kRing, kSizeFailed, kSizeFailed, offset, true, false}, path, &size64, read, buf);
    if (size64 >= 0) *size = size64;
    return rc;
  });
}

int innerRQ7BrowserPutFile(const char* path, int length, const char* buf) {
  constexpr char kRing[] = "RQ7BrowserPutFile";
  if (length < 0) return Q7_ERROR_INVALID_PARAMETER;
  if (path == nullptr || (buf == nullptr && length > 0)) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    return PutBytes(kRing, path, O_TRUNC, length, buf, "Failed to put file");
  });
}

int innerRQ7BrowserPutFileEx(const char* path, int truncate, int length, const char* buf) {
  constexpr char kRing[] = "RQ7BrowserPutFileEx";
  if (length < 0) {
    PutErrorLog(kRing, Q7_ERROR_INVALID_PARAMETER, getString("Invalid Parameter : put_len(%d)", length));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (path == nullptr || (buf == nullptr && length > 0)) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    return PutBytes(kRing, path, truncate != 0 ? O_TRUNC : O_APPEND, length, buf, "Failed to write file");
  });
}

int innerRQ7BrowserGetFileList(const char* search, int start, int* total, int* returned, char* attrs,
                               char* names) {
  constexpr char kRing[] = "RQ7BrowserGetFileList";
  if (search == nullptr || total == nullptr || returned == nullptr || attrs == nullptr || names == nullptr) {
    return Fail(kRing, Q7_ERROR_INVALID_PARAMETER, kInvalidParameter);
  }
  memset(attrs, 0, kBrowserAttrAreaSize);
  memset(names, 0, kBrowserNameAreaSize);
  *total = 0;
  *returned = 0;
  return Guarded<int>(Q7_ERROR_ILLEGAL_FILE_NAME, [&]() -> int {
    std::string dir_path;
    std::string pattern;
    parse_dir_searchstr(search, &dir_path, &pattern);
    std::string name_pattern = pattern;
    std::string ext_pattern;
    const bool everything = pattern == "*.*";
    if (const size_t dot = pattern.find('.'); dot != std::string::npos) {
      name_pattern = pattern.substr(0, dot);
      ext_pattern = pattern.substr(dot + 1);
    }
    // Listing through a descriptor of the directory (rather than by changing into it) leaves the
    // process's current directory alone, on every path.
    const int fd = open(dir_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Q7_ERROR_INVALID_DIRECTORY;
    DirStream dir(fdopendir(fd));
    if (dir.get() == nullptr) {
      close(fd);
      return Q7_ERROR_INVALID_DIRECTORY;
    }
    int used = 0;  // bytes of the name area taken
    bool full = false;
    while (const dirent* e = readdir(dir.get())) {
      struct stat st;
      if (fstatat(dirfd(dir.get()), e->d_name, &st, 0) != 0) continue;
      const bool qualifies = everything || S_ISDIR(st.st_mode) ||
                             findMatch(e->d_name, name_pattern.c_str(), ext_pattern.c_str());
      if (!qualifies) continue;
      const int index = (*total)++;
      if (index < start || full) continue;
      const int length = static_cast<int>(strlen(e->d_name)) + 1;
      if (used + length > kBrowserNameAreaSize - 1 || *returned >= kBrowserAttrAreaSize) {
        full = true;
        continue;
      }
      memcpy(names + used, e->d_name, static_cast<size_t>(length));
      used += length;
      attrs[(*returned)++] = static_cast<char>(AttributeOf(st));
    }
    return 0;
  });
}
