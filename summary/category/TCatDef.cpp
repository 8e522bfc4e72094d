// Categories, serial road: a category table read as ordered conditions, and the marking of rows.
#include "summary/category/TCatDef.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "foundation/mpp_tasks.h"
#include "kernels/KernelPool.h"
#include "summary/category/CategoryOperators.h"
#include "values/Numeric.h"
#include "values/TBaseArray.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr char kTargetLog[] = "Constructor of TCatTarget";
constexpr char kDefLog[] = "Constructor of TCatDef";

// Above this many elements the rows of the new column are filled on the pool.
constexpr int kSerialRowLimit = 99999;

[[noreturn]] void Refuse(const char* log_name, int code, const char* text) {
  PutErrorLog(log_name, code, text);
  throw CQ7Exception(code);
}

// The filter with that ID, without a ring entry of the lookup's own.
TFilter* FindFilter(TRealTable* table, int filter_id) {
  const int pos = table->FilterID2Pos(filter_id);
  return pos < 0 ? nullptr : table->FFilters[pos];
}

int ListType(const TFilter* filter) {
  if (filter->VL == nullptr) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILTER_TYPE);
  return filter->VL->GetDataType();
}

NumericInfo DecimalInfo(TFilter* filter) {
  NumericInfo info{};
  static_cast<TNumericArray*>(filter->VL)->GetDecimalInfo(&info);
  return info;
}

// Every row of the category table needs a value number (rows + 1 elements).
const int* RowValueNumbers(const TFilter* filter, int rows) {
  if (filter->PV == nullptr || filter->PV->FArraySize < rows + 1)
    throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  return static_cast<const int*>(filter->PV->FData);
}

// Decimals in value-list order: NaN (the NULL) below every number and equal to itself, also
// across scales. The rescaling compare returns +1 when a < b.
int CompareDecimals(const NumericInfo* ia, const Numeric* a, const NumericInfo* ib, const Numeric* b) {
  const bool nan_a = q7num::IsNan(*a);
  const bool nan_b = q7num::IsNan(*b);
  if (nan_a || nan_b) return nan_a == nan_b ? 0 : (nan_a ? -1 : 1);
  const int c = q7num::NumericRescalingCmp(ia, ib, a, b);
  if (c == Q7_NUMERIC_INVALID_MODE) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal rounding mode");
  return -c;
}

void CheckBufSize(int n) {
  if (n == 0) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "BufSize == 0");
  if (n < 0) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "BufSize < 0 or too large");
}

// The common search over entries 0 .. n - 1; cmp(i) is the sign of entry i against the key.
template <class Cmp>
int BiSection(int n, Cmp cmp, int* lo, int* hi) {
  CheckBufSize(n);
  if (cmp(0) > 0) {
    *lo = *hi = -1;
    return -1;
  }
  if (cmp(n - 1) < 0) {
    *lo = *hi = n;
    return 1;
  }
  int64_t step = 1;
  while (step < n) step <<= 1;
  int at = 0;  // entry 0 <= key
  for (; step > 0; step >>= 1) {
    const int64_t next = at + step;
    if (next < n && cmp(static_cast<int>(next)) <= 0) at = static_cast<int>(next);
  }
  *lo = at;
  *hi = cmp(at) == 0 ? at : at + 1;
  return 0;
}

// A double key: a NaN key is below every entry (it compares with nothing).
template <class T>
int DoubleCmp(T entry, double key) {
  const double e = static_cast<double>(entry);
  if (std::isnan(key)) return 1;
  return e < key ? -1 : (e > key ? 1 : 0);
}

}  // namespace

// ---- Searches ----

int iBiSectionI(const int* list, int n, double key, int* lo, int* hi) {
  return BiSection(
      n, [&](int i) { return DoubleCmp(list[i], key); }, lo, hi);
}

int iBiSectionD(const double* list, int n, double key, int* lo, int* hi) {
  return BiSection(
      n, [&](int i) { return DoubleCmp(list[i], key); }, lo, hi);
}

int iBiSectionS(const uint64_t* offsets, const char* area, int n, const char* key, int* lo, int* hi) {
  return BiSection(
      n,
      [&](int i) {
        const int c = std::strcmp(area + offsets[i], key);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
      },
      lo, hi);
}

int iBiSectionN(const Numeric* list, int n, const NumericInfo* list_info, const Numeric* key,
                const NumericInfo* key_info, int* lo, int* hi) {
  return BiSection(
      n, [&](int i) { return CompareDecimals(list_info, &list[i], key_info, key); }, lo, hi);
}

// ---- Key conversion ----

static bool IsNullParam(int param_type, const TCatKey& value) {
  switch (param_type) {
    case Q7_TYPE_INTEGER:
      return value.i == Q7_NULL_INTEGER;
    case Q7_TYPE_DOUBLE:
      return value.d <= -std::numeric_limits<double>::infinity();
    case Q7_TYPE_DECIMAL:
      return q7num::IsNan(value.n);
    default:
      return false;  // a text NULL is the empty text, the same in every text list
  }
}

void convDataType(int target_type, const NumericInfo* target_info, int param_type,
                  const NumericInfo* param_info, TCatKey* value) {
  const bool number_param =
      param_type == Q7_TYPE_INTEGER || param_type == Q7_TYPE_DOUBLE || param_type == Q7_TYPE_DECIMAL;
  const bool double_target = target_type == Q7_TYPE_INTEGER || target_type == Q7_TYPE_DOUBLE;
  if (target_type == Q7_TYPE_STRING && param_type == Q7_TYPE_STRING) return;
  if (!number_param || !(double_target || target_type == Q7_TYPE_DECIMAL)) {
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal data type pair ( target %d, param %d )", target_type,
                       param_type);
  }
  // A NULL parameter keys as the target's own NULL, whatever its type: the NULL entry of the
  // value list is then found by equality, and nothing lies below it.
  if (IsNullParam(param_type, *value)) {
    if (target_type == Q7_TYPE_INTEGER) {
      value->d = static_cast<double>(Q7_NULL_INTEGER);
    } else if (target_type == Q7_TYPE_DOUBLE) {
      value->d = -std::numeric_limits<double>::infinity();
    } else {
      value->n = q7num::NanNumeric();
    }
    return;
  }
  if (double_target) {
    if (param_type == Q7_TYPE_INTEGER) {
      value->d = static_cast<double>(value->i);
    } else if (param_type == Q7_TYPE_DECIMAL) {
      double d = 0;
      const int status = q7num::NumericNum2Dbl(&value->n, param_info, &d);
      if (status >= Q7_NUMERIC_OVERFLOW_POSITIVE || status < 0)
        throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Failed to convert param ( decimal to double )");
      value->d = d;
    }
    return;
  }
  if (param_type == Q7_TYPE_DECIMAL) return;  // compared under its own info
  const double d = param_type == Q7_TYPE_INTEGER ? static_cast<double>(value->i) : value->d;
  Numeric out{};
  const int status = q7num::NumericDbl2Num(target_info, &out, d);
  if (status >= Q7_NUMERIC_OVERFLOW_POSITIVE || status < 0)
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Failed to convert param ( to decimal )");
  value->n = out;
}

// ---- TCatTarget ----

TCatTarget::TCatTarget(TRealTable* table, int filterID)
    : FTable(table), FFilterID(filterID), FFilter(nullptr), FnVL(0), FDataType(0), FNumInfo{} {
  FFilter = FindFilter(table, filterID);
  if (FFilter == nullptr)
    Refuse(kTargetLog, Q7_ERROR_NO_SUCH_FILTER, getString("No Such Filter: %d", filterID));
  FDataType = ListType(FFilter);
  FnVL = FFilter->VL->FArraySize;
  if (FDataType == Q7_TYPE_DECIMAL) FNumInfo = DecimalInfo(FFilter);
}

// ---- TCatDef ----

TCatDef::TCatDef(int categoryTableID, TFilter* target, TTableCollection* tables) : FTargetFilter(target) {
  FTargetType = ListType(target);
  if (FTargetType == Q7_TYPE_DECIMAL) FTargetInfo = DecimalInfo(target);
  FnTarget = target->VL->FArraySize;
  FNodeCap = FnTarget / 2 + 4;

  if (tables == nullptr) tables = CSmpEngine::Instance()->Database();
  const int loc = tables == nullptr ? -1 : tables->ID2Loc(categoryTableID);
  if (loc < 0) Refuse(kDefLog, Q7_ERROR_NO_SUCH_TABLE, getString("No Such Table: %d ", categoryTableID));
  TBaseTable* table = tables->TableAt(loc);
  if (table->GetType() != TBaseTable::kTypeReal)
    Refuse(kDefLog, Q7_ERROR_NOT_REAL_TYPE, "Illegal table type ( Not REAL )");
  FCatTable = static_cast<TRealTable*>(table);
  const int rows = FCatTable->TotalRecs();
  if (rows <= 0) Refuse(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "no definition in category table");

  int ids[TRealTable::kMaxFilters];
  const int count = FCatTable->GetFilterIDList(ids);
  if (count < 0) {
    PutErrorLog(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "GetFilterIDList failed");
    throw CQ7Exception(count);
  }
  if (count < 4) Refuse(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "Illegal data table");

  auto filter_at = [&](int k) {
    TFilter* f = FindFilter(FCatTable, ids[k]);
    if (f == nullptr) Refuse(kDefLog, Q7_ERROR_NO_SUCH_FILTER, getString("No Such Filter: %d", ids[k]));
    return f;
  };
  FCmdFilter = filter_at(0);
  if (ListType(FCmdFilter) != Q7_TYPE_STRING)
    Refuse(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "Illegal data type ( command is Not STRING )");
  FParam1Filter = filter_at(1);
  FParam2Filter = filter_at(2);
  FParamType = ListType(FParam1Filter);
  if (ListType(FParam2Filter) != FParamType)
    Refuse(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "data type differs between param1 and param2");
  if (FParamType == Q7_TYPE_DECIMAL) {
    FP1Info = DecimalInfo(FParam1Filter);
    FP2Info = DecimalInfo(FParam2Filter);
  }
  FCatValFilter = filter_at(3);

  // Condensing drops the command texts and category values no row uses. A shared table (a memory
  // image or another process's registry view) is never written to: its value numbers are used as
  // they are, and only the commands its rows use are read.
  if (FCatTable->FShmImage == 0 && !FCatTable->isQ7TShared()) {
    for (int k : {0, 3}) {
      const int rc = FCatTable->CondenseFilter(ids[k]);
      if (rc < 0) {
        PutErrorLog(kDefLog, Q7_ERROR_NO_SUCH_FILTER, getString("Failed to condense: FilterID[%d]", ids[k]));
        throw CQ7Exception(rc);
      }
    }
  }

  FCmdVNo = RowValueNumbers(FCmdFilter, rows);
  FCmdVNoLen = rows + 1;
  FCatValVNo = RowValueNumbers(FCatValFilter, rows);
  RowValueNumbers(FParam1Filter, rows);
  RowValueNumbers(FParam2Filter, rows);

  const int commands = FCmdFilter->VL->FArraySize;
  for (int r = 1; r <= rows; ++r) {
    if (FCmdVNo[r] == 0) Refuse(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "blank command/operator not allowed");
    if (FCmdVNo[r] < 0 || FCmdVNo[r] >= commands) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
  }
  FOpeCode.reset(new (std::nothrow) int[static_cast<size_t>(commands)]);
  if (FOpeCode == nullptr) Refuse(kDefLog, Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
  auto* texts = static_cast<TStrArray*>(FCmdFilter->VL);
  FOpeCode[0] = 0;
  for (int k = 1; k < commands; ++k) FOpeCode[k] = Str2OpeCode(texts->GetPChar(k));
  for (int r = 1; r <= rows; ++r) {
    if (FOpeCode[FCmdVNo[r]] < 0) Refuse(kDefLog, Q7_ERROR_CATEGORY_DEFINITION, "Illegal data");
  }

  // The target may be a filter of the category table itself, which the condense renumbers.
  FnTarget = target->VL->FArraySize;
  FNodeCap = FnTarget / 2 + 4;
  const size_t n = static_cast<size_t>(FnTarget);
  const size_t m = static_cast<size_t>(FNodeCap);
  piCatNo.reset(new (std::nothrow) int[n]());
  FStart.reset(new (std::nothrow) int[m]);
  FLength.reset(new (std::nothrow) int[m]);
  FNext.reset(new (std::nothrow) int[m]);
  if (piCatNo == nullptr || FStart == nullptr || FLength == nullptr || FNext == nullptr) {
    piCatNo.reset();
    FStart.reset();
    FLength.reset();
    FNext.reset();
    Refuse(kDefLog, Q7_ERROR_OUT_OF_MEMORY, "Out of memory");
  }
  FStart[0] = 0;
  FLength[0] = FnTarget;
  FNext[0] = -1;
  FListHead = FnTarget > 0 ? 0 : -1;
  for (int k = 1; k < FNodeCap; ++k) {
    FStart[k] = 0;
    FLength[k] = 0;
    FNext[k] = k + 1 < FNodeCap ? k + 1 : -1;
  }
  FFreeHead = FNodeCap > 1 ? 1 : -1;
  if (FListHead < 0) {
    FNext[0] = FFreeHead;
    FFreeHead = 0;
  }
}

TCatDef::~TCatDef() = default;

void TCatDef::MapCategory() {
  if (FTargetType == Q7_TYPE_DECIMAL && FParamType != Q7_TYPE_DECIMAL) {
    FP1Info = FTargetInfo;
    FP2Info = FTargetInfo;
  }
  int op = 0;
  TCatKey p1{};
  TCatKey p2{};
  while (FAssigned < FnTarget && iGet1Line(&op, &p1, &p2)) {
    convDataType(FTargetType, &FTargetInfo, FParamType, &FP1Info, &p1);
    // param2 means nothing to the single-parameter codes: it is not converted for them, so that a
    // value it holds can never refuse their row.
    if (op == kOpeBetween || op == kOpeWithin)
      convDataType(FTargetType, &FTargetInfo, FParamType, &FP2Info, &p2);
    if (MarkUp(op, &p1, &p2)) break;
  }
}

bool TCatDef::iGet1Line(int* op, void* p1, void* p2) {
  if (FCurRow >= FCmdVNoLen - 1) return false;
  ++FCurRow;
  *op = FOpeCode[FCmdVNo[FCurRow]];
  auto read = [this](TFilter* filter, void* out) {
    const int vno = static_cast<const int*>(filter->PV->FData)[FCurRow];
    if (vno < 0 || vno >= filter->VL->FArraySize) throw CQ7Exception(Q7_ERROR_ILLEGAL_ARRAY_DATA);
    auto* key = static_cast<TCatKey*>(out);
    void* at = filter->VL->GetAddress(vno);
    switch (FParamType) {
      case Q7_TYPE_INTEGER:
        std::memcpy(&key->i, at, sizeof key->i);
        break;
      case Q7_TYPE_DOUBLE:
        std::memcpy(&key->d, at, sizeof key->d);
        break;
      case Q7_TYPE_DECIMAL:
        std::memcpy(&key->n, at, sizeof key->n);
        break;
      case Q7_TYPE_STRING:
        key->s = static_cast<const char*>(at);
        break;
      default:
        throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal param data type %d", FParamType);
    }
  };
  read(FParam1Filter, p1);
  read(FParam2Filter, p2);
  return true;
}

bool TCatDef::MarkUp(int op, void* p1, void* p2) {
  if (IsSingleParamOpe(op)) {
    CaseSingle(op, p1);
  } else if (op == kOpeBetween || op == kOpeWithin) {
    CaseDouble(op, p1, p2);
  } else {
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal operator code %d", op);
  }
  return FAssigned >= FnTarget;
}

int TCatDef::Search(const void* key, const NumericInfo* key_info, int* lo, int* hi) {
  const auto* k = static_cast<const TCatKey*>(key);
  TBaseArray* list = FTargetFilter->VL;
  switch (FTargetType) {
    case Q7_TYPE_INTEGER:
      return iBiSectionI(static_cast<const int*>(list->FData), FnTarget, k->d, lo, hi);
    case Q7_TYPE_DOUBLE:
      return iBiSectionD(static_cast<const double*>(list->FData), FnTarget, k->d, lo, hi);
    case Q7_TYPE_STRING: {
      auto* texts = static_cast<TStrArray*>(list);
      return iBiSectionS(texts->Offsets(), texts->FStrArea, FnTarget, k->s, lo, hi);
    }
    case Q7_TYPE_DECIMAL:
      return iBiSectionN(static_cast<const Numeric*>(list->FData), FnTarget, &FTargetInfo, &k->n, key_info,
                         lo, hi);
    default:
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal target data type %d", FTargetType);
  }
}

void TCatDef::CaseSingle(int op, void* key) {
  int lo = 0;
  int hi = 0;
  const int where = Search(key, &FP1Info, &lo, &hi);
  Mark1(where, op, lo, hi);
}

void TCatDef::CaseDouble(int op, void* key1, void* key2) {
  if (op != kOpeBetween && op != kOpeWithin)
    throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal operator code %d", op);
  int lo1 = 0;
  int hi1 = 0;
  int lo2 = 0;
  int hi2 = 0;
  const int f1 = Search(key1, &FP1Info, &lo1, &hi1);
  const int f2 = Search(key2, &FP2Info, &lo2, &hi2);
  // An upper bound below every value leaves nothing; a lower bound below every value starts the
  // range at entry 0 (lo1 = -1 below); a lower bound above every value leaves nothing.
  if (f2 < 0 || f1 > 0) return;
  const bool exact1 = f1 == 0 && lo1 == hi1;
  const bool exact2 = f2 == 0 && lo2 == hi2;
  int a = lo1;
  int b = lo2;
  if (op == kOpeWithin) {
    a = lo1 + 1;
    if (exact2) b = lo2 - 1;
  } else if (!exact1) {
    a = lo1 + 1;
  }
  if (f2 > 0) b = FnTarget - 1;
  if (a > b) return;
  a = std::max(0, std::min(a, FnTarget - 1));
  b = std::min(b, FnTarget - 1);
  AssignRange(a, b);
}

void TCatDef::Mark1(int where, int op, int lo, int hi) {
  const int last = FnTarget - 1;
  switch (op) {
    case kOpeEQ:
      if (where == 0 && lo == hi) AssignRange(lo, lo);
      return;
    case kOpeLEQ:
    case kOpeLES: {
      if (where < 0) return;
      int u = lo;
      if (op == kOpeLES && lo == hi) --u;
      // A bound above every value has lo = n: the range ends at the last entry.
      u = std::min(u, last);
      if (u >= 0) AssignRange(0, u);
      return;
    }
    case kOpeGEQ:
    case kOpeGT: {
      if (where > 0) return;
      int s = 0;
      if (where == 0) s = (op == kOpeGEQ && lo == hi) ? lo : lo + 1;
      if (s <= last) AssignRange(s, last);
      return;
    }
    case kOpeNEQ:
      AssignAllBut(where == 0 && lo == hi ? lo : -1);
      return;
    default:
      throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "Illegal operator code %d", op);
  }
}

void TCatDef::Fix_piCatNo() {
  for (int v = 0; v < FnTarget; ++v) {
    const int row = piCatNo[v];
    piCatNo[v] = row == 0 ? 0 : FCatValVNo[row];
  }
}

// ---- The interval list ----

int TCatDef::TakeNode() {
  // m = n / 2 + 4 nodes always suffice: n indexes hold at most n / 2 + 1 disjoint gapped intervals.
  if (FFreeHead < 0) throw CQ7Exception(Q7_ERROR_INNER_ENGINE, "No free interval node");
  const int node = FFreeHead;
  FFreeHead = FNext[node];
  return node;
}

void TCatDef::FreeNode(int node) {
  FNext[node] = FFreeHead;
  FFreeHead = node;
}

void TCatDef::AssignRange(int lo, int hi) {
  const int row = FCurRow;
  int prev = -1;
  int cur = FListHead;
  while (cur >= 0) {
    const int s = FStart[cur];
    const int e = s + FLength[cur] - 1;
    if (e < lo) {
      prev = cur;
      cur = FNext[cur];
      continue;
    }
    if (s > hi) break;
    const int os = std::max(s, lo);
    const int oe = std::min(e, hi);
    for (int v = os; v <= oe; ++v) piCatNo[v] = row;
    FAssigned += oe - os + 1;
    const int next = FNext[cur];
    if (os == s && oe == e) {
      if (prev < 0) {
        FListHead = next;
      } else {
        FNext[prev] = next;
      }
      FreeNode(cur);
      cur = next;
    } else if (os == s) {
      FStart[cur] = oe + 1;
      FLength[cur] = e - oe;
      return;
    } else if (oe == e) {
      FLength[cur] = os - s;
      prev = cur;
      cur = next;
    } else {
      const int tail = TakeNode();
      FStart[tail] = oe + 1;
      FLength[tail] = e - oe;
      FNext[tail] = next;
      FLength[cur] = os - s;
      FNext[cur] = tail;
      return;
    }
  }
}

void TCatDef::AssignAllBut(int keep) {
  const int row = FCurRow;
  bool keep_open = false;
  for (int cur = FListHead; cur >= 0; cur = FNext[cur]) {
    const int s = FStart[cur];
    const int e = s + FLength[cur] - 1;
    for (int v = s; v <= e; ++v) {
      if (v == keep) {
        keep_open = true;
        continue;
      }
      piCatNo[v] = row;
      ++FAssigned;
    }
  }
  // The list shrinks to the one kept index (when it is still open); every other node is free again,
  // in ascending order.
  int first_free = 0;
  if (keep_open) {
    FStart[0] = keep;
    FLength[0] = 1;
    FNext[0] = -1;
    FListHead = 0;
    first_free = 1;
  } else {
    FListHead = -1;
  }
  for (int k = first_free; k < FNodeCap; ++k) FNext[k] = k + 1 < FNodeCap ? k + 1 : -1;
  FFreeHead = first_free < FNodeCap ? first_free : -1;
}

// ---- Rows of the new column (task 38) ----

namespace {

struct CategorizeParam {
  MppParamHeader header;
  const int* map;
  int nMap;
  const int* vno;
  int* out;
  int first;  // rows [first, last]
  int last;
};

int CategorizeSlice(const int* map, int n_map, const int* vno, int* out, int first, int last) {
  for (int r = first; r <= last; ++r) {
    const int v = vno[r];
    if (v < 0 || v >= n_map) return Q7_ERROR_ILLEGAL_ARRAY_DATA;
    out[r] = map[v];
  }
  return 0;
}

}  // namespace

int mpp_categorize(void* param) {
  return TaskFrame([&] {
    auto* p = static_cast<CategorizeParam*>(param);
    return CategorizeSlice(p->map, p->nMap, p->vno, p->out, p->first, p->last);
  });
}

void CategorizeRows(const int* map, int n_map, const int* vno, int* out, int rows) {
  if (rows <= 0) return;
  if (rows + 1 <= kSerialRowLimit) {
    const int rc = CategorizeSlice(map, n_map, vno, out, 1, rows);
    if (rc < 0) throw CQ7Exception(rc);
    return;
  }
  const int workers = std::max(1, KernelActiveThreads());
  const int share = (rows + 1) / workers;
  for (int t = 0; t < workers; ++t) {
    auto* p = PoolParam<CategorizeParam>(t);
    p->map = map;
    p->nMap = n_map;
    p->vno = vno;
    p->out = out;
    p->first = 1 + t * share;
    p->last = t == workers - 1 ? rows : p->first + share - 1;
  }
  RunKernelTask(workers, kMppTaskCategorize);
}
