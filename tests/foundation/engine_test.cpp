// Work splitting, machine figures, settings, character codes, system queries, the task table and
// the allocation calls. Pool behaviour lives in engine_threads_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "foundation/CQ7Exception.h"
#include "foundation/CSmpEngine.h"
#include "foundation/CharCode.h"
#include "foundation/Settings.h"
#include "foundation/SystemHeader.h"
#include "foundation/SystemInfo.h"
#include "foundation/mpp_func_map.h"
#include "foundation/zpk_memory.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

using q7test::TempDir;

// ---- Work splitting ----

struct SplitCase {
  int n, min_chunk, active, workers;
  std::vector<int> shares;
  int given;
};
const SplitCase kSplits[] = {
    {10, 1, 4, 4, {3, 3, 3, 1}, 4},
    {2, 8, 4, 4, {2, 0, 0, 0}, 1},
    {0, 1, 4, 4, {0, 0, 0, 0}, 0},
    {-5, 1, 4, 4, {0, 0, 0, 0}, 0},
    {8, 1, 4, 4, {2, 2, 2, 2}, 4},
    {9, 1, 4, 4, {3, 3, 3, 0}, 3},
    {100, 30, 4, 4, {30, 30, 30, 10}, 4},
    {5, 0, 2, 4, {3, 2, 0, 0}, 2},  // the last active worker takes the rest
    {1, 1, 8, 8, {1, 0, 0, 0, 0, 0, 0, 0}, 1},
    {7, 1, 1, 1, {7}, 1},
    {3, 1, 0, 2, {3, 0}, 1},  // no active count: one chunk of everything
};

TEST(WorkSplitting, AssignElementsGivesChunksAndTheRestToTheLast) {
  for (const auto& c : kSplits) {
    SCOPED_TRACE(testing::Message() << c.n << "/" << c.min_chunk << " on " << c.active);
    std::vector<int> shares(static_cast<size_t>(c.workers), -1);
    EXPECT_EQ(CSmpEngine::SplitElements(c.n, c.min_chunk, c.active, c.workers, shares.data()), c.given);
    EXPECT_EQ(shares, c.shares);
  }
}

struct ThreadsCase {
  long n, min_per;  // min_per 0: the one-argument form
  int active, want;
};
const ThreadsCase kThreads[] = {
    {0, 0, 8, 1},    {3, 0, 8, 3},    {100, 0, 8, 8},  {-4, 0, 8, 1},  {5, 0, 0, 1},
    {100, 30, 8, 4}, {240, 30, 8, 8}, {241, 30, 8, 8}, {10, 30, 8, 1}, {0, 30, 8, 1},
    {31, 30, 8, 2},  {100, -1, 8, 8}, {5, 30, 0, 1},
};

TEST(WorkSplitting, ThreadsForElements) {
  for (const auto& c : kThreads) {
    SCOPED_TRACE(testing::Message() << c.n << "/" << c.min_per << " on " << c.active);
    const int got = c.min_per == 0 ? CSmpEngine::ThreadsForElements(c.n, c.active)
                                   : CSmpEngine::ThreadsForElements(c.n, c.min_per, c.active);
    EXPECT_EQ(got, c.want);
  }
}

TEST(WorkSplitting, EngineWritesSharesIntoTheBlocks) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const int active = eng->ActiveThreads();
  for (int n : {0, 1, active, 3 * active + 1}) {
    SCOPED_TRACE(n);
    const int given = eng->assign_elements_to_threads(n, 1);
    int sum = 0, nonzero = 0;
    for (int i = 0; i < eng->ThreadCount(); ++i) {
      const int share = static_cast<MppThreadParam*>(eng->get_thread_param(i))->header.share;
      sum += share;
      nonzero += share != 0;
    }
    EXPECT_EQ(sum, n);
    EXPECT_EQ(given, nonzero);
    EXPECT_EQ(eng->n_threads_for_elements(n), std::max(1, std::min(n, active)));
  }
}

// The test cap lowers what every parallel operation is given, never raises it, and goes with its
// scope; the workers themselves stay.
TEST(WorkSplitting, TestCapLimitsEveryWorkerCount) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const int active = eng->ActiveThreads();
  const int workers = eng->ThreadCount();
  for (int cap : {1, 2, active + 5}) {
    SCOPED_TRACE(cap);
    q7test::WorkerCap scoped(cap);
    const int want = std::min(cap, active);
    EXPECT_EQ(eng->ActiveThreads(), want);
    EXPECT_EQ(eng->n_threads_for_elements(1000), want);
    EXPECT_EQ(eng->n_threads_for_elements(1000, 1), want);
    EXPECT_EQ(eng->assign_elements_to_threads(1000, 1), want);
    EXPECT_EQ(eng->ThreadCount(), workers);
  }
  EXPECT_EQ(eng->ActiveThreads(), active);
  EXPECT_EQ(eng->n_threads_for_elements(1000), std::min(1000, active));
}

// ---- Machine figures ----

struct CpuInfoCase {
  const char* name;
  const char* content;  // null: no file
  int size, line;
};
const CpuInfoCase kCpuInfos[] = {
    {"both", "processor\t: 0\ncache size\t: 512 KB\ncache_alignment\t: 128\n", 524288, 128},
    {"first wins", "cache size : 256 KB\ncache size : 1024 KB\ncache_alignment : 64\n", 262144, 64},
    {"no lines", "processor\t: 0\n", 0, 0},
    {"size only", "cache size\t: 2048 KB\n", 2097152, 0},
    {"unparsable", "xcache size\t: 2048 KB\ncache_alignment\t: many\n", 0, 0},
    {"absurd", "cache size\t: 99999999 KB\ncache_alignment : -4\n", 0, 0},
    {"no file", nullptr, 0, 0},
};

TEST(MachineFigures, CacheInfoFromCpuInfo) {
  TempDir dir;
  for (const auto& c : kCpuInfos) {
    SCOPED_TRACE(c.name);
    const std::string path = c.content ? dir.Write("cpuinfo", c.content) : dir.Dir() + "/none";
    int size = -1, line = -1;
    CSmpEngine::get_l2_cacheinfo(path.c_str(), &size, &line);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(line, c.line);
  }
}

TEST(MachineFigures, MissingFiguresKeepTheDefaults) {
  CSmpEngine* eng = CSmpEngine::Instance();
  TempDir dir;
  eng->sysinfo((dir.Dir() + "/none").c_str());
  EXPECT_EQ(eng->L2CacheSize(), 1048576);
  EXPECT_EQ(eng->CacheLineSize(), 64);
  eng->sysinfo(dir.Write("cpuinfo", "cache size : 512 KB\n").c_str());
  EXPECT_EQ(eng->L2CacheSize(), 524288);
  EXPECT_EQ(eng->CacheLineSize(), 64);
  eng->SetCacheFigures(4096, 32);
  EXPECT_EQ(eng->L2CacheSize(), 4096);
  EXPECT_EQ(eng->CacheLineSize(), 32);
  eng->SetCacheFigures(0, 0);
  EXPECT_EQ(eng->L2CacheSize(), 1048576);
  EXPECT_EQ(eng->CacheLineSize(), 64);
  EXPECT_EQ(eng->sysinfo(), eng->ProcessorCount());
  EXPECT_GE(eng->ProcessorCount(), 1);
  EXPECT_GT(eng->PageSize(), 0);
}

// ---- Settings ----

struct DateFormatCase {
  const char* content;
  int order;
};
const DateFormatCase kDateFormats[] = {
    {"DATEFORMAT=YYYYMMDD\n", 0},
    {"DATEFORMAT=DDMMYYYY\n", 1},
    {"DATEFORMAT=MMDDYYYY", 2},
    {" DATE FORMAT = mmdd yyyy \n", 2},
    {"DATE\tFORMAT=\tddmmyyyy\n", 1},
    {"DATEFORMAT=YYYY-MM-DD\n", 0},
    {"dateformat=DDMMYYYY\n", 0},
    {"X=1\r\nDATEFORMAT=MMDDYYYY\r\n", 2},
    {"DATEFORMAT=DDMMYYYY\nDATEFORMAT=MMDDYYYY\n", 1},
    {"DATEFORMAT DDMMYYYY\n", 0},
    {"DATEFORMAT=DD\x01MMYYYY\n", 0},
    {"# comment\n\nOTHER=a=b\nDATEFORMAT==DDMMYYYY\n", 0},
    {"", 0},
};

TEST(Settings, DateFormatFromSettingsFile) {
  TempDir dir;
  for (const auto& c : kDateFormats) {
    SCOPED_TRACE(c.content);
    EXPECT_EQ(CSmpEngine::ReadDateFormat(dir.Write("ZPK_Client.ini", c.content).c_str()), c.order);
  }
  EXPECT_EQ(CSmpEngine::ReadDateFormat((dir.Dir() + "/missing.ini").c_str()), 0);
}

TEST(Settings, EngineReadsSettingsFileOfCurrentDirectory) {
  CSmpEngine* eng = CSmpEngine::Instance();
  const int saved = eng->DateOrder();
  TempDir dir;
  dir.Write("ZPK_Client.ini", "DATEFORMAT = DDMMYYYY\n");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.Dir());
  eng->setDefaultDateFormat();
  fs::current_path(cwd);
  EXPECT_EQ(eng->DateOrder(), 1);
  eng->SetDateOrder(saved);
}

TEST(Settings, LongValueIsCutTo254Characters) {
  TempDir dir;
  const std::string file = dir.Write("a.ini", "K=" + std::string(400, 'v') + "\n");
  const char* value = getProfileString(file.c_str(), "K");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(strlen(value), 254u);
  EXPECT_EQ(getProfileString(file.c_str(), "k"), nullptr);
}

struct SectionCase {
  const char* section;
  const char* key;
  const char* def;
  int size;
  const char* want;
};
const SectionCase kSections[] = {
    {"A", "k", nullptr, 64, "1"},   {"B", "k", nullptr, 64, "22"}, {"B", "long", nullptr, 4, "abc"},
    {"C", "k", "d e f", 64, "def"}, {"A", "x", nullptr, 64, ""},   {"b", "k", "none", 64, "none"},
};

TEST(Settings, SectionedReader) {
  TempDir dir;
  const std::string file = dir.Write("s.ini", "k=0\n[A]\nk=1\n[ B ]\n k = 2 2\nlong=abcdef\n");
  for (const auto& c : kSections) {
    SCOPED_TRACE(testing::Message() << c.section << "." << c.key);
    char out[64];
    EXPECT_EQ(getPrivateProfileString(c.section, c.key, c.def, out, c.size, file.c_str()),
              static_cast<int>(strlen(c.want)));
    EXPECT_STREQ(out, c.want);
  }
  char text[] = " a\tb  c ";
  CutWhiteSpace(text);
  EXPECT_STREQ(text, "abc");
}

// ---- Character codes ----

struct CharCodeCase {
  unsigned char code;
  const char* name;
  int locale;
  const char* alternative;
};
const CharCodeCase kCharCodes[] = {
    {17, "Cp1252", 5, "Cp1252"},       {18, "MS932", 1, "MS932"}, {19, "MS949", 2, "MS949"},
    {20, "Shift_JIS", 0, "Shift_JIS"}, {33, "UTF8", 3, "UTF-8"},  {49, "EUC_JP", 4, "EUC"},
    {65, "MS936", 6, "MS936"},
};

// Restores the default code after each test.
class CharCodeTest : public ::testing::Test {
 protected:
  void TearDown() override { setSystemInfoDBCharCode(33); }
};

TEST_F(CharCodeTest, NamesCodesAndLocales) {
  for (const auto& c : kCharCodes) {
    SCOPED_TRACE(c.name);
    char name[kCharCodeNameSize] = {};
    EXPECT_EQ(convertDBCharCode2DBStringCode(c.code, name), 0);
    EXPECT_STREQ(name, c.name);
    EXPECT_EQ(convertDBStringCode2DBCharCode(c.name), c.code);
    EXPECT_EQ(convertLocaleID2DBCharCode(c.locale), c.code);

    EXPECT_EQ(innerQ7SetKanjiCode(c.locale), 0);
    EXPECT_EQ(getSystemInfoDBCharCode(), c.code);
    getDBCharCode(name, false);
    EXPECT_STREQ(name, c.name);
    getDBCharCode(name, true);
    EXPECT_STREQ(name, c.alternative);
  }
}

TEST_F(CharCodeTest, UnknownCodesNamesAndLocales) {
  char name[kCharCodeNameSize] = {};
  EXPECT_EQ(convertDBCharCode2DBStringCode(34, name), -1);
  EXPECT_STREQ(name, "NotDefined");
  EXPECT_EQ(convertDBCharCode2DBStringCode(0, name), -1);
  for (const char* bad : {"utf8", "UTF-8", "", "Shift_JIS "})
    EXPECT_EQ(convertDBStringCode2DBCharCode(bad), 0);
  EXPECT_EQ(convertDBStringCode2DBCharCode(nullptr), 0);
  for (int bad : {-1, 7, 33}) EXPECT_EQ(convertLocaleID2DBCharCode(bad), 0);
}

TEST_F(CharCodeTest, SettersRefuseUnknownAndKeepTheCode) {
  ASSERT_EQ(setDBCharCode(49), 0);
  EXPECT_EQ(setDBCharCode(49), 0);
  EXPECT_EQ(setDBCharCode(34), Q7_ERROR_INVALID_CHAR_CODE);
  EXPECT_EQ(setDBCharCode(0), Q7_ERROR_INVALID_CHAR_CODE);
  EXPECT_EQ(innerQ7SetKanjiCode(7), Q7_ERROR_INVALID_CHAR_CODE);
  EXPECT_EQ(innerQ7SetKanjiCode(-1), Q7_ERROR_INVALID_CHAR_CODE);
  EXPECT_EQ(getSystemInfoDBCharCode(), 49);
  EXPECT_EQ(innerQ7SetKanjiCode(6), 0);
  EXPECT_EQ(getSystemInfoDBCharCode(), 65);
  EXPECT_EQ(Qz7SysInfo[4], 65);
}

TEST_F(CharCodeTest, CurrentNameForUndefinedAndForeignCodes) {
  char name[kCharCodeNameSize] = "keep";
  setSystemInfoDBCharCode(0);
  getDBCharCode(name, false);
  EXPECT_STREQ(name, "NotDefined");
  strcpy(name, "keep");
  setSystemInfoDBCharCode(34);
  getDBCharCode(name, true);
  EXPECT_STREQ(name, "keep");
  EXPECT_EQ(getOSCharCode(name), 33);
  EXPECT_STREQ(name, "UTF8");
}

// ---- System queries ----

TEST(SystemInfo, LinuxFigures) {
  int kind = 0, major = -1, minor = -1;
  EXPECT_EQ(getSystemInfo(&kind, &major, &minor), 0);
  EXPECT_EQ(kind, 53);
  EXPECT_GE(major, 2);
  EXPECT_GE(minor, 0);

  int processors = 0, second = 0, third = 0;
  EXPECT_EQ(getHardwareInfo(&processors, &second, &third), 0);
  EXPECT_EQ(processors, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)));
  EXPECT_EQ(second, -1);
  EXPECT_EQ(third, 6);

  unsigned long total = 0, free = 7;
  EXPECT_EQ(getSystemMemInfo(&total, &free), -1);
  EXPECT_GT(total, 0u);
  EXPECT_EQ(free, 0u);

  char host[kHostNameSize];
  memset(host, 'x', sizeof host);
  getHostName(host);
  char want[kHostNameSize + 1] = {};
  gethostname(want, kHostNameSize);
  EXPECT_STREQ(host, want);
}

// ---- Task table ----

TEST(TaskTable, RowsAndRegistration) {
  std::set<std::string> ids;
  for (int i = 0; i < kMppTaskCount; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(mpp_func_map[i].id, nullptr);
    ASSERT_NE(mpp_func_map[i].title, nullptr);
    EXPECT_EQ(std::string(mpp_func_map[i].id).rfind("Q7_MPP_", 0), 0u);
    ids.insert(mpp_func_map[i].id);
    EXPECT_EQ(MppTaskIdIsRunnable(i), i != 0 && i != 8 && i != 11);
  }
  EXPECT_EQ(ids.size(), static_cast<size_t>(kMppTaskCount));
  for (int i : {0, 8, 11}) EXPECT_EQ(mpp_func_map[i].func, nullptr);
  EXPECT_STREQ(mpp_func_map[36].id, "Q7_MPP_MEMCPY");
  EXPECT_STREQ(mpp_func_map[36].title, "Parallel Memcpy");
  EXPECT_EQ(mpp_func_map[36].func, &mpp_memcpy);
  EXPECT_STREQ(mpp_func_map[39].id, "Q7_MPP_MEMSET");
  EXPECT_EQ(mpp_func_map[39].func, &mpp_memset);
  // Titles are kept byte for byte, trailing and doubled blanks included.
  EXPECT_STREQ(mpp_func_map[3].title, "Parallel Export ");
  EXPECT_STREQ(mpp_func_map[33].title, "Parallel Flag  setting");
  EXPECT_STREQ(mpp_func_map[71].title, "Parallel Parallel Single CellSort transfer");
  EXPECT_STREQ(mpp_func_map[40].id, "Q7_MPP_SINGLE_SORT_N_FILTER_COUNTUP");
  EXPECT_STREQ(mpp_func_map[40].title, "Parallel Multi Sort NFilter CountUp");

  const MppTaskFunc saved = mpp_func_map[kMppTaskCompile].func;
  RegisterMppTask(kMppTaskCompile, &mpp_memset);
  EXPECT_EQ(mpp_func_map[kMppTaskCompile].func, &mpp_memset);
  mpp_func_map[kMppTaskCompile].func = saved;
}

// ---- Allocation ----

TEST(Allocation, ZeroSizesAndNull) {
  void* p = zpk_malloc(0);
  EXPECT_NE(p, nullptr);
  p = zpk_realloc(p, 100);
  ASSERT_NE(p, nullptr);
  memset(p, 1, 100);
  EXPECT_NO_THROW(zpk_realloc(p, 0));  // releases the block
  zpk_free(nullptr);
}

// Blocks from kMappedBlockMin on are the engine's own mappings, the others the C library's: every
// road between the two keeps the bytes, and each block goes back through zpk_free, also a C library
// block that happens to start on a page (looked up, not taken for a mapping).
TEST(Allocation, EveryResizeRoadKeepsTheBytes) {
  zpk_release_kept();
  struct Case {
    size_t from, to;
  };
  const Case cases[] = {
      {64, kMappedBlockMin + 100},                // the C library's block grown into a mapping
      {kMappedBlockMin * 2, 64},                  // a mapping shrunk to a C library block
      {kMappedBlockMin * 2, size_t{1} << 20},     // a mapping grown (moved by the system)
      {size_t{1} << 20, kMappedBlockMin + 4096},  // and shrunk
      {size_t{1} << 20, kKeptBlockMin + 4096},    // grown past the kept-block size
  };
  for (const Case& c : cases) {
    auto* p = static_cast<unsigned char*>(zpk_malloc(c.from));
    for (size_t i = 0; i < c.from; ++i) p[i] = static_cast<unsigned char>(i * 7 + c.from);
    auto* q = static_cast<unsigned char*>(zpk_realloc(p, c.to));
    bool same = true;
    for (size_t i = 0; i < std::min(c.from, c.to); ++i)
      same = same && q[i] == static_cast<unsigned char>(i * 7 + c.from);
    EXPECT_TRUE(same) << c.from << " -> " << c.to;
    memset(q, 1, c.to);
    if (c.to >= kMappedBlockMin) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(q) % 4096, 0u) << c.to;
    }
    zpk_free(q);
  }
  void* aligned = aligned_alloc(4096, 8192);
  ASSERT_NE(aligned, nullptr);
  zpk_free(aligned);
  aligned = aligned_alloc(4096, 8192);
  ASSERT_NE(aligned, nullptr);
  auto* grown = static_cast<char*>(zpk_realloc(aligned, 16384));
  grown[16383] = 1;
  zpk_free(grown);
  zpk_release_kept();
}

// A process may run out of mappings before it runs out of memory: large blocks then come from the
// C library, and every road of theirs (growing, shrinking, freeing) still works.
TEST(Allocation, LargeBlocksComeFromTheCLibraryWhenTheSystemRefusesAMapping) {
  zpk_release_kept();
  FailMappingsForTest(true);
  auto* p = static_cast<unsigned char*>(zpk_malloc(size_t{1} << 20));
  for (size_t i = 0; i < (size_t{1} << 20); ++i) p[i] = static_cast<unsigned char>(i * 13);
  p = static_cast<unsigned char*>(zpk_realloc(p, size_t{3} << 20));
  bool same = true;
  for (size_t i = 0; i < (size_t{1} << 20); ++i) same = same && p[i] == static_cast<unsigned char>(i * 13);
  EXPECT_TRUE(same);
  zpk_free(p);
  EXPECT_EQ(zpk_kept_bytes(), 0u);  // a C library block is never kept as a mapping
  FailMappingsForTest(false);
}

// (The address-sanitizer build runs it with allocator_may_return_null, so that its malloc fails as
// the system's does; the thread sanitizer's has no such mode.)
#if !defined(__SANITIZE_THREAD__)
TEST(Allocation, ExhaustionThrowsOutOfMemoryAndKeepsTheOldBlock) {
  const size_t huge = SIZE_MAX / 2;
  try {
    zpk_malloc(huge);
    ADD_FAILURE() << "no exception";
  } catch (const CQ7Exception& e) {
    EXPECT_EQ(e.ErrorCode(), Q7_ERROR_OUT_OF_MEMORY);
    EXPECT_STREQ(e.Message(), "");
  }
  // A block of the C library and one of the engine's own mappings.
  for (const size_t size : {size_t{16}, kMappedBlockMin}) {
    char* block = static_cast<char*>(zpk_malloc(size));
    strcpy(block, "still here");
    EXPECT_THROW(zpk_realloc(block, huge), CQ7Exception) << size;
    EXPECT_STREQ(block, "still here") << size;
    zpk_free(block);
  }
}
#endif

TEST(Engine, StartTimeAndRing) {
  CSmpEngine* eng = CSmpEngine::Instance();
  EXPECT_EQ(ENG, eng);
  EXPECT_EQ(GetErrorRing(), &eng->Ring());
  EXPECT_EQ(strlen(CSmpEngine::StartTimeText()), 24u);
  EXPECT_GE(eng->StartTime()->tm_year + 1900, 2024);
  EXPECT_EQ(eng->ThreadCount(), eng->ActiveThreads());
}

}  // namespace
