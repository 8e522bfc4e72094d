// What the database-file and table-file readers and writers share: the file-name rules, the
// working-directory guard, the replacing writer and the checks of counts read from a file.
//
// Thread safety: the working directory belongs to the process; the guards are used under the API
// lock, one call at a time.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "foundation/zpk_fstream.h"

namespace table_files {

inline constexpr char kDatabaseExt[] = ".Q7D";
inline constexpr char kTableExt[] = ".Q7T";
// Kind tags of the table records.
inline constexpr int32_t kKindReal = 0;
inline constexpr int32_t kKindJoin = 2;

// name + ext, unless name is at least 5 bytes long and already ends in ext.
std::string WithExtension(const char* name, const char* ext);

// Remembers the current directory (a PATH_MAX buffer) and returns to it when destroyed, whatever
// happened in between. Nothing is remembered (and nothing restored) when it cannot be read.
class WorkingDirectory {
 public:
  WorkingDirectory();
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  bool Remembered() const { return remembered_; }
  const char* Path() const { return path_; }
  // chdir(dir): true on success.
  static bool Enter(const char* dir);
  // Returns to the remembered directory now (the destructor then does nothing more).
  void Restore();
  // The absolute current directory into out (size bytes); false when it cannot be read or does
  // not fit.
  static bool Current(char* out, size_t size);

 private:
  char path_[PATH_MAX];
  bool remembered_ = false;
};

// A file written under a temporary name in the target's directory and renamed over the target by
// Commit, so that the old file survives until the new one is complete. Destroyed without Commit,
// it removes the temporary file. The stream is open for writing (binary, not raw) after
// construction; an open failure records ("zpk_open", Q7_ERROR_ILLEGAL_FILE_NAME, "Illegal
// FileName") and throws that code.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::string& target);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  zpk_fstream& stream() { return stream_; }
  // Closes the stream and renames the file over the target; a close or rename failure throws
  // Q7_ERROR_ILLEGAL_FILE_NAME (the temporary file is removed).
  void Commit();

 private:
  std::string target_;
  std::string temp_;
  zpk_fstream stream_;
  bool committed_ = false;
};

// Reads one int32 (a short file closes the stream and throws Q7_ERROR_ILLEGAL_FILE_NAME).
int32_t ReadInt(zpk_fstream& fs);
void WriteInt(zpk_fstream& fs, int32_t value);
// Throws Q7_ERROR_ILLEGAL_ARRAY_DATA, naming what was found damaged and the value read.
[[noreturn]] void Damaged(const char* what, int64_t value);
// Damaged(what, value) unless lo <= value <= hi.
void CheckRange(int64_t value, int64_t lo, int64_t hi, const char* what);
// Throws Q7_ERROR_ILLEGAL_ARRAY_DATA when the file is known to hold fewer than `bytes` bytes after
// the position: a count read from the file must be backed by data before anything is allocated.
void CheckBytesLeft(zpk_fstream& fs, int64_t bytes, const char* what);

}  // namespace table_files
