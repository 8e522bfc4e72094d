// The worker-pool side of turning a join set into a real table (TRealTable::ConvertJoinToReal and
// MppConvertJoinToReal, TTableCollection::AddRealized and MppAddRealized, all defined in
// join/TRealTable_joinreal.cpp).
//
// Both forms run the same two phases on the pool: the master and slave record of every joined row
// (row chunks), then the new table's columns (one column per claim, claimed under the engine's
// write lock). Workers never look anything up and never write the error ring: the calling thread
// finds every set and filter first, so a worker's failure is an allocation or a damaged array,
// returned as its code and rethrown by the pool.
#pragma once

// Task 14 (foundation/mpp_tasks.h), registered by RegisterJoinTasks. Returns 0 or the negative code
// of the unit that failed. Started only by the conversions, whose parameter blocks carry their plan.
int mpp_realize_jointable(void* param);
