// TCorrectLog: the correction log of the checked catalog import, a tab-separated text file that a
// person opens in a spreadsheet. Every decision the import takes and every value it corrects is one
// record of it.
//
// File: build_AbsoluteName(dir, name'), where name' is the caller's name cut at its last '.'
// (CutExtension), made file-safe (ToFileName) and followed by ".txt". It is written beside that name
// and renamed over it when the log is destroyed (table_files::ReplacingFile), so an old log stays
// whole until the new one is: an import killed on the way leaves the old log. First line: kHeader.
// Each record is one line:
//   line "%d" TAB field "%d" TAB FieldName TAB ErrorString TAB CorrectedTo TAB Comment LF
// where the four texts are quoted log texts (ToLogText, import/CheckerText.h).
//
// Limit: the log counts events (AddData calls, dropped ones included). The event that makes the
// count kMaxEvents is written as line 0, field 0, empty texts and "Too many errors."; later events
// are counted only. Destroying the log writes a closing record ("Log event occured %d times.",
// with the count of events before it) whatever the count, and closes the file.
//
// Failures: a file that cannot be opened (or a name ToFileName refuses) makes the log silent:
// records are counted and not written. Write errors are ignored; the log is a report, never the
// reason an import fails.
//
// Ownership and threads: the log owns its file and a work buffer of about 1 MiB; one thread uses it
// (the checked import runs under the API lock).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace table_files {
class ReplacingFile;
}

class TCorrectLog {
 public:
  static constexpr int kMaxEvents = 10000;
  static constexpr char kHeader[] = "LineNo\tFieldNo\tFieldName\tErrorString\tCorrectedTo\tComment\n";

  TCorrectLog(const char* dir, const char* name);
  ~TCorrectLog();
  TCorrectLog(const TCorrectLog&) = delete;
  TCorrectLog& operator=(const TCorrectLog&) = delete;

  // One record; null texts count as empty. 0 written (or counted by a silent log), 1 dropped by the
  // limit, -1 for a negative line or field number (counted, nothing written).
  int AddData(int line, int field, const char* fieldName, const char* errorString, const char* correctedTo,
              const char* comment);
  // AddData with the comment formatted printf-style.
  int AddNote(int line, int field, const char* fieldName, const char* errorString, const char* correctedTo,
              const char* format, ...) __attribute__((format(printf, 7, 8)));
  // Kept for the interface; the log is not turned into a table. Returns 0.
  int MakeLogTable(const char*) { return 0; }

  int EventCount() const { return events_; }
  bool IsOpen() const { return file_ != nullptr; }
  // The file's path, the name it has once the log is destroyed (empty when the name was refused).
  const std::string& Path() const { return path_; }

 private:
  void WriteText(const char* text, char end);

  std::string path_;
  std::unique_ptr<table_files::ReplacingFile> out_;
  FILE* file_ = nullptr;  // out_'s stream
  uint8_t closing_ = 0;
  int32_t events_ = 0;
  std::vector<char> work_;  // one quoted text
};
