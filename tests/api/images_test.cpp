// Memory images as a host sees them: a table or the whole database in host memory, the engine-held
// table image, tables through the memory stream, the address refusals and the ring entries.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

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

// ---- Damaged images ----

// Host memory that ends where the image ends (give or take the padding to a multiple of 8): the
// next page is unreadable, so a load that reads past the image ends its process at once.
class GuardedImage {
 public:
  explicit GuardedImage(const std::string& bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t room = (bytes.size() + 7) / 8 * 8;
    mapped_ = (room + page - 1) / page * page + page;
    base_ = static_cast<char*>(
        mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (base_ == MAP_FAILED) {
      base_ = nullptr;
      return;
    }
    char* guard = base_ + mapped_ - page;
    mprotect(guard, page, PROT_NONE);
    image_ = guard - room;
    memcpy(image_, bytes.data(), bytes.size());
  }
  ~GuardedImage() {
    if (base_ != nullptr) munmap(base_, mapped_);
  }
  GuardedImage(const GuardedImage&) = delete;
  GuardedImage& operator=(const GuardedImage&) = delete;

  void* data() const { return image_; }

 private:
  char* base_ = nullptr;
  size_t mapped_ = 0;
  char* image_ = nullptr;
};

// Runs cases [0, count) in forked children, one child at a time, so that a case that crashes on a
// damaged image is reported rather than ending the test: a child runs the cases from where the
// last one ended and reports each through a pipe once it is done; a case without its report is
// the one its child died in, and the next child goes on after it. A case returns an empty text
// when it held, else what broke. Returns "case: what broke" for each case that broke or crashed.
std::vector<std::string> InChildren(size_t count, const std::function<std::string(size_t)>& run_case) {
  std::vector<std::string> broken;
  size_t next = 0;
  while (next < count) {
    int fds[2];
    if (pipe(fds) != 0) return {"no pipe"};
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      for (size_t i = next; i < count; ++i) {
        const std::string line = std::to_string(i) + " " + run_case(i) + "\n";
        if (write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(2);
      }
      _exit(0);
    }
    close(fds[1]);
    std::string reports;
    char chunk[4096];
    for (;;) {
      const ssize_t n = read(fds[0], chunk, sizeof chunk);
      if (n > 0) {
        reports.append(chunk, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    for (size_t at = 0; at < reports.size();) {
      const size_t nl = reports.find('\n', at);
      const std::string line = reports.substr(at, nl - at);
      at = nl + 1;
      const size_t space = line.find(' ');
      next = std::stoul(line.substr(0, space)) + 1;
      if (space + 1 < line.size()) broken.push_back(line.substr(0, space) + ": " + line.substr(space + 1));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) break;
    broken.push_back(std::to_string(next) + ": " +
                     (WIFSIGNALED(status) ? "crashed, signal " + std::to_string(WTERMSIG(status))
                                          : "child ended with " + std::to_string(WEXITSTATUS(status))));
    ++next;
  }
  return broken;
}

uint64_t LengthWord(const std::string& image) {
  uint64_t word = 0;
  memcpy(&word, image.data() + 8, sizeof word);
  return word;
}

std::string WithLengthWord(std::string image, uint64_t word) {
  memcpy(image.data() + 8, &word, sizeof word);
  return image;
}

enum class Load { kDatabase, kTable };

// Loads the image from memory that ends with it, as the host's calls without a length do: the
// result, and the loaded tables or the refusal's code leave the database usable.
int LoadGuarded(Load load, const std::string& image) {
  GuardedImage memory(image);
  return load == Load::kDatabase ? RQ7LoadDBFromMem(memory.data(), nullptr)
                                 : RQ7LoadRealTableFromMem(memory.data(), nullptr);
}

// Images of a small database: a table of every value type with three sets, and a table of texts.
class DamagedImages : public MemoryImages {
 protected:
  void SetUp() override {
    MemoryImages::SetUp();
    sales_ = BuildSales("sales");
    const int names = q7host::AddTable("names", 3);
    ASSERT_GT(q7host::AddStringColumn(names, "who", {"ann", "bo", "cy"}), 0);
    HostBuffer buffer(1 << 16);
    void* end = nullptr;
    ASSERT_EQ(RQ7SaveDB2Mem(buffer.aligned(), buffer.size(), &end), 0);
    database_.assign(static_cast<const char*>(buffer.aligned()), static_cast<const char*>(end));
    ASSERT_EQ(RQ7SaveRealTable2Mem(sales_, buffer.aligned(), buffer.size(), &end), 0);
    table_.assign(static_cast<const char*>(buffer.aligned()), static_cast<const char*>(end));
    snapshot_ = Snapshot(sales_);
    DrainRing();
  }

  const std::string& Image(Load load) const { return load == Load::kDatabase ? database_ : table_; }

  int sales_ = 0;
  std::string database_;
  std::string table_;
  TableSnapshot snapshot_;
};

// Every word after the header raised, one at a time, by a little and by a lot (a count, a length,
// an ID or a value): each load gives a code or a database that can be used, and reads nothing past
// the image, which ends where the host's memory does.
TEST_F(DamagedImages, RaisedWordsGiveACodeOrALoadAndNeverACrash) {
  for (Load load : {Load::kDatabase, Load::kTable}) {
    SCOPED_TRACE(load == Load::kDatabase ? "RQ7LoadDBFromMem" : "RQ7LoadRealTableFromMem");
    const std::string& intact = Image(load);
    struct Raise {
      size_t at;
      uint32_t by;
    };
    std::vector<Raise> raises;
    for (size_t at = 256; at + 4 <= intact.size(); at += 4) {
      for (uint32_t by : {1u, 0x10000u, 0x40000000u}) raises.push_back({at, by});
    }
    const std::vector<std::string> broken = InChildren(raises.size(), [&](size_t i) -> std::string {
      std::string damaged = intact;
      uint32_t word;
      memcpy(&word, damaged.data() + raises[i].at, 4);
      word += raises[i].by;
      memcpy(damaged.data() + raises[i].at, &word, 4);
      const int rc = LoadGuarded(load, damaged);
      if (rc > 0 && load == Load::kDatabase) return "result " + std::to_string(rc);
      // Whatever loaded is usable, and goes again.
      if (RQ7GetNTable() > 0) Snapshot(1);
      RQ7ClearDB();
      DrainRing();
      return "";
    });
    for (const std::string& b : broken) {
      const Raise& r = raises[std::stoul(b)];
      ADD_FAILURE() << "word at " << r.at << " raised by " << r.by << ": " << b;
    }
  }
}

// An image's header holds its length, and a load without a length reads within it: an image cut
// anywhere and its word set to the cut is refused with a code, reading nothing past the cut. An
// image with 0 there, as images written before the word were, loads as before.
TEST_F(DamagedImages, TheLengthWordBoundsTheLoad) {
  EXPECT_EQ(LengthWord(database_), database_.size());
  EXPECT_EQ(LengthWord(table_), table_.size());
  void* held = nullptr;
  unsigned long held_size = 0;
  ASSERT_EQ(RQ7GetMemRealTable(sales_, &held, &held_size), 0);
  EXPECT_EQ(LengthWord(std::string(static_cast<const char*>(held), held_size)), held_size);

  for (Load load : {Load::kDatabase, Load::kTable}) {
    SCOPED_TRACE(load == Load::kDatabase ? "RQ7LoadDBFromMem" : "RQ7LoadRealTableFromMem");
    const std::string& intact = Image(load);
    // A table image's record ends before its trailer, whose last word says where.
    int64_t record = static_cast<int64_t>(intact.size());
    if (load == Load::kTable) memcpy(&record, intact.data() + intact.size() - 8, 8);
    std::vector<size_t> cuts;
    for (size_t cut = 256; cut < static_cast<size_t>(record); cut += 4) cuts.push_back(cut);
    const std::vector<std::string> broken = InChildren(cuts.size(), [&](size_t i) -> std::string {
      const std::string cut = WithLengthWord(intact.substr(0, cuts[i]), cuts[i]);
      const int tables = RQ7GetNTable();
      const int rc = LoadGuarded(load, cut);
      std::string broke;
      if (rc >= 0) broke = "loaded: " + std::to_string(rc);
      const int after = RQ7GetNTable();
      if (after != (load == Load::kDatabase ? 0 : tables)) broke += " tables " + std::to_string(after);
      DrainRing();
      return broke;
    });
    for (const std::string& b : broken) ADD_FAILURE() << "cut at " << cuts[std::stoul(b)] << ": " << b;

    // Without the word the image loads as it did.
    ASSERT_EQ(RQ7ClearDB(), 0);
    const int rc = LoadGuarded(load, WithLengthWord(intact, 0));
    ASSERT_GE(rc, 0);
    EXPECT_EQ(Snapshot(load == Load::kDatabase ? sales_ : rc), snapshot_);
    EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
  }
}

// The array records of an image, found by their fixed layout: type at 0, unit at 72, count at 80,
// capacity (int64) at 88, from an 8-aligned start.
struct ArrayAt {
  size_t at;
  int32_t type;
  int32_t count;
};

std::vector<ArrayAt> ArrayRecords(const std::string& image) {
  const auto i32 = [&](size_t at) {
    int32_t v = 0;
    memcpy(&v, image.data() + at, 4);
    return v;
  };
  std::vector<ArrayAt> found;
  for (size_t at = 256; at + 96 <= image.size(); at += 8) {
    const int32_t type = i32(at);
    const int32_t unit = i32(at + 72);
    const int32_t count = i32(at + 80);
    int64_t capacity = 0;
    memcpy(&capacity, image.data() + at + 88, 8);
    const bool fits = (type == Q7_TYPE_INTEGER && unit == 4) || (type == 3 && unit == 8) ||
                      (type == Q7_TYPE_STRING && unit == 8) || (type == Q7_TYPE_DECIMAL && unit == 16);
    if (!fits || count < 0 || capacity < count) continue;
    found.push_back({at, type, count});
    at += 88 + static_cast<size_t>(unit) * static_cast<size_t>(count);
    at = at / 8 * 8;
  }
  return found;
}

// An image without the length word is bounded by its counts alone: a count that disagrees with
// the counts read before it (with its capacity raised alike, so that the record stays whole) is
// refused before the elements it counts are read, wherever the host's memory ends. A value list
// is not bounded by the rows: a list that two columns of a table borrow is stored whole.
TEST_F(DamagedImages, ImagesWithoutTheWordRefuseCountsBeyondTheirRows) {
  ASSERT_EQ(RQ7ClearDB(), 0);
  const int t = q7host::AddTable("t", 5);
  ASSERT_GT(q7host::AddStringColumn(t, "city", {"Oslo", "", "Rome", "Oslo", "Lima"}), 0);
  const int picked[] = {4, 2, 5};
  ASSERT_EQ(RQ7AddSetReal(t, 3, picked), 2);
  HostBuffer buffer(1 << 14);
  void* end = nullptr;
  ASSERT_EQ(RQ7SaveRealTable2Mem(t, buffer.aligned(), buffer.size(), &end), 0);
  const std::string table = WithLengthWord(
      std::string(static_cast<const char*>(buffer.aligned()), static_cast<const char*>(end)), 0);
  ASSERT_EQ(RQ7SaveDB2Mem(buffer.aligned(), buffer.size(), &end), 0);
  const std::string database = WithLengthWord(
      std::string(static_cast<const char*>(buffer.aligned()), static_cast<const char*>(end)), 0);

  // Set 1 (5 rows), set 2, the column's value numbers (rows + 1) and its value list.
  const std::vector<ArrayAt> arrays = ArrayRecords(table);
  ASSERT_EQ(arrays.size(), 4u);
  EXPECT_EQ(arrays[0].count, 5);
  EXPECT_EQ(arrays[1].count, 3);
  EXPECT_EQ(arrays[2].count, 6);
  EXPECT_EQ(arrays[3].type, Q7_TYPE_STRING);
  struct Case {
    const char* what;
    Load load;
    size_t at;       // the count (int32)
    size_t also_at;  // the capacity (int64), or 0
    int64_t value;
  };
  const int64_t kHuge = 0x10000000;
  const std::vector<Case> cases = {
      {"set 2 above the rows", Load::kTable, arrays[1].at + 80, arrays[1].at + 88, kHuge},
      {"set 2 one above the rows", Load::kTable, arrays[1].at + 80, arrays[1].at + 88, 6},
      {"value numbers above rows + 1", Load::kTable, arrays[2].at + 80, arrays[2].at + 88, kHuge},
      // The database image: its table count at 280, the issued table ID (1) at 272.
      {"table count above the issued ID", Load::kDatabase, 280, 0, 10000},
  };
  const std::vector<std::string> broken = InChildren(cases.size(), [&](size_t i) -> std::string {
    const Case& c = cases[i];
    std::string damaged = c.load == Load::kDatabase ? database : table;
    const int32_t count = static_cast<int32_t>(c.value);
    memcpy(damaged.data() + c.at, &count, 4);
    if (c.also_at != 0) memcpy(damaged.data() + c.also_at, &c.value, 8);
    const int rc = LoadGuarded(c.load, damaged);
    DrainRing();
    return rc == Q7_ERROR_ILLEGAL_ARRAY_DATA ? "" : "result " + std::to_string(rc);
  });
  for (const std::string& b : broken) ADD_FAILURE() << cases[std::stoul(b)].what << ": " << b;

  // Intact, both load from memory that ends with them.
  EXPECT_GT(LoadGuarded(Load::kTable, table), t);
  EXPECT_EQ(LoadGuarded(Load::kDatabase, database), 0);
  EXPECT_EQ(RQ7GetNTable(), 1);
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});

  // One joined row whose two columns borrow the master's list of six keys.
  ASSERT_EQ(RQ7ClearDB(), 0);
  const int master = q7host::AddTable("m", 6);
  const int slave = q7host::AddTable("s", 1);
  ASSERT_GT(q7host::AddIntColumn(master, "k", {1, 2, 3, 4, 5, 6}), 0);
  ASSERT_GT(q7host::AddIntColumn(slave, "k", {3}), 0);
  const int keys[] = {1, 0};
  const int join = RQ7AddJoinTable("j", 0, master, 1, keys, slave, 1, keys);
  ASSERT_GT(join, 0);
  const int twice[] = {1, 1, 0};
  const int real = RQ7ConvertJoinToReal("r", join, 1, 0, 0, twice, 1);
  ASSERT_GT(real, join);
  ASSERT_EQ(RQ7SaveRealTable2Mem(real, buffer.aligned(), buffer.size(), &end), 0);
  const std::string shared = WithLengthWord(
      std::string(static_cast<const char*>(buffer.aligned()), static_cast<const char*>(end)), 0);
  const int loaded = LoadGuarded(Load::kTable, shared);
  ASSERT_GT(loaded, real);
  EXPECT_EQ(Snapshot(loaded), Snapshot(real));
  EXPECT_EQ(DrainRing(), std::vector<RingEntry>{});
}
}  // namespace
