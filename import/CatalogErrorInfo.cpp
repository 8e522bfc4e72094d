// CatalogErrorInfo: an import worker's bad-line reports and their lines in the catalog log.
#include "import/CatalogErrorInfo.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"

static_assert(sizeof(CatalogErrorInfo::Block) == CatalogErrorInfo::kBlockBytes);

const CatalogErrFormat CatalogErrTable[9] = {
    {0, ""},
    {1, "DATA OVERFLOW ERROR - MAX_STRING_SIZE EXCEED \t\t @  Row = %d @ File = %s "},
    {2, "OUT_OF_MEMORY  ERROR \t\t @  Row = %d "},
    {3, "DATA PARSE ERROR \t\t @ Row = %d "},
    {4, "DATA ERROR \t\t----->\t[%s] = \"%s\"  \t@ Row = %d , Col = %d "},
    {5, "FILTER MISMATCH \t----->\tFilters - Items [%d - %d] \t@ Row = %d "},
    {6, "Q7_ERROR_OUT_OF_MEMORY"},
    {7, "FILTER MISMATCH \t----->\tFilters != Items [%d - (> %d) ] \t@ Row = %d "},
    {8, "ITEM SIZE MISMATCH \t----->\t Field Length  != Item length [%d - %d] \t@ Row = %d "},
};

namespace {

// Entries are little-endian whatever the host's order, so a record reads the same everywhere.
void PutInt(std::string& out, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
}

int32_t GetInt(const char* p) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  return static_cast<int32_t>(u);
}

// A text cut so that every entry fits one block whatever the caller hands in.
void PutText(std::string& out, const char* text) {
  const size_t n = text == nullptr ? 0 : strnlen(text, CatalogErrorInfo::kMaxTextBytes - 1);
  out.append(text == nullptr ? "" : text, n);
  out.push_back('\0');
}

// Starts an entry: room for the size, then the code.
std::string Begin(int code) {
  std::string e;
  e.reserve(64);
  PutInt(e, 0);
  PutInt(e, code);
  return e;
}

void Finish(std::string& e) {
  const int32_t size = static_cast<int32_t>(e.size());
  std::string head;
  PutInt(head, size);
  e.replace(0, 4, head);
}

}  // namespace

CatalogErrorInfo::CatalogErrorInfo() { blocks_.push_back(NewBlock()); }

CatalogErrorInfo::~CatalogErrorInfo() {
  for (Block* b : blocks_) delete b;
}

CatalogErrorInfo::Block* CatalogErrorInfo::NewBlock() {
  Block* b = new (std::nothrow) Block();  // value-initialised: zero-filled
  if (b == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  return b;
}

void CatalogErrorInfo::MemCopyErrMsgArea(const void* entry, unsigned long size) {
  if (size == 0 || size >= kAreaBytes) return;  // never built by the recorders below
  Block* cur = blocks_[static_cast<size_t>(current_)];
  if (cur->used + size >= kAreaBytes) {
    Block* b = NewBlock();
    try {
      blocks_.push_back(b);
    } catch (const std::bad_alloc&) {
      delete b;
      throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
    }
    current_ = static_cast<int32_t>(blocks_.size() - 1);
    cur = b;
  }
  memcpy(cur->area + cur->used, entry, size);
  cur->used += size;
  cur->count += 1;
}

namespace {
template <class Fill>
void Record(CatalogErrorInfo* info, int code, Fill fill) {
  std::string e;
  try {
    e = Begin(code);
    fill(e);
    Finish(e);
  } catch (const std::bad_alloc&) {
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  }
  info->MemCopyErrMsgArea(e.data(), e.size());
}
}  // namespace

void CatalogErrorInfo::SetLogMsg(int code) {
  Record(this, code, [](std::string&) {});
}

void CatalogErrorInfo::SetLogMsg(int code, int a) {
  Record(this, code, [&](std::string& e) { PutInt(e, a); });
}

void CatalogErrorInfo::SetLogMsg(int code, int a, const char* text) {
  Record(this, code, [&](std::string& e) {
    PutInt(e, a);
    PutText(e, text);
  });
}

void CatalogErrorInfo::SetLogMsg(int code, const char* name, const char* text, int row, int column) {
  Record(this, code, [&](std::string& e) {
    PutText(e, name);
    PutText(e, text);
    PutInt(e, row);
    PutInt(e, column);
  });
}

void CatalogErrorInfo::SetLogMsg(int code, int a, int b, int c) {
  Record(this, code, [&](std::string& e) {
    PutInt(e, a);
    PutInt(e, b);
    PutInt(e, c);
  });
}

int CatalogErrorInfo::EntrySize(const char* entry) { return GetInt(entry); }
int CatalogErrorInfo::EntryCode(const char* entry) { return GetInt(entry + 4); }

void CatalogErrorInfo::GetErrorMsgDetails(const char* entry, int* row) { *row = GetInt(entry + 8); }

void CatalogErrorInfo::GetErrorMsgDetails(const char* entry, int* row, const char** text) {
  *row = GetInt(entry + 8);
  *text = entry + 12;
}

void CatalogErrorInfo::GetErrorMsgDetails(const char* entry, const char** name, const char** text, int* row,
                                          int* column) {
  const char* p = entry + 8;
  *name = p;
  p += strlen(p) + 1;
  *text = p;
  p += strlen(p) + 1;
  *row = GetInt(p);
  *column = GetInt(p + 4);
}

void CatalogErrorInfo::GetErrorMsgDetails(const char* entry, int* a, int* b, int* c) {
  *a = GetInt(entry + 8);
  *b = GetInt(entry + 12);
  *c = GetInt(entry + 16);
}

int CatalogErrorInfo::EntryCount() const {
  int n = 0;
  for (const Block* b : blocks_) n += static_cast<int>(b->count);
  return n;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
const char* CatalogErrorInfo::LogMsgPrint(const char* entry, int lineOffset) {
  // Two texts of at most 4095 bytes and the longest format fit.
  char line[2 * kMaxTextBytes + 512];
  if (FormatEntry(entry, lineOffset, line, sizeof line)) LogMsg2("%s", line);
  return entry + EntrySize(entry);
}

bool CatalogErrorInfo::FormatEntry(const char* entry, int line_offset, char* line, size_t size) {
  const int code = EntryCode(entry);
  if (code < 1 || code > 8) return false;
  const char* format = CatalogErrTable[code].format;
  switch (code) {
    case 1: {
      int row = 0;
      const char* file = nullptr;
      GetErrorMsgDetails(entry, &row, &file);
      snprintf(line, size, format, row + line_offset, file);
      break;
    }
    case 2:
    case 3: {
      int row = 0;
      GetErrorMsgDetails(entry, &row);
      snprintf(line, size, format, row + line_offset);
      break;
    }
    case 4: {
      const char* name = nullptr;
      const char* text = nullptr;
      int row = 0;
      int column = 0;
      GetErrorMsgDetails(entry, &name, &text, &row, &column);
      snprintf(line, size, format, name, text, row + line_offset, column);
      break;
    }
    case 6:
      snprintf(line, size, "%s", format);
      break;
    default: {  // 5, 7, 8: the row is the last integer
      int a = 0;
      int b = 0;
      int row = 0;
      GetErrorMsgDetails(entry, &a, &b, &row);
      snprintf(line, size, format, a, b, row + line_offset);
      break;
    }
  }
  return true;
}
#pragma GCC diagnostic pop

void CatalogErrorInfo::AllLogMsgPrint(int lineOffset) {
  if (blocks_.empty() || blocks_[0]->count == 0) return;
  CErrorLog* log = CErrorLog::Instance();
  try {
    log->fopen();
  } catch (const CQ7Exception&) {
    // The first report still reaches the import's caller, who cannot read it from the file.
    char line[2 * kMaxTextBytes + 512];
    for (const Block* b : blocks_) {
      const char* p = b->area;
      for (uint32_t i = 0; i < b->count; ++i, p += EntrySize(p)) {
        if (FormatEntry(p, lineOffset, line, sizeof line)) {
          log->NoteLine(line);
          throw;
        }
      }
    }
    throw;
  }
  try {
    for (const Block* b : blocks_) {
      const char* p = b->area;
      for (uint32_t i = 0; i < b->count; ++i) p = LogMsgPrint(p, lineOffset);
    }
  } catch (const std::bad_alloc&) {
    log->fclose();
    throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  } catch (...) {
    log->fclose();
    throw;
  }
  log->fclose();
}
