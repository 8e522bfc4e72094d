// Memory images as a host sees them: a table or the whole database in host memory, the engine-held
// table image, tables through the memory stream, the address refusals and the ring entries.
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
using q7host::RingEntry;

// What a host reads back from a table: its counts, its sets and every value of set 1 as text (the
// name is left out: a loaded table takes a name of its own).
struct TableSnapshot {
  int filters = 0;
  int rows = 0;
  int current_set = 0;
  std::vector<std::vector<int>> set_rows;
  std::vector<std::string> values;

  bool operator==(const TableSnapshot&) const = default;
};

TableSnapshot Snapshot(int table) {
  TableSnapshot s;
  _TTableInfo info;
  EXPECT_EQ(RQ7GetTableProperty(table, &info), 0);
  s.filters = info.nFilter;
  s.rows = info.totalRecs;
  s.current_set = RQ7GetCurrentSetID(table);
  std::vector<int> set_ids(static_cast<size_t>(info.nSet) + 1);
  EXPECT_EQ(RQ7GetSetList(table, info.nSet, set_ids.data()), info.nSet);
  for (int k = 0; k < info.nSet; ++k) s.set_rows.push_back(q7host::ReadSet(table, set_ids[k]));
  int filter_ids[512];
  const int n = RQ7GetFilterIDList(table, filter_ids);
  alignas(16) unsigned char raw[4096];
  for (int f = 0; f < n; ++f) {
    for (int row = 1; row <= s.rows; ++row) {
      int type = 0;
      const int size = RQ7GetData1(table, filter_ids[f], 1, row, &type, raw);
      EXPECT_GE(size, 0);
      s.values.push_back(std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(raw), size));
    }
  }
  return s;
}

// A table of every value type with NULLs, and two sets besides set 1.
int BuildSales(const std::string& name) {
  const int t = q7host::AddTable(name, 5);
  EXPECT_GT(t, 0);
  EXPECT_GT(q7host::AddIntColumn(t, "qty", {5, q7host::kIntNull, 7, -2, 5}), 0);
  EXPECT_GT(q7host::AddDoubleColumn(t, "price", {1.5, 2.25, q7host::kDoubleNull, -0.5, 1e300}), 0);
  EXPECT_GT(q7host::AddStringColumn(t, "city", {"Oslo", "", "Rome", "Oslo", "Lima"}), 0);
  EXPECT_GT(q7host::AddDoubleColumn(t, "day", {40000, q7host::kDoubleNull, 2, 40000, 2958465}, Q7_TYPE_DATE),
            0);
  EXPECT_GT(q7host::AddDoubleColumn(t, "at", {0.5, 0.25, q7host::kDoubleNull, 0, 0.75}, Q7_TYPE_TIME), 0);
  EXPECT_GT(q7host::AddDoubleColumn(t, "stamp", {40000.5, 1.25, 2, q7host::kDoubleNull, 3}, Q7_TYPE_DATETIME),
            0);
  EXPECT_GT(q7host::AddDecimalColumn(t, "amount",
                                     {q7host::Decimal(1234), q7host::kDecimalNull, q7host::Decimal(-5),
                                      q7host::Decimal(0), q7host::Decimal(99999)},
                                     2),
            0);
  const int picked[] = {4, 2, 5};
  const int set = RQ7AddSetReal(t, 3, picked);
  EXPECT_GT(set, 1);
  EXPECT_GT(RQ7SetNotReal(t, set), set);
  return t;
}

// Host memory at a multiple of 8 (as every image buffer must be), or 4 past one.
class HostBuffer {
 public:
  explicit HostBuffer(size_t bytes) : words_(bytes / 8 + 2, 0) {}
  void* aligned() { return words_.data(); }
  void* misaligned() { return reinterpret_cast<char*>(words_.data()) + 4; }
  unsigned long size() const { return static_cast<unsigned long>((words_.size() - 1) * 8); }

 private:
  std::vector<uint64_t> words_;
};

class MemoryImages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RQ7ClearDB(), 0);
    DrainRing();
  }
  void TearDown() override {
    RQ7MemStreamClose();
    RQ7FreeMemRealTable();
    RQ7ClearDB();
    DrainRing();
  }
};

TEST_F(MemoryImages, EveryFormRoundTripsEveryValueType) {
  const int t = BuildSales("sales");
  const TableSnapshot want = Snapshot(t);

  // A table image in the host's buffer.
  const int64_t bound = RQ7GetRealTableMemSize(t);
  ASSERT_GT(bound, 0);
  HostBuffer buffer(static_cast<size_t>(bound));
  void* end = nullptr;
  ASSERT_EQ(RQ7SaveRealTable2Mem(t, buffer.aligned(), buffer.size(), &end), 0);
  void* read_end = nullptr;
  const int from_image = RQ7LoadRealTableFromMem(buffer.aligned(), &read_end);
  ASSERT_GT(from_image, t);
  // The trailer follows the record (after its padding): the reader stops before it.
  EXPECT_EQ(static_cast<char*>(end) - static_cast<char*>(read_end),
            16 + static_cast<int>(reinterpret_cast<uintptr_t>(read_end) & 7));
  EXPECT_EQ(Snapshot(from_image), want);

  // The engine-held image, loaded from a copy of the host's own.
  void* held = nullptr;
  unsigned long length = 0;
  ASSERT_EQ(RQ7GetMemRealTable(t, &held, &length), 0);
  ASSERT_NE(held, nullptr);
  HostBuffer copy(length);
  memcpy(copy.aligned(), held, length);
  ASSERT_EQ(RQ7FreeMemRealTable(), 0);
  const int from_held = RQ7LoadMemRealTable(copy.aligned(), length);
  ASSERT_GT(from_held, from_image);
  EXPECT_EQ(Snapshot(from_held), want);

  // The memory stream.
  ASSERT_EQ(RQ7MemStreamOpenWrite(), 0);
  ASSERT_EQ(RQ7SaveRealTableMem(t, 0), 0);
  long stream_size = 0;
  void* stream_bytes = nullptr;
  ASSERT_EQ(RQ7MemStreamGetWriteBuf(&stream_size, &stream_bytes), 0);
  HostBuffer stream(static_cast<size_t>(stream_size));
  memcpy(stream.aligned(), stream_bytes, static_cast<size_t>(stream_size));
  ASSERT_EQ(RQ7MemStreamOpenRead(stream_size, stream.aligned()), 0);
  const int from_stream = RQ7LoadRealTableMem();
  ASSERT_GT(from_stream, from_held);
  EXPECT_EQ(RQ7LoadRealTableMem(), 0);
  EXPECT_EQ(Snapshot(from_stream), want);
  ASSERT_EQ(RQ7MemStreamClose(), 0);

  // The whole database: its tables come back renumbered by position.
  const int tables = RQ7GetNTable();
  std::vector<TableSnapshot> all;
  for (int id : {t, from_image, from_held, from_stream}) all.push_back(Snapshot(id));
  HostBuffer db(static_cast<size_t>(4 * bound));
  ASSERT_EQ(RQ7SaveDB2Mem(db.aligned(), db.size(), &end), 0);
  ASSERT_EQ(RQ7LoadDBFromMem(db.aligned(), &read_end), 0);
  EXPECT_EQ(read_end, end);
  ASSERT_EQ(RQ7GetNTable(), tables);
  for (int id = 1; id <= tables; ++id) EXPECT_EQ(Snapshot(id), all[static_cast<size_t>(id - 1)]) << id;
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}

TEST_F(MemoryImages, MisalignedBuffersAreRefusedAndChangeNothing) {
  const int t = BuildSales("sales");
  const TableSnapshot want = Snapshot(t);
  HostBuffer buffer(1 << 16);
  ASSERT_EQ(RQ7SaveRealTable2Mem(t, buffer.aligned(), buffer.size(), nullptr), 0);
  HostBuffer shifted(1 << 16);
  memcpy(shifted.misaligned(), buffer.aligned(), buffer.size() - 8);

  void* end = nullptr;
  EXPECT_EQ(RQ7SaveRealTable2Mem(t, shifted.misaligned(), buffer.size(), &end), Q7_ERROR_ADDRESS_ALIGNMENT);
  EXPECT_EQ(RQ7SaveDB2Mem(shifted.misaligned(), buffer.size(), &end), Q7_ERROR_ADDRESS_ALIGNMENT);
  EXPECT_EQ(RQ7LoadRealTableFromMem(shifted.misaligned(), &end), Q7_ERROR_ADDRESS_ALIGNMENT);
  EXPECT_EQ(RQ7LoadDBFromMem(shifted.misaligned(), &end), Q7_ERROR_ADDRESS_ALIGNMENT);
  EXPECT_EQ(end, nullptr);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{
                             {"SaveRealTable2Mem", Q7_ERROR_ADDRESS_ALIGNMENT, ""},
                             {"SaveDB2Mem", Q7_ERROR_ADDRESS_ALIGNMENT, ""},
                             {"LoadRealTableFromMem", Q7_ERROR_ADDRESS_ALIGNMENT, ""},
                             {"LoadDBFromMem", Q7_ERROR_ADDRESS_ALIGNMENT, ""},
                         }));
  EXPECT_EQ(RQ7GetNTable(), 1);
  EXPECT_EQ(Snapshot(t), want);
}

TEST_F(MemoryImages, RefusalsAndTheirRingEntries) {
  const int t = BuildSales("sales");
  const int missing = t + 5;
  const std::string no_such = "No Such Table: " + std::to_string(missing);
  HostBuffer buffer(1 << 16);
  HostBuffer zeros(1 << 12);
  void* end = nullptr;
  struct Case {
    const char* what;
    std::function<int64_t()> call;
    int64_t code;
    std::vector<RingEntry> ring;
  };
  const Case cases[] = {
      {"no such table",
       [&] { return RQ7SaveRealTable2Mem(missing, buffer.aligned(), buffer.size(), &end); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, no_such}, {"SaveRealTable2Mem", Q7_ERROR_NO_SUCH_TABLE, ""}}},
      {"buffer too small",
       [&] { return RQ7SaveRealTable2Mem(t, buffer.aligned(), 300, &end); },
       Q7_ERROR_OUT_OF_MEMORY,
       {{"SaveRealTable2Mem", Q7_ERROR_OUT_OF_MEMORY, ""}}},
      {"database buffer too small",
       [&] { return RQ7SaveDB2Mem(buffer.aligned(), 100, &end); },
       Q7_ERROR_OUT_OF_MEMORY,
       {{"SaveDB2Mem", Q7_ERROR_OUT_OF_MEMORY, ""}}},
      {"size of no table",
       [&] { return RQ7GetRealTableMemSize(missing); },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, no_such}}},
      {"held image of no table",
       [&] {
         void* image = &end;
         unsigned long length = 7;
         const int rc = RQ7GetMemRealTable(missing, &image, &length);
         return image == nullptr && length == 0 ? rc : 0;
       },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"GetTable", Q7_ERROR_NO_SUCH_TABLE, no_such}}},
      {"image of another data version",
       [&] { return RQ7LoadRealTableFromMem(zeros.aligned(), &end); },
       Q7_ERROR_UNSUPPORTED_VERSION,
       {{"LoadRealTableFromMem", Q7_ERROR_UNSUPPORTED_VERSION, ""}}},
      {"held image cut short",
       [&] { return RQ7LoadMemRealTable(buffer.aligned(), 600); },
       Q7_ERROR_INVALID_READ_SIZE,
       {}},
      {"no stream to write",
       [&] { return RQ7SaveRealTableMem(t, 0); },
       Q7_ERROR_INVALID_MEMSTREAM,
       {{"SaveBaseInfoMem", Q7_ERROR_INVALID_MEMSTREAM, "Invalid memstreem"},
        {"Q7SaveRealTableMem", Q7_ERROR_INVALID_MEMSTREAM, ""}}},
      {"no stream to read",
       [&] { return RQ7LoadRealTableMem(); },
       Q7_ERROR_INVALID_MEMSTREAM,
       {{"Q7LoadRealTableMem", Q7_ERROR_INVALID_MEMSTREAM, ""}}},
      {"stream table of no table",
       [&] { return RQ7MemStreamOpenWrite() == 0 ? RQ7SaveRealTableMem(missing, 0) : 1; },
       Q7_ERROR_NO_SUCH_TABLE,
       {{"SaveRealTableMem", Q7_ERROR_NO_SUCH_TABLE, no_such + " "}}},
  };
  ASSERT_EQ(RQ7SaveRealTable2Mem(t, buffer.aligned(), buffer.size(), &end), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.code);
    EXPECT_EQ(DrainRing(), c.ring);
  }
  EXPECT_EQ(RQ7GetNTable(), 1);
}

TEST_F(MemoryImages, SizesOfImagesAndOfTheDatabase) {
  const int t = BuildSales("sales");
  _TTableInfo info;
  ASSERT_EQ(RQ7GetTableProperty(t, &info), 0);
  EXPECT_EQ(RQ7GetRealTableMemSize(t), RQ7GetTableMemorySize(t) + 8 * (2 * info.nFilter + info.nSet) + 4024);
  // No shared-memory image opened or created by this process.
  EXPECT_EQ(RQ7GetTotalMemorySizeWithShared(), RQ7GetTotalMemorySize());

  // A second held image replaces the first; freeing twice is harmless.
  void* first = nullptr;
  void* second = nullptr;
  unsigned long first_length = 0;
  unsigned long second_length = 0;
  ASSERT_EQ(RQ7GetMemRealTable(t, &first, &first_length), 0);
  ASSERT_EQ(RQ7GetMemRealTable(t, &second, &second_length), 0);
  EXPECT_EQ(second_length, first_length);
  EXPECT_GT(RQ7LoadMemRealTable(second, second_length), t);
  EXPECT_EQ(RQ7FreeMemRealTable(), 0);
  EXPECT_EQ(RQ7FreeMemRealTable(), 0);
}

TEST_F(MemoryImages, UnreadableDatabaseImageLeavesAnEmptyDatabase) {
  BuildSales("sales");
  HostBuffer zeros(1 << 12);
  void* end = nullptr;
  EXPECT_EQ(RQ7LoadDBFromMem(zeros.aligned(), &end), Q7_ERROR_UNSUPPORTED_VERSION);
  EXPECT_EQ(DrainRing(), (std::vector<RingEntry>{{"LoadDBFromMem", Q7_ERROR_UNSUPPORTED_VERSION, ""}}));
  EXPECT_EQ(RQ7GetNTable(), 0);
  EXPECT_GT(q7host::AddTable("after", 2), 0);
}

}  // namespace
