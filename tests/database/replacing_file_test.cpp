// The replacing writer as the text files a host names use it: what a target of each kind becomes,
// the modes and refusals, and which files a killed writer left beside a target go when that target
// is next written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "database/TableFiles.h"
#include "q7api.h"
#include "tests/support/test_support.h"

namespace {

using q7test::ReadAll;
using q7test::TempDir;
using table_files::ReplaceOptions;
using table_files::ReplacingFile;

mode_t CurrentUmask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Writes "new\n" to dir/name through a ReplacingFile: 0, or the code it threw.
int WriteNew(const std::string& path, const ReplaceOptions& options) {
  return q7test::CodeOf([&] {
    ReplacingFile out(path, options);
    if (out.stream().write("new\n", 4) != 0) throw CQ7Exception(Q7_ERROR_ILLEGAL_FILE_NAME);
    out.Commit();
  });
}

ReplaceOptions Saves() { return ReplaceOptions{}; }
ReplaceOptions HostText() { return table_files::kHostTextFile; }
ReplaceOptions Dump() {
  ReplaceOptions o = table_files::kHostTextFile;
  o.quiet = true;
  o.new_mode = 0640;
  return o;
}

struct TargetCase {
  const char* what;
  ReplaceOptions (*options)();
  const char* existing;  // "": none; "file:<mode>"; "dangling link"; "link to file"
  int code;              // what the write gives
  const char* ring;      // the entry a refusal leaves, or ""
  mode_t mode;           // the mode the written file ends with
};

TEST(ReplacingFile, EveryKindOfTarget) {
  const mode_t mask = CurrentUmask();
  const TargetCase cases[] = {
      {"new text file", HostText, "", 0, "", 0666 & ~mask},
      {"new dump", Dump, "", 0, "", 0640 & ~mask},
      {"old file keeps its mode", HostText, "file:0604", 0, "", 0604},
      {"old dump keeps its mode", Dump, "file:0600", 0, "", 0600},
      {"link to a file", HostText, "link to file", 0, "", 0604},
      // A dangling link is written through, as an ordinary open writes it; a save refuses it.
      {"dangling link, host text", HostText, "dangling link", 0, "", 0666 & ~mask},
      {"dangling link, save", Saves, "dangling link", Q7_ERROR_ILLEGAL_FILE_NAME,
       "zpk_open|E000008D|Illegal FileName", 0},
      {"dangling link, quiet", Dump, "dangling link", 0, "", 0640 & ~mask},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string target = dir.File("t.csv");
    const std::string end = dir.File("end.csv");  // where a link points
    const std::string existing = c.existing;
    if (existing.rfind("file:", 0) == 0) {
      dir.Write("t.csv", "old\n");
      ASSERT_EQ(chmod(target.c_str(), static_cast<mode_t>(std::stoi(existing.substr(5), nullptr, 8))), 0);
    } else if (existing == "link to file") {
      dir.Write("end.csv", "old\n");
      ASSERT_EQ(chmod(end.c_str(), 0604), 0);
      ASSERT_EQ(symlink("end.csv", target.c_str()), 0);
    } else if (existing == "dangling link") {
      ASSERT_EQ(symlink("end.csv", target.c_str()), 0);
    }
    q7test::RingScope ring;
    EXPECT_EQ(WriteNew(target, c.options()), c.code);
    EXPECT_EQ(ring.TakeCoded(), c.ring);
    const bool linked = existing == "link to file" || existing == "dangling link";
    if (linked) {
      EXPECT_TRUE(std::filesystem::is_symlink(target));
    }
    if (c.code != 0) {
      EXPECT_FALSE(std::filesystem::exists(end));
      continue;
    }
    const std::string written = linked ? end : target;
    EXPECT_EQ(ReadAll(written), "new\n");
    EXPECT_EQ(ModeOf(written), c.mode);
    // Nothing is left beside it.
    EXPECT_EQ(q7test::DirectoryNames(dir.Dir()).size(), linked ? 2u : 1u);
  }
}

// A device is written in place by the host-text writers (there is nothing to keep) and refused by
// the saves.
TEST(ReplacingFile, DeviceIsWrittenInPlaceOrRefused) {
  EXPECT_EQ(WriteNew("/dev/null", HostText()), 0);
  q7test::RingScope ring;
  EXPECT_EQ(WriteNew("/dev/null", Saves()), Q7_ERROR_ILLEGAL_FILE_NAME);
}

TEST(ReplacingFile, FailureKeepsTheOldFileAndLeavesNothing) {
  TempDir dir;
  const std::string target = dir.Write("t.csv", "old\n");
  EXPECT_EQ(q7test::CodeOf([&] {
              ReplacingFile out(target, HostText());
              ASSERT_EQ(out.stream().write("half", 4), 0);
              throw CQ7Exception(Q7_ERROR_INDEX_OUT_OF_RANGE);
            }),
            Q7_ERROR_INDEX_OUT_OF_RANGE);
  EXPECT_EQ(ReadAll(target), "old\n");
  EXPECT_EQ(q7test::DirectoryNames(dir.Dir()), std::vector<std::string>{"t.csv"});
}

// A writer written by name (as the parallel export's workers write) is committed as one written
// through the stream.
TEST(ReplacingFile, FileWrittenByItsNameIsCommitted) {
  TempDir dir;
  const std::string target = dir.Write("t.csv", "old\n");
  ReplacingFile out(target, HostText());
  EXPECT_NE(out.Path(), target);
  EXPECT_EQ(out.Target(), target);
  std::ofstream(out.Path(), std::ios::binary) << "by name\n";
  EXPECT_EQ(ReadAll(target), "old\n");
  out.Commit();
  EXPECT_EQ(ReadAll(target), "by name\n");
  EXPECT_EQ(q7test::DirectoryNames(dir.Dir()), std::vector<std::string>{"t.csv"});
}

TEST(ReplacingFile, PartNamesAreTheTargetsOwnAndDistinct) {
  const std::string a = table_files::PartFileName("dir/out.csv");
  const std::string b = table_files::PartFileName("dir/out.csv");
  const std::string pattern = "dir/out\\.csv\\." + std::to_string(getpid()) + "\\.[0-9]+\\.prf";
  EXPECT_TRUE(q7test::FullMatch(a, pattern.c_str())) << a;
  EXPECT_TRUE(q7test::FullMatch(b, pattern.c_str())) << b;
  EXPECT_NE(a, b);
}

// What a writer of the target removes before it writes: the temporary and part files of the
// target whose process has ended; everything else stays.
TEST(ReplacingFile, RemovesOnlyWhatEndedWritersOfItsTargetLeft) {
  const pid_t running = fork();
  ASSERT_GE(running, 0);
  if (running == 0) {
    pause();
    _exit(0);
  }
  const pid_t ended = fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);

  const std::string live = std::to_string(running);
  const std::string dead = std::to_string(ended);
  struct Left {
    std::string name;
    bool stays;
  };
  std::vector<Left> left = {
      {"out.csv." + dead + ".3.tmp", false},
      {"out.csv." + dead + ".4.prf", false},
      {"out.csv." + live + ".0.tmp", true},                      // an export still running
      {"out.csv." + live + ".1.prf", true},                      // its part
      {"out.csv." + std::to_string(getpid()) + ".9.prf", true},  // this process's own
      {"other.csv." + dead + ".0.prf", true},                    // another target's
      {"out.csv1." + dead + ".0.prf", true},                     // a target whose name only starts alike
      {"out.csv." + dead + ".prf", true},                        // not a name the engine makes
      {"out.csv." + dead + ".2.prf.x", true},
      {"out.csv001_100_" + dead + ".prf", true},
  };
  TempDir dir;
  for (const Left& l : left) dir.Write(l.name, "partial");
  if (geteuid() == 0) {
    // A file of another user stays whatever its process: only its owner knows.
    const std::string foreign = "out.csv." + dead + ".5.prf";
    dir.Write(foreign, "partial");
    ASSERT_EQ(chown(dir.File(foreign).c_str(), 4242, 4242), 0);
    left.push_back({foreign, true});
  }
  EXPECT_EQ(WriteNew(dir.File("out.csv"), HostText()), 0);
  kill(running, SIGKILL);
  waitpid(running, nullptr, 0);
  for (const Left& l : left) EXPECT_EQ(std::filesystem::exists(dir.File(l.name)), l.stays) << l.name;
  EXPECT_EQ(ReadAll(dir.File("out.csv")), "new\n");
}

}  // namespace
