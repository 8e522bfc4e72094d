#include "api/EngineOps.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "foundation/CQ7Exception.h"
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
