// Null pointers and short arrays from the host. Every case runs in a child that re-executes this
// binary for that one case (gtest's thread-safe death-test style), so that a call that crashes fails
// its case instead of ending the run; the child exits 0 when the call returned the expected code and
// left the expected ring entries.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;
using q7host::RefusalCase;
using q7host::RingEntry;

// The child's verdict: exit 0 when right, else 1 with what it saw on stderr (which the parent's
// failure message shows).
[[noreturn]] void Verdict(const RefusalCase& c) {
  DrainRing();
  const int code = c.call();
  const std::vector<RingEntry> ring = DrainRing();
  if (code == c.code && ring == c.ring) std::_Exit(0);
  std::fprintf(stderr, "%s: code 0x%x, want 0x%x;", c.what, static_cast<unsigned>(code),
               static_cast<unsigned>(c.code));
  for (const RingEntry& e : ring) {
    std::fprintf(stderr, " ring {%s, 0x%x, \"%s\"}", e.api.c_str(), static_cast<unsigned>(e.code),
                 e.message.c_str());
  }
  std::fprintf(stderr, "\n");
  std::_Exit(1);
}

void ExpectInChild(const std::vector<RefusalCase>& cases) {
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EXIT(Verdict(c), ::testing::ExitedWithCode(0), "");
  }
}

// An int array of n elements that ends where an unreadable page begins: reading past it is a
// segmentation fault, not a silent read of what lies beyond.
class GuardedInts {
 public:
  explicit GuardedInts(size_t n) {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    base_ = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base_ == MAP_FAILED) std::abort();
    if (mprotect(static_cast<char*>(base_) + page_, page_, PROT_NONE) != 0) std::abort();
    ints_ = reinterpret_cast<int*>(static_cast<char*>(base_) + page_) - n;
  }
  ~GuardedInts() { munmap(base_, 2 * page_); }
  GuardedInts(const GuardedInts&) = delete;
  GuardedInts& operator=(const GuardedInts&) = delete;
  int* data() { return ints_; }

 private:
  void* base_ = nullptr;
  size_t page_ = 0;
  int* ints_ = nullptr;
};

class HostPointerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_EQ(RQ7ClearDB(), 0);
    t_ = q7host::AddTable("sales", 4);
    ASSERT_GT(t_, 0);
    region_ = q7host::AddIntColumn(t_, "region", {1, 2, 2, 3});
    city_ = q7host::AddStringColumn(t_, "city", {"oslo", "oslo", "oslo", "lima"});
    ASSERT_GT(region_, 0);
    ASSERT_GT(city_, 0);
    DrainRing();
  }
  void TearDown() override {
    for (int h = 0; h < Q7_SUMMARY_HANDLES; ++h) RQ7SummaryClose(h);
    RQ7ClearDB();
    DrainRing();
  }

  // Handle 0 open and executed over region x city, counting rows.
  void OpenTwoDimensions() {
    _TDimensionDef defs[2] = {};
    defs[0].column_id = region_;
    defs[1].column_id = city_;
    ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 2, defs, 0), 0);
    int computed = 0;
    ASSERT_EQ(RQ7SummaryExec(0, 1, &computed), 0);
    DrainRing();
  }

  int t_ = 0, region_ = 0, city_ = 0;
};

TEST_F(HostPointerTest, SummaryCallsRefuseNullInputsAndOutputs) {
  OpenTwoDimensions();
  const int kInvalid = Q7_ERROR_INVALID_PARAMETER;
  int a = 0, b = 0, c = 0;
  int cats[2] = {1, 1};
  void* where = nullptr;
  char* name = nullptr;
  char value[64];
  auto read_entry = [&](const char* what) {
    return RingEntry{"Q7SummaryRead", kInvalid, std::string("Invalid Parameter : ") + what};
  };
  ExpectInChild({
      {"RQ7SummaryOpen without dimension records",
       [&] { return RQ7SummaryOpen(1, t_, 1, 2, nullptr, 0); },
       kInvalid,
       {{"RQ7SummaryOpen", kInvalid, "Invalid Parameter : Dims"}}},
      {"Q7SummaryOpen without dimension records",
       [&] { return Q7SummaryOpen(1, t_, 1, 2, nullptr, 0); },
       kInvalid,
       {{"Q7SummaryOpen", kInvalid, "Failed to open"}}},
      {"RQ7SummaryRead without categories",
       [&] { return RQ7SummaryRead(0, 1, nullptr, &a, &b, &c, value); },
       kInvalid,
       {read_entry("Categories")}},
      {"Q7SummaryRead without categories",
       [&] { return Q7SummaryRead(0, 1, nullptr, &a, &b, &c, &where); },
       kInvalid,
       {read_entry("Categories")}},
      {"RQ7SummaryRead without result type",
       [&] { return RQ7SummaryRead(0, 1, cats, nullptr, &b, &c, value); },
       kInvalid,
       {read_entry("Output")}},
      {"RQ7SummaryRead without count",
       [&] { return RQ7SummaryRead(0, 1, cats, &a, nullptr, &c, value); },
       kInvalid,
       {read_entry("Output")}},
      {"RQ7SummaryRead without value type",
       [&] { return RQ7SummaryRead(0, 1, cats, &a, &b, nullptr, value); },
       kInvalid,
       {read_entry("Output")}},
      {"Q7SummaryRead without value pointer",
       [&] { return Q7SummaryRead(0, 1, cats, &a, &b, &c, nullptr); },
       kInvalid,
       {read_entry("Output")}},
      {"Q7CategoryRead without name",
       [&] { return Q7CategoryRead(0, 0, 1, nullptr, &a); },
       kInvalid,
       {{"Q7CategoryRead", kInvalid, "Invalid Parameter : Name"}}},
      {"Q7CategoryRead without callback result",
       [&] { return Q7CategoryRead(0, 0, 1, &name, nullptr); },
       kInvalid,
       {{"Q7CategoryRead", kInvalid, "Invalid Parameter : CallBackRet"}}},
      {"RQ7SummaryStatus with every output null",
       [&] { return RQ7SummaryStatus(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); },
       1,
       {}},
      {"Q7SummaryStatus with every output null",
       [&] { return Q7SummaryStatus(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); },
       1,
       {}},
  });
}

TEST_F(HostPointerTest, SummaryOutputsPassedAsNullAreSkipped) {
  OpenTwoDimensions();
  _TDimensionDef def{};
  def.column_id = region_;
  ASSERT_EQ(Q7SummaryOpen(1, t_, 1, 1, &def, 0), 0);
  ExpectInChild({
      {"RQ7SummaryStatus with only the count and the computed bits",
       [] {
         int dims = 0, computed = 0;
         const int rc = RQ7SummaryStatus(0, nullptr, nullptr, &dims, nullptr, nullptr, &computed);
         return rc == 1 && dims == 2 && computed == 1 ? 0 : -1;
       },
       0,
       {}},
      {"RQ7SummaryExec without the computed bits",
       [] {
         int computed = 0;
         const int rc = RQ7SummaryExec(1, 1, nullptr);
         RQ7SummaryStatus(1, nullptr, nullptr, nullptr, nullptr, nullptr, &computed);
         return rc == 0 && computed == 1 ? 0 : -1;
       },
       0,
       {}},
  });
}

TEST_F(HostPointerTest, SummaryReadTakesOneCategoryPerDimension) {
  OpenTwoDimensions();
  // Region 2 and oslo are value number 2 of their columns (after NULL and 1, NULL and lima): two rows. The
  // host's array holds exactly the summary's two categories, so a read of 32 would touch the guard page.
  GuardedInts cats(2);
  cats.data()[0] = 2;
  cats.data()[1] = 2;
  ExpectInChild({
      {"RQ7SummaryRead of a two-dimension cell",
       [&] {
         int result_type = 0, count = 0, value_type = 0, value = 0;
         const int rc = RQ7SummaryRead(0, 1, cats.data(), &result_type, &count, &value_type, &value);
         return rc == 0 && count == 2 && value == 2 ? 0 : -1;
       },
       0,
       {}},
      {"Q7SummaryRead of a two-dimension cell",
       [&] {
         int result_type = 0, count = 0, value_type = 0;
         void* value = nullptr;
         const int rc = Q7SummaryRead(0, 1, cats.data(), &result_type, &value_type, &count, &value);
         return rc == 0 && count == 2 ? 0 : -1;
       },
       0,
       {}},
  });
}

TEST_F(HostPointerTest, SummaryWithoutDimensionsReadsWithoutCategories) {
  ASSERT_EQ(Q7SummaryOpen(0, t_, 1, 0, nullptr, 0), 0);
  int computed = 0;
  ASSERT_EQ(RQ7SummaryExec(0, 1, &computed), 0);
  ExpectInChild({{"RQ7SummaryRead of the one cell without categories",
                  [] {
                    int result_type = 0, count = 0, value_type = 0, value = 0;
                    const int rc = RQ7SummaryRead(0, 1, nullptr, &result_type, &count, &value_type, &value);
                    return rc == 0 && count == 4 ? 0 : -1;
                  },
                  0,
                  {}}});
}

// The registry and shared-image calls refuse a null text or output before they touch anything
// machine-wide, so these cases need no registry of their own.
TEST_F(HostPointerTest, SharedMemoryAndRegistryCallsRefuseNullPointers) {
  const int kInvalid = Q7_ERROR_INVALID_PARAMETER;
  char names[64 * 8];
  int count = 0;
  ExpectInChild({
      {"RQ7CreateSharedMemoryDB without a name",
       [] { return RQ7CreateSharedMemoryDB("/tmp", nullptr); },
       Q7_ERROR_ILLEGAL_FILE_NAME,
       {}},
      {"RQ7CreateSharedMemoryDB without a directory",
       [] { return RQ7CreateSharedMemoryDB(nullptr, "db"); },
       Q7_ERROR_INVALID_DIRECTORY,
       {}},
      {"RQ7ShmLoad without a directory", [] { return RQ7ShmLoad(nullptr, "t"); }, kInvalid, {}},
      {"RQ7ShmLoad without a name", [] { return RQ7ShmLoad("/tmp", nullptr); }, kInvalid, {}},
      {"RQ7ShmLoadAll without a directory", [] { return RQ7ShmLoadAll(nullptr, "*"); }, kInvalid, {}},
      {"RQ7ShmLoadAll without a pattern", [] { return RQ7ShmLoadAll("/tmp", nullptr); }, kInvalid, {}},
      {"RQ7ShmAttach without a name", [] { return RQ7ShmAttach(nullptr, 0); }, kInvalid, {}},
      {"RQ7ShmRelease without a name", [] { return RQ7ShmRelease(nullptr); }, kInvalid, {}},
      {"RQ7GetSharedMemoryTableList without names",
       [&] { return RQ7GetSharedMemoryTableList(nullptr, &count); },
       kInvalid,
       {}},
      {"RQ7GetSharedMemoryTableList without a count",
       [&] { return RQ7GetSharedMemoryTableList(names, nullptr); },
       kInvalid,
       {}},
      {"RQ7GetSharedMemoryTableListEx without a count",
       [&] { return RQ7GetSharedMemoryTableListEx(names, nullptr); },
       kInvalid,
       {}},
      {"RQ7ShmDumpSMCS without a path", [] { return RQ7ShmDumpSMCS(nullptr); }, kInvalid, {}},
  });
}

}  // namespace
