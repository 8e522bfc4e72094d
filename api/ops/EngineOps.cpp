// The engine operations: version, environment, character codes, error log, restart and settings.
#include "api/ops/EngineOps.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "api/ops/OpCommon.h"
#include "api/task/CDBTask.h"
#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CharCode.h"
#include "foundation/ErrorRing.h"
#include "foundation/HistoryLog.h"
#include "foundation/SystemHeader.h"
#include "foundation/SystemInfo.h"
#include "foundation/TextHelpers.h"

namespace {

constexpr char kCopyright[] = "Qz7Engine - Copyright (C) The Qz7Engine developers";
int g_versions[4];
char g_copyright[512];

}  // namespace

int innerQ7GetVersion(int** versions, char** copyright) {
  memcpy(g_versions, Qz7Versions, sizeof g_versions);
  qz7_strlcpy(g_copyright, kCopyright, sizeof g_copyright);
  if (versions) *versions = g_versions;
  if (copyright) *copyright = g_copyright;
  return 0;
}

// The operation hands out engine memory; the caller's outputs are written only after it succeeded.
int innerRQ7GetVersion(int* versions, char* copyright) {
  int* engine_versions = nullptr;
  char* engine_copyright = nullptr;
  const int result = innerQ7GetVersion(&engine_versions, &engine_copyright);
  if (result < 0) return result;
  if (versions) memcpy(versions, engine_versions, 4 * sizeof(int));
  if (copyright) strcpy(copyright, engine_copyright);
  return result;
}

int innerQ7GetErrorLog(int* time, char** api, int* code, char** message) {
  return DBTASK()->GetErrorLog(time, api ? *api : nullptr, code, message ? *message : nullptr);
}

int innerQ7ReInitializeMS() {
  CSmpEngine::Instance()->ReInitialize();
  return 0;
}

namespace {

// The database character code is byte 4 of the header that opens every database and table file, an
// empty database's too: a save after a change writes another file, so the change clears the tables
// flag. Setting the code it already has changes nothing.
template <class Set>
int SetCharCode(Set&& set) {
  const unsigned char before = getSystemInfoDBCharCode();
  const int result = set();
  if (result >= 0 && getSystemInfoDBCharCode() != before) MarkTablesChanged();
  return result;
}

}  // namespace

int innerQ7SetDBCharCode(const char* name) {
  return SetCharCode([&] { return setDBCharCode(convertDBStringCode2DBCharCode(name)); });
}

int SetDatabaseKanjiCode(int locale) {
  return SetCharCode([&] { return innerQ7SetKanjiCode(locale); });
}

int innerQ7LogInit(int option, const char* path) {
  gLogOutOption = option;
  if (option != 3 || path == nullptr) return 0;
  if (qz7mbsstr(path, "//") != nullptr) {
    qz7_strlcpy(logFile, path, sizeof logFile);
  } else {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
    // The name is only kept, never opened; a name longer than the buffer is cut, not overrun.
    const std::string name = std::string(cwd) + "//" + path;
    qz7_strlcpy(logFile, name.c_str(), sizeof logFile);
  }
  return 0;
}

int innerQ7GetEnvironment(_TREnvironment* env) {
  if (env == nullptr) {
    PutErrorLog("RQ7GetEnvironment", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : env");
    return Q7_ERROR_INVALID_PARAMETER;
  }
  getHostName(env->hostName);
  int os_kind = 0, major = 0, minor = 0, processors = 0, second = 0, third = 0;
  getSystemInfo(&os_kind, &major, &minor);
  getHardwareInfo(&processors, &second, &third);
  env->osKind = os_kind;
  env->osMajor = major;
  env->osMinor = minor;
  env->hardwareThird = third;
  env->endian = getSystemEndian();
  env->wordSize = 64;
  env->processors = processors;
  env->hardwareSecond = second;
  memset(env->osCharCode, 0, sizeof env->osCharCode);
  memset(env->dbCharCode, 0, sizeof env->dbCharCode);
  getOSCharCode(env->osCharCode);
  getDBCharCode(env->dbCharCode, false);
  if (strcmp(env->dbCharCode, "NotDefined") == 0) {
    setSystemInfoDBCharCode(kDefaultDBCharCode);
    memset(env->dbCharCode, 0, sizeof env->dbCharCode);
    getDBCharCode(env->dbCharCode, false);
  }
  return 0;
}

// The system query writes unsigned longs; the record the host reads has fixed 64-bit fields.
int innerQ7GetSystemMemInfo(_TRMemInfo* info) {
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
