// The parallel value-list compile and the parallel merge of two value lists, on the engine's
// worker pool. They give the same value lists and value numbers as the serial forms
// (values/CCompiler.h, values/Accommodation.h), including which of two equal elements is kept
// (the earlier one), for any number of workers.
//
// Pool tasks of this file: 16 "Q7_MPP_MERGE_LIST" (mpp_merge_list), 17 "Q7_MPP_COMPILE"
// (mpp_compile), 37 "Q7_MPP_RENUMBER" (mpp_renumber).
//
// Thread safety: every function here except the task functions drives the pool, so it must be
// called by the one thread that drives it (under the API lock), never from inside a task. The
// arrays passed in must not change meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>

class TBaseArray;
class TIntArray;

// ---- Small utilities ----

// n elements of the raw width of `type` (4, 8 for 3..7 with strings as pointers, 16) from
// zpk_malloc; null for a type outside 2..8. Throws Q7_ERROR_OUT_OF_MEMORY.
void* zpk_malloc_t(int type, size_t n);
// strcmp that accepts null texts: null sorts before every text, two nulls are equal.
int zpk_strcmp(const char* a, const char* b);

// ---- Compile ----

// Same arguments, checks (with the same ring entries, recorded on the calling thread), outputs and
// ownership as Compile (values/CCompiler.h). A dense integer column (one that Compile numbers by
// counting) is counted with its passes over the rows shared out to the workers, and so are doubles
// that all hold whole numbers and decimals that fit 64 bits when their range is at most about twice
// the column's length. A large double column of many distinct values is sorted as a whole, cut
// into buckets by a sample's splitters. Any other column is cut into one slice per worker, the
// slices are compiled at once and their lists merged pairwise in element order (DoMppMerge), each
// slice's numbers following the merges, and every row is renumbered once at the end. Returns 0;
// failures are thrown with every partial result freed.
int MppCompile(int n, int type, int width, const void* raw, int** rows, int* count, void** list);

// MppCompile of n + 1 elements whose element 0 is the type's NULL and whose elements 1..n are
// raw[0..n-1], with the same outputs byte for byte (NULL is always entry 0 and element 0's value
// number is 0), read from raw where it lies instead of from a copy with the NULL put in front.
// n may be 0 (the outputs then describe the NULL alone). A negative n fails as MppCompile's count
// check does.
int MppCompileWithNull(int n, int type, int width, const void* raw, int** rows, int* count, void** list);

// One piece of a column held in several: n elements of the column's raw width from raw.
struct MppColumnPiece {
  const void* raw;
  int n;
};

// MppCompileWithNull of the elements of the pieces taken one after the other, read where they lie,
// when it numbers that column on several workers by counting or by the whole sort (see
// MppCompile): the outputs are then byte for byte those of the joined column's, and true is
// returned. Otherwise (the slices' road, a column small enough for one worker, more pieces than
// workers) false, with nothing made and nothing recorded: the caller joins the pieces and calls
// MppCompileWithNull.
bool MppCompileWithNullPieces(const MppColumnPiece* pieces, int piece_count, int type, int width, int** rows,
                              int* count, void** list);

// Merges two compiled slices of one column: *list / *count get the merged list, *rows / *nRows a
// new row array of nRows1 + nRows2 entries, the first slice's value numbers renumbered, then the
// second's. Strings are absolute text pointers. The inputs are left to the caller. Returns 0;
// failures are thrown with the work blocks and the new arrays freed.
int MppAccomodationMain2(int type, int* rows1, void* list1, int nRows1, int count1, int* rows2, void* list2,
                         int nRows2, int count2, int** rows, void** list, int* nRows, int* count);

// ---- Two-list merge ----

// The parallel AccommodationMain: the same result (0 for identical lists, 1 with *merged and both
// row arrays renumbered in place). Differences: a new double list has the plain extend type 3, and a
// new decimal list the default scale and mode; the caller restores the attributes it needs (the
// column form below does). Basic types that differ throw Q7_ERROR_DATA_TYPE_MISMATCH without a ring
// entry. On failure nothing has changed and *merged is null.
int MppAccommodationMain(TIntArray* rows1, TBaseArray* list1, TIntArray* rows2, TBaseArray* list2,
                         TBaseArray** merged);

// The column form that the filters' MppAccommodation wraps: as AccommodateColumns
// (values/Accommodation.h), through MppAccommodationMain. With share non-zero both columns hold the
// one new list (two holders); with share 0 column 2 gets its own copy. The new list(s) take over
// list1's attribute block. Returns MppAccommodationMain's result.
int MppAccommodateColumns(TIntArray* rows1, TBaseArray** list1, TIntArray* rows2, TBaseArray** list2,
                          int share);

// Merges two ascending, distinct lists of one type. map1 (count1 entries) and map2 (count2) receive
// every entry's index in the merged list; *merged (allocated with zpk_malloc_t, owned by the caller)
// gets the merged entries of the type's width, absolute text pointers for strings, and
// *mergedCount their number. A string list given with an area holds offsets into it; without one
// it holds text pointers. On equal entries list1's element is kept. Disjoint lists are numbered
// without any task. Failures: Q7_ERROR_INVALID_DATA_TYPE for a type outside 2..8,
// Q7_ERROR_ROW_SIZE_OVERFLOW (ring entry "Illrgal row size : nUnique(%d)" under "DoMppMerge") when
// the merged count does not fit, Q7_ERROR_OUT_OF_MEMORY.
void DoMppMerge(void* list1, void* list2, int count1, int count2, int type, int* map1, int* map2,
                void** merged, int* mergedCount, char* area1, char* area2);

// rows[i] = map[rows[i]] for i < n, in parallel; nothing when the map is the identity (its last
// entry equals its index, as in every map a merge makes).
// dst[i] = map[src[i]] for i < n (src null: in place on dst); the identity map only copies.
// Every value number must be a valid index of the map. mapCount < 1 records "Invalid Parameter :
// pAggrSize" under "DoMppRenumber" and throws Q7_ERROR_INVALID_PARAMETER before the map is read.
void DoMppRenumber(int* rows, int n, int* map, int mapCount);
void DoMppRenumber(int* src, int* dst, int n, int* map, int mapCount);

// ---- One side of a parallel merge ----
//
// The overlap of two sorted lists is cut into slices; `ranges` holds threads + 2 pairs {from, to}:
// the prefix (entries below the other list), one per slice, the suffix (entries above it); {-1, -1}
// is an empty range. `uniques` counts the merged entries per range, both items sharing the counts.
class CMergeItem {
 public:
  CMergeItem();
  CMergeItem(void* data, int* map, int count, int type, char* area);
  ~CMergeItem();
  CMergeItem(const CMergeItem&) = delete;
  CMergeItem& operator=(const CMergeItem&) = delete;

  void set_lower_index(int i) { lower = i; }
  void set_upper_index(int i) { upper = i; }
  // Entries of the overlap, upper + 1 - lower (0 when this list has none inside the other's range).
  int get_merge_recs() const { return upper + 1 - lower; }
  // threads = t; ranges (t + 2 pairs, all -1) and uniques (t + 2 zeros). Throws on no memory.
  void set_threads_count(int t);
  // The ranges of the list that drives the cut: prefix, `threads` equal slices of the overlap (the
  // last one ending at upper), suffix.
  void set_threads_range();
  // Range t of the list that follows the cut: from `start`, its entries below other's entry
  // `bound` (-1 for none: up to upper). Returns where range t + 1 starts.
  int set_thread_range(const CMergeItem* other, int bound, int start, int t);
  // All ranges of the following list against `other`'s cut.
  void set_threads_range(CMergeItem* other);
  // Turns the map entries of range t into running sums.
  void aggregate(int t);
  // Adds each range's offset (the sum of uniques before it) and position to the map entries.
  void apply_unique();
  void apply_unique(int r);
  // dest[map[p]] = entry p for every entry (strings: absolute pointers); the range form for one
  // range.
  void updateDest(void* dest);
  void updateDest(int r, void* dest);

  // The address of entry p (strings: a pointer to the text).
  const void* entry(int p) const;
  const char* text(int p) const;

  int32_t upper = -1;
  int32_t lower = 0;
  int32_t count = 0;
  int32_t type = 0;
  int32_t threads = 1;
  int32_t* map = nullptr;
  int32_t* uniques = nullptr;
  void* data = nullptr;
  int32_t (*ranges)[2] = nullptr;
  char* area = nullptr;

 private:
  void write_entries(int from, int to, void* dest) const;
};

// ---- Task functions ----
int mpp_compile(void* param);
int mpp_merge_list(void* param);
int mpp_renumber(void* param);
