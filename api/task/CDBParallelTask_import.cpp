// The parallel task's catalog slots: import a source text file described by a catalog into a new
// table, or append it to an existing one; and the slot that adds a filter read from a
// single-column file.
#include <unistd.h>

#include <cstring>
#include <string>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_import.h"
#include "api/task/CDBParallelTask.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "import/CCMultiThreadImport.h"
#include "import/ImportEntry.h"
#include "import/ImportText.h"

namespace {

constexpr char kAddFailure[] = "ADD CATALOG FAILURE  \t\t ErrorCode = ";
constexpr char kAppendFailure[] = "APPEND CATALOG FILE FAILURE  \t\t ErrorCode = ";
constexpr char kDefaultSource[] = "SrcData.dat";

bool TooLong(const char* text) { return text != nullptr && strlen(text) >= kHostPathSize; }
bool Empty(const char* text) { return text == nullptr || text[0] == '\0'; }
const char* Text(const char* text) { return text != nullptr ? text : ""; }

std::string Join(const char* dir, const char* name) {
  std::string out(strlen(dir) + strlen(name) + 2, '\0');
  build_AbsoluteName(dir, name, out.data());
  return std::string(out.c_str());
}

// The absolute form of a host directory; false when it cannot be entered.
bool Absolute(const char* path, char* out) { return CnvRelativeToAbsolute(Text(path), out) == 0; }

// The next line of the catalog message log gets a new banner, so the failure line below is
// written only when the import itself logs nothing.
void RequestBanner() {
  LOGOBJ->mutex_lock();
  CErrorLog::isBegin = true;
  LOGOBJ->mutex_unlock();
}

// The part of a catalog slot after its checks: runs import(catalog path) in the catalog file's
// directory, writes the failure line when the import logged nothing, records the failure in the
// error ring (RecordImportFailure; the out-of-memory entry of the Ex2 append before it), and
// restores the working directory on every path.
template <class Import>
int InCatalogDirectory(const char* log_name, const char* failure_prefix, bool ring_out_of_memory,
                       const char* abs_path, const char* file, Import&& import) {
  table_files::WorkingDirectory cwd;
  LOGOBJ->BeginCapture();
  int result = 0;
  try {
    std::string catalog = Join(abs_path, file);
    std::string folder = catalog;
    if (get_Path(folder.data()) != nullptr) {
      folder.resize(strlen(folder.c_str()));
      if (chdir(folder.empty() ? "/" : folder.c_str()) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    }
    result = import(catalog.data());
  } catch (const CQ7Exception& e) {
    result = e.ErrorCode();
  } catch (...) {
    result = CurrentFailureCode();
  }
  if (result < 0 && WriteImportFailureLine(failure_prefix, result) && ring_out_of_memory &&
      result == Q7_ERROR_OUT_OF_MEMORY) {
    PutErrorLog(log_name, Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
  }
  const CatalogLogCapture capture = LOGOBJ->EndCapture();
  if (result < 0) result = RecordImportFailure(log_name, result, capture);
  cwd.Restore();
  return result;
}

// Refuses an append position of 0 or below -1.
void CheckAppendPos(const char* log_name, int append_pos) {
  if (append_pos == 0 || append_pos < -1) {
    Refuse(log_name, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_INVALID_PARAMETER,
           "Invalid Parameter : AppendPos(%d)", append_pos);
  }
}

// The table must take appended columns; its pending values are merged first, so the import
// renumbers against the complete value lists.
int PrepareAppendTarget(int table_id) {
  const int editable = CanAppendFilters(table_id);
  if (editable < 0) return editable;
  TTableCollection* db = CurrentDatabase();
  const int loc = db != nullptr ? db->ID2Loc(table_id) : Q7_ERROR_NO_SUCH_TABLE;
  if (loc < 0) return Q7_ERROR_NO_SUCH_TABLE;
  static_cast<TRealTable*>(db->TableAt(loc))->CheckMergeFilterTVL(true);
  return 0;
}

// Both appends after their checks. source: null for the single-thread road of the plain append,
// which reads "SrcData.dat" in the catalog's directory.
int RunAppend(int table_id, int append_pos, int mode, char* catalog, char* mt_source, char* st_source) {
  if (mode == -1) {
    CCMultiThreadImport* importer = CCMultiThreadImport::Instance();
    importer->setAppendPos(append_pos);
    importer->setImportedRows(-1);
    return appendCatalogFileMT(table_id, catalog, mt_source);
  }
  if (st_source == nullptr) return appendCatalogFile(table_id, append_pos, mode, catalog);
  return appendCatalogFile2(table_id, append_pos, mode, catalog, st_source);
}

}  // namespace

int CDBParallelTask::AddCatalogFile(char* path, char* file) {
  constexpr char kLog[] = "RQ7AddCatalogFile";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            if (TooLong(path) || TooLong(file)) {
                              Refuse(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, Q7_ERROR_ILLEGAL_FILE_NAME,
                                     "Invalid Parameter : pchFilePath");
                            }
                            if (Empty(file)) {
                              Refuse(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, Q7_ERROR_ILLEGAL_FILE_NAME,
                                     "Invalid Parameter : pchFileName");
                            }
                            char abs_path[kImportPathSize];
                            if (!Absolute(path, abs_path)) {
                              Refuse(kLog, Q7_ERROR_ILLEGAL_FILE_NAME, Q7_ERROR_ILLEGAL_FILE_NAME,
                                     "Invalid Parameter : pchFilePath");
                            }
                            return InCatalogDirectory(kLog, kAddFailure, false, abs_path, file,
                                                      [&](char* catalog) {
                                                        // The caller's directory, made absolute: the call
                                                        // runs in the catalog's directory, where a relative
                                                        // path would name another place.
                                                        std::string source = Join(abs_path, kDefaultSource);
                                                        return addCatalogFileMT(catalog, source.data());
                                                      });
                          }));
}

int CDBParallelTask::AddCatalogFileEx2(char* path, char* file, char* src_path, char* src_file,
                                       char* table_name) {
  constexpr char kLog[] = "RQ7AddCatalogFileEx2";
  return ChangedOnSuccess(Changes::kTables, RunOp(kLog, [&] {
                            constexpr int kBad = Q7_ERROR_ILLEGAL_FILE_NAME;
                            if (TooLong(path) || TooLong(file))
                              Refuse(kLog, kBad, kBad, "Invalid Parameter : pchFilePath");
                            if (Empty(file)) Refuse(kLog, kBad, kBad, "Invalid Parameter : archName");
                            if (TooLong(src_path) || TooLong(src_file))
                              Refuse(kLog, kBad, kBad, "Invalid Parameter : FilePath");
                            if (Empty(src_file)) Refuse(kLog, kBad, kBad, "Invalid Parameter : FileName");
                            char abs_path[kImportPathSize];
                            if (!Absolute(path, abs_path))
                              Refuse(kLog, kBad, kBad, "Invalid Parameter : archPath");
                            char abs_src[kImportPathSize];
                            const bool src_ok = Absolute(src_path, abs_src);
                            if (!src_ok) PutErrorLog(kLog, kBad, "Invalid Parameter : FilePath");
                            return InCatalogDirectory(
                                kLog, kAddFailure, false, abs_path, file, [&](char* catalog) {
                                  RequestBanner();
                                  if (!src_ok) {
                                    LogMsg("PATH  [%s] MISSING", Text(src_path));
                                    return kBad;
                                  }
                                  std::string source = Join(abs_src, src_file);
                                  TTableCollection* db = CurrentDatabase();
                                  if (db == nullptr) return static_cast<int>(Q7_ERROR_NO_SUCH_TABLE);
                                  const int name_ok = db->CheckTableName(Text(table_name));
                                  if (name_ok < 0) {
                                    LogMsg("TABLE NAME [%s] MISSING", Text(table_name));
                                    return name_ok;
                                  }
                                  std::string name = Text(table_name);
                                  return addCatalogFileMT(catalog, source.data(), name.data());
                                });
                          }));
}

int CDBParallelTask::AppendCatalogFile(int table_id, int append_pos, int mode, char* path, char* file) {
  constexpr char kLog[] = "RQ7AppendCatalogFile";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        constexpr int kBad = Q7_ERROR_ILLEGAL_FILE_NAME;
        if (Empty(file)) Refuse(kLog, kBad, kBad, "Invalid Parameter : pchFileName(%s)", Text(file));
        CheckAppendPos(kLog, append_pos);
        char abs_path[kImportPathSize];
        if (TooLong(path) || TooLong(file) || !Absolute(path, abs_path)) {
          Refuse(kLog, kBad, kBad, "Invalid Parameter : pchFilePath(%s)", Text(path));
        }
        const int target = PrepareAppendTarget(table_id);
        if (target < 0) return target;
        return InCatalogDirectory(kLog, kAppendFailure, false, abs_path, file, [&](char* catalog) {
          std::string source = Join(abs_path, kDefaultSource);
          return RunAppend(table_id, append_pos, mode, catalog, source.data(), nullptr);
        });
      }));
}

int CDBParallelTask::AppendCatalogFileEx2(int table_id, int append_pos, int mode, char* path, char* file,
                                          char* src_path, char* src_file) {
  constexpr char kLog[] = "RQ7AppendCatalogFileEx2";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        constexpr int kBad = Q7_ERROR_ILLEGAL_FILE_NAME;
        if (Empty(file)) Refuse(kLog, kBad, kBad, "Invalid Parameter : FileName(%s)", Text(file));
        CheckAppendPos(kLog, append_pos);
        if (Empty(src_file)) Refuse(kLog, kBad, kBad, "Invalid Parameter : FileName2(%s)", Text(src_file));
        char abs_path[kImportPathSize];
        if (TooLong(path) || TooLong(file) || !Absolute(path, abs_path)) {
          Refuse(kLog, kBad, kBad, "Invalid Parameter : FilePath(%s)", Text(path));
        }
        if (TooLong(src_path) || TooLong(src_file)) {
          Refuse(kLog, kBad, kBad, "Invalid Parameter : FilePath2(%s)", Text(src_path));
        }
        char abs_src[kImportPathSize];
        const bool src_ok = Absolute(src_path, abs_src);
        if (!src_ok) PutErrorLog(kLog, kBad, getString("Invalid Parameter : FilePath2(%s)", Text(src_path)));
        const int target = PrepareAppendTarget(table_id);
        if (target < 0) return target;
        return InCatalogDirectory(kLog, kAppendFailure, true, abs_path, file, [&](char* catalog) {
          RequestBanner();
          if (!src_ok) {
            LogMsg("PATH  [%s] MISSING", Text(src_path));
            return kBad;
          }
          std::string source = Join(abs_src, src_file);
          return RunAppend(table_id, append_pos, mode, catalog, source.data(), source.data());
        });
      }));
}

int CDBParallelTask::AddRealFilter2(int table_id, int position, char* name, int type, int rows,
                                    int /*unused*/, char* dir, char* file) {
  constexpr char kLog[] = "RQ7AddRealFilter2";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kLog, [&] {
        char validated[TFilter::kNameSize];
        TRealTable* real = FindRealTableForNewFilter(kLog, table_id, name, validated);
        if (type < Q7_TYPE_INTEGER || type > Q7_TYPE_DECIMAL) RefuseSilently(Q7_ERROR_INVALID_DATA_TYPE);
        const int records = real->TotalRecs();
        if (records > rows) RefuseSilently(Q7_ERROR_INVALID_UNIT_WIDTH);
        if (Empty(file))
          return CheckInner(kLog, real->AddEmptyFilter(position, validated, type, table_id, -1));
        std::string source = Join(Text(dir), file);
        return CheckInner(kLog,
                          MppAddFilterFromFile(table_id, position, validated, type, records, source.data()));
      }));
}
