// Text, number and multibyte helpers shared by the whole engine.
#include "foundation/TextHelpers.h"

#include <locale.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "foundation/SystemHeader.h"
#include "q7api.h"

namespace {

constexpr int kMaxNameBytes = 255;

unsigned char DBCode() { return static_cast<unsigned char>(getSystemInfoDBCharCode()); }

bool IsBlankTail(const char* p) {
  while (*p == ' ') ++p;
  return *p == '\0';
}

// Numbers in engine texts always use '.', so parsing must not follow a locale the host has set.
locale_t CLocale() {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c_locale;
}

double ParseDouble(const char* text, char** end) {
  const locale_t c_locale = CLocale();
  return c_locale ? strtod_l(text, end, c_locale) : strtod(text, end);
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }
bool IsSjisLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsWideLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }  // MS949 and MS936
bool IsEucByte(unsigned char b) { return b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xFE); }

// Length of the character at p under the code, never reaching past the terminating zero. A UTF-8
// sequence also ends at the first byte that is not a continuation byte, so that a broken sequence
// cannot swallow the next character.
int CharLength(unsigned char code, const unsigned char* p) {
  int want = 1;
  switch (code) {
    case Q7_CHARCODE_SHIFT_JIS:
    case Q7_CHARCODE_MS932:
      want = sjis_bytes(*p);
      break;
    case Q7_CHARCODE_MS949:
    case Q7_CHARCODE_MS936:
      want = ms949_bytes(*p);
      break;
    case Q7_CHARCODE_EUC_JP:
      want = euc_bytes(*p);
      break;
    case Q7_CHARCODE_UTF8: {
      const int n = utf8_bytes(*p);
      int len = 1;
      while (len < n && IsContinuation(p[len])) ++len;
      return len;
    }
    default:
      return 1;
  }
  int len = 1;
  while (len < want && p[len] != '\0') ++len;
  return len;
}

// Parity rule for codes whose trail bytes may look like lead bytes: the bytes before p that could
// be lead bytes pair up from the first one; an odd count means p is a trail byte.
int ParityStart(const unsigned char* start, const unsigned char* p, bool (*is_lead)(unsigned char)) {
  int n = 0;
  for (const unsigned char* q = p; q > start && is_lead(q[-1]); --q) ++n;
  return (n % 2) == 0;
}

// EUC_JP has 3-byte characters (0x8F ...), so parity does not work: the run of high bytes before
// p begins at a character start (the byte before it is single-byte), and stepping from there
// shows whether p is reached exactly.
int EucStart(const unsigned char* start, const unsigned char* p) {
  const unsigned char* q = p;
  while (q > start && IsEucByte(q[-1])) --q;
  while (q < p) q += CharLength(Q7_CHARCODE_EUC_JP, q);
  return q == p;
}

int Utf8Start(const unsigned char* start, const unsigned char* p) {
  if (!IsContinuation(*p)) return 1;
  const unsigned char* q = p;
  for (int steps = 0; steps < 5 && q > start; ++steps) {
    --q;
    if (!IsContinuation(*q)) return utf8_bytes(*q) > p - q ? 0 : 1;
  }
  return 1;  // a stray continuation byte is a character of its own
}

bool IsFileNameUnsafe(unsigned char c) { return c != '\0' && strchr(" !%&()*+-./:;?[\\]", c) != nullptr; }

void ReplaceUnsafe(char* name) {
  const unsigned char code = DBCode();
  auto* p = reinterpret_cast<unsigned char*>(name);
  while (*p) {
    const int len = CharLength(code, p);
    if (len == 1 && IsFileNameUnsafe(*p)) *p = '_';
    p += len;
  }
}

}  // namespace

int Str2Int(const char* text, int check, int* err) {
  if (err) *err = 0;
  if (text == nullptr || *text == '\0') return INT_MIN;
  if (!check) return static_cast<int>(strtol(text, nullptr, 10));
  if (*text != '\t') {
    char* end = nullptr;
    errno = 0;
    const long value = strtol(text, &end, 10);
    if (errno != ERANGE && value >= -INT_MAX && value <= INT_MAX && IsBlankTail(end)) {
      return static_cast<int>(value);
    }
  }
  if (err) *err = 1;
  return INT_MIN;
}

double Str2Double(const char* text, int check, int* err) {
  if (err) *err = 0;
  if (text == nullptr || *text == '\0') return -HUGE_VAL;
  if (!check) return ParseDouble(text, nullptr);
  if (*text != '\t') {
    char* end = nullptr;
    const double value = ParseDouble(text, &end);
    if (std::isfinite(value) && IsBlankTail(end)) return value;
  }
  if (err) *err = 1;
  return -HUGE_VAL;
}

int Q7StrToInt(const char* text, int check) {
  if (text == nullptr || *text == '\0') return INT_MIN;
  if (!check) return static_cast<int>(strtol(text, nullptr, 10));
  char* end = nullptr;
  errno = 0;
  const long value = strtol(text, &end, 10);
  if (*end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return INT_MIN;
  return static_cast<int>(value);
}

bool ToFileName(char* name) {
  if (name == nullptr || *name == '\0' || strlen(name) > kMaxNameBytes) return false;
  ReplaceUnsafe(name);
  return true;
}

int verifySeedName(const char* name, char* out, bool disable_trim_until_sharp) {
  if (name == nullptr || *name == '\0') return 0;
  const size_t len = strlen(name);
  if (len > kMaxNameBytes) return 0;
  memcpy(out, name, len + 1);
  ReplaceUnsafe(out);
  if (disable_trim_until_sharp || len < 4) return 1;
  const auto* start = reinterpret_cast<const unsigned char*>(out);
  for (char* p = strstr(out + 1, "_#"); p != nullptr; p = strstr(p + 1, "_#")) {
    // A '_' that is the trail byte of a multibyte character is no '_' at all.
    if (!ismbsptr_locale(start, reinterpret_cast<const unsigned char*>(p))) continue;
    if (static_cast<size_t>(p - out) + 3 <= len) *p = '\0';
    break;
  }
  return 1;
}

void applyQuotes(const char* text, char* out) {
  *out++ = '"';
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '"') *out++ = '"';
    *out++ = *p;
  }
  *out++ = '"';
  *out = '\0';
}

char* i2a(int value, char* out, int radix) {
  if (radix < 2 || radix > 36) {
    *out = '\0';
    return out;
  }
  char digits[33];
  int n = 0;
  const bool negative = radix == 10 && value < 0;
  // The magnitude of INT_MIN only fits unsigned.
  uint32_t rest = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    const uint32_t d = rest % static_cast<uint32_t>(radix);
    digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
    rest /= static_cast<uint32_t>(radix);
  } while (rest != 0);
  char* p = out;
  if (negative) *p++ = '-';
  while (n > 0) *p++ = digits[--n];
  *p = '\0';
  return out;
}

char* IntToStr(int value) {
  static char buffer[256];
  return i2a(value, buffer, 10);
}

char* StrFixLen(const char* text, int n) {
  const size_t want = n > 0 ? static_cast<size_t>(n) : 0;
  const size_t len = text ? strnlen(text, want) : 0;
  char* copy = new char[want + 1];
  if (len) memcpy(copy, text, len);
  memset(copy + len, 0, want + 1 - len);
  return copy;
}

int High(const int* values, int n) {
  if (values == nullptr || n <= 0) return -1;
  int best = values[0];
  for (int i = 1; i < n; ++i) best = values[i] > best ? values[i] : best;
  return best;
}

int Low(const int* values, int n) {
  if (values == nullptr || n <= 0) return -1;
  int best = values[0];
  for (int i = 1; i < n; ++i) best = values[i] < best ? values[i] : best;
  return best;
}

int sjis_bytes(unsigned char lead) { return IsSjisLead(lead) ? 2 : 1; }

int utf8_bytes(unsigned char lead) {
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  if (lead >= 0xF8 && lead <= 0xFB) return 5;
  if (lead >= 0xFC && lead <= 0xFD) return 6;
  return 1;
}

int euc_bytes(unsigned char lead) {
  if (lead == 0x8F) return 3;
  if (lead == 0x8E || (lead >= 0xA1 && lead <= 0xFE)) return 2;
  return 1;
}

int ms949_bytes(unsigned char lead) { return IsWideLead(lead) ? 2 : 1; }

int ismbsptr_locale(const unsigned char* start, const unsigned char* p) {
  if (*p == '\0' || p == start) return 1;
  switch (DBCode()) {
    case Q7_CHARCODE_SHIFT_JIS:
    case Q7_CHARCODE_MS932:
      return ParityStart(start, p, IsSjisLead);
    case Q7_CHARCODE_MS949:
    case Q7_CHARCODE_MS936:
      return ParityStart(start, p, IsWideLead);
    case Q7_CHARCODE_EUC_JP:
      return EucStart(start, p);
    case Q7_CHARCODE_UTF8:
      return Utf8Start(start, p);
    default:
      return 1;
  }
}

unsigned char* mbsstr_locale(const unsigned char* haystack, const unsigned char* needle) {
  auto* h = const_cast<unsigned char*>(haystack);
  const auto* hs = reinterpret_cast<const char*>(haystack);
  const auto* ns = reinterpret_cast<const char*>(needle);
  const size_t n = strlen(ns);
  if (n == 0) return h;
  const size_t len = strlen(hs);
  if (n > len) return nullptr;
  if (n == 1) {
    for (const char* p = strchr(hs, ns[0]); p != nullptr; p = strchr(p + 1, ns[0])) {
      auto* candidate = reinterpret_cast<const unsigned char*>(p);
      if (ismbsptr_locale(haystack, candidate)) return h + (candidate - haystack);
    }
    return nullptr;
  }
  const unsigned char last = needle[n - 1];
  for (size_t i = n - 1; i < len; ++i) {
    if (haystack[i] != last) continue;
    const unsigned char* candidate = haystack + i - (n - 1);
    if (memcmp(candidate, needle, n) == 0 && ismbsptr_locale(haystack, candidate)) {
      return h + (candidate - haystack);
    }
  }
  return nullptr;
}

unsigned char* qz7mbsstr(const unsigned char* haystack, const unsigned char* needle) {
  if (haystack == nullptr || needle == nullptr) return nullptr;
  if (DBCode() == Q7_CHARCODE_CP1252) {
    const char* p = strstr(reinterpret_cast<const char*>(haystack), reinterpret_cast<const char*>(needle));
    return p ? const_cast<unsigned char*>(reinterpret_cast<const unsigned char*>(p)) : nullptr;
  }
  return mbsstr_locale(haystack, needle);
}

char* AnsiUpperCase(char* text) {
  if (text == nullptr) return text;
  const unsigned char code = DBCode();
  auto* p = reinterpret_cast<unsigned char*>(text);
  while (*p) {
    const int len = CharLength(code, p);
    if (len == 1 && *p >= 'a' && *p <= 'z') *p = static_cast<unsigned char>(*p - 'a' + 'A');
    p += len;
  }
  return text;
}

char* zpk_strtok_r(char* text, const char* delimiters, char** save) {
  char* s = text ? text : (save ? *save : nullptr);
  if (s == nullptr || *s == '\0') {
    if (save) *save = s;
    return nullptr;
  }
  const char* delims = delimiters ? delimiters : "";
  char* cut = s + strcspn(s, delims);
  if (*cut == '\0') {
    if (save) *save = cut;
    return s;
  }
  *cut++ = '\0';
  cut += strspn(cut, delims);
  if (save) *save = cut;
  return s;
}

void MapTableIDs(int* ids, const void* map, int n) {
  const int* old_ids = static_cast<const int*>(map);
  const int* new_ids = old_ids + kTableIdMapSize;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < kTableIdMapSize; ++j) {
      if (old_ids[j] == ids[i]) {
        ids[i] = new_ids[j];
        break;
      }
    }
  }
}

int countMultiBytes(int code, unsigned char lead) {
  switch (code) {
    case 18:  // MS932
    case 20:  // Shift_JIS
      return sjis_bytes(lead);
    case 19:  // MS949
      return ms949_bytes(lead);
    case 33:  // UTF8
      return utf8_bytes(lead);
    case 49:  // EUC_JP
      return euc_bytes(lead);
    default:
      return 1;
  }
}
