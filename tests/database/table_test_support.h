// A private collection with a private error ring, for the table and collection tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "database/TJoinTableBase.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "filter_fixture.h"

namespace ttest {

// A join's description without the join: what the table layer reads of a join (its tables, sets
// and first key filters), for tests of the layers that do not link the join layer, where a real
// join cannot be built. It has no sets and no columns.
class JoinStandIn : public TJoinTableBase {
 public:
  JoinStandIn(int id, TTableCollection* db, int master, int master_key, int slave, int slave_key) {
    FTableID = id;
    snprintf(FTableName, sizeof FTableName, "J");
    FnKey = 1;
    FMasterTableID = master;
    FSlaveTableID = slave;
    FMasterKeys[0] = master_key;
    FSlaveKeys[0] = slave_key;
    FMasterSetID = FSlaveSetID = 1;
    LoadComplete(db);
  }
  int TotalRecs() override { return 0; }
  int GetSetSize(int) override { return Q7_ERROR_NO_SUCH_SET; }
  TSetArray* GetSet(int) override { return nullptr; }
  int PurgeSubSets() override { return 0; }
  int SetNot(int) override { return Q7_ERROR_NO_SUCH_SET; }
  int MppSetNot(int) override { return Q7_ERROR_NO_SUCH_SET; }
  int SetOpe(int, int, int) override { return Q7_ERROR_NO_SUCH_SET; }
  int MppSetOpe(int, int, int) override { return Q7_ERROR_NO_SUCH_SET; }
  TFilter* GetFilter(int) override { return nullptr; }
  int GetFilterIDList(int*) override { return 0; }
  char* FilterID2Name(int, char*, char* filter_name) override { return filter_name; }
  int GetFilterIDFromName(char*, int) override { return Q7_ERROR_NO_SUCH_FILTER; }
  int64_t GetMemSize() override { return sizeof *this; }
};

class TableTest : public ftest::RingTest {
 protected:
  void SetUp() override {
    RingTest::SetUp();
    db_ = std::make_unique<TTableCollection>();
  }

  // A new real table of n rows; its ID.
  int AddTable(std::string name, int rows) {
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    const int id = db_->AddRealTable(buf.data(), rows);
    EXPECT_GT(id, 0) << name;
    return id;
  }
  TRealTable* Real(int id) { return static_cast<TRealTable*>(db_->GetTable(id)); }

  // An INTEGER filter holding values[i] in record i + 1.
  int AddIntFilter(TRealTable* t, std::string name, std::vector<int> values, int position = 1024) {
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    return t->AddFilter2(position, buf.data(), Q7_TYPE_INTEGER, static_cast<int>(values.size()), 4,
                         values.data(), t->FTableID, -1);
  }

  // A join description over master and slave on one key pair each (JoinStandIn); its ID.
  int AddJoin(int master, int master_key, int slave, int slave_key) {
    const int id = db_->IssueTableID();
    db_->AppendTable(new JoinStandIn(id, db_.get(), master, master_key, slave, slave_key));
    return id;
  }

  // Every ring entry, oldest first, as "name|message".
  std::vector<std::string> DrainRing() {
    std::vector<std::string> out;
    for (std::string e = TakeRing(); !e.empty(); e = TakeRing()) out.push_back(e);
    return out;
  }

  std::unique_ptr<TTableCollection> db_;
};

// The elements of a set.
inline std::vector<int> Rows(TSetArray* set) {
  if (set == nullptr || set->FArraySize == 0) return {};
  return std::vector<int>(set->PIntAr(), set->PIntAr() + set->FArraySize);
}

// A set holding the given records (the caller owns it).
inline std::unique_ptr<TSetArray> MakeSet(const std::vector<int>& rows) {
  auto s = std::make_unique<TSetArray>(static_cast<int>(rows.size()), 0);
  for (size_t i = 0; i < rows.size(); ++i) s->PIntAr()[i] = rows[i];
  return s;
}

}  // namespace ttest
