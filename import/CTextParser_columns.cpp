// The field buffers, the hand-over of the columns to tables, the whole-buffer CSV splitter and the
// row estimates of the line parsers (CTextParser.h); the splitting and the two parse modes are in
// CTextParser.cpp.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "import/CCatalogParser.h"
#include "import/CTextParser.h"
#include "import/ImportTask.h"
#include "import/ImportText.h"
#include "q7api.h"

// ---- CFileMonitor ----

CFileMonitor* CFileMonitor::Instance() {
  static CFileMonitor* monitor = new CFileMonitor();
  return monitor;
}

CFileMonitor* FileMonitorObj = CFileMonitor::Instance();

int CFileMonitor::RemainingLines(int rows, int64_t cap) {
  if (m_nExpectedRows > 0) return std::max(m_nExpectedRows - rows, 0);
  // The bytes read so far stand for the stream position: the reader reads ahead in blocks.
  const int64_t p = m_nReadBytes;
  if (m_pStream == nullptr || rows <= 0 || rows > p) return 1;
  const int64_t remaining = std::min(std::max<int64_t>(m_nFileSize - p, 0), cap);
  const int64_t per_line = std::max<int64_t>(p / rows, 1);
  return CTextParser::ClampRows(remaining / per_line * 5 / 4);
}

int CFileMonitor::get_remaining_lines(int rows) { return RemainingLines(rows, INT64_MAX); }

int CFileMonitor::get_remaining_blk_lines(int rows) { return RemainingLines(rows, 300000000); }

// ---- Field buffers ----

int CTextParser::createStrItems() {
  freeStrVector();
  try {
    m_StrItems.reserve(static_cast<size_t>(m_nFieldCount));
    for (int i = 0; i < m_nFieldCount; ++i) m_StrItems.push_back(new CPStr());
  } catch (...) {
    freeStrVector();
    Report(kReportTextSlots, 0, 0, 0);
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  return 0;
}

int CTextParser::genItemVector(int setting, int type, const char* name) {
  if (FieldTypeName(type) == nullptr) {
    // Worker threads must not write the error ring; their caller reports the code.
    if (m_nMapped == 0)
      PutErrorLog("genItemVector", Q7_ERROR_INVALID_DATA_TYPE, getString("Illegal data type  : %d", type));
    return Q7_ERROR_INVALID_DATA_TYPE;
  }
  m_FieldItems.reserve(m_FieldItems.size() + 1);
  m_FieldItems.push_back(CreateField(type, setting, name));
  return 0;
}

void CTextParser::CreateCatalogFields(int capacity, bool sample, int setting) {
  for (int i = 0; i < m_nFieldCount; ++i) {
    const int type = m_pCatalog->getFieldType(i);
    const int r = genItemVector(setting < 0 ? m_nFieldCheck : setting, type, m_pCatalog->getFieldName(i));
    if (r < 0) throw CQ7Exception(r);
    CField* field = m_FieldItems.back();
    const int p1 = m_pCatalog->getParam1(i);
    const int p2 = m_pCatalog->getParam2(i);
    switch (type) {
      case Q7_TYPE_DATE:
        static_cast<CDouble_Field*>(field)->setDateFormat(p1);
        break;
      case Q7_TYPE_TIME:
        static_cast<CDouble_Field*>(field)->setTimeFormat(p1);
        break;
      case Q7_TYPE_DATETIME:
        static_cast<CDouble_Field*>(field)->setDateFormat(p1);
        static_cast<CDouble_Field*>(field)->setTimeFormat(p2);
        break;
      case Q7_TYPE_DECIMAL:
        static_cast<CNumeric_Field*>(field)->setNumericInfo(p1, p2);
        break;
      case Q7_TYPE_STRING:
        if (sample && static_cast<size_t>(i) < m_StrItems.size()) {
          static_cast<CStr_Field*>(field)->AvrStrLen(m_StrItems[static_cast<size_t>(i)]->getData(), 0);
        }
        break;
      default:
        break;
    }
    field->setParser(this);
    field->CreateMemCache(capacity);
  }
  m_nRowCapacity = capacity;
}

int CTextParser::CreateMemoryCache(int rows) {
  for (CField* field : m_FieldItems) field->CreateMemCache(rows);
  m_nRowCapacity = rows;
  return rows;
}

int CTextParser::CreateMemoryCache(int i, int rows) {
  CField* field = getFieldItem(i);
  return field == nullptr ? 0 : field->CreateMemCache(rows);
}

int CTextParser::Str2Data(int i, int row, char* text) {
  CField* field = getFieldItem(i);
  if (field == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  const int r = field->Str2Data(row, text);
  if (r != 0) return ConvertAgain(i, row, text, r);
  field->countRow();
  return 0;
}

int CTextParser::ConvertAgain(int i, int row, const char* text, int code) {
  CField* field = m_FieldItems[static_cast<size_t>(i)];
  int r = code;
  if (r == Q7_ERROR_NULL_DATA) {
    try {
      realloc(m_nRowCapacity);
    } catch (const CQ7Exception&) {
      if (m_nMapped == 0) PutErrorLog("Str2Data", Q7_ERROR_OUT_OF_MEMORY, "Out of memory(result realloc)");
      return Q7_ERROR_OUT_OF_MEMORY;
    }
    r = field->Str2Data(row, text);
    if (r == Q7_ERROR_NULL_DATA) {
      if (m_nMapped == 0) PutErrorLog("Str2Data", Q7_ERROR_NULL_DATA, "Out of memory");
      return r;
    }
  }
  if (r == Q7_ERROR_INVALID_DATA) {
    // Reports name the line (data lines of the source, 1-based), so they never depend on rows
    // skipped before or on where a window began.
    ReportData(field->getFilterName(), text == nullptr ? "" : text, m_nLineNumber + 1, i + 1);
  }
  field->countRow();
  return r;
}

int CTextParser::Str2Data(int items, int row) {
  const int n = std::min({items, static_cast<int>(m_FieldItems.size()), static_cast<int>(m_StrItems.size())});
  int result = 0;
  for (int i = 0; i < n; ++i) {
    CField* field = m_FieldItems[static_cast<size_t>(i)];
    const char* text = m_StrItems[static_cast<size_t>(i)]->getData();
    int r = field->Str2Data(row, text);
    if (r == 0) {
      field->countRow();
      continue;
    }
    r = ConvertAgain(i, row, text, r);
    if (r == Q7_ERROR_INVALID_DATA) {
      if (m_nErrorLogType == kErrorStop) return r;
      result = r;
    } else if (r < 0) {
      return r;
    }
  }
  return result;
}

int CTextParser::Null2Data(int items, int row) {
  const int n = std::min(items, static_cast<int>(m_FieldItems.size()));
  for (int i = 0; i < n; ++i) {
    const int r = Str2Data(i, row, nullptr);
    if (r < 0) return r;
  }
  return 0;
}

int CTextParser::realloc(int rows) {
  int64_t growth;
  if (m_nMapped != 0) {
    // Rows still to come before the next compile (up to the span end, else in this window) at the
    // average record length of the chunk so far.
    const uint64_t here = m_nWindowStart + m_nWindowPos;
    const int64_t done = static_cast<int64_t>(here - m_nChunkStart);
    int64_t avg = 1;
    if (m_nRowsParsed > 0 && m_nRowsParsed <= done) avg = done / m_nRowsParsed;
    const int64_t left = m_nSpanEnd > here ? static_cast<int64_t>(m_nSpanEnd - here)
                                           : static_cast<int64_t>(m_nWindowLen - m_nWindowPos);
    growth = left / avg;
    if (growth <= 0) growth = 10;
  } else if (rows >= 1) {
    growth = rows;
  } else {
    const int r = std::max(m_nRowsParsed, m_nRowCount);
    CFileMonitor* monitor = CFileMonitor::Instance();
    if (monitor->m_nExpectedRows > 0) {
      growth = std::max(monitor->m_nExpectedRows - r, 1);
    } else {
      growth = monitor->get_remaining_lines(r);
    }
    growth = std::max<int64_t>(growth, 10);
  }
  const int add = std::max(ClampRows(growth), 10);
  for (CField* field : m_FieldItems) field->realloc(add);
  m_nRowCapacity += add;
  return add;
}

void CTextParser::setRowCount(int n) {
  for (CField* field : m_FieldItems) field->setRowCount(n);
}

int CTextParser::Compile() {
  m_nPendingRows = 0;
  for (CField* field : m_FieldItems) {
    const int r = field->Compile();
    if (r < 0) return r;
  }
  return 0;
}

// ---- Handing the columns over ----

int CTextParser::write2DB(int table) {
  int result = 0;
  for (size_t i = 0; i < m_FieldItems.size(); ++i) {
    CField* field = m_FieldItems[i];
    if (field == nullptr) continue;
    char name[CField::kNameSize];
    qz7_strlcpy(name, field->getFilterName(), sizeof name);
    int r;
    bool out_of_memory = false;
    try {
      r = field->write2DB(table);
    } catch (const CQ7Exception& e) {
      r = e.ErrorCode();
      out_of_memory = r == Q7_ERROR_OUT_OF_MEMORY;
    } catch (...) {
      r = Q7_ERROR_OUT_OF_MEMORY;
      out_of_memory = true;
    }
    delete field;
    m_FieldItems[i] = nullptr;
    if (r >= 0) continue;
    if (out_of_memory || r == Q7_ERROR_OUT_OF_MEMORY) {
      LogMsg("ADD FILTER FAILED \t\t----->\t = %s\t Q7_ERROR_OUT_OF_MEMORY", name);
      r = Q7_ERROR_OUT_OF_MEMORY;
    } else {
      LogMsg("ADD FILTER FAILED \t\t----->\t = %s\t ErrorCode = %d", name, r);
    }
    if (m_nErrorLogType == kErrorStop && ImportTask() != nullptr) ImportTask()->DeleteTable(table);
    result = r;
    break;
  }
  freeItemVector();
  return result;
}

void CTextParser::setNumericParams(const int* param1, const int* param2, int append_flag) {
  const size_t n = static_cast<size_t>(m_nFieldCount);
  m_NumericParam1.assign(n, 0);
  m_NumericParam2.assign(n, 0);
  if (param1 != nullptr) std::copy(param1, param1 + n, m_NumericParam1.begin());
  if (param2 != nullptr) std::copy(param2, param2 + n, m_NumericParam2.begin());
  m_nAppendFlag = append_flag;
}

int CTextParser::append2DB(int table, int appendPos) {
  ImportTaskServices* services = ImportTask();
  if (services == nullptr) return Q7_ERROR_UNKNOWN;
  int ids[CCatalogParser::kMaxFields + 1];
  const int filters = services->GetFilterIDList(table, ids);
  if (filters < 0) return filters;
  const int n = std::min({m_nFieldCount, filters, CCatalogParser::kMaxFields});
  if (n <= 0) return Q7_ERROR_INVALID_PARAMETER;
  for (int i = 0; i < n; ++i) {
    CField* field = getFieldItem(i);
    if (field == nullptr) return Q7_ERROR_INVALID_PARAMETER;
    int r;
    const size_t k = static_cast<size_t>(i);
    if (field->getType() == Q7_TYPE_DECIMAL && k < m_NumericParam1.size() &&
        services->GetFilterType(table, ids[i]) == Q7_TYPE_DECIMAL) {
      r = append2DBNumeric(table, ids[i], appendPos, i, m_NumericParam1[k], m_NumericParam2[k]);
    } else {
      r = append2DB(table, ids[i], appendPos, i);
    }
    if (r < 0) return r;
  }
  return 0;
}

int CTextParser::append2DB(int table, int filter, int appendPos, int i) {
  CField* field = getFieldItem(i);
  if (field == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  try {
    return field->append2DB(table, filter, appendPos);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

int CTextParser::append2DBNumeric(int table, int filter, int appendPos, int i, int scale, int mode) {
  CField* field = getFieldItem(i);
  if (field == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  try {
    return field->append2DBNumeric(table, filter, appendPos, scale, mode);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

void CTextParser::setFilterName(int i, char* name) {
  CField* field = getFieldItem(i);
  if (field != nullptr) field->setFilterName(name);
}

void CTextParser::setFilterPos(int i, int pos) {
  CField* field = getFieldItem(i);
  if (field != nullptr) field->setFilterPos(pos);
}

// ---- Whole-buffer CSV ----

int CTextParser::parseCSV(char* buf, unsigned long len) {
  if (buf == nullptr) return 0;
  const char* p = buf;
  const char* end = buf + len;
  int count = 0;
  // A line end at p: LF, CR LF, or a CR that is the last byte. Its length, or 0.
  auto line_end = [&](const char* q) -> int {
    if (*q == '\n') return 1;
    if (*q == '\r') {
      if (q + 1 == end) return 1;
      if (q[1] == '\n') return 2;
    }
    return 0;
  };
  while (p < end) {
    if (static_cast<unsigned char>(*p) == 255) break;
    auto item = std::make_unique<CPStr>();
    char* out = item->getData();
    int n = 0;
    bool done = false;
    if (*p == '"') {
      const char* open = p;
      ++p;
      bool quoted = true;
      while (p < end) {
        if (quoted) {
          if (*p == '"') {
            quoted = false;
            ++p;
            continue;
          }
        } else {
          if (*p == '"') {
            quoted = true;  // a doubled quote: one literal quote
          } else if (*p == ',') {
            ++p;
            break;
          } else if (const int e = line_end(p)) {
            p += e;
            break;
          }
        }
        if (n == kMaxFieldBytes) break;
        out[n++] = *p++;
      }
      done = n < kMaxFieldBytes;
      if (!done) {
        // Too long for a quoted value: read again from after the opening quote as plain text.
        p = open + 1;
        n = 0;
      }
    }
    if (!done) {
      while (p < end && *p != ',' && line_end(p) == 0) {
        if (n == kMaxFieldBytes) return Q7_ERROR_DATA_OVERFLOW;
        out[n++] = *p++;
      }
      if (p < end) p += *p == ',' ? 1 : line_end(p);
    }
    out[n] = '\0';
    m_StrItems.push_back(item.release());
    ++count;
  }
  return count;
}

// ---- Estimates ----

int64_t CTextParser::get_remaining_filesz() {
  CFileMonitor* monitor = CFileMonitor::Instance();
  if (monitor->m_pStream == nullptr) return 0;
  return std::max<int64_t>(monitor->m_nFileSize - monitor->m_nReadBytes, 0);
}

int CTextParser::get_remaining_lines(int rows) {
  CFileMonitor* monitor = CFileMonitor::Instance();
  const int64_t p = monitor->m_nReadBytes;
  if (monitor->m_pStream == nullptr || rows <= 0 || rows > p) return 0;
  return ClampRows(get_remaining_filesz() / std::max<int64_t>(p / rows, 1));
}

int CTextParser::calcMemRows() {
  // While parse reads the file, the monitor holds the size of what was opened.
  CFileMonitor* monitor = CFileMonitor::Instance();
  const bool reading = m_pStream != nullptr && monitor->m_pStream == m_pStream;
  const int64_t size = reading ? monitor->m_nFileSize : getFileSize2(m_szFileName);
  int64_t lines = 1;
  if (m_nSampleLineLength > 0) lines = std::max<int64_t>(size / m_nSampleLineLength, 1);
  m_nRowCapacity = std::max(ClampRows(lines + lines / 100), 5);
  return m_nRowCapacity;
}

int CTextParser::calcMemRowsEx() {
  CFileMonitor* monitor = CFileMonitor::Instance();
  // The bytes read so far stand for the stream position: the reader reads ahead in blocks.
  const int64_t p = monitor->m_nReadBytes;
  const int64_t r = m_nRowsParsed;
  int64_t lines = 1;
  if (monitor->m_pStream != nullptr && r > 0 && r <= p) {
    const int64_t remaining = std::min<int64_t>(std::max<int64_t>(monitor->m_nFileSize - p, 0), 300000000);
    lines = remaining / (p / r) * 5 / 4;
  }
  m_nRowCapacity = std::max(ClampRows(lines + lines / 100), 5);
  return m_nRowCapacity;
}

bool CTextParser::CanContinue(int code) { return code != Q7_ERROR_DATA_OVERFLOW; }

// ---- Access ----

void CTextParser::freeItemVector() {
  for (CField* field : m_FieldItems) delete field;
  m_FieldItems.clear();
}

void CTextParser::freeStrVector() {
  for (CPStr* item : m_StrItems) delete item;
  m_StrItems.clear();
}

void CTextParser::freeMem() {
  freeItemVector();
  freeStrVector();
}

void CTextParser::SetFileName(const char* file) {
  qz7_strlcpy(m_szFileName, file == nullptr ? "" : file, sizeof m_szFileName);
}

CPStr* CTextParser::getStrItem(int i) {
  return i >= 0 && i < getStrItemCount() ? m_StrItems[static_cast<size_t>(i)] : nullptr;
}

CField* CTextParser::getFieldItem(int i) {
  return i >= 0 && i < getFieldItemCount() ? m_FieldItems[static_cast<size_t>(i)] : nullptr;
}

int CTextParser::ClampRows(int64_t rows) {
  return static_cast<int>(std::min<int64_t>(std::max<int64_t>(rows, 0), kMaxGrowth));
}
