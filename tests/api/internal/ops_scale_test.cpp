// Decimal scale changes, high-speed search marks and old-version saves of the operation layer.
#include "api/ops/ops_scale.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/ops/OpCommon.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_tables.h"
#include "database/TSortedSetArray.h"
#include "opsets_support.h"
#include "values/Numeric.h"
#include "values/TIntArray.h"
#include "values/TNumericArray.h"

namespace {

using opsets_test::Entry;

Numeric Units(int64_t units) { return q7num::FromInt128(units); }

class ScaleOps : public opsets_test::OpTest {
 protected:
  // A DECIMAL filter of the given counts at the list's scale (6 unless changed).
  int DecimalFilter(int table, std::vector<Numeric> values, const char* name = "N") {
    std::string work(name);
    const int id = Real(table)->AddFilter2(1024, work.data(), Q7_TYPE_DECIMAL,
                                           static_cast<int>(values.size()), 16, values.data(), table, -1);
    EXPECT_GT(id, 0);
    return id;
  }
  TNumericArray* List(int table, int filter) {
    return static_cast<TNumericArray*>(Real(table)->GetFilter(filter)->VL);
  }
  // The value-list entries 1.. as counts.
  std::vector<int64_t> Values(int table, int filter) {
    std::vector<int64_t> out;
    TNumericArray* list = List(table, filter);
    for (int i = 1; i < list->FArraySize; ++i) {
      Numeric n;
      list->GetDecimal(i, &n);
      out.push_back(static_cast<int64_t>(q7num::ToInt128(n)));
    }
    return out;
  }
  int SetScale(int table, int filter, int scale, int mode) {
    const NumericInfo info{scale, mode};
    return innerQ7SetNumericInfo(table, filter, &info, true);
  }
};

TEST_F(ScaleOps, RoundingMergesValuesThatBecomeEqual) {
  const int table = Table(4);
  const int f = DecimalFilter(table, {Units(1250000), Units(1260000), Units(1250000), Units(2000000)});
  ASSERT_EQ(List(table, f)->GetScale(), 6);
  ASSERT_EQ(SetScale(table, f, 2, Q7_ROUND_HALF_UP), 0);
  EXPECT_EQ(Values(table, f), (std::vector<int64_t>{125, 126, 200}));

  ASSERT_EQ(SetScale(table, f, 1, Q7_ROUND_HALF_UP), 0);
  EXPECT_EQ(List(table, f)->GetScale(), 1);
  EXPECT_EQ(List(table, f)->GetRoundingMode(), Q7_ROUND_HALF_UP);
  EXPECT_EQ(Values(table, f), (std::vector<int64_t>{13, 20}));
  // Rows that held 1.25 or 1.26 now share the entry of 1.3.
  const auto numbers = ValueNumbers(table, f);
  EXPECT_EQ(numbers, (std::vector<int>{1, 1, 1, 2}));
  EXPECT_TRUE(Drain().empty());
}

TEST_F(ScaleOps, ParameterRefusals) {
  const int table = Table(1);
  const int f = DecimalFilter(table, {Units(1)});
  const int i = IntFilter(table, {1});
  struct Case {
    int filter;
    int scale;
    int mode;
    int result;
    const char* message;
  };
  const Case cases[] = {
      {f, 39, 4, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(39)"},
      {f, -1, 4, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(-1)"},
      {f, 2, 7, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : rounding_mode(7)"},
      {f, 2, -1, Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : rounding_mode(-1)"},
      {i, 2, 4, Q7_ERROR_ILLEGAL_FILTER, "Invalid Filter Type (Not NumericType)"},
      {9, 2, 4, Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(SetScale(table, c.filter, c.scale, c.mode), c.result);
    const std::vector<Entry> want = {{"innerQ7SetNumericInfo", c.result, c.message}};
    EXPECT_EQ(Drain(), want);
  }
  EXPECT_EQ(innerQ7SetNumericInfo(table, f, nullptr, true), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetScale(table, f, 38, Q7_ROUND_HALF_EVEN), 0);
}

TEST_F(ScaleOps, ReferredTableIsNotEditable) {
  const int master = Table(2);
  DecimalFilter(master, {Units(1), Units(2)});
  const int slave = IntTable({1, 2}, nullptr, "S");
  Join(master, slave);
  Drain();
  EXPECT_EQ(SetScale(master, 1, 2, 4), Q7_ERROR_NOT_EDITABLE);
  const auto mine = DrainFor("innerQ7SetNumericInfo");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], (Entry{"innerQ7SetNumericInfo", Q7_ERROR_NO_SUCH_TABLE,
                            "Not Editable: " + std::to_string(master)}));
}

TEST_F(ScaleOps, AValueThatDoesNotFitLeavesTheColumnAsItWas) {
  const int table = Table(3);
  // 10^20 at scale 6 cannot be held at scale 38 (10^52 units).
  const Numeric huge = q7num::FromInt128(static_cast<q7num::i128>(100000000000000000LL) * 1000);
  const int f = DecimalFilter(table, {Units(5), huge, Units(7)});
  const auto values_before = Values(table, f);
  const auto numbers_before = ValueNumbers(table, f);
  TNumericArray* list_before = List(table, f);

  EXPECT_EQ(SetScale(table, f, 38, Q7_ROUND_HALF_UP), Q7_ERROR_OUT_OF_RANGE);
  const std::vector<Entry> want = {
      {"innerQ7SetNumericInfo", Q7_ERROR_OUT_OF_RANGE, "Value out of range : scale(38)"}};
  EXPECT_EQ(Drain(), want);
  EXPECT_EQ(List(table, f), list_before);
  EXPECT_EQ(List(table, f)->GetScale(), 6);
  EXPECT_EQ(Values(table, f), values_before);
  EXPECT_EQ(ValueNumbers(table, f), numbers_before);
}

TEST_F(ScaleOps, ABorrowedValueListIsNeverChanged) {
  // Table b's column reads table a's value list; a is then referred to, b may change its column.
  const int a = Table(2, "A");
  const int fa = DecimalFilter(a, {Units(1110000), Units(1120000)});
  const int b = Table(2, "B");
  TFilter* source = Real(a)->GetFilter(fa);
  auto* numbers = static_cast<TIntArray*>(source->PV->CopyArray());
  char name[] = "Borrowed";
  const int fb = Real(b)->AddFilter(1024, name, numbers, source->VL, true, b, -1);
  ASSERT_GT(fb, 0);
  int* ids = nullptr;
  ASSERT_EQ(innerQ7TableCanEdit(b, &ids), 0);

  ASSERT_EQ(SetScale(b, fb, 1, Q7_ROUND_HALF_UP), 0);
  EXPECT_EQ(Values(b, fb), (std::vector<int64_t>{11}));
  EXPECT_EQ(Real(b)->GetFilter(fb)->FSharedVL, 0);
  EXPECT_NE(List(b, fb), List(a, fa));
  EXPECT_EQ(Values(a, fa), (std::vector<int64_t>{1110000, 1120000}));
  EXPECT_EQ(List(a, fa)->GetScale(), 6);
  EXPECT_EQ(ValueNumbers(a, fa), (std::vector<int>{1, 2}));
}

TEST(NumericFltUpDate, MergesAndRenumbersOrRefusesUnchanged) {
  TNumericArray list(5, 1);
  const Numeric entries[] = {q7num::NanNumeric(), Units(3), Units(1), Units(3), q7num::NanNumeric()};
  for (int i = 0; i < 5; ++i) list.PutDecimal(i, &entries[i]);
  TIntArray numbers(6, 1);
  const int pv[] = {0, 1, 2, 3, 4, 0};
  for (int i = 0; i < 6; ++i) numbers.PutInt(i, pv[i]);

  ASSERT_EQ(innerQ7NumericFltUpDate(&list, &numbers), 0);
  // NaN, 3, 1, NaN: the repeated 3 joins its first place, the second NaN keeps one of its own.
  ASSERT_EQ(list.FArraySize, 4);
  Numeric n;
  list.GetDecimal(1, &n);
  EXPECT_EQ(static_cast<int64_t>(q7num::ToInt128(n)), 3);
  list.GetDecimal(2, &n);
  EXPECT_EQ(static_cast<int64_t>(q7num::ToInt128(n)), 1);
  list.GetDecimal(3, &n);
  EXPECT_TRUE(q7num::IsNan(n));
  const std::vector<int> want = {0, 1, 2, 1, 0, 0};
  EXPECT_EQ(std::vector<int>(numbers.PIntAr(), numbers.PIntAr() + 6), want);

  numbers.PutInt(5, 9);
  EXPECT_EQ(innerQ7NumericFltUpDate(&list, &numbers), Q7_ERROR_ILLEGAL_ARRAY_DATA);
  EXPECT_EQ(list.FArraySize, 4);
  EXPECT_EQ(numbers.GetInt(1), 1);
  EXPECT_EQ(innerQ7NumericFltUpDate(nullptr, &numbers), Q7_ERROR_INVALID_PARAMETER);
  TIntArray not_decimal(2, 1);
  EXPECT_EQ(innerQ7NumericFltUpDate(&not_decimal, &numbers), Q7_ERROR_ILLEGAL_FILTER_TYPE);
}

TEST_F(ScaleOps, HighSpeedMarks) {
  int filter = 0;
  const int table = IntTable({3, 1, 2}, &filter);
  EXPECT_EQ(innerQ7HighSpeedSearchHasMark(table, 1, filter), 0);
  EXPECT_EQ(innerQ7HighSpeedSearchSetMark(table, 1, filter, true), 0);
  EXPECT_EQ(innerQ7HighSpeedSearchSetMark(table, 1, filter, true), 0);
  TSetArray* set = Real(table)->GetSet(1);
  EXPECT_EQ(set->SortedSets().size(), 1u);
  EXPECT_FALSE(set->GetSortedSet(Real(table)->GetFilter(filter))->HasData());
  EXPECT_EQ(innerQ7HighSpeedSearchHasMark(table, 1, filter), 1);
  EXPECT_EQ(innerQ7HighSpeedSearchSetMark(table, 1, filter, false), 0);
  EXPECT_EQ(innerQ7HighSpeedSearchHasMark(table, 1, filter), 0);

  // With high-speed search on, a new mark is built at once.
  EXPECT_EQ(innerQ7HighSpeedSearchEnable(table, -1, true), 0);
  EXPECT_EQ(innerQ7HighSpeedSearchIsEnabled(table, filter), 1);
  EXPECT_EQ(innerQ7HighSpeedSearchSetMark(table, 1, filter, true), 0);
  TSortedSetArray* view = set->GetSortedSet(Real(table)->GetFilter(filter));
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->HasData());
  EXPECT_EQ(std::vector<int>(view->PIntAr(), view->PIntAr() + view->FArraySize), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(innerQ7HighSpeedSearchEnable(table, filter, false), 0);
  EXPECT_EQ(innerQ7HighSpeedSearchIsEnabled(table, -1), 0);
  EXPECT_TRUE(Drain().empty());
}

TEST_F(ScaleOps, HighSpeedRefusals) {
  int filter = 0;
  const int table = IntTable({1}, &filter);
  EXPECT_EQ(innerQ7HighSpeedSearchEnable(table, 0, true), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_EQ(innerQ7HighSpeedSearchIsEnabled(table, -2), Q7_ERROR_ILLEGAL_FILTER);
  EXPECT_TRUE(Drain().empty());

  const int slave = IntTable({1}, nullptr, "S");
  const int join = Join(table, slave);
  Drain();
  EXPECT_EQ(innerQ7HighSpeedSearchSetMark(table, 5, filter, true), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(innerQ7HighSpeedSearchHasMark(table, 1, 8), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(innerQ7HighSpeedSearchEnable(join, -1, true), Q7_ERROR_NOT_REAL_TABLE);
  const std::vector<Entry> want = {
      {"innerQ7HighSpeedSearchSetMark", Q7_ERROR_NO_SUCH_SET, "No Such Set: 5 "},
      {"innerQ7HighSpeedSearchHasMark", Q7_ERROR_NO_SUCH_FILTER, "No Such Filter: 8"},
      {"innerQ7HighSpeedSearchEnable", Q7_ERROR_NOT_REAL_TABLE,
       "Not RealTable: " + std::to_string(join) + " "},
  };
  EXPECT_EQ(Drain(), want);
}

TEST_F(ScaleOps, SavePossibleCheck) {
  const int table = IntTable({1});
  EXPECT_EQ(innerQ7SavePossibleCheck(0, 25), Q7_ERROR_INVALID_FILE_VERSION);
  std::vector<Entry> want = {{"innerQ7SavePossibleCheck", Q7_ERROR_UNKNOWN, "fileversion is not exist : 25"}};
  EXPECT_EQ(Drain(), want);
  EXPECT_EQ(innerQ7SavePossibleCheck(0, kOldFileVersion), 0);
  EXPECT_EQ(innerQ7SavePossibleCheck(table, kOldFileVersion), 0);

  DecimalFilter(table, {Units(1)});
  EXPECT_EQ(innerQ7SavePossibleCheck(table, kOldFileVersion), Q7_ERROR_NO_FILE_VERSION);
  want = {{"innerQ7SavePossibleCheck", Q7_ERROR_UNKNOWN, "Invalid fileversion"}};
  EXPECT_EQ(Drain(), want);
  EXPECT_TRUE(FileVerson_ExistChack(24));
  EXPECT_FALSE(FileVerson_ExistChack(25));
  EXPECT_FALSE(DbCode_UsedChack());
}

TEST_F(ScaleOps, OldVersionSavesWriteTheOldHeader) {
  char pattern[] = "/tmp/q7opoldXXXXXX";
  const std::string dir = mkdtemp(pattern);
  const int table = IntTable({1, 2}, nullptr, "Old");
  innerQ7SetSavedFlag(0);
  ASSERT_EQ(innerQ7SaveDBAsOldver(dir.c_str(), "old", kOldFileVersion), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 1);
  ASSERT_EQ(innerQ7SaveRealTableOldver(dir.c_str(), table, kOldFileVersion), 0);
  innerQ7SetSavedFlag(0);
  ASSERT_EQ(innerQ7SaveRealTableAsOldver(dir.c_str(), "Old2", table, kOldFileVersion), 0);
  EXPECT_EQ(innerQ7GetSavedFlag(0), 0);

  for (const char* file : {"old.Q7D", "Old.Q7T", "Old2.Q7T"}) {
    SCOPED_TRACE(file);
    std::ifstream in(dir + "/" + file, std::ios::binary);
    std::vector<unsigned char> head(272);
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(head.data()), head.size()));
    EXPECT_EQ(head[0], 0xFF);
    EXPECT_EQ(head[4], 0);  // no database character code
    int32_t version1 = 0;
    // Database files: the versions right after the header; table files: after the kind tag and the
    // padding to the next 8-byte boundary.
    memcpy(&version1, head.data() + (std::string(file).find("Q7D") != std::string::npos ? 260 : 268), 4);
    EXPECT_EQ(version1, kOldFileVersion);
  }
  EXPECT_EQ(innerQ7SaveRealTableOldver(dir.c_str(), 99, kOldFileVersion), Q7_ERROR_NO_SUCH_TABLE);
  std::filesystem::remove_all(dir);
}

}  // namespace
