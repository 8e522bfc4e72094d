// Tables through the process's memory stream, and the memory size with the shared-memory image.
//
// Conventions of api/ops/OpCommon.h: each operation has its own catch and records its failures
// under "Q7" + its name. No collection: Q7_ERROR_NO_SUCH_TABLE ("No Table").
//
// Thread safety: call under the API lock (from inside an exported frame).
#pragma once

#include <cstdint>

// Reads the next table of the memory stream (TTableCollection::LoadRealTableMem) as a new table:
// its ID, or 0 when the stream is at its end. A negative result is recorded with an empty message.
int innerQ7LoadRealTableMem();
// Writes a real table into the memory stream (TTableCollection::SaveRealTableMem; a non-zero flag
// writes set 1 only). A negative result is returned without an entry of its own. Returns 0.
int innerQ7SaveRealTableMem(int table_id, int set1_only);
// The database's memory size (innerQ7GetTotalMemorySize) plus the shared-memory image's size
// (innerQ7GetSharedMemorySize) when the first is not negative.
int64_t innerQ7GetTotalMemorySizeWithShared();
