// The parallel task table: 72 numbered tasks that the worker pool runs (ids in mpp_tasks.h).
//
// Row i holds the task's id text, a title and the task function. A task function receives the
// parameter block of its worker (see CWorkThread.h) and returns 0 or a positive value for success,
// or a negative error code. Rows 0, 8 and 11 never have a function; id 0 is reserved for ending a
// worker thread.
//
// The table is constant-initialised with the foundation's own tasks (fill and copy). Each later
// folder fills its rows through one explicit start-up call of its own (RegisterValueTasks,
// RegisterKernelTasks, RegisterDatabaseTasks), which the library start and the programs that link
// a folder directly make before the pool runs anything of that folder:
//
//   RegisterMppTask(kMppTaskCompile, mpp_compile);
//
// Registration happens at start-up, before any task of the registered rows can run; afterwards the
// table is read-only and safe to read from any thread.
#pragma once

#include "foundation/mpp_tasks.h"

using MppTaskFunc = int (*)(void* param);

struct MppFuncMapEntry {
  const char* id;     // the task's name, e.g. "Q7_MPP_MEMCPY"
  const char* title;  // e.g. "Parallel Memcpy"
  MppTaskFunc func;   // null until the owning subsystem registers it
};

extern MppFuncMapEntry mpp_func_map[kMppTaskCount];

// True for the ids that may carry a function (1 to 71 except 8 and 11).
bool MppTaskIdIsRunnable(int id);

// Makes `func` the function of row `id`. An id that can never carry a function is a programming
// error: it asserts in debug builds and is ignored otherwise. Not thread-safe: call at start-up,
// while no task of row `id` can run.
void RegisterMppTask(int id, MppTaskFunc func);
