// Word readers and text checks shared by the four-operation and the integrated calculator.
#include "calc/CalcWords.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "database/TFilter.h"
#include "database/TRealTable.h"
#include "values/TBaseArray.h"

namespace {

bool IsBlank(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The characters that end a column name or a double constant.
bool EndsWord(char c) {
  return c == '\0' || IsBlank(c) || c == '(' || c == ')' || c == '*' || c == '+' || c == '-' || c == '/';
}

bool IsExponentLetter(char c) { return c == 'D' || c == 'E' || c == 'd' || c == 'e'; }

// Copies in[0 .. n) into a zeroed out of size bytes, at most size - 1 of them; the count copied.
template <class Stops>
int CopyWord(char* out, int size, const char* in, Stops stops) {
  if (out == nullptr || size < 1) return 0;
  memset(out, 0, static_cast<size_t>(size));
  if (size < 2 || in == nullptr) return 0;
  int n = 0;
  while (n < size - 1 && !stops(in, n)) {
    out[n] = in[n];
    ++n;
  }
  return n;
}

// Whether the value list of the named filter is decimal; the name as written.
bool NamesDecimalFilter(TRealTable* table, const char* name) {
  if (table == nullptr) return false;
  const int pos = table->FilterName2Pos(name);
  if (pos < 0) return false;
  TFilter* f = table->FFilters[pos];
  return f != nullptr && f->VL != nullptr && f->VL->GetDataType() == Q7_TYPE_DECIMAL;
}

}  // namespace

int GetWord(char* out, int size, const char* in) {
  return CopyWord(out, size, in, [](const char* s, int i) { return EndsWord(s[i]); });
}

int GetWord2(char* out, int size, const char* in, bool comma) {
  return CopyWord(out, size, in,
                  [comma](const char* s, int i) { return EndsWord(s[i]) || (comma && s[i] == ','); });
}

int GetWordNumeric(char* out, int size, const char* in) {
  return CopyWord(out, size, in, [](const char* s, int i) {
    const char c = s[i];
    if (c == '\0' || c == '*' || c == '/') return true;
    if (!(IsBlank(c) || c == '(' || c == ')' || c == '+' || c == '-')) return false;
    // "1.5e-3" is one constant: a sign or blank right after an exponent letter does not end it.
    return i == 0 || (s[i - 1] != 'e' && s[i - 1] != 'E');
  });
}

int Check0Format(const char* text) {
  if (text == nullptr || *text != '0') return -1;
  const char* p = text;
  while (*p == '0') ++p;
  if (*p == '\0') return 0;
  if (*p != '.') return -1;
  ++p;
  if (*p != '0') return -1;
  while (*p == '0') ++p;
  return *p == '\0' ? 0 : -1;
}

int CheckNumericFormat(const char* text) {
  if (text == nullptr || *text == '\0') return -1;
  const char* point = nullptr;
  const char* exponent = nullptr;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '.') {
      if (point != nullptr || exponent != nullptr) return -1;
      point = p;
    } else if (IsExponentLetter(*p)) {
      if (exponent != nullptr) return -1;
      exponent = p;
    }
  }
  long long digits = 0;
  if (point != nullptr) {
    const char* end = exponent != nullptr ? exponent : point + strlen(point);
    digits = end - point - 1;
  }
  long long e = 0;
  if (exponent != nullptr) {
    // Saturated, so that an absurd exponent gives an absurd scale instead of undefined behaviour.
    e = strtoll(exponent + 1, nullptr, 10);
    if (e > INT_MAX) e = INT_MAX;
    if (e < -static_cast<long long>(INT_MAX)) e = -static_cast<long long>(INT_MAX);
  }
  const long long scale = digits - e;
  if (scale < 0) return 0;
  return scale > INT_MAX ? INT_MAX : static_cast<int>(scale);
}

int CheckNumericFormula(TRealTable* table, const char* formula, bool) {
  if (formula == nullptr || *formula == '\0') return 0;
  for (const char* p = formula; *p != '\0'; ++p) {
    size_t i = 0;
    static constexpr char kKeyword[] = "STRTONUMERIC";
    while (kKeyword[i] != '\0' && toupper(static_cast<unsigned char>(p[i])) == kKeyword[i]) ++i;
    if (kKeyword[i] == '\0') return 1;
  }
  const char* p = formula;
  while (*p != '\0') {
    if (*p == '@') {
      char name[TFilter::kNameSize + 8];
      const int n = GetWord2(name, static_cast<int>(sizeof name), p + 1, true);
      if (NamesDecimalFilter(table, name)) return 1;
      p += 1 + n;
      // A name longer than any filter's: step over the rest of it.
      while (!EndsWord(*p) && *p != ',') ++p;
    } else if (*p == '$') {
      ++p;
      while (!EndsWord(*p) && *p != ',') ++p;
    } else {
      ++p;
    }
  }
  return 0;
}
