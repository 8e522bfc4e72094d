// The output table of a non-cube summary as it is written: its columns appended one by one, the
// summary attribute block and display digits of each, the first COUNT column and its repeats, and
// the MAX/MIN columns built from value numbers of a measure (also as free-standing filters, which
// the parallel roads build on workers and append later).
//
// Ownership: the table is the collection's as soon as it exists; the writer only points at it.
// A free-standing filter handed to an Append function is the writer's from then on.
// Thread safety: the members write the table: calling thread only. The static MaxMinColumn reads
// only its arguments and the measure column, so worker tasks may call it concurrently.
#pragma once

#include <string>

class NonCubeRequest;
class TFilter;
class TRealTable;

class NonCubeOutput {
 public:
  // The ID a free-standing column carries until a table takes it.
  static constexpr int kFreeFilterID = 1024;

  // Forgets the table (it stays in the collection), the attribute-block counters and the first
  // COUNT column.
  void Reset();
  // The output table once it exists, else null.
  TRealTable* table() const { return table_; }
  void SetTable(TRealTable* table) { table_ = table; }

  // Appends a column of `rows` raw values (AddFilter2) under `name`; its ID. A refusal is thrown.
  int AppendValues(const std::string& name, int type, int rows, int width, const void* data);
  // Hands a built free-standing filter's arrays to the table as a new last column, its name made
  // unique, and deletes the filter (*slot becomes null). Returns the column's ID; a refusal is
  // thrown and leaves *slot as it was.
  int AppendFree(TFilter** slot);
  // The same for a filter the caller gives up whatever happens: it is deleted on every path.
  int AppendOwned(TFilter* column);

  // Writes the summary attribute block of column out_column_id (summary/SummaryOutput.h): kind 1
  // a dimension, kind 2 a measure column with bit `bit`; ordinals count the blocks written so far.
  // Throws Q7_ERROR_NO_SUCH_FILTER (no such column), Q7_ERROR_INVALID_PARAMETER.
  void SetupSummaryInfo(const NonCubeRequest& request, int out_column_id, int source_column_id, int kind,
                        int bit);
  // Sets the display-digits byte (decimals - 3) of column id's value list.
  void SetDisplayDigits(int id, int decimals);

  // The first COUNT column written (0 before it); later COUNT columns repeat it.
  int first_count_id() const { return first_count_id_; }
  void SetFirstCountID(int id) { first_count_id_ = id; }
  // The first COUNT column duplicated as the table's last column, named `column` made unique in the
  // table; its ID. Throws the table's refusals.
  int RepeatFirstCount(const std::string& column);

  // The MAX (kind 2) or MIN (kind 4) column of a measure of the request, appended (see
  // TNonCubeSum::PutMaxMinFilter). Another kind returns Q7_ERROR_INNER_ENGINE and creates nothing.
  int PutMaxMinFilter(const NonCubeRequest& request, int kind, int decimals, int n_rows, int* value_numbers,
                      TFilter* measure);
  // The same column as a free-standing filter named "MAX<base_name>" or "MIN<base_name>", handed over
  // through *out. Returns 0 or the failure's code; nothing is left allocated on failure.
  static int MaxMinColumn(int kind, int n_rows, int* value_numbers, const char* base_name, TFilter* measure,
                          TFilter** out);
  // Appends the INTEGER column "N<name>" (name cut to 248 bytes; an empty name gives "N") of `rows`
  // counts (null: a table of no rows); writes no attribute block. Its ID; a refusal is thrown.
  int RegCount(const char* name, int rows, const int* counts);

 private:
  TRealTable* table_ = nullptr;
  int dims_written_ = 0;      // dimension columns given an attribute block so far
  int measures_written_ = 0;  // measure columns given an attribute block so far
  int first_count_id_ = 0;
};
