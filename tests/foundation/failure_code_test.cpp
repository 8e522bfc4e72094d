// The code a caller answers with for each kind of failure thrown below it.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "foundation/FailureCode.h"

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

}  // namespace
