// Exported memory-stream calls: light frames (their operations record their own failures) with
// plain-frame Q7 mirrors.
#include "api/frame/frame.h"
#include "api/ops/ops_memstream.h"
#include "q7api.h"

Q7_EXPORT int RQ7MemStreamOpenWrite(void) {
  return LightFrame([] { return innerQ7MemStreamOpenWrite(); });
}
Q7_EXPORT int Q7MemStreamOpenWrite(void) {
  return PlainFrame([] { return innerQ7MemStreamOpenWrite(); });
}

Q7_EXPORT int RQ7MemStreamWrite(const void* data, long length) {
  return LightFrame([&] { return innerQ7MemStreamWrite(data, length); });
}
Q7_EXPORT int Q7MemStreamWrite(const void* data, long length) {
  return PlainFrame([&] { return innerQ7MemStreamWrite(data, length); });
}

Q7_EXPORT int RQ7MemStreamGetWriteBuf(long* size, void** buffer) {
  return LightFrame([&] { return innerQ7MemStreamGetWriteBuf(size, buffer); });
}
Q7_EXPORT int Q7MemStreamGetWriteBuf(long* size, void** buffer) {
  return PlainFrame([&] { return innerQ7MemStreamGetWriteBuf(size, buffer); });
}

Q7_EXPORT int RQ7MemStreamOpenRead(long length, void* data) {
  return LightFrame([&] { return innerQ7MemStreamOpenRead(length, data); });
}
Q7_EXPORT int Q7MemStreamOpenRead(long length, void* data) {
  return PlainFrame([&] { return innerQ7MemStreamOpenRead(length, data); });
}

Q7_EXPORT int RQ7MemStreamRead(void* out, long length) {
  return LightFrame([&] { return innerQ7MemStreamRead(out, length); });
}
Q7_EXPORT int Q7MemStreamRead(void* out, long length) {
  return PlainFrame([&] { return innerQ7MemStreamRead(out, length); });
}

Q7_EXPORT int RQ7MemStreamGetStatus(int* mode, long* size, long* position, void** buffer) {
  return LightFrame([&] { return innerQ7MemStreamGetStatus(mode, size, position, buffer); });
}
Q7_EXPORT int Q7MemStreamGetStatus(int* mode, long* size, long* position, void** buffer) {
  return PlainFrame([&] { return innerQ7MemStreamGetStatus(mode, size, position, buffer); });
}

Q7_EXPORT int RQ7MemStreamClose(void) {
  return LightFrame([] { return innerQ7MemStreamClose(); });
}
Q7_EXPORT int Q7MemStreamClose(void) {
  return PlainFrame([] { return innerQ7MemStreamClose(); });
}
