// The history log: one process-wide text log whose output is chosen by the host
// (RQ7LogInit sets gLogOutOption): 0 off (the default), 1 standard output, 2 standard error,
// 3 the file "rafohist.log" in the working directory of engine start-up.
//
// The first message of the process written to the file truncates it and puts the banner
// "LogFile for Qz7Engine" in front; later messages are appended. Messages are cut to 499
// characters and end in a line feed.
//
// Failures are swallowed: the calls never throw. A file that cannot be opened leaves the ring
// entry ("zpk_open", 0xE000008D, "Illegal FileName").
// Thread safety: each message is formatted and written whole under the log's own lock, so
// messages from several threads never mix. gLogOutOption and logFile are plain globals written
// under the API lock.
#pragma once

extern int gLogOutOption;
// A stored log file name (512 bytes) that the history log itself does not read.
extern char logFile[512];

// Sets the history file to cwd + "/rafohist.log"; the engine calls it at start-up with its
// working directory. Returns 0, or -1 (and leaves no file name) when the path does not fit in
// 512 bytes or cwd is null.
int SetHistoryLogDirectory(const char* cwd);
// The history file path ("" until SetHistoryLogDirectory succeeded).
const char* GetHistoryLogPath();

// Writes one message as gLogOutOption selects.
void LOG_Create(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes one message to the given file, whatever gLogOutOption says: the first use of the
// process truncates the file and writes the catalog-style banner naming the path; later calls
// append. A null path clears the first-use flag (no banner from then on); an empty path does
// nothing.
void Log_message(const char* path, const char* format, ...) __attribute__((format(printf, 2, 3)));
