// Attaching a 10-million-row table from the shared-table registry in a second process: the time of
// RQ7ShmAttach there, and how much that process's memory grows.
//
// The table has an INTEGER column "id" (every row distinct) and a DOUBLE column "price" (100,000
// values); its file (about 120 MB) lives in the system's temporary directory and stays in the page
// cache. The registry uses names of this program's own, so the benchmark can run beside the tests.
//
// Each iteration forks a process that attaches the table (the time measured there and reported as
// the iteration's time), reads its memory figures from /proc/self/status before and after, deletes
// the table and ends. Counters:
//   rss_growth_ratio   growth of VmRSS over the table file's size. The attach touches every page of
//                      the mapped file, so VmRSS takes in the file's page-cache pages (RssFile),
//                      shared with every other process that maps the file: not a copy.
//   anon_growth_ratio  growth of RssAnon (the process's private memory) over the file's size: what a
//                      copy of the data would show. The target is below 0.1.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "q7api.h"
#include "sharing/SMCS.h"

namespace {

constexpr int kRows = 10000000;

// A figure of /proc/self/status in kB ("VmRSS", "RssAnon"); -1 when missing.
long StatusKb(const char* key) {
  FILE* f = fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long kb = -1;
  const size_t key_length = strlen(key);
  while (fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, key, key_length) == 0 && line[key_length] == ':') {
      kb = strtol(line + key_length + 1, nullptr, 10);
      break;
    }
  }
  fclose(f);
  return kb;
}

struct AttachReport {
  double seconds;
  long rss_before_kb;
  long rss_after_kb;
  long anon_before_kb;
  long anon_after_kb;
  int table_id;
};

struct Fixture {
  std::string dir;
  int64_t file_size = 0;
  bool ready = false;

  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "q7shmbenchXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir = pattern;
    // Names of this process's own: the fixed ones belong to the hosts (and the tests).
    const std::string object = "/q7shmbench" + std::to_string(getpid());
    SetSMCSNamesForTest(object.c_str(), static_cast<key_t>(0x51B00000 + getpid() % 0x10000));

    const int table = RQ7AddRealTable("big", kRows);
    if (table < 0) return;
    std::vector<int32_t> ids(kRows);
    for (int i = 0; i < kRows; ++i) ids[static_cast<size_t>(i)] = i * 3 + 1;
    const int id_filter = RQ7AddRealFilter2(table, 1024, "id", Q7_TYPE_INTEGER, kRows, 0, "", "");
    if (id_filter < 0 || RQ7OverwriteRealEx(table, 1, id_filter, 1, kRows, ids.data()) < 0) return;
    std::vector<double> prices(kRows);
    for (int i = 0; i < kRows; ++i) prices[static_cast<size_t>(i)] = static_cast<double>(i % 100000) / 100;
    const int price_filter = RQ7AddRealFilter2(table, 1024, "price", Q7_TYPE_DOUBLE, kRows, 0, "", "");
    if (price_filter < 0 || RQ7OverwriteRealEx(table, 1, price_filter, 1, kRows, prices.data()) < 0) return;
    if (RQ7SaveRealTable(dir.c_str(), table) != 0 || RQ7DeleteTable(table) != 0) return;
    file_size = RQ7BrowserGetFileSize((dir + "/big.Q7T").c_str());
    if (RQ7ShmSetup(4) != 0 || RQ7ShmLoad(dir.c_str(), "big") != 0) return;
    ready = file_size > 0;
  }
  ~Fixture() {
    RQ7ShmReleaseAll();
    RQ7ShmShutdown();
    RQ7ClearSharedMemory();
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

// Attaches in a forked process; false when the process failed.
bool AttachInChild(AttachReport* report) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    AttachReport r{};
    r.rss_before_kb = StatusKb("VmRSS");
    r.anon_before_kb = StatusKb("RssAnon");
    const auto start = std::chrono::steady_clock::now();
    r.table_id = RQ7ShmAttach("big", 0);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.rss_after_kb = StatusKb("VmRSS");
    r.anon_after_kb = StatusKb("RssAnon");
    if (r.table_id > 0) RQ7DeleteTable(r.table_id);
    const bool written = write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  const bool got = read(fds[0], report, sizeof *report) == static_cast<ssize_t>(sizeof *report);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0 && report->table_id > 0;
}

void BM_AttachFromSecondProcess(benchmark::State& state) {
  Fixture& f = TheFixture();
  if (!f.ready) {
    state.SkipWithError("the shared table could not be prepared");
    return;
  }
  double rss_growth = 0;
  double anon_growth = 0;
  for (auto _ : state) {
    AttachReport r{};
    if (!AttachInChild(&r)) {
      state.SkipWithError("the attaching process failed");
      return;
    }
    state.SetIterationTime(r.seconds);
    rss_growth =
        static_cast<double>(r.rss_after_kb - r.rss_before_kb) * 1024 / static_cast<double>(f.file_size);
    anon_growth =
        static_cast<double>(r.anon_after_kb - r.anon_before_kb) * 1024 / static_cast<double>(f.file_size);
  }
  state.counters["rss_growth_ratio"] = rss_growth;
  state.counters["anon_growth_ratio"] = anon_growth;
  state.counters["file_mb"] = static_cast<double>(f.file_size) / 1e6;
}
BENCHMARK(BM_AttachFromSecondProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
