// Helpers of the shared-memory image tests: a segment key of the test process's own, the system's
// list of segments, and a second process.
//
// Test processes run at the same time (ctest runs each case as a process of its own), and the
// engine's key is one per machine: every test works under a key made from its process ID instead,
// and removes whatever segment carries that key before and after it.
#pragma once

#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include "foundation/zpk_shm.h"

namespace shm_test {

// Removes every segment that carries the key (one at most, but a leftover of an earlier run
// counts too).
inline void RemoveSegment(key_t key) {
  const int id = shmget(key, 0, 0);
  if (id >= 0) shmctl(id, IPC_RMID, nullptr);
}

// How many segments of the system carry the key, found through the kernel's own list (what ipcs
// shows), not through shmget.
inline int SegmentsWithKey(key_t key) {
  struct shm_info info;
  const int max_index = shmctl(0, SHM_INFO, reinterpret_cast<struct shmid_ds*>(&info));
  int found = 0;
  for (int index = 0; index <= max_index; ++index) {
    struct shmid_ds ds;
    if (shmctl(index, SHM_STAT, &ds) >= 0 && ds.shm_perm.__key == key) ++found;
  }
  return found;
}

// For its lifetime zpk_shm uses a key of this process's own; the segment goes with the scope, and
// this process is detached.
class KeyScope {
 public:
  KeyScope() : key_(static_cast<key_t>(0x51000000 | (getpid() & 0xFFFFFF))), previous_(zpk_shm::Key()) {
    RemoveSegment(key_);
    zpk_shm::SetKey(key_);
  }
  ~KeyScope() {
    // Through zpk_shm while the segment exists, so that its sizes are back to 0 for the next test.
    if (shmget(key_, 0, 0) >= 0) zpk_shm::Release();
    zpk_shm::Unopen();
    RemoveSegment(key_);
    // Back to the key in use before (the test main's own, never the machine's).
    zpk_shm::SetKey(previous_);
  }
  KeyScope(const KeyScope&) = delete;
  KeyScope& operator=(const KeyScope&) = delete;
  key_t key() const { return key_; }

 private:
  key_t key_;
  key_t previous_;
};

// Runs body in a forked process and returns its exit status (body's result, 0 to 255), or -1 when
// the process did not end normally. The child leaves through _exit, so nothing of the test process
// (gtest, static objects) runs twice; body must report through its result only.
template <class Body>
int InChild(Body&& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  if (pid < 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A one-way channel for a few bytes between two processes: Wait blocks until the other side has
// called Post, Receive until it has sent a byte.
class Pipe {
 public:
  Pipe() {
    if (pipe(fds_) != 0) ADD_FAILURE() << "pipe failed";
  }
  ~Pipe() {
    close(fds_[0]);
    close(fds_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  // Whether the byte was written.
  bool Send(char c) { return write(fds_[1], &c, 1) == 1; }
  // The next byte, or 0 when the writer has gone.
  char Receive() {
    char c = 0;
    return read(fds_[0], &c, 1) == 1 ? c : 0;
  }
  // For a child: it cannot report a failure but by its exit status.
  void Post() {
    if (!Send(1)) _exit(99);
  }
  bool Wait() { return Receive() != 0; }

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace shm_test
