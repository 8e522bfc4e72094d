// The engine's one exception type, and the shared helpers for building failure messages.
//
// Inside the engine every failure is thrown as CQ7Exception by value; the exported frames
// catch it and turn it into the negative code the host sees. The message is always
// zero-terminated and at most kMessageSize - 1 characters; longer texts are cut, never refused.
#pragma once

#include <cstddef>
#include <cstdint>

#include "q7api.h"

class CQ7Exception {
 public:
  static constexpr size_t kMessageSize = 500;

  CQ7Exception();
  explicit CQ7Exception(int code);
  // A mutable text is taken as it stands (code 0, or the given code) ...
  explicit CQ7Exception(char* text);
  CQ7Exception(char* text, int code);
  // ... while a constant text is a printf format, and the code is Q7_ERROR_INVALID_OPERATION.
  explicit CQ7Exception(const char* format, ...) __attribute__((format(printf, 2, 3)));
  CQ7Exception(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));

  const char* Message() const { return message; }
  int ErrorCode() const { return code; }

 private:
  char message[kMessageSize];
  int32_t code;
};

// Formats into one process-wide 500-byte buffer (cut to 499 characters) that the next call
// overwrites. Only for use under the API lock; callers pass the result straight on.
char* getString(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copies at most size - 1 bytes and a terminating zero (when size > 0); returns strlen(src).
size_t qz7_strlcpy(char* dst, const char* src, size_t size);

// Throws Q7_ERROR_ADDRESS_ALIGNMENT with an empty message unless the address is a multiple of 8.
void check_addr_alignment(const void* address);
