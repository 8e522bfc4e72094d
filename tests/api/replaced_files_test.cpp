// Every call that writes a whole file a host names leaves the old file of that name byte for byte
// when its writing fails half way, and nothing beside it. The failure is the file-size limit of the
// process (RLIMIT_FSIZE), which makes a write past it fail as a full disk would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "q7api.h"

namespace {

using q7host::DrainRing;

constexpr char kOld[] = "an old file of the same name\n";
constexpr rlim_t kLimit = 4096;  // every new file below is larger

// Lowers the process's file-size limit for its lifetime; a write past it fails (EFBIG) instead of
// raising SIGXFSZ, which would end the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class ReplacedFiles : public ::testing::Test {
 protected:
  static constexpr int kRows = 3000;

  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ASSERT_TRUE(other_.ok());
    ASSERT_EQ(RQ7ClearDB(), 0);
    table_ = q7host::AddTable("T", kRows);
    ASSERT_GT(table_, 0);
    std::vector<int32_t> keys(kRows);
    std::vector<std::string> texts(kRows);
    for (int i = 0; i < kRows; ++i) {
      keys[static_cast<size_t>(i)] = i % 50;
      texts[static_cast<size_t>(i)] = "text of row " + std::to_string(i);
    }
    ASSERT_GT(q7host::AddIntColumn(table_, "K", keys), 0);
    ASSERT_GT(q7host::AddStringColumn(table_, "S", texts), 0);
    const int key[] = {1, 0};
    join_ = RQ7AddJoinTable("J", 0, table_, -1, key, table_, -1, key);
    ASSERT_GT(join_, 0);
    std::ofstream(other_.File("fmt.txt")) << "K\t2\tROUNDUP\n";
    DrainRing();
  }
  void TearDown() override {
    RQ7ClearDB();
    DrainRing();
  }

  q7host::TempDir dir_;    // the targets
  q7host::TempDir other_;  // what is not a target: the format file, the catalogs
  int table_ = 0;
  int join_ = 0;
};

struct WriteCase {
  const char* what;
  const char* target;  // in dir_
  std::function<int(const std::string& dir, const std::string& other)> call;
};

TEST_F(ReplacedFiles, FailedWritingLeavesTheOldFile) {
  const std::string data(10000, 'd');
  int all[3] = {-1, -1, -1};
  const WriteCase cases[] = {
      {"RQ7ExportAsCSV", "out.csv",
       [&](const std::string& d, const std::string&) {
         return RQ7ExportAsCSV(table_, -1, nullptr, -1, -1, '/', d.c_str(), "out.csv");
       }},
      {"RQ7ExportAsTABwithF", "out.tab",
       [&](const std::string& d, const std::string& o) {
         return RQ7ExportAsTABwithF(table_, 1, nullptr, -1, -1, '-', d.c_str(), "out.tab",
                                    (o + "/fmt.txt").c_str());
       }},
      {"RQ7ExportAsCSV of a join", "join.csv",
       [&](const std::string& d, const std::string&) {
         return RQ7ExportAsCSV(join_, -1, nullptr, -1, -1, '/', d.c_str(), "join.csv");
       }},
      {"RQ7SaveAsCatalogEx", "data.csv",
       [&](const std::string& d, const std::string& o) {
         all[0] = -1;
         return RQ7SaveAsCatalogEx(table_, 1, all, 0, -1, -1, '/', o.c_str(), "cat.txt", d.c_str(),
                                   "data.csv");
       }},
      {"RQ7BrowserPutFile", "put.bin",
       [&](const std::string& d, const std::string&) {
         return RQ7BrowserPutFile((d + "/put.bin").c_str(), static_cast<int>(data.size()), data.data());
       }},
      {"RQ7BrowserPutFileEx replacing", "putex.bin",
       [&](const std::string& d, const std::string&) {
         return RQ7BrowserPutFileEx((d + "/putex.bin").c_str(), static_cast<int>(data.size()), 1,
                                    data.data());
       }},
      // The saves were written aside before; they stay so.
      {"RQ7SaveRealTableAs", "table.Q7T",
       [&](const std::string& d, const std::string&) {
         return RQ7SaveRealTableAs(d.c_str(), "table", table_);
       }},
      {"RQ7SaveDBAs", "db.Q7D",
       [&](const std::string& d, const std::string&) { return RQ7SaveDBAs(d.c_str(), "db"); }},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    q7host::TempDir dir;
    ASSERT_TRUE(dir.ok());
    std::ofstream(dir.File(c.target), std::ios::binary) << kOld;
    {
      FileSizeLimit limit(kLimit);
      EXPECT_EQ(c.call(dir.path(), other_.path()), Q7_ERROR_ILLEGAL_FILE_NAME);
    }
    EXPECT_EQ(ReadFile(dir.File(c.target)), kOld);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{c.target});
    // Without the limit the same call replaces the file.
    EXPECT_EQ(c.call(dir.path(), other_.path()), 0);
    EXPECT_NE(ReadFile(dir.File(c.target)), kOld);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{c.target});
    DrainRing();
  }
}

}  // namespace
