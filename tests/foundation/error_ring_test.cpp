// The error ring's order and cuts, and CQ7Exception's codes and messages.
#include <gtest/gtest.h>

#include <string>

#include "foundation/CQ7Exception.h"
#include "foundation/ErrorRing.h"
#include "tests/support/test_support.h"

namespace {

// A ring registered for the test's lifetime, standing in for the engine's own.
class ErrorRingTest : public q7test::RingTest {};

TEST_F(ErrorRingTest, EmptyRingLeavesOutputsUntouched) {
  int time = -7, code = -7;
  char name[ErrorRing::kNameSize] = "keep";
  char message[ErrorRing::kMessageSize] = "keep";
  EXPECT_EQ(ring_.Get(&time, name, &code, message), 0);
  EXPECT_EQ(time, -7);
  EXPECT_EQ(code, -7);
  EXPECT_STREQ(name, "keep");
  EXPECT_STREQ(message, "keep");
}

TEST_F(ErrorRingTest, TenFailuresKeepTheLastEightOldestFirst) {
  for (int i = 1; i <= 10; ++i) PutErrorLog(("f" + std::to_string(i)).c_str(), -i, "m");
  int time = 0, code = 0;
  char name[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
  for (int want = 3; want <= 10; ++want) {
    ASSERT_EQ(ring_.Get(&time, name, &code, message), 1);
    EXPECT_EQ(code, -want);
    EXPECT_EQ(std::string(name), "f" + std::to_string(want));
  }
  EXPECT_EQ(ring_.Get(&time, name, &code, message), 0);
  EXPECT_EQ(ring_.Get(&time, name, &code, message), 0);
}

TEST_F(ErrorRingTest, LongTextsAreCut) {
  const std::string name(100, 'n'), message(300, 'm');
  PutErrorLog(name.c_str(), Q7_ERROR_OUT_OF_MEMORY, message.c_str());
  int time = 0, code = 0;
  char name_out[ErrorRing::kNameSize], message_out[ErrorRing::kMessageSize];
  ASSERT_EQ(ring_.Get(&time, name_out, &code, message_out), 1);
  EXPECT_EQ(std::string(name_out), name.substr(0, 62));
  EXPECT_EQ(std::string(message_out), message.substr(0, 126));
  EXPECT_EQ(code, Q7_ERROR_OUT_OF_MEMORY);
}

TEST(ErrorRingNoEngine, PutWithoutRingDoesNothing) {
  ErrorRing* saved = GetErrorRing();
  SetErrorRing(nullptr);
  PutErrorLog("f", -1, "m");  // must not crash
  SetErrorRing(saved);
}

TEST(CQ7Exception, ConstructorsSetCodeAndMessage) {
  const std::string long_text(600, 'x');
  CQ7Exception formatted("%s", long_text.c_str());
  EXPECT_EQ(formatted.ErrorCode(), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(std::string(formatted.Message()), long_text.substr(0, 499));

  CQ7Exception coded(Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(coded.ErrorCode(), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_STREQ(coded.Message(), "");

  char text[] = "100% plain";
  CQ7Exception plain(text);
  EXPECT_EQ(plain.ErrorCode(), 0);
  EXPECT_STREQ(plain.Message(), "100% plain");

  CQ7Exception both(Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: %d", 5);
  EXPECT_EQ(both.ErrorCode(), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_STREQ(both.Message(), "No Such Filter: 5");
}

TEST(CQ7Exception, GetStringCutsAt499) {
  const std::string long_text(600, 'y');
  EXPECT_EQ(std::string(getString("%s", long_text.c_str())), long_text.substr(0, 499));
  EXPECT_STREQ(getString("No Such Table: %d ", 3), "No Such Table: 3 ");
}

TEST(CQ7Exception, AlignmentCheck) {
  alignas(8) char block[16];
  EXPECT_NO_THROW(check_addr_alignment(block));
  EXPECT_EQ(q7test::CodeOf([&] { check_addr_alignment(block + 1); }), Q7_ERROR_ADDRESS_ALIGNMENT);
}

}  // namespace
