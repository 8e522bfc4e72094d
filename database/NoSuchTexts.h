// The texts a lookup leaves when the table, filter, set or record it was handed does not exist, each
// written here once. Callers record them under their own log name and code, or throw them; the
// operation layer (api/ops/OpCommon.h) uses the same texts, so a host reads one wording whichever
// layer refused.
//
// Some entries have always carried a trailing blank ("No Such Table: 7 "); hosts compare the texts
// byte for byte, so the form is chosen per caller (Blank::kTrailing) and never normalised.
//
// The *Text functions format into getString's process-wide buffer (foundation/CQ7Exception.h): pass
// the result straight on, under the API lock (the Throw functions too: the exception copies it).
#pragma once

#include "foundation/CQ7Exception.h"

enum class Blank { kNone, kTrailing };

// "No Such Table: %d" / "No Such Table: %d ".
inline char* NoSuchTableText(int table_id, Blank blank = Blank::kNone) {
  return blank == Blank::kTrailing ? getString("No Such Table: %d ", table_id)
                                   : getString("No Such Table: %d", table_id);
}
// "No Such Table: TblIDList[%d]%d ": entry `index` of a host's list of table IDs.
inline char* NoSuchListedTableText(int index, int table_id) {
  return getString("No Such Table: TblIDList[%d]%d ", index, table_id);
}
// "No Such Filter: %d".
inline char* NoSuchFilterText(int filter_id) { return getString("No Such Filter: %d", filter_id); }
// "No Such Filter: [%d] %d": entry `index` of a host's list of filter IDs.
inline char* NoSuchListedFilterText(int index, int filter_id) {
  return getString("No Such Filter: [%d] %d", index, filter_id);
}
// "No Such Set: %d" / "No Such Set: %d ".
inline char* NoSuchSetText(int set_id, Blank blank = Blank::kNone) {
  return blank == Blank::kTrailing ? getString("No Such Set: %d ", set_id)
                                   : getString("No Such Set: %d", set_id);
}
// "No Such SetID: %d " (the parallel fill's wording).
inline char* NoSuchSetIdText(int set_id) { return getString("No Such SetID: %d ", set_id); }
// "No Such Record: %d ".
inline char* NoSuchRecordText(int row) { return getString("No Such Record: %d ", row); }

// CQ7Exception(code) carrying the text above.
[[noreturn]] inline void ThrowNoSuchTable(int code, int table_id, Blank blank = Blank::kNone) {
  throw CQ7Exception(NoSuchTableText(table_id, blank), code);
}
[[noreturn]] inline void ThrowNoSuchFilter(int code, int filter_id) {
  throw CQ7Exception(NoSuchFilterText(filter_id), code);
}
[[noreturn]] inline void ThrowNoSuchSet(int code, int set_id) {
  throw CQ7Exception(NoSuchSetText(set_id), code);
}
