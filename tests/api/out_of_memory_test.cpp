// A host whose process runs short of memory while it builds a join: every call still answers with a
// code that says so, and leaves a ring entry that says so.
//
// A child process lowers its address-space limit to a little above what it uses, step by step, and
// builds a join at each step, serially and on the worker pool. The child is started afresh (the
// threadsafe death-test style runs it from a new exec), as memory left free in this process's heap
// by earlier tests would serve the join whatever the limit. The sanitizers reserve far more address
// space than the limit leaves, so the test runs in the plain builds only.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

constexpr bool kAddressLimitWorks = !q7host::kUnderSanitizer;

constexpr int kRows = 60000;
constexpr long kStep = 24 * 1024;     // address space added per step
constexpr long kMaxBudget = 8 << 20;  // a join of these tables fits in far less
constexpr int kMappedBlockMin = 64 * 1024;

// The child's address space in use, in bytes.
long AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  statm >> pages;
  return pages * sysconf(_SC_PAGESIZE);
}

// Grows the main thread's stack once, so that no call under the limit has to grow it.
__attribute__((noinline)) void TouchStack() {
  volatile char pad[1 << 20];
  memset(const_cast<char*>(pad), 1, sizeof pad);
}

using AddJoinFn = int (*)(const char*, int, int, int, const int*, int, int, const int*);

// What one join call gave, as the test allows it: "" when allowed, else why not.
std::string Judge(int code, const std::vector<q7host::RingEntry>& ring) {
  auto has_entry = [&](int entry_code, const char* message) {
    for (const auto& e : ring) {
      if (e.code == entry_code && (message == nullptr || e.message == message)) return true;
    }
    return false;
  };
  if (code > 0) return "";
  if (code == Q7_ERROR_OUT_OF_MEMORY) {
    return has_entry(Q7_ERROR_OUT_OF_MEMORY, nullptr) ? "" : "out of memory without a ring entry";
  }
  if (code == Q7_ERROR_NO_JOIN_SET || code == Q7_ERROR_NO_SLAVE_SET) {
    return has_entry(Q7_ERROR_OUT_OF_MEMORY, "Out of memory") && has_entry(code, nullptr)
               ? ""
               : "a failed set copy without its ring entries";
  }
  char text[64];
  snprintf(text, sizeof text, "code 0x%08x", static_cast<unsigned>(code));
  return text;
}

// In the child: builds the join under ever larger limits until one is made. Writes one line per
// call, and a summary line "failures N" (the calls not allowed) to stderr, and ends.
[[noreturn]] void BuildUnderLimits(AddJoinFn add_join) {
  // Every large block a fresh mapping, given back when freed.
  mallopt(M_MMAP_THRESHOLD, kMappedBlockMin);
  const int master = q7host::AddTable("master", kRows);
  const int slave = q7host::AddTable("slave", kRows);
  std::vector<int> keys(kRows), slave_keys(kRows);
  for (int r = 0; r < kRows; ++r) {
    keys[r] = r % 5000;
    slave_keys[r] = r;
  }
  const int master_key[] = {q7host::AddIntColumn(master, "k", keys), 0};
  const int slave_key[] = {q7host::AddIntColumn(slave, "k", slave_keys), 0};
  q7host::AddIntColumn(slave, "v", slave_keys);
  // A first join starts the workers and settles the allocator's arenas. The engine keeps the large
  // blocks it freed for the next step; a save gives them back, so that the joins below need address
  // space of their own.
  RQ7DeleteTable(add_join("warm", 0, master, 1, master_key, slave, 1, slave_key));
  {
    q7host::TempDir dir;
    if (!dir.ok() || RQ7SaveRealTable(dir.path().c_str(), master) != 0) _exit(3);
  }
  TouchStack();
  q7host::DrainRing();

  rlimit unlimited{};
  getrlimit(RLIMIT_AS, &unlimited);
  int failures = 0;
  for (long budget = 0; budget <= kMaxBudget; budget += kStep) {
    rlimit limited = unlimited;
    limited.rlim_cur = static_cast<rlim_t>(AddressSpaceInUse() + budget);
    setrlimit(RLIMIT_AS, &limited);
    const int code = add_join("j", 0, master, 1, master_key, slave, 1, slave_key);
    const auto ring = q7host::DrainRing();
    setrlimit(RLIMIT_AS, &unlimited);
    const std::string verdict = Judge(code, ring);
    if (!verdict.empty()) {
      ++failures;
      fprintf(stderr, "budget %ld: %s\n", budget, verdict.c_str());
    }
    if (code > 0) {
      fprintf(stderr, "made at budget %ld\n", budget);
      break;
    }
    fprintf(stderr, "refused at budget %ld: 0x%08x\n", budget, static_cast<unsigned>(code));
  }
  fprintf(stderr, "failures %d\n", failures);
  _exit(0);
}

int SerialJoin(const char* name, int outer, int mt, int ms, const int* mk, int st, int ss, const int* sk) {
  return Q7AddJoinTable(name, outer, mt, ms, mk, st, ss, sk);
}
int PoolJoin(const char* name, int outer, int mt, int ms, const int* mk, int st, int ss, const int* sk) {
  return RQ7AddJoinTable(name, outer, mt, ms, mk, st, ss, sk);
}

TEST(OutOfMemoryDeathTest, JoinBuildSaysSoWithCodeAndRingEntry) {
  if (!kAddressLimitWorks) GTEST_SKIP() << "an address-space limit does not work under the sanitizers";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Some call was refused before the join could be made, and every call was allowed.
  const char* kReport = "refused at budget(.|\n)*made at budget(.|\n)*failures 0\n";
  EXPECT_EXIT(BuildUnderLimits(SerialJoin), ::testing::ExitedWithCode(0), kReport) << "Q7AddJoinTable";
  EXPECT_EXIT(BuildUnderLimits(PoolJoin), ::testing::ExitedWithCode(0), kReport) << "RQ7AddJoinTable";
}

}  // namespace
