// Summary output tables: writing a summary held in a handle into real tables, and the services over
// the tables that carry summary columns.
//
// The summary attribute block. The 64-byte attribute block (FUserArea) of a column's row array
// marks a column of a summary output table; it is saved with the array, so its layout is a storage
// format (integers little-endian):
//
//   | byte   | meaning                                                                        |
//   |--------|--------------------------------------------------------------------------------|
//   | 0      | kind of the summarised table: 1 real, 2 join                                   |
//   | 1      | column kind: 1 dimension, 2 measure, 0 not a summary column                    |
//   | 2      | measure bit of a measure column (1, 2, 4, 8, 16); 0 for a dimension            |
//   | 3      | summary kind: 1 cube, 2 non-cube                                               |
//   | 4      | unused                                                                         |
//   | 5      | ordinal among the dimension columns or among the measure columns, from 0       |
//   | 6      | dimension count of the summary                                                 |
//   | 7      | measure columns set up so far (rewritten in every earlier column)              |
//   | 8..11  | table ID of the summarised table                                               |
//   | 12..15 | set ID summarised                                                              |
//   | 16..19 | source column ID in the summarised table                                       |
//   | 20..63 | unused                                                                         |
//
// The cube output (TSummary::SummaryIntoRealTable) leaves the blocks of its columns zero; the
// non-cube summaries mark theirs through WriteSummaryColumnInfo.
//
// Thread safety: none; everything runs under the API lock (the handle table and the collection rely
// on it).
#pragma once

#include <cstdint>

#include "q7api.h"
#include "summary/SummaryBits.h"

class TFilter;
class TRealTable;

// Byte positions of the summary attribute block.
namespace sum_attr {
inline constexpr int kSourceKind = 0;
inline constexpr int kColumnKind = 1;
inline constexpr int kMeasureBit = 2;
inline constexpr int kSummaryKind = 3;
inline constexpr int kOrdinal = 5;
inline constexpr int kDimCount = 6;
inline constexpr int kMeasureCount = 7;
inline constexpr int kTableID = 8;
inline constexpr int kSetID = 12;
inline constexpr int kSourceColumn = 16;

inline constexpr int kDimension = 1;
inline constexpr int kMeasure = 2;
inline constexpr int kCubeSummary = 1;
inline constexpr int kNonCubeSummary = 2;
}  // namespace sum_attr

// What a writer of summary blocks keeps between its columns: the ordinals handed out so far.
struct SummaryInfoCounters {
  int dims = 0;
  int measures = 0;
};

// Writes the block of column column_id of `out` for one summary column (column_kind 1 dimension,
// 2 measure with measure_bit 1, 2, 4, 8 or 16): bytes 0, 1, 2 (measures only; a dimension leaves
// it), 3, 5 (the counter of its kind, which then grows), 6 and 8..19; then byte 7 of every column
// with an ID from 1 to column_id := the measure counter. Throws Q7_ERROR_INVALID_PARAMETER for
// another kind or bit, Q7_ERROR_NO_SUCH_FILTER for a column out lacks.
void WriteSummaryColumnInfo(TRealTable* out, int column_id, int summary_kind, bool join_source, int dim_count,
                            int table_id, int set_id, int source_column_id, int column_kind, int measure_bit,
                            SummaryInfoCounters* counters);

// Hands a free-standing built column's row array and value list to `out` as its new last column,
// under the column's name; the column keeps neither (the caller then deletes the empty filter).
// Returns the new column's ID; a refusal is thrown with the column untouched.
int AppendFreeColumn(TRealTable* out, TFilter* column);

// ---- Handle operations (log names "Q7SummaryIntoRealTable", "Q7AppendSummaryToRealTable") ----
// The executed summary of `handle` into a new real table (TSummary::SummaryIntoRealTable); its ID.
// Refusals, recorded with "Invalid Parameter : SumHandle": Q7_ERROR_INVALID_SUM_HANDLE,
// Q7_ERROR_NO_SUCH_SUMMARY, Q7_ERROR_INVALID_OUTPUT_PARAMETER (nothing computed). A CQ7Exception is
// recorded with its message and its code returned; anything else is Q7_ERROR_UNKNOWN.
int innerQ7SummaryIntoRealTable(int handle, int bits, int skip_empty);
// TSummary::AppendSummaryToRealTable; 0 or a code. The handle refusals are the same, unrecorded.
int innerQ7AppendSummaryToRealTable(int handle, int table_id, int bits, int skip_empty);

// ---- Services over output tables ----
// Each checks first that the table exists (Q7_ERROR_NO_SUCH_TABLE; the collection records the miss)
// and is real (Q7_ERROR_NOT_REAL_TABLE); a null out pointer is Q7_ERROR_INVALID_PARAMETER. Nothing
// else is recorded; an exception gives Q7_ERROR_UNKNOWN.

// Copies the column's 64-byte block into attr. 0, or Q7_ERROR_NO_SUCH_FILTER.
int innerQ7GetSumFilterAttr(int table_id, int column_id, char* attr);
// Stores 64 bytes as the column's block. A table read from a shared image or attached from the
// shared-table registry is refused (Q7_ERROR_SHARED_READ_ONLY) before the column is looked up.
int innerQ7SetSumFilterAttr(int table_id, int column_id, const char* attr);
// Counts the columns whose block marks a dimension and a measure: returns 0 when there are none,
// 1 when every column is one, 2 when some are; Q7_ERROR_NOT_SUMMARY_OUTPUT (counts 0) when a
// block carries another kind. A table that is not real gives 0. Both counts are 0 on any failure.
int innerQ7IsSummaryOutputTable(int table_id, int* dims, int* measures);
int IsSummaryOutputTable(int table_id, int* dims, int* measures);
// The ID of the first column (display order) whose block has this kind (1, 2) and ordinal; 0 when
// the table has no summary column; Q7_ERROR_NO_SUCH_DIMENSION when none matches.
int innerQ7DimNo2FilterID(int table_id, int kind, int ordinal);
// The total of a numeric column over a set, NULL rows skipped, into *total (minus infinity on any
// failure). mode 0 requires a COUNT or SUM measure column of a summary output
// (Q7_ERROR_CALC_TOTAL_KIND for a dimension, Q7_ERROR_NOT_SUMMARY_OUTPUT for an unmarked column,
// Q7_ERROR_CALC_TOTAL_TYPE for another measure); mode 1 totals any INTEGER or DOUBLE-based
// column; another mode is Q7_ERROR_INVALID_PARAMETER. Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER,
// Q7_ERROR_CALC_TYPE (another type).
int innerQ7CalcTotal(int table_id, int set_id, int column_id, int mode, double* total);

// The same total, for callers that also accept DECIMAL columns (with_decimals: summed exactly and
// converted with the column's scale at the end). Returns 0 or the refusal's code; throws what the
// engine throws.
int SummaryColumnTotal(int table_id, int set_id, int column_id, int mode, bool with_decimals, double* total);

// Fixed-point splits for exact sums of doubles: *integer = x truncated toward zero, *fraction =
// floor(fractional part * scale + 0.5). Int2FP rebuilds fraction / scale + integer. Both return 0.
// FP2Int's integer holds only |x| < 2^63; RoundedSum takes any double.
int FP2Int(double x, double scale, long long* integer, long long* fraction);
int Int2FP(long long integer, long long fraction, double scale, double* out);

// A sum of doubles each split by FP2Int at one scale (a power of ten): the whole parts and the
// scaled, rounded fractions add up apart, and the sum is fraction sum / scale + whole-part sum.
// The whole parts of values below 2^63 in magnitude add up exactly in 128 bits (no count of rows
// can overflow them); a value of 2^63 or more is a whole number, whose own double is added to
// `beyond` (as are NaN and the infinities). While `beyond` stays 0 the sum is exact and the same in
// any order of additions, and its value is bit for bit that of Int2FP over 64-bit parts. The
// fractions wrap modulo 2^64, the same in any order as well.
struct RoundedSum {
  __int128 whole = 0;
  long long fraction = 0;
  double beyond = 0;
};
void AddRounded(double x, double scale, RoundedSum* sum);
// *sum += part counted `times` times (times >= 0).
void AddRoundedTimes(const RoundedSum& part, long long times, RoundedSum* sum);
double RoundedValue(const RoundedSum& sum, double scale);
