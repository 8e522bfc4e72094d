// CErrorLog: the catalog message log, the text file (default "catalog_err_log.txt", relative to
// the working directory at the time of writing) that the catalog import writes bad-line reports
// into and that the table readers and file verifiers use for their messages.
//
// The file is appended to and never truncated. The first line written by the process is
// preceded by a dated banner naming the file (CErrorLog::isBegin is set until then).
//
// Two ways to write:
//  - LogMsg / recordMesg: one line, the file opened and closed around it, under the log's mutex;
//  - fopen(), then LogMsg2 / recordMesg2 for many lines, then fclose(): the mutex is held from
//    fopen to fclose, so one reader's lines stay together.
// Every message is formatted and written under the mutex, so lines from several threads (import
// workers) never mix.
//
// Failures: an open or write failure closes the file, releases the mutex and throws
// Q7_ERROR_ILLEGAL_FILE_NAME (0xE000008D); the log is usable again afterwards. Calling fclose
// after a failure (or without fopen) does nothing.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/zpk_fstream.h"

// What the log saw of one import (CErrorLog::BeginCapture .. EndCapture), so that its caller can
// tell a host that cannot read the file why the import failed.
struct CatalogLogCapture {
  std::string first_line;   // the first line written or attempted (empty: none)
  int failure_code = 0;     // the code the import noted for its own failure (0: none noted)
  bool failed = false;      // a line could not be written: the file could not be opened or written
  std::string failed_file;  // the file name at that failure
};

class CErrorLog {
 public:
  static constexpr size_t kFileNameSize = 1024;
  static constexpr size_t kMessageBufferSize = 2101248;

  // The singleton, built on first use (LOGOBJ holds it from load on).
  static CErrorLog* Instance();

  // Changes the file for later writes (cut to 1023 characters). Takes effect at the next open.
  void setFileName(const char* name);
  // Copies the current file name into out (kFileNameSize bytes).
  void getFileName(char* out);

  // One line: takes the mutex, opens for appending, writes the banner when pending, the text and
  // a line feed, closes, releases. From a thread that holds the log (between fopen and fclose)
  // the line goes into the open file instead, so the call cannot deadlock.
  void recordMesg(const char* text);
  // Takes the mutex and opens the file for appending (the mutex is released again when the open
  // fails, before the throw). A thread that holds the log must not call it again.
  void fopen();
  // Closes the file and releases the mutex; does nothing unless this thread holds the log.
  void fclose();
  // Between fopen and fclose: the banner when pending, the text and a line feed. Called by a
  // thread that does not hold the log, it throws 0xE000008D and writes nothing.
  void recordMesg2(const char* text);

  // The mutex is ready from construction; mutex_initialize is kept for callers that
  // initialise explicitly and does nothing. mutex_lock / mutex_unlock take and release it
  // (the same lock as fopen / fclose).
  void mutex_initialize();
  void mutex_lock();
  void mutex_unlock();

  // Capture for one import, on the thread that runs it (workers may write meanwhile): begins
  // empty; every line written or attempted, a write failure and the failure code noted are kept
  // until EndCapture hands them over and stops the capture. Outside a capture nothing is kept.
  void BeginCapture();
  CatalogLogCapture EndCapture();
  // The code the import is about to fail with after its next line (the first one noted is kept):
  // when that line cannot be written, the log's own failure takes the code's place.
  void NoteFailureCode(int code);
  // A line the import meant to write but could not reach the file with (the first line kept).
  void NoteLine(const char* text);

  // Banner pending: set at load, cleared by the first line written. Read and written under the
  // mutex.
  static bool isBegin;

 private:
  friend void LogMsg(const char* format, ...);
  friend void LogMsg2(const char* format, ...);

  CErrorLog();
  void LockHeld();
  void UnlockHeld();
  bool HeldByThisThread() const;
  void OpenLocked();
  void WriteLineLocked(const char* text);
  // One line by recordMesg's steps; the caller holds the mutex (nested: inside fopen/fclose).
  void RecordLocked(const char* text, bool nested);
  [[noreturn]] void FailLocked();

  char file_name_[kFileNameSize];
  zpk_fstream stream_;
  std::mutex mutex_;
  std::mutex name_mutex_;  // guards file_name_ alone, so setFileName never waits for a writer
  std::atomic<std::thread::id> holder_{};
  std::mutex capture_mutex_;  // guards capture_ and capturing_; taken after mutex_, never before
  bool capturing_ = false;
  CatalogLogCapture capture_;
};

// The catalog message log, set by a static initialiser at load.
extern CErrorLog* LOGOBJ;

// Formats printf-style (cut to 2,101,247 characters) and writes it as one line with
// recordMesg's steps, formatting under the log's mutex.
void LogMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats and writes one line into the file opened by CErrorLog::fopen (recordMesg2's steps).
void LogMsg2(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The catalog-style banner naming `name`, dated with the ctime text `when` (no line breaks
// after it); the history log's Log_message uses it too.
std::string FormatCatalogBanner(const char* name, const char* when);
