// Database files, table files and multi-table files of the collection.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "database/TableFiles.h"
#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_fstream.h"

using table_files::CheckBytesLeft;
using table_files::CheckRange;
using table_files::Damaged;
using table_files::ReadInt;
using table_files::WithExtension;
using table_files::WorkingDirectory;
using table_files::WriteInt;

namespace {

TTableCollection::JoinRecordReader g_join_reader = nullptr;

// The diagnostic reader predates data version 102.
bool DiagnosticReadable(int v) { return v == 15 || v == 16 || (v >= 20 && v <= 25); }

// Enters dir and writes its absolute form back into the caller's 512-byte buffer; false when the
// directory cannot be entered, its absolute form cannot be read or does not fit.
bool EnterDirectory(const WorkingDirectory& back, char* dir, char* absolute) {
  if (!back.Remembered() || !WorkingDirectory::Enter(dir) ||
      !WorkingDirectory::Current(absolute, TTableCollection::kPathSize)) {
    return false;
  }
  memcpy(dir, absolute, strlen(absolute) + 1);
  return true;
}

[[noreturn]] void InvalidDBPath(const char* log_name, const char* dir) {
  PutErrorLog(log_name, Q7_ERROR_INVALID_PATH,
              getString("Invalid Parameter : DBPath(%s)", dir != nullptr ? dir : ""));
  throw CQ7Exception(Q7_ERROR_INVALID_PATH);
}

int WriteHeader(zpk_fstream& fs, bool saved, const uint8_t* saved_header) {
  return saved ? fs.writeFileHeader(saved_header) : fs.writeFileHeader();
}

void CopyName(char* dst, const char* src) {
  if (dst != src) qz7_strlcpy(dst, src, TTableCollection::kPathSize);
}

// The writer pads (position & 7) zero bytes before each table's header, whatever alignment the
// stream has seen so far; the reader must skip the same, also before the first header.
void SkipHeaderPadding(zpk_fstream& fs) {
  const int64_t pos = fs.tellg();
  if (pos < 0 || ((pos & 7) != 0 && fs.seekg(pos & 7, SEEK_CUR) != 0))
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
}

// The stream's read failures carry no text. Once the file is open, a failed read means that the file
// ends before its records do (or that the device failed): the entry names the file, so that a host
// can tell a cut file from a missing one.
template <class Body>
auto NamingFailedReads(const std::string& file, Body body) {
  try {
    return body();
  } catch (const CQ7Exception& e) {
    if (e.ErrorCode() != Q7_ERROR_ILLEGAL_FILE_NAME || e.Message()[0] != '\0') throw;
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME, "Database file cut short or unreadable: %s", file.c_str());
  }
}

// What a database file begins with, up to the table names.
struct DatabaseHead {
  int32_t issued;
  int32_t count;
};

// Opens the database file in the current directory and reads and checks its head: the header (or
// the older start without one), the versions, the issued table ID and the table count; the stream
// is left at the first name.
DatabaseHead ReadDatabaseHead(zpk_fstream& fs, const std::string& file, bool verbose) {
  zpk_open(fs, file.c_str(), kZpkRead | kZpkBinary, 0);
  return NamingFailedReads(file, [&] {
    fs.readFileHeader(false);
    int32_t versions[4];
    zpk_read(fs, versions, 4, 4);
    if (verbose) {
      char text[64];
      snprintf(text, sizeof text, "%d,%d,%d,%d", versions[0], versions[1], versions[2], versions[3]);
      LogMsg("DataVersion = ------> %s", text);
    }
    if (!(verbose ? DiagnosticReadable(versions[1]) : TBaseTable::IsReadableDataVersion(versions[1]))) {
      LogMsg("Unspported DataVersion DataVer[1] = ------> %d", versions[1]);
      throw CQ7Exception(Q7_ERROR_UNSUPPORTED_VERSION);
    }
    DatabaseHead head;
    head.issued = ReadInt(fs);
    if (verbose) LogMsg("Table's Issued [FTblIDIssued] = ------> %d", head.issued);
    head.count = ReadInt(fs);
    if (verbose) LogMsg("Table's Count [FnTable] = ------> %d", head.count);
    // New tables take the issued ID + 1; the stored IDs are checked against it below.
    CheckRange(head.issued, 0, INT32_MAX, "issued table ID");
    CheckRange(head.count, 0, TTableCollection::kMaxTables, "table count");
    CheckBytesLeft(fs, int64_t{TBaseTable::kNameSize} * head.count, "table names");
    return head;
  });
}

}  // namespace

void TTableCollection::SetJoinRecordReader(JoinRecordReader reader) { g_join_reader = reader; }

// ---- Database file ----

TTableCollection::TTableCollection(char* dir, char* name) : TTableCollection() {
  LoadDatabaseFile(dir, name, false);
}

TTableCollection::TTableCollection(char* dir, char* name, int) : TTableCollection() {
  LoadDatabaseFile(dir, name, true);
}

void TTableCollection::CheckDatabaseFile(const char* dir, const char* name) {
  WorkingDirectory back;
  char entered[kPathSize];
  char absolute[kPathSize];
  qz7_strlcpy(entered, dir != nullptr ? dir : "", sizeof entered);
  if (!EnterDirectory(back, entered, absolute)) InvalidDBPath("TTableCollection", dir);
  zpk_fstream fs;
  ReadDatabaseHead(fs, WithExtension(name != nullptr ? name : "", table_files::kDatabaseExt), false);
}

void TTableCollection::LoadDatabaseFile(char* dir, char* name, bool verbose) {
  // A throw leaves this constructor's object to its destructor, which deletes the tables built so
  // far from the last to the first; `back` returns to the directory before that.
  WorkingDirectory back;
  if (verbose) LogMsg("Current Path ------> %s", back.Path());
  char absolute[kPathSize];
  if (!EnterDirectory(back, dir, absolute)) InvalidDBPath("TTableCollection", dir);
  if (verbose) LogMsg("Change Current Path ------> %s", absolute);
  const std::string file = WithExtension(name, table_files::kDatabaseExt);
  if (verbose && file != name) LogMsg("Logging ------> %s", file.c_str());

  zpk_fstream fs;
  const DatabaseHead head = ReadDatabaseHead(fs, file, verbose);
  const int32_t issued = head.issued;
  const int32_t count = head.count;
  NamingFailedReads(file, [&] {
    for (int i = 0; i < count; ++i) {
      // Every table takes its name from its own record; these are read past.
      char table_name[TBaseTable::kNameSize];
      zpk_read(fs, table_name, 1, sizeof table_name);
      table_name[sizeof table_name - 1] = '\0';
      if (verbose) LogMsg("TableName[i] = ------> %s", table_name);
    }

    try {
      for (int i = 0; i < count; ++i) {
        // Read as it stands: GetTableType would pass a negative kind on as an error code.
        const int32_t kind = ReadInt(fs);
        char no_name[] = "";
        std::unique_ptr<TBaseTable> table;
        if (kind == table_files::kKindReal) {
          if (verbose) LogMsg("TableType[i] = ------> REALTABLE");
          table = std::make_unique<TRealTable>(&fs, no_name, 1, this);
        } else if (kind == table_files::kKindJoin) {
          if (verbose) LogMsg("TableType[i] = ------> JOINTABLE");
          if (g_join_reader == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
          table.reset(g_join_reader(&fs, no_name, 1, 0, this));
        } else {
          if (verbose) LogMsg("TableType[i] = ------> UNDEFINE TYPE");
          throw CQ7Exception(Q7_ERROR_INVALID_TABLE_TYPE);
        }
        // Tables are found by binary search over ascending IDs, and new IDs are issued above the
        // last one.
        const int64_t lowest = FnTable > 0 ? int64_t{FTables[FnTable - 1]->FTableID} + 1 : 1;
        CheckRange(table->FTableID, lowest, issued, "table ID");
        AppendTable(table.release());
        // A join reader may have left the directory.
        WorkingDirectory::Enter(absolute);
      }
    } catch (...) {
      // The joins built so far resolve their tables before everything built is deleted.
      try {
        LoadComplete(0);
      } catch (...) {
      }
      throw;
    }
  });
  fs.close();
  FTblIDIssued = issued;
  qz7_strlcpy(FDBPath, absolute, kPathSize);
  CopyName(FDBName, name);
  back.Restore();
  if (verbose) LogMsg("Change Current Path ------> %s", back.Path());
}

void TTableCollection::WriteDatabaseFile(zpk_fstream& fs) {
  if (WriteHeader(fs, FUseSavedHeader != 0, FSavedHeader) != 0)
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  zpk_write(fs, FUseSavedHeader != 0 ? FSavedVersions : Qz7Versions, 4, 4);
  WriteInt(fs, FAllReal != 0 ? FnTable : FTblIDIssued);
  WriteInt(fs, FnTable);
  for (int i = 0; i < FnTable; ++i) {
    char table_name[TBaseTable::kNameSize] = {};
    qz7_strlcpy(table_name, FTables[i]->FTableName, sizeof table_name);
    zpk_write(fs, table_name, 1, sizeof table_name);
  }
  for (int i = 0; i < FnTable; ++i) FTables[i]->SaveTable(&fs, 0);
}

void TTableCollection::SaveDB(char* dir, char* name) {
  WorkingDirectory back;
  // A directory that cannot be read back cannot be stored for ReSave either.
  char absolute[kPathSize];
  if (!EnterDirectory(back, dir, absolute)) InvalidDBPath("SaveDB", dir);
  const std::string file = WithExtension(name, table_files::kDatabaseExt);

  // With only real tables every ID can be renumbered by position; joins name their tables by ID.
  FAllReal = IsJoinExist() ? 0 : 1;
  for (int i = 0; i < FnTable; ++i) FTables[i]->FDBIndex = i;

  table_files::ReplacingFile out(file);
  WriteDatabaseFile(out.stream());
  out.Commit();
  qz7_strlcpy(FDBPath, absolute, kPathSize);
  CopyName(FDBName, name);
}

void TTableCollection::ReSave() {
  if (FDBPath[0] == '\0' || FDBName[0] == '\0') {
    PutErrorLog("ReSave", Q7_ERROR_NO_DB_NAME, "Illegal FileName");
    throw CQ7Exception(Q7_ERROR_NO_DB_NAME);
  }
  SaveDB(FDBPath, FDBName);
}

int TTableCollection::GetTableType(zpk_fstream* fs, char* name) {
  try {
    if (fs != nullptr) return ReadInt(*fs);
    zpk_fstream own;
    zpk_open(own, (std::string(name != nullptr ? name : "") + table_files::kTableExt).c_str(),
             kZpkRead | kZpkBinary, 0);
    own.readFileHeader(false);
    return ReadInt(own);
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

// ---- Table files ----

int TTableCollection::SaveOneTable(const char* log_name, char* dir, const char* file_name, int table_id) {
  const int pos = ID2Loc(table_id);
  if (pos < 0) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  WorkingDirectory back;
  if (!back.Remembered()) {
    PutErrorLog(log_name, Q7_ERROR_ILLEGAL_FILE_NAME, "Failed to get path ( getcwd module )");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (!WorkingDirectory::Enter(dir)) throw CQ7Exception(Q7_ERROR_INVALID_PATH);
  if (FTables[pos]->GetType() != TBaseTable::kTypeReal) {
    PutErrorLog(log_name, Q7_ERROR_SAVE_TABLE_FAILED, "Not RealTable");
    return Q7_ERROR_SAVE_TABLE_FAILED;
  }
  auto* table = static_cast<TRealTable*>(FTables[pos]);
  if (file_name == nullptr) {
    table->SaveTable(nullptr, 0);
  } else {
    table->SaveTableAs(nullptr, file_name, 0);
  }
  return 0;
}

int TTableCollection::SaveRealTable(char* dir, int table_id) {
  return SaveOneTable("SaveRealTable", dir, nullptr, table_id);
}

int TTableCollection::SaveRealTableAs(char* dir, char* file_name, int table_id) {
  return SaveOneTable("SaveRealTableAs", dir, file_name != nullptr ? file_name : "", table_id);
}

int TTableCollection::LoadRealTable(char* dir, char* file_name) {
  if (Full()) {
    PutErrorLog("LoadRealTable", Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW;
  }
  WorkingDirectory back;
  if (!back.Remembered() || !WorkingDirectory::Enter(dir)) {
    back.Restore();
    PutErrorLog("LoadRealTable", Q7_ERROR_INVALID_PATH,
                getString("Invalid Parameter : TablePath(%s)", dir != nullptr ? dir : ""));
    return Q7_ERROR_INVALID_PATH;
  }
  char empty[] = "";
  auto table = std::make_unique<TRealTable>(nullptr, file_name != nullptr ? file_name : empty, 0, this);
  char unique[TBaseTable::kNameSize];
  if (GenTableName(table->FTableName, unique) == 0) memcpy(table->FTableName, unique, strlen(unique) + 1);
  const int id = IssueTableID();
  table->FTableID = id;
  AppendTable(table.release());
  return id;
}

// ---- Multi-table files ----

int TTableCollection::SaveRealTable2(char* file, unsigned long offset, int* table_ids, int set1_only,
                                     unsigned long* end_offset) {
  zpk_fstream fs;
  zpk_open(fs, file, kZpkUpdate | kZpkBinary, 0);
  if (offset > static_cast<unsigned long>(INT64_MAX) ||
      fs.seekg(static_cast<int64_t>(offset), SEEK_SET) != 0) {
    fs.close();
    PutErrorLog("SaveRealTable2", Q7_ERROR_ILLEGAL_FILE_NAME, "File IO error");
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  for (int k = 0; table_ids != nullptr && table_ids[k] != -1; ++k) {
    const int pos = ID2Loc(table_ids[k]);
    if (pos < 0) {
      PutErrorLog("SaveRealTable2", Q7_ERROR_NO_SUCH_TABLE, NoSuchListedTableText(k, table_ids[k]));
      break;
    }
    if (FTables[pos]->GetType() != TBaseTable::kTypeReal) {
      PutErrorLog("SaveRealTable2", Q7_ERROR_NOT_REAL_TABLE, "Illegal table type ( Not REAL )");
      return Q7_ERROR_NOT_REAL_TABLE;
    }
    if (fs.writeFileHeader() != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    FTables[pos]->SaveTable(&fs, set1_only);
  }
  const int64_t end = fs.tellg();
  if (fs.close() != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  if (end_offset != nullptr) *end_offset = static_cast<unsigned long>(end);
  return 0;
}

int TTableCollection::LoadRealTable2(char* file, unsigned long offset, int count, int* new_ids,
                                     unsigned long* end_offset) {
  if (count < 0) {
    PutErrorLog("LoadRealTable2", Q7_ERROR_NO_SUCH_TABLE, "Invalid Parameter : TblCnt");
    return Q7_ERROR_NO_SUCH_TABLE;
  }
  if (Full()) {
    PutErrorLog("LoadRealTable2", Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, "TableCount overflow");
    return Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW;
  }
  zpk_fstream fs;
  zpk_open(fs, file, kZpkRead | kZpkBinary, 0);
  if (offset > static_cast<unsigned long>(INT64_MAX) ||
      fs.seekg(static_cast<int64_t>(offset), SEEK_SET) != 0) {
    fs.close();
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  try {
    for (int k = 0; k < count; ++k) {
      if (Full()) {
        PutErrorLog("LoadRealTable2", Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, "TableCount overflow");
        return Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW;
      }
      SkipHeaderPadding(fs);
      auto table = std::make_unique<TRealTable>(&fs, this);
      char unique[TBaseTable::kNameSize];
      if (GenTableName(table->FTableName, unique) == 0) memcpy(table->FTableName, unique, strlen(unique) + 1);
      const int id = IssueTableID();
      table->FTableID = id;
      AppendTable(table.release());
      if (new_ids != nullptr) new_ids[k] = id;
    }
  } catch (const CQ7Exception& e) {
    if (e.ErrorCode() == Q7_ERROR_OUT_OF_MEMORY)
      PutErrorLog("LoadRealTable2", Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
    throw;
  }
  const int64_t end = fs.tellg();
  fs.close();
  if (end_offset != nullptr) *end_offset = static_cast<unsigned long>(end);
  return FTblIDIssued;
}
