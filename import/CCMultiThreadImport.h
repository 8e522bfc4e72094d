// CCMultiThreadImport: imports the source text file of a catalog on the worker pool, into a new real
// table or into an existing one (append).
//
// Step 1 (task kMppTaskImportParse): the file is cut into one chunk per worker at record ends (a
// quoted field may hold line ends: a chunk border is put after a line end only where the bytes
// behind it start a record whichever way the text before it is read); each worker reads its chunk
// window by window into its own buffer (with pread, never mapped, so that a source that shrinks or
// changes meanwhile cannot fault: a file cut short fails the import with
// Q7_ERROR_FILE_OPERATION_FAILED, other changes import what was read), parses the whole records of
// each window with its own line parser (CTextParser.h) and compiles them into one value list and
// one value-number array per field. A worker that did not end where the next one began (only
// possible when the source changed while it was read) makes step 1 run again as one chunk. Step 2 (task
// kMppTaskImportMerge, one pool run per merge round and one to finish): in each round the workers claim,
// under the engine's write lock, pairs of neighbouring groups of chunks of any field and merge their value
// lists (AccommodationMain); then each field's value numbers are written once, in chunk order, through the
// maps the merges left (a large field in pieces of rows on all workers, each piece to its own place). The
// result becomes a filter of the new table, or is written over the target table's filter from the append
// position.
//
// When every chunk fits one window (the usual case), step 1 compiles only the STRING fields; the
// rows of every other field stay as converted values in the chunk's parser, and step 2 joins each
// such field's rows in chunk order and compiles them once as one column on all workers
// (MppCompileWithNull) instead of merging per-chunk lists. Both roads give the same lists, value
// numbers and reports.
//
// The rows and reports never depend on the worker count or the window size: chunks and windows end
// only at record ends, and a record that does not fit a window is read from a larger one.
//
// Results of MppImport: the new table's ID; on the append road the rows written; a negative code.
// A source without data rows makes a table with one empty filter per field and 0 rows, or, on the
// append road, appends nothing and returns 0. Codes: Q7_ERROR_ILLEGAL_FILE_NAME (source missing or
// not a regular file, "FILE  [%s] MISSING " in the catalog message log),
// Q7_ERROR_FILTER_COUNT_OVERFLOW (more than kMaxFields fields), Q7_ERROR_OUT_OF_MEMORY,
// Q7_ERROR_FILE_OPERATION_FAILED (the source shrank while it was read), the line
// parsers' codes (after the reports of the workers up to the failing one were printed to the log
// with file line numbers), Q7_ERROR_ROW_SIZE_OVERFLOW (INT_MAX rows or more); on the append road
// Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_FILTER (fewer filters than fields),
// Q7_ERROR_DATA_TYPE_MISMATCH, Q7_ERROR_ILLEGAL_SET_ID (no set 1), Q7_ERROR_INVALID_PARAMETER
// (position 0) and the codes of TFilter::Taint and TRealTable::InsRows, all found before the table
// changes; Q7_ERROR_UNKNOWN for a failure that is not an engine exception. A new table that cannot
// get all its filters is deleted again. Nothing is left open after a call, and all memory
// of the import is freed (a new table keeps its filters).
//
// Thread safety: one import at a time, on the thread that drives the pool under the API lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class CCatalogParser;
class CTextParser;
class TBaseArray;
class TFilter;
class TIntArray;
class TRealTable;

struct IMPORT_PARSE_ATTRIBUTES {
  uint64_t start;  // first byte of the chunk
  uint64_t end;    // one past its last byte: the next chunk's start
};

class CCMultiThreadImport {
 public:
  static constexpr int kMaxFields = 512;
  // Largest window compiled at once.
  static constexpr int64_t kMaxWindowSize = int64_t{1} << 30;
  // Below this many rows a field's value numbers are rewritten by one worker: the pieces would cost
  // more to hand out than to write.
  static constexpr int kRewritePoolMinRows = 1 << 16;

  // The singleton (MultiThreadImportObj holds it from load on).
  static CCMultiThreadImport* Instance();

  // Imports the catalog's source at sourcePath (see the top of this file).
  int MppImport(CCatalogParser* catalog, char* sourcePath);
  // Set by the append entry before MppImport: the append position (-1: after the last row; the
  // catalog's own append position when it is 1 or more and this is -1), and the imported row count
  // (-1; step 1 sets it from the source). Both return to -1 after each import.
  void setAppendPos(int pos) { m_nAppendPos = pos; }
  void setImportedRows(int rows) { m_nImportedRows = rows; }

  // Test seam: the window size of the following imports (rounded down to whole pages, at least
  // one page); 0 restores the computed size.
  static void SetWindowSizeForTest(int64_t bytes);
  // Test seam: the fewest rows of a field whose value numbers are rewritten in pieces on the pool
  // (0: every field; INT_MAX: none); a negative value restores the default, kRewritePoolMinRows.
  static void SetRewritePoolMinRowsForTest(int rows);
  // The window size and chunk count the last import used.
  int64_t getWindowSize() const { return m_nWindowSize; }
  int getChunkCount() const { return m_nChunkCount; }

  // The task functions of steps 1 and 2 (registered by RegisterImportTasks). Each returns the
  // worker's result: an engine exception becomes its code, any other failure Q7_ERROR_UNKNOWN.
  static int mpp_import_step1(void* param);
  static int mpp_import_step2(void* param);

  // The work of one step-1 worker: parses the chunk into its result block; the chunk's rows.
  int text2pvvl(int worker, const IMPORT_PARSE_ATTRIBUTES& chunk);
  // The work of one step-2 worker: claims and runs tasks of the current pool run until none is
  // left; the last merge result (0 or 1).
  int pvvl2filt(int worker, int position, int rows);

  // The window size for a file of file_size bytes cut into `chunks` chunks, with `free_memory` bytes
  // of free memory (0: unknown) and pages of page_size bytes.
  static int64_t CalcWindowSize(int64_t file_size, int chunks, int64_t free_memory, int page_size);

 private:
  // One field of one chunk after step 1.
  struct FieldResult {
    TIntArray* numbers = nullptr;  // value numbers, element 0 = 0
    TBaseArray* values = nullptr;  // value list, NULL at index 0
    int32_t rows = 0;
  };
  struct ChunkResult {
    std::vector<FieldResult> fields;
    int32_t rows = 0;   // rows stored
    int32_t lines = 0;  // lines consumed (skipped ones included), for the log's line numbers
    uint64_t end = 0;   // the offset just past the chunk's last record
  };

  CCMultiThreadImport() = default;

  int MppImport_sub();
  void init();
  void sysinfo();
  void set_step1_thrds(int n) { m_nChunkCount = n; }
  // Cuts the source into chunks at record ends and makes their result blocks.
  int alloc_step1();
  // The result blocks (and the road) for the chunks of m_Chunks.
  void PrepareChunks();
  // Gives every worker a new, empty report record.
  void RenewReportRecords();
  int MppImport_run_step1();
  void alloc_step2(int position, int rows);
  // Runs the current step-2 tasks on the pool: 0 or the first negative worker result.
  int RunStep2Tasks();
  int MppImport_run_step2();
  int no_data_tablemake();
  // The new table from the merged fields: its ID or a code (the table is deleted again then).
  int MakeTable();
  // Append road, on the calling thread before step 2: finds the target's filters, makes room for
  // the rows and settles the position. 0 or a code.
  int PrepareAppendTarget();
  // Frees what only step 1 needs: the chunk list (the chunks' results stay for step 2).
  void free_step1();
  // Does nothing: each step hands its result on as its return value.
  void set_result(int /*result*/) {}
  void free_mem();
  // Merges the list of the group of chunks from `chunk` with that of the group from chunk + stride
  // (field `field`): AccommodationMain's result. on_pool: called by the thread that drives the pool,
  // the merge runs on all workers (MppAccommodationMain, the same result).
  int MergePair(int field, int chunk, int stride, bool on_pool);
  // On the calling thread: the field's merged list and its value-number array (one written once
  // for all chunks) into m_Finished, and the rewrite tasks that fill the array: one piece of rows
  // per task for a field of kRewritePoolMinRows rows or more (as many pieces as
  // n_threads_for_elements gives workers), else one task for the whole field.
  void StartField(int field);
  // Writes `count` value numbers of the chunk from its row `first` (0-based) through the chunk's
  // map into the field's new array from element `at`; chunk -1: every chunk, in chunk order. The
  // task that writes a chunk's last piece frees the chunk's array and map.
  void RewriteRows(int field, int chunk, int first, int count, int at);
  // On the calling thread, after the rewrite tasks: frees what of the chunks is left and puts the
  // finished field into chunk 0.
  void EndField(int field);
  // Whole-column road: the field's rows of all chunks, joined in chunk order, compiled once on the
  // pool into chunk 0's result.
  void CompileWholeField(int field);
  // The merged field into the target filter from the append position: the merge result.
  int AppendField(int field);
  // Claims the next step-2 task under the engine's write lock; -1 when none is left.
  int ClaimTask();
  const char* TableName() const;

  int32_t m_nProcessors = 1;
  int32_t m_nCutTop = 0;
  int32_t m_nTotalRows = 0;
  int32_t m_nFieldCount = 0;
  CCatalogParser* m_pCatalog = nullptr;
  int32_t m_nPageSize = 4096;
  const char* m_szSrcFile = nullptr;
  int64_t m_nWindowSize = 0;
  int64_t m_nFileSize = 0;
  int32_t m_nAppendPos = -1;
  int32_t m_nImportedRows = -1;
  // Per chunk (chunk count + 1 blocks), per field.
  std::vector<ChunkResult> m_Results;
  int m_nFd = -1;
  std::vector<IMPORT_PARSE_ATTRIBUTES> m_Chunks;
  // Step 2: the tasks of the current pool run (a pair of groups of one field to merge, a piece of
  // a field's value numbers to rewrite, or a field to append), claimed one at a time; per field and chunk the
  // list of the group the chunk leads (null otherwise) and the chunk's map from its own list to its group's
  // (null: the same).
  struct MergeTask {
    int32_t field;
    int32_t chunk;
    int32_t stride;
    // Rewrite tasks: the piece's first row in the chunk, its rows, its first element in the field's
    // new array (chunk -1: the whole field).
    int32_t first = 0;
    int32_t count = 0;
    int32_t at = 0;
  };
  enum class Step2Kind { kMerge, kRewrite, kAppend, kRelease };
  std::vector<MergeTask> m_Tasks;
  // Whole-column road (every chunk fits one window): the fields other than STRING are not
  // compiled per chunk; their rows stay in the chunks' parsers until step 2 compiles each field as
  // one column. m_WholeField marks those fields.
  bool m_bWholeColumns = false;
  std::vector<std::unique_ptr<CTextParser>> m_Parsers;
  std::vector<char> m_WholeField;
  int32_t m_nNextTask = 0;
  Step2Kind m_Step2Kind = Step2Kind::kMerge;
  // Per field, between StartField and EndField: the merged list and the new value-number array.
  std::vector<FieldResult> m_Finished;
  // Per field and chunk (field * chunk count + chunk): the rewrite pieces of the chunk not yet
  // written.
  std::unique_ptr<std::atomic<int>[]> m_PiecesLeft;
  std::vector<std::vector<TBaseArray*>> m_Lists;
  std::vector<std::vector<std::unique_ptr<TIntArray>>> m_Maps;
  int32_t m_nStep2Position = -1;
  int32_t m_nStep2Rows = 0;
  int32_t m_nChunkCount = 0;
  int32_t m_nStep2Threads = 0;
  // Append road: the target table, its filter per field, its set 1.
  bool m_bAppend = false;
  TRealTable* m_pTarget = nullptr;
  std::vector<TFilter*> m_Targets;
  TIntArray* m_pSet1 = nullptr;

  static int64_t s_nWindowSizeForTest;
  static int s_nRewritePoolMinRows;
};

extern CCMultiThreadImport* MultiThreadImportObj;
