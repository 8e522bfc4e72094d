// Filter operations of the operation layer: the interface records at their byte offsets, the
// readers, the attribute blocks, and the changing operations with their refusals and saved flag.
#include "api/ops/ops_filters.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "api/ops/ops_sets.h"
#include "opsets_support.h"
#include "tests/support/test_support.h"
#include "values/TNumericArray.h"
#include "values/TStrArray.h"

namespace {

using opsets_test::Entry;

class FilterOps : public opsets_test::OpTest {};

template <class T>
T At(const void* record, size_t offset) {
  T value;
  memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
  return value;
}

TEST_F(FilterOps, FilterInfoRecordLiesAtItsOffsets) {
  const int t = Table(3);
  const int f = StringFilter(t, {"pear", "apple", "pear"}, "Fruit");
  _TFilterInfo info;
  memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(innerQ7GetFilter(t, f, &info), 0);

  TFilter* filter = Real(t)->GetFilter(f);
  auto* list = static_cast<TStrArray*>(filter->VL);
  EXPECT_EQ(At<int32_t>(&info, 0), 4);  // value numbers of records 0..3
  EXPECT_EQ(At<int32_t*>(&info, 8), filter->PV->PIntAr());
  EXPECT_EQ(At<int32_t>(&info, 16), Q7_TYPE_STRING);
  EXPECT_EQ(At<int32_t>(&info, 20), 8);
  EXPECT_EQ(At<int32_t>(&info, 24), 3);  // NULL, apple, pear
  EXPECT_EQ(At<void*>(&info, 32), list->FData);
  EXPECT_EQ(At<char*>(&info, 40), list->FStrArea);
  EXPECT_STREQ(reinterpret_cast<const char*>(&info) + 48, "Fruit");
  EXPECT_EQ(At<uint64_t>(&info, 304), 0xABABABABABABABABull);  // reserved, not written
  EXPECT_EQ(At<int32_t>(&info, 312), filter->FOrgTblID);
  EXPECT_EQ(At<int32_t>(&info, 316), filter->FOrgFltID);
  // Through the record: record 2 holds "apple".
  const int vno = info.valueNumbers[2];
  EXPECT_STREQ(info.stringArea + static_cast<const uint64_t*>(info.values)[vno], "apple");
  EXPECT_EQ(info.name[0], 'F');

  const int i = IntFilter(t, {7, 8, 9});
  ASSERT_EQ(innerQ7GetFilter(t, i, &info), 0);
  EXPECT_EQ(info.type, Q7_TYPE_INTEGER);
  EXPECT_EQ(info.unit, 4);
  EXPECT_EQ(info.stringArea, nullptr);
}

TEST_F(FilterOps, FilterInfoShowsPendingValuesMerged) {
  std::vector<int> values(200);
  for (int r = 0; r < 200; ++r) values[r] = r % 10;
  int f = 0;
  const int t = IntTable(values, &f);
  int fresh = 12345;
  ASSERT_EQ(Real(t)->OverWriteEx(1, f, 7, 1, &fresh), 1);
  ASSERT_LT(Real(t)->GetFilter(f)->PV->PIntAr()[7], 0) << "the write should have gone to the pending list";

  _TFilterInfo info;
  ASSERT_EQ(innerQ7GetFilter(t, f, &info), 0);
  for (int r = 1; r < info.rowCount; ++r) {
    ASSERT_GE(info.valueNumbers[r], 0);
    ASSERT_LT(info.valueNumbers[r], info.valueCount);
  }
  EXPECT_EQ(static_cast<const int*>(info.values)[info.valueNumbers[7]], 12345);
}

TEST_F(FilterOps, TypesWidthsAndLists) {
  const int t = Table(2);
  const int d = DoubleFilter(t, {1.5, 2.5});
  const int date = DoubleFilter(t, {40000.0, 40001.0}, Q7_TYPE_DATE, "When");
  const int s = StringFilter(t, {"ab", "abcde"});
  EXPECT_EQ(innerQ7GetFilterType(t, d), Q7_TYPE_DOUBLE);
  EXPECT_EQ(innerQ7GetFilterType(t, date), Q7_TYPE_DATE);
  EXPECT_EQ(innerQ7GetFilterWidth(t, d), 8);
  EXPECT_EQ(innerQ7GetFilterWidth(t, s), 5);
  EXPECT_EQ(innerQ7GetNFilter(t), 3);
  int ids[TRealTable::kMaxFilters];
  ASSERT_EQ(innerQ7GetFilterIDList(t, ids), 3);
  EXPECT_EQ(std::vector<int>(ids, ids + 3), (std::vector<int>{d, date, s}));
  Drain();

  EXPECT_EQ(innerQ7GetFilterType(t, 99), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainFor("Q7GetFilterType"),
            (std::vector<Entry>{{"Q7GetFilterType", Q7_ERROR_NO_SUCH_TABLE, "No Such Filter: 99"}}));
  EXPECT_EQ(innerQ7GetFilterIDList(t, nullptr), Q7_ERROR_INVALID_PARAMETER);
}

TEST_F(FilterOps, MissingTableMessages) {
  struct Case {
    const char* ring;
    const char* message;
    std::function<int()> op;
  };
  int ids[4];
  _TFilterInfo info;
  void* block = nullptr;
  const Case cases[] = {
      {"Q7GetFilterIDList", "No Such Table: 99 ", [&] { return innerQ7GetFilterIDList(99, ids); }},
      {"Q7GetNFilter", "No Such Table: 99", [] { return innerQ7GetNFilter(99); }},
      {"Q7GetFilterWidth", "No Such Table: 99 ", [] { return innerQ7GetFilterWidth(99, 1); }},
      {"Q7GetFilterType", "No Such Table: 99 ", [] { return innerQ7GetFilterType(99, 1); }},
      {"Q7GetFilter", "No Such Table: 99", [&] { return innerQ7GetFilter(99, 1, &info); }},
      {"Q7GetFilterAttr", "No Such Table: 99", [&] { return innerQ7GetFilterAttr(99, 1, &block, false); }},
      {"Q7GetSubsetAttr", "No Such Table: 99", [&] { return innerQ7GetSubsetAttr(99, 1, &block, false); }},
      {"Q7DeleteRealFilter", "No Such Table: 99", [] { return innerQ7DeleteRealFilter(99, 1); }},
      {"Q7MoveRealFilter", "No Such Table: 99", [] { return innerQ7MoveRealFilter(99, 0, 1); }},
      {"Q7DupRealFilter", "No Such Table: 99", [] { return innerQ7DupRealFilter(99, 1); }},
      {"Q7DupRealFilterEx", "No Such Table: 99", [] { return innerQ7DupRealFilterEx(99, 1, 3); }},
      {"Q7AddRealFilter2", "No Such Table: 99",
       [] { return innerQ7AddRealFilter2(99, 1024, "x", 2, 0, 4, nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    EXPECT_EQ(c.op(), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(c.ring), (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, c.message}}));
  }
}

TEST_F(FilterOps, AttributeBlocks) {
  const int t = Table(2);
  const int f = IntFilter(t, {1, 2});
  void* block = nullptr;
  ASSERT_EQ(innerQ7GetFilterAttr(t, f, &block, true), 0);
  EXPECT_EQ(block, Real(t)->GetFilter(f)->VL->FUserArea);
  ASSERT_EQ(innerQ7GetSubsetAttr(t, 1, &block, true), 0);
  EXPECT_EQ(block, Real(t)->GetSet(1)->FUserArea);

  // A value list lying in shared memory may be read, not written.
  TBaseArray* list = Real(t)->GetFilter(f)->VL;
  list->FNotOwned = 1;
  block = nullptr;
  EXPECT_EQ(innerQ7GetFilterAttr(t, f, &block, false), 0);
  EXPECT_EQ(innerQ7GetFilterAttr(t, f, &block, true), Q7_ERROR_SHARED_READ_ONLY);
  list->FNotOwned = 0;
  EXPECT_EQ(Drain(), std::vector<Entry>{});

  EXPECT_EQ(innerQ7GetSubsetAttr(t, 5, &block, false), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(Drain(), (std::vector<Entry>{{"Q7GetSubsetAttr", Q7_ERROR_NO_SUCH_TABLE, "No Such Set: 5"}}));
  EXPECT_EQ(innerQ7GetFilterAttr(t, f, nullptr, false), Q7_ERROR_INVALID_PARAMETER);
}

TEST_F(FilterOps, DeleteRealFilter) {
  int key = 0;
  const int t = IntTable({1, 2, 3}, &key);
  const int other = IntFilter(t, {4, 5, 6}, "Other");
  EXPECT_EQ(innerQ7DeleteRealFilter(t, 99), Q7_ERROR_NO_SUCH_FILTER);
  EXPECT_EQ(DrainFor("Q7DeleteRealFilter"),
            (std::vector<Entry>{{"Q7DeleteRealFilter", Q7_ERROR_NO_SUCH_FILTER, "No such filter exist"}}));
  EXPECT_EQ(g_TFSaved, 1);

  ASSERT_EQ(innerQ7DeleteRealFilter(t, other), 0);
  EXPECT_EQ(innerQ7GetNFilter(t), 1);
  EXPECT_EQ(g_TFSaved, 0);

  MarkAllSaved();
  const int slave = IntTable({1}, nullptr, "S");
  Join(t, slave);
  EXPECT_EQ(innerQ7DeleteRealFilter(t, key), Q7_ERROR_NOT_EDITABLE);
  EXPECT_EQ(DrainFor("Q7DeleteRealFilter"), (std::vector<Entry>{{"Q7DeleteRealFilter", Q7_ERROR_NO_SUCH_TABLE,
                                                                 "Not Editable: " + std::to_string(t)}}));
  EXPECT_EQ(innerQ7GetNFilter(t), 1);
  EXPECT_EQ(g_TFSaved, 1);
}

TEST_F(FilterOps, ChangingOperationsRefuseSharedAndJoinTables) {
  int key = 0;
  const int t = IntTable({1, 2}, &key);
  const int slave = IntTable({2}, nullptr, "S");
  const int join = Join(t, slave);
  int value = 5;
  struct Case {
    const char* ring;
    std::function<int(int)> op;
  };
  const Case cases[] = {
      {"Q7DeleteRealFilter", [&](int id) { return innerQ7DeleteRealFilter(id, 1); }},
      {"Q7MoveRealFilter", [&](int id) { return innerQ7MoveRealFilter(id, 0, 0); }},
      {"Q7DupRealFilter", [&](int id) { return innerQ7DupRealFilter(id, 1); }},
      {"Q7DupRealFilterEx", [&](int id) { return innerQ7DupRealFilterEx(id, 1, 3); }},
      {"Q7DupRealFilterExNumeric", [&](int id) { return innerQ7DupRealFilterExNumeric(id, 1, 2, 4); }},
      {"Q7AppendRealFilter2", [&](int id) { return innerQ7AppendRealFilter2(id, 1, 2, 1, 1, &value); }},
      {"Q7AddRealFilter2", [&](int id) { return innerQ7AddRealFilter2(id, 1024, "N", 2, 2, 4, nullptr); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ring);
    EXPECT_EQ(c.op(join), Q7_ERROR_NOT_REAL_TABLE);
    EXPECT_EQ(
        DrainFor(c.ring),
        (std::vector<Entry>{{c.ring, Q7_ERROR_NO_SUCH_TABLE, "Not RealTable: " + std::to_string(join)}}));
    Real(slave)->FShmImage = 1;
    EXPECT_EQ(c.op(slave), Q7_ERROR_SHARED_READ_ONLY);
    Real(slave)->FShmImage = 0;
    EXPECT_EQ(Drain(), std::vector<Entry>{});
  }
  EXPECT_EQ(innerQ7GetNFilter(slave), 1);
  EXPECT_EQ(g_TFSaved, 1);
}

TEST_F(FilterOps, AppendRealFilter2GrowsTheTable) {
  std::vector<int> values(10);
  for (int r = 0; r < 10; ++r) values[r] = r + 1;
  int f = 0;
  const int t = IntTable(values, &f);
  int more[] = {11, 12, 13, 14, 15};
  ASSERT_GE(innerQ7AppendRealFilter2(t, f, Q7_TYPE_INTEGER, -1, 5, more), 0);
  EXPECT_EQ(innerQ7GetTotalRows(t), 15);
  EXPECT_EQ(g_TFSaved, 0);
  TFilter* filter = Real(t)->GetFilter(f);
  for (int r = 1; r <= 15; ++r) {
    int type = 0, value = 0;
    ASSERT_EQ(Real(t)->ReadData(1, f, r - 1, &type, &value), 4);
    EXPECT_EQ(value, r);
  }

  // Overwriting inside the table adds no row.
  int two[] = {100, 200};
  ASSERT_GE(innerQ7AppendRealFilter2(t, f, Q7_TYPE_INTEGER, 3, 2, two), 0);
  EXPECT_EQ(innerQ7GetTotalRows(t), 15);

  // Refusals change nothing: no rows are added for a write that cannot be made.
  MarkAllSaved();
  struct Refusal {
    int filter, type, start, count;
    void* data;
    int code;
  };
  const Refusal refusals[] = {
      {f, Q7_TYPE_DOUBLE, -1, 5, more, Q7_ERROR_FILTER_TYPE_MISMATCH},
      {99, Q7_TYPE_INTEGER, -1, 5, more, Q7_ERROR_NO_SUCH_FILTER},
      {f, Q7_TYPE_INTEGER, -1, 0, more, Q7_ERROR_INVALID_PARAMETER},
      {f, Q7_TYPE_INTEGER, -1, 5, nullptr, Q7_ERROR_INVALID_PARAMETER},
      {f, Q7_TYPE_INTEGER, 0, 5, more, Q7_ERROR_INVALID_PARAMETER},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(testing::Message() << std::hex << r.code);
    EXPECT_EQ(innerQ7AppendRealFilter2(t, r.filter, r.type, r.start, r.count, r.data), r.code);
    EXPECT_EQ(innerQ7GetTotalRows(t), 15);
  }
  EXPECT_EQ(filter->PV->FArraySize, 16);
  EXPECT_EQ(g_TFSaved, 1);
  // The type and filter refusals leave no entry.
  EXPECT_EQ(DrainFor("Q7AppendRealFilter2").size(), 3u);
}

TEST_F(FilterOps, AddRealFilter2) {
  const int t = Table(3);
  int data[] = {5, 6, 7};
  const int f = innerQ7AddRealFilter2(t, 1024, "Given", Q7_TYPE_INTEGER, 3, 4, data);
  ASSERT_GT(f, 0);
  EXPECT_EQ(g_TFSaved, 0);
  EXPECT_STREQ(Real(t)->GetFilter(f)->FFilterName, "Given");

  // Without data: a filter of NULLs, as many rows as the table.
  const int empty = innerQ7AddRealFilter2(t, 0, nullptr, Q7_TYPE_DOUBLE, 3, 8, nullptr);
  ASSERT_GT(empty, 0);
  EXPECT_EQ(ValueNumbers(t, empty), (std::vector<int>{0, 0, 0}));
  EXPECT_TRUE(q7test::FullMatch(Real(t)->GetFilter(empty)->FFilterName, "filter[0-9]{14}_0"))
      << Real(t)->GetFilter(empty)->FFilterName;
  int ids[TRealTable::kMaxFilters];
  innerQ7GetFilterIDList(t, ids);
  EXPECT_EQ(ids[0], empty);  // position 0 inserts first
  EXPECT_EQ(innerQ7AddRealFilter2(t, 1024, "Short", Q7_TYPE_DOUBLE, 2, 8, nullptr),
            Q7_ERROR_INVALID_UNIT_WIDTH);
  Drain();

  // The host's name is never rewritten, even when the table cleans it.
  char host_name[] = "a/b";
  const int cleaned = innerQ7AddRealFilter2(t, 1024, host_name, Q7_TYPE_INTEGER, 3, 4, data);
  if (cleaned > 0) {
    EXPECT_STREQ(host_name, "a/b");
  }
  Drain();

  const std::string too_long(256, 'n');
  const std::string longest(255, 'n');
  const int filters = innerQ7GetNFilter(t);
  EXPECT_EQ(innerQ7AddRealFilter2(t, 1024, too_long.c_str(), Q7_TYPE_INTEGER, 3, 4, data),
            Q7_ERROR_ILLEGAL_FILTER_NAME);
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"Q7AddRealFilter2", Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName"},
                                {"Q7AddRealFilter2", Q7_ERROR_ILLEGAL_FILTER_NAME, "Illegal FilterName"}}));
  EXPECT_EQ(innerQ7GetNFilter(t), filters);
  EXPECT_GT(innerQ7AddRealFilter2(t, 1024, longest.c_str(), Q7_TYPE_INTEGER, 3, 4, data), 0);
}

TEST_F(FilterOps, DuplicatesAndMoves) {
  const int t = Table(3);
  const int f = IntFilter(t, {3, 1, 2});
  const int g = IntFilter(t, {9, 9, 9}, "G");
  const int dup = innerQ7DupRealFilter(t, f);
  ASSERT_GT(dup, 0);
  EXPECT_EQ(ValueNumbers(t, dup), ValueNumbers(t, f));

  const int dec = innerQ7DupRealFilterEx(t, f, Q7_TYPE_DECIMAL);
  ASSERT_GT(dec, 0);
  EXPECT_EQ(innerQ7GetFilterType(t, dec), Q7_TYPE_DECIMAL);
  auto* list = static_cast<TNumericArray*>(Real(t)->GetFilter(dec)->VL);
  EXPECT_EQ(list->GetScale(), 6);
  EXPECT_EQ(list->GetRoundingMode(), Q7_ROUND_HALF_UP);

  const int dec2 = innerQ7DupRealFilterExNumeric(t, f, 2, Q7_ROUND_DOWN);
  ASSERT_GT(dec2, 0);
  EXPECT_EQ(static_cast<TNumericArray*>(Real(t)->GetFilter(dec2)->VL)->GetScale(), 2);
  EXPECT_EQ(innerQ7DupRealFilterExNumeric(t, f, 39, 4), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(innerQ7DupRealFilterExNumeric(t, f, 2, 7), Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      DrainFor("Q7DupRealFilterExNumeric"),
      (std::vector<Entry>{
          {"Q7DupRealFilterExNumeric", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : scale(39)"},
          {"Q7DupRealFilterExNumeric", Q7_ERROR_INVALID_PARAMETER, "Invalid Parameter : rounding_mode(7)"}}));

  int before[TRealTable::kMaxFilters], after[TRealTable::kMaxFilters];
  const int n = innerQ7GetFilterIDList(t, before);
  ASSERT_EQ(n, 5);
  EXPECT_NE(std::find(before, before + n, g), before + n);
  ASSERT_EQ(innerQ7MoveRealFilter(t, 1, 0), 0);
  innerQ7GetFilterIDList(t, after);
  EXPECT_EQ(after[0], before[1]);
  EXPECT_EQ(after[1], before[0]);
  Drain();
  EXPECT_EQ(innerQ7MoveRealFilter(t, 40, 0), Q7_ERROR_INVALID_KEY_PARAMETER);
  EXPECT_EQ(DrainFor("Q7MoveRealFilter"), std::vector<Entry>{});
  EXPECT_EQ(g_TFSaved, 0);  // duplicates and moves change the table
}

TEST_F(FilterOps, FilterBodyCopiesAtMostTheCapacities) {
  const int t = Table(4);
  const int s = StringFilter(t, {"bb", "a", "bb", "ccc"});
  TFilter* filter = Real(t)->GetFilter(s);
  _TRFilterInfo info;
  FillFilterSummary(filter, "Shown", &info);
  EXPECT_EQ(info.rowCount, 5);
  EXPECT_EQ(info.type, Q7_TYPE_STRING);
  EXPECT_EQ(info.valueCount, 4);
  EXPECT_EQ(info.stringAreaSize, static_cast<TStrArray*>(filter->VL)->FPCLast);
  EXPECT_STREQ(info.name, "Shown");

  int32_t numbers[8];
  uint64_t offsets[8];
  char area[64];
  memset(numbers, -1, sizeof numbers);
  _TRFilterBody body{3, numbers, 8, offsets, static_cast<int32_t>(sizeof area), area};
  RunOp("test", [&] {
    CheckFilterBody("test", &body);
    CopyFilterBody(filter, &body);
    return 0;
  });
  EXPECT_EQ(numbers[2], filter->PV->PIntAr()[2]);
  EXPECT_EQ(numbers[3], -1);  // capacity 3
  EXPECT_STREQ(area + offsets[numbers[1]], "bb");

  _TRFilterBody bad{0, nullptr, -1, nullptr, 0, nullptr};
  const int code = RunOp("test", [&] {
    CheckFilterBody("test", &bad);
    return 0;
  });
  EXPECT_EQ(code, Q7_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Drain(),
            (std::vector<Entry>{{"test", Q7_ERROR_NO_SUCH_TABLE, "Illegal Buffer size: 0, -1, 0 "}}));

  _TRFilterBody none{0, nullptr, 0, nullptr, 0, nullptr};
  EXPECT_EQ(RunOp("test",
                  [&] {
                    CheckFilterBody("test", &none);
                    CopyFilterBody(filter, &none);
                    return 0;
                  }),
            0);
}

}  // namespace
