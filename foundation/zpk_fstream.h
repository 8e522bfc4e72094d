// zpk_fstream: the buffered binary file stream through which every stored file is written and
// read, with the system header, the (position & 7) alignment rule and byte swapping on read
// (see foundation/SystemHeader.h for the header layout and the rule).
//
// Ownership: a stream owns its FILE handle and closes it in its destructor. It is neither
// copyable nor movable.
// Thread safety: a stream belongs to one thread at a time.
//
// Two layers:
//  - the members return 0 / -1 (or a value) and never throw, except readFileHeader;
//  - the zpk_* front ends throw CQ7Exception; a failing read or write closes the stream before
//    it throws, so the caller's clean-up finds it closed. Codes: Q7_ERROR_ILLEGAL_FILE_NAME
//    (0xE000008D) for every open, read, write, seek or short-header failure;
//    Q7_ERROR_INVALID_CHAR_CODE (0xE0000119) for a character-code mismatch in readFileHeader.
//
// Raw streams (raw != 0) write no padding, skip no padding and never swap bytes; text files are
// opened raw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Mode flags: give exactly one access flag, optionally with kZpkBinary.
//   flag        with kZpkBinary  without
//   kZpkWrite   "wb+"            "w"      (created or emptied)
//   kZpkRead    "rb"             "r"
//   kZpkAppend  "ab+"            "a"
//   kZpkUpdate  "rb+"            "r+"
constexpr int kZpkRead = 1;
constexpr int kZpkWrite = 2;
constexpr int kZpkAppend = 8;
constexpr int kZpkBinary = 0x80;
constexpr int kZpkUpdate = 0x100;

class zpk_fstream {
 public:
  static constexpr size_t kPathSize = 1026;  // up to 1025 characters are kept

  zpk_fstream();
  zpk_fstream(const char* path, int mode, int raw);
  zpk_fstream(const char* path, const char* mode_text, int raw);
  ~zpk_fstream();
  zpk_fstream(const zpk_fstream&) = delete;
  zpk_fstream& operator=(const zpk_fstream&) = delete;

  // 0, or -1 when the file cannot be opened (or no access flag is given). An open stream is
  // closed first. The file fields and the old-format flag are cleared.
  int open(const char* path, int mode, int raw);
  int open(const char* path, const char* mode_text, int raw);

  // n bytes exactly as stored: no padding skipped, no swapping. 0, or -1 on a short read.
  int read(void* buf, size_t n);
  // count elements of size bytes: skips the padding (non-raw, file alignment not 0), then
  // reads and swaps each element when the file's header gave the other byte order.
  // 0 when all count elements were read, else -1. A read of 0 bytes skips nothing and succeeds.
  int read(void* buf, size_t size, size_t count);
  // The same, with a large read split over the worker pool (MppPread) when the stream is a regular
  // file: its fresh pages are then cleared and filled on every core. Call it only from the thread
  // that drives the pool, never from inside a task.
  int read_parallel(void* buf, size_t size, size_t count);

  // 0, or -1 when not every byte was written. The 3-argument form writes nothing at all (not
  // even padding) when size * count is 0; the 2-argument form pads even when n is 0.
  // Writes of 2 GiB or more go out in pieces, each one checked.
  int write(const void* buf, size_t n);
  int write(const void* buf, size_t size, size_t count);

  // fgets: at most n - 1 bytes of a line, its line feed included; null at end of file.
  char* gets(char* buf, int n);
  // The 64-bit position; throws Q7_ERROR_ILLEGAL_FILE_NAME when it cannot be taken, -1 when
  // the stream is closed.
  int64_t tellg();
  // fseek with a 64-bit offset: 0 or -1.
  int seekg(int64_t off, int whence);
  // Non-zero at end of file, or when closed.
  int eof();
  // Full buffering with the caller's buffer (which must outlive the stream's use): 0 or -1.
  int set_vbuf(char* buf, int size);
  // The fclose result, or 0 when the stream was closed already.
  int close();
  // Pushes the buffered bytes to the file and the file's contents to the device (fflush, fsync):
  // 0, or -1 when either fails or the stream is closed.
  int sync();

  // Reads the 256-byte header at the current position (the start of the file).
  //  - first byte not 0xFF: old format; the stream goes back to offset 0, takes the system's
  //    word size, byte order and OS, alignment 0 (no skipping, no swapping); returns 0;
  //  - empty file, or a header shorter than 256 bytes: closes and throws 0xE000008D;
  //  - otherwise the file fields come from the header; with check_char_code a stored code
  //    (0 reads as 33) other than the database's closes and throws 0xE0000119. Returns 0.
  // A closed stream throws 0xE000008D.
  int readFileHeader(bool check_char_code);
  // Pads (unless raw) and writes Qz7SysInfo, or the given 256-byte image: 0 or -1.
  int writeFileHeader();
  int writeFileHeader(const void* header);

  // The padding steps alone. Each returns the bytes written or skipped (0 on a raw stream), or
  // -1. seek_addr_alignment skips by seeking instead of reading.
  int adjust_read_addr_alignment();
  int adjust_write_addr_alignment();
  int seek_addr_alignment();

  // Bytes between the position and the end of the file, or -1 when unknown. Readers use it to
  // check a count read from the file before they allocate or copy.
  int64_t remaining();

  bool is_open() const { return fp_ != nullptr; }
  FILE* handle() const { return fp_; }
  const char* path() const { return path_; }
  int mode() const { return mode_; }
  int raw() const { return raw_; }
  int oldFormat() const { return old_format_; }

  // The file's header fields (valid after readFileHeader; 0 before).
  unsigned char FileELF() const { return file_elf_; }
  unsigned char FileEndian() const { return file_endian_; }
  unsigned char FileAddrAlignment() const { return file_alignment_; }
  unsigned char FileOSTYPE() const { return file_os_; }
  unsigned char FileDBCharCode() const { return file_char_code_; }

 private:
  void ClearFileFields();
  int OpenWithText(const char* path, const char* mode_text, int raw);
  bool NeedsSwap() const;
  int WriteBytes(const void* buf, size_t n);
  int SkipReadPadding();

  FILE* fp_ = nullptr;
  int32_t mode_ = 0;
  char mode_text_[6] = {};
  char path_[kPathSize] = {};
  int32_t raw_ = 0;
  int32_t old_format_ = 0;
  unsigned char file_elf_ = 0;
  unsigned char file_endian_ = 0;
  unsigned char file_alignment_ = 0;
  unsigned char file_os_ = 0;
  unsigned char file_char_code_ = 0;
  unsigned char sys_elf_ = 0;
  unsigned char sys_endian_ = 0;
  unsigned char sys_alignment_ = 0;
  unsigned char sys_os_ = 0;
};

// Opens the stream. Failure: with mode flags records ("zpk_open", 0xE000008D,
// "Illegal FileName") in the error ring and throws 0xE000008D; with a mode text throws
// 0xE000008D without a ring entry. Returns 0.
int zpk_open(zpk_fstream& stream, const char* path, int mode, int raw);
int zpk_open(zpk_fstream& stream, const char* path, const char* mode_text, int raw);

// The front ends return 0 on success.
// stream.read(buf, size, count); failure closes the stream and throws 0xE000008D.
int zpk_read(zpk_fstream& stream, void* buf, size_t size, size_t count);
// As zpk_read through stream.read_parallel (the same failures).
int zpk_read_parallel(zpk_fstream& stream, void* buf, size_t size, size_t count);
// Reads count elements stored with `size` bytes and delivers each with `width` bytes (see
// ConvertElementWidth): 4-byte counts of older images into 8-byte fields and back.
// buf must hold count * width bytes. Same failure.
int zpk_read(zpk_fstream& stream, void* buf, size_t size, size_t count, int width);
// stream.write(buf, size, count); failure closes the stream and throws 0xE000008D.
int zpk_write(zpk_fstream& stream, const void* buf, size_t size, size_t count);
// stream.set_vbuf; failure throws 0xE000008D.
int zpk_setvbuf(zpk_fstream& stream, char* buf, int size);
// stream.gets: null at end of file, else buf.
char* zpk_gets(zpk_fstream& stream, char* buf, int n);
// Closes without raising; returns the fclose result (0 when closed already).
int zpk_close(zpk_fstream& stream);

// fseek with a 64-bit offset: 0 or -1.
int fseek64(FILE* fp, long offset, int whence);
// The position as 64 bits; failure throws 0xE000008D.
int64_t ftell64(FILE* fp);

// The size of directory/name (an absolute name is taken as it is), 0 when the file cannot be
// examined. A directory that cannot be entered throws Q7_ERROR_INVALID_DIRECTORY (0xE000008E).
// The working directory is not changed.
int64_t getFileSize(const char* directory, const char* name);
