// Exported memory-image calls: tables and the whole database as images in host memory, the
// engine-held table image, tables through the memory stream, and the memory size with the
// shared-memory image.
#include "api/frame/frame.h"
#include "api/ops/ops_images.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7SaveRealTable2Mem(int table_id, void* memory, unsigned long size, void** end) {
  return FullFrame("RQ7SaveRealTable2Mem",
                   [&] { return DBTASK()->SaveRealTable2Mem(table_id, size, memory, end); });
}

Q7_EXPORT int RQ7SaveDB2Mem(void* memory, unsigned long size, void** end) {
  return FullFrame("RQ7SaveDB2Mem", [&] { return DBTASK()->SaveDB2Mem(size, memory, end); });
}

Q7_EXPORT int RQ7LoadRealTableFromMem(const void* memory, void** end) {
  return FullFrame("RQ7LoadRealFromMem",
                   [&] { return DBTASK()->LoadRealTableFromMem(HostReadOnly(memory), end); });
}

Q7_EXPORT int RQ7LoadDBFromMem(const void* memory, void** end) {
  return FullFrame("RQ7LoadDBFromMem", [&] { return DBTASK()->LoadDBFromMem(HostReadOnly(memory), end); });
}

Q7_EXPORT int64_t RQ7GetRealTableMemSize(int table_id) {
  return FullFrame("RQ7GetRealTableMemSize", [&] { return DBTASK()->GetRealTableMemSize(table_id); });
}

Q7_EXPORT int RQ7GetMemRealTable(int table_id, void** image, unsigned long* size) {
  return FullFrame("RQ7GetMemRealTable", [&] { return DBTASK()->GetMemRealTable(table_id, image, size); });
}

Q7_EXPORT int RQ7LoadMemRealTable(const void* image, unsigned long size) {
  return FullFrame("RQ7LoadMemRealTable",
                   [&] { return DBTASK()->LoadMemRealTable(HostReadOnly(image), size); });
}

Q7_EXPORT int RQ7FreeMemRealTable(void) {
  return FullFrame("RQ7FreeMemRealTable", [] { return DBTASK()->FreeMemRealTable(); });
}

Q7_EXPORT int RQ7LoadRealTableMem(void) {
  return LightFrame([] { return innerQ7LoadRealTableMem(); });
}
Q7_EXPORT int Q7LoadRealTableMem(void) {
  return PlainFrame([] { return innerQ7LoadRealTableMem(); });
}

Q7_EXPORT int RQ7SaveRealTableMem(int table_id, int set1_only) {
  return LightFrame([&] { return innerQ7SaveRealTableMem(table_id, set1_only); });
}
Q7_EXPORT int Q7SaveRealTableMem(int table_id, int set1_only) {
  return PlainFrame([&] { return innerQ7SaveRealTableMem(table_id, set1_only); });
}

Q7_EXPORT int64_t RQ7GetTotalMemorySizeWithShared(void) {
  return FullFrame("RQ7GetTotalMemorySizeWithShared", [] { return innerQ7GetTotalMemorySizeWithShared(); });
}
