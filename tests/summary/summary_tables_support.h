// The fixture of the summary folder's tests over the engine's own table collection: real tables
// made for a test and deleted after it, with the open summaries and the detail display purged.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "summary/cube/SummaryHandles.h"

class SummaryTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = CSmpEngine::Instance()->Database(); }
  void TearDown() override {
    PurgeSummaries();
    for (int id : tables_) db_->DelTable(id);
  }

  TRealTable* AddTable(const char* name, int rows) {
    std::vector<char> buf(name, name + strlen(name) + 1);
    const int id = db_->AddRealTable(buf.data(), rows);
    EXPECT_GT(id, 0);
    tables_.push_back(id);
    return static_cast<TRealTable*>(db_->GetTable(id));
  }
  static int AddIntFilter(TRealTable* t, const char* name, std::vector<int> values) {
    std::vector<char> buf(name, name + strlen(name) + 1);
    return t->AddFilter2(1024, buf.data(), Q7_TYPE_INTEGER, static_cast<int>(values.size()), 4, values.data(),
                         t->FTableID, -1);
  }

  TTableCollection* db_ = nullptr;
  std::vector<int> tables_;
};
