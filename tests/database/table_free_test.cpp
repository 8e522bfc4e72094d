// Destroying tables through Free and ClearMemory, which the collection uses for its own tables.
#include <gtest/gtest.h>

#include <vector>

#include "database/TBaseTable.h"
#include "table_test_support.h"

namespace {

using ttest::TableTest;

class FreeTest : public TableTest {};

// A real table that records its ID when destroyed: seen only if the derived destructor runs.
class ProbeTable : public TRealTable {
 public:
  ProbeTable(int id, char* name, std::vector<int>* gone, TTableCollection* names)
      : TRealTable(id, name, 3, names), gone_(gone) {}
  ~ProbeTable() override { gone_->push_back(FTableID); }

 private:
  std::vector<int>* gone_;
};

TEST_F(FreeTest, FreeAndClearMemoryRunTheTablesOwnDestructor) {
  std::vector<int> gone;
  char a[] = "A";
  char b[] = "B";
  TBaseTable* first = new ProbeTable(7, a, &gone, db_.get());
  TBaseTable* second = new ProbeTable(8, b, &gone, db_.get());
  Free(first);
  ClearMemory(second);
  Free(nullptr);
  ClearMemory(nullptr);
  EXPECT_EQ(gone, (std::vector<int>{7, 8}));
}

TEST_F(FreeTest, CollectionFreesItsTablesFromTheLastPosition) {
  std::vector<int> gone;
  {
    TTableCollection db;
    for (char name : {'A', 'B', 'C'}) {
      char text[] = {name, '\0'};
      const int id = db.IssueTableID();
      db.AppendTable(new ProbeTable(id, text, &gone, &db));
    }
    ASSERT_EQ(db.TableCount(), 3);
  }
  EXPECT_EQ(gone, (std::vector<int>{3, 2, 1}));
}

}  // namespace
