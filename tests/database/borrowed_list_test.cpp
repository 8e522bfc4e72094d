// A filter of one table that borrows the value list of a filter of another table (AddFilter with
// a shared value list): whatever either column does to its own list, the other keeps reading the
// values it had, and the list goes away with its last user.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/TFilter.h"
#include "edit_support.h"
#include "table_test_support.h"
#include "values/TIntArray.h"
#include "values/ValueListShare.h"

namespace {

using edtest::Column;

class BorrowedListTest : public ttest::TableTest {
 protected:
  // Table "src" with filter a (values i % 7), table "user" with filter b on a's list and numbers.
  void Build(int rows) {
    db_ = std::make_unique<TTableCollection>();  // a fresh collection for each build
    src_ = Real(AddTable("src", rows));
    user_ = Real(AddTable("user", rows));
    std::vector<int> values(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) values[static_cast<size_t>(i)] = i % 7;
    a_ = AddIntFilter(src_, "a", values);
    ASSERT_GT(a_, 0);
    TFilter* fa = src_->GetFilter(a_);
    char name[] = "b";
    b_ = user_->AddFilter(1024, name, static_cast<TIntArray*>(fa->PV->CopyArray()), fa->VL, true, 0, -1);
    ASSERT_GT(b_, 0);
    ASSERT_EQ(user_->GetFilter(b_)->VL, fa->VL);
    ASSERT_EQ(user_->GetFilter(b_)->FSharedVL, 1);
  }
  TFilter* A() { return src_->GetFilter(a_); }

  TRealTable* src_ = nullptr;
  TRealTable* user_ = nullptr;
  int a_ = 0;
  int b_ = 0;
};

// What one side does to its column, on a table of `rows` records. `table` and `id` are that side's.
struct Action {
  const char* name;
  int rows;
  std::function<void(TRealTable* table, int id)> act;
};

void WritePending(TRealTable* t, int id, bool parallel) {
  std::vector<int> fresh{100, 101, 102};
  ASSERT_EQ(t->OverWriteEx(1, id, 1, 3, fresh.data()), 3);
  ASSERT_EQ(t->GetFilter(id)->TVLCount, 3);  // the write went to the pending list
  ASSERT_TRUE(t->GetFilter(id)->MergeTVL(parallel));
}

void WriteRebuilding(TRealTable* t, int id, bool parallel) {
  std::vector<int> fresh{100, 101};
  ASSERT_EQ(
      parallel ? t->MppOverWriteEx(1, id, 1, 2, fresh.data()) : t->OverWriteEx(1, id, 1, 2, fresh.data()), 2);
  ASSERT_EQ(t->GetFilter(id)->TVLCount, 0);  // too few records for a pending list
}

const Action kActions[] = {
    {"merge pending values", 120, [](TRealTable* t, int id) { WritePending(t, id, false); }},
    {"merge pending values in parallel", 120, [](TRealTable* t, int id) { WritePending(t, id, true); }},
    {"rebuild on a write", 6, [](TRealTable* t, int id) { WriteRebuilding(t, id, false); }},
    {"rebuild on a parallel write", 6, [](TRealTable* t, int id) { WriteRebuilding(t, id, true); }},
    {"condense", 6,
     [](TRealTable* t, int id) {
       ASSERT_EQ(t->DelRows(1, 1), 1);  // value 0 is left without a record
       ASSERT_EQ(t->CondenseFilter(id), 0);
     }},
    {"drop", 6, [](TRealTable* t, int id) { ASSERT_EQ(t->DropFilter(id), 0); }},
};

TEST_F(BorrowedListTest, EachColumnKeepsItsValuesWhateverTheOtherDoes) {
  for (const Action& c : kActions) {
    for (bool owner_acts : {true, false}) {
      SCOPED_TRACE(std::string(owner_acts ? "owner: " : "borrower: ") + c.name);
      Build(c.rows);
      if (HasFatalFailure()) return;
      TRealTable* acting = owner_acts ? src_ : user_;
      const int acting_id = owner_acts ? a_ : b_;
      TRealTable* other = owner_acts ? user_ : src_;
      const int other_id = owner_acts ? b_ : a_;
      const std::vector<std::string> before = Column(other->GetFilter(other_id), Q7_TYPE_INTEGER);

      c.act(acting, acting_id);
      if (HasFatalFailure()) return;

      TFilter* kept = other->GetFilter(other_id);
      ASSERT_NE(kept, nullptr);
      EXPECT_EQ(Column(kept, Q7_TYPE_INTEGER), before);
      // The list has one hold for each column still on it.
      TFilter* actor = acting->GetFilter(acting_id);
      const int users = actor != nullptr && actor->VL == kept->VL ? 2 : 1;
      EXPECT_EQ(ValueListHolders(kept->VL), users);
      if (actor != nullptr && actor->VL != kept->VL) {
        EXPECT_EQ(ValueListHolders(actor->VL), 1);
      }
    }
  }
}

// The borrower's hold ends with it: the owner is then the list's only holder and may change it in
// place again.
TEST_F(BorrowedListTest, DroppingTheBorrowerLeavesTheOwnerSoleHolder) {
  Build(6);
  TBaseArray* list = A()->VL;
  EXPECT_EQ(ValueListHolders(list), 2);
  ASSERT_EQ(user_->DropFilter(b_), 0);
  EXPECT_EQ(ValueListHolders(list), 1);
  ASSERT_EQ(src_->DelRows(1, 1), 1);
  ASSERT_EQ(src_->CondenseFilter(a_), 0);
  EXPECT_EQ(A()->VL, list);        // condensed in place
  EXPECT_EQ(list->FArraySize, 6);  // NULL, 1 .. 5
}

}  // namespace
