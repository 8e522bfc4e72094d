// CCatalogParser: reads a catalog file (the small text file that describes a source text file for
// import: its format, options, character code and one line per field) and drives the import of the
// source file described by it.
//
// Catalog layout, line by line (blanks and carriage returns are removed from every line first):
//   "//CSV", "//TAB", "//FIX", "//USR<tab>s1<tab>s2...", "//CUTTOP"   source format and options
//   "//ERROR<tab>STOP|CONTINUE|SKIPLINE|NONE", "//ERRORLOG<tab>name"  bad-line handling, log file
//   "//UTF8", "//SHIFT-JIS", ...                                      character code of the source
//   any other "//" line                                                a comment
//   type<tab>size<tab>name[<tab>param1[<tab>param2]]                   a field line; a token SKIP
//                                                                      after the name skips the field
// Type letters: A string, I integer, F double, D date (param1 "D1".."D14"), T time (param1
// "T1".."T4"), E datetime (date code, time code), N decimal (scale 0..38, rounding-mode name).
//
// Roads: a parser built with multiThread = 1 imports on the worker pool (CCMultiThreadImport), into
// a new table or, after SetAppendTableID, into an existing one; a single-thread parser runs one of
// the line parsers (CTextParser.h) over the source, and write2DB / append2DB hand the columns over.
//
// Lifecycle: construct (the class-wide source path becomes "SrcData.dat"), optionally setSrcFile /
// setTableNameOverride / SetAppendTableID / setAppendPos, init(), then parse() or parse_txt(), then
// optionally write2DB() or append2DB(), then destroy. The parser owns the line parser it creates.
//
// Errors: every catalog error is written as one line to the catalog message log (CErrorLog) and
// returned as a negative code: Q7_ERROR_ILLEGAL_FILE_NAME (catalog missing), Q7_CATALOG_PARSE_ERROR
// (format errors of every kind, more than kMaxFieldLines field lines included),
// Q7_ERROR_UNDEFINED_FILTER_TYPE (unknown type letter), Q7_ERROR_ILLEGAL_TABLE_NAME (title too long),
// Q7_ERROR_DATA_TYPE_MISMATCH (append to a filter of another type), Q7_ERROR_INVALID_PARAMETER
// (negative row size). No exception leaves a public operation that returns an int.
//
// Thread safety: one parser per import, on one thread; the import runs under the API lock (the
// class-wide source path and the working directory are process-wide). During a parallel import the
// workers only read the parser (the getters below) and each writes only its own ErrorInfoList()
// record.
#pragma once

#include <vector>

class CTextParser;
class CatalogErrorInfo;
class zpk_fstream;

class CCatalogParser {
 public:
  // Field lines (skipped ones included) a catalog may hold; one more fails with
  // Q7_CATALOG_PARSE_ERROR.
  static constexpr int kMaxFieldLines = 512;
  // Non-skipped fields a catalog may hold.
  static constexpr int kMaxFields = 512;
  // Longest field name and table title, in bytes (without the NUL).
  static constexpr int kMaxNameLength = 255;
  // Size of the class-wide source path buffer (a longer setSrcFile path is refused).
  static constexpr int kSrcFileSize = 2048;
  // Largest field width under "//FIX" (one less than the line parsers' text slot).
  static constexpr int kMaxFixedWidth = 4095;

  CCatalogParser();
  // multiThread = 1: the parallel road; 0: single-thread.
  explicit CCatalogParser(int multiThread);
  virtual ~CCatalogParser();
  CCatalogParser(const CCatalogParser&) = delete;
  CCatalogParser& operator=(const CCatalogParser&) = delete;

  // readInfo, the title from the catalog path, then the import: on the parallel road the
  // importer's result (new table ID, or rows appended); on the single-thread road the rows parsed
  // (write2DB makes the table afterwards). A negative code on failure.
  virtual int parse(char* catalogPath);
  // The single-thread append: readInfo, verifyItems(tableID), processSRCFile(rowSize). rowSize < 0
  // fails with Q7_ERROR_INVALID_PARAMETER. Returns the rows parsed.
  virtual int parse_txt(char* catalogPath, int tableID, int rowSize);

  // Resets per-import state, removes "catalog_err_log.txt" in the working directory, asks the
  // catalog message log for a new banner and names it "catalog_err_log.txt".
  void init();
  // Reads the catalog: the number of non-skipped fields, or a negative code.
  int readInfo(char* catalogPath);
  // Compares the catalog's fields with the table's filters: 0, Q7_CATALOG_PARSE_ERROR (count
  // mismatch, unless the error mode is CONTINUE), Q7_ERROR_DATA_TYPE_MISMATCH, or the code of the
  // table lookup. May lower getFieldCount() to the table's filter count.
  int verifyItems(int tableID);
  // Runs the line parser for the split type over getSrcFile(); its row count or a negative code.
  int processSRCFile(int rowSize);
  // New table from the parsed columns (its ID), or into the target table in append mode; 0 when
  // nothing was parsed.
  int write2DB();
  // Appends the parsed columns to the target table at position (-1: after the last row).
  int append2DB(int position);
  // Append mode into tableID: 0, or Q7_ERROR_NO_SUCH_TABLE.
  int SetAppendTableID(int tableID);

  void setFieldCheck(int check) { m_nFieldCheck = check; }
  void setSplitType(int type) { m_nSplitType = type; }
  void setRowSize(int rows) { m_nRowSize = rows; }
  void setErrorLogType(int mode) { m_nErrorLogType = mode; }
  // Replaces the class-wide source path until the next construction. A null path is ignored; a
  // path of kSrcFileSize bytes or more returns Q7_ERROR_ILLEGAL_FILE_NAME. Returns 0 otherwise.
  static int setSrcFile(const char* path);
  static const char* getSrcFile() { return m_szSrcFile; }
  void setAppendFlag(int flag) { m_nAppendFlag = flag; }
  void setAppendPos(int pos) { m_nAppendPos = pos; }
  // The name the new table takes instead of the title (null or empty: the title). A name longer
  // than kMaxNameLength is cut.
  void setTableNameOverride(const char* name);

  // ---- Read by the line parsers and the parallel importer ----
  int getSplitType() const { return m_nSplitType; }        // 0 none, 1 TAB, 2 CSV, 3 FIX, 4 USR
  int getErrorLogType() const { return m_nErrorLogType; }  // 0 NONE, 1 STOP, 2 CONTINUE, 3 SKIPLINE
  int getFieldCheck() const { return m_nFieldCheck; }
  int getCutTop() const { return m_nCutTop; }
  // Non-skipped fields after a successful readInfo (and verifyItems).
  int getFieldCount() const { return m_nFieldCount; }
  // All field lines read, skipped ones included.
  int getFieldLineCount() const { return m_nFieldLineCount; }
  // By field-line position (0-based); 0 for a position outside the catalog.
  int isSkipped(int line) const;
  int getLineSize(int line) const;
  // By field number (0-based, skipped lines take no number); 0 / "" outside the fields.
  int getFieldType(int field) const;
  const char* getFieldName(int field) const;
  int getParam1(int field) const;  // date code (D, E), time code (T) or scale (N)
  int getParam2(int field) const;  // time code (E) or rounding mode (N)
  const int* getParam1List() const { return m_nParam1; }
  const int* getParam2List() const { return m_nParam2; }
  const char* getUserSeparators() const { return m_chUserSep; }  // five bytes, 0 = none
  int getCodeType() const { return m_chCodeType; }
  const char* getTitleName() const { return m_szTitleName; }
  // Empty when the title is used.
  const char* getTableNameOverride() const { return m_szTableName; }
  int getTargetTableID() const { return m_nTargetTableID; }
  int getAppendFlag() const { return m_nAppendFlag; }
  int getAppendPos() const { return m_nAppendPos; }
  int getImportedRows() const { return m_nImportedRows; }
  int isMultiThread() const { return m_nMultiThread; }
  const char* getWorkDir() const { return m_szWorkDir; }
  // The parallel importer creates and deletes the records; the list itself belongs to the parser.
  std::vector<CatalogErrorInfo*>& ErrorInfoList() { return m_ErrorInfoList; }

  // The source data file path, "SrcData.dat" (relative to the working directory) after each
  // construction.
  static char m_szSrcFile[kSrcFileSize];

 private:
  void SetDefaults(int multiThread);
  int ReadInfoLines(char* catalogPath, zpk_fstream& stream);
  int ReadDirective(char* line);
  int ReadFieldLine(char* line, const char* catalog_name);
  void ReadFileOption(const char* line);
  void ReadImportOption(const char* line);
  bool ReadCodeType(const char* line);
  int ProcessSRCFileUnchecked(int rowSize);

  CTextParser* m_pTextParser = nullptr;
  int m_nAppendPos = -1;
  char m_szWorkDir[512] = {};
  char m_szFieldName[kMaxFields][kMaxNameLength + 1] = {};
  int m_nParam2[kMaxFields] = {};
  int m_nParam1[kMaxFields] = {};
  char m_szTitleName[kMaxNameLength + 1] = {};
  int m_nLineCount = 0;
  int m_nFieldType[kMaxFields] = {};
  int m_nLineSize[kMaxFieldLines] = {};
  int m_nFieldCheck = 1;
  int m_nSplitType = 0;
  char m_chUserSep[5] = {};
  int m_nErrorLogType = 1;
  int m_nFieldCount = 0;
  int m_nFieldLineCount = 0;
  int m_nCutTop = 0;
  int m_nAppendFlag = 0;
  int m_nTargetTableID = -1;
  int m_nImportedRows = 0;
  int m_nRowSize = -1;
  unsigned char m_chCodeType = 0;
  unsigned char* m_pSkipFlags = nullptr;  // kMaxFieldLines bytes, allocated by readInfo
  int m_nMultiThread = 0;
  char m_szTableName[kMaxNameLength + 1] = {};
  std::vector<CatalogErrorInfo*> m_ErrorInfoList;
};
