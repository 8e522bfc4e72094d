// The reader of single-column files: one value per line, or, for strings read by parse_bin, one
// length-prefixed record each. It fills one typed field buffer (CField) that becomes a new filter
// of a table or is appended to an existing one (ImportEntry.h).
//
// Lines. A line ends at LF; one CR directly before the LF belongs to the line end (any other CR is
// data, also at the very end of a file). A text that both starts and ends with a double quote loses
// that one pair of quotes (nothing else is unquoted: a quote only at the start stays). The text left
// holds at most kMaxFieldBytes bytes; more is Q7_ERROR_DATA_OVERFLOW. Both modes apply exactly these
// rules, so a file gives the same rows whether it is read line by line or in chunks on the worker
// pool (CMppTextParser.h).
//
// Modes:
//  - line mode (parse_txt, parse_txt2, parse_numeric): the parser reads the file itself; rows = -1
//    reads every line, rows >= 0 stops after that many and pads a shorter file with NULL rows; a
//    file that shrinks while it is read fails with Q7_ERROR_FILE_OPERATION_FAILED instead. The
//    catalog message log takes "FILE  [%s] MISSING " and the reports of bad lines; the error ring
//    the refusals of the arguments.
//  - memory mode (ParseMem): a worker of the parallel reader hands over its mapped chunk; nothing
//    is written to any log from there.
//
// In the database's character code UTF-8 a byte-order mark at the very start of the file is no data
// (both modes).
//
// Without a catalog the field buffer converts without checking (a text that is no number stores
// what the converter gives) and the error mode is STOP.
//
// Length-prefixed records (parse_bin): a 32-bit big-endian length, then that many bytes of text, no
// terminator; records follow each other to the end of the file.
//
// Ownership and failures: as CTextParser. A failed read frees the field buffers: nothing read is
// kept. Thread safety: a parser belongs to one thread; line mode uses the process-wide file monitor
// and runs under the API lock.
#pragma once

#include "import/CTextParser.h"

class CCatalogParser;

class CPlainTextParser : public CTextParser {
 public:
  // A length-prefixed record's length field.
  static constexpr int kLengthBytes = 4;

  CPlainTextParser();
  explicit CPlainTextParser(CCatalogParser* catalog);
  // The value type (2..8) of the field that memory mode makes.
  explicit CPlainTextParser(int type);
  ~CPlainTextParser() override;

  // The one text of a line (without its line end) into the text slot, one pair of enclosing quotes
  // removed: 1, or Q7_ERROR_DATA_OVERFLOW for a text of kStrItemSize bytes or more (recorded
  // "StringSize overflow" under "parseLine" in line mode). The line is changed in place.
  int parseLine(char* line, int check) override;

  // ---- Line mode ----
  // parse_txt2(file, file, type, rows, field).
  int parse_txt(const char* file, int type, int rows, int field) override;
  // Reads the file into field `field` (0: the buffers are freed and one field of `type` named `name`
  // is made first). The column's rows: max(rows read, rows); rows = -1 reads to the end. Returns the
  // rows, or: Q7_ERROR_ILLEGAL_FILE_NAME (null or empty name, recorded "Invalid Parameter :
  // pFileName" under "parse_txt2"; a file that cannot be opened), Q7_ERROR_INVALID_DATA_TYPE,
  // Q7_ERROR_DATA_OVERFLOW, Q7_ERROR_OUT_OF_MEMORY, Q7_ERROR_ROW_SIZE_OVERFLOW.
  int parse_txt2(const char* file, const char* name, int type, int rows, int field);
  // As parse_txt2 for a DECIMAL field of the given scale and rounding mode; ring entries name
  // "parse_numeric".
  int parse_numeric(const char* file, int rows, int scale, int mode, int field);
  // Reads `rows` length-prefixed records into one new STRING field ("aaa"); rows past the last
  // record are NULL. Returns rows, or: type not 6 ("Invalid Parameter : nType") and rows < 0
  // ("Invalid Parameter : nRows"): Q7_ERROR_INVALID_PARAMETER; a null name ("Invalid Parameter :
  // pFileName"), an empty one ("... pFileName size") or a file that cannot be read ("Failed to open
  // file"): Q7_ERROR_ILLEGAL_FILE_NAME; a record running past the end of the file, or a file shorter
  // than one length field when rows are wanted ("Failed to parse catalog"):
  // Q7_CATALOG_PARSE_ERROR. All are recorded under "parse_bin".
  int parse_bin(const char* file, int type, int rows);

  // The field buffer of the type for `rows` rows (-1: calcMemRows' estimate); for strings the text
  // pool is sized from the file's first line. The capacity, or a negative code (the buffers freed).
  int createFieldItems(const char* file, const char* name, int type, int rows);
  int createFieldItems_numeric(const char* file, const char* name, int rows, int scale, int mode);
  // The file's estimated line count plus 1 %, at least 5; also the parser's row capacity.
  int calcMemRows(const char* file);

  // ---- Memory mode ----
  // One field of the parser's type named "dummy", sized from the buffer's first lines (nothing
  // when it exists). 0 or a negative code.
  int createFieldItems(char* buf, unsigned long len);
  // The line at buf: *lineLen receives its bytes through the LF (len when there is none),
  // *lineEnded 1 when it ended with LF. 1, or Q7_ERROR_DATA_OVERFLOW.
  int parseUntilCRLF(char* buf, unsigned long len, unsigned long* lineLen, int* lineEnded,
                     int continued) override;
  // Parses the lines of buf[0, len) into the next rows (first = 1: makes the field and starts at row
  // 0). A line without LF is taken only when lastWindow is 1; otherwise it is left (not consumed).
  // *consumed: the bytes of the lines taken; *rows: the rows stored. 0 or a negative code.
  int ParseMem(char* buf, unsigned long len, int lastWindow, int first, unsigned long* consumed, int* rows);

  // Appends the rows of other's fields to this parser's, field by field (CField::merge): 0,
  // Q7_ERROR_FILTER_TYPE_MISMATCH (other field counts or types) or a negative code.
  int merge(CPlainTextParser* other);
  // Adds field 0 to the table as a new filter (its name and position as set) and deletes the field
  // buffers: the new filter's ID, or the code of the hand-over (reported in the catalog message
  // log as write2DB reports it).
  int WriteFilter(int table);
  // Sets the row count of every field to `rows`, growing a field that holds fewer rows: the rows
  // never stored are NULL. Throws CQ7Exception(Q7_ERROR_OUT_OF_MEMORY).
  void SetRows(int rows);

  int getType() const { return m_nType; }
  int getMemRows() const { return m_nMemRows; }

 protected:
  // The size of the open file as its line-mode read begins; a read that ends before that many
  // bytes (the file shrank meanwhile) fails with Q7_ERROR_FILE_OPERATION_FAILED.
  virtual int64_t SourceSize(const char* file) const;

 private:
  // The line-mode read shared by parse_txt2 and parse_numeric: `make` creates the field buffer.
  template <class Make>
  int ReadColumn(const char* file, const char* log_name, int rows, int field, Make&& make);
  int ReadLines(const char* file, int rows, int field);
  // Without a catalog, a DATETIME field takes a value whose date or time part does not read as NULL.
  void NullBadDateTimeParts(CField* field) const;
  // Strips the line end and the enclosing quotes of [begin, end); its new end.
  static char* TextEnd(char* begin, char* end);

  int m_nType = 0;
  int m_nMemRows = 0;
};
