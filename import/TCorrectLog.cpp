// TCorrectLog: the checked import's correction log, a tab-separated text file.
#include "import/TCorrectLog.h"

#include <cstdarg>
#include <cstring>

#include "database/TableFiles.h"
#include "foundation/CQ7Exception.h"
#include "foundation/TextHelpers.h"
#include "import/CheckerText.h"
#include "import/ImportText.h"

namespace {

// The quoted text, its two quotes and the NUL.
constexpr size_t kWorkSize = kMaxLogText + 3;

}  // namespace

TCorrectLog::TCorrectLog(const char* dir, const char* name) : work_(kWorkSize) {
  std::string file(name != nullptr ? name : "");
  CutExtension(file.data());
  file.resize(strlen(file.c_str()));
  if (!ToFileName(file.data())) return;
  file += ".txt";
  const char* folder = dir != nullptr ? dir : "";
  path_.assign(strlen(folder) + file.size() + 2, '\0');
  build_AbsoluteName(folder, file.c_str(), path_.data());
  path_.resize(strlen(path_.c_str()));
  table_files::ReplaceOptions options;
  options.raw = true;
  options.quiet = true;
  options.in_place_otherwise = true;
  try {
    out_ = std::make_unique<table_files::ReplacingFile>(path_, options);
  } catch (const CQ7Exception&) {
    return;
  }
  file_ = out_->stream().handle();
  fputs(kHeader, file_);
}

TCorrectLog::~TCorrectLog() {
  closing_ = 1;
  char comment[64];
  snprintf(comment, sizeof comment, "Log event occured %d times.", events_);
  AddData(0, 0, "", "", "", comment);
  if (out_ == nullptr) return;
  file_ = nullptr;
  try {
    out_->Commit();
  } catch (const CQ7Exception&) {
    // The log is a report, never the reason an import fails; the old log then stays.
  }
}

int TCorrectLog::AddData(int line, int field, const char* fieldName, const char* errorString,
                         const char* correctedTo, const char* comment) {
  const int before = events_;
  if (events_ < INT32_MAX) ++events_;
  if (closing_ == 0) {
    if (before >= kMaxEvents) return 1;
    if (events_ == kMaxEvents) {
      line = 0;
      field = 0;
      fieldName = errorString = correctedTo = "";
      comment = "Too many errors.";
    }
  }
  if (line < 0 || field < 0) return -1;
  if (file_ == nullptr) return 0;
  fprintf(file_, "%d\t%d\t", line, field);
  WriteText(fieldName, '\t');
  WriteText(errorString, '\t');
  WriteText(correctedTo, '\t');
  WriteText(comment, '\n');
  return 0;
}

int TCorrectLog::AddNote(int line, int field, const char* fieldName, const char* errorString,
                         const char* correctedTo, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int need = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string comment(need > 0 ? static_cast<size_t>(need) + 1 : 1, '\0');
  if (need > 0) vsnprintf(comment.data(), comment.size(), format, again);
  va_end(again);
  return AddData(line, field, fieldName, errorString, correctedTo, comment.c_str());
}

void TCorrectLog::WriteText(const char* text, char end) {
  const int len = ToLogText(text, work_.data(), static_cast<int>(work_.size()));
  work_[static_cast<size_t>(len)] = end;
  fwrite(work_.data(), 1, static_cast<size_t>(len) + 1, file_);
}
