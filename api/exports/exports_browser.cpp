// Exported file-browser calls: light frames, their operations recording their own failures.
#include "api/frame/frame.h"
#include "q7api.h"
#include "sharing/FileBrowser.h"

Q7_EXPORT long long RQ7BrowserGetFileSize(const char* path) {
  return LightFrame([&]() -> long long { return innerRQ7BrowserGetFileSize(path); });
}

Q7_EXPORT int RQ7BrowserDelFile(const char* path) {
  return LightFrame([&] { return innerRQ7BrowserDelFile(path); });
}

Q7_EXPORT int RQ7BrowserPutFile(const char* path, int length, const char* data) {
  return LightFrame([&] { return innerRQ7BrowserPutFile(path, length, data); });
}

Q7_EXPORT int RQ7BrowserPutFileEx(const char* path, int length, int truncate, const char* data) {
  return LightFrame([&] { return innerRQ7BrowserPutFileEx(path, truncate, length, data); });
}

Q7_EXPORT int RQ7BrowserGetFile(const char* path, int* size, int* length, char* data) {
  return LightFrame([&] { return innerRQ7BrowserGetFile(path, size, length, data); });
}

Q7_EXPORT int RQ7BrowserGetFile64(const char* path, long long* size, int* length, char* data) {
  return LightFrame([&] { return innerRQ7BrowserGetFile64(path, size, length, data); });
}

Q7_EXPORT int RQ7BrowserGetFileEx(const char* path, int offset, int* size, int* length, char* data) {
  return LightFrame([&] { return innerRQ7BrowserGetFileEx(path, offset, size, length, data); });
}

Q7_EXPORT int RQ7BrowserGetFileEx64(const char* path, long long offset, long long* size, int* length,
                                    char* data) {
  return LightFrame([&] { return innerRQ7BrowserGetFileEx64(path, offset, size, length, data); });
}

Q7_EXPORT int RQ7BrowserGetFileList(const char* search, int start, int* total, int* returned, char* names,
                                    char* attrs) {
  return LightFrame([&] { return innerRQ7BrowserGetFileList(search, start, total, returned, attrs, names); });
}

Q7_EXPORT int RQ7BrowserMakeDirectory(const char* path) {
  return LightFrame([&] { return innerRQ7BrowserMakeDirectory(path); });
}

Q7_EXPORT int RQ7BrowserSetCurrentDirectory(const char* path) {
  return LightFrame([&] { return innerRQ7BrowserSetCurrentDirectory(path); });
}

Q7_EXPORT int RQ7BrowserGetCurrentDirectory(char* path) {
  return LightFrame([&] { return innerRQ7BrowserGetCurrentDirectory(path); });
}

Q7_EXPORT int RQ7BrowserDelDirectory(const char* path, int recursive) {
  return LightFrame([&] { return innerRQ7BrowserDelDirectory(path, recursive); });
}

Q7_EXPORT int RQ7BrowserMove(const char* from, const char* to) {
  return LightFrame([&] { return innerRQ7BrowserMove(from, to); });
}
