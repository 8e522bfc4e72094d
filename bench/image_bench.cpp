// A 10-million-row, seven-column real table (the table of file_bench: INTEGER, DOUBLE, STRING, DATE
// and DECIMAL columns) written as a memory image into host memory and read back, and its database
// read in place from the shared-memory segment by a second process.
//
// BM_TableToImage: TTableCollection::SaveRealTable2Mem into a buffer of GetFileSize() bytes, touched
// before timing. BM_ImageToTable: LoadRealTableFromMem of that image as a new table (the table is
// deleted outside the timing). BM_AttachSharedImage: the database file copied into a segment of this
// process's own key; a forked process attaches the segment and builds the database over it in place
// (TTableCollection(image, length), which checks every count, value number and record number where
// it lies), timed inside that process from before the attach to the loaded database.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "database/TRealTable.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#include "foundation/zpk_shm.h"
#include "q7api.h"

namespace {

constexpr int kRows = 10000000;

struct Fixture {
  std::string dir;
  std::unique_ptr<TTableCollection> db;
  int table_id = 0;
  std::vector<std::string> texts;

  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7imagebenchXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) abort();
    dir = pattern;
    db = std::make_unique<TTableCollection>();
    char table_name[] = "sales";
    table_id = db->AddRealTable(table_name, kRows);
    auto* t = static_cast<TRealTable*>(db->GetTable(table_id));

    std::mt19937_64 gen(7);
    std::vector<int32_t> ints(kRows);
    for (int i = 0; i < kRows; ++i) ints[i] = i * 3 + 1;
    Add(t, "id", Q7_TYPE_INTEGER, 4, ints.data());
    for (int i = 0; i < kRows; ++i) ints[i] = i % 997 == 0 ? INT32_MIN : static_cast<int32_t>(gen() % 1000);
    Add(t, "qty", Q7_TYPE_INTEGER, 4, ints.data());

    std::vector<double> dbls(kRows);
    for (int i = 0; i < kRows; ++i)
      dbls[i] = i % 991 == 0 ? -HUGE_VAL : static_cast<double>(gen() % 100000) / 100;
    Add(t, "price", Q7_TYPE_DOUBLE, 8, dbls.data());
    for (int i = 0; i < kRows; ++i) dbls[i] = static_cast<double>(gen() % 1000000) / 7;
    Add(t, "ratio", Q7_TYPE_DOUBLE, 8, dbls.data());
    for (int i = 0; i < kRows; ++i)
      dbls[i] = i % 983 == 0 ? -HUGE_VAL : 43000 + static_cast<double>(gen() % 3650);
    Add(t, "day", Q7_TYPE_DATE, 8, dbls.data());

    texts.resize(100000);
    for (size_t k = 0; k < texts.size(); ++k)
      texts[k] = "customer-" + std::to_string(k * 7919) + std::string(k % 9, 'x');
    std::vector<const char*> ptrs(kRows);
    for (int i = 0; i < kRows; ++i) ptrs[i] = texts[gen() % texts.size()].c_str();
    Add(t, "name", Q7_TYPE_STRING, 8, ptrs.data());

    std::vector<Numeric> decs(kRows);
    for (int i = 0; i < kRows; ++i)
      decs[i] = i % 977 == 0 ? Numeric{0, std::numeric_limits<int64_t>::min()} : Numeric{gen() % 100000, 0};
    Add(t, "total", Q7_TYPE_DECIMAL, 16, decs.data());
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void Add(TRealTable* t, const char* name, int type, int width, void* data) {
    std::string n = name;
    if (t->AddFilter2(TRealTable::kAppendPosition, n.data(), type, kRows, width, data, 0, -1) < 0) abort();
  }
  TRealTable* Table() { return static_cast<TRealTable*>(db->GetTable(table_id)); }
};

Fixture& Shared() {
  static Fixture f;
  return f;
}

// A buffer of the table's image bound, every page touched.
std::vector<uint64_t> ImageBuffer(Fixture& f) {
  const auto bytes = static_cast<size_t>(f.Table()->GetFileSize());
  return std::vector<uint64_t>(bytes / 8 + 1, 0);
}

void BM_TableToImage(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<uint64_t> buffer = ImageBuffer(f);
  void* end = nullptr;
  for (auto _ : state) f.db->SaveRealTable2Mem(f.table_id, buffer.size() * 8, buffer.data(), &end);
  state.counters["MB"] =
      static_cast<double>(static_cast<char*>(end) - reinterpret_cast<char*>(buffer.data())) / 1e6;
  state.counters["workers"] = CSmpEngine::Instance()->ActiveThreads();
}
BENCHMARK(BM_TableToImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_ImageToTable(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<uint64_t> buffer = ImageBuffer(f);
  void* end = nullptr;
  f.db->SaveRealTable2Mem(f.table_id, buffer.size() * 8, buffer.data(), &end);
  const auto length = static_cast<uint64_t>(static_cast<char*>(end) - reinterpret_cast<char*>(buffer.data()));
  for (auto _ : state) {
    const int id = f.db->LoadRealTableFromMem(buffer.data(), length, nullptr);
    state.PauseTiming();
    if (id <= 0 || f.db->DelTable(id) != 0) state.SkipWithError("the image did not load");
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(length) / 1e6;
}
BENCHMARK(BM_ImageToTable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The attach and in-place load in a second process: its time in nanoseconds, or -1 on failure.
int64_t AttachInChild() {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const auto start = std::chrono::steady_clock::now();
    char* image = nullptr;
    int64_t ns = -1;
    if (zpk_shm::Open(&image) == 0) {
      auto* db = new TTableCollection(image, static_cast<uint64_t>(zpk_shm::ImageSize()));
      db->LoadComplete(0);
      ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
               .count();
      if (db->TableCount() != 1) ns = -1;
      delete db;
      zpk_shm::Unopen();
    }
    const ssize_t written = write(fds[1], &ns, sizeof ns);
    _exit(written == sizeof ns ? 0 : 1);
  }
  close(fds[1]);
  int64_t ns = -1;
  if (pid < 0 || read(fds[0], &ns, sizeof ns) != sizeof ns) ns = -1;
  close(fds[0]);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
  return ns;
}

void BM_AttachSharedImage(benchmark::State& state) {
  Fixture& f = Shared();
  char d[TTableCollection::kPathSize] = {};
  snprintf(d, sizeof d, "%s", f.dir.c_str());
  char name[] = "bench";
  f.db->SaveDB(d, name);
  // A key of this process's own, so that no other user of the engine's segment is disturbed.
  const key_t key = static_cast<key_t>(0x52000000 | (getpid() & 0xFFFFFF));
  zpk_shm::SetKey(key);
  if (zpk_shm::Create(f.dir.c_str(), "bench") != 0) {
    state.SkipWithError("the segment could not be created");
    zpk_shm::SetKey(zpk_shm::kKey);
    return;
  }
  for (auto _ : state) {
    const int64_t ns = AttachInChild();
    if (ns < 0) {
      state.SkipWithError("the second process could not load the image");
      break;
    }
    state.SetIterationTime(static_cast<double>(ns) / 1e9);
  }
  state.counters["MB"] = static_cast<double>(zpk_shm::CreatedSize()) / 1e6;
  zpk_shm::Release();
  zpk_shm::SetKey(zpk_shm::kKey);
}
BENCHMARK(BM_AttachSharedImage)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace
