// CCMultiThreadImport: importing a catalog's source text file on the worker pool.
#include "import/CCMultiThreadImport.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"
#include "foundation/FailureCode.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "import/CCatalogParser.h"
#include "import/CField.h"
#include "import/CTextParser.h"
#include "import/CatalogErrorInfo.h"
#include "import/ImportTask.h"
#include "import/ImportText.h"
#include "q7api.h"
#include "values/Accommodation.h"
#include "values/MppCompile.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/ZpkBlock.h"

namespace {

// Step 1 found no data at all (an empty source, or only the cut-top line).
constexpr int kEmptySource = -2;

// Windows are at least this large where the chunk allows it, so that a low free-memory figure
// never makes the per-window compile and merge dominate.
constexpr int64_t kMinUsefulWindow = int64_t{16} << 20;
constexpr int64_t kChunkSlack = int64_t{4} << 20;

// A worker reads its chunk in blocks of at most this many bytes (less with a smaller window): read
// into memory rather than mapped, a source that shrinks or changes while it is read cannot fault.
// A block small enough to stay in the core's own cache is parsed where the read copied it, and the
// buffer's few pages are reused; with blocks of megabytes every byte came from memory twice.
constexpr uint64_t kReadBlock = uint64_t{256} << 10;
// The bytes read behind a chunk's first line end to find a record start there (more only when
// these do not decide it), and at most.
constexpr size_t kSyncSpan = size_t{64} << 10;
constexpr size_t kMaxSyncSpan = size_t{1} << 20;

// A worker's read buffer, grown on demand.
class ReadBuffer {
 public:
  char* Get(uint64_t length) {
    if (length > capacity_) {
      data_.Reset();
      data_ = ZpkBlock<char>(static_cast<size_t>(length));
      capacity_ = length;
    }
    return data_.get();
  }

 private:
  ZpkBlock<char> data_;  // each worker reads into one: the engine's block, not its own heap's
  uint64_t capacity_ = 0;
};

// The offset just past the source's first record, which starts at `from` (the title record under
// CUTTOP).
uint64_t TitleEnd(int fd, uint64_t from, uint64_t size, const CTextParser& scanner) {
  ReadBuffer buffer;
  CTextParser::Lex state = CTextParser::Lex::kRecordStart;
  uint64_t offset = from;
  int lines = 0;
  while (offset < size) {
    const uint64_t n = std::min<uint64_t>(kSyncSpan, size - offset);
    char* block = buffer.Get(n);
    if (!ReadFileAt(fd, block, n, offset)) throw CQ7Exception(Q7_ERROR_FILE_OPERATION_FAILED);
    size_t taken = 0;
    if (scanner.ScanRecord(block, block + n, offset + n == size, &state, &taken, &lines))
      return offset + taken;
    offset += std::max<size_t>(taken, 1);
  }
  return size;
}

// A chunk border near `from`: the first record start behind the first line end at or after `from`
// that is one whichever way the text before is read (size when the source ends first), or
// UINT64_MAX when the bytes behind that line end do not decide it.
uint64_t RecordCut(int fd, uint64_t from, uint64_t size, const CTextParser& scanner) {
  const uint64_t line_end = FindLineEnd(fd, from, size);
  if (line_end >= size) return size;
  ReadBuffer buffer;
  for (size_t span = kSyncSpan;; span *= 2) {
    const uint64_t n = std::min<uint64_t>(span, size - line_end);
    char* block = buffer.Get(n);
    if (!ReadFileAt(fd, block, n, line_end)) throw CQ7Exception(Q7_ERROR_FILE_OPERATION_FAILED);
    const bool final = line_end + n == size;
    const int64_t start = scanner.SyncRecordStart(block, static_cast<size_t>(n), final);
    if (start >= 0) return line_end + static_cast<uint64_t>(start);
    if (final || span >= kMaxSyncSpan) return UINT64_MAX;
  }
}

struct ImportParam {
  MppParamHeader header;
  int32_t worker;
  IMPORT_PARSE_ATTRIBUTES chunk;
  int32_t position;
  int32_t rows;
};
static_assert(sizeof(ImportParam) <= kThreadParamSize);

int64_t FreeMemory() {
  struct sysinfo info {};
  if (::sysinfo(&info) != 0) return 0;
  return static_cast<int64_t>(info.freeram + info.bufferram) * static_cast<int64_t>(info.mem_unit);
}

std::unique_ptr<CTextParser> MakeParser(CCatalogParser* catalog) {
  switch (catalog->getSplitType()) {
    case 1:
      return std::make_unique<CTABParser>(catalog);
    case 2:
      return std::make_unique<CCSVParser>(catalog);
    case 3:
      return std::make_unique<CFixedLengthParser>(catalog);
    case 4: {
      const char* s = catalog->getUserSeparators();
      return std::make_unique<CUSRParser>(catalog, s[0], s[1], s[2], s[3], s[4]);
    }
    default:
      return nullptr;
  }
}

// The basic value-list type of a field type: 2, 3 (double, date, time, datetime), 6 or 8.
int ListType(int field_type) {
  switch (field_type) {
    case Q7_TYPE_DATE:
    case Q7_TYPE_TIME:
    case Q7_TYPE_DATETIME:
      return Q7_TYPE_DOUBLE;
    default:
      return field_type;
  }
}

// The decimal list at a larger scale: entry 0 stays the NULL, every other entry that fits follows
// in order (the order holds, as nothing rounds); map[i] receives entry i's new number, 0 (NULL)
// for an entry that no longer fits.
std::unique_ptr<TNumericArray> RescaleList(TNumericArray* list, const NumericInfo& to,
                                           std::vector<int>* map) {
  NumericInfo from;
  list->GetDecimalInfo(&from);
  const int count = list->FArraySize;
  auto out = std::make_unique<TNumericArray>(count + 1, 0);
  const Numeric* in = static_cast<const Numeric*>(list->FData);
  Numeric* dst = static_cast<Numeric*>(out->FData);
  dst[0] = q7num::NanNumeric();
  map->assign(static_cast<size_t>(std::max(count, 1)), 0);
  int kept = 1;
  for (int i = 0; i < count; ++i) {
    Numeric v;
    if (q7num::IsNan(in[i])) continue;
    const int status = q7num::NumericRescale(&from, &to, &in[i], &v);
    if (status < 0 || status >= Q7_NUMERIC_OVERFLOW_POSITIVE || q7num::IsNan(v)) continue;
    dst[kept] = v;
    (*map)[static_cast<size_t>(i)] = kept++;
  }
  out->SetArraySize(kept);
  out->AdjustMemArea();
  out->SetDecimalInfo(&to);
  return out;
}

void Renumber(TIntArray* numbers, const std::vector<int>& map) {
  int* v = numbers->PIntAr();
  for (int i = 0; i < numbers->FArraySize; ++i) v[i] = map[static_cast<size_t>(v[i])];
}

}  // namespace

int64_t CCMultiThreadImport::s_nWindowSizeForTest = 0;
int CCMultiThreadImport::s_nRewritePoolMinRows = CCMultiThreadImport::kRewritePoolMinRows;

void CCMultiThreadImport::SetRewritePoolMinRowsForTest(int rows) {
  s_nRewritePoolMinRows = rows < 0 ? kRewritePoolMinRows : rows;
}

CCMultiThreadImport* CCMultiThreadImport::Instance() {
  static CCMultiThreadImport* instance = new CCMultiThreadImport();
  return instance;
}

CCMultiThreadImport* MultiThreadImportObj = CCMultiThreadImport::Instance();

void CCMultiThreadImport::SetWindowSizeForTest(int64_t bytes) {
  s_nWindowSizeForTest = std::max<int64_t>(bytes, 0);
}

int64_t CCMultiThreadImport::CalcWindowSize(int64_t file_size, int chunks, int64_t free_memory,
                                            int page_size) {
  const int64_t page = std::max(page_size, 1);
  const int64_t n = std::max(chunks, 1);
  // One window per chunk where memory allows (each window costs a compile and a merge); a chunk
  // runs on to the end of a line, hence the slack.
  const int64_t per_chunk = std::max<int64_t>(file_size, 0) / n;
  const int64_t chunk = per_chunk + std::min(per_chunk, kChunkSlack) + page;
  int64_t window = chunk;
  if (free_memory > 0) window = std::min(window, free_memory / (4 * n));
  window = std::min(window, kMaxWindowSize);
  window = std::max(window, std::min(chunk, kMinUsefulWindow));
  window = window / page * page;
  return std::max(window, page);
}

// ---- The import ----

int CCMultiThreadImport::MppImport(CCatalogParser* catalog, char* sourcePath) {
  m_nFd = -1;
  m_pCatalog = catalog;
  m_szSrcFile = sourcePath;
  m_nTotalRows = 0;
  int result;
  std::vector<CatalogErrorInfo*>* records = nullptr;
  try {
    if (catalog == nullptr || sourcePath == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    m_nCutTop = catalog->getCutTop();
    m_nFieldCount = catalog->getFieldCount();
    m_bAppend = catalog->getAppendFlag() != 0;
    if (m_nAppendPos < 0 && catalog->getAppendPos() > 0) m_nAppendPos = catalog->getAppendPos();
    records = &catalog->ErrorInfoList();
    CSmpEngine* eng = CSmpEngine::Instance();
    const int workers = std::max(eng->ActiveThreads(), 1);
    for (int i = 0; i < workers; ++i) {
      records->reserve(records->size() + 1);
      records->push_back(new CatalogErrorInfo());
    }
    if (m_nFieldCount > kMaxFields) {
      result = Q7_ERROR_FILTER_COUNT_OVERFLOW;
    } else if (m_nFieldCount < 1) {
      result = Q7_CATALOG_PARSE_ERROR;
    } else {
      set_step1_thrds(workers);
      result = MppImport_sub();
    }
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = CurrentFailureCode();
  }
  if (records != nullptr) {
    for (CatalogErrorInfo* record : *records) delete record;
    records->clear();
  }
  m_nAppendPos = -1;
  m_nImportedRows = -1;
  m_pCatalog = nullptr;
  return result;
}

int CCMultiThreadImport::MppImport_sub() {
  int result;
  try {
    if (MakeParser(m_pCatalog) == nullptr) {
      LOGOBJ->NoteFailureCode(Q7_CATALOG_PARSE_ERROR);
      LogMsg("NO FILE FORMAT IS SPECIFIED");
      throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
    }
    int error = 0;
    const int fd = mmf_create(m_szSrcFile, &error);
    if (fd >= 0) m_nFd = fd;
    // Only a regular file can be mapped; the size is taken from what was opened.
    struct stat st {};
    if (fd < 0 || error != 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      LOGOBJ->NoteFailureCode(Q7_ERROR_ILLEGAL_FILE_NAME);
      LogMsg("FILE  [%s] MISSING ", m_szSrcFile);
      throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    }
    m_nFileSize = static_cast<int64_t>(st.st_size);
    init();
    const int rows = MppImport_run_step1();
    if (rows == kEmptySource) {
      // An append of nothing appends nothing; a new table is made with its empty filters.
      result = m_bAppend ? 0 : no_data_tablemake();
    } else if (rows < 0) {
      result = rows;
    } else {
      m_nImportedRows = rows;
      result = MppImport_run_step2();
    }
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = CurrentFailureCode();
  }
  if (m_nFd >= 0) mmf_close(m_nFd);
  m_nFd = -1;
  free_step1();
  free_mem();
  return result;
}

void CCMultiThreadImport::sysinfo() {
  CSmpEngine* eng = CSmpEngine::Instance();
  m_nProcessors = eng->ProcessorCount();
  // Mappings start at multiples of the system's page size.
  m_nPageSize = static_cast<int32_t>(SystemPageSize());
}

void CCMultiThreadImport::init() {
  sysinfo();
  const int64_t page = m_nPageSize;
  int64_t n = std::max(m_nChunkCount, 1);
  if (m_nFileSize <= page) {
    n = 1;
  } else if (m_nFileSize < n * page) {
    n = (m_nFileSize + page - 1) / page;
  }
  set_step1_thrds(static_cast<int>(n));
  if (s_nWindowSizeForTest > 0) {
    m_nWindowSize = std::max(s_nWindowSizeForTest / page * page, page);
  } else {
    m_nWindowSize = CalcWindowSize(m_nFileSize, m_nChunkCount, FreeMemory(), m_nPageSize);
  }
}

const char* CCMultiThreadImport::TableName() const {
  const char* name = m_pCatalog->getTableNameOverride();
  return (name != nullptr && name[0] != '\0') ? name : m_pCatalog->getTitleName();
}

// ---- Step 1 ----

int CCMultiThreadImport::alloc_step1() {
  m_Chunks.clear();
  const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(m_nFileSize, 0));
  const int n = std::max(m_nChunkCount, 1);
  const uint64_t length = std::max<uint64_t>(size / static_cast<uint64_t>(n), 1);
  const std::unique_ptr<CTextParser> scanner = MakeParser(m_pCatalog);
  if (scanner == nullptr) throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
  // A byte-order mark before the first record is no data.
  uint64_t start = Utf8MarkLength(m_pCatalog->getCodeType(), m_nFd, size);
  if (m_nCutTop != 0) start = TitleEnd(m_nFd, start, size, *scanner);
  for (int k = 0; k < n && start < size; ++k) {
    // The last chunk takes the rest, so no tail is ever left out. A chunk ends where a record
    // ends, never inside a quoted field; where the bytes do not tell, it takes the next stretch too.
    uint64_t end = size;
    for (uint64_t nominal = start + length; k < n - 1 && nominal < size; nominal += length) {
      const uint64_t cut = RecordCut(m_nFd, nominal - 1, size, *scanner);
      if (cut != UINT64_MAX) {
        end = std::max(cut, start + 1);
        break;
      }
    }
    m_Chunks.push_back({start, end});
    start = end;
  }
  PrepareChunks();
  return m_nChunkCount;
}

void CCMultiThreadImport::PrepareChunks() {
  set_step1_thrds(static_cast<int>(m_Chunks.size()));
  // When every chunk fits one window, nothing bounds the rows a chunk holds anyway, and the
  // fields other than STRING are better compiled once as whole columns on all workers than per
  // chunk and then merged pairwise. STRING fields keep their per-chunk lists: their texts would
  // otherwise stay in memory until step 2.
  m_bWholeColumns = true;
  for (const IMPORT_PARSE_ATTRIBUTES& chunk : m_Chunks) {
    if (chunk.end - chunk.start > static_cast<uint64_t>(m_nWindowSize)) m_bWholeColumns = false;
  }
  m_WholeField.assign(static_cast<size_t>(m_nFieldCount), 0);
  for (int f = 0; f < m_nFieldCount && m_bWholeColumns; ++f) {
    m_WholeField[static_cast<size_t>(f)] = m_pCatalog->getFieldType(f) != Q7_TYPE_STRING ? 1 : 0;
  }
  m_Parsers.clear();
  m_Parsers.resize(m_Chunks.size());
  for (ChunkResult& chunk : m_Results) {
    for (FieldResult& field : chunk.fields) {
      delete field.numbers;
      delete field.values;
    }
  }
  m_Results.clear();
  m_Results.resize(m_Chunks.size() + 1);
  for (ChunkResult& chunk : m_Results) chunk.fields.resize(static_cast<size_t>(m_nFieldCount));
}

void CCMultiThreadImport::RenewReportRecords() {
  for (CatalogErrorInfo*& record : m_pCatalog->ErrorInfoList()) {
    delete record;
    record = nullptr;
    record = new CatalogErrorInfo();
  }
}

int CCMultiThreadImport::MppImport_run_step1() {
  alloc_step1();
  if (m_Chunks.empty() || m_Chunks[0].start == m_Chunks[0].end) return kEmptySource;
  CSmpEngine* eng = CSmpEngine::Instance();
  for (;;) {
    const int k = m_nChunkCount;
    for (int i = 0; i < k; ++i) {
      auto* param = static_cast<ImportParam*>(eng->get_thread_param(i));
      if (param == nullptr) throw CQ7Exception(Q7_ERROR_UNKNOWN);
      param->worker = i;
      param->chunk = m_Chunks[static_cast<size_t>(i)];
    }
    eng->resume_wkthreads(k, kMppTaskImportParse);
    eng->wait_until_finish(k);
    // A worker read the records a serial read would only when the worker before it ended where it
    // began (the cuts are chosen so; a source changed while it was read may still break that).
    // Then the source is read again as one chunk.
    bool aligned = true;
    for (int i = 1; i < k && aligned; ++i) {
      if (eng->get_wkthread_retcode(i - 1) < 0) break;
      aligned = m_Results[static_cast<size_t>(i - 1)].end == m_Chunks[static_cast<size_t>(i)].start;
    }
    if (aligned) break;
    const IMPORT_PARSE_ATTRIBUTES whole{m_Chunks.front().start, static_cast<uint64_t>(m_nFileSize)};
    m_Chunks.assign(1, whole);
    PrepareChunks();
    RenewReportRecords();
  }
  const int k = m_nChunkCount;
  // The workers' reports in file order: each worker's rows follow the lines of the chunks before.
  std::vector<CatalogErrorInfo*>& records = m_pCatalog->ErrorInfoList();
  int64_t total = 0;
  int64_t lines = 0;
  for (int i = 0; i < k; ++i) {
    const int result = eng->get_wkthread_retcode(i);
    // A log that cannot take the reports fails the import in place of this result.
    if (result < 0) LOGOBJ->NoteFailureCode(result);
    if (static_cast<size_t>(i) < records.size()) {
      records[static_cast<size_t>(i)]->AllLogMsgPrint(static_cast<int>(std::min<int64_t>(lines, INT_MAX)));
    }
    if (result < 0) return result;
    total += m_Results[static_cast<size_t>(i)].rows;
    lines += m_Results[static_cast<size_t>(i)].lines;
  }
  free_step1();
  if (total >= INT_MAX) return Q7_ERROR_ROW_SIZE_OVERFLOW;
  m_nTotalRows = static_cast<int>(total);
  return m_nTotalRows;
}

int CCMultiThreadImport::mpp_import_step1(void* param) {
  auto* p = static_cast<ImportParam*>(param);
  try {
    return Instance()->text2pvvl(p->worker, p->chunk);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int CCMultiThreadImport::text2pvvl(int worker, const IMPORT_PARSE_ATTRIBUTES& chunk) {
  std::unique_ptr<CTextParser> parser = MakeParser(m_pCatalog);
  if (parser == nullptr) return Q7_CATALOG_PARSE_ERROR;
  std::vector<CatalogErrorInfo*>& records = m_pCatalog->ErrorInfoList();
  parser->SetFileName(m_szSrcFile);
  parser->setWorkerIndex(worker);
  parser->setMappedMode(1);
  parser->setChunk(chunk.start, chunk.end);
  parser->setErrorInfo(static_cast<size_t>(worker) < records.size() ? records[static_cast<size_t>(worker)]
                                                                    : nullptr);

  // Rows are compiled window by window (on the whole-column road once, at the end); the window is
  // read in blocks, each parsed at once.
  const uint64_t size = static_cast<uint64_t>(m_nFileSize);
  const uint64_t window = static_cast<uint64_t>(std::max<int64_t>(m_nWindowSize, 1));
  const uint64_t block = std::min(window, kReadBlock);
  ReadBuffer buffer;
  uint64_t offset = chunk.start;
  uint64_t compiled_at = chunk.start;
  uint64_t want = block;
  int64_t rows = 0;
  int64_t pending = 0;
  bool first = true;
  if (!m_bWholeColumns) parser->setSpanEnd(std::min(chunk.end, chunk.start + window));
  while (offset < chunk.end) {
    // The chunk's last record may run past its end (only when the source changed meanwhile): a
    // block too small for one record is read again larger, from the same offset.
    uint64_t length = std::min(want, size - offset);
    if (want == block) length = std::min(length, chunk.end - offset);
    char* data = buffer.Get(length);
    if (!ReadFileAt(m_nFd, data, length, offset)) return Q7_ERROR_FILE_OPERATION_FAILED;
    const int last = offset + length == size ? 1 : 0;
    unsigned long consumed = 0;
    int block_rows = 0;
    const int status = parser->ParseMem(data, static_cast<unsigned long>(length), last, first ? 1 : 0,
                                        &consumed, &block_rows);
    if (status < 0) return status;
    first = false;
    if (status == CTextParser::kWindowTooSmall) {
      want = std::max(want, length) * 2;
      continue;
    }
    want = block;
    offset += consumed;
    rows += block_rows;
    pending += block_rows;
    if (rows >= INT_MAX) return Q7_ERROR_ROW_SIZE_OVERFLOW;
    if (!m_bWholeColumns && (offset - compiled_at >= window || offset >= chunk.end)) {
      if (pending > 0) {
        const int r = parser->Compile();
        if (r < 0) return r;
      }
      pending = 0;
      compiled_at = offset;
      parser->setSpanEnd(std::min(chunk.end, offset + window));
    }
  }
  if (m_bWholeColumns && rows > 0) {
    // One window covers the chunk: only the per-chunk lists are compiled here.
    for (int f = 0; f < m_nFieldCount; ++f) {
      CField* field = parser->getFieldItem(f);
      if (field == nullptr || m_WholeField[static_cast<size_t>(f)] != 0) continue;
      const int r = field->Compile();
      if (r < 0) return r;
    }
  }
  ChunkResult& result = m_Results[static_cast<size_t>(worker)];
  for (int f = 0; f < m_nFieldCount; ++f) {
    CField* field = parser->getFieldItem(f);
    if (field == nullptr || (m_bWholeColumns && m_WholeField[static_cast<size_t>(f)] != 0)) continue;
    FieldResult& out = result.fields[static_cast<size_t>(f)];
    field->TakeCompiled(&out.numbers, &out.values, &out.rows);
  }
  result.rows = static_cast<int32_t>(rows);
  result.lines = parser->getLineCount();
  result.end = offset;
  // Each worker fills its own slot.
  if (m_bWholeColumns) m_Parsers[static_cast<size_t>(worker)] = std::move(parser);
  return static_cast<int>(rows);
}

// ---- Step 2 ----

int CCMultiThreadImport::PrepareAppendTarget() {
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  TBaseTable* base = tables == nullptr ? nullptr : tables->GetTable(m_pCatalog->getTargetTableID());
  if (base == nullptr || base->GetTableKind() != 0) return Q7_ERROR_NO_SUCH_TABLE;
  m_pTarget = static_cast<TRealTable*>(base);
  int ids[TRealTable::kMaxFilters + 1];
  const int filters = m_pTarget->GetFilterIDList(ids);
  if (filters < m_nFieldCount) return Q7_ERROR_NO_SUCH_FILTER;
  m_Targets.assign(static_cast<size_t>(m_nFieldCount), nullptr);
  for (int f = 0; f < m_nFieldCount; ++f) {
    TFilter* filter = m_pTarget->GetFilter(ids[f]);
    if (filter == nullptr || filter->VL == nullptr || filter->PV == nullptr) return Q7_ERROR_NO_SUCH_FILTER;
    // The workers merge lists of one basic type only; a mismatch would fail there unrecorded.
    if (filter->VL->GetDataType() != ListType(m_pCatalog->getFieldType(f)))
      return Q7_ERROR_DATA_TYPE_MISMATCH;
    m_Targets[static_cast<size_t>(f)] = filter;
  }
  if (m_pTarget->GetSet(1) == nullptr) return Q7_ERROR_ILLEGAL_SET_ID;
  for (TFilter* filter : m_Targets) filter->Taint();
  // Pending values would be negative numbers, which the merge cannot renumber.
  m_pTarget->CheckMergeFilterTVL(false);
  const int total = m_pTarget->TotalRecs();
  if (m_nAppendPos < 0) m_nAppendPos = total + 1;
  if (m_nAppendPos == 0) return Q7_ERROR_INVALID_PARAMETER;
  const int64_t extra = int64_t{m_nAppendPos} + m_nImportedRows - (int64_t{total} + 1);
  if (extra >= INT_MAX) return Q7_ERROR_ROW_SIZE_OVERFLOW;
  if (extra > 0) {
    // New records after the last; those from the position on are then overwritten.
    const int r = m_pTarget->InsRows(total + 1, static_cast<int>(extra));
    if (r < 0) return r;
  }
  m_pSet1 = m_pTarget->GetSet(1);
  if (m_pSet1 == nullptr) return Q7_ERROR_ILLEGAL_SET_ID;
  return 0;
}

void CCMultiThreadImport::alloc_step2(int position, int rows) {
  // The lists move from the chunks' results to the merge state: the first chunk of each group
  // holds its group's list.
  const size_t chunks = static_cast<size_t>(m_nChunkCount);
  m_Lists.assign(static_cast<size_t>(m_nFieldCount), std::vector<TBaseArray*>(chunks, nullptr));
  m_Maps.clear();
  m_Maps.resize(static_cast<size_t>(m_nFieldCount));
  for (size_t f = 0; f < m_Lists.size(); ++f) {
    m_Maps[f].resize(chunks);
    for (size_t c = 0; c < chunks; ++c) {
      FieldResult& part = m_Results[c].fields[f];
      if (part.numbers == nullptr || part.values == nullptr) {
        delete part.numbers;
        delete part.values;
        part = FieldResult{};
        continue;
      }
      m_Lists[f][c] = part.values;
      part.values = nullptr;
    }
  }
  m_nStep2Position = position;
  m_nStep2Rows = rows;
}

int CCMultiThreadImport::RunStep2Tasks() {
  CSmpEngine* eng = CSmpEngine::Instance();
  const int workers = std::min(static_cast<int>(m_Tasks.size()), std::max(eng->ActiveThreads(), 1));
  if (workers < 1) return 0;
  m_nNextTask = 0;
  for (int i = 0; i < workers; ++i) {
    auto* param = static_cast<ImportParam*>(eng->get_thread_param(i));
    if (param == nullptr) throw CQ7Exception(Q7_ERROR_UNKNOWN);
    param->worker = i;
    param->position = m_nStep2Position;
    param->rows = m_nStep2Rows;
  }
  m_nStep2Threads = workers;
  eng->resume_wkthreads(workers, kMppTaskImportMerge);
  eng->wait_until_finish(workers);
  for (int i = 0; i < workers; ++i) {
    const int result = eng->get_wkthread_retcode(i);
    if (result < 0) return result;
  }
  return 0;
}

int CCMultiThreadImport::MppImport_run_step2() {
  if (m_bAppend) {
    if (m_nImportedRows == 0) return 0;
    const int r = PrepareAppendTarget();
    if (r < 0) return r;
  }
  alloc_step2(m_nAppendPos, m_nImportedRows);
  CSmpEngine* eng = CSmpEngine::Instance();
  // Each round merges the lists of neighbouring groups of chunks, every field and pair at once.
  const int chunks = m_nChunkCount;
  for (int stride = 1; stride < chunks; stride *= 2) {
    m_Tasks.clear();
    m_Step2Kind = Step2Kind::kMerge;
    for (int f = 0; f < m_nFieldCount; ++f) {
      std::vector<TBaseArray*>& lists = m_Lists[static_cast<size_t>(f)];
      for (int c = 0; c + stride < chunks; c += 2 * stride) {
        TBaseArray*& a = lists[static_cast<size_t>(c)];
        TBaseArray*& b = lists[static_cast<size_t>(c + stride)];
        if (b == nullptr) continue;
        if (a == nullptr) {
          std::swap(a, b);  // a group without rows takes the other's list as it is
          continue;
        }
        m_Tasks.push_back({f, c, stride});
      }
    }
    if (static_cast<int>(m_Tasks.size()) >= eng->ActiveThreads()) {
      const int r = RunStep2Tasks();
      if (r < 0) return r;
    } else {
      // Fewer merges than workers (the last rounds, the largest lists): one after the other, each
      // on all workers.
      for (const MergeTask& t : m_Tasks) MergePair(t.field, t.chunk, t.stride, true);
    }
  }
  if (m_bWholeColumns) {
    for (int f = 0; f < m_nFieldCount; ++f) {
      if (m_WholeField[static_cast<size_t>(f)] != 0) CompileWholeField(f);
    }
    // The parsers hold every field's rows, some gigabytes in large blocks: their frees are spread
    // over the workers rather than run one after the other here.
    m_Tasks.clear();
    m_Step2Kind = Step2Kind::kRelease;
    for (size_t c = 0; c < m_Parsers.size(); ++c) m_Tasks.push_back({0, static_cast<int>(c), 0});
    const int r = RunStep2Tasks();
    m_Parsers.clear();
    if (r < 0) return r;
  }
  // Then every field's value numbers, once, and on the append road the write into the target.
  m_Tasks.clear();
  m_Step2Kind = Step2Kind::kRewrite;
  m_Finished.assign(static_cast<size_t>(m_nFieldCount), FieldResult{});
  m_PiecesLeft = std::make_unique<std::atomic<int>[]>(static_cast<size_t>(m_nFieldCount) *
                                                      static_cast<size_t>(std::max(m_nChunkCount, 1)));
  for (int f = 0; f < m_nFieldCount; ++f) {
    if (!m_bWholeColumns || m_WholeField[static_cast<size_t>(f)] == 0) StartField(f);
  }
  int r = RunStep2Tasks();
  if (r < 0) return r;
  for (int f = 0; f < m_nFieldCount; ++f) {
    if (!m_bWholeColumns || m_WholeField[static_cast<size_t>(f)] == 0) EndField(f);
  }
  m_Finished.clear();
  m_PiecesLeft.reset();
  if (!m_bAppend) return MakeTable();
  m_Tasks.clear();
  m_Step2Kind = Step2Kind::kAppend;
  for (int f = 0; f < m_nFieldCount; ++f) m_Tasks.push_back({f, 0, 0});
  r = RunStep2Tasks();
  if (r < 0) return r;
  return m_nImportedRows;
}

int CCMultiThreadImport::mpp_import_step2(void* param) {
  auto* p = static_cast<ImportParam*>(param);
  try {
    return Instance()->pvvl2filt(p->worker, p->position, p->rows);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int CCMultiThreadImport::ClaimTask() {
  CSmpEngine* eng = CSmpEngine::Instance();
  eng->mt_write_lock();
  const int task = m_nNextTask < static_cast<int>(m_Tasks.size()) ? m_nNextTask++ : -1;
  eng->mt_write_unlock();
  return task;
}

int CCMultiThreadImport::pvvl2filt(int /*worker*/, int /*position*/, int /*rows*/) {
  int result = 0;
  for (int task = ClaimTask(); task >= 0; task = ClaimTask()) {
    const MergeTask& t = m_Tasks[static_cast<size_t>(task)];
    switch (m_Step2Kind) {
      case Step2Kind::kMerge:
        result = MergePair(t.field, t.chunk, t.stride, false);
        break;
      case Step2Kind::kRewrite:
        RewriteRows(t.field, t.chunk, t.first, t.count, t.at);
        break;
      case Step2Kind::kAppend:
        result = AppendField(t.field);
        break;
      case Step2Kind::kRelease:
        m_Parsers[static_cast<size_t>(t.chunk)].reset();
        break;
    }
  }
  return result;
}

int CCMultiThreadImport::MergePair(int field, int chunk, int stride, bool on_pool) {
  const size_t f = static_cast<size_t>(field);
  std::vector<TBaseArray*>& lists = m_Lists[f];
  TBaseArray*& a = lists[static_cast<size_t>(chunk)];
  TBaseArray*& b = lists[static_cast<size_t>(chunk + stride)];
  auto identity = [](int n) {
    auto ids = std::make_unique<TIntArray>(n, 0);
    int* v = ids->PIntAr();
    for (int i = 0; i < n; ++i) v[i] = i;
    return ids;
  };
  // Only the lists are merged; each chunk keeps a map from its own list to its group's list (none:
  // the same), and the value numbers are written once, by RewriteRows.
  std::unique_ptr<TIntArray> moved_a = identity(a->FArraySize);
  std::unique_ptr<TIntArray> moved_b = identity(b->FArraySize);
  TBaseArray* merged = nullptr;
  const int result = on_pool ? MppAccommodationMain(moved_a.get(), a, moved_b.get(), b, &merged)
                             : AccommodationMain(moved_a.get(), a, moved_b.get(), b, &merged);
  std::unique_ptr<TBaseArray> holder(merged);
  if (merged != nullptr) {
    // A merged list keeps the first list's attributes (a decimal's scale and mode, a date's kind).
    CopyListAttributes(a, merged);
    auto remap = [&](int from, int to, TIntArray* moved) {
      const int* m = moved->PIntAr();
      for (int c = from; c < to; ++c) {
        if (m_Results[static_cast<size_t>(c)].fields[f].numbers == nullptr) continue;
        std::unique_ptr<TIntArray>& map = m_Maps[f][static_cast<size_t>(c)];
        if (map == nullptr) {
          map = std::make_unique<TIntArray>(moved->FArraySize, 0);
          std::memcpy(map->PIntAr(), m, sizeof(int) * static_cast<size_t>(moved->FArraySize));
        } else {
          int* v = map->PIntAr();
          for (int i = 0; i < map->FArraySize; ++i) v[i] = m[v[i]];
        }
      }
    };
    remap(chunk, chunk + stride, moved_a.get());
    remap(chunk + stride, std::min(chunk + 2 * stride, m_nChunkCount), moved_b.get());
    delete a;
    a = holder.release();
  }
  delete b;
  b = nullptr;
  return result;
}

void CCMultiThreadImport::StartField(int field) {
  const size_t f = static_cast<size_t>(field);
  const int chunks = m_nChunkCount;
  auto at = [&](int c) -> FieldResult& { return m_Results[static_cast<size_t>(c)].fields[f]; };
  FieldResult& out = m_Finished[f];
  out.values = m_Lists[f][0];
  m_Lists[f][0] = nullptr;
  int64_t total = 0;
  for (int c = 0; c < chunks; ++c) total += at(c).numbers != nullptr ? at(c).rows : 0;
  out.rows = static_cast<int32_t>(total);
  if (out.values == nullptr) return;
  if (chunks == 1) {
    out.numbers = at(0).numbers;
    at(0).numbers = nullptr;
    return;
  }
  out.numbers = new TIntArray(out.rows + 1, 0);
  out.numbers->PIntAr()[0] = 0;
  const int threads = total >= s_nRewritePoolMinRows
                          ? CSmpEngine::Instance()->n_threads_for_elements(static_cast<long>(total))
                          : 1;
  std::atomic<int>* left = &m_PiecesLeft[f * static_cast<size_t>(chunks)];
  if (threads <= 1) {
    for (int c = 0; c < chunks; ++c) left[c].store(1, std::memory_order_relaxed);
    m_Tasks.push_back({field, -1, 0});
    return;
  }
  // Pieces of about total / threads rows, cut at chunk ends too; each writes only its own
  // elements, so the array is the same whichever worker writes which piece.
  const int64_t piece = (total + threads - 1) / threads;
  int64_t next = 1;
  for (int c = 0; c < chunks; ++c) {
    const FieldResult& part = at(c);
    if (part.numbers == nullptr) continue;
    for (int64_t first = 0; first < part.rows; first += piece) {
      const int64_t count = std::min<int64_t>(piece, part.rows - first);
      MergeTask t{field, c, 0};
      t.first = static_cast<int32_t>(first);
      t.count = static_cast<int32_t>(count);
      t.at = static_cast<int32_t>(next + first);
      m_Tasks.push_back(t);
      left[c].fetch_add(1, std::memory_order_relaxed);
    }
    next += part.rows;
  }
}

void CCMultiThreadImport::RewriteRows(int field, int chunk, int first, int count, int at) {
  const size_t f = static_cast<size_t>(field);
  int* pv = m_Finished[f].numbers->PIntAr();
  if (chunk < 0) {
    int next = 1;
    for (int c = 0; c < m_nChunkCount; ++c) {
      const FieldResult& part = m_Results[static_cast<size_t>(c)].fields[f];
      if (part.numbers == nullptr) continue;
      RewriteRows(field, c, 0, part.rows, next);
      next += part.rows;
    }
    return;
  }
  FieldResult& part = m_Results[static_cast<size_t>(chunk)].fields[f];
  std::unique_ptr<TIntArray>& map = m_Maps[f][static_cast<size_t>(chunk)];
  const int* in = part.numbers->PIntAr() + 1 + first;
  if (map == nullptr) {
    std::memcpy(pv + at, in, sizeof(int) * static_cast<size_t>(count));
  } else {
    const int* m = map->PIntAr();
    for (int i = 0; i < count; ++i) pv[at + i] = m[in[i]];
  }
  // The chunk's last piece frees it here, beside the writing, rather than the calling thread
  // after all of it; the count orders the other pieces' reads before the free.
  std::atomic<int>& left = m_PiecesLeft[f * static_cast<size_t>(m_nChunkCount) + static_cast<size_t>(chunk)];
  if (left.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete part.numbers;
    part.numbers = nullptr;
    map.reset();
  }
}

void CCMultiThreadImport::EndField(int field) {
  const size_t f = static_cast<size_t>(field);
  for (int c = 0; c < m_nChunkCount; ++c) {
    FieldResult& part = m_Results[static_cast<size_t>(c)].fields[f];
    delete part.numbers;
    part = FieldResult{};
    m_Maps[f][static_cast<size_t>(c)].reset();
  }
  m_Results[0].fields[f] = m_Finished[f];
  m_Finished[f] = FieldResult{};
}

void CCMultiThreadImport::CompileWholeField(int field) {
  const size_t f = static_cast<size_t>(field);
  CField* first = nullptr;
  int64_t total = 0;
  int parts = 0;
  for (const std::unique_ptr<CTextParser>& parser : m_Parsers) {
    CField* part = parser == nullptr ? nullptr : parser->getFieldItem(field);
    if (part == nullptr) continue;
    if (first == nullptr) first = part;
    if (part->getRowCount() > 0) ++parts;
    total += part->getRowCount();
  }
  // No rows at all: the field stays empty, as a chunk without rows leaves it on the other road.
  if (first == nullptr || total == 0) return;
  if (total >= INT_MAX) throw CQ7Exception(Q7_ERROR_ROW_SIZE_OVERFLOW);
  const int n = static_cast<int>(total);
  const int type = first->getType();
  const int width = first->getWidth();
  struct Joined {
    void* p = nullptr;
    size_t capacity = 0;
    ~Joined() {
      if (p != nullptr) zpk_scratch_give(p, capacity);
    }
  } joined;
  int* numbers = nullptr;
  int count = 0;
  void* list = nullptr;
  bool numbered = false;
  if (parts > 1) {
    // A column numbered by counting or by the whole sort is read from the chunks' blocks where they
    // lie: joining them would write the whole column once more, into pages the kernel must clear.
    std::vector<MppColumnPiece> pieces;
    for (const std::unique_ptr<CTextParser>& parser : m_Parsers) {
      CField* part = parser == nullptr ? nullptr : parser->getFieldItem(field);
      if (part != nullptr && part->getRowCount() > 0)
        pieces.push_back({part->RawRows(), part->getRowCount()});
    }
    numbered = MppCompileWithNullPieces(pieces.data(), static_cast<int>(pieces.size()), type, width, &numbers,
                                        &count, &list);
  }
  if (!numbered) {
    const void* raw = nullptr;
    if (parts == 1) {
      for (const std::unique_ptr<CTextParser>& parser : m_Parsers) {
        CField* part = parser == nullptr ? nullptr : parser->getFieldItem(field);
        if (part != nullptr && part->getRowCount() > 0) raw = part->RawRows();
      }
    } else {
      // A kept block, whose pages an earlier field or import has already had zeroed.
      joined.p = zpk_scratch_take(static_cast<size_t>(n) * static_cast<size_t>(width), &joined.capacity);
      char* at = static_cast<char*>(joined.p);
      for (const std::unique_ptr<CTextParser>& parser : m_Parsers) {
        CField* part = parser == nullptr ? nullptr : parser->getFieldItem(field);
        if (part == nullptr || part->getRowCount() == 0) continue;
        const int rows = part->getRowCount();
        MppMemCpy(at, const_cast<void*>(part->RawRows()), width, static_cast<unsigned int>(rows));
        at += static_cast<size_t>(rows) * static_cast<size_t>(width);
      }
      raw = joined.p;
    }
    MppCompileWithNull(n, type, width, raw, &numbers, &count, &list);
  }
  std::unique_ptr<TIntArray> vno;
  try {
    vno = std::make_unique<TIntArray>(n + 1, numbers);
  } catch (...) {
    zpk_free(numbers);
    zpk_free(list);
    throw;
  }
  std::unique_ptr<TBaseArray> values(first->NewValueList(count, list));
  FieldResult& out = m_Results[0].fields[f];
  delete out.numbers;
  delete out.values;
  out.numbers = vno.release();
  out.values = values.release();
  out.rows = n;
}

int CCMultiThreadImport::AppendField(int field) {
  FieldResult& imported = m_Results[0].fields[static_cast<size_t>(field)];
  TFilter* target = m_Targets[static_cast<size_t>(field)];
  if (imported.numbers == nullptr || imported.values == nullptr) return 0;
  if (target->VL->GetDataType() == Q7_TYPE_DECIMAL) {
    // Both lists must have one scale to be merged: the smaller one is raised to the larger.
    auto* target_list = static_cast<TNumericArray*>(target->VL);
    auto* imported_list = static_cast<TNumericArray*>(imported.values);
    NumericInfo ti;
    NumericInfo ii;
    target_list->GetDecimalInfo(&ti);
    imported_list->GetDecimalInfo(&ii);
    std::vector<int> map;
    if (ti.scale < ii.scale) {
      const NumericInfo to{ii.scale, ti.roundingMode};
      std::unique_ptr<TNumericArray> rescaled = RescaleList(target_list, to, &map);
      Renumber(target->PV, map);
      target->ReplaceValueList(rescaled.release());
    } else if (ii.scale < ti.scale) {
      const NumericInfo to{ti.scale, ii.roundingMode};
      std::unique_ptr<TNumericArray> rescaled = RescaleList(imported_list, to, &map);
      Renumber(imported.numbers, map);
      delete imported.values;
      imported.values = rescaled.release();
    }
  }
  TBaseArray* merged = nullptr;
  const int result = AccommodationMain(target->PV, target->VL, imported.numbers, imported.values, &merged);
  if (merged != nullptr) {
    CopyListAttributes(target->VL, merged);
    target->ReplaceValueList(merged);
  }
  const int* records = m_pSet1->PIntAr();
  int* numbers = target->PV->PIntAr();
  const int* values = imported.numbers->PIntAr();
  const int first = m_nAppendPos - 1;
  for (int i = 0; i < imported.rows; ++i) numbers[records[first + i]] = values[i + 1];
  delete imported.numbers;
  delete imported.values;
  imported = FieldResult{};
  return result;
}

// ---- Tables ----

namespace {

int AddTable(const char* name, int rows) {
  char copy[256];
  qz7_strlcpy(copy, name, sizeof copy);
  if (ImportTask() != nullptr) return ImportTask()->AddRealTable(copy, rows);
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  return tables == nullptr ? Q7_ERROR_UNKNOWN : tables->AddRealTable(copy, rows);
}

void DropTable(int id) {
  if (ImportTask() != nullptr) {
    ImportTask()->DeleteTable(id);
    return;
  }
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  if (tables != nullptr) tables->DelTable(id);
}

TRealTable* RealTable(int id) {
  TTableCollection* tables = CSmpEngine::Instance()->Database();
  TBaseTable* base = tables == nullptr ? nullptr : tables->GetTable(id);
  return (base == nullptr || base->GetTableKind() != 0) ? nullptr : static_cast<TRealTable*>(base);
}

}  // namespace

int CCMultiThreadImport::MakeTable() {
  const int id = AddTable(TableName(), m_nImportedRows);
  if (id < 0) return id;
  int result = id;
  try {
    TRealTable* table = RealTable(id);
    if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    for (int f = 0; f < m_nFieldCount && result >= 0; ++f) {
      FieldResult& merged = m_Results[0].fields[static_cast<size_t>(f)];
      char name[TFilter::kNameSize];
      qz7_strlcpy(name, m_pCatalog->getFieldName(f), sizeof name);
      int r;
      if (merged.numbers == nullptr || merged.values == nullptr) {
        const int type = m_pCatalog->getFieldType(f);
        r = table->AddDummyFilter2(f, name, type, m_nImportedRows, 0, -1);
        // An empty decimal column still has the catalog's scale and mode, which later appends,
        // exports and catalogs written from the table carry on.
        if (r > 0 && type == Q7_TYPE_DECIMAL) {
          static_cast<TNumericArray*>(table->GetFilter(r)->VL)
              ->SetDecimalInfo(m_pCatalog->getParam1(f), m_pCatalog->getParam2(f));
        }
      } else {
        r = table->AddFilter(f, name, merged.numbers, merged.values, false, 0, -1);
        if (r >= 0) merged = FieldResult{};  // the table owns them now
      }
      if (r < 0) result = r;
    }
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = CurrentFailureCode();
  }
  // A table that did not get all its filters is no import: it goes again.
  if (result < 0) DropTable(id);
  return result;
}

int CCMultiThreadImport::no_data_tablemake() {
  m_nImportedRows = 0;
  return MakeTable();
}

void CCMultiThreadImport::free_step1() {
  m_Chunks.clear();
  m_Chunks.shrink_to_fit();
}

void CCMultiThreadImport::free_mem() {
  for (ChunkResult& chunk : m_Results) {
    for (FieldResult& field : chunk.fields) {
      delete field.numbers;
      delete field.values;
    }
  }
  m_Results.clear();
  for (std::vector<TBaseArray*>& lists : m_Lists) {
    for (TBaseArray* list : lists) delete list;
  }
  m_Lists.clear();
  for (FieldResult& field : m_Finished) {
    delete field.numbers;
    delete field.values;
  }
  m_Finished.clear();
  m_PiecesLeft.reset();
  m_Maps.clear();
  m_Tasks.clear();
  m_Parsers.clear();
  m_WholeField.clear();
  m_bWholeColumns = false;
  free_step1();
  m_Targets.clear();
  m_pTarget = nullptr;
  m_pSet1 = nullptr;
}
