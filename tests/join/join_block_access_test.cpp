// The block reader against the nested-loop reference: every block of inner and outer, master- and
// slave-driven join sets, its rows, records and the value behind every column entry; a real
// table's one-row blocks; the largest block the reader takes; and the refused constructions.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "join/TJoinBlockAccess.h"
#include "tests/join/join_read_support.h"

namespace {

using jbtest::Pair;
using jrtest::JoinReadTest;
using kmtest::KeyType;
using kmtest::kNull;

constexpr int N = kNull;

// One block as the reader hands it out.
struct Block {
  int result, number, first, last, driving, count;
  int* partners;
  int n_columns;
  _TColumnBuf* columns;
};

Block Read(TJoinBlockAccess& reader) {
  Block b{};
  b.result = reader.ReadBlock(&b.number, &b.first, &b.last, &b.driving, &b.count, &b.partners, &b.n_columns,
                              &b.columns);
  return b;
}

// The bytes behind an entry, as the column's type stores them.
std::string Bytes(int type, const void* entry) {
  const char* p = static_cast<const char*>(entry);
  if (type == Q7_TYPE_STRING) return p;
  return std::string(p, type == Q7_TYPE_INTEGER ? 4 : 8);
}

std::vector<int> AllColumns(int n) {
  std::vector<int> ids;
  for (int c = 1; c <= n; ++c) ids.push_back(c);
  ids.push_back(0);
  return ids;
}

TEST_F(JoinReadTest, BlocksCoverTheReferenceJoinAndPointAtEachRecordsValues) {
  const std::vector<KeyType> master_types = {KeyType::kInt, KeyType::kString, KeyType::kDecimal};
  const std::vector<KeyType> slave_types = {KeyType::kDouble, KeyType::kDate, KeyType::kString};
  std::mt19937 gen(424242);
  for (int outer : {0, 1}) {
    // Few key values: groups of several partners, and (outer) records without partner.
    const int id = Build(gen, 60, 45, 12, outer, master_types, slave_types);
    TJoinTable* join = Join(id);
    const int slave_driven = join->SortByRecNo(1, 1, 1);
    ASSERT_GT(slave_driven, 1);
    std::vector<int> master_rows, slave_rows;
    for (int r = 1; r <= keys_[0].n; ++r) master_rows.push_back(r);
    for (int r = 1; r <= keys_[1].n; ++r) slave_rows.push_back(r);
    const struct {
      int set, side;
      jbtest::Reference ref;
    } sets[] = {
        {1, 0, jbtest::NestedLoopJoin(outer != 0, keys_[0], master_rows, keys_[1], slave_rows)},
        {slave_driven, 1, jrtest::SortedJoin(join, keys_, 1, 1, 1, [](int r) { return r; })},
    };
    const std::vector<int> ids = AllColumns(static_cast<int>(columns_.size()));
    for (const auto& s : sets) {
      SCOPED_TRACE(testing::Message() << (outer ? "outer" : "inner") << ", set " << s.set);
      TJoinBlockAccess reader(id, s.set, ids.data(), db_.get());
      ASSERT_EQ(reader.ColumnCount(), static_cast<int>(columns_.size()));
      std::vector<Pair> got;
      int expected_first = 1;
      int largest = 1;
      for (int b = 1;; ++b) {
        const Block blk = Read(reader);
        ASSERT_EQ(blk.number, b);
        ASSERT_EQ(blk.first, expected_first);
        // A block's partners are exactly its joined rows, in an outer join too.
        ASSERT_EQ(blk.count, blk.last - blk.first + 1);
        largest = std::max(largest, blk.count);
        for (int k = 0; k < blk.count; ++k) {
          got.push_back(s.side == 0 ? Pair{blk.driving, blk.partners[k]}
                                    : Pair{blk.partners[k], blk.driving});
        }
        for (int c = 0; c < blk.n_columns; ++c) {
          const _TColumnBuf& col = blk.columns[c];
          const jrtest::Column& want = Col(c + 1);
          ASSERT_EQ(col.columnID, c + 1);
          ASSERT_EQ(col.direct, want.side == s.side ? 1 : 0);
          ASSERT_EQ(col.count, col.direct ? 1 : blk.count);
          for (int k = 0; k < col.count; ++k) {
            const int record = col.direct ? blk.driving : blk.partners[k];
            const jrtest::Value v = jrtest::Expected(want.type, want.v[record], kScale);
            ASSERT_EQ(col.dataType, v.type);
            if (v.type == Q7_TYPE_DECIMAL) {
              EXPECT_EQ(col.data[k], nullptr);
            } else {
              ASSERT_EQ(Bytes(v.type, col.data[k]), v.bytes) << "column " << c + 1 << " entry " << k;
            }
          }
        }
        expected_first = blk.last + 1;
        if (blk.result == 0) break;
        ASSERT_EQ(blk.result, 1);
      }
      EXPECT_EQ(got, s.ref.pairs);
      EXPECT_EQ(expected_first - 1, join->GetSetSize(s.set));
      EXPECT_EQ(reader.Capacity(), largest);
      const int past = reader.Status();
      while (!TakeRing().empty()) {
      }
      EXPECT_EQ(Read(reader).result, -1);
      EXPECT_EQ(reader.Status(), past + 1);
      EXPECT_EQ(TakeRing(), "ReadBlock|Invalid Parameter : BlockNo");
    }
  }
}

TEST_F(JoinReadTest, AnOuterRecordWithoutPartnerIsABlockOfOneNullPartner) {
  // Three masters share a key no slave has; the slave's key no master has.
  const int master = AddTable("M", 3);
  const int slave = AddTable("S", 1);
  const int mk = AddKey(master, "key", KeyType::kInt, {N, 7, 7, 7});
  const int sk = AddKey(slave, "key", KeyType::kInt, {N, 1});
  const int id = AddJoin(false, 1, master, -1, {mk, 0}, slave, -1, {sk, 0});
  ASSERT_GT(id, 0);
  const int ids[] = {1, 2, 0};
  TJoinBlockAccess reader(id, 1, ids, db_.get());
  EXPECT_EQ(reader.Capacity(), 1);
  const struct { int driving, partner, first; } want[] = {{0, 1, 1}, {1, 0, 2}, {2, 0, 3}, {3, 0, 4}};
  for (const auto& w : want) {
    SCOPED_TRACE(w.first);
    const Block b = Read(reader);
    EXPECT_EQ(b.result, w.first < 4 ? 1 : 0);
    EXPECT_EQ(b.driving, w.driving);
    ASSERT_EQ(b.count, 1);
    EXPECT_EQ(b.partners[0], w.partner);
    EXPECT_EQ(b.first, w.first);
    EXPECT_EQ(b.last, w.first);
    // Record 0 reads the column's NULL.
    int32_t master_key = 0;
    int32_t slave_key = 0;
    memcpy(&master_key, b.columns[0].data[0], 4);
    memcpy(&slave_key, b.columns[1].data[0], 4);
    EXPECT_EQ(master_key, w.driving == 0 ? INT32_MIN : 7 * 3 - 7);
    EXPECT_EQ(slave_key, w.partner == 0 ? INT32_MIN : 1 * 3 - 7);
  }
}

TEST_F(JoinReadTest, ARealSetGivesOneBlockPerRowInSetOrder) {
  const int table = AddTable("R", 8);
  std::vector<int> values = {N, 10, 11, 12, 13, 14, 15, 16, 17};
  const int col = AddKey(table, "v", KeyType::kInt, values);
  const int set = AddSet(table, {5, 2, 7});  // also made current
  const int ids[] = {col, 0};
  for (int asked : {set, -1}) {
    SCOPED_TRACE(asked);
    TJoinBlockAccess reader(table, asked, ids, db_.get());
    EXPECT_EQ(reader.FSetID, set);
    const int rows[] = {5, 2, 7};
    for (int b = 1; b <= 3; ++b) {
      const Block blk = Read(reader);
      EXPECT_EQ(blk.result, b < 3 ? 1 : 0);
      EXPECT_EQ(blk.number, b);
      EXPECT_EQ(blk.first, b);
      EXPECT_EQ(blk.last, b);
      EXPECT_EQ(blk.driving, rows[b - 1]);
      ASSERT_EQ(blk.count, 1);
      EXPECT_EQ(blk.partners[0], rows[b - 1]);
      ASSERT_EQ(blk.n_columns, 1);
      EXPECT_EQ(blk.columns[0].direct, 1);
      EXPECT_EQ(blk.columns[0].count, 1);
      int32_t v = 0;
      memcpy(&v, blk.columns[0].data[0], 4);
      EXPECT_EQ(v, (values[rows[b - 1]]) * 3 - 7);
      if (b == 2) {
        EXPECT_EQ(reader.Status(), 3);
      }
    }
    EXPECT_EQ(Read(reader).result, -1);
    EXPECT_EQ(Read(reader).result, -1);
    EXPECT_EQ(reader.Status(), 6);
  }
}

TEST_F(JoinReadTest, ABlockOfAMillionPartnersIsTheLargestServed) {
  constexpr int kRows = TJoinBlockAccess::kMaxBlock + 1;
  const int master = AddTable("M", 1);
  const int slave = AddTable("S", kRows);
  const int mk = AddKey(master, "key", KeyType::kInt, {N, 1});
  const int sk = AddKey(slave, "key", KeyType::kInt, std::vector<int>(kRows + 1, 1));
  std::vector<int> million(static_cast<size_t>(kRows - 1));
  for (int r = 0; r < kRows - 1; ++r) million[r] = r + 1;
  const int million_set = AddSet(slave, million);
  const int ids[] = {1, 2, 0};

  const int all = AddJoin(false, 0, master, -1, {mk, 0}, slave, 1, {sk, 0});
  ASSERT_GT(all, 0);
  try {
    TJoinBlockAccess reader(all, 1, ids, db_.get());
    ADD_FAILURE() << "a block of " << kRows << " partners was accepted";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_JOIN_BLOCK_TOO_LARGE);
  }

  const int capped = AddJoin(false, 0, master, -1, {mk, 0}, slave, million_set, {sk, 0}, "J2");
  ASSERT_GT(capped, 0);
  TJoinBlockAccess reader(capped, 1, ids, db_.get());
  EXPECT_EQ(reader.Capacity(), kRows - 1);
  const Block b = Read(reader);
  EXPECT_EQ(b.result, 0);
  EXPECT_EQ(b.count, kRows - 1);
  EXPECT_EQ(b.columns[1].count, kRows - 1);
  EXPECT_EQ(b.partners[kRows - 2], kRows - 1);
}

TEST_F(JoinReadTest, RefusedConstructionsThrowTheirCodes) {
  const int table = AddTable("R", 3);
  const int col = AddKey(table, "v", KeyType::kInt, {N, 1, 2, 3});
  const int empty = AddSet(table, {});
  const int master = AddTable("M", 2);
  const int slave = AddTable("S", 2);
  const int mk = AddKey(master, "key", KeyType::kInt, {N, 1, 2});
  const int sk = AddKey(slave, "key", KeyType::kInt, {N, 2, 3});
  const int join = AddJoin(false, 0, master, -1, {mk, 0}, slave, -1, {sk, 0});
  ASSERT_GT(join, 0);
  const struct {
    const char* what;
    int table, set;
    std::vector<int> ids;
    int code;
  } cases[] = {
      {"no table", 99, 1, {col, 0}, Q7_ERROR_NO_SUCH_TABLE},
      {"set -2", table, -2, {col, 0}, Q7_ERROR_ILLEGAL_SET_ID},
      {"an empty set", table, empty, {col, 0}, Q7_ERROR_EMPTY_JOIN_BLOCK},
      {"no such set", table, 77, {col, 0}, Q7_ERROR_EMPTY_JOIN_BLOCK},
      {"an unknown filter", table, 1, {col, 9, 0}, Q7_ERROR_NO_SUCH_FILTER},
      {"an unknown join column", join, 1, {1, 3, 0}, Q7_ERROR_NO_SUCH_FILTER},
      {"a missing join set", join, 5, {1, 0}, Q7_ERROR_EMPTY_JOIN_BLOCK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      TJoinBlockAccess reader(c.table, c.set, c.ids.data(), db_.get());
      ADD_FAILURE() << "constructed";
    } catch (const CQ7Exception& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
  }
}

}  // namespace
