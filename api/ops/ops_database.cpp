// Database operations: time texts, host memory, clearing, loading and saving the whole database.
#include "api/ops/ops_database.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_jba.h"
#include "database/NoSuchTexts.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CSmpEngine.h"
#include "foundation/FailureCode.h"
#include "foundation/zpk_fstream.h"
#include "foundation/zpk_memory.h"
#include "values/DateTime.h"

static_assert(offsetof(_Q7FileInfo, osType) == 0);
static_assert(offsetof(_Q7FileInfo, byteOrder) == 1);
static_assert(offsetof(_Q7FileInfo, wordSize) == 2);
static_assert(offsetof(_Q7FileInfo, charCodeName) == 3);
static_assert(offsetof(_Q7FileInfo, version) == 36);
static_assert(sizeof(_Q7FileInfo) == 52);

namespace {

constexpr char kFileInfoCharCode[] = "Shift_JIS";
constexpr int kFileInfoVersion1 = 102;

char g_gen_table_name[kHostPathSize];

// Destroys the engine's collection, if any, leaving the engine without one.
void DropDatabase() {
  CSmpEngine* engine = CSmpEngine::Instance();
  TTableCollection* old = engine->Database();
  engine->SetDatabase(nullptr);
  // Block readers point into the tables.
  PurgeJBAs();
  delete old;
}

void InstallEmptyDatabaseIfNone() {
  CSmpEngine* engine = CSmpEngine::Instance();
  if (engine->Database() == nullptr) engine->SetDatabase(new TTableCollection());
}

}  // namespace

int innerQ7StrToTime(const char* text, double* out) {
  return RunOp("Q7StrToTime", [&] {
    CheckHostPointer(out, "Time");
    int err = 0;
    *out = Str2Time(text != nullptr ? text : "", 0, &err);
    if (std::isinf(*out) && *out < 0) {
      Refuse("Q7StrToTime", Q7_ERROR_UNKNOWN, Q7_ERROR_UNKNOWN,
             "Failed to get time index ( Str2Time module )");
    }
    return 0;
  });
}

int innerQ7FreeMem(void** block) {
  if (block != nullptr && *block != nullptr) {
    zpk_free(*block);
    *block = nullptr;
  }
  return 0;
}

int innerQ7ClearDB() {
  try {
    DropDatabase();
    InstallEmptyDatabaseIfNone();
    // A host may idle long after a clear: the freed tables' large blocks must not stay resident.
    zpk_release_memory();
    return 0;
  } catch (const CQ7Exception& e) {
    PutErrorLog("Q7ClearDB", Q7_ERROR_UNKNOWN, e.Message());
    InstallEmptyDatabaseIfNone();
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

int innerQ7LoadDB(const char* directory, const char* name) {
  constexpr char kRing[] = "Q7LoadDB";
  char dir_buffer[kHostPathSize];
  char name_buffer[kHostPathSize];
  // The texts are checked before the old database goes, so a refused call changes nothing.
  int result = RunOp(kRing, [&] {
    CopyHostText(dir_buffer, directory, "DBPath");
    CopyHostText(name_buffer, name, "DBName");
    return 0;
  });
  if (result < 0) return result;

  CSmpEngine* engine = CSmpEngine::Instance();
  result = RunOp(kRing, [&] {
    // A misspelt name or a file that is no database file must not cost the database in place;
    // damage found further in still leaves an empty one.
    TTableCollection::CheckDatabaseFile(dir_buffer, name_buffer);
    DropDatabase();
    // The reader writes the absolute directory back into dir_buffer.
    auto* loaded = new TTableCollection(dir_buffer, name_buffer);
    engine->SetDatabase(loaded);
    loaded->LoadComplete(0);
    MarkAllSaved();
    return 0;
  });
  try {
    InstallEmptyDatabaseIfNone();
  } catch (...) {
    // Out of memory for an empty collection: the next call that needs one reports it.
    if (result == 0) result = Q7_ERROR_OUT_OF_MEMORY;
  }
  // The old tables' blocks served the load; what it left must not stay resident while the host idles.
  zpk_release_memory();
  return result;
}

int SaveDatabaseFile(const char* ring, const char* directory, const char* name, int version) {
  return RunOp(ring, [&] {
    char dir_buffer[kHostPathSize];
    char name_buffer[kHostPathSize];
    CopyHostText(dir_buffer, directory, "DBPath");
    CopyHostText(name_buffer, name, "DBName");
    // Without a name the file would be the bare extension, a hidden ".Q7D" in the directory.
    if (name_buffer[0] == '\0') throw CQ7Exception(Q7_ERROR_NO_DB_NAME, "Illegal FileName");
    TTableCollection* db = RequireDatabase(ring);
    UseFileVersion(db, version);
    db->SaveDB(dir_buffer, name_buffer);
    MarkAllSaved();
    return 0;
  });
}

int innerQ7SaveDBAs(const char* directory, const char* name) {
  return SaveDatabaseFile("Q7SaveDBAs", directory, name, 0);
}

int innerQ7SaveDB() {
  return RunOp("Q7SaveDB", [&] {
    RequireDatabase("Q7SaveDB")->ReSave();
    MarkAllSaved();
    return 0;
  });
}

int innerQ7GetPathName(char* directory, char* name) {
  return RunOp("Q7GetPathName", [&] {
    CheckHostPointer(directory, "DBPath");
    CheckHostPointer(name, "DBName");
    directory[0] = '\0';
    name[0] = '\0';
    RequireDatabase("Q7GetPathName")->GetPathName(directory, name);
    return 0;
  });
}

int innerQ7GetQz7FileInfo(const char* directory, const char* file_name, const char* extension,
                          _Q7FileInfo* info) {
  if (extension == nullptr ||
      (strcmp(extension, table_files::kDatabaseExt) != 0 && strcmp(extension, table_files::kTableExt) != 0)) {
    return -1;
  }
  if (info == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  const char* name = file_name != nullptr ? file_name : "";
  const size_t name_length = strlen(name);
  const size_t ext_length = strlen(extension);
  const bool has_extension =
      name_length > ext_length && strcmp(name + name_length - ext_length, extension) == 0;
  if (name_length + (has_extension ? 0 : ext_length) >= kHostPathSize) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : FileName(%.64s...)", name);
  }
  char path[kHostPathSize];
  memcpy(path, name, name_length + 1);
  if (!has_extension) memcpy(path + name_length, extension, ext_length + 1);

  table_files::WorkingDirectory back;
  if (!back.Remembered() || !table_files::WorkingDirectory::Enter(directory != nullptr ? directory : "")) {
    PutErrorLog("Q7GetQz7FileInfo", Q7_ERROR_INVALID_PATH,
                getString("Invalid Parameter : DBPath(%s)", directory != nullptr ? directory : ""));
    return Q7_ERROR_INVALID_PATH;
  }
  // Failures below close the stream (its destructor) and return to `back` (its destructor) on
  // their way to the frame.
  zpk_fstream fs;
  zpk_open(fs, path, kZpkRead | kZpkBinary, 0);
  fs.readFileHeader(false);
  _Q7FileInfo filled{};
  filled.osType = fs.FileOSTYPE();
  filled.byteOrder = fs.FileEndian();
  filled.wordSize = fs.FileELF();
  if (strcmp(extension, table_files::kTableExt) == 0) {
    int32_t kind = 0;
    zpk_read(fs, &kind, 4, 1);
  }
  zpk_read(fs, filled.version, 4, 4);
  fs.close();
  qz7_strlcpy(filled.charCodeName, kFileInfoCharCode, sizeof filled.charCodeName);
  filled.version[1] = kFileInfoVersion1;
  *info = filled;
  return 0;
}

int innerQ7SetMaxJoinChain(int length) { return TTableCollection::SetMaxJoinChain(length); }

int innerQ7GetNTable() {
  return RunOp("Q7GetNTable", [&] {
    return CheckInner("Q7GetNTable", RequireDatabase("Q7GetNTable")->TableCount(),
                      "Failed to get table num ( nTable module )");
  });
}

int innerQ7GetTableIDList(int* ids) {
  return RunOp("Q7GetTableIDList", [&] {
    CheckHostPointer(ids, "TableIDList");
    return CheckInner("Q7GetTableIDList", RequireDatabase("Q7GetTableIDList")->GetTableIDList(ids),
                      "Failed to get tableIDList ( GetTableIDList module )");
  });
}

int innerQ7GenerateTableName(const char* seed, char* out) {
  return RunOp("Q7GenerateTableName", [&] {
    CheckHostPointer(out, "TableName");
    return CheckInner("Q7GenerateTableName",
                      RequireDatabase("Q7GenerateTableName")->GenTableName(seed != nullptr ? seed : "", out),
                      "Failed to get table Name ( GenTableName module )");
  });
}

int innerQ7GenTableName(const char* seed, char** out) {
  g_gen_table_name[0] = '\0';
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr) return Q7_ERROR_NO_SUCH_TABLE;
  // GenTableName writes at most 256 bytes.
  const int result = db->GenTableName(seed != nullptr ? seed : "", g_gen_table_name);
  if (out != nullptr) *out = g_gen_table_name;
  return result;
}

// ---- Tables inside a host's own file ----

namespace {

// The collection's readers and writers take a modifiable path; the host's text stays the host's.
std::string HostPath(const char* path) {
  if (path == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME, "Invalid Parameter : Path");
  return path;
}

TTableCollection* Database() {
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "No Table");
  return db;
}

}  // namespace

int innerRQ7LoadRealTable2(const char* path, unsigned long offset, int count, int* table_ids,
                           unsigned long* end_offset) {
  std::string file = HostPath(path);
  return ChangedOnSuccess(Changes::kTables,
                          Database()->LoadRealTable2(file.data(), offset, count, table_ids, end_offset));
}

// Exactly one table is written: the host hands over one ID, not a list, so nothing past it is read.
// A missing table is refused here, before the file is touched: the collection would skip it and
// report success for a save that wrote nothing. The collection's flag argument is 1, which writes
// set 1 only.
int innerRQ7SaveRealTable2(const char* path, unsigned long offset, const int* table_id,
                           unsigned long* end_offset) {
  if (table_id == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : TblID");
  std::string file = HostPath(path);
  TTableCollection* db = Database();
  if (db->ID2Loc(*table_id) < 0) ThrowNoSuchTable(Q7_ERROR_NO_SUCH_TABLE, *table_id, Blank::kTrailing);
  int list[2] = {*table_id, -1};
  return db->SaveRealTable2(file.data(), offset, list, 1, end_offset);
}
