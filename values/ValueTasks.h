// The worker tasks of values/: the parallel merge, compile and renumbering of value lists
// (MppCompile.h) and the parallel type conversion (TypeConv.h).
#pragma once

// Puts the functions of this folder's task rows into the task table (mpp_func_map.h). Must run
// before any of them is used; the library start and every program that links values/ directly
// call it at start-up. Idempotent: later calls do nothing, so they never write the table while
// tasks read it.
void RegisterValueTasks();
