// CMppTextParser: reading a single-column file on the worker pool into a new column.
#include "import/CMppTextParser.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"
#include "foundation/SystemHeader.h"
#include "foundation/mpp_tasks.h"
#include "import/CField.h"
#include "import/CPlainTextParser.h"
#include "import/ImportText.h"
#include "q7api.h"

namespace {

// A worker reads its chunk in blocks of at most this many bytes.
constexpr uint64_t kReadBlock = uint64_t{8} << 20;

struct TextParserParam {
  MppParamHeader header;
  int32_t worker;
  TEXT_PARSER_PARAM chunk;
};
static_assert(sizeof(TextParserParam) <= kThreadParamSize);

}  // namespace

CMppTextParser* CMppTextParser::Instance() {
  static CMppTextParser* instance = new CMppTextParser();
  return instance;
}

CMppTextParser* MppTxtParserObj = CMppTextParser::Instance();

CMppTextParser::CMppTextParser() = default;
CMppTextParser::~CMppTextParser() = default;

int CMppTextParser::DoParse(int table, int filterPos, char* file, char* name, int type, int rows) {
  int result;
  try {
    result = Run(table, filterPos, file, name, type, rows);
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = Q7_ERROR_UNKNOWN;
  }
  free();
  return result;
}

void CMppTextParser::sysinfo() { m_nPageSize = static_cast<int32_t>(SystemPageSize()); }

void CMppTextParser::init() {
  sysinfo();
  const int64_t page = m_nPageSize;
  int64_t n = std::max(CSmpEngine::Instance()->ActiveThreads(), 1);
  if (m_nFileSize <= page) {
    n = 1;
  } else if (m_nFileSize < n * page) {
    n = (m_nFileSize + page - 1) / page;
  }
  m_nChunkCount = static_cast<int32_t>(n);
}

void CMppTextParser::alloc() {
  m_Chunks.clear();
  const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(m_nFileSize, 0));
  const int n = std::max(m_nChunkCount, 1);
  const uint64_t length = std::max<uint64_t>(size / static_cast<uint64_t>(n), 1);
  // A byte-order mark is no value; the line-mode read drops it too.
  uint64_t start = Utf8MarkLength(getSystemInfoDBCharCode(), m_nFd, size);
  for (int k = 0; k < n && start < size; ++k) {
    // The last chunk takes the rest, so no tail is ever left out.
    uint64_t end = size;
    if (k < n - 1 && start + length < size) end = FindLineEnd(m_nFd, start + length - 1, size);
    m_Chunks.push_back({start, end});
    start = end;
  }
  m_nChunkCount = static_cast<int32_t>(m_Chunks.size());
  m_Parsers.clear();
  m_Parsers.resize(m_Chunks.size());
}

void CMppTextParser::free() {
  m_Chunks.clear();
  m_Parsers.clear();
  if (m_nFd >= 0) mmf_close(m_nFd);
  m_nFd = -1;
  m_szFile = nullptr;
  m_szName = nullptr;
}

int CMppTextParser::merge_parser_data(CPlainTextParser* a, CPlainTextParser* b) { return a->merge(b); }

int CMppTextParser::Run(int table, int filterPos, char* file, char* name, int type, int rows) {
  m_szFile = file;
  m_szName = name;
  m_nRows = rows;
  m_nType = type;
  if (FieldTypeName(type) == nullptr) return Q7_ERROR_INVALID_DATA_TYPE;
  int error = 0;
  const int fd = file == nullptr ? -1 : mmf_create(file, &error);
  if (fd >= 0) m_nFd = fd;
  // Only a regular file can be mapped; the size is taken from what was opened.
  struct stat st {};
  if (fd < 0 || error != 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    LogMsg("FILE  [%s] MISSING ", file != nullptr ? file : "");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  m_nFileSize = static_cast<int64_t>(st.st_size);
  init();
  try {
    alloc();
  } catch (const std::bad_alloc&) {
    LogMsg("ADD CATALOG FAILURE  - Q7_ERROR_OUT_OF_MEMORY");
    return Q7_ERROR_OUT_OF_MEMORY;
  }

  CSmpEngine* eng = CSmpEngine::Instance();
  const int k = m_nChunkCount;
  int64_t total = 0;
  if (k > 0) {
    for (int i = 0; i < k; ++i) {
      auto* param = static_cast<TextParserParam*>(eng->get_thread_param(i));
      if (param == nullptr) return Q7_ERROR_UNKNOWN;
      param->worker = i;
      param->chunk = m_Chunks[static_cast<size_t>(i)];
    }
    eng->resume_wkthreads(k, kMppTaskTxtParse);
    eng->wait_until_finish(k);
    for (int i = 0; i < k; ++i) {
      const int result = eng->get_wkthread_retcode(i);
      if (result < 0) return result;
      total += result;
    }
    for (int i = 1; i < k; ++i) {
      const int r = merge_parser_data(m_Parsers[0].get(), m_Parsers[static_cast<size_t>(i)].get());
      if (r < 0) return r;
      m_Parsers[static_cast<size_t>(i)].reset();
    }
  } else {
    // An empty file: a column without lines.
    m_Parsers.push_back(std::make_unique<CPlainTextParser>(type));
    char none[1] = {'\0'};
    const int r = m_Parsers[0]->createFieldItems(none, 0);
    if (r < 0) return r;
  }
  if (total >= INT_MAX) return Q7_ERROR_ROW_SIZE_OVERFLOW;
  CPlainTextParser* parser = m_Parsers[0].get();
  // As a line-mode read: a row count given cuts the lines after it and pads a shorter file.
  parser->SetRows(rows >= 0 ? rows : static_cast<int>(total));
  parser->setTableID(table);
  parser->setFilterName(0, name);
  parser->setFilterPos(0, filterPos);
  return parser->WriteFilter(table);
}

int CMppTextParser::mpp_text_parser(void* param) {
  auto* p = static_cast<TextParserParam*>(param);
  try {
    return Instance()->text2bin(p->worker, p->chunk);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return Q7_ERROR_UNKNOWN;
  }
}

int CMppTextParser::text2bin(int worker, const TEXT_PARSER_PARAM& chunk) {
  if (worker < 0 || static_cast<size_t>(worker) >= m_Parsers.size()) return Q7_ERROR_UNKNOWN;
  std::unique_ptr<CPlainTextParser>& parser = m_Parsers[static_cast<size_t>(worker)];
  parser = std::make_unique<CPlainTextParser>(m_nType);
  parser->SetFileName("SrcData.dat");
  parser->setWorkerIndex(worker);
  parser->setMappedMode(1);
  parser->setChunk(chunk.start, chunk.end);
  // Read in blocks rather than mapped, so that a file that shrinks or changes meanwhile cannot
  // fault; a block that holds no whole line is read again larger.
  std::unique_ptr<char[]> buffer;
  uint64_t capacity = 0;
  uint64_t offset = chunk.start;
  uint64_t want = kReadBlock;
  int rows = 0;
  int status = 0;
  bool first = true;
  while (offset < chunk.end || first) {
    const uint64_t length = std::min(want, chunk.end - offset);
    if (length > capacity) {
      buffer.reset();
      buffer.reset(new char[static_cast<size_t>(length)]);
      capacity = length;
    }
    if (length > 0 && !ReadFileAt(m_nFd, buffer.get(), length, offset)) return Q7_ERROR_FILE_OPERATION_FAILED;
    const int last = offset + length == chunk.end ? 1 : 0;
    unsigned long consumed = 0;
    int block_rows = 0;
    status = parser->ParseMem(buffer.get(), static_cast<unsigned long>(length), last, first ? 1 : 0,
                              &consumed, &block_rows);
    if (status < 0) return status;
    first = false;
    rows += block_rows;
    if (consumed == 0 && last == 0) {
      want = std::max(want, length) * 2;
      continue;
    }
    want = kReadBlock;
    offset += consumed;
    if (last != 0) break;
  }
  return rows;
}
