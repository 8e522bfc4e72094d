// Exported calls of the shared-memory database image: light frames, their operations catching and
// recording their own failures.
#include "api/frame/frame.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_shm.h"
#include "q7api.h"

Q7_EXPORT int RQ7CreateSharedMemoryDB(const char* directory, const char* name) {
  return LightFrame([&] { return innerQ7CreateSharedMemoryDB(directory, name); });
}

Q7_EXPORT int RQ7LoadDBFromSharedMemory(void) {
  return LightFrame([] { return innerQ7LoadDBFromSharedMemory(); });
}

Q7_EXPORT int RQ7UnMapSharedMemory(void) {
  return LightFrame([] { return innerQ7UnMapSharedMemory(); });
}

Q7_EXPORT int RQ7UnLoadSharedMemoryDB(void) {
  return LightFrame([] { return innerQ7UnLoadSharedMemoryDB(); });
}

Q7_EXPORT int RQ7ReleaseSharedMemoryArea(void) {
  return LightFrame([] { return innerQ7ReleaseSharedMemoryArea(); });
}

Q7_EXPORT int RQ7IsSharedMemoryTable(int table) {
  return LightFrame([&] {
    const int in_image = innerQ7SharedMemoryTable(table);
    return in_image != 0 ? in_image : innerQ7TSharedMemoryTable(table);
  });
}
