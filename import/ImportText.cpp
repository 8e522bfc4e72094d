// The small text, path, file and memory-mapping helpers of the catalog reader and line parsers.
#include "import/ImportText.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "foundation/CQ7Exception.h"
#include "foundation/TextHelpers.h"
#include "foundation/zpk_fstream.h"
#include "q7api.h"
#include "values/Numeric.h"

// ---- Lines ----

char* readLineNCR(zpk_fstream& fs, char* buffer, int size, int* length) {
  if (buffer == nullptr || size < 2 || fs.gets(buffer, size) == nullptr) return nullptr;
  size_t n = strlen(buffer);
  if (n > 0 && buffer[n - 1] == '\n') {
    buffer[--n] = '\0';
    if (n > 0 && buffer[n - 1] == '\r') buffer[--n] = '\0';
  }
  if (length != nullptr) *length = static_cast<int>(n);
  return buffer;
}

char* readLine(zpk_fstream& fs, char* buffer, int size) {
  if (buffer == nullptr || size < 2) return nullptr;
  return fs.gets(buffer, size);
}

// ---- Files ----

int64_t getFileSize2(const char* path) {
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

int IsFileExist(const char* path) {
  struct stat st;
  return path != nullptr && stat(path, &st) == 0 ? 1 : 0;
}

int64_t getFileLineSize(const char* path) {
  if (path == nullptr) return 0;
  zpk_fstream fs;
  if (fs.open(path, kZpkRead, 1) != 0) return 0;
  std::unique_ptr<char[]> line(new (std::nothrow) char[kLineSampleBuffer]);
  if (!line) return 0;
  int pieces = 0;
  while (pieces < 3 && fs.gets(line.get(), kLineSampleBuffer) != nullptr) ++pieces;
  if (pieces == 0) return 0;
  const int64_t bytes = fs.tellg();
  return bytes > 0 ? bytes / pieces : 0;
}

int64_t get_AverageLines(const char* path) {
  const int64_t size = getFileSize2(path);
  if (size == 0) return 1;
  const int64_t line = getFileLineSize(path);
  if (line == 0) return 1;
  return size / line;
}

int ReadWholeFile(const char* path, std::unique_ptr<char[]>* data, size_t* size) {
  data->reset();
  *size = 0;
  FILE* fp = path == nullptr ? nullptr : fopen(path, "rb");
  if (fp == nullptr) return Q7_ERROR_ILLEGAL_FILE_NAME;
  // The size is taken from what was opened, and the read must deliver exactly that much.
  struct stat st;
  if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) {
    fclose(fp);
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  const size_t n = static_cast<size_t>(st.st_size);
  std::unique_ptr<char[]> block(new (std::nothrow) char[n + 1]);
  if (!block) {
    fclose(fp);
    return Q7_ERROR_OUT_OF_MEMORY;
  }
  const size_t got = n == 0 ? 0 : fread(block.get(), 1, n, fp);
  fclose(fp);
  if (got != n) return Q7_ERROR_ILLEGAL_FILE_NAME;
  block[n] = '\0';
  *data = std::move(block);
  *size = n;
  return 0;
}

// ---- Paths ----

int CnvRelativeToAbsolute(const char* path, char* out) {
  if (out == nullptr) return -1;
  out[0] = '\0';
  char resolved[PATH_MAX];
  if (path == nullptr || path[0] == '\0') {
    if (getcwd(resolved, sizeof resolved) == nullptr) return -1;
  } else {
    // Resolved without entering it, so the working directory never changes (nothing to restore on
    // any path); "entered" means a directory this process may search.
    struct stat st;
    if (realpath(path, resolved) == nullptr || stat(resolved, &st) != 0 || !S_ISDIR(st.st_mode) ||
        access(resolved, X_OK) != 0)
      return -1;
  }
  if (strlen(resolved) >= kImportPathSize) return -1;
  strcpy(out, resolved);
  return 0;
}

char* build_AbsoluteName(const char* dir, const char* name, char* out) {
  if (name == nullptr || name[0] == '\0') {
    out[0] = '\0';
    return out;
  }
  const char* d = dir == nullptr ? "" : dir;
  const size_t dl = strlen(d);
  // memmove: out may be dir itself.
  memmove(out, d, dl);
  size_t n = dl;
  if (dl > 0 && d[dl - 1] != '/') out[n++] = '/';
  const size_t nl = strlen(name);
  memmove(out + n, name, nl);
  out[n + nl] = '\0';
  return out;
}

char* get_Path(char* path) {
  char* slash = path == nullptr ? nullptr : strrchr(path, '/');
  if (slash == nullptr) return nullptr;
  *slash = '\0';
  return path;
}

char* get_FileName(char* path) {
  char* slash = strrchr(path, '/');
  return slash == nullptr ? path : slash + 1;
}

char* rafo_strrchr(const char* text, unsigned char c) {
  if (text == nullptr || c == 0) return nullptr;
  return const_cast<char*>(strrchr(text, static_cast<char>(c)));
}

// ---- Blanks, quotes, tokens ----

char* stripSpace(char* text, int) {
  while (*text == ' ' || *text == ',') ++text;
  char* o = text;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p != ',') *o++ = *p;
  }
  *o = '\0';
  return text;
}

char* stripWhiteSpace(char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

int scanWhiteSpace(const char* text) { return strpbrk(text, " \t") != nullptr ? 1 : 0; }

int scanWhiteSpaceForDateTime(const char* text) {
  return text[0] == ' ' || text[0] == '\t' || strchr(text, '\t') != nullptr ? 1 : 0;
}

namespace {
char* RemoveChars(char* text, const char* drop) {
  if (strlen(text) > kRemoveSpaceLimit) return text;
  char* o = text;
  for (char* p = text; *p != '\0'; ++p) {
    if (strchr(drop, *p) == nullptr) *o++ = *p;
  }
  *o = '\0';
  return text;
}
}  // namespace

char* removeSpace(int, char* text) { return RemoveChars(text, " "); }
char* removeSpaceTab(char* text) { return RemoveChars(text, " \t"); }
char* removeSpaceCR(int, char* text) { return RemoveChars(text, " \r"); }

char* removeQuotes(char* text) {
  const size_t n = strlen(text);
  if (n >= 2 && text[0] == '"' && text[n - 1] == '"') {
    memmove(text, text + 1, n - 2);
    text[n - 2] = '\0';
  }
  return text;
}

namespace {
bool EndsToken(char c) { return c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

char* get_TabSepToken(int, const char* text, char* token) {
  const char* p = text;
  while (*p != '\0' && !EndsToken(*p)) ++p;
  const size_t n = static_cast<size_t>(p - text);
  memmove(token, text, n);
  token[n] = '\0';
  return *p == '\0' ? nullptr : const_cast<char*>(p + 1);
}

namespace {

// Splits at tabs into the given buffers; a line feed or carriage return ends the line. Returns the
// position after the last token taken (null when the line ended before all were taken).
const char* Dissolve(const char* line, char* const* tokens, int count) {
  const char* p = line;
  for (int i = 0; i < count; ++i) {
    if (p == nullptr) {
      tokens[i][0] = '\0';
      continue;
    }
    const char* e = p;
    while (*e != '\0' && !EndsToken(*e)) ++e;
    const size_t n = static_cast<size_t>(e - p);
    memcpy(tokens[i], p, n);
    tokens[i][n] = '\0';
    p = *e == '\t' ? e + 1 : nullptr;
  }
  return p;
}

bool IsSkipWord(const char* p, const char* end) { return end - p == 4 && strncasecmp(p, "SKIP", 4) == 0; }

}  // namespace

int DissolveLine(const char* line, char* t1, char* t2, char* t3, char* t4, char* t5) {
  char* const tokens[] = {t1, t2, t3, t4, t5};
  Dissolve(line, tokens, 5);
  return t1[0] == '\0' ? 0 : 1;
}

int DissolveLine(const char* line, char* t1, char* t2, char* t3, char* t4, char* t5, char* t6) {
  char* const tokens[] = {t1, t2, t3, t4, t5, t6};
  Dissolve(line, tokens, 6);
  return t1[0] == '\0' ? 0 : 1;
}

int DissolveLine(const char* line, char* type, char* size, char* name, char* param1, char* param2,
                 int* skip) {
  char* const tokens[] = {type, size, name, param1, param2};
  const char* rest = Dissolve(line, tokens, 5);
  bool skipped = strcasecmp(param1, "SKIP") == 0 || strcasecmp(param2, "SKIP") == 0;
  // Tokens past the fifth are not kept, but any of them may still mark the field skipped.
  while (!skipped && rest != nullptr) {
    const char* e = rest;
    while (*e != '\0' && !EndsToken(*e)) ++e;
    skipped = IsSkipWord(rest, e);
    rest = *e == '\t' ? e + 1 : nullptr;
  }
  if (skip != nullptr) *skip = skipped ? 1 : 0;
  return type[0] == '\0' || size[0] == '\0' || name[0] == '\0' ? 0 : 1;
}

// ---- Character codes ----

char* UpperCase(int code, char* text) {
  unsigned char* p = reinterpret_cast<unsigned char*>(text);
  while (*p != '\0') {
    const int n = countMultiBytes(code, *p);
    if (n <= 1) {
      if (*p >= 'a' && *p <= 'z') *p = static_cast<unsigned char>(*p - 'a' + 'A');
      ++p;
      continue;
    }
    // Step over the whole character, but never past the end of the text.
    for (int i = 0; i < n && *p != '\0'; ++i) ++p;
  }
  return text;
}

int sjis(char) { return 0; }

// ---- Catalog words ----

void CutComment(char* line) {
  const char* p = line;
  while (*p == ' ' || *p == '\t') ++p;
  if (p[0] == '/' && p[1] == '/') line[0] = '\0';
}

int TransNumericRoundType(const char* text) {
  if (text != nullptr) {
    for (int mode = 0; mode <= 6; ++mode) {
      if (strcmp(text, q7num::kRoundingModeNames[mode]) == 0) return mode;
    }
  }
  return INT_MIN;
}

const char* TransNumericRoundType2Str(int mode) {
  if (mode < 0 || mode > 6) return "";
  return q7num::kRoundingModeNames[mode];
}

int flag_build(unsigned short mode, char* out) {
  int value = 0;
  if ((mode & (1u << 14)) != 0) value = 16;
  if ((mode & ((1u << 5) | (1u << 8))) != 0) value += 1;
  if (out != nullptr) *out = static_cast<char>(value);
  return value;
}

void assignValue(const char* from, char* to, int n) {
  if (n > 0) memcpy(to, from, static_cast<size_t>(n));
}

// ---- Memory-mapped files ----

int mmf_create(const char* path, int* error) {
  const int fd = path == nullptr ? -1 : open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = Q7_ERROR_ILLEGAL_FILE_NAME;
    return Q7_ERROR_ILLEGAL_FILE_NAME;
  }
  if (error != nullptr) *error = 0;
  return fd;
}

void* mmf_mapview(int fd, unsigned long length, unsigned long offset) {
  if (fd < 0 || length == 0) return nullptr;
  void* view = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(offset));
  return view == MAP_FAILED ? nullptr : view;
}

void mmf_unmap(void* view, unsigned long length) {
  if (view != nullptr && length > 0) munmap(view, length);
}

void mmf_close(int fd) {
  if (fd >= 0) close(fd);
}

int64_t SystemPageSize() {
  const long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? page : 4096;
}

uint64_t FindLineEnd(int fd, uint64_t from, uint64_t size) {
  std::unique_ptr<char[]> block(new char[65536]);
  while (from < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(65536, size - from));
    const ssize_t n = pread(fd, block.get(), want, static_cast<off_t>(from));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw CQ7Exception(Q7_ERROR_FILE_OPERATION_FAILED);
    const void* lf = std::memchr(block.get(), '\n', static_cast<size_t>(n));
    if (lf != nullptr) return from + static_cast<uint64_t>(static_cast<const char*>(lf) - block.get()) + 1;
    from += static_cast<uint64_t>(n);
  }
  return size;
}

bool ReadFileAt(int fd, char* buf, uint64_t length, uint64_t offset) {
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(length, uint64_t{1} << 30));
    const ssize_t n = pread(fd, buf, want, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buf += n;
    length -= static_cast<uint64_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

MappedView::MappedView(int fd, uint64_t length, uint64_t offset, bool populate)
    : length_(static_cast<unsigned long>(length)),
      view_(mmf_mapview(fd, length_, static_cast<unsigned long>(offset))) {
#ifdef MADV_POPULATE_READ
  // A refusal (older kernels) leaves the faults.
  if (populate && view_ != nullptr) madvise(view_, length_, MADV_POPULATE_READ);
#else
  (void)populate;
#endif
}

MappedView::~MappedView() { mmf_unmap(view_, length_); }

size_t Utf8MarkLength(int code, const char* head, size_t len) {
  if (code != kCharCodeUtf8 || head == nullptr || len < kUtf8MarkLength) return 0;
  return std::memcmp(head, kUtf8Mark, kUtf8MarkLength) == 0 ? kUtf8MarkLength : 0;
}

uint64_t Utf8MarkLength(int code, int fd, uint64_t size) {
  if (code != kCharCodeUtf8 || size < kUtf8MarkLength) return 0;
  char head[kUtf8MarkLength];
  if (!ReadFileAt(fd, head, kUtf8MarkLength, 0)) throw CQ7Exception(Q7_ERROR_FILE_OPERATION_FAILED);
  return Utf8MarkLength(code, head, kUtf8MarkLength);
}

bool IsExportedInfinity(const char* text) {
  return text != nullptr && std::strcmp(text, kExportedInfinity) == 0;
}
