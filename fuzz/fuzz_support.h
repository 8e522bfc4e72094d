// What the file-reader fuzz targets share: a private working directory, the input written to a
// file in it, and quiet logs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each target defines LLVMFuzzerInitialize through this: the engine started, the logs quiet.
#define Q7_FUZZ_INITIALIZE                             \
  extern "C" int LLVMFuzzerInitialize(int*, char***) { \
    q7fuzz::QuietEngine();                             \
    return 0;                                          \
  }

namespace q7fuzz {

// A directory of this process's own (made on first use), without a trailing slash.
const std::string& WorkDir();
// Writes the bytes as WorkDir()/name (a new file each time) and WorkDir() into dir (512 bytes, the
// directory buffer the file calls take).
void WriteInput(const char* name, const uint8_t* data, size_t size, char* dir);
// Starts the engine and sends the catalog message log to /dev/null, so that refused versions do
// not grow a file for every input.
void QuietEngine();

}  // namespace q7fuzz
