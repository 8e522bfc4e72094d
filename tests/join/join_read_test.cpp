// Sorting join sets and reading joined rows: every sort, on master and slave columns and record
// numbers, of inner and outer joins, against a stable sort of the sorted side joined by the
// nested-loop reference; the reads of every column at every joined row against the values the
// columns were built from; and the refusals, which never leave a set behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/join/join_read_support.h"

namespace {

using jbtest::Pair;
using jrtest::JoinReadTest;
using kmtest::KeyType;
using kmtest::kNull;

constexpr int N = kNull;

const std::vector<KeyType> kMasterTypes = {KeyType::kInt, KeyType::kString, KeyType::kDecimal};
const std::vector<KeyType> kSlaveTypes = {KeyType::kDouble, KeyType::kDate, KeyType::kInt};

// Every ring entry, oldest first, as "name|code|message".
std::vector<std::string> Drain(q7test::RingScope& ring) {
  std::vector<std::string> out;
  for (std::string e = ring.TakeCoded(); !e.empty(); e = ring.TakeCoded()) out.push_back(e);
  return out;
}

bool Contains(const std::vector<std::string>& entries, const std::string& want) {
  return std::find(entries.begin(), entries.end(), want) != entries.end();
}

// One sort: by record number of a side (col 0) or by a join column.
struct SortCase {
  const char* name;
  bool by_rec_no;
  int side_or_col;
  bool parallel;
};

TEST_F(JoinReadTest, SortsEqualAStableSortOfOneSideJoinedByTheReference) {
  std::mt19937 gen(20261210);
  for (int outer : {0, 1}) {
    // Few key values, so keys repeat on both sides; values 0..9 repeat within every column.
    const int id = Build(gen, 70, 50, 9, outer, kMasterTypes, kSlaveTypes);
    TJoinTable* join = Join(id);
    // Join columns: 1 master key, 2 int, 3 string, 4 decimal; 5 slave key, 6 double, 7 date, 8 int.
    std::vector<SortCase> cases;
    for (int side : {0, 1}) cases.push_back({"record numbers", true, side, false});
    for (int col = 1; col <= 8; ++col) {
      for (bool parallel : {false, true}) cases.push_back({"column", false, col, parallel});
    }
    // A master-driven and a slave-driven source: set 1 and its slave-driven sort.
    const int slave_driven = join->SortByRecNo(1, 1, 1);
    ASSERT_GT(slave_driven, 1);
    for (int source : {1, slave_driven}) {
      for (const SortCase& c : cases) {
        for (int dir : {0, 1}) {
          SCOPED_TRACE(testing::Message()
                       << (outer ? "outer" : "inner") << ", source " << source << ", " << c.name << " "
                       << c.side_or_col << (c.parallel ? " parallel" : "") << ", dir " << dir);
          const jbtest::SetImage before = jbtest::Image(join, source);
          const int sets = join->FnSet;
          const int side = c.by_rec_no ? c.side_or_col : Col(c.side_or_col).side;
          jbtest::Reference want;
          int got = 0;
          if (c.by_rec_no) {
            want = jrtest::SortedJoin(join, keys_, source, side, dir, [](int r) { return r; });
            got = join->SortByRecNo(side, source, dir);
          } else {
            const std::vector<int>& v = Col(c.side_or_col).v;
            want = jrtest::SortedJoin(join, keys_, source, side, dir, [&](int r) { return v[r]; });
            got = c.parallel ? join->MppSortByField(c.side_or_col, source, dir)
                             : join->SortByField(c.side_or_col, source, dir);
          }
          ASSERT_GT(got, 0);
          EXPECT_EQ(join->FnSet, sets + 1);
          EXPECT_EQ(join->GetCurrentSetID(), got);
          EXPECT_EQ(join->GetJoinDir(got), side);
          EXPECT_EQ(jbtest::Resolve(join, got), want.pairs);
          EXPECT_EQ(jrtest::ReadPairs(join, got), want.pairs);
          const jbtest::SetImage img = jbtest::Image(join, got);
          EXPECT_EQ(img.second[0], want.second[0]);
          EXPECT_EQ(img.second[1], want.second[1]);
          EXPECT_TRUE(jbtest::Image(join, source) == before) << "the source set changed";
          ASSERT_EQ(join->DelSet(got), 0);
        }
      }
    }
    ASSERT_EQ(db_->DelTable(id), 0);
    ASSERT_EQ(db_->DelTable(slave_), 0);
    ASSERT_EQ(db_->DelTable(master_), 0);
  }
}

// A one-key inner or outer join of masters and slaves with the given keys; the slaves have a
// string column as well, "k<n - r>" for slave r of n. Join columns: 1 master key, 2 slave key, 3
// the slave's string.
class SmallJoin : public JoinReadTest {
 protected:
  int Make(int outer, std::vector<int> master_keys, std::vector<int> slave_keys) {
    master_ = AddTable("M", static_cast<int>(master_keys.size()));
    slave_ = AddTable("S", static_cast<int>(slave_keys.size()));
    master_keys.insert(master_keys.begin(), N);
    slave_keys.insert(slave_keys.begin(), N);
    const int mk = AddKey(master_, "key", KeyType::kInt, master_keys);
    const int sk = AddKey(slave_, "key", KeyType::kInt, slave_keys);
    std::vector<int> values(slave_keys.size(), N);
    for (size_t r = 1; r < values.size(); ++r) values[r] = static_cast<int>((values.size() - r) % 10);
    AddKey(slave_, "value", KeyType::kString, values);
    const int id = AddJoin(false, outer, master_, -1, {mk, 0}, slave_, -1, {sk, 0});
    EXPECT_GT(id, 0);
    return id;
  }
};

TEST_F(SmallJoin, SlaveRecordsDescendingDriveTheJoinAndReadMasterFirst) {
  TJoinTable* join = Join(Make(0, {1, 2, 2, 3}, {2, 2, 4}));
  ASSERT_EQ(jbtest::Resolve(join, 1), (std::vector<Pair>{{2, 1}, {2, 2}, {3, 1}, {3, 2}}));
  const int id = join->SortByRecNo(1, 1, 1);
  ASSERT_GT(id, 1);
  EXPECT_EQ(join->GetJoinDir(id), 1);
  // Each slave record in descending order, followed by its masters in set 1's order; column 0
  // still gives the master record first.
  const std::vector<Pair> want = {{2, 2}, {3, 2}, {2, 1}, {3, 1}};
  EXPECT_EQ(jrtest::ReadPairs(join, id), want);
  // The slave strings are "k3", "k2", "k1": ascending gives s2 before s1 again.
  const int by_value = join->SortByField(3, id, 0);
  ASSERT_GT(by_value, id);
  EXPECT_EQ(jrtest::ReadPairs(join, by_value), want);
  char text[16] = {};
  int type = 0;
  EXPECT_EQ(join->ReadData(by_value, 3, 2, &type, text), 2);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_STREQ(text, "k3");  // s1
}

TEST_F(SmallJoin, AnOuterJoinReadsNullWhereASideHasNoRecord) {
  // Masters keys 1, 2; slaves keys 2, 5, NULL: (no master, s2), (m1, no slave), (m2, s1).
  TJoinTable* join = Join(Make(1, {1, 2}, {2, 5, N}));
  ASSERT_EQ(jrtest::ReadPairs(join, 1), (std::vector<Pair>{{0, 2}, {1, 0}, {2, 1}}));
  struct Read {
    int row;
    int col;
    int32_t want;  // the int key's value; the string column checked apart
  };
  const Read kReads[] = {{0, 1, INT32_MIN}, {0, 2, 5 * 3 - 7}, {1, 1, 1 * 3 - 7}, {1, 2, INT32_MIN}};
  for (const Read& r : kReads) {
    SCOPED_TRACE(testing::Message() << "row " << r.row << " col " << r.col);
    int32_t value = 0;
    int type = 0;
    EXPECT_EQ(join->ReadData(1, r.col, r.row, &type, &value), 4);
    EXPECT_EQ(type, Q7_TYPE_INTEGER);
    EXPECT_EQ(value, r.want);
    int vno = -1;
    EXPECT_EQ(join->GetVNo(1, r.col, r.row, &vno), 4);
    EXPECT_EQ(vno == 0, r.want == INT32_MIN);
  }
  char text[8] = "x";
  int type = 0;
  EXPECT_EQ(join->ReadData(1, 3, 1, &type, text), 0);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_STREQ(text, "");
  // Sorted by the slave key descending: s2 (5), then s1 (2) with m2; m1 has no slave and comes
  // first, under the pseudo row, in the slave-driven set.
  const int id = join->SortByField(2, 1, 1);
  ASSERT_GT(id, 1);
  EXPECT_EQ(jrtest::ReadPairs(join, id), (std::vector<Pair>{{1, 0}, {0, 2}, {2, 1}}));
}

TEST_F(JoinReadTest, EveryColumnReadsItsSourceValueAtEveryJoinedRow) {
  std::mt19937 gen(77);
  for (int outer : {0, 1}) {
    SCOPED_TRACE(outer ? "outer" : "inner");
    const int id = Build(gen, 40, 30, 6, outer, kMasterTypes, kSlaveTypes);
    TJoinTable* join = Join(id);
    const int sorted = join->SortByField(6, 1, 1);  // a slave-driven set too
    ASSERT_GT(sorted, 1);
    for (int set : {1, sorted}) {
      const std::vector<Pair> pairs = jbtest::Resolve(join, set);
      ASSERT_EQ(static_cast<int>(pairs.size()), join->GetSetSize(set));
      for (int row = 0; row < static_cast<int>(pairs.size()); ++row) {
        for (int col = 1; col <= static_cast<int>(columns_.size()); ++col) {
          SCOPED_TRACE(testing::Message() << "set " << set << " row " << row << " col " << col);
          const jrtest::Column& c = Col(col);
          const int record = c.side == 0 ? pairs[row].first : pairs[row].second;
          const jrtest::Value want = jrtest::Expected(c.type, c.v[record], kScale);
          char buf[64] = {};
          int type = 0;
          const int width = join->ReadData(set, col, row, &type, buf);
          EXPECT_EQ(type, want.type);
          ASSERT_EQ(width, static_cast<int>(want.bytes.size()));
          EXPECT_EQ(std::string(buf, static_cast<size_t>(width)), want.bytes);
          long address = 0;
          type = 0;
          ASSERT_EQ(join->ReadData(set, col, row, &type, &address), width);
          EXPECT_EQ(type, want.type);
          EXPECT_EQ(std::string(reinterpret_cast<const char*>(address), static_cast<size_t>(width)),
                    want.bytes);
          int vno = -1;
          ASSERT_EQ(join->GetVNo(set, col, row, &vno), 4);
          EXPECT_EQ(vno == 0, c.v[record] == kNull);
          if (record != 0) {
            EXPECT_EQ(vno, join->GetFilter(col)->PV->PIntAr()[record]);
          }
        }
      }
    }
    ASSERT_EQ(db_->DelTable(id), 0);
  }
}

}  // namespace

namespace {

struct Refusal {
  const char* name;
  int (*call)(TJoinTable* join);
  int want;
  const char* ring;  // the entry that must be among those recorded, "" for none at all
};

const Refusal kSortRefusals[] = {
    {"side 2", [](TJoinTable* j) { return j->SortByRecNo(2, 1, 0); }, Q7_ERROR_ILLEGAL_JOIN_TARGET, ""},
    {"record numbers of a missing set", [](TJoinTable* j) { return j->SortByRecNo(0, 99, 0); },
     Q7_ERROR_NO_SUCH_SET, "SortByRecNo|E0000071|No Such Set: 99 "},
    {"an unknown column", [](TJoinTable* j) { return j->SortByField(4, 1, 0); }, Q7_ERROR_NO_SUCH_FILTER,
     "SortByField|E000006A|No Such Filter: 4"},
    {"column 0", [](TJoinTable* j) { return j->MppSortByField(0, 1, 0); }, Q7_ERROR_NO_SUCH_FILTER,
     "MppSortByField|E000006A|No Such Filter: 0"},
    {"a column of a missing set", [](TJoinTable* j) { return j->SortByField(1, 99, 0); },
     Q7_ERROR_NO_SUCH_SET, "SortByField|E0000071|No Such Set: 99"},
    {"in parallel, a missing set", [](TJoinTable* j) { return j->MppSortByField(2, 99, 1); },
     Q7_ERROR_NO_SUCH_SET, "MppSortByField|E0000071|No Such Set: 99"},
    // A bad direction is found after the registration: the new set goes again.
    {"dir 2", [](TJoinTable* j) { return j->SortByField(2, 1, 2); }, Q7_ERROR_INVALID_PARAMETER,
     "Aggregate|E0000082|Invalid Parameter : Dir"},
    {"dir -1 by record", [](TJoinTable* j) { return j->SortByRecNo(1, 1, -1); }, Q7_ERROR_INVALID_PARAMETER,
     "BitMapSort|E0000082|Invalid Parameter : Dir"},
    {"dir 2 in parallel", [](TJoinTable* j) { return j->MppSortByField(3, -1, 2); },
     Q7_ERROR_INVALID_PARAMETER, "MppSortByField|E0000082|Invalid Parameter : Dir"},
};

TEST_F(SmallJoin, RefusedSortsLeaveNoSetAndKeepTheCurrentSet) {
  // An empty join besides: its sorts give empty sets, and still refuse a bad direction.
  for (bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "empty join" : "join");
    const int id = empty ? Make(0, {1, 2}, {3, 4}) : Make(0, {1, 2, 2, 3}, {2, 2, 4});
    TJoinTable* join = Join(id);
    const int current = join->SortByRecNo(0, 1, 1);
    ASSERT_GT(current, 1);
    EXPECT_EQ(join->GetSetSize(current), empty ? 0 : 4);
    Drain(ring_scope_);
    for (const Refusal& r : kSortRefusals) {
      SCOPED_TRACE(r.name);
      const int sets = join->FnSet;
      EXPECT_EQ(r.call(join), r.want);
      EXPECT_EQ(join->FnSet, sets);
      EXPECT_EQ(join->GetCurrentSetID(), current);
      const std::vector<std::string> ring = Drain(ring_scope_);
      if (*r.ring == '\0') {
        EXPECT_TRUE(ring.empty()) << ring.front();
      } else {
        EXPECT_TRUE(Contains(ring, r.ring)) << testing::PrintToString(ring);
      }
    }
  }
}

TEST_F(SmallJoin, ASortPastTheSetLimitIsRefused) {
  TJoinTable* join = Join(Make(0, {1, 2, 2, 3}, {2, 2, 4}));
  while (join->FnSet < TJoinTable::kMaxSets) join->RegNewSet(0);
  join->SetCurrentSetID(1);
  Drain(ring_scope_);
  EXPECT_EQ(join->SortByRecNo(0, 1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(Drain(ring_scope_), std::vector<std::string>{"SortByRecNo|E0000066|SetCount overflow"});
  EXPECT_EQ(join->SortByField(1, 1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(join->MppSortByField(2, 1, 0), Q7_ERROR_SET_COUNT_OVERFLOW);
  EXPECT_EQ(Drain(ring_scope_), (std::vector<std::string>{"RegNewSet|E0000066|SetCount overflow",
                                                          "RegNewSet|E0000066|SetCount overflow"}));
  EXPECT_EQ(join->FnSet, TJoinTable::kMaxSets);
  EXPECT_EQ(join->GetCurrentSetID(), 1);
}

TEST_F(SmallJoin, ReadRefusalsAreCodedAndChangeNothing) {
  TJoinTable* join = Join(Make(0, {1, 2, 2, 3}, {2, 2, 4}));  // 4 joined rows, 3 columns
  const int sets = join->FnSet;
  Drain(ring_scope_);
  char buf[64];
  int type = 0;
  long address = 0;
  int vno = 0;
  const std::string illegal_pos = std::to_string(static_cast<int>(Q7_ERROR_ILLEGAL_FILTER));
  struct Read {
    const char* name;
    int got;
    int want;
    std::vector<std::string> ring;
  };
  const Read kReads[] = {
      {"row -1",
       join->ReadData(1, 1, -1, &type, buf),
       Q7_ERROR_ILLEGAL_RECORD_NO,
       {"ReadData|E0000069|No Such Record: -1 "}},
      // Recorded with one code, returned with another.
      {"row at the size",
       join->ReadData(1, 2, 4, &type, buf, 8),
       Q7_ERROR_ILLEGAL_RECORD_NO,
       {"ReadData|E0000033|Illegal Record No"}},
      {"column 4",
       join->ReadData(1, 4, 0, &type, &address),
       Q7_ERROR_NO_SUCH_FILTER,
       {"JFilterID2Pos|E0000088|No Such Filter: 4", "ReadData|E000006A|Illegal FltPos: " + illegal_pos}},
      {"no room for the zero", join->ReadData(1, 3, 0, &type, buf, 0), Q7_ERROR_INVALID_PARAMETER, {}},
      {"value number of column 0",
       join->GetVNo(1, 0, 0, &vno),
       Q7_ERROR_ILLEGAL_FILTER,
       {"JFilterID2Pos|E0000088|No Such Filter: 0"}},
      {"value number at the size", join->GetVNo(1, 1, 4, &vno), Q7_ERROR_ILLEGAL_RECORD_NO, {}},
      {"value number at row -1", join->GetVNo(-1, 1, -1, &vno), Q7_ERROR_ILLEGAL_RECORD_NO, {}},
  };
  // The calls above ran in order; their entries are told apart by taking them all now.
  std::vector<std::string> ring = Drain(ring_scope_);
  std::vector<std::string> want_ring;
  for (const Read& r : kReads) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.got, r.want);
    want_ring.insert(want_ring.end(), r.ring.begin(), r.ring.end());
  }
  EXPECT_EQ(ring, want_ring);
  // A missing set is thrown, by every read.
  EXPECT_EQ(q7test::CodeOf([&] { join->ReadData(99, 1, 0, &type, buf); }), Q7_ERROR_NO_SUCH_SET);
  EXPECT_TRUE(Contains(Drain(ring_scope_), "ReadData|E0000071|No Such Set: 99"));
  EXPECT_EQ(q7test::CodeOf([&] { join->ReadData(99, 0, 0, &type, &address); }), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(q7test::CodeOf([&] { join->GetVNo(99, 1, 0, &vno); }), Q7_ERROR_NO_SUCH_SET);
  EXPECT_EQ(join->FnSet, sets);
  EXPECT_EQ(join->GetCurrentSetID(), 1);
}

TEST_F(JoinReadTest, ALongTextIsCutAt4095BytesOrAtTheBuffer) {
  const int master = AddTable("M", 2);
  const int slave = AddTable("S", 1);
  const int mk = AddKey(master, "key", KeyType::kInt, {N, 1, 1});
  const int sk = AddKey(slave, "key", KeyType::kInt, {N, 1});
  const std::string long_text(5000, 'x');
  std::string texts[2] = {"short", long_text};
  const char* raw[2] = {texts[0].c_str(), texts[1].c_str()};
  char name[] = "text";
  ASSERT_GT(Real(master)->AddFilter2(1024, name, Q7_TYPE_STRING, 2, 8, raw, 0, -1), 0);
  const int id = AddJoin(false, 0, master, -1, {mk, 0}, slave, -1, {sk, 0});
  ASSERT_GT(id, 0);
  TJoinTable* join = Join(id);
  std::vector<char> buf(6000, '?');
  int type = 0;
  EXPECT_EQ(join->ReadData(1, 2, 1, &type, buf.data()), 4095);
  EXPECT_EQ(type, Q7_TYPE_STRING);
  EXPECT_EQ(std::string(buf.data()), long_text.substr(0, 4095));
  std::fill(buf.begin(), buf.end(), '?');
  EXPECT_EQ(join->ReadData(1, 2, 1, &type, buf.data(), 10), 9);
  EXPECT_EQ(std::string(buf.data()), long_text.substr(0, 9));
  EXPECT_EQ(join->ReadData(1, 2, 0, &type, buf.data(), 10), 5);
  EXPECT_EQ(std::string(buf.data()), "short");
  long address = 0;
  EXPECT_EQ(join->ReadData(1, 2, 1, &type, &address), 5000);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(address)), long_text);
}

}  // namespace
