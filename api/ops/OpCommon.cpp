// The operation layer's shared frame: refusals, ring entries and the table and filter lookups.
#include "api/ops/OpCommon.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/SystemHeader.h"
#include "join/TJoinTable.h"

uint8_t g_TFSaved = 1;
uint8_t g_TFSSaved = 1;
uint8_t g_SETTINGSaved = 1;

void RefuseSilently(int code) { throw OpRefusal(code); }

void Refuse(const char* ring_name, int record_code, int return_code, const char* format, ...) {
  char message[CQ7Exception::kMessageSize];
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
  PutErrorLog(ring_name, record_code, message);
  throw OpRefusal(return_code);
}

namespace {

// Records (ring_name, record_code, format with one int) and fails with return_code. The formats
// come from this file's callers, each with exactly one %d.
[[noreturn]] void RefuseId(const char* ring_name, int record_code, int return_code, const char* format,
                           int id) {
  char message[CQ7Exception::kMessageSize];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  snprintf(message, sizeof message, format, id);
#pragma GCC diagnostic pop
  PutErrorLog(ring_name, record_code, message);
  throw OpRefusal(return_code);
}

// Records the miss's text (ring_name, record_code, text(id, blank)) as `entry` says, then fails with
// return_code.
template <class Text>
[[noreturn]] void RefuseMiss(const char* ring_name, MissEntry entry, int record_code, int return_code,
                             Text text) {
  if (entry != MissEntry::kNone) {
    PutErrorLog(ring_name, record_code,
                text(entry == MissEntry::kTrailingBlank ? Blank::kTrailing : Blank::kNone));
  }
  throw OpRefusal(return_code);
}

}  // namespace

TTableCollection* CurrentDatabase() {
  CSmpEngine* engine = CSmpEngine::Instance();
  return engine ? engine->Database() : nullptr;
}

TTableCollection* RequireDatabase(const char* ring_name) {
  TTableCollection* db = CurrentDatabase();
  if (db == nullptr) Refuse(ring_name, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_TABLE, "No Table");
  return db;
}

TBaseTable* FindTable(const char* ring_name, int table_id, MissEntry entry, int record_code) {
  TTableCollection* db = CurrentDatabase();
  TBaseTable* table = db ? db->GetTable(table_id) : nullptr;
  if (table == nullptr) {
    RefuseMiss(ring_name, entry, record_code, Q7_ERROR_NO_SUCH_TABLE,
               [&](Blank blank) { return NoSuchTableText(table_id, blank); });
  }
  return table;
}

TRealTable* RequireReal(const char* ring_name, TBaseTable* table, const char* kind_message, int record_code) {
  if (table->GetType() != TBaseTable::kTypeReal) {
    RefuseId(ring_name, record_code, Q7_ERROR_NOT_REAL_TABLE, kind_message, table->FTableID);
  }
  return static_cast<TRealTable*>(table);
}

TRealTable* FindRealTable(const char* ring_name, int table_id, MissEntry entry, const char* kind_message,
                          int record_code) {
  return RequireReal(ring_name, FindTable(ring_name, table_id, entry), kind_message, record_code);
}

TJoinTable* FindJoinTable(const char* ring_name, int table_id, MissEntry entry, int record_code) {
  TBaseTable* table = FindTable(ring_name, table_id, entry);
  if (table->GetType() != TBaseTable::kTypeJoin) {
    RefuseMiss(ring_name, entry, record_code, Q7_ERROR_NOT_JOIN_TABLE,
               [&](Blank blank) { return NoSuchTableText(table_id, blank); });
  }
  return static_cast<TJoinTable*>(table);
}

TFilter* LookupFilter(TBaseTable* table, int filter_id) {
  // The tables' own GetFilter records a "GetFilter" entry on a miss; the layer's refusal is the one
  // entry the host should see, so existence is checked quietly first.
  if (table->GetType() == TBaseTable::kTypeReal) {
    auto* real = static_cast<TRealTable*>(table);
    const int pos = real->FilterID2Pos(filter_id);
    return pos < 0 ? nullptr : real->FFilters[pos];
  }
  if (filter_id < 1 || filter_id > table->GetNFilter()) return nullptr;
  return table->GetFilter(filter_id);
}

TFilter* FindFilter(const char* ring_name, TBaseTable* table, int filter_id, MissEntry entry,
                    int record_code) {
  TFilter* filter = LookupFilter(table, filter_id);
  if (filter == nullptr) {
    RefuseMiss(ring_name, entry, record_code, Q7_ERROR_NO_SUCH_FILTER,
               [&](Blank) { return NoSuchFilterText(filter_id); });
  }
  return filter;
}

const char* ReportedFilterName(TBaseTable* table, int filter_id, TFilter* filter) {
  if (table->GetType() == TBaseTable::kTypeReal) return filter->FFilterName;
  return static_cast<TJoinTableBase*>(table)->GetJoinFilterName(filter_id);
}

bool HasSet(TBaseTable* table, int set_id) {
  const int id = set_id < 0 ? table->FCurrentSetID : set_id;
  int low = 0;
  int high = table->FnSet - 1;
  while (low <= high) {
    const int mid = low + (high - low) / 2;
    if (table->FSetIDs[mid] == id) return true;
    if (table->FSetIDs[mid] < id) {
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  return false;
}

TSetArray* FindSet(const char* ring_name, TBaseTable* table, int set_id, MissEntry entry, int record_code) {
  TSetArray* set = HasSet(table, set_id) ? table->GetSet(set_id) : nullptr;
  if (set == nullptr) {
    RefuseMiss(ring_name, entry, record_code, Q7_ERROR_NO_SUCH_SET,
               [&](Blank blank) { return NoSuchSetText(set_id, blank); });
  }
  return set;
}

bool IsSharedTable(TBaseTable* table) { return table->FShmImage != 0 || table->isQ7TShared(); }

void RefuseShared(TBaseTable* table) {
  if (IsSharedTable(table)) RefuseSilently(Q7_ERROR_SHARED_READ_ONLY);
}

int CheckInner(const char* ring_name, int result, const char* message) {
  if (result < 0) {
    if (message != nullptr) PutErrorLog(ring_name, result, message);
    RefuseSilently(result);
  }
  return result;
}

void UseFileVersion(TTableCollection* db, int version) {
  if (version == 0) {
    db->FUseSavedHeader = 0;
    return;
  }
  db->FUseSavedHeader = 1;
  db->FSavedVersions[0] = Qz7Versions[0];
  db->FSavedVersions[1] = version;
  db->FSavedVersions[2] = Qz7Versions[2];
  db->FSavedVersions[3] = Qz7Versions[3];
  memcpy(db->FSavedHeader, Qz7SysInfo, sizeof db->FSavedHeader);
  db->FSavedHeader[4] = 0;  // the previous format stores no database character code
}

void CopyHostText(char* dst, size_t size, const char* src, const char* what, int code) {
  if (src == nullptr) {
    dst[0] = '\0';
    return;
  }
  if (strnlen(src, size) >= size) {
    throw CQ7Exception(code, "Invalid Parameter : %s(%.64s...)", what, src);
  }
  memcpy(dst, src, strlen(src) + 1);
}

void CheckHostPointer(const void* pointer, const char* what) {
  if (pointer == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : %s", what);
}

void CheckTableNameLength(const char* name) {
  if (name != nullptr && strnlen(name, kMaxNameLength + 1) > kMaxNameLength) {
    throw CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename");
  }
}

char* MakeGeneratedName(const char* prefix, int index, char* out) {
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  snprintf(out, kGeneratedNameSize, "%s%04d%02d%02d%02d%02d%02d_%d", prefix, local.tm_year + 1900,
           local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, index);
  return out;
}

char* NameOrGenerated(char* name, const char* prefix, int index, char* out) {
  if (name != nullptr && name[0] != '\0') return name;
  return MakeGeneratedName(prefix, index, out);
}
