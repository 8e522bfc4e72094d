// Typed field buffers: the converted values of one catalog field while a source file is parsed.
// The line parser hands a buffer each field text of each row (Str2Data); the buffer converts the
// text to its value type and stores it. At the end the buffer becomes a new filter of a table
// (write2DB), is appended to an existing filter (append2DB), or is compiled into value numbers and
// a value list (Compile, after each memory window of the parallel import).
//
// Data layout: capacity + 1 elements of the type's width; element 0 holds the type's NULL and row
// r (0-based) is element r + 1. One class per value type:
//   CInt_Field 2 "INTEGER" (4 bytes, NULL 0x80000000), CDouble_Field 3 "DOUBLE" (8, minus
//   infinity), CDate_Field 4 "DATE", CTime_Field 5 "TIME", CDateTime_Field 7 "DATETIME" (as
//   DOUBLE), CStr_Field 6 "STRING" (8, a text of the buffer's pool; NULL the empty text),
//   CNumeric_Field 8 "DECIMAL" (16, the decimal NaN).
//
// Rows: Str2Data(row, text) stores into row `row` without counting it; the caller counts each row
// it has converted (countRow, or setRowCount) as the line parser does. Rows below the row count that
// were never stored read as NULL. The row count must stay within the capacity.
//
// Blank numbers: for every type but STRING, leading blanks and commas are skipped and the other
// commas dropped (thousands separators); a text that is then empty stores the type's NULL without
// an error, whatever the check flag says. The caller's text is never written.
//
// Failures: allocations throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY). Str2Data, Compile, write2DB,
// append2DB and merge return codes (listed at each) and throw only Q7_ERROR_OUT_OF_MEMORY.
// write2DB and append2DB need the registered task services (import/ImportTask.h); without them they
// return Q7_ERROR_UNKNOWN.
//
// Ownership: a buffer owns its element block, its text pool and its compiled arrays (until taken
// with TakeCompiled). Thread safety: one thread uses a buffer at a time; buffers of different
// workers are independent (Str2Data and Compile write no shared state and no error ring).
#pragma once

#include <cstddef>
#include <cstdint>

#include "q7api.h"

class TBaseArray;
class TIntArray;

// Where a string buffer asks how many rows are still to come when its text pool runs out: the line
// parser that owns the buffer (from its mapped window, or from the file monitor in line mode).
class CFieldOwner {
 public:
  virtual ~CFieldOwner() = default;
  // Rows still to come after `rows` stored rows, for texts of average length `avg`; at least 0.
  virtual long RemainingRowsEstimate(int rows, long avg) = 0;
};

class CField {
 public:
  static constexpr int kDefaultFilterPos = 1024;  // after the last filter
  static constexpr int kNameSize = 256;

  virtual ~CField();
  CField(const CField&) = delete;
  CField& operator=(const CField&) = delete;

  // Converts text (null: NULL) and stores it in row `row`. Returns 0; Q7_ERROR_INVALID_DATA when the
  // conversion failed and the check flag is set (with the flag off the converter's value is
  // stored); Q7_ERROR_NULL_DATA when row is not in 0 .. capacity - 1 (nothing stored).
  virtual int Str2Data(int row, const char* text) = 0;
  virtual const char* getTypeName() const = 0;
  int getType() const { return m_nType; }
  // Allocates `rows` rows (the old block and rows are dropped); rows < 1 does nothing and returns 0.
  // Returns the capacity.
  virtual int alloc(int rows);
  // alloc, recording the cached row capacity. Returns the rows.
  virtual int CreateMemCache(int rows);
  // Appends the other buffer's rows after this one's (same type, else
  // Q7_ERROR_FILTER_TYPE_MISMATCH); the capacity becomes both row counts + 5. Returns the capacity.
  virtual int merge(CField* other);
  // Adds `rows` rows of capacity (rows < 1: nothing). Returns the capacity.
  int realloc(int rows);

  // Counts one stored row: the row count rises by one, the cached row capacity falls by one.
  void countRow() {
    ++m_nRows;
    --m_nCacheRows;
  }
  void setRowCount(int rows) { m_nRows = rows; }
  int getRowCount() const { return m_nRows; }
  int getCapacity() const { return m_nCapacity; }
  int getCacheRows() const { return m_nCacheRows; }
  void setCacheRows(int rows) { m_nCacheRows = rows; }
  int getCheck() const { return m_nCheck; }
  void setCheck(int check) { m_nCheck = check; }
  int getWidth() const { return m_nWidth; }
  // Kept to kNameSize - 1 bytes; null sets the empty name.
  void setFilterName(const char* name);
  const char* getFilterName() const { return m_szName; }
  void setFilterPos(int pos) { m_nFilterPos = pos; }
  int getFilterPos() const { return m_nFilterPos; }
  void setParser(CFieldOwner* owner) { m_pOwner = owner; }
  CFieldOwner* getParser() const { return m_pOwner; }
  // Element 0 (the NULL), then rows 0 .. capacity - 1. A string buffer's elements are internal
  // until write2DB or append2DB has turned them into text addresses.
  void* getData() const { return m_pData; }

  // Compiles the stored rows into value numbers and a value list and merges them into what earlier
  // calls compiled (the value numbers of earlier rows are renumbered), so that compiling window by
  // window gives the lists one compile of all rows would give. The compiled row count grows by the
  // row count, which is reset to 0 (the next window refills from row 0). Returns 0, or the code of
  // the failure (Q7_ERROR_UNKNOWN for one that is not an engine exception; the row count is reset
  // and the result of earlier calls kept).
  int Compile();
  // The compiled result: compiled rows + 1 value numbers (entry 0 is the NULL's, 0) and the value
  // list, both owned by the buffer; null before the first Compile.
  TIntArray* getCompiledVNo() const { return m_pVNo; }
  TBaseArray* getCompiledList() const { return m_pVList; }
  int getCompiledRows() const { return m_nCompiledRows; }
  // Hands the compiled arrays to the caller (who deletes them) and forgets them.
  void TakeCompiled(TIntArray** vno, TBaseArray** list, int* rows);
  // The stored rows as raw values of the type (row 0 first; rows below the row count that were
  // never stored are made NULL), for a caller that compiles several buffers' rows as one column.
  // Valid until the buffer next changes. Not for STRING buffers, whose elements are internal.
  const void* RawRows();
  // A value list of the buffer's type and attributes (date and time codes, decimal scale and
  // mode) over a compile's output list of `count` entries, which it adopts (freed on failure too).
  TBaseArray* NewValueList(int count, void* list);

  // Adds the rows to the table as a new filter at the filter position (AddRealFilter2 with raw
  // data): its result (the new filter's ID or a negative code). The buffer stays the caller's.
  int write2DB(int table);
  // Appends the rows to a filter from record `position` (-1: after the last). The number of values
  // appended or a negative code; a buffer without rows appends nothing and returns 0.
  int append2DB(int table, int filter, int position);
  int append2DBNumeric(int table, int filter, int position, int scale, int mode);

 protected:
  CField(int check, int type, int width, const char* name);
  CField(int type, int width);
  CField(int check, int type, int width);

  // Writes the type's NULL into elements [from, to).
  virtual void PutNulls(int from, int to) = 0;
  // The raw block for Compile / write2DB / append2DB: elements 0 .. n as values of the type.
  // Strings turn their pool offsets into addresses here, and back in AfterUse.
  virtual void* RawForUse(int) { return m_pData; }
  virtual void AfterUse(int) {}
  // The value list of a compile's output block (adopted on success).
  virtual TBaseArray* MakeValueList(int count, void* list) = 0;
  // Copies the type's attributes (date codes, decimal info) onto a list the compile made.
  virtual void SetListAttributes(TBaseArray* list) const;
  // After a compile: forget what the rows referred to (strings empty their pool).
  virtual void AfterCompile() {}
  // Checks the row for Str2Data and notes it as stored; false when it is beyond the capacity.
  // Inline: it runs for every field of every row.
  bool ClaimRow(int row) {
    if (m_pData == nullptr || row < 0 || row >= m_nCapacity) return false;
    if (row > m_nStored) PutNulls(m_nStored + 1, row + 1);
    if (row >= m_nStored) m_nStored = row + 1;
    return true;
  }
  // NULL into every row below the row count that was never stored.
  void FillUnstored();
  char* Element(int i) const { return static_cast<char*>(m_pData) + static_cast<size_t>(i) * m_nWidth; }
  void ResizeElements(int capacity);

  int32_t m_nRows = 0;
  int32_t m_nCacheRows = 0;
  CFieldOwner* m_pOwner = nullptr;
  char m_szName[kNameSize] = {};
  TIntArray* m_pVNo = nullptr;
  TBaseArray* m_pVList = nullptr;
  int32_t m_nCompiledRows = 0;
  void* m_pData = nullptr;
  size_t m_nBlockBytes = 0;  // the scratch block's real size
  int32_t m_nCapacity = 0;
  int32_t m_nStored = 0;  // rows 0 .. m_nStored - 1 hold a value (stored or NULL-filled)
  int32_t m_nCheck = 0;
  int32_t m_nType = 0;
  int32_t m_nWidth = 0;
  int32_t m_nFilterPos = kDefaultFilterPos;
};

class CInt_Field : public CField {
 public:
  CInt_Field();
  explicit CInt_Field(int rows);
  CInt_Field(int check, const char* name);
  CInt_Field(int check, int rows, const char* name);
  int Str2Data(int row, const char* text) override;
  const char* getTypeName() const override { return "INTEGER"; }

 protected:
  void PutNulls(int from, int to) override;
  TBaseArray* MakeValueList(int count, void* list) override;

 private:
  // Str2Data past the plain forms, out of line so that the plain forms stay short.
  int Str2DataGeneral(int row, const char* text);
};

class CDouble_Field : public CField {
 public:
  CDouble_Field();
  explicit CDouble_Field(int rows);
  CDouble_Field(int check, const char* name);
  CDouble_Field(int check, int rows, const char* name);
  int Str2Data(int row, const char* text) override;
  const char* getTypeName() const override { return "DOUBLE"; }
  // The date format code (1..14, 0 none) and time format code (1..4, 0 none) of the catalog.
  void setDateFormat(int code) { m_nDateFormat = code; }
  void setTimeFormat(int code) { m_nTimeFormat = code; }
  int getDateFormat() const { return m_nDateFormat; }
  int getTimeFormat() const { return m_nTimeFormat; }

 protected:
  CDouble_Field(int check, int type, int rows, const char* name);
  // The converter of the type; sets *err on failure.
  virtual double Convert(const char* text, int* err) const;
  void PutNulls(int from, int to) override;
  TBaseArray* MakeValueList(int count, void* list) override;
  void SetListAttributes(TBaseArray* list) const override;

  int32_t m_nDateFormat = 0;
  int32_t m_nTimeFormat = 0;

 private:
  // Str2Data past the plain forms, out of line so that the plain forms stay short.
  int Str2DataGeneral(int row, const char* text);
};

class CDate_Field : public CDouble_Field {
 public:
  CDate_Field();
  explicit CDate_Field(int rows);
  CDate_Field(int check, const char* name);
  CDate_Field(int check, int rows, const char* name);
  const char* getTypeName() const override { return "DATE"; }

 protected:
  double Convert(const char* text, int* err) const override;
};

class CTime_Field : public CDouble_Field {
 public:
  CTime_Field();
  explicit CTime_Field(int rows);
  CTime_Field(int check, const char* name);
  CTime_Field(int check, int rows, const char* name);
  const char* getTypeName() const override { return "TIME"; }

 protected:
  double Convert(const char* text, int* err) const override;
};

class CDateTime_Field : public CDouble_Field {
 public:
  CDateTime_Field();
  explicit CDateTime_Field(int rows);
  CDateTime_Field(int check, const char* name);
  CDateTime_Field(int check, int rows, const char* name);
  const char* getTypeName() const override { return "DATETIME"; }
  // Without the check flag and without format codes, a date or time part that does not read makes
  // the value NULL (Str2DateTimeOrNull) instead of counting as 0: for the single-column files,
  // which have no error mode. The catalog roads leave it off, so //ERROR NONE keeps its reading.
  void SetBadPartIsNull(bool on) { m_bBadPartIsNull = on; }

 protected:
  double Convert(const char* text, int* err) const override;

 private:
  bool m_bBadPartIsNull = false;
};

class CStr_Field : public CField {
 public:
  static constexpr int64_t kMinPool = 10000;
  static constexpr int kMinAverage = 5;
  static constexpr int kMaxAverage = 4095;

  CStr_Field();
  explicit CStr_Field(int rows);
  CStr_Field(int check, const char* name);
  CStr_Field(int check, int rows, const char* name);
  ~CStr_Field() override;
  // Copies the text (null: the empty text) into the pool and stores it in row `row`. Returns 0, or
  // Q7_ERROR_NULL_DATA when row is beyond the capacity.
  int Str2Data(int row, const char* text) override;
  const char* getTypeName() const override { return "STRING"; }
  // Allocates rows + 1 addresses and a pool of max(10000, average estimate * rows) bytes.
  int alloc(int rows) override;
  int merge(CField* other) override;
  // Updates the average text length estimate from a sample text (null: empty): length + estimate
  // + 1, halved when `halve` is set, held within 5 .. 4095.
  void AvrStrLen(const char* sample, int halve);
  int getAverage() const { return m_nAverage; }
  int64_t getPoolCapacity() const { return m_nPoolCapacity; }
  int64_t getPoolUsed() const { return m_nPoolUsed; }

  // The shared empty text of every string NULL.
  static char* NullText();

 protected:
  void PutNulls(int from, int to) override;
  void* RawForUse(int n) override;
  void AfterUse(int n) override;
  TBaseArray* MakeValueList(int count, void* list) override;
  void AfterCompile() override;

 private:
  void GrowPool(size_t needed);

  int64_t m_nPoolCapacity = 0;
  int32_t m_nAverage = kMinAverage;
  char* m_pPool = nullptr;
  int64_t m_nPoolUsed = 0;
};

class CNumeric_Field : public CField {
 public:
  static constexpr int kDefaultScale = 6;
  static constexpr int kDefaultRoundingMode = Q7_ROUND_HALF_UP;

  CNumeric_Field();
  explicit CNumeric_Field(int rows);
  CNumeric_Field(int check, const char* name);
  CNumeric_Field(int check, int rows, const char* name);
  // Reads the number at the field's scale and rounding mode; a failure, or text other than blanks
  // left after the number, stores NaN and counts as a failure.
  int Str2Data(int row, const char* text) override;
  const char* getTypeName() const override { return "DECIMAL"; }
  void setNumericInfo(int scale, int mode) {
    m_info.scale = scale;
    m_info.roundingMode = mode;
  }
  const NumericInfo& getNumericInfo() const { return m_info; }

 protected:
  void PutNulls(int from, int to) override;
  TBaseArray* MakeValueList(int count, void* list) override;
  void SetListAttributes(TBaseArray* list) const override;

 private:
  NumericInfo m_info{kDefaultScale, kDefaultRoundingMode};
  // Str2Data past the plain forms, out of line so that the plain forms stay short.
  int Str2DataGeneral(int row, const char* text);
};

// The buffer class of a value type 2..8 (check flag, name, no rows allocated). Any other type
// throws CQ7Exception(Q7_ERROR_INVALID_DATA_TYPE) without a ring entry.
CField* CreateField(int type, int check, const char* name);
// The type word ("INTEGER" ... "DECIMAL") of a type 2..8, null for any other.
const char* FieldTypeName(int type);

// The line parser's text slot for one field: up to 4096 characters and a NUL, empty at first.
class CPStr {
 public:
  static constexpr size_t kSize = 4097;
  CPStr() { m_szData[0] = '\0'; }
  // Copies text in, cut to kSize - 1 characters; null is ignored.
  void setData(const char* text);
  // Copies len bytes (cut to kSize - 1) and a NUL.
  void setData(const char* text, size_t len);
  char* getData() { return m_szData; }

 private:
  char m_szData[kSize];
};
