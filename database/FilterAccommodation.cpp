// Giving the value-number columns of two filters one shared value list.
#include "database/FilterAccommodation.h"

#include "database/TFilter.h"
#include "foundation/CQ7Exception.h"
#include "q7api.h"
#include "values/Accommodation.h"
#include "values/MppCompile.h"
#include "values/TBaseArray.h"
#include "values/TIntArray.h"

namespace {

// A pending value number (negative) would index the merge maps out of bounds.
void Prepare(TFilter* f, bool parallel) {
  if (f == nullptr || f->PV == nullptr || f->VL == nullptr) throw CQ7Exception(Q7_ERROR_INVALID_PARAMETER);
  if (f->TVLCount > 0) f->MergeTVL(parallel);
}

// The merge leaves the new list's first holder on a; b's hold is a borrower's, so the list is
// counted once in the table's memory size.
void MarkHolders(TFilter* a, TFilter* b, bool b_borrows) {
  a->FSharedVL = 0;
  b->FSharedVL = b_borrows ? 1 : 0;
}

}  // namespace

void Accommodation(TFilter* a, TFilter* b) {
  Prepare(a, false);
  Prepare(b, false);
  if (AccommodateColumns(a->PV, &a->VL, b->PV, &b->VL) == 1) MarkHolders(a, b, true);
}

void MppAccommodation(TFilter* a, TFilter* b, int share) {
  Prepare(a, true);
  Prepare(b, true);
  if (MppAccommodateColumns(a->PV, &a->VL, b->PV, &b->VL, share) == 1) MarkHolders(a, b, share != 0);
}
