// What the file-reader fuzz targets share: a private working directory, the input written to a
// file in it, quiet logs, and a host's use of whatever the input loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each target defines LLVMFuzzerInitialize through this: the engine started, the logs quiet.
#define Q7_FUZZ_INITIALIZE \
  extern "C" int LLVMFuzzerInitialize(int*, char***) { \
    q7fuzz::QuietEngine(); \
    return 0; \
  }

namespace q7fuzz {

// A directory of this process's own (made on first use), without a trailing slash.
const std::string& WorkDir();
// Writes the bytes as WorkDir()/name (a new file each time) and WorkDir() into dir (512 bytes, the
// directory buffer the file calls take).
void WriteInput(const char* name, const uint8_t* data, size_t size, char* dir);
// Starts the engine as the library start does (StartLibrary) and sends the catalog message log to
// /dev/null, so that refused versions do not grow a file for every input.
void QuietEngine();

// Uses the given tables of the engine's database as a host would, through the operation layer and
// the block reads: every search code (with and without the NULL-excluding bit) and the other
// searches on the first filter of each value type, from set 1 and from the current set (which may
// carry stored sorted views), sorts, set operations, block reads of the stored and the new sets,
// and removal of the new sets. Refusals with codes are expected; the targets look for crashes,
// leaks and undefined behaviour. Bounded: at most kMaxTables tables and kMaxFilters filters each.
// Call without the API lock (the block reads take it).
inline constexpr int kMaxTables = 2;
inline constexpr int kMaxFilters = 4;
void ExerciseTables(const int* table_ids, int count);
// ExerciseTables over the first tables of the engine's database.
void ExerciseDatabase();

// Aborts (a finding for libFuzzer) with the message when `ok` is false: an invariant of the engine
// broke, such as a saved database that does not load again.
void Require(bool ok, const char* what, int code);

}  // namespace q7fuzz
