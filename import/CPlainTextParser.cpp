// The reader of single-column files: one value per line, or texts of fixed width.
#include "import/CPlainTextParser.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/zpk_fstream.h"
#include "import/CCatalogParser.h"
#include "import/ImportText.h"
#include "q7api.h"

namespace {

// Line mode reads a line of up to kReadBuffer - 1 bytes at once. The longest line that can still
// hold a text that fits is the text, two quotes, CR and LF; a line that does not end within the
// buffer is far longer and fails as an overflow without being read on.
constexpr int kReadBuffer = CTextParser::kStrItemSize + 6;
static_assert(kReadBuffer - 1 >= CTextParser::kMaxFieldBytes + 4);

// The text of a line whose line end is taken off: one pair of enclosing quotes goes.
void Unquote(const char** text, size_t* len) {
  if (*len >= 2 && (*text)[0] == '"' && (*text)[*len - 1] == '"') {
    ++*text;
    *len -= 2;
  }
}

// Takes the LF and a CR directly before it off a line read with its line end (in place); true
// when there was an LF.
bool StripLineEnd(char* line, size_t* len) {
  if (*len == 0 || line[*len - 1] != '\n') return false;
  line[--*len] = '\0';
  if (*len > 0 && line[*len - 1] == '\r') line[--*len] = '\0';
  return true;
}

// The file monitor describes the file being read for the row estimates of the field buffers; it
// must never point at a stream that has gone.
class MonitorScope {
 public:
  MonitorScope(zpk_fstream* stream, int64_t size, int expected) : monitor_(CFileMonitor::Instance()) {
    monitor_->m_pStream = stream;
    monitor_->m_nFileSize = size;
    monitor_->m_nReadBytes = 0;
    monitor_->m_nExpectedRows = expected;
  }
  ~MonitorScope() {
    monitor_->m_pStream = nullptr;
    monitor_->m_nExpectedRows = 0;
  }
  MonitorScope(const MonitorScope&) = delete;
  MonitorScope& operator=(const MonitorScope&) = delete;
  CFileMonitor* get() const { return monitor_; }

 private:
  CFileMonitor* monitor_;
};

// The first line's text of a file (empty when it cannot be read), for the string pool's estimate.
void FirstLineText(const char* file, CPStr* out) {
  out->setData("");
  zpk_fstream fs;
  if (file == nullptr || fs.open(file, "rb", 1) != 0) return;
  std::unique_ptr<char[]> line(new char[kReadBuffer]);
  if (fs.gets(line.get(), kReadBuffer) == nullptr) return;
  size_t len = strlen(line.get());
  StripLineEnd(line.get(), &len);
  const char* text = line.get();
  Unquote(&text, &len);
  out->setData(text, len);
}

uint32_t BigEndian32(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

// ---- Construction ----

CPlainTextParser::CPlainTextParser() {
  m_nSplitType = 0;
  m_nFieldCount = 1;
}

CPlainTextParser::CPlainTextParser(CCatalogParser* catalog) : CTextParser(catalog) {
  m_nSplitType = 0;
  m_nFieldCount = 1;
}

CPlainTextParser::CPlainTextParser(int type) : m_nType(type) {
  m_nSplitType = 0;
  m_nFieldCount = 1;
}

CPlainTextParser::~CPlainTextParser() = default;

// ---- One line ----

int CPlainTextParser::parseLine(char* line, int /*check*/) {
  const char* text = line != nullptr ? line : "";
  size_t len = strlen(text);
  Unquote(&text, &len);
  if (len >= static_cast<size_t>(kStrItemSize)) {
    // Workers never write the error ring; their caller reports the code.
    if (m_nMapped == 0) PutErrorLog("parseLine", Q7_ERROR_DATA_OVERFLOW, "StringSize overflow");
    return Q7_ERROR_DATA_OVERFLOW;
  }
  if (m_StrItems.empty()) createStrItems();
  m_StrItems[0]->setData(text, len);
  m_nItemCount = 1;
  return 1;
}

// ---- Line mode ----

int CPlainTextParser::parse_txt(const char* file, int type, int rows, int field) {
  return parse_txt2(file, file, type, rows, field);
}

int CPlainTextParser::parse_txt2(const char* file, const char* name, int type, int rows, int field) {
  return ReadColumn(file, "parse_txt2", rows, field,
                    [&] { return createFieldItems(file, name, type, rows); });
}

int CPlainTextParser::parse_numeric(const char* file, int rows, int scale, int mode, int field) {
  return ReadColumn(file, "parse_numeric", rows, field,
                    [&] { return createFieldItems_numeric(file, file, rows, scale, mode); });
}

template <class Make>
int CPlainTextParser::ReadColumn(const char* file, const char* log_name, int rows, int field, Make&& make) {
  if (file == nullptr || file[0] == '\0') {
    PutErrorLog(log_name, Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : pFileName");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (rows < -1) {
    PutErrorLog(log_name, Q7_ERROR_INVALID_PARAMETER, getString("Invalid Parameter : nRows(%d)", rows));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  int result;
  try {
    m_nMapped = 0;
    SetFileName(file);
    if (field == 0) {
      freeMem();
      createStrItems();
    } else if (m_StrItems.empty()) {
      createStrItems();
    }
    result = make();
    if (result >= 0) result = ReadLines(file, rows, field);
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = Q7_ERROR_OUT_OF_MEMORY;
  }
  // Nothing read is kept after a failure.
  if (result < 0) freeMem();
  return result;
}

int CPlainTextParser::ReadLines(const char* file, int rows, int field) {
  zpk_fstream fs;
  if (fs.open(file, "rb", 1) != 0) {
    LogMsg("FILE  [%s] MISSING ", file);
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  const int64_t size = SourceSize(file);
  const MonitorScope monitor(&fs, size, rows > 0 ? rows : 0);
  std::unique_ptr<char[]> line(new char[kReadBuffer]);
  m_nRowsParsed = 0;
  m_nRowCount = 0;
  m_nLineNumber = 0;
  int r = 0;
  while (rows == -1 || r < rows) {
    if (fs.gets(line.get(), kReadBuffer) == nullptr) {
      // Fewer bytes than the file held when it was opened: the rows read would pass for the whole.
      if (ftell64(fs.handle()) < size) throw CQ7Exception(Q7_ERROR_FILE_OPERATION_FAILED);
      break;
    }
    size_t len = strlen(line.get());
    if (r == 0) {
      const size_t mark = Utf8MarkLength(m_nCharCode, line.get(), len);
      std::memmove(line.get(), line.get() + mark, len - mark + 1);
      len -= mark;
    }
    monitor.get()->m_nReadBytes += static_cast<int64_t>(len);
    m_nLineNumber = r;
    int status;
    if (!StripLineEnd(line.get(), &len) && fs.eof() == 0) {
      // The line does not end within the buffer: no text that long fits a row.
      PutErrorLog("parseLine", Q7_ERROR_DATA_OVERFLOW, "StringSize overflow");
      status = Q7_ERROR_DATA_OVERFLOW;
    } else {
      status = parseLine(line.get(), 1);
    }
    CheckLineStatus(status, r, 0);
    CheckLineStatus(Str2Data(field, r, m_StrItems[0]->getData()), r, 0);
    if (r == INT_MAX - 1) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
    ++r;
    m_nRowsParsed = r;
    m_nRowCount = r;
    --m_nRowCapacity;
  }
  const int total = std::max(r, rows);
  CField* target = getFieldItem(field);
  if (target != nullptr) {
    if (target->getCapacity() < total) target->realloc(total - target->getCapacity());
    target->setRowCount(total);
  }
  return total;
}

int64_t CPlainTextParser::SourceSize(const char* file) const { return getFileSize2(file); }

int CPlainTextParser::parse_bin(const char* file, int type, int rows) {
  constexpr char kLog[] = "parse_bin";
  if (type != Q7_TYPE_STRING) {
    PutErrorLog(kLog, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : nType");
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (file == nullptr) {
    PutErrorLog(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : pFileName");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (file[0] == '\0') {
    PutErrorLog(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : pFileName size");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (rows < 0) {
    PutErrorLog(kLog, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : nRows");
    return Q7_ERROR_INVALID_PARAMETER;
  }
  int result;
  try {
    size_t size = 0;
    std::unique_ptr<char[]> data;
    const int read = ReadWholeFile(file, &data, &size);
    if (read == Q7_ERROR_ILLEGAL_FILE_NAME) {
      PutErrorLog(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to open file");
      return Q7_ERROR_ILLEGAL_FILE_NAME;
    }
    if (read < 0) throw CQ7Exception(read);
    m_nMapped = 0;
    SetFileName(file);
    freeMem();
    createStrItems();
    result = genItemVector(0, Q7_TYPE_STRING, "aaa");
    if (result >= 0) {
      getFieldItem(0)->setParser(this);
      CreateMemoryCache(rows);
      // Each length is checked against what is left of the file before its text is taken.
      auto* bytes = reinterpret_cast<unsigned char*>(data.get());
      const bool cut = rows > 0 && size < static_cast<size_t>(kLengthBytes);
      size_t pos = 0;
      int taken = 0;
      result = 0;
      while (!cut && taken < rows && size - pos >= static_cast<size_t>(kLengthBytes)) {
        const uint32_t len = BigEndian32(bytes + pos);
        pos += kLengthBytes;
        if (len > size - pos) {
          result = Q7_CATALOG_PARSE_ERROR;
          break;
        }
        // The text is ended in place for the copy (the buffer holds one byte past the file).
        char* text = data.get() + pos;
        const char kept = text[len];
        text[len] = '\0';
        const int r = Str2Data(0, taken, text);
        text[len] = kept;
        if (r < 0) throw CQ7Exception(r);
        pos += len;
        ++taken;
      }
      if (cut || result == Q7_CATALOG_PARSE_ERROR) {
        PutErrorLog(kLog, Q7_CATALOG_PARSE_ERROR, "Failed to parse catalog");
        result = Q7_CATALOG_PARSE_ERROR;
      } else {
        SetRows(rows);
        result = rows;
      }
    }
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = Q7_ERROR_OUT_OF_MEMORY;
  }
  if (result < 0) freeMem();
  return result;
}

// ---- Field buffers ----

void CPlainTextParser::NullBadDateTimeParts(CField* field) const {
  // A file of one column has no error mode to report a value that does not read: a date-time whose
  // date or time part is none is NULL, as a date or time that is none, not 1899/12/30 or midnight.
  if (m_pCatalog == nullptr && field->getType() == Q7_TYPE_DATETIME)
    static_cast<CDateTime_Field*>(field)->SetBadPartIsNull(true);
}

int CPlainTextParser::createFieldItems(const char* file, const char* name, int type, int rows) {
  try {
    const int check = m_pCatalog != nullptr ? m_pCatalog->getFieldCheck() : 0;
    const int made = genItemVector(check, type, name);
    if (made < 0) {
      freeMem();
      return made;
    }
    CField* field = m_FieldItems.back();
    field->setParser(this);
    NullBadDateTimeParts(field);
    if (type == Q7_TYPE_STRING) {
      CPStr sample;
      FirstLineText(file, &sample);
      static_cast<CStr_Field*>(field)->AvrStrLen(sample.getData(), 0);
    }
    const int capacity = rows == -1 ? calcMemRows(file) : rows;
    field->CreateMemCache(capacity);
    m_nRowCapacity = capacity;
    return capacity;
  } catch (const CQ7Exception& e) {
    freeMem();
    return e.ErrorCode();
  } catch (...) {
    freeMem();
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}

int CPlainTextParser::createFieldItems_numeric(const char* file, const char* name, int rows, int scale,
                                               int mode) {
  const int capacity = createFieldItems(file, name, Q7_TYPE_DECIMAL, rows);
  if (capacity >= 0) static_cast<CNumeric_Field*>(m_FieldItems.back())->setNumericInfo(scale, mode);
  return capacity;
}

int CPlainTextParser::calcMemRows(const char* file) {
  const int64_t lines = get_AverageLines(file);
  m_nRowCapacity = std::max(ClampRows(lines + lines / 100), 5);
  return m_nRowCapacity;
}

int CPlainTextParser::WriteFilter(int table) {
  CField* field = getFieldItem(0);
  if (field == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  const int id = field->write2DB(table);
  if (id == Q7_ERROR_OUT_OF_MEMORY) {
    LogMsg("ADD FILTER FAILED \t\t----->\t = %s\t Q7_ERROR_OUT_OF_MEMORY", field->getFilterName());
  } else if (id < 0) {
    LogMsg("ADD FILTER FAILED \t\t----->\t = %s\t ErrorCode = %d", field->getFilterName(), id);
  }
  freeItemVector();
  return id;
}

void CPlainTextParser::SetRows(int rows) {
  for (CField* field : m_FieldItems) {
    if (field->getCapacity() < rows) field->realloc(rows - field->getCapacity());
    field->setRowCount(rows);
  }
}

int CPlainTextParser::merge(CPlainTextParser* other) {
  if (other == nullptr || other == this || other->getFieldItemCount() != getFieldItemCount())
    return Q7_ERROR_FILTER_TYPE_MISMATCH;
  for (int i = 0; i < getFieldItemCount(); ++i) {
    const int r = getFieldItem(i)->merge(other->getFieldItem(i));
    if (r < 0) return r;
  }
  m_nMemRows += other->m_nMemRows;
  return 0;
}

// ---- Memory mode ----

int CPlainTextParser::createFieldItems(char* buf, unsigned long len) {
  if (!m_FieldItems.empty()) return 0;
  try {
    if (m_StrItems.empty()) createStrItems();
    const int made = genItemVector(0, m_nType, "dummy");
    if (made < 0) return made;
    CField* field = m_FieldItems.back();
    field->setParser(this);
    NullBadDateTimeParts(field);
    if (m_nType == Q7_TYPE_STRING && len > 0) {
      unsigned long line_len = 0;
      int ended = 0;
      if (parseUntilCRLF(buf, len, &line_len, &ended, 0) > 0)
        static_cast<CStr_Field*>(field)->AvrStrLen(m_StrItems[0]->getData(), 0);
    }
    m_nRowCapacity = CalcApproxRows(buf, len);
    field->CreateMemCache(m_nRowCapacity);
    return 0;
  } catch (const CQ7Exception& e) {
    freeMem();
    return e.ErrorCode();
  } catch (...) {
    freeMem();
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}

int CPlainTextParser::parseUntilCRLF(char* buf, unsigned long len, unsigned long* lineLen, int* lineEnded,
                                     int /*continued*/) {
  const void* lf = std::memchr(buf, '\n', len);
  const unsigned long line_len =
      lf == nullptr ? len : static_cast<unsigned long>(static_cast<const char*>(lf) - buf) + 1;
  if (lineLen != nullptr) *lineLen = line_len;
  if (lineEnded != nullptr) *lineEnded = lf != nullptr ? 1 : 0;
  const char* text = buf;
  size_t n = line_len;
  if (lf != nullptr) {
    --n;
    if (n > 0 && text[n - 1] == '\r') --n;
  }
  Unquote(&text, &n);
  if (n >= static_cast<size_t>(kStrItemSize)) return Q7_ERROR_DATA_OVERFLOW;
  if (m_StrItems.empty()) createStrItems();
  m_StrItems[0]->setData(text, n);
  m_nItemCount = 1;
  return 1;
}

int CPlainTextParser::ParseMem(char* buf, unsigned long len, int lastWindow, int first,
                               unsigned long* consumed, int* rows) {
  *consumed = 0;
  *rows = 0;
  try {
    m_nMapped = 1;
    if (first != 0) {
      m_nMemRows = 0;
      m_nRowsParsed = 0;
      m_nRowCount = 0;
      m_nLineNumber = 0;
      createStrItems();
      const int r = createFieldItems(buf, len);
      if (r < 0) return r;
    }
    m_nWindowLen = len;
    m_nWindowPos = 0;
    int status = kStatusOk;
    unsigned long pos = 0;
    while (pos < len) {
      unsigned long line_len = 0;
      int ended = 0;
      const int split = parseUntilCRLF(buf + pos, len - pos, &line_len, &ended, 0);
      if (ended == 0 && lastWindow == 0) break;  // the next window starts with this line
      m_nWindowPos = pos;
      m_nLineNumber = m_nMemRows;
      CheckMemStatus(split, m_nLineNumber);
      if (m_nMemRows == INT_MAX - 1) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
      status = Str2Data(0, m_nMemRows, m_StrItems[0]->getData());
      CheckMemStatus(status, m_nLineNumber);
      ++m_nMemRows;
      m_nRowsParsed = m_nMemRows;
      m_nRowCount = m_nMemRows;
      ++*rows;
      pos += line_len;
    }
    *consumed = pos;
    m_nWindowStart += pos;
    m_nWindowPos = pos;
    return status;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}
