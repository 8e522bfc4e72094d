// TIOBuf: the checked import's cell reader over a 64 KiB window of the data file.
#include "import/TIOBuf.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "foundation/CQ7Exception.h"
#include "import/ImportText.h"
#include "import/TCorrectLog.h"
#include "q7api.h"

namespace {

constexpr int kEndOfData = 26;  // ^Z

std::string Format(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int need = vsnprintf(nullptr, 0, format, args);
  std::string text(need > 0 ? static_cast<size_t>(need) + 1 : 1, '\0');
  if (need > 0) vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  text.resize(strlen(text.c_str()));
  return text;
}

unsigned long Hex(int64_t offset) { return static_cast<unsigned long>(offset); }

}  // namespace

TIOBuf::TIOBuf(const char* dir, const char* file, const char* separators, int count, TCorrectLog* log)
    : log_(log), buffer_(kReadSize), cell_(kMaxCell + 1) {
  for (Kind& k : kind_) k = kPlain;
  kind_[static_cast<unsigned char>('\n')] = kLineFeed;
  kind_[static_cast<unsigned char>('\r')] = kReturn;
  kind_[kEndOfData] = kEndMark;
  kind_[static_cast<unsigned char>('"')] = kQuote;
  kind_[0] = kNul;
  // A separator never takes the place of a byte that has a meaning of its own.
  for (int i = 0; i < std::min(count, kMaxSeparators); ++i) {
    const unsigned char s = static_cast<unsigned char>(separators[i]);
    if (kind_[s] == kPlain) kind_[s] = kSeparator;
  }
  const char* folder = dir != nullptr ? dir : "";
  const char* name = file != nullptr ? file : "";
  path_.assign(strlen(folder) + strlen(name) + 2, '\0');
  build_AbsoluteName(folder, name, path_.data());
  path_.resize(strlen(path_.c_str()));
  Note("Trying to open data file[%s]", path_.c_str());
  struct stat st;
  file_ = path_.empty() ? nullptr : fopen(path_.c_str(), "rb");
  if (file_ == nullptr || fstat(fileno(file_), &st) != 0 || S_ISDIR(st.st_mode)) {
    if (file_ != nullptr) fclose(file_);
    file_ = nullptr;
    Note("ERROR. Failed to open Data file[%s]", path_.c_str());
    throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  }
  size_ = static_cast<int64_t>(st.st_size);
}

TIOBuf::~TIOBuf() {
  if (file_ != nullptr) fclose(file_);
}

bool TIOBuf::IsDataExists() const { return Offset() < size_; }

void TIOBuf::Note(const char* format, ...) {
  if (log_ == nullptr) return;
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  log_->AddData(0, 0, "", "", "", text.c_str());
}

void TIOBuf::Fail(const char* format, ...) {
  if (log_ != nullptr) {
    va_list args;
    va_start(args, format);
    const std::string text = Format(format, args);
    va_end(args);
    log_->AddData(0, 0, "", "", "", text.c_str());
  }
  throw CQ7Exception(Q7_CATALOG_PARSE_ERROR);
}

bool TIOBuf::Refill() {
  start_ += static_cast<int64_t>(fill_);
  pos_ = 0;
  fill_ = fread(buffer_.data(), 1, kReadSize, file_);
  if (fill_ == 0 && ferror(file_) != 0) Fail("ERROR. nextChar() failed at [0x%lX].", Hex(Offset()));
  return fill_ > 0;
}

int TIOBuf::Peek() {
  if (pos_ == fill_ && !Refill()) return -1;
  return static_cast<unsigned char>(buffer_[pos_]);
}

char* TIOBuf::getOneCell(char* state) {
  cell_len_ = 0;
  cell_[0] = '\0';
  const int64_t cell_start = Offset();
  bool quoted = false;
  try {
    const int first = Peek();
    if (first < 0) {
      *state = 2;
      return cell_.data();
    }
    quoted = first == '"';
    bool cut;
    if (quoted) {
      Skip();
      cut = ReadQuoted();
    } else {
      cut = ReadPlain();
    }
    cell_[cell_len_] = '\0';
    *state = cut ? 0 : EndCell();
    return cell_.data();
  } catch (const CQ7Exception&) {
    cell_len_ = 0;
    cell_[0] = '\0';
    Note("Error cell starts at[%ld]", static_cast<long>(cell_start + (quoted ? 1 : 0)));
    return nullptr;
  }
}

bool TIOBuf::ReadPlain() {
  for (;;) {
    if (pos_ == fill_ && !Refill()) return false;
    if (cell_len_ == kMaxCell) {
      const Kind next = kind_[static_cast<unsigned char>(buffer_[pos_])];
      return next == kPlain || next == kQuote || next == kNul;
    }
    const char* p = buffer_.data() + pos_;
    const size_t limit = std::min(fill_ - pos_, kMaxCell - cell_len_);
    size_t n = 0;
    while (n < limit && kind_[static_cast<unsigned char>(p[n])] == kPlain) ++n;
    memcpy(cell_.data() + cell_len_, p, n);
    cell_len_ += n;
    pos_ += n;
    if (n == limit) continue;
    switch (kind_[static_cast<unsigned char>(p[n])]) {
      case kQuote:
        Fail("ERROR. illegal char(\") appeared at [0x%lX].", Hex(Offset()));
      case kNul:
        Fail("ERROR. illegal char(0) appeared at [0x%lX].", Hex(Offset()));
      default:
        return false;  // a separator, line end or ^Z: EndCell takes it
    }
  }
}

bool TIOBuf::ReadQuoted() {
  for (;;) {
    const int c = Peek();
    if (c < 0) Fail("ERROR. File ended inside double quates at [0x%lX].", Hex(Offset()));
    if (c == '"') {
      Skip();
      if (Peek() != '"') return false;
      // The second quote of a pair that no longer fits begins the next cell.
      if (cell_len_ == kMaxCell) return true;
    } else if (c == 0) {
      Fail("ERROR. Inside double quates, char(0) appeared at [0x%lX].", Hex(Offset()));
    } else if (cell_len_ == kMaxCell) {
      return true;
    }
    Skip();
    Put(static_cast<char>(c));
  }
}

char TIOBuf::EndCell() {
  const int c = Peek();
  if (c < 0) return 2;
  switch (kind_[c]) {
    case kSeparator:
      Skip();
      return 0;
    case kLineFeed:
      Skip();
      return AfterLineEnd(false);
    case kReturn:
      Skip();
      return AfterLineEnd(true);
    case kEndMark: {
      const int64_t at = Offset();
      Skip();
      return AfterEndMark(at);
    }
    default:
      break;
  }
  // Only a quoted cell can stop before a byte that does not end it.
  Note("ERROR. Separator,cr/lf,eof expected here[0x%lX], but appeared char was [0x%X].", Hex(Offset()),
       static_cast<unsigned>(c));
  Skip();
  return 0;
}

char TIOBuf::AfterLineEnd(bool after_return) {
  int c = Peek();
  if (after_return && c == '\n') {
    Skip();
    c = Peek();
  }
  if (c == kEndOfData) {
    const int64_t at = Offset();
    Skip();
    return AfterEndMark(at);
  }
  return c < 0 ? 2 : 1;
}

char TIOBuf::AfterEndMark(int64_t at) {
  if (Peek() >= 0) Fail("ERROR. illegal char(^Z) appeared before file end at [0x%lX].", Hex(at));
  return 2;
}

void TIOBuf::SkipMark(int code) {
  if (Offset() != 0 || Peek() < 0) return;
  pos_ += Utf8MarkLength(code, buffer_.data() + pos_, fill_ - pos_);
}

int TIOBuf::CutTop() {
  for (;;) {
    char state = 0;
    if (getOneCell(&state) == nullptr) {
      Note("CUTTOP failed.");
      return Q7_CATALOG_PARSE_ERROR;
    }
    if (state != 0) return 0;
  }
}
