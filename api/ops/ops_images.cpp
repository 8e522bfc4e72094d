// Tables through the process's memory stream, and memory sizes with the shared-memory image.
#include "api/ops/ops_images.h"

#include "api/ops/OpCommon.h"
#include "api/ops/ops_shm.h"
#include "database/TTableCollection.h"

int innerQ7LoadRealTableMem() {
  constexpr char kRing[] = "Q7LoadRealTableMem";
  return ChangedOnSuccess(Changes::kTables, RunOp(kRing, [&] {
                            return CheckInner(kRing, RequireDatabase(kRing)->LoadRealTableMem(), "");
                          }));
}

int innerQ7SaveRealTableMem(int table_id, int set1_only) {
  constexpr char kRing[] = "Q7SaveRealTableMem";
  return RunOp(kRing, [&] { return RequireDatabase(kRing)->SaveRealTableMem(table_id, set1_only); });
}

int64_t innerQ7GetTotalMemorySizeWithShared() {
  constexpr char kRing[] = "Q7GetTotalMemorySizeWithShared";
  return RunOp(kRing, [&]() -> int64_t {
    const int64_t total = RequireDatabase(kRing)->GetTotalMemorySize();
    return total < 0 ? total : total + innerQ7GetSharedMemorySize();
  });
}
