// Exported calls of the shared-table registry: full frames over operations that return their codes.
// RQ7DetachAll's operation deletes tables through the operation layer, not through the exported
// RQ7DeleteTable: the API lock is not recursive and this frame already holds it.
#include "api/frame/frame.h"
#include "api/ops/ops_shmtables.h"
#include "q7api.h"

Q7_EXPORT int RQ7ShmSetup(int entries) {
  return FullFrame("RQ7ShmSetup", [&] { return innerRQ7ShmSetup(entries); });
}

Q7_EXPORT int RQ7ShmLoad(const char* directory, const char* name) {
  return FullFrame("RQ7ShmLoad", [&] { return innerRQ7ShmLoad(directory, name); });
}

Q7_EXPORT int RQ7ShmLoadAll(const char* directory, const char* pattern) {
  return FullFrame("RQ7ShmLoadAll", [&] { return innerRQ7ShmLoadAll(directory, pattern); });
}

Q7_EXPORT int RQ7ShmAttach(const char* name, int mode) {
  return FullFrame("RQ7ShmAttach", [&] { return innerRQ7ShmAttach(name, mode); });
}

Q7_EXPORT int RQ7ShmRelease(const char* name) {
  return FullFrame("RQ7ShmRelease", [&] { return innerRQ7ShmRelease(name); });
}

Q7_EXPORT int RQ7ShmReleaseAll(void) {
  return FullFrame("RQ7ShmReleaseAll", [] { return innerRQ7ShmReleaseAll(); });
}

Q7_EXPORT int RQ7DetachAll(void) {
  return FullFrame("RQ7DetachAll", [] { return innerRQ7DetachAll(); });
}

Q7_EXPORT int RQ7GetSharedMemoryTableList(char* names, int* count) {
  return FullFrame("RQ7GetSharedMemoryTableList",
                   [&] { return innerRQ7GetSharedMemoryTableList(names, count); });
}

Q7_EXPORT int RQ7GetSharedMemoryTableListEx(char* names, int* count) {
  return FullFrame("RQ7GetSharedMemoryTableListEx",
                   [&] { return innerRQ7GetSharedMemoryTableListEx(names, count); });
}

Q7_EXPORT int RQ7ShmShutdown(void) {
  return FullFrame("RQ7ShmShutdown", [] { return innerRQ7ShmShutdown(); });
}

Q7_EXPORT int RQ7ClearSharedMemory(void) {
  return FullFrame("RQ7ClearSharedMemory", [] { return innerRQ7ClearSharedMemory(); });
}

Q7_EXPORT int RQ7ShmDumpSMCS(const char* path) {
  return FullFrame("RQ7ShmDumpSMCS", [&] { return innerRQ7ShmDumpSMCS(path); });
}
