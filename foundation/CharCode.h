// The database character code: its names, its locale ids and its setters.
//
// The code itself is one byte of the system header (byte 4, see SystemHeader.h), so every stored
// file and image records it. Known codes:
//   17 "Cp1252" (locale 5), 18 "MS932" (1), 19 "MS949" (2), 20 "Shift_JIS" (0),
//   33 "UTF8" (3, the default and the platform's own), 49 "EUC_JP" (4), 65 "MS936" (6).
// Code 0 means not defined.
//
// Thread safety: the setters write the header byte and are called under the API lock (or at
// start-up). Name buffers passed in must hold kCharCodeNameSize bytes.
#pragma once

constexpr int kCharCodeNameSize = 16;

// 0 when the code equals the current one (nothing changes) or after storing it;
// Q7_ERROR_INVALID_CHAR_CODE for a code outside the table (the current code is kept).
int setDBCharCode(unsigned char code);

// Maps a locale id 0 to 6 to its code and sets it as setDBCharCode does; an id outside 0 to 6
// gives Q7_ERROR_INVALID_CHAR_CODE.
int innerQ7SetKanjiCode(int localeId);

// The code of a locale id, 0 for ids outside 0 to 6.
unsigned char convertLocaleID2DBCharCode(int localeId);

// The code of one of the seven names (exact case), 0 for any other name or null.
unsigned char convertDBStringCode2DBCharCode(const char* name);

// Writes the code's name and returns 0; an unknown code writes "NotDefined" and returns -1.
int convertDBCharCode2DBStringCode(unsigned char code, char* out);

// Writes the name of the current code: "NotDefined" for 0; with `alternative`, 33 is "UTF-8" and
// 49 "EUC". A code outside the table leaves out untouched.
void getDBCharCode(char* out, bool alternative);

// Writes "UTF8" and returns 33, the platform's own code.
int getOSCharCode(char* out);
