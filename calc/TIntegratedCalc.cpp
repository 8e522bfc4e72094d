// The integrated calculator: parsing a formula of nested function calls and running it over a set.
#include "calc/TIntegratedCalc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calc/CalcWords.h"
#include "calc/TCalculator.h"
#include "database/NoSuchTexts.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_memory.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

TIntegratedCalc* ICalc = nullptr;

namespace {

constexpr char kSyntax[] = "Calc Syntax Error";
constexpr char kIncomplete[] = "Calc Syntax Error ( Illegal String: Is imcomplete )";
constexpr char kNoFuncName[] = "Calc Syntax Error ( Illegal String: No FuncName )";

[[noreturn]] void Fail(const char* log_name, int code, const char* message) {
  PutErrorLog(log_name, code, message);
  throw CQ7Exception(code, "%s", message);
}

bool IsBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// Ends a column name: a "(" belongs to the name.
bool EndsName(char c) { return c == '\0' || IsBlank(c) || c == ')' || c == ','; }
// Ends a number or a function name.
bool EndsWord(char c) { return EndsName(c) || c == '('; }

// Argument kinds of a function: N numeric, S string.
constexpr int N = TIntegratedCalc::kModeNumeric;
constexpr int S = TIntegratedCalc::kModeString;

struct FunctionDef {
  const char* name;
  ICFunction func;  // null for IF
  int arg_count;
  int kinds[3];
};

const FunctionDef kNumericFunctions[] = {
    {"+", IC_Plus, 2, {N, N}},        {"-", IC_Minus, 2, {N, N}},
    {"*", IC_Mul, 2, {N, N}},         {"/", IC_Div, 2, {N, N}},
    {"AND", IC_And, 2, {N, N}},       {"OR", IC_Or, 2, {N, N}},
    {"NOT", IC_Not, 1, {N}},          {"=", IC_Eq, 2, {N, N}},
    {"<>", IC_NEq, 2, {N, N}},        {"<", IC_Lt, 2, {N, N}},
    {">", IC_Gt, 2, {N, N}},          {"<=", IC_LEq, 2, {N, N}},
    {">=", IC_GEq, 2, {N, N}},        {"EQ", IC_SEq, 2, {S, S}},
    {"NEQ", IC_SNEq, 2, {S, S}},      {"LT", IC_SLt, 2, {S, S}},
    {"GT", IC_SGt, 2, {S, S}},        {"LEQ", IC_SLEq, 2, {S, S}},
    {"GEQ", IC_SGEq, 2, {S, S}},      {"IF", nullptr, 3, {N, N, N}},
    {"NVL", IC_NumNVL, 2, {N, N}},    {"ISNULL", IC_IsNull, 1, {N}},
    {"CEIL", IC_Ceil, 1, {N}},        {"ROUND", IC_Round, 1, {N}},
    {"FLOOR", IC_Floor, 1, {N}},      {"LEN", IC_StrLen, 1, {S}},
    {"POS", IC_Pos, 2, {S, S}},       {"STRTOFLOAT", IC_Str2Float, 1, {S}},
    {"STRTOINT", IC_Str2Int, 1, {S}}, {"STRTONUMERIC", IC_Str2Numeric, 1, {S}},
};

const FunctionDef kStringFunctions[] = {
    {"&", IC_Concat, 2, {S, S}},
    {"EXTRACT", IC_StrExtract, 3, {S, N, N}},
    {"UPPER", IC_StrUpper, 1, {S}},
    {"IF", nullptr, 3, {N, S, S}},
    {"FLOATTOSTR", IC_Float2Str, 1, {N}},
    {"INTTOSTR", IC_Int2Str, 1, {N}},
    {"NUMERICTOSTR", IC_Numeric2Str, 1, {N}},
};

template <size_t K>
int FindFunction(const FunctionDef (&table)[K], const char* upper_name) {
  for (size_t i = 0; i < K; ++i) {
    if (strcmp(table[i].name, upper_name) == 0) return static_cast<int>(i);
  }
  return -1;
}

const FunctionDef& FunctionOf(int mode, int token) {
  const int index = token - TIntegratedCalc::kTokenCall;
  return mode == N ? kNumericFunctions[index] : kStringFunctions[index];
}

}  // namespace

TIntegratedCalc::TIntegratedCalc() {
  memset(FStr, 0, sizeof(FStr));
  memset(FRecNoSlots, 0, sizeof(FRecNoSlots));
  memset(FRowNoSlots, 0, sizeof(FRowNoSlots));
  memset(FNumLoads, 0, sizeof(FNumLoads));
  memset(FStrLoads, 0, sizeof(FStrLoads));
  memset(FInst, 0, sizeof(FInst));
}

TIntegratedCalc::TIntegratedCalc(const TIntegratedCalc& other) {
  memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(TIntegratedCalc));
  FOwner = 0;
}

TIntegratedCalc::~TIntegratedCalc() {
  if (FOwner == 1) FreeResults();
}

void TIntegratedCalc::FreeResults() {
  zpk_free(FIntResults);
  zpk_free(FDecResults);
  zpk_free(FDblResults);
  zpk_free(FStrOffsets);
  zpk_free(FStrArea);
  FIntResults = nullptr;
  FDecResults = nullptr;
  FDblResults = nullptr;
  FStrOffsets = nullptr;
  FStrArea = nullptr;
}

unsigned long TIntegratedCalc::CalcApproximateStrArea(unsigned long size, int done, int total) {
  // Before the first row there is no use to go by: ask for as much again.
  if (done <= 0) return size;
  return size / static_cast<unsigned long>(done) *
         static_cast<unsigned long>(total > done ? total - done : 0);
}

// ---- Setup ----

int TIntegratedCalc::SetupRange(int set, int start, int count, const char* log_name) {
  FSet = FTable->GetSet(set);
  if (FSet == nullptr) return Q7_ERROR_NO_SUCH_SET;
  FSetID = set < 0 ? FTable->GetCurrentSetID() : set;
  FStart = start;
  FCount = count;
  const int64_t rows = FSet->FArraySize;
  if (start < 1 || start > rows) {
    PutErrorLog(log_name, Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : FCalStart");
    return Q7_ERROR_OUT_OF_RANGE;
  }
  if (count < 1 || static_cast<int64_t>(start) + count - 1 > rows) {
    PutErrorLog(log_name, Q7_ERROR_OUT_OF_RANGE, "Invalid Parameter : CalCount");
    return Q7_ERROR_OUT_OF_RANGE;
  }
  return 0;
}

int TIntegratedCalc::Setup(int set, int filter, int start, int count, const char* formula) {
  FFormula = formula != nullptr ? formula : "";
  FFormulaLength = static_cast<int32_t>(strlen(FFormula));
  if (const int rc = SetupRange(set, start, count, "Setup"); rc != 0) return rc;
  FFilter = FTable->GetFilter(filter);
  if (FFilter == nullptr) {
    PutErrorLog("Setup", Q7_ERROR_NO_SUCH_FILTER, NoSuchFilterText(filter));
    return Q7_ERROR_NO_SUCH_FILTER;
  }
  FFilterID = filter;
  try {
    FFilter->Taint();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  FResultType = FFilter->VL != nullptr ? FFilter->VL->GetDataType() : 0;
  FResultTypeCopy = FResultType;
  FDecimalMode = CheckNumericFormula(FTable, FFormula, false) == 1 ? 1 : 0;
  if (FResultType == Q7_TYPE_INTEGER || FResultType == Q7_TYPE_DOUBLE || FResultType == Q7_TYPE_DECIMAL) {
    FResultMode = kModeNumeric;
  } else if (FResultType == Q7_TYPE_STRING) {
    FResultMode = kModeString;
  } else {
    PutErrorLog("Setup", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
    return Q7_ERROR_INNER_ENGINE;
  }
  return 0;
}

int TIntegratedCalc::SetupForPtr(int set, int start, int count, const char* formula, int type) {
  FFormula = formula != nullptr ? formula : "";
  FFormulaLength = static_cast<int32_t>(strlen(FFormula));
  FResultType = type;
  FResultTypeCopy = type;
  if (const int rc = SetupRange(set, start, count, "SetupForPtr"); rc != 0) return rc;
  FDecimalInfo = NumericInfo{6, Q7_ROUND_HALF_UP};
  FDecimalMode = CheckNumericFormula(FTable, FFormula, false) == 1 ? 1 : 0;
  if (type == Q7_TYPE_INTEGER || type == Q7_TYPE_DOUBLE || type == Q7_TYPE_DECIMAL) {
    FResultMode = kModeNumeric;
  } else if (type == Q7_TYPE_STRING) {
    FResultMode = kModeString;
  } else {
    PutErrorLog("SetupForPtr", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
    return Q7_ERROR_INNER_ENGINE;
  }
  return 0;
}

// ---- Parser ----

int TIntegratedCalc::Parser() {
  try {
    if (FResultMode != kModeNumeric && FResultMode != kModeString) {
      PutErrorLog("Parser", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
      return Q7_ERROR_INNER_ENGINE;
    }
    FPos = 0;
    const int slot = Alloc(FResultMode);
    Parse1(FResultMode, slot);
    while (FPos < FFormulaLength && IsBlank(FFormula[FPos])) ++FPos;
    if (FPos < FFormulaLength) Fail("Parser", Q7_ERROR_CALC_SYNTAX, kSyntax);
    RefreshLoads();
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
}

int TIntegratedCalc::Alloc(int kind) {
  if (kind == kModeNumeric) {
    if (FNumCount >= kMaxSlots) throw CQ7Exception(Q7_ERROR_CALC_AREA2_OVERFLOW);
    FNum[FNumCount] = Value();
    return FNumCount++;
  }
  if (kind == kModeString) {
    if (FStrCount >= kMaxSlots) throw CQ7Exception(Q7_ERROR_CALC_AREA1_OVERFLOW);
    FStr[FStrCount][0] = '\0';
    return FStrCount++;
  }
  throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
}

int TIntegratedCalc::AppendInstruction(ICFunction func, int first, int a, int b, int c) {
  if (FInstCount >= kMaxInstructions) Fail("Parse1", Q7_ERROR_CALC_STACK_OVERFLOW, "Calc Stack Overflow");
  FInst[FInstCount] = Instruction{func, first, a, b, c};
  return FInstCount++;
}

void TIntegratedCalc::Parse1(int mode, int slot) {
  const int token = mode == kModeNumeric ? WaitNumber(slot) : WaitString(slot);
  // The end where an expression is expected: inside a call a syntax error, and at the top a
  // formula that computes nothing, which is refused as well rather than reported as success.
  if (token == kTokenEnd) Fail("Parse1", Q7_ERROR_CALC_SYNTAX, kSyntax);
  if (token == kTokenDone) return;
  const FunctionDef& f = FunctionOf(mode, token);
  ++FOpenCalls;
  if (f.func == nullptr) {
    ParseIf(mode, slot);
    return;
  }
  int args[3] = {0, 0, 0};
  for (int k = 0; k < f.arg_count; ++k) {
    if (k > 0) WaitComma();
    args[k] = Alloc(f.kinds[k]);
    Parse1(f.kinds[k], args[k]);
  }
  WaitCloseBlacket();
  --FOpenCalls;
  AppendInstruction(f.func, slot, args[0], args[1], args[2]);
}

void TIntegratedCalc::ParseIf(int mode, int slot) {
  const ICFunction copy = mode == kModeNumeric ? IC_Copy : IC_CopyStr;
  const int cond = Alloc(kModeNumeric);
  Parse1(kModeNumeric, cond);
  WaitComma();
  const int g1 = AppendInstruction(IC_Goto, 0, 0, 0, 0);
  const int then_slot = Alloc(mode);
  Parse1(mode, then_slot);
  AppendInstruction(copy, slot, then_slot, 0, 0);
  WaitComma();
  const int g2 = AppendInstruction(IC_Goto, 0, 0, 0, 0);
  const int else_slot = Alloc(mode);
  Parse1(mode, else_slot);
  AppendInstruction(copy, slot, else_slot, 0, 0);
  WaitCloseBlacket();
  --FOpenCalls;
  FInst[g1] = Instruction{IC_GotoUnless, g2 + 1, cond, 0, 0};
  FInst[g2] = Instruction{IC_Goto, FInstCount, 0, 0, 0};
}

void TIntegratedCalc::AddColumnLoad(int slot, const char* name, bool string_operand, const char* log_name) {
  const int pos = FTable->FilterName2Pos(name);
  if (pos < 0) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  TFilter* filter = FTable->FFilters[pos];
  const int type = filter->VL != nullptr ? filter->VL->GetDataType() : 0;
  if (string_operand) {
    if (type != Q7_TYPE_STRING) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
    StringLoad& load = FStrLoads[FStrLoadCount++];
    load = StringLoad{};
    load.slot = slot;
    load.filter = filter;
    return;
  }
  if (type != Q7_TYPE_INTEGER && type != Q7_TYPE_DOUBLE && type != Q7_TYPE_DECIMAL) {
    Fail(log_name, Q7_ERROR_ILLEGAL_FILTER_TYPE, "Calc Syntax Error ( Illegal DataType )");
  }
  NumericLoad& load = FNumLoads[FNumLoadCount++];
  load = NumericLoad{};
  load.slot = slot;
  load.type = type;
  load.filter = filter;
}

void TIntegratedCalc::RefreshLoads() {
  for (int k = 0; k < FNumLoadCount; ++k) {
    NumericLoad& load = FNumLoads[k];
    TFilter* f = load.filter;
    load.numbers = f->PV != nullptr ? f->PV->PIntAr() : nullptr;
    load.record_count = f->PV != nullptr ? f->PV->FArraySize : 0;
    load.values = f->VL->FData;
    load.value_count = f->VL->FArraySize;
    if (load.type == Q7_TYPE_DECIMAL) load.info = *static_cast<TNumericArray*>(f->VL)->GetDecimalInfo();
  }
  for (int k = 0; k < FStrLoadCount; ++k) {
    StringLoad& load = FStrLoads[k];
    TFilter* f = load.filter;
    auto* list = static_cast<TStrArray*>(f->VL);
    load.numbers = f->PV != nullptr ? f->PV->PIntAr() : nullptr;
    load.record_count = f->PV != nullptr ? f->PV->FArraySize : 0;
    load.offsets = list->Offsets();
    load.pool = list->FStrArea;
    load.value_count = list->FArraySize;
  }
}

void TIntegratedCalc::ReadNumber(int slot, const char* word) {
  char* end = nullptr;
  const double d = strtod(word, &end);
  const int scale = CheckNumericFormat(word);
  bool bad = end == word || *end != '\0' || scale < 0 || (FDecimalMode != 1 && !std::isfinite(d));
  Numeric n{};
  NumericInfo info{scale, Q7_ROUND_HALF_EVEN};
  if (!bad && FDecimalMode == 1) {
    const char* stop = nullptr;
    int status = q7num::NumericStr2Num(word, &info, &n, &stop);
    if (FResultType != Q7_TYPE_DECIMAL &&
        (status == Q7_NUMERIC_OVERFLOW_POSITIVE || status == Q7_NUMERIC_OVERFLOW_NEGATIVE)) {
      info.scale = 0;
      status = q7num::NumericStr2Num(word, &info, &n, &stop);
    }
    // A constant too large even at scale 0 would compute as NULL in every row, and a word the
    // decimal reader takes only in part ("0x10") would compute with another number: both are
    // refused, as the four-operation calculator refuses them.
    bad = status == Q7_NUMERIC_SYNTAX_ERROR || q7num::NumericIsNan(&n) != 0 || stop != word + strlen(word);
  }
  if (bad) {
    snprintf(FPCParseError, sizeof(FPCParseError), "NOT A NUMBER: %s", word);
    Fail("WaitNumber", Q7_ERROR_CALC_SYNTAX, kSyntax);
  }
  if (FDecimalMode == 1) {
    FNum[slot] = Value(&n, &info);
  } else {
    FNum[slot] = Value(d);
  }
}

int TIntegratedCalc::WaitNumber(int slot) {
  while (FPos < FFormulaLength && IsBlank(FFormula[FPos])) ++FPos;
  if (FPos >= FFormulaLength) return kTokenEnd;
  char word[kNumberBufferSize];
  const char* p = FFormula + FPos;
  if (*p == '@') {
    int len = 0;
    while (!EndsName(p[1 + len])) ++len;
    if (len >= kNumberBufferSize) Fail("WaitNumber", Q7_ERROR_CALC_SYNTAX, kSyntax);
    memcpy(word, p + 1, static_cast<size_t>(len));
    word[len] = '\0';
    FPos += 1 + len;
    AddColumnLoad(slot, word, false, "WaitNumber");
    return kTokenDone;
  }
  int len = 0;
  while (!EndsWord(p[len])) ++len;
  if (len >= kNumberBufferSize) Fail("WaitNumber", Q7_ERROR_CALC_SYNTAX, kSyntax);
  memcpy(word, p, static_cast<size_t>(len));
  word[len] = '\0';
  if (p[len] == '(') {
    AnsiUpperCase(word);
    const int index = FindFunction(kNumericFunctions, word);
    if (index < 0) Fail("WaitNumber", Q7_ERROR_CALC_SYNTAX, kNoFuncName);
    FPos += len + 1;
    return kTokenCall + index;
  }
  if (len == 0) Fail("WaitNumber", Q7_ERROR_CALC_SYNTAX, kIncomplete);
  FPos += len;
  char upper[kNumberBufferSize];
  memcpy(upper, word, static_cast<size_t>(len) + 1);
  AnsiUpperCase(upper);
  if (strcmp(upper, "RECNO") == 0) {
    FRecNoSlots[FRecNoCount++] = slot;
    return kTokenDone;
  }
  if (strcmp(upper, "ROWNO") == 0) {
    FRowNoSlots[FRowNoCount++] = slot;
    return kTokenDone;
  }
  ReadNumber(slot, word);
  return kTokenDone;
}

int TIntegratedCalc::WaitString(int slot) {
  while (FPos < FFormulaLength && IsBlank(FFormula[FPos])) ++FPos;
  if (FPos >= FFormulaLength) return kTokenEnd;
  if (FFormula[FPos] != '$') Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kIncomplete);
  ++FPos;
  if (FPos >= FFormulaLength)
    Fail("WaitString", Q7_ERROR_CALC_SYNTAX, "Calc Syntax Error ( Illegal String: No $ code )");
  const char* p = FFormula + FPos;
  if (*p == '"') {
    char* out = FStr[slot];
    int n = 0;
    int pos = FPos + 1;
    for (;;) {
      if (pos >= FFormulaLength) Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kIncomplete);
      const char c = FFormula[pos];
      if (c == '\n' || c == '\r') Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kIncomplete);
      if (c == '"') {
        if (pos + 1 < FFormulaLength && FFormula[pos + 1] == '"') {
          pos += 2;
        } else {
          ++pos;
          break;
        }
      } else {
        ++pos;
      }
      if (n >= kStrSlotSize - 1) {
        Fail("WaitString", Q7_ERROR_STRING_SIZE_OVERFLOW, "Calc Syntax Error ( StringSize Overflow )");
      }
      out[n++] = c;
    }
    out[n] = '\0';
    FPos = pos;
    return kTokenDone;
  }
  if (*p == '@') {
    char name[kNumberBufferSize];
    int len = 0;
    while (!EndsName(p[1 + len])) ++len;
    if (len >= kNumberBufferSize) Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kSyntax);
    memcpy(name, p + 1, static_cast<size_t>(len));
    name[len] = '\0';
    FPos += 1 + len;
    AddColumnLoad(slot, name, true, "WaitString");
    return kTokenDone;
  }
  int len = 0;
  while (!EndsWord(p[len])) ++len;
  if (p[len] != '(') Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kIncomplete);
  if (len >= kStrNameBufferSize) Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kNoFuncName);
  char name[kStrNameBufferSize];
  memcpy(name, p, static_cast<size_t>(len));
  name[len] = '\0';
  AnsiUpperCase(name);
  const int index = FindFunction(kStringFunctions, name);
  if (index < 0) Fail("WaitString", Q7_ERROR_CALC_SYNTAX, kNoFuncName);
  FPos += len + 1;
  return kTokenCall + index;
}

void TIntegratedCalc::WaitComma() {
  while (FPos < FFormulaLength && IsBlank(FFormula[FPos])) ++FPos;
  if (FPos >= FFormulaLength) Fail("WaitComma", Q7_ERROR_CALC_SYNTAX, kIncomplete);
  if (FFormula[FPos] != ',')
    Fail("WaitComma", Q7_ERROR_CALC_SYNTAX, "Calc Syntax Error ( Illegal String: No Comma code )");
  ++FPos;
}

void TIntegratedCalc::WaitCloseBlacket() {
  while (FPos < FFormulaLength && IsBlank(FFormula[FPos])) ++FPos;
  if (FPos >= FFormulaLength) Fail("WaitCloseBlacket", Q7_ERROR_CALC_SYNTAX, kIncomplete);
  if (FFormula[FPos] != ')') {
    Fail("WaitCloseBlacket", Q7_ERROR_CALC_SYNTAX,
         "Calc Syntax Error ( Illegal String: No CloseBlacket code )");
  }
  ++FPos;
}
