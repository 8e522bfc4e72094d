// Searches by a query text: the serial road of the exported text searches and their code forms.
#include "api/ops/ops_textquery.h"

#include <cstring>

#include "api/ops/CharCodeChecks.h"
#include "api/ops/OpCommon.h"
#include "calc/TextQuery.h"
#include "database/NoSuchTexts.h"
#include "database/TBaseTable.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"

namespace {

// A text that does not end within these bytes is refused: at most 4095 characters.
constexpr size_t kTextBytes = 4096;

// The serial road records each early failure before raising it, so the host finds the check's entry
// and the catch's; the task roads raise the code alone (the catch's entry is the one), with the
// message only where keep_message asks for it.
[[noreturn]] void FailEarly(const char* ring_name, bool serial, bool keep_message, int code, char* message) {
  if (serial) PutErrorLog(ring_name, code, message);
  if (serial || keep_message) throw CQ7Exception(message, code);
  throw CQ7Exception(code);
}

}  // namespace

int SearchByTextAs(const char* ring_name, TextSearchRoad road, int table_id, int set_id, const char* text) {
  return RunOp(ring_name, [&] {
    const bool serial = road == TextSearchRoad::kSerial;

    // The scan below would read a null text; nothing else has been looked at yet.
    if (text == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : Text");
    if (strnlen(text, kTextBytes) == kTextBytes) {
      FailEarly(ring_name, serial, false, Q7_ERROR_TEXT_SIZE_OVERFLOW, getString("TextSize overflow"));
    }
    TTableCollection* db = CurrentDatabase();
    if (db == nullptr) FailEarly(ring_name, serial, false, Q7_ERROR_NO_SUCH_TABLE, getString("No Table"));
    TBaseTable* table = db->GetTable(table_id);
    if (table == nullptr) {
      FailEarly(ring_name, serial, road == TextSearchRoad::kTaskSJIS, Q7_ERROR_NO_SUCH_TABLE,
                NoSuchTableText(table_id, Blank::kTrailing));
    }
    const int set_pos = table->SetID2Pos(set_id);
    if (set_pos < 0) {
      PutErrorLog(ring_name, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set_id, Blank::kTrailing));
      throw CQ7Exception(NoSuchSetText(set_id), set_pos);
    }
    // The query searches the value lists, which must hold the values appended since the last merge;
    // the task roads leave that to the caller.
    if (serial && table->GetType() == TBaseTable::kTypeReal) {
      static_cast<TRealTable*>(table)->CheckMergeFilterTVL(true);
    }
    return SearchByTextQuery(table, set_pos, text, !serial, ring_name);
  });
}

int innerQ7SearchByText(int table_id, int set_id, const char* text) {
  return ChangedOnSuccess(
      Changes::kSets, SearchByTextAs("innerQ7SearchByText", TextSearchRoad::kSerial, table_id, set_id, text));
}

int innerRQ7SearchByTextSJIS(int table_id, int set_id, const char* text) {
  return RunOp("RQ7SearchByTextSJIS", [&] {
    RequireShiftJisDatabase();
    return innerQ7SearchByText(table_id, set_id, text);
  });
}

int innerRQ7SearchByTextLocale(int table_id, int set_id, const char* text, int locale) {
  return RunOp("RQ7SearchByTextLocale", [&] {
    RequireLocaleOfDatabase(locale);
    return innerQ7SearchByText(table_id, set_id, text);
  });
}
