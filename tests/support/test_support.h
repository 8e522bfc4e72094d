// Helpers that the tests of every folder share: the code a call throws, a scratch directory and
// its files, an error ring of the test's own, and a cap on the engine's worker count.
//
// Header only; tests include it as "tests/support/test_support.h". Not thread-safe: used by the
// test's own thread.
#pragma once

#include <gtest/gtest.h>
#include <regex.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"

namespace q7test {

// Runs f; the code of the CQ7Exception it throws, 0 when it returns.
template <class F>
int CodeOf(F&& f) {
  try {
    f();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  return 0;
}

// Runs f; the message of the CQ7Exception it throws, "" when it returns.
template <class F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const CQ7Exception& e) {
    return e.Message();
  }
  return "";
}

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7testXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Dir() const { return path_.string(); }
  // The path of a file in the directory.
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Writes content to a file in the directory; its path.
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = File(name);
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The names in a directory, sorted.
inline std::vector<std::string> DirectoryNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A ring of the scope's own, registered as the engine's error ring for its lifetime.
class RingScope {
 public:
  RingScope() {
    CSmpEngine::Instance();  // the engine registers its own ring when it is built: build it first
    saved_ = GetErrorRing();
    SetErrorRing(&ring_);
  }
  ~RingScope() { SetErrorRing(saved_); }
  RingScope(const RingScope&) = delete;
  RingScope& operator=(const RingScope&) = delete;

  // Takes the oldest entry as "name|message"; "" when the ring is empty.
  std::string Take() { return Next(false); }
  // Takes the oldest entry as "name|code|message", the code as 8 hex digits; "" when empty.
  std::string TakeCoded() { return Next(true); }

  ErrorRing ring_;

 private:
  std::string Next(bool with_code) {
    int time = 0, code = 0;
    char name[ErrorRing::kNameSize] = {};
    char text[ErrorRing::kMessageSize] = {};
    if (ring_.Get(&time, name, &code, text) == 0) return "";
    if (!with_code) return std::string(name) + "|" + text;
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, "%08X", static_cast<unsigned>(code));
    return std::string(name) + "|" + code_text + "|" + text;
  }

  ErrorRing* saved_ = nullptr;
};

// A fixture whose tests each have an error ring of their own (ring_).
class RingTest : public ::testing::Test {
 protected:
  // The oldest ring entry as "name|message", or "" when none is left.
  std::string TakeRing() { return ring_scope_.Take(); }

  RingScope ring_scope_;
  ErrorRing& ring_ = ring_scope_.ring_;
};

// Caps the engine's worker count for its lifetime (CSmpEngine::SetWorkerCapForTest; 0: no cap).
class WorkerCap {
 public:
  explicit WorkerCap(int cap) { CSmpEngine::Instance()->SetWorkerCapForTest(cap); }
  ~WorkerCap() { CSmpEngine::Instance()->SetWorkerCapForTest(0); }
  WorkerCap(const WorkerCap&) = delete;
  WorkerCap& operator=(const WorkerCap&) = delete;
};

// True when the whole text matches the POSIX extended regular expression. std::regex is avoided:
// g++ 12 warns falsely inside it under the sanitizer builds' optimisation.
inline bool FullMatch(const std::string& text, const char* pattern) {
  regex_t re;
  if (regcomp(&re, (std::string("^(") + pattern + ")$").c_str(), REG_EXTENDED | REG_NOSUB) != 0) return false;
  const bool matched = regexec(&re, text.c_str(), 0, nullptr, 0) == 0;
  regfree(&re);
  return matched;
}

}  // namespace q7test
