// The worker tasks of database/: the parallel set searches (TSetArray_mpp.cpp) and the derived
// tables (MppDerive.h).
#pragma once

// Puts the functions of this folder's task rows into the task table (mpp_func_map.h). Must run
// before any of them is used; the library start and every program that links database/ directly
// call it at start-up. Idempotent: later calls do nothing, so they never write the table while
// tasks read it.
void RegisterDatabaseTasks();
