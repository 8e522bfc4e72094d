// The value-list compiler: a raw column becomes a sorted list of its distinct values and one value
// number per element; and the serial merge of two value lists into one (AccommodationMain).
//
// Raw columns. Element i of a raw block of n elements is a value of the column's type:
//   type 2 INTEGER            int32                    NULL 0x80000000     signed order
//   types 3, 4, 5, 7          double                   NULL minus infinity numeric order, 0.0 == -0.0
//   type 6 STRING             const char* (NUL-ended)  NULL the empty text strcmp order (unsigned bytes)
//   type 8 DECIMAL            Numeric (16 bytes)       NULL the decimal NaN signed 128-bit order of
//                                                                            the unscaled value
// NULL is the smallest value of every type. A NaN double compiles as NULL (so a value list is always
// sorted), and a null text pointer reads as the empty text. Builders put the type's NULL into
// element 0 so that NULL gets value number 0; the compiler does not check it.
//
// Outputs of a compile (all owned by the caller, freed with zpk_free):
//   *rows   n int32 value numbers; (*rows)[i] is the index of element i's value in the list;
//   *count  the number of distinct values (NULL included when present);
//   *list   *count elements of the raw width, ascending. Each entry holds the bytes of the earliest
//           element with that value (so -0.0 before 0.0 keeps -0.0). For strings the entries are
//           text pointers: the earliest element's own pointer, or, for a text that trimming cut,
//           a pointer to a trimmed copy stored in the same block after the pointers. Either way
//           the texts must stay alive until the caller has copied them (TStrArray from a pointer
//           array); the block itself may then be adopted as the string array's offset array.
//
// Methods: an integer column whose value range is small against its row count (see
// WillBeCompiledBySorting) is numbered by counting; every other column by sorting. The sort is
// the merge method (CompileByMerging) or, by default, a stable radix sort of order-preserving keys
// (numbers) or a hash of the distinct texts (strings), which give the same outputs faster.
//
// Trailing blanks (STRING only): while g_cut_last_space (values/CompileSettings.h) is non-zero,
// texts are compared and listed as TrimmedLength cuts them. The caller's texts are never written.
//
// Failures (CQ7Exception), checked in this order before anything is allocated, each also recorded
// in the error ring under "Compile":
//   n < 1                              Q7_ERROR_ILLEGAL_RECORD_NO  "Invalid Parameter : WholeSize"
//   type outside 2..8                  Q7_ERROR_INVALID_DATA_TYPE  "Illegal data type  : %d"
//   width not the type's element width Q7_ERROR_INVALID_UNIT_WIDTH "Invalid Parameter : Width1Unit"
//                                      (no ring entry for type 8)
// and Q7_ERROR_OUT_OF_MEMORY from an allocation (work blocks are freed, outputs untouched).
//
// Thread safety: a compile keeps its state on the caller's stack; any number of compiles of
// different data may run at once, worker tasks included. Only the argument checks write the error
// ring, which worker threads must not do: a task passes arguments that are known to be valid (the
// parallel compile checks them on the calling thread first). The raw data must not change meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

class TBaseArray;
class TIntArray;

// Summary of an integer column.
struct _RawIntArrayRangeInfo {
  int32_t nulls;  // elements equal to 0x80000000
  int32_t min;    // smallest non-NULL element, 0x7FFFFFFF when there is none
  int32_t max;    // largest non-NULL element, 0x80000000 when there is none
};

// The raw element width of a value type code: 4 for 2, 8 for 3..7, 16 for 8; 0 for any other code.
int ValueTypeWidth(int type);

// Compiles n raw values (see above). Returns 0; failures are thrown.
int Compile(int n, int type, int width, const void* raw, int** rows, int* count, void** list);
// The same with a summary of an integer column that the caller has already computed (null: none).
// The summary must describe raw[0..n-1] exactly.
int Compile(int n, int type, int width, const void* raw, int** rows, int* count, void** list,
            _RawIntArrayRangeInfo* range);

// Fills range from raw[0..n-1]. A negative n throws Q7_ERROR_INVALID_ARRAY_SIZE (no ring entry).
void GetIntRange(int n, const int* raw, _RawIntArrayRangeInfo* range);

// False unless type is 2; for type 2 fills range over the n elements and tells whether Compile
// would number them by counting (a dense column) rather than by merging.
bool WillBeCompiledBySorting(int type, int n, const void* raw, _RawIntArrayRangeInfo* range);

// The length a text keeps under trailing-blank trimming: the scan covers at most the first 4096
// bytes, and a run of blanks (0x20 only) that reaches the end of the scan is cut at its first
// blank. So "ab  " keeps 2, "   " keeps 0, and a text whose first 4096 bytes end in blanks is cut
// there even though it goes on. A null text keeps 0.
size_t TrimmedLength(const char* text);

// Applies TrimmedLength's cut to a text in place: for buffers the caller owns (its own copy of a
// host value, never the host's buffer). Returns 1 when it cut, else 0.
int DelLastSpc(char* text);

// The compiler object. Compile and AccommodationMain keep all their state in it; use one object
// per call on one thread (the free functions above and in values/Accommodation.h hold one on the
// stack).
class CCompiler {
 public:
  // Whether string compiles follow g_cut_last_space or never trim (for callers that trimmed the
  // texts themselves, such as the parallel compile).
  enum class Trim { kBySetting, kNever };

  explicit CCompiler(Trim trim = Trim::kBySetting);
  CCompiler(const CCompiler&) = delete;
  CCompiler& operator=(const CCompiler&) = delete;

  // The compile (contract at the top of this file).
  int Compile(int n, int type, int width, const void* raw, int** rows, int* count, void** list,
              _RawIntArrayRangeInfo* range);

  // Compile, numbering an integer column by merging even where counting would be chosen (for tests
  // that hold the two methods against each other). Same contract otherwise.
  int CompileByMerging(int n, int type, int width, const void* raw, int** rows, int* count, void** list);

  // The serial two-list merge; see values/Accommodation.h for the contract.
  int AccommodationMain(TIntArray* rows1, TBaseArray* list1, TIntArray* rows2, TBaseArray* list2,
                        TBaseArray** merged);

  // ---- Steps of the merge pass of the compile (public so that they can be tested alone) ----
  // They act on the pass state below; a compile sets it up.
  //
  // Bounds of pair `pair` at run width `width` over n elements, with stops[s] the last position
  // of the distinct entries of the run starting at s. Returns 0 when no run starts there, 1 for a
  // lone last run (A only), 2 for two runs.
  int GetPair(int n, const int* stops);
  // Moves the entry at *cursor to the output, records its new position, advances both.
  void IncArrow(int* cursor);
  // The same for an equal pair at ai and bi: one output, both positions get it.
  void IncBothArrow();
  // stops[start] = out - 1.
  void PutVListStop(int start, int out, int* stops);
  // Compare the raw values of the entries at ai and bi: -1, 0 or 1.
  int CompInt() const;
  int CompString() const;
  int CompDouble() const;
  int CompDecimal() const;

  // ---- Comparators of the two-list merge: entry i of the first list against entry j of the
  // second; -1 (first smaller), 0 (equal) or 1 (second smaller). *out receives the address of the
  // element to output: the first list's on -1 and 0, the second's on 1.
  int JCompInt(int i, int j, const void** out) const;
  int JCompStr(int i, int j, const void** out) const;
  int JCompDouble(int i, int j, const void** out) const;
  int JCompDecimal(int i, int j, const void** out) const;

  // ---- State. The first group serves the two-list merge, the rest the compile's merge pass. ----
  const int32_t* int_list1 = nullptr;
  const int32_t* int_list2 = nullptr;
  const double* dbl_list1 = nullptr;
  const double* dbl_list2 = nullptr;
  const void* dec_list1 = nullptr;  // Numeric entries, 16 bytes each
  const void* dec_list2 = nullptr;
  const uint64_t* str_offsets1 = nullptr;
  const uint64_t* str_offsets2 = nullptr;
  const char* str_area1 = nullptr;
  const char* str_area2 = nullptr;

  int32_t pair = 0;   // index of the pair of runs being merged
  int32_t width = 0;  // run length of the current pass
  int32_t aStart = 0, aEnd = 0, aLast = 0;
  int32_t bStart = 0, bEnd = 0, bLast = 0;
  int32_t* cur = nullptr;   // positions -> element indexes, this pass
  int32_t* next = nullptr;  // the same, being written
  int32_t* map = nullptr;   // per position: the run stop, or the new position after a merge
  int32_t out = 0, ai = 0, bi = 0;

  const void* raw = nullptr;  // the column being compiled (strings: the text pointers)

 private:
  template <class Cmp>
  void MergeCompile(int n, int32_t* rows, Cmp cmp);
  void CountingCompile(int n, const int32_t* values, const _RawIntArrayRangeInfo& r, int** rows, int* count,
                       void** list);
  // The merge method when forced, else the fast paths that give the same outputs.
  void NumberByValue(int n, int type, int elem_width, int** rows, int* count, void** list);
  void MergeMethod(int n, int type, int elem_width, int** rows, int* count, void** list);

  Trim trim_;
  bool force_merge_ = false;
};
