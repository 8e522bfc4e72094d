// Concurrent callers of the locking frames: operations never overlap, whatever frame they run in
// and however they end.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <new>
#include <thread>
#include <vector>

#include "api/frame/frame.h"
#include "api/task/CDBTask.h"

namespace {

TEST(FramesThreads, LockingFramesNeverOverlap) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 500;
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  long counter = 0;  // written only inside the frames; ThreadSanitizer checks the lock guards it

  // Enters, does some unsynchronised work with a chance for another thread to step in, leaves,
  // and ends as asked.
  auto op = [&](int round) -> int {
    if (inside.fetch_add(1) != 0) ++overlaps;
    ++counter;
    std::this_thread::yield();
    ++counter;
    inside.fetch_sub(1);
    switch (round % 4) {
      case 1:
        throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE);
      case 2:
        throw std::bad_alloc();
      case 3:
        return -1;
      default:
        return 0;
    }
  };

  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        const int round = t + i;
        switch (i % 5) {
          case 0:
            FullFrame("RQ7Threads", [&] { return op(round); });
            break;
          case 1:
            CheckedFrame("RQ7Threads", [&] { return op(round); });
            break;
          case 2:
            LightFrame([&] { return op(round); });
            break;
          case 3:
            PlainFrame([&] { return op(round); });
            break;
          default:
            LockedValueFrame(kValueFrameIntNull, [&] { return op(round); });
            break;
        }
      }
    });
  }
  for (auto& th : threads) th.join();

  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(counter, 2L * kThreads * kRounds);
  // The frames wrote the ring concurrently, each under the lock; it still reads back whole.
  int time = 0, code = 0, read = 0;
  char api[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
  while (DBTASK()->GetErrorLog(&time, api, &code, message) == 1) {
    ++read;
    EXPECT_STREQ(api, "RQ7Threads");
  }
  EXPECT_EQ(read, ErrorRing::kSlots);
}

// The engine restart's frame runs its operation without the lock, but the ring is only ever written
// under it: a failure waits for the lock before it is recorded.
TEST(FramesThreads, UnlockedFrameRecordsAFailureUnderTheLock) {
  int time = 0, code = 0;
  char api[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
  while (DBTASK()->GetErrorLog(&time, api, &code, message) == 1) {
  }
  std::latch thrown(1);
  int result = 0;
  mutex_lock();
  std::thread caller([&] {
    result = UnlockedFrame("RQ7Unlocked", [&]() -> int {
      thrown.count_down();
      throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "restart failed");
    });
  });
  thrown.wait();
  // This thread holds the lock: the caller cannot have written the ring, however far it got.
  EXPECT_EQ(DBTASK()->GetErrorLog(&time, api, &code, message), 0);
  mutex_unlock();
  caller.join();
  EXPECT_EQ(result, Q7_ERROR_NO_SUCH_TABLE);
  ASSERT_EQ(DBTASK()->GetErrorLog(&time, api, &code, message), 1);
  EXPECT_STREQ(api, "RQ7Unlocked");
  EXPECT_EQ(code, Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_STREQ(message, "restart failed");
}

}  // namespace
