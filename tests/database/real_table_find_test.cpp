// The find session of a real table: opening on each value type, stepping through the hits of a
// set in both directions, the search ID rules and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "coded_columns.h"
#include "database/TFilter.h"
#include "table_test_support.h"

namespace {

using coded::AddCodedFilter;
using coded::RandomCodes;
using coded::ShuffledRecords;
using ttest::TableTest;

// Opens a find on a coded filter with bounds given as codes.
int OpenCoded(TRealTable* t, int type, int filter, int kind, int from, int to) {
  switch (type) {
    case Q7_TYPE_INTEGER:
      return t->OpenIntFind(filter, kind, coded::IntOf(from), coded::IntOf(to));
    case Q7_TYPE_STRING: {
      std::string lo = coded::StrOf(from), hi = coded::StrOf(to);
      return t->OpenStrFind(filter, kind, lo.data(), hi.data());
    }
    case Q7_TYPE_DECIMAL:
      return t->OpenNumericFind(filter, kind, coded::DecOf(from), coded::DecOf(to));
    default:
      return t->OpenFloatFind(filter, kind, coded::DoubleOf(type, from), coded::DoubleOf(type, to));
  }
}

// The conditions on codes (code 0, the NULL, being the smallest value).
bool Meets(int kind, int x, int from, int to) {
  switch (kind) {
    case 0:
      return x == from;
    case 1:
      return from <= x && x <= to;
    case 2:
      return x <= from;
    case 3:
      return x >= from;
    case 4:
      return x != from;
    case 5:
      return from < x && x < to;
    case 6:
      return x < from;
    default:
      return x > from;
  }
}

// Every hit of the set, stepping forwards from row 0 or backwards from one past the last row.
std::vector<int> StepAll(TRealTable* t, int search_id, int set_id, int direction) {
  std::vector<int> hits;
  int row = direction == 0 ? 0 : t->GetSetSize(set_id) + 1;
  int filter = 0;
  for (;;) {
    const int rc = t->GetNextHit(search_id, set_id, row, direction, &filter, &row);
    EXPECT_GE(rc, 0);
    if (rc != 1) break;
    hits.push_back(row);
  }
  return hits;
}

class FindTest : public TableTest {};

// Every kind on every value type, NULL rows included, against a plain scan of the codes: the hit
// count counts the table's records, and stepping a shuffled set forwards and backwards meets the
// positions of its matching rows in order.
TEST_F(FindTest, EveryKindOnEveryTypeMatchesAScan) {
  constexpr int kRows = 200;
  const std::vector<int> codes = RandomCodes(kRows, 9, 4);
  const std::vector<int> set_rows = ShuffledRecords(kRows, 150, 8);
  struct Bounds {
    int from, to;
  };
  const Bounds bounds[] = {{3, 7}, {0, 4}, {9, 2}, {5, 5}, {4, 12}};
  for (const auto& type : coded::kTypes) {
    SCOPED_TRACE(type.name);
    TRealTable* t = Real(AddTable("T", kRows));
    const int filter = AddCodedFilter(t, type.type, codes);
    const int set = t->AddSetFromRows(static_cast<int>(set_rows.size()), set_rows.data());
    for (int kind = 0; kind <= 7; ++kind) {
      for (const Bounds& b : bounds) {
        SCOPED_TRACE(testing::Message() << "kind " << kind << " from " << b.from << " to " << b.to);
        const int id = OpenCoded(t, type.type, filter, kind, b.from, b.to);
        ASSERT_GT(id, 0);
        int want_count = 0;
        for (int c : codes) want_count += Meets(kind, c, b.from, b.to) ? 1 : 0;
        std::vector<int> want_rows;
        for (size_t p = 0; p < set_rows.size(); ++p) {
          if (Meets(kind, codes[set_rows[p] - 1], b.from, b.to)) want_rows.push_back(static_cast<int>(p + 1));
        }
        int hits = -1, find_filter = -1;
        EXPECT_EQ(t->GetFindStatus(&hits, &find_filter), id);
        EXPECT_EQ(hits, want_count);
        EXPECT_EQ(find_filter, filter);
        EXPECT_EQ(StepAll(t, id, set, 0), want_rows);
        std::vector<int> backwards(want_rows.rbegin(), want_rows.rend());
        EXPECT_EQ(StepAll(t, id, set, 1), backwards);
        EXPECT_EQ(StepAll(t, id, set, -5), backwards);
      }
    }
  }
}

// The string kinds 8 to 10 and byte order with texts of several shapes.
TEST_F(FindTest, StringMatchKinds) {
  const std::vector<std::string> values = {"apple", "pineapple", "", "app", "banana", "apples", "nap"};
  TRealTable* t = Real(AddTable("S", static_cast<int>(values.size())));
  std::vector<const char*> raw;
  for (const auto& v : values) raw.push_back(v.c_str());
  char name[] = "s";
  const int filter =
      t->AddFilter2(1024, name, Q7_TYPE_STRING, static_cast<int>(raw.size()), 8, raw.data(), 0, -1);
  struct Case {
    int kind;
    const char* from;
    const char* to;
    std::vector<int> records;
  };
  const Case cases[] = {
      {8, "app", "", {1, 4, 6}},          {9, "app", "", {1, 2, 4, 6}},
      {10, "apple", "", {1, 2}},          {10, "p", "", {4, 7}},
      {9, "", "", {1, 2, 3, 4, 5, 6, 7}}, {0, "", "", {3}},
      {2, "apple", "", {1, 3, 4}},        {5, "app", "b", {1, 6}},
      {1, "apple", "banana", {1, 5, 6}},  {7, "banana", "", {2, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " '" << c.from << "'");
    std::string from = c.from, to = c.to;
    const int id = t->OpenStrFind(filter, c.kind, from.data(), to.data());
    ASSERT_GT(id, 0);
    EXPECT_EQ(StepAll(t, id, 1, 0), c.records);
  }
}

TEST_F(FindTest, SearchIdStartsAt101AndAdvancesOnEveryOpenCloseAndFailure) {
  TRealTable* t = Real(AddTable("T", 20));
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, RandomCodes(20, 3, 1));
  int hits = -7, find_filter = -7;
  EXPECT_EQ(t->GetFindStatus(&hits, &find_filter), 0);
  EXPECT_EQ(hits, -7);
  EXPECT_EQ(t->OpenIntFind(filter, 0, coded::IntOf(1), 0), 101);
  t->CloseFind();
  EXPECT_EQ(t->GetFindStatus(&hits, &find_filter), 0);
  EXPECT_EQ(t->OpenIntFind(filter, 0, coded::IntOf(1), 0), 103);
  DrainRing();

  struct Case {
    const char* what;
    std::function<int()> open;
    int code;
    // Of the search ID: 1 (the open discards the previous find first), or 2 when the failure came
    // after the map was built and discarded the find again.
    int advance;
    std::vector<std::string> ring;
  };
  char text[] = "x";
  const Case cases[] = {
      {"int, no filter",
       [&] { return t->OpenIntFind(9, 0, 0, 0); },
       Q7_ERROR_INVALID_KEY_PARAMETER,
       1,
       {"GetFilter|No Such Filter: 9", "OpenIntFind|Invalid Parameter : SrchFltID"}},
      {"str, no filter",
       [&] { return t->OpenStrFind(9, 0, text, text); },
       Q7_ERROR_INVALID_KEY_PARAMETER,
       1,
       {"GetFilter|No Such Filter: 9", "OpenStrFind|No Such Filter: 9"}},
      {"float on INTEGER",
       [&] { return t->OpenFloatFind(filter, 0, 0, 0); },
       Q7_ERROR_INVALID_DATA_TYPE,
       1,
       {"OpenFloatFind|Illegal data type"}},
      {"str on INTEGER",
       [&] { return t->OpenStrFind(filter, 0, text, text); },
       Q7_ERROR_INVALID_DATA_TYPE,
       1,
       {"OpenStrFind|Illegal data type ( Not STRING )"}},
      {"numeric on INTEGER",
       [&] { return t->OpenNumericFind(filter, 0, coded::DecOf(1), coded::DecOf(1)); },
       Q7_ERROR_INVALID_DATA_TYPE,
       1,
       {}},
      {"kind 8 on INTEGER",
       [&] { return t->OpenIntFind(filter, 8, 0, 0); },
       Q7_ERROR_INVALID_OPERATION,
       2,
       {"OpenIntFind|Invalid Parameter : SrchKind(8)"}},
      {"kind -1",
       [&] { return t->OpenIntFind(filter, -1, 0, 0); },
       Q7_ERROR_INVALID_OPERATION,
       2,
       {"OpenIntFind|Invalid Parameter : SrchKind(-1)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int before = t->FSearchID;
    EXPECT_EQ(c.open(), c.code);
    EXPECT_EQ(t->FSearchID, before + c.advance);
    EXPECT_EQ(t->GetFindStatus(&hits, &find_filter), 0);
    EXPECT_EQ(DrainRing(), c.ring);
    ASSERT_GT(t->OpenIntFind(filter, 0, 0, 0), 0);  // a find open for the next case to discard
  }
}

TEST_F(FindTest, StringKindOutsideTenIsRefusedAfterBuildingTheMap) {
  TRealTable* t = Real(AddTable("T", 5));
  const int filter = AddCodedFilter(t, Q7_TYPE_STRING, {1, 2, 0, 2, 1});
  char from[] = "s001";
  const int before = t->FSearchID;
  DrainRing();
  EXPECT_EQ(t->OpenStrFind(filter, 11, from, from), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(t->FSearchID, before + 2);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"OpenStrFind|Invalid Parameter : SrchKind"});
  EXPECT_EQ(t->OpenStrFind(filter, 10, from, from), before + 3);
}

// Kind 2 counts NULL rows (the smallest value); kind 0 on the NULL bound finds exactly them.
TEST_F(FindTest, NullRowsTakePartAsTheSmallestValue) {
  TRealTable* t = Real(AddTable("T", 6));
  const int filter = AddCodedFilter(t, Q7_TYPE_DOUBLE, {0, 3, 0, 5, 1, 0});
  int hits = 0, f = 0;
  ASSERT_GT(t->OpenFloatFind(filter, 2, coded::DoubleOf(Q7_TYPE_DOUBLE, 1), 0), 0);
  t->GetFindStatus(&hits, &f);
  EXPECT_EQ(hits, 4);
  ASSERT_GT(t->OpenFloatFind(filter, 0, -HUGE_VAL, 0), 0);
  t->GetFindStatus(&hits, &f);
  EXPECT_EQ(hits, 3);
}

TEST_F(FindTest, StartRowEdgesAndOutsideRowsAreRefused) {
  TRealTable* t = Real(AddTable("T", 6));
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, {1, 2, 1, 2, 1, 2});
  const int id = t->OpenIntFind(filter, 0, coded::IntOf(1), 0);  // records 1, 3, 5
  int f = 0, row = -1;
  EXPECT_EQ(t->GetNextHit(id, 1, 0, 0, &f, &row), 1);
  EXPECT_EQ(row, 1);
  row = -1;
  EXPECT_EQ(t->GetNextHit(id, 1, 6, 0, &f, &row), 0);
  EXPECT_EQ(t->GetNextHit(id, 1, 7, 0, &f, &row), 0);
  EXPECT_EQ(t->GetNextHit(id, 1, 1, 1, &f, &row), 0);
  EXPECT_EQ(row, -1);
  EXPECT_EQ(t->GetNextHit(id, 1, 7, 1, &f, &row), 1);
  EXPECT_EQ(row, 5);
  DrainRing();
  for (int start : {-1, 8, -100000}) {
    for (int direction : {0, 1}) {
      SCOPED_TRACE(testing::Message() << start << " " << direction);
      row = -1;
      EXPECT_EQ(t->GetNextHit(id, 1, start, direction, &f, &row), Q7_ERROR_INVALID_PARAMETER);
      EXPECT_EQ(row, -1);
      EXPECT_EQ(DrainRing(), std::vector<std::string>{"GetNextHit|Invalid Parameter : StartRow"});
    }
  }
  // The find survives a refused step.
  EXPECT_EQ(t->GetNextHit(id, 1, 1, 0, &f, &row), 1);
  EXPECT_EQ(row, 3);
}

TEST_F(FindTest, GetNextHitRefusals) {
  TRealTable* t = Real(AddTable("T", 6));
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, {1, 2, 1, 2, 1, 2});
  int f = 0, row = 0;
  DrainRing();
  EXPECT_EQ(t->GetNextHit(100, 1, 0, 0, &f, &row), Q7_ERROR_FIND_NOT_OPEN);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"GetNextHit|Failed to open find"});
  const int id = t->OpenIntFind(filter, 0, coded::IntOf(2), 0);
  EXPECT_EQ(t->GetNextHit(id + 1, 1, 0, 0, &f, &row), Q7_ERROR_INVALID_FIND_ID);
  EXPECT_EQ(DrainRing(), std::vector<std::string>{"GetNextHit|Invalid Parameter : SrchID"});
  EXPECT_EQ(t->GetNextHit(id, 42, 0, 0, &f, &row), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing(), (std::vector<std::string>{"SetID2Pos|No Such Set: 42", "GetSet|No Such Set: 42 ",
                                                   "GetNextHit|No Such Set: 42"}));
  // A set made after the open is stepped through the same map.
  const int rows[] = {6, 5, 4};
  const int later = t->AddSetFromRows(3, rows);
  EXPECT_EQ(StepAll(t, id, later, 0), (std::vector<int>{1, 3}));
}

// A find is discarded by changes of the rows and of its own filter, and its ID is refused after.
TEST_F(FindTest, StaleSearchIdIsRefused) {
  struct Case {
    const char* what;
    std::function<void(TRealTable*, int find_filter, int other_filter)> change;
    bool kept;
  };
  const Case cases[] = {
      {"insert", [](TRealTable* t, int, int) { ASSERT_GE(t->InsRows(2, 3), 0); }, false},
      {"delete", [](TRealTable* t, int, int) { ASSERT_GE(t->DelRows(2, 1), 0); }, false},
      {"drop the find filter", [](TRealTable* t, int f, int) { ASSERT_EQ(t->DropFilter(f), 0); }, false},
      {"drop another filter", [](TRealTable* t, int, int o) { ASSERT_EQ(t->DropFilter(o), 0); }, true},
      {"close", [](TRealTable* t, int, int) { t->CloseFind(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TRealTable* t = Real(AddTable("T", 6));
    const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, {1, 2, 1, 2, 1, 2}, "A");
    const int other = AddCodedFilter(t, Q7_TYPE_INTEGER, {1, 1, 1, 1, 1, 1}, "B");
    const int id = t->OpenIntFind(filter, 0, coded::IntOf(1), 0);
    ASSERT_GT(id, 0);
    c.change(t, filter, other);
    int f = 0, row = 0;
    if (c.kept) {
      EXPECT_EQ(t->GetNextHit(id, 1, 0, 0, &f, &row), 1);
      continue;
    }
    EXPECT_EQ(t->GetNextHit(id, 1, 0, 0, &f, &row), Q7_ERROR_FIND_NOT_OPEN);
    // A new find does not revive the old ID.
    if (t->GetFilter(filter) != nullptr) {
      const int next = t->OpenIntFind(filter, 0, coded::IntOf(1), 0);
      EXPECT_GT(next, id);
      EXPECT_EQ(t->GetNextHit(id, 1, 0, 0, &f, &row), Q7_ERROR_INVALID_FIND_ID);
    }
  }
}

TEST_F(FindTest, PendingValuesAreMergedBeforeMarking) {
  TRealTable* t = Real(AddTable("T", 150));
  std::vector<int> codes(150, 1);
  const int filter = AddCodedFilter(t, Q7_TYPE_INTEGER, codes);
  TFilter* f = t->GetFilter(filter);
  f->AllocTVL();
  ASSERT_GT(f->AppendTVLInt(coded::IntOf(5), 40), 0);
  const int id = t->OpenIntFind(filter, 7, coded::IntOf(1), 0);
  ASSERT_GT(id, 0);
  EXPECT_EQ(f->TVLCount, 0);
  EXPECT_EQ(StepAll(t, id, 1, 0), std::vector<int>{40});
}

TEST_F(FindTest, FindRecNoGivesTheFirstPosition) {
  TRealTable* t = Real(AddTable("T", 10));
  const int rows[] = {9, 4, 7, 4};
  const int set = t->AddSetFromRows(4, rows);
  EXPECT_EQ(t->FindRecNo(set, 4), 2);
  EXPECT_EQ(t->FindRecNo(set, 7), 3);
  EXPECT_EQ(t->FindRecNo(set, 5), 0);
  EXPECT_EQ(t->FindRecNo(1, 10), 10);
  DrainRing();
  EXPECT_EQ(t->FindRecNo(55, 1), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing().back(), "FindRecNo|No Such Set: 55");
}

}  // namespace
