// The four-operation calculator: derives a column from a formula of "+", "-", "*", "/" and brackets
// over the columns of one real table ("@" and a filter name) and numeric constants.
//
// One request makes one calculator: the table stores itself in FTable, calls Setup (results for a
// target filter) or SetupForPtr (results for the caller's memory), then Compiler, then Run (serial)
// or MppRun / MppRunForPtr (worker pool), takes the result array and deletes the calculator. The
// formula is compiled once into a flat list of commands. A program on doubles only (no decimal
// column or constant) runs each command over a block of rows in plain double arrays with a NULL mask
// per row; any other program runs per row through Value slots. Both give the same bits for every
// row; nothing is allocated per row.
//
// Formula: terms joined by "+" and "-", a term factors joined by "*" and "/", a factor a column,
// a constant or a bracketed expression; only the first factor of an expression or bracket takes a
// sign ("2*-3" is refused, "2*(-3)" is not). At most 31 brackets nest, 64 distinct columns and 64
// constants appear, and the program holds at most 256 commands.
//
// Rows: a NULL operand or a division by zero makes only that row NULL (0x80000000, minus infinity
// or the decimal NaN, by result type). Results are of the result type: 2 (int32, rounded half up
// from doubles, NULL beyond the int32 range), 3 (double) or 8 (16-byte decimal at the target scale).
// Constants are read as decimals when the formula names a decimal column ("decimal mode").
//
// Codes (returned, 0 on success): Q7_ERROR_CALC_SYNTAX for syntax and range errors and for every
// refused token (FPCParseError then says which token), Q7_ERROR_CALC_STACK beyond 256 commands,
// Q7_ERROR_CALC_TYPE, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_INVALID_PARAMETER; the
// ring entries are stated at each operation. Allocation failures and failures on the worker pool
// are thrown as CQ7Exception; the result arrays are freed before such an exception leaves Run or
// MppRun.
//
// Thread safety: one thread uses a calculator at a time; the parallel runs give each worker a copy
// (the copy constructor) that shares the formula, the column tables and the result arrays and has
// private working slots. FPCParseError is one process-wide buffer, used under the API lock.
#pragma once

#include <cstdint>

#include "q7api.h"
#include "values/value.h"

class TBaseArray;
class TFilter;
class TRealTable;
class TSetArray;

// The text of the last refused token of a formula ("NO SUCH FILTER: %s", "NOT A NUMBER: %s"),
// empty when none was refused. The table's calculation entries clear it first and hand out its
// address.
extern char FPCParseError[512];

class TCalculator {
 public:
  static constexpr int kMaxConstants = 64;
  static constexpr int kMaxColumns = 64;
  static constexpr int kMaxLevels = 32;
  static constexpr int kSlots = 3;
  static constexpr int kMaxCommands = 256;
  // Bytes of a column name or constant that the scanner takes.
  static constexpr int kMaxWord = 263;

  // Scanner token codes.
  enum Token : int {
    kTokAdd = 1,
    kTokSub = 2,
    kTokMul = 3,
    kTokDiv = 4,
    kTokOpen = 5,
    kTokClose = 6,
    kTokEnd = 7,
    kTokColumn = 10,
    kTokConstant = 11,
  };
  // Command codes.
  enum Code : int {
    kCmdAdd = 1,
    kCmdMul = 3,
    kCmdDiv = 4,
    kCmdLoadLevel = 5,
    kCmdLoadColumn = 10,
    kCmdLoadConstant = 11,
  };

  struct Column {
    int32_t filter_id;
    const int32_t* numbers;  // value number per record (element 0 not a record)
    int32_t type;            // 2, 3 or 8
    const void* values;      // the value list's data; element 0 the NULL
    TBaseArray* list;        // the value list
    NumericInfo info;        // a decimal column's scale and rounding mode
  };
  struct Command {
    int32_t level, code, sign, operand, left, right, target;
  };

  // Owner of its result arrays, empty counters, decimal mode -1, result decimal info (0, 6);
  // clears FPCParseError.
  TCalculator();
  // A worker's copy: the same fields, not the owner of the result arrays.
  TCalculator(const TCalculator& source);
  // Frees the result arrays when this object owns them.
  ~TCalculator();

  // Binds the calculator to the range start .. start + count - 1 (1-based) of the set, with the
  // results for filter_id. The formula is kept, not copied. Ring entries under "Setup": "No Such
  // Filter: %d" (Q7_ERROR_NO_SUCH_FILTER), "Illegal data type ( Not INTEGER and Not DOUBLE )"
  // (Q7_ERROR_CALC_TYPE), "No Such Set: %d" (Q7_ERROR_NO_SUCH_SET), "Invalid Parameter : CalStart"
  // and "Invalid Parameter : CalCount" (Q7_ERROR_CALC_SYNTAX). A null formula is
  // Q7_ERROR_CALC_SYNTAX. Taints the target filter (throws Q7_ERROR_HIGH_SPEED_FILTER).
  int Setup(int set, int filter, int start, int count, char* formula);
  // As Setup without a target: type (2, 3 or 8) is checked first; decimal results are at scale 6,
  // ROUNDHALFUP. Ring entries under "SetupForPtr".
  int SetupForPtr(int set, int start, int count, char* formula, int type);
  // Compiles the whole formula; afterwards the bracket level must be back at 0 ("Compiler",
  // "Illegal data : FStackLevel").
  int Compiler(TRealTable* table);
  // Compiles one bracket level, recursing into inner brackets.
  int Compiler1(TRealTable* table);
  // Reads the next token: a token code, or a negative code. For a column or a constant *index
  // receives its entry in the column table or the constant pool.
  int Scanner(TRealTable* table, int* index);
  int SetupLoadCommand(int code, int sign, int operand, int target);
  int SetupCalcCommand(int code, int left, int right, int target);

  // One command each; 0, or -1 when the value produced is NULL.
  int LoadFilterVal(int level, int sign, int column, int record, int target);
  int LoadConstVal(int level, int sign, int constant, int target);
  int LoadStackVal(int level, int sign, int state, int target);
  int FuncAdd(int level, int left, int right, int target);
  int FuncMul(int level, int left, int right, int target);
  int FuncDiv(int level, int left, int right, int target);

  // Serial evaluation into a new array of the target filter's type.
  int Run();
  // The same on the worker pool, into a new array of the result type.
  int MppRun();
  // On the worker pool into the caller's `out` of `count` elements of `type` (2 int32, 3 double,
  // 8 Numeric); a null out is Q7_ERROR_INVALID_PARAMETER.
  int MppRunForPtr(void* out, int type);

  // The value of level 0; throws Q7_ERROR_CALC_SYNTAX for a level in no final state.
  Value CalcResult();
  // Frees the three result arrays and clears their pointers.
  void PurgeCalcArea();

  // Evaluates rows [from, to) of the range (0-based) and stores row i at position i - base of the
  // result array of `type`, with `target` the decimal info of decimal results. Used by Run and by
  // each worker on its own copy. Returns 0, or Q7_ERROR_CALC_SYNTAX for a damaged program.
  int EvaluateRows(int from, int to, int base, int type, const NumericInfo& target);

  // ---- Fields ----
  // Set by Compiler: 1 when the program is evaluated on doubles a block at a time, 0 for the
  // general path (tests set it to 0 to compare the two).
  int32_t FDoublePath = 0;
  int32_t FOwner = 1;
  int32_t FnConst = 0;
  int32_t FResultType = 0;
  int32_t FDecimalMode = -1;
  Value FConst[kMaxConstants];
  int32_t FnColumn = 0;
  Column FColumns[kMaxColumns] = {};
  int32_t FStackLevel = 0;
  int32_t FLevelState[kMaxLevels] = {};
  Value FSlots[kMaxLevels][kSlots];
  int32_t FTargetFilterID = 0;
  TFilter* FTargetFilter = nullptr;
  int32_t FSetID = 0;
  TSetArray* FSet = nullptr;
  int32_t FStart = 0;
  int32_t FCount = 0;
  int32_t FScanPos = 0;
  int32_t FFormulaLen = 0;
  const char* FFormula = nullptr;
  int32_t FnCommand = 0;
  Command FCommands[kMaxCommands] = {};
  int32_t* FIntResults = nullptr;
  double* FDblResults = nullptr;
  Numeric* FNumResults = nullptr;
  NumericInfo FResultInfo = {0, Q7_ROUND_HALF_EVEN};
  TRealTable* FTable = nullptr;

 private:
  TCalculator& operator=(const TCalculator&) = default;

  int CheckRange(const char* log_name, int set, int start, int count);
  int LoadOperand(TRealTable* table, int token, int index, int sign, int slot);
  int ScanColumn(TRealTable* table, int* index);
  int ScanConstant(int* index);
  // Runs the program on one record: 0 and the level-0 value, or -1 for a NULL row.
  int EvaluateRow(int record, Value* out);
  void StoreRow(int position, int type, const NumericInfo& target, const Value* value);
  int RunOnPool(int type, bool pointer_mode);
  // True when every column is INTEGER or DOUBLE, every constant a double that is not NULL, the
  // formula is not in decimal mode and every command is well formed.
  bool IsDoubleOnly() const;
  // EvaluateRows for a program that IsDoubleOnly accepted.
  void EvaluateDoubleRows(int from, int to, int base, int type, const NumericInfo& target);
};

// Task 20 ("Q7_MPP_CALC"): rows [from, to) of the range on the worker's copy of the calculator.
int mpp_calc(void* param);
