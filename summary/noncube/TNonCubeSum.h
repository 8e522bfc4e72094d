// The non-cube summary: one request that aggregates a set of a real or join table over 0 to 32
// dimension columns into a new real table with one row per occurring combination of dimension
// values (never the empty cells of the full cube), and per measure the COUNT, MAX, MIN, SUM and
// AVERAGE columns its mask asks for.
//
// Output table: named "XTBL_" + the source table's name, made unique. Columns: the dimensions in
// request order (name and type of the source column, a value list holding only the values that
// occur), then per measure in request order the requested columns in the order "N<m>", "MAX<m>",
// "MIN<m>", "SUM<m>", "AVG<m>". A request without measures has one INTEGER column "N" instead.
// COUNT counts every source row behind the output row (joined rows for a join), NULL measure values
// included; MAX and MIN skip NULLs (a STRING list's NULL is its empty text) and
// are NULL only for a row of NULLs; SUM and AVG are DECIMAL for a DECIMAL measure (its scale and
// rounding mode), DOUBLE otherwise; MAX and MIN keep the measure's type and kind.
//
// Two roads fill one object: the serial constructor runs the whole request at once; the default
// constructor with MppRun is the parallel road. The result field is the object's output: -1 until
// the run ends, then the output table's ID or a negative code.
//
// The object is three parts and the steps that drive them: the checked request (NonCubeRequest),
// the join work arrays (NonCubeJoinWork) and the output writer (NonCubeOutput). The steps and the
// output members below keep their names and hand on to the parts.
//
// Ownership: the object owns its join work arrays (freed by InitJoinXSum, at the latest by the
// destructor) and nothing else; tables, sets and filters belong to the collection, which must not
// change them while the object lives. The output table is the collection's as soon as it exists.
//
// Thread safety: none; the object is used under the API lock by the thread that drives the worker
// pool. The free-standing MAX/MIN builders (the static PutMaxMinFilter and PutJTableMaxMinFilter)
// read only their arguments and the measure column, so worker tasks may call them concurrently.
//
// Failures are CQ7Exception codes (the serial constructor stores them in the result field and
// rethrows): Q7_ERROR_OUT_OF_RANGE, Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_SET,
// Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_INVALID_PARAMETER, Q7_ERROR_OUT_OF_MEMORY and the codes of the
// table operations that build the output.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "summary/SummaryOutput.h"
#include "summary/noncube/NonCubeJoinWork.h"
#include "summary/noncube/NonCubeOutput.h"
#include "summary/noncube/NonCubeRequest.h"
#include "values/ZpkBlock.h"

class TBaseTable;
class TFilter;
class TJoinTableBase;
class TRealTable;
class TSetArray;
class TTableCollection;
namespace noncube_join {
struct MeasureSums;
}

class TNonCubeSum {
  // The result: -1 until the run ends, then the output table's ID or a negative code. The object's
  // first field, as callers that read the object's first int expect.
  int result_ = -1;

 public:
  // The limit of both the dimension list and the measure list.
  static constexpr int kMaxColumns = NonCubeRequest::kMaxColumns;
  // Decimals given for a measure run from 0 to kMaxDecimals; a negative value means none.
  static constexpr int kMaxDecimals = NonCubeRequest::kMaxDecimals;
  static constexpr int kNameSize = NonCubeRequest::kNameSize;
  // The ID a free-standing MAX/MIN column carries until a table takes it.
  static constexpr int kFreeFilterID = NonCubeOutput::kFreeFilterID;

  // The serial road: checks the request, runs the summary (NonCubeRealDimN or NonCubeJoinDimNMsrN)
  // and leaves the output table's ID or the summary's negative code in the result field. A refused
  // request, or a CQ7Exception out of the summary, stores its code in the result field and is
  // rethrown. Refusals, in this order: a dimension count below 0 or above 32, a measure count below
  // 0 or above 32 (Q7_ERROR_OUT_OF_RANGE); no table (Q7_ERROR_NO_SUCH_TABLE); a name that cannot
  // be made unique (its code); no set (Q7_ERROR_NO_SUCH_SET); a missing dimension or measure
  // (Q7_ERROR_NO_SUCH_FILTER); a mask that is empty or has a bit the measure's type does not allow
  // (Q7_ERROR_INVALID_PARAMETER); decimals of 11 or more on an INTEGER or double-kind measure
  // (Q7_ERROR_OUT_OF_RANGE).
  TNonCubeSum(int table_id, int set_id, int n_dims, const int* dims, int n_measures, const int* measures,
              const int* masks, const int* decimals);
  // Runs InitJoinXSum.
  ~TNonCubeSum();
  TNonCubeSum(const TNonCubeSum&) = delete;
  TNonCubeSum& operator=(const TNonCubeSum&) = delete;

  int Result() const { return result_; }
  // The checked request (empty until a constructor or MppCheckRequest recorded one).
  const NonCubeRequest& request() const { return request_; }

  // Frees every join work array that is set and zeroes the join counters; may run any number of
  // times.
  void InitJoinXSum();

  // Writes the summary attribute block (summary/SummaryOutput.h) of output column out_column_id:
  // kind 1 a dimension (bit ignored), kind 2 a measure column with bit 1, 2, 4, 8 or 16 (the lone
  // "N" column: bit 1, source 0). Ordinals come from the object's dimension and measure counters.
  // Throws Q7_ERROR_NO_SUCH_FILTER (no such output column), Q7_ERROR_INVALID_PARAMETER.
  void SetupSummaryInfo(int out_column_id, int source_column_id, int kind, int bit);
  // A COUNT column after the first one written: that column duplicated as the output table's last
  // column, named `column` made unique in the table; its ID. Throws the table's refusals.
  int RepeatFirstCount(const std::string& column);

  // A MAX (kind 2) or MIN (kind 4) column whose row r holds value number value_numbers[r] of the
  // measure's value list; the new list keeps only the values used (NULL first, in value order).
  // Appends it to the output table, sets the display digits of a double-kind measure with
  // decimals >= 0, writes its attribute block and returns its ID. Another kind returns
  // Q7_ERROR_INNER_ENGINE and creates nothing; a failed append is thrown.
  int PutMaxMinFilter(int kind, int decimals, int n_rows, int* value_numbers, TFilter* measure);
  // The same column as a free-standing filter (ID kFreeFilterID) handed over through *out (the
  // caller owns it); decimals are not read. Returns 0 or the failure's code (Q7_ERROR_UNKNOWN for
  // one that is not a CQ7Exception); nothing is left allocated on failure.
  static int PutMaxMinFilter(int kind, int decimals, int n_rows, int* value_numbers, TFilter* measure,
                             TFilter** out);
  // As the previous form, named after `name` (a join column's name) instead of the measure's own.
  static int PutJTableMaxMinFilter(int kind, int decimals, int n_rows, int* value_numbers, char* name,
                                   TFilter* measure, TFilter** out);
  // Appends the INTEGER column "N<name>" (name cut to 248 bytes; an empty name gives "N") holding
  // the joined rows behind each output row (the join work arrays' counts); writes no attribute
  // block. Returns the new column's ID; a refused append is thrown.
  int RegCount(const char* name);

  // The serial summary of a real table's set; the output table's ID or a negative code (nothing is
  // thrown). A failure after the output table was begun deletes it, and the temporary set of
  // representative rows never outlives the call; the summarised set ends as the table's current set.
  int NonCubeRealDimN();
  // The serial summary of a join table's set (defined with the serial join road); the output
  // table's ID or a negative code.
  int NonCubeJoinDimNMsrN();

  // ---- serial join road ----
  // The steps of NonCubeJoinDimNMsrN (summary/noncube/TNonCubeSum_join.cpp). They share their state through
  // the join work arrays and run on the calling thread. Each returns 0 or a negative code, having
  // freed the work arrays (InitJoinXSum) first; Step1, Step6 and Step7 rethrow instead, and Step14
  // throws its output-row limit (Q7_ERROR_SUMMARY_CELLS_LIMIT). A broken consistency check gives
  // Q7_ERROR_INNER_ENGINE, an allocation Q7_ERROR_OUT_OF_MEMORY, a record or value number outside its
  // column Q7_ERROR_INDEX_OUT_OF_RANGE.
  int Step1();  // slave rows (outer join: entries above 0), stably sorted by the slave dimensions
  int Step2();  // slave group numbers and representatives
  int Step3();  // slave rows and groups stably by key value
  int Step4();  // slave key starts
  int Step5();  // slave run lengths
  int Step6();  // Step6 .. Step10: the same for the master side
  int Step7();
  int Step8();
  int Step9();
  int Step10();
  int Step11();  // combination count
  int Step12();  // combination list
  int Step13();  // combination order: by master group, then slave group
  int Step14();  // output rows
  int Step15();  // dimension columns
  int Step17();  // joined rows behind each output row
  int Step18();  // measure columns

  // ---- parallel road ----
  // The parallel road's object: empty request, join road cleared (InitJoin); MppRun fills it.
  TNonCubeSum();
  // Checks and records the request as the serial constructor does (same refusals, same order;
  // null lists with a positive count: Q7_ERROR_INVALID_PARAMETER), then runs
  // MppNonCubeJoinDimNMsrN for a join table or MppFastSumNonCubeRealDimN otherwise. A refusal is
  // stored in the result field and thrown; a road's failure is only stored there.
  void MppRun(int table_id, int set_id, int n_dims, const int* dims, int n_measures, const int* measures,
              const int* masks, const int* decimals);
  // The checks of MppRun alone: records the request in the object (result field -1) or stores the
  // refusal's code there and throws it. Creates nothing; a caller may read the recorded request
  // (measure types, rounding factors) to choose an engine.
  void MppCheckRequest(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                       const int* measures, const int* masks, const int* decimals);
  // Whether the recorded request rounds the sums of a double measure (decimals given for it), which
  // only this object's roads do.
  bool RoundsSums() const;
  // The parallel summary of a real table's set (summary/noncube/TNonCubeSum_mpp.cpp): rows sorted by the
  // dimensions' value numbers on the worker pool, one output row per occurring combination in that
  // order, each measure accumulated over row ranges that never split a group (task 69) and finished
  // per group (task 68). The same values as the serial road (double sums rounded per value when
  // decimals are given), without attribute blocks or display digits. Returns the output table's
  // ID or a negative code; nothing is thrown. On failure neither the output table nor the
  // temporary set of representative rows is left; the set that was current stays current.
  int MppFastSumNonCubeRealDimN();
  // A free-standing filter (ID kFreeFilterID; the caller owns it) named `name` (made file-safe in
  // place) whose rows 1..count hold `values`, `width` bytes each (STRING: text addresses), compiled
  // on the worker pool; a DATE, TIME or DATETIME type keeps its kind. Throws
  // Q7_ERROR_ILLEGAL_FILTER_NAME, Q7_ERROR_INVALID_DATA_TYPE, Q7_ERROR_INVALID_UNIT_WIDTH,
  // Q7_ERROR_OUT_OF_MEMORY. Drives the pool: calling thread only.
  static TFilter* MppGenFilter2(char* name, int type, int count, int width, const void* values);
  // Task functions of rows 69 and 68 of the task table (registered by RegisterSummaryTasks).
  static int mpp_noncube_measure(void* param);
  static int mpp_noncube_measure_finit(void* param);

  // The counting-sort variant of the parallel real-table summary, for a request that
  // MppCheckRequest recorded (real tables only; MppRun never chooses it): the set's rows ordered by
  // one stable counting sort per dimension (MppCountingSort, last dimension first), the groups
  // found over row ranges on the pool (task 29), and the measures spread over the workers, one
  // measure per worker at a time (task 28). The same table as MppFastSumNonCubeRealDimN, with its
  // columns in request order whatever the worker count; no attribute blocks or display digits.
  // Returns the output table's ID or a negative code; nothing is thrown. On failure neither the
  // output table nor the temporary set of representative rows is left; the set that was current
  // stays current. A join table, or an object without a recorded request, gives
  // Q7_ERROR_INVALID_PARAMETER. Drives the pool: calling thread only.
  int MppNonCubeRealDimN();
  // Task functions of rows 28 and 29 of the task table (registered by RegisterSummaryTasks).
  // mpp_summary_unique groups one range of the sorted rows and returns the groups that start in it;
  // mpp_summary_measure builds the columns of the measures its worker claims (0 or a code).
  static int mpp_summary_measure(void* param);
  static int mpp_summary_unique(void* param);

  // ---- parallel join road ----
  // Clears every pointer and counter of the parallel join road (built columns are not freed; the
  // carried value numbers are); the constructors call it.
  void InitJoin();
  // The parallel summary of a join table's set (summary/noncube/TNonCubeSum_mppjoin.cpp), for MppRun once
  // the request and the join request state are in place: the serial road's pipeline with the row
  // sorts, the dimension columns and the measures on the worker pool (tasks 57, 58, 59). Returns
  // the output table's ID or a negative code; a failure after the output table was created deletes
  // it. Its columns carry no summary attribute block. Drives the pool: calling thread only.
  int MppNonCubeJoinDimNMsrN();
  // The parallel steps; each leaves the arrays of the serial step of the same number and returns 0
  // or a negative code (the work arrays freed).
  int MppStep1();
  int MppStep3();
  int MppStep4();
  int MppStep6();
  int MppStep8();
  int MppStep9();
  int MppStep15();
  int MppStep18();
  // One dimension column / one measure's columns as free-standing filters (the caller owns them,
  // also those a failing MppJoinMeasure built before the failure: *count says how many). Safe on
  // several workers at once for different d or m. Return 0 (MppJoinMeasure: the number of columns)
  // or a negative code.
  int MppJoinAddDimFilter(int d, TFilter** out);
  int MppJoinMeasure(int m, TFilter** out, int* count);
  // Task functions of rows 57, 58 and 59 of the task table (registered by RegisterSummaryTasks).
  static int mpp_join_summary_measure(void* param);
  static int mpp_join_summary_add_dimension_filter(void* param);
  static int mpp_single_joinkey_sort_transfer(void* param);

  // Parallel join road state, also used by MppNonCubeRealDimN for its measures. Claims are read
  // and set under CSmpEngine::mt_write_lock; each worker writes only the slots of what it claimed.
  // Built filters not yet attached are the object's.
  static constexpr int kMaxMeasureColumns = 5;
  uint8_t mpp_claimed_[kMaxColumns] = {};
  TFilter* mpp_dim_columns_[kMaxColumns] = {};
  TFilter* mpp_measure_columns_[kMaxColumns][kMaxMeasureColumns] = {};
  int mpp_measure_column_count_[kMaxColumns] = {};
  TFilter* mpp_shared_count_ = nullptr;  // the first COUNT column built; published under the lock
  bool mpp_count_only_[2] = {};          // a side (0 master, 1 slave) whose rows need no order
  // Value numbers of measure m by position in its side's rows, carried along by the key sort so
  // that the measure pass reads them in order (null: read through the rows).
  ZpkBlock<int> mpp_measure_vno_[kMaxColumns];
  // One measure's rows of one join key value taken together: the largest and the smallest non-NULL
  // value number (0 and INT_MAX when none), and the sum: INTEGER values exactly in `sum`, rounded
  // double kinds in `rounded`. A plain DOUBLE sum, which depends on the order of its additions, is
  // `real`: the values added in the side's list order.
  struct JoinKeyAggregate {
    int max;
    int min;
    int64_t sum;
    double real;
    RoundedSum rounded;
  };
  // A side (0 master, 1 slave) without dimensions whose measures all aggregate exactly, in any row
  // order or (a plain DOUBLE sum) in the order of the side's list: its rows are neither copied nor
  // sorted, only aggregated per key value on the pool.
  bool mpp_key_aggregated_[2] = {};
  // Per measure of such a side: its aggregate of each key value (null for other measures).
  ZpkBlock<JoinKeyAggregate> mpp_key_aggregates_[kMaxColumns];
  // While MppStep18 runs: measures whose sums it has already accumulated with the whole pool
  // (flag set; their sums at the same index of the array it owns), which MppJoinMeasure takes over.
  noncube_join::MeasureSums* mpp_ready_sums_ = nullptr;
  uint8_t mpp_sums_ready_[kMaxColumns] = {};
  // Tests only: the most runs such a pass aggregates at a time (0 restores the engine's figure), so
  // that a small table takes several batches. Call while no summary runs.
  static void SetMeasureBatchForTest(int runs);

 private:
  // What a road has begun on its way to the output table, undone when it fails: a temporary set
  // of representative rows on the source table (restore_set is made current again once it goes)
  // and the output table.
  struct RoadUndo {
    TRealTable* source = nullptr;
    int temp_set = 0;
    int restore_set = 0;
    int out_id = 0;
    // Drops the temporary set, if there is one, and makes restore_set current.
    void DropTempSet();
  };
  // The failure path of every road: frees the join work arrays, drops what `undo` holds (the
  // output table leaves the collection), forgets the output table and returns code.
  int FailRoad(RoadUndo* undo, int code);
  // Runs a road's body, which returns the output table's ID or a negative code; any exception out
  // of it ends in FailRoad with its code (a CQ7Exception's own when negative, else
  // Q7_ERROR_UNKNOWN; Q7_ERROR_OUT_OF_MEMORY for an allocation). Nothing is thrown.
  int RunRoad(RoadUndo* undo, const std::function<int()>& body);
  // A join road up to its output table: runs the steps in order, stopping at the first failure or
  // at more combinations than NonCubeJoinWork::kMaxCombinations (Q7_ERROR_SUMMARY_ROWS_OVERFLOW),
  // then creates the output table with a row per output row and points the writer at it. Returns
  // the table's ID (also left in the result field), or FailRoad's code.
  using Step = int (TNonCubeSum::*)();
  int JoinOutputTable(RoadUndo* undo, std::initializer_list<Step> steps);
  // A real-table road's output table: the dimension columns of the representative rows in
  // undo->temp_set, extracted under the request's output name; the temporary set is then dropped
  // and the writer pointed at the table; its ID is left in the result field. Throws.
  void ExtractOutputTable(TTableCollection* db, RoadUndo* undo);

  NonCubeRequest request_;
  NonCubeOutput output_;

 public:
  // The join work arrays (serial and parallel join steps; InitJoinXSum frees them).
  using JoinSideWork = NonCubeJoinWork::Side;
  NonCubeJoinWork& join_work() { return join_work_; }
  const NonCubeJoinWork& join_work() const { return join_work_; }

 private:
  NonCubeJoinWork join_work_;
};
