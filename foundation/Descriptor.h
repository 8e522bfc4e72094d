// Descriptor: a file descriptor closed on every way out of a scope. A negative descriptor (a failed
// open) is held and closes nothing.
#pragma once

#include <unistd.h>

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // close's result, for callers that must know the file was written out; the descriptor is gone
  // afterwards.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};
