// The small text, path, file and memory-mapping helpers that the catalog reader, the line parsers
// and the importers share.
//
// Conventions: texts are NUL-ended; "blank" is 0x20 and "tab" 0x09. Every char* output must be
// large enough for what the function states it writes. Nothing here throws, changes the working
// directory or writes a log; every function is re-entrant (the character code is passed in).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/TextHelpers.h"

class zpk_fstream;

// Room for a path from CnvRelativeToAbsolute (PATH_MAX).
inline constexpr size_t kImportPathSize = 4096;

// ---- Lines ----
// One line of at most size - 1 bytes (a longer line arrives in pieces), without its trailing line
// feed and a carriage return before it; *length (optional) receives the length after that removal.
// The buffer, or null at the end of the file (or for size < 2).
char* readLineNCR(zpk_fstream& fs, char* buffer, int size, int* length);
// The same, the line as read (line feed included).
char* readLine(zpk_fstream& fs, char* buffer, int size);

// ---- Byte-order mark ----
// The character code of UTF-8 sources.
inline constexpr int kCharCodeUtf8 = 33;
// The UTF-8 byte-order mark: a source in the UTF-8 code may begin with it, and it is no data.
inline constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
inline constexpr size_t kUtf8MarkLength = sizeof kUtf8Mark - 1;
// kUtf8MarkLength when a source of character code `code` begins with the mark (its first len bytes
// at head), else 0.
size_t Utf8MarkLength(int code, const char* head, size_t len);
// The same for the open file fd of `size` bytes.
uint64_t Utf8MarkLength(int code, int fd, uint64_t size);

// ---- Exported doubles ----
// The text the text export writes for a DOUBLE plus infinity; the import's DOUBLE cells read it
// back as that value.
inline constexpr char kExportedInfinity[] = "INF";
bool IsExportedInfinity(const char* text);

// ---- Files ----
// The file's size, 0 when it cannot be examined.
int64_t getFileSize2(const char* path);
// 1 when the file can be examined, else 0.
int IsFileExist(const char* path);
// The average length in bytes of the first (up to) three lines, read in pieces of at most
// kLineSampleBuffer - 1 bytes: the bytes from the start to after the last piece read, divided by
// the pieces read; 0 for an empty or unreadable file.
inline constexpr int kLineSampleBuffer = 4195845;
int64_t getFileLineSize(const char* path);
// The estimated line count: file size / getFileLineSize, or 1 when either is 0.
int64_t get_AverageLines(const char* path);
// The whole file into *data (size + 1 bytes, the last one 0) and its size into *size: 0,
// Q7_ERROR_ILLEGAL_FILE_NAME (it cannot be opened or read) or Q7_ERROR_OUT_OF_MEMORY.
int ReadWholeFile(const char* path, std::unique_ptr<char[]>* data, size_t* size);

// ---- Paths ----
// The absolute, symlink-free form of a directory into out (kImportPathSize bytes); an empty path
// gives the current directory. 0, or -1 (out empty) when the directory cannot be entered or the
// result does not fit. The working directory is not changed.
int CnvRelativeToAbsolute(const char* path, char* out);
// out = dir, a '/' unless dir is empty or already ends with one, then name; an empty (or null)
// name leaves out empty. out must hold strlen(dir) + strlen(name) + 2 bytes. Returns out.
char* build_AbsoluteName(const char* dir, const char* name, char* out);
// Cuts the path at its last '/' in place and returns it, or null (path unchanged) without a '/'.
char* get_Path(char* path);
// The part after the last '/', or the whole path.
char* get_FileName(char* path);
// The last occurrence of byte c in text, or null (c 0 gives null).
char* rafo_strrchr(const char* text, unsigned char c);

// ---- Blanks, quotes, tokens ----
// Skips leading blanks and commas and removes every comma from the rest, in place; returns the
// first kept character. The int argument is not used.
char* stripSpace(char* text, int unused);
// The first character that is not a blank or a tab.
char* stripWhiteSpace(char* text);
// 1 when the text holds a blank or a tab.
int scanWhiteSpace(const char* text);
// 1 when the text begins with a blank or a tab, or holds a tab.
int scanWhiteSpaceForDateTime(const char* text);
// Remove, in place, every blank (removeSpace), every blank and tab (removeSpaceTab), every blank
// and carriage return (removeSpaceCR). A text longer than kRemoveSpaceLimit bytes is left as it is.
// The int arguments are not used. Each returns text.
inline constexpr size_t kRemoveSpaceLimit = 8192;
char* removeSpace(int unused, char* text);
char* removeSpaceTab(char* text);
char* removeSpaceCR(int unused, char* text);
// Removes a leading and a trailing double quote when both are present (a text of two characters
// or more). Returns text.
char* removeQuotes(char* text);
// token = the text before the first tab, line feed or carriage return (all of it when there is
// none); returns the rest after that separator, or null when there is none. token must hold
// strlen(text) + 1 bytes.
char* get_TabSepToken(int unused, const char* text, char* token);

// Split a line at tabs (a line feed or carriage return also ends a token, and the line) into
// consecutive tokens; a missing token is the empty text. Every token buffer must hold
// strlen(line) + 1 bytes. 0 when the first token is empty, else 1.
int DissolveLine(const char* line, char* t1, char* t2, char* t3, char* t4, char* t5);
int DissolveLine(const char* line, char* t1, char* t2, char* t3, char* t4, char* t5, char* t6);
// The catalog field line: type, size, name, first and second parameter. *skip is 1 when the fourth
// or a later token reads "SKIP" in any case, else 0. 0 when the type, size or name is empty.
int DissolveLine(const char* line, char* type, char* size, char* name, char* param1, char* param2, int* skip);

// ---- Character codes ----
// countMultiBytes(code, lead) is foundation/TextHelpers.h's.
// Upper-cases the single-byte letters of text in place, stepping over the multibyte characters of
// `code` whole; a character cut off by the end of the text never moves the scan past the NUL.
// Returns text.
char* UpperCase(int code, char* text);
// Always 0.
int sjis(char c);

// ---- Catalog words ----
// Empties a line whose first characters other than blanks and tabs are "//".
void CutComment(char* line);
// 0 .. 6 for "ROUNDUP" ... "ROUNDHALFEVEN" (exact case), 0x80000000 for anything else (null too).
int TransNumericRoundType(const char* text);
// The name of mode 0 .. 6, the empty text for any other mode.
const char* TransNumericRoundType2Str(int mode);
// *out = 16 when bit 14 of mode is set, plus 1 when bit 5 or bit 8 is; returns the same value.
int flag_build(unsigned short mode, char* out);
// Copies n bytes (n < 1: nothing).
void assignValue(const char* from, char* to, int n);

// ---- Memory-mapped files ----
// A read-only descriptor of the file, or Q7_ERROR_ILLEGAL_FILE_NAME (negative) both as the result
// and in *error (optional; 0 on success).
int mmf_create(const char* path, int* error);
// A private read-only mapping of length bytes from offset (a multiple of the page size), or null.
void* mmf_mapview(int fd, unsigned long length, unsigned long offset);
// Unmaps a mapping of mmf_mapview (null is ignored).
void mmf_unmap(void* view, unsigned long length);
// Closes a descriptor of mmf_create (a negative one is ignored).
void mmf_close(int fd);
// The system's page size (4096 when it cannot be read).
int64_t SystemPageSize();
// The offset just past the first LF at or after `from` in the open file fd of `size` bytes, or size
// when there is none. A file that ends before `size` (it shrank since its size was taken) or cannot
// be read throws Q7_ERROR_FILE_OPERATION_FAILED.
uint64_t FindLineEnd(int fd, uint64_t from, uint64_t size);

// Reads length bytes of the open file fd from offset into buf: false when the file ends before them
// (it shrank since its size was taken) or cannot be read.
bool ReadFileAt(int fd, char* buf, uint64_t length, uint64_t offset);

// One read-only mapping of mmf_mapview, unmapped on every way out; data() is null when the mapping
// failed. With populate, the pages are mapped in one call: a window read through once costs less
// that way than a fault for every few pages.
class MappedView {
 public:
  MappedView(int fd, uint64_t length, uint64_t offset, bool populate);
  ~MappedView();
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  char* data() const { return static_cast<char*>(view_); }

 private:
  unsigned long length_;
  void* view_;
};
