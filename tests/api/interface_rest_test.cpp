// Entry points that the family test files leave out, through the header alone: the Q7 mirrors
// against their RQ7 forms on the same arguments (same result and outputs, and no ring entry of the
// mirror's own), the join descriptions of the R1 forms, and the remaining full-frame calls.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::ReadSet;
using q7host::RingEntry;
using Rows = std::vector<int>;
using Ring = std::vector<RingEntry>;

constexpr int kNoTable = 99;
constexpr int kNoSet = 77;
constexpr int kNoFilter = 55;

std::string Ints(const int* values, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += (i > 0 ? "," : "") + std::to_string(values[i]);
  return text;
}

// The ring without the entries a full frame writes under its own name.
Ring WithoutEntriesOf(const Ring& ring, const std::string& api) {
  Ring kept;
  for (const RingEntry& e : ring) {
    if (e.api != api) kept.push_back(e);
  }
  return kept;
}

class InterfaceRest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    people_ = q7host::AddTable("people", 4);
    ASSERT_GT(people_, 0);
    id_ = q7host::AddIntColumn(people_, "id", {1, 2, 3, 4});
    name_ = q7host::AddStringColumn(people_, "name", {"ann", "bo", "carla", ""});
    born_ = q7host::AddDoubleColumn(people_, "born", {q7host::DateSerial(1990, 1, 2), 0, 0, 0}, Q7_TYPE_DATE);
    orders_ = q7host::AddTable("orders", 3);
    ASSERT_GT(orders_, 0);
    person_ = q7host::AddIntColumn(orders_, "person", {2, 2, 4});
    for (int f : {id_, name_, born_, person_}) ASSERT_GT(f, 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  // A join of people (master) and orders (slave) on id = person.
  int AddJoin() {
    const int master_keys[] = {id_, 0};
    const int slave_keys[] = {person_, 0};
    return RQ7AddJoinTable("po", 0, people_, 1, master_keys, orders_, 1, slave_keys);
  }

  int people_ = 0;
  int id_ = 0;
  int name_ = 0;
  int born_ = 0;
  int orders_ = 0;
  int person_ = 0;
};

// Each mirror runs the operation of its RQ7 form: the same result and outputs from the same state.
// Where the full frame records a failure under its own name, the mirror records nothing of its own;
// the operation's own entries are the same for both.
TEST_F(InterfaceRest, MirrorsAgreeWithTheirFullForms) {
  using Call = std::function<std::string()>;
  struct MirrorCase {
    const char* what;
    const char* full_name;
    std::string want;  // the outcome both calls must give
    Call full;
    Call plain;
  };
  auto code = [](int result) { return std::to_string(result); };
  auto id_list = [](int (*list)(int*)) {
    int ids[16] = {};
    const int n = list(ids);
    return std::to_string(n) + ":" + Ints(ids, n < 0 ? 0 : n);
  };
  auto path = [](int (*get)(char*, char*)) {
    char dir[512] = "x";
    char name[512] = "x";
    const int result = get(dir, name);
    return std::to_string(result) + " '" + dir + "' '" + name + "'";
  };
  auto stream = [](int (*close)(), int (*status)(int*, long*, long*, void**)) {
    close();
    int mode = -1;
    long size = -1;
    long position = -1;
    void* buffer = &mode;
    const int result = status(&mode, &size, &position, &buffer);
    return std::to_string(result) + " mode " + std::to_string(mode) + " size " + std::to_string(size) +
           " at " + std::to_string(position);
  };
  using StatusFn = int (*)(int, int*, int*, int*, _TDimensionDef*, int*, int*);
  auto status = [](StatusFn fn, int handle) {
    int table = -5;
    int set = -5;
    int count = -5;
    int measure = -5;
    int computed = -5;
    _TDimensionDef dims[Q7_SUMMARY_MAX_DIMS] = {};
    const int result = fn(handle, &table, &set, &count, dims, &measure, &computed);
    return std::to_string(result) + " table " + std::to_string(table);
  };
  const std::string two_tables = "2:" + std::to_string(people_) + "," + std::to_string(orders_);
  const int no_filters[] = {0};
  const int tree_filters[] = {1, 0};

  const MirrorCase cases[] = {
      {"table count", "RQ7GetNTable", "2", [] { return std::to_string(RQ7GetNTable()); },
       [] { return std::to_string(Q7GetNTable()); }},
      {"table IDs", "RQ7GetTableIDList", two_tables, [&] { return id_list(RQ7GetTableIDList); },
       [&] { return id_list(Q7GetTableIDList); }},
      {"path after a clear", "RQ7GetPathName", "0 '' ''", [&] { return path(RQ7GetPathName); },
       [&] { return path(Q7GetPathName); }},
      {"memory stream after a close", "RQ7MemStreamGetStatus", "0 mode 0 size 0 at 0",
       [&] { return stream(RQ7MemStreamClose, RQ7MemStreamGetStatus); },
       [&] { return stream(Q7MemStreamClose, Q7MemStreamGetStatus); }},
      {"summary handles", "RQ7GetN_Summary", "8", [] { return std::to_string(RQ7GetN_Summary()); },
       [] { return std::to_string(Q7GetN_Summary()); }},
      {"status of a free handle", "RQ7SummaryStatus", "0 table -5",
       [&] { return status(RQ7SummaryStatus, 3); }, [&] { return status(Q7SummaryStatus, 3); }},
      {"status of a handle out of range", "RQ7SummaryStatus", code(Q7_ERROR_INVALID_SUM_HANDLE) + " table -5",
       [&] { return status(RQ7SummaryStatus, Q7_SUMMARY_HANDLES); },
       [&] { return status(Q7SummaryStatus, Q7_SUMMARY_HANDLES); }},
      {"close of a free handle", "RQ7SummaryClose", "0", [&] { return code(RQ7SummaryClose(3)); },
       [&] { return code(Q7SummaryClose(3)); }},
      {"close of a handle out of range", "RQ7SummaryClose", code(Q7_ERROR_INVALID_SUM_HANDLE),
       [&] { return code(RQ7SummaryClose(-1)); }, [&] { return code(Q7SummaryClose(-1)); }},
      {"complement of a missing set", "RQ7SetNotReal", code(Q7_ERROR_NO_SUCH_SET),
       [&] { return code(RQ7SetNotReal(people_, kNoSet)); },
       [&] { return code(Q7SetNotReal(people_, kNoSet)); }},
      {"complement in a missing table", "RQ7SetNotReal", code(Q7_ERROR_NO_SUCH_TABLE),
       [&] { return code(RQ7SetNotReal(kNoTable, 1)); }, [&] { return code(Q7SetNotReal(kNoTable, 1)); }},
      {"extract from a missing table", "RQ7ExtractRealTable", code(Q7_ERROR_NO_SUCH_TABLE),
       [&] { return code(RQ7ExtractRealTable("x", kNoTable, 1, no_filters)); },
       [&] { return code(Q7ExtractRealTable("x", kNoTable, 1, no_filters)); }},
      {"extract of a missing set", "RQ7ExtractRealTable", code(Q7_ERROR_NO_SUCH_SET),
       [&] { return code(RQ7ExtractRealTable("x", people_, kNoSet, no_filters)); },
       [&] { return code(Q7ExtractRealTable("x", people_, kNoSet, no_filters)); }},
      {"qualify a missing tree table", "RQ7QualifyTree", code(Q7_ERROR_NO_SUCH_TABLE),
       [&] { return code(RQ7QualifyTree(kNoTable, 1, people_, tree_filters, 0)); },
       [&] { return code(Q7QualifyTree(kNoTable, 1, people_, tree_filters, 0)); }},
      {"filter width of a missing filter", "RQ7GetFilterWidth", code(Q7_ERROR_NO_SUCH_FILTER),
       [&] { return code(RQ7GetFilterWidth(people_, kNoFilter)); },
       [&] { return code(Q7GetFilterWidth(people_, kNoFilter)); }},
  };
  for (const MirrorCase& c : cases) {
    SCOPED_TRACE(c.what);
    DrainRing();
    const std::string full = c.full();
    const Ring full_ring = DrainRing();
    const std::string plain = c.plain();
    const Ring plain_ring = DrainRing();
    EXPECT_EQ(full, c.want);
    EXPECT_EQ(plain, c.want);
    EXPECT_EQ(plain_ring, WithoutEntriesOf(full_ring, c.full_name));
    for (const RingEntry& e : plain_ring) EXPECT_NE(e.api, c.full_name);
  }
  // Nothing was created by the refused calls.
  EXPECT_EQ(RQ7GetNTable(), 2);
  EXPECT_EQ(RQ7GetNSet(people_), 1);
}

TEST_F(InterfaceRest, PathNamesAfterASave) {
  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(RQ7SaveDBAs(dir.path().c_str(), "shop"), 0);
  char full_dir[512] = {};
  char full_name[512] = {};
  char plain_dir[512] = {};
  char plain_name[512] = {};
  EXPECT_EQ(RQ7GetPathName(full_dir, full_name), 0);
  EXPECT_EQ(Q7GetPathName(plain_dir, plain_name), 0);
  EXPECT_NE(std::string(full_dir).find(dir.path()), std::string::npos) << full_dir;
  EXPECT_NE(std::string(full_name).find("shop"), std::string::npos) << full_name;
  EXPECT_STREQ(plain_dir, full_dir);
  EXPECT_STREQ(plain_name, full_name);
}

TEST_F(InterfaceRest, PlainMirrorsThatCreate) {
  // A complement set, from either form.
  const int rows[] = {1, 3};
  const int half = RQ7AddSetReal(people_, 2, rows);
  ASSERT_GT(half, 0);
  const int full_not = RQ7SetNotReal(people_, half);
  const int plain_not = Q7SetNotReal(people_, half);
  ASSERT_GT(full_not, 0);
  ASSERT_GT(plain_not, 0);
  EXPECT_NE(plain_not, full_not);
  EXPECT_EQ(ReadSet(people_, full_not), (Rows{2, 4}));
  EXPECT_EQ(ReadSet(people_, plain_not), (Rows{2, 4}));

  // An extract of that set with one filter.
  const int filters[] = {name_, 0};
  const int copy = Q7ExtractRealTable("copy", people_, plain_not, filters);
  ASSERT_GT(copy, 0);
  EXPECT_EQ(RQ7GetTotalRows(copy), 2);
  EXPECT_EQ(RQ7GetNFilter(copy), 1);
  EXPECT_EQ(q7host::CellText(copy, 1, 1), "bo");
  EXPECT_EQ(q7host::CellText(copy, 1, 2), "");

  // A table file read back through the mirror: a new table with the same cells.
  q7host::TempDir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(RQ7SaveRealTable(dir.path().c_str(), people_), 0);
  const int loaded = Q7LoadRealTable(dir.path().c_str(), "people");
  ASSERT_GT(loaded, 0);
  EXPECT_NE(loaded, people_);
  EXPECT_EQ(RQ7GetTotalRows(loaded), 4);
  for (int row = 1; row <= 4; ++row) {
    EXPECT_EQ(q7host::CellText(loaded, id_, row), q7host::CellText(people_, id_, row));
    EXPECT_EQ(q7host::CellText(loaded, name_, row), q7host::CellText(people_, name_, row));
  }
  EXPECT_EQ(DrainRing(), Ring{});

  // A file that is not there: both forms refuse alike and create nothing.
  const int tables = RQ7GetNTable();
  const int full_missing = RQ7LoadRealTable(dir.path().c_str(), "nobody");
  const int plain_missing = Q7LoadRealTable(dir.path().c_str(), "nobody");
  EXPECT_LT(full_missing, 0);
  EXPECT_EQ(plain_missing, full_missing);
  EXPECT_EQ(RQ7GetNTable(), tables);
}

TEST_F(InterfaceRest, FilterWidthByType) {
  EXPECT_EQ(RQ7GetFilterWidth(people_, id_), 4);
  EXPECT_EQ(RQ7GetFilterWidth(people_, name_), 5);  // "carla"
  EXPECT_EQ(DrainRing(), Ring{});
  EXPECT_EQ(RQ7GetFilterWidth(people_, born_), Q7_ERROR_ILLEGAL_FILTER_TYPE);
  const Ring ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back().code, Q7_ERROR_ILLEGAL_FILTER_TYPE);
  EXPECT_EQ(RQ7GetFilterWidth(kNoTable, 1), Q7_ERROR_NO_SUCH_TABLE);
}

TEST_F(InterfaceRest, CombineExWithAndWithoutConsumingTheSources) {
  const int ids[] = {id_, 0};
  const int keep = RQ7CombineRealTableEx("both", 1, 1, people_, 1, ids, people_, 1, ids, 0);
  ASSERT_GT(keep, 0);
  EXPECT_EQ(RQ7GetTotalRows(keep), 8);
  int filter_ids[8] = {};
  ASSERT_EQ(RQ7GetFilterIDList(keep, filter_ids), 3);  // TableID, RECNO, id
  EXPECT_EQ(q7host::CellText(keep, filter_ids[0], 5), std::to_string(people_));
  EXPECT_EQ(q7host::CellText(keep, filter_ids[1], 5), "1");
  EXPECT_EQ(q7host::CellText(keep, filter_ids[2], 8), "4");
  EXPECT_EQ(RQ7GetTotalRows(people_), 4);  // the sources stay

  // Refused: the failure is in the ring and nothing is created.
  DrainRing();
  const int tables = RQ7GetNTable();
  EXPECT_EQ(RQ7CombineRealTableEx("bad", 0, 0, people_, kNoSet, ids, orders_, 1, nullptr, 0),
            Q7_ERROR_NO_SUCH_SET);
  const Ring ring = DrainRing();
  ASSERT_FALSE(ring.empty());
  EXPECT_EQ(ring.back().code, Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(RQ7GetNTable(), tables);

  // The nine-argument form is the same call with the sources consumed.
  const int copy_a = RQ7DuplicateRealTable("a", orders_);
  const int copy_b = RQ7DuplicateRealTable("b", orders_);
  ASSERT_GT(copy_a, 0);
  ASSERT_GT(copy_b, 0);
  const int used_up = RQ7CombineRealTableEx2("ab", 0, 0, copy_a, 1, nullptr, copy_b, 1, nullptr);
  ASSERT_GT(used_up, 0);
  EXPECT_EQ(RQ7GetTotalRows(used_up), 6);
  EXPECT_EQ(RQ7GetTotalRows(copy_a), Q7_ERROR_NO_SUCH_TABLE);
  EXPECT_EQ(RQ7GetTotalRows(copy_b), Q7_ERROR_NO_SUCH_TABLE);
}

TEST_F(InterfaceRest, JoinDescriptionsByValue) {
  const int join = AddJoin();
  ASSERT_GT(join, 0);
  DrainRing();

  int want[6] = {};
  char name[256] = {};
  ASSERT_EQ(RQ7GetJoinInfo(join, name, &want[0], &want[1], &want[2], &want[3], &want[4], &want[5]), 0);
  EXPECT_EQ(want[0], people_);
  EXPECT_EQ(want[2], id_);
  EXPECT_EQ(want[3], orders_);
  EXPECT_EQ(want[5], person_);
  int got[6] = {-1, -1, -1, -1, -1, -1};
  EXPECT_EQ(RQ7GetJoinInfoR1(join, &got[0], &got[1], &got[2], &got[3], &got[4], &got[5]), 0);
  EXPECT_EQ(Ints(got, 6), Ints(want, 6));

  int outer = -1;
  int key_count = -1;
  int master_table = -1;
  int master_set = -1;
  int master_keys[32] = {};
  int slave_table = -1;
  int slave_set = -1;
  int slave_keys[32] = {};
  EXPECT_EQ(RQ7GetJoinInfoExR1(join, &outer, &key_count, &master_table, &master_set, master_keys,
                               &slave_table, &slave_set, slave_keys),
            0);
  EXPECT_EQ(outer, 0);
  EXPECT_EQ(key_count, 1);
  EXPECT_EQ(master_table, people_);
  EXPECT_EQ(master_keys[0], id_);
  EXPECT_EQ(slave_table, orders_);
  EXPECT_EQ(slave_keys[0], person_);
  EXPECT_EQ(DrainRing(), Ring{});
}

// The R1 forms return the operation's code and add no entry of their own: what the ring holds is
// what the plain mirror of the same operation leaves.
TEST_F(InterfaceRest, JoinDescriptionsByValueRefuseWithoutAnEntryOfTheirOwn) {
  struct Case {
    const char* what;
    int table;
    int code;
  };
  const Case cases[] = {
      {"real table", people_, Q7_ERROR_NOT_JOIN_TABLE},
      {"missing table", kNoTable, Q7_ERROR_NO_SUCH_TABLE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int v[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int keys_a[32] = {};
    int keys_b[32] = {};
    char name[256] = "untouched";
    char* engine_name = nullptr;

    DrainRing();
    EXPECT_EQ(RQ7GetJoinInfoR1(c.table, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), c.code);
    const Ring r1 = DrainRing();
    EXPECT_EQ(Q7GetJoinInfo(c.table, name, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), c.code);
    EXPECT_EQ(DrainRing(), r1);
    for (const RingEntry& e : r1) EXPECT_NE(e.api, "RQ7GetJoinInfoR1");

    EXPECT_EQ(RQ7GetJoinInfoExR1(c.table, &v[0], &v[1], &v[2], &v[3], keys_a, &v[4], &v[5], keys_b), c.code);
    const Ring ex_r1 = DrainRing();
    EXPECT_EQ(
        Q7GetJoinInfoEx(c.table, &engine_name, &v[0], &v[1], &v[2], &v[3], keys_a, &v[4], &v[5], keys_b),
        c.code);
    EXPECT_EQ(DrainRing(), ex_r1);
    for (const RingEntry& e : ex_r1) EXPECT_NE(e.api, "RQ7GetJoinInfoExR1");
    EXPECT_STREQ(name, "untouched");
    for (int x : v) EXPECT_EQ(x, -1);
  }
  // The lock is free again.
  EXPECT_EQ(RQ7GetNTable(), 2);
}

// An output the host did not pass is never written: the value-returning forms refuse the call or
// skip that output, and the engine goes on serving calls.
TEST_F(InterfaceRest, R1OutputsNotPassedAreNeverWritten) {
  // The decimal filter comes before the join, which makes its tables read-only.
  const int decimal = q7host::AddDecimalColumn(
      people_, "amount",
      {q7host::Decimal(125), q7host::Decimal(-5), q7host::kDecimalNull, q7host::Decimal(0)}, 2);
  ASSERT_GT(decimal, 0);
  const int join = AddJoin();
  ASSERT_GT(join, 0);
  int count = -1;
  struct Case {
    const char* what;
    std::function<int()> call;
    int code;
  };
  const Case cases[] = {
      {"version numbers", [] { return RQ7GetVersionR1(nullptr); }, 0},
      {"server address", [] { return RQ7GetServerIPAddress(nullptr); }, 0},
      {"join description",
       [&] { return RQ7GetJoinInfoR1(join, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"join description with all keys",
       [&] {
         return RQ7GetJoinInfoExR1(join, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr);
       },
       Q7_ERROR_INVALID_PARAMETER},
      {"decimal value", [&] { return RQ7GetDataNumericR1(people_, decimal, 1, 0, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"decimal value, 1-based", [&] { return RQ7GetData1NumericR1(people_, decimal, 1, 1, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"int block without count", [&] { return RQ7GetData1MIntR1(people_, id_, 1, 1, nullptr, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"int block without values", [&] { return RQ7GetData1MIntR1(people_, id_, 1, 1, &count, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"decimal block", [&] { return RQ7GetData1MNumericR1(people_, decimal, 1, 1, &count, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
      {"text block", [&] { return RQ7GetData1MStrR1(people_, name_, 1, 1, &count, nullptr, nullptr); },
       Q7_ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
  }
  // The text forms with no text to work on give the one empty text.
  const char* empty = RQ7GetTableNameR1(kNoTable);
  EXPECT_EQ(RQ7GenerateTableNameR1(nullptr), empty);
  EXPECT_EQ(RQ7GenTableNameR1(nullptr), empty);
  EXPECT_EQ(RQ7NumericNum2StrR1(nullptr, nullptr, 0, 0), empty);
  EXPECT_EQ(RQ7GetTotalRows(people_), 4);
}

}  // namespace
