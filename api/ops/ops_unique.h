// Extraction of unique rows, the serial road: one row of a real table's set for each distinct
// combination of values of a list of filters, registered as a new set of the table.
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

// Keeps, of each group of rows of the set whose value numbers in the listed filters are all equal,
// the row that comes first in the set, and registers the kept rows as a new current set; returns
// its ID. The filter list is read up to its first entry below 1. keep_order != 0 keeps the set's
// order; 0 orders the rows by the last listed filter's value numbers, ties by the one before it,
// and so on. The first argument is not read. No saved flag changes.
//
// Refusals, each after one entry under "Q7ExtractUniqueReal": no table (Q7_ERROR_NO_SUCH_TABLE,
// "No Such Table: %d "); a join table (Q7_ERROR_NOT_REAL_TABLE, "Illegal table kind ( Not REAL )");
// a listed ID naming no filter (Q7_ERROR_NO_SUCH_FILTER, "Invalid Parameter : FltIDs"); no filter
// listed, or more than 512 (Q7_ERROR_INVALID_FILTER_LIST, "No Filter or FilterCount Overflow"); no
// set (Q7_ERROR_NO_SUCH_SET, "No Such Set: %d"). A set count overflow of the table is returned.
//
// Failures of the kernels and of allocation are NOT recorded here: the CQ7Exception is thrown on to
// the exported frame, which records it. A keep-order result that differs in size from the rows
// picked (a set holding a record twice) records (Q7_ERROR_INNER_ENGINE, "Error (Inner Engine)")
// and throws Q7_ERROR_INNER_ENGINE with an empty message. Any other exception gives
// Q7_ERROR_UNKNOWN without an entry. No set is registered on any failure; the work memory is
// released on every path.
// Sets of at least this many rows are grouped on the worker pool (the multi-key integrated sort,
// which numbers the runs of equal keys in parallel), smaller ones by serial counting passes. Both
// roads give the same rows in the same order, codes and entries, whatever the worker count.
constexpr int kUniqueParallelMinRows = 65536;

int innerQ7ExtractUniqueReal(int unused, int table_id, int set_id, const int* filter_ids, int keep_order);
