// The instructions of the integrated calculator and its serial and parallel runs.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "calc/CalcServices.h"
#include "calc/CalcWords.h"
#include "calc/TIntegratedCalc.h"
#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/TextHelpers.h"
#include "foundation/mpp_tasks.h"
#include "foundation/zpk_memory.h"
#include "kernels/KernelPool.h"
#include "values/Numeric.h"
#include "values/NumericText.h"
#include "values/TNumericArray.h"

namespace {

constexpr int kMaxText = TIntegratedCalc::kStrSlotSize - 1;
constexpr double kDblNull = -HUGE_VAL;

bool IsNull(const Value& v) { return v.IsDecimal() ? q7num::IsNan(v.number.num) : v.number.dbl == kDblNull; }

// The NULL of a destination keeps the kind the slot holds.
void SetNull(Value& d) {
  if (d.IsDecimal()) {
    d.number.num = q7num::NanNumeric();
  } else {
    d = kDblNull;
  }
}

bool IsZero(const Value& v) {
  return v.IsDecimal() ? q7num::NumericIsZero(&v.number.num) != 0 : v.number.dbl == 0.0;
}

// -1 false, 0 NULL, 1 true.
int Truth(const Value& v) {
  if (IsNull(v)) return 0;
  return IsZero(v) ? -1 : 1;
}

// A truth value as a double (false 0.0, NULL minus infinity, true 1.0) or as a decimal at `info`.
Value TruthValue(int t, bool decimal, const NumericInfo& info) {
  if (!decimal) return Value(t == 0 ? kDblNull : (t > 0 ? 1.0 : 0.0));
  Numeric n = q7num::NanNumeric();
  if (t != 0) q7num::NumericInt2Num(t > 0 ? 1 : 0, &info, &n);
  return Value(&n, &info);
}

struct Operands {
  Value& d;
  const Value& a;
  const Value& b;
};
Operands NumOperands(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  return Operands{c->FNum[in.first], c->FNum[in.a], c->FNum[in.b]};
}

template <class Op>
int Arithmetic(int pc, TIntegratedCalc* c, Op op) {
  Operands o = NumOperands(pc, c);
  if (IsNull(o.a) || IsNull(o.b)) {
    SetNull(o.d);
  } else {
    o.d = op(o.a, o.b);
  }
  return 0;
}

template <class Cmp>
int Compare(int pc, TIntegratedCalc* c, Cmp cmp) {
  Operands o = NumOperands(pc, c);
  if (IsNull(o.a) || IsNull(o.b)) {
    SetNull(o.d);
  } else {
    o.d = cmp(o.a, o.b) ? 1.0 : 0.0;
  }
  return 0;
}

template <class Test>
int StrCompare(int pc, TIntegratedCalc* c, Test test) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  c->FNum[in.first] = test(strcmp(c->FStr[in.a], c->FStr[in.b])) ? 1.0 : 0.0;
  return 0;
}

// A text into a string slot, cut to the slot.
void PutText(char* dest, const char* text, size_t len) {
  len = std::min(len, static_cast<size_t>(kMaxText));
  memmove(dest, text, len);
  dest[len] = '\0';
}

// The integer part of a number, toward zero; false for NULL (and a double that is not a number).
// Beyond the 32-bit range it is INT_MAX or INT_MIN.
bool IntegerPart(const Value& v, int* out) {
  if (IsNull(v)) return false;
  if (v.IsDecimal()) {
    const NumericInfo down{v.info.scale, Q7_ROUND_DOWN};
    const int status = q7num::NumericNum2Int(&v.number.num, &down, out);
    if (status == Q7_NUMERIC_OVERFLOW_POSITIVE) *out = INT_MAX;
    if (status == Q7_NUMERIC_OVERFLOW_NEGATIVE) *out = INT_MIN;
    return status == Q7_NUMERIC_EXACT || status == Q7_NUMERIC_ROUNDED ||
           status == Q7_NUMERIC_OVERFLOW_POSITIVE || status == Q7_NUMERIC_OVERFLOW_NEGATIVE;
  }
  const double x = std::trunc(v.number.dbl);
  if (std::isnan(x)) return false;
  *out = x >= static_cast<double>(INT_MAX)
             ? INT_MAX
             : (x <= static_cast<double>(INT_MIN) ? INT_MIN : static_cast<int>(x));
  return true;
}

}  // namespace

// ---- Instructions ----

int IC_Plus(int pc, TIntegratedCalc* c) {
  return Arithmetic(pc, c, [](const Value& a, const Value& b) { return a + b; });
}
int IC_Minus(int pc, TIntegratedCalc* c) {
  return Arithmetic(pc, c, [](const Value& a, const Value& b) { return a - b; });
}
int IC_Mul(int pc, TIntegratedCalc* c) {
  return Arithmetic(pc, c, [](const Value& a, const Value& b) { return a * b; });
}
int IC_Div(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  if (!IsNull(o.b) && IsZero(o.b)) return -1;
  return Arithmetic(pc, c, [](const Value& a, const Value& b) { return a / b; });
}

int IC_And(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  o.d = TruthValue(std::min(Truth(o.a), Truth(o.b)), o.a.IsDecimal() && o.b.IsDecimal(), c->FDecimalInfo);
  return 0;
}
int IC_Or(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  o.d = TruthValue(std::max(Truth(o.a), Truth(o.b)), o.a.IsDecimal() && o.b.IsDecimal(), c->FDecimalInfo);
  return 0;
}
int IC_Not(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  o.d = TruthValue(-Truth(o.a), o.a.IsDecimal(), c->FDecimalInfo);
  return 0;
}

int IC_Eq(int pc, TIntegratedCalc* c) {
  return Compare(pc, c, [](const Value& a, const Value& b) { return a == b; });
}
int IC_NEq(int pc, TIntegratedCalc* c) {
  return Compare(pc, c, [](const Value& a, const Value& b) { return a != b; });
}
int IC_Lt(int pc, TIntegratedCalc* c) {
  return Compare(pc, c, [](const Value& a, const Value& b) { return a < b; });
}
int IC_Gt(int pc, TIntegratedCalc* c) {
  return Compare(pc, c, [](const Value& a, const Value& b) { return a > b; });
}
int IC_LEq(int pc, TIntegratedCalc* c) {
  return Compare(pc, c, [](const Value& a, const Value& b) { return a <= b; });
}
int IC_GEq(int pc, TIntegratedCalc* c) {
  return Compare(pc, c, [](const Value& a, const Value& b) { return a >= b; });
}

int IC_SEq(int pc, TIntegratedCalc* c) {
  return StrCompare(pc, c, [](int r) { return r == 0; });
}
int IC_SNEq(int pc, TIntegratedCalc* c) {
  return StrCompare(pc, c, [](int r) { return r != 0; });
}
int IC_SLt(int pc, TIntegratedCalc* c) {
  return StrCompare(pc, c, [](int r) { return r < 0; });
}
int IC_SGt(int pc, TIntegratedCalc* c) {
  return StrCompare(pc, c, [](int r) { return r > 0; });
}
int IC_SLEq(int pc, TIntegratedCalc* c) {
  return StrCompare(pc, c, [](int r) { return r <= 0; });
}
int IC_SGEq(int pc, TIntegratedCalc* c) {
  return StrCompare(pc, c, [](int r) { return r >= 0; });
}

int IC_NumNVL(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  o.d = IsNull(o.a) ? o.b : o.a;
  return 0;
}

int IC_IsNull(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  o.d = TruthValue(IsNull(o.a) ? 1 : -1, c->FResultType == Q7_TYPE_DECIMAL, c->FDecimalInfo);
  return 0;
}

int IC_Ceil(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  if (IsNull(o.a)) {
    SetNull(o.d);
  } else {
    o.d = Value::vceil(o.a);
  }
  return 0;
}
int IC_Round(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  if (IsNull(o.a)) {
    SetNull(o.d);
  } else {
    o.d = Value::vround(o.a);
  }
  return 0;
}
int IC_Floor(int pc, TIntegratedCalc* c) {
  Operands o = NumOperands(pc, c);
  if (IsNull(o.a)) {
    SetNull(o.d);
  } else {
    o.d = Value::vfloor(o.a);
  }
  return 0;
}

int IC_StrLen(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  c->FNum[in.first] = static_cast<double>(strlen(c->FStr[in.a]));
  return 0;
}

int IC_Pos(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  const char* hay = c->FStr[in.b];
  const char* hit = strstr(hay, c->FStr[in.a]);
  c->FNum[in.first] = hit != nullptr ? static_cast<double>(hit - hay) : -1.0;
  return 0;
}

int IC_Str2Float(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  const char* a = c->FStr[in.a];
  Value& d = c->FNum[in.first];
  char* end = nullptr;
  const double x = *a != '\0' ? strtod(a, &end) : 0.0;
  if (*a == '\0' || *end != '\0') {
    SetNull(d);
  } else {
    d = x;
  }
  return 0;
}

int IC_Str2Int(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  const char* a = c->FStr[in.a];
  Value& d = c->FNum[in.first];
  if (*a == '\0') {
    SetNull(d);
    return 0;
  }
  char* end = nullptr;
  errno = 0;
  const long v = strtol(a, &end, 10);
  // A text outside the 32-bit range is NULL, never its low 32 bits; INT_MIN is the integer NULL.
  if (*end != '\0' || errno == ERANGE || v > INT_MAX || v <= INT_MIN) {
    SetNull(d);
  } else {
    d = static_cast<double>(v);
  }
  return 0;
}

int IC_Str2Numeric(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  const char* a = c->FStr[in.a];
  Value& d = c->FNum[in.first];
  const int scale = CheckNumericFormat(a);
  if (scale < 0) {
    SetNull(d);
    return 0;
  }
  const NumericInfo info{scale, Q7_ROUND_HALF_EVEN};
  Numeric n{};
  const char* end = nullptr;
  const int status = q7num::NumericStr2Num(a, &info, &n, &end);
  if (status == Q7_NUMERIC_SYNTAX_ERROR || end == nullptr || *end != '\0') {
    SetNull(d);
  } else {
    d = Value(&n, &info);
  }
  return 0;
}

int IC_Concat(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  char* d = c->FStr[in.first];
  const char* a = c->FStr[in.a];
  const char* b = c->FStr[in.b];
  const size_t la = strnlen(a, kMaxText);
  const size_t lb = std::min(strnlen(b, kMaxText), static_cast<size_t>(kMaxText) - la);
  // a and b are slots of their own, never the destination.
  memmove(d, a, la);
  memmove(d + la, b, lb);
  d[la + lb] = '\0';
  return 0;
}

int IC_StrExtract(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  char* d = c->FStr[in.first];
  const char* s = c->FStr[in.a];
  int start = 0;
  int len = 0;
  // A NULL position or length gives the NULL text, as a NULL operand does everywhere else.
  if (!IntegerPart(c->FNum[in.b], &start) || !IntegerPart(c->FNum[in.c], &len)) {
    d[0] = '\0';
    return 0;
  }
  if (start < 0 || len < 0) throw CQ7Exception(Q7_ERROR_OUT_OF_RANGE);
  const int size = static_cast<int>(strnlen(s, kMaxText));
  len = std::min(len, kMaxText);
  len = std::min(len, size - std::min(start, size));
  if (len >= 1) {
    PutText(d, s + start, static_cast<size_t>(len));
  } else {
    d[0] = '\0';
  }
  return 0;
}

int IC_StrUpper(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  char* d = c->FStr[in.first];
  const char* a = c->FStr[in.a];
  PutText(d, a, strnlen(a, kMaxText));
  AnsiUpperCase(d);
  return 0;
}

int IC_Float2Str(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  char* d = c->FStr[in.first];
  const Value& a = c->FNum[in.a];
  d[0] = '\0';
  if (IsNull(a)) return 0;
  if (a.IsDecimal()) {
    if (q7num::NumericNum2Str(&a.number.num, &a.info, 0, a.info.scale, d, TIntegratedCalc::kStrSlotSize) < 0)
      d[0] = '\0';
  } else {
    snprintf(d, TIntegratedCalc::kStrSlotSize, "%f", a.number.dbl);
  }
  return 0;
}

int IC_Numeric2Str(int pc, TIntegratedCalc* c) { return IC_Float2Str(pc, c); }

int IC_Int2Str(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  char* d = c->FStr[in.first];
  const Value& a = c->FNum[in.a];
  d[0] = '\0';
  if (IsNull(a)) return 0;
  int v = 0;
  // A number beyond the 32-bit range has no integer text: NULL, as an integer that overflows.
  if (a.IsDecimal()) {
    const NumericInfo down{a.info.scale, Q7_ROUND_DOWN};
    const int status = q7num::NumericNum2Int(&a.number.num, &down, &v);
    if (status != Q7_NUMERIC_EXACT && status != Q7_NUMERIC_ROUNDED) return 0;
  } else {
    const double x = std::trunc(a.number.dbl);
    if (std::isnan(x) || x > static_cast<double>(INT_MAX) || x < static_cast<double>(INT_MIN)) return 0;
    v = static_cast<int>(x);
  }
  snprintf(d, TIntegratedCalc::kStrSlotSize, "%d", v);
  return 0;
}

int IC_Copy(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  c->FNum[in.first] = c->FNum[in.a];
  return 0;
}

int IC_CopyStr(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  const char* a = c->FStr[in.a];
  PutText(c->FStr[in.first], a, strnlen(a, kMaxText));
  return 0;
}

int IC_Goto(int pc, TIntegratedCalc* c) { return c->FInst[pc].first + 1; }

int IC_GotoUnless(int pc, TIntegratedCalc* c) {
  const TIntegratedCalc::Instruction& in = c->FInst[pc];
  return Truth(c->FNum[in.a]) == 1 ? 0 : in.first + 1;
}

// ---- One row ----

bool TIntegratedCalc::EvalRow(int i, int record) {
  for (int k = 0; k < FRecNoCount; ++k) FNum[FRecNoSlots[k]] = static_cast<double>(record);
  for (int k = 0; k < FRowNoCount; ++k) FNum[FRowNoSlots[k]] = static_cast<double>(FStart + i);
  for (int k = 0; k < FNumLoadCount; ++k) {
    const NumericLoad& load = FNumLoads[k];
    if (static_cast<unsigned>(record) >= static_cast<unsigned>(load.record_count)) {
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    }
    const int v = load.numbers[record];
    if (static_cast<unsigned>(v) >= static_cast<unsigned>(load.value_count)) {
      throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    }
    Value& slot = FNum[load.slot];
    if (load.type == Q7_TYPE_DECIMAL) {
      slot = Value(&static_cast<const Numeric*>(load.values)[v], &load.info);
    } else if (load.type == Q7_TYPE_INTEGER) {
      slot = v == 0 ? kDblNull : static_cast<double>(static_cast<const int32_t*>(load.values)[v]);
    } else {
      slot = static_cast<const double*>(load.values)[v];
    }
  }
  for (int k = 0; k < FStrLoadCount; ++k) {
    const StringLoad& load = FStrLoads[k];
    if (static_cast<unsigned>(record) >= static_cast<unsigned>(load.record_count)) {
      throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
    }
    const int v = load.numbers[record];
    if (static_cast<unsigned>(v) >= static_cast<unsigned>(load.value_count)) {
      throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    }
    const char* text = load.pool + load.offsets[v];
    PutText(FStr[load.slot], text, strnlen(text, kMaxText));
  }
  int pc = 0;
  while (pc < FInstCount) {
    const int k = FInst[pc].func(pc, this);
    if (k == 0) {
      ++pc;
    } else if (k > 0) {
      if (k - 2 > FInstCount) return false;
      pc = k - 1;
    } else {
      return false;
    }
  }
  return true;
}

void TIntegratedCalc::StoreNumericResult(int type, const NumericInfo& target, void* out, int64_t pos,
                                         bool ok) {
  const Value& v = FNum[0];
  const bool null = !ok || IsNull(v);
  switch (type) {
    case Q7_TYPE_INTEGER: {
      int32_t r = INT_MIN;
      if (!null && v.IsDecimal()) {
        int x = 0;
        const int status = q7num::NumericNum2Int(&v.number.num, &v.info, &x);
        if (status == Q7_NUMERIC_EXACT || status == Q7_NUMERIC_ROUNDED) r = x;
      } else if (!null) {
        const double x = v.number.dbl;
        if (!std::isnan(x) && x < 2147483647.5 && x > -2147483648.0)
          r = static_cast<int32_t>(std::floor(x + 0.5));
      }
      static_cast<int32_t*>(out)[pos] = r;
      break;
    }
    case Q7_TYPE_DOUBLE: {
      double r = kDblNull;
      if (!null && v.IsDecimal()) {
        q7num::NumericNum2Dbl(&v.number.num, &v.info, &r);
      } else if (!null) {
        r = v.number.dbl;
      }
      static_cast<double*>(out)[pos] = r;
      break;
    }
    case Q7_TYPE_DECIMAL: {
      Numeric r = q7num::NanNumeric();
      if (!null && v.IsDecimal()) {
        q7num::NumericRescale(&v.info, &target, &v.number.num, &r);
      } else if (!null && !std::isnan(v.number.dbl)) {
        q7num::NumericDbl2Num(&target, &r, v.number.dbl);
      }
      static_cast<Numeric*>(out)[pos] = r;
      break;
    }
    default:
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
}

// ---- Serial run ----

namespace {

size_t ResultWidth(int type) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return sizeof(int32_t);
    case Q7_TYPE_DOUBLE:
      return sizeof(double);
    case Q7_TYPE_DECIMAL:
      return sizeof(Numeric);
    case Q7_TYPE_STRING:
      return sizeof(char*);
    default:
      return 0;
  }
}

// Writes through the task object when the API layer registered it, else through the table.
void WriteBack(TIntegratedCalc* c, int from, int rows, void* data) {
  const CalcOverwriteFn fn = GetCalcOverwrite();
  const int rc = fn != nullptr ? fn(c->FTableID, c->FSetID, c->FFilterID, from, rows, data)
                               : c->FTable->MppOverWriteEx(c->FSetID, c->FFilterID, from, rows, data);
  if (rc < 0) throw CQ7Exception(rc);
}

// Offsets within `area` into text addresses, in place (the two are the same width).
void OffsetsToAddresses(void* slots, int64_t first, int64_t end, char* area) {
  static_assert(sizeof(uint64_t) == sizeof(char*));
  auto* bytes = static_cast<unsigned char*>(slots);
  for (int64_t i = first; i < end; ++i) {
    uint64_t offset;
    memcpy(&offset, bytes + i * 8, 8);
    char* address = area + offset;
    memcpy(bytes + i * 8, &address, 8);
  }
}

void StoreOffset(void* slots, int64_t pos, uint64_t offset) {
  memcpy(static_cast<unsigned char*>(slots) + pos * 8, &offset, 8);
}

int g_str_batch_rows_for_test = 0;

int StrBatchRows() {
  return g_str_batch_rows_for_test > 0 ? g_str_batch_rows_for_test : TIntegratedCalc::kStrBatchRows;
}

}  // namespace

void TIntegratedCalc::SetStrBatchRowsForTest(int rows) { g_str_batch_rows_for_test = rows; }

int TIntegratedCalc::Run() {
  if (FSet == nullptr || FSet->FData == nullptr) throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  if (FFilter == nullptr || FFilter->VL == nullptr) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  FResultType = FFilter->VL->GetDataType();
  if (ResultWidth(FResultType) == 0) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  // Pending values would leave value numbers the loads cannot read.
  FTable->CheckMergeFilterTVL(false);
  RefreshLoads();
  const NumericInfo target = FResultType == Q7_TYPE_DECIMAL
                                 ? *static_cast<TNumericArray*>(FFilter->VL)->GetDecimalInfo()
                                 : FDecimalInfo;
  const int* records = FSet->PIntAr();
  if (FResultType != Q7_TYPE_STRING) {
    void* out = zpk_malloc(static_cast<size_t>(FCount) * ResultWidth(FResultType));
    if (FResultType == Q7_TYPE_INTEGER) FIntResults = static_cast<int32_t*>(out);
    if (FResultType == Q7_TYPE_DOUBLE) FDblResults = static_cast<double*>(out);
    if (FResultType == Q7_TYPE_DECIMAL) FDecResults = static_cast<Numeric*>(out);
    for (int i = 0; i < FCount; ++i) {
      const bool ok = EvalRow(i, records[FStart - 1 + i]);
      StoreNumericResult(FResultType, target, out, i, ok);
    }
    WriteBack(this, FStart, FCount, out);
    return 0;
  }
  const int batch_rows = std::min(FCount, StrBatchRows());
  FStrOffsets = static_cast<uint64_t*>(zpk_malloc(static_cast<size_t>(batch_rows) * sizeof(uint64_t)));
  size_t area_size = std::max(static_cast<size_t>(static_cast<double>(FCount) * 4096 * 0.01), kMinStrArea);
  FStrArea = static_cast<char*>(zpk_malloc(area_size));
  for (int done = 0; done < FCount;) {
    const int rows = std::min(StrBatchRows(), FCount - done);
    size_t used = 0;
    for (int k = 0; k < rows; ++k) {
      const int i = done + k;
      const bool ok = EvalRow(i, records[FStart - 1 + i]);
      const char* text = ok ? FStr[0] : "";
      const size_t len = strlen(text);
      if (used + len + 1 > area_size) {
        const size_t grown = area_size + CalcApproximateStrArea(area_size, k, StrBatchRows()) + len + 2;
        const size_t new_size = std::max(grown, kMinStrArea);
        FStrArea = static_cast<char*>(zpk_realloc(FStrArea, new_size));
        area_size = new_size;
      }
      memcpy(FStrArea + used, text, len + 1);
      StoreOffset(FStrOffsets, k, used);
      used += len + 1;
    }
    OffsetsToAddresses(FStrOffsets, 0, rows, FStrArea);
    WriteBack(this, FStart + done, rows, FStrOffsets);
    done += rows;
    if (done < FCount) {
      // The write may have replaced the arrays that later rows read.
      FTable->CheckMergeFilterTVL(false);
      RefreshLoads();
    }
  }
  return 0;
}

// ---- Parallel runs ----

namespace {

struct ICalcParam {
  MppParamHeader header;
  int32_t from;
  int32_t to;
  int32_t base;
  int32_t pointer_mode;
  int32_t result_type;
  uint64_t area_size;
  TIntegratedCalc* calc;
  char* area;
  void* results;       // the shared result array (row i at i - base)
  NumericInfo target;  // the target decimal info
  uint64_t area_used;  // bytes of the area the worker filled
};

// What one parallel run owns: the worker copies and their string areas.
struct WorkerRun {
  std::vector<std::unique_ptr<TIntegratedCalc>> copies;
  std::vector<char*> areas;
  std::vector<uint64_t> used;
  std::vector<int> from;
  std::vector<int> to;
  WorkerRun() = default;
  WorkerRun(const WorkerRun&) = delete;
  WorkerRun& operator=(const WorkerRun&) = delete;
  ~WorkerRun() {
    for (char* a : areas) zpk_free(a);
  }
};

// Splits the range over the workers, runs task 19 and collects the areas (also when it fails).
void RunOnWorkers(TIntegratedCalc* calc, bool pointer_mode, int type, void* results,
                  const NumericInfo& target, WorkerRun& run) {
  const int count = calc->FCount;
  const int n = CSmpEngine::Instance()->n_threads_for_elements(count);
  const int chunk = count / n;
  const int base = 0;
  run.areas.assign(static_cast<size_t>(n), nullptr);
  run.used.assign(static_cast<size_t>(n), 0);
  size_t area_size = 0;
  if (type == Q7_TYPE_STRING) {
    area_size = std::max(static_cast<size_t>((static_cast<double>(chunk) * 4096 + 4096) * 0.01),
                         TIntegratedCalc::kMinStrArea);
  }
  for (int w = 0; w < n; ++w) {
    run.copies.push_back(std::make_unique<TIntegratedCalc>(*calc));
    if (type == Q7_TYPE_STRING) run.areas[static_cast<size_t>(w)] = static_cast<char*>(zpk_malloc(area_size));
    const int from = base + w * chunk;
    run.from.push_back(from);
    run.to.push_back(w == n - 1 ? base + count : from + chunk);
  }
  for (int w = 0; w < n; ++w) {
    auto* p = PoolParam<ICalcParam>(w);
    p->from = run.from[static_cast<size_t>(w)];
    p->to = run.to[static_cast<size_t>(w)];
    p->base = base;
    p->pointer_mode = pointer_mode ? 1 : 0;
    p->result_type = type;
    p->area_size = area_size;
    p->calc = run.copies[static_cast<size_t>(w)].get();
    p->area = run.areas[static_cast<size_t>(w)];
    p->results = results;
    p->target = target;
    p->area_used = 0;
  }
  auto collect = [&] {
    for (int w = 0; w < n; ++w) {
      auto* p = PoolParam<ICalcParam>(w);
      run.areas[static_cast<size_t>(w)] = p->area;
      run.used[static_cast<size_t>(w)] = p->area_used;
      p->area = nullptr;
    }
  };
  try {
    RunKernelTask(n, kMppTaskIntegratedCalc);
  } catch (...) {
    collect();
    throw;
  }
  collect();
}

}  // namespace

int mpp_integrated_calc(void* param) {
  auto* p = static_cast<ICalcParam*>(param);
  try {
    TIntegratedCalc* c = p->calc;
    const int* records = c->FSet->PIntAr();
    uint64_t used = 0;
    for (int i = p->from; i < p->to; ++i) {
      const bool ok = c->EvalRow(i, records[c->FStart - 1 + i]);
      const int64_t pos = static_cast<int64_t>(i) - p->base;
      if (p->result_type != Q7_TYPE_STRING) {
        c->StoreNumericResult(p->result_type, p->target, p->results, pos, ok);
        continue;
      }
      const char* text = ok ? c->FStr[0] : "";
      const size_t len = strlen(text);
      if (used + len + 1 > p->area_size) {
        const size_t new_size =
            p->area_size +
            TIntegratedCalc::CalcApproximateStrArea(p->area_size, i - p->from, p->to - p->from) + len + 2;
        p->area = static_cast<char*>(zpk_realloc(p->area, new_size));
        p->area_size = new_size;
      }
      memcpy(p->area + used, text, len + 1);
      StoreOffset(p->results, pos, used);
      used += len + 1;
    }
    if (p->result_type == Q7_TYPE_STRING && p->pointer_mode == 0) {
      OffsetsToAddresses(p->results, p->from - p->base, p->to - p->base, p->area);
    }
    p->area_used = used;
    return 0;
  } catch (const CQ7Exception& e) {
    zpk_free(p->area);
    p->area = nullptr;
    return e.ErrorCode() < 0 ? e.ErrorCode() : static_cast<int>(Q7_ERROR_UNKNOWN);
  } catch (...) {
    zpk_free(p->area);
    p->area = nullptr;
    return static_cast<int>(Q7_ERROR_UNKNOWN);
  }
}

int TIntegratedCalc::MppRun() {
  if (FSet == nullptr || FSet->FData == nullptr) {
    PutErrorLog("MppRun", Q7_ERROR_ILLEGAL_FILTER, "No Filter");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  if (FFilter == nullptr || FFilter->VL == nullptr) throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  FResultType = FFilter->VL->GetDataType();
  const size_t width = ResultWidth(FResultType);
  if (width == 0) {
    PutErrorLog("MppRun", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
  FTable->CheckMergeFilterTVL(true);
  RefreshLoads();
  const NumericInfo target = FResultType == Q7_TYPE_DECIMAL
                                 ? *static_cast<TNumericArray*>(FFilter->VL)->GetDecimalInfo()
                                 : FDecimalInfo;
  void* out = nullptr;
  try {
    out = zpk_malloc(static_cast<size_t>(FCount) * width);
  } catch (const CQ7Exception&) {
    PutErrorLog("MppRun", Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
    throw;
  }
  switch (FResultType) {
    case Q7_TYPE_INTEGER:
      FIntResults = static_cast<int32_t*>(out);
      break;
    case Q7_TYPE_DOUBLE:
      FDblResults = static_cast<double*>(out);
      break;
    case Q7_TYPE_DECIMAL:
      FDecResults = static_cast<Numeric*>(out);
      break;
    default:
      FStrOffsets = static_cast<uint64_t*>(out);
      break;
  }
  WorkerRun run;
  RunOnWorkers(this, false, FResultType, out, target, run);
  run.copies.clear();
  WriteBack(this, FStart, FCount, out);
  RefreshLoads();
  return 0;
}

int TIntegratedCalc::MppRunForPtr(int type, void* out, unsigned long size, char* area) {
  if (FSet == nullptr || FSet->FData == nullptr) {
    PutErrorLog("MppRunForPtr", Q7_ERROR_ILLEGAL_FILTER, "No Filter");
    throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
  }
  if (ResultWidth(type) == 0) {
    PutErrorLog("MppRun", Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)");
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE);
  }
  if (out == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  FTable->CheckMergeFilterTVL(true);
  RefreshLoads();
  WorkerRun run;
  RunOnWorkers(this, true, type, out, FDecimalInfo, run);
  run.copies.clear();
  if (type != Q7_TYPE_STRING) return 0;
  uint64_t total = 0;
  for (uint64_t u : run.used) total += u;
  if (total > size || (total > 0 && area == nullptr)) {
    // No text goes out and no address points at one that did not.
    memset(out, 0, static_cast<size_t>(FCount) * sizeof(char*));
    throw CQ7Exception(Q7_ERROR_CALC_OUTPUT_OVERFLOW);
  }
  uint64_t at = 0;
  for (size_t w = 0; w < run.areas.size(); ++w) {
    if (run.used[w] > 0) memcpy(area + at, run.areas[w], run.used[w]);
    OffsetsToAddresses(out, run.from[w], run.to[w], area + at);
    at += run.used[w];
  }
  return 0;
}
