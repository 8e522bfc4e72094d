// The catalog import's text line parsers: cutting source lines into field texts.
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

// Line mode reads the file in blocks and hands out records in place. A record that does not end
// within kLineBufferSize - 1 bytes is an overflow.
class LineReader {
 public:
  static constexpr size_t kBlock = 2 * CTextParser::kLineBufferSize;

  explicit LineReader(FILE* fp) : fp_(fp), buf_(new char[kBlock]) {}

  // The bytes not yet consumed (read first when there are none); *final when the file ends after
  // them.
  const char* View(size_t* len, bool* final) {
    if (end_ == pos_ && !eof_) Fill();
    *len = end_ - pos_;
    *final = eof_;
    return buf_.get() + pos_;
  }
  // Reads more behind the bytes not yet consumed (they move to the front of the buffer).
  void More() {
    if (!eof_) Fill();
  }
  void Consume(size_t n) { pos_ += std::min(n, end_ - pos_); }

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

// Lines whose average length sizes a chunk's field buffers.
constexpr int kSampleLines = 4096;

// The average length of the first (up to) max_lines lines of buf: the bytes through the last LF
// counted over the lines found; len when there is no LF.
int64_t AverageLineLength(const char* buf, size_t len, int max_lines = 3) {
  const char* p = buf;
  const char* end = buf + len;
  int lines = 0;
  while (lines < max_lines && p < end) {
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    if (lf == nullptr) break;
    p = static_cast<const char*>(lf) + 1;
    ++lines;
  }
  if (lines == 0) return std::max<int64_t>(static_cast<int64_t>(len), 1);
  return std::max<int64_t>((p - buf) / lines, 1);
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

CFixedLengthParser::CFixedLengthParser() { m_bQuotes = false; }
CFixedLengthParser::CFixedLengthParser(CCatalogParser* catalog) : CTextParser(catalog) { m_bQuotes = false; }
CFixedLengthParser::~CFixedLengthParser() = default;

// ---- Splitting ----

int CTextParser::SplitLine(const char* begin, const char* end, int check) {
  RecordSpan span;
  return SplitRecord(begin, end, true, &span, check);
}

int CTextParser::SplitRecord(const char* begin, const char* avail, bool final, RecordSpan* span,
                             int /*check*/) {
  span->complete = false;
  span->lines = 0;
  span->length = 0;
  // The record is split line by line: `lf` is the LF that ends the current line (null at the end of
  // the source) and `end` the end of its text.
  const char* lf = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(avail - begin)));
  if (lf == nullptr && !final) return 0;
  const char* end = LineTextEnd(begin, lf != nullptr ? lf : avail);
  // A failure is settled once found: the record then ends where the scanner says.
  auto fail = [&](int code, const char* at, Lex state) {
    if (code == Q7_ERROR_DATA_OVERFLOW) {
      // Fails the import in every mode: where the record ends does not matter.
      span->complete = true;
      span->length = static_cast<size_t>((lf != nullptr ? lf + 1 : avail) - begin);
      return code;
    }
    size_t n = 0;
    int lines = 0;
    if (!ScanRecord(at, avail, final, &state, &n, &lines)) return 0;
    span->complete = true;
    span->lines += lines;
    span->length = static_cast<size_t>(at + n - begin);
    return code;
  };
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
        if (p >= end) {
          // The source ended inside the quotes.
          if (lf == nullptr) return fail(Q7_CATALOG_PARSE_ERROR, avail, Lex::kRecordStart);
          // A line end inside the quotes is text (CR LF or LF, as written); the field goes on in the
          // next line.
          const int add = static_cast<int>(lf + 1 - end);
          if (len + add > kMaxFieldBytes) return fail(Q7_ERROR_DATA_OVERFLOW, p, Lex::kQuoted);
          if (o != nullptr) {
            for (int k = 0; k < add; ++k) *o++ = end[k];
          }
          len += add;
          ++span->lines;
          p = lf + 1;
          lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(avail - p)));
          if (lf == nullptr && !final) return 0;
          end = LineTextEnd(p, lf != nullptr ? lf : avail);
          continue;
        }
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
        if (len + add > kMaxFieldBytes) return fail(Q7_ERROR_DATA_OVERFLOW, p, Lex::kQuoted);
        if (o != nullptr) {
          for (int k = 0; k < add; ++k) *o++ = p[k];
        }
        len += add;
        p += step;
      }
      if (p < end) {
        if (sep[static_cast<unsigned char>(*p)] == 0) return fail(Q7_CATALOG_PARSE_ERROR, p, Lex::kQuoteSeen);
        ++p;
        more = true;
      }
    } else {
      // Copied while scanning; a field can take at most kMaxFieldBytes bytes.
      const char* stop = end - p > kMaxFieldBytes ? p + kMaxFieldBytes : end;
      if (m_nMbStep != 0) {
        const char* q = p;
        while (q < stop && sep[static_cast<unsigned char>(*q)] == 0) q += CharLength(q, end);
        if (q > stop) return fail(Q7_ERROR_DATA_OVERFLOW, p, Lex::kUnquoted);  // a character across the limit
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
        if (sep[static_cast<unsigned char>(*p)] == 0) return fail(Q7_ERROR_DATA_OVERFLOW, p, Lex::kUnquoted);
        ++p;
        more = true;
      }
    }
    if (o != nullptr) *o = '\0';
    if (!skipped) ++items;
    ++position;
    // After a separator at the record end the loop takes one more, empty field.
    if (!more) break;
  }
  for (int i = items; i < slots; ++i) m_StrItems[static_cast<size_t>(i)]->getData()[0] = '\0';
  span->complete = true;
  span->length = static_cast<size_t>((lf != nullptr ? lf + 1 : avail) - begin);
  return items;
}

int CFixedLengthParser::SplitRecord(const char* begin, const char* end, bool final, RecordSpan* span,
                                    int check) {
  const char* lf = static_cast<const char*>(std::memchr(begin, '\n', static_cast<size_t>(end - begin)));
  span->lines = 0;
  span->complete = lf != nullptr || final;
  if (!span->complete) return 0;
  span->length = static_cast<size_t>((lf != nullptr ? lf + 1 : end) - begin);
  return SplitLine(begin, LineTextEnd(begin, lf != nullptr ? lf : end), check);
}

// ---- The record scanner ----

int CTextParser::LexCharLength(const char* p, const char* end, bool final) const {
  const unsigned char lead = static_cast<unsigned char>(*p);
  if (m_nMbStep == 0 || lead < 0x80) return 1;
  const int n = m_nMbStep == 1 ? sjis_bytes(lead) : ms949_bytes(lead);
  if (n < 2) return 1;
  // As the splitter steps within a line's text: a trail byte is never the LF, nor the CR of a CR LF
  // or of the source's end.
  if (p + 1 >= end) return final ? 1 : 0;
  if (p[1] == '\n') return 1;
  if (p[1] == '\r') {
    if (p + 2 >= end) return final ? 1 : 0;
    if (p[2] == '\n') return 1;
  }
  return 2;
}

CTextParser::Lex CTextParser::StepLex(Lex state, const char* p, const char* end, bool final, int* taken,
                                      bool* ended) const {
  const char c = *p;
  *ended = false;
  *taken = 1;
  switch (state) {
    case Lex::kQuoted:
      if (c == '"') return Lex::kQuoteSeen;
      *taken = LexCharLength(p, end, final);
      return Lex::kQuoted;
    case Lex::kQuoteSeen:
      if (c == '"') return Lex::kQuoted;  // a doubled quote
      break;
    case Lex::kRecordStart:
    case Lex::kFieldStart:
      if (c == '"') return Lex::kQuoted;
      break;
    case Lex::kUnquoted:
      break;
  }
  if (c == '\n') {
    *ended = true;
    return Lex::kRecordStart;
  }
  if (IsSep(c)) return Lex::kFieldStart;
  // Anything else is unquoted text, also after a closing quote (a split error there).
  *taken = LexCharLength(p, end, final);
  return Lex::kUnquoted;
}

bool CTextParser::ScanRecord(const char* p, const char* end, bool final, Lex* state, size_t* length,
                             int* lines) const {
  const char* const start = p;
  if (!m_bQuotes) {
    const void* lf = std::memchr(p, '\n', static_cast<size_t>(end - p));
    *length = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) + 1 - start)
                            : static_cast<size_t>(end - start);
    if (lf != nullptr) *state = Lex::kRecordStart;
    return lf != nullptr || final;
  }
  Lex s = *state;
  while (p < end) {
    if (s == Lex::kQuoted && m_nMbStep == 0) {
      // To the next quote at once, counting the line ends on the way.
      const char* q = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
      const char* stop = q != nullptr ? q : end;
      *lines += static_cast<int>(std::count(p, stop, '\n'));
      p = stop;
      if (q != nullptr) {
        s = Lex::kQuoteSeen;
        ++p;
      }
      continue;
    }
    int taken = 1;
    bool ended = false;
    const Lex next = StepLex(s, p, end, final, &taken, &ended);
    if (taken == 0) break;
    if (next == Lex::kQuoted && s == Lex::kQuoted && *p == '\n') ++*lines;
    s = next;
    p += taken;
    if (ended) {
      *state = s;
      *length = static_cast<size_t>(p - start);
      return true;
    }
  }
  *state = s;
  *length = static_cast<size_t>(p - start);
  if (final && p >= end) {
    *state = Lex::kRecordStart;
    return true;
  }
  return false;
}

int64_t CTextParser::SyncRecordStart(const char* buf, size_t len, bool final) const {
  if (!m_bQuotes) return 0;
  // Two readings of the same bytes: a record starts at buf (a), or a quoted field goes on (b; its
  // text already holds the LF before buf). Once both are in the same state at the same byte they
  // read the rest alike, and the next record start is one for both. A reading whose field grows
  // past the longest text fails the import if it is the true one, so the other decides alone.
  struct Reading {
    Lex state;
    size_t pos;
    size_t field;  // bytes of the current field so far
    bool alive;
  };
  constexpr size_t kLongestField = 2 * kStrItemSize + 2;
  Reading a{Lex::kRecordStart, 0, 0, true};
  Reading b{Lex::kQuoted, 0, 1, true};
  const char* const end = buf + len;
  auto step = [&](Reading& r) {
    int taken = 1;
    bool ended = false;
    r.state = StepLex(r.state, buf + r.pos, end, final, &taken, &ended);
    if (taken == 0) return false;
    r.pos += static_cast<size_t>(taken);
    const bool new_field = r.state == Lex::kRecordStart || r.state == Lex::kFieldStart;
    r.field = new_field ? 0 : r.field + static_cast<size_t>(taken);
    if (r.field > kLongestField) r.alive = false;
    return true;
  };
  // The first record start of one reading from its position on, or -1.
  auto next_start = [&](Reading& r) -> int64_t {
    while (r.state != Lex::kRecordStart) {
      if (r.pos >= len) return final ? static_cast<int64_t>(len) : -1;
      if (!step(r)) return -1;
    }
    return static_cast<int64_t>(r.pos);
  };
  for (;;) {
    if (!b.alive) return 0;
    if (!a.alive) return next_start(b);
    if (a.pos == b.pos && a.state == b.state) return next_start(a);
    Reading& behind = a.pos <= b.pos ? a : b;
    if (behind.pos >= len) return final ? static_cast<int64_t>(len) : -1;
    if (!step(behind)) return -1;
  }
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
  // The caller has taken the record end off already.
  RecordSpan span;
  m_nItemCount = SplitRecord(line, line + std::strlen(line), true, &span, check);
  return m_nItemCount;
}

int CTextParser::parseUntilCRLF(char* buf, unsigned long len, unsigned long* lineLen, int* lineEnded,
                                int /*continued*/) {
  RecordSpan span;
  const int items = SplitRecord(buf, buf + len, true, &span, 1);
  if (lineLen != nullptr) *lineLen = static_cast<unsigned long>(span.length);
  if (lineEnded != nullptr) *lineEnded = span.length > 0 && buf[span.length - 1] == '\n' ? 1 : 0;
  return items;
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
  // Under STOP the row's failure follows this report.
  if (m_nErrorLogType == kErrorStop) LOGOBJ->NoteFailureCode(Q7_ERROR_INVALID_DATA);
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
      if (m_nErrorLogType != kErrorSkipLine) LOGOBJ->NoteFailureCode(Q7_ERROR_INVALID_DATA);
      if (report) Report(kReportParseError, line + 1, 0, 0);
      if (m_nErrorLogType == kErrorSkipLine) return kStatusSkipLine;
      PutErrorLog("validateRet", Q7_ERROR_INVALID_DATA, "Invalid Data");
      throw CQ7Exception(Q7_ERROR_INVALID_DATA);
    case Q7_ERROR_OUT_OF_MEMORY:
      LOGOBJ->NoteFailureCode(code);
      if (report) Report(kReportOutOfMemory, line + 1, 0, 0);
      PutErrorLog("validateRet", code, "Out of memory");
      throw CQ7Exception(code);
    case Q7_ERROR_DATA_OVERFLOW:
      LOGOBJ->NoteFailureCode(code);
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

void CTextParser::CreateLineModeFields(const char* sample, const char* sample_end, bool final,
                                       int64_t avg_line, int setting, bool from_rest) {
  bool have_sample = false;
  if (sample != nullptr) {
    RecordSpan span;
    const int n = SplitRecord(sample, sample_end, final, &span, 0);
    if (span.complete && n == Q7_ERROR_DATA_OVERFLOW) throw CQ7Exception(Q7_ERROR_DATA_OVERFLOW);
    have_sample = span.complete && n >= 0;
  }
  m_nSampleLineLength = avg_line;
  const int capacity = from_rest ? calcMemRowsEx() : calcMemRows();
  CreateCatalogFields(capacity, have_sample, setting);
}

void CTextParser::CreateLineModeFieldsFromHead(const char* head, size_t head_len, bool head_final,
                                               int setting, bool from_rest) {
  const char* head_end = head + head_len;
  const char* sample = head;
  if (m_nCutTop != 0 && head_len > 0) {
    Lex state = Lex::kRecordStart;
    size_t n = 0;
    int lines = 0;
    sample = ScanRecord(head, head_end, head_final, &state, &n, &lines) ? head + n : head_end;
  }
  CreateLineModeFields(sample < head_end ? sample : nullptr, head_end, head_final,
                       head_len == 0 ? 0 : AverageLineLength(head, head_len), setting, from_rest);
}

int CTextParser::createFieldItems(int setting, const char* name, int fromRest) {
  if (!m_FieldItems.empty()) return 0;
  try {
    if (name == nullptr || name[0] == '\0') throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    SetFileName(name);
    zpk_fstream stream;
    if (stream.open(m_szFileName, "rb", 1) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    LineReader reader(stream.handle());
    size_t head_len = 0;
    bool head_final = false;
    const char* head = reader.View(&head_len, &head_final);
    const size_t mark = Utf8MarkLength(m_nCharCode, head, head_len);
    head += mark;
    head_len -= mark;
    if (m_StrItems.empty()) createStrItems();
    CreateLineModeFieldsFromHead(head, head_len, head_final, setting, fromRest != 0);
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
    RecordSpan span;
    const bool sample = SplitRecord(buf, buf + len, true, &span, 0) >= 0;
    // Sized for the rows expected before the first compile, at the average length of the block's
    // first lines (a few thousand, so that one odd line does not skew it), with an eighth more:
    // a buffer that falls short is copied whole into a larger one, while the pages of one sized
    // too large are never touched.
    uint64_t bytes = len;
    if (m_nMapped != 0 && m_nSpanEnd > m_nWindowStart)
      bytes = std::max<uint64_t>(bytes, m_nSpanEnd - m_nWindowStart);
    const int64_t rows = static_cast<int64_t>(std::min<uint64_t>(bytes, INT64_MAX / 4)) /
                         AverageLineLength(buf, len, kSampleLines);
    CreateCatalogFields(ClampRows(rows + rows / 8 + 1000), sample);
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
  // length, the string estimates from the first data record.
  size_t head_len = 0;
  bool head_final = false;
  const char* head = reader.View(&head_len, &head_final);
  const size_t mark = Utf8MarkLength(m_nCharCode, head, head_len);
  if (mark > 0) {
    reader.Consume(mark);
    monitor->m_nReadBytes += static_cast<int64_t>(mark);
    head = reader.View(&head_len, &head_final);
  }
  CreateLineModeFieldsFromHead(head, head_len, head_final);

  // The title record is dropped whole, however long, as the parallel road drops it.
  bool title = m_nCutTop != 0;
  Lex title_state = Lex::kRecordStart;
  for (;;) {
    size_t len = 0;
    bool final = false;
    const char* data = reader.View(&len, &final);
    if (len == 0) break;
    if (title) {
      size_t n = 0;
      int lines = 0;
      title = !ScanRecord(data, data + len, final, &title_state, &n, &lines);
      if (n == 0 && title) {
        reader.More();
      } else {
        reader.Consume(n);
        monitor->m_nReadBytes += static_cast<int64_t>(n);
      }
      continue;
    }
    if (m_nRowSize >= 0 && m_nRowsParsed >= m_nRowSize) break;
    RecordSpan span;
    int items = SplitRecord(data, data + len, final, &span, 1);
    if (!span.complete) {
      if (len < kMaxRecordBytes) {
        reader.More();
        continue;
      }
      items = Q7_ERROR_DATA_OVERFLOW;
    } else if (span.length > kMaxRecordBytes) {
      items = Q7_ERROR_DATA_OVERFLOW;
    }
    m_nItemCount = items;
    if (CheckLineStatus(items, m_nLineNumber, 0) != kStatusSkipLine) {
      if (items == m_nFieldCount) {
        CheckLineStatus(Str2Data(items, m_nRowsParsed), m_nLineNumber, 0);
        ++m_nRowsParsed;
      } else {
        if (m_nErrorLogType != kErrorSkipLine) LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
        Report(kReportMismatch, m_nFieldCount, items, m_nLineNumber + 1);
        if (m_nErrorLogType != kErrorSkipLine) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
      }
    }
    reader.Consume(span.length);
    monitor->m_nReadBytes += static_cast<int64_t>(span.length);
    CountRecord(span.lines);
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
  m_nSpanEnd = end;
  m_nLineStart = start;
  m_nWindowStart = start;
  m_nWindowLen = 0;
  m_nWindowPos = 0;
}

int CTextParser::calc_remaining_lines_from_mappedfile(int avg) {
  if (avg <= 0) return 1;
  const uint64_t here = m_nWindowStart + m_nWindowPos;
  const int64_t left = m_nSpanEnd > here
                           ? static_cast<int64_t>(m_nSpanEnd - here)
                           : static_cast<int64_t>(m_nWindowLen) - static_cast<int64_t>(m_nWindowPos);
  return left < 0 ? 1 : ClampRows(left / avg);
}

long CTextParser::RemainingRowsEstimate(int rows, long avg) {
  if (m_nMapped != 0)
    return calc_remaining_lines_from_mappedfile(static_cast<int>(std::min<long>(avg, INT_MAX)));
  return CFileMonitor::Instance()->get_remaining_lines(rows);
}

void CTextParser::CountRecord(int lines) {
  if (m_nRowCount == INT_MAX - 1 || m_nLineNumber > INT_MAX - 2 - lines)
    throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  ++m_nRowCount;
  m_nLineNumber += lines + 1;
}

int CTextParser::ParseMemRecord(int items, int lines, int* row) {
  m_nItemCount = items;
  int status = CheckMemStatus(items, m_nLineNumber);
  if (status != kStatusSkipLine) {
    if (items == m_nFieldCount) {
      const int r = Str2Data(items, m_nPendingRows);
      // A text its field cannot convert fails the chunk only under STOP; otherwise the row stays,
      // as in line mode, whichever window the record falls in.
      if (r < 0 && (r != Q7_ERROR_INVALID_DATA || m_nErrorLogType == kErrorStop)) throw CQ7Exception(r);
      ++m_nPendingRows;
      ++*row;
      ++m_nRowsParsed;
    } else {
      if (m_nErrorLogType == kErrorNone) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
      Report(kReportMismatch, m_nFieldCount, items, m_nLineNumber + 1);
      if (m_nErrorLogType != kErrorSkipLine) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
      status = kStatusSkipLine;
    }
  }
  CountRecord(lines);
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
      m_nPendingRows = 0;
      if (m_StrItems.empty()) createStrItems();
      const int r = createFieldItems(buf, len);
      if (r < 0) return r;
    }
    m_nWindowLen = len;
    m_nWindowPos = 0;
    int status = kStatusOk;
    unsigned long pos = 0;
    const bool final = lastWindow != 0;
    while (pos < len) {
      // The records from the chunk end on belong to the next worker.
      if (m_nChunkEnd != 0 && m_nWindowStart + pos >= m_nChunkEnd) break;
      RecordSpan span;
      int items = SplitRecord(buf + pos, buf + len, final, &span, 1);
      if (!span.complete) {
        // The record goes on in the next window, which starts with it; as in line mode, one that
        // runs past the longest record is an overflow.
        if (len - pos < kMaxRecordBytes) break;
        items = Q7_ERROR_DATA_OVERFLOW;
      } else if (span.length > kMaxRecordBytes) {
        items = Q7_ERROR_DATA_OVERFLOW;
      }
      m_nWindowPos = pos;
      status = ParseMemRecord(items, span.lines, row);
      pos += static_cast<unsigned long>(span.length);
      m_nLineStart = m_nWindowStart + pos;
    }
    *consumed = pos;
    m_nWindowStart += pos;
    m_nWindowPos = pos;
    if (pos == 0 && len > 0 && (m_nChunkEnd == 0 || m_nWindowStart < m_nChunkEnd)) return kWindowTooSmall;
    return status;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}
