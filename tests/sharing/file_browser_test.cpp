// The file browser operations: listing patterns and attributes, the bounded copies into the
// caller's buffers, partial reads and writes, directory removal that never follows a link, and the
// codes and ring entries of the failures.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "q7api.h"
#include "sharing/FileBrowser.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr char kCanary = '\x5A';
constexpr int kCanaryBytes = 64;

// A caller's buffer of `size` bytes followed by canary bytes that no call may touch.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(int size) : size_(size), bytes_(static_cast<size_t>(size + kCanaryBytes), kCanary) {}
  char* data() { return bytes_.data(); }
  bool CanaryIntact() const {
    return std::all_of(bytes_.begin() + size_, bytes_.end(), [](char c) { return c == kCanary; });
  }

 private:
  int size_;
  std::vector<char> bytes_;
};

struct Listing {
  int code = 0;
  int total = 0;
  int returned = 0;
  std::vector<std::string> names;
  std::vector<unsigned char> attrs;
  bool canaries_intact = false;
};

Listing List(const std::string& search, int start = 0) {
  GuardedBuffer names(kBrowserNameAreaSize);
  GuardedBuffer attrs(kBrowserAttrAreaSize);
  Listing l;
  l.code =
      innerRQ7BrowserGetFileList(search.c_str(), start, &l.total, &l.returned, attrs.data(), names.data());
  const char* p = names.data();
  for (int i = 0; i < l.returned; ++i) {
    l.names.emplace_back(p);
    p += strlen(p) + 1;
    l.attrs.push_back(static_cast<unsigned char>(attrs.data()[i]));
  }
  l.canaries_intact =
      names.CanaryIntact() && attrs.CanaryIntact() && names.data()[kBrowserNameAreaSize - 1] == 0;
  return l;
}

std::set<std::string> Names(const Listing& l) { return {l.names.begin(), l.names.end()}; }

// Each test runs in a scratch directory; the process's current directory is restored afterwards.
class FileBrowser : public q7test::RingTest {
 protected:
  void SetUp() override { cwd_ = fs::current_path(); }
  void TearDown() override { fs::current_path(cwd_); }

  std::string Make(const std::string& name, const std::string& content = "", mode_t mode = 0644) {
    const std::string path = dir_.Write(name, content);
    chmod(path.c_str(), mode);
    return path;
  }
  std::string Dir(const std::string& name) {
    const std::string path = dir_.File(name);
    fs::create_directories(path);
    return path;
  }
  std::string Search(const std::string& pattern) const { return dir_.Dir() + "/" + pattern; }
  // The oldest ring entry as "name|code|message", or "" when none is left.
  std::string TakeRingCoded() { return ring_scope_.TakeCoded(); }

  q7test::TempDir dir_;
  fs::path cwd_;
};

struct MatchCase {
  const char* text;
  const char* pattern;
  bool match;
};

TEST(FileBrowserMatch, PatternRules) {
  const MatchCase kCases[] = {
      {"abc", "abc", true},   {"abc", "*", true},    {"", "", true},       {"abc", "", false},
      {"", "a", false},       {"ab", "abc", false},  {"abc", "a?c", true}, {"abc", "a*", true},
      {"a", "a*", false},     {"abc", "*bc", true},  {"xbc", "*bc", true}, {"xxbc", "*bc", false},
      {"abcd", "a?c", false}, {"abd", "a?c", false}, {"txt", "txt", true}, {"txt.bak", "txt", false},
      {"ABC", "abc", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.text) + " ~ " + c.pattern);
    EXPECT_EQ(isSearchMatch(c.text, c.pattern), c.match);
  }
  EXPECT_TRUE(findMatch("a.txt", "*", "txt"));
  EXPECT_FALSE(findMatch("a.txt.bak", "*", "txt"));  // the extension is everything after the first dot
  EXPECT_TRUE(findMatch("a.txt.bak", "a", "txt.bak"));
  EXPECT_TRUE(findMatch("noext", "*", ""));
  EXPECT_FALSE(findMatch("noext.c", "*", ""));
}

struct ListCase {
  const char* pattern;
  std::set<std::string> want;
};

TEST_F(FileBrowser, ListingFiltersByPatternAndKeepsDirectories) {
  for (const char* f : {"a.txt", "b.txt", "a.txt.bak", "abc.log", "abd.log", "noext"}) Make(f);
  Dir("sub");
  const ListCase kCases[] = {
      {"*.txt", {".", "..", "sub", "a.txt", "b.txt"}},
      {"a?c.*", {".", "..", "sub", "abc.log"}},
      {"*.*", {".", "..", "sub", "a.txt", "b.txt", "a.txt.bak", "abc.log", "abd.log", "noext"}},
      {"*", {".", "..", "sub", "noext"}},
      {"*.log", {".", "..", "sub", "abc.log", "abd.log"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pattern);
    const Listing l = List(Search(c.pattern));
    EXPECT_EQ(l.code, 0);
    EXPECT_EQ(Names(l), c.want);
    EXPECT_EQ(l.total, static_cast<int>(c.want.size()));
    EXPECT_EQ(l.returned, l.total);
    EXPECT_TRUE(l.canaries_intact);
  }
}

TEST_F(FileBrowser, ListingWithoutSlashSearchesTheCurrentDirectoryAndLeavesIt) {
  Make("x.txt");
  Make("y.dat");
  fs::current_path(dir_.Dir());
  const fs::path before = fs::current_path();
  const Listing l = List("*.txt");
  EXPECT_EQ(l.code, 0);
  EXPECT_EQ(Names(l), (std::set<std::string>{".", "..", "x.txt"}));
  EXPECT_EQ(fs::current_path(), before);
  // A listing of another directory does not move the process either.
  EXPECT_EQ(List("/*.*").code, 0);
  EXPECT_EQ(fs::current_path(), before);
}

TEST_F(FileBrowser, StartSkipsTheFirstQualifyingEntriesButCountsThem) {
  for (const char* f : {"1.txt", "2.txt", "3.txt", "4.dat"}) Make(f);
  const Listing all = List(Search("*.txt"));
  ASSERT_EQ(all.total, 5);  // ".", ".." and three files
  const Listing l = List(Search("*.txt"), 2);
  EXPECT_EQ(l.code, 0);
  EXPECT_EQ(l.total, 5);
  EXPECT_EQ(l.returned, 3);
  // Directory order is the file system's: the returned names are the last three of the full listing.
  EXPECT_EQ(l.names, std::vector<std::string>(all.names.begin() + 2, all.names.end()));
  const Listing past = List(Search("*.txt"), 9);
  EXPECT_EQ(past.total, 5);
  EXPECT_EQ(past.returned, 0);
}

TEST_F(FileBrowser, NameAreaHoldsAtMost4095BytesAndTheRestIsOnlyCounted) {
  // 40 names of 204 bytes (205 with the zero) need 8200 bytes: fewer than 20 fit in 4095.
  for (int i = 0; i < 40; ++i) {
    const std::string number = std::to_string(100 + i);
    Make(number + std::string(200 - number.size(), 'n') + ".txt");
  }
  const Listing l = List(Search("*.txt"));
  EXPECT_EQ(l.code, 0);
  EXPECT_EQ(l.total, 42);
  EXPECT_TRUE(l.canaries_intact);
  size_t used = 0;
  for (const auto& n : l.names) used += n.size() + 1;
  EXPECT_LE(used, 4095u);
  EXPECT_GT(used + 205, 4095u);  // the next long name would not have fit
  EXPECT_LT(l.returned, l.total);
}

TEST_F(FileBrowser, AttributeBytesFollowTheEffectiveUser) {
  struct ModeCase {
    const char* name;
    mode_t mode;
    unsigned char as_owner;  // the bits for a user who owns the file
    unsigned char as_root;
  };
  const ModeCase kCases[] = {
      {"rw.f", 0600, 0x60, 0x60},   {"r.f", 0400, 0x20, 0x60},  {"rwx.f", 0700, 0xE0, 0xE0},
      {"none.f", 0000, 0x00, 0x60}, {"gx.f", 0610, 0x60, 0xE0}, {"ox.f", 0401, 0x20, 0xE0},
  };
  for (const auto& c : kCases) Make(c.name, "x", c.mode);
  Dir("d");
  const Listing l = List(Search("*.*"));
  ASSERT_EQ(l.code, 0);
  const bool root = geteuid() == 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto at = std::find(l.names.begin(), l.names.end(), c.name);
    ASSERT_NE(at, l.names.end());
    EXPECT_EQ(l.attrs[static_cast<size_t>(at - l.names.begin())], root ? c.as_root : c.as_owner);
  }
  for (const char* d : {".", "..", "d"}) {
    const auto at = std::find(l.names.begin(), l.names.end(), d);
    ASSERT_NE(at, l.names.end());
    EXPECT_EQ(l.attrs[static_cast<size_t>(at - l.names.begin())], 0x10);
  }
}

// The group and others rules, seen by an ordinary user: a forked process of the super-user becomes
// nobody and lists files owned by the super-user.
TEST_F(FileBrowser, AttributeBytesOfGroupAndOthers) {
  if (geteuid() != 0) GTEST_SKIP() << "needs the super-user to take another user's identity";
  constexpr gid_t kGroup = 65534;
  constexpr uid_t kUser = 65534;
  struct ModeCase {
    const char* name;
    mode_t mode;
    gid_t group;
    unsigned char want;
  };
  const ModeCase kCases[] = {
      {"others_r.f", 0604, 0, 0x20},      {"others_rwx.f", 0607, 0, 0xE0},   {"owner_only.f", 0700, 0, 0x00},
      {"group_rw.f", 0064, kGroup, 0x60}, {"group_x.f", 0617, kGroup, 0x80},
  };
  for (const auto& c : kCases) {
    const std::string path = Make(c.name, "x", c.mode);
    ASSERT_EQ(chown(path.c_str(), 0, c.group), 0);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
  }
  ASSERT_EQ(chmod(dir_.Dir().c_str(), 0755), 0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string report;
    if (setgroups(0, nullptr) == 0 && setgid(kGroup) == 0 && setuid(kUser) == 0) {
      const Listing l = List(Search("*.f"));
      for (size_t i = 0; i < l.names.size(); ++i)
        report += l.names[i] + "=" + std::to_string(l.attrs[i]) + ";";
    } else {
      report = "no identity change";
    }
    const bool written = write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  std::string report;
  char chunk[512];
  for (ssize_t n; (n = read(fds[0], chunk, sizeof chunk)) > 0;) report.append(chunk, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_NE(report.find(std::string(c.name) + "=" + std::to_string(c.want) + ";"), std::string::npos)
        << report;
  }
}

TEST_F(FileBrowser, MissingDirectoryListsNothing) {
  const Listing l = List(dir_.File("absent/*.*"));
  EXPECT_EQ(l.code, Q7_ERROR_INVALID_DIRECTORY);
  EXPECT_EQ(l.total, 0);
  EXPECT_EQ(l.returned, 0);
}

TEST_F(FileBrowser, ReadsStopAt8191BytesWithAZeroAfterThem) {
  std::string content(10000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 26);
  const std::string path = Make("big.bin", content);

  GuardedBuffer buf(kBrowserReadBufferSize);
  int size = 0, read = 0;
  ASSERT_EQ(innerRQ7BrowserGetFile(path.c_str(), &size, &read, buf.data()), 0);
  EXPECT_EQ(size, 10000);
  EXPECT_EQ(read, 8191);
  EXPECT_EQ(std::string(buf.data(), 8191), content.substr(0, 8191));
  EXPECT_EQ(buf.data()[8191], '\0');
  EXPECT_TRUE(buf.CanaryIntact());

  long long size64 = 0;
  ASSERT_EQ(innerRQ7BrowserGetFile64(path.c_str(), &size64, &read, buf.data()), 0);
  EXPECT_EQ(size64, 10000);
  EXPECT_EQ(read, 8191);
  EXPECT_TRUE(buf.CanaryIntact());
}

struct OffsetCase {
  long long offset;
  int code;
  int read;
  const char* ring;  // "" when nothing is recorded
};

TEST_F(FileBrowser, PartialReadsFromAnOffset) {
  std::string content(10000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('A' + i % 23);
  const std::string path = Make("big.bin", content);
  const OffsetCase kCases[] = {
      {9000, 0, 1000, ""},
      {0, 0, 8191, ""},
      {1000, 0, 8191, ""},
      {10000, 0, 0, ""},
      {10001, Q7_ERROR_ILLEGAL_FILE_NAME, 0, "|E000008D|Failed to read file"},
      {-1, Q7_ERROR_ILLEGAL_FILE_NAME, -7, "|E000008D|Failed to seek file"},
      {INT32_MIN, Q7_ERROR_ILLEGAL_FILE_NAME, -7, "|E000008D|Failed to seek file"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.offset);
    for (bool wide : {false, true}) {
      GuardedBuffer buf(kBrowserReadBufferSize);
      int read = -7;
      long long size = 0;
      int size32 = 0;
      const int code = wide ? innerRQ7BrowserGetFileEx64(path.c_str(), c.offset, &size, &read, buf.data())
                            : innerRQ7BrowserGetFileEx(path.c_str(), static_cast<int>(c.offset), &size32,
                                                       &read, buf.data());
      if (!wide) size = size32;
      EXPECT_EQ(code, c.code);
      EXPECT_EQ(size, 10000);
      EXPECT_EQ(read, c.read);
      if (c.code == 0) {
        EXPECT_EQ(std::string(buf.data(), static_cast<size_t>(read)),
                  content.substr(static_cast<size_t>(c.offset), static_cast<size_t>(read)));
        EXPECT_EQ(buf.data()[read], '\0');
      }
      EXPECT_TRUE(buf.CanaryIntact());
      const std::string ring = TakeRingCoded();
      EXPECT_EQ(ring, c.ring[0] == '\0'
                          ? ""
                          : (wide ? "RQ7BrowserGetFileEx64" : "RQ7BrowserGetFileEx") + std::string(c.ring));
    }
  }
  // The most negative 64-bit offset is refused without overflowing size - offset.
  GuardedBuffer buf(kBrowserReadBufferSize);
  long long size = 0;
  int read = 0;
  EXPECT_EQ(innerRQ7BrowserGetFileEx64(path.c_str(), LLONG_MIN, &size, &read, buf.data()),
            Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(TakeRingCoded(), "RQ7BrowserGetFileEx64|E000008D|Failed to seek file");
}

TEST_F(FileBrowser, PutFileReplacesAndPutFileExAppendsOrReplaces) {
  const std::string path = dir_.File("out.txt");
  ASSERT_EQ(innerRQ7BrowserPutFile(path.c_str(), 5, "hello"), 0);
  EXPECT_EQ(q7test::ReadAll(path), "hello");
  ASSERT_EQ(innerRQ7BrowserPutFile(path.c_str(), 2, "hi"), 0);
  EXPECT_EQ(q7test::ReadAll(path), "hi");
  ASSERT_EQ(innerRQ7BrowserPutFileEx(path.c_str(), 0, 3, "abc"), 0);
  EXPECT_EQ(q7test::ReadAll(path), "hiabc");
  ASSERT_EQ(innerRQ7BrowserPutFileEx(path.c_str(), 1, 4, "wxyz"), 0);
  EXPECT_EQ(q7test::ReadAll(path), "wxyz");
  // Appending to a missing file creates it; a zero length leaves an empty file.
  const std::string fresh = dir_.File("fresh.txt");
  ASSERT_EQ(innerRQ7BrowserPutFileEx(fresh.c_str(), 0, 2, "ok"), 0);
  EXPECT_EQ(q7test::ReadAll(fresh), "ok");
  ASSERT_EQ(innerRQ7BrowserPutFile(fresh.c_str(), 0, nullptr), 0);
  EXPECT_EQ(fs::file_size(fresh), 0u);
  // Bytes with zeros in them are written as they are.
  const char bin[] = {'a', '\0', 'b'};
  ASSERT_EQ(innerRQ7BrowserPutFile(path.c_str(), 3, bin), 0);
  EXPECT_EQ(q7test::ReadAll(path), std::string(bin, 3));
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(FileBrowser, DelDirectoryRemovesLinksNeverTheirTargets) {
  const std::string victim = Dir("victim");
  Make("victim/keep.txt", "keep");
  Dir("victim/inner");
  Make("victim/inner/deep.txt", "deep");
  const std::string tree = Dir("tree");
  Dir("tree/a/b/c");
  Make("tree/a/file.txt", "x");
  Make("tree/a/b/c/file2.txt", "y");
  ASSERT_EQ(symlink(victim.c_str(), (tree + "/link_dir").c_str()), 0);
  ASSERT_EQ(symlink((victim + "/keep.txt").c_str(), (tree + "/a/link_file").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent/target", (tree + "/a/b/dangling").c_str()), 0);

  EXPECT_EQ(innerRQ7BrowserDelDirectory(tree.c_str(), 0), Q7_ERROR_DIRECTORY_NOT_EMPTY);
  EXPECT_EQ(TakeRingCoded(), "RQ7BrowserDelDirectory|E0000097|Failed to delete directory");
  EXPECT_TRUE(fs::exists(tree));

  // A link to a directory given as the directory itself is refused, its target left whole, also
  // when written with trailing slashes (which make the system follow a final link).
  const std::string top_link = dir_.File("top_link");
  ASSERT_EQ(symlink(victim.c_str(), top_link.c_str()), 0);
  for (const std::string& given : {top_link, top_link + "/", top_link + "//"}) {
    SCOPED_TRACE(given);
    EXPECT_EQ(innerRQ7BrowserDelDirectory(given.c_str(), 1), Q7_ERROR_FILE_OPERATION_FAILED);
    EXPECT_EQ(TakeRingCoded(), "RQ7BrowserDelDirectory|E0000096|Failed to delete directory");
    EXPECT_TRUE(fs::is_symlink(top_link));
    EXPECT_EQ(q7test::ReadAll(victim + "/keep.txt"), "keep");
    EXPECT_EQ(q7test::ReadAll(victim + "/inner/deep.txt"), "deep");
  }

  EXPECT_EQ(innerRQ7BrowserDelDirectory((tree + "/").c_str(), 1), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
  EXPECT_EQ(q7test::ReadAll(victim + "/keep.txt"), "keep");
  EXPECT_EQ(q7test::ReadAll(victim + "/inner/deep.txt"), "deep");
  EXPECT_EQ(TakeRing(), "");
}

// A last name "." or ".." reaches a directory by another name than its own: "lnk/." is the link's
// target, "O/." is O. Every such spelling is refused before anything is removed, as a link is.
TEST_F(FileBrowser, DelDirectoryRefusesDotAndDotDotAsTheLastName) {
  const std::string victim = Dir("victim");
  Dir("victim/sub");
  Make("victim/keep.txt", "keep");
  Make("victim/sub/deep.txt", "deep");
  const std::string lnk = dir_.File("lnk");
  ASSERT_EQ(symlink(victim.c_str(), lnk.c_str()), 0);
  const std::string own = Dir("O");
  Make("O/mine.txt", "mine");
  Dir("O/inner");

  struct Case {
    std::string given;
    int code;
    bool removed;  // what the path names is gone afterwards
  };
  const Case kCases[] = {
      {lnk + "/.", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {lnk + "/./", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {lnk + "/./.", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {lnk + "/sub/..", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {lnk + "/sub/../", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {own + "/.", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {own + "/inner/..", Q7_ERROR_FILE_OPERATION_FAILED, false},
      {lnk, Q7_ERROR_FILE_OPERATION_FAILED, false},  // the link itself: refused as ever
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.given);
    EXPECT_EQ(innerRQ7BrowserDelDirectory(c.given.c_str(), 1), c.code);
    EXPECT_EQ(TakeRingCoded(), "RQ7BrowserDelDirectory|E0000096|Failed to delete directory");
    EXPECT_TRUE(fs::is_symlink(lnk));
    EXPECT_EQ(q7test::ReadAll(victim + "/keep.txt"), "keep");
    EXPECT_EQ(q7test::ReadAll(victim + "/sub/deep.txt"), "deep");
    EXPECT_EQ(q7test::ReadAll(own + "/mine.txt"), "mine");
    EXPECT_TRUE(fs::is_directory(own + "/inner"));
  }

  // Controls: a plain directory goes whole, by a full path and by one relative to the current
  // directory.
  Dir("plain/a/b");
  Make("plain/a/b/f.txt", "f");
  EXPECT_EQ(innerRQ7BrowserDelDirectory(dir_.File("plain").c_str(), 1), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.File("plain"))));
  Dir("relative/a");
  Make("relative/a/f.txt", "f");
  ASSERT_EQ(chdir(dir_.Dir().c_str()), 0);
  EXPECT_EQ(innerRQ7BrowserDelDirectory("relative/", 1), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.File("relative"))));
  EXPECT_EQ(TakeRing(), "");
}

// A chain of directories "d", depth levels below dir_fd/name, built through descriptors: its full
// path would pass PATH_MAX. The deepest level holds a file and a link to outside. False on failure.
bool BuildChain(int dir_fd, const char* name, int depth, const std::string& outside) {
  if (mkdirat(dir_fd, name, 0755) != 0) return false;
  int fd = openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; fd >= 0 && level < depth; ++level) {
    const int next = mkdirat(fd, "d", 0755) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    close(fd);
    fd = next;
  }
  if (fd < 0) return false;
  const int file = openat(fd, "f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  const bool ok = file >= 0 && symlinkat(outside.c_str(), fd, "out") == 0;
  if (file >= 0) close(file);
  close(fd);
  return ok;
}

// Removes what is left of a chain BuildChain made, one level per step and without recursion: the
// level below the top moves up in its parent's place.
void RemoveChain(int dir_fd, const char* name) {
  const int top = openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (top < 0) return;
  for (;;) {
    const int d = openat(top, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (d < 0) break;
    unlinkat(d, "f.txt", 0);
    unlinkat(d, "out", 0);
    const bool more = renameat(d, "d", top, "next") == 0;
    close(d);
    unlinkat(top, "d", AT_REMOVEDIR);
    if (!more || renameat(top, "next", top, "d") != 0) break;
  }
  unlinkat(top, "f.txt", 0);
  unlinkat(top, "out", 0);
  close(top);
  unlinkat(dir_fd, name, AT_REMOVEDIR);
}

// A tree far deeper than a thread's stack would allow for one frame per level, deleted from a
// thread with a small stack: removed whole or refused with a code, never a signal, and nothing
// outside it touched (the link at its bottom is removed as a link).
TEST_F(FileBrowser, DelDirectoryOfAVeryDeepTreeFromASmallStack) {
  // In memory where the system has it: thousands of directories made and removed on a disk take
  // far longer than the walk itself.
  std::string room = "/dev/shm/q7deepXXXXXX";
  if (!fs::is_directory("/dev/shm") || mkdtemp(room.data()) == nullptr) room = Dir("deep");
  struct Remove {
    std::string path;
    ~Remove() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  } remove_room{room};
  const std::string outside = room + "/outside";
  ASSERT_TRUE(fs::create_directory(outside));
  ASSERT_EQ(innerRQ7BrowserPutFile((outside + "/keep.txt").c_str(), 4, "keep"), 0);
  ASSERT_EQ(innerRQ7BrowserPutFile((room + "/beside.txt").c_str(), 6, "beside"), 0);
  const int dir_fd = open(room.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(dir_fd, 0);
  for (const int depth : {1500, 10000}) {
    SCOPED_TRACE(depth);
    ASSERT_TRUE(BuildChain(dir_fd, "tree", depth, outside));
    const std::string tree = room + "/tree";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      alarm(60);
      struct Call {
        const char* path;
        int code;
      } call{tree.c_str(), 1};
      pthread_attr_t attr;
      pthread_t thread;
      const bool started = pthread_attr_init(&attr) == 0 &&
                           pthread_attr_setstacksize(&attr, 128 * 1024) == 0 &&
                           pthread_create(
                               &thread, &attr,
                               [](void* arg) -> void* {
                                 auto* c = static_cast<Call*>(arg);
                                 c->code = innerRQ7BrowserDelDirectory(c->path, 1);
                                 return nullptr;
                               },
                               &call) == 0;
      if (!started || pthread_join(thread, nullptr) != 0) _exit(3);
      _exit(call.code == 0 ? 0 : call.code < 0 ? 1 : 2);  // removed, refused with a code, neither
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    const int outcome = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    EXPECT_TRUE(outcome == 0 || outcome == 1) << outcome;
    if (outcome == 0) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(tree)));
    }
    RemoveChain(dir_fd, "tree");
    EXPECT_EQ(q7test::ReadAll(outside + "/keep.txt"), "keep");
    EXPECT_EQ(q7test::ReadAll(room + "/beside.txt"), "beside");
  }
  close(dir_fd);
}

TEST_F(FileBrowser, MakeMoveAndDeleteDirectoriesAndFiles) {
  const std::string d = dir_.File("made");
  ASSERT_EQ(innerRQ7BrowserMakeDirectory(d.c_str()), 0);
  EXPECT_TRUE(fs::is_directory(d));
  EXPECT_EQ(innerRQ7BrowserMakeDirectory(d.c_str()), Q7_ERROR_MAKE_DIRECTORY_FAILED);
  EXPECT_EQ(TakeRingCoded(), "RQ7BrowserMakeDirectory|E0000095|Failed to make directory");

  const std::string f = Make("f.txt", "data");
  const std::string moved = d + "/g.txt";
  ASSERT_EQ(innerRQ7BrowserMove(f.c_str(), moved.c_str()), 0);
  EXPECT_EQ(q7test::ReadAll(moved), "data");
  EXPECT_FALSE(fs::exists(f));
  const std::string d2 = dir_.File("renamed");
  ASSERT_EQ(innerRQ7BrowserMove(d.c_str(), d2.c_str()), 0);
  EXPECT_TRUE(fs::exists(d2 + "/g.txt"));

  EXPECT_EQ(innerRQ7BrowserGetFileSize((d2 + "/g.txt").c_str()), 4);
  ASSERT_EQ(innerRQ7BrowserDelFile((d2 + "/g.txt").c_str()), 0);
  ASSERT_EQ(innerRQ7BrowserDelDirectory(d2.c_str(), 0), 0);
  EXPECT_FALSE(fs::exists(d2));
  EXPECT_EQ(TakeRing(), "");
}

TEST_F(FileBrowser, CurrentDirectoryRoundTripAndTheLengthBound) {
  const std::string sub = Dir("cwd");
  ASSERT_EQ(innerRQ7BrowserSetCurrentDirectory(sub.c_str()), 0);
  GuardedBuffer buf(kBrowserPathSize);
  ASSERT_EQ(innerRQ7BrowserGetCurrentDirectory(buf.data()), 0);
  EXPECT_EQ(fs::path(buf.data()), fs::canonical(sub));
  EXPECT_TRUE(buf.CanaryIntact());

  // A current directory longer than the 512-byte buffer is refused, never copied past its end.
  std::string deep = sub;
  while (deep.size() < 700) deep += "/" + std::string(60, 'd');
  fs::create_directories(deep);
  ASSERT_EQ(chdir(deep.c_str()), 0);
  GuardedBuffer small(kBrowserPathSize);
  EXPECT_EQ(innerRQ7BrowserGetCurrentDirectory(small.data()), Q7_ERROR_OUT_OF_RANGE);
  EXPECT_EQ(small.data()[0], '\0');
  EXPECT_TRUE(small.CanaryIntact());
  EXPECT_EQ(TakeRingCoded(), "RQ7BrowserGetCurrentDirectory|E000001A|Failed to get current directory");
}

TEST_F(FileBrowser, AFifoWithoutPeerIsNotWaitedOn) {
  const std::string fifo = dir_.File("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  GuardedBuffer buf(kBrowserReadBufferSize);
  int size = -1, read = -1;
  EXPECT_EQ(innerRQ7BrowserGetFile(fifo.c_str(), &size, &read, buf.data()), 0);
  EXPECT_EQ(read, 0);
  EXPECT_EQ(buf.data()[0], '\0');
  EXPECT_EQ(innerRQ7BrowserPutFile(fifo.c_str(), 1, "x"), Q7_ERROR_ILLEGAL_FILE_NAME);
  EXPECT_EQ(TakeRingCoded(), "RQ7BrowserPutFile|E000008D|Failed to open file");
}

struct FailureCase {
  const char* what;
  std::function<int64_t(const std::string& dir)> call;
  int64_t code;
  const char* ring;  // "" when nothing is recorded
};

TEST_F(FileBrowser, FailuresGiveTheirCodesAndRingEntries) {
  Dir("adir");
  Make("file", "x");
  static char buf[kBrowserReadBufferSize];
  static int size = 0, read = 0;
  static long long size64 = 0;
  const FailureCase kCases[] = {
      {"size of a missing file",
       [](const std::string& d) { return innerRQ7BrowserGetFileSize((d + "/none").c_str()); },
       static_cast<int32_t>(Q7_ERROR_ILLEGAL_FILE_NAME),
       "RQ7BrowserGetFileSize|E000008D|Failed to get filesize "},
      {"read a missing file",
       [](const std::string& d) { return innerRQ7BrowserGetFile((d + "/none").c_str(), &size, &read, buf); },
       Q7_ERROR_ILLEGAL_FILE_NAME, ""},
      {"read a directory",
       [](const std::string& d) { return innerRQ7BrowserGetFile((d + "/adir").c_str(), &size, &read, buf); },
       Q7_ERROR_ILLEGAL_FILE_NAME, "RQ7BrowserGetFile|E000008D|Failed to open file"},
      {"read64 a missing file",
       [](const std::string& d) {
         return innerRQ7BrowserGetFile64((d + "/none").c_str(), &size64, &read, buf);
       },
       Q7_ERROR_ILLEGAL_FILE_NAME, "RQ7BrowserGetFile64|E000008D|Failed to get filesize"},
      {"read64 a directory",
       [](const std::string& d) {
         return innerRQ7BrowserGetFile64((d + "/adir").c_str(), &size64, &read, buf);
       },
       Q7_ERROR_ILLEGAL_FILE_NAME, "RQ7BrowserGetFile64|E000008D|Failed to get filesize"},
      {"read ex a missing file",
       [](const std::string& d) {
         return innerRQ7BrowserGetFileEx((d + "/none").c_str(), 0, &size, &read, buf);
       },
       Q7_ERROR_ILLEGAL_FILE_NAME, "RQ7BrowserGetFileEx|E000008D|Failed to get filesize"},
      {"put a negative length",
       [](const std::string& d) { return innerRQ7BrowserPutFile((d + "/p").c_str(), -1, "x"); },
       Q7_ERROR_INVALID_PARAMETER, ""},
      {"put ex a negative length",
       [](const std::string& d) { return innerRQ7BrowserPutFileEx((d + "/p").c_str(), 1, -3, "x"); },
       Q7_ERROR_INVALID_PARAMETER, "RQ7BrowserPutFileEx|E0000082|Invalid Parameter : put_len(-3)"},
      {"put into a missing directory",
       [](const std::string& d) { return innerRQ7BrowserPutFile((d + "/none/p").c_str(), 1, "x"); },
       Q7_ERROR_ILLEGAL_FILE_NAME, "RQ7BrowserPutFile|E000008D|Failed to open file"},
      {"put ex onto a directory",
       [](const std::string& d) { return innerRQ7BrowserPutFileEx((d + "/adir").c_str(), 0, 1, "x"); },
       Q7_ERROR_ILLEGAL_FILE_NAME, "RQ7BrowserPutFileEx|E000008D|Failed to open file"},
      {"delete a missing file",
       [](const std::string& d) { return innerRQ7BrowserDelFile((d + "/none").c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED, "RQ7BrowserDelFile|E0000096|Failed to delete file"},
      {"move a missing file",
       [](const std::string& d) { return innerRQ7BrowserMove((d + "/none").c_str(), (d + "/x").c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED, "RQ7BrowserMove|E0000096|Failed to move file ( or directory )"},
      {"change into a missing directory",
       [](const std::string& d) { return innerRQ7BrowserSetCurrentDirectory((d + "/none").c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED,
       "RQ7BrowserSetCurrentDirectory|E0000096|Failed to set current directory"},
      {"make below a missing directory",
       [](const std::string& d) { return innerRQ7BrowserMakeDirectory((d + "/none/x").c_str()); },
       Q7_ERROR_FILE_OPERATION_FAILED, "RQ7BrowserMakeDirectory|E0000096|Failed to make directory"},
      {"delete a missing directory",
       [](const std::string& d) { return innerRQ7BrowserDelDirectory((d + "/none").c_str(), 1); },
       Q7_ERROR_FILE_OPERATION_FAILED, "RQ7BrowserDelDirectory|E0000096|Failed to delete directory"},
      {"delete a file as a directory",
       [](const std::string& d) { return innerRQ7BrowserDelDirectory((d + "/file").c_str(), 1); },
       Q7_ERROR_FILE_OPERATION_FAILED, "RQ7BrowserDelDirectory|E0000096|Failed to delete directory"},
      {"null path", [](const std::string&) { return innerRQ7BrowserDelFile(nullptr); },
       Q7_ERROR_INVALID_PARAMETER, "RQ7BrowserDelFile|E0000082|Invalid Parameter"},
      {"null list output",
       [](const std::string& d) {
         int total = 0, returned = 0;
         return innerRQ7BrowserGetFileList((d + "/*.*").c_str(), 0, &total, &returned, nullptr, buf);
       },
       Q7_ERROR_INVALID_PARAMETER, "RQ7BrowserGetFileList|E0000082|Invalid Parameter"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(dir_.Dir()), c.code);
    EXPECT_EQ(TakeRingCoded(), c.ring);
    EXPECT_EQ(TakeRing(), "");
  }
  EXPECT_TRUE(fs::is_regular_file(dir_.File("file")));
}

}  // namespace
