// Text helpers: number readers, file-safe names, seed names, quoting and integer formatting.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"
#include "q7api.h"

namespace {

// Runs a block under a given database character code and restores the previous one.
class CodeScope {
 public:
  explicit CodeScope(unsigned char code) : saved_(getSystemInfoDBCharCode()) {
    setSystemInfoDBCharCode(code);
  }
  ~CodeScope() { setSystemInfoDBCharCode(saved_); }

 private:
  unsigned char saved_;
};

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

TEST(TextHelpers, Str2IntStrictAndLoose) {
  struct Case {
    const char* text;
    int check;
    int want;
    int err;
  };
  const Case kCases[] = {
      {"12 ", 1, 12, 0},
      {"12x", 1, INT_MIN, 1},
      {"12x", 0, 12, 0},
      {"-2147483648", 1, INT_MIN, 1},
      {"2147483647", 1, INT_MAX, 0},
      {"-2147483647", 1, -INT_MAX, 0},
      {"99999999999", 1, INT_MIN, 1},
      {"\t12", 1, INT_MIN, 1},
      {" -7", 1, -7, 0},
      {"", 1, INT_MIN, 0},
      {"12\t", 1, INT_MIN, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("'") + c.text + "' check " + std::to_string(c.check));
    int err = -1;
    EXPECT_EQ(Str2Int(c.text, c.check, &err), c.want);
    EXPECT_EQ(err, c.err);
  }
  EXPECT_EQ(Str2Int("5", 1), 5);  // the flag is optional
}

TEST(TextHelpers, Str2DoubleStrictAndLoose) {
  struct Case {
    const char* text;
    int check;
    double want;
    int err;
  };
  const double kNull = -HUGE_VAL;
  const Case kCases[] = {
      {"1e999", 1, kNull, 1}, {"1.5  ", 1, 1.5, 0}, {"1.5x", 1, kNull, 1}, {"1.5x", 0, 1.5, 0},
      {"", 1, kNull, 0},      {"nan", 1, kNull, 1}, {"\t2", 1, kNull, 1},  {"-0.25", 1, -0.25, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("'") + c.text + "' check " + std::to_string(c.check));
    int err = -1;
    EXPECT_EQ(Str2Double(c.text, c.check, &err), c.want);
    EXPECT_EQ(err, c.err);
  }
}

TEST(TextHelpers, Q7StrToIntRefusesAnyTailWhenChecking) {
  EXPECT_EQ(Q7StrToInt("12", 1), 12);
  EXPECT_EQ(Q7StrToInt("12 ", 1), INT_MIN);
  EXPECT_EQ(Q7StrToInt("12 ", 0), 12);
  EXPECT_EQ(Q7StrToInt("", 0), INT_MIN);
  EXPECT_EQ(Q7StrToInt("4294967296", 1), INT_MIN);
}

TEST(TextHelpers, ToFileNameReplacesUnsafeSingleBytes) {
  char name[] = "a b.c!%&()*+-/:;?[\\]z#";
  EXPECT_TRUE(ToFileName(name));
  EXPECT_EQ(std::string(name), "a_b_c" + std::string(15, '_') + "z#");

  char empty[] = "";
  EXPECT_FALSE(ToFileName(empty));
  std::string longest(255, '.');
  EXPECT_TRUE(ToFileName(longest.data()));
  EXPECT_EQ(longest, std::string(255, '_'));
  std::string too_long(256, '.');
  EXPECT_FALSE(ToFileName(too_long.data()));
  EXPECT_EQ(too_long, std::string(256, '.'));  // refused names stay as they were
}

TEST(TextHelpers, ToFileNameStepsOverDoubleByteCharacters) {
  CodeScope sjis(Q7_CHARCODE_SHIFT_JIS);
  char name[] = "\x83\x5C\\\x83[";  // the second byte of 0x83 0x5C is a backslash, but no character
  EXPECT_TRUE(ToFileName(name));
  EXPECT_STREQ(name, "\x83\x5C_\x83[");  // 0x83 '[' is one double-byte character as well
}

TEST(TextHelpers, VerifySeedNameCutsAtFirstSharpSuffix) {
  struct Case {
    const char* seed;
    bool keep;
    unsigned char code;
    const char* want;
  };
  const Case kCases[] = {
      {"Sales_#3", false, Q7_CHARCODE_UTF8, "Sales"},
      {"Sales_#3", true, Q7_CHARCODE_UTF8, "Sales_#3"},
      {"a_#1", false, Q7_CHARCODE_UTF8, "a"},
      {"_#12", false, Q7_CHARCODE_UTF8, "_#12"},    // a '_' at the first position is not a cut
      {"abc_#", false, Q7_CHARCODE_UTF8, "abc_#"},  // nothing after the '#'
      {"x_#", false, Q7_CHARCODE_UTF8, "x_#"},      // shorter than 4
      {"a b_#2", false, Q7_CHARCODE_UTF8, "a_b"},   // replaced first, then cut
      {"ab_#1_#2", false, Q7_CHARCODE_UTF8, "ab"},
      {"\x83_#1x", false, Q7_CHARCODE_SHIFT_JIS, "\x83_#1x"},  // that '_' is a trail byte
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.seed);
    CodeScope code(c.code);
    char out[256] = {};
    EXPECT_EQ(verifySeedName(c.seed, out, c.keep), 1);
    EXPECT_STREQ(out, c.want);
  }
  char out[256] = "keep";
  EXPECT_EQ(verifySeedName("", out), 0);
  EXPECT_EQ(verifySeedName(std::string(256, 'a').c_str(), out), 0);
  EXPECT_STREQ(out, "keep");
}

TEST(TextHelpers, ApplyQuotesDoublesQuotes) {
  const std::pair<const char*, const char*> kCases[] = {
      {"\"", "\"\"\"\""}, {"", "\"\""}, {"a\"b", "\"a\"\"b\""}, {"x,y", "\"x,y\""}};
  for (const auto& [in, want] : kCases) {
    char out[32];
    applyQuotes(in, out);
    EXPECT_STREQ(out, want);
  }
}

TEST(TextHelpers, IntegerFormatting) {
  struct Case {
    int value;
    int radix;
    const char* want;
  };
  const Case kCases[] = {
      {255, 16, "ff"}, {-5, 10, "-5"}, {-1, 16, "ffffffff"}, {INT_MIN, 10, "-2147483648"}, {0, 2, "0"},
      {35, 36, "z"},   {7, 1, ""}};
  for (const auto& c : kCases) {
    char out[40];
    EXPECT_STREQ(i2a(c.value, out, c.radix), c.want);
  }
  EXPECT_STREQ(IntToStr(-42), "-42");
}

TEST(TextHelpers, StrFixLenStopsAtTheEndOfShortTexts) {
  std::unique_ptr<char[]> a(StrFixLen("abcdef", 3));
  EXPECT_STREQ(a.get(), "abc");
  std::unique_ptr<char[]> b(StrFixLen("ab", 5));  // never reads past the zero byte
  EXPECT_STREQ(b.get(), "ab");
}

TEST(TextHelpers, HighLowReadOnlyTheGivenValues) {
  const int values[] = {3, 9, 1};
  EXPECT_EQ(High(values, 3), 9);
  EXPECT_EQ(Low(values, 3), 1);
  EXPECT_EQ(High(values, 1), 3);
  // A count of 0 reads nothing (it must not look at values it was not given).
  EXPECT_EQ(High(values, 0), -1);
  EXPECT_EQ(Low(values, 0), -1);
  EXPECT_EQ(High(nullptr, 5), -1);
  EXPECT_EQ(Low(nullptr, 5), -1);
}

TEST(TextHelpers, LeadByteLengths) {
  struct Case {
    int (*fn)(unsigned char);
    unsigned char lead;
    int want;
  };
  const Case kCases[] = {
      {sjis_bytes, 0x80, 1},  {sjis_bytes, 0x81, 2},  {sjis_bytes, 0x9F, 2},  {sjis_bytes, 0xA0, 1},
      {sjis_bytes, 0xDF, 1},  {sjis_bytes, 0xE0, 2},  {sjis_bytes, 0xFC, 2},  {sjis_bytes, 0xFD, 1},
      {utf8_bytes, 0x7F, 1},  {utf8_bytes, 0x80, 1},  {utf8_bytes, 0xC0, 2},  {utf8_bytes, 0xE0, 3},
      {utf8_bytes, 0xF0, 4},  {utf8_bytes, 0xF8, 5},  {utf8_bytes, 0xFC, 6},  {utf8_bytes, 0xFE, 1},
      {euc_bytes, 0x8E, 2},   {euc_bytes, 0x8F, 3},   {euc_bytes, 0xA0, 1},   {euc_bytes, 0xA1, 2},
      {euc_bytes, 0xFE, 2},   {euc_bytes, 0xFF, 1},   {ms949_bytes, 0x80, 1}, {ms949_bytes, 0x81, 2},
      {ms949_bytes, 0xFE, 2}, {ms949_bytes, 0xFF, 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(static_cast<int>(c.lead));
    EXPECT_EQ(c.fn(c.lead), c.want);
  }
}

TEST(TextHelpers, CharacterStartsPerCode) {
  struct Case {
    unsigned char code;
    const char* text;
    int pos;
    int want;
  };
  const Case kCases[] = {
      {Q7_CHARCODE_SHIFT_JIS, "\x83\x5C", 1, 0},
      {Q7_CHARCODE_MS932, "A\x83\x5C\x42", 3, 1},
      {Q7_CHARCODE_SHIFT_JIS, "\x81\x81\x81\x81", 2, 1},
      {Q7_CHARCODE_SHIFT_JIS, "\x81\x81\x81\x81", 3, 0},
      {Q7_CHARCODE_MS949, "\xB0\x41", 1, 0},
      {Q7_CHARCODE_MS936, "\xB0\xA1\xB0\xA1", 2, 1},
      {Q7_CHARCODE_UTF8, "\xE3\x81\x82", 1, 0},
      {Q7_CHARCODE_UTF8, "\xE3\x81\x82", 2, 0},
      {Q7_CHARCODE_UTF8, "a\xC3\xA9\x62", 3, 1},
      {Q7_CHARCODE_UTF8, "\x80\x80", 1, 1},  // stray continuation bytes stand alone
      {Q7_CHARCODE_EUC_JP, "\xA4\xA2\xA4\xA2", 1, 0},
      {Q7_CHARCODE_EUC_JP, "\xA4\xA2\xA4\xA2", 2, 1},
      {Q7_CHARCODE_EUC_JP, "\x8F\xA1\xA1\x41", 3, 1},  // after a 3-byte character
      {Q7_CHARCODE_EUC_JP, "\x8F\xA1\xA1\xA4\xA2", 3, 1},
      {Q7_CHARCODE_EUC_JP, "\x8F\xA1\xA1\xA4\xA2", 4, 0},
      {Q7_CHARCODE_CP1252, "\x83\x5C", 1, 1},
      {Q7_CHARCODE_SHIFT_JIS, "\x83", 1, 1},  // the terminating zero counts as a start
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.code) + " at " + std::to_string(c.pos));
    CodeScope code(c.code);
    EXPECT_EQ(ismbsptr_locale(U(c.text), U(c.text) + c.pos), c.want);
  }
}

TEST(TextHelpers, SearchMatchesOnlyAtCharacterStarts) {
  struct Case {
    unsigned char code;
    const char* haystack;
    const char* needle;
    int want;  // offset, -1 for none
  };
  const Case kCases[] = {
      {Q7_CHARCODE_SHIFT_JIS, "\x83\x5C", "\x5C", -1},
      {Q7_CHARCODE_SHIFT_JIS, "\x83\x5C\x5C", "\x5C", 2},
      {Q7_CHARCODE_SHIFT_JIS, "\x83\x5C\x83\x5C", "\x5C\x83", -1},
      {Q7_CHARCODE_SHIFT_JIS, "a\x83\x5C\x62", "\x83\x5C\x62", 1},
      {Q7_CHARCODE_CP1252, "\x83\x5C", "\x5C", 1},
      {Q7_CHARCODE_UTF8, "x//y", "//", 1},
      {Q7_CHARCODE_UTF8, "ab", "", 0},
      {Q7_CHARCODE_UTF8, "ab", "abc", -1},
      {Q7_CHARCODE_EUC_JP, "\x8F\xA1\xA1\xA1", "\xA1\xA1", -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.code) + " " + c.needle);
    CodeScope code(c.code);
    const unsigned char* found = qz7mbsstr(U(c.haystack), U(c.needle));
    EXPECT_EQ(found ? found - U(c.haystack) : -1, c.want);
  }
}

TEST(TextHelpers, AnsiUpperCaseLeavesMultibyteCharactersAlone) {
  struct Case {
    unsigned char code;
    const char* in;
    const char* want;
  };
  const Case kCases[] = {
      {Q7_CHARCODE_SHIFT_JIS, "a\x82\x61\x62", "A\x82\x61\x42"},
      {Q7_CHARCODE_MS949, "a\xB0\x61", "A\xB0\x61"},  // 0x61 is a trail byte here, not 'a'
      {Q7_CHARCODE_MS936, "a\xB0\x61", "A\xB0\x61"},
      {Q7_CHARCODE_EUC_JP, "a\x8F\xA1\xA1z", "A\x8F\xA1\xA1Z"},
      {Q7_CHARCODE_UTF8, "\xC3\xA9t\xC3\xA9", "\xC3\xA9T\xC3\xA9"},
      {Q7_CHARCODE_CP1252, "abc\xE9", "ABC\xE9"},
      {Q7_CHARCODE_SHIFT_JIS, "a\x82", "A\x82"},  // a cut lead byte must not step past the end
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.want);
    CodeScope code(c.code);
    std::string text = c.in;
    AnsiUpperCase(text.data());
    EXPECT_EQ(text, c.want);
  }
}

TEST(TextHelpers, TokenSplitKeepsAnEmptyFirstToken) {
  char text[] = ",a,,b";
  char* save = nullptr;
  std::vector<std::string> tokens;
  for (char* t = zpk_strtok_r(text, ",", &save); t != nullptr; t = zpk_strtok_r(nullptr, ",", &save)) {
    tokens.emplace_back(t);
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"", "a", "b"}));
}

TEST(TextHelpers, MapTableIDsReplacesKnownIDsOnly) {
  std::vector<int> map(2 * kTableIdMapSize, 0);
  map[0] = 5, map[kTableIdMapSize + 0] = 50;
  map[1] = 7, map[kTableIdMapSize + 1] = 70;
  int ids[] = {5, 6, 7};
  MapTableIDs(ids, map.data(), 3);
  EXPECT_EQ(ids[0], 50);
  EXPECT_EQ(ids[1], 6);
  EXPECT_EQ(ids[2], 70);
}

}  // namespace
