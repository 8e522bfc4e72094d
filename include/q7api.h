/*
 * q7api.h - the C interface of the Qz7 in-memory column database engine.
 *
 * Conventions every host relies on:
 *  - Return values: IDs (tables, filters, sets, finds), counts and byte sizes are 0 or positive;
 *    a failure is a negative error code (Q7_ERROR_*, 0xE0000000 plus a number). Most failures
 *    also leave entries in the error ring, which keeps the last 8 and which RQ7GetErrorLog takes
 *    out oldest first. The value-returning functions (names ending in R1) return the value itself
 *    and report a failure as the type's NULL: 0x80000000, minus infinity or the empty text.
 *  - Rows: record numbers are 1-based (1 to the table's row count; set 1 holds every record), and
 *    so are positions inside a set, except in RQ7GetData and RQ7GetRowNo (and their Q7 mirrors),
 *    which count positions from 0. Filter ID 0 reads the record number itself; a negative set ID
 *    means the table's current set.
 *  - Memory: what the host passes in stays the host's; the engine copies what it keeps. Into a
 *    host buffer the engine writes no more than the capacity passed with it, or the fixed size the
 *    function states. Pointers the engine hands out (Q7 mirrors, _TFilterInfo, names and texts of
 *    the R1 functions) point into engine memory: the host never frees them, and they stay valid
 *    until the next call that changes or replaces that object. R1 texts share one buffer, which
 *    the next R1 call from any thread overwrites. Only where a function says so does the host
 *    own what it gets (the rows of a Q7SetOpe2 result, released with Q7FreeMem).
 *  - Threads: every call that touches the database takes one process-wide lock, so calls from
 *    several host threads run one at a time. The lock is not fair: with many host threads calling,
 *    one of them may wait long behind the others. The RQ7Numeric functions take no lock and touch no
 *    database; RQ7ReInitializeMS takes none either and must not run while any other call runs.
 *    The error ring is one for the process: a thread also takes out the failures of the others.
 *    A call that takes a directory (loads, saves, file information, imports, exports) makes it the
 *    process's working directory for the call's duration: a relative path that another host thread
 *    opens meanwhile is opened in that directory. Hosts with other threads use absolute paths.
 *  - Ending: a host may end (main returns, exit, or the library is unloaded) while other threads are
 *    inside calls. The engine's stop then waits up to 2 seconds for the running call to return and
 *    stops the workers, detaches the shared tables and frees the database; calls that other threads
 *    make after it wait until the process is gone. A call still running after the 2 seconds, or
 *    running on the ending thread itself (exit from a callback), keeps the engine: the stop is
 *    skipped and leaves it to the ending process, and the system gives back what the process held of
 *    the shared-table registry (its locks and attachments), as when a process is killed; calls that
 *    other threads make then wait for the running call and run on. Whether the stop ran or was
 *    skipped, every call that the ending thread makes afterwards (from a later exit handler) returns
 *    Q7_ERROR_UNKNOWN at once (a value-returning function its NULL), as does any call made on a
 *    thread that is inside a call already (from a callback) or on an engine worker: none of them
 *    waits. A call running at unload (dlclose) is the host's fault: its code goes away.
 *  - Worker threads: the engine starts one worker thread per configured processor of the machine
 *    (sysconf(_SC_NPROCESSORS_CONF)) when the library loads, whatever the process's CPU affinity or
 *    container limits say; large operations split their work over all of them. No call changes
 *    that count; a forked child starts as many of its own (see Forking). The workers block every
 *    signal but those a fault raises on the faulting thread (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
 *    SIGTRAP, SIGSYS), so a signal sent to the process goes to one of the host's threads, as the
 *    host's own masks, handlers or sigwait decide. A host's handler that calls exit on a worker (a
 *    fault's) stops the engine there without waiting for that worker.
 *  - Forking: a host may fork at any time; the child uses the engine and its copy of the database
 *    as the parent does, worker pool included. fork waits until the calls running on other threads
 *    have returned (a fork from inside a call, such as from a row callback, does not wait; that
 *    call then returns in both processes). The child starts its own worker threads when a call first
 *    needs them, so a child that execs at once starts none; where the child cannot start threads,
 *    a call that needs them returns Q7_ERROR_WORKER_DIED at once. Shared-table attachments belong
 *    to the parent (see the shared-table registry).
 *  - Settings: the engine reads "ZPK_Client.ini" from the directory that is current when the
 *    library is loaded (and again at RQ7ReInitializeMS), plain key=value lines. Its one key,
 *    DATEFORMAT, sets the order in which date texts are read and written: YYYYMMDD (the default
 *    when the file or the key is missing), DDMMYYYY or MMDDYYYY. Nothing else configures the
 *    engine: no environment variable is read.
 *
 * Sections, in the order they appear below (some in two parts: records, then entry points):
 *   constants ........... versions, value types, search codes, set operations, sort directions,
 *                         find kinds, NULL values and buffer sizes a host passes as numbers
 *   engine .............. version, error ring, restart, character codes, log, environment
 *   decimal numbers ..... RQ7Numeric*: decimal arithmetic, no lock, no database
 *   database and files .. clear, load, save, table files, memory images
 *   tables .............. create, list, name, delete, condense, table information
 *   join tables ......... joins, join chains and tree tables, join block access and row callbacks
 *   sets ................ row sets, set operations, unique rows
 *   filters ............. add columns (from host memory or of NULLs), duplicate, convert, information
 *   finds, row edits .... finds, row edits (overwrite, fill, insert, delete), reading values and blocks
 *   search, sort ........ searches by value, text, wildcard and row, sorts, names, memory sizes, flags
 *   text import ......... tables from source text files described by catalog files, appends
 *   text export ......... sets as comma- or tab-separated text, catalog files
 *   memory stream ....... a byte stream in engine memory or over the host's bytes
 *   shared image ........ a database file in a shared-memory segment, loaded by any process
 *   shared tables ....... the shared-table registry
 *   file browser ........ the file system as the engine sees it: directories, listings, file reads
 *   summaries ........... cube and non-cube summaries, categories
 *   detail display ...... the distinct values of a column with their counts, paged
 *   raw value arrays .... host value arrays compiled into value numbers and distinct values
 *   R1 .................. value-returning forms of the above and stubs
 */
#ifndef Q7API_H
#define Q7API_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define Q7_EXPORT __attribute__((visibility("default")))
#else
#define Q7_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes: X(name, value). The engine reads this list for the names too. */
#define Q7_ERROR_CODE_LIST(X) \
  X(Q7_ERROR_NEGATIVE_SIZE, 0xE0000001) \
  X(Q7_ERROR_INNER_ENGINE, 0xE0000003) \
  X(Q7_ERROR_INVALID_PATH, 0xE0000004) \
  X(Q7_ERROR_INVALID_UNIT_SIZE, 0xE000000A) \
  X(Q7_ERROR_INVALID_ARRAY_SIZE, 0xE000000C) \
  X(Q7_ERROR_ROW_SIZE_OVERFLOW, 0xE000000D) \
  X(Q7_ERROR_INVALID_ROW_POSITION, 0xE000000E) \
  X(Q7_ERROR_FILTER_COUNT_OVERFLOW, 0xE0000011) \
  X(Q7_ERROR_INVALID_KEY_PARAMETER, 0xE0000012) \
  X(Q7_ERROR_DATA_SIZE_OVERFLOW, 0xE0000015) \
  X(Q7_ERROR_STRING_SIZE_OVERFLOW, 0xE0000016) \
  X(Q7_ERROR_OUT_OF_MEMORY, 0xE0000018) \
  X(Q7_ERROR_SUMMARY_CELLS_OVERFLOW, 0xE0000019) \
  X(Q7_ERROR_OUT_OF_RANGE, 0xE000001A) \
  X(Q7_ERROR_ILLEGAL_FILTER_TYPE, 0xE0000033) \
  X(Q7_ERROR_INVALID_OPERATION, 0xE0000034) \
  X(Q7_ERROR_ILLEGAL_TABLE_NAME, 0xE0000035) \
  X(Q7_ERROR_ILLEGAL_FILTER_NAME, 0xE0000036) \
  X(Q7_ERROR_ILLEGAL_JOIN_TARGET, 0xE0000037) \
  X(Q7_ERROR_INVALID_SUM_HANDLE, 0xE0000039) \
  X(Q7_ERROR_LOAD_TABLE_COUNT_OVERFLOW, 0xE0000063) \
  X(Q7_ERROR_TABLE_COUNT_OVERFLOW, 0xE0000064) \
  X(Q7_ERROR_OVERFLOW_JOIN, 0xE0000065) \
  X(Q7_ERROR_SET_COUNT_OVERFLOW, 0xE0000066) \
  X(Q7_ERROR_JOIN_BLOCK_TOO_LARGE, 0xE0000067) \
  X(Q7_ERROR_ILLEGAL_RECORD_NO, 0xE0000069) \
  X(Q7_ERROR_NO_SUCH_FILTER, 0xE000006A) \
  X(Q7_ERROR_NO_MASTER_KEY_FILTER, 0xE000006B) \
  X(Q7_ERROR_NO_SLAVE_KEY_FILTER, 0xE000006C) \
  X(Q7_ERROR_NO_SUCH_TABLE, 0xE000006D) \
  X(Q7_ERROR_ILLEGAL_MASTER_TABLE, 0xE000006E) \
  X(Q7_ERROR_ILLEGAL_SLAVE_TABLE, 0xE000006F) \
  X(Q7_ERROR_NOT_JOIN_TYPE, 0xE0000070) \
  X(Q7_ERROR_NO_SUCH_SET, 0xE0000071) \
  X(Q7_ERROR_NO_JOIN_SET, 0xE0000072) \
  X(Q7_ERROR_NO_SLAVE_SET, 0xE0000073) \
  X(Q7_ERROR_INVALID_DATA_TYPE, 0xE0000074) \
  X(Q7_ERROR_INVALID_TABLE_TYPE, 0xE0000076) \
  X(Q7_ERROR_EMPTY_JOIN_BLOCK, 0xE0000077) \
  X(Q7_ERROR_INDEX_OUT_OF_RANGE, 0xE0000079) \
  X(Q7_ERROR_ILLEGAL_SET_ID, 0xE000007A) \
  X(Q7_ERROR_INVALID_UNIT_WIDTH, 0xE000007B) \
  X(Q7_ERROR_DATA_TYPE_MISMATCH, 0xE000007C) \
  X(Q7_ERROR_NOT_REAL_TYPE, 0xE000007E) \
  X(Q7_ERROR_INVALID_FILTER_LIST, 0xE000007F) \
  X(Q7_ERROR_FILTER_TYPE_MISMATCH, 0xE0000080) \
  X(Q7_ERROR_NO_SUCH_SOURCE_SET, 0xE0000081) \
  X(Q7_ERROR_INVALID_PARAMETER, 0xE0000082) \
  X(Q7_ERROR_INVALID_OUTPUT_PARAMETER, 0xE0000083) \
  X(Q7_ERROR_CONVERT_JOIN_FAILED, 0xE0000085) \
  X(Q7_ERROR_SET_NOT_DELETABLE, 0xE0000086) \
  X(Q7_ERROR_NOT_EDITABLE, 0xE0000087) \
  X(Q7_ERROR_ILLEGAL_FILTER, 0xE0000088) \
  X(Q7_ERROR_NOT_REAL_TABLE, 0xE0000089) \
  X(Q7_ERROR_NOT_JOIN_TABLE, 0xE000008A) \
  X(Q7_ERROR_INVALID_CUTOUT_SET, 0xE000008C) \
  X(Q7_ERROR_ILLEGAL_FILE_NAME, 0xE000008D) \
  X(Q7_ERROR_INVALID_DIRECTORY, 0xE000008E) \
  X(Q7_ERROR_TABLE_NAME_GENERATION, 0xE000008F) \
  X(Q7_ERROR_NOT_INNER_JOIN_TABLE, 0xE0000090) \
  X(Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME, 0xE0000091) \
  X(Q7_ERROR_ILLEGAL_CHAIN_TYPE, 0xE0000092) \
  X(Q7_ERROR_ILLEGAL_TREE, 0xE0000093) \
  X(Q7_ERROR_EMPTY_SET, 0xE0000094) \
  X(Q7_ERROR_MAKE_DIRECTORY_FAILED, 0xE0000095) \
  X(Q7_ERROR_FILE_OPERATION_FAILED, 0xE0000096) \
  X(Q7_ERROR_DIRECTORY_NOT_EMPTY, 0xE0000097) \
  X(Q7_ERROR_ACCESS_DENIED, 0xE0000098) \
  X(Q7_ERROR_NO_SUCH_SUMMARY, 0xE0000099) \
  X(Q7_ERROR_SUMMARY_IN_USE, 0xE000009A) \
  X(Q7_ERROR_SUMMARY_STATE, 0xE000009B) \
  X(Q7_ERROR_DETAIL_FAILED, 0xE000009C) \
  X(Q7_ERROR_PROJECTION_FAILED, 0xE00000CA) \
  X(Q7_ERROR_NO_WORK_AREA, 0xE00000CC) \
  X(Q7_ERROR_NO_DB_NAME, 0xE00000CD) \
  X(Q7_ERROR_UNSUPPORTED_VERSION, 0xE00000CE) \
  X(Q7_ERROR_INVALID_MEMSTREAM, 0xE00000CF) \
  X(Q7_ERROR_CATEGORY_DEFINITION, 0xE00000D0) \
  X(Q7_ERROR_EMPTY_CATEGORY, 0xE00000D1) \
  X(Q7_ERROR_STREAM_NOT_OPEN, 0xE00000D2) \
  X(Q7_ERROR_FIND_NOT_OPEN, 0xE00000DC) \
  X(Q7_ERROR_INVALID_FIND_ID, 0xE00000DD) \
  X(Q7_ERROR_CALC_TYPE, 0xE00000E7) \
  X(Q7_ERROR_CALC_TOO_MANY_FILTERS, 0xE00000E8) \
  X(Q7_ERROR_CALC_TOO_MANY_TOKENS, 0xE00000E9) \
  X(Q7_ERROR_CALC_STACK, 0xE00000EA) \
  X(Q7_ERROR_CALC_SYNTAX, 0xE00000EE) \
  X(Q7_ERROR_CALC_OUTPUT_OVERFLOW, 0xE00000F0) \
  X(Q7_ERROR_NO_TREE, 0xE00000FA) \
  X(Q7_ERROR_CALC_AREA1_OVERFLOW, 0xE0000104) \
  X(Q7_ERROR_CALC_AREA2_OVERFLOW, 0xE0000105) \
  X(Q7_ERROR_CALC_STACK_OVERFLOW, 0xE0000106) \
  X(Q7_ERROR_SHARED_READ_ONLY, 0xE000010E) \
  X(Q7_ERROR_FILE_VERIFY, 0xE000010F) \
  X(Q7_ERROR_SHARED_MEMORY_MAPPING, 0xE0000111) \
  X(Q7_CATALOG_PARSE_ERROR, 0xE0000112) \
  X(Q7_ERROR_INVALID_DATA, 0xE0000113) \
  X(Q7_ERROR_UNDEFINED_FILTER_TYPE, 0xE0000114) \
  X(Q7_ERROR_DATA_OVERFLOW, 0xE0000115) \
  X(Q7_ERROR_ILLEGAL_ARRAY_DATA, 0xE0000116) \
  X(Q7_ERROR_NULL_DATA, 0xE0000117) \
  X(Q7_ERROR_SMCS_CREATE, 0xE0000118) \
  X(Q7_ERROR_INVALID_CHAR_CODE, 0xE0000119) \
  X(Q7_ERROR_CHAR_CODE_MISMATCH, 0xE000011A) \
  X(Q7_ERROR_NO_FILE_VERSION, 0xE000011D) \
  X(Q7_ERROR_INVALID_FILE_VERSION, 0xE000011E) \
  X(Q7_ERROR_SAVE_TABLE_FAILED, 0xE000011F) \
  X(Q7_ERROR_ADDRESS_ALIGNMENT, 0xE0000120) \
  X(Q7_ERROR_INVALID_READ_SIZE, 0xE0000121) \
  X(Q7_ERROR_QUERY_INTERNAL, 0xE0000122) \
  X(Q7_ERROR_QUERY_SYNTAX, 0xE0000123) \
  X(Q7_ERROR_QUERY_OPERAND, 0xE0000124) \
  X(Q7_ERROR_QUERY_VALUE_TYPE, 0xE0000125) \
  X(Q7_ERROR_TEXT_SIZE_OVERFLOW, 0xE0000126) \
  X(Q7_ERROR_HIGH_SPEED_FILTER, 0xE0000136) \
  X(Q7_ERROR_SUMMARY_ROWS_OVERFLOW, 0xE0000140) \
  X(Q7_ERROR_SUMMARY_CELLS_LIMIT, 0xE0000141) \
  X(Q7_ERROR_NOT_SUMMARY_OUTPUT, 0xE0000142) \
  X(Q7_ERROR_NO_SUCH_DIMENSION, 0xE0000143) \
  X(Q7_ERROR_CALC_TOTAL_KIND, 0xE0000144) \
  X(Q7_ERROR_CALC_TOTAL_TYPE, 0xE0000145) \
  X(Q7_ERROR_WORKER_DIED, 0xE000015E) \
  X(Q7_ERROR_UNKNOWN, 0xE00001F4) \
  X(Q7_ERROR_SEM_REMOVED, 0xE0000258) \
  X(Q7_ERROR_SEM_INTERRUPTED, 0xE0000259) \
  X(Q7_ERROR_SHM_BUSY, 0xE000025A) \
  X(Q7_ERROR_SMCS_INVALID, 0xE000025B) \
  X(Q7_ERROR_SMCS_EMPTY, 0xE000025C) \
  X(Q7_ERROR_SMCS_IN_USE, 0xE000025D) \
  X(Q7_ERROR_SMCS_TOO_MANY_ENTRIES, 0xE000025E) \
  X(Q7_ERROR_SMCS_NOT_SET_UP, 0xE000025F) \
  X(Q7_ERROR_SHMTBL_NOT_REGISTERED, 0xE0000260) \
  X(Q7_ERROR_SHMTBL_NOT_ATTACHED, 0xE0000261) \
  X(Q7_ERROR_SHMTBL_ATTACHED, 0xE0000262) \
  X(Q7_ERROR_SHMTBL_LOAD_FAILED, 0xE0000263) \
  X(Q7_ERROR_SEM_TOO_BIG, 0xE0000264) \
  X(Q7_ERROR_SEM_BUSY, 0xE0000265) \
  X(Q7_ERROR_SHMTBL_INVALID, 0xE0000266) \
  X(Q7_ERROR_SHM_NOT_SET_UP, 0xE0000267) \
  X(Q7_ERROR_LOG_TEXT_OVERFLOW, 0xE000032B)

#define Q7_DECLARE_ERROR_CODE(name, value) name = (int)(value),
enum Q7ErrorCode { Q7_ERROR_CODE_LIST(Q7_DECLARE_ERROR_CODE) };
#undef Q7_DECLARE_ERROR_CODE

/* Value type codes of filters. DATE, TIME and DATETIME values are doubles: a DATE is the number of
 * days since 1899-12-30 (1900-01-01 is 2, 2024-03-05 is 45356), a TIME the fraction of a day
 * (06:00:00 is 0.25), a DATETIME the sum of the two. */
enum Q7ValueType {
  Q7_TYPE_INTEGER = 2,
  Q7_TYPE_DOUBLE = 3,
  Q7_TYPE_DATE = 4,
  Q7_TYPE_TIME = 5,
  Q7_TYPE_STRING = 6,
  Q7_TYPE_DATETIME = 7,
  Q7_TYPE_DECIMAL = 8
};

/* Database character codes (one byte). */
enum Q7CharCode {
  Q7_CHARCODE_CP1252 = 17,
  Q7_CHARCODE_MS932 = 18,
  Q7_CHARCODE_MS949 = 19,
  Q7_CHARCODE_SHIFT_JIS = 20,
  Q7_CHARCODE_UTF8 = 33,
  Q7_CHARCODE_EUC_JP = 49,
  Q7_CHARCODE_MS936 = 65
};

/* ---- Constants ---- */

/* The library's version (the shared object is libqz7engine.so.MAJOR), and the interface version
 * that RQ7GetVersion reports as its first number. A host compiled against one interface version
 * may check the running library's at start. */
#define Q7_VERSION_MAJOR 1
#define Q7_VERSION_MINOR 0
#define Q7_VERSION_PATCH 0
#define Q7_INTERFACE_VERSION 0x01001001

/* Search codes (the op of RQ7SearchByField and its forms; the kinds of the finds take 0 to 10).
 * Q7_SEARCH_NULL_BOUND_EMPTY is added to a code: see the description of searches below. */
enum Q7SearchOp {
  Q7_SEARCH_EQUAL = 0,              /* x == from */
  Q7_SEARCH_BETWEEN = 1,            /* from <= x <= to */
  Q7_SEARCH_AT_MOST = 2,            /* x <= from */
  Q7_SEARCH_AT_LEAST = 3,           /* x >= from */
  Q7_SEARCH_NOT_EQUAL = 4,          /* x != from */
  Q7_SEARCH_STRICTLY_BETWEEN = 5,   /* from < x < to */
  Q7_SEARCH_LESS = 6,               /* x < from */
  Q7_SEARCH_GREATER = 7,            /* x > from */
  Q7_SEARCH_STARTS_WITH = 8,        /* STRING only */
  Q7_SEARCH_CONTAINS = 9,           /* STRING only */
  Q7_SEARCH_ENDS_WITH = 10,         /* STRING only */
  Q7_SEARCH_IS_NULL = 11,           /* not on STRING */
  Q7_SEARCH_NULL_BOUND_EMPTY = 0x80 /* flag */
};

/* Set operations of RQ7SetOpeReal and Q7SetOpe2. */
enum Q7SetOp { Q7_SET_AND = 0, Q7_SET_OR = 1, Q7_SET_AND_NOT = 2 };

/* Sort directions. */
enum Q7SortDir { Q7_SORT_ASCENDING = 0, Q7_SORT_DESCENDING = 1 };

/* Positions, sets and sizes a host passes. */
enum {
  Q7_POSITION_APPEND = 1024, /* display position that appends a new filter */
  Q7_SET_ALL = 1,            /* set 1 holds every record of a table */
  Q7_SET_CURRENT = -1,       /* any negative set ID means the table's current set */
  Q7_NAME_BUFFER_SIZE = 256, /* table, filter and set names: at most 255 bytes and the zero */
  Q7_PATH_BUFFER_SIZE = 512, /* directories and file names: shorter than 512 bytes */
  Q7_TEXT_BUFFER_SIZE = 4096 /* one text value read back: at most 4095 bytes and the zero */
};

/* NULL as the host sees it in raw values (reads, blocks, R1 results) and may write it: INTEGER
 * 0x80000000; DOUBLE, DATE, TIME and DATETIME minus infinity (-HUGE_VAL from <math.h>); STRING the
 * empty text (or a null pointer where a column is filled from host memory); DECIMAL the NaN that
 * RQ7NumericSetNan makes. */
#define Q7_NULL_INTEGER ((int32_t)INT32_MIN)

/* ---- Engine, environment, settings and error log ---- */

/* The machine environment, filled by RQ7GetEnvironment (352 bytes, native byte order). */
typedef struct _TREnvironment {
  char hostName[256]; /* zero-ended */
  int32_t osKind;     /* 53 on this system */
  int32_t osMajor;    /* release numbers of the operating system */
  int32_t osMinor;
  int32_t hardwareThird;  /* third hardware figure (6) */
  int32_t endian;         /* byte-order code of the system (4: little-endian) */
  int32_t wordSize;       /* 64 */
  int32_t processors;     /* processors online */
  int32_t hardwareSecond; /* second hardware figure (-1) */
  char osCharCode[32];    /* the system's character-code name ("UTF8"), zero-filled */
  char dbCharCode[32];    /* the database character-code name, zero-filled */
} _TREnvironment;

/* Writes the four version numbers (0x01001001, 25, 1, 20170503) and the copyright text (at most
 * 511 characters and a zero byte). Outputs are written only on success; null outputs are skipped.
 * Returns 0. */
Q7_EXPORT int RQ7GetVersion(int* versions, char* copyright);
/* Points *versions at the engine's four version numbers and *copyright at its copyright text
 * (engine memory, valid until unload). Returns 0. */
Q7_EXPORT int Q7GetVersion(int** versions, char** copyright);

/* Takes the oldest entry out of the error ring: the processor time in milliseconds when it was
 * recorded, the name it was recorded under (api: 63 bytes), its code and its message (127 bytes).
 * Returns 1, or 0 with every output untouched when the ring is empty. Null outputs are skipped.
 * Reading adds no entry. */
Q7_EXPORT int RQ7GetErrorLog(int* time, char* api, int* code, char* message);
/* As RQ7GetErrorLog; api and message point to the caller's buffer pointers. */
Q7_EXPORT int Q7GetErrorLog(int* time, char** api, int* code, char** message);

/* Stops the worker pool and the database and starts them again: the database is empty afterwards,
 * the error ring keeps its entries and the saved flags stay as they were (as for RQ7ClearDB, tables
 * attached from the shared-table registry included). Takes no lock: the host must not call it
 * while any other call is running. Returns 0 or a negative code. */
Q7_EXPORT int RQ7ReInitializeMS(void);

/* Sets the database character code by name: "Cp1252", "MS932", "MS949", "Shift_JIS", "UTF8",
 * "EUC_JP" or "MS936" (exact case). Returns 0, or Q7_ERROR_INVALID_CHAR_CODE for another name
 * (the code is then unchanged). */
Q7_EXPORT int RQ7SetDBCharCode(const char* name);
/* Sets the database character code by locale ID: 0 Shift_JIS, 1 MS932, 2 MS949, 3 UTF8, 4 EUC_JP,
 * 5 Cp1252, 6 MS936. Returns 0, or Q7_ERROR_INVALID_CHAR_CODE for another ID. */
Q7_EXPORT int RQ7SetKanjiCode(int locale);
Q7_EXPORT int Q7SetKanjiCode(int locale);

/* Selects the output of the history log: 0 off, 1 standard output, 2 standard error, 3 the history
 * file. With 3 and a path, the path (prefixed by the current directory and "//" unless it contains
 * "//") is kept as the log file name. Returns 0. */
Q7_EXPORT int RQ7LogInit(int option, const char* path);
Q7_EXPORT int Q7LogInit(int option, const char* path);

/* Fills the environment record. When no database character code is set, it becomes UTF8 first.
 * Returns 0, or Q7_ERROR_INVALID_PARAMETER for a null record. */
Q7_EXPORT int RQ7GetEnvironment(_TREnvironment* env);

/* The machine's memory figures, filled by RQ7GetSystemMemInfo (16 bytes). */
typedef struct _TRMemInfo {
  uint64_t total; /* physical memory in bytes */
  uint64_t free;  /* offset 8: not measured on this system: always 0 */
} _TRMemInfo;
/* Fills *info. Returns -1, the system query's own result, since the free figure is not measured;
 * Q7_ERROR_INVALID_PARAMETER for a null info, which is recorded and nothing else is done. */
Q7_EXPORT int RQ7GetSystemMemInfo(_TRMemInfo* info);

/* ---- Decimal numbers ---- */

/*
 * A decimal is a signed count of units of 10^-scale. The count is a 128-bit two's-complement
 * integer; the scale and the rounding mode travel beside it in a NumericInfo. The most negative
 * bit pattern (high word 0x8000000000000000, low word 0) is NaN, the decimal NULL: it is outside
 * the value range, which is -(2^127 - 1) .. 2^127 - 1 units. A scale may be negative (the
 * count is then a multiple of a power of ten); decimal columns use scales 0 to 38.
 *
 * The RQ7Numeric functions compute on the caller's values only: they take no lock, touch no
 * database, keep no shared state and may run on any number of threads at once. Pointer
 * arguments must point at valid objects (only the end pointer of the readers may be null).
 * Unless a function says otherwise, results are rounded once, from the exact value, to the
 * result's scale under the result's rounding mode, and the call returns a Q7NumericStatus.
 */
typedef struct Numeric {
  uint64_t low; /* low 64 bits of the count */
  int64_t high; /* high 64 bits of the count, sign included */
} Numeric;

typedef struct NumericInfo {
  int32_t scale;        /* digits after the decimal point */
  int32_t roundingMode; /* a Q7RoundingMode */
} NumericInfo;

/* Rounding modes; catalog and export files name them "ROUNDUP" ... "ROUNDHALFEVEN". A dropped
   non-zero part moves the kept magnitude up by one unit when: */
enum Q7RoundingMode {
  Q7_ROUND_UP = 0,        /* always (away from zero) */
  Q7_ROUND_DOWN = 1,      /* never (truncation) */
  Q7_ROUND_CEILING = 2,   /* the value is positive */
  Q7_ROUND_FLOOR = 3,     /* the value is negative */
  Q7_ROUND_HALF_UP = 4,   /* the dropped part is at least one half */
  Q7_ROUND_HALF_DOWN = 5, /* the dropped part is more than one half */
  Q7_ROUND_HALF_EVEN = 6  /* more than one half, or one half and the kept last digit is odd */
};

enum Q7NumericStatus {
  Q7_NUMERIC_EXACT = 0,
  Q7_NUMERIC_NAN = 1,               /* a NaN operand, or a division by zero: the result is NaN */
  Q7_NUMERIC_ROUNDED = 2,           /* non-zero digits were dropped */
  Q7_NUMERIC_OVERFLOW_POSITIVE = 3, /* the result does not fit and is NaN; the true value is > 0 */
  Q7_NUMERIC_OVERFLOW_NEGATIVE = 4, /* the same, true value < 0 */
  Q7_NUMERIC_SYNTAX_ERROR = -1,     /* readers: the text is not a number */
  Q7_NUMERIC_BUFFER_TOO_SMALL = -2, /* printers: the text does not fit */
  Q7_NUMERIC_INVALID_MODE = -3      /* a rounding mode outside 0..6 */
};

Q7_EXPORT void RQ7NumericSetZero(Numeric* x);
Q7_EXPORT void RQ7NumericSetNan(Numeric* x);
/* 1 when x is zero (respectively NaN), else 0. */
Q7_EXPORT int RQ7NumericIsZero(const Numeric* x);
Q7_EXPORT int RQ7NumericIsNan(const Numeric* x);

/* r = a + b and r = a - b, all three at one scale; no rounding, a NaN operand gives 1. */
Q7_EXPORT int RQ7NumericAdd(const Numeric* a, const Numeric* b, Numeric* r);
Q7_EXPORT int RQ7NumericSub(const Numeric* a, const Numeric* b, Numeric* r);

/* r = a op b, each operand at its own scale, the result at ir's scale and mode. A mode outside
   0..6 in any of the three infos returns -3 (r untouched); a zero divisor gives NaN and 1. */
Q7_EXPORT int RQ7NumericRescalingAdd(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r);
Q7_EXPORT int RQ7NumericRescalingSub(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r);
Q7_EXPORT int RQ7NumericRescalingMul(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r);
Q7_EXPORT int RQ7NumericRescalingDiv(const NumericInfo* ia, const NumericInfo* ib, const NumericInfo* ir,
                                     const Numeric* a, const Numeric* b, Numeric* r);

/* x = x * k in place, exactly. NaN x: 1, x unchanged. Overflow: x = NaN and 4 whatever the sign. */
Q7_EXPORT int RQ7NumericMul(Numeric* x, int k);
/* x = x / k in place, rounded by i's mode. k = 0: x = NaN, 1. A mode outside 0..6 stores the
   truncated quotient and returns -3. */
Q7_EXPORT int RQ7NumericDiv(Numeric* x, const NumericInfo* i, int k);

/* NOTE THE SIGN: +1 when a < b, -1 when a > b, 0 when equal (signed 128-bit order of the counts,
   so NaN is below every number and equal to NaN). */
Q7_EXPORT int RQ7NumericCmp(const Numeric* a, const Numeric* b);
/* The same sign across scales. A mode outside 0..6 in ia or ib returns -3. With different scales
   a NaN a gives +1 (also when b is NaN), a NaN b gives -1. */
Q7_EXPORT int RQ7NumericRescalingCmp(const NumericInfo* ia, const NumericInfo* ib, const Numeric* a,
                                     const Numeric* b);

/* x rounded to `digits` fraction digits (ceiling, floor, or i's own mode) and kept at i's scale.
   NaN x: 1, unchanged. Overflow on the way back to i's scale: x = NaN, 3 or 4. Round with a mode
   outside 0..6: -3, x unchanged. */
Q7_EXPORT int RQ7NumericCeil(const NumericInfo* i, int digits, Numeric* x);
Q7_EXPORT int RQ7NumericFloor(const NumericInfo* i, int digits, Numeric* x);
Q7_EXPORT int RQ7NumericRound(const NumericInfo* i, int digits, Numeric* x);

/* out = in moved from one scale to the other, rounded by to's mode when digits drop. Returns 0
   (also when digits were dropped), 1 for NaN, 3 when the result does not fit (out = NaN, either
   sign), -3 for a bad mode when the scale goes down (out = a copy of in). */
Q7_EXPORT int RQ7NumericRescale(const NumericInfo* from, const NumericInfo* to, const Numeric* in,
                                Numeric* out);

/* Integers to decimals at i's scale; a negative scale rounds by i's mode (-3 for a bad mode then,
   out untouched). Overflow: NaN, 3 or 4. */
Q7_EXPORT int RQ7NumericLong2Num(long v, const NumericInfo* i, Numeric* out);
Q7_EXPORT int RQ7NumericInt2Num(int v, const NumericInfo* i, Numeric* out);
/* Decimals to integers rounded by i's mode. out is 0 after NaN (1), a bad mode (-3) and an
   overflow (3 or 4). */
Q7_EXPORT int RQ7NumericNum2Long(const Numeric* x, const NumericInfo* i, long* out);
Q7_EXPORT int RQ7NumericNum2Int(const Numeric* x, const NumericInfo* i, int* out);
/* out = v at i's scale from v's exact binary value. +-0 gives 0; an infinite or NaN v gives NaN
   and 3 (sign bit clear) or 4 (sign bit set), so the double NULL (minus infinity) gives NaN, 4.
   Otherwise a bad mode gives -3, out untouched. */
Q7_EXPORT int RQ7NumericDbl2Num(const NumericInfo* i, Numeric* out, double v);
/* out = x rounded to a double under i's mode. NaN x gives a NaN double (all bits set) and 1; beyond
   the double range plus or minus infinity and 3 or 4; a bad mode a NaN double and -3. */
Q7_EXPORT int RQ7NumericNum2Dbl(const Numeric* x, const NumericInfo* i, double* out);

/* Printing. The text is x * 10^shift with max(digits, 0) - shift digits after the point (none, and
   zeros appended, when that is not positive), followed by "E+n" / "E-n" (n = |shift|, the exponent
   being -shift) when shift is not 0; a leading '-' for a negative value. Dgstr puts ',' between
   groups of three integer digits. x is rounded by i's mode when digits < i's scale. Returns 0 or 2
   (rounded); NaN writes "NaN" and returns 1 (-2 when size < 4); -2 when the text and its zero do
   not fit in size bytes (buf then holds the empty text when size > 0); -3 for a bad mode when x
   must be rounded. */
Q7_EXPORT int RQ7NumericNum2Str(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf,
                                size_t size);
Q7_EXPORT int RQ7NumericNum2Dgstr(const Numeric* x, const NumericInfo* i, int shift, int digits, char* buf,
                                  size_t size);

/* Reading: an optional sign, digits with an optional point, an optional exponent ("e", sign,
   digits); Dgstr also takes ',' groups of three digits in the integer part. Any other character
   (blanks and the zero included) ends the number, and *end (when end is not null) receives where
   reading stopped. The value is rounded into i's scale by i's mode. The empty text gives NaN and
   0; a text that is no number (or a null text) gives -1 (out = NaN, *end = text); -3 for a bad
   mode when digits must be dropped (out = NaN). */
Q7_EXPORT int RQ7NumericStr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end);
Q7_EXPORT int RQ7NumericDgstr2Num(const char* text, const NumericInfo* i, Numeric* out, const char** end);

/* ---- Database and files ---- */

/* What a stored database (".Q7D") or table (".Q7T") file says about itself, filled by
 * RQ7GetQ7DFileInfo and RQ7GetQ7TFileInfo (52 bytes). */
typedef struct _Q7FileInfo {
  uint8_t osType;        /* operating-system code of the file's system header */
  uint8_t byteOrder;     /* offset 1: byte-order code of the header */
  uint8_t wordSize;      /* offset 2: word-size code of the header */
  char charCodeName[33]; /* offset 3: zero-terminated; always "Shift_JIS" */
  int32_t version[4];    /* offset 36: the file's version numbers; version[1] always reads 102 */
} _Q7FileInfo;

/* ---- Database and files (entry points) ---- */

/* Directory and file-name texts are zero-ended and shorter than 512 bytes (longer:
 * Q7_ERROR_ILLEGAL_FILE_NAME, nothing done). A directory argument is entered for the duration of the
 * call and the previous working directory restored on every path. Files are written through a
 * temporary file, so a failed save leaves an existing file as it was. */

/* A time text ("h:m", "h:m:s" or "h:m:s.f") as a fraction of a day into *value. A text that is no
 * time stores minus infinity and returns Q7_ERROR_UNKNOWN. Returns 0. */
Q7_EXPORT int RQ7StrToTime(const char* text, double* value);
Q7_EXPORT int Q7StrToTime(const char* text, double* value);

/* Releases a block the engine handed to the host (the rows of a Q7SetOpe2 result) and sets *block
 * to null; a null pointer or a null block is left alone. Returns 0. */
Q7_EXPORT int Q7FreeMem(void** block);

/* Empties the database. Every table, filter and set ID and every pointer handed out before becomes
 * invalid. The saved flags stay as they were. Returns 0. */
Q7_EXPORT int RQ7ClearDB(void);
Q7_EXPORT int Q7ClearDB(void);

/* Replaces the database by the one stored as directory/name (".Q7D" appended unless name ends in
 * it). Returns 0. RQ7HSLoadDB is the same. The database in place stays when the load is refused
 * before any table is read: a directory that cannot be entered (Q7_ERROR_INVALID_PATH), a file
 * that cannot be opened (Q7_ERROR_ILLEGAL_FILE_NAME, ring message "Illegal FileName"), or a head
 * that is refused: a data version not read (Q7_ERROR_UNSUPPORTED_VERSION), a table count or issued
 * table ID out of range or names beyond the end (Q7_ERROR_ILLEGAL_ARRAY_DATA), a file cut within
 * the header, versions or counts (Q7_ERROR_ILLEGAL_FILE_NAME). A failure further in leaves an empty
 * database: a damaged table record (Q7_ERROR_ILLEGAL_ARRAY_DATA, or its reader's code) or a file
 * cut short (Q7_ERROR_ILLEGAL_FILE_NAME). A file cut short or unreadable once opened is entered in
 * the ring as "Database file cut short or unreadable: " and the file's name. */
Q7_EXPORT int RQ7LoadDB(const char* directory, const char* name);
Q7_EXPORT int Q7LoadDB(const char* directory, const char* name);
Q7_EXPORT int RQ7HSLoadDB(const char* directory, const char* name);

/* Writes the whole database as directory/name (".Q7D" rule as above) and keeps that place for
 * RQ7SaveDB and RQ7GetPathName. Returns 0. A null or empty name returns Q7_ERROR_NO_DB_NAME and
 * writes nothing. */
Q7_EXPORT int RQ7SaveDBAs(const char* directory, const char* name);
Q7_EXPORT int Q7SaveDBAs(const char* directory, const char* name);
/* Writes the database again where it was last loaded from or saved to; Q7_ERROR_NO_DB_NAME when
 * there is no such place. Returns 0. */
Q7_EXPORT int RQ7SaveDB(void);
Q7_EXPORT int Q7SaveDB(void);
/* RQ7SaveDBAs in the previous file version, 24. Refused before anything is written:
 * Q7_ERROR_INVALID_FILE_VERSION for another version, Q7_ERROR_NO_FILE_VERSION while a DECIMAL
 * filter exists or the database character code is not the system's. Later saves keep that version
 * until a save in the current one. */
Q7_EXPORT int RQ7SaveDBAsOldVer(const char* directory, const char* name, int version);

/* The directory and file name of the database's last load or save into directory and name (512
 * bytes each); empty texts before any. Returns 0. */
Q7_EXPORT int RQ7GetPathName(char* directory, char* name);
Q7_EXPORT int Q7GetPathName(char* directory, char* name);

/* The number of tables. */
Q7_EXPORT int RQ7GetNTable(void);
Q7_EXPORT int Q7GetNTable(void);

/* A table name that no table carries, made from seed ("_#1", "_#2"... appended while the name is
 * taken), into name (256 bytes). Q7_ERROR_ILLEGAL_TABLE_NAME for a seed that cannot name a table.
 * Returns 0. */
Q7_EXPORT int RQ7GenerateTableName(const char* seed, char* name);
Q7_EXPORT int Q7GenerateTableName(const char* seed, char* name);

/* Reads directory/name (".Q7T" appended unless given) as a new table, its name made unique; returns
 * the new table's ID. RQ7HSLoadRealTable is the same. */
Q7_EXPORT int RQ7LoadRealTable(const char* directory, const char* name);
Q7_EXPORT int Q7LoadRealTable(const char* directory, const char* name);
Q7_EXPORT int RQ7HSLoadRealTable(const char* directory, const char* name);

/* Writes a real table as directory/<its name>.Q7T, or as directory/name.Q7T. Returns 0. */
Q7_EXPORT int RQ7SaveRealTable(const char* directory, int table_id);
Q7_EXPORT int Q7SaveRealTable(const char* directory, int table_id);
Q7_EXPORT int RQ7SaveRealTableAs(const char* directory, const char* name, int table_id);
/* The same in the previous file version (refusals as RQ7SaveDBAsOldVer, for this table). */
Q7_EXPORT int RQ7SaveRealTableOldVer(const char* directory, int table_id, int version);
Q7_EXPORT int RQ7SaveRealTableAsOldVer(const char* directory, const char* name, int table_id, int version);

/* Tables inside a host's own file, which must exist. RQ7SaveRealTable2 writes the one real table
 * *table_id, with its set 1 only, at offset (nothing past *table_id is read; a missing table gives
 * Q7_ERROR_NO_SUCH_TABLE with the file untouched) and returns 0; RQ7LoadRealTable2 reads count
 * tables so written, from offset on, as new tables, their IDs into table_ids (count ints; null: not
 * wanted), and returns the last issued table ID (a failure keeps the tables read before it). Both
 * store the offset after the last byte through end_offset (null: not wanted). */
Q7_EXPORT int RQ7SaveRealTable2(const char* path, unsigned long offset, const int* table_id,
                                unsigned long* end_offset);
Q7_EXPORT int RQ7LoadRealTable2(const char* path, unsigned long offset, int count, int* table_ids,
                                unsigned long* end_offset);

/* What the file directory/name (".Q7D", respectively ".Q7T", appended unless given) says about
 * itself. Q7_ERROR_INVALID_PATH for a directory that cannot be entered; a file that cannot be read
 * gives its code. Returns 0. */
Q7_EXPORT int RQ7GetQ7DFileInfo(const char* directory, const char* name, _Q7FileInfo* info);
Q7_EXPORT int RQ7GetQ7TFileInfo(const char* directory, const char* name, _Q7FileInfo* info);

/* Memory images: a real table or the whole database in host memory, laid out as its file (the
 * table's image ends, when the buffer has room for it, with the 8 bytes "Q7TFEND" and the int64
 * length of the image up to them). Every buffer must start at a multiple of 8, else
 * Q7_ERROR_ADDRESS_ALIGNMENT with nothing read or written. *end (null: not wanted) receives the
 * address after what was written or read, so that images can follow one another.
 * RQ7SaveRealTable2Mem / RQ7SaveDB2Mem write into size bytes at memory; a buffer too small gives
 * Q7_ERROR_OUT_OF_MEMORY and holds a partial image. The image's header holds its length (*end
 * minus memory, in bytes 8 to 15); images written by earlier versions hold 0 there.
 * RQ7LoadRealTableFromMem adds the imaged table under a new ID and a unique name and returns the
 * ID; RQ7LoadDBFromMem replaces the database (an image that cannot be read leaves an empty one).
 * Neither load is given a length. An image whose header holds its length is read within it: damage
 * in it is refused with a code (Q7_ERROR_INVALID_READ_SIZE or Q7_ERROR_ILLEGAL_ARRAY_DATA, among
 * others), and nothing past the length is read. An image without it is checked only for counts
 * that agree with one another (the table count against the issued table ID, a table's sets,
 * views and value numbers against its rows): other damage to it, such as a raised text length or
 * value-list count, may read past the host's buffer, so such an image must be whole. Return 0 unless stated.
 */
Q7_EXPORT int RQ7SaveRealTable2Mem(int table_id, void* memory, unsigned long size, void** end);
Q7_EXPORT int RQ7SaveDB2Mem(void* memory, unsigned long size, void** end);
Q7_EXPORT int RQ7LoadRealTableFromMem(const void* memory, void** end);
Q7_EXPORT int RQ7LoadDBFromMem(const void* memory, void** end);
/* The bytes an image of the table may need, by its memory size (64-bit; a failure is the negative
 * code). */
Q7_EXPORT int64_t RQ7GetRealTableMemSize(int table_id);
/* Writes the real table's image into a block the engine holds: *image receives the block and *size
 * the image's length. The block stays valid until the next RQ7GetMemRealTable, RQ7FreeMemRealTable,
 * or a load or clear of the database; the host never frees it. An image above 2147483647 bytes:
 * Q7_ERROR_DATA_OVERFLOW. RQ7LoadMemRealTable adds the table imaged in size bytes at image (nothing
 * beyond them, nor beyond the length in its header, is read) and returns its new ID. */
Q7_EXPORT int RQ7GetMemRealTable(int table_id, void** image, unsigned long* size);
Q7_EXPORT int RQ7LoadMemRealTable(const void* image, unsigned long size);
Q7_EXPORT int RQ7FreeMemRealTable(void);

/* Tables through the memory stream (RQ7MemStream*): RQ7SaveRealTableMem appends a real table's
 * file record (set1_only non-zero: with set 1 only) to the stream open for writing and returns 0;
 * RQ7LoadRealTableMem reads the next table of the stream open for reading as a new table and
 * returns its ID, or 0 when the stream has no more data. No stream: Q7_ERROR_INVALID_MEMSTREAM. */
Q7_EXPORT int RQ7SaveRealTableMem(int table_id, int set1_only);
Q7_EXPORT int Q7SaveRealTableMem(int table_id, int set1_only);
Q7_EXPORT int RQ7LoadRealTableMem(void);
Q7_EXPORT int Q7LoadRealTableMem(void);

/* ---- Tables ---- */

/* The description of one table, filled by RQ7GetTableProperty (276 bytes). */
typedef struct _TTableInfo {
  int32_t tableID;
  int32_t kind;      /* offset 4: 0 real, 2 join */
  int32_t nFilter;   /* offset 8: filters (columns) */
  int32_t nSet;      /* offset 12: registered sets */
  int32_t totalRecs; /* offset 16: rows of the table */
  char name[256];    /* offset 20: zero-terminated */
} _TTableInfo;

/* ---- Tables (entry points) ---- */

/* Table names are at most 255 bytes; a null or empty name makes a generated one ("realtbl" and the
 * local time), and a name another table carries is made unique ("_#n"). */

/* A new real table of rows empty records (set 1 holds them all, and is current); its ID. */
Q7_EXPORT int RQ7AddRealTable(const char* name, int rows);
Q7_EXPORT int Q7AddRealTable(const char* name, int rows);

/* The longest join chain followed (16 to 510). Another length sets 510 and returns
 * Q7_ERROR_INVALID_PARAMETER. Returns 0. */
Q7_EXPORT int RQ7SetMaxJoinChain(int length);
Q7_EXPORT int Q7SetMaxJoinChain(int length);

/* Deletes a table that no other table depends on (Q7_ERROR_NOT_EDITABLE otherwise). Returns 0. */
Q7_EXPORT int RQ7DeleteTable(int table_id);
Q7_EXPORT int Q7DeleteTable(int table_id);

/* The IDs of all tables, ascending, into ids, which must hold RQ7GetNTable() ints; their count. */
Q7_EXPORT int RQ7GetTableIDList(int* ids);
Q7_EXPORT int Q7GetTableIDList(int* ids);

/* The table's name into name (256 bytes). Returns 0. */
Q7_EXPORT int RQ7GetTableName(int table_id, char* name);
Q7_EXPORT int Q7GetTableName(int table_id, char* name);
/* Renames a table (made unique as above). Q7_ERROR_ILLEGAL_TABLE_NAME for an empty, overlong or
 * unusable name. Returns 0. */
Q7_EXPORT int RQ7SetTableName(int table_id, const char* name);
Q7_EXPORT int Q7SetTableName(int table_id, const char* name);

Q7_EXPORT int RQ7GetTableProperty(int table_id, _TTableInfo* info);
Q7_EXPORT int Q7GetTableProperty(int table_id, _TTableInfo* info);

/* A join table's name (256 bytes), its master table, master set and first master key filter, and
 * the same of its slave side. Q7_ERROR_NOT_JOIN_TABLE for a real table. Returns 0. */
Q7_EXPORT int RQ7GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                             int* slave_table, int* slave_set, int* slave_key);
Q7_EXPORT int Q7GetJoinInfo(int table_id, char* name, int* master_table, int* master_set, int* master_key,
                            int* slave_table, int* slave_set, int* slave_key);
/* As RQ7GetJoinInfo, with the outer flag (1 outer, 0 inner), the number k of key pairs and all k
 * master and k slave key filters (master_keys and slave_keys: 32 ints suffice). The name (256 bytes)
 * is written only on success. Q7GetJoinInfoEx points *name at the engine's copy instead. */
Q7_EXPORT int RQ7GetJoinInfoEx(int table_id, char* name, int* outer, int* key_count, int* master_table,
                               int* master_set, int* master_keys, int* slave_table, int* slave_set,
                               int* slave_keys);
Q7_EXPORT int Q7GetJoinInfoEx(int table_id, char** name, int* outer, int* key_count, int* master_table,
                              int* master_set, int* master_keys, int* slave_table, int* slave_set,
                              int* slave_keys);

/* ---- Join tables ----
 * A join table joins the rows of a set of a master real table and of a set of a slave real table on
 * 1 to 32 pairs of key filters; it stores no rows of its own. Its columns are the master's filters
 * (IDs 1..M) followed by the slave's (M+1..M+S). Set 1 is the whole join. While a join exists, its
 * two tables can be neither deleted nor edited (Q7_ERROR_NOT_EDITABLE). */

/* A new join of master_set of master_table and slave_set of slave_table (negative sets: the current
 * sets) on the key filter lists master_keys and slave_keys, paired by position (each read up to
 * its first ID below 1, at most 32 IDs); outer 0 keeps only rows with a partner (NULL keys pair
 * with NULL keys), non-zero also the rows of either side without one, leaving out rows whose keys
 * are all NULL. Its table ID. Names as for RQ7AddRealTable, generated
 * with "jointbl". Refusals: Q7_ERROR_ILLEGAL_MASTER_TABLE / Q7_ERROR_ILLEGAL_SLAVE_TABLE (missing or
 * not real), Q7_ERROR_INVALID_KEY_PARAMETER (empty or unequal key lists), Q7_ERROR_NO_MASTER_KEY_FILTER
 * / Q7_ERROR_NO_SLAVE_KEY_FILTER, Q7_ERROR_NO_JOIN_SET / Q7_ERROR_NO_SLAVE_SET, Q7_ERROR_OVERFLOW_JOIN;
 * a failure adds no table. RQ7AddJoinTable builds the join on the worker threads. */
Q7_EXPORT int RQ7AddJoinTable(const char* name, int outer, int master_table, int master_set,
                              const int* master_keys, int slave_table, int slave_set, const int* slave_keys);
Q7_EXPORT int Q7AddJoinTable(const char* name, int outer, int master_table, int master_set,
                             const int* master_keys, int slave_table, int slave_set, const int* slave_keys);

/* The join's columns, master first: each column's ID, source table and source filter; returns the
 * column count n. RQ7GetJoinSrcTblIDs copies n ints into each buffer (which must hold n, at least
 * 2); RQ7GetJoinSrcTblInfo also gives the master and slave table IDs and copies 1024 ints into each
 * buffer (zero past the columns). The Q7 forms point the three lists at the engine's copies, valid
 * until the next such call. Q7_ERROR_NOT_JOIN_TABLE for a real table. */
Q7_EXPORT int RQ7GetJoinSrcTblIDs(int table_id, int* ids, int* tables, int* filters);
Q7_EXPORT int Q7GetJoinSrcTblIDs(int table_id, int** ids, int** tables, int** filters);
Q7_EXPORT int RQ7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int* ids, int* tables,
                                   int* filters);
Q7_EXPORT int Q7GetJoinSrcTblInfo(int table_id, int* master_table, int* slave_table, int** ids, int** tables,
                                  int** filters);

/* The master and slave table and set IDs, the slave column count S and the slave table's filter IDs
 * of the slave columns (RQ7GetSlaveInfo: 512 ints copied into slave_filters; Q7GetSlaveInfo: a
 * pointer to the join's list). Returns 0; Q7_ERROR_NOT_JOIN_TABLE for a real table. */
Q7_EXPORT int RQ7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table,
                              int* slave_set, int* n_slave_filters, int* slave_filters);
Q7_EXPORT int Q7GetSlaveInfo(int table_id, int* master_table, int* master_set, int* slave_table,
                             int* slave_set, int* n_slave_filters, int** slave_filters);

/* Copies slave filter slave_filter_id (a filter ID of the slave table) into the master table as a
 * new filter named after it: each master record of set 1 gets the value of its first slave
 * partner, every other record NULL. The new filter's ID; Q7_ERROR_NOT_JOIN_TABLE for a real table,
 * Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_SHARED_READ_ONLY for a shared join or master. */
Q7_EXPORT int RQ7MoveSlaveFlt2Master(int table_id, int slave_filter_id);
Q7_EXPORT int Q7MoveSlaveFlt2Master(int table_id, int slave_filter_id);

/* A new real table holding the joined rows of set set_id of join table join_table (a negative set:
 * its current set), one record per joined row in the set's order: first an INTEGER filter
 * "MRecNo" with each row's master record number when master_rec_no is non-zero, then "SRecNo" with
 * its slave record number when slave_rec_no is (0 for a side an outer join leaves empty), then one
 * filter per join column ID of filter_ids (read up to its first ID below 1; null: none), named after
 * its source filter, NULL where the row has no record on the column's side. With share_value_lists
 * non-zero each such filter uses its source filter's value list instead of a copy, and the new
 * table then depends on the source table (which can no longer be edited or deleted). Value lists
 * of the table's own keep only the values its rows use. Names as for RQ7AddRealTable, generated
 * with "createtbl". Returns the new table's ID. Refusals: Q7_ERROR_NO_SUCH_TABLE,
 * Q7_ERROR_NOT_JOIN_TYPE (not a join), Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER (a listed ID
 * naming no join column), Q7_ERROR_TABLE_COUNT_OVERFLOW; a failure adds no table. */
Q7_EXPORT int RQ7ConvertJoinToReal(const char* name, int join_table, int set_id, int master_rec_no,
                                   int slave_rec_no, const int* filter_ids, int share_value_lists);
Q7_EXPORT int Q7ConvertJoinToReal(const char* name, int join_table, int set_id, int master_rec_no,
                                  int slave_rec_no, const int* filter_ids, int share_value_lists);

/* A semi-join without a join table: a new set of table_a (made current) holding, in set_a's order,
 * the rows of set_a whose INTEGER key_a value occurs among the key_b values of set_b's rows (mode
 * non-zero) or does not occur there (mode 0). Keys compare by value; a NULL key matches a NULL key.
 * An empty set_b gives an empty set (mode non-zero) or a copy of set_a (mode 0). Returns the new
 * set's ID. Refusals, checked for table A, then for table B: Q7_ERROR_NO_SUCH_TABLE,
 * Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_INVALID_DATA_TYPE
 * (a key that is not INTEGER); a refusal adds no set. */
Q7_EXPORT int RQ7ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                                  int mode);
Q7_EXPORT int Q7ExtractJoinInOut(int table_a, int set_a, int key_a, int table_b, int set_b, int key_b,
                                 int mode);

/* A join set is driven by one side (RQ7GetJoinDir: 0 master, 1 slave); it holds that side's records
 * and the partner side's. RQ7GetJoinSlaveSet: the partner side's records, as RQ7GetSet (count, then
 * min(count, capacity) of them copied; returns the count). RQ7GetJoinProjectionSets: the driving
 * side's projection (each driving record's first joined row) and the partner side's (the start of
 * each key value's group of partners), each as RQ7GetSet; returns 0. A negative capacity:
 * Q7_ERROR_INVALID_PARAMETER. The Q7 forms point at the engine's arrays, valid until the set changes.
 * Q7_ERROR_NOT_JOIN_TABLE for a real table, Q7_ERROR_NO_SUCH_SET. */
Q7_EXPORT int RQ7GetJoinSlaveSet(int table_id, int set_id, int* count, int capacity, int* rows);
Q7_EXPORT int Q7GetJoinSlaveSet(int table_id, int set_id, int** rows);
Q7_EXPORT int RQ7GetJoinDir(int table_id, int set_id);
Q7_EXPORT int Q7GetJoinDir(int table_id, int set_id);
Q7_EXPORT int RQ7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int own_capacity,
                                       int* own_rows, int* other_count, int other_capacity, int* other_rows);
Q7_EXPORT int Q7GetJoinProjectionSets(int table_id, int set_id, int* own_count, int** own_rows,
                                      int* other_count, int** other_rows);

/* Inner joins only (Q7_ERROR_NOT_INNER_JOIN_TABLE otherwise). RQ7PutJoinSetToParent: a copy of set
 * 1's records of one side (side 0 master, else slave; non_hit non-zero: only the records without
 * partner) becomes a new set, made current, of that side's table, into *table_out and *set_out
 * (both -1 on failure); returns 0. RQ7ReturnSet2SlaveTable: the first slave record of each distinct
 * key value of set 1 becomes a new set of the slave table; returns its set ID, *slave_table the
 * slave table's ID. */
Q7_EXPORT int RQ7PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out);
Q7_EXPORT int Q7PutJoinSetToParent(int table_id, int side, int non_hit, int* table_out, int* set_out);
Q7_EXPORT int RQ7ReturnSet2SlaveTable(int table_id, int* slave_table);
Q7_EXPORT int Q7ReturnSet2SlaveTable(int table_id, int* slave_table);

/* ---- Join chains and tree tables ----
 * A join chain is a list of inner joins J0, J1, ... (read up to the first ID below 1, at most the
 * RQ7SetMaxJoinChain length) in which each join's master table is the previous join's slave table.
 * Realising it makes a real table (name made unique; no generated default) laid out as a tree: the
 * rows of J0's master set are the roots, in set order; the children of a record of the k-th table
 * are the records of the next table that Jk pairs with it. One record per node in depth-first
 * pre-order, INTEGER columns "depth" (filter 1, 0 for a root), "RECNO" (filter 2, the node's record
 * in its own table) and, for c < count (0 to 4), "data_<c>": the value of the INTEGER filter
 * column_ids[k][c] of the node's k-th table. table_ids_out (511 ints) receives the chain's tables,
 * sets_out[0][k] and sets_out[1][k] the master and slave sets of Jk. Returns the new table's ID.
 * Refusals: Q7_ERROR_NO_SUCH_TABLE (a listed ID, or no join at all), Q7_ERROR_NOT_JOIN_TYPE,
 * Q7_ERROR_NOT_INNER_JOIN_TABLE, Q7_ERROR_ILLEGAL_CHAIN_TYPE (a broken link), Q7_ERROR_NO_SUCH_SET,
 * Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_ILLEGAL_FILTER_TYPE (a column not INTEGER),
 * Q7_ERROR_OUT_OF_RANGE (count above 4), Q7_ERROR_ILLEGAL_JOIN_TABLE_NAME,
 * Q7_ERROR_ROW_SIZE_OVERFLOW (a tree of 2147483647 rows or more), Q7_ERROR_INVALID_PARAMETER (null
 * outputs); a failure adds no table. */
Q7_EXPORT int RQ7RealizeJoinChain(const char* name, const int* join_ids, int* table_ids_out,
                                  int (*sets_out)[510]);
Q7_EXPORT int Q7RealizeJoinChain(const char* name, const int* join_ids, int* table_ids_out,
                                 int (*sets_out)[510]);
Q7_EXPORT int RQ7RealizeJoinChainEx(const char* name, const int* join_ids, int count,
                                    const int (*column_ids)[4], int* table_ids_out, int (*sets_out)[510]);
Q7_EXPORT int Q7RealizeJoinChainEx(const char* name, const int* join_ids, int count,
                                   const int (*column_ids)[4], int* table_ids_out, int (*sets_out)[510]);
/* Appends to a tree table one column per listed filter of the real table source_table (up to the
 * first ID below 1 or one the source lacks; at most the chain length), named after it: record r
 * takes the source's value at r's RECNO record when r's depth is above 0 (depth < 0), equals depth
 * (inherit 0), or, with inherit set, is depth or more, below a record of that depth whose value it
 * then takes; every other record is NULL. Returns 0 (an empty tree adds nothing), -1 when a column
 * cannot be added. Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NO_SUCH_FILTER (filter 1 or 2 missing, or no
 * source filter), Q7_ERROR_ILLEGAL_FILTER_TYPE. */
Q7_EXPORT int RQ7QualifyTree(int tree_table, int depth, int source_table, const int* source_filters,
                             int inherit);
Q7_EXPORT int Q7QualifyTree(int tree_table, int depth, int source_table, const int* source_filters,
                            int inherit);
/* Registers as a new current set of a tree table the rows of set_id (negative: current) without the
 * rows whose level_filter value is level and whose node_filter value (negative: filter 2) is one of
 * nodes (read up to the first value below 1), each with its subtree; *new_set_out receives the new
 * set's ID. Unless set_only, also appends a "RECNO" column: for the kept rows their node value, at
 * the level renumbered without the removed nodes; NULL for the other records; *new_filter_out
 * receives its ID. Returns the number of rows removed (0 for an empty set or list, or a missing
 * level filter). Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_TREE (filter 1 or the
 * node filter missing or not INTEGER, or a negative node value), Q7_ERROR_INVALID_KEY_PARAMETER. */
Q7_EXPORT int Q7DelTreeNodes(int table_id, int set_only, int level, int level_filter, int set_id,
                             int node_filter, const int* nodes, int* new_set_out, int* new_filter_out);

/* ---- Join block access and row callbacks ----
 * A block reader hands out the rows of a set of a real or join table one block at a time without
 * copying values: a block is one driving record with all its partner records (a real table's block
 * is one row). Each requested column comes back as one _TColumnBuf (24 bytes, layout fixed) whose
 * entries point straight into the column's value list: the 4-byte int, the 8-byte double (also
 * dates and times) or the first character of the text. A direct column (every column of a real
 * table, a join column of the set's driving side) has one entry per block; the others one entry per
 * partner record of the block. DECIMAL columns carry their type, but their entries are null. The
 * pointers are valid until the next read or the close of the handle; the tables, the set and the
 * join must not change while a handle is open. */
typedef struct _TColumnBuf {
  uint8_t direct;   /* offset 0: 1 one entry per block, 0 one per partner record */
  uint8_t dataType; /* offset 1: Q7_TYPE_INTEGER .. Q7_TYPE_DECIMAL */
  uint8_t reserved1[2];
  int32_t columnID; /* offset 4: filter ID (real table) or join column ID */
  int32_t count;    /* offset 8: entries in data: 1, or the block's partner count */
  int32_t reserved2;
  void** data; /* offset 16: count pointers to values */
} _TColumnBuf;

/* The row callbacks. Q7RowInfoCallBack and Q7SearchCallBack call theirs once per joined row: more
 * is 0 for the last row only; entry 0 of every column points at the row's value. Q7UniqueRowCallBack
 * calls its once per run of equal values of the listed columns, with the run's row count. They run
 * on the calling thread while the engine lock is held: a call they make to the engine returns
 * Q7_ERROR_UNKNOWN at once (a value-returning function its NULL) and does nothing. */
typedef int (*Q7RowCallBackFunc)(int more, int handle, int block_no, int joined_row, int driving_record,
                                 int partner_record, int column_count, _TColumnBuf* columns);
typedef int (*Q7UniqueRowCallBackFunc)(int more, int count, int column_count, _TColumnBuf* columns);

/* The number of reader handles (8). */
Q7_EXPORT int Q7GetN_JBA(void);
/* -1 for a handle outside 0..7; 0 (*status 0) for a free handle; 1 for an open one, *status the
 * number of the block the next read returns. */
Q7_EXPORT int Q7JBAStatus(int handle, int* status);
/* Opens a reader on handle (0..7) over set_id (-1: the current set) of a table, with every column
 * (Q7JBAOpen) or with the columns of column_ids up to its first ID below 1, at most 1024
 * (Q7JBAOpen2). Returns 0; -11 handle outside 0..7, -10 handle busy, -9 an empty set or no table;
 * else Q7_ERROR_ILLEGAL_SET_ID (set below -1), Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_JOIN_BLOCK_TOO_LARGE
 * (a block of more than 1,000,000 partner records) and the join's codes. A failure leaves the
 * handle free. */
Q7_EXPORT int Q7JBAOpen(int handle, int table_id, int set_id);
Q7_EXPORT int Q7JBAOpen2(int handle, int table_id, int set_id, const int* column_ids);
/* Reads the next block: its number (from 1), its first and last joined row (1-based), its driving
 * record, its partner count and records (engine memory), the column count and the columns. Returns
 * 1 when more blocks follow, 0 for the last block, -1 past the end or for a free handle. */
Q7_EXPORT int Q7JBARead(int handle, int* block_no, int* first_row, int* last_row, int* driving_record,
                        int* partner_count, int** partner_records, int* column_count, _TColumnBuf** columns);
/* Frees the handle; 0 (also for a free one), -1 for a handle outside 0..7. */
Q7_EXPORT int Q7JBAClose(int handle);
/* Walk the set (-1: the current set) of a table through a free handle, which they open on
 * column_ids and close again. Q7RowInfoCallBack: every joined row. Q7SearchCallBack (real tables):
 * a callback result of 1 selects the row; the selected rows become a new set, made current.
 * Q7UniqueRowCallBack: the set ordered by the listed columns (column_ids up to its first ID below
 * 1), one call per run of equal values. A callback result of -1 (unique rows: anything but 0 and 1)
 * stops the walk and 1 is returned; a finished walk returns 0; a failed read its code. */
Q7_EXPORT int Q7RowInfoCallBack(int handle, int table_id, int set_id, const int* column_ids,
                                Q7RowCallBackFunc callback);
Q7_EXPORT int Q7SearchCallBack(int handle, int table_id, int set_id, const int* column_ids,
                               Q7RowCallBackFunc callback);
Q7_EXPORT int Q7UniqueRowCallBack(int handle, int table_id, int set_id, const int* column_ids,
                                  Q7UniqueRowCallBackFunc callback);

/* Drops the value-list entries that no record of a real table uses. Q7_ERROR_NOT_EDITABLE while
 * other tables depend on it. Returns 0. */
Q7_EXPORT int RQ7CondenseRealTable(int table_id);
Q7_EXPORT int Q7CondenseRealTable(int table_id);

/* As RQ7GenerateTableName, into name (256 bytes; written only on success). Q7GenTableName points
 * *name at an engine buffer that the next call overwrites. A null name returns
 * Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7GenTableName(const char* seed, char* name);
Q7_EXPORT int Q7GenTableName(const char* seed, char** name);

/* The number of tables that depend on a real table (0: it may be changed); their IDs into
 * referring_ids, which must hold that many ints (at most RQ7GetNTable()). Q7_ERROR_NOT_REAL_TABLE
 * for a join table. Q7TableCanEdit points *referring_ids at the engine's list instead (a null
 * referring_ids: Q7_ERROR_INVALID_PARAMETER). */
Q7_EXPORT int RQ7TableCanEdit(int table_id, int* referring_ids);
Q7_EXPORT int Q7TableCanEdit(int table_id, int** referring_ids);

/*
 * Derived tables: new real tables made from real tables of the database, returning the new table's
 * ID. Names as for RQ7AddRealTable. The new table's filters have the IDs 1, 2, ... in column order,
 * each with a value list of its own (a later change to the source never reaches it), and its only
 * set is set 1, all its records. A failure adds no table and uses no table ID. A source that is a
 * join table gives Q7_ERROR_NO_SUCH_TABLE. Filter lists are read up to the entry that ends them
 * (at most 512 entries) and are never written.
 */
/* Every filter and every record of a real table, in the same order, under the same names. */
Q7_EXPORT int RQ7DuplicateRealTable(const char* name, int table_id);
Q7_EXPORT int Q7DuplicateRealTable(const char* name, int table_id);
/* The rows of set_id (negative: the current set) in set order, with the filters of filter_ids up to
 * its first ID below 1 (null: every filter in display order), each under its name (a name taken
 * already gets "_#1", "_#2" ...). A column's value list holds only the values its rows use (and
 * NULL) when the rows are fewer than three quarters of the source list's entries, else the whole
 * list. The Ex form puts first, when add_table_id is non-zero, an INTEGER filter "#TABLE_ID"
 * holding table_id in every row and, when add_rec_no is non-zero, an INTEGER filter "#REC_NO"
 * holding each row's record number in the source; 512 filters in all. */
Q7_EXPORT int RQ7ExtractRealTable(const char* name, int table_id, int set_id, const int* filter_ids);
Q7_EXPORT int Q7ExtractRealTable(const char* name, int table_id, int set_id, const int* filter_ids);
Q7_EXPORT int RQ7ExtractRealTableEx(const char* name, int table_id, int set_id, int add_table_id,
                                    int add_rec_no, const int* filter_ids);
Q7_EXPORT int Q7ExtractRealTableEx(const char* name, int table_id, int set_id, int add_table_id,
                                   int add_rec_no, const int* filter_ids);
/* The rows of set_a of table_a, then the rows of set_b of table_b (which may be table_a), in set
 * order. Entry i of ids_a and of ids_b make pair i; the pairs end at the first pair of two IDs below
 * 1 (a null list stands for its table's filters in display order, so two null lists pair the
 * filters by position). A pair of two filters makes one filter, named after table_a's, over the
 * union of their values: the two must have one basic type (DATE, TIME, DATETIME and DOUBLE are one)
 * else Q7_ERROR_FILTER_TYPE_MISMATCH; two DECIMAL filters combine at the larger of their scales, with
 * that side's rounding mode (table_a's on equal scales), and a value that does not fit there becomes
 * NULL. A pair of one filter and 0 makes a filter of that side only, NULL in the other side's rows.
 * A negative ID facing a positive one gives Q7_ERROR_FILTER_TYPE_MISMATCH, a missing filter
 * Q7_ERROR_NO_SUCH_FILTER, a missing set Q7_ERROR_NO_SUCH_SET. The Ex form puts first, when
 * add_table_id is non-zero, an INTEGER filter "TableID" holding each row's source table and, when
 * add_rec_no is non-zero, an INTEGER filter "RECNO" holding its source record; 512 filters in all.
 * With consume_sources non-zero the sources are used up: each gives up the filters no pair names
 * before the new table is built and each named filter once its last pair is built, and both are
 * deleted afterwards (one that another table depends on stays, without those filters). Should
 * the call fail after a source gave up a filter, both sources are deleted too. RQ7CombineRealTableEx2
 * is RQ7CombineRealTableEx with consume_sources 1. */
Q7_EXPORT int RQ7CombineRealTable(const char* name, int table_a, int set_a, const int* ids_a, int table_b,
                                  int set_b, const int* ids_b);
Q7_EXPORT int Q7CombineRealTable(const char* name, int table_a, int set_a, const int* ids_a, int table_b,
                                 int set_b, const int* ids_b);
Q7_EXPORT int RQ7CombineRealTableEx(const char* name, int add_table_id, int add_rec_no, int table_a,
                                    int set_a, const int* ids_a, int table_b, int set_b, const int* ids_b,
                                    int consume_sources);
Q7_EXPORT int Q7CombineRealTableEx(const char* name, int add_table_id, int add_rec_no, int table_a, int set_a,
                                   const int* ids_a, int table_b, int set_b, const int* ids_b,
                                   int consume_sources);
Q7_EXPORT int RQ7CombineRealTableEx2(const char* name, int add_table_id, int add_rec_no, int table_a,
                                     int set_a, const int* ids_a, int table_b, int set_b, const int* ids_b);
/* The rows of set set_ids[i] of real table table_ids[i], for the table IDs before the first one
 * below 1 (at most 64), table after table, with the INTEGER filters "TableID" (each row's table),
 * "RECNO" (its record in that table) and, for each of data_1 to data_4 that is not null, one
 * INTEGER filter ("DATA", "DATA_#1", ...) holding the value of filter data_n[i] of the row's table
 * (an INTEGER filter, else Q7_ERROR_ILLEGAL_FILTER_TYPE). No table before the end gives
 * Q7_ERROR_NO_SUCH_TABLE. */
Q7_EXPORT int RQ7CombineTableList(const char* name, const int* table_ids, const int* set_ids,
                                  const int* data_1, const int* data_2, const int* data_3, const int* data_4);
Q7_EXPORT int Q7CombineTableList(const char* name, const int* table_ids, const int* set_ids,
                                 const int* data_1, const int* data_2, const int* data_3, const int* data_4);

/* ---- Sets ---- */

/* A list of record numbers that crosses the interface by value (16 bytes). */
typedef struct _TSetDescript {
  int32_t count; /* entries of rows; the result of a failed set operation holds -1 */
  int32_t* rows; /* 1-based record numbers (offset 8) */
} _TSetDescript;

/* ---- Sets (entry points) ---- */

/* Set 1 of a table holds every record, ascending; a negative set ID means the table's current set.
 * The functions that make a set make it current and return its ID. */

/* The table's number of sets, and its number of records. */
Q7_EXPORT int RQ7GetNSet(int table_id);
Q7_EXPORT int Q7GetNSet(int table_id);
Q7_EXPORT int RQ7GetTotalRows(int table_id);
Q7_EXPORT int Q7GetTotalRows(int table_id);

/* Deletes every set but set 1, which becomes current. Returns 0. */
Q7_EXPORT int RQ7PurgeSubsets(int table_id);
Q7_EXPORT int Q7PurgeSubsets(int table_id);

/* The number of rows in the set. */
Q7_EXPORT int RQ7GetSetSize(int table_id, int set_id);
Q7_EXPORT int Q7GetSetSize(int table_id, int set_id);

/* The set's record numbers, in the set's order: stores the set's row count in *count (0 first, and
 * on any failure) and copies the first min(count, capacity) of them into rows; returns the count.
 * A count above capacity means the buffer was too small. A negative capacity gives
 * Q7_ERROR_INVALID_PARAMETER, as does a null rows with a positive capacity; Q7_ERROR_NO_SUCH_SET for
 * a missing set. Q7GetSet points *rows at the engine's own array instead (valid until the set
 * changes or goes). */
Q7_EXPORT int RQ7GetSet(int table_id, int set_id, int* count, int capacity, int* rows);
Q7_EXPORT int Q7GetSet(int table_id, int set_id, int** rows);

/* Copies at most capacity set IDs, ascending, into set_ids and returns the table's number of sets
 * (which may exceed capacity). RQ7GetSetIDList is the same. */
Q7_EXPORT int RQ7GetSetList(int table_id, int capacity, int* set_ids);
Q7_EXPORT int Q7GetSetList(int table_id, int capacity, int* set_ids);
Q7_EXPORT int RQ7GetSetIDList(int table_id, int capacity, int* set_ids);

/* A new set of a real table made of count host record numbers, in the host's order (a repeated
 * number is kept at its first place); count 0 makes an empty set. A number outside 1 .. the row
 * count gives Q7_ERROR_INVALID_ROW_POSITION and no set. */
Q7_EXPORT int RQ7AddSetReal(int table_id, int count, const int* rows);
Q7_EXPORT int Q7AddSetReal(int table_id, int count, const int* rows);

/* Deletes a set. Set 1 of a real table cannot be deleted (Q7_ERROR_SET_NOT_DELETABLE); a set the
 * real table does not have gives Q7_ERROR_NO_SUCH_SET. A join table answers a set it does not have,
 * and its set 1, with Q7_ERROR_ILLEGAL_SET_ID; its ring entry "No Such Set: %d " under "DelSet" is
 * the first for set 1, while for a missing set a "SetID2Pos" entry (Q7_ERROR_NO_SUCH_SET) precedes
 * it. Returns 0. */
Q7_EXPORT int RQ7DeleteSet(int table_id, int set_id);
Q7_EXPORT int Q7DeleteSet(int table_id, int set_id);

/* The current set's ID; making a set current (Q7_ERROR_ILLEGAL_SET_ID for a missing one) returns 0. */
Q7_EXPORT int RQ7GetCurrentSetID(int table_id);
Q7_EXPORT int Q7GetCurrentSetID(int table_id);
Q7_EXPORT int RQ7ChangeCurrentSetID(int table_id, int set_id);
Q7_EXPORT int Q7ChangeCurrentSetID(int table_id, int set_id);
/* Makes set_id the ID of the next set created in the table: it must be 1 or more and above the
 * table's highest set ID, else Q7_ERROR_ILLEGAL_SET_ID. Refusals leave no entry of their own in the
 * error ring (a missing table only the lookup's). Returns 0. */
Q7_EXPORT int RQ7ResetSetID(int table_id, int set_id);

/* A new set of the records of a real table that are not in the set, ascending. */
Q7_EXPORT int RQ7SetNotReal(int table_id, int set_id);
Q7_EXPORT int Q7SetNotReal(int table_id, int set_id);

/* A new set, op of two sets of the table, ascending: op 0 AND, 1 OR, 2 AND NOT (set_a without
 * set_b); Q7_ERROR_INVALID_OPERATION for another op. */
Q7_EXPORT int RQ7SetOpeReal(int table_id, int op, int set_a, int set_b);
Q7_EXPORT int Q7SetOpeReal(int table_id, int op, int set_a, int set_b);

/* A new set holding, of each group of rows of the set whose values in the listed filters are all
 * equal, the row that comes first in the set. filter_ids ends at its first entry below 1 (1 to 512
 * filters). keep_order != 0 keeps the set's order; 0 orders the rows by the last listed filter's
 * values, ties by the one before it, and so on. The first argument is not read. */
Q7_EXPORT int RQ7ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids,
                                   int keep_order);
Q7_EXPORT int Q7ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids,
                                  int keep_order);

/* op (as RQ7SetOpeReal) of two host row lists of a table of n_rows records, without a table: *result
 * receives a new ascending row list, which the host owns and releases with
 * Q7FreeMem((void**)&result->rows), and its count, which is also returned. On any failure *result
 * holds count -1 and null rows. */
Q7_EXPORT int Q7SetOpe2(int op, int n_rows, _TSetDescript a, _TSetDescript b, _TSetDescript* result);

/* ---- Filters ---- */

/* One filter as it lies in engine memory (320 bytes). The pointers point into the engine and stay
 * valid until the next call that changes the filter; the host never frees them. */
typedef struct _TFilterInfo {
  int32_t rowCount;      /* elements of the value-number array (element 0 is not a row) */
  int32_t* valueNumbers; /* offset 8: the value number of each record */
  int32_t type;          /* offset 16: a Q7ValueType */
  int32_t unit;          /* offset 20: bytes of one value-list element */
  int32_t valueCount;    /* offset 24: entries of the value list (entry 0 is NULL) */
  void* values;          /* offset 32: the value list's elements */
  char* stringArea;      /* offset 40: strings: the character area the elements point into */
  char name[256];        /* offset 48: zero-terminated */
  char reserved[8];      /* offset 304: not written */
  int32_t originTable;   /* offset 312: table the filter was copied from */
  int32_t originFilter;  /* offset 316: filter it was copied from */
} _TFilterInfo;

/* The summary of one filter, for hosts that copy its contents into their own buffers (276 bytes). */
typedef struct _TRFilterInfo {
  int32_t rowCount;       /* elements of the value-number array */
  int32_t type;           /* offset 4: a Q7ValueType */
  int32_t unit;           /* offset 8: bytes of one value-list element */
  int32_t valueCount;     /* offset 12: entries of the value list */
  int32_t stringAreaSize; /* offset 16: strings: bytes of the character area in use; else 0 */
  char name[256];         /* offset 20: zero-terminated */
} _TRFilterInfo;

/* The host's buffers for one filter's contents (48 bytes): each capacity, then its buffer. At most
 * capacity elements (bytes for the character area) are written into each. */
typedef struct _TRFilterBody {
  int32_t valueNumberCapacity; /* elements */
  int32_t* valueNumbers;       /* offset 8 */
  int32_t valueCapacity;       /* offset 16: value-list elements */
  void* values;                /* offset 24 */
  int32_t stringAreaCapacity;  /* offset 32: bytes */
  char* stringArea;            /* offset 40 */
} _TRFilterBody;

/* Filters of a table. Unless a function says otherwise, a missing table returns
 * Q7_ERROR_NO_SUCH_TABLE and a missing filter Q7_ERROR_NO_SUCH_FILTER; their ring entries carry
 * Q7_ERROR_NO_SUCH_TABLE ("No Such Table: %d", "No Such Filter: %d"). */

/* The number of filters of the table. */
Q7_EXPORT int RQ7GetNFilter(int table);
Q7_EXPORT int Q7GetNFilter(int table);
/* Writes the filter IDs in display order into ids (room for 512) and returns their count. */
Q7_EXPORT int RQ7GetFilterIDList(int table, int* ids);
Q7_EXPORT int Q7GetFilterIDList(int table, int* ids);
/* The width of the filter's values: 4 INTEGER, 8 DOUBLE, 16 DECIMAL, the longest text for STRING
 * (0 when all are NULL); DATE, TIME and DATETIME give Q7_ERROR_ILLEGAL_FILTER_TYPE. */
Q7_EXPORT int RQ7GetFilterWidth(int table, int filter);
Q7_EXPORT int Q7GetFilterWidth(int table, int filter);
/* The filter's Q7ValueType. */
Q7_EXPORT int RQ7GetFilterType(int table, int filter);
Q7_EXPORT int Q7GetFilterType(int table, int filter);

/* Fills *info from the filter (written only on success); for a join table the name is the join's
 * own name of the column (see RQ7GetFilterName). Values written but not yet merged into the value
 * list are merged first. Returns 0. */
Q7_EXPORT int RQ7GetFilterInfo(int table, int filter, _TRFilterInfo* info);
/* The table's filter count into *count, and for each of the first min(count, max) filters in
 * display order its summary into infos[i] (a join column's name as RQ7GetFilterName gives it) and
 * its 64-byte attribute block into attributes[i] (for STRING filters stringAreaSize is the
 * character area's whole capacity). Values written but not
 * yet merged are merged first. Returns 0, also when max is 0 and nothing but the count is written.
 * A missing table returns Q7_ERROR_INVALID_PARAMETER (its ring entry "No Such Table: %d " carries
 * the same code); a negative max, a null count, or null infos or attributes while a filter is to
 * be described: Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7GetAllFilterInfo(int table, int max, int* count, _TRFilterInfo* infos,
                                  char (*attributes)[64]);
/* Copies the filter's contents into the host's buffers of *body: min(capacity, count) value
 * numbers, value-list elements and (STRING) bytes of the character area. A DECIMAL value buffer
 * starts with the filter's NumericInfo, the values follow it: it must hold 8 + 16 * valueCapacity
 * bytes. A negative capacity returns Q7_ERROR_INVALID_PARAMETER (its ring entry, "Illegal Buffer
 * size: ...", carries Q7_ERROR_NO_SUCH_TABLE) before anything is copied. Returns 0. */
Q7_EXPORT int RQ7GetFilterBody(int table, int filter, _TRFilterBody* body);
/* Fills *info with pointers into the engine (see _TFilterInfo). Returns 0. On a join column the
 * record is the source filter's: its name and origin fields are the source's (a slave "id" shown
 * by the join as "id_#1" reads "id"); the join's own name comes from RQ7GetFilterName. */
Q7_EXPORT int Q7GetFilter(int table, int filter, _TFilterInfo* info);
/* The two key columns of join table `table`, master side first: with one key pair copies of the
 * two source key filters, with more the combined columns "#MASTER" and "#SLAVE" (one integer per
 * distinct key tuple); the two share one value list. RQ7GetJoinKeyInfo and RQ7GetJoinKeyBody
 * describe and copy them as RQ7GetFilterInfo and RQ7GetFilterBody do one filter (the body form
 * checks all six capacities first); Q7GetJoinKey fills the records with pointers into the engine,
 * as Q7GetFilter. A table that is not a join returns Q7_ERROR_NOT_JOIN_TABLE (its ring entry carries
 * Q7_ERROR_NO_SUCH_TABLE). Returns 0. */
Q7_EXPORT int RQ7GetJoinKeyInfo(int table, _TRFilterInfo* master, _TRFilterInfo* slave);
Q7_EXPORT int RQ7GetJoinKeyBody(int table, _TRFilterBody* master, _TRFilterBody* slave);
Q7_EXPORT int Q7GetJoinKey(int table, _TFilterInfo* master, _TFilterInfo* slave);

/* The 64-byte attribute block that the host keeps with each filter (each set): RQ7Get*Attr copies
 * it into block after a success, RQ7Set*Attr copies block into it. A null block gives
 * Q7_ERROR_INVALID_PARAMETER; a missing set Q7_ERROR_NO_SUCH_SET. Returns 0. The Q7 forms point
 * *block at the engine's own block (for_writing: refused with Q7_ERROR_SHARED_READ_ONLY for a
 * filter or set in shared memory). */
Q7_EXPORT int RQ7GetFilterAttr(int table, int filter, void* block);
Q7_EXPORT int Q7GetFilterAttr(int table, int filter, void** block, bool for_writing);
Q7_EXPORT int RQ7SetFilterAttr(int table, int filter, const void* block);
Q7_EXPORT int RQ7GetSubsetAttr(int table, int set, void* block);
Q7_EXPORT int Q7GetSubsetAttr(int table, int set, void** block, bool for_writing);
Q7_EXPORT int RQ7SetSubsetAttr(int table, int set, const void* block);

/* Drops a filter of a real table that no other table refers to (else Q7_ERROR_NOT_EDITABLE).
 * Returns 0. */
Q7_EXPORT int RQ7DeleteRealFilter(int table, int filter);
Q7_EXPORT int Q7DeleteRealFilter(int table, int filter);
/* Moves the filter at display position from to position to (positions count from 0; a to beyond
 * the last position means the last). A from outside the filters: Q7_ERROR_INVALID_KEY_PARAMETER.
 * Returns 0. */
Q7_EXPORT int RQ7MoveRealFilter(int table, int from, int to);
Q7_EXPORT int Q7MoveRealFilter(int table, int from, int to);
/* A copy of the filter (its name made unique), placed right after it; the new filter's ID. */
Q7_EXPORT int RQ7DupRealFilter(int table, int filter);
Q7_EXPORT int Q7DupRealFilter(int table, int filter);
/* A copy converted to type (a Q7ValueType; a DECIMAL copy gets scale 6 and Q7_ROUND_HALF_UP). */
Q7_EXPORT int RQ7DupRealFilterEx(int table, int filter, int type);
Q7_EXPORT int Q7DupRealFilterEx(int table, int filter, int type);
/* A DECIMAL copy of the given scale (0..38) and rounding mode (0..6); another scale or mode returns
 * Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7DupRealFilterExNumeric(int table, int filter, int scale, int rounding_mode);

/* Adds a filter of type (2..7) at display position `position` (1024 appends), NULL in every row;
 * rows must be at least the table's row count (else Q7_ERROR_INVALID_UNIT_WIDTH). A null or empty
 * name gets a generated one; a name of 256 bytes or more returns Q7_ERROR_ILLEGAL_FILTER_NAME.
 * DECIMAL returns Q7_ERROR_INVALID_DATA_TYPE (use RQ7AddRealFilter2Numeric); a table in shared
 * memory Q7_ERROR_SHARED_READ_ONLY. dir and file name a source file: a null or empty file name, or
 * a file that exists and is empty, adds the filter of NULLs; dir + "/" + file of 512 bytes or more
 * returns Q7_ERROR_ILLEGAL_FILE_NAME. Otherwise the file holds one value per line (a CR before the
 * line feed is dropped, one pair of enclosing double quotes is removed, an empty line is NULL; a
 * text of 4096 bytes or more fails with Q7_ERROR_DATA_OVERFLOW), read into records 1 to rows (-1:
 * one per line; the row count is not checked against the table's here): records without a line
 * are NULL, lines past the table's records are not kept, a DATETIME whose date or time part is none
 * ("2024/02/30 12:00", "2024/01/31 25:00") is NULL (a time alone has no date part: see the date and
 * time texts of the text import); a file that shrinks while it is read returns
 * Q7_ERROR_FILE_OPERATION_FAILED. A missing file returns
 * Q7_ERROR_ILLEGAL_FILE_NAME ("FILE  [...] MISSING " in the catalog message log of the working
 * directory) and adds nothing. Returns the new filter's ID. The Q7 form takes rows raw
 * values of unit bytes each instead of a file (null: a filter of NULLs), value i for record i + 1.
 * unit must be the type's own width, else Q7_ERROR_INVALID_UNIT_WIDTH: 4 for INTEGER (int32_t), 8
 * for DOUBLE, DATE, TIME and DATETIME (double), and for STRING sizeof(const char*) = 8: values is
 * an array of rows pointers to zero-ended texts, which the engine copies (a null pointer or an
 * empty text is NULL). */
Q7_EXPORT int RQ7AddRealFilter2(int table, int position, const char* name, int type, int rows, int unit,
                                const char* dir, const char* file);
Q7_EXPORT int Q7AddRealFilter2(int table, int position, const char* name, int type, int rows, int unit,
                               const void* values);
/* As RQ7AddRealFilter2 for a DECIMAL filter of the given scale (0..38) and rounding mode (0..6;
 * others: Q7_ERROR_INVALID_PARAMETER before anything is added); a source file's values are read at
 * that scale and mode into the table's records. A failure after the filter was added (a missing
 * source file among them) deletes it again. */
Q7_EXPORT int RQ7AddRealFilter2Numeric(int table, int position, const char* name, int rows, int scale,
                                       int rounding_mode, const char* dir, const char* file);

/* Gives a DECIMAL filter of a real table a new scale (0..38) and rounding mode (0..6): every value
 * is rescaled and rounded. A value that does not fit the new scale fails the whole change
 * (Q7_ERROR_OUT_OF_RANGE) and leaves the filter as it was. A filter of another type gives
 * Q7_ERROR_ILLEGAL_FILTER. check_shared: refuse a filter in shared memory
 * (Q7_ERROR_SHARED_READ_ONLY). Returns 0. */
Q7_EXPORT int RQ7SetNumericInfo(int table, int filter, const NumericInfo* info, bool check_shared);
/* The DECIMAL filter's scale and rounding mode into *info, and, when mode_name is not null, the
 * mode's name zero-padded to 15 bytes ("ROUNDUP" ... "ROUNDHALFEVEN"). Returns 0. */
Q7_EXPORT int RQ7GetNumericInfo(int table, int filter, NumericInfo* info, char* mode_name, bool check_shared);

/* ---- Finds, row edits and data access ---- */

/*
 * Finds: a real table keeps at most one open find, which marks the records whose value in one
 * filter meets a condition; the host then steps through the marked rows of any set. Opening a new
 * find replaces the old one; each open and close advances the table's find number, so a stale
 * number is refused (Q7_ERROR_INVALID_FIND_ID). Kinds: 0 x == from, 1 from <= x <= to, 2 x <= from,
 * 3 x >= from, 4 x != from, 5 from < x < to, 6 x < from, 7 x > from; STRING also 8 starts with,
 * 9 contains, 10 ends with from. NULL is the smallest value of its type. Each open returns the new
 * find number.
 */
/* The 1-based position of the first row of the set that holds record rec_no, 0 when none. */
Q7_EXPORT int RQ7FindRecNoReal(int table, int set, int rec_no);
Q7_EXPORT int Q7FindRecNoReal(int table, int set, int rec_no);
/* A find on a STRING filter; from and to are at most 4096 bytes (longer:
 * Q7_ERROR_STRING_SIZE_OVERFLOW); a null from, or a null to for kinds 1 and 5, returns
 * Q7_ERROR_INVALID_PARAMETER without opening a find. The SJIS form requires the database character code
 * Shift_JIS, the Locale form the code of the locale ID (0..6 as RQ7SetKanjiCode; 99 accepts any); otherwise
 * they return Q7_ERROR_CHAR_CODE_MISMATCH without opening a find. */
Q7_EXPORT int RQ7OpenStrFindReal(int table, int filter, int kind, const char* from, const char* to);
Q7_EXPORT int Q7OpenStrFindReal(int table, int filter, int kind, const char* from, const char* to);
Q7_EXPORT int RQ7OpenStrFindRealSJIS(int table, int filter, int kind, const char* from, const char* to);
Q7_EXPORT int RQ7OpenStrFindRealLocale(int table, int filter, int kind, const char* from, const char* to,
                                       int locale);
/* Finds on an INTEGER filter, a DOUBLE, DATE, TIME or DATETIME filter, and a DECIMAL filter (bounds
 * as counts of units at the filter's scale). */
Q7_EXPORT int RQ7OpenIntFindReal(int table, int filter, int kind, int from, int to);
Q7_EXPORT int Q7OpenIntFindReal(int table, int filter, int kind, int from, int to);
Q7_EXPORT int RQ7OpenFloatFindReal(int table, int filter, int kind, double from, double to);
Q7_EXPORT int Q7OpenFloatFindReal(int table, int filter, int kind, double from, double to);
Q7_EXPORT int RQ7OpenNumericFindReal(int table, int filter, int kind, Numeric from, Numeric to);
/* 0 when no find is open (outputs untouched); else the find number, with the number of marked
 * records in *hits and the find's filter in *filter (null outputs skipped). */
Q7_EXPORT int RQ7GetFindStatus(int table, int* hits, int* filter);
Q7_EXPORT int Q7GetFindStatus(int table, int* hits, int* filter);
/* The nearest marked row of the set after position from (dir 0) or before it (any other dir),
 * from in 0 .. set size + 1: returns 1 with its 1-based position in *pos, or 0 when there is none.
 * *filter receives the find's filter. No open find: Q7_ERROR_FIND_NOT_OPEN. */
Q7_EXPORT int RQ7GetNextHitReal(int table, int find, int set, int from, int dir, int* filter, int* pos);
Q7_EXPORT int Q7GetNextHitReal(int table, int find, int set, int from, int dir, int* filter, int* pos);
/* Ends the table's find. Returns 0. */
Q7_EXPORT int RQ7CloseFindReal(int table);
Q7_EXPORT int Q7CloseFindReal(int table);

/*
 * Row edits of a real table that no other table refers to (else Q7_ERROR_NOT_EDITABLE; a join
 * table Q7_ERROR_NOT_REAL_TABLE; a table in shared memory Q7_ERROR_SHARED_READ_ONLY). They return
 * the number of rows changed; a refused edit changes nothing.
 */
/* Deletes the records at set positions from .. from + count - 1 (1-based; a negative set: the
 * current set), or records from .. from + count - 1 of the table. */
Q7_EXPORT int RQ7DeleteRealRowsEx(int table, int set, int from, int count);
Q7_EXPORT int Q7DeleteRealRowsEx(int table, int set, int from, int count);
Q7_EXPORT int RQ7DeleteRealRows(int table, int from, int count);
Q7_EXPORT int Q7DeleteRealRows(int table, int from, int count);
/* Inserts count NULL records as records position .. position + count - 1 (0 counts as 1; beyond
 * the end appends). */
Q7_EXPORT int RQ7InsertRealRows(int table, int position, int count);
Q7_EXPORT int Q7InsertRealRows(int table, int position, int count);
/* Writes count values to the records at set positions from .. (1-based). values holds one element
 * per row of the filter's raw width: int32, double (DOUBLE, DATE, TIME, DATETIME), Numeric at the
 * filter's scale, or a text pointer (null reads as the empty text, the STRING NULL). The Fill form
 * writes the one value at *value to every row. RQ7OverwriteRealExStr runs on the calling thread
 * only. */
Q7_EXPORT int RQ7FillRealEx(int table, int set, int filter, int from, int count, void* value);
Q7_EXPORT int RQ7OverwriteRealEx(int table, int set, int filter, int from, int count, void* values);
Q7_EXPORT int Q7OverwriteRealEx(int table, int set, int filter, int from, int count, void* values);
Q7_EXPORT int RQ7OverwriteRealExStr(int table, int set, int filter, int from, int count, void* values);

/*
 * Calculations: a formula's value for the rows at set positions from .. from + count - 1 (1-based; a
 * negative set: the current set). Two formula languages are tried in turn. First the four
 * operations "+ - * /" with brackets over INTEGER, DOUBLE and DECIMAL filters ("@" and the filter
 * name) and constants, as in "@price*@qty+@tax"; a row that meets NULL or a division by zero gets
 * NULL. A formula that language refuses is then read as nested function calls, as in
 * "+(@price,1)" or "$UPPER($@city)" (numbers, strings, comparisons, IF, NVL and conversions).
 * Both languages read a constant as C's strtod does ("1e3" is 1000, "0x10" 16), except in decimal
 * mode, a formula that names a DECIMAL filter or STRTONUMERIC: there a constant is a plain decimal
 * number and "0x10" is refused ("NOT A NUMBER: 0x10"). Returns 0. When both languages refuse the
 * formula, RQ7CalcReal and Q7CalcReal alike return the second language's code with the first
 * language's reason, which may name another fault (over a DECIMAL filter n, "@n+0x10" returns
 * Q7_ERROR_NO_SUCH_FILTER with "NOT A NUMBER: 0x10"). Q7_ERROR_OUT_OF_MEMORY and Q7_ERROR_UNKNOWN
 * from the first language are returned at once.
 */
/* Writes the values into filter (INTEGER, DOUBLE or DECIMAL; the function-call language also
 * STRING). The table must be real (else Q7_ERROR_NOT_REAL_TABLE), not in shared memory
 * (Q7_ERROR_SHARED_READ_ONLY) and referred to by no other table (Q7_ERROR_NOT_EDITABLE). message
 * (512 bytes, or null) receives the reason the first language gave, such as
 * "NO SUCH FILTER: pirce", and is emptied when the second language accepted the formula.
 * Q7CalcReal evaluates on the calling thread and hands out a pointer instead: *message points to
 * the engine's text (valid until the next calculation), or is null when the second language
 * accepted the formula. */
Q7_EXPORT int RQ7CalcReal(int table, int set, int filter, int from, int count, const char* formula,
                          char* message);
Q7_EXPORT int Q7CalcReal(int table, int set, int filter, int from, int count, const char* formula,
                         char** message);
/* Writes the values into data instead, count elements of type: int32 (Q7_TYPE_INTEGER), double
 * (Q7_TYPE_DOUBLE), Numeric at scale 6 with Q7_ROUND_HALF_UP (Q7_TYPE_DECIMAL), or for
 * Q7_TYPE_STRING (function-call language only) text addresses into area, which holds size bytes
 * (texts that do not fit: Q7_ERROR_CALC_OUTPUT_OVERFLOW; a null area holds none). The table is only
 * read, so a table in shared memory is accepted. message as for RQ7CalcReal. */
Q7_EXPORT int RQ7CalcPtr(int table, int set, int from, int count, const char* formula, int type, void* data,
                         unsigned long size, char* area, char* message);

/*
 * Reading values. The value at a set position goes to *value in the filter's form, its Q7ValueType
 * to *type: 4 bytes, 8 bytes, a text and its zero (value must hold 4096 bytes; texts are at most
 * 4095), or for DECIMAL 24 bytes (its NumericInfo, then the Numeric). The result is the value's byte
 * count (a text's length). Filter 0 reads the record number. A position outside the set returns
 * Q7_ERROR_NO_SUCH_SET. RQ7GetData counts positions from 0, the others from 1.
 */
Q7_EXPORT int RQ7GetData(int table, int filter, int set, int pos, int* type, void* value);
Q7_EXPORT int Q7GetData(int table, int filter, int set, int pos, int* type, void* value);
Q7_EXPORT int RQ7GetData1(int table, int filter, int set, int row, int* type, void* value);
/* raw non-zero: a DECIMAL value is the 16-byte Numeric alone. */
Q7_EXPORT int Q7GetData1(int table, int filter, int set, int row, int* type, void* value, int raw);
Q7_EXPORT int RQ7GetData1Str(int table, int filter, int set, int row, int* type, void* value);
/* As RQ7GetData1 with texts up to 1048575 bytes: value must hold 1048576 bytes. */
Q7_EXPORT int RQ7GetData1Ex(int table, int filter, int set, int row, int* type, void* value);
/* The address of the value inside the engine into *address (valid until the next call that changes
 * the table): returns 4, 8 or the text's length. DECIMAL filters: Q7_ERROR_NO_SUCH_SET. */
Q7_EXPORT int RQ7GetData1ExPtr(int table, int filter, int set, int row, int* type, long* address);

/*
 * Block reads of consecutive set positions from first_row (1-based). Each returns the result of
 * the first row's read (or its failure code); the set's end ends the block, as do a failing read
 * after the first and a value that does not fit, and a block that succeeds leaves nothing in the
 * error ring. *count receives the number of rows stored, *type the value type.
 * Element i of the value buffer is an int32 (INTEGER; STRING: the offset of the text, stored with
 * its zero, in the text area) or a double (DOUBLE, DATE, TIME, DATETIME); a DECIMAL block holds
 * the NumericInfo and the first Numeric (24 bytes), then one Numeric per further row.
 */
/* At most 128 rows into values (1024 bytes: 63 decimals) and texts (4096 bytes); both are
 * cleared first. */
Q7_EXPORT int RQ7GetData1M(int table, int filter, int set, int first_row, int* type, int* count, void* values,
                           char* texts);
/* Up to rows rows (rows < 1: Q7_ERROR_UNKNOWN): values must hold rows elements (DECIMAL: 8 + 16 *
 * rows bytes); texts (text_size bytes, cleared first) take the texts that fit. A negative
 * text_size returns Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7GetData1MEx(int table, int filter, int set, int first_row, int rows, int text_size,
                             int* type, int* count, void* values, char* texts);
/* Up to rows engine addresses as RQ7GetData1ExPtr gives them (rows < 1: Q7_ERROR_UNKNOWN). */
Q7_EXPORT int RQ7GetData1MExPtr(int table, int filter, int set, int first_row, int rows, int* type,
                                int* count, long* addresses);

/* The record number at a set position (0-based; 1-based for the forms with 1) into *rec_no;
 * returns 4. */
Q7_EXPORT int RQ7GetRowNo(int table, int set, int pos, int* rec_no);
Q7_EXPORT int Q7GetRowNo(int table, int set, int pos, int* rec_no);
Q7_EXPORT int RQ7GetRowNo1(int table, int set, int row, int* rec_no);
Q7_EXPORT int Q7GetRowNo1(int table, int set, int row, int* rec_no);
/* Up to 128 record numbers from position first_row into records (128 ints) as a block read above;
 * other (128 ints, may be null) receives 0 for each row. */
Q7_EXPORT int RQ7GetRowNo1M(int table, int set, int first_row, int* count, int* records, int* other);
/* The value numbers (0 is NULL) of the filter at set positions first_row .. (1-based) into vnos, at
 * most n and up to the set's last row; returns how many were written (0 when first_row lies beyond
 * the set). A negative n returns Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7GetVNoList(int table, int filter, int set, int first_row, int n, int* vnos);

/* ---- Search, sort, names and settings ---- */

/*
 * Searches and sorts register a new set in the table, make it the current set and return its ID;
 * a negative source set means the current set. A failed search or sort registers nothing.
 * Search codes (op) of RQ7SearchByField: 0 x == from, 1 from <= x <= to, 2 x <= from, 3 x >= from,
 * 4 x != from, 5 from < x < to, 6 x < from, 7 x > from, 8 starts with, 9 contains, 10 ends with
 * (8 to 10 on STRING only), 11 x is NULL (not on STRING); a code a filter does not take, or above
 * 11, gives Q7_ERROR_INVALID_OPERATION. NULL rows of the other types are kept only by 11 and by 0,
 * 1 and 3 with a NULL from (3 then keeps every row); 0x80 added makes a NULL bound (from for 0 to
 * 7, to for 1 and 5) give an empty set, and changes nothing else. A STRING filter's NULL is the
 * empty text, ordered first like any text; 2 with an empty from keeps no row, and 0x80 added
 * changes only that (0x82 keeps the empty-text rows). from and to point at one value of the
 * filter's raw form (int32; double for DOUBLE, DATE, TIME and DATETIME; Numeric at the filter's
 * scale; for STRING the zero-ended text itself); a bound the code reads must not be null
 * (Q7_ERROR_INVALID_PARAMETER).
 */
/* By 1-based position p in the set: the codes 0 to 7 above with p for x. */
Q7_EXPORT int RQ7SearchByDispRowNoReal(int table, int set, int op, int from, int to);
Q7_EXPORT int Q7SearchByDispRowNoReal(int table, int set, int op, int from, int to);
/* By record number r: the codes 0 to 7 above with r for x (0: the first row holding from). The
 * second argument is not read. */
Q7_EXPORT int RQ7SearchByRowNo(int table, int unused, int set, int op, int from, int to);
Q7_EXPORT int Q7SearchByRowNo(int table, int unused, int set, int op, int from, int to);
/* By value. RQ7SearchByFieldStr is the same. The bounds are the bytes of the filter's raw form,
 * whatever their declared type: for an INTEGER filter from points at an int; the text "4" is read
 * as the bytes of an int and silently finds nothing. The typed forms RQ7SearchByFieldIntR1,
 * RQ7SearchByFieldDblR1, RQ7SearchByFieldNumericR1 and RQ7SearchByFieldStrR1 take the bounds by
 * value and refuse a filter of another type:
 *   int set_id = RQ7SearchByFieldIntR1(table, filter, Q7_SET_CURRENT, Q7_SEARCH_EQUAL, 4, 0); */
Q7_EXPORT int RQ7SearchByField(int table, int filter, int set, int op, const char* from, const char* to);
Q7_EXPORT int Q7SearchByField(int table, int filter, int set, int op, const char* from, const char* to);
Q7_EXPORT int RQ7SearchByFieldStr(int table, int filter, int set, int op, const char* from, const char* to);
/* RQ7SearchByField for texts in Shift_JIS: the database character code must be Shift_JIS; for
 * texts in the code of a locale ID (0..6 as RQ7SetKanjiCode; 99 accepts any): the database's code
 * must be the locale's. Otherwise Q7_ERROR_CHAR_CODE_MISMATCH, one ring entry, and no search. */
Q7_EXPORT int RQ7SearchByFieldSJIS(int table, int filter, int set, int op, const char* from, const char* to);
Q7_EXPORT int RQ7SearchByFieldLocale(int table, int filter, int set, int op, const char* from, const char* to,
                                     int locale);
/* As RQ7SearchByField, but a STRING filter is compared by the text of each value from its second
 * byte, with codes 0 to 10 only (no 0x80); null bounds read as empty texts. Equal and the ranges
 * are found by binary search, so they are exact where ordering the values by whole text also
 * orders them from the second byte (as when all begin with the same byte). NULL rows are kept
 * only by 1 and 3 with an empty from, and not even then when that search stops on a value one
 * byte long (empty from its second byte too; in such a column, whenever there is one). A row is
 * kept or not whatever the size of the set. */
Q7_EXPORT int RQ7SearchByField2(int table, int filter, int set, int op, const char* from, const char* to);
Q7_EXPORT int Q7SearchByField2(int table, int filter, int set, int op, const char* from, const char* to);
/* The rows whose whole text matches the wildcard pattern. */
Q7_EXPORT int RQ7SearchByFieldWildCard(int table, int filter, int set, const char* pattern);
Q7_EXPORT int Q7SearchByFieldWildCard(int table, int filter, int set, const char* pattern);
/* The rows holding any of count values (an array of the filter's raw form; text pointers for
 * STRING). */
Q7_EXPORT int RQ7SearchByFieldNValues(int table, int filter, int set, int count, const void* values);
/* As RQ7SearchByFieldNValues for the values of the CSV file directory/file (commas and line ends
 * separate values; a value may be quoted), read as the filter's type as the checked import reads a
 * cell: an empty value is the NULL, and a value that does not read as the type (blanks alone, "12x"
 * for an INTEGER, "2024/02/30" for a DATE, "25:00" for a TIME) returns Q7_ERROR_INVALID_DATA. Under
 * the database code UTF-8 a byte-order mark at the start of the file is no part of the first value.
 * DECIMAL filters return Q7_ERROR_ILLEGAL_FILTER_TYPE; a directory or file name of 512 bytes or
 * more, an empty file name, a directory that cannot be entered or a missing file
 * Q7_ERROR_ILLEGAL_FILE_NAME. On every failure no search runs. An empty file searches for no
 * value. */
Q7_EXPORT int RQ7SearchByFieldNValuesFromCSV(int table, int filter, int set, const char* directory,
                                             const char* file);
/* By a condition written as text, for example "price >= 100 AND name LEFT MATCH 'AB'": comparisons
 * (=, <>, !=, <, <=, >, >=, [NOT] BETWEEN x AND y, [NOT] WITHIN x AND y, [NOT] LEFT / MIDDLE /
 * RIGHT MATCH 'text', IS [NOT] NULL) of a column (name or "quoted name", optionally table.column)
 * with a number or a 'quoted' text (dates and times as texts), joined by AND, OR, NOT and brackets;
 * OR binds tighter than AND. Comparisons exclude NULL rows, except on a STRING column, whose NULL
 * is the empty text and compares as one ("s = ''" and "s < 'b'" keep it; "s IS NULL" is refused
 * with Q7_ERROR_INVALID_OPERATION). Returns the new current set's ID. The
 * text must end within 4096 bytes (at most 4095 characters), else Q7_ERROR_TEXT_SIZE_OVERFLOW;
 * Q7_ERROR_QUERY_SYNTAX for a text outside the language; Q7_ERROR_NO_SUCH_FILTER,
 * Q7_ERROR_QUERY_OPERAND and Q7_ERROR_QUERY_VALUE_TYPE for a condition that does not fit the table.
 * The SJIS form requires the database character code Shift_JIS, the Locale form the code of the
 * locale ID (0..6 as RQ7SetKanjiCode; 99 accepts any); otherwise Q7_ERROR_CHAR_CODE_MISMATCH, one
 * ring entry, and no search. */
Q7_EXPORT int RQ7SearchByText(int table, int set, const char* text);
Q7_EXPORT int RQ7SearchByTextSJIS(int table, int set, const char* text);
Q7_EXPORT int RQ7SearchByTextLocale(int table, int set, const char* text, int locale);
/* The rows whose value number v has flags[v] != 0 (one byte per value-list entry, entry 0 the
 * NULL), in the set's order. */
Q7_EXPORT int Q7Search(int table, int filter, int set, const unsigned char* flags);
/* counts[v] = the rows of the set holding value number v, for every entry of the filter's value
 * list (counts must hold that many ints); returns the number of entries. */
Q7_EXPORT int Q7GetValCount(int table, int filter, int set, int* counts);
/* Orders positions 0 .. n-1 by values[position] (counts, 0 or more), largest first, ties in
 * position order, into order (n ints); the positions with a non-zero value into non_zero_index (n
 * ints) and their number into *non_zero_count. Returns 0. */
Q7_EXPORT int Q7ServiceSortByN(int n, const int* values, int* non_zero_count, int* non_zero_index,
                               int* order);

/* High-speed search: a sorted view of a set by a filter, which value searches of that set use.
 * SetMark gives the set such a view (mark true) or removes it; HasMark answers 1 or 0. Enable turns
 * high-speed search on or off for one filter (-1: every filter): while on, its views are kept built
 * and changes to the column are refused (Q7_ERROR_HIGH_SPEED_FILTER); IsEnabled answers 1 or 0.
 * They return 0 unless they answer. */
Q7_EXPORT int RQ7HighSpeedSearchSetMark(int table, int set, int filter, bool mark);
Q7_EXPORT int RQ7HighSpeedSearchHasMark(int table, int set, int filter);
Q7_EXPORT int RQ7HighSpeedSearchEnable(int table, int filter, bool on);
Q7_EXPORT int RQ7HighSpeedSearchIsEnabled(int table, int filter);

/* Sorts: dir 0 ascending, 1 descending (other: Q7_ERROR_INVALID_PARAMETER). RQ7SortByRowNo orders
 * by record number; its second argument is not read. */
Q7_EXPORT int RQ7SortByField(int table, int filter, int set, int dir);
Q7_EXPORT int Q7SortByField(int table, int filter, int set, int dir);
Q7_EXPORT int RQ7SortByRowNo(int table, int unused, int set, int dir);
Q7_EXPORT int Q7SortByRowNo(int table, int unused, int set, int dir);
/* By several filters of a real table: filters lists them up to the first entry below 1, the last
 * listed being the first key; dirs gives each one's direction. */
Q7_EXPORT int RQ7IntegratedSortByField(int table, int set, const int* filters, const int* dirs);

/* Names are at most 255 bytes; name buffers must hold 256. A longer filter or set name returns
 * Q7_ERROR_ILLEGAL_FILTER_NAME. */
/* The ID of the first table, respectively filter, of that name. RQ7GetFilterIDFromName on a join
 * table looks among the join's own column names (RQ7GetFilterName) and gives the join column ID;
 * RQ7GetFilterIDFromName2 on a join table: side 0 looks among the master's filters, another side
 * among the slave's, by their own names, and gives the source filter's ID. Q7GetFilterIDFromName
 * on a join table looks among the slave's filters and gives that slave filter's ID, which as a
 * join column ID names another column (joining master "id", "x" with slave "id", "y": "y" gives 2,
 * the master's "x"; "x" is not found): hosts use RQ7GetFilterIDFromName on joins. */
Q7_EXPORT int RQ7GetTableIDFromName(const char* name);
Q7_EXPORT int Q7GetTableIDFromName(const char* name);
Q7_EXPORT int RQ7GetFilterIDFromName(int table, const char* name);
Q7_EXPORT int Q7GetFilterIDFromName(int table, const char* name);
Q7_EXPORT int RQ7GetFilterIDFromName2(int table, int side, const char* name);
/* Renames a filter of a real table (a name another filter carries gets "_#n"); names a set.
 * Return 0. */
Q7_EXPORT int RQ7SetFilterName(int table, int filter, const char* name);
Q7_EXPORT int Q7SetFilterName(int table, int filter, const char* name);
Q7_EXPORT int RQ7SetSetName(int table, int set, const char* name);
Q7_EXPORT int Q7SetSetName(int table, int set, const char* name);
/* The filter's or the set's name into name (256 bytes). A join column has the join's own name:
 * its source filter's name, made unique within the join when the master already has a column of
 * that name ("id" on both sides: "id" for the master's, "id_#1" for the slave's). Every name the
 * engine reports for a join column (these functions, RQ7GetFilterInfo, RQ7GetAllFilterInfo,
 * RQ7GetFilterNameR1, catalog files) finds that column through RQ7GetFilterIDFromName, also after
 * the database is saved and loaded. Return 0. */
Q7_EXPORT int RQ7GetFilterName(int table, int filter, char* name);
Q7_EXPORT int Q7GetFilterName(int table, int filter, char* name);
Q7_EXPORT int RQ7GetSetName(int table, int set, char* name);
Q7_EXPORT int Q7GetSetName(int table, int set, char* name);

/* Bytes held by the whole database, a table, a filter or a set (64-bit; a failure is the negative
 * code). */
Q7_EXPORT int64_t RQ7GetTotalMemorySize(void);
Q7_EXPORT int64_t Q7GetTotalMemorySize(void);
/* The same plus the size of the shared-memory database image this process opened or created. */
Q7_EXPORT int64_t RQ7GetTotalMemorySizeWithShared(void);
Q7_EXPORT int64_t RQ7GetTableMemorySize(int table);
Q7_EXPORT int64_t Q7GetTableMemorySize(int table);
Q7_EXPORT int64_t RQ7GetFilterMemorySize(int table, int filter);
Q7_EXPORT int64_t Q7GetFilterMemorySize(int table, int filter);
Q7_EXPORT int64_t RQ7GetSetMemorySize(int table, int set);
Q7_EXPORT int64_t Q7GetSetMemorySize(int table, int set);

/* The saved flags: loading or saving the database sets them; every call that changes a table, a
 * filter or a value, or adds or deletes a table, clears the tables flag, every call that changes a
 * set (searches and sorts included) the sets flag, and changing a table's current set the third.
 * Emptying the whole database (RQ7ClearDB, Q7ClearDB, RQ7ReInitializeMS) leaves all three as they
 * were. What a save writes counts: a table added by an import (RQ7AddCatalogFileChecker too), loaded
 * or attached, the copy of a small set's rows that RQ7SummaryOpen adds and its close deletes, a
 * database loaded from a memory or shared image (it lies in no file of its own), the database
 * character code when it changes (every file begins with it, an empty database's too), high-speed
 * search turned on or off (tables flag) and a set's high-speed mark (sets flag), the next set ID,
 * and an attribute block handed out for writing (Q7GetFilterAttr, Q7GetSubsetAttr). SetSavedFlag sets
 * all three to flag != 0 and returns 1. GetSavedFlag: which 0 gives 1 when all three are set, 1 the
 * tables-and-filters flag, 2 the sets flag, another which 0. */
Q7_EXPORT int RQ7SetSavedFlag(int flag);
Q7_EXPORT int Q7SetSavedFlag(int flag);
Q7_EXPORT int RQ7GetSavedFlag(int which);
Q7_EXPORT int Q7GetSavedFlag(int which);

/* flag non-zero: STRING values written from now on lose their trailing blanks. Returns 0. */
Q7_EXPORT int RQ7SetTailSpaceFlag(int flag);
Q7_EXPORT int Q7SetTailSpaceFlag(int flag);

/* ---- Text import ---- */

/*
 * A catalog file describes a source text file: its format ("//CSV", "//TAB", "//FIX" or "//USR"
 * with up to five separators), options ("//CUTTOP", "//ERROR" STOP / CONTINUE / SKIPLINE / NONE,
 * "//ERRORLOG" name), its character code, and one tab-separated line per field: type letter (A
 * string, I integer, F double, D date, T time, E datetime, N decimal; only the word's first letter
 * is read, so "DOUBLE" is a date and "TEXT" a time), width, name, type parameters, or SKIP. Bad
 * catalog lines and bad source lines are reported in the catalog message log,
 * "catalog_err_log.txt" in the catalog's directory unless the catalog names another; a failed
 * import that reported nothing there writes one failure line to it. The checks of the names below
 * leave entries in the error ring (Q7_ERROR_ILLEGAL_FILE_NAME for a path or file name of 512 bytes
 * or more, an empty file name or a directory that cannot be entered); so does the single-thread
 * append (a row count as mode): a value that does not convert leaves ("Str2Data",
 * Q7_ERROR_INVALID_DATA, "Illegal string data") unless the catalog says //ERROR NONE, and a line
 * that ends the append leaves a "validateRet" entry with its code. A failed import also leaves
 * its code and the first line it logged (for a bad value: the row, column and text); when the log
 * cannot be written in the catalog's directory, the import fails with Q7_ERROR_ILLEGAL_FILE_NAME
 * and an entry saying so comes first. A value that does not convert is stored as the type's NULL
 * on every road, unless the catalog says //ERROR NONE (below); a DOUBLE cell "INF" (as the text
 * export writes plus infinity) is plus infinity. In a UTF-8 source (the catalog's code, or the
 * database's) a byte-order mark at the very start of the file is no data, here, in the checked
 * import and in the single-column files of RQ7AddRealFilter2. The call runs in the catalog's
 * directory and restores the working directory on every path.
 */

/*
 * //ERROR decides, alike for imports and appends, what a record does whose value does not convert
 * (a bad value) or whose field count is not the catalog's:
 *              a bad value                     too few or too many fields
 *   STOP       fails: Q7_ERROR_INVALID_DATA    fails: Q7_CATALOG_PARSE_ERROR
 *   CONTINUE   kept, the value NULL            fails: Q7_CATALOG_PARSE_ERROR
 *   SKIPLINE   kept, the value NULL            skipped
 *   NONE       kept, the converter's reading   fails: Q7_CATALOG_PARSE_ERROR
 * ("fails": the whole call fails with that code.)
 * STOP is the default. NONE checks nothing and logs no record: an INTEGER or DOUBLE keeps its
 * leading number ("12x" is 12, "abc" 0), a DATE or TIME keeps its leading date or time ("abc" is
 * NULL, and so are a 30 February and a 25th hour), a DATETIME counts a date part that is none as
 * day 0 ("2024/02/30 12:00" is 1899/12/30 12:00, "abc" 1899/12/30) but is NULL when its time part
 * is none ("2024/01/31 25:00"), a DECIMAL that is not wholly a number is NULL. The
 * other modes log each bad record (its row, and for a bad value its column and text), and under
 * them an invalid date or time (a 30 February, a 25th hour) is NULL, as any bad value.
 *
 * Date and time texts: without a code in the field line a date is read in the DATEFORMAT order
 * (by default "2024/03/05" or "2024-3-5") and a time as "h:m", "h:m:s" or "h:m:s.f". A date
 * field's code (a datetime's first parameter) names one form, all of 5 March 2024 here: D1
 * "2024/03/05", D2 "2024-03-05", D3 "03/05/2024", D4 "03.05.2024", D5 "05/03/2024", D6 "05.03.2024",
 * D7 "03/05/24", D8 "03.05.24", D9 "05/03/24", D10 "05.03.24" (two-digit years 00-68 are 2000-2068,
 * 69-99 1969-1999), D11 "03/05", D12 "03.05", D13 "05/03", D14 "05.03" (the year the library was
 * loaded in). A time field's code (a datetime's second parameter): T1 "13:45:10", T2 "13:45", T3
 * "24:30:00" and T4 "24:30", which read the hour as given one lower (1 to 24: both are 23:30).
 * A DATETIME text that is a time alone ("12:00:00", in the field's time form) has no date part,
 * rather than one that is none: where values are read unchecked (//ERROR NONE, the single-column
 * files of RQ7AddRealFilter2 and RQ7AppendRealFilter2, RQ7Str2DateTimeR1) it is that time on day 0,
 * 1899/12/30 12:00:00; every other road takes it for a value that does not convert (the other error
 * modes, the checked import, the values of RQ7SearchByFieldNValuesFromCSV, a constant of a text
 * query).
 *
 * The catalog message log: every import and append first removes "catalog_err_log.txt" from the
 * catalog's directory (and the file //ERRORLOG names, which then takes its place), so the log
 * holds the last import's lines only: a successful import that reported no record leaves none.
 * A failed import leaves its code and the log's first line in the error ring, as above, so a
 * host that cannot read the log still learns why.
 */

/* Imports "SrcData.dat" in directory, described by the catalog directory/catalog, into a new table
 * named after the catalog's directory; returns its ID. */
Q7_EXPORT int RQ7AddCatalogFile(const char* directory, const char* catalog);
/* The same for the source src_directory/src_file; the new table is named table_name, which must be
 * a valid table name. In CSV, TAB and USR sources a field in double quotes may hold separators,
 * doubled quotes (one quote each) and line breaks (LF or CR LF, kept as written): a record ends at
 * the first line end outside quotes, and reports name the line it starts on. A bad record is
 * skipped, kept or stops the import as a whole. A source that shrinks while it is read fails the
 * import with Q7_ERROR_FILE_OPERATION_FAILED. */
Q7_EXPORT int RQ7AddCatalogFileEx2(const char* directory, const char* catalog, const char* src_directory,
                                   const char* src_file, const char* table_name);
/* The checked import: the catalog directory/catalog describes the source src_directory/src_file,
 * imported on the calling thread into a new table named table_name; returns its ID. The catalog
 * takes "//CSV", "//TAB", "//USR" (up to eight separators in all), "//CUTTOP", a character code and
 * up to 512 field lines (a decimal's scale 0 to 38; without scale and mode, 10 and ROUNDHALFUP);
 * "//FIX" is refused, as is a type word of more than one letter ("DOUBLE"). Source cells may be
 * quoted. A value that cannot be read becomes NULL, surplus cells of a line are dropped and missing
 * ones are NULL; only a malformed catalog or source fails the call (Q7_CATALOG_PARSE_ERROR;
 * Q7_ERROR_ILLEGAL_FILE_NAME for a source that cannot be opened). Texts are read apart from the
 * other imports: a lone CR also ends a record; a blank before a cell's opening quote fails the
 * call; dates are read year/month/day whatever DATEFORMAT says, and the date and time codes are
 * not read (a D5 field reads "05/03/2024" as NULL); a text past 4,095 bytes is kept whole. Every
 * decision and correction is written to two tab-separated correction logs in directory,
 * table_name (made file-safe) followed by "_scheme.txt" for the catalog and "_data.txt" for the
 * source; the error ring is not written. Each log replaces an old one of its name when the call
 * ends, as the saves replace files. With no table in the database, the catalog's
 * character code becomes the database's; otherwise a different code fails the call. */
Q7_EXPORT int RQ7AddCatalogFileChecker(const char* directory, const char* catalog, const char* src_directory,
                                       const char* src_file, const char* table_name);
/* Appends the source to table_id from row append_pos (-1: after the last row; 0 and below -1 give
 * Q7_ERROR_INVALID_PARAMETER), overwriting rows already there and adding rows past the end; the
 * catalog's fields must match the table's filters in count and type. rows -1 imports the whole
 * source on the worker pool; rows 0 or more reads that many rows on the calling thread (missing
 * ones are NULL; other negative values give Q7_ERROR_INVALID_PARAMETER). Returns the rows appended
 * (0 for an empty source). RQ7AppendCatalogFile reads "SrcData.dat" in directory (with rows other
 * than -1: in the catalog's own directory). */
Q7_EXPORT int RQ7AppendCatalogFile(int table_id, int append_pos, int rows, const char* directory,
                                   const char* catalog);
Q7_EXPORT int RQ7AppendCatalogFileEx2(int table_id, int append_pos, int rows, const char* directory,
                                      const char* catalog, const char* src_directory, const char* src_file);
/* Writes rows values (-1: every value) of the single-column file directory/file into filter_id
 * (whose type must be type) from row append_pos (-1: after the last row), adding the rows past
 * the table's end; returns the number written. The file holds one value per line as for
 * RQ7AddRealFilter2 (missing ones NULL; DECIMAL values at the filter's scale and rounding mode),
 * but a STRING filter reads length-prefixed records: a four-byte big-endian length, then that many
 * bytes of text (rows must be 0 or more; a record cut short returns Q7_CATALOG_PARSE_ERROR). A file
 * that fails to read writes nothing. Refused before any reading: an empty file name or a path of
 * 512 bytes or more (Q7_ERROR_ILLEGAL_FILE_NAME), append_pos 0 or below -1
 * (Q7_ERROR_INVALID_PARAMETER), a table that cannot take appended values (its code). */
Q7_EXPORT int RQ7AppendRealFilter2(int table_id, int filter_id, int type, int append_pos, int rows,
                                   const char* directory, const char* file);

/* ---- Text export ---- */

/*
 * Rows of a set (set -1: the current set) as text, one line per row ended by a line feed: the
 * fields of the listed filters (filters up to its first -1; null or starting with -1: every filter
 * in display order), separated by ',' (CSV) or a tab (TAB), no header line. Fields: integers as
 * "%d"; doubles as "%0.*f" with the digit setting of the column plus 3 digits (a magnitude of 1e18 or
 * more as "%0.13E"); dates "yyyy/mm/dd" in the database's date order with date_separator ('/' or
 * '-', else Q7_ERROR_INVALID_PARAMETER) between the parts; times "hh:mm:ss[.mmm]"; datetimes the
 * date, a blank and the time; strings always in double quotes, a quote inside doubled; decimals
 * with the column's scale. NULL is the empty field (a NULL string: ""). row_from .. row_to are
 * 1-based rows of the set (row_from -1: the first row, row_to -1: the last; a row_to beyond the set
 * is cut to it; below -1, row_from above row_to, or row_from 0 with row_to not 0:
 * Q7_ERROR_INVALID_PARAMETER; a row_from beyond the set, or 0 and 0, write an empty file). The file
 * is written in directory (entered for the call; one that cannot be: Q7_ERROR_INVALID_PATH) on all
 * workers at once. A missing table gives Q7_ERROR_NO_SUCH_TABLE, a missing set
 * Q7_ERROR_NO_SUCH_SET, a listed ID that names no filter Q7_ERROR_ILLEGAL_FILTER, a file that cannot
 * be written Q7_ERROR_ILLEGAL_FILE_NAME. A join table writes the joined rows of its set, each
 * field taken from the master or slave record the row stands for. Return 0. The file is written
 * beside its name and renamed over an old file of that name only once whole (a device or a pipe is
 * written in place): a failed or killed export leaves the old file, and what a killed one left
 * beside it goes at the next export of that name.
 *
 * An export format file (format_file, in directory) shapes doubles and decimals per filter: one
 * line "name TAB digits TAB mode" each (mode "ROUNDUP" ... "ROUNDHALFEVEN"; "//" lines are
 * comments). A double filter named there prints with those digits (above 15: 3); a decimal one
 * with those digits, rounded by that mode (by its own mode when the line names none). Without a
 * format file a double keeps the column's digit setting (byte 5 of its attribute block, 0 unless
 * set) plus 3 digits (1.23456789 is written "1.235"), so doubles exported and imported again keep
 * only those digits. -0.0 and 0.0 are one value in a column: both rows hold the one the column
 * keeps ("-0.000" may be written for a row given 0.0).
 */
Q7_EXPORT int RQ7ExportAsCSV(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                             int date_separator, const char* directory, const char* file);
Q7_EXPORT int RQ7ExportAsTAB(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                             int date_separator, const char* directory, const char* file);
Q7_EXPORT int RQ7ExportAsCSVwithF(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                                  int date_separator, const char* directory, const char* file,
                                  const char* format_file);
Q7_EXPORT int RQ7ExportAsTABwithF(int table_id, int set_id, const int* filter_ids, int row_from, int row_to,
                                  int date_separator, const char* directory, const char* file,
                                  const char* format_file);
/* The export above (type 0 CSV, 1 TAB; another type Q7_ERROR_INVALID_PARAMETER) into "SrcData.dat"
 * in directory, or into data_directory/data_file for the Ex forms, after a catalog file
 * directory/catalog that describes the exported filters ("//CSV" or "//TAB", the database's
 * character code, one line per filter with its type letter, "01" and its name, and a decimal's
 * scale and rounding mode), so that RQ7AddCatalogFileEx2 reads the rows back. The withF forms take
 * an export format file (in directory), which also decides the scale the catalog gives a decimal
 * filter named there. A join column is described by the join's own name of it (RQ7GetFilterName).
 * The filter list must not be null here (Q7_ERROR_INVALID_PARAMETER). A list that starts with -1
 * means every filter and is OVERWRITTEN in the caller's array with every filter ID in display order
 * and a closing -1, which the data export then writes: that array must hold the table's filter count
 * + 1 entries. The one-element list {-1} that the other calls accept is too small here. Return 0.
 * The catalog is written whole before the data, each file replacing an old one as the export does:
 * a failed data export leaves the new catalog beside the old data file. */
Q7_EXPORT int RQ7SaveAsCatalog(int table_id, int set_id, int* filter_ids, int type, int row_from, int row_to,
                               int date_separator, const char* directory, const char* catalog);
Q7_EXPORT int RQ7SaveAsCatalogEx(int table_id, int set_id, int* filter_ids, int type, int row_from,
                                 int row_to, int date_separator, const char* directory, const char* catalog,
                                 const char* data_directory, const char* data_file);
Q7_EXPORT int RQ7SaveAsCatalogwithF(int table_id, int set_id, int* filter_ids, int type, int row_from,
                                    int row_to, int date_separator, const char* directory,
                                    const char* catalog, const char* format_file);
Q7_EXPORT int RQ7SaveAsCatalogwithFEx(int table_id, int set_id, int* filter_ids, int type, int row_from,
                                      int row_to, int date_separator, const char* directory,
                                      const char* catalog, const char* format_file,
                                      const char* data_directory, const char* data_file);

/* ---- Memory stream ---- */

/*
 * One byte stream per process, either written into a buffer of the engine or read from the host's
 * bytes. Opening either kind replaces the current stream (a refused open keeps it). Every write
 * first pads the stream with (position & 7) zero bytes, and every read skips the same amount once
 * the stream's 256-byte header recorded an alignment, so that bytes written in one piece are read
 * back in the same pieces. The write buffer stays the engine's: it is valid until the stream is
 * written to again, closed or replaced. A read stream uses the host's bytes in place: they must stay
 * valid until it is closed or replaced; the engine never frees them. With no stream, the calls other
 * than GetStatus and Close give Q7_ERROR_STREAM_NOT_OPEN.
 */
/* A new write stream (1,000,000 bytes to start with, growing as needed). Returns 0. */
Q7_EXPORT int RQ7MemStreamOpenWrite(void);
Q7_EXPORT int Q7MemStreamOpenWrite(void);
/* Appends length bytes (0 to INT32_MAX; data may be null only for 0) and returns length. A stream
 * that cannot grow fails with Q7_ERROR_OUT_OF_MEMORY and is closed (mode 0) until it is opened
 * again; a read stream gives Q7_ERROR_INVALID_MEMSTREAM. */
Q7_EXPORT int RQ7MemStreamWrite(const void* data, long length);
Q7_EXPORT int Q7MemStreamWrite(const void* data, long length);
/* The write stream's used size and its buffer. Returns 0. */
Q7_EXPORT int RQ7MemStreamGetWriteBuf(long* size, void** buffer);
Q7_EXPORT int Q7MemStreamGetWriteBuf(long* size, void** buffer);
/* A read stream over the host's length bytes at data (not null). Returns 0. */
Q7_EXPORT int RQ7MemStreamOpenRead(long length, void* data);
Q7_EXPORT int Q7MemStreamOpenRead(long length, void* data);
/* Copies up to length bytes from the position into out and returns their count (0 at the end; at
 * most INT32_MAX per call). A write stream gives Q7_ERROR_INVALID_MEMSTREAM. */
Q7_EXPORT int RQ7MemStreamRead(void* out, long length);
Q7_EXPORT int Q7MemStreamRead(void* out, long length);
/* The mode (0 none or failed, 1 read, 2 write), used size, position and buffer; null outputs are
 * skipped. Always returns 0. */
Q7_EXPORT int RQ7MemStreamGetStatus(int* mode, long* size, long* position, void** buffer);
Q7_EXPORT int Q7MemStreamGetStatus(int* mode, long* size, long* position, void** buffer);
/* Closes the stream, freeing a write stream's buffer. Returns 0. */
Q7_EXPORT int RQ7MemStreamClose(void);
Q7_EXPORT int Q7MemStreamClose(void);

/* ---- Machine-wide objects: who shares them ---- */

/*
 * The shared database image (the System V segment of key 123456), the shared-table registry (the
 * POSIX shared-memory object "/zpk_SMCS_V10"), its semaphore set (key 1234567) and the table files
 * registered in it follow one policy. They are shared by the processes of the user that made them
 * and by those of the group it made them with (the making process's effective group); other users
 * get no access. Modes are set as stated whatever the umask: the segment 0640 (its maker writes it,
 * the group reads it), the registry and its semaphores 0660. A process refuses an existing object
 * that a user outside that circle may write, or that such a user made or owns: the image's calls
 * with Q7_ERROR_SHARED_MEMORY_MAPPING, the registry's with Q7_ERROR_ACCESS_DENIED, on opening as on
 * removal (such an object is left in place). Hosts of several users that share the objects run with
 * one effective group that only they have: every member of the group can change the registry.
 */

/* ---- Shared-memory database image ---- */

/*
 * A saved database file copied into the machine's one System V shared-memory segment (key 123456),
 * which the processes of its circle (above) then load without reading the file; the loaded tables
 * use the segment's bytes in place and cannot be changed. It stays in the system after the creating
 * process ends, until some process releases it. Segment failures give
 * Q7_ERROR_SHARED_MEMORY_MAPPING. While tables loaded from the segment exist, this process keeps it
 * attached: RQ7UnMapSharedMemory, RQ7ReleaseSharedMemoryArea and a second RQ7LoadDBFromSharedMemory
 * give Q7_ERROR_SHM_BUSY until RQ7UnLoadSharedMemoryDB (or clearing or replacing the database) has
 * removed them.
 */
/* Copies directory/name (".Q7D" added unless given) into a new segment. The file must be a database
 * file of this machine's word size, byte order and alignment (else Q7_ERROR_FILE_VERIFY); a segment
 * that exists already gives Q7_ERROR_SHARED_MEMORY_MAPPING. Returns 0. */
Q7_EXPORT int RQ7CreateSharedMemoryDB(const char* directory, const char* name);
/* Loads the segment's database: its tables are appended (new IDs and unique names) when the database
 * holds tables, else it becomes the database. Returns 0. */
Q7_EXPORT int RQ7LoadDBFromSharedMemory(void);
/* Detaches this process from the segment. Returns 0. */
Q7_EXPORT int RQ7UnMapSharedMemory(void);
/* Deletes the tables loaded from the segment (and those attached from the shared-table registry),
 * then detaches. A table another one depends on stays: its code is returned and the segment stays
 * attached. Returns 0. */
Q7_EXPORT int RQ7UnLoadSharedMemoryDB(void);
/* Removes the segment from the system (only its owner can) and detaches this process; processes
 * still attached keep their view until they detach. Returns 0. */
Q7_EXPORT int RQ7ReleaseSharedMemoryArea(void);
/* 1 when the table lies in a shared-memory image or is attached from the shared-table registry,
 * else 0. */
Q7_EXPORT int RQ7IsSharedMemoryTable(int table);

/* ---- Shared-table registry ---- */

/*
 * A machine-wide registry of saved table files (".Q7T") that the processes of its circle (above)
 * may attach as read-only tables of their databases: the file is mapped, not read, so every
 * attaching process shares the same pages. The registry lives in the POSIX shared-memory object
 * "/zpk_SMCS_V10" and is locked between processes by the System V semaphore set of key 1234567;
 * both stay in the system until RQ7ShmShutdown or RQ7ClearSharedMemory removes them. An attached
 * table is read in place from its file for as long as it is attached: a registered file must stay
 * unchanged (not rewritten, cut or replaced) while any process has it attached, and a file that a
 * user outside the circle may write, or owns, is refused (Q7_ERROR_ACCESS_DENIED). A process that
 * ends without detaching (killed) leaves no lasting attachment: every attachment holds a shared
 * lock (flock) on its file, which the system drops with the process, and the entry's attach count
 * is corrected when the entry is next looked at, so that it can be released. A file that can no
 * longer be opened keeps the attachments counted; RQ7ClearSharedMemory then recovers the registry.
 * A table name is a file name without its ".Q7T" (added when missing). Lock failures pass through:
 * Q7_ERROR_SEM_REMOVED, Q7_ERROR_SEM_INTERRUPTED, Q7_ERROR_SEM_TOO_BIG, Q7_ERROR_ACCESS_DENIED. An
 * attachment belongs to the process that made it, and only that process ends it. A process forked
 * after attaching inherits the tables as part of its copy of the database, not the attachments:
 * whatever it does with them (deletes them, RQ7DetachAll, clears, loads or re-initialises, ends in
 * any way) drops only its own view, answering as for any deletion, and the entries stay attached
 * for the process it was forked from; it may read the inherited tables only while that process
 * keeps them attached.
 */
/* Sets the registry up with room for entries tables (1 to 20000: else Q7_ERROR_INVALID_PARAMETER or
 * Q7_ERROR_SMCS_TOO_MANY_ENTRIES): 0. An existing registry is kept, whatever its room, and its status
 * returned: Q7_ERROR_SMCS_EMPTY or Q7_ERROR_SMCS_IN_USE. */
Q7_EXPORT int RQ7ShmSetup(int entries);
/* Registers directory/name: 0. Registered already: Q7_ERROR_SHMTBL_NOT_ATTACHED or
 * Q7_ERROR_SHMTBL_ATTACHED; no registry: Q7_ERROR_SMCS_NOT_SET_UP; full:
 * Q7_ERROR_SMCS_TOO_MANY_ENTRIES; not a table file of this machine: Q7_ERROR_NOT_REAL_TYPE or
 * Q7_ERROR_ILLEGAL_FILE_NAME; a file that a user outside the circle may write, or owns:
 * Q7_ERROR_ACCESS_DENIED. So the file must not be writable by others, nor by a group this process
 * is not in. The engine's own saves create files of mode 0666 less the umask: saved under umask 0
 * they are writable by everyone and refused here until the host removes that right (chmod o-w). */
Q7_EXPORT int RQ7ShmLoad(const char* directory, const char* name);
/* Registers every table file of directory matching pattern ("*" and "?" wildcards; ".Q7T" added
 * when missing): the number registered, files refused one by one being skipped; or the code that
 * stopped the walk (no directory Q7_ERROR_INVALID_DIRECTORY). The registry answers first, as for
 * RQ7ShmLoad, whether or not any file matches: no registry Q7_ERROR_SMCS_NOT_SET_UP, one the sharing
 * policy refuses Q7_ERROR_ACCESS_DENIED (never taken for a file's refusal). */
Q7_EXPORT int RQ7ShmLoadAll(const char* directory, const char* pattern);
/* Attaches the registered table as a new read-only table of this database: its ID. mode 0 waits
 * while another process attaches the same table, 1 gives Q7_ERROR_SHM_BUSY. A table of the same name
 * in this database: Q7_ERROR_SHMTBL_LOAD_FAILED; not registered: Q7_ERROR_SHMTBL_NOT_REGISTERED; no
 * registry: Q7_ERROR_SMCS_NOT_SET_UP. When the table was released (or another registered in its
 * place) while mode 0 waited, the name is looked up again. Deleting the table (RQ7DeleteTable)
 * detaches it. */
Q7_EXPORT int RQ7ShmAttach(const char* name, int mode);
/* Removes a registration: 0. A table some process has attached: Q7_ERROR_SHMTBL_ATTACHED; one being
 * attached: Q7_ERROR_SEM_BUSY; not registered: Q7_ERROR_SHMTBL_NOT_REGISTERED. */
Q7_EXPORT int RQ7ShmRelease(const char* name);
/* Removes every registration that no process has attached: their number. */
Q7_EXPORT int RQ7ShmReleaseAll(void);
/* Deletes every table of this database attached from the registry: their number; none: 0, or
 * Q7_ERROR_SHM_NOT_SET_UP when the registry's semaphores do not exist, or Q7_ERROR_ACCESS_DENIED
 * when the sharing policy refuses the registry. */
Q7_EXPORT int RQ7DetachAll(void);
/* The registered table names into names, 256 bytes each (zero-ended), and their number into *count:
 * names must hold 256 bytes for every entry the registry was set up with: 0. Without a registry
 * nothing is copied and *count is left alone: no registry and no semaphores either
 * Q7_ERROR_SMCS_INVALID, semaphores left without their registry 0. A lock failure, or a registry
 * refused by the sharing policy (Q7_ERROR_ACCESS_DENIED): its code, *count left alone. */
Q7_EXPORT int RQ7GetSharedMemoryTableList(char* names, int* count);
/* As RQ7GetSharedMemoryTableList with *count the number of 256-byte slots of names on entry: at most
 * that many names are copied, and *count is the number copied. With names null nothing is copied and
 * *count receives the number of registered tables. Returns what RQ7GetSharedMemoryTableList returns
 * (without a registry: Q7_ERROR_SMCS_INVALID when its semaphores are missing too, else 0); whenever
 * no registry is read *count is 0. */
Q7_EXPORT int RQ7GetSharedMemoryTableListEx(char* names, int* count);
/* Removes an empty registry and its semaphores: 0. With entries left: Q7_ERROR_SMCS_IN_USE, none:
 * Q7_ERROR_SMCS_INVALID; nothing changes. */
Q7_EXPORT int RQ7ShmShutdown(void);
/* Removes the registry's semaphores and the registry whatever their state, without waiting for any
 * lock: 0. Processes that still attach tables keep their mapped files. A registry the sharing
 * policy refuses is not removed, nor are the semaphores: Q7_ERROR_ACCESS_DENIED. */
Q7_EXPORT int RQ7ClearSharedMemory(void);
/* Writes the registry's bytes to path: 0, or Q7_ERROR_ILLEGAL_FILE_NAME. A registry the sharing
 * policy refuses: Q7_ERROR_ACCESS_DENIED, and path is neither made nor changed. An old file at path
 * is replaced only by a whole dump, as the saves replace files (a new file: mode 0640 less the
 * umask). */
Q7_EXPORT int RQ7ShmDumpSMCS(const char* path);

/* ---- File browser ---- */

/*
 * The engine machine's file system as the engine process sees it: current directory, directories,
 * a filtered listing and whole or partial file reads and writes through the host's buffers. Each
 * call records its failure under its own name and returns a code (0 on success); a null pointer
 * argument gives Q7_ERROR_INVALID_PARAMETER. No call writes past the buffer sizes given here.
 * Directory failures: EACCES (EIO for Make and Del) Q7_ERROR_ACCESS_DENIED, else
 * Q7_ERROR_FILE_OPERATION_FAILED; file failures Q7_ERROR_ILLEGAL_FILE_NAME.
 */
/* The size of the file in bytes; Q7_ERROR_ILLEGAL_FILE_NAME (negative) when it cannot be examined. */
Q7_EXPORT long long RQ7BrowserGetFileSize(const char* path);
/* Removes the file (recorded with Q7_ERROR_FILE_OPERATION_FAILED whatever is returned). */
Q7_EXPORT int RQ7BrowserDelFile(const char* path);
/* Creates or replaces the file with length bytes of data (length < 0: Q7_ERROR_INVALID_PARAMETER,
 * not recorded). A file is replaced as a save replaces one (written beside it, renamed over it
 * once whole, mode and owner kept): a failed or killed call leaves the old file. */
Q7_EXPORT int RQ7BrowserPutFile(const char* path, int length, const char* data);
/* Writes length bytes of data, replacing the file when truncate is non-zero (as RQ7BrowserPutFile
 * does), else appending in place (the file is created when missing). length < 0:
 * Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7BrowserPutFileEx(const char* path, int length, int truncate, const char* data);
/* Reads the first min(size, 8191) bytes into data (8192 bytes; a zero byte follows those read),
 * their count into *length and the file's size into *size. A directory or a file that cannot be
 * opened: Q7_ERROR_ILLEGAL_FILE_NAME; a file of 2 GiB or more: Q7_ERROR_OUT_OF_RANGE. */
Q7_EXPORT int RQ7BrowserGetFile(const char* path, int* size, int* length, char* data);
/* As RQ7BrowserGetFile with a 64-bit size (no size limit). */
Q7_EXPORT int RQ7BrowserGetFile64(const char* path, long long* size, int* length, char* data);
/* As RQ7BrowserGetFile from offset on: min(size - offset, 8191) bytes. An offset past the end sets
 * *length to 0; it and a negative offset give Q7_ERROR_ILLEGAL_FILE_NAME. */
Q7_EXPORT int RQ7BrowserGetFileEx(const char* path, int offset, int* size, int* length, char* data);
Q7_EXPORT int RQ7BrowserGetFileEx64(const char* path, long long offset, long long* size, int* length,
                                    char* data);
/* Lists a directory. search is "directory/pattern" (no "/": a pattern in the current directory);
 * "*.*" lists every entry, another pattern "name.ext" matches the name before a file's first "."
 * and the extension after it, "?" standing for one character and "*" for the rest when last (else
 * for one character); directories, "." and ".." included, are always listed. *total counts the
 * listed entries; those from index start (0-based) on are returned: names (4096 bytes) receives
 * their names, each zero-ended, as many as fit in 4095 bytes, and attrs (2048 bytes) one byte per
 * returned name: 0x10 a directory, else 0x20 read, 0x40 write, 0x80 execute for the engine
 * process's user (its super-user: 0x60, 0xE0 when any execute bit is set); *returned counts them.
 * A directory that cannot be opened: Q7_ERROR_INVALID_DIRECTORY. */
Q7_EXPORT int RQ7BrowserGetFileList(const char* search, int start, int* total, int* returned, char* names,
                                    char* attrs);
/* Creates the directory (mode 0766 less the umask); one that exists gives
 * Q7_ERROR_MAKE_DIRECTORY_FAILED. */
Q7_EXPORT int RQ7BrowserMakeDirectory(const char* path);
Q7_EXPORT int RQ7BrowserSetCurrentDirectory(const char* path);
/* The current directory into path (512 bytes); a longer one gives Q7_ERROR_OUT_OF_RANGE. */
Q7_EXPORT int RQ7BrowserGetCurrentDirectory(char* path);
/* Removes an empty directory (else Q7_ERROR_DIRECTORY_NOT_EMPTY); with recursive 1 a non-empty one
 * with everything in it. Symbolic links inside are removed as links, never followed; a path that
 * is a link to a directory, with or without a trailing "/", or whose last name is "." or "..", is
 * refused before anything is removed (Q7_ERROR_FILE_OPERATION_FAILED). */
Q7_EXPORT int RQ7BrowserDelDirectory(const char* path, int recursive);
/* Renames a file or directory. */
Q7_EXPORT int RQ7BrowserMove(const char* from, const char* to);

/* ---- Cube summaries ---- */

/*
 * A cube summary counts the rows of one set of a real or join table in every combination of one
 * category per dimension (up to 32 dimension columns, at most 10,000,000 cells), and, with a measure
 * column, their MAX, MIN and SUM. It lives in one of Q7_SUMMARY_HANDLES handles: open, execute once,
 * read cells and category names, close. Measure bits: 1 COUNT, 2 MAX, 4 MIN, 8 SUM (never for a
 * STRING measure). A NULL measure value adds nothing to its cell, except that a STRING measure counts
 * its NULL rows; MIN and MAX never report NULL while a cell holds a value.
 */
#define Q7_SUMMARY_HANDLES 8
#define Q7_SUMMARY_MAX_DIMS 32
#define Q7_SUMMARY_MAX_CELLS 10000000

/* Names category `category` of dimension `dim` (filter `column`, `count` categories) of the summary
 * open in `handle` on `table`: stores a pointer to the text through name (valid until the caller has
 * copied it) and returns 0, or returns Q7_ERROR_INVALID_PARAMETER to refuse; any other value counts
 * as success. */
typedef int (*Q7CategoryNameFn)(int handle, int table, int dim, int column, int count, int category,
                                char** name);

/* One dimension. category_map null: one category per value-list entry (category k is value number k,
 * 0 the NULL), and category_count is set by the summary. Otherwise category_map holds one category in
 * 0 .. category_count - 1 per value-list entry, and either category_names (category_count texts) or
 * name_callback names the categories (exactly one of them). Without a map and without names the
 * categories are named by the value they stand for. The summary keeps its own copies. */
typedef struct _TDimensionDef {
  int column_id;
  int category_count;
  int* category_map;
  char** category_names;
  Q7CategoryNameFn name_callback;
} _TDimensionDef;

/* Q7_SUMMARY_HANDLES. */
Q7_EXPORT int RQ7GetN_Summary(void);
Q7_EXPORT int Q7GetN_Summary(void);
/* Opens a summary of `set` (negative: the current set) of `table` in a free handle over `count`
 * dimensions and the measure filter `measure` (0 or less: none). A set of at most a twentieth of a
 * dimension's value list is summed over a temporary copy of its rows, which then stands for the
 * table in the status: a table of the database until the close deletes it (both clear the tables
 * saved flag). Codes: Q7_ERROR_INVALID_SUM_HANDLE, Q7_ERROR_SUMMARY_IN_USE, Q7_ERROR_NO_SUCH_TABLE,
 * Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_INVALID_PARAMETER (a bad count, map or
 * naming), Q7_ERROR_SUMMARY_CELLS_OVERFLOW. RQ7SummaryOpen reads only the filter
 * ID (the first int) of each host record, the records lying 518 ints apart; count outside 0..32 is
 * Q7_ERROR_OUT_OF_RANGE. Q7SummaryOpen takes full records. A null dims with a count above 0 is
 * Q7_ERROR_INVALID_PARAMETER. */
Q7_EXPORT int RQ7SummaryOpen(int handle, int table, int set, int count, const void* dims, int measure);
Q7_EXPORT int Q7SummaryOpen(int handle, int table, int set, int count, _TDimensionDef* dims, int measure);
/* 1 and the summary's table, set, dimension count, Q7_SUMMARY_MAX_DIMS records (the summary's own
 * maps and names, valid until close; zero records past the count), measure filter and computed bits
 * for an open handle (a null output is skipped); 0 for a free one (outputs untouched). Nothing is
 * recorded. */
Q7_EXPORT int RQ7SummaryStatus(int handle, int* table, int* set, int* count, _TDimensionDef* dims,
                               int* measure, int* computed);
Q7_EXPORT int Q7SummaryStatus(int handle, int* table, int* set, int* count, _TDimensionDef* dims,
                              int* measure, int* computed);
/* Computes the requested measures (COUNT always; without a measure only COUNT) once per handle;
 * computed (null: not wanted) receives the bits computed. A second call gives Q7_ERROR_SUMMARY_STATE. */
Q7_EXPORT int RQ7SummaryExec(int handle, int measures, int* computed);
Q7_EXPORT int Q7SummaryExec(int handle, int measures, int* computed);
/* One measure (one bit) of the cell given by one category per dimension of the open summary (only
 * that many ints of `categories` are read; null is refused unless there is no dimension, as is a
 * null output, with Q7_ERROR_INVALID_PARAMETER). RQ7SummaryRead copies the
 * value into `value` by value_type: 2 four bytes, 3/4/5/7 eight, 6 the text and its zero byte, 8 the
 * 16-byte decimal followed by its NumericInfo; nothing when the cell holds no value. result_type is
 * the measure's basic type (2 without a measure); value_type the type of the value (MAX and MIN of a
 * date, time or datetime measure keep that type; SUM is a double, or a decimal for a decimal
 * measure); count the cell's COUNT. Q7SummaryRead gives a pointer into the summary (valid until
 * close; null when the cell holds no value) and reports a decimal SUM as type 3. Codes:
 * Q7_ERROR_INVALID_PARAMETER (not one bit), Q7_ERROR_INVALID_OUTPUT_PARAMETER (not computed),
 * Q7_ERROR_OUT_OF_RANGE (a category), Q7_ERROR_NO_SUCH_SUMMARY. */
Q7_EXPORT int RQ7SummaryRead(int handle, int bit, const int* categories, int* result_type, int* count,
                             int* value_type, void* value);
Q7_EXPORT int Q7SummaryRead(int handle, int bit, const int* categories, int* result_type, int* value_type,
                            int* count, void** value);
/* The name of a category: RQ7CategoryRead copies at most 127 bytes and a zero byte into name (128
 * bytes; the empty text on failure); Q7CategoryRead points name at it and passes the callback's
 * result back (0 without a callback). Q7_ERROR_OUT_OF_RANGE for a dimension or category outside the
 * summary, Q7_ERROR_INVALID_PARAMETER when the callback refuses or name (either form) or
 * callback_result is null. */
Q7_EXPORT int RQ7CategoryRead(int handle, int dim, int category, char* name);
Q7_EXPORT int Q7CategoryRead(int handle, int dim, int category, char** name, int* callback_result);
/* The category name, or the empty text. */
Q7_EXPORT const char* RQ7CategoryReadR1(int handle, int dim, int category);
/* Adds to real table `table` a filter of category values, right after `target_filter`, named
 * "<category table>(<target filter>)". `category_table` is a real table whose first four filters in
 * display order are, per row: an operator text (STRING: EQ, BETWEEN, LEQ, GEQ, NEQ, WITHIN, LES, GT
 * and their other spellings, blanks and case ignored), param1 and param2 (one type: INTEGER, DOUBLE
 * or DECIMAL for numeric targets, STRING for a STRING target; param2 is used by BETWEEN and WITHIN
 * only) and the category value (any type). A record gets the category value of the first row whose
 * condition its value meets, NULL when none does; a NULL value counts as below every number, so
 * LES, LEQ and NEQ rows can take it. Returns the new filter's ID. Codes:
 * Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_SHARED_READ_ONLY (the table is never written),
 * Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_NO_SUCH_FILTER, Q7_ERROR_NOT_REAL_TYPE (a category table that
 * is not real), Q7_ERROR_CATEGORY_DEFINITION (no rows, fewer than four filters, a command that is
 * no operator, mixed parameter types), Q7_ERROR_INNER_ENGINE (parameters of a type the target's does
 * not take), Q7_ERROR_OUT_OF_MEMORY. A failure adds no filter. */
Q7_EXPORT int RQ7AddCategoryReal(int table, int target_filter, int category_table);
Q7_EXPORT int Q7AddCategoryReal(int table, int target_filter, int category_table);
/* Frees the handle and everything the summary holds. A free handle gives 0. */
Q7_EXPORT int RQ7SummaryClose(int handle);
Q7_EXPORT int Q7SummaryClose(int handle);

/*
 * Summary output tables. An executed summary is written into a new real table "XTBL_<table name>"
 * (made unique; a "_#" in the name is kept) of one row per cell, the first dimension varying
 * slowest (with skip_empty non-zero only the cells whose COUNT is not 0): one column per dimension
 * (the dimension column's values without a category map; with one, the texts "%Nd:name" of the
 * categories, N the digits of the category count + 2), then, for each measure bit requested and
 * computed, the columns "COUNT" (INTEGER), "MAX" and "MIN" (the measure's type), "SUM" and
 * "AVERAGE" (bit 16: SUM / COUNT; DOUBLE, or DECIMAL with the measure's scale). An empty cell holds
 * COUNT 0 and NULL in the others. A failure deletes the new table (an append drops the columns it
 * added) and returns the code. Codes: Q7_ERROR_INVALID_SUM_HANDLE, Q7_ERROR_NO_SUCH_SUMMARY,
 * Q7_ERROR_INVALID_OUTPUT_PARAMETER (not executed), Q7_ERROR_INVALID_PARAMETER (a category-name
 * callback refused), the table and column builders' codes.
 */
/* All five measures; the new table's ID. */
Q7_EXPORT int RQ7SummaryIntoRealTable(int handle, int skip_empty);
/* The measures of `bits`; the new table's ID. */
Q7_EXPORT int RQ7SummaryIntoRealTable2(int handle, int bits, int skip_empty);
Q7_EXPORT int Q7SummaryIntoRealTable(int handle, int bits, int skip_empty);
/* Appends the measure columns of `bits` to `table`, whose rows stand for the cells as above; 0.
 * Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE, Q7_ERROR_SHARED_READ_ONLY, Q7_ERROR_NOT_EDITABLE
 * (other tables refer to it), Q7_ERROR_INVALID_UNIT_WIDTH (more rows than the output has). */
Q7_EXPORT int RQ7AppendSummaryToRealTable(int handle, int table, int bits, int skip_empty);

/* The 64-byte summary attribute block of a column's row array, saved with the table: byte 0 the
 * summarised table's kind (1 real, 2 join), 1 the column kind (1 dimension, 2 measure, 0 none), 2
 * the measure bit, 3 the summary kind (1 cube, 2 non-cube), 5 the ordinal among the dimension or
 * measure columns, 6 the dimension count, 7 the measure count, 8..11 the summarised table ID, 12..15
 * its set ID, 16..19 the source column ID (little-endian). Each call below checks the table
 * (Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NOT_REAL_TABLE) and records nothing of its own. */
Q7_EXPORT int RQ7GetSumFilterAttr(int table, int filter, char* attr);
/* Q7_ERROR_SHARED_READ_ONLY for a table in shared memory. */
Q7_EXPORT int RQ7SetSumFilterAttr(int table, int filter, const char* attr);
/* 0 (no summary column; also a join table), 1 (every column is one) or 2 (some are), with the
 * dimension and measure column counts; Q7_ERROR_NOT_SUMMARY_OUTPUT when a block holds another
 * column kind. */
Q7_EXPORT int RQ7IsSummaryOutputTable(int table, int* dims, int* measures);
/* The total of an INTEGER or DOUBLE-based column over a set, NULL rows skipped (minus infinity on
 * failure). mode 0: only a COUNT or SUM summary column (Q7_ERROR_CALC_TOTAL_KIND for a dimension,
 * Q7_ERROR_NOT_SUMMARY_OUTPUT for an unmarked column, Q7_ERROR_CALC_TOTAL_TYPE for another
 * measure); mode 1: any such column. Q7_ERROR_CALC_TYPE, Q7_ERROR_INVALID_PARAMETER (mode). */
Q7_EXPORT int RQ7CalcTotal(int table, int set, int filter, int mode, double* total);
/* The ID of the column marked with this kind (1 dimension, 2 measure) and ordinal; 0 when the
 * table has no summary column; Q7_ERROR_NO_SUCH_DIMENSION. */
Q7_EXPORT int RQ7DimNo2FilterID(int table, int kind, int ordinal);

/*
 * Non-cube summary: a new real table "XTBL_<table name>" (made unique; a "_#" in the name is kept)
 * with one row per combination of the n_dims dimension columns' values that occurs in `set` of
 * `table` (a real or join table; a negative set: the current one), rows ascending by the first
 * dimension, then the second ..., NULL first; for a join table ascending by its master-side
 * dimensions first (in request order), then by its slave-side ones. Columns: the dimensions in
 * request order (name and type of the source column), then for each of the n_measures measure
 * columns, in this order, what its mask asks for: "N<m>" (bit 1: the rows behind the output row,
 * NULL values included; joined rows for a join), "MAX<m>" (2) and "MIN<m>" (4) of the measure's
 * type (NULLs skipped; NULL for a row of NULLs), "SUM<m>" (8: NULLs skipped) and "AVG<m>" (16: SUM / N),
 * DECIMAL with the measure's scale for a DECIMAL measure, DOUBLE otherwise. Without measures one
 * INTEGER column "N". decimals (per measure, may be null) rounds each value of a DOUBLE, DATE, TIME
 * or DATETIME measure half up to that many decimals (0..10) before it is summed; a negative value
 * means none. Counts 0..32. Returns the new table's ID. Codes: Q7_ERROR_OUT_OF_RANGE (a count,
 * decimals above 10), Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_NO_SUCH_SET, Q7_ERROR_NO_SUCH_FILTER,
 * Q7_ERROR_INVALID_PARAMETER (a mask empty or with a bit the type does not take: STRING takes 1, 2
 * and 4; a null list with a positive count), Q7_ERROR_OUT_OF_MEMORY and the table builders' codes.
 * A failure leaves no new table behind. A DOUBLE SUM (and so AVG) depends in its last bits on the
 * order of addition: over a real table the engine may add each worker's share of the rows apart
 * and then the workers' sums, so the result can differ with the machine's processor count; over a
 * join table the values are added partner by partner.
 */
Q7_EXPORT int RQ7NonCubeSum(int table, int set, int n_dims, const int* dims, int n_measures,
                            const int* measures, const int* masks, const int* decimals);

/* ---- Detail display ----
 * The distinct values of one column over one set, each with the number of set rows holding it, for
 * paged display. One display exists at a time: each open returns a new handle (from 1) and makes
 * every earlier handle stale; a failed open leaves none. A display whose table, set or column has
 * since been deleted, or whose column has since taken new values, is stale too: its reads give
 * Q7_ERROR_INVALID_SUM_HANDLE (the counts are those at the open). */
/* Opens the display of column `column` over `set` (negative: the current set) of `table`: the handle,
 * with the column's data type (2..8), the entry count (every value-list entry, the NULL first, or for
 * a small set of a real table only the values that occur in it) and the count of entries that occur.
 * Codes: Q7_ERROR_NO_SUCH_TABLE, Q7_ERROR_ILLEGAL_SET_ID, Q7_ERROR_NO_SUCH_FILTER,
 * Q7_ERROR_INVALID_PARAMETER (a null output; nothing changes). */
Q7_EXPORT int RQ7OpenDetailInfo(int table, int set, int column, int* data_type, int* entries, int* occurring);
/* Row `row` (from 1) of the list in value order (order 0) or by frequency (largest count first, equal
 * counts in value order), reversed when reverse is non-zero, over only the entries that occur in the
 * set when occurring_only is non-zero. GetDetailValue copies the value as RQ7GetData does (a decimal
 * after its NumericInfo); GetDetailValueStr copies it alone (a text of at most 4095 bytes and its zero
 * byte). Codes: Q7_ERROR_DETAIL_FAILED (no display), Q7_ERROR_INVALID_SUM_HANDLE (stale),
 * Q7_ERROR_OUT_OF_RANGE (row), Q7_ERROR_INVALID_PARAMETER (a null output). */
Q7_EXPORT int RQ7GetDetailValue(int handle, int order, int reverse, int occurring_only, int row,
                                int* data_type, void* value);
Q7_EXPORT int RQ7GetDetailValueStr(int handle, int order, int reverse, int occurring_only, int row,
                                   int* data_type, void* value);
Q7_EXPORT int RQ7GetDetailCount(int handle, int order, int reverse, int occurring_only, int row, int* count);
/* Closes the display (a negative handle: whatever is open); 0, or Q7_ERROR_INVALID_SUM_HANDLE for a
 * stale handle (the display stays). */
Q7_EXPORT int RQ7CloseDetailInfo(int handle);

/* ---- Compiling raw value arrays ----
 * Each turns n values into a column's two parts, merging up to fan_in sorted blocks at a time
 * (fan_in 2 to 1024; the result does not depend on it): *numbers receives n ints, each position's
 * value number 0 .. d-1 in ascending value order (equal values share one), and *distinct the d
 * distinct values ascending; d is returned. Both blocks belong to the caller, who releases them
 * with Q7FreeMem. Orders: signed integers; doubles, with every NaN equal to the others and first;
 * texts by strcmp, the distinct list pointing at the caller's texts (which must outlive it);
 * decimals as RQ7NumericCmp, NaN first. Among equal values the distinct list keeps the first
 * position's. n < 1 returns -1 and fan_in out of range -2, with both outputs null;
 * Q7_ERROR_INVALID_PARAMETER for a null array or text, Q7_ERROR_OUT_OF_MEMORY. No lock is taken
 * and no database is touched. */
Q7_EXPORT int iCompileInt(int n, int fan_in, const int* values, int** numbers, int** distinct);
Q7_EXPORT int iCompileFloat(int n, int fan_in, const double* values, int** numbers, double** distinct);
Q7_EXPORT int iCompileString(int n, int fan_in, char** texts, int** numbers, char*** distinct);
Q7_EXPORT int iCompileNumeric(int n, int fan_in, const Numeric* values, int** numbers, Numeric** distinct);

/* ---- Value-returning functions and stubs ---- */

/*
 * The R1 functions return a value directly. A failure (or a value of another type) gives the
 * type's NULL: 0x80000000 for integers, minus infinity for doubles, dates and times, and for texts
 * a pointer to one read-only empty text. Texts come back in one process-wide 4096-byte buffer that
 * the next R1 call returning text (from any thread) overwrites; names (GetTableNameR1 ...) point
 * into the engine's own objects and stay valid until that object changes or goes. The host never
 * frees or writes either. Functions returning an int status return what the RQ7 function named
 * returns, or a negative code. Rows and positions count as in the RQ7 function named.
 */
/* The copyright text; the four version numbers into versions (written only on success; returns
 * 0, or Q7_ERROR_UNKNOWN should anything fail). */
Q7_EXPORT const char* RQ7GetCopyRightR1(void);
Q7_EXPORT int RQ7GetVersionR1(int* versions);
/* The directory and file name of the database's last load or save. */
Q7_EXPORT const char* RQ7GetDBPathR1(void);
Q7_EXPORT const char* RQ7GetDBNameR1(void);
/* RQ7GenerateTableName and RQ7GenTableName, the name returned as text. */
Q7_EXPORT const char* RQ7GenerateTableNameR1(const char* seed);
Q7_EXPORT const char* RQ7GenTableNameR1(const char* seed);
/* The name of a table, of a filter (a join column: the join's own name, as RQ7GetFilterName), of a
 * set; the empty text when the table, filter or set does not exist. */
Q7_EXPORT const char* RQ7GetTableNameR1(int table);
Q7_EXPORT const char* RQ7GetFilterNameR1(int table, int filter);
Q7_EXPORT const char* RQ7GetSetNameR1(int table, int set);
/* RQ7GetNumericInfo without the mode name (-1 on an unexpected failure); RQ7GetJoinInfo without the
 * name; RQ7GetJoinInfoEx without the name. */
Q7_EXPORT int RQ7GetNumericInfoR1(int table, int filter, NumericInfo* info);
Q7_EXPORT int RQ7GetJoinInfoR1(int table, int* master_table, int* master_set, int* master_key,
                               int* slave_table, int* slave_set, int* slave_key);
Q7_EXPORT int RQ7GetJoinInfoExR1(int table, int* outer, int* key_count, int* master_table, int* master_set,
                                 int* master_keys, int* slave_table, int* slave_set, int* slave_keys);

/* RQ7SearchByField with the bounds as texts, decimals, integers or doubles; the SJIS and Locale
 * forms as RQ7SearchByFieldSJIS and RQ7SearchByFieldLocale. Texts search STRING filters only,
 * decimals DECIMAL, integers INTEGER, doubles DOUBLE, DATE, TIME and DATETIME: any other filter
 * returns Q7_ERROR_INVALID_DATA_TYPE (recorded as "Q7SearchByField") and makes no set. */
Q7_EXPORT int RQ7SearchByFieldStrR1(int table, int filter, int set, int op, const char* from, const char* to);
Q7_EXPORT int RQ7SearchByFieldNumericR1(int table, int filter, int set, int op, Numeric* from, Numeric* to);
Q7_EXPORT int RQ7SearchByFieldIntR1(int table, int filter, int set, int op, int from, int to);
Q7_EXPORT int RQ7SearchByFieldDblR1(int table, int filter, int set, int op, double from, double to);
Q7_EXPORT int RQ7SearchByFieldSJISR1(int table, int filter, int set, int op, const char* from,
                                     const char* to);
Q7_EXPORT int RQ7SearchByFieldLocaleR1(int table, int filter, int set, int op, const char* from,
                                       const char* to, int locale);

/* One value read by RQ7GetData (position from 0) or RQ7GetData1 (from 1): an INTEGER value, a
 * DOUBLE, DATE, TIME or DATETIME value, a STRING value. */
Q7_EXPORT int RQ7GetDataIntR1(int table, int filter, int set, int pos);
Q7_EXPORT double RQ7GetDataDblR1(int table, int filter, int set, int pos);
Q7_EXPORT const char* RQ7GetDataStrR1(int table, int filter, int set, int pos);
Q7_EXPORT int RQ7GetData1IntR1(int table, int filter, int set, int row);
Q7_EXPORT double RQ7GetData1DblR1(int table, int filter, int set, int row);
Q7_EXPORT const char* RQ7GetData1StrR1(int table, int filter, int set, int row);
/* A DECIMAL value into *value (left alone for another type); returns the read's byte count or a
 * negative code (-1: no such table, or an unexpected failure). */
Q7_EXPORT int RQ7GetDataNumericR1(int table, int filter, int set, int pos, Numeric* value);
Q7_EXPORT int RQ7GetData1NumericR1(int table, int filter, int set, int row, Numeric* value);
/* Any value as text: "%d", "%f", dates "yyyy/mm/dd", times "hh:mm:ss", date-times both, decimals
 * with their scale's digits, texts as they are. A failed read gives the (empty) text buffer. */
Q7_EXPORT const char* RQ7GetData1Cnv2StrR1(int table, int filter, int set, int row);
/* Block reads of up to 128 rows from first_row (1-based), as RQ7GetData1M. Ints: values is given
 * 1024 bytes, the room hosts written for this call pass, but only the *count ints read are written
 * (at most 128, so 512 bytes suffice), and nothing on a failure. Doubles: values holds 1024 bytes
 * (128 doubles); decimals: 2048 bytes (128 Numerics, the value alone in every row); both are
 * cleared first. Texts: offsets holds 128 ints into texts (4096 bytes, cleared first). *count
 * receives the rows stored. A filter of another type returns Q7_ERROR_INVALID_DATA_TYPE without
 * reading. */
Q7_EXPORT int RQ7GetData1MIntR1(int table, int filter, int set, int first_row, int* count, int* values);
Q7_EXPORT int RQ7GetData1MDblR1(int table, int filter, int set, int first_row, int* count, double* values);
Q7_EXPORT int RQ7GetData1MNumericR1(int table, int filter, int set, int first_row, int* count,
                                    Numeric* values);
Q7_EXPORT int RQ7GetData1MStrR1(int table, int filter, int set, int first_row, int* count, int* offsets,
                                char* texts);

/* RQ7OverwriteRealEx of one row, and RQ7FillRealEx, with the value passed by value (a decimal at the
 * filter's scale by pointer). The value's kind must be the filter's, as for the R1 searches above:
 * otherwise Q7_ERROR_INVALID_DATA_TYPE (recorded under the RQ7 function's name), nothing written. */
Q7_EXPORT int RQ7OverwriteRealExIntR1(int table, int set, int filter, int row, int value);
Q7_EXPORT int RQ7OverwriteRealExDblR1(int table, int set, int filter, int row, double value);
Q7_EXPORT int RQ7OverwriteRealExStrR1(int table, int set, int filter, int row, const char* value);
Q7_EXPORT int RQ7OverwriteRealExNumericR1(int table, int set, int filter, int row, Numeric* value);
Q7_EXPORT int RQ7FillRealExIntR1(int table, int set, int filter, int from, int count, int value);
Q7_EXPORT int RQ7FillRealExDblR1(int table, int set, int filter, int from, int count, double value);
Q7_EXPORT int RQ7FillRealExStrR1(int table, int set, int filter, int from, int count, const char* value);
Q7_EXPORT int RQ7FillRealExNumericR1(int table, int set, int filter, int from, int count, Numeric* value);

/* Conversions without the database: a date, time or date-time value as text ("yyyy/mm/dd",
 * "hh:mm:ss", both; the empty text for NULL), a decimal as RQ7NumericNum2Str prints it, and texts
 * read as a date, a time or a date-time (minus infinity for the empty text, for a date or time that
 * is none, and for a date-time whose date or time part is none, "2024/02/30 12:00" or
 * "2024/01/31 25:00"; a date-time without its time is midnight, and a time alone is read as the
 * date and time texts of the text import say). */
Q7_EXPORT const char* RQ7Double2DateStrR1(double value);
Q7_EXPORT const char* RQ7Double2TimeStrR1(double value);
Q7_EXPORT const char* RQ7Double2DateTimeStrR1(double value);
Q7_EXPORT const char* RQ7NumericNum2StrR1(const Numeric* x, const NumericInfo* info, int shift, int digits);
/* RQ7Str2DateR1 reads year/month/day ("2024/03/05", "2024-3-5") whatever DATEFORMAT says, while
 * the import and the date printers (RQ7Double2DateStrR1, the exports) follow DATEFORMAT:
 * under DDMMYYYY, RQ7Str2DateR1("05/03/2024") is NULL. */
Q7_EXPORT double RQ7Str2DateR1(const char* text);
Q7_EXPORT double RQ7Str2TimeR1(const char* text);
Q7_EXPORT double RQ7Str2DateTimeR1(const char* text);

/* Stubs of services this engine does not provide: they do nothing and return 0;
 * RQ7GetServerIPAddress writes the empty text into address. */
Q7_EXPORT int RQ7SetJoinCheckFlag(int flag);
Q7_EXPORT int RQ7Connect2ZPKServer(const char* host, int port);
Q7_EXPORT int RQ7DisconnectFromZPKServer(void);
Q7_EXPORT int RQ7GetNamingServiceIdentity(void);
Q7_EXPORT int RQ7GetServerIPAddress(char* address);

#ifdef __cplusplus
}
#endif

#endif /* Q7API_H */
