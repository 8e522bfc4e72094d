// CCMultiThreadExport: writing a set of a real or join table as separated text on the worker pool.
#include "import/CCMultiThreadExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "database/TBaseTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CWorkThread.h"
#include "foundation/Descriptor.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "q7api.h"

CCMultiThreadExport* MultiThreadExportObj = CCMultiThreadExport::Instance();

int CCMultiThreadExport::s_nMinRowsPerPart = CCMultiThreadExport::kMinRowsPerPart;
int (*CCMultiThreadExport::s_pPartHookForTest)(int) = nullptr;

namespace {

constexpr char kLog[] = "MppCsvExport";

// Copies the rest of `in` from in_offset to `out` at *out_offset with read and write, through a
// buffer of `buffer_size` bytes. False on a read or write failure.
bool CopyByHand(int in, off_t in_offset, int out, off_t* out_offset, size_t buffer_size) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[buffer_size]);
  if (buffer == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  for (;;) {
    const ssize_t n = pread(in, buffer.get(), buffer_size, in_offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    in_offset += n;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = pwrite(out, buffer.get() + done, static_cast<size_t>(n - done), *out_offset);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return false;
      done += w;
      *out_offset += w;
    }
  }
}

// Appends all of `in` to `out` at *out_offset: in the kernel (no copy through this process) where
// the file system allows it, by hand from where that stopped otherwise.
bool AppendFile(int in, int out, off_t* out_offset, size_t buffer_size) {
  off_t in_offset = 0;
  for (;;) {
    const ssize_t n = copy_file_range(in, &in_offset, out, out_offset, size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF ||
        errno == EPERM || errno == ETXTBSY) {
      return CopyByHand(in, in_offset, out, out_offset, buffer_size);
    }
    return false;
  }
}

// The table at an ID in the engine's collection, without any entry.
TBaseTable* FindTableQuietly(int table_id) {
  TTableCollection* db = CSmpEngine::Instance()->Database();
  if (db == nullptr) return nullptr;
  const int loc = db->ID2Loc(table_id);
  return loc < 0 ? nullptr : db->TableAt(loc);
}

}  // namespace

CCMultiThreadExport* CCMultiThreadExport::Instance() {
  // Never destroyed: an export may still run on another host thread while the process ends.
  static CCMultiThreadExport* const instance = new CCMultiThreadExport;
  return instance;
}

void CCMultiThreadExport::SetMinRowsPerPartForTest(int rows) {
  s_nMinRowsPerPart = rows > 0 ? rows : kMinRowsPerPart;
}

void CCMultiThreadExport::SetPartHookForTest(int (*hook)(int part)) { s_pPartHookForTest = hook; }

void CCMultiThreadExport::init() {
  m_nTableID = 0;
  m_nSetID = 0;
  m_cSeparator = ',';
  m_cDateSeparator = '/';
  m_pTable = nullptr;
  m_nParts = 0;
  m_Threads.clear();
  m_Parts.clear();
  m_Names.clear();
  m_Columns[0] = -1;
  m_nWriteBufferSize = 0;
  m_szFmtFile = nullptr;
  m_Formats.reset();
  m_pFormats = nullptr;
}

void CCMultiThreadExport::free_mem() {
  m_Threads = {};
  m_Parts = {};
  m_Names = {};
  m_Written = {};
  m_Formats.reset();
  m_pFormats = nullptr;
  m_szFmtFile = nullptr;
  m_pTable = nullptr;
}

int CCMultiThreadExport::SetCsvtable(int table, int set, int first, int last, int separator,
                                     int date_separator, int* n_parts, std::vector<CsvLineDiv_t>* parts,
                                     const char* file, std::vector<CsvPartFileName_t>* names) {
  m_nTableID = table;
  m_nSetID = set;
  m_cSeparator = static_cast<char>(separator);
  m_cDateSeparator = static_cast<char>(date_separator);
  if (first < 1 || last < first || *n_parts < 1) return Q7_ERROR_INVALID_PARAMETER;
  const int64_t rows = int64_t{last} - first + 1;
  const int k = static_cast<int>(std::min<int64_t>(rows, *n_parts));
  const int64_t step = rows / k;
  parts->assign(static_cast<size_t>(k), CsvLineDiv_t{});
  names->assign(static_cast<size_t>(k), CsvPartFileName_t{});
  for (int i = 0; i < k; ++i) {
    CsvLineDiv_t& part = (*parts)[static_cast<size_t>(i)];
    part.first = static_cast<int32_t>(first + i * step);
    part.last = i == k - 1 ? last : static_cast<int32_t>(first + (i + 1) * step - 1);
    char* name = (*names)[static_cast<size_t>(i)].name;
    // Named after the process, so that a later export of the same file can tell the parts a killed
    // export left from those of an export still running.
    const std::string part_name = table_files::PartFileName(file);
    if (part_name.size() >= CsvPartFileName_t::kSize) return Q7_ERROR_ILLEGAL_FILE_NAME;
    memcpy(name, part_name.c_str(), part_name.size() + 1);
  }
  *n_parts = k;
  return 0;
}

int CCMultiThreadExport::CreateCsvExportFile(const char* target, const CsvPartFileName_t* names,
                                             int n_parts) {
  Descriptor out(::open(target, O_WRONLY | O_CLOEXEC));
  if (out.get() < 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  off_t at = lseek(out.get(), 0, SEEK_END);
  if (at < 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  const size_t buffer_size =
      m_nWriteBufferSize > 0 ? static_cast<size_t>(m_nWriteBufferSize) : size_t{4194304};
  for (int i = 1; i < n_parts; ++i) {
    const char* name = names[i].name;
    if (name[0] == '\0') break;
    if (strcmp(name, target) == 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
    Descriptor in(::open(name, O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
    struct stat st {};
    if (fstat(in.get(), &st) != 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
    if (st.st_size == 0) break;
    if (!AppendFile(in.get(), out.get(), &at, buffer_size)) return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  return out.Close() == 0 ? 0 : Q7_ERROR_ILLEGAL_FILE_NAME;
}

int CCMultiThreadExport::mpp_export_createCsv(void* param) {
  const int worker = static_cast<MppParamHeader*>(param)->index;
  CCMultiThreadExport* ex = Instance();
  if (worker < 0 || worker >= static_cast<int>(ex->m_Threads.size())) return Q7_ERROR_UNKNOWN;
  CsvThreadInfo_t& thread = ex->m_Threads[static_cast<size_t>(worker)];
  int result = 0;
  while (result >= 0 && !ex->m_bFailed.load(std::memory_order_relaxed)) {
    const int part = ex->m_nNextPart.fetch_add(1);
    if (part >= ex->m_nParts) break;
    thread.part = part;
    try {
      const size_t at = static_cast<size_t>(part);
      result = ex->m_pTable->OutCsvPartFile(ex, ex->m_Names[at].name, ex->m_Columns, &ex->m_Parts[at],
                                            ex->m_nWriteBufferSize, ex->m_szFmtFile);
      if (result >= 0 && s_pPartHookForTest != nullptr) result = s_pPartHookForTest(part);
      if (result >= 0) result = ex->PartWritten(part);
    } catch (const CQ7Exception& e) {
      result = e.ErrorCode();
    } catch (...) {
      result = Q7_ERROR_UNKNOWN;
    }
  }
  if (result < 0) {
    thread.result = result;
    ex->m_bFailed.store(true);
  }
  return result;
}

int CCMultiThreadExport::PartWritten(int part) {
  std::unique_lock<std::mutex> lock(m_JoinMutex);
  m_Written[static_cast<size_t>(part)] = 1;
  // The worker that is joining takes this part too when its turn comes.
  if (m_bJoining) return 0;
  m_bJoining = true;
  int result = 0;
  while (result == 0 && m_nNextJoin < m_nParts && m_Written[static_cast<size_t>(m_nNextJoin)] != 0) {
    int end = m_nNextJoin;
    while (end < m_nParts && m_Written[static_cast<size_t>(end)] != 0) ++end;
    const int first = m_nNextJoin;
    lock.unlock();
    // Part 0 is the target itself. CreateCsvExportFile appends the names after the first it is
    // given: here the part before `from`, joined already.
    const int from = std::max(first, 1);
    if (from < end) {
      try {
        result =
            CreateCsvExportFile(m_Names[0].name, &m_Names[static_cast<size_t>(from) - 1], end - from + 1);
      } catch (const CQ7Exception& e) {
        result = e.ErrorCode();
      } catch (...) {
        result = Q7_ERROR_UNKNOWN;
      }
      for (int i = from; result == 0 && i < end; ++i) {
        unlink(m_Names[static_cast<size_t>(i)].name);
        m_Names[static_cast<size_t>(i)].name[0] = '\0';
      }
    }
    lock.lock();
    if (result == 0) m_nNextJoin = end;
  }
  m_bJoining = false;
  return result;
}

void CCMultiThreadExport::RemovePartFiles() {
  for (size_t i = 1; i < m_Names.size(); ++i) {
    if (m_Names[i].name[0] != '\0') unlink(m_Names[i].name);
  }
}

void CCMultiThreadExport::Run(TBaseTable* table, int set, const int* columns, int first, int last,
                              int separator, int date_separator, const char* file, const char* format_file) {
  m_pTable = table;
  // The column list, ended by -1 (every filter for none).
  if (columns == nullptr || columns[0] == -1) {
    const int n = table->GetNFilter();
    std::vector<int> ids(static_cast<size_t>(std::max(n, 0)));
    const int count = n > 0 ? std::min(table->GetFilterIDList(ids.data()), kMaxColumns) : 0;
    std::copy(ids.begin(), ids.begin() + count, m_Columns);
    m_Columns[count] = -1;
  } else {
    int i = 0;
    for (; i < kMaxColumns && columns[i] != -1; ++i) m_Columns[i] = columns[i];
    m_Columns[i] = -1;
  }
  if (format_file != nullptr) {
    m_Formats = std::make_unique<EXPTFMT_t[]>(kExportFormatRecords);  // zero-filled
    m_pFormats = m_Formats.get();
    // A format file that cannot be read, or whose reading stops early, leaves the records read so
    // far (possibly none): the export goes on without the rest.
    readFmtInfo(format_file, m_pFormats);
    m_szFmtFile = format_file;
  }
  m_nWriteBufferSize = kWriteBufferSize;

  CSmpEngine* eng = CSmpEngine::Instance();
  const int64_t rows = int64_t{last} - first + 1;
  const int workers = eng->n_threads_for_elements(rows, s_nMinRowsPerPart);
  int n_parts = workers == 1
                    ? 1
                    : static_cast<int>(std::min<int64_t>(int64_t{workers} * kPartsPerWorker,
                                                         std::max<int64_t>(rows / s_nMinRowsPerPart, 1)));
  // The parts are joined into a file beside the target, which replaces it once whole: a target
  // cut short by a killed process or a failed export would hold neither the old rows nor the new.
  // Nothing is recorded on a refusal, as nothing is when a part file cannot be made.
  table_files::ReplaceOptions options = table_files::kHostTextFile;
  options.quiet = true;
  table_files::ReplacingFile out(file, options);
  const int split = SetCsvtable(table->FTableID, set, first, last, separator, date_separator, &n_parts,
                                &m_Parts, out.Target().c_str(), &m_Names);
  if (split < 0) {
    m_Names.clear();  // none of them exists yet
    throw CQ7Exception(split);
  }
  // Part 0 is written into that file itself.
  if (out.Path().size() >= CsvPartFileName_t::kSize) {
    m_Names.clear();
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  }
  memcpy(m_Names[0].name, out.Path().c_str(), out.Path().size() + 1);
  m_nParts = n_parts;
  const int n_workers = std::min(workers, n_parts);
  m_Threads.assign(static_cast<size_t>(n_workers), CsvThreadInfo_t{-1, 0});
  m_nNextPart.store(0);
  m_bFailed.store(false);
  m_Written.assign(static_cast<size_t>(n_parts), 0);
  m_nNextJoin = 0;
  m_bJoining = false;

  eng->run_threads_task(n_workers, kMppTaskExport);
  // Every part written was joined by the worker that completed its predecessors.
  if (m_nNextJoin != n_parts) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  if (s_pPartHookForTest != nullptr) {
    const int hooked = s_pPartHookForTest(-1);
    if (hooked < 0) throw CQ7Exception(hooked);
  }
  out.Commit();
}

int MppCsvExport(int table_id, int set_id, const int* columns, int first, int last, int separator,
                 int date_separator, const char* directory, const char* file, const char* format_file) {
  CCMultiThreadExport* ex = CCMultiThreadExport::Instance();
  table_files::WorkingDirectory cwd;
  if (date_separator != '-' && date_separator != '/') {
    PutErrorLog(kLog, 0, getString("Invalid Parameter : Datesep(%d)", date_separator));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (set_id < -1) {
    PutErrorLog(kLog, 0, getString("No Such Set: %d", set_id));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (directory == nullptr || !table_files::WorkingDirectory::Enter(directory)) return Q7_ERROR_INVALID_PATH;
  if (file == nullptr || file[0] == '\0') return Q7_ERROR_ILLEGAL_FILE_NAME;

  int result = 0;
  try {
    TBaseTable* table = FindTableQuietly(table_id);
    if (table == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
    const int type = table->GetType();
    if (type != TBaseTable::kTypeReal && type != TBaseTable::kTypeJoin)
      throw CQ7Exception(Q7_ERROR_NOT_REAL_TABLE);
    const int size = table->GetSetSize(set_id);
    if (size < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
    const int start = first == -1 ? 1 : first;
    const int end = last != -1 && last < size ? last : size;
    if (size == 0 || table->GetNFilter() == 0 || (first == 0 && last == 0) || end < first) {
      // The serial export enters the directory itself: it is given the caller's working directory
      // back, or a relative directory would be looked for inside itself.
      cwd.Restore();
      return table->Export(set_id, columns, first, end < first ? end : last, static_cast<char>(separator),
                           static_cast<char>(date_separator), directory, file);
    }
    if (start < 1 || end < start) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
    const int resolved_set = set_id < 0 ? table->GetCurrentSetID() : set_id;
    ex->Run(table, resolved_set, columns, start, end, separator, date_separator, file, format_file);
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = Q7_ERROR_UNKNOWN;
  }
  ex->RemovePartFiles();
  cwd.Restore();
  return result;
}
