// Choosing and running the engine of a non-cube summary: five methods give the same rows, and
// differ in the memory they need and how well they use the cache (SumMethod names them).
//
// The choice is a pure function of the figures in SumMethodFigures; GetSuitableSumMethod collects
// them from a table, a set and the dimension filters at call time, and RunNonCubeSummary runs the
// engine chosen.
//
// Thread safety: ChooseSumMethod is pure. GetSuitableSumMethod and RunNonCubeSummary read (the
// latter also changes) the database: call them under the API lock, RunNonCubeSummary from the
// thread that drives the worker pool. The settings below are atomic and may be changed from any
// thread, but a test that changes them must not run summaries at the same time.
#pragma once

#include <cstdint>
#include <vector>

#include "summary/SummaryBits.h"

class TBaseTable;

// The engines; the numbers are the method numbers GetSuitableSumMethod and ChooseSumMethod return.
enum class SumMethod : int {
  kDenseCube = 0,         // MppCubeSum: dense per-worker cube arrays indexed by mixed-radix cell number
  kPackedCube = 1,        // MppFastCubeSum: bit-packed cell addresses, one shared cube
  kSortWithMeasures = 2,  // MppFastNonCubeSum: cell-address sort carrying every measure with each row
  kSortWithRows = 3,      // MppFastNonCubeSum: cell-address sort carrying the row number only
  kNonCubeDriver = 4,     // TNonCubeSum::MppRun: the only one for cubes past 2^30 cells or 30 address
                          // bits, for join tables and for double measures whose sums are rounded
};

struct SumMethodFigures {
  int64_t rows = 0;               // rows of the set
  std::vector<int> value_counts;  // per dimension: entries of its value list, the NULL entry included
  int threads = 1;                // active workers
  int l2_cache_size = 0;          // bytes; below 1 means the engine's default (1 MiB)
  int measures = 0;               // number of measures
  int mask_bits = 0;              // OR of the measures' sum-type masks
  double memory_budget = 0;       // bytes; a method is planned within half of it
};

// The method 0 .. 4 for these figures.
//   P = product of the value counts (double, 1 with none), B = sum of their bit lengths.
//   P > 2^30 or B > 30: 4. A dense cube (4 bytes per cell and worker for the counts, 8 more for
//   SUM or AVERAGE, 4 for MAX, 4 for MIN) under 10,000,000 cells that fits in half the level-2
//   cache: 0. Otherwise the cheaper of methods 1 and 2 by their per-row arrays, unless even that
//   exceeds half the memory budget: 3. A tie between 1 and 2 goes to 1.
int ChooseSumMethod(const SumMethodFigures& figures);

// Collects the figures and chooses: rows of set_id of table_id (negative: the current set), the
// value-list entries of each of the n_dims dimension filters, the engine's active worker count and
// level-2 cache size, the OR of the n_measures masks, and SumMethodMemoryBudget(). The measure
// filter IDs are not read. A forced method (SetForcedSumMethod) is returned instead once the
// lookups succeed, except that a cube no cell address can hold (P > 2^30 or B > 30) still takes 4.
// Throws CQ7Exception: Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER (after
// the lookups' own ring entries), Q7_ERROR_INVALID_PARAMETER for a null dims or masks array with a
// positive count. Creates nothing.
int GetSuitableSumMethod(int table_id, int set_id, int n_dims, const int* dims, int n_measures,
                         const int* measures, const int* masks);

// The memory budget in bytes. By default the host's physical memory size (so a summary may plan
// for up to half of it); bytes below 0 restore the default.
double SumMethodMemoryBudget();
void SetSumMethodMemoryBudget(double bytes);

// For tests and callers that need one particular engine: method 0 .. 4, or -1 (any other value) to
// let GetSuitableSumMethod choose again.
void SetForcedSumMethod(int method);
int ForcedSumMethod();

// The non-cube summary of set_id of `table` (table_id is its ID) into a new real table, by the
// engine its request calls for: a join table, or a request that rounds the sums of a double
// measure (only the driver rounds), takes SumMethod::kNonCubeDriver; a real table otherwise the
// method GetSuitableSumMethod chooses, once every filter's pending values are merged (so that the
// value-list sizes are final). The request is checked by the driver's rules whichever engine runs.
// A success of another engine uses up one set ID (TBaseTable::UseUpSetID), as the driver's
// temporary set does, so that the next set ID does not depend on the engine.
// Returns the new table's ID or an engine's negative code; refusals and the chooser's failures are
// thrown as CQ7Exception (see TNonCubeSum::MppCheckRequest and GetSuitableSumMethod).
int RunNonCubeSummary(TBaseTable* table, int table_id, int set_id, int n_dims, const int* dims,
                      int n_measures, const int* measures, const int* masks, const int* decimals);
