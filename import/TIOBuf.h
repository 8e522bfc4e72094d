// TIOBuf: the cell reader of the checked catalog import. It reads the data file through a 64 KiB
// buffer and hands out one cell at a time, saying whether the cell ended at a separator, a line
// end or the end of the data.
//
// Cells: a cell that starts with '"' is quoted: it runs to the closing quote, "" stands for one
// quote, and separators, CR and LF are data inside it; the byte after the closing quote must end
// the cell (any other byte is recorded, dropped, and the cell ends as at a separator). Any other
// cell runs to the next separator, line end or end of data, and may hold no '"'. A NUL byte is
// refused in both. A cell holds at most kMaxCell bytes: a longer one is cut there and the rest of
// its text begins the next cell.
// Ends: a separator gives state 0; LF, CR, or CR LF give state 1, or 2 when the data ends right
// after them; ^Z (26) right after a line end or in place of one ends the data (state 2) and is
// refused when more bytes follow it; the end of the file gives state 2.
//
// Failures are recorded in the correction log (record line 0, field 0, the message as Comment,
// with the file offset of the fault) before the reader gives up on the cell: the constructor throws
// CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME) when the file cannot be opened, getOneCell returns null
// (and CutTop Q7_CATALOG_PARSE_ERROR) for a malformed cell or a read error.
//
// Ownership and threads: the reader owns its file (closed on destruction) and its buffers (about
// 1.1 MiB); the log must outlive it. One thread uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TCorrectLog;

class TIOBuf {
 public:
  static constexpr size_t kReadSize = 65536;
  static constexpr size_t kMaxCell = 0xFFFFF;
  static constexpr int kMaxSeparators = 8;

  // Opens build_AbsoluteName(dir, file) "rb" and records "Trying to open data file[%s]" first.
  // Separators: the first `count` bytes of separators (at most kMaxSeparators are taken).
  TIOBuf(const char* dir, const char* file, const char* separators, int count, TCorrectLog* log);
  ~TIOBuf();
  TIOBuf(const TIOBuf&) = delete;
  TIOBuf& operator=(const TIOBuf&) = delete;

  // The next cell (NUL-ended, valid until the next call) and its end in *state (0 separator, 1
  // line end, 2 end of data; at the end of the data the cell is empty), or null after a recorded
  // failure.
  char* getOneCell(char* state);
  // The length of the last cell returned.
  size_t CellLength() const { return cell_len_; }
  // Before the first cell: steps over a UTF-8 byte-order mark at the start of a file whose
  // character code `code` is UTF-8 (the mark is no data).
  void SkipMark(int code);
  // Skips the first line. 0, or Q7_CATALOG_PARSE_ERROR (recorded as "CUTTOP failed.").
  int CutTop();
  // True while the read position is before the end of the file.
  bool IsDataExists() const;

 private:
  enum Kind : uint8_t { kPlain, kSeparator, kLineFeed, kReturn, kEndMark, kQuote, kNul };

  // The next byte without taking it, or -1 at the end of the file.
  int Peek();
  void Skip() { ++pos_; }
  int64_t Offset() const { return start_ + static_cast<int64_t>(pos_); }
  bool Refill();
  // Records the message (a printf format) and throws Q7_CATALOG_PARSE_ERROR.
  [[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Copy the cell's bytes; true when the cell was cut at kMaxCell.
  bool ReadQuoted();
  bool ReadPlain();
  // Decides the state from the byte that follows a cell.
  char EndCell();
  // After a line end (a CR when after_return) has been taken.
  char AfterLineEnd(bool after_return);
  // After a ^Z at offset `at` has been taken.
  char AfterEndMark(int64_t at);
  void Put(char c) { cell_[cell_len_++] = c; }

  TCorrectLog* log_;
  std::string path_;
  FILE* file_ = nullptr;
  int64_t size_ = 0;   // bytes of the file when it was opened
  int64_t start_ = 0;  // file offset of buffer_[0]
  size_t fill_ = 0;    // bytes in buffer_
  size_t pos_ = 0;     // read position in buffer_
  Kind kind_[256];
  std::vector<char> buffer_;
  std::vector<char> cell_;
  size_t cell_len_ = 0;
};
