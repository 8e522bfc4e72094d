// The history log: its output chosen by the host, its banner and its lines.
#include "foundation/HistoryLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "foundation/CErrorLog.h"
#include "foundation/CQ7Exception.h"
#include "foundation/zpk_fstream.h"

int gLogOutOption = 0;
char logFile[512] = {};

namespace {

constexpr size_t kPathSize = 512;
constexpr size_t kTextSize = 500;  // messages are cut to 499 characters
constexpr char kHistoryFileName[] = "rafohist.log";
constexpr char kHistoryBanner[] =
    "/********************************************************** \t\t\t\t\t\t\t \n\tLogFile for Qz7Engine\n\t"
    "dated : %s   %s \t\t\t\t\t\t\t \n***********************************************************/";

// Everything below is guarded by g_mutex: the text buffer is shared by all writers, and the
// first-write flags decide which writer truncates the file.
std::mutex g_mutex;
char g_path[kPathSize] = {};
char g_text[kTextSize];
bool g_history_first = true;
bool g_message_first = true;

void WriteText(zpk_fstream& stream, const char* text) { zpk_write(stream, text, 1, strlen(text)); }

// Opens `path` (truncating on the first write of the process, with the banner, else appending)
// and adds the text as one line. Failures end the call quietly, with the file closed.
void WriteLogFile(const char* path, bool* first, bool catalog_banner, const char* text) {
  zpk_fstream stream;
  try {
    if (*first) {
      zpk_open(stream, path, kZpkWrite, 1);
      const time_t now = time(nullptr);
      char when[64] = {};
      ctime_r(&now, when);
      if (catalog_banner) {
        WriteText(stream, FormatCatalogBanner(path, when).c_str());
      } else {
        char banner[sizeof kHistoryBanner + 64];
        snprintf(banner, sizeof banner, kHistoryBanner, when, "");
        WriteText(stream, banner);
      }
      WriteText(stream, "\n\n");
      *first = false;
    } else {
      zpk_open(stream, path, kZpkAppend, 1);
    }
    WriteText(stream, text);
    WriteText(stream, "\n");
    stream.close();
  } catch (...) {
    // The history log never reports its failures; zpk_open has left its ring entry.
  }
}

}  // namespace

int SetHistoryLogDirectory(const char* cwd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_path[0] = '\0';
  if (cwd == nullptr) return -1;
  const int n = snprintf(g_path, sizeof g_path, "%s/%s", cwd, kHistoryFileName);
  // A cut path would name some other file: better no history file at all.
  if (n < 0 || static_cast<size_t>(n) >= sizeof g_path) {
    g_path[0] = '\0';
    return -1;
  }
  return 0;
}

const char* GetHistoryLogPath() { return g_path; }

void LOG_Create(const char* format, ...) {
  const int option = gLogOutOption;
  if (option < 1 || option > 3) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  va_list args;
  va_start(args, format);
  vsnprintf(g_text, sizeof g_text, format, args);
  va_end(args);
  switch (option) {
    case 1:
      fprintf(stdout, "%s\n", g_text);
      break;
    case 2:
      fprintf(stderr, "%s\n", g_text);
      break;
    default:
      WriteLogFile(g_path, &g_history_first, false, g_text);
      break;
  }
}

void Log_message(const char* path, const char* format, ...) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (path == nullptr) {
    g_message_first = false;
    return;
  }
  if (path[0] == '\0') return;
  va_list args;
  va_start(args, format);
  vsnprintf(g_text, sizeof g_text, format, args);
  va_end(args);
  WriteLogFile(path, &g_message_first, true, g_text);
}
