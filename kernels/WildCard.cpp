// Wildcard patterns: compiling a pattern of '?' and '*' and matching texts against it.
#include "kernels/WildCard.h"

#include <cstddef>
#include <cstdlib>

#include "foundation/CQ7Exception.h"
#include "foundation/SystemHeader.h"
#include "foundation/TextHelpers.h"

namespace {

// Byte length of the character a byte opens under the database character code.
int CharBytes(unsigned char lead) { return countMultiBytes(getSystemInfoDBCharCode(), lead); }

// Normalises pattern into out (null: only measures). Returns the bytes needed, terminator
// included, or -1 for an invalid escape.
int wildcard_do_compile(char* out, const char* pattern, int multibyte) {
  enum { kPlain, kQuestions, kStars } mode = kPlain;
  int questions = 0;
  int pos = 0;
  auto put = [&](char c) {
    if (out != nullptr) out[pos] = c;
    ++pos;
  };
  const char* p = pattern;
  for (;;) {
    const char c = *p;
    if (mode == kPlain) {
      if (c == '?' || c == '*') {
        mode = c == '?' ? kQuestions : kStars;
        questions = c == '?' ? 1 : 0;
        ++p;
        continue;
      }
    } else {
      if (c == '?') {
        ++questions;
        ++p;
        continue;
      }
      if (c == '*') {
        mode = kStars;
        ++p;
        continue;
      }
      // The run ends: its '?' first, then one '*' if it held any.
      for (int i = 0; i < questions; ++i) put('?');
      if (mode == kStars) put('*');
      mode = kPlain;
    }
    put(c);
    if (c == '\0') return pos;
    ++p;
    if (c == '\\') {
      const char next = *p;
      if (next != '*' && next != '?' && next != '\\') return -1;
      put(next);
      ++p;
    } else if (multibyte != 0) {
      const int bytes = CharBytes(static_cast<unsigned char>(c));
      char last = c;
      for (int i = 1; i < bytes && *p != '\0'; ++i) {
        last = *p++;
        put(last);
      }
      if (bytes >= 2 && last == '\\') put('\\');
    }
  }
}

// One pattern element at p against the text byte t: true when it matches; *width is how many
// pattern bytes it took.
inline bool MatchOne(const char* p, char t, int* width) {
  if (*p == '?') {
    *width = 1;
    return t != '\0';
  }
  if (*p == '\\') {
    *width = 2;
    return p[1] == t;
  }
  *width = 1;
  return *p == t;
}

// Matches a normalised pattern against the whole text. After a '*' the pattern's next element is
// always a literal (normalisation moved every '?' before it), so the star is retried only at the
// text bytes equal to that literal. Only the latest '*' is ever retried: whatever an earlier star
// could absorb the later one can absorb too, so going back further never finds a match the latest
// star cannot, and the matcher stays linear in the pattern times the text.
int wildcard_do_exec(const char* compiled, const char* text) {
  const char* p = compiled;
  const char* t = text;
  const char* star_p = nullptr;  // pattern after the latest '*'
  const char* star_t = nullptr;  // where that star's absorbed run ends
  for (;;) {
    if (*p == '*') {
      star_p = p + 1;
      if (*star_p == '\0') return 1;  // a trailing star takes the rest
      const char lit = *star_p == '\\' ? star_p[1] : *star_p;
      while (*t != '\0' && *t != lit) ++t;
      if (*t == '\0') return 0;
      star_t = t;
      p = star_p;
      continue;
    }
    int width = 1;
    if (MatchOne(p, *t, &width)) {
      if (*t == '\0') return 1;  // both ended together
      p += width;
      ++t;
      continue;
    }
    if (star_p == nullptr) return 0;
    // Let the latest star absorb one more byte, up to the next place its literal stands.
    const char lit = *star_p == '\\' ? star_p[1] : *star_p;
    t = star_t + 1;
    while (*t != '\0' && *t != lit) ++t;
    if (*t == '\0') return 0;
    star_t = t;
    p = star_p;
  }
}

}  // namespace

WildCard::WildCard(const char* pattern, int multibyte) : compiled_(nullptr) {
  const int size = wildcard_do_compile(nullptr, pattern, multibyte);
  if (size < 0) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  compiled_ = static_cast<char*>(malloc(static_cast<size_t>(size)));
  if (compiled_ == nullptr) throw CQ7Exception(Q7_ERROR_OUT_OF_MEMORY);
  wildcard_do_compile(compiled_, pattern, multibyte);
}

WildCard::~WildCard() { free(compiled_); }

int WildCard::match(const char* text) const { return wildcard_do_exec(compiled_, text); }
