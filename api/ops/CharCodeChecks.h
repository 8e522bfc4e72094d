// The character-code checks of the exported calls that take texts in a stated code (the SJIS and
// Locale forms of the finds and searches): they run before the operation, so that a text in a
// foreign code never meets the value lists.
//
// Each throws CQ7Exception(Q7_ERROR_CHAR_CODE_MISMATCH, message), for the frame to record under its
// own name. Thread safety: call under the API lock (they read the database character code).
#pragma once

// The texts are Shift_JIS, so the database must be too: else "Not equal to WS DBCharCode".
void RequireShiftJisDatabase();

// The texts are in the code of the host's locale ID (0..6, as RQ7SetKanjiCode), which must be the
// database's; locale 99 takes any. Else "Invalid Parameter : LocaleID". A locale outside the table
// converts to code 0, which never passes, not even while the database code is undefined (also 0).
void RequireLocaleOfDatabase(int locale);
