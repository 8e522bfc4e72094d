/*
 * q7api.h - the C interface of the Qz7 in-memory column database engine.
 *
 * Conventions every host relies on:
 *  - Return values: IDs, counts and byte sizes are 0 or positive; a failure is a negative
 *    error code (Q7_ERROR_*), and the failure is also recorded in the error ring, which
 *    RQ7GetErrorLog reads oldest entry first (8 entries are kept).
 *  - Rows are numbered from 1 in this interface. Filter ID 0 means the record number and a
 *    negative set ID means the table's current set.
 *  - Memory passed in stays the caller's. Memory the engine returns (texts, blocks) belongs
 *    to the engine and stays valid until the next call that says it replaces it.
 *  - Every call that touches the database takes one process-wide lock, so calls from several
 *    host threads run one at a time.
 */
#ifndef Q7API_H
#define Q7API_H

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

/* Value type codes of filters. */
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

/* ---- Engine, environment, settings and error log ---- */

/* The machine environment, filled by RQ7GetEnvironment (352 bytes, native byte order). */
typedef struct _TREnvironment {
  char hostName[256];     /* zero-ended */
  int32_t osKind;         /* 53 on this system */
  int32_t osMajor;        /* release numbers of the operating system */
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
 * the error ring keeps its entries. Takes no lock: the host must not call it while any other call
 * is running. Returns 0 or a negative code. */
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
  Q7_NUMERIC_NAN = 1,                 /* a NaN operand, or a division by zero: the result is NaN */
  Q7_NUMERIC_ROUNDED = 2,             /* non-zero digits were dropped */
  Q7_NUMERIC_OVERFLOW_POSITIVE = 3,   /* the result does not fit and is NaN; the true value is > 0 */
  Q7_NUMERIC_OVERFLOW_NEGATIVE = 4,   /* the same, true value < 0 */
  Q7_NUMERIC_SYNTAX_ERROR = -1,       /* readers: the text is not a number */
  Q7_NUMERIC_BUFFER_TOO_SMALL = -2,   /* printers: the text does not fit */
  Q7_NUMERIC_INVALID_MODE = -3        /* a rounding mode outside 0..6 */
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

#ifdef __cplusplus
}
#endif

#endif /* Q7API_H */
