// Wildcard patterns: '?' stands for any one byte, '*' for any run of bytes (the empty run too), and
// a backslash makes the next '*', '?' or backslash literal. Every other byte matches itself, case
// and all. A pattern is compiled once and then matched against many texts (the values of a column,
// the names of a directory).
//
// Compiling normalises each run of '?' and '*' into its '?' characters followed by one '*' (when
// the run held a '*'), so that matching never meets a '?' after a '*' nor two '*' in a row. In
// multibyte mode the bytes that follow a lead byte of the database character code (Shift_JIS and
// MS932, MS949, UTF8, EUC_JP; one byte per character under every other code) are copied as they
// are, and a character whose last byte is a backslash (a Shift_JIS trail byte) gets one more
// backslash, so that byte is matched literally instead of escaping what follows it.
//
// Ownership: the object owns its compiled pattern (malloc/free). Thread safety: match() only reads
// the object, so one compiled pattern may be matched from several threads at once.
#pragma once

class WildCard {
 public:
  // Compiles the pattern. multibyte != 0 reads characters by the database character code. An
  // escape of anything but '*', '?' or a backslash, or a backslash that ends the pattern, throws
  // CQ7Exception(Q7_ERROR_INVALID_PARAMETER) with no message; a failed allocation throws
  // Q7_ERROR_OUT_OF_MEMORY. pattern must not be null.
  WildCard(const char* pattern, int multibyte);
  ~WildCard();

  WildCard(const WildCard&) = delete;
  WildCard& operator=(const WildCard&) = delete;

  // 1 when the whole text matches the pattern, else 0. text must not be null.
  int match(const char* text) const;

  // The normalised pattern.
  const char* Compiled() const { return compiled_; }

 private:
  char* compiled_;
};
