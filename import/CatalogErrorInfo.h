// CatalogErrorInfo: the bad-line reports of one import worker, kept as compact binary entries so
// that a worker never writes the shared catalog message log while the import runs. After the parse
// step the importer prints every worker's record in worker order (AllLogMsgPrint), shifting each
// worker's row numbers by the rows of the chunks before it so that the log shows file lines.
//
// Storage: a list of zero-filled blocks of kBlockBytes (kAreaBytes of entries, then the bytes used
// and the entry count); a new block is started when an entry would bring the used bytes to
// kAreaBytes or more. An entry is a packed run of 32-bit little-endian integers and NUL-ended
// texts: the entry's total size, the message code, then the code's payload:
//   1 row; file name            2 row                 3 row
//   4 field name; field text; row; column             5 fields; items; row
//   6 (nothing)                 7 items; items; row   8 field length; item length; row
// Texts are kept to kMaxTextBytes - 1 bytes, so every entry fits a block.
//
// Rows are 1-based within the worker's chunk; printing adds the line offset to the row (the first
// integer of code 1, the last of codes 2, 3, 5, 7, 8, the row of code 4) and to nothing else.
//
// Ownership: the record owns its blocks. Thread safety: one thread records into a record at a time
// (each worker its own); printing runs on the calling thread after the workers have finished.
// Failures: recording throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) when a block cannot be had (the
// record keeps every entry made before); printing throws what the log throws (its lock released).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The message formats, indexed by code (row 0 is unused).
struct CatalogErrFormat {
  int32_t code;
  char format[4096];
};
extern const CatalogErrFormat CatalogErrTable[9];

class CatalogErrorInfo {
 public:
  static constexpr size_t kAreaBytes = 10240;
  static constexpr size_t kBlockBytes = 10256;
  static constexpr size_t kMaxTextBytes = 4096;

  // One block of entries, kBlockBytes long.
  struct Block {
    char area[kAreaBytes];
    uint64_t used;   // bytes of area in use
    uint32_t count;  // entries in area
  };

  CatalogErrorInfo();
  ~CatalogErrorInfo();
  CatalogErrorInfo(const CatalogErrorInfo&) = delete;
  CatalogErrorInfo& operator=(const CatalogErrorInfo&) = delete;

  // Record one entry each (the overload by payload shape; the code decides how it prints).
  void SetLogMsg(int code);
  void SetLogMsg(int code, int a);
  void SetLogMsg(int code, int a, const char* text);
  void SetLogMsg(int code, const char* name, const char* text, int row, int column);
  void SetLogMsg(int code, int a, int b, int c);

  // Appends a built entry of `size` bytes (at most kAreaBytes - 1) to the current block, starting
  // a new block first when the used bytes would reach kAreaBytes.
  void MemCopyErrMsgArea(const void* entry, unsigned long size);

  // Prints every entry of every block, oldest first, each as one line of the catalog message log
  // under the log's lock for the whole print. A record without entries leaves the log untouched.
  // When the log cannot be opened, its code (Q7_ERROR_ILLEGAL_FILE_NAME) is thrown after the first
  // entry's line was handed to the log's capture (CErrorLog::NoteLine).
  void AllLogMsgPrint(int lineOffset);
  // Prints one entry through the log opened by CErrorLog::fopen (a code outside 1..8 prints
  // nothing) and returns the address of the next entry.
  const char* LogMsgPrint(const char* entry, int lineOffset);
  // The line of one entry into line (size bytes) as LogMsgPrint would print it; false (nothing
  // written) for a code outside 1..8.
  static bool FormatEntry(const char* entry, int line_offset, char* line, size_t size);

  // Decode the payload of the entry that starts at `entry` (texts point into the entry).
  // (row) for codes 2 and 3; (row, file name) for code 1; (name, text, row, column) for code 4;
  // (a, b, c) for codes 5, 7 and 8.
  static void GetErrorMsgDetails(const char* entry, int* row);
  static void GetErrorMsgDetails(const char* entry, int* row, const char** text);
  static void GetErrorMsgDetails(const char* entry, const char** name, const char** text, int* row,
                                 int* column);
  static void GetErrorMsgDetails(const char* entry, int* a, int* b, int* c);
  // The size and code of the entry at `entry`.
  static int EntrySize(const char* entry);
  static int EntryCode(const char* entry);

  // Entries recorded, over all blocks.
  int EntryCount() const;
  int BlockCount() const { return static_cast<int>(blocks_.size()); }
  const Block& BlockAt(int i) const { return *blocks_[static_cast<size_t>(i)]; }
  int CurrentBlock() const { return current_; }

 private:
  static Block* NewBlock();

  std::vector<Block*> blocks_;
  int32_t current_ = 0;
};
