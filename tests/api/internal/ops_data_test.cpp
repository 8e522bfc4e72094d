// Data access operations of the operation layer: positions 0-based and 1-based, the 24-byte
// decimal read at its byte offsets, the decimal information with its refusals, and the summary
// records of all filters.
#include "api/ops/ops_data.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "opsets_support.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using opsets_test::Entry;

template <class T>
T At(const void* buffer, size_t offset) {
  T value;
  memcpy(&value, static_cast<const unsigned char*>(buffer) + offset, sizeof value);
  return value;
}

class DataOps : public opsets_test::OpTest {
 protected:
  // Four records: K = 40, 10, 30, 20; S = "d", "a", "c", "b"; N = 1.25, -7.50, NULL, 3.00 (scale 2,
  // ROUNDFLOOR).
  void SetUp() override {
    OpTest::SetUp();
    table_ = IntTable({40, 10, 30, 20}, &k_);
    s_ = StringFilter(table_, {"d", "a", "c", "b"});
    Numeric decimals[] = {{125, 0}, {static_cast<uint64_t>(-750), -1}, {0, INT64_MIN}, {300, 0}};
    char name[] = "N";
    n_ = Real(table_)->AddFilter2(1024, name, Q7_TYPE_DECIMAL, 4, 16, decimals, table_, -1);
    EXPECT_GT(n_, 0);
    static_cast<TNumericArray*>(Real(table_)->GetFilter(n_)->VL)->SetDecimalInfo(2, Q7_ROUND_FLOOR);
    sorted_ = AddSet(table_, {3, 1, 4});
    Drain();
  }
  int table_ = 0, k_ = 0, s_ = 0, n_ = 0, sorted_ = 0;
};

TEST_F(DataOps, OneBasedReadsMatchZeroBasedOnes) {
  for (int pos = 1; pos <= 3; ++pos) {
    SCOPED_TRACE(pos);
    int type0 = 0, type1 = 0, v0 = 0, v1 = 0, rec0 = 0, rec1 = 0;
    EXPECT_EQ(innerQ7GetData(table_, k_, sorted_, pos - 1, &type0, &v0), 4);
    EXPECT_EQ(innerQ7GetData1(table_, k_, sorted_, pos, &type1, &v1, 0), 4);
    EXPECT_EQ(type0, Q7_TYPE_INTEGER);
    EXPECT_EQ(type1, Q7_TYPE_INTEGER);
    EXPECT_EQ(v0, v1);
    EXPECT_EQ(innerQ7GetRowNo(table_, sorted_, pos - 1, &rec0), 4);
    EXPECT_EQ(innerQ7GetRowNo1(table_, sorted_, pos, &rec1), 4);
    EXPECT_EQ(rec0, rec1);
    EXPECT_EQ(v0, (std::vector<int>{40, 10, 30, 20})[rec0 - 1]);
  }
  for (int k = 1; k <= 4; ++k) {
    int rec = 0;
    ASSERT_EQ(innerQ7GetRowNo1(table_, 1, k, &rec), 4);
    EXPECT_EQ(rec, k);
  }
  char text[4096];
  int type = 0;
  EXPECT_EQ(innerQ7GetData1(table_, s_, sorted_, 1, &type, text, 0), 1);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_STREQ(text, "c");
  EXPECT_EQ(innerQ7GetData1Ex(table_, s_, sorted_, 2, &type, text, 0, 1048576), 1);
  EXPECT_STREQ(text, "d");
  long address = 0;
  EXPECT_EQ(innerQ7GetData1ExPtr(table_, s_, sorted_, 3, &type, &address), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(address), "b");
  // Value numbers: K's list is NULL, 10, 20, 30, 40.
  int vno = -1;
  EXPECT_EQ(innerQ7GetVNo(table_, k_, sorted_, 1, &vno), 4);
  EXPECT_EQ(vno, 3);
  EXPECT_TRUE(Drain().empty());
  EXPECT_TRUE(g_TFSaved && g_TFSSaved && g_SETTINGSaved);
}

TEST_F(DataOps, DecimalReadIsInfoThenLowThenHigh) {
  unsigned char buffer[24];
  int type = 0;
  memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(innerQ7GetData1(table_, n_, 1, 2, &type, buffer, 0), 16);
  EXPECT_EQ(type, Q7_TYPE_DECIMAL);
  EXPECT_EQ(At<int32_t>(buffer, 0), 2);               // scale
  EXPECT_EQ(At<int32_t>(buffer, 4), Q7_ROUND_FLOOR);  // rounding mode
  EXPECT_EQ(At<uint64_t>(buffer, 8), static_cast<uint64_t>(-750));
  EXPECT_EQ(At<int64_t>(buffer, 16), -1);

  memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(innerQ7GetData(table_, n_, 1, 0, &type, buffer), 16);
  EXPECT_EQ(At<int32_t>(buffer, 0), 2);
  EXPECT_EQ(At<uint64_t>(buffer, 8), 125u);
  EXPECT_EQ(At<int64_t>(buffer, 16), 0);

  memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(innerQ7GetData1(table_, n_, 1, 4, &type, buffer, 1), 16);
  EXPECT_EQ(At<uint64_t>(buffer, 0), 300u);
  EXPECT_EQ(At<int64_t>(buffer, 8), 0);
  EXPECT_EQ(At<uint64_t>(buffer, 16), 0xEEEEEEEEEEEEEEEEull) << "the raw read stays in 16 bytes";

  memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(innerQ7GetData1Ex(table_, n_, 1, 3, &type, buffer, 0, 1048576), 16);
  EXPECT_EQ(At<int32_t>(buffer, 4), Q7_ROUND_FLOOR);
  EXPECT_EQ(At<uint64_t>(buffer, 8), 0u);  // the decimal NULL
  EXPECT_EQ(At<int64_t>(buffer, 16), INT64_MIN);
  EXPECT_TRUE(Drain().empty());
}

// The 0-based position of a 1-based one (INT32_MIN stays itself).
int ZeroBased(int pos) { return pos == INT32_MIN ? pos : pos - 1; }

struct ReadCase {
  const char* ring;
  std::function<int(int table, int pos, int* type, void* value)> read;
};

TEST_F(DataOps, ReadRefusalsLeaveTheBufferUntouched) {
  const ReadCase cases[] = {
      {"Q7GetData",
       [&](int t, int p, int* ty, void* v) { return innerQ7GetData(t, k_, 1, ZeroBased(p), ty, v); }},
      {"Q7GetData1", [&](int t, int p, int* ty, void* v) { return innerQ7GetData1(t, k_, 1, p, ty, v, 0); }},
      {"Q7GetData1",
       [&](int t, int p, int* ty, void* v) { return innerQ7GetData1Ex(t, k_, 1, p, ty, v, 0, 64); }},
      {"Q7GetData1", [&](int t, int p, int* ty,
                         void* v) { return innerQ7GetData1ExPtr(t, k_, 1, p, ty, static_cast<long*>(v)); }},
      {"Q7GetRowNo", [&](int t, int p, int*, void* v) { return innerQ7GetRowNo(t, 1, ZeroBased(p), v); }},
      {"Q7GetRowNo1", [&](int t, int p, int*, void* v) { return innerQ7GetRowNo1(t, 1, p, v); }},
      {"Q7GetVNo",
       [&](int t, int p, int*, void* v) { return innerQ7GetVNo(t, k_, 1, p, static_cast<int*>(v)); }},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.ring);
    int type = -9;
    long value = -9;
    EXPECT_EQ(c.read(77, 1, &type, &value), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(c.ring), (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 77"}}));
    for (int pos : {0, 5, INT32_MIN}) {
      EXPECT_EQ(c.read(table_, pos, &type, &value), Q7_ERROR_NO_SUCH_SET) << pos;
      const std::vector<Entry> entries = Drain();
      ASSERT_FALSE(entries.empty());
      EXPECT_EQ(entries.back(), (Entry{c.ring, Q7_ERROR_NO_SUCH_SET, "return of inner call"}));
    }
    EXPECT_EQ(c.read(table_, 1, &type, nullptr), Q7_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DrainFor(c.ring).size(), 1u);
    EXPECT_EQ(value, -9);
  }
  int value = -9;
  EXPECT_EQ(innerQ7GetData(table_, k_, 1, 0, nullptr, &value), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(value, -9);
}

TEST_F(DataOps, NumericInfoAndItsRefusals) {
  NumericInfo info{-1, -1};
  char mode[16];
  memset(mode, 'z', sizeof mode);
  EXPECT_EQ(innerQ7GetNumericInfo(table_, n_, &info, mode, true), 0);
  EXPECT_EQ(info.scale, 2);
  EXPECT_EQ(info.roundingMode, Q7_ROUND_FLOOR);
  EXPECT_EQ(std::string(mode, 15), std::string("ROUNDFLOOR\0\0\0\0\0", 15));
  EXPECT_EQ(mode[15], 'z');

  EXPECT_EQ(innerQ7GetNumericInfo(table_, k_, &info, nullptr, false), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(innerQ7GetNumericInfo(table_, n_, nullptr, nullptr, false), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7GetNumericInfo(table_, 99, &info, nullptr, false), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(innerQ7GetNumericInfo(77, n_, &info, nullptr, false), Q7_ERROR_NO_SUCH_TABLE);
  const std::string ring = "innerQ7GetNumericInfo";
  EXPECT_EQ(DrainFor(ring), (std::vector<Entry>{
                                {ring, Q7_ERROR_ILLEGAL_FILTER, "Invalid Filter Type (Not NumericType)"},
                                {ring, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter (Ninfo is NULL)"},
                                {ring, Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 99"},
                                {ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 77"},
                            }));

  // A value list lying in a shared-memory image is refused only when the caller asks.
  TBaseArray* list = Real(table_)->GetFilter(n_)->VL;
  list->FNotOwned = 1;
  EXPECT_EQ(innerQ7GetNumericInfo(table_, n_, &info, nullptr, true), Q7_ERROR_SHARED_READ_ONLY);
  EXPECT_EQ(innerQ7GetNumericInfo(table_, n_, &info, nullptr, false), 0);
  list->FNotOwned = 0;
  EXPECT_TRUE(Drain().empty());
}

TEST_F(DataOps, AllFilterInfoFillsRecordsAndAttributeRows) {
  TBaseArray* list = Real(table_)->GetFilter(s_)->VL;
  for (int i = 0; i < 64; ++i) list->FUserArea[i] = static_cast<uint8_t>(i + 1);

  int count = -1;
  _TRFilterInfo infos[3];
  char attributes[3][64];
  memset(infos, 0x5A, sizeof infos);
  EXPECT_EQ(innerRQ7GetAllFilterInfo(table_, 0, &count, infos, attributes), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(At<uint32_t>(&infos[0], 0), 0x5A5A5A5Au) << "max 0 fills no record";

  ASSERT_EQ(innerRQ7GetAllFilterInfo(table_, 2, &count, infos, attributes), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(infos[0].rowCount, 5);
  EXPECT_EQ(infos[0].type, Q7_TYPE_INTEGER);
  EXPECT_EQ(infos[0].unit, 4);
  EXPECT_EQ(infos[0].valueCount, 5);
  EXPECT_EQ(infos[0].stringAreaSize, 0);
  EXPECT_STREQ(infos[0].name, "K");
  EXPECT_EQ(infos[1].type, Q7_TYPE_STRING);
  EXPECT_EQ(infos[1].stringAreaSize, static_cast<TStrArray*>(list)->FStrAreaSize);
  EXPECT_STREQ(infos[1].name, "S");
  EXPECT_EQ(memcmp(attributes[1], list->FUserArea, 64), 0);
  EXPECT_EQ(At<uint32_t>(&infos[2], 0), 0x5A5A5A5Au) << "only max records";
  EXPECT_TRUE(Drain().empty());

  // A join's columns are its master's filters, then its slave's.
  const int slave = IntTable({1, 2}, nullptr, "Slave");
  const int join = Join(table_, slave);
  _TRFilterInfo join_infos[4];
  char join_attributes[4][64];
  ASSERT_EQ(innerRQ7GetAllFilterInfo(join, 4, &count, join_infos, join_attributes), 0);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(join_infos[1].type, Q7_TYPE_STRING);
  EXPECT_EQ(join_infos[2].type, Q7_TYPE_DECIMAL);
  EXPECT_EQ(join_infos[3].rowCount, 3);
  Drain();

  EXPECT_EQ(innerRQ7GetAllFilterInfo(77, 3, &count, infos, attributes), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerRQ7GetAllFilterInfo(table_, -1, &count, infos, attributes), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      DrainFor("innerRQ7GetAllFilterInfo"),
      (std::vector<Entry>{{"innerRQ7GetAllFilterInfo", Q7_ERROR_INVALID_PARAMETER, "No Such Table: 77 "}}));
}

}  // namespace
