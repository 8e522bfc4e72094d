// The shared-memory database segment: creation, refusals, size word, second processes and modes.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/SystemHeader.h"
#include "foundation/zpk_shm.h"
#include "q7api.h"
#include "tests/foundation/shm_test_support.h"
#include "tests/support/test_support.h"

namespace {

using q7test::RingScope;
using q7test::TempDir;
using shm_test::InChild;
using shm_test::KeyScope;
using shm_test::Pipe;
using shm_test::SegmentsWithKey;

// The bytes of a database file as far as the segment is concerned: this system's header, then a
// body that no two offsets share by chance.
std::string DatabaseBytes(size_t body_size) {
  buildSystemHeader();
  std::string bytes(reinterpret_cast<const char*>(Qz7SysInfo), kSysHeaderSize);
  for (size_t i = 0; i < body_size; ++i) bytes.push_back(static_cast<char>((i * 131 + i / 251) & 0xFF));
  return bytes;
}

// The header with one byte changed.
std::string WithHeaderByte(std::string bytes, size_t at, unsigned char value) {
  bytes[at] = static_cast<char>(value);
  return bytes;
}

class ShmTest : public ::testing::Test {
 protected:
  KeyScope key_;
  RingScope ring_;
  TempDir dir_;
};

TEST_F(ShmTest, CreateCopiesTheFileBehindItsSizeWord) {
  const std::string bytes = DatabaseBytes(5000);
  dir_.Write("db.Q7D", bytes);
  // The caller's text is exactly as long as given: a write of the extension into it would be seen.
  char name[] = "db";
  ASSERT_EQ(zpk_shm::Create(dir_.Dir().c_str(), name), 0);
  EXPECT_STREQ(name, "db");
  const int64_t total = static_cast<int64_t>(bytes.size()) + 8;
  EXPECT_EQ(zpk_shm::CreatedSize(), total);
  EXPECT_EQ(zpk_shm::GetSize(), total);
  EXPECT_EQ(zpk_shm::OpenedSize(), 0);

  const int id = shmget(key_.key(), 0, 0);
  ASSERT_GE(id, 0);
  struct shmid_ds ds;
  ASSERT_EQ(shmctl(id, IPC_STAT, &ds), 0);
  EXPECT_EQ(static_cast<int64_t>(ds.shm_segsz), total);
  // Only the creator may write, its group read; other users get nothing.
  EXPECT_EQ(ds.shm_perm.mode & 0777, 0640u);
  EXPECT_EQ(ds.shm_nattch, 0u);  // the creator has detached

  char* image = nullptr;
  ASSERT_EQ(zpk_shm::Open(&image), 0);
  ASSERT_NE(image, nullptr);
  uint64_t word = 0;
  memcpy(&word, image - 8, 8);
  EXPECT_EQ(word, static_cast<uint64_t>(total));
  EXPECT_EQ(zpk_shm::ImageSize(), static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(zpk_shm::Image(), image);
  EXPECT_EQ(std::string(image, bytes.size()), bytes);
  EXPECT_EQ(zpk_shm::OpenedSize(), total);

  EXPECT_EQ(zpk_shm::Release(), 0);
  EXPECT_EQ(zpk_shm::Image(), nullptr);
  EXPECT_EQ(zpk_shm::GetSize(), 0);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
  EXPECT_EQ(ring_.Take(), "");
}

TEST_F(ShmTest, NameWithAndWithoutExtensionGiveTheSameFile) {
  const std::string bytes = DatabaseBytes(100);
  dir_.Write("same.Q7D", bytes);
  for (const char* name : {"same", "same.Q7D"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(zpk_shm::Create(dir_.Dir().c_str(), name), 0);
    char* image = nullptr;
    ASSERT_EQ(zpk_shm::Open(&image), 0);
    EXPECT_EQ(std::string(image, bytes.size()), bytes);
    ASSERT_EQ(zpk_shm::Release(), 0);
  }
  // ".Q7D" alone is a name to extend, not a name that has the extension.
  char out[zpk_shm::kPathSize];
  ASSERT_EQ(zpk_shm::addQ7DExtention(out, ".Q7D"), 0);
  EXPECT_STREQ(out, ".Q7D.Q7D");
  EXPECT_EQ(zpk_shm::addQ7DExtention(out, std::string(zpk_shm::kPathSize - 4, 'n').c_str()),
            Q7_ERROR_ILLEGAL_FILE_NAME);
}

TEST_F(ShmTest, FilesOfAnotherKindAreRefusedAndNoSegmentIsLeft) {
  const std::string good = DatabaseBytes(64);
  struct Case {
    const char* what;
    std::string bytes;  // written as dir/"f.Q7D" unless the name says otherwise
    const char* dir;    // null: the test's directory
    const char* name;
    int code;
  };
  const Case kCases[] = {
      {"other byte order", WithHeaderByte(good, 1, (good[1] & ~0x0C) | kSysEndianBig), nullptr, "f",
       Q7_ERROR_FILE_VERIFY},
      {"32-bit writer", WithHeaderByte(good, 1, (good[1] & ~0x03) | 1), nullptr, "f", Q7_ERROR_FILE_VERIFY},
      {"other alignment", WithHeaderByte(good, 3, 4), nullptr, "f", Q7_ERROR_FILE_VERIFY},
      {"old format (no header)", WithHeaderByte(good, 0, 0x41), nullptr, "f", Q7_ERROR_FILE_VERIFY},
      {"header cut short", good.substr(0, 100), nullptr, "f", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"empty file", "", nullptr, "f", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"missing file", good, nullptr, "absent", Q7_ERROR_ILLEGAL_FILE_NAME},
      {"missing directory", good, "/nonexistent-q7-dir", "f", Q7_ERROR_INVALID_DIRECTORY},
      {"null name", good, nullptr, nullptr, Q7_ERROR_ILLEGAL_FILE_NAME},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    dir_.Write("f.Q7D", c.bytes);
    const std::string dir = c.dir != nullptr ? c.dir : dir_.Dir();
    EXPECT_EQ(zpk_shm::Create(dir.c_str(), c.name), c.code);
    EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
    EXPECT_EQ(zpk_shm::CreatedSize(), 0);
  }
  EXPECT_EQ(ring_.Take(), "");
}

TEST_F(ShmTest, SecondCreateIsRefusedWhileTheSegmentExists) {
  dir_.Write("a.Q7D", DatabaseBytes(10));
  ASSERT_EQ(zpk_shm::Create(dir_.Dir().c_str(), "a"), 0);
  EXPECT_EQ(zpk_shm::Create(dir_.Dir().c_str(), "a"), Q7_ERROR_SHARED_MEMORY_MAPPING);
  EXPECT_EQ(ring_.Take(), "");  // no entry for an existing segment
  EXPECT_EQ(SegmentsWithKey(key_.key()), 1);
  ASSERT_EQ(zpk_shm::Release(), 0);
  EXPECT_EQ(zpk_shm::Create(dir_.Dir().c_str(), "a"), 0);
}

TEST_F(ShmTest, OpenAndReleaseWithoutASegment) {
  char* image = reinterpret_cast<char*>(1);
  EXPECT_EQ(zpk_shm::Open(&image), Q7_ERROR_SHARED_MEMORY_MAPPING);
  EXPECT_EQ(image, nullptr);
  EXPECT_EQ(ring_.TakeCoded(), "OpenMapping|E0000111|Failed to open file mapping ( OpenFileMapping module )");
  EXPECT_EQ(zpk_shm::Release(), Q7_ERROR_SHARED_MEMORY_MAPPING);
  EXPECT_EQ(ring_.Take(), "OpenMapping|Failed to open file mapping ( OpenFileMapping module )");
  EXPECT_EQ(zpk_shm::Unopen(), 0);
  EXPECT_EQ(zpk_shm::GetSize(), 0);
}

// A segment whose size word was never stored (its copy still running, or made by someone else), or
// claims more than the segment holds, is not handed out as an image: readers would run past it.
TEST_F(ShmTest, SegmentWithABadSizeWordIsNotOpened) {
  const uint64_t kWords[] = {0, 7, 4097};
  for (uint64_t word : kWords) {
    SCOPED_TRACE(word);
    const int id = shmget(key_.key(), 4096, IPC_CREAT | IPC_EXCL | 0600);
    ASSERT_GE(id, 0);
    void* at = shmat(id, nullptr, 0);
    ASSERT_NE(at, reinterpret_cast<void*>(-1));
    memcpy(at, &word, 8);
    shmdt(at);
    char* image = nullptr;
    EXPECT_EQ(zpk_shm::Open(&image), Q7_ERROR_SHARED_MEMORY_MAPPING);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(zpk_shm::OpenedSize(), 0);
    EXPECT_EQ(ring_.Take(), "OpenMapping|Failed to open file mapping ( OpenFileMapping module )");
    // Such a segment can still be released.
    EXPECT_EQ(zpk_shm::Release(), 0);
    EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
  }
}

// The segment serves other processes: one that attaches reads the same bytes and size, and keeps
// its view after the owner removes the segment, which goes when the last process detaches.
TEST_F(ShmTest, SecondProcessAttachesAndOutlivesTheRelease) {
  const std::string bytes = DatabaseBytes(70000);
  dir_.Write("big.Q7D", bytes);
  ASSERT_EQ(zpk_shm::Create(dir_.Dir().c_str(), "big"), 0);

  Pipe attached, released;
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    char* image = nullptr;
    if (zpk_shm::Open(&image) != 0) _exit(1);
    if (zpk_shm::GetSize() != static_cast<int64_t>(bytes.size()) + 8) _exit(2);
    attached.Post();
    if (!released.Wait()) _exit(3);
    if (memcmp(image, bytes.data(), bytes.size()) != 0) _exit(4);
    zpk_shm::Unopen();
    _exit(0);
  }
  ASSERT_TRUE(attached.Wait());
  EXPECT_EQ(zpk_shm::Release(), 0);
  EXPECT_EQ(shmget(key_.key(), 0, 0), -1);  // the key is free for a new segment at once
  released.Post();
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // Nothing left, not even a segment marked for removal.
  struct shm_info info;
  const int max_index = shmctl(0, SHM_INFO, reinterpret_cast<struct shmid_ds*>(&info));
  for (int index = 0; index <= max_index; ++index) {
    struct shmid_ds ds;
    if (shmctl(index, SHM_STAT, &ds) >= 0) {
      EXPECT_NE(ds.shm_cpid, getpid()) << "segment " << index;
    }
  }
  EXPECT_EQ(SegmentsWithKey(key_.key()), 0);
}

// Root passes every permission check: a child drops to an ordinary user of the given group, with no
// supplementary groups. False when the system refuses.
bool BecomeUser(uid_t uid, gid_t gid) {
  return setgroups(0, nullptr) == 0 && setresgid(gid, gid, gid) == 0 && setresuid(uid, uid, uid) == 0;
}
constexpr uid_t kOtherUser = 65534;
constexpr gid_t kOtherGroup = 65534;

// A member of the creator's group reads the image but cannot write it nor remove the segment; a user
// of another group cannot use it at all.
TEST_F(ShmTest, TheCreatorsGroupReadsOthersGetNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string bytes = DatabaseBytes(300);
  dir_.Write("u.Q7D", bytes);
  ASSERT_EQ(zpk_shm::Create(dir_.Dir().c_str(), "u"), 0);
  const gid_t creators_group = getegid();
  const int member = InChild([&] {
    if (!BecomeUser(kOtherUser, creators_group)) return 10;
    const int id = shmget(zpk_shm::Key(), 0, 0);
    if (id < 0) return 11;
    if (shmat(id, nullptr, 0) != reinterpret_cast<void*>(-1) || errno != EACCES) return 12;
    char* image = nullptr;
    if (zpk_shm::Open(&image) != 0) return 13;
    if (memcmp(image, bytes.data(), bytes.size()) != 0) return 14;
    if (zpk_shm::Release() != Q7_ERROR_SHARED_MEMORY_MAPPING) return 15;
    return 0;
  });
  EXPECT_EQ(member, 0);
  const int stranger = InChild([&] {
    if (!BecomeUser(kOtherUser, kOtherGroup)) return 10;
    char* image = nullptr;
    if (zpk_shm::Open(&image) != Q7_ERROR_SHARED_MEMORY_MAPPING || image != nullptr) return 11;
    if (zpk_shm::Release() != Q7_ERROR_SHARED_MEMORY_MAPPING) return 12;
    return 0;
  });
  EXPECT_EQ(stranger, 0);
  EXPECT_EQ(SegmentsWithKey(key_.key()), 1);
  EXPECT_EQ(zpk_shm::Release(), 0);
}

// A segment that another user made first under the key is used only when its maker belongs to this
// process's group and nobody outside that circle may write it: a process reading the image in place
// would otherwise read bytes a stranger rewrites under it. A refused segment is not released either.
TEST_F(ShmTest, ASegmentMadeOutsideTheCircleIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string bytes = DatabaseBytes(300);
  const uint64_t total = bytes.size() + 8;
  struct Case {
    const char* what;
    bool makers_group_is_ours;
    int mode;
    bool used;
  };
  const Case kCases[] = {
      {"stranger, everybody writes", false, 0666, false},
      {"stranger, only the maker writes", false, 0644, false},
      {"group member, read by the group", true, 0640, true},
      {"group member, written by the group", true, 0660, true},
      {"group member, everybody writes", true, 0666, false},
  };
  const gid_t our_group = getegid();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    const int made = InChild([&] {
      if (!BecomeUser(kOtherUser, c.makers_group_is_ours ? our_group : kOtherGroup)) return 10;
      const int id = shmget(zpk_shm::Key(), total, IPC_CREAT | IPC_EXCL | c.mode);
      if (id < 0) return 11;
      void* at = shmat(id, nullptr, 0);
      if (at == reinterpret_cast<void*>(-1)) return 12;
      memcpy(at, &total, 8);
      memcpy(static_cast<char*>(at) + 8, bytes.data(), bytes.size());
      shmdt(at);
      return 0;
    });
    ASSERT_EQ(made, 0);
    char* image = nullptr;
    if (c.used) {
      ASSERT_EQ(zpk_shm::Open(&image), 0);
      EXPECT_EQ(std::string(image, bytes.size()), bytes);
      EXPECT_EQ(zpk_shm::Release(), 0);
      EXPECT_EQ(ring_.Take(), "");
    } else {
      EXPECT_EQ(zpk_shm::Open(&image), Q7_ERROR_SHARED_MEMORY_MAPPING);
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(zpk_shm::Release(), Q7_ERROR_SHARED_MEMORY_MAPPING);
      EXPECT_EQ(SegmentsWithKey(key_.key()), 1);
      for (int call = 0; call < 2; ++call)  // Open and Release
        EXPECT_EQ(ring_.Take(), "OpenMapping|Failed to open file mapping ( OpenFileMapping module )");
      EXPECT_EQ(ring_.Take(), "");
    }
    shm_test::RemoveSegment(key_.key());
  }
}

}  // namespace
