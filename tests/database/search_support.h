// Value kinds, columns and a row-by-row reference for the search tests of real tables and sets.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "database/SearchCodes.h"
#include "database/TRealTable.h"
#include "q7api.h"
#include "tests/database/table_test_support.h"

namespace stest {

using ftest::Dec;
using ftest::DecNan;
using ftest::kDblNull;
using ftest::kIntNull;

// One value type as the tests hold it: the raw element AddFilter2 takes, the NULL, the order, and
// the bound pointer a search reads.
struct IntKind {
  using V = int32_t;
  static constexpr int kType = Q7_TYPE_INTEGER;
  static constexpr int kWidth = 4;
  static bool IsNull(V v) { return v == kIntNull; }
  static int Compare(V a, V b) { return a < b ? -1 : (a > b ? 1 : 0); }
  static const void* Raw(const std::vector<V>& v) { return v.data(); }
  static char* Bound(V& v) { return reinterpret_cast<char*>(&v); }
};

template <int Type>
struct DoubleKindOf {
  using V = double;
  static constexpr int kType = Type;
  static constexpr int kWidth = 8;
  static bool IsNull(V v) { return !(v > kDblNull); }
  static int Compare(V a, V b) { return a < b ? -1 : (a > b ? 1 : 0); }
  static const void* Raw(const std::vector<V>& v) { return v.data(); }
  static char* Bound(V& v) { return reinterpret_cast<char*>(&v); }
};
using DoubleKind = DoubleKindOf<Q7_TYPE_DOUBLE>;
using DateKind = DoubleKindOf<Q7_TYPE_DATE>;

struct DecimalKind {
  using V = Numeric;
  static constexpr int kType = Q7_TYPE_DECIMAL;
  static constexpr int kWidth = 16;
  static bool IsNull(const V& v) { return v.high == DecNan().high && v.low == DecNan().low; }
  static int Compare(const V& a, const V& b) {
    if (a.high != b.high) return a.high < b.high ? -1 : 1;
    return a.low < b.low ? -1 : (a.low > b.low ? 1 : 0);
  }
  static const void* Raw(const std::vector<V>& v) { return v.data(); }
  static char* Bound(V& v) { return reinterpret_cast<char*>(&v); }
};

struct StrKind {
  using V = std::string;
  static constexpr int kType = Q7_TYPE_STRING;
  static constexpr int kWidth = 8;
  static bool IsNull(const V&) { return false; }
  static int Compare(const V& a, const V& b) {
    const int c = strcmp(a.c_str(), b.c_str());
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  // AddFilter2 takes text pointers; the vector must outlive the call.
  static std::vector<const char*> Pointers(const std::vector<V>& v) {
    std::vector<const char*> p;
    for (const auto& s : v) p.push_back(s.c_str());
    return p;
  }
  static char* Bound(V& v) { return v.data(); }
};

// Whether a value search keeps a row holding x, straight from the rules of database/TSetArray.h:
// 3, 4 and 7 are the complements of 6, 0 and 2; a numeric NULL is the smallest value, which plain
// less and less-or-equal leave out, and no complement of equal keeps; bit 0x80 empties a search
// with a NULL bound and keeps NULL out of every complement. A text's NULL is the empty text, an
// ordinary value, except that a plain less-or-equal with an empty bound keeps nothing.
template <class K>
bool Keeps(const typename K::V& x, int op, const typename K::V& from, const typename K::V& to, bool negate) {
  int code = SearchCode(op);
  const bool excl = NullBoundEmpty(op);
  if (code == 3 || code == 4 || code == 7) {
    code = code == 3 ? 6 : (code == 4 ? 0 : 2);
    negate = !negate;
  }
  const int mapped = code | (op & kSearchNullBoundEmpty);
  const int lo = K::Compare(x, from);
  const int hi = K::Compare(x, to);
  if constexpr (K::kType == Q7_TYPE_STRING) {
    bool in = false;
    switch (code) {
      case 0:
        in = lo == 0;
        break;
      case 1:
        in = lo >= 0 && hi <= 0;
        break;
      case 2:
        in = !(mapped == 2 && from.empty() && !negate) && lo <= 0;
        break;
      case 5:
        in = lo > 0 && hi < 0;
        break;
      case 6:
        in = lo < 0;
        break;
      case 8:
        in = x.compare(0, from.size(), from) == 0;
        break;
      case 9:
        in = x.find(from) != std::string::npos;
        break;
      case 10:
        in = x.size() >= from.size() && x.compare(x.size() - from.size(), from.size(), from) == 0;
        break;
    }
    return in != negate;
  } else {
    const bool uses_to = code == 1 || code == 5;
    if (excl && ((code != 11 && K::IsNull(from)) || (uses_to && K::IsNull(to)))) return false;
    const bool null = K::IsNull(x);
    bool marked = false;
    switch (code) {
      case 0:
        marked = lo == 0;
        break;
      case 1:
        marked = lo >= 0 && hi <= 0;
        break;
      case 2:
        marked = lo <= 0 && (negate || !null);
        break;
      case 5:
        marked = lo > 0 && hi < 0;
        break;
      case 6:
        marked = lo < 0 && (negate || !null);
        break;
      case 11:
        marked = null;
        break;
    }
    if (!negate) return marked;
    if (null && (mapped == 0 || excl)) return false;
    return !marked;
  }
}

// The rows of `rows` (records, 1-based into values) the search keeps, in their order.
template <class K>
std::vector<int> ScanRows(const std::vector<typename K::V>& values, const std::vector<int>& rows, int op,
                          const typename K::V& from, const typename K::V& to, bool negate) {
  std::vector<int> out;
  for (int r : rows) {
    if (Keeps<K>(values[static_cast<size_t>(r - 1)], op, from, to, negate)) out.push_back(r);
  }
  return out;
}

// Adds a filter holding values[i] in record i + 1; its ID.
template <class K>
int AddColumn(TRealTable* t, const char* name, const std::vector<typename K::V>& values) {
  std::string n(name);
  if constexpr (K::kType == Q7_TYPE_STRING) {
    auto p = K::Pointers(values);
    return t->AddFilter2(1024, n.data(), K::kType, static_cast<int>(values.size()), K::kWidth, p.data(),
                         t->FTableID, -1);
  } else {
    return t->AddFilter2(1024, n.data(), K::kType, static_cast<int>(values.size()), K::kWidth,
                         const_cast<void*>(K::Raw(values)), t->FTableID, -1);
  }
}

// The codes a kind serves: 8 to 10 only on texts, 11 only on numbers.
template <class K>
std::vector<int> CodesFor() {
  if constexpr (K::kType == Q7_TYPE_STRING) return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  return {0, 1, 2, 3, 4, 5, 6, 7, 11};
}

// The set IDs of a table, ascending.
inline std::vector<int> SetIDs(TRealTable* t) {
  std::vector<int> ids(static_cast<size_t>(t->FnSet));
  t->GetSetIDList(t->FnSet, ids.data());
  return ids;
}

}  // namespace stest
