// CCMultiThreadExport: writes the rows of one set of a real or join table as comma- or tab-separated text,
// one line per row (database/CsvColumnPrinter.h gives the field texts), on the worker pool.
//
// MppCsvExport cuts the rows into parts (task kMppTaskExport, "Q7_MPP_EXPORT"), a few per worker,
// which the workers claim in row order. Part 0 is written into a file beside the target
// (table_files::ReplacingFile), every other part into a part file of its own beside that
// ("<target>.<pid>.<n>.prf"). Whenever the parts up to one are all written, the worker that
// completed the last of them appends the waiting part files to the file in order
// (CreateCsvExportFile, a copy inside the kernel where the file system allows it) and deletes them,
// while the others go on writing: the joining overlaps the writing instead of following it. Once
// every part is joined the file is renamed over the target, so the target holds the old file or
// the whole new one whenever the process ends; what a killed export left beside it goes at the next
// export of the same file. An export of fewer rows than two parts' worth runs as one part. The
// file's bytes never depend on the worker count or the parts.
//
// The exporter is the process-wide singleton (MultiThreadExportObj holds it from load on): init()
// before and free_mem() after each export, between which its state is what the task function
// reads. Thread safety: one export at a time, driven under the API lock by the thread that runs the
// pool. The workers read the state, each writes its own parts and thread entry, and the joining
// state is kept under the exporter's own mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "database/CsvExportFormat.h"

class TBaseTable;

// One worker of an export: the part it writes and its result (0, or a negative code).
struct CsvThreadInfo_t {
  int32_t part;
  int32_t result;
};

// A part file's name.
struct CsvPartFileName_t {
  static constexpr int kSize = 512;
  char name[kSize];
};

class CCMultiThreadExport : public CsvExportState {
 public:
  static constexpr int kMaxColumns = 1024;
  // The size of the blocks the workers write, and of the copy buffer when parts are joined.
  static constexpr int kWriteBufferSize = 1 << 20;
  // Parts are at least this many rows (but the last), so small exports stay in one file.
  static constexpr int kMinRowsPerPart = 65536;
  // Parts per worker: small enough that the joining of the early ones overlaps the writing of the
  // later ones, large enough that a part is many blocks.
  static constexpr int kPartsPerWorker = 4;

  // The singleton.
  static CCMultiThreadExport* Instance();

  // Resets the state: no table, no parts, no names, no format records.
  void init();
  // Frees the part table, the names and the format records.
  void free_mem();

  // The splitting rule: records table, set and the separators, then cuts rows first .. last into
  // k = min(rows, *n_parts) parts of rows / k rows each, the last one running to `last`; part i's
  // name is table_files::PartFileName(file), "<file>.<pid>.<n>.prf". *n_parts becomes k and
  // parts / names get k entries. Q7_ERROR_INVALID_PARAMETER when first < 1, last < first or
  // *n_parts < 1; Q7_ERROR_ILLEGAL_FILE_NAME when a name does not fit CsvPartFileName_t.
  int SetCsvtable(int table, int set, int first, int last, int separator, int date_separator, int* n_parts,
                  std::vector<CsvLineDiv_t>* parts, const char* file, std::vector<CsvPartFileName_t>* names);

  // Appends part files 2 .. n (names[1] ..) to target, in order: kernel-side copies where the file
  // system allows, else read and write. An empty name or an empty part file ends the joining.
  // 0, or Q7_ERROR_ILLEGAL_FILE_NAME when the target cannot be opened or written, a part is the
  // target itself or cannot be read.
  int CreateCsvExportFile(const char* target, const CsvPartFileName_t* names, int n_parts);

  // The task function of kMppTaskExport: the worker (its block's index) claims parts in row order
  // and writes each through the table's OutCsvPartFile, joining the parts that are ready; it keeps
  // a negative result in its thread entry, after which no worker claims another part. Returns the
  // result (an engine exception's code, Q7_ERROR_UNKNOWN for any other).
  static int mpp_export_createCsv(void* param);

  // The parts and the workers of the last export (1 and 1 when it ran as one part; 0 when it never
  // reached the pool).
  int getPartCount() const { return m_nParts; }
  int getWorkerCount() const { return static_cast<int>(m_Threads.size()); }
  // Test seam: the smallest part of the following exports (below 1: kMinRowsPerPart again).
  static void SetMinRowsPerPartForTest(int rows);
  // Test seam (null: none): called on the worker after each part is written, before it is joined,
  // with the part's index, and on the calling thread once every part is joined, before the file
  // replaces the target, with -1. A negative result fails the export there with that code.
  static void SetPartHookForTest(int (*hook)(int part));

 private:
  friend int MppCsvExport(int table, int set, const int* columns, int first, int last, int separator,
                          int date_separator, const char* directory, const char* file,
                          const char* format_file);

  CCMultiThreadExport() = default;

  // The parallel road of MppCsvExport for rows first .. last (checked) of a set (resolved):
  // parts, workers, joining. Throws the codes.
  void Run(TBaseTable* table, int set, const int* columns, int first, int last, int separator,
           int date_separator, const char* file, const char* format_file);
  // Deletes the part files 2 .. n that are left.
  void RemovePartFiles();
  // Records that part `part` is written and, unless another worker is joining, appends every part
  // file whose predecessors are all joined: 0, or the joining's code.
  int PartWritten(int part);

  TBaseTable* m_pTable = nullptr;
  int32_t m_nParts = 0;
  std::vector<CsvThreadInfo_t> m_Threads;
  std::vector<CsvLineDiv_t> m_Parts;
  std::vector<CsvPartFileName_t> m_Names;
  int32_t m_Columns[kMaxColumns + 1] = {-1};
  int32_t m_nWriteBufferSize = 0;
  const char* m_szFmtFile = nullptr;
  std::unique_ptr<EXPTFMT_t[]> m_Formats;
  // The run: the next part to claim, whether a part failed, and under m_JoinMutex the written
  // parts, the next part to join and whether a worker is joining.
  std::atomic<int> m_nNextPart{0};
  std::atomic<bool> m_bFailed{false};
  std::mutex m_JoinMutex;
  std::vector<uint8_t> m_Written;
  int32_t m_nNextJoin = 0;
  bool m_bJoining = false;

  static int s_nMinRowsPerPart;
  static int (*s_pPartHookForTest)(int part);
};

// Exports rows first .. last (1-based positions; first -1 means 1, last -1 the set's last row, a
// last beyond the set is cut to it) of set `set` (-1: the current set) of table `table`, the
// filters `columns` (ended by -1; null or starting with -1: every filter), as lines separated by
// `separator` with dates separated by `date_separator`, into directory/file; with format_file (in
// the directory; null for none) the export format file shapes doubles and decimals (its reading
// failures are ignored: the records read so far apply). Returns 0 or a code:
//  - Q7_ERROR_INVALID_PARAMETER, before anything else, for a date separator other than '-' and '/'
//    ("Invalid Parameter : Datesep(%d)") or a set below -1 ("No Such Set: %d"), each recorded under
//    "MppCsvExport" with code 0;
//  - Q7_ERROR_INVALID_PATH when the directory cannot be entered; Q7_ERROR_NO_SUCH_TABLE;
//    Q7_ERROR_NOT_REAL_TABLE for a table that is neither a real table nor a join (a join's parts and
//    serial export are its own: TJoinTable::OutCsvPartFile, TJoinTable::Export); Q7_ERROR_NO_SUCH_SET;
//  - the table's serial export (Export) runs instead, and its result is returned, when
//    the set is empty, the table has no filters, first and last are both 0, or the set ends before
//    `first` (which then writes an empty file);
//  - Q7_ERROR_INVALID_PARAMETER when first is below 1 (and not -1);
//  - the parts' codes (OutCsvPartFile), Q7_ERROR_ILLEGAL_FILE_NAME for the file, Q7_ERROR_OUT_OF_MEMORY,
//    Q7_ERROR_UNKNOWN for a failure that is not an engine exception.
// On every road the file is written aside and replaces the target only when whole: a failure leaves
// the old target. Part files and the file aside are deleted and the working directory is the
// caller's again on every return. The
// caller brackets the call with the singleton's init() and free_mem().
int MppCsvExport(int table, int set, const int* columns, int first, int last, int separator,
                 int date_separator, const char* directory, const char* file, const char* format_file);

extern CCMultiThreadExport* MultiThreadExportObj;
