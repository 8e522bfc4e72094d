// The error ring: the last 8 failures, read oldest first.
//
// The ring lives inside the engine object; PutErrorLog writes to the ring of the engine that
// exists now and does nothing when there is none. There is no lock of its own: it is written
// and read under the API lock, and never from worker threads.
#pragma once

#include <cstdint>

struct ErrorRing {
  static constexpr int kSlots = 8;
  static constexpr int kNameSize = 63;      // 62 characters and the zero
  static constexpr int kMessageSize = 127;  // 126 characters and the zero

  int32_t count = 0;       // unread entries, 0 to 8
  int32_t readIndex = 0;   // slot of the oldest unread entry
  int32_t writeIndex = 0;  // slot the next entry takes; may hold 8 until the next write wraps it
  int32_t code[kSlots] = {};
  uint32_t time[kSlots] = {};
  char funcName[kSlots][kNameSize] = {};
  char message[kSlots][kMessageSize] = {};

  void Put(const char* func_name, int error_code, const char* text);
  // Copies the oldest entry out and removes it; returns 0 (outputs untouched) when empty, else 1.
  // func_name must hold kNameSize bytes and text kMessageSize bytes; null outputs are skipped.
  int Get(int* time_out, char* func_name, int* code_out, char* text);
};

// The ring PutErrorLog writes to; the engine registers its own ring when it is built and
// clears it when it is destroyed.
void SetErrorRing(ErrorRing* ring);
ErrorRing* GetErrorRing();

// Adds one entry to the current engine's ring. Never fails; null texts count as empty.
void PutErrorLog(const char* funcName, int code, const char* message);
