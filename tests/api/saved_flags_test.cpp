// The saved flags as a host relies on them: it saves only when they say something changed, so every
// exported call that changes a table, a filter, a value or the database clears the tables flag, every
// call that changes a set clears the sets flag, whichever road inside the engine the call takes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;

constexpr int kTablesFlag = 1;
constexpr int kSetsFlag = 2;
constexpr int kAllFlags = 0;  // the settings flag has no reader of its own: all three together

const char* Bytes(const int32_t* value) { return reinterpret_cast<const char*>(value); }

struct FlagCase {
  const char* what;
  int flag;  // which flag the call clears
  std::function<int()> call;
  std::function<void()> prepare = [] {};
  std::function<void()> finish = [] {};  // gives back what the case took outside the database
};

class SavedFlagsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  void TearDown() override {
    RQ7SummaryClose(0);
    RQ7ClearDB();
    RQ7SetDBCharCode("UTF8");
  }

  // m (id, v, name, amount) joined with s (id, w) on id as j; spare (k, k2) and values (x, t, d)
  // stand alone.
  void Build() {
    ASSERT_EQ(RQ7SetDBCharCode("UTF8"), 0);
    ASSERT_EQ(RQ7ClearDB(), 0);
    m_ = q7host::AddTable("m", 3);
    ASSERT_GT(q7host::AddIntColumn(m_, "id", {1, 2, 3}), 0);
    ASSERT_GT(q7host::AddIntColumn(m_, "v", {10, 20, 30}), 0);
    ASSERT_GT(q7host::AddStringColumn(m_, "name", {"a", "b", "c"}), 0);
    ASSERT_GT(q7host::AddDecimalColumn(m_, "amount",
                                       {q7host::Decimal(1), q7host::Decimal(2), q7host::Decimal(3)}, 2),
              0);
    s_ = q7host::AddTable("s", 3);
    ASSERT_GT(q7host::AddIntColumn(s_, "id", {2, 3, 4}), 0);
    ASSERT_GT(q7host::AddDoubleColumn(s_, "w", {0.5, 1.5, 2.5}), 0);
    const int keys[] = {1, -1};
    j_ = RQ7AddJoinTable("j", 0, m_, 1, keys, s_, 1, keys);
    ASSERT_GT(j_, 0);
    spare_ = q7host::AddTable("spare", 4);
    ASSERT_GT(q7host::AddIntColumn(spare_, "k", {4, 3, 2, 1}), 0);
    ASSERT_GT(q7host::AddIntColumn(spare_, "k2", {1, 2, 3, 4}), 0);
    values_ = q7host::AddTable("values", 2);
    ASSERT_GT(q7host::AddDoubleColumn(values_, "x", {0.5, 1.5}), 0);
    ASSERT_GT(q7host::AddStringColumn(values_, "t", {"p", "q"}), 0);
    ASSERT_GT(q7host::AddDecimalColumn(values_, "d", {q7host::Decimal(1), q7host::Decimal(2)}, 2), 0);
    DrainRing();
  }

  // Handle 0 (closed first: the previous case's database is gone) executed over m's id with the
  // measure v; with `out_table`, its COUNT written into a new table whose ID lands there.
  void OpenSummary(int* out_table = nullptr) {
    RQ7SummaryClose(0);
    _TDimensionDef def{};
    def.column_id = 1;
    ASSERT_EQ(Q7SummaryOpen(0, m_, 1, 1, &def, 2), 0);
    int computed = 0;
    ASSERT_EQ(RQ7SummaryExec(0, 15, &computed), 0);
    if (out_table != nullptr) {
      *out_table = RQ7SummaryIntoRealTable2(0, 1, 0);
      ASSERT_GT(*out_table, 0);
    }
  }

  // big (k: 1 to 40) and a set of two of its rows, few enough against k's 41 values that a summary
  // of it sums a copy of the rows in a table of its own; with `open`, that summary opened in handle 0
  // (closed first: the previous case's database is gone).
  void SmallSet(bool open = false) {
    RQ7SummaryClose(0);
    big_ = q7host::AddTable("big", 40);
    std::vector<int> keys;
    for (int k = 1; k <= 40; ++k) keys.push_back(k);
    ASSERT_GT(q7host::AddIntColumn(big_, "k", keys), 0);
    const int rows[] = {1, 3};
    small_set_ = RQ7AddSetReal(big_, 2, rows);
    ASSERT_GT(small_set_, 0);
    if (open) {
      const int tables = RQ7GetNTable();
      ASSERT_EQ(RQ7SummaryOpen(0, big_, small_set_, 1, big_dims_, 0), 0);
      ASSERT_EQ(RQ7GetNTable(), tables + 1);  // the copy
    }
  }

  // A second inner join (s to spare), so that j and it make a chain m -> s -> spare; with `tree`,
  // the chain realised as a tree table whose ID lands there.
  void Chain(int* tree = nullptr) {
    const int keys[] = {1, -1};
    chain_[0] = j_;
    chain_[1] = RQ7AddJoinTable("j2", 0, s_, 1, keys, spare_, 1, keys);
    ASSERT_GT(chain_[1], 0);
    if (tree != nullptr) {
      *tree = RQ7RealizeJoinChain("tree", chain_, table_ids_, sets_);
      ASSERT_GT(*tree, 0);
    }
  }

  // The database saved as img.Q7D and copied into the shared image; `clear` empties the database
  // afterwards, so that loading the image replaces it rather than adding to it.
  void ShareImage(bool clear) {
    ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "img"), 0);
    ASSERT_EQ(RQ7CreateSharedMemoryDB(dir_.path().c_str(), "img"), 0);
    if (clear) {
      ASSERT_EQ(RQ7ClearDB(), 0);
    }
  }
  static void DropImage() {
    RQ7ClearDB();
    RQ7ReleaseSharedMemoryArea();
    DrainRing();
  }

  // A copy of spare saved as "shared" and registered in the shared-table registry (a table is
  // attached under its own name, so the copy is gone again).
  void Register() {
    ASSERT_EQ(RQ7ShmSetup(4), 0);
    const int copy = RQ7DuplicateRealTable("shared", spare_);
    ASSERT_GT(copy, 0);
    ASSERT_EQ(RQ7SaveRealTable(dir_.path().c_str(), copy), 0);
    ASSERT_EQ(RQ7DeleteTable(copy), 0);
    std::filesystem::permissions(dir_.File("shared.Q7T"),
                                 std::filesystem::perms::group_write | std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    ASSERT_EQ(RQ7ShmLoad(dir_.path().c_str(), "shared"), 0);
  }
  static void DropRegistry() {
    RQ7DetachAll();
    RQ7ClearSharedMemory();
    DrainRing();
  }

  void Write(const std::string& name, const std::string& text) { std::ofstream(dir_.File(name)) << text; }

  q7host::TempDir dir_;
  int m_ = 0;
  int s_ = 0;
  int j_ = 0;
  int spare_ = 0;
  int values_ = 0;
  int big_ = 0;
  int small_set_ = 0;
  int big_dims_[518] = {1};  // RQ7SummaryOpen's host records: filter 1, the next record 518 ints on
  int chain_[3] = {0, 0, 0};
  int table_ids_[511] = {};
  int sets_[2][510] = {};
};

TEST_F(SavedFlagsTest, EveryChangeClearsItsFlag) {
  const int ids[] = {1, 2, -1};
  const int keys[] = {1, -1};
  const int dirs[] = {Q7_SORT_DESCENDING, Q7_SORT_ASCENDING};
  int32_t two[] = {7, 8};
  int32_t seven = 7;
  // Search bounds are the filter's own binary values.
  const int32_t two_key = 2;
  const int32_t three_key = 3;
  const int32_t rows[] = {1, 3};
  const unsigned char value_flags[] = {0, 1, 1, 1};
  char message[512];
  char* message_out = nullptr;
  void* block_out = nullptr;
  unsigned char block[64] = {1};
  int out_table = 0;
  int out_set = 0;
  int out_filter = 0;
  int added_set = 0;
  int added_filter = 0;
  int tree = 0;
  std::vector<char> image(1 << 16);
  std::vector<uint64_t> aligned(1 << 14);  // images read in place want 8-byte alignment
  void* end = nullptr;
  unsigned long image_size = 0;
  unsigned long file_end = 0;
  const int measures[] = {2};
  const int masks[] = {1};
  const NumericInfo info{3, Q7_ROUND_DOWN};
  Numeric decimal = q7host::Decimal(5);
  const int drop[] = {1, 0};
  const int source_filters[] = {1, 0};
  const int chain_columns[3][4] = {{2}, {1}, {2}};
  const int list_sets[] = {1, 1};
  const std::string dir = dir_.path();
  const std::string multi = dir_.File("multi.bin");
  const auto select_all = [](int, int, int, int, int, int, int, _TColumnBuf*) { return 1; };
  int list_ids[3] = {0, 0, 0};
  const auto stream_spare = [&] {
    ASSERT_EQ(RQ7MemStreamOpenWrite(), 0);
    ASSERT_EQ(RQ7SaveRealTableMem(spare_, 0), 0);
    long size = 0;
    void* bytes = nullptr;
    ASSERT_EQ(RQ7MemStreamGetWriteBuf(&size, &bytes), 0);
    memcpy(aligned.data(), bytes, static_cast<size_t>(size));
    ASSERT_EQ(RQ7MemStreamOpenRead(size, aligned.data()), 0);
  };
  const auto catalog = [&] {
    Write("c.cat", "//CSV\nI\t4\tK\nI\t4\tK2\n");
    Write("SrcData.dat", "1,2\n3,4\n");
  };
  const auto duplicates = [&] {
    list_ids[0] = RQ7DuplicateRealTable("d1", spare_);
    list_ids[1] = RQ7DuplicateRealTable("d2", spare_);
    ASSERT_GT(list_ids[0], 0);
    ASSERT_GT(list_ids[1], 0);
  };
  // A one-row category table for the category calls.
  const auto add_category_table = [&] {
    out_table = q7host::AddTable("cats", 1);
    ASSERT_GT(q7host::AddStringColumn(out_table, "op", {"GEQ"}), 0);
    ASSERT_GT(q7host::AddIntColumn(out_table, "p1", {0}), 0);
    ASSERT_GT(q7host::AddIntColumn(out_table, "p2", {0}), 0);
    ASSERT_GT(q7host::AddStringColumn(out_table, "value", {"all"}), 0);
  };

  const FlagCase cases[] = {
      // Tables and the database.
      {"RQ7AddRealTable", kTablesFlag, [] { return RQ7AddRealTable("x", 3); }},
      {"Q7AddRealTable", kTablesFlag, [] { return Q7AddRealTable("x", 3); }},
      {"RQ7AddJoinTable", kTablesFlag, [&] { return RQ7AddJoinTable("j2", 0, m_, 1, keys, s_, 1, keys); }},
      {"Q7AddJoinTable", kTablesFlag, [&] { return Q7AddJoinTable("j2", 1, m_, 1, keys, s_, 1, keys); }},
      {"RQ7ConvertJoinToReal", kTablesFlag, [&] { return RQ7ConvertJoinToReal("r", j_, 1, 1, 1, ids, 0); }},
      {"Q7ConvertJoinToReal", kTablesFlag, [&] { return Q7ConvertJoinToReal("r", j_, 1, 1, 1, ids, 0); }},
      {"RQ7RealizeJoinChain", kTablesFlag,
       [&] { return RQ7RealizeJoinChain("t", chain_, table_ids_, sets_); }, [&] { Chain(); }},
      {"Q7RealizeJoinChain", kTablesFlag, [&] { return Q7RealizeJoinChain("t", chain_, table_ids_, sets_); },
       [&] { Chain(); }},
      {"RQ7RealizeJoinChainEx", kTablesFlag,
       [&] { return RQ7RealizeJoinChainEx("t", chain_, 1, chain_columns, table_ids_, sets_); },
       [&] { Chain(); }},
      {"Q7RealizeJoinChainEx", kTablesFlag,
       [&] { return Q7RealizeJoinChainEx("t", chain_, 1, chain_columns, table_ids_, sets_); },
       [&] { Chain(); }},
      {"RQ7QualifyTree", kTablesFlag, [&] { return RQ7QualifyTree(tree, 1, s_, source_filters, 1); },
       [&] { Chain(&tree); }},
      {"Q7QualifyTree", kTablesFlag, [&] { return Q7QualifyTree(tree, 1, s_, source_filters, 1); },
       [&] { Chain(&tree); }},
      {"Q7DelTreeNodes", kTablesFlag,
       [&] { return Q7DelTreeNodes(tree, 1, 1, 1, -1, -1, drop, &out_set, &out_filter); },
       [&] { Chain(&tree); }},
      {"RQ7DuplicateRealTable", kTablesFlag, [&] { return RQ7DuplicateRealTable("d", m_); }},
      {"Q7DuplicateRealTable", kTablesFlag, [&] { return Q7DuplicateRealTable("d", m_); }},
      {"RQ7ExtractRealTable", kTablesFlag, [&] { return RQ7ExtractRealTable("e", m_, 1, ids); }},
      {"Q7ExtractRealTable", kTablesFlag, [&] { return Q7ExtractRealTable("e", m_, 1, ids); }},
      {"RQ7ExtractRealTableEx", kTablesFlag, [&] { return RQ7ExtractRealTableEx("e", m_, 1, 1, 1, ids); }},
      {"Q7ExtractRealTableEx", kTablesFlag, [&] { return Q7ExtractRealTableEx("e", m_, 1, 1, 1, ids); }},
      {"RQ7CombineRealTable", kTablesFlag, [&] { return RQ7CombineRealTable("c", m_, 1, ids, m_, 1, ids); }},
      {"Q7CombineRealTable", kTablesFlag, [&] { return Q7CombineRealTable("c", m_, 1, ids, m_, 1, ids); }},
      {"RQ7CombineRealTableEx", kTablesFlag,
       [&] { return RQ7CombineRealTableEx("c", 1, 1, m_, 1, ids, m_, 1, ids, 0); }},
      {"Q7CombineRealTableEx", kTablesFlag,
       [&] { return Q7CombineRealTableEx("c", 1, 1, m_, 1, ids, m_, 1, ids, 0); }},
      {"RQ7CombineRealTableEx2", kTablesFlag,
       [&] { return RQ7CombineRealTableEx2("c", 1, 1, list_ids[0], 1, ids, list_ids[1], 1, ids); },
       duplicates},
      {"RQ7CombineTableList", kTablesFlag,
       [&] {
         const int tables[] = {m_, spare_, 0};
         return RQ7CombineTableList("l", tables, list_sets, nullptr, nullptr, nullptr, nullptr);
       }},
      {"Q7CombineTableList", kTablesFlag,
       [&] {
         const int tables[] = {m_, spare_, 0};
         return Q7CombineTableList("l", tables, list_sets, nullptr, nullptr, nullptr, nullptr);
       }},
      {"RQ7CondenseRealTable", kTablesFlag, [&] { return RQ7CondenseRealTable(spare_); }},
      {"Q7CondenseRealTable", kTablesFlag, [&] { return Q7CondenseRealTable(spare_); }},
      {"RQ7DeleteTable", kTablesFlag, [&] { return RQ7DeleteTable(spare_); }},
      {"Q7DeleteTable", kTablesFlag, [&] { return Q7DeleteTable(spare_); }},
      {"RQ7SetTableName", kTablesFlag, [&] { return RQ7SetTableName(spare_, "renamed"); }},
      {"Q7SetTableName", kTablesFlag, [&] { return Q7SetTableName(spare_, "renamed"); }},
      {"RQ7ExtractUniqueReal", kSetsFlag, [&] { return RQ7ExtractUniqueReal(0, m_, 1, ids, 1); }},
      {"Q7ExtractUniqueReal", kSetsFlag, [&] { return Q7ExtractUniqueReal(0, m_, 1, ids, 1); }},
      {"RQ7SummaryIntoRealTable", kTablesFlag, [] { return RQ7SummaryIntoRealTable(0, 0); },
       [&] { OpenSummary(); }},
      {"RQ7SummaryIntoRealTable2", kTablesFlag, [] { return RQ7SummaryIntoRealTable2(0, 9, 1); },
       [&] { OpenSummary(); }},
      {"Q7SummaryIntoRealTable", kTablesFlag, [] { return Q7SummaryIntoRealTable(0, 31, 0); },
       [&] { OpenSummary(); }},
      {"RQ7AppendSummaryToRealTable", kTablesFlag,
       [&] { return RQ7AppendSummaryToRealTable(0, out_table, 8, 0); }, [&] { OpenSummary(&out_table); }},
      // A summary of a small set adds a copy of its rows as a table, which its close deletes.
      {"RQ7SummaryOpen, small set", kTablesFlag,
       [&] { return RQ7SummaryOpen(0, big_, small_set_, 1, big_dims_, 0); }, [&] { SmallSet(); }},
      {"Q7SummaryOpen, small set", kTablesFlag,
       [&] {
         _TDimensionDef def{};
         def.column_id = 1;
         return Q7SummaryOpen(0, big_, small_set_, 1, &def, 0);
       },
       [&] { SmallSet(); }},
      {"RQ7SummaryClose, small set", kTablesFlag, [] { return RQ7SummaryClose(0); }, [&] { SmallSet(true); }},
      {"Q7SummaryClose, small set", kTablesFlag, [] { return Q7SummaryClose(0); }, [&] { SmallSet(true); }},
      {"RQ7NonCubeSum", kTablesFlag,
       [&] { return RQ7NonCubeSum(m_, 1, 1, keys, 1, measures, masks, nullptr); }},
      {"RQ7LoadRealTable", kTablesFlag, [&] { return RQ7LoadRealTable(dir.c_str(), "spare"); },
       [&] { ASSERT_EQ(RQ7SaveRealTableAs(dir.c_str(), "spare", spare_), 0); }},
      {"Q7LoadRealTable", kTablesFlag, [&] { return Q7LoadRealTable(dir.c_str(), "spare"); },
       [&] { ASSERT_EQ(RQ7SaveRealTableAs(dir.c_str(), "spare", spare_), 0); }},
      {"RQ7HSLoadRealTable", kTablesFlag, [&] { return RQ7HSLoadRealTable(dir.c_str(), "spare"); },
       [&] { ASSERT_EQ(RQ7SaveRealTableAs(dir.c_str(), "spare", spare_), 0); }},
      {"RQ7LoadRealTable2", kTablesFlag,
       [&] { return RQ7LoadRealTable2(multi.c_str(), 0, 1, &out_table, &file_end); },
       [&] {
         Write("multi.bin", "");
         ASSERT_EQ(RQ7SaveRealTable2(multi.c_str(), 0, &spare_, &file_end), 0);
       }},
      {"RQ7LoadMemRealTable", kTablesFlag, [&] { return RQ7LoadMemRealTable(image.data(), image_size); },
       [&] {
         ASSERT_EQ(RQ7SaveRealTable2Mem(spare_, image.data(), image.size(), &end), 0);
         image_size = static_cast<unsigned long>(static_cast<char*>(end) - image.data());
       }},
      {"RQ7LoadRealTableFromMem", kTablesFlag, [&] { return RQ7LoadRealTableFromMem(aligned.data(), &end); },
       [&] { ASSERT_EQ(RQ7SaveRealTable2Mem(spare_, aligned.data(), aligned.size() * 8, &end), 0); }},
      {"RQ7LoadRealTableMem", kTablesFlag, [] { return RQ7LoadRealTableMem(); }, stream_spare,
       [] { RQ7MemStreamClose(); }},
      {"Q7LoadRealTableMem", kTablesFlag, [] { return Q7LoadRealTableMem(); }, stream_spare,
       [] { RQ7MemStreamClose(); }},
      {"RQ7LoadDBFromMem", kTablesFlag, [&] { return RQ7LoadDBFromMem(aligned.data(), &end); },
       [&] { ASSERT_EQ(RQ7SaveDB2Mem(aligned.data(), aligned.size() * 8, &end), 0); }},
      {"RQ7LoadDBFromSharedMemory, replacing", kTablesFlag, [] { return RQ7LoadDBFromSharedMemory(); },
       [&] { ShareImage(true); }, DropImage},
      {"RQ7LoadDBFromSharedMemory, adding", kTablesFlag, [] { return RQ7LoadDBFromSharedMemory(); },
       [&] { ShareImage(false); }, DropImage},
      {"RQ7UnLoadSharedMemoryDB", kTablesFlag, [] { return RQ7UnLoadSharedMemoryDB(); },
       [&] {
         ShareImage(true);
         ASSERT_EQ(RQ7LoadDBFromSharedMemory(), 0);
       },
       DropImage},
      {"RQ7ShmAttach", kTablesFlag, [] { return RQ7ShmAttach("shared", 0); }, [&] { Register(); },
       DropRegistry},
      {"RQ7DetachAll", kTablesFlag, [] { return RQ7DetachAll(); },
       [&] {
         Register();
         ASSERT_GT(RQ7ShmAttach("shared", 0), 0);
       },
       DropRegistry},
      {"RQ7SetDBCharCode", kTablesFlag, [] { return RQ7SetDBCharCode("MS932"); }},
      {"RQ7SetDBCharCode, empty database", kTablesFlag, [] { return RQ7SetDBCharCode("MS932"); },
       [] { ASSERT_EQ(RQ7ClearDB(), 0); }},
      {"RQ7SetKanjiCode", kTablesFlag, [] { return RQ7SetKanjiCode(0); }},
      {"Q7SetKanjiCode", kTablesFlag, [] { return Q7SetKanjiCode(5); }},
      {"RQ7AddCatalogFile", kTablesFlag, [&] { return RQ7AddCatalogFile(dir.c_str(), "c.cat"); },
       [&] {
         Write("c.cat", "//CSV\nI\t4\tK\n");
         Write("SrcData.dat", "1\n2\n");
       }},
      {"RQ7AddCatalogFileEx2", kTablesFlag,
       [&] { return RQ7AddCatalogFileEx2(dir.c_str(), "c.cat", dir.c_str(), "SrcData.dat", "imported"); },
       catalog},
      {"RQ7AddCatalogFileChecker", kTablesFlag,
       [&] { return RQ7AddCatalogFileChecker(dir.c_str(), "c.cat", dir.c_str(), "SrcData.dat", "checked"); },
       catalog},
      {"RQ7AppendCatalogFile, parallel", kTablesFlag,
       [&] { return RQ7AppendCatalogFile(spare_, -1, -1, dir.c_str(), "c.cat"); }, catalog},
      {"RQ7AppendCatalogFile, single thread", kTablesFlag,
       [&] { return RQ7AppendCatalogFile(spare_, -1, 2, dir.c_str(), "c.cat"); }, catalog},
      {"RQ7AppendCatalogFileEx2", kTablesFlag,
       [&] {
         return RQ7AppendCatalogFileEx2(spare_, -1, -1, dir.c_str(), "c.cat", dir.c_str(), "SrcData.dat");
       },
       catalog},
      // Filters and values.
      {"RQ7MoveSlaveFlt2Master", kTablesFlag, [&] { return RQ7MoveSlaveFlt2Master(j_, 2); }},
      {"Q7MoveSlaveFlt2Master", kTablesFlag, [&] { return Q7MoveSlaveFlt2Master(j_, 2); }},
      {"RQ7DeleteRealFilter", kTablesFlag, [&] { return RQ7DeleteRealFilter(spare_, 1); }},
      {"Q7DeleteRealFilter", kTablesFlag, [&] { return Q7DeleteRealFilter(spare_, 1); }},
      {"RQ7MoveRealFilter", kTablesFlag, [&] { return RQ7MoveRealFilter(spare_, 1, 2); }},
      {"Q7MoveRealFilter", kTablesFlag, [&] { return Q7MoveRealFilter(spare_, 1, 2); }},
      {"RQ7DupRealFilter", kTablesFlag, [&] { return RQ7DupRealFilter(spare_, 1); }},
      {"Q7DupRealFilter", kTablesFlag, [&] { return Q7DupRealFilter(spare_, 1); }},
      {"RQ7DupRealFilterEx", kTablesFlag, [&] { return RQ7DupRealFilterEx(spare_, 1, Q7_TYPE_DOUBLE); }},
      {"Q7DupRealFilterEx", kTablesFlag, [&] { return Q7DupRealFilterEx(spare_, 1, Q7_TYPE_DOUBLE); }},
      {"RQ7DupRealFilterExNumeric", kTablesFlag, [&] { return RQ7DupRealFilterExNumeric(spare_, 1, 2, 4); }},
      {"RQ7AddRealFilter2", kTablesFlag,
       [&] { return RQ7AddRealFilter2(spare_, 1024, "n", Q7_TYPE_INTEGER, 4, 0, "", ""); }},
      {"Q7AddRealFilter2", kTablesFlag,
       [&] { return Q7AddRealFilter2(spare_, 1024, "n", Q7_TYPE_INTEGER, 4, 4, nullptr); }},
      {"RQ7AddRealFilter2Numeric", kTablesFlag,
       [&] { return RQ7AddRealFilter2Numeric(spare_, 1024, "n", 4, 2, 4, "", ""); }},
      {"RQ7AppendRealFilter2", kTablesFlag,
       [&] { return RQ7AppendRealFilter2(spare_, 1, Q7_TYPE_INTEGER, 1, 2, dir.c_str(), "v.txt"); },
       [&] { Write("v.txt", "7\n8\n"); }},
      {"RQ7SetFilterName", kTablesFlag, [&] { return RQ7SetFilterName(spare_, 1, "vv"); }},
      {"Q7SetFilterName", kTablesFlag, [&] { return Q7SetFilterName(spare_, 1, "vv"); }},
      {"RQ7SetFilterAttr", kTablesFlag, [&] { return RQ7SetFilterAttr(m_, 2, block); }},
      {"Q7GetFilterAttr for writing", kTablesFlag, [&] { return Q7GetFilterAttr(m_, 2, &block_out, true); }},
      {"RQ7SetSumFilterAttr", kTablesFlag,
       [&] { return RQ7SetSumFilterAttr(m_, 2, reinterpret_cast<const char*>(block)); }},
      {"RQ7SetNumericInfo", kTablesFlag,
       [&] { return RQ7SetNumericInfo(spare_, added_filter, &info, false); },
       [&] { added_filter = RQ7AddRealFilter2Numeric(spare_, 1024, "d", 4, 2, 4, "", ""); }},
      {"RQ7HighSpeedSearchEnable", kTablesFlag, [&] { return RQ7HighSpeedSearchEnable(m_, 1, true); }},
      {"RQ7AddCategoryReal", kTablesFlag, [&] { return RQ7AddCategoryReal(spare_, 1, out_table); },
       add_category_table},
      {"Q7AddCategoryReal", kTablesFlag, [&] { return Q7AddCategoryReal(spare_, 1, out_table); },
       add_category_table},
      {"RQ7CalcReal", kTablesFlag, [&] { return RQ7CalcReal(spare_, 1, 1, 1, 2, "@k*2", message); }},
      {"RQ7CalcReal, function call", kTablesFlag,
       [&] { return RQ7CalcReal(spare_, 1, 1, 1, 2, "*(@k,2)", message); }},
      {"Q7CalcReal", kTablesFlag, [&] { return Q7CalcReal(spare_, 1, 1, 1, 2, "@k*2", &message_out); }},
      {"RQ7DeleteRealRows", kTablesFlag, [&] { return RQ7DeleteRealRows(spare_, 1, 1); }},
      {"Q7DeleteRealRows", kTablesFlag, [&] { return Q7DeleteRealRows(spare_, 1, 1); }},
      {"RQ7DeleteRealRowsEx", kTablesFlag, [&] { return RQ7DeleteRealRowsEx(spare_, 1, 1, 1); }},
      {"Q7DeleteRealRowsEx", kTablesFlag, [&] { return Q7DeleteRealRowsEx(spare_, 1, 1, 1); }},
      {"RQ7InsertRealRows", kTablesFlag, [&] { return RQ7InsertRealRows(spare_, 1, 1); }},
      {"Q7InsertRealRows", kTablesFlag, [&] { return Q7InsertRealRows(spare_, 1, 1); }},
      {"RQ7FillRealEx", kTablesFlag, [&] { return RQ7FillRealEx(spare_, 1, 1, 1, 2, &seven); }},
      {"RQ7OverwriteRealEx", kTablesFlag, [&] { return RQ7OverwriteRealEx(spare_, 1, 1, 1, 2, two); }},
      {"Q7OverwriteRealEx", kTablesFlag, [&] { return Q7OverwriteRealEx(spare_, 1, 1, 1, 2, two); }},
      {"RQ7OverwriteRealExStr", kTablesFlag, [&] { return RQ7OverwriteRealExStr(spare_, 1, 1, 1, 2, two); }},
      {"RQ7OverwriteRealExIntR1", kTablesFlag, [&] { return RQ7OverwriteRealExIntR1(spare_, 1, 1, 1, 5); }},
      {"RQ7OverwriteRealExDblR1", kTablesFlag,
       [&] { return RQ7OverwriteRealExDblR1(values_, 1, 1, 1, 5.5); }},
      {"RQ7OverwriteRealExStrR1", kTablesFlag,
       [&] { return RQ7OverwriteRealExStrR1(values_, 1, 2, 1, "z"); }},
      {"RQ7OverwriteRealExNumericR1", kTablesFlag,
       [&] { return RQ7OverwriteRealExNumericR1(values_, 1, 3, 1, &decimal); }},
      {"RQ7FillRealExIntR1", kTablesFlag, [&] { return RQ7FillRealExIntR1(spare_, 1, 1, 1, 2, 5); }},
      {"RQ7FillRealExDblR1", kTablesFlag, [&] { return RQ7FillRealExDblR1(values_, 1, 1, 1, 2, 5.5); }},
      {"RQ7FillRealExStrR1", kTablesFlag, [&] { return RQ7FillRealExStrR1(values_, 1, 2, 1, 2, "z"); }},
      {"RQ7FillRealExNumericR1", kTablesFlag,
       [&] { return RQ7FillRealExNumericR1(values_, 1, 3, 1, 2, &decimal); }},
      // Sets.
      {"RQ7SearchByField", kSetsFlag,
       [&] { return RQ7SearchByField(m_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&two_key), nullptr); }},
      {"RQ7SearchByField, join", kSetsFlag,
       [&] { return RQ7SearchByField(j_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&three_key), nullptr); }},
      {"Q7SearchByField", kSetsFlag,
       [&] { return Q7SearchByField(m_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&two_key), nullptr); }},
      {"RQ7SearchByFieldStr", kSetsFlag,
       [&] { return RQ7SearchByFieldStr(m_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&two_key), nullptr); }},
      {"RQ7SearchByFieldSJIS", kSetsFlag,
       [&] { return RQ7SearchByFieldSJIS(m_, 3, 1, Q7_SEARCH_AT_LEAST, "b", nullptr); },
       [] { ASSERT_EQ(RQ7SetDBCharCode("Shift_JIS"), 0); }},
      {"RQ7SearchByFieldLocale", kSetsFlag,
       [&] { return RQ7SearchByFieldLocale(m_, 3, 1, Q7_SEARCH_AT_LEAST, "b", nullptr, 99); }},
      {"RQ7SearchByField2", kSetsFlag,
       [&] { return RQ7SearchByField2(m_, 3, 1, Q7_SEARCH_AT_LEAST, "", ""); }},
      {"Q7SearchByField2", kSetsFlag, [&] { return Q7SearchByField2(m_, 3, 1, Q7_SEARCH_AT_LEAST, "", ""); }},
      {"RQ7SearchByFieldWildCard", kSetsFlag, [&] { return RQ7SearchByFieldWildCard(m_, 3, 1, "*"); }},
      {"Q7SearchByFieldWildCard", kSetsFlag, [&] { return Q7SearchByFieldWildCard(m_, 3, 1, "*"); }},
      {"RQ7SearchByFieldNValues", kSetsFlag, [&] { return RQ7SearchByFieldNValues(m_, 1, 1, 2, rows); }},
      {"RQ7SearchByFieldNValuesFromCSV", kSetsFlag,
       [&] { return RQ7SearchByFieldNValuesFromCSV(m_, 1, 1, dir.c_str(), "v.csv"); },
       [&] { Write("v.csv", "1,3\n"); }},
      {"RQ7SearchByFieldStrR1", kSetsFlag,
       [&] { return RQ7SearchByFieldStrR1(m_, 3, 1, Q7_SEARCH_AT_LEAST, "b", nullptr); }},
      {"RQ7SearchByFieldNumericR1", kSetsFlag,
       [&] { return RQ7SearchByFieldNumericR1(m_, 4, 1, Q7_SEARCH_AT_LEAST, &decimal, &decimal); }},
      {"RQ7SearchByFieldIntR1", kSetsFlag,
       [&] { return RQ7SearchByFieldIntR1(m_, 1, 1, Q7_SEARCH_AT_LEAST, 2, 0); }},
      {"RQ7SearchByFieldDblR1", kSetsFlag,
       [&] { return RQ7SearchByFieldDblR1(values_, 1, 1, Q7_SEARCH_AT_LEAST, 1.0, 0.0); }},
      {"RQ7SearchByFieldSJISR1", kSetsFlag,
       [&] { return RQ7SearchByFieldSJISR1(m_, 3, 1, Q7_SEARCH_AT_LEAST, "b", nullptr); },
       [] { ASSERT_EQ(RQ7SetDBCharCode("Shift_JIS"), 0); }},
      {"RQ7SearchByFieldLocaleR1", kSetsFlag,
       [&] { return RQ7SearchByFieldLocaleR1(m_, 3, 1, Q7_SEARCH_AT_LEAST, "b", nullptr, 99); }},
      {"RQ7SearchByDispRowNoReal", kSetsFlag,
       [&] { return RQ7SearchByDispRowNoReal(m_, 1, Q7_SEARCH_AT_LEAST, 2, 0); }},
      {"Q7SearchByDispRowNoReal", kSetsFlag,
       [&] { return Q7SearchByDispRowNoReal(m_, 1, Q7_SEARCH_AT_LEAST, 2, 0); }},
      {"RQ7SearchByRowNo", kSetsFlag, [&] { return RQ7SearchByRowNo(m_, 0, 1, Q7_SEARCH_AT_LEAST, 2, 0); }},
      {"Q7SearchByRowNo", kSetsFlag, [&] { return Q7SearchByRowNo(m_, 0, 1, Q7_SEARCH_AT_LEAST, 2, 0); }},
      {"RQ7SearchByText", kSetsFlag, [&] { return RQ7SearchByText(m_, 1, "v >= 20"); }},
      {"RQ7SearchByTextSJIS", kSetsFlag, [&] { return RQ7SearchByTextSJIS(m_, 1, "v >= 20"); },
       [] { ASSERT_EQ(RQ7SetDBCharCode("Shift_JIS"), 0); }},
      {"RQ7SearchByTextLocale", kSetsFlag, [&] { return RQ7SearchByTextLocale(m_, 1, "v >= 20", 99); }},
      {"Q7Search", kSetsFlag, [&] { return Q7Search(m_, 1, 1, value_flags); }},
      {"Q7SearchCallBack", kSetsFlag, [&] { return Q7SearchCallBack(0, m_, 1, ids, select_all); }},
      {"RQ7SortByField", kSetsFlag, [&] { return RQ7SortByField(m_, 1, 1, Q7_SORT_DESCENDING); }},
      {"Q7SortByField", kSetsFlag, [&] { return Q7SortByField(m_, 1, 1, Q7_SORT_DESCENDING); }},
      {"RQ7SortByRowNo", kSetsFlag, [&] { return RQ7SortByRowNo(m_, 0, 1, Q7_SORT_DESCENDING); }},
      {"Q7SortByRowNo", kSetsFlag, [&] { return Q7SortByRowNo(m_, 0, 1, Q7_SORT_DESCENDING); }},
      {"RQ7IntegratedSortByField", kSetsFlag, [&] { return RQ7IntegratedSortByField(m_, 1, ids, dirs); }},
      {"RQ7HighSpeedSearchSetMark", kSetsFlag, [&] { return RQ7HighSpeedSearchSetMark(m_, 1, 1, true); }},
      {"RQ7ExtractJoinInOut", kSetsFlag, [&] { return RQ7ExtractJoinInOut(m_, 1, 1, s_, 1, 1, 1); }},
      {"Q7ExtractJoinInOut", kSetsFlag, [&] { return Q7ExtractJoinInOut(m_, 1, 1, s_, 1, 1, 1); }},
      {"RQ7AddSetReal", kSetsFlag, [&] { return RQ7AddSetReal(m_, 2, rows); }},
      {"Q7AddSetReal", kSetsFlag, [&] { return Q7AddSetReal(m_, 2, rows); }},
      {"RQ7DeleteSet", kSetsFlag, [&] { return RQ7DeleteSet(m_, added_set); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"Q7DeleteSet", kSetsFlag, [&] { return Q7DeleteSet(m_, added_set); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"RQ7PurgeSubsets", kSetsFlag, [&] { return RQ7PurgeSubsets(m_); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"Q7PurgeSubsets", kSetsFlag, [&] { return Q7PurgeSubsets(m_); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"RQ7ResetSetID", kSetsFlag, [&] { return RQ7ResetSetID(m_, 100); }},
      {"RQ7SetNotReal", kSetsFlag, [&] { return RQ7SetNotReal(m_, 1); }},
      {"Q7SetNotReal", kSetsFlag, [&] { return Q7SetNotReal(m_, 1); }},
      {"RQ7SetOpeReal", kSetsFlag, [&] { return RQ7SetOpeReal(m_, Q7_SET_AND, 1, 1); }},
      {"Q7SetOpeReal", kSetsFlag, [&] { return Q7SetOpeReal(m_, Q7_SET_AND, 1, 1); }},
      {"RQ7SetSetName", kSetsFlag, [&] { return RQ7SetSetName(m_, 1, "all"); }},
      {"Q7SetSetName", kSetsFlag, [&] { return Q7SetSetName(m_, 1, "all"); }},
      {"RQ7SetSubsetAttr", kSetsFlag, [&] { return RQ7SetSubsetAttr(m_, 1, block); }},
      {"Q7GetSubsetAttr for writing", kSetsFlag, [&] { return Q7GetSubsetAttr(m_, 1, &block_out, true); }},
      {"RQ7PutJoinSetToParent", kSetsFlag,
       [&] { return RQ7PutJoinSetToParent(j_, 0, 0, &out_table, &out_set); }},
      {"Q7PutJoinSetToParent", kSetsFlag,
       [&] { return Q7PutJoinSetToParent(j_, 0, 0, &out_table, &out_set); }},
      {"RQ7ReturnSet2SlaveTable", kSetsFlag, [&] { return RQ7ReturnSet2SlaveTable(j_, &out_table); },
       [&] { ASSERT_GT(RQ7SearchByField(j_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&three_key), nullptr), 0); }},
      {"Q7ReturnSet2SlaveTable", kSetsFlag, [&] { return Q7ReturnSet2SlaveTable(j_, &out_table); },
       [&] { ASSERT_GT(RQ7SearchByField(j_, 1, 1, Q7_SEARCH_AT_LEAST, Bytes(&three_key), nullptr), 0); }},
      {"RQ7ChangeCurrentSetID", kAllFlags, [&] { return RQ7ChangeCurrentSetID(m_, added_set); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
      {"Q7ChangeCurrentSetID", kAllFlags, [&] { return Q7ChangeCurrentSetID(m_, added_set); },
       [&] { added_set = RQ7AddSetReal(m_, 2, rows); }},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(c.what);
    Build();
    c.prepare();
    ASSERT_EQ(RQ7SetSavedFlag(1), 1);
    const int result = c.call();
    EXPECT_GE(result, 0);
    if (result < 0) {
      for (const auto& e : DrainRing()) ADD_FAILURE() << e;
    } else {
      EXPECT_EQ(RQ7GetSavedFlag(c.flag), 0);
      EXPECT_EQ(RQ7GetSavedFlag(kAllFlags), 0);
    }
    c.finish();
    DrainRing();
  }
}

// A host that saves only when the flags say so: the save made while a summary of a small set is open
// writes the summary's copy into the file; closing the summary deletes the copy, and the next save
// must write the database without it.
TEST_F(SavedFlagsTest, SummaryCloseAfterASaveAsksForTheNextSave) {
  Build();
  SmallSet(true);
  const int tables = RQ7GetNTable();
  ASSERT_EQ(RQ7SaveDBAs(dir_.path().c_str(), "db"), 0);
  ASSERT_EQ(RQ7GetSavedFlag(kAllFlags), 1);
  ASSERT_EQ(RQ7SummaryClose(0), 0);
  EXPECT_EQ(RQ7GetNTable(), tables - 1);
  EXPECT_EQ(RQ7GetSavedFlag(kTablesFlag), 0);
  if (RQ7GetSavedFlag(kAllFlags) == 0) {
    ASSERT_EQ(RQ7SaveDB(), 0);
  }
  ASSERT_EQ(RQ7LoadDB(dir_.path().c_str(), "db"), 0);
  EXPECT_EQ(RQ7GetNTable(), tables - 1);
}

// A summary that sums the table itself adds and deletes no table: opening and closing it leave the
// flags (its open drops value-list entries no row uses, which no saved file holds anyway).
TEST_F(SavedFlagsTest, SummaryWithoutACopyLeavesTheFlags) {
  Build();
  SmallSet();
  ASSERT_EQ(RQ7SetSavedFlag(1), 1);
  const int tables = RQ7GetNTable();
  ASSERT_EQ(RQ7SummaryOpen(0, big_, 1, 1, big_dims_, 0), 0);
  int computed = 0;
  ASSERT_EQ(RQ7SummaryExec(0, 1, &computed), 0);
  EXPECT_EQ(RQ7GetNTable(), tables);
  ASSERT_EQ(RQ7SummaryClose(0), 0);
  EXPECT_EQ(RQ7GetSavedFlag(kAllFlags), 1);
}

// Emptying the whole database, by a clear or by restarting the engine, leaves the flags as they were,
// set or cleared, also when a table attached from the shared-table registry goes with it.
TEST_F(SavedFlagsTest, ClearingTheDatabaseKeepsTheFlags) {
  struct Case {
    const char* what;
    std::function<int()> call;
  };
  const Case cases[] = {
      {"RQ7ClearDB", [] { return RQ7ClearDB(); }},
      {"Q7ClearDB", [] { return Q7ClearDB(); }},
      {"RQ7ReInitializeMS", [] { return RQ7ReInitializeMS(); }},
  };
  for (const Case& c : cases) {
    for (const bool attached : {false, true}) {
      for (const int flag : {1, 0}) {
        SCOPED_TRACE(std::string(c.what) + (attached ? ", attached table" : "") + ", flags " +
                     std::to_string(flag));
        Build();
        if (attached) {
          Register();
          ASSERT_GT(RQ7ShmAttach("shared", 0), 0);
        }
        ASSERT_EQ(RQ7SetSavedFlag(flag), 1);
        EXPECT_EQ(c.call(), 0);
        EXPECT_EQ(RQ7GetNTable(), 0);
        EXPECT_EQ(RQ7GetSavedFlag(kTablesFlag), flag);
        EXPECT_EQ(RQ7GetSavedFlag(kSetsFlag), flag);
        EXPECT_EQ(RQ7GetSavedFlag(kAllFlags), flag);
        if (attached) DropRegistry();
        DrainRing();
      }
    }
  }
}

// Reading leaves every flag as it was.
TEST_F(SavedFlagsTest, ReadsLeaveTheFlags) {
  Build();
  ASSERT_EQ(RQ7SetSavedFlag(1), 1);
  char name[256];
  EXPECT_EQ(RQ7GetFilterName(j_, 3, name), 0);
  int count = 0;
  _TRFilterInfo infos[8];
  char attributes[8][64];
  EXPECT_EQ(RQ7GetAllFilterInfo(m_, 8, &count, infos, attributes), 0);
  EXPECT_EQ(RQ7GetTotalRows(j_), 2);
  // Attribute blocks handed out for reading, and the character code the database has already.
  void* block = nullptr;
  EXPECT_EQ(Q7GetFilterAttr(m_, 2, &block, false), 0);
  EXPECT_EQ(Q7GetSubsetAttr(m_, 1, &block, false), 0);
  EXPECT_EQ(RQ7SetDBCharCode("UTF8"), 0);
  EXPECT_EQ(RQ7GetSavedFlag(kAllFlags), 1);
}

}  // namespace
