// What every operation of the operation layer (the innerQ7* functions) and every slot of the engine
// task object share: the own catch, the refusal rule for missing or wrong tables, filters and sets,
// the "return of inner call" rule, the shared-table refusal, the checks of host names and paths,
// generated default names, and the three saved flags.
//
// The refusal rule. A lookup or kind failure leaves one ring entry under the operation's ring name,
// normally carrying Q7_ERROR_NO_SUCH_TABLE whatever the failure, while the operation returns the
// specific code:
//
//   | failure            | ring message (default)   | returned code              |
//   |--------------------|--------------------------|----------------------------|
//   | no table           | "No Such Table: %d"      | Q7_ERROR_NO_SUCH_TABLE     |
//   | not a real table   | "Not RealTable: %d"      | Q7_ERROR_NOT_REAL_TABLE    |
//   | not a join table   | (the operation's text)   | Q7_ERROR_NOT_JOIN_TABLE    |
//   | no filter          | "No Such Filter: %d"     | Q7_ERROR_NO_SUCH_FILTER    |
//   | no set             | "No Such Set: %d"        | Q7_ERROR_NO_SUCH_SET       |
//   | no collection      | "No Table"               | Q7_ERROR_NO_SUCH_TABLE     |
//   | shared table       | none                     | Q7_ERROR_SHARED_READ_ONLY  |
//
// A negative result of the layer below is recorded with its own code and "return of inner call"
// (CheckInner) and returned. Every code and kind text can be overridden per call, for the
// operations whose rows say otherwise; the "No Such ..." texts are the database layer's own
// (database/NoSuchTexts.h), recorded plain, with their trailing blank, or not at all (MissEntry).
//
// How it works: an operation's body runs inside RunOp, its own catch. The helpers below write their
// ring entry and then throw OpRefusal, a CQ7Exception that RunOp returns WITHOUT recording again;
// any other CQ7Exception is recorded by RunOp under the ring name (so a plain
// `throw CQ7Exception(code, "...")` inside a body gives exactly one entry), a failed allocation
// becomes Q7_ERROR_OUT_OF_MEMORY with an "Out of memory" entry, and anything else becomes
// Q7_ERROR_UNKNOWN with no entry. OpRefusal must never leave RunOp; the helpers may only be
// called inside a RunOp body.
//
//   int innerQ7GetTableName(int table, char* out) {
//     return RunOp("Q7GetTableName", [&] {
//       TBaseTable* t = FindTable("Q7GetTableName", table, MissEntry::kTrailingBlank);
//       ...
//       return 0;
//     });
//   }
//
// Thread safety: none of its own. Everything here runs under the API lock on the host's thread;
// the saved flags and the process-wide buffers rely on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "q7api.h"

class TBaseTable;
class TFilter;
class TJoinTable;
class TRealTable;
class TSetArray;
class TTableCollection;

// ---- Saved flags -------------------------------------------------------------------------------
// Three process-wide bytes, 1 saved and 0 changed, all 1 at load. Loading and saving the whole
// database (and innerQ7SetSavedFlag) set all three; each changing operation clears its one flag.
extern uint8_t g_TFSaved;       // tables and filters unchanged
extern uint8_t g_TFSSaved;      // sets unchanged
extern uint8_t g_SETTINGSaved;  // current sets and settings unchanged

inline void MarkTablesChanged() { g_TFSaved = 0; }
inline void MarkSetsChanged() { g_TFSSaved = 0; }
inline void MarkSettingsChanged() { g_SETTINGSaved = 0; }
inline void MarkAllSaved() { g_TFSaved = g_TFSSaved = g_SETTINGSaved = 1; }

// What a call changes, for the flag its success clears: every road of every exported call that
// changes a table, a filter, the database or a set passes its result through ChangedOnSuccess, so
// that a host saving only when the flags say so never loses a change.
enum class Changes { kTables, kSets };
inline int ChangedOnSuccess(Changes what, int result) {
  if (result >= 0) (what == Changes::kTables ? g_TFSaved : g_TFSSaved) = 0;
  return result;
}

// ---- The own catch ---------------------------------------------------------------------------
// A refusal whose ring entry has been written already (or must not be written). Thrown only by the
// helpers of this header (and by bodies that record their own entry first); caught by RunOp.
class OpRefusal : public CQ7Exception {
 public:
  explicit OpRefusal(int code) : CQ7Exception(code) {}
};

// Throws OpRefusal(code): the operation fails with code and nothing (more) is recorded.
[[noreturn]] void RefuseSilently(int code);
// Records (ring_name, record_code, formatted message), then fails with return_code.
[[noreturn]] void Refuse(const char* ring_name, int record_code, int return_code, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

namespace op_detail {
template <class R>
R Widen(int code) {
  static_assert(std::is_integral_v<R>, "operations return an integer");
  return static_cast<R>(code);
}
}  // namespace op_detail

// Which level catches what (the frame, RunOp, the import's Guarded): api/frame/frame.h.
// The operation's own catch. body returns the result (int, or int64_t for the memory sizes; a code
// is widened to the result type).
template <class Body>
auto RunOp(const char* ring_name, Body&& body) noexcept -> std::invoke_result_t<Body&> {
  using R = std::invoke_result_t<Body&>;
  try {
    return body();
  } catch (const OpRefusal& e) {
    return op_detail::Widen<R>(e.ErrorCode());
  } catch (const CQ7Exception& e) {
    PutErrorLog(ring_name, e.ErrorCode(), e.Message());
    return op_detail::Widen<R>(e.ErrorCode());
  } catch (...) {
    return op_detail::Widen<R>(RecordedFailureCode(ring_name));
  }
}

// ---- Lookups (call inside RunOp) ---------------------------------------------------------------
// How a lookup that misses is recorded: with its "No Such Table: %d" / "No Such Filter: %d" /
// "No Such Set: %d" text (database/NoSuchTexts.h), plain or with the trailing blank that some rows
// use (filters have no such form), or not at all.
enum class MissEntry { kPlain, kTrailingBlank, kNone };

// The engine's current collection, or null.
TTableCollection* CurrentDatabase();
// The collection; none: records (ring_name, Q7_ERROR_NO_SUCH_TABLE, "No Table") and fails with
// Q7_ERROR_NO_SUCH_TABLE.
TTableCollection* RequireDatabase(const char* ring_name);

// The table (through TTableCollection::GetTable, which itself records a "GetTable" entry on a
// miss). No table (or no collection): records (ring_name, record_code, "No Such Table: %d[ ]") as
// `entry` says and fails with Q7_ERROR_NO_SUCH_TABLE.
TBaseTable* FindTable(const char* ring_name, int table_id, MissEntry entry = MissEntry::kPlain,
                      int record_code = Q7_ERROR_NO_SUCH_TABLE);
// As FindTable, and the table must be real (GetType() 1): otherwise records (ring_name,
// record_code, kind_message with the ID) and fails with Q7_ERROR_NOT_REAL_TABLE.
TRealTable* FindRealTable(const char* ring_name, int table_id, MissEntry entry = MissEntry::kPlain,
                          const char* kind_message = "Not RealTable: %d",
                          int record_code = Q7_ERROR_NO_SUCH_TABLE);
// As FindTable, and the table must be a join (GetType() 2): a table of another kind is recorded
// with the missing table's text (the join readers tell the host no more), carrying record_code,
// and fails with Q7_ERROR_NOT_JOIN_TABLE.
TJoinTable* FindJoinTable(const char* ring_name, int table_id, MissEntry entry = MissEntry::kPlain,
                          int record_code = Q7_ERROR_NO_SUCH_TABLE);
// The kind check on a table found already (same entry and code as FindRealTable).
TRealTable* RequireReal(const char* ring_name, TBaseTable* table,
                        const char* kind_message = "Not RealTable: %d",
                        int record_code = Q7_ERROR_NO_SUCH_TABLE);

// The filter, or null; records nothing (a join column whose source filter has vanished may still
// throw from the join's GetFilter).
TFilter* LookupFilter(TBaseTable* table, int filter_id);
// The filter (LookupFilter). None: records (ring_name, record_code, "No Such Filter: %d") unless
// `entry` is kNone, and fails with Q7_ERROR_NO_SUCH_FILTER.
TFilter* FindFilter(const char* ring_name, TBaseTable* table, int filter_id,
                    MissEntry entry = MissEntry::kPlain, int record_code = Q7_ERROR_NO_SUCH_TABLE);

// The name the engine reports for a filter the lookup above found: a real table's filter's own
// name; for a join column the join's own name of it (TJoinTableBase::GetJoinFilterName, "id_#1"
// where the slave's "id" meets the master's), which RQ7GetFilterIDFromName finds again. Null for a
// join column the join has no name for.
const char* ReportedFilterName(TBaseTable* table, int filter_id, TFilter* filter);

// Whether the table has a set with this ID (a negative ID: the current set); records nothing.
bool HasSet(TBaseTable* table, int set_id);
// The set. None: records (ring_name, record_code, "No Such Set: %d[ ]" with the set ID as given) as
// `entry` says and fails with Q7_ERROR_NO_SUCH_SET. The table's own lookup is not reached for a
// missing set, so it adds no entry of its own.
TSetArray* FindSet(const char* ring_name, TBaseTable* table, int set_id, MissEntry entry = MissEntry::kPlain,
                   int record_code = Q7_ERROR_NO_SUCH_TABLE);

// ---- Shared tables -------------------------------------------------------------------------------
// The table lives in a shared-memory image (its image mark) or is attached from the shared-table
// registry (isQ7TShared()).
bool IsSharedTable(TBaseTable* table);
// Fails with Q7_ERROR_SHARED_READ_ONLY, without an entry, for a shared table.
void RefuseShared(TBaseTable* table);

// ---- Results of the layer below ----------------------------------------------------------------
// A negative result is recorded (ring_name, result, message) and the operation fails with it; a
// result of 0 or more is returned. A null message records nothing.
int CheckInner(const char* ring_name, int result, const char* message = "return of inner call");

// ---- File versions of saves -------------------------------------------------------------------
// What the collection's writers put into the next files: version 0 the running system's header and
// versions (the stored-header flag cleared); another version the previous format's values, kept by
// the collection for later saves: versions {0x01001001, version, 1, 20170503} and the system
// header with no database character code.
void UseFileVersion(TTableCollection* db, int version);

// ---- Host names and paths ----------------------------------------------------------------------
inline constexpr size_t kHostPathSize = 512;   // directory and file-name buffers of the layer
inline constexpr size_t kMaxNameLength = 255;  // table, filter and set names, without the zero

// Copies a host text into a buffer of `size` bytes. A null text gives an empty one. A text of
// `size` bytes or more is refused before anything is copied: CQ7Exception(code) with
// "Invalid Parameter : %s(%.64s...)" naming `what` (recorded by RunOp).
void CopyHostText(char* dst, size_t size, const char* src, const char* what,
                  int code = Q7_ERROR_ILLEGAL_FILE_NAME);
template <size_t N>
void CopyHostText(char (&dst)[N], const char* src, const char* what, int code = Q7_ERROR_ILLEGAL_FILE_NAME) {
  CopyHostText(dst, N, src, what, code);
}

// A pointer the host must give (an out-record, a list to fill): null fails with
// CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : <what>") (recorded by RunOp, or by
// the exported frame for an operation without a catch of its own).
void CheckHostPointer(const void* pointer, const char* what);

// The name check of the creating operations: a given name longer than kMaxNameLength bytes fails
// with CQ7Exception(Q7_ERROR_ILLEGAL_TABLE_NAME, "Illegal tablename") (recorded by RunOp).
void CheckTableNameLength(const char* name);

// ---- Generated names ---------------------------------------------------------------------------
// Writes prefix + local time as YYYYMMDDhhmmss + "_" + index into out (kGeneratedNameSize bytes)
// and returns out. The index digits are the callers' fixed ones ("realtbl"/"jointbl"/"createtbl"
// with 1, "filter" with 0).
inline constexpr size_t kGeneratedNameSize = 256;
char* MakeGeneratedName(const char* prefix, int index, char* out);
// name itself when it is non-null and not empty, else MakeGeneratedName(prefix, index, out).
char* NameOrGenerated(char* name, const char* prefix, int index, char* out);
inline constexpr char kRealTablePrefix[] = "realtbl";
inline constexpr char kJoinTablePrefix[] = "jointbl";
inline constexpr char kCreatedTablePrefix[] = "createtbl";
inline constexpr char kFilterPrefix[] = "filter";
