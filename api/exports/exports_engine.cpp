// Exported engine, version, environment, character-code, log-setting and error-log calls.
#include "api/frame/frame.h"
#include "api/ops/EngineOps.h"
#include "api/task/CDBTask.h"
#include "q7api.h"

Q7_EXPORT int RQ7GetVersion(int* versions, char* copyright) {
  return FullFrame("RQ7GetVersion", [&] { return innerRQ7GetVersion(versions, copyright); });
}

Q7_EXPORT int Q7GetVersion(int** versions, char** copyright) {
  return PlainFrame([&] { return innerQ7GetVersion(versions, copyright); });
}

Q7_EXPORT int RQ7GetErrorLog(int* time, char* api, int* code, char* message) {
  return LightFrame([&] { return DBTASK()->GetErrorLog(time, api, code, message); });
}

Q7_EXPORT int Q7GetErrorLog(int* time, char** api, int* code, char** message) {
  return PlainFrame([&] { return innerQ7GetErrorLog(time, api, code, message); });
}

Q7_EXPORT int RQ7ReInitializeMS(void) { return UnlockedFrame("RQ7ReInitializeMS", innerQ7ReInitializeMS); }

Q7_EXPORT int RQ7SetDBCharCode(const char* name) {
  return LightFrame([&] { return innerQ7SetDBCharCode(name); });
}

Q7_EXPORT int RQ7SetKanjiCode(int locale) {
  return LightFrame([&] { return SetDatabaseKanjiCode(locale); });
}

Q7_EXPORT int Q7SetKanjiCode(int locale) {
  return PlainFrame([&] { return SetDatabaseKanjiCode(locale); });
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
  return LightFrame([&] { return innerQ7GetSystemMemInfo(info); });
}
