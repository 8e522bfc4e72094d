// The code a caller answers with for each kind of failure thrown below it.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "foundation/FailureCode.h"
#include "tests/support/test_support.h"

namespace {

struct FailureCase {
  const char* what;
  std::function<int()> body;
  int code;
};

TEST(FailureCode, EachKindOfFailureGivesItsCode) {
  const FailureCase cases[] = {
      {"a result", [] { return 7; }, 7},
      {"a negative result passes as it is", [] { return Q7_ERROR_NO_SUCH_TABLE; }, Q7_ERROR_NO_SUCH_TABLE},
      {"the engine's own failure", []() -> int { throw CQ7Exception(Q7_ERROR_NO_SUCH_SET); },
       Q7_ERROR_NO_SUCH_SET},
      {"a failed allocation", []() -> int { throw std::bad_alloc(); }, Q7_ERROR_OUT_OF_MEMORY},
      {"a failed array allocation", []() -> int { throw std::bad_array_new_length(); },
       Q7_ERROR_OUT_OF_MEMORY},
      {"anything else", []() -> int { throw std::runtime_error("x"); }, Q7_ERROR_UNKNOWN},
      {"not even an exception", []() -> int { throw 3; }, Q7_ERROR_UNKNOWN},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CodedResult(c.body), c.code);
    // The same from inside a handler that cleans up first.
    int code = 0;
    try {
      code = c.body();
    } catch (...) {
      code = CurrentFailureCode();
    }
    EXPECT_EQ(code, c.code);
  }
}

// The two rules that differ from CurrentFailureCode: the negative-only code of the callers that read
// 0 and more as success, and the recording of a failed allocation by the catches that record.
class FailureCodeRingTest : public q7test::RingTest {};

TEST_F(FailureCodeRingTest, NegativeCodesAndRecordedAllocationFailures) {
  struct Case {
    const char* what;
    std::function<void()> fail;
    int negative;  // CurrentNegativeFailureCode
    int recorded;  // RecordedFailureCode
    const char* entry;
  };
  const Case cases[] = {
      {"a negative engine code", [] { throw CQ7Exception(Q7_ERROR_NO_SUCH_SET); }, Q7_ERROR_NO_SUCH_SET,
       Q7_ERROR_NO_SUCH_SET, ""},
      {"a non-negative engine code", [] { throw CQ7Exception(3); }, Q7_ERROR_UNKNOWN, 3, ""},
      {"a failed allocation", [] { throw std::bad_alloc(); }, Q7_ERROR_OUT_OF_MEMORY, Q7_ERROR_OUT_OF_MEMORY,
       "Q7Op|E0000018|Out of memory"},
      {"anything else", [] { throw std::runtime_error("x"); }, Q7_ERROR_UNKNOWN, Q7_ERROR_UNKNOWN, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.fail();
    } catch (...) {
      EXPECT_EQ(CurrentNegativeFailureCode(), c.negative);
      EXPECT_EQ(RecordedFailureCode("Q7Op"), c.recorded);
    }
    EXPECT_EQ(ring_scope_.TakeCoded(), c.entry);
    EXPECT_EQ(TakeRing(), "");
  }
}

}  // namespace
