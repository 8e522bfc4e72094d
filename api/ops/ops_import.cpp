// The text-import operations that are no task slot, and the checks the import calls make first.
#include "api/ops/ops_import.h"

#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_filters.h"
#include "api/task/CDBTask.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "foundation/zpk_memory.h"
#include "import/CTextParser.h"
#include "import/ImportEntry.h"
#include "import/ImportText.h"
#include "q7api.h"

namespace {

constexpr char kLog[] = "RQ7AppendRealFilter2";
constexpr size_t kHostPathLimit = 512;

bool TooLong(const char* text) { return text != nullptr && strlen(text) >= kHostPathLimit; }

// Appends in the file's own directory; the caller restores the working directory.
int AppendFromFile(int table_id, int filter_id, int type, int position, int rows, const char* directory,
                   const char* file) {
  const int editable = CanAppendFilters(table_id);
  if (editable < 0) return editable;
  const char* dir = directory != nullptr ? directory : "";
  std::string full(strlen(dir) + strlen(file) + 2, '\0');
  build_AbsoluteName(dir, file, full.data());
  std::string folder(full.c_str());
  if (get_Path(folder.data()) != nullptr) {
    folder.resize(strlen(folder.c_str()));
    if (chdir(folder.empty() ? "/" : folder.c_str()) != 0) return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  std::string name(full.c_str());
  return appendFilterFromFile(table_id, filter_id, type, position, rows, get_FileName(name.data()));
}

}  // namespace

bool WriteImportFailureLine(const char* prefix, int code) {
  LOGOBJ->mutex_lock();
  const bool pending = CErrorLog::isBegin;
  LOGOBJ->mutex_unlock();
  if (!pending) return false;
  try {
    if (code == Q7_ERROR_OUT_OF_MEMORY) {
      LogMsg("%sQ7_ERROR_OUT_OF_MEMORY", prefix);
    } else {
      LogMsg("%s%d ", prefix, code);
    }
  } catch (...) {
    return false;
  }
  return true;
}

int RecordImportFailure(const char* log_name, int result, const CatalogLogCapture& capture) {
  int code = result;
  if (capture.failed) {
    PutErrorLog(log_name, Q7_ERROR_ILLEGAL_FILE_NAME,
                getString("Cannot write the catalog message log [%s]", capture.failed_file.c_str()));
    if (capture.failure_code < 0) code = capture.failure_code;
    result = Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  PutErrorLog(log_name, code, capture.first_line.c_str());
  return result;
}

int ReadColumnFile(const char* log_name, const std::function<int()>& read) {
  LOGOBJ->BeginCapture();
  int result;
  try {
    result = read();
  } catch (...) {
    LOGOBJ->EndCapture();
    throw;
  }
  const CatalogLogCapture capture = LOGOBJ->EndCapture();
  return result < 0 && capture.failed ? RecordImportFailure(log_name, result, capture) : result;
}

int innerQ7AppendRealFilter2(int table_id, int filter_id, int type, int position, int rows,
                             const char* directory, const char* file) {
  if (file == nullptr || file[0] == '\0') {
    PutErrorLog(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FileName ()");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (position == 0 || position < -1) {
    PutErrorLog(kLog, Q7_ERROR_INVALID_PARAMETER, getString("Invalid Parameter : AppendPos (%d)", position));
    return Q7_ERROR_INVALID_PARAMETER;
  }
  if (TooLong(directory) || TooLong(file)) {
    PutErrorLog(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, "FilePath size overflow");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  table_files::WorkingDirectory cwd;
  const int result = ReadColumnFile(kLog, [&] {
    int code = 0;
    try {
      code = AppendFromFile(table_id, filter_id, type, position, rows, directory, file);
      if (code < 0) PutErrorLog(kLog, code, "");
    } catch (const CQ7Exception& e) {
      code = e.ErrorCode();
      PutErrorLog(kLog, code, e.Message());
    } catch (...) {
      code = CurrentFailureCode();
      PutErrorLog(kLog, code, code == Q7_ERROR_OUT_OF_MEMORY ? kOutOfMemoryText : "");
    }
    if (code < 0) WriteImportFailureLine("APPEND FILTER FAILURE  \t\t ErrorCode = ", code);
    return code;
  });
  cwd.Restore();
  return ChangedOnSuccess(Changes::kTables, result);
}

int innerRQ7SearchByFieldNValuesFromCSV(int table_id, int filter_id, int set_id, const char* directory,
                                        const char* file) {
  const int type = innerQ7GetFilterType(table_id, filter_id);
  if (type < 0) return type;
  std::string dir = directory != nullptr ? directory : "";
  std::string name = file != nullptr ? file : "";
  void* raw = nullptr;
  CCSVParser* raw_parser = nullptr;
  const int count =
      getValuesFromCSV(type, dir.data(), file != nullptr ? name.data() : nullptr, &raw, &raw_parser);
  // String values point into the parser's texts: both live until the search is done.
  const std::unique_ptr<void, void (*)(void*)> values(raw, zpk_free);
  const std::unique_ptr<CCSVParser> parser(raw_parser);
  if (count < 0) return count;
  return DBTASK()->SearchByFieldNValues(table_id, filter_id, set_id, count, values.get());
}
