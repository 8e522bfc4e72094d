// The file browser: a host's view of the engine machine's file system (current directory,
// directories, a filtered listing with an attribute byte per entry, whole or partial file reads and
// writes through the caller's buffers).
//
// Every operation catches its own failures, writes its ring entry under its exported name
// ("RQ7BrowserGetFile" for innerRQ7BrowserGetFile) and returns a code; nothing is thrown. A null
// pointer argument is refused with Q7_ERROR_INVALID_PARAMETER ("Invalid Parameter") before any work.
//
// Buffers: every copy into a caller's buffer is bounded by the size stated below and never written
// past; a text that does not fit is refused or cut as stated, never overflowed.
//
// Thread safety: none of its own; the exported calls run under the API lock. The listing does not
// change the process's current directory.
#pragma once

#include <cstdint>

// Sizes of the caller's buffers.
inline constexpr int kBrowserPathSize = 512;       // a directory path, with its zero byte
inline constexpr int kBrowserNameAreaSize = 4096;  // listing names, each zero-ended; 4095 used at most
inline constexpr int kBrowserAttrAreaSize = 2048;  // one attribute byte per returned name
inline constexpr int kBrowserReadLimit = 8191;     // bytes a read returns at most; a zero byte follows
inline constexpr int kBrowserReadBufferSize = 8192;

// Attribute bits of a listed entry (for the effective user).
inline constexpr unsigned char kBrowserAttrDirectory = 0x10;  // a directory: exactly this
inline constexpr unsigned char kBrowserAttrRead = 0x20;
inline constexpr unsigned char kBrowserAttrWrite = 0x40;
inline constexpr unsigned char kBrowserAttrExecute = 0x80;

// The current directory into buf (kBrowserPathSize bytes; buf[0] is 0 on failure). Failure
// "Failed to get current directory": a longer path Q7_ERROR_OUT_OF_RANGE, EACCES
// Q7_ERROR_ACCESS_DENIED, else Q7_ERROR_OUT_OF_MEMORY.
int innerRQ7BrowserGetCurrentDirectory(char* buf);
// "Failed to set current directory": EACCES Q7_ERROR_ACCESS_DENIED, else
// Q7_ERROR_FILE_OPERATION_FAILED.
int innerRQ7BrowserSetCurrentDirectory(const char* path);
// Creates the directory with mode 0766 (less the umask). "Failed to make directory": EEXIST
// Q7_ERROR_MAKE_DIRECTORY_FAILED, EIO Q7_ERROR_ACCESS_DENIED, else Q7_ERROR_FILE_OPERATION_FAILED.
int innerRQ7BrowserMakeDirectory(const char* path);
// Removes an empty directory; with recursive == 1, when that fails, its content first. Symbolic
// links are removed as links and never followed (neither inside the tree nor as path itself).
// "Failed to delete directory": ENOTEMPTY or EEXIST Q7_ERROR_DIRECTORY_NOT_EMPTY, EIO
// Q7_ERROR_ACCESS_DENIED, else Q7_ERROR_FILE_OPERATION_FAILED.
int innerRQ7BrowserDelDirectory(const char* path, int recursive);
// Renames a file or directory. "Failed to move file ( or directory )": EACCES
// Q7_ERROR_ACCESS_DENIED, else Q7_ERROR_FILE_OPERATION_FAILED.
int innerRQ7BrowserMove(const char* from, const char* to);
// Removes a file. Records "Failed to delete file" with Q7_ERROR_FILE_OPERATION_FAILED; returns
// Q7_ERROR_ACCESS_DENIED for EACCES, else Q7_ERROR_FILE_OPERATION_FAILED.
int innerRQ7BrowserDelFile(const char* path);
// The file's size; failure records "Failed to get filesize " and returns Q7_ERROR_ILLEGAL_FILE_NAME
// (a negative value).
int64_t innerRQ7BrowserGetFileSize(const char* path);

// Reads: *size receives the file's size, buf (kBrowserReadBufferSize bytes) the first
// min(size, 8191) bytes and a zero byte after them, *read the bytes read. Codes are
// Q7_ERROR_ILLEGAL_FILE_NAME: a file that cannot be examined (GetFile: not recorded; the others
// "Failed to get filesize"), a directory, or one that cannot be opened ("Failed to open file").
// GetFile refuses a file of 2 GiB or more, whose size an int cannot hold, with Q7_ERROR_OUT_OF_RANGE
// ("File too large").
int innerRQ7BrowserGetFile(const char* path, int* size, int* read, char* buf);
int innerRQ7BrowserGetFile64(const char* path, long long* size, int* read, char* buf);
// As GetFile from offset: min(size - offset, 8191) bytes. An offset past the end: *read = 0,
// "Failed to read file"; a negative offset: "Failed to seek file"; both Q7_ERROR_ILLEGAL_FILE_NAME.
int innerRQ7BrowserGetFileEx(const char* path, int offset, int* size, int* read, char* buf);
int innerRQ7BrowserGetFileEx64(const char* path, long long offset, long long* size, int* read, char* buf);

// Creates or replaces the file with length bytes of buf. A regular file (or a new one) is written
// aside and renamed over the old one when complete (table_files::ReplacingFile: the old file's mode
// and owner kept, links followed, stale aside files of killed processes removed), so the name holds
// the old file or the whole new one at every moment; a device or a pipe is written in place. length < 0:
// Q7_ERROR_INVALID_PARAMETER (not recorded). "Failed to open file" or, when not every byte reached
// the file, "Failed to put file": Q7_ERROR_ILLEGAL_FILE_NAME.
int innerRQ7BrowserPutFile(const char* path, int length, const char* buf);
// Writes length bytes of buf, replacing the file when truncate is non-zero (as PutFile does), else
// appending to it in place.
// length < 0: "Invalid Parameter : put_len(%d)", Q7_ERROR_INVALID_PARAMETER. "Failed to open file"
// or "Failed to write file": Q7_ERROR_ILLEGAL_FILE_NAME.
int innerRQ7BrowserPutFileEx(const char* path, int truncate, int length, const char* buf);

// Lists the entries of a directory that match a pattern. search is "dir/pattern" (no "/": a
// pattern in "."); "*.*" lists everything, another pattern is "name.ext" with "?" one character and
// "*" (see isSearchMatch); directories ("." and ".." included) always qualify. Qualifying entries
// are counted in *total in directory order; those from index start on are returned: their names,
// each zero-ended, in names (kBrowserNameAreaSize bytes, zeroed first, 4095 used at most; the first
// name that does not fit ends the returning) and their attribute bytes in attrs
// (kBrowserAttrAreaSize bytes, zeroed first), *returned of them. A directory that cannot be opened:
// Q7_ERROR_INVALID_DIRECTORY.
int innerRQ7BrowserGetFileList(const char* search, int start, int* total, int* returned, char* attrs,
                               char* names);

// Name matching of the listing, byte by byte. Equal texts and the pattern "*" match; otherwise the
// pattern walks the text: "?" is any one character, "*" as the last character the rest of the text
// and elsewhere any one character; the text must end where the pattern does.
bool isSearchMatch(const char* text, const char* pattern);
// Splits file_name at its first "." into name and extension (none: empty) and matches both.
bool findMatch(const char* file_name, const char* name_pattern, const char* ext_pattern);
