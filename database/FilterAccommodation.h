// Giving the value-number columns of two filters one shared value list: the filter forms of the
// value-list merge (values/Accommodation.h for the serial merge, values/MppCompile.h for the
// parallel one).
//
// After a merge both filters' value numbers point into the new sorted, distinct list (the order of
// each filter's values is kept, so equal values of the two filters get equal value numbers), the
// old lists are released (each freed with its last holder, values/ValueListShare.h) and the new
// list carries the first filter's attribute block (a DATE stays a DATE, a DECIMAL keeps a's scale
// and mode). Values are merged as stored: DECIMAL lists of different scales must be brought to
// one scale first. Identical lists change nothing.
//
// Pending values are folded into each filter's list first (TFilter::MergeTVL), since a pending
// value number is no index of the list; that is the only other change made to the filters.
//
// Thread safety: none; under the API lock. MppAccommodation drives the worker pool, so it must be
// called from the thread that drives it, never from inside a task.
//
// Failures (thrown as CQ7Exception; the value numbers and lists are then as before the merge):
//   Q7_ERROR_INVALID_PARAMETER   a null filter, or one without value numbers or value list;
//   Q7_ERROR_DATA_TYPE_MISMATCH  lists of different basic types (any two double kinds merge);
//   Q7_ERROR_OUT_OF_MEMORY.
#pragma once

class TFilter;

// Serial merge. Both filters then hold the one new list: a as its own, b as borrowed (FSharedVL).
void Accommodation(TFilter* a, TFilter* b);

// The same merge on the worker pool, with the same value numbers. With share non-zero both filters
// hold the one new list as Accommodation leaves them; with share 0 b gets its own copy of it.
void MppAccommodation(TFilter* a, TFilter* b, int share);
