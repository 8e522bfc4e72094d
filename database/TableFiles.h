// What the database-file and table-file readers and writers share: the file-name rules, the
// working-directory guard, the replacing writer and the checks of counts read from a file.
//
// Thread safety: the working directory belongs to the process; the guards are used under the API
// lock, one call at a time.
#pragma once

#include <sys/types.h>

#include <climits>
#include <cstdint>
#include <string>

#include "foundation/zpk_fstream.h"

class TFilter;
class TIntArray;

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

// How a ReplacingFile writes.
struct ReplaceOptions {
  // Text written byte for byte (exports, catalogs, dumps): no alignment padding, mode "w".
  bool raw = false;
  // A refusal throws without an error-ring entry: for callers that record their own, or whose
  // failures were never recorded.
  bool quiet = false;
  // A target that is there but is no regular file (a device, a pipe), or a link that ends nowhere,
  // is written in place, as an ordinary open writes it: there is no old file to keep, and a rename
  // over a device or a pipe is never what a host naming one means.
  bool in_place_otherwise = false;
  // The mode a new target is created with, less the umask.
  mode_t new_mode = 0666;
  // Commit flushes the file and its directory to the device. Without, the target still holds the
  // old file or the whole new one whenever the process ends, but a crash of the machine just after
  // the rename may find either under the name, or on some file systems the new one cut.
  bool device_flush = true;
};

// Text files a host names: exports and the catalogs beside them. They are not flushed to the
// device: an export can be made again, and the flush of a large one took longer than its writing
// (bench/README.md, export_bench).
inline constexpr ReplaceOptions kHostTextFile{true, false, true, 0666, false};

// A file written under a temporary name beside the file it replaces and renamed over it by Commit,
// so that the old file stays whole until the new one is complete and on the device.
//  - A target that is a symbolic link, or a chain of them, is followed: the file at the end of the
//    chain is replaced and the links stay as they are. The temporary file goes beside that file, so
//    that the rename stays within one file system.
//  - The new file takes the old one's mode and, where the process has the right, its owner and
//    group (failing that, its group alone where the process may give it); a new target gets the
//    mode that any newly created file gets (ReplaceOptions::new_mode less the umask).
//  - A file with several hard links is split: the name saved to gets the new file, the other names
//    keep the old contents. Writing the new image into the shared file instead would leave every
//    name holding a half-written file after a crash in the middle of the copy; with the rename each
//    name holds a complete file, old or new, at every moment.
//  - Commit flushes the file to the device before the rename and the directory after it, so that a
//    crash after a save that succeeded finds the new file whole, and a crash before finds the old
//    (unless ReplaceOptions::device_flush is off).
//  - The temporary file is named "<target>.<pid>.<n>.tmp", and the part files a writer makes
//    beside it (PartFileName) "<target>.<pid>.<n>.prf". Before creating its own, the writer removes
//    the target's temporary and part files that a killed writer left: regular files of the
//    process's own user whose process no longer exists (one that answers kill(pid, 0) with EPERM is
//    running).
// Destroyed without Commit, it removes the temporary file. The stream is open for writing (binary,
// not raw, unless the options say raw) after construction. A writer may instead write the file by
// its name (Path()) and leave the stream alone: Commit flushes the file whichever descriptor wrote
// it. A link that names nothing or loops, a target (or link end) that exists but is not a regular
// file (unless written in place), and a temporary file that cannot be created are refused before
// anything is written: the refusal records ("zpk_open", Q7_ERROR_ILLEGAL_FILE_NAME, "Illegal
// FileName"), unless quiet, and throws that code.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::string& target);
  ReplacingFile(const std::string& target, const ReplaceOptions& options);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Whether a file at target would be replaced: it is missing, a regular file or a chain of links
  // ending at one (else it is refused, or written in place).
  static bool Replaceable(const std::string& target);

  zpk_fstream& stream() { return stream_; }
  // The file being written: the temporary file, or the target itself when written in place.
  const std::string& Path() const { return in_place_ ? target_ : temp_; }
  // The file replaced: the given name, or the end of its chain of links.
  const std::string& Target() const { return target_; }
  // Flushes and closes the stream and renames the file over the target; a flush, close or rename
  // failure throws Q7_ERROR_ILLEGAL_FILE_NAME with the target untouched and the temporary file
  // removed. A failure to flush the directory after the rename throws the same code; the target
  // holds the new file then, but a crash may still bring back the old one. In place it only closes
  // the stream (a failure throws the same code).
  void Commit();

  // For benchmarks only: with false, Commit skips both flushes to the device, to measure what they
  // cost. Saves flush by default. Not to be changed while a save runs.
  static void SetDeviceFlushForBenchmarks(bool on);

 private:
  std::string target_;  // the file replaced: the given name, or the end of its chain of links
  std::string temp_;
  zpk_fstream stream_;
  bool device_flush_ = true;
  bool in_place_ = false;
  bool committed_ = false;
};

// A new name for a part file beside target (a ReplacingFile's Target()): "<target>.<pid>.<n>.prf",
// n counted per process. Its writer removes it; one that a killed process left goes when target is
// next replaced.
std::string PartFileName(const std::string& target);

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
// Damaged(what, ...) unless every element of rows is a record number 1 .. records: set and view
// elements index the value-number arrays.
void CheckRecords(const TIntArray& rows, int records, const char* what);
// Damaged unless the filter has both arrays, records + 1 value numbers, a value list of at least
// one entry and every value number indexing it (a pending, negative number never reaches a store).
void CheckValueNumbers(const TFilter& filter, int records);

}  // namespace table_files
