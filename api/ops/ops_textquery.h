// Searches by a condition written as text (the query language of calc/TextQuery.h): the serial road of
// the exported text searches and the road the task object's text-search slots share.
//
// A text search returns the ID of the new set, which the table has made its current set; a negative
// set ID means the table's current set. It changes no saved flag.
//
// Thread safety: call under the API lock (the query error buffer is one process buffer); the parallel
// road drives the worker pool from the calling thread.
#pragma once

// Which road a text search takes, and so how its first checks are recorded.
enum class TextSearchRoad {
  kSerial,   // the operation layer: pending values merged first, the tree run serially
  kTask,     // the task object's SearchByText: nothing merged, the tree run on the worker pool
  kTaskSJIS  // the task object's SearchByTextSJIS: as kTask, with a message for a missing table
};

// The text search under ring_name, caught and recorded there (api/ops/OpCommon.h's RunOp). Checks, in
// order; "two entries" means the check's own entry and then the catch's entry of the same code and
// message, "one entry" only the catch's (with an empty message):
//   - text null: Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter : Text"), one entry, on every road.
//   - no zero byte among the first 4096 bytes (at most 4095 characters are accepted; nothing past
//     the 4096th byte is read): Q7_ERROR_TEXT_SIZE_OVERFLOW, "TextSize overflow", two entries
//     serially, one empty entry on the task roads.
//   - no table collection: Q7_ERROR_NO_SUCH_TABLE, "No Table", as above.
//   - no table: the collection's own ("GetTable") entry, then Q7_ERROR_NO_SUCH_TABLE with
//     "No Such Table: %d " (trailing blank), two entries serially; on the task roads one entry, empty
//     for kTask and with that text for kTaskSJIS.
//   - no set: the table's own ("SetID2Pos") entry, then (ring_name, Q7_ERROR_NO_SUCH_SET,
//     "No Such Set: %d "), then the catch's entry "No Such Set: %d" (no blank), on every road.
//   - the query (SearchByTextQuery): a syntax error leaves (ring_name, Q7_ERROR_QUERY_SYNTAX,
//     "Query Syntax Error") and then the parser's messages; any other failure of the query one entry.
// A failure registers no set.
int SearchByTextAs(const char* ring_name, TextSearchRoad road, int table_id, int set_id, const char* text);

// "innerQ7SearchByText": the serial road. A real table first has the values appended to each filter
// merged into its value lists.
int innerQ7SearchByText(int table_id, int set_id, const char* text);

// innerQ7SearchByText for texts in a stated code (api/ops/CharCodeChecks.h): Shift_JIS, or the code of
// a locale ID (99: any). A database of another code is recorded once under the exported name
// ("RQ7SearchByTextSJIS" / "RQ7SearchByTextLocale", Q7_ERROR_CHAR_CODE_MISMATCH) and returned without
// a search.
int innerRQ7SearchByTextSJIS(int table_id, int set_id, const char* text);
int innerRQ7SearchByTextLocale(int table_id, int set_id, const char* text, int locale);
