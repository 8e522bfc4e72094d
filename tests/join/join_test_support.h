// Joins over a private collection, for the join table tests: construction (unpaired, as the
// constructor leaves set 1) and a hand-made pairing of a join set, so that the set registry can be
// tested apart from the pairing that builds it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "join/TJoinTable.h"
#include "tests/database/table_test_support.h"

namespace jtest {

using ttest::MakeSet;
using ttest::Rows;

// A join of master and slave on the key lists, constructed and appended to db (not paired); its ID.
inline int AppendJoin(TTableCollection* db, int master, std::vector<int> master_keys, int slave,
                      std::vector<int> slave_keys, int outer = 0, int master_set = -1, int slave_set = -1) {
  master_keys.push_back(0);
  slave_keys.push_back(0);
  char name[] = "J";
  const int id = db->IssueTableID();
  db->AppendTable(new TJoinTable(id, name, outer, master, master_set, master_keys.data(), slave, slave_set,
                                 slave_keys.data(), db));
  return id;
}

class JoinTest : public ttest::TableTest {
 protected:
  int AddJoin(int master, int master_key, int slave, int slave_key, int outer = 0) {
    return AppendJoin(db_.get(), master, {master_key}, slave, {slave_key}, outer);
  }
  int AddJoinOn(int master, std::vector<int> master_keys, int slave, std::vector<int> slave_keys,
                int outer = 0, int master_set = -1, int slave_set = -1) {
    return AppendJoin(db_.get(), master, master_keys, slave, slave_keys, outer, master_set, slave_set);
  }
  TJoinTable* Join(int id) { return static_cast<TJoinTable*>(db_->GetTable(id)); }

  // Fills the entry of set_id with a pairing given in full; the arrays it had are freed.
  static void SetPairing(TJoinTable* j, int set_id, int size, const std::vector<int>& master_rows,
                         const std::vector<int>& slave_rows, const std::vector<int>& master_projection,
                         const std::vector<int>& slave_projection, const std::vector<int>& master_second = {},
                         const std::vector<int>& slave_second = {}) {
    const int pos = j->SetID2Pos(set_id);
    ASSERT_GE(pos, 0);
    JoinSetEntry& e = j->Entry(pos);
    const std::vector<int>* fields[2][3] = {{&master_rows, &master_projection, &master_second},
                                            {&slave_rows, &slave_projection, &slave_second}};
    for (int s = 0; s < 2; ++s) {
      TSetArray** targets[3] = {&e.rows[s], &e.projection[s], &e.second[s]};
      for (int k = 0; k < 3; ++k) {
        delete *targets[k];
        *targets[k] = MakeSet(*fields[s][k]).release();
      }
    }
    e.size = size;
  }
};

}  // namespace jtest
