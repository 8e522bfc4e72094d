// The four-operation calculator: parsing a formula of "+", "-", "*", "/" and running it over a set.
#include "calc/TCalculator.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "calc/CalcWords.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/KernelPool.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/PoolParam.h"
#include "values/TBaseArray.h"
#include "values/TNumericArray.h"

char FPCParseError[512];

namespace {

constexpr double kDblNull = -HUGE_VAL;
constexpr int32_t kIntNull = INT32_MIN;

bool IsBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool IsNull(const Value& v) {
  return v.IsDecimal() ? q7num::NumericIsNan(&v.number.num) != 0 : v.number.dbl == kDblNull;
}

bool IsZero(const Value& v) {
  return v.IsDecimal() ? q7num::NumericIsZero(&v.number.num) != 0 : v.number.dbl == 0.0;
}

// Multiplies in place by the sign of a load: a double flips its sign bit, a decimal is multiplied.
void ApplySign(Value* v, int sign) {
  if (sign != -1) return;
  if (v->IsDecimal()) {
    q7num::NumericMul(&v->number.num, -1);
  } else {
    v->number.dbl = -v->number.dbl;
  }
}

bool IsResultType(int type) {
  return type == Q7_TYPE_INTEGER || type == Q7_TYPE_DOUBLE || type == Q7_TYPE_DECIMAL;
}

size_t ResultWidth(int type) {
  return type == Q7_TYPE_INTEGER  ? sizeof(int32_t)
         : type == Q7_TYPE_DOUBLE ? sizeof(double)
                                  : sizeof(Numeric);
}

void SetParseError(const char* format, const char* token) {
  snprintf(FPCParseError, sizeof FPCParseError, format, token);
}

constexpr char kTypeText[] = "Illegal data type ( Not INTEGER and Not DOUBLE )";

// The block of one worker of task 20.
struct CalcParam {
  MppParamHeader header;
  int32_t from;  // first row index (0-based in the range)
  int32_t to;    // one past the last
  int32_t base;  // row index stored at position 0 of the result array
  int32_t pointer_mode;
  int32_t result_type;
  uint64_t area_size;  // not used by this task
  TCalculator* calculator;
  char* string_area;  // not used by this task
};

}  // namespace

// ---- Construction ----

TCalculator::TCalculator() { FPCParseError[0] = '\0'; }

TCalculator::TCalculator(const TCalculator& source) {
  *this = source;
  FOwner = 0;
}

TCalculator::~TCalculator() {
  if (FOwner == 1) PurgeCalcArea();
}

void TCalculator::PurgeCalcArea() {
  zpk_free(FIntResults);
  zpk_free(FDblResults);
  zpk_free(FNumResults);
  FIntResults = nullptr;
  FDblResults = nullptr;
  FNumResults = nullptr;
}

// ---- Setup ----

int TCalculator::CheckRange(const char* log_name, int set, int start, int count) {
  FSetID = set;
  FSet = FTable->GetSet(set);
  if (FSet == nullptr) {
    PutErrorLog(log_name, Q7_ERROR_NO_SUCH_SET, NoSuchSetText(set));
    return Q7_ERROR_NO_SUCH_SET;
  }
  if (start < 1) {
    PutErrorLog(log_name, Q7_ERROR_CALC_SYNTAX, "Invalid Parameter : CalStart");
    return Q7_ERROR_CALC_SYNTAX;
  }
  if (count < 1 || static_cast<int64_t>(start) + count - 1 > FSet->FArraySize) {
    PutErrorLog(log_name, Q7_ERROR_CALC_SYNTAX, "Invalid Parameter : CalCount");
    return Q7_ERROR_CALC_SYNTAX;
  }
  FStart = start;
  FCount = count;
  return 0;
}

int TCalculator::Setup(int set, int filter, int start, int count, char* formula) {
  if (FTable == nullptr) return Q7_ERROR_INNER_ENGINE;
  // Without a formula there is nothing to compute; never report success for it.
  if (formula == nullptr || strlen(formula) > static_cast<size_t>(INT_MAX)) return Q7_ERROR_CALC_SYNTAX;
  FFormula = formula;
  FFormulaLen = static_cast<int32_t>(strlen(formula));
  FScanPos = 0;
  FTargetFilterID = filter;
  FTargetFilter = FTable->GetFilter(filter);
  if (FTargetFilter == nullptr || FTargetFilter->VL == nullptr || FTargetFilter->PV == nullptr) {
    FTargetFilter = nullptr;
    PutErrorLog("Setup", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  const int type = FTargetFilter->VL->GetDataType();
  if (!IsResultType(type)) {
    PutErrorLog("Setup", Q7_ERROR_CALC_TYPE, kTypeText);
    return Q7_ERROR_CALC_TYPE;
  }
  FTargetFilter->Taint();
  if (const int rc = CheckRange("Setup", set, start, count); rc != 0) return rc;
  if (type == Q7_TYPE_DECIMAL) static_cast<TNumericArray*>(FTargetFilter->VL)->GetDecimalInfo(&FResultInfo);
  FResultType = type;
  FDecimalMode = CheckNumericFormula(FTable, formula, false);
  for (Command& c : FCommands) c.sign = 1;
  return 0;
}

int TCalculator::SetupForPtr(int set, int start, int count, char* formula, int type) {
  if (FTable == nullptr) return Q7_ERROR_INNER_ENGINE;
  if (!IsResultType(type)) {
    PutErrorLog("SetupForPtr", Q7_ERROR_CALC_TYPE, kTypeText);
    return Q7_ERROR_CALC_TYPE;
  }
  if (formula == nullptr || strlen(formula) > static_cast<size_t>(INT_MAX)) return Q7_ERROR_CALC_SYNTAX;
  FFormula = formula;
  FFormulaLen = static_cast<int32_t>(strlen(formula));
  FScanPos = 0;
  if (const int rc = CheckRange("SetupForPtr", set, start, count); rc != 0) return rc;
  FResultInfo = NumericInfo{TNumericArray::kDefaultScale, Q7_ROUND_HALF_UP};
  FResultType = type;
  FDecimalMode = CheckNumericFormula(FTable, formula, false);
  for (Command& c : FCommands) c.sign = 1;
  return 0;
}

// ---- Scanner ----

int TCalculator::ScanColumn(TRealTable* table, int* index) {
  char name[kMaxWord + 1];
  const int n = GetWord(name, static_cast<int>(sizeof name), FFormula + FScanPos);
  FScanPos += n;
  // A name the file-name rule refuses (empty, too long) stays as written and is then not found.
  ToFileName(name);
  const int pos = table != nullptr ? table->FilterName2Pos(name) : Q7_ERROR_NO_SUCH_FILTER;
  if (pos < 0) {
    SetParseError("NO SUCH FILTER: %s", name);
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  TFilter* filter = table->FFilters[pos];
  if (filter->VL == nullptr || filter->PV == nullptr) return Q7_ERROR_CALC_TYPE;
  const int type = filter->VL->GetDataType();
  if (!IsResultType(type)) return Q7_ERROR_CALC_TYPE;
  for (int i = 0; i < FnColumn; ++i) {
    if (FColumns[i].filter_id == filter->FFilterID) {
      *index = i;
      return kTokColumn;
    }
  }
  if (FnColumn >= kMaxColumns) return Q7_ERROR_CALC_TOO_MANY_FILTERS;
  // Rows are read by value number: values still pending (negative numbers) are folded in first.
  if (filter->TVLCount > 0) filter->MergeTVL(false);
  Column& c = FColumns[FnColumn];
  c.filter_id = filter->FFilterID;
  c.numbers = filter->PV->PIntAr();
  c.type = type;
  c.values = filter->VL->FData;
  c.list = filter->VL;
  c.info = NumericInfo{0, Q7_ROUND_HALF_EVEN};
  if (type == Q7_TYPE_DECIMAL) static_cast<TNumericArray*>(filter->VL)->GetDecimalInfo(&c.info);
  *index = FnColumn++;
  return kTokColumn;
}

int TCalculator::ScanConstant(int* index) {
  char token[kMaxWord + 1];
  const int n = FDecimalMode == 1 ? GetWordNumeric(token, static_cast<int>(sizeof token), FFormula + FScanPos)
                                  : GetWord(token, static_cast<int>(sizeof token), FFormula + FScanPos);
  FScanPos += n;
  char* end = nullptr;
  const double d = strtod(token, &end);
  const bool whole = n > 0 && end == token + n;
  Value value;
  if (FDecimalMode != 1) {
    // NaN is refused with the infinities: neither is a number a formula can compute with.
    if (!whole || std::isinf(d) || std::isnan(d) || (d == 0.0 && Check0Format(token) != 0)) {
      SetParseError("NOT A NUMBER: %s", token);
      return Q7_ERROR_INVALID_PARAMETER;
    }
    value = d;
  } else {
    const int scale = whole ? CheckNumericFormat(token) : -1;
    if (scale < 0) {
      PutErrorLog("Scanner", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter");
      SetParseError("NOT A NUMBER: %s", token);
      return Q7_ERROR_INVALID_PARAMETER;
    }
    NumericInfo info{scale, Q7_ROUND_HALF_EVEN};
    Numeric num;
    const char* stop = nullptr;
    int status = q7num::NumericStr2Num(token, &info, &num, &stop);
    if (status == Q7_NUMERIC_OVERFLOW_POSITIVE || status == Q7_NUMERIC_OVERFLOW_NEGATIVE) {
      info.scale = 0;
      status = q7num::NumericStr2Num(token, &info, &num, &stop);
    }
    if (status == Q7_NUMERIC_SYNTAX_ERROR) {
      PutErrorLog("Scanner", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter");
      return Q7_ERROR_INVALID_PARAMETER;
    }
    // A constant too large even at scale 0 would silently compute as NULL in every row; and a
    // token the decimal reader reads only in part ("0x10") would compute with another number.
    if (q7num::NumericIsNan(&num) != 0 || stop != token + n) {
      PutErrorLog("Scanner", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter");
      SetParseError("NOT A NUMBER: %s", token);
      return Q7_ERROR_INVALID_PARAMETER;
    }
    value = Value(&num, &info);
  }
  if (FnConst >= kMaxConstants) return Q7_ERROR_CALC_TOO_MANY_TOKENS;
  FConst[FnConst] = value;
  *index = FnConst++;
  return kTokConstant;
}

int TCalculator::Scanner(TRealTable* table, int* index) {
  while (FScanPos < FFormulaLen && IsBlank(FFormula[FScanPos])) ++FScanPos;
  if (FScanPos >= FFormulaLen) return kTokEnd;
  switch (FFormula[FScanPos]) {
    case '(':
      ++FScanPos;
      return kTokOpen;
    case ')':
      ++FScanPos;
      return kTokClose;
    case '*':
      ++FScanPos;
      return kTokMul;
    case '+':
      ++FScanPos;
      return kTokAdd;
    case '-':
      ++FScanPos;
      return kTokSub;
    case '/':
      ++FScanPos;
      return kTokDiv;
    case '@':
      ++FScanPos;
      return ScanColumn(table, index);
    default:
      return ScanConstant(index);
  }
}

// ---- Compiler ----

int TCalculator::SetupLoadCommand(int code, int sign, int operand, int target) {
  if ((code != kCmdLoadLevel && code != kCmdLoadColumn && code != kCmdLoadConstant) ||
      (sign != 1 && sign != -1) || target < 0 || target >= kSlots) {
    return Q7_ERROR_CALC_SYNTAX;
  }
  if (FnCommand >= kMaxCommands) return Q7_ERROR_CALC_STACK;
  if (code == kCmdLoadLevel) operand = FLevelState[FStackLevel + 1];
  FCommands[FnCommand++] = Command{FStackLevel, code, sign, operand, 0, 0, target};
  return 0;
}

int TCalculator::SetupCalcCommand(int code, int left, int right, int target) {
  if ((code != kCmdAdd && code != kCmdMul && code != kCmdDiv) || left < 0 || left >= kSlots || right < 0 ||
      right >= kSlots || target < 0 || target >= kSlots) {
    return Q7_ERROR_CALC_SYNTAX;
  }
  if (FnCommand >= kMaxCommands) return Q7_ERROR_CALC_STACK;
  FCommands[FnCommand++] = Command{FStackLevel, code, 1, 0, left, right, target};
  return 0;
}

namespace {

int SyntaxError(const char* message) {
  PutErrorLog("Compiler1", Q7_ERROR_CALC_SYNTAX, message);
  return Q7_ERROR_CALC_SYNTAX;
}

constexpr char kIllegalToken[] = "Calc Syntax Error ( Illegal TokenCode )";
constexpr char kIllegalLevel[] = "Calc Syntax Error ( Illegal StackLevel )";

}  // namespace

int TCalculator::LoadOperand(TRealTable* table, int token, int index, int sign, int slot) {
  if (token == kTokColumn) return SetupLoadCommand(kCmdLoadColumn, sign, index, slot);
  if (token == kTokConstant) return SetupLoadCommand(kCmdLoadConstant, sign, index, slot);
  if (token != kTokOpen) return SyntaxError(kIllegalToken);
  if (FStackLevel + 1 >= kMaxLevels) return SyntaxError("Calc Syntax Error ( FStackLevel Over )");
  ++FStackLevel;
  FLevelState[FStackLevel] = 0;
  if (const int rc = Compiler1(table); rc != 0) return rc;
  --FStackLevel;
  return SetupLoadCommand(kCmdLoadLevel, sign, 0, slot);
}

int TCalculator::Compiler1(TRealTable* table) {
  const int level = FStackLevel;
  for (;;) {
    int index = 0;
    const int token = Scanner(table, &index);
    if (token < 0) return SyntaxError(kIllegalToken);
    int& state = FLevelState[level];
    // The operand after an operator (a sign there is refused as an illegal token).
    auto next_operand = [&](int sign, int slot) {
      int next_index = 0;
      const int next = Scanner(table, &next_index);
      if (next < 0) return SyntaxError(kIllegalToken);
      return LoadOperand(table, next, next_index, sign, slot);
    };
    int rc = 0;
    if (state == 0) {
      if (token == kTokColumn || token == kTokConstant || token == kTokOpen) {
        rc = LoadOperand(table, token, index, 1, 0);
      } else if (token == kTokAdd || token == kTokSub) {
        rc = next_operand(token == kTokAdd ? 1 : -1, 0);
      } else if (token == kTokClose || token == kTokEnd) {
        return Q7_ERROR_CALC_SYNTAX;  // an empty expression
      } else {
        return SyntaxError(kIllegalToken);
      }
      if (rc != 0) return rc;
      state = 1;
      continue;
    }
    switch (token) {
      case kTokAdd:
      case kTokSub:
        if (state == 2 && (rc = SetupCalcCommand(kCmdAdd, 0, 1, 0)) != 0) return rc;
        if ((rc = next_operand(token == kTokAdd ? 1 : -1, 1)) != 0) return rc;
        state = 2;
        break;
      case kTokMul:
      case kTokDiv: {
        const int code = token == kTokMul ? kCmdMul : kCmdDiv;
        if (state == 1) {
          if ((rc = next_operand(1, 1)) != 0) return rc;
          if ((rc = SetupCalcCommand(code, 0, 1, 0)) != 0) return rc;
        } else {
          if ((rc = next_operand(1, 2)) != 0) return rc;
          if ((rc = SetupCalcCommand(code, 1, 2, 1)) != 0) return rc;
        }
        break;
      }
      case kTokClose:
        return level > 0 ? 0 : SyntaxError(kIllegalLevel);
      case kTokEnd:
        return level == 0 ? 0 : SyntaxError(kIllegalLevel);
      default:
        return SyntaxError(kIllegalToken);
    }
  }
}

int TCalculator::Compiler(TRealTable* table) {
  FDoublePath = 0;
  if (FFormula == nullptr) return Q7_ERROR_CALC_SYNTAX;
  FLevelState[FStackLevel] = 0;
  if (const int rc = Compiler1(table); rc != 0) return rc;
  if (FStackLevel != 0) {
    PutErrorLog("Compiler", Q7_ERROR_CALC_SYNTAX, "Illegal data : FStackLevel");
    return Q7_ERROR_CALC_SYNTAX;
  }
  FDoublePath = IsDoubleOnly() ? 1 : 0;
  return 0;
}

// ---- Evaluation ----

int TCalculator::LoadFilterVal(int level, int sign, int column, int record, int target) {
  const Column& c = FColumns[column];
  const int v = c.numbers[record];
  Value& out = FSlots[level][target];
  if (v == 0) {
    out = kDblNull;
    return -1;
  }
  switch (c.type) {
    case Q7_TYPE_INTEGER:
      out = static_cast<double>(static_cast<const int32_t*>(c.values)[v]) * sign;
      return 0;
    case Q7_TYPE_DOUBLE:
      out = static_cast<const double*>(c.values)[v];
      break;
    default:
      out = Value(&static_cast<const Numeric*>(c.values)[v], &c.info);
      break;
  }
  ApplySign(&out, sign);
  return IsNull(out) ? -1 : 0;
}

int TCalculator::LoadConstVal(int level, int sign, int constant, int target) {
  Value& out = FSlots[level][target];
  out = FConst[constant];
  ApplySign(&out, sign);
  return IsNull(out) ? -1 : 0;
}

int TCalculator::LoadStackVal(int level, int sign, int state, int target) {
  const Value* inner = FSlots[level + 1];
  Value& out = FSlots[level][target];
  if (state == 1) {
    if (IsNull(inner[0])) return -1;
    out = inner[0];
  } else if (state == 2) {
    if (IsNull(inner[0]) || IsNull(inner[1])) return -1;
    out = inner[0] + inner[1];
  } else {
    throw CQ7Exception(Q7_ERROR_CALC_SYNTAX);
  }
  ApplySign(&out, sign);
  return IsNull(out) ? -1 : 0;
}

int TCalculator::FuncAdd(int level, int left, int right, int target) {
  Value* s = FSlots[level];
  if (IsNull(s[left]) || IsNull(s[right])) return -1;
  s[target] = s[left] + s[right];
  return IsNull(s[target]) ? -1 : 0;
}

int TCalculator::FuncMul(int level, int left, int right, int target) {
  Value* s = FSlots[level];
  if (IsNull(s[left]) || IsNull(s[right])) return -1;
  s[target] = s[left] * s[right];
  return IsNull(s[target]) ? -1 : 0;
}

int TCalculator::FuncDiv(int level, int left, int right, int target) {
  Value* s = FSlots[level];
  if (IsNull(s[left]) || IsNull(s[right]) || IsZero(s[right])) return -1;
  s[target] = s[left] / s[right];
  return IsNull(s[target]) ? -1 : 0;
}

Value TCalculator::CalcResult() {
  const Value* top = FSlots[0];
  if (FLevelState[0] == 1) return top[0];
  if (FLevelState[0] == 2) return top[0] + top[1];
  throw CQ7Exception(Q7_ERROR_CALC_SYNTAX);
}

int TCalculator::EvaluateRow(int record, Value* out) {
  for (int i = 0; i < FnCommand; ++i) {
    const Command& c = FCommands[i];
    int rc;
    switch (c.code) {
      case kCmdLoadColumn:
        rc = LoadFilterVal(c.level, c.sign, c.operand, record, c.target);
        break;
      case kCmdLoadConstant:
        rc = LoadConstVal(c.level, c.sign, c.operand, c.target);
        break;
      case kCmdLoadLevel:
        rc = LoadStackVal(c.level, c.sign, c.operand, c.target);
        break;
      case kCmdAdd:
        rc = FuncAdd(c.level, c.left, c.right, c.target);
        break;
      case kCmdMul:
        rc = FuncMul(c.level, c.left, c.right, c.target);
        break;
      case kCmdDiv:
        rc = FuncDiv(c.level, c.left, c.right, c.target);
        break;
      default:
        return Q7_ERROR_CALC_SYNTAX;
    }
    if (rc != 0) return -1;
  }
  *out = CalcResult();
  return IsNull(*out) ? -1 : 0;
}

void TCalculator::StoreRow(int position, int type, const NumericInfo& target, const Value* value) {
  switch (type) {
    case Q7_TYPE_INTEGER: {
      int32_t r = kIntNull;
      if (value != nullptr) {
        if (value->IsDecimal()) {
          // Only an exact or rounded conversion gives a number; a value beyond the integer range
          // stays NULL, as it does on the double path and in the function-call calculator.
          int32_t converted = kIntNull;
          const int status = q7num::NumericNum2Int(&value->number.num, &value->info, &converted);
          if (status == Q7_NUMERIC_EXACT || status == Q7_NUMERIC_ROUNDED) r = converted;
        } else {
          const double x = value->number.dbl;
          // The negated test also sends NaN to NULL.
          if (x < 2147483647.5 && x > -2147483648.0) r = static_cast<int32_t>(std::floor(x + 0.5));
        }
      }
      FIntResults[position] = r;
      break;
    }
    case Q7_TYPE_DOUBLE: {
      double r = kDblNull;
      if (value != nullptr) {
        if (value->IsDecimal()) {
          q7num::NumericNum2Dbl(&value->number.num, &value->info, &r);
        } else {
          r = value->number.dbl;
        }
      }
      FDblResults[position] = r;
      break;
    }
    default: {
      Numeric r = q7num::NanNumeric();
      if (value != nullptr) {
        if (value->IsDecimal()) {
          q7num::NumericRescale(&value->info, &target, &value->number.num, &r);
        } else {
          q7num::NumericDbl2Num(&target, &r, value->number.dbl);
        }
      }
      FNumResults[position] = r;
      break;
    }
  }
}

int TCalculator::EvaluateRows(int from, int to, int base, int type, const NumericInfo& target) {
  if (FDoublePath == 1) {
    EvaluateDoubleRows(from, to, base, type, target);
    return 0;
  }
  const int* rows = FSet->PIntAr() + (FStart - 1);
  for (int i = from; i < to; ++i) {
    Value v;
    const int rc = EvaluateRow(rows[i], &v);
    if (rc < -1) return rc;
    StoreRow(i - base, type, target, rc == 0 ? &v : nullptr);
  }
  return 0;
}

// ---- Evaluation on doubles, a block of rows per command ----
//
// The general path pays for a 40-byte Value and an out-of-line operation per command and row. A
// program without decimals needs neither: each command runs over a block of rows in plain double
// arrays, and a mask marks the rows that became NULL. A row's result must be the general path's to
// the bit: the same operations run in the same order on the same doubles, a command marks exactly
// the rows on which the general path would stop with NULL (a NULL load, a result of minus
// infinity, a divisor of zero), and rows already marked keep computing on whatever their slots hold
// (never trapping, never read) so that the loops need no branches.

bool TCalculator::IsDoubleOnly() const {
  if (FDecimalMode != 0 || FnCommand < 1 || FnCommand > kMaxCommands) return false;
  if (FLevelState[0] != 1 && FLevelState[0] != 2) return false;
  for (int i = 0; i < FnColumn; ++i) {
    if (FColumns[i].type != Q7_TYPE_INTEGER && FColumns[i].type != Q7_TYPE_DOUBLE) return false;
  }
  for (int i = 0; i < FnConst; ++i) {
    if (FConst[i].IsDecimal() || IsNull(FConst[i])) return false;
  }
  for (int i = 0; i < FnCommand; ++i) {
    const Command& c = FCommands[i];
    if (c.level < 0 || c.level >= kMaxLevels || c.target < 0 || c.target >= kSlots) return false;
    switch (c.code) {
      case kCmdLoadColumn:
        if (c.operand < 0 || c.operand >= FnColumn || (c.sign != 1 && c.sign != -1)) return false;
        break;
      case kCmdLoadConstant:
        if (c.operand < 0 || c.operand >= FnConst || (c.sign != 1 && c.sign != -1)) return false;
        break;
      case kCmdLoadLevel:
        if (c.level + 1 >= kMaxLevels || (c.operand != 1 && c.operand != 2) ||
            (c.sign != 1 && c.sign != -1)) {
          return false;
        }
        break;
      case kCmdAdd:
      case kCmdMul:
      case kCmdDiv:
        // The kernels update the left operand in place; the compiler never emits anything else.
        if (c.left != c.target || c.right < 0 || c.right >= kSlots || c.right == c.left) return false;
        break;
      default:
        return false;
    }
  }
  return true;
}

namespace {

// Rows per block: enough to pay the dispatch once for many rows, few enough that the slots and the
// mask stay in the first-level cache (64 ran faster than 256 or 1024 rows on a three-column formula).
constexpr int kBlockRows = 64;

using NullMask = uint8_t;

// Minus infinity is the only double below -DBL_MAX; unlike == it needs no NaN test.
inline bool IsMinusInf(double x) { return x < -DBL_MAX; }

// Operands: the value of row i of the block as the general path's load leaves it, and in *null
// whether that load stops the row.
struct IntOperand {
  const int32_t* numbers;
  const int32_t* values;
  const int* records;
  double sign;
  double operator()(int i, NullMask* null) const {
    const int32_t v = numbers[records[i]];
    *null = v == 0;
    // Element 0 of the list is its NULL: always there to read.
    return static_cast<double>(values[v]) * sign;
  }
};

// kNumberTest false: the list's element 0 is minus infinity, so a NULL value number needs no test
// of its own.
template <bool kNegate, bool kNumberTest>
struct DoubleOperand {
  const int32_t* numbers;
  const double* values;
  const int* records;
  double operator()(int i, NullMask* null) const {
    const int32_t v = numbers[records[i]];
    const double x = kNegate ? -values[v] : values[v];
    *null = (kNumberTest && v == 0) | IsMinusInf(x);
    return x;
  }
};

// Accepted constants are never NULL.
struct ConstOperand {
  double x;
  double operator()(int, NullMask* null) const {
    *null = 0;
    return x;
  }
};

template <class Operand>
void LoadOperand(const Operand& operand, int n, double* __restrict out, NullMask* __restrict null) {
  for (int i = 0; i < n; ++i) {
    NullMask bad;
    out[i] = operand(i, &bad);
    null[i] |= bad;
  }
}

template <int kCode>
inline double Apply(double x, double y) {
  return kCode == TCalculator::kCmdAdd ? x + y : kCode == TCalculator::kCmdMul ? x * y : x / y;
}

template <int kCode>
void ApplyInPlace(double* __restrict left, const double* __restrict right, int n, NullMask* __restrict null) {
  for (int i = 0; i < n; ++i) {
    const double y = right[i];
    const double x = Apply<kCode>(left[i], y);
    left[i] = x;
    null[i] |= (kCode == TCalculator::kCmdDiv && y == 0.0) | IsMinusInf(x);
  }
}

// A load and the operation that takes it as its right operand in one pass: `slot` still receives
// the loaded value, as the two commands would leave it.
template <int kCode, class Operand>
void LoadAndApply(const Operand& operand, double* __restrict left, double* __restrict slot, int n,
                  NullMask* __restrict null) {
  for (int i = 0; i < n; ++i) {
    NullMask bad;
    const double y = operand(i, &bad);
    slot[i] = y;
    const double x = Apply<kCode>(left[i], y);
    left[i] = x;
    null[i] |= bad | (kCode == TCalculator::kCmdDiv && y == 0.0) | IsMinusInf(x);
  }
}

// Runs a load alone (code 0) or fused with the operation `code` on `left`.
template <class Operand>
void RunOperand(const Operand& operand, int code, double* left, double* slot, int n, NullMask* null) {
  switch (code) {
    case TCalculator::kCmdAdd:
      LoadAndApply<TCalculator::kCmdAdd>(operand, left, slot, n, null);
      break;
    case TCalculator::kCmdMul:
      LoadAndApply<TCalculator::kCmdMul>(operand, left, slot, n, null);
      break;
    case TCalculator::kCmdDiv:
      LoadAndApply<TCalculator::kCmdDiv>(operand, left, slot, n, null);
      break;
    default:
      LoadOperand(operand, n, slot, null);
      break;
  }
}

template <int kState, int kSign>
void LoadInnerAs(const double* __restrict inner0, const double* __restrict inner1, int n,
                 double* __restrict out, NullMask* __restrict null) {
  for (int i = 0; i < n; ++i) {
    double x = kState == 1 ? inner0[i] : inner0[i] + inner1[i];
    if (kSign == -1) x = -x;
    out[i] = x;
    null[i] |= IsMinusInf(x);
  }
}

// A bracket's value: its first slot, or its two slots added, then signed.
void LoadInner(const double* inner0, const double* inner1, int state, int sign, int n, double* out,
               NullMask* null) {
  if (state == 1) {
    (sign == 1 ? LoadInnerAs<1, 1> : LoadInnerAs<1, -1>)(inner0, inner1, n, out, null);
  } else {
    (sign == 1 ? LoadInnerAs<2, 1> : LoadInnerAs<2, -1>)(inner0, inner1, n, out, null);
  }
}

}  // namespace

void TCalculator::EvaluateDoubleRows(int from, int to, int base, int type, const NumericInfo& target) {
  const int* rows = FSet->PIntAr() + (FStart - 1);
  int levels = 1;
  for (int i = 0; i < FnCommand; ++i) {
    const Command& c = FCommands[i];
    levels = std::max(levels, c.level + (c.code == kCmdLoadLevel ? 2 : 1));
  }
  // Slot s of level l is the block at (l * kSlots + s) * kBlockRows; zeroed once so that no row
  // ever reads memory that was never written.
  std::vector<double> slots(static_cast<size_t>(levels) * kSlots * kBlockRows);
  auto slot = [&](int level, int s) {
    return slots.data() + (static_cast<size_t>(level) * kSlots + s) * kBlockRows;
  };
  NullMask null[kBlockRows];
  double result[kBlockRows];

  for (int first = from; first < to; first += kBlockRows) {
    const int n = std::min(kBlockRows, to - first);
    const int* records = rows + first;
    std::fill(null, null + n, NullMask{0});
    for (int i = 0; i < FnCommand; ++i) {
      const Command& c = FCommands[i];
      double* out = slot(c.level, c.target);
      if (c.code == kCmdLoadColumn || c.code == kCmdLoadConstant) {
        // A load whose value the next command takes as its right operand runs with it.
        int fused = 0;
        double* left = nullptr;
        if (i + 1 < FnCommand) {
          const Command& next = FCommands[i + 1];
          if (next.code != kCmdLoadColumn && next.code != kCmdLoadConstant && next.code != kCmdLoadLevel &&
              next.level == c.level && next.right == c.target) {
            fused = next.code;
            left = slot(next.level, next.left);
            ++i;
          }
        }
        if (c.code == kCmdLoadConstant) {
          const double x = FConst[c.operand].number.dbl;
          RunOperand(ConstOperand{c.sign == -1 ? -x : x}, fused, left, out, n, null);
          continue;
        }
        const Column& column = FColumns[c.operand];
        if (column.type == Q7_TYPE_INTEGER) {
          RunOperand(IntOperand{column.numbers, static_cast<const int32_t*>(column.values), records,
                                static_cast<double>(c.sign)},
                     fused, left, out, n, null);
          continue;
        }
        const auto* values = static_cast<const double*>(column.values);
        const bool number_test = !IsMinusInf(values[0]);
        if (c.sign == 1 && !number_test) {
          RunOperand(DoubleOperand<false, false>{column.numbers, values, records}, fused, left, out, n, null);
        } else if (c.sign == 1) {
          RunOperand(DoubleOperand<false, true>{column.numbers, values, records}, fused, left, out, n, null);
        } else {
          RunOperand(DoubleOperand<true, true>{column.numbers, values, records}, fused, left, out, n, null);
        }
        continue;
      }
      switch (c.code) {
        case kCmdLoadLevel:
          LoadInner(slot(c.level + 1, 0), slot(c.level + 1, 1), c.operand, c.sign, n, out, null);
          break;
        case kCmdAdd:
          ApplyInPlace<kCmdAdd>(out, slot(c.level, c.right), n, null);
          break;
        case kCmdMul:
          ApplyInPlace<kCmdMul>(out, slot(c.level, c.right), n, null);
          break;
        default:
          ApplyInPlace<kCmdDiv>(out, slot(c.level, c.right), n, null);
          break;
      }
    }
    LoadInner(slot(0, 0), slot(0, 1), FLevelState[0], 1, n, result, null);

    const int position = first - base;
    switch (type) {
      case Q7_TYPE_INTEGER: {
        int32_t* out = FIntResults + position;
        for (int i = 0; i < n; ++i) {
          const double x = result[i];
          // The negated test also sends NaN to NULL.
          out[i] = null[i] == 0 && x < 2147483647.5 && x > -2147483648.0
                       ? static_cast<int32_t>(std::floor(x + 0.5))
                       : kIntNull;
        }
        break;
      }
      case Q7_TYPE_DOUBLE: {
        double* out = FDblResults + position;
        for (int i = 0; i < n; ++i) out[i] = null[i] == 0 ? result[i] : kDblNull;
        break;
      }
      default: {
        Numeric* out = FNumResults + position;
        for (int i = 0; i < n; ++i) {
          Numeric r = q7num::NanNumeric();
          if (null[i] == 0) q7num::NumericDbl2Num(&target, &r, result[i]);
          out[i] = r;
        }
        break;
      }
    }
  }
}

namespace {

// Gives the calculator a new array of `count` results of `type`, owned by it.
void AllocateResults(TCalculator* calc, int type) {
  calc->PurgeCalcArea();
  void* block = zpk_malloc(ResultWidth(type) * static_cast<size_t>(calc->FCount));
  if (type == Q7_TYPE_INTEGER) {
    calc->FIntResults = static_cast<int32_t*>(block);
  } else if (type == Q7_TYPE_DOUBLE) {
    calc->FDblResults = static_cast<double*>(block);
  } else {
    calc->FNumResults = static_cast<Numeric*>(block);
  }
}

}  // namespace

int TCalculator::Run() {
  const int type = FTargetFilter != nullptr && FTargetFilter->VL != nullptr ? FTargetFilter->VL->GetDataType()
                                                                            : FResultType;
  if (!IsResultType(type)) return Q7_ERROR_CALC_TYPE;
  if (FSet == nullptr || FSet->FData == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  try {
    AllocateResults(this, type);
    return EvaluateRows(0, FCount, 0, type, FResultInfo);
  } catch (...) {
    PurgeCalcArea();
    throw;
  }
}

int TCalculator::RunOnPool(int type, bool pointer_mode) {
  CSmpEngine* engine = CSmpEngine::Instance();
  const int n = engine->n_threads_for_elements(FCount);
  const int chunk = FCount / n;
  const int base = 0;
  std::vector<std::unique_ptr<TCalculator>> copies;
  copies.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    copies.push_back(std::make_unique<TCalculator>(*this));
    CalcParam* p = PoolParam<CalcParam>(i);
    p->from = base + i * chunk;
    p->to = i == n - 1 ? base + FCount : p->from + chunk;
    p->base = base;
    p->pointer_mode = pointer_mode ? 1 : 0;
    p->result_type = type;
    p->area_size = 0;
    p->calculator = copies.back().get();
    p->string_area = nullptr;
  }
  engine->run_threads_task(n, kMppTaskCalc);
  return 0;
}

int TCalculator::MppRun() {
  if (FSet == nullptr || FSet->FData == nullptr) {
    PutErrorLog("MppRun", Q7_ERROR_NO_SUCH_SET, "No Set");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  if (!IsResultType(FResultType)) return Q7_ERROR_CALC_TYPE;
  try {
    AllocateResults(this, FResultType);
    return RunOnPool(FResultType, false);
  } catch (...) {
    PurgeCalcArea();
    throw;
  }
}

int TCalculator::MppRunForPtr(void* out, int type) {
  if (FSet == nullptr || FSet->FData == nullptr) {
    PutErrorLog("MppRunPtr", Q7_ERROR_NO_SUCH_SET, "No Set");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_SET);
  }
  if (!IsResultType(type)) return Q7_ERROR_CALC_TYPE;
  if (out == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  FIntResults = nullptr;
  FDblResults = nullptr;
  FNumResults = nullptr;
  if (type == Q7_TYPE_INTEGER) {
    FIntResults = static_cast<int32_t*>(out);
  } else if (type == Q7_TYPE_DOUBLE) {
    FDblResults = static_cast<double*>(out);
  } else {
    FNumResults = static_cast<Numeric*>(out);
  }
  try {
    return RunOnPool(type, true);
  } catch (...) {
    // The array is the caller's: let go of it, never free it.
    FIntResults = nullptr;
    FDblResults = nullptr;
    FNumResults = nullptr;
    throw;
  }
}

int mpp_calc(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<CalcParam*>(param);
    TCalculator* calc = p->calculator;
    const int type = p->pointer_mode != 0 ? p->result_type : calc->FResultType;
    return calc->EvaluateRows(p->from, p->to, p->base, type, calc->FResultInfo);
  });
}
