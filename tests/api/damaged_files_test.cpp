// Damaged files and images that used to load into tables nothing could use: a value list's attribute
// block with an extend type, decimal scale or rounding mode no writer produces, and a join record
// whose stored pairing disagrees with its key columns. Each is loaded by every road that reads it:
// database and table files, database and table images.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::TempDir;
using Bytes = std::string;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

enum class Road { kDatabaseFile, kTableFile, kDatabaseImage, kTableImage };
const Road kRoads[] = {Road::kDatabaseFile, Road::kTableFile, Road::kDatabaseImage, Road::kTableImage};

const char* RoadName(Road road) {
  switch (road) {
    case Road::kDatabaseFile:
      return "RQ7LoadDB";
    case Road::kTableFile:
      return "RQ7LoadRealTable";
    case Road::kDatabaseImage:
      return "RQ7LoadDBFromMem";
    default:
      return "RQ7LoadMemRealTable";
  }
}

// Memory images must start at a multiple of 8.
struct AlignedBuffer {
  explicit AlignedBuffer(size_t bytes) : words((bytes + 7) / 8) {}
  void* data() { return words.data(); }
  std::vector<uint64_t> words;
};

// The bytes of the database (or of `table` alone), as the road writes them.
Bytes Save(Road road, int table, const TempDir& dir) {
  switch (road) {
    case Road::kDatabaseFile:
      EXPECT_EQ(RQ7SaveDBAs(dir.path().c_str(), "saved"), 0);
      return ReadFile(dir.File("saved.Q7D"));
    case Road::kTableFile:
      EXPECT_EQ(RQ7SaveRealTableAs(dir.path().c_str(), "saved", table), 0);
      return ReadFile(dir.File("saved.Q7T"));
    case Road::kDatabaseImage: {
      AlignedBuffer buffer(1 << 20);
      void* end = nullptr;
      EXPECT_EQ(RQ7SaveDB2Mem(buffer.data(), 1 << 20, &end), 0);
      return Bytes(static_cast<const char*>(buffer.data()), static_cast<const char*>(end));
    }
    default: {
      void* image = nullptr;
      unsigned long size = 0;
      EXPECT_EQ(RQ7GetMemRealTable(table, &image, &size), 0);
      return Bytes(static_cast<const char*>(image), size);
    }
  }
}

// Loads the bytes by the road: the load's result (a table ID, 0, or a negative code).
int Load(Road road, const Bytes& bytes, const TempDir& dir) {
  switch (road) {
    case Road::kDatabaseFile:
      WriteFile(dir.File("damaged.Q7D"), bytes);
      return RQ7LoadDB(dir.path().c_str(), "damaged");
    case Road::kTableFile:
      WriteFile(dir.File("damaged.Q7T"), bytes);
      return RQ7LoadRealTable(dir.path().c_str(), "damaged");
    case Road::kDatabaseImage: {
      AlignedBuffer buffer(bytes.size());
      memcpy(buffer.data(), bytes.data(), bytes.size());
      return RQ7LoadDBFromMem(buffer.data(), nullptr);
    }
    default: {
      AlignedBuffer buffer(bytes.size());
      memcpy(buffer.data(), bytes.data(), bytes.size());
      return RQ7LoadMemRealTable(buffer.data(), bytes.size());
    }
  }
}

// The one position where a holds byte from and b holds byte to; -1 unless there is exactly one.
long OnlyDifference(const Bytes& a, const Bytes& b, uint8_t from, uint8_t to) {
  if (a.size() != b.size()) return -1;
  long found = -1;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    if (static_cast<uint8_t>(a[i]) != from || static_cast<uint8_t>(b[i]) != to || found >= 0) return -1;
    found = static_cast<long>(i);
  }
  return found;
}

class DamagedFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  // A fresh database of one table "t" with one column that `add` makes; the table's bytes by every
  // road.
  std::vector<Bytes> Images(const std::function<int(int)>& add) {
    EXPECT_EQ(RQ7ClearDB(), 0);
    const int t = q7host::AddTable("t", 2);
    EXPECT_GT(t, 0);
    EXPECT_GT(add(t), 0);
    std::vector<Bytes> images;
    for (Road road : kRoads) images.push_back(Save(road, t, dir_));
    return images;
  }

  // Each road's bytes with the byte that tells a from b set to each value: loads exactly when the
  // value is one a writer produces.
  void ExpectOnlyWrittenValuesLoad(const std::vector<Bytes>& a, const std::vector<Bytes>& b, uint8_t from,
                                   uint8_t to, const std::vector<std::pair<uint8_t, bool>>& values) {
    for (size_t r = 0; r < std::size(kRoads); ++r) {
      SCOPED_TRACE(RoadName(kRoads[r]));
      const long at = OnlyDifference(a[r], b[r], from, to);
      ASSERT_GE(at, 0) << "no single byte tells the two apart";
      for (const auto& [value, loads] : values) {
        SCOPED_TRACE("stored byte " + std::to_string(value));
        Bytes damaged = a[r];
        damaged[static_cast<size_t>(at)] = static_cast<char>(value);
        ASSERT_EQ(RQ7ClearDB(), 0);
        const int result = Load(kRoads[r], damaged, dir_);
        if (loads) {
          EXPECT_GE(result, 0);
        } else {
          EXPECT_EQ(result, Q7_ERROR_ILLEGAL_ARRAY_DATA);
        }
        DrainRing();
      }
    }
  }

  TempDir dir_;
};

TEST_F(DamagedFiles, DoubleColumnLoadsOnlyWithAnExtendTypeItCanHave) {
  auto dates = Images([](int t) { return q7host::AddDoubleColumn(t, "x", {1, 2}, Q7_TYPE_DATE); });
  auto times = Images([](int t) { return q7host::AddDoubleColumn(t, "x", {1, 2}, Q7_TYPE_TIME); });
  ExpectOnlyWrittenValuesLoad(dates, times, Q7_TYPE_DATE, Q7_TYPE_TIME,
                              {{0, true},
                               {Q7_TYPE_DOUBLE, true},
                               {Q7_TYPE_DATETIME, true},
                               {Q7_TYPE_STRING, false},
                               {16, false},
                               {58, false},
                               {0xF0, false},
                               {0xFF, false}});
}

TEST_F(DamagedFiles, DecimalColumnLoadsOnlyWithAScaleAndModeItCanHave) {
  const std::vector<Numeric> nulls = {q7host::kDecimalNull, q7host::kDecimalNull};
  auto scale2 = Images([&](int t) { return q7host::AddDecimalColumn(t, "x", nulls, 2, Q7_ROUND_HALF_UP); });
  auto scale3 = Images([&](int t) { return q7host::AddDecimalColumn(t, "x", nulls, 3, Q7_ROUND_HALF_UP); });
  ExpectOnlyWrittenValuesLoad(scale2, scale3, 2, 3,
                              {{0, true}, {38, true}, {39, false}, {100, false}, {0xC8 /* -56 */, false}});
  auto half_down =
      Images([&](int t) { return q7host::AddDecimalColumn(t, "x", nulls, 2, Q7_ROUND_HALF_DOWN); });
  ExpectOnlyWrittenValuesLoad(scale2, half_down, Q7_ROUND_HALF_UP, Q7_ROUND_HALF_DOWN,
                              {{0, true}, {6, true}, {7, false}, {0xFF, false}});
}

// Joins over sales (k {1, 2, 2, 3, NULL, 9, 1, 4}) and region (k {1, 2, 2, 4, 7, NULL}), inner and
// outer, each with a second set sorted by a slave column. Every int 1 of the database image in turn
// becomes 0; an image that still loads must hold joins whose every set pairs its rows as the key
// columns say, so that sorts, which pair the rows again, keep every joined row.
TEST_F(DamagedFiles, JoinThatLoadsPairsItsRowsAsItsKeysSay) {
  ASSERT_EQ(RQ7ClearDB(), 0);
  const int sales = q7host::AddTable("sales", 8);
  const int region = q7host::AddTable("region", 6);
  const int m_k = q7host::AddIntColumn(sales, "k", {1, 2, 2, 3, q7host::kIntNull, 9, 1, 4});
  const int m_amount = q7host::AddIntColumn(sales, "amount", {10, 20, 30, 40, 50, 60, 70, 80});
  const int s_k = q7host::AddIntColumn(region, "k", {1, 2, 2, 4, 7, q7host::kIntNull});
  const int s_code = q7host::AddIntColumn(region, "code", {100, 200, 201, 400, 700, 999});
  for (int id : {sales, region, m_k, m_amount, s_k, s_code}) ASSERT_GT(id, 0);
  const int m_keys[] = {m_k, 0};
  const int s_keys[] = {s_k, 0};
  for (int outer : {0, 1}) {
    const int join = RQ7AddJoinTable(outer ? "outer" : "inner", outer, sales, 1, m_keys, region, 1, s_keys);
    ASSERT_GT(join, 0);
    int ids[8], tables[8], filters[8];
    const int n = RQ7GetJoinSrcTblIDs(join, ids, tables, filters);
    ASSERT_EQ(n, 4);
    ASSERT_GT(RQ7SortByField(join, ids[n - 1], 1, 1), 0);
  }
  AlignedBuffer image(1 << 20);
  void* end = nullptr;
  ASSERT_EQ(RQ7SaveDB2Mem(image.data(), 1 << 20, &end), 0);
  const size_t size = static_cast<size_t>(static_cast<char*>(end) - static_cast<char*>(image.data()));

  int loaded = 0, refused = 0;
  std::vector<size_t> broken;
  for (size_t at = 0; at + 4 <= size; at += 4) {
    int32_t v;
    memcpy(&v, static_cast<char*>(image.data()) + at, 4);
    if (v != 1) continue;
    AlignedBuffer damaged(size);
    memcpy(damaged.data(), image.data(), size);
    const int32_t zero = 0;
    memcpy(static_cast<char*>(damaged.data()) + at, &zero, 4);
    if (RQ7LoadDBFromMem(damaged.data(), nullptr) != 0) {
      ++refused;
      continue;
    }
    ++loaded;
    std::vector<int> table_ids(static_cast<size_t>(RQ7GetNTable()) + 1);
    const int n_tables = RQ7GetTableIDList(table_ids.data());
    for (int i = 0; i < n_tables; ++i) {
      const int join = table_ids[static_cast<size_t>(i)];
      int ids[8], tables[8], filters[8];
      const int n = RQ7GetJoinSrcTblIDs(join, ids, tables, filters);
      if (n < 2 || n > 8) continue;
      const int rows = RQ7GetSetSize(join, 1);
      for (int column : {ids[0], ids[n - 1]}) {
        const int sorted = RQ7SortByField(join, column, 1, 0);
        if (sorted <= 0 || RQ7GetSetSize(join, sorted) != rows) broken.push_back(at);
      }
    }
    DrainRing();
  }
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
  EXPECT_TRUE(broken.empty()) << broken.size()
                              << " damaged images load joins that sorts break, the first at byte "
                              << broken.front();
}

}  // namespace
