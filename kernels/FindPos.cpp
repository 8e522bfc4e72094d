// Binary searches in value lists: a value turned into a value number.
#include "kernels/FindPos.h"

#include <cstring>

#include "values/Numeric.h"
#include "values/TDoubleArray.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

// The smallest power of two at least n, and at least 1.
int FirstStep(int n) {
  int step = 1;
  while (step < n) step <<= 1;
  return step;
}

// The one probing loop of every member. eq(k) and le(k) test entry k (a list index, or a scope
// position) against the value. The whole-list members return the last position reached; the scope
// members return one past it when the final step-0 probe found its entry at most the value, so that
// they give the number of entries below the value.
enum class Form { kList, kScope };

template <class Eq, class Le>
int Probe(int count, Form form, bool zero_match_goes_on, Eq eq, Le le, bool* found) {
  *found = false;
  int pos = 0;
  int step = FirstStep(count);
  bool below = false;
  for (;;) {
    if (eq(pos)) {
      *found = true;
      if (pos != 0 || !zero_match_goes_on) return pos;
    }
    const int j = pos + step;
    if (j < count && le(j)) {
      pos = j;
      if (step == 0) below = true;
    }
    if (step == 0) return (form == Form::kScope && below) ? pos + 1 : pos;
    step >>= 1;
  }
}

// Entry readers: by list index, or through a scope of value numbers.
struct Direct {
  int operator()(int k) const { return k; }
};
struct Scoped {
  const int* scope;
  int operator()(int k) const { return scope[k]; }
};

template <class Index>
int SearchInt(int value, TIntArray* list, int count, Form form, Index at, bool* found) {
  const int* e = list->PIntAr();
  return Probe(
      count, form, false, [&](int k) { return e[at(k)] == value; }, [&](int k) { return e[at(k)] <= value; },
      found);
}

template <class Index>
int SearchDouble(double value, TDoubleArray* list, int count, Form form, Index at, bool* found) {
  const auto* e = static_cast<const double*>(list->FData);
  return Probe(
      count, form, false, [&](int k) { return e[at(k)] == value; }, [&](int k) { return e[at(k)] <= value; },
      found);
}

template <class Index>
int SearchDecimal(const Numeric& value, TNumericArray* list, int count, Form form, Index at, bool* found) {
  const auto* e = static_cast<const Numeric*>(list->FData);
  // Compare's sign: +1 when the entry is the smaller.
  return Probe(
      count, form, false, [&](int k) { return q7num::Compare(e[at(k)], value) == 0; },
      [&](int k) { return q7num::Compare(e[at(k)], value) >= 0; }, found);
}

template <class Index>
int SearchStr(const char* value, TStrArray* list, int count, Form form, bool second_byte, Index at,
              bool* found) {
  auto text = [&](int k) { return second_byte ? list->GetPChar2(at(k)) : list->GetPChar(at(k)); };
  // Only the whole-list second-byte form lets a match at entry 0 go on.
  const bool zero_goes_on = second_byte && form == Form::kList;
  return Probe(
      count, form, zero_goes_on, [&](int k) { return strcmp(text(k), value) == 0; },
      [&](int k) { return strcmp(text(k), value) <= 0; }, found);
}

}  // namespace

int FindPosInt(int value, TIntArray* list, bool* found) {
  return SearchInt(value, list, list->FArraySize, Form::kList, Direct{}, found);
}

int FindPosDouble(double value, TDoubleArray* list, bool* found) {
  return SearchDouble(value, list, list->FArraySize, Form::kList, Direct{}, found);
}

int FindPosDecimal(Numeric value, TNumericArray* list, bool* found) {
  return SearchDecimal(value, list, list->FArraySize, Form::kList, Direct{}, found);
}

int FindPosStr(const char* value, TStrArray* list, bool* found) {
  return SearchStr(value, list, list->FArraySize, Form::kList, false, Direct{}, found);
}

int FindPosStr2(const char* value, TStrArray* list, bool* found) {
  return SearchStr(value, list, list->FArraySize, Form::kList, true, Direct{}, found);
}

int FindPosIntScope(int value, int n, const int* scope, TIntArray* list, bool* found) {
  return SearchInt(value, list, n, Form::kScope, Scoped{scope}, found);
}

int FindPosDoubleScope(double value, int n, const int* scope, TDoubleArray* list, bool* found) {
  return SearchDouble(value, list, n, Form::kScope, Scoped{scope}, found);
}

int FindPosDecimalScope(Numeric value, int n, const int* scope, TNumericArray* list, bool* found) {
  return SearchDecimal(value, list, n, Form::kScope, Scoped{scope}, found);
}

int FindPosStrScope(const char* value, int n, const int* scope, TStrArray* list, bool* found) {
  return SearchStr(value, list, n, Form::kScope, false, Scoped{scope}, found);
}

int FindPosStr2Scope(const char* value, int n, const int* scope, TStrArray* list, bool* found) {
  return SearchStr(value, list, n, Form::kScope, true, Scoped{scope}, found);
}
