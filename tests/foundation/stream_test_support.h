// Helpers shared by the stream, memory-file, memory-stream and log tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "foundation/SystemHeader.h"

namespace stream_test {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "q7streamXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }
  std::string Dir() const { return path_.string(); }

 private:
  fs::path path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Builds, byte by byte, what a writer on a machine of the other byte order produces: a header
// whose byte-order code is 8, then records padded by (position & 7) with reversed elements.
class ForeignImage {
 public:
  explicit ForeignImage(unsigned char char_code = 33) {
    bytes_.assign(kSysHeaderSize, '\0');
    bytes_[0] = static_cast<char>(0xFF);
    bytes_[1] = static_cast<char>(kSysELF64 | kSysEndianBig | kSysOSType);
    bytes_[2] = 8;
    bytes_[3] = 8;
    bytes_[4] = static_cast<char>(char_code);
  }
  void Record(const void* elements, size_t size, size_t count) {
    bytes_.append(bytes_.size() & 7, '\0');
    const auto* p = static_cast<const char*>(elements);
    for (size_t i = 0; i < count; ++i, p += size) {
      const std::string element(p, size);
      bytes_.append(element.rbegin(), element.rend());
    }
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// The error ring for the test's lifetime, standing in for the engine's own.
class RingScope {
 public:
  RingScope() : saved_(GetErrorRing()) { SetErrorRing(&ring_); }
  ~RingScope() { SetErrorRing(saved_); }
  ErrorRing ring_;

 private:
  ErrorRing* saved_;
};

template <class F>
int CodeOf(F&& f) {
  try {
    f();
  } catch (const CQ7Exception& e) {
    return e.ErrorCode();
  }
  return 0;
}

}  // namespace stream_test
