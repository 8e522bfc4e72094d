// Parallel extraction of unique rows: of each group of rows of a real table's set whose value
// numbers agree in every listed filter, the row that comes first in the set, registered as a new set
// of the table. The engine task object's unique extraction calls it with its arguments unchanged.
//
// Thread safety: drives the worker pool; call with the API lock held, never from a task.
#pragma once

// table_id, set_id: the real table and its set. filter_ids: read up to, not including, the first
// entry below 1; 1 to 512 filters. keep_order != 0 keeps the set's order; 0 leaves the rows ordered
// by the last listed filter's value numbers, ties by the one before it, and so on. Pending values
// of the table's filters are merged first (value numbers must be final before they are sorted).
//
// Returns the new set's ID, now the table's current set (AddSet: a copy is registered), or:
//   Q7_ERROR_NO_SUCH_TABLE     no table (GetTable records "No Such Table: %d")
//   Q7_ERROR_NOT_REAL_TABLE    a join table
//   Q7_ERROR_NO_SUCH_FILTER    a listed ID naming no filter (GetFilter records it)
//   Q7_ERROR_INVALID_FILTER_LIST  no filter listed (null list, first entry below 1) or more than 512
//   Q7_ERROR_NO_SUCH_SET       no set (GetSet records it)
//   Q7_ERROR_EMPTY_SET         an empty set (nothing registered, unlike the serial extraction)
//   Q7_ERROR_SET_COUNT_OVERFLOW  the table holds the most sets already ("AddSet" records it)
// none of them thrown and none recorded here. Once the sort has begun, a CQ7Exception (allocation,
// the sort, a worker, or Q7_ERROR_INNER_ENGINE when a picked record stands twice in the set and
// keep_order is set) is thrown on; any other exception gives Q7_ERROR_UNKNOWN. No set is registered
// on failure and the work memory is released on every path.
int MppExtractUniqueReal(int table_id, int set_id, const int* filter_ids, int keep_order);
