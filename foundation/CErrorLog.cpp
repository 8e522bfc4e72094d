// The catalog message log: its file, its banner and the lines the import writes.
#include "foundation/CErrorLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "foundation/CQ7Exception.h"

bool CErrorLog::isBegin = true;
CErrorLog* LOGOBJ = CErrorLog::Instance();

namespace {

constexpr char kDefaultFileName[] = "catalog_err_log.txt";
constexpr char kCatalogBanner[] =
    "/*********************************************************************************** "
    "\t\t\t\t\t\t\t \n\t\t\tErrorLog  %s  \n\t\t\tdated : %s   %s \t\t\t\t\t\t\t \n"
    "************************************************************************************/";

// Shared by LogMsg and LogMsg2; written only by the thread that holds the log's mutex.
char g_message[CErrorLog::kMessageBufferSize];

}  // namespace

std::string FormatCatalogBanner(const char* name, const char* when) {
  const int n = snprintf(nullptr, 0, kCatalogBanner, name, when, "");
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  snprintf(out.data(), out.size() + 1, kCatalogBanner, name, when, "");
  return out;
}

CErrorLog* CErrorLog::Instance() {
  // Never destroyed: a host thread may still write a line while the process ends.
  static CErrorLog* const log = new CErrorLog;
  return log;
}

CErrorLog::CErrorLog() { qz7_strlcpy(file_name_, kDefaultFileName, sizeof file_name_); }

void CErrorLog::setFileName(const char* name) {
  std::lock_guard<std::mutex> lock(name_mutex_);
  qz7_strlcpy(file_name_, name != nullptr ? name : "", sizeof file_name_);
}

void CErrorLog::getFileName(char* out) {
  std::lock_guard<std::mutex> lock(name_mutex_);
  memcpy(out, file_name_, sizeof file_name_);
}

void CErrorLog::LockHeld() {
  mutex_.lock();
  holder_.store(std::this_thread::get_id());
}

void CErrorLog::UnlockHeld() {
  holder_.store(std::thread::id());
  mutex_.unlock();
}

bool CErrorLog::HeldByThisThread() const { return holder_.load() == std::this_thread::get_id(); }

void CErrorLog::BeginCapture() {
  std::lock_guard<std::mutex> lock(capture_mutex_);
  capture_ = CatalogLogCapture();
  capturing_ = true;
}

CatalogLogCapture CErrorLog::EndCapture() {
  std::lock_guard<std::mutex> lock(capture_mutex_);
  capturing_ = false;
  CatalogLogCapture out = std::move(capture_);
  capture_ = CatalogLogCapture();
  return out;
}

void CErrorLog::NoteFailureCode(int code) {
  std::lock_guard<std::mutex> lock(capture_mutex_);
  if (capturing_ && capture_.failure_code == 0) capture_.failure_code = code;
}

void CErrorLog::NoteLine(const char* text) {
  std::lock_guard<std::mutex> lock(capture_mutex_);
  if (capturing_ && capture_.first_line.empty() && text != nullptr) capture_.first_line = text;
}

void CErrorLog::FailLocked() {
  {
    std::lock_guard<std::mutex> lock(capture_mutex_);
    if (capturing_ && !capture_.failed) {
      capture_.failed = true;
      char name[kFileNameSize];
      getFileName(name);
      capture_.failed_file = name;
    }
  }
  stream_.close();
  UnlockHeld();
  throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
}

void CErrorLog::OpenLocked() {
  char name[kFileNameSize];
  getFileName(name);
  // Opened directly rather than through zpk_open: import workers write this log, and the error
  // ring must not be written from worker threads.
  if (stream_.open(name, kZpkAppend, 1) != 0) FailLocked();
}

void CErrorLog::WriteLineLocked(const char* text) {
  if (isBegin) {
    isBegin = false;
    char name[kFileNameSize];
    getFileName(name);
    const time_t now = time(nullptr);
    char when[64] = {};
    ctime_r(&now, when);
    const std::string banner = FormatCatalogBanner(name, when);
    if (stream_.write(banner.data(), banner.size()) != 0 || stream_.write("\n\n", 2) != 0) FailLocked();
  }
  if (stream_.write(text, strlen(text)) != 0 || stream_.write("\n", 1) != 0) FailLocked();
}

void CErrorLog::RecordLocked(const char* text, bool nested) {
  NoteLine(text);
  if (nested) {
    WriteLineLocked(text);
    return;
  }
  OpenLocked();
  WriteLineLocked(text);
  // fclose flushes: a failure here means the line did not reach the file.
  if (stream_.close() != 0) FailLocked();
  UnlockHeld();
}

void CErrorLog::recordMesg(const char* text) {
  const bool nested = HeldByThisThread();
  if (!nested) LockHeld();
  RecordLocked(text != nullptr ? text : "", nested);
}

void CErrorLog::fopen() {
  LockHeld();
  OpenLocked();
}

void CErrorLog::fclose() {
  if (!HeldByThisThread()) return;
  stream_.close();
  UnlockHeld();
}

void CErrorLog::recordMesg2(const char* text) {
  if (!HeldByThisThread()) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  WriteLineLocked(text != nullptr ? text : "");
}

void CErrorLog::mutex_initialize() {}

void CErrorLog::mutex_lock() { LockHeld(); }

void CErrorLog::mutex_unlock() {
  if (HeldByThisThread()) UnlockHeld();
}

void LogMsg(const char* format, ...) {
  CErrorLog* log = CErrorLog::Instance();
  const bool nested = log->HeldByThisThread();
  if (!nested) log->LockHeld();
  va_list args;
  va_start(args, format);
  vsnprintf(g_message, sizeof g_message, format, args);
  va_end(args);
  log->RecordLocked(g_message, nested);
}

void LogMsg2(const char* format, ...) {
  CErrorLog* log = CErrorLog::Instance();
  if (!log->HeldByThisThread()) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
  va_list args;
  va_start(args, format);
  vsnprintf(g_message, sizeof g_message, format, args);
  va_end(args);
  log->NoteLine(g_message);
  log->WriteLineLocked(g_message);
}
