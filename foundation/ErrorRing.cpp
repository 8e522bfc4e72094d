// The error ring: recording failures and reading the last 8 back, oldest first.
#include "foundation/ErrorRing.h"

#include <cstring>
#include <ctime>

#include "foundation/CQ7Exception.h"

namespace {
ErrorRing* g_ring = nullptr;
}

void SetErrorRing(ErrorRing* ring) { g_ring = ring; }
ErrorRing* GetErrorRing() { return g_ring; }

void ErrorRing::Put(const char* func_name, int error_code, const char* text) {
  if (writeIndex > kSlots - 1) writeIndex = 0;
  const int old_count = count;
  count = old_count + 1;
  if (old_count >= kSlots) {
    // The slot about to be overwritten is the oldest one: reading moves past it.
    if (++readIndex > kSlots - 1) readIndex = 0;
  }
  if (count > kSlots) count = kSlots;
  const uint64_t ms = static_cast<uint64_t>(clock()) * 1000u / CLOCKS_PER_SEC;
  time[writeIndex] = static_cast<uint32_t>(ms);
  code[writeIndex] = error_code;
  qz7_strlcpy(funcName[writeIndex], func_name ? func_name : "", kNameSize);
  qz7_strlcpy(message[writeIndex], text ? text : "", kMessageSize);
  ++writeIndex;
}

int ErrorRing::Get(int* time_out, char* func_name, int* code_out, char* text) {
  if (count == 0) return 0;
  if (time_out) *time_out = static_cast<int>(time[readIndex]);
  if (func_name) memcpy(func_name, funcName[readIndex], kNameSize);
  if (code_out) *code_out = code[readIndex];
  if (text) memcpy(text, message[readIndex], kMessageSize);
  readIndex = readIndex < kSlots - 1 ? readIndex + 1 : 0;
  --count;
  return 1;
}

void PutErrorLog(const char* funcName, int code, const char* message) {
  if (g_ring) g_ring->Put(funcName, code, message);
}
