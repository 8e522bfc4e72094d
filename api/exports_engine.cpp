// Exported engine, version, environment, character-code, log-setting and error-log calls.
#include <cstring>

#include "api/CDBTask.h"
#include "api/EngineOps.h"
#include "api/frame.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CharCode.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemInfo.h"
#include "q7api.h"

namespace {

// The operation hands out engine memory; the caller's outputs are written only after it succeeded.
int CopyVersion(int* versions, char* copyright) {
  int* engine_versions = nullptr;
  char* engine_copyright = nullptr;
  const int result = innerQ7GetVersion(&engine_versions, &engine_copyright);
  if (result < 0) return result;
  if (versions) memcpy(versions, engine_versions, 4 * sizeof(int));
  if (copyright) strcpy(copyright, engine_copyright);
  return result;
}

// The system query writes unsigned longs; the record the host reads has fixed 64-bit fields.
int SystemMemInfo(_TRMemInfo* info) {
  if (info == nullptr) {
    PutErrorLog("RQ7GetSystemMemInfo", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : info");
    return Q7_ERROR_INVALID_PARAMETER;
  }
  unsigned long total = 0, free = 0;
  const int result = getSystemMemInfo(&total, &free);
  info->total = total;
  info->free = free;
  return result;
}

int ReInitializeEngine() {
  CSmpEngine::Instance()->ReInitialize();
  return 0;
}

}  // namespace

Q7_EXPORT int RQ7GetVersion(int* versions, char* copyright) {
  return FullFrame("RQ7GetVersion", [&] { return CopyVersion(versions, copyright); });
}

Q7_EXPORT int Q7GetVersion(int** versions, char** copyright) {
  return PlainFrame([&] { return innerQ7GetVersion(versions, copyright); });
}

Q7_EXPORT int RQ7GetErrorLog(int* time, char* api, int* code, char* message) {
  return LightFrame([&] { return DBTASK()->GetErrorLog(time, api, code, message); });
}

Q7_EXPORT int Q7GetErrorLog(int* time, char** api, int* code, char** message) {
  return PlainFrame(
      [&] { return DBTASK()->GetErrorLog(time, api ? *api : nullptr, code, message ? *message : nullptr); });
}

Q7_EXPORT int RQ7ReInitializeMS(void) { return UnlockedFrame("RQ7ReInitializeMS", ReInitializeEngine); }

Q7_EXPORT int RQ7SetDBCharCode(const char* name) {
  return LightFrame([&] { return setDBCharCode(convertDBStringCode2DBCharCode(name)); });
}

Q7_EXPORT int RQ7SetKanjiCode(int locale) {
  return LightFrame([&] { return innerQ7SetKanjiCode(locale); });
}

Q7_EXPORT int Q7SetKanjiCode(int locale) {
  return PlainFrame([&] { return innerQ7SetKanjiCode(locale); });
}

Q7_EXPORT int RQ7LogInit(int option, const char* path) {
  return LightFrame([&] { return innerQ7LogInit(option, path); });
}

Q7_EXPORT int Q7LogInit(int option, const char* path) {
  return PlainFrame([&] { return innerQ7LogInit(option, path); });
}

Q7_EXPORT int RQ7GetEnvironment(_TREnvironment* env) {
  return LightFrame([&] { return innerQ7GetEnvironment(env); });
}

Q7_EXPORT int RQ7GetSystemMemInfo(_TRMemInfo* info) {
  return LightFrame([&] { return SystemMemInfo(info); });
}
