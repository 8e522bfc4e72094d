// Join sets turned into real tables: every row and value of master- and slave-driven sets of inner
// and outer joins against the nested-loop reference, in both forms, with copied and shared value
// lists; what sharing and condensing leave to the source; column names and the column cap of each
// form; and the refusals, which leave no table behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/join/join_read_support.h"

namespace {

using jbtest::Pair;
using kmtest::KeyType;
using kmtest::kNull;

enum class Form { kSerial, kParallel };

const std::vector<KeyType> kMasterTypes = {KeyType::kInt, KeyType::kString, KeyType::kDecimal};
const std::vector<KeyType> kSlaveTypes = {KeyType::kDouble, KeyType::kDate, KeyType::kInt};

std::string Coded(const char* name, int code, const std::string& text) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
  return std::string(name) + "|" + hex + "|" + text;
}

std::vector<std::string> Drain(q7test::RingScope& ring) {
  std::vector<std::string> out;
  for (std::string e = ring.TakeCoded(); !e.empty(); e = ring.TakeCoded()) out.push_back(e);
  return out;
}

class JoinRealizeTest : public jrtest::JoinReadTest {
 protected:
  // AddRealized / MppAddRealized with the IDs (a 0 is appended); a thrown code is returned too.
  int Realize(Form form, int join, int set, bool master_rec_no, bool slave_rec_no, std::vector<int> ids,
              bool share) {
    ids.push_back(0);
    std::string name = "R";
    try {
      return form == Form::kSerial
                 ? db_->AddRealized(name.data(), join, set, master_rec_no, slave_rec_no, ids.data(), share)
                 : db_->MppAddRealized(name.data(), join, set, master_rec_no, slave_rec_no, ids.data(),
                                       share);
    } catch (const CQ7Exception& e) {
      return e.ErrorCode();
    }
  }

  std::vector<std::string> Names(int table) {
    std::vector<std::string> names;
    TRealTable* t = Real(table);
    for (int i = 0; i < t->FnFilter; ++i) names.emplace_back(t->FFilters[i]->FFilterName);
    return names;
  }

  // Row by row, the INTEGER record-number column `filter` holds the records.
  void ExpectRecords(TRealTable* t, int filter, const std::vector<int>& records) {
    for (size_t row = 0; row < records.size(); ++row) {
      int32_t value = -1;
      int type = 0;
      ASSERT_EQ(t->ReadData(1, filter, static_cast<int>(row), &type, &value), 4);
      EXPECT_EQ(type, Q7_TYPE_INTEGER);
      EXPECT_EQ(value, records[row]) << "row " << row;
    }
  }

  // Row by row, `filter` reads the value of join column `col` at the row's record on its side.
  void ExpectValues(TRealTable* t, int filter, int col, const std::vector<Pair>& pairs) {
    const jrtest::Column& c = Col(col);
    for (size_t row = 0; row < pairs.size(); ++row) {
      const int record = c.side == 0 ? pairs[row].first : pairs[row].second;
      const jrtest::Value want = jrtest::Expected(c.type, c.v[static_cast<size_t>(record)], kScale);
      char buf[4096] = {};
      int type = 0;
      const int width = t->ReadData(1, filter, static_cast<int>(row), &type, buf);
      EXPECT_EQ(type, want.type) << "row " << row;
      ASSERT_EQ(width, static_cast<int>(want.bytes.size())) << "row " << row;
      EXPECT_EQ(std::string(buf, static_cast<size_t>(width)), want.bytes) << "row " << row;
    }
  }
};

TEST_F(JoinRealizeTest, EveryFormHoldsEachJoinedRowWithItsRecordsAndValues) {
  std::mt19937 gen(3117);
  for (int outer : {0, 1}) {
    const int id = Build(gen, 60, 40, 8, outer, kMasterTypes, kSlaveTypes);
    TJoinTable* join = Join(id);
    std::vector<int> all_masters, all_slaves;
    for (int r = 1; r <= 60; ++r) all_masters.push_back(r);
    for (int r = 1; r <= 40; ++r) all_slaves.push_back(r);
    struct SetCase {
      const char* name;
      int set;
      std::vector<Pair> want;
    };
    std::vector<SetCase> sets;
    sets.push_back(
        {"set 1", 1, jbtest::NestedLoopJoin(outer != 0, keys_[0], all_masters, keys_[1], all_slaves).pairs});
    // Slave-driven: slave records descending, each with its master partners in set order.
    const jbtest::Reference by_slave = jrtest::SortedJoin(join, keys_, 1, 1, 1, [](int r) { return r; });
    const int slave_driven = join->SortByRecNo(1, 1, 1);
    ASSERT_GT(slave_driven, 1);
    sets.push_back({"slave-driven", slave_driven, by_slave.pairs});
    if (outer == 0) {
      const int empty = join->SearchByRecNo(0, 1, 0, 1000, 0);
      ASSERT_GT(empty, 1);
      sets.push_back({"empty", empty, {}});
    }
    ASSERT_GT(sets[0].want.size(), 20u);
    const std::vector<int> columns = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const SetCase& s : sets) {
      std::vector<int> masters, slaves;
      for (const Pair& p : s.want) {
        masters.push_back(p.first);
        slaves.push_back(p.second);
      }
      for (Form form : {Form::kSerial, Form::kParallel}) {
        for (bool share : {false, true}) {
          SCOPED_TRACE(testing::Message() << (outer ? "outer, " : "inner, ") << s.name
                                          << (form == Form::kSerial ? ", serial" : ", parallel")
                                          << (share ? ", shared lists" : ", own lists"));
          const int tables = db_->TableCount();
          const int real = Realize(form, id, s.set, true, true, columns, share);
          ASSERT_GT(real, id);
          ASSERT_EQ(db_->TableCount(), tables + 1);
          TRealTable* t = Real(real);
          ASSERT_EQ(t->TotalRecs(), static_cast<int>(s.want.size()));
          ASSERT_EQ(t->FnFilter, 10);
          for (int i = 0; i < t->FnFilter; ++i) EXPECT_EQ(t->FFilters[i]->FFilterID, i + 1);
          EXPECT_EQ(t->FLastFilterID, 10);
          ExpectRecords(t, 1, masters);
          ExpectRecords(t, 2, slaves);
          for (int col : columns) {
            SCOPED_TRACE(testing::Message() << "column " << col);
            ExpectValues(t, col + 2, col, s.want);
            EXPECT_EQ(t->FFilters[col + 1]->VL == join->GetFilter(col)->VL, share);
          }
          ASSERT_EQ(db_->DelTable(real), 0);
        }
      }
    }
  }
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(JoinRealizeTest, SharedListsStayTheSourcesAndOwnListsHoldWhatTheRowsUse) {
  std::mt19937 gen(8122);
  const int id = Build(gen, 60, 40, 8, 0, {KeyType::kString}, {KeyType::kInt});
  TJoinTable* join = Join(id);
  // Master records 1..3 only: their rows use a few of each column's values.
  const int few = join->SearchByRecNo(0, 1, 1, 1, 3);
  ASSERT_GT(join->GetSetSize(few), 0);
  const std::vector<int> columns = {2, 4};  // the master string column, the slave int column
  struct Case {
    Form form;
    bool share;
  };
  for (const Case& c : {Case{Form::kSerial, false}, Case{Form::kParallel, false}, Case{Form::kSerial, true},
                        Case{Form::kParallel, true}}) {
    SCOPED_TRACE(testing::Message() << (c.form == Form::kSerial ? "serial" : "parallel")
                                    << (c.share ? ", shared" : ", own"));
    std::vector<int> sizes;
    for (int col : columns) sizes.push_back(join->GetFilter(col)->VL->FArraySize);
    const int real = Realize(c.form, id, few, false, false, columns, c.share);
    ASSERT_GT(real, id);
    TRealTable* t = Real(real);
    ASSERT_EQ(t->FnFilter, 2);
    const std::vector<Pair> pairs = jbtest::Resolve(join, few);
    std::vector<int> dependents(static_cast<size_t>(db_->TableCount()));
    for (size_t k = 0; k < columns.size(); ++k) {
      TFilter* source = join->GetFilter(columns[k]);
      TFilter* made = t->FFilters[k];
      // The source's list is never changed, shared or not.
      EXPECT_EQ(source->VL->FArraySize, sizes[k]);
      EXPECT_EQ(made->FSharedVL != 0, c.share);
      if (c.share) {
        EXPECT_EQ(made->VL, source->VL);
        continue;
      }
      EXPECT_NE(made->VL, source->VL);
      std::set<int> used = {0};
      for (int r = 1; r <= t->TotalRecs(); ++r) used.insert(made->PV->PIntAr()[r]);
      if (c.form == Form::kSerial) {
        // Condensed: every entry but the NULL is some row's value.
        EXPECT_EQ(made->VL->FArraySize, static_cast<int>(used.size()));
        EXPECT_LT(made->VL->FArraySize, sizes[k]);
      } else {
        EXPECT_EQ(made->VL->FArraySize, sizes[k]);
      }
      ExpectValues(t, static_cast<int>(k) + 1, columns[k], pairs);
    }
    // A shared list makes the new table depend on both source tables.
    for (int source_table : {master_, slave_}) {
      const int n = db_->ReferedIDList(source_table, dependents.data());
      bool listed = false;
      for (int i = 0; i < n; ++i) listed = listed || dependents[static_cast<size_t>(i)] == real;
      EXPECT_EQ(listed, c.share);
    }
    ASSERT_EQ(db_->DelTable(real), 0);
  }
}

TEST_F(JoinRealizeTest, ColumnsAreNamedAfterTheirSourcesAndUniqueInEitherForm) {
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 2);
  const int mk = AddKey(master, "key", KeyType::kInt, {kNull, 1, 2, 2});
  AddKey(master, "MRecNo", KeyType::kInt, {kNull, 7, 8, 9});
  const int sk = AddKey(slave, "key", KeyType::kInt, {kNull, 2, 1});
  const int id = AddJoin(false, 0, master, -1, {mk, 0}, slave, -1, {sk, 0});
  ASSERT_GT(id, 0);
  // Join columns: 1 key, 2 MRecNo (master); 3 key (slave).
  const std::vector<std::string> want = {"MRecNo", "SRecNo", "key", "MRecNo_#1", "key_#1"};
  for (Form form : {Form::kSerial, Form::kParallel}) {
    SCOPED_TRACE(form == Form::kSerial ? "serial" : "parallel");
    const int real = Realize(form, id, 1, true, true, {1, 2, 3}, false);
    ASSERT_GT(real, id);
    EXPECT_EQ(Names(real), want);
    ASSERT_EQ(db_->DelTable(real), 0);
  }
  // Without record-number columns, only the join's own names.
  const int plain = Realize(Form::kParallel, id, 1, false, false, {2, 1, 3}, false);
  ASSERT_GT(plain, id);
  EXPECT_EQ(Names(plain), (std::vector<std::string>{"MRecNo", "key", "key_#1"}));
}

TEST_F(JoinRealizeTest, SerialFormReadsUpTo512ColumnsParallelFormAsManyAsTheJoinHas) {
  std::mt19937 gen(511);
  const int id = Build(gen, 20, 20, 5, 0, kMasterTypes, kSlaveTypes);
  const std::vector<int> listed(511, 1);
  const int serial = Realize(Form::kSerial, id, 1, true, true, listed, false);
  ASSERT_GT(serial, id);
  EXPECT_EQ(Real(serial)->FnFilter, 512);
  EXPECT_EQ(Names(serial)[511], "key_#509");
  const int parallel = Realize(Form::kParallel, id, 1, true, true, listed, false);
  ASSERT_GT(parallel, id);
  EXPECT_EQ(Real(parallel)->FnFilter, 2 + Join(id)->GetNFilter());
}

TEST_F(JoinRealizeTest, RefusalsLeaveNoTable) {
  std::mt19937 gen(70);
  const int id = Build(gen, 10, 10, 4, 0, {}, {});
  const int kMissing = 9999;
  struct Case {
    const char* name;
    Form form;
    int table;
    int set;
    std::vector<int> columns;
    int code;
    std::vector<std::string> ring;
  };
  const std::string no_table = "No Such Table: " + std::to_string(kMissing);
  const Case cases[] = {
      {"no table",
       Form::kSerial,
       kMissing,
       1,
       {1},
       Q7_ERROR_NO_SUCH_TABLE,
       {Coded("GetTable", Q7_ERROR_NO_SUCH_TABLE, no_table),
        Coded("AddRealized", Q7_ERROR_NO_SUCH_TABLE, no_table + " ")}},
      {"no table",
       Form::kParallel,
       kMissing,
       1,
       {1},
       Q7_ERROR_NO_SUCH_TABLE,
       {Coded("GetTable", Q7_ERROR_NO_SUCH_TABLE, no_table)}},
      {"a real table",
       Form::kSerial,
       master_,
       1,
       {1},
       Q7_ERROR_NOT_JOIN_TYPE,
       {Coded("AddRealized", Q7_ERROR_NOT_JOIN_TYPE, "Illegal table type ( Not JOIN )")}},
      {"a real table", Form::kParallel, master_, 1, {1}, Q7_ERROR_NOT_JOIN_TYPE, {}},
      {"no set",
       Form::kSerial,
       id,
       77,
       {1},
       Q7_ERROR_NO_SUCH_SET,
       {Coded("SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 77")}},
      {"no set",
       Form::kParallel,
       id,
       77,
       {1},
       Q7_ERROR_NO_SUCH_SET,
       {Coded("SetID2Pos", Q7_ERROR_NO_SUCH_SET, "No Such Set: 77")}},
      {"no column",
       Form::kSerial,
       id,
       1,
       {1, 3},
       Q7_ERROR_NO_SUCH_FILTER,
       {Coded("JFilterID2Pos", Q7_ERROR_ILLEGAL_FILTER, "No Such Filter: 3")}},
      {"no column",
       Form::kParallel,
       id,
       1,
       {2, 3},
       Q7_ERROR_NO_SUCH_FILTER,
       {Coded("JFilterID2Pos", Q7_ERROR_ILLEGAL_FILTER, "No Such Filter: 3")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << (c.form == Form::kSerial ? ", serial" : ", parallel"));
    const int tables = db_->TableCount();
    EXPECT_EQ(Realize(c.form, c.table, c.set, true, false, c.columns, false), c.code);
    EXPECT_EQ(Drain(ring_scope_), c.ring);
    EXPECT_EQ(db_->TableCount(), tables);
  }
}

}  // namespace
