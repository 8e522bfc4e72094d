// The exported compiles as a host calls them: results released with Q7FreeMem, refusals and
// failures as codes with both outputs null.
#include <gtest/gtest.h>

#include "q7api.h"

namespace {

TEST(ICompile, HostOwnsTheResultBlocks) {
  const int values[] = {30, -4, 30, 7, -4};
  int* numbers = nullptr;
  int* distinct = nullptr;
  ASSERT_EQ(iCompileInt(5, 2, values, &numbers, &distinct), 3);
  const int want_numbers[] = {2, 0, 2, 1, 0};
  const int want_distinct[] = {-4, 7, 30};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(numbers[i], want_numbers[i]);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(distinct[i], want_distinct[i]);
  EXPECT_EQ(Q7FreeMem(reinterpret_cast<void**>(&numbers)), 0);
  EXPECT_EQ(Q7FreeMem(reinterpret_cast<void**>(&distinct)), 0);
  EXPECT_EQ(numbers, nullptr);
}

TEST(ICompile, RefusalsAndBadInputComeBackAsCodes) {
  char a[] = "b";
  char b[] = "a";
  char* texts[] = {a, nullptr, b};
  const double doubles[] = {1.0};
  int* numbers = nullptr;
  char** list = nullptr;
  double* dlist = nullptr;
  EXPECT_EQ(iCompileFloat(0, 2, doubles, &numbers, &dlist), -1);
  EXPECT_EQ(iCompileFloat(1, 1025, doubles, &numbers, &dlist), -2);
  EXPECT_EQ(iCompileString(3, 2, texts, &numbers, &list), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(iCompileNumeric(2, 2, nullptr, &numbers, nullptr), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(numbers, nullptr);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(dlist, nullptr);
}

}  // namespace
