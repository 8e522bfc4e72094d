// The cube summary behind a summary handle: a dense array of cells, one per combination of one
// category per dimension, holding for the rows of one set their COUNT and, with a measure column,
// its MAX and MIN (as value numbers of the measure's value list) and SUM.
//
// Cells: the last dimension has stride 1, each earlier one the product of the category counts of all
// later ones; a row's cell is the sum over the dimensions of stride x map[value number of the row].
//
// A NULL measure value (value number 0) adds nothing to an INTEGER, DOUBLE or DECIMAL cell; a
// STRING measure counts every row, and its MIN and MAX skip the NULL so that a cell holding a text
// never reports NULL. A cell with nothing to report reads MIN and MAX 0 and SUM the NULL.
//
// Join tables are summed over the two sides of the join set without forming the joined rows: per
// key, the rows of each side are grouped by their categories, and the groups of the two sides are
// combined by product (an outer join also counts each side's rows whose key has no partner, with the
// other side's dimensions at the NULL category). The result equals a sum over every joined row.
//
// Ownership: owns its maps, names and result arrays and the temporary table of an extracted set
// (deleted with the summary); the table, set and filters belong to the table collection. The
// summary holds the value lists of its dimension and measure columns, so that it can tell when the
// table, set or columns it was opened on are gone (Current, summary/SourceCheck.h): the host may
// delete them, clear the database or load another while the summary lives.
//
// Thread safety: none; every call runs under the API lock.
//
// Failures are thrown as CQ7Exception with the codes stated per member.
#pragma once

#include <cstdint>
#include <vector>

#include "q7api.h"
#include "summary/SourceCheck.h"
#include "summary/SummaryBits.h"
#include "values/ZpkBlock.h"

struct CubePass;
class TBaseArray;
class TBaseTable;
class TFilter;
class TSetArray;
class TJoinTableBase;
class TRealTable;

class TSummary {
 public:
  static constexpr int kMaxDims = Q7_SUMMARY_MAX_DIMS;
  static constexpr int kMaxCells = Q7_SUMMARY_MAX_CELLS;
  // A set whose row count is at most a dimension's value-list size divided by this is extracted.
  static constexpr int kExtractRatio = 20;

  // Opens the summary of set_id (negative: the current set) of table_id over dims[0 .. dim_count-1]
  // and the measure filter measure_id (0 or less: none). The records' column IDs are rewritten when
  // the rows are extracted. On a real table, dimensions before the first one with a map have their
  // unused values dropped (not on a shared table, whose lists other processes read). Throws
  // Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_INVALID_PARAMETER
  // (count, map, names, an unusable measure), Q7_ERROR_SUMMARY_CELLS_OVERFLOW,
  // Q7_ERROR_INVALID_TABLE_TYPE, and the extraction's codes.
  TSummary(int handle, int table_id, int set_id, int dim_count, _TDimensionDef* dims, int measure_id);
  // Deletes the temporary table, if any (silently; Close calls DropTempTable first to hear of failures).
  ~TSummary();
  TSummary(const TSummary&) = delete;
  TSummary& operator=(const TSummary&) = delete;

  // Computes the requested bits not computed yet (COUNT always; without a measure only COUNT; SUM
  // never for a STRING measure) and writes all computed bits to *computed. Returns 0. Merges the
  // table's pending values first; Q7_ERROR_INVALID_SUM_HANDLE is thrown when that leaves the
  // summary not current (a column on a new value list). The caller has checked Current().
  int SummaryExec(int bits, int* computed);

  // One measure of one cell (categories: one per dimension). Returns 0, or Q7_ERROR_OUT_OF_RANGE for
  // a category outside its dimension (recorded); throws Q7_ERROR_INVALID_PARAMETER for a bit that is
  // not one of 1, 2, 4, 8 (or not 1 without a measure) and Q7_ERROR_INVALID_OUTPUT_PARAMETER for one
  // not computed (both recorded under "SummaryRead"). The value pointer stays valid until the
  // summary is destroyed. SummaryRead2 also gives the decimal info and reports a decimal SUM as 8.
  int SummaryRead(int bit, const int* categories, int* result_type, int* value_type, int* count,
                  void** value);
  int SummaryRead2(int bit, const int* categories, int* result_type, int* value_type, int* count,
                   void** value, NumericInfo** info);

  // Deletes the temporary table of an extracted set now, unless it is gone already (deleted by the
  // host, or the database cleared or replaced: its ID may then name another table); throws the
  // collection's refusal.
  void DropTempTable();

  // Whether the table, set and columns the summary was opened on still stand as they were: false
  // once the table summed (for an extracted set also the table the set was taken from) is deleted,
  // the database cleared or replaced, the set deleted or replaced, or a dimension or measure column
  // dropped or given another value list. Dereferences only what the database still holds. A summary
  // that is not current is refused (Q7_ERROR_INVALID_SUM_HANDLE) by every handle operation but Close.
  bool Current();

  // The summary's copy of a dimension record (column ID as summed, category count, own map and
  // names, callback).
  const _TDimensionDef& Dim(int d) const { return dims_[d].def; }
  TFilter* DimFilter(int d) const { return dims_[d].filter; }
  // The value list the dimension's column had when the summary was opened; held, so valid while the
  // summary lives even when the column is gone.
  TBaseArray* DimList(int d) const { return held_dims_[d].get(); }
  int HandleNo() const { return handle_; }
  int TableID() const { return table_id_; }
  int SetID() const { return set_id_; }
  int DimCount() const { return dim_count_; }
  int MeasureID() const { return measure_id_; }
  int ComputedBits() const { return computed_; }
  int CellCount() const { return cell_count_; }
  int TempTableID() const { return temp_table_id_; }

 private:
  struct Dimension {
    _TDimensionDef def{};
    bool identity = false;
    TFilter* filter = nullptr;
    int stride = 1;
    std::vector<int> map;
    std::vector<char> name_texts;
    std::vector<char*> names;
  };
  // One side of a join set as the sums see it: its rows, key value numbers and the dimensions that
  // lie on it.
  struct JoinSide;

  void ExtractRows(int* measure_id, int dim_count, _TDimensionDef* dims);
  // Deletes the temporary table by its ID, with no check that it is still the summary's.
  void DeleteTempTable();
  // The temporary table is still in the database as the summary made it.
  bool TempTableStands() const;
  void SetUpJoin(int dim_count, const _TDimensionDef* dims);
  void SetUpDimension(int d, const _TDimensionDef& host, int* running_product);
  void AllocateArrays(int new_bits);
  int CellOfRow(int row) const;
  int CellOf(int row, const std::vector<int>& dims) const;
  int NullCellOf(const std::vector<int>& dims) const;
  // Adds one value (value number v, counted `times` times) to a cell.
  void AddMeasure(int cell, int v, int64_t times, int count, int max, int min, int sum);

  void SumNoMeasureReal(int count);
  void SumMeasureReal(int count, int max, int min, int sum);
  void SumJoin(int count, int max, int min, int sum);
  void BuildJoinSide(int side, JoinSide* out) const;

  int handle_ = 0;
  int temp_table_id_ = 0;
  int cell_count_ = 1;
  int computed_ = 0;
  int table_id_ = 0;
  TBaseTable* table_ = nullptr;
  int set_id_ = 0;
  TSetArray* set_ = nullptr;
  int dim_count_ = 0;
  Dimension dims_[kMaxDims];
  int measure_id_ = 0;
  int measure_type_ = 0;
  int measure_ext_type_ = 0;
  TFilter* measure_filter_ = nullptr;
  // Join tables.
  TJoinTableBase* join_ = nullptr;
  int measure_side_ = 0;           // 0 master, 1 slave
  std::vector<int> side_dims_[2];  // dimension numbers on the master (0) and slave (1) side
  int set_pos_ = 0;
  // The table an extracted set was taken from (null when the summary sums its own table).
  int source_table_id_ = 0;
  TBaseTable* source_table_ = nullptr;
  HeldValueList held_dims_[kMaxDims];
  HeldValueList held_measure_;

  ZpkBlock<int> count_;
  ZpkBlock<int> max_;
  ZpkBlock<int> min_;
  ZpkBlock<double> sum_;
  ZpkBlock<Numeric> dsum_;

  // ---- Results of the cube into real tables (summary/cube/TSummary_output.cpp) ----
 public:
  // A new real table ("XTBL_" and the summed table's name, made unique) of one row per cell in cell
  // order (with skip_empty, only the cells whose COUNT is not 0): a column per dimension (a copy of
  // the dimension's value list without a map; "%Nd:name" texts of the categories with one), then
  // the measure columns of AppendSummaryToRealTable. Returns the new table's ID or a negative code;
  // a failure deletes the table it began. A CQ7Exception inside is recorded under
  // "SummaryIntoRealTable" with its message. Requires ComputedBits() != 0.
  int SummaryIntoRealTable(int bits, int skip_empty);
  // Appends to the real table table_id, whose records stand for the cells as SummaryIntoRealTable
  // lays them out, a column for each of COUNT, MAX, MIN, SUM and AVERAGE (bit 16) that is requested
  // and computed. Returns 0 or a negative code: Q7_ERROR_NO_SUCH_TABLE (recorded under
  // "AppendSummaryToRealTable" with Q7_ERROR_UNKNOWN), Q7_ERROR_NOT_REAL_TABLE,
  // Q7_ERROR_SHARED_READ_ONLY, Q7_ERROR_NOT_EDITABLE (other tables refer to it), the column
  // builders' codes. A failure drops the columns this call added. The summary is not changed.
  int AppendSummaryToRealTable(int table_id, int bits, int skip_empty);
  // Marks column column_id of output table table_id as a cube-summary column (kind 1 dimension, 2
  // measure with measure_bit) taken from source_column_id (summary/SummaryOutput.h states the
  // block). Throws Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_INVALID_PARAMETER.
  void SetupSummaryInfo(int table_id, int column_id, int source_column_id, int kind, int measure_bit);

 private:
  // The output rows; clears *skip when no cell is empty.
  int OutputRowCount(bool* skip) const;
  void AddDimensionColumn(TRealTable* out, int d, int rows, bool skip);
  void AppendCubeMeasures(TRealTable* out, int bits, bool skip, std::vector<int>* added);

  int info_dims_ = 0;      // dimension columns marked so far
  int info_measures_ = 0;  // measure columns marked so far

  // ---- Parallel cube sums of a real table's set into a new table (methods 0 and 1 of the non-cube
  // summary; summary/noncube/MppCubeSum.cpp, summary/noncube/FastCubeSum.cpp,
  // summary/noncube/SummaryResultWriter.cpp)
  // ---- The output table holds one row per occurring cell (COUNT >= 1), in ascending cell order: one column
  // per dimension (its value list copied, the row holding the cell's value number), then per measure the
  // columns its sum-type mask asks for. COUNT counts every row of the cell, NULL measure values included;
  // MAX, MIN and SUM skip NULLs (a cell of NULLs only: MAX and MIN NULL, SUM 0). Only the drivers MppCubeSum
  // / MppFastCubeSum (summary/noncube/MppCubeSum.h, summary/noncube/FastCubeSum.h) make these objects; they
  // drive the worker pool, so they run on the thread holding the API lock.
 public:
  // Empty; Init fills it (method 1).
  TSummary();
  // Method 0: dimension cells numbered mixed-radix (first dimension slowest) under each dimension's
  // category map (identity when none is given), at most 10,000,000 cells. Throws
  // Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER (a measure or a dimension),
  // Q7_ERROR_INVALID_PARAMETER (count, maps, names, an unusable column), Q7_ERROR_INVALID_TABLE_TYPE
  // (not a real table), Q7_ERROR_SUMMARY_CELLS_OVERFLOW.
  TSummary(int table_id, int set_id, int dim_count, _TDimensionDef* dims, const int* measure_ids,
           int measure_count);
  // Method 1: a cell is the dimensions' value numbers packed into bit fields (the last dimension
  // lowest), each as wide as the bit length of its value-list size. Throws as the method-0
  // constructor; a cube past 30 address bits throws Q7_ERROR_SUMMARY_CELLS_OVERFLOW.
  void Init(int table_id, int set_id, int dim_count, _TDimensionDef* dims, int measure_count,
            const int* measure_ids);
  // Runs every measure (masks[i]: 1 COUNT, 2 MAX, 4 MIN, 8 SUM, 16 AVERAGE; SUM and AVERAGE are
  // dropped for a measure that is not a number) and returns the output table's ID. A failure throws
  // its code after deleting the output table. Method 0 / method 1.
  int MppSummaryExec(const int* masks);
  int MppExecCubeSum(const int* masks);
  // One method-0 pass over the set for the current measure (none: COUNT only).
  void MppSumMeasureReal(int count, int max, int min, int sum);
  // One method-1 pass for measure i over the grouped work arrays (n rows, `workers` ranges).
  void MppMsrCubeSum(int n, int measure, int workers, int max, int min, int sum, int average);
  // Creates the output table with its dimension columns: method 0 counts the occurring cells into
  // *rows; method 1 is given them. Returns the table ID or a negative code (nothing left behind).
  int Sum2Table(int* rows);
  int Sum2Table(int rows);
  // Append the current measure's columns (COUNT, MAX, MIN, SUM, AVERAGE as flagged) to the output
  // table; return the last column's ID or the first negative code (Q7_ERROR_NO_SUCH_TABLE for a
  // missing table).
  int AppendSum2Table(int table_id, int rows, int count, int max, int min, int sum, int average);
  int AddMsrFlt(int max, int min, int sum, int average, int count);
  int OutputTableID() const { return out_table_id_; }
  int OccurringCells() const { return occurring_; }

 private:
  void OpenMeasureList(int table_id, int set_id, int dim_count, const int* measure_ids, int measure_count);
  void SetCurrentMeasure(int i);
  int MakeOutputTable(int rows);
  int AppendMeasureColumns(int table_id, int rows, int count, int max, int min, int sum, int average);
  void DeleteOutputTable();
  void SettleOutputTable();
  // Runs a driver's body (it returns the output table's ID) and settles the output table; a failure
  // deletes the output table and is rethrown.
  template <class Body>
  int SettledOutput(Body&& body) {
    try {
      const int id = body();
      SettleOutputTable();
      return id;
    } catch (...) {
      DeleteOutputTable();
      throw;
    }
  }
  // Takes worker 0's arrays of a finished pass as the result arrays (COUNT only when the pass made it).
  void KeepPassResults(CubePass* pass);
  // Frees the current measure's MAX, MIN and SUM arrays.
  void DropMeasureResults();

  std::vector<TFilter*> measures_;
  bool packed_ = false;  // cells are method-1 bit-packed addresses
  int dim_shift_[kMaxDims] = {};
  int dim_mask_[kMaxDims] = {};
  int out_table_id_ = 0;
  int occurring_ = 0;
  ZpkBlock<int> addr_;    // method 1: grouped cell address per set position
  ZpkBlock<int> matrix_;  // method 1: the measures' value numbers per set position

  // ---- Fast non-cube sums over sorted cell addresses (methods 2 and 3 of the non-cube summary;
  // summary/noncube/FastNonCubeSum.cpp) ----
  // No cube is allocated: once the rows are sorted by packed address, the cells of the result
  // arrays are the occurring addresses only (the groups, in address order), so cell_count_ becomes
  // the group count, count_ holds the group sizes and group_addr_ maps a group to its address.
  // The output table equals that of methods 0 and 1.
 public:
  // As Init (dimension counts outside 0 .. 32 throw Q7_ERROR_INVALID_PARAMETER); carry_measures 1
  // makes the sort carry every measure's value number with each row (method 2), 0 only the row,
  // whose values are looked up per measure afterwards (method 3: less memory).
  void SetupForNonCubeSum(int table_id, int set_id, int dim_count, int carry_measures, _TDimensionDef* dims,
                          int measure_count, const int* measure_ids);
  // Runs every measure as MppExecCubeSum does and returns the output table's ID; a failure throws
  // its code after deleting the output table and every work array.
  int MppExecNonCubeSum(const int* masks);
  // Creates the output table with one row per group (groups: the group count; addresses: each
  // group's packed address, kept by the summary until the run ends) and its dimension columns.
  // Returns the table ID or a negative code (nothing left behind).
  int Sum2Table(int groups, const int* addresses);

 private:
  int carry_measures_ = 0;
  const int* group_addr_ = nullptr;
};
