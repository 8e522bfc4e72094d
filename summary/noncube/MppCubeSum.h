// Parallel cube sum (method 0 of the non-cube summary): every worker accumulates its share of the
// set's rows into private dense arrays of one slot per cell of the whole cube, and a second pass
// folds them, cell range by cell range, into worker 0's. The result is a new real table (see the
// output columns in summary/cube/TSummary.h). Meant for cubes whose per-worker arrays stay in cache; any
// cube of at most 10,000,000 cells gives the right result.
//
// Thread safety: drives the worker pool; call from the thread that holds the API lock, never from a
// task. The table collection must not change during the call.
#pragma once

#include <cstdint>
#include <functional>
#include <type_traits>
#include <vector>

#include "foundation/CWorkThread.h"
#include "q7api.h"
#include "values/Numeric.h"

// Sums the rows of set_id (negative: the current set) of real table table_id over the dimension
// filters dim_ids[0 .. n_dims-1] (identity categories: one per value, NULL included) and, per
// measure filter measure_ids[i], what masks[i] asks (1 COUNT, 2 MAX, 4 MIN, 8 SUM, 16 AVERAGE).
// No measure: a COUNT column only. `unused` is not read. Returns the new table's ID or a code:
// Q7_ERROR_OUT_OF_RANGE (n_dims outside 0 .. 32, nothing built), Q7_ERROR_INVALID_PARAMETER (a
// needed array null, a negative measure count), TSummary's construction codes, the output table's
// codes (no output table is left behind then), Q7_ERROR_OUT_OF_MEMORY, Q7_ERROR_UNKNOWN.
int MppCubeSum(int table_id, int set_id, int n_dims, const int* dim_ids, int n_measures,
               const int* measure_ids, const int* masks, const int* unused);

// ---- Shared with the bit-packed method (summary/noncube/FastCubeSum.cpp) ----

// What the accumulation and fold tasks of one pass read. Per-worker result arrays live in the four
// pointer vectors (one entry per worker; a null entry is an array the pass does not make).
struct CubePass {
  int cells = 1;
  int count = 0, max = 0, min = 0, sum = 0;
  int decimalSum = 0;  // SUM slots are 16-byte decimals
  int arrays = 0;      // per-worker arrays the fold reads
  std::vector<int*> counts, maxes, mins;
  std::vector<void*> sums;

  // Method 0 accumulation.
  const int* rows = nullptr;
  int dims = 0;
  const int* maps[32] = {};
  const int* dimVno[32] = {};
  int strides[32] = {};  // method 1: the dimension's shift
  // The current measure (none: null).
  const int* measureVno = nullptr;
  const void* measureValues = nullptr;
  int measureType = 0;

  // Method 1: grouped addresses and the measures' value numbers per position.
  const int* addr = nullptr;
  const int* matrix = nullptr;
  const int* const* measureVnos = nullptr;  // every measure's value numbers by row (address pass)
  int nMeasures = 0;
  int measure = 0;

  explicit CubePass(int workers);
  ~CubePass();  // frees every per-worker array still held
  CubePass(const CubePass&) = delete;
  CubePass& operator=(const CubePass&) = delete;

  // Allocates worker t's arrays as flagged (COUNT, MAX, SUM zero, MIN 0x7FFFFFFF).
  void Allocate(int t);
  // Hands worker 0's arrays over (null where not made) and frees everything else.
  void TakeResults(int** count, int** max, int** min, void** sum);
};

// Adds value number v (not NULL) of a measure list of element type V (int, double, Numeric) to
// a SUM slot: integers and doubles as doubles, decimals exactly.
template <class V>
inline void AddToCubeSum(void* sums, int cell, const void* values, int v) {
  if constexpr (std::is_same_v<V, Numeric>) {
    Numeric* slot = static_cast<Numeric*>(sums) + cell;
    q7num::NumericAdd(slot, static_cast<const Numeric*>(values) + v, slot);
  } else {
    static_cast<double*>(sums)[cell] += static_cast<double>(static_cast<const V*>(values)[v]);
  }
}

// Adds value number v of a row to a cell's MAX, MIN and SUM slots (null: the pass does not make
// them). NULL (0) is never the least value of a cell, so every method reports the same MIN, and it
// adds nothing to the SUM.
template <class V>
inline void AddToCubeCell(int* max, int* min, void* sums, const void* values, int cell, int v) {
  if (max && v > max[cell]) max[cell] = v;
  if (v == 0) return;
  if (min && v < min[cell]) min[cell] = v;
  if (sums) AddToCubeSum<V>(sums, cell, values, v);
}

// Calls fn with a value of the element type of a measure list of type `type` (INTEGER: int,
// DECIMAL: Numeric, any other: double), so that a per-row loop instantiated on it has no type switch.
template <class Fn>
inline int ByMeasureType(int type, Fn&& fn) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return fn(int{});
    case Q7_TYPE_DECIMAL:
      return fn(Numeric{});
    default:
      return fn(double{});
  }
}

// Worker parameter block of the cube-sum tasks (47 to 53).
struct CubeSumParam {
  MppParamHeader header;
  CubePass* pass;
  int worker;
  int start;  // positions (accumulation) or cells (fold) [start, end)
  int end;
  int tally;  // fold: occurring cells in the range, when counting
  int* hist;  // half sort: own bucket counters
};

// Splits n into `workers` ranges of n / workers, the last taking the rest.
void CubeRange(int n, int workers, int t, int* start, int* end);
// Hands workers 0 .. workers-1 the pass and their CubeRange shares of n positions, and runs `task`
// on them (throws its first negative result).
void RunCubeWorkers(CubePass* pass, int n, int workers, int task);
// Runs the fold (task 48) of pass->arrays worker arrays over the cells on min(workers,
// n_threads_for_elements(cells)) workers; returns the occurring cells (COUNT pass) or 0.
int FoldCubeArrays(CubePass* pass, int workers);

// The driver frame of MppCubeSum and MppFastCubeSum: refuses n_dims outside 0 .. 32
// (Q7_ERROR_OUT_OF_RANGE) and a needed null array or a negative measure count
// (Q7_ERROR_INVALID_PARAMETER), lays dim_ids out as dimension records and returns what sum(records)
// returns; a thrown CQ7Exception comes back as its code (a code that is not negative as
// Q7_ERROR_UNKNOWN), anything else as Q7_ERROR_UNKNOWN.
int CubeSumEntry(int n_dims, const int* dim_ids, int n_measures, const int* measure_ids, const int* masks,
                 const std::function<int(_TDimensionDef* dims)>& sum);

// Task functions (rows 47 and 48 of mpp_func_map).
int mpp_cubesum_measure_step1(void* param);
int mpp_cubesum_measure_step2(void* param);
