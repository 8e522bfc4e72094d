// Readers of plain-text settings files ("key=value" lines, optionally in "[section]" blocks).
//
// Every line is cut at its first control character other than a tab. In a line with "=", the key
// is the text before the first "=" and the value the text after it; every blank and tab is removed
// from both (not only leading and trailing ones). Keys and section names compare case-sensitively.
// Lines without "=" are ignored. The readers never fail: a missing file, section or key simply
// gives no value.
//
// Thread safety: the functions returning static buffers are for start-up or for callers holding
// the API lock.
#pragma once

// The settings file of the client, read from the current directory.
inline constexpr const char kSettingsFileName[] = "ZPK_Client.ini";

// The value of the first line whose key matches, cut to 254 characters, in a static buffer that
// the next call overwrites; null when the file or the key is missing.
char* getProfileString(const char* file, const char* key);

// Finds `section`, then `key` within it, and copies the value (or, when there is no match and
// `default_value` is not null, the default) with blanks and tabs removed into out, at most
// size - 1 characters and a terminating zero. With no match and no default, out becomes empty.
// Returns the length of out; size < 1 leaves out untouched and returns 0.
int getPrivateProfileString(const char* section, const char* key, const char* default_value, char* out,
                            int size, const char* file);

// getPrivateProfileString on the settings file, into a static 255-character buffer.
char* getProfileValue(const char* section, const char* key);

// Removes every blank and tab in place.
void CutWhiteSpace(char* text);
