// The set registry of real tables: set 1, the 10000-set limit, capacity, deletion and set IDs.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "table_test_support.h"

namespace {

using ttest::MakeSet;
using ttest::Rows;
using ttest::TableTest;

class SetRegistryTest : public TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    t_ = Real(AddTable("T", 10));
  }
  std::vector<int> SetIDs() {
    std::vector<int> ids(static_cast<size_t>(t_->FnSet));
    t_->GetSetIDList(t_->FnSet, ids.data());
    return ids;
  }
  int AddCopy(const std::vector<int>& rows) { return t_->AddSet(MakeSet(rows).get()); }
  TRealTable* t_ = nullptr;
};

TEST_F(SetRegistryTest, NewTableHasSetOneOfAllRecords) {
  EXPECT_EQ(SetIDs(), std::vector<int>{1});
  EXPECT_EQ(t_->GetCurrentSetID(), 1);
  EXPECT_EQ(Rows(t_->GetSet(1)), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(t_->TotalRecs(), 10);
  EXPECT_EQ(t_->FSearchID, TRealTable::kFirstSearchID);
  EXPECT_EQ(t_->FFindFilterID, -1);
  EXPECT_FALSE(t_->isQ7TShared());

  TRealTable* empty = Real(AddTable("E", 0));
  EXPECT_EQ(empty->GetSetSize(1), 0);
  EXPECT_EQ(empty->TotalRecs(), 0);
}

TEST_F(SetRegistryTest, TenThousandthSetAcceptedAndNextRefused) {
  for (int i = 2; i <= TRealTable::kMaxSets; ++i) ASSERT_EQ(AddCopy({1}), i);
  EXPECT_EQ(t_->FnSet, TRealTable::kMaxSets);
  EXPECT_EQ(t_->FSetCapacity % TBaseTable::kSetSlotStep, 0);
  EXPECT_EQ(AddCopy({1}), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "AddSet|SetCount overflow");
  auto own = MakeSet({2});
  EXPECT_EQ(t_->AddSetWithoutCopy(own.get()), Q7_ERROR_SET_COUNT_OVERFLOW);  // the set stays ours
  EXPECT_EQ(TakeRing(), "AddSetWithoutCopy|SetCount overflow");
  EXPECT_EQ(t_->MppAddSet(own.get()), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(t_->SetNot(1), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "SetNot|SetCount overflow");
  EXPECT_EQ(t_->SetOpe(0, 1, 2), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(TakeRing(), "");
  EXPECT_EQ(t_->GetCurrentSetID(), TRealTable::kMaxSets);
}

TEST_F(SetRegistryTest, CapacityGrowsByThirtyTwo) {
  for (int i = 2; i <= 32; ++i) AddCopy({1});
  EXPECT_EQ(t_->FSetCapacity, 32);
  AddCopy({1});
  EXPECT_EQ(t_->FSetCapacity, 64);
  EXPECT_EQ(t_->GetSetSize(33), 1);
}

TEST_F(SetRegistryTest, DeletingASetKeepsTheOthersAndTheNextID) {
  for (int i = 2; i <= 4; ++i) AddCopy({i});
  ASSERT_EQ(t_->DelSet(3), 0);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(Rows(t_->GetSet(4)), std::vector<int>{4});
  EXPECT_EQ(AddCopy({5}), 5);
  // The current set, named by -1, goes and set 1 becomes current.
  ASSERT_EQ(t_->DelSet(-1), 0);
  EXPECT_EQ(t_->GetCurrentSetID(), 1);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 2, 4}));

  EXPECT_EQ(t_->DelSet(1), Q7_ERROR_SET_NOT_DELETABLE);
  EXPECT_EQ(TakeRing(), "DelSet|Illegal SetPos");
  EXPECT_EQ(t_->DelSetForce(1), Q7_ERROR_SET_NOT_DELETABLE);
  EXPECT_EQ(TakeRing(), "");
  EXPECT_EQ(t_->DelSet(3), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(TakeRing(), "SetID2Pos|No Such Set: 3");
  EXPECT_EQ(t_->GetSet(3), nullptr);
  EXPECT_EQ(DrainRing(), (std::vector<std::string>{"SetID2Pos|No Such Set: 3", "GetSet|No Such Set: 3 "}));
  EXPECT_EQ(t_->GetSetSize(3), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing().back(), "GetSetSize|No Such Set: 3 ");

  // A set placed on a shared image is not deleted, except by force.
  t_->GetSet(4)->FNotOwned = 1;
  EXPECT_EQ(t_->DelSet(4), Q7_ERROR_SHARED_READ_ONLY);
  t_->GetSet(4)->FNotOwned = 0;
  EXPECT_EQ(t_->DelSetForce(4), 0);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 2}));
}

TEST_F(SetRegistryTest, PurgeKeepsSetOneAndTheLastID) {
  for (int i = 2; i <= 5; ++i) AddCopy({i});
  EXPECT_EQ(t_->PurgeSubSets(), 1);
  EXPECT_EQ(SetIDs(), std::vector<int>{1});
  EXPECT_EQ(t_->GetCurrentSetID(), 1);
  EXPECT_EQ(AddCopy({1}), 6);
}

TEST_F(SetRegistryTest, CurrentSetAndIDResets) {
  AddCopy({1});
  AddCopy({2});
  EXPECT_EQ(t_->SetID2Pos(-1), 2);
  EXPECT_EQ(t_->SetCurrentSetID(2), 1);
  EXPECT_EQ(t_->GetCurrentSetID(), 2);
  EXPECT_EQ(t_->SetCurrentSetID(-1), 1);
  EXPECT_EQ(t_->GetCurrentSetID(), 2);
  EXPECT_EQ(t_->SetCurrentSetID(9), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(t_->GetCurrentSetID(), 2);

  int ids[4] = {-7, -7, -7, -7};
  EXPECT_EQ(t_->GetSetIDList(0, ids), 3);
  EXPECT_EQ(ids[0], -7);
  EXPECT_EQ(t_->GetSetIDList(2, ids), 3);
  EXPECT_EQ(ids[1], 2);
  EXPECT_EQ(ids[2], -7);

  EXPECT_EQ(t_->ResetSetID(0, 3), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(t_->ResetSetID(0, 0), Q7_ERROR_ILLEGAL_SET_ID);
  EXPECT_EQ(t_->ResetSetID(0, 6), 0);
  EXPECT_EQ(AddCopy({3}), 6);
}

TEST_F(SetRegistryTest, LoweredMaxSetIDNeverIssuesAnIDTwice) {
  AddCopy({1});
  EXPECT_EQ(t_->DecMaxSetID(), 1);
  EXPECT_EQ(t_->DecMaxSetID(), 0);
  EXPECT_EQ(t_->DecMaxSetID(), 0);
  EXPECT_EQ(AddCopy({2}), 3);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 2, 3}));
}

// A used-up ID is never issued to a set; the last ID stays the last.
TEST_F(SetRegistryTest, UsedUpSetIDIsSkippedAndStopsAtTheLastID) {
  EXPECT_EQ(AddCopy({1}), 2);
  EXPECT_EQ(t_->UseUpSetID(), 3);
  EXPECT_EQ(AddCopy({2}), 4);
  EXPECT_EQ(SetIDs(), (std::vector<int>{1, 2, 4}));
  ASSERT_EQ(t_->ResetSetID(0, INT32_MAX), 0);
  EXPECT_EQ(t_->UseUpSetID(), INT32_MAX);
  EXPECT_EQ(t_->UseUpSetID(), INT32_MAX);
  EXPECT_EQ(AddCopy({3}), Q7_ERROR_SET_COUNT_OVERFLOW);
}

TEST_F(SetRegistryTest, HostRowsAreCheckedBeforeRegistration) {
  const int bad_rows[][2] = {{0, 1}, {1, 11}, {-3, 2}};
  for (const auto& rows : bad_rows) {
    EXPECT_EQ(t_->AddSetFromRows(2, rows), Q7_ERROR_INVALID_ROW_POSITION);
  }
  EXPECT_EQ(t_->AddSetFromRows(-1, bad_rows[0]), Q7_ERROR_INVALID_ROW_POSITION);
  EXPECT_EQ(t_->AddSetFromRows(3, nullptr), Q7_ERROR_INVALID_ROW_POSITION);
  EXPECT_EQ(t_->FnSet, 1);
  EXPECT_EQ(TakeRing(), "");

  EXPECT_EQ(t_->AddSetFromRows(0, nullptr), 2);
  EXPECT_EQ(t_->GetSetSize(2), 0);
  // Order and repeats are kept as given.
  const int rows[] = {9, 3, 9, 10};
  EXPECT_EQ(t_->AddSetFromRows(4, rows), 3);
  EXPECT_EQ(Rows(t_->GetSet(3)), (std::vector<int>{9, 3, 9, 10}));
  EXPECT_EQ(t_->GetCurrentSetID(), 3);
}

TEST_F(SetRegistryTest, ComplementAndTwoSetOperations) {
  const int a = AddCopy({1, 2, 3});
  const int b = AddCopy({2, 9});
  struct Case {
    int op;
    std::vector<int> want;
  };
  const Case cases[] = {{0, {2}}, {1, {1, 2, 3, 9}}, {2, {1, 3}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    const int id = t_->SetOpe(c.op, a, b);
    ASSERT_GT(id, 0);
    EXPECT_EQ(t_->GetCurrentSetID(), id);
    EXPECT_EQ(Rows(t_->GetSet(id)), c.want);
    const int mpp = t_->MppSetOpe(c.op, a, b);
    EXPECT_EQ(Rows(t_->GetSet(mpp)), c.want);
  }
  const int not_a = t_->SetNot(a);
  EXPECT_EQ(Rows(t_->GetSet(not_a)), (std::vector<int>{4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(Rows(t_->GetSet(t_->MppSetNot(a))), (std::vector<int>{4, 5, 6, 7, 8, 9, 10}));
  // The complement of every record is empty, yet registered and current.
  const int none = t_->SetNot(1);
  ASSERT_GT(none, 0);
  EXPECT_EQ(t_->GetSetSize(none), 0);
  EXPECT_EQ(t_->GetCurrentSetID(), none);
}

TEST_F(SetRegistryTest, FailedSetOperationsRegisterNothing) {
  const int before = t_->FnSet;
  EXPECT_EQ(t_->SetOpe(3, 1, 1), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(TakeRing(), "SetOpeCommon|Invalid Parameter : OpCode");
  EXPECT_EQ(t_->MppSetOpe(3, 1, 1), Q7_ERROR_INVALID_OPERATION);
  EXPECT_EQ(TakeRing(), "");
  EXPECT_EQ(t_->SetOpe(0, 1, 42), Q7_ERROR_NO_SUCH_SET);
  DrainRing();
  EXPECT_EQ(t_->SetNot(42), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(DrainRing().back(), "SetNot|No Such Set: 42");
  EXPECT_EQ(t_->FnSet, before);
  EXPECT_EQ(t_->GetCurrentSetID(), 1);
}

TEST_F(SetRegistryTest, SetsWithRepeatedRecordsCombineSafely) {
  const int rows[] = {3, 3, 7, 3, 7};
  const int dup = t_->AddSetFromRows(5, rows);
  EXPECT_EQ(Rows(t_->GetSet(t_->SetNot(dup))), (std::vector<int>{1, 2, 4, 5, 6, 8, 9, 10}));
  EXPECT_EQ(Rows(t_->GetSet(t_->SetOpe(1, dup, dup))), (std::vector<int>{3, 7}));
  EXPECT_EQ(Rows(t_->GetSet(t_->MppSetNot(dup))), (std::vector<int>{1, 2, 4, 5, 6, 8, 9, 10}));
}

TEST_F(SetRegistryTest, MemorySizeFollowsSetsAndCapacity) {
  const int64_t before = t_->GetMemSize();
  std::vector<int> many(10);
  for (int i = 0; i < 10; ++i) many[i] = i + 1;
  const int id = AddCopy(many);
  EXPECT_EQ(t_->GetMemSize(), before + t_->GetSet(id)->GetMemSize());
}

// IDs up to INT32_MAX can be reached (ResetSetID, or a stored table that carries them): the last one
// is issued, then every way of making a set refuses with the overflow code and registers nothing.
// A wrapped ID came back negative, so callers freed a set the table still listed.
TEST_F(SetRegistryTest, TheLastSetIDIsIssuedOnceThenEveryNewSetIsRefused) {
  const int filter = AddIntFilter(t_, "k", {5, 1, 4, 1, 5, 9, 2, 6, 5, 3});
  ASSERT_GT(filter, 0);
  ASSERT_EQ(t_->ResetSetID(0, INT32_MAX), 0);
  ASSERT_EQ(AddCopy({2, 4}), INT32_MAX);
  const std::vector<int> ids = SetIDs();
  auto own = MakeSet({3});
  const int rows[] = {7};
  int value = 5;
  auto code = [](const std::function<int()>& f) {
    try {
      return f();
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  };
  const std::pair<const char*, std::function<int()>> attempts[] = {
      {"AddSet", [&] { return t_->AddSet(own.get()); }},
      {"MppAddSet", [&] { return t_->MppAddSet(own.get()); }},
      {"AddSetWithoutCopy", [&] { return t_->AddSetWithoutCopy(own.get()); }},
      {"AddSetFromRows", [&] { return t_->AddSetFromRows(1, rows); }},
      {"SetNot", [&] { return t_->SetNot(1); }},
      {"MppSetNot", [&] { return t_->MppSetNot(1); }},
      {"SetOpe", [&] { return t_->SetOpe(1, 1, INT32_MAX); }},
      {"MppSetOpe", [&] { return t_->MppSetOpe(2, 1, INT32_MAX); }},
      {"SearchByField",
       [&] { return t_->SearchByField(filter, 1, 0, reinterpret_cast<char*>(&value), nullptr); }},
      {"SearchByRecNo", [&] { return t_->SearchByRecNo(0, 1, 1, 2, 5); }},
      {"SortByField", [&] { return t_->SortByField(filter, 1, 0); }},
      {"MppSortByField", [&] { return t_->MppSortByField(filter, 1, 1); }},
      {"SortByRecNo", [&] { return t_->SortByRecNo(0, INT32_MAX, 1); }},
  };
  for (const auto& [what, attempt] : attempts) {
    SCOPED_TRACE(what);
    EXPECT_EQ(code(attempt), Q7_ERROR_SET_COUNT_OVERFLOW);
    EXPECT_EQ(SetIDs(), ids);
    EXPECT_EQ(t_->GetCurrentSetID(), INT32_MAX);
    EXPECT_EQ(t_->FMaxSetID, INT32_MAX);
  }
  // Still whole: the last set reads and deletes like any other, and its ID is not issued again.
  EXPECT_EQ(Rows(t_->GetSet(INT32_MAX)), (std::vector<int>{2, 4}));
  EXPECT_EQ(t_->DelSet(INT32_MAX), 0);
  EXPECT_EQ(AddCopy({1}), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(SetIDs(), std::vector<int>{1});
}

}  // namespace
