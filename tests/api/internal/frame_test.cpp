// The frames of the exported functions, driven directly with operations that succeed, fail or
// throw; and the operations of the engine calls that the interface cannot observe.
#include "api/frame/frame.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/ops/EngineOps.h"
#include "api/ops/OpCommon.h"
#include "api/task/CDBTask.h"
#include "foundation/HistoryLog.h"

namespace {

struct Entry {
  std::string api;
  int code;
  std::string message;
};

std::vector<Entry> DrainRing() {
  std::vector<Entry> entries;
  int time = 0, code = 0;
  char api[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
  while (DBTASK()->GetErrorLog(&time, api, &code, message) == 1) entries.push_back({api, code, message});
  return entries;
}

bool LockHeld() {
  if (pthread_mutex_trylock(&q7_mutex) != 0) return true;
  pthread_mutex_unlock(&q7_mutex);
  return false;
}

enum class Outcome { kValue, kNegative, kEngineError, kOtherError, kNoMemory };

// An operation that ends as asked and notes whether it ran under the API lock.
struct Op {
  Outcome outcome;
  bool* locked;
  int operator()() const {
    *locked = LockHeld();
    switch (outcome) {
      case Outcome::kValue:
        return 42;
      case Outcome::kNegative:
        return Q7_ERROR_NO_SUCH_SET;
      case Outcome::kEngineError:
        throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d", 9);
      case Outcome::kOtherError:
        throw std::runtime_error("not an engine failure");
      case Outcome::kNoMemory:
        throw std::bad_alloc();
    }
    return 0;
  }
};

using FrameFn = int (*)(Op);
int Full(Op op) { return FullFrame("RQ7Full", op); }
int Checked(Op op) { return CheckedFrame("RQ7Checked", op); }
int Light(Op op) { return LightFrame(op); }
int Plain(Op op) { return PlainFrame(op); }
int Unlocked(Op op) { return UnlockedFrame("RQ7Unlocked", op); }

// entry: the message of the one ring entry the frame must leave (under the frame's ring name,
// with the returned code), or null for none.
struct FrameCase {
  const char* name;
  FrameFn run;
  Outcome outcome;
  bool locked;
  int want;
  const char* entry;
};

TEST(Frames, ResultsLocksAndRingEntries) {
  const char* kMessage = "No Such Table: 9";
  const FrameCase kCases[] = {
      {"RQ7Full", Full, Outcome::kValue, true, 42, nullptr},
      {"RQ7Full", Full, Outcome::kNegative, true, Q7_ERROR_NO_SUCH_SET, nullptr},
      {"RQ7Full", Full, Outcome::kEngineError, true, Q7_ERROR_NO_SUCH_TABLE, kMessage},
      {"RQ7Full", Full, Outcome::kOtherError, true, Q7_ERROR_UNKNOWN, nullptr},
      {"RQ7Full", Full, Outcome::kNoMemory, true, Q7_ERROR_OUT_OF_MEMORY, "Out of memory"},
      {"RQ7Checked", Checked, Outcome::kValue, true, 42, nullptr},
      {"RQ7Checked", Checked, Outcome::kNegative, true, Q7_ERROR_NO_SUCH_SET, ""},
      {"RQ7Checked", Checked, Outcome::kEngineError, true, Q7_ERROR_NO_SUCH_TABLE, kMessage},
      {"RQ7Checked", Checked, Outcome::kNoMemory, true, Q7_ERROR_OUT_OF_MEMORY, "Out of memory"},
      {"light", Light, Outcome::kNegative, true, Q7_ERROR_NO_SUCH_SET, nullptr},
      {"light", Light, Outcome::kEngineError, true, Q7_ERROR_NO_SUCH_TABLE, nullptr},
      {"light", Light, Outcome::kNoMemory, true, Q7_ERROR_OUT_OF_MEMORY, nullptr},
      {"plain", Plain, Outcome::kValue, true, 42, nullptr},
      {"plain", Plain, Outcome::kEngineError, true, Q7_ERROR_NO_SUCH_TABLE, nullptr},
      {"plain", Plain, Outcome::kOtherError, true, Q7_ERROR_UNKNOWN, nullptr},
      {"RQ7Unlocked", Unlocked, Outcome::kValue, false, 42, nullptr},
      {"RQ7Unlocked", Unlocked, Outcome::kEngineError, false, Q7_ERROR_NO_SUCH_TABLE, kMessage},
      {"RQ7Unlocked", Unlocked, Outcome::kNoMemory, false, Q7_ERROR_OUT_OF_MEMORY, "Out of memory"},
      {"RQ7Unlocked", Unlocked, Outcome::kOtherError, false, Q7_ERROR_UNKNOWN, nullptr},
  };
  DrainRing();
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " outcome " + std::to_string(static_cast<int>(c.outcome)));
    bool locked = !c.locked;
    EXPECT_EQ(c.run(Op{c.outcome, &locked}), c.want);
    EXPECT_EQ(locked, c.locked);
    EXPECT_FALSE(LockHeld());  // released on every path
    const auto entries = DrainRing();
    if (c.entry == nullptr) {
      EXPECT_TRUE(entries.empty());
      continue;
    }
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].api, c.name);
    EXPECT_EQ(entries[0].code, c.want);
    EXPECT_EQ(entries[0].message, c.entry);
  }
}

// The operation's own catch, as the frames' table above: one entry at most, under the operation's
// ring name, with the code returned.
TEST(Frames, OperationCatchRecordsOnceAndNamesAFailedAllocation) {
  struct OpCase {
    const char* what;
    std::function<int()> body;
    int want;
    const char* entry;
  };
  const OpCase kCases[] = {
      {"a result", [] { return 42; }, 42, nullptr},
      {"a negative result", [] { return Q7_ERROR_NO_SUCH_SET; }, Q7_ERROR_NO_SUCH_SET, nullptr},
      {"an engine failure",
       []() -> int { throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE, "No Such Table: %d", 9); },
       Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 9"},
      {"a refusal recorded already", []() -> int { RefuseSilently(Q7_ERROR_NOT_REAL_TABLE); },
       Q7_ERROR_NOT_REAL_TABLE, nullptr},
      {"a failed allocation", []() -> int { throw std::bad_alloc(); }, Q7_ERROR_OUT_OF_MEMORY,
       "Out of memory"},
      {"anything else", []() -> int { throw std::runtime_error("x"); }, Q7_ERROR_UNKNOWN, nullptr},
  };
  DrainRing();
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RunOp("Q7Op", c.body), c.want);
    const auto entries = DrainRing();
    if (c.entry == nullptr) {
      EXPECT_TRUE(entries.empty());
      continue;
    }
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].api, "Q7Op");
    EXPECT_EQ(entries[0].code, c.want);
    EXPECT_EQ(entries[0].message, c.entry);
  }
  // A 64-bit result gets the code widened.
  EXPECT_EQ(RunOp("Q7Op", []() -> int64_t { throw std::bad_alloc(); }),
            static_cast<int64_t>(Q7_ERROR_OUT_OF_MEMORY));
  DrainRing();
}

TEST(Frames, SixtyFourBitResultsGetWidenedCodes) {
  const long size = FullFrame("RQ7Size", []() -> long { throw CQ7Exception(Q7_ERROR_NO_SUCH_TABLE); });
  EXPECT_EQ(size, static_cast<long>(Q7_ERROR_NO_SUCH_TABLE));
  EXPECT_LT(size, 0);
  EXPECT_EQ(FullFrame("RQ7Size", []() -> long { return 1L << 40; }), 1L << 40);
  DrainRing();
}

// A call made while the calling thread holds the lock already (from a callback of a running call)
// runs nothing and answers at once, in every locking frame, leaving the outer call's lock and the
// ring as they were.
TEST(Frames, ACallFromInsideACallRunsNothing) {
  DrainRing();
  ApiLock outer;
  ASSERT_FALSE(outer.Refused());
  for (const auto& [name, run] : std::vector<std::pair<const char*, FrameFn>>{{"full", Full},
                                                                              {"checked", Checked},
                                                                              {"light", Light},
                                                                              {"plain", Plain},
                                                                              {"unlocked", Unlocked}}) {
    SCOPED_TRACE(name);
    bool ran = false;
    const Outcome outcome = run == Unlocked ? Outcome::kEngineError : Outcome::kValue;
    EXPECT_EQ(run(Op{outcome, &ran}), run == Unlocked ? Q7_ERROR_NO_SUCH_TABLE : Q7_ERROR_UNKNOWN);
    EXPECT_EQ(ran, run == Unlocked);  // the unlocked frame's operation guards itself (ReInitialize)
    EXPECT_TRUE(mutex_held_by_this_thread());
  }
  bool ran = false;
  EXPECT_EQ(LockedValueFrame(kValueFrameIntNull,
                             [&] {
                               ran = true;
                               return 7;
                             }),
            INT_MIN);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(DrainRing().empty());
}

TEST(Frames, ValueFramesSwallowEveryFailure) {
  DrainRing();
  bool locked = false;
  EXPECT_EQ(LockedValueFrame(kValueFrameIntNull,
                             [&]() -> int {
                               locked = LockHeld();
                               throw CQ7Exception(Q7_ERROR_NO_SUCH_FILTER);
                             }),
            INT_MIN);
  EXPECT_TRUE(locked);
  EXPECT_FALSE(LockHeld());
  EXPECT_EQ(LockedValueFrame(kValueFrameDoubleNull, []() -> double { throw std::bad_alloc(); }), -HUGE_VAL);
  EXPECT_EQ(DelegatingValueFrame(kValueFrameIntNull,
                                 [&]() -> int {
                                   locked = LockHeld();
                                   return 7;
                                 }),
            7);
  EXPECT_FALSE(locked);
  const char* text = PureValueFrame<const char*>(kEmptyText, []() -> const char* { throw 1; });
  EXPECT_EQ(text, kEmptyText);
  EXPECT_STREQ(text, "");
  EXPECT_TRUE(DrainRing().empty());
}

TEST(EngineOps, LogInitKeepsTheFileNameOnlyForOptionThree) {
  const int saved_option = gLogOutOption;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);

  strcpy(logFile, "before");
  EXPECT_EQ(innerQ7LogInit(1, "hist.log"), 0);
  EXPECT_EQ(gLogOutOption, 1);
  EXPECT_STREQ(logFile, "before");

  EXPECT_EQ(innerQ7LogInit(3, "hist.log"), 0);
  EXPECT_EQ(gLogOutOption, 3);
  EXPECT_EQ(std::string(logFile), std::string(cwd) + "//hist.log");

  EXPECT_EQ(innerQ7LogInit(3, "/tmp//hist.log"), 0);
  EXPECT_STREQ(logFile, "/tmp//hist.log");

  const std::string long_path(2000, 'p');  // cut to the name buffer, never written past it
  EXPECT_EQ(innerQ7LogInit(3, long_path.c_str()), 0);
  EXPECT_EQ(strlen(logFile), sizeof logFile - 1);

  gLogOutOption = saved_option;
}

}  // namespace
