// The task object's base services: version, error log, time texts, and the naming helpers.
#include "api/task/CDBTask.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "api/ops/EngineOps.h"
#include "api/ops/OpCommon.h"
#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/FailureCode.h"
#include "values/DateTime.h"

namespace {

// The copyright buffer callers of GetVersion hold.
constexpr size_t kCopyrightSize = 512;

}  // namespace

// ---- Library entry and exit, event log ----

void LibEntry() {}

void LibExit() {}

void WriteToEventLog(int /*code*/, TErrorLevel /*level*/, const char* /*text*/) {}

void WriteToEventLog(int /*code*/, TErrorLevel /*level*/, int /*count*/, const char** /*texts*/) {}

// ---- Base services ----

int CDBTask::GetVersion(int* version, char* text) {
  int* versions = nullptr;
  char* copyright = nullptr;
  innerQ7GetVersion(&versions, &copyright);
  if (version != nullptr) std::copy(versions, versions + 4, version);
  if (text != nullptr) qz7_strlcpy(text, copyright, kCopyrightSize);
  return 0;
}

int CDBTask::GetErrorLog(int* time, char* api, int* code, char* message) {
  ErrorRing* ring = GetErrorRing();
  return ring ? ring->Get(time, api, code, message) : 0;
}

int CDBTask::StrToTime(char* text, double* value) {
  if (text == nullptr || value == nullptr) return Q7_ERROR_INVALID_PARAMETER;
  try {
    int err = 0;
    *value = Str2Time(text, 0, &err);
    return 0;
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  } catch (...) {
    return CurrentFailureCode();
  }
}

// ---- Naming helpers ----

void getUniqueString(char* out, const char* prefix, int number) { MakeGeneratedName(prefix, number, out); }

int ValidateNames(const char* name, char* out, const char* prefix, const uint8_t* counter) {
  if (name == nullptr || name[0] == '\0') {
    getUniqueString(out, prefix, *counter);
    return 1;
  }
  const size_t length = strnlen(name, kMaxNameLength + 1);
  if (length > kMaxNameLength) return 0;
  memcpy(out, name, length + 1);
  return 1;
}

char int2char(int n) {
  char text[16];
  snprintf(text, sizeof text, "%d", n);
  return text[0];
}
