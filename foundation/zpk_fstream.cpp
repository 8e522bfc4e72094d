// zpk_fstream: the buffered binary file stream, its padding, byte order and width conversion.
#include "foundation/zpk_fstream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"
#include "foundation/zpk_memory.h"

namespace {

// fwrite takes size_t, but the pieces stay below 2 GiB so that every piece's result can be
// checked against its own length.
constexpr size_t kLargeWrite = 0x80000000u;
constexpr size_t kWritePiece = 0x7FFFFFFFu;

const char* ModeText(int mode) {
  const bool binary = (mode & kZpkBinary) != 0;
  if (mode & kZpkWrite) return binary ? "wb+" : "w";
  if (mode & kZpkRead) return binary ? "rb" : "r";
  if (mode & kZpkAppend) return binary ? "ab+" : "a";
  if (mode & kZpkUpdate) return binary ? "rb+" : "r+";
  return nullptr;
}

[[noreturn]] void ThrowFileError() { throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME); }

[[noreturn]] void CloseAndThrow(zpk_fstream& stream) {
  stream.close();
  ThrowFileError();
}

}  // namespace

zpk_fstream::zpk_fstream()
    : sys_elf_(getSystemELF()),
      sys_endian_(getSystemEndian()),
      sys_alignment_(getSystemAddrAlignment()),
      sys_os_(getSystemOSTYPE()) {}

zpk_fstream::zpk_fstream(const char* path, int mode, int raw) : zpk_fstream() { open(path, mode, raw); }

zpk_fstream::zpk_fstream(const char* path, const char* mode_text, int raw) : zpk_fstream() {
  open(path, mode_text, raw);
}

zpk_fstream::~zpk_fstream() { close(); }

void zpk_fstream::ClearFileFields() {
  old_format_ = 0;
  file_elf_ = file_endian_ = file_alignment_ = file_os_ = file_char_code_ = 0;
}

int zpk_fstream::OpenWithText(const char* path, const char* mode_text, int raw) {
  close();
  ClearFileFields();
  raw_ = raw;
  qz7_strlcpy(mode_text_, mode_text != nullptr ? mode_text : "", sizeof mode_text_);
  qz7_strlcpy(path_, path != nullptr ? path : "", sizeof path_);
  if (path == nullptr || mode_text == nullptr) return -1;
  fp_ = fopen(path, mode_text);
  return fp_ != nullptr ? 0 : -1;
}

int zpk_fstream::open(const char* path, int mode, int raw) {
  mode_ = mode;
  const char* text = ModeText(mode);
  if (text == nullptr) {
    close();
    ClearFileFields();
    return -1;
  }
  return OpenWithText(path, text, raw);
}

int zpk_fstream::open(const char* path, const char* mode_text, int raw) {
  mode_ = 0;
  return OpenWithText(path, mode_text, raw);
}

int zpk_fstream::close() {
  if (fp_ == nullptr) return 0;
  const int rc = fclose(fp_);
  fp_ = nullptr;
  return rc;
}

int zpk_fstream::sync() {
  if (fp_ == nullptr || fflush(fp_) != 0) return -1;
  return fsync(fileno(fp_)) == 0 ? 0 : -1;
}

bool zpk_fstream::NeedsSwap() const {
  // Before a header was read the file's byte order is unknown (0): nothing is swapped.
  return raw_ == 0 && old_format_ == 0 && file_endian_ != 0 && file_endian_ != sys_endian_;
}

int zpk_fstream::WriteBytes(const void* buf, size_t n) {
  const auto* p = static_cast<const char*>(buf);
  if (n < kLargeWrite) return fwrite(p, 1, n, fp_) == n ? 0 : -1;
  while (n > 0) {
    const size_t piece = n < kWritePiece ? n : kWritePiece;
    if (fwrite(p, 1, piece, fp_) != piece) return -1;
    p += piece;
    n -= piece;
  }
  return 0;
}

int zpk_fstream::adjust_write_addr_alignment() {
  if (fp_ == nullptr) return -1;
  if (raw_ != 0) return 0;
  const off_t pos = ftello(fp_);
  if (pos < 0) return -1;
  static const char kZeros[8] = {};
  const size_t pad = AlignmentPadding(static_cast<uint64_t>(pos));
  if (pad > 0 && fwrite(kZeros, 1, pad, fp_) != pad) return -1;
  return static_cast<int>(pad);
}

int zpk_fstream::SkipReadPadding() {
  if (raw_ != 0 || file_alignment_ == 0) return 0;
  const off_t pos = ftello(fp_);
  if (pos < 0) return -1;
  char discard[256];  // the alignment is one byte, so the amount is below 256
  const size_t skip = static_cast<size_t>(static_cast<uint64_t>(pos) % file_alignment_);
  if (skip > 0 && fread(discard, 1, skip, fp_) != skip) return -1;
  return static_cast<int>(skip);
}

int zpk_fstream::adjust_read_addr_alignment() {
  if (fp_ == nullptr) return -1;
  return SkipReadPadding();
}

int zpk_fstream::seek_addr_alignment() {
  if (fp_ == nullptr) return -1;
  if (raw_ != 0 || file_alignment_ == 0) return 0;
  const off_t pos = ftello(fp_);
  if (pos < 0) return -1;
  const auto skip = static_cast<off_t>(static_cast<uint64_t>(pos) % file_alignment_);
  if (skip > 0 && fseeko(fp_, skip, SEEK_CUR) != 0) return -1;
  return static_cast<int>(skip);
}

int zpk_fstream::read(void* buf, size_t n) {
  if (fp_ == nullptr) return -1;
  return fread(buf, 1, n, fp_) == n ? 0 : -1;
}

int zpk_fstream::read(void* buf, size_t size, size_t count) {
  if (fp_ == nullptr) return -1;
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) return -1;
  // The writer puts no padding before an empty record, so an empty read must not skip any:
  // skipping here would shift every later record by the padding amount.
  if (bytes == 0) return 0;
  if (SkipReadPadding() < 0) return -1;
  // One fread for all the data; the swap, where needed, is done in memory afterwards.
  if (fread(buf, 1, bytes, fp_) != bytes) return -1;
  if (size > 1 && NeedsSwap()) SwapElements(buf, size, count);
  return 0;
}

int zpk_fstream::read_parallel(void* buf, size_t size, size_t count) {
  if (fp_ == nullptr) return -1;
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) return -1;
  if (bytes < static_cast<size_t>(ParallelFileBytes())) return read(buf, size, count);
  struct stat st;
  if (fstat(fileno(fp_), &st) != 0 || !S_ISREG(st.st_mode)) return read(buf, size, count);
  if (SkipReadPadding() < 0) return -1;
  // The buffered position is the one the stream's next read would start from; the stream is then
  // moved past the elements, which drops its buffer.
  const off_t pos = ftello(fp_);
  if (pos < 0) return -1;
  if (!MppPread(fileno(fp_), buf, bytes, static_cast<int64_t>(pos))) return -1;
  if (fseeko(fp_, pos + static_cast<off_t>(bytes), SEEK_SET) != 0) return -1;
  if (size > 1 && NeedsSwap()) SwapElements(buf, size, count);
  return 0;
}

int zpk_fstream::write(const void* buf, size_t n) {
  if (fp_ == nullptr) return -1;
  if (adjust_write_addr_alignment() < 0) return -1;
  return WriteBytes(buf, n);
}

int zpk_fstream::write(const void* buf, size_t size, size_t count) {
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) return -1;
  if (bytes == 0) return 0;
  if (fp_ == nullptr) return -1;
  if (adjust_write_addr_alignment() < 0) return -1;
  return WriteBytes(buf, bytes);
}

char* zpk_fstream::gets(char* buf, int n) {
  if (fp_ == nullptr) return nullptr;
  return fgets(buf, n, fp_);
}

int64_t zpk_fstream::tellg() {
  if (fp_ == nullptr) return -1;
  return ftell64(fp_);
}

int zpk_fstream::seekg(int64_t off, int whence) {
  if (fp_ == nullptr) return -1;
  return fseeko(fp_, static_cast<off_t>(off), whence) == 0 ? 0 : -1;
}

int zpk_fstream::eof() { return fp_ == nullptr ? 1 : feof(fp_); }

int zpk_fstream::set_vbuf(char* buf, int size) {
  if (fp_ == nullptr || size < 0) return -1;
  return setvbuf(fp_, buf, _IOFBF, static_cast<size_t>(size)) == 0 ? 0 : -1;
}

int64_t zpk_fstream::remaining() {
  if (fp_ == nullptr) return -1;
  const off_t pos = ftello(fp_);
  struct stat st;
  if (pos < 0 || fstat(fileno(fp_), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size > pos ? static_cast<int64_t>(st.st_size - pos) : 0;
}

int zpk_fstream::readFileHeader(bool check_char_code) {
  if (fp_ == nullptr) ThrowFileError();
  unsigned char header[kSysHeaderSize];
  const size_t got = fread(header, 1, sizeof header, fp_);
  // An empty file has no first byte to test: it is neither a header nor an old-format image.
  if (got == 0) CloseAndThrow(*this);
  if (header[0] != kSysHeaderMarker) {
    if (fseeko(fp_, 0, SEEK_SET) != 0) CloseAndThrow(*this);
    old_format_ = 1;
    file_elf_ = sys_elf_;
    file_endian_ = sys_endian_;
    file_alignment_ = 0;
    file_os_ = sys_os_;
    return 0;
  }
  if (got < sizeof header) CloseAndThrow(*this);
  file_elf_ = getStreamELF(header);
  file_endian_ = getStreamEndian(header);
  file_alignment_ = getStreamAddrAlignment(header);
  file_os_ = getStreamOSTYPE(header);
  file_char_code_ = getStreamDBCharCode(header);
  if (check_char_code) {
    const unsigned char stored = file_char_code_ != 0 ? file_char_code_ : kDefaultDBCharCode;
    if (stored != getSystemInfoDBCharCode()) {
      close();
      throw CQ7Exception(Q7_ERROR_INVALID_CHAR_CODE);
    }
  }
  return 0;
}

int zpk_fstream::writeFileHeader() { return writeFileHeader(Qz7SysInfo); }

int zpk_fstream::writeFileHeader(const void* header) {
  if (fp_ == nullptr) return -1;
  if (adjust_write_addr_alignment() < 0) return -1;
  return fwrite(header, 1, kSysHeaderSize, fp_) == kSysHeaderSize ? 0 : -1;
}

int zpk_open(zpk_fstream& stream, const char* path, int mode, int raw) {
  if (stream.open(path, mode, raw) != 0) {
    PutErrorLog("zpk_open", Q7_ERROR_ILLEGAL_FILE_NAME, "Illegal FileName");
    ThrowFileError();
  }
  return 0;
}

int zpk_open(zpk_fstream& stream, const char* path, const char* mode_text, int raw) {
  if (stream.open(path, mode_text, raw) != 0) ThrowFileError();
  return 0;
}

int zpk_read(zpk_fstream& stream, void* buf, size_t size, size_t count) {
  if (stream.read(buf, size, count) != 0) CloseAndThrow(stream);
  return 0;
}

int zpk_read_parallel(zpk_fstream& stream, void* buf, size_t size, size_t count) {
  if (stream.read_parallel(buf, size, count) != 0) CloseAndThrow(stream);
  return 0;
}

int zpk_read(zpk_fstream& stream, void* buf, size_t size, size_t count, int width) {
  if (width < 1 || size < 1) CloseAndThrow(stream);
  if (count == 0) return 0;
  const auto w = static_cast<size_t>(width);
  if (w == size) return zpk_read(stream, buf, size, count);
  size_t bytes;
  if (__builtin_mul_overflow(size, count, &bytes)) CloseAndThrow(stream);
  // A stored count of elements must be backed by the file before it sizes a block.
  const int64_t left = stream.remaining();
  if (left >= 0 && bytes > static_cast<uint64_t>(left)) CloseAndThrow(stream);
  void* stored = zpk_malloc(bytes);
  const int rc = stream.read(stored, size, count);
  if (rc == 0) ConvertElementWidth(stored, size, count, buf, w);
  zpk_free(stored);
  if (rc != 0) CloseAndThrow(stream);
  return 0;
}

int zpk_write(zpk_fstream& stream, const void* buf, size_t size, size_t count) {
  if (stream.write(buf, size, count) != 0) CloseAndThrow(stream);
  return 0;
}

int zpk_setvbuf(zpk_fstream& stream, char* buf, int size) {
  if (stream.set_vbuf(buf, size) != 0) ThrowFileError();
  return 0;
}

char* zpk_gets(zpk_fstream& stream, char* buf, int n) { return stream.gets(buf, n); }

int zpk_close(zpk_fstream& stream) { return stream.close(); }

int fseek64(FILE* fp, long offset, int whence) {
  return fseeko(fp, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int64_t ftell64(FILE* fp) {
  const off_t pos = ftello(fp);
  if (pos < 0) ThrowFileError();
  return static_cast<int64_t>(pos);
}

int64_t getFileSize(const char* directory, const char* name) {
  // Resolved against a handle on the directory instead of changing into it: the working
  // directory is process-wide and worker threads may be resolving relative paths meanwhile.
  const int dir = directory != nullptr ? ::open(directory, O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
  if (dir < 0) throw CQ7Exception(Q7_ERROR_INVALID_DIRECTORY);
  struct stat st;
  // "." needs search permission, as entering the directory would.
  if (fstatat(dir, ".", &st, 0) != 0) {
    ::close(dir);
    throw CQ7Exception(Q7_ERROR_INVALID_DIRECTORY);
  }
  int64_t size = 0;
  if (name != nullptr && name[0] != '\0' && fstatat(dir, name, &st, 0) == 0) size = st.st_size;
  ::close(dir);
  return size;
}
