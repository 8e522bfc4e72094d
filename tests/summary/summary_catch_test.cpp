// The summary slots' catch: the code and the one ring entry of each kind of failure.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "summary/SummaryCatch.h"
#include "tests/support/test_support.h"

namespace {

class SummaryCatchTest : public q7test::RingTest {};

TEST_F(SummaryCatchTest, EachFailureGivesItsCodeAndAtMostOneEntry) {
  struct Case {
    const char* what;
    const char* log_name;
    int entry_code;
    const char* text;
    std::function<int()> op;
    int want;
    const char* entry;  // "name|code|message", "" for none
  };
  const Case cases[] = {
      {"a result", "RQ7Sum", 0, nullptr, [] { return 4; }, 4, ""},
      {"an engine failure", "RQ7Sum", 0, nullptr,
       []() -> int { throw CQ7Exception(Q7_ERROR_NO_SUCH_SET, "No Such Set: 2"); }, Q7_ERROR_NO_SUCH_SET,
       "RQ7Sum|E0000071|No Such Set: 2"},
      {"an engine failure entered as the slot says", "RQ7Sum", Q7_ERROR_NO_SUCH_TABLE, "Failed",
       []() -> int { throw CQ7Exception(Q7_ERROR_NO_SUCH_SET); }, Q7_ERROR_NO_SUCH_SET,
       "RQ7Sum|E000006D|Failed"},
      {"an engine failure, silently", nullptr, 0, nullptr,
       []() -> int { throw CQ7Exception(Q7_ERROR_NO_SUCH_SET); }, Q7_ERROR_NO_SUCH_SET, ""},
      {"a failed allocation", "RQ7Sum", Q7_ERROR_NO_SUCH_TABLE, "Failed",
       []() -> int { throw std::bad_alloc(); }, Q7_ERROR_OUT_OF_MEMORY, "RQ7Sum|E0000018|Out of memory"},
      {"a failed allocation, silently", nullptr, 0, nullptr, []() -> int { throw std::bad_alloc(); },
       Q7_ERROR_OUT_OF_MEMORY, ""},
      {"anything else", "RQ7Sum", 0, nullptr, []() -> int { throw std::runtime_error("x"); },
       Q7_ERROR_UNKNOWN, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SummaryCaught(c.log_name, c.entry_code, c.text, c.op), c.want);
    EXPECT_EQ(ring_scope_.TakeCoded(), c.entry);
    EXPECT_EQ(TakeRing(), "");
  }
}

}  // namespace
