// CQ7Exception and the helpers that build failure messages.
#include "foundation/CQ7Exception.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {
char g_string_buffer[CQ7Exception::kMessageSize];
}

CQ7Exception::CQ7Exception() : message{}, code(0) {}

CQ7Exception::CQ7Exception(int c) : message{}, code(c) {}

CQ7Exception::CQ7Exception(char* text) : CQ7Exception(text, 0) {}

CQ7Exception::CQ7Exception(char* text, int c) : message{}, code(c) {
  qz7_strlcpy(message, text ? text : "", sizeof message);
}

CQ7Exception::CQ7Exception(const char* format, ...) : message{}, code(Q7_ERROR_INVALID_OPERATION) {
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
}

CQ7Exception::CQ7Exception(int c, const char* format, ...) : message{}, code(c) {
  va_list args;
  va_start(args, format);
  vsnprintf(message, sizeof message, format, args);
  va_end(args);
}

char* getString(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(g_string_buffer, sizeof g_string_buffer, format, args);
  va_end(args);
  return g_string_buffer;
}

size_t qz7_strlcpy(char* dst, const char* src, size_t size) {
  const size_t len = strlen(src);
  if (size > 0) {
    const size_t n = len < size - 1 ? len : size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
  }
  return len;
}

void check_addr_alignment(const void* address) {
  if (reinterpret_cast<uintptr_t>(address) & 7) throw CQ7Exception(Q7_ERROR_ADDRESS_ALIGNMENT);
}
