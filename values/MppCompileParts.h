// What the files of the parallel compile share (values/MppCompile.cpp, the driver and entry points;
// MppCompileMerge.cpp, the merge of two sorted lists; MppCompileCounting.cpp, the counting roads;
// MppCompileWholeSort.cpp, the whole-column sort): the layouts of their pool tasks, the stretches
// a column is cut into, and the functions one file calls in another. Not for use outside values/.
//
// Thread safety: as values/MppCompile.h. The functions that run tasks are called by the thread that
// drives the pool, never from inside a task; the *Step functions run inside task 17 ("Q7_MPP_COMPILE")
// on the worker whose block they are given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/CWorkThread.h"
#include "values/CCompiler.h"
#include "values/CompileSupport.h"
#include "values/MppCompile.h"

// Kept in their own namespace: the engine is linked as one archive, and these short names would
// otherwise meet those of other files.
namespace mpp_compile_parts {

// ---- Task layouts ----

// Task 17 serves every step of the parallel compile, chosen by `mode`.
enum CompileMode : int32_t {
  kCompileSlice = 0,    // compile raw[0..n-1] into rows / count / list
  kIntRange = 1,        // summarise raw[0..n-1] into range
  kMarkSlots = 2,       // counting: mark the slot of every value
  kNumberRows = 3,      // counting: rows[i] = slots[slot of raw[i]]
  kKeySpan = 4,         // whole-number keys: summarise raw[0..n-1] into keys
  kMarkKeys = 5,        // whole-number keys: mark the slot of every value
  kNumberKeys = 6,      // whole-number keys: rows[i] = slots[slot of raw[i]]
  kSampleClassify = 7,  // whole sort: each element's bucket and the slice's bucket counts
  kSampleScatter = 8,   // whole sort: the slice's (key, element) pairs into their buckets
  kSampleSort = 9,      // whole sort: sort the worker's buckets, count their distinct keys
  kSampleNumber = 10,   // whole sort: number the worker's buckets, write their list entries
  kSlotSums = 11,       // counting: count the marked slots of the worker's stretch
  kSlotRanks = 12,      // counting: ranks and list entries of the worker's stretch of slots
};

struct SamplePlan;
struct SlotList;

// Doubles that all hold whole numbers, or decimals that all fit 64 bits, read as 64-bit integer
// keys: the range of the non-NULL keys, the NULL count and (doubles) the first zero, whose element
// stands for both 0.0 and -0.0.
struct KeySummary {
  int32_t fits = 1;
  int32_t nulls = 0;
  int64_t min = INT64_MAX;
  int64_t max = INT64_MIN;
  int64_t first_zero = -1;  // index in the slice
};

struct CompileParam {
  MppParamHeader header;
  int32_t mode;
  int32_t n;
  int32_t type;
  int32_t width;
  const void* raw;  // this worker's first element
  int32_t* rows;    // slice outputs (null until compiled); kNumberRows: this worker's first row
  int32_t count;
  void* list;
  _RawIntArrayRangeInfo range;
  int32_t base;  // counting: value v takes slot v - base, NULL slot 0
  int32_t* slots;
  int32_t lead;            // kCompileSlice: 1 when an implicit NULL element stands before this slice
  vlc::ScratchCaps caps;   // kCompileSlice: the capacities of rows and list (0: plain blocks)
  KeySummary keys;         // kKeySpan
  uint64_t key_base;       // kMarkKeys, kNumberKeys: key k takes slot k - key_base (mod 2^64), NULL slot 0
  const SamplePlan* plan;  // kSample*: the whole sort's shared state
  int32_t first;           // kSampleClassify, kSampleScatter: the slice's first element
  int32_t bucket_from;     // kSampleSort, kSampleNumber: the worker's buckets [from, to)
  int32_t bucket_to;
  const SlotList* slot_list;  // kSlotSums, kSlotRanks: the worker's slots [slot_from, slot_to)
  int32_t* slot_marks;
  int64_t slot_from;
  int64_t slot_to;
  int32_t slot_rank;  // kSlotSums: the stretch's marked slots; kSlotRanks: the marked slots before it
};

struct MergeParam {
  MppParamHeader header;
  CMergeItem* a;
  CMergeItem* b;
  int32_t phase;  // 1: count the slice's merged entries; 2: place them
  void* dest;     // phase 2: the merged list
};

struct RenumberParam {
  MppParamHeader header;
  const int32_t* map;
  int32_t n;
  const int32_t* src;  // null: in place on dst
  int32_t* dst;
};

// ---- Entry orders by value kind (3 stands for every double kind) ----

inline int KindOf(int type) {
  switch (type) {
    case 2:
    case 6:
    case 8:
      return type;
    case 3:
    case 4:
    case 5:
    case 7:
      return 3;
    default:
      return 0;
  }
}

// One worker's stretch of a column: its elements, where they lie, and the index of its first.
struct Stretch {
  const void* raw;
  int32_t n;
  int32_t first;
};
using Stretches = std::vector<Stretch>;

// ---- The driver's (MppCompile.cpp) ----

// Runs task 17 on `threads` workers with the blocks as they are set up; when it fails, the
// compiled slices the other workers made are freed before the failure is thrown on.
void RunCompileTask(int threads);

// A column in one block cut into `threads` stretches of about equal length.
Stretches EvenStretches(int threads, int n, int width, const void* raw);

// Fills worker i's block for `mode` over stretch i.
void SetUpStretches(const Stretches& parts, int mode, int type, int width);

// The bytes of the type's NULL as a list entry.
void PutNullEntry(int type, void* entry);

// ---- The merge's (MppCompileMerge.cpp) ----

// DoMppMerge; with `scratch` given the merged list is a scratch block whose capacity lands there.
void MergeLists(void* list1, void* list2, int count1, int count2, int type, int* map1, int* map2,
                void** merged, int* mergedCount, char* area1, char* area2, size_t* scratch);

// ---- Counting's (MppCompileCounting.cpp) ----

// Counting in parallel: the slots are marked, ranked and read by all workers at once, each on its
// own stretch. The same numbers as the serial counting method.
// The n values are read from `parts`, one worker each. With `lead` 1 the rows start with an
// implicit NULL element that the parts do not hold (r counts it among the NULLs): its slot is marked
// here and its row is 0.
void ParallelCounting(const Stretches& parts, int n, const _RawIntArrayRangeInfo& r, int lead, int** rows_out,
                      int* count_out, void** list_out);

// Numbers a double (3..5, 7) or decimal (8) column by counting when its keys are whole numbers in
// a range no wider than about twice the column; false (nothing made) otherwise. The outputs equal
// the sort's: NULL (NaN read as minus infinity for doubles) is the smallest value, entries are the
// values themselves, and zero is written as its earliest element holds it.
// The n values are read from `parts`, one worker each.
bool KeyCounting(const Stretches& parts, int n, int lead, int type, int** rows_out, int* count_out,
                 void** list_out);

// Task 17's counting steps (kMarkSlots, kNumberRows, kKeySpan, kMarkKeys, kSlotSums, kSlotRanks,
// kNumberKeys) on one worker's block. Returns 0.
int CountingStep(CompileParam* p);

// ---- The whole sort's (MppCompileWholeSort.cpp) ----

// Numbers a double column (3..5, 7) of many distinct values by the whole sort; false (nothing
// made) for a column that the sample shows to hold few values, which the slices do better.
// The n values are read from `parts`, one worker each.
bool WholeSortCompile(const Stretches& parts, int n, int lead, int type, int** rows_out, int* count_out,
                      void** list_out);

// Task 17's whole-sort steps (kSampleClassify, kSampleScatter, kSampleSort, kSampleNumber) on one
// worker's block. Returns 0, or a failure code when a bucket's sort fails.
int WholeSortStep(CompileParam* p);

}  // namespace mpp_compile_parts
