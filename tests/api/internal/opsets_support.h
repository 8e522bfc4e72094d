// The ground the set, filter, unique-row and row-edit operation tests stand on: the task tests'
// fresh database and ring (task_test_support.h), with the saved flags reset and a few builders and
// readers more.
#pragma once

#include <string>
#include <vector>

#include "api/ops/OpCommon.h"
#include "database/TFilter.h"
#include "task_test_support.h"

namespace opsets_test {

using Entry = tasktest::RingEntry;

class OpTest : public tasktest::TaskTest {
 protected:
  void SetUp() override {
    TaskTest::SetUp();
    MarkAllSaved();
  }

  // The ring's entries made under one name (the others are dropped).
  std::vector<Entry> DrainFor(const std::string& api) {
    std::vector<Entry> mine;
    for (const Entry& e : Drain()) {
      if (e.api == api) mine.push_back(e);
    }
    return mine;
  }

  int Table(int rows, const char* name = "T") { return NewTable(name, rows); }
  // Filters holding values[i] in record i + 1 (the table has values.size() records); their IDs.
  int IntFilter(int table, std::vector<int> values, const char* name = "K") {
    return AddFilter(table, name, Q7_TYPE_INTEGER, 4, values.data());
  }
  int DoubleFilter(int table, std::vector<double> values, int type = Q7_TYPE_DOUBLE, const char* name = "D") {
    return AddFilter(table, name, type, 8, values.data());
  }
  int StringFilter(int table, std::vector<const char*> values, const char* name = "S") {
    return AddFilter(table, name, Q7_TYPE_STRING, 8, values.data());
  }
  // A set of the table made of the given rows; its ID.
  int AddSet(int table, const std::vector<int>& rows) {
    const int id = Real(table)->AddSetFromRows(static_cast<int>(rows.size()), rows.data());
    EXPECT_GT(id, 0);
    return id;
  }
  std::vector<int> Rows(int table, int set) { return SetRows(table, set); }
  // The value numbers of the filter for records 1 .. n.
  std::vector<int> ValueNumbers(int table, int filter) {
    TFilter* f = Real(table)->GetFilter(filter);
    return std::vector<int>(f->PV->PIntAr() + 1, f->PV->PIntAr() + f->PV->FArraySize);
  }
};

}  // namespace opsets_test
