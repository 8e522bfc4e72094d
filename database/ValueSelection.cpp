// The per-value decision of a value search on a set, by search code and value type.
#include "database/ValueSelection.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "database/TFilter.h"
#include "database/TSetArray.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "kernels/FindPos.h"
#include "values/ArrayFunctions.h"
#include "values/CCompiler.h"
#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

constexpr int kCp1252 = 17;

// From this many rows a search pays for waking the workers even on a busy machine, where waking
// them costs about 170 us (bench/README.md, search_bench: BM_SearchRoad).
constexpr int kSearchPoolMinRows = 1 << 18;
std::atomic<int> search_pool_min_rows{kSearchPoolMinRows};

// Searches of one value type, in the whole list or in the scope. lb(v) is the number of entries
// below v and ub(v) the number at most v, so [lb, ub) are the entries equal to v. Every value is
// at least the NULL at entry 0 (a NaN bound is searched as NULL), so both come from the position
// and found flag of the searches in kernels/FindPos.h.
template <class List, class V, class Whole, class InScope>
struct Kind {
  List* list;
  const int* scope;  // null: the whole list
  int n;
  Whole whole;
  InScope in_scope;
  int lb(const V& v) const {
    bool f = false;
    if (scope) return in_scope(v, n, scope, list, &f);
    const int p = whole(v, list, &f);
    return f ? p : p + 1;
  }
  int ub(const V& v) const {
    bool f = false;
    if (scope) return in_scope(v, n, scope, list, &f) + (f ? 1 : 0);
    return whole(v, list, &f) + 1;
  }
};

template <class List, class V, class Whole, class InScope>
Kind<List, V, Whole, InScope> MakeKind(List* list, const int* scope, int n, Whole w, InScope s) {
  return {list, scope, n, w, s};
}

}  // namespace

bool PrefixSuccessor(const char* prefix, std::string* out) {
  out->assign(prefix);
  while (!out->empty() && static_cast<unsigned char>(out->back()) == 0xFF) out->pop_back();
  if (out->empty()) return false;
  out->back() = static_cast<char>(static_cast<unsigned char>(out->back()) + 1);
  return true;
}

double NormalizeDoubleBound(double v) { return std::isnan(v) ? -std::numeric_limits<double>::infinity() : v; }

void ValueSelection::Mark(int a, int b) {
  if (a < 0) a = 0;
  if (b > hit_count_ - 1) b = hit_count_ - 1;
  if (b < a) return;
  if (run_form_) {
    // Each condition marks one range at most.
    marked_ = true;
    mark_lo_ = a;
    mark_hi_ = b;
    return;
  }
  memset(hit_.get() + a, negate_ ? 0 : 1, static_cast<size_t>(b - a + 1));
}

ValueSelection::ValueSelection(TIntArray* set, TFilter* filter, int op, const char* from, const char* to,
                               bool negate, const char* log_name)
    : negate_(negate) {
  TBaseArray* vl = filter->VL;
  const int type = ArrayDataType(vl);
  const int code = SearchCode(op);
  const bool exclude_null = NullBoundEmpty(op);
  const bool numeric = type != Q7_TYPE_STRING;
  // The text tests read their pattern as a text further down, not as a value of the list.
  const bool reads_from = SearchReadsFrom(code) && code < Q7_SEARCH_STARTS_WITH;
  const bool reads_to = SearchReadsTo(code);

  // Bounds, read by the list's storage type. Bit 0x80 with a NULL bound selects nothing.
  int ifrom = 0, ito = 0;
  double dfrom = 0, dto = 0;
  Numeric nfrom{}, nto{};
  bool null_bound = false;
  switch (type) {
    case Q7_TYPE_INTEGER:
      if (reads_from) memcpy(&ifrom, from, 4);
      if (reads_to) memcpy(&ito, to, 4);
      null_bound = (reads_from && ifrom == std::numeric_limits<int>::min()) ||
                   (reads_to && ito == std::numeric_limits<int>::min());
      break;
    case Q7_TYPE_DOUBLE:
      if (reads_from) memcpy(&dfrom, from, 8);
      if (reads_to) memcpy(&dto, to, 8);
      dfrom = NormalizeDoubleBound(dfrom);
      dto = NormalizeDoubleBound(dto);
      null_bound = (reads_from && !(dfrom > -std::numeric_limits<double>::infinity())) ||
                   (reads_to && !(dto > -std::numeric_limits<double>::infinity()));
      break;
    case Q7_TYPE_DECIMAL:
      if (reads_from) memcpy(&nfrom, from, 16);
      if (reads_to) memcpy(&nto, to, 16);
      null_bound = (reads_from && q7num::IsNan(nfrom)) || (reads_to && q7num::IsNan(nto));
      break;
    default:
      break;
  }
  const int n_rows = set->FArraySize;
  if (n_rows == 0 || (numeric && exclude_null && null_bound)) {
    empty_ = true;
    return;
  }

  // Only the text tests look at entries one by one; for them a small set against a large list
  // works over the value numbers the set uses.
  const int n_values = vl->FArraySize;
  run_form_ = !(type == Q7_TYPE_STRING && (code == Q7_SEARCH_CONTAINS || code == Q7_SEARCH_ENDS_WITH));
  scope_form_ = !run_form_ && n_rows < (n_values >> 3);
  int scope_count = 0;
  if (scope_form_) {
    ZpkBlock<int> vnos(static_cast<size_t>(n_rows));
    const int* rows = set->PIntAr();
    const int* pv = filter->PV->PIntAr();
    for (int i = 0; i < n_rows; ++i) vnos[i] = pv[rows[i]];
    void* list = nullptr;
    Compile(n_rows, Q7_TYPE_INTEGER, 4, vnos.get(), position_.Out(), &scope_count, &list);
    scope_.Reset(static_cast<int*>(list));
  }
  hit_count_ = scope_form_ ? scope_count : n_values;
  if (!run_form_) {
    hit_.Reset(static_cast<unsigned char*>(zpk_malloc(static_cast<size_t>(hit_count_) + 1)));
    memset(hit_.get(), negate ? 1 : 0, static_cast<size_t>(hit_count_));
  }

  const bool null_present = !scope_form_ || scope_[0] == 0;
  if (numeric && negate && (op == Q7_SEARCH_EQUAL || exclude_null) && null_present) {
    if (run_form_) {
      null_cleared_ = true;
    } else {
      hit_[0] = 0;
    }
  }

  const int* scope = scope_.get();
  const int n = hit_count_;
  auto refuse = [&](bool log) {
    if (log) PutErrorLog(log_name, Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION);
  };
  // The ranges shared by every type; `start` keeps NULL out of less and less-or-equal.
  auto numeric_ranges = [&](const auto& kind, const auto& vfrom, const auto& vto) {
    const int start = (!negate && null_present) ? 1 : 0;
    switch (code) {
      case Q7_SEARCH_EQUAL:
        Mark(kind.lb(vfrom), kind.ub(vfrom) - 1);
        break;
      case Q7_SEARCH_BETWEEN:
        Mark(kind.lb(vfrom), kind.ub(vto) - 1);
        break;
      case Q7_SEARCH_AT_MOST:
        Mark(start, kind.ub(vfrom) - 1);
        break;
      case Q7_SEARCH_STRICTLY_BETWEEN:
        Mark(kind.ub(vfrom), kind.lb(vto) - 1);
        break;
      case Q7_SEARCH_LESS:
        Mark(start, kind.lb(vfrom) - 1);
        break;
      case Q7_SEARCH_IS_NULL:
        if (null_present) Mark(0, 0);
        break;
      default:
        refuse(type != Q7_TYPE_DECIMAL);
    }
  };

  switch (type) {
    case Q7_TYPE_INTEGER:
      numeric_ranges(
          MakeKind<TIntArray, int>(static_cast<TIntArray*>(vl), scope, n, FindPosInt, FindPosIntScope), ifrom,
          ito);
      break;
    case Q7_TYPE_DOUBLE:
      numeric_ranges(MakeKind<TDoubleArray, double>(static_cast<TDoubleArray*>(vl), scope, n, FindPosDouble,
                                                    FindPosDoubleScope),
                     dfrom, dto);
      break;
    case Q7_TYPE_DECIMAL:
      numeric_ranges(MakeKind<TNumericArray, Numeric>(static_cast<TNumericArray*>(vl), scope, n,
                                                      FindPosDecimal, FindPosDecimalScope),
                     nfrom, nto);
      break;
    case Q7_TYPE_STRING: {
      auto* list = static_cast<TStrArray*>(vl);
      const auto kind = MakeKind<TStrArray, const char*>(list, scope, n, FindPosStr, FindPosStrScope);
      const char* sfrom = from;
      switch (code) {
        case Q7_SEARCH_EQUAL:
        case Q7_SEARCH_BETWEEN:
        case Q7_SEARCH_STRICTLY_BETWEEN:
          numeric_ranges(kind, sfrom, to);
          break;
        case Q7_SEARCH_AT_MOST:
          // The empty bound of a plain less-or-equal selects nothing; the same with bit 0x80 selects
          // the empty texts.
          if (!(op == Q7_SEARCH_AT_MOST && *sfrom == '\0' && !negate)) Mark(0, kind.ub(sfrom) - 1);
          break;
        case Q7_SEARCH_LESS:
          if (*sfrom != '\0') Mark(0, kind.lb(sfrom) - 1);
          break;
        case Q7_SEARCH_STARTS_WITH: {
          if (*sfrom == '\0') {
            Mark(0, n - 1);
            break;
          }
          std::string next;
          const int last = PrefixSuccessor(sfrom, &next) ? kind.lb(next.c_str()) - 1 : n - 1;
          Mark(kind.lb(sfrom), last);
          break;
        }
        case Q7_SEARCH_CONTAINS:
        case Q7_SEARCH_ENDS_WITH:
          text_op_ = code;
          pattern_ = from;
          text_list_ = list;
          break;
        default:
          refuse(true);
      }
      break;
    }
    default:
      refuse(true);
  }
  if (run_form_) SettleRun();
}

// The run the map would have held: every entry `negate`, NULL perhaps cleared, then the marked
// range the opposite.
void ValueSelection::SettleRun() {
  const bool base = negate_;
  const bool mark = !negate_;
  run_.null_keep = null_cleared_ ? false : base;
  if (marked_ && mark_lo_ == 0) run_.null_keep = mark;
  const int lo = marked_ ? (mark_lo_ < 1 ? 1 : mark_lo_) : 1;
  const int hi = marked_ ? mark_hi_ : 0;
  run_.outside = base;
  if (lo > hi) {
    run_.inside = base;
    run_.lo = 1;
    run_.hi = 0;
  } else {
    run_.inside = mark;
    run_.lo = lo;
    run_.hi = hi;
  }
}

void ValueSelection::MarkTextMatches(int first, int end) {
  const size_t m = strlen(pattern_);
  const bool single_byte = getSystemInfoDBCharCode() == kCp1252;
  const uint64_t* offsets = text_list_->Offsets();
  const int* scope = scope_.get();
  for (int k = first; k < end; ++k) {
    const char* text = text_list_->FStrArea + offsets[scope ? scope[k] : k];
    bool match;
    if (text_op_ == Q7_SEARCH_CONTAINS) {
      match = qz7mbsstr(text, pattern_) != nullptr;
    } else {
      const size_t len = strlen(text);
      match = len >= m && memcmp(text + len - m, pattern_, m) == 0 &&
              (single_byte || ismbsptr_locale(reinterpret_cast<const unsigned char*>(text),
                                              reinterpret_cast<const unsigned char*>(text + len - m)));
    }
    if (match) hit_[k] = negate_ ? 0 : 1;
  }
}

int MapSearchCode(TFilter* filter, int op, bool* negate, const char* log_name) {
  int code = SearchCode(op);
  if (code > kLastSearchCode) {
    PutErrorLog(log_name, Q7_ERROR_INVALID_OPERATION, "Invalid Parameter : OpeNo");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION, "Unknown operation number: %d", op);
  }
  if (code == Q7_SEARCH_AT_LEAST || code == Q7_SEARCH_NOT_EQUAL || code == Q7_SEARCH_GREATER) {
    code = code == Q7_SEARCH_AT_LEAST ? Q7_SEARCH_LESS
                                      : (code == Q7_SEARCH_NOT_EQUAL ? Q7_SEARCH_EQUAL : Q7_SEARCH_AT_MOST);
    *negate = !*negate;
  }
  const bool is_string = ArrayDataType(filter->VL) == Q7_TYPE_STRING;
  if (code >= Q7_SEARCH_STARTS_WITH && code <= Q7_SEARCH_ENDS_WITH && !is_string) {
    PutErrorLog(log_name, Q7_ERROR_INVALID_OPERATION, "Illegal data type ( Not STRING )");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION, "String operation for Integer column is not allowed.");
  }
  if (code == Q7_SEARCH_IS_NULL && is_string) {
    PutErrorLog(log_name, Q7_ERROR_INVALID_OPERATION, "Illegal data type ( Is STRING )");
    throw CQ7Exception(Q7_ERROR_INVALID_OPERATION, "'IS NULL' operation for String column is not allowd.");
  }
  return code | (op & kSearchNullBoundEmpty);
}

bool SearchOnPool(int rows) { return rows >= search_pool_min_rows.load(std::memory_order_relaxed); }

void SetSearchPoolMinRowsForTest(int rows) {
  search_pool_min_rows.store(rows < 0 ? kSearchPoolMinRows : rows, std::memory_order_relaxed);
}

std::unique_ptr<TSetArray> NewSearchResult(const TIntArray* source, int capacity) {
  auto result = std::make_unique<TSetArray>(capacity, 0);
  result->SetArraySize(0);
  memcpy(result->FUserArea, source->FUserArea, TBaseArray::kUserAreaSize);
  return result;
}

ValueRun RecNoRun(int op, int from, int to) {
  const int64_t f = from;
  const int64_t t = to;
  int64_t lo = INT32_MIN;
  int64_t hi = INT32_MAX;
  bool keep = true;
  switch (op) {
    case 1:
      lo = f;
      hi = t;
      break;
    case 2:
      hi = f;
      break;
    case 3:
      lo = f;
      break;
    case 4:
      lo = hi = f;
      keep = false;
      break;
    case 5:
      lo = f + 1;
      hi = t - 1;
      break;
    case 6:
      hi = f - 1;
      break;
    default:
      lo = f + 1;
      break;
  }
  return ValueRun::Range(lo, hi, keep);
}
