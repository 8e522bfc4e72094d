// The task object's operations that repeat the exported interface: on the same calls they give what
// the operation layer gives (result, outputs, the database afterwards and the ring entries, these
// under the task's log names), good and refused.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "api/ops/EngineOps.h"
#include "api/ops/OpCommon.h"
#include "api/ops/ops_blocks.h"
#include "api/ops/ops_data.h"
#include "api/ops/ops_database.h"
#include "api/ops/ops_derive.h"
#include "api/ops/ops_filters.h"
#include "api/ops/ops_find.h"
#include "api/ops/ops_joins.h"
#include "api/ops/ops_names.h"
#include "api/ops/ops_rowedit.h"
#include "api/ops/ops_scale.h"
#include "api/ops/ops_search.h"
#include "api/ops/ops_sets.h"
#include "api/ops/ops_tables.h"
#include "api/task/CDBTask.h"
#include "database/TFilter.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"

namespace {

using tasktest::RingEntry;
using Ring = std::vector<RingEntry>;

// What one call hands back to the host.
struct Out {
  int i[16];
  int list[3][1024];
  char text[2][4096];
  alignas(8) unsigned char record[2][1024];
  char attrs[8][64];
  bool body[2];  // record n holds a body: addresses of this Out, not outputs

  template <class Record>
  Record* Rec(int n) {
    static_assert(sizeof(Record) <= sizeof record[0]);
    return reinterpret_cast<Record*>(record[n]);
  }
  // Buffers for a filter body: 64 value numbers, 64 values of up to 24 bytes, 512 string bytes.
  _TRFilterBody* Body(int n, int capacity = 64) {
    this->body[n] = true;
    auto* body = Rec<_TRFilterBody>(n);
    body->valueNumberCapacity = capacity;
    body->valueNumbers = list[n];
    body->valueCapacity = capacity;
    body->values = text[n];
    body->stringAreaCapacity = capacity * 8;
    body->stringArea = text[n] + 2048;
    return body;
  }
};

// The IDs of the database every case starts from.
struct World {
  int t = 0, k = 0, s = 0, d = 0, set2 = 0;  // T: K INTEGER, S STRING, D DOUBLE; set2 = {2, 4, 5}
  int u = 0, uk = 0;                         // U: K INTEGER
  int v = 0, vk = 0, vw = 0;                 // V: K, W INTEGER; nothing refers to it
  int j = 0, o = 0;                          // inner and outer join of T and U on K
};

using Call = std::function<int64_t(const World&, Out&)>;

struct Case {
  const char* what;
  const char* log;    // the task's log name
  const char* inner;  // the operation layer's ring name
  Call task;
  Call layer;
  // The call hands out engine addresses: both run on the one database, so that they may compare.
  bool same_database = false;
  // The case calls several operations: every "Q7..." entry of the layer is the task's "RQ7...".
  bool r_prefix = false;
};

class TaskOps : public tasktest::TaskTest {
 protected:
  void TearDown() override { TTableCollection::SetMaxJoinChain(510); }

  // T, U, V, the joins; the database saved as dir/"W" and T as dir/"T.Q7T".
  World Build() {
    World w;
    w.t = IntTable({3, 1, 2, 3, 5}, &w.k, "T");
    const char* s[] = {"a", "bb", "c", "a", "dd"};
    w.s = AddFilter(w.t, "S", Q7_TYPE_STRING, 8, s);
    std::vector<double> d = {1.5, 2.5, -1.0, 4.0, 2.5};
    w.d = AddFilter(w.t, "D", Q7_TYPE_DOUBLE, 8, d.data());
    int rows[] = {2, 4, 5};
    w.set2 = DBTASK()->AddSetReal(w.t, 3, rows);
    w.u = IntTable({2, 3, 4}, &w.uk, "U");
    w.v = IntTable({7, 8, 9}, &w.vk, "V");
    std::vector<int> vw = {70, 80, 90};
    w.vw = AddFilter(w.v, "W", Q7_TYPE_INTEGER, 4, vw.data());
    int keys[] = {1, 0};
    char inner_name[] = "J";
    char outer_name[] = "O";
    w.j = DBTASK()->AddJoinTable(inner_name, 0, w.t, 1, keys, w.u, 1, keys);
    w.o = DBTASK()->AddJoinTable(outer_name, 1, w.t, 1, keys, w.u, 1, keys);
    EXPECT_GT(w.o, 0);
    EXPECT_EQ(innerQ7SaveDBAs(dir_.Dir().c_str(), "W"), 0);
    EXPECT_EQ(innerQ7SaveRealTableAs(dir_.Dir().c_str(), "T", w.t), 0);
    Drain();
    return w;
  }

  // The database as the host could see it: every table's kind, name, rows, sets, current set,
  // filters and values.
  std::string Snapshot() {
    std::ostringstream out;
    std::vector<int> ids(TTableCollection::kMaxTables);
    const int n = db()->GetTableIDList(ids.data());
    for (int i = 0; i < n; ++i) {
      TBaseTable* table = db()->GetTable(ids[i]);
      out << ids[i] << ":" << table->GetType() << ":" << table->FTableName << ":" << table->TotalRecs() << ":"
          << table->FnSet << ":" << table->GetCurrentSetID() << ":" << table->GetNFilter() << "\n";
      if (table->GetType() != TBaseTable::kTypeReal) continue;
      int filters[512];
      const int nf = table->GetFilterIDList(filters);
      for (int f = 0; f < nf; ++f) {
        out << "  " << filters[f] << " " << table->GetFilter(filters[f])->FFilterName << ":";
        for (const std::string& value : Column(ids[i], filters[f]))
          out << value.size() << "/" << value << ",";
        out << "\n";
      }
    }
    return out.str();
  }

  struct Result {
    int64_t returned;
    std::unique_ptr<Out> out;
    Ring ring;
    std::string snapshot;
  };

  Result Run(const Call& call, const World& w) {
    Result r{0, std::make_unique<Out>(), {}, {}};
    memset(r.out.get(), 0, sizeof(Out));
    r.returned = call(w, *r.out);
    for (int n = 0; n < 2; ++n) {
      if (r.out->body[n]) memset(r.out->record[n], 0, sizeof r.out->record[n]);
    }
    r.ring = Drain();
    r.snapshot = Snapshot();
    return r;
  }

  void Check(const Case& c) {
    SCOPED_TRACE(c.what);
    World w = Build();
    Result task = Run(c.task, w);
    if (!c.same_database) {
      SetUp();
      World again = Build();
      ASSERT_EQ(again.o, w.o);
    }
    Result layer = Run(c.layer, w);
    EXPECT_EQ(task.returned, layer.returned);
    EXPECT_EQ(memcmp(task.out.get(), layer.out.get(), sizeof(Out)), 0);
    EXPECT_EQ(task.snapshot, layer.snapshot);
    for (RingEntry& e : layer.ring) {
      if (e.api == c.inner) e.api = c.log;
      if (c.r_prefix && e.api.rfind("Q7", 0) == 0) e.api = "R" + e.api;
    }
    EXPECT_EQ(task.ring, layer.ring);
    SetUp();
  }

  q7test::TempDir dir_;
};

char* Text(const char* text) { return const_cast<char*>(text); }

// ---- Database ----

TEST_F(TaskOps, DatabaseOperationsEqualTheOperationLayer) {
  const std::string dir = dir_.Dir();
  const std::string other = dir + "/other";
  ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
  const Case cases[] = {
      {"LoadDB", "RQ7LoadDB", "Q7LoadDB",
       [&](const World&, Out&) { return DBTASK()->LoadDB(Text(dir.c_str()), Text("W")); },
       [&](const World&, Out&) { return innerQ7LoadDB(dir.c_str(), "W"); }},
      {"LoadDB of a missing file", "RQ7LoadDB", "Q7LoadDB",
       [&](const World&, Out&) { return DBTASK()->LoadDB(Text(dir.c_str()), Text("none")); },
       [&](const World&, Out&) { return innerQ7LoadDB(dir.c_str(), "none"); }},
      {"ClearDB", "RQ7ClearDB", "Q7ClearDB", [](const World&, Out&) { return DBTASK()->ClearDB(); },
       [](const World&, Out&) { return innerQ7ClearDB(); }},
      {"LoadRealTable", "RQ7LoadRealTable", "Q7LoadRealTable",
       [&](const World&, Out&) { return DBTASK()->LoadRealTable(Text(dir.c_str()), Text("T")); },
       [&](const World&, Out&) { return innerQ7LoadRealTable(dir.c_str(), "T"); }},
      {"SaveDBAs", "RQ7SaveDBAs", "Q7SaveDBAs",
       [&](const World&, Out&) { return DBTASK()->SaveDBAs(Text(other.c_str()), Text("X")); },
       [&](const World&, Out&) { return innerQ7SaveDBAs(other.c_str(), "X"); }},
      {"SaveDBAs without a name", "RQ7SaveDBAs", "Q7SaveDBAs",
       [&](const World&, Out&) { return DBTASK()->SaveDBAs(Text(other.c_str()), nullptr); },
       [&](const World&, Out&) { return innerQ7SaveDBAs(other.c_str(), nullptr); }},
      {"SaveDB", "Q7SaveDB", "Q7SaveDB", [](const World&, Out&) { return DBTASK()->SaveDB(); },
       [](const World&, Out&) { return innerQ7SaveDB(); }},
      {"SaveRealTable", "RQ7SaveRealTable", "Q7SaveRealTable",
       [&](const World& w, Out&) { return DBTASK()->SaveRealTable(Text(other.c_str()), w.v); },
       [&](const World& w, Out&) { return innerQ7SaveRealTable(other.c_str(), w.v); }},
      {"SaveRealTable of a missing table", "RQ7SaveRealTable", "Q7SaveRealTable",
       [&](const World&, Out&) { return DBTASK()->SaveRealTable(Text(other.c_str()), 99); },
       [&](const World&, Out&) { return innerQ7SaveRealTable(other.c_str(), 99); }},
      {"GetPathName", "Q7GetPathName", "Q7GetPathName",
       [](const World&, Out& o) { return DBTASK()->GetPathName(o.text[0], o.text[1]); },
       [](const World&, Out& o) { return innerQ7GetPathName(o.text[0], o.text[1]); }},
      {"GetNTable", "Q7GetNTable", "Q7GetNTable", [](const World&, Out&) { return DBTASK()->GetNTable(); },
       [](const World&, Out&) { return innerQ7GetNTable(); }},
      {"SetMaxJoinChain", "RQ7SetMaxJoinChain", "",
       [](const World&, Out& o) {
         o.i[0] = DBTASK()->SetMaxJoinChain(5);
         return DBTASK()->SetMaxJoinChain(16);
       },
       [](const World&, Out& o) {
         o.i[0] = innerQ7SetMaxJoinChain(5);
         return innerQ7SetMaxJoinChain(16);
       }},
      {"CombineTableList", "RQ7CombineTableList", "Q7CombineTableList",
       [](const World& w, Out&) {
         int tables[] = {w.t, w.v, 0};
         int sets[] = {w.set2, 1};
         int data[] = {w.k, w.vw};
         return DBTASK()->CombineTableList(Text("C"), tables, sets, data, nullptr, nullptr, nullptr);
       },
       [](const World& w, Out&) {
         int tables[] = {w.t, w.v, 0};
         int sets[] = {w.set2, 1};
         int data[] = {w.k, w.vw};
         return innerQ7CombineTableList("C", tables, sets, data, nullptr, nullptr, nullptr);
       }},
      {"CombineTableList of a missing table", "RQ7CombineTableList", "Q7CombineTableList",
       [](const World&, Out&) {
         int tables[] = {99, 0};
         int sets[] = {1};
         return DBTASK()->CombineTableList(Text("C"), tables, sets, nullptr, nullptr, nullptr, nullptr);
       },
       [](const World&, Out&) {
         int tables[] = {99, 0};
         int sets[] = {1};
         return innerQ7CombineTableList("C", tables, sets, nullptr, nullptr, nullptr, nullptr);
       }},
      {"GetTotalMemorySize", "Q7GetTotalMemorySize", "Q7GetTotalMemorySize",
       [](const World&, Out&) { return DBTASK()->GetTotalMemorySize(); },
       [](const World&, Out&) { return innerQ7GetTotalMemorySize(); }},
      {"SetTailSpaceFlag", "", "",
       [](const World&, Out& o) {
         o.i[0] = TTableCollection::m_nCutLastSpace;
         return DBTASK()->SetTailSpaceFlag(o.i[0]);
       },
       [](const World&, Out& o) {
         o.i[0] = TTableCollection::m_nCutLastSpace;
         return innerQ7SetTailSpaceFlag(o.i[0]);
       }},
      {"GetEnvironment", "RQ7GetEnvironment", "RQ7GetEnvironment",
       [](const World&, Out& o) { return DBTASK()->GetEnvironment(o.Rec<_TREnvironment>(0)); },
       [](const World&, Out& o) { return innerQ7GetEnvironment(o.Rec<_TREnvironment>(0)); }},
      {"GetEnvironment without a record", "RQ7GetEnvironment", "RQ7GetEnvironment",
       [](const World&, Out&) { return DBTASK()->GetEnvironment(nullptr); },
       [](const World&, Out&) { return innerQ7GetEnvironment(nullptr); }},
  };
  for (const Case& c : cases) Check(c);
}

// ---- Tables and joins ----

TEST_F(TaskOps, TableAndJoinOperationsEqualTheOperationLayer) {
  const Case cases[] = {
      {"GetTableIDList", "RQ7GetTableIDList", "Q7GetTableIDList",
       [](const World&, Out& o) { return DBTASK()->GetTableIDList(o.list[0]); },
       [](const World&, Out& o) { return innerQ7GetTableIDList(o.list[0]); }},
      {"GetTableName", "RQ7GetTableName", "Q7GetTableName",
       [](const World& w, Out& o) { return DBTASK()->GetTableName(w.u, o.text[0]); },
       [](const World& w, Out& o) { return innerQ7GetTableName(w.u, o.text[0]); }},
      {"GetTableProperty", "RQ7GetTableProperty", "Q7GetTableProperty",
       [](const World& w, Out& o) { return DBTASK()->GetTableProperty(w.t, o.Rec<_TTableInfo>(0)); },
       [](const World& w, Out& o) { return innerQ7GetTableProperty(w.t, o.Rec<_TTableInfo>(0)); }},
      {"GetTableProperty of a join", "RQ7GetTableProperty", "Q7GetTableProperty",
       [](const World& w, Out& o) { return DBTASK()->GetTableProperty(w.j, o.Rec<_TTableInfo>(0)); },
       [](const World& w, Out& o) { return innerQ7GetTableProperty(w.j, o.Rec<_TTableInfo>(0)); }},
      {"SetTableName", "Q7SetTableName", "Q7SetTableName",
       [](const World& w, Out&) { return DBTASK()->SetTableName(w.v, Text("NEW")); },
       [](const World& w, Out&) { return innerQ7SetTableName(w.v, "NEW"); }},
      {"SetTableName to a name in use", "Q7SetTableName", "Q7SetTableName",
       [](const World& w, Out&) { return DBTASK()->SetTableName(w.v, Text("U")); },
       [](const World& w, Out&) { return innerQ7SetTableName(w.v, "U"); }},
      {"SetTableName of a missing table", "Q7SetTableName", "Q7SetTableName",
       [](const World&, Out&) { return DBTASK()->SetTableName(99, Text("N")); },
       [](const World&, Out&) { return innerQ7SetTableName(99, "N"); }},
      {"GetTableIDFromName", "Q7GetTableIDFromName", "Q7GetTableIDFromName",
       [](const World&, Out& o) {
         o.i[0] = DBTASK()->GetTableIDFromName(Text("none"));
         return DBTASK()->GetTableIDFromName(Text("U"));
       },
       [](const World&, Out& o) {
         o.i[0] = innerQ7GetTableIDFromName("none");
         return innerQ7GetTableIDFromName("U");
       }},
      {"IsSharedMemoryTable", "RQ7IsSharedMemoryTable", "innerQ7SharedMemoryTable",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->IsSharedMemoryTable(99);
         return DBTASK()->IsSharedMemoryTable(w.t);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7SharedMemoryTable(99);
         return innerQ7SharedMemoryTable(w.t);
       }},
      {"SharedMemoryTable", "Q7SharedMemoryTable", "innerQ7SharedMemoryTable",
       [](const World&, Out&) { return DBTASK()->SharedMemoryTable(99); },
       [](const World&, Out&) { return innerQ7SharedMemoryTable(99); }},
      {"GetTableMemorySize", "Q7GetTableMemorySize", "Q7GetTableMemorySize",
       [](const World& w, Out& o) {
         o.i[0] = static_cast<int>(DBTASK()->GetTableMemorySize(99));
         return DBTASK()->GetTableMemorySize(w.t);
       },
       [](const World& w, Out& o) {
         o.i[0] = static_cast<int>(innerQ7GetTableMemorySize(99));
         return innerQ7GetTableMemorySize(w.t);
       }},
  };
  for (const Case& c : cases) Check(c);
}

// The join readers, on the inner join, the outer join, a real table and a missing table.
TEST_F(TaskOps, JoinReadersEqualTheOperationLayer) {
  using Pick = int (*)(const World&);
  const Pick kTables[] = {[](const World& w) { return w.j; }, [](const World& w) { return w.o; },
                          [](const World& w) { return w.t; }, [](const World&) { return 99; }};
  for (Pick pick : kTables) {
    const Case cases[] = {
        {"GetJoinInfo", "Q7GetJoinInfo", "Q7GetJoinInfo",
         [&](const World& w, Out& o) {
           int* i = o.i;
           return DBTASK()->GetJoinInfo(pick(w), o.text[0], i, i + 1, i + 2, i + 3, i + 4, i + 5);
         },
         [&](const World& w, Out& o) {
           int* i = o.i;
           return innerQ7GetJoinInfo(pick(w), o.text[0], i, i + 1, i + 2, i + 3, i + 4, i + 5);
         }},
        {"GetJoinInfoEx", "Q7GetJoinInfoEx", "Q7GetJoinInfoEx",
         [&](const World& w, Out& o) {
           int* i = o.i;
           return DBTASK()->GetJoinInfoEx(pick(w), o.text[0], i, i + 1, i + 2, i + 3, o.list[0], i + 4, i + 5,
                                          o.list[1]);
         },
         [&](const World& w, Out& o) {
           int* i = o.i;
           return innerRQ7GetJoinInfoEx(pick(w), o.text[0], i, i + 1, i + 2, i + 3, o.list[0], i + 4, i + 5,
                                        o.list[1]);
         }},
        {"GetJoinSrcTblIDs", "Q7GetJoinSrcTblIDs", "Q7GetJoinSrcTblIDs",
         [&](const World& w, Out& o) {
           return DBTASK()->GetJoinSrcTblIDs(pick(w), o.list[0], o.list[1], o.list[2]);
         },
         [&](const World& w, Out& o) {
           return innerRQ7GetJoinSrcTblIDs(pick(w), o.list[0], o.list[1], o.list[2]);
         }},
        {"GetJoinSrcTblInfo", "Q7GetJoinSrcTblIDs", "Q7GetJoinSrcTblInfo",
         [&](const World& w, Out& o) {
           return DBTASK()->GetJoinSrcTblInfo(pick(w), o.i, o.i + 1, o.list[0], o.list[1], o.list[2]);
         },
         [&](const World& w, Out& o) {
           return innerRQ7GetJoinSrcTblInfo(pick(w), o.i, o.i + 1, o.list[0], o.list[1], o.list[2]);
         }},
        {"GetSlaveInfo", "Q7GetSlaveInfo", "Q7GetSlaveInfo",
         [&](const World& w, Out& o) {
           int* i = o.i;
           return DBTASK()->GetSlaveInfo(pick(w), i, i + 1, i + 2, i + 3, i + 4, o.list[0]);
         },
         [&](const World& w, Out& o) {
           int* i = o.i;
           return innerRQ7GetSlaveInfo(pick(w), i, i + 1, i + 2, i + 3, i + 4, o.list[0]);
         }},
        {"GetJoinKey", "Q7GetJoinKey", "Q7GetJoinKey",
         [&](const World& w, Out& o) {
           return DBTASK()->GetJoinKey(pick(w), o.Rec<_TFilterInfo>(0), o.Rec<_TFilterInfo>(1));
         },
         [&](const World& w, Out& o) {
           return innerQ7GetJoinKey(pick(w), o.Rec<_TFilterInfo>(0), o.Rec<_TFilterInfo>(1));
         },
         true},
        {"GetJoinKeyInfo", "RQ7GetJoinKeyInfo", "RQ7GetJoinKeyInfo",
         [&](const World& w, Out& o) {
           return DBTASK()->GetJoinKeyInfo(pick(w), o.Rec<_TRFilterInfo>(0), o.Rec<_TRFilterInfo>(1));
         },
         [&](const World& w, Out& o) {
           return innerRQ7GetJoinKeyInfo(pick(w), o.Rec<_TRFilterInfo>(0), o.Rec<_TRFilterInfo>(1));
         }},
        {"GetJoinKeyBody", "RQ7GetJoinKeyBody", "RQ7GetJoinKeyBody",
         [&](const World& w, Out& o) { return DBTASK()->GetJoinKeyBody(pick(w), o.Body(0), o.Body(1)); },
         [&](const World& w, Out& o) { return innerRQ7GetJoinKeyBody(pick(w), o.Body(0), o.Body(1)); }, true},
        {"GetJoinKeyBody with a negative capacity", "RQ7GetJoinKeyBody", "RQ7GetJoinKeyBody",
         [&](const World& w, Out& o) { return DBTASK()->GetJoinKeyBody(pick(w), o.Body(0), o.Body(1, -1)); },
         [&](const World& w, Out& o) { return innerRQ7GetJoinKeyBody(pick(w), o.Body(0), o.Body(1, -1)); },
         true},
        {"GetJoinDir", "Q7GetJoinDir", "Q7GetJoinDir",
         [&](const World& w, Out& o) {
           o.i[0] = DBTASK()->GetJoinDir(pick(w), 77);
           return DBTASK()->GetJoinDir(pick(w), 1);
         },
         [&](const World& w, Out& o) {
           o.i[0] = innerQ7GetJoinDir(pick(w), 77);
           return innerQ7GetJoinDir(pick(w), 1);
         }},
        {"PutJoinSetToParent", "RQ7PutJoinSetToParent", "Q7PutJoinSetToParent",
         [&](const World& w, Out& o) { return DBTASK()->PutJoinSetToParent(pick(w), 1, 1, o.i, o.i + 1); },
         [&](const World& w, Out& o) { return innerQ7PutJoinSetToParent(pick(w), 1, 1, o.i, o.i + 1); }},
        {"ReturnSet2SlaveTable", "Q7ReturnSet2SlaveTable", "Q7ReturnSet2SlaveTable",
         [&](const World& w, Out& o) { return DBTASK()->ReturnSet2SlaveTable(pick(w), o.i); },
         [&](const World& w, Out& o) { return innerQ7ReturnSet2SlaveTable(pick(w), o.i); }},
    };
    for (const Case& c : cases) Check(c);
  }
}

// ---- Sets and names ----

TEST_F(TaskOps, SetOperationsEqualTheOperationLayer) {
  using Pick = int (*)(const World&);
  // The second set of T, set 1, a set T does not have.
  const Pick kSets[] = {[](const World& w) { return w.set2; }, [](const World&) { return 1; },
                        [](const World&) { return 77; }};
  for (Pick pick : kSets) {
    const Case cases[] = {
        {"GetNSet", "Q7GetNSet", "Q7GetNSet", [](const World& w, Out&) { return DBTASK()->GetNSet(w.t); },
         [](const World& w, Out&) { return innerQ7GetNSet(w.t); }},
        {"GetSetIDList", "Q7GetSetList", "Q7GetSetList",
         [](const World& w, Out& o) {
           o.i[0] = DBTASK()->GetSetIDList(w.t, 1, o.list[0]);
           return DBTASK()->GetSetIDList(w.t, 8, o.list[1]);
         },
         [](const World& w, Out& o) {
           o.i[0] = innerQ7GetSetIDList(w.t, 1, o.list[0]);
           return innerQ7GetSetIDList(w.t, 8, o.list[1]);
         }},
        {"GetCurrentSetID", "Q7GetCurrentSetID", "Q7GetCurrentSetID",
         [](const World& w, Out&) { return DBTASK()->GetCurrentSetID(w.t); },
         [](const World& w, Out&) { return innerQ7GetCurrentSetID(w.t); }},
        {"DeleteSet", "Q7DeleteSet", "Q7DeleteSet",
         [&](const World& w, Out&) { return DBTASK()->DeleteSet(w.t, pick(w)); },
         [&](const World& w, Out&) { return innerQ7DeleteSet(w.t, pick(w)); }},
        {"PurgeSubsets", "Q7PurgeSubsets", "Q7PurgeSubsets",
         [](const World& w, Out& o) {
           o.i[0] = DBTASK()->PurgeSubsets(99);
           return DBTASK()->PurgeSubsets(w.t);
         },
         [](const World& w, Out& o) {
           o.i[0] = innerQ7PurgeSubsets(99);
           return innerQ7PurgeSubsets(w.t);
         }},
        {"GetSubsetAttr", "Q7GetSubsetAttr", "Q7GetSubsetAttr",
         [&](const World& w, Out& o) { return DBTASK()->GetSubsetAttr(w.t, pick(w), o.attrs[0], true); },
         [&](const World& w, Out& o) { return innerRQ7GetSubsetAttr(w.t, pick(w), o.attrs[0]); }},
        {"GetSetName", "Q7GetSetName", "Q7GetSetName",
         [&](const World& w, Out& o) {
           TSetArray* set = Real(w.t)->GetSet(w.set2);
           set->SetSetName(Text("second"));
           return DBTASK()->GetSetName(w.t, pick(w), o.text[0]);
         },
         [&](const World& w, Out& o) {
           Real(w.t)->GetSet(w.set2)->SetSetName(Text("second"));
           return innerQ7GetSetName(w.t, pick(w), o.text[0]);
         }},
        {"SetSetName of a known set", "Q7SetSetName", "Q7SetSetName",
         [](const World& w, Out& o) {
           o.i[0] = DBTASK()->SetSetName(w.t, w.set2, Text("N"));
           return DBTASK()->GetSetName(w.t, w.set2, o.text[0]);
         },
         [](const World& w, Out& o) {
           o.i[0] = innerQ7SetSetName(w.t, w.set2, "N");
           return innerQ7GetSetName(w.t, w.set2, o.text[0]);
         }},
        {"GetSetMemorySize", "Q7GetSetMemorySize", "Q7GetSetMemorySize",
         [&](const World& w, Out&) { return DBTASK()->GetSetMemorySize(w.t, pick(w)); },
         [&](const World& w, Out&) { return innerQ7GetSetMemorySize(w.t, pick(w)); }},
    };
    for (const Case& c : cases) Check(c);
  }
}

// ---- Filters ----

TEST_F(TaskOps, FilterOperationsEqualTheOperationLayer) {
  using Pick = int (*)(const World&);
  // A STRING filter, an INTEGER filter, a missing filter.
  const Pick kFilters[] = {[](const World& w) { return w.s; }, [](const World& w) { return w.k; },
                           [](const World&) { return 99; }};
  for (Pick pick : kFilters) {
    const Case cases[] = {
        {"GetNFilter", "Q7GetNFilter", "Q7GetNFilter",
         [](const World& w, Out& o) {
           o.i[0] = DBTASK()->GetNFilter(99);
           return DBTASK()->GetNFilter(w.t);
         },
         [](const World& w, Out& o) {
           o.i[0] = innerQ7GetNFilter(99);
           return innerQ7GetNFilter(w.t);
         }},
        {"GetFilterWidth", "Q7GetFilterWidth", "Q7GetFilterWidth",
         [&](const World& w, Out&) { return DBTASK()->GetFilterWidth(w.t, pick(w)); },
         [&](const World& w, Out&) { return innerQ7GetFilterWidth(w.t, pick(w)); }},
        {"GetFilter", "RQ7GetFilter", "Q7GetFilter",
         [&](const World& w, Out& o) { return DBTASK()->GetFilter(w.t, pick(w), o.Rec<_TFilterInfo>(0)); },
         [&](const World& w, Out& o) { return innerQ7GetFilter(w.t, pick(w), o.Rec<_TFilterInfo>(0)); },
         true},
        {"GetFilterInfo", "RQ7GetFilterInfo", "RQ7GetFilterInfo",
         [&](const World& w, Out& o) {
           return DBTASK()->GetFilterInfo(w.t, pick(w), o.Rec<_TRFilterInfo>(0));
         },
         [&](const World& w, Out& o) {
           return innerRQ7GetFilterInfo(w.t, pick(w), o.Rec<_TRFilterInfo>(0));
         }},
        {"GetFilterBody", "RQ7GetFilterBody", "RQ7GetFilterBody",
         [&](const World& w, Out& o) {
           o.i[0] = DBTASK()->GetFilterBody(w.t, pick(w), o.Body(1, -1));
           return DBTASK()->GetFilterBody(w.t, pick(w), o.Body(0, 3));
         },
         [&](const World& w, Out& o) {
           o.i[0] = innerRQ7GetFilterBody(w.t, pick(w), o.Body(1, -1));
           return innerRQ7GetFilterBody(w.t, pick(w), o.Body(0, 3));
         },
         true},
        {"GetFilterAttr", "RQ7GetFilterAttr", "Q7GetFilterAttr",
         [&](const World& w, Out& o) {
           TFilter* f = Real(w.t)->GetFilter(w.k);
           memset(f->VL->FUserArea, 'k', 64);
           return DBTASK()->GetFilterAttr(w.t, pick(w), o.attrs[0], true);
         },
         [&](const World& w, Out& o) {
           memset(Real(w.t)->GetFilter(w.k)->VL->FUserArea, 'k', 64);
           void* block = nullptr;
           const int r = innerQ7GetFilterAttr(w.t, pick(w), &block, true);
           if (r == 0) memcpy(o.attrs[0], block, 64);
           return r;
         }},
        {"GetFilterName", "Q7GetFilterName", "Q7GetFilterName",
         [&](const World& w, Out& o) { return DBTASK()->GetFilterName(w.t, pick(w), o.text[0]); },
         [&](const World& w, Out& o) { return innerQ7GetFilterName(w.t, pick(w), o.text[0]); }},
        {"SetFilterName", "Q7SetFilterName", "Q7SetFilterName",
         [&](const World& w, Out&) { return DBTASK()->SetFilterName(w.t, pick(w), Text("D")); },
         [&](const World& w, Out&) { return innerQ7SetFilterName(w.t, pick(w), "D"); }},
        {"GetFilterIDFromName", "Q7GetFilterIDFromName", "Q7GetFilterIDFromName",
         [](const World& w, Out& o) {
           o.i[0] = DBTASK()->GetFilterIDFromName(w.t, Text("none"));
           o.i[1] = DBTASK()->GetFilterIDFromName2(w.t, 1, Text("S"));
           return DBTASK()->GetFilterIDFromName(w.t, Text("S"));
         },
         [](const World& w, Out& o) {
           o.i[0] = innerQ7GetFilterIDFromName(w.t, "none");
           o.i[1] = innerQ7GetFilterIDFromName2(w.t, 1, "S");
           return innerQ7GetFilterIDFromName(w.t, "S");
         }},
        {"GetFilterMemorySize", "Q7GetFilterMemorySize", "Q7GetFilterMemorySize",
         [&](const World& w, Out&) { return DBTASK()->GetFilterMemorySize(w.t, pick(w)); },
         [&](const World& w, Out&) { return innerQ7GetFilterMemorySize(w.t, pick(w)); }},
        {"DeleteRealFilter of a referred table", "Q7DeleteRealFilter", "Q7DeleteRealFilter",
         [&](const World& w, Out&) { return DBTASK()->DeleteRealFilter(w.t, pick(w)); },
         [&](const World& w, Out&) { return innerQ7DeleteRealFilter(w.t, pick(w)); }},
        {"DupRealFilter", "Q7DupRealFilter", "Q7DupRealFilter",
         [&](const World& w, Out&) { return DBTASK()->DupRealFilter(w.t, pick(w)); },
         [&](const World& w, Out&) { return innerQ7DupRealFilter(w.t, pick(w)); }},
    };
    for (const Case& c : cases) Check(c);
  }
}

TEST_F(TaskOps, FilterListsAndChangesEqualTheOperationLayer) {
  const Case cases[] = {
      {"GetAllFilterInfo", "Q7GetAllFilterInfo", "innerRQ7GetAllFilterInfo",
       [](const World& w, Out& o) {
         return DBTASK()->GetAllFilterInfo(w.t, 2, o.i, o.Rec<_TRFilterInfo>(0), o.attrs);
       },
       [](const World& w, Out& o) {
         return innerRQ7GetAllFilterInfo(w.t, 2, o.i, o.Rec<_TRFilterInfo>(0), o.attrs);
       }},
      {"GetAllFilterInfo with max 0", "Q7GetAllFilterInfo", "innerRQ7GetAllFilterInfo",
       [](const World& w, Out& o) { return DBTASK()->GetAllFilterInfo(w.t, 0, o.i, nullptr, nullptr); },
       [](const World& w, Out& o) { return innerRQ7GetAllFilterInfo(w.t, 0, o.i, nullptr, nullptr); }},
      {"GetAllFilterInfo with a negative max", "Q7GetAllFilterInfo", "innerRQ7GetAllFilterInfo",
       [](const World& w, Out& o) { return DBTASK()->GetAllFilterInfo(w.t, -1, o.i, nullptr, nullptr); },
       [](const World& w, Out& o) { return innerRQ7GetAllFilterInfo(w.t, -1, o.i, nullptr, nullptr); }},
      {"GetAllFilterInfo of a missing table", "Q7GetAllFilterInfo", "innerRQ7GetAllFilterInfo",
       [](const World&, Out& o) { return DBTASK()->GetAllFilterInfo(99, 1, o.i, nullptr, nullptr); },
       [](const World&, Out& o) { return innerRQ7GetAllFilterInfo(99, 1, o.i, nullptr, nullptr); }},
      {"DeleteRealFilter", "Q7DeleteRealFilter", "Q7DeleteRealFilter",
       [](const World& w, Out&) { return DBTASK()->DeleteRealFilter(w.v, w.vw); },
       [](const World& w, Out&) { return innerQ7DeleteRealFilter(w.v, w.vw); }},
      {"DeleteRealFilter of a join", "Q7DeleteRealFilter", "Q7DeleteRealFilter",
       [](const World& w, Out&) { return DBTASK()->DeleteRealFilter(w.j, 1); },
       [](const World& w, Out&) { return innerQ7DeleteRealFilter(w.j, 1); }},
      {"MoveRealFilter", "Q7MoveRealFilter", "Q7MoveRealFilter",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->MoveRealFilter(w.v, 9, 1);
         return DBTASK()->MoveRealFilter(w.v, 1, 0);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7MoveRealFilter(w.v, 9, 1);
         return innerQ7MoveRealFilter(w.v, 1, 0);
       }},
  };
  for (const Case& c : cases) Check(c);
}

// ---- Rows and data ----

TEST_F(TaskOps, RowEditsEqualTheOperationLayer) {
  using Pick = int (*)(const World&);
  // An editable table, a table a join refers to, a join, a missing table.
  const Pick kTables[] = {[](const World& w) { return w.v; }, [](const World& w) { return w.t; },
                          [](const World& w) { return w.j; }, [](const World&) { return 99; }};
  for (Pick pick : kTables) {
    const Case cases[] = {
        {"DeleteRealRows", "Q7DeleteRealRows", "Q7DeleteRealRows",
         [&](const World& w, Out&) { return DBTASK()->DeleteRealRows(pick(w), 1, 1); },
         [&](const World& w, Out&) { return innerQ7DeleteRealRows(pick(w), 1, 1); }},
        {"DeleteRealRowsEx", "Q7DeleteRealRowsEx", "Q7DeleteRealRowsEx",
         [&](const World& w, Out&) { return DBTASK()->DeleteRealRowsEx(pick(w), 1, 0, 2); },
         [&](const World& w, Out&) { return innerQ7DeleteRealRowsEx(pick(w), 1, 0, 2); }},
        {"InsertRealRows", "Q7InsertRealRows", "Q7InsertRealRows",
         [&](const World& w, Out&) { return DBTASK()->InsertRealRows(pick(w), 2, 2); },
         [&](const World& w, Out&) { return innerQ7InsertRealRows(pick(w), 2, 2); }},
    };
    for (const Case& c : cases) Check(c);
  }
}

TEST_F(TaskOps, ReadsEqualTheOperationLayer) {
  struct Read {
    int (*filter)(const World&);
    int set;  // -2: T's second set
    int row;
  };
  const Read kReads[] = {
      {[](const World& w) { return w.s; }, 1, 1},  {[](const World& w) { return w.d; }, 1, 2},
      {[](const World& w) { return w.k; }, -2, 1}, {[](const World&) { return 0; }, -2, 3},
      {[](const World& w) { return w.k; }, 1, 0},  {[](const World& w) { return w.k; }, 1, 6},
      {[](const World& w) { return w.k; }, 77, 1}, {[](const World&) { return 99; }, 1, 1},
      {[](const World& w) { return w.s; }, -2, 2},
  };
  for (const Read& r : kReads) {
    auto set = [r](const World& w) { return r.set == -2 ? w.set2 : r.set; };
    const Case cases[] = {
        {"GetData", "Q7GetData", "Q7GetData",
         [&](const World& w, Out& o) {
           return DBTASK()->GetData(w.t, r.filter(w), set(w), r.row - 1, o.i, o.text[0]);
         },
         [&](const World& w, Out& o) {
           return innerQ7GetData(w.t, r.filter(w), set(w), r.row - 1, o.i, o.text[0]);
         }},
        {"GetData1", "Q7GetData1", "Q7GetData1",
         [&](const World& w, Out& o) {
           return DBTASK()->GetData1(w.t, r.filter(w), set(w), r.row, o.i, o.text[0]);
         },
         [&](const World& w, Out& o) {
           return innerQ7GetData1(w.t, r.filter(w), set(w), r.row, o.i, o.text[0], 0);
         }},
        {"GetRowNo", "Q7GetRowNo", "Q7GetRowNo",
         [&](const World& w, Out& o) {
           o.i[1] = DBTASK()->GetRowNo1(w.t, set(w), r.row, o.i + 2, o.i + 3);
           return DBTASK()->GetRowNo(w.t, set(w), r.row - 1, o.i, o.i + 4);
         },
         [&](const World& w, Out& o) {
           o.i[1] = innerQ7GetRowNo1(w.t, set(w), r.row, o.i + 2);
           return innerQ7GetRowNo(w.t, set(w), r.row - 1, o.i);
         }},
        {"GetData1M", "RQ7GetData1M", "RQ7GetData1M",
         [&](const World& w, Out& o) {
           return DBTASK()->GetData1M(w.t, r.filter(w), set(w), r.row, o.i, o.i + 1, o.text[0], o.text[1]);
         },
         [&](const World& w, Out& o) {
           return innerRQ7GetData1M(w.t, r.filter(w), set(w), r.row, o.i, o.i + 1, o.text[0], o.text[1]);
         }},
        {"GetRowNo1M", "RQ7GetRowNo1M", "RQ7GetRowNo1M",
         [&](const World& w, Out& o) {
           return DBTASK()->GetRowNo1M(w.t, set(w), r.row, o.i, o.list[0], o.list[1]);
         },
         [&](const World& w, Out& o) {
           return innerRQ7GetRowNo1M(w.t, set(w), r.row, o.i, o.list[0], o.list[1]);
         }},
    };
    for (const Case& c : cases) Check(c);
  }
}

TEST_F(TaskOps, RowNumberSearchesEqualTheOperationLayer) {
  const Case cases[] = {
      {"SortByRowNo", "RQ7SortByRowNo", "Q7SortByRowNo",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->SortByRowNo(w.t, 0, w.set2, 0);
         o.i[1] = DBTASK()->SortByRowNo(99, 0, 1, 0);
         return DBTASK()->SortByRowNo(w.t, 0, w.set2, 1);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7SortByRowNo(w.t, 0, w.set2, 0);
         o.i[1] = innerQ7SortByRowNo(99, 0, 1, 0);
         return innerQ7SortByRowNo(w.t, 0, w.set2, 1);
       }},
      {"SearchByRowNo", "RQ7SearchByRowNo", "Q7SearchByRowNo",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->SearchByRowNo(w.t, 0, 77, 1, 2, 4);
         return DBTASK()->SearchByRowNo(w.t, 0, 1, 1, 2, 4);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7SearchByRowNo(w.t, 0, 77, 1, 2, 4);
         return innerQ7SearchByRowNo(w.t, 0, 1, 1, 2, 4);
       }},
      {"SearchByDispRowNoReal", "RQ7SearchByDispRowNoReal", "Q7SearchByDispRowNoReal",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->SearchByDispRowNoReal(w.j, 1, 0, 1, 1);
         return DBTASK()->SearchByDispRowNoReal(w.t, w.set2, 5, 1, 3);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7SearchByDispRowNoReal(w.j, 1, 0, 1, 1);
         return innerQ7SearchByDispRowNoReal(w.t, w.set2, 5, 1, 3);
       }},
  };
  for (const Case& c : cases) Check(c);
}

// ---- Finds and high-speed search ----

TEST_F(TaskOps, FindsEqualTheOperationLayer) {
  // Each case opens a find, reads its status, steps to two hits, asks for a record and closes.
  const Case cases[] = {
      {"string find", "RQ7OpenStrFindReal", "Q7OpenStrFindReal",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->OpenStrFindReal(w.t, w.s, 0, Text("a"), Text(""));
         o.i[1] = DBTASK()->GetFindStatus(w.t, o.i + 2, o.i + 3);
         o.i[4] = DBTASK()->GetNextHitReal(w.t, o.i[0], 1, 0, 0, o.i + 5, o.i + 6);
         o.i[7] = DBTASK()->GetNextHitReal(w.t, o.i[0], 1, o.i[6], 0, o.i + 8, o.i + 9);
         o.i[10] = DBTASK()->FindRecNoReal(w.t, w.set2, 4);
         return DBTASK()->CloseFindReal(w.t);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7OpenStrFindReal(w.t, w.s, 0, "a", "");
         o.i[1] = innerQ7GetFindStatus(w.t, o.i + 2, o.i + 3);
         o.i[4] = innerQ7GetNextHitReal(w.t, o.i[0], 1, 0, 0, o.i + 5, o.i + 6);
         o.i[7] = innerQ7GetNextHitReal(w.t, o.i[0], 1, o.i[6], 0, o.i + 8, o.i + 9);
         o.i[10] = innerQ7FindRecNoReal(w.t, w.set2, 4);
         return innerQ7CloseFindReal(w.t);
       }},
      {"integer find", "RQ7OpenIntFindReal", "Q7OpenIntFindReal",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->OpenIntFindReal(w.t, w.k, 1, 2, 3);
         o.i[1] = DBTASK()->GetFindStatus(w.t, o.i + 2, o.i + 3);
         return DBTASK()->OpenIntFindReal(w.t, 99, 0, 1, 1);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7OpenIntFindReal(w.t, w.k, 1, 2, 3);
         o.i[1] = innerQ7GetFindStatus(w.t, o.i + 2, o.i + 3);
         return innerQ7OpenIntFindReal(w.t, 99, 0, 1, 1);
       }},
      {"float find", "RQ7OpenFloatFindReal", "Q7OpenFloatFindReal",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->OpenFloatFindReal(w.t, w.d, 7, 2.0, 0.0);
         o.i[1] = DBTASK()->GetFindStatus(w.t, o.i + 2, o.i + 3);
         return DBTASK()->OpenFloatFindReal(w.j, 1, 0, 1.0, 1.0);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7OpenFloatFindReal(w.t, w.d, 7, 2.0, 0.0);
         o.i[1] = innerQ7GetFindStatus(w.t, o.i + 2, o.i + 3);
         return innerQ7OpenFloatFindReal(w.j, 1, 0, 1.0, 1.0);
       }},
      {"stale find", "RQ7GetNextHitReal", "Q7GetNextHitReal",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->GetNextHitReal(w.t, 5, 1, 0, 0, o.i + 1, o.i + 2);
         return DBTASK()->GetNextHitReal(w.j, 5, 1, 0, 0, o.i + 1, o.i + 2);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7GetNextHitReal(w.t, 5, 1, 0, 0, o.i + 1, o.i + 2);
         return innerQ7GetNextHitReal(w.j, 5, 1, 0, 0, o.i + 1, o.i + 2);
       }},
      {"status and close of a join", "RQ7GetFindStatus", "Q7GetFindStatus",
       [](const World& w, Out& o) {
         o.i[0] = DBTASK()->FindRecNoReal(w.j, 1, 1);
         o.i[1] = DBTASK()->CloseFindReal(w.j);
         return DBTASK()->GetFindStatus(w.j, o.i + 2, o.i + 3);
       },
       [](const World& w, Out& o) {
         o.i[0] = innerQ7FindRecNoReal(w.j, 1, 1);
         o.i[1] = innerQ7CloseFindReal(w.j);
         return innerQ7GetFindStatus(w.j, o.i + 2, o.i + 3);
       },
       false, true},
  };
  for (const Case& c : cases) Check(c);
}

TEST_F(TaskOps, HighSpeedSearchEqualsTheOperationLayer) {
  using Pick = int (*)(const World&);
  // A filter, every filter, an illegal ID, a missing filter.
  const Pick kFilters[] = {[](const World& w) { return w.k; }, [](const World&) { return -1; },
                           [](const World&) { return 0; }, [](const World&) { return 99; }};
  for (Pick pick : kFilters) {
    const Case cases[] = {
        {"HighSpeedSearchEnable", "RQ7HighSpeedSearchEnable", "innerQ7HighSpeedSearchEnable",
         [&](const World& w, Out& o) {
           o.i[0] = DBTASK()->HighSpeedSearchEnable(w.t, pick(w), true);
           o.i[1] = DBTASK()->HighSpeedSearchEnable(w.j, pick(w), true);
           return Real(w.t)->GetFilter(w.s)->FHighSpeed;
         },
         [&](const World& w, Out& o) {
           o.i[0] = innerQ7HighSpeedSearchEnable(w.t, pick(w), true);
           o.i[1] = innerQ7HighSpeedSearchEnable(w.j, pick(w), true);
           return Real(w.t)->GetFilter(w.s)->FHighSpeed;
         }},
        {"HighSpeedSearchSetMark", "RQ7HighSpeedSearchSetMark", "innerQ7HighSpeedSearchSetMark",
         [&](const World& w, Out& o) {
           o.i[0] = DBTASK()->HighSpeedSearchSetMark(w.t, w.set2, pick(w), true);
           o.i[1] = DBTASK()->HighSpeedSearchSetMark(w.t, w.set2, pick(w), true);
           o.i[2] = DBTASK()->HighSpeedSearchSetMark(w.t, 77, pick(w), true);
           o.i[3] = Real(w.t)->GetSet(w.set2)->GetSortedSet(Real(w.t)->GetFilter(w.k)) != nullptr;
           o.i[4] = DBTASK()->HighSpeedSearchSetMark(w.t, w.set2, pick(w), false);
           return Real(w.t)->GetSet(w.set2)->GetSortedSet(Real(w.t)->GetFilter(w.k)) != nullptr;
         },
         [&](const World& w, Out& o) {
           o.i[0] = innerQ7HighSpeedSearchSetMark(w.t, w.set2, pick(w), true);
           o.i[1] = innerQ7HighSpeedSearchSetMark(w.t, w.set2, pick(w), true);
           o.i[2] = innerQ7HighSpeedSearchSetMark(w.t, 77, pick(w), true);
           o.i[3] = Real(w.t)->GetSet(w.set2)->GetSortedSet(Real(w.t)->GetFilter(w.k)) != nullptr;
           o.i[4] = innerQ7HighSpeedSearchSetMark(w.t, w.set2, pick(w), false);
           return Real(w.t)->GetSet(w.set2)->GetSortedSet(Real(w.t)->GetFilter(w.k)) != nullptr;
         }},
        {"HighSpeedSearchHasMark", "RQ7HighSpeedSearchHasMark", "innerQ7HighSpeedSearchHasMark",
         [&](const World& w, Out& o) {
           o.i[0] = DBTASK()->HighSpeedSearchHasMark(w.t, w.set2, pick(w));
           innerQ7HighSpeedSearchSetMark(w.t, w.set2, w.k, true);
           o.i[1] = DBTASK()->HighSpeedSearchHasMark(w.j, 1, pick(w));
           return DBTASK()->HighSpeedSearchHasMark(w.t, w.set2, pick(w));
         },
         [&](const World& w, Out& o) {
           o.i[0] = innerQ7HighSpeedSearchHasMark(w.t, w.set2, pick(w));
           innerQ7HighSpeedSearchSetMark(w.t, w.set2, w.k, true);
           o.i[1] = innerQ7HighSpeedSearchHasMark(w.j, 1, pick(w));
           return innerQ7HighSpeedSearchHasMark(w.t, w.set2, pick(w));
         }},
    };
    for (const Case& c : cases) Check(c);
  }
}

}  // namespace
