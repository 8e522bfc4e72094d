// The foreign-byte-order image that the stream, memory-file and memory-stream tests read.
#pragma once

#include <cstddef>
#include <string>

#include "foundation/SystemHeader.h"

namespace stream_test {

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

}  // namespace stream_test
