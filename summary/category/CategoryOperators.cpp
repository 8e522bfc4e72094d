// The operators of a category table: a definition row's command turned into a test of a value.
#include "summary/category/CategoryOperators.h"

#include <cstring>

namespace {

struct Spelling {
  const char* text;
  int code;
};

// Tried in this order; the first exact match wins.
const Spelling kSpellings[] = {
    {"EQ", kOpeEQ},
    {"EQUAL", kOpeEQ},
    {"=", kOpeEQ},
    {"==", kOpeEQ},
    {"BTW", kOpeBetween},
    {"BETWEEN", kOpeBetween},
    {"<=>", kOpeBetween},
    {"<==>", kOpeBetween},
    {"LEQ", kOpeLEQ},
    {"LESSEQUAL", kOpeLEQ},
    {"<=", kOpeLEQ},
    {"GEQ", kOpeGEQ},
    {"GREATEREQUAL", kOpeGEQ},
    {">=", kOpeGEQ},
    {"NEQ", kOpeNEQ},
    {"NOTEQUAL", kOpeNEQ},
    {"!=", kOpeNEQ},
    {"<>", kOpeNEQ},
    {"WI", kOpeWithin},
    {"WTHN", kOpeWithin},
    {"WITHIN", kOpeWithin},
    {"<->", kOpeWithin},
    {"<-->", kOpeWithin},
    {"LES", kOpeLES},
    {"LESS", kOpeLES},
    {"LESSTHAN", kOpeLES},
    {"<", kOpeLES},
    {"GT", kOpeGT},
    {"GREATER", kOpeGT},
    {"GREATERTHAN", kOpeGT},
    {">", kOpeGT},
};

constexpr int kOpeTextMax = 31;

}  // namespace

int Str2OpeCode(const char* text) {
  char buf[kOpeTextMax + 1] = {};
  if (text != nullptr) {
    int out = 0;
    for (int i = 0; i < kOpeTextMax && text[i] != '\0'; ++i) {
      const char c = text[i];
      if (c == '\t' || c == ' ') continue;
      buf[out++] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
  }
  for (const Spelling& s : kSpellings) {
    if (std::strcmp(buf, s.text) == 0) return s.code;
  }
  return -1;
}

bool CompEQ(Value x, Value a, Value /*b*/) { return x == a; }
bool CompBetween(Value x, Value a, Value b) { return a <= x && x <= b; }
bool CompLEQ(Value x, Value a, Value /*b*/) { return x <= a; }
bool CompGEQ(Value x, Value a, Value /*b*/) { return x >= a; }
bool CompNEQ(Value x, Value a, Value /*b*/) { return x != a; }
bool CompWithin(Value x, Value a, Value b) { return a < x && x < b; }
bool CompLES(Value x, Value a, Value /*b*/) { return x < a; }
bool CompGT(Value x, Value a, Value /*b*/) { return x > a; }

const CompFunc kCompFuncs[kOpeCodeCount] = {CompEQ,  CompBetween, CompLEQ, CompGEQ,
                                            CompNEQ, CompWithin,  CompLES, CompGT};
