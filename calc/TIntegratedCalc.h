// The integrated calculator: a new column from a formula of nested function calls over the filters
// of one real table, such as +(@PRICE,1) or $&($@NAME,$"-x"). It computes with numbers (INTEGER,
// DOUBLE and DECIMAL filters, decimal constants in decimal mode), texts, comparisons, three-valued
// logic, IF and conversions between texts and numbers.
//
// A request creates one object, points ICalc at it, runs Setup (or SetupForPtr), Parser and one run
// (Run serially, MppRun / MppRunForPtr on the worker pool) and deletes it (TRealTable_icalc.cpp).
// Parser compiles the formula into at most kMaxInstructions instructions over kMaxSlots numeric and
// kMaxSlots string slots; every argument of a call takes a slot of its own, constants are placed in
// their slots at parse time and never overwritten, so the per-row evaluation allocates nothing.
//
// NULL: a numeric slot is NULL when it holds the double minus infinity or the decimal NaN; a string
// slot when it holds the empty text. A row whose program stops (a division by zero) is NULL.
//
// Ownership: the formula text is not copied (the caller keeps it alive until the run is over). The
// result arrays belong to the object made by the default constructor and are freed by its
// destructor; a copy (the per-worker copies of the parallel run) shares them and frees nothing.
//
// Thread safety: one object per thread. The parallel runs give each worker its own copy; workers
// write disjoint rows of the shared result array. ICalc is valid for one request under the API lock.
//
// Codes: Setup, SetupForPtr and Parser return 0 or a negative code (ring entries as stated at each
// failure in the .cpp); Run, MppRun and MppRunForPtr return 0 or throw CQ7Exception.
#pragma once

#include <cstddef>
#include <cstdint>

#include "q7api.h"
#include "values/value.h"

class TFilter;
class TRealTable;
class TSetArray;
class TIntegratedCalc;

// An instruction function: executes instruction pc of the calculator's program. 0 continues with
// pc + 1, k >= 1 continues with instruction k - 1, a negative result stops the row as NULL.
using ICFunction = int (*)(int pc, TIntegratedCalc* calc);

class TIntegratedCalc {
 public:
  static constexpr int kMaxSlots = 64;
  static constexpr int kStrSlotSize = 4096;  // a text of at most 4095 bytes and its NUL
  static constexpr int kMaxInstructions = 63;
  static constexpr int kNumberBufferSize = 263;  // numbers, names and function names
  static constexpr int kStrNameBufferSize = 4095;
  // String results go to the target filter in batches of this many rows (serial run).
  static constexpr int kStrBatchRows = 1000000;
  static constexpr size_t kMinStrArea = 1048576;
  // Tests only: the rows of a serial run's text batch (0 or less restores kStrBatchRows), so that a
  // small table takes several batches. Call while no calculation runs.
  static void SetStrBatchRowsForTest(int rows);

  enum ResultMode { kModeString = 1, kModeNumeric = 2 };

  struct Instruction {
    ICFunction func;
    int32_t first;  // destination slot, or the target instruction of a jump
    int32_t a, b, c;
  };
  struct NumericLoad {
    int32_t slot;
    int32_t type;  // the value list's type: 2, 3 or 8
    TFilter* filter;
    const int32_t* numbers;  // value number per record
    int32_t record_count;    // elements of `numbers`
    int32_t value_count;     // elements of the value list
    const void* values;      // the value list's elements
    NumericInfo info;        // a decimal list's scale and mode
  };
  struct StringLoad {
    int32_t slot;
    TFilter* filter;
    const int32_t* numbers;
    int32_t record_count;
    int32_t value_count;
    const uint64_t* offsets;  // the value list's text offsets
    const char* pool;         // the value list's character area
  };

  TIntegratedCalc();
  // Byte-for-byte copy that owns nothing: it shares the formula, the loads and the result arrays.
  TIntegratedCalc(const TIntegratedCalc& other);
  TIntegratedCalc& operator=(const TIntegratedCalc&) = delete;
  ~TIntegratedCalc();

  // Result into filter `filter` for the rows start .. start + count - 1 of `set`.
  int Setup(int set, int filter, int start, int count, const char* formula);
  // Result into caller memory of value type `type` (2, 3, 6 or 8); decimal info scale 6, mode 4.
  int SetupForPtr(int set, int start, int count, const char* formula, int type);
  // Compiles the formula. A formula that holds no expression (empty or blank) is refused.
  int Parser();

  // Serial: evaluates the range and writes it into the target filter.
  int Run();
  // Parallel: the same result as Run for any number of workers.
  int MppRun();
  // Parallel into caller memory: `out` holds count elements of `type` (int32, double, Numeric, or
  // for STRING a text address each); STRING texts go to `area` of `size` bytes. Texts that do not
  // fit throw Q7_ERROR_CALC_OUTPUT_OVERFLOW with nothing written to `area`.
  int MppRunForPtr(int type, void* out, unsigned long size, char* area);

  // The string area still needed after `done` of `total` rows used `size` bytes.
  static unsigned long CalcApproximateStrArea(unsigned long size, int done, int total);

  // ---- Parsing steps ----
  int Alloc(int kind);
  void Parse1(int mode, int slot);
  // Token kinds of WaitNumber / WaitString.
  enum Token { kTokenEnd, kTokenDone, kTokenCall };
  int WaitNumber(int slot);
  int WaitString(int slot);
  void WaitComma();
  void WaitCloseBlacket();

  // ---- Evaluation of one row (shared by the serial run and the workers) ----
  // Loads row i of the range (record `record`) and steps the program; false when the row is NULL.
  bool EvalRow(int i, int record);
  // Stores the result slot converted to `type` at element `pos` of `out`, or the NULL of the type
  // when `ok` is false; `target` is the target decimal info.
  void StoreNumericResult(int type, const NumericInfo& target, void* out, int64_t pos, bool ok);
  // Re-reads every load's arrays from its filter (after a write may have replaced them).
  void RefreshLoads();

  // ---- Fields ----
  int32_t FTableID = 0;
  int32_t FOwner = 1;
  int32_t FResultType = 0;
  int32_t FDecimalMode = -1;
  NumericInfo FDecimalInfo{0, Q7_ROUND_HALF_EVEN};
  TRealTable* FTable = nullptr;
  int32_t FResultMode = 0;
  const char* FFormula = nullptr;
  int32_t FFormulaLength = 0;
  int32_t FPos = 0;
  int32_t FNumCount = 0;
  Value FNum[kMaxSlots];
  int32_t FStrCount = 0;
  char FStr[kMaxSlots][kStrSlotSize];
  int32_t FOpenCalls = 0;
  int32_t FFilterID = 0;
  TFilter* FFilter = nullptr;
  int32_t FResultTypeCopy = 0;
  int32_t FSetID = 0;
  TSetArray* FSet = nullptr;
  int32_t FCount = 0;
  int32_t FStart = 0;
  int32_t FRecNoCount = 0;
  int32_t FRecNoSlots[kMaxSlots];
  int32_t FRowNoCount = 0;
  int32_t FRowNoSlots[kMaxSlots];
  int32_t FNumLoadCount = 0;
  NumericLoad FNumLoads[kMaxSlots];
  int32_t FStrLoadCount = 0;
  StringLoad FStrLoads[kMaxSlots];
  int32_t FInstCount = 0;
  Instruction FInst[kMaxInstructions + 1];
  int32_t* FIntResults = nullptr;
  Numeric* FDecResults = nullptr;
  double* FDblResults = nullptr;
  uint64_t* FStrOffsets = nullptr;
  char* FStrArea = nullptr;

 private:
  int SetupRange(int set, int start, int count, const char* log_name);
  int AppendInstruction(ICFunction func, int first, int a, int b, int c);
  void ParseIf(int mode, int slot);
  void AddColumnLoad(int slot, const char* name, bool string_operand, const char* log_name);
  void ReadNumber(int slot, const char* word);
  void FreeResults();
};

// The calculator of the request under way (see TRealTable_icalc.cpp).
extern TIntegratedCalc* ICalc;

// The worker task of the parallel runs (task kMppTaskIntegratedCalc).
int mpp_integrated_calc(void* param);

// The instruction functions.
int IC_Plus(int pc, TIntegratedCalc* c);
int IC_Minus(int pc, TIntegratedCalc* c);
int IC_Mul(int pc, TIntegratedCalc* c);
int IC_Div(int pc, TIntegratedCalc* c);
int IC_And(int pc, TIntegratedCalc* c);
int IC_Or(int pc, TIntegratedCalc* c);
int IC_Not(int pc, TIntegratedCalc* c);
int IC_Eq(int pc, TIntegratedCalc* c);
int IC_NEq(int pc, TIntegratedCalc* c);
int IC_Lt(int pc, TIntegratedCalc* c);
int IC_Gt(int pc, TIntegratedCalc* c);
int IC_LEq(int pc, TIntegratedCalc* c);
int IC_GEq(int pc, TIntegratedCalc* c);
int IC_SEq(int pc, TIntegratedCalc* c);
int IC_SNEq(int pc, TIntegratedCalc* c);
int IC_SLt(int pc, TIntegratedCalc* c);
int IC_SGt(int pc, TIntegratedCalc* c);
int IC_SLEq(int pc, TIntegratedCalc* c);
int IC_SGEq(int pc, TIntegratedCalc* c);
int IC_NumNVL(int pc, TIntegratedCalc* c);
int IC_IsNull(int pc, TIntegratedCalc* c);
int IC_Ceil(int pc, TIntegratedCalc* c);
int IC_Round(int pc, TIntegratedCalc* c);
int IC_Floor(int pc, TIntegratedCalc* c);
int IC_StrLen(int pc, TIntegratedCalc* c);
int IC_Pos(int pc, TIntegratedCalc* c);
int IC_Str2Float(int pc, TIntegratedCalc* c);
int IC_Str2Int(int pc, TIntegratedCalc* c);
int IC_Str2Numeric(int pc, TIntegratedCalc* c);
int IC_Concat(int pc, TIntegratedCalc* c);
int IC_StrExtract(int pc, TIntegratedCalc* c);
int IC_StrUpper(int pc, TIntegratedCalc* c);
int IC_Float2Str(int pc, TIntegratedCalc* c);
int IC_Int2Str(int pc, TIntegratedCalc* c);
int IC_Numeric2Str(int pc, TIntegratedCalc* c);
int IC_Copy(int pc, TIntegratedCalc* c);
int IC_CopyStr(int pc, TIntegratedCalc* c);
int IC_Goto(int pc, TIntegratedCalc* c);
int IC_GotoUnless(int pc, TIntegratedCalc* c);
