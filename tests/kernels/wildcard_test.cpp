// Wildcard patterns: compiling, matching, bad escapes, a reference, and multibyte texts.
#include "kernels/WildCard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"

namespace {

// Sets the database character code for one test.
class CharCodeScope {
 public:
  explicit CharCodeScope(unsigned char code) : saved_(getSystemInfoDBCharCode()) {
    setSystemInfoDBCharCode(code);
  }
  ~CharCodeScope() { setSystemInfoDBCharCode(saved_); }

 private:
  unsigned char saved_;
};

constexpr unsigned char kUtf8 = 33;
constexpr unsigned char kShiftJis = 20;
constexpr unsigned char kCp1252 = 17;

struct CompileCase {
  const char* pattern;
  const char* compiled;
};
const CompileCase kCompile[] = {
    {"*?*?", "??*"}, {"a**b", "a*b"}, {"?*?x", "??*x"},   {"??", "??"},       {"*", "*"},
    {"", ""},        {"\\*", "\\*"},  {"a\\?*", "a\\?*"}, {"*\\\\", "*\\\\"}, {"x?**?*y", "x??*y"},
};

TEST(WildCard, CompilesRunsIntoQuestionMarksThenOneStar) {
  CharCodeScope code(kCp1252);
  for (const auto& c : kCompile) {
    SCOPED_TRACE(c.pattern);
    EXPECT_STREQ(WildCard(c.pattern, 1).Compiled(), c.compiled);
  }
}

struct MatchCase {
  const char* pattern;
  const char* text;
  int want;
};
const MatchCase kMatch[] = {
    {"*?*?", "ab", 1},
    {"*?*?", "a", 0},
    {"*?*?", "abcdef", 1},
    {"a*", "a", 1},
    {"a*", "abc", 1},
    {"a*", "ba", 0},
    {"*a", "", 0},
    {"*a", "bca", 1},
    {"*a", "ab", 0},
    {"*", "", 1},
    {"", "", 1},
    {"", "x", 0},
    {"a?", "a", 0},
    {"a?", "ab", 1},
    {"\\*", "*", 1},
    {"\\*", "a", 0},
    {"\\*", "**", 0},
    {"\\?", "?", 1},
    {"\\?", "x", 0},
    {"a\\\\b", "a\\b", 1},
    {"*\\*", "ab*", 1},
    {"*\\*", "ab", 0},
    {"ABC", "abc", 0},
    {"a*b*c", "aXbYbZc", 1},
    {"a*b*c", "aXbYbZ", 0},
    {"*ab*ab", "xabyab", 1},
    {"*aab", "aaaab", 1},
    {"?*x", "x", 0},
};

TEST(WildCard, MatchesWholeTexts) {
  CharCodeScope code(kCp1252);
  for (const auto& c : kMatch) {
    SCOPED_TRACE(testing::Message() << "'" << c.pattern << "' on '" << c.text << "'");
    EXPECT_EQ(WildCard(c.pattern, 1).match(c.text), c.want);
  }
}

TEST(WildCard, RefusesBadEscapes) {
  for (const char* bad : {"\\b", "abc\\", "\\", "*\\x*"}) {
    SCOPED_TRACE(bad);
    try {
      WildCard w(bad, 0);
      ADD_FAILURE() << "accepted";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), Q7_ERROR_INVALID_PARAMETER);
      EXPECT_STREQ(e.Message(), "");
    }
  }
}

// The definition, straight from the syntax: '*' any run, '?' one byte, a backslash escapes.
bool Reference(const char* p, const char* t) {
  if (*p == '\0') return *t == '\0';
  if (*p == '*') return Reference(p + 1, t) || (*t != '\0' && Reference(p, t + 1));
  if (*p == '?') return *t != '\0' && Reference(p + 1, t + 1);
  if (*p == '\\') ++p;
  return *p == *t && Reference(p + 1, t + 1);
}

// Random patterns over a small alphabet against random texts: the compiled matcher (which only
// ever retries its latest star) agrees with the definition.
TEST(WildCard, AgreesWithTheDefinitionOnRandomPatterns) {
  CharCodeScope code(kCp1252);
  std::mt19937 gen(7);
  const std::string pattern_bytes = "ab?*\\";
  const std::string text_bytes = "ab*?";
  for (int round = 0; round < 20000; ++round) {
    std::string p;
    const int plen = static_cast<int>(gen() % 8);
    for (int i = 0; i < plen; ++i) {
      char c = pattern_bytes[gen() % pattern_bytes.size()];
      p += c;
      if (c == '\\') p += "*?\\"[gen() % 3];
    }
    std::string t;
    const int tlen = static_cast<int>(gen() % 9);
    for (int i = 0; i < tlen; ++i) t += text_bytes[gen() % text_bytes.size()];
    ASSERT_EQ(WildCard(p.c_str(), 0).match(t.c_str()), Reference(p.c_str(), t.c_str()) ? 1 : 0)
        << "'" << p << "' on '" << t << "'";
  }
}

TEST(WildCard, UnderUtf8AQuestionMarkIsOneByte) {
  CharCodeScope code(kUtf8);
  const char* e_acute = "\xC3\xA9";  // two bytes
  EXPECT_EQ(WildCard("?", 1).match(e_acute), 0);
  EXPECT_EQ(WildCard("??", 1).match(e_acute), 1);
  EXPECT_EQ(WildCard("\xC3\xA9*", 1).match("\xC3\xA9t\xC3\xA9"), 1);
  EXPECT_EQ(WildCard("*\xC3\xA9", 1).match("caf\xC3\xA9"), 1);
  EXPECT_EQ(WildCard("*\xC3\xA9", 1).match("cafe"), 0);
}

// Shift_JIS: 0x95 0x5C is one character whose trail byte is a backslash. In multibyte mode the
// pattern keeps it as a character (a backslash is added so the matcher reads the trail literally);
// read byte by byte, the trail would escape the star after it.
TEST(WildCard, ShiftJisTrailBackslashStaysPartOfItsCharacter) {
  CharCodeScope code(kShiftJis);
  const char* pattern = "\x95\x5C*";
  WildCard multibyte(pattern, 1);
  EXPECT_STREQ(multibyte.Compiled(), "\x95\x5C\x5C*");
  EXPECT_EQ(multibyte.match("\x95\x5C"), 1);
  EXPECT_EQ(multibyte.match("\x95\x5Cxyz"), 1);
  EXPECT_EQ(multibyte.match("\x95*"), 0);
  WildCard bytes(pattern, 0);
  EXPECT_EQ(bytes.match("\x95*"), 1);
  EXPECT_EQ(bytes.match("\x95\x5Cxyz"), 0);
}

}  // namespace
