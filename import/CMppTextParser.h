// CMppTextParser: reads a single-column file (CPlainTextParser.h) on the worker pool into a new
// filter of a table (task kMppTaskTxtParse, registered by RegisterImportTasks).
//
// The file is cut into one chunk per worker at line ends, as the parallel catalog import cuts its
// source (a value is one line here: quotes never join lines); each worker reads its chunk in blocks
// (with pread, never mapped, so that a file that shrinks or changes meanwhile cannot fault) and
// parses it into its own plain-text parser; the rows
// are then joined in chunk order on the calling thread and written as one new filter. So the
// filter's rows, value list and value numbers never depend on the worker count: they equal those
// of a line-mode read of the same file (CPlainTextParser::parse_txt).
//
// Results of DoParse: the new filter's ID, or Q7_ERROR_ILLEGAL_FILE_NAME (a file that is missing
// or not a regular file: "FILE  [%s] MISSING " in the catalog message log),
// Q7_ERROR_INVALID_DATA_TYPE (a type outside 2..8), Q7_ERROR_DATA_OVERFLOW (a text of 4096 bytes or
// more), Q7_ERROR_OUT_OF_MEMORY, Q7_ERROR_ROW_SIZE_OVERFLOW, Q7_ERROR_FILE_OPERATION_FAILED (the
// file shrank while it was read), the codes of the filter's hand-over
// (the registered ImportTaskServices::AddRealFilter2), Q7_ERROR_UNKNOWN for a failure that is not an
// engine exception. A failure of any worker writes no filter. Nothing stays open or allocated
// after a call.
//
// Thread safety: one read at a time, on the thread that drives the pool under the API lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class CPlainTextParser;

// A worker's share of the read: its chunk [start, end) of the file; its parser and the rows it
// stored are the singleton's (per worker).
struct TEXT_PARSER_PARAM {
  uint64_t start;
  uint64_t end;
};

class CMppTextParser {
 public:
  // The singleton (MppTxtParserObj holds it from load on).
  static CMppTextParser* Instance();

  // Reads `file` into a new filter named `name` of `type` at display position filterPos of the
  // table. rows >= 0: the filter gets exactly that many rows (lines past them are dropped, missing
  // ones are NULL), as a line-mode read gives; rows < 0: one row per line.
  int DoParse(int table, int filterPos, char* file, char* name, int type, int rows);

  // Task kMppTaskTxtParse: an engine exception becomes its code, any other failure
  // Q7_ERROR_UNKNOWN.
  static int mpp_text_parser(void* param);
  // The work of one worker: parses its chunk; the chunk's rows or a negative code.
  int text2bin(int worker, const TEXT_PARSER_PARAM& chunk);

  // The chunk count of the last read.
  int getChunkCount() const { return m_nChunkCount; }

 private:
  CMppTextParser();
  ~CMppTextParser();
  int Run(int table, int filterPos, char* file, char* name, int type, int rows);
  void init();
  void sysinfo();
  // Cuts the file into chunks at line ends; the chunk count becomes the number made.
  void alloc();
  void free();
  // Appends parser b's rows to parser a's (CPlainTextParser::merge).
  static int merge_parser_data(CPlainTextParser* a, CPlainTextParser* b);

  const char* m_szFile = nullptr;
  const char* m_szName = nullptr;
  int32_t m_nRows = -1;
  int32_t m_nChunkCount = 0;
  int32_t m_nType = 0;
  int32_t m_nPageSize = 4096;
  int64_t m_nFileSize = 0;
  int m_nFd = -1;
  std::vector<TEXT_PARSER_PARAM> m_Chunks;
  std::vector<std::unique_ptr<CPlainTextParser>> m_Parsers;
};

extern CMppTextParser* MppTxtParserObj;
