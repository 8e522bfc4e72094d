// A fixture base over the engine's own table collection: real tables made for a test, columns added
// to them from plain arrays, and every table made deleted after the test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"

class EngineTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = CSmpEngine::Instance()->Database(); }
  void TearDown() override {
    for (int id : tables_) db_->DelTable(id);
  }

  int NewTable(const char* name, int rows) {
    std::vector<char> buf(name, name + std::strlen(name) + 1);
    const int id = db_->AddRealTable(buf.data(), rows);
    EXPECT_GT(id, 0);
    tables_.push_back(id);
    return id;
  }
  TRealTable* Table(int id) { return static_cast<TRealTable*>(db_->GetTable(id)); }
  // A column of the table's row count from `data` (`width` bytes a value); its ID.
  int Add(int table, const char* name, int type, int width, const void* data) {
    TRealTable* t = Table(table);
    std::vector<char> buf(name, name + std::strlen(name) + 1);
    const int id = t->AddFilter2(1024, buf.data(), type, t->TotalRecs(), width, data, table, -1);
    EXPECT_GT(id, 0) << name;
    return id;
  }

  TTableCollection* db_ = nullptr;
  std::vector<int> tables_;
};
