// The text line parsers of the catalog import: they cut the lines of a source text file into field
// texts and hand each text to the typed field buffer (CField) of its catalog field.
//
//   class               catalog format     field boundary
//   CTABParser          1 "//TAB"          TAB (9)
//   CCSVParser          2 "//CSV"          ','
//   CFixedLengthParser  3 "//FIX"          the catalog's field widths
//   CUSRParser          4 "//USR"          any of up to five user separator bytes
//
// Two modes:
//  - line mode (parse): the parser opens the source itself and reads it line by line; the
//    single-thread catalog import and append use it. Reports go straight to the catalog message log.
//  - memory mode (ParseMem): the parallel importer (CCMultiThreadImport) reads a worker's chunk of
//    the source window by window and hands each window over; the parser splits it in place and
//    the importer compiles the field buffers after each window (Compile). Reports go into the
//    worker's CatalogErrorInfo record, never into the shared log.
// Both modes split a record with the same rules, so one source gives the same rows either way, and
// in memory mode the rows never depend on where windows or chunks fall: a window only ever hands
// whole records to the splitter (a record cut by the window end is read again from the next window),
// and the parallel importer cuts chunks only at record ends.
//
// Records of delimited text. A record ends at the first LF outside quotes (or at the end of the
// source); one CR before that LF (or at the very end of the source) belongs to the record end; any
// other CR is data. A record's line number is the line it starts on (1-based data lines); the LFs
// inside its quoted fields count as lines, so the numbers of later records stay true.
//  - A field that starts with '"' is quoted: "" inside gives one quote, a single quote closes it;
//    separators, CRs and line ends (LF, CR LF) inside are data. After the closing quote only a
//    separator or the record end may follow (else Q7_CATALOG_PARSE_ERROR; the record still ends at
//    its first LF outside quotes, reading the rest as unquoted text). A quote still open at the end
//    of the source is Q7_CATALOG_PARSE_ERROR.
//  - Any other field runs to the next separator or the record end; quotes in it are data.
//  - A field text holds at most kMaxFieldBytes bytes; one more is Q7_ERROR_DATA_OVERFLOW.
//  - A record whose last field ended at a separator, and an empty line, get one more, empty field.
//  - Fields at positions the catalog marks SKIP are split but not stored or counted.
// A fixed-width record is one line (quotes are data there). It is cut in catalog order by the field
// widths (SKIP fields are stepped over); a field that would take 4096 bytes or more is
// Q7_ERROR_DATA_OVERFLOW; a field cut short by the line end, or text left after the last field, is
// reported (and fails under the error mode STOP).
//
// Error modes (CCatalogParser::getErrorLogType): 0 NONE, 1 STOP, 2 CONTINUE, 3 SKIPLINE.
//  - a record whose field count differs from the catalog's: reported (memory mode under NONE: not
//    reported); skipped whole under SKIPLINE, else the import fails with Q7_CATALOG_PARSE_ERROR;
//  - a record that cannot be split: reported (not under NONE); skipped whole under SKIPLINE, else
//    the import fails with Q7_ERROR_INVALID_DATA; an overflow always fails with
//    Q7_ERROR_DATA_OVERFLOW;
//  - a text that its field cannot convert (only reported when the catalog's field check is on):
//    the import fails with Q7_ERROR_INVALID_DATA under STOP; in every other mode the row stays in
//    the import with what the field stored for that text.
//
// Ownership: a parser owns its stream, its string items (CPStr) and its field items (CField);
// write2DB hands each field to the table and deletes it. The catalog is not owned and must outlive
// the parser. Thread safety: a parser belongs to one thread; in memory mode each worker has its own
// parser and shares only the read-only catalog. The file monitor serves line mode, which runs on
// the calling thread under the API lock.
//
// Public operations return a count, 0, or a negative Q7_ERROR_* code. Only the field-buffer
// operations (createStrItems, genItemVector, CreateMemoryCache, Str2Data, Null2Data, realloc) throw:
// CQ7Exception(Q7_ERROR_OUT_OF_MEMORY) when memory runs out. More than INT_MAX - 1 lines fail with
// Q7_ERROR_ROW_SIZE_OVERFLOW.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "import/CField.h"

class CCatalogParser;
class CatalogErrorInfo;
class zpk_fstream;

// The process-wide record of the source file being read in line mode; the row estimates of the
// field buffers read it. Zero-filled at first use; touched only on the thread that holds the API
// lock.
class CFileMonitor {
 public:
  static CFileMonitor* Instance();

  // Rows still to come after `rows` rows: the expected count minus rows when an expected count is
  // set; else, with an open stream and p bytes read (0 < rows <= p), the remaining bytes over
  // p / rows, times 1.25; else 1. get_remaining_blk_lines caps the remaining bytes at 300,000,000.
  int get_remaining_lines(int rows);
  int get_remaining_blk_lines(int rows);

  int64_t m_nFileSize = 0;           // size of the file being read
  int64_t m_nReadBytes = 0;          // bytes of the lines read so far, line feeds included
  int32_t m_nExpectedRows = 0;       // 0: not set
  zpk_fstream* m_pStream = nullptr;  // the stream being read, null when none

 private:
  CFileMonitor() = default;
  int RemainingLines(int rows, int64_t cap);
};

extern CFileMonitor* FileMonitorObj;

class CTextParser : public CFieldOwner {
 public:
  // A string item (CPStr) holds kStrItemSize - 1 bytes of text and a NUL.
  static constexpr int kStrItemSize = 4096;
  static constexpr int kMaxFieldBytes = kStrItemSize - 1;
  // The line-mode line buffer; a record longer than kMaxRecordBytes (in either mode) is an
  // overflow.
  static constexpr int kLineBufferSize = 0x400605;
  static constexpr size_t kMaxRecordBytes = kLineBufferSize - 1;
  // Results of the line status checks besides codes: go on, skip the line.
  static constexpr int kStatusOk = 0;
  static constexpr int kStatusSkipLine = 2;
  // The catalog's error modes.
  static constexpr int kErrorNone = 0;
  static constexpr int kErrorStop = 1;
  static constexpr int kErrorContinue = 2;
  static constexpr int kErrorSkipLine = 3;
  // A buffer grows by at most this many rows at once, so capacities stay ints.
  static constexpr int64_t kMaxGrowth = int64_t{1} << 26;

  CTextParser();
  explicit CTextParser(CCatalogParser* catalog);
  ~CTextParser() override;
  CTextParser(const CTextParser&) = delete;
  CTextParser& operator=(const CTextParser&) = delete;

  // ---- Records ----
  // Where a record of the source ends.
  struct RecordSpan {
    size_t length = 0;      // bytes through the LF that ends it (or to the end of the source)
    int lines = 0;          // LFs inside its quoted fields
    bool complete = false;  // false: it goes on past the bytes at hand
  };
  // The states of the record scanner: at a record start, at a field start after a separator, in an
  // unquoted field, in a quoted field, just after a quote in a quoted field.
  enum class Lex : uint8_t { kRecordStart, kFieldStart, kUnquoted, kQuoted, kQuoteSeen };
  // Splits the record at begin into the string items: the number of fields found (SKIP fields not
  // counted; also past the number of items, so a mismatch shows) or a negative code, and its span.
  // [begin, end) are the bytes at hand; final = true when the source ends at end. When the record
  // goes on past end (only when !final) span->complete is false and the result means nothing.
  // check = 1 when parsing, 0 for a sample line (fixed-width reports only with 1).
  virtual int SplitRecord(const char* begin, const char* end, bool final, RecordSpan* span, int check);
  // Follows the record that the scanner, in state *state, is in at p to its end: true with *length
  // the bytes through the LF that ends it (or to end, when final) and *state kRecordStart; false
  // when it goes on past end (*length: the bytes scanned, *state the state there, so that a later
  // call continues from p + *length). LFs inside quotes are added to *lines. The same rules as
  // SplitRecord, for records that are skipped or that failed to split.
  bool ScanRecord(const char* p, const char* end, bool final, Lex* state, size_t* length, int* lines) const;
  // buf holds the source from just after an LF: there a record starts, or a quoted field goes on.
  // The offset of the first record start in buf that is one either way (0 when an interpretation
  // is impossible as a field would exceed the longest text), or -1 when buf does not decide it.
  int64_t SyncRecordStart(const char* buf, size_t len, bool final) const;

  // ---- Line mode ----
  // Splits one text (without its record end) into the string items as SplitRecord does; the
  // number of fields found or a negative code.
  virtual int parseLine(char* line, int check);
  // Reads the whole file into the field buffers: the rows parsed (padded with NULL rows up to the
  // row limit when one is set) or a negative code. Null or empty name: Q7_ERROR_ILLEGAL_FILE_NAME.
  // On failure the field buffers are freed. The stream is closed on every path.
  virtual int parse(char* file);
  // The single-column reader's entry (a later parser); here it does nothing and returns 0.
  virtual int parse_txt(const char* file, int type, int rows, int flag);
  // The row limit; -1 (default) means none.
  void setRowSize(int n) { m_nRowSize = n; }
  // Re-reads the database character code.
  void init();

  // ---- Memory mode (the parallel importer) ----
  // Splits the record at the start of buf[0, len) (len taken as the end of the source). Sets
  // *lineLen to its length and *lineEnded to 1 when it ended with LF. Returns the fields found or a
  // negative code. `continued` is not read (a window never hands over part of a record).
  virtual int parseUntilCRLF(char* buf, unsigned long len, unsigned long* lineLen, int* lineEnded,
                             int continued);
  // Parses the whole records of one window: buf[0, len) starts at a record start; lastWindow = 1
  // when the source ends at buf + len. Records that start at or after the chunk end (setChunk) are
  // left alone; the last record before it is read to its end, past the chunk end. first = 1 for the
  // first window of a chunk: resets the rows parsed and creates the string and field items sized
  // for the chunk from the window's first lines. Rows are stored after those stored since the last
  // Compile. *consumed receives the bytes of the whole records parsed (the caller reads the next
  // window from there) and *row the rows stored. A window that holds no whole record (and is not
  // the last) consumes 0 and returns kWindowTooSmall: the caller reads a larger window from the
  // same offset. Otherwise the result is 0, kStatusSkipLine (the last record was skipped) or a
  // negative code (the chunk fails).
  static constexpr int kWindowTooSmall = 3;
  int ParseMem(char* buf, unsigned long len, int lastWindow, int first, unsigned long* consumed, int* row);
  // Compiles every field buffer into its running value list (CField::Compile): 0 or the first
  // negative result. The next rows are stored from row 0 again.
  int Compile();
  // Rows stored since the last Compile (the caller that compiles single fields resets it).
  void setPendingRows(int rows) { m_nPendingRows = rows; }
  void setMappedMode(int mapped) { m_nMapped = mapped; }
  void setWorkerIndex(int worker) { m_nWorker = worker; }
  // The chunk [start, end) of the source file that this worker parses; also the current line. The
  // rows expected before the next Compile are estimated up to the chunk end.
  void setChunk(uint64_t start, uint64_t end);
  // The source offset up to which rows are expected before the next Compile (for the buffer sizes).
  void setSpanEnd(uint64_t end) { m_nSpanEnd = end; }
  // The source offset just past the last record parsed.
  uint64_t getParsedEnd() const { return m_nWindowStart; }
  // The record memory-mode reports go into (not owned); null reports nothing.
  void setErrorInfo(CatalogErrorInfo* info) { m_pErrorInfo = info; }
  // Memory mode: the bytes left up to the span end over avg (1 when that is not positive).
  int calc_remaining_lines_from_mappedfile(int avg);
  // For the string field buffers: from the window in memory mode, else from the file monitor.
  long RemainingRowsEstimate(int rows, long avg) override;
  // Memory mode: sizes the field items from the first lines of a window (nothing when they exist).
  int createFieldItems(char* buf, unsigned long len);
  // The row capacity that createFieldItems gives for a buffer: len over the average length of its
  // first (up to three) lines, plus 1000.
  static int CalcApproxRows(const char* buf, unsigned long len);
  // Bytes up to and including the first LF (len when there is none).
  static unsigned long GetLineSize(const char* buf, unsigned long len);

  // ---- Field buffers ----
  // One CPStr per catalog field (the list is emptied first).
  int createStrItems();
  // Appends a new field buffer of the type: 2 CInt_Field, 3 CDouble_Field, 4 CDate_Field,
  // 5 CTime_Field, 6 CStr_Field, 7 CDateTime_Field, 8 CNumeric_Field. Any other type logs
  // "Illegal data type  : %d" and fails with Q7_ERROR_INVALID_DATA_TYPE. Returns 0.
  int genItemVector(int setting, int type, const char* name);
  int CreateMemoryCache(int rows);
  int CreateMemoryCache(int i, int rows);
  // Stores string items 0 .. min(items, fields) - 1 into row `row` (0-based) of the field buffers,
  // growing them when full. 0, Q7_ERROR_INVALID_DATA (a text its field could not convert, after
  // the remaining fields were stored unless the mode is STOP) or another negative code.
  int Str2Data(int items, int row);
  int Str2Data(int i, int row, char* text);
  int Null2Data(int items, int row);
  // Grows every field buffer and returns the rows added (at least 10): in memory mode by the rows
  // the rest of the window holds at the chunk's average line length; in line mode by `rows` when
  // positive, else by the file monitor's estimate of the rows still to come.
  int realloc(int rows);
  void setRowCount(int n);

  // ---- Handing the columns over (the registered ImportTaskServices) ----
  // Adds every field buffer to the table as a new filter (deleting each field after writing); 0 or
  // the first failure (under STOP the table is deleted then).
  int write2DB(int table);
  // Appends every field buffer to the table's filters in filter order from appendPos; 0 or the first
  // negative result. Decimal fields use the scales and modes of setNumericParams when given.
  int append2DB(int table, int appendPos);
  int append2DB(int table, int filter, int appendPos, int i);
  int append2DBNumeric(int table, int filter, int appendPos, int i, int scale, int mode);
  // Per field: the first and second type parameters (scale and rounding mode for decimals), read
  // by append2DB; the arrays are copied. append_flag non-zero marks an append.
  void setNumericParams(const int* param1, const int* param2, int append_flag);
  void setFilterName(int i, char* name);
  void setFilterPos(int i, int pos);
  void setTableID(int table) { m_nTableID = table; }

  // ---- Whole-buffer CSV splitting (search values from a CSV file) ----
  // Splits buf[0, len) into a flat list of values appended as new string items: a comma or a line
  // end ends a value, quoted values may span lines. A byte 255 at a value's start ends the split.
  // The number of values, or Q7_ERROR_DATA_OVERFLOW for an unquoted value of 4096 bytes or more.
  int parseCSV(char* buf, unsigned long len);

  // ---- Estimates (line mode, from the file monitor) ----
  // The file's bytes not yet read, and the rows they hold at the average line length so far.
  int64_t get_remaining_filesz();
  int get_remaining_lines(int rows);
  // The line-mode row capacity, stored as the parser's: the file's size (the source named by
  // SetFileName) over the sampled line length of its first lines (one line when nothing was
  // sampled), at least 1, plus 1 % of it, at least 5.
  int calcMemRows();
  // The same from the rest of the open file after the rows parsed r, with the monitor's bytes read
  // p: min(size - p, 300,000,000) / (p / r) times 1.25 (1 without a stream, when r is 0 or r > p),
  // plus 1 %, at least 5; stored as the row capacity.
  int calcMemRowsEx();
  // Line mode: creates the field items of the catalog for the source file `name` (which becomes
  // the parser's file name), sized by calcMemRows, or with fromRest set by calcMemRowsEx. The file's
  // first lines give the sampled line length, and its first data line (the second under CUTTOP)
  // the sample texts of the string fields. `setting` goes to every field's constructor (the
  // catalog's field check). Nothing is done when the field items exist. 0, or:
  // Q7_ERROR_ILLEGAL_FILE_NAME (no name, or the file cannot be opened), Q7_ERROR_DATA_OVERFLOW (a
  // sample field of 4096 bytes or more), a field's code (Q7_ERROR_INVALID_DATA_TYPE); the items
  // are freed then. Any failure that is not an engine exception is Q7_ERROR_OUT_OF_MEMORY.
  int createFieldItems(int setting, const char* name, int fromRest);
  int getRowCapacity() const { return m_nRowCapacity; }
  // False only for Q7_ERROR_DATA_OVERFLOW.
  static bool CanContinue(int code);
  // A row count held within 0 .. kMaxGrowth.
  static int ClampRows(int64_t rows);

  // ---- Access ----
  void freeMem();
  void freeItemVector();
  void freeStrVector();
  void SetFileName(const char* file);
  const char* getFileName() const { return m_szFileName; }
  CPStr* getStrItem(int i);
  int getStrItemCount() const { return static_cast<int>(m_StrItems.size()); }
  CField* getFieldItem(int i);
  int getFieldItemCount() const { return static_cast<int>(m_FieldItems.size()); }
  int getRowsParsed() const { return m_nRowsParsed; }
  // Records consumed, skipped ones included.
  int getRowCount() const { return m_nRowCount; }
  // Lines consumed (the lines of every record consumed).
  int getLineCount() const { return m_nLineNumber; }
  int getItemCount() const { return m_nItemCount; }
  int getFieldCount() const { return m_nFieldCount; }
  int getErrorLogType() const { return m_nErrorLogType; }
  CCatalogParser* getCatalog() const { return m_pCatalog; }
  int getMappedMode() const { return m_nMapped; }

 protected:
  // Splits the text of one line [begin, end) (its line end taken off) into the string items and
  // returns the fields found or a negative code; reports name line m_nLineNumber + 1.
  virtual int SplitLine(const char* begin, const char* end, int check);

  // The report code of a failure to make the string items (the codes are CatalogErrorInfo's).
  static constexpr int kReportTextSlots = 6;
  // Reports one memory- or line-mode condition (codes as CatalogErrorInfo's) for line `row`
  // (1-based): into the worker's record in memory mode, as a log line in line mode.
  void Report(int code, int a, int b, int c);
  void ReportText(int code, int row, const char* text);
  void ReportData(const char* name, const char* text, int row, int column);
  // The line status checks; see the .cpp.
  int CheckLineStatus(int code, int line, int length);
  int CheckMemStatus(int code, int line);
  bool IsSkipped(int position) const {
    return static_cast<size_t>(position) < m_Skip.size() && m_Skip[static_cast<size_t>(position)] != 0;
  }
  // Str2Data(i, row, text) after the field answered `code` (not 0): grows the buffers, reports,
  // counts the row. The final code.
  int ConvertAgain(int i, int row, const char* text, int code);
  void SetDefaults();
  void ReadCatalog();
  void CleanUpAfterParse(zpk_fstream* stream);
  int ParseFile(char* file);
  // One whole record of a window, split into `items` and spanning `lines` inner line ends: its
  // status.
  int ParseMemRecord(int items, int lines, int* row);
  // Counts one consumed record of `lines` inner line ends.
  void CountRecord(int lines);
  // One unit of the record scanner at p: the next state, the bytes taken (0 when a multibyte
  // character is cut by a buffer end that is not the source's) and whether an LF ended the record.
  Lex StepLex(Lex state, const char* p, const char* end, bool final, int* taken, bool* ended) const;
  // Bytes of the character at p for the scanner (1, or a multibyte character's; a line end is
  // never part of one); 0 when it is cut by a buffer end that is not the source's.
  int LexCharLength(const char* p, const char* end, bool final) const;
  // Line mode: creates the field items sized for the file (calcMemRows, or calcMemRowsEx with
  // from_rest), the sample line giving string lengths. The sample is the record at `sample` within
  // [sample, sample_end) (final: the source ends there).
  void CreateLineModeFields(const char* sample, const char* sample_end, bool final, int64_t avg_line,
                            int setting = -1, bool from_rest = false);
  // The same from the head of the source, [head, head + head_len): its first data record (the second
  // under cut-top) is the sample, its lines give the average length.
  void CreateLineModeFieldsFromHead(const char* head, size_t head_len, bool head_final, int setting = -1,
                                    bool from_rest = false);
  // Creates the field items of the catalog with the given row capacity; `setting` goes to each
  // field's constructor (-1: the catalog's field check).
  void CreateCatalogFields(int capacity, bool sample, int setting = -1);
  void BuildSeparatorTable();
  bool IsSep(char c) const { return m_SepTable[static_cast<unsigned char>(c)] != 0; }
  // Length of the multibyte character at p when the splitter must step over it (else 1).
  int CharLength(const char* p, const char* end) const;

  CCatalogParser* m_pCatalog = nullptr;
  std::vector<CPStr*> m_StrItems;
  std::vector<CField*> m_FieldItems;
  char m_szFileName[2048] = {};
  zpk_fstream* m_pStream = nullptr;
  char* m_pLineBuffer = nullptr;  // line mode, kLineBufferSize bytes while parse runs
  char m_chSeparator = ',';
  char m_chUserSep[5] = {};
  int m_nUserSepCount = 0;
  int m_nCharCode = 0;
  int m_nSplitType = 0;
  int m_nFieldCount = 0;      // catalog fields (non-skipped)
  int m_nFieldLineCount = 0;  // catalog field lines, skipped included
  int m_nErrorLogType = 1;
  int m_nCutTop = 0;
  int m_nFieldCheck = 1;
  int m_nRowCapacity = 0;
  int m_nRowCount = 0;
  int m_nRowsParsed = 0;
  int m_nRowSize = -1;
  int m_nLineNumber = 0;
  int m_nItemCount = 0;
  int m_nTableID = -1;
  // The average length of the source's first lines, as sampled for the row estimate (0: none).
  int64_t m_nSampleLineLength = 0;
  // Decimal parameters for append2DB (copied from setNumericParams).
  std::vector<int> m_NumericParam1;
  std::vector<int> m_NumericParam2;
  int m_nAppendFlag = 0;
  // Memory mode.
  int m_nMapped = 0;
  uint64_t m_nChunkStart = 0;
  uint64_t m_nChunkEnd = 0;
  uint64_t m_nLineStart = 0;
  uint64_t m_nWindowStart = 0;
  unsigned long m_nWindowLen = 0;
  unsigned long m_nWindowPos = 0;
  uint64_t m_nSpanEnd = 0;
  int m_nPendingRows = 0;
  // Quoted fields (and with them records of several lines): all but fixed-width text.
  bool m_bQuotes = true;
  int m_nWorker = 0;
  CatalogErrorInfo* m_pErrorInfo = nullptr;
  unsigned char m_SepTable[256] = {};
  int m_nSingleSep = -1;  // the separator byte when the table holds exactly one, else -1
  // Per field line of the catalog: 1 when it is skipped (copied at construction).
  std::vector<unsigned char> m_Skip;
  // Per field line: its width (fixed-width lines).
  std::vector<int> m_Widths;
  // 0: no multibyte stepping; 1: Shift_JIS / MS932 lead bytes; 2: MS949 / MS936 lead bytes.
  int m_nMbStep = 0;
};

class CCSVParser : public CTextParser {
 public:
  CCSVParser();
  explicit CCSVParser(CCatalogParser* catalog);
  ~CCSVParser() override;
};

class CTABParser : public CTextParser {
 public:
  CTABParser();
  explicit CTABParser(CCatalogParser* catalog);
  ~CTABParser() override;
};

class CUSRParser : public CTextParser {
 public:
  // Separators of value 0 are unused; with none at all no byte separates fields.
  CUSRParser(char s1, char s2, char s3, char s4, char s5);
  CUSRParser(CCatalogParser* catalog, char s1, char s2, char s3, char s4, char s5);
  ~CUSRParser() override;
};

class CFixedLengthParser : public CTextParser {
 public:
  CFixedLengthParser();
  explicit CFixedLengthParser(CCatalogParser* catalog);
  ~CFixedLengthParser() override;
  // A record is one line.
  int SplitRecord(const char* begin, const char* end, bool final, RecordSpan* span, int check) override;

 protected:
  int SplitLine(const char* begin, const char* end, int check) override;
};
