// Join tables through the operation layer and the task object: the searches, sorts, set operations,
// listings and reads that take any table reach the join's own, the refusals that stay are kept, and
// text queries on a join pair the searched rows of both sides again, against a nested-loop
// reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "api/ops/ops_data.h"
#include "api/ops/ops_search.h"
#include "api/ops/ops_sets.h"
#include "api/ops/ops_textquery.h"
#include "api/task/CDBTask.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;
using Pair = std::pair<int, int>;  // master record, slave record (0: none)
using Pairs = std::vector<Pair>;

// Master M: MK and A; slave S: SK and B. Join columns: 1 MK, 2 A, 3 SK, 4 B. Master records 5 and
// 6 and slave record 5 have no partner; keys 1 and 2 pair several records.
const std::vector<int> kMK = {1, 2, 2, 3, 4, 5, 1, 3};
const std::vector<int> kA = {10, 20, 30, 40, 50, 60, 70, 80};
const std::vector<int> kSK = {1, 1, 2, 3, 6, 2};
const std::vector<int> kB = {1, 2, 3, 4, 5, 6};
constexpr int kColA = 2, kColSK = 3, kColB = 4;

bool Any(int) { return true; }

class JoinOps : public opsets_test::OpTest {
 protected:
  void SetUp() override {
    OpTest::SetUp();
    master_ = Table(static_cast<int>(kMK.size()), "M");
    ASSERT_EQ(IntFilter(master_, kMK, "MK"), 1);
    ASSERT_EQ(IntFilter(master_, kA, "A"), 2);
    slave_ = Table(static_cast<int>(kSK.size()), "S");
    ASSERT_EQ(IntFilter(slave_, kSK, "SK"), 1);
    ASSERT_EQ(IntFilter(slave_, kB, "B"), 2);
    Drain();
  }

  // A join of M and S on MK = SK through the collection (built and paired).
  int MakeJoin(int outer) {
    int master_keys[] = {1, 0};
    int slave_keys[] = {1, 0};
    char name[] = "J";
    const int id = db()->AddJoinTable(name, outer, master_, -1, master_keys, slave_, -1, slave_keys);
    EXPECT_GT(id, 0);
    Drain();
    return id;
  }
  TJoinTable* Join(int id) { return static_cast<TJoinTable*>(db()->GetTable(id)); }

  // The joined rows of a join set in their order, each as its two records (column 0).
  Pairs JoinedRows(int join, int set) {
    Pairs out;
    const int n = Join(join)->GetSetSize(set);
    EXPECT_GE(n, 0);
    for (int r = 0; r < n; ++r) {
      int type = 0;
      int32_t recs[2] = {-1, -1};
      EXPECT_EQ(Join(join)->ReadData(set, 0, r, &type, recs), 8);
      out.emplace_back(recs[0], recs[1]);
    }
    return out;
  }
  Pairs Sorted(Pairs p) {
    std::sort(p.begin(), p.end());
    return p;
  }

  // The inner join of the master records and slave records that pass, by nested loops.
  static Pairs Reference(const std::function<bool(int m)>& master_passes,
                         const std::function<bool(int s)>& slave_passes) {
    Pairs out;
    for (int m = 1; m <= static_cast<int>(kMK.size()); ++m) {
      for (int s = 1; s <= static_cast<int>(kSK.size()); ++s) {
        if (kMK[m - 1] == kSK[s - 1] && master_passes(m) && slave_passes(s)) out.emplace_back(m, s);
      }
    }
    return out;
  }
  int master_ = 0, slave_ = 0;
};

// Every operation that takes a table of either kind, run on an inner join, answers with the join's
// own rows: a new join set holding exactly the joined rows that pass, made current.
TEST_F(JoinOps, SearchesAndSetOperationsOnAnInnerJoinKeepTheJoinedRowsThatPass) {
  const int join = MakeJoin(0);
  int a30 = 30, a50 = 50, b_values[] = {2, 3};
  struct Case {
    const char* name;
    std::function<int()> call;
    Pairs want;
  };
  const Case cases[] = {
      {"master column, equal",
       [&] { return innerQ7SearchByField(join, kColA, 1, 0, reinterpret_cast<char*>(&a30), nullptr); },
       Reference([](int m) { return kA[m - 1] == 30; }, Any)},
      {"master column, between (no partner rows in range drop out)",
       [&] {
         return innerQ7SearchByField(join, kColA, 1, 1, reinterpret_cast<char*>(&a30),
                                     reinterpret_cast<char*>(&a50));
       },
       Reference([](int m) { return kA[m - 1] >= 30 && kA[m - 1] <= 50; }, Any)},
      {"slave column, n values", [&] { return innerQ7SearchByFieldNValues(join, kColB, 1, 2, b_values); },
       Reference(Any, [](int s) { return kB[s - 1] == 2 || kB[s - 1] == 3; })},
      {"task road, slave column",
       [&] {
         return DBTASK()->SearchByField(join, kColB, 1, 2, reinterpret_cast<char*>(&b_values[0]), nullptr);
       },
       Reference(Any, [](int s) { return kB[s - 1] <= 2; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int id = c.call();
    ASSERT_GT(id, 1);
    EXPECT_EQ(Join(join)->GetCurrentSetID(), id);
    EXPECT_EQ(Sorted(JoinedRows(join, id)), Sorted(c.want));
    EXPECT_EQ(innerQ7GetSetSize(join, id), static_cast<int>(c.want.size()));
  }
  EXPECT_EQ(Drain(), (std::vector<Entry>{}));

  // AND and OR of two join sets, on both sides' rows.
  const int by_a = innerQ7SearchByField(join, kColA, 1, 2, reinterpret_cast<char*>(&a50), nullptr);
  const int by_b = innerQ7SearchByFieldNValues(join, kColB, 1, 2, b_values);
  ASSERT_GT(by_a, 1);
  ASSERT_GT(by_b, 1);
  const int both = innerQ7SetOpeReal(join, 0, by_a, by_b);
  ASSERT_GT(both, 1);
  EXPECT_EQ(Sorted(JoinedRows(join, both)),
            Sorted(Reference([](int m) { return kA[m - 1] <= 50; },
                             [](int s) { return kB[s - 1] == 2 || kB[s - 1] == 3; })));
  const int task_both = DBTASK()->SetOpeReal(join, 0, by_a, by_b);
  ASSERT_GT(task_both, both);
  EXPECT_EQ(JoinedRows(join, task_both), JoinedRows(join, both));

  // The set list, deleting one set and purging the rest leave set 1 and the whole join.
  int ids[64] = {};
  const int n_sets = innerQ7GetSetIDList(join, 64, ids);
  EXPECT_EQ(n_sets, Join(join)->FnSet);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(innerQ7DeleteSet(join, both), 0);
  EXPECT_LT(Join(join)->SetID2Pos(both), 0);
  EXPECT_EQ(innerQ7DeleteSet(join, 1), Q7_ERROR_ILLEGAL_SET_ID);
  Drain();
  EXPECT_EQ(innerQ7PurgeSubsets(join), 0);
  EXPECT_EQ(Join(join)->FnSet, 1);
  EXPECT_EQ(Sorted(JoinedRows(join, 1)), Sorted(Reference(Any, Any)));
}

// Sorts follow the sorted column's side; reads, value numbers and value counts read the source
// columns through the joined rows.
TEST_F(JoinOps, SortsReadsAndCountsGoThroughTheJoinedRows) {
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int join = MakeJoin(outer);
    const int sorted = innerQ7SortByField(join, kColB, 1, 1);
    ASSERT_GT(sorted, 1);
    const Pairs rows = JoinedRows(join, sorted);
    EXPECT_EQ(Sorted(rows), Sorted(JoinedRows(join, 1)));
    // Descending by the slave records' values; an outer join's master rows without a partner are
    // placed by the pairing, not by the sort, so only rows with a slave record are in order.
    std::vector<int> b_seen;
    for (const Pair& p : rows) {
      if (p.second != 0) b_seen.push_back(kB[p.second - 1]);
    }
    EXPECT_TRUE(std::is_sorted(b_seen.begin(), b_seen.end(), std::greater<int>()))
        << testing::PrintToString(rows);
    const int task_sorted = DBTASK()->SortByField(join, kColA, 1, 0);
    ASSERT_GT(task_sorted, sorted);
    std::vector<int> a_seen;
    for (const Pair& p : JoinedRows(join, task_sorted))
      a_seen.push_back(p.first == 0 ? INT32_MIN : kA[p.first - 1]);
    EXPECT_TRUE(std::is_sorted(a_seen.begin(), a_seen.end()));

    // Reads at every joined row of the sorted set: the master and slave columns' values.
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
      int type = 0, a = 0, b = 0, vno = -1;
      EXPECT_EQ(innerQ7GetData(join, kColA, sorted, r, &type, &a), 4);
      EXPECT_EQ(type, Q7_TYPE_INTEGER);
      EXPECT_EQ(a, rows[r].first == 0 ? INT32_MIN : kA[rows[r].first - 1]);
      EXPECT_EQ(innerQ7GetData1(join, kColB, sorted, r + 1, &type, &b, 0), 4);
      EXPECT_EQ(b, rows[r].second == 0 ? INT32_MIN : kB[rows[r].second - 1]);
      EXPECT_EQ(innerQ7GetVNo(join, kColB, sorted, r + 1, &vno), 4);
      EXPECT_EQ(vno == 0, rows[r].second == 0);
    }

    // Counts per value number of the slave key over set 1: each joined row once.
    std::vector<int> counts(16, -1);
    const int n_values = innerQ7GetValCount(join, kColSK, 1, counts.data());
    ASSERT_GT(n_values, 0);
    int total = 0;
    for (int v = 0; v < n_values; ++v) total += counts[v];
    EXPECT_EQ(total, innerQ7GetSetSize(join, 1));
    EXPECT_EQ(Drain(), (std::vector<Entry>{}));
    ASSERT_EQ(db()->DelTable(join), 0);
  }
}

// What stays refused on a join: the complement (a real table is required), the wildcard search,
// the search by position in the set and the multi-key sort of the task object (no entry).
TEST_F(JoinOps, RefusalsThatStayForJoins) {
  const int join = MakeJoin(0);
  const int sets = Join(join)->FnSet;
  int filters[] = {kColA, 0}, dirs[] = {0, 0};
  EXPECT_EQ(innerQ7SetNotReal(join, 1), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(
      DrainFor("Q7SetNot"),
      (std::vector<Entry>{{"Q7SetNot", Q7_ERROR_NO_SUCH_TABLE, "Not RealTable: " + std::to_string(join)}}));
  EXPECT_EQ(DBTASK()->SetNotReal(join, 1), Q7_ERROR_NOT_REAL_TABLE);
  Drain();
  EXPECT_EQ(innerQ7SearchByFieldWildCard(join, kColA, 1, "1*"), Q7_ERROR_NOT_REAL_TABLE);
  Drain();
  EXPECT_EQ(DBTASK()->IntegratedSortByField(join, 1, filters, dirs), Q7_ERROR_NOT_REAL_TABLE);
  EXPECT_EQ(Drain(), (std::vector<Entry>{}));
  EXPECT_EQ(Join(join)->FnSet, sets);
}

// ---- Text queries ----

struct QueryCase {
  const char* text;
  std::function<bool(int m)> master;
  std::function<bool(int s)> slave;
};

std::vector<QueryCase> QueryCases() {
  return {
      {"A >= 30", [](int m) { return kA[m - 1] >= 30; }, Any},
      {"B = 2", Any, [](int s) { return kB[s - 1] == 2; }},
      {"A >= 20 AND B <> 3", [](int m) { return kA[m - 1] >= 20; }, [](int s) { return kB[s - 1] != 3; }},
      {"(A = 10 OR A = 80) AND NOT B = 1", [](int m) { return kA[m - 1] == 10 || kA[m - 1] == 80; },
       [](int s) { return kB[s - 1] != 1; }},
      {"SK BETWEEN 2 AND 3 AND MK < 3", [](int m) { return kMK[m - 1] < 3; },
       [](int s) { return kSK[s - 1] >= 2 && kSK[s - 1] <= 3; }},
      {"A > 1000", [](int) { return false; }, Any},
  };
}

// "m = 1 AND s = 2" keeps the joined pairs whose master passes the master conditions and whose
// slave passes the slave conditions, on the serial and the task road, from set 1 and from a set
// made by an earlier query.
TEST_F(JoinOps, TextQueriesOnAnInnerJoinKeepTheJoinedPairsThatPass) {
  const int join = MakeJoin(0);
  for (const QueryCase& c : QueryCases()) {
    SCOPED_TRACE(c.text);
    const int serial = innerQ7SearchByText(join, 1, c.text);
    ASSERT_GT(serial, 1) << testing::PrintToString(Drain());
    EXPECT_EQ(Join(join)->GetCurrentSetID(), serial);
    EXPECT_EQ(Sorted(JoinedRows(join, serial)), Sorted(Reference(c.master, c.slave)));
    const int task = DBTASK()->SearchByText(join, 1, c.text);
    ASSERT_GT(task, serial);
    EXPECT_EQ(JoinedRows(join, task), JoinedRows(join, serial));
  }
  // A query on a searched set narrows that set.
  const int first = innerQ7SearchByText(join, 1, "B <= 4");
  ASSERT_GT(first, 1);
  const int second = innerQ7SearchByText(join, first, "A <= 40");
  ASSERT_GT(second, first);
  EXPECT_EQ(Sorted(JoinedRows(join, second)),
            Sorted(Reference([](int m) { return kA[m - 1] <= 40; }, [](int s) { return kB[s - 1] <= 4; })));
  EXPECT_EQ(Drain(), (std::vector<Entry>{}));
}

// On an outer join a one-sided query selects the rows the join's own column search selects, and a
// query on both sides the rows of the two searches one after the other.
TEST_F(JoinOps, TextQueriesOnAnOuterJoinMatchTheJoinsColumnSearches) {
  const int join = MakeJoin(1);
  int a30 = 30, b2 = 2;
  const int by_a = innerQ7SearchByField(join, kColA, 1, 3, reinterpret_cast<char*>(&a30), nullptr);
  const int text_a = innerQ7SearchByText(join, 1, "A >= 30");
  ASSERT_GT(by_a, 1);
  ASSERT_GT(text_a, by_a);
  EXPECT_EQ(JoinedRows(join, text_a), JoinedRows(join, by_a));
  // Master records 5 and 6 have no partner and stay, with no slave record.
  EXPECT_NE(std::find(JoinedRows(join, text_a).begin(), JoinedRows(join, text_a).end(), Pair(5, 0)),
            JoinedRows(join, text_a).end());

  const int then_b = innerQ7SearchByField(join, kColB, by_a, 0, reinterpret_cast<char*>(&b2), nullptr);
  const int text_ab = DBTASK()->SearchByText(join, 1, "A >= 30 AND B = 2");
  ASSERT_GT(then_b, 1);
  ASSERT_GT(text_ab, then_b);
  EXPECT_EQ(Sorted(JoinedRows(join, text_ab)), Sorted(JoinedRows(join, then_b)));
  EXPECT_EQ(Drain(), (std::vector<Entry>{}));
}

// Refused queries leave no set: an OR across the two sides (the message names both), an unknown
// column, and a qualifier is not checked against the join's name.
TEST_F(JoinOps, TextQueryRefusalsOnAJoinLeaveNoSet) {
  const int join = MakeJoin(0);
  const int sets = Join(join)->FnSet;
  EXPECT_EQ(innerQ7SearchByText(join, 1, "A = 10 OR B = 2"), Q7_ERROR_QUERY_OPERAND);
  const std::vector<Entry> ring = Drain();
  ASSERT_FALSE(ring.empty());
  EXPECT_NE(ring.back().message.find("master"), std::string::npos) << ring.back().message;
  EXPECT_NE(ring.back().message.find("slave"), std::string::npos) << ring.back().message;
  EXPECT_EQ(innerQ7SearchByText(join, 1, "Z = 1"), Q7_ERROR_NO_SUCH_FILTER);
  Drain();
  EXPECT_EQ(Join(join)->FnSet, sets);
  EXPECT_EQ(Join(join)->GetCurrentSetID(), 1);

  const int qualified = innerQ7SearchByText(join, 1, "M.A = 10");
  ASSERT_GT(qualified, 1) << testing::PrintToString(Drain());
  EXPECT_EQ(Sorted(JoinedRows(join, qualified)),
            Sorted(Reference([](int m) { return kA[m - 1] == 10; }, Any)));
}

}  // namespace
