#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "foundation/CErrorLog.h"
#include "foundation/CSmpEngine.h"

namespace q7fuzz {

const std::string& WorkDir() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7fuzzXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    return pattern;
  }();
  return dir;
}

void WriteInput(const char* name, const uint8_t* data, size_t size, char* dir) {
  const std::string path = WorkDir() + "/" + name;
  // Unlinking first avoids the write-out some file systems start when a full file is truncated.
  unlink(path.c_str());
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
  snprintf(dir, 512, "%s", WorkDir().c_str());
}

void QuietEngine() {
  CSmpEngine::Instance();
  LOGOBJ->setFileName("/dev/null");
}

}  // namespace q7fuzz
