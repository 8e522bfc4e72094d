// The derived-table operations where the host cannot reach: sources that are join tables, whose
// filter lists may run past what a real table can hold.
#include "api/ops/ops_derive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/ops/ops_names.h"
#include "database/TTableCollection.h"
#include "opsets_support.h"

namespace {

using opsets_test::Entry;

class DeriveOps : public opsets_test::OpTest {};

// A join over two tables of 300 filters each has 600 columns: a null filter list takes the first
// 512 of them, and the join is then refused as a source.
TEST_F(DeriveOps, JoinSourcesAreRefusedWhateverTheirWidth) {
  const int master = Table(2, "M");
  const int slave = Table(2, "S");
  for (int table : {master, slave}) {
    for (int k = 0; k < 300; ++k) IntFilter(table, {k, k + 1}, ("f" + std::to_string(k)).c_str());
  }
  const int join = Join(master, slave);
  const int tables = db()->TableCount();
  const int issued = db()->FTblIDIssued;
  Drain();

  const int ids[] = {1, 2, 0};
  EXPECT_EQ(innerQ7ExtractRealTable("e", join, 1, nullptr), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(innerQ7ExtractRealTableEx("e", join, 1, 1, 1, ids), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(innerQ7DuplicateRealTable("d", join), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(innerQ7CombineRealTable("c", master, 1, ids, join, 1, ids), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(db()->TableCount(), tables);
  EXPECT_EQ(db()->FTblIDIssued, issued);
  const std::string kind = "Illegal table type ( Not REAL )";
  EXPECT_EQ(Drain(), (std::vector<Entry>{{"Q7ExtractRealTableEx", Q7_ERROR_NO_SUCH_TABLE, kind},
                                         {"Q7ExtractRealTableEx", Q7_ERROR_NO_SUCH_TABLE, kind},
                                         {"Q7DuplicateRealTable", Q7_ERROR_NO_SUCH_TABLE, kind},
                                         {"Q7CombineRealTable", Q7_ERROR_NO_SUCH_TABLE, kind}}));
  EXPECT_EQ(innerQ7GetSavedFlag(1), 1);
}

// The table's own filter list is taken only when the host gives none: a missing table is recorded
// by that lookup and once more by the extract.
TEST_F(DeriveOps, ExtractRecordsAFailedFilterList) {
  EXPECT_EQ(innerQ7ExtractRealTableEx("e", 99, 1, 0, 0, nullptr), Q7_ERROR_NO_SUCH_TABLE);
  const auto mine = DrainFor("Q7ExtractRealTableEx");
  ASSERT_EQ(mine.size(), 1u);
  EXPECT_EQ(mine[0], (Entry{"Q7ExtractRealTableEx", Q7_ERROR_NO_SUCH_TABLE,
                            "Failed to get FilterIDlist (innerQ7GetFilterIDList module)"}));
}

}  // namespace
