// The worker-pool side of the derived tables: the tasks behind TRealTable::MppCombineRealTable,
// MppExtractRealTable, MppDuplicateRealTable and MppCondenseTable, and GenFilter2, which builds a
// whole filter from plain values.
//
// The column-building tasks share one pattern: the new table's columns (or the table's filters, for
// the condense) are units of work; every worker walks the units from its own index to the last and
// builds each unit it claims under the engine's write lock, without the lock. Each unit is built
// exactly once, whatever the worker count. The tables themselves run the tasks (TRealTable.h); a
// task must not be started any other way, as its parameter block carries the table's own plan.
//
// Workers never look anything up in a table and never write the error ring: the calling thread
// finds every filter and set and checks every argument first, so a failure in a worker is an
// allocation or a damaged array, returned as the worker's code and rethrown by the pool.
#pragma once

class TFilter;

// A new filter (the caller owns it) with the given ID and name over n values of `type` (2 to 8),
// each `width` bytes (the type's raw width: 4 for INTEGER, 8 for DOUBLE, DATE, TIME, DATETIME and
// for STRING text addresses, 16 for DECIMAL), compiled as a table compiles a column: value number 0
// is the NULL, the list ascending and distinct. The name is made file-safe in place. Thrown, with
// nothing left allocated: Q7_ERROR_ILLEGAL_FILTER_NAME for a name ToFileName refuses,
// Q7_ERROR_INVALID_DATA_TYPE for a type outside 2 to 8, Q7_ERROR_INVALID_UNIT_WIDTH for a width that
// is not the type's or a negative n, Q7_ERROR_INVALID_PARAMETER for null data with n > 0,
// Q7_ERROR_OUT_OF_MEMORY. Records nothing, so worker tasks may call it.
TFilter* GenFilter2(int id, char* name, int type, int n, int width, const void* data);

// Tasks 12, 13, 34 and 35 (foundation/mpp_tasks.h), registered by RegisterDatabaseTasks. Each
// returns 0 or the negative code of the unit that failed.
int mpp_combine_realtables(void* param);
int mpp_extract_realtables(void* param);
int mpp_condense_realtable(void* param);
int mpp_duplicate_realtable(void* param);
