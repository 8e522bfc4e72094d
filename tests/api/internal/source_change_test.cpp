// A source file that shrinks and grows while it is read: the catalog import and the parallel
// single-column read fail with a code or import what they read, and the process lives on. The
// readers run in a child process (this binary, run again for one disabled test), so that a fault
// fails the parent's test instead of ending the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "api/task/CDBTask.h"
#include "q7api.h"
#include "task_test_support.h"
#include "tests/support/test_support.h"

namespace {

constexpr char kDirVariable[] = "Q7_SOURCE_CHANGE_DIR";

std::string Source(int rows) {
  std::string out;
  out.reserve(static_cast<size_t>(rows) * 24);
  for (int i = 0; i < rows; ++i) {
    out += std::to_string(i) + ",\"t" + std::to_string(i % 977) + (i % 5 == 0 ? "\nx" : "") + "\"," +
           std::to_string(i % 13) + ".25\n";
  }
  return out;
}

class SourceChangeTest : public tasktest::TaskTest {};

// The child: the source is cut short and written again, over and over, while it is read.
TEST_F(SourceChangeTest, DISABLED_ReadersLiveThroughAChangingSource) {
  const char* dir_env = std::getenv(kDirVariable);
  ASSERT_NE(dir_env, nullptr);
  const std::string dir = dir_env;
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const std::string text = Source(400000);
  const std::string path = dir + "/churn.csv";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    for (size_t round = 0; !stop.load(); ++round) {
      const off_t cut = static_cast<off_t>(text.size() / (2 + round % 7));
      if (ftruncate(fd, cut) != 0 || ftruncate(fd, 0) != 0) return;
      if (pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) return;
    }
  });
  for (int i = 0; i < 6; ++i) {
    const int table = RQ7AddCatalogFileEx2(dir.c_str(), "churn.cat", dir.c_str(), "churn.csv", "churn");
    if (table > 0) RQ7DeleteTable(table);
  }
  const int table = NewTable("T", 10);
  std::string work_dir = dir;
  std::string file = "churn.csv";
  for (int i = 0; i < 6; ++i) {
    DBTASK()->AddRealFilter2(table, 1024, nullptr, Q7_TYPE_STRING, -1, 0, work_dir.data(), file.data());
  }
  stop = true;
  churn.join();
  close(fd);
}

TEST(SourceChange, ReadersLiveThroughAChangingSource) {
  q7test::TempDir dir;
  dir.Write("churn.cat", "//CSV\n//ERROR\tSKIPLINE\nI\t4\tN\nA\t4\tT\nN\t4\tD\t2\tROUNDHALFUP\n");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv(kDirVariable, dir.Dir().c_str(), 1);
    const char* argv[] = {"source_change_child",
                          "--gtest_filter=SourceChangeTest.DISABLED_ReadersLiveThroughAChangingSource",
                          "--gtest_also_run_disabled_tests", nullptr};
    execv("/proc/self/exe", const_cast<char* const*>(argv));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_FALSE(WIFSIGNALED(status)) << "the child died of signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
