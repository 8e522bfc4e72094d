// A fresh engine database per test, the error ring's entries, and small table builders, for the
// tests of the engine task object.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "api/task/CDBTask.h"
#include "database/TRealTable.h"
#include "database/TSetArray.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/ErrorRing.h"
#include "join/TJoinTable.h"

namespace tasktest {

struct RingEntry {
  std::string api;
  int code;
  std::string message;
  bool operator==(const RingEntry& o) const { return api == o.api && code == o.code && message == o.message; }
};

inline std::ostream& operator<<(std::ostream& os, const RingEntry& e) {
  return os << "{" << e.api << ", " << std::hex << e.code << std::dec << ", \"" << e.message << "\"}";
}

class TaskTest : public ::testing::Test {
 protected:
  // Replaces the engine's database by an empty one and empties the ring.
  void SetUp() override {
    CSmpEngine* engine = CSmpEngine::Instance();
    TTableCollection* old = engine->Database();
    engine->SetDatabase(new TTableCollection());
    delete old;
    Drain();
  }

  TTableCollection* db() { return CSmpEngine::Instance()->Database(); }
  TRealTable* Real(int id) { return static_cast<TRealTable*>(db()->GetTable(id)); }

  // Every ring entry, oldest first.
  std::vector<RingEntry> Drain() {
    std::vector<RingEntry> entries;
    int time = 0, code = 0;
    char api[ErrorRing::kNameSize], message[ErrorRing::kMessageSize];
    while (DBTASK()->GetErrorLog(&time, api, &code, message) == 1) entries.push_back({api, code, message});
    return entries;
  }

  // A real table of `rows` records.
  int NewTable(const char* name, int rows) {
    std::string work(name);
    const int id = db()->AddRealTable(work.data(), rows);
    EXPECT_GT(id, 0) << name;
    return id;
  }

  // A filter of the table from raw values (one per record, `width` bytes each); its ID.
  int AddFilter(int table, const char* name, int type, int width, void* raw) {
    std::string work(name);
    const int id =
        Real(table)->AddFilter2(1024, work.data(), type, Real(table)->TotalRecs(), width, raw, table, -1);
    EXPECT_GT(id, 0) << name;
    return id;
  }

  // A real table whose INTEGER filter (its ID through filter_id) holds values[i] in record i + 1.
  int IntTable(std::vector<int> values, int* filter_id = nullptr, const char* name = "T") {
    const int id = NewTable(name, static_cast<int>(values.size()));
    const int filter = AddFilter(id, "K", Q7_TYPE_INTEGER, 4, values.data());
    if (filter_id != nullptr) *filter_id = filter;
    return id;
  }

  // A join of master and slave on their first filters.
  int Join(int master, int slave) {
    int master_keys[] = {1, 0};
    int slave_keys[] = {1, 0};
    char name[] = "J";
    const int id = db()->IssueTableID();
    auto* join = new TJoinTable(id, name, 0, master, -1, master_keys, slave, -1, slave_keys, db());
    join->AssignJoinFilterNames();  // as the collection names every join it adds
    db()->AppendTable(join);
    return id;
  }

  // The records of a set, in its order.
  std::vector<int> SetRows(int table, int set) {
    TSetArray* s = Real(table)->GetSet(set);
    if (s == nullptr || s->FArraySize == 0) return {};
    return std::vector<int>(s->PIntAr(), s->PIntAr() + s->FArraySize);
  }

  // Every record's value of a filter as its bytes, in record order.
  std::vector<std::string> Column(int table, int filter) {
    std::vector<std::string> out;
    TRealTable* t = Real(table);
    char value[4096];
    for (int r = 0; r < t->TotalRecs(); ++r) {
      int type = 0;
      const int size = t->ReadData(1, filter, r, &type, value);
      EXPECT_GE(size, 0);
      out.emplace_back(value, static_cast<size_t>(size < 0 ? 0 : size));
    }
    return out;
  }
};

// The values of an INTEGER column as ints.
inline std::vector<int> Ints(const std::vector<std::string>& column) {
  std::vector<int> out;
  for (const std::string& bytes : column) {
    int v = 0;
    bytes.copy(reinterpret_cast<char*>(&v), sizeof v);
    out.push_back(v);
  }
  return out;
}

}  // namespace tasktest
