// Text, number and multibyte helpers shared by the whole engine.
//
// Multibyte-aware routines read the database character code (getSystemInfoDBCharCode) on every
// call, so they follow a change of the code at once. The code byte is written only under the API
// lock; callers on worker threads run inside a locked exported call, so they see a stable code.
//
// Thread safety: IntToStr returns a process-wide buffer and must be used under the API lock only.
// Everything else is re-entrant. Only StrFixLen can throw (std::bad_alloc from new[]).
//
// Buffers: every char* output must be large enough for what the function states it writes; the
// functions never allocate except StrFixLen.
#pragma once

// ---- Number parsing ----
// check != 0 asks for strict syntax. err (optional) is set to 0, then to 1 on failure. The integer
// NULL is 0x80000000 and the double NULL minus infinity, as everywhere in the engine.
//
// Str2Int: empty (or null) text gives 0x80000000 without error. Without check, atoi's result.
// With check, a leading tab, a value outside -2147483647..2147483647, or anything but blanks after
// the number sets err and gives 0x80000000.
int Str2Int(const char* text, int check, int* err = nullptr);
// Str2Double: empty (or null) text gives minus infinity without error. Without check, atof's
// result. With check, a leading tab, a result that is not finite, or anything but blanks after
// the number sets err and gives minus infinity. The decimal point is always '.', whatever locale
// the host has set.
double Str2Double(const char* text, int check, int* err = nullptr);
// Q7StrToInt: empty (or null) text gives 0x80000000. With check, any text after the number, or a
// value outside the int range, gives 0x80000000. Without check, atoi's result.
int Q7StrToInt(const char* text, int check);

// ---- Names ----
// Replaces every single-byte blank ! % & ( ) * + - . / : ; ? [ \ ] by '_' in place, stepping over
// multibyte characters of the database code. Returns false (name untouched) for an empty name or
// one of more than 255 bytes.
bool ToFileName(char* name);
// Copies name into out (which must hold 256 bytes) with ToFileName's replacement and returns 1; 0
// for an empty name or one longer than 255 bytes (out untouched). Unless disable_trim_until_sharp
// is set, the copy is then cut at its first "_#" whose '_' is at least the second character and
// that leaves at least one character after the '#'; names shorter than 4 bytes are never cut. The
// table collection passes its TTableCollection::m_nDisableTrimUntilSharp flag.
int verifySeedName(const char* name, char* out, bool disable_trim_until_sharp = false);
// Writes '"', text with every '"' doubled, '"' and a zero byte. out must hold 2 * strlen(text) + 3.
void applyQuotes(const char* text, char* out);

// ---- Integer formatting ----
// Digits of value in radix 2..36 ('a'..'z' above 9); a minus sign only for radix 10, other radices
// write the unsigned 32-bit pattern. An unsupported radix writes the empty text. Returns out,
// which must hold 34 bytes.
char* i2a(int value, char* out, int radix);
// Decimal text of value in a process-wide buffer, valid until the next call (API lock only).
char* IntToStr(int value);
// A new[]-allocated copy of the first n bytes of text (fewer when text ends sooner) with a zero
// byte; the caller frees it with delete[]. A negative n counts as 0.
char* StrFixLen(const char* text, int n);
// The largest / smallest of the first n values; -1 for a null array or n <= 0 (nothing to read).
int High(const int* values, int n);
int Low(const int* values, int n);

// ---- Multibyte text ----
// Byte length of the character that the lead byte opens.
int sjis_bytes(unsigned char lead);   // Shift_JIS, MS932: 2 for 0x81-0x9F, 0xE0-0xFC
int utf8_bytes(unsigned char lead);   // 2..6 by the lead byte, 1 below 0x80 and for invalid leads
int euc_bytes(unsigned char lead);    // EUC_JP: 2 for 0x8E, 0xA1-0xFE; 3 for 0x8F
int ms949_bytes(unsigned char lead);  // MS949: 2 for 0x81-0xFE
// The byte length of the character that `lead` opens under database code `code`: Shift_JIS (20)
// and MS932 (18), MS949 (19), UTF8 (33), EUC_JP (49); 1 for every other code. Never 0.
int countMultiBytes(int code, unsigned char lead);

// 1 when p (inside the zero-ended text that begins at start) is the first byte of a character
// under the database code; the start and the terminating zero count as character starts.
// Shift_JIS/MS932 and MS949/MS936 (lead bytes 0x81-0xFE) use the lead-byte parity before p;
// EUC_JP steps through the run of high bytes before p, so 3-byte characters are right too; under
// UTF8 a continuation byte is a start only when no lead byte before it reaches it (a stray
// continuation byte stands alone); under Cp1252 every byte is a start.
int ismbsptr_locale(const unsigned char* start, const unsigned char* p);
// The first occurrence of needle in haystack that begins at a character start, or null. Under
// Cp1252 a plain substring search. An empty needle gives haystack.
unsigned char* qz7mbsstr(const unsigned char* haystack, const unsigned char* needle);
unsigned char* mbsstr_locale(const unsigned char* haystack, const unsigned char* needle);
inline char* qz7mbsstr(const char* haystack, const char* needle) {
  return reinterpret_cast<char*>(qz7mbsstr(reinterpret_cast<const unsigned char*>(haystack),
                                           reinterpret_cast<const unsigned char*>(needle)));
}

// Upper-cases the ASCII letters of text in place; every byte of a multibyte character of the
// database code (MS949 and MS936 included) is left as it is, and a lead byte cut off by the end of
// the text never makes the scan pass the zero byte. Returns text.
char* AnsiUpperCase(char* text);

// ---- Other ----
// Splits at delimiters like strtok_r, but without skipping leading delimiters (so the first token
// may be empty): starts at text, or at *save when text is null, cuts at the first delimiter,
// skips the delimiters that follow and leaves *save at the next token. Returns null once the
// start is null or at the terminating zero.
char* zpk_strtok_r(char* text, const char* delimiters, char** save);

// The table-ID map: row 0 holds old IDs, row 1 at the same positions the new IDs.
inline constexpr int kTableIdMapSize = 10000;
// Replaces each of the n IDs by the new ID where row 0 of map holds it; IDs not in row 0 stay.
void MapTableIDs(int* ids, const void* map, int n);
