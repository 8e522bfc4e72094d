// Names, memory sizes, shared-table queries and saved flags in the operation layer.
#include "api/ops/ops_names.h"

#include <cstring>

#include "api/ops/OpCommon.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TFilter.h"
#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "values/TStrArray.h"

namespace {

// A host name copied into a 256-byte buffer; 256 bytes or more are refused.
void CopyName(char (&dst)[TBaseTable::kNameSize], const char* name, const char* what) {
  CopyHostText(dst, name, what, Q7_ERROR_ILLEGAL_FILTER_NAME);
}

template <class Body>
int64_t RunSizeOp(const char* ring, Body&& body) {
  return RunOp(ring, [&]() -> int64_t { return body(); });
}

}  // namespace

// ---- Names and IDs ----

int innerQ7GetTableIDFromName(const char* name) {
  constexpr char kRing[] = "Q7GetTableIDFromName";
  return RunOp(kRing, [&] {
    // A lookup only reads the text.
    char* text = const_cast<char*>(name != nullptr ? name : "");
    return CheckInner(kRing, RequireDatabase(kRing)->GetTableIDFromName(text));
  });
}

int innerQ7GetFilterIDFromName(int table_id, const char* name) {
  constexpr char kRing[] = "Q7GetFilterIDFromName";
  return RunOp(kRing, [&] {
    // A lookup only reads the text.
    char* text = const_cast<char*>(name != nullptr ? name : "");
    return CheckInner(kRing, FindTable(kRing, table_id)->GetFilterIDFromName(text, -1));
  });
}

int innerQ7GetJoinFilterIDFromName(int table_id, const char* name) {
  constexpr char kRing[] = "Q7GetJoinFilterIDFromName";
  return RunOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id);
    if (table->GetType() != TBaseTable::kTypeJoin) {
      Refuse(kRing, Q7_ERROR_NOT_JOIN_TABLE, Q7_ERROR_NOT_JOIN_TABLE, "Illegal table type ( Not REAL )");
    }
    // A lookup only reads the text.
    char* text = const_cast<char*>(name != nullptr ? name : "");
    return static_cast<TJoinTableBase*>(table)->GetJoinFilterIDFromName(text);
  });
}

// The table is looked up quietly first: its refusal is thrown for the exported frame to record,
// while the lookup below records its own under the Q7 name. A real table looks the name up among
// its filters, a join among the join's own column names (its source tables' lookup, which the
// plain form takes, would give a source filter's ID).
int innerRQ7GetFilterIDFromName(int table_id, const char* name) {
  TTableCollection* db = CurrentDatabase();
  TBaseTable* table = db != nullptr ? db->GetTable(table_id) : nullptr;
  if (table == nullptr) ThrowNoSuchTable(Q7_ERROR_NO_SUCH_TABLE, table_id);
  if (table->GetType() == TBaseTable::kTypeReal) return innerQ7GetFilterIDFromName(table_id, name);
  return innerQ7GetJoinFilterIDFromName(table_id, name);
}

int innerQ7GetFilterIDFromName2(int table_id, int which, const char* name) {
  constexpr char kRing[] = "Q7GetFilterIDFromName2";
  return RunOp(kRing, [&] {
    // A lookup only reads the text.
    char* text = const_cast<char*>(name != nullptr ? name : "");
    return CheckInner(kRing, FindTable(kRing, table_id)->GetFilterIDFromName(text, which));
  });
}

int innerQ7SetFilterName(int table_id, int filter_id, const char* name) {
  constexpr char kRing[] = "Q7SetFilterName";
  return ChangedOnSuccess(
      Changes::kTables, RunOp(kRing, [&] {
        TBaseTable* table = FindTable(kRing, table_id);
        RefuseShared(table);
        TRealTable* real = RequireReal(kRing, table, "Not RealTable: %d ", Q7_ERROR_NOT_REAL_TABLE);
        TFilter* filter = FindFilter(kRing, real, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
        // GenFilterName rewrites its seed in place; the host's text stays as it is.
        char seed[TBaseTable::kNameSize];
        CopyName(seed, name, "FilterName");
        char unique[TFilter::kNameSize];
        const int result = real->GenFilterName(seed, unique);
        if (result < 0) RefuseSilently(result);
        memcpy(filter->FFilterName, unique, strlen(unique) + 1);
        return 0;
      }));
}

int innerQ7SetSetName(int table_id, int set_id, const char* name) {
  constexpr char kRing[] = "Q7SetSetName";
  return ChangedOnSuccess(Changes::kSets, RunOp(kRing, [&] {
                            TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
                            TSetArray* set =
                                FindSet(kRing, table, set_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_SET);
                            if (set->FNotOwned != 0 || IsSharedTable(table))
                              RefuseSilently(Q7_ERROR_SHARED_READ_ONLY);
                            char buffer[TBaseTable::kNameSize];
                            CopyName(buffer, name, "SetName");
                            set->SetSetName(buffer);
                            return 0;
                          }));
}

int innerQ7GetFilterName(int table_id, int filter_id, char* out) {
  constexpr char kRing[] = "Q7GetFilterName";
  return RunOp(kRing, [&] {
    CheckHostPointer(out, "FilterName");
    TBaseTable* table = FindTable(kRing, table_id);
    TFilter* filter = FindFilter(kRing, table, filter_id, MissEntry::kPlain, Q7_ERROR_NO_SUCH_FILTER);
    const char* name = ReportedFilterName(table, filter_id, filter);
    if (name == nullptr) {
      Refuse(kRing, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NO_SUCH_FILTER, "%s", NoSuchFilterText(filter_id));
    }
    qz7_strlcpy(out, name, TFilter::kNameSize);
    return 0;
  });
}

int innerQ7GetSetName(int table_id, int set_id, char* out) {
  constexpr char kRing[] = "Q7GetSetName";
  return RunOp(kRing, [&] {
    CheckHostPointer(out, "SetName");
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    TSetArray* set = FindSet(kRing, table, set_id, MissEntry::kNone);
    qz7_strlcpy(out, set->GetSetName(), TBaseTable::kNameSize);
    return 0;
  });
}

// ---- Memory sizes ----

int64_t innerQ7GetTotalMemorySize() {
  constexpr char kRing[] = "Q7GetTotalMemorySize";
  return RunSizeOp(kRing, [&] { return RequireDatabase(kRing)->GetTotalMemorySize(); });
}

int64_t innerQ7GetTableMemorySize(int table_id) {
  constexpr char kRing[] = "Q7GetTableMemorySize";
  return RunSizeOp(kRing,
                   [&] { return FindTable(kRing, table_id, MissEntry::kTrailingBlank)->GetMemSize(); });
}

int64_t innerQ7GetFilterMemorySize(int table_id, int filter_id) {
  constexpr char kRing[] = "Q7GetFilterMemorySize";
  return RunSizeOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    return FindFilter(kRing, table, filter_id, MissEntry::kNone)->GetMemSize();
  });
}

int64_t innerQ7GetSetMemorySize(int table_id, int set_id) {
  constexpr char kRing[] = "Q7GetSetMemorySize";
  return RunSizeOp(kRing, [&] {
    TBaseTable* table = FindTable(kRing, table_id, MissEntry::kTrailingBlank);
    return FindSet(kRing, table, set_id, MissEntry::kTrailingBlank, Q7_ERROR_NO_SUCH_SET)->GetMemSize();
  });
}

int64_t GetPVLBaseSize(int table_id, int filter_id) {
  try {
    TTableCollection* db = CurrentDatabase();
    const int pos = db != nullptr ? db->ID2Loc(table_id) : -1;
    if (pos < 0) return 0;
    TFilter* filter = LookupFilter(db->TableAt(pos), filter_id);
    if (filter == nullptr || filter->VL == nullptr || filter->VL->GetDataType() != Q7_TYPE_STRING) return 0;
    return static_cast<TStrArray*>(filter->VL)->FStrAreaSize;
  } catch (...) {
    return 0;
  }
}

// ---- Shared tables ----

namespace {

constexpr char kSharedRing[] = "innerQ7SharedMemoryTable";

template <class Test>
int SharedQuery(int table_id, bool record_no_database, Test test) {
  try {
    TTableCollection* db = CurrentDatabase();
    if (db == nullptr) {
      if (record_no_database) PutErrorLog(kSharedRing, Q7_ERROR_NO_SUCH_TABLE, "No Table");
      return 0;
    }
    TBaseTable* table = db->GetTable(table_id);
    if (table == nullptr) {
      PutErrorLog(kSharedRing, Q7_ERROR_NO_SUCH_TABLE, NoSuchTableText(table_id, Blank::kTrailing));
      return Q7_ERROR_NO_SUCH_TABLE;
    }
    return test(table) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

int innerQ7SharedMemoryTable(int table_id) {
  return SharedQuery(table_id, true, [](TBaseTable* table) { return IsSharedTable(table); });
}

int innerQ7TSharedMemoryTable(int table_id) {
  return SharedQuery(table_id, false, [](TBaseTable* table) { return table->isQ7TShared(); });
}

// ---- Saved flags and settings ----

// Runs inside the frames of RQ7SetTailSpaceFlag and Q7SetTailSpaceFlag, which hold the API lock, so
// it takes none itself.
int innerQ7SetTailSpaceFlag(int flag) {
  TTableCollection::m_nCutLastSpace = flag;
  return 0;
}

int innerQ7SetSavedFlag(int flag) {
  g_TFSaved = g_TFSSaved = g_SETTINGSaved = flag != 0 ? 1 : 0;
  return 1;
}

int innerQ7GetSavedFlag(int kind) {
  switch (kind) {
    case 0:
      return g_TFSaved != 0 && g_TFSSaved != 0 && g_SETTINGSaved != 0 ? 1 : 0;
    case 1:
      return g_TFSaved;
    case 2:
      return g_TFSSaved;
    default:
      return 0;
  }
}
