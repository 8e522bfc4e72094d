// The texts of a lookup that found nothing, which hosts compare byte for byte: every form, the
// trailing blank where a form has one, and the exceptions that carry them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "database/NoSuchTexts.h"
#include "foundation/CQ7Exception.h"
#include "q7api.h"

namespace {

struct TextCase {
  std::string got;
  const char* want;
};

TEST(NoSuchTexts, EachFormReadsExactly) {
  const TextCase cases[] = {
      {NoSuchTableText(7), "No Such Table: 7"},
      {NoSuchTableText(7, Blank::kTrailing), "No Such Table: 7 "},
      {NoSuchTableText(-1), "No Such Table: -1"},
      {NoSuchListedTableText(2, 9), "No Such Table: TblIDList[2]9 "},
      {NoSuchFilterText(3), "No Such Filter: 3"},
      {NoSuchListedFilterText(0, 12), "No Such Filter: [0] 12"},
      {NoSuchSetText(4), "No Such Set: 4"},
      {NoSuchSetText(4, Blank::kTrailing), "No Such Set: 4 "},
      {NoSuchSetText(INT32_MIN), "No Such Set: -2147483648"},
      {NoSuchSetIdText(5), "No Such SetID: 5 "},
      {NoSuchRecordText(6), "No Such Record: 6 "},
  };
  for (const TextCase& c : cases) EXPECT_EQ(c.got, c.want);
}

template <class Throw>
void ExpectThrown(Throw&& raise, int code, const char* message) {
  try {
    raise();
    ADD_FAILURE() << "nothing thrown for " << message;
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), code);
    EXPECT_STREQ(e.Message(), message);
  }
}

TEST(NoSuchTexts, ThrownWithTheCallersCode) {
  ExpectThrown([] { ThrowNoSuchTable(Q7_ERROR_NO_SUCH_TABLE, 8); }, Q7_ERROR_NO_SUCH_TABLE,
               "No Such Table: 8");
  ExpectThrown([] { ThrowNoSuchTable(Q7_ERROR_NO_SUCH_TABLE, 8, Blank::kTrailing); }, Q7_ERROR_NO_SUCH_TABLE,
               "No Such Table: 8 ");
  ExpectThrown([] { ThrowNoSuchFilter(Q7_ERROR_NO_SUCH_FILTER, 2); }, Q7_ERROR_NO_SUCH_FILTER,
               "No Such Filter: 2");
  ExpectThrown([] { ThrowNoSuchSet(Q7_ERROR_ILLEGAL_SET_ID, 3); }, Q7_ERROR_ILLEGAL_SET_ID, "No Such Set: 3");
}

}  // namespace
