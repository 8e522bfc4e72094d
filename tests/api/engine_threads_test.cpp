// Several host threads calling the character-code setters and the environment query at once. The
// calls share the database character code; they must run one at a time (ThreadSanitizer, which
// runs this binary, reports any access to it outside the API lock), and every answer must be
// whole: a name that some thread set.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "q7api.h"

namespace {

TEST(EngineApiThreads, ConcurrentSettersAndQueriesStayConsistent) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  const char* kNames[] = {"UTF8", "MS932", "EUC_JP", "Cp1252"};
  std::latch start(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < kRounds; ++i) {
        const char* name = kNames[(t + i) % 4];
        if (RQ7SetDBCharCode(name) != 0) ++failures;
        _TREnvironment env;
        if (RQ7GetEnvironment(&env) != 0) ++failures;
        bool known = false;
        for (const char* n : kNames) known = known || strcmp(env.dbCharCode, n) == 0;
        if (!known) ++failures;
        if (RQ7SetKanjiCode(99) != Q7_ERROR_INVALID_CHAR_CODE) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);

  // A single thread sees its own setting once the others have finished.
  EXPECT_EQ(RQ7SetDBCharCode("UTF8"), 0);
  _TREnvironment env;
  ASSERT_EQ(RQ7GetEnvironment(&env), 0);
  EXPECT_STREQ(env.dbCharCode, "UTF8");
  int time = 0, code = 0;
  char api[63], message[127];
  EXPECT_EQ(RQ7GetErrorLog(&time, api, &code, message), 0);
}

}  // namespace
