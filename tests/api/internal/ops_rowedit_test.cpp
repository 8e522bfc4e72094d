// Row edits through the operation layer: the checks in their order, the entries they leave, the
// saved flag, and that a refused edit changes nothing.
#include "api/ops/ops_rowedit.h"

#include <functional>

#include "api/ops/ops_names.h"
#include "api/ops/ops_sets.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class RowEdits : public opsets_test::OpTest {};

struct Edit {
  const char* ring;
  const char* not_real;  // the kind message's format
  std::function<int(int table, int filter)> run;
};

std::vector<Edit> Edits(int* value) {
  return {
      {"Q7DeleteRealRowsEx", "Not RealTable: %d",
       [](int t, int) { return innerQ7DeleteRealRowsEx(t, 1, 1, 1); }},
      {"Q7DeleteRealRows", "Not RealTable: %d", [](int t, int) { return innerQ7DeleteRealRows(t, 1, 1); }},
      {"Q7InsertRealRows", "Not RealTable: %d", [](int t, int) { return innerQ7InsertRealRows(t, 1, 1); }},
      {"Q7OverwriteRealEx", "Not RealTable: %d ",
       [value](int t, int f) { return innerQ7OverwriteRealEx(t, 1, f, 1, 1, value); }},
      {"Q7FillRealEx", "Not RealTable: %d ",
       [value](int t, int f) { return innerQ7FillRealEx(t, 1, f, 1, 1, value); }},
  };
}

std::string Format(const char* format, int id) {
  char text[64];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  snprintf(text, sizeof text, format, id);
#pragma GCC diagnostic pop
  return text;
}

TEST_F(RowEdits, ChecksInOrder) {
  int key = 0;
  const int master = IntTable({1, 2, 3}, &key, "M");
  const int slave = IntTable({2, 3}, nullptr, "S");
  const int join = Join(master, slave);
  int value = 9;
  for (const Edit& e : Edits(&value)) {
    SCOPED_TRACE(e.ring);
    EXPECT_EQ(e.run(99, key), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(e.ring), (std::vector<Entry>{{e.ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}));

    Real(slave)->FShmImage = 1;
    EXPECT_EQ(e.run(slave, key), Q7_ERROR_SHARED_READ_ONLY);
    Real(slave)->FShmImage = 0;
    EXPECT_EQ(Drain(), std::vector<Entry>{});

    EXPECT_EQ(e.run(join, key), Q7_ERROR_NOT_REAL_TABLE);
    EXPECT_EQ(DrainFor(e.ring),
              (std::vector<Entry>{{e.ring, Q7_ERROR_NO_SUCH_TABLE, Format(e.not_real, join)}}));

    // A join rests on the master: its rows stay as they are.
    EXPECT_EQ(e.run(master, key), Q7_ERROR_NOT_EDITABLE);
    EXPECT_EQ(
        DrainFor(e.ring),
        (std::vector<Entry>{{e.ring, Q7_ERROR_NO_SUCH_TABLE, "Not Editable: " + std::to_string(master)}}));
    EXPECT_EQ(innerQ7GetTotalRows(master), 3);
    EXPECT_EQ(ValueNumbers(master, key), (std::vector<int>{1, 2, 3}));
  }
  EXPECT_EQ(innerQ7GetTotalRows(slave), 2);
  EXPECT_EQ(g_TFSaved, 1);
}

TEST_F(RowEdits, SuccessClearsTheTablesFlag) {
  int f = 0;
  int value = 7;
  for (const Edit& e : Edits(&value)) {
    SCOPED_TRACE(e.ring);
    SetUp();
    const int t = IntTable({1, 2, 3, 4}, &f);
    ASSERT_EQ(innerQ7GetSavedFlag(1), 1);
    EXPECT_GE(e.run(t, f), 0);
    EXPECT_EQ(innerQ7GetSavedFlag(1), 0);
    EXPECT_EQ(g_TFSSaved, 1);
  }
}

TEST_F(RowEdits, ResultsOfTheTable) {
  int f = 0;
  const int t = IntTable({10, 20, 30, 40, 50}, &f);
  EXPECT_EQ(innerQ7InsertRealRows(t, 2, 3), 3);
  EXPECT_EQ(innerQ7GetTotalRows(t), 8);
  EXPECT_GE(innerQ7DeleteRealRows(t, 2, 3), 0);
  EXPECT_EQ(innerQ7GetTotalRows(t), 5);
  int values[] = {7, 8};
  EXPECT_EQ(innerQ7OverwriteRealEx(t, 1, f, 4, 2, values), 2);
  int fill = 1;
  EXPECT_EQ(innerQ7FillRealEx(t, 1, f, 1, 2, &fill), 2);
  std::vector<int> read;
  for (int r = 0; r < 5; ++r) {
    int type = 0, v = 0;
    Real(t)->ReadData(1, f, r, &type, &v);
    read.push_back(v);
  }
  EXPECT_EQ(read, (std::vector<int>{1, 1, 30, 7, 8}));
  Drain();

  MarkAllSaved();
  EXPECT_LT(innerQ7InsertRealRows(t, -1, 1), 0);
  const std::vector<Entry> mine = DrainFor("Q7InsertRealRows");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0].message, "return of inner call");
  EXPECT_EQ(g_TFSaved, 1);
}

}  // namespace
