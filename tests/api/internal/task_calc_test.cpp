// The three calculation roads (task slots 17 and 44, the serial operation) against the tables they
// must refuse, which a host cannot build: a table in shared memory, a join, and the master of a
// join. Checked: the code, the road's own ring entries, and that the target is left as it was.
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "api/ops/ops_calc.h"
#include "api/task/CDBTask.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class CalcTask : public opsets_test::OpTest {};

struct Road {
  const char* ring;
  bool writes;  // into a filter (slot 44 only reads the table)
  std::function<int(int table, int target)> run;
};

double g_out[3];
char g_message[512];

std::vector<Road> Roads() {
  return {
      {"RQ7CalcReal", true,
       [](int t, int f) { return DBTASK()->CalcReal(t, 1, f, 1, 3, "@K*2", g_message); }},
      {"Q7CalcReal", true,
       [](int t, int f) {
         char* message = nullptr;
         return innerQ7CalcReal(t, 1, f, 1, 3, "@K*2", &message);
       }},
      {"RQ7CalcPtr", false,
       [](int t, int) {
         return DBTASK()->CalcPtr(t, 1, 1, 3, "@K*2", Q7_TYPE_DOUBLE, g_out, 0, nullptr, g_message);
       }},
  };
}

TEST_F(CalcTask, RefusedTablesInTheirOrder) {
  const int master = IntTable({1, 2, 3}, nullptr, "M");
  const int slave = IntTable({2, 3, 4}, nullptr, "S");
  const int lone = IntTable({5, 6, 7}, nullptr, "L");
  const std::vector<double> values = {0.5, -std::numeric_limits<double>::infinity(), 7.0};
  const int master_target = DoubleFilter(master, values, Q7_TYPE_DOUBLE, "R");
  const int lone_target = DoubleFilter(lone, values, Q7_TYPE_DOUBLE, "R");
  const int join = Join(master, slave);
  const std::vector<std::string> before = Column(lone, lone_target);
  Drain();
  for (const Road& road : Roads()) {
    SCOPED_TRACE(road.ring);
    EXPECT_EQ(road.run(99, 1), Q7_ERROR_NO_SUCH_TABLE);
    EXPECT_EQ(DrainFor(road.ring),
              (std::vector<Entry>{{road.ring, Q7_ERROR_NO_SUCH_TABLE, "No Such Table: 99"}}));

    EXPECT_EQ(road.run(join, 1), Q7_ERROR_NOT_REAL_TABLE);
    EXPECT_EQ(
        DrainFor(road.ring),
        (std::vector<Entry>{{road.ring, Q7_ERROR_NO_SUCH_TABLE, "Not RealTable: " + std::to_string(join)}}));

    // Shared memory: the writing roads refuse silently, the reading one goes on.
    Real(lone)->FShmImage = 1;
    EXPECT_EQ(road.run(lone, lone_target), road.writes ? Q7_ERROR_SHARED_READ_ONLY : 0);
    Real(lone)->FShmImage = 0;
    EXPECT_EQ(DrainFor(road.ring), std::vector<Entry>{});
    EXPECT_EQ(Column(lone, lone_target), before);

    // The join rests on the master: the writing roads are refused by the calculators.
    const int referred = road.run(master, master_target);
    EXPECT_EQ(referred, road.writes ? Q7_ERROR_NOT_EDITABLE : 0);
    const std::vector<Entry> entries = DrainFor(road.ring);
    if (std::string(road.ring) == "Q7CalcReal") {
      EXPECT_EQ(entries, (std::vector<Entry>{{road.ring, Q7_ERROR_NOT_EDITABLE, "return of inner call"}}));
    } else {
      EXPECT_EQ(entries, std::vector<Entry>{});
    }
    EXPECT_EQ(Column(master, master_target), before);
  }
  // The reading road computed on the master: 2, 4, 6.
  EXPECT_EQ(std::vector<double>(g_out, g_out + 3), (std::vector<double>{2, 4, 6}));
}

}  // namespace
