// The parallel task table: 72 numbered tasks that the worker pool runs.
//
// Row i holds the task's id text, a title and the task function. A task function receives the
// parameter block of its worker (see CWorkThread.h) and returns 0 or a positive value for success,
// or a negative error code. Rows 0, 8 and 11 never have a function; id 0 is reserved for ending a
// worker thread.
//
// The table is constant-initialised (no constructor runs), so task functions of any subsystem can
// register themselves from a static initialiser in their own .cpp, in any order:
//
//   MppTaskRegistrar r(17, mpp_compile);   // at namespace scope
//
// Registration happens only during static initialisation (single-threaded); afterwards the table
// is read-only and safe to read from any thread.
#pragma once

using MppTaskFunc = int (*)(void* param);

struct MppFuncMapEntry {
  const char* id;     // the task's name, e.g. "Q7_MPP_MEMCPY"
  const char* title;  // e.g. "Parallel Memcpy"
  MppTaskFunc func;   // null until the owning subsystem registers it
};

constexpr int kMppTaskCount = 72;
constexpr int kMppTaskMemcpy = 36;
constexpr int kMppTaskMemset = 39;

extern MppFuncMapEntry mpp_func_map[kMppTaskCount];

// True for the ids that may carry a function (1 to 71 except 8 and 11).
bool MppTaskIdIsRunnable(int id);

// Registers `func` as the function of row `id`. An id that can never carry a function is a
// programming error: it asserts in debug builds and is ignored otherwise.
class MppTaskRegistrar {
 public:
  MppTaskRegistrar(int id, MppTaskFunc func);
};
