#include "import/CTextParser.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "import/CCatalogParser.h"
#include "import/CatalogErrorInfo.h"
#include "import/ImportText.h"
#include "q7api.h"

namespace {

// Codes of the worker records (CatalogErrorInfo), shared with the line-mode log lines.
constexpr int kReportOverflow = 1;
constexpr int kReportOutOfMemory = 2;
constexpr int kReportParseError = 3;
constexpr int kReportMismatch = 5;
constexpr int kReportTooLong = 7;
constexpr int kReportItemSize = 8;

// Line mode reads the file in blocks and hands out lines in place. A line that does not end within
// kLineBufferSize - 1 bytes is an overflow.
class LineReader {
 public:
  static constexpr size_t kMaxLine = CTextParser::kLineBufferSize - 1;
  static constexpr size_t kBlock = 2 * CTextParser::kLineBufferSize;

  explicit LineReader(FILE* fp) : fp_(fp), buf_(new char[kBlock]) {}

  // Fills the buffer once (for the sample lines); the bytes now available from the start.
  size_t Prefetch(const char** data) {
    if (end_ == pos_ && !eof_) Fill();
    *data = buf_.get() + pos_;
    return end_ - pos_;
  }

  // The next line without its LF; false at the end of the file. *overflow when it does not end
  // within kMaxLine bytes (the line is then what was read). *consumed: bytes including the LF.
  bool Next(const char** line, size_t* len, bool* overflow, size_t* consumed) {
    *overflow = false;
    for (;;) {
      const size_t have = end_ - pos_;
      const char* start = buf_.get() + pos_;
      const void* lf = have == 0 ? nullptr : std::memchr(start, '\n', std::min(have, kMaxLine + 1));
      if (lf != nullptr) {
        *line = start;
        *len = static_cast<size_t>(static_cast<const char*>(lf) - start);
        *consumed = *len + 1;
        pos_ += *consumed;
        return true;
      }
      if (have >= kMaxLine) {
        *line = start;
        *len = kMaxLine;
        *consumed = kMaxLine;
        *overflow = true;
        pos_ += kMaxLine;
        return true;
      }
      if (eof_) {
        if (have == 0) return false;
        *line = start;
        *len = have;
        *consumed = have;
        pos_ = end_;
        return true;
      }
      Fill();
    }
  }

 private:
  void Fill() {
    const size_t have = end_ - pos_;
    if (pos_ != 0 && have != 0) std::memmove(buf_.get(), buf_.get() + pos_, have);
    pos_ = 0;
    end_ = have;
    while (end_ < kBlock) {
      const size_t n = std::fread(buf_.get() + end_, 1, kBlock - end_, fp_);
      if (n == 0) {
        if (std::ferror(fp_) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
        eof_ = true;
        break;
      }
      end_ += n;
    }
  }

  FILE* fp_;
  std::unique_ptr<char[]> buf_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

// The text of a line: a CR before its LF, or a final CR of the source, belongs to the line end.
const char* LineTextEnd(const char* begin, const char* end) {
  if (end > begin && end[-1] == '\r') --end;
  return end;
}

// The average length of the first (up to) three lines of buf: the bytes through the third LF over
// the lines found; len when there is no LF.
int64_t AverageLineLength(const char* buf, size_t len) {
  const char* p = buf;
  const char* end = buf + len;
  int lines = 0;
  while (lines < 3 && p < end) {
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    if (lf == nullptr) break;
    p = static_cast<const char*>(lf) + 1;
    ++lines;
  }
  if (lines == 0) return std::max<int64_t>(static_cast<int64_t>(len), 1);
  return std::max<int64_t>((p - buf) / lines, 1);
}

// The first data line of the head of a file (the second line under cut-top): [*sample,
// *sample_end), its LF left out; *sample is null when the head holds none.
void FindSampleLine(const char* head, size_t head_len, bool cut_top, const char** sample,
                    const char** sample_end) {
  const char* head_end = head + head_len;
  const char* start = head;
  if (cut_top && head_len > 0) {
    const void* lf = std::memchr(head, '\n', head_len);
    start = lf == nullptr ? head_end : static_cast<const char*>(lf) + 1;
  }
  *sample = nullptr;
  *sample_end = nullptr;
  if (start < head_end) {
    const void* lf = std::memchr(start, '\n', static_cast<size_t>(head_end - start));
    *sample = start;
    *sample_end = lf == nullptr ? head_end : static_cast<const char*>(lf);
  }
}

}  // namespace

// ---- Construction ----

CTextParser::CTextParser() {
  SetDefaults();
  BuildSeparatorTable();
}

CTextParser::CTextParser(CCatalogParser* catalog) : m_pCatalog(catalog) {
  SetDefaults();
  ReadCatalog();
  BuildSeparatorTable();
}

CTextParser::~CTextParser() {
  if (m_pStream != nullptr) {
    m_pStream->close();
    delete m_pStream;
    m_pStream = nullptr;
  }
  freeMem();
}

void CTextParser::SetDefaults() { m_nCharCode = getSystemInfoDBCharCode(); }

void CTextParser::ReadCatalog() {
  if (m_pCatalog == nullptr) return;
  m_nSplitType = m_pCatalog->getSplitType();
  m_nFieldCount = std::max(m_pCatalog->getFieldCount(), 0);
  m_nFieldLineCount = std::max(m_pCatalog->getFieldLineCount(), 0);
  m_nErrorLogType = m_pCatalog->getErrorLogType();
  m_nCutTop = m_pCatalog->getCutTop();
  m_nFieldCheck = m_pCatalog->getFieldCheck();
  m_nCharCode = m_pCatalog->getCodeType();
  m_Skip.resize(static_cast<size_t>(m_nFieldLineCount));
  m_Widths.resize(static_cast<size_t>(m_nFieldLineCount));
  for (int i = 0; i < m_nFieldLineCount; ++i) {
    m_Skip[static_cast<size_t>(i)] = m_pCatalog->isSkipped(i) != 0 ? 1 : 0;
    m_Widths[static_cast<size_t>(i)] = std::max(m_pCatalog->getLineSize(i), 0);
  }
}

void CTextParser::init() {
  m_nCharCode = m_pCatalog != nullptr ? m_pCatalog->getCodeType() : getSystemInfoDBCharCode();
  BuildSeparatorTable();
}

void CTextParser::BuildSeparatorTable() {
  std::memset(m_SepTable, 0, sizeof m_SepTable);
  bool high_separator = false;
  auto add = [&](char c) {
    if (c == '\0') return;
    m_SepTable[static_cast<unsigned char>(c)] = 1;
    if (static_cast<unsigned char>(c) >= 0x40) high_separator = true;
  };
  if (m_nUserSepCount > 0) {
    for (char c : m_chUserSep) add(c);
  } else {
    add(m_chSeparator);
  }
  m_nSingleSep = -1;
  for (int c = 0; c < 256; ++c) {
    if (m_SepTable[c] == 0) continue;
    m_nSingleSep = m_nSingleSep == -1 ? c : -2;
  }
  if (m_nSingleSep < 0) m_nSingleSep = -1;
  // Trail bytes of the double-byte codes reach down to 0x40: a separator from there up could sit
  // inside a character, so those characters are stepped over whole.
  m_nMbStep = 0;
  if (high_separator) {
    if (m_nCharCode == 18 || m_nCharCode == 20) m_nMbStep = 1;
    if (m_nCharCode == 19 || m_nCharCode == 65) m_nMbStep = 2;
  }
}

int CTextParser::CharLength(const char* p, const char* end) const {
  const unsigned char lead = static_cast<unsigned char>(*p);
  if (lead < 0x80) return 1;
  const int n = m_nMbStep == 1 ? sjis_bytes(lead) : ms949_bytes(lead);
  return static_cast<int>(std::min<ptrdiff_t>(n, end - p));
}

CCSVParser::CCSVParser() {
  m_chSeparator = ',';
  BuildSeparatorTable();
}
CCSVParser::CCSVParser(CCatalogParser* catalog) : CTextParser(catalog) {
  m_chSeparator = ',';
  BuildSeparatorTable();
}
CCSVParser::~CCSVParser() = default;

CTABParser::CTABParser() {
  m_chSeparator = '\t';
  BuildSeparatorTable();
}
CTABParser::CTABParser(CCatalogParser* catalog) : CTextParser(catalog) {
  m_chSeparator = '\t';
  BuildSeparatorTable();
}
CTABParser::~CTABParser() = default;

namespace {
void SetUserSeparators(char* out, int* count, char s1, char s2, char s3, char s4, char s5) {
  const char given[5] = {s1, s2, s3, s4, s5};
  *count = 0;
  for (int i = 0; i < 5; ++i) {
    out[i] = given[i];
    if (given[i] != '\0') ++*count;
  }
}
}  // namespace

CUSRParser::CUSRParser(char s1, char s2, char s3, char s4, char s5) {
  SetUserSeparators(m_chUserSep, &m_nUserSepCount, s1, s2, s3, s4, s5);
  m_chSeparator = '\0';
  BuildSeparatorTable();
}
CUSRParser::CUSRParser(CCatalogParser* catalog, char s1, char s2, char s3, char s4, char s5)
    : CTextParser(catalog) {
  SetUserSeparators(m_chUserSep, &m_nUserSepCount, s1, s2, s3, s4, s5);
  m_chSeparator = '\0';
  BuildSeparatorTable();
}
CUSRParser::~CUSRParser() = default;

CFixedLengthParser::CFixedLengthParser() = default;
CFixedLengthParser::CFixedLengthParser(CCatalogParser* catalog) : CTextParser(catalog) {}
CFixedLengthParser::~CFixedLengthParser() = default;

// ---- Splitting ----

int CTextParser::SplitLine(const char* begin, const char* end, int /*check*/) {
  const int slots = static_cast<int>(m_StrItems.size());
  const unsigned char* sep = m_SepTable;
  const char* p = begin;
  int items = 0;
  int position = 0;
  for (;;) {
    const bool skipped = IsSkipped(position);
    char* out = (!skipped && items < slots) ? m_StrItems[static_cast<size_t>(items)]->getData() : nullptr;
    char* o = out;
    bool more = false;  // the field ended at a separator: another one follows
    if (p < end && *p == '"') {
      ++p;
      int len = 0;
      for (;;) {
        if (p >= end) return Q7_CATALOG_PARSE_ERROR;  // quoted fields never span lines
        int step = 1;
        int add = 1;
        if (*p == '"') {
          if (p + 1 == end || p[1] != '"') {
            ++p;  // the closing quote
            break;
          }
          step = 2;  // a doubled quote: one literal quote
        } else if (m_nMbStep != 0) {
          step = add = CharLength(p, end);
        }
        if (len + add > kMaxFieldBytes) return Q7_ERROR_DATA_OVERFLOW;
        if (o != nullptr) {
          for (int k = 0; k < add; ++k) *o++ = p[k];
        }
        len += add;
        p += step;
      }
      if (p < end) {
        if (sep[static_cast<unsigned char>(*p)] == 0) return Q7_CATALOG_PARSE_ERROR;
        ++p;
        more = true;
      }
    } else {
      // Copied while scanning; a field can take at most kMaxFieldBytes bytes.
      const char* stop = end - p > kMaxFieldBytes ? p + kMaxFieldBytes : end;
      if (m_nMbStep != 0) {
        const char* q = p;
        while (q < stop && sep[static_cast<unsigned char>(*q)] == 0) q += CharLength(q, end);
        if (q > stop) return Q7_ERROR_DATA_OVERFLOW;  // a character across the limit
        if (o != nullptr) {
          std::memcpy(o, p, static_cast<size_t>(q - p));
          o += q - p;
        }
        p = q;
      } else if (o != nullptr) {
#if defined(__SSE2__)
        // Most fields are short: one 16-byte step finds the separator and copies the field (the
        // slot holds far more than 16 bytes, and the line has 16 more to read).
        if (m_nSingleSep >= 0 && stop - p >= 16) {
          const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
          const unsigned mask = static_cast<unsigned>(
              _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(m_nSingleSep)))));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(o), block);
          const int take = mask != 0 ? __builtin_ctz(mask) : 16;
          o += take;
          p += take;
        }
#endif
        while (p < stop && sep[static_cast<unsigned char>(*p)] == 0) *o++ = *p++;
      } else {
        while (p < stop && sep[static_cast<unsigned char>(*p)] == 0) ++p;
      }
      if (p < end) {
        if (sep[static_cast<unsigned char>(*p)] == 0) return Q7_ERROR_DATA_OVERFLOW;
        ++p;
        more = true;
      }
    }
    if (o != nullptr) *o = '\0';
    if (!skipped) ++items;
    ++position;
    // After a separator at the line end the loop takes one more, empty field.
    if (!more) break;
  }
  for (int i = items; i < slots; ++i) m_StrItems[static_cast<size_t>(i)]->getData()[0] = '\0';
  return items;
}

int CFixedLengthParser::SplitLine(const char* begin, const char* end, int check) {
  const int slots = static_cast<int>(m_StrItems.size());
  const bool report = check != 0 && m_nErrorLogType != kErrorNone;
  const char* p = begin;
  int items = 0;
  for (int position = 0; position < m_nFieldLineCount; ++position) {
    if (p >= end) break;
    const int64_t width = m_Widths[static_cast<size_t>(position)];
    const int64_t take = std::min<int64_t>(width, end - p);
    if (IsSkipped(position)) {
      p += take;
      continue;
    }
    if (take > kMaxFieldBytes) return Q7_ERROR_DATA_OVERFLOW;
    if (take < width && report) {
      Report(kReportItemSize, static_cast<int>(width), static_cast<int>(take), m_nLineNumber + 1);
      if (m_nErrorLogType == kErrorStop) return Q7_CATALOG_PARSE_ERROR;
    }
    if (items < slots) {
      char* out = m_StrItems[static_cast<size_t>(items)]->getData();
      std::memcpy(out, p, static_cast<size_t>(take));
      out[take] = '\0';
    }
    ++items;
    p += take;
  }
  if (p < end && report) {
    Report(kReportTooLong, m_nFieldCount, items, m_nLineNumber + 1);
    if (m_nErrorLogType == kErrorStop) return Q7_CATALOG_PARSE_ERROR;
  }
  for (int i = items; i < slots; ++i) m_StrItems[static_cast<size_t>(i)]->getData()[0] = '\0';
  return items;
}

int CTextParser::parseLine(char* line, int check) {
  if (line == nullptr) return 0;
  // The caller has taken the line end off already.
  m_nItemCount = SplitLine(line, line + std::strlen(line), check);
  return m_nItemCount;
}

int CTextParser::parseUntilCRLF(char* buf, unsigned long len, unsigned long* lineLen, int* lineEnded,
                                int /*continued*/) {
  const char* end = buf + len;
  const bool ended = len > 0 && end[-1] == '\n';
  if (ended) --end;
  if (lineLen != nullptr) *lineLen = len;
  if (lineEnded != nullptr) *lineEnded = ended ? 1 : 0;
  return SplitLine(buf, LineTextEnd(buf, end), 1);
}

// ---- Reports ----

void CTextParser::Report(int code, int a, int b, int c) {
  if (m_nMapped != 0) {
    if (m_pErrorInfo == nullptr) return;
    switch (code) {
      case kReportOutOfMemory:
      case kReportParseError:
        m_pErrorInfo->SetLogMsg(code, a);
        break;
      case kReportTextSlots:
        m_pErrorInfo->SetLogMsg(code);
        break;
      default:
        m_pErrorInfo->SetLogMsg(code, a, b, c);
        break;
    }
    return;
  }
  switch (code) {
    case kReportOutOfMemory:
      LogMsg("OUT_OF_MEMORY  ERROR \t\t @  Row = %d ", a);
      break;
    case kReportParseError:
      LogMsg("DATA PARSE ERROR \t\t @ Row = %d ", a);
      break;
    case kReportMismatch:
      LogMsg("FILTER MISMATCH \t----->\tFilters - Items [%d - %d] \t@ Row = %d ", a, b, c);
      break;
    case kReportTextSlots:
      LogMsg("Q7_ERROR_OUT_OF_MEMORY");
      break;
    case kReportTooLong:
      LogMsg("FILTER MISMATCH \t----->\tFilters != Items [%d - (> %d) ] \t@ Row = %d ", a, b, c);
      break;
    case kReportItemSize:
      LogMsg("ITEM SIZE MISMATCH \t----->\t Field Length  != Item length [%d - %d] \t@ Row = %d ", a, b, c);
      break;
    default:
      break;
  }
}

void CTextParser::ReportText(int code, int row, const char* text) {
  if (m_nMapped != 0) {
    if (m_pErrorInfo != nullptr) m_pErrorInfo->SetLogMsg(code, row, text);
    return;
  }
  LogMsg("DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = %d @ File = %s ", row, text);
}

void CTextParser::ReportData(const char* name, const char* text, int row, int column) {
  if (m_nMapped != 0) {
    if (m_pErrorInfo != nullptr) m_pErrorInfo->SetLogMsg(4, name, text, row, column);
    return;
  }
  PutErrorLog("Str2Data", Q7_ERROR_INVALID_DATA, "Illegal string data");
  if (m_pCatalog != nullptr) {
    LogMsg("DATA ERROR \t\t----->\t[%s] = \"%s\"  \t@ Row = %d , Col = %d ", name, text, row, column);
  } else {
    LogMsg("DATA ERROR \t\t----->\t[%s] = \"%s\"  \t@ Row = %d in %s ", name, text, row, m_szFileName);
  }
}

// Line mode: 0 (go on), kStatusSkipLine, or a negative code under which the line still goes on;
// a failure throws.
int CTextParser::CheckLineStatus(int code, int line, int length) {
  if (length >= kStrItemSize) code = Q7_ERROR_DATA_OVERFLOW;
  if (code >= 0) return kStatusOk;
  const bool report = m_nErrorLogType != kErrorNone;
  switch (code) {
    case Q7_CATALOG_PARSE_ERROR:
      if (report) Report(kReportParseError, line + 1, 0, 0);
      if (m_nErrorLogType == kErrorSkipLine) return kStatusSkipLine;
      PutErrorLog("validateRet", Q7_ERROR_INVALID_DATA, "Invalid Data");
      throw CQ7Exception(Q7_ERROR_INVALID_DATA);
    case Q7_ERROR_OUT_OF_MEMORY:
      if (report) Report(kReportOutOfMemory, line + 1, 0, 0);
      PutErrorLog("validateRet", code, "Out of memory");
      throw CQ7Exception(code);
    case Q7_ERROR_DATA_OVERFLOW:
      if (report) ReportText(kReportOverflow, line + 1, m_szFileName);
      PutErrorLog("validateRet", code, "DataSize overflow");
      throw CQ7Exception(code);
    default:
      if (m_nErrorLogType == kErrorStop) {
        PutErrorLog("validateRet", code, "Invalid Data");
        throw CQ7Exception(code);
      }
      return code;
  }
}

// Memory mode: the same decisions into the worker's record, never into the error ring. Every
// failure throws.
int CTextParser::CheckMemStatus(int code, int line) {
  if (code >= 0) return kStatusOk;
  const bool report = m_nErrorLogType != kErrorNone;
  switch (code) {
    case Q7_CATALOG_PARSE_ERROR:
      if (report) Report(kReportParseError, line + 1, 0, 0);
      if (m_nErrorLogType == kErrorSkipLine) return kStatusSkipLine;
      throw CQ7Exception(Q7_ERROR_INVALID_DATA);
    case Q7_ERROR_OUT_OF_MEMORY:
      if (report) Report(kReportOutOfMemory, line + 1, 0, 0);
      throw CQ7Exception(code);
    case Q7_ERROR_DATA_OVERFLOW:
      if (report) ReportText(kReportOverflow, line + 1, m_szFileName);
      throw CQ7Exception(code);
    default:
      throw CQ7Exception(code);
  }
}

void CTextParser::CreateLineModeFields(const char* sample, const char* sample_end, int64_t avg_line,
                                       int setting, bool from_rest) {
  bool have_sample = false;
  if (sample != nullptr) {
    const int n = SplitLine(sample, LineTextEnd(sample, sample_end), 0);
    if (n == Q7_ERROR_DATA_OVERFLOW) throw CQ7Exception(Q7_ERROR_DATA_OVERFLOW);
    have_sample = n >= 0;
  }
  m_nSampleLineLength = avg_line;
  const int capacity = from_rest ? calcMemRowsEx() : calcMemRows();
  CreateCatalogFields(capacity, have_sample, setting);
}

int CTextParser::createFieldItems(int setting, const char* name, int fromRest) {
  if (!m_FieldItems.empty()) return 0;
  try {
    if (name == nullptr || name[0] == '\0') throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    SetFileName(name);
    zpk_fstream stream;
    if (stream.open(m_szFileName, "rb", 1) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    LineReader reader(stream.handle());
    const char* head = nullptr;
    const size_t head_len = reader.Prefetch(&head);
    const char* sample = nullptr;
    const char* sample_end = nullptr;
    FindSampleLine(head, head_len, m_nCutTop != 0, &sample, &sample_end);
    if (m_StrItems.empty()) createStrItems();
    CreateLineModeFields(sample, sample_end, head_len == 0 ? 0 : AverageLineLength(head, head_len), setting,
                         fromRest != 0);
    return 0;
  } catch (const CQ7Exception& e) {
    freeMem();
    return e.ErrorCode();
  } catch (...) {
    freeMem();
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}

int CTextParser::CalcApproxRows(const char* buf, unsigned long len) {
  return ClampRows(static_cast<int64_t>(len) / AverageLineLength(buf, len) + 1000);
}

unsigned long CTextParser::GetLineSize(const char* buf, unsigned long len) {
  const void* lf = std::memchr(buf, '\n', len);
  return lf == nullptr ? len : static_cast<unsigned long>(static_cast<const char*>(lf) - buf) + 1;
}

int CTextParser::createFieldItems(char* buf, unsigned long len) {
  if (!m_FieldItems.empty()) return 0;
  try {
    if (m_StrItems.empty()) createStrItems();
    const char* end = buf + GetLineSize(buf, len);
    if (end > buf && end[-1] == '\n') --end;
    const bool sample = SplitLine(buf, LineTextEnd(buf, end), 0) >= 0;
    CreateCatalogFields(CalcApproxRows(buf, len), sample);
    return 0;
  } catch (const CQ7Exception& e) {
    freeMem();
    return e.ErrorCode();
  } catch (...) {
    freeMem();
    return Q7_ERROR_OUT_OF_MEMORY;
  }
}

// ---- Line mode ----

int CTextParser::parse_txt(const char* /*file*/, int /*type*/, int /*rows*/, int /*flag*/) { return 0; }

int CTextParser::parse(char* file) {
  if (file == nullptr || file[0] == '\0') return Q7_ERROR_ILLEGAL_FILE_NAME;
  int result;
  try {
    result = ParseFile(file);
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = Q7_CATALOG_PARSE_ERROR;
  }
  CFileMonitor::Instance()->m_pStream = nullptr;
  if (m_pStream != nullptr) {
    m_pStream->close();
    delete m_pStream;
    m_pStream = nullptr;
  }
  if (result < 0) freeMem();
  return result;
}

int CTextParser::ParseFile(char* file) {
  SetFileName(file);
  m_nMapped = 0;
  m_nRowsParsed = 0;
  m_nRowCount = 0;
  m_nLineNumber = 0;
  freeMem();
  createStrItems();

  m_pStream = new zpk_fstream();
  if (m_pStream->open(file, "rb", 1) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  CFileMonitor* monitor = CFileMonitor::Instance();
  monitor->m_nFileSize = getFileSize2(file);
  monitor->m_nReadBytes = 0;
  monitor->m_pStream = m_pStream;

  LineReader reader(m_pStream->handle());
  // The field buffers are sized from the first lines: the line estimate from their average
  // length, the string estimates from the first data line.
  const char* head = nullptr;
  const size_t head_len = reader.Prefetch(&head);
  const char* sample = nullptr;
  const char* sample_end = nullptr;
  FindSampleLine(head, head_len, m_nCutTop != 0, &sample, &sample_end);
  CreateLineModeFields(sample, sample_end, head_len == 0 ? 0 : AverageLineLength(head, head_len));

  bool first_line = true;
  const char* line = nullptr;
  size_t len = 0;
  size_t consumed = 0;
  bool overflow = false;
  while (reader.Next(&line, &len, &overflow, &consumed)) {
    monitor->m_nReadBytes += static_cast<int64_t>(consumed);
    if (first_line && m_nCutTop != 0) {
      first_line = false;
      // The title line is dropped whole, however long, as the parallel road drops it.
      while (overflow && reader.Next(&line, &len, &overflow, &consumed)) {
        monitor->m_nReadBytes += static_cast<int64_t>(consumed);
      }
      continue;
    }
    first_line = false;
    if (m_nRowSize >= 0 && m_nRowsParsed >= m_nRowSize) break;
    const int items = overflow ? Q7_ERROR_DATA_OVERFLOW : SplitLine(line, LineTextEnd(line, line + len), 1);
    m_nItemCount = items;
    if (CheckLineStatus(items, m_nLineNumber, 0) != kStatusSkipLine) {
      if (items == m_nFieldCount) {
        CheckLineStatus(Str2Data(items, m_nRowsParsed), m_nLineNumber, 0);
        ++m_nRowsParsed;
      } else {
        Report(kReportMismatch, m_nFieldCount, items, m_nLineNumber + 1);
        if (m_nErrorLogType != kErrorSkipLine) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
      }
    }
    if (m_nRowCount == INT_MAX - 1) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
    ++m_nRowCount;
    m_nLineNumber = m_nRowCount;
    --m_nRowCapacity;
  }
  if (m_nRowSize >= 0) {
    while (m_nRowsParsed < m_nRowSize) {
      const int r = Null2Data(m_nFieldCount, m_nRowsParsed);
      if (r < 0) throw CQ7Exception(r);
      ++m_nRowsParsed;
    }
  }
  setRowCount(m_nRowsParsed);
  return m_nRowsParsed;
}

// ---- Memory mode ----

void CTextParser::setChunk(uint64_t start, uint64_t end) {
  m_nChunkStart = start;
  m_nChunkEnd = end;
  m_nLineStart = start;
  m_nWindowStart = start;
  m_nWindowLen = 0;
  m_nWindowPos = 0;
}

int CTextParser::calc_remaining_lines_from_mappedfile(int avg) {
  if (avg <= 0) return 1;
  const int64_t left = static_cast<int64_t>(m_nWindowLen) - static_cast<int64_t>(m_nWindowPos);
  return left < 0 ? 1 : ClampRows(left / avg);
}

long CTextParser::RemainingRowsEstimate(int rows, long avg) {
  if (m_nMapped != 0)
    return calc_remaining_lines_from_mappedfile(static_cast<int>(std::min<long>(avg, INT_MAX)));
  return CFileMonitor::Instance()->get_remaining_lines(rows);
}

int CTextParser::ParseMemLine(const char* line, unsigned long len, int* row) {
  unsigned long line_len = 0;
  int ended = 0;
  const int items = parseUntilCRLF(const_cast<char*>(line), len, &line_len, &ended, 0);
  m_nItemCount = items;
  int status = CheckMemStatus(items, m_nLineNumber);
  if (status != kStatusSkipLine) {
    if (items == m_nFieldCount) {
      const int r = Str2Data(items, *row);
      // A text its field cannot convert fails the chunk only under STOP; otherwise the row stays,
      // as in line mode, whichever window the line falls in.
      if (r < 0 && (r != Q7_ERROR_INVALID_DATA || m_nErrorLogType == kErrorStop)) throw CQ7Exception(r);
      ++*row;
      ++m_nRowsParsed;
    } else {
      if (m_nErrorLogType == kErrorNone) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
      Report(kReportMismatch, m_nFieldCount, items, m_nLineNumber + 1);
      if (m_nErrorLogType != kErrorSkipLine) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
      status = kStatusSkipLine;
    }
  }
  if (m_nRowCount == INT_MAX - 1) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  ++m_nRowCount;
  m_nLineNumber = m_nRowCount;
  return status;
}

int CTextParser::ParseMem(char* buf, unsigned long len, int lastWindow, int first, unsigned long* consumed,
                          int* row) {
  *consumed = 0;
  *row = 0;
  try {
    m_nMapped = 1;
    if (first != 0) {
      m_nRowsParsed = 0;
      m_nRowCount = 0;
      m_nLineNumber = 0;
      if (m_StrItems.empty()) createStrItems();
      const int r = createFieldItems(buf, len);
      if (r < 0) return r;
    }
    m_nWindowLen = len;
    m_nWindowPos = 0;
    int status = kStatusOk;
    unsigned long pos = 0;
    while (pos < len) {
      const char* line = buf + pos;
      const void* lf = std::memchr(line, '\n', len - pos);
      unsigned long line_len;
      if (lf != nullptr) {
        line_len = static_cast<unsigned long>(static_cast<const char*>(lf) - line) + 1;
      } else if (lastWindow != 0) {
        line_len = len - pos;
      } else {
        break;  // the line goes on in the next window, which starts with it
      }
      m_nWindowPos = pos;
      status = ParseMemLine(line, line_len, row);
      pos += line_len;
      m_nLineStart = m_nWindowStart + pos;
    }
    *consumed = pos;
    m_nWindowStart += pos;
    m_nWindowPos = pos;
    if (pos == 0 && len > 0) return kWindowTooSmall;
    return status;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}
