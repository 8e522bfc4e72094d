// The engine's own strptime, under its own name.
//
// It is kept apart from the C library's strptime on purpose: a symbol of that name in the
// library would take the C library's place in the whole host process. Both functions are hidden.
//
// Pattern rules: white space in the pattern matches any run of white space in the text, including
// none; any other plain character must match exactly; a conversion is "%" and one letter:
//   %%        a "%"
//   %A %a     "sunday".."saturday" in full, else its first 3 letters (exact case) -> tm_wday
//   %B %b %h  "january".."december" in full, else its first 3 letters -> tm_mon
//   %D        month 1-12 [ "/" day 1-31 [ "/" year as %y ] ]
//   %H 0-23   %I 1-12   %K 1-24 (stores hour - 1)   %M 0-59   %S 0-60
//   %R        %H [ ":" %M ]          %T  %H [ ":" %M [ ":" %S ] ]
//   %r        %I [ ":" %M [ ":" %S ] ], then, after white space, "am" or "pm"
//   %Y        1900-65535 -> year - 1900
//   %y        0-99 -> year - 1900, 100 added below 69 (so 00-68 is 2000-2068)
//   %d %e 1-31   %j 1-366 (stores day - 1)   %m 1-12 (stores month - 1)   %w 0-6
//   %n %t     any white space, including none
//   %p        "am" (hour 12 becomes 0) or "pm" (hours below 12 get 12 added)
// Numbers are unsigned decimal digits, as many as there are; a value out of range fails.
//
// Thread safety: reentrant. Only the fields named above are written.
#pragma once

#include <ctime>

// Returns the position just past the matched text, or null when the text does not match (tm is
// then partly written). text and pattern must be zero-terminated.
__attribute__((visibility("hidden"))) const char* q7_strptime(const char* text, const char* pattern,
                                                              struct tm* tm);

// Reads the digits at text into *value. Returns the position after them, or null when there is no
// digit or the number lies outside min to max (*value untouched then).
__attribute__((visibility("hidden"))) const char* strp_atoi(const char* text, int* value, int min, int max);
