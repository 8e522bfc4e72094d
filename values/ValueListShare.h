// Holder counts of value lists that several columns share.
//
// After a merge that leaves two columns (filters) on one value list, the list has two holders. A
// holder never deletes a list itself: it calls ReleaseValueList, which deletes the list when the
// last holder lets go. Before a holder changes its list in place (condensing, appending pending
// values, rewriting entries) it calls UnshareValueList, which gives it a private copy when others
// still hold the list, so a change through one column never reaches, frees or compacts the list
// under another.
//
// A list that was never retained has one implicit holder: ReleaseValueList deletes it at once and
// UnshareValueList leaves it alone. So code that owns a list outright needs nothing more than
// ReleaseValueList in place of delete. A column that borrows another column's list (TFilter's
// FSharedVL) retains it like any other holder and releases it when it lets go, so the owner
// replacing or freeing its list never frees it under the borrower.
//
// Thread safety: the counts are guarded by an internal mutex, so holders on worker threads may
// retain and release. Changing the list object itself still needs the caller's own protection.
#pragma once

class TBaseArray;

// Adds one holder (a list seen for the first time goes from 1 to 2). Null is ignored.
// Q7_ERROR_OUT_OF_MEMORY leaves the count as it was.
void RetainValueList(TBaseArray* list);
// Drops one holder; deletes the list when none is left. Null is ignored.
void ReleaseValueList(TBaseArray* list);
// The number of holders: 1 for a list that was never retained.
int ValueListHolders(const TBaseArray* list);
// When *list has more than one holder, replaces *list by a private copy (CopyArray, with the
// attribute block copied too) and drops the caller's hold on the shared one. On failure
// (Q7_ERROR_OUT_OF_MEMORY) nothing has changed.
void UnshareValueList(TBaseArray** list);
